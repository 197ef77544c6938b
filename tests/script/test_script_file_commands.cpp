// The script file commands driven the way the interpreter calls them.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "commands/script_file_commands.h"
#include "core/ini.h"
#include "core/options.h"
#include "core/string_list.h"
#include "script/events/remote_files.h"
#include "script/exec/script_errors.h"
#include "script/exec/script_hooks.h"
#include "script/exec/script_text.h"
#include "script/exec/script_types.h"
#include "script/stores/alias_files.h"
#include "support/test_support.h"
#include "support/hook_guard.h"

namespace {

std::vector<std::string> printed;
void print_recorder(QWidget*, const std::string& text, int) { printed.push_back(text); }

// The file names of the loaded remote scripts, in their order, joined by blanks.
std::string loaded_scripts()
{
    std::string out;
    for (const AliasScriptRef& ref : alias_script_files())
        out += (out.empty() ? "" : " ") + alias_file_name_part(ref.path);
    return out;
}

// The file name of the loaded remote file of a kind (users, variables), or "".
std::string loaded_of_kind(int kind)
{
    ScriptFile* f = remote_file_of_kind(kind);
    return f ? alias_file_name_part(f->path) : std::string();
}

class ScriptFileCommandsTest : public ::testing::Test {
    HookGuard hooks_;  // every seam back as it was when the test ends
protected:
    TempSettingsDir temp{"kest_sfc_"};
    std::string dir;
    ExecArgs run_args;

    void SetUp() override
    {
        ASSERT_TRUE(temp.made());
        dir = temp.path();
        alias_files_free();
        remote_files_free_all();
        script_echo_line = print_recorder;
        printed.clear();
        script_error_clear();
        ASSERT_EQ(alias_files_load_all(), 1);   // an empty aliases.ini
    }

    void TearDown() override
    {
        alias_files_free();
        remote_files_free_all();
        script_error_clear();
    }

    // Runs a handler with the line cut at blanks; mode 0 = typed.
    int call(int (*handler)(CommandCall&), const std::string& line, int mode = 0, int show = 1)
    {
        CommandCall c;
        c.tokens = tok_split(line, ' ');
        c.line = line;
        c.show = show;
        run_args.mode = mode;
        c.run = &run_args;
        return handler(c);
    }

    std::string pending()
    {
        std::string t = script_error_state.text;
        script_error_clear();
        return t;
    }

    std::string read(const std::string& name)
    {
        std::ifstream in(dir + name, std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }

    std::vector<std::string> lines_of(AliasFile* f)
    {
        std::vector<std::string> out;
        for (StringNode* n = f ? f->lines : nullptr; n; n = n->next)
            out.push_back(n->text);
        return out;
    }

    std::string found(const std::string& name)
    {
        StringNode* d = alias_store_find(name, nullptr, nullptr);
        return d ? d->text : "<none>";
    }
};

TEST_F(ScriptFileCommandsTest, AliasAddsReplacesAndRemoves)
{
    AliasFile* f = alias_files_head;
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(call(cmd_alias, "alias greet echo hi"), 1);
    EXPECT_EQ(printed.back(), "* 'greet' Aliasi Yenilendi");
    EXPECT_EQ(call(cmd_alias, "alias other echo o"), 1);
    EXPECT_EQ(call(cmd_alias, "alias /greet echo  bye"), 1);   // replaced in place
    EXPECT_EQ(printed.back(), "* Yenilendi: 'greet' alias");
    EXPECT_EQ(lines_of(f), (std::vector<std::string>{"greet echo bye", "other echo o"}));
    EXPECT_EQ(found("greet"), "greet echo bye");
    EXPECT_EQ(f->modified, 1);

    // Removing every one-line definition: typed, reported through the error path.
    f->lines = strlist_append(f->lines, std::string_view("greet echo dup"), 0);
    alias_file_scan(f);
    alias_index_rebuild();
    EXPECT_EQ(call(cmd_alias, "alias greet"), 0);
    EXPECT_EQ(pending(), "* 'greet' aliası Kaldırıldı!");
    EXPECT_EQ(found("greet"), "<none>");
    EXPECT_EQ(lines_of(f), std::vector<std::string>{"other echo o"});

    struct Case {
        const char* line;
        int mode;
        int result;
        const char* error;
    };
    const Case cases[] = {
        {"alias nothere", 0, 0, "* /alias: 'nothere' Aliası Bulunamadı"},
        {"alias nothere", 1, 1, ""},          // from a script: silent
        {"alias", 0, 0, "* /alias: Yetersiz veya eksik parametre"},
        {"alias aliases.ini", 0, 0, "* /alias: Yetersiz veya eksik parametre"},  // a file, no name
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        EXPECT_EQ(call(cmd_alias, c.line, c.mode), c.result);
        EXPECT_EQ(pending(), c.error);
    }
}

TEST_F(ScriptFileCommandsTest, AliasRefusesBlockDefinitionsAndTargetsANamedFile)
{
    std::ofstream(dir + "two.ini") << "[aliases]\nn0=pre echo p\nn1=big {\nn2=  echo inside\nn3=}\n";
    ASSERT_EQ(call(cmd_load, "load -a two.ini"), 1);
    for (const char* line : {"alias big", "alias big echo new"}) {
        SCOPED_TRACE(line);
        EXPECT_EQ(call(cmd_alias, line), 0);
        EXPECT_EQ(pending(), "* /alias: 'big' Dosyası Silindi (satır 2, two.ini)");
    }
    // A script never sees the removal message, but adding still fails.
    EXPECT_EQ(call(cmd_alias, "alias big", 1), 1);
    EXPECT_EQ(call(cmd_alias, "alias big echo x", 1), 0);
    pending();
    EXPECT_EQ(found("big"), "big {");
    // A file named first is the target of a new alias.
    EXPECT_EQ(call(cmd_alias, "alias two.ini fresh echo f"), 1);
    EXPECT_EQ(lines_of(alias_file_find("two.ini")).back(), "fresh echo f");
    EXPECT_EQ(call(cmd_alias, "alias \"two.ini\" quoted echo q"), 1);
    EXPECT_EQ(lines_of(alias_file_find("two.ini")).back(), "quoted echo q");
    // The empty default file, missing on disk, went when two.ini came.
    EXPECT_EQ(alias_files_count(), 1);
}

TEST_F(ScriptFileCommandsTest, LoadAndUnloadAliasFiles)
{
    std::ofstream(dir + "extra.ini") << "[aliases]\nn0=hey echo hey\n";
    EXPECT_EQ(call(cmd_load, "load -a extra.ini"), 1);
    EXPECT_EQ(printed.back(), "* 'extra.ini' Aliasese Yüklendi");
    EXPECT_EQ(found("hey"), "hey echo hey");
    std::string n0;
    ini_read("afiles", "n0", "", n0, 1074, main_ini_path);
    EXPECT_EQ(n0, "extra.ini");   // the empty aliases.ini that was missing is pruned

    // A changed file is written before it goes.
    EXPECT_EQ(call(cmd_alias, "alias more echo m"), 1);
    EXPECT_EQ(call(cmd_unload, "unload -a extra.ini"), 1);
    EXPECT_EQ(printed.back(), "* 'extra.ini' Aliases Kaldırıldı");
    EXPECT_EQ(read("extra.ini"), "[aliases]\nn0=hey echo hey\nn1=more echo m\n");
    EXPECT_EQ(found("hey"), "<none>");
    ASSERT_NE(alias_files_head, nullptr);   // never left empty
    EXPECT_EQ(alias_file_name_part(alias_files_head->path), "aliases1.ini");

    // A script that exists under a path longer than 1,024 characters: the
    // name as typed fits, the whole path is refused.
    std::string deep;
    for (int i = 0; i < 4; ++i)
        deep += std::string(249, static_cast<char>('a' + i)) + "/";
    ASSERT_GT(dir.size() + deep.size() + 5, 1024u);
    ASSERT_TRUE(std::filesystem::create_directories(dir + deep));
    std::ofstream(dir + deep + "e.kst") << "on *:TEXT:*:#:{ }\n";
    struct Case {
        int (*handler)(CommandCall&);
        std::string line;
        const char* error;
    };
    const Case cases[] = {
        {cmd_load, "load -a missing.ini", "* /load: Dosya bulunamadı 'missing.ini'"},
        {cmd_load, "load extra.ini", "* /load: Yetersiz veya eksik parametre"},
        {cmd_load, "load -a", "* /load: Yetersiz veya eksik parametre"},
        {cmd_load, "load - extra.ini", "* /load: Geçersiz parametre"},
        {cmd_load, "load -x extra.ini", "* /load: Geçersiz Değişim"},
        {cmd_load, "load -pz extra.ini", "* /load: Geçersiz Değişim"},
        {cmd_unload, "unload -a nothere.ini", "* /unload: Dosya bulunamadı 'nothere.ini'"},
        {cmd_unload, "unload -q extra.ini", "* /unload: Geçersiz Değişim"},
        {cmd_unload, "unload -a", "* /unload: Yetersiz veya eksik parametre"},
        {cmd_load, "load -rs " + deep + "e.kst", "* /load: Geçersiz parametre"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        EXPECT_EQ(call(c.handler, c.line), 0);
        EXPECT_EQ(pending(), c.error);
    }
}

TEST_F(ScriptFileCommandsTest, RemoteStoreRequestsCarryTheirSwitches)
{
    for (const char* name : {"x.kst", "y.kst"})
        std::ofstream(dir + name) << "on *:TEXT:*:#:{ }\n";
    std::ofstream(dir + "u.ini") << "[users]\nn0=10:*!*@a.host\n";
    std::ofstream(dir + "v.ini") << "[variables]\nn0=%v 1\n";
    struct Case {
        int (*handler)(CommandCall&);
        const char* line;
        const char* scripts;     // the loaded scripts afterwards, in order
        const char* users;       // the users file afterwards
        const char* variables;   // the variables file afterwards
        const char* printed;
    };
    const Case cases[] = {
        {cmd_load, "load -rs x.kst", "x.kst", "", "", "* 'x.kst' Remotesi Yüklendi"},
        {cmd_load, "load -rs y.kst", "x.kst y.kst", "", "", "* 'y.kst' Remotesi Yüklendi"},
        {cmd_load, "load -rs2 x.kst", "y.kst x.kst", "", "", "* 'x.kst' Remotesi Yüklendi"},
        {cmd_load, "reload -rs x.kst", "y.kst x.kst", "", "", "* 'x.kst' Remotesi Tekrar Yüklendi"},
        {cmd_load, "load -ru u.ini", "y.kst x.kst", "u.ini", "", "* 'u.ini' Kullanıcılara Yüklendi "},
        {cmd_load, "load -rv v.ini", "y.kst x.kst", "u.ini", "v.ini", "* 'v.ini' Variablese Yüklendi"},
        {cmd_unload, "unload -rs x.kst", "y.kst", "u.ini", "v.ini", "* 'x.kst' Remote Kaldırıldı"},
        {cmd_load, "load -rs x.kst", "y.kst x.kst", "u.ini", "v.ini", "* 'x.kst' Remotesi Yüklendi"},
        {cmd_unload, "unload -rsn x.kst", "y.kst", "u.ini", "v.ini", "* 'x.kst' Remote Kaldırıldı"},
        {cmd_unload, "unload -nrs y.kst", "script1.kst", "u.ini", "v.ini", "* 'y.kst' Remote Kaldırıldı"},
        // Saved under another name, the file goes on under that name.
        {cmd_save, "save -rv out.ini", "script1.kst", "u.ini", "out.ini", "* 'out.ini' Variablese Kaydedildi"},
        {cmd_save, "save -ru out2.ini", "script1.kst", "out2.ini", "out.ini", "* 'out2.ini' Kullanıcılara Kaydedildi"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        printed.clear();
        EXPECT_EQ(call(c.handler, c.line), 1);
        EXPECT_EQ(pending(), "");
        EXPECT_EQ(loaded_scripts(), c.scripts);
        EXPECT_EQ(loaded_of_kind(kRemoteUsers), c.users);
        EXPECT_EQ(loaded_of_kind(kRemoteVariables), c.variables);
        ASSERT_FALSE(printed.empty());
        EXPECT_EQ(printed.back(), c.printed);
    }
    // What /save wrote: the variables and the users of the loaded files.
    EXPECT_NE(read("out.ini").find("%v 1"), std::string::npos);
    EXPECT_NE(read("out2.ini").find("10:*!*@a.host"), std::string::npos);
    // Without the show flag nothing is printed.
    printed.clear();
    EXPECT_EQ(call(cmd_load, "load -rs x.kst", 0, 0), 1);
    EXPECT_TRUE(printed.empty());
    // /save -r with another letter prints its message and succeeds.
    EXPECT_EQ(call(cmd_save, "save -rx out.ini"), 1);
    EXPECT_EQ(printed.back(), "* /save: Geçersiz Değişim");
    EXPECT_EQ(call(cmd_save, "save -q out.ini"), 0);
    EXPECT_EQ(pending(), "* /save: Geçersiz Değişim");
}

TEST_F(ScriptFileCommandsTest, RemoteSwitchesAndState)
{
    struct Case {
        const char* line;
        int ctcps, events, raw;
        const char* shown;
    };
    opt_set(OPT_REMOTE_CTCPS, 1);
    opt_set(OPT_REMOTE_EVENTS, 0);
    opt_set(OPT_REMOTE_RAW, 1);
    const Case cases[] = {
        {"remote", 1, 0, 1, "* Remote Açık (Ctcps,Raw)"},
        {"remote maybe", 1, 0, 1, "* Remote Açık (Ctcps,Raw)"},
        {"remote OFF", 0, 0, 0, "* Remote Kapalı"},
        {"remote", 0, 0, 0, "* Remote Kapalı"},
        {"remote on", 1, 1, 1, "* Remote Açık (Ctcps,Events,Raw)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        EXPECT_EQ(call(cmd_remote, c.line), 1);
        EXPECT_EQ(opt(OPT_REMOTE_CTCPS), c.ctcps);
        EXPECT_EQ(opt(OPT_REMOTE_EVENTS), c.events);
        EXPECT_EQ(opt(OPT_REMOTE_RAW), c.raw);
        EXPECT_EQ(printed.back(), c.shown);
    }
}

TEST_F(ScriptFileCommandsTest, EnableAndDisableGroups)
{
    std::ofstream(dir + "g.kst") << "#away off\nalias back echo b\n#away end\n#auto on\n#other on\n";
    ScriptFile* g = remote_file_load(dir + "g.kst", kRemoteScript, 0, nullptr);
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(found("back"), "<none>");

    struct Case {
        const char* line;
        const char* shown;
        const char* first_line;   // text of the "#away" line afterwards
        const char* back;         // what "back" finds afterwards
        int modified;             // the file is marked for saving
    };
    const Case cases[] = {
        {"enable #aw*", "* Grup(lar) Aktif", "#away on", "alias back echo b", 1},
        {"enable #a*", "* Değiştirelecek Grup Yok", "#away on", "alias back echo b", 0},
        {"disable #away #none", "* Grup(lar) Pasif", "#away off", "<none>", 1},
        {"disable #zz*", "* /disable: Grup(lar) Yok", "#away off", "<none>", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        g->modified = 0;
        EXPECT_EQ(call(cmd_enable, c.line), 1);
        EXPECT_EQ(printed.back(), c.shown);
        EXPECT_EQ(g->lines->text, c.first_line);
        EXPECT_EQ(found("back"), c.back);
        EXPECT_EQ(g->modified, c.modified);
    }
    // "#auto" matched but was on already: it stays as written.
    EXPECT_EQ(g->lines->next->next->next->text, "#auto on");

    printed.clear();
    EXPECT_EQ(call(cmd_groups, "groups -d"), 1);
    EXPECT_EQ(printed, (std::vector<std::string>{"-", "* g.kst Gruplar:", " #away off", "-"}));
    printed.clear();
    EXPECT_EQ(call(cmd_groups, "groups"), 1);
    EXPECT_EQ(printed.size(), 6u);
    EXPECT_EQ(call(cmd_enable, "enable"), 0);
    EXPECT_EQ(pending(), "* /enable: Yetersiz veya eksik parametre");
}

TEST_F(ScriptFileCommandsTest, SaveiniWritesChangedAliasFiles)
{
    EXPECT_EQ(call(cmd_alias, "alias keep echo kept"), 1);
    EXPECT_EQ(call(cmd_saveini, "saveini"), 1);
    EXPECT_EQ(read("aliases.ini"), "[aliases]\nn0=keep echo kept\n");
    EXPECT_EQ(alias_files_head->modified, 0);
    // Loaded again from the settings, the alias is there.
    ASSERT_EQ(alias_files_load_all(), 1);
    EXPECT_EQ(found("keep"), "keep echo kept");
}

} // namespace

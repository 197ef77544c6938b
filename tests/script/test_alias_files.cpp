// The alias store: files listed in the main settings, the first-letter
// index with its order of precedence, scanning, reloading, unloading, saving.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "core/ini.h"
#include "core/main_settings.h"
#include "core/options.h"
#include "core/string_list.h"
#include "script/events/remote_files.h"
#include "script/exec/script_types.h"
#include "script/stores/alias_files.h"
#include "support/test_support.h"
#include "support/hook_guard.h"

namespace {

class AliasFilesTest : public ::testing::Test {
    HookGuard hooks_;  // every seam back as it was when the test ends
protected:
    TempSettingsDir temp{"kest_alias_"};
    std::string dir;

    void SetUp() override
    {
        ASSERT_TRUE(temp.made());
        dir = temp.path();
        alias_files_free();
        remote_files_free_all();
        opt_set(OPT_ALIAS_FILE_INDEX, 0);
    }

    void TearDown() override
    {
        alias_files_free();
        remote_files_free_all();
    }

    void write(const std::string& name, const std::string& text)
    {
        std::ofstream(dir + name, std::ios::binary) << text;
    }

    std::string read(const std::string& name)
    {
        std::ifstream in(dir + name, std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }

    // An alias file in the "[aliases]" section form.
    void write_alias_ini(const std::string& name, const std::vector<std::string>& lines)
    {
        std::string t = "[aliases]\n";
        for (std::size_t i = 0; i < lines.size(); ++i)
            t += "n" + std::to_string(i) + "=" + lines[i] + "\n";
        write(name, t);
    }

    // A loaded remote script, its lines one per entry.
    ScriptFile* add_script(const std::string& path, const std::vector<std::string>& lines)
    {
        std::string text;
        for (const std::string& l : lines)
            text += l + "\n";
        write(path, text);
        return remote_file_load(dir + path, kRemoteScript, 0, nullptr);
    }

    // The body text of what the lookup finds, or "<none>".
    std::string found(const std::string& line, ScriptFile* script = nullptr)
    {
        StringNode* def = alias_store_find(line, nullptr, script);
        return def ? def->text : std::string("<none>");
    }

    std::vector<std::string> loaded_names()
    {
        std::vector<std::string> out;
        for (AliasFile* f = alias_files_head; f; f = f->next)
            out.push_back(alias_file_name_part(f->path));
        return out;
    }
};

TEST_F(AliasFilesTest, LoadAllFollowsTheSettingsList)
{
    struct Case {
        const char* what;
        std::vector<std::string> afiles;   // values of n0, n1, ...
        std::vector<std::string> existing; // files written
        std::vector<std::string> loaded;
        const char* greet;                 // the definition "greet" finds
    };
    const Case cases[] = {
        {"two files in list order", {"a.ini", "b.ini"}, {"a.ini", "b.ini"}, {"a.ini", "b.ini"}, "greet from-a"},
        {"reversed order wins the other way", {"b.ini", "a.ini"}, {"a.ini", "b.ini"}, {"b.ini", "a.ini"}, "greet from-b"},
        {"a missing listed file is dropped", {"gone.ini", "b.ini"}, {"b.ini"}, {"b.ini"}, "greet from-b"},
        {"the list ends at the first empty key", {"a.ini", "", "b.ini"}, {"a.ini", "b.ini"}, {"a.ini"}, "greet from-a"},
        {"nothing listed falls back to aliases.ini", {}, {"aliases.ini"}, {"aliases.ini"}, "greet from-aliases"},
        {"nothing loadable gives an empty aliases.ini", {"gone.ini"}, {}, {"aliases.ini"}, "<none>"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove(main_ini_path);
        for (const char* f : {"a.ini", "b.ini", "aliases.ini"})
            std::filesystem::remove(dir + f);
        for (const std::string& f : c.existing) {
            std::string tag = f.substr(0, f.find('.'));
            write_alias_ini(f, {"greet from-" + tag});
        }
        for (std::size_t i = 0; i < c.afiles.size(); ++i)
            ini_write("afiles", ("n" + std::to_string(i)).c_str(), c.afiles[i].c_str(), main_ini_path);
        alias_files_install();
        ASSERT_TRUE(settings_loaded.has_priority(kLoadAliasFiles));
        SettingsLoad load;
        settings_loaded.fire_range(kLoadAliasFiles, kLoadAliasFiles + 1, load);
        EXPECT_EQ(loaded_names(), c.loaded);
        EXPECT_EQ(found("greet"), c.greet);
        ASSERT_NE(alias_file_current(), nullptr);
        // The list in the settings names exactly the loaded files.
        std::string n0;
        ini_read("afiles", "n0", "", n0, 1074, main_ini_path);
        if (c.afiles.empty() || c.existing.empty()) {
            EXPECT_EQ(n0, "aliases.ini");
        }
    }
}

TEST_F(AliasFilesTest, LookupPrecedenceOfFilesScriptsAndLocals)
{
    write_alias_ini("a.ini", {"shared from-a", "only from-a"});
    write_alias_ini("b.ini", {"shared from-b", "bonly from-b"});
    ASSERT_NE(alias_file_load(dir + "a.ini"), nullptr);
    ASSERT_NE(alias_file_load(dir + "b.ini"), nullptr);
    ScriptFile* s1 = add_script("one.kst", {"alias shared from-s1", "alias only from-s1",
                                            "alias -l mine from-s1-local", "alias scr from-s1",
                                            "alias -lweird from-s1-weird"});
    ScriptFile* s2 = add_script("two.kst", {"alias scr from-s2", "alias -L mine from-s2-local",
                                            "alias s2only from-s2"});
    alias_index_rebuild();

    struct Case {
        const char* line;
        int from;           // 0 typed, 1 from script one, 2 from script two
        const char* expect;
    };
    const Case cases[] = {
        {"shared x", 0, "shared from-a"},            // an earlier alias file wins
        {"SHARED", 0, "shared from-a"},              // names ignore case
        {"/!.shared x", 0, "shared from-a"},         // prefix skipped
        {"only", 0, "only from-a"},                  // any alias file beats a script
        {"only", 1, "alias only from-s1"},           // ... but not for commands of that script
        {"shared", 1, "alias shared from-s1"},
        {"scr", 0, "alias scr from-s1"},             // an earlier script wins
        {"scr", 2, "alias scr from-s2"},             // its own definition for script two
        {"mine", 0, "<none>"},                       // locals are never typed
        {"mine", 1, "alias -l mine from-s1-local"},
        {"mine", 2, "alias -L mine from-s2-local"},  // "-L" is the switch too
        {"s2only", 1, "alias s2only from-s2"},       // another script's global alias
        {"-lweird", 0, "alias -lweird from-s1-weird"}, // "-l" without a blank is a name
        {"nothing", 1, "<none>"},
        {"", 0, "<none>"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.line) + " from " + std::to_string(c.from));
        ScriptFile* s = c.from == 1 ? s1 : (c.from == 2 ? s2 : nullptr);
        EXPECT_EQ(found(c.line, s), c.expect);
    }
}

TEST_F(AliasFilesTest, ScanFindsOnlyRealDefinitions)
{
    write_alias_ini("a.ini", {
        "single",                     // one word: nothing
        "/greet echo hi",             // prefix skipped
        "block {",                    // block opens
        "  inner echo no",            // inside a block: not a definition
        "}",
        "alias fake echo no",         // "alias " in an alias file: nothing
        "; commented echo no",
        "/*",
        "hidden echo no",
        "*/",
        "1st echo digit",             // head 26
        "_under echo punct",
        "greet echo second",          // hidden by the first "greet"
        "oneline { echo a }",         // a block closed on its line
        "after echo yes",
    });
    AliasFile* f = alias_file_load(dir + "a.ini");
    ASSERT_NE(f, nullptr);
    struct Case {
        const char* name;
        const char* expect;
    };
    const Case cases[] = {
        {"single", "<none>"},        {"greet", "/greet echo hi"},   {"block", "block {"},
        {"inner", "<none>"},         {"alias", "<none>"},           {"fake", "<none>"},
        {"hidden", "<none>"},        {"1st", "1st echo digit"},     {"_under", "_under echo punct"},
        {"oneline", "oneline { echo a }"}, {"after", "after echo yes"}, {";", "<none>"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(found(c.name), c.expect);
    }
    EXPECT_EQ(alias_index_head_of("1st"), 26);
    EXPECT_EQ(alias_index_head_of("zed"), 25);
    // The body of the block is indented under it; the definition chain links
    // the definitions in order.
    int defs = 0;
    for (StringNode* n = f->lines; n; n = n->next) {
        if (n->text.find("inner") != std::string::npos) {
            EXPECT_EQ(n->text, "  inner echo no");
        }
        if (n->extra[kLineKind] == 1)
            ++defs;
    }
    EXPECT_EQ(defs, 7);
    int chained = 0;
    for (StringNode* n = reinterpret_cast<StringNode*>(f->lines->extra[kAliasLineNextDef]); n;
         n = reinterpret_cast<StringNode*>(n->extra[kAliasLineNextDef]))
        ++chained;
    EXPECT_EQ(chained, 7);
}

TEST_F(AliasFilesTest, ReloadKeepsPlaceAndCurrentFlag)
{
    write_alias_ini("a.ini", {"x from-a"});
    write_alias_ini("b.ini", {"x from-b"});
    write_alias_ini("c.ini", {"x from-c"});
    alias_file_load(dir + "a.ini");
    AliasFile* b = alias_file_load(dir + "b.ini");
    alias_file_load(dir + "c.ini");
    b->current = 1;
    write_alias_ini("b.ini", {"y from-b2"});
    AliasFile* b2 = alias_file_load(dir + "b.ini");
    ASSERT_NE(b2, nullptr);
    EXPECT_EQ(loaded_names(), (std::vector<std::string>{"a.ini", "b.ini", "c.ini"}));
    EXPECT_EQ(b2->current, 1);
    EXPECT_EQ(alias_file_current(), b2);
    EXPECT_EQ(found("y"), "y from-b2");
    EXPECT_EQ(alias_file_find("B.INI"), b2);   // bare name, case ignored
}

TEST_F(AliasFilesTest, UnloadingTheLastFileMakesTheFirstFreeName)
{
    struct Case {
        const char* file;
        std::vector<std::string> existing;
        const char* replacement;
    };
    const Case cases[] = {
        {"mine.ini", {}, "aliases1.ini"},
        {"mine.txt", {}, "aliases1.txt"},
        {"mine.ini", {"aliases1.ini", "aliases2.ini"}, "aliases3.ini"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        alias_files_free();
        for (const std::string& e : c.existing)
            write(e, "");
        write(c.file, "x echo x\n");
        AliasFile* f = alias_file_load(dir + c.file);
        ASSERT_NE(f, nullptr);
        alias_file_unload(f, 0);
        EXPECT_EQ(loaded_names(), std::vector<std::string>{c.replacement});
        EXPECT_EQ(found("x"), "<none>");
        for (const std::string& e : c.existing)
            std::filesystem::remove(dir + e);
    }
}

TEST_F(AliasFilesTest, EmptyMissingFilesArePrunedWhenAnotherLoads)
{
    alias_file_load(dir + "missing.ini");
    EXPECT_EQ(alias_files_count(), 1);
    write_alias_ini("real.ini", {"r echo r"});
    alias_file_load(dir + "real.ini");
    EXPECT_EQ(loaded_names(), std::vector<std::string>{"real.ini"});
}

TEST_F(AliasFilesTest, SaveWritesTheLinesAndTheList)
{
    write("kest.ini", "[other]\nkeep=1\n");
    write("plain.txt", "p echo p\n");
    write_alias_ini("a.ini", {"a echo a"});
    AliasFile* a = alias_file_load(dir + "a.ini");
    AliasFile* p = alias_file_load(dir + "plain.txt");
    ASSERT_TRUE(a && p);
    a->lines = strlist_append(a->lines, std::string_view("b echo b"), 0);
    a->modified = 1;
    p->lines = strlist_append(p->lines, std::string_view("q echo q"), 0);
    p->modified = 1;
    ASSERT_EQ(alias_files_save_list(1), 1);
    EXPECT_EQ(a->modified, 0);
    EXPECT_EQ(read("a.ini"), "[aliases]\nn0=a echo a\nn1=b echo b\n");
    EXPECT_EQ(read("plain.txt"), "p echo p\nq echo q\n");
    std::string n0, n1, n2, keep;
    ini_read("afiles", "n0", "", n0, 1074, main_ini_path);
    ini_read("afiles", "n1", "", n1, 1074, main_ini_path);
    ini_read("afiles", "n2", "", n2, 1074, main_ini_path);
    ini_read("other", "keep", "", keep, 1074, main_ini_path);
    EXPECT_EQ(n0, "a.ini");
    EXPECT_EQ(n1, "plain.txt");
    EXPECT_EQ(n2, "");
    EXPECT_EQ(keep, "1");
    // Unloading one shortens the list: the stale key goes.
    alias_file_unload(p, 1);
    alias_files_save_list(0);
    ini_read("afiles", "n1", "", n1, 1074, main_ini_path);
    EXPECT_EQ(n1, "");
    // Saving under a new name writes there and lists the new name.
    std::string other = "moved.ini";
    ASSERT_EQ(alias_file_save(&other, a), 1);
    EXPECT_EQ(read("moved.ini"), "[aliases]\nn0=a echo a\nn1=b echo b\n");
    ini_read("afiles", "n0", "", n0, 1074, main_ini_path);
    EXPECT_EQ(n0, "moved.ini");
}

TEST_F(AliasFilesTest, ReloadPendingRereadsFlaggedFiles)
{
    write_alias_ini("a.ini", {"old echo 1"});
    AliasFile* a = alias_file_load(dir + "a.ini");
    write_alias_ini("a.ini", {"new echo 2"});
    alias_files_reload_pending();
    EXPECT_EQ(found("old"), "old echo 1");   // not flagged: untouched
    a->reload_pending = 1;
    alias_files_reload_pending();
    EXPECT_EQ(found("old"), "<none>");
    EXPECT_EQ(found("new"), "new echo 2");
    EXPECT_EQ(a->reload_pending, 0);
}

TEST_F(AliasFilesTest, GroupOffHidesScriptAliases)
{
    add_script("g.kst", {"#grp off", "alias hid echo no", "#grp end", "alias vis echo yes",
                         "alias blk {", "  alias nested echo no", "}"});
    alias_index_rebuild();
    EXPECT_EQ(found("hid"), "<none>");
    EXPECT_EQ(found("vis"), "alias vis echo yes");
    EXPECT_EQ(found("blk"), "alias blk {");
    EXPECT_EQ(found("nested"), "<none>");
}

} // namespace

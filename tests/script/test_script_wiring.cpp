// The script file commands joined to the remote script store: scripts
// loaded, reloaded, unloaded and saved through the commands, their events,
// aliases and groups, and the "rfiles" list in the main settings.
#include <gtest/gtest.h>
#include "app/subsystems.h"

#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "model/connection.h"
#include "commands/output_commands.h"
#include "commands/script_file_commands.h"
#include "core/ini.h"
#include "core/string_list.h"
#include "script/events/event_fire.h"
#include "script/events/event_index.h"
#include "script/events/remote_files.h"
#include "script/eval/evaluate.h"
#include "script/events/users.h"
#include "script/exec/alias_lookup.h"
#include "script/exec/script_errors.h"
#include "script/exec/script_hooks.h"
#include "script/exec/script_types.h"
#include "script/stores/alias_files.h"
#include "support/test_support.h"
#include "support/hook_guard.h"
#include "commands/variable_commands.h"
#include "identifiers/builtin_identifiers.h"

namespace {

std::vector<std::string> shown;   // echo output and confirmations, in order

void record_print(QWidget*, int, const std::string& text, const EchoPrintOptions&, int kind)
{
    if (kind != kOutputSeparator)
        shown.push_back(text);
}
void record_echo(QWidget*, const std::string& text, int) { shown.push_back(text); }

// Every seam the wiring sets, kept so other suites see them as they were.
struct SavedSeams {
    decltype(output_print) print = output_print;
    decltype(script_echo_line) echo = script_echo_line;
    void restore() const
    {
        output_print = print;
        script_echo_line = echo;
    }
};

class ScriptWiringTest : public ::testing::Test {
protected:
    HookGuard hooks_;  // every seam back as it was when the test ends
    TempSettingsDir temp{"kest_wire_"};
    std::string dir;
    SavedSeams seams;
    Connection* conn = nullptr;

    void SetUp() override
    {
        ASSERT_TRUE(temp.made());
        dir = temp.path();
        script_engine_init();
        builtin_identifiers_install();
        variable_commands_register();
        output_commands_register();
        script_file_commands_register();
        events_install();
        app_wire_script_events();
        output_print = record_print;
        script_echo_line = record_echo;
        script_error_clear();
        user_default_level = 1;
        event_startup_hold = 0;
        event_switch_events = 1;
        alias_files_free();
        ASSERT_EQ(alias_files_load_all(), 1);
        ASSERT_EQ(remote_files_load_all(), 1);
        conn = conn_new(nullptr);
        ASSERT_NE(conn, nullptr);
        conn->live_identity[2] = "me";
        shown.clear();
    }
    void TearDown() override
    {
        remote_files_free_all();
        alias_files_free();
        conn_free(conn);
        seams.restore();
        script_error_clear();
    }

    void write(const std::string& name, const std::vector<std::string>& lines)
    {
        std::ofstream out(dir + name);
        for (const auto& l : lines)
            out << l << "\n";
    }
    std::string read(const std::string& name)
    {
        std::ifstream in(dir + name);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }
    // A command as a script runs it; returns its result.
    int run(const std::string& line)
    {
        return script_exec_line(nullptr, line.c_str(), nullptr, 1, nullptr, nullptr, conn);
    }
    // A channel message from "bob"; returns the lines it printed.
    std::vector<std::string> text(const std::string& message, const std::string& chan = "#k")
    {
        EventLine l;
        l.nick = "bob";
        l.address = "bob@host.example";
        l.source = "bob!" + l.address;
        l.command = "PRIVMSG";
        l.params = {chan, message};
        l.target = chan;
        l.text = message;
        EventSource src;
        src.line = &l;
        shown.clear();
        event_fire(conn, nullptr, nullptr, "TEXT", kEvText, 0, nullptr, &src);
        return take();
    }
    std::vector<std::string> take()
    {
        std::vector<std::string> out;
        out.swap(shown);
        return out;
    }
    // The script entries of section "rfiles" (n2, n3, ...), as stored.
    std::vector<std::string> rfiles()
    {
        std::vector<std::string> out;
        for (int k = 2; k < 50; ++k) {
            std::string v;
            ini_read("rfiles", ("n" + std::to_string(k)).c_str(), "", v, 1024, main_ini_path);
            if (v.empty())
                break;
            out.push_back(v);
        }
        return out;
    }
    std::string pending()
    {
        std::string t = script_error_state.text;
        script_error_clear();
        return t;
    }
};

using Lines = std::vector<std::string>;

TEST_F(ScriptWiringTest, LoadRunsTheHandlersAndUnloadStopsThem)
{
    write("greet.kst", {"on *:TEXT:hello*:#:echo -a got $1-"});
    write("other.kst", {"on *:TEXT:*:#:echo -a other $1"});
    struct Step {
        std::string command;       // "" fires only
        const char* message;
        Lines printed;             // by the TEXT event
        Lines scripts;             // rfiles n2...
    };
    const std::string full = dir + "other.kst";
    const Step steps[] = {
        {"", "hello world", {}, {}},
        {"/load -rs greet.kst", "hello world", {"got hello world"}, {"greet.kst"}},
        {"", "goodbye", {}, {"greet.kst"}},
        {"/load -rs " + full, "hello there", {"got hello there", "other hello"},
         {"greet.kst", "other.kst"}},
        // Loading a loaded script again keeps its place.
        {"/load -rs greet.kst", "hello x", {"got hello x", "other hello"},
         {"greet.kst", "other.kst"}},
        // By bare name.
        {"/unload -rs greet.kst", "hello world", {"other hello"}, {"other.kst"}},
        {"/unload -rs " + full, "hello world", {}, {}},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.command);
        if (!s.command.empty()) {
            EXPECT_EQ(run(s.command), 1);
            EXPECT_EQ(pending(), "");
        }
        EXPECT_EQ(text(s.message), s.printed);
        EXPECT_EQ(rfiles(), s.scripts);
    }
    // Unloading the last script leaves a fresh empty one in its place.
    int scripts = 0;
    for (ScriptFile* f = remote_list; f; f = f->next)
        scripts += f->kind == kRemoteScript;
    EXPECT_EQ(scripts, 1);
}

TEST_F(ScriptWiringTest, ConfirmationsAndFailures)
{
    write("a.kst", {"on *:TEXT:*:#:echo -a a"});
    struct Case {
        const char* command;
        int result;
        const char* printed;   // the confirmation or the error line
        Lines scripts;         // rfiles afterwards
    };
    const Case cases[] = {
        {"/load -rs a.kst", 1, "* 'a.kst' Remotesi Yüklendi", {"a.kst"}},
        {"/reload -rs a.kst", 1, "* 'a.kst' Remotesi Tekrar Yüklendi", {"a.kst"}},
        {"/.load -rs a.kst", 1, "", {"a.kst"}},
        {"/load -rs missing.kst", 0, "* /load: Dosya bulunamadı 'missing.kst'", {"a.kst"}},
        {"/unload -rs missing.kst", 0, "* /unload: Dosya bulunamadı 'missing.kst'", {"a.kst"}},
        {"/unload -rs a.kst", 1, "* 'a.kst' Remote Kaldırıldı", {}},
        {"/unload -rs a.kst", 0, "* /unload: Dosya bulunamadı 'a.kst'", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.command);
        shown.clear();
        EXPECT_EQ(run(c.command), c.result);
        pending();
        Lines want = *c.printed ? Lines{c.printed} : Lines{};
        EXPECT_EQ(take(), want);
        EXPECT_EQ(rfiles(), c.scripts);
    }
}

TEST_F(ScriptWiringTest, NumberedLoadPlacesTheScriptAmongTheScripts)
{
    write("a.kst", {"on *:TEXT:*:#:echo -a a"});
    write("b.kst", {"on *:TEXT:*:#:echo -a b"});
    write("c.kst", {"on *:TEXT:*:#:echo -a c"});
    ASSERT_EQ(run("/load -rs a.kst"), 1);
    ASSERT_EQ(run("/load -rs b.kst"), 1);
    EXPECT_EQ(text("x"), (Lines{"a", "b"}));
    ASSERT_EQ(run("/load -rs1 c.kst"), 1);
    EXPECT_EQ(rfiles(), (Lines{"c.kst", "a.kst", "b.kst"}));
    EXPECT_EQ(text("x"), (Lines{"c", "a", "b"}));
    ASSERT_EQ(run("/load -rs2 b.kst"), 1);
    EXPECT_EQ(rfiles(), (Lines{"c.kst", "b.kst", "a.kst"}));
    ASSERT_EQ(run("/load -rs99 c.kst"), 1);
    EXPECT_EQ(rfiles(), (Lines{"b.kst", "a.kst", "c.kst"}));
}

TEST_F(ScriptWiringTest, AliasLinesOfScriptsAreCallableUntilUnloaded)
{
    write("al.kst", {"alias shout echo -a loud $1-",
                     "alias -l quiet {",
                     "  echo -a quiet $1",
                     "}",
                     "on *:TEXT:call*:#:quiet $2"});
    ASSERT_EQ(run("/load -rs al.kst"), 1);
    take();
    run("/shout hi there");
    EXPECT_EQ(take(), (Lines{"loud hi there"}));
    // A local alias answers only inside its own script.
    EXPECT_EQ(text("call me"), (Lines{"quiet me"}));
    run("/quiet x");
    pending();
    EXPECT_EQ(take(), Lines{});

    // Reloading replaces the lines the index pointed into.
    write("al.kst", {"alias shout echo -a louder $1-"});
    ASSERT_EQ(run("/reload -rs al.kst"), 1);
    take();
    run("/shout again");
    EXPECT_EQ(take(), (Lines{"louder again"}));

    // Read again by the editor's reload flag, outside the commands: the
    // alias index must follow the new lines.
    write("al.kst", {"alias shout echo -a edited $1-"});
    ScriptFile* f = remote_file_find(dir + "al.kst", kRemoteScript);
    ASSERT_NE(f, nullptr);
    f->reload = 1;
    remote_files_reload_changed();
    run("/shout now");
    EXPECT_EQ(take(), (Lines{"edited now"}));

    ASSERT_EQ(run("/unload -rs al.kst"), 1);
    take();
    run("/shout gone");
    pending();
    EXPECT_EQ(take(), Lines{});
}

TEST_F(ScriptWiringTest, EnableAndDisableSwitchGroupHandlers)
{
    write("g.kst", {"#grp on", "on *:TEXT:hello*:#:echo -a got $1-", "alias gcall echo -a in group",
                    "#grp end", "on *:TEXT:*:#:echo -a outside"});
    ASSERT_EQ(run("/load -rs g.kst"), 1);
    take();
    struct Step {
        const char* command;
        const char* confirmation;
        Lines printed;      // by "hello you"
        Lines alias;        // by /gcall
        const char* group;  // the group line
    };
    const Step steps[] = {
        {"/disable #grp", "* Grup(lar) Pasif", {"outside"}, {}, "#grp off"},
        {"/disable #grp", "* Değiştirelecek Grup Yok", {"outside"}, {}, "#grp off"},
        {"/enable #g*", "* Grup(lar) Aktif", {"got hello you"}, {"in group"}, "#grp on"},
        {"/enable #nosuch", "* /enable: Grup(lar) Yok", {"got hello you"}, {"in group"}, "#grp on"},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.command);
        shown.clear();
        EXPECT_EQ(run(s.command), 1);
        EXPECT_EQ(take(), Lines{s.confirmation});
        EXPECT_EQ(text("hello you"), s.printed);
        run("/gcall");
        pending();
        EXPECT_EQ(take(), s.alias);
        ScriptFile* f = remote_file_find(dir + "g.kst", kRemoteScript);
        ASSERT_NE(f, nullptr);
        EXPECT_EQ(f->lines->text, s.group);
        EXPECT_EQ(f->modified, 1);
    }
    // /groups lists them.
    shown.clear();
    run("/groups");
    EXPECT_NE(std::find(shown.begin(), shown.end(), " #grp on"), shown.end());
}

TEST_F(ScriptWiringTest, SaveWritesScriptsBackAndReloadReadsThemAgain)
{
    write("s.kst", {"#grp on", "on *:TEXT:*:#:echo -a first", "#grp end"});
    ASSERT_EQ(run("/load -rs s.kst"), 1);
    ASSERT_EQ(run("/disable #grp"), 1);
    EXPECT_EQ(read("s.kst").find("#grp off"), std::string::npos);   // only in memory
    ASSERT_EQ(run("/saveini"), 1);
    EXPECT_NE(read("s.kst").find("#grp off"), std::string::npos);
    EXPECT_EQ(remote_file_find(dir + "s.kst", kRemoteScript)->modified, 0);

    // Changed on disk: /reload reads the new text.
    write("s.kst", {"on *:TEXT:*:#:echo -a second"});
    take();
    EXPECT_EQ(text("x"), Lines{});
    ASSERT_EQ(run("/reload -rs s.kst"), 1);
    EXPECT_EQ(text("x"), Lines{"second"});

    // A changed script is written before it is unloaded.
    write("t.kst", {"#t on", "on *:TEXT:*:#:echo -a t", "#t end"});
    ASSERT_EQ(run("/load -rs t.kst"), 1);
    ASSERT_EQ(run("/disable #t"), 1);
    ASSERT_EQ(run("/unload -rs t.kst"), 1);
    EXPECT_NE(read("t.kst").find("#t off"), std::string::npos);

    // /save -ru and -rv write the users and variables files under the name.
    ScriptFile* users = remote_file_of_kind(kRemoteUsers);
    ASSERT_NE(users, nullptr);
    users->lines = strlist_append(users->lines, std::string_view("5:alice"), 0);
    struct Case {
        const char* command;
        const char* file;
        const char* content;
        const char* key;
    };
    const Case cases[] = {
        {"/save -ru saved_users.ini", "saved_users.ini", "5:alice", "n0"},
        {"/save -rv saved_vars.ini", "saved_vars.ini", "", "n1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.command);
        EXPECT_EQ(run(c.command), 1);
        EXPECT_EQ(pending(), "");
        EXPECT_TRUE(std::filesystem::exists(dir + c.file));
        EXPECT_NE(read(c.file).find(c.content), std::string::npos);
        std::string v;
        ini_read("rfiles", c.key, "", v, 1024, main_ini_path);
        EXPECT_EQ(v, c.file);
    }
}

TEST_F(ScriptWiringTest, LoadAndUnloadEventsFollowTheSwitches)
{
    write("ev.kst", {"on *:LOAD:echo -a loaded", "on *:START:echo -a started",
                     "on *:UNLOAD:echo -a unloading"});
    struct Step {
        const char* command;
        Lines printed;
    };
    const Step steps[] = {
        {"/load -rs ev.kst", {"* 'ev.kst' Remotesi Yüklendi", "loaded", "started"}},
        {"/reload -rs ev.kst", {"* 'ev.kst' Remotesi Tekrar Yüklendi"}},
        {"/load -rs ev.kst", {"* 'ev.kst' Remotesi Yüklendi", "loaded", "started"}},
        {"/unload -nrs ev.kst", {"* 'ev.kst' Remote Kaldırıldı"}},
        {"/.load -rs ev.kst", {"loaded", "started"}},
        {"/unload -rs ev.kst", {"unloading", "* 'ev.kst' Remote Kaldırıldı"}},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.command);
        shown.clear();
        EXPECT_EQ(run(s.command), 1);
        EXPECT_EQ(pending(), "");
        EXPECT_EQ(take(), s.printed);
    }
}

TEST_F(ScriptWiringTest, UnloadInsideItsOwnUnloadHandlerIsLeftAlone)
{
    write("self.kst", {"on *:UNLOAD:unload -rs self.kst | echo -a inner done"});
    ASSERT_EQ(run("/load -rs self.kst"), 1);
    shown.clear();
    EXPECT_EQ(run("/unload -rs self.kst"), 1);
    EXPECT_EQ(take(), (Lines{"inner done", "* 'self.kst' Remote Kaldırıldı"}));
    EXPECT_EQ(remote_file_find(dir + "self.kst", kRemoteScript), nullptr);
}

TEST_F(ScriptWiringTest, FlushRemovesNickEntriesOnly)
{
    write("users.ini", {"[users]", "n0=1:alice", "n1=2,5:bob", "n2=1:*!*@host.example",
                        "n3==3:carol", "n4=nocolon", "n5=4:"});
    ASSERT_EQ(run("/load -ru users.ini"), 1);
    struct Case {
        const char* command;
        const char* confirmation;
        Lines left;
    };
    const Case cases[] = {
        {"/flush 5", "* 1 Nickler Fışkırdı",
         {"1:alice", "1:*!*@host.example", "=3:carol", "nocolon", "4:"}},
        {"/flush 9", "* Fışkıracak Nick Yok",
         {"1:alice", "1:*!*@host.example", "=3:carol", "nocolon", "4:"}},
        {"/flush", "* 2 Nickler Fışkırdı", {"1:*!*@host.example", "nocolon", "4:"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.command);
        shown.clear();
        EXPECT_EQ(run(c.command), 1);
        EXPECT_EQ(take(), Lines{c.confirmation});
        Lines left;
        for (StringNode* n = remote_file_of_kind(kRemoteUsers)->lines; n; n = n->next)
            left.push_back(n->text);
        EXPECT_EQ(left, c.left);
    }
    EXPECT_EQ(remote_file_of_kind(kRemoteUsers)->modified, 1);
}

TEST_F(ScriptWiringTest, AliasFileRecordsCountAsLiveScriptFiles)
{
    AliasFile* a = alias_files_head;
    ASSERT_NE(a, nullptr);
    auto* as_script = reinterpret_cast<ScriptFile*>(a);
    EXPECT_EQ(script_file_by_id(a->id), as_script);
    EXPECT_EQ(remote_script_file_is_live(as_script), 1);
    // A record that belongs to no store is not live.
    ScriptFile stray;
    EXPECT_EQ(remote_script_file_is_live(&stray), 0);
    EXPECT_EQ(script_file_by_id(15000), nullptr);
}

} // namespace

namespace {

// Script errors name their place: the failing line's number in its file
// and the file's name, found among the loaded alias and remote files.
class ScriptErrorPlaces : public ScriptWiringTest {};

TEST_F(ScriptErrorPlaces, ErrorsCarryTheLineAndFileWhereTheyHappened)
{
    const std::string missing = "* /echo: Yetersiz veya eksik parametre";
    write("err.kst", {"on *:TEXT:one:#:echo 4",
                      "on *:TEXT:block:#:{",
                      "  echo -a before",
                      "  echo 4",
                      "  echo -a never",
                      "}",
                      "alias inscript {",
                      "  echo -a in alias",
                      "  echo 4",
                      "}",
                      "on *:TEXT:call:#:inscript"});
    write("al.ini", {"[aliases]", "n0=afail {", "n1=  echo -a from file", "n2=  echo 4", "n3=}",
                     "n4=oneline echo 4"});
    ASSERT_EQ(run("/load -rs err.kst"), 1);
    ASSERT_EQ(run("/load -a al.ini"), 1);
    take();
    const struct {
        const char* message;
        Lines shown;
    } cases[] = {
        {"one", {missing + " (Satır 1, err.kst)"}},
        {"block", {"before", missing + " (Satır 4, err.kst)"}},
        {"call", {"in alias", missing + " (Satır 9, err.kst)"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        EXPECT_EQ(text(c.message), c.shown);
        // The same error again is placed the same way.
        EXPECT_EQ(text(c.message), c.shown);
    }
    // Alias files: a body line, and a one-line alias placed at its definition.
    EXPECT_EQ(run("afail"), 0);
    EXPECT_EQ(take(), (Lines{"from file", missing + " (Satır 3, al.ini)"}));
    EXPECT_EQ(run("oneline"), 0);
    EXPECT_EQ(take(), (Lines{missing + " (Satır 5, al.ini)"}));
    // A typed line belongs to no file: no place is added.
    EXPECT_EQ(run("echo 4"), 0);
    EXPECT_EQ(take(), (Lines{missing}));
}

// The nesting bound: a run that trips it fails, an enclosing run with the
// label "error" goes there, the message shows once, and the next script's
// handler for the same event still runs.
TEST_F(ScriptErrorPlaces, NestingErrorInOneScriptLeavesTheNextScriptRunning)
{
    const std::string nesting = "* Hafızayı Ayırmada Hata var (Satır 3, a.kst)";
    // An alias calling its own name runs the built-in: the recursion goes
    // through a second alias.
    write("a.kst", {"alias deep { inc %deep | deeper }",
                    "alias deepl { inc %deep | deeperl | :error | inc %caught }",
                    "alias deeper deep",
                    "alias deeperl deepl",
                    "on *:TEXT:go:#:{ set %deep 0 | deep | echo -a a-after }",
                    "on *:TEXT:label:#:{ set %deep 0 | set %caught 0 | deep | echo -a not-here | :error | echo -a caught %deep }",
                    "on *:TEXT:every:#:{ set %deep 0 | set %caught 0 | deepl | :error | echo -a levels %caught }"});
    write("b.kst", {"on *:TEXT:*:#:echo -a b-runs %deep"});
    ASSERT_EQ(run("/load -rs a.kst"), 1);
    ASSERT_EQ(run("/load -rs b.kst"), 1);
    take();
    // The handler's run is depth 0; the alias calls go 1, 2, ... and the
    // line of depth 256 (the second alias's) cannot evaluate at 257: the
    // counting alias ran at the odd depths 1 to 255, 128 times, and the
    // error is placed at the second alias's line.
    const struct {
        const char* message;
        Lines shown;
    } cases[] = {
        {"go", {nesting, "b-runs 128"}},
        {"label", {"caught 128", nesting, "b-runs 128"}},
        {"every", {"levels 128", "* Hafızayı Ayırmada Hata var (Satır 4, a.kst)", "b-runs 128"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        EXPECT_EQ(text(c.message), c.shown);
        EXPECT_EQ(script_nesting, 0);
        EXPECT_EQ(script_nesting_tripped, 0);
        // Repeated: the bound holds the same way each time.
        EXPECT_EQ(text(c.message), c.shown);
    }
}

// After an "error" label caught the nesting bound, /reseterror lets the run
// go on calling aliases: the call right after the reset works, a second
// trip is caught again the same way (in a run of its own, or below a run
// that has already reset one), and without the reset the next call still
// fails with the nesting error.
TEST_F(ScriptErrorPlaces, ResetErrorAfterTheNestingBoundLetsAliasesRunAgain)
{
    write("r.kst",
          {"alias deep { inc %deep | deeper }",
           "alias deeper deep",
           "alias after echo -a after %deep",
           "alias catcher { set %deep 0 | deep | echo -a not-here | :error | echo -a caught %deep | reseterror | after }",
           "on *:TEXT:here:#:{ set %deep 0 | deep | echo -a not-here | :error | reseterror | after | after }",
           "on *:TEXT:twice:#:{ catcher | after | catcher | after }",
           "on *:TEXT:nested:#:{ set %deep 0 | deep | :error | reseterror | after | catcher | after }",
           "on *:TEXT:noreset:#:{ set %deep 0 | deep | :error | echo -a caught %deep | after }"});
    ASSERT_EQ(run("/load -rs r.kst"), 1);
    take();
    // The handler's run is depth 0: the counting alias runs at the odd
    // depths 1 to 255 (128 times); called from catcher (depth 1) at the
    // even depths 2 to 254 (127 times).
    const struct {
        const char* message;
        Lines shown;
    } cases[] = {
        {"here", {"after 128", "after 128"}},
        {"twice", {"caught 127", "after 127", "after 127", "caught 127", "after 127", "after 127"}},
        {"nested", {"after 128", "caught 127", "after 127", "after 127"}},
        {"noreset", {"caught 128", "* Hafızayı Ayırmada Hata var (Satır 2, r.kst)"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        EXPECT_EQ(text(c.message), c.shown);
        EXPECT_EQ(script_nesting, 0);
        EXPECT_EQ(script_nesting_tripped, 0);
        EXPECT_EQ(text(c.message), c.shown);
    }
}

// A script that catches the bound at every level and calls again is held:
// the resets clear only so many trips in one outermost run, then the trip
// stays and the whole nest unwinds with one nesting error.
TEST_F(ScriptErrorPlaces, CatchAndRetryAtEveryLevelEnds)
{
    write("x.kst", {"alias retry { inc %tries | retryb | :error | reseterror | retryb }",
                    "alias retryb retry",
                    "on *:TEXT:retry:#:{ set %tries 0 | retry }"});
    ASSERT_EQ(run("/load -rs x.kst"), 1);
    take();
    const Lines shown = text("retry");
    ASSERT_FALSE(shown.empty());
    EXPECT_EQ(shown.back().rfind("* Hafızayı Ayırmada Hata var", 0), 0u) << shown.back();
    EXPECT_EQ(script_nesting, 0);
    EXPECT_EQ(script_nesting_tripped, 0);
    EXPECT_EQ(script_nesting_clears, 0);
}

} // namespace

// Event firing: user levels and level prefixes, phases and halting, mode
// expansion, field forms, the event index and the nesting bound.
#include "identifiers/event_identifiers.h"
#include "events_fixture.h"

using events_test::EventsTest;
using events_test::said;

namespace {

TEST_F(EventsTest, NoScriptReturnsOneAndKeepsHalt)
{
    EventLine l = text_line("bob", "#c", "hi");
    for (int halt_in : {0, 1}) {
        SCOPED_TRACE(halt_in);
        int halt = halt_in;
        EXPECT_EQ(fire_line(l, "TEXT", kEvText, 0, &halt), 1);
        EXPECT_EQ(halt, halt_in);
    }
    EXPECT_EQ(event_fire(conn, nullptr, nullptr, "TEXT", 79, 0, nullptr, nullptr), 1);
    EXPECT_EQ(event_fire(conn, nullptr, nullptr, "TEXT", -1, 0, nullptr, nullptr), 1);
}

TEST_F(EventsTest, UserLevelsPickOneLinePerScript)
{
    load_users({"10:ten!*@*", "3:three!*@*", "=5:five!*@*", "friend,5:pal!*@*"});
    load_script("a.kst", {"on 1:TEXT:*:#:say A", "on 5:TEXT:*:#:say B"});
    load_script("b.kst", {"on friend:TEXT:*:#:say F", "on 1:TEXT:*:#:say N"});
    struct Case {
        const char* nick;
        std::vector<std::string> expect;
    } cases[] = {
        {"ten", {"B", "N"}},
        {"three", {"A", "N"}},
        {"five", {"B"}},           // "=5" is exact: level-1 lines do not run
        {"pal", {"B", "F"}},       // later entries are exact: "5" meets only level 5
        {"stranger", {"A", "N"}},  // no entry: default level
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.nick);
        said.clear();
        EventLine l = text_line(c.nick, "#chan", "hello");
        EXPECT_EQ(fire_line(l, "TEXT", kEvText, 0), 1);
        EXPECT_EQ(said, c.expect);
    }
}

TEST_F(EventsTest, StarAndExactAndDefaultRules)
{
    load_users({"7:seven!*@*", "+3:plus!*@*"});
    load_script("a.kst", {"on 5:TEXT:*:#:say five", "on *:TEXT:*:#:say star"});
    load_script("b.kst", {"on +7:TEXT:*:#:say exact7"});
    load_script("c.kst", {"on *:TEXT:*:#:say only"});
    struct Case {
        const char* nick;
        std::vector<std::string> expect;
    } cases[] = {
        {"seven", {"five", "exact7", "only"}},
        {"plus", {"star", "only"}},
        {"x", {"star", "only"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.nick);
        said.clear();
        EventLine l = text_line(c.nick, "#chan", "hello");
        fire_line(l, "TEXT", kEvText, 0);
        EXPECT_EQ(said, c.expect);
    }
}

TEST_F(EventsTest, CaretLinesRunOnlyInPhaseOneAndHaltTheDefault)
{
    load_script("a.kst", {"on ^1:TEXT:*:#:halt", "on 1:TEXT:*:#:say after $halted"});
    EventLine l = text_line("bob", "#chan", "hello");
    int halt = 0;
    EXPECT_EQ(fire_line(l, "TEXT", kEvText, 1, &halt), 0);
    EXPECT_EQ(halt, 1);
    EXPECT_TRUE(said.empty());
    // The caller passes the flag on to the normal phase.
    EXPECT_EQ(fire_line(l, "TEXT", kEvText, 0, &halt), 0);
    EXPECT_EQ(said, std::vector<std::string>{"after $true"});
}

TEST_F(EventsTest, HaltCommandsAndBangAndEquals)
{
    user_default_level = 5;
    struct Case {
        const char* name;
        std::vector<std::string> script;
        int result;
        std::vector<std::string> expect;
    } cases[] = {
        {"haltdef goes on", {"on 1:TEXT:*:#:haltdef | say still"}, 0, {"still"}},
        {"halt stops", {"on 1:TEXT:*:#:halt | say never"}, 0, {}},
        {"bang", {"on 1:TEXT:*:#:!", "on 5:TEXT:*:#:say later"}, 0, {}},
        {"equals cancels", {"on 1:TEXT:*:#:say low", "on 2:TEXT:*hello*:#:="}, 1, {}},
        {"plain", {"on 1:TEXT:*:#:say x"}, 1, {"x"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        remote_files_free_all();
        said.clear();
        load_script("s.kst", c.script);
        EventLine l = text_line("bob", "#chan", "hello");
        EXPECT_EQ(fire_line(l, "TEXT", kEvText, 0), c.result);
        EXPECT_EQ(said, c.expect);
    }
}

TEST_F(EventsTest, TextFormFields)
{
    struct Case {
        const char* line;
        const char* target;
        const char* text;
        bool runs;
    } cases[] = {
        {"on 1:TEXT:*hi*:#:say x", "#c", "oh hi", true},
        {"on 1:TEXT:*hi*:#:say x", "bob", "oh hi", false},
        {"on 1:TEXT:*hi*:?:say x", "me", "oh hi", true},
        {"on 1:TEXT:*hi*:#:say x", "#c", "nope", false},
        {"on 1:TEXT:*hi*:#c,#d:say x", "#d", "hi", true},
        {"on 1:TEXT:*hi*::say x", "#c", "hi", false},
        {"on 1:TEXT:*hi*:#", "#c", "hi", false},
        {"on 1:TEXT:*hi*:#:", "#c", "hi", false},
        {"on 1:text:*:*:say x", "#c", "hi", true},
        {"on 1:TEXT:*:#:{", "#c", "hi", false},
        {"on !1:TEXT:*:#:say x", "#c", "hi", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        remote_files_free_all();
        said.clear();
        load_script("s.kst", {c.line});
        EventLine l = text_line("bob", c.target, c.text);
        fire_line(l, "TEXT", kEvText, 0);
        EXPECT_EQ(!said.empty(), c.runs);
    }
    // "!" does not run for the own nick.
    remote_files_free_all();
    said.clear();
    load_script("s.kst", {"on !1:TEXT:*:#:say x"});
    EventLine own = text_line("me", "#c", "hi");
    fire_line(own, "TEXT", kEvText, 0);
    EXPECT_TRUE(said.empty());
}

TEST_F(EventsTest, BlockCommandRunsToItsClosingBrace)
{
    load_script("s.kst", {"on 1:TEXT:*:#:{", "  say one $1-", "  say two $nick", "}",
                          "on 1:JOIN:#:say join"});
    EventLine l = text_line("bob", "#chan", "hello there");
    fire_line(l, "TEXT", kEvText, 0);
    EXPECT_EQ(said, (std::vector<std::string>{"one hello there", "two bob"}));
}

TEST_F(EventsTest, ModeLineExpandsIntoRawmodeThenItems)
{
    load_script("s.kst", {"on 1:RAWMODE:#:say RAW $1-",
                          "on 1:OP:#:say OP $opnick $modefirst $modelast",
                          "on 1:SERVEROP:#:say SOP $opnick",
                          "on 1:VOICE:#:say VOICE $vnick $modefirst $modelast"});
    struct Case {
        const char* name;
        bool from_server;
        std::vector<EventModeChange> changes;
        std::vector<std::string> params;
        std::vector<std::string> expect;
    } cases[] = {
        {"op and voice", false, {{'+', 'o', "a"}, {'+', 'v', "b"}}, {"#c", "+ov", "a", "b"},
         {"RAW +ov a b", "OP a $true $false", "VOICE b $false $true"}},
        {"single", false, {{'+', 'v', "b"}}, {"#c", "+v", "b"}, {"RAW +v b", "VOICE b $true $true"}},
        {"server op", true, {{'+', 'o', "a"}}, {"#c", "+o", "a"}, {"RAW +o a", "SOP a"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        said.clear();
        EventLine l;
        l.nick = c.from_server ? "" : "bob";
        l.source = c.from_server ? "irc.server" : "bob!b@host";
        l.address = c.from_server ? "" : "b@host";
        l.command = "MODE";
        l.params = c.params;
        l.target = "#c";
        l.mode_changes = c.changes;
        fire_line(l, "MODE", c.from_server ? kEvServerMode : kEvMode, 0);
        EXPECT_EQ(said, c.expect);
    }
}

TEST_F(EventsTest, IdentifiersOfTheEvent)
{
    load_script("s.kst", {"on 1:TEXT:*:#:say $event $nick $site $wildsite $fulladdress $chan",
                          "raw 433:*:say $event $numeric",
                          "ctcp 1:PING:*:say $event $1-"});
    EventLine l = text_line("bob", "#chan", "hello");
    fire_line(l, "TEXT", kEvText, 0);
    EventLine raw;
    raw.source = "irc.server";
    raw.command = "433";
    raw.params = {"me", "nick", "in use"};
    fire_line(raw, "433", kEvRaw, 0);
    EventLine ctcp = text_line("bob", "me", "PING 123");
    fire_line(ctcp, "PING 123", kEvCtcp, 0);
    EXPECT_EQ(said, (std::vector<std::string>{
                        "text bob host.example *!*@host.example bob!bob@host.example #chan",
                        "433 433", "ctcp PING 123"}));
    // Words that only look like identifier names stay words.
    said.clear();
    load_script("w.kst", {"on 1:TEXT:*:#:say chan nick address x $chan"});
    fire_line(l, "TEXT", kEvText, 0);
    ASSERT_FALSE(said.empty());
    EXPECT_EQ(said.back(), "chan nick address x #chan");
    // Unknown names go back to the evaluator; no context gives nothing.
    std::string out;
    EXPECT_EQ(event_ident_value("$foo", &out, nullptr, 1), 2);
    EXPECT_EQ(event_ident_value("$nick", &out, nullptr, 1), 0);
}

TEST_F(EventsTest, IndexFilesLinesByEventWord)
{
    struct Case {
        const char* line;
        int id;   // -1: not indexed
    } cases[] = {
        {"on 1:text:*:#:say x", kEvText}, {"on me:1:JOIN:#:say x", kEvJoin},
        {"on 1:FOO:*:say x", -1},         {"on 1:TEXT", -1},
        {"on 1:QUERYOPEN:?:say x", kEvOpen}, {"raw 1:*:say x", kEvRaw},
        {"ctcp 1:PING:say x", kEvCtcp},    {"on 1:mp3end:say x", kEvSongEnd},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        remote_files_free_all();
        load_script("s.kst", {c.line});
        int found = -1;
        for (int id = 0; id < kEventCount; ++id)
            if (event_index.head[id])
                found = id;
        EXPECT_EQ(found, c.id);
    }
    // QUERYOPEN is indexed under OPEN but does not run for OPEN firings.
    remote_files_free_all();
    load_script("s.kst", {"on 1:QUERYOPEN:?:say x"});
    EXPECT_EQ(event_has_handler(kEvOpen), 1);
    EventLine l = text_line("bob", "me", "hi");
    fire_line(l, "OPEN", kEvOpen, 0);
    EXPECT_TRUE(said.empty());
}

TEST_F(EventsTest, DisabledGroupIsSkippedUntilEnabled)
{
    ScriptFile* f = load_script("s.kst", {"#g off", "on 1:TEXT:*:#:say g", "#g end",
                                          "on 5:TEXT:*:#:say never"});
    EventLine l = text_line("bob", "#c", "hi");
    fire_line(l, "TEXT", kEvText, 0);
    EXPECT_TRUE(said.empty());
    for (StringNode* n = f->lines; n; n = n->next)
        n->extra[kLineFlags] |= kLineFlagEnabled;
    event_index_sync_enabled();
    fire_line(l, "TEXT", kEvText, 0);
    EXPECT_EQ(said, std::vector<std::string>{"g"});
}

int g_raised = 0;
Connection* g_conn = nullptr;

int cmd_raise(CommandCall&)
{
    ++g_raised;
    EventSource src;
    src.text1 = "loop";
    event_fire(g_conn, nullptr, nullptr, "SIGNAL", kEvSignal, 0, nullptr, &src);
    return 1;
}

TEST_F(EventsTest, SelfRaisingEventEndsAtTheNestingBound)
{
    script_register_command("raise", cmd_raise);
    g_conn = conn;
    g_raised = 0;
    load_script("s.kst", {"on 1:SIGNAL:loop:raise"});
    EventSource src;
    src.text1 = "loop";
    EXPECT_EQ(event_fire(conn, nullptr, nullptr, "SIGNAL", kEvSignal, 0, nullptr, &src), 1);
    EXPECT_GT(g_raised, 10);
    EXPECT_LT(g_raised, kScriptHardNesting);
    EXPECT_EQ(script_nesting, 0);
}

TEST_F(EventsTest, LoadAndStartFireOncePerScript)
{
    load_script("a.kst", {"on 1:LOAD:say load a", "on 1:START:say start a"});
    load_script("b.kst", {"on 1:START:say start b"});
    script_fire_load_start(kEvLoad, conn, 1);
    script_fire_load_start(kEvLoad, conn, 1);
    EXPECT_EQ(said, (std::vector<std::string>{"load a", "start a", "start b"}));
    // Loading the same path again starts its states afresh.
    said.clear();
    load_script("a.kst", {"on 1:LOAD:say load a2"});
    script_fire_load_start(kEvLoad, conn, 1);
    EXPECT_EQ(said, std::vector<std::string>{"load a2"});
}

} // namespace


// Remote script files: loading in the order of the settings, classifying
// lines, saving the list and unloading the last script.
#include "events_fixture.h"

using events_test::EventsTest;
using events_test::said;

namespace {

std::vector<std::string> script_names()
{
    std::vector<std::string> out;
    for (ScriptFile* f = remote_list; f; f = f->next) {
        std::string p = f->path;
        out.push_back(std::to_string(f->kind) + ":" + p.substr(p.find_last_of('/') + 1));
    }
    return out;
}

TEST_F(EventsTest, LoadAllFollowsTheSettingsInOrder)
{
    write_file("a.kst", {"on 1:START:say a"});
    write_file("b.kst", {"on 1:START:say b"});
    struct Case {
        const char* name;
        std::vector<std::string> ini;
        std::vector<std::string> expect;
    } cases[] = {
        {"gap ends the list", {"[rfiles]", "n0=users.ini", "n1=vars.ini", "n2=a.kst", "n3=", "n4=b.kst"},
         {"0:users.ini", "1:vars.ini", "2:a.kst"}},
        {"order kept", {"[rfiles]", "n0=u2.ini", "n1=v2.ini", "n2=b.kst", "n3=a.kst"},
         {"0:u2.ini", "1:v2.ini", "2:b.kst", "2:a.kst"}},
        {"missing skipped", {"[rfiles]", "n2=gone.kst", "n3=a.kst"},
         {"0:users.ini", "1:vars.ini", "2:a.kst"}},
        {"nothing listed", {"[rfiles]"}, {"0:users.ini", "1:vars.ini", "2:remote.ini"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        write_file("kest.ini", c.ini);
        remote_files_load_all();
        EXPECT_EQ(script_names(), c.expect);
    }
    // START runs in load order.
    write_file("kest.ini", cases[1].ini);
    remote_files_load_all();
    said.clear();
    script_fire_load_start(kEvStart, conn, 1);
    EXPECT_EQ(said, (std::vector<std::string>{"b", "a"}));
}

TEST_F(EventsTest, ClassifierIndentsAndGroups)
{
    ScriptFile* f = load_script("s.kst", {"  on 1:TEXT:*:#:{", "say a", "if (1) {", "say b", "}",
                                          "    }", "#grp off", "on 1:JOIN:#:say j", "#grp end",
                                          "on ^1:PART:#:say p", "raw 433:*:say r"});
    ASSERT_NE(f, nullptr);
    struct Row {
        const char* text;
        int kind;
        int enabled;
        int caret;
    } rows[] = {
        {"on 1:TEXT:*:#:{", kLineOn, 1, 0}, {"  say a", kLineNone, 1, 0},
        {"  if (1) {", kLineNone, 1, 0},    {"    say b", kLineNone, 1, 0},
        {"  }", kLineNone, 1, 0},           {"}", kLineNone, 1, 0},
        {"#grp off", kLineGroupOff, 1, 0},  {"on 1:JOIN:#:say j", kLineOn, 0, 0},
        {"#grp end", kLineGroupEnd, 1, 0},  {"on ^1:PART:#:say p", kLineOn, 1, 1},
        {"raw 433:*:say r", kLineRaw, 1, 0},
    };
    StringNode* n = f->lines;
    for (const auto& r : rows) {
        SCOPED_TRACE(r.text);
        ASSERT_NE(n, nullptr);
        ScriptLine line{n};
        EXPECT_EQ(n->text, r.text);
        EXPECT_EQ(line.kind(), r.kind);
        EXPECT_EQ(line.enabled(), r.enabled == 1);
        EXPECT_EQ(line.caret(), r.caret == 1);
        EXPECT_EQ(line.file(), f);
        n = n->next;
    }
    EXPECT_EQ(ScriptLine{f->lines->next->next->next->next->next->next->next->next->next->next}.number(), 433);
}

TEST_F(EventsTest, SaveListWritesExistingScriptsWithoutGaps)
{
    write_file("kest.ini", {"[rfiles]", "n2=a.kst", "n3=b.kst", "n4=c.kst", "n5=d.kst"});
    write_file("a.kst", {"on 1:TEXT:*:#:say a"});
    write_file("b.kst", {"on 1:TEXT:*:#:say b"});
    write_file("c.kst", {"on 1:TEXT:*:#:say c"});
    remote_files_load_all();
    std::filesystem::remove(dir + "b.kst");
    remote_files_save_list(0);
    std::string v;
    struct Key {
        const char* key;
        const char* value;
    } keys[] = {{"n0", "users.ini"}, {"n1", "vars.ini"}, {"n2", "a.kst"}, {"n3", "c.kst"},
                {"n4", ""}, {"n5", ""}};
    for (const auto& k : keys) {
        SCOPED_TRACE(k.key);
        ini_read("rfiles", k.key, "", v, 1024, main_ini_path);
        EXPECT_EQ(v, k.value);
    }
}

TEST_F(EventsTest, SaveWritesTheLinesBack)
{
    ScriptFile* f = load_script("s.kst", {"on 1:TEXT:*:#:say a"});
    ASSERT_NE(f, nullptr);
    f->lines->text = "on 1:TEXT:*:#:say changed";
    ASSERT_EQ(remote_file_save(nullptr, f), 1);
    f = load_script_again("s.kst");
    ASSERT_NE(f, nullptr);
    ASSERT_NE(f->lines, nullptr);
    EXPECT_EQ(f->lines->text, "on 1:TEXT:*:#:say changed");
}

TEST_F(EventsTest, UnloadingTheOnlyScriptMakesANumberedOne)
{
    write_file("script1.kst", {"; taken"});
    ScriptFile* f = load_script("only.kst", {"on 1:TEXT:*:#:say x"});
    ASSERT_NE(f, nullptr);
    ScriptFile* g = remote_file_unload(f, 0);
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(g->path, dir + "script2.kst");
    EXPECT_TRUE(remote_script_file_is_live(g));
    EXPECT_EQ(event_index.head[kEvText], nullptr);
}

TEST_F(EventsTest, UnloadedScriptIsNoLongerLiveAndLeavesTheIndex)
{
    ScriptFile* a = load_script("a.kst", {"on 1:TEXT:*:#:say a"});
    ScriptFile* b = load_script("b.kst", {"on 1:JOIN:#:say b"});
    ASSERT_TRUE(a && b);
    EXPECT_NE(event_index.head[kEvJoin], nullptr);
    remote_file_unload(b, 0);
    EXPECT_FALSE(remote_script_file_is_live(b));
    EXPECT_TRUE(remote_script_file_is_live(a));
    EXPECT_EQ(event_index.head[kEvJoin], nullptr);
    EXPECT_NE(event_index.head[kEvText], nullptr);
}

} // namespace

// A file of nothing but opening braces: every line is one character, and the
// loaded lines must stay near that size however deep the nesting goes (the
// indent used to grow by two blanks a level and keep its whole capacity).
TEST_F(EventsTest, DeepNestingCostsMemoryInProportionToTheFile)
{
    struct Case {
        int lines;
    } cases[] = {{100}, {5000}, {20000}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.lines);
        std::vector<std::string> text(static_cast<std::size_t>(c.lines), "{");
        text.push_back("  say   deep  ");
        ScriptFile* f = load_script("deep" + std::to_string(c.lines) + ".kst", text);
        ASSERT_NE(f, nullptr);
        std::size_t held = 0;
        std::size_t widest = 0;
        int count = 0;
        StringNode* last = nullptr;
        for (StringNode* n = f->lines; n; n = n->next) {
            held += n->text.capacity();
            widest = std::max(widest, n->text.size());
            last = n;
            ++count;
        }
        ASSERT_EQ(count, c.lines + 1);
        // A blank is never cut from the text that follows it.
        EXPECT_EQ(last->text.substr(last->text.find_first_not_of(' ')), "say   deep  ");
        EXPECT_LE(widest, 140u);
        EXPECT_LE(held, static_cast<std::size_t>(c.lines + 1) * 160);
        // The first lines keep the usual two blanks a level.
        EXPECT_EQ(f->lines->text, "{");
        EXPECT_EQ(f->lines->next->text, "  {");
        EXPECT_EQ(f->lines->next->next->text, "    {");
    }
}

// The variable store: names and the first-letter index, duplicate lines,
// empty values, local lists, wildcard unsets, timed entries and the
// one-second tick, scopes, the "%name" rule of the evaluator, and the
// variables file on disk.
#include <gtest/gtest.h>
#include "app/subsystems.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "app/tick.h"
#include "core/ini.h"
#include "core/string_list.h"
#include "script/exec/script_hooks.h"
#include "script/exec/script_types.h"
#include "script/stores/binary_vars.h"
#include "script/stores/variables.h"
#include "support/hook_guard.h"

namespace {

std::vector<std::string> echoes;

void record_echo(QWidget*, const std::string& text, int)
{
    echoes.push_back(text);
}

int editor_open = 0;
int editor_shows()
{
    return editor_open;
}

class VarStore : public ::testing::Test {
    HookGuard hooks_;  // every seam back as it was when the test ends
protected:
    void SetUp() override
    {
        var_store_free();
        var_file_new("");
        var_hooks = VarHooks();
        script_echo_line = record_echo;
        var_hooks.editor_shows_variables = editor_shows;
        editor_open = 0;
        echoes.clear();
        var_scope_counter = -9;
    }

    void TearDown() override
    {
        var_store_free();
        var_hooks = VarHooks();
    }

    static int set(const std::string& name, const std::string& value, int flags = kVarFlagSet,
                   int count = 0, int show = 0, StringNode* locals = nullptr)
    {
        return var_set(nullptr, name, &value, nullptr, show, flags, 0, count, locals, 0);
    }

    static int unset(const std::string& name, int wildcard = 1, int show = 0,
                     StringNode* locals = nullptr)
    {
        return var_set(nullptr, name, nullptr, nullptr, show, kVarFlagSet, wildcard, 0, locals, 0);
    }

    // The value, or "<none>" for a missing variable.
    static std::string get(const std::string& name, StringNode* locals = nullptr)
    {
        std::string value;
        return var_find(name, &value, locals) ? value : std::string("<none>");
    }

    static std::vector<std::string> file_lines()
    {
        std::vector<std::string> out;
        for (StringNode* n = var_file ? var_file->lines : nullptr; n; n = n->next)
            out.push_back(n->text);
        return out;
    }

    // Replaces the file's lines as a load would give them.
    static void load_lines(const std::vector<std::string>& lines)
    {
        for (const std::string& l : lines)
            var_file->lines = strlist_append(var_file->lines, std::string_view(l), 0);
        var_file_scan(var_file);
        var_index_rebuild();
    }
};

TEST_F(VarStore, NamesIgnoreCaseAndKeepTheLatestSpelling)
{
    struct Case {
        const char* set_as;
        const char* read_as;
        const char* value;
    };
    const Case cases[] = {
        {"%A", "%a", "1"},
        {"%abc", "%ABC", "two words"},
        {"%Mixed", "%mIXED", "x"},
        {"%1num", "%1NUM", "head 26"},
        {"%_under", "%_UNDER", "head 26 too"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.set_as);
        ASSERT_EQ(set(c.set_as, c.value), 1);
        EXPECT_EQ(get(c.read_as), c.value);
    }
    // A later set under another spelling replaces the line and its spelling.
    ASSERT_EQ(set("%a", "new"), 1);
    EXPECT_EQ(get("%A"), "new");
    std::vector<std::string> lines = file_lines();
    EXPECT_EQ(lines.front(), "%a new");
    EXPECT_EQ(lines.size(), 5u);
    // The name without its "%" means the same variable.
    EXPECT_EQ(get("abc"), "two words");
    EXPECT_EQ(var_file->modified, 1);
}

TEST_F(VarStore, DuplicateLinesReadTheFirstAndUnsetRevealsTheNext)
{
    load_lines({"%x first", "%y other", "%X second", "%x third"});
    EXPECT_EQ(get("%x"), "first");
    ASSERT_EQ(unset("%x", 0), 1);
    EXPECT_EQ(get("%x"), "second");
    ASSERT_EQ(unset("%x", 0), 1);
    EXPECT_EQ(get("%x"), "third");
    ASSERT_EQ(unset("%x", 0), 1);
    EXPECT_EQ(get("%x"), "<none>");
    EXPECT_EQ(get("%y"), "other");
    EXPECT_EQ(file_lines(), std::vector<std::string>({"%y other"}));
}

TEST_F(VarStore, WildcardUnsetRemovesEveryDuplicateToo)
{
    load_lines({"%ab 1", "%ab 2", "%ac 3", "%b 4"});
    ASSERT_EQ(unset("%a*", 1, 1), 1);
    EXPECT_EQ(get("%ab"), "<none>");
    EXPECT_EQ(get("%ac"), "<none>");
    EXPECT_EQ(get("%b"), "4");
    ASSERT_EQ(echoes.size(), 1u);
    EXPECT_EQ(echoes[0], "* 3 vars uyumluluğu ayarlanamıyor %a*");
}

TEST_F(VarStore, PatternSetChangesTheFoundVariableUnderItsOwnName)
{
    ASSERT_EQ(set("%alpha", "1"), 1);
    ASSERT_EQ(set("%beta", "2"), 1);
    std::string v = "changed";
    ASSERT_EQ(var_set(nullptr, "%al*", &v, nullptr, 0, kVarFlagSet, 1, 0, nullptr, 0), 1);
    EXPECT_EQ(get("%alpha"), "changed");
    EXPECT_EQ(get("%al*"), "<none>");
    EXPECT_EQ(file_lines(), std::vector<std::string>({"%alpha changed", "%beta 2"}));
    // Without the wildcard flag the pattern is a new name of its own.
    ASSERT_EQ(var_set(nullptr, "%al*", &v, nullptr, 0, kVarFlagSet, 0, 0, nullptr, 0), 1);
    EXPECT_EQ(get("%al*"), "changed");
}

TEST_F(VarStore, EmptyValuesStoreTheNameAlone)
{
    struct Case {
        const char* value;
        const char* line;
    };
    const Case cases[] = {
        {"", "%e"},
        {"\"\"", "%e"},
        {" lead", "%e  lead"},
        {"a  b", "%e a  b"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        ASSERT_EQ(set("%e", c.value), 1);
        ASSERT_EQ(file_lines().size(), 1u);
        EXPECT_EQ(file_lines()[0], c.line);
        EXPECT_EQ(get("%e"), std::string(c.value) == "\"\"" ? "" : c.value);
    }
    // A stored value of two double quotes (written by hand) reads as empty.
    load_lines({"%q \"\""});
    EXPECT_EQ(get("%q"), "");
}

TEST_F(VarStore, ValuesAreCutAtTheLineLength)
{
    std::string big(5000, 'v');
    ASSERT_EQ(set("%big", big), 1);
    std::string value = get("%big");
    EXPECT_EQ(value.size(), 4150u - 5u);  // "%big " and the value make one 4,150-character line
    EXPECT_EQ(file_lines()[0].size(), 4150u);
}

TEST_F(VarStore, NoVariablesFileStoresNothing)
{
    var_store_free();
    EXPECT_EQ(set("%a", "1"), 0);
    EXPECT_EQ(get("%a"), "<none>");
}

TEST_F(VarStore, WildcardUnsetWalksOneHeadOrAll)
{
    struct Case {
        const char* pattern;
        std::vector<const char*> left;
        int count;
    };
    const Case cases[] = {
        {"%*", {}, 5},
        {"%a*", {"%bx", "%1a", "%_a"}, 2},
        {"%?x", {"%abc", "%axe", "%1a", "%_a"}, 1},
        {"%*a", {"%abc", "%axe", "%bx"}, 2},
        {"%zz*", {"%abc", "%axe", "%bx", "%1a", "%_a"}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pattern);
        var_file_new("");
        echoes.clear();
        for (const char* n : {"%abc", "%axe", "%bx", "%1a", "%_a"})
            ASSERT_EQ(set(n, "v"), 1);
        ASSERT_EQ(unset(c.pattern, 1, 1), 1);
        std::vector<std::string> left;
        for (const std::string& l : file_lines())
            left.push_back(l.substr(0, l.find(' ')));
        std::vector<std::string> want(c.left.begin(), c.left.end());
        EXPECT_EQ(left, want);
        if (c.count > 0) {
            ASSERT_EQ(echoes.size(), 1u);
            EXPECT_EQ(echoes[0], "* " + std::to_string(c.count) + " vars uyumluluğu ayarlanamıyor " +
                                     c.pattern);
        } else {
            EXPECT_TRUE(echoes.empty());
        }
    }
}

TEST_F(VarStore, WildcardNeedsTheFlagAndAStar)
{
    ASSERT_EQ(set("%a1", "v"), 1);
    ASSERT_EQ(set("%a*", "literal"), 1);
    // Without the wildcard flag "%a*" is an ordinary name.
    ASSERT_EQ(unset("%a*", 0), 1);
    EXPECT_EQ(get("%a1"), "v");
    EXPECT_EQ(get("%a*"), "<none>");
    // A name that is not found is ignored silently.
    echoes.clear();
    ASSERT_EQ(unset("%nothere", 0, 1), 1);
    EXPECT_TRUE(echoes.empty());
    ASSERT_EQ(unset("%a1", 0, 1), 1);
    ASSERT_EQ(echoes.size(), 1u);
    EXPECT_EQ(echoes[0], "* Ayarsız %a1");
}

TEST_F(VarStore, LocalsShadowGlobals)
{
    StringNode* locals = var_locals_new();
    ASSERT_NE(locals, nullptr);
    ASSERT_EQ(set("%a", "global"), 1);
    std::string v = "local";
    ASSERT_EQ(var_local_set(nullptr, "%a", &v, nullptr, 0, 1, 0, locals, 0), 0)
        << "without create no local is made";
    ASSERT_EQ(var_local_set(nullptr, "%A", &v, nullptr, 0, 1, 0, locals, 1), 1);
    EXPECT_EQ(get("%a", locals), "local");
    EXPECT_EQ(get("%a"), "global");
    // A set with the local list changes the local and leaves the global.
    ASSERT_EQ(set("%a", "changed", kVarFlagSet, 0, 0, locals), 1);
    EXPECT_EQ(get("%a", locals), "changed");
    EXPECT_EQ(get("%a"), "global");
    // Unset by exact name removes the local only.
    ASSERT_EQ(unset("%a", 0, 0, locals), 1);
    EXPECT_EQ(get("%a", locals), "global");
    strlist_free(&locals);
}

TEST_F(VarStore, ALocalNameWithABlankMatchesNoLineWhoseStartAgrees)
{
    // A local line is "name value": a looked-up name holding a blank must
    // not match a line whose name and first value word spell it.
    StringNode* locals = var_locals_new();
    ASSERT_NE(locals, nullptr);
    std::string v = "b c";
    ASSERT_EQ(var_local_set(nullptr, "%a", &v, nullptr, 0, 1, 0, locals, 1), 1);
    struct Case { const char* name; const char* want; };
    const Case cases[] = {
        {"%a b", ""}, {"%A B", ""}, {"%a b c", ""}, {"%a", "b c"}, {"%A", "b c"}, {"%a b", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(get(c.name, locals), *c.want ? c.want : "<none>") << c.name;
        std::string out = "stale";
        const bool found = var_local_find(c.name, &out, 0, locals) != nullptr;
        EXPECT_EQ(found, *c.want != '\0') << c.name;
        EXPECT_EQ(out, c.want) << c.name;
    }
    strlist_free(&locals);
}

TEST_F(VarStore, LocalListMadeAsABareNodeStillTakesVariables)
{
    StringNode* locals = new StringNode;  // a head without the link to its last node
    std::string one = "1", two = "2";
    ASSERT_EQ(var_local_set(nullptr, "%x", &one, nullptr, 0, 1, 0, locals, 1), 1);
    ASSERT_EQ(var_local_set(nullptr, "%y", &two, nullptr, 0, 1, 0, locals, 1), 1);
    EXPECT_EQ(get("%x", locals), "1");
    EXPECT_EQ(get("%y", locals), "2");
    EXPECT_EQ(strlist_count(locals), 3);
    strlist_free(&locals);
}

TEST_F(VarStore, WildcardUnsetCountsLocalsAndGlobalsInOneLine)
{
    StringNode* locals = var_locals_new();
    std::string v = "1";
    var_local_set(nullptr, "%tmp1", &v, nullptr, 0, 1, 0, locals, 1);
    var_local_set(nullptr, "%tmp2", &v, nullptr, 0, 1, 0, locals, 1);
    var_local_set(nullptr, "%keep", &v, nullptr, 0, 1, 0, locals, 1);
    ASSERT_EQ(set("%tmp3", "g"), 1);
    ASSERT_EQ(set("%tmq", "g"), 1);
    ASSERT_EQ(unset("%tmp*", 1, 1, locals), 1);
    EXPECT_EQ(strlist_count(locals), 2);  // placeholder and %keep
    EXPECT_EQ(get("%tmp3"), "<none>");
    EXPECT_EQ(get("%tmq"), "g");
    ASSERT_EQ(echoes.size(), 1u);
    EXPECT_EQ(echoes[0], "* 3 vars uyumluluğu ayarlanamıyor %tmp*");
    strlist_free(&locals);
}

TEST_F(VarStore, PlainSetCancelsATimerButIncKeepsIt)
{
    ASSERT_EQ(set("%t", "x", kVarFlagSet, 5), 1);
    ASSERT_NE(var_timed_find("%t"), nullptr);
    EXPECT_EQ(var_timed_find("%T")->number, 5);
    // inc and dec with no count of their own keep the entry.
    ASSERT_EQ(set("%t", "1", kVarFlagInc, 0), 1);
    ASSERT_NE(var_timed_find("%t"), nullptr);
    ASSERT_EQ(set("%t", "0", kVarFlagDec, 0), 1);
    ASSERT_NE(var_timed_find("%t"), nullptr);
    // A plain set drops it.
    ASSERT_EQ(set("%t", "y", kVarFlagSet, 0), 1);
    EXPECT_EQ(var_timed_find("%t"), nullptr);
    for (int i = 0; i < 6; ++i)
        var_tick(0);
    EXPECT_EQ(get("%t"), "y");
}

TEST_F(VarStore, ALaterTimedEntryReplacesTheEarlierOneNewestFirst)
{
    ASSERT_EQ(set("%a", "1", kVarFlagSet, 9), 1);
    ASSERT_EQ(set("%b", "1", kVarFlagSet, 8), 1);
    ASSERT_EQ(set("%A", "2", kVarFlagSet, 3), 1);
    ASSERT_EQ(strlist_count(var_timed), 2);
    EXPECT_EQ(var_timed->text, "%A");
    EXPECT_EQ(var_timed->number, 3);
    EXPECT_EQ(var_timed->next->text, "%b");
}

// The tick over a sequence of seconds: the value after each one.
TEST_F(VarStore, TickStepsCountDownsAndUnsets)
{
    struct Case {
        const char* name;
        const char* start;
        int flags;
        int count;
        std::vector<const char*> after;  // the value after each tick
    };
    const Case cases[] = {
        {"set -z: down to zero, then gone", "3", kVarFlagSet | kVarFlagCountDown, kVarUntilExit,
         {"2", "1", "<none>", "<none>"}},
        {"set -z of a fraction", "2.5", kVarFlagSet | kVarFlagCountDown, kVarUntilExit,
         {"1.5", "0.5", "<none>"}},
        {"dec -z", "2", kVarFlagDec | kVarFlagCountDown, kVarUntilExit, {"1", "<none>"}},
        {"inc -c climbs by one", "5", kVarFlagInc | kVarFlagStep, kVarUntilExit,
         {"6", "7", "8"}},
        {"dec -c goes below zero", "1", kVarFlagDec | kVarFlagStep, kVarUntilExit,
         {"0", "-1", "-2"}},
        {"step and count down: no zero test", "2",
         kVarFlagDec | kVarFlagStep | kVarFlagCountDown, kVarUntilExit, {"1", "0", "-1"}},
        {"seconds: unset when they run out", "v", kVarFlagSet, 3, {"v", "v", "<none>"}},
        {"-z with -u2: the seconds end it first", "9", kVarFlagSet | kVarFlagCountDown, 2,
         {"8", "<none>"}},
        {"a scope id waits for its run", "v", kVarFlagSet, -42, {"v", "v", "v"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        var_store_free();
        var_file_new("");
        ASSERT_EQ(set("%x", c.start, c.flags, c.count), 1);
        for (std::size_t i = 0; i < c.after.size(); ++i) {
            var_tick(0);
            EXPECT_EQ(get("%x"), c.after[i]) << "after tick " << i + 1;
        }
    }
}

TEST_F(VarStore, TickReportsEachStepAndTheUnsetWhenShown)
{
    ASSERT_EQ(set("%c", "1", kVarFlagInc | kVarFlagStep, 2, 1), 1);
    echoes.clear();
    var_tick(0);  // one second left: one step
    var_tick(0);  // none left: unset
    ASSERT_EQ(echoes.size(), 2u);
    EXPECT_EQ(echoes[0], "* Inc %c to 2");
    EXPECT_EQ(echoes[1], "* Ayarsız %c");
    EXPECT_EQ(var_timed, nullptr);
}

TEST_F(VarStore, TimedUnsetWaitsWhileTheEditorShowsVariables)
{
    ASSERT_EQ(set("%w", "v", kVarFlagSet, 1), 1);
    editor_open = 1;
    var_tick(0);
    var_tick(0);
    EXPECT_EQ(get("%w"), "v");
    ASSERT_NE(var_timed_find("%w"), nullptr);
    EXPECT_EQ(var_timed_find("%w")->number, 1);
    editor_open = 0;
    var_tick(0);
    EXPECT_EQ(get("%w"), "<none>");
    EXPECT_EQ(var_timed, nullptr);
}

TEST_F(VarStore, ModeOneUnsetsEveryTimedVariable)
{
    ASSERT_EQ(set("%a", "1", kVarFlagSet, 100), 1);
    ASSERT_EQ(set("%b", "1", kVarFlagSet | kVarFlagUntilExit, kVarUntilExit), 1);
    ASSERT_EQ(set("%c", "1", kVarFlagSet, -20), 1);
    ASSERT_EQ(set("%d", "1"), 1);
    var_tick(1);
    EXPECT_EQ(get("%a"), "<none>");
    EXPECT_EQ(get("%b"), "<none>");
    EXPECT_EQ(get("%c"), "<none>");
    EXPECT_EQ(get("%d"), "1");
    EXPECT_EQ(var_timed, nullptr);
}

TEST_F(VarStore, ScopeEndUnsetsOnlyItsOwnEntries)
{
    ASSERT_EQ(set("%a", "1", kVarFlagSet, -10, 1), 1);
    ASSERT_EQ(set("%b", "1", kVarFlagSet, -11), 1);
    ASSERT_EQ(set("%c", "1", kVarFlagSet, 30), 1);
    // Binary variables made in the scope go with it; others stay.
    bvar_free_all();
    ASSERT_NE(bvar_create("&inner", 4, -10), nullptr);
    ASSERT_NE(bvar_create("&outer", 4, -11), nullptr);
    echoes.clear();
    var_scope_end(nullptr, -10);
    EXPECT_EQ(get("%a"), "<none>");
    EXPECT_EQ(get("%b"), "1");
    EXPECT_EQ(get("%c"), "1");
    EXPECT_EQ(strlist_count(var_timed), 2);
    EXPECT_EQ(echoes, std::vector<std::string>({"* Ayarsız %a"}));
    EXPECT_EQ(bvar_find("&inner"), nullptr);
    EXPECT_NE(bvar_find("&outer"), nullptr);
    bvar_free_all();
}

TEST_F(VarStore, ScopeIdsRunDownAndWrapToMinusNine)
{
    EXPECT_EQ(var_next_scope(), -10);
    EXPECT_EQ(var_next_scope(), -11);
    var_scope_counter = -9998;
    EXPECT_EQ(var_next_scope(), -9999);
    EXPECT_EQ(var_next_scope(), -9);
    EXPECT_EQ(var_next_scope(), -10);
    var_scope_counter = 5;  // a counter that went astray starts over
    EXPECT_EQ(var_next_scope(), -9);
}

TEST_F(VarStore, ConfirmationTextsFollowTheFlags)
{
    struct Case {
        int flags;
        const char* value;
        const char* text;
    };
    const Case cases[] = {
        {kVarFlagSet, "5", "* %v 'yı 5 'e ayarla"},
        {kVarFlagInc, "6", "* Inc %v to 6"},
        {kVarFlagDec, "4", "* Dec %v to 4"},
        {kVarFlagDec | kVarFlagStep, "3", "* Dec %v to 3"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        echoes.clear();
        ASSERT_EQ(set("%v", c.value, c.flags, 0, 1), 1);
        EXPECT_EQ(echoes, std::vector<std::string>({c.text}));
    }
    echoes.clear();
    ASSERT_EQ(set("%v", "quiet", kVarFlagSet, 0, 0), 1);
    EXPECT_TRUE(echoes.empty());
}

TEST_F(VarStore, UnsetAllKeepsLocalsAndClearsTimers)
{
    StringNode* locals = var_locals_new();
    std::string v = "l";
    var_local_set(nullptr, "%loc", &v, nullptr, 0, 1, 0, locals, 1);
    ASSERT_EQ(set("%g", "1", kVarFlagSet, 50), 1);
    ASSERT_EQ(set("%h", "1"), 1);
    var_file->modified = 0;
    var_unset_all(nullptr, 1);
    EXPECT_EQ(get("%g"), "<none>");
    EXPECT_EQ(get("%h"), "<none>");
    EXPECT_EQ(get("%loc", locals), "l");
    EXPECT_EQ(var_timed, nullptr);
    EXPECT_TRUE(file_lines().empty());
    EXPECT_EQ(var_file->modified, 1);
    ASSERT_FALSE(echoes.empty());
    EXPECT_EQ(echoes.back(), "* Variables listesi Temizlendi");
    // The store works again afterwards.
    ASSERT_EQ(set("%h", "2"), 1);
    EXPECT_EQ(get("%h"), "2");
    strlist_free(&locals);
}

TEST_F(VarStore, ManyGlobalsUnderOneLetterStayFast)
{
    // Exact lookups do not walk the head: 20,000 names under "a" set, read
    // and unset well within the test's time.
    for (int i = 0; i < 20000; ++i)
        ASSERT_EQ(set("%a" + std::to_string(i), std::to_string(i)), 1);
    for (int i = 0; i < 20000; i += 997)
        EXPECT_EQ(get("%A" + std::to_string(i)), std::to_string(i));
    for (int i = 0; i < 20000; ++i)
        ASSERT_EQ(unset("%a" + std::to_string(i), 0), 1);
    EXPECT_TRUE(file_lines().empty());
    EXPECT_EQ(var_index[0], nullptr);
}

// ---- The "%name" rule of the evaluator ----

struct Tokens {
    std::vector<EvalToken> toks;
    explicit Tokens(const std::vector<std::string>& words) : toks(words.size())
    {
        for (std::size_t i = 0; i < words.size(); ++i) {
            toks[i].text = words[i];
            toks[i].prev = i ? &toks[i - 1] : nullptr;
            toks[i].next = i + 1 < words.size() ? &toks[i + 1] : nullptr;
        }
    }
};

TEST_F(VarStore, EvalTokenKeepsNameOperandsAndEvaluatesTheRest)
{
    ASSERT_EQ(set("%a", "A"), 1);
    ASSERT_EQ(set("%b", "B"), 1);
    struct Case {
        std::vector<std::string> line;
        std::size_t index;
        int evaluate_all;
        int result;
        const char* value;  // when result is 1
    };
    const Case cases[] = {
        {{"set", "%a", "%b"}, 1, 0, 0, ""},
        {{"set", "%a", "%b"}, 2, 0, 1, "B"},
        {{"set", "-s", "%a", "%b"}, 2, 0, 0, ""},
        {{"inc", "-c", "%a", "%b"}, 3, 0, 1, "B"},
        {{"dec", "%a"}, 1, 0, 0, ""},
        {{"unset", "%a", "%b"}, 2, 0, 0, ""},
        {{"unset", "%a", "%b"}, 2, 1, 1, "B"},
        {{"sockread", "%a", "%b"}, 2, 0, 0, ""},
        {{"sockread", "%a", "%b"}, 1, 0, 1, "A"},
        {{"timer1", "1", "5", "set", "%a", "%b"}, 4, 0, 0, ""},
        {{"timer1", "1", "5", "set", "%a", "%b"}, 5, 0, 1, "B"},
        {{"timerx", "1", "5", "inc", "-s", "%a"}, 5, 0, 0, ""},
        {{"timerx", "1", "5", "unset", "%a"}, 4, 1, 1, "A"},
        {{"timerx", "0", "1", "sockread", "%b"}, 4, 0, 0, ""},
        {{"echo", "%a", "%missing"}, 1, 0, 1, "A"},
        {{"echo", "%a", "%missing"}, 2, 0, 1, ""},
        {{"/.set", "%a", "1"}, 1, 0, 0, ""},
        {{"echo", "%"}, 1, 0, 0, ""},
    };
    for (const Case& c : cases) {
        std::string trace;
        for (const std::string& w : c.line)
            trace += w + " ";
        SCOPED_TRACE(trace + "@" + std::to_string(c.index));
        Tokens t(c.line);
        std::string out = "untouched";
        int r = var_eval_token(&t.toks[0], &t.toks[c.index], 0, &out, nullptr, c.evaluate_all);
        EXPECT_EQ(r, c.result);
        if (c.result == 1)
            EXPECT_EQ(out, c.value);
        else
            EXPECT_EQ(out, "untouched");
    }
}

TEST_F(VarStore, EvalTokenRewritesAnAssignment)
{
    Tokens t({"%x", "=", "5"});
    std::string out;
    ASSERT_EQ(var_eval_token(&t.toks[0], &t.toks[0], 0, &out, nullptr, 0), 2);
    EXPECT_EQ(t.toks[0].text, "set");
    EXPECT_EQ(t.toks[1].text, "%x");
    EXPECT_TRUE(t.toks[1].flags & kTokKeepName);
    EXPECT_EQ(t.toks[2].text, "5");
    // With the rewrite switched off the command word is evaluated.
    ASSERT_EQ(set("%x", "val"), 1);
    Tokens u({"%x", "=", "5"});
    ASSERT_EQ(var_eval_token(&u.toks[0], &u.toks[0], 1, &out, nullptr, 0), 1);
    EXPECT_EQ(out, "val");
    EXPECT_EQ(u.toks[0].text, "%x");
}

// ---- The variables file ----

class VarFileTest : public VarStore {
protected:
    std::filesystem::path dir;

    void SetUp() override
    {
        VarStore::SetUp();
        char tmpl[] = "/tmp/kest_vars_XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
    }
    void TearDown() override
    {
        VarStore::TearDown();
        std::filesystem::remove_all(dir);
    }
    std::string read(const std::filesystem::path& p)
    {
        std::ifstream in(p);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }
};

TEST_F(VarFileTest, LoadReadsTheSectionAndDropsLeadingBlanks)
{
    std::filesystem::path p = dir / "vars.ini";
    {
        std::ofstream out(p);
        out << "[other]\nn0=%zz not mine\n[variables]\nn0=%a 1\nn1=   %b two  words\n"
               "n2=%c \"\"\nn3=%d\nn4=no percent here\n";
    }
    ASSERT_NE(var_file_load(p.string()), nullptr);
    EXPECT_EQ(get("%a"), "1");
    EXPECT_EQ(get("%b"), "two  words");
    EXPECT_EQ(get("%c"), "");
    EXPECT_EQ(get("%d"), "");
    EXPECT_EQ(get("%zz"), "<none>");
    EXPECT_EQ(var_file->modified, 0);
    // Line words: letter, value letter and position.
    StringNode* b = var_find("%b", nullptr, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->extra[kVarLineLetter], 'b');
    EXPECT_EQ(b->extra[kVarLineValueLetter], 't');
    EXPECT_EQ(b->extra[kVarLineValuePos], 3);
    StringNode* n = var_file->lines->prev;
    EXPECT_EQ(n->text, "no percent here");
    EXPECT_EQ(n->extra[kVarLineLetter], 0);
}

TEST_F(VarFileTest, SaveAndLoadKeepTheVariablesAndTheRestOfTheFile)
{
    std::filesystem::path p = dir / "vars.ini";
    {
        std::ofstream out(p);
        out << "[keep]\nk=v\n";
    }
    var_file_new(p.string());
    ASSERT_EQ(set("%one", "1"), 1);
    ASSERT_EQ(set("%two", "a  b"), 1);
    ASSERT_EQ(set("%three", ""), 1);
    ASSERT_EQ(var_file_save(nullptr), 1);
    EXPECT_EQ(var_file->modified, 0);
    std::string text = read(p);
    EXPECT_NE(text.find("[keep]"), std::string::npos);
    EXPECT_NE(text.find("[variables]"), std::string::npos);
    EXPECT_NE(text.find("n0=%one 1"), std::string::npos);
    EXPECT_NE(text.find("n1=%two a  b"), std::string::npos);
    EXPECT_NE(text.find("n2=%three"), std::string::npos);

    var_file_load(p.string());
    EXPECT_EQ(get("%one"), "1");
    EXPECT_EQ(get("%two"), "a  b");
    EXPECT_EQ(get("%three"), "");

    // After /unsetall the saved file holds no variables.
    var_unset_all(nullptr, 0);
    ASSERT_EQ(var_file_save(nullptr), 1);
    var_file_load(p.string());
    EXPECT_EQ(get("%one"), "<none>");
    EXPECT_NE(read(p).find("[keep]"), std::string::npos);
}

TEST_F(VarFileTest, PlainFileHoldsOneLinePerVariableAndSaveAsMoves)
{
    std::filesystem::path p = dir / "vars.txt";
    var_file_new(p.string());
    ASSERT_EQ(set("%x", "1"), 1);
    ASSERT_EQ(set("%y", "2"), 1);
    ASSERT_EQ(var_file_save(nullptr), 1);
    EXPECT_EQ(read(p), "%x 1\n%y 2\n");
    std::string other = (dir / "moved.ini").string();
    ASSERT_EQ(var_file_save(&other), 1);
    EXPECT_EQ(var_file->path, other);
    var_file_load(other);
    EXPECT_EQ(get("%y"), "2");
}

TEST_F(VarFileTest, MissingFileGivesAnEmptyStoreWithThatPath)
{
    std::filesystem::path p = dir / "absent.ini";
    ASSERT_NE(var_file_load(p.string()), nullptr);
    EXPECT_EQ(var_file->path, p.string());
    EXPECT_EQ(var_file->lines, nullptr);
    ASSERT_EQ(set("%a", "1"), 1);
    ASSERT_EQ(var_file_save(nullptr), 1);
    var_file_load(p.string());
    EXPECT_EQ(get("%a"), "1");
}

TEST_F(VarFileTest, OverlongLinesInTheFileAreCut)
{
    std::filesystem::path p = dir / "vars.ini";
    {
        std::ofstream out(p);
        out << "[variables]\nn0=%long " << std::string(6000, 'x') << "\n";
    }
    var_file_load(p.string());
    ASSERT_NE(var_file->lines, nullptr);
    EXPECT_LE(var_file->lines->text.size(), 4150u);
    EXPECT_EQ(get("%long").size(), var_file->lines->text.size() - 6);
}

TEST_F(VarFileTest, RelativePathIsTakenInTheSettingsFolder)
{
    std::string saved = settings_dir;
    settings_dir = dir.string() + "/";
    var_file_new("vars.ini");
    ASSERT_EQ(set("%r", "1"), 1);
    EXPECT_EQ(var_file_save(nullptr), 1);
    EXPECT_TRUE(std::filesystem::exists(dir / "vars.ini"));
    var_file_load("vars.ini");
    EXPECT_EQ(var_file->path, (dir / "vars.ini").string());
    EXPECT_EQ(get("%r"), "1");
    settings_dir = saved;
}

TEST_F(VarFileTest, ExitUnsetsTimedVariablesBeforeSaving)
{
    std::filesystem::path p = dir / "vars.ini";
    var_file_new(p.string());
    ASSERT_EQ(set("%keep", "1"), 1);
    ASSERT_EQ(set("%temp", "1", kVarFlagSet, 100), 1);
    ASSERT_EQ(set("%life", "1", kVarFlagSet | kVarFlagUntilExit, kVarUntilExit), 1);
    ASSERT_EQ(var_store_exit(), 1);
    std::string text = read(p);
    EXPECT_NE(text.find("%keep 1"), std::string::npos);
    EXPECT_EQ(text.find("%temp"), std::string::npos);
    EXPECT_EQ(text.find("%life"), std::string::npos);
    // Nothing changed since: nothing is written.
    std::filesystem::remove(p);
    ASSERT_EQ(var_store_exit(), 1);
    EXPECT_FALSE(std::filesystem::exists(p));
}

TEST_F(VarStore, TheFramesTickCountsTimedVariablesDown)
{
    HookGuard hooks;
    variables_install();
    tick_install();
    ASSERT_TRUE(tick_second.has_priority(kTickVariables));
    ASSERT_EQ(set("%s", "v", kVarFlagSet, 2), 1);
    tick_second.fire();
    EXPECT_EQ(get("%s"), "v");
    tick_second.fire();
    EXPECT_EQ(get("%s"), "<none>");
    tick_second.fire();  // an empty timed list: nothing to do
}

} // namespace

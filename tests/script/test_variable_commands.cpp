// /set, /var, /inc, /dec, /unset and /unsetall, run through the interpreter
// (lines) and called directly (switch parsing and errors), and $var.
#include <gtest/gtest.h>
#include "app/subsystems.h"

#include <string>
#include <vector>

#include "model/connection.h"
#include "commands/output_commands.h"
#include "commands/variable_commands.h"
#include "core/string_list.h"
#include "script/exec/alias_lookup.h"
#include "script/exec/script_errors.h"
#include "script/exec/script_hooks.h"
#include "script/exec/script_types.h"
#include "script/stores/variables.h"
#include "support/hook_guard.h"
#include "identifiers/builtin_identifiers.h"

namespace {

// The interpreter's echo lines: the variable store's confirmations and the
// errors, each list cleared on its own.
std::vector<std::string> confirmations;
std::vector<std::string> printed_errors;

void record_error(QWidget*, const std::string& text, int)
{
    confirmations.push_back(text);
    printed_errors.push_back(text);
}

class VarCommands : public ::testing::Test {
    HookGuard hooks_;  // every seam back as it was when the test ends
protected:
    Connection* conn = nullptr;

    void SetUp() override
    {
        script_engine_init();
        builtin_identifiers_install();
        variable_commands_register();
        output_commands_register();
        variable_commands_register();
        output_commands_register();
        var_store_free();
        var_file_new("");
        var_hooks = VarHooks();
        script_echo_line = record_error;
        confirmations.clear();
        printed_errors.clear();
        output_lines_clear();
        alias_clear_all();
        script_error_clear();
        conn = conn_new(nullptr);
        ASSERT_NE(conn, nullptr);
    }

    void TearDown() override
    {
        alias_clear_all();
        conn_free(conn);
        var_store_free();
        var_hooks = VarHooks();
    }

    int run(const std::string& line)
    {
        return script_exec_line(nullptr, line.c_str(), nullptr, 1, nullptr, nullptr, conn);
    }

    // Calls a handler directly with the line cut at single blanks.
    int call(int (*handler)(CommandCall&), const std::string& line, int show = 1,
             StringNode** locals = nullptr, int scope = -50)
    {
        CommandCall c;
        c.conn = conn;
        c.show = show;
        c.locals = locals;
        c.scope = scope;
        c.line = line;
        std::size_t start = 0;
        for (;;) {
            std::size_t blank = line.find(' ', start);
            c.tokens.push_back(line.substr(start, blank == std::string::npos ? std::string::npos
                                                                              : blank - start));
            if (blank == std::string::npos)
                break;
            start = blank + 1;
        }
        return handler(c);
    }

    static std::string get(const std::string& name)
    {
        std::string value;
        return var_find(name, &value, nullptr) ? value : std::string("<none>");
    }

    // The texts that /echo printed.
    static std::vector<std::string> echoed()
    {
        std::vector<std::string> out;
        for (const OutputLine& l : output_lines())
            if (l.kind == kOutputPrint)
                out.push_back(l.text);
        return out;
    }
};

TEST_F(VarCommands, SetArithmeticForms)
{
    struct Case {
        const char* line;
        const char* value;
    };
    const Case cases[] = {
        {"set %a 5 + 3", "8"},
        {"set -n %a 5 + 3", "5 + 3"},
        {"set %a 5 / 0", "5 / 0"},
        {"set %a 7 % 0", "7 % 0"},
        {"set %a 2 ^ 10", "1024"},
        {"set %a 7.5 & 3", "3"},
        {"set %a 10 / 4", "2.5"},
        {"set %a 1 + 2 + 3", "1 + 2 + 3"},
        {"set %a 7 % 3", "1"},
        {"set %a -7 % 3", "-1"},
        {"set %a 2 - 5", "-3"},
        {"set %a 10 / 3", "3.333333"},
        {"set %a -0.0000001 * 1", "0"},
        {"set %a +4 * .5", "2"},
        {"set %a 10 ^ 400", ""},
        {"set %a -1 & 255", "255"},
        {"set %a 4294967295 & 255", "255"},
        {"set %a 1e300 * 1e300", "1e300 * 1e300"},
        {"set %a 5 x 3", "5 x 3"},
        {"set %a a + 3", "a + 3"},
        {"set %a 1.2.3 + 1", "1.2.3 + 1"},
        {"set %a 5 + 3 extra", "5 + 3 extra"},
        {"set %a \"\"", ""},
        {"set %a", ""},
        {"set -s %a 6 * 7", "42"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        var_set(nullptr, "%a", nullptr, nullptr, 0, 1, 0, 0, nullptr, 0);
        ASSERT_EQ(run(c.line), 1);
        EXPECT_EQ(get("%a"), c.value);
    }
}

// "%name = value" is a /set of the variable; "=" elsewhere is plain text.
TEST_F(VarCommands, AssignmentFormSetsTheVariable)
{
    struct Case {
        const char* line;
        const char* name;
        const char* value;
    } cases[] = {
        {"%a = 5", "%a", "5"},
        {"%a = 5 + 3", "%a", "8"},
        {"%a = hello there", "%a", "hello there"},
        {"%a = $calc(2 * 21)", "%a", "42"},
        {"%b = %a", "%b", "42"},
        {"%c = ", "%c", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        ASSERT_EQ(run(c.line), 1);
        EXPECT_EQ(get(c.name), c.value);
    }
    // Only as the command word: a value holding "=" is left alone.
    ASSERT_EQ(run("set %d a = b"), 1);
    EXPECT_EQ(get("%d"), "a = b");
}

TEST_F(VarCommands, SetValueKeepsBlankRunsAndIsCut)
{
    ASSERT_EQ(call(cmd_set, "set %a  two  blanks "), 1);
    EXPECT_EQ(get("%a"), " two  blanks ");
    std::string big(6000, 'x');
    ASSERT_EQ(call(cmd_set, "set %big " + big), 1);
    EXPECT_EQ(get("%big").size(), 4150u - 5u);
}

TEST_F(VarCommands, ErrorsNameTheCommandAndStop)
{
    struct Case {
        int (*handler)(CommandCall&);
        const char* line;
        const char* message;
    };
    const Case cases[] = {
        {cmd_set, "set", "* /set: Yetersiz veya eksik parametre"},
        {cmd_set, "set -s", "* /set: Yetersiz veya eksik parametre"},
        {cmd_set, "set a 1", "* /set: Geçersiz parametre"},
        {cmd_set, "set -l", "* /var: Yetersiz veya eksik parametre"},
        {cmd_set, "set -ls x 1", "* /var: Geçersiz parametre"},
        {cmd_inc, "inc", "* /inc: Yetersiz veya eksik parametre"},
        {cmd_inc, "dec x", "* /dec: Geçersiz parametre"},
        {cmd_inc, "inc -c", "* /inc: Yetersiz veya eksik parametre"},
        {cmd_unset, "unset", "* /unset: Yetersiz veya eksik parametre"},
        {cmd_unset, "unset -s", "* /unset: Yetersiz veya eksik parametre"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        script_error_clear();
        EXPECT_EQ(call(c.handler, c.line), 0);
        EXPECT_EQ(script_error_state.text, c.message);
    }
    EXPECT_EQ(var_file->lines, nullptr) << "a failing command stores nothing";
}

TEST_F(VarCommands, SetConfirmsOnlyWithTheSwitchAndTheShowFlag)
{
    struct Case {
        const char* line;
        int show;
        std::vector<std::string> texts;
    };
    const Case cases[] = {
        {"set -s %a 1", 1, {"* %a 'yı 1 'e ayarla"}},
        {"set %a 1", 1, {}},
        {"set -s %a 1", 0, {}},
        {"set -us5 %a 1", 1, {"* %a 'yı 1 'e ayarla"}},
        {"inc -s %a 2", 1, {"* Inc %a to 3"}},
        {"dec -sc %a", 1, {"* Dec %a to 2"}},
        {"unset -s %a", 1, {"* Ayarsız %a"}},
        {"unset -xs %a", 1, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        confirmations.clear();
        std::string line = c.line;
        int (*handler)(CommandCall&) = line.rfind("set", 0) == 0     ? cmd_set
                                       : line.rfind("unset", 0) == 0 ? cmd_unset
                                                                     : cmd_inc;
        if (handler == cmd_unset) {
            std::string v = "v";
            var_set(nullptr, "%a", &v, nullptr, 0, 1, 0, 0, nullptr, 0);
        }
        ASSERT_EQ(call(handler, line, c.show), 1);
        EXPECT_EQ(confirmations, c.texts);
    }
}

TEST_F(VarCommands, SetTimersUnsetAndKeep)
{
    // /set -u10: gone ten ticks later.
    ASSERT_EQ(call(cmd_set, "set -u10 %a x"), 1);
    for (int i = 0; i < 9; ++i)
        var_tick(0);
    EXPECT_EQ(get("%a"), "x");
    var_tick(0);
    EXPECT_EQ(get("%a"), "<none>");

    // A plain /set cancels the timer; /set -k keeps it.
    ASSERT_EQ(call(cmd_set, "set -u3 %b x"), 1);
    var_tick(0);
    ASSERT_EQ(call(cmd_set, "set -k %b z"), 1);
    ASSERT_NE(var_timed_find("%b"), nullptr);
    EXPECT_EQ(var_timed_find("%b")->number, 2);
    var_tick(0);
    var_tick(0);
    EXPECT_EQ(get("%b"), "<none>");

    ASSERT_EQ(call(cmd_set, "set -u3 %c x"), 1);
    ASSERT_EQ(call(cmd_set, "set %c y"), 1);
    for (int i = 0; i < 5; ++i)
        var_tick(0);
    EXPECT_EQ(get("%c"), "y");

    // -k without a timed entry is a plain set; -k beats -u.
    ASSERT_EQ(call(cmd_set, "set -k %d 1"), 1);
    EXPECT_EQ(var_timed_find("%d"), nullptr);
    ASSERT_EQ(call(cmd_set, "set -u7 %d 1"), 1);
    ASSERT_EQ(call(cmd_set, "set -ku100 %d 2"), 1);
    EXPECT_EQ(var_timed_find("%d")->number, 7);
}

TEST_F(VarCommands, SwitchCountsAndFlags)
{
    struct Case {
        int (*handler)(CommandCall&);
        const char* line;
        int count;  // 0: no timed entry
        int flags;
    };
    const Case cases[] = {
        {cmd_set, "set -u5 %t 1", 5, 1},
        {cmd_set, "set -su5 %t 1", 5, 1},
        {cmd_set, "set -u5s %t 1", 5, 1},
        {cmd_set, "set -u %t 1", -50, 1},
        {cmd_set, "set -u0 %t 1", -50, 1},
        {cmd_set, "set -u-3 %t 1", -50, 1},
        {cmd_set, "set -z %t 3", kVarUntilExit, 17},
        {cmd_set, "set -zu4 %t 3", 4, 17},
        {cmd_set, "set -e %t 3", kVarUntilExit, 33},
        {cmd_set, "set -u99999999999 %t 3", kVarUntilExit, 1},
        {cmd_inc, "inc -c %t", kVarUntilExit, 10},
        {cmd_inc, "inc -r %t", kVarUntilExit, 10},
        {cmd_inc, "dec -c %t", kVarUntilExit, 12},
        {cmd_inc, "dec -z %t", kVarUntilExit, 20},
        {cmd_inc, "inc -e %t", kVarUntilExit, 34},
        {cmd_inc, "inc -cu9 %t", 9, 10},
        {cmd_inc, "inc -u %t", -50, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        var_store_free();
        var_file_new("");
        ASSERT_EQ(call(c.handler, c.line), 1);
        const StringNode* timed = var_timed_find("%t");
        if (c.count == 0) {
            EXPECT_EQ(timed, nullptr);
            continue;
        }
        ASSERT_NE(timed, nullptr);
        EXPECT_EQ(timed->number, c.count);
        EXPECT_EQ(timed->extra[0], c.flags);
    }
}

TEST_F(VarCommands, IncAndDec)
{
    struct Case {
        const char* start;  // null: missing
        const char* line;
        const char* value;
    };
    const Case cases[] = {
        {nullptr, "inc %n", "1"},
        {nullptr, "dec %n", "-1"},
        {"", "inc %n", "1"},
        {"1", "inc %n 5", "6"},
        {"1", "dec %n 2.5", "-1.5"},
        {"1", "inc %n abc", "2"},
        {"0.1", "inc %n 0.2", "0.3"},
        {"abc", "inc %n", "abc"},
        {"1 2", "inc %n", "1 2"},
        {"-3", "dec %n -3", "0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        var_set(nullptr, "%n", nullptr, nullptr, 0, 1, 0, 0, nullptr, 0);
        if (c.start) {
            std::string s = c.start;
            var_set(nullptr, "%n", &s, nullptr, 0, 1, 0, 0, nullptr, 0);
        }
        confirmations.clear();
        ASSERT_EQ(call(cmd_inc, std::string(c.line)), 1);
        EXPECT_EQ(get("%n"), c.value);
    }
}

TEST_F(VarCommands, IncOverflowGivesTheEmptyValue)
{
    const std::string big = "1" + std::string(308, '0');  // 1e308: twice that is no double
    var_set(nullptr, "%n", &big, nullptr, 0, 1, 0, 0, nullptr, 0);
    ASSERT_EQ(call(cmd_inc, "inc %n " + big), 1);
    EXPECT_EQ(get("%n"), "");
    ASSERT_EQ(call(cmd_inc, "dec %n 1"), 1);
    EXPECT_EQ(get("%n"), "-1");
}

TEST_F(VarCommands, IncOnTextReportsNothingEvenWhenAsked)
{
    std::string abc = "abc";
    var_set(nullptr, "%n", &abc, nullptr, 0, 1, 0, 0, nullptr, 0);
    ASSERT_EQ(call(cmd_inc, "inc -s %n"), 1);
    EXPECT_TRUE(confirmations.empty());
    EXPECT_EQ(get("%n"), "abc");
}

TEST_F(VarCommands, TimedIncAndDecOverTicks)
{
    struct Case {
        const char* start;
        const char* line;
        const char* now;
        std::vector<const char*> ticks;
    };
    const Case cases[] = {
        {"0", "inc -c %a 5", "5", {"6", "7"}},
        {"10", "dec -r %a 3", "7", {"6", "5"}},
        {"3", "dec -z %a", "2", {"1", "<none>"}},
        {"0", "inc -u2 %a", "1", {"1", "<none>"}},
        {"0", "inc -cu2 %a", "1", {"2", "<none>"}},
        {"5", "set -z %a 3", "3", {"2", "1", "<none>"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        var_store_free();
        var_file_new("");
        std::string s = c.start;
        var_set(nullptr, "%a", &s, nullptr, 0, 1, 0, 0, nullptr, 0);
        auto* handler = std::string(c.line).rfind("set", 0) == 0 ? cmd_set : cmd_inc;
        ASSERT_EQ(call(handler, c.line), 1);
        EXPECT_EQ(get("%a"), c.now);
        for (std::size_t i = 0; i < c.ticks.size(); ++i) {
            var_tick(0);
            EXPECT_EQ(get("%a"), c.ticks[i]) << "after tick " << i + 1;
        }
    }
}

TEST_F(VarCommands, IncKeepsAPendingUnsetAndSetCancelsIt)
{
    ASSERT_EQ(run("set -u5 %a 1"), 1);
    ASSERT_EQ(run("inc %a"), 1);
    ASSERT_NE(var_timed_find("%a"), nullptr);
    EXPECT_EQ(get("%a"), "2");
    ASSERT_EQ(run("set %a 7"), 1);
    EXPECT_EQ(var_timed_find("%a"), nullptr);
}

TEST_F(VarCommands, UnsetWithWildcardsAndSeveralNames)
{
    ASSERT_EQ(run("set %tmp1 a | set %tmp2 b | set %tmq c | set %x 1 | set %y 2 | set %z 3"), 1);
    confirmations.clear();
    ASSERT_EQ(run("unset -s %tmp*"), 1);
    EXPECT_EQ(confirmations, std::vector<std::string>({"* 2 vars uyumluluğu ayarlanamıyor %tmp*"}));
    EXPECT_EQ(get("%tmq"), "c");
    ASSERT_EQ(run("unset %x %Y %nothere"), 1);
    EXPECT_EQ(get("%x"), "<none>");
    EXPECT_EQ(get("%y"), "<none>");
    EXPECT_EQ(get("%z"), "3");
    // The name operands are not evaluated: %z names itself, not its value.
    ASSERT_EQ(run("set %ptr z | unset %ptr"), 1);
    EXPECT_EQ(get("%ptr"), "<none>");
    EXPECT_EQ(get("%z"), "3");
}

TEST_F(VarCommands, UnsetAllClearsGlobalsAndTimersButNotLocals)
{
    ASSERT_EQ(run("set %a 1 | set -u100 %b 2 | set -e %c 3"), 1);
    output_lines_clear();
    ASSERT_EQ(run("var %loc = here | unsetall -s | echo -s < $+ %loc $+ > < $+ %a $+ >"), 1);
    EXPECT_EQ(echoed(), std::vector<std::string>({"<here> <>"}));
    EXPECT_EQ(confirmations.back(), "* Variables listesi Temizlendi");
    EXPECT_EQ(var_timed, nullptr);
    EXPECT_EQ(var_file->lines, nullptr);
}

TEST_F(VarCommands, VarFormsAndLocalScope)
{
    ASSERT_EQ(run("set %a global"), 1);
    ASSERT_NE(alias_add("t var %a = local | echo -s $1 %a"), nullptr);
    ASSERT_EQ(run("t in | echo -s out %a"), 1);
    EXPECT_EQ(echoed(), std::vector<std::string>({"in local", "out global"}));

    struct Case {
        const char* line;
        const char* shown;
    };
    const Case cases[] = {
        {"var %a = 1, %b = 2 | echo -s %a %b", "1 2"},
        {"var %c = 3 + 4 | echo -s %c", "7"},
        {"var %d | echo -s < $+ %d $+ >", "<>"},
        {"var %e = a, b | echo -s %e", "a, b"},
        {"var %f = 1 | inc %f 4 | echo -s %f", "5"},
        {"var %g = x | unset %g | echo -s < $+ %g $+ >", "<>"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        output_lines_clear();
        ASSERT_EQ(run(c.line), 1);
        EXPECT_EQ(echoed(), std::vector<std::string>({c.shown}));
    }
    // Locals vanish with their run and never reached the globals.
    for (const char* n : {"%b", "%c", "%d", "%e", "%f", "%g"})
        EXPECT_EQ(get(n), "<none>") << n;
    EXPECT_EQ(get("%a"), "global");
}

TEST_F(VarCommands, VarShowsAndGlobalForm)
{
    ASSERT_EQ(run("var -s %a = x"), 1);
    EXPECT_EQ(confirmations, std::vector<std::string>({"* %a 'yı x 'e ayarla"}));
    EXPECT_EQ(get("%a"), "<none>");
    ASSERT_EQ(run("var -g %b = kept"), 1);
    EXPECT_EQ(get("%b"), "kept");
}

TEST_F(VarCommands, UnsetAtTheEndOfTheOutermostRun)
{
    ASSERT_NE(alias_add("t set -u %a x | echo -s in %a"), nullptr);
    ASSERT_EQ(run("t | echo -s after %a"), 1);
    EXPECT_EQ(echoed(), std::vector<std::string>({"in x", "after x"}));
    EXPECT_EQ(get("%a"), "<none>");
    // A typed line: gone as soon as it has run.
    ASSERT_EQ(run("set -u %b y"), 1);
    EXPECT_EQ(get("%b"), "<none>");
    EXPECT_EQ(var_timed, nullptr);
}

TEST_F(VarCommands, UpperCaseNameReadInLowerCase)
{
    output_lines_clear();
    ASSERT_EQ(run("set %MixedCase 42 | echo -s %mixedcase %MIXEDCASE"), 1);
    EXPECT_EQ(echoed(), std::vector<std::string>({"42 42"}));
}

TEST_F(VarCommands, VarIdentifier)
{
    ASSERT_EQ(run("set %a2 gv | set -u30 %a3 timed | set %b1 other"), 1);
    struct Case {
        const char* expr;
        const char* value;
    };
    const Case cases[] = {
        {"$var(%a*,0)", "3"},
        {"$var(%a*)", "3"},
        {"$var(a*,1)", "%a1"},
        {"$var(%a*,1).local", "$true"},
        {"$var(%a*,2).local", "$false"},
        {"$var(%a*,2)", "%a2"},
        {"$var(%a*,2).value", "gv"},
        {"$var(%a3,1).secs", "30"},
        {"$var(%a2,1).secs", "0"},
        {"$var(%*,0)", "4"},
        {"$var(%*1,0)", "2"},
        {"$var(%a*,9)", ""},
        {"$var(%z*,0)", "0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expr);
        output_lines_clear();
        ASSERT_EQ(run(std::string("var %a1 = lv | echo -s < $+ ") + c.expr + " $+ >"), 1);
        const std::vector<std::string> want = {std::string("<") + c.value + ">"};
        EXPECT_EQ(echoed(), want);
    }
}

TEST_F(VarCommands, VarIdentifierWithTooManyArgumentsFails)
{
    printed_errors.clear();
    EXPECT_EQ(run("echo -s $var(%a,1,2)"), 0);
    EXPECT_TRUE(echoed().empty());
    ASSERT_FALSE(printed_errors.empty());
    EXPECT_EQ(printed_errors.back().rfind("* Geçersiz parametre: $var", 0), 0u) << printed_errors.back();
}

} // namespace

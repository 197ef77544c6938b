// Lines the interpreter keeps in a worked-out form between passes, and the
// numbers /inc and /dec keep as whole numbers: every case here must give
// what the plain reading of the text gives, at the edges where the short
// ways stop (the limits of 64-bit integers and of exact doubles, numbers
// written with zeros, signs, points and exponents, values that hold blanks
// or operator words, brackets, braces and quotes around $ and %), and when
// the same line or alias runs again after it changed.
#include "test_exec_fixture.h"

#include "script/exec/script_types.h"

using namespace interp_test;

namespace {

class CompiledLines : public InterpTest {
protected:
    void SetUp() override
    {
        InterpTest::SetUp();
        clear_vars();
    }
    void TearDown() override
    {
        clear_vars();
        InterpTest::TearDown();
    }
    static void clear_vars()
    {
        var_set(nullptr, "%cl*", nullptr, nullptr, 0, kVarFlagSet, 1, 0, nullptr, 0);
    }

    struct Case {
        const char* name;
        const char* line;
        std::vector<std::string> expected;  // what "say" printed
        int result = 1;
    };

    // Each line runs twice: the second run takes the kept form of its
    // pieces and must print the same.
    void run_cases(const std::vector<Case>& cases)
    {
        for (const Case& c : cases) {
            for (int pass = 0; pass < 2; ++pass) {
                SCOPED_TRACE(std::string(c.name) + (pass ? " (again)" : ""));
                clear_vars();
                echoed.clear();
                errors.clear();
                EXPECT_EQ(run(c.line), c.result);
                EXPECT_EQ(echoed, c.expected);
            }
        }
    }
};

// /inc and /dec on a variable that holds the first text, by the amount (none:
// the default step).
TEST_F(CompiledLines, IncAndDecKeepTheTextOfNumbers)
{
    const struct {
        const char* start;
        const char* command;
        const char* amount;
        const char* expected;
    } cases[] = {
        {"007", "inc", "", "8"},
        {"+5", "inc", "", "6"},
        {"-5", "inc", "", "-4"},
        {"-1", "inc", "", "0"},
        {"-0", "dec", "0", "0"},
        {"0", "dec", "", "-1"},
        {"00", "dec", "", "-1"},
        {"1.5", "inc", "", "2.5"},
        {"5.", "inc", "", "6"},
        {".5", "inc", "", "1.5"},
        {"2", "inc", "0.25", "2.25"},
        {"2", "inc", "007", "9"},
        {"2", "inc", "+3", "5"},
        {"2", "inc", "-3", "-1"},
        {"2", "dec", "-3", "5"},
        {"2", "inc", "1e2", "3"},       // not a number: the default step
        {"1e3", "inc", "", "1e3"},      // not a number: left as it stands
        {"5x", "inc", "", "5x"},
        {"-", "inc", "", "-"},
        {"", "inc", "", "1"},
        {"", "dec", "", "-1"},
        {"", "inc", "5", "5"},
        // Around 10^15, where whole numbers stop being written the short way.
        {"999999999999998", "inc", "", "999999999999999"},
        {"999999999999999", "inc", "", "1000000000000000"},
        {"-999999999999999", "dec", "", "-1000000000000000"},
        // Around 2^53, the last whole number a double holds exactly.
        {"9007199254740991", "inc", "", "9007199254740992"},
        {"9007199254740992", "inc", "", "9007199254740992"},
        {"9007199254740992", "inc", "2", "9007199254740994"},
        {"-9007199254740992", "dec", "", "-9007199254740992"},
        // Around the 64-bit limits.
        {"9223372036854775807", "inc", "", "9223372036854775808"},
        {"9223372036854775806", "inc", "", "9223372036854775808"},
        {"-9223372036854775808", "dec", "", "-9223372036854775808"},
        {"99999999999999999999", "inc", "", "100000000000000000000"},
        {"1", "inc", "9223372036854775807", "9223372036854775808"},
    };
    for (const auto& c : cases) {
        for (const char* scope : {"set", "var"}) {
            SCOPED_TRACE(std::string(scope) + " " + c.start + " " + c.command + " " + c.amount);
            clear_vars();
            echoed.clear();
            std::string line = std::string(scope) + " %clv " + c.start + " | " + c.command +
                               " %clv " + c.amount + " | say < $+ %clv $+ >";
            EXPECT_EQ(run(line), 1);
            EXPECT_EQ(echoed, (std::vector<std::string>{std::string("<") + c.expected + ">"}));
        }
    }
    // A value too large for a double: /inc empties it, and so does /dec.
    const std::string huge = "1" + std::string(320, '0');
    for (const char* command : {"inc", "dec"}) {
        SCOPED_TRACE(command);
        echoed.clear();
        EXPECT_EQ(run("set %clv " + huge + " | " + command + " %clv | say < $+ %clv $+ >"), 1);
        EXPECT_EQ(echoed, (std::vector<std::string>{"<>"}));
    }
}

// A counter stepped many times over a boundary: every pass is right, and
// the pass that crosses it too.
TEST_F(CompiledLines, CountersCrossingTheExactLimits)
{
    run_cases({
        {"up over 2^53",
         "set %clv 9007199254740989 | while (%clv < 9007199254740993) { inc %clv | say %clv }",
         // the bound reads as 2^53 too: the loop ends there
         {"9007199254740990", "9007199254740991", "9007199254740992"}},
        {"down over 10^15",
         "var %clv = -999999999999998 | while (%clv > -1000000000000000) { dec %clv | say %clv }",
         {"-999999999999999", "-1000000000000000"}},
        {"halves into whole numbers",
         "var %clv = -1 | while (%clv < 1) { inc %clv 0.5 | say %clv }",
         {"-0.5", "0", "0.5", "1"}},
    });
}

TEST_F(CompiledLines, ConditionsOfVariablesAndWords)
{
    run_cases({
        {"operator held by a variable", "set %clop < | if (1 %clop 2) say yes | else say no",
         {"yes"}},
        {"operator word held by a variable",
         "set %clop isin | if (b %clop abc) say yes | else say no", {"yes"}},
        {"a value that looks like a test is one value",
         "set %cla 1 > 2 | if (%cla) say yes | else say no", {"yes"}},
        {"the first value an operator", "set %cla < | if (%cla < 2) say yes $v1 $v2 | else say no",
         {"yes < 2"}},
        {"an empty value before the operator drops out",
         "if (%clnone < 2) say yes | else say no", {"no"}},
        {"an empty value after the operator",
         "set %cla 5 | if (%cla > %clnone) say yes | else say no | say $v1 $v2", {"no", "5"}},
        {"values of several words",
         "set %cla a  b | set %clb a b | if (%cla == %clb) say yes | else say no | "
         "if (%clb == a b) say words",
         {"no", "words"}},
        {"numbers and text mixed", "set %cla 9x | if (%cla < 10) say yes | else say no | say $v1 $v2",
         {"no", "9x 10"}},
        {"numbers with zeros, signs and points",
         "set %cla 007 | set %clb +7.0 | if (%cla == %clb) say yes | if (%cla === 7) say exact",
         {"yes", "exact"}},
        {"exact comparison of texts",
         "set %cla Abc | if (%cla === abc) say yes | else say no | if (%cla == abc) say same",
         {"no", "same"}},
        {"negated operator", "set %cla 3 | if (%cla !== 4) say yes | if (%cla !< 4) say no",
         {"yes"}},
        {"a value alone", "set %cla 0.0 | if (%cla) say yes | else say no | if (%clnone) say yes2",
         {"no"}},
        {"$false and $true held by variables",
         "set %cla $false | if (%cla) say a | set %cla $true | if (%cla) say b", {"b"}},
        {"a lone percent sign and a word with percent inside",
         "set %cla 5 | if (5 % 2) say a | if (x%cla == x%cla) say b", {"a", "b"}},
        {"a word before the variable name", "set %cla 4 | if (a%cla == a4) say yes | else say no",
         {"no"}},
        {"unknown words are values", "if (1 isfoo 2) say yes", {"yes"}},
        {"a missing second value is an error", "set %cla 1 | if (%cla ==) say yes | say after",
         {}, 0},
        {"chains of variables",
         "set %cla 1 | if (%cla == 1) && (%clnone == $null) say yes | if (%cla == 2) || (%cla < 0) say no",
         {"yes"}},
        {"negated variable", "set %cla 0 | if (!%cla) say yes | if (!%clnone) say empty",
         {"yes", "empty"}},
        {"the values of the last test", "set %cla 3 | set %clb 4 | if (%cla < %clb) say $v1 $v2",
         {"3 4"}},
    });
}

TEST_F(CompiledLines, CommandsOfVariablesAndWords)
{
    run_cases({
        {"empty values take no room", "set %cla x | say %clnone %cla %clnone y", {"x y"}},
        {"a value with blank runs", "set %cla x   y | say %cla | set %clb %cla | say < $+ %clb $+ >",
         {"x   y", "<x   y>"}},
        {"a value that is a command line", "set %cla say inner | %cla", {"inner"}},
        {"a value that starts with a percent sign",
         "set %cla %clb | set %clb two | say < $+ %cla $+ >", {"<>"}},
        {"quotes around a variable are text", "set %cla 1 | say \"%cla\" '%cla' (%cla)",
         {"\"%cla\" '%cla' (%cla)"}},
        {"braces around a variable", "set %cla 1 | say {%cla} {x %cla} %cla{", {"{%cla} {x"}},
        {"dollars inside words", "set %cla 1 | say a$me %cla$ $%cla %cla", {"a$me 1"}},
        {"evaluation brackets", "set %cla me | say [ $ $+ [ %cla ] ] [[ %cla ]]",
         {"kestuser [ me ]"}},
        {"set names and %name = value", "%cla = 5 | inc %cla 2 | say %cla | set %clb %cla | say %clb",
         {"7", "7"}},
        {"a variable named by a variable stays a name",
         "set %cla %clb | set %cla 9 | say %cla %clb", {"9"}},
        {"the command word from a variable in a loop",
         "set %clw say | var %cli = 0 | while (%cli < 2) { inc %cli | %clw %cli }", {"1", "2"}},
        {"prefixes kept on the second run", "set %cla 1 | .say %cla | !say %cla | /say %cla",
         {"1", "1", "1"}},
    });
}

// The same text, changed between two runs, runs as it reads now.
TEST_F(CompiledLines, LinesChangedBetweenRunsRunAsTheyReadNow)
{
    StringNode* lines = strlist_append(nullptr, "set %clv 1 | say first %clv", 0);
    strlist_append(lines, "say second", 0);
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        echoed.clear();
        if (round == 1)
            lines->text = "set %clv 2 | say changed %clv";
        if (round == 2)
            lines->next->text = "if (%clv == 2) say still";
        ExecArgs a;
        a.lines = lines;
        a.mode = 1;
        a.show = 1;
        a.owns_locals = 1;
        a.conn = conn;
        EXPECT_EQ(script_exec_block(a), 1);
        if (round == 0)
            EXPECT_EQ(echoed, (std::vector<std::string>{"first 1", "second"}));
        else if (round == 1)
            EXPECT_EQ(echoed, (std::vector<std::string>{"changed 2", "second"}));
        else
            EXPECT_EQ(echoed, (std::vector<std::string>{"changed 2", "still"}));
    }
    strlist_free(&lines);

    // An alias redefined between calls, and a word that turns from a
    // command into an alias and back, inside a running loop's body.
    alias_add("cltest say one $1");
    echoed.clear();
    EXPECT_EQ(run("cltest a | cltest b"), 1);
    alias_remove("cltest");
    alias_add("cltest say two $1");
    EXPECT_EQ(run("cltest c"), 1);
    EXPECT_EQ(echoed, (std::vector<std::string>{"one a", "one b", "two c"}));
    alias_remove("cltest");
}

// A word that becomes an alias while a loop runs is called from then on.
TEST_F(CompiledLines, AliasesAddedAndRemovedInsideALoop)
{
    script_register_command("cladd", [](CommandCall&) {
        alias_add("clword say alias");
        return 1;
    });
    script_register_command("cldrop", [](CommandCall&) {
        alias_remove("clword");
        return 1;
    });
    script_register_command("clword", [](CommandCall&) {
        echoed.emplace_back("command");
        return 1;
    });
    echoed.clear();
    EXPECT_EQ(run("var %cli = 0 | while (%cli < 4) { inc %cli | clword | if (%cli == 1) cladd | "
                  "if (%cli == 3) cldrop }"),
              1);
    EXPECT_EQ(echoed, (std::vector<std::string>{"command", "alias", "alias", "command"}));
    script_register_command("cladd", nullptr);
    script_register_command("cldrop", nullptr);
    script_register_command("clword", nullptr);
}

} // namespace

namespace {

// The same values reach a condition and a command once as variables (read
// from the line's plan) and once through $eval (the evaluator's own walk):
// both must print the same, whatever the values hold.
TEST_F(CompiledLines, VariablesReadFromThePlanMatchTheEvaluator)
{
    const char* values[] = {"",      "0",    "007",  "7",      "+7.0",  "-1",     "1.5",
                            ".5",    "abc",  "ABC",  "a  b",   "<",     "==",     "&&",
                            "||",    "isin", "!=",   "$false", "$true", "9x",     "1e3",
                            "99999999999999999999", "-",    "%",      "{",      "[ x ]"};
    const char* operators[] = {"==", "===", "<", ">=", "!=", "//", "isin", "iswm", "&", "isnum",
                               "isfoo"};
    auto put = [](const char* name, const std::string& value) {
        var_set(nullptr, name, &value, nullptr, 0, kVarFlagSet, 0, 0, nullptr, 0);
    };
    for (const char* a : values) {
        for (const char* b : values) {
            put("%cla", a);
            put("%clb", b);
            for (const char* op : operators) {
                SCOPED_TRACE(std::string("<") + a + "> " + op + " <" + b + ">");
                const std::string tail = std::string(") say T $v1 | $v2 | else say F");
                echoed.clear();
                errors.clear();
                const int plan_result = run(std::string("if (%cla ") + op + " %clb" + tail);
                const std::vector<std::string> plan_printed = echoed;
                const std::vector<std::string> plan_errors = errors;
                echoed.clear();
                errors.clear();
                const int walk_result =
                    run(std::string("if ($eval(%cla,1) ") + op + " $eval(%clb,1)" + tail);
                EXPECT_EQ(plan_result, walk_result);
                EXPECT_EQ(plan_printed, echoed);
                EXPECT_EQ(plan_errors, errors);
            }
            SCOPED_TRACE(std::string("command <") + a + "> <" + b + ">");
            echoed.clear();
            EXPECT_EQ(run("say %cla x %clb | set %clc %cla %clb | say < $+ %clc $+ >"),
                      run("say $eval(%cla,1) x $eval(%clb,1) | "
                          "set %clc $eval(%cla,1) $eval(%clb,1) | say < $+ %clc $+ >"));
            ASSERT_EQ(echoed.size(), 4u);
            EXPECT_EQ(echoed[0], echoed[2]);
            EXPECT_EQ(echoed[1], echoed[3]);
        }
    }
}

// A while loop whose bound and step live in variables changed by its body:
// every test reads them afresh.
TEST_F(CompiledLines, LoopBoundsReadAfreshOnEveryTest)
{
    run_cases({
        {"bound lowered from inside",
         "var %cli = 0 | var %cln = 5 | while (%cli < %cln) { inc %cli | dec %cln | say %cli %cln }",
         {"1 4", "2 3", "3 2"}},
        {"operator swapped from inside",
         "var %cli = 0 | var %clop = < | while (%cli %clop 3) { inc %cli | say %cli | "
         "if (%cli == 2) var %clop = >= }",
         {"1", "2"}},
        {"a one-line body with a plain command",
         "var %cli = 0 | while (%cli < 3) inc %cli 2 | say %cli", {"4"}},
        {"a false test skips a block that spans pieces",
         "var %cli = 5 | while (%cli < 3) { inc %cli | say in } | say out %cli", {"out 5"}},
        {"if, elseif and else of variables",
         "var %cli = 2 | if (%cli == 1) say one | elseif (%cli == 2) say two | else say other | "
         "elseif (%cli == 2) say never",
         {"two"}},
    });
}

} // namespace

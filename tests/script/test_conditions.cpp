// Conditions: operator recognition, comparisons, every if-operator (true,
// false and negated), the is-operators that ask channels and lists when
// there are none, taking a condition apart from its command, and "&&" /
// "||" chains.
#include <gtest/gtest.h>
#include "app/subsystems.h"

#include <string>
#include <vector>

#include "model/connection.h"
#include "model/window_record.h"
#include "core/string_list.h"
#include "script/eval/conditions.h"
#include "script/exec/script_types.h"
#include "script/stores/variables.h"
#include "support/hook_guard.h"
#include "commands/output_commands.h"
#include "commands/variable_commands.h"
#include "identifiers/builtin_identifiers.h"

namespace {

// Builds a comparison list: v1 alone, v1 and operator, or all three.
StringNode* comparison(const std::vector<std::string>& parts)
{
    StringNode* list = nullptr;
    for (const std::string& p : parts)
        list = strlist_append(list, std::string_view(p), 0);
    return list;
}

int evaluate(const std::vector<std::string>& parts, std::string* v1 = nullptr,
             std::string* v2 = nullptr)
{
    StringNode* list = comparison(parts);
    std::string a;
    std::string b;
    const int r = cond_evaluate(list, nullptr, a, b);
    strlist_free(&list);
    if (v1)
        *v1 = a;
    if (v2)
        *v2 = b;
    return r;
}

std::string joined(const TokenList& list)
{
    std::string out;
    for (const EvalToken* t = list.head; t; t = t->next) {
        if (!out.empty())
            out.push_back(' ');
        out += t->text;
    }
    return out;
}

// ---------------------------------------------------------------------------

TEST(CondOperators, RecognisesWordsAndSymbolsWithOptionalBang)
{
    const struct {
        const char* token;
        int expected;
    } cases[] = {
        {"==", 1},      {"=", 1},        {"===", 1},     {"<", 1},       {">", 1},
        {"<=", 1},      {">=", 1},       {"//", 1},      {"\\\\", 1},    {"&", 1},
        {"isin", 1},    {"ISIN", 1},     {"isincs", 1},  {"iswm", 1},    {"iswmcs", 1},
        {"ison", 1},    {"isop", 1},     {"ishop", 1},   {"ishelp", 1},  {"isvo", 1},
        {"isvoice", 1}, {"isowner", 1},  {"isreg", 1},   {"isban", 1},   {"isexcept", 1},
        {"isinvite", 1}, {"isalnum", 1}, {"isalpha", 1}, {"isletter", 1}, {"islower", 1},
        {"isupper", 1}, {"isnum", 1},    {"ischan", 1},  {"isaop", 1},   {"isauto", 1},
        {"isavoice", 1}, {"isprotect", 1}, {"isignore", 1}, {"isnotify", 1},
        {"!=", 1},      {"!isin", 1},    {"!==", 1},     {"!iswm", 1},
        {"!", 0},       {"!!=", 0},      {"====", 0},    {"=>", 0},      {"isfoo", 0},
        {"", 0},        {"a", 0},        {"\\", 0},      {"&&", 0},      {"||", 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(cond_is_operator(c.token), c.expected) << c.token;
}

TEST(CondCompare, NumbersTextsAndEmptyValues)
{
    const struct {
        const char* v1;
        const char* v2;
        int kind;
        int expected;
    } cases[] = {
        {"1", "1.0", kCmpExact, kCmpEqual},
        {"10", "9", kCmpText, kCmpGreater},
        {"10", "9x", kCmpText, kCmpLess},        // text: "1" before "9"
        {"-2", "1", kCmpText, kCmpLess},
        {"a", "A", kCmpText, kCmpEqual},
        {"a", "A", kCmpExact, kCmpGreater},       // bytes: 'a' after 'A'
        {"abc", "abd", kCmpText, kCmpLess},
        {"ab", "abc", kCmpText, kCmpLess},
        {"_", "a", kCmpText, kCmpLess},           // letters fold to lower case
        {"", "", kCmpText, kCmpEqual},
        {"", "5", kCmpText, kCmpNotComparable},
        {"5", "", kCmpText, kCmpNotComparable},
        {"", "abc", kCmpText, kCmpLess},
        {"abc", "", kCmpText, kCmpGreater},
        {"3", "12", kCmpDivides, kCmpEqual},
        {"5", "12", kCmpDivides, kCmpLess},
        {"0", "5", kCmpDivides, kCmpLess},
        {"1.5", "4.5", kCmpDivides, kCmpEqual},
        {"a", "b", kCmpDivides, kCmpLess},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.v1) + " ? " + c.v2 + " kind " + std::to_string(c.kind));
        EXPECT_EQ(cond_compare(c.v1, c.v2, c.kind, *c.v1 == '\0', *c.v2 == '\0'), c.expected);
    }
}

TEST(CondValue, TruthOfASingleValue)
{
    const struct {
        const char* value;
        int expected;
    } cases[] = {
        {"0", 0},  {"0.0", 0}, {"", 0},    {"$false", 0}, {"$FALSE", 0}, {"-0", 0},
        {"abc", 1}, {"-1", 1}, {"$true", 1}, {"0x", 1},   {"false", 1},  {" ", 1},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(cond_value_true(c.value), c.expected) << "'" << c.value << "'";
        EXPECT_EQ(evaluate({c.value}), c.expected) << "'" << c.value << "'";
    }
}

struct OpCase {
    const char* v1;
    const char* op;
    const char* v2; // null: no second value
    int expected;
};

void run_op_cases(const std::vector<OpCase>& cases)
{
    for (const auto& c : cases) {
        std::vector<std::string> parts = {c.v1, c.op};
        if (c.v2)
            parts.push_back(c.v2);
        SCOPED_TRACE(std::string(c.v1) + " " + c.op + " " + (c.v2 ? c.v2 : "<none>"));
        EXPECT_EQ(evaluate(parts), c.expected);
    }
}

TEST(CondEvaluate, ComparisonOperators)
{
    run_op_cases({
        {"a", "==", "A", 1},     {"a", "=", "b", 0},       {"a", "!=", "A", 0},
        {"a", "!==", "b", 1},    {"a", "===", "A", 0},     {"1", "===", "1.0", 1},
        {"a", "===", "a", 1},    {"a", "!===", "A", 1},    {"10", ">", "9", 1},
        {"10", ">", "9x", 0},    {"9", ">", "10", 0},      {"1", "<", "2", 1},
        {"2", "<", "1", 0},      {"2", "!<", "1", 1},      {"2", "<=", "2", 1},
        {"3", "<=", "2", 0},     {"2", ">=", "2", 1},      {"1", ">=", "2", 0},
        {"1", "!>=", "2", 1},    {"b", ">", "A", 1},
    });
}

TEST(CondEvaluate, EmptyFirstValueAgainstANumberIsFalseForEveryComparison)
{
    for (const char* op : {"==", "===", "<", ">", "<=", ">="}) {
        SCOPED_TRACE(op);
        EXPECT_EQ(evaluate({"", op, "5"}), 0);
        EXPECT_EQ(evaluate({"5", op, ""}), 0);
    }
    EXPECT_EQ(evaluate({"", "==", ""}), 1);
    EXPECT_EQ(evaluate({"", "<", "abc"}), 1);
}

TEST(CondEvaluate, DivisibilityAndBitAnd)
{
    run_op_cases({
        {"3", "//", "12", 1},   {"5", "//", "12", 0},   {"0", "//", "5", 0},
        {"3", "!//", "12", 0},  {"3", "\\\\", "12", 0}, {"5", "\\\\", "12", 1},
        {"a", "\\\\", "b", 1},  {"0", "\\\\", "5", 1},  {"a", "//", "b", 0},
        {"6", "&", "3", 1},     {"4", "&", "3", 0},     {"4", "!&", "3", 1},
        {"", "&", "3", 0},      {"7x", "&", "1", 1},
    });
}

TEST(CondEvaluate, TextOperators)
{
    run_op_cases({
        {"ell", "isin", "HELLO", 1},   {"xyz", "isin", "hello", 0},   {"ELL", "!isin", "hello", 0},
        {"", "isin", "hello", 0},      {"a", "isin", "", 0},          {"ell", "isincs", "hello", 1},
        {"ELL", "isincs", "hello", 0}, {"ELL", "!isincs", "hello", 1}, {"", "isincs", "x", 0},
        {"h*o", "iswm", "HELLO", 1},   {"h?", "iswm", "hello", 0},    {"h*o", "iswmcs", "HELLO", 0},
        {"H*O", "iswmcs", "HELLO", 1}, {"", "iswm", "", 0},           {"*", "!iswm", "x", 0},
    });
}

TEST(CondEvaluate, IsinLowerCasesBothValues)
{
    std::string v1;
    std::string v2;
    EXPECT_EQ(evaluate({"ELL", "isin", "HeLLo"}, &v1, &v2), 1);
    EXPECT_EQ(v1, "ell");
    EXPECT_EQ(v2, "hello");
    EXPECT_EQ(evaluate({"A", "==", "B"}, &v1, &v2), 0);
    EXPECT_EQ(v1, "A");
    EXPECT_EQ(v2, "B");
}

TEST(CondEvaluate, CharacterClassOperators)
{
    run_op_cases({
        {"abc123", "isalnum", nullptr, 1}, {"abc-1", "isalnum", nullptr, 0}, {"", "isalnum", nullptr, 0},
        {"abc", "isalpha", nullptr, 1},    {"ab1", "isalpha", nullptr, 0},   {"ab1", "!isalpha", nullptr, 1},
        {"a1", "isletter", nullptr, 1},    {"1a", "isletter", nullptr, 0},   {"b", "isletter", "abc", 1},
        {"d", "isletter", "abc", 0},       {"", "isletter", nullptr, 0},
        {"abc-1", "islower", nullptr, 1},  {"aBc", "islower", nullptr, 0},   {"", "islower", nullptr, 1},
        {"ABC-1", "isupper", nullptr, 1},  {"AbC", "isupper", nullptr, 0},   {"", "isupper", nullptr, 1},
        {"AbC", "!isupper", nullptr, 1},
    });
}

TEST(CondEvaluate, IsnumWithValuesAndRanges)
{
    run_op_cases({
        {"5", "isnum", nullptr, 1},    {"5.5", "isnum", nullptr, 1},  {"-5", "isnum", nullptr, 1},
        {"5x", "isnum", nullptr, 0},   {"", "isnum", nullptr, 0},     {"5x", "!isnum", nullptr, 1},
        {"5", "isnum", "5", 1},        {"5", "isnum", "6", 0},        {"5", "isnum", "1-10", 1},
        {"5", "isnum", "6-", 0},       {"7", "isnum", "6-", 1},       {"5", "isnum", "-4", 0},
        {"3", "isnum", "-4", 0},       {"-5", "isnum", "-10--1", 1},  {"0", "isnum", "-10--1", 0},
        {"10", "isnum", "1-10", 1},    {"11", "isnum", "1-10", 0},    {"5", "!isnum", "1-10", 0},
        {"abc", "isnum", "1-10", 0},   {"-10", "isnum", "-10-", 1},
    });
}

TEST(CondEvaluate, MissingSecondValueAndUnknownOperator)
{
    for (const char* op : {"==", "<", "//", "&", "isin", "iswm", "ison", "isop", "isban", "!isin"}) {
        SCOPED_TRACE(op);
        EXPECT_EQ(evaluate({"a", op}), kCondInvalid);
    }
    for (const char* op : {"isalpha", "isnum", "isletter", "ischan", "isnotify", "isaop"}) {
        SCOPED_TRACE(op);
        EXPECT_NE(evaluate({"a", op}), kCondInvalid);
    }
    EXPECT_EQ(evaluate({"a", "isfoo", "b"}), kCondUnknownOperator);
    EXPECT_EQ(evaluate({"a", "!isfoo", "b"}), kCondUnknownOperator); // errors are not inverted
    StringNode* none = nullptr;
    std::string v1;
    std::string v2;
    EXPECT_EQ(cond_evaluate(none, nullptr, v1, v2), kCondInvalid);
}

// ---------------------------------------------------------------------------
// Operators that ask the channel windows and the lists (the channel tests
// with real nick lists are with the protocol tests).

TEST(CondChannelDefaults, WithoutChannelStateEveryChannelTestIsFalse)
{
    run_op_cases({
        {"nick", "ison", "#chan", 0}, {"nick", "isop", "#chan", 0}, {"#chan", "ischan", nullptr, 0},
        {"a!b@c", "isban", "#chan", 0}, {"a!b@c", "isaop", nullptr, 0}, {"a!b@c", "isignore", nullptr, 0},
        {"nick", "isnotify", nullptr, 0},
    });
}

// ---------------------------------------------------------------------------
// Taking a condition apart from its command.

struct TakeCase {
    const char* words;
    const char* condition;
    const char* rest;
    int taken;
};

TEST(CondTake, StripsGroupsAndStopsAtConnectives)
{
    const TakeCase cases[] = {
        {"(a == b) echo hi", "a == b", "echo hi", 1},
        {"( a == b ) echo hi", "a == b", "echo hi", 1},
        {"((a == b)) echo", "a == b", "echo", 1},
        {"((a == b) && (c == d)) { echo }", "a == b", "&& (c == d) { echo }", 1},
        {"(a == b) && (c == d) echo", "a == b", "&& (c == d) echo", 1},
        {"(a) || (b) echo", "a", "|| (b) echo", 1},
        {"($calc(1 + 2) == 3) echo", "$calc(1 + 2) == 3", "echo", 1},
        {"($iif(a && b, 1, 0)) echo", "$iif(a && b, 1, 0)", "echo", 1},
        {"(!$iif(a || b, 1, 0)) echo", "!$iif(a || b, 1, 0)", "echo", 1},
        {"(x) {", "x", "{", 1},
        {"() echo", "", "echo", 1},
        {"a == b", "a == b", "", 1},              // no parentheses: up to the end
        {"a == b { echo }", "a == b", "{ echo }", 1},
        {"(a == b", "a == b", "", 1},             // unbalanced: the group runs to the end
        {"", "", "", 0},
        {"&& (a)", "", "&& (a)", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.words);
        TokenList tokens;
        toklist_split(tokens, c.words);
        std::string scratch;
        std::string condition = "stale";
        EXPECT_EQ(cond_take_condition(tokens, scratch, condition), c.taken);
        EXPECT_EQ(condition, c.condition);
        EXPECT_EQ(joined(tokens), c.rest);
    }
}

TEST(CondTake, DeepParenthesesAreStrippedWithoutRecursion)
{
    const int depth = 3000;
    std::string words = std::string(depth, '(') + "1" + std::string(depth, ')') + " echo";
    TokenList tokens;
    toklist_split(tokens, words);
    std::string scratch;
    std::string condition;
    EXPECT_EQ(cond_take_condition(tokens, scratch, condition), 1);
    EXPECT_EQ(condition, "1");
    EXPECT_EQ(joined(tokens), "echo");
}

TEST(CondBlock, FindsTheOpeningBrace)
{
    const struct {
        const char* command;
        std::size_t expected;
    } cases[] = {
        {"{ echo }", 1},     {"x {", 3},   {"x{", std::string::npos}, {"echo", std::string::npos},
        {"a {b", 3},         {"", std::string::npos},
    };
    for (const auto& c : cases)
        EXPECT_EQ(cond_find_block_open(c.command), c.expected) << c.command;
}

// ---------------------------------------------------------------------------
// Chains.

class CondChain : public ::testing::Test {
protected:
    HookGuard hooks_;  // every seam back as it was when the test ends
    // Stands in for the identifier evaluator: splits the group's text into
    // final tokens, "$null" giving an empty value; "FAIL" fails the
    // evaluation. Records every group it is asked for.
    int evaluate_group(const std::string& condition, TokenList& out)
    {
        groups.push_back(condition);
        if (condition == "FAIL")
            return 0;
        toklist_split(out, condition);
        for (EvalToken* t = out.head; t; t = t->next) {
            t->state = kTokFinal;
            if (t->text == "$null") {
                t->text.clear();
                t->flags |= kTokEmpty;
            }
        }
        return 1;
    }

    int run(const std::string& words, std::string* rest = nullptr)
    {
        TokenList tokens;
        toklist_split(tokens, words);
        groups.clear();
        v1 = v2 = op = "";
        used = -1;
        const int r = cond_run_chain(
            tokens, [this](const std::string& c, TokenList& out) { return evaluate_group(c, out); },
            nullptr, v1, v2, &used, &op);
        if (rest)
            *rest = joined(tokens);
        return r;
    }

    std::vector<std::string> groups;
    std::string v1;
    std::string v2;
    std::string op;
    int used = 0;
};

TEST_F(CondChain, LeftToRightWithoutPrecedence)
{
    const struct {
        const char* words;
        int expected;
        const char* rest;
        std::vector<std::string> evaluated;
    } cases[] = {
        {"(1 == 1) echo hi", 1, "echo hi", {"1 == 1"}},
        {"(1 == 2) echo hi", 0, "echo hi", {"1 == 2"}},
        {"(0) || (1) && (0) echo", 0, "echo", {"0", "1", "0"}},          // (false || true) && false
        {"(1) || (0) && (0) echo", 0, "echo", {"1", "0"}},               // (true || skipped) && false
        {"(1) && (0) || (1) echo", 1, "echo", {"1", "0", "1"}},
        {"(1 == 1) || (2 == 3) echo hi", 1, "echo hi", {"1 == 1"}},     // || after true skips
        {"(1 == 2) && ($x(a b) == y) { echo }", 0, "{ echo }", {"1 == 2"}}, // && after false skips
        {"(1 == 2) && (a) && (b) || (c) echo", 1, "echo", {"1 == 2", "c"}},
        {"(a) && (b) {", 1, "{", {"a", "b"}},
        {"((1) && (0)) echo", 0, "echo", {"1", "0"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.words);
        std::string rest;
        EXPECT_EQ(run(c.words, &rest), c.expected);
        EXPECT_EQ(rest, c.rest);
        EXPECT_EQ(groups, c.evaluated);
    }
}

TEST_F(CondChain, OperandsOfTheLastComparisonWithAnOperator)
{
    EXPECT_EQ(run("(a == b) || (c isin abc) echo"), 1);
    EXPECT_EQ(used, 1);
    EXPECT_EQ(v1, "c");
    EXPECT_EQ(v2, "abc");
    EXPECT_EQ(op, "isin");

    EXPECT_EQ(run("(x == x) && (1) echo"), 1);
    EXPECT_EQ(used, 1);
    EXPECT_EQ(v1, "x"); // the single value of the second group leaves them
    EXPECT_EQ(v2, "x");

    EXPECT_EQ(run("(1) echo"), 1);
    EXPECT_EQ(used, 0);

    EXPECT_EQ(run("($null >= 5) echo"), 0);
    EXPECT_EQ(v1, "");
    EXPECT_EQ(v2, "5");
}

TEST_F(CondChain, Failures)
{
    const struct {
        const char* words;
        int expected;
    } cases[] = {
        {"(a ==) echo", kCondInvalid},
        {"() echo", kCondInvalid},
        {"(a isfoo b) echo", 1},               // "isfoo" is no operator: one value
        {"(1) && echo", 1},                    // "echo" is taken as the next group
        {"(1) &&", kCondAmbiguous},
        {"(0) || {", kCondAmbiguous},
        {"(1) && && (1)", kCondAmbiguous},
        {"(FAIL) echo", kCondEvalFailed},
        {"(1) && (FAIL) echo", kCondEvalFailed},
        {"(1) || (FAIL) echo", 1},             // never evaluated
        {"", kCondInvalid},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.words);
        EXPECT_EQ(run(c.words), c.expected);
    }
}

TEST_F(CondChain, LongChainsEndWithoutRecursion)
{
    std::string words;
    for (int i = 0; i < 2000; ++i)
        words += "(0) || ";
    words += "(1) echo";
    std::string rest;
    EXPECT_EQ(run(words, &rest), 1);
    EXPECT_EQ(rest, "echo");
    EXPECT_EQ(groups.size(), 2001u);

    words.clear();
    for (int i = 0; i < 2000; ++i)
        words += "(1) || ";
    words += "(1) echo";
    EXPECT_EQ(run(words, &rest), 1);
    EXPECT_EQ(groups.size(), 1u);
    EXPECT_EQ(rest, "echo");
}

} // namespace

// ---------------------------------------------------------------------------
// Conditions run by the executor, with identifiers evaluated inside them.

namespace {

std::vector<std::string> marks;

// A command that records its arguments.
int cond_mark(CommandCall& call)
{
    marks.emplace_back(call.rest());
    return kScriptDone;
}

class CondScript : public ::testing::Test {
    HookGuard hooks_;  // every seam back as it was when the test ends
protected:
    void SetUp() override
    {
        script_engine_init();
        builtin_identifiers_install();
        variable_commands_register();
        output_commands_register();
        script_register_command("condmark", cond_mark);
        conn_ = conn_new(nullptr);
        ASSERT_NE(conn_, nullptr);
        marks.clear();
    }
    void TearDown() override { conn_free_all(); }

    // Runs a command line and returns what condmark recorded, joined by "|".
    std::string run(const std::string& line)
    {
        marks.clear();
        script_exec_line(nullptr, line.c_str(), "a b c", 1, nullptr, nullptr, conn_);
        std::string out;
        for (const std::string& m : marks)
            out += (out.empty() ? "" : "|") + m;
        return out;
    }

    Connection* conn_ = nullptr;
};

TEST_F(CondScript, OperatorsInIfElseAndChains)
{
    const struct {
        const char* line;
        const char* expected;
    } cases[] = {
        {"if (1 === 1.0) condmark yes | else condmark no", "yes"},
        {"if (a === A) condmark yes | else condmark no", "no"},
        {"if (a == A) condmark yes", "yes"},
        {"if (a != A) condmark yes | else condmark no", "no"},
        {"if ($calc(2 * 3) == 6) condmark six", "six"},
        {"if ($calc(10 / 4) isnum 2-3) condmark in range", "in range"},
        {"if ($2 isin abc) condmark found $v1 $v2", "found b abc"},
        {"if (ELL isin HeLLo) condmark $v1 $v2", "ell hello"},
        {"if (0) || (1) && (0) condmark yes | else condmark no", "no"},
        {"if (1) && ($gettok($1-,2,32) == b) { condmark both }", "both"},
        {"if (3 // 12) condmark multiple", "multiple"},
        {"if (5 !isnum 1-10) condmark out | else condmark in", "in"},
        {"if ($null) condmark yes | elseif (abc) condmark second", "second"},
        {"if (x) condmark $numtok($1-,32)", "3"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        EXPECT_EQ(run(c.line), c.expected);
    }
}

TEST_F(CondScript, BadConditionsStopTheRun)
{
    const char* lines[] = {
        "if (a ==) condmark ran",
        "if (1) &&",
        "if () condmark ran",
    };
    for (const char* line : lines) {
        SCOPED_TRACE(line);
        EXPECT_EQ(run(std::string(line) + " | condmark after"), "");
    }
}

TEST_F(CondScript, CalcReadsVariables)
{
    std::string value = "21";
    ASSERT_EQ(var_set(nullptr, "%calcn", &value, nullptr, 0, 0, 0, 0, nullptr, 0), 1);
    EXPECT_EQ(run("condmark $calc(%calcn * 2) $calc(%calcunset * 2)"), "42 0");
    var_set(nullptr, "%calcn", nullptr, nullptr, 0, 0, 0, 0, nullptr, 0);
}

} // namespace

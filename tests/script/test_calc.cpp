// The arithmetic evaluator: lexer, precedence, failures, number formatting,
// and $calc through the identifier evaluator.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "model/connection.h"
#include "script/eval/calc.h"
#include "script/exec/script_hooks.h"
#include "script/exec/script_types.h"
#include "script/stores/variables.h"

namespace {

struct ComputeCase {
    const char* expression;
    const char* expected;
};

TEST(CalcCompute, PrecedenceAndOperators)
{
    const ComputeCase cases[] = {
        {"1+2*3", "7"},
        {"(1+2)*3", "9"},
        {"7 % 3", "1"},
        {"7/2", "3.5"},
        {"10/3", "3.333333"},
        {"2^-1", "0.5"},
        {".5 + .25", "0.75"},
        {"2^3^2", "64"},        // left-associative
        {"-2^2", "4"},          // the sign binds tighter than ^
        {"2^+2", "4"},
        {"5 - 3 - 1", "1"},     // left-associative
        {"8/4/2", "1"},
        {"10 - 2 * 3", "4"},
        {"2 * (3 + 4) - 5", "9"},
        {"2*-3", "-6"},
        {"-(-5)", "5"},
        {"7.5 % 2", "1.5"},     // real remainder
        {"-7 % 3", "-1"},
        {"2^0.5*2^0.5", "2"},
        {"((((4))))", "4"},
        {"1.2.3 + 0", "1.2"},   // a run of digits and points reads as far as it is a number
        {"1000000", "1000000"},  // zeros of the integer part stay
        {"100/4", "25"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.expression);
        EXPECT_EQ(calc_compute(c.expression, nullptr), c.expected);
    }
}

TEST(CalcCompute, TextAfterASumAndUnknownOperandsCountAsZero)
{
    const ComputeCase cases[] = {
        {"2 a", "2"},          // text after a complete sum is ignored
        {"1e3", "1"},          // "e3" is text after the sum
        {"a + 2", "0"},        // an unknown operand is 0 and stops the sum
        {"1 + $x", "1"},       // a name left unevaluated counts as 0
        {"3 *", "0"},          // a missing operand counts as 0
        {"+5", "5"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.expression);
        EXPECT_EQ(calc_compute(c.expression, nullptr), c.expected);
    }
}

TEST(CalcCompute, FailuresGiveZero)
{
    const std::string huge_literal(400, '9');
    const std::vector<std::pair<std::string, const char*>> cases = {
        {"1/0", "division by zero"},
        {"7 % 0", "remainder by zero"},
        {"5 / (2 - 2)", "division by a zero sum"},
        {"()", "empty parentheses"},
        {"(1+2", "missing closing parenthesis"},
        {"((1)", "unbalanced nesting"},
        {"10^400", "overflow of pow"},
        {"(-8)^0.5", "pow outside its domain"},
        {"0^-1", "pole of pow"},
        {huge_literal, "literal too large for a double"},
        {huge_literal + " - " + huge_literal, "infinite difference"},
        {"", "empty expression"},
        {"   ", "blank expression"},
    };
    for (const auto& [expression, why] : cases) {
        SCOPED_TRACE(why);
        EXPECT_EQ(calc_compute(expression, nullptr), "0");
    }
}

TEST(CalcCompute, MinusZeroAndTinyValuesPrintAsZero)
{
    EXPECT_EQ(calc_compute("-0", nullptr), "0");
    EXPECT_EQ(calc_compute("0 - 0.0000001", nullptr), "0");
    EXPECT_EQ(calc_compute("0.0000004", nullptr), "0");
    EXPECT_EQ(calc_compute("0.0000006", nullptr), "0.000001");
    EXPECT_EQ(calc_compute("1.23456789", nullptr), "1.234568");
}

TEST(CalcCompute, UnderflowIsNoFault)
{
    const std::string tiny = "0." + std::string(400, '0') + "1";
    EXPECT_EQ(calc_compute(tiny + " + 5", nullptr), "5");
    EXPECT_EQ(calc_compute("10^-400 + 5", nullptr), "5");
    double value = -1.0;
    EXPECT_EQ(calc_compute_value("2^-2000", nullptr, value), 1);
    EXPECT_EQ(value, 0.0);
}

TEST(CalcCompute, ExpressionLongerThanALineGivesZero)
{
    std::string expression = "1";
    while (expression.size() <= 4150)
        expression += " + 1";
    EXPECT_EQ(calc_compute(expression, nullptr), "0");
    std::string fits = "1";
    int terms = 1;
    while (fits.size() + 4 <= 4150) {
        fits += " + 1";
        ++terms;
    }
    EXPECT_EQ(calc_compute(fits, nullptr), std::to_string(terms));
    // The lexemes are joined with blanks: "1+1+..." of 4,149 characters
    // joins to more than a line.
    std::string packed = "1";
    while (packed.size() + 2 <= 4150)
        packed += "+1";
    EXPECT_EQ(calc_compute(packed, nullptr), "0");
}

TEST(CalcParse, NestingIsBoundedAndNeverOverflowsTheStack)
{
    auto nested = [](int depth) {
        return std::string(static_cast<std::size_t>(depth), '(') + "1" +
               std::string(static_cast<std::size_t>(depth), ')');
    };
    EXPECT_EQ(calc_compute(nested(kCalcMaxNesting), nullptr), "1");
    EXPECT_EQ(calc_compute(nested(kCalcMaxNesting + 1), nullptr), "0");

    // Hostile input straight to the parser, far past any line length.
    std::string lexeme;
    double value = -1.0;
    EXPECT_EQ(calc_parse(std::string(1000000, '('), lexeme, value, nullptr), 0);
    EXPECT_EQ(calc_parse(std::string(200000, '-') + "1", lexeme, value, nullptr), 1);
    std::string chain;
    for (int i = 0; i < 100000; ++i)
        chain += "2^";
    chain += "1";
    calc_math_error_clear();
    EXPECT_EQ(calc_parse(chain, lexeme, value, nullptr), 0); // 2^2^2^... overflows
    EXPECT_EQ(calc_math_error, 1);
}

TEST(CalcParse, MathErrorFlagIsSetByFaultsAndClearedOnRequest)
{
    std::string lexeme;
    double value = 0.0;
    calc_math_error_clear();
    EXPECT_EQ(calc_parse("10^400", lexeme, value, nullptr), 0);
    EXPECT_EQ(calc_math_error, 1);
    calc_math_error_clear();
    EXPECT_EQ(calc_math_error, 0);
    ASSERT_EQ(calc_parse("1 + 2", lexeme, value, nullptr), 1);
    EXPECT_EQ(calc_math_error, 0);
    EXPECT_EQ(value, 3.0);
    EXPECT_EQ(calc_math_check(std::numeric_limits<double>::quiet_NaN()), 1);
}

// ---------------------------------------------------------------------------

struct Lexeme {
    std::string text;
    int type;
    bool operator==(const Lexeme&) const = default;
};

std::vector<Lexeme> lex_all(std::string_view text)
{
    std::vector<Lexeme> out;
    std::string lexeme;
    int type = -1;
    for (int guard = 0; guard < 1000; ++guard) {
        const int returned = calc_lex(text, lexeme, type);
        EXPECT_EQ(returned, type);
        if (lexeme.empty())
            break;
        out.push_back({lexeme, type});
    }
    return out;
}

TEST(CalcLex, CutsLexemesWithTheirTypes)
{
    constexpr int N = kCalcLexName, O = kCalcLexOperator, X = kCalcLexOther, D = kCalcLexNumber;
    const struct {
        const char* text;
        std::vector<Lexeme> expected;
    } cases[] = {
        {"$calctestlen(abc)*2", {{"$calctestlen(abc)", N}, {"*", X}, {"2", D}}},
        {"$calctestlen(abc) * 2", {{"$calctestlen(abc)", N}, {"*", O}, {"2", D}}},
        {"($x)", {{"(", O}, {"$x", N}, {")", O}}},
        {"$f(a b) c", {{"$f(a b)", N}, {"c", X}}},
        {"$f((a)) + 1", {{"$f((a))", N}, {"+", O}, {"1", D}}},
        {"$a(b).len + 1", {{"$a(b).len", N}, {"+", O}, {"1", D}}},
        {"%x)", {{"%x", N}, {")", O}}},
        {"7 % 3", {{"7", D}, {"%", O}, {"3", D}}},
        {"7%3", {{"7", D}, {"%3", N}}},
        {"1.2.3", {{"1.2.3", D}}},
        {".5", {{".5", D}}},
        {"- 1", {{"-", O}, {"1", D}}},
        {"-1", {{"-", X}, {"1", D}}},
        {"2^-1", {{"2", D}, {"^", X}, {"-", X}, {"1", D}}},
        {"1e3", {{"1", D}, {"e", X}, {"3", D}}},
        {"   ", {}},
        {"", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(lex_all(c.text), c.expected);
    }
}

// ---------------------------------------------------------------------------

TEST(CalcFormat, SixDecimalsWithTrailingZerosRemoved)
{
    const struct {
        double value;
        const char* expected;
    } cases[] = {
        {3.5, "3.5"},
        {10.0 / 3.0, "3.333333"},
        {2.0 / 3.0, "0.666667"},
        {-2.5, "-2.5"},
        {100.0, "100"},
        {-0.0, "0"},
        {-0.0000001, "0"},
        {1e20, "100000000000000000000"},
        {std::numeric_limits<double>::infinity(), "0"},
        {std::numeric_limits<double>::quiet_NaN(), "0"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.expected);
        EXPECT_EQ(calc_format_number(c.value), c.expected);
    }
}

TEST(CalcFormat, TrimZerosOnlyAfterAPoint)
{
    const struct {
        const char* text;
        const char* expected;
    } cases[] = {
        {"100", "100"}, {"1.500", "1.5"}, {"2.000", "2"}, {"-0.000", "0"},
        {"+0", "0"},    {"1e+10", "1e+10"}, {"10.", "10"},
    };
    for (const auto& c : cases) {
        std::string text = c.text;
        calc_trim_zeros(text);
        EXPECT_EQ(text, c.expected) << c.text;
    }
}

TEST(CalcNumbers, ReadersFollowTheStandardConversions)
{
    EXPECT_EQ(calc_read_real("  -2.5xyz"), -2.5);
    EXPECT_EQ(calc_read_real("1e3"), 1000.0);
    EXPECT_EQ(calc_read_real("0x10"), 0.0);
    EXPECT_EQ(calc_read_real("inf"), 0.0);
    EXPECT_EQ(calc_read_real("abc"), 0.0);
    bool overflow = false;
    EXPECT_TRUE(std::isinf(calc_read_real(std::string(400, '9'), &overflow)));
    EXPECT_TRUE(overflow);
    EXPECT_EQ(calc_read_real("0." + std::string(400, '0') + "1", &overflow), 0.0);
    EXPECT_FALSE(overflow);

    EXPECT_EQ(calc_read_int(" -42abc"), -42);
    EXPECT_EQ(calc_read_int("abc"), 0);
    EXPECT_EQ(calc_read_int("99999999999999999999"), 2147483647);
    EXPECT_EQ(calc_read_int("-99999999999999999999"), -2147483647 - 1);

    const struct {
        const char* text;
        int expected;
    } numbers[] = {{"1", 1}, {"-1.5", 1}, {"+.5", 1}, {"5.", 1}, {"1.2.3", 0}, {".", 0},
                   {"-", 0}, {"", 0},     {"1e3", 0}, {" 1", 0}};
    for (const auto& n : numbers)
        EXPECT_EQ(calc_is_number(n.text), n.expected) << n.text;
}

// ---------------------------------------------------------------------------
// Variables left in an expression.

class CalcVariables : public ::testing::Test {
protected:
    static void set(const std::string& name, const std::string& value)
    {
        ASSERT_EQ(var_set(nullptr, name, &value, nullptr, 0, kVarFlagSet, 0, 0, nullptr, 0), 1);
    }
    void SetUp() override
    {
        var_store_free();
        var_file_new("");
        set("%n", "21");
        set("%neg", "-4.5");
    }
    void TearDown() override { var_store_free(); }
};

TEST_F(CalcVariables, ReadThroughTheStoreAndZeroWhenUnset)
{
    EXPECT_EQ(calc_compute("%n * 2", nullptr), "42");
    EXPECT_EQ(calc_compute("%neg * 2", nullptr), "-9");
    EXPECT_EQ(calc_compute("%unset * 2", nullptr), "0");
    EXPECT_EQ(calc_compute("(%n)", nullptr), "21");
}

// ---------------------------------------------------------------------------
// $calc through the identifier evaluator.

// A stand-in for a text identifier: the length of its one argument.
int test_length(IdentCall& call)
{
    const int r = ident_args_step(call, 1);
    if (r >= 0)
        return r;
    *call.value = std::to_string(ident_arg(call, 0).size());
    return ident_finish(call);
}

class CalcIdentifier : public ::testing::Test {
protected:
    void SetUp() override
    {
        calc_register();
        ident_register("calctestlen(", test_length);
        conn_ = conn_new(nullptr);
        ASSERT_NE(conn_, nullptr);
    }
    void TearDown() override { conn_free_all(); }

    // Evaluates a text; "<null>" when the evaluation failed.
    std::string eval(const std::string& line, const char* param1 = nullptr)
    {
        std::string text = line;
        std::string* result = ident_eval_text(nullptr, &text, param1, nullptr, 0, -1, -1,
                                              nullptr, conn_);
        return result ? *result : std::string("<null>");
    }

    Connection* conn_ = nullptr;
};

TEST_F(CalcIdentifier, EvaluatesNamesInsideTheExpression)
{
    const struct {
        const char* line;
        const char* expected;
    } cases[] = {
        {"$calc(1+2*3)", "7"},
        {"$calc((1+2)*3)", "9"},
        {"$calc(7 % 3)", "1"},
        {"$calc(7/2)", "3.5"},
        {"$calc(10/3)", "3.333333"},
        {"$calc(1/0)", "0"},
        {"$calc(-0)", "0"},
        {"$calc(2^-1)", "0.5"},
        {"$calc(.5 + .25)", "0.75"},
        {"$calc(1e3)", "1"},
        {"$calc($calctestlen(abc) * 2)", "6"},
        {"$calc($calctestlen(abc)*2)", "6"},
        {"$calc($calc(1+1) ^ 3)", "8"},
        {"$calc($1 * 2)", "42"},
        {"x $calc(1 + 1) y", "x 2 y"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        EXPECT_EQ(eval(c.line, "21"), c.expected);
    }
}

TEST_F(CalcIdentifier, EmptyExpressionFailsTheEvaluation)
{
    EXPECT_EQ(eval("$calc()"), "<null>");
    EXPECT_EQ(eval("$calc( )"), "<null>");

    // A top-level evaluation prints the error.
    script_output_clear();
    std::string text = "$calc()";
    EXPECT_EQ(ident_eval_text(nullptr, &text, nullptr, nullptr, 0, 0, -1, nullptr, conn_), nullptr);
    const auto& lines = script_output_lines();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back().text.rfind("* Geçersiz format: $calc", 0), 0u) << lines.back().text;
}

} // namespace

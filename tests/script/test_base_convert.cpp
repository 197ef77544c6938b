// Number base conversion and the value of $base.
#include <gtest/gtest.h>

#include <string>

#include "model/connection.h"
#include "script/eval/base_convert.h"
#include "script/eval/calc.h"
#include "script/exec/script_types.h"

namespace {

struct ConvertCase {
    const char* text;
    int from;
    int to;
    const char* expected; // null: the conversion fails
};

TEST(BaseConvert, ConvertsBetweenBases)
{
    const ConvertCase cases[] = {
        {"FF", 16, 10, "255"},
        {"ff", 16, 10, "255"},
        {"255", 10, 2, "11111111"},
        {"0xff", 16, 10, "255"},
        {"-10", 10, 16, "-A"},
        {"--5", 10, 10, "5"},
        {"+-+3", 10, 10, "-3"},
        {"  12", 10, 10, "12"},
        {"9", 2, 10, "9"},      // a digit at or above the base is not refused
        {"Z", 36, 10, "35"},
        {"10", 10, 36, "A"},
        {"35", 10, 36, "Z"},
        {"36", 10, 36, "10"},
        {"0", 10, 2, "0"},
        {"0XZ", 36, 10, "1223"}, // no "0x" prefix in base 36: X is a digit
        {"4294967295", 10, 16, "FFFFFFFF"},
        {"11111111111111111111111111111111", 2, 10, "4294967295"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.text) + " " + std::to_string(c.from) + "->" + std::to_string(c.to));
        std::string text = c.text;
        std::string out = "stale";
        ASSERT_EQ(calc_base_convert(text, c.from, out, c.to), 1);
        EXPECT_EQ(out, c.expected);
    }
}

TEST(BaseConvert, FractionsKeepTheirDigitCountPerBase)
{
    const ConvertCase cases[] = {
        {"0.5", 10, 2, "0.1000000000000000000"},  // 19 digits in base 2
        {"0.5", 10, 16, "0.800000000000"},        // 12 in base 16
        {"0.5", 10, 10, "0.500000000000000"},     // 15 in base 10
        {"0.5", 10, 36, "0.I0"},                  // 2 in base 36
        {"0.8", 16, 10, "0.500000000000000"},
        {"1.1", 2, 10, "1.500000000000000"},
        {"-2.5", 10, 2, "-10.1000000000000000000"},
        {"1.2.3", 10, 10, "1.230000000000000"},   // later points are skipped too
        {"0.1", 10, 2, "0.0001100110011001100"},
        {"0.123456", 10, 10, "0.123456000000000"}, // no noise of the binary fraction
        {"0.7", 10, 10, "0.700000000000000"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        std::string text = c.text;
        std::string out;
        ASSERT_EQ(calc_base_convert(text, c.from, out, c.to), 1);
        EXPECT_EQ(out, c.expected);
    }
}

TEST(BaseConvert, FractionRoundedUpToOneCarriesIntoTheIntegerPart)
{
    // Rounded to ten places the fraction becomes a whole one; no digit may
    // come out equal to the base.
    std::string text = "0.99999999999";
    std::string out;
    ASSERT_EQ(calc_base_convert(text, 10, out, 10), 1);
    EXPECT_EQ(out, "1");
    text = "5.999999999999";
    ASSERT_EQ(calc_base_convert(text, 10, out, 16), 1);
    EXPECT_EQ(out, "6");
}

TEST(BaseConvert, RefusesBadBasesAndDigits)
{
    const ConvertCase cases[] = {
        {"g!", 16, 10, nullptr}, {"12 ", 10, 10, nullptr}, {"", 10, 10, nullptr},
        {"-", 10, 10, nullptr},  {"0x", 16, 10, nullptr},  {"5", 1, 10, nullptr},
        {"5", 37, 10, nullptr},  {"5", 10, 1, nullptr},    {"5", 10, 37, nullptr},
        {"1_0", 10, 10, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string("'") + c.text + "' " + std::to_string(c.from) + "->" + std::to_string(c.to));
        std::string text = c.text;
        std::string out = "stale";
        EXPECT_EQ(calc_base_convert(text, c.from, out, c.to), 0);
        EXPECT_EQ(out, "");
    }
}

TEST(BaseConvert, UpperCasesTheInputInPlace)
{
    std::string text = "0xabc";
    std::string out;
    ASSERT_EQ(calc_base_convert(text, 16, out, 10), 1);
    EXPECT_EQ(text, "0XABC");
    EXPECT_EQ(out, "2748");
}

TEST(BaseConvert, HugeNumbersGiveZeroWithoutRunningAway)
{
    // 4,150 digits of base 36 are far beyond a double: the conversion
    // reports the math error as the value "0".
    std::string text(4150, 'Z');
    std::string out;
    ASSERT_EQ(calc_base_convert(text, 36, out, 2), 1);
    EXPECT_EQ(out, "0");
    EXPECT_EQ(calc_math_error, 1);

    // The largest values that still fit are written in full.
    text = std::string(300, '9');
    ASSERT_EQ(calc_base_convert(text, 10, out, 2), 1);
    EXPECT_GT(out.size(), 990u);
    EXPECT_LE(out.size(), 1024u);
    EXPECT_EQ(out.find_first_not_of("01"), std::string::npos);

    // A long fraction underflows harmlessly.
    text = "0." + std::string(4000, '0') + "1";
    ASSERT_EQ(calc_base_convert(text, 10, out, 10), 1);
    EXPECT_EQ(out, "0");
}

TEST(BaseConvert, DigitCharacters)
{
    const struct {
        int value;
        char expected;
    } cases[] = {{0, '0'}, {9, '9'}, {10, 'A'}, {35, 'Z'}, {36, '\0'}, {-1, '\0'}};
    for (const auto& c : cases)
        EXPECT_EQ(base_digit_char(c.value), c.expected) << c.value;
}

// ---------------------------------------------------------------------------

struct BaseCase {
    const char* number;
    int from;
    int to;
    int args;          // 3, 4 (pad) or 5 (pad and precision)
    int pad;
    int precision;
    const char* expected;
};

TEST(BaseValue, PaddingPrecisionAndTrailingZeros)
{
    const BaseCase cases[] = {
        {"ff", 16, 10, 3, 0, 0, "255"},
        {"255", 10, 2, 4, 12, 0, "000011111111"},
        {"-5", 10, 10, 4, 3, 0, "-005"},
        {"0.5", 10, 2, 3, 0, 0, "0.1"},            // trailing zeros of the fraction go
        {"1.5", 10, 10, 4, 4, 0, "0001.5"},
        {"12345", 10, 10, 4, 2, 0, "12345"},         // padding never cuts
        {"7", 10, 10, 4, 500, 0, nullptr},          // pad clamped to 100 (checked below)
        {"7", 10, 10, 4, -3, 0, "7"},
        {"0.123456", 10, 10, 5, 0, 3, "0.123"},
        {"0.125", 10, 10, 5, 0, 2, "0.12"},          // cut, not rounded
        {"0.123456", 10, 10, 5, 0, 0, "0"},          // 0 drops the fraction
        {"2.75", 10, 10, 5, 0, -1, "2"},
        {"0.123456", 10, 10, 5, 0, 20, "0.123456"},  // above 10 counts as 10
        {"0.1000000001", 10, 10, 5, 0, 9, "0.1"},
        {"0.1", 10, 10, 3, 0, 0, "0.1"},
        {"3.14159", 10, 10, 3, 0, 0, "3.14159"},
        {"-2.5", 10, 16, 5, 3, 1, "-002.8"},
        {"10", 10, 10, 3, 0, 0, "10"},               // zeros of the integer part stay
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.number) + " pad " + std::to_string(c.pad) + " precision " +
                     std::to_string(c.precision));
        std::string out;
        ASSERT_EQ(base_convert_text(c.number, c.from, c.to, c.args >= 4, c.pad, c.args >= 5,
                                    c.precision, out),
                  1);
        if (c.expected)
            EXPECT_EQ(out, c.expected);
        else
            EXPECT_EQ(out, std::string(99, '0') + "7");
    }
}

TEST(BaseValue, FailedConversionIsEmpty)
{
    std::string out = "stale";
    EXPECT_EQ(base_convert_text("xyz!", 36, 10, false, 0, false, 0, out), 0);
    EXPECT_EQ(out, "");
    EXPECT_EQ(base_convert_text("10", 10, 40, true, 5, false, 0, out), 0);
    EXPECT_EQ(out, "");
    EXPECT_EQ(base_convert_text("", 10, 10, false, 0, false, 0, out), 0);
}

// ---------------------------------------------------------------------------
// $base through the identifier evaluator.

class BaseIdentifier : public ::testing::Test {
protected:
    void SetUp() override
    {
        base_convert_register();
        conn_ = conn_new(nullptr);
        ASSERT_NE(conn_, nullptr);
    }
    void TearDown() override { conn_free_all(); }

    std::string eval(const std::string& line)
    {
        std::string text = line;
        std::string* result = ident_eval_text(nullptr, &text, nullptr, nullptr, 0, -1, -1,
                                              nullptr, conn_);
        return result ? *result : std::string("<null>");
    }

    Connection* conn_ = nullptr;
};

TEST_F(BaseIdentifier, ArgumentsAndCounts)
{
    const struct {
        const char* line;
        const char* expected;
    } cases[] = {
        {"$base(ff,16,10)", "255"},
        {"$base(255,10,2,12)", "000011111111"},
        {"$base(-5,10,10,3)", "-005"},
        {"$base(0.5,10,2)", "0.1"},
        {"$base(0.123456,10,10,0,2)", "0.12"},
        {"x $base(g!,16,10) y", "x y"},
        {"x $base(10,10,99) y", "x y"},
        {"$base(ff,16)", "<null>"},            // fewer than 3: error 6
        {"$base(1,10,10,1,1,1)", "<null>"},    // more than 5: error 6
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        EXPECT_EQ(eval(c.line), c.expected);
    }
}

} // namespace

// Bounded buffers, searching, code stripping and the small in-place edits;
// the colour-digit reader.
#include <gtest/gtest.h>

#include <climits>

#include <clocale>
#include <string>
#include <string_view>

#include "core/color_code.h"
#include "core/text_buffer.h"
#include "core/main_settings.h"
#include "support/hook_guard.h"

namespace {

// Restores the stripper's settings after each test.
class TextBufferSettings : public ::testing::Test {
protected:
    HookGuard hooks_;  // every seam back as it was when the test ends

    void SetUp() override
    {
        saved_[0] = strip_setting_flags;
        saved_[1] = strip_setting_over_only;
        saved_[2] = strip_setting_over_count;
        saved_[3] = lang_setting_utf;
        saved_[4] = lang_setting_multibyte;
    }
    void TearDown() override
    {
        strip_setting_flags = saved_[0];
        strip_setting_over_only = saved_[1];
        strip_setting_over_count = saved_[2];
        lang_setting_utf = saved_[3];
        lang_setting_multibyte = saved_[4];
    }

private:
    int saved_[5] = {};
};

// ---------------------------------------------------------------------------
// Buffers

TEST(TextBufferCapacity, DeclaredSizes)
{
    struct Case {
        std::size_t size;
        std::size_t capacity;
    } cases[] = {
        {4200, 4150}, {4150, 4150}, {1074, 1024}, {1024, 1024}, {306, 256},
        {256, 256},   {512, 511},   {0, 0},       {1, 0},       {11, 10},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.size);
        EXPECT_EQ(buf_text_capacity(c.size), c.capacity);
    }
}

TEST(TextBufferCopy, CutsAtCapacityAndHandlesNull)
{
    const std::string long_text(5000, 'x');
    struct Case {
        std::size_t size;
        const char* text;
        std::size_t expected_length;
    } cases[] = {
        {kLongTextSize, long_text.c_str(), 4150},
        {kShortTextSize, long_text.c_str(), 256},
        {kMediumTextSize, long_text.c_str(), 1024},
        {512, long_text.c_str(), 511},
        {10, long_text.c_str(), 5000}, // no size given: whole copy
        {0, long_text.c_str(), 5000},
        {kLongTextSize, nullptr, 0},
        {kLongTextSize, "abc", 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.size);
        std::string buf = "previous contents";
        EXPECT_EQ(buf_copy(buf, c.size, c.text), c.expected_length);
        EXPECT_EQ(buf.size(), c.expected_length);
        if (c.text) {
            EXPECT_EQ(buf, std::string(c.text, c.expected_length));
        }
    }
}

TEST(TextBufferCopy, CopyOfItselfIsUnchanged)
{
    std::string buf = "self copy";
    buf_copy(buf, kShortTextSize, buf.c_str());
    EXPECT_EQ(buf, "self copy");
    buf_copy(buf, 5, std::string_view(buf).substr(5));
    EXPECT_EQ(buf, "copy");
}

TEST(TextBufferAppend, FillsUpToCapacity)
{
    struct Case {
        const char* name;
        std::string start;
        std::size_t size;
        std::string add;
        std::string expected;
    } cases[] = {
        {"full medium buffer takes nothing", std::string(1024, 'a'), kMediumTextSize, "more",
         std::string(1024, 'a')},
        {"overlong start is cut first", std::string(1100, 'a'), kMediumTextSize, "b",
         std::string(1024, 'a')},
        {"partial room", std::string(254, 'a'), kShortTextSize, "bcd",
         std::string(254, 'a') + "bc"},
        {"unbounded", std::string(300, 'a'), 10, "bcd", std::string(300, 'a') + "bcd"},
        {"plain append", "ab", kLongTextSize, "cd", "abcd"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string buf = c.start;
        EXPECT_EQ(buf_append(buf, c.size, c.add), c.expected.size());
        EXPECT_EQ(buf, c.expected);
    }
    std::string buf = "keep";
    buf_append(buf, kShortTextSize, static_cast<const char*>(nullptr));
    EXPECT_EQ(buf, "keep");
}

TEST(TextBufferTruncate, KeepsLeastOfLengthCapacityAndN)
{
    struct Case {
        std::string start;
        std::size_t size;
        std::size_t n;
        std::size_t expected;
    } cases[] = {
        {"abcdef", kShortTextSize, 3, 3},
        {"abc", kShortTextSize, 10, 3},
        {std::string(300, 'a'), kShortTextSize, 1000, 256},
        {std::string(300, 'a'), 10, 1000, 300}, // unbounded: only n counts
        {"abcdef", 10, 2, 2},
        {"abc", kLongTextSize, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.start.size());
        std::string buf = c.start;
        EXPECT_EQ(buf_truncate(buf, c.size, c.n), c.expected);
        EXPECT_EQ(buf, c.start.substr(0, c.expected));
    }
}

TEST(TextBufferClear, Empties)
{
    std::string buf = "text";
    buf_clear(buf, kShortTextSize);
    EXPECT_TRUE(buf.empty());
    buf = "text";
    buf_clear(buf, 5);
    EXPECT_TRUE(buf.empty());
}

// ---------------------------------------------------------------------------
// Searching

TEST(TextFindNocase, Table)
{
    struct Case {
        const char* text;
        const char* pattern;
        long expected; // -1 for none
    } cases[] = {
        {"Hello World", "world", 6},
        {"Hello World", "WORLD", 6},
        {"Hello World", "o w", 4},
        {"aaab", "AAB", 1},
        {"abc", "", -1},
        {"abc", "abcd", -1},
        {"", "a", -1},
        {"x.INI", ".ini", 1},
        {"[1]{", "{", 3},
        {"@[", "`{", -1}, // only letters fold
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.text) + " / " + c.pattern);
        const std::size_t pos = text_find_nocase(std::string_view(c.text), std::string_view(c.pattern));
        if (c.expected < 0)
            EXPECT_EQ(pos, std::string_view::npos);
        else
            EXPECT_EQ(pos, static_cast<std::size_t>(c.expected));
        const char* p = text_find_nocase(c.text, c.pattern);
        if (c.expected < 0)
            EXPECT_EQ(p, nullptr);
        else
            EXPECT_EQ(p, c.text + c.expected);
    }
    EXPECT_EQ(text_find_nocase(static_cast<const char*>(nullptr), "a"), nullptr);
    EXPECT_EQ(text_find_nocase("abc", static_cast<const char*>(nullptr)), nullptr);
}

TEST(TextEndsWithNocase, Table)
{
    struct Case {
        const char* text;
        const char* pattern;
        long expected;
    } cases[] = {
        {"x.ini.ini", ".INI", 5}, // the last occurrence, not the first
        {"help.CHM", ".chm", 4},
        {"x.ini.txt", ".ini", -1},
        {"ini", ".ini", -1},
        {"aaa", "aa", 1},
        {"abc", "", -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.text) + " / " + c.pattern);
        const char* p = text_ends_with_nocase(c.text, c.pattern);
        if (c.expected < 0)
            EXPECT_EQ(p, nullptr);
        else
            EXPECT_EQ(p, c.text + c.expected);
        const std::size_t pos = text_ends_with_nocase(std::string_view(c.text), std::string_view(c.pattern));
        EXPECT_EQ(pos, c.expected < 0 ? std::string_view::npos : static_cast<std::size_t>(c.expected));
    }
}

// ---------------------------------------------------------------------------
// Case folding and blanks

// Runs the body once in the "C" locale and once more in each Turkish locale
// the system has, where the C library folds 'I' to a dotless i (or leaves it
// alone); the results must not change.
template <class Body>
void in_each_locale(Body body)
{
    const std::string saved = std::setlocale(LC_CTYPE, nullptr);
    for (const char* name : {"C", "tr_TR.UTF-8", "tr_TR.ISO-8859-9", "tr_TR"}) {
        if (!std::setlocale(LC_CTYPE, name))
            continue;
        SCOPED_TRACE(name);
        body();
    }
    std::setlocale(LC_CTYPE, saved.c_str());
}

TEST(TextNocase, EqualCompareAndStartsTable)
{
    struct Case {
        std::string_view a, b;
        bool equal;
        int compare;
        bool starts; // a starts with b
    } cases[] = {
        {"ABC", "abc", true, 0, true},
        {"I", "i", true, 0, true},
        {"TITLE", "title", true, 0, true},
        {"\xC4\xB0", "i", false, 1, false},          // UTF-8 dotted capital I is not folded
        {"\xC4\xB1", "I", false, 1, false},          // nor the dotless small i
        {"\xC4\xB0", "\xC4\xB0", true, 0, true},
        {"\xDD", "i", false, 1, false},               // Latin-5 dotted capital I byte
        {"\xC0", "\xE0", false, -1, false},          // Latin-1 letters stay apart
        {"abc", "abcd", false, -1, false},
        {"abcd", "ABC", false, 1, true},
        {"", "", true, 0, true},
        {"x", "", false, 1, true},
        {"[", "a", false, -1, false},                 // folded to lower case, not upper
        {"_", "A", false, -1, false},
        {std::string_view("a\0b", 3), std::string_view("A\0B", 3), true, 0, true},
    };
    in_each_locale([&] {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.a) + " / " + std::string(c.b));
            EXPECT_EQ(text_equal_nocase(c.a, c.b), c.equal);
            EXPECT_EQ(text_equal_nocase(c.b, c.a), c.equal);
            EXPECT_EQ(text_compare_nocase(c.a, c.b), c.compare);
            EXPECT_EQ(text_compare_nocase(c.b, c.a), -c.compare);
            EXPECT_EQ(text_starts_with_nocase(c.a, c.b), c.starts);
        }
    });
}

TEST(TextNocase, LowerFoldsAsciiLettersOnly)
{
    in_each_locale([] {
        EXPECT_EQ(text_lower_copy("MiXeD Case 09_[]"), "mixed case 09_[]");
        EXPECT_EQ(text_lower_copy("I\xC4\xB0\xDD\xC0Z"), "i\xC4\xB0\xDD\xC0z");
        std::string text = "INVITE";
        text_lower(text);
        EXPECT_EQ(text, "invite");
        EXPECT_EQ(text_lower_char('I'), 'i');
        EXPECT_EQ(text_lower_char('@'), '@');
        EXPECT_EQ(text_lower_char('['), '[');
        EXPECT_EQ(text_lower_char('\xDD'), '\xDD');
    });
}

TEST(TextBlanks, SkipTable)
{
    struct Case {
        std::string_view text;
        std::size_t from;
        std::size_t index;
    } cases[] = {
        {"  a b", 0, 2},
        {"a  b", 1, 3},
        {"", 0, 0},
        {"   ", 0, 3},
        {"\ta", 0, 0}, // only spaces are blanks
        {"ab", 5, 5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.text) + " from " + std::to_string(c.from));
        EXPECT_EQ(text_skip_blanks(c.text, c.from), c.index);
        if (c.from == 0) {
            EXPECT_EQ(text_skip_blanks(c.text), c.text.substr(c.index));
        }
    }
}

// ---------------------------------------------------------------------------
// Code stripping

TEST_F(TextBufferSettings, StripCodesBySet)
{
    struct Case {
        const char* name;
        std::string text;
        int set;
        std::string expected;
        int removed;
    } cases[] = {
        {"colour with background keeps a third digit", "\x03" "4,123x", 8, "3x", 1},
        {"colour with two digits", "a\x03" "04b", 8, "ab", 1},
        {"bare colour", "a\x03" "b", 8, "ab", 1},
        {"comma without digit stays", "\x03" "4,x", 8, ",x", 1},
        {"third text digit stays", "\x03" "123", 8, "3", 1},
        {"set 15 removes plain", "\x02" "a\x0F" "b\x1F" "c\x16", 15, "abc", 4},
        {"set 31 removes plain and tab", "\x0F" "a\tb", 31, "ab", 2},
        {"set 7 keeps plain and colour", "\x02" "a\x0F" "\x03" "4b\x1F", 7, "a\x0F" "\x03" "4b", 2},
        {"bold only", "\x02" "a\x1F" "b", 1, "a\x1F" "b", 1},
        {"underline only", "\x02" "a\x1F" "b", 2, "\x02" "ab", 1},
        {"reverse only", "\x16" "a\x02", 4, "a\x02", 1},
        {"tab only", "a\tb\x02", 16, "ab\x02", 1},
        {"set 0 strips nothing", "\x02" "a", 0, "\x02" "a", 0},
        {"empty text", "", 15, "", 0},
        {"UTF-8 text keeps its characters", "\xC3\xA7" "\x02" "a\xE2\x82\xAC", 1, "\xC3\xA7" "a\xE2\x82\xAC", 1},
        {"colour digits next to UTF-8", "\x03" "12,5\xC3\xBC", 8, "\xC3\xBC", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string text = c.text;
        EXPECT_EQ(text_strip_codes(text, c.set), c.removed);
        EXPECT_EQ(text, c.expected);
    }
}

TEST_F(TextBufferSettings, StripCodesWithUserSetting)
{
    struct Case {
        const char* name;
        int flags, over_only, over_count;
        std::string text;
        std::string expected;
        int removed;
    } cases[] = {
        {"setting 0 strips nothing", 0, 0, 50, "\x02" "a", "\x02" "a", 0},
        {"negative setting strips nothing", -3, 0, 50, "\x02" "a", "\x02" "a", 0},
        {"setting bold", 1, 0, 50, "\x02" "a\x1F", "a\x1F", 1},
        {"under the count: unchanged", 1, 1, 2, "\x02" "a\x02" "b", "\x02" "a\x02" "b", 0},
        {"count equal to the limit: unchanged", 1, 1, 2, "\x02\x02" "a", "\x02\x02" "a", 0},
        {"over the count: stripped", 1, 1, 2, "\x02\x02\x02" "a", "a", 3},
        {"only selected codes are counted", 1, 1, 2, "\x02\x1F\x1F\x1F" "a", "\x02\x1F\x1F\x1F" "a", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        strip_setting_flags = c.flags;
        strip_setting_over_only = c.over_only;
        strip_setting_over_count = c.over_count;
        std::string text = c.text;
        EXPECT_EQ(text_strip_codes(text, -1), c.removed);
        EXPECT_EQ(text, c.expected);
    }
}

TEST_F(TextBufferSettings, StripCodesKeepsDoubleByteCharacters)
{
    // A lead byte takes the next byte with it, even when that byte looks like
    // a code; without the multibyte setting the code is removed.
    SavedValues saved{main_settings.lang_sjis};
    main_settings.lang_sjis = 1;
    const std::string input = "a\x81\x02" "b\x02";
    std::string text = input;
    lang_setting_multibyte = 1;
    EXPECT_EQ(text_strip_codes(text, 1), 1);
    EXPECT_EQ(text, "a\x81\x02" "b");
    EXPECT_EQ(text_has_codes("\x81\x02", 0), 0);

    text = input;
    lang_setting_multibyte = 0;
    EXPECT_EQ(text_strip_codes(text, 1), 2);
    EXPECT_EQ(text, "a\x81" "b");
    EXPECT_EQ(text_has_codes("\x81\x02", 0), 1);
}

// The program's own lead-byte test: 0xA0 leads in the other double-byte
// sets, not in Shift-JIS, where 0xE0 does again; 0x80 and 0xFF never lead.
TEST_F(TextBufferSettings, LeadBytesOfTheDoubleByteCodeSets)
{
    SavedValues saved{main_settings.lang_sjis, lang_setting_multibyte};
    lang_setting_multibyte = 1;
    struct Lead {
        int sjis;
        unsigned char byte;
        bool lead;
    } leads[] = {{0, 0x80, false}, {0, 0x81, true}, {0, 0xA0, true}, {0, 0xFE, true}, {0, 0xFF, false},
                 {1, 0x81, true},  {1, 0x9F, true}, {1, 0xA0, false}, {1, 0xDF, false}, {1, 0xE0, true},
                 {1, 0xFC, true},  {1, 0xFD, false}};
    for (const Lead& l : leads) {
        SCOPED_TRACE(std::to_string(l.sjis) + " " + std::to_string(l.byte));
        main_settings.lang_sjis = l.sjis;
        EXPECT_EQ(text_mbcs_lead_byte(l.byte), l.lead);
        // A lead byte takes the code after it along; otherwise the code goes.
        std::string text = std::string(1, static_cast<char>(l.byte)) + "\x02" + "x";
        EXPECT_EQ(text_strip_codes(text, 1), l.lead ? 0 : 1);
    }
}

TEST_F(TextBufferSettings, HasCodes)
{
    struct Case {
        std::string text;
        int flag;
        int expected;
    } cases[] = {
        {"plain text", 0, 0},
        {"", 0, 0},
        {"a\x02", 0, 1},
        {"a\x03" "4", 0, 1},
        {"a\tb", 0, 1},
        {"a\x0F", 0, 1},
        {"a\x16", 1, 1},
        {"a\x1F", 1, 1},
        {"\x01\x04\x1B", 0, 0},
        {"\xC3\xA7\xE2\x82\xAC", 1, 0},
        {"\xC3\xA7\x02", 1, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.text));
        EXPECT_EQ(text_has_codes(c.text, c.flag), c.expected);
    }
}

// ---------------------------------------------------------------------------
// In-place edits

TEST(TextEdits, RemoveChars)
{
    std::string text = "a,b,,c,";
    text_remove_char(text, ',');
    EXPECT_EQ(text, "abc");
    text = "abc";
    text_remove_char(text, '\0');
    EXPECT_EQ(text, "abc");
    text = "a[b]c~d";
    text_remove_chars(text, "[]~");
    EXPECT_EQ(text, "abcd");
    text_remove_chars(text, "");
    EXPECT_EQ(text, "abcd");
}

TEST(TextEdits, AddAndStripQuotes)
{
    struct Case {
        std::string text;
        std::string quoted;
    } add_cases[] = {
        {"", "\"\""},
        {"a b", "\"a b\""},
        {"\"a b\"", "\"a b\""},
        {"\"a b", "\"a b\""},
        {"a b\"", "\"a b\""},
    };
    for (const Case& c : add_cases) {
        SCOPED_TRACE(c.text);
        std::string text = c.text;
        text_add_quotes(text);
        EXPECT_EQ(text, c.quoted);
    }

    struct StripCase {
        std::string text;
        std::string expected;
    } strip_cases[] = {
        {"\"   a b\"", "a b"},
        {"\"a b\"", "a b"},
        {"a b\"", "a b"},
        {"\"a b", "a b"},
        {"a \"b\" c", "a \"b\" c"},
        {"\"", ""},
        {"", ""},
    };
    for (const StripCase& c : strip_cases) {
        SCOPED_TRACE(c.text);
        std::string text = c.text;
        text_strip_quotes(text);
        EXPECT_EQ(text, c.expected);
    }
}

TEST(TextEdits, CollapseAndTrim)
{
    struct Case {
        std::string text;
        char c;
        std::string collapsed, left, right;
        int right_index;
        std::string squeezed;
    } cases[] = {
        {"  a   b  ", ' ', "a b", "a   b  ", "  a   b", 6, " a b "},
        {"a", ' ', "a", "a", "a", 0, "a"},
        {"   ", ' ', "", "", "", -1, " "},
        {"", ' ', "", "", "", 0, ""},
        {",,x,,y,", ',', "x,y", "x,,y,", ",,x,,y", 5, ",x,y,"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        std::string text = c.text;
        text_collapse_char(text, c.c);
        EXPECT_EQ(text, c.collapsed);
        text = c.text;
        text_trim_left_char(text, c.c);
        EXPECT_EQ(text, c.left);
        text = c.text;
        EXPECT_EQ(text_trim_right_char(text, c.c), c.right_index);
        EXPECT_EQ(text, c.right);
        text = c.text;
        text_squeeze_char(text, c.c);
        EXPECT_EQ(text, c.squeezed);
    }
}

TEST(TextEdits, FirstWordAndPlainRuns)
{
    struct Case {
        std::string text;
        std::string expected;
    } word_cases[] = {
        {"  first second", "first"},
        {"one", "one"},
        {"    ", ""},
        {"", ""},
        {"a\tb c", "a\tb"},
    };
    for (const Case& c : word_cases) {
        SCOPED_TRACE(c.text);
        std::string text = c.text;
        text_first_word(text);
        EXPECT_EQ(text, c.expected);
    }

    std::string text = "\x0F\x0F" "a\x0F\x0F\x0F" "b\x0F" "c";
    text_collapse_plain_pairs(text);
    EXPECT_EQ(text, "\x0F" "a\x0F" "b\x0F" "c");
}

// ---------------------------------------------------------------------------
// Colour digits

TEST(ColorCodeParse, Table)
{
    struct Case {
        const char* name;
        std::string text; // starts at the 0x03
        int default_text, default_back;
        int used, text_colour, background; // -1: left as it was
    } cases[] = {
        {"text and background", "\x03" "4,12x", 1, 0, 4, 4, 12},
        {"over 15 gives the default", "\x03" "16x", 1, 0, 2, 1, -1},
        {"comma and a letter: text only", "\x03" "4,x", 1, 0, 1, 4, -1},
        {"no digit resets both", "\x03" "x", 5, 6, 0, 5, 6},
        {"two digits of text", "\x03" "03", 1, 0, 2, 3, -1},
        {"third digit is text", "\x03" "123", 1, 0, 2, 12, -1},
        {"background over 15", "\x03" "2,99", 1, 7, 4, 2, 7},
        {"bad defaults become 0", "\x03", 40, -2, 0, 0, 0},
        {"bad default background", "\x03" "1,20", 3, 16, 4, 1, 0},
        {"one background digit", "\x03" "1,2,3", 0, 0, 3, 1, 2},
        {"comma at the end", "\x03" "9,", 0, 0, 1, 9, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        int text_colour = -1, background = -1;
        EXPECT_EQ(color_code_parse(std::string_view(c.text), &text_colour, &background,
                                   c.default_text, c.default_back),
                  c.used);
        EXPECT_EQ(text_colour, c.text_colour);
        EXPECT_EQ(background, c.background);
        int t2 = -1, b2 = -1;
        EXPECT_EQ(color_code_parse(c.text.c_str(), &t2, &b2, c.default_text, c.default_back), c.used);
        EXPECT_EQ(t2, c.text_colour);
        EXPECT_EQ(b2, c.background);
    }
    EXPECT_EQ(color_code_parse(static_cast<const char*>(nullptr), nullptr, nullptr, 0, 0), 0);
}

} // namespace

TEST(TextDigits, OnlyANonEmptyRunOfAsciiDigitsCounts)
{
    const struct {
        const char* text;
        bool digits;
    } cases[] = {
        {"", false},      {"0", true},     {"7", true},        {"6667", true},
        {"-1", false},    {"+6697", false}, {"12a", false},    {"a12", false},
        {" 12", false},   {"12 ", false},   {"1.5", false},    {"\xd9\xa3", false},  // Arabic-Indic three
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(text_is_digits(c.text), c.digits);
    }
    // A NUL inside the text is not a digit.
    EXPECT_FALSE(text_is_digits(std::string_view("12\0" "3", 4)));
}

TEST(TextIntegers, ASignAndDigitsReadHeldWithinInt)
{
    const struct {
        const char* text;
        bool integer;
        int value;
    } cases[] = {
        {"", false, 0},        {"+", false, 0},         {"-", false, 0},
        {"0", true, 0},        {"7", true, 7},          {"-3", true, -3},
        {"+4", true, 4},       {"--4", false, 0},       {"1a", false, 1},
        {" 1", false, 1},      {"2147483647", true, INT_MAX},
        {"2147483648", true, INT_MAX},                  {"-2147483649", true, INT_MIN},
        {"99999999999999999999999", true, INT_MAX},     {"-99999999999999999999999", true, INT_MIN},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(text_is_integer(c.text), c.integer);
        EXPECT_EQ(text_to_int_clamped(c.text), c.value);
    }
}

TEST(TextTrimBlanks, SpacesOnBothEndsGoOthersStay)
{
    const struct {
        const char* text;
        const char* trimmed;
    } cases[] = {
        {"", ""}, {"   ", ""}, {"a", "a"}, {" a", "a"}, {"a ", "a"}, {"  a b  ", "a b"}, {"\ta\t", "\ta\t"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(text_trim_blanks(c.text), c.trimmed);
    }
}

TEST(TextFirstWord, LeadingBlanksSkippedAndCutAtTheNextBlank)
{
    const struct {
        const char* text;
        const char* word;
    } cases[] = {
        {"", ""}, {"   ", ""}, {"a", "a"}, {" a", "a"}, {"nick rest of it", "nick"},
        {"  two  words ", "two"}, {"tab\there", "tab\there"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(text_first_word_of(c.text), c.word);
    }
}

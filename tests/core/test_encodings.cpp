#include "core/encodings.h"

#include <gtest/gtest.h>

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <random>
#include <string>
#include <vector>

#include "core/text_limits.h"
#include "support/hook_guard.h"

namespace {

// Independent reference conversion straight through iconv (UTF-8 in).
std::string iconv_from_utf8(const char* to, const std::string& utf8)
{
    iconv_t cd = iconv_open(to, "UTF-8");
    EXPECT_NE(cd, reinterpret_cast<iconv_t>(-1)) << to;
    if (cd == reinterpret_cast<iconv_t>(-1)) return std::string();
    std::vector<char> out(utf8.size() * 4 + 32);
    char* in = const_cast<char*>(utf8.data());
    std::size_t inleft = utf8.size();
    char* op = out.data();
    std::size_t outleft = out.size();
    const std::size_t r = iconv(cd, &in, &inleft, &op, &outleft);
    EXPECT_NE(r, static_cast<std::size_t>(-1)) << "reference conversion failed";
    iconv(cd, nullptr, nullptr, &op, &outleft);
    iconv_close(cd);
    return std::string(out.data(), static_cast<std::size_t>(op - out.data()));
}

std::size_t count_of(const std::string& hay, const std::string& needle)
{
    std::size_t n = 0;
    for (std::size_t p = hay.find(needle); p != std::string::npos; p = hay.find(needle, p + 1)) ++n;
    return n;
}

// The code page of a charset as a caller gives it: none (-1) for a negative
// charset.
int cp(int charset)
{
    return charset < 0 ? -1 : charset_codepage_of(charset);
}

// ---------------------------------------------------------------------------
// UTF-8 byte classes.

TEST(Utf8ByteClass, ClassesOfEveryByte)
{
    // "a", e-acute (2 bytes), euro sign (3 bytes), an emoji (4 bytes), then
    // the five-byte lead form (structure only).
    const std::string text = "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\xF8\x88\x80\x80\x80";
    const int expected[] = {0, 1, -2, 2, -1, -2, 3, -1, -1, -2, 4, -1, -1, -1, -2};
    ASSERT_EQ(text.size(), std::size(expected));
    for (std::size_t i = 0; i < text.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(utf8_byte_class(text, static_cast<long>(i)), expected[i]);
    }
}

TEST(Utf8ByteClass, BrokenSequencesAndRanges)
{
    struct Case {
        std::string text;
        long pos;
        int expected;
    };
    const Case cases[] = {
        {"\x80", 0, -3},                  // stray continuation byte
        {"a\xE2\x82", 1, -3},             // lead whose last continuation is missing
        {"a\xE2\x82", 2, -3},             // ... and the byte that did follow it
        {"\xFF", 0, -3},                  // never a lead
        {"\xFE\xC3\xA9", 1, 1},           // the scan goes on after a broken byte
        {"\xFE\xC3\xA9", 2, -2},
        {"\xE2\x82" "a", 2, 0},           // the byte that cut the sequence is itself fine
        {"abc", 3, 0},                    // past the end
        {"abc", -1, 0},
        {"", 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.text) + " @" + std::to_string(c.pos));
        EXPECT_EQ(utf8_byte_class(c.text, c.pos), c.expected);
    }
}

TEST(Utf8Detect, AsciiMultibyteAndInvalid)
{
    struct Case {
        std::string text;
        int expected;
    };
    const Case cases[] = {
        {"", 1},
        {"plain ASCII text 123", 1},
        {"caf\xC3\xA9", 2},                   // e-acute in UTF-8
        {"\xC4\x9F\xC3\xBC\xC5\x9F", 2},      // Turkish letters
        {"\xE6\x97\xA5\xE6\x9C\xAC", 2},      // Japanese
        {"\xF0\x9F\x98\x80", 2},              // four-byte form
        {"\xE9", 0},                          // a lone Latin-1 byte
        {"caf\xE9 ok", 0},
        {"caf\xC3", 0},                       // cut at the end
        {"a\x80" "b", 0},                     // stray continuation
        {"\xE2\x82" "a", 0},                  // continuation missing
        {"\xFE", 0},
        {"\xFF\xFE", 0},
        // Detection checks the lead forms only; the strict test is utf8_is_legal.
        {"\xC0\x80", 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.text));
        EXPECT_EQ(utf8_detect(c.text), c.expected);
    }
    EXPECT_EQ(utf8_detect(static_cast<const char*>(nullptr)), 0);
    EXPECT_EQ(utf8_detect("caf\xC3\xA9"), 2);
}

TEST(Utf8SequenceAt, WalksWellFormedCharacters)
{
    const std::string text = "a\xC3\xA9\xE2\x82\xAC\x80";
    EXPECT_EQ(utf8_sequence_at(text, 0), 1);
    EXPECT_EQ(utf8_sequence_at(text, 1), 2);
    EXPECT_EQ(utf8_sequence_at(text, 2), 0); // inside a character
    EXPECT_EQ(utf8_sequence_at(text, 3), 3);
    EXPECT_EQ(utf8_sequence_at(text, 6), 0); // stray
    EXPECT_EQ(utf8_sequence_at(text, 7), 0); // past the end
    EXPECT_EQ(utf8_sequence_at("\xE2\x82", 0), 0);
}

TEST(Utf8IsLegal, StrictForms)
{
    struct Case {
        std::string bytes;
        int length;
        int expected;
    };
    const Case cases[] = {
        {"A", 1, 1},
        {"\x7F", 1, 1},
        {"\x80", 1, 0},                   // continuation as lead
        {"\xC3\xA9", 2, 1},
        {"\xC3", 1, 0},                   // length does not fit the lead
        {"\xC0\x80", 2, 0},               // overlong NUL
        {"\xC1\xBF", 2, 0},               // overlong
        {"\xC2\x80", 2, 1},
        {"\xC3\x41", 2, 0},               // bad continuation
        {"\xE0\x80\x80", 3, 0},           // overlong
        {"\xE0\xA0\x80", 3, 1},
        {"\xED\x9F\xBF", 3, 1},           // U+D7FF
        {"\xED\xA0\x80", 3, 0},           // surrogate U+D800
        {"\xEF\xBF\xBF", 3, 1},
        {"\xF0\x80\x80\x80", 4, 0},       // overlong
        {"\xF0\x90\x80\x80", 4, 1},       // U+10000
        {"\xF4\x8F\xBF\xBF", 4, 1},       // U+10FFFF
        {"\xF4\x90\x80\x80", 4, 0},       // above U+10FFFF
        {"\xF5\x80\x80\x80", 4, 0},
        {"\xF8\x88\x80\x80\x80", 5, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.bytes));
        EXPECT_EQ(utf8_is_legal(reinterpret_cast<const unsigned char*>(c.bytes.data()), c.length), c.expected);
    }
    EXPECT_EQ(utf8_is_legal(nullptr, 1), 0);
}

// ---------------------------------------------------------------------------
// UTF-8 <-> UTF-16.

TEST(Utf8ToUtf16, StrictAndLenientResults)
{
    struct Case {
        std::string src;
        bool lenient;
        int result;
        std::u16string out;     // what was written
        std::size_t consumed;   // source bytes taken
    };
    const Case cases[] = {
        {"A\xC3\xA9", false, kConvOk, u"A\u00E9", 3},
        {"\xF0\x9F\x98\x80", false, kConvOk, u"\U0001F600", 4},
        {"a\xED\xA0\x80", false, kConvSourceIllegal, u"a", 1},      // surrogate, strict
        {"a\xED\xA0\x80", true, kConvOk, u"a\uFFFD", 4},            // surrogate, lenient
        {"\xF4\x90\x80\x80", false, kConvSourceIllegal, u"", 0},    // above U+10FFFF
        {"\xF4\x90\x80\x80", true, kConvOk, u"\uFFFD", 4},
        {"\xF8\x88\x80\x80\x80", true, kConvOk, u"\uFFFD", 5},      // five-byte form
        {"a\xC0\x80", true, kConvSourceIllegal, u"a", 1},           // overlong, either way
        {"a\xE0\x80\x80", true, kConvSourceIllegal, u"a", 1},
        {"a\x80", true, kConvSourceIllegal, u"a", 1},
        {"a\xC3\x41", true, kConvSourceIllegal, u"a", 1},
        {"ab\xE2\x82", true, kConvSourceExhausted, u"ab", 2},       // cut inside a character
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.src) + (c.lenient ? " lenient" : " strict"));
        char16_t buf[16] = {};
        const unsigned char* src = reinterpret_cast<const unsigned char*>(c.src.data());
        const unsigned char* begin = src;
        char16_t* dst = buf;
        EXPECT_EQ(utf8_to_utf16(src, src + c.src.size(), dst, buf + 16, c.lenient), c.result);
        EXPECT_EQ(std::u16string(buf, static_cast<std::size_t>(dst - buf)), c.out);
        EXPECT_EQ(static_cast<std::size_t>(src - begin), c.consumed);
    }
}

TEST(Utf8ToUtf16, TargetFullStopsBeforeTheCharacter)
{
    const std::string src = "a\xF0\x9F\x98\x80";
    char16_t buf[2] = {};
    const unsigned char* s = reinterpret_cast<const unsigned char*>(src.data());
    char16_t* d = buf;
    // Room for "a" and one more unit: the surrogate pair does not fit.
    EXPECT_EQ(utf8_to_utf16(s, s + src.size(), d, buf + 2, false), kConvTargetExhausted);
    EXPECT_EQ(d - buf, 1);
    EXPECT_EQ(s - reinterpret_cast<const unsigned char*>(src.data()), 1);
}

TEST(Utf16ToUtf8, SurrogatesStrictAndLenient)
{
    struct Case {
        std::u16string src;
        bool lenient;
        int result;
        std::string out;
    };
    const Case cases[] = {
        {u"A\u00E9\u20AC", false, kConvOk, "A\xC3\xA9\xE2\x82\xAC"},
        {u"\U0001F600", false, kConvOk, "\xF0\x9F\x98\x80"},
        {std::u16string(u"x") + char16_t(0xDC00), false, kConvSourceIllegal, "x"},
        {std::u16string(u"x") + char16_t(0xDC00), true, kConvOk, "x\xED\xB0\x80"},
        {std::u16string(1, char16_t(0xD800)) + u"y", false, kConvSourceIllegal, ""},
        {std::u16string(1, char16_t(0xD800)) + u"y", true, kConvOk, "\xED\xA0\x80y"},
        {std::u16string(u"z") + char16_t(0xD83D), true, kConvSourceExhausted, "z"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.out) + (c.lenient ? " lenient" : " strict"));
        unsigned char buf[32] = {};
        const char16_t* src = c.src.data();
        unsigned char* dst = buf;
        EXPECT_EQ(utf16_to_utf8(src, src + c.src.size(), dst, buf + sizeof buf, c.lenient), c.result);
        EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), static_cast<std::size_t>(dst - buf)), c.out);
    }
    // Target full: nothing of the character that does not fit is written.
    const std::u16string euro = u"\u20AC";
    unsigned char small[2];
    const char16_t* s = euro.data();
    unsigned char* d = small;
    EXPECT_EQ(utf16_to_utf8(s, s + 1, d, small + 2, true), kConvTargetExhausted);
    EXPECT_EQ(d, small);
    EXPECT_EQ(s, euro.data());
}

TEST(Utf16Alloc, RoundTripsAndFailures)
{
    const std::string turkish = "\xC3\x87" "a\xC4\x9Fr\xC4\xB1 \xC5\x9F\xC3\xB6yle \xC4\xB0stanbul \xF0\x9F\x98\x80";
    auto wide = utf8_to_utf16_alloc(turkish);
    ASSERT_TRUE(wide.has_value());
    EXPECT_EQ(*wide, u"\u00C7a\u011Fr\u0131 \u015F\u00F6yle \u0130stanbul \U0001F600");
    auto back = utf16_to_utf8_alloc(*wide);
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(*back, turkish);

    EXPECT_FALSE(utf8_to_utf16_alloc("").has_value());
    EXPECT_FALSE(utf16_to_utf8_alloc(u"").has_value());
    EXPECT_FALSE(utf8_to_utf16_alloc("ok \xE9").has_value());      // illegal source
    EXPECT_FALSE(utf8_to_utf16_alloc("cut \xE2\x82").has_value());  // ends inside a character
    EXPECT_EQ(*utf8_to_utf16_alloc("abcdef", 3), u"abc");
    EXPECT_EQ(*utf8_to_utf16_alloc("abc", 99), u"abc");
    EXPECT_EQ(*utf16_to_utf8_alloc(u"abcdef", 2), "ab");
    // Lenient: a surrogate decoded from UTF-8 becomes U+FFFD.
    EXPECT_EQ(*utf8_to_utf16_alloc("\xED\xA0\x80"), u"\uFFFD");
}

// ---------------------------------------------------------------------------
// Code pages.

class CodePageTest : public ::testing::Test {
protected:
    HookGuard hooks_;  // every seam back as it was when the test ends

    void SetUp() override
    {
    }
    void TearDown() override
    {
    }

private:
};

TEST_F(CodePageTest, RoundTripThroughCharsets)
{
    struct Case {
        const char* name;
        int charset;
        std::string utf8;
        std::string bytes;
    };
    const Case cases[] = {
        {"Turkish 1254", 162, "\xC4\x9F\xC3\xBC\xC5\x9F\xC4\xB1\xC3\xB6\xC3\xA7\xC4\x9E\xC3\x9C\xC5\x9E\xC4\xB0\xC3\x96\xC3\x87",
         "\xF0\xFC\xFE\xFD\xF6\xE7\xD0\xDC\xDE\xDD\xD6\xC7"},
        {"Western 1252", 0, "caf\xC3\xA9 \xE2\x82\xAC 5 \xC3\x9F", "caf\xE9 \x80 5 \xDF"},
        {"Cyrillic 1251", 204, "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82", "\xCF\xF0\xE8\xE2\xE5\xF2"},
        {"Greek 1253", 161, "\xCE\xB1\xCE\xB2\xCE\xB3", "\xE1\xE2\xE3"},
        {"Shift-JIS 932", 128, "\xE6\x97\xA5\xE6\x9C\xAC" "abc", "\x93\xFA\x96\x7B" "abc"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string text = c.utf8;
        ASSERT_EQ(utf8_to_charset(cp(c.charset), text), 0);
        EXPECT_EQ(text, c.bytes);
        ASSERT_EQ(charset_to_utf8(cp(c.charset), text), 0);
        EXPECT_EQ(text, c.utf8);
    }
}

TEST_F(CodePageTest, CompositesAndMissingCharacters)
{
    struct Case {
        const char* name;
        int charset;
        std::string utf8;
        std::string bytes;
    };
    const Case cases[] = {
        // A base letter with a separate combining mark is sent precomposed.
        {"e + acute", 0, "e\xCC\x81", "\xE9"},
        {"s + cedilla", 162, "s\xCC\xA7" "a", "\xFE" "a"},
        {"I + dot above", 162, "I\xCC\x87", "\xDD"},
        // A character the code page lacks becomes '?'.
        {"kanji in 1254", 162, "a\xE6\x97\xA5" "b", "a?b"},
        {"emoji in 1252", 0, "x\xF0\x9F\x98\x80y", "x?y"},
        {"lone mark", 0, "\xCC\x81", "?"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string text = c.utf8;
        ASSERT_EQ(utf8_to_charset(cp(c.charset), text), 0);
        EXPECT_EQ(text, c.bytes);
    }
}

TEST_F(CodePageTest, FailuresLeaveTheTextAlone)
{
    struct Case {
        const char* name;
        int codepage;
        std::string text;
        bool to_utf8;
    };
    const std::string too_long(kLongText + 1, 'a');
    const std::string grows(3000, '\xE9'); // 3000 bytes become 6000 in UTF-8
    const Case cases[] = {
        {"negative charset", cp(-1), "abc", true},
        {"negative charset back", cp(-1), "abc", false},
        {"symbol page", cp(2), "abc", true},
        {"undefined byte in 1252", cp(0), "a\x81z", true},
        {"cut double-byte character", cp(128), "ab\x93", true},
        {"illegal UTF-8 source", cp(162), "a\xE9z", false},
        {"a window that is no record", -1, "abc", true},
        {"input over the limit", cp(0), too_long, true},
        {"result over the limit", cp(0), grows, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string text = c.text;
        const int r = c.to_utf8 ? charset_to_utf8(c.codepage, text) : utf8_to_charset(c.codepage, text);
        EXPECT_EQ(r, -1);
        EXPECT_EQ(text, c.text);
    }
    std::string empty;
    EXPECT_EQ(charset_to_utf8(cp(162), empty), 0);
    EXPECT_EQ(utf8_to_charset(cp(-1), empty), 0);
}

TEST_F(CodePageTest, TheCharsetTableGivesTheCodePage)
{
    struct Case {
        int charset;
        int codepage;
    };
    const Case cases[] = {
        {1, 0},      {0, 1252},   {77, 2},     {255, 1},    {2, 42},     {128, 932},  {162, 1254},
        {204, 1251}, {161, 1253}, {163, 1258}, {130, 1361}, {999, 0},    {-7, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(charset_codepage_of(c.charset), c.codepage) << c.charset;

    // The code page given decides, whatever charset the text came from.
    std::string text = "\xFD";
    ASSERT_EQ(charset_to_utf8(1254, text), 0);
    EXPECT_EQ(text, "\xC4\xB1");
    text = "\xCF";
    ASSERT_EQ(charset_to_utf8(1251, text), 0);
    EXPECT_EQ(text, "\xD0\x9F");
}

TEST(CodePageNames, IconvNames)
{
    struct Case {
        int codepage;
        const char* name;
    };
    const Case cases[] = {{1254, "CP1254"}, {1252, "CP1252"}, {932, "CP932"}, {874, "CP874"},
                          {1361, "CP1361"}, {2, "MACINTOSH"}, {65001, "UTF-8"}, {42, ""},
                          {12345, ""},      {-1, ""}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.codepage);
        EXPECT_EQ(codepage_iconv_name(c.codepage), c.name);
    }
    // The system page is whatever the locale says, and iconv must know it.
    const std::string system = codepage_iconv_name(0);
    ASSERT_FALSE(system.empty());
    iconv_t cd = iconv_open("UTF-8", system.c_str());
    EXPECT_NE(cd, reinterpret_cast<iconv_t>(-1));
    if (cd != reinterpret_cast<iconv_t>(-1)) iconv_close(cd);
}

TEST_F(CodePageTest, MixedTextBecomesUtf8)
{
    struct Case {
        const char* name;
        int charset;
        std::string text;
        std::string expected;
    };
    const Case cases[] = {
        // The UTF-8 "c-cedilla" stays, the 1254 byte 0xFD becomes dotless i.
        {"1254 bytes and UTF-8", 162, "\xC3\xA7" "ay s\xFD" "cak", "\xC3\xA7" "ay s\xC4\xB1" "cak"},
        {"only code page", 0, "caf\xE9", "caf\xC3\xA9"},
        {"only UTF-8", 0, "caf\xC3\xA9", "caf\xC3\xA9"},
        // A run the code page cannot read is kept as it was.
        {"undefined byte kept", 0, "a\x81" "b \xC3\xBC", "a\x81" "b \xC3\xBC"},
        // A broken UTF-8 sequence is a run of code-page bytes.
        {"cut sequence", 162, "\xC3" "a", "\xC3\x83" "a"},
        {"empty", 0, "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string text = c.text;
        EXPECT_EQ(charset_to_utf8_mixed(cp(c.charset), text), 0);
        EXPECT_EQ(text, c.expected);
    }
}

TEST_F(CodePageTest, MixedTextStopsGrowingOnACharacterBoundary)
{
    std::string text;
    for (int i = 0; i < 1500; ++i) text += "\xC3\xA9\xE9"; // UTF-8 e-acute, then 1252 e-acute
    ASSERT_EQ(charset_to_utf8_mixed(cp(0), text), 0);
    EXPECT_LE(text.size(), kLongText);
    EXPECT_GE(text.size(), kLongText - 1);
    EXPECT_EQ(utf8_detect(text), 2);
    EXPECT_EQ(text.find("\xE9\xC3"), std::string::npos);
}

// ---------------------------------------------------------------------------
// Combining characters and spans.

TEST(CombiningSet, Members)
{
    struct Case {
        unsigned cp;
        int expected;
    };
    const Case cases[] = {
        {0x0041, 0}, {767, 0},     {0x0300, 1}, {0x0301, 1}, {0x034F, 1}, {0x0350, 0}, {0x0360, 1},
        {0x036F, 1}, {0x0370, 0},  {0x05BF, 1}, {0x05C0, 0}, {0x05C4, 1}, {0x0670, 1}, {0x0671, 0},
        {0x0E31, 1}, {0x0E32, 0},  {0x17D3, 1}, {0x17D4, 0}, {0x20D0, 1}, {0x20EB, 0}, {0x3099, 1},
        {0x309B, 0}, {0xFB1E, 1},  {0xFE00, 1}, {0xFE0F, 1}, {0xFE10, 0}, {0xFE23, 1}, {0xFE24, 0},
        {0xFFFF, 0}, {0x10000, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.cp);
        EXPECT_EQ(utf16_in_char_set(c.cp), c.expected);
    }
}

TEST(CombiningSet, Utf8CharInSet)
{
    struct Case {
        std::string text;
        int expected;
    };
    const Case cases[] = {
        {"\xCC\x81" "abc", 1},     // U+0301
        {"\xE3\x82\x99", 1},       // U+3099
        {"\xC3\xA9", 0},           // a base letter
        {"a\xCC\x81", 0},          // the mark is not first
        {"\xCC", 0},               // cut
        {"", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.text));
        EXPECT_EQ(utf8_char_in_set(c.text), c.expected);
    }
}

TEST(Utf8AdjustSpan, WidensToWholeCharacters)
{
    // x, e-acute (1-2), y, e (4), combining acute (5-6), z (7)
    const std::string text = "x\xC3\xA9ye\xCC\x81z";
    struct Case {
        const char* name;
        int start, length;
        int result, new_start, new_length;
    };
    const Case cases[] = {
        {"starts on a second byte", 2, 1, 1, 1, 2},
        {"cuts a character at its end", 0, 2, 1, 0, 3},
        {"takes the marks after a base", 4, 1, 1, 4, 3},
        {"drops a mark at the start", 5, 3, 1, 7, 1},
        {"only a mark", 5, 2, 0, 7, 0},
        {"whole text", 0, 8, 1, 0, 8},
        {"length past the end", 7, 50, 1, 7, 1},
        {"start past the end", 50, 3, 0, 8, 0},
        {"negative start", -4, 1, 1, 0, 1},
        {"empty span", 3, 0, 0, 3, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        int start = c.start, length = c.length;
        EXPECT_EQ(utf8_adjust_span(text, start, length), c.result);
        EXPECT_EQ(start, c.new_start);
        EXPECT_EQ(length, c.new_length);
    }
}

// ---------------------------------------------------------------------------
// Shift-JIS and ISO-2022-JP.

TEST(SjisDetect, Decisions)
{
    struct Case {
        std::string bytes;
        int expected;
    };
    const Case cases[] = {
        {"plain", -1},
        {"\x93\xFA\x96\x7B", 1},          // two kanji
        {"\xB1\xB2\xB3", -1},             // half-width katakana only
        {"\xE0\x40", -1},                 // lead 0xE0-0xEF decides nothing
        {"\x8E\xA1", -1},                 // 0x8E with a second byte above 0xA0
        {"\x8E\x9F", 1},
        {"\x80", 0},
        {"a\xF0\x40", 0},
        {"\xFF", 0},
        {"ok\x93", 0},                    // lead at the end
        {"\x81\x30", 0},                  // second byte too low
        {"\x81\xFD", 0},                  // second byte too high
        {"", -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.bytes));
        EXPECT_EQ(sjis_detect(c.bytes), c.expected);
    }
}

TEST(SjisJis, RoundTripsMatchIconv)
{
    const char* texts[] = {
        "abc\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E" "def",                        // kanji between ASCII
        "\xE3\x81\x93\xE3\x82\x93\xE3\x81\xAB\xE3\x81\xA1\xE3\x81\xAF",         // hiragana only
        "\xE3\x82\xAB\xE3\x82\xBF\xE3\x82\xAB\xE3\x83\x8A test \xE6\xBC\xA2\xE5\xAD\x97", // two runs
        "\xE3\x80\x8C\xE3\x80\x80\xE3\x80\x81\xE3\x80\x82\xE3\x80\x8D",        // ideographic space and punctuation
    };
    for (const char* utf8 : texts) {
        SCOPED_TRACE(utf8);
        const std::string sjis = iconv_from_utf8("CP932", utf8);
        const std::string jis = iconv_from_utf8("ISO-2022-JP", utf8);
        ASSERT_FALSE(sjis.empty());
        std::string text = sjis;
        sjis_to_jis(text);
        EXPECT_EQ(text, jis);
        jis_to_sjis(text);
        EXPECT_EQ(text, sjis);
    }
}

TEST(SjisJis, EscapesAroundEachRun)
{
    const std::string sjis = iconv_from_utf8("CP932", "ab\xE6\x97\xA5\xE6\x9C\xAC" "cd");
    std::string text = sjis;
    sjis_to_jis(text);
    EXPECT_EQ(count_of(text, "\x1b$B"), 1u);
    EXPECT_EQ(count_of(text, "\x1b(B"), 1u);
    EXPECT_EQ(text.substr(0, 5), "ab\x1b$B");
    EXPECT_EQ(text.substr(text.size() - 5), "\x1b(Bcd");
}

TEST(SjisJis, LineEnds)
{
    const std::string nihon = "\x93\xFA\x96\x7B";
    struct Case {
        const char* name;
        std::string sjis;
        std::string jis;
    };
    const Case cases[] = {
        {"CR LF becomes LF", nihon + "\r\nx", "\x1b$BF|K\\\x1b(B\nx"},
        {"trailing CR LF", nihon + "\r\n", "\x1b$BF|K\\\x1b(B\n"},
        // A lone CR would add a line feed: the text stays as it was.
        {"lone CR", nihon + "\rx", nihon + "\rx"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string text = c.sjis;
        sjis_to_jis(text);
        EXPECT_EQ(text, c.jis);
    }

    struct Back {
        std::string jis;
        std::string sjis;
    };
    const Back backs[] = {
        {"\nabc", "\r\nabc"},
        {"a\nb\n", "a\r\nb\r\n"},
        {"a\r\nb", "a\r\nb"},
        {"\x1b$BF|K\\\x1b(B\n", nihon + "\r\n"},
    };
    for (const Back& b : backs) {
        SCOPED_TRACE(testing::PrintToString(b.jis));
        std::string text = b.jis;
        jis_to_sjis(text);
        EXPECT_EQ(text, b.sjis);
    }
}

TEST(SjisJis, EscapeVariantsAndHostileInput)
{
    struct Case {
        const char* name;
        std::string jis;
        std::string sjis;
    };
    const Case cases[] = {
        {"ESC $ @ and ESC ( J", "\x1b$@$\"\x1b(Jab", "\x82\xA0" "ab"},
        {"ESC $ D and ESC ( I", "\x1b$D$\"\x1b(Iab", "\x82\xA0" "ab"},
        {"odd byte at the end", "\x1b$B$\"!", "\x82\xA0!"},
        {"pair broken by a control", "\x1b$B!\n", "!\r\n"},
        {"cut escape", "ab\x1b$", "ab\x1b$"},
        {"lone escape", "\x1b", "\x1b"},
        {"unknown escape", "\x1b(Zx", "\x1b(Zx"},
        {"high bytes in double-byte mode", "\x1b$B\xFF\xFE", "\xFF\xFE"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string text = c.jis;
        jis_to_sjis(text);
        EXPECT_EQ(text, c.sjis);
    }
    std::string bad = "\x80\x93"; // cannot be Shift-JIS
    sjis_to_jis(bad);
    EXPECT_EQ(bad, "\x80\x93");
}

TEST(SjisJis, OutputStopsAtTheLimit)
{
    std::string lines(4000, '\n');
    jis_to_sjis(lines);
    EXPECT_LE(lines.size(), kLongText);
    EXPECT_EQ(lines.substr(0, 4), "\r\n\r\n");

    // Every kanji run costs six bytes of escapes: the text outgrows the limit.
    std::string sjis;
    for (int i = 0; i < 1300; ++i) sjis += "\x93\xFA" "a";
    std::string text = sjis;
    sjis_to_jis(text);
    EXPECT_LE(text.size(), kLongText);
    EXPECT_GT(text.size(), kLongText - 9);
    EXPECT_EQ(count_of(text, "\x1b$B"), count_of(text, "\x1b(B"));
    jis_to_sjis(text);
    EXPECT_EQ(sjis.compare(0, text.size(), text), 0); // a prefix of the original
}

// ---------------------------------------------------------------------------
// Hostile bytes: random texts through every operation. Nothing may read out
// of bounds (the sanitizers watch), and the results must agree.

std::string random_bytes(std::mt19937& rng, std::size_t n)
{
    // Biased towards the bytes that matter: high bytes, continuation bytes,
    // escapes and line ends.
    static const unsigned char kSpecial[] = {0x1B, '\r', '\n', '$', '(', 'B', '@', 0x80, 0xBF, 0xC0,
                                             0xC3, 0xE2, 0xED, 0xF0, 0xF4, 0xF8, 0xFC, 0xFE, 0xFF, 0x81,
                                             0x93, 0x9F, 0xE0, 0xEF, 0x21, 0x7E, 0xCC, 0x81, ':', ' '};
    std::uniform_int_distribution<int> pick(0, 2);
    std::uniform_int_distribution<int> any(0, 255);
    std::uniform_int_distribution<std::size_t> special(0, std::size(kSpecial) - 1);
    std::string s(n, '\0');
    for (char& c : s) c = static_cast<char>(pick(rng) == 0 ? any(rng) : kSpecial[special(rng)]);
    return s;
}

TEST(HostileBytes, EveryOperationStaysInBoundsAndAgrees)
{
    std::mt19937 rng(20240611);
    std::uniform_int_distribution<std::size_t> length(0, 80);
    for (int round = 0; round < 3000; ++round) {
        const std::size_t n = round % 100 == 0 ? 5000 : length(rng);
        const std::string text = random_bytes(rng, n);
        SCOPED_TRACE(testing::PrintToString(text.substr(0, 80)));

        const int detect = utf8_detect(text);
        if (n <= 80) {
            bool broken = false, multi = false;
            for (std::size_t i = 0; i < n; ++i) {
                const int cls = utf8_byte_class(text, static_cast<long>(i));
                ASSERT_GE(cls, -3);
                ASSERT_LE(cls, 5);
                broken = broken || cls == -3;
                multi = multi || cls > 0;
            }
            ASSERT_EQ(detect, broken ? 0 : (multi ? 2 : 1));
        }

        int start = static_cast<int>(n / 3), len = static_cast<int>(n / 2) + 1;
        utf8_adjust_span(text, start, len);
        ASSERT_GE(start, 0);
        ASSERT_GE(len, 0);
        ASSERT_LE(static_cast<std::size_t>(start + len), n);

        auto wide = utf8_to_utf16_alloc(text);
        if (wide) {
            ASSERT_TRUE(utf16_to_utf8_alloc(*wide).has_value());
        }
        if (detect == 1 && n > 0) {
            ASSERT_TRUE(wide.has_value());
        }

        std::string a = text;
        charset_to_utf8_mixed(cp(162), a);
        ASSERT_LE(a.size(), kLongText);
        std::string b = text;
        const int rb = charset_to_utf8(cp(128), b);
        if (rb == 0) {
            ASSERT_NE(utf8_detect(b), 0);
        }
        std::string c = text;
        utf8_to_charset(cp(162), c);
        std::string d = text;
        jis_to_sjis(d);
        ASSERT_LE(d.size(), kLongText);
        std::string e = text;
        sjis_to_jis(e);
        ASSERT_LE(e.size(), std::max(n, kLongText));
        sjis_detect(text);
        utf8_char_in_set(text);
    }
}

} // namespace

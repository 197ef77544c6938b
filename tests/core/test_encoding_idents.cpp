#include "core/encoding_idents.h"

#include "core/base64.h"
#include "core/encodings.h"
#include "support/hook_guard.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr std::size_t kRoom = 1 << 20;

std::string random_bytes(std::mt19937& rng, std::size_t n)
{
    std::string s(n, '\0');
    for (char& c : s)
        c = static_cast<char>(rng());
    return s;
}

std::string args_text(const std::vector<std::string>& args)
{
    std::string t;
    for (const auto& a : args)
        t += "[" + a + "]";
    return t;
}

// ---------------------------------------------------------------------------
// Uuencoding
// ---------------------------------------------------------------------------

TEST(Uuencode, KnownLines)
{
    const struct {
        std::string bytes;
        std::string line;
    } cases[] = {
        {"Cat", "#0V%T"},
        {"abc", "#86)C"},
        {std::string(3, '\0'), "#````"}, // a zero value is the grave accent
        {"a", "!80``"},                  // a short group is padded with zero bytes
        {"ab", "\"86(`"},
        {"\xff\xff\xff", "#____"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        std::string out;
        EXPECT_EQ(uuencode(c.bytes.data(), c.bytes.size(), out, kRoom, -1), static_cast<int>(c.line.size()));
        EXPECT_EQ(out, c.line);
        EXPECT_EQ(uudecode(c.line.data(), c.line.size(), out, kRoom, -1), static_cast<int>(c.bytes.size()));
        EXPECT_EQ(out, c.bytes);
    }
}

TEST(Uuencode, LinesOfFortyFiveBytes)
{
    std::mt19937 rng(1);
    const std::string b46 = random_bytes(rng, 46);
    std::string all, first, second, count;
    ASSERT_EQ(uuencode(b46.data(), 46, all, kRoom, -1), 61 + 5);
    EXPECT_EQ(uuencode(b46.data(), 46, count, kRoom, 0), 2);
    EXPECT_EQ(count, "2");
    EXPECT_EQ(uuencode(b46.data(), 46, first, kRoom, 1), 61);
    EXPECT_EQ(first[0], 'M'); // 45 + 32
    EXPECT_EQ(uuencode(b46.data(), 46, second, kRoom, 2), 5);
    EXPECT_EQ(second[0], '!'); // 1 + 32
    EXPECT_EQ(all, first + second);
    EXPECT_EQ(uuencode(b46.data(), 46, count, kRoom, 3), 0);
    EXPECT_TRUE(count.empty());

    // Decoding picks the same lines.
    std::string out;
    EXPECT_EQ(uudecode(all.data(), all.size(), out, kRoom, 0), 2);
    EXPECT_EQ(uudecode(all.data(), all.size(), out, kRoom, 2), 1);
    EXPECT_EQ(out, b46.substr(45));
    EXPECT_EQ(uudecode(all.data(), all.size(), out, kRoom, 1), 45);
    EXPECT_EQ(out, b46.substr(0, 45));
}

TEST(Uuencode, RandomBinaryRoundTrips)
{
    std::mt19937 rng(8);
    for (std::size_t n = 0; n < 400; n += (n < 100 ? 1 : 37)) {
        SCOPED_TRACE(n);
        const std::string bytes = random_bytes(rng, n);
        std::string text, back;
        const std::size_t lines = (n + 44) / 45;
        const std::size_t chars = lines + (n / 45) * 60 + ((n % 45) + 2) / 3 * 4;
        EXPECT_EQ(uuencode(bytes.data(), n, text, kRoom, -1), static_cast<int>(chars));
        EXPECT_EQ(text.find_first_not_of(std::string(" !\"#$%&'()*+,-./0123456789:;<=>?@") +
                                         "ABCDEFGHIJKLMNOPQRSTUVWXYZ[\\]^_`"),
                  std::string::npos);
        EXPECT_EQ(uudecode(text.data(), text.size(), back, kRoom, -1), static_cast<int>(n));
        EXPECT_EQ(back, bytes);
    }
}

TEST(Uuencode, DecodeStopsAndKeepsWhatItHad)
{
    const struct {
        const char* name;
        std::string text;
        std::string bytes;
        int lines;
    } cases[] = {
        {"two lines", "#86)C#0V%T", "abcCat", 2},
        {"a line feed is outside the range", "#86)C\n#0V%T", "abc", 1},
        {"a character above 96 stops", "&86)C86)~", "abc", 1},
        {"text ends inside a group", "&86)C86", "abc", 1},
        {"blank stands for zero like the grave accent", "#    ", std::string(3, '\0'), 1},
        {"a length of zero is an empty line", "`#86)C", "abc", 2},
        {"empty text", "", "", 0},
        {"length character only", "#", "", 0},
        {"length character outside the range", "\x7f" "86)C", "", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::string out;
        EXPECT_EQ(uudecode(c.text.data(), c.text.size(), out, kRoom, -1), static_cast<int>(c.bytes.size()));
        EXPECT_EQ(out, c.bytes);
        EXPECT_EQ(uudecode(c.text.data(), c.text.size(), out, kRoom, 0), c.lines);
    }
}

TEST(Uuencode, OutputBounds)
{
    std::string out = "stale";
    EXPECT_EQ(uuencode("abc", 3, out, 5, -1), -1); // five characters and the zero need 6
    EXPECT_TRUE(out.empty());
    EXPECT_EQ(uuencode("abc", 3, out, 6, -1), 5);
    EXPECT_EQ(uudecode("&86)C86)C", 9, out, 5, -1), -1);
    EXPECT_TRUE(out.empty());
    EXPECT_EQ(uudecode("&86)C86)C", 9, out, 6, -1), 6);
    EXPECT_EQ(out, "abcabc");
}

// ---------------------------------------------------------------------------
// $encode and $decode
// ---------------------------------------------------------------------------

class EncodeIdentifiers : public ::testing::Test {
protected:
    HookGuard hooks_;  // every seam back as it was when the test ends

    static std::map<std::string, std::string>& vars()
    {
        static std::map<std::string, std::string> v;
        return v;
    }
    static bool& locked()
    {
        static bool l = false;
        return l;
    }
    void SetUp() override
    {
        vars().clear();
        locked() = false;
        encode_decode_locked_hook = [] { return locked(); };
    }
    // The identifier's value with the binary variable its first argument
    // names, as the identifier hands it over (none when there is no such).
    static int encode(const std::vector<std::string>& args, bool decode, std::string& value)
    {
        std::string* bytes = nullptr;
        if (!args.empty()) {
            auto it = vars().find(args[0]);
            if (it != vars().end())
                bytes = &it->second;
        }
        return id_encode_value(args, decode, value, bytes);
    }
    void TearDown() override
    {
    }
};

TEST_F(EncodeIdentifiers, TextValues)
{
    const std::string b46(46, 'k');
    std::string uu46, b64_46;
    uuencode(b46.data(), b46.size(), uu46, kRoom, -1);
    b64_encode(b46.data(), b46.size(), b64_46, kRoom, -1);

    const struct {
        std::vector<std::string> args;
        bool decode;
        int error;
        std::string value;
    } cases[] = {
        {{"abc"}, false, 0, "#86)C"},
        {{"abc", ""}, false, 0, "#86)C"},
        {{"abc", "m"}, false, 0, "YWJj"},
        {{"abc", "M"}, false, 0, "YWJj"},
        {{"#86)C"}, true, 0, "abc"},
        {{"YWJj", "m"}, true, 0, "abc"},
        {{b46, "", "0"}, false, 0, "2"},
        {{b46, "", "1"}, false, 0, uu46.substr(0, 61)},
        {{b46, "", "2"}, false, 0, uu46.substr(61)},
        {{b46, "", "3"}, false, 0, ""},
        {{b46, "m", "2"}, false, 0, b64_46.substr(60)},
        {{uu46, "", "0"}, true, 0, "2"},
        {{uu46, "", "2"}, true, 0, "k"},
        {{b64_46, "m", "1"}, true, 0, std::string(45, 'k')},
        {{"QQBC", "m"}, true, 0, "A"},            // a decoded text ends at its zero byte
        {{std::string(3000, 'x')}, false, 0, ""}, // fits: checked below by decoding
        {{std::string(4000, 'x')}, false, 9, ""}, // over 5,000 characters do not fit
        {{std::string(4000, 'x'), "m"}, false, 9, ""},
        {{std::string(4000, 'x'), "m", "1"}, false, 9, ""},
        {{}, false, 6, ""},
        {{"a", "m", "1", "x"}, false, 6, ""},
        {{}, true, 6, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(args_text(c.args).substr(0, 80) + (c.decode ? " decode" : " encode"));
        std::string value = "stale";
        EXPECT_EQ(encode(c.args, c.decode, value), c.error);
        if (c.error != 0) {
            EXPECT_TRUE(value.empty());
        } else if (c.args[0].size() == 3000) {
            std::string back;
            EXPECT_EQ(encode({value}, true, back), 0);
            EXPECT_EQ(back, c.args[0]);
        } else {
            EXPECT_EQ(value, c.value);
        }
    }
}

TEST_F(EncodeIdentifiers, DecodeUndoesEncodeForText)
{
    const std::vector<std::string> texts = {"a", "hello world", "çğış ÇĞİŞ", std::string(200, '~'),
                                            "tab\there"};
    for (const char* switches : {"", "m"}) {
        for (const auto& t : texts) {
            SCOPED_TRACE(std::string(switches) + ":" + t.substr(0, 20));
            std::string enc, dec;
            ASSERT_EQ(encode({t, switches}, false, enc), 0);
            ASSERT_EQ(encode({enc, switches}, true, dec), 0);
            EXPECT_EQ(dec, t);
        }
    }
}

TEST_F(EncodeIdentifiers, DecodeLocked)
{
    locked() = true;
    std::string value = "stale";
    EXPECT_EQ(encode({"YWJj", "m"}, true, value), 10);
    EXPECT_TRUE(value.empty());
    EXPECT_EQ(encode({"#86)C"}, true, value), 10);
    // Encoding is not locked.
    EXPECT_EQ(encode({"abc", "m"}, false, value), 0);
    EXPECT_EQ(value, "YWJj");
}

TEST_F(EncodeIdentifiers, BinaryVariablesRoundTrip)
{
    std::mt19937 rng(31);
    for (const std::string sw : {"b", "bm", "MB"}) {
        for (std::size_t n : {1u, 45u, 46u, 1000u, 100000u}) {
            SCOPED_TRACE(sw + " " + std::to_string(n));
            const std::string bytes = random_bytes(rng, n) + std::string(3, '\0');
            vars()["&v"] = bytes;

            std::string value;
            ASSERT_EQ(encode({"&v", sw}, false, value), 0);
            const std::string encoded = vars()["&v"];
            EXPECT_EQ(value, std::to_string(encoded.size()));
            EXPECT_GT(encoded.size(), bytes.size());

            ASSERT_EQ(encode({"&v", sw}, true, value), 0);
            EXPECT_EQ(value, std::to_string(bytes.size()));
            EXPECT_EQ(vars()["&v"], bytes); // zero bytes survive in a binary variable
        }
    }
}

TEST_F(EncodeIdentifiers, BinaryVariableLineArgument)
{
    const std::string bytes(100, 'z'); // three lines either way
    vars()["&v"] = bytes;
    std::string value;
    EXPECT_EQ(encode({"&v", "b", "0"}, false, value), 0);
    EXPECT_EQ(value, "3");
    EXPECT_EQ(vars()["&v"], bytes); // a line count leaves the variable as it was

    EXPECT_EQ(encode({"&v", "bm", "2"}, false, value), 0);
    EXPECT_EQ(value, "60");
    std::string want;
    b64_encode(bytes.data(), bytes.size(), want, kRoom, 2);
    EXPECT_EQ(vars()["&v"], want);

    EXPECT_EQ(encode({"&v", "bm", "0"}, true, value), 0);
    EXPECT_EQ(value, "1");
    EXPECT_EQ(vars()["&v"], want);
}

TEST_F(EncodeIdentifiers, BinaryVariableErrors)
{
    std::string value;
    EXPECT_EQ(encode({"&missing", "b"}, false, value), 6);
    EXPECT_EQ(encode({"&missing", "bm"}, true, value), 6);

    // A failed run leaves the variable as it was.
    vars()["&v"] = "data";
    locked() = true;
    EXPECT_EQ(encode({"&v", "b"}, true, value), 10);
    EXPECT_EQ(vars()["&v"], "data");
    EXPECT_EQ(encode({"&v", "bm", "1"}, true, value), 10);
    EXPECT_EQ(vars()["&v"], "data");
}

TEST(EncodeIdentifiersDefaults, NoBinaryVariablesAndNoLock)
{
    std::string value;
    EXPECT_EQ(id_encode_value({"&v", "b"}, false, value), 6);
    EXPECT_EQ(id_encode_value({"YWJj", "m"}, true, value), 0);
    EXPECT_EQ(value, "abc");
}

// ---------------------------------------------------------------------------
// $isutf, $utfencode and $utfdecode
// ---------------------------------------------------------------------------

TEST(IsUtfIdentifier, Values)
{
    const struct {
        std::vector<std::string> args;
        int error;
        const char* value;
    } cases[] = {
        {{""}, 0, "1"},
        {{"plain text"}, 0, "1"},
        {{"\xc3\xa7" "ay"}, 0, "2"},
        {{"\xe2\x82\xac"}, 0, "2"},
        {{"broken \xc3"}, 0, "0"},
        {{"\xe9t\xe9"}, 0, "0"},
        {{}, 6, ""},
        {{"a", "b"}, 6, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(args_text(c.args));
        std::string value = "stale";
        EXPECT_EQ(id_isutf_value(c.args, value), c.error);
        EXPECT_EQ(value, c.value);
    }
}

class UtfIdentifiers : public ::testing::Test {
protected:
    HookGuard hooks_;  // every seam back as it was when the test ends

    // The code page of a window whose font is Turkish.
    static constexpr int kTurkishWindow = 1254;
};

TEST_F(UtfIdentifiers, Values)
{
    const struct {
        const char* name;
        bool with_window;
        std::vector<std::string> args;
        bool decode;
        int error;
        std::string value;
    } cases[] = {
        {"charset 162 (Turkish)", false, {"\xe7\xfd", "162"}, false, 0, "\xc3\xa7\xc4\xb1"},
        {"back to 162", false, {"\xc3\xa7\xc4\xb1", "162"}, true, 0, "\xe7\xfd"},
        {"window font", true, {"\xe7\xfd"}, false, 0, "\xc3\xa7\xc4\xb1"},
        {"window font, decode", true, {"\xc3\xa7\xc4\xb1"}, true, 0, "\xe7\xfd"},
        {"charset wins over the window (161 Greek)", true, {"\xe7", "161"}, false, 0, "\xce\xb7"},
        {"plain text", false, {"abc", "0"}, false, 0, "abc"},
        {"empty text", false, {"", "162"}, false, 0, ""},
        {"three arguments", false, {"a", "162", "x"}, false, 6, ""},
        {"three arguments, decode", false, {"a", "162", "x"}, true, 6, ""},
        {"no arguments", false, {}, false, 6, ""},
        {"negative charset", false, {"abc", "-3"}, false, 6, ""},
        {"byte the code page lacks", false, {"\x81", "162"}, false, 6, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::string value = "stale";
        EXPECT_EQ(id_utf_value(c.with_window ? std::optional<int>(kTurkishWindow) : std::nullopt, c.args, c.decode, value),
                  c.error);
        EXPECT_EQ(value, c.value);
    }
    // A window that is no record has no code page: no conversion.
    std::string value = "stale";
    EXPECT_EQ(id_utf_value(-1, {"\xe7\xfd"}, false, value), 6);
    EXPECT_EQ(value, "");
}

TEST_F(UtfIdentifiers, DecodeLocked)
{
    encode_decode_locked_hook = [] { return true; };
    std::string value;
    EXPECT_EQ(id_utf_value(std::nullopt, {"\xc3\xa7", "162"}, true, value), 10);
    EXPECT_EQ(id_utf_value(std::nullopt, {"\xe7", "162"}, false, value), 0);
    EXPECT_EQ(value, "\xc3\xa7");
}

} // namespace

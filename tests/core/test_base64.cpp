#include "core/base64.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace {

constexpr std::size_t kRoom = 1 << 20; // ample room where the size is not the point

int encode(const std::string& bytes, std::string& out, std::size_t size = kRoom, int chunk = -1)
{
    return b64_encode(bytes.data(), bytes.size(), out, size, chunk);
}

int decode(const std::string& text, std::string& out, std::size_t size = kRoom, int chunk = -1)
{
    return b64_decode(text.data(), text.size(), out, size, chunk);
}

std::string random_bytes(std::mt19937& rng, std::size_t n)
{
    std::string s(n, '\0');
    for (char& c : s)
        c = static_cast<char>(rng());
    return s;
}

TEST(Base64, Rfc4648VectorsBothWays)
{
    const struct {
        const char* plain;
        const char* encoded;
    } cases[] = {
        {"", ""},         {"f", "Zg=="},         {"fo", "Zm8="},        {"foo", "Zm9v"},
        {"foob", "Zm9vYg=="}, {"fooba", "Zm9vYmE="}, {"foobar", "Zm9vYmFy"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.plain);
        std::string out;
        EXPECT_EQ(encode(c.plain, out), static_cast<int>(std::string(c.encoded).size()));
        EXPECT_EQ(out, c.encoded);
        EXPECT_EQ(decode(c.encoded, out), static_cast<int>(std::string(c.plain).size()));
        EXPECT_EQ(out, c.plain);
    }
}

TEST(Base64, FullAlphabetDecodesAndEncodesBack)
{
    // The 64 values in order: "ABCD" is 0x00 0x10 0x83 and "89+/" 0xF3 0xDF 0xBF.
    const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string decoded;
    ASSERT_EQ(decode(alphabet, decoded), 48);
    EXPECT_EQ(decoded.substr(0, 3), std::string("\x00\x10\x83", 3));
    EXPECT_EQ(decoded.substr(45), "\xF3\xDF\xBF");
    std::string encoded;
    ASSERT_EQ(encode(decoded, encoded), 64);
    EXPECT_EQ(encoded, alphabet);
}

TEST(Base64, RandomBinaryRoundTrips)
{
    std::mt19937 rng(2024);
    for (std::size_t n = 0; n < 300; ++n) {
        SCOPED_TRACE("length " + std::to_string(n));
        std::string bytes = random_bytes(rng, n);
        if (n > 2)
            bytes[n / 2] = '\0'; // zero bytes are data like any other
        std::string text, back;
        const int chars = encode(bytes, text);
        EXPECT_EQ(chars, static_cast<int>((n + 2) / 3 * 4));
        EXPECT_EQ(decode(text, back), static_cast<int>(n));
        EXPECT_EQ(back, bytes);
    }
}

TEST(Base64, ChunksOfSixtyCharacters)
{
    std::mt19937 rng(5);
    const std::string b45 = random_bytes(rng, 45);
    const std::string b46 = b45 + "x";
    std::string out;

    EXPECT_EQ(encode(b45, out, kRoom, 0), 1);
    EXPECT_EQ(out, "1");
    EXPECT_EQ(encode(b45, out), 60);
    EXPECT_EQ(out.find('='), std::string::npos);

    EXPECT_EQ(encode(b46, out, kRoom, 0), 2);
    EXPECT_EQ(out, "2");
    std::string first, second, all;
    EXPECT_EQ(encode(b46, first, kRoom, 1), 60);
    EXPECT_EQ(encode(b46, second, kRoom, 2), 4);
    EXPECT_EQ(second, "eA==");
    EXPECT_EQ(encode(b46, all), 64);
    EXPECT_EQ(all, first + second);

    out = "stale";
    EXPECT_EQ(encode(b46, out, kRoom, 3), 0);
    EXPECT_TRUE(out.empty());

    EXPECT_EQ(encode(random_bytes(rng, 100), out, kRoom, 0), 3);
    EXPECT_EQ(out, "3");
    EXPECT_EQ(encode("", out, kRoom, 0), 0);
    EXPECT_EQ(out, "0");
}

TEST(Base64, DecodeChunksMatchEncodeChunks)
{
    std::mt19937 rng(9);
    const std::string bytes = random_bytes(rng, 200); // 5 chunks: 4 x 45 and 20
    std::string text;
    ASSERT_EQ(encode(bytes, text), 268);
    std::string out;
    EXPECT_EQ(decode(text, out, kRoom, 0), 5);
    EXPECT_EQ(out, "5");
    for (int n = 1; n <= 5; ++n) {
        SCOPED_TRACE(n);
        const std::size_t len = n < 5 ? 45 : 20;
        EXPECT_EQ(decode(text, out, kRoom, n), static_cast<int>(len));
        EXPECT_EQ(out, bytes.substr(static_cast<std::size_t>(n - 1) * 45, len));
    }
    EXPECT_EQ(decode(text, out, kRoom, 6), 0);
    EXPECT_TRUE(out.empty());
}

TEST(Base64, OutputSizeBounds)
{
    const struct {
        std::size_t bytes;
        std::size_t size;
        int result;
    } cases[] = {
        {3111, 4150, 4148}, // 4,148 characters and the terminating zero
        {3112, 4150, -1},   // 4,152 characters do not fit
        {3, 5, 4},          // four characters and the zero exactly fit
        {3, 4, -1},         // no room for the zero
        {46, 64, -1},       // the second chunk does not fit
        {46, 65, 64},
        {0, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.bytes) + " bytes into " + std::to_string(c.size));
        std::string out = "stale";
        EXPECT_EQ(encode(std::string(c.bytes, 'k'), out, c.size), c.result);
        if (c.result < 0) {
            EXPECT_TRUE(out.empty());
        } else {
            EXPECT_EQ(out.size(), static_cast<std::size_t>(c.result));
        }
    }
}

TEST(Base64, DecodeOverflowFails)
{
    std::string out = "stale";
    EXPECT_EQ(decode("Zm9vYmFy", out, 5), -1);
    EXPECT_TRUE(out.empty());
    EXPECT_EQ(decode("Zm9vYmFy", out, 6), 6);
    EXPECT_EQ(out, "foobar");
}

TEST(Base64, DecodeEndsAndSkips)
{
    const struct {
        std::string text;
        std::string plain;
    } cases[] = {
        {"Zm9v\nYmFy", "foo"},                 // a line feed ends the decoding
        {"Zm9v YmFy", "foobar"},               // a blank is skipped
        {" \tZm9v\r YmFy\r", "foobar"},        // so are tabs and carriage returns
        {"Zg==Zm9v", "f"},                     // "=" ends the decoding
        {std::string("Zm9v\0YmFy", 9), "foo"}, // so does a zero byte
        {"Zm9v!YmFy", "foobar"},               // any other character is skipped
        {"    ", ""},
        {"\nZm9v", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        std::string out;
        EXPECT_EQ(decode(c.text, out), static_cast<int>(c.plain.size()));
        EXPECT_EQ(out, c.plain);
    }
}

TEST(Base64, DecodeReadsOnlyTheGivenLength)
{
    std::string out;
    EXPECT_EQ(b64_decode("Zm9vYmFy", 4, out, kRoom, -1), 3);
    EXPECT_EQ(out, "foo");
    EXPECT_EQ(b64_decode(nullptr, 10, out, kRoom, -1), 0);
    EXPECT_TRUE(out.empty());
}

// A skipped character inside a long text must not shift the bits of the
// chunks that follow it: the text decodes to the same bytes, chunk by chunk,
// as the same text without the blanks.
TEST(Base64, LongTextWithBlanksDecodesLikeWithout)
{
    std::mt19937 rng(77);
    const std::string bytes = random_bytes(rng, 1000);
    std::string clean;
    ASSERT_EQ(encode(bytes, clean), 1336);

    const struct {
        const char* name;
        std::size_t every;
        std::string insert;
    } variants[] = {
        {"one blank early", 0, " "},
        {"blank every 7", 7, " "},
        {"CR every 60", 60, "\r"},
        {"tab and blank every 13", 13, "\t "},
        {"blank every 1", 1, " "},
    };
    for (const auto& v : variants) {
        SCOPED_TRACE(v.name);
        std::string noisy;
        if (v.every == 0) {
            noisy = clean.substr(0, 10) + v.insert + clean.substr(10);
        } else {
            for (std::size_t i = 0; i < clean.size(); ++i) {
                noisy += clean[i];
                if ((i + 1) % v.every == 0)
                    noisy += v.insert;
            }
        }
        std::string out;
        EXPECT_EQ(decode(noisy, out), 1000);
        EXPECT_EQ(out, bytes);
        EXPECT_EQ(decode(noisy, out, kRoom, 0), 23);
        for (int n : {1, 2, 12, 23}) {
            SCOPED_TRACE(n);
            std::string want, got;
            decode(clean, want, kRoom, n);
            EXPECT_EQ(decode(noisy, got, kRoom, n), static_cast<int>(want.size()));
            EXPECT_EQ(got, want);
        }
    }
}

} // namespace

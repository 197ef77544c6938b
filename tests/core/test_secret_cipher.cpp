#include "core/secret_cipher.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace {

std::vector<unsigned char> from_hex(const std::string& hex)
{
    std::vector<unsigned char> out;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        out.push_back(static_cast<unsigned char>(std::stoul(hex.substr(i, 2), nullptr, 16)));
    return out;
}

std::uint64_t block_of(const std::string& hex) { return std::stoull(hex, nullptr, 16); }

// ---------------------------------------------------------------------------
// The block cipher
// ---------------------------------------------------------------------------

struct EcbVector {
    const char* key;
    const char* plain;
    const char* cipher;
};

// The published Blowfish ECB test vectors (8-byte keys), the variable-length
// key vectors, and the two examples given with the cipher's description.
const EcbVector kEcbVectors[] = {
    {"0000000000000000", "0000000000000000", "4EF997456198DD78"},
    {"FFFFFFFFFFFFFFFF", "FFFFFFFFFFFFFFFF", "51866FD5B85ECB8A"},
    {"3000000000000000", "1000000000000001", "7D856F9A613063F2"},
    {"1111111111111111", "1111111111111111", "2466DD878B963C9D"},
    {"0123456789ABCDEF", "1111111111111111", "61F9C3802281B096"},
    {"1111111111111111", "0123456789ABCDEF", "7D0CC630AFDA1EC7"},
    {"FEDCBA9876543210", "0123456789ABCDEF", "0ACEAB0FC6A0A28D"},
    {"7CA110454A1A6E57", "01A1D6D039776742", "59C68245EB05282B"},
    {"0131D9619DC1376E", "5CD54CA83DEF57DA", "B1B8CC0B250F09A0"},
    {"07A1133E4A0B2686", "0248D43806F67172", "1730E5778BEA1DA4"},
    {"3849674C2602319E", "51454B582DDF440A", "A25E7856CF2651EB"},
    {"04B915BA43FEB5B6", "42FD443059577FA2", "353882B109CE8F1A"},
    {"0113B970FD34F2CE", "059B5E0851CF143A", "48F4D0884C379918"},
    {"0170F175468FB5E6", "0756D8E0774761D2", "432193B78951FC98"},
    {"43297FAD38E373FE", "762514B829BF486A", "13F04154D69D1AE5"},
    {"07A7137045DA2A16", "3BDD119049372802", "2EEDDA93FFD39C79"},
    {"04689104C2FD3B2F", "26955F6835AF609A", "D887E0393C2DA6E3"},
    {"37D06BB516CB7546", "164D5E404F275232", "5F99D04F5B163969"},
    {"1F08260D1AC2465E", "6B056E18759F5CCA", "4A057A3B24D3977B"},
    {"584023641ABA6176", "004BD6EF09176062", "452031C1E4FADA8E"},
    {"025816164629B007", "480D39006EE762F2", "7555AE39F59B87BD"},
    {"49793EBC79B3258F", "437540C8698F3CFA", "53C55F9CB49FC019"},
    {"4FB05E1515AB73A7", "072D43A077075292", "7A8E7BFA937E89A3"},
    {"49E95D6D4CA229BF", "02FE55778117F12A", "CF9C5D7A4986ADB5"},
    {"018310DC409B26D6", "1D9D5C5018F728C2", "D1ABB290658BC778"},
    {"1C587F1C13924FEF", "305532286D6F295A", "55CB3774D13EF201"},
    {"0101010101010101", "0123456789ABCDEF", "FA34EC4847B268B2"},
    {"1F1F1F1F0E0E0E0E", "0123456789ABCDEF", "A790795108EA3CAE"},
    {"E0FEE0FEF1FEF1FE", "0123456789ABCDEF", "C39E072D9FAC631D"},
    {"0000000000000000", "FFFFFFFFFFFFFFFF", "014933E0CDAFF6E4"},
    {"FFFFFFFFFFFFFFFF", "0000000000000000", "F21E9A77B71C49BC"},
    {"0123456789ABCDEF", "0000000000000000", "245946885754369A"},
    {"FEDCBA9876543210", "FFFFFFFFFFFFFFFF", "6B5C5A9C5D9E0A5A"},
    // Keys of other lengths (taken from the start of one long key).
    {"F0", "FEDCBA9876543210", "F9AD597C49DB005E"},
    {"F0E1D2C3B4A59687", "FEDCBA9876543210", "E87A244E2CC85E82"},
    {"F0E1D2C3B4A5968778695A4B3C2D1E0F", "FEDCBA9876543210", "93142887EE3BE15C"},
    {"F0E1D2C3B4A5968778695A4B3C2D1E0F0011223344556677", "FEDCBA9876543210", "05044B62FA52D080"},
    // "abcdefghijklmnopqrstuvwxyz" enciphering "BLOWFISH", and "Who is John Galt?".
    {"6162636465666768696A6B6C6D6E6F707172737475767778797A", "424C4F5746495348", "324ED0FEF413A203"},
    {"57686F206973204A6F686E2047616C743F", "FEDCBA9876543210", "CC91732B8022F684"},
};

TEST(Blowfish, EcbVectorsBothWays)
{
    for (const auto& v : kEcbVectors) {
        SCOPED_TRACE(std::string("key ") + v.key + " plain " + v.plain);
        const std::vector<unsigned char> key_bytes = from_hex(v.key);
        BlowfishKey key;
        blowfish_set_key(key, key_bytes.data(), key_bytes.size());

        const std::uint64_t plain = block_of(v.plain), cipher = block_of(v.cipher);
        std::uint32_t l = std::uint32_t(plain >> 32), r = std::uint32_t(plain);
        blowfish_encrypt_block(key, l, r);
        EXPECT_EQ((std::uint64_t(l) << 32) | r, cipher);
        blowfish_decrypt_block(key, l, r);
        EXPECT_EQ((std::uint64_t(l) << 32) | r, plain);
    }
}

TEST(Blowfish, KeyIsCutAtSeventyTwoBytes)
{
    std::vector<unsigned char> long_key(100);
    for (std::size_t i = 0; i < long_key.size(); ++i)
        long_key[i] = static_cast<unsigned char>(i * 7 + 1);
    BlowfishKey a, b;
    blowfish_set_key(a, long_key.data(), 72);
    blowfish_set_key(b, long_key.data(), long_key.size());
    std::uint32_t la = 1, ra = 2, lb = 1, rb = 2;
    blowfish_encrypt_block(a, la, ra);
    blowfish_encrypt_block(b, lb, rb);
    EXPECT_EQ(la, lb);
    EXPECT_EQ(ra, rb);
}

// ---------------------------------------------------------------------------
// Cipher feedback
// ---------------------------------------------------------------------------

class CipherFeedback : public ::testing::Test {
protected:
    void SetUp() override
    {
        const unsigned char k[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
        blowfish_set_key(key_, k, sizeof k);
    }
    std::string run(const std::string& in, bool encrypt, std::size_t slice = 0) const
    {
        unsigned char reg[8] = {9, 8, 7, 6, 5, 4, 3, 2};
        int position = 0;
        std::string out(in.size(), '\0');
        if (slice == 0)
            slice = in.size() ? in.size() : 1;
        for (std::size_t i = 0; i < in.size(); i += slice) {
            const std::size_t n = std::min(slice, in.size() - i);
            blowfish_cfb64(key_, reg, position, reinterpret_cast<const unsigned char*>(in.data()) + i,
                           reinterpret_cast<unsigned char*>(out.data()) + i, n, encrypt);
        }
        return out;
    }
    BlowfishKey key_;
};

TEST_F(CipherFeedback, RoundTripsAndKeepsLength)
{
    std::mt19937 rng(3);
    for (std::size_t n : {0u, 1u, 7u, 8u, 9u, 16u, 17u, 100u, 3111u}) {
        SCOPED_TRACE(n);
        std::string plain(n, '\0');
        for (char& c : plain)
            c = static_cast<char>(rng());
        const std::string cipher = run(plain, true);
        EXPECT_EQ(cipher.size(), n);
        if (n >= 8) {
            EXPECT_NE(cipher, plain);
        }
        EXPECT_EQ(run(cipher, false), plain);
    }
}

// The register and its position carry over between calls, so a stream fed in
// slices gives the same bytes as one call.
TEST_F(CipherFeedback, SlicesMatchOneCall)
{
    const std::string plain = "the quick brown fox jumps over the lazy dog, twice over";
    const std::string whole = run(plain, true);
    for (std::size_t slice : {1u, 3u, 8u, 13u}) {
        SCOPED_TRACE(slice);
        EXPECT_EQ(run(plain, true, slice), whole);
        EXPECT_EQ(run(whole, false, slice), plain);
    }
}

// A change of one plain byte changes that cipher byte and everything from the
// next block on, but never the bytes before it.
TEST_F(CipherFeedback, ErrorsPropagateOnlyForward)
{
    std::string plain(32, 'p');
    const std::string a = run(plain, true);
    plain[10] = 'q';
    const std::string b = run(plain, true);
    EXPECT_EQ(a.substr(0, 10), b.substr(0, 10));
    EXPECT_NE(a[10], b[10]);
    EXPECT_NE(a.substr(16), b.substr(16));
}

// ---------------------------------------------------------------------------
// Enciphered text form
// ---------------------------------------------------------------------------

TEST(SecretText, KnownForms)
{
    // Computed independently: Blowfish CFB-64 with the MD5 digest of the key
    // text as key and its first eight bytes as register, then Base64.
    const struct {
        const char* key;
        std::string plain;
        const char* form;
    } cases[] = {
        {"vultz", "secret", "HsIEHM80"},
        {"vultz", "Hunter2 parola: \xc3\xa7\xc4\x9f!", "JdIJGs8yVPyUsFCcw2f+ym7EMUc6"},
        {"other", "secret", "RznF9Jec"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.plain);
        std::string text = c.plain;
        EXPECT_EQ(crypt_encrypt_text(text, c.key), 1);
        EXPECT_EQ(text, c.form);
        EXPECT_EQ(crypt_decrypt_text(text, c.key), 1);
        EXPECT_EQ(text, c.plain);
    }
}

TEST(SecretText, RoundTripsAndFormLength)
{
    std::mt19937 rng(99);
    for (std::size_t n : {1u, 2u, 3u, 4u, 7u, 8u, 9u, 16u, 44u, 45u, 46u, 100u, 1000u, 3110u, 3111u}) {
        SCOPED_TRACE(n);
        std::string plain(n, '\0');
        for (char& c : plain)
            c = static_cast<char>(' ' + rng() % 95);
        std::string text = plain;
        ASSERT_EQ(crypt_encrypt_text(text, "vultz"), 1);
        EXPECT_EQ(text.size(), 4 * ((n + 2) / 3));
        EXPECT_EQ(text.find_first_not_of(
                      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/="),
                  std::string::npos);

        // Storing the same value again gives the same form.
        std::string again = plain;
        crypt_encrypt_text(again, "vultz");
        EXPECT_EQ(again, text);

        ASSERT_EQ(crypt_decrypt_text(text, "vultz"), 1);
        EXPECT_EQ(text, plain);
    }
}

TEST(SecretText, OtherKeyGivesOtherBytesNotAnError)
{
    std::string text = "my password";
    ASSERT_EQ(crypt_encrypt_text(text, "vultz"), 1);
    EXPECT_EQ(crypt_decrypt_text(text, "vultx"), 1);
    EXPECT_EQ(text.size(), 11u);
    EXPECT_NE(text, "my password");
}

// A value the form cannot hold is a failure with an empty text, never a
// success: 3,112 bytes need 4,152 characters.
TEST(SecretText, FailuresEmptyTheTextAndReturnZero)
{
    const struct {
        const char* name;
        std::string text;
        bool encrypt;
    } cases[] = {
        {"encrypt empty", "", true},
        {"encrypt 3112 bytes", std::string(3112, 'x'), true},
        {"encrypt 5000 bytes", std::string(5000, 'x'), true},
        {"decrypt empty", "", false},
        {"decrypt without Base64 data", "!!!! ", false},
        {"decrypt a lone padding", "=", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::string text = c.text;
        EXPECT_EQ(c.encrypt ? crypt_encrypt_text(text, "vultz") : crypt_decrypt_text(text, "vultz"), 0);
        EXPECT_TRUE(text.empty());
    }
}

TEST(SecretText, DecryptReadsAtMostALongText)
{
    // 5,000 Base64 characters would give 3,750 bytes; only the first 4,150
    // characters are read, which give 3,112.
    std::string text(5000, 'Q');
    ASSERT_EQ(crypt_decrypt_text(text, "vultz"), 1);
    EXPECT_EQ(text.size(), 3112u);
}

// ---------------------------------------------------------------------------
// Password scramble
// ---------------------------------------------------------------------------

TEST(PasswordScramble, StepsOfTheFourLetterExample)
{
    // abcd: rotation dabc; running add eced; pair swap cede; reversal edec.
    std::string t = "eced";
    pw_swap_pairs(t);
    EXPECT_EQ(t, "cede");
    pw_reverse(t);
    EXPECT_EQ(t, "edec");

    std::string s = "abcd";
    pw_scramble(s);
    EXPECT_EQ(s, "edec");
    pw_unscramble(s);
    EXPECT_EQ(s, "abcd");
}

TEST(PasswordScramble, SmallTexts)
{
    const struct {
        std::string in;
        std::string swapped;
        std::string reversed;
    } cases[] = {
        {"", "", ""},
        {"a", "a", "a"},
        {"ab", "ba", "ba"},
        {"abc", "bac", "cba"},
        {"abcde", "badce", "edcba"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.in);
        std::string t = c.in;
        pw_swap_pairs(t);
        EXPECT_EQ(t, c.swapped);
        t = c.in;
        pw_reverse(t);
        EXPECT_EQ(t, c.reversed);
    }
    // One character and the empty text are left as they are.
    std::string one = "x", none;
    pw_scramble(one);
    pw_scramble(none);
    EXPECT_EQ(one, "x");
    EXPECT_EQ(none, "");
    pw_unscramble(one);
    EXPECT_EQ(one, "x");
}

TEST(PasswordScramble, ThreeCharacterTextFollowsTheSteps)
{
    // xyz: rotation zxy; add 1,2,3: {z+1}, z, |; swap: z {z+1} |; reversal: | {z+1} z.
    std::string t = "xyz";
    pw_scramble(t);
    EXPECT_EQ(t, "|{z");
}

TEST(PasswordScramble, PrintableTextsRoundTrip)
{
    std::mt19937 rng(42);
    for (std::size_t n = 2; n < 80; ++n) {
        std::string plain(n, '\0');
        for (char& c : plain)
            c = static_cast<char>(' ' + rng() % 95);
        std::string t = plain;
        pw_scramble(t);
        EXPECT_EQ(t.size(), n);
        pw_unscramble(t);
        EXPECT_EQ(t, plain) << "length " << n;
    }
}

TEST(PasswordScramble, HighBytesWrapAround)
{
    std::string plain = "\xff\xfe\xfd\xfc";
    std::string t = plain;
    pw_scramble(t);
    pw_unscramble(t);
    EXPECT_EQ(t, plain);
}

} // namespace

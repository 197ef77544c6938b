#include "core/digest.h"

#include "core/ini.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;

std::string md5_of(const std::string& s)
{
    return digest_hex(md5_digest(s.data(), s.size()), 16);
}

struct DigestVector {
    std::string input;
    const char* md5;
    const char* sha1;
    std::uint32_t crc;
};

// Published values of RFC 1321, FIPS 180-1 and the CRC-32 check value, plus
// lengths that end on and around the 56- and 64-byte padding boundaries.
const DigestVector kVectors[] = {
    {"", "d41d8cd98f00b204e9800998ecf8427e", "da39a3ee5e6b4b0d3255bfef95601890afd80709", 0x00000000},
    {"a", "0cc175b9c0f1b6a831c399e269772661", "86f7e437faa5a7fce15d1ddcb9eaeaea377667b8", 0xE8B7BE43},
    {"abc", "900150983cd24fb0d6963f7d28e17f72", "a9993e364706816aba3e25717850c26c9cd0d89d", 0x352441C2},
    {"message digest", "f96b697d7cb7938d525a2f31aaf161d0", "c12252ceda8be8994d5fa0290a47231c1d16aae3",
     0x20159D7F},
    {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b",
     "32d10c7b8cf96570ca04ce37f2a19d84240d3a89", 0x4C2750BD},
    {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "d174ab98d277d9f5a5611c2c9f419d9f",
     "761c457bf73b14d27e9e9265c46f4b4dda11f940", 0x1FC2E6D2},
    {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
     "57edf4a22be3c955ac49da2e2107b67a", "50abf5706a150990a08b2c5ea40fa0e585554732", 0x7CA94A72},
    {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq", "8215ef0796a20bcaaae116d3876c664a",
     "84983e441c3bd26ebaae4aa1f95129e5e54670f1", 0x171A3F5F},
    {"123456789", nullptr, nullptr, 0xCBF43926},
    {"The quick brown fox jumps over the lazy dog", nullptr, nullptr, 0x414FA339},
    {std::string(55, 'a'), "ef1772b6dff9a122358552954ad0df65", "c1c8bbdc22796e28c0e15163d20899b65621d65a", 0},
    {std::string(56, 'a'), "3b0c8ac703f828b04c6c197006d17218", "c2db330f6083854c99d4b5bfb6e8f29f201be699", 0},
    {std::string(63, 'a'), "b06521f39153d618550606be297466d5", "03f09f5b158a7a8cdad920bddc29b81c18a551f5", 0},
    {std::string(64, 'a'), "014842d480b571495a4a0363793f7367", "0098ba824b5c16427bd7a1122a5a442a25ec644d", 0},
    {std::string(65, 'a'), "c743a45e0d2e6a95cb859adae0248435", "11655326c708d70319be2610e8a57d9a5b959d3b", 0},
    {std::string(119, 'a'), "8a7bd0732ed6a28ce75f6dabc90e1613", "ee971065aaa017e0632a8ca6c77bb3bf8b1dfc56", 0},
    {std::string(120, 'a'), "5f61c0ccad4cac44c75ff505e1f1e537", "f34c1488385346a55709ba056ddd08280dd4c6d6", 0},
};

TEST(DigestVectors, PublishedValues)
{
    for (const auto& v : kVectors) {
        SCOPED_TRACE("input length " + std::to_string(v.input.size()) + ": " + v.input.substr(0, 20));
        if (v.md5) {
            EXPECT_EQ(md5_hex(v.input), v.md5);
            EXPECT_EQ(md5_of(v.input), v.md5);
        }
        if (v.sha1) {
            EXPECT_EQ(sha1_hex(v.input), v.sha1);
        }
        if (v.crc || v.input.empty() || !v.md5) {
            EXPECT_EQ(crc32_buffer(v.input.data(), static_cast<std::ptrdiff_t>(v.input.size())), v.crc);
        }
    }
}

TEST(DigestVectors, MillionAs)
{
    const std::string million(1000000, 'a');
    EXPECT_EQ(sha1_hex(million), "34aa973cd4c4daa4f61eeb2bdbad27316534016f");
    EXPECT_EQ(md5_hex(million), "7707d6ae4e027c70eea2a935c2296f21");
}

// Feeding the same bytes in slices of every awkward size must give the
// one-shot digest: this exercises the block buffer and the bit counter.
TEST(DigestVectors, SplitUpdatesMatchOneShot)
{
    std::mt19937 rng(7);
    std::string data(1000, '\0');
    for (char& c : data)
        c = static_cast<char>(rng());
    const std::string md5_whole = md5_hex(data);
    const std::string sha1_whole = sha1_hex(data);
    for (std::size_t slice : {1u, 3u, 55u, 56u, 63u, 64u, 65u, 127u, 999u}) {
        SCOPED_TRACE("slice " + std::to_string(slice));
        Md5Context m;
        Sha1Context s;
        md5_init(&m);
        sha1_init(&s);
        for (std::size_t i = 0; i < data.size(); i += slice) {
            const std::size_t n = std::min(slice, data.size() - i);
            md5_update(&m, data.data() + i, n);
            sha1_update(&s, data.data() + i, n);
        }
        unsigned char md[16], sd[20];
        md5_final(&m, md);
        sha1_final(sd, &s);
        EXPECT_EQ(digest_hex(md, 16), md5_whole);
        EXPECT_EQ(digest_hex(sd, 20), sha1_whole);
    }
}

TEST(DigestVectors, Crc32NonPositiveCountIsZero)
{
    const char text[] = "123456789";
    EXPECT_EQ(crc32_buffer(text, 0), 0u);
    EXPECT_EQ(crc32_buffer(text, -5), 0u);
    EXPECT_EQ(crc32_buffer(nullptr, 9), 0u);
}

TEST(DigestVectors, Md5DigestBufferIsReusedByTheNextCall)
{
    const unsigned char* first = md5_digest("abc", 3);
    const unsigned char* second = md5_digest("", 0);
    EXPECT_EQ(first, second);
    EXPECT_EQ(digest_hex(second, 16), "d41d8cd98f00b204e9800998ecf8427e");
}

// ---------------------------------------------------------------------------
// Files
// ---------------------------------------------------------------------------

class DigestFiles : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir_ = fs::temp_directory_path() /
               ("kest_digest_" + std::to_string(::getpid()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override
    {
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }
    std::string write(const std::string& name, const std::string& bytes)
    {
        const fs::path p = dir_ / name;
        std::ofstream(p, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        return p.string();
    }
    fs::path dir_;
};

TEST_F(DigestFiles, FileDigestsEqualThoseOfItsBytes)
{
    std::mt19937 rng(11);
    // Sizes on both sides of the 512- and 4,096-byte reading blocks.
    for (std::size_t size : {0u, 1u, 511u, 512u, 513u, 4095u, 4096u, 4097u, 8192u, 100003u}) {
        SCOPED_TRACE("size " + std::to_string(size));
        std::string bytes(size, '\0');
        for (char& c : bytes)
            c = static_cast<char>(rng());
        const std::string path = write("data.bin", bytes);

        unsigned char md[16], sd[20];
        ASSERT_EQ(md5_file(path, md), 1);
        ASSERT_EQ(sha1_file(path, sd), 1);
        EXPECT_EQ(digest_hex(md, 16), md5_hex(bytes));
        EXPECT_EQ(digest_hex(sd, 20), sha1_hex(bytes));
        EXPECT_EQ(crc32_file(path), crc32_buffer(bytes.data(), static_cast<std::ptrdiff_t>(bytes.size())));
    }
}

TEST_F(DigestFiles, UnreadableSourcesFail)
{
    const std::string missing = (dir_ / "missing.txt").string();
    const std::string fifo = (dir_ / "pipe").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    // A folder, a device that never ends and a pipe with no writer must all
    // fail at once instead of blocking or reading forever.
    for (const std::string& path : {missing, dir_.string(), std::string("/dev/zero"), fifo, std::string()}) {
        SCOPED_TRACE(path);
        unsigned char md[16], sd[20];
        EXPECT_EQ(md5_file(path, md), 0);
        EXPECT_EQ(sha1_file(path, sd), 0);
        EXPECT_EQ(crc32_file(path), 0u);
    }
}

TEST_F(DigestFiles, Crc32OfEmptyFileIsZero)
{
    EXPECT_EQ(crc32_file(write("empty", "")), 0u);
    EXPECT_EQ(crc32_file(write("check", "123456789")), 0xCBF43926u);
}

// ---------------------------------------------------------------------------
// $md5 and $sha1 values
// ---------------------------------------------------------------------------

class DigestIdentifiers : public DigestFiles {
protected:
    void SetUp() override
    {
        DigestFiles::SetUp();
        saved_dir_ = settings_dir;
        settings_dir = dir_.string() + "/";
    }
    void TearDown() override
    {
        settings_dir = saved_dir_;
        DigestFiles::TearDown();
    }
    // The one binary variable the caller knows: "&blob".
    static const std::string* bvar_named(const std::vector<std::string>& args)
    {
        static const std::string blob("bin\0ary\xff", 8);
        return !args.empty() && args[0] == "&blob" ? &blob : nullptr;
    }
    std::string saved_dir_;
};

TEST_F(DigestIdentifiers, ValuesAndErrors)
{
    const std::string blob("bin\0ary\xff", 8);
    write("same.bin", blob);
    write("with space.txt", "abc");
    write("con.txt", "abc");
    fs::create_directories(dir_ / "sub");
    write("sub/inner.txt", "abcdefghijklmnopqrstuvwxyz");
    const std::string absolute = write("abs.txt", "message digest");

    struct Case {
        std::vector<std::string> args;
        int error;            // 0: value expected
        std::string of_bytes; // the bytes whose digest is the value
    };
    const Case cases[] = {
        {{""}, 0, ""},
        {{"abc"}, 0, "abc"},
        {{"abc", "0"}, 0, "abc"},
        {{"&blob", "1"}, 0, blob},
        {{"same.bin", "2"}, 0, blob},
        {{"\"with space.txt\"", "2"}, 0, "abc"},
        {{absolute, "2"}, 0, "message digest"},
        {{"sub\\inner.txt", "2"}, 0, "abcdefghijklmnopqrstuvwxyz"},
        {{"con.txt", "2"}, 12, ""}, // a reserved device name is never read
        {{"sub\\", "2"}, 6, ""},   // names no file
        {{"abc", "3"}, 6, ""},
        {{"abc", "-1"}, 6, ""},
        {{}, 6, ""},
        {{"abc", "0", "x"}, 6, ""},
        {{"&nothing", "1"}, 6, ""},
        {{"missing.txt", "2"}, 12, ""},
        {{"", "2"}, 6, ""},
        {{".", "2"}, 6, ""},    // names no file
        {{"sub", "2"}, 12, ""}, // a folder is not a readable file
    };
    for (const Case& c : cases) {
        std::string trace;
        for (const auto& a : c.args)
            trace += "[" + a + "]";
        SCOPED_TRACE(trace);
        std::string md5_value = "stale", sha1_value = "stale";
        EXPECT_EQ(id_md5_value(c.args, md5_value, bvar_named(c.args)), c.error);
        EXPECT_EQ(ident_sha1_value(c.args, sha1_value, bvar_named(c.args)), c.error);
        if (c.error == 0) {
            EXPECT_EQ(md5_value, md5_hex(c.of_bytes));
            EXPECT_EQ(sha1_value, sha1_hex(c.of_bytes));
            EXPECT_EQ(md5_value.size(), 32u);
            EXPECT_EQ(sha1_value.size(), 40u);
            EXPECT_EQ(md5_value.find_first_not_of("0123456789abcdef"), std::string::npos);
            EXPECT_EQ(sha1_value.find_first_not_of("0123456789abcdef"), std::string::npos);
        } else {
            EXPECT_TRUE(md5_value.empty());
            EXPECT_TRUE(sha1_value.empty());
        }
    }
}

TEST_F(DigestIdentifiers, WithoutBinaryVariablesKindOneIsInvalid)
{
    std::string value;
    EXPECT_EQ(id_md5_value({"&blob", "1"}, value), 6);
}

} // namespace

// MD5 (RFC 1321), SHA-1 (FIPS 180-1) and CRC-32 (reflected IEEE 802.3).
#include "core/digest.h"

#include "core/files.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

inline std::uint32_t rotl(std::uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }

// Adds a byte count to a 64-bit bit counter kept as two words (low first).
inline void add_bit_count(std::uint32_t count[2], std::size_t bytes)
{
    const std::uint64_t old = (std::uint64_t(count[1]) << 32) | count[0];
    const std::uint64_t now = old + (std::uint64_t(bytes) << 3);
    count[0] = std::uint32_t(now);
    count[1] = std::uint32_t(now >> 32);
}

// Opens a path for binary reading through a 4,096-byte buffered stream.
// Only regular files are accepted, so a name of a device or pipe can neither
// block the caller nor feed it endless bytes.
std::FILE* open_regular_file(const std::string& path)
{
    if (path.empty() || path.find('\0') != std::string::npos)
        return nullptr;
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return nullptr;
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0)
        ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    std::FILE* f = ::fdopen(fd, "rb");
    if (!f) {
        ::close(fd);
        return nullptr;
    }
    std::setvbuf(f, nullptr, _IOFBF, 4096);
    return f;
}

} // namespace

// ---------------------------------------------------------------------------
// MD5
// ---------------------------------------------------------------------------

void md5_init(Md5Context* ctx)
{
    ctx->state[0] = 0x67452301u;
    ctx->state[1] = 0xEFCDAB89u;
    ctx->state[2] = 0x98BADCFEu;
    ctx->state[3] = 0x10325476u;
    ctx->count[0] = ctx->count[1] = 0;
    std::memset(ctx->buffer, 0, sizeof ctx->buffer);
}

namespace {

inline std::uint32_t md5_f(std::uint32_t x, std::uint32_t y, std::uint32_t z) { return (x & y) | (~x & z); }
inline std::uint32_t md5_g(std::uint32_t x, std::uint32_t y, std::uint32_t z) { return (x & z) | (y & ~z); }
inline std::uint32_t md5_h(std::uint32_t x, std::uint32_t y, std::uint32_t z) { return x ^ y ^ z; }
inline std::uint32_t md5_i(std::uint32_t x, std::uint32_t y, std::uint32_t z) { return y ^ (x | ~z); }

// Sines table of RFC 1321: floor(abs(sin(i + 1)) * 2^32).
const std::uint32_t kMd5T[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391,
};
const int kMd5Shift[4][4] = {{7, 12, 17, 22}, {5, 9, 14, 20}, {4, 11, 16, 23}, {6, 10, 15, 21}};

} // namespace

void md5_transform(std::uint32_t state[4], const unsigned char block[64])
{
    std::uint32_t x[16];
    for (int i = 0; i < 16; ++i)
        x[i] = std::uint32_t(block[i * 4]) | (std::uint32_t(block[i * 4 + 1]) << 8) |
               (std::uint32_t(block[i * 4 + 2]) << 16) | (std::uint32_t(block[i * 4 + 3]) << 24);

    std::uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
    for (int i = 0; i < 64; ++i) {
        const int round = i / 16;
        std::uint32_t f;
        int k;
        switch (round) {
        case 0: f = md5_f(b, c, d); k = i; break;
        case 1: f = md5_g(b, c, d); k = (5 * i + 1) & 15; break;
        case 2: f = md5_h(b, c, d); k = (3 * i + 5) & 15; break;
        default: f = md5_i(b, c, d); k = (7 * i) & 15; break;
        }
        const std::uint32_t t = a + f + x[k] + kMd5T[i];
        a = d;
        d = c;
        c = b;
        b = b + rotl(t, kMd5Shift[round][i & 3]);
    }
    state[0] += a;
    state[1] += b;
    state[2] += c;
    state[3] += d;
}

void md5_update(Md5Context* ctx, const void* data, std::size_t count)
{
    if (!ctx || !data || count == 0)
        return;
    const unsigned char* in = static_cast<const unsigned char*>(data);
    std::size_t index = (ctx->count[0] >> 3) & 0x3F;
    add_bit_count(ctx->count, count);

    const std::size_t part = 64 - index;
    std::size_t i = 0;
    if (count >= part) {
        std::memcpy(ctx->buffer + index, in, part);
        md5_transform(ctx->state, ctx->buffer);
        for (i = part; i + 63 < count; i += 64)
            md5_transform(ctx->state, in + i);
        index = 0;
    }
    std::memcpy(ctx->buffer + index, in + i, count - i);
}

void md5_final(Md5Context* ctx, unsigned char digest[16])
{
    unsigned char bits[8];
    for (int i = 0; i < 4; ++i) {
        bits[i] = static_cast<unsigned char>(ctx->count[0] >> (8 * i));
        bits[i + 4] = static_cast<unsigned char>(ctx->count[1] >> (8 * i));
    }
    static const unsigned char padding[64] = {0x80};
    const std::size_t index = (ctx->count[0] >> 3) & 0x3F;
    const std::size_t pad_len = index < 56 ? 56 - index : 120 - index;
    md5_update(ctx, padding, pad_len);
    md5_update(ctx, bits, 8);
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            digest[i * 4 + j] = static_cast<unsigned char>(ctx->state[i] >> (8 * j));
    std::memset(ctx, 0, sizeof *ctx);
}

const unsigned char* md5_digest(const void* data, std::size_t count)
{
    static unsigned char result[16];
    Md5Context ctx;
    md5_init(&ctx);
    md5_update(&ctx, data, count);
    md5_final(&ctx, result);
    return result;
}

// ---------------------------------------------------------------------------
// SHA-1
// ---------------------------------------------------------------------------

void sha1_init(Sha1Context* ctx)
{
    ctx->state[0] = 0x67452301u;
    ctx->state[1] = 0xEFCDAB89u;
    ctx->state[2] = 0x98BADCFEu;
    ctx->state[3] = 0x10325476u;
    ctx->state[4] = 0xC3D2E1F0u;
    ctx->count[0] = ctx->count[1] = 0;
    std::memset(ctx->buffer, 0, sizeof ctx->buffer);
}

void sha1_transform(std::uint32_t state[5], const unsigned char block[64])
{
    std::uint32_t w[80];
    for (int i = 0; i < 16; ++i)
        w[i] = (std::uint32_t(block[i * 4]) << 24) | (std::uint32_t(block[i * 4 + 1]) << 16) |
               (std::uint32_t(block[i * 4 + 2]) << 8) | std::uint32_t(block[i * 4 + 3]);
    for (int i = 16; i < 80; ++i)
        w[i] = rotl(w[i - 3] ^ w[i - 8] ^ w[i - 14] ^ w[i - 16], 1);

    std::uint32_t a = state[0], b = state[1], c = state[2], d = state[3], e = state[4];
    for (int i = 0; i < 80; ++i) {
        std::uint32_t f, k;
        if (i < 20) {
            f = (b & c) | (~b & d);
            k = 0x5A827999u;
        } else if (i < 40) {
            f = b ^ c ^ d;
            k = 0x6ED9EBA1u;
        } else if (i < 60) {
            f = (b & c) | (b & d) | (c & d);
            k = 0x8F1BBCDCu;
        } else {
            f = b ^ c ^ d;
            k = 0xCA62C1D6u;
        }
        const std::uint32_t t = rotl(a, 5) + f + e + k + w[i];
        e = d;
        d = c;
        c = rotl(b, 30);
        b = a;
        a = t;
    }
    state[0] += a;
    state[1] += b;
    state[2] += c;
    state[3] += d;
    state[4] += e;
}

void sha1_update(Sha1Context* ctx, const void* data, std::size_t count)
{
    if (!ctx || !data || count == 0)
        return;
    const unsigned char* in = static_cast<const unsigned char*>(data);
    std::size_t index = (ctx->count[0] >> 3) & 0x3F;
    add_bit_count(ctx->count, count);

    const std::size_t part = 64 - index;
    std::size_t i = 0;
    if (count >= part) {
        std::memcpy(ctx->buffer + index, in, part);
        sha1_transform(ctx->state, ctx->buffer);
        for (i = part; i + 63 < count; i += 64)
            sha1_transform(ctx->state, in + i);
        index = 0;
    }
    std::memcpy(ctx->buffer + index, in + i, count - i);
}

void sha1_final(unsigned char digest[20], Sha1Context* ctx)
{
    unsigned char bits[8];
    for (int i = 0; i < 4; ++i) {
        bits[i] = static_cast<unsigned char>(ctx->count[1] >> (24 - 8 * i));
        bits[i + 4] = static_cast<unsigned char>(ctx->count[0] >> (24 - 8 * i));
    }
    static const unsigned char padding[64] = {0x80};
    const std::size_t index = (ctx->count[0] >> 3) & 0x3F;
    const std::size_t pad_len = index < 56 ? 56 - index : 120 - index;
    sha1_update(ctx, padding, pad_len);
    sha1_update(ctx, bits, 8);
    for (int i = 0; i < 5; ++i)
        for (int j = 0; j < 4; ++j)
            digest[i * 4 + j] = static_cast<unsigned char>(ctx->state[i] >> (24 - 8 * j));
    std::memset(ctx, 0, sizeof *ctx);
}

// ---------------------------------------------------------------------------
// CRC-32
// ---------------------------------------------------------------------------

namespace {

struct Crc32Table {
    std::uint32_t entry[256];
    Crc32Table()
    {
        for (std::uint32_t n = 0; n < 256; ++n) {
            std::uint32_t c = n;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? (0xEDB88320u ^ (c >> 1)) : (c >> 1);
            entry[n] = c;
        }
    }
};

const Crc32Table& crc_table()
{
    static const Crc32Table table;
    return table;
}

inline std::uint32_t crc32_step(std::uint32_t crc, const unsigned char* p, std::size_t n)
{
    const std::uint32_t* t = crc_table().entry;
    for (std::size_t i = 0; i < n; ++i)
        crc = t[(crc ^ p[i]) & 0xFF] ^ (crc >> 8);
    return crc;
}

} // namespace

std::uint32_t crc32_buffer(const void* data, std::ptrdiff_t count)
{
    if (!data || count <= 0)
        return 0;
    return ~crc32_step(0xFFFFFFFFu, static_cast<const unsigned char*>(data), std::size_t(count));
}

std::uint32_t crc32_file(const std::string& path)
{
    std::FILE* f = open_regular_file(path);
    if (!f)
        return 0;
    std::uint32_t crc = 0xFFFFFFFFu;
    unsigned char block[4096];
    for (;;) {
        const std::size_t got = std::fread(block, 1, sizeof block, f);
        crc = crc32_step(crc, block, got);
        if (got < sizeof block)
            break;
    }
    const bool failed = std::ferror(f) != 0;
    std::fclose(f);
    return failed ? 0 : ~crc;
}

// ---------------------------------------------------------------------------
// Hexadecimal forms and file digests
// ---------------------------------------------------------------------------

std::string digest_hex(const unsigned char* bytes, std::size_t count)
{
    static const char digits[] = "0123456789abcdef";
    std::string out;
    if (!bytes)
        return out;
    out.reserve(count * 2);
    for (std::size_t i = 0; i < count; ++i) {
        out += digits[bytes[i] >> 4];
        out += digits[bytes[i] & 15];
    }
    return out;
}

std::string md5_hex(std::string_view data)
{
    Md5Context ctx;
    unsigned char d[16];
    md5_init(&ctx);
    md5_update(&ctx, data.data(), data.size());
    md5_final(&ctx, d);
    return digest_hex(d, sizeof d);
}

std::string sha1_hex(std::string_view data)
{
    Sha1Context ctx;
    unsigned char d[20];
    sha1_init(&ctx);
    sha1_update(&ctx, data.data(), data.size());
    sha1_final(d, &ctx);
    return digest_hex(d, sizeof d);
}

namespace {

// Feeds a file to an update function in 512-byte blocks; false when the file
// can't be opened or a read fails before its end.
template <typename Update>
bool digest_file_blocks(const std::string& path, Update update)
{
    std::FILE* f = open_regular_file(path);
    if (!f)
        return false;
    unsigned char block[512];
    for (;;) {
        const std::size_t got = std::fread(block, 1, sizeof block, f);
        if (got > 0)
            update(block, got);
        if (got < sizeof block)
            break;
    }
    const bool failed = std::ferror(f) != 0;
    std::fclose(f);
    return !failed;
}

} // namespace

int md5_file(const std::string& path, unsigned char digest[16])
{
    Md5Context ctx;
    md5_init(&ctx);
    if (!digest_file_blocks(path, [&](const unsigned char* p, std::size_t n) { md5_update(&ctx, p, n); }))
        return 0;
    md5_final(&ctx, digest);
    return 1;
}

int sha1_file(const std::string& path, unsigned char digest[20])
{
    Sha1Context ctx;
    sha1_init(&ctx);
    if (!digest_file_blocks(path, [&](const unsigned char* p, std::size_t n) { sha1_update(&ctx, p, n); }))
        return 0;
    sha1_final(digest, &ctx);
    return 1;
}

// ---------------------------------------------------------------------------
// $md5 and $sha1
// ---------------------------------------------------------------------------

namespace {

// Removes one pair of surrounding double quotes.
std::string strip_surrounding_quotes(const std::string& s)
{
    if (s.size() >= 2 && s.front() == '"' && s.back() == '"')
        return s.substr(1, s.size() - 2);
    return s;
}

enum : int { kErrInvalidParameter = 6, kErrFileRead = 12 };

// Reads the kind argument as a number the way scripts' numeric arguments are
// read: optional blanks and sign, then leading decimal digits (none gives 0).
long parse_kind(const std::string& text)
{
    errno = 0;
    const long v = std::strtol(text.c_str(), nullptr, 10);
    return errno == ERANGE ? -1 : v;
}

template <std::size_t N, typename Init, typename Update, typename Final, typename File>
int digest_ident(const std::vector<std::string>& args, std::string& value, const std::string* bvar_bytes,
                 Init init, Update update, Final final, File file)
{
    value.clear();
    if (args.empty() || args.size() > 2)
        return kErrInvalidParameter;
    const long kind = args.size() == 2 ? parse_kind(args[1]) : 0;

    unsigned char d[N];
    switch (kind) {
    case 0: {
        auto ctx = init();
        update(ctx, args[0].data(), args[0].size());
        final(ctx, d);
        break;
    }
    case 1: {
        if (!bvar_bytes)
            return kErrInvalidParameter;
        auto ctx = init();
        update(ctx, bvar_bytes->data(), bvar_bytes->size());
        final(ctx, d);
        break;
    }
    case 2: {
        std::string path;
        if (!file_resolve_file_path(strip_surrounding_quotes(args[0]), path))
            return kErrInvalidParameter;
        // A reserved device name is never opened as a file.
        if (file_is_device(path) || !file(path, d))
            return kErrFileRead;
        break;
    }
    default:
        return kErrInvalidParameter;
    }
    value = digest_hex(d, N);
    return 0;
}

} // namespace


int id_md5_value(const std::vector<std::string>& args, std::string& value, const std::string* bvar_bytes)
{
    return digest_ident<16>(
        args, value, bvar_bytes,
        [] { Md5Context c; md5_init(&c); return c; },
        [](Md5Context& c, const void* p, std::size_t n) { md5_update(&c, p, n); },
        [](Md5Context& c, unsigned char* out) { md5_final(&c, out); },
        [](const std::string& path, unsigned char* out) { return md5_file(path, out) != 0; });
}

int ident_sha1_value(const std::vector<std::string>& args, std::string& value, const std::string* bvar_bytes)
{
    return digest_ident<20>(
        args, value, bvar_bytes,
        [] { Sha1Context c; sha1_init(&c); return c; },
        [](Sha1Context& c, const void* p, std::size_t n) { sha1_update(&c, p, n); },
        [](Sha1Context& c, unsigned char* out) { sha1_final(out, &c); },
        [](const std::string& path, unsigned char* out) { return sha1_file(path, out) != 0; });
}

// Base64 encoder and decoder working in chunks of 60 characters (45 bytes).
#include "core/base64.h"

#include <cstdint>
#include <vector>

namespace {

const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

constexpr std::size_t kChunkBytes = 45;
constexpr std::size_t kChunkChars = 60;

// Value of a Base64 character, or -1 for a character outside the alphabet.
inline int b64_value(unsigned char c)
{
    if (c >= 'A' && c <= 'Z')
        return c - 'A';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 26;
    if (c >= '0' && c <= '9')
        return c - '0' + 52;
    if (c == '+')
        return 62;
    if (c == '/')
        return 63;
    return -1;
}

} // namespace

// Leaves in out what the chunk argument asks for, given the whole result and
// the offsets at which its chunks begin.
int b64_select_chunk(std::string& whole, const std::vector<std::size_t>& starts, std::string& out, int chunk)
{
    if (chunk < 0) {
        out.swap(whole);
        return static_cast<int>(out.size());
    }
    if (chunk == 0) {
        out = std::to_string(starts.size());
        return static_cast<int>(starts.size());
    }
    const std::size_t n = static_cast<std::size_t>(chunk);
    if (n > starts.size()) {
        out.clear();
        return 0;
    }
    const std::size_t begin = starts[n - 1];
    const std::size_t end = n < starts.size() ? starts[n] : whole.size();
    out.assign(whole, begin, end - begin);
    return static_cast<int>(out.size());
}

int b64_encode(const void* bytes, std::size_t count, std::string& out, std::size_t out_size, int chunk)
{
    out.clear();
    const unsigned char* in = static_cast<const unsigned char*>(bytes);
    if (!in)
        count = 0;

    std::string whole;
    std::vector<std::size_t> starts;
    std::size_t pos = 0;
    while (pos < count) {
        const std::size_t take = count - pos < kChunkBytes ? count - pos : kChunkBytes;
        const std::size_t chars = (take + 2) / 3 * 4;
        // The chunk's characters and the zero after them must fit.
        if (whole.size() + chars + 1 > out_size)
            return -1;
        starts.push_back(whole.size());

        std::uint32_t acc = 0;
        int bits = 0;
        for (std::size_t i = 0; i < take; ++i) {
            acc = (acc << 8) | in[pos + i];
            bits += 8;
            while (bits >= 6) {
                bits -= 6;
                whole += kAlphabet[(acc >> bits) & 0x3F];
            }
        }
        if (bits > 0) {
            whole += kAlphabet[(acc << (6 - bits)) & 0x3F];
            whole += bits == 2 ? "==" : "=";
        }
        pos += take;
    }
    return b64_select_chunk(whole, starts, out, chunk);
}

int b64_decode(const char* text, std::size_t length, std::string& out, std::size_t out_size, int chunk)
{
    out.clear();
    if (!text)
        length = 0;

    std::string whole;
    std::vector<std::size_t> starts;
    std::size_t pos = 0;
    // Bits carry from one chunk to the next, so a skipped character never
    // shifts the bytes that follow it.
    std::uint32_t acc = 0;
    int bits = 0;
    for (;;) {
        const std::size_t chunk_start_bytes = whole.size();
        std::size_t data_chars = 0;
        while (pos < length && data_chars < kChunkChars) {
            const unsigned char c = static_cast<unsigned char>(text[pos]);
            if (c == '\n' || c == '\0' || c == '=')
                break;
            ++pos;
            const int v = b64_value(c);
            if (v < 0)
                continue;
            ++data_chars;
            acc = ((acc << 6) | std::uint32_t(v)) & 0xFFFFFFu;
            bits += 6;
            if (bits >= 8) {
                bits -= 8;
                if (whole.size() >= out_size)
                    return -1;
                whole += static_cast<char>((acc >> bits) & 0xFF);
            }
        }
        // A chunk without a single Base64 character (the end of the text, a
        // line feed, "=", or nothing but skipped characters) ends the decoding.
        if (data_chars == 0)
            break;
        // A chunk counts where its first character was; bytes it emitted
        // belong to it (when no byte completed, the chunk is empty).
        starts.push_back(chunk_start_bytes);
    }
    return b64_select_chunk(whole, starts, out, chunk);
}

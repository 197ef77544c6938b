// Uuencoding and the value cores of $isutf, $utfencode, $utfdecode, $encode
// and $decode.
#include "core/encoding_idents.h"

#include "core/base64.h"
#include "core/encodings.h"
#include "core/text_limits.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <new>

namespace {

enum : int {
    kErrInvalidParameter = 6,
    kErrNoMemory = 8,
    kErrTooLong = 9,
    kErrLocked = 10,
};

constexpr std::size_t kLineBytes = 45;

inline char uu_char(unsigned v)
{
    v &= 0x3F;
    return v == 0 ? '`' : static_cast<char>(v + 32);
}

// Value of a uuencoded character, or -1 outside 32..96.
inline int uu_value(unsigned char c)
{
    if (c < 32 || c > 96)
        return -1;
    return (c - 32) & 0x3F;
}


// A numeric argument read as scripts read numbers: leading blanks and sign,
// then the leading digits (none gives 0).
long number_arg(const std::string& text)
{
    errno = 0;
    const long v = std::strtol(text.c_str(), nullptr, 10);
    return errno == ERANGE ? (v < 0 ? -1 : 0x7FFFFFFF) : v;
}

int clamp_to_int(long v)
{
    if (v > 0x7FFFFFFF)
        return 0x7FFFFFFF;
    if (v < -1)
        return -1;
    return static_cast<int>(v);
}

} // namespace

bool (*encode_decode_locked_hook)() = nullptr;

// ---------------------------------------------------------------------------
// Uuencoding
// ---------------------------------------------------------------------------

std::size_t uuencode_line(const unsigned char* bytes, std::size_t count, std::string& out)
{
    if (!bytes)
        count = 0;
    const std::size_t n = std::min(count, kLineBytes);
    out += uu_char(static_cast<unsigned>(n));
    for (std::size_t i = 0; i < n; i += 3) {
        const unsigned b0 = bytes[i];
        const unsigned b1 = i + 1 < n ? bytes[i + 1] : 0;
        const unsigned b2 = i + 2 < n ? bytes[i + 2] : 0;
        out += uu_char(b0 >> 2);
        out += uu_char(((b0 << 4) | (b1 >> 4)) & 0x3F);
        out += uu_char(((b1 << 2) | (b2 >> 6)) & 0x3F);
        out += uu_char(b2 & 0x3F);
    }
    return n;
}

int uudecode_line(const char* text, std::size_t length, std::size_t& pos, std::string& out)
{
    if (!text || pos >= length)
        return 0;
    // The length character is read like the others (minus 32, modulo 64, so
    // the grave accent is 0); one outside 32..96 is no line at all, which
    // also stops the decoding at a line feed between lines.
    const int count = uu_value(static_cast<unsigned char>(text[pos]));
    if (count < 0)
        return 0;
    std::size_t wanted = static_cast<std::size_t>(count);
    ++pos;
    while (wanted > 0) {
        if (length - pos < 4)
            return 0;
        int v[4];
        for (int k = 0; k < 4; ++k) {
            v[k] = uu_value(static_cast<unsigned char>(text[pos + k]));
            if (v[k] < 0)
                return 0;
        }
        pos += 4;
        const unsigned char bytes[3] = {
            static_cast<unsigned char>((v[0] << 2) | (v[1] >> 4)),
            static_cast<unsigned char>(((v[1] & 0x0F) << 4) | (v[2] >> 2)),
            static_cast<unsigned char>(((v[2] & 0x03) << 6) | v[3]),
        };
        const std::size_t take = std::min<std::size_t>(wanted, 3);
        out.append(reinterpret_cast<const char*>(bytes), take);
        wanted -= take;
    }
    return 1;
}

int uuencode(const void* bytes, std::size_t count, std::string& out, std::size_t out_size, int line)
{
    out.clear();
    const unsigned char* in = static_cast<const unsigned char*>(bytes);
    if (!in)
        count = 0;
    std::string whole;
    std::vector<std::size_t> starts;
    std::size_t pos = 0;
    while (pos < count) {
        const std::size_t take = std::min(count - pos, kLineBytes);
        // The line's characters and a terminating zero must fit.
        if (whole.size() + 1 + (take + 2) / 3 * 4 + 1 > out_size)
            return -1;
        starts.push_back(whole.size());
        pos += uuencode_line(in + pos, take, whole);
    }
    return b64_select_chunk(whole, starts, out, line);
}

int uudecode(const char* text, std::size_t length, std::string& out, std::size_t out_size, int line)
{
    out.clear();
    if (!text)
        length = 0;
    std::string whole;
    std::vector<std::size_t> starts;
    std::size_t pos = 0;
    while (pos < length) {
        const std::size_t line_start = whole.size();
        const std::size_t before = pos;
        const int complete = uudecode_line(text, length, pos, whole);
        if (whole.size() > out_size)
            return -1;
        if (complete || whole.size() > line_start)
            starts.push_back(line_start);
        if (!complete || pos == before)
            break;
    }
    return b64_select_chunk(whole, starts, out, line);
}

// ---------------------------------------------------------------------------
// Identifier values
// ---------------------------------------------------------------------------

int id_isutf_value(const std::vector<std::string>& args, std::string& value)
{
    value.clear();
    if (args.size() != 1)
        return kErrInvalidParameter;
    value = std::to_string(utf8_detect(std::string_view(args[0])));
    return 0;
}

int id_utf_value(std::optional<int> window_codepage, const std::vector<std::string>& args, bool decode,
                 std::string& value)
{
    value.clear();
    if (args.empty() || args.size() > 2)
        return kErrInvalidParameter;
    if (decode && encode_decode_locked_hook && encode_decode_locked_hook())
        return kErrLocked;

    std::string text = args[0];
    int charset = 1; // the default charset: the system code page
    int codepage;
    if (args.size() == 2) {
        charset = clamp_to_int(number_arg(args[1]));
        codepage = charset < 0 ? -1 : charset_codepage_of(charset);
    } else {
        codepage = window_codepage ? *window_codepage : charset_codepage_of(charset);
    }

    if (decode) {
        if (utf8_to_charset(codepage, text) != 0)
            return kErrInvalidParameter;
    } else {
        if (charset_to_utf8(codepage, text) != 0 || utf8_detect(std::string_view(text)) == 0)
            return kErrInvalidParameter;
    }
    value.swap(text);
    return 0;
}

namespace {

int run_codec(bool decode, bool base64, const std::string& input, std::string& out, std::size_t out_size,
              int line)
{
    if (decode)
        return base64 ? b64_decode(input.data(), input.size(), out, out_size, line)
                      : uudecode(input.data(), input.size(), out, out_size, line);
    return base64 ? b64_encode(input.data(), input.size(), out, out_size, line)
                  : uuencode(input.data(), input.size(), out, out_size, line);
}

} // namespace

int id_encode_value(const std::vector<std::string>& args, bool decode, std::string& value, std::string* bytes)
{
    value.clear();
    if (args.empty() || args.size() > 3)
        return kErrInvalidParameter;
    if (decode && encode_decode_locked_hook && encode_decode_locked_hook())
        return kErrLocked;

    bool base64 = false, binary = false;
    if (args.size() >= 2)
        for (char c : args[1]) {
            if (c == 'm' || c == 'M')
                base64 = true;
            else if (c == 'b' || c == 'B')
                binary = true;
        }
    const int line = args.size() == 3 ? clamp_to_int(number_arg(args[2])) : -1;

    try {
        if (!binary) {
            const std::string input = args[0].substr(0, kLongText);
            std::string out;
            if (run_codec(decode, base64, input, out, kLongText, line) < 0)
                return kErrTooLong;
            if (decode && line != 0) {
                const std::size_t zero = out.find('\0');
                if (zero != std::string::npos)
                    out.resize(zero);
            }
            value.swap(out);
            return 0;
        }

        if (!bytes)
            return kErrInvalidParameter;
        // Encoding grows the data: the work area is twice the byte count, at
        // least 100 bytes. Decoding only shrinks it.
        const std::size_t area = decode ? bytes->size() : std::max<std::size_t>(bytes->size() * 2, 100);
        std::string out;
        const int result = run_codec(decode, base64, *bytes, out, area, line);
        if (result < 0)
            return kErrTooLong;
        if (line == 0) {
            value = std::to_string(result);
            return 0;
        }
        value = std::to_string(out.size());
        bytes->swap(out);
        return 0;
    } catch (const std::bad_alloc&) {
        value.clear();
        return kErrNoMemory;
    }
}

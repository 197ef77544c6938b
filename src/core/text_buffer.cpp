#include "core/text_buffer.h"

#include <climits>
#include <cstdlib>
#include <cstring>

#include "core/color_code.h"
#include "core/encodings.h"
#include "core/main_settings.h"

int strip_setting_flags = 0;
int strip_setting_over_only = 0;
int strip_setting_over_count = 50;
int lang_setting_utf = 1;
int lang_setting_multibyte = 0;

// The lead bytes of the double-byte code sets: 0x81..0x9F and 0xE0..0xFC in
// Shift-JIS, 0x81..0xFE in the others (GBK, Big5, the Korean set).
bool text_mbcs_lead_byte(unsigned char byte)
{
    if (main_settings.lang_sjis)
        return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
    return byte >= 0x81 && byte <= 0xFE;
}

namespace {

constexpr bool kUnbounded(std::size_t declared_size)
{
    return declared_size <= 10;
}

inline unsigned char fold(unsigned char c)
{
    return static_cast<unsigned char>(text_lower_char(static_cast<char>(c)));
}

inline bool equal_nocase_at(std::string_view text, std::size_t pos, std::string_view pattern)
{
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        if (fold(static_cast<unsigned char>(text[pos + i])) !=
            fold(static_cast<unsigned char>(pattern[i])))
            return false;
    }
    return true;
}

// Length of the well-formed multibyte character at pos, or 0 when there is
// none there (a 7-bit byte or a broken sequence).
std::size_t utf8_char_length_at(std::string_view text, std::size_t pos)
{
    const int len = utf8_sequence_at(text, pos);
    return len > 1 ? static_cast<std::size_t>(len) : 0;
}

bool is_code_byte(unsigned char c)
{
    return c == 0x02 || c == 0x03 || c == 0x09 || c == 0x0F || c == 0x16 || c == 0x1F;
}

// Walks the text once. With `apply` the kept bytes are moved down over the
// removed ones; without it the codes are only counted.
int strip_walk(std::string& text, int code_set, bool apply)
{
    const bool strip_plain = (code_set == 15 || code_set == 31);
    const bool utf = lang_setting_utf != 0 && utf8_detect(std::string_view(text)) == 2;
    const bool mbcs = lang_setting_multibyte != 0;

    const std::size_t n = text.size();
    std::size_t out = 0;
    std::size_t pos = 0;
    int removed = 0;
    auto keep = [&](std::size_t count) {
        if (apply && out != pos)
            std::memmove(&text[out], &text[pos], count);
        out += count;
        pos += count;
    };

    while (pos < n) {
        const unsigned char c = static_cast<unsigned char>(text[pos]);
        if (utf && c >= 0x80) {
            const std::size_t len = utf8_char_length_at(text, pos);
            keep(len ? len : 1);
            continue;
        }
        if (mbcs && c >= 0x80 && text_mbcs_lead_byte(c)) {
            keep(pos + 1 < n ? 2 : 1);
            continue;
        }
        std::size_t code_len = 0;
        switch (c) {
        case 0x02:
            code_len = (code_set & kStripBold) ? 1 : 0;
            break;
        case 0x1F:
            code_len = (code_set & kStripUnderline) ? 1 : 0;
            break;
        case 0x16:
            code_len = (code_set & kStripReverse) ? 1 : 0;
            break;
        case 0x09:
            code_len = (code_set & kStripTab) ? 1 : 0;
            break;
        case 0x0F:
            code_len = strip_plain ? 1 : 0;
            break;
        case 0x03:
            if (code_set & kStripColour) {
                const int digits = color_code_parse(std::string_view(text).substr(pos),
                                                    nullptr, nullptr, 0, 0);
                code_len = 1 + static_cast<std::size_t>(digits);
            }
            break;
        default:
            break;
        }
        if (code_len == 0) {
            keep(1);
            continue;
        }
        ++removed;
        pos += code_len;
    }
    if (apply)
        text.resize(out);
    return removed;
}

} // namespace


// ---------------------------------------------------------------------------

void buf_clear(std::string& buf, std::size_t /*declared_size*/)
{
    buf.clear();
}

std::size_t buf_text_capacity(std::size_t declared_size)
{
    switch (declared_size) {
    case 0:
        return 0;
    case kShortText:
    case kShortTextSize:
        return kShortText;
    case kMediumText:
    case kMediumTextSize:
        return kMediumText;
    case kLongText:
    case kLongTextSize:
        return kLongText;
    default:
        return declared_size - 1;
    }
}

std::size_t buf_copy(std::string& buf, std::size_t declared_size, std::string_view text)
{
    if (!kUnbounded(declared_size)) {
        const std::size_t cap = buf_text_capacity(declared_size);
        if (text.size() > cap)
            text = text.substr(0, cap);
    }
    buf.assign(text.data(), text.size());
    return buf.size();
}

std::size_t buf_copy(std::string& buf, std::size_t declared_size, const char* text)
{
    if (!text) {
        buf.clear();
        return 0;
    }
    if (!kUnbounded(declared_size)) {
        // Never read further than the capacity, even on unterminated input.
        const std::size_t cap = buf_text_capacity(declared_size);
        return buf_copy(buf, declared_size, std::string_view(text, strnlen(text, cap)));
    }
    return buf_copy(buf, declared_size, std::string_view(text));
}

std::size_t buf_append(std::string& buf, std::size_t declared_size, std::string_view text)
{
    if (kUnbounded(declared_size)) {
        buf.append(text.data(), text.size());
        return buf.size();
    }
    const std::size_t cap = buf_text_capacity(declared_size);
    if (buf.size() > cap)
        buf.resize(cap);
    const std::size_t room = cap - buf.size();
    if (text.size() > room)
        text = text.substr(0, room);
    buf.append(text.data(), text.size());
    return buf.size();
}

std::size_t buf_append(std::string& buf, std::size_t declared_size, const char* text)
{
    if (!text) {
        if (!kUnbounded(declared_size)) {
            const std::size_t cap = buf_text_capacity(declared_size);
            if (buf.size() > cap)
                buf.resize(cap);
        }
        return buf.size();
    }
    if (!kUnbounded(declared_size)) {
        const std::size_t cap = buf_text_capacity(declared_size);
        return buf_append(buf, declared_size, std::string_view(text, strnlen(text, cap)));
    }
    return buf_append(buf, declared_size, std::string_view(text));
}

std::size_t buf_truncate(std::string& buf, std::size_t declared_size, std::size_t n)
{
    std::size_t keep = n;
    if (!kUnbounded(declared_size)) {
        const std::size_t cap = buf_text_capacity(declared_size);
        if (cap < keep)
            keep = cap;
    }
    if (keep < buf.size())
        buf.resize(keep);
    return buf.size();
}

// ---------------------------------------------------------------------------

void text_lower(std::string& text)
{
    for (char& c : text)
        c = text_lower_char(c);
}

std::string text_lower_copy(std::string_view text)
{
    std::string out(text);
    text_lower(out);
    return out;
}

bool text_equal_nocase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && equal_nocase_at(a, 0, b);
}

int text_compare_nocase(std::string_view a, std::string_view b)
{
    const std::size_t n = a.size() < b.size() ? a.size() : b.size();
    for (std::size_t i = 0; i < n; ++i) {
        const unsigned char ca = fold(static_cast<unsigned char>(a[i]));
        const unsigned char cb = fold(static_cast<unsigned char>(b[i]));
        if (ca != cb)
            return ca < cb ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

std::string text_first_word_of(std::string_view text)
{
    const std::size_t start = text.find_first_not_of(' ');
    if (start == std::string_view::npos)
        return std::string();
    const std::size_t end = text.find(' ', start);
    return std::string(text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
}

bool text_is_digits(std::string_view text)
{
    return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
}

bool text_is_integer(std::string_view text)
{
    if (!text.empty() && (text[0] == '-' || text[0] == '+'))
        text.remove_prefix(1);
    return text_is_digits(text);
}

int text_to_int_clamped(const std::string& text)
{
    const long long v = std::strtoll(text.c_str(), nullptr, 10);
    if (v > INT_MAX)
        return INT_MAX;
    if (v < INT_MIN)
        return INT_MIN;
    return static_cast<int>(v);
}

std::string text_trim_blanks(const std::string& text)
{
    const std::size_t start = text.find_first_not_of(' ');
    if (start == std::string::npos)
        return std::string();
    const std::size_t end = text.find_last_not_of(' ');
    return text.substr(start, end - start + 1);
}

bool text_starts_with_nocase(std::string_view text, std::string_view prefix)
{
    return text.size() >= prefix.size() && equal_nocase_at(text, 0, prefix);
}

std::string_view text_skip_blanks(std::string_view text)
{
    return text.substr(text_skip_blanks(text, 0));
}

std::size_t text_skip_blanks(std::string_view text, std::size_t from)
{
    while (from < text.size() && text[from] == ' ')
        ++from;
    return from;
}

// ---------------------------------------------------------------------------

std::size_t text_find_nocase(std::string_view text, std::string_view pattern, std::size_t from)
{
    if (pattern.empty() || from > text.size() || text.size() - from < pattern.size())
        return std::string_view::npos;
    const unsigned char first = static_cast<unsigned char>(pattern[0]);
    const unsigned char lower = fold(first);
    const unsigned char upper =
        (lower >= 'a' && lower <= 'z') ? static_cast<unsigned char>(lower - ('a' - 'A')) : first;
    const std::size_t last = text.size() - pattern.size();
    for (std::size_t pos = from; pos <= last; ++pos) {
        const unsigned char c = static_cast<unsigned char>(text[pos]);
        if (c != lower && c != upper)
            continue;
        if (equal_nocase_at(text, pos + 1, pattern.substr(1)))
            return pos;
    }
    return std::string_view::npos;
}

const char* text_find_nocase(const char* text, const char* pattern)
{
    if (!text || !pattern || !*pattern)
        return nullptr;
    const std::size_t pos = text_find_nocase(std::string_view(text), std::string_view(pattern));
    return pos == std::string_view::npos ? nullptr : text + pos;
}

std::size_t text_ends_with_nocase(std::string_view text, std::string_view pattern)
{
    // Any occurrence that ends the text is the last one found by searching
    // occurrence after occurrence, so the suffix is tested directly.
    if (pattern.empty() || pattern.size() > text.size())
        return std::string_view::npos;
    const std::size_t pos = text.size() - pattern.size();
    return equal_nocase_at(text, pos, pattern) ? pos : std::string_view::npos;
}

const char* text_ends_with_nocase(const char* text, const char* pattern)
{
    if (!text || !pattern || !*pattern)
        return nullptr;
    const std::size_t pos = text_ends_with_nocase(std::string_view(text), std::string_view(pattern));
    return pos == std::string_view::npos ? nullptr : text + pos;
}

// ---------------------------------------------------------------------------

int text_strip_codes(std::string& text, int code_set)
{
    if (text.empty())
        return 0;
    if (code_set < 0) {
        code_set = strip_setting_flags;
        if (code_set <= 0)
            return 0;
        if (strip_setting_over_only) {
            const int count = strip_walk(text, code_set, false);
            if (count <= strip_setting_over_count)
                return 0;
        }
    }
    if (code_set == 0)
        return 0;
    return strip_walk(text, code_set, true);
}

int text_has_codes(std::string_view text, int multibyte_flag)
{
    const bool mbcs = lang_setting_multibyte != 0;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const unsigned char c = static_cast<unsigned char>(text[pos]);
        if (c >= 0x80) {
            if (multibyte_flag) {
                const std::size_t len = utf8_char_length_at(text, pos);
                if (len) {
                    pos += len;
                    continue;
                }
            }
            if (mbcs && text_mbcs_lead_byte(c)) {
                pos += 2;
                continue;
            }
            ++pos;
            continue;
        }
        if (is_code_byte(c))
            return 1;
        ++pos;
    }
    return 0;
}

// ---------------------------------------------------------------------------

void text_remove_char(std::string& text, char c)
{
    if (c == '\0')
        return;
    std::size_t out = 0;
    for (char ch : text)
        if (ch != c)
            text[out++] = ch;
    text.resize(out);
}

void text_remove_chars(std::string& text, std::string_view set)
{
    if (set.empty())
        return;
    bool in_set[256] = {};
    for (char ch : set)
        in_set[static_cast<unsigned char>(ch)] = true;
    std::size_t out = 0;
    for (char ch : text)
        if (!in_set[static_cast<unsigned char>(ch)])
            text[out++] = ch;
    text.resize(out);
}

void text_add_quotes(std::string& text)
{
    if (text.empty()) {
        text = "\"\"";
        return;
    }
    if (text.front() != '"')
        text.insert(text.begin(), '"');
    if (text.back() != '"')
        text.push_back('"');
}

void text_strip_quotes(std::string& text)
{
    if (!text.empty() && text.front() == '"') {
        std::size_t skip = 1;
        while (skip < text.size() && text[skip] == ' ')
            ++skip;
        text.erase(0, skip);
    }
    if (!text.empty() && text.back() == '"')
        text.pop_back();
}

void text_collapse_char(std::string& text, char c)
{
    std::size_t out = 0;
    bool pending = false; // a run of c seen after kept text
    for (char ch : text) {
        if (ch == c) {
            if (out > 0)
                pending = true;
            continue;
        }
        if (pending) {
            text[out++] = c;
            pending = false;
        }
        text[out++] = ch;
    }
    text.resize(out);
}

void text_squeeze_char(std::string& text, char c)
{
    std::size_t out = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == c && out > 0 && text[out - 1] == c)
            continue;
        text[out++] = text[i];
    }
    text.resize(out);
}

void text_trim_left_char(std::string& text, char c)
{
    std::size_t skip = 0;
    while (skip < text.size() && text[skip] == c)
        ++skip;
    text.erase(0, skip);
}

int text_trim_right_char(std::string& text, char c)
{
    if (text.empty())
        return 0;
    std::size_t len = text.size();
    while (len > 0 && text[len - 1] == c)
        --len;
    text.resize(len);
    return static_cast<int>(len) - 1;
}

void text_first_word(std::string& text)
{
    std::size_t start = 0;
    while (start < text.size() && text[start] == ' ')
        ++start;
    std::size_t end = text.find(' ', start);
    if (end == std::string::npos)
        end = text.size();
    text = text.substr(start, end - start);
}

void text_collapse_plain_pairs(std::string& text)
{
    std::size_t out = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\x0F' && out > 0 && text[out - 1] == '\x0F')
            continue;
        text[out++] = text[i];
    }
    text.resize(out);
}

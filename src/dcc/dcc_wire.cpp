#include "dcc/dcc_wire.h"

#include <cctype>
#include <cstdio>
#include <limits>
#include <vector>

#include "core/files.h"

namespace {

bool equal_nocase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

// Words cut at blanks, a run of blanks counting once; at most kDccMaxWords.
std::vector<std::string_view> split_words(std::string_view text)
{
    std::vector<std::string_view> words;
    std::size_t i = 0;
    while (i < text.size() && static_cast<int>(words.size()) < kDccMaxWords) {
        while (i < text.size() && text[i] == ' ')
            ++i;
        if (i >= text.size())
            break;
        std::size_t end = text.find(' ', i);
        if (end == std::string_view::npos)
            end = text.size();
        words.push_back(text.substr(i, end - i));
        i = end;
    }
    return words;
}

// The name from word 2 on; `last` receives the last word it used. False for
// a missing word, an unclosed quote or a name too long.
bool read_name(const std::vector<std::string_view>& words, std::string& name, std::size_t& last)
{
    if (words.size() < 3)
        return false;
    std::string_view first = words[2];
    std::size_t quote = first.find('"');
    if (quote == std::string_view::npos) {
        if (first.size() > kDccNameMax)
            return false;
        name.assign(first);
        last = 2;
        return true;
    }
    name.clear();
    std::string_view rest = first.substr(quote + 1);
    for (std::size_t w = 2; w < words.size() && w <= static_cast<std::size_t>(kDccQuoteLastWord); ++w) {
        if (w > 2) {
            rest = words[w];
            name += ' ';
        }
        std::size_t close = rest.find('"');
        name.append(rest.substr(0, close));
        if (name.size() > kDccNameMax)
            break;
        if (close != std::string_view::npos) {
            last = w;
            return true;
        }
    }
    name.clear();
    return false;
}

bool parse_uint(std::string_view word, std::uint64_t limit, std::uint64_t& out)
{
    if (word.empty() || word.size() > 20)
        return false;
    std::uint64_t v = 0;
    for (char c : word) {
        if (c < '0' || c > '9')
            return false;
        v = v * 10 + static_cast<unsigned>(c - '0');
        if (v > limit)
            return false;
    }
    out = v;
    return true;
}

bool parse_token(std::string_view word, int& out)
{
    bool negative = !word.empty() && word[0] == '-';
    std::uint64_t v = 0;
    if (!parse_uint(negative ? word.substr(1) : word, 2147483647u, v))
        return false;
    out = negative ? -static_cast<int>(v) : static_cast<int>(v);
    return true;
}

}  // namespace

bool dcc_parse_size(std::string_view word, std::int64_t& out)
{
    std::size_t dot = word.find('.');
    std::string_view whole = word.substr(0, dot);
    if (dot != std::string_view::npos) {
        std::string_view frac = word.substr(dot + 1);
        for (char c : frac)
            if (c < '0' || c > '9')
                return false;
        if (whole.empty() && frac.empty())
            return false;
        if (whole.empty()) {
            out = 0;
            return true;
        }
    }
    std::uint64_t v = 0;
    if (!parse_uint(whole, static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()), v))
        return false;
    out = static_cast<std::int64_t>(v);
    return true;
}

std::string dcc_safe_name(std::string_view offered)
{
    std::size_t cut = offered.find_last_of("/\\");
    std::string name(cut == std::string_view::npos ? offered : offered.substr(cut + 1));
    for (char& c : name) {
        unsigned char u = static_cast<unsigned char>(c);
        if (u < 32 || u == 127 || std::string_view("\\/:*?\"<>|^").find(c) != std::string_view::npos)
            c = '_';
    }
    // No hidden files and no "." or ".." parts.
    if (!name.empty() && name[0] == '.')
        name[0] = '_';
    // Trailing blanks and dots are lost by some file systems: drop them.
    while (!name.empty() && (name.back() == ' ' || name.back() == '.'))
        name.pop_back();
    return name;
}

std::string dcc_address_text(std::uint32_t a)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%u.%u.%u.%u", (a >> 24) & 255u, (a >> 16) & 255u, (a >> 8) & 255u, a & 255u);
    return buf;
}

DccOffer dcc_parse_offer(std::string_view text)
{
    DccOffer o;
    std::vector<std::string_view> words = split_words(text);
    if (words.size() < 2 || !equal_nocase(words[0], "DCC"))
        return o;
    if (equal_nocase(words[1], "SEND") || equal_nocase(words[1], "TSEND"))
        o.kind = kDccOfferSend;
    else if (equal_nocase(words[1], "RESUME"))
        o.kind = kDccOfferResume;
    else if (equal_nocase(words[1], "ACCEPT"))
        o.kind = kDccOfferAccept;
    else
        return o;

    std::size_t last = 0;
    if (!read_name(words, o.offered_name, last)) {
        o.fault = kDccOfferMalformed;
        return o;
    }
    auto word = [&](std::size_t k) -> std::string_view {
        return last + k < words.size() ? words[last + k] : std::string_view();
    };
    auto present = [&](std::size_t k) { return last + k < words.size(); };

    if (o.kind == kDccOfferSend) {
        if (!present(1) || !present(2)) {
            o.fault = kDccOfferMalformed;
            return o;
        }
        o.file = dcc_safe_name(o.offered_name);
        if (o.file.empty() || file_is_device(o.file)) {
            o.fault = kDccOfferBadName;
            return o;
        }
        std::uint64_t address = 0, port = 0;
        if (!parse_uint(word(1), 4294967295u, address)) {
            o.fault = kDccOfferMalformed;
            return o;
        }
        o.address = static_cast<std::uint32_t>(address);
        o.address_text = dcc_address_text(o.address);
        if (!parse_uint(word(2), 65535u, port) || port == 19) {
            o.fault = kDccOfferBadPort;
            return o;
        }
        o.port = static_cast<int>(port);
        if (present(3) && !dcc_parse_size(word(3), o.size)) {
            o.fault = kDccOfferBadSize;
            return o;
        }
        if (present(3) && present(4) && !parse_token(word(4), o.token)) {
            o.fault = kDccOfferMalformed;
            return o;
        }
        if (o.port == 0 && o.token == 0) {
            o.fault = kDccOfferBadPort;
            return o;
        }
        return o;
    }

    // RESUME and ACCEPT: name, port, position, optional token.
    std::uint64_t port = 0;
    if (!present(1) || !present(2)) {
        o.fault = kDccOfferMalformed;
        return o;
    }
    if (!parse_uint(word(1), 65535u, port)) {
        o.fault = kDccOfferBadPort;
        return o;
    }
    o.port = static_cast<int>(port);
    if (!dcc_parse_size(word(2), o.size)) {
        o.fault = kDccOfferBadSize;
        return o;
    }
    if (present(3) && !parse_token(word(3), o.token))
        o.fault = kDccOfferMalformed;
    return o;
}

std::string dcc_offer_name(const std::string& file, bool underscores)
{
    std::string name = file;
    if (underscores) {
        for (char& c : name)
            if (c == ' ')
                c = '_';
        return name;
    }
    if (name.find(' ') != std::string::npos)
        return "\"" + name + "\"";
    return name;
}

std::string dcc_send_offer_text(const std::string& name, std::uint32_t address, int port, std::int64_t size,
                                int token)
{
    std::string text = "DCC SEND " + name + " " + std::to_string(address) + " " + std::to_string(port) + " " +
                       std::to_string(size < 0 ? 0 : size);
    if (token)
        text += " " + std::to_string(token);
    return text;
}

std::string dcc_resume_text(const char* word, const std::string& name, int port, std::int64_t position, int token)
{
    std::string text = std::string("DCC ") + word + " \"" + name + "\" " + std::to_string(port) + " " +
                       std::to_string(position < 0 ? 0 : position);
    if (token)
        text += " " + std::to_string(token);
    return text;
}

int dcc_ack_width(std::int64_t size)
{
    return size > 4294967295LL ? 8 : 4;
}

void dcc_ack_encode(std::int64_t value, int width, unsigned char* out)
{
    std::uint64_t v = static_cast<std::uint64_t>(value);
    for (int i = width - 1; i >= 0; --i) {
        out[i] = static_cast<unsigned char>(v & 255u);
        v >>= 8;
    }
}

int DccAckReader::feed(const char* data, std::size_t length, std::int64_t& last)
{
    int words = 0;
    const int w = width == 8 ? 8 : 4;
    for (std::size_t i = 0; i < length; ++i) {
        part[have++] = static_cast<unsigned char>(data[i]);
        if (have < w)
            continue;
        std::uint64_t v = 0;
        for (int k = 0; k < w; ++k)
            v = (v << 8) | part[k];
        last = w == 8 ? static_cast<std::int64_t>(v) : static_cast<std::int64_t>(v & 0xFFFFFFFFu);
        have = 0;
        ++words;
    }
    return words;
}

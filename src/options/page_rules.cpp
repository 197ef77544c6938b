#include "options/page_rules.h"

#include "core/text_buffer.h"

namespace {

bool is_blank(char c)
{
    return c == ' ' || c == '\t';
}

} // namespace

long long page_number(const std::string& text)
{
    std::size_t i = 0;
    while (i < text.size() && is_blank(text[i]))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
        negative = text[i] == '-';
        ++i;
    }
    long long v = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        if (v > 100000000000LL)
            break;  // far past every bound these pages apply
        v = v * 10 + (text[i] - '0');
    }
    return negative ? -v : v;
}

std::string page_default_port(const std::string& typed)
{
    std::string t;
    for (char c : typed)
        if (!is_blank(c))
            t += c;
    const long long v = page_number(t);
    if (v > 0 && v <= 65535)
        return (t[0] == '+' ? "+" : "") + std::to_string(v);
    return "6667";
}

std::string page_first_word(const std::string& text)
{
    std::size_t a = 0;
    while (a < text.size() && is_blank(text[a]))
        ++a;
    std::size_t b = a;
    while (b < text.size() && !is_blank(text[b]))
        ++b;
    return text.substr(a, b - a);
}

std::string page_email(const std::string& typed)
{
    std::string t = typed;
    text_strip_codes(t, kStripBold | kStripUnderline | kStripReverse | kStripColour);
    return page_first_word(t);
}

std::string page_timestamp_format(const std::string& typed)
{
    std::string out;
    for (char c : typed) {
        if (c == ' ' && !out.empty() && out.back() == ' ')
            continue;
        out += c;
    }
    if (out.empty() || out == " ")
        return "[HH:nn]";
    return out;
}

std::vector<std::string> page_firewall_masks(const std::string& typed)
{
    std::vector<std::string> masks;
    std::string piece;
    const std::string t = typed.substr(0, kFirewallMasksMax);
    for (char c : t) {
        if (c == '\r' || c == '\n' || c == ' ' || c == ',' || c == '\t') {
            if (!piece.empty())
                masks.push_back(piece);
            piece.clear();
        } else {
            piece += c;
        }
    }
    if (!piece.empty())
        masks.push_back(piece);
    return masks;
}

std::string page_firewall_masks_text(const std::string& stored)
{
    std::string out;
    for (const std::string& m : page_firewall_masks(stored)) {
        if (!out.empty())
            out += "\n";
        out += m;
    }
    return out;
}

std::uint32_t page_parse_ipv4(const std::string& text, bool* ok)
{
    *ok = false;
    std::uint32_t addr = 0;
    std::size_t i = 0;
    for (int part = 0; part < 4; ++part) {
        if (part > 0) {
            if (i >= text.size() || text[i] != '.')
                return 0;
            ++i;
        }
        std::size_t start = i;
        unsigned v = 0;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9' && i - start < 3)
            v = v * 10 + static_cast<unsigned>(text[i++] - '0');
        if (i == start || v > 255)
            return 0;
        addr = (addr << 8) | v;
    }
    if (i != text.size())
        return 0;
    *ok = true;
    return addr;
}

int page_flood_bytes(long long v)
{
    if (v < 100)
        return 100;
    if (v > 999)
        return 999;
    return static_cast<int>(v);
}

int page_at_least(long long v, int low)
{
    if (v < low)
        return low;
    if (v > 1000000000LL)
        return 1000000000;
    return static_cast<int>(v);
}

int page_port_or(long long v, int zero)
{
    if (v <= 0 || v > 65535)
        return zero;
    return static_cast<int>(v);
}

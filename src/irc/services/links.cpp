#include "irc/services/links.h"

#include <cctype>

#include "core/string_list.h"
#include "core/text_buffer.h"
#include "core/wildcard.h"
#include "model/colors.h"

namespace {

constexpr std::uint32_t kDepthColours[5] = {kColorNormalText, kColorInfoText, kColorInfo2Text, kColorCtcpText,
                                            kColorOtherText};

struct Entry {
    std::string server, uplink, rest;
    bool has_comma = false;
};

Entry split(const std::string& text)
{
    Entry e;
    std::size_t c1 = text.find(',');
    if (c1 == std::string::npos)
        return e;
    e.has_comma = true;
    e.server = text.substr(0, c1);
    std::size_t c2 = text.find(',', c1 + 1);
    e.uplink = text.substr(c1 + 1, c2 == std::string::npos ? std::string::npos : c2 - c1 - 1);
    if (c2 != std::string::npos)
        e.rest = text.substr(c2 + 1);
    return e;
}

std::string line_of(const Entry& e, int depth, bool has_third)
{
    std::string line(static_cast<std::size_t>(depth), '\t');
    if (!has_third)
        return line + e.server;
    std::size_t blank = e.rest.find(' ');
    std::string hops = e.rest.substr(0, blank);
    std::string info = blank == std::string::npos ? std::string() : e.rest.substr(blank + 1);
    line += e.server + " (" + hops + ")";
    if (!info.empty())
        line += " " + info;
    return line;
}

void lay_out(StringNode*& list, StringNode* node, int depth, std::vector<LinkLine>& out)
{
    const std::string text = node->text;
    list = strlist_remove(list, node);
    Entry e = split(text);
    if (!e.has_comma)
        return;
    const bool has_third = text.find(',', text.find(',') + 1) != std::string::npos;
    out.push_back(LinkLine{line_of(e, depth, has_third), depth, kDepthColours[depth % 5]});
    if (depth + 1 >= kLinksMaxDepth)
        return;
    // Children: every remaining entry whose uplink the server matches; the
    // walk starts over after each.
    for (;;) {
        StringNode* child = nullptr;
        for (StringNode* n = list; n; n = n->next) {
            Entry c = split(n->text);
            if (!c.has_comma)
                break;
            if (wild_match(e.server, c.uplink, 0, 1)) {
                child = n;
                break;
            }
        }
        if (!child)
            return;
        lay_out(list, child, depth + 1, out);
    }
}

std::string after_tabs(const std::string& line)
{
    std::size_t i = 0;
    while (i < line.size() && line[i] == '\t')
        ++i;
    return line.substr(i);
}

} // namespace

std::vector<LinkLine> links_layout(StringNode*& list)
{
    std::vector<LinkLine> out;
    StringNode* root = nullptr;
    for (StringNode* n = list; n && !root; n = n->next) {
        Entry e = split(n->text);
        if (e.has_comma && text_equal_nocase(e.server, e.uplink))
            root = n;
    }
    if (root)
        lay_out(list, root, 0, out);
    while (list)
        lay_out(list, list, 0, out);
    return out;
}

std::string link_line_field(const std::string& line, int which)
{
    std::string t = line;
    std::size_t i = 0;
    while (i < t.size() && (t[i] == '\t' || t[i] == ' '))
        ++i;
    t = t.substr(i);
    auto between = [&t](char open, char close) {
        std::size_t a = t.find(open);
        if (a == std::string::npos)
            return std::string();
        std::size_t b = t.find(close, a + 1);
        return b == std::string::npos ? std::string() : t.substr(a + 1, b - a - 1);
    };
    switch (which) {
    case 0: {
        std::size_t blank = t.find(' ');
        return blank == std::string::npos ? std::string() : t.substr(0, blank);
    }
    case 1: {
        std::string s = between('[', ']');
        return s.find('.') != std::string::npos && !s.empty() && std::isdigit(static_cast<unsigned char>(s[0])) &&
                       s[0] != '0'
                   ? s
                   : std::string();
    }
    case 2: {
        std::string s = between('(', ')');
        return !s.empty() && std::isdigit(static_cast<unsigned char>(s[0])) ? s : std::string();
    }
    case 3: {
        std::size_t p = t.find(']');
        if (p == std::string::npos)
            p = t.find(')');
        if (p == std::string::npos)
            return std::string();
        std::string s = t.substr(p + 1);
        while (!s.empty() && s[0] == ' ')
            s.erase(0, 1);
        return s;
    }
    default:
        return std::string();
    }
}

std::string links_dblclick_command(const std::string& line, bool shift, bool* masked)
{
    if (masked)
        *masked = false;
    const std::string body = after_tabs(line);
    if (body.empty())
        return std::string();
    const std::string prefix = shift ? "/!.server -m " : "/!.server ";
    std::size_t a = body.find('[');
    std::size_t b = a == std::string::npos ? std::string::npos : body.find(']', a + 1);
    if (b != std::string::npos) {
        std::string inside = body.substr(a + 1, b - a - 1);
        if (!inside.empty() && inside.find('.') != std::string::npos) {
            if (std::isdigit(static_cast<unsigned char>(inside[0])) && inside[0] != '0')
                return prefix + inside;
            if (body[0] == '*')
                return prefix + inside;
        }
    }
    if (body[0] == '*') {
        if (masked)
            *masked = true;
        return std::string();
    }
    return prefix + body.substr(0, body.find(' '));
}

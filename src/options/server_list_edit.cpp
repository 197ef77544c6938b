#include "options/server_list_edit.h"

#include <algorithm>
#include <cctype>

#include "core/string_list.h"
#include "core/text_buffer.h"
#include "core/text_limits.h"
#include "irc/lists/servers.h"
#include "options/page_rules.h"

namespace {

std::string trim_right(std::string t)
{
    while (!t.empty() && (t.back() == ' ' || t.back() == '\t'))
        t.pop_back();
    return t;
}

bool numeric_group(const std::string& g)
{
    return !g.empty() && std::all_of(g.begin(), g.end(), [](unsigned char c) { return std::isdigit(c); });
}

// 0 "Random Server", 1 "Random" and "server", 2 the rest.
int random_rank(const std::string& description)
{
    if (text_find_nocase(description, "Random Server") != std::string::npos)
        return 0;
    if (text_find_nocase(description, "Random") != std::string::npos &&
        text_find_nocase(description, "server") != std::string::npos)
        return 1;
    return 2;
}

} // namespace

int server_editor_fields(const std::string& entry, ServerEditorFields* out)
{
    *out = ServerEditorFields{};
    if (!entry.empty()) {
        std::string rest = entry;
        std::size_t g = rest.find("GROUP:");
        if (g != std::string::npos) {
            out->group = rest.substr(g + 6);
            rest.erase(g);
        }
        std::size_t s = rest.find("SERVER:");
        if (s == std::string::npos || s + 7 >= rest.size())
            return 0;
        out->description = trim_right(rest.substr(0, s));
        rest.erase(0, s + 7);
        std::size_t c1 = rest.find(':');
        out->server = rest.substr(0, c1);
        if (c1 != std::string::npos) {
            std::size_t c2 = rest.find(':', c1 + 1);
            out->ports = rest.substr(c1 + 1, c2 == std::string::npos ? std::string::npos : c2 - c1 - 1);
            if (c2 != std::string::npos)
                out->password = rest.substr(c2 + 1);
        }
    }
    auto cut = [](std::string& t) { if (t.size() > kPageFieldMax) t.resize(kPageFieldMax); };
    cut(out->description);
    cut(out->server);
    cut(out->ports);
    cut(out->group);
    cut(out->password);
    if (out->ports.empty())
        out->ports = "6667";
    return 1;
}

std::string server_editor_entry(const ServerEditorFields& f, int* first_empty)
{
    const std::string description = trim_right(f.description);
    const std::string server = page_first_word(f.server);
    const std::string ports = page_first_word(f.ports);
    *first_empty = -1;
    if (description.empty())
        *first_empty = 0;
    else if (server.empty())
        *first_empty = 1;
    else if (ports.empty())
        *first_empty = 2;
    if (*first_empty >= 0)
        return std::string();
    std::string text = description + "SERVER:" + server + ":" + ports;
    if (!f.password.empty())
        text += ":" + f.password;
    const std::string group = page_first_word(f.group);
    if (!group.empty())
        text += "GROUP:" + group;
    if (text.size() > kPageLongFieldMax)
        text.resize(kPageLongFieldMax);
    return text;
}

void ServerListEdit::load()
{
    entries.clear();
    for (StringNode* n = servers_list(); n; n = n->next)
        entries.push_back(n->text);
    changed = false;
}

void ServerListEdit::save()
{
    if (!changed)
        return;
    StringNode*& list = servers_list();
    strlist_free(&list);
    for (const std::string& t : entries)
        list = strlist_append(list, std::string_view(t), 0);
    servers_save();
    changed = false;
}

std::vector<ServerTreeRow> ServerListEdit::tree() const
{
    std::vector<ServerTreeRow> rows;
    for (int i = 0; i < static_cast<int>(entries.size()); ++i) {
        const ServerEntry e = servers_parse_entry(entries[i]);
        if (e.group.empty()) {
            ServerTreeRow r;
            r.label = e.description.empty() ? e.host : e.description;
            r.entry = i;
            rows.push_back(r);
            continue;
        }
        auto it = std::find_if(rows.begin(), rows.end(), [&](const ServerTreeRow& r) {
            return r.entry < 0 && text_equal_nocase(r.label, e.group);
        });
        if (it == rows.end()) {
            ServerTreeRow r;
            r.label = e.group;
            rows.push_back(r);
            it = rows.end() - 1;
        }
        it->children.push_back(i);
    }
    return rows;
}

std::vector<std::string> ServerListEdit::group_names() const
{
    std::vector<std::string> names;
    for (const std::string& t : entries) {
        std::string g = servers_parse_entry(t).group;
        if (g.empty() || numeric_group(g) || text_equal_nocase(g, "Random"))
            continue;
        g[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(g[0])));
        if (std::none_of(names.begin(), names.end(), [&](const std::string& n) { return text_equal_nocase(n, g); }))
            names.push_back(g);
    }
    std::sort(names.begin(), names.end(),
              [](const std::string& a, const std::string& b) { return text_compare_nocase(a, b) < 0; });
    return names;
}

int ServerListEdit::put(int index, const std::string& text)
{
    changed = true;
    if (index >= 0 && index < static_cast<int>(entries.size())) {
        entries[index] = text;
        return index;
    }
    entries.push_back(text);
    return static_cast<int>(entries.size()) - 1;
}

void ServerListEdit::remove_entry(int index)
{
    if (index < 0 || index >= static_cast<int>(entries.size()))
        return;
    entries.erase(entries.begin() + index);
    changed = true;
}

void ServerListEdit::remove_group(const std::string& group)
{
    const auto before = entries.size();
    std::erase_if(entries, [&](const std::string& t) {
        return text_equal_nocase(servers_parse_entry(t).group, group);
    });
    if (entries.size() != before)
        changed = true;
}

void ServerListEdit::sort()
{
    std::stable_sort(entries.begin(), entries.end(), [](const std::string& a, const std::string& b) {
        const ServerEntry ea = servers_parse_entry(a);
        const ServerEntry eb = servers_parse_entry(b);
        const bool ga = !ea.group.empty(), gb = !eb.group.empty();
        if (ga != gb)
            return ga;
        if (ga) {
            if (int c = text_compare_nocase(ea.group, eb.group))
                return c < 0;
            const int ra = random_rank(ea.description), rb = random_rank(eb.description);
            if (ra != rb)
                return ra < rb;
        }
        return text_compare_nocase(a, b) < 0;
    });
    changed = true;
}

std::string ServerListEdit::selection_label(int index) const
{
    if (index < 0 || index >= static_cast<int>(entries.size()))
        return std::string();
    const ServerEntry e = servers_parse_entry(entries[index]);
    if (e.group.empty() || text_find_nocase(e.description, e.group) == 0)
        return e.description;
    return e.group + ": " + e.description;
}

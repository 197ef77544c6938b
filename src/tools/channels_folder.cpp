#include "tools/channels_folder.h"

#include <algorithm>

#include "core/ini.h"
#include "core/main_settings.h"
#include "core/string_list.h"
#include "core/text_buffer.h"
#include "core/text_limits.h"
#include "model/connection.h"

namespace {

std::string collapse_blanks(const std::string& text)
{
    std::string out;
    for (char c : text) {
        if (c == ' ' && !out.empty() && out.back() == ' ')
            continue;
        out.push_back(c);
    }
    return out;
}

std::string first_word(const std::string& text)
{
    const std::size_t a = text.find_first_not_of(' ');
    if (a == std::string::npos)
        return std::string();
    return text.substr(a, text.find(' ', a) - a);
}

// Whether a comma list of networks names the connection's network or its
// server group.
bool names_network(const std::string& networks, Connection* conn)
{
    std::size_t pos = 0;
    while (pos <= networks.size()) {
        std::size_t end = networks.find(',', pos);
        if (end == std::string::npos)
            end = networks.size();
        const std::string name = first_word(networks.substr(pos, end - pos));
        if (!name.empty() && ((!conn->network.empty() && text_equal_nocase(name, conn->network)) ||
                              (!conn->live_server[2].empty() && text_equal_nocase(name, conn->live_server[2]))))
            return true;
        pos = end + 1;
    }
    return false;
}

} // namespace

std::string chanfolder_path()
{
    return main_settings.chanfolder_file.empty() ? main_ini_path : main_settings.chanfolder_file;
}

std::string chanfolder_entry_field(std::string_view entry, int field)
{
    if (field < 1 || field > 7)
        return std::string();
    std::size_t pos = 0;
    for (int index = 1; pos <= entry.size(); ++index) {
        while (pos < entry.size() && entry[pos] == ' ')
            ++pos;
        std::string value;
        if (pos < entry.size() && entry[pos] == '"') {
            const std::size_t close = entry.find('"', pos + 1);
            const std::size_t end = close == std::string_view::npos ? entry.size() : close;
            value.assign(entry.substr(pos + 1, end - pos - 1));
            pos = close == std::string_view::npos ? entry.size() : close + 1;
            // Whatever follows the closing quote up to the comma belongs to
            // no field.
            const std::size_t comma = entry.find(',', pos);
            pos = comma == std::string_view::npos ? entry.size() + 1 : comma + 1;
        } else {
            const std::size_t comma = entry.find(',', pos);
            const std::size_t end = comma == std::string_view::npos ? entry.size() : comma;
            value.assign(entry.substr(pos, end - pos));
            pos = comma == std::string_view::npos ? entry.size() + 1 : comma + 1;
        }
        if (index != field)
            continue;
        value = value.substr(0, value.find('"'));
        if (field == 1 || field == 3)
            value = first_word(value);
        if (field == 7)
            value = value.substr(0, value.find('\\'));
        value = collapse_blanks(value);
        if (value.size() > kLongText)
            value.resize(kLongText);
        return value;
    }
    return std::string();
}

StringNode* chanfolder_load()
{
    StringNode* list = ini_read_numbered_list("chanfolder", "n", nullptr, chanfolder_path(), 0);
    int id = 0;
    std::vector<StringNode*> nodes;
    for (StringNode* n = list; n; n = n->next) {
        n->number = ++id;
        nodes.push_back(n);
    }
    std::stable_sort(nodes.begin(), nodes.end(), [](const StringNode* a, const StringNode* b) {
        const std::string fa = chanfolder_entry_field(a->text, 7);
        const std::string fb = chanfolder_entry_field(b->text, 7);
        if (fa.empty() != fb.empty())
            return !fa.empty();
        if (const int c = text_compare_nocase(fa, fb); c != 0)
            return c < 0;
        return text_compare_nocase(chanfolder_entry_field(a->text, 1), chanfolder_entry_field(b->text, 1)) < 0;
    });
    StringNode* sorted = nullptr;
    for (StringNode* n : nodes)
        if (StringNode* h = strlist_append(sorted, std::string_view(n->text), n->number))
            sorted = h;
    strlist_free(&list);
    return sorted;
}

std::string chanfolder_find_key(Connection* conn, const std::string& channel)
{
    if (channel.empty() || !conn_is_live(conn))
        return std::string();
    StringNode* list = ini_read_numbered_list("chanfolder", "n", nullptr, chanfolder_path(), 0);
    std::string key;
    bool found = false;
    for (int pass = 0; pass < 2 && !found; ++pass)
        for (StringNode* n = list; n; n = n->next) {
            if (!text_equal_nocase(chanfolder_entry_field(n->text, 1), channel))
                continue;
            const std::string networks = chanfolder_entry_field(n->text, 4);
            if (pass == 0 ? !names_network(networks, conn) : !networks.empty())
                continue;
            key = chanfolder_entry_field(n->text, 3);
            found = true;
            break;
        }
    strlist_free(&list);
    return key;
}

StringNode* chanfolder_channels()
{
    StringNode* list = chanfolder_load();
    StringNode* names = nullptr;
    for (StringNode* n = list; n; n = n->next) {
        const std::string channel = chanfolder_entry_field(n->text, 1);
        if (!channel.empty())
            if (StringNode* h = strlist_append(names, std::string_view(channel), 0))
                names = h;
    }
    strlist_free(&list);
    return names;
}

#include "irc/lists/servers.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "model/connection.h"
#include "core/ini.h"
#include "core/main_settings.h"
#include "core/string_list.h"
#include "core/text_buffer.h"
#include "core/text_limits.h"
#include "irc/link/connect.h"

namespace {

StringNode* g_list = nullptr;
std::vector<std::string> g_networks;
std::string g_path;
std::filesystem::file_time_type g_time{};
bool g_loaded = false;

const char* const kBuiltInNetworks[] = {"DALnet", "EFnet", "IRCnet", "Quakenet", "Undernet"};

std::mt19937& rng()
{
    static std::mt19937 r{std::random_device{}()};
    return r;
}

std::string trim(const std::string& text)
{
    std::size_t a = text.find_first_not_of(' ');
    if (a == std::string::npos)
        return std::string();
    std::size_t b = text.find_last_not_of(' ');
    return text.substr(a, b - a + 1);
}

std::filesystem::file_time_type write_time(const std::string& path)
{
    std::error_code ec;
    auto t = std::filesystem::last_write_time(path, ec);
    return ec ? std::filesystem::file_time_type{} : t;
}

std::string default_port()
{
    return main_settings.default_port.empty() ? std::string(kDefaultPort) : main_settings.default_port;
}

long number_of(const std::string& text)
{
    if (text.empty() || text.size() > 6 || !text_is_digits(text))
        return -1;
    return std::atol(text.c_str());
}

std::vector<std::string> split_items(const std::string& ports)
{
    std::vector<std::string> items;
    std::size_t start = 0;
    for (;;) {
        std::size_t comma = ports.find(',', start);
        items.push_back(trim(ports.substr(start, comma == std::string::npos ? std::string::npos : comma - start)));
        if (comma == std::string::npos)
            break;
        start = comma + 1;
    }
    return items;
}

std::vector<std::string> read_section(const char* section, int limit)
{
    std::vector<std::string> out;
    StringNode* list = ini_read_numbered_list(section, "n", nullptr, servers_file(), 0);
    for (StringNode* n = list; n && static_cast<int>(out.size()) < limit; n = n->next)
        out.push_back(n->text);
    strlist_free(&list);
    return out;
}

void write_section(const char* section, const std::vector<std::string>& items)
{
    StringNode* list = nullptr;
    for (const std::string& t : items)
        list = strlist_append(list, std::string_view(t), 0);
    if (!list)
        ini_write(section, nullptr, nullptr, servers_file());
    else
        ini_write_numbered_list(list, section, "n", 0, servers_file());
    strlist_free(&list);
    if (g_path == servers_file())
        g_time = write_time(g_path);
}

int success_count(const std::string& item)
{
    std::size_t comma = item.rfind(',');
    if (comma == std::string::npos)
        return -1;
    long v = number_of(item.substr(comma + 1));
    return v < 0 ? -1 : static_cast<int>(v);
}

std::string success_name(const std::string& item)
{
    return item.substr(0, item.rfind(','));
}

} // namespace

// ---- Entries ----

ServerEntry servers_parse_entry(const std::string& text)
{
    ServerEntry e;
    std::string rest = text;
    std::size_t g = rest.find("GROUP:");
    if (g != std::string::npos) {
        e.group = trim(rest.substr(g + 6));
        rest.erase(g);
    }
    std::size_t s = rest.find("SERVER:");
    if (s != std::string::npos) {
        e.description = rest.substr(0, s);
        while (!e.description.empty() && e.description.back() == ' ')
            e.description.pop_back();
        rest.erase(0, s + 7);
    }
    std::size_t c1 = rest.find(':');
    e.host = trim(rest.substr(0, c1));
    if (c1 != std::string::npos) {
        std::size_t c2 = rest.find(':', c1 + 1);
        e.ports = trim(rest.substr(c1 + 1, c2 == std::string::npos ? std::string::npos : c2 - c1 - 1));
        if (c2 != std::string::npos)
            e.password = rest.substr(c2 + 1);
    }
    return e;
}

std::string servers_entry_text(const ServerEntry& e)
{
    std::string text = e.description + "SERVER:" + e.host + ":" + e.ports;
    if (!e.password.empty())
        text += ":" + e.password;
    if (!e.group.empty())
        text += "GROUP:" + e.group;
    return text;
}

// ---- The file ----

std::string servers_file()
{
    if (!main_settings.servers_file.empty())
        return main_settings.servers_file;
    return settings_dir + "servers.ini";
}

void servers_reload()
{
    const std::string path = servers_file();
    auto t = write_time(path);
    if (g_loaded && path == g_path && t == g_time)
        return;
    g_list = ini_read_numbered_list("servers", "n", g_list, path, 1);
    g_networks = read_section("networks", 1000);
    if (g_networks.empty())
        g_networks.assign(std::begin(kBuiltInNetworks), std::end(kBuiltInNetworks));
    g_path = path;
    g_time = t;
    g_loaded = true;
}

void servers_save()
{
    const std::string path = servers_file();
    ini_write_numbered_list(g_list, "servers", "n", 0, path);
    g_path = path;
    g_time = write_time(path);
    g_loaded = true;
}

StringNode*& servers_list()
{
    servers_reload();
    return g_list;
}

std::vector<std::string> servers_networks()
{
    servers_reload();
    return g_networks;
}

std::vector<std::string> servers_group_entries(const std::string& group)
{
    std::vector<std::string> out;
    if (trim(group).empty())
        return out;
    for (StringNode* n = servers_list(); n; n = n->next)
        if (text_equal_nocase(servers_parse_entry(n->text).group, trim(group)))
            out.push_back(n->text);
    return out;
}

std::string servers_group_of_host(const std::string& host)
{
    if (host.empty())
        return std::string();
    for (StringNode* n = servers_list(); n; n = n->next) {
        ServerEntry e = servers_parse_entry(n->text);
        if (!e.group.empty() && text_equal_nocase(e.host, host))
            return e.group.substr(0, kShortText);
    }
    return std::string();
}

// ---- Ports ----

std::string servers_pick_port(const std::string& ports, const std::string& avoid,
                              const std::string& default_port, std::mt19937& r)
{
    std::vector<std::string> items = split_items(ports);
    std::string port = default_port;
    for (int pick = 0; pick < 10; ++pick) {
        const std::string& item = items[r() % items.size()];
        // The item's own "+": an SSL port stays one, a plain one stays plain.
        const bool ssl = !item.empty() && item[0] == '+';
        const std::string body = ssl ? item.substr(1) : item;
        long value = -1;
        std::size_t dash = body.find('-');
        if (dash != std::string::npos) {
            long low = number_of(trim(body.substr(0, dash)));
            long high = number_of(trim(body.substr(dash + 1)));
            if (low >= 0 && high > low)
                value = low + static_cast<long>(r() % static_cast<unsigned long>(high - low + 1));
        } else {
            value = number_of(body);
        }
        port = value > 0 && value < 65536 ? (ssl ? "+" : "") + std::to_string(value) : default_port;
        if (port != avoid)
            break;
    }
    return port;
}

int servers_ports_contain(const std::string& ports, const std::string& port)
{
    const bool ssl = !port.empty() && port[0] == '+';
    long value = number_of(ssl ? port.substr(1) : port);
    if (value <= 0)
        return 0;
    for (const std::string& item : split_items(ports)) {
        const bool item_ssl = !item.empty() && item[0] == '+';
        if (item_ssl != ssl)
            continue;
        const std::string body = item_ssl ? item.substr(1) : item;
        std::size_t dash = body.find('-');
        if (dash == std::string::npos) {
            if (number_of(body) == value)
                return 1;
            continue;
        }
        long low = number_of(trim(body.substr(0, dash)));
        long high = number_of(trim(body.substr(dash + 1)));
        if (low >= 0 && value >= low && value <= high)
            return 1;
    }
    return 0;
}

// ---- Applying entries ----

void conn_apply_server_entry(const std::string& entry, Connection* conn)
{
    if (!conn_is_live(conn))
        return;
    std::string* chosen = conn->stored_identity;  // 5 host, 6 description, 7 group, 8 password, 9 port
    const std::string prev_host = chosen[5];
    const std::string prev_group = chosen[7];
    const std::string prev_port = chosen[9];
    ServerEntry e = servers_parse_entry(entry);
    if (e.description.empty())
        e.description = e.host;
    chosen[5] = e.host.substr(0, kShortText);
    chosen[6] = e.description.substr(0, kShortText);
    chosen[7] = e.group.substr(0, kShortText);
    chosen[8] = e.password.substr(0, kShortText);
    // The same server or network again: avoid the port last used.
    const bool same = (!e.host.empty() && text_equal_nocase(e.host, prev_host)) ||
                      (!e.group.empty() && text_equal_nocase(e.group, prev_group));
    const std::string avoid = same ? prev_port : default_port();
    chosen[9] = e.ports.empty() ? default_port() : servers_pick_port(e.ports, avoid, default_port(), rng());
    if (!conn->connected) {
        conn->live_server[0] = chosen[5];
        conn->live_server[1] = chosen[6];
        conn->live_server[2] = chosen[7];
        conn->live_server[3] = chosen[8];
        conn->live_server[4] = chosen[9];
        conn->ssl = !chosen[9].empty() && chosen[9][0] == '+' ? 1 : 0;
        conn->server_name = chosen[5];
    }
}

void conn_rotation_build(Connection* conn, const std::string& group)
{
    if (!conn_is_live(conn))
        return;
    strlist_free(&conn->rotation_list);
    std::vector<std::string> entries = servers_group_entries(group);
    const std::vector<std::string> success = read_section("success", kServersSuccessMax);
    auto rank = [&success](const std::string& text) {
        const std::string host = servers_parse_entry(text).host;
        for (std::size_t i = 0; i < success.size(); ++i)
            if (text_equal_nocase(success_name(success[i]), host))
                return static_cast<int>(i);
        return static_cast<int>(success.size());
    };
    std::stable_sort(entries.begin(), entries.end(),
                     [&rank](const std::string& a, const std::string& b) { return rank(a) < rank(b); });
    for (const std::string& t : entries)
        conn->rotation_list = strlist_append(conn->rotation_list, std::string_view(t), 0);
}

void conn_rotation_start(Connection* conn)
{
    if (!conn_is_live(conn))
        return;
    std::string group = conn->stored_identity[7];
    if (group.empty())
        group = servers_group_of_host(conn->stored_identity[5]);
    conn_rotation_build(conn, group);
    for (StringNode* n = conn->rotation_list; n; n = n->next) {
        if (text_equal_nocase(servers_parse_entry(n->text).host, conn->stored_identity[5])) {
            n->number = 1;
            return;
        }
    }
}

void conn_next_server(Connection* conn)
{
    if (!conn_is_live(conn))
        return;
    if (!conn->rotation_list)
        conn_rotation_start(conn);
    StringNode* current = nullptr;
    for (StringNode* n = conn->rotation_list; n; n = n->next)
        if (n->number == 1)
            current = n;
    StringNode* next = current && current->next ? current->next : conn->rotation_list;
    if (!next)
        return;
    if (current)
        current->number = 0;
    next->number = 1;
    conn_apply_server_entry(next->text, conn);
}

int servers_select_group(const std::string& name, Connection* conn)
{
    if (!conn_is_live(conn))
        return 0;
    std::vector<std::string> entries = servers_group_entries(name);
    if (entries.empty()) {
        conn->stored_identity[5] = name;
        return 1;
    }
    conn->stored_identity[7] = trim(name).substr(0, kShortText);
    conn_rotation_build(conn, name);
    // A group's rotation starts at its first server.
    if (conn->rotation_list) {
        conn->rotation_list->number = 1;
        conn_apply_server_entry(conn->rotation_list->text, conn);
    }
    return 1;
}

// ---- Recent servers and success counts ----

StringNode* servers_success_list()
{
    StringNode* list = nullptr;
    for (const std::string& item : read_section("success", kServersSuccessMax))
        list = strlist_append(list, std::string_view(item), 0);
    return list;
}

void servers_record_success(const std::string& name, int add)
{
    if (name.empty())
        return;
    std::vector<std::string> items = read_section("success", 1000);
    int count = 0;
    for (auto it = items.begin(); it != items.end();) {
        if (text_equal_nocase(success_name(*it), name)) {
            count = std::max(count, std::max(success_count(*it), 0));
            it = items.erase(it);
        } else {
            ++it;
        }
    }
    if (count + add > 0)
        items.insert(items.begin(), name.substr(0, kShortText) + "," + std::to_string(count + add));
    if (items.size() > static_cast<std::size_t>(kServersSuccessMax))
        items.resize(kServersSuccessMax);
    std::stable_sort(items.begin(), items.end(),
                     [](const std::string& a, const std::string& b) { return success_count(a) > success_count(b); });
    write_section("success", items);
}

void servers_add_recent(const std::string& text)
{
    if (text.empty())
        return;
    std::vector<std::string> items = read_section("recent", 1000);
    items.erase(std::remove_if(items.begin(), items.end(),
                               [&text](const std::string& t) { return text_equal_nocase(t, text); }),
                items.end());
    items.insert(items.begin(), text);
    if (items.size() > static_cast<std::size_t>(kServersRecentMax))
        items.resize(kServersRecentMax);
    write_section("recent", items);
}

void servers_note_connected(Connection* conn)
{
    if (!conn_is_live(conn))
        return;
    StringNode*& list = servers_list();
    StringNode* found = nullptr;
    for (StringNode* n = list; n && !found; n = n->next) {
        ServerEntry e = servers_parse_entry(n->text);
        if (text_equal_nocase(e.description, conn->live_server[1]) && text_equal_nocase(e.host, conn->live_server[0]) &&
            text_equal_nocase(e.group, conn->live_server[2]))
            found = n;
    }
    for (StringNode* n = list; n && !found; n = n->next)
        if (text_equal_nocase(servers_parse_entry(n->text).host, conn->live_server[0]))
            found = n;
    if (found && servers_ports_contain(servers_parse_entry(found->text).ports, conn->live_server[4])) {
        const std::string text = found->text;
        if (found != list) {
            list = strlist_move_to_front(list, found);
            servers_save();
        }
        servers_add_recent(text);
        return;
    }
    ServerEntry e{conn->live_server[1], conn->live_server[0], conn->live_server[4], conn->live_server[3],
                  conn->live_server[2]};
    servers_add_recent(servers_entry_text(e));
}

void servers_random_start()
{
    Connection* first = conn_list;
    if (!conn_is_live(first) || !first->stored_identity[5].empty())
        return;
    StringNode* list = servers_list();
    if (!list)
        return;
    std::vector<std::string> networks = servers_networks();
    while (!networks.empty()) {
        std::size_t i = rng()() % networks.size();
        const std::string net = networks[i];
        networks.erase(networks.begin() + static_cast<long>(i));
        std::string pick;
        for (StringNode* n = list; n && pick.empty(); n = n->next) {
            ServerEntry e = servers_parse_entry(n->text);
            if (number_of(e.group) >= 0 && text_find_nocase(std::string_view(e.description), std::string_view("Random")) != std::string::npos &&
                text_find_nocase(std::string_view(e.description), std::string_view(net)) != std::string::npos)
                pick = n->text;
        }
        for (StringNode* n = list; n && pick.empty(); n = n->next)
            if (text_equal_nocase(servers_parse_entry(n->text).group, net))
                pick = n->text;
        if (!pick.empty()) {
            conn_apply_server_entry(pick, first);
            return;
        }
    }
    conn_apply_server_entry(list->text, first);
}

void servers_install()
{
    static int load_listener = 0;
    settings_loaded.add_once(load_listener, kLoadServerGroup, [](SettingsLoad&) {
        servers_random_start();
        if (conn_list)
            conn_rotation_start(conn_list);
    });
}

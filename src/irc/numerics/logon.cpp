#include "irc/numerics/logon.h"

#include <algorithm>
#include <cctype>

#include "model/connection.h"
#include "core/text_buffer.h"
#include "core/ini.h"
#include "core/numbered_texts.h"
#include "core/options.h"
#include "core/string_list.h"
#include "core/text_limits.h"
#include "irc/dispatch/dispatcher.h"
#include "irc/dispatch/channel_rejoin.h"
#include "irc/dispatch/server_commands.h"
#include "irc/numerics/isupport.h"
#include "script/exec/script_types.h"
#include "script/events/event_index.h"
#include "script/stores/timers.h"
#include "irc/lists/notify_list.h"
#include "irc/link/send_queue.h"

namespace {

const char* const kAllNetworks = "All Networks";
const char* const kOtherNetworks = "Other Networks";


// Outer blanks removed, inner runs of blanks made one.
std::string collapse(const std::string& s)
{
    std::string out;
    for (char c : s) {
        if (c == ' ' && (out.empty() || out.back() == ' ')) continue;
        out += c;
    }
    while (!out.empty() && out.back() == ' ') out.pop_back();
    return out;
}

std::string key_of(const std::string& entry)
{
    std::size_t comma = entry.find(',');
    return comma == std::string::npos ? std::string() : collapse(entry.substr(0, comma));
}


// Runs a command line of the user (evaluated) in the status window: mode 1
// for the perform lines, 0 for the joins.
int logon_exec_line(Connection* conn, const std::string& line, int mode)
{
    if (!conn || !conn_is_live(conn)) return 0;
    return script_exec_line(timer_status_window(conn), line.c_str(), nullptr, mode, nullptr, nullptr, conn);
}

std::string perform_file() { return settings_dir + "perform.ini"; }

}  // namespace

std::vector<std::string> perform_list;
Signal<void(Connection*)> irc_logged_on;

std::string perform_key_display(const std::string& key)
{
    std::string out;
    if (text_equal_nocase(key, kAllNetworks)) return text_load_string(1918, &out), out;
    if (text_equal_nocase(key, kOtherNetworks)) return text_load_string(1919, &out), out;
    return key;
}

std::string perform_key_internal(const std::string& shown)
{
    std::string all, other;
    text_load_string(1918, &all);
    text_load_string(1919, &other);
    if (text_equal_nocase(collapse(shown), all)) return kAllNetworks;
    if (text_equal_nocase(collapse(shown), other)) return kOtherNetworks;
    return shown;
}

int perform_has_key(const std::vector<std::string>& list, const std::string& key)
{
    const std::string want = collapse(key);
    for (const std::string& e : list)
        if (e.find(',') != std::string::npos && text_equal_nocase(key_of(e), want)) return 1;
    return 0;
}

void perform_remove_key(std::vector<std::string>& list, const std::string& entry)
{
    const std::string key = key_of(entry);
    std::erase_if(list, [&](const std::string& e) {
        std::string k = key_of(e);
        return k.empty() || text_equal_nocase(k, key);
    });
}

std::vector<std::string> perform_commands_for_key(const std::vector<std::string>& list, const std::string& entry)
{
    std::vector<std::string> out;
    const std::string key = key_of(entry);
    for (const std::string& e : list) {
        if (!text_equal_nocase(key_of(e), key)) continue;
        std::string cmds = collapse(e.substr(e.find(',') + 1));
        if (!cmds.empty()) out.push_back(cmds);
    }
    return out;
}

void perform_replace(std::vector<std::string>& list, const std::vector<std::string>& entries)
{
    if (!entries.empty()) perform_remove_key(list, entries.front());
    list.insert(list.end(), entries.begin(), entries.end());
}

int perform_entry_for_network(std::string& entry, Connection* conn)
{
    std::size_t comma = entry.find(',');
    if (comma == std::string::npos) return 0;
    const std::string key = collapse(entry.substr(0, comma));
    if (key.empty()) return 0;
    bool applies = false;
    if (text_equal_nocase(key, kAllNetworks)) {
        applies = true;
    } else if (text_equal_nocase(key, kOtherNetworks)) {
        applies = conn && !(!conn->network.empty() && perform_has_key(perform_list, conn->network)) &&
                  !(!conn->server_name.empty() && perform_has_key(perform_list, conn->server_name));
    } else if (conn) {
        applies = (!conn->network.empty() && text_equal_nocase(key, conn->network)) ||
                  (!conn->server_name.empty() && text_equal_nocase(key, conn->server_name));
    }
    if (!applies) return 0;
    std::string cmds = entry.substr(comma + 1);
    std::size_t a = cmds.find_first_not_of(' ');
    std::size_t b = cmds.find_last_not_of(' ');
    entry = a == std::string::npos ? std::string() : cmds.substr(a, b - a + 1);
    return entry.empty() ? 0 : 1;
}

void perform_load()
{
    std::vector<std::string> legacy;
    StringNode* old = ini_read_numbered_list("perform", "n", nullptr, main_ini_path, 0);
    for (StringNode* n = old; n; n = n->next) legacy.push_back(std::string(kAllNetworks) + "," + n->text);
    strlist_free(&old);
    if (!legacy.empty()) {
        ini_remove_section(main_ini_path, "[perform]");
        perform_list = legacy;
        perform_save();
        return;
    }
    perform_list.clear();
    StringNode* list = ini_load_list_file(perform_file(), "[perform]", 0, 0);
    for (StringNode* n = list; n; n = n->next) {
        // Entries are kept under their fixed keys; shown texts read from an
        // older file are turned back into them.
        if (n->text.find(',') == std::string::npos) continue;
        std::size_t comma = n->text.find(',');
        perform_list.push_back(perform_key_internal(n->text.substr(0, comma)) + n->text.substr(comma));
    }
    strlist_free(&list);
}

int perform_save()
{
    std::vector<std::string> sorted = perform_list;
    std::stable_sort(sorted.begin(), sorted.end(), [](const std::string& a, const std::string& b) {
        std::string x = a, y = b;
        for (char& c : x) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        for (char& c : y) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return x < y;
    });
    StringNode* head = nullptr;
    for (const std::string& e : sorted) head = strlist_append(head, std::string_view(e), 0);
    int ok = ini_save_list_file(perform_file(), "[perform]", head);
    strlist_free(&head);
    return ok;
}

void conn_logon_sequence(Connection* conn)
{
    if (!conn || !conn_is_live(conn)) return;
    IrcConnState* st = irc_state(conn);
    chan_close_other_network_windows(conn);
    if (!conn_is_live(conn)) return;
    if (event_switch_events && !st->skip_connect_event) {
        event_fire(conn, nullptr, nullptr, "CONNECT", kEvConnect, 0, nullptr, nullptr);
        if (!conn_is_live(conn)) return;
    }
    irc_logged_on.fire(conn);
    if (!conn_is_live(conn)) return;
    if (opt(OPT_INVISIBLE_MODE)) irc_send_line("MODE " + conn_own_nick(conn) + " +i\n", 0, conn);
    if (st->has_namesx) irc_send_line("PROTOCTL NAMESX\n", 0, conn);
    if (st->has_uhnames) irc_send_line("PROTOCTL UHNAMES\n", 0, conn);
    if (!conn_is_live(conn)) return;
    if (opt(OPT_PERFORM_ENABLED) && !st->skip_perform) {
        const std::vector<std::string> entries = perform_list;  // a command may edit the list
        for (const std::string& e : entries) {
            std::string cmds = e;
            if (!perform_entry_for_network(cmds, conn)) continue;
            logon_exec_line(conn, cmds, 1);
            if (!conn_is_live(conn)) return;
        }
    }
    notify_conn_stage(2, conn);
    if (!conn_is_live(conn)) return;
    st = irc_state(conn);
    if (st->autojoin_delay == -1) st->autojoin_delay = 0;
    else if (st->autojoin_delay == 0) conn_auto_join(conn);
}

void conn_autojoin_tick(Connection* conn)
{
    if (!conn || !conn_is_live(conn)) return;
    IrcConnState* st = irc_state(conn);
    if (st->autojoin_delay > 0 && --st->autojoin_delay == 0) conn_auto_join(conn);
}

void conn_auto_join(Connection* conn)
{
    if (!conn || !conn_is_live(conn)) return;
    // The rejoin list: each entry freed whether it is joined or not.
    while (conn->autojoin_list) {
        StringNode* node = conn->autojoin_list;
        std::string channel = node->text;
        int flag = node->extra[0] != 0;  // open minimised ("-n")
        conn->autojoin_list = strlist_remove(conn->autojoin_list, node);
        if (irc_join_allowed && !irc_join_allowed(channel, conn)) continue;
        logon_exec_line(conn, (flag ? "/join -n " : "/join ") + channel, 0);
        if (!conn_is_live(conn)) return;
    }
    const std::string start = "/join ";
    std::string line = start;
    for (const LogonChannel& ch : chan_channels_to_rejoin(conn)) {
        if (!opt(OPT_REJOIN_ON_CONNECT)) break;
        const bool match = ch.network_tag.empty() || (conn->network.empty() && conn->server_name.empty()) ||
                           text_equal_nocase(ch.network_tag, conn->network) || text_equal_nocase(ch.network_tag, conn->server_name);
        if (!match) continue;
        chan_rejoin_starting(conn, ch);
        if (!conn_is_live(conn)) return;
        if (!ch.key.empty()) {
            if (line != start) logon_exec_line(conn, line, 0);
            if (!conn_is_live(conn)) return;
            logon_exec_line(conn, "/join " + ch.name + " " + ch.key, 0);
            if (!conn_is_live(conn)) return;
            line = start;
            continue;
        }
        if (line.size() + ch.name.size() > 400) {
            logon_exec_line(conn, line, 0);
            if (!conn_is_live(conn)) return;
            line = start;
        }
        if (line != start) line += ',';
        line += ch.name;
    }
    if (line != start) logon_exec_line(conn, line, 0);
}

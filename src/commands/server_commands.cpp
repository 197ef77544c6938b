#include "commands/server_commands.h"

#include "platform/platform_utils.h"

#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "model/connection.h"
#include "irc/link/connections.h"
#include "commands/command_conn.h"
#include "core/ini.h"
#include "core/list_sort.h"
#include "core/main_settings.h"
#include "core/numbered_texts.h"
#include "core/string_list.h"
#include "core/text_buffer.h"
#include "core/text_limits.h"
#include "model/colors.h"
#include "model/line_buffer.h"
#include "irc/dispatch/captions.h"
#include "platform/platform_utils.h"
#include "irc/link/close.h"
#include "irc/link/connect.h"
#include "irc/lists/servers.h"
#include "irc/numerics/isupport.h"
#include "irc/ssl/ssl_api.h"
#include "irc/link/send_queue.h"
#include "script/exec/script_types.h"

namespace {

// Where a command's own output goes: its window, else the status window.
QWidget* out_window(CommandCall& call, Connection* conn)
{
    return call.window ? call.window : link_status_window(conn);
}

std::string lower(std::string text)
{
    for (char& ch : text)
        if (ch >= 'A' && ch <= 'Z')
            ch = static_cast<char>(ch - 'A' + 'a');
    return text;
}

std::string cut(const std::string& text, std::size_t limit)
{
    return text.size() > limit ? text.substr(0, limit) : text;
}

std::string join(const std::vector<std::string>& words, std::size_t from, std::size_t to)
{
    std::string out;
    for (std::size_t i = from; i < to && i < words.size(); ++i)
        out += (out.empty() ? "" : " ") + words[i];
    return out;
}

// ---- The server list ----

ServerEntry parse_entry(const std::string& text) { return servers_parse_entry(text); }
std::string entry_text(const ServerEntry& e) { return servers_entry_text(e); }
void server_list_reload() { servers_reload(); }
void server_list_save() { servers_save(); }

StringNode* find_entry(const std::string& name, const std::string& host)
{
    for (StringNode* n = servers_list(); n; n = n->next)
        if (text_equal_nocase(parse_entry(n->text).description, name))
            return n;
    for (StringNode* n = servers_list(); n; n = n->next)
        if (text_equal_nocase(parse_entry(n->text).host, host))
            return n;
    return nullptr;
}

void info(CommandCall& call, Connection* conn, const std::string& text)
{
    if (call.show)
        echo_line(out_window(call, conn), std::string_view(text), kColorInfoText);
}

// /server -a host [-p ports] [-g group] [-w password] [-d description],
// /server -r host, /server -s.
int server_list_edit(CommandCall& call, Connection* conn, const std::vector<std::string>& args)
{
    const std::string letters = lower(args[0]);
    const bool add = letters.find('a') != std::string::npos;
    const bool remove = !add && letters.find('r') != std::string::npos;
    const bool sort = letters.find('s') != std::string::npos;
    if (!add && !remove && !sort)
        return kScriptDone;
    server_list_reload();
    if (add || remove) {
        if (args.size() < 2)
            return script_error(call.window, call.tokens[0], {}, 0);
        const std::string host = args[1];
        std::string ports, group, password, description;
        bool has_ports = false, has_group = false, has_password = false, has_description = false;
        for (std::size_t i = 2; add && i + 1 < args.size();) {
            const std::string& sw = args[i];
            if (sw.size() != 2 || sw[0] != '-')
                break;
            const char letter = static_cast<char>(lower(sw)[1]);
            if (letter == 'd') {
                description = join(args, i + 1, args.size());
                has_description = true;
                break;
            }
            if (letter == 'p') {
                ports = args[i + 1];
                has_ports = true;
            } else if (letter == 'g') {
                group = args[i + 1];
                has_group = true;
            } else if (letter == 'w') {
                password = args[i + 1];
                has_password = true;
            } else {
                break;
            }
            i += 2;
        }
        std::string name = has_description ? description : host;
        name = name.substr(0, name.find(':'));
        if (name.empty())
            return script_error(call.window, call.tokens[0], {}, 0);
        StringNode* match = find_entry(name, host);
        if (add) {
            ServerEntry old = match ? parse_entry(match->text) : ServerEntry{};
            ServerEntry e;
            e.host = host;
            e.description = has_description ? (text_equal_nocase(description, "none") ? "" : description)
                                             : (match ? old.description : host);
            e.ports = has_ports ? ports : (match ? old.ports : std::string(kDefaultPort));
            e.password = has_password ? (text_equal_nocase(password, "none") ? "" : password) : old.password;
            e.group = has_group ? (text_equal_nocase(group, "none") ? "" : group) : old.group;
            std::string text = entry_text(e);
            if (text.size() > kMediumText - 1)
                return script_error(call.window, call.tokens[0], {}, 10);
            if (match) {
                match->text = text;
                info(call, conn, text_fill_id(927, {e.description}));
            } else {
                StringNode* head = strlist_append(servers_list(), std::string_view(text), 0);
                if (head)
                    servers_list() = head;
                info(call, conn, text_fill_id(928, {e.description}));
            }
        } else if (match) {
            const std::string gone = parse_entry(match->text).description;
            servers_list() = strlist_remove(servers_list(), match);
            info(call, conn, text_fill_id(930, {gone}));
        } else {
            info(call, conn, text_fill_id(929, {name}));
        }
    }
    if (sort)
        servers_list() = strlist_sort(servers_list(), 1);
    server_list_save();
    return kScriptDone;
}

// ---- Connecting ----

// What the pre-scan takes out of the arguments.
struct ServerRequest {
    std::vector<std::string> args;   // what is left
    bool has_identity = false;
    std::string nick, anick, email, full_name;
    bool keep_host = false;          // -l
    bool has_channels = false;
    std::string channels;            // -j / -jn
    int join_flags = 7;
};

ServerRequest pre_scan(const std::vector<std::string>& in)
{
    ServerRequest r;
    auto stops = [](const std::string& w) {
        std::string l = lower(w);
        return l == "-l" || l == "-j" || l == "-jn";
    };
    for (std::size_t i = 0; i < in.size(); ++i) {
        const std::string l = lower(in[i]);
        if (l == "-i") {
            r.has_identity = true;
            std::size_t j = i + 1;
            std::string* fields[] = {&r.nick, &r.anick, &r.email};
            for (std::string* f : fields)
                if (j < in.size() && !stops(in[j]))
                    *f = in[j++];
            std::size_t from = j;
            while (j < in.size() && !stops(in[j]))
                ++j;
            r.full_name = join(in, from, j);
            i = j - 1;
        } else if (l == "-l") {
            r.keep_host = true;
        } else if (l == "-j" || l == "-jn") {
            r.has_channels = true;
            r.channels = join(in, i + 1, in.size());
            r.join_flags = l == "-jn" ? 15 : 7;
            break;
        } else {
            r.args.push_back(in[i]);
        }
    }
    return r;
}

void clear_server(Connection* c)
{
    for (int i = 5; i < 10; ++i)
        c->stored_identity[i].clear();
    c->stored_identity[9] = kDefaultPort;
}

// The entries of the server list whose group is the name.
std::vector<std::string> group_entries(const std::string& name)
{
    std::vector<std::string> out;
    for (StringNode* n = servers_list(); n; n = n->next)
        if (text_equal_nocase(parse_entry(n->text).group, name))
            out.push_back(n->text);
    return out;
}

std::string port_text(const std::string& port)
{
    std::size_t i = (!port.empty() && port[0] == '+') ? 1 : 0;
    long v = 0;
    for (; i < port.size() && port[i] >= '0' && port[i] <= '9' && v < 100000; ++i)
        v = v * 10 + (port[i] - '0');
    return v >= 1 ? port : std::string(kDefaultPort);
}

} // namespace

// /server [-m/-n/-e/-f/-o/-p/-c/-z] [server [port [password]]] [-i nick anick
// email fullname] [-l] [-j channels | -jn channels]
int cmd_server(CommandCall& call)
{
    Connection* conn = conn_of(call);
    ServerRequest req = pre_scan(std::vector<std::string>(call.tokens.begin() + (call.tokens.empty() ? 0 : 1),
                                                          call.tokens.end()));
    std::vector<std::string>& args = req.args;
    if (!args.empty() && args[0].size() > 0 && args[0][0] == '-' &&
        lower(args[0]).find_first_of("mnfopce") == std::string::npos)
        return server_list_edit(call, conn, args);

    std::string switches;
    std::size_t at = 0;
    if (!args.empty() && !args[0].empty() && args[0][0] == '-') {
        switches = lower(args[0]);
        at = 1;
    }
    auto has = [&](char letter) { return switches.find(letter) != std::string::npos; };
    const bool open_new = has('m') || has('n');

    // The connection to connect: this one, or a new one.
    Connection* target = conn;
    if (open_new || !conn_is_live(target)) {
        target = conn_new(conn);
        if (!target)
            return script_error(call.window, call.tokens[0], {}, 2);
    }
    const bool fresh = target != conn;
    auto give_up = [&](int text_id) {
        if (text_id)
            echo_line(out_window(call, conn), std::string_view(text_load_string(text_id)), kColorInfoText);
        if (fresh)
            conn_free(target);
        return kScriptFailed;
    };

    if (req.has_identity) {
        target->stored_identity[2] = cut(req.nick, kShortText);
        target->stored_identity[3] = cut(req.anick, kShortText);
        target->stored_identity[1] = cut(req.email, kShortText);
        target->stored_identity[0] = cut(req.full_name, kShortText);
    }

    if (at < args.size()) {
        const std::string server = args[at];
        server_list_reload();
        if (server.find('.') == std::string::npos && text_is_digits(server)) {
            // A number: that entry of the servers file.
            long number = server.size() > 6 ? 0 : std::stol(server);
            if (number < 1)
                return give_up(932);
            std::string entry;
            ini_read("servers", ("n" + std::to_string(number - 1)).c_str(), "", entry, kMediumTextSize,
                     servers_file());
            if (entry.empty())
                return give_up(931);
            clear_server(target);
            conn_apply_server_entry(entry, target);
        } else if (std::vector<std::string> group;
                   server.find('.') == std::string::npos && !(group = group_entries(server)).empty()) {
            // A group of the server list: its first entry.
            clear_server(target);
            conn_apply_server_entry(group.front(), target);
        } else {
            std::string host = server;
            std::string port;
            bool has_port = false;
            std::size_t next = at + 1;
            std::size_t colon = host.find(':');
            if (colon != std::string::npos) {
                port = host.substr(colon + 1);
                host.resize(colon);
                has_port = true;
            } else if (next < args.size()) {
                port = args[next++];
                has_port = true;
            }
            host = cut(host, kShortText);
            clear_server(target);
            for (StringNode* n = servers_list(); n; n = n->next) {
                ServerEntry e = parse_entry(n->text);
                if (!e.group.empty() && text_equal_nocase(e.host, host)) {
                    conn_apply_server_entry(n->text, target);
                    break;
                }
            }
            target->stored_identity[5] = host;
            if (target->stored_identity[6].empty())
                target->stored_identity[6] = host;
            if (has_port || target->stored_identity[9].empty())
                target->stored_identity[9] = port_text(port);
            if (next < args.size())
                target->stored_identity[8] = cut(args[next], kShortText);
        }
    }

    // Everything a connect needs must be there.
    if (!conn_missing_identity(target, true).empty()) {
        conn_report_missing_identity(target, true, fresh ? link_status_window(conn) : nullptr);
        if (fresh)
            conn_free(target);
        beep_error(0);
        if (irc_open_connect_options)
            irc_open_connect_options();
        return kScriptFailed;
    }
    std::string& port = target->stored_identity[9];
    if (has('e') && port[0] != '+')
        port = "+" + port;
    if (port[0] == '+' && !ssl_available())
        return give_up(969);

    LinkState& st = link_state(target);
    st.server_l_switch = req.keep_host ? 1 : 0;
    st.skip_chanfolder_join = has('o') ? 1 : 0;
    st.hide_chanfolder = has('f') ? 1 : 0;
    if (IrcConnState* irc = irc_state(target)) {
        irc->skip_perform = has('p') ? 1 : 0;
        irc->skip_connect_event = has('c') ? 1 : 0;
    }
    strlist_free(&target->autojoin_list);
    if (req.has_channels)
        conn_queue_autojoin(req.channels, req.join_flags, target);
    conn_identity_copy(0, target);

    if (fresh && !conn_open_status(target, has('z')))
        return give_up(0);
    if (!open_new) {
        conn_begin_connect(target);
        return kScriptDone;
    }
    if (has('m'))
        conn_begin_connect(target);
    return kScriptDone;
}

// /quit [message]
int cmd_quit(CommandCall& call)
{
    Connection* conn = conn_of(call);
    if (conn_is_connected(conn)) {
        if (conn->quitting)
            return kScriptDone;
        std::string message(call.rest());
        if (message.empty()) {
            irc_send_quit(conn);
        } else {
            irc_send_line("QUIT :" + message + "\n", 0, conn);
            if (conn_is_live(conn))
                conn->quitting = 1;
        }
        return kScriptDone;
    }
    if (conn_is_connecting(conn)) {
        conn_disconnect(std::string(), 15, conn);
        return kScriptDone;
    }
    return script_error(call.window, call.tokens[0], {}, 12);
}

// /disconnect
int cmd_disconnect(CommandCall& call)
{
    Connection* conn = conn_of(call);
    if (conn_is_connected(conn) || conn_is_connecting(conn))
        conn_disconnect(std::string(), 15, conn);
    else
        conn_check_connected(call.window, conn);
    return kScriptDone;
}

void server_commands_register()
{
    script_register_command("server", cmd_server);
    script_register_command("quit", cmd_quit);
    script_register_command("disconnect", cmd_disconnect);
    identity_commands_register();
}

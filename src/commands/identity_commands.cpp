// The user's identity and network settings: /nick, /mnick, /anick, /tnick,
// /emailaddr, /fullname, /username, /localinfo, /identd, /firewall, /finger
// and /resetidle.
#include "commands/server_commands.h"

#include <arpa/inet.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "irc/link/identity_settings.h"
#include "model/connection.h"
#include "app/finger_dialog.h"
#include "app/frame_proc.h"
#include "commands/command_conn.h"
#include "core/main_settings.h"
#include "core/numbered_texts.h"
#include "core/options.h"
#include "core/text_buffer.h"
#include "core/text_limits.h"
#include "model/colors.h"
#include "model/line_buffer.h"
#include "irc/services/finger.h"
#include "irc/services/ident.h"
#include "irc/dispatch/captions.h"
#include "irc/link/connect.h"
#include "irc/lists/user_lists.h"
#include "irc/link/local_address.h"
#include "irc/link/lookups.h"
#include "irc/link/net_settings.h"
#include "irc/numerics/isupport.h"
#include "irc/link/send_queue.h"
#include "script/exec/script_types.h"

namespace {

QWidget* out_window(CommandCall& call, Connection* conn)
{
    return call.window ? call.window : link_status_window(conn);
}

std::string cut(const std::string& text, std::size_t limit)
{
    return text.size() > limit ? text.substr(0, limit) : text;
}

int fail(CommandCall& call, int type)
{
    return script_error(call.window, call.tokens[0], {}, type);
}

void info(CommandCall& call, Connection* conn, const std::string& text, std::uint32_t colour)
{
    if (call.show)
        echo_line(out_window(call, conn), std::string_view(text), colour);
}

} // namespace

// /nick, /mnick (slot 0), /anick (slot 1), /tnick (slot 2): nick [second word]
static int nick_command(CommandCall& call, int slot)
{
    Connection* conn = conn_of(call);
    if (call.argc() < 1)
        return fail(call, 0);
    if (!conn_is_live(conn))
        return kScriptFailed;
    const std::string nick = cut(call.arg(1), kShortText);
    const bool connected = conn_is_connected(conn) != 0;
    if (!connected && slot == 2)
        return fail(call, 12);

    if (connected && (slot < 0 || slot == 2 || slot == conn->nick_index)) {
        const bool temp_slot = opt(OPT_THIRD_NICK_SLOT) != 0;
        if (!conn->registered) {
            // The logon is under way: the nick the server will greet is ours now.
            IrcConnState* st = irc_state(conn);
            int write = slot;
            if (st && st->nick_prompted) {
                write = temp_slot ? 2 : 1;
                conn->nick_index = write;
            } else if (slot < 0) {
                write = temp_slot ? 2 : conn->nick_index;
                conn->nick_index = write;
            }
            write = write < 0 || write > 2 ? 0 : write;
            conn->live_identity[2 + write] = nick;
            conn->stored_identity[2 + write] = nick;
            conn_update_status_title(conn);
        } else {
            // The server confirms the change; then this slot holds the nick.
            int to = slot;
            if (slot < 0)
                to = temp_slot && conn->nick_index != 2 ? 2 : conn->nick_index;
            conn->nick_switch_slot = to;
        }
        std::string line = "NICK :" + nick;
        if (call.argc() >= 2)
            line += " " + call.arg(2);
        irc_send_line(line + "\n", 0, conn);
        if (!conn_is_live(conn))
            return kScriptDone;
        ini_save_identity(2, conn);
        frame_request_bars_repaint(0);
        return kScriptDone;
    }

    const int write = slot < 0 ? 0 : slot;
    conn->live_identity[2 + write] = nick;
    conn->stored_identity[2 + write] = nick;
    if (call.show) {
        QWidget* w = out_window(call, conn);
        print_separator(w, kColorInfo2Text);
        print_line(w, std::string_view(text_fill_id(write == 1 ? 845 : 844, {nick})), kColorInfo2Text);
        print_separator(w, kColorInfo2Text);
    }
    if (!conn_is_live(conn))
        return kScriptDone;
    conn_update_status_title(conn);
    ini_save_identity(2, conn);
    return kScriptDone;
}

int cmd_nick(CommandCall& call) { return nick_command(call, -1); }
int cmd_mnick(CommandCall& call) { return nick_command(call, 0); }
int cmd_anick(CommandCall& call) { return nick_command(call, 1); }
int cmd_tnick(CommandCall& call) { return nick_command(call, 2); }

// /emailaddr address
int cmd_emailaddr(CommandCall& call)
{
    Connection* conn = conn_of(call);
    if (!conn_is_live(conn))
        return kScriptFailed;
    const std::string address = cut(text_first_word_of(call.rest()), kShortText);
    conn->stored_identity[1] = address;
    conn->live_identity[1] = address;
    ini_save_identity(1, conn);
    info(call, conn, text_fill_id(817, {address}), kColorInfoText);
    return kScriptDone;
}

// /fullname text, /username text
int cmd_fullname(CommandCall& call)
{
    Connection* conn = conn_of(call);
    if (!conn_is_live(conn))
        return kScriptFailed;
    const std::string name = cut(std::string(call.rest()), kShortText);
    conn->stored_identity[0] = name;
    conn->live_identity[0] = name;
    ini_save_identity(1, conn);
    info(call, conn, text_fill_id(816, {name}), kColorInfoText);
    return kScriptDone;
}

// /localinfo [-h] | -u | host [address]
int cmd_localinfo(CommandCall& call)
{
    Connection* conn = conn_of(call);
    if (!conn_is_live(conn))
        return kScriptFailed;
    const std::string& first = call.arg(1);
    const bool has_switch = !first.empty() && first[0] == '-';
    if (call.argc() < 1 || (has_switch && first.find_first_of("hH") != std::string::npos)) {
        char name[kShortTextSize] = {0};
        std::string host = ::gethostname(name, kShortText) == 0 ? text_first_word_of(name) : std::string();
        conn->local_host = host;
        conn->local_ip = 0;
        conn->local_ip_text.clear();
        if (!host.empty())
            dns_lookup_request(link_status_window(conn), std::string(), host, call.show, kDnsLocalInfoAddress);
        return kScriptDone;
    }
    if (has_switch) {
        if (first.find_first_of("uU") == std::string::npos)
            return kScriptDone;
        if (!conn_is_connected(conn))
            return fail(call, 12);
        userlist_request_self(call.show, conn);
        return kScriptDone;
    }
    conn->local_host = text_first_word_of(cut(first, kShortText));
    in_addr addr{};
    const std::string& address = call.arg(2);
    if (!address.empty() && inet_pton(AF_INET, address.c_str(), &addr) == 1) {
        conn->local_ip_text = address;
        conn->local_ip = ntohl(addr.s_addr);
    } else {
        conn->local_ip_text.clear();
        conn->local_ip = 0;
    }
    conn->stored_local_host = conn->local_host;
    conn->stored_local_ip_text = conn->local_ip_text;
    conn->stored_local_ip = conn->local_ip;
    return kScriptDone;
}

// /identd on [userid] | off
int cmd_identd(CommandCall& call)
{
    Connection* conn = conn_of(call);
    const std::string& word = call.arg(1);
    if (text_equal_nocase(word, "on")) {
        const std::string id = opt_ident_userid(call.arg(2), conn);
        if (id.empty())
            return fail(call, 3);
        ident_settings.enabled = 1;
        ident_settings.userid = id;
        ident_restart();
        ident_settings_save();
    } else if (text_equal_nocase(word, "off")) {
        ident_settings.enabled = 0;
        ident_restart();
        ident_settings_save();
    }
    if (ident_settings.enabled)
        info(call, conn, text_fill_id(818, {opt_ident_userid(ident_settings.userid, conn)}), kColorInfo2Text);
    else
        info(call, conn, text_load_string(819), kColorInfo2Text);
    return kScriptDone;
}

// A proxy port: a number above 0, else 1080.
static int proxy_port(const std::string& text)
{
    char* end = nullptr;
    long v = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || v <= 0 || v > 65535)
        return 1080;
    return static_cast<int>(v);
}

// /firewall [switches] [on|off] [host[:port] [port]] [userid] [password]
int cmd_firewall(CommandCall& call)
{
    Connection* conn = conn_of(call);
    ProxySettings& p = proxy_settings;
    std::size_t i = 1;
    const std::string& first = call.arg(1);
    if (!first.empty() && (first[0] == '-' || first[0] == '+')) {
        char sign = 0;
        for (std::size_t k = 0; k < first.size(); ++k) {
            char ch = static_cast<char>(first[k] | 0x20);
            if (first[k] == '-' || first[k] == '+') {
                sign = first[k];
                continue;
            }
            if (ch == 'd' && k > 0 && (first[k - 1] == '+' || first[k - 1] == '-')) {
                p.dcc = sign == '+' ? 1 : 0;
            } else if (ch == 'm' && k + 1 < first.size()) {
                char kind = static_cast<char>(first[k + 1] | 0x20);
                if (kind == '4' || kind == '5' || kind == 'p') {
                    p.method = kind == '4' ? kProxySocks4 : kind == '5' ? kProxySocks5 : kProxyHttp;
                    ++k;
                }
            } else if (ch == 'c') {
                p.userid.clear();
                p.password.clear();
            }
        }
        ++i;
    }
    if (text_equal_nocase(call.arg(i), "on") || text_equal_nocase(call.arg(i), "off")) {
        p.enabled = text_equal_nocase(call.arg(i), "on") ? 1 : 0;
        ++i;
    }
    if (i <= call.argc()) {
        std::string host = cut(call.arg(i++), kShortText);
        std::size_t colon = host.find(':');
        if (colon != std::string::npos) {
            p.port = proxy_port(host.substr(colon + 1));
            host.resize(colon);
        }
        p.host = host;
        if (i <= call.argc())
            p.port = proxy_port(call.arg(i++));
        else if (colon == std::string::npos)
            p.port = 1080;
        if (i <= call.argc())
            p.userid = cut(call.arg(i++), kShortText);
        if (i <= call.argc())
            p.password = cut(call.arg(i++), kShortText);
    }
    std::string shown;
    if (p.enabled) {
        shown = text_load_string(757);
        shown += p.method == kProxySocks5 ? " Socks5" : p.method == kProxyHttp ? " Proxy" : " Socks4";
        if (!p.host.empty())
            shown += " (" + p.host + " " + std::to_string(p.port) + ")";
        else
            shown += std::string(" ") + text_load_string(759);
    } else {
        shown = text_load_string(758);
    }
    info(call, conn, shown, kColorInfoText);
    proxy_settings_save();
    return kScriptDone;
}

// /finger [target]
int cmd_finger(CommandCall& call)
{
    Connection* conn = conn_of(call);
    const std::string target = cut(text_first_word_of(call.rest()), kShortText);
    if (target.empty()) {
        finger_dialog_open(0);
        return kScriptDone;
    }
    finger_query_start(call.window, target, conn);
    return kScriptDone;
}

// /resetidle [seconds]
int cmd_resetidle(CommandCall& call)
{
    Connection* conn = conn_of(call);
    if (!conn_is_live(conn))
        return kScriptFailed;
    long seconds = std::strtol(call.arg(1).c_str(), nullptr, 10);
    conn->idle_seconds = seconds > 0 && seconds < 0x7fffffff ? seconds : 0;
    return kScriptDone;
}

void identity_commands_register()
{
    script_register_command("nick", cmd_nick);
    script_register_command("mnick", cmd_mnick);
    script_register_command("anick", cmd_anick);
    script_register_command("tnick", cmd_tnick);
    script_register_command("emailaddr", cmd_emailaddr);
    script_register_command("fullname", cmd_fullname);
    script_register_command("username", cmd_fullname);
    script_register_command("localinfo", cmd_localinfo);
    script_register_command("identd", cmd_identd);
    script_register_command("firewall", cmd_firewall);
    script_register_command("finger", cmd_finger);
    script_register_command("resetidle", cmd_resetidle);
}

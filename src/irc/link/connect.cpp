#include "irc/services/ident.h"
#include "irc/lists/servers.h"
#include "irc/link/connect.h"

#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <random>
#include <unistd.h>

#include "model/connection.h"
#include "irc/dispatch/captions.h"
#include "irc/link/connections.h"
#include "core/main_settings.h"
#include "core/numbered_texts.h"
#include "core/options.h"
#include "core/string_list.h"
#include "core/text_limits.h"
#include "model/colors.h"
#include "model/line_buffer.h"
#include "model/tip_events.h"
#include "irc/link/close.h"
#include "irc/link/net_settings.h"
#include "irc/link/proxy.h"
#include "irc/link/send_queue.h"
#include "irc/ssl/ssl_api.h"
#include "irc/ssl/ssl_link.h"
#include "platform/platform_utils.h"
#include "platform/app_messages.h"
#include "platform/host_lookup.h"
#include "platform/sockets.h"
#include "script/events/event_fire.h"
#include "script/exec/script_types.h"
#include "irc/numerics/isupport.h"

std::string irc_request_host;
std::string irc_request_port;
std::string irc_request_password;
std::string irc_request_channels;
const char* const kDefaultPort = "6667";

namespace {


RecordSlot<LinkState> g_state_slot;
LinkState g_dummy;

int g_next_timer_id = 2000;

std::string fmt(int id, const std::string& a = std::string(), const std::string& b = std::string(),
                int number = 0, bool number_first = false)
{
    char buf[kLongText + 64];
    const char* f = text_load_string(id);
    if (number_first)
        std::snprintf(buf, sizeof buf, f, number, a.c_str(), b.c_str());
    else
        std::snprintf(buf, sizeof buf, f, a.c_str(), b.c_str());
    return std::string(buf);
}

bool identity_complete(const Connection* c)
{
    return !c->live_identity[0].empty() && !c->live_identity[1].empty() &&
           !c->live_identity[2].empty() && !c->live_server[0].empty() &&
           !c->live_server[4].empty();
}

bool stored_complete(const Connection* c)
{
    return !c->stored_identity[0].empty() && !c->stored_identity[1].empty() &&
           !c->stored_identity[2].empty() && !c->stored_identity[5].empty() &&
           !c->stored_identity[9].empty();
}

void incomplete(Connection* conn, bool stored)
{
    conn_report_missing_identity(conn, stored);
    conn_disconnect(std::string(), 1, conn);
    beep_error(0);
    if (irc_open_connect_options)
        irc_open_connect_options();
}

bool is_address(const std::string& text)
{
    SockAddr a;
    return !text.empty() && sockaddr_from_text(text, 0, a) == 1;
}

int port_number(const std::string& port)
{
    std::size_t i = (!port.empty() && port[0] == '+') ? 1 : 0;
    long v = 0;
    for (; i < port.size() && port[i] >= '0' && port[i] <= '9'; ++i) {
        v = v * 10 + (port[i] - '0');
        if (v > 65535)
            return 0;
    }
    return static_cast<int>(v);
}

void local_failure(Connection* conn, int code, int text_id)
{
    conn->resolving_local_host = 0;
    conn->failure_code = code;
    conn->reason = text_load_string(text_id);
    if (conn_schedule_retry(conn)) {
        if (conn_is_live(conn))
            conn_close(conn->reason, conn);
    } else if (conn_is_live(conn)) {
        conn_disconnect(conn->reason, 1 | 2 | 4, conn);
    }
}

} // namespace

std::string irc_eval_text(const std::string& text, Connection* conn)
{
    std::string out = text;
    ident_eval_text(link_status_window(conn), &out, nullptr, nullptr, 0, 0, -1, nullptr, conn);
    return out;
}

void link_refresh_ui(Connection* conn)
{
    conn_update_status_title(conn);
}
void (*irc_open_connect_options)() = nullptr;

LinkState& link_state(Connection* conn)
{
    if (!conn_is_live(conn)) {
        g_dummy = LinkState();
        return g_dummy;
    }
    return conn->state_slots.get(g_state_slot);
}

void ConnectTimerDrop::operator()(QTimer* timer) const
{
    // Possibly from within the timer's own signal: deleted later.
    timer->stop();
    timer->deleteLater();
}

// ---- What is missing for connecting ----

std::vector<int> conn_missing_identity(const Connection* conn, bool stored)
{
    std::vector<int> missing;
    if (!conn_is_live(conn))
        return missing;
    const std::string* id = stored ? conn->stored_identity : conn->live_identity;
    const std::string& host = stored ? conn->stored_identity[5] : conn->live_server[0];
    const std::string& port = stored ? conn->stored_identity[9] : conn->live_server[4];
    if (id[2].empty())
        missing.push_back(kMissingNick);
    if (id[0].empty())
        missing.push_back(kMissingFullName);
    if (id[1].empty())
        missing.push_back(kMissingEmail);
    if (host.empty() || port.empty())
        missing.push_back(kMissingServer);
    return missing;
}

void conn_report_missing_identity(Connection* conn, bool stored, QWidget* where)
{
    std::vector<int> missing = conn_missing_identity(conn, stored);
    if (missing.empty())
        return;
    // Each field with the command that sets it.
    std::string names;
    std::string commands;
    for (int field : missing) {
        names += (names.empty() ? "" : ", ") + std::string(text_load_string(9603 + field));
        commands += (commands.empty() ? "" : ", ") + std::string(text_load_string(9607 + field));
    }
    std::vector<std::string> lines = {fmt(9601, names), fmt(9602, commands)};
    // Without an alternative nick a logon whose nick is taken stops to ask.
    const std::string& alternative = stored ? conn->stored_identity[3] : conn->live_identity[3];
    if (alternative.empty())
        lines.push_back(text_load_string(9611));
    print_separator(where ? where : link_status_window(conn), kColorInfoText);
    for (const std::string& line : lines)
        print_line(where ? where : link_status_window(conn), std::string_view(line), kColorInfoText);
    print_separator(where ? where : link_status_window(conn), kColorInfoText);
}

// ---- Connect timers ----

int conn_set_connect_timer(Connection* conn, int delay_ms)
{
    if (!conn_is_live(conn))
        return 0;
    conn_kill_connect_timer(conn);
    int id = ++g_next_timer_id;
    auto* timer = new QTimer;
    timer->setSingleShot(true);
    QObject::connect(timer, &QTimer::timeout, [id] { conn_connect_timer_proc(id); });
    link_state(conn).connect_timer.reset(timer);
    timer->start(std::max(delay_ms, 0));
    conn->connect_timer_id = id;
    conn->retry_delay = delay_ms;
    return id;
}

void conn_kill_connect_timer(Connection* conn)
{
    if (!conn_is_live(conn) || !conn->connect_timer_id)
        return;
    link_state(conn).connect_timer.reset();
    conn->connect_timer_id = 0;
}

void conn_connect_timer_proc(int timer_id)
{
    Connection* conn = conn_by_connect_timer(timer_id);
    if (!conn)
        return;
    link_state(conn).connect_timer.reset();
    conn->connect_timer_id = 0;
    conn->retry_delay = 0;
    conn_connect_now(1, conn);
}

// ---- Begin ----

int conn_begin_connect(Connection* conn)
{
    if (!conn_is_live(conn))
        conn = conn_current();
    int delay = 100;
    if (!conn) {
        conn = conn_new_with_status(nullptr);
        if (!conn)
            conn = conn_new(nullptr);
        if (!conn)
            return 0;
    } else {
        int was_open = conn->connected || conn->connecting || conn->socket != -1;
        conn_disconnect(std::string(), 1 | 4, conn);
        if (!conn_is_live(conn))
            return 0;
        if (was_open)
            delay = 1000;
    }
    if (!irc_request_host.empty() || !irc_request_port.empty()) {
        std::string host = irc_request_host;
        std::string port = irc_request_port.empty() ? kDefaultPort : irc_request_port;
        std::size_t colon = host.find(':');
        if (colon != std::string::npos) {
            std::string after = host.substr(colon + 1);
            host.resize(colon);
            if (!after.empty()) {
                port = after;
                if (port_number(port) <= 0)
                    port = kDefaultPort;
            }
        }
        if (host.empty())
            host = conn->stored_identity[5];
        if (host.find('.') != std::string::npos || is_address(host)) {
            conn->stored_identity[5] = host;
            conn->stored_identity[9] = port;
        } else if (servers_select_group(host, conn)) {
            if (conn->stored_identity[9].empty() || !irc_request_port.empty() ||
                colon != std::string::npos)
                conn->stored_identity[9] = port;
        }
    }
    if (!irc_request_password.empty())
        conn->stored_identity[8] = irc_request_password;
    irc_request_host.clear();
    irc_request_password.clear();
    if (!stored_complete(conn)) {
        incomplete(conn, true);
        return 0;
    }
    conn_identity_copy(0, conn);
    if (!irc_request_channels.empty()) {
        conn_queue_autojoin(irc_request_channels, 1 | 2 | 4, conn);
        irc_request_channels.clear();
    }
    conn_set_connect_timer(conn, delay);
    link_refresh_ui(conn);
    return 1;
}

void conn_toggle(Connection* conn)
{
    if (!conn_is_live(conn)) {
        beep_error(0);
        return;
    }
    if (conn->connected || conn_is_connecting(conn))
        conn_disconnect(std::string(), 15, conn);
    else
        conn_connect_now(0, conn);
}

// ---- The connect step ----

void conn_connect_now(int from_timer, Connection* conn)
{
    if (!conn_is_live(conn))
        return;
    int pending = conn->pending_changes;
    conn->pending_changes = 0;
    if (pending & kPendingCopyStored)
        conn_identity_copy(0, conn);
    if (pending & kPendingNextServer)
        conn_next_server(conn);
    (void)from_timer;
    int retrying = conn->waiting_retry;
    conn_reset_stage(0, conn);
    if (!conn_is_live(conn))
        return;
    if (!identity_complete(conn)) {
        incomplete(conn, false);
        return;
    }
    if (opt(OPT_THIRD_NICK_SLOT)) {
        conn->nick_index = 2;
        conn->live_identity[4] = conn->live_identity[2];
        conn->stored_identity[4] = conn->live_identity[2];
    }
    LinkState& st = link_state(conn);
    std::string host = conn->live_server[0];
    std::string port = conn->live_server[4];
    std::string announce;
    if (retrying) {
        conn->retry_count = std::max(conn->retry_count, 2);
        char buf[kLongText + 64];
        std::snprintf(buf, sizeof buf, text_load_string(1504), conn->retry_count - 1, host.c_str(),
                      port.c_str());
        announce = buf;
        if (!st.alternates.empty())
            announce += " (" + std::string(text_load_string(1507)) + ")";
    } else {
        conn->retry_count = 1;
        announce = fmt(1503, host, port);
    }
    print_separator(link_status_window(conn), kColorInfoText);
    print_line(link_status_window(conn), std::string_view(announce), kColorInfoText);
    print_separator(link_status_window(conn), kColorInfoText);
    if (!conn_is_live(conn))
        return;
    conn->server_name = host;
    conn->connect_seconds = 1;
    if (event_announce_wanted(TIPOPT_CONNECT)) {
        TipEventText ev{std::string(), conn->network.empty() ? host : conn->network, std::string()};
        ev.alt = conn->network.empty() ? 0 : 1;
        tip_event.fire(TIPOPT_CONNECT, ev, 19, conn, nullptr);
    }
    if (!conn_is_live(conn))
        return;

    // SSL choice.
    int number = port_number(port);
    std::string key = host + ":" + std::to_string(number);
    if (!st.ssl_server.empty() && st.ssl_server == key && (port.empty() || port[0] != '+'))
        port = "+" + port;
    if (!port.empty() && port[0] == '+') {
        conn->ssl = 1;
        st.ssl_server = key;
        if (!ssl_available()) {
            echo_line(link_status_window(conn), std::string_view(text_load_string(5157)),
                      kColorInfoText);
            if (conn_is_live(conn))
                conn_disconnect(text_load_string(1506), 1, conn);
            return;
        }
    } else {
        conn->ssl = 0;
        st.ssl_server.clear();
    }
    ident_conn_start(conn);
    if (!conn_is_live(conn))
        return;
    irc_link_activity.fire(0);
    if (conn->local_ip != 0 || opt(OPT_LOCAL_LOOKUP_BY_SERVER))
        conn_lookup_server(conn);
    else
        conn_lookup_local_host(conn);
}

void conn_lookup_local_host(Connection* conn)
{
    if (!conn_is_live(conn))
        return;
    conn->resolving_local_host = 1;
    std::string unknown = text_load_string(6002);
    std::string before = conn->local_host;
    if (opt(OPT_LOOKUP_LOCAL_HOST) || conn->local_host.empty() || conn->local_host == unknown) {
        char name[257] = {0};
        conn->local_host = gethostname(name, 256) == 0 && name[0] ? std::string(name) : unknown;
    }
    if (!opt(OPT_LOOKUP_LOCAL_ADDRESS) && conn->local_ip != 0 && conn->local_host == before) {
        conn->resolving_local_host = 0;
        conn_lookup_server(conn);
        return;
    }
    if (conn->local_host.empty() || conn->local_host == unknown) {
        conn->local_ip_text = unknown;
        local_failure(conn, kFailLocalName, 6007);
        return;
    }
    int handle = host_lookup_start(conn->local_host, WM_APP_LOCAL_HOST_RESOLVED, AF_INET);
    if (!handle) {
        local_failure(conn, kFailLocalResolve, 6008);
        return;
    }
    conn->lookup_handle = handle;
}

// The result of a finished lookup, and the connection that waited for it
// (its lookup handle cleared); null when none waits any more.
static Connection* take_lookup(uintptr_t handle, HostLookupResult& result)
{
    Connection* conn = conn_by_lookup_handle(static_cast<int>(handle));
    host_lookup_take(static_cast<int>(handle), result);
    if (conn)
        conn->lookup_handle = 0;
    return conn;
}

intptr_t conn_on_local_host(uintptr_t handle, intptr_t lparam)
{
    HostLookupResult result;
    Connection* conn = take_lookup(handle, result);
    if (!conn)
        return 0;
    conn->resolving_local_host = 0;
    if (host_lookup_error(lparam) == 0 && !result.addresses.empty()) {
        if (!result.name.empty())
            conn->local_host = result.name;
        conn->local_ip = sockaddr_ipv4(result.addresses[0]);
        conn->local_ip_text = sockaddr_ip_text(result.addresses[0]);
    }
    if (conn->local_ip != 0 && conn->connecting) {
        conn_lookup_server(conn);
        return 0;
    }
    conn->local_ip = 0;
    conn->local_ip_text.clear();
    if (conn->connecting)
        local_failure(conn, kFailLocalResolve, 6008);
    return 0;
}

void conn_show_local_host(Connection* conn)
{
    if (!conn_is_live(conn))
        return;
    std::string unknown = text_load_string(6002);
    std::string line = std::string(text_load_string(6013)) +
                       (conn->local_host.empty() ? unknown : conn->local_host) + " (" +
                       (conn->local_ip_text.empty() ? unknown : conn->local_ip_text) + ")";
    print_line(link_status_window(conn), std::string_view(line), kColorInfoText);
}

void conn_lookup_server(Connection* conn)
{
    if (!conn_is_live(conn))
        return;
    if (conn->local_ip != 0)
        conn_show_local_host(conn);
    LinkState& st = link_state(conn);
    while (!st.alternates.empty()) {
        std::string head = st.alternates.front();
        st.alternates.erase(st.alternates.begin());
        if (is_address(head)) {
            conn_socket_connect(head, conn);
            return;
        }
    }
    if (is_address(conn->server_name)) {
        conn_socket_connect(conn->server_name, conn);
        return;
    }
    // SOCKS5 and HTTP proxies take the name; SOCKS4 needs the address,
    // looked up here first.
    if (proxy_serves(conn->server_name) && proxy_settings.method != kProxySocks4) {
        proxy_connect(conn->server_name, port_number(conn->live_server[4]), kProxyModeConnect,
                      kProxyOwnerConnection, conn->id);
        return;
    }
    int handle = host_lookup_start(conn->server_name, WM_APP_SERVER_RESOLVED, AF_UNSPEC);
    if (!handle) {
        conn_fail_attempt(conn, kFailServerResolve, text_load_string(6009));
        return;
    }
    conn->lookup_handle = handle;
}

intptr_t conn_on_server_resolved(uintptr_t handle, intptr_t lparam)
{
    HostLookupResult result;
    Connection* conn = take_lookup(handle, result);
    if (!conn)
        return 0;
    if (host_lookup_error(lparam) != 0 || result.addresses.empty()) {
        conn_fail_attempt(conn, kFailServerResolve, text_load_string(6009));
        return 0;
    }
    std::string first = sockaddr_ip_text(result.addresses[0]);
    std::vector<std::string> others;
    for (std::size_t i = 1; i < result.addresses.size() && others.size() < 64; ++i) {
        std::string t = sockaddr_ip_text(result.addresses[i]);
        if (t != first && t != conn->server_name &&
            std::find(others.begin(), others.end(), t) == others.end())
            others.push_back(t);
    }
    std::string use = first;
    if (!others.empty()) {
        static std::mt19937 rng{std::random_device{}()};
        std::shuffle(others.begin(), others.end(), rng);
        use = others.front();
        LinkState& st = link_state(conn);
        if (st.alternates.empty())
            st.alternates = others;
    }
    conn_socket_connect(use, conn);
    return 0;
}

int conn_socket_connect(const std::string& address, Connection* conn)
{
    if (!conn_is_live(conn))
        return 0;
    SockAddr addr;
    if (!sockaddr_from_text(address, port_number(conn->live_server[4]), addr)) {
        conn_fail_attempt(conn, kFailServerResolve, text_load_string(6009));
        return 0;
    }
    link_state(conn).server_address = sockaddr_ip_text(addr);
    if (proxy_serves(conn->server_name) && proxy_serves(address))
        return proxy_connect(address, port_number(conn->live_server[4]), kProxyModeConnect,
                             kProxyOwnerConnection, conn->id);
    int s = sock_create(sockaddr_family(addr), SOCK_STREAM);
    if (s == INVALID_SOCKET) {
        conn_fail_attempt(conn, -1, text_load_string(6010));
        return 0;
    }
    sock_set_keepalive(s);
    conn->socket = s;
    sock_async_select(s, WM_APP_SERVER_CONNECTED, FD_CONNECT);
    if (sock_connect(s, addr) == SOCKET_ERROR) {
        int error = sock_last_error();
        if (error != WSAEWOULDBLOCK) {
            conn->reason.clear();
            conn_fail_message(error, conn);
            conn_fail_attempt(conn, kFailConnect, conn->reason);
            return 0;
        }
    }
    return 1;
}

void conn_fail_message(int error, Connection* conn)
{
    if (!conn_is_live(conn))
        return;
    std::string reason = conn->reason;
    if (reason.empty() && error) {
        reason = socket_error_text(error);
        std::size_t blank = reason.find(' ');
        reason = blank == std::string::npos ? std::string() : reason.substr(blank + 1);
    } else if (reason.rfind("* ", 0) == 0) {
        reason.erase(0, 2);
    }
    std::string collapsed;
    for (char c : reason) {
        if (c == ' ' && (collapsed.empty() || collapsed.back() == ' '))
            continue;
        collapsed.push_back(c);
    }
    while (!collapsed.empty() && collapsed.back() == ' ')
        collapsed.pop_back();
    std::string text = text_load_string(6012);
    if (!collapsed.empty())
        text += " (" + collapsed + ")";
    if (text.size() > kLongText)
        text.resize(kLongText);
    conn->reason = text;
}

// ---- Registration ----

std::vector<std::string> irc_logon_lines(Connection* conn)
{
    std::vector<std::string> lines;
    if (!conn_is_live(conn))
        return lines;
    const std::string& password = conn->live_server[3];
    if (!password.empty())
        lines.push_back("PASS " + password + "\n");
    int slot = std::clamp(conn->nick_index, 0, 2);
    std::string nick = conn->live_identity[2 + slot];
    if (nick.empty())
        nick = conn->live_identity[2];
    lines.push_back("NICK " + nick + "\n");

    const std::string& email = conn->live_identity[1];
    std::size_t at = email.find('@');
    std::string user;
    std::string host_part;
    if (at != std::string::npos) {
        user = email.substr(0, at);
        host_part = email.substr(at + 1);
    } else {
        user = ident_settings.enabled ? ident_user_id(conn) : std::string();
    }
    if (user.empty())
        user = "user";
    if (!conn->local_host.empty())
        host_part = conn->local_host;
    std::size_t blank = host_part.find(' ');
    if (blank != std::string::npos)
        host_part.resize(blank);
    std::string full = irc_eval_text(conn->live_identity[0], conn);
    if (full.empty())
        full = conn->live_identity[0];
    if (full.empty())
        full = nick;
    if (full.size() > kShortText)
        full.resize(kShortText);
    lines.push_back("USER " + user + " \"" + host_part + "\" \"" + conn->server_name + "\" :" +
                    full + "\n");
    return lines;
}

intptr_t irc_logon(uintptr_t socket, intptr_t lparam)
{
    Connection* conn = conn_by_socket(static_cast<int>(socket));
    if (!conn)
        return 0;
    int error = WSAGETSELECTERROR(lparam);
    if (error || conn->connected || !conn->connecting) {
        int code = conn->connecting ? kFailConnect : -1;
        // A certificate the user turned down ends the attempt without a retry.
        if (conn->ssl && ssl_link_rejected(conn->socket))
            link_state(conn).ssl_state = 3;
        conn->reason.clear();
        conn_fail_message(error, conn);
        conn_fail_attempt(conn, code, conn->reason);
        return 0;
    }
    LinkState& st = link_state(conn);
    if (conn->ssl) {
        // The TCP connect starts the handshake on the link's worker, which
        // posts this message again when it is done.
        if (st.ssl_state == 0) {
            st.ssl_state = 1;
            if (!ssl_start(conn->socket, kSslOwnerServer, conn->server_name,
                           port_number(conn->live_server[4]))) {
                st.ssl_state = 3;
                if (conn_is_live(conn))
                    conn_disconnect(text_load_string(1506), 1, conn);
            }
            return 0;
        }
        if (st.ssl_state != 1) {
            st.ssl_state = 3;
            conn_disconnect(text_load_string(1506), 1, conn);
            return 0;
        }
        st.ssl_state = 2;
    } else {
        sock_async_select(conn->socket, WM_APP_SERVER_SOCKET, FD_READ | FD_WRITE | FD_CLOSE);
    }
    conn_reset_stage(1, conn);
    if (!conn_is_live(conn))
        return 0;
    if (event_switch_events) {
        int halt = 0;
        EventSource source;
        int go_on = event_fire(conn, link_status_window(conn), nullptr, "LOGON", 37, 1, &halt,
                               &source);
        if (!conn_is_live(conn) || !conn->connected)
            return 0;
        if (!go_on || halt)
            return 0;
    }
    irc_state_new_link(conn);
    for (const std::string& line : irc_logon_lines(conn)) {
        irc_send_line(line, 0, conn);
        if (!conn_is_live(conn) || !conn->connected)
            return 0;
    }
    if (event_switch_events) {
        EventSource source;
        event_fire(conn, link_status_window(conn), nullptr, "LOGON", 37, 0, nullptr, &source);
    }
    if (conn_is_live(conn))
        link_refresh_ui(conn);
    return 0;
}

void irc_send_quit(Connection* conn)
{
    // One QUIT per link: a link that has quit already (by /quit with its own
    // message) is not sent a second one when it is then closed.
    if (!conn_is_live(conn) || conn->quitting)
        return;
    std::string message = main_settings.quit_message;
    if (!message.empty())
        message = irc_eval_text(message, conn);
    irc_send_line("QUIT :" + message + "\n", 0, conn);
    if (conn_is_live(conn))
        conn->quitting = 1;
}

// ---- Install ----

#include "irc/link/receive.h"
#include "irc/services/finger.h"

void irc_link_install()
{
    frame_set_handler(WM_APP_LOCAL_HOST_RESOLVED, conn_on_local_host);
    frame_set_handler(WM_APP_SERVER_RESOLVED, conn_on_server_resolved);
    frame_set_handler(WM_APP_SERVER_CONNECTED, irc_logon);
    frame_set_handler(WM_APP_SERVER_SOCKET, irc_read_loop);
    frame_set_handler(WM_APP_SEND_QUEUE, irc_on_send_queue_message);
    frame_set_handler(WM_APP_CONNECTION_REQUEST, conn_on_connectfail_message);
    // The loaded identity becomes the first connection's live one.
    static int identity_listener = 0;
    settings_loaded.add_once(identity_listener, kLoadIdentityCopy,
                             [](SettingsLoad& load) { conn_identity_copy(0, load.first); });
    servers_install();
    proxy_install();
    ident_install();
    finger_install();
    irc_connections_install();
}

#include "script/stores/timers.h"

QWidget* link_status_window(Connection* conn)
{
    return conn_is_live(conn) ? timer_status_window(conn) : nullptr;
}

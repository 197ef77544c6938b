#include "irc/services/ident.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>

#include "model/connection.h"
#include "core/main_settings.h"
#include "core/numbered_texts.h"
#include "core/options.h"
#include "core/text_limits.h"
#include "model/colors.h"
#include "model/line_buffer.h"
#include "irc/link/close.h"
#include "irc/link/connect.h"
#include "irc/link/net_settings.h"
#include "platform/app_messages.h"
#include "platform/sockets.h"

namespace {

int g_listen = -1;
int g_client = -1;
std::string g_client_address;
int g_replied = 0;
int g_stage_listener = 0;

bool anyone_needs()
{
    for (Connection* c = conn_list; c; c = c->next)
        if (c->connecting || c->ident_state != kIdentNone)
            return true;
    return false;
}

bool should_run() { return !opt(OPT_IDENT_ONLY_WHILE_CONNECTING) || anyone_needs(); }

void close_listener()
{
    if (g_listen != -1)
        sock_close(g_listen);
    g_listen = -1;
}

// The connection in `state` whose server address is the client's, else any
// in that state.
Connection* waiting_conn(int state)
{
    Connection* any = nullptr;
    for (Connection* c = conn_list; c; c = c->next) {
        if (c->ident_state != state)
            continue;
        if (!g_client_address.empty() && link_state(c).server_address == g_client_address)
            return c;
        if (!any)
            any = c;
    }
    return any;
}

// Where a request goes when no connection waits for one: null when the
// client must be closed.
Connection* fallback_conn()
{
    if (opt(OPT_IDENT_ONLY_WHILE_CONNECTING))
        return nullptr;
    return conn_current();
}

void show(Connection* conn, const std::string& text, bool separator_after)
{
    if (!opt(OPT_IDENT_SHOW_REQUESTS) || !conn_is_live(conn))
        return;
    if (!separator_after)
        print_separator(link_status_window(conn), kColorInfoText);
    print_line(link_status_window(conn), std::string_view(text), kColorInfoText);
    if (separator_after && conn_is_live(conn))
        print_separator(link_status_window(conn), kColorInfoText);
}

// Reads a decimal port after leading blanks; -1 when there is none.
long read_port(const std::string& text)
{
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
        ++i;
    if (i >= text.size() || !std::isdigit(static_cast<unsigned char>(text[i])))
        return -1;
    long v = 0;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])) && v < 100000; ++i)
        v = v * 10 + (text[i] - '0');
    return v;
}

} // namespace

int tick_ident_countdown = 0;

std::string ident_user_id(Connection* conn)
{
    return opt_ident_userid(ident_settings.userid, conn);
}

void ident_listen(Connection* conn)
{
    if (!ident_settings.enabled)
        return;
    if (!should_run())
        return;
    if (ident_user_id(conn).empty()) {
        ident_settings.enabled = 0;
        ident_close(nullptr);
        return;
    }
    if (g_listen != -1)
        return;
    int s = sock_create(AF_INET, SOCK_STREAM);
    if (s == INVALID_SOCKET)
        return;
    sock_set_option(s, SOL_SOCKET, SO_REUSEADDR, 1);
    SockAddr addr = sockaddr_from_ipv4(0, ident_settings.port > 0 ? ident_settings.port : 113);
    if (sock_bind(s, addr) != 0 || sock_listen(s, 5) != 0 ||
        sock_async_select(s, WM_APP_IDENT_ACCEPT, FD_ACCEPT) != 0) {
        // No message: the listener is simply not there.
        sock_close(s);
        ident_close(nullptr);
        return;
    }
    g_listen = s;
}

void ident_conn_start(Connection* conn)
{
    if (!conn_is_live(conn))
        return;
    conn->ident_state = kIdentWaiting;
    conn->ident_address = -1;
    ident_listen(conn);
}

void ident_close(Connection* conn)
{
    if (g_client != -1)
        sock_close(g_client);
    g_client = -1;
    tick_ident_countdown = 0;
    g_replied = 0;
    g_client_address.clear();
    if (!conn)
        close_listener();
    else if (g_listen != -1)
        sock_async_select(g_listen, WM_APP_IDENT_ACCEPT, FD_ACCEPT);
}

void ident_client_done()
{
    ident_close(conn_current());
    if (opt(OPT_IDENT_ONLY_WHILE_CONNECTING) && !anyone_needs())
        close_listener();
}

void ident_logon_done(Connection*)
{
    if (opt(OPT_IDENT_ONLY_WHILE_CONNECTING) && !anyone_needs())
        ident_close(nullptr);
}

void ident_restart()
{
    ident_close(nullptr);
    post_app_message(WM_APP_IDENT_START, 0, 0);
}

int ident_listening_port()
{
    SockAddr a;
    return g_listen != -1 && sock_local_address(g_listen, a) == 0 ? sockaddr_port(a) : 0;
}

intptr_t ident_accept(uintptr_t socket, intptr_t)
{
    if (static_cast<int>(socket) != g_listen || g_listen == -1 || g_client != -1)
        return 0;
    SockAddr peer;
    int client = sock_accept(g_listen, &peer);
    if (client == INVALID_SOCKET)
        return 0;
    // One client at a time: no more accept notices meanwhile.
    sock_async_select(g_listen, 0, 0);
    g_client = client;
    g_client_address = sockaddr_family(peer) == AF_INET ? sockaddr_ip_text(peer) : std::string();
    Connection* conn = waiting_conn(kIdentWaiting);
    if (conn)
        conn->ident_state = kIdentServing;
    else
        conn = fallback_conn();
    if (!conn) {
        ident_client_done();
        return 0;
    }
    std::string text = g_client_address.empty() ? std::string(text_load_string(3102))
                                                : text_fill_id(3101, {g_client_address});
    show(conn, text, false);
    tick_ident_countdown = kIdentClientSeconds;
    g_replied = 0;
    sock_async_select(g_client, WM_APP_IDENT_SERVE, FD_READ | FD_CLOSE);
    return 0;
}

intptr_t ident_serve(uintptr_t socket, intptr_t lparam)
{
    if (static_cast<int>(socket) != g_client || g_client == -1)
        return 0;
    if (WSAGETSELECTERROR(lparam) || WSAGETSELECTEVENT(lparam) == FD_CLOSE) {
        ident_client_done();
        return 0;
    }
    char buf[kMediumText];
    long n = sock_recv(g_client, buf, sizeof buf);
    if (n < 0 && sock_last_error() == WSAEWOULDBLOCK)
        return 0;
    if (n < 2 || static_cast<std::size_t>(n) >= kIdentRequestMax) {
        ident_client_done();
        return 0;
    }
    std::string request(buf, static_cast<std::size_t>(n));
    std::size_t comma = request.find(',');
    long server_port = comma == std::string::npos ? -1 : read_port(request.substr(0, comma));
    long client_port = comma == std::string::npos ? -1 : read_port(request.substr(comma + 1));
    if (server_port < 0 || client_port < 0) {
        ident_client_done();
        return 0;
    }
    Connection* conn = waiting_conn(kIdentServing);
    if (conn)
        conn->ident_state = kIdentNone;
    else
        conn = waiting_conn(kIdentWaiting) ? waiting_conn(kIdentWaiting) : fallback_conn();
    if (!conn) {
        ident_client_done();
        return 0;
    }
    std::string user = ident_user_id(conn);
    if (opt(OPT_IDENT_OWN_IDENTITY)) {
        std::string own = opt_ident_userid(std::string(), conn);
        if (!own.empty())
            user = own;
    }
    char line[kShortTextSize + 64];
    std::snprintf(line, sizeof line, "%ld, %ld : USERID : %s : %s\r\n", server_port, client_port,
                  ident_settings.system.c_str(), user.c_str());
    char shown[kShortTextSize + 64];
    std::snprintf(shown, sizeof shown, text_load_string(3103), static_cast<int>(server_port),
                  static_cast<int>(client_port), ident_settings.system.c_str(), user.c_str());
    show(conn, shown, true);
    sock_async_select(g_client, WM_APP_IDENT_CLOSE, FD_WRITE | FD_CLOSE);
    const std::string reply = line;
    if (sock_send(g_client, reply.data(), reply.size()) != static_cast<long>(reply.size())) {
        ident_client_done();
        return 0;
    }
    tick_ident_countdown = kIdentLingerSeconds;
    g_replied = 1;
    return 0;
}

intptr_t ident_on_close(uintptr_t socket, intptr_t lparam)
{
    if (static_cast<int>(socket) != g_client || g_client == -1)
        return 0;
    if (WSAGETSELECTEVENT(lparam) == FD_WRITE && !WSAGETSELECTERROR(lparam) && g_replied)
        return 0;
    ident_client_done();
    return 0;
}

void ident_install()
{
    static int load_listener = 0;
    settings_loaded.add_once(load_listener, kLoadIdent, [](SettingsLoad&) { ident_settings_load(); });
    frame_set_handler(WM_APP_IDENT_START, [](uintptr_t, intptr_t) -> intptr_t {
        ident_listen(conn_current());
        return 0;
    });
    frame_set_handler(WM_APP_IDENT_ACCEPT, ident_accept);
    frame_set_handler(WM_APP_IDENT_SERVE, ident_serve);
    frame_set_handler(WM_APP_IDENT_CLOSE, ident_on_close);
    // A link set up or closed may leave nobody needing the listener.
    irc_link_stage.add_once(g_stage_listener, 50, [](int stage, Connection*) {
        if (stage >= 2 && g_client == -1 && g_listen != -1 && opt(OPT_IDENT_ONLY_WHILE_CONNECTING) &&
            !anyone_needs())
            close_listener();
    });
}

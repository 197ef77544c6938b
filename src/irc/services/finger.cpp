#include "irc/services/finger.h"

#include <cctype>
#include <cstdio>
#include <algorithm>

#include <QTimer>

#include "model/connection.h"
#include "model/window_requests.h"
#include "model/window_record.h"
#include "core/ini.h"
#include "core/numbered_texts.h"
#include "core/options.h"
#include "core/main_settings.h"
#include "core/string_list.h"
#include "core/text_buffer.h"
#include "core/text_limits.h"
#include "model/colors.h"
#include "model/line_buffer.h"
#include "irc/link/connect.h"
#include "irc/link/receive.h"
#include "irc/lists/address_list.h"
#include "irc/lists/user_lists.h"
#include "platform/app_messages.h"
#include "platform/host_lookup.h"
#include "platform/sockets.h"
#include "script/exec/script_types.h"

int finger_port = 79;
int finger_server_client_seconds = 30;

namespace {

// Bytes taken by one read of either side.
constexpr std::size_t kReadChunk = 1024;

// ---- The client ----

struct Client {
    std::string user;        // the query's user (may be empty)
    std::string host;        // the query's host
    int running = 0;
    int lookup = 0;          // pending host lookup, 0 = none
    int sock = -1;
    std::string line;        // the reply line being assembled
    int read_counter = 0;    // reads since the last re-poll
};
Client g_client;

QWidget* finger_window()
{
    WindowRecord* rec = win_find_by_type(kWinFinger, nullptr);
    return rec ? rec->hwnd.get() : nullptr;
}

void say(const std::string& text, std::uint32_t colour = kColorInfoText)
{
    if (QWidget* w = finger_window())
        print_line(w, std::string_view(text), colour);
}

void separator()
{
    if (QWidget* w = finger_window())
        print_separator(w, kColorInfoText);
}

// The reply line so far goes to the window (an empty one as one blank).
void flush_line()
{
    say(g_client.line.empty() ? std::string(" ") : g_client.line, kColorNormalText);
    g_client.line.clear();
}

// The end of a query that reached its reading stage.
void end_session(const std::string& error)
{
    if (!g_client.line.empty())
        flush_line();
    if (!error.empty())
        say(error);
    separator();
    say(text_load_string(2510));
    finger_close(std::string());
}

// The target at the top of the history, duplicates removed, at most 20.
void history_add(const std::string& target)
{
    StringNode* list = finger_history_load();
    list = strlist_prepend(list, std::string_view(target), 1, 0);
    while (strlist_count(list) > kFingerHistoryMax)
        list = strlist_drop_tail(list);
    ini_write_numbered_list(list, "finger", "n", 0, main_ini_path);
    strlist_free(&list);
}

void open_window(Connection* conn)
{
    if (finger_window()) {
        separator();
        return;
    }
    if (!conn_is_live(conn))
        conn = conn_current();
    if (!conn_is_live(conn))
        return;
    WindowOpenRequest request;
    request.name = "Finger Window";
    request.type = kWinFinger;
    request.conn = conn;
    win_request_open(request);
}

void connect_address(const SockAddr& address)
{
    int s = sock_create(AF_INET, SOCK_STREAM);
    if (s == INVALID_SOCKET) {
        finger_close(text_load_string(2504));
        return;
    }
    g_client.sock = s;
    sock_async_select(s, WM_APP_FINGER_SOCKET, FD_CONNECT);
    SockAddr to = sockaddr_from_ipv4(sockaddr_ipv4(address), finger_port);
    if (sock_connect(s, to) != 0 && sock_last_error() != WSAEWOULDBLOCK)
        finger_close(text_load_string(2505));
}

// The user@host part of an address-list entry "nick!user@host": from the
// first letter after the '!' on.
std::string user_at_host(const std::string& address)
{
    std::size_t bang = address.find('!');
    std::size_t at = address.find('@', bang == std::string::npos ? 0 : bang);
    if (bang == std::string::npos || at == std::string::npos)
        return std::string();
    std::size_t from = bang + 1;
    while (from < at && !std::isalpha(static_cast<unsigned char>(address[from])))
        ++from;
    return address.substr(from);
}

// ---- The server ----

struct Server {
    int listen = -1;
    int client = -1;
    std::FILE* file = nullptr;
    std::string address;     // the peer's address text
    std::string pending;     // bytes of the current line still to send
    int blank_lines = 0;     // LF-only lines held until a non-blank line follows
    int send_counter = 0;    // sends since the last re-poll
};
Server g_server;

// The served client's time limit, restarted whenever it makes progress.
QTimer* client_timer()
{
    static QTimer* timer = [] {
        auto* t = new QTimer;
        t->setSingleShot(true);
        QObject::connect(t, &QTimer::timeout, [] { finger_server_close_client(1); });
        return t;
    }();
    return timer;
}

void client_progress()
{
    client_timer()->start(finger_server_client_seconds * 1000);
}

void server_status_line(Connection* conn, const std::string& text)
{
    if (conn_is_live(conn))
        print_line(link_status_window(conn), std::string_view(text), kColorInfoText);
}

// One line of the reply file made ready to send: "$" lines are evaluated as
// script text (a failed evaluation drops the line). False: drop it.
bool prepare_line(std::string& line)
{
    if (line.empty() || line[0] != '$')
        return true;
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
        line.pop_back();
    line[0] = ' ';
    Connection* conn = conn_current();
    if (!ident_eval_text(conn_is_live(conn) ? link_status_window(conn) : nullptr, &line, nullptr, nullptr, 0, 0,
                         -1, nullptr, conn))
        return false;
    line += '\n';
    return true;
}

// Reads the next line of the file (at most kLongText bytes); false at the
// end of the file.
bool next_file_line(std::string& out)
{
    out.clear();
    if (!g_server.file)
        return false;
    char buf[kLongText + 50];
    if (!std::fgets(buf, static_cast<int>(kLongText), g_server.file))
        return false;
    out = buf;
    return true;
}

bool is_blank_line(const std::string& line)
{
    return line == "\n" || line == "\r\n";
}

// Sends what is pending; false when the client was closed. `done` is set
// when everything pending went out.
bool send_pending(bool& done)
{
    done = false;
    while (!g_server.pending.empty()) {
        long n = sock_send(g_server.client, g_server.pending.data(), g_server.pending.size());
        if (n < 0) {
            if (sock_last_error() == WSAEWOULDBLOCK)
                return true;
            finger_server_close_client(1);
            return false;
        }
        g_server.pending.erase(0, static_cast<std::size_t>(n));
        client_progress();
    }
    done = true;
    return true;
}

// Scans the file from its start for a line beginning with the section
// name; the file stands after that line when found.
bool find_section(const std::string& section)
{
    std::rewind(g_server.file);
    std::string line;
    while (next_file_line(line))
        if (text_starts_with_nocase(line, section))
            return true;
    return false;
}

// Sends the section's lines until the socket is full, the section ends or
// a re-poll is due.
void serve_lines()
{
    for (;;) {
        bool done = false;
        if (!send_pending(done))
            return;
        if (!done)
            return;  // the rest goes with the next write notice
        if (++g_server.send_counter >= kReadsPerBurst) {
            g_server.send_counter = 0;
            if (sock_defer_poll(WM_APP_FINGERD_CLOSE, g_server.client, FD_WRITE, 0))
                return;
        }
        std::string line;
        bool got = false;
        while (next_file_line(line)) {
            if (ini_is_section_line(line.c_str()))
                break;
            if (is_blank_line(line)) {
                ++g_server.blank_lines;
                continue;
            }
            if (!prepare_line(line))
                continue;
            got = true;
            break;
        }
        if (!got) {
            finger_server_close_client(1);
            return;
        }
        if (line.empty() || line.back() != '\n')
            line += '\n';
        g_server.pending.assign(static_cast<std::size_t>(g_server.blank_lines), '\n');
        g_server.blank_lines = 0;
        g_server.pending += line;
    }
}

} // namespace

// ---- Client ----

int finger_running()
{
    return g_client.running;
}

StringNode* finger_history_load()
{
    return ini_read_numbered_list("finger", "n", nullptr, main_ini_path, 0);
}

void finger_close(const std::string& text)
{
    if (!text.empty() && g_client.running)
        say(text);
    if (g_client.lookup)
        host_lookup_cancel(g_client.lookup);
    g_client.lookup = 0;
    if (g_client.sock != -1)
        sock_close(g_client.sock);
    g_client.sock = -1;
    g_client.running = 0;
    g_client.line.clear();
    g_client.read_counter = 0;
}

int finger_query_start(QWidget* window, const std::string& target, Connection* conn)
{
    if (g_client.running) {
        finger_close(text_load_string(755));
        return 0;
    }
    std::size_t from = 0;
    while (from < target.size() && target[from] == ' ')
        ++from;
    bool at_sign = from < target.size() && target[from] == '@';
    if (at_sign)
        ++from;
    std::string t = target.substr(from, kShortText);
    if (t.empty())
        return 0;
    if (t.find('.') != std::string::npos) {
        finger_connect(window, t, conn);
        return 1;
    }
    // A nick: its address from the list, or from the server.
    if (!conn_is_live(conn))
        conn = conn_of_window(window);
    if (conn_check_connected(window, conn))
        return 0;
    const std::string nick = text_first_word_of(t);
    IalResult found;
    if (ial_lookup(nick, found, conn)) {
        std::string address = user_at_host(found.text);
        if (!address.empty()) {
            finger_connect(window, address, conn);
            return 1;
        }
    }
    return irc_userhost_request_on(conn, nick, std::string(), std::string(), std::string(), 5, 0, window, 0,
                                   at_sign ? kUhFingerUserHost : kUhFingerHost, 0, 0);
}

void finger_userhost_done(QWidget* window, const std::string* target, Connection* conn)
{
    if (!target) {
        g_client.user.clear();
        g_client.host.clear();
        return;
    }
    if (g_client.running)
        return;  // another query started meanwhile
    finger_connect(window, *target, conn);
}

void finger_connect(QWidget* window, const std::string& target, Connection* conn)
{
    (void)window;
    if (g_client.running)
        finger_close(std::string());
    std::string t = text_first_word_of(target).substr(0, kShortText);
    std::size_t at = t.find('@');
    g_client.user = at == std::string::npos ? std::string() : t.substr(0, at);
    g_client.host = at == std::string::npos ? t : t.substr(at + 1);
    if (g_client.host.empty())
        return;
    history_add(t);
    open_window(conn);
    g_client.running = 1;
    g_client.line.clear();
    g_client.read_counter = 0;
    say(text_fill_id(2501, {g_client.host}));
    SockAddr address;
    if (sockaddr_from_text(g_client.host, 0, address) && sockaddr_family(address) == AF_INET) {
        connect_address(address);
        return;
    }
    g_client.lookup = host_lookup_start(g_client.host, WM_APP_FINGER_RESOLVED, AF_INET);
    if (!g_client.lookup)
        finger_close(text_load_string(2503));
}

intptr_t finger_on_lookup(uintptr_t handle, intptr_t lparam)
{
    if (!g_client.running || static_cast<int>(handle) != g_client.lookup || !g_client.lookup)
        return 0;
    g_client.lookup = 0;
    HostLookupResult result;
    const bool taken = host_lookup_take(static_cast<int>(handle), result);
    const SockAddr* v4 = nullptr;
    if (taken && !host_lookup_error(lparam))
        for (const SockAddr& a : result.addresses)
            if (sockaddr_family(a) == AF_INET) {
                v4 = &a;
                break;
            }
    if (!v4) {
        finger_close(text_load_string(2503));
        return 0;
    }
    connect_address(*v4);
    return 0;
}

intptr_t finger_on_connect(uintptr_t socket, intptr_t lparam)
{
    if (!g_client.running || static_cast<int>(socket) != g_client.sock || g_client.sock == -1)
        return 0;
    if (WSAGETSELECTERROR(lparam)) {
        finger_close(text_load_string(2505));
        return 0;
    }
    std::string request;
    if (!g_client.user.empty()) {
        say(text_fill_id(2506, {g_client.user, g_client.host}));
        request = g_client.user + "\n";
    } else {
        say(text_fill_id(2507, {g_client.host}));
        request = "@" + g_client.host + "\n";
    }
    separator();
    g_client.user.clear();
    g_client.host.clear();
    g_client.line.clear();
    sock_async_select(g_client.sock, WM_APP_FINGER_PENDING, FD_READ | FD_CLOSE);
    if (sock_send(g_client.sock, request.data(), request.size()) != static_cast<long>(request.size()))
        finger_close(text_load_string(2508));
    return 0;
}

intptr_t finger_on_read(uintptr_t socket, intptr_t lparam)
{
    if (static_cast<int>(socket) != g_client.sock || g_client.sock == -1)
        return 0;
    if (!g_client.running) {
        finger_close(std::string());
        return 0;
    }
    if (WSAGETSELECTERROR(lparam)) {
        end_session(text_load_string(2509));
        return 0;
    }
    char buf[kReadChunk];
    for (;;) {
        if (++g_client.read_counter >= kReadsPerBurst) {
            g_client.read_counter = 0;
            if (sock_defer_poll(WM_APP_FINGER_PENDING, g_client.sock, FD_READ, 0))
                return 0;
        }
        long n = sock_recv(g_client.sock, buf, sizeof buf);
        if (n < 0) {
            if (sock_last_error() == WSAEWOULDBLOCK)
                return 0;
            end_session(text_load_string(2509));
            return 0;
        }
        if (n == 0) {
            end_session(std::string());
            return 0;
        }
        for (long i = 0; i < n; ++i) {
            const char c = buf[i];
            if (c == '\r' || c == '\0')
                continue;
            if (c == '\n') {
                flush_line();
                continue;
            }
            if (c == '\t') {
                std::size_t to = (g_client.line.size() / 8 + 1) * 8;
                g_client.line.resize(std::min(to, kFingerLineMax), ' ');
            } else {
                g_client.line += c;
            }
            if (g_client.line.size() >= kFingerLineMax)
                flush_line();
        }
        if (!g_client.running)
            return 0;
    }
}

// ---- Server ----

int finger_server_listening_port()
{
    SockAddr a;
    return g_server.listen != -1 && sock_local_address(g_server.listen, a) == 0 ? sockaddr_port(a) : 0;
}

void finger_server_close_client(int mode)
{
    if (g_server.client != -1)
        sock_close(g_server.client);
    g_server.client = -1;
    if (g_server.file)
        std::fclose(g_server.file);
    g_server.file = nullptr;
    g_server.address.clear();
    g_server.pending.clear();
    client_timer()->stop();
    g_server.blank_lines = 0;
    g_server.send_counter = 0;
    if (mode == 0) {
        if (g_server.listen != -1)
            sock_close(g_server.listen);
        g_server.listen = -1;
    } else if (g_server.listen != -1) {
        sock_async_select(g_server.listen, WM_APP_FINGERD_ACCEPT, FD_ACCEPT);
    }
}

intptr_t finger_server_listen(uintptr_t, intptr_t)
{
    if (g_server.listen != -1)
        return 0;
    int s = sock_create(AF_INET, SOCK_STREAM);
    if (s == INVALID_SOCKET)
        return 0;
    sock_set_option(s, SOL_SOCKET, SO_REUSEADDR, 1);
    if (sock_bind(s, sockaddr_from_ipv4(0, finger_port)) != 0 || sock_listen(s, 5) != 0 ||
        sock_async_select(s, WM_APP_FINGERD_ACCEPT, FD_ACCEPT) != 0) {
        // No message: the server is simply not there.
        sock_close(s);
        finger_server_close_client(0);
        return 0;
    }
    g_server.listen = s;
    return 0;
}

intptr_t finger_server_accept(uintptr_t socket, intptr_t)
{
    if (static_cast<int>(socket) != g_server.listen || g_server.listen == -1 || g_server.client != -1)
        return 0;
    SockAddr peer;
    int client = sock_accept(g_server.listen, &peer);
    if (client == INVALID_SOCKET)
        return 0;
    sock_async_select(g_server.listen, 0, 0);
    g_server.client = client;
    g_server.address = sockaddr_family(peer) == AF_INET ? sockaddr_ip_text(peer) : std::string();
    client_progress();
    if (sock_async_select(client, WM_APP_FINGERD_SERVE, FD_READ | FD_CLOSE) != 0)
        finger_server_close_client(1);
    return 0;
}

// A close or error notice of the served client.
static void server_client_gone()
{
    if (opt(OPT_FINGER_SHOW_REQUESTS) && !g_server.address.empty())
        server_status_line(conn_current(), text_fill_id(2326, {g_server.address}));
    finger_server_close_client(1);
}

intptr_t finger_server_request(uintptr_t socket, intptr_t lparam)
{
    if (static_cast<int>(socket) != g_server.client || g_server.client == -1)
        return 0;
    if (WSAGETSELECTERROR(lparam) || WSAGETSELECTEVENT(lparam) == FD_CLOSE) {
        server_client_gone();
        return 0;
    }
    Connection* conn = conn_current();
    if (!conn_is_live(conn)) {
        finger_server_close_client(1);
        return 0;
    }
    char buf[kReadChunk + 1];
    long n = sock_recv(g_server.client, buf, kReadChunk);
    if (n < 0 && sock_last_error() == WSAEWOULDBLOCK)
        return 0;
    if (n <= 1) {
        finger_server_close_client(1);
        return 0;
    }
    std::string request(buf, static_cast<std::size_t>(n));
    request.erase(std::min(request.find_first_of("\r\n"), request.size()));
    const std::string section = request.empty() ? std::string("[default]") : "[" + request + "]";
    sock_async_select(g_server.client, 0, 0);
    std::string status = text_fill_id(2327, {section});
    if (!g_server.address.empty())
        status += std::string("\x0f ") + text_fill_id(2328, {g_server.address});

    const std::string& path = main_settings.finger_file;
    g_server.file = path.empty() ? nullptr : std::fopen(path.c_str(), "rb");
    if (!g_server.file) {
        server_status_line(conn, status + text_load_string(2329));
        const std::string reply = text_load_string(2330);
        sock_send(g_server.client, reply.data(), reply.size());
        finger_server_close_client(1);
        return 0;
    }
    if (opt(OPT_FINGER_SHOW_REQUESTS))
        server_status_line(conn, status);
    if (!find_section(section) && !find_section("[default]")) {
        const std::string reply = text_load_string(2331);
        sock_send(g_server.client, reply.data(), reply.size());
        finger_server_close_client(1);
        return 0;
    }
    sock_async_select(g_server.client, WM_APP_FINGERD_CLOSE, FD_WRITE | FD_CLOSE);
    serve_lines();
    return 0;
}

intptr_t finger_server_write(uintptr_t socket, intptr_t lparam)
{
    if (static_cast<int>(socket) != g_server.client || g_server.client == -1)
        return 0;
    if (WSAGETSELECTERROR(lparam) || WSAGETSELECTEVENT(lparam) == FD_CLOSE) {
        server_client_gone();
        return 0;
    }
    if (WSAGETSELECTEVENT(lparam) == FD_WRITE)
        serve_lines();
    return 0;
}

void finger_install()
{
    frame_set_handler(WM_APP_FINGER_RESOLVED, finger_on_lookup);
    frame_set_handler(WM_APP_FINGER_SOCKET, finger_on_connect);
    frame_set_handler(WM_APP_FINGER_PENDING, finger_on_read);
    frame_set_handler(WM_APP_FINGERD_START, finger_server_listen);
    frame_set_handler(WM_APP_FINGERD_ACCEPT, finger_server_accept);
    frame_set_handler(WM_APP_FINGERD_SERVE, finger_server_request);
    frame_set_handler(WM_APP_FINGERD_CLOSE, finger_server_write);
}

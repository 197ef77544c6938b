// Script TCP sockets: the record list, the frame's socket messages, the
// commands and $sock. UDP sockets share all of it; /sockudp is in
// udp_sockets.cpp.
#include "extensions/sockets.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QWidget>

#include <algorithm>
#include <cstdio>
#include <memory>

#include "core/numbered_texts.h"
#include "core/text_buffer.h"
#include "core/time_date.h"
#include "core/wildcard.h"
#include "irc/link/lookups.h"
#include "irc/link/receive.h"
#include "irc/ssl/ssl_link.h"
#include "model/connection.h"
#include "model/window_record.h"
#include "platform/app_messages.h"
#include "script/events/event_fire.h"
#include "script/events/event_index.h"
#include "script/exec/script_hooks.h"
#include "script/exec/script_text.h"
#include "script/exec/script_types.h"
#include "script/stores/binary_vars.h"
#include "script/stores/variables.h"

namespace {

std::vector<ScriptSocket*> g_sockets;

// The socket of each running socket event, innermost last.
struct EventSocket {
    ScriptSocket* sock;
    int id;
};
std::vector<EventSocket> g_event_stack;

int g_lookup_listener = 0;
int g_repoint_listener = 0;

std::time_t now() { return time_clock(); }

bool has_wild(const std::string& s) { return s.find_first_of("*?") != std::string::npos; }

bool events_on() { return event_switch_events != 0; }

// "* /word: 'name' text-of-id"
int named_error(const std::string& word, const std::string& name, int id)
{
    // A name longer than any socket's is shown cut.
    const std::string shown = name.size() >= kSockNameMax ? name.substr(0, kSockNameMax) + "..." : name;
    return script_error(nullptr, "* /" + word + ": '" + shown + "' " + text_load_string(id), "", 6);
}

// "* /word: text-of-id"
int plain_error(const std::string& word, int id)
{
    return script_error(nullptr, "* /" + word + ": " + text_load_string(id), "", 6);
}

void unlink_record(ScriptSocket* sock)
{
    auto it = std::find(g_sockets.begin(), g_sockets.end(), sock);
    if (it != g_sockets.end())
        g_sockets.erase(it);
}

// Sends at most one chunk from the front of the queue: the count, or
// SOCKET_ERROR with the error in *error.
long send_front(ScriptSocket* sock, int* error)
{
    const std::size_t n = std::min(sock->send_queue.size(), kSockSendChunk);
    *error = 0;
    long r;
    if (sock->udp) {
        r = sock_sendto(sock->handle, sock->send_queue.data(), n, sock->udp_target);
    } else if (sock->ssl) {
        r = ssl_write(sock->handle, sock->send_queue.data(), static_cast<long>(n));
        if (r < static_cast<long>(n)) {
            *error = r == -3 ? WSAENOBUFS : WSAECONNABORTED;
            return SOCKET_ERROR;
        }
        return r;
    } else {
        r = sock_send(sock->handle, sock->send_queue.data(), n);
    }
    if (r == SOCKET_ERROR)
        *error = sock_last_error();
    return r;
}

// After a send of `sent` bytes: the counts, and the queue's front gone.
void account_sent(ScriptSocket* sock, long sent)
{
    sock->last_send = now();
    sock->bytes_sent += static_cast<double>(sent);
    sock->send_queue.erase(0, static_cast<std::size_t>(sent));
}

// A failed send: the error stored and a write notice with it posted, so
// that the write handler raises the failure and frees the socket.
void post_send_failure(ScriptSocket* sock, int error)
{
    sock->wserr = error;
    post_app_message(WM_APP_SCRIPT_SOCK_EVENT, static_cast<uintptr_t>(sock->handle),
                     WSAMAKESELECTREPLY(FD_WRITE, error));
}

void post_drained(ScriptSocket* sock)
{
    post_app_message(WM_APP_SCRIPT_SOCKWRITE, static_cast<uintptr_t>(sock->id),
                     reinterpret_cast<intptr_t>(sock));
}

// Raises the event and frees the socket afterwards when it is still there.
void fire_and_free(const char* word, ScriptSocket* sock, int event_id, int kind)
{
    const int id = sock->id;
    if (events_on())
        sock_fire_event(word, sock, event_id, kind);
    if (sock_is_live(sock, id))
        sock_free(sock);
}

// A connect that could not start or failed: SOCKOPEN with kind 3, then freed.
void connect_failed(ScriptSocket* sock, int error)
{
    sock->wserr = error;
    fire_and_free("SOCKOPEN", sock, kEvSockOpen, 3);
}

// Reports a failed start later, the way a failed connection is reported.
void defer_connect_failure(ScriptSocket* sock, int error)
{
    const int id = sock->id;
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [sock, id, error] {
            if (sock_is_live(sock, id))
                connect_failed(sock, error);
        },
        Qt::QueuedConnection);
}

// Starts the connection of a /sockopen socket: 0 under way, 1 no socket,
// 2 connect refused at once, 3 no numeric address.
int connect_start(ScriptSocket* sock)
{
    SockAddr to;
    if (!sockaddr_from_text(sock->ip, sock->port, to))
        return 3;
    int s = sock_create(sockaddr_family(to), SOCK_STREAM);
    if (s == INVALID_SOCKET)
        return 1;
    if (!sock->bind_ip.empty()) {
        SockAddr local;
        if (!sockaddr_from_text(sock->bind_ip, 0, local) || sock_bind(s, local) == SOCKET_ERROR) {
            sock_close(s);
            return 1;
        }
    }
    sock->handle = s;
    sock_set_keepalive(s);
    sock_async_select(s, WM_APP_SCRIPT_UDP, FD_CONNECT);
    const int r = sock_connect(s, to);
    const int error = r == SOCKET_ERROR ? sock_last_error() : 0;
    sock_read_back_bind(sock);
    return error && error != WSAEWOULDBLOCK ? 2 : 0;
}

// Step 8 of the read loop: SOCKCLOSE once, then the socket goes.
void close_after_read(ScriptSocket* sock, int kind)
{
    if (sock->close_raised || !events_on()) {
        sock_free(sock);
        return;
    }
    sock->close_raised = true;
    const int id = sock->id;
    sock_fire_event("SOCKCLOSE", sock, kEvSockClose, kind);
    if (sock_is_live(sock, id))
        sock_free(sock);
}

intptr_t on_read(ScriptSocket* sock, int error)
{
    const int handle = sock->handle;
    const int id = sock->id;
    if (error) {
        sock->wserr = error;
        if (sock->ssl)
            fire_and_free("SOCKCLOSE", sock, kEvSockClose, 3);
        else if (sock->udp)
            fire_and_free("UDPREAD", sock, kEvUdpRead, 3);
        else
            fire_and_free("SOCKREAD", sock, kEvSockRead, 3);
        return 0;
    }
    sock->last_receive = now();
    if (sock_defer_poll(WM_APP_SCRIPT_SOCK_EVENT, handle, FD_READ, 1))
        return 0;
    for (;;) {
        if (sock->paused)
            return 0;
        if (++sock->read_passes >= kSockReadPasses) {
            sock->read_passes = 0;
            if (sock_defer_poll(WM_APP_SCRIPT_SOCK_EVENT, handle, FD_READ, 0))
                return 0;
        }
        if (sock->receive.size() < kSockReceiveMax) {
            char buf[kSockReceiveMax];
            const std::size_t room = kSockReceiveMax - sock->receive.size();
            long n;
            int read_error = 0;
            if (sock->udp) {
                SockAddr from;
                n = sock_recvfrom(handle, buf, room, &from);
                if (n == SOCKET_ERROR) {
                    read_error = sock_last_error();
                } else if (sockaddr_family(from) != 0) {
                    sock->sender_ip = sockaddr_ipv4(from);
                    sock->sender_port = static_cast<uint16_t>(sockaddr_port(from));
                    sock->has_sender = true;
                }
            } else if (sock->ssl) {
                n = ssl_read(handle, buf, static_cast<long>(room));
                if (n == 0) {
                    n = SOCKET_ERROR;
                    read_error = WSAEWOULDBLOCK;
                } else if (n < 0) {
                    read_error = n == -3 ? WSAENOBUFS : WSAECONNABORTED;
                    n = SOCKET_ERROR;
                }
            } else {
                n = sock_recv(handle, buf, room);
                if (n == SOCKET_ERROR)
                    read_error = sock_last_error();
            }
            if (n == SOCKET_ERROR) {
                if (read_error == WSAEWOULDBLOCK)
                    return 0;
                sock->wserr = read_error;
                close_after_read(sock, 3);
                return 0;
            }
            if (n == 0 && !sock->udp) {
                close_after_read(sock, 0);
                return 0;
            }
            if (!events_on()) {
                sock->receive.clear();
                continue;
            }
            sock->receive.append(buf, static_cast<std::size_t>(n));
        }
        for (;;) {
            sock->read_state = kReadNone;
            if (sock->udp)
                sock_fire_event("UDPREAD", sock, kEvUdpRead, 0);
            else
                sock_fire_event("SOCKREAD", sock, kEvSockRead, 0);
            if (!sock_is_live(sock, id))
                return 0;
            if (sock->read_state != kReadMore)
                break;
        }
        if (sock->read_state == kReadNone)
            sock->receive.clear();
        // A datagram socket delivers one datagram per event: what the
        // script left of it goes with the next read.
    }
}

intptr_t on_write(ScriptSocket* sock, int error)
{
    const char* word = sock->udp ? "UDPWRITE" : "SOCKWRITE";
    const int event_id = sock->udp ? kEvUdpWrite : kEvSockWrite;
    if (!error && !sock->send_queue.empty()) {
        long r = send_front(sock, &error);
        if (r == SOCKET_ERROR) {
            if (error == WSAEWOULDBLOCK)
                return 0;
        } else {
            error = 0;
            account_sent(sock, r);
            if (!sock->send_queue.empty()) {
                sock_defer_poll(WM_APP_SCRIPT_SOCK_EVENT, sock->handle, FD_WRITE, 0);
                return 0;
            }
            sock->send_queue.shrink_to_fit();
            if (sock->udp && !sock->keep_open) {
                sock_free(sock);
                return 0;
            }
            if (events_on())
                sock_fire_event(word, sock, event_id, 0);
            return 0;
        }
    } else if (!error) {
        return 0;
    }
    sock->wserr = error;
    fire_and_free(word, sock, event_id, 3);
    return 0;
}

// Dismisses connections and lookups of a connection record that goes.
void repoint(Connection* freed, Connection* replacement)
{
    for (std::size_t i = 0; i < g_sockets.size();) {
        ScriptSocket* s = g_sockets[i];
        if (s->conn != freed) {
            ++i;
            continue;
        }
        if (replacement) {
            s->conn = replacement;
            ++i;
        } else {
            sock_free(s);
        }
    }
}

void on_lookup(DnsRequest* request, int failed)
{
    if (request->kind != kDnsSocketOpen)
        return;
    const std::string query = request->query;
    const std::string result = request->result;
    bool again = true;
    while (again) {
        again = false;
        for (ScriptSocket* s : g_sockets) {
            if (s->read_state != kReadLookup || !text_equal_nocase(s->ip, query))
                continue;
            s->read_state = kReadNone;
            if (!failed && !result.empty()) {
                s->ip = result;
                if (connect_start(s) == 0)
                    break;
            }
            const int id = s->id;
            if (events_on())
                sock_fire_event("SOCKOPEN", s, kEvSockOpen, 4);
            if (sock_is_live(s, id))
                sock_free(s);
            again = true;
            break;
        }
    }
}

// The switch letters of token 1 when it begins with "-"; `i` the next token.
std::string take_switches(const CommandCall& call, std::size_t& i)
{
    i = 1;
    if (!call.arg(1).empty() && call.arg(1)[0] == '-') {
        i = 2;
        return call.arg(1).substr(1);
    }
    return std::string();
}

bool has_switch(const std::string& sw, char c) { return sw.find(c) != std::string::npos; }

// The port argument modulo 65,536.
long port_of(const std::string& text)
{
    long long v = std::strtoll(text.c_str(), nullptr, 10);
    return static_cast<long>(((v % 65536) + 65536) % 65536);
}

Connection* owner_of(const CommandCall& call)
{
    if (conn_is_live(call.conn))
        return call.conn;
    Connection* c = call.window ? conn_of_window(call.window) : nullptr;
    return c ? c : conn_current();
}

// The targets of /sockwrite and /sockpause: every matching TCP socket for a
// mask, else the one named (existing, active, TCP). Empty after an error.
bool resolve_targets(const std::string& word, const std::string& name, bool any_status,
                     std::vector<ScriptSocket*>& out)
{
    if (has_wild(name)) {
        std::size_t at = 0;
        for (ScriptSocket* s = sock_find_match(name, 0, 0, &at); s;
             s = sock_find_match(name, at + 1, 0, &at))
            if (any_status || s->status == kSockActive)
                out.push_back(s);
        if (!sock_find_match(name, 0, 0, &at)) {
            named_error(word, name, 5212);
            return false;
        }
        return true;
    }
    ScriptSocket* s = name.size() < kSockNameMax ? sock_find_by_name(name) : nullptr;
    if (!s) {
        named_error(word, name, 5213);
        return false;
    }
    if (s->udp) {
        plain_error(word, 5215);
        return false;
    }
    if (s->status != kSockActive) {
        named_error(word, name, 5214);
        return false;
    }
    out.push_back(s);
    return true;
}

std::string status_word(int status)
{
    switch (status) {
    case kSockListening: return "listening";
    case kSockActive: return "active";
    case kSockConnecting: return "connecting";
    default: return "inactive";
    }
}

std::string count_text(double v)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, "%0.0f", v);
    return buf;
}

std::string ipv4_text(uint32_t host_order)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%u.%u.%u.%u", (host_order >> 24) & 255, (host_order >> 16) & 255,
                  (host_order >> 8) & 255, host_order & 255);
    return buf;
}

std::string property(const ScriptSocket* s, std::string_view prop)
{
    auto is = [&](const char* p) { return text_equal_nocase(prop, p); };
    if (prop.empty() || is("name")) return s->name;
    if (is("ip")) return s->ip;
    if (is("addr")) return s->address;
    if (is("port")) return std::to_string(s->port);
    if (is("bindip")) return s->bind_ip;
    if (is("bindport")) return std::to_string(s->bind_port);
    if (is("type")) return s->udp ? "udp" : "tcp";
    if (is("saddr")) return s->udp && s->has_sender ? ipv4_text(s->sender_ip) : std::string();
    if (is("sport")) return s->udp && s->has_sender ? std::to_string(s->sender_port) : std::string();
    if (is("status")) return status_word(s->status);
    if (is("sent")) return count_text(s->bytes_sent);
    if (is("rcvd")) return count_text(s->bytes_read);
    if (is("sq")) return std::to_string(s->send_queue.size());
    if (is("rq")) return std::to_string(s->receive.size());
    if (is("to")) return std::to_string(static_cast<long long>(now() - s->created));
    if (is("ls")) return std::to_string(static_cast<long long>(now() - s->last_send));
    if (is("lr")) return std::to_string(static_cast<long long>(now() - s->last_receive));
    if (is("mark")) return s->has_mark ? s->mark : std::string();
    if (is("pause")) return ident_truth(s->paused);
    if (is("wserr")) return std::to_string(s->wserr);
    if (is("wsmsg")) return socket_error_text(s->wserr);
    if (is("ssl")) return ident_truth(s->ssl);
    return std::string();
}

// $sockname, $sockerr and $sockbr: the running socket event's socket.
int id_sock_event(IdentCall& call)
{
    call.value->clear();
    ScriptSocket* s = sock_event_socket();
    if (!s)
        return 2;
    switch (call.variant) {
    case 0: *call.value = s->name; break;
    case 1: *call.value = std::to_string(s->event_kind); break;
    default: *call.value = std::to_string(s->last_read); break;
    }
    return 2;
}

}  // namespace

// ---- The list ----

const std::vector<ScriptSocket*>& sock_list() { return g_sockets; }

ScriptSocket* sock_find_by_name(const std::string& name)
{
    if (name.empty())
        return nullptr;
    for (ScriptSocket* s : g_sockets)
        if (text_equal_nocase(s->name, name))
            return s;
    return nullptr;
}

ScriptSocket* sock_find_by_handle(int handle)
{
    if (handle == INVALID_SOCKET)
        return nullptr;
    for (ScriptSocket* s : g_sockets)
        if (s->handle == handle)
            return s;
    return nullptr;
}

int sock_is_live(const ScriptSocket* sock, int id)
{
    if (!sock)
        return 0;
    for (ScriptSocket* s : g_sockets)
        if (s == sock)
            return s->id == id ? 1 : 0;
    return 0;
}

ScriptSocket* sock_find_match(const std::string& mask, std::size_t start, int kind, std::size_t* at)
{
    for (std::size_t i = start; i < g_sockets.size(); ++i) {
        ScriptSocket* s = g_sockets[i];
        if (s->name.empty())
            continue;
        if ((kind == 0 && s->udp) || (kind == 1 && !s->udp))
            continue;
        if (wild_match(mask, s->name, 0, 1)) {
            if (at)
                *at = i;
            return s;
        }
    }
    return nullptr;
}

ScriptSocket* sock_new_record(Connection* conn)
{
    auto* s = new ScriptSocket;
    s->id = win_alloc_id();
    s->created = s->last_send = s->last_receive = now();
    s->conn = conn;
    g_sockets.push_back(s);
    return s;
}

void sock_free(ScriptSocket* sock)
{
    if (!sock)
        return;
    unlink_record(sock);
    if (sock->handle != INVALID_SOCKET) {
        if (sock->ssl)
            ssl_close_for_socket(sock->handle);
        sock_shutdown(sock->handle, 1);
        sock_close(sock->handle);
    }
    delete sock;
}

void sock_free_all()
{
    while (!g_sockets.empty())
        sock_free(g_sockets.back());
}

ScriptSocket* sock_event_socket()
{
    if (g_event_stack.empty())
        return nullptr;
    const EventSocket& e = g_event_stack.back();
    return sock_is_live(e.sock, e.id) ? e.sock : nullptr;
}

void sock_fire_event(const char* word, ScriptSocket* sock, int event_id, int kind)
{
    sock->event_kind = kind;
    Connection* conn = conn_is_live(sock->conn) ? sock->conn : conn_current();
    EventSource source;
    source.socket = sock;
    source.socket_value = sock->id;
    source.text1 = sock->name;
    g_event_stack.push_back({sock, sock->id});
    event_fire(conn, nullptr, nullptr, word, event_id, 0, nullptr, &source);
    g_event_stack.pop_back();
}

int sock_name_check(const std::string& word, const std::string& name)
{
    if (name.size() >= kSockNameMax)
        return named_error(word, name, 5202);
    if (sock_find_by_name(name))
        return named_error(word, name, 5203);
    return 1;
}

void sock_read_back_bind(ScriptSocket* sock)
{
    SockAddr local;
    if (sock->handle != INVALID_SOCKET && sock_local_address(sock->handle, local) == 0) {
        sock->bind_ip = sockaddr_ip_text(local);
        sock->bind_port = static_cast<uint16_t>(sockaddr_port(local));
    }
}

bool sock_is_number(const std::string& text)
{
    std::size_t i = !text.empty() && (text[0] == '-' || text[0] == '+') ? 1 : 0;
    if (i >= text.size())
        return false;
    for (; i < text.size(); ++i)
        if (text[i] < '0' || text[i] > '9')
            return false;
    return true;
}

int sock_take_data(const CommandCall& call, std::size_t from, bool plain_text, bool crlf, std::string& out)
{
    out.clear();
    const std::string& first = call.arg(from);
    if (!plain_text && !first.empty() && first[0] == '&') {
        BinaryVariable* v = bvar_find(first);
        if (!v)
            return 0;
        out = v->bytes;
        return 1;
    }
    arg_join_from(from, out, call.tokens);
    if (crlf && (out.empty() || out.back() != '\n'))
        out += "\r\n";
    return 1;
}

// ---- Frame messages ----

intptr_t sock_on_connect(uintptr_t handle, intptr_t lparam)
{
    ScriptSocket* sock = sock_find_by_handle(static_cast<int>(handle));
    if (!sock || sock->status == kSockListening || sock->udp)
        return 0;
    const int error = WSAGETSELECTERROR(lparam);
    if (error) {
        connect_failed(sock, error);
        return 0;
    }
    sock->status = kSockActive;
    sock->last_send = sock->last_receive = now();
    if (sock->ssl) {
        if (sock->ssl_state == 0) {
            sock->ssl_state = 1;
            if (ssl_start(sock->handle, kSslOwnerScriptSocket, sock->address, sock->port))
                return 0;
            sock->ssl_state = 3;
        } else if (sock->ssl_state == 1) {
            sock->ssl_state = 2;
        } else {
            sock->ssl_state = 3;
        }
        if (sock->ssl_state == 3) {
            fire_and_free("SOCKCLOSE", sock, kEvSockClose, 5);
            return 0;
        }
    } else {
        sock_async_select(sock->handle, WM_APP_SCRIPT_SOCK_EVENT, FD_READ | FD_WRITE | FD_CLOSE);
    }
    sock_read_back_bind(sock);
    if (events_on())
        sock_fire_event("SOCKOPEN", sock, kEvSockOpen, 0);
    return 0;
}

intptr_t sock_on_accept(uintptr_t handle, intptr_t lparam)
{
    ScriptSocket* listener = sock_find_by_handle(static_cast<int>(handle));
    if (!listener || listener->status != kSockListening)
        return 0;
    const int lid = listener->id;
    const int error = WSAGETSELECTERROR(lparam);
    if (error) {
        listener->wserr = error;
        if (events_on())
            sock_fire_event("SOCKLISTEN", listener, kEvSockListen, 1);
        if (sock_is_live(listener, lid))
            listener->wserr = 0;
        return 0;
    }
    SockAddr peer;
    int s = sock_accept(listener->handle, &peer);
    if (s == INVALID_SOCKET) {
        const int e = sock_last_error();
        // Nobody waits any more (the client went): nothing to report.
        if (e == WSAEWOULDBLOCK)
            return 0;
        listener->wserr = e;
        if (events_on())
            sock_fire_event("SOCKLISTEN", listener, kEvSockListen, 2);
        if (sock_is_live(listener, lid))
            listener->wserr = 0;
        return 0;
    }
    listener->last_receive = now();
    ScriptSocket* conn_sock = sock_new_record(listener->conn);
    const int cid = conn_sock->id;
    conn_sock->status = kSockActive;
    conn_sock->handle = s;
    // Quiet until the script keeps it.
    sock_async_select(s, 0, 0);
    conn_sock->ip = sockaddr_ip_text(peer);
    conn_sock->port = static_cast<uint16_t>(sockaddr_port(peer));
    sock_read_back_bind(listener);
    if (events_on())
        sock_fire_event("SOCKLISTEN", listener, kEvSockListen, 0);
    if (!sock_is_live(conn_sock, cid))
        return 0;
    if (conn_sock->name.empty()) {
        sock_free(conn_sock);
        return 0;
    }
    sock_set_keepalive(s);
    sock_async_select(s, WM_APP_SCRIPT_SOCK_EVENT, FD_READ | FD_WRITE | FD_CLOSE);
    sock_read_back_bind(conn_sock);
    return 0;
}

intptr_t sock_on_socket(uintptr_t handle, intptr_t lparam)
{
    ScriptSocket* sock = sock_find_by_handle(static_cast<int>(handle));
    if (!sock || sock->status != kSockActive)
        return 0;
    const int event = WSAGETSELECTEVENT(lparam);
    const int error = WSAGETSELECTERROR(lparam);
    if (event == FD_WRITE)
        return on_write(sock, error);
    if (event == FD_READ || event == FD_CLOSE)
        return on_read(sock, error);
    return 0;
}

intptr_t sock_on_write_drained(uintptr_t id, intptr_t record)
{
    auto* sock = reinterpret_cast<ScriptSocket*>(record);
    if (events_on() && sock_is_live(sock, static_cast<int>(id)))
        sock_fire_event("SOCKWRITE", sock, kEvSockWrite, 0);
    return 0;
}

// ---- Commands ----

// /sockopen [-de] [bindip] name host port
int cmd_sockopen(CommandCall& call)
{
    const std::string& word = call.tokens[0];
    std::size_t i;
    const std::string sw = take_switches(call, i);
    std::string bind_ip;
    if (has_switch(sw, 'd')) {
        bind_ip = call.arg(i++);
        SockAddr probe;
        if (bind_ip.empty())
            return script_error(nullptr, word, "", 0);
        if (!sockaddr_from_text(bind_ip, 0, probe))
            return script_error(nullptr, word, "", 3);
    }
    const std::string& name = call.arg(i);
    const std::string& host = call.arg(i + 1);
    const std::string& port_text = call.arg(i + 2);
    if (name.empty() || host.empty() || port_text.empty())
        return script_error(nullptr, word, "", 0);
    if (!sock_name_check(word, name))
        return 0;
    const long port = port_of(port_text);
    if (port == 0)
        return script_error(nullptr, word, "", 3);
    ScriptSocket* sock = sock_new_record(owner_of(call));
    sock->name = name;
    sock->address = host.substr(0, kSockNameMax);
    sock->ip = sock->address;
    sock->port = static_cast<uint16_t>(port);
    sock->status = kSockConnecting;
    sock->ssl = has_switch(sw, 'e');
    sock->bind_ip = bind_ip;
    SockAddr probe;
    if (!sockaddr_from_text(sock->ip, 0, probe)) {
        sock->read_state = kReadLookup;
        QWidget* owner = conn_is_live(sock->conn) ? sock->conn->status_window.data() : nullptr;
        if (owner && dns_lookup_request(owner, name, sock->ip, 0, kDnsSocketOpen))
            return 1;
        sock->read_state = kReadNone;
        defer_connect_failure(sock, WSAECONNREFUSED);
        return 1;
    }
    if (connect_start(sock) != 0)
        defer_connect_failure(sock, WSAECONNREFUSED);
    return 1;
}

// /socklisten [-d] [bindip] name [port]
int cmd_socklisten(CommandCall& call)
{
    const std::string& word = call.tokens[0];
    std::size_t i;
    const std::string sw = take_switches(call, i);
    std::string bind_ip;
    if (has_switch(sw, 'd')) {
        bind_ip = call.arg(i++);
        SockAddr probe;
        if (bind_ip.empty())
            return script_error(nullptr, word, "", 0);
        if (!sockaddr_from_text(bind_ip, 0, probe))
            return script_error(nullptr, word, "", 3);
    }
    const std::string& name = call.arg(i);
    if (name.empty())
        return script_error(nullptr, word, "", 0);
    if (!sock_name_check(word, name))
        return 0;
    long port = 0;
    const bool has_port = !call.arg(i + 1).empty();
    if (has_port) {
        port = port_of(call.arg(i + 1));
        if (port == 0)
            return script_error(nullptr, word, "", 3);
    }
    Connection* conn = owner_of(call);
    SockAddr local;
    const std::string ip = bind_ip.empty() ? std::string("0.0.0.0") : bind_ip;
    sockaddr_from_text(ip, static_cast<int>(port), local);
    int s = sock_create(sockaddr_family(local), SOCK_STREAM);
    if (s == INVALID_SOCKET)
        return plain_error(word, 5205);
    sock_set_option(s, SOL_SOCKET, SO_REUSEADDR, 1);
    if (sock_bind(s, local) == SOCKET_ERROR) {
        sock_close(s);
        return plain_error(word, has_port ? 5206 : 5204);
    }
    if (sock_listen(s, 5) == SOCKET_ERROR) {
        sock_close(s);
        return plain_error(word, 5210);
    }
    ScriptSocket* sock = sock_new_record(conn);
    sock->name = name;
    sock->status = kSockListening;
    sock->handle = s;
    if (!bind_ip.empty()) {
        sock->ip = bind_ip;
        sock->bind_ip = bind_ip;
    } else if (conn_is_live(conn)) {
        sock->address = conn->local_ip_text;
        sock->ip = conn->local_ip_text;
    }
    sock_async_select(s, WM_APP_SCRIPT_SOCK_ACCEPT, FD_ACCEPT);
    sock_read_back_bind(sock);
    sock->port = sock->bind_port;
    return 1;
}

// /sockaccept name
int cmd_sockaccept(CommandCall& call)
{
    const std::string& word = call.tokens[0];
    const std::string& name = call.arg(1);
    if (name.empty())
        return script_error(nullptr, word, "", 0);
    ScriptSocket* unnamed = nullptr;
    if (sock_event_socket())
        for (ScriptSocket* s : g_sockets)
            if (s->name.empty()) {
                unnamed = s;
                break;
            }
    if (!unnamed)
        return plain_error(word, 5211);
    if (!sock_name_check(word, name))
        return 0;
    unnamed->name = name;
    return 1;
}

// /sockread [-fn] [count] %var|&binvar
int cmd_sockread(CommandCall& call)
{
    const std::string& word = call.tokens[0];
    ScriptSocket* sock = sock_event_socket();
    if (!sock || sock->status != kSockActive)
        return plain_error(word, 5211);
    sock->last_read = 0;
    std::size_t i;
    const std::string sw = take_switches(call, i);
    const bool force = has_switch(sw, 'f');
    std::size_t count = kSockReceiveMax;
    if (!call.arg(i).empty() && call.arg(i)[0] >= '0' && call.arg(i)[0] <= '9') {
        long long n = std::strtoll(call.arg(i).c_str(), nullptr, 10);
        count = n < 1 || n > static_cast<long long>(kSockReceiveMax) ? kSockReceiveMax : static_cast<std::size_t>(n);
        ++i;
    }
    count = std::min(count, sock->receive.size());
    const std::string& target = call.arg(i);
    if (target.empty()) {
        sock->receive.clear();
        return 1;
    }
    std::string& buf = sock->receive;
    if (target[0] == '&') {
        if (has_switch(sw, 'n')) {
            std::size_t lf = buf.find('\n');
            if (lf != std::string::npos) {
                count = lf + 1;
                buf[lf] = '\0';
                if (lf > 0 && buf[lf - 1] == '\r')
                    buf[lf - 1] = '\0';
            } else if (!force && buf.size() < kSockReceiveMax) {
                // No line yet: wait for more. A full buffer without a line
                // feed is taken whole, as a text read takes it, so that the
                // socket cannot spin on a buffer nothing ever empties.
                sock->read_state = kReadDone;
                return 1;
            }
        }
        BinaryVariable* v = bvar_create(target, count, call.scope);
        if (!v)
            return script_error(nullptr, word, "", 2);
        v->bytes.assign(buf, 0, count);
        sock->last_read = static_cast<long>(count);
        sock->bytes_read += static_cast<double>(count);
        buf.erase(0, count);
        sock->read_state = buf.empty() ? kReadDone : kReadMore;
        return 1;
    }
    if (target[0] != '%')
        return script_error(nullptr, word, "", 3);
    sock->read_state = kReadDone;
    std::size_t lf = buf.find('\n');
    std::string line;
    std::size_t taken;
    if (lf != std::string::npos) {
        taken = lf + 1;
        std::size_t end = lf;
        if (end > 0 && buf[end - 1] == '\r')
            --end;
        line.assign(buf, 0, end);
    } else if (buf.size() >= kSockReceiveMax) {
        taken = buf.size();
        line = buf;
    } else if (force && !buf.empty()) {
        std::size_t zero = buf.find('\0');
        taken = zero == std::string::npos ? buf.size() : zero + 1;
        line.assign(buf, 0, zero == std::string::npos ? buf.size() : zero);
    } else {
        var_set(call.window, target, nullptr, call.work_buf, 0, kVarFlagSet, 0, 0,
                call.locals ? *call.locals : nullptr, 0);
        return 1;
    }
    taken = std::min(taken, kSockReadVarMax);
    if (line.size() > kSockReadVarMax)
        line.resize(kSockReadVarMax);
    // A variable holds text: a zero byte ends it.
    std::size_t zero = line.find('\0');
    if (zero != std::string::npos)
        line.resize(zero);
    var_set(call.window, target, &line, call.work_buf, 0, kVarFlagSet, 0, 0,
            call.locals ? *call.locals : nullptr, 0);
    sock->last_read = static_cast<long>(taken);
    sock->bytes_read += static_cast<double>(taken);
    buf.erase(0, taken);
    if (buf.find('\n') != std::string::npos)
        sock->read_state = kReadMore;
    return 1;
}

// /sockwrite [-tnb] [count] name text|&binvar
int cmd_sockwrite(CommandCall& call)
{
    const std::string& word = call.tokens[0];
    std::size_t i;
    const std::string sw = take_switches(call, i);
    const bool crlf = has_switch(sw, 'n');
    long count = 0;
    const std::string& name = call.arg(i);
    if (name.empty())
        return script_error(nullptr, word, "", 0);
    std::size_t data_at = i + 1;
    if (has_switch(sw, 'b')) {
        if (!sock_is_number(call.arg(data_at)))
            return script_error(nullptr, word, "", 0);
        count = std::strtol(call.arg(data_at).c_str(), nullptr, 10);
        ++data_at;
    }
    std::vector<ScriptSocket*> targets;
    if (!resolve_targets(word, name, false, targets))
        return 0;
    if (call.arg(data_at).empty() && !crlf)
        return script_error(nullptr, word, "", 0);
    std::string data;
    if (!sock_take_data(call, data_at, has_switch(sw, 't'), crlf, data))
        return named_error(word, call.arg(data_at), 5207);
    if (count > 0 && static_cast<std::size_t>(count) < data.size())
        data.resize(static_cast<std::size_t>(count));
    bool failed = false;
    for (ScriptSocket* s : targets) {
        if (!sock_is_live(s, s->id) || s->status != kSockActive)
            continue;
        if (!s->send_queue.empty() && s->send_queue.size() + data.size() > kSockQueueMax)
            return named_error(word, s->name, 5208);
        s->send_queue += data;
        if (failed) {
            sock_defer_poll(WM_APP_SCRIPT_SOCK_EVENT, s->handle, FD_WRITE, 0);
            continue;
        }
        int error = 0;
        long r = send_front(s, &error);
        if (r == SOCKET_ERROR) {
            if (error != WSAEWOULDBLOCK) {
                post_send_failure(s, error);
                failed = true;
            }
            continue;
        }
        account_sent(s, r);
        if (!s->send_queue.empty()) {
            sock_defer_poll(WM_APP_SCRIPT_SOCK_EVENT, s->handle, FD_WRITE, 0);
        } else {
            s->send_queue.shrink_to_fit();
            if (events_on())
                post_drained(s);
        }
    }
    return 1;
}

// /sockclose name|mask
int cmd_sockclose(CommandCall& call)
{
    const std::string& name = call.arg(1);
    if (name.empty())
        return script_error(nullptr, call.tokens[0], "", 0);
    if (!has_wild(name)) {
        if (name.size() < kSockNameMax)
            sock_free(sock_find_by_name(name));
        return 1;
    }
    std::size_t at = 0;
    while (ScriptSocket* s = sock_find_match(name, 0, 2, &at))
        sock_free(s);
    return 1;
}

// /sockrename name newname
int cmd_sockrename(CommandCall& call)
{
    const std::string& word = call.tokens[0];
    const std::string& name = call.arg(1);
    const std::string& new_name = call.arg(2);
    if (name.empty() || new_name.empty())
        return script_error(nullptr, word, "", 0);
    ScriptSocket* s = name.size() < kSockNameMax ? sock_find_by_name(name) : nullptr;
    if (!s)
        return named_error(word, name, 5211);
    if (new_name.size() >= kSockNameMax)
        return named_error(word, new_name, 5202);
    ScriptSocket* other = sock_find_by_name(new_name);
    if (other && other != s)
        return named_error(word, new_name, 5203);
    s->name = new_name;
    return 1;
}

// /sockmark name [text]
int cmd_sockmark(CommandCall& call)
{
    const std::string& name = call.arg(1);
    if (name.empty())
        return script_error(nullptr, call.tokens[0], "", 0);
    std::string text;
    arg_join_from(2, text, call.tokens);
    auto set = [&](ScriptSocket* s) {
        s->has_mark = !text.empty();
        s->mark = text;
    };
    if (!has_wild(name)) {
        if (ScriptSocket* s = name.size() < kSockNameMax ? sock_find_by_name(name) : nullptr)
            set(s);
        return 1;
    }
    std::size_t at = 0;
    for (ScriptSocket* s = sock_find_match(name, 0, 2, &at); s; s = sock_find_match(name, at + 1, 2, &at))
        set(s);
    return 1;
}

// /sockpause [-r] name
int cmd_sockpause(CommandCall& call)
{
    const std::string& word = call.tokens[0];
    std::size_t i;
    const std::string sw = take_switches(call, i);
    const std::string& name = call.arg(i);
    if (name.empty())
        return script_error(nullptr, word, "", 0);
    std::vector<ScriptSocket*> targets;
    if (!resolve_targets(word, name, true, targets))
        return 0;
    const bool resume = has_switch(sw, 'r');
    for (ScriptSocket* s : targets) {
        s->last_send = now();
        s->paused = !resume;
        if (s->handle != INVALID_SOCKET)
            sock_defer_poll(WM_APP_SCRIPT_SOCK_EVENT, s->handle, FD_READ, 0);
    }
    return 1;
}

// /socklist [-tul] [mask]
int cmd_socklist(CommandCall& call)
{
    std::size_t i;
    const std::string sw = take_switches(call, i);
    bool tcp = has_switch(sw, 't'), udp = has_switch(sw, 'u');
    if (!tcp && !udp)
        tcp = udp = true;
    const bool listening_only = has_switch(sw, 'l');
    const std::string& mask = call.arg(i);
    std::vector<std::string> lines;
    for (ScriptSocket* s : g_sockets) {
        if ((s->udp && !udp) || (!s->udp && !tcp))
            continue;
        if (listening_only && s->status != kSockListening)
            continue;
        if (!mask.empty() && !wild_match(mask, s->name, 0, 1))
            continue;
        std::string line = s->name;
        if (!s->address.empty()) {
            line += " " + s->address + ":" + std::to_string(s->port);
            if (!s->ip.empty() && !text_equal_nocase(s->ip, s->address))
                line += " (" + s->ip + ")";
        } else if (!s->ip.empty()) {
            line += " " + s->ip + ":" + std::to_string(s->port);
        } else {
            line += " " + std::to_string(s->port);
        }
        line += s->udp ? " udp" : " tcp";
        line += " " + status_word(s->status);
        if (!s->bind_ip.empty() && s->status != kSockListening)
            line += " (on: " + s->bind_ip + " " + std::to_string(s->bind_port) + ")";
        lines.push_back(line);
    }
    if (!script_echo_line)
        return 1;
    if (lines.empty()) {
        script_echo_line(call.window, text_load_string(5217), kColourInfo);
        return 1;
    }
    script_echo_line(call.window, text_load_string(5216), kColourInfo);
    for (const std::string& l : lines)
        script_echo_line(call.window, l, kColourInfo2);
    script_echo_line(call.window, "-", kColourInfo2);
    return 1;
}

// $sock(name [, N]) [.property]
int id_sock(IdentCall& call)
{
    int r = ident_args_step(call, kIdentAnyArgs);
    if (r >= 0)
        return r;
    const int argc = ident_arg_count(call);
    if (argc < 1 || argc > 2)
        return ident_error(call.token, call.work, 6);
    call.value->clear();
    const std::string name = ident_arg(call, 0);
    const std::string_view prop = ident_property(call);
    const bool mask = has_wild(name);
    long n = 1;
    if (argc == 2)
        n = std::strtol(ident_arg(call, 1).c_str(), nullptr, 10);
    ScriptSocket* found = nullptr;
    if (n == -1) {
        found = sock_event_socket();
    } else if (n <= 0) {
        long count = 0;
        for (ScriptSocket* s : g_sockets)
            if (!s->name.empty() && (mask ? wild_match(name, s->name, 0, 1) != 0 : text_equal_nocase(name, s->name)))
                ++count;
        *call.value = std::to_string(count);
        return ident_finish(call);
    } else {
        long k = 0;
        for (ScriptSocket* s : g_sockets) {
            if (s->name.empty())
                continue;
            if (mask ? wild_match(name, s->name, 0, 1) != 0 : text_equal_nocase(name, s->name)) {
                if (++k == n) {
                    found = s;
                    break;
                }
            }
        }
    }
    if (found)
        *call.value = property(found, prop);
    return ident_finish(call);
}

// ---- Install ----

void sockets_install()
{
    frame_set_handler(WM_APP_SCRIPT_SOCK_ACCEPT, sock_on_accept);
    frame_set_handler(WM_APP_SCRIPT_SOCK_EVENT, sock_on_socket);
    frame_set_handler(WM_APP_SCRIPT_UDP, sock_on_connect);
    frame_set_handler(WM_APP_SCRIPT_SOCKWRITE, sock_on_write_drained);
    dns_kind_resolved.add_once(g_lookup_listener, kDnsResolvedSockets, on_lookup);
    conn_repoint.add_once(g_repoint_listener, kRepointSockets,
                          [](Connection* freed, Connection* replacement, bool) { repoint(freed, replacement); });
    script_register_command_family("cmd_sockopen", cmd_sockopen);
    script_register_command_family("cmd_socklisten", cmd_socklisten);
    script_register_command_family("cmd_sockaccept", cmd_sockaccept);
    script_register_command_family("cmd_sockread", cmd_sockread);
    script_register_command_family("cmd_sockwrite", cmd_sockwrite);
    script_register_command_family("cmd_sockclose", cmd_sockclose);
    script_register_command_family("cmd_sockrename", cmd_sockrename);
    script_register_command_family("cmd_sockmark", cmd_sockmark);
    script_register_command_family("cmd_sockpause", cmd_sockpause);
    script_register_command_family("cmd_socklist", cmd_socklist);
    script_register_command_family("cmd_sockudp", cmd_sockudp);
    ident_register_family("ident_sock", id_sock);
    ident_register("sockname", id_sock_event, 0);
    ident_register("sockerr", id_sock_event, 1);
    ident_register("sockbr", id_sock_event, 2);
}

void sockets_uninstall()
{
    sock_free_all();
    dns_kind_resolved.drop(g_lookup_listener);
    conn_repoint.drop(g_repoint_listener);
    frame_set_handler(WM_APP_SCRIPT_SOCK_ACCEPT, nullptr);
    frame_set_handler(WM_APP_SCRIPT_SOCK_EVENT, nullptr);
    frame_set_handler(WM_APP_SCRIPT_UDP, nullptr);
    frame_set_handler(WM_APP_SCRIPT_SOCKWRITE, nullptr);
}

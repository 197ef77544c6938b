// Script UDP sockets: /sockudp makes (or reuses) a named datagram socket,
// sends to a target and, with -k, stays open to receive. Reading, writing
// later, listing and closing are the TCP sockets' own (sockets.cpp).
#include <algorithm>
#include <cstdlib>
#include <string>

#include "core/numbered_texts.h"
#include "core/text_buffer.h"
#include "core/time_date.h"
#include "extensions/sockets.h"
#include "irc/link/receive.h"
#include "model/connection.h"
#include "platform/app_messages.h"
#include "script/events/event_fire.h"
#include "script/exec/script_types.h"

namespace {

int named_error(const std::string& word, const std::string& name, int id)
{
    // A name longer than any socket's is shown cut.
    const std::string shown = name.size() >= kSockNameMax ? name.substr(0, kSockNameMax) + "..." : name;
    return script_error(nullptr, "* /" + word + ": '" + shown + "' " + text_load_string(id), "", 6);
}

int plain_error(const std::string& word, int id)
{
    return script_error(nullptr, "* /" + word + ": " + text_load_string(id), "", 6);
}

long port_of(const std::string& text)
{
    long long v = std::strtoll(text.c_str(), nullptr, 10);
    return static_cast<long>(((v % 65536) + 65536) % 65536);
}

// A token that stands where the target address may: it begins like a
// numeric address (a digit, ":" or "[") and is not a plain number.
bool looks_like_address(const std::string& t)
{
    if (t.empty() || sock_is_number(t))
        return false;
    const char c = t[0];
    return (c >= '0' && c <= '9') || c == ':' || c == '[';
}

Connection* owner_of(const CommandCall& call)
{
    if (conn_is_live(call.conn))
        return call.conn;
    Connection* c = call.window ? conn_of_window(call.window) : nullptr;
    return c ? c : conn_current();
}

// Frees a socket after an error unless it is kept open; returns 0.
int drop_unless_kept(ScriptSocket* sock, int result)
{
    if (!sock->keep_open)
        sock_free(sock);
    return result;
}

}  // namespace

// /sockudp [-tnbkdz] [bindip] name [localport] [ip port] [count] [data]
int cmd_sockudp(CommandCall& call)
{
    const std::string& word = call.tokens[0];
    std::size_t i = 1;
    std::string sw;
    if (!call.arg(1).empty() && call.arg(1)[0] == '-') {
        sw = call.arg(1).substr(1);
        i = 2;
    }
    auto has = [&](char c) { return sw.find(c) != std::string::npos; };
    std::string bind_ip;
    if (has('d')) {
        bind_ip = call.arg(i++);
        SockAddr probe;
        if (bind_ip.empty())
            return script_error(nullptr, word, "", 0);
        if (!sockaddr_from_text(bind_ip, 0, probe))
            return script_error(nullptr, word, "", 3);
    }
    const std::string name = call.arg(i++);
    if (name.empty())
        return script_error(nullptr, word, "", 0);
    if (name.size() >= kSockNameMax)
        return named_error(word, name, 5202);
    long local_port = 0;
    bool has_local = false;
    if (sock_is_number(call.arg(i))) {
        local_port = port_of(call.arg(i++));
        if (local_port == 0)
            return script_error(nullptr, word, "", 3);
        has_local = true;
    }
    SockAddr target;
    bool has_target = false;
    if (looks_like_address(call.arg(i))) {
        const std::string& ip = call.arg(i);
        const std::string& port_text = call.arg(i + 1);
        if (port_text.empty())
            return script_error(nullptr, word, "", 0);
        const long port = sock_is_number(port_text) ? port_of(port_text) : 0;
        if (port == 0 || !sockaddr_from_text(ip, static_cast<int>(port), target))
            return script_error(nullptr, word, "", 3);
        has_target = true;
        i += 2;
    }
    long count = 0;
    if (has('b')) {
        if (!sock_is_number(call.arg(i)))
            return script_error(nullptr, word, "", 0);
        count = std::strtol(call.arg(i++).c_str(), nullptr, 10);
    }

    ScriptSocket* sock = sock_find_by_name(name);
    if (sock && !sock->udp)
        return named_error(word, name, 5203);
    if (sock && has_local && local_port != sock->port)
        return script_error(nullptr, text_fill_id(5201, {name, std::to_string(sock->port)}), "", 6);
    if (!sock) {
        Connection* conn = owner_of(call);
        SockAddr local;
        std::string local_ip = bind_ip;
        if (local_ip.empty())
            local_ip = has_target && sockaddr_family(target) == AF_INET6 ? "::" : "0.0.0.0";
        sockaddr_from_text(local_ip, static_cast<int>(local_port), local);
        const int s = sock_create(sockaddr_family(local), SOCK_DGRAM);
        if (s == INVALID_SOCKET)
            return plain_error(word, 5205);
        if (sock_bind(s, local) == SOCKET_ERROR) {
            sock_close(s);
            return plain_error(word, has_local ? 5206 : 5204);
        }
        sock = sock_new_record(conn);
        sock->name = name;
        sock->udp = true;
        sock->keep_open = has('k');
        sock->status = kSockActive;
        sock->handle = s;
        sock->bind_ip = bind_ip;
        if (conn_is_live(conn)) {
            sock->address = conn->local_ip_text;
            sock->ip = conn->local_ip_text;
        }
        if (has_target)
            sock->udp_target = target;
        sock_async_select(s, WM_APP_SCRIPT_SOCK_EVENT, FD_READ | FD_WRITE | FD_CLOSE);
        sock_read_back_bind(sock);
        sock->port = sock->bind_port;
    }
    if (!has_target)
        target = sock->udp_target;

    std::string data;
    if (call.arg(i).empty()) {
        if (has('n'))
            data = "\r\n";
        else if (!has('z'))
            return drop_unless_kept(sock, 1);
    } else if (!sock_take_data(call, i, has('t'), has('n'), data)) {
        named_error(word, call.arg(i), 5207);
        return drop_unless_kept(sock, 0);
    }
    if (count > 0 && static_cast<std::size_t>(count) < data.size())
        data.resize(static_cast<std::size_t>(count));
    if (!sock->send_queue.empty() && sock->send_queue.size() + data.size() > kSockQueueMax) {
        named_error(word, name, 5208);
        return drop_unless_kept(sock, 0);
    }
    sock->send_queue += data;
    const std::size_t n = std::min(sock->send_queue.size(), kSockSendChunk);
    const long r = sock_sendto(sock->handle, sock->send_queue.data(), n, target);
    if (r == SOCKET_ERROR) {
        const int error = sock_last_error();
        if (error != WSAEWOULDBLOCK) {
            sock->wserr = error;
            post_app_message(WM_APP_SCRIPT_SOCK_EVENT, static_cast<uintptr_t>(sock->handle),
                             WSAMAKESELECTREPLY(FD_WRITE, error));
        }
        return 1;
    }
    sock->last_send = time_clock();
    sock->bytes_sent += static_cast<double>(r);
    sock->send_queue.erase(0, static_cast<std::size_t>(r));
    if (!sock->send_queue.empty()) {
        sock_defer_poll(WM_APP_SCRIPT_SOCK_EVENT, sock->handle, FD_WRITE, 0);
        return 1;
    }
    sock->send_queue.shrink_to_fit();
    if (!sock->keep_open) {
        sock_free(sock);
        return 1;
    }
    if (event_switch_events)
        post_app_message(WM_APP_SCRIPT_SOCKWRITE, static_cast<uintptr_t>(sock->id),
                         reinterpret_cast<intptr_t>(sock));
    return 1;
}

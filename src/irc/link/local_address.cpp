#include "irc/link/local_address.h"

#include <arpa/inet.h>

#include <cctype>

#include "model/connection.h"
#include "core/main_settings.h"
#include "core/text_limits.h"
#include "irc/link/connect.h"
#include "irc/link/lookups.h"
#include "script/stores/timers.h"

namespace {

int default_local_lookup(QWidget* window, const std::string& text, int echo, Connection*)
{
    return dns_lookup_request(window, std::string(), text, echo, kDnsLocalHost);
}

void default_userhost_self(int, Connection* conn)
{
    if (!conn_is_live(conn)) return;
    const std::string& nick = conn_own_nick(conn);
    if (nick.empty()) return;
    int pending = 0;
    UserhostRequest** tail = &conn->userhost_requests;
    for (; *tail; tail = &(*tail)->next) ++pending;
    // A server that never answers must not make the list grow without end.
    if (pending >= 64) return;
    auto* req = new UserhostRequest;
    req->purpose = 10;
    req->window = conn->status_window;
    *tail = req;
    irc_send_line("USERHOST " + nick + "\n", 0, conn);
}

void lookup(const std::string& text, int echo, Connection* conn)
{
    if (irc_local_lookup && conn_is_live(conn)) irc_local_lookup(timer_status_window(conn), text, echo, conn);
}

}  // namespace

int (*irc_local_lookup)(QWidget*, const std::string&, int, Connection*) = default_local_lookup;
void (*irc_userhost_request_self)(int, Connection*) = default_userhost_self;

std::string local_address_host_part(const std::string& text)
{
    std::size_t at = text.find('@');
    if (at == std::string::npos) return std::string();
    std::string host = text.substr(at + 1, kShortText);
    std::size_t blank = host.find(' ');
    if (blank != std::string::npos) host.resize(blank);
    std::size_t dot = host.rfind('.');
    if (host.empty() || dot == std::string::npos) return std::string();
    std::size_t i = dot + 1;
    while (i < host.size() && std::isalnum(static_cast<unsigned char>(host[i]))) ++i;
    host.resize(i);
    return host;
}

int conn_learn_local_address(const std::string* text, int from_reply, int echo, Connection* conn)
{
    if (!conn || !conn_is_live(conn)) return 0;
    if (!from_reply && !conn->local_host.empty()) {
        if (conn->local_ip == 0) lookup(conn->local_host, echo, conn);
        return 1;
    }
    const std::string host = text ? local_address_host_part(*text) : std::string();
    if (!host.empty()) {
        in_addr a{};
        if (inet_aton(host.c_str(), &a) != 0) {
            conn->local_ip = ntohl(a.s_addr);
            conn->local_ip_text = host;
            conn->local_host.clear();
        } else {
            conn->local_ip = 0;
            conn->local_ip_text.clear();
            conn->local_host = host;
        }
        lookup(host, echo, conn);
        return 1;
    }
    if (from_reply) {
        if (echo) conn_show_local_host(conn);
        if (conn_is_live(conn)) ini_save_local_host(conn);
        return !text || text->empty() ? 1 : 0;
    }
    if (irc_userhost_request_self) irc_userhost_request_self(echo, conn);
    return 1;
}

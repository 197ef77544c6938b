#include "irc/link/local_address.h"

#include <arpa/inet.h>

#include <cctype>

#include "irc/link/identity_settings.h"
#include "model/connection.h"
#include "core/main_settings.h"
#include "core/text_limits.h"
#include "irc/link/connect.h"
#include "irc/link/lookups.h"
#include "irc/lists/user_lists.h"
#include "script/stores/timers.h"

namespace {

// The local host text is looked up from the status window, for nobody in
// particular.
void lookup(const std::string& text, int echo, Connection* conn)
{
    if (conn_is_live(conn))
        dns_lookup_request(timer_status_window(conn), std::string(), text, echo, kDnsLocalHost);
}

}  // namespace

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
    userlist_request_self(echo, conn);
    return 1;
}

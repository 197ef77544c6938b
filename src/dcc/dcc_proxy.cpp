// Transfers through the firewall proxy: a send's offer waits at the proxy
// (a SOCKS5 bind) and names the address the proxy listens on; a get, and a
// send that answers a passive offer, connect through it. The proxy link is
// keyed by the transfer's proxy key and hands the connected socket back.
#include <string>

#include "core/text_buffer.h"
#include "dcc/dcc_engine.h"
#include "irc/link/net_settings.h"
#include "irc/link/proxy.h"
#include "model/connection.h"
#include "platform/sockets.h"

namespace {

DccTransfer* by_key(int key)
{
    DccTransfer* found = nullptr;
    if (key == 0)
        return nullptr;
    dcc_each_transfer([&](DccTransfer* t) {
        if (!found && t->proxy_key == key)
            found = t;
    });
    return found;
}

// The dotted address as a number in host order; 0 when it is none.
std::uint32_t address_number(const std::string& text)
{
    SockAddr a;
    if (!sockaddr_from_text(text, 0, a))
        return 0;
    return sockaddr_ipv4(a);
}

}  // namespace

int dcc_proxy_serves(const std::string& address)
{
    if (!proxy_settings.enabled || !proxy_settings.dcc)
        return 0;
    return address.empty() ? 1 : proxy_serves(address);
}

int dcc_proxy_owner_is_live(int key)
{
    return by_key(key) != nullptr;
}

void dcc_proxy_hand_over(int key, int socket)
{
    DccTransfer* t = by_key(key);
    if (!t) {
        sock_close(socket);
        return;
    }
    t->proxy_key = 0;
    if (t->kind == kDccSend)
        dccsend_proxy_connected(t, socket);
    else
        dccget_proxy_connected(t, socket);
}

void dcc_proxy_announce_bind(int key, const std::string& address, int port)
{
    DccTransfer* t = by_key(key);
    if (!t || t->kind != kDccSend)
        return;
    // The proxy's own address unless it names none, or the local address
    // when the settings ask for it.
    std::uint32_t number = address_number(address);
    if (number == 0)
        number = address_number(proxy_settings.host);
    if (!proxy_settings.use_ip || number == 0)
        number = conn_is_live(t->conn) ? t->conn->local_ip : 0;
    dccsend_proxy_bound(t, number, port);
}

void dcc_proxy_fail(int key, const std::string& text)
{
    DccTransfer* t = by_key(key);
    if (!t)
        return;
    t->proxy_key = 0;
    if (t->kind == kDccSend)
        dccsend_finish(t, text);
    else
        dccget_finish(t, text);
}

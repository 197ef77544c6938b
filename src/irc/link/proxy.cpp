#include "irc/link/proxy.h"

#include <cstdlib>
#include <list>
#include <memory>
#include <vector>

#include "model/connection.h"
#include "core/base64.h"
#include "core/main_settings.h"
#include "core/numbered_texts.h"
#include "core/text_buffer.h"
#include "core/text_limits.h"
#include "core/wildcard.h"
#include "irc/link/close.h"
#include "irc/link/connect.h"
#include "irc/link/lookups.h"
#include "irc/link/net_settings.h"
#include "platform/app_messages.h"
#include "platform/sockets.h"

ProxyDccHooks proxy_dcc_hooks;

namespace {

std::list<std::unique_ptr<ProxyLink>> g_links;

bool is_dotted(const std::string& text)
{
    SockAddr a;
    return !text.empty() && text.find(':') == std::string::npos && sockaddr_from_text(text, 0, a) == 1;
}

ProxyLink* by_socket(int socket)
{
    for (auto& l : g_links)
        if (l->socket == socket && socket != -1)
            return l.get();
    return nullptr;
}

bool listed(const ProxyLink* link)
{
    for (auto& l : g_links)
        if (l.get() == link)
            return true;
    return false;
}

// Frees a link; its socket is closed unless it was handed over.
void link_free(ProxyLink* link)
{
    for (auto it = g_links.begin(); it != g_links.end(); ++it) {
        if (it->get() != link)
            continue;
        if (link->socket != -1)
            sock_close(link->socket);
        g_links.erase(it);
        return;
    }
}

// The proxy host, from the setting or else from SOCKS_HOST (which the
// setting then takes).
std::string proxy_host()
{
    if (proxy_settings.host.empty()) {
        const char* env = std::getenv("SOCKS_HOST");
        if (env && *env)
            proxy_settings.host = text_first_word_of(std::string(env).substr(0, kShortText));
    }
    return proxy_settings.host;
}

bool send_whole(ProxyLink* link, const std::string& bytes)
{
    long n = sock_send(link->socket, bytes.data(), bytes.size());
    if (n != static_cast<long>(bytes.size()))
        return false;
    sock_async_select(link->socket, WM_APP_PROXY_REPLY, FD_READ | FD_CLOSE);
    return true;
}

std::string port_bytes(int port)
{
    return std::string{static_cast<char>((port >> 8) & 0xFF), static_cast<char>(port & 0xFF)};
}

std::string address_bytes(const std::string& dotted)
{
    SockAddr a;
    sockaddr_from_text(dotted, 0, a);
    uint32_t v = sockaddr_ipv4(a);
    return std::string{static_cast<char>(v >> 24), static_cast<char>((v >> 16) & 0xFF),
                       static_cast<char>((v >> 8) & 0xFF), static_cast<char>(v & 0xFF)};
}

enum Request { kSocks4Connect, kSocks5Greeting, kHttpConnect, kSocks5Auth, kSocks5Request };

// Builds and sends one request; false when it could not go whole.
bool send_request(ProxyLink* link, Request type)
{
    const ProxySettings& p = proxy_settings;
    const bool with_auth = !p.userid.empty() && !p.password.empty();
    std::string b;
    switch (type) {
    case kSocks4Connect:
        b = std::string{4, 1} + port_bytes(link->target_port) + address_bytes(link->target) + p.userid;
        b.push_back('\0');
        break;
    case kSocks5Greeting:
        b = with_auth ? std::string{5, 2, 0, 2} : std::string{5, 1, 0};
        break;
    case kHttpConnect: {
        b = "CONNECT " + link->target + ":" + std::to_string(link->target_port) + " HTTP/1.0\r\n";
        if (with_auth) {
            std::string pair = p.userid + ":" + p.password;
            std::string coded;
            if (b64_encode(pair.data(), pair.size(), coded, kMediumText + 1, -1) > 0) {
                b += "Authorization: Basic " + coded + "\r\n";
                b += "Proxy-Authorization: Basic " + coded + "\r\n";
            }
        }
        b += "\r\n";
        break;
    }
    case kSocks5Auth: {
        std::string user = p.userid.substr(0, 255);
        std::string pw = p.password.substr(0, 255);
        b = std::string{1, static_cast<char>(user.size())} + user + static_cast<char>(pw.size()) + pw;
        break;
    }
    case kSocks5Request:
        if (link->mode != kProxyModeConnect && link->mode != kProxyModeBind)
            return false;
        b = std::string{5, static_cast<char>(link->mode == kProxyModeBind ? 2 : 1), 0};
        if (is_dotted(link->target)) {
            b.push_back(1);
            b += address_bytes(link->target);
        } else {
            std::string name = link->target.substr(0, 255);
            b.push_back(3);
            b.push_back(static_cast<char>(name.size()));
            b += name;
        }
        b += port_bytes(link->target_port);
        break;
    }
    return send_whole(link, b);
}

// How many bytes the reply of the current stage has in all, as far as the
// bytes read so far tell; 0 for an HTTP reply (read to its blank line).
std::size_t reply_length(const ProxyLink* link)
{
    if (link->method == kProxyHttp)
        return 0;
    if (link->method == kProxySocks4)
        return 8;
    if (link->stage == 2 || link->stage == 3)
        return 2;
    // A SOCKS5 request reply: 4 bytes, the address by its type, the port.
    const std::string& r = link->reply;
    if (r.size() < 4)
        return 4;
    if (r[1] != 0)
        return 4; // a failure reply may end after its code
    switch (static_cast<unsigned char>(r[3])) {
    case 1:
        return 4 + 4 + 2;
    case 4:
        return 4 + 16 + 2;
    case 3:
        return r.size() < 5 ? 5 : 5 + static_cast<unsigned char>(r[4]) + 2;
    default:
        return 4;
    }
}

void hand_over(ProxyLink* link)
{
    const int s = link->socket;
    const int kind = link->owner_kind;
    const int key = link->owner_key;
    link->socket = -1;
    link_free(link);
    if (kind == kProxyOwnerDcc) {
        if (proxy_dcc_hooks.hand_over && proxy_dcc_hooks.owner_is_live && proxy_dcc_hooks.owner_is_live(key))
            proxy_dcc_hooks.hand_over(key, s);
        else
            sock_close(s);
        return;
    }
    Connection* conn = conn_by_id(key);
    if (!conn || conn->connected || !conn->connecting || conn->socket != -1) {
        sock_close(s);
        return;
    }
    conn->socket = s;
    sock_set_keepalive(s);
    // The link goes on as after its own TCP connect.
    sock_async_select(s, WM_APP_SERVER_CONNECTED, 0);
    irc_logon(static_cast<uintptr_t>(s), WSAMAKESELECTREPLY(FD_CONNECT, 0));
}

} // namespace

// ---- Settings ----

int proxy_bypassed(const std::string& host)
{
    if (host.empty())
        return 0;
    std::size_t start = 0;
    const std::string& masks = proxy_settings.masks;
    while (start <= masks.size()) {
        std::size_t comma = masks.find(',', start);
        std::string mask = masks.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        while (!mask.empty() && mask.front() == ' ')
            mask.erase(0, 1);
        while (!mask.empty() && mask.back() == ' ')
            mask.pop_back();
        if (!mask.empty() && wild_match(mask, host, 0, 1))
            return 1;
        if (comma == std::string::npos)
            break;
        start = comma + 1;
    }
    return 0;
}

int proxy_serves(const std::string& host)
{
    return proxy_settings.enabled && !proxy_bypassed(host) ? 1 : 0;
}

std::string proxy_fail_text(int code)
{
    int id = 0;
    if (code >= 1 && code <= 10)
        id = 2700 + code;
    else if (code >= 91 && code <= 94)
        id = 2711 + (code - 91);
    else if (code == 101)
        id = 2715;
    else if (code >= 103 && code <= 109)
        id = 2716 + (code - 103);
    return id ? text_load_string(id) : std::string();
}

// ---- Start ----

int proxy_connect(const std::string& target, int target_port, int mode, int owner_kind, int owner_key)
{
    const std::string host = proxy_host();
    if (host.empty()) {
        proxy_fail(nullptr, owner_kind, owner_key, 1);
        return 0;
    }
    if (mode == -1)
        return 1;
    const int method = proxy_settings.method;
    if (method == kProxySocks4 && !is_dotted(target)) {
        proxy_fail(nullptr, owner_kind, owner_key, 4);
        return 0;
    }
    if (mode == kProxyModeBind && method != kProxySocks5) {
        proxy_fail(nullptr, owner_kind, owner_key, 10);
        return 0;
    }
    auto link = std::make_unique<ProxyLink>();
    link->target = target.substr(0, kShortText);
    link->target_port = target_port;
    link->mode = mode;
    link->owner_kind = owner_kind;
    link->owner_key = owner_key;
    link->method = method;
    ProxyLink* raw = link.get();
    g_links.push_back(std::move(link));
    if (is_dotted(host)) {
        proxy_socket_connect(host, raw);
        return listed(raw) ? 1 : 0;
    }
    if (!dns_lookup_request(nullptr, "firewall", host, 0, kDnsProxyHost)) {
        proxy_fail(raw, owner_kind, owner_key, 6);
        return 0;
    }
    return 1;
}

void proxy_socket_connect(const std::string& address, ProxyLink* link)
{
    if (!link) {
        for (auto& l : g_links)
            if (l->stage == 0) {
                link = l.get();
                break;
            }
        if (!link)
            return;
    }
    if (!listed(link))
        return;
    SockAddr addr;
    if (!is_dotted(address) || !sockaddr_from_text(address, proxy_settings.port, addr)) {
        proxy_fail(link, link->owner_kind, link->owner_key, 1);
        return;
    }
    link->stage = 1;
    link->timeout = kProxyTimeout;
    int s = sock_create(AF_INET, SOCK_STREAM);
    if (s == INVALID_SOCKET) {
        proxy_fail(link, link->owner_kind, link->owner_key, 2);
        return;
    }
    link->socket = s;
    sock_set_keepalive(s);
    sock_async_select(s, WM_APP_PROXY_CONNECT, FD_CONNECT);
    if (sock_connect(s, addr) == SOCKET_ERROR && sock_last_error() != WSAEWOULDBLOCK)
        proxy_fail(link, link->owner_kind, link->owner_key, 3);
}

intptr_t proxy_on_connect(uintptr_t socket, intptr_t lparam)
{
    ProxyLink* link = by_socket(static_cast<int>(socket));
    if (!link || link->stage != 1)
        return 0;
    link->stage = 2;
    link->timeout = kProxyTimeout;
    if (WSAGETSELECTERROR(lparam)) {
        proxy_fail(link, link->owner_kind, link->owner_key, 3);
        return 0;
    }
    Request first = link->method == kProxySocks4   ? kSocks4Connect
                    : link->method == kProxySocks5 ? kSocks5Greeting
                                                   : kHttpConnect;
    if (!send_request(link, first))
        proxy_fail(link, link->owner_kind, link->owner_key, 7);
    return 0;
}

intptr_t proxy_on_reply(uintptr_t socket, intptr_t lparam)
{
    ProxyLink* link = by_socket(static_cast<int>(socket));
    if (!link || link->stage < 2)
        return 0;
    const int kind = link->owner_kind;
    const int key = link->owner_key;
    if (WSAGETSELECTERROR(lparam)) {
        proxy_fail(link, kind, key, 7);
        return 0;
    }
    link->timeout = kProxyTimeout;
    // Read exactly this stage's reply; the rest stays on the socket.
    for (;;) {
        std::size_t want;
        if (link->method == kProxyHttp) {
            if (link->reply.size() >= 4 && link->reply.compare(link->reply.size() - 4, 4, "\r\n\r\n") == 0)
                break;
            if (link->reply.size() >= 2 && link->reply.compare(link->reply.size() - 2, 2, "\n\n") == 0)
                break;
            if (link->reply.size() >= kProxyHttpReplyMax) {
                proxy_fail(link, kind, key, 8);
                return 0;
            }
            want = 1;
        } else {
            std::size_t total = reply_length(link);
            if (link->reply.size() >= total)
                break;
            want = total - link->reply.size();
        }
        char buf[300];
        long n = sock_recv(link->socket, buf, std::min(want, sizeof buf));
        if (n == 0) {
            proxy_fail(link, kind, key, 8);
            return 0;
        }
        if (n < 0) {
            if (sock_last_error() == WSAEWOULDBLOCK) {
                if (WSAGETSELECTEVENT(lparam) == FD_CLOSE)
                    proxy_fail(link, kind, key, 8);
                return 0; // the rest of the reply comes with the next notice
            }
            proxy_fail(link, kind, key, 8);
            return 0;
        }
        link->reply.append(buf, static_cast<std::size_t>(n));
    }
    const std::string reply = link->reply;
    link->reply.clear();
    sock_async_select(link->socket, 0, 0);

    if (link->method == kProxyHttp) {
        std::size_t blank = reply.find(' ');
        int status = blank == std::string::npos ? 0 : std::atoi(reply.c_str() + blank + 1);
        if (link->stage == 2 && (status == 401 || status == 407))
            return 0; // no answer: the link waits for its time-out
        if (status == 200 && link->mode == kProxyModeConnect) {
            hand_over(link);
            return 0;
        }
        proxy_fail(link, kind, key, 91);
        return 0;
    }
    if (link->method == kProxySocks5) {
        int code = reply.size() > 1 ? static_cast<unsigned char>(reply[1]) : 9;
        if (code > 9)
            code = 9;
        const bool ipv4 = reply.size() >= 10 && reply[3] == 1;
        if (link->stage == 2 && code == 0) {
            link->stage = 4;
            if (!send_request(link, kSocks5Request))
                proxy_fail(link, kind, key, 0);
            return 0;
        }
        if (link->stage == 2 && code == 2) {
            link->stage = 3;
            if (!send_request(link, kSocks5Auth))
                proxy_fail(link, kind, key, 7);
            return 0;
        }
        if (link->stage == 3 && code == 0) {
            link->stage = 4;
            if (!send_request(link, kSocks5Request))
                proxy_fail(link, kind, key, 0);
            return 0;
        }
        if (link->stage == 4 && code == 0 && link->mode == kProxyModeConnect) {
            hand_over(link);
            return 0;
        }
        if (link->stage == 4 && code == 0 && link->mode == kProxyModeBind && ipv4) {
            char address[32];
            std::snprintf(address, sizeof address, "%d.%d.%d.%d", static_cast<unsigned char>(reply[4]),
                          static_cast<unsigned char>(reply[5]), static_cast<unsigned char>(reply[6]),
                          static_cast<unsigned char>(reply[7]));
            int port = (static_cast<unsigned char>(reply[8]) << 8) | static_cast<unsigned char>(reply[9]);
            link->stage = 5;
            sock_async_select(link->socket, WM_APP_PROXY_REPLY, FD_READ | FD_CLOSE);
            if (proxy_dcc_hooks.announce_bind)
                proxy_dcc_hooks.announce_bind(key, address, port);
            return 0;
        }
        if (link->stage == 5 && code == 0 && ipv4) {
            hand_over(link);
            return 0;
        }
        proxy_fail(link, kind, key, 100 + code);
        return 0;
    }
    // SOCKS4
    int code = reply.size() > 1 ? static_cast<unsigned char>(reply[1]) : 94;
    if (code < 90 || code > 93)
        code = 94;
    if (code == 90 && link->stage == 2 && link->mode == kProxyModeConnect) {
        hand_over(link);
        return 0;
    }
    proxy_fail(link, kind, key, code);
    return 0;
}

// ---- Failure, time-out, close ----

void proxy_fail(ProxyLink* link, int owner_kind, int key, int code)
{
    std::string text = proxy_fail_text(code);
    if (link && listed(link))
        link_free(link);
    else
        proxy_close_by_key(owner_kind, key);
    if (owner_kind == kProxyOwnerConnection) {
        Connection* conn = conn_by_id(key);
        if (conn && !conn->connected)
            conn_fail_attempt(conn, kFailConnect, text);
        return;
    }
    if (proxy_dcc_hooks.fail && proxy_dcc_hooks.owner_is_live && proxy_dcc_hooks.owner_is_live(key)) {
        std::string plain = text.rfind("* ", 0) == 0 ? text.substr(2) : text;
        std::string collapsed;
        for (char c : plain)
            if (c != ' ' || (!collapsed.empty() && collapsed.back() != ' '))
                collapsed.push_back(c);
        proxy_dcc_hooks.fail(key, collapsed);
    }
}

void proxy_tick()
{
    std::vector<ProxyLink*> expired;
    for (auto& l : g_links)
        if (--l->timeout <= 0)
            expired.push_back(l.get());
    // A failure may free other links of the same owner: each is looked up again.
    for (ProxyLink* link : expired)
        if (listed(link))
            proxy_fail(link, link->owner_kind, link->owner_key, 9);
}

void proxy_close_by_key(int owner_kind, int key)
{
    for (auto it = g_links.begin(); it != g_links.end();) {
        if ((*it)->owner_kind == owner_kind && (*it)->owner_key == key) {
            if ((*it)->socket != -1)
                sock_close((*it)->socket);
            it = g_links.erase(it);
        } else {
            ++it;
        }
    }
}

int proxy_link_count() { return static_cast<int>(g_links.size()); }

void proxy_install()
{
    static int load_listener = 0;
    settings_loaded.add_once(load_listener, kLoadProxy, [](SettingsLoad&) { proxy_settings_load(); });
    frame_set_handler(WM_APP_PROXY_CONNECT, proxy_on_connect);
    frame_set_handler(WM_APP_PROXY_REPLY, proxy_on_reply);
}

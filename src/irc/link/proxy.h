// Outgoing links through a SOCKS4, SOCKS5 or HTTP CONNECT proxy, for the
// server link and for DCC. A negotiation is a ProxyLink: it resolves the
// proxy host, connects to it, sends the method's requests, reads the
// replies stage by stage and hands the connected socket to its owner.
//
// Replies are read exactly: a SOCKS reply up to its own length, an HTTP
// reply up to its blank line; whatever the server sends after it stays on
// the socket for the owner.
#pragma once

#include <cstdint>
#include <string>

struct Connection;

// Owners.
constexpr int kProxyOwnerConnection = 0;
constexpr int kProxyOwnerDcc = 1;
// Modes.
constexpr int kProxyModeConnect = 0;
constexpr int kProxyModeBind = 1;
// Seconds a link may wait at one step.
constexpr int kProxyTimeout = 180;
// The longest HTTP reply head read.
constexpr std::size_t kProxyHttpReplyMax = 4150;

struct ProxyLink {
    std::string target;       // host name or dotted address to reach
    int target_port = 0;
    int mode = kProxyModeConnect;
    int stage = 0;            // 0 proxy host lookup, 1 connecting, 2 first request sent,
                              // 3 SOCKS5 authentication sent, 4 SOCKS5 request sent,
                              // 5 SOCKS5 bind announced
    int owner_kind = kProxyOwnerConnection;
    int owner_key = 0;        // connection id, or the DCC record's proxy key
    int timeout = kProxyTimeout;
    int method = 0;
    int socket = -1;
    std::string reply;        // the reply read so far
};

// 1 when a bypass mask matches the host; an empty host never matches.
int proxy_bypassed(const std::string& host);
// 1 when the proxy serves links to this host (enabled and not bypassed).
int proxy_serves(const std::string& host);
// Starts a negotiation: 1 started (mode -1: the proxy host is known), 0
// failed (the failure already reported).
int proxy_connect(const std::string& target, int target_port, int mode, int owner_kind, int owner_key);
// The proxy host's address is known (or the lookup failed: empty).
void proxy_socket_connect(const std::string& address, ProxyLink* link);
intptr_t proxy_on_connect(uintptr_t socket, intptr_t lparam);
intptr_t proxy_on_reply(uintptr_t socket, intptr_t lparam);
// Reports a failure to the owner and frees the link.
void proxy_fail(ProxyLink* link, int owner_kind, int key, int code);
// The text of a failure code ("" for codes without one).
std::string proxy_fail_text(int code);
void proxy_tick();
void proxy_close_by_key(int owner_kind, int key);
int proxy_link_count();

// The DCC side: DCC chats, sends and receives own links by their proxy key.
struct ProxyDccHooks {
    // Whether a DCC record holds the key.
    int (*owner_is_live)(int key) = nullptr;
    // The negotiated socket goes to the DCC record, which continues as after
    // its own connect (or, for a bind, as after its peer connected).
    void (*hand_over)(int key, int socket) = nullptr;
    // A SOCKS5 bind is in place: the record announces the address and port.
    void (*announce_bind)(int key, const std::string& address, int port) = nullptr;
    // The failure text (without "* ", blanks collapsed) ends the record.
    void (*fail)(int key, const std::string& text) = nullptr;
};
extern ProxyDccHooks proxy_dcc_hooks;

void proxy_install();

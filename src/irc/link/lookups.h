// Host-name lookups on request: one queue for /dns, the local host, the proxy
// host, DCC and script sockets. Requests are resolved one at a time in the
// order they were made; the completion (WM_APP+11) hands the result to the
// requester by the request's kind and, for /dns, raises the DNS event.
// The server link's own lookups do not go through here.
#pragma once

#include "core/signal.h"

#include <cstdint>
#include <string>
#include <vector>

class QWidget;
struct Connection;

// Who asked for a lookup.
enum DnsKind : int {
    kDnsNickNotFound = 0,   // /dns for a nick whose address is unknown: always fails
    kDnsCommand = 1,        // /dns for a host, address or nick
    kDnsChatName = 2,       // DCC chat window names
    kDnsGetName = 3,        // DCC receive names
    kDnsSocketOpen = 4,     // script socket open
    kDnsLocalHost = 5,      // the local host as the server sees it
    kDnsProxyHost = 6,      // proxy host
    kDnsChatConnect = 7,
    kDnsSendConnect = 8,
    kDnsProxyOffer = 9,     // DCC offers made through the proxy
    kDnsGetConnect = 10,
    kDnsLocalInfoAddress = 51,
    kDnsLocalInfoName = 52,
};

struct DnsRequest {
    std::string requester;      // e.g. the nick given to /dns (at most 256)
    std::string query;          // host name or numeric address (at most 256)
    std::string result;         // resolved address or name; empty on failure (at most 256)
    int echo = 0;               // show progress and result lines
    int kind = 0;
    QWidget* owner = nullptr;   // the window the request serves (checked before use)
    intptr_t handle = 0;        // lookup handle; negative for a request that failed before being issued
    int issued = 0;             // its lookup (or its failure notice) is under way
    std::uint32_t address = 0;  // the query address, network byte order (lookups by address)
    int by_address = 0;         // the query is a numeric address: looked up for its name
    Connection* conn = nullptr; // the connection of the owner window
    DnsRequest* next = nullptr;
};

// The queue; the head is the one being resolved.
extern DnsRequest* dns_queue;
// The addresses of the result being handed out (numeric texts, random order);
// empty outside a completion.
extern std::vector<std::string> dns_addresses;
// The queue holds at most this many requests; more are refused.
constexpr int kDnsQueueMax = 256;

// Queues a lookup. 2 pending (new, or the same kind and query already
// pending for kinds 2-5), 1 settled at once, 0 failed.
int dns_lookup_request(QWidget* owner, const std::string& requester, const std::string& query,
                       int echo, int kind);
// Issues the head's lookup when none runs and shows the progress lines.
// Returns whether a lookup runs.
int dns_issue(DnsRequest* request);
// WM_APP+11: wparam the lookup handle, lparam the result word.
intptr_t dns_on_lookup_done(uintptr_t handle, intptr_t lparam);
// Cancels a request's lookup and frees it.
void dns_cancel(DnsRequest* request);
// Cancels every request and frees the address list (at exit).
void dns_cancel_all();
// Cancels every queued request except the head (/dns -c).
void dns_cancel_waiting();
int dns_request_is_live(const DnsRequest* request);
int dns_queue_count();

// One to four dot-separated parts of digits (each below 256), "*" and "?"
// allowed in a part.
bool dns_is_ip_mask(const std::string& text);

// The host of a nick from the internal address list (the part after "@" of
// its address); 1 when known.
int dns_nick_host(Connection* conn, const std::string& nick, std::string* host);

// The request of the DNS event being handled (null outside one, or when it
// was freed meanwhile).
DnsRequest* dns_current_event_request();

// Prints a line of the lookups into a window, or into the connection's
// status window when the window is gone.
void dns_print(QWidget* window, Connection* conn, const std::string& text, std::uint32_t colour);

// The result of the kinds served by the parts above (DCC 2, 3, 7-10,
// sockets 4); `failed` when nothing was found. Each listener acts on its own
// kinds only.
extern Signal<void(DnsRequest* request, int failed)> dns_kind_resolved;

// ---- Seams ----
// Kinds 2 and 3: copies a name already resolved for another chat or receive
// from the same host; 1 when it did. Null until DCC transfers are built.
extern int (*dns_share_result)(QWidget* owner, const std::string& query, int kind);

// Sets the WM_APP+11 handler and registers the lookup identifiers.
void irc_lookups_install();

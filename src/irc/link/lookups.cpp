// Host-name lookups on request: the queue, the completion and its hand-out by
// kind, and the identifiers that read the lookup of a DNS event.
#include "irc/link/proxy.h"
#include "irc/link/identity_settings.h"
#include "irc/link/lookups.h"

#include "model/connection.h"
#include "model/window_record.h"
#include "core/main_settings.h"
#include "core/numbered_texts.h"
#include "core/text_buffer.h"
#include "core/text_limits.h"
#include "model/colors.h"
#include "model/line_buffer.h"
#include "irc/link/connect.h"
#include "irc/lists/address_list.h"
#include "platform/app_messages.h"
#include "platform/host_lookup.h"
#include "platform/sockets.h"
#include "script/events/event_fire.h"
#include "script/events/event_index.h"
#include "script/exec/script_types.h"

#include <arpa/inet.h>

#include <algorithm>
#include <random>

DnsRequest* dns_queue = nullptr;
std::vector<std::string> dns_addresses;

namespace {

constexpr int kFailedBeforeIssue = 10061;   // the error of a request that could not be issued
constexpr std::size_t kMaxAddresses = 256;  // addresses kept of one result

intptr_t g_next_fake = 0;  // handles of requests that failed before being issued: -1, -2, ...

intptr_t fake_handle()
{
    if (g_next_fake <= -1000000)
        g_next_fake = 0;
    return --g_next_fake;
}

QWidget* print_target(QWidget* window, Connection* conn)
{
    if (window && win_record_of(window))
        return window;
    return link_status_window(conn);
}

int fire_dns_event(DnsRequest* r)
{
    EventSource src;
    src.lookup = r;
    src.requester = r->requester;
    int halt = 0;
    return event_fire(r->conn, r->owner, nullptr, "DNS", kEvDns, 0, &halt, &src);
}

bool quiet_kind(int kind)
{
    return kind == kDnsLocalHost || kind == kDnsLocalInfoAddress || kind == kDnsLocalInfoName;
}

bool is_ipv4(const std::string& text, std::uint32_t* net_order)
{
    in_addr a{};
    if (text.empty() || inet_pton(AF_INET, text.c_str(), &a) != 1)
        return false;
    if (net_order)
        *net_order = a.s_addr;
    return true;
}

bool is_ipv6(const std::string& text)
{
    in6_addr a{};
    return !text.empty() && inet_pton(AF_INET6, text.c_str(), &a) == 1;
}

void unlink_request(DnsRequest* r)
{
    for (DnsRequest** p = &dns_queue; *p; p = &(*p)->next)
        if (*p == r) {
            *p = r->next;
            return;
        }
}

DnsRequest* find_by_handle(intptr_t handle)
{
    if (handle == 0)
        return nullptr;
    for (DnsRequest* r = dns_queue; r; r = r->next)
        if (r->handle == handle)
            return r;
    return nullptr;
}

void print_to(const DnsRequest* r, const std::string& text, std::uint32_t colour)
{
    dns_print(r->owner, r->conn, text, colour);
}

void save_local(Connection* conn, int echo)
{
    if (echo)
        conn_show_local_host(conn);
    ini_save_local_host(conn);
}

// The kinds this file serves itself: the /dns lines and the local host.
void hand_out(DnsRequest* r, bool failed)
{
    Connection* conn = r->conn;
    switch (r->kind) {
    case kDnsNickNotFound:
    case kDnsCommand: {
        // The handler may free the request or queue more: keep what is shown.
        const int kind = r->kind, echo = r->echo;
        const std::string query = r->query, requester = r->requester, result = r->result;
        QWidget* owner = r->owner;
        int go = 1;
        if (event_switch_events && dns_request_is_live(r))
            go = fire_dns_event(r);
        if (!go || !echo || !conn_is_live(conn))
            return;
        std::string line;
        if (kind == kDnsNickNotFound)
            line = text_fill_id(2006, {requester});
        else if (failed)
            line = text_fill_id(2005, {query});
        else
            line = text_fill_id(2004, {query, result});
        dns_print(owner, conn, line, kColorInfoText);
        return;
    }
    case kDnsLocalHost:
    case kDnsLocalInfoAddress:
    case kDnsLocalInfoName: {
        if (failed || !conn_is_live(conn))
            return;
        std::uint32_t net = 0;
        bool dotted = is_ipv4(r->result, &net);
        if (dotted && r->kind != kDnsLocalInfoName) {
            conn->local_ip_text = r->result;
            conn->local_ip = ntohl(net);
        } else if (!dotted && r->kind != kDnsLocalInfoAddress) {
            conn->local_host = r->result.substr(0, kShortText);
        } else {
            return;
        }
        if (r->kind == kDnsLocalInfoAddress) {
            dns_lookup_request(r->owner, r->requester, r->result, r->echo, kDnsLocalInfoName);
            return;
        }
        save_local(conn, r->echo);
        return;
    }
    case kDnsProxyHost:
        proxy_socket_connect(failed ? std::string() : r->result, nullptr);
        return;
    default:
        dns_kind_resolved.fire(r, failed ? 1 : 0);
        return;
    }
}

std::mt19937& shuffler()
{
    static std::mt19937 gen{std::random_device{}()};
    return gen;
}

// ---- Identifiers ----

int id_dns(IdentCall& call)
{
    int r = ident_args_step(call, kIdentAnyArgs);
    if (r >= 0)
        return r;
    int n = ident_arg_count(call);
    if (n < 1 || n > 2)
        return ident_error(call.token, call.work, 6);
    std::string_view prop = ident_property(call);
    long index = std::strtol(ident_arg(call, 0).c_str(), nullptr, 10);
    call.value->clear();
    DnsRequest* req = dns_current_event_request();
    if (!req)
        return ident_finish(call);
    const std::string* selected = nullptr;
    if (index >= 1) {
        if (static_cast<std::size_t>(index) > dns_addresses.size())
            return ident_finish(call);
        selected = &dns_addresses[static_cast<std::size_t>(index - 1)];
    } else if (prop.empty()) {
        *call.value = std::to_string(dns_addresses.size());
        return ident_finish(call);
    }
    if (prop.empty()) {
        *call.value = req->query.empty() ? req->requester : req->query;
    } else if (text_equal_nocase(prop, "nick")) {
        *call.value = req->requester;
    } else if (text_equal_nocase(prop, "addr")) {
        if (!req->result.empty() && !dns_is_ip_mask(req->result))
            *call.value = req->result;
        else if (!dns_is_ip_mask(req->query))
            *call.value = req->query;
    } else if (text_equal_nocase(prop, "ip")) {
        if (selected)
            *call.value = *selected;
        else if (dns_is_ip_mask(req->result))
            *call.value = req->result;
        else if (dns_is_ip_mask(req->query))
            *call.value = req->query;
    }
    return ident_finish(call);
}

// $iaddress, $naddress, $raddress (variant 0, 1, 2).
int id_dns_address(IdentCall& call)
{
    call.value->clear();
    DnsRequest* req = dns_current_event_request();
    if (!req)
        return 2;
    switch (call.variant) {
    case 0:
        if (dns_is_ip_mask(req->result))
            *call.value = req->result;
        else if (dns_is_ip_mask(req->query))
            *call.value = req->query;
        break;
    case 1:
        if (!req->result.empty() && !dns_is_ip_mask(req->result))
            *call.value = req->result;
        else if (!dns_is_ip_mask(req->query))
            *call.value = req->query;
        break;
    default:
        *call.value = req->result;
        break;
    }
    return 2;
}

} // namespace

Signal<void(DnsRequest*, int)> dns_kind_resolved;
int (*dns_share_result)(QWidget*, const std::string&, int) = nullptr;

void dns_print(QWidget* window, Connection* conn, const std::string& text, std::uint32_t colour)
{
    QWidget* w = print_target(window, conn);
    if (w)
        print_line(w, std::string_view(text), colour);
}

int dns_nick_host(Connection* conn, const std::string& nick, std::string* host)
{
    IalResult found;
    if (!ial_lookup(nick, found, conn))
        return 0;
    const std::size_t at = found.text.find('@');
    if (at == std::string::npos || at + 1 >= found.text.size())
        return 0;
    if (host)
        *host = found.text.substr(at + 1);
    return 1;
}

bool dns_is_ip_mask(const std::string& text)
{
    if (text.empty())
        return false;
    int parts = 0;
    std::size_t i = 0;
    while (true) {
        std::size_t start = i;
        bool wild = false;
        long value = 0;
        for (; i < text.size() && text[i] != '.'; ++i) {
            char c = text[i];
            if (c == '*' || c == '?') {
                wild = true;
            } else if (c >= '0' && c <= '9') {
                if (value < 1000)
                    value = value * 10 + (c - '0');
            } else {
                return false;
            }
        }
        if (i == start || (!wild && value > 255))
            return false;
        if (++parts > 4)
            return false;
        if (i == text.size())
            return true;
        ++i;  // the dot
        if (i == text.size())
            return false;
    }
}

int dns_request_is_live(const DnsRequest* request)
{
    if (!request)
        return 0;
    for (DnsRequest* r = dns_queue; r; r = r->next)
        if (r == request)
            return 1;
    return 0;
}

int dns_queue_count()
{
    int n = 0;
    for (DnsRequest* r = dns_queue; r; r = r->next)
        ++n;
    return n;
}

DnsRequest* dns_current_event_request()
{
    EventFireContext* c = event_current_context();
    if (!c || c->event_id != kEvDns || !c->source)
        return nullptr;
    auto* r = static_cast<DnsRequest*>(c->source->lookup);
    return dns_request_is_live(r) ? r : nullptr;
}

int dns_lookup_request(QWidget* owner, const std::string& requester, const std::string& query,
                       int echo, int kind)
{
    std::string q = query;
    std::size_t at = q.find('@');
    if (at != std::string::npos)
        q.erase(0, at + 1);
    std::size_t lead = q.find_first_not_of(' ');
    q.erase(0, lead == std::string::npos ? q.size() : lead);
    if (q.empty() && kind != kDnsNickNotFound)
        return 0;
    // Longer than any host name: cut so that it fails as a name, not as a copy.
    if (q.size() > kShortText)
        q.resize(kShortText);
    Connection* conn = conn_of_window(owner);
    if (!conn_is_live(conn))
        return 0;
    if ((kind == kDnsChatName || kind == kDnsGetName) && dns_share_result && dns_share_result(owner, q, kind))
        return 1;
    if (kind >= kDnsChatName && kind <= kDnsLocalHost)
        for (DnsRequest* r = dns_queue; r; r = r->next)
            if (r->kind == kind && text_equal_nocase(r->query, q))
                return 2;
    if (dns_queue_count() >= kDnsQueueMax)
        return 0;
    auto* req = new DnsRequest;
    req->requester = requester.substr(0, kShortText);
    req->query = q;
    req->echo = echo;
    req->kind = kind;
    req->owner = owner;
    req->conn = conn;
    DnsRequest** tail = &dns_queue;
    while (*tail)
        tail = &(*tail)->next;
    *tail = req;
    if (kind == kDnsNickNotFound) {
        req->handle = fake_handle();
        dns_on_lookup_done(static_cast<uintptr_t>(req->handle),
                           static_cast<intptr_t>(kFailedBeforeIssue) << 16);
        return 1;
    }
    dns_issue(req);
    return 2;
}

int dns_issue(DnsRequest* request)
{
    DnsRequest* head = dns_queue;
    if (!head)
        return 0;
    const int n = dns_queue_count();
    const std::string suffix = n > 1 ? text_fill_id(2003, {std::to_string(n - 1)}) : std::string();
    auto waiting = [&]() {
        if (request && request != head && dns_request_is_live(request) && request->echo &&
            !quiet_kind(request->kind))
            print_to(request, text_fill_id(2002, {request->query}) + suffix, kColorInfoText);
    };
    if (head->issued) {
        waiting();
        return 1;
    }
    if (head->echo && !quiet_kind(head->kind))
        print_to(head, text_fill_id(2001, {head->query}) + suffix, kColorInfoText);
    head->issued = 1;
    int handle = 0;
    std::uint32_t net = 0;
    if (is_ipv4(head->query, &net)) {
        head->by_address = 1;
        head->address = net;
        handle = host_lookup_reverse_start(head->query, WM_APP_HOST_LOOKUP_DONE);
    } else if (is_ipv6(head->query)) {
        head->by_address = 1;
        handle = host_lookup_reverse_start(head->query, WM_APP_HOST_LOOKUP_DONE);
    } else {
        handle = host_lookup_start(head->query, WM_APP_HOST_LOOKUP_DONE, AF_INET);
    }
    waiting();
    if (handle <= 0) {
        // Every requester learns the outcome through the completion.
        head->handle = fake_handle();
        post_app_message(WM_APP_HOST_LOOKUP_DONE, static_cast<uintptr_t>(head->handle),
                         static_cast<intptr_t>(kFailedBeforeIssue) << 16);
        return 0;
    }
    head->handle = handle;
    return 1;
}

intptr_t dns_on_lookup_done(uintptr_t wparam, intptr_t lparam)
{
    const auto handle = static_cast<intptr_t>(wparam);
    HostLookupResult res;
    int have = 0;
    if (handle > 0 && handle <= INT32_MAX)
        have = host_lookup_take(static_cast<int>(handle), res);
    DnsRequest* req = find_by_handle(handle);
    if (!req) {
        // A notice for a request that is gone: the one in flight keeps going.
        dns_issue(nullptr);
        return 0;
    }
    if (!conn_is_live(req->conn)) {
        unlink_request(req);
        delete req;
        dns_issue(nullptr);
        return 0;
    }
    bool failed = true;
    dns_addresses.clear();
    req->result.clear();
    if (host_lookup_error(lparam) == 0 && have) {
        if (req->by_address) {
            req->result = res.name.substr(0, kShortText);
            failed = req->result.empty();
        } else {
            for (const SockAddr& a : res.addresses) {
                if (dns_addresses.size() >= kMaxAddresses)
                    break;
                std::string text = sockaddr_ip_text(a);
                if (!text.empty())
                    dns_addresses.push_back(text);
            }
            std::shuffle(dns_addresses.begin(), dns_addresses.end(), shuffler());
            if (!dns_addresses.empty()) {
                req->result = dns_addresses.front();
                failed = false;
            }
        }
    }
    hand_out(req, failed);
    dns_addresses.clear();
    if (dns_request_is_live(req)) {
        unlink_request(req);
        delete req;
    }
    dns_issue(nullptr);
    return 0;
}

void dns_cancel(DnsRequest* request)
{
    if (!dns_request_is_live(request))
        return;
    if (request->handle > 0)
        host_lookup_cancel(static_cast<int>(request->handle));
    unlink_request(request);
    delete request;
}

void dns_cancel_all()
{
    while (dns_queue)
        dns_cancel(dns_queue);
    dns_addresses.clear();
}

void dns_cancel_waiting()
{
    while (dns_queue && dns_queue->next)
        dns_cancel(dns_queue->next);
}

void irc_lookups_install()
{
    frame_set_handler(WM_APP_HOST_LOOKUP_DONE, dns_on_lookup_done);
    ident_register_family("id_dns", id_dns);
    ident_register("dns(", id_dns);
    ident_register("iaddress", id_dns_address, 0);
    ident_register("naddress", id_dns_address, 1);
    ident_register("raddress", id_dns_address, 2);
}

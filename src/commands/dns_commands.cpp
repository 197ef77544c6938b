// /dns: looks up a host, an address or a nick's host; without a name lists
// the lookups under way.
#include "commands/dns_commands.h"

#include "irc/link/lookups.h"
#include "irc/lists/user_lists.h"

#include "model/connection.h"
#include "core/numbered_texts.h"
#include "model/colors.h"
#include "model/line_buffer.h"
#include "irc/link/connect.h"
#include "script/exec/script_types.h"

#include <string>

namespace {

void list_pending(Connection* conn, QWidget* window)
{
    bool any = dns_queue != nullptr;
    for (Connection* c = conn_list; c && !any; c = c->next)
        any = c->lookup_handle != 0;
    if (!any)
        return;
    if (window)
        print_separator(window, kColorInfoText);
    dns_print(window, conn, text_load_string(741), kColorInfoText);
    for (DnsRequest* r = dns_queue; r; r = r->next)
        dns_print(window, conn, r->query.empty() ? r->requester : r->query, kColorInfo2Text);
    for (Connection* c = conn_list; c; c = c->next)
        if (c->lookup_handle)
            dns_print(window, conn, c->server_name + " (server)", kColorInfo2Text);
}

} // namespace

// /dns [-c] [-h] name
int cmd_dns(CommandCall& call)
{
    Connection* conn = conn_is_live(call.conn) ? call.conn : conn_current();
    QWidget* window = link_status_window(conn);
    std::size_t i = 1;
    bool as_host = false;
    if (call.argc() >= 1 && !call.arg(1).empty() && call.arg(1)[0] == '-') {
        const std::string& sw = call.arg(1);
        if (sw.find_first_of("cC") != std::string::npos)
            dns_cancel_waiting();
        as_host = sw.find_first_of("hH") != std::string::npos;
        if (call.argc() < 2)
            return kScriptDone;
        i = 2;
    }
    if (call.argc() < i) {
        list_pending(conn, window);
        return kScriptDone;
    }
    const std::string& name = call.arg(i);
    // A numeric IPv6 address has colons and no dot: it is a host too.
    if (as_host || name.find_first_of(".:") != std::string::npos) {
        dns_lookup_request(window, std::string(), name, call.show, kDnsCommand);
        return kScriptDone;
    }
    std::string host;
    if (dns_nick_host(conn, name, &host)) {
        dns_lookup_request(window, name, host, call.show, kDnsCommand);
        return kScriptDone;
    }
    if (conn_is_connected(conn)) {
        userlist_dns_request(conn, window, name);
        return kScriptDone;
    }
    return script_error(nullptr, "dns", "", 12);
}

void dns_commands_register()
{
    script_register_command("dns", cmd_dns);
}

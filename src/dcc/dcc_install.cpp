// Plugs the transfer engine into the program: its socket messages, its
// one-second steps, its commands and identifiers, and the closing of a
// transfer window.
#include "app/window_open.h"
#include "dcc/dcc_chat.h"
#include "dcc/dcc_engine.h"
#include "irc/link/lookups.h"
#include "dcc/dcc_offers.h"
#include "display/second_tick.h"
#include "platform/app_messages.h"

void dcc_commands_register();

namespace {

int tick_send_id = 0;
int tick_get_id = 0;
int closing_id = 0;
int lookup_id = 0;

// A DCC server's host name resolved for a chat, send or get that waits to
// connect to it; each record is looked up again by its window.
void on_lookup(DnsRequest* r, int failed)
{
    const std::string address = failed ? std::string() : r->result;
    if (r->kind == kDnsChatConnect)
        dccchat_connect_resolved(dccchat_find_by_window(r->owner), address);
    else if (r->kind == kDnsSendConnect)
        dccsend_connect_resolved(dcc_transfer_of_window(r->owner), address);
    else if (r->kind == kDnsGetConnect)
        dccget_connect_resolved(dcc_transfer_of_window(r->owner), address);
}

void on_window_closing(WindowRecord* rec)
{
    DccTransfer* t = dcc_transfer_of(rec);
    if (!t)
        return;
    dcc_transfer_close(t);
    dcc_transfer_closed.fire(t);
}

}  // namespace

void dcc_transfers_install()
{
    dcc_ports_load();
    frame_set_handler(WM_APP_DCCSEND_LISTEN, dccsend_on_listen);
    frame_set_handler(WM_APP_DCCSEND_SOCKET, dccsend_on_connect);
    frame_set_handler(WM_APP_DCCSEND_DATA, dccsend_on_data);
    frame_set_handler(WM_APP_DCCGET_LISTEN, dccget_on_listen);
    frame_set_handler(WM_APP_DCCGET_SOCKET, dccget_on_connect);
    frame_set_handler(WM_APP_DCCGET_DATA, dccget_on_data);
    frame_set_handler(WM_APP_DCCGET_PENDING, dccget_process_pending);
    tick_second.add_once(tick_send_id, kTickDccSends, dccsend_tick);
    tick_second.add_once(tick_get_id, kTickDccGets, dccget_tick);
    win_closing.add_once(closing_id, kClosingDccTransfer, on_window_closing);
    dns_kind_resolved.add_once(lookup_id, kDnsResolvedDcc, on_lookup);
    dcc_commands_register();
    dcc_offers_install();
}

void dcc_transfers_uninstall()
{
    for (int m : {WM_APP_DCCSEND_LISTEN, WM_APP_DCCSEND_SOCKET, WM_APP_DCCSEND_DATA, WM_APP_DCCGET_LISTEN,
                  WM_APP_DCCGET_SOCKET, WM_APP_DCCGET_DATA, WM_APP_DCCGET_PENDING})
        frame_set_handler(m, nullptr);
    tick_second.drop(tick_send_id);
    tick_second.drop(tick_get_id);
    win_closing.drop(closing_id);
    dns_kind_resolved.drop(lookup_id);
    dcc_offers_uninstall();
}

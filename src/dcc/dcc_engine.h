// The DCC file-transfer engine: sends and gets on the event loop's
// non-blocking sockets, the offers that came in and wait for a decision, the
// listen ports, and the install that plugs the engine into the program.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "core/signal.h"
#include "dcc/dcc_transfer.h"
#include "dcc/dcc_wire.h"

struct Connection;
class QWidget;

// ---- Ports (dcc_ports.cpp) ----

// A TCP socket from the DCC port range: kind 0 listening, kind 2 bound for an
// outgoing connection. The local port goes into *port. -1 when none.
int dcc_listen_socket(int kind, int* port);
// 1 when a port is held by a live transfer's socket.
int dcc_port_in_use(int port);
// The section "ports" of the main settings.
struct DccPortSettings {
    int dcc = 1;
    int other = 0;
    int random = 0;
    int bind = 0;
    std::string address;
};
extern DccPortSettings dcc_ports;
void dcc_ports_load();
void dcc_ports_save();
// The /bindip command.
int cmd_bindip(struct CommandCall& call);

// ---- Shared steps (dcc_common.cpp) ----

// Every transfer record, in window order.
template <class F>
void dcc_each_transfer(F&& fn);
// The transfer whose data or listening socket is `s`.
DccTransfer* dcc_transfer_by_socket(int s);
// The status window of the transfer's connection, else its own window.
QWidget* dcc_print_window(DccTransfer* t);
// Prints a result between separators into the status window.
void dcc_print_result(DccTransfer* t, const std::string& text);
// Sets the window's status text and tells the listeners.
void dcc_set_status(DccTransfer* t, const std::string& text);
// Opens a transfer window "Send nick file" / "Get nick file" and makes its
// record; null when the window cannot be opened.
DccTransfer* dcc_open_transfer(int kind, Connection* conn, const std::string& nick, const std::string& file,
                               int minimised);
// Raises a transfer's end event (FILESENT, SENDFAIL, FILERCVD, GETFAIL) in
// its pass before default output and then its normal pass, with the full
// path as the event's file. false when a handler closed the transfer.
bool dcc_fire_end_event(DccTransfer* t, std::string_view word, int id);
// Closes the transfer's file and sockets (the record stays with its window).
void dcc_transfer_close(DccTransfer* t);
// Ends a failed transfer without a result line: closed, and its window too.
void dcc_transfer_drop(DccTransfer* t);
// Reads a DCC server's reply line into r: 1 when a whole line was read,
// 0 while it is not complete yet, -1 when the peer closed or failed, or the
// line is not a numbered line with a nick (at most 4150 characters kept).
int dcc_read_server_reply(DccTransfer* t, struct DccServerRequest& r);
// Writes a numbered line whole; false when the socket did not take it.
bool dcc_write_server_line(DccTransfer* t, const std::string& line);
// The peer's nick changed (a DCC server's reply named it): window renamed.
void dcc_rename_transfer(DccTransfer* t, const std::string& nick);
// The program's clock in milliseconds (steady) for the speed history.
std::int64_t dcc_tick_ms();
// Sends a CTCP text to the nick on the connection.
void dcc_send_ctcp(Connection* conn, const std::string& nick, const std::string& text);

// ---- Sends (dcc_send.cpp) ----

struct DccSendRequest {
    Connection* conn = nullptr;
    QWidget* window = nullptr;
    std::string nick;
    std::string path;
    bool automatic = false;
    bool speed_limited = false;
    bool close_when_done = false;
    int minimised = 0;
    bool passive = false;
};
// Starts one send; 1 when it was queued, 0 after a message.
int dccsend_start(const DccSendRequest& request);
// 1 when the automatic sends still offered or running reach the send limit.
int dccsend_limit_reached();
// A send target naming a peer's DCC server ("address[:port]" or "nick
// address[:port]", either order; the address holds a dot; port 59 when none
// is given). 0 when the text has no address word or a bad port.
int dccsend_server_target(const std::string& text, std::string& nick, std::string& address, int& port);
// A "130" on the own DCC server for a file of an open file-server session:
// the send takes the connected socket, answers "131 nick size" and waits
// for "132". 0 when the file's size cannot be read (the socket stays with
// the caller).
int dccsend_from_server(Connection* conn, const std::string& nick, const std::string& address,
                        const std::string& path, int socket, int port);
// The block size of a packet size: a power of two from 512 to 65536.
int dccsend_block_size(int packet_size);

// Links through the firewall proxy (SOCKS5 for offers the proxy listens for).
// 1 when DCC links to the address go through the proxy (an empty address:
// our own offers, which the proxy must listen for).
int dcc_proxy_serves(const std::string& address);
// The proxy listens for an offer of ours at the address and port: announce.
void dccsend_proxy_bound(DccTransfer* t, std::uint32_t address, int port);
// The proxy handed over a connected socket: the transfer starts.
void dccsend_proxy_connected(DccTransfer* t, int socket);
void dccget_proxy_connected(DccTransfer* t, int socket);
// The proxy hooks: the transfer keyed by its proxy link.
int dcc_proxy_owner_is_live(int key);
void dcc_proxy_hand_over(int key, int socket);
void dcc_proxy_announce_bind(int key, const std::string& address, int port);
void dcc_proxy_fail(int key, const std::string& text);
// The block a speed-limited send may write now under the total send-speed
// limit: the block itself without a limit, 0 when this second's share is
// used up, else the smaller of the block and an even share of what is left
// (never below 512).
int dccsend_block_for_cps(int block);
// A passive offer's reply from the receiver: connects the waiting send.
// 1 when a send took it.
int dccsend_take_passive_reply(Connection* conn, const std::string& nick, const DccOffer& offer);
// A RESUME for a waiting send; 1 when answered with ACCEPT.
int dccsend_resume(Connection* conn, const std::string& nick, const DccOffer& offer);
// The send steps driven by socket events and the tick.
intptr_t dccsend_on_listen(uintptr_t s, intptr_t word);
intptr_t dccsend_on_connect(uintptr_t s, intptr_t word);
intptr_t dccsend_on_data(uintptr_t s, intptr_t word);
void dccsend_tick();
void dccsend_finish(DccTransfer* t, const std::string& status);

// ---- Gets (dcc_get.cpp) ----

// An offer that waits for a decision (accept, ask, drop).
struct DccPendingOffer {
    int id = 0;
    Connection* conn = nullptr;
    std::string nick;
    std::string peer;        // user@host
    DccOffer offer;
    std::string folder;      // a folder the offer's ctcp event chose; empty when none
    bool trusted = false;    // the sender is on the trusted list (and the check is on)
    int server_socket = -1;  // a "120" request on the own DCC server: its connected socket
};
// Most offers that wait at once; more are refused.
constexpr int kDccPendingMax = 32;
// An offer came in (the CTCP handler). Queues it and posts the pending walk.
// A "120" request on the own DCC server passes its connected socket: the
// get answers "121" on it once accepted, "151 rejected" when refused.
void dccget_offer(Connection* conn, const std::string& nick, const std::string& peer, const DccOffer& offer,
                  const std::string& folder = std::string(), bool trusted = false, int server_socket = -1);
// Fetches a file from a file server held over a peer's DCC server: a new
// link to that server asks for it with "130". 1 when the get started.
int dccget_from_server(Connection* conn, const std::string& nick, const std::string& address, int port,
                       const std::string& folder, const std::string& name);
// An ACCEPT for a get that asked to resume; 1 when one took it.
int dccget_take_accept(Connection* conn, const std::string& nick, const DccOffer& offer);
// The pending walk (WM_APP+17).
intptr_t dccget_process_pending(uintptr_t, intptr_t);
// Accepts a waiting offer by id (the ask dialog's answer); folder empty
// for the receive folder. 1 when a get was made.
int dccget_accept(int offer_id, const std::string& folder);
// Drops a waiting offer by id.
void dccget_refuse(int offer_id);
// The waiting offer with that id, or null.
DccPendingOffer* dccget_pending(int offer_id);
// The offers still waiting (oldest first).
int dccget_pending_count();
// An offer waits for the user (receive mode "ask", or a file that exists
// with the choice "ask"): the accept dialog listens.
extern Signal<void(int offer_id)> dcc_offer_waiting;
// The default receive folder (ends in '/'), made when missing.
std::string dccget_default_folder();
// 1 when writing to the path would touch a loaded script or the main
// settings file.
int dccget_path_is_protected(const std::string& path);
intptr_t dccget_on_connect(uintptr_t s, intptr_t word);
intptr_t dccget_on_listen(uintptr_t s, intptr_t word);
intptr_t dccget_on_data(uintptr_t s, intptr_t word);
void dccget_tick();
void dccget_finish(DccTransfer* t, const std::string& status);

// The host name of a DCC server a send or get connects to resolved to the
// address (empty: not found): the transfer connects or ends.
void dccsend_connect_resolved(DccTransfer* t, const std::string& address);
void dccget_connect_resolved(DccTransfer* t, const std::string& address);
// Where the DCC part listens to finished host lookups.
constexpr int kDnsResolvedDcc = 30;

// ---- Install (dcc_install.cpp) ----
void dcc_transfers_install();
void dcc_transfers_uninstall();

// ---- Template bodies ----
#include "model/window_record.h"
template <class F>
void dcc_each_transfer(F&& fn)
{
    for (WindowRecord* rec = win_list; rec;) {
        WindowRecord* next = rec->next;
        if (DccTransfer* t = dcc_transfer_of(rec))
            fn(t);
        rec = next;
    }
}

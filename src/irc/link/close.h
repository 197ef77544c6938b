// The end of a server link: closing and reporting it once, the retry policy
// after a failure, the four stage resets of a link's state, the CONNECTFAIL
// event, and /disconnect.
#pragma once

#include <cstdint>
#include <string>

#include "core/signal.h"

struct Connection;

// flags: 1 clear pending changes and the retry state, 2 clear the /server
// switches and the auto-join list, 4 close with "Bağlantınız Kesildi" (when
// connected) or "Bağlantınız iptal edildi". Sends QUIT when connected.
// Returns what conn_close returns.
int conn_disconnect(const std::string& text, int flags, Connection* conn);
// 0 none, 1 was connected, 2 was connecting, 3 both.
int conn_close(const std::string& text, Connection* conn);
// 1 when a retry timer was armed.
int conn_schedule_retry(Connection* conn);
// Stage 0 before an attempt, 1 TCP connected, 2 link closed, 3 after DISCONNECT.
void conn_reset_stage(int stage, Connection* conn);
// WM_APP+87: raises CONNECTFAIL.
void conn_fire_connectfail(Connection* conn);
intptr_t conn_on_connectfail_message(uintptr_t wparam, intptr_t lparam);
// Ends a failed attempt: the reason becomes the last error text, the failure
// code is set, a retry is decided and the link closed with the reason.
void conn_fail_attempt(Connection* conn, int failure_code, const std::string& reason);

// Seams.
// The disconnect notice (sound or beep) of a registered link. Default: nothing.
extern void (*irc_disconnect_notice)(Connection* conn);
// A link stage (0 an attempt starts, 2 set up, 3 closing) reaches the other
// parts in this order, lowest first.
enum LinkStageOrder {
    kStageChannelRejoin = 10,
    kStageFlood = 20,
    kStageUserLists = 30,
    kStageNotify = 40,
    kStagePlayQueue = 50,
};
extern Signal<void(int stage, Connection* conn)> irc_link_stage;
// Traffic and state of the links, for the tray's lamps and animation: 0 a
// link started, closed or registered, 1 a line was sent, 2 data arrived.
// Fired on every read and write: listeners keep it cheap.
extern Signal<void(int kind)> irc_link_activity;

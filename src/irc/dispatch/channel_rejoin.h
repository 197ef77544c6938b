// Channel windows across a lost link. When a link that was up closes, every
// channel window of the connection is put in the parted state and waits for
// a rejoin (join state 2). When a new connect begins, the windows left over
// from before are closed, or kept waiting when a keep-channels setting is
// on. At logon the windows of another network are closed and the waiting
// windows are rejoined. A refused nick or channel name closes a window
// that still waits for its join.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "irc/numerics/logon.h"

class QWidget;
struct Connection;
struct WindowRecord;

// The link closed (stage 3): every channel window of the connection loses
// its nick list (and its address-list entries), topic and modes, gets its
// caption recomputed and shows "* Bağlantınız Kesildi" when our own nick
// was in its list. The window is off the channel (chan_left 1); one that
// was on it or had a join pending waits for a rejoin (chan_state 2).
void chan_part_all_for_link(Connection* conn);

// A new connect begins (stage 0): the channel windows left over from
// before (waiting, rejoin sent, or off the channel) are closed, unless
// keep-channels-open or rejoin-on-connect is on; then they stay waiting.
void chan_close_leftovers(Connection* conn);

// The channel windows of the connection that wait for a rejoin (state 2)
// or whose rejoin was sent (state 3), in window-list order, each with its
// key, network tag and window number.
std::vector<LogonChannel> chan_channels_to_rejoin(Connection* conn);

// The logon sequence rejoins one of them: its state becomes 3, its topic
// is emptied, its caption updated and "* Tekrar Girilmeye Çalışılıyor..."
// shown in it.
void chan_rejoin_starting(Connection* conn, const LogonChannel& channel);

// Logon: every left-over channel window of the connection whose network
// tag names another network (or, without a network name, another server)
// is closed. Windows without a tag, and every window while the connection
// knows neither name, stay.
void chan_close_other_network_windows(Connection* conn);

// A nick or channel name was refused (432, 433, 437; 403 and the join
// refusals): the channel leaves the pending-join list, and a channel
// window of that name whose join was sent and not answered, or that waits
// for a rejoin, is closed once. With keep-channels-open on it stays open,
// waiting (state 2).
void chan_close_waiting(const std::string& channel, Connection* conn);

// The stage step of the link's state resets (0 new attempt, 2 link closed,
// 3 after DISCONNECT).
void chan_rejoin_stage(int stage, Connection* conn);

// Sets the link's stage hook (after any hook already set, which still
// runs first) and the logon sequence's channel seams. Safe to call again.
void irc_rejoin_install();
// Removes what irc_rejoin_install added.
void irc_rejoin_uninstall();

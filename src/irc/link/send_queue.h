// The send path: every line for a server goes through irc_send_line. Lines keep their order through the link's
// send queue (Connection::send_queue: text = one line with its "\n",
// number = the line's kind), which survives a full socket buffer and partial
// writes; the flood gate may hold a line; bytes sent (Connection::flood_budget)
// and the mean line length are counted for it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "core/signal.h"

struct Connection;

// Line kinds.
constexpr int kLineOrdinary = 0;
constexpr int kLineAutoReply = 1;
constexpr int kLineHeld = 2;
constexpr int kLineFlood = 4;       // never converted, never held
constexpr int kLineTimeoutProbe = 8;

// Most lines a send queue holds; a line beyond it is dropped (result 0).
constexpr int kSendQueueMax = 4096;

// 1 sent, queued or held; 0 dropped or failed. An empty text sends the
// queue's next line. A line is cut at 4,150 characters and always ends in
// its line feed.
int irc_send_line(const std::string& text, int kind, Connection* conn);

// WM_APP+76: the next queued line, then the flood queue's release.
void irc_send_queue_continue(Connection* conn);
intptr_t irc_on_send_queue_message(uintptr_t wparam, intptr_t lparam);

// Looks at an outgoing line for the windows it touches (JOIN targets into
// the recent channels, own activity for PRIVMSG/NOTICE targets).
void irc_inspect_outgoing(const std::string& line, Connection* conn);

// Own activity in a window named by a PRIVMSG/NOTICE target: a line the
// user sent there.
enum OwnActivityOrder {
    kOwnActivityColours = 10,  // the nick colours: the own nick turns active
};
extern Signal<void(const std::string& target, Connection* conn)> irc_own_activity;

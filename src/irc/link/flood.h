// Outgoing flood protection. While it is on, the send path asks the flood
// gate about every line it is about to write. Once the recent traffic passes
// the byte budget, lines of the kinds that count are held in the link's flood
// queue and "PING :FLOODCHECK" is sent; only the server's PONG to it (the
// server has read everything before it) releases the held lines, one by one,
// each release checking the budget again. Automatic replies to other users
// are queued fairly (the users take turns), limited in number overall and per
// user, and a user who keeps asking may be ignored for a while.
//
// The holding flag, the probe counter and the bytes sent are fields of the
// Connection (flood_check_out, flood_check_seconds, flood_budget); the mean
// line length lives in the link state. The flood queue and the report
// counters are kept here per connection.
#pragma once

#include <string>
#include <vector>

class QWidget;
struct Connection;
struct StringNode;

// Most lines a flood queue holds; a further holdable line is dropped.
constexpr int kFloodQueueMax = 4096;

// The link's held lines and report counters. A queue node: text = the line
// (automatic replies carry a "nick@host " or "@ " prefix), number = the
// line's kind (0 for lines held as ordinary ones), extra[0] = 1 when the line
// is a PRIVMSG or NOTICE, serial = a program-wide counter.
struct FloodState {
    StringNode* queue = nullptr;
    int size = 0;            // number of nodes in the queue
    int tick_counter = 0;    // seconds since the last queue-size report
    int last_reported = 0;   // queue size shown last
    FloodState() = default;
    FloodState(const FloodState&) = delete;
    FloodState& operator=(const FloodState&) = delete;
    ~FloodState();
};

// The flood state of a live connection (made on first use, gone with the
// record); null for a connection that is not live.
FloodState* flood_state(Connection* conn);
// Number of held lines (0 for a connection that is not live).
int flood_queue_size(Connection* conn);

// 1 when the line was taken (held or dropped), 0 when it is to be written
// now. Called by the send path only while flood protection is on.
int flood_gate(const std::string& line, int kind, Connection* conn);
// 1 taken (held, or dropped for a user over the limit), 0 not holdable.
int flood_classify(const std::string& line, int kind, Connection* conn);
// Inserts an entry (kind 0 at the end; automatic entries interleaved by
// user) and returns the new head. The caller counts the node.
StringNode* flood_queue_insert(StringNode* queue, const std::string& entry, int kind);
// Sets holding, the probe counter to 0, and sends "PING :FLOODCHECK".
void flood_send_check(Connection* conn);
// Releases one held line (nothing while holding).
void flood_release(Connection* conn);
// Asked by the PONG handler: 1 for the probe's PONG text
// "FLOODCHECK" (holding, the probe counter and bytes sent are cleared and
// the release runs), else 0.
int flood_check_reply(const std::string& text, Connection* conn);
// The one-second step: reports the queue size when that setting is on.
void flood_tick(Connection* conn);

// Empties the held lines. With counters 1 also ends holding and clears the
// probe counter, bytes sent, the mean line length and the report counters.
void flood_clear(Connection* conn, int counters);

// Adds the flood guard's link-stage listener (the held lines go when a
// link is set up or closes).
void irc_flood_install();
// Removes what irc_flood_install added.
void irc_flood_uninstall();

// Prints lines into a window in the Info text colour, each with a timestamp
// when the window shows them, between separator lines when framed is 1.
void flood_print(QWidget* window, const std::vector<std::string>& lines, int framed);

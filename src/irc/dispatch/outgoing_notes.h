// Notes taken of outgoing lines so that their replies can be routed later:
// the pending-WHOIS list (which window asked about whom), the pending-WHO
// list, the pending-join list with the open flags of the channel windows,
// and their ageing by the connection's one-second tick. Also the routing of
// WHOIS replies to the window that asked.
#pragma once

#include <string>
#include <vector>

#include "core/record_slots.h"

class QWidget;
struct Connection;
struct StringNode;

// A pending WHOIS or WHO entry that gets no reply line for longer than this
// many seconds is dropped.
constexpr int kPendingMaxAge = 60;
// Most entries a pending list holds; the oldest goes when a new one would
// pass it.
constexpr int kPendingListMax = 256;
// Word of a pending entry's node that holds its age in seconds.
constexpr int kPendingAgeWord = 0;

// Words of a reply-list node (Connection::reply_list): a countdown that
// drops to 0 and a life count; the node goes when its life runs out.
constexpr int kReplyCountdownWord = 0;
constexpr int kReplyLifeWord = 1;

// The notes of a connection live in this slot of its record (made on first
// use, gone with the record).
struct IrcNotes;
extern RecordSlot<IrcNotes> irc_notes_slot;

// The pending lists of a connection (null when empty or the connection is
// not live). Pending-WHOIS text: window name, "\r", first part and, when
// given, "\r" and the second part; number: the window's number. Pending-WHO
// text: channel, a blank and the mask.
StringNode* irc_pending_whois(Connection* conn);
StringNode* irc_pending_who(Connection* conn);
// WHO requests noted for a joined channel window (by window number) that
// the WHO reply handling has not yet taken; the take lowers it by one and
// returns 1 when there was one.
int irc_pending_who_count(int window_number, Connection* conn);
int irc_take_pending_who(int window_number, Connection* conn);

// Drops the oldest pending-WHO entry when it is about the channel (its
// reply ended); 1 when one went.
int irc_drop_pending_who(const std::string& channel, Connection* conn);

// Notes a WHOIS or WHOWAS request made from a window. second may be null.
void irc_note_whois(QWidget* window, const std::string& first, const std::string* second,
                    Connection* conn);
// Notes a WHO request for a channel, with an optional mask.
void irc_note_who(const std::string& channel, const std::string* mask, Connection* conn);
// Notes the channels of a comma list as joining with an open flag
// (1 minimised, 2 maximised); each is put first, duplicates removed.
void irc_note_joining(const std::string& channels, int flag, Connection* conn);
// Takes the channel's entry out of the pending-join list and returns its
// flag; 0 when there is none or the connection is not live.
int irc_pending_join_flag(const std::string& channel, Connection* conn);
int conn_take_pending_join_flags(const std::string& channel, Connection* conn);

// One second of the pending lists: every entry ages by one, and an entry
// older than kPendingMaxAge goes.
void irc_forget_pending(Connection* conn);
// The tick's step for the two request lists (pending WHOIS and WHO).
void conn_age_request_lists(Connection* conn);
// The tick's step for the reply list: a countdown above 0 drops by one, the
// life count drops by one, and a node whose life was 1 or less goes.
void conn_age_reply_list(Connection* conn);

// Routes one WHOIS or WHOWAS reply about nick (phase 0 a reply line, 1 the
// end, 2 an error): *out_window becomes the window that asked, or the status
// window, and *out_colour the "Whois text" item. Nothing changes when the
// connection is not live, a pointer is missing or the nick is empty.
void whois_route(const std::string* nick, int phase, Connection* conn, QWidget** out_window,
                 int* out_colour);

// Sends WHOIS for a list of nicks, several per line within the server's
// limits, each noted for the connection's active window (else the status
// window). The list is emptied.
void irc_whois_batch(std::vector<std::string>& nicks, Connection* conn);

// The send path's note step: the recent channels and own activity of
// irc_inspect_outgoing, then notes of WHOIS, WHOWAS, WHO and AWAY lines.
// WHOIS lines are not noted while irc_notes_hold is above 0 (the sender
// noted them itself).
void irc_note_outgoing(const std::string& line, Connection* conn);
extern int irc_notes_hold;

// The window a line being sent is asked from: the connection's active
// window when it belongs to the connection, else its status window.
QWidget* irc_note_window(Connection* conn);

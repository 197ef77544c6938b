// Handlers of ERROR, PING, PONG, INVITE, WALLOPS and the IRCX commands EVENT,
// KNOCK, PROP and WHISPER, and the notes that outgoing commands take so that
// replies can be routed later.
#pragma once

#include <string>
#include <vector>

#include "irc/dispatch/outgoing_notes.h"

struct Connection;
struct IrcMessage;
class QWidget;

// Handlers. ERROR and PING see word 0 the command and word 1 the text, with
// or without a source on the line.
void irc_on_error(IrcMessage& msg);
void irc_on_ping(IrcMessage& msg);
void irc_on_pong(IrcMessage& msg);
void irc_on_invite(IrcMessage& msg);
void irc_on_wallops(IrcMessage& msg);
void irc_on_event(IrcMessage& msg);
void irc_on_knock(IrcMessage& msg);
void irc_on_prop(IrcMessage& msg);
void irc_on_whisper(IrcMessage& msg);
// TOPIC: stores the channel's topic, refreshes its caption, fires TOPIC and
// shows the change in the channel window.
void irc_on_topic(IrcMessage& msg);

// Fires a named script event (before phase 1, normal phase 0) when the
// Events switch is on. Returns 0 when a handler halted the default.
int irc_fire_event(IrcMessage& msg, const char* word, int id, int phase);

// Runs a command line built from server text in the status window, in the
// executor's plain mode (nothing evaluated, no "|" split).
int irc_run_plain(Connection* conn, const std::string& command);

// Join lock test of the channel (lock_join_allowed). Absent: allowed.
extern int (*irc_join_allowed)(const std::string& channel, Connection* conn);
// Stored key of a channel in the channels folder for the connection's
// network. Absent: empty.
extern std::string (*irc_chanfolder_key)(Connection* conn, const std::string& channel);

// Outgoing-line notes.
void irc_note_away(const std::vector<std::string>& words, int index, Connection* conn, int strip_colon);
int irc_is_oper(Connection* conn);

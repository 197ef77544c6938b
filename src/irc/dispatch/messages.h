// PRIVMSG and NOTICE: channel text, private text (query, the Messages
// window or the active channel), server-mask text, notices and server
// notices, and the ACTION form of a CTCP. Every shown line is framed by its
// script event (TEXT, ACTION, NOTICE, SNOTICE, OPEN), fired before the
// default output (a halt there suppresses it) and again after it.
#pragma once

#include <string>

#include "core/signal.h"

class QWidget;
struct Connection;
struct IrcMessage;
struct WindowRecord;

// The PRIVMSG and NOTICE handlers (in the dispatcher's table).
void irc_on_privmsg_message(IrcMessage& msg);
void irc_on_notice_message(IrcMessage& msg);

// Strips status prefixes ("@#ops" -> "#ops") from word 2 into target_text;
// 1 when a target remains.
int irc_message_target_prefix(IrcMessage& msg);
// 1 when the nick is in the nick list of an open channel window of the
// connection that is not being rejoined.
int irc_nick_on_common_channel(const std::string& nick, Connection* conn);
// Shows a CTCP ACTION (word 3 holds the unframed "ACTION ..." text) into the
// window it arrived in (null: private without a window, or a server mask).
int irc_show_action(IrcMessage& msg, QWidget* window);
// Opens (or finds) the connection's Messages window; 0 when it cannot open.
int irc_open_message_window(IrcMessage& msg);

// Notes the WHOIS sent when a query opens (so that the reply goes there) and
// tells whether the flood gate allows it. Absent: the WHOIS is sent unnoted.
extern int (*irc_note_whois_hook)(QWidget* window, const std::string& nick, Connection* conn);

// A nick spoke in a channel (a message or action of it was shown there).
enum NickSpokeOrder {
    kNickSpokeColours = 10,  // the nick colours: its idle time starts again
};
extern Signal<void(WindowRecord* channel, const std::string& nick)> irc_nick_spoke;

// Strips the CTCP framing in place; 1 when the text was a CTCP.
int irc_ctcp_unframe(std::string& text);

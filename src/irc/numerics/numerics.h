// Numeric replies: registration (welcome, server info, capabilities), the
// nick-in-use fallback to the alternative nick, the message of the day, the
// server messages, and the default display of every other numeric.
#pragma once

#include <string>

#include "core/signal.h"

struct Connection;
struct IrcMessage;

// Handlers of the numerics table (irc/dispatch/server_messages.cpp). The
// default display of a numeric the table does not name (or that lacks the
// parameters its entry asks for): from word 3 when words 2 and 3 are there,
// else from the trailing word.
void numeric_show_default(IrcMessage& msg);
// Raw event, then the text (the trailing word, or from word 3) in the status
// window with or without separator lines before and after.
void numeric_show_text(IrcMessage& msg);
void numeric_show_text_ruled(IrcMessage& msg);
void numeric_show_text_rule_before(IrcMessage& msg);
void numeric_show_text_rule_after(IrcMessage& msg);
void numeric_show_params(IrcMessage& msg);
void numeric_show_params_ruled(IrcMessage& msg);
void numeric_raw_only(IrcMessage& msg);
// Registration, the message of the day and the server's own replies.
void numeric_on_welcome(IrcMessage& msg);
void numeric_on_server_info(IrcMessage& msg);
void numeric_on_isupport(IrcMessage& msg);
void numeric_on_redirect(IrcMessage& msg);
void numeric_on_nick_in_use(IrcMessage& msg);
void numeric_on_motd_start(IrcMessage& msg);
void numeric_on_motd_line(IrcMessage& msg);
void numeric_on_motd_end(IrcMessage& msg);
void numeric_on_user_modes(IrcMessage& msg);
void numeric_on_user_counts(IrcMessage& msg);
void numeric_on_services_line(IrcMessage& msg);
void numeric_on_services_end(IrcMessage& msg);
void numeric_on_ircx(IrcMessage& msg);
void numeric_on_stats_line(IrcMessage& msg);
void numeric_on_stats_end(IrcMessage& msg);
void numeric_on_info_line(IrcMessage& msg);
void numeric_on_info_end(IrcMessage& msg);

// Joins the words from first (up to the first missing or empty word) into
// out_text (a negative first leaves out_text as it stands) and shows it in
// the status window with the separators asked for; an empty text shows nothing.
void irc_show_words(IrcMessage& msg, int first, int sep_before, int sep_after, int colour);

// Shows a line in the connection's status window with print_line, separators
// before and/or after, timestamp on.
void irc_status_show(Connection* conn, int colour, const std::string& text, int sep_before, int sep_after);

// Fired when the nick and the alternative nick are both in use at logon
// (and no script answered the reply): the status window's input box is to
// offer "/nick " with the caret at its end.
extern Signal<void(Connection* conn)> irc_nick_prompt;
// Lets the channels list take a network name from the welcome text (word 3
// of 001) or guess it from the server info reply (004). Absent: nothing.
extern void (*irc_chanlist_network_from_welcome)(const std::string& text, Connection* conn);
extern void (*irc_chanlist_network_from_info)(IrcMessage& msg);

// Refreshes the status caption of a live connection.
void irc_update_title(Connection* conn);

// Sets the frame handlers of the numerics and the logon sequence.
void numerics_install();

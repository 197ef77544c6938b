// Numeric replies: registration (welcome, server info, capabilities), the
// nick-in-use fallback to the alternative nick, the message of the day, the
// server messages, and the default display of every other numeric.
#pragma once

#include <string>

#include "core/signal.h"

struct Connection;
struct IrcMessage;

// Handles a line whose command word is a number above 0.
// Asked first for every numeric reply: 1 when it handled the reply (the
// channel and query replies), 0 to leave it to the branches below. Null: none.
extern int (*irc_numeric_reply_hook)(IrcMessage& msg);

void irc_on_numeric(IrcMessage& msg);

// Joins the words from first (up to the first missing or empty word) into
// out_text (a negative first leaves out_text as it stands) and shows it in
// the status window with the separators asked for; an empty text shows nothing.
void irc_show_words(IrcMessage& msg, int first, int sep_before, int sep_after, int colour);

// Shows a line in the connection's status window with print_line, separators
// before and/or after. Seam for tests; by default the display's print path.
extern void (*irc_status_show)(Connection* conn, int colour, const std::string& text, int sep_before,
                               int sep_after);

// Posts the logon sequence (WM_APP+62 with the connection) once this line is
// handled. Seam; by default post_app_message.
extern void (*irc_post_logon)(Connection* conn);

// Fired when the nick and the alternative nick are both in use at logon
// (and no script answered the reply): the status window's input box is to
// offer "/nick " with the caret at its end.
extern Signal<void(Connection* conn)> irc_nick_prompt;
// Lets the channels list take a network name from the welcome text (word 3
// of 001) or guess it from the server info reply (004). Absent: nothing.
extern void (*irc_chanlist_network_from_welcome)(const std::string& text, Connection* conn);
extern void (*irc_chanlist_network_from_info)(IrcMessage& msg);
// The rest of a first welcome that belongs to the services: the ident
// server closes when nobody needs it any more. Absent: nothing.
extern void (*irc_welcome_notice)(Connection* conn);

// Refreshes the status caption. Absent: conn_hooks.conn_update_status_title.
void irc_update_title(Connection* conn);

// Sets the frame handlers of the numerics and the logon sequence.
void numerics_install();

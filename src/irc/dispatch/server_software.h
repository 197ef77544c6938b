// Server software detection from the server info reply: sets the server
// flags of a connection and sends the IRCX probe to servers that speak it.
#pragma once

struct IrcMessage;

// Message: the 004 reply (word 3 server name, word 4 version text). Returns
// the new server flags (0 without a live connection).
int irc_detect_server_software(IrcMessage& msg);

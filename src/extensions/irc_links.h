// Opening irc: links and link argument lists: from the command line at
// start, from a second start that hands its link over, and from outside
// requests. A link joins its channel on a connection that is already on
// that server, or connects (a new server) and joins after the logon.
#pragma once

#include <string>

struct Connection;

// What a link asks for once it is read.
struct IrcLinkRequest {
    std::string server;
    std::string port;
    std::string password;
    std::string channel;
    int confirm = 0;     // bring the main window to the front at the end
};

// Reads a link ("irc:..." or a comma-separated argument list) for a
// connection; 0 when it asks for nothing (an empty text, irc: links turned
// off, a chat file) and when a field holds what no link can (a control
// character; in an irc: link also a blank or a port that is no number up
// to 65535; a server written as a switch). `default_server` fills the server when the text names
// none; `chan_types` are the connection's channel prefixes.
int irc_link_parse(const std::string& text, int from_outside, const std::string& default_server,
                  const std::string& chan_types, IrcLinkRequest& out);

// Opens a link for the current connection (or the connection of the link's
// server or network). from_outside: it came from another program or a
// second start. 1 when something was done, else 0.
int dde_open_irc_link(const std::string& text, int from_outside);
// The links of the command line and of a second start (the frame's
// irc_link_open_asked) open here.
void irc_links_install();
void irc_links_uninstall();

// The command line that follows a request on a connection that is not on
// that server: a quiet built-in /server with the server, port, password
// and channel.
std::string irc_link_server_command(const IrcLinkRequest& request);


// Follows a read request on a connection.
int irc_link_follow(const IrcLinkRequest& request, Connection* conn);

// The protocol's side of the connection list: a new connection with its
// status window, closing every link at exit, finding a connection by network
// name, and the server socket closed when a record is freed.
#pragma once

#include <string>

class QWidget;
struct Connection;

// Opens the status window for a connection and answers it (null when it
// failed). The window manager sits above the protocol and answers with the
// window, so it is set by the composition.
extern QWidget* (*conn_status_window_open)(Connection* conn);

// A new connection beside sibling with its status window; the record is freed
// again and null returned when the window could not be opened.
Connection* conn_new_with_status(Connection* sibling);
// Opens the status window of a connection that has none yet (minimised when
// asked) and refreshes its caption; the window, or null when it failed.
QWidget* conn_open_status(Connection* conn, int minimised);

// Sends QUIT on every connected link and closes every link without a retry;
// a record freed meanwhile does not stop the walk.
void conn_close_all();

// The connection whose server name, network name or server group is name
// (or whose group is the group the server list gives the network).
Connection* conn_find_by_network(const std::string& name);

// What the core routines read from a connection through their readers (the
// core stands below the records and cannot name them).
// The CHARSET the server announced; empty for none or no connection.
std::string conn_charset_of(Connection* conn);
// The server's nick prefix characters, "@%+" when it gave none.
std::string conn_nick_prefixes_or_default(Connection* conn);
// Whether the server speaks IRCX.
bool conn_is_ircx(const Connection* conn);

// The socket of a freed record is closed.
void irc_connections_install();
void irc_connections_uninstall();

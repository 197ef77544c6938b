// The debug copy of a connection's IRC traffic (/debug): each line sent and
// received, to a file or a window, through an optional filter identifier.
#pragma once

#include <string>

#include "core/signal.h"

struct Connection;

// A connection's raw-traffic copy settings (set by /debug).
struct DebugSettings {
    std::string target;  // a file path, or "@" and a window name; empty = off
    std::string filter;  // an identifier name that filters each line, or empty
    int flags = 0;       // 1 wrap lines by window width, 2 timestamp them
    int colour = 0;      // colour value of lines in a window
    std::string server;  // the server's name, put before sent lines
};

// Writes one line of a connection's traffic to its debug target; incoming = 1 for
// received lines. Does nothing while it is already writing (no re-entry).
// Without a live connection or target the line goes as given to "debug.log" in
// the settings folder.
void debug_log_line(const std::string& line, int incoming, Connection* conn);

// Fills the connection's debug settings from its record; 0 when the
// connection is not live or its copy is off.
int debug_conn_settings(Connection* conn, DebugSettings& out);

// A line of the copy whose target is a window ("@" and its name): the side
// that owns /debug shows it in the connection's window of that name (window
// without "@"); no window of that name drops it.
enum DebugWindowLineOrder {
    kDebugLineCustomWindow = 10,  // a list box gets an item, a text window a printed line
};
extern Signal<void(Connection* conn, const std::string& window, const std::string& line,
                   const DebugSettings& settings)>
    debug_window_line;

// The debug copy of a connection's IRC traffic (/debug): each line sent and
// received, to a file or a window, through an optional filter identifier.
#pragma once

#include <string>

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

// Fills the connection's debug settings; 0 when the connection is not live.
// Default: 0 for every connection.
extern int (*debug_conn_settings)(Connection* conn, DebugSettings& out);

// Evaluates text in place (identifiers and variables) with params as $1- for the
// connection; a positive result on success. Default: none (no filter is applied).
extern int (*debug_filter_eval)(std::string& text, const std::string& params, Connection* conn);

// Shows a line in the connection's window named by target (without "@"): a list
// box gets an item, a text window a printed line. Default: none (dropped).
extern void (*debug_window_output)(Connection* conn, const std::string& window, const std::string& line,
                                   const DebugSettings& settings);

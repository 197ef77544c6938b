// The re-encoding of outgoing lines by the font settings of the window they
// go to: UTF-8 for a window that sends UTF-8, ISO-2022-JP for a Shift-JIS
// one.
#pragma once

#include <string>

struct Connection;
struct WindowRecord;

// Flag bits of charset_encode_outgoing.
constexpr int kEncodeUtf8 = 1;         // UTF-8 asked
constexpr int kEncodeJis = 2;          // JIS asked
constexpr int kEncodeIrcMessage = 4;   // an IRC command: convert its message part
constexpr int kEncodeJisAnyWindow = 8; // JIS by any window

// Re-encodes an outgoing line in place by the target's font settings. The
// send path of a connection calls it with 5 and then 14; DCC chat with 1 and
// then 10, passing its window. 0 when converted or nothing was asked, -1
// when left unchanged.
int charset_encode_outgoing(WindowRecord* window, Connection* conn, std::string& line, int flags);

// Font charset and encoding of a target that has no window (a channel when
// the name begins with one of the connection's channel-type characters, else
// a query), as the per-window font settings give them. A pointer: those
// settings are read by the display's fonts, above the protocol; null until
// start-up sets it, and then such a target has charset 1 and encoding 0.
extern void (*outgoing_target_font)(Connection* conn, const std::string& name, int* charset, int* encoding);

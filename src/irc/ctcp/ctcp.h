// CTCP requests and replies on the receive path: the standard requests are
// answered (VERSION, PING, FINGER, TIME), ACTION, SOUND and the DCC offers
// go to their owners, any other request is shown only, every request and
// reply is shown in "Ctcp text", the script's CTCP and CTCPREPLY events fire
// before the default, and a short per-address, per-type memory keeps a CTCP
// flood from making the connection flood the server.
#pragma once

#include <string>
#include "core/signal.h"

class QWidget;
struct Connection;
struct IrcMessage;

// The kinds of answer the flood gate remembers.
enum CtcpFloodType : int {
    kCtcpFloodVersion = 1,
    kCtcpFloodPing = 2,
    kCtcpFloodFinger = 3,
    kCtcpFloodTime = 4,
    kCtcpFloodWhois = 5,
};

// A type is answered at most once in any 5 seconds to anyone, and at most
// once in 10 seconds to one address. A message without an address is always
// allowed. Returns 1 when the answer may go out (and remembers it).
int ctcp_flood_allow(IrcMessage& msg, int type);
// The once-a-second step of the connection's memory.
void ctcp_flood_decay(Connection* conn);
// Number of remembered answers of the connection (for /flood's view and
// tests).
int ctcp_flood_size(Connection* conn);

// Fires the CTCP event with the CTCP text as its word; 1 when the default
// goes on (also when the Ctcps switch is off), 0 when a handler halted it.
int ctcp_fire_event(IrcMessage& msg);

// A DCC SEND or TSEND offer arrived, before its ctcp event: listeners name
// the path it would be received to (has_dcc_file_text, dcc_file_text), which
// the event's scripts read as $filename and may move with /dcc get.
extern Signal<void(IrcMessage& msg)> ctcp_dcc_send_arriving;
enum CtcpDccSendArrivingPriority {
    kCtcpDccSendArrivingFolder = 100,  // the DCC layer names the receive path
};

// The request handler: word 3 holds the unframed CTCP; `window` is the
// window the request arrived in (may be null).
void ctcp_on_request(IrcMessage& msg, QWidget* window);
// The reply handler (a NOTICE whose text is a CTCP).
void irc_on_ctcp_reply(IrcMessage& msg);

// ---- Seams of the owners of SOUND and DCC ----

// Plays a requested sound: 1 played (or queued), 0 found but not playable
// (`folder` then holds where it was looked for), -1 not found.
extern int (*ctcp_sound_play)(const std::string& name, std::string& folder);
// A DCC offer (word 3: "DCC SEND ...", "DCC CHAT ...", "DCC RESUME ...",
// "DCC ACCEPT ...") after the checks of this layer: the offer's records and
// connections belong to the DCC layer.
extern void (*ctcp_dcc_offer)(IrcMessage& msg, QWidget* window);

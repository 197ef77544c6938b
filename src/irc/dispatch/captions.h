// Captions of the status, channel, query and Messages windows, and the
// status window's shorter labels for the bars, the tray and the menus.
#pragma once

#include <string>

#include "core/signal.h"

struct Connection;
struct IrcMessage;
struct WindowRecord;

// Recomputes a window's caption and sets it only when it changed; the
// message (may be null) gives the sender and address of a query or Messages
// window.
void win_update_title(WindowRecord* rec, const IrcMessage* msg);

// The status windows' titles follow the online timer's turn-overs.
void captions_install();
// The caption of the connection's status window.
void conn_update_status_title(Connection* conn);
// Appends " (network, nick)", " (network)" or " (nick)" as the caption
// options say.
void irc_caption_network_part(std::string& text, Connection* conn);
// The status window's caption.
std::string irc_status_caption(Connection* conn);
// The status window's label: kind 1 switchbar and treebar, 2 tray, 3 the
// send-to menu, 4 the window menu.
void irc_status_label(WindowRecord* rec, std::string& out, int kind);

// Number of captions and partner addresses kept (for tests and counts):
// a window's go with its record.
int caption_kept_count();

// A window's caption changed: the window shows it (fired only when it
// changed; the caption is also kept on the record). Without a listener the
// window's title is set as it stands.
enum CaptionChangedOrder {
    kCaptionChangedWindow = 10,  // the window and its frame show it
};
extern Signal<void(WindowRecord*, const std::string&)> caption_changed;
// Reads a window's caption as the window shows it: a title set by other
// means (a script's title for the window) counts, so only the user interface
// can answer. Absent: the caption last set.
extern std::string (*caption_get_hook)(WindowRecord* rec);
// A window's title was brought up to date (the window's record), or a
// window went (null): the switchbar repaints its buttons. Without a listener
// the window list's look-changed event goes out instead.
enum CaptionsUpdatedOrder {
    kCaptionsUpdatedSwitchbar = 10,  // the switchbar's buttons
};
extern Signal<void(WindowRecord*)> captions_updated;

// The nick list pane of a channel window: the list box that shows the
// members (kept in step through the row signals of the members' model), the
// pane's side, width and auto-hide from the [nicklist] settings.
#pragma once

#include <QPoint>

#include <string>

#include "model/nick_list.h"

struct WindowRecord;

// ---- Settings, width and auto-hide ----

// The defaults of the [nicklist] values.
struct NicklistDefaults {
    int side = 0;       // 0 right, 1 left, 2 hidden
    int width = 0;      // pixels; 0 or less: from the width in characters
    int auto_hide = 0;
    int shift_tab = 0;  // shown only on Shift+Tab
};
extern NicklistDefaults nicklist_defaults;

// A [nicklist] value: "right", "left" or "off", then ",width,auto-hide,shift-tab".
// Missing fields and any other side word take the defaults.
NicklistDefaults nicklist_parse_setting(const std::string& value);
// The text written for the values ("right,%d,%d,%d").
std::string nicklist_setting_text(const NicklistDefaults& values);
// Field 0 side, 1 width, 2 auto-hide, 3 shift-tab of [nicklist] <channel>;
// non-channel windows get the defaults.
int nicklist_setting(WindowRecord* rec, int field);
// Reads the window's side, width and flags (a channel window being opened).
void nicklist_load_settings(WindowRecord* rec);
// The pane's pixel width: with a positive width in characters, the saved
// width when positive, else the default width when positive, else the width
// of that many alternating "W" and "I" in the window's font plus 3; with none,
// the current pixel width.
int nicklist_width(WindowRecord* rec);

// 1 when the point (in the window's coordinates) is in the zone that reveals
// a hidden list: toward the list's side within three quarters of its width
// and within the top third of its height.
int nicklist_reveal_zone_at(int window_width, int list_width, int list_height, int side,
                            QPoint point);
int nicklist_reveal_zone(WindowRecord* rec);
// The auto-hide state machine: 0 settings changed or laid out, 1 pointer
// moved, 2 timer tick, 3 Shift+Tab, 4 pointer moved (show on Shift+Tab).
// Returns 1 while the window still needs ticks.
int nicklist_auto(WindowRecord* rec, int event);
// One 100 ms step for every window (frame timer 138); 1 while any is busy.
int nicklist_countdown_step();

// ---- Seams ----


// Fills the list box again from the nick list (after the list box was made anew).
void nicklist_refill(WindowRecord* rec);

// Keeps the list pane in step with the members.
void nicklist_install();
void nicklist_uninstall();

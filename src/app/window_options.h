// The options each window keeps for itself and remembers in the main
// settings file: always on top, beep and flash on message, timestamps, line
// spacing, address tracking and a channel's event display; and the commands
// of the windows' system menus.
#pragma once

#include <string>

class QWidget;
struct WindowRecord;

// ---- Keys of a window in the settings sections ----
// Empty where the window has no key of that kind (custom windows, and
// windows that have no such option).
std::string win_ontop_key(const WindowRecord* rec);
std::string win_alert_key(const WindowRecord* rec);      // "beeping", "flashing"
std::string win_timestamp_key(const WindowRecord* rec);
std::string win_spacing_key(const WindowRecord* rec);
std::string win_tracking_key(const WindowRecord* rec);
// The tracking key of a window by its name.
std::string win_tracking_key_of_name(const std::string& name);

// ---- Always on top ----
// Mode 1 on, 0 off, -1 the opposite of the system menu's tick.
void win_set_ontop(QWidget* hwnd, int mode);
// 1 when the window's "ontop" key holds a value.
int win_ontop_stored(const WindowRecord* rec);

// ---- Beep, flash and timestamp: 0 off, 1 on, 2 default ----
void win_set_beep(QWidget* hwnd, int value);
int win_beep_stored(const WindowRecord* rec);
int win_beep_setting(WindowRecord* rec);
void win_set_flash(QWidget* hwnd, int value);
// Whether events of a channel or private window are spoken: 0 off, 1 on,
// 2 as the global speech switch ([speak], the key removed for 2).
void win_set_speech(QWidget* hwnd, int value);
int win_speech_stored(const WindowRecord* rec);
int win_flash_stored(const WindowRecord* rec);
int win_flash_setting(WindowRecord* rec);
void win_set_timestamp(QWidget* hwnd, int value);
int win_timestamp_stored(const WindowRecord* rec);
// Whether the window has the timestamp choice in its system menu.
int win_has_timestamp_item(const WindowRecord* rec);

// ---- Line spacing: 0 single, 1 double, 3 paragraph, 2 default ----
void win_set_spacing(QWidget* hwnd, int value);
int win_spacing_stored(const WindowRecord* rec);

// ---- Address tracking ----
// Off when on; when off, asks first and turns it on after a yes.
void win_toggle_tracking(QWidget* hwnd);
int win_tracking_stored(const std::string& name);

// ---- Event display (joins, parts, quits, kicks, modes, topics, ctcps, nicks) ----
constexpr int kWinEventCount = 8;
// The global set as last read or set.
extern int win_events_default[kWinEventCount];
void win_events_load_default();

// Loads the per-window event settings with the main settings.
void window_options_install();
void win_events_load(WindowRecord* rec);
// A channel's own set, or with no window the global set.
void win_events_save(WindowRecord* rec);
// Parses up to eight decimal numbers, each separated from the next by one
// character; the missing ones are 0.
void win_events_parse(const std::string& text, int out[kWinEventCount]);

// A new window takes its remembered options.
void win_apply_options(WindowRecord* rec);

// ---- System-menu commands ----
// Whether the id is a system command of the window (or of the frame).
int menu_is_sys_command(QWidget* hwnd, int id);
// Runs a system command; 1 when handled, 0 for the default processing.
int menu_sys_command(QWidget* hwnd, int id);

// The window record before the given one in list order; for the first
// record, the last one.
WindowRecord* win_previous(WindowRecord* rec);

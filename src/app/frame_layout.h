// The frame's layout and modes (normal and compact, each with its own frame
// placement and bar settings), and the placement of every window in section
// "windows" of the main settings file.
#pragma once

#include <string>

#include <QRect>

class QWidget;
struct Connection;
struct WindowRecord;

// Lays out the frame (bars and MDI client) and runs the MDI auto-arrange
// step; re-entry does nothing.
void frame_layout();
// Switches to normal (0) or compact (1) mode; another value or the current
// mode does nothing.
void frame_set_mode(int mode);
// Writes the current mode's line of section "mode" and its "state".
void frame_mode_save_line();
// The frame's system menu: position reset to the default, and cleared.
void frame_position_reset();
void frame_position_clear();
// The mode line of section "mode": fifteen numbers.
std::string frame_mode_line_text(const QRect& normal, int maximised);

// ---- Window placement ----

// The placement key of a window (or of `name` when given).
std::string win_pos_key(WindowRecord* rec, const std::string& name, Connection* conn);
// The same key with the connection's network suffix; "" when there is none.
std::string win_pos_network_key(const std::string& key, Connection* conn);
void win_save_position(QWidget* hwnd, int mdi_flag, const std::string& key, int kind);
int win_load_position(QWidget* hwnd, const std::string& key, int* left, int* width, int* top, int* height,
                      int* state, int* in_mdi, int* on_top, Connection* conn);
void win_clear_position(QWidget* hwnd, int kind);
void win_restore_position(QWidget* hwnd);
void win_default_position(int* left, int* top, int* width, int* height, int in_mdi);
// Keeps the rectangle inside the bounds; width and height at least 10.
void win_clamp_rect(int* left, int* top, int* width, int* height, const QRect& bounds);
// Resets the cascade counters (a new frame).
void win_cascade_reset();

// ---- Monitors and transparency ----

// The work area and the full rectangle of the monitor that holds the point
// (when given) or the window; the primary screen while the multiple-monitor
// option is off or there is one screen.
void win_get_monitor_rects(QWidget* hwnd, const QPoint* point, QRect* work, QRect* full);
// Carries a point from its monitor to the monitor of the window.
void win_point_to_window_monitor(QWidget* hwnd, int* x, int* y);
// The opacity of a transparency percent (0 .. 75): 255 for 0.
int layer_opacity_of_percent(int percent);
// Sets one window's opacity (0 .. 255; above 254 opaque). 1 when changed.
int layer_set_alpha(QWidget* hwnd, int opacity, int update_now);
// Applies the transparency option to one window, or to every window.
void layer_apply(QWidget* hwnd, int all);
// Reads and removes the old section "layers".
void layer_load_settings();

// Loads the layered-window settings with the main settings.
void frame_layout_install();

// ---- Language module ----

// Loads "lang.dll" from the settings folder when its version is the
// program's own; its texts and menu texts then come first.
void lang_module_load();
// Whether a language module is in use.
int lang_module_loaded();
// The program's version text that a language module must carry.
const char* lang_program_version();

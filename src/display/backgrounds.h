// Window background pictures: a picture and its display mode per window, per
// window kind and for the area behind the windows, kept in ini section
// "background" of the main settings file and drawn behind a window's text
// in a bitmap rendered at the window's size.
#pragma once

#include <string>

class QImage;
class QPainter;
class QRect;
class QWidget;
struct WindowRecord;

// Display modes.
enum BackgroundMode : int {
    kBgCentre = 0,   // the picture unscaled in the middle
    kBgFill = 1,     // stretched over the whole area
    kBgNormal = 2,   // unscaled at the top left
    kBgStretch = 3,  // scaled with its aspect kept to fit, centred
    kBgTile = 4,     // repeated from the top left
    kBgPhoto = 5,    // at most 120 pixels high, at the top right
};

// 1 for the windows that may show a picture: status, channel, query and
// finger windows, and custom text windows that are not picture windows.
int bg_window_takes_picture(const WindowRecord* rec);

// The window's own key in ini section "background" ("status", "wmessage",
// "wfinger", or its name) and its kind's key ("wchannel", "wquery", "wchat",
// "wserv"; empty for a window without a kind default).
std::string bg_own_key(const WindowRecord* rec);
std::string bg_kind_key(const WindowRecord* rec);

// Reads the window's own key, else its kind's default (then the window uses
// the kind default); with apply the picture is loaded. Returns the mode.
int bg_load_for_window(WindowRecord* rec, int apply);
// The window's picture from the file (the Background colour as fill); 0 when
// it cannot be loaded, which leaves the window without a picture.
int bg_set_picture(WindowRecord* rec, const std::string& file);
// The display mode (out of range gives centre), stored with the picture
// under the window's own key; the window is redrawn.
void bg_set_mode(WindowRecord* rec, int mode);
// Removes the picture: the mode returns to normal (photo for queries and
// DCC chats), "none" is stored under the own key, the window is redrawn.
void bg_clear(WindowRecord* rec);
// Stores the window's choice: 0 "none" under the own key; 1 the file and
// mode under the own key; 2 the own key of a channel or query removed and
// the kind key written; 3 the kind key written (removed without a picture),
// the window then uses the kind default; 4 the own key removed and the
// window loaded again. The other windows using the kind default follow.
void bg_store_setting(WindowRecord* rec, int how);
// Windows of the kind of rec (a channel or query kind) that use the kind
// default take its key again.
void bg_load_kind_default(WindowRecord* rec);

// A value in ini section "background" written for a window that is not open:
// the file (relative to the settings folder when inside it), a comma and the
// mode; an empty file with remove deletes the key.
void bg_store_for_later(const std::string& key, const std::string& file, int mode, int remove);

// The window's picture state: its mode, its file (empty without a picture),
// whether it came from the kind's key.
int bg_mode(const WindowRecord* rec);
std::string bg_file(const WindowRecord* rec);
int bg_uses_kind_default(const WindowRecord* rec);
// Ticks the background entries of the window's system menu, when it has one.
void bg_tick_system_menu(WindowRecord* rec);

// Paints the window's picture into the area (the text area's rectangle),
// rendering it again when the size, the mode or the fill colour changed;
// 1 when a picture was drawn.
int bg_paint(WindowRecord* rec, QPainter& painter, const QRect& area);
// The window has opened: it takes its stored picture.
void bg_window_opened(WindowRecord* rec);

// ---- The area behind the windows ----
// Its picture is kept under the key "@mdi" (modes centre to tile; photo is
// read as centre) and drawn with the desktop's workspace colour as fill.

// Takes the stored picture (at start-up).
void bg_init_mdi();
// The area's picture from the file, stored with the mode; 0 when it cannot
// be loaded.
int bg_mdi_set_picture(const std::string& file);
// The area's mode alone, stored with its picture.
void bg_mdi_set_mode(int mode);
// No picture behind the windows; the key is deleted.
void bg_mdi_clear();
int bg_mdi_mode();
std::string bg_mdi_file();
// Paints the area (its viewport); 1 when a picture was drawn.
int bg_mdi_paint(QPainter& painter, QWidget* mdi);

// ---- Bars ----
// The bars' backgrounds, keyed "toolbar", "switchbar", "toolbuttons" and
// "treebar" in ini section "background" (the file alone). The picture is
// loaded with the bar face colour as fill and drawn tiled.
enum BarBackgroundKind : int {
    kBarBgToolbar = 0,      // same numbers as the bars themselves (display/bar_windows.h)
    kBarBgSwitchbar = 1,
    kBarBgTreebar = 2,
    kBarBgToolbuttons = 3,  // behind the toolbar's buttons, at its own size
    kBarBgCount = 4,
};

// The bar of a key ("toolbar", "switchbar", "toolbuttons", "treebar", case
// ignored); -1 for any other.
int bar_bg_from_key(const std::string& key);
const char* bar_bg_key(int bar);

// Loads the bar's picture (replacing the old one only when the new one
// loads); with store the bar's key is written. The bar is repainted, and a
// new toolbar background repaints the switchbar too. 0 when the picture
// cannot be loaded.
int bar_bg_set(int bar, const std::string& file, int store);
// Removes the bar's picture and its key; the bar is repainted.
void bar_bg_clear(int bar, int how);
// Reads the bars' keys (at start-up).
void bar_bg_load_all();
// Whether the bar has a picture, and its file.
int bar_bg_has(int bar);
std::string bar_bg_file(int bar);
// The bar's background for a client area of the size: the picture tiled
// into a bitmap at least that large (the toolbar buttons' picture at its
// own size). A null image without a picture. Bars paint it from their top
// left corner.
const QImage& bar_bg_get(int bar, int width, int height);

// Re-renders a window's background picture (after a colour change).
void bg_rerender(WindowRecord* rec);

// /background's bar switches: the bar named by its key gets its picture
// set and stored (0 when it cannot be loaded), or removed with its key.
int bar_bg_set_by_key(const std::string& bar, const std::string& file);
void bar_bg_clear_by_key(const std::string& bar);

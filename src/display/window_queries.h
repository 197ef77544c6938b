// What the window system tells about the windows of the records: the
// window of a control, its frame on screen and its state, posting to it,
// repaints, the MDI client, the reserved windows (desktop, frame, MDI client)
// and their names, whether the user looks at a window, and the activity
// levels that follow from it.
#pragma once

#include <QSize>
#include <Qt>

#include <cstdint>
#include <string>

#include "core/signal.h"
#include "platform/platform_utils.h"

class QAction;
class QWidget;
struct WindowRecord;

// Modifier bits that a deferred key (WM_APP+64) carries above the key code.
constexpr int kKeyCtrl = 0x10000;
constexpr int kKeyShift = 0x20000;
constexpr int kKeyAlt = 0x40000;

// The kKey* bits of the keyboard modifiers that are held.
int key_modifier_bits(Qt::KeyboardModifiers mods);

// The widget that is the window on screen: its MDI frame, or the window itself.
QWidget* win_container(QWidget* hwnd);
// What the container adds around the window's client area (the MDI
// frame's caption and borders); none for a desktop window.
QSize win_frame_extra(QWidget* hwnd);
int win_is_minimised(const QWidget* hwnd);
int win_is_visible(const QWidget* hwnd);
// Posts a private message to the window.
int win_post(QWidget* hwnd, int message, uintptr_t wparam, intptr_t lparam);

// The activity frames of minimised windows (one window, or all for null).
void win_paint_iconic_highlight(WindowRecord* rec);
// The palette entry (0..15, -1 none) of the activity frame of a level.
int win_activity_frame_colour(int level);

// The command number of an entry of a window's system menu (its data), 0
// for an entry that carries none.
int win_sysmenu_action_id(const QAction* action);
// The row of the caret in the window's list box, -1 without one.
int list_caret_row(const WindowRecord* rec);

// The handle of the record whose window is the control or contains it; null
// when none does.
QWidget* win_owner_hwnd(QWidget* control);
// Invalidates and repaints the text area (the window itself when it has none).
void win_redraw(WindowRecord* rec, int erase);
// 1 when the window is a child of the MDI client.
int win_is_mdi_child(const QWidget* hwnd);
// The active window when it is a listed window that is not minimised, else null.
QWidget* win_active_if_shown();


// Reserved names to handles. Flag 0x40: "-1" the desktop, "-2" the main
// window, "-3" the MDI client; flag 0x20: "@desktop" the desktop, "@kest" and
// "@" the main window, "@mdi" the MDI client; flag 0x10: "@N" the window
// numbered N. Else null.
QWidget* win_hwnd_from_name(const std::string& name, int flags);

// The stand-ins for the reserved windows. The desktop is a hidden widget of
// the primary screen's size, named "#32769", that is never a record.
QWidget* win_desktop_handle();
QWidget* win_frame_handle();  // the main window "Kest", or null
QWidget* win_mdi_handle();    // the MDI client, or null
// The frame takes its MDI area as the MDI client (null: none).
void win_set_mdi_handle(QWidget* mdi);

// Whether the application counted as active at the frame's last activation
// update, and setting it (the frame's update and its reset).
int frame_app_active();
void frame_set_app_active(bool active);


// A printed line of the kind raises the window's level (never for a DCC
// transfer window, only while the window is not in view). Repaints the
// minimised windows' frames and the switchbar after a change. 1 when changed.
int win_raise_activity(WindowRecord* rec, int kind);
// Level 1 for a window whose level is 0 and that is not in view.
void win_note_activity(QWidget* hwnd);
void win_mark_activity(QWidget* hwnd);


// 1 when the user is not looking at the window: the application is inactive,
// or the window is minimised or hidden, or it is not the active window while
// the option to treat every non-active window as unseen is on.
int win_needs_highlight(QWidget* hwnd);
// 1 when the user is looking at the window: the application is active, the
// window is visible, not minimised and the active window, and the foreground
// window is the frame (an MDI child) or the window itself (a desktop window).
int win_is_in_view(QWidget* hwnd);
// Exactly the negation of win_is_in_view (beeps and flashes).
int win_not_in_view(QWidget* hwnd);
// 1 while the user works in the window: the application is active, the
// window is the active one and no mouse button holds a capture (a drag).
int win_is_watched(WindowRecord* rec);
// The window whose control holds the keyboard focus, or null.
QWidget* win_focused_window();

// Repaints the activity frames of minimised windows and the switchbar.
void win_activity_repaint(WindowRecord* rec);

// Sets the main window's title: "Kest", or "Kest" followed by a blank and the
// scripts' title text (main_settings.app_title) without formatting codes.
void frame_update_title();
// The main window's title was set again: the captions that show it follow.
enum FrameTitleOrder {
    kFrameTitleCaptions = 10,  // the frame's drawn caption
};
extern Signal<void()> frame_title_changed;

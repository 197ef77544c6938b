// What the window system tells about the windows of the records: the
// window of a control, a control by id, repaints, the MDI client, the
// reserved windows (desktop, frame, MDI client) and their names, whether the
// user looks at a window, and the activity levels that follow from it.
#pragma once

#include <string>

#include "core/signal.h"
#include "platform/platform_utils.h"

class QWidget;
struct WindowRecord;

// The handle of the record whose window is the control or contains it; null
// when none does.
QWidget* win_owner_hwnd(QWidget* control);
// Invalidates and repaints the text area (the window itself when it has none).
void win_redraw(WindowRecord* rec, int erase);
// 1 when the window is a child of the MDI client.
int win_is_mdi_child(const QWidget* hwnd);
// The active window when it is a listed window that is not minimised, else null.
QWidget* win_active_if_shown();


// Closes every window: first every window that is not a status window, then
// the status windows, until the list is empty. A window that refuses to close
// is not asked again.
void win_close_all();


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

// The tray icon: shown always or while the main window is minimised to it,
// with the main window's title as its tip; a click restores or hides the main
// window, the right button opens a popup for connecting, the main tools and
// every channel and query. Where the desktop has no notification area the
// icon cannot be added and the main window is only minimised, never hidden.
#pragma once

#include <string>

class QMenu;
class QWidget;

// Operations of tray_icon_update.
enum TrayOp : int {
    TRAY_ADD = 1, TRAY_DELETE = 2, TRAY_FLASH_ON = 3, TRAY_FLASH_OFF = 4,
    TRAY_REFRESH = 5, TRAY_REMOVE = 6, TRAY_TIP = 7, TRAY_MESSAGE = 8
};
// 1 when the desktop accepted the call.
int tray_icon_update(int op);
int tray_icon_shown();
// The icon's tip for a main-window title: at most 63 characters; longer
// than 54 gives the first 54 and "...".
std::string tray_tip_text(const std::string& title);
// The tip the icon carries now.
std::string tray_current_tip();

// Restores the main window from the tray (delayed: the icon goes 100 ms
// later) and brings it to the front.
void tray_restore_main(int delayed_removal);
// The frame's minimise command (Shift inverts minimise-to-tray): 0 when the
// caller minimises normally.
int tray_minimise(int shift, int ctrl);
// The main window was minimised (1) or restored (0).
void tray_on_minimise(int minimised);
// Follows the frame's window state: calls tray_on_minimise on a change.
void tray_follow_frame_state();
// Mouse on the icon: 1 left button up, 2 double click, 3 right button up.
void tray_callback(int message);
// The icon's popup menu (made again each time; owned here).
QMenu* tray_popup();
// Activity bits (cleared by the frame's timers 130 and 131).
void tray_activity_clear(int bit);
// 1 while the frame is hidden in the tray.
int tray_frame_hidden();
// Removes the icon and frees what the tray holds (exit).
void tray_free();

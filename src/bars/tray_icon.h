// The tray icon: shown always or while the main window is minimised to it,
// with the main window's title as its tip; a click restores or hides the main
// window, the right button opens a popup for connecting, the main tools and
// every channel and query. Where the desktop has no notification area the
// icon cannot be added and the main window is only minimised, never hidden.
#pragma once

#include <QImage>

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

// ---- The activity icon ----
// The connection code arms the activity timers: kind 1 a line sent, 2 data
// received, 0 only a change of the links' states. While a link is
// connecting or not yet registered, frame timer 132 (200 ms) runs and each
// of its ticks shows the next frame of the connecting animation; a line
// sent or received lights its bit (0 sent, 1 received) until its one-shot
// timer (130 or 131, 300 to 449 ms) clears it again.
void conn_arm_tray_activity_timers(int kind);
// One tick of timer 132: the next animation frame (1..11), the icon refreshed.
void tray_animation_step();
// The picture the icon shows: strip 36 frames 1..11 (connecting), strip
// 37 frames 1..4 (not registered) and 5..8 (registered), by the activity
// bits; strip 0 for a custom icon file.
struct TrayFrame {
    int strip;
    int frame;
};
TrayFrame tray_icon_frame();
int tray_activity_bits();
// The 16 x 16 picture of a frame of strip 36 or 37 (null for others).
QImage tray_frame_image(int strip, int frame);
// Serves timer 132 (at start-up); the icon follows the link activity, the
// frame's activation and timers 130/131.
void tray_activity_install();
void tray_activity_uninstall();
// 1 while the frame is hidden in the tray.
int tray_frame_hidden();
// Removes the icon and frees what the tray holds (exit).
void tray_free();

// The main frame's own rows of the message and timer table (platform/app_messages.h):
// deferred start, bar repaints, lock guard, URL queue, external control and timers 120,
// 122, 130, 131, 137 and 138, which call the owners' steps.
#pragma once

#include "core/signal.h"
#include "display/address_open.h"
#include "platform/app_messages.h"

#include <cstddef>
#include <cstdint>
#include <string>

class QWidget;
struct Connection;

// Makes frame_wnd_proc the frame's message handler and frame_on_timer the frame-timer
// handler, with the frame's own rows as the defaults of their messages and timers.
void frame_proc_install();
// Starts a frame timer with the period of its row; returns 0 for an owner-set period.
int frame_start_timer(int id);

// Steps of other subsystems that the frame's own rows call.  Null: that step is absent.
struct FrameHooks {
    // WM_APP+67: the lock password request with its flags; result as the lock defines.
    intptr_t (*lock_password)(intptr_t flags) = nullptr;
    // End of playback: close the device of a kind (its file into `file`; the
    // connection of its sound back) and run the player's end step.
    Connection *(*media_close)(int kind, std::string &file) = nullptr;
    void (*media_end_step)(int kind) = nullptr;
    // Whether a top-level widget is a tip window or the script editor (neither counts
    // as the application).
    int (*is_tip_or_editor)(QWidget *top) = nullptr;
};
FrameHooks &frame_hooks();

// ---- Rows the frame serves itself ----

// Hand-over data: with wparam 1 and data, the text (at most 1,024 characters and never
// past `size` or a zero byte) is opened as an irc: link.  Returns 1 in every case.
intptr_t frame_copydata(uintptr_t wparam, const char *data, std::size_t size);

// The local-request handler of the running instance: probe, link, external control, DDE.
int frame_ipc_request(int kind, const std::string &payload, std::string &reply);

// Queues a URL to be opened through WM_APP+90; returns 1 when posted.
int frame_queue_url(const std::string &url);

// Adds one to the pending-repaint count and posts WM_APP+66 with `connection`.
void frame_request_bars_repaint(intptr_t connection);
int frame_pending_repaint_count();

// WM_APP+66 served: `repaint` when it was the last pending request (the switchbar
// paints again), and the connection whose treebar branch is refreshed (0: none).
enum FrameBarsRepaintOrder {
    kBarsRepaintSwitchers = 50,
};
extern Signal<void(bool repaint, intptr_t connection)> frame_bars_repaint;

// Timers 130/131 ran out: the tray's activity bit 0 or 1 is cleared.
enum FrameTrayActivityOrder {
    kTrayActivityIcon = 50,
};
extern Signal<void(int bit)> frame_tray_activity_over;

// frame_update_activation found the application inactive (window null, active
// false) or active for `window`; then, when that differs from the last update,
// the change itself. Listeners: the tray, the tips, the docked bars.
enum FrameActivationOrder {
    kActivationTray = 40,
    kActivationTips = 50,
    kActivationDockBars = 60,
};
enum FrameActivityChangedOrder {
    kActivityChangedTray = 50,
};
extern Signal<void(QWidget* window, bool active)> frame_activation;
extern Signal<void(bool active)> frame_activity_changed;

// frame_update_activation: bit 0 repaint the MDI client, bit 1 restart timer 122 at
// 50 ms, bit 2 `window` became active (fire ACTIVE).
void frame_update_activation(QWidget *window, int flags);
// The last active window (whether the application counted as active at the last
// update is frame_app_active, display/window_queries.h).
QWidget *frame_last_active_window();

// End of playback (MCI_NOTIFY_SUPERSEDED 2 and MCI_NOTIFY_ABORTED 4 are ignored); kind
// 6 wave, 7 MIDI, 8 song.
void frame_media_notify(int notify_code, int kind);

// The tick count of timer 137 since it was last started by frame_start_timer.
int frame_topmost_ticks();

// Resets every handler, hook and counter (tests and restart).
void frame_proc_reset();

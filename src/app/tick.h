// The frame's one-second tick: the program's clock for everything counted in
// seconds. Frame timer 120 runs frame_tick every second.
#pragma once

#include <QPointer>

class QWidget;

// The clock in calendar seconds; replaceable for tests.
extern long long (*tick_clock)();

// Set while frame_tick runs; a tick that arrives meanwhile does nothing.
extern int tick_guard;
// Calendar time of the previous tick (set at start-up by tick_reset_base).
extern long long tick_last_time;
// Seconds until the DDE step runs (0 idle).
extern int tick_dde_countdown;
// Seconds until the DCC server drops its pending client (0 idle).
extern int tick_dccserver_countdown;
// The two DCC request dialogs (chat requests, file requests): window and
// countdown in seconds; at 0 the dialog is cancelled.
struct TickDialog {
    QPointer<QWidget> window;
    int countdown = 0;
};
extern TickDialog tick_request_dialogs[2];
// 1 at program start; cleared by the tick that starts the update check.
extern int tick_update_check_pending;

// Keeps the current calendar time as the base of the tick (start-up).
void tick_reset_base();

// One step of a countdown: a positive count goes down by one; returns 1 on
// the tick on which it reaches 0 (the action is due), else 0.
int tick_countdown_step(int& countdown);

// Seconds elapsed since the last tick as the per-connection tick counts them:
// a difference of 0 or less, or of more than an hour, counts as 1.
int tick_elapsed(long long now, long long last);

// The one-second tick. Returns the per-connection tick's result, or non-zero
// at once when a tick is already running.
int frame_tick();

// Steps of other subsystems that the tick runs. A null entry is an absent
// feature: nothing runs. Each step checks for itself whether it has work
// (a running watcher, existing hash tables, loaded DLLs, ...).
struct TickHooks {
    void (*watcher_poll)() = nullptr;              // script-folder watcher
    void (*switchbar_blink_check)() = nullptr;     // when no button blinks
    void (*htable_tick)() = nullptr;               // script hash tables
    void (*dll_idle_tick)() = nullptr;             // idle script DLLs
    void (*ignore_tick)() = nullptr;               // ignore entries with a step of their own
    void (*log_tick)() = nullptr;                  // logging: the day check
    void (*dde_countdown_step)() = nullptr;        // the DDE countdown reached 0
    void (*var_tick)() = nullptr;                  // timed variables
    void (*ignore_tick_timed)() = nullptr;         // timed ignores
    void (*dccserver_drop_client)() = nullptr;     // the DCC server countdown reached 0
    void (*ident_close_client)() = nullptr;        // the ident countdown reached 0
    void (*cancel_dialog)(QWidget* dialog) = nullptr;  // a request dialog timed out (IDCANCEL)
    void (*dccsend_tick)() = nullptr;
    void (*dccget_tick)() = nullptr;
    void (*dccchat_tick)() = nullptr;
    void (*proxy_tick)() = nullptr;
    void (*timer_tick_seconds)() = nullptr;        // one-second script timers
    void (*cnick_apply_pending)() = nullptr;       // nick colours waiting to be applied
    int (*update_check_blocked)() = nullptr;       // options dialog or About box open
    void (*update_check_start)() = nullptr;
    void (*windows_second)() = nullptr;            // one more on every window's second counter
};
extern TickHooks tick_hooks;

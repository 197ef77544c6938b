// The one-second tick's own steps: the countdowns of the DDE step, the DCC
// server and the DCC request dialogs, the update check's start, and the
// once-a-second work of the stores, lists and links below (the tick itself
// is in display/second_tick.h).
#pragma once

#include "core/signal.h"
#include "display/second_tick.h"

#include <QPointer>

class QWidget;

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

// One step of a countdown: a positive count goes down by one; returns 1 on
// the tick on which it reaches 0 (the action is due), else 0.
int tick_countdown_step(int& countdown);

// The DDE countdown reached 0: the DDE step runs.
extern Signal<void()> tick_dde_due;
// The DCC server countdown reached 0: the server drops its pending client
// and keeps listening.
extern Signal<void()> tick_dccserver_due;
// A request dialog's countdown reached 0: the request times out (the
// dialog is cancelled).
extern Signal<void(QWidget* dialog)> tick_request_timed_out;
enum RequestTimedOutOrder {
    kTimedOutDccDialogs = 10,  // the DCC accept dialogs close as cancelled
};
// Asked before the update check starts: true while the options dialog or
// the About box is open (the check waits for a later tick).
extern Signal<bool()> tick_update_check_blocked;
// The first tick with neither of them open: the update check's schedule
// starts (once per run).
extern Signal<void()> tick_update_check_due;

// The tick's own steps: the countdowns, the request dialogs, the update
// check, and the once-a-second work of the stores, lists and links below.
void tick_install();
void tick_uninstall();

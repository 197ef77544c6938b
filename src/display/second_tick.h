// The frame's one-second tick: the program's clock for everything counted in
// seconds. Frame timer 120 runs frame_tick every second.
#pragma once

#include "core/signal.h"

// The clock in calendar seconds; replaceable for tests.
extern long long (*tick_clock)();

// Set while frame_tick runs; a tick that arrives meanwhile does nothing.
extern int tick_guard;
// Calendar time of the previous tick (set at start-up by tick_reset_base).
extern long long tick_last_time;

// Keeps the current calendar time as the base of the tick (start-up).
void tick_reset_base();

// Seconds elapsed since the last tick as the per-connection tick counts them:
// a difference of 0 or less, or of more than an hour, counts as 1.
int tick_elapsed(long long now, long long last);

// The one-second tick. Returns the per-connection tick's result, or non-zero
// at once when a tick is already running.
int frame_tick();

// The steps of the one-second tick, in the order they run, before the
// per-connection tick. Each step checks for itself whether it has work (a
// running watcher, existing hash tables, loaded DLLs, ...).
enum TickOrder {
    kTickWatcher = 10,             // the script-folder watcher looks for changes
    kTickSwitchbarBlink = 20,      // the blink check, when no switchbar button blinks
    kTickHashTables = 30,          // script hash tables
    kTickDllIdle = 40,             // idle script DLLs
    kTickIgnore = 50,              // ignore entries with a step of their own
    kTickLogDay = 60,              // logging: gathered lines written, the day check
    kTickDdeCountdown = 70,        // the DDE countdown
    kTickVariables = 80,           // timed variables
    kTickTimedIgnores = 90,        // timed ignores
    kTickDccServerCountdown = 100, // the DCC server countdown
    kTickIdentCountdown = 110,     // the ident countdown
    kTickRequestDialogs = 120,     // the DCC request dialogs' countdowns
    kTickDccSends = 130,
    kTickDccGets = 140,
    kTickDccChats = 150,           // idle time-outs
    kTickProxies = 160,            // proxy links
    kTickTimers = 170,             // one-second script timers
    kTickNickColours = 180,        // nick colours waiting to be applied
    kTickUpdateCheck = 190,        // once per run: the update check's start
    kTickWindowSeconds = 200,      // one more on every window's second counter
    kTickSslPrompts = 210,         // an SSL prompt nobody answers closes after its time
};
// Fired once a second by frame_tick (never inside a running tick).
extern Signal<void()> tick_second;

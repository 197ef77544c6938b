// Script timers and signals.
//
// A timer runs a command text later: once, a number of times or without end,
// every so many seconds or milliseconds, optionally from a time of day.
// Second timers are driven by the frame's one-second tick; millisecond timers
// each hold a frame timer of their own; high-resolution timers share one
// precise frame timer whose period is the greatest common divisor of their
// intervals and whose expiry is handed back through WM_APP+75.
//
// Signals raise the SIGNAL event at once or through a queue that the frame
// empties on WM_APP+81.
//
// Everything here runs on the user-interface thread.
#pragma once

#include <QPointer>

#include <cstdint>
#include <string>
#include <string_view>

class QWidget;
struct Connection;
struct ScriptFile;

struct Timer {
    std::string name;              // at most 256 characters; unique ignoring case
    int interval = 1;              // seconds, or milliseconds for millisecond timers
    int repetitions = 0;           // runs left; 0 without end; -1 finished
    int running = 0;               // 1 while its command runs
    int start_hour = -1;           // time of day, -1 when none
    int start_minute = -1;
    int catch_up = 0;              // switch c
    int run_mode = 1;              // handed to the interpreter
    int mm_id = 0;                 // shared high-resolution timer id, 0 when none
    int window_timer_id = 0;       // own frame timer id, 0 when none
    int millis = 0;                // the interval counts milliseconds
    std::uint64_t last_run = 0;    // millisecond counter of the start or the last run
    QPointer<QWidget> window;      // where the command runs
    int report = 0;                // print the start and stop texts
    int offline = 0;               // runs without a live server link
    int paused = 0;
    std::string command;           // at most 4,150 characters
    ScriptFile* script = nullptr;  // the script that started it (checked before each run)
    Connection* conn = nullptr;
    int follow = 0;                // switch i: moves with the current connection
    int dropped = 0;               // removed while its command ran; goes after the run
    Timer* next = nullptr;
};

// ---- The list ----

// First timer of the list (list order), or null.
Timer* timer_first();
// Number of timers.
int timer_count();
// The timer of that name (case ignored), or null.
Timer* timer_find(std::string_view name);
// Whether the record is still in the list.
int timer_is_live(const Timer* timer);
// Removes one timer: kills its frame timer, re-arms the shared
// high-resolution timer. A timer whose command is running is only marked
// finished; it goes once its run is over.
void timer_remove(Timer* timer);
// Removes the timers that the type's test selects, and every timer whose
// connection is gone:
//   1 bound to conn; 2 finished; 3 conn is being closed (not offline and bound
//   to it; a following timer only when no connection is connected); 4 conn
//   goes away (a following timer moves to other when that one is live).
// Returns the number removed.
int timer_remove_matching(int type, Connection* conn, Connection* other);
// Adds a timer at the end of the list.
void timer_append(Timer* timer);
// Gives a listed timer its own frame timer id (0: none).
void timer_set_frame_timer(Timer* timer, int id);
// The lowest number, written out, that no timer bears as its name (empty
// when every number is taken). Logarithmic in the number of timers.
std::string timer_free_name();
// Most timers that may exist at once; beyond it /timer fails as when a
// frame timer can't be had, so a script that starts timers from timers
// can't grow without end.
constexpr int kMaxTimers = 10000;
void timer_set_last_name(const std::string& name);
// Removes every timer and queued signal (shutdown and tests).
void timer_clear_all();

// The window a timer's command runs in: its own while it exists, else its
// connection's status window (null when neither).
QWidget* timer_window_of(const Timer* timer);
void timer_set_window(Timer* timer, QWidget* window);
QWidget* timer_status_window(Connection* conn);

// ---- Running ----

// With null: runs every due second timer. With a timer: runs that one
// (its frame timer or the shared high-resolution timer fired). Returns at
// once while a run is under way.
void timer_run_due(Timer* timer);
// Runs a timer's command at once (switch e); 1 when it ran.
int timer_run_now(Timer* timer);
// Expiry of a millisecond timer's own frame timer.
void timer_proc(int id);
// The shared high-resolution timer.
int timer_mm_start(Timer* timer);
int timer_mm_period();
void timer_mm_rearm();
void timer_mm_callback();
intptr_t timer_mm_dispatch(uintptr_t wparam, intptr_t lparam);
// The current shared period in ms (0 when none runs).
int timer_mm_current_period();

// The name of the last started timer ($ltimer).
const std::string& timer_last_name();
// The name of the first running timer ($ctimer), or empty.
std::string timer_current_name();

// One second of the frame's tick: runs the second timers when there are any.
void timer_tick_seconds();

// ---- Signals ----

// Queues a signal: the text (name and parameters), its connection and the
// sending script. Posts WM_APP+81 when the queue was empty. 0 when it cannot
// be queued.
int signal_queue(const std::string& text, Connection* conn, ScriptFile* script);
// Fires SIGNAL for every queued entry in order (handler of WM_APP+81).
intptr_t signal_dispatch(uintptr_t wparam, intptr_t lparam);
// Fires SIGNAL now with the nesting bound of the interpreter; 0 when the
// bound was reached (a script error is then pending).
int signal_fire_now(const std::string& text, Connection* conn, ScriptFile* script);
// Number of queued signals.
int signal_pending_count();

// ---- Seams ----

// The millisecond counter; replaceable for tests.
extern std::uint64_t (*timer_clock_ms)();
// The local hour, minute and second; 0 when the time can't be read.
extern int (*timer_local_time)(int* hour, int* minute, int* second);
// Whether events are switched on (the remote events option).
int timer_events_enabled();

// Installs the timers: the tick hook, the frame messages WM_APP+75 and
// WM_APP+81, the frame-timer route for ids outside the frame's own, the
// timer-id check and the connection hooks. The /timer and /signal commands
// and $timer, $ctimer and $ltimer register from their own files.
void timers_install();

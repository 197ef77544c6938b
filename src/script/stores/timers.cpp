#include "script/stores/timers.h"

#include <algorithm>
#include <ctime>
#include <deque>
#include <new>
#include <vector>

#include "app/connection.h"
#include "app/frame_proc.h"
#include "app/tick.h"
#include "core/text_buffer.h"
#include "core/text_limits.h"
#include "platform/app_messages.h"
#include "platform/frame_timers.h"
#include "platform/platform_utils.h"
#include "script/eval/evaluate.h"
#include "script/exec/script_errors.h"
#include "script/exec/script_hooks.h"
#include "script/exec/script_types.h"

void timer_commands_register();     // commands/timer_commands.cpp
void timer_identifiers_register();  // identifiers/timer_identifiers.cpp

namespace {

Timer* g_timers = nullptr;
std::string g_last_name;

// The shared high-resolution timer: its frame timer id, period and
// resolution (0 when none runs).
int g_mm_event = 0;
int g_mm_period = 0;
int g_mm_resolution = 0;
int g_mm_pending = 0;

int g_run_busy = 0;   // a run of due timers is under way

struct PendingSignal {
    std::string text;
    Connection* conn;
    ScriptFile* script;
};
std::deque<PendingSignal> g_signals;

constexpr int kMaxPasses = 100;
constexpr std::size_t kMaxPendingSignals = 100000;

std::uint64_t default_clock() { return time_ticks_ms(); }

int default_local_time(int* hour, int* minute, int* second)
{
    std::time_t now = std::time(nullptr);
    std::tm tm{};
    if (!localtime_r(&now, &tm))
        return 0;
    *hour = tm.tm_hour;
    *minute = tm.tm_min;
    *second = tm.tm_sec;
    return 1;
}

int default_events_enabled()
{
    FrameHooks& h = frame_hooks();
    return h.events_enabled ? h.events_enabled() : 1;
}

void default_other_timer(int id) { frame_timer_stop(id); }

void unlink_timer(Timer* t)
{
    for (Timer** p = &g_timers; *p; p = &(*p)->next)
        if (*p == t) {
            *p = t->next;
            return;
        }
}

// Frees a timer that is no longer running; returns whether it had a
// high-resolution id.
bool free_timer(Timer* t)
{
    bool had_mm = t->mm_id != 0;
    if (t->window_timer_id)
        frame_timer_stop(t->window_timer_id);
    unlink_timer(t);
    delete t;
    return had_mm;
}

QWidget* run_window(Timer* t) { return timer_window_of(t); }

void count_down(Timer* t)
{
    if (t->repetitions > 0) {
        --t->repetitions;
        if (t->repetitions == 0)
            t->repetitions = -1;
    }
}

// Re-binds the following timers to the current connection, or (for a timer
// that needs a server link) to a connected one; with none such a timer ends.
void rebind_following()
{
    for (Timer* t = g_timers; t; t = t->next) {
        if (!t->follow)
            continue;
        Connection* c = conn_current();
        if (!t->offline && !conn_is_connected(c))
            c = conn_first_connected();
        if (!conn_is_live(c)) {
            if (!t->offline)
                t->repetitions = -1;
            continue;
        }
        if (c != t->conn) {
            t->conn = c;
            timer_set_window(t, timer_status_window(c));
        }
    }
}

// Prints the stop text of a finished timer and clears its running flag.
void after_run(Timer* t)
{
    if (t->repetitions < 0 && t->report)
        script_echo_line(run_window(t), script_text(5501, t->name), kColourInfo);
    t->running = 0;
}

void run_command(Timer* t)
{
    std::string command = t->command;
    QWidget* window = run_window(t);
    ScriptFile* script = t->script;
    if (script && !script_file_is_live(script))
        script = t->script = nullptr;
    Connection* conn = conn_is_live(t->conn) ? t->conn : nullptr;
    t->running = 1;
    script_exec_line(window, command.c_str(), nullptr, t->run_mode, nullptr, script, conn);
}

// One timer of a pass. Returns 1 when a catch-up timer asks for another pass.
int run_one(Timer* t, bool own_timer)
{
    if (!conn_is_live(t->conn) || (!t->offline && !conn_is_connected(t->conn))) {
        t->repetitions = -1;
        return 0;
    }
    if (t->paused || t->repetitions < 0)
        return 0;
    std::uint64_t now = timer_clock_ms();
    if (t->start_hour >= 0 && t->start_minute >= 0) {
        int h = 0, m = 0, s = 0;
        if (!timer_local_time(&h, &m, &s) || h != t->start_hour || m != t->start_minute)
            return 0;
        t->start_hour = t->start_minute = -1;
        t->last_run = now;
        return 0;
    }
    long long elapsed = static_cast<long long>(now - t->last_run);
    if (now < t->last_run)
        elapsed = 0;
    long long period, slack;
    if (t->millis) {
        period = t->interval;
        slack = std::min<long long>(static_cast<long long>(t->interval) * 10 / 100, 500);
    } else {
        period = static_cast<long long>(t->interval) * 1000;
        slack = std::min<long long>(static_cast<long long>(t->interval) * 100, 500);
    }
    if (elapsed < period - slack)
        return 0;
    int again = 0;
    t->last_run = now;
    if (t->catch_up) {
        long long rest = elapsed - (period - slack);
        t->last_run = now - static_cast<std::uint64_t>(rest);
        if (rest >= period)
            again = 1;
    }
    count_down(t);
    if (own_timer && t->repetitions < 0 && t->window_timer_id) {
        frame_timer_stop(t->window_timer_id);
    }
    run_command(t);
    after_run(t);
    return again;
}

void sort_list()
{
    std::vector<Timer*> v;
    for (Timer* t = g_timers; t; t = t->next)
        v.push_back(t);
    std::stable_sort(v.begin(), v.end(), [](const Timer* a, const Timer* b) {
        if (a->last_run != b->last_run)
            return a->last_run < b->last_run;
        return text_compare_nocase(a->name, b->name) < 0;
    });
    g_timers = nullptr;
    Timer** tail = &g_timers;
    for (Timer* t : v) {
        *tail = t;
        tail = &t->next;
    }
    *tail = nullptr;
}

void on_frame_timer(int id)
{
    if (id != 0 && id == g_mm_event) {
        timer_mm_callback();
        return;
    }
    for (Timer* t = g_timers; t; t = t->next)
        if (t->window_timer_id == id) {
            timer_proc(id);
            return;
        }
    timer_other_frame_timer(id);
}

int g_ids_listener = 0;

int id_in_use(int id)
{
    if (id == g_mm_event && id != 0)
        return 1;
    for (Timer* t = g_timers; t; t = t->next)
        if (t->window_timer_id == id)
            return 1;
    return 0;
}


} // namespace

std::uint64_t (*timer_clock_ms)() = default_clock;
int (*timer_local_time)(int*, int*, int*) = default_local_time;
void (*signal_event_fire)(Connection*, const std::string&, ScriptFile*) = nullptr;
int (*timer_events_enabled)() = default_events_enabled;
void (*timer_other_frame_timer)(int id) = default_other_timer;

// ---------------------------------------------------------------------------
// The list.

Timer* timer_first() { return g_timers; }

int timer_count()
{
    int n = 0;
    for (Timer* t = g_timers; t; t = t->next)
        ++n;
    return n;
}

Timer* timer_find(std::string_view name)
{
    for (Timer* t = g_timers; t; t = t->next)
        if (!t->dropped && text_equal_nocase(t->name, name))
            return t;
    return nullptr;
}

int timer_is_live(const Timer* timer)
{
    if (!timer)
        return 0;
    for (Timer* t = g_timers; t; t = t->next)
        if (t == timer)
            return 1;
    return 0;
}

// A timer is inserted at the end of the list (used by the command).
void timer_append(Timer* timer)
{
    timer->next = nullptr;
    Timer** p = &g_timers;
    while (*p)
        p = &(*p)->next;
    *p = timer;
}

void timer_set_last_name(const std::string& name) { g_last_name = name.substr(0, kShortText); }

void timer_remove(Timer* timer)
{
    if (!timer_is_live(timer))
        return;
    if (timer->running) {
        timer->repetitions = -1;
        timer->report = 0;
        timer->dropped = 1;
        return;
    }
    if (free_timer(timer))
        timer_mm_rearm();
}

int timer_remove_matching(int type, Connection* conn, Connection* other)
{
    int removed = 0;
    bool had_mm = false;
    Timer* t = g_timers;
    while (t) {
        Timer* next = t->next;
        bool live = conn_is_live(t->conn);
        bool hit = !live;
        if (live) {
            switch (type) {
            case 1:
                hit = t->conn == conn;
                break;
            case 2:
                hit = t->repetitions < 0;
                break;
            case 3:
                if (!t->offline && t->conn == conn)
                    hit = t->follow ? conn_first_connected() == nullptr : true;
                break;
            case 4:
                if (t->conn == conn) {
                    if (t->follow && other && other != conn && conn_is_live(other)) {
                        t->conn = other;
                        timer_set_window(t, timer_status_window(other));
                    } else {
                        hit = true;
                    }
                }
                break;
            default:
                break;
            }
        }
        if (hit) {
            if (t->running) {
                // Its run is under way: it ends after it and goes with the
                // sweep that follows.
                t->repetitions = -1;
                if (type != 2) {
                    t->report = 0;
                    t->dropped = 1;
                }
            } else {
                had_mm = free_timer(t) || had_mm;
                ++removed;
            }
        }
        t = next;
    }
    if (had_mm)
        timer_mm_rearm();
    return removed;
}

void timer_clear_all()
{
    while (g_timers) {
        Timer* t = g_timers;
        t->running = 0;
        free_timer(t);
    }
    timer_mm_rearm();
    g_signals.clear();
    g_run_busy = 0;
    g_mm_pending = 0;
}

// ---------------------------------------------------------------------------
// Running.

void timer_run_due(Timer* timer)
{
    if (g_run_busy)
        return;
    g_run_busy = 1;
    rebind_following();
    if (timer) {
        if (timer_is_live(timer) && (timer->mm_id || timer->window_timer_id) && !timer->running) {
            run_one(timer, timer->window_timer_id != 0);
            timer_remove_matching(2, nullptr, nullptr);
        }
        g_run_busy = 0;
        return;
    }
    bool only_catch_up = false;
    for (int pass = 0; pass < kMaxPasses; ++pass) {
        int again = 0;
        Timer* t = g_timers;
        while (t) {
            if (t->mm_id || t->window_timer_id || t->running || (only_catch_up && !t->catch_up)) {
                t = t->next;
                continue;
            }
            again |= run_one(t, false);
            // The record stays in the list while it runs, so its successor
            // is current; a finished timer goes with the sweep below.
            t = timer_is_live(t) ? t->next : nullptr;
        }
        timer_remove_matching(2, nullptr, nullptr);
        if (!again)
            break;
        only_catch_up = true;
    }
    sort_list();
    g_run_busy = 0;
}

int timer_run_now(Timer* timer)
{
    if (!timer_is_live(timer) || timer->running || !conn_is_live(timer->conn))
        return 0;
    count_down(timer);
    run_command(timer);
    if (timer_is_live(timer))
        after_run(timer);
    timer_remove_matching(2, nullptr, nullptr);
    return 1;
}

void timer_proc(int id)
{
    Timer* t = g_timers;
    while (t && t->window_timer_id != id)
        t = t->next;
    if (!t) {
        frame_timer_stop(id);
        return;
    }
    if (t->repetitions >= 0)
        timer_run_due(t);
    timer_remove_matching(2, nullptr, nullptr);
}

void timer_tick_seconds()
{
    if (g_timers)
        timer_run_due(nullptr);
}

// ---------------------------------------------------------------------------
// The shared high-resolution timer.

int timer_mm_period()
{
    int smallest = 0;
    for (Timer* t = g_timers; t; t = t->next)
        if (t->mm_id && (smallest == 0 || t->interval < smallest))
            smallest = t->interval;
    if (smallest <= 1)
        return 1;
    for (int p = smallest; p > 1; --p) {
        bool all = true;
        for (Timer* t = g_timers; t && all; t = t->next)
            if (t->mm_id && t->interval % p != 0)
                all = false;
        if (all)
            return p;
    }
    return 1;
}

int timer_mm_start(Timer* timer)
{
    if (!g_mm_resolution)
        g_mm_resolution = 10;   // the larger of the finest period and 10 ms
    int id = g_mm_event;
    if (!id)
        id = timer_alloc_id();
    // Mark the timer first so the period counts it.
    timer->mm_id = id;
    int period = g_mm_event ? timer_mm_period() : std::max(1, timer->interval);
    if (!frame_timer_start(id, period, true)) {
        timer->mm_id = 0;
        if (!g_mm_event)
            g_mm_resolution = 0;
        return 0;
    }
    g_mm_event = id;
    g_mm_period = period;
    return id;
}

void timer_mm_rearm()
{
    bool any = false;
    for (Timer* t = g_timers; t; t = t->next)
        if (t->mm_id)
            any = true;
    if (!any) {
        if (g_mm_event)
            frame_timer_stop(g_mm_event);
        g_mm_event = 0;
        g_mm_period = 0;
        g_mm_resolution = 0;
        return;
    }
    int period = timer_mm_period();
    if (period != g_mm_period && g_mm_event) {
        if (frame_timer_start(g_mm_event, period, true))
            g_mm_period = period;
    }
}

void timer_mm_callback()
{
    if (g_mm_pending)
        return;
    g_mm_pending = 1;
    if (!post_app_message(WM_APP_HIRES_TIMERS, 0, 0))
        g_mm_pending = 0;
}

intptr_t timer_mm_dispatch(uintptr_t, intptr_t)
{
    int restarts = 0;
    Timer* t = g_timers;
    while (t) {
        Timer* next = t->next;
        if (t->mm_id && t->repetitions >= 0)
            timer_run_due(t);
        if (next && !timer_is_live(next)) {
            if (++restarts > kMaxPasses)
                break;
            next = g_timers;
        }
        // A timer that ran stays current in the list; after a restart the
        // walk skips the ones that ran already by their new last run.
        t = next;
    }
    timer_remove_matching(2, nullptr, nullptr);
    g_mm_pending = 0;
    return 0;
}

int timer_mm_current_period() { return g_mm_period; }

const std::string& timer_last_name() { return g_last_name; }

std::string timer_current_name()
{
    for (Timer* t = g_timers; t; t = t->next)
        if (t->running)
            return t->name;
    return {};
}

// ---------------------------------------------------------------------------
// Signals.

int signal_queue(const std::string& text, Connection* conn, ScriptFile* script)
{
    if (g_signals.size() >= kMaxPendingSignals)
        return 0;
    bool was_empty = g_signals.empty();
    g_signals.push_back({text.substr(0, kLongText), conn, script});
    if (was_empty)
        post_app_message(WM_APP_SIGNALS, 0, 0);
    return 1;
}

int signal_fire_now(const std::string& text, Connection* conn, ScriptFile* script)
{
    // A handler that raises its own signal at once nests here: the bound of
    // the interpreter ends it with the nesting error.
    if (!script_nesting_enter())
        return 0;
    if (signal_event_fire)
        signal_event_fire(conn_is_live(conn) ? conn : nullptr, text, script);
    script_nesting_leave();
    return 1;
}

intptr_t signal_dispatch(uintptr_t, intptr_t)
{
    std::deque<PendingSignal> list;
    list.swap(g_signals);
    while (!list.empty()) {
        if (!timer_events_enabled())
            break;
        PendingSignal s = std::move(list.front());
        list.pop_front();
        ScriptFile* script = s.script && script_file_is_live(s.script) ? s.script : nullptr;
        if (signal_fire_now(s.text, s.conn, script) == 0 && script_error_pending())
            script_error_show(nullptr, conn_is_live(s.conn) ? s.conn : nullptr);
    }
    return 0;
}

int signal_pending_count() { return static_cast<int>(g_signals.size()); }

// ---------------------------------------------------------------------------

void timers_install()
{
    frame_set_handler(WM_APP_HIRES_TIMERS, timer_mm_dispatch);
    frame_set_handler(WM_APP_SIGNALS, signal_dispatch);
    frame_set_timer_handler(FRAME_TIMER_OTHER, on_frame_timer);
    timer_ids_taken.add_once(g_ids_listener, kTimerIdsScriptTimers, id_in_use);
    timer_commands_register();
    timer_identifiers_register();
}

void timers_uninstall()
{
    timer_ids_taken.drop(g_ids_listener);
}

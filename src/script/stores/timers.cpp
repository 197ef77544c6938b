#include "script/stores/timers.h"

#include <algorithm>
#include <ctime>
#include <deque>
#include <new>
#include <map>
#include <set>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "model/connection.h"
#include "model/connection_windows.h"
#include "model/widget_handles.h"
#include "core/options.h"
#include "core/text_buffer.h"
#include "core/text_limits.h"
#include "platform/app_messages.h"
#include "platform/frame_timers.h"
#include "platform/platform_utils.h"
#include "script/events/event_fire.h"
#include "script/events/event_index.h"
#include "script/events/remote_files.h"
#include "script/eval/evaluate.h"
#include "script/exec/script_errors.h"
#include "script/exec/script_hooks.h"
#include "script/exec/script_types.h"


namespace {

Timer* g_timers = nullptr;
Timer* g_tail = nullptr;
std::string g_last_name;

// Indexes over the list, so that a storm of timers costs constant or
// logarithmic time per timer: the records in the list, the records by their
// own frame timer id, and the plain numbers used as names ("1", "2", ...).
std::unordered_set<const Timer*> g_live;
std::unordered_map<int, Timer*> g_by_frame_id;
std::unordered_map<std::string, Timer*> g_by_name;   // lower-cased, not dropped
int g_follow_count = 0;

// Numbers in use as names; every number from 1 to g_number_top that is not
// in use is in g_number_holes, so the lowest free one is found at once.
std::map<int, int> g_numbers_used;   // number -> records that bear it
std::set<int> g_number_holes;
int g_number_top = 0;

constexpr int kMaxNumberName = 999999999;

// The number a name stands for when it is written as "1", "2", ... (no sign,
// no leading zero), else 0.
int name_number(const std::string& name)
{
    if (name.empty() || name.size() > 9 || name[0] == '0')
        return 0;
    int n = 0;
    for (char c : name) {
        if (c < '0' || c > '9')
            return 0;
        n = n * 10 + (c - '0');
    }
    return n;
}

void number_taken(int n)
{
    if (n <= 0)
        return;
    ++g_numbers_used[n];
    if (n <= g_number_top)
        g_number_holes.erase(n);
}

void number_freed(int n)
{
    if (n <= 0)
        return;
    auto it = g_numbers_used.find(n);
    if (it == g_numbers_used.end() || --it->second > 0)
        return;
    g_numbers_used.erase(it);
    if (n <= g_number_top)
        g_number_holes.insert(n);
}

void name_index_drop(Timer* t)
{
    auto it = g_by_name.find(text_lower_copy(t->name));
    if (it != g_by_name.end() && it->second == t)
        g_by_name.erase(it);
}

void index_add(Timer* t)
{
    g_live.insert(t);
    if (!t->dropped)
        g_by_name[text_lower_copy(t->name)] = t;
    number_taken(name_number(t->name));
    if (t->window_timer_id)
        g_by_frame_id[t->window_timer_id] = t;
    if (t->follow)
        ++g_follow_count;
}

void index_drop(Timer* t)
{
    g_live.erase(t);
    name_index_drop(t);
    // Two records may share a number while a dropped one finishes its run.
    number_freed(name_number(t->name));
    if (t->window_timer_id) {
        auto it = g_by_frame_id.find(t->window_timer_id);
        if (it != g_by_frame_id.end() && it->second == t)
            g_by_frame_id.erase(it);
    }
    if (t->follow)
        --g_follow_count;
}

Timer* by_frame_id(int id)
{
    auto it = g_by_frame_id.find(id);
    return it == g_by_frame_id.end() ? nullptr : it->second;
}

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


void unlink_timer(Timer* t)
{
    Timer* prev = nullptr;
    for (Timer** p = &g_timers; *p; prev = *p, p = &(*p)->next)
        if (*p == t) {
            *p = t->next;
            if (g_tail == t)
                g_tail = prev;
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
    index_drop(t);
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
    if (g_follow_count <= 0)
        return;
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
    if (script && !remote_script_file_is_live(script))
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
    g_tail = nullptr;
    Timer** tail = &g_timers;
    for (Timer* t : v) {
        *tail = t;
        tail = &t->next;
        g_tail = t;
    }
    *tail = nullptr;
}

void on_frame_timer(int id)
{
    if (id != 0 && id == g_mm_event) {
        timer_mm_callback();
        return;
    }
    if (by_frame_id(id)) {
        timer_proc(id);
        return;
    }
    // A frame timer whose id no script timer holds (the deferred socket
    // polls) is stopped.
    frame_timer_stop(id);
}

int g_ids_listener = 0;

int id_in_use(int id)
{
    if (id == g_mm_event && id != 0)
        return 1;
    return by_frame_id(id) ? 1 : 0;
}


} // namespace

std::uint64_t (*timer_clock_ms)() = default_clock;
int (*timer_local_time)(int*, int*, int*) = default_local_time;

int timer_events_enabled()
{
    return opt(OPT_REMOTE_EVENTS) ? 1 : 0;
}

// ---------------------------------------------------------------------------
// The list.

Timer* timer_first() { return g_timers; }

int timer_count() { return static_cast<int>(g_live.size()); }

std::string timer_free_name()
{
    if (!g_number_holes.empty())
        return std::to_string(*g_number_holes.begin());
    // Every number up to the top is in use: go past the ones named by hand.
    while (g_number_top < kMaxNumberName && g_numbers_used.count(g_number_top + 1))
        ++g_number_top;
    if (g_number_top >= kMaxNumberName)
        return {};
    ++g_number_top;
    // The top number is not in use yet: it stays out of the holes until freed.
    g_number_holes.insert(g_number_top);
    return std::to_string(g_number_top);
}

Timer* timer_find(std::string_view name)
{
    auto it = g_by_name.find(text_lower_copy(name));
    return it == g_by_name.end() ? nullptr : it->second;
}

int timer_is_live(const Timer* timer)
{
    return timer && g_live.count(timer) ? 1 : 0;
}

// A timer is inserted at the end of the list (used by the command).
void timer_append(Timer* timer)
{
    timer->next = nullptr;
    if (g_tail)
        g_tail->next = timer;
    else
        g_timers = timer;
    g_tail = timer;
    index_add(timer);
}

void timer_set_frame_timer(Timer* timer, int id)
{
    if (!timer_is_live(timer))
        return;
    if (timer->window_timer_id) {
        auto it = g_by_frame_id.find(timer->window_timer_id);
        if (it != g_by_frame_id.end() && it->second == timer)
            g_by_frame_id.erase(it);
    }
    timer->window_timer_id = id;
    if (id)
        g_by_frame_id[id] = timer;
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
        name_index_drop(timer);
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
                    name_index_drop(t);
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
    g_numbers_used.clear();
    g_number_holes.clear();
    g_number_top = 0;
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
            // Only this timer can have finished by its own run (one that a
            // command stops is removed there, unless it is running, and then
            // its own run removes it), so the whole list need not be swept:
            // a storm of millisecond timers stays linear per pass.
            if (timer_is_live(timer) && !timer->running &&
                (timer->repetitions < 0 || !conn_is_live(timer->conn)))
                timer_remove(timer);
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
    Timer* t = by_frame_id(id);
    if (!t) {
        frame_timer_stop(id);
        return;
    }
    if (t->repetitions >= 0)
        timer_run_due(t);
    else if (!t->running)
        timer_remove(t);
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
    // The SIGNAL event: the signal's name and parameters are its text, and
    // the script that sent it is tried first.
    EventSource source;
    source.first_script = script;
    source.text1 = text;
    event_fire(conn_is_live(conn) ? conn : nullptr, nullptr, nullptr, "SIGNAL", kEvSignal, 0, nullptr,
               &source);
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
        ScriptFile* script = s.script && remote_script_file_is_live(s.script) ? s.script : nullptr;
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
    // Timers bound to a freed connection end or move to its replacement.
    static int freed_listener = 0;
    static int repoint_listener = 0;
    conn_freed.add_once(freed_listener, kFreedTimers,
                        [](Connection* conn) { timer_remove_matching(3, conn, nullptr); });
    conn_repoint.add_once(repoint_listener, kRepointTimers, [](Connection* freed, Connection* replacement, bool) {
        timer_remove_matching(4, freed, replacement);
    });
}

// ---------------------------------------------------------------------------
// Windows of timers

QWidget* timer_status_window(Connection* conn)
{
    return conn_is_live(conn) ? conn_status_window(conn) : nullptr;
}

QWidget* timer_window_of(const Timer* t)
{
    if (QWidget* w = widget_handle_get(t->window))
        return w;
    return timer_status_window(t->conn);
}

void timer_set_window(Timer* t, QWidget* window)
{
    widget_handle_set(t->window, window);
}

// The frame's one-second tick.
#include "app/tick.h"
#include "irc/services/ident.h"

#include "app/ssl_prompts.h"
#include "irc/link/proxy.h"
#include "irc/lists/ignore_list.h"
#include "irc/services/ident.h"
#include "model/connection.h"
#include "model/window_record.h"
#include "script/file_watcher.h"
#include "script/stores/hash_tables.h"
#include "script/stores/timers.h"
#include "script/stores/variables.h"
#include "irc/link/conn_tick.h"

#include <QWidget>

#include <ctime>

static long long system_clock_seconds() { return static_cast<long long>(std::time(nullptr)); }

long long (*tick_clock)() = system_clock_seconds;
int tick_guard = 0;
long long tick_last_time = 0;
int tick_dde_countdown = 0;
int tick_dccserver_countdown = 0;
TickDialog tick_request_dialogs[2];
int tick_update_check_pending = 1;
Signal<void()> tick_second;
Signal<void()> tick_dde_due;
Signal<void()> tick_dccserver_due;
Signal<void(QWidget* dialog)> tick_request_timed_out;
Signal<bool()> tick_update_check_blocked;
Signal<void()> tick_update_check_due;

void tick_reset_base()
{
    tick_last_time = tick_clock();
}

int tick_countdown_step(int& countdown)
{
    if (countdown <= 0)
        return 0;
    return --countdown == 0 ? 1 : 0;
}

int tick_elapsed(long long now, long long last)
{
    long long d = now - last;
    if (d <= 0 || d > 3600)
        return 1;
    return static_cast<int>(d);
}

int frame_tick()
{
    if (tick_guard)
        return 1;
    tick_guard = 1;

    long long now = tick_clock();
    int elapsed = tick_elapsed(now, tick_last_time);
    tick_last_time = now;

    tick_second.fire();

    int result = conn_tick_all(elapsed);
    tick_guard = 0;
    return result;
}

// ---- The tick's own steps ----

namespace {

struct OwnStep {
    int order;
    void (*run)();
};

void request_dialogs_step()
{
    for (TickDialog& d : tick_request_dialogs) {
        if (!d.window)
            continue;
        if (tick_countdown_step(d.countdown))
            tick_request_timed_out.fire(d.window.data());
    }
}

void update_check_step()
{
    if (!tick_update_check_pending || tick_update_check_blocked.any())
        return;
    tick_update_check_pending = 0;
    tick_update_check_due.fire();
}

const OwnStep kOwnSteps[] = {
    {kTickWatcher, watcher_poll},
    {kTickHashTables, htable_tick},
    {kTickIgnore, dcc_ignore_tick},
    {kTickDdeCountdown, [] {
         if (tick_countdown_step(tick_dde_countdown))
             tick_dde_due.fire();
     }},
    {kTickVariables, var_tick_second},
    {kTickTimedIgnores, [] { ignore_tick_timed(0); }},
    {kTickDccServerCountdown, [] {
         if (tick_countdown_step(tick_dccserver_countdown))
             tick_dccserver_due.fire();
     }},
    {kTickIdentCountdown, [] {
         if (tick_countdown_step(tick_ident_countdown))
             ident_client_done();
     }},
    {kTickRequestDialogs, request_dialogs_step},
    {kTickProxies, proxy_tick},
    {kTickTimers, timer_tick_seconds},
    {kTickUpdateCheck, update_check_step},
    {kTickWindowSeconds, win_count_second},
    {kTickSslPrompts, ssl_prompts_tick},
};
constexpr std::size_t kOwnStepCount = sizeof kOwnSteps / sizeof kOwnSteps[0];
int own_listeners[kOwnStepCount] = {};

} // namespace

void tick_install()
{
    for (std::size_t i = 0; i < kOwnStepCount; ++i)
        tick_second.add_once(own_listeners[i], kOwnSteps[i].order, kOwnSteps[i].run);
}

void tick_uninstall()
{
    for (int& id : own_listeners)
        tick_second.drop(id);
}

// The one-second tick's own steps.
#include "app/tick.h"
#include "irc/services/ident.h"

#include "app/ssl_prompts.h"
#include "irc/link/proxy.h"
#include "irc/lists/ignore_list.h"
#include "model/connection.h"
#include "model/window_record.h"
#include "script/file_watcher.h"
#include "script/stores/hash_tables.h"
#include "script/stores/timers.h"
#include "script/stores/variables.h"

#include <QWidget>

int tick_dde_countdown = 0;
int tick_dccserver_countdown = 0;
TickDialog tick_request_dialogs[2];
int tick_update_check_pending = 1;
Signal<void()> tick_dde_due;
Signal<void()> tick_dccserver_due;
Signal<void(QWidget* dialog)> tick_request_timed_out;
Signal<bool()> tick_update_check_blocked;
Signal<void()> tick_update_check_due;

int tick_countdown_step(int& countdown)
{
    if (countdown <= 0)
        return 0;
    return --countdown == 0 ? 1 : 0;
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

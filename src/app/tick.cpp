// The frame's one-second tick.
#include "app/tick.h"
#include "irc/services/ident.h"

#include "model/connection.h"
#include "app/ssl_prompts.h"

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
TickHooks tick_hooks;

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

template <typename F>
static void run(F hook)
{
    if (hook)
        hook();
}

int frame_tick()
{
    if (tick_guard)
        return 1;
    tick_guard = 1;

    long long now = tick_clock();
    int elapsed = tick_elapsed(now, tick_last_time);
    tick_last_time = now;

    run(tick_hooks.watcher_poll);
    run(tick_hooks.switchbar_blink_check);
    run(tick_hooks.htable_tick);
    run(tick_hooks.dll_idle_tick);
    run(tick_hooks.ignore_tick);
    run(tick_hooks.log_tick);
    if (tick_countdown_step(tick_dde_countdown))
        run(tick_hooks.dde_countdown_step);
    run(tick_hooks.var_tick);
    run(tick_hooks.ignore_tick_timed);
    if (tick_countdown_step(tick_dccserver_countdown))
        run(tick_hooks.dccserver_drop_client);
    if (tick_countdown_step(tick_ident_countdown))
        run(tick_hooks.ident_close_client);
    for (TickDialog& d : tick_request_dialogs) {
        if (!d.window)
            continue;
        if (tick_countdown_step(d.countdown) && tick_hooks.cancel_dialog)
            tick_hooks.cancel_dialog(d.window.data());
    }
    run(tick_hooks.dccsend_tick);
    run(tick_hooks.dccget_tick);
    run(tick_hooks.dccchat_tick);
    run(tick_hooks.proxy_tick);
    run(tick_hooks.timer_tick_seconds);
    run(tick_hooks.cnick_apply_pending);
    if (tick_update_check_pending &&
        !(tick_hooks.update_check_blocked && tick_hooks.update_check_blocked())) {
        tick_update_check_pending = 0;
        run(tick_hooks.update_check_start);
    }
    run(tick_hooks.windows_second);
    // An SSL prompt nobody answers closes after its time.
    ssl_prompts_tick();

    int result = conn_tick_all(elapsed);
    tick_guard = 0;
    return result;
}

// The frame's one-second tick.
#include "display/second_tick.h"

#include "irc/link/conn_tick.h"

#include <ctime>

static long long system_clock_seconds() { return static_cast<long long>(std::time(nullptr)); }

long long (*tick_clock)() = system_clock_seconds;
int tick_guard = 0;
long long tick_last_time = 0;
Signal<void()> tick_second;

void tick_reset_base()
{
    tick_last_time = tick_clock();
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

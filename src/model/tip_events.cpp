#include "model/tip_events.h"

Signal<void(int, const TipEventText&, int, Connection*, WindowRecord*)> tip_event;
Signal<bool(int)> event_notice_wanted;

int tip_options[TIPOPT_COUNT] = {1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 1, 0, 0, 0, 0, 30, 10, 1};

int tipopt(int n)
{
    return n >= 1 && n <= TIPOPT_COUNT ? tip_options[n - 1] : 0;
}

bool tip_wanted(int option)
{
    return tipopt(TIPOPT_ENABLED) && tipopt(option);
}

bool event_announce_wanted(int option)
{
    return tip_wanted(option) || event_notice_wanted.any(option);
}

// Slot numbers and the count of live slot states.
#include "core/record_slots.h"

namespace {
int g_next_slot = 0;
std::size_t g_live = 0;
}  // namespace

int record_slot_next_id() { return g_next_slot++; }

std::size_t record_slots_live() { return g_live; }

void record_slots_count(int change)
{
    if (change < 0)
        g_live -= static_cast<std::size_t>(-change);
    else
        g_live += static_cast<std::size_t>(change);
}

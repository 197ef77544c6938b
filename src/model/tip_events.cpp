#include "model/tip_events.h"

Signal<void(int, const TipEventText&, int, Connection*, WindowRecord*)> tip_event;

#include "dcc/dcc_transfer.h"

#include <algorithm>

#include "model/window_record.h"

RecordSlot<DccTransfer> dcc_transfer_slot;

Signal<void(DccTransfer* t)> dcc_transfer_opened;
Signal<void(DccTransfer* t)> dcc_transfer_progress;
Signal<void(DccTransfer* t)> dcc_transfer_ended;
Signal<void(DccTransfer* t)> dcc_transfer_closed;

DccTransfer* dcc_transfer_of(WindowRecord* rec)
{
    if (!rec || rec->type != kWinTransfer)
        return nullptr;
    return rec->state_slots.find(dcc_transfer_slot);
}

DccTransfer* dcc_transfer_of_window(const QWidget* hwnd)
{
    return dcc_transfer_of(win_record_of(hwnd));
}

std::int64_t dcc_transfer_size(const DccTransfer* t)
{
    return t && t->size > 0 ? t->size : 0;
}

std::int64_t dcc_transfer_moved(const DccTransfer* t)
{
    if (!t)
        return 0;
    std::int64_t moved = std::max<std::int64_t>(0, t->position - t->resume);
    if (t->size >= 0)
        moved = std::min(moved, t->size);
    return moved;
}

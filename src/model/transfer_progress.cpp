#include "model/transfer_progress.h"

#include <algorithm>

#include "model/window_record.h"

RecordSlot<TransferProgress> transfer_progress_slot;
Signal<void(WindowRecord* rec)> transfer_progress_changed;

const TransferProgress* transfer_progress_of(const WindowRecord* rec)
{
    if (!rec || rec->type != kWinTransfer)
        return nullptr;
    return rec->state_slots.find(transfer_progress_slot);
}

void transfer_progress_set(WindowRecord* rec, const TransferProgress& progress)
{
    if (!rec || rec->type != kWinTransfer)
        return;
    TransferProgress next = progress;
    next.percent = std::clamp(next.percent, 0, 100);
    TransferProgress* held = rec->state_slots.find(transfer_progress_slot);
    if (held && held->percent == next.percent && held->running == next.running &&
        held->percent_text == next.percent_text && held->nick == next.nick && held->file == next.file)
        return;
    rec->state_slots.get(transfer_progress_slot) = next;
    transfer_progress_changed.fire(rec);
}

// What the bars show of a DCC transfer window: its percentage, whether it
// still runs, its percentage text and its nick and file. The transfer code
// keeps it current on the window's record; the switchbar and the treebar
// read it when they draw, and hear of a change through the signal.
#pragma once

#include <string>

#include "core/record_slots.h"
#include "core/signal.h"

struct WindowRecord;

struct TransferProgress {
    int percent = 0;            // 0..100
    bool running = false;       // false once the transfer stopped
    std::string percent_text;   // "45%", or the byte count while the size is unknown
    std::string nick;
    std::string file;
};

extern RecordSlot<TransferProgress> transfer_progress_slot;

// The progress of a transfer window, or null (no transfer, or another kind
// of window).
const TransferProgress* transfer_progress_of(const WindowRecord* rec);
// Stores the progress on a transfer window's record (percent held to
// 0..100) and tells the listeners when anything changed.
void transfer_progress_set(WindowRecord* rec, const TransferProgress& progress);

// A transfer window's progress changed (the switchbar repaints the button,
// and with it the treebar its item).
enum TransferProgressOrder {
    kTransferProgressSwitchbar = 10,
};
extern Signal<void(WindowRecord* rec)> transfer_progress_changed;

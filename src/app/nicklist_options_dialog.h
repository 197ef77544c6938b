// The nick list's options for one channel window: the side it sits on,
// hiding it automatically, showing it on Shift+Tab, and whether the choice
// is the channel's own, everyone's default, or the default put back.
#pragma once

class QWidget;
struct WindowRecord;

// The dialog's result word: the side (1 right, 2 left, 4 hidden, 8
// default), 0x80 hide automatically, 0x100 show on Shift+Tab, 0x40 reset
// the defaults, 0x20 use the defaults, 0x10 apply to all channels.
enum NicklistOptionFlags {
    kNickSideRight = 1,
    kNickSideLeft = 2,
    kNickSideHidden = 4,
    kNickSideDefault = 8,
    kNickApplyAll = 0x10,
    kNickUseDefaults = 0x20,
    kNickResetDefaults = 0x40,
    kNickAutoHide = 0x80,
    kNickShiftTab = 0x100,
};

// Stores a result word for the channel window: its [nicklist] key, or the
// defaults, and lays every channel window's list out again.
void nicklist_options_apply(WindowRecord* rec, int flags);

// Shows the dialog for a channel window (anything else beeps) and applies
// the choice on OK. 1 on OK, 0 otherwise.
int nicklist_options_dlg(WindowRecord* rec);

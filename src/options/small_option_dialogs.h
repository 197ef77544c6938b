// The small dialogs that buttons of the option pages open for settings
// that do not fit on a page: the keys, the confirmations, the windows that
// open on the desktop, the DDE server and the finger server. Each edits the
// options dialog's staging copy; the options dialog's OK makes it live, its
// Cancel drops it, and each dialog's own Cancel leaves the copy as it was.
#pragma once

#include "model/tip_events.h"

class QWidget;
struct OptionsEdit;

// Each runs its dialog over the owner; 1 on OK, 0 on Cancel and when the
// options dialog's staging copy is not there.
int keys_options_run(QWidget* owner);
int confirm_options_run(QWidget* owner);
int windows_options_run(QWidget* owner);
int dde_options_run(QWidget* owner);
int finger_options_run(QWidget* owner);

// The tips options: shows the working copy of the 24 tip options and, on
// OK, copies the controls back (the maximum kept within 5 to 50, the
// seconds within 3 to 60). 1 on OK.
int tip_options_dlg(QWidget* owner, int working[TIPOPT_COUNT]);
// Runs it on a copy of the live tip options and, on OK, makes them live at
// once (saved, surplus tips closed, all closed when tips are off).
int tips_options_run(QWidget* owner);

// The page buttons that open them (429 windows... 446 keys, 447 DDE, 448
// finger, 449 confirmations, 433 tips, 248 events): 1 when the command was one.
int small_option_dialogs_command(OptionsEdit& e, int id);

void small_option_dialogs_install();
void small_option_dialogs_uninstall();

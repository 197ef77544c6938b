// The one dispatch step every message loop runs: a key event goes first to the active
// modeless dialog (script dialogs in list order, then the script editor, the add-play
// dialog and the play centre), then to the MDI accelerators (Ctrl+F4 closes the active
// child, Ctrl+F6 and Ctrl+Tab go to the next child, with Shift to the previous one;
// while the Ctrl+Tab option is on, Ctrl+Tab in a window goes to the next window of the
// window list of its kind), then, with Alt while a window or the treebar has the
// focus, to the main window's accelerators, and otherwise takes its normal way.  Installed as one
// application event filter, so the nested event loops run it too.
#pragma once

class QEvent;
class QMdiArea;
class QObject;
class QWidget;

enum ModelessKind : int {
    MODELESS_SCRIPT_DIALOG = 0,
    MODELESS_SCRIPT_EDITOR = 1,
    MODELESS_ADD_PLAY = 2,
    MODELESS_PLAY_CENTRE = 3,
};

// Results of frame_dispatch_message.
enum DispatchResult : int {
    DISPATCH_NORMAL = 0,   // not consumed: normal delivery
    DISPATCH_DIALOG = 1,   // the active modeless dialog takes it
    DISPATCH_MDI_ACCEL = 2, // an MDI accelerator consumed it
    DISPATCH_HANDED_TO_DIALOG = 3 // aimed elsewhere, handed to the active dialog instead
};

// Modeless dialogs that take keyboard navigation.  Script dialogs keep the order in
// which they were registered; a destroyed dialog drops out by itself.
void dispatch_register_modeless(QWidget *dialog, int kind);
void dispatch_unregister_modeless(QWidget *dialog);
// The registered dialog that is the active window, tried in the dispatch order; or null.
QWidget *dispatch_active_modeless();

// The MDI client whose children the accelerators act on.
void dispatch_set_mdi_area(QMdiArea *area);

// The dispatch step for one event on its way to `receiver`.  A key event aimed elsewhere
// while a modeless dialog is active is sent to the dialog's focus widget here; after
// DISPATCH_MDI_ACCEL and DISPATCH_HANDED_TO_DIALOG the event must not be delivered again.
int frame_dispatch_message(QObject *receiver, QEvent *event);

// Looks the key ('A'..'Z') up in the main window's accelerators with the
// Alt and Ctrl states given and posts its command to the frame (the Alt+Z
// close only while its option is on). 1 when a command was posted.
int accel_dispatch(int key, int alt, int ctrl);

// Installs (once) and removes the application event filter.
void dispatch_install();
void dispatch_uninstall();

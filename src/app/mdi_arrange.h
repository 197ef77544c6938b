// Arranging the MDI children: tiling, cascading, lining up the icons of
// minimised children, stepping to the next or previous child, and keeping
// the windows of one connection together while doing so.
#pragma once

#include <vector>

class QMdiArea;
class QMdiSubWindow;
class QWidget;
struct WindowRecord;

// The low word is the grouping order (0 stacking, 1 creation; other values
// count as 0); 0x10000 tiles vertically (side by side) instead of
// horizontally (one above the other).
void mdi_tile(int flags);
void mdi_cascade(int order);
// Lines the minimised children up along the bottom of the MDI client.
void mdi_arrange_icons();
// Restacks the MDI children so that those of the current connection come
// first, then those of each other connection in connection-list order, then
// those of no connection; only while the grouping option is on and a current
// connection exists. Ctrl held inverts the order choice when `ctrl_inverts`.
void mdi_group_by_connection(int ctrl_inverts, int order);
// Minimised children are hidden while the switchbar or the treebar lists
// them (unless the window keeps its icon) and shown again otherwise.
void mdi_sync_icons();
// Activates the next (or, with `backwards`, the previous) MDI child of the
// MDI client (or of `in`): Ctrl+F6, and Ctrl+Tab by the stacking order.
void mdi_activate_next(int backwards, QMdiArea* in = nullptr);
// Ctrl+Tab in a window while the option says so: the next (previous)
// window of the window list after `hwnd` that is visible, not minimised and
// of the same kind (MDI child or desktop window), wrapping; activated and
// returned, or null when there is none.
QWidget* win_activate_next_in_list(QWidget* hwnd, int backwards);

// Flags of win_activate.
constexpr int kActivateForeground = 1;   // bring the application to the front
constexpr int kActivateMaximised = 2;    // show it maximised
constexpr int kActivateNoFocus = 4;      // change neither activation nor focus
constexpr int kActivateRestore = 8;      // show it restored
constexpr int kActivateIfUnfocused = 0x10;  // nothing when it has the focus already
// The one way to bring a window up (shown, restored or maximised, activated
// and its input box focused as the flags say). 0 when the handle is no
// window record.
int win_activate(QWidget* hwnd, int flags);
// Minimises the window. An MDI child is hidden as well while the switchbar
// or the treebar lists it (unless it keeps its icon); with flag 1 the next
// visible child comes up when this one was on top. A desktop window is
// hidden too when the hide option is on and Shift is up (or off and Shift
// down). 0 when the handle is no window record.
int win_minimize(QWidget* hwnd, int flags);
// The visible MDI children, top of the stack first.
std::vector<QMdiSubWindow*> mdi_children_top_first();
// The step between cascaded windows: a caption and a frame less 2.
int mdi_cascade_step();

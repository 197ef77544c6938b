// Arranging the MDI children: tiling, cascading, lining up the icons of
// minimised children, stepping to the next or previous child, and keeping
// the windows of one connection together while doing so.
#pragma once

#include <vector>

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
// Activates the next (or, with `backwards`, the previous) MDI child.
void mdi_activate_next(int backwards);
// The visible MDI children, top of the stack first.
std::vector<QMdiSubWindow*> mdi_children_top_first();
// The step between cascaded windows: a caption and a frame less 2.
int mdi_cascade_step();

// The MDI client: the frame's MDI area taken as the parent of the child
// windows, its rectangle, refreshing it and auto-arranging its children.
#pragma once

#include <QMdiArea>
#include <QWidget>

#include "model/window_record.h"

// Takes the MDI area that the frame made (its central widget) as the MDI
// client. Returns it, or null.
QMdiArea* mdi_client_create(QMdiArea* area);
QMdiArea* mdi_client();
// The MDI client's rectangle (screen coordinates with the flag, else its own
// with origin 0,0) less one pixel on each side; never inverted.
void mdi_client_rect(WinRect& out, int screen);
// For an MDI child while no child is maximised and auto-arrange is on: the
// arrange command (170, 171 or 172 by the arrange mode) and 173 when asked.
void mdi_post_arrange_command(QWidget* hwnd, int send);
void win_mdi_refresh();

// Auto-arrange of the MDI children (set by the frame's Window menu): on or
// off, the arrangement (0 tile, 1 tile the other way, 2 cascade), and
// whether the icons are arranged too.
extern int mdi_auto_arrange;
extern int mdi_arrange_mode;
extern int mdi_auto_arrange_icons;

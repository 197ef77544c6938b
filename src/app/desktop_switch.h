// Moving a window between the MDI client and the desktop. The same window
// widget changes its parent, so its lines, nick list, editbox text and caret,
// its log, timers and every reference to it stay as they are.
#pragma once

class QWidget;

// Mode 1 puts the window into the MDI client, 0 onto the desktop, -1
// toggles. Returns the window; one already of the requested kind, or one
// that cannot move (no MDI client, the frame hidden), stays where it is.
QWidget* win_toggle_desktop(QWidget* hwnd, int mode);

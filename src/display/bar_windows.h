// The frame's three dockable bars: the window each bar is drawn in, as its
// own code makes it, so that the frame's layout can place it by its side.
#pragma once

class QWidget;

enum BarKind { BAR_TOOLBAR = 0, BAR_SWITCHBAR = 1, BAR_TREEBAR = 2, BAR_COUNT = 3 };

// Records (or, with null, forgets) the window of a bar. A window destroyed
// later is forgotten by itself.
void bar_set_window(int bar, QWidget* w);
// The bar's window; null while there is none or for a bar number out of range.
QWidget* bar_window(int bar);

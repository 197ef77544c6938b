// What the window identifiers read of a window on screen, without the widget
// headers: its placement, its state and whether it is an MDI child. Kept
// here so that the identifiers stay free of the widget module.
#pragma once

#include <string>
#include <vector>

#include "model/window_record.h"

struct WindowFacts {
    WinRect place;            // left, top, width, height (normal placement while minimised or hidden)
    WinRect screen;           // left, top on the screen, and the drawing area's width and height
    bool visible = false;
    bool minimised = false;
    bool maximised = false;
    bool mdi_child = false;
    bool on_top = false;
    bool full_screen = false;
    std::string title;        // the caption text
};

// The facts of a window handle; false for null.
bool win_facts(QWidget* hwnd, WindowFacts& out);

// The text of a window's editbox (box 0 the first, 1 the second) and its
// selection, counted from 1; false when the window has no such box.
bool win_editbox_facts(WindowRecord* rec, int box, std::string& text, int& sel_start, int& sel_end);

// The list box of a window: its rows' texts and which are selected (rows
// from 0, in order); false when the window has none.
bool win_listbox_facts(WindowRecord* rec, std::vector<std::string>* texts, std::vector<int>& selected);

// Where the mouse is: the cursor, the window record under it (null when
// none), the position in that window, in the MDI client and on its monitor,
// whether it is over the window's list box, and the key and button bits (1
// left, 2 Ctrl, 4 Shift, 8 Alt, 16 right, 32 middle).
struct MouseFacts {
    WindowRecord* rec = nullptr;
    int x = 0, y = 0;       // in the window's client area
    int mx = 0, my = 0;     // in the MDI client
    int dx = 0, dy = 0;     // from the monitor's origin
    bool over_list = false;
    int keys = 0;
};
void win_mouse_facts(MouseFacts& out);

// The MDI child that was activated last, or null.
QWidget* win_last_active_child();

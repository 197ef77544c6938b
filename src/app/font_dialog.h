// The font dialog of a window: the system's font chooser with the window's
// own choices below it (make the font the default of the window's kind,
// return the window to that default, the UTF-8 mode).
#pragma once

class QWidget;

// Chooses the window's font (its system menu, the frame's menu, /font
// without parameters). 0 when a font dialog is already open; 1 otherwise
// (the error sound when the window is no window record).
int font_choose_for_window(QWidget* window);

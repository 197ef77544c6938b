// What scripts do to a window's frame: its place and size, its show state,
// staying on top, activation, its title and its translucency. Every call
// takes the window's handle and does nothing for a null or stale one. The
// header names no widget class, so the command code can use it.
#pragma once

#include <string>

class QWidget;

// Show states for win_op_show.
enum WinShowOp : int {
    kWinOpHide = 0,
    kWinOpMinimise = 1,
    kWinOpMaximise = 2,
    kWinOpRestore = 3,
    kWinOpShow = 4,
};

// Moves and sizes the window (an MDI child in MDI-client coordinates); a
// value of kUnsetCoord or -1 keeps the current one. With client_size the
// size is the client area's. A minimised or maximised window gets its
// restored placement changed.
void win_op_place(QWidget* hwnd, int x, int y, int width, int height, int client_size);
// The window's place and size (left, top, width, height of its frame).
void win_op_geometry(QWidget* hwnd, int* x, int* y, int* width, int* height);
void win_op_show(QWidget* hwnd, int state);
// 1 minimised, 2 maximised, 0 neither; -1 hidden.
int win_op_state(QWidget* hwnd);
void win_op_on_top(QWidget* hwnd, int on);
// Activates the window; without focus the keyboard focus stays where it is.
void win_op_activate(QWidget* hwnd, int focus);
// The frame's title, and setting it when it differs.
std::string win_op_title(QWidget* hwnd);
void win_op_set_title(QWidget* hwnd, const std::string& title);
// Opacity 0..255; 255 or more is opaque.
void win_op_set_alpha(QWidget* hwnd, int alpha);
// Writes the editbox prefix into the window's first editbox with the caret
// at the end.
void win_op_set_editbox(QWidget* hwnd, const std::string& text);
// Closes the window as the user's close does.
void win_op_close(QWidget* hwnd);
// One of the frame's window-arranging menu commands: 170 tile, 171 tile the
// other way, 172 cascade, 173 arrange icons.
void win_op_frame_command(int id);

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
// One of the frame's menu commands: 170 tile, 171 tile the other way, 172
// cascade, 173 arrange icons (done here while the frame has no handler);
// 134 the font dialog (only through the frame).
void win_op_frame_command(int id);

// An editbox of the window (second: the second box): 1 when it has one.
int win_op_has_editbox(QWidget* hwnd, int second);
// Its text, and setting it only when it differs (caret to the end).
std::string win_op_editbox_text(QWidget* hwnd, int second);
void win_op_editbox_set_text(QWidget* hwnd, int second, const std::string& text);
// Selects characters start..end (0-based, end exclusive) when the
// selection differs, and scrolls the caret into view.
void win_op_editbox_select(QWidget* hwnd, int second, int start, int end);
// Activates the window and focuses the box.
void win_op_editbox_focus(QWidget* hwnd, int second);
// Submits the box as Enter does.
void win_op_editbox_submit(QWidget* hwnd, int second);
// The main menu bar: shown (1) or not; setting it by the frame's menu
// command 110 when the state differs.
int win_op_menubar_shown();
void win_op_menubar_show(int show);
// Gives the window the icon of a file (index counted from 0 in files of
// several icons); the previous icon goes. 0 when no icon loads.
int win_op_set_icon(QWidget* hwnd, const std::string& file, int index);

// Both nicks in use at logon: the status window's input box is given
// "/nick " to ask for another (listening at kNickPromptEditbox).
constexpr int kNickPromptEditbox = 50;
void window_ops_install();
void window_ops_uninstall();

// The key, wheel and focus handling of a window's child controls (the text
// area, the input boxes and the side list box): keys the window acts on go
// to it as deferred keys (WM_APP+64), Tab completes or moves the focus, Enter
// submits, the list box selects by typed character, custom windows raise
// "KEYDOWN" and "KEYUP", and the wheel scrolls by the system's setting.
//
// display_input_install() plugs all of this, the editbox submission, the
// input histories, tab completion and the nick list into the child window's
// hooks.
#pragma once

#include <string>

class EditBox;
class ListBox;
class QKeyEvent;
class TextArea;
class QWidget;
struct WindowRecord;
struct Connection;

// Control kinds.
constexpr int kCtlKindEditbox = 0;
constexpr int kCtlKindList = 1;
constexpr int kCtlKindText = 2;

// Fills the child window's hooks (keys, submission, history, tab completion,
// nick list settings and clean-up) and installs the wheel, key-release and
// focus filter on the application. Safe to call more than once.
// The child windows' keys (1 when handled), tab completion and input history
// (direction 1 older, -1 newer) of the first (second 0) or second editbox.
int input_editbox_key(EditBox* box, QKeyEvent* event, WindowRecord* rec);
int input_listbox_key(ListBox* list, QKeyEvent* event, WindowRecord* rec);
int input_text_area_key(TextArea* area, QKeyEvent* event, WindowRecord* rec);
void input_tab_complete(WindowRecord* rec, int second);
void input_history_recall(WindowRecord* rec, int direction, int second);

void display_input_install();

// A key pressed in a control of the window: 0 when it was consumed, 1 when
// the control's own handling should follow. `second` tells which input box.
int keydown_handle(WindowRecord* rec, QKeyEvent* event, int kind, QWidget* control);
// A key released: "KEYUP" in custom windows. 0 when the window went away.
int keyup_handle(WindowRecord* rec, QKeyEvent* event, int kind, QWidget* control);

// Raises "KEYDOWN" (up 0) or "KEYUP" (up 1) in a custom window with the key
// code, its character and the repeat flag. Returns 1 while the window still
// exists afterwards.
int key_event_fire(WindowRecord* rec, int up, int key, int character, int repeat);

// Scrolls by a wheel distance (120 a notch; 0 nothing; beyond +-1000 one
// notch): lines per notch from the system (0 means 3; above 100 a page per
// notch), to the list box when the pointer is over it, else the text.
// Returns the number of notches (negative downwards).
int mouse_wheel_scroll(WindowRecord* rec, int distance, int over_list);
// One scroll request of the wheel: the list box's scroll bar moves (to_list
// with a list box), else the window's text scrolls.
void input_scroll_request(WindowRecord* rec, int to_list, int code);

// The item to select in a list for a typed character: the next item after
// the caret whose first significant character equals it (case ignored),
// continuing from the start; -1 when none.
int list_find_by_char(WindowRecord* rec, int caret, char typed);
// The first significant character of a list item's text for the window's kind.
char list_significant_char(WindowRecord* rec, const std::string& item);

// Where Tab goes from a box: 1 when it completes, else the focus moves.
int input_tab_completes(WindowRecord* rec, int box, int shift);

// ---- Seams ----

// Inserts a formatting code into the input box at the caret (twice with
// `twice`); a selection gets the code before and after it (for the colour
// code the caret then stands after the first one, ready for the number).
void edit_insert_code(EditBox* box, char code, int twice);

// Frame commands for a window (URL list: 7000 add, 7003 delete). Absent: nothing.
extern void (*input_frame_command_hook)(int id, WindowRecord* rec);
// KEYDOWN and KEYUP of custom windows, with $keyval, $keychar and $keyrpt,
// while remote events are on and a handler is there.
void input_fire_key(Connection* conn, QWidget* window, int up, int key, int character, int repeat);
// Asks before a paste of several lines into an input box; 0 refuses it.
// Absent: every paste goes in.
extern int (*input_paste_confirm_hook)(WindowRecord* rec, const std::string& text);

// The toolbar's buttons and operations, without the window class: the
// button record, the state and style bits, the message numbers, and the
// calls the rest of the program makes on the bar.
#pragma once

#include <QIcon>
#include <QImage>
#include <QRect>

#include <cstdint>
#include <string>

// State bits of a button.
enum ToolbarState : unsigned {
    TB_CHECKED = 1,
    TB_PRESSED = 2,
    TB_ENABLED = 4,
    TB_HIDDEN = 8,
    TB_INDETERMINATE = 16,
};
// Style bits of a button (check and group together: a radio group).
enum ToolbarStyle : unsigned {
    TB_SEPARATOR = 1,
    TB_CHECK = 2,
    TB_GROUP = 4,
};

// Message numbers (WM_USER + n) of the toolbar window.
enum ToolbarMessage : int {
    TBM_ENABLE = 1,
    TBM_CHECK = 2,
    TBM_PRESS = 3,
    TBM_HIDE = 4,
    TBM_INDETERMINATE = 5,
    TBM_IS_ENABLED = 9,
    TBM_IS_CHECKED = 10,
    TBM_IS_PRESSED = 11,
    TBM_IS_HIDDEN = 12,
    TBM_IS_INDETERMINATE = 13,
    TBM_SET_STATE = 17,
    TBM_GET_STATE = 18,
    TBM_DELETE = 22,
    TBM_COUNT = 24,
    TBM_INDEX_OF_ID = 25,
    TBM_ITEM_RECT = 29,
    TBM_SET_STYLE = 56,
    TBM_GET_STYLE = 57,
    TBM_INDEX_OF_NAME = 61,
    TBM_MOVE = 62,
};

constexpr int kToolbarSlots = 34;        // built-in slots, ids 1000..1033
constexpr int kToolbarFirstId = 1000;
constexpr int kToolbarControlId = 32948;
constexpr std::size_t kToolbarNameSize = 256;

struct ToolbarButton {
    int image_index = 0;     // built-in strip position, own picture otherwise, -1 separators
    int id = 0;              // 1000 + slot, or a free id for user buttons
    unsigned state = TB_ENABLED;
    unsigned style = 0;
    QRect rect;              // set by the layout
    int wide = 0;            // extra width: 0 or 6
    std::string name;        // up to 255 characters
    std::string tip;         // up to 1,024 characters
    int image_width = 16;
    int image_height = 16;
    int strip_x = 0;         // offset in the "toolbuttons" strip
    std::string picture;     // a path, "@window", or the slot number
    int image_number = 0;
    int image_count = 1;
    int icon_size = 0;       // -z selector (1, 2, 3; 0 none)
    QRect source;            // the part of the picture shown
    QImage bitmap;           // own picture (magenta is transparent)
    QIcon icon;              // own icon
    std::string alias;       // command line run on a click
    std::string popup;       // popup source shown on a right click
    int row = 0;
    std::string script_file; // script that made the button
    int alpha = 0;           // 0 opaque, else 1..255
};

// The bar's side in its own numbering: 0 top, 1 bottom, 2 left, 3 right.
int toolbar_own_side();

// Creates the toolbar as a child of the frame, fills the built-in slots,
// loads the user's buttons from "toolbar.ini" and shows it when the toolbar
// is on. 1 done, 0 failed (no toolbar then).
int toolbar_create();
// The built-in slots: flag 0 first creation, 1 reset (every button goes).
int toolbar_build_default(int flag);
// The message interface by number; see the table in ToolbarMessage.
intptr_t toolbar_message(int msg, uintptr_t wparam, intptr_t lparam);

// Buttons by typed calls (the add and insert messages).
int toolbar_append(ToolbarButton button);
int toolbar_insert(int index, ToolbarButton button);
// The button at an index or with an id; null when none.
ToolbarButton* toolbar_button_at(int index);
ToolbarButton* toolbar_button_by_id(int id);
int toolbar_count();
// Index of the button whose name is the text (case ignored), or -1.
int toolbar_index_of_name(const std::string& name);

// The state setters the rest of the program calls.
int toolbar_show_one_of_three(int a, int b, int c);
int toolbar_show_connect_state();
int toolbar_show_remote_state();
int toolbar_show_notify_state(int state);
int toolbar_show_urls_state(int state);
int toolbar_update_arrange_buttons();
// The buttons follow the frame: its bars shown or hidden from the menu, the
// connect command, and a link stage settled.
void toolbar_install();

int toolbar_thickness();
QRect toolbar_first_button_rect();
void toolbar_redraw_id(int id);
void toolbar_invalidate_id(int id);
// Runs the command of a button id (the frame's WM_COMMAND for toolbar ids).
void toolbar_button_command(int id);
// Repaints the whole bar (colour changes).
void toolbar_repaint();
// Paints the bar at once.
void toolbar_update_now();
// Whether there is a toolbar; shows or hides it.
bool toolbar_exists();
void toolbar_set_visible(bool shown);
// The built-in picture of slot N (0..33), 16 x 16; null for others.
QImage toolbar_builtin_image(int slot);

// The mouse on a window's text area and side list: a double-click runs the
// user's double-click command for the window's kind (or acts on the hotlink
// under the pointer), a press offers itself to the hotlinks before text
// marking starts, and the pointer turns into a hand over a hotlink.
//
// The double-click commands live in section "clicks" of the main settings
// file; the mouse state is the one record the script identifiers read.
#pragma once

#include <QPoint>

#include <string>

#include "core/signal.h"

class QMouseEvent;
class QWidget;
class TextArea;
struct WindowRecord;

// The mouse chose in a custom window: a double-click in its text or list
// (n 1, item -1 for the text) or a new selection in its list (n 7); item is
// the list's caret row. The custom window's popup menu runs its event.
enum CustomClickOrder {
    kCustomClickPopups = 50,
};
extern Signal<void(WindowRecord* rec, int n, int item)> clicks_custom_event;

// The double-click commands (each at most 1,024 characters).
struct ClickCommands {
    std::string status;    // a status window's text
    std::string query;     // a query, message or DCC chat window's text
    std::string channel;   // a channel window's text
    std::string nicklist;  // a nick in a channel's nick list
    std::string notify;    // a line of the Notify List
    std::string message;   // a nick hotlink in the message window
};
extern ClickCommands click_commands;

// The pointer while a mouse event is delivered (x is -1 otherwise) and the
// key and button flags: 1 left button, 2 Ctrl, 4 Shift, 8 Alt, 0x10 right
// button, 0x20 middle button.
struct MouseState {
    int x = -1;
    int y = 0;
    int keys = 0;
    WindowRecord* rec = nullptr;  // the custom window whose event runs, or null
};
extern MouseState mouse_state;

// Reads the six commands in the order status, query, channel, nicklist,
// notify, message, then fills empty ones with their defaults in the same
// order ("notify" and "message" take the "query" command as loaded or
// defaulted).
void clicks_load();
// Writes all six.
void clicks_save();

// A double-click at the point (text-area coordinates) of the window's text;
// shift tells whether Shift is held. 1 when it acted; else an error beep and 0.
int clicks_text_dblclick(QWidget* window, QPoint point, int shift);
// A double-click on the window's side list (its caret item); 1 when it acted;
// else an error beep and 0.
int clicks_list_dblclick(QWidget* window, int shift);
// A custom window's list caret moved by the user: its "lbclick" handler.
int clicks_custom_list_select(QWidget* window);
// Enter in a window's side list: the same action as a double-click on its
// caret item, with Shift as held now. The channel, Channels List, Notify
// List and custom windows act here; the lists that keep their own double-click (the
// links, the URLs) get it on the caret item.
void clicks_list_enter(WindowRecord* rec);

// The flags of MouseState from Qt's buttons and modifiers.
int mouse_key_flags(int buttons, int modifiers);
// Sets the mouse state's point (screen coordinates).
void mouse_set_point(QPoint point);

// The text area's mouse: double-clicks, the press offered to the hotlinks,
// the hotlink hover, and text marking with the left button. 1 when the
// event was used. Custom windows run their mouse handlers: "sclick" on a
// left press (the point is recorded), "uclick" on its release and "drop"
// when that is another point, "mouse" when the pointer moves and "leave"
// when it goes; a picture window's text area has no text to mark.
int clicks_text_area_mouse(TextArea* area, QMouseEvent* event, WindowRecord* rec);

// The pointer left a window's text area (no button held): a custom window
// under the pointer until now runs its "leave" handler.
void clicks_text_area_leave(TextArea* area, WindowRecord* rec);

// Listens for new list boxes so that their double-clicks come here.
void clicks_install();

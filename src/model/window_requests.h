// Windows the protocol asks for. Opening and closing a window is the window
// manager's work, above the protocol; it answers through these, which the
// program sets at start (win_open, win_open_message_window and
// win_close_request of app/window_open.h).
#pragma once

#include <string>

class QWidget;
struct Connection;

struct WindowOpenRequest {
    std::string name;         // window name (at most 1,024 characters kept)
    int type = 0;             // 0..9
    int subtype = 0;
    int flags = 0;            // the open flags; DCC transfer windows open minimised when set
    Connection* conn = nullptr; // the owner; must be live
    int* opened = nullptr;    // set to 0 at the start, to 1 once the window exists
};

// Opens a window; its handle, or null when it cannot be opened.
extern QWidget* (*win_request_open)(const WindowOpenRequest& request);
// The connection's message window, opened when it has none; null when it
// cannot be opened.
extern QWidget* (*win_request_message_window)(Connection* conn, int minimised);
// Asks a window to close as the user's close does; 1 when it is gone.
extern int (*win_request_close)(QWidget* hwnd);

// Opening and closing windows by type. Every window of the window list is
// opened through win_open, which makes the record, prepares the placement,
// class and styles and runs the creator of the window's type; closing goes
// through win_close, which saves the placement, does the clean-up of the type,
// chooses the next active window and frees the record.
#pragma once

#include <string>

#include "core/signal.h"
#include "model/window_record.h"
#include "model/window_requests.h"

class QWidget;
struct Connection;


// Creation parameters shared by win_open and the creators, reset per open.
struct WinCreateParams {
    int x = kUnsetCoord;
    int y = kUnsetCoord;
    int width = kUnsetCoord;
    int height = kUnsetCoord;
    std::string class_name;
    std::string title;
    int style = 0;            // custom style bits of a custom window
    int style_set = 0;
    int ex_style = 0;
    int open_minimised = 0;
    int open_inactive = 0;
    int open_maximised = 0;
    int keep_state = 0;
    int on_top = 0;
    int in_mdi = 1;
    int client_size = 0;      // the size is the client area's
    int centre = 0;
};
extern WinCreateParams win_create_params;
// One-shot request: the next query or DCC window opens minimised (the
// next status window's is conn_next_status_minimised of the connections).
extern int win_next_query_minimised;
// One-shot request: the next query window is one the user asked for, so it
// opens shown whatever the option that minimises new queries says.
extern int win_next_query_shown;
// The switch target while a window moves between the MDI client and the
// desktop: 1 into the MDI client, 0 onto the desktop, -1 otherwise.
extern int win_switch_target;

// The window class of a type and subtype ("Kest_Status", ...); empty for an
// unknown pair.
std::string win_class_name(int type, int subtype);

// Opens a window; returns its handle, or null on failure (then numbered text
// 6133 is printed in the status window of the connection).
QWidget* win_open(const WindowOpenRequest& request);

// The creators, one per type: the record, the in-MDI flag, the opened flag.
QWidget* win_open_status(WindowRecord* rec, int in_mdi, int* opened);
QWidget* win_open_channel(WindowRecord* rec, int in_mdi, int* opened);
QWidget* win_open_query(WindowRecord* rec, int in_mdi, int* opened);
QWidget* win_open_transfer(WindowRecord* rec, int in_mdi, int* opened);
QWidget* win_open_chanlist(WindowRecord* rec, int in_mdi, int* opened);
QWidget* win_open_finger(WindowRecord* rec, int in_mdi, int* opened);
QWidget* win_open_urls(WindowRecord* rec, int in_mdi, int* opened);
QWidget* win_open_notify(WindowRecord* rec, int in_mdi, int* opened);
QWidget* win_open_links(WindowRecord* rec, int in_mdi, int* opened);
QWidget* win_open_custom(WindowRecord* rec, int in_mdi, int* opened);

// The close handling of a window: 1 when it was closed, 0 when the close was
// refused; a handle without record gives 1.
int win_close(QWidget* hwnd);
// Asks the window to close (as the user's close does); 1 when it is gone.
int win_close_request(QWidget* hwnd);
// Raises "CLOSE" for the window before and after the default; 1 when the
// window (and its DCC chat) still exist afterwards.
int win_fire_close_event(QWidget* hwnd);

// Closes every window: first every window that is not a status window, then
// the status windows, until the list is empty. A window that refuses to close
// is not asked again.
void win_close_all();

// Set while the program itself closes a window (no close question).
extern int win_closing_by_program;

// The custom-window request of /window that the next custom window is made from.
extern CustomWindowRequest win_custom_request;

// A window is closing: its type's own clean-up has run and the record is
// still listed; it is freed after the listeners. Listeners check the type
// they care about.
enum WindowClosingOrder {
    kClosingDccTransfer = 40,  // a transfer's file and sockets close
    kClosingDebugCopy = 50,  // the /debug copy into the window ends
};
extern Signal<void(WindowRecord* rec)> win_closing;

// Calls into parts of the program that are not built yet; null until they are.
struct OpenHooks {
    // Channel Central: drop the pending request bound to the window.
    void (*chan_central_drop)(WindowRecord* rec) = nullptr;
    // DCC: take the chat state for a new chat window; close a window's chat,
    // send or get; make a transfer window's controls (0 fails the window).
    void (*dccchat_window_opened)(WindowRecord* rec) = nullptr;
    void (*dccchat_close_window)(WindowRecord* rec) = nullptr;
    void (*dcc_transfer_close_window)(WindowRecord* rec) = nullptr;
    int (*dccwin_create_controls)(WindowRecord* rec) = nullptr;
    int (*dccchat_still_live)(WindowRecord* rec) = nullptr; // absent: 1
    // Drop targets.
    void (*dragdrop_register)(WindowRecord* rec) = nullptr;
    void (*dragdrop_revoke)(WindowRecord* rec) = nullptr;
    // A picture window's back buffer (client size, cleared). Absent: none.
    void (*picture_create)(WindowRecord* rec) = nullptr;
};
extern OpenHooks open_hooks;

// Frees the windows of a connection that is being freed: its status, channel,
// query, message, channels-list and links windows and the custom windows that
// close with it are closed; the others move to the replacement.
void win_repoint_connection(Connection* freed, Connection* replacement);
// The windows of a freed connection close or move to its replacement (not at
// exit: the windows are gone by then).
void win_connections_install();
void win_connections_uninstall();
// Opens the status window of a connection ("Status Window").
QWidget* win_open_status_window(Connection* conn);
// The connection's single message window ("Message Window", a query of the
// message subtype), opened when the connection has none (minimised when
// asked) and kept as the connection's message window; null when it cannot
// be opened.
QWidget* win_open_message_window(Connection* conn, int minimised);

// Private messages of the main frame and their delivery on the user-interface thread.
//
// Every asynchronous completion (socket events, name lookups, worker results) reaches
// the frame as a numbered private message with two words.  post_app_message queues it
// (callable from any thread; order is kept), send_app_message runs it at once.  The
// frame registers one handler, frame_wnd_proc, that dispatches by number through the
// table below: each subsystem sets the handlers of the messages and frame timers it
// owns; the frame's own rows are the defaults (app/frame_proc.h).
#pragma once

#include <QEvent>
#include <cstdint>
#include <functional>

class QObject;

// Message numbers.  The bases keep their usual values so the numbers stay recognisable
// in traces: WM_APP + 60 is 0x803C.
enum AppMessage : int {
    WM_USER = 0x0400,
    WM_APP = 0x8000,

    // Socket, lookup and service messages to the frame.
    WM_APP_LOCAL_HOST_RESOLVED = WM_APP + 9,  // wparam lookup handle, lparam lookup result word
    WM_APP_HOST_LOOKUP_DONE = WM_APP + 11,    // lparam lookup result word, wparam lookup handle
    WM_APP_SERVER_RESOLVED = WM_APP + 12,     // wparam lookup handle, lparam lookup result word
    WM_APP_SERVER_CONNECTED = WM_APP + 13,    // wparam socket, lparam select word (connect)
    WM_APP_SERVER_SOCKET = WM_APP + 14,       // wparam socket, lparam select word (read/write/close)
    WM_APP_DCCGET_SOCKET = WM_APP + 15,       // DCC get socket (DCC-server request step)
    WM_APP_DCCGET_LISTEN = WM_APP + 16,       // DCC get listening socket
    WM_APP_DCCGET_PENDING = WM_APP + 17,      // DCC get pending work, no arguments
    WM_APP_DCCGET_DATA = WM_APP + 18,         // DCC get data socket
    WM_APP_DCCSEND_SOCKET = WM_APP + 20,      // DCC send socket (DCC-server handshake)
    WM_APP_DCCSEND_LISTEN = WM_APP + 21,      // DCC send listening socket
    WM_APP_DCCSEND_DATA = WM_APP + 22,        // DCC send data socket
    WM_APP_DCCCHAT_CONNECT = WM_APP + 28,     // DCC chat socket, connect
    WM_APP_DCCCHAT_LISTEN = WM_APP + 29,      // DCC chat listening socket
    WM_APP_DCCCHAT_PENDING = WM_APP + 30,     // DCC chat pending lines, no arguments
    WM_APP_DCCCHAT_SOCKET = WM_APP + 31,      // DCC chat or file-server data socket
    WM_APP_FINGER_RESOLVED = WM_APP + 34,     // finger client lookup completion
    WM_APP_FINGER_SOCKET = WM_APP + 35,       // finger client socket
    WM_APP_FINGER_PENDING = WM_APP + 36,      // finger client pending step, no arguments
    WM_APP_IDENT_START = WM_APP + 41,         // start the ident server
    WM_APP_IDENT_ACCEPT = WM_APP + 42,        // ident listening socket
    WM_APP_IDENT_SERVE = WM_APP + 43,         // ident client socket, serve
    WM_APP_IDENT_CLOSE = WM_APP + 44,         // ident client socket, close
    WM_APP_FINGERD_START = WM_APP + 45,       // start the finger server
    WM_APP_FINGERD_ACCEPT = WM_APP + 46,      // finger server listening socket
    WM_APP_FINGERD_SERVE = WM_APP + 47,       // finger server client socket, serve
    WM_APP_FINGERD_CLOSE = WM_APP + 48,       // finger server client socket, close
    WM_APP_PROXY_CONNECT = WM_APP + 49,       // proxy socket, connect
    WM_APP_PROXY_REPLY = WM_APP + 50,         // proxy socket, reply
    WM_APP_DCCSERVER_START = WM_APP + 51,     // start the DCC server
    WM_APP_DCCSERVER_ACCEPT = WM_APP + 52,    // DCC server listening socket
    WM_APP_DCCSERVER_SERVE = WM_APP + 53,     // DCC server client socket
    WM_APP_SCRIPT_SOCK_ACCEPT = WM_APP + 55,  // script socket connect/accept step
    WM_APP_SCRIPT_SOCK_EVENT = WM_APP + 56,   // script socket read/write/close
    WM_APP_SCRIPT_UDP = WM_APP + 57,          // script UDP socket (and script socket connect)
    WM_APP_SCRIPT_SOCKWRITE = WM_APP + 58,    // script socket writer: wparam id, lparam record
    // Frame requests.
    WM_APP_DEFERRED_START = WM_APP + 60,      // the deferred start
    WM_APP_CHANNEL_CENTRAL = WM_APP + 61,     // open channel central, lparam connection
    WM_APP_LOGON_SEQUENCE = WM_APP + 62,      // logon sequence, lparam connection
    WM_APP_COLOURS_CLOSE = WM_APP + 63,       // close the colour sub-dialog
    WM_APP_WINDOW_KEY = WM_APP + 64,          // (to a child window) a key the window acts on
    WM_APP_TRAY_REQUEST = WM_APP + 65,        // tray icon request, lparam
    WM_APP_BARS_REPAINT = WM_APP + 66,        // pending switchbar repaint, lparam connection or 0
    WM_APP_LOCK_PASSWORD = WM_APP + 67,       // lock password request, lparam flags
    WM_APP_SPEECH_AGENT = WM_APP + 71,        // lparam 1 probe, 0 refresh
    WM_APP_SCRIPT_LOAD_EVENTS = WM_APP + 72,  // fire LOAD for newly loaded scripts
    WM_APP_HIRES_TIMERS = WM_APP + 75,        // run due high-resolution script timers
    WM_APP_SEND_QUEUE = WM_APP + 76,          // continue a send queue, lparam connection
    WM_APP_OPTIONS_REQUEST = WM_APP + 77,     // options-dialog request
    WM_APP_CHILD_ACTIVATED = WM_APP + 78,     // (to a child window) activation follow-up
    WM_APP_SCRIPTS_CHANGED = WM_APP + 79,     // script-folder watcher: reload changed files
    WM_APP_EDITOR_CLOSE = WM_APP + 80,        // (to the script editor) the frame wants to close
    WM_APP_SIGNALS = WM_APP + 81,             // run pending signals
    WM_APP_CHANNELS_FOLDER = WM_APP + 83,     // open the channels folder: wparam connection, lparam
    WM_APP_CONNECT_TOGGLE = WM_APP + 84,      // connect or disconnect connection lparam
    WM_APP_DIALOG_REQUEST = WM_APP + 86,      // dialog request with wparam (connect-failure warning)
    WM_APP_CONNECTION_REQUEST = WM_APP + 87,  // connection request with lparam (CONNECTFAIL)
    WM_APP_URL_QUEUE = WM_APP + 90,           // queue a URL: lparam is a std::string* owned by the message
    WM_APP_FILETYPE_WARNING = WM_APP + 91,    // open the file-type warning dialog
    WM_APP_COM_DONE = WM_APP + 94,            // asynchronous COM call finished, lparam record
    WM_APP_DLL_DONE = WM_APP + 95,            // asynchronous DLL call finished, lparam record
    WM_APP_SSL_DONE = WM_APP + 96,            // SSL worker: lparam link
    WM_APP_MDI_REFRESH = WM_APP + 101,        // repaint the MDI client after a frame change
    WM_APP_DEFERRED_LAYOUT = WM_APP + 110,    // (to a child window) deferred layout, lparam reason
    WM_APP_LAYOUT_ALL = WM_APP + 111,         // layout reason: colours or system settings changed

    // External control.
    WM_USER_RUN_COMMAND = WM_USER + 200,      // run a command line
    WM_USER_EVALUATE = WM_USER + 201,         // evaluate identifiers
};

// ---- The frame's table of private messages and timers ----

using FrameMessageHandler = intptr_t (*)(uintptr_t wparam, intptr_t lparam);
using FrameTimerFn = void (*)(int id);

// One private message of the frame.
struct FrameMessageRow {
    int message;
    const char *posted_by;
    const char *action;
};

// One frame timer: period in milliseconds, 0 when its owner chooses it.
struct FrameTimerRow {
    int id;
    int period_ms;
    const char *started_by;
    const char *action;
};

// Frame timer ids.
enum FrameTimerId : int {
    FRAME_TIMER_TICK = 120,
    FRAME_TIMER_BEEP = 121,
    FRAME_TIMER_ACTIVATION = 122,
    FRAME_TIMER_DDE = 123,
    FRAME_TIMER_BLINK = 124,
    FRAME_TIMER_POPUP = 126,
    FRAME_TIMER_FLASH = 127,
    FRAME_TIMER_TRAY_CHANGE = 128,
    FRAME_TIMER_CUSTOM_MOUSE = 129,
    FRAME_TIMER_TRAY_ACTIVITY0 = 130,
    FRAME_TIMER_TRAY_ACTIVITY1 = 131,
    FRAME_TIMER_TRAY_REFRESH = 132,
    FRAME_TIMER_DCCSEND = 133,
    FRAME_TIMER_AGENT_REQUESTS = 134,
    FRAME_TIMER_AGENT_IDLE = 136,
    FRAME_TIMER_TOPMOST = 137,
    FRAME_TIMER_COUNTDOWNS = 138,
    FRAME_TIMER_UPDATE_CHECK = 139,
    // Stands for every id outside 120..139 (deferred socket polls) in frame_set_timer_handler.
    FRAME_TIMER_OTHER = -1,
};

// The tables.
const FrameMessageRow *frame_message_row(int message); // null: not a frame message
const FrameTimerRow *frame_timer_row(int id);          // null: not one of 120..139
int frame_message_row_count();
const FrameMessageRow *frame_message_rows();
int frame_timer_row_count();

// Replaces the handler of a frame message; null restores the default.  Returns 1, or 0
// when `message` is not one of the frame's.
int frame_set_handler(int message, FrameMessageHandler fn);
// Replaces the handler of a frame timer (120..139 or FRAME_TIMER_OTHER); null restores
// the default.  Returns 1, or 0 for another id.
int frame_set_timer_handler(int id, FrameTimerFn fn);

// The frame procedure for private messages: the row's handler's result (its default's
// when none was set), or 0 (the default result) for a message no row has.
intptr_t frame_wnd_proc(int message, uintptr_t wparam, intptr_t lparam);
// One expiry of frame timer `id`: its handler, else its default, else the timer stops
// (a timer whose owner is absent, or a deferred poll nobody serves, is dropped).
void frame_on_timer(int id);

// The default of a frame message or timer, which a null handler restores: the frame's
// own rows.  Null removes the default.  Returns 1, or 0 for an id outside the table.
int frame_set_default_handler(int message, FrameMessageHandler fn);
int frame_set_default_timer_handler(int id, FrameTimerFn fn);

// Puts every replaced handler back to its default (tests and restart).
void frame_handlers_reset();
// ---- Delivery ----

// The handler of the frame: (message, wparam, lparam) -> result.
using AppMessageHandler = std::function<intptr_t(int message, uintptr_t wparam, intptr_t lparam)>;

// Sets the frame's handler (user-interface thread).  An empty handler drops messages.
void app_messages_set_handler(AppMessageHandler handler);

// Makes `frame` the object that receives posted messages (user-interface thread).  Its
// events are filtered, so the object needs no code of its own.  While no frame was
// registered (or after a null one), an internal receiver is used; once a registered frame
// is destroyed, later posts are dropped, as posts to a destroyed window are.
void app_messages_set_frame(QObject *frame);

// Queues a message to the frame; returns 1 when queued, 0 when there is no receiver
// (no application object, or the frame is gone).  Any thread.
int post_app_message(int message, uintptr_t wparam, intptr_t lparam);

// Runs the frame's handler at once and returns its result (0 without a handler).  From
// another thread it waits until the user-interface thread has run it.
intptr_t send_app_message(int message, uintptr_t wparam, intptr_t lparam);

// A posted message with an optional validity test (run on the user-interface thread
// just before delivery; false drops the message) and an optional step run after the
// handler or after the drop.  The platform layer uses it to drop events of closed
// sockets and cancelled lookups.  Any thread.
int post_app_message_checked(int message, uintptr_t wparam, intptr_t lparam,
                             std::function<bool()> still_wanted, std::function<void()> after);

// Posts a message to any object of the user-interface thread whose event() or event
// filter calls app_message_event (child windows defer work to themselves this way).
int post_app_message_to(QObject *target, int message, uintptr_t wparam, intptr_t lparam);

// The event type of posted messages.
QEvent::Type app_message_event_type();

// Handles `event` when it is a posted message: checks it, runs `handler` (or the frame's
// handler when none is given) and returns true.  Returns false for any other event.
bool app_message_event(QEvent *event, const AppMessageHandler *handler = nullptr);

// The message number and words of a posted-message event (0 for other events).
int app_message_number(const QEvent *event, uintptr_t *wparam = nullptr, intptr_t *lparam = nullptr);

// True on the thread of the application object.
bool on_ui_thread();

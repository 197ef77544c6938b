// The frame's table of private messages and timers.
#include "app/frame_proc.h"

#include "core/text_limits.h"
#include "platform/frame_timers.h"
#include "platform/local_ipc.h"

#include <QApplication>
#include <QPointer>
#include <QWidget>
#include <algorithm>
#include <cstring>
#include <deque>
#include <iterator>
#include <map>

namespace {

const FrameMessageRow kMessages[] = {
    {WM_APP_LOCAL_HOST_RESOLVED, "local host-name lookup completion", "the connection's local-host handler"},
    {WM_APP_HOST_LOOKUP_DONE, "host lookup completion", "the lookup handler"},
    {WM_APP_SERVER_RESOLVED, "server host lookup completion", "the server connect step"},
    {WM_APP_SERVER_CONNECTED, "server socket, connect event", "the logon step"},
    {WM_APP_SERVER_SOCKET, "server socket, other events", "the read loop"},
    {WM_APP_DCCGET_SOCKET, "DCC get socket", "the DCC-server request step of the get"},
    {WM_APP_DCCGET_LISTEN, "DCC get listening socket", "accept the sender"},
    {WM_APP_DCCGET_PENDING, "DCC get", "the get's pending-work step"},
    {WM_APP_DCCGET_DATA, "DCC get data socket", "read or write"},
    {WM_APP_DCCSEND_SOCKET, "DCC send socket", "the DCC-server handshake of the send"},
    {WM_APP_DCCSEND_LISTEN, "DCC send listening socket", "accept the receiver"},
    {WM_APP_DCCSEND_DATA, "DCC send data socket", "read acknowledgements or write"},
    {WM_APP_DCCCHAT_CONNECT, "DCC chat socket", "connected"},
    {WM_APP_DCCCHAT_LISTEN, "DCC chat listening socket", "accept"},
    {WM_APP_DCCCHAT_PENDING, "DCC chat", "process pending chat lines"},
    {WM_APP_DCCCHAT_SOCKET, "DCC chat or file-server socket", "read or write"},
    {WM_APP_FINGER_RESOLVED, "finger client lookup completion", "finger client"},
    {WM_APP_FINGER_SOCKET, "finger client socket", "finger client socket event"},
    {WM_APP_FINGER_PENDING, "finger client", "finger client pending step"},
    {WM_APP_IDENT_START, "deferred start", "start the ident server"},
    {WM_APP_IDENT_ACCEPT, "ident listening socket", "accept an ident client"},
    {WM_APP_IDENT_SERVE, "ident client socket", "serve the client"},
    {WM_APP_IDENT_CLOSE, "ident client socket", "close the client"},
    {WM_APP_FINGERD_START, "deferred start", "start the finger server"},
    {WM_APP_FINGERD_ACCEPT, "finger server listening socket", "accept"},
    {WM_APP_FINGERD_SERVE, "finger server client socket", "serve"},
    {WM_APP_FINGERD_CLOSE, "finger server client socket", "close"},
    {WM_APP_PROXY_CONNECT, "proxy socket, connect", "proxy connect step"},
    {WM_APP_PROXY_REPLY, "proxy socket, reply", "proxy reply step"},
    {WM_APP_DCCSERVER_START, "deferred start", "start the DCC server"},
    {WM_APP_DCCSERVER_ACCEPT, "DCC server listening socket", "accept"},
    {WM_APP_DCCSERVER_SERVE, "DCC server client socket", "serve"},
    {WM_APP_SCRIPT_SOCK_ACCEPT, "script socket", "script socket connect/accept step"},
    {WM_APP_SCRIPT_SOCK_EVENT, "script socket", "read, write or nothing by the event"},
    {WM_APP_SCRIPT_UDP, "script UDP socket", "the UDP step"},
    {WM_APP_SCRIPT_SOCKWRITE, "script socket writer", "fire SOCKWRITE"},
    {WM_APP_DEFERRED_START, "start-up", "the deferred start"},
    {WM_APP_CHANNEL_CENTRAL, "channel central", "open channel central"},
    {WM_APP_LOGON_SEQUENCE, "logon", "run the logon sequence"},
    {WM_APP_COLOURS_CLOSE, "colours dialog", "close the colour sub-dialog"},
    {WM_APP_TRAY_REQUEST, "tray", "tray icon request"},
    {WM_APP_BARS_REPAINT, "activation tracking and others", "pending switchbar repaint, treebar branch"},
    {WM_APP_LOCK_PASSWORD, "lock", "ask for the lock password"},
    {WM_APP_SPEECH_AGENT, "deferred start, size and show", "speech agent probe or refresh"},
    {WM_APP_SCRIPT_LOAD_EVENTS, "script loading", "fire LOAD for newly loaded scripts"},
    {WM_APP_HIRES_TIMERS, "script timers", "run due high-resolution script timers"},
    {WM_APP_SEND_QUEUE, "send queue", "continue sending the queue"},
    {WM_APP_OPTIONS_REQUEST, "dialogs", "the options-dialog request"},
    {WM_APP_SCRIPTS_CHANGED, "script-folder watcher", "reload changed script files"},
    {WM_APP_SIGNALS, "/signal", "run pending signals"},
    {WM_APP_CHANNELS_FOLDER, "menu command 142 and others", "open the channels folder"},
    {WM_APP_CONNECT_TOGGLE, "menu commands 101 and 102, toolbar", "connect or disconnect"},
    {WM_APP_DIALOG_REQUEST, "dialogs", "the dialog request"},
    {WM_APP_CONNECTION_REQUEST, "connection lifecycle", "the connection request"},
    {WM_APP_URL_QUEUE, "URL opening", "queue a URL"},
    {WM_APP_FILETYPE_WARNING, "file-type check", "open the file-type warning dialog"},
    {WM_APP_COM_DONE, "COM worker", "finish an asynchronous COM call"},
    {WM_APP_DLL_DONE, "DLL worker", "finish an asynchronous DLL call"},
    {WM_APP_SSL_DONE, "SSL worker", "SSL handshake result"},
    {WM_APP_MDI_REFRESH, "window layout", "repaint the MDI client"},
    {WM_USER_RUN_COMMAND, "external control", "run a command line"},
    {WM_USER_EVALUATE, "external control", "evaluate identifiers"},
};

const FrameTimerRow kTimers[] = {
    {FRAME_TIMER_TICK, 1000, "deferred start", "the one-second tick"},
    {FRAME_TIMER_BEEP, 0, "repeated beeps", "next beep"},
    {FRAME_TIMER_ACTIVATION, 50, "activation update", "activation update with no window and no flags"},
    {FRAME_TIMER_DDE, 0, "DDE", "DDE timer step"},
    {FRAME_TIMER_BLINK, 0, "switchbar blinking", "next blink"},
    {FRAME_TIMER_POPUP, 1000, "end of a menu loop", "discard the current popup"},
    {FRAME_TIMER_FLASH, 0, "window flashing", "next flash step"},
    {FRAME_TIMER_TRAY_CHANGE, 0, "tray activity", "modify the tray icon when it changed"},
    {FRAME_TIMER_CUSTOM_MOUSE, 50, "custom windows", "check whether the mouse left a custom window"},
    {FRAME_TIMER_TRAY_ACTIVITY0, 0, "tray activity", "one-shot: clear tray activity bit 0"},
    {FRAME_TIMER_TRAY_ACTIVITY1, 0, "tray activity", "one-shot: clear tray activity bit 1"},
    {FRAME_TIMER_TRAY_REFRESH, 200, "tray activity", "refresh the tray icon"},
    {FRAME_TIMER_DCCSEND, 0, "DCC sends", "DCC send timer step"},
    {FRAME_TIMER_AGENT_REQUESTS, 500, "speech agent", "agent request time-outs"},
    {FRAME_TIMER_AGENT_IDLE, 0, "speech agent", "hide idle characters"},
    {FRAME_TIMER_TOPMOST, 100, "deferred start", "keep the frame topmost; stops after its eleventh tick"},
    {FRAME_TIMER_COUNTDOWNS, 100, "printing to windows", "per-window countdowns"},
    {FRAME_TIMER_UPDATE_CHECK, 0, "update check", "update check step"},
};

std::map<int, FrameMessageHandler> g_handlers;   // replaced message handlers
std::map<int, FrameTimerFn> g_timer_handlers;    // replaced timer handlers
FrameHooks g_hooks;

int g_pending_repaint = 0;
bool g_lock_busy = false;
std::deque<std::string> g_urls;
int g_topmost_ticks = 0;
bool g_app_active = false;
QPointer<QWidget> g_active_frame;
QPointer<QWidget> g_last_active;

bool events_on()
{
    return g_hooks.events_enabled && g_hooks.events_enabled() && g_hooks.fire_event;
}

void fire(int id, const char *name, QWidget *window)
{
    if (events_on())
        g_hooks.fire_event(id, name, window);
}

// ---- default message handlers ----

intptr_t on_deferred_start(uintptr_t, intptr_t)
{
    frame_start_timer(FRAME_TIMER_TOPMOST);
    frame_start_timer(FRAME_TIMER_TICK);
    return 0;
}

intptr_t on_bars_repaint(uintptr_t, intptr_t lparam)
{
    if (--g_pending_repaint <= 0) {
        g_pending_repaint = 0;
        if (g_hooks.switchbar_repaint)
            g_hooks.switchbar_repaint();
    }
    if (lparam && g_hooks.treebar_refresh)
        g_hooks.treebar_refresh(lparam);
    return 0;
}

intptr_t on_lock_password(uintptr_t, intptr_t lparam)
{
    if (g_lock_busy)
        return 0;
    g_lock_busy = true;
    intptr_t result = g_hooks.lock_password ? g_hooks.lock_password(lparam) : 0;
    g_lock_busy = false;
    return result;
}

intptr_t on_url_queue(uintptr_t, intptr_t lparam)
{
    auto *text = reinterpret_cast<std::string *>(lparam);
    if (!text)
        return 0;
    g_urls.push_back(text->size() > kLongText ? text->substr(0, kLongText) : *text);
    delete text;
    if (g_urls.size() > 1)
        return 0; // an earlier message is draining the list
    while (!g_urls.empty()) {
        std::string url = g_urls.front();
        if (!(g_hooks.exit_under_way && g_hooks.exit_under_way()) && g_hooks.url_open)
            g_hooks.url_open(url);
        g_urls.pop_front();
    }
    return 0;
}

intptr_t on_external(int message, uintptr_t wparam, intptr_t lparam)
{
    auto *text = reinterpret_cast<std::string *>(lparam);
    if (!text || !g_hooks.external_request)
        return 0;
    return g_hooks.external_request(message, wparam, *text);
}

intptr_t on_run_command(uintptr_t w, intptr_t l) { return on_external(WM_USER_RUN_COMMAND, w, l); }
intptr_t on_evaluate(uintptr_t w, intptr_t l) { return on_external(WM_USER_EVALUATE, w, l); }

FrameMessageHandler default_handler(int message)
{
    switch (message) {
    case WM_APP_DEFERRED_START:
        return on_deferred_start;
    case WM_APP_BARS_REPAINT:
        return on_bars_repaint;
    case WM_APP_LOCK_PASSWORD:
        return on_lock_password;
    case WM_APP_URL_QUEUE:
        return on_url_queue;
    case WM_USER_RUN_COMMAND:
        return on_run_command;
    case WM_USER_EVALUATE:
        return on_evaluate;
    default:
        return nullptr; // the owner is absent: nothing happens
    }
}

// ---- default timer handlers ----

void on_topmost(int id)
{
    if (g_hooks.keep_topmost)
        g_hooks.keep_topmost();
    if (++g_topmost_ticks > 10)
        frame_timer_stop(id);
}

void on_countdowns(int id)
{
    int busy = g_hooks.countdown_step ? g_hooks.countdown_step() : 0;
    if (!busy)
        frame_timer_stop(id);
}

void on_tray_activity(int id)
{
    frame_timer_stop(id);
    if (g_hooks.tray_activity_clear)
        g_hooks.tray_activity_clear(id == FRAME_TIMER_TRAY_ACTIVITY0 ? 0 : 1);
}

void on_activation_timer(int)
{
    frame_update_activation(nullptr, 0);
}

void stop_timer(int id)
{
    frame_timer_stop(id);
}

void nothing(int) {}

FrameTimerFn default_timer_handler(int id)
{
    switch (id) {
    case FRAME_TIMER_TICK:
        return nothing; // the tick's owner replaces it
    case FRAME_TIMER_ACTIVATION:
        return on_activation_timer;
    case FRAME_TIMER_TRAY_ACTIVITY0:
    case FRAME_TIMER_TRAY_ACTIVITY1:
        return on_tray_activity;
    case FRAME_TIMER_TOPMOST:
        return on_topmost;
    case FRAME_TIMER_COUNTDOWNS:
        return on_countdowns;
    default:
        // A timer whose owner is absent, or a deferred poll nobody serves: drop it.
        return stop_timer;
    }
}

} // namespace

const FrameMessageRow *frame_message_row(int message)
{
    for (const FrameMessageRow &r : kMessages)
        if (r.message == message)
            return &r;
    return nullptr;
}

const FrameTimerRow *frame_timer_row(int id)
{
    for (const FrameTimerRow &r : kTimers)
        if (r.id == id)
            return &r;
    return nullptr;
}

int frame_message_row_count() { return static_cast<int>(std::size(kMessages)); }
const FrameMessageRow *frame_message_rows() { return kMessages; }
int frame_timer_row_count() { return static_cast<int>(std::size(kTimers)); }

int frame_set_handler(int message, FrameMessageHandler fn)
{
    if (!frame_message_row(message))
        return 0;
    if (fn)
        g_handlers[message] = fn;
    else
        g_handlers.erase(message);
    return 1;
}

int frame_set_timer_handler(int id, FrameTimerFn fn)
{
    if (id != FRAME_TIMER_OTHER && !frame_timer_row(id))
        return 0;
    if (fn)
        g_timer_handlers[id] = fn;
    else
        g_timer_handlers.erase(id);
    return 1;
}

intptr_t frame_wnd_proc(int message, uintptr_t wparam, intptr_t lparam)
{
    if (!frame_message_row(message))
        return 0;
    auto it = g_handlers.find(message);
    FrameMessageHandler fn = it != g_handlers.end() ? it->second : default_handler(message);
    return fn ? fn(wparam, lparam) : 0;
}

void frame_on_timer(int id)
{
    int key = frame_timer_row(id) ? id : FRAME_TIMER_OTHER;
    auto it = g_timer_handlers.find(key);
    FrameTimerFn fn = it != g_timer_handlers.end() ? it->second : default_timer_handler(key);
    fn(id);
}

void frame_proc_install()
{
    app_messages_set_handler([](int message, uintptr_t wparam, intptr_t lparam) {
        return frame_wnd_proc(message, wparam, lparam);
    });
    frame_timers_set_handler(frame_on_timer);
}

int frame_start_timer(int id)
{
    const FrameTimerRow *row = frame_timer_row(id);
    if (!row || row->period_ms <= 0)
        return 0;
    if (id == FRAME_TIMER_TOPMOST)
        g_topmost_ticks = 0;
    return frame_timer_start(id, row->period_ms);
}

FrameHooks &frame_hooks()
{
    return g_hooks;
}

intptr_t frame_copydata(uintptr_t wparam, const char *data, std::size_t size)
{
    if (wparam == 1 && data) {
        // Never read past what arrived: the data need not be zero-terminated.
        std::size_t limit = size < kMediumText ? size : kMediumText;
        std::string link(data, strnlen(data, limit));
        if (g_hooks.open_irc_link)
            g_hooks.open_irc_link(link, 1);
    }
    return 1;
}

int frame_ipc_request(int kind, const std::string &payload, std::string &reply)
{
    switch (kind & 0xFFFF) {
    case IPC_PROBE:
        return static_cast<int>(frame_copydata(0, nullptr, 0));
    case IPC_LINK:
        return static_cast<int>(frame_copydata(1, payload.data(), payload.size()));
    case IPC_RUN_COMMAND:
    case IPC_EVALUATE: {
        // The request is read up to the first zero byte and at most 1,024 characters.
        std::string text(payload.c_str(), strnlen(payload.c_str(), std::min(payload.size(), kMediumText)));
        int message = (kind & 0xFFFF) == IPC_RUN_COMMAND ? WM_USER_RUN_COMMAND : WM_USER_EVALUATE;
        auto wparam = static_cast<uintptr_t>((static_cast<unsigned>(kind) >> 16) & 0xFFFF);
        intptr_t result = frame_wnd_proc(message, wparam, reinterpret_cast<intptr_t>(&text));
        // The reply never exceeds what a request may hold (an evaluation can
        // give up to 4,150 characters): cut at 1,024, not inside a UTF-8
        // character.
        if (text.size() > kMediumText) {
            std::size_t cut = kMediumText;
            while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80)
                --cut;
            text.resize(cut);
        }
        reply = text;
        return static_cast<int>(result);
    }
    case IPC_DDE:
        return g_hooks.dde_request ? g_hooks.dde_request(payload, reply) : 0;
    default:
        return 0;
    }
}

int frame_queue_url(const std::string &url)
{
    auto *text = new std::string(url.size() > kLongText ? url.substr(0, kLongText) : url);
    if (post_app_message(WM_APP_URL_QUEUE, 0, reinterpret_cast<intptr_t>(text)))
        return 1;
    delete text;
    return 0;
}

void frame_request_bars_repaint(intptr_t connection)
{
    ++g_pending_repaint;
    if (!post_app_message(WM_APP_BARS_REPAINT, 0, connection))
        --g_pending_repaint;
}

int frame_pending_repaint_count()
{
    return g_pending_repaint;
}

void frame_update_activation(QWidget *window, int flags)
{
    if ((flags & 1) && g_hooks.mdi_refresh)
        g_hooks.mdi_refresh();
    frame_timer_stop(FRAME_TIMER_ACTIVATION);
    if (flags & 2)
        frame_timer_start(FRAME_TIMER_ACTIVATION, 50);

    QWidget *fg = qobject_cast<QApplication *>(QCoreApplication::instance()) ? QApplication::activeWindow() : nullptr;
    bool active = fg && fg->isVisible() && !fg->isMinimized() &&
                  !(g_hooks.is_tip_or_editor && g_hooks.is_tip_or_editor(fg));
    if (!active) {
        g_active_frame = nullptr;
        if (g_hooks.app_inactive)
            g_hooks.app_inactive();
    } else {
        g_active_frame = fg;
        if (g_hooks.app_active)
            g_hooks.app_active(window);
    }
    if (g_hooks.repaint_captions)
        g_hooks.repaint_captions();
    if (g_hooks.bars_shown && g_hooks.bars_shown())
        frame_request_bars_repaint(0);
    if (active != g_app_active) {
        g_app_active = active;
        g_last_active = nullptr;
        if (g_hooks.tray_refresh)
            g_hooks.tray_refresh();
        fire(7, "APPACTIVE", nullptr);
    }
    if (flags & 4) {
        if (window != g_last_active.data()) {
            g_last_active = window;
            fire(6, "ACTIVE", window);
        }
        if (window && (window->isMinimized() || window->isHidden()))
            g_last_active = nullptr;
    }
}

int frame_app_active()
{
    return g_app_active ? 1 : 0;
}

QWidget *frame_last_active_window()
{
    return g_last_active.data();
}

void frame_media_notify(int notify_code, int kind)
{
    if (notify_code == 2 || notify_code == 4)
        return; // superseded or aborted
    if (kind < 6 || kind > 8)
        return;
    if (g_hooks.media_close)
        g_hooks.media_close(kind);
    if (kind == 6) {
        fire(78, "WAVEEND", nullptr);
    } else if (kind == 7) {
        fire(38, "MIDIEND", nullptr);
    } else {
        fire(64, "SONGEND", nullptr);
        fire(64, "MP3END", nullptr);
    }
    if (g_hooks.media_end_step)
        g_hooks.media_end_step(kind);
}

int frame_topmost_ticks()
{
    return g_topmost_ticks;
}

void frame_proc_reset()
{
    g_handlers.clear();
    g_timer_handlers.clear();
    g_hooks = FrameHooks{};
    g_pending_repaint = 0;
    g_lock_busy = false;
    g_urls.clear();
    g_topmost_ticks = 0;
    g_app_active = false;
    g_active_frame = nullptr;
    g_last_active = nullptr;
}

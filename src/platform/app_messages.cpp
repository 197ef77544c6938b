// Posted private messages: a custom event per message, delivered on the UI thread, and
// the frame's table that dispatches them.
#include "platform/app_messages.h"
#include "platform/frame_timers.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QObject>
#include <QPointer>
#include <QThread>
#include <iterator>
#include <map>
#include <mutex>

namespace {

class AppMessageEvent : public QEvent
{
public:
    AppMessageEvent(int message, uintptr_t wparam, intptr_t lparam,
                    std::function<bool()> still_wanted, std::function<void()> after)
        : QEvent(app_message_event_type()), message_(message), wparam_(wparam), lparam_(lparam),
          still_wanted_(std::move(still_wanted)), after_(std::move(after))
    {
    }
    ~AppMessageEvent() override
    {
        // A message discarded without delivery (its receiver was destroyed) still
        // releases what it carried.
        if (after_) {
            auto after = std::move(after_);
            after_ = nullptr;
            after();
        }
    }

    int message_;
    uintptr_t wparam_;
    intptr_t lparam_;
    std::function<bool()> still_wanted_;
    std::function<void()> after_;
};

// The receiver used while no frame is registered.
class MessageSink : public QObject
{
public:
    bool event(QEvent *e) override
    {
        if (app_message_event(e))
            return true;
        return QObject::event(e);
    }
};

// Catches posted messages on a registered frame object.
class FrameFilter : public QObject
{
public:
    bool eventFilter(QObject *, QEvent *e) override { return app_message_event(e); }
};

struct State {
    std::mutex mutex;               // guards the receiver pointers below
    QPointer<QObject> frame;        // the registered frame
    bool frame_registered = false;  // a frame was registered and not cleared
    QObject *sink = nullptr;        // internal receiver, owned by the application object
    FrameFilter *filter = nullptr;
    AppMessageHandler handler;      // user-interface thread only
};

State &state()
{
    static State *s = new State; // never destroyed: worker threads may post at exit
    return *s;
}

// Makes the internal receiver when it is missing (user-interface thread, mutex not held:
// parenting sends events that may post).
void ensure_sink(State &s)
{
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        if (s.sink || s.frame_registered)
            return;
    }
    auto *sink = new MessageSink;
    sink->setParent(QCoreApplication::instance());
    QObject::connect(sink, &QObject::destroyed, [] {
        State &st = state();
        std::lock_guard<std::mutex> lock(st.mutex);
        st.sink = nullptr;
    });
    std::lock_guard<std::mutex> lock(s.mutex);
    s.sink = sink;
}

// The object that receives posts, or null.  Called with the mutex held.
QObject *receiver_locked(State &s)
{
    if (s.frame_registered)
        return s.frame.data(); // null once the frame is gone: the post is dropped
    return s.sink;
}

} // namespace

QEvent::Type app_message_event_type()
{
    static const QEvent::Type type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

bool on_ui_thread()
{
    QCoreApplication *app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

void app_messages_set_handler(AppMessageHandler handler)
{
    state().handler = std::move(handler);
}

void app_messages_set_frame(QObject *frame)
{
    State &s = state();
    if (frame && !s.filter)
        s.filter = new FrameFilter; // lives for the run, on the UI thread
    std::lock_guard<std::mutex> lock(s.mutex);
    if (s.frame && s.frame != frame)
        s.frame->removeEventFilter(s.filter);
    s.frame = frame;
    s.frame_registered = frame != nullptr;
    if (frame)
        frame->installEventFilter(s.filter);
}

int post_app_message_checked(int message, uintptr_t wparam, intptr_t lparam,
                             std::function<bool()> still_wanted, std::function<void()> after)
{
    State &s = state();
    if (on_ui_thread())
        ensure_sink(s);
    std::unique_lock<std::mutex> lock(s.mutex);
    QObject *target = QCoreApplication::instance() ? receiver_locked(s) : nullptr;
    if (!target && QCoreApplication::instance() && !s.frame_registered) {
        // First post from a worker before the UI thread made its receiver: have the UI
        // thread make it and deliver there, keeping this post in order with later ones.
        auto *ev = new AppMessageEvent(message, wparam, lparam, std::move(still_wanted), std::move(after));
        lock.unlock();
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [ev] {
                State &st = state();
                ensure_sink(st);
                QObject *t;
                {
                    std::lock_guard<std::mutex> l(st.mutex);
                    t = receiver_locked(st);
                }
                if (t)
                    QCoreApplication::sendEvent(t, ev);
                delete ev;
            },
            Qt::QueuedConnection);
        return 1;
    }
    if (!target) {
        lock.unlock();
        if (after)
            after();
        return 0;
    }
    QCoreApplication::postEvent(target, new AppMessageEvent(message, wparam, lparam,
                                                            std::move(still_wanted), std::move(after)));
    return 1;
}

int post_app_message(int message, uintptr_t wparam, intptr_t lparam)
{
    return post_app_message_checked(message, wparam, lparam, nullptr, nullptr);
}

int post_app_message_to(QObject *target, int message, uintptr_t wparam, intptr_t lparam)
{
    if (!target || !QCoreApplication::instance())
        return 0;
    QCoreApplication::postEvent(target, new AppMessageEvent(message, wparam, lparam, nullptr, nullptr));
    return 1;
}

intptr_t send_app_message(int message, uintptr_t wparam, intptr_t lparam)
{
    if (on_ui_thread() || !QCoreApplication::instance()) {
        State &s = state();
        if (!s.handler)
            return 0;
        AppMessageHandler h = s.handler; // the handler may replace itself
        return h(message, wparam, lparam);
    }
    intptr_t result = 0;
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [message, wparam, lparam]() -> intptr_t { return send_app_message(message, wparam, lparam); },
        Qt::BlockingQueuedConnection, &result);
    return result;
}

bool app_message_event(QEvent *event, const AppMessageHandler *handler)
{
    if (!event || event->type() != app_message_event_type())
        return false;
    auto *m = static_cast<AppMessageEvent *>(event);
    bool wanted = !m->still_wanted_ || m->still_wanted_();
    if (wanted) {
        if (handler && *handler) {
            (*handler)(m->message_, m->wparam_, m->lparam_);
        } else if (!handler) {
            AppMessageHandler h = state().handler;
            if (h)
                h(m->message_, m->wparam_, m->lparam_);
        }
    }
    if (m->after_) {
        auto after = std::move(m->after_);
        m->after_ = nullptr;
        after();
    }
    return true;
}

int app_message_number(const QEvent *event, uintptr_t *wparam, intptr_t *lparam)
{
    if (!event || event->type() != app_message_event_type())
        return 0;
    auto *m = static_cast<const AppMessageEvent *>(event);
    if (wparam)
        *wparam = m->wparam_;
    if (lparam)
        *lparam = m->lparam_;
    return m->message_;
}

// ---- The frame's table ----

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

// User-interface thread only.
struct Handlers {
    std::map<int, FrameMessageHandler> set;       // handlers set by the rows' owners
    std::map<int, FrameMessageHandler> defaults;  // the frame's own rows
    std::map<int, FrameTimerFn> timers;
    std::map<int, FrameTimerFn> timer_defaults;
};

Handlers &handlers()
{
    static Handlers h;
    return h;
}

bool timer_key_ok(int id)
{
    return id == FRAME_TIMER_OTHER || frame_timer_row(id);
}

template <typename Fn>
void put(std::map<int, Fn> &map, int key, Fn fn)
{
    if (fn)
        map[key] = fn;
    else
        map.erase(key);
}

template <typename Fn>
Fn find(const std::map<int, Fn> &map, int key)
{
    auto it = map.find(key);
    return it != map.end() ? it->second : nullptr;
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
    put(handlers().set, message, fn);
    return 1;
}

int frame_set_timer_handler(int id, FrameTimerFn fn)
{
    if (!timer_key_ok(id))
        return 0;
    put(handlers().timers, id, fn);
    return 1;
}

int frame_set_default_handler(int message, FrameMessageHandler fn)
{
    if (!frame_message_row(message))
        return 0;
    put(handlers().defaults, message, fn);
    return 1;
}

int frame_set_default_timer_handler(int id, FrameTimerFn fn)
{
    if (!timer_key_ok(id))
        return 0;
    put(handlers().timer_defaults, id, fn);
    return 1;
}

void frame_handlers_reset()
{
    handlers().set.clear();
    handlers().timers.clear();
}

intptr_t frame_wnd_proc(int message, uintptr_t wparam, intptr_t lparam)
{
    if (!frame_message_row(message))
        return 0;
    Handlers &h = handlers();
    FrameMessageHandler fn = find(h.set, message);
    if (!fn)
        fn = find(h.defaults, message);
    return fn ? fn(wparam, lparam) : 0; // the owner is absent: nothing happens
}

void frame_on_timer(int id)
{
    int key = frame_timer_row(id) ? id : FRAME_TIMER_OTHER;
    Handlers &h = handlers();
    FrameTimerFn fn = find(h.timers, key);
    if (!fn)
        fn = find(h.timer_defaults, key);
    if (fn)
        fn(id);
    else
        frame_timer_stop(id);
}

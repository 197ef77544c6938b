// Posted private messages: a custom event per message, delivered on the UI thread.
#include "platform/app_messages.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QObject>
#include <QPointer>
#include <QThread>
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

// Frame timers: one QTimer per id.
#include "platform/frame_timers.h"

#include "platform/app_messages.h"

#include <QCoreApplication>
#include <QPointer>
#include <QTimer>
#include <map>

namespace {

FrameTimerHandler g_handler = nullptr;
std::map<int, QPointer<QTimer>> g_timers;

void drop_timer(std::map<int, QPointer<QTimer>>::iterator it)
{
    if (QTimer *t = it->second.data()) {
        t->stop();
        t->deleteLater(); // may be inside its own timeout
    }
    g_timers.erase(it);
}

} // namespace

void frame_timers_set_handler(FrameTimerHandler handler)
{
    g_handler = handler;
}

int frame_timer_start(int id, int ms, bool precise)
{
    if (ms < 0 || !on_ui_thread())
        return 0;
    auto it = g_timers.find(id);
    if (it != g_timers.end())
        drop_timer(it);
    auto *timer = new QTimer;
    timer->setTimerType(precise ? Qt::PreciseTimer : Qt::CoarseTimer);
    timer->setInterval(ms);
    QObject::connect(timer, &QTimer::timeout, timer, [id, timer] {
        auto found = g_timers.find(id);
        if (found == g_timers.end() || found->second.data() != timer)
            return; // stopped or replaced meanwhile
        if (g_handler)
            g_handler(id);
    });
    g_timers[id] = timer;
    timer->start();
    return 1;
}

int frame_timer_stop(int id)
{
    auto it = g_timers.find(id);
    if (it == g_timers.end())
        return 0;
    drop_timer(it);
    return 1;
}

int frame_timer_is_running(int id)
{
    auto it = g_timers.find(id);
    return it != g_timers.end() && it->second && it->second->isActive() ? 1 : 0;
}

int frame_timer_interval(int id)
{
    auto it = g_timers.find(id);
    if (it == g_timers.end() || !it->second)
        return -1;
    return it->second->interval();
}

void frame_timers_stop_all()
{
    while (!g_timers.empty())
        drop_timer(g_timers.begin());
}

// Worker threads that hand their results back through the event queue.
#include "platform/worker.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <atomic>
#include <thread>

namespace {

std::atomic<int> &running()
{
    static std::atomic<int> *count = new std::atomic<int>(0);
    return *count;
}

} // namespace

int run_on_ui_thread(std::function<void()> fn)
{
    QCoreApplication *app = QCoreApplication::instance();
    if (!app || !fn)
        return 0;
    return QMetaObject::invokeMethod(app, std::move(fn), Qt::QueuedConnection) ? 1 : 0;
}

int worker_start(std::function<void()> job, std::function<void()> done)
{
    if (!job)
        return 0;
    std::atomic<int> &count = running();
    if (count.fetch_add(1) >= kMaxWorkers) {
        count.fetch_sub(1);
        return 0;
    }
    try {
        std::thread([job = std::move(job), done = std::move(done)]() mutable {
            job();
            running().fetch_sub(1);
            if (done)
                run_on_ui_thread(std::move(done));
        }).detach();
    } catch (...) {
        count.fetch_sub(1);
        return 0;
    }
    return 1;
}

int worker_running_count()
{
    return running().load();
}

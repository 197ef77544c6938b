// Shared helpers of the platform and frame tests: one application object for the
// process (made on first use, offscreen) and bounded waiting while events run.
#pragma once

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <cstdlib>
#include <functional>

inline QCoreApplication *platform_test_app()
{
    if (!QCoreApplication::instance()) {
        if (!std::getenv("QT_QPA_PLATFORM"))
            setenv("QT_QPA_PLATFORM", "offscreen", 1);
        static int argc = 1;
        static char name[] = "kest_tests";
        static char *argv[] = {name, nullptr};
        new QApplication(argc, argv); // lives for the whole run
    }
    return QCoreApplication::instance();
}

// Runs the event loop until `done` holds or `timeout_ms` passed; returns whether it held.
inline bool pump_until(const std::function<bool()> &done, int timeout_ms)
{
    platform_test_app();
    QElapsedTimer clock;
    clock.start();
    QTimer wake; // keeps the wait short when nothing else happens
    wake.start(5);
    while (!done()) {
        if (clock.elapsed() >= timeout_ms)
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

// Runs the event loop for `ms` milliseconds.
inline void pump_for(int ms)
{
    pump_until([] { return false; }, ms);
}

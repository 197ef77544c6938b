// Shared helpers of the platform and frame tests: one application object for the
// process (made on first use, offscreen) and bounded waiting while events run.
#pragma once

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <cstdlib>
#include <functional>

#define KEST_TEST_WIDGETS
#include "support/test_support.h"

inline QCoreApplication *platform_test_app()
{
    return test_app();
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

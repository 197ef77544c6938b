// Shared set-up of the bar tests: an offscreen frame with its MDI client and
// the real switchbar and treebar, every subsystem joined as the program
// joins them, and a connection whose server lines go through the real
// dispatcher into real windows. Defined in tests/bars/bar_fixture.cpp.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "support/hook_guard.h"
#include "support/test_support.h"
#include "support/test_wire.h"

class QWidget;
class QTreeWidget;
struct Connection;
struct WindowRecord;

class BarTest : public ::testing::Test {
protected:
    HookGuard hooks_;
    TempSettingsDir settings{"kest_bars_"};
    TestWire wire;
    Connection* conn = nullptr;
    WindowRecord* status = nullptr;
    QWidget* bar = nullptr;
    QWidget* panel = nullptr;
    QTreeWidget* tree = nullptr;

    void SetUp() override;
    void TearDown() override;

    // A server line through the dispatcher, then the pending events.
    void feed(const std::string& line);
    // Joins a channel and gives back its window.
    WindowRecord* join(const std::string& channel);
    // Leaves a channel and closes its window when the part left it open.
    void leave(const std::string& channel);
    // Types a line into the status window's editbox and presses Enter; the
    // lines the status window printed for it.
    std::string type(const std::string& line);
    // Clicks the left button on a window's switchbar button.
    void click_button(WindowRecord* rec, Qt::KeyboardModifiers mods = Qt::NoModifier);

public:
    // Delivers pending events.
    static void pump();
};

// Closes every window and frees every connection.
void bar_test_clear_windows();

#define KEST_TEST_WIDGETS
#include <gtest/gtest.h>

#include <QWidget>

#include "display/bar_windows.h"
#include "support/test_support.h"

TEST(BarWindows, KeptPerBarAndForgottenWhenDestroyed)
{
    test_app();
    auto* tool = new QWidget;
    QWidget sw;
    bar_set_window(BAR_TOOLBAR, tool);
    bar_set_window(BAR_SWITCHBAR, &sw);
    EXPECT_EQ(bar_window(BAR_TOOLBAR), tool);
    EXPECT_EQ(bar_window(BAR_SWITCHBAR), &sw);
    EXPECT_EQ(bar_window(BAR_TREEBAR), nullptr);
    delete tool;
    EXPECT_EQ(bar_window(BAR_TOOLBAR), nullptr);
    bar_set_window(BAR_SWITCHBAR, nullptr);
    EXPECT_EQ(bar_window(BAR_SWITCHBAR), nullptr);
}

TEST(BarWindows, NumbersOutOfRangeHoldNothing)
{
    test_app();
    QWidget w;
    for (int bar : {-1, int(BAR_COUNT), 1000}) {
        bar_set_window(bar, &w);
        EXPECT_EQ(bar_window(bar), nullptr) << bar;
    }
    for (int bar = 0; bar < BAR_COUNT; ++bar)
        EXPECT_NE(bar_window(bar), &w) << bar;
}

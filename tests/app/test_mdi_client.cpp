// The MDI client's background: painted through the hook while the area
// lives, and a frame closed with its area leaves nothing that reaches the
// hooks or the area afterwards; another frame's area takes over.
#include <gtest/gtest.h>

#include <QMainWindow>
#include <QMdiArea>
#include <QPainter>
#include <QPointer>
#include <QTest>

#include "app/child_widgets.h"
#include "app/mdi_client.h"
#define KEST_TEST_WIDGETS
#include "support/hook_guard.h"
#include "support/test_support.h"

namespace {

int g_paints = 0;
QWidget* g_painted_area = nullptr;
int g_popups = 0;

int count_paint(QPainter&, QWidget* mdi)
{
    ++g_paints;
    g_painted_area = mdi;
    return 0;
}

void count_popup(const QPoint&) { ++g_popups; }

TEST(MdiClient, FrameClosedTwiceOverLeavesTheHooksAlone)
{
    HookGuard hooks;
    test_app();
    child_hooks.mdi_paint_background = count_paint;
    child_hooks.mdi_background_popup = count_popup;
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        QPointer<QMainWindow> frame = new QMainWindow();
        auto* area = new QMdiArea(frame);
        frame->setCentralWidget(area);
        frame->resize(400, 300);
        ASSERT_EQ(mdi_client_create(area), area);
        frame->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(frame));
        g_paints = 0;
        g_painted_area = nullptr;
        area->viewport()->repaint();
        EXPECT_GE(g_paints, 1);
        EXPECT_EQ(g_painted_area, area);
        // Only the right button's release opens the background menu.
        g_popups = 0;
        QTest::mouseClick(area->viewport(), Qt::LeftButton);
        EXPECT_EQ(g_popups, 0);
        QTest::mouseClick(area->viewport(), Qt::RightButton);
        EXPECT_EQ(g_popups, 1);
        // The frame goes with its area and every child window.
        g_paints = 0;
        g_popups = 0;
        delete frame.data();
        test_drain_events();
        EXPECT_EQ(mdi_client(), nullptr);
        EXPECT_EQ(g_paints, 0);
        EXPECT_EQ(g_popups, 0);
    }
}

}  // namespace

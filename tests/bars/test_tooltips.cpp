#define KEST_TEST_WIDGETS
#include <gtest/gtest.h>

#include <QApplication>
#include <QCursor>
#include <QPointer>
#include <QTest>
#include <QWidget>
#include <QWindow>

#include <string>

#include "app/bar_docking.h"
#include "display/bar_windows.h"
#include "app/bar_tooltips.h"
#include "core/options.h"
#include "support/test_support.h"

namespace {

// A shown, active window holding a stand-in switchbar, and the tip's
// history cleared.
class TipFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        test_app();
        options_reset();
        tooltip_show("", 0, 99);  // no owner kind: clears the history
        top = new QWidget;
        top->resize(600, 300);
        bar = new QWidget(top);
        bar->setGeometry(0, 0, 600, 40);
        other = new QWidget(top);
        other->setGeometry(0, 100, 600, 100);
        bar_set_window(BAR_SWITCHBAR, bar);
        top->show();
        top->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(top));
    }
    void TearDown() override
    {
        tooltip_destroy();
        bar_set_window(BAR_SWITCHBAR, nullptr);
        delete top;
        options_reset();
        test_drain_events();
    }
    // Waits until the tip shows; the bound only stops a stuck test.
    bool wait_shown(int ms = 30000) { return QTest::qWaitFor([] { return tooltip_visible(); }, ms); }

    QPointer<QWidget> top;
    QWidget* bar = nullptr;
    QWidget* other = nullptr;
};

}  // namespace

TEST(TooltipText, LongTextsAreCutAndPlainCodesTidied)
{
    const std::string a255(255, 'a'), a256(256, 'a');
    const struct {
        const char* what;
        std::string in, out;
    } cases[] = {
        {"short", "Connect", "Connect"},
        {"one character", "x", "x"},
        {"exactly 256", a256, a256},
        {"257", a256 + "b", a256 + "..."},
        {"300", std::string(300, 'z'), std::string(256, 'z') + "..."},
        {"past the request limit", std::string(9000, 'q'), std::string(256, 'q') + "..."},
        {"no half character at the cut", a255 + "\xC3\xA9" + "tail", a255 + "..."},
        {"plain runs at the ends and inside", "\x0f\x0f" "ab\x0f\x0f\x0f" "cd\x0f", "ab\x0f" "cd"},
        {"only plain codes", "\x0f\x0f\x0f", ""},
        {"other codes kept", "\x02" "bold\x02 \x03" "4red", "\x02" "bold\x02 \x03" "4red"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(tooltip_prepare_text(c.in), c.out) << c.what;
}

TEST(TooltipPlace, TheTipOpensAwayFromTheOwnersSideAndStaysOnTheWorkArea)
{
    // Cursor (500, 400), tip 80 x 20, work area 0..1000.
    const struct {
        int side, x, y;
    } cases[] = {
        {DOCK_RIGHT, 500 - 80 - 10, 405},
        {DOCK_LEFT, 515, 405},
        {DOCK_TOP, 510, 400 + 20 + 5},
        {DOCK_BOTTOM, 510, 400 - 20 - 5},
        {-1, 510, 425},  // not a bar: as at the top
    };
    for (const auto& c : cases) {
        int x = 0, y = 0;
        tooltip_place(c.side, 500, 400, 80, 20, 0, 1000, &x, &y);
        EXPECT_EQ(x, c.x) << c.side;
        EXPECT_EQ(y, c.y) << c.side;
    }
    int x = 0, y = 0;
    tooltip_place(DOCK_TOP, 990, 10, 80, 20, 0, 1000, &x, &y);
    EXPECT_EQ(x, 1000 - 80);
    tooltip_place(DOCK_RIGHT, 30, 10, 80, 20, 0, 1000, &x, &y);
    EXPECT_EQ(x, 0);
}

TEST_F(TipFixture, TheFirstTipWaitsLongerThanTheNextOnesAndARepeatChangesNothing)
{
    EXPECT_EQ(tooltip_show("first button", 1, TOOLTIP_OWNER_SWITCHBAR), 500);
    ASSERT_NE(tooltip_window(), nullptr);
    EXPECT_FALSE(tooltip_visible());
    EXPECT_EQ(tooltip_owner(), bar);
    EXPECT_EQ(tooltip_item_key(), 1);
    EXPECT_EQ(tooltip_window()->objectName(), "Kest_ToolTip");
    // The same request again while it is pending: nothing moves.
    EXPECT_EQ(tooltip_show("first button", 1, TOOLTIP_OWNER_SWITCHBAR), 0);
    EXPECT_EQ(tooltip_countdown(), 500);
    // The next button soon after: 100 milliseconds.
    EXPECT_EQ(tooltip_show("second button", 2, TOOLTIP_OWNER_SWITCHBAR), 100);
    EXPECT_EQ(tooltip_item_key(), 2);
    EXPECT_EQ(tooltip_text(), "second button");
    // A window owner keeps the history; coming back to the bar from another
    // owner starts it again.
    EXPECT_EQ(tooltip_show("a tree item", 7, TOOLTIP_OWNER_WINDOW, other), 100);
    EXPECT_EQ(tooltip_owner(), other);
    EXPECT_EQ(tooltip_show("second button", 2, TOOLTIP_OWNER_SWITCHBAR), 500);
    EXPECT_EQ(tooltip_owner(), bar);
}

TEST_F(TipFixture, AfterAPauseOfMoreThanASecondTheDelayIsLongAgain)
{
    EXPECT_EQ(tooltip_show("one", 1, TOOLTIP_OWNER_SWITCHBAR), 500);
    tooltip_destroy();
    QTest::qWait(1100);
    EXPECT_EQ(tooltip_show("two", 2, TOOLTIP_OWNER_SWITCHBAR), 500);
}

TEST_F(TipFixture, EmptyTextsOtherKindsAndMissingOwnersLeaveNoTip)
{
    const struct {
        const char* what;
        std::string text;
        int kind;
        QWidget* window;
    } cases[] = {
        {"empty text", "", TOOLTIP_OWNER_SWITCHBAR, nullptr},
        {"only plain codes", "\x0f\x0f", TOOLTIP_OWNER_SWITCHBAR, nullptr},
        {"unknown kind", "text", 3, nullptr},
        {"negative kind", "text", -1, nullptr},
        {"toolbar not made", "text", TOOLTIP_OWNER_TOOLBAR, nullptr},
        {"no window for kind 2", "text", TOOLTIP_OWNER_WINDOW, nullptr},
    };
    for (const auto& c : cases) {
        ASSERT_GT(tooltip_show("ready", 1, TOOLTIP_OWNER_SWITCHBAR), 0) << c.what;
        ASSERT_NE(tooltip_window(), nullptr);
        EXPECT_EQ(tooltip_show(c.text, 5, c.kind, c.window), 0) << c.what;
        EXPECT_EQ(tooltip_window(), nullptr) << c.what;
        EXPECT_EQ(tooltip_owner(), nullptr) << c.what;
        EXPECT_EQ(tooltip_item_key(), -1) << c.what;
    }
}

TEST_F(TipFixture, TheTipShowsBesideTheRestingMouseAndOpensLeftForARightSideBar)
{
    const QPoint at = bar->mapToGlobal(QPoint(300, 20));
    QCursor::setPos(at);
    QTest::mouseMove(top->windowHandle(), top->mapFromGlobal(at));
    if (QCursor::pos() != at)
        GTEST_SKIP() << "the platform does not move the cursor";

    dock_set_bar_side(BAR_SWITCHBAR, DOCK_TOP);
    ASSERT_EQ(tooltip_show("\x02" "#kest\x02 12 users", 1, TOOLTIP_OWNER_SWITCHBAR), 500);
    ASSERT_TRUE(wait_shown());
    QWidget* tip = tooltip_window();
    EXPECT_EQ(tip->pos(), QPoint(at.x() + 10, at.y() + tip->height() + 5));
    EXPECT_GT(tip->width(), 6);

    // A tip for the same item and text while it shows changes nothing.
    EXPECT_EQ(tooltip_show("\x02" "#kest\x02 12 users", 1, TOOLTIP_OWNER_SWITCHBAR), 0);
    EXPECT_TRUE(tooltip_visible());

    dock_set_bar_side(BAR_SWITCHBAR, DOCK_RIGHT);
    ASSERT_EQ(tooltip_show("#other", 2, TOOLTIP_OWNER_SWITCHBAR), 100);
    tooltip_hide();
    ASSERT_TRUE(wait_shown());
    tip = tooltip_window();
    EXPECT_EQ(tip->pos(), QPoint(at.x() - tip->width() - 10, at.y() + 5));
}

TEST_F(TipFixture, APressedButtonOrAMouseOutsideTheOwnerRemovesTheTipAtTheNextTick)
{
    const QPoint at = bar->mapToGlobal(QPoint(100, 20));
    QCursor::setPos(at);
    QTest::mouseMove(top->windowHandle(), top->mapFromGlobal(at));
    if (QCursor::pos() != at)
        GTEST_SKIP() << "the platform does not move the cursor";

    ASSERT_GT(tooltip_show("tip", 1, TOOLTIP_OWNER_SWITCHBAR), 0);
    ASSERT_TRUE(wait_shown());
    QTest::mousePress(top->windowHandle(), Qt::LeftButton, {}, top->mapFromGlobal(at));
    EXPECT_TRUE(QTest::qWaitFor([] { return tooltip_window() == nullptr; }, 30000));
    QTest::mouseRelease(top->windowHandle(), Qt::LeftButton, {}, top->mapFromGlobal(at));

    // Over another widget than the owner: gone, and not shown first.
    const QPoint away = other->mapToGlobal(QPoint(50, 50));
    QCursor::setPos(away);
    QTest::mouseMove(top->windowHandle(), top->mapFromGlobal(away));
    ASSERT_GT(tooltip_show("tip", 1, TOOLTIP_OWNER_SWITCHBAR), 0);
    EXPECT_TRUE(QTest::qWaitFor([] { return tooltip_window() == nullptr; }, 30000));
    EXPECT_FALSE(tooltip_visible());
}

TEST_F(TipFixture, AMovingMouseHoldsTheTipBackUntilItRests)
{
    QPoint at = bar->mapToGlobal(QPoint(100, 20));
    QCursor::setPos(at);
    if (QCursor::pos() != at)
        GTEST_SKIP() << "the platform does not move the cursor";
    ASSERT_EQ(tooltip_show("tip", 1, TOOLTIP_OWNER_SWITCHBAR), 500);
    // The tip's ticks are run by hand, with no event loop between them, so a
    // slow machine cannot fit two ticks between two moves. Moving along the
    // bar for twice the delay:
    for (int i = 0; i < 10; ++i) {
        at += QPoint(10, 0);
        QCursor::setPos(at);
        tooltip_tick();
        EXPECT_FALSE(tooltip_visible()) << i;
    }
    // At rest: the next tick finds the mouse where the last one saw it and
    // shows the tip.
    tooltip_tick();
    EXPECT_TRUE(tooltip_visible()) << "buttons " << int(QGuiApplication::mouseButtons()) << ", active "
                                   << (QApplication::activeWindow() == top.data()) << ", under the mouse "
                                   << (QApplication::widgetAt(QCursor::pos()) == bar);
}

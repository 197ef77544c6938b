#define KEST_TEST_WIDGETS
#include <gtest/gtest.h>

#include <QApplication>
#include <QGuiApplication>
#include <QImage>
#include <QMainWindow>
#include <QMouseEvent>
#include <QPainter>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPointer>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>
#include <vector>

#include "app/frame_layout.h"
#include "app/mdi_client.h"
#include "app/startup.h"
#include "app/bar_docking.h"
#include "bars/switchbar.h"
#include "display/bar_windows.h"
#include "core/ini.h"
#include "core/main_settings.h"
#include "core/options.h"
#include "support/hook_guard.h"
#include "support/test_support.h"

namespace {

// Changes at the start and end of each test: steps queued for a drag of an
// earlier test are dropped.
int g_test_epoch = 0;

// A bar as the bars' own code makes it: a plain widget with a size of its
// own (the toolbar's thickness comes from it).
class StandInBar : public QWidget {
public:
    QSize sizeHint() const override { return QSize(30, 26); }
};

// A shown frame with its MDI client, made the program's frame, and the bars
// registered as stand-ins on demand. Options start at their defaults.
class DockFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        test_app();
        ++g_test_epoch;
        options_reset();
        saved_frame = frame_window;
        saved_mdi = mdi_client();
        frame = new QMainWindow;
        frame->setObjectName("Kest");
        area = new QMdiArea(frame);
        frame->setCentralWidget(area);
        frame->resize(900, 600);
        mdi_client_create(area);
        frame_window = frame;
        frame->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(frame));
        // Settle the activation before any drag: losing it ends a drag.
        frame->activateWindow();
        (void)QTest::qWaitForWindowActive(frame);
        test_drain_events();
        for (int b = 0; b < BAR_COUNT; ++b)
            bar_set_window(b, nullptr);
    }
    void TearDown() override
    {
        ++g_test_epoch;
        // A drag ended by a key or by the focus leaves the button down.
        if (QGuiApplication::mouseButtons() != Qt::NoButton && frame && frame->windowHandle())
            QTest::mouseRelease(frame->windowHandle(), Qt::LeftButton);
        for (int b = 0; b < BAR_COUNT; ++b) {
            bar_set_window(b, nullptr);
            delete bars[b];
        }
        frame_window = saved_frame;
        delete frame;
        if (saved_mdi)
            mdi_client_create(saved_mdi);
        options_reset();
        test_drain_events();
    }
    QWidget* add_bar(int bar)
    {
        bars[bar] = new StandInBar;
        bar_set_window(bar, bars[bar]);
        return bars[bar];
    }
    // Only the given bars are shown.
    void show_only(std::initializer_list<int> shown)
    {
        opt_set(OPT_TOOLBAR_SHOWN, 0);
        opt_set(OPT_SWITCHBAR_SHOWN, 0);
        opt_set(OPT_TREEBAR_SHOWN, 0);
        for (int b : shown) {
            if (!bars[b])
                add_bar(b);
            opt_set(b == BAR_TOOLBAR ? OPT_TOOLBAR_SHOWN : b == BAR_SWITCHBAR ? OPT_SWITCHBAR_SHOWN : OPT_TREEBAR_SHOWN,
                    1);
        }
    }
    // The client area the bars and the MDI client share.
    QRect whole() const { return area->contentsRect(); }
    QRect client() const { return area->viewport()->geometry(); }

    HookGuard guard;
    QPointer<QMainWindow> saved_frame;
    QPointer<QMdiArea> saved_mdi;
    QPointer<QMainWindow> frame;
    QMdiArea* area = nullptr;
    QPointer<QWidget> bars[BAR_COUNT];
};

// A toolbar that wraps its buttons into more rows when it is narrow.
class WrappingBar : public QWidget {
public:
    QSize sizeHint() const override
    {
        const int rows = width() >= 600 ? 1 : width() >= 300 ? 2 : 3;
        return QSize(30, 26 * rows);
    }
};

int thickness_of(int bar, int side)
{
    const bool across = side == DOCK_TOP || side == DOCK_BOTTOM;
    if (bar == BAR_TOOLBAR)
        return across ? 26 : 30;
    if (bar == BAR_SWITCHBAR)
        return across ? dock_switchbar_height() : dock_switchbar_width();
    return across ? dock_treebar_height() : dock_treebar_width();
}

}  // namespace

// ---- Placement by side ----

TEST_F(DockFixture, EachSidePlacesTheBarOnThatEdgeAndTheClientShrinksByItsThickness)
{
    for (int bar = 0; bar < BAR_COUNT; ++bar) {
        for (int side = DOCK_BOTTOM; side <= DOCK_RIGHT; ++side) {
            SCOPED_TRACE(testing::Message() << "bar " << bar << " side " << side);
            show_only({bar});
            ASSERT_TRUE(dock_set_bar_side(bar, side));
            frame_layout();
            const QRect all = whole();
            const QRect r = bars[bar]->geometry();
            const int t = thickness_of(bar, side);
            EXPECT_TRUE(bars[bar]->isVisible());
            EXPECT_EQ(bars[bar]->parentWidget(), area);
            QRect want_bar = all, want_client = all;
            switch (side) {
            case DOCK_BOTTOM:
                want_bar.setTop(all.bottom() - t + 1);
                want_client.setBottom(all.bottom() - t);
                break;
            case DOCK_TOP:
                want_bar.setHeight(t);
                want_client.setTop(all.top() + t);
                break;
            case DOCK_LEFT:
                want_bar.setWidth(t);
                want_client.setLeft(all.left() + t);
                break;
            default:
                want_bar.setLeft(all.right() - t + 1);
                want_client.setRight(all.right() - t);
                break;
            }
            EXPECT_EQ(r, want_bar);
            EXPECT_EQ(client(), want_client);
            EXPECT_FALSE(client().intersects(r));
        }
    }
}

// A switchbar that finds it needs another row once it has its width, as the
// real one does when its buttons no longer fit: it asks for a layout from
// inside the layout that resized it.
class RowFindingBar : public QWidget {
protected:
    void resizeEvent(QResizeEvent*) override
    {
        if (switchbar_extra_rows() == 0) {
            switchbar_set_extra_rows(1);
            frame_layout();
        }
    }
};

TEST_F(DockFixture, ABarThatGrowsWhilePlacedGetsItsNewThicknessAndCoversNoChild)
{
    switchbar_set_extra_rows(0);
    bars[BAR_SWITCHBAR] = new RowFindingBar;
    bar_set_window(BAR_SWITCHBAR, bars[BAR_SWITCHBAR]);
    show_only({BAR_SWITCHBAR});
    for (int side : {DOCK_BOTTOM, DOCK_TOP}) {
        SCOPED_TRACE(side);
        switchbar_set_extra_rows(0);
        ASSERT_TRUE(dock_set_bar_side(BAR_SWITCHBAR, side));
        for (int round = 0; round < 2; ++round) {  // again: nothing moves
            SCOPED_TRACE(round);
            frame_layout();
            ASSERT_EQ(switchbar_extra_rows(), 1);
            const QRect r = bars[BAR_SWITCHBAR]->geometry();
            EXPECT_EQ(r.height(), dock_switchbar_height());
            EXPECT_FALSE(client().intersects(r)) << "the bar lies over the child windows";
            EXPECT_EQ(client().height() + r.height(), whole().height());
        }
    }
    switchbar_set_extra_rows(0);
}

TEST_F(DockFixture, HidingABarGivesTheAreaBackAndShowingItTakesTheSameStripAgain)
{
    show_only({BAR_SWITCHBAR, BAR_TREEBAR});
    dock_set_bar_side(BAR_SWITCHBAR, DOCK_TOP);
    dock_set_bar_side(BAR_TREEBAR, DOCK_LEFT);
    frame_layout();
    const QRect with_both = client();
    const QRect sw_rect = bars[BAR_SWITCHBAR]->geometry();
    ASSERT_LT(with_both.height(), whole().height());

    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        opt_set(OPT_SWITCHBAR_SHOWN, 0);
        frame_layout();
        EXPECT_FALSE(bars[BAR_SWITCHBAR]->isVisible());
        EXPECT_EQ(client().top(), whole().top());
        EXPECT_EQ(client().left(), with_both.left());  // the treebar keeps its strip
        EXPECT_EQ(dock_bars_shown(), 1);
        opt_set(OPT_SWITCHBAR_SHOWN, 1);
        frame_layout();
        EXPECT_EQ(client(), with_both);
        EXPECT_EQ(bars[BAR_SWITCHBAR]->geometry(), sw_rect);
    }
    // Both off: the MDI client has everything, and the frame no longer
    // counts any bar as shown.
    opt_set(OPT_SWITCHBAR_SHOWN, 0);
    opt_set(OPT_TREEBAR_SHOWN, 0);
    frame_layout();
    EXPECT_EQ(client(), whole());
    EXPECT_EQ(dock_bars_shown(), 0);
}

TEST_F(DockFixture, ABarFollowsTheFrameWhenItIsResized)
{
    show_only({BAR_SWITCHBAR});
    dock_set_bar_side(BAR_SWITCHBAR, DOCK_BOTTOM);
    frame_layout();
    frame->resize(700, 500);
    test_drain_events();
    EXPECT_EQ(bars[BAR_SWITCHBAR]->geometry().bottom(), whole().bottom());
    EXPECT_EQ(bars[BAR_SWITCHBAR]->width(), whole().width());
    EXPECT_EQ(client().bottom(), whole().bottom() - dock_switchbar_height());
}

// A child window that reaches past the right edge brings the area's
// horizontal scroll bar, which takes its strip below the bars; when the child
// comes back the scroll bar goes, and the bottom bar must move down to the
// edge again instead of keeping the scroll bar's strip (and the treebar its
// shortened height).
TEST_F(DockFixture, AScrollBarThatComesAndGoesLeavesTheBarsAgainstTheEdge)
{
    show_only({BAR_SWITCHBAR, BAR_TREEBAR});
    dock_set_bar_side(BAR_SWITCHBAR, DOCK_BOTTOM);
    dock_set_bar_side(BAR_TREEBAR, DOCK_LEFT);
    frame_layout();
    test_drain_events();
    auto* child = area->addSubWindow(new QWidget);
    child->resize(200, 150);
    child->move(10, 10);
    child->show();
    test_drain_events();
    ASSERT_FALSE(area->horizontalScrollBar()->isVisible());
    const QRect sw_rect = bars[BAR_SWITCHBAR]->geometry();
    const QRect tree_rect = bars[BAR_TREEBAR]->geometry();
    ASSERT_EQ(sw_rect.bottom(), whole().bottom());

    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        child->move(client().width() + 100, 10);
        test_drain_events();
        ASSERT_TRUE(area->horizontalScrollBar()->isVisible());
        // Above the scroll bar, not over it.
        EXPECT_LE(bars[BAR_SWITCHBAR]->geometry().bottom(), area->horizontalScrollBar()->mapTo(area, QPoint(0, 0)).y());
        child->move(10, 10);
        test_drain_events();
        ASSERT_FALSE(area->horizontalScrollBar()->isVisible());
        EXPECT_EQ(bars[BAR_SWITCHBAR]->geometry(), sw_rect);
        EXPECT_EQ(bars[BAR_TREEBAR]->geometry(), tree_rect);
        EXPECT_EQ(client().bottom(), whole().bottom() - dock_switchbar_height());
    }
    delete child;
}

TEST(DockLayout, BarsAreCarvedInTheFramesOrderWithoutOverlapping)
{
    const QRect area(0, 0, 800, 600);
    struct Case {
        const char* what;
        int tool_side, sw_side, tree_side;
        QRect tool, sw, tree;
    };
    // Thicknesses: toolbar 20, switchbar 30, treebar 100.
    const Case cases[] = {
        {"all default", DOCK_TOP, DOCK_TOP, DOCK_LEFT, QRect(0, 0, 800, 20), QRect(0, 20, 800, 30),
         QRect(0, 50, 100, 550)},
        {"toolbar at a side: the treebar at a side comes before the switchbar across", DOCK_LEFT, DOCK_BOTTOM, DOCK_RIGHT,
         QRect(0, 0, 20, 600), QRect(20, 570, 680, 30), QRect(700, 0, 100, 600)},
        {"switchbar at a side before a treebar across", DOCK_BOTTOM, DOCK_RIGHT, DOCK_TOP, QRect(0, 580, 800, 20),
         QRect(770, 0, 30, 580), QRect(0, 0, 770, 100)},
        {"treebar at a side after an early switchbar", DOCK_TOP, DOCK_BOTTOM, DOCK_RIGHT, QRect(0, 0, 800, 20),
         QRect(0, 570, 800, 30), QRect(700, 20, 100, 550)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        DockBarInput in[3];
        in[BAR_TOOLBAR] = {1, c.tool_side, 20};
        in[BAR_SWITCHBAR] = {1, c.sw_side, 30};
        in[BAR_TREEBAR] = {1, c.tree_side, 100};
        const DockLayout lay = dock_compute_layout(area, in, 0);
        EXPECT_EQ(lay.bar[BAR_TOOLBAR], c.tool);
        EXPECT_EQ(lay.bar[BAR_SWITCHBAR], c.sw);
        EXPECT_EQ(lay.bar[BAR_TREEBAR], c.tree);
        long covered = static_cast<long>(lay.client.width()) * lay.client.height();
        for (int a = 0; a < 3; ++a) {
            covered += static_cast<long>(lay.bar[a].width()) * lay.bar[a].height();
            EXPECT_FALSE(lay.bar[a].intersects(lay.client)) << a;
            for (int b = a + 1; b < 3; ++b)
                EXPECT_FALSE(lay.bar[a].intersects(lay.bar[b])) << a << " " << b;
        }
        EXPECT_EQ(covered, 800L * 600L);
    }
}

TEST(DockLayout, AbsentBarsTakeNothingAndOversizedBarsStopAtTheArea)
{
    const QRect area(0, 0, 300, 200);
    DockBarInput in[3];
    in[BAR_TREEBAR] = {1, DOCK_LEFT, 500};
    in[BAR_SWITCHBAR] = {0, DOCK_TOP, 30};
    const DockLayout lay = dock_compute_layout(area, in, 0);
    EXPECT_TRUE(lay.bar[BAR_SWITCHBAR].isNull());
    EXPECT_TRUE(lay.bar[BAR_TOOLBAR].isNull());
    EXPECT_EQ(lay.bar[BAR_TREEBAR], area);
    EXPECT_TRUE(lay.client.isEmpty());
    // Compact mode: the treebar takes the whole area and nothing is left.
    in[BAR_SWITCHBAR].present = 1;
    const DockLayout compact = dock_compute_layout(area, in, 1);
    EXPECT_EQ(compact.bar[BAR_TREEBAR], area);
    EXPECT_TRUE(compact.bar[BAR_SWITCHBAR].isNull());
}

// ---- Stored sides ----

TEST(DockSides, TheToolbarsOwnNumberingSwapsTopAndBottomOnly)
{
    const struct {
        int side, own;
    } cases[] = {{DOCK_BOTTOM, 1}, {DOCK_TOP, 0}, {DOCK_LEFT, 2}, {DOCK_RIGHT, 3}, {-1, -1}, {4, -1}, {1000, -1}};
    for (const auto& c : cases) {
        EXPECT_EQ(dock_toolbar_own_side(c.side), c.own) << c.side;
        if (c.own >= 0) {
            EXPECT_EQ(dock_toolbar_own_side(dock_toolbar_own_side(c.side)), c.side) << c.side;
        }
    }
    // A new user's toolbar is at the top in both numberings.
    test_app();
    options_reset();
    EXPECT_EQ(dock_bar_side(BAR_TOOLBAR), DOCK_TOP);
    EXPECT_EQ(dock_toolbar_own_side(dock_bar_side(BAR_TOOLBAR)), 0);
}

TEST(DockSides, ASideOutsideTheFourIsRefusedAndAStoredOneFallsBackToTheBarsDefault)
{
    test_app();
    options_reset();
    for (int bad : {-1, 4, 255}) {
        EXPECT_EQ(dock_set_bar_side(BAR_SWITCHBAR, bad), 0);
        EXPECT_EQ(dock_bar_side(BAR_SWITCHBAR), DOCK_TOP);
    }
    EXPECT_EQ(dock_set_bar_side(BAR_COUNT, DOCK_LEFT), 0);
    EXPECT_EQ(dock_bar_side(-1), -1);
    // Values that came in as they stood (the switchbar's side has no load
    // rule of its own).
    const struct {
        int bar;
        OptionId id;
        int stored, want;
    } cases[] = {{BAR_SWITCHBAR, OPT_SWITCHBAR_SIDE, 9, DOCK_TOP},
                 {BAR_TOOLBAR, OPT_TOOLBAR_SIDE, -3, DOCK_TOP},
                 {BAR_TREEBAR, OPT_TREEBAR_SIDE, 4, DOCK_LEFT},
                 {BAR_TREEBAR, OPT_TREEBAR_SIDE, DOCK_RIGHT, DOCK_RIGHT}};
    for (const auto& c : cases) {
        opt_set(c.id, c.stored);
        EXPECT_EQ(dock_bar_side(c.bar), c.want) << c.bar << " " << c.stored;
    }
    options_reset();
}

TEST(DockSides, SidesAndSizesSurviveARestartAndBadValuesInTheFileFallBack)
{
    test_app();
    TempSettingsDir dir("kest_dock_");
    ASSERT_TRUE(dir.made());
    options_reset();
    dock_set_bar_side(BAR_TOOLBAR, DOCK_BOTTOM);
    dock_set_bar_side(BAR_SWITCHBAR, DOCK_RIGHT);
    dock_set_bar_side(BAR_TREEBAR, DOCK_TOP);
    opt_set(OPT_SWITCHBAR_WIDTH, 200);
    opt_set(OPT_N8_22, 77);
    ini_save_options();
    options_reset();
    ASSERT_EQ(dock_bar_side(BAR_SWITCHBAR), DOCK_TOP);
    options_load();
    EXPECT_EQ(dock_bar_side(BAR_TOOLBAR), DOCK_BOTTOM);
    EXPECT_EQ(dock_bar_side(BAR_SWITCHBAR), DOCK_RIGHT);
    EXPECT_EQ(dock_bar_side(BAR_TREEBAR), DOCK_TOP);
    EXPECT_EQ(dock_switchbar_width(), 200);
    EXPECT_EQ(dock_treebar_height(), 77);

    // A hand-edited file with sides and sizes out of range.
    auto set_field = [&](const char* key, int pos, const char* value) {
        std::string line;
        ini_read("options", key, "", line, 4096, main_ini_path);
        std::vector<std::string> f;
        std::size_t start = 0;
        for (;;) {
            const std::size_t comma = line.find(',', start);
            f.push_back(line.substr(start, comma - start));
            if (comma == std::string::npos)
                break;
            start = comma + 1;
        }
        ASSERT_GT(f.size(), static_cast<std::size_t>(pos));
        f[pos] = value;
        std::string out;
        for (std::size_t i = 0; i < f.size(); ++i)
            out += (i ? "," : "") + f[i];
        ini_write("options", key, out.c_str(), main_ini_path);
    };
    set_field("n4", 20, "7");     // switchbar side
    set_field("n8", 0, "12");     // toolbar side
    set_field("n8", 1, "-2");     // treebar side
    set_field("n5", 31, "9000");  // switchbar width
    set_field("n8", 22, "5");     // treebar height
    options_reset();
    options_load();
    EXPECT_EQ(dock_bar_side(BAR_SWITCHBAR), DOCK_TOP);
    EXPECT_EQ(dock_bar_side(BAR_TOOLBAR), DOCK_TOP);
    EXPECT_EQ(dock_bar_side(BAR_TREEBAR), DOCK_LEFT);
    EXPECT_EQ(dock_switchbar_width(), 115);
    EXPECT_EQ(dock_treebar_height(), 168);
    options_reset();
}

TEST_F(DockFixture, AnInvalidStoredSidePlacesTheBarOnItsDefaultSide)
{
    show_only({BAR_SWITCHBAR});
    opt_set(OPT_SWITCHBAR_SIDE, 42);
    frame_layout();
    EXPECT_EQ(bars[BAR_SWITCHBAR]->geometry().top(), whole().top());
    EXPECT_EQ(bars[BAR_SWITCHBAR]->width(), whole().width());
    EXPECT_EQ(client().top(), whole().top() + dock_switchbar_height());
}

// ---- Choosing a side ----

TEST(DockChooseSide, TheTrianglesOfTheAreaGiveTheSidesAndTheMiddleGivesNone)
{
    const QRect area(0, 0, 900, 600);
    const QRect bar(0, 0, 900, 29);  // a bar along the top
    const struct {
        QPoint p;
        int side;
    } cases[] = {
        {{450, 590}, DOCK_BOTTOM}, {{450, 100}, DOCK_TOP},    {{20, 300}, DOCK_LEFT},
        {{880, 300}, DOCK_RIGHT},  {{450, 300}, -1},          {{300, 200}, -1},  // middle third
        {{600, 400}, -1},          {{450, 10}, -1},                             // inside the bar
        {{-5, 300}, -1},           {{450, 700}, -1},                            // outside the area
        {{40000, 300}, -1},        {{100, 580}, DOCK_BOTTOM}, {{880, 40}, DOCK_RIGHT},
    };
    for (const auto& c : cases)
        EXPECT_EQ(dock_side_at(area, bar, c.p), c.side) << c.p.x() << "," << c.p.y();
}

// ---- Grips and edges ----

TEST_F(DockFixture, GripsAndEdgesLieWhereTheBarsAreGrabbedAndVanishWhenLocked)
{
    show_only({BAR_SWITCHBAR, BAR_TREEBAR, BAR_TOOLBAR});
    dock_set_bar_side(BAR_SWITCHBAR, DOCK_BOTTOM);
    frame_layout();
    QRect grip;
    ASSERT_TRUE(dock_grip_rect(BAR_SWITCHBAR, DOCK_BOTTOM, &grip));
    EXPECT_EQ(grip, QRect(QPoint(1, 6), QPoint(8, 29 - 4)));
    ASSERT_TRUE(dock_grip_rect(BAR_SWITCHBAR, DOCK_TOP, &grip));
    EXPECT_EQ(grip, QRect(QPoint(1, 4), QPoint(8, 29 - 6)));
    EXPECT_FALSE(dock_grip_rect(BAR_SWITCHBAR, 4, &grip));
    EXPECT_FALSE(dock_grip_rect(BAR_COUNT, DOCK_TOP, &grip));

    QRect edge;
    ASSERT_TRUE(dock_resize_edge_rect(BAR_SWITCHBAR, DOCK_BOTTOM, &edge));
    EXPECT_EQ(edge, QRect(0, 0, bars[BAR_SWITCHBAR]->width(), 4));
    ASSERT_TRUE(dock_resize_edge_rect(BAR_TREEBAR, DOCK_LEFT, &edge));
    EXPECT_EQ(edge.left(), bars[BAR_TREEBAR]->width() - 4);
    EXPECT_FALSE(dock_resize_edge_rect(BAR_TOOLBAR, DOCK_TOP, &edge));  // the toolbar has none
    EXPECT_TRUE(dock_point_on_grip(BAR_SWITCHBAR, DOCK_BOTTOM, QPoint(4, 10)));
    EXPECT_FALSE(dock_point_on_grip(BAR_SWITCHBAR, DOCK_BOTTOM, QPoint(20, 10)));

    EXPECT_EQ(dock_cursor_for_side(DOCK_TOP), Qt::SizeVerCursor);
    EXPECT_EQ(dock_cursor_for_side(DOCK_RIGHT), Qt::SizeHorCursor);
    EXPECT_EQ(dock_cursor_for_side(7), Qt::SizeAllCursor);

    dock_set_bars_locked(1);
    EXPECT_FALSE(dock_grip_rect(BAR_SWITCHBAR, DOCK_BOTTOM, &grip));
    EXPECT_FALSE(dock_resize_edge_rect(BAR_SWITCHBAR, DOCK_BOTTOM, &edge));
    EXPECT_FALSE(dock_point_on_grip(BAR_SWITCHBAR, DOCK_BOTTOM, QPoint(4, 10)));
    dock_set_bars_locked(0);
}

// ---- Dragging ----

namespace {

// Runs `steps` one after another from inside the drag's own loop; the
// steps left when the drag has ended are dropped.
struct DragSteps {
    std::vector<std::function<void()>> steps;
    std::size_t next = 0;
    int epoch = 0;
};

void drag_step(const std::shared_ptr<DragSteps>& s)
{
    if (s->next >= s->steps.size() || dock_drag_mode() == 0 || s->epoch != g_test_epoch)
        return;
    s->steps[s->next++]();
    QTimer::singleShot(10, qApp, [s] { drag_step(s); });
}

void during_drag(std::vector<std::function<void()>> steps)
{
    auto s = std::make_shared<DragSteps>();
    s->steps = std::move(steps);
    s->epoch = g_test_epoch;
    QTimer::singleShot(10, qApp, [s] { drag_step(s); });
}

}  // namespace

TEST_F(DockFixture, DraggingTheGripMovesTheBarToTheSideUnderTheMouse)
{
    show_only({BAR_SWITCHBAR});
    dock_set_bar_side(BAR_SWITCHBAR, DOCK_TOP);
    opt_set(OPT_SWITCHBAR_AUTO_ROWS, 1);
    frame_layout();
    QWidget* sw = bars[BAR_SWITCHBAR];
    const QPoint grip(4, 10);
    const QPoint bottom_of_area = area->mapToGlobal(QPoint(whole().center().x(), whole().bottom() - 5));
    during_drag({
        [&] { QTest::mouseMove(sw, sw->mapFromGlobal(bottom_of_area)); },
        // The bar jumps at once, before the button is let go.
        [&] { EXPECT_EQ(dock_bar_side(BAR_SWITCHBAR), DOCK_BOTTOM); },
        [&] { QTest::mouseRelease(sw, Qt::LeftButton, {}, sw->mapFromGlobal(bottom_of_area)); },
    });
    QTest::mousePress(sw, Qt::LeftButton, {}, grip);
    EXPECT_EQ(dock_drag_mode(), 0);
    EXPECT_EQ(dock_bar_side(BAR_SWITCHBAR), DOCK_BOTTOM);
    EXPECT_EQ(opt(OPT_SWITCHBAR_AUTO_ROWS), 0);  // every drag turns it off
    EXPECT_EQ(sw->geometry().bottom(), whole().bottom());
    EXPECT_EQ(client().top(), whole().top());
}

TEST_F(DockFixture, DroppingInTheMiddleOrPressingEscapeLeavesTheBarWhereItWas)
{
    show_only({BAR_SWITCHBAR});
    dock_set_bar_side(BAR_SWITCHBAR, DOCK_TOP);
    frame_layout();
    QWidget* sw = bars[BAR_SWITCHBAR];
    const QPoint middle = area->mapToGlobal(whole().center());
    during_drag({
        [&] { QTest::mouseMove(sw, sw->mapFromGlobal(middle)); },
        [&] { QTest::mouseRelease(sw, Qt::LeftButton, {}, sw->mapFromGlobal(middle)); },
    });
    QTest::mousePress(sw, Qt::LeftButton, {}, QPoint(4, 10));
    EXPECT_EQ(dock_bar_side(BAR_SWITCHBAR), DOCK_TOP);

    // Escape after the bar went to the right: back to the top.
    const QPoint right = area->mapToGlobal(QPoint(whole().right() - 5, whole().center().y()));
    during_drag({
        [&] { QTest::mouseMove(sw, sw->mapFromGlobal(right)); },
        [&] { EXPECT_EQ(dock_bar_side(BAR_SWITCHBAR), DOCK_RIGHT); },
        [&] { QTest::keyClick(sw, Qt::Key_Escape); },
    });
    QTest::mousePress(sw, Qt::LeftButton, {}, QPoint(4, 10));
    EXPECT_EQ(dock_drag_mode(), 0);
    EXPECT_EQ(dock_bar_side(BAR_SWITCHBAR), DOCK_TOP);
    EXPECT_EQ(sw->geometry().top(), whole().top());
    EXPECT_EQ(sw->width(), whole().width());
}

TEST_F(DockFixture, WithBarsLockedPressingTheGripStartsNoDrag)
{
    show_only({BAR_SWITCHBAR});
    dock_set_bar_side(BAR_SWITCHBAR, DOCK_TOP);
    dock_set_bars_locked(1);
    frame_layout();
    QWidget* sw = bars[BAR_SWITCHBAR];
    bool ran_inside = false;
    // Were a drag to start, this would end it from inside its loop.
    QTimer::singleShot(50, qApp, [&] {
        ran_inside = dock_drag_mode() != 0;
        QTest::keyClick(sw, Qt::Key_Escape);
    });
    const QRect before = sw->geometry();
    QTest::mousePress(sw, Qt::LeftButton, {}, QPoint(4, 10));
    QTest::mouseMove(sw, sw->mapFromGlobal(area->mapToGlobal(QPoint(450, 590))));
    QTest::mouseRelease(sw, Qt::LeftButton);
    QTest::qWait(80);
    EXPECT_FALSE(ran_inside);
    EXPECT_EQ(dock_bar_side(BAR_SWITCHBAR), DOCK_TOP);
    EXPECT_EQ(sw->geometry(), before);
}

// ---- Resizing ----

TEST_F(DockFixture, ResizingClampsToTheLimitsAndEscapePutsTheSizesBack)
{
    show_only({BAR_SWITCHBAR, BAR_TREEBAR});
    dock_set_bar_side(BAR_SWITCHBAR, DOCK_LEFT);
    dock_set_bar_side(BAR_TREEBAR, DOCK_RIGHT);
    opt_set(OPT_SWITCHBAR_WIDTH, 115);
    opt_set(OPT_TREEBAR_WIDTH, 168);
    frame_layout();
    QWidget* sw = bars[BAR_SWITCHBAR];
    QWidget* tree = bars[BAR_TREEBAR];

    // The switchbar's right edge dragged far left: 27 pixels, not 10.
    const QPoint edge_sw(sw->width() - 2, 100);
    during_drag({
        [&] { QTest::mouseMove(sw, QPoint(10 - 2, 100)); },
        [&] { QTest::mouseRelease(sw, Qt::LeftButton, {}, QPoint(10 - 2, 100)); },
    });
    QTest::mousePress(sw, Qt::LeftButton, {}, edge_sw);
    EXPECT_EQ(dock_switchbar_width(), kSwitchbarWidthMin);
    EXPECT_EQ(sw->width(), kSwitchbarWidthMin);
    EXPECT_EQ(client().left(), whole().left() + kSwitchbarWidthMin);

    // The treebar's left edge dragged 1,000 pixels out: 500.
    during_drag({
        [&] { QTest::mouseMove(tree, QPoint(2 - 1000, 100)); },
        [&] { QTest::mouseRelease(tree, Qt::LeftButton, {}, QPoint(2 - 1000, 100)); },
    });
    QTest::mousePress(tree, Qt::LeftButton, {}, QPoint(2, 100));
    EXPECT_EQ(dock_treebar_width(), kTreebarWidthMax);

    // Escape in the middle of a resize: the width in force at the start.
    opt_set(OPT_SWITCHBAR_WIDTH, 150);
    frame_layout();
    during_drag({
        [&] { QTest::mouseMove(sw, QPoint(148 + 60, 100)); },
        [&] { EXPECT_EQ(dock_switchbar_width(), 210); },
        [&] { QTest::keyClick(sw, Qt::Key_Escape); },
    });
    QTest::mousePress(sw, Qt::LeftButton, {}, QPoint(148, 100));
    EXPECT_EQ(dock_switchbar_width(), 150);
    EXPECT_EQ(sw->width(), 150);
}

TEST_F(DockFixture, ResizingTheSwitchbarAcrossAddsAndRemovesWholeRows)
{
    show_only({BAR_SWITCHBAR});
    dock_set_bar_side(BAR_SWITCHBAR, DOCK_TOP);
    opt_set(OPT_SWITCHBAR_ROWS, 0);
    frame_layout();
    QWidget* sw = bars[BAR_SWITCHBAR];
    ASSERT_EQ(sw->height(), 29);
    // Less than a row below the bottom: nothing; two full rows: two more.
    dock_resize(BAR_SWITCHBAR, QPoint(50, 27), 0);
    dock_resize(BAR_SWITCHBAR, QPoint(50, 29 + 20), 1);
    EXPECT_EQ(dock_switchbar_rows(), 0);
    dock_resize(BAR_SWITCHBAR, QPoint(50, 29 + 2 * 29 + 1), 1);
    EXPECT_EQ(dock_switchbar_rows(), 2);
    EXPECT_EQ(sw->height(), 29 * 3 - 2 * 2);
    // Far above the bottom: never fewer than none.
    dock_resize(BAR_SWITCHBAR, QPoint(50, -1000), 1);
    EXPECT_EQ(dock_switchbar_rows(), 0);
    // Far below: never more than nine.
    dock_resize(BAR_SWITCHBAR, QPoint(50, 29 * 40), 1);
    dock_resize(BAR_SWITCHBAR, QPoint(50, 29 * 40), 1);
    EXPECT_EQ(dock_switchbar_rows(), kSwitchbarRowsMax);
    // Phase 4 puts back what phase 0 saved.
    dock_resize(BAR_SWITCHBAR, QPoint(), 4);
    EXPECT_EQ(dock_switchbar_rows(), 0);
    EXPECT_EQ(sw->height(), 29);
}

TEST_F(DockFixture, LosingTheFocusDuringAMoveDropsTheBarWhereTheMouseLastWas)
{
    show_only({BAR_SWITCHBAR});
    dock_set_bar_side(BAR_SWITCHBAR, DOCK_TOP);
    frame_layout();
    frame->activateWindow();
    if (!QTest::qWaitForWindowActive(frame))
        GTEST_SKIP() << "the platform gives no active window";
    QWidget* sw = bars[BAR_SWITCHBAR];
    QWidget elsewhere;
    elsewhere.resize(100, 100);
    const QPoint left = area->mapToGlobal(QPoint(whole().left() + 5, whole().center().y()));
    during_drag({
        [&] { QTest::mouseMove(sw, sw->mapFromGlobal(left)); },
        [&] {
            elsewhere.show();
            elsewhere.activateWindow();
        },
        // Were the drag still running, this would end it at the top again.
        [&] { QTest::keyClick(sw, Qt::Key_Escape); },
    });
    QTest::mousePress(sw, Qt::LeftButton, {}, QPoint(4, 10));
    EXPECT_EQ(dock_drag_mode(), 0);
    EXPECT_EQ(dock_bar_side(BAR_SWITCHBAR), DOCK_LEFT);
    EXPECT_EQ(sw->geometry().left(), whole().left());
}

TEST_F(DockFixture, TheCursorShowsAMoveOverTheGripAndASizeOverTheEdgeOnly)
{
    show_only({BAR_SWITCHBAR});
    dock_set_bar_side(BAR_SWITCHBAR, DOCK_BOTTOM);
    frame_layout();
    QWidget* sw = bars[BAR_SWITCHBAR];
    const struct {
        QPoint p;
        bool set;
        Qt::CursorShape shape;
    } cases[] = {
        {QPoint(4, 12), true, Qt::SizeAllCursor},   // grip
        {QPoint(300, 1), true, Qt::SizeVerCursor},  // inner (top) edge
        {QPoint(300, 15), false, Qt::ArrowCursor},  // the bar's own part
        {QPoint(4, 12), true, Qt::SizeAllCursor},   // the grip again
    };
    for (const auto& c : cases) {
        QMouseEvent move(QEvent::MouseMove, QPointF(c.p), sw->mapToGlobal(QPointF(c.p)), Qt::NoButton,
                         Qt::NoButton, Qt::NoModifier);
        EXPECT_EQ(dock_mouse(BAR_SWITCHBAR, &move), c.set ? 1 : 0) << c.p.x() << "," << c.p.y();
        EXPECT_EQ(sw->testAttribute(Qt::WA_SetCursor), c.set);
        if (c.set) {
            EXPECT_EQ(sw->cursor().shape(), c.shape);
        }
    }
    // Another bar's number or a bar without a window takes nothing.
    QMouseEvent move(QEvent::MouseMove, QPointF(4, 12), sw->mapToGlobal(QPointF(4, 12)), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    EXPECT_EQ(dock_mouse(BAR_TOOLBAR, &move), 0);
    EXPECT_EQ(dock_mouse(BAR_COUNT, &move), 0);
}

TEST_F(DockFixture, TheGripIsDrawnInsideItsRectangleAndNotAtAllWhenLocked)
{
    show_only({BAR_SWITCHBAR, BAR_TREEBAR});
    dock_set_bar_side(BAR_SWITCHBAR, DOCK_BOTTOM);
    dock_set_bar_side(BAR_TREEBAR, DOCK_BOTTOM);  // drawn as a strip at the top
    frame_layout();
    for (int bar : {BAR_SWITCHBAR, BAR_TREEBAR}) {
        SCOPED_TRACE(bar);
        const QSize size = bars[bar]->size();
        QRect grip;
        ASSERT_TRUE(dock_grip_rect(bar, DOCK_BOTTOM, &grip));
        QImage img(size, QImage::Format_RGB32);
        img.fill(Qt::magenta);
        {
            QPainter p(&img);
            dock_draw_grip(bar, p, DOCK_BOTTOM);
        }
        int inside = 0, outside = 0;
        for (int y = 0; y < size.height(); ++y)
            for (int x = 0; x < size.width(); ++x)
                if (img.pixel(x, y) != QColor(Qt::magenta).rgb())
                    ++(grip.contains(x, y) ? inside : outside);
        EXPECT_GT(inside, 0);
        EXPECT_EQ(outside, 0);

        dock_set_bars_locked(1);
        img.fill(Qt::magenta);
        {
            QPainter p(&img);
            dock_draw_grip(bar, p, DOCK_BOTTOM);
        }
        bool untouched = true;
        for (int y = 0; y < size.height() && untouched; ++y)
            for (int x = 0; x < size.width(); ++x)
                untouched = untouched && img.pixel(x, y) == QColor(Qt::magenta).rgb();
        EXPECT_TRUE(untouched);
        dock_set_bars_locked(0);
    }
}

TEST_F(DockFixture, AToolbarThatWrapsIsPlacedAgainWithTheThicknessForItsLength)
{
    show_only({});
    bars[BAR_TOOLBAR] = new WrappingBar;
    bars[BAR_TOOLBAR]->resize(1000, 10);  // as made: one row
    bar_set_window(BAR_TOOLBAR, bars[BAR_TOOLBAR]);
    opt_set(OPT_TOOLBAR_SHOWN, 1);
    dock_set_bar_side(BAR_TOOLBAR, DOCK_TOP);
    const struct {
        int frame_width, rows;
    } cases[] = {{900, 1}, {450, 2}, {250, 3}, {900, 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.frame_width);
        frame->resize(c.frame_width, 500);
        test_drain_events();
        frame_layout();
        EXPECT_EQ(bars[BAR_TOOLBAR]->width(), whole().width());
        EXPECT_EQ(bars[BAR_TOOLBAR]->height(), 26 * c.rows);
        EXPECT_EQ(client().top(), whole().top() + 26 * c.rows);
    }
}

TEST_F(DockFixture, CompactModeGivesTheTreebarTheWholeAreaAndNormalModeGivesItBack)
{
    SavedValues<int> keep(main_settings.compact_mode);
    show_only({BAR_SWITCHBAR, BAR_TREEBAR});
    opt_set(OPT_TREEBAR_SHOWN, 0);  // compact mode shows it all the same
    dock_set_bar_side(BAR_TREEBAR, DOCK_LEFT);
    main_settings.compact_mode = 1;
    frame_layout();
    EXPECT_TRUE(bars[BAR_TREEBAR]->isVisible());
    EXPECT_EQ(bars[BAR_TREEBAR]->geometry(), whole());
    EXPECT_FALSE(bars[BAR_SWITCHBAR]->isVisible());
    EXPECT_EQ(client().height(), 0);

    main_settings.compact_mode = 0;
    frame_layout();
    EXPECT_FALSE(bars[BAR_TREEBAR]->isVisible());
    EXPECT_TRUE(bars[BAR_SWITCHBAR]->isVisible());
    EXPECT_EQ(client().top(), whole().top() + dock_switchbar_height());
    EXPECT_EQ(client().left(), whole().left());
}

TEST_F(DockFixture, ABarMadeElsewhereIsTakenIntoTheFrameAndAGoneBarLeavesNoHole)
{
    QWidget elsewhere;
    show_only({BAR_SWITCHBAR});
    bars[BAR_SWITCHBAR]->setParent(&elsewhere);
    dock_set_bar_side(BAR_SWITCHBAR, DOCK_RIGHT);
    frame_layout();
    EXPECT_EQ(bars[BAR_SWITCHBAR]->parentWidget(), area);
    EXPECT_EQ(bars[BAR_SWITCHBAR]->geometry().right(), whole().right());
    delete bars[BAR_SWITCHBAR];
    EXPECT_EQ(bar_window(BAR_SWITCHBAR), nullptr);
    frame_layout();
    EXPECT_EQ(client(), whole());
    EXPECT_EQ(dock_bars_shown(), 0);
}

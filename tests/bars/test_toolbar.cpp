// The toolbar on an offscreen frame: the built-in buttons and their
// commands, script buttons made with /toolbar and clicked with the mouse,
// the toolbar file across a restart, $toolbar, and what bad arguments and
// bad files give.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QMainWindow>
#include <QPointer>
#include <QCursor>
#include <QtTest/QTest>

#include <set>
#include <string>
#include <vector>

#include "model/connection.h"
#include "app/frame_menu.h"
#include "commands/output_commands.h"
#include "irc/lists/notify_list.h"
#include "app/startup.h"
#include "app/subsystems.h"
#include "display/bar_windows.h"
#include "display/pictures.h"
#include "bars/toolbar.h"
#include "bars/toolbar_buttons.h"
#include "bars/toolbar_file.h"
#include "core/numbered_texts.h"
#include "core/options.h"
#include "display/colours_dialog.h"
#include "identifiers/toolbar_identifiers.h"
#include "script/exec/script_errors.h"
#include "script/exec/script_hooks.h"
#include "script/exec/script_types.h"
#define KEST_TEST_WIDGETS
#include "support/hook_guard.h"
#include "support/test_support.h"

namespace {

std::vector<std::string> g_printed;

QPointer<QMainWindow> g_frame;

class Toolbar : public ::testing::Test {
protected:
    TempSettingsDir settings{"kest_toolbar"};
    HookGuard hooks;
    QPointer<QMainWindow> saved_frame;
    Connection* conn = nullptr;
    int saved_shown = 0, saved_multiline = 0, saved_events = 0, saved_ctcps = 0, saved_raw = 0;

    void SetUp() override
    {
        ASSERT_TRUE(settings.made());
        test_frame_mdi(g_frame);
        saved_frame = frame_window;
        frame_window = g_frame;
        saved_shown = opt(OPT_TOOLBAR_SHOWN);
        saved_multiline = opt(OPT_TOOLBAR_MULTILINE);
        saved_events = opt(OPT_REMOTE_EVENTS);
        saved_ctcps = opt(OPT_REMOTE_CTCPS);
        saved_raw = opt(OPT_REMOTE_RAW);
        opt_set(OPT_TOOLBAR_SHOWN, 1);
        opt_set(OPT_TOOLBAR_MULTILINE, 1);
        app_install_subsystems();
        conn = conn_new(nullptr);
        ASSERT_TRUE(conn);
        g_printed.clear();
        script_echo_line = [](QWidget*, const std::string& text, int) { g_printed.push_back(text); };
        script_error_clear();
        make_bar();
    }
    void TearDown() override
    {
        delete toolbar_window.data();
        test_drain_events();
        if (conn)
            conn_free(conn);
        if (QDialog* d = color_dialog())
            delete d;
        opt_set(OPT_TOOLBAR_SHOWN, saved_shown);
        opt_set(OPT_TOOLBAR_MULTILINE, saved_multiline);
        opt_set(OPT_REMOTE_EVENTS, saved_events);
        opt_set(OPT_REMOTE_CTCPS, saved_ctcps);
        opt_set(OPT_REMOTE_RAW, saved_raw);
        frame_window = saved_frame;
    }

    // The bar as start-up makes it, placed across the top of the frame.
    void make_bar(int width = 980)
    {
        ASSERT_EQ(toolbar_create(), 1);
        ASSERT_TRUE(toolbar_window);
        toolbar_window->setGeometry(0, 0, width, 60);
        toolbar_window->show();
        toolbar_window->layout();
    }

    // A command as the user types it.
    int run(const std::string& line)
    {
        return script_exec_line(nullptr, line.c_str(), nullptr, 0, nullptr, nullptr, conn);
    }

    // Whether any printed line holds the text.
    bool printed(const std::string& text) const
    {
        for (const std::string& l : g_printed)
            if (l.find(text) != std::string::npos)
                return true;
        return false;
    }

    // A picture file in the settings folder, one colour throughout.
    std::string picture(const std::string& name, int w, int h, QRgb colour = qRgb(200, 0, 0))
    {
        QImage img(w, h, QImage::Format_RGB32);
        img.fill(colour);
        const std::string path = settings.path() + name;
        EXPECT_EQ(dib_save_bmp(path, img), 1);
        return path;
    }

    ToolbarButton* named(const std::string& name) { return toolbar_button_at(toolbar_index_of_name(name)); }

    // The mouse over a point of the bar with no button held.
    void move_to(QPoint p)
    {
        QMouseEvent move(QEvent::MouseMove, QPointF(p), toolbar_window->mapToGlobal(QPointF(p)), Qt::NoButton,
                         Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(toolbar_window, &move);
    }

    void click(const std::string& name)
    {
        toolbar_window->layout();
        ToolbarButton* b = named(name);
        ASSERT_TRUE(b) << name;
        QTest::mouseClick(toolbar_window, Qt::LeftButton, Qt::NoModifier, b->rect.center());
        test_drain_events();
    }
};

// ---- Built-in slots ----

TEST_F(Toolbar, BuiltInSlotsInOrderWithTheirIdsTipsAndSeparators)
{
    ASSERT_EQ(toolbar_count(), kToolbarSlots);
    EXPECT_EQ(bar_window(BAR_TOOLBAR), toolbar_window.data());
    EXPECT_EQ(toolbar_window->objectName(), "Kest_ToolBar");
    struct Case {
        int slot;
        const char* name;
        bool separator;
        bool hidden;
        int wide;
    } cases[] = {
        {0, "connect", false, false, 6},  {1, "connect2", false, true, 6}, {2, "connect3", false, true, 6},
        {3, "sep1", true, false, 0},      {4, "options", false, false, 6}, {14, "colors", false, false, 0},
        {24, "notify2", false, true, 0},  {26, "urls2", false, true, 0},   {32, "sep9", true, false, 0},
        {33, "about", false, false, 0},
    };
    for (const Case& c : cases) {
        const ToolbarButton* b = toolbar_button_at(c.slot);
        ASSERT_TRUE(b) << c.slot;
        EXPECT_EQ(b->name, c.name) << c.slot;
        EXPECT_EQ(b->id, 1000 + c.slot) << c.name;
        EXPECT_EQ((b->style & TB_SEPARATOR) != 0, c.separator) << c.name;
        EXPECT_EQ(b->image_index, c.separator ? -1 : c.slot) << c.name;
        EXPECT_EQ((b->state & TB_HIDDEN) != 0, c.hidden) << c.name;
        EXPECT_EQ(b->wide, c.wide) << c.name;
        EXPECT_EQ(b->tip, c.separator ? std::string() : std::string(text_load_string(5301 + c.slot))) << c.name;
        EXPECT_EQ(b->picture, std::to_string(c.slot));
    }
    // The strip offsets add up the widths before each button.
    EXPECT_EQ(toolbar_button_at(33)->strip_x, 33 * 16);
}

// /events sets its switch and shows the scripts button for all three.
TEST_F(Toolbar, ScriptsButtonFollowsEveryRemoteSwitch)
{
    struct Case {
        int events, ctcps, raw;
        bool scripts2;
    } cases[] = {{0, 0, 0, false}, {1, 0, 0, true}, {0, 1, 0, true}, {0, 0, 1, true}, {1, 1, 1, true}};
    for (const Case& c : cases) {
        opt_set(OPT_REMOTE_CTCPS, c.ctcps);
        opt_set(OPT_REMOTE_RAW, c.raw);
        CommandCall call;
        call.tokens = {"events", c.events ? "on" : "off"};
        call.show = 0;
        ASSERT_EQ(cmd_events(call), 1);
        ASSERT_EQ(opt(OPT_REMOTE_EVENTS), c.events);
        EXPECT_EQ(toolbar_message(TBM_IS_HIDDEN, 1010, 0), c.scripts2 ? 0 : 1) << c.events << c.ctcps << c.raw;
        EXPECT_EQ(toolbar_message(TBM_IS_HIDDEN, 1009, 0), c.scripts2 ? 1 : 0) << c.events << c.ctcps << c.raw;
        EXPECT_EQ(toolbar_message(TBM_IS_ENABLED, 1010, 0), c.scripts2 ? 1 : 0);
    }
}

TEST_F(Toolbar, NotifyButtonShowsTheStateAndTwoKeepsTheRememberedOne)
{
    ASSERT_TRUE(notify_state_shown.has_priority(kNotifyStateToolbar));
    notify_state_shown.fire(1);
    EXPECT_EQ(toolbar_message(TBM_IS_HIDDEN, 1024, 0), 0);
    EXPECT_EQ(toolbar_message(TBM_IS_HIDDEN, 1023, 0), 1);
    notify_state_shown.fire(2);  // keeps "on"
    EXPECT_EQ(toolbar_message(TBM_IS_HIDDEN, 1024, 0), 0);
    notify_state_shown.fire(0);
    EXPECT_EQ(toolbar_message(TBM_IS_HIDDEN, 1024, 0), 1);
    EXPECT_EQ(toolbar_message(TBM_IS_HIDDEN, 1023, 0), 0);
    notify_state_shown.fire(2);  // keeps "off"
    EXPECT_EQ(toolbar_message(TBM_IS_HIDDEN, 1023, 0), 0);
}

TEST_F(Toolbar, ArrangeIconsHiddenWhileABarListsTheWindows)
{
    const int switchbar = opt(OPT_SWITCHBAR_SHOWN), treebar = opt(OPT_TREEBAR_SHOWN);
    for (int sb : {0, 1}) {
        opt_set(OPT_SWITCHBAR_SHOWN, sb);
        opt_set(OPT_TREEBAR_SHOWN, 0);
        toolbar_update_arrange_buttons();
        EXPECT_EQ(toolbar_message(TBM_IS_HIDDEN, 1031, 0), sb) << sb;
        EXPECT_EQ(toolbar_message(TBM_IS_HIDDEN, 1028, 0), 0) << sb;
    }
    opt_set(OPT_SWITCHBAR_SHOWN, switchbar);
    opt_set(OPT_TREEBAR_SHOWN, treebar);
}

// ---- The mouse ----

TEST_F(Toolbar, ClickingTheColoursButtonOpensTheColoursDialog)
{
    ASSERT_FALSE(color_dialog());
    click("colors");
    ASSERT_TRUE(color_dialog());
    EXPECT_TRUE(color_dialog()->isVisible());
    EXPECT_EQ(toolbar_window->pressed_id, 0);
    EXPECT_EQ(named("colors")->state & TB_PRESSED, 0u);
}

TEST_F(Toolbar, ReleasingOutsideTheButtonRunsNothingAndLeavesNothingPressed)
{
    const QRect r = named("colors")->rect;
    QTest::mousePress(toolbar_window, Qt::LeftButton, Qt::NoModifier, r.center());
    EXPECT_NE(named("colors")->state & TB_PRESSED, 0u);
    // Off the button while held: the pressed look goes.
    QMouseEvent move(QEvent::MouseMove, QPointF(r.right() + 40, r.center().y()),
                     toolbar_window->mapToGlobal(QPointF(r.right() + 40, r.center().y())), Qt::NoButton,
                     Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(toolbar_window, &move);
    EXPECT_EQ(named("colors")->state & TB_PRESSED, 0u);
    QTest::mouseRelease(toolbar_window, Qt::LeftButton, Qt::NoModifier, QPoint(r.right() + 40, r.center().y()));
    test_drain_events();
    EXPECT_FALSE(color_dialog());
    EXPECT_EQ(toolbar_window->pressed_id, 0);
    for (int i = 0; i < toolbar_count(); ++i)
        EXPECT_EQ(toolbar_button_at(i)->state & TB_PRESSED, 0u) << i;
}

TEST_F(Toolbar, DisabledButtonRunsNothing)
{
    ASSERT_EQ(toolbar_message(TBM_ENABLE, 1014, 0), 1);
    click("colors");
    EXPECT_FALSE(color_dialog());
    // Enabled again, the same click works; a second click keeps the one dialog.
    ASSERT_EQ(toolbar_message(TBM_ENABLE, 1014, 1), 1);
    click("colors");
    QPointer<QDialog> first = color_dialog();
    ASSERT_TRUE(first);
    click("colors");
    EXPECT_EQ(color_dialog(), first.data());
}

TEST_F(Toolbar, HotButtonFollowsTheCursorAndClearsOffTheButtons)
{
    const QRect r = named("options")->rect;
    move_to(r.center());
    EXPECT_EQ(toolbar_window->hot_id, 1004);
    EXPECT_TRUE(toolbar_window->hot_timer.isActive());
    // The same place again changes nothing.
    move_to(r.center());
    EXPECT_EQ(toolbar_window->hot_id, 1004);
    // The edge pixel of a button is not on it.
    move_to(QPoint(r.left(), r.center().y()));
    EXPECT_NE(toolbar_window->hot_id, 1004);
    const QRect gap = named("sep1")->rect;
    move_to(QPoint(gap.center().x(), r.center().y()));
    EXPECT_EQ(toolbar_window->hot_id, 0);
    EXPECT_FALSE(toolbar_window->hot_timer.isActive());
    // A disabled button never becomes hot.
    toolbar_message(TBM_ENABLE, 1004, 0);
    move_to(r.center());
    EXPECT_EQ(toolbar_window->hot_id, 0);
}

TEST_F(Toolbar, HotButtonClearsSoonAfterTheCursorLeftTheBar)
{
    const QRect r = named("options")->rect;
    QCursor::setPos(toolbar_window->mapToGlobal(r.center()));
    move_to(r.center());
    ASSERT_EQ(toolbar_window->hot_id, 1004);
    // Pressed and then the cursor gone elsewhere: neither state stays.
    QTest::mousePress(toolbar_window, Qt::LeftButton, Qt::NoModifier, r.center());
    ASSERT_EQ(toolbar_window->pressed_id, 1004);
    QCursor::setPos(toolbar_window->mapToGlobal(QPoint(-500, -500)));
    // (a QTRY_ macro reports to QTest's own log, which no test here reads)
    (void)QTest::qWaitFor([] { return toolbar_window->pressed_id == 0; }, 30000);
    ASSERT_EQ(toolbar_window->pressed_id, 0);
    EXPECT_EQ(toolbar_window->hot_id, 0);
    EXPECT_EQ(named("options")->state & TB_PRESSED, 0u);
    EXPECT_FALSE(toolbar_window->hot_timer.isActive());
    // The button goes up again away from the bar, so that no later test
    // starts with a button held down.
    QTest::mouseRelease(toolbar_window, Qt::LeftButton, Qt::NoModifier, QPoint(-500, -500));
    EXPECT_EQ(QGuiApplication::mouseButtons(), Qt::NoButton);
    EXPECT_EQ(toolbar_window->pressed_id, 0);
}

TEST_F(Toolbar, ConnectAsksForASecondClickAndComesBackAfterTheWait)
{
    const int saved = opt(OPT_CONFIRM_CONNECT_SECOND_CLICK);
    opt_set(OPT_CONFIRM_CONNECT_SECOND_CLICK, 1);
    conn->connecting = 1;
    ASSERT_EQ(conn_current(), conn);
    toolbar_show_connect_state();
    EXPECT_EQ(toolbar_message(TBM_IS_HIDDEN, 1001, 0), 0);
    EXPECT_EQ(toolbar_message(TBM_IS_HIDDEN, 1000, 0), 1);
    click("connect2");
    EXPECT_EQ(toolbar_message(TBM_IS_HIDDEN, 1002, 0), 0);
    EXPECT_EQ(toolbar_message(TBM_IS_HIDDEN, 1001, 0), 1);
    EXPECT_EQ(toolbar_message(TBM_IS_HIDDEN, 1000, 0), 1);
    EXPECT_TRUE(toolbar_window->connect_timer.isActive());
    // No second click: the buttons follow the connection again.
    (void)QTest::qWaitFor([] { return toolbar_message(TBM_IS_HIDDEN, 1002, 0) == 1; }, 30000);
    ASSERT_EQ(toolbar_message(TBM_IS_HIDDEN, 1002, 0), 1);
    EXPECT_EQ(toolbar_message(TBM_IS_HIDDEN, 1001, 0), 0);
    EXPECT_FALSE(toolbar_window->connect_timer.isActive());
    conn->connecting = 0;
    toolbar_show_connect_state();
    EXPECT_EQ(toolbar_message(TBM_IS_HIDDEN, 1000, 0), 0);
    EXPECT_EQ(toolbar_message(TBM_IS_HIDDEN, 1001, 0), 1);
    opt_set(OPT_CONFIRM_CONNECT_SECOND_CLICK, saved);
}

TEST_F(Toolbar, CheckedRadioButtonSendsNoCommand)
{
    const std::string pic = picture("r.bmp", 16, 16);
    ASSERT_EQ(run("/toolbar -a r1 \"one\" \"" + pic + "\" \"/toolbar -t $1 clicked\""), 1);
    ASSERT_EQ(run("/toolbar -a r2 \"two\" \"" + pic + "\" \"/toolbar -t $1 clicked\""), 1);
    for (const char* n : {"r1", "r2"})
        toolbar_message(TBM_SET_STYLE, static_cast<uintptr_t>(named(n)->id), TB_CHECK | TB_GROUP);
    toolbar_message(TBM_CHECK, static_cast<uintptr_t>(named("r1")->id), 1);
    click("r1");
    EXPECT_EQ(named("r1")->tip, "one");  // already checked: nothing ran
    click("r2");
    EXPECT_EQ(named("r2")->tip, "clicked");
    EXPECT_NE(named("r2")->state & TB_CHECKED, 0u);
    EXPECT_EQ(named("r1")->state & TB_CHECKED, 0u);
    EXPECT_EQ(named("r1")->tip, "one");
}

// ---- /toolbar ----

TEST_F(Toolbar, ScriptButtonWithAPictureRunsItsAliasWithItsName)
{
    const std::string pic = picture("face.bmp", 20, 18);
    ASSERT_EQ(run("/toolbar -a mine \"My tip\" \"" + pic + "\" \"/toolbar -t $1 $1\""), 1);
    ASSERT_EQ(toolbar_count(), kToolbarSlots + 1);
    ToolbarButton* b = named("mine");
    ASSERT_TRUE(b);
    EXPECT_EQ(b->image_width, 20);
    EXPECT_EQ(b->image_height, 18);
    EXPECT_GE(b->id, 1034);
    EXPECT_LE(b->id, 1933);
    EXPECT_EQ(b->image_index, b->id);
    EXPECT_EQ(b->tip, "My tip");
    toolbar_window->layout();
    EXPECT_FALSE(b->rect.isEmpty());
    click("mine");
    EXPECT_EQ(named("mine")->tip, "mine");
    // Another button's click leaves it alone.
    ASSERT_EQ(run("/toolbar -a other \"Other\" \"" + pic + "\" \"/toolbar -t other hit\""), 1);
    named("mine")->tip = "kept";
    click("other");
    EXPECT_EQ(named("other")->tip, "hit");
    EXPECT_EQ(named("mine")->tip, "kept");
}

TEST_F(Toolbar, InsertMoveDeleteByNameAndPosition)
{
    const std::string pic = picture("p.bmp", 16, 16);
    ASSERT_EQ(run("/toolbar -c"), 1);
    EXPECT_EQ(toolbar_count(), 0);
    ASSERT_EQ(run("/toolbar -a b \"B\" \"" + pic + "\""), 1);
    ASSERT_EQ(run("/toolbar -i 1 a \"A\" \"" + pic + "\""), 1);
    ASSERT_EQ(run("/toolbar -as s1"), 1);
    ASSERT_EQ(run("/toolbar -i 4 c \"C\" \"" + pic + "\""), 1);  // one past the end: appended
    auto order = [] {
        std::string o;
        for (int i = 0; i < toolbar_count(); ++i)
            o += toolbar_button_at(i)->name + " ";
        return o;
    };
    EXPECT_EQ(order(), "a b s1 c ");
    ASSERT_EQ(run("/toolbar -m 1 c"), 1);
    EXPECT_EQ(order(), "c a b s1 ");
    ASSERT_EQ(run("/toolbar -m 4 1"), 1);  // the button at position 1 to position 4
    EXPECT_EQ(order(), "a b s1 c ");
    ASSERT_EQ(run("/toolbar -d 3"), 1);
    EXPECT_EQ(order(), "a b c ");
    ASSERT_EQ(run("/toolbar -d B"), 1);
    EXPECT_EQ(order(), "a c ");
    // The same delete again finds nothing.
    EXPECT_EQ(run("/toolbar -d B"), 0);
    EXPECT_EQ(order(), "a c ");
    ASSERT_EQ(run("/toolbar -r"), 1);
    EXPECT_EQ(toolbar_count(), kToolbarSlots);
    EXPECT_EQ(toolbar_button_at(0)->name, "connect");
}

TEST_F(Toolbar, ChangesReachOnlyTheNamedButton)
{
    const std::string pic = picture("p.bmp", 16, 16);
    const std::string big = picture("big.bmp", 32, 24);
    ASSERT_EQ(run("/toolbar -ak a \"A\" \"" + pic + "\""), 1);
    ASSERT_EQ(run("/toolbar -a b \"B\" \"" + pic + "\""), 1);
    ASSERT_EQ(run("/toolbar -tp a \"New tip\" \"" + big + "\""), 1);
    EXPECT_EQ(named("a")->tip, "New tip");
    EXPECT_EQ(named("a")->image_width, 32);
    EXPECT_EQ(named("a")->image_height, 24);
    EXPECT_EQ(named("b")->tip, "B");
    ASSERT_EQ(run("/toolbar -bh a"), 1);
    EXPECT_EQ(named("a")->state & (TB_ENABLED | TB_HIDDEN), unsigned(TB_HIDDEN));
    EXPECT_EQ(named("b")->state & (TB_ENABLED | TB_HIDDEN), unsigned(TB_ENABLED));
    ASSERT_EQ(run("/toolbar -ew a"), 1);
    EXPECT_EQ(named("a")->state & (TB_ENABLED | TB_HIDDEN), unsigned(TB_ENABLED));
    ASSERT_EQ(run("/toolbar -k1 a"), 1);
    EXPECT_NE(named("a")->state & TB_CHECKED, 0u);
    ASSERT_EQ(run("/toolbar -k1 b"), 1);  // not a check button: stays unchecked
    EXPECT_EQ(named("b")->state & TB_CHECKED, 0u);
    ASSERT_EQ(run("/toolbar -k0 a"), 1);
    EXPECT_EQ(named("a")->state & TB_CHECKED, 0u);
    ASSERT_EQ(run("/toolbar -l a \"/echo x\""), 1);
    EXPECT_EQ(named("a")->alias, "/echo x");
    EXPECT_EQ(named("b")->alias, "");
}

TEST_F(Toolbar, AlphaIsClampedAndStaysOpaqueWithoutTheSwitch)
{
    const std::string pic = picture("p.bmp", 16, 16);
    struct Case {
        const char* sw;
        int alpha;
    } cases[] = {{"-a", 0}, {"-ay0", 1}, {"-ay1", 1}, {"-ay255", 255}, {"-ay999", 255},
                 {"-ay99999999999999999999", 255}, {"-ay-5", 1}};
    int n = 0;
    for (const Case& c : cases) {
        const std::string name = "al" + std::to_string(n++);
        ASSERT_EQ(run(std::string("/toolbar ") + c.sw + " " + name + " \"t\" \"" + pic + "\""), 1) << c.sw;
        EXPECT_EQ(named(name)->alpha, c.alpha) << c.sw;
    }
}

TEST_F(Toolbar, PictureSizeLimitsAndRectangles)
{
    const std::string wide = picture("wide.bmp", 300, 20);
    const std::string small = picture("small.bmp", 15, 16);
    const std::string edge = picture("edge.bmp", 256, 16);
    const int before = toolbar_count();
    EXPECT_EQ(run("/toolbar -a w1 \"t\" \"" + wide + "\""), 0);
    EXPECT_TRUE(printed(text_load_string(5402)));
    g_printed.clear();
    EXPECT_EQ(run("/toolbar -a w2 \"t\" \"" + wide + "\" 0 0 290 20"), 0);
    EXPECT_TRUE(printed(text_load_string(5402)));
    EXPECT_EQ(run("/toolbar -a w3 \"t\" \"" + small + "\""), 0);
    EXPECT_EQ(toolbar_count(), before);
    // A part of 16 x 16 inside it is fine, and so are exactly 256 pixels.
    ASSERT_EQ(run("/toolbar -a w4 \"t\" \"" + wide + "\" 10 2 16 16"), 1);
    EXPECT_EQ(named("w4")->image_width, 16);
    EXPECT_EQ(named("w4")->source, QRect(10, 2, 16, 16));
    ASSERT_EQ(run("/toolbar -a w5 \"t\" \"" + edge + "\""), 1);
    EXPECT_EQ(named("w5")->image_width, 256);
    // A rectangle reaching past the picture cannot be cut.
    g_printed.clear();
    EXPECT_EQ(run("/toolbar -a w6 \"t\" \"" + wide + "\" 290 0 16 16"), 0);
    EXPECT_FALSE(g_printed.empty());
    EXPECT_FALSE(named("w6"));
}

TEST_F(Toolbar, BuiltInPictureNumberRunsThatSlotsCommand)
{
    ASSERT_EQ(run("/toolbar -a mycolours \"Colours\" \"14\" 1 2 3 4"), 1);
    ToolbarButton* b = named("mycolours");
    ASSERT_TRUE(b);
    EXPECT_EQ(b->id, 1014);
    EXPECT_EQ(b->image_width, 16);
    // The built-in colours button out of the way: the new one answers.
    ASSERT_EQ(run("/toolbar -d colors"), 1);
    click("mycolours");
    EXPECT_TRUE(color_dialog());
}

TEST_F(Toolbar, BadArgumentsGiveTheirErrorsAndChangeNothing)
{
    const std::string pic = picture("p.bmp", 16, 16);
    const std::string ins = text_load_string(2201);  // "* /%s: ..." insufficient
    const std::string inv = text_load_string(2206);  // invalid parameters
    auto cut = [](const std::string& pattern) { return pattern.substr(pattern.find(':')); };
    struct Case {
        std::string line;
        std::string shown;  // a part of the printed error
    } cases[] = {
        {"/toolbar -a", cut(ins)},
        {"/toolbar -a lone", cut(ins)},
        {"/toolbar -a lone \"tip\"", cut(ins)},
        {"/toolbar -a 123 \"t\" \"" + pic + "\"", cut(inv)},
        {"/toolbar -a na\"me \"t\" \"" + pic + "\"", cut(inv)},
        {"/toolbar -a connect \"t\" \"" + pic + "\"", "connect"},
        {"/toolbar -a CONNECT \"t\" \"" + pic + "\"", "CONNECT"},
        {"/toolbar -a x \"t\" \"" + settings.path() + "nothere.bmp\"", "nothere.bmp"},
        {"/toolbar -a x \"t\" \"../../../etc/nothere.png\"", "nothere.png"},
        {"/toolbar -a x \"t\" \"" + pic + "\" \"echo no slash\"", cut(inv)},
        {"/toolbar -a x \"t\" \"" + pic + "\" \"/ok\" \"nopopup.txt\"", "nopopup.txt"},
        {"/toolbar -a x \"t\"q \"" + pic + "\"", cut(inv)},
        {"/toolbar -a x \"t\" \"99\"", cut(text_load_string(2203))},
        {"/toolbar -a x \"t\" \"@nowindow\"", cut(text_load_string(2210))},
        {"/toolbar -i 0 x \"t\" \"" + pic + "\"", cut(inv)},
        {"/toolbar -i 99 x \"t\" \"" + pic + "\"", cut(inv)},
        {"/toolbar -i x", cut(inv)},
        {"/toolbar -fx", cut(inv)},
        {"/toolbar -q", cut(inv)},
        {"/toolbar -d 999", cut(inv)},
        {"/toolbar -d nosuch", cut(inv)},
        {"/toolbar -m 99 connect", cut(inv)},
        {"/toolbar -m 1", cut(ins)},
        {"/toolbar -t nosuch \"x\"", "nosuch"},
        {"/toolbar -t connect", cut(ins)},
        {"/toolbar -an", cut(inv)},
        {"/toolbar words", cut(inv)},
    };
    const int before = toolbar_count();
    for (const Case& c : cases) {
        g_printed.clear();
        EXPECT_EQ(run(c.line), 0) << c.line;
        EXPECT_TRUE(printed(c.shown)) << c.line << " printed: " << (g_printed.empty() ? "" : g_printed[0]);
        EXPECT_EQ(toolbar_count(), before) << c.line;
        EXPECT_EQ(named("x"), nullptr) << c.line;
    }
    EXPECT_EQ(named("connect")->tip, text_load_string(5301));
}

TEST_F(Toolbar, NoMoreThan513Buttons)
{
    ASSERT_EQ(run("/toolbar -c"), 1);
    for (int i = 0; i < 513; ++i)
        ASSERT_EQ(run("/toolbar -as s" + std::to_string(i)), 1) << i;
    EXPECT_EQ(toolbar_count(), 513);
    EXPECT_EQ(run("/toolbar -as one_more"), 0);
    EXPECT_TRUE(printed(text_load_string(5401)));
    EXPECT_EQ(toolbar_count(), 513);
    // Every button its own id.
    std::set<int> ids;
    for (int i = 0; i < toolbar_count(); ++i)
        ids.insert(toolbar_button_at(i)->id);
    EXPECT_EQ(ids.size(), 513u);
}

TEST_F(Toolbar, OnAndOffShowTheBarAndSayItsState)
{
    ASSERT_EQ(run("/toolbar off"), 1);
    EXPECT_EQ(opt(OPT_TOOLBAR_SHOWN), 0);
    EXPECT_FALSE(toolbar_window->isVisible());
    EXPECT_TRUE(printed(text_load_string(871)));
    // Off again: still off, said again.
    g_printed.clear();
    ASSERT_EQ(run("/toolbar off"), 1);
    EXPECT_EQ(opt(OPT_TOOLBAR_SHOWN), 0);
    EXPECT_TRUE(printed(text_load_string(871)));
    g_printed.clear();
    ASSERT_EQ(run("/toolbar on"), 1);
    EXPECT_EQ(opt(OPT_TOOLBAR_SHOWN), 1);
    EXPECT_TRUE(toolbar_window->isVisible());
    EXPECT_TRUE(printed(text_load_string(870)));
    // Quietly: nothing said.
    g_printed.clear();
    ASSERT_EQ(run("/.toolbar"), 1);
    EXPECT_TRUE(g_printed.empty());
}

// ---- The toolbar file ----

TEST_F(Toolbar, FileKeepsButtonsAcrossARestart)
{
    const std::string pic = picture("face.bmp", 20, 20);
    const std::string outside_dir = settings.path() + "../";
    ASSERT_EQ(run("/toolbar -c"), 1);
    ASSERT_EQ(run("/toolbar -axk1 one \"First, with comma\" \"" + pic + "\" \"/echo $me | /quit\""), 1);
    ASSERT_EQ(run("/toolbar -as gap"), 1);
    ASSERT_EQ(run("/toolbar -abhy200 two \"Second\" \"" + pic + "\" 2 2 16 16"), 1);
    ASSERT_EQ(run("/toolbar -a three \"Third\" \"6\""), 1);
    named("one")->script_file = settings.path() + "s.mrc";
    ASSERT_EQ(run("/toolbar -fs"), 1);
    const std::string text = slurp(settings.path() + "toolbar.ini");
    EXPECT_NE(text.find("[toolbar]"), std::string::npos);
    EXPECT_NE(text.find("n0=4"), std::string::npos);
    // Pictures inside the settings folder are kept relative to it.
    EXPECT_NE(text.find("\"face.bmp\""), std::string::npos) << text;
    EXPECT_EQ(text.find(settings.path()), std::string::npos) << text;
    const std::size_t script_at = text.find("\"s.mrc\"");
    ASSERT_NE(script_at, std::string::npos) << text;

    // A restart: the bar made again reads the file.
    delete toolbar_window.data();
    make_bar();
    ASSERT_EQ(toolbar_count(), 4);
    const char* order[] = {"one", "gap", "two", "three"};
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(toolbar_button_at(i)->name, order[i]);
    ToolbarButton* one = named("one");
    EXPECT_EQ(one->tip, "First, with comma");
    EXPECT_EQ(one->style & TB_CHECK, unsigned(TB_CHECK));
    EXPECT_NE(one->state & TB_CHECKED, 0u);
    EXPECT_EQ(one->wide, 6);
    EXPECT_EQ(one->picture, pic);
    // The alias comes back as it was written: not evaluated, not split.
    EXPECT_EQ(one->alias, "/echo $me | /quit");
    EXPECT_EQ(one->script_file, "");
    EXPECT_NE(named("gap")->style & TB_SEPARATOR, 0u);
    ToolbarButton* two = named("two");
    EXPECT_EQ(two->state & (TB_ENABLED | TB_HIDDEN), unsigned(TB_HIDDEN));
    EXPECT_EQ(two->alpha, 200);
    EXPECT_EQ(two->source, QRect(2, 2, 16, 16));
    EXPECT_EQ(two->image_width, 16);
    EXPECT_EQ(named("three")->id, 1006);

    // Saved again, the file is the same but for the script file.
    ASSERT_EQ(run("/toolbar -fs"), 1);
    std::string again = text;
    again.replace(script_at, 7, "\"\"");
    EXPECT_EQ(slurp(settings.path() + "toolbar.ini"), again);
    // Deleted, the next start has the built-in slots.
    ASSERT_EQ(run("/toolbar -fd"), 1);
    delete toolbar_window.data();
    make_bar();
    EXPECT_EQ(toolbar_count(), kToolbarSlots);
    EXPECT_EQ(run("/toolbar -fd"), 1);  // nothing left to delete
}

TEST_F(Toolbar, LoadSkipsShortLinesAndUnknownTypes)
{
    const std::string pic = picture("p.bmp", 16, 16);
    spit(settings.path() + "toolbar.ini",
         "[toolbar]\n"
         "n0=4\n"
         "n1=\"short\",\"t\",0,\"p.bmp\",0,0,0,0,0,0,0,\"\",\"\",0,1,0,0\n"
         "n2=\"good\",\"Good tip\",0,\"p.bmp\",0,0,0,0,0,0,0,\"\",\"\",0,1,0,0,\"\"\n"
         "n3=\"odd\",\"t\",0,\"p.bmp\",0,0,0,0,0,0,0,\"\",\"\",7,1,0,0,\"\"\n"
         "n4=\"bad\",\"t\",0,\"p.bmp\",zero,0,0,0,0,0,0,\"\",\"\",0,1,0,0,\"\"\n"
         "n5=\"sep\",\"\",0,\"\",0,0,0,0,0,0,0,\"\",\"\",2,1,0,0,\"\"\n");
    ASSERT_EQ(run("/toolbar -fl"), 1);
    ASSERT_EQ(toolbar_count(), 2);
    EXPECT_EQ(toolbar_button_at(0)->name, "good");
    EXPECT_EQ(toolbar_button_at(0)->tip, "Good tip");
    EXPECT_EQ(toolbar_button_at(1)->name, "sep");
    // Loading twice gives the same bar, not two copies.
    ASSERT_EQ(run("/toolbar -fl"), 1);
    EXPECT_EQ(toolbar_count(), 2);
}

TEST_F(Toolbar, LoadStopsAtTheFirstFailingLineAndAMissingFileIsAnError)
{
    g_printed.clear();
    EXPECT_EQ(run("/toolbar -fl"), 0);
    EXPECT_TRUE(printed("toolbar.ini"));
    EXPECT_EQ(toolbar_count(), kToolbarSlots);
    const std::string pic = picture("p.bmp", 16, 16);
    spit(settings.path() + "toolbar.ini",
         "[toolbar]\nn0=3\n"
         "n1=\"first\",\"t\",0,\"p.bmp\",0,0,0,0,0,0,0,\"\",\"\",0,1,0,0,\"\"\n"
         "n2=\"second\",\"t\",0,\"gone.bmp\",0,0,0,0,0,0,0,\"\",\"\",0,1,0,0,\"\"\n"
         "n3=\"third\",\"t\",0,\"p.bmp\",0,0,0,0,0,0,0,\"\",\"\",0,1,0,0,\"\"\n");
    g_printed.clear();
    EXPECT_EQ(run("/toolbar -fl"), 0);
    ASSERT_EQ(toolbar_count(), 1);
    EXPECT_EQ(toolbar_button_at(0)->name, "first");
    EXPECT_TRUE(printed("gone.bmp"));
    // At start-up the same file leaves the same bar and says why.
    delete toolbar_window.data();
    g_printed.clear();
    make_bar();
    ASSERT_EQ(toolbar_count(), 1);
    EXPECT_TRUE(printed("gone.bmp"));
    EXPECT_FALSE(script_error_pending());
}

TEST(ToolbarFile, CsvFields)
{
    const std::string line = "\"a, b\", 12 ,\"\",x,\"open";
    struct Case {
        int n;
        int ok;
        const char* text;
    } cases[] = {{1, 1, "a, b"}, {2, 1, "12 "}, {3, 1, ""}, {4, 1, "x"}, {5, 0, ""}, {6, 0, ""}, {0, 0, ""}};
    for (const Case& c : cases) {
        std::string out = "junk";
        EXPECT_EQ(csv_field(line, c.n, out), c.ok) << c.n;
        EXPECT_EQ(out, c.text) << c.n;
    }
}

// ---- $toolbar ----

TEST_F(Toolbar, IdentifierGivesPositionsAndProperties)
{
    const std::string pic = picture("p.bmp", 24, 16);
    ASSERT_EQ(run("/toolbar -akbhy7 mine \"A tip\" \"" + pic + "\" \"/echo hi\""), 1);
    const std::string pos = std::to_string(kToolbarSlots + 1);
    struct Case {
        const char* arg;
        const char* prop;
        std::string value;
    } cases[] = {
        {"0", "", std::to_string(kToolbarSlots + 1)},
        {"1", "", "1"},
        {"mine", "", pos},
        {"MINE", "", pos},
        {"nosuch", "", ""},
        {"999", "", ""},
        {"99999999999999999999", "", ""},
        {"mine", "enabled", "$false"},
        {"mine", "visible", "$false"},
        {"mine", "type", "check"},
        {"mine", "wide", "$false"},
        {"mine", "name", "mine"},
        {"mine", "tip", "A tip"},
        {"mine", "width", "24"},
        {"mine", "height", "16"},
        {"mine", "alias", "/echo hi"},
        {"mine", "alpha", "7"},
        {"mine", "checked", "$false"},
        {"mine", "CHECKED", "$false"},
        {"1", "wide", "$true"},
        {"1", "type", "button"},
        {"4", "type", "separator"},
        {"connect2", "visible", "$false"},
        {"connect", "name", "connect"},
        {"mine", "nosuch", ""},
    };
    for (const Case& c : cases) {
        std::string out = "junk";
        toolbar_ident_value(c.arg, c.prop, &out);
        EXPECT_EQ(out, c.value) << c.arg << "." << c.prop;
    }
    // Through the evaluator as a script reads it.
    std::string text = "$toolbar(0) $toolbar(mine).tip";
    ASSERT_TRUE(ident_eval_text(nullptr, &text, nullptr, nullptr, 0, 0, -1, nullptr, conn));
    EXPECT_EQ(text, std::to_string(kToolbarSlots + 1) + " A tip");
}

// ---- The message interface and the look ----

TEST_F(Toolbar, MessagesOnUnknownIdsAndIndexesDoNothing)
{
    struct Case {
        int msg;
        uintptr_t w;
        intptr_t l;
        intptr_t result;
    } cases[] = {
        {TBM_ENABLE, 5, 1, 0},       {TBM_HIDE, 5, 1, 0},         {TBM_IS_ENABLED, 5, 0, -1},
        {TBM_GET_STATE, 5, 0, -1},   {TBM_GET_STYLE, 5, 0, -1},   {TBM_SET_STATE, 5, 4, 0},
        {TBM_DELETE, 34, 0, 0},      {TBM_MOVE, 0, 34, -1},       {TBM_MOVE, 34, 0, -1},
        {TBM_INDEX_OF_ID, 1014, 0, 14}, {TBM_COUNT, 0, 0, kToolbarSlots}, {TBM_IS_ENABLED, 1014, 0, 1},
        {TBM_GET_STATE, 1001, 0, TB_HIDDEN}, {TBM_ITEM_RECT, 1, 0, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(toolbar_message(c.msg, c.w, c.l), c.result) << c.msg << " " << c.w;
    EXPECT_EQ(toolbar_count(), kToolbarSlots);
    EXPECT_EQ(toolbar_message(TBM_MOVE, 0, 33), 33);
    EXPECT_EQ(toolbar_button_at(33)->name, "connect");
    EXPECT_EQ(toolbar_button_at(0)->name, "connect2");
}

TEST_F(Toolbar, NarrowBarWrapsIntoRowsAndRowEndSeparatorsTakeNoRoom)
{
    const int one_row = toolbar_thickness();
    EXPECT_EQ(one_row, 27);
    EXPECT_EQ(toolbar_window->rows, 1);
    toolbar_window->resize(120, 200);
    toolbar_window->layout();
    EXPECT_GT(toolbar_window->rows, 1);
    EXPECT_GT(toolbar_thickness(), one_row);
    for (int i = 0; i < toolbar_count(); ++i) {
        const ToolbarButton* b = toolbar_button_at(i);
        if ((b->state & TB_HIDDEN) || (b->style & TB_SEPARATOR))
            continue;
        // Every button but a row's first fits the width.
        EXPECT_LE(b->rect.left(), 120) << b->name;
    }
    // A separator that ended a row sits past the bar with no width.
    int collapsed = 0;
    for (int i = 0; i + 1 < toolbar_count(); ++i) {
        const ToolbarButton* b = toolbar_button_at(i);
        if ((b->style & TB_SEPARATOR) && b->rect.width() == 0) {
            EXPECT_GT(b->rect.left(), 120) << b->name;
            ++collapsed;
        }
    }
    EXPECT_GT(collapsed, 0);
    // Without wrapping there is one row whatever the width.
    opt_set(OPT_TOOLBAR_MULTILINE, 0);
    toolbar_window->layout();
    EXPECT_EQ(toolbar_window->rows, 1);
}

TEST_F(Toolbar, DisabledButtonIsGreyAtOpacity100AndEnabledAlphaZeroIsOpaque)
{
    // Red inside a magenta (transparent) border: the corner shows the face.
    QImage img(18, 18, QImage::Format_RGB32);
    img.fill(qRgb(255, 0, 255));
    for (int y = 1; y < 17; ++y)
        for (int x = 1; x < 17; ++x)
            img.setPixel(x, y, qRgb(255, 0, 0));
    const std::string pic = settings.path() + "red.bmp";
    ASSERT_EQ(dib_save_bmp(pic, img), 1);
    ASSERT_EQ(run("/toolbar -c"), 1);
    ASSERT_EQ(run("/toolbar -a on \"t\" \"" + pic + "\""), 1);
    ASSERT_EQ(run("/toolbar -aby200 off \"t\" \"" + pic + "\""), 1);
    toolbar_window->repaint();
    const QImage shot = toolbar_window->grab().toImage();
    const QColor face = toolbar_window->palette().color(QPalette::Button);
    auto centre = [&](const char* name) { return shot.pixelColor(named(name)->rect.center()); };
    EXPECT_EQ(centre("on"), QColor(255, 0, 0));
    const int grey = static_cast<int>(0.299 * 255);
    const double a = 100 / 255.0;
    const QColor off = centre("off");
    EXPECT_NEAR(off.red(), face.red() * (1 - a) + grey * a, 3);
    EXPECT_NEAR(off.green(), face.green() * (1 - a) + grey * a, 3);
    EXPECT_NEAR(off.blue(), face.blue() * (1 - a) + grey * a, 3);
}

}  // namespace

// The switchbar on the real frame: buttons for the windows that server lines
// open, clicks with the mouse that switch, minimise and close windows,
// activity colours that reach only the window that got the message, the
// layout's rows, /switchbar, blinking, and the colour operations.
#define KEST_TEST_WIDGETS
#include <QElapsedTimer>
#include <QImage>
#include <QMenu>
#include <QMdiSubWindow>
#include <QTest>
#include <QToolButton>
#include <QWheelEvent>
#include <QWidget>

#include <algorithm>
#include <vector>

#include "model/connection.h"
#include "irc/link/connections.h"
#include "app/frame_layout.h"
#include "app/frame_proc.h"
#include "app/mdi_arrange.h"
#include "app/window_ops.h"
#include "model/window_record.h"
#include "bar_fixture.h"
#include "display/bar_windows.h"
#include "bars/switchbar.h"
#include "core/options.h"
#include "model/colors.h"
#include "platform/frame_timers.h"
#include "support/cpu_time.h"

namespace {

// Minimised: with the bars on an MDI child is hidden as well.
bool minimised(WindowRecord* rec)
{
    const int state = win_op_state(rec->hwnd.get());
    return state == 1 || state == -1;
}

using SwitchbarTest = BarTest;

// The buttons in bar order: their labels.
std::vector<std::string> button_labels()
{
    std::vector<std::pair<int, std::string>> placed;
    for (WindowRecord* r = win_list; r; r = r->next) {
        SwitchbarButton* b = switchbar_button_of(r);
        if (b && b->place > 0)
            placed.emplace_back(b->place, switchbar_button_label(r));
    }
    std::sort(placed.begin(), placed.end());
    std::vector<std::string> out;
    for (auto& p : placed)
        out.push_back(p.second);
    return out;
}

// Whether the bar's picture holds a pixel of exactly that colour inside the
// window's button.
bool button_shows_colour(QWidget* bar, WindowRecord* rec, const QColor& colour)
{
    SwitchbarButton* b = switchbar_button_of(rec);
    if (!b || b->place <= 0)
        return false;
    const QImage img = bar->grab().toImage();
    for (int y = b->rect.top; y < b->rect.bottom && y < img.height(); ++y)
        for (int x = b->rect.left; x < b->rect.right && x < img.width(); ++x)
            if (QColor(img.pixel(x, y)) == colour)
                return true;
    return false;
}

TEST_F(SwitchbarTest, JoinedChannelsGetButtonsInListOrderAndAClosedOneLosesItsButton)
{
    WindowRecord* a = join("#a");
    WindowRecord* b = join("#b");
    feed(":peer!u@h PRIVMSG me :hi");
    ASSERT_TRUE(a && b);
    EXPECT_EQ(bar_window(BAR_SWITCHBAR), bar);
    EXPECT_EQ(bar->objectName(), "Kest_SwitchBar");
    // The status first, then the channels, then the query.
    EXPECT_EQ(button_labels(), (std::vector<std::string>{"irc.test me", "#a", "#b", "peer"}));

    const int a_number = a->number;
    leave("#a");
    pump();
    EXPECT_EQ(win_record_by_id(a_number), nullptr);
    EXPECT_EQ(button_labels(), (std::vector<std::string>{"irc.test me", "#b", "peer"}));
    // The remaining buttons close up: #b takes the place #a had.
    SwitchbarButton* bb = switchbar_button_of(b);
    ASSERT_TRUE(bb);
    EXPECT_EQ(bb->place, 2);
}

// The option to sort the buttons ("n6" position 1) orders the channels by
// name; while it is off they keep the order they were joined in.
TEST_F(SwitchbarTest, TheSortOptionOrdersTheChannelsByName)
{
    const int saved = opt(OPT_SWITCHBAR_SORT);
    ASSERT_EQ(saved, 0);
    join("#zeta");
    join("#alpha");
    EXPECT_EQ(button_labels(), (std::vector<std::string>{"irc.test me", "#zeta", "#alpha"}));
    option_set_value(6, 1, 1);
    join("#mid");
    EXPECT_EQ(button_labels(), (std::vector<std::string>{"irc.test me", "#alpha", "#mid", "#zeta"}));
    option_set_value(6, 1, 0);
    join("#beta");
    EXPECT_EQ(button_labels(), (std::vector<std::string>{"irc.test me", "#zeta", "#alpha", "#mid", "#beta"}));
    opt_set(OPT_SWITCHBAR_SORT, saved);
}

TEST_F(SwitchbarTest, ClickingAButtonActivatesThatWindowAndAgainMinimisesIt)
{
    WindowRecord* a = join("#a");
    WindowRecord* b = join("#b");
    ASSERT_TRUE(a && b);
    win_activate(a->hwnd.get(), 0);
    pump();
    ASSERT_EQ(win_active.get(), a->hwnd.get());

    click_button(b);
    EXPECT_EQ(win_active.get(), b->hwnd.get()) << "the clicked window comes up";
    EXPECT_EQ(win_op_state(b->hwnd.get()), 0);

    click_button(b);
    EXPECT_TRUE(minimised(b)) << "a click on the active window's button minimises it";
    EXPECT_EQ(win_op_state(a->hwnd.get()), 0) << "the other window is left as it was";

    click_button(b);
    EXPECT_EQ(win_active.get(), b->hwnd.get()) << "a third click brings it back";
    EXPECT_EQ(win_op_state(b->hwnd.get()), 0);
}

TEST_F(SwitchbarTest, ClickRightAfterTheFrameCameForwardActivatesInsteadOfMinimising)
{
    WindowRecord* a = join("#a");
    ASSERT_TRUE(a);
    win_activate(a->hwnd.get(), 0);
    pump();
    switchbar_note_click_activation();
    click_button(a);
    EXPECT_EQ(win_op_state(a->hwnd.get()), 0) << "the click that brought the program forward keeps it up";
    // The record is cleared by that click: the next one minimises.
    click_button(a);
    EXPECT_TRUE(minimised(a));
}

TEST_F(SwitchbarTest, ShiftClickClosesCtrlClickMinimisesAltClickOnAChannelDoesNothing)
{
    WindowRecord* a = join("#a");
    WindowRecord* b = join("#b");
    ASSERT_TRUE(a && b);
    win_activate(a->hwnd.get(), 0);
    pump();

    click_button(b, Qt::AltModifier);
    EXPECT_EQ(win_active.get(), a->hwnd.get()) << "Alt on a channel button neither activates";
    EXPECT_EQ(win_op_state(b->hwnd.get()), 0) << "nor minimises";

    click_button(b, Qt::ControlModifier);
    EXPECT_TRUE(minimised(b));
    click_button(b, Qt::ControlModifier);
    EXPECT_TRUE(minimised(b)) << "a minimised window is left alone";

    const int b_number = b->number;
    click_button(a, Qt::ShiftModifier);
    pump();
    EXPECT_EQ(win_find_channel("#a", conn), nullptr) << "Shift+click closes";
    EXPECT_NE(win_record_by_id(b_number), nullptr);
}

TEST_F(SwitchbarTest, MessageColoursOnlyTheInactiveChannelThatGotIt)
{
    WindowRecord* a = join("#a");
    WindowRecord* b = join("#b");
    WindowRecord* c = join("#c");
    ASSERT_TRUE(a && b && c);
    win_activate(a->hwnd.get(), 0);
    pump();
    QColor message;
    ASSERT_TRUE(switchbar_activity_colour(1, &message));
    const QColor plain = bar->palette().color(QPalette::ButtonText);
    ASSERT_NE(message, plain);
    EXPECT_EQ(switchbar_button_text_colour(b), plain);

    feed(":peer!u@h PRIVMSG #b :hello there");
    EXPECT_EQ(b->activity, kActivityMessage);
    EXPECT_EQ(switchbar_button_text_colour(b), message);
    EXPECT_EQ(switchbar_button_text_colour(c), plain) << "another channel's button stays as it was";
    EXPECT_TRUE(button_shows_colour(bar, b, message));
    EXPECT_FALSE(button_shows_colour(bar, c, message));

    // The same message again changes nothing more; activating clears it.
    feed(":peer!u@h PRIVMSG #b :hello again");
    EXPECT_EQ(switchbar_button_text_colour(b), message);
    click_button(b);
    EXPECT_EQ(b->activity, kActivityNone);
    EXPECT_EQ(switchbar_button_text_colour(b), plain);
    EXPECT_FALSE(button_shows_colour(bar, b, message));
}

TEST_F(SwitchbarTest, ActivityColourOptionsOutOfRangeReadAsTheirDefaultsAndZeroMeansNone)
{
    struct Case {
        int stored;
        bool has_colour;
        int palette_index;
    } cases[] = {
        {0, false, 0}, {1, true, 0}, {16, true, 15}, {17, true, 4}, {-1, true, 4}, {5, true, 4},
    };
    for (const Case& c : cases) {
        opt_set(OPT_ACTIVITY_COLOUR_MESSAGE, c.stored);
        QColor got;
        EXPECT_EQ(switchbar_activity_colour(1, &got), c.has_colour) << c.stored;
        if (c.has_colour) {
            EXPECT_EQ(got, QColor::fromRgb(colour_palette_rgb(c.palette_index))) << c.stored;
        }
    }
    EXPECT_FALSE(switchbar_activity_colour(0, nullptr));
    EXPECT_FALSE(switchbar_activity_colour(4, nullptr));
}

TEST_F(SwitchbarTest, CollapsedStatusHidesItsChannelsAndShowsTheirStrongestLevel)
{
    WindowRecord* a = join("#a");
    WindowRecord* b = join("#b");
    ASSERT_TRUE(a && b);
    win_activate(status->hwnd.get(), 0);
    pump();
    click_button(status, Qt::AltModifier);
    EXPECT_EQ(status->status_expanded, 0);
    EXPECT_EQ(button_labels(), (std::vector<std::string>{"irc.test me"}));
    EXPECT_EQ(switchbar_button_shown(a), 0);

    a->activity = kActivityText;
    b->activity = kActivityMessage;
    EXPECT_EQ(switchbar_button_level(status), kActivityMessage) << "message beats other text";
    a->activity = kActivityHighlight;
    EXPECT_EQ(switchbar_button_level(status), kActivityHighlight) << "highlight beats message";

    // The group popup lists the grouped windows with a tick for activity.
    QWidget* popup = switchbar_group_popup(status);
    ASSERT_TRUE(popup);
    const auto actions = popup->actions();
    ASSERT_EQ(actions.size(), 2);
    EXPECT_TRUE(actions[0]->isChecked());
    actions[1]->trigger();
    pump();
    EXPECT_EQ(win_active.get(), b->hwnd.get());
    delete popup;

    click_button(status, Qt::AltModifier);
    EXPECT_EQ(status->status_expanded, 1);
    EXPECT_EQ(button_labels().size(), 3u);
}

TEST_F(SwitchbarTest, GroupPopupOfAStatusWithoutChannelsIsDiscarded)
{
    WindowRecord* a = join("#a");
    ASSERT_TRUE(a);
    switchbar_toggle_group(status);
    leave("#a");
    pump();
    EXPECT_EQ(switchbar_group_popup(status), nullptr);
    EXPECT_EQ(switchbar_toggle_group(nullptr), 0);
}

TEST_F(SwitchbarTest, LabelsByWindowKind)
{
    struct Case {
        int type;
        int subtype;
        const char* name;
        const char* label;  // null: no button
    } cases[] = {
        {kWinChannel, 0, "#kest", "#kest"},
        {kWinQuery, kQueryPrivate, "Nick", "Nick"},
        {kWinQuery, kQueryMessages, "Message Window", "Messages"},
        {kWinQuery, kQueryDccChat, "=Bob Bob", "Bob"},
        {kWinQuery, kQueryFserve, "Bob", "Bob"},      // no blank: the whole name
        {kWinQuery, kQueryFserve, "Bob ", "Bob "},    // nothing after the blank
        {kWinTransfer, 1, "file.txt", "file.txt"},
        {kWinChanList, 0, "x", "Channels List"},
        {kWinFinger, 0, "x", "Finger"},
        {kWinUrls, 0, "x", "Urls List"},
        {kWinNotify, 0, "x", "Notify List"},
        {kWinLinks, 0, "x", "Links List"},
        {kWinCustom, 0, "@pic", "@pic"},
        {42, 0, "x", nullptr},
    };
    for (const Case& c : cases) {
        WindowRecord* r = win_record_new(1);
        ASSERT_TRUE(r);
        r->type = c.type;
        r->subtype = c.subtype;
        r->name = c.name;
        r->conn = conn;
        const char* got = switchbar_button_label(r);
        if (c.label) {
            EXPECT_STREQ(got, c.label) << c.name;
        } else {
            EXPECT_EQ(got, nullptr) << c.type;
        }
        win_record_free(r);
    }
    WindowRecord loose;
    EXPECT_EQ(switchbar_button_label(&loose), nullptr) << "a record that is not listed is refused";
    // A long name is cut at the buffer's size.
    WindowRecord* r = win_record_new(1);
    r->type = kWinChannel;
    r->name = std::string(5000, 'x');
    EXPECT_EQ(std::string(switchbar_button_label(r)).size(), 4200u);
    win_record_free(r);
}

// Windows of one group (the status and its channels) without windows of
// their own: only the layout reads them.
std::vector<WindowRecord*> add_channels(Connection* conn, int n)
{
    std::vector<WindowRecord*> out;
    for (int i = 0; i < n; ++i) {
        WindowRecord* r = win_record_new(1);
        r->type = kWinChannel;
        r->name = "#c" + std::to_string(i);
        r->conn = conn;
        out.push_back(r);
    }
    return out;
}

TEST_F(SwitchbarTest, RowSearchSettlesOnTheFewestRowsWithButtonsWiderThan57)
{
    struct Case {
        int buttons;     // with the status button
        int limit;
        int rows;        // extra rows found
        int text_width;
        int reported;
    } cases[] = {
        {30, 1, 1, 58, 1},    // one row gives 25; two rows give 58
        {200, 0, 0, 16, 0},   // one and two rows both give 16: step back to one
        {10, 1, 0, 91, 0},    // (990 - 70) / 10 - 1 on one row, no change
        {2, 1, 0, 115, 0},    // capped by the button size limit
        {2, 0, 0, 487, 0},    // not capped without it
    };
    for (const Case& c : cases) {
        add_channels(conn, c.buttons - 1);
        switchbar_set_extra_rows(0);
        opt_set(OPT_SWITCHBAR_LIMIT_BUTTONS, c.limit);
        EXPECT_EQ(switchbar_layout(), c.reported) << c.buttons;
        EXPECT_EQ(switchbar_extra_rows(), c.rows) << c.buttons;
        EXPECT_EQ(switchbar_text_width(), c.text_width) << c.buttons;
        // Laid out again from the rows found, nothing changes.
        EXPECT_EQ(switchbar_layout(), 0) << c.buttons;
        EXPECT_EQ(switchbar_extra_rows(), c.rows) << c.buttons;
        for (WindowRecord* r = win_list; r;) {
            WindowRecord* next = r->next;
            if (r->type == kWinChannel)
                win_record_free(r);
            r = next;
        }
    }
}

TEST_F(SwitchbarTest, ButtonsStayInsideTheirRowAndOverflowBelowTheBar)
{
    opt_set(OPT_SWITCHBAR_LIMIT_BUTTONS, 0);
    auto chans = add_channels(conn, 199);
    switchbar_layout();
    const int rh = 29;
    int last_bottom = 0;
    for (WindowRecord* r = win_list; r; r = r->next) {
        SwitchbarButton* b = switchbar_button_of(r);
        ASSERT_GT(b->place, 0);
        EXPECT_TRUE(b->rect.right < bar->width() - 3 || b->rect.left == 9) << b->place;
        EXPECT_EQ(b->rect.right - b->rect.left, 16 + 4);
        last_bottom = std::max(last_bottom, b->rect.bottom);
    }
    EXPECT_GT(last_bottom, bar->height()) << "buttons that do not fit lie below the bar";
    // The first row starts at the top side's offset.
    SwitchbarButton* first = switchbar_button_of(status);
    EXPECT_EQ(first->rect.top, 2);
    EXPECT_EQ(first->rect.bottom, rh - 6);
    EXPECT_EQ(first->rect.left, 9) << "after the grip";
}

TEST_F(SwitchbarTest, AGroupGapSeparatesConnectionsAndApartWindows)
{
    Connection* other = conn_new_with_status(conn_list);
    ASSERT_TRUE(other);
    WindowRecord* urls = win_record_new(1);
    urls->type = kWinUrls;
    urls->conn = conn;
    switchbar_layout();
    WindowRecord* status2 = win_find_by_type(kWinStatus, other);
    ASSERT_TRUE(status2);
    SwitchbarButton* s1 = switchbar_button_of(status);
    SwitchbarButton* s2 = switchbar_button_of(status2);
    SwitchbarButton* u = switchbar_button_of(urls);
    EXPECT_EQ(s1->group_start, 0);
    EXPECT_EQ(s2->group_start + u->group_start, 2) << "each new group starts with a separator";
    // The two buttons of different groups lie 4 + 9 pixels apart.
    EXPECT_EQ(s2->rect.left - s1->rect.right, 13);
}

TEST_F(SwitchbarTest, WindowsThatWantNoButtonLeaveAnEmptyBar)
{
    status->bar_flags = 2;  // a treebar item only
    EXPECT_EQ(switchbar_layout(), 0);
    EXPECT_TRUE(button_labels().empty());
    EXPECT_TRUE(bar->findChildren<QToolButton*>().isEmpty()) << "no scroll buttons";
    status->bar_flags = 3;
    WindowRecord* r = add_channels(conn, 1)[0];
    r->conn = nullptr;
    EXPECT_EQ(switchbar_button_shown(r), 0) << "a window without a status window gives no button";
    r->conn = conn;
    EXPECT_EQ(switchbar_button_shown(r), 1);
    opt_set(OPT_SWITCHBAR_DCC_WINDOWS, 0);
    r->type = kWinTransfer;
    EXPECT_EQ(switchbar_button_shown(r), 0) << "DCC transfer windows are not shown";
    // With the bar off nothing is laid out.
    r->type = kWinChannel;
    opt_set(OPT_SWITCHBAR_SHOWN, 0);
    switchbar_layout();
    EXPECT_TRUE(button_labels().empty());
}

TEST_F(SwitchbarTest, SideBarStacksButtonsAndScrollsWithTheWheel)
{
    opt_set(OPT_SWITCHBAR_SIDE, 2);
    bar->setGeometry(0, 0, 115, 200);
    add_channels(conn, 19);
    switchbar_layout();
    SwitchbarButton* first = switchbar_button_of(status);
    EXPECT_EQ(first->rect.top, 5 + 4);
    EXPECT_EQ(first->rect.right - first->rect.left, 113);
    EXPECT_EQ(first->rect.bottom - first->rect.top, 29 - 3);
    ASSERT_EQ(bar->findChildren<QToolButton*>().size(), 1) << "the down button appears";

    QWheelEvent down(QPointF(50, 50), bar->mapToGlobal(QPointF(50, 50)), QPoint(), QPoint(0, -240), Qt::NoButton,
                     Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(bar, &down);
    EXPECT_EQ(switchbar_scroll_offset(), 2);
    EXPECT_EQ(switchbar_button_of(status)->place, 0) << "scrolled out of view";
    for (int i = 0; i < 40; ++i) {
        QApplication::sendEvent(bar, &down);
    }
    // Six buttons fit in 200 pixels: at most 20 - 6 are skipped.
    EXPECT_EQ(switchbar_scroll_offset(), 14) << "never past the last button";
    EXPECT_TRUE(bar->findChildren<QToolButton*>().size() == 1) << "only the up button is left";
    switchbar_set_scroll_offset(-5);
    EXPECT_EQ(switchbar_scroll_offset(), 0);
}

TEST_F(SwitchbarTest, SwitchbarCommandHidesAndShowsTheBarOnceAndEchoes)
{
    ASSERT_TRUE(bar->isVisible());
    EXPECT_NE(type("/switchbar").find("* Switchbar gösterimi açık"), std::string::npos);
    EXPECT_NE(type("/switchbar off").find("* Switchbar gösterimi kapalı"), std::string::npos);
    EXPECT_FALSE(bar->isVisible());
    EXPECT_EQ(opt(OPT_SWITCHBAR_SHOWN), 0);
    // Given twice, the toggle is sent only once: the bar stays off.
    type("/switchbar off");
    EXPECT_EQ(opt(OPT_SWITCHBAR_SHOWN), 0);
    EXPECT_FALSE(bar->isVisible());
    EXPECT_EQ(type("/switchbar maybe"), "") << "another word does nothing";
    EXPECT_EQ(type("/.switchbar on"), "") << "no echo with the quiet prefix";
    EXPECT_TRUE(bar->isVisible());
    EXPECT_EQ(opt(OPT_SWITCHBAR_SHOWN), 1);
    // The setting is saved.
    EXPECT_NE(slurp(settings.path() + "kest.ini").find("n5="), std::string::npos);
}

TEST_F(SwitchbarTest, BlinkingRunsWhileAWindowWantsItAndStops)
{
    WindowRecord* a = join("#a");
    WindowRecord* q = win_record_new(1);
    q->type = kWinQuery;
    q->subtype = kQueryPrivate;
    q->conn = conn;
    ASSERT_TRUE(a && q);
    struct Case {
        WindowRecord* rec;
        int type, subtype, level, wanted;
    } cases[] = {
        {a, kWinChannel, 0, 1, 0},  {a, kWinChannel, 0, 2, 1},  {a, kWinChannel, 0, 3, 0},
        {q, kWinQuery, 1, 1, 1},    {q, kWinQuery, 1, 0, 0},    {q, kWinQuery, 2, 1, 0},
        {q, kWinQuery, 2, 2, 1},    {q, kWinQuery, 4, 2, 0},    {q, kWinQuery, 3, 1, 1},
        {q, kWinCustom, 0, 2, 0},
    };
    for (const Case& c : cases) {
        c.rec->type = c.type;
        c.rec->subtype = c.subtype;
        c.rec->activity = c.level;
        EXPECT_EQ(switchbar_blink_wanted(c.rec), c.wanted) << c.type << "/" << c.subtype << " at " << c.level;
    }
    q->type = kWinQuery;
    q->subtype = kQueryPrivate;
    q->activity = 1;
    opt_set(OPT_SWITCHBAR_BLINK, 0);
    EXPECT_EQ(switchbar_blink_wanted(q), 0) << "blinking is off";
    opt_set(OPT_SWITCHBAR_BLINK, 1);

    switchbar_blink_start();
    EXPECT_TRUE(frame_timer_is_running(FRAME_TIMER_BLINK));
    EXPECT_EQ(frame_timer_interval(FRAME_TIMER_BLINK), 500);
    frame_on_timer(FRAME_TIMER_BLINK);
    EXPECT_EQ(switchbar_blink_phase(), 1);
    frame_on_timer(FRAME_TIMER_BLINK);
    EXPECT_EQ(switchbar_blink_phase(), 0);
    frame_on_timer(FRAME_TIMER_BLINK);
    q->activity = 0;
    a->activity = 0;
    frame_on_timer(FRAME_TIMER_BLINK);
    EXPECT_FALSE(frame_timer_is_running(FRAME_TIMER_BLINK)) << "nothing wants to blink any more";
    EXPECT_EQ(switchbar_blink_phase(), 0);
    switchbar_blink_start();
    EXPECT_FALSE(frame_timer_is_running(FRAME_TIMER_BLINK)) << "not started without a blinking window";
    EXPECT_EQ(switchbar_blink_wanted(nullptr), 0);
}

TEST(SwitchbarColours, ShiftAndOffsetKeepEveryChannelInRange)
{
    struct Shift {
        int in, amount, out;
    } shifts[] = {
        {250, 17, 233}, {10, 17, 27}, {238, 17, 255}, {239, 17, 222}, {0, -10, 10}, {10, -10, 0}, {128, 0, 128},
    };
    for (const Shift& s : shifts) {
        const QRgb got = color_shift_channels(qRgb(s.in, s.in, s.in), s.amount);
        EXPECT_EQ(qRed(got), s.out) << s.in << " by " << s.amount;
        EXPECT_EQ(qGreen(got), s.out);
        EXPECT_EQ(qBlue(got), s.out);
    }
    // Red gets amount + 5, green the amount, blue amount - 5; out of range
    // reflects back.
    QRgb o = color_offset_channels(qRgb(2, 100, 100), -10);
    EXPECT_EQ(qRed(o), 7);
    EXPECT_EQ(qGreen(o), 90);
    EXPECT_EQ(qBlue(o), 85);
    o = color_offset_channels(qRgb(255, 255, 3), 10);
    EXPECT_EQ(qRed(o), 240);
    EXPECT_EQ(qGreen(o), 245);
    EXPECT_EQ(qBlue(o), 8);
}

// Each repaint walks the window list a fixed number of times: a thousand
// windows with a message each cost about four times what 250 do, not
// sixteen times.
TEST_F(SwitchbarTest, RepaintsGrowLinearlyWithTheWindows)
{
    auto run = [&](int n) {
        bar_test_clear_windows();
        Connection* c = conn_new_with_status(conn_list);
        auto chans = add_channels(c, n);
        switchbar_repaint();
        // Processor time: the work, not what else the machine runs.
        double best = -1;
        for (int round = 0; round < 3; ++round) {
            const double start = thread_cpu_ms();
            for (int i = 0; i < 40; ++i) {
                chans[static_cast<std::size_t>(i * 7 % n)]->activity = 1 + i % 3;
                switchbar_repaint();
                bar->repaint();
            }
            const double ms = thread_cpu_ms() - start;
            best = best < 0 ? ms : std::min(best, ms);
        }
        return best;
    };
    run(50);  // warm up
    const double small = run(250);
    const double large = run(1000);
    EXPECT_LT(large, small * 10) << small << " ms for 250, " << large << " ms for 1000";
}

}  // namespace

namespace {

QMenu* open_popup()
{
    BarTest::pump();
    return qobject_cast<QMenu*>(QApplication::activePopupWidget());
}

QAction* action_with_id(QMenu* menu, int id)
{
    for (QAction* a : menu->actions()) {
        if (a->data().toInt() == id && !a->menu())
            return a;
        if (a->menu())
            if (QAction* found = action_with_id(a->menu(), id))
                return found;
    }
    return nullptr;
}

TEST_F(SwitchbarTest, RightClickBesideTheButtonsOpensTheBarPopupThatMovesTheBar)
{
    switchbar_repaint();
    QTest::mouseClick(bar, Qt::RightButton, Qt::NoModifier, QPoint(bar->width() - 20, 10));
    QMenu* menu = open_popup();
    ASSERT_TRUE(menu);
    QAction* top = action_with_id(menu, 7012);
    QAction* left = action_with_id(menu, 7013);
    ASSERT_TRUE(top && left);
    EXPECT_TRUE(top->isChecked()) << "the current side is ticked";
    EXPECT_FALSE(left->isChecked());
    EXPECT_EQ(action_with_id(menu, 7050), nullptr) << "the treebar's entries are not offered";
    ASSERT_TRUE(action_with_id(menu, 7016));
    left->trigger();
    menu->close();
    pump();
    EXPECT_EQ(opt(OPT_SWITCHBAR_SIDE), 2);
    EXPECT_NE(slurp(settings.path() + "kest.ini").find("n4="), std::string::npos);
    // The same side again changes nothing.
    EXPECT_EQ(bar_popup_command(BAR_SWITCHBAR, 7013), 1);
    EXPECT_EQ(opt(OPT_SWITCHBAR_SIDE), 2);
    EXPECT_EQ(bar_popup_command(BAR_SWITCHBAR, 7050), 0) << "a treebar choice is not the switchbar's";
}

TEST_F(SwitchbarTest, TheFramesLayoutGivesTheBarItsRowsAndHidesItWhenOff)
{
    frame_layout();
    pump();
    EXPECT_TRUE(bar->isVisible());
    EXPECT_EQ(bar->height(), switchbar_wanted_thickness());
    EXPECT_EQ(bar->y(), 0) << "at the top";
    type("/switchbar off");
    EXPECT_FALSE(bar->isVisible());
    type("/switchbar on");
    EXPECT_TRUE(bar->isVisible());
}

}  // namespace

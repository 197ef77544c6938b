#define KEST_TEST_WIDGETS
#include "irc/messages_fixture.h"

#include <QApplication>
#include <QMainWindow>
#include <QSystemTrayIcon>
#include <QMenu>
#include <QTest>
#include <QWindow>

#include "app/child_widgets.h"
#include "app/startup.h"
#include "app/window_ops.h"
#include "core/options.h"
#include "display/highlight.h"
#include "model/line_buffer.h"
#include "support/hook_guard.h"
#include <QScreen>
#include "bars/tips.h"
#include "bars/tray_icon.h"
#include "commands/output_commands.h"
#include "core/numbered_texts.h"

using namespace chat_test;

namespace {

// A double-click that closes a tip leaves its last press without a release:
// the button comes up over another window, so that no later test starts
// with it held down.
void let_the_button_up()
{
    for (QWindow* w : QGuiApplication::topLevelWindows())
        if (w->isVisible()) {
            QTest::mouseRelease(w, Qt::LeftButton, {}, QPoint(1, 1));
            break;
        }
    EXPECT_EQ(QGuiApplication::mouseButtons(), Qt::NoButton);
}

struct Printed {
    static inline std::vector<std::string> lines;
    static inline std::vector<std::string> errors;
    static void error(QWidget*, const std::string& text, int) { errors.push_back(text); }
    static void print(QWidget*, int, const std::string& text, const EchoPrintOptions&, int)
    {
        lines.push_back(text);
    }
};

// The message fixture with the program's frame, tips wired, the tip options
// at their defaults, and no tips before or after.
class TipsTest : public ChatTest {
protected:
    void SetUp() override
    {
        app_wire_windows();
        ChatTest::SetUp();
        frame_window = frame;
        app_wire_tips();
        output_print = Printed::print;
        script_echo_line = Printed::error;
        Printed::lines.clear();
        Printed::errors.clear();
        tipopts_load();
        tip_free_all();
        tray_free();
    }
    void TearDown() override
    {
        tip_free_all();
        tray_free();
        pump();
        frame_window = nullptr;
        ChatTest::TearDown();
    }
    // The foreground elsewhere (another program has it).
    static void foreground_elsewhere() { QApplication::setActiveWindow(nullptr); }
    static void foreground_frame()
    {
        frame->show();
        frame->showNormal();
        QApplication::setActiveWindow(frame);
    }
    // Runs every tip's timer once, as the 100 ms ticks do.
    static void tick_all()
    {
        std::vector<Tip*> tips;
        for (Tip* t = tip_list; t; t = t->next)
            tips.push_back(t);
        for (Tip* t : tips)
            tip_timer(t);
    }
    std::string run(const std::string& line)
    {
        said.clear();
        Printed::errors.clear();
        script_error_clear();
        script_exec_line(status()->hwnd.get(), line.c_str(), nullptr, 1, nullptr, nullptr, conn);
        return said.empty() ? std::string("<nothing>") : said.back();
    }
    int make(const std::string& name, const std::string& title, const std::string& text, int seconds = 0)
    {
        return tip_show(status(), name, title, text, seconds, std::string(), 0, std::string(), 0, nullptr);
    }
};

// ---- Event tips from server lines ----

TEST_F(TipsTest, PrivateMessageWhileForegroundIsElsewhereShowsItsTip)
{
    tipopt_set(TIPOPT_PRIV_MESSAGE, 1);
    foreground_elsewhere();
    ASSERT_EQ(app_foreground_kind(), 0);
    feed(":bob!u@h PRIVMSG me :hello there");
    ASSERT_EQ(tip_count(), 1);
    const Tip* t = tip_list;
    EXPECT_EQ(t->name, "message");
    EXPECT_EQ(t->title, text_load_string(6303));
    EXPECT_EQ(t->title2, "srv");  // no network name: the server's
    EXPECT_EQ(t->text, text_fill_id(323, {"bob"}) + "hello there");
    EXPECT_EQ(t->kind, 3);
    WindowRecord* query = win_find_by_name("bob", conn);
    ASSERT_NE(query, nullptr);
    EXPECT_EQ(t->window, query);
    EXPECT_EQ(t->total_ms, (10 + static_cast<int>(t->text.size()) / 50) * 1000);
}

TEST_F(TipsTest, EventTipsStaySilentWhereTheyAreNotWanted)
{
    struct Case {
        const char* what;
        int priv_option;
        int enabled;
        const char* query_setting;  // ini "tips" value for bob, "" none
        bool frame_active;
        const char* line;
    } cases[] = {
        {"option of private messages off", 0, 1, "", false, ":bob!u@h PRIVMSG me :hi"},
        {"tips off", 1, 0, "", false, ":bob!u@h PRIVMSG me :hi"},
        {"the query's tips off", 1, 1, "off", false, ":bob!u@h PRIVMSG me :hi"},
        {"the frame in the foreground", 1, 1, "", true, ":bob!u@h PRIVMSG me :hi"},
        {"channel text with channel tips off", 1, 1, "", false, ":a!u@h PRIVMSG #c :hi"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        tip_free_all();
        tipopt_set(TIPOPT_PRIV_MESSAGE, c.priv_option);
        tipopt_set(TIPOPT_ENABLED, c.enabled);
        ini_write("tips", "bob", *c.query_setting ? c.query_setting : nullptr, std::string());
        if (c.frame_active)
            foreground_frame();
        else
            foreground_elsewhere();
        feed(c.line);
        EXPECT_EQ(tip_count(), 0);
    }
    // The query's own "on" wins over tips switched off.
    tipopt_set(TIPOPT_ENABLED, 0);
    tipopt_set(TIPOPT_PRIV_MESSAGE, 1);
    ini_write("tips", "bob", "on", std::string());
    foreground_elsewhere();
    EXPECT_EQ(tip_enabled_for_window(win_find_by_name("bob", conn)), 1);
    EXPECT_EQ(tip_enabled_for_window(nullptr), 0);
}

TEST_F(TipsTest, MessagesOfOneSenderMergeIntoOneTipOthersStackBelow)
{
    tipopt_set(TIPOPT_PRIV_MESSAGE, 1);
    foreground_elsewhere();
    feed(":bob!u@h PRIVMSG me :one");
    feed(":bob!u@h PRIVMSG me :two");
    feed(":bob!u@h PRIVMSG me :three");
    ASSERT_EQ(tip_count(), 1);
    const std::string head = text_fill_id(323, {"bob"});
    EXPECT_EQ(tip_list->text, head + "one\r\n\x0f\x0f" + head + "two\r\n\x0f\x0f" + head + "three");
    EXPECT_EQ(tip_list->lines.size(), 3u);
    feed(":amy!u@h PRIVMSG me :other");
    ASSERT_EQ(tip_count(), 2);
    EXPECT_EQ(tip_list->next->text, text_fill_id(323, {"amy"}) + "other");
}

TEST_F(TipsTest, EachEventKindShowsItsTipOnlyWithItsOption)
{
    struct Case {
        int option;
        const char* line;  // "$" stands for the member who acts
        int type;
        int title;
        std::string (*text)(const std::string& n);
    } cases[] = {
        {TIPOPT_CHAN_MESSAGE, ":$!u@h PRIVMSG #c :hello", 1, 6301,
         [](const std::string& n) { return text_fill_id(321, {n, "#c"}) + "hello"; }},
        {TIPOPT_CHAN_MESSAGE, ":$!u@h PRIVMSG #c :\x01" "ACTION waves\x01", 2, 6302,
         [](const std::string& n) { return text_fill_id(322, {n, "#c"}) + "waves"; }},
        {TIPOPT_CHAN_NOTICE, ":$!u@h NOTICE #c :hey", 5, 6305,
         [](const std::string& n) { return text_fill_id(325, {n, "#c"}) + "hey"; }},
        {TIPOPT_PRIV_NOTICE, ":$!u@h NOTICE me :hey", 6, 6306,
         [](const std::string& n) { return text_fill_id(326, {n}) + "hey"; }},
        {TIPOPT_CHAN_JOINPART, ":$!u@h PART #c :bye", 13, 6311,
         [](const std::string& n) { return text_fill_id(334, {n, "#c"}); }},
        {TIPOPT_CHAN_KICK, ":a!u@h KICK #c $ :out", 15, 6312,
         [](const std::string& n) { return text_fill_id(336, {n, "#c", "a"}); }},
        {TIPOPT_CHAN_TOPIC, ":$!u@h TOPIC #c :new topic", 40, 6325,
         [](const std::string& n) { return text_fill_id(366, {n, "#c", "new topic"}); }},
        {TIPOPT_CHAN_MODE, ":$!u@h MODE #c +m", 34, 6322,
         [](const std::string& n) { return text_fill_id(357, {n, "#c", "+m"}); }},
        {TIPOPT_CHAN_QUIT, ":$!u@h QUIT :gone", 39, 6324,
         [](const std::string& n) { return text_fill_id(365, {n, "gone"}); }},
        {TIPOPT_CHAN_NICK, ":$!u@h NICK $2", 17, 6313,
         [](const std::string& n) { return text_fill_id(338, {n, n + "2"}); }},
        {TIPOPT_INVITE, ":$!u@h INVITE me :#x", 18, 6314,
         [](const std::string& n) { return text_fill_id(339, {n, "#x"}); }},
    };
    foreground_elsewhere();
    for (int n = TIPOPT_CHAN_MESSAGE; n <= TIPOPT_AWAY; ++n)
        tipopt_set(n, 0);
    int k = 0;
    for (const Case& c : cases) {
        for (int on : {0, 1}) {
            const std::string nick = "m" + std::to_string(++k);
            nicklist_update(nick, chan, kNickAddOrChange, 1);
            std::string line = c.line;
            for (std::size_t at; (at = line.find('$')) != std::string::npos;)
                line.replace(at, 1, nick);
            SCOPED_TRACE(line + (on ? " (option on)" : " (option off)"));
            tip_free_all();
            tipopt_set(c.option, on);
            feed(line);
            tipopt_set(c.option, 0);
            if (!on) {
                EXPECT_EQ(tip_count(), 0);
                continue;
            }
            ASSERT_EQ(tip_count(), 1);
            EXPECT_EQ(tip_list->kind, c.type);
            EXPECT_EQ(tip_list->title, text_load_string(c.title));
            EXPECT_EQ(tip_list->name, c.type <= 4 ? "message" : "event");
            EXPECT_EQ(tip_list->text, c.text(nick));
        }
    }
}

TEST_F(TipsTest, ActivatingTheProgramClosesEventTipsButNotScriptTips)
{
    tipopt_set(TIPOPT_PRIV_MESSAGE, 1);
    foreground_elsewhere();
    feed(":bob!u@h PRIVMSG me :hi");
    ASSERT_EQ(make("mine", "Title", "text"), 2);
    // Activation while the foreground is elsewhere changes nothing.
    tips_close_on_activate(frame);
    EXPECT_EQ(tip_count(), 2);
    foreground_frame();
    tips_close_on_activate(frame);
    ASSERT_EQ(tip_count(), 1);
    EXPECT_EQ(tip_list->name, "mine");
    // Again: the script tip stays.
    tips_close_on_activate(frame);
    EXPECT_EQ(tip_count(), 1);
}

TEST_F(TipsTest, ScriptTipsShowWhileTheFrameIsInTheForeground)
{
    foreground_frame();
    EXPECT_EQ(make("mine", "Title", "text"), 1);
}

TEST_F(TipsTest, HighlightedLineShowsTheHighlightTipWithTheEntrysTime)
{
    SavedValues saved{highlight_entries};
    print_hooks.highlight_match = highlight_print_match;
    opt_set(OPT_HIGHLIGHT_ENABLED, 1);
    HighlightEntry plain_entry;
    plain_entry.words.push_back({"kestword", kHighlightPlain});
    plain_entry.tip = 1;
    plain_entry.tip_seconds = 7;
    HighlightEntry message_entry = plain_entry;
    message_entry.words[0].text = "otherword";
    message_entry.message = "look here";
    HighlightEntry silent_entry = plain_entry;
    silent_entry.words[0].text = "quietword";
    silent_entry.tip = 0;
    highlight_entries = {plain_entry, message_entry, silent_entry};
    foreground_elsewhere();

    feed(":a!u@h PRIVMSG #c :say kestword now");
    ASSERT_EQ(tip_count(), 1);
    EXPECT_EQ(tip_list->kind, 50);
    EXPECT_EQ(tip_list->title, text_load_string(6327));
    EXPECT_EQ(tip_list->text, "#c: matched 'kestword'");
    EXPECT_EQ(tip_list->total_ms, 7000);
    tip_free_all();
    feed(":a!u@h PRIVMSG #c :otherword");
    ASSERT_EQ(tip_count(), 1);
    EXPECT_EQ(tip_list->text, "#c: look here");
    tip_free_all();
    // An entry without a tip, and a channel whose tips are off: none.
    feed(":a!u@h PRIVMSG #c :quietword");
    EXPECT_EQ(tip_count(), 0);
    tip_window_setting_set(chan, 0);
    feed(":a!u@h PRIVMSG #c :kestword");
    EXPECT_EQ(tip_count(), 0);
}

TEST_F(TipsTest, RemainingTimeBarShrinksAsTimePasses)
{
    ASSERT_EQ(make("a", "Title", "text", 10), 1);
    for (int i = 0; i < 10; ++i)
        tick_all();
    ASSERT_TRUE(tip_list->shown);
    auto red_pixels = [] {
        const QImage img = tip_list->hwnd->grab().toImage();
        int n = 0;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x)
                n += img.pixelColor(x, y) == QColor(255, 0, 0);
        return n;
    };
    const int full = red_pixels();
    EXPECT_GT(full, 0);
    for (int i = 0; i < 50; ++i)
        tick_all();
    const int half = red_pixels();
    EXPECT_GT(half, 0);
    EXPECT_LT(half, full);
}

// ---- Making tips ----

TEST_F(TipsTest, TimeFollowsSecondsAndTextLengthWithinThreeToSixty)
{
    struct Case {
        int seconds;
        std::size_t text_length;
        int expected_seconds;
    } cases[] = {
        {0, 10, 10},   // default time
        {10, 600, 22},
        {100, 10, 60},
        {1, 10, 3},
        {-5, 49, 10},
        {3, 1, 3},
        {59, 50, 60},
        {58, 50, 59},
    };
    for (const Case& c : cases) {
        tip_free_all();
        ASSERT_EQ(make("t", "Title", std::string(c.text_length, 'x'), c.seconds), 1);
        EXPECT_EQ(tip_list->total_ms, c.expected_seconds * 1000) << c.seconds << " s, " << c.text_length;
        EXPECT_EQ(tip_list->remaining_ms, tip_list->total_ms);
    }
}

TEST_F(TipsTest, MissingPartsAndBadIconsGiveTheirCodes)
{
    struct Case {
        const char* what;
        std::string name, title, text, icon, alias;
        int expected;
    } cases[] = {
        {"no name", "", "T", "x", "", "", -1},
        {"no title", "n", "", "x", "", "", -1},
        {"title of breaks only", "n", "\r\n \r\n", "x", "", "", -1},
        {"no text", "n", "T", "", "", "", -1},
        {"too long an alias", "n", "T", "x", "", std::string(4151, 'a'), -1},
        {"an icon that does not load", "n", "T", "x", "/nonexistent/icon.ico", "", -2},
        {"alias exactly at the limit", "n", "T", "x", "", std::string(4150, 'a'), 1},
    };
    for (const Case& c : cases) {
        tip_free_all();
        EXPECT_EQ(tip_show(status(), c.name, c.title, c.text, 0, c.icon, 0, c.alias, 0, nullptr), c.expected)
            << c.what;
    }
    tip_free_all();
    EXPECT_EQ(tip_show(nullptr, "n", "T", "x", 0, "", 0, "", 0, nullptr), 0);
    EXPECT_EQ(tip_count(), 0);
}

TEST_F(TipsTest, TitleSplitsAtItsFirstBreakAndLosesOtherBreaks)
{
    ASSERT_EQ(make("n", "\r\n  First\rA\r\n\r\n  Second\nB", "x"), 1);
    EXPECT_EQ(tip_list->title, "FirstA");
    EXPECT_EQ(tip_list->title2, "SecondB");
    tip_free_all();
    // Event tips put the network in the second line, whatever the title holds.
    conn->network = "Net";
    foreground_elsewhere();
    ASSERT_EQ(tip_show(status(), "event", "A\r\nB", "x", 0, "", 0, "", 19, nullptr), 1);
    EXPECT_EQ(tip_list->title, "AB");
    EXPECT_EQ(tip_list->title2, "Net");
}

TEST_F(TipsTest, HostileTextIsBoundedAndATruncatedTipTakesNoMerge)
{
    std::string hostile(20000, 'w');
    for (std::size_t i = 7; i < hostile.size(); i += 8)
        hostile[i] = ' ';
    hostile += std::string(50, '\x0f');
    ASSERT_EQ(make("n", std::string(5000, 'T'), hostile), 1);
    Tip* t = tip_list;
    EXPECT_LE(t->text.size(), 4150u);
    EXPECT_LE(t->title.size(), 1024u);
    EXPECT_EQ(t->truncated, 1);
    ASSERT_FALSE(t->lines.empty());
    const std::string& last = t->lines.back().text;
    EXPECT_EQ(last.substr(last.size() - 3), "...");
    const int half = frame->screen()->availableGeometry().height() / 2;
    EXPECT_LE(t->height, half);
    // The same source again: a tip of its own.
    ASSERT_EQ(make("n", std::string(5000, 'T'), "more"), 2);
    EXPECT_EQ(tip_count(), 2);
    // Doubled reset codes collapse into one.
    tip_free_all();
    ASSERT_EQ(make("n", "T", "a\x0f\x0f\x0f" "b"), 1);
    EXPECT_EQ(tip_list->text, "a\x0f" "b");
}

TEST_F(TipsTest, TheMaximumClosesTheOldestTips)
{
    for (int i = 1; i <= 30; ++i)
        ASSERT_EQ(make("t" + std::to_string(i), "Title " + std::to_string(i), "x"), i);
    EXPECT_EQ(tip_count(), 30);
    EXPECT_EQ(tip_list->name, "t1");
    EXPECT_EQ(make("t31", "Title 31", "x"), 30);
    EXPECT_EQ(tip_count(), 30);
    EXPECT_EQ(tip_list->name, "t2");
    EXPECT_EQ(tip_find_by_name("t1"), nullptr);
    // A lower maximum applied closes the oldest at once.
    int working[TIPOPT_COUNT];
    tip_options_apply(working, 0);
    working[TIPOPT_MAX_TIPS - 1] = 5;
    tip_options_apply(working, 1);
    EXPECT_EQ(tip_count(), 5);
    EXPECT_EQ(tip_list->name, "t27");
    // Switching tips off closes the rest.
    working[TIPOPT_ENABLED - 1] = 0;
    tip_options_apply(working, 1);
    EXPECT_EQ(tip_count(), 0);
}

// ---- Time and place ----

TEST_F(TipsTest, TipsCountDownByPositionAndCloseAfterTheirTime)
{
    ASSERT_EQ(make("a", "Title A", "x", 3), 1);
    ASSERT_EQ(make("b", "Title B", "x", 3), 2);
    QPointer<QWidget> first = tip_list->hwnd;
    // Until they are in place on screen, nothing counts.
    int ticks = 0;
    while (!(tip_list->shown && tip_list->next->shown) && ticks < 50) {
        tick_all();
        ++ticks;
    }
    ASSERT_TRUE(tip_list->shown && tip_list->next->shown);
    EXPECT_TRUE(first->isVisible());
    const int a0 = tip_list->remaining_ms, b0 = tip_list->next->remaining_ms;
    for (int i = 0; i < 10; ++i)
        tick_all();
    EXPECT_EQ(a0 - tip_list->remaining_ms, 1000);         // the oldest in real time
    EXPECT_EQ(b0 - tip_list->next->remaining_ms, 500);    // the second at half speed
    // The oldest runs out, shrinks away and goes; the other is left.
    for (int i = 0; i < 60 && tip_find_by_name("a"); ++i)
        tick_all();
    EXPECT_EQ(tip_find_by_name("a"), nullptr);
    ASSERT_EQ(tip_count(), 1);
    EXPECT_EQ(tip_list->name, "b");
    EXPECT_GT(tip_list->remaining_ms, 0);
    pump();
    EXPECT_TRUE(first.isNull());
    // Now the oldest, it counts in real time.
    const int b1 = tip_list->remaining_ms;
    tick_all();
    EXPECT_EQ(b1 - tip_list->remaining_ms, 100);
}

TEST_F(TipsTest, TipsStackWithoutOverlapInsideTheWorkArea)
{
    for (int i = 1; i <= 3; ++i)
        ASSERT_EQ(make("t" + std::to_string(i), "Title " + std::to_string(i), std::string(30 * i, 'x')), i);
    for (int i = 0; i < 40; ++i)
        tick_all();
    const QRect area = frame->screen()->availableGeometry();
    std::vector<QRect> rects;
    for (Tip* t = tip_list; t; t = t->next) {
        ASSERT_TRUE(t->hwnd);
        const QRect r = t->hwnd->geometry();
        EXPECT_EQ(r.size(), QSize(t->width, t->height)) << t->name;
        EXPECT_TRUE(area.contains(r)) << t->name;
        for (const QRect& other : rects)
            EXPECT_FALSE(r.intersects(other)) << t->name;
        rects.push_back(r);
    }
}

// ---- Mouse ----

TEST_F(TipsTest, DoubleClickActivatesTheTipsWindowAndClosesIt)
{
    WindowRecord* query = open("amy", kWinQuery, kQueryPrivate);
    ASSERT_NE(query, nullptr);
    win_op_activate(chan->hwnd.get(), 1);
    ASSERT_EQ(tip_show(query, "n", "Title", "text", 0, "", 0, "", 0, nullptr), 1);
    for (int i = 0; i < 20; ++i)
        tick_all();
    QPointer<QWidget> w = tip_list->hwnd;
    ASSERT_TRUE(w);
    // A single click away from the close box closes nothing.
    QTest::mouseClick(w, Qt::LeftButton, Qt::NoModifier, QPoint(20, w->height() - 8));
    EXPECT_EQ(tip_count(), 1);
    QTest::mouseDClick(w, Qt::LeftButton, Qt::NoModifier, QPoint(20, w->height() - 8));
    EXPECT_EQ(tip_count(), 0);
    EXPECT_EQ(win_active.get(), query->hwnd.get());
    pump();
    EXPECT_TRUE(w.isNull());
    let_the_button_up();
}

TEST_F(TipsTest, CloseBoxAndShiftClickCloseTheTip)
{
    ASSERT_EQ(make("a", "Title A", "text"), 1);
    ASSERT_EQ(make("b", "Title B", "text"), 2);
    for (int i = 0; i < 20; ++i)
        tick_all();
    QWidget* a = tip_list->hwnd;
    QTest::mouseClick(a, Qt::LeftButton, Qt::NoModifier, tip_list->close_rect.center());
    ASSERT_EQ(tip_count(), 1);
    EXPECT_EQ(tip_list->name, "b");
    QTest::mouseClick(tip_list->hwnd, Qt::LeftButton, Qt::ShiftModifier, QPoint(20, 30));
    EXPECT_EQ(tip_count(), 0);
}

TEST_F(TipsTest, DoubleClickRunsTheAliasWithTheTipsPosition)
{
    ASSERT_EQ(tip_show(status(), "n", "Title", "text", 0, "", 0, "say clicked $1", 0, nullptr), 1);
    for (int i = 0; i < 20; ++i)
        tick_all();
    said.clear();
    QTest::mouseDClick(tip_list->hwnd, Qt::LeftButton, Qt::NoModifier, QPoint(20, 30));
    let_the_button_up();
    EXPECT_EQ(tip_count(), 0);
    ASSERT_EQ(said.size(), 1u);
    EXPECT_EQ(said[0], "clicked 1");
}

// ---- Script interface ----

TEST_F(TipsTest, ScriptMakesReadsEditsAndClosesATip)
{
    const std::string wid = std::to_string(chan->number);
    EXPECT_EQ(run("say $tip(first,Hello,some text,5,,,,0)"), "1");
    EXPECT_EQ(run("say $tip(second,Hi,in the channel,5,,,,"  + wid + ")"), "2");
    EXPECT_EQ(run("say $tip(0)"), "2");
    EXPECT_EQ(run("say $tip(2)"), "second");
    EXPECT_EQ(run("say $tip(SECOND)"), "2");
    EXPECT_EQ(run("say $tip(first).title"), "Hello");
    EXPECT_EQ(run("say $tip(first).delay"), "5");
    EXPECT_EQ(run("say $tip(2).wid"), wid);
    EXPECT_EQ(run("say $tip(1).cid"), std::to_string(conn->id));
    EXPECT_EQ(run("say $tip(3)"), "");

    run("tip -t first   new    words  here  ");
    EXPECT_EQ(run("say $tip(first).text"), "new words here");
    // An empty text leaves the tip as it was.
    run("tip -t 1    ");
    EXPECT_EQ(run("say $tip(first).text"), "new words here");

    run("tip -c first");
    EXPECT_EQ(run("say $tip(0)"), "1");
    EXPECT_EQ(run("say $tip(1)"), "second");
    run("tip -c 1");
    EXPECT_EQ(run("say $tip(0)"), "0");
    // Closing again: an unknown tip.
    run("tip -c 1");
    EXPECT_TRUE(!Printed::errors.empty());
}

TEST_F(TipsTest, ScriptErrorsOfTip)
{
    struct Case {
        const char* line;
        const char* word;
        const char* kind;  // the error's own words
    } cases[] = {
        {"say $tip(,Title,text)", "$tip", "Geçersiz parametre"},
        {"say $tip(n,Title,text,5,/nonexistent.ico,0)", "$tip", "Icon"},
        {"say $tip(n,Title,text,5,,,,999999)", "$tip", "Hafıza"},
        {"tip -c", "/tip", "Yetersiz"},
        {"tip -c nosuch", "/tip", "Geçersiz parametre"},
    };
    for (const Case& c : cases) {
        run(c.line);
        ASSERT_EQ(Printed::errors.size(), 1u) << c.line;
        EXPECT_NE(Printed::errors[0].find(c.word), std::string::npos) << c.line;
        EXPECT_NE(Printed::errors[0].find(c.kind), std::string::npos) << c.line;
        EXPECT_TRUE(said.empty()) << c.line;
    }
    EXPECT_EQ(tip_count(), 0);
}

TEST_F(TipsTest, TipsCommandSwitchesSavesAndReports)
{
    ASSERT_EQ(make("a", "Title", "text"), 1);
    EXPECT_EQ(run("say $tips"), "$true");
    run("tips off");
    EXPECT_EQ(tip_count(), 0);
    EXPECT_EQ(run("say $tips"), "$false");
    ASSERT_FALSE(Printed::lines.empty());
    EXPECT_EQ(Printed::lines.back(), text_load_string(6329));
    std::string saved;
    ini_read("options", "tipopts", "", saved, 1024, std::string());
    EXPECT_EQ(saved.substr(0, 2), "0,");
    run("tips on");
    EXPECT_EQ(Printed::lines.back(), text_load_string(6328));
    Printed::lines.clear();
    run(".tips");
    EXPECT_TRUE(Printed::lines.empty());
    run("tips");
    ASSERT_EQ(Printed::lines.size(), 1u);
    EXPECT_EQ(Printed::lines.back(), text_load_string(6328));
}

TEST_F(TipsTest, OptionsLoadWithinTheirRanges)
{
    struct Case {
        const char* stored;
        int max_tips, seconds, enabled, priv;
    } cases[] = {
        {"", 30, 10, 1, 0},
        {"1,0,0,0,0,0,0,0,0,0,1,0,0,0,1,0,1,0,0,0,0,100,1,1", 50, 3, 1, 1},
        {"0,0,0,0,0,0,0,0,0,0,0,0,0,0,1,0,1,0,0,0,0,4,61,1", 5, 60, 0, 0},
        {"1,0,0,0,0,0,0,0,0,0,0,0,0,0,1,0,1,0,0,0,0,5,3,1", 5, 3, 1, 0},
        {"garbage", 30, 10, 1, 0},
        {"1,0,0", 30, 10, 1, 0},
    };
    for (const Case& c : cases) {
        ini_write("options", "tipopts", *c.stored ? c.stored : nullptr, std::string());
        tipopts_load();
        EXPECT_EQ(tipopt(TIPOPT_MAX_TIPS), c.max_tips) << c.stored;
        EXPECT_EQ(tipopt(TIPOPT_SECONDS), c.seconds) << c.stored;
        EXPECT_EQ(tipopt(TIPOPT_ENABLED), c.enabled) << c.stored;
        EXPECT_EQ(tipopt(TIPOPT_PRIV_MESSAGE), c.priv) << c.stored;
    }
    // Saved and loaded again: the same values.
    tipopt_set(TIPOPT_SECONDS, 42);
    tipopts_save();
    tipopt_set(TIPOPT_SECONDS, 7);
    tipopts_load();
    EXPECT_EQ(tipopt(TIPOPT_SECONDS), 42);
}

TEST_F(TipsTest, PerWindowSettingIsKeptUnderTheWindowsKey)
{
    WindowRecord* query = open("amy", kWinQuery, kQueryPrivate);
    ASSERT_NE(query, nullptr);
    struct Case {
        WindowRecord* rec;
        const char* key;
    } cases[] = {{chan, "#c"}, {query, "amy"}};
    for (const Case& c : cases) {
        std::string v;
        tip_window_setting_set(c.rec, 0);
        ini_read("tips", c.key, "", v, 256, std::string());
        EXPECT_EQ(v, "off") << c.key;
        EXPECT_EQ(tip_enabled_for_window(c.rec), 0);
        tip_window_setting_set(c.rec, 1);
        ini_read("tips", c.key, "", v, 256, std::string());
        EXPECT_EQ(v, "on") << c.key;
        tip_window_setting_set(c.rec, 2);
        ini_read("tips", c.key, "none", v, 256, std::string());
        EXPECT_EQ(v, "none") << c.key;
        EXPECT_EQ(tip_window_setting_get(c.rec), 2);
    }
    // Other windows have no setting of their own: off.
    EXPECT_EQ(tip_window_setting_get(status()), 0);
}

// ---- Tray ----

TEST_F(TipsTest, WithoutATrayMinimisingNeverHidesTheFrame)
{
    if (QSystemTrayIcon::isSystemTrayAvailable())
        GTEST_SKIP() << "this desktop has a notification area";
    opt_set(OPT_MINIMISE_TO_TRAY, 1);
    foreground_frame();
    tray_follow_frame_state();
    EXPECT_EQ(tray_icon_update(TRAY_ADD), 0);
    EXPECT_EQ(tray_icon_shown(), 0);
    // The minimise command: the caller minimises normally.
    EXPECT_EQ(tray_minimise(0, 0), 0);
    EXPECT_EQ(tray_minimise(1, 0), 0);
    // The frame minimised by the user: it stays reachable.
    frame->showMinimized();
    pump();
    tray_follow_frame_state();
    EXPECT_TRUE(frame->isMinimized());
    EXPECT_FALSE(frame->isHidden());
    EXPECT_EQ(tray_frame_hidden(), 0);
    // Asked by the windows, the tray says the same.
    tray_activity_install();
    EXPECT_FALSE(frame_hidden_asked.any());
    // A second minimise changes nothing.
    tray_on_minimise(1);
    EXPECT_FALSE(frame->isHidden());
    // Brought back.
    tray_restore_main(0);
    pump();
    EXPECT_FALSE(frame->isMinimized());
    EXPECT_TRUE(frame->isVisible());
}

TEST_F(TipsTest, ClicksOnTheIconToggleTheFrameWithTheClickOption)
{
    if (QSystemTrayIcon::isSystemTrayAvailable())
        GTEST_SKIP() << "this desktop has a notification area";
    struct Case {
        int single_click;
        int message;  // 1 left button up, 2 double click, 3 right button up
        bool toggles;
    } cases[] = {
        {0, 2, true}, {0, 1, false}, {1, 1, true}, {1, 2, false}, {0, 3, false}, {1, 3, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.single_click) + "/" + std::to_string(c.message));
        opt_set(OPT_TRAY_SINGLE_CLICK, c.single_click);
        foreground_frame();
        pump();
        ASSERT_FALSE(frame->isMinimized());
        tray_callback(c.message);
        pump();
        EXPECT_EQ(frame->isMinimized(), c.toggles);
        EXPECT_FALSE(frame->isHidden());  // never lost without an icon
        if (!c.toggles)
            continue;
        // Out of view: the same click brings it back.
        QApplication::setActiveWindow(nullptr);
        tray_callback(c.message);
        pump();
        EXPECT_FALSE(frame->isMinimized());
        EXPECT_TRUE(frame->isVisible());
    }
    // The popup lists the connection's windows and ends with exit.
    QMenu* menu = tray_popup();
    ASSERT_NE(menu, nullptr);
    QStringList texts;
    for (QAction* a : menu->actions())
        if (!a->isSeparator())
            texts << a->text();
    EXPECT_TRUE(texts.contains("#c"));
    EXPECT_EQ(texts.last(), QString::fromUtf8(text_load_string(5611)));
}

TEST(TrayTip, TitleIsCutTo54CharactersAndDots)
{
    struct Case {
        std::size_t length;
        std::size_t expected;
        bool dots;
    } cases[] = {{1, 1, false}, {53, 53, false}, {54, 54, false}, {55, 57, true}, {70, 57, true}, {500, 57, true}};
    for (const Case& c : cases) {
        const std::string title(c.length, 'k');
        const std::string tip = tray_tip_text(title);
        EXPECT_EQ(tip.size(), c.expected) << c.length;
        EXPECT_EQ(tip.size() >= 3 && tip.substr(tip.size() - 3) == "...", c.dots) << c.length;
        EXPECT_EQ(tip.substr(0, std::min<std::size_t>(54, c.length)), title.substr(0, std::min<std::size_t>(54, c.length)));
    }
    EXPECT_EQ(tray_tip_text(""), "Kest");
}

}  // namespace

// Script dialogs at run time, driven as a user drives them (clicks, keys,
// focus, menus, tabs) and as scripts drive them (/dialog and its switches,
// $dialog): the "DIALOG" event fired into the script with what happened.
#include "extensions/dialog_fixture.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QScrollBar>
#include <QTabBar>
#include <QTimer>
#include <QMouseEvent>

#include "app/child_window.h"
#include "display/dialog_units.h"
#include "script/events/event_index.h"

namespace {

const std::vector<std::string> kTable = {
    "dialog ev {",
    "  title \"Events\"",
    "  size -1 -1 320 260",
    "  button \"Ok\", 1, 10 10 60 24, ok",
    "  button \"Cancel\", 2, 80 10 60 24, cancel",
    "  check \"Tick\", 3, 10 40 100 20",
    "  radio \"R1\", 4, 10 65 100 20, group",
    "  radio \"R2\", 5, 10 90 100 20",
    "  edit \"\", 6, 10 115 100 22, result %typed",
    "  list 7, 150 40 100 80",
    "  scroll \"\", 8, 280 40 20 100, range 0 10",
    "  combo 9, 150 130 100 80, drop",
    "  link \"Visit\", 10, 10 150 60 20",
    "  text \"Label\", 11, 10 180 60 20",
    "  menu \"File\", 50",
    "  item \"Go\", 51",
    "}",
    "on *:dialog:*:sclick,dclick,edit,scroll,init,close,menu,uclick,rclick,drop:*:rec $devent $did $dname",
};

// A dialog without ok and cancel controls.
const std::vector<std::string> kBare = {
    "dialog bare {",
    "  size -1 -1 100 60",
    "  edit \"\", 1, 5 5 80 20",
    "}",
};

class DialogRuntimeTest : public DialogTest {
protected:
    ScriptDialogWindow* open(const std::string& name, const std::string& table)
    {
        EXPECT_EQ(run("/dialog -m " + name + " " + table), 1) << error;
        ScriptDialogWindow* w = window(name);
        if (w) {
            EXPECT_TRUE(QTest::qWaitForWindowExposed(w));
        }
        test_drain_events();
        return w;
    }
};

TEST_F(DialogRuntimeTest, InitFiresOnceWhenShownAndCloseWhenClosed)
{
    load(kTable);
    ASSERT_TRUE(open("a", "ev"));
    EXPECT_EQ(take(), (std::vector<std::string>{"init 0 a"}));
    window("a")->hide();
    window("a")->show();
    test_drain_events();
    EXPECT_TRUE(take().empty()) << "a second show is no first show";
    ASSERT_EQ(run("/dialog -c a"), 1) << error;
    EXPECT_EQ(take(), (std::vector<std::string>{"sclick 2 a", "close 0 a"}));
    EXPECT_FALSE(dialog_find("a"));
}

TEST_F(DialogRuntimeTest, ClicksAndKeysRaiseTheirSubEvents)
{
    load(kTable);
    ScriptDialogWindow* w = open("a", "ev");
    ASSERT_TRUE(w);
    take();
    // On the box or the round: where the button takes the click.
    const QPoint mark(6, 10);
    QTest::mouseClick(control("a", 3), Qt::LeftButton, {}, mark);
    QTest::mouseClick(control("a", 4), Qt::LeftButton, {}, mark);
    QTest::mouseClick(control("a", 5), Qt::LeftButton, {}, mark);
    EXPECT_EQ(take(), (std::vector<std::string>{"sclick 3 a", "sclick 4 a", "sclick 5 a"}));
    EXPECT_EQ(eval("$did(a, 3).state"), "1");
    EXPECT_EQ(eval("$did(a, 4).state"), "0") << "the radios of one group exclude each other";
    EXPECT_EQ(eval("$did(a, 5).state"), "1");

    auto* edit = control<QLineEdit>("a", 6);
    edit->setFocus();
    QTest::keyClicks(edit, "hi");
    EXPECT_EQ(take(), (std::vector<std::string>{"edit 6 a", "edit 6 a"}));
    EXPECT_EQ(eval("$did(a, 6)"), "hi");
    EXPECT_EQ(eval("$did(a, 6).edited"), "$true");

    ASSERT_EQ(run("/did -a a 7 first"), 1) << error;
    ASSERT_EQ(run("/did -a a 7 second"), 1) << error;
    EXPECT_TRUE(take().empty()) << "the script's own changes raise nothing";
    auto* list = control<QListWidget>("a", 7);
    const QRect second = list->visualItemRect(list->item(1));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, second.center());
    EXPECT_EQ(take(), (std::vector<std::string>{"sclick 7 a"}));
    EXPECT_EQ(eval("$did(a, 7).sel"), "2");
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, second.center());
    EXPECT_EQ(take(), (std::vector<std::string>{"sclick 7 a"})) << "the same item again: one click, one event";
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, second.center());
    std::vector<std::string> got = take();
    EXPECT_NE(std::find(got.begin(), got.end(), "dclick 7 a"), got.end());

    // The scroll bar: at its maximum a page down moves nothing and raises nothing.
    ASSERT_EQ(run("/did -c a 8 10"), 1) << error;
    auto* bar = control<QScrollBar>("a", 8);
    bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
    EXPECT_TRUE(take().empty());
    bar->triggerAction(QAbstractSlider::SliderPageStepSub);
    EXPECT_EQ(take(), (std::vector<std::string>{"scroll 8 a"}));
    EXPECT_EQ(eval("$did(a, 8).sel"), "5");

    // The combo's choice.
    ASSERT_EQ(run("/didtok a 9 44 red,green"), 1) << error;
    auto* combo = control<QComboBox>("a", 9);
    combo->setFocus();
    QTest::keyClick(combo, Qt::Key_Down);
    got = take();
    EXPECT_NE(std::find(got.begin(), got.end(), "sclick 9 a"), got.end());

    // The menu item.
    ScriptDialog* d = dialog_find("a");
    dialog_menu_entry(d, 51)->action->trigger();
    EXPECT_EQ(take(), (std::vector<std::string>{"menu 51 a"}));
}

TEST_F(DialogRuntimeTest, MouseOnTheDialogAndItsLink)
{
    load(kTable);
    ScriptDialogWindow* w = open("a", "ev");
    ASSERT_TRUE(w);
    take();
    QWidget* client = w->client();
    // The link: pressed and released over it, one sclick with its id.
    const QPoint link = control("a", 10)->geometry().center();
    QTest::mousePress(client, Qt::LeftButton, {}, link);
    QTest::mouseRelease(client, Qt::LeftButton, {}, link);
    EXPECT_EQ(take(), (std::vector<std::string>{"sclick 10 a"}));
    // Empty ground: sclick and uclick with id 0; a drag raises drop.
    QTest::mousePress(client, Qt::LeftButton, {}, QPoint(200, 240));
    QTest::mouseRelease(client, Qt::LeftButton, {}, QPoint(200, 240));
    EXPECT_EQ(take(), (std::vector<std::string>{"sclick 0 a", "uclick 0 a"}));
    QTest::mousePress(client, Qt::LeftButton, {}, QPoint(200, 240));
    QTest::mouseRelease(client, Qt::LeftButton, {}, QPoint(210, 245));
    EXPECT_EQ(take(), (std::vector<std::string>{"sclick 0 a", "uclick 0 a", "drop 0 a"}));
    QTest::mouseClick(client, Qt::RightButton, {}, QPoint(200, 240));
    EXPECT_EQ(take(), (std::vector<std::string>{"rclick 0 a"}));
    // A text control lets the mouse through to the dialog.
    load({"on *:dialog:a:mouse:*:rec mouse $did"});
    QMouseEvent move(QEvent::MouseMove, control("a", 11)->geometry().center(), client->mapToGlobal(control("a", 11)->geometry().center()), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(client, &move);
    test_drain_events();
    std::vector<std::string> got_mouse_ = take();
    ASSERT_FALSE(got_mouse_.empty());
    EXPECT_EQ(got_mouse_.back(), "mouse 11");
}

TEST_F(DialogRuntimeTest, TabClicksSwitchPagesAndRaiseTheTabsId)
{
    load({"dialog tabs {",
          "  size -1 -1 300 250",
          "  tab \"One\", 10, 5 5 250 200",
          "  tab \"Two\", 11",
          "  button \"p1\", 1, 20 60 80 20, tab 10",
          "  button \"p2\", 2, 20 60 80 20, tab 11",
          "}",
          "on *:dialog:t:sclick:*:rec $did $dialog(t).tab"});
    ScriptDialogWindow* w = open("t", "tabs");
    ASSERT_TRUE(w);
    QTabBar* bar = dialog_find("t")->tabs;
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(1).center());
    EXPECT_EQ(take(), (std::vector<std::string>{"11 11"}));
    EXPECT_TRUE(control("t", 2)->isVisible());
    EXPECT_FALSE(control("t", 1)->isVisible());
    // Again on the same tab: no change, no event.
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(1).center());
    EXPECT_TRUE(take().empty());
}

TEST_F(DialogRuntimeTest, EnterAndEscapeActAsOkAndCancel)
{
    load(kTable);
    load(kBare);
    // Without an ok control Enter does nothing; without a cancel control
    // Escape closes at once.
    ScriptDialogWindow* b = open("b", "bare");
    ASSERT_TRUE(b);
    take();
    QTest::keyClick(control("b", 1), Qt::Key_Return);
    EXPECT_TRUE(dialog_find("b"));
    EXPECT_TRUE(take().empty());
    QTest::keyClick(control("b", 1), Qt::Key_Escape);
    EXPECT_FALSE(dialog_find("b"));
    EXPECT_EQ(take(), (std::vector<std::string>{"close 0 b"}));

    // With them: Enter presses ok, Escape presses cancel, each then closes.
    const struct {
        Qt::Key key;
        const char* click;
    } cases[] = {{Qt::Key_Return, "sclick 1 a"}, {Qt::Key_Escape, "sclick 2 a"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.click);
        ASSERT_TRUE(open("a", "ev"));
        take();
        QTest::keyClick(control("a", 6), c.key);
        EXPECT_EQ(take(), (std::vector<std::string>{c.click, "close 0 a"}));
        EXPECT_FALSE(dialog_find("a"));
    }
}

TEST_F(DialogRuntimeTest, CloseSwitchesPressOkCancelOrCloseQuietly)
{
    load(kTable);
    const struct {
        const char* sw;
        std::vector<std::string> events;
    } cases[] = {
        {"-k", {"sclick 1 a", "close 0 a"}},
        {"-c", {"sclick 2 a", "close 0 a"}},
        {"-x", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.sw);
        ASSERT_TRUE(open("a", "ev"));
        ASSERT_EQ(run("/did -a a 6 kept"), 1);
        take();
        ASSERT_EQ(run(std::string("/dialog ") + c.sw + " a"), 1) << error;
        EXPECT_EQ(take(), c.events);
        EXPECT_FALSE(dialog_find("a"));
        // Each close, even the quiet one, gives the bound variable its value.
        EXPECT_EQ(var("%typed"), "kept");
        run("/unset %typed");
    }
}

TEST_F(DialogRuntimeTest, ModalDialogReturnsTheResultOnOkOnly)
{
    load(kTable);
    load({"alias ask set %answer $dialog(q, ev) | rec returned"});
    const struct {
        int press;   // the control clicked
        const char* answer;
    } cases[] = {{1, "typed text"}, {2, ""}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.press);
        run("/set %answer none");
        bool acted = false;
        QTimer::singleShot(0, [&]() {
            auto* edit = control<QLineEdit>("q", 6);
            ASSERT_TRUE(edit);
            EXPECT_EQ(eval("$dialog(q).modal"), "$true");
            QTest::keyClicks(edit, "typed text");
            QTest::mouseClick(control("q", c.press), Qt::LeftButton);
            acted = true;
        });
        ASSERT_EQ(run("/ask"), 1) << error;
        EXPECT_TRUE(acted);
        EXPECT_EQ(var("%answer"), c.answer);
        EXPECT_FALSE(dialog_find("q")) << "the modal dialog's record is freed after it";
        std::vector<std::string> got = take();
        ASSERT_FALSE(got.empty());
        EXPECT_EQ(got.back(), "returned");
    }
}

TEST_F(DialogRuntimeTest, ModalDialogIsRefusedInsideAnEvent)
{
    load(kTable);
    load({"on *:dialog:a:init:*:set %inner $dialog(q, ev)"});
    ASSERT_TRUE(open("a", "ev"));
    EXPECT_FALSE(dialog_find("q"));
    bool refused = false;
    for (const std::string& l : status_lines())
        refused |= l.rfind("* $dialog: Olay kullanılamıyor", 0) == 0;
    EXPECT_TRUE(refused);
}

TEST_F(DialogRuntimeTest, OpeningErrors)
{
    load(kTable);
    const struct {
        const char* line;
        const char* message;
    } cases[] = {
        {"/dialog -m", "* /dialog: Yetersiz veya eksik parametre"},
        {"/dialog -m onlyname", "* /dialog: Yetersiz veya eksik parametre"},
        {"/dialog -m 123 ev", "* /dialog: '123' Geçersiz isim"},
        {"/dialog -m a ev", "* /dialog: 'a' Bu isim kullanılıyor"},
        {"/dialog -m z nosuch", "* /dialog: 'nosuch' Tablo yok"},
        {"/dialog -t nosuch title", "* /dialog: Geçersiz parametre"},
        {"/dialog -g a b", ""},
        {"/dialog -g b b", ""},
        {"/dialog -m c ev", ""},
        {"/dialog -g c b", "* /dialog: 'b' Bu isim kullanılıyor"},
    };
    ASSERT_TRUE(open("a", "ev"));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        const int r = run(c.line);
        if (*c.message) {
            EXPECT_EQ(r, 0);
            EXPECT_EQ(error.rfind(c.message, 0), 0u) << error;
        } else {
            EXPECT_EQ(r, 1) << error;
        }
    }
    EXPECT_FALSE(dialog_find("a"));
    EXPECT_TRUE(dialog_find("B"));
    EXPECT_EQ(eval("$dialog(0)"), "2");
    EXPECT_EQ(eval("$dialog(1)"), "b");
    EXPECT_EQ(eval("$dialog(2)"), "c");
    EXPECT_EQ(eval("$dialog(3)"), "");
    EXPECT_EQ(eval("$dialog(99999)"), "");
}

TEST_F(DialogRuntimeTest, PlaceSizeAndTitleSwitches)
{
    load(kTable);
    ScriptDialogWindow* w = open("a", "ev");
    ASSERT_TRUE(w);
    const QPoint place = w->pos();
    ASSERT_EQ(run("/dialog -s a -1 -1 200 100"), 1) << error;
    EXPECT_EQ(eval("$dialog(a).cw") + "x" + eval("$dialog(a).ch"), "200x100");
    EXPECT_EQ(w->pos(), place) << "-1 keeps the place";
    const DialogBaseUnits b = dialog_base_units();
    ASSERT_EQ(run("/dialog -sb a -1 -1 40 16"), 1) << error;
    EXPECT_EQ(w->client()->size(), QSize(40 * b.width / 4, 16 * b.height / 8));
    ASSERT_EQ(run("/dialog -sbp a -1 -1 40 16"), 1) << error;
    EXPECT_EQ(w->client()->size(), QSize(40, 16)) << "p wins over b";
    ASSERT_EQ(run("/dialog -st a 30 40 150 90 New title here"), 1) << error;
    EXPECT_EQ(w->pos(), QPoint(30, 40));
    EXPECT_EQ(eval("$dialog(a).title"), "New title here");
    ASSERT_EQ(run("/dialog -t a"), 1) << error;
    EXPECT_EQ(eval("$dialog(a).title"), "Kest");
    EXPECT_EQ(run("/dialog -s a 1 2"), 0);
    EXPECT_EQ(error.rfind("* /dialog: Yetersiz veya eksik parametre", 0), 0u) << error;
    // Numbers past any screen are refused, the dialog unchanged.
    EXPECT_EQ(run("/dialog -s a -1 -1 99999999 10"), 0);
    EXPECT_EQ(w->client()->width(), 150);
    ASSERT_EQ(run("/dialog -o a"), 1);
    EXPECT_TRUE(w->windowFlags() & Qt::WindowStaysOnTopHint);
    ASSERT_EQ(run("/dialog -n a"), 1);
    EXPECT_FALSE(w->windowFlags() & Qt::WindowStaysOnTopHint);
}

TEST_F(DialogRuntimeTest, AFollowingDialogTakesTheActiveConnection)
{
    load({"dialog f {", "  size -1 -1 100 60", "  button \"b\", 1, 5 5 50 20", "}",
          "on *:dialog:*:sclick:1:rec $dname $cid"});
    Connection* other = conn_new_with_status(conn_list);
    ASSERT_TRUE(other);
    ASSERT_TRUE(open("follows", "f"));
    ASSERT_TRUE(open("stays", "f"));
    run("/dialog -x follows");
    ASSERT_EQ(run("/dialog -mh follows f"), 1) << error;
    win_on_activate(conn_status_window(other));
    QTest::mouseClick(control("follows", 1), Qt::LeftButton);
    QTest::mouseClick(control("stays", 1), Qt::LeftButton);
    EXPECT_EQ(take(), (std::vector<std::string>{"follows " + std::to_string(other->id),
                                                "stays " + std::to_string(conn->id)}));
    // A freed connection hands its dialogs to the next one.
    conn_free(other);
    QTest::mouseClick(control("follows", 1), Qt::LeftButton);
    EXPECT_EQ(take(), (std::vector<std::string>{"follows " + std::to_string(conn->id)}));
}

TEST_F(DialogRuntimeTest, NoEventFiresWhileEventsAreOff)
{
    load(kTable);
    ASSERT_TRUE(open("a", "ev"));
    take();
    event_switch_events = 0;
    QTest::mouseClick(control("a", 3), Qt::LeftButton);
    QTest::mouseClick(control("a", 1), Qt::LeftButton);
    event_switch_events = 1;
    EXPECT_TRUE(take().empty());
    EXPECT_FALSE(dialog_find("a")) << "the ok control still closes";
}

TEST_F(DialogRuntimeTest, OnlyAPressOfTheOkControlCloses)
{
    load(kTable);
    load({"on *:dialog:a:mouse:1:rec over ok"});
    ScriptDialogWindow* w = open("a", "ev");
    ASSERT_TRUE(w);
    take();
    // The mouse over the ok button is an event about it, not a press.
    QWidget* ok = control("a", 1);
    QMouseEvent move(QEvent::MouseMove, QPointF(5, 5), ok->mapToGlobal(QPointF(5, 5)), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QApplication::sendEvent(ok, &move);
    EXPECT_EQ(take(), (std::vector<std::string>{"over ok"}));
    EXPECT_TRUE(dialog_find("a"));
    QTest::mouseClick(ok, Qt::LeftButton);
    EXPECT_FALSE(dialog_find("a"));
}

TEST_F(DialogRuntimeTest, ParentsAndMinimising)
{
    load(kTable);
    // The main window is the parent unless the desktop is asked for; only a
    // desktop dialog can be minimised and restored.
    ScriptDialogWindow* main_child = open("a", "ev");
    ASSERT_TRUE(main_child);
    EXPECT_EQ(main_child->parentWidget(), frame_.data());
    EXPECT_FALSE(main_child->windowFlags() & Qt::WindowMinimizeButtonHint);
    ASSERT_EQ(run("/dialog -i a"), 1) << error;
    EXPECT_FALSE(main_child->isMinimized());

    ASSERT_EQ(run("/dialog -md desk ev"), 1) << error;
    ScriptDialogWindow* desk = window("desk");
    ASSERT_TRUE(desk);
    EXPECT_EQ(desk->parentWidget(), nullptr);
    ASSERT_EQ(run("/dialog -i desk"), 1) << error;
    EXPECT_TRUE(desk->windowState() & Qt::WindowMinimized);
    ASSERT_EQ(run("/dialog -ie desk"), 1) << error;
    EXPECT_FALSE(desk->windowState() & Qt::WindowMinimized) << "e wins";

    // $dialog's third argument: -1 the desktop, a window's name that window.
    const struct {
        const char* parent;
        QWidget* expected;
    } cases[] = {{"-1", nullptr}, {"-2", frame_.data()}, {"Status Window", status}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.parent);
        QWidget* seen = reinterpret_cast<QWidget*>(1);
        QTimer::singleShot(0, [&]() {
            ScriptDialogWindow* w = window("m");
            ASSERT_TRUE(w);
            seen = w->parentWidget();
            run("/dialog -x m");
        });
        ASSERT_EQ(run(std::string("/echo -s x $dialog(m, ev, ") + c.parent + ")"), 1) << error;
        EXPECT_EQ(seen, c.expected);
    }
}

TEST_F(DialogRuntimeTest, PropertiesOfAnOpenDialog)
{
    load(kTable);
    ScriptDialogWindow* w = open("a", "ev");
    ASSERT_TRUE(w);
    run("/dialog -s a 40 50 300 200");
    const QRect frame = w->frameGeometry();
    EXPECT_EQ(eval("$dialog(a).x $dialog(a).y $dialog(a).w $dialog(a).h"),
              std::to_string(frame.x()) + " " + std::to_string(frame.y()) + " " + std::to_string(frame.width()) + " " +
                  std::to_string(frame.height()));
    EXPECT_EQ(eval("$dialog(a).cw $dialog(a).ch"), "300 200");
    EXPECT_EQ(eval("$dialog(a).title $dialog(a).result $dialog(a).cancel"), "Events 6 2");
    EXPECT_EQ(eval("$dialog(A)"), "a") << "names are found without regard to case";
    EXPECT_EQ(eval("$dialog(nosuch)"), "");
    EXPECT_EQ(eval("$dialog(a).hwnd"), std::to_string(static_cast<unsigned long long>(w->winId())));
    run("/did -f a 3");
    EXPECT_EQ(eval("$dialog(a).focus"), "3");
    EXPECT_EQ(eval("$did(a, 3).next $did(a, 3).prev"), "4 2");
}

TEST_F(DialogRuntimeTest, ModalOpeningErrors)
{
    load(kTable);
    load({"dialog broken {", "  size -1 -1 10 10", "  button \"x\", 0, 1 1 5 5", "}"});
    ASSERT_TRUE(open("a", "ev"));
    const struct {
        const char* expression;
        const char* message;
    } cases[] = {
        {"$dialog(123, ev)", "* $dialog: '123' Geçersiz isim"},
        {"$dialog(a, ev)", "* $dialog: 'a' Bu isim Kullanılıyor"},
        {"$dialog(q, nosuch)", "* Geçersiz parametre: $dialog"},
        {"$dialog(q, broken)", "* $dialog: 'broken' Geçersiz id '0'"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.expression);
        EXPECT_EQ(run(std::string("/echo -s x ") + c.expression), 0);
        EXPECT_EQ(error.rfind(c.message, 0), 0u) << error;
        EXPECT_FALSE(dialog_find("q"));
    }
}

TEST_F(DialogRuntimeTest, EnterInAMultiLineEditThatWantsIt)
{
    load({"dialog multi {",
          "  size -1 -1 200 150",
          "  edit \"\", 1, 5 5 150 50, multi return",
          "  edit \"\", 2, 5 60 150 50, multi",
          "  button \"Ok\", 3, 5 115 50 24, ok",
          "}",
          "on *:dialog:m:sclick:*:rec sclick $did"});
    ASSERT_EQ(run("/dialog -m m multi"), 1) << error;
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window("m")));
    auto* wants = control<QPlainTextEdit>("m", 1);
    wants->setFocus();
    QTest::keyClicks(wants, "a");
    QTest::keyClick(wants, Qt::Key_Return);
    QTest::keyClicks(wants, "b");
    EXPECT_EQ(eval("$did(m, 1).lines $did(m, 1, 2)"), "2 b");
    EXPECT_TRUE(take().empty());
    auto* plain = control<QPlainTextEdit>("m", 2);
    plain->setFocus();
    QTest::keyClick(plain, Qt::Key_Return);
    EXPECT_EQ(take(), (std::vector<std::string>{"sclick 3"}));
    EXPECT_FALSE(dialog_find("m")) << "Enter pressed ok";
}

TEST_F(DialogRuntimeTest, DoubleClickOnTheGroundAndActivation)
{
    load(kTable);
    load({"on *:dialog:a:active:*:rec active $dialog(a).active"});
    ScriptDialogWindow* w = open("a", "ev");
    ASSERT_TRUE(w);
    take();
    QTest::mouseDClick(w->client(), Qt::LeftButton, {}, QPoint(200, 240));
    std::vector<std::string> got = take();
    EXPECT_NE(std::find(got.begin(), got.end(), "dclick 0 a"), got.end());
    // Activation and deactivation both raise "active".
    w->activateWindow();
    if (!QTest::qWaitForWindowActive(w))
        GTEST_SKIP() << "this platform gives no activation";
    test_drain_events();
    take();
    frame_->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(frame_.data()));
    test_drain_events();
    got = take();
    ASSERT_FALSE(got.empty());
    EXPECT_EQ(got.back(), "active $false");
}

TEST_F(DialogRuntimeTest, AModalDialogClosedByItsOwnInitEndsTheWait)
{
    load(kTable);
    load({"on *:dialog:q:init:0:dialog -k q",
          "alias ask set %answer $dialog(q, ev) | rec returned %answer"});
    ASSERT_EQ(run("/ask"), 1) << error;
    std::vector<std::string> got = take();
    ASSERT_FALSE(got.empty());
    EXPECT_EQ(got.back(), "returned");
    EXPECT_NE(std::find(got.begin(), got.end(), "sclick 1 q"), got.end());
    EXPECT_FALSE(dialog_find("q"));
}

}  // namespace

// Windows the user is looking at, bringing windows up and down, stepping
// through them with Ctrl+Tab and Ctrl+F6, /join and /query on open windows,
// away replies in the focused query, the delete questions and the irc: link
// handler, through the joined subsystems on an offscreen frame.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QMainWindow>
#include <QPointer>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QLabel>
#include <QPushButton>
#include <QPlainTextEdit>
#include <QTimer>
#include <QtTest/QTest>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "app/input_dialog.h"
#include "app/confirm.h"
#include "model/connection.h"
#include "app/desktop_switch.h"
#include "app/frame_layout.h"
#include "app/dispatch.h"
#include "app/input_dialog.h"
#include "app/irc_link_association.h"
#include "app/mdi_arrange.h"
#include "app/startup.h"
#include "app/subsystems.h"
#include "app/window_open.h"
#include "model/window_record.h"
#include "display/window_queries.h"
#include "core/files.h"
#include "core/ini.h"
#include "core/options.h"
#include "model/line_buffer.h"
#include "display/logging.h"
#include "irc/dispatch/dispatcher.h"
#include "irc/numerics/isupport.h"
#include "platform/platform_utils.h"
#include "script/exec/script_hooks.h"
#define KEST_TEST_WIDGETS
#include "support/hook_guard.h"
#include "support/test_support.h"
#include "support/window_fixture.h"
#include "support/test_wire.h"

namespace fs = std::filesystem;

namespace {

std::string slurp(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// Whether a line of the window holds the text.
bool shows(const WindowRecord* rec, const std::string& text)
{
    for (const StringNode* n = rec ? rec->lines : nullptr; n; n = n->next)
        if (n->text.find(text) != std::string::npos)
            return true;
    return false;
}

QMdiSubWindow* sub_of(WindowRecord* rec)
{
    return qobject_cast<QMdiSubWindow*>(win_container(rec->hwnd.get()));
}

// The question box the program shows, as the user sees it.
struct Asked {
    int times = 0;
    std::string caption;
    std::string text;
};

// Answers every question box that opens while the object lives: notes its
// caption and text and presses Yes or No.
class Answerer {
public:
    Answerer(Asked* seen, bool yes) : seen_(seen), yes_(yes)
    {
        timer_.setInterval(5);
        QObject::connect(&timer_, &QTimer::timeout, [this] { answer(); });
        timer_.start();
    }

private:
    void answer()
    {
        auto* box = qobject_cast<QDialog*>(input_dialog_current());
        if (!box || !box->isVisible())
            return;
        auto* button = box->findChild<QPushButton*>(yes_ ? "yes" : "no");
        if (!button || !button->isVisible())
            return;
        auto* prompt = box->findChild<QLabel*>("prompt");
        ++seen_->times;
        seen_->caption = box->windowTitle().toStdString();
        seen_->text = prompt ? prompt->text().toStdString() : std::string();
        button->click();
    }
    Asked* seen_;
    bool yes_;
    QTimer timer_;
};

// A connected connection with a status window, a joined channel "#kest",
// a second channel "#two" and a query "peer"; the program's subsystems
// joined; the frame's key dispatch installed; every delete goes to a trash
// folder of the test.
class WindowView : public ::testing::Test {
    HookGuard hooks_;
protected:
    void SetUp() override
    {
        ASSERT_TRUE(settings.made());
        window_test_reset();
        app_install_subsystems();
        saved_frame = frame_window;
        frame_window = qobject_cast<QMainWindow*>(window_test_mdi()->window());
        ASSERT_TRUE(frame_window);
        dispatch_set_mdi_area(window_test_mdi());
        dispatch_install();
        ::setenv("HOME", settings.path().c_str(), 1);
        ::setenv("XDG_DATA_HOME", (settings.path() + "data").c_str(), 1);
        beeps = 0;
        beep_play_hook = [](int) { ++beeps; };
        conn = window_test_conn();
        ASSERT_TRUE(conn);
        conn->connected = 1;
        ASSERT_TRUE(wire.ok());
        wire.attach(conn);
        conn->registered = 1;
        conn->live_identity[2] = "me";
        conn->server_name = "irc.test";
        irc_state(conn)->registration = 1;
        feed(":me!u@h JOIN :#kest");
        feed(":me!u@h JOIN :#two");
        feed(":peer!u@h PRIVMSG me :hello");
        chan = win_find_channel("#kest", conn);
        two = win_find_channel("#two", conn);
        query = win_find_by_name("peer", conn);
        ASSERT_TRUE(chan && two && query);
        for (WindowRecord* rec : {chan, two, query})
            sub_of(rec)->showNormal();
        window_test_pump();
    }
    void TearDown() override
    {
        dispatch_uninstall();
        window_test_reset();
        frame_window = saved_frame;
    }
    void feed(const std::string& line)
    {
        irc_dispatch_line(line, conn);
        window_test_pump();
    }
    // Types a line into the window's editbox and presses Enter.
    void type(WindowRecord* rec, const std::string& line)
    {
        QPlainTextEdit* box = rec->editbox.get();
        ASSERT_TRUE(box);
        box->setFocus();
        QTest::keyClicks(box, QString::fromStdString(line));
        QTest::keyClick(box, Qt::Key_Return);
        window_test_pump();
    }
    void bring_up(WindowRecord* rec)
    {
        ASSERT_EQ(win_activate(rec->hwnd.get(), kActivateForeground), 1);
        window_test_pump();
    }
    // The lines sent to the server so far.
    const std::vector<std::string>& sent() { return wire.lines(); }
    static inline int beeps = 0;

    QPointer<QMainWindow> saved_frame;
    TempSettingsDir settings{"kest_view_"};
    SavedEnv env_{"HOME", "XDG_DATA_HOME", "XDG_CONFIG_HOME"};
    TestWire wire;
    Connection* conn = nullptr;
    WindowRecord* chan = nullptr;
    WindowRecord* two = nullptr;
    WindowRecord* query = nullptr;
};

// ---- In view ----

TEST_F(WindowView, InViewOnlyTheActiveShownWindowOfTheForegroundFrame)
{
    WindowRecord* desk = window_test_open("#desk", kWinChannel, 0, conn);
    ASSERT_TRUE(desk);
    QWidget* desk_window = win_toggle_desktop(desk->hwnd.get(), 0);
    ASSERT_TRUE(desk_window && desk_window->isWindow());
    window_test_pump();

    QWidget* frame = window_test_mdi()->window();
    QWidget dialog;  // another top-level window of the program, not a window record
    dialog.resize(200, 100);
    enum Step { kChan, kTwoMinimised, kDesk, kDialog, kFrameAgain };
    struct Case {
        const char* what;
        Step step;
        WindowRecord* rec;
        int in_view;
    };
    const Case cases[] = {
        {"the active child of the foreground frame", kChan, chan, 1},
        {"a visible child that is not the active one", kChan, two, 0},
        {"a desktop window while the frame is in front", kChan, desk, 0},
        {"a minimised child", kTwoMinimised, two, 0},
        {"the active desktop window in front", kDesk, desk, 1},
        {"the last active child while a desktop window is in front", kDesk, chan, 0},
        {"the active desktop window while a dialog is in front", kDialog, desk, 0},
        {"the active child while a dialog is in front", kFrameAgain, chan, 1},
        {"... and once the dialog is in front", kDialog, chan, 0},
        {"the frame in front again: its active child", kFrameAgain, chan, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        switch (c.step) {
        case kChan:
            bring_up(chan);
            break;
        case kTwoMinimised:
            win_minimize(two->hwnd.get(), 0);
            window_test_pump();
            break;
        case kDesk:
            bring_up(desk);
            break;
        case kDialog:
            dialog.show();
            dialog.activateWindow();
            window_test_pump();
            ASSERT_EQ(QApplication::activeWindow(), &dialog);
            break;
        case kFrameAgain:
            frame->activateWindow();
            bring_up(chan);
            break;
        }
        ASSERT_TRUE(frame_app_active()) << "these cases are for a program in use";
        EXPECT_EQ(win_is_in_view(c.rec->hwnd.get()), c.in_view);
        EXPECT_EQ(win_not_in_view(c.rec->hwnd.get()), 1 - c.in_view);
    }
    // A handle that is no window record is never in view.
    EXPECT_EQ(win_is_in_view(frame), 0);
    EXPECT_EQ(win_is_in_view(nullptr), 0);
}

TEST_F(WindowView, ChannelMessagesBeepOnlyWhileTheChannelIsOutOfView)
{
    opt_set(OPT_SOUNDS_ENABLED, 1);
    chan->beep = 1;  // this channel beeps on messages
    two->beep = 0;
    bring_up(chan);
    feed(":peer!u@h PRIVMSG #kest :seen");
    EXPECT_EQ(beeps, 0) << "the user is looking at the channel";

    bring_up(two);
    feed(":peer!u@h PRIVMSG #kest :unseen");
    EXPECT_EQ(beeps, 1);
    feed(":peer!u@h PRIVMSG #kest :again");
    EXPECT_EQ(beeps, 2) << "each line out of view beeps";
    // The window in view has the beep off: its lines never beep.
    feed(":peer!u@h PRIVMSG #two :quiet");
    EXPECT_EQ(beeps, 2);
    ASSERT_TRUE(shows(chan, "again"));
}

// ---- Moving between the MDI client and the desktop ----

TEST_F(WindowView, MovingToTheDesktopAndBackKeepsTheWindowWhole)
{
    const std::string log = settings.path() + "moved.log";
    ASSERT_EQ(log_set_window_mode(chan, 0, 0, 0, log, 2, 0), 1);
    feed(":peer!u@h PRIVMSG #kest :before the move");
    QPlainTextEdit* box = chan->editbox.get();
    ASSERT_TRUE(box);
    box->setPlainText("half typed");
    QTextCursor caret = box->textCursor();
    caret.setPosition(4);
    box->setTextCursor(caret);
    const int lines = chan->line_count;
    win_minimize(chan->hwnd.get(), 0);
    window_test_pump();

    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round == 0 ? "to the desktop" : "back into the MDI client");
        QWidget* moved = win_toggle_desktop(chan->hwnd.get(), round == 0 ? 0 : 1);
        window_test_pump();
        ASSERT_EQ(moved, chan->hwnd.get());
        EXPECT_EQ(win_is_mdi_child(moved), round);
        EXPECT_TRUE(win_is_minimised(moved)) << "a minimised window stays minimised";
        EXPECT_EQ(win_find_channel("#kest", conn), chan);
        EXPECT_EQ(chan->line_count, lines);
        EXPECT_TRUE(shows(chan, "before the move"));
        ASSERT_EQ(chan->editbox.get(), box);
        EXPECT_EQ(box->toPlainText().toStdString(), "half typed");
        EXPECT_EQ(box->textCursor().position(), 4);
        EXPECT_EQ(chan->logging, 1);
        // Asking for the kind it already is changes nothing.
        EXPECT_EQ(win_toggle_desktop(moved, round == 0 ? 0 : 1), moved);
        EXPECT_EQ(win_is_mdi_child(moved), round);
    }
    // Lines still reach the window and its log.
    feed(":peer!u@h PRIVMSG #kest :after the move");
    EXPECT_TRUE(shows(chan, "after the move"));
    log_flush_all();  // what the one-second tick writes
    EXPECT_NE(slurp(log).find("after the move"), std::string::npos);
}

TEST_F(WindowView, SavedPlacementTakesTheWindowToItsSideAndPlace)
{
    QWidget* hwnd = two->hwnd.get();
    struct Case {
        const char* what;
        const char* saved;  // left, width, top, height, state, in MDI, on top
        int in_mdi;
        QRect place;
    };
    const Case cases[] = {
        {"saved on the desktop", "50,300,60,200,0,0,0", 0, QRect(50, 60, 300, 200)},
        {"saved in the MDI client", "20,250,30,150,0,1,0", 1, QRect(20, 30, 250, 150)},
        {"the same side again", "40,260,10,140,0,1,0", 1, QRect(40, 10, 260, 140)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(ini_write("windows", "#two", c.saved, main_ini_path));
        win_restore_position(hwnd);
        window_test_pump();
        ASSERT_EQ(two->hwnd.get(), hwnd);
        EXPECT_EQ(win_is_mdi_child(hwnd), c.in_mdi);
        EXPECT_EQ(win_container(hwnd)->geometry(), c.place);
        EXPECT_FALSE(win_is_minimised(hwnd));
    }
    // Cleared, nothing is applied any more: the window stays where it is.
    win_container(hwnd)->setGeometry(70, 80, 200, 120);
    win_clear_position(hwnd, 0);
    std::string left;
    ini_read("windows", "#two", "", left, 100, main_ini_path);
    EXPECT_EQ(left, "");
    win_restore_position(hwnd);
    window_test_pump();
    EXPECT_EQ(win_container(hwnd)->geometry(), QRect(70, 80, 200, 120));
}

// ---- Activation and minimising ----

TEST_F(WindowView, ActivationFollowsAMaximisedChildAndTheFlags)
{
    bring_up(two);
    sub_of(two)->showMaximized();
    window_test_pump();

    // Another child comes up maximised while the top one is.
    bring_up(chan);
    EXPECT_TRUE(sub_of(chan)->isMaximized());
    EXPECT_EQ(win_active.get(), chan->hwnd.get());

    // Restore wins over the maximised top child.
    ASSERT_EQ(win_activate(query->hwnd.get(), kActivateRestore), 1);
    window_test_pump();
    EXPECT_FALSE(sub_of(query)->isMaximized());
    EXPECT_FALSE(sub_of(query)->isMinimized());

    // Maximised on request; a minimised child comes back shown.
    win_minimize(two->hwnd.get(), 0);
    window_test_pump();
    ASSERT_TRUE(sub_of(two)->isMinimized());
    ASSERT_EQ(win_activate(two->hwnd.get(), kActivateMaximised), 1);
    window_test_pump();
    EXPECT_TRUE(sub_of(two)->isMaximized());
    EXPECT_TRUE(sub_of(two)->isVisible());
    EXPECT_EQ(win_active.get(), two->hwnd.get());

    // Without activation the active window stays.
    sub_of(two)->showNormal();
    ASSERT_EQ(win_activate(chan->hwnd.get(), kActivateNoFocus | kActivateRestore), 1);
    window_test_pump();
    EXPECT_EQ(win_active.get(), two->hwnd.get());

    // Asked only when unfocused: the focused window stays as it is, even
    // when asked to maximise.
    two->editbox->setFocus();
    window_test_pump();
    ASSERT_EQ(win_activate(two->hwnd.get(), kActivateIfUnfocused | kActivateMaximised), 1);
    window_test_pump();
    EXPECT_FALSE(sub_of(two)->isMaximized());

    // Not a window record.
    EXPECT_EQ(win_activate(window_test_mdi(), 0), 0);
    EXPECT_EQ(win_minimize(window_test_mdi(), 0), 0);
}

TEST_F(WindowView, MinimisedChildrenLeaveTheirIconOnlyWithoutTheBars)
{
    struct Case {
        const char* what;
        int switchbar;
        int keep_icon;
        bool icon_shown;
    };
    const Case cases[] = {
        {"no bars: the icon stays", 0, 0, true},
        {"the switchbar lists it: hidden", 1, 0, false},
        {"a window that keeps its icon", 1, 1, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        opt_set(OPT_SWITCHBAR_SHOWN, c.switchbar);
        opt_set(OPT_TREEBAR_SHOWN, 0);
        two->keep_icon = c.keep_icon;
        bring_up(two);
        ASSERT_EQ(win_minimize(two->hwnd.get(), 1), 1);
        window_test_pump();
        EXPECT_TRUE(sub_of(two)->isMinimized());
        EXPECT_EQ(sub_of(two)->isVisible(), c.icon_shown);
        // With a bar and flag 1 the next shown child comes up in its place.
        if (c.switchbar) {
            ASSERT_TRUE(window_test_mdi()->activeSubWindow());
            EXPECT_NE(window_test_mdi()->activeSubWindow(), sub_of(two));
        }
        // Activated again it is shown, restored.
        bring_up(two);
        EXPECT_TRUE(sub_of(two)->isVisible());
        EXPECT_FALSE(sub_of(two)->isMinimized());
    }
}

TEST_F(WindowView, MinimisedDesktopWindowHidesByTheOptionShiftInverting)
{
    WindowRecord* desk = window_test_open("#desk", kWinChannel, 0, conn);
    ASSERT_TRUE(desk);
    QWidget* w = win_toggle_desktop(desk->hwnd.get(), 0);
    ASSERT_TRUE(w && w->isWindow());
    struct Case {
        int hide_option;
        bool shift;
        bool stays_shown;
    };
    const Case cases[] = {
        {0, false, true},
        {1, false, false},
        {0, true, false},
        {1, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.hide_option) + (c.shift ? " with Shift" : ""));
        opt_set(OPT_HIDE_MINIMISED_DESKTOP_WINDOWS, c.hide_option);
        bring_up(desk);
        ASSERT_TRUE(w->isVisible());
        // The keyboard's state as the program reads it: Shift down or up.
        if (c.shift)
            QTest::keyPress(desk->editbox.get(), Qt::Key_Shift, Qt::ShiftModifier);
        else
            QTest::keyRelease(desk->editbox.get(), Qt::Key_Shift, Qt::NoModifier);
        ASSERT_EQ((QApplication::queryKeyboardModifiers() & Qt::ShiftModifier) != 0, c.shift);
        win_minimize(w, 0);
        if (c.shift)
            QTest::keyRelease(desk->editbox.get(), Qt::Key_Shift, Qt::NoModifier);
        window_test_pump();
        EXPECT_TRUE(w->isMinimized());
        EXPECT_EQ(w->isVisible(), c.stays_shown);
    }
}

// ---- Ctrl+Tab and Ctrl+F6 ----

TEST_F(WindowView, CtrlTabFollowsTheWindowListAmongWindowsOfTheSameKind)
{
    WindowRecord* status = win_record_of(conn->status_window.data());
    WindowRecord* desk = window_test_open("#desk", kWinChannel, 0, conn);
    WindowRecord* hidden = window_test_open("#hidden", kWinChannel, 0, conn);
    ASSERT_TRUE(status && desk && hidden);
    win_toggle_desktop(desk->hwnd.get(), 0);
    sub_of(status)->showNormal();
    win_minimize(hidden->hwnd.get(), 0);
    window_test_pump();
    opt_set(OPT_CTRL_TAB_SWITCHBAR_ORDER, 1);

    // The window list: status, #kest, #two, peer, #desk (desktop), #hidden
    // (minimised). Forwards from #kest, backwards from there, wrapping.
    bring_up(chan);
    struct Case {
        Qt::KeyboardModifiers mods;
        WindowRecord* expected;
    };
    const Case cases[] = {
        {Qt::ControlModifier, two},
        {Qt::ControlModifier, query},
        {Qt::ControlModifier, status},  // wraps past the desktop and minimised windows
        {Qt::ControlModifier, chan},
        {Qt::ControlModifier | Qt::ShiftModifier, status},
        {Qt::ControlModifier | Qt::ShiftModifier, query},  // wraps backwards
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected->name);
        WindowRecord* from = win_record_of(win_active.get());
        ASSERT_TRUE(from && from->editbox.get());
        QTest::keyClick(from->editbox.get(), Qt::Key_Tab, c.mods);
        window_test_pump();
        EXPECT_EQ(win_active.get(), c.expected->hwnd.get());
        EXPECT_TRUE(c.expected->editbox->hasFocus());
    }
    EXPECT_TRUE(sub_of(hidden)->isMinimized()) << "a minimised window is passed over";

    // A desktop window steps among desktop windows only: alone, it stays.
    bring_up(desk);
    QTest::keyClick(desk->editbox.get(), Qt::Key_Tab, Qt::ControlModifier);
    window_test_pump();
    EXPECT_EQ(win_active.get(), desk->hwnd.get());
}

TEST_F(WindowView, CtrlF6AndCtrlTabWithoutTheOptionStepTheMdiChildren)
{
    opt_set(OPT_CTRL_TAB_SWITCHBAR_ORDER, 0);
    for (Qt::Key key : {Qt::Key_F6, Qt::Key_Tab}) {
        SCOPED_TRACE(key == Qt::Key_F6 ? "Ctrl+F6" : "Ctrl+Tab");
        bring_up(chan);
        QMdiSubWindow* before = window_test_mdi()->activeSubWindow();
        ASSERT_EQ(before, sub_of(chan));
        QTest::keyClick(chan->editbox.get(), key, Qt::ControlModifier);
        window_test_pump();
        QMdiSubWindow* after = window_test_mdi()->activeSubWindow();
        ASSERT_TRUE(after);
        EXPECT_NE(after, before);
        // And back with Shift.
        WindowRecord* now = win_record_of(after->widget());
        ASSERT_TRUE(now && now->editbox.get());
        QTest::keyClick(now->editbox.get(), key, Qt::ControlModifier | Qt::ShiftModifier);
        window_test_pump();
        EXPECT_EQ(window_test_mdi()->activeSubWindow(), before);
    }
    // Ctrl+Tab in an editbox never inserts a tab.
    EXPECT_EQ(chan->editbox->toPlainText().toStdString(), "");
}

// ---- Commands that bring a window up ----

TEST_F(WindowView, JoinAndQueryOnOpenWindowsBringThemUpWithoutSending)
{
    bring_up(two);
    wire.clear();
    type(two, "/join #kest");
    EXPECT_EQ(win_active.get(), chan->hwnd.get());
    EXPECT_FALSE(sub_of(chan)->isMaximized());

    type(chan, "/join -n #two");
    EXPECT_TRUE(sub_of(two)->isMinimized());

    type(chan, "/join -x #two");
    EXPECT_EQ(win_active.get(), two->hwnd.get());
    EXPECT_TRUE(sub_of(two)->isMaximized());
    sub_of(two)->showNormal();

    type(two, "/query peer");
    EXPECT_EQ(win_active.get(), query->hwnd.get());
    type(query, "/query -n peer");
    EXPECT_TRUE(sub_of(query)->isMinimized());
    for (const std::string& line : sent())
        EXPECT_EQ(line.rfind("JOIN", 0), std::string::npos) << line;

    // A channel not open is joined, and nothing else moves.
    bring_up(chan);
    type(chan, "/join #new");
    ASSERT_FALSE(sent().empty());
    EXPECT_EQ(sent().back(), "JOIN #new\n");
    EXPECT_EQ(win_active.get(), chan->hwnd.get());
}

TEST_F(WindowView, AwayReplyGoesToTheFocusedQueryOfThatNick)
{
    opt_set(OPT_AWAY_IN_ACTIVE, 1);
    WindowRecord* other = window_test_open("other", kWinQuery, kQueryPrivate, conn);
    ASSERT_TRUE(other);
    struct Case {
        const char* what;
        WindowRecord* focused;
        const char* nick;
        int option;
        bool in_query;
    };
    const Case cases[] = {
        {"the nick's query has the focus", query, "peer", 1, true},
        {"another query has the focus", other, "peer", 1, false},
        {"a channel has the focus", chan, "peer", 1, false},
        {"the option off", query, "peer", 0, false},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        opt_set(OPT_AWAY_IN_ACTIVE, c.option);
        bring_up(c.focused);
        c.focused->editbox->setFocus();
        window_test_pump();
        ASSERT_EQ(win_focused_window(), c.focused->hwnd.get());
        const std::string marker = "gone fishing " + std::to_string(++n);
        feed(std::string(":srv 301 me ") + c.nick + " :" + marker);
        EXPECT_EQ(shows(query, marker), c.in_query);
        EXPECT_FALSE(shows(other, marker));
    }
    // Focus outside every window: none.
    if (QWidget* focus = QApplication::focusWidget())
        focus->clearFocus();
    window_test_pump();
    EXPECT_EQ(win_focused_window(), nullptr);
}

TEST_F(WindowView, TheNickListWatchesOnlyTheActiveWindow)
{
    bring_up(chan);
    EXPECT_EQ(win_is_watched(chan), 1);
    EXPECT_EQ(win_is_watched(two), 0);
    bring_up(two);
    EXPECT_EQ(win_is_watched(chan), 0);
    EXPECT_EQ(win_is_watched(two), 1);
    EXPECT_EQ(win_is_watched(nullptr), 0);
}

// ---- Delete questions ----

TEST_F(WindowView, DeletingALogAsksAndKeepsTheFileOnNo)
{
    const std::string log = settings.path() + "logs/kest.log";
    ASSERT_TRUE(file_make_dir(settings.path() + "logs"));
    ASSERT_EQ(log_set_window_mode(chan, 0, 0, 0, log, 2, 0), 1);
    feed(":peer!u@h PRIVMSG #kest :logged line");
    log_flush_all();  // what the one-second tick writes
    ASSERT_NE(slurp(log).find("logged line"), std::string::npos);
    const std::string trashed = settings.path() + "data/Trash/files/kest.log";

    {
        Asked asked;
        Answerer no(&asked, false);
        EXPECT_EQ(log_set_window_mode(chan, 0, 0, 0, "", 4, 0), 0);
        EXPECT_EQ(asked.times, 1);
        EXPECT_EQ(asked.caption, "Onayı Sil");
        EXPECT_EQ(asked.text, "Log Dosyasını Silmek istediğinize emin misiniz?");
    }
    EXPECT_NE(slurp(log).find("logged line"), std::string::npos) << "no keeps the file";
    EXPECT_FALSE(fs::exists(trashed));

    {
        Asked asked;
        Answerer yes(&asked, true);
        EXPECT_EQ(log_set_window_mode(chan, 0, 0, 0, "", 4, 0), 1);
        EXPECT_EQ(asked.times, 1);
    }
    ASSERT_TRUE(fs::exists(trashed));
    EXPECT_NE(slurp(trashed).find("logged line"), std::string::npos);
    // Logging goes on in a new file.
    EXPECT_EQ(slurp(log).find("logged line"), std::string::npos);
    feed(":peer!u@h PRIVMSG #kest :after");
    log_flush_all();
    EXPECT_NE(slurp(log).find("after"), std::string::npos);
}

TEST_F(WindowView, TrashWithAQuestionMovesTheFileOnlyOnYes)
{
    const std::string path = settings.path() + "old note.txt";
    std::ofstream(path) << "note";
    const std::string trashed = settings.path() + "data/Trash/files/old note.txt";
    {
        Asked asked;
        Answerer no(&asked, false);
        EXPECT_EQ(file_delete(path, 2), 0);
        EXPECT_EQ(asked.times, 1);
        EXPECT_EQ(asked.caption, "Onayı Sil");
        EXPECT_NE(asked.text.find("'" + path + "'"), std::string::npos) << asked.text;
    }
    EXPECT_TRUE(fs::exists(path));
    {
        Asked asked;
        Answerer yes(&asked, true);
        EXPECT_EQ(file_delete(path, 2), 1);
        EXPECT_EQ(asked.times, 1);
    }
    EXPECT_FALSE(fs::exists(path));
    EXPECT_EQ(slurp(trashed), "note");
    // The modes without a question never ask.
    std::ofstream(path) << "again";
    {
        Asked asked;
        Answerer yes(&asked, true);
        EXPECT_EQ(file_delete(path, 1), 1);
        window_test_pump();
        EXPECT_EQ(asked.times, 0);
    }
}

// ---- The irc: link handler ----

class IrcLinkHandler : public ::testing::Test {
    HookGuard hooks_;
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.made());
        ::setenv("HOME", (dir.path + "home").c_str(), 1);
        ::setenv("XDG_DATA_HOME", (dir.path + "data").c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", (dir.path + "config").c_str(), 1);
        options_reset();
    }
    void TearDown() override
    {
        program_path_override.clear();
        options_reset();
    }
    std::string entry_path() const { return dir.path + "data/applications/" + kIrcLinkDesktopFile; }
    std::string program(const std::string& name)
    {
        const std::string path = dir.path + name;
        std::ofstream(path) << "#!/bin/sh\n";
        return path;
    }
    TempDir dir{"kest-links-"};
    SavedEnv env_{"HOME", "XDG_DATA_HOME", "XDG_CONFIG_HOME"};
    SavedValues<std::string> saved_{program_path_override};
};

TEST_F(IrcLinkHandler, TheEntryOpensTheProgramWithTheLink)
{
    struct Case {
        const char* file;
        const char* exec_tail;  // the Exec line after the folder
    };
    const Case cases[] = {
        {"kest", "kest\" %u"},
        {"my kest", "my kest\" %u"},
        {"k$e`s\"t", "k\\\\$e\\\\`s\\\\\"t\" %u"},
        {"100%kest", "100%%kest\" %u"},
        {"back\\slash", "back\\\\\\\\slash\" %u"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        program_path_override = program(c.file);
        opt_set(OPT_CHAT_LINKS, 1);
        irc_link_association_check();
        const std::string text = slurp(entry_path());
        EXPECT_NE(text.find("MimeType=x-scheme-handler/irc;\n"), std::string::npos);
        EXPECT_NE(text.find("Exec=\"" + dir.path + c.exec_tail + "\n"), std::string::npos) << text;
        EXPECT_EQ(text.rfind("[Desktop Entry]\n", 0), 0u);
    }
    // Registering again replaces the one entry.
    const std::string before = slurp(entry_path());
    EXPECT_EQ(shell_register_irc_protocol(), 0);
    EXPECT_EQ(slurp(entry_path()), before);
    std::size_t entries = 0;
    for (const auto& e : fs::directory_iterator(dir.path + "data/applications/"))
        entries += e.path().filename() == kIrcLinkDesktopFile ? 1 : 0;
    EXPECT_EQ(entries, 1u);
}

TEST_F(IrcLinkHandler, NothingIsWrittenWithoutLinksOrAProgramFile)
{
    // Chat-link support off: no entry.
    program_path_override = program("kest");
    opt_set(OPT_CHAT_LINKS, 0);
    irc_link_association_check();
    EXPECT_FALSE(fs::exists(entry_path()));

    // A program file that does not exist, or a path a desktop entry cannot
    // hold: nothing, and an old entry is gone.
    opt_set(OPT_CHAT_LINKS, 1);
    irc_link_association_check();
    ASSERT_TRUE(fs::exists(entry_path()));
    program_path_override = dir.path + "missing";
    EXPECT_EQ(shell_register_irc_protocol(), 1);
    EXPECT_FALSE(fs::exists(entry_path()));
    program_path_override = program("two\nlines");
    EXPECT_EQ(shell_register_irc_protocol(), 1);
    EXPECT_FALSE(fs::exists(entry_path()));

    // Without XDG_DATA_HOME the folder is under the home folder.
    ::unsetenv("XDG_DATA_HOME");
    EXPECT_EQ(shell_applications_dir(), dir.path + "home/.local/share/applications/");
}

}  // namespace

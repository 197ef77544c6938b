// The Notify List window as the user meets it: opened and closed from the
// frame's menu command and /notify, filled from the connection's list as the
// server's ISON answers come, lines that stay keeping their items (and the
// selection), activity when it changes behind the user's back, its
// right-click menu (the query popup's items for the selected nick, the
// show-all switch) and $snotify.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QListWidget>
#include <QMenu>
#include <QTest>

#include <fstream>
#include <string>
#include <vector>

#include "app/frame_menu.h"
#include "app/mdi_arrange.h"
#include "app/frame_proc.h"
#include "app/popup_menus.h"
#include "app/subsystems.h"
#include "app/window_open.h"
#include "app/window_ops.h"
#include "core/options.h"
#include "irc/dispatch/dispatcher.h"
#include "irc/dispatch/membership.h"
#include "irc/link/connect.h"
#include "irc/lists/address_list.h"
#include "irc/lists/notify_list.h"
#include "irc/numerics/isupport.h"
#include "model/connection.h"
#include "model/window_record.h"
#include "platform/app_messages.h"
#include "platform/platform_utils.h"
#include "script/events/remote_files.h"
#include "script/exec/script_types.h"
#include "script/popups.h"
#include "support/hook_guard.h"
#include "support/test_support.h"
#include "support/test_wire.h"
#include "support/window_fixture.h"

namespace {

std::vector<std::string> texts(QListWidget* box)
{
    std::vector<std::string> out;
    for (int i = 0; i < box->count(); ++i)
        out.push_back(box->item(i)->text().toStdString());
    return out;
}

QMenu* open_popup()
{
    return qobject_cast<QMenu*>(QApplication::activePopupWidget());
}

QAction* action_with_id(QMenu* menu, int id)
{
    for (QAction* a : menu->actions())
        if (!a->isSeparator() && a->data().toInt() == id)
            return a;
    return nullptr;
}

QAction* action_named(QMenu* menu, const std::string& text)
{
    for (QAction* a : menu->actions())
        if (a->text().toStdString() == text)
            return a;
    return nullptr;
}

void close_popups()
{
    while (QWidget* w = QApplication::activePopupWidget())
        w->close();
    window_test_pump();
}

class NotifyWindow : public ::testing::Test {
    HookGuard hooks_;

protected:
    TempSettingsDir temp{"kest_notifywin_"};

    void SetUp() override
    {
        ASSERT_TRUE(temp.made());
        window_test_reset();
        app_install_subsystems();
        app_messages_set_frame(nullptr);
        frame_proc_install();
        beep_play_hook = [](int) {};
        remote_files_free_all();
        opt_set(OPT_NOTIFY_ENABLED, 1);
        opt_set(OPT_NOTIFY_LIST_OFFLINE, 1);
        conn = window_test_conn();
        ASSERT_TRUE(conn);
        conn->live_identity[2] = "me";
        conn->server_name = "irc.test";
        irc_state_new_link(conn);
        conn->connected = 1;
        ASSERT_TRUE(wire.ok());
        wire.attach(conn);
        conn->registered = 1;
        irc_state(conn)->logon_pending = 0;
        conn_set_isupport_defaults(conn);
        ial_init(conn);
        notify_free_all(conn);
        for (const char* nick : {"alice", "bob!*@good.host", "carol"})
            ASSERT_EQ(notify_add(nick, std::string(nick) == "alice" ? "friend" : "", "", "", 0, "", conn), 1);
    }
    void TearDown() override
    {
        close_popups();
        menu_popup_reset();
        remote_files_free_all();
        popup_files_free();
        if (conn_is_live(conn)) {
            notify_free_all(conn);
            conn->socket = -1;
        }
        window_test_reset();
    }

    void feed(const std::string& line) { irc_dispatch_line(line, conn); }
    // The link is up and logged on; the first poll's answer names the nicks.
    void logon(const std::string& online)
    {
        notify_conn_stage(1, conn);
        notify_conn_stage(2, conn);
        feed(":irc.test 303 me :" + online);
    }
    // A later poll of the tick and its answer.
    void poll(const std::string& online)
    {
        notify_poll(0, conn);
        feed(":irc.test 303 me :" + online);
    }
    WindowRecord* window() { return win_find_by_type(kWinNotify, nullptr); }
    ListBox* box()
    {
        WindowRecord* rec = window();
        return rec ? rec->listbox.get() : nullptr;
    }
    std::string title()
    {
        WindowRecord* rec = window();
        return rec && rec->hwnd ? rec->hwnd->windowTitle().toStdString() : std::string();
    }
    std::string eval(const std::string& text)
    {
        std::string value = text;
        ident_eval_text(nullptr, &value, nullptr, nullptr, 0, 0, -1, nullptr, conn);
        return value;
    }
    void menu_command(int id)
    {
        frame_on_command(nullptr, static_cast<uintptr_t>(id), 0);
        window_test_pump();
    }
    QMenu* rclick_list()
    {
        ListBox* list = box();
        if (!list)
            return nullptr;
        win_activate(window()->hwnd, 0);
        window_test_pump();
        const QRect r = list->visualItemRect(list->currentItem());
        QTest::mouseClick(list->viewport(), Qt::RightButton, {}, r.center());
        window_test_pump();
        return open_popup();
    }
    void select_row(int row)
    {
        box()->setCurrentRow(row);
        box()->item(row)->setSelected(true);
    }

    TestWire wire;
    Connection* conn = nullptr;
};

TEST_F(NotifyWindow, TheWindowFollowsTheAnswersAndKeepsTheLinesThatStay)
{
    logon("alice");
    EXPECT_FALSE(window()) << "the window opens only when asked (auto-open is off)";
    menu_command(131);
    ASSERT_TRUE(box()) << "menu 131 did not open the Notify List";
    EXPECT_EQ(window()->name, "Notify List");
    EXPECT_EQ(texts(box()), (std::vector<std::string>{"irc.test", "alice (friend)", "Online Değil",
                                                      "bob *@good.host", "carol"}));
    EXPECT_EQ(title(), "Notify List (1/3)");
    // $line reads the same lines as the window's text.
    EXPECT_EQ(eval("$line(Notify List,0)"), "5");
    EXPECT_EQ(eval("$line(Notify List,2)"), "alice (friend)");

    select_row(4);
    QListWidgetItem* carol = box()->item(4);
    QListWidgetItem* header = box()->item(0);
    // bob comes; then the same answer again changes nothing.
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        poll("alice bob");
        EXPECT_EQ(texts(box()), (std::vector<std::string>{"irc.test", "alice (friend)", "bob", "Online Değil",
                                                          "carol"}));
        EXPECT_EQ(title(), "Notify List (2/3)");
        EXPECT_EQ(box()->item(4), carol) << "a line that stays keeps its item";
        EXPECT_TRUE(carol->isSelected()) << "and its selection";
        EXPECT_EQ(box()->item(0), header);
    }
    // Everybody leaves: the connection's heading stays alone above the
    // off-line entries.
    poll("");
    EXPECT_EQ(texts(box()), (std::vector<std::string>{"irc.test", "Online Değil", "alice (friend)",
                                                      "bob *@good.host", "carol"}));
    EXPECT_EQ(title(), "Notify List (0/3)");
    EXPECT_EQ(eval("$line(Notify List,0)"), "5");
}

// Menu 131 (Alt+N, the toolbar's button, the tray's item) closes the window
// when it is the active window and opens (or activates) it otherwise; /notify
// -s and -h show and hide it.
TEST_F(NotifyWindow, MenuCommandOpensAndClosesAndNotifyShowsAndHides)
{
    logon("alice");
    menu_command(131);
    ASSERT_TRUE(window());
    EXPECT_EQ(win_active.get(), window()->hwnd.get());
    menu_command(131);
    EXPECT_FALSE(window()) << "the active Notify List closes";
    menu_command(131);
    ASSERT_TRUE(window());
    // Another window in front: the command brings the list back instead.
    win_activate(conn->status_window, 0);
    window_test_pump();
    ASSERT_NE(win_active.get(), window()->hwnd.get());
    menu_command(131);
    ASSERT_TRUE(window());
    EXPECT_EQ(win_active.get(), window()->hwnd.get());

    QWidget* status = conn->status_window;
    script_exec_line(status, "/notify -h", nullptr, 0, nullptr, nullptr, conn);
    window_test_pump();
    EXPECT_FALSE(window());
    script_exec_line(status, "/notify -s", nullptr, 0, nullptr, nullptr, conn);
    window_test_pump();
    ASSERT_TRUE(box());
    EXPECT_EQ(box()->count(), 5);
}

// A nick seen coming while the window is behind another marks it with
// activity level 1, as does the first answer after logon that finds
// somebody; in front it stays unmarked; and nothing but a change marks it.
TEST_F(NotifyWindow, AChangeBehindTheUsersBackMarksTheWindow)
{
    menu_command(131);
    ASSERT_TRUE(window());
    win_activate(conn->status_window, 0);
    window_test_pump();
    window()->activity = 0;
    logon("carol");
    EXPECT_EQ(window()->activity, 1) << "the first answer found somebody";
    struct Case {
        const char* what;
        bool in_front;
        const char* seen;  // an ISON answer the user asked for
        int activity;
    } cases[] = {
        {"in front, alice comes", true, "alice", 0},
        {"behind, bob comes", false, "bob", 1},
        {"behind, bob again", false, "bob", 0},
        {"behind, nobody new", false, "", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        win_activate(c.in_front ? window()->hwnd.get() : conn->status_window.data(), 0);
        window_test_pump();
        window()->activity = 0;
        feed(":irc.test 303 me :" + std::string(c.seen));
        EXPECT_EQ(window()->activity, c.activity);
    }
}

TEST_F(NotifyWindow, ThePopupOffersTheQueryItemsForTheSelectedNickAndTheShowAllSwitch)
{
    std::ofstream(temp.path() + "popups.ini") << "[qpopup]\nn0=Greet:/msg $1 hello\n";
    popup_files_load_all();
    logon("alice");
    menu_command(131);
    ASSERT_TRUE(box());

    // A heading selected: only the window's own items.
    select_row(0);
    QMenu* menu = rclick_list();
    ASSERT_TRUE(menu);
    EXPECT_FALSE(action_named(menu, "Greet"));
    ASSERT_TRUE(action_with_id(menu, 6996));
    EXPECT_TRUE(action_with_id(menu, 6996)->isChecked());
    close_popups();
    menu_popup_reset();

    // alice's line: the query popup's item runs with her nick.
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        select_row(1);
        menu = rclick_list();
        ASSERT_TRUE(menu);
        QAction* greet = action_named(menu, "Greet");
        ASSERT_TRUE(greet);
        wire.clear();
        QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(greet).center());
        window_test_pump();
        EXPECT_EQ(wire.lines(), std::vector<std::string>{"PRIVMSG alice :hello\n"});
        EXPECT_EQ(popup_context.kind, kPopupNone);
    }

    // Show-all off hides the off-line section; on again brings it back.
    for (int expected_on : {0, 1}) {
        SCOPED_TRACE(expected_on);
        select_row(0);
        menu = rclick_list();
        ASSERT_TRUE(menu);
        QAction* all = action_with_id(menu, 6996);
        ASSERT_TRUE(all);
        QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(all).center());
        window_test_pump();
        EXPECT_EQ(opt(OPT_NOTIFY_LIST_OFFLINE), expected_on);
        EXPECT_EQ(box()->count(), expected_on ? 5 : 2);
        EXPECT_EQ(title(), expected_on ? "Notify List (1/3)" : "Notify List (3/3)");
    }
}

TEST_F(NotifyWindow, SnotifyIsTheSelectedEntrysNickOnItsOwnConnection)
{
    logon("alice");
    menu_command(131);
    ASSERT_TRUE(box());
    struct Case {
        int row;
        const char* nick;
    } cases[] = {
        {1, "alice"},   // on line
        {3, "bob"},     // off line: the nick without its mask
        {0, ""},        // the connection's heading
        {2, ""},        // the off-line heading
        {4, "carol"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.row);
        select_row(c.row);
        EXPECT_EQ(eval("$snotify"), c.nick);
    }
    // Nothing selected.
    box()->clearSelection();
    EXPECT_EQ(eval("$snotify"), "");
    // The entry is gone from the list: the line is stale until the window
    // is rebuilt.
    select_row(4);
    const int carol_id = notify_find("carol", 0, conn)->id;
    notify_remove_nick("carol", conn);
    EXPECT_FALSE(notify_find_by_id(carol_id, nullptr));
    EXPECT_EQ(eval("$snotify"), "");
}

}  // namespace

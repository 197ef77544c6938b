// The menu bar's script menu on the real frame: /load -rs of a script with
// a "menu menubar" section puts a menu on the bar before the window menu,
// opening it with the mouse shows the items, picking one runs its command,
// and /unload -rs takes the menu away again. The menu-bar popup file
// (loaded with /load -pm) gives the title and the first items.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QMainWindow>
#include <QMdiArea>
#include <QMenu>
#include <QMenuBar>
#include <QTest>

#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

#include "model/connection.h"
#include "app/frame_menu.h"
#include "app/frame_proc.h"
#include "app/popup_menubar.h"
#include "app/popup_menus.h"
#include "app/startup.h"
#include "app/subsystems.h"
#include "model/window_record.h"
#include "core/main_settings.h"
#include "core/options.h"
#include "irc/link/send_queue.h"
#include "platform/app_messages.h"
#include "platform/platform_utils.h"
#include "script/events/remote_files.h"
#include "script/exec/executor.h"
#include "script/exec/script_types.h"
#include "script/popups.h"
#include "support/hook_guard.h"
#include "support/test_support.h"
#include "support/window_fixture.h"
#include "support/test_wire.h"

namespace {

std::vector<std::string> captions(QWidget* menu)
{
    std::vector<std::string> out;
    for (QAction* a : menu->actions())
        out.push_back(a->isSeparator() ? std::string("-") : a->text().toStdString());
    return out;
}

QAction* action_named(QWidget* menu, const std::string& text)
{
    for (QAction* a : menu->actions())
        if (a->text().toStdString() == text)
            return a;
    return nullptr;
}

class MenubarScriptMenu : public ::testing::Test {
    HookGuard hooks_;

protected:
    TempSettingsDir temp{"kest_menubar_"};
    QPointer<QMainWindow> saved_frame;
    TestWire wire;
    Connection* conn = nullptr;

    // The lines sent to the server so far.
    const std::vector<std::string>& sent() { return wire.lines(); }

    void SetUp() override
    {
        ASSERT_TRUE(temp.made());
        window_test_reset();
        app_install_subsystems();
        app_messages_set_frame(nullptr);
        frame_proc_install();
        beep_play_hook = [](int) {};
        remote_files_free_all();
        popup_files_load_all();
        QMdiArea* mdi = window_test_mdi();
        saved_frame = frame_window;
        frame_window = qobject_cast<QMainWindow*>(mdi->window());
        ASSERT_TRUE(frame_window);
        frame_window->showNormal();
        frame_window->resize(900, 600);
        opt_set(OPT_MENUBAR_SHOWN, 1);
        conn = window_test_conn();
        ASSERT_TRUE(conn);
        conn->connected = 1;
        ASSERT_TRUE(wire.ok());
        wire.attach(conn);
        conn->live_identity[2] = "me";
        ASSERT_EQ(frame_menu_build(), 1);
        window_test_pump();
    }
    void TearDown() override
    {
        while (QWidget* w = QApplication::activePopupWidget())
            w->close();
        menu_popup_reset();
        remote_files_free_all();
        popup_files_free();
        popup_menubar_rebuild(0, 0);
        frame_menus_destroy();
        if (frame_window)
            frame_window->menuBar()->clear();
        if (conn_is_live(conn))
            conn->socket = -1;
        window_test_reset();
        frame_window = saved_frame;
    }

    void write(const std::string& name, const std::vector<std::string>& lines)
    {
        std::ofstream out(temp.path() + name);
        for (const auto& l : lines)
            out << l << "\n";
    }

    // Types a command into the status window, as the user would.
    void type(const std::string& line)
    {
        script_exec_line(conn->status_window, line.c_str(), nullptr, 0, nullptr, nullptr, conn);
        window_test_pump();
    }

    QMenuBar* bar() { return frame_window->menuBar(); }

    // The titles of the bar's menus, in order.
    std::vector<std::string> bar_titles() { return captions(bar()); }

    // Opens a menu of the bar with the mouse.
    QMenu* open(const std::string& title)
    {
        QAction* a = action_named(bar(), title);
        if (!a)
            return nullptr;
        // Near its left end: a long title runs past the bar's right edge.
        const QRect r = bar()->actionGeometry(a);
        QTest::mouseClick(bar(), Qt::LeftButton, {}, QPoint(r.left() + std::min(10, r.width() / 2), r.center().y()));
        window_test_pump();
        return qobject_cast<QMenu*>(QApplication::activePopupWidget());
    }

    void choose(QMenu* menu, const std::string& text)
    {
        QAction* a = action_named(menu, text);
        ASSERT_TRUE(a) << text << " in " << ::testing::PrintToString(captions(menu));
        QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(a).center());
        window_test_pump();
    }
};

TEST_F(MenubarScriptMenu, LoadedScriptSectionShowsBeforeTheWindowMenuRunsItsItemsAndGoesOnUnload)
{
    const std::vector<std::string> plain = bar_titles();
    ASSERT_EQ(popup_menubar_menu(), nullptr) << "no source, no script menu";
    write("tools.kst", {"menu menubar {", "Say hello:/raw PRIVMSG #here :hello", "-",
                        "More", ".Ping it:/raw PING $me", "}", "menu status {",
                        "Not on the bar:/raw NOPE", "}"});
    type("/load -rs " + temp.path() + "tools.kst");

    // The program's name and version, just before the window menu.
    std::vector<std::string> expected = plain;
    auto window_menu = std::find(expected.begin(), expected.end(), "&Pencere");
    ASSERT_NE(window_menu, expected.end());
    expected.insert(window_menu, kProgramVersionText);
    EXPECT_EQ(bar_titles(), expected);

    QMenu* menu = open(kProgramVersionText);
    ASSERT_TRUE(menu);
    EXPECT_EQ(captions(menu), (std::vector<std::string>{"Say hello", "-", "More"}));
    choose(menu, "Say hello");
    EXPECT_EQ(sent(), std::vector<std::string>{"PRIVMSG #here :hello\n"});
    EXPECT_EQ(popup_context.kind, kPopupNone) << "the popup is discarded after its command";

    // A submenu item, twice in a row.
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        wire.clear();
        menu = open(kProgramVersionText);
        ASSERT_TRUE(menu);
        QAction* more = action_named(menu, "More");
        ASSERT_TRUE(more && more->menu());
        QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(more).center());
        // The submenu opens once the click has been served.
        for (int i = 0; i < 200 && QApplication::activePopupWidget() != more->menu(); ++i) {
            window_test_pump();
            QTest::qWait(5);
        }
        ASSERT_EQ(QApplication::activePopupWidget(), more->menu());
        choose(more->menu(), "Ping it");
        EXPECT_EQ(sent(), std::vector<std::string>{"PING me\n"});
    }

    // Unloading the only source takes the menu off the bar.
    type("/unload -rs tools.kst");
    EXPECT_EQ(bar_titles(), plain);
    EXPECT_EQ(popup_menubar_menu(), nullptr);
}

TEST_F(MenubarScriptMenu, PopupFileGivesTheTitleAndTheFirstItemsAndAnotherPopupLeavesItWorking)
{
    write("popups.ini", {"[mpopup]", "n0=Status only:/raw STATUS", "[bpopup]", "n0=Araçlarım",
                         "n1=From file:/raw FROMFILE", "n2=$null:/raw HIDDEN"});
    type("/load -pm " + temp.path() + "popups.ini");
    ASSERT_TRUE(action_named(bar(), "Araçlarım")) << ::testing::PrintToString(bar_titles());
    write("extra.kst", {"menu menubar,status {", "From script:/raw FROMSCRIPT", "}"});
    type("/load -rs " + temp.path() + "extra.kst");

    QMenu* menu = open("Araçlarım");
    ASSERT_TRUE(menu);
    // The title line is no item; an empty caption hides its item; the
    // script's items follow the file's after a separator.
    EXPECT_EQ(captions(menu), (std::vector<std::string>{"From file", "-", "From script"}));
    menu->close();
    window_test_pump();

    // A status popup built meanwhile gives the same lines other ids; the
    // menu bar's items still run their own commands.
    ASSERT_TRUE(menu_build_status_popup(conn->status_window, "status"));
    menu_popup_reset();
    const struct {
        const char* item;
        const char* line;
    } cases[] = {{"From script", "FROMSCRIPT\n"}, {"From file", "FROMFILE\n"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.item);
        wire.clear();
        menu = open("Araçlarım");
        ASSERT_TRUE(menu);
        choose(menu, c.item);
        EXPECT_EQ(sent(), std::vector<std::string>{c.line});
    }

    // The script goes; the file alone keeps the menu, and its title.
    type("/unload -rs extra.kst");
    menu = open("Araçlarım");
    ASSERT_TRUE(menu);
    EXPECT_EQ(captions(menu), std::vector<std::string>{"From file"});
}

TEST_F(MenubarScriptMenu, ALongTitleIsCutAndTheMenuSurvivesAMenuRebuild)
{
    const std::string long_title(300, 'x');
    write("popups.ini", {"[bpopup]", "n0=" + long_title, "n1=Item:/raw ITEM"});
    type("/load -pm " + temp.path() + "popups.ini");
    const std::string cut = long_title.substr(0, 256) + "...";
    EXPECT_TRUE(action_named(bar(), cut)) << ::testing::PrintToString(bar_titles());
    // The menu bar is made again (a mode change): the script menu comes back once.
    ASSERT_EQ(frame_menu_build(), 1);
    ASSERT_EQ(frame_menu_build(), 1);
    window_test_pump();
    const auto titles = bar_titles();
    EXPECT_EQ(std::count(titles.begin(), titles.end(), cut), 1);
    // Wide enough for the whole title on the bar.
    frame_window->resize(2800, 600);
    window_test_pump();
    QMenu* menu = open(cut);
    ASSERT_TRUE(menu);
    choose(menu, "Item");
    EXPECT_EQ(sent(), std::vector<std::string>{"ITEM\n"});
}

}  // namespace

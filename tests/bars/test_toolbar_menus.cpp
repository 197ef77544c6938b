// The toolbar's right-click menus on an offscreen frame, clicked with the
// mouse: the bar's own menu on its empty part, and the lists of the
// built-in buttons (recent servers, channels, script files, folders).
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QMainWindow>
#include <QMenu>
#include <QPointer>
#include <QtTest/QTest>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "model/connection.h"
#include "irc/link/connections.h"
#include "app/frame_menu.h"
#include "app/frame_proc.h"
#include "app/menu_lists.h"
#include "app/popup_menus.h"
#include "app/startup.h"
#include "app/subsystems.h"
#include "model/window_record.h"
#include "app/bar_docking.h"
#include "display/bar_windows.h"
#include "display/pictures.h"
#include "bars/toolbar.h"
#include "bars/toolbar_buttons.h"
#include "core/ini.h"
#include "core/main_settings.h"
#include "core/options.h"
#include "irc/link/send_queue.h"
#include "display/backgrounds.h"
#include "model/colors.h"
#include "platform/app_messages.h"
#include "platform/platform_utils.h"
#include "script/events/remote_files.h"
#include "script/exec/script_hooks.h"
#include "script/exec/script_types.h"
#include "script/popups.h"
#define KEST_TEST_WIDGETS
#include "support/hook_guard.h"
#include "support/test_support.h"
#include "support/test_wire.h"

namespace {

QPointer<QMainWindow> g_frame;
std::vector<std::string> g_opened;
std::vector<std::string> g_echoed;

std::vector<std::string> captions(QMenu* menu)
{
    std::vector<std::string> out;
    for (QAction* a : menu->actions())
        out.push_back(a->isSeparator() ? std::string("-") : a->text().toStdString());
    return out;
}

QAction* action_named(QMenu* menu, const std::string& text)
{
    for (QAction* a : menu->actions())
        if (a->text().toStdString() == text)
            return a;
    return nullptr;
}

class ToolbarMenus : public ::testing::Test {
protected:
    TempSettingsDir settings{"kest_tbmenus"};
    HookGuard hooks;
    QPointer<QMainWindow> saved_frame;
    Connection* conn = nullptr;
    int saved_side = 0, saved_lock = 0, saved_shown = 0;

    void SetUp() override
    {
        ASSERT_TRUE(settings.made());
        test_frame_mdi(g_frame);
        saved_frame = frame_window;
        frame_window = g_frame;
        saved_side = dock_bar_side(BAR_TOOLBAR);
        saved_lock = dock_bars_locked();
        saved_shown = opt(OPT_TOOLBAR_SHOWN);
        opt_set(OPT_TOOLBAR_SHOWN, 1);
        opt_set(OPT_MENUBAR_SHOWN, 1);
        dock_set_bar_side(BAR_TOOLBAR, 1);
        dock_set_bars_locked(0);
        app_install_subsystems();
        app_messages_set_frame(nullptr);
        frame_proc_install();
        beep_play_hook = [](int) {};
        g_opened.clear();
        desktop_open_hook = [](const std::string& path) {
            g_opened.push_back(path);
            return 1;
        };
        g_echoed.clear();
        script_echo_line = [](QWidget*, const std::string& text, int) { g_echoed.push_back(text); };
        remote_files_free_all();
        popup_files_free();
        conn = conn_new_with_status(nullptr);
        ASSERT_TRUE(conn);
        ASSERT_EQ(frame_menu_build(), 1);
        ASSERT_EQ(toolbar_create(), 1);
        toolbar_window->setGeometry(0, 0, 980, 40);
        toolbar_window->show();
        toolbar_window->layout();
        test_drain_events();
    }
    void TearDown() override
    {
        while (QWidget* w = QApplication::activePopupWidget())
            w->close();
        menu_popup_reset();
        delete toolbar_window.data();
        frame_menus_destroy();
        remote_files_free_all();
        popup_files_free();
        test_drain_events();
        if (conn_is_live(conn))
            conn_free(conn);
        test_drain_events();
        dock_set_bar_side(BAR_TOOLBAR, saved_side);
        dock_set_bars_locked(saved_lock);
        opt_set(OPT_TOOLBAR_SHOWN, saved_shown);
        frame_window = saved_frame;
    }

    QRect rect_of(std::string name)
    {
        toolbar_window->layout();
        // The script editor button has two faces by the remote switches.
        if (name == "scripts" && toolbar_message(TBM_IS_HIDDEN, 1009, 0) == 1)
            name = "scripts2";
        ToolbarButton* b = toolbar_button_at(toolbar_index_of_name(name));
        return b ? b->rect : QRect();
    }

    // A right click at a point of the bar; the menu that opened, or null.
    QMenu* rclick_at(QPoint p)
    {
        QTest::mouseClick(toolbar_window, Qt::RightButton, Qt::NoModifier, p);
        test_drain_events();
        return qobject_cast<QMenu*>(QApplication::activePopupWidget());
    }
    QMenu* rclick(const std::string& name) { return rclick_at(rect_of(name).center()); }

    void choose(QMenu* menu, const std::string& text)
    {
        QAction* a = action_named(menu, text);
        ASSERT_TRUE(a) << text << " in " << ::testing::PrintToString(captions(menu));
        QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(a).center());
        test_drain_events();
    }

    // The empty part of the bar, past its last button.
    QPoint empty_part()
    {
        int right = 0;
        for (int i = 0; i < toolbar_count(); ++i)
            right = std::max(right, toolbar_button_at(i)->rect.right());
        return QPoint(right + 40, toolbar_window->height() / 2);
    }

    void write(const std::string& name, const std::vector<std::string>& lines)
    {
        std::ofstream out(settings.path() + name);
        for (const auto& l : lines)
            out << l << "\n";
    }

    int type(const std::string& line)
    {
        return script_exec_line(conn->status_window, line.c_str(), nullptr, 0, nullptr, nullptr, conn);
    }
};

TEST_F(ToolbarMenus, EmptyPartShowsTheBarsMenuWhosePositionAndLockChoicesApply)
{
    QMenu* menu = rclick_at(empty_part());
    ASSERT_TRUE(menu) << "no menu on the empty part of the bar";
    EXPECT_EQ(captions(menu), (std::vector<std::string>{"Ark&a Plan", "B&uttonlar", "&Pozisyon", "-",
                                                        "&Barları Kilitle", "-", "&Ayarlar..."}));
    QMenu* place = action_named(menu, "&Pozisyon")->menu();
    ASSERT_TRUE(place);
    // The bar stands at the top: that choice is ticked.
    ASSERT_TRUE(action_named(place, "&Üstte"));
    EXPECT_TRUE(action_named(place, "&Üstte")->isChecked());
    EXPECT_FALSE(action_named(place, "&Sol")->isChecked());
    action_named(place, "&Sol")->trigger();
    test_drain_events();
    EXPECT_EQ(dock_bar_side(BAR_TOOLBAR), 2);
    menu->close();
    test_drain_events();

    // Back on top; then the lock, twice: on, then off again.
    dock_set_bar_side(BAR_TOOLBAR, 1);
    for (int expected : {1, 0}) {
        toolbar_window->layout();
        menu = rclick_at(empty_part());
        ASSERT_TRUE(menu);
        choose(menu, "&Barları Kilitle");
        EXPECT_EQ(dock_bars_locked(), expected);
    }
}

TEST_F(ToolbarMenus, TheEdgeBetweenTwoButtonsAndADisabledButtonShowNothing)
{
    const QRect a = rect_of("chanfolder"), b = rect_of("chanlist");
    ASSERT_TRUE(a.isValid() && b.isValid());
    // Neighbouring buttons overlap by a pixel: their shared edge is no empty part.
    EXPECT_EQ(rclick_at(QPoint(b.left(), b.center().y())), nullptr);
    for (int id : {1009, 1010})  // the script editor button, both faces
        toolbar_message(TBM_ENABLE, static_cast<uintptr_t>(id), 0);
    EXPECT_EQ(rclick("scripts"), nullptr);
    // A button with no list of its own: nothing.
    EXPECT_EQ(rclick("options"), nullptr);
}

TEST_F(ToolbarMenus, ScriptsButtonListsTheLoadedFilesByGroupAndChoosingOneMakesItCurrent)
{
    write("popups.ini", {"[cpopup]", "n0=Hi:/echo hi"});
    popup_files_load_all();
    write("one.kst", {"on *:TEXT:*:*:{ }"});
    write("two.kst", {"alias x { }"});
    ASSERT_EQ(type("/load -rs " + settings.path() + "one.kst"), 1);
    ASSERT_EQ(type("/load -rs " + settings.path() + "two.kst"), 1);
    QMenu* menu = rclick("scripts");
    ASSERT_TRUE(menu) << "no script files menu";
    // Popup files by kind, then the scripts by name, each group apart.
    EXPECT_EQ(captions(menu), (std::vector<std::string>{"Statüs", "Kanal", "Özel", "Nick Listesi", "Menu Bar",
                                                        "-", "one.kst", "two.kst"}));
    choose(menu, "two.kst");
    ScriptFile* two = remote_file_find(settings.path() + "two.kst", kRemoteScript);
    ScriptFile* one = remote_file_find(settings.path() + "one.kst", kRemoteScript);
    ASSERT_TRUE(one && two);
    EXPECT_EQ(two->selected, 1);
    EXPECT_EQ(one->selected, 0);

    // Unloaded, a script leaves the list.
    ASSERT_EQ(type("/unload -rs one.kst"), 1);
    menu = rclick("scripts");
    ASSERT_TRUE(menu);
    EXPECT_EQ(action_named(menu, "one.kst"), nullptr);
    EXPECT_TRUE(action_named(menu, "two.kst"));
    menu->close();
    test_drain_events();

    // A restart: the stores are read again from the settings, and the
    // loaded script is listed again.
    remote_files_free_all();
    popup_files_free();
    menu = rclick("scripts");
    EXPECT_EQ(menu, nullptr) << "nothing loaded, nothing listed";
    remote_files_load_all();
    popup_files_load_all();
    menu = rclick("scripts");
    ASSERT_TRUE(menu);
    EXPECT_TRUE(action_named(menu, "two.kst")) << ::testing::PrintToString(captions(menu));
    EXPECT_EQ(action_named(menu, "one.kst"), nullptr);
}

TEST_F(ToolbarMenus, ReceivedFilesButtonListsTheExistingDownloadFoldersAndOpensTheOneChosen)
{
    namespace fs = std::filesystem;
    const std::string pics = settings.path() + "pics/", docs = settings.path() + "docs/";
    fs::create_directories(pics);
    fs::create_directories(docs);
    fs::create_directories(settings.path() + "download");
    ini_write("extensions", "n0", "*.jpg,*.png EXTDIR:pics", main_ini_path);
    ini_write("extensions", "n1", ("*.txt EXTDIR:" + docs).c_str(), main_ini_path);
    ini_write("extensions", "n2", "*.zip EXTDIR:gone", main_ini_path);  // no such folder
    ini_write("extensions", "n3", "*.jpeg EXTDIR:PICS", main_ini_path);  // the same folder again
    QMenu* menu = rclick("rcvdfiles");
    ASSERT_TRUE(menu) << "no folders menu";
    EXPECT_EQ(captions(menu), (std::vector<std::string>{settings.path() + "download/", pics, docs}));
    choose(menu, docs);
    ASSERT_EQ(g_opened.size(), 1u);
    EXPECT_NE(g_opened[0].find(docs.substr(0, docs.size() - 1)), std::string::npos) << g_opened[0];

    // A received file's folder comes first; the list keeps at most 20.
    folders_recent_add(pics + "a.jpg");
    ASSERT_FALSE(folders_recent().empty());
    EXPECT_EQ(folders_recent()[0].path, pics);
    for (int i = 0; i < 25; ++i) {
        const std::string f = settings.path() + "r" + std::to_string(i) + "/";
        fs::create_directories(f);
        folders_recent_add(f + "x.bin");
    }
    EXPECT_EQ(folders_recent().size(), 20u);
    EXPECT_EQ(folders_recent()[0].path, settings.path() + "r24/");
}

TEST_F(ToolbarMenus, ConnectAndChannelsFolderButtonsShowTheMainMenusLists)
{
    write("servers.ini", {"[recent]", "n0=Home netSERVER:irc.home.example:6667GROUP:home"});
    QMenu* menu = rclick("connect");
    ASSERT_TRUE(menu) << "no recent servers menu";
    EXPECT_EQ(menu, menu_build_servers_popup());
    EXPECT_TRUE(action_named(menu, "home: Home net")) << ::testing::PrintToString(captions(menu));
    menu->close();
    test_drain_events();
    menu = rclick("chanfolder");
    ASSERT_TRUE(menu) << "no channels menu";
    EXPECT_EQ(menu, frame_menu_find_item(142, nullptr));
    EXPECT_TRUE(frame_menu_action(142));
}

}  // namespace

namespace {

TEST_F(ToolbarMenus, ScriptButtonWithAPopupShowsItBesideTheButtonAndRunsTheItemChosen)
{
    TestWire wire;
    ASSERT_TRUE(wire.ok());
    conn->connected = 1;
    wire.attach(conn);
    QImage img(16, 16, QImage::Format_RGB32);
    img.fill(qRgb(0, 120, 0));
    const std::string pic = settings.path() + "b.bmp";
    ASSERT_EQ(dib_save_bmp(pic, img), 1);
    write("tb.kst", {"menu @tbmenu {", "Hello $1-:/raw HELLO", "}"});
    ASSERT_EQ(type("/load -rs " + settings.path() + "tb.kst"), 1);
    ASSERT_EQ(type("/toolbar -a mine \"Mine\" \"" + pic + "\" \"/echo clicked\" \"@tbmenu\""), 1);
    const QRect r = rect_of("mine");
    ASSERT_TRUE(r.isValid());
    QMenu* menu = rclick("mine");
    ASSERT_TRUE(menu) << "no popup on the script button";
    EXPECT_EQ(popup_context.kind, kPopupCustomToolbar);
    EXPECT_EQ(captions(menu), std::vector<std::string>{"Hello"});
    // Below the button on a bar at the top.
    EXPECT_EQ(menu->pos().y(), toolbar_window->mapToGlobal(QPoint(0, r.bottom() + 1)).y());
    choose(menu, "Hello");
    EXPECT_EQ(wire.lines(), std::vector<std::string>{"HELLO\n"});
    conn->socket = -1;
}

}  // namespace

namespace {

TEST_F(ToolbarMenus, ColoursButtonListsTheSchemesAndTheOneChosenBecomesCurrent)
{
    color_items_init();
    color_load();
    for (const char* name : {"Monochrome State", "Kest Classic"}) {
        SCOPED_TRACE(name);
        QMenu* menu = rclick("colors");
        ASSERT_TRUE(menu) << "no schemes menu";
        ASSERT_TRUE(action_named(menu, name)) << ::testing::PrintToString(captions(menu));
        choose(menu, name);
        std::string theme;
        ini_read("text", "theme", "", theme, 306, main_ini_path);
        EXPECT_EQ(theme, name);
        menu = rclick("colors");
        ASSERT_TRUE(menu);
        EXPECT_TRUE(action_named(menu, name)->isChecked());
        menu->close();
        test_drain_events();
    }
}

}  // namespace

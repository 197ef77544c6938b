// The frame's menu bar and commands, MDI arrangement, window placement,
// modes, transparency, the language module and the confirmations.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDialog>
#include <QLabel>
#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <QtTest/QTest>

#include <algorithm>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "app/child_window.h"
#include "app/confirm.h"
#include "app/desktop_switch.h"
#include "model/connection.h"
#include "app/frame_layout.h"
#include "app/frame_menu.h"
#include "app/frame_proc.h"
#include "app/input_dialog.h"
#include "app/mdi_arrange.h"
#include "app/startup.h"
#include "app/subsystems.h"
#include "app/window_open.h"
#include "model/window_record.h"
#include "display/window_queries.h"
#include "display/input_procs.h"
#include "core/ini.h"
#include "core/main_settings.h"
#include "core/numbered_texts.h"
#include "core/options.h"
#include "core/string_list.h"
#include "platform/app_messages.h"
#include "platform/platform_utils.h"
#define KEST_TEST_WIDGETS
#include "support/hook_guard.h"
#include "support/test_support.h"
#include "support/window_fixture.h"

namespace {

std::string editbox_text_of(WindowRecord* rec)
{
    QPlainTextEdit* box = rec->editbox.get();
    return box ? box->toPlainText().toStdString() : "?";
}

std::string ini_value(const char* section, const char* key)
{
    std::string out;
    ini_read(section, key, "", out, 1024, main_ini_path);
    return out;
}

// A frame with its MDI client made the program's frame, a temporary settings
// folder, and the frame's menus built.
class FrameFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        window_test_reset();
        app_wire_frame();  // the frame's production wiring
        ASSERT_TRUE(settings.dir.made());
        QMdiArea* mdi = window_test_mdi();
        saved_frame = frame_window;
        frame_window = qobject_cast<QMainWindow*>(mdi->window());
        ASSERT_TRUE(frame_window);
        frame_window->showNormal();
        frame_window->resize(1000, 700);
        main_settings.compact_mode = 0;
        frame_favourites_in_main_menu = 1;
        // Arrangement runs without the program's auto-arrange and grouping.
        mdi_auto_arrange = 0;
        ASSERT_EQ(frame_menu_build(), 1);
        window_test_pump();
    }
    void TearDown() override
    {
        frame_menus_destroy();
        if (frame_window)
            frame_window->menuBar()->clear();
        main_settings.compact_mode = 0;
        frame_favourites_in_main_menu = 1;
        frame_on_top = 0;
        window_test_reset();
        frame_window = saved_frame;
    }

    // Opens `n` channels of a connection; their MDI frames in opening order.
    std::vector<QMdiSubWindow*> open_channels(Connection* conn, int n, const std::string& stem = "#c")
    {
        std::vector<QMdiSubWindow*> out;
        for (int i = 0; i < n; ++i) {
            WindowRecord* rec = window_test_open(stem + std::to_string(i), kWinChannel, 0, conn);
            EXPECT_TRUE(rec);
            if (rec)
                out.push_back(qobject_cast<QMdiSubWindow*>(win_container(rec->hwnd.get())));
        }
        window_test_pump();
        return out;
    }

    // Visible, restored MDI frames.
    std::vector<QMdiSubWindow*> restored_children()
    {
        std::vector<QMdiSubWindow*> out;
        for (QMdiSubWindow* sub : mdi_client()->subWindowList())
            if (sub->isVisible() && !sub->isMinimized())
                out.push_back(sub);
        return out;
    }

    void trigger(int id)
    {
        QAction* a = frame_menu_action(id);
        ASSERT_TRUE(a) << id;
        a->trigger();
        window_test_pump();
    }

    HookGuard guard;
    TempSettingsDir settings{"kest_frame"};
    QPointer<QMainWindow> saved_frame;
};

// ---- The menu bar ----

struct MenuItemCase {
    int id;
    const char* text;
    const char* menu;  // the menu of the bar that holds it
};

const MenuItemCase kMenuItems[] = {
    {100, "&Temizle", "&Dosya"},
    {101, "&Bağlan", "&Dosya"},
    {102, "Bağlantıyı &Kes", "&Dosya"},
    {104, "&Server Seç...", "&Dosya"},
    {105, "Çı&kış", "&Dosya"},
    {110, "&Menü Çubuğu", "&Görünüm"},
    {111, "&Araç Çubuğu", "&Görünüm"},
    {112, "&Pencere Çubuğu", "&Görünüm"},
    {210, "A&ğaç Çubuğu", "&Görünüm"},
    {120, "&Ana Menüde", "&Görünüm"},
    {121, "A&raçlar Menüsünde", "&Görünüm"},
    {122, "&Normal", "&Görünüm"},
    {123, "&Kompakt", "&Görünüm"},
    {131, "&Notify Listesi", "&Görünüm"},
    {132, "&URL Listesi", "&Görünüm"},
    {133, "&Renkler...", "&Görünüm"},
    {134, "&Yazı Tipi...", "&Görünüm"},
    {140, "&Temizle", "&Kanallar"},
    {141, "Kanal &Ekle...", "&Kanallar"},
    {142, "Kanalları &Düzenle...", "&Kanallar"},
    {150, "&Kanal Listesi", "&Araçlar"},
    {203, "&Script Editörü", "&Araçlar"},
    {151, "Dosya &Gönder...", "&Araçlar"},
    {152, "DCC &Chat...", "&Araçlar"},
    {154, "&Alınan Dosyalar", "&Araçlar"},
    {155, "&Log Dosyaları...", "&Araçlar"},
    {156, "A&dres Defteri...", "&Araçlar"},
    {157, "&Online Zamanlayıcı...", "&Araçlar"},
    {159, "&Seçenekler...", "&Araçlar"},
    {170, "&Yatay Döşe", "&Pencere"},
    {171, "&Dikey Döşe", "&Pencere"},
    {172, "&Basamakla", "&Pencere"},
    {173, "&Simgeleri Düzenle", "&Pencere"},
    {174, "Pencere &Seçenekleri...", "&Pencere"},
    {175, "Pencere S&ırası...", "&Pencere"},
    {176, "&Kapat", "&Pencere"},
    {190, "&İçindekiler", "&Yardım"},
    {191, "&Ara...", "&Yardım"},
    {192, "Son &Haberler", "&Yardım"},
    {193, "&Mesaj Panosu", "&Yardım"},
    {194, "&Güncelle...", "&Yardım"},
    {195, "&Hakkında...", "&Yardım"},
};

// The top-level menu of the bar that (through its submenus) holds `action`.
QString bar_menu_of(QAction* action)
{
    for (QAction* top : frame_window->menuBar()->actions()) {
        std::vector<QMenu*> todo{top->menu()};
        while (!todo.empty()) {
            QMenu* m = todo.back();
            todo.pop_back();
            if (!m)
                continue;
            for (QAction* a : m->actions()) {
                if (a == action)
                    return top->text();
                if (a->menu())
                    todo.push_back(a->menu());
            }
        }
    }
    return QString();
}

TEST_F(FrameFixture, MenuBarHoldsEveryFrameCommandUnderItsMenu)
{
    ASSERT_TRUE(frame_window->menuBar()->isVisibleTo(frame_window));
    QStringList tops;
    for (QAction* a : frame_window->menuBar()->actions())
        tops << a->text();
    EXPECT_EQ(tops, QStringList({"&Dosya", "&Görünüm", "&Kanallar", "&Araçlar", "&Pencere", "&Yardım"}));
    for (const MenuItemCase& c : kMenuItems) {
        QAction* a = frame_menu_action(c.id);
        ASSERT_TRUE(a) << c.id;
        EXPECT_EQ(a->text().toStdString(), c.text) << c.id;
        EXPECT_EQ(bar_menu_of(a).toStdString(), c.menu) << c.id;
    }
    int pos = 0;
    EXPECT_EQ(frame_menu_find_item(9999, &pos), nullptr);
    EXPECT_EQ(pos, -1);
}

// A menu item whose dialog or window is not built yet tells the user so in
// the active window, with the error sound; one that is built stays quiet.
TEST_F(FrameFixture, AnItemWhoseWindowIsNotBuiltYetSaysSoInTheActiveWindow)
{
    static int beeps = 0;
    beeps = 0;
    beep_play_hook = [](int) { ++beeps; };
    Connection* conn = window_test_conn();
    WindowRecord* chan = window_test_open("#here", kWinChannel, 0, conn);
    ASSERT_TRUE(chan);
    win_activate(chan->hwnd, 0);
    window_test_pump();
    auto last_line = [&] {
        const StringNode* n = chan->lines;
        while (n && n->next)
            n = n->next;
        return n ? n->text : std::string();
    };
    // The three items stand for items not built yet: a handler that serves
    // one is taken off for the test and put back at its end.
    const int unserved[] = {192, 193, 142};
    FrameMenuCommandFn served[3] = {};
    for (int i = 0; i < 3; ++i) {
        served[i] = frame_menu_command(unserved[i]);
        frame_menu_command_register(unserved[i], nullptr);
    }
    app_messages_set_frame(nullptr);  // no frame of another test holds them
    frame_proc_install();  // the frame takes its private messages
    frame_menu_install();  // and handles its own
    for (int round = 0; round < 2; ++round) {  // asked again: said again
        SCOPED_TRACE(round);
        const int lines_before = strlist_count(chan->lines);
        trigger(192);
        EXPECT_EQ(last_line(), "* Son Haberler: not available yet");
        trigger(193);
        EXPECT_EQ(last_line(), "* Mesaj Panosu: not available yet");
        trigger(142);  // posted to the frame first
        EXPECT_EQ(last_line(), "* Kanalları Düzenle...: not available yet");
        EXPECT_EQ(strlist_count(chan->lines), lines_before + 3);
    }
    EXPECT_EQ(beeps, 6);

    static int opened = 0;
    opened = 0;
    ASSERT_EQ(frame_menu_command_register(195, [](int, intptr_t) { ++opened; return 1; }), 1);
    const int lines_before = strlist_count(chan->lines);
    trigger(195);
    frame_menu_command_register(195, nullptr);
    EXPECT_EQ(opened, 1);
    EXPECT_EQ(strlist_count(chan->lines), lines_before);
    EXPECT_EQ(beeps, 6);
    for (int i = 0; i < 3; ++i)
        if (served[i])
            frame_menu_command_register(unserved[i], served[i]);
}

// A part that serves a menu command registers it: the item then runs its
// handler with the id and the lparam its row gives, says nothing, and beeps
// only when the handler answers that its dialog was already open. Ids the
// frame serves itself cannot be taken over.
TEST_F(FrameFixture, RegisteredMenuCommandsRunTheirHandlerWithTheirIdAndLparam)
{
    static int beeps = 0;
    static int answer = 1;
    static std::vector<std::pair<int, intptr_t>> calls;
    beeps = 0;
    calls.clear();
    beep_play_hook = [](int) { ++beeps; };
    Connection* conn = window_test_conn();
    WindowRecord* chan = window_test_open("#here", kWinChannel, 0, conn);
    ASSERT_TRUE(chan);
    win_activate(chan->hwnd, 0);
    window_test_pump();
    const FrameMenuCommandFn record = [](int id, intptr_t lparam) {
        calls.emplace_back(id, lparam);
        return answer;
    };
    // Items of the menu bar are picked there; the others come as the frame
    // command the toolbar and the popups send.
    const struct {
        int item;
        bool in_menu;
        intptr_t lparam;  // what the handler gets
    } cases[] = {{104, true, 0}, {159, true, 0}, {194, true, 0}, {130, false, 2}, {202, false, 0}};
    for (const auto& c : cases)
        ASSERT_EQ(frame_menu_command_register(c.item, record), 1) << c.item;
    for (int own : {101, 105, 133, 176, 999})
        EXPECT_EQ(frame_menu_command_register(own, record), 0) << own << " is not the registry's";

    for (answer = 1; answer >= 0; --answer) {
        SCOPED_TRACE(answer);
        for (const auto& c : cases) {
            SCOPED_TRACE(c.item);
            calls.clear();
            const int lines_before = strlist_count(chan->lines);
            const int beeps_before = beeps;
            if (c.in_menu) {
                trigger(c.item);
            } else {
                EXPECT_EQ(frame_on_command(frame_window, static_cast<uintptr_t>(c.item), 0), 1);
                window_test_pump();
            }
            EXPECT_EQ(calls, (std::vector<std::pair<int, intptr_t>>{{c.item, c.lparam}}));
            EXPECT_EQ(strlist_count(chan->lines), lines_before) << "a served item says nothing";
            EXPECT_EQ(beeps, beeps_before + (answer ? 0 : 1)) << "already open: one beep";
        }
    }

    for (const auto& c : cases) {
        frame_menu_command_register(c.item, nullptr);
        EXPECT_EQ(frame_menu_command(c.item), nullptr);
    }
    calls.clear();
    const int lines_before = strlist_count(chan->lines);
    trigger(194);  // gone again: not available, and no handler runs
    EXPECT_TRUE(calls.empty());
    EXPECT_EQ(strlist_count(chan->lines), lines_before + 1);
}

TEST_F(FrameFixture, MenuChecksFollowTheSettingsAndBuildingTwiceKeepsOneBar)
{
    opt_set(OPT_TOOLBAR_SHOWN, 0);
    opt_set(OPT_SWITCHBAR_SHOWN, 1);
    ASSERT_EQ(frame_menu_build(), 1);
    ASSERT_EQ(frame_menu_build(), 1);
    window_test_pump();
    EXPECT_EQ(frame_window->menuBar()->actions().size(), 6);
    EXPECT_FALSE(frame_menu_action(111)->isChecked());
    EXPECT_TRUE(frame_menu_action(112)->isChecked());
    EXPECT_TRUE(frame_menu_action(122)->isChecked());
    EXPECT_FALSE(frame_menu_action(123)->isChecked());
    EXPECT_TRUE(frame_menu_action(120)->isChecked());
    EXPECT_FALSE(frame_menu_action(121)->isChecked());
}

TEST_F(FrameFixture, HiddenMenubarMovesTheMenusIntoTheSystemMenuAfterPosition)
{
    trigger(110);  // the menu bar off, through its own item
    EXPECT_EQ(opt(OPT_MENUBAR_SHOWN), 0);
    EXPECT_FALSE(frame_window->menuBar()->isVisibleTo(frame_window));
    EXPECT_FALSE(ini_value("options", "n5").empty());  // the options were saved
    QMenu* sys = frame_system_menu();
    ASSERT_TRUE(sys);
    const QList<QAction*> items = sys->actions();
    ASSERT_GE(items.size(), 11);
    EXPECT_EQ(items[0]->data().toInt(), 265);
    EXPECT_TRUE(items[0]->isChecked());
    EXPECT_FALSE(items[0]->isEnabled());
    EXPECT_EQ(items[1]->data().toInt(), 261);
    EXPECT_TRUE(items[2]->isSeparator());
    EXPECT_EQ(items[3]->text(), "&Pozisyon");
    EXPECT_TRUE(items[4]->isSeparator());
    EXPECT_EQ(items[5]->text(), "&Dosya");
    EXPECT_EQ(items[10]->text(), "&Yardım");
    // The commands still work from there, and the bar comes back.
    QAction* back = frame_menu_action(110);
    ASSERT_TRUE(back);
    back->trigger();
    window_test_pump();
    EXPECT_EQ(opt(OPT_MENUBAR_SHOWN), 1);
    EXPECT_TRUE(frame_window->menuBar()->isVisibleTo(frame_window));
    EXPECT_EQ(frame_system_menu()->actions().size(), 5);
}

TEST_F(FrameFixture, FavouritesMoveTheChannelsMenuIntoToolsOnce)
{
    trigger(121);
    QMenu* tools = frame_menu_find_item(159, nullptr);
    ASSERT_TRUE(tools);
    QMenu* channels = frame_menu_find_item(142, nullptr);
    ASSERT_TRUE(channels);
    EXPECT_EQ(tools->actions().value(0), channels->menuAction());
    EXPECT_TRUE(frame_menu_action(121)->isChecked());
    // The choice is kept in the mode line (its thirteenth number).
    const QStringList fields = QString::fromStdString(ini_value("mode", "normal")).split(',');
    ASSERT_EQ(fields.size(), 15);
    EXPECT_EQ(fields[12], "0");
    // Asked again: nothing moves twice.
    trigger(121);
    int in_tools = 0;
    for (QAction* a : frame_menu_find_item(159, nullptr)->actions())
        if (a->menu() && a->menu()->title() == channels->title())
            ++in_tools;
    EXPECT_EQ(in_tools, 1);
    trigger(120);
    EXPECT_NE(frame_menu_find_item(159, nullptr)->actions().value(0)->text(), "&Kanallar");
    EXPECT_EQ(frame_window->menuBar()->actions().size(), 6);
}

// ---- Window arrangement ----

TEST_F(FrameFixture, TileHorizontallyAndVerticallyShareTheClientWithoutOverlap)
{
    Connection* conn = window_test_conn();
    ASSERT_TRUE(conn);
    open_channels(conn, 2);
    struct Case {
        int id;
        bool side_by_side;
    };
    for (Case c : {Case{170, false}, Case{171, true}}) {
        SCOPED_TRACE(c.id);
        trigger(c.id);
        std::vector<QMdiSubWindow*> subs = restored_children();
        ASSERT_EQ(subs.size(), 3u);  // the status window and two channels
        const QRect room = mdi_client()->viewport()->rect();
        int covered = 0;
        for (std::size_t i = 0; i < subs.size(); ++i) {
            const QRect r = subs[i]->geometry();
            covered += r.width() * r.height();
            if (c.side_by_side) {
                EXPECT_EQ(r.top(), room.top());
                EXPECT_EQ(r.height(), room.height());
            } else {
                EXPECT_EQ(r.left(), room.left());
                EXPECT_EQ(r.width(), room.width());
            }
            for (std::size_t j = i + 1; j < subs.size(); ++j)
                EXPECT_FALSE(r.intersects(subs[j]->geometry())) << i << " " << j;
        }
        EXPECT_EQ(covered, room.width() * room.height());
    }
}

TEST_F(FrameFixture, CascadeStepsEachWindowOneCaptionDownAndRightTopMostLast)
{
    Connection* conn = window_test_conn();
    ASSERT_TRUE(conn);
    std::vector<QMdiSubWindow*> ch = open_channels(conn, 3);
    ASSERT_EQ(ch.size(), 3u);
    mdi_client()->setActiveSubWindow(ch[1]);
    window_test_pump();
    trigger(172);
    std::vector<QMdiSubWindow*> top_first = mdi_children_top_first();
    ASSERT_EQ(top_first.size(), 4u);
    EXPECT_EQ(top_first.front(), ch[1]);
    const int step = mdi_cascade_step();
    const int n = static_cast<int>(top_first.size());
    for (int i = 0; i < n; ++i) {
        const QRect r = top_first[static_cast<std::size_t>(i)]->geometry();
        EXPECT_EQ(r.topLeft(), QPoint((n - 1 - i) * step, (n - 1 - i) * step)) << i;
        EXPECT_EQ(r.size(), top_first[0]->size());
    }
    // Every window stays inside the client.
    const QRect room = mdi_client()->viewport()->rect();
    for (QMdiSubWindow* sub : top_first)
        EXPECT_TRUE(room.contains(sub->geometry())) << sub->geometry().x();
}

TEST_F(FrameFixture, TilingWithGroupingPutsTheCurrentConnectionFirst)
{
    Connection* a = window_test_conn();
    Connection* b = window_test_conn();
    ASSERT_TRUE(a && b);
    std::vector<QMdiSubWindow*> of_a = open_channels(a, 2, "#a");
    std::vector<QMdiSubWindow*> of_b = open_channels(b, 2, "#b");
    opt_set(OPT_ARRANGE_GROUP_BY_CONNECTION, 1);
    opt_set(OPT_ARRANGE_ORDER_BY_CREATION, 1);
    // The active window makes b the current connection.
    mdi_client()->setActiveSubWindow(of_b[1]);
    window_test_pump();
    ASSERT_EQ(conn_current(), b);
    trigger(170);
    auto record_conn = [](QMdiSubWindow* sub) { return win_record_of(sub->widget())->conn; };
    std::vector<QMdiSubWindow*> rows = restored_children();
    std::sort(rows.begin(), rows.end(), [](QMdiSubWindow* x, QMdiSubWindow* y) { return x->y() < y->y(); });
    ASSERT_GE(rows.size(), 4u);
    // b's windows take the top rows, then a's, in connection-list order.
    std::size_t first_a = rows.size();
    for (std::size_t i = 0; i < rows.size(); ++i)
        if (record_conn(rows[i]) != b) {
            first_a = i;
            break;
        }
    for (std::size_t i = first_a; i < rows.size(); ++i)
        EXPECT_NE(record_conn(rows[i]), b) << i;
    EXPECT_EQ(first_a, 3u);  // b's status window and its two channels

    // Without grouping the stack decides: the active window stays on top.
    opt_set(OPT_ARRANGE_GROUP_BY_CONNECTION, 0);
    mdi_client()->setActiveSubWindow(of_a[0]);
    window_test_pump();
    trigger(170);
    EXPECT_EQ(of_a[0]->y(), 0);
}

TEST_F(FrameFixture, CloseCommandClosesOnlyTheActiveChildAndNothingWithoutOne)
{
    Connection* conn = window_test_conn();
    ASSERT_TRUE(conn);
    std::vector<QMdiSubWindow*> ch = open_channels(conn, 2);
    mdi_client()->setActiveSubWindow(ch[0]);
    window_test_pump();
    const std::size_t before = mdi_client()->subWindowList().size();
    trigger(176);
    EXPECT_EQ(mdi_client()->subWindowList().size(), before - 1);
    EXPECT_FALSE(win_find_channel("#c0", conn));
    EXPECT_TRUE(win_find_channel("#c1", conn));

    // No active child: nothing closes.
    mdi_client()->setActiveSubWindow(nullptr);
    window_test_pump();
    if (!mdi_client()->activeSubWindow()) {
        const std::size_t now = mdi_client()->subWindowList().size();
        EXPECT_EQ(frame_on_command(frame_window, 176, 0), 1);
        window_test_pump();
        EXPECT_EQ(mdi_client()->subWindowList().size(), now);
    }
}

TEST_F(FrameFixture, ArrangeIconsLinesMinimisedChildrenAlongTheBottom)
{
    Connection* conn = window_test_conn();
    ASSERT_TRUE(conn);
    std::vector<QMdiSubWindow*> ch = open_channels(conn, 2);
    for (QMdiSubWindow* sub : ch)
        sub->showMinimized();
    window_test_pump();
    for (QMdiSubWindow* sub : ch)
        sub->move(300, 40);
    trigger(173);
    const QRect room = mdi_client()->viewport()->rect();
    EXPECT_EQ(ch[0]->geometry().bottom(), room.bottom());
    EXPECT_EQ(ch[1]->geometry().bottom(), room.bottom());
    EXPECT_EQ(ch[0]->x(), 0);
    EXPECT_EQ(ch[1]->x(), ch[0]->width());
}

TEST_F(FrameFixture, SwitchbarHidesMinimisedIconsAndBringsThemBack)
{
    Connection* conn = window_test_conn();
    ASSERT_TRUE(conn);
    std::vector<QMdiSubWindow*> ch = open_channels(conn, 1);
    opt_set(OPT_SWITCHBAR_SHOWN, 0);
    opt_set(OPT_TREEBAR_SHOWN, 0);
    ch[0]->showMinimized();
    window_test_pump();
    trigger(112);  // switchbar on: the icon goes
    EXPECT_EQ(opt(OPT_SWITCHBAR_SHOWN), 1);
    EXPECT_FALSE(ch[0]->isVisible());
    trigger(112);  // off again: the icon is back
    EXPECT_TRUE(ch[0]->isVisible());
    EXPECT_TRUE(ch[0]->isMinimized());
}

TEST_F(FrameFixture, CompactModeDropsTilingAndTreebarItemsAndRemembersEachMode)
{
    frame_window->setGeometry(50, 60, 900, 650);
    window_test_pump();
    trigger(123);
    EXPECT_EQ(main_settings.compact_mode, 1);
    for (int id : {170, 171, 172, 173, 174, 210})
        EXPECT_EQ(frame_menu_action(id), nullptr) << id;
    QMenu* window_menu = frame_menu_find_item(176, nullptr);
    ASSERT_TRUE(window_menu);
    EXPECT_FALSE(window_menu->actions().value(0)->isSeparator());
    EXPECT_EQ(ini_value("mode", "state"), "compact");
    EXPECT_EQ(ini_value("mode", "normal").substr(0, 11), "50,60,900,6");
    // No saved compact placement: 260 by 400 centred on the work area.
    QRect work;
    win_get_monitor_rects(frame_window, nullptr, &work, nullptr);
    EXPECT_EQ(frame_window->size(), QSize(260, 400));
    EXPECT_EQ(frame_window->geometry().topLeft(),
              QPoint(work.left() + (work.width() - 260) / 2, work.top() + (work.height() - 400) / 2));
    EXPECT_EQ(opt(OPT_TREEBAR_SHOWN), 1);
    EXPECT_EQ(opt(OPT_TREEBAR_SIDE), 1);

    // The same mode again changes and writes nothing.
    const std::string compact_line = ini_value("mode", "compact");
    frame_set_mode(1);
    EXPECT_EQ(ini_value("mode", "compact"), compact_line);

    // Back to normal: its frame and its menu come back.
    trigger(122);
    EXPECT_EQ(main_settings.compact_mode, 0);
    EXPECT_EQ(frame_window->geometry(), QRect(50, 60, 900, 650));
    EXPECT_TRUE(frame_menu_action(170));
    EXPECT_TRUE(frame_menu_action(210));
    EXPECT_EQ(ini_value("mode", "state"), "normal");
    EXPECT_FALSE(ini_value("mode", "compact").empty());
}

TEST_F(FrameFixture, CompactModePutsChildrenOnTheDesktopKeepingTheirTextAndBringsThemBack)
{
    Connection* conn = window_test_conn();
    ASSERT_TRUE(conn);
    std::vector<QMdiSubWindow*> ch = open_channels(conn, 1, "#keep");
    ch[0]->setGeometry(20, 30, 400, 250);
    window_test_pump();
    WindowRecord* rec = win_find_channel("#keep0", conn);
    ASSERT_TRUE(rec);
    QWidget* hwnd = rec->hwnd.get();
    ASSERT_TRUE(rec->editbox.get());
    QTest::keyClicks(rec->editbox.get(), "typed text");
    const std::string typed = "typed text";

    trigger(123);
    EXPECT_FALSE(win_is_mdi_child(hwnd));
    EXPECT_TRUE(hwnd->isWindow());
    EXPECT_TRUE(hwnd->isVisible());
    EXPECT_EQ(rec->hwnd.get(), hwnd);  // the same window, the same record
    EXPECT_EQ(win_find_channel("#keep0", conn), rec);
    EXPECT_EQ(editbox_text_of(rec), typed);
    // Asking again for the kind it already is changes nothing.
    EXPECT_EQ(win_toggle_desktop(hwnd, 0), hwnd);
    EXPECT_TRUE(hwnd->isWindow());

    trigger(122);
    ASSERT_TRUE(win_is_mdi_child(hwnd));
    EXPECT_EQ(win_container(hwnd)->geometry(), QRect(20, 30, 400, 250));
    EXPECT_EQ(editbox_text_of(rec), typed);
    // Closing it still does the closing work once.
    win_container(hwnd)->close();
    window_test_pump();
    EXPECT_FALSE(win_find_channel("#keep0", conn));
}

TEST_F(FrameFixture, OnTopItemTogglesTheFramesStayOnTop)
{
    EXPECT_FALSE(frame_window->windowFlags() & Qt::WindowStaysOnTopHint);
    QAction* on_top = nullptr;
    for (QAction* a : frame_system_menu()->actions())
        if (a->data().toInt() == 261)
            on_top = a;
    ASSERT_TRUE(on_top);
    on_top->trigger();
    window_test_pump();
    EXPECT_TRUE(frame_window->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_TRUE(on_top->isChecked());
    on_top->trigger();
    window_test_pump();
    EXPECT_FALSE(frame_window->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_FALSE(on_top->isChecked());
}

// ---- Window placement ----

TEST_F(FrameFixture, SavedPlacementComesBackAndTheNetworkKeyWins)
{
    Connection* conn = window_test_conn();
    ASSERT_TRUE(conn);
    std::vector<QMdiSubWindow*> ch = open_channels(conn, 1, "#place");
    ch[0]->setGeometry(40, 30, 300, 200);
    window_test_pump();
    QWidget* hwnd = ch[0]->widget();
    conn->network = "TestNet";
    win_save_position(hwnd, -1, "", 0);
    EXPECT_EQ(ini_value("windows", "#place0"), "40,300,30,200,0,1,0");
    EXPECT_EQ(ini_value("windows", "#place0-TestNet"), "40,300,30,200,0,1,0");

    int l, w, t, h, s, m, o;
    ini_write("windows", "#place0-TestNet", "70,310,80,210,0,1,0", main_ini_path);
    ASSERT_EQ(win_load_position(hwnd, "", &l, &w, &t, &h, &s, &m, &o, conn), 1);
    EXPECT_EQ(QRect(l, t, w, h), QRect(70, 80, 310, 210));
    conn->network.clear();
    ASSERT_EQ(win_load_position(hwnd, "", &l, &w, &t, &h, &s, &m, &o, conn), 1);
    EXPECT_EQ(QRect(l, t, w, h), QRect(40, 30, 300, 200));

    // The window's place survives closing and opening it again.
    ch[0]->setGeometry(90, 50, 320, 220);
    window_test_pump();
    ch[0]->close();
    window_test_pump();
    EXPECT_EQ(ini_value("windows", "#place0"), "90,320,50,220,0,1,0");
    std::vector<QMdiSubWindow*> again = open_channels(conn, 1, "#place");
    ASSERT_EQ(again.size(), 1u);
    EXPECT_EQ(again[0]->geometry(), QRect(90, 50, 320, 220));
}

struct LoadCase {
    const char* value;
    int result;
    int left, width, top, height;
};

TEST_F(FrameFixture, LoadingPlacementsReadsEdgeCasesAsTheRulesSay)
{
    const QRect mdi = mdi_client()->viewport()->rect();
    const LoadCase cases[] = {
        {"0,0,0,0,0,1,0", 0, 0, 0, 0, 0},                  // counts as none
        {"-1,300,-1,200,0,1,0", 1, kUnsetCoord, 300, kUnsetCoord, 200},  // size only
        {"20,300,10,200,2,1,0", 1, 20, 300, 10, 200},
        {"5000,300,10,200,0,1,0", 1, 0, 300, 10, 200},     // beyond the right edge
        {"-50,300,10,200,0,1,0", 1, 0, 300, 10, 200},      // more than 10 left of it
        {"-8,300,-9,200,0,1,0", 1, -8, 300, -9, 200},      // within 10: kept
        {"30,300,9000,200,0,1,0", 1, 30, 300, 0, 200},     // below the bottom
        {"12,340", 1, 12, 340, 0, 0},                      // a short line
    };
    ASSERT_GT(mdi.width(), 100);
    for (const LoadCase& c : cases) {
        SCOPED_TRACE(c.value);
        ini_write("windows", "wtest", c.value, main_ini_path);
        int l = -7, w = -7, t = -7, h = -7, s, m, o;
        int r = win_load_position(nullptr, "wtest", &l, &w, &t, &h, &s, &m, &o, nullptr);
        EXPECT_EQ(r, c.result);
        if (r) {
            EXPECT_EQ(l, c.left);
            EXPECT_EQ(w, c.width);
            EXPECT_EQ(t, c.top);
            EXPECT_EQ(h, c.height);
        }
    }
    int l, w, t, h, s, m, o;
    EXPECT_EQ(win_load_position(nullptr, "missing", &l, &w, &t, &h, &s, &m, &o, nullptr), 0);
}

TEST(WindowPlacement, ClampKeepsTheRectangleInsideItsBounds)
{
    struct Case {
        QRect in;
        QRect out;
    };
    const QRect b(0, 0, 800, 600);
    const Case cases[] = {
        {QRect(10, 10, 100, 100), QRect(10, 10, 100, 100)},
        {QRect(750, 10, 100, 100), QRect(700, 10, 100, 100)},
        {QRect(-30, -40, 100, 100), QRect(0, 0, 100, 100)},
        {QRect(10, 10, 900, 700), QRect(0, 0, 800, 600)},
        {QRect(10, 10, 3, 2), QRect(10, 10, 10, 10)},
    };
    for (const Case& c : cases) {
        int l = c.in.left(), t = c.in.top(), w = c.in.width(), h = c.in.height();
        win_clamp_rect(&l, &t, &w, &h, b);
        EXPECT_EQ(QRect(l, t, w, h), c.out) << c.in.x() << "," << c.in.y();
    }
}

TEST_F(FrameFixture, FourthNewChildCascadesThreeStepsFromTheFirst)
{
    win_cascade_reset();
    std::vector<QPoint> corners;
    for (int i = 0; i < 4; ++i) {
        int l = kUnsetCoord, t = kUnsetCoord, w = kUnsetCoord, h = kUnsetCoord;
        win_default_position(&l, &t, &w, &h, 1);
        corners.emplace_back(l, t);
    }
    const int step = mdi_cascade_step();
    EXPECT_EQ(corners[3] - corners[0], QPoint(3 * step, 3 * step));
    // Corners already taken by a child are skipped.
    Connection* conn = window_test_conn();
    ASSERT_TRUE(conn);
    std::vector<QMdiSubWindow*> ch = open_channels(conn, 1);
    win_cascade_reset();
    ch[0]->move(0, 0);
    for (QMdiSubWindow* sub : mdi_client()->subWindowList())
        if (sub != ch[0])
            sub->move(500, 400);
    int l = kUnsetCoord, t = kUnsetCoord, w = 100, h = 100;
    win_default_position(&l, &t, &w, &h, 1);
    EXPECT_EQ(QPoint(l, t), QPoint(step, step));
}

// ---- Transparency ----

TEST(Transparency, PercentGivesTheOpacityOfTheRule)
{
    const std::pair<int, int> cases[] = {{0, 255}, {75, 63}, {50, 127}, {10, 229}, {76, 255}, {-5, 255}};
    for (auto [percent, opacity] : cases)
        EXPECT_EQ(layer_opacity_of_percent(percent), opacity) << percent;
}

TEST_F(FrameFixture, OldLayersSectionSetsThePercentAndIsRemoved)
{
    ini_write("layers", "enable", "1", main_ini_path);
    ini_write("layers", "others", "40", main_ini_path);
    opt_set(OPT_TRANSPARENCY, 0);
    layer_load_settings();
    EXPECT_EQ(opt(OPT_TRANSPARENCY), 40);
    EXPECT_EQ(ini_value("layers", "others"), "");
    // Without "enable" the percent stays; the section still goes.
    ini_write("layers", "others", "20", main_ini_path);
    layer_load_settings();
    EXPECT_EQ(opt(OPT_TRANSPARENCY), 40);
    EXPECT_EQ(ini_value("layers", "others"), "");

    // Applied to every window: the frame and desktop windows take it; 0
    // makes them opaque again.
    layer_apply(nullptr, 1);
    EXPECT_NEAR(frame_window->windowOpacity(), 153 / 255.0, 0.01);
    opt_set(OPT_TRANSPARENCY, 0);
    layer_apply(nullptr, 1);
    EXPECT_DOUBLE_EQ(frame_window->windowOpacity(), 1.0);
}

TEST_F(FrameFixture, TransparencyReachesTheFrameAndEveryDesktopWindowButNotMdiChildren)
{
    opt_set(OPT_TRANSPARENCY, 50);
    frame_layout();
    EXPECT_NEAR(frame_window->windowOpacity(), 127 / 255.0, 0.01);
    Connection* conn = window_test_conn();
    ASSERT_TRUE(conn);
    std::vector<QMdiSubWindow*> ch = open_channels(conn, 1, "#see");
    QWidget* hwnd = ch[0]->widget();
    EXPECT_DOUBLE_EQ(hwnd->windowOpacity(), 1.0);  // drawn by the frame
    // On the desktop it is its own window and takes the setting.
    win_toggle_desktop(hwnd, 0);
    window_test_pump();
    ASSERT_TRUE(hwnd->isWindow());
    EXPECT_NEAR(hwnd->windowOpacity(), 127 / 255.0, 0.01);
    // Out-of-range settings count as opaque.
    opt_set(OPT_TRANSPARENCY, 90);
    layer_apply(nullptr, 1);
    frame_layout();
    EXPECT_DOUBLE_EQ(hwnd->windowOpacity(), 1.0);
    EXPECT_DOUBLE_EQ(frame_window->windowOpacity(), 1.0);
    opt_set(OPT_TRANSPARENCY, 0);
}

// ---- The language module ----

TEST_F(FrameFixture, LanguageModuleIsUsedOnlyForThisVersion)
{
    struct Case {
        std::string version_line;
        bool used;
    };
    const Case cases[] = {
        {std::string("FileVersion=") + lang_program_version(), true},
        {std::string("FileVersion=") + lang_program_version() + "a", false},
        {"FileVersion=", false},
        {"", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.version_line);
        {
            std::ofstream out(settings.dir.path + "lang.dll");
            out << "[version]\n" << c.version_line << "\n[strings]\n6131=&On Top\n[menu]\n170=Tile &Across\n";
        }
        lang_module_load();
        ASSERT_TRUE(frame_menu_build());
        EXPECT_EQ(lang_module_loaded(), c.used ? 1 : 0);
        EXPECT_EQ(std::string(text_load_string(6131)), c.used ? "&On Top" : "&Üstte");
        EXPECT_EQ(frame_menu_action(170)->text().toStdString(), c.used ? "Tile &Across" : "&Yatay Döşe");
        // Entries the module lacks come from the program's own.
        EXPECT_EQ(std::string(text_load_string(6101)), "&Sıfırla");
        EXPECT_EQ(frame_menu_action(171)->text().toStdString(), "&Dikey Döşe");
    }
    std::remove((settings.dir.path + "lang.dll").c_str());
    lang_module_load();
    EXPECT_EQ(lang_module_loaded(), 0);
    EXPECT_EQ(std::string(text_load_string(6131)), "&Üstte");
}

// ---- Confirmations ----

// Answers the next question of the message dialog with its "yes" or "no"
// button (clicked with the mouse), recording its caption and prompt.
void answer_next_dialog(QMessageBox::StandardButton which, std::string* text)
{
    QTimer::singleShot(0, [which, text] {
        auto* box = qobject_cast<QDialog*>(input_dialog_current());
        if (!box || !box->isVisible()) {
            answer_next_dialog(which, text);
            return;
        }
        auto* prompt = box->findChild<QLabel*>("prompt");
        if (text)
            *text = box->windowTitle().toStdString() + "|" + (prompt ? prompt->text().toStdString() : "");
        // A question has exactly these two buttons.
        EXPECT_TRUE(box->findChild<QPushButton*>("yes") && box->findChild<QPushButton*>("no"));
        EXPECT_FALSE(box->findChild<QPushButton*>("ok") || box->findChild<QPushButton*>("cancel"));
        auto* button = box->findChild<QPushButton*>(which == QMessageBox::Yes ? "yes" : "no");
        if (button)
            QTest::mouseClick(button, Qt::LeftButton);
        else
            box->reject();
    });
}

TEST_F(FrameFixture, ExitQuestionNamesEachReasonAndItsAnswerDecides)
{
    opt_set(OPT_CONFIRM_EXIT_ALWAYS, 0);
    opt_set(OPT_CONFIRM_EXIT_CONNECTED, 1);
    opt_set(OPT_CONFIRM_EXIT_CHANNEL, 1);
    // Nothing to ask about: no dialog, go on.
    EXPECT_EQ(frame_exit_reasons(), 0);
    EXPECT_EQ(frame_confirm_exit(frame_window), 1);

    Connection* conn = window_test_conn();
    ASSERT_TRUE(conn);
    open_channels(conn, 1);
    conn->connected = 1;
    conn->registered = 1;
    EXPECT_EQ(frame_exit_reasons(), 2 | 4);
    std::string asked;
    answer_next_dialog(QMessageBox::No, &asked);
    EXPECT_EQ(frame_confirm_exit(frame_window), 0);
    EXPECT_EQ(asked, std::string(text_load_string(3901)) + "|" + text_load_string(3902) + "\r\n" +
                         text_load_string(3903) + text_load_string(3904));
    answer_next_dialog(QMessageBox::Yes, nullptr);
    EXPECT_EQ(frame_confirm_exit(frame_window), 1);

    // The option off: its reason is gone.
    opt_set(OPT_CONFIRM_EXIT_CHANNEL, 0);
    EXPECT_EQ(frame_exit_reasons(), 2);
    // Only "always": no line break after the message.
    opt_set(OPT_CONFIRM_EXIT_CONNECTED, 0);
    opt_set(OPT_CONFIRM_EXIT_ALWAYS, 1);
    EXPECT_EQ(frame_exit_reasons(), 1);
    EXPECT_EQ(frame_exit_message(1), text_load_string(3902));
    conn->connected = 0;
    conn->registered = 0;
}

TEST_F(FrameFixture, ClosingALoggedOnStatusWindowAsksOnceWithinASecond)
{
    Connection* conn = window_test_conn();
    ASSERT_TRUE(conn);
    QWidget* status = conn->status_window.data();
    ASSERT_TRUE(status);
    conn->connected = 1;
    conn->registered = 1;
    opt_set(OPT_CONFIRM_CLOSE_STATUS_ALWAYS, 0);
    opt_set(OPT_CONFIRM_CLOSE_STATUS_CONNECTED, 1);
    // "No" keeps the window open, through its own close.
    std::string asked;
    answer_next_dialog(QMessageBox::No, &asked);
    win_container(status)->close();
    window_test_pump();
    EXPECT_TRUE(win_record_of(status));
    EXPECT_NE(asked.find(text_load_string(3910)), std::string::npos);
    // "Yes", then a second request within the second is not asked again.
    answer_next_dialog(QMessageBox::Yes, nullptr);
    EXPECT_EQ(win_confirm_close_status(status), 1);
    EXPECT_EQ(win_confirm_close_status(status), 1);  // no dialog: it would block here
    // Not logged on: nothing to ask.
    conn->connected = 0;
    conn->registered = 0;
    EXPECT_EQ(win_close_status_reasons(status), 0);
}

}  // namespace

namespace {

TEST(PasteQuestion, LinesAreCountedAsTheRuleSays)
{
    const std::pair<const char*, int> cases[] = {
        {"", 0},
        {"one", 1},
        {"one\n", 1},
        {"one\ntwo", 2},
        {"one\n\r two\n", 2},   // the CR after a LF belongs to it
        {"one\n\ntwo", 3},      // an empty line followed by another counts
        {"one\n\n", 1},         // a trailing empty line is no line
        {"\n", 0},
        {"a\r\nb\r\nc\r\n", 3},
    };
    for (auto [text, lines] : cases)
        EXPECT_EQ(paste_count_lines(text), lines) << text;
}

TEST(PasteQuestion, PreviewIsTrimmedAndCut)
{
    EXPECT_EQ(paste_preview("\r\n  hello\nworld \r\n"), "hello\nworld");
    std::string nine;
    for (int i = 1; i <= 9; ++i)
        nine += "line" + std::to_string(i) + "\n";
    EXPECT_EQ(paste_preview(nine), "line1\nline2\nline3\nline4\nline5\nline6\nline7\nline8 ...");
    const std::string long_one(2000, 'x');
    EXPECT_EQ(paste_preview(long_one), std::string(1003, 'x') + " ...");
    EXPECT_EQ(paste_preview(std::string(1003, 'y')), std::string(1003, 'y'));
}

TEST_F(FrameFixture, PastingIntoTheEditboxAsksFromTheThresholdOn)
{
    input_paste_confirm_hook = paste_confirm_lines;
    Connection* conn = window_test_conn();
    ASSERT_TRUE(conn);
    std::vector<QMdiSubWindow*> ch = open_channels(conn, 1, "#paste");
    WindowRecord* rec = win_find_channel("#paste0", conn);
    ASSERT_TRUE(rec && rec->editbox.get());
    opt_set(OPT_PASTE_CONFIRM, 1);
    opt_set(OPT_PASTE_CONFIRM_LINES, 3);
    QPlainTextEdit* box = rec->editbox.get();
    box->setFocus();

    struct Case {
        const char* clip;
        bool asks;
        QMessageBox::StandardButton answer;
        bool pasted;
    };
    const Case cases[] = {
        {"a\nb", false, QMessageBox::No, true},    // two lines: below the threshold
        {"a\nb\nc", true, QMessageBox::No, false}, // three: asked, refused
        {"a\nb\nc", true, QMessageBox::Yes, true}, // three: asked, accepted
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.clip);
        box->clear();
        QApplication::clipboard()->setText(QString::fromUtf8(c.clip));
        std::string asked;
        if (c.asks)
            answer_next_dialog(c.answer, &asked);
        QTest::keyClick(box, Qt::Key_V, Qt::ControlModifier);
        window_test_pump();
        EXPECT_EQ(!asked.empty(), c.asks);
        if (c.asks) {
            EXPECT_NE(asked.find("3 Pastelemek"), std::string::npos) << asked;
        }
        EXPECT_EQ(!box->toPlainText().isEmpty(), c.pasted) << box->toPlainText().toStdString();
    }
    // The option off: nothing is asked.
    opt_set(OPT_PASTE_CONFIRM, 0);
    EXPECT_EQ(paste_confirm_lines(rec, "a\nb\nc\nd"), 1);
}

}  // namespace

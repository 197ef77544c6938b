// The options each window keeps (on top, beep, flash, timestamps, spacing,
// tracking, event display): their keys in the main settings file, the
// system menu that sets them, what a new window reads back, and the
// system-menu commands.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QPushButton>
#include <QTimer>
#include <QtTest/QTest>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "app/child_window.h"
#include "model/connection.h"
#include "app/input_dialog.h"
#include "app/subsystems.h"
#include "app/system_menu.h"
#include "app/window_open.h"
#include "app/window_options.h"
#include "model/window_record.h"
#include "display/window_queries.h"
#include "core/ini.h"
#include "core/main_settings.h"
#include "core/numbered_texts.h"
#include "core/options.h"
#include "model/line_buffer.h"
#include "irc/dispatch/membership.h"
#include "platform/platform_utils.h"
#define KEST_TEST_WIDGETS
#include "support/hook_guard.h"
#include "support/test_support.h"
#include "support/window_fixture.h"

namespace {

std::string stored(const char* section, const std::string& key)
{
    std::string out;
    ini_read(section, key.c_str(), "", out, 256, main_ini_path);
    return out;
}

void store(const char* section, const std::string& key, const char* value)
{
    ini_write(section, key.c_str(), value, main_ini_path);
}

// The window's system-menu action with the id (in its submenus too).
QAction* sys_item(WindowRecord* rec, int id)
{
    QMenu* menu = win_system_menu(rec);
    if (!menu)
        return nullptr;
    std::vector<QMenu*> todo{menu};
    while (!todo.empty()) {
        QMenu* m = todo.back();
        todo.pop_back();
        for (QAction* a : m->actions()) {
            if (a->menu())
                todo.push_back(a->menu());
            else if (win_sysmenu_action_id(a) == id)
                return a;
        }
    }
    return nullptr;
}

// Answers the next question dialog with its yes or no button.
void answer_next_question(bool yes, std::string* asked)
{
    QTimer::singleShot(0, [yes, asked] {
        auto* box = qobject_cast<QDialog*>(input_dialog_current());
        if (!box || !box->isVisible()) {
            answer_next_question(yes, asked);
            return;
        }
        if (asked) {
            auto* prompt = box->findChild<QLabel*>("prompt");
            *asked = box->windowTitle().toStdString() + "|" + (prompt ? prompt->text().toStdString() : "");
        }
        if (auto* button = box->findChild<QPushButton*>(yes ? "yes" : "no"))
            QTest::mouseClick(button, Qt::LeftButton);
        else
            box->reject();
    });
}

class WindowOptionsTest : public ::testing::Test {
    HookGuard hooks_;
protected:
    void SetUp() override
    {
        ASSERT_TRUE(settings.dir.made());
        window_test_reset();
        app_install_subsystems();
        window_test_mdi();
        conn = window_test_conn();
        ASSERT_TRUE(conn);
    }
    void TearDown() override { window_test_reset(); }

    // Chooses a system-menu entry with the mouse: the menu shown, the entry's
    // submenu opened, the entry clicked.
    void choose(WindowRecord* rec, int id)
    {
        QMenu* menu = win_system_menu(rec);
        ASSERT_TRUE(menu);
        QAction* item = sys_item(rec, id);
        ASSERT_TRUE(item) << id;
        QMenu* holder = menu;
        for (QMenu* sub : menu->findChildren<QMenu*>())
            if (sub->actions().contains(item))
                holder = sub;
        menu->popup(QPoint(10, 10));
        window_test_pump();
        if (holder != menu) {
            QAction* entry = holder->menuAction();
            QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(entry).center());
            window_test_pump();
            if (!holder->isVisible())
                holder->popup(menu->mapToGlobal(menu->actionGeometry(entry).topRight()));
            window_test_pump();
        }
        ASSERT_TRUE(holder->isVisible());
        QTest::mouseClick(holder, Qt::LeftButton, {}, holder->actionGeometry(item).center());
        window_test_pump();
        while (QWidget* popup = QApplication::activePopupWidget())
            popup->close();
        window_test_pump();
    }

    TempSettingsDir settings{"kest_winopts"};
    Connection* conn = nullptr;
};

// ---- Keys ----

TEST_F(WindowOptionsTest, EachKindOfWindowHasItsKeys)
{
    struct Case {
        const char* name;
        int type;
        int subtype;
        const char* ontop;
        const char* alert;
        const char* stamp;
        const char* spacing;
    } cases[] = {
        {"#chan", kWinChannel, 0, "#chan", "#chan", "#chan", "#chan"},
        {"bob", kWinQuery, kQueryPrivate, "bob", "bob", "bob", "bob"},
        {"Message Window", kWinQuery, kQueryMessages, "omessage", "wmessage", "omessage", "smessage"},
        {"Chat carol", kWinQuery, kQueryDccChat, "carol", "carol", "carol", "carol"},
        {"FServe dave", kWinQuery, kQueryFserve, "dave", "dave", "dave", "dave"},
        {"Send x", kWinTransfer, 1, "odccs", "Send x", "", "sdccs"},
        {"Get x", kWinTransfer, 2, "odccg", "Get x", "", "sdccg"},
        {"Channels List", kWinChanList, 0, "olist", "Channels List", "", "slist"},
        {"Finger Window", kWinFinger, 0, "ofinger", "Finger Window", "", "sfinger"},
        {"Urls List", kWinUrls, 0, "ourl", "Urls List", "", "surl"},
        {"Notify List", kWinNotify, 0, "onotify", "Notify List", "", "snotify"},
        {"Links List", kWinLinks, 0, "olinks", "Links List", "", "slinks"},
        {"@mine", kWinCustom, 0, "", "", "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WindowRecord rec;
        rec.name = c.name;
        rec.type = c.type;
        rec.subtype = c.subtype;
        EXPECT_EQ(win_ontop_key(&rec), c.ontop);
        EXPECT_EQ(win_alert_key(&rec), c.alert);
        EXPECT_EQ(win_timestamp_key(&rec), c.stamp);
        EXPECT_EQ(win_spacing_key(&rec), c.spacing);
    }
    WindowRecord status;
    status.type = kWinStatus;
    status.name = "Status Window";
    EXPECT_EQ(win_ontop_key(&status), "ostatus");
    EXPECT_EQ(win_timestamp_key(&status), "ostatus");
    EXPECT_EQ(win_spacing_key(&status), "sstatus");
}

TEST_F(WindowOptionsTest, TrackingKeyOfANameIsItsLastWord)
{
    struct Case {
        const char* name;
        const char* key;
    } cases[] = {
        {"Message Window", "wmessage"}, {"#chan", "#chan"}, {"Chat =bob", "bob"}, {"=bob", "bob"},
        {"a b c", "c"},                 {"x ", "x"},         {"", ""},             {"   ", ""},
        {"q", "q"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(win_tracking_key_of_name(c.name), c.key);
    }
    store("tracking", "bob", "on");
    EXPECT_EQ(win_tracking_stored("Chat =bob"), 1);
    EXPECT_EQ(win_tracking_stored("Chat =carol"), 0);
}

// ---- Tri-state options from the system menu ----

TEST_F(WindowOptionsTest, BeepFlashAndTimestampItemsStoreTickAndDeleteTheirKeys)
{
    store("beeping", "#other", "on");
    WindowRecord* chan = window_test_open("#opts", kWinChannel, 0, conn);
    WindowRecord* other = window_test_open("#other", kWinChannel, 0, conn);
    ASSERT_TRUE(chan && other);

    struct Case {
        int id;
        const char* section;
        int WindowRecord::*field;
        int value;           // the record's value afterwards
        const char* stored;  // the key's value afterwards
        int ticked;          // the item ticked afterwards
        int unticked[2];
    } cases[] = {
        {298, "beeping", &WindowRecord::beep, 1, "on", 298, {297, 299}},
        {298, "beeping", &WindowRecord::beep, 1, "on", 298, {297, 299}},  // the same choice again
        {299, "beeping", &WindowRecord::beep, 0, "off", 299, {297, 298}},
        {297, "beeping", &WindowRecord::beep, 2, "", 297, {298, 299}},
        {301, "flashing", &WindowRecord::flash, 1, "on", 301, {300, 302}},
        {302, "flashing", &WindowRecord::flash, 0, "off", 302, {300, 301}},
        {300, "flashing", &WindowRecord::flash, 2, "", 300, {301, 302}},
        {263, "timestamp", &WindowRecord::timestamp, 1, "on", 263, {262, 264}},
        {264, "timestamp", &WindowRecord::timestamp, 0, "off", 264, {262, 263}},
        {262, "timestamp", &WindowRecord::timestamp, 2, "", 262, {263, 264}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.id);
        choose(chan, c.id);
        EXPECT_EQ(chan->*c.field, c.value);
        EXPECT_EQ(stored(c.section, "#opts"), c.stored);
        EXPECT_TRUE(sys_item(chan, c.ticked)->isChecked());
        for (int id : c.unticked)
            EXPECT_FALSE(sys_item(chan, id)->isChecked());
    }
    // The other channel kept its own.
    EXPECT_EQ(stored("beeping", "#other"), "on");
    EXPECT_EQ(other->beep, 1);
}

TEST_F(WindowOptionsTest, ChatAndMessageWindowsStoreUnderTheirOwnKeys)
{
    WindowRecord* chat = window_test_open("Chat carol", kWinQuery, kQueryDccChat, conn);
    ASSERT_TRUE(chat);
    win_set_beep(chat->hwnd.get(), 1);
    EXPECT_EQ(stored("beeping", "carol"), "on");
    EXPECT_EQ(stored("beeping", "Chat carol"), "");
    EXPECT_EQ(win_beep_stored(chat), 1);

    WindowRecord* messages = window_test_open("Message Window", kWinQuery, kQueryMessages, conn);
    ASSERT_TRUE(messages);
    win_set_timestamp(messages->hwnd.get(), 0);
    win_set_beep(messages->hwnd.get(), 0);
    EXPECT_EQ(stored("timestamp", "omessage"), "off");
    EXPECT_EQ(stored("beeping", "wmessage"), "off");
}

TEST_F(WindowOptionsTest, StoredValuesReadAsTheRulesSay)
{
    WindowRecord rec;
    rec.type = kWinChannel;
    rec.name = "#read";
    struct Tri {
        const char* value;
        int read;
    } tri[] = {{"on", 1}, {"ON", 1}, {"off", 0}, {"Off", 0}, {"yes", 2}, {"", 2}, {"1", 2}};
    for (const Tri& t : tri) {
        SCOPED_TRACE(t.value);
        store("flashing", "#read", t.value);
        EXPECT_EQ(win_flash_stored(&rec), t.read);
    }
    struct Spacing {
        const char* value;
        int read;
    } spacing[] = {{"0", 0}, {"1", 1}, {"3", 3}, {"2", 2}, {"5", 2}, {"x", 2}, {"", 2}, {"10", 2}};
    for (const Spacing& s : spacing) {
        SCOPED_TRACE(s.value);
        store("spacing", "#read", s.value);
        EXPECT_EQ(win_spacing_stored(&rec), s.read);
    }
    // Any value at all keeps a window on top.
    store("ontop", "#read", "yes");
    EXPECT_EQ(win_ontop_stored(&rec), 1);
    store("ontop", "#read", nullptr);
    EXPECT_EQ(win_ontop_stored(&rec), 0);
}

TEST_F(WindowOptionsTest, SpacingOutsideTheChoicesIsTheDefaultAndStoresNothing)
{
    WindowRecord* chan = window_test_open("#space", kWinChannel, 0, conn);
    ASSERT_TRUE(chan);
    choose(chan, 283);
    EXPECT_EQ(chan->spacing, 3);
    EXPECT_EQ(stored("spacing", "#space"), "3");
    EXPECT_TRUE(sys_item(chan, 283)->isChecked());

    win_set_spacing(chan->hwnd.get(), 5);
    EXPECT_EQ(chan->spacing, 2);
    EXPECT_EQ(stored("spacing", "#space"), "");
    EXPECT_TRUE(sys_item(chan, 282)->isChecked());
    for (int id : {280, 281, 283})
        EXPECT_FALSE(sys_item(chan, id)->isChecked());

    choose(chan, 280);
    EXPECT_EQ(stored("spacing", "#space"), "0");
    EXPECT_TRUE(sys_item(chan, 280)->isChecked());
    EXPECT_FALSE(sys_item(chan, 282)->isChecked());
}

TEST_F(WindowOptionsTest, ANewWindowTakesItsRememberedOptions)
{
    store("beeping", "#back", "off");
    store("flashing", "#back", "on");
    store("timestamp", "#back", "on");
    store("spacing", "#back", "3");
    store("tracking", "#back", "on");
    store("events", "#back", "1,2,3,1,9,9,2,4");
    WindowRecord* chan = window_test_open("#back", kWinChannel, 0, conn);
    ASSERT_TRUE(chan);
    EXPECT_EQ(chan->beep, 0);
    EXPECT_EQ(chan->flash, 1);
    EXPECT_EQ(chan->timestamp, 1);
    EXPECT_EQ(chan->spacing, 3);
    EXPECT_EQ(chan->track_urls, 1);
    const ChannelMembership* m = chan_membership(chan);
    EXPECT_EQ(m->show_joins_in, 1);
    EXPECT_EQ(m->show_parts_in, 2);
    EXPECT_EQ(m->show_quits_in, 3);
    EXPECT_EQ(m->show_kicks_in, 1);
    EXPECT_EQ(m->show_ctcps_in, 2);
    EXPECT_EQ(m->show_nicks_in, 4);
    // The menu shows them ticked.
    EXPECT_TRUE(sys_item(chan, 299)->isChecked());
    EXPECT_TRUE(sys_item(chan, 301)->isChecked());
    EXPECT_TRUE(sys_item(chan, 263)->isChecked());
    EXPECT_TRUE(sys_item(chan, 283)->isChecked());
    EXPECT_TRUE(sys_item(chan, 279)->isChecked());

    // A window with nothing stored has the defaults.
    WindowRecord* fresh = window_test_open("#fresh", kWinChannel, 0, conn);
    ASSERT_TRUE(fresh);
    EXPECT_EQ(fresh->beep, 2);
    EXPECT_EQ(fresh->flash, 2);
    EXPECT_EQ(fresh->timestamp, 2);
    EXPECT_EQ(fresh->spacing, 2);
    EXPECT_EQ(fresh->track_urls, 0);
    EXPECT_EQ(chan_membership(fresh)->show_joins_in, 0);
}

// ---- Effective beep and flash ----

TEST_F(WindowOptionsTest, DefaultBeepFollowsTheOptionOfTheWindowsKind)
{
    struct Case {
        int type;
        int subtype;
        int own;
        int channel_opt, query_opt, chat_opt;
        int want;
    } cases[] = {
        {kWinChannel, 0, 2, 1, 0, 0, 1},
        {kWinChannel, 0, 2, 0, 1, 1, 0},
        {kWinChannel, 0, 0, 1, 1, 1, 0},  // its own "off" wins
        {kWinChannel, 0, 1, 0, 0, 0, 1},
        {kWinQuery, kQueryPrivate, 2, 1, 0, 1, 0},
        {kWinQuery, kQueryMessages, 2, 0, 1, 0, 1},
        {kWinQuery, kQueryDccChat, 2, 1, 1, 0, 0},
        {kWinQuery, kQueryDccChat, 2, 0, 0, 1, 1},
        {kWinQuery, kQueryFserve, 2, 1, 1, 1, 0},
        {kWinStatus, 0, 1, 1, 1, 1, 0},
        {kWinCustom, 0, 1, 1, 1, 1, 0},
    };
    WindowRecord* rec = window_test_open("#eff", kWinChannel, 0, conn);
    ASSERT_TRUE(rec);
    const int saved_type = rec->type, saved_sub = rec->subtype;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.type) + "/" + std::to_string(c.subtype) + "/" + std::to_string(c.own));
        rec->type = c.type;
        rec->subtype = c.subtype;
        rec->beep = c.own;
        rec->flash = c.own;
        opt_set(OPT_BEEP_CHANNEL_MESSAGES, c.channel_opt);
        opt_set(OPT_BEEP_PRIVATE_MESSAGES, c.query_opt);
        opt_set(OPT_BEEP_CHAT_MESSAGES, c.chat_opt);
        opt_set(OPT_FLASH_CHANNEL_MESSAGES, c.channel_opt);
        opt_set(OPT_FLASH_PRIVATE_MESSAGES, c.query_opt);
        opt_set(OPT_FLASH_CHAT_MESSAGES, c.chat_opt);
        EXPECT_EQ(win_beep_setting(rec), c.want);
        EXPECT_EQ(win_flash_setting(rec), c.want);
        // The line buffer's own answers agree.
        EXPECT_EQ(display_beep_setting(rec), c.want);
        EXPECT_EQ(display_flash_setting(rec), c.want);
    }
    rec->type = saved_type;
    rec->subtype = saved_sub;
    EXPECT_EQ(win_beep_setting(nullptr), 0);
}

// ---- Tracking ----

TEST_F(WindowOptionsTest, TrackingAsksBeforeItTurnsOnAndNotBeforeItTurnsOff)
{
    WindowRecord* query = window_test_open("erin", kWinQuery, kQueryPrivate, conn);
    ASSERT_TRUE(query);
    std::string asked;
    answer_next_question(false, &asked);
    choose(query, 279);
    EXPECT_EQ(asked, std::string(text_load_string(6168)) + "|" + text_load_string(6169));
    EXPECT_EQ(query->track_urls, 0);
    EXPECT_EQ(stored("tracking", "erin"), "");
    EXPECT_FALSE(sys_item(query, 279)->isChecked());

    answer_next_question(true, nullptr);
    choose(query, 279);
    EXPECT_EQ(query->track_urls, 1);
    EXPECT_EQ(stored("tracking", "erin"), "on");
    EXPECT_TRUE(sys_item(query, 279)->isChecked());

    // Off again: no question (a question now would hang the test).
    choose(query, 279);
    EXPECT_EQ(query->track_urls, 0);
    EXPECT_EQ(stored("tracking", "erin"), "");
    EXPECT_FALSE(sys_item(query, 279)->isChecked());
}

// ---- Events ----

TEST_F(WindowOptionsTest, EventNumbersParseUpToEightWithOneCharacterBetween)
{
    struct Case {
        const char* text;
        int want[kWinEventCount];
    } cases[] = {
        {"1,2,3,4,5,6,7,8", {1, 2, 3, 4, 5, 6, 7, 8}},
        {"1;2 3", {1, 2, 3, 0, 0, 0, 0, 0}},
        {"", {0, 0, 0, 0, 0, 0, 0, 0}},
        {"4", {4, 0, 0, 0, 0, 0, 0, 0}},
        {"1,,3", {1, 0, 0, 0, 0, 0, 0, 0}},
        {"x,1", {0, 0, 0, 0, 0, 0, 0, 0}},
        {"1,2,3,4,5,6,7,8,9,10", {1, 2, 3, 4, 5, 6, 7, 8}},
        {"99999999999999999999,1", {999999, 1, 0, 0, 0, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        int got[kWinEventCount];
        win_events_parse(c.text, got);
        EXPECT_EQ(std::vector<int>(got, got + kWinEventCount), std::vector<int>(c.want, c.want + kWinEventCount));
    }
}

TEST_F(WindowOptionsTest, EventSettingsSaveKeepTheNumbersWithoutAPlaceAndDropAllZero)
{
    WindowRecord* chan = window_test_open("#ev", kWinChannel, 0, conn);
    ASSERT_TRUE(chan);
    store("events", "#ev", "0,0,0,0,7,8,0,0");  // modes and topics from earlier
    chan_membership(chan)->show_joins_in = 2;
    chan_membership(chan)->show_nicks_in = 4;
    win_events_save(chan);
    EXPECT_EQ(stored("events", "#ev"), "2,0,0,0,7,8,0,4");
    win_events_save(chan);  // saving twice changes nothing
    EXPECT_EQ(stored("events", "#ev"), "2,0,0,0,7,8,0,4");

    store("events", "#ev", nullptr);
    chan_membership(chan)->show_joins_in = 0;
    chan_membership(chan)->show_nicks_in = 0;
    win_events_save(chan);
    EXPECT_EQ(stored("events", "#ev"), "");

    // The global set: loaded into the membership settings, saved back.
    store("events", "default", "1,1,2,1,0,0,1,3");
    win_events_load_default();
    EXPECT_EQ(membership_settings.joins_in, 1);
    EXPECT_EQ(membership_settings.quits_in, 2);
    EXPECT_EQ(membership_settings.ctcps_in, 1);
    EXPECT_EQ(membership_settings.nicks_in, 3);
    membership_settings.parts_in = 2;
    win_events_save(nullptr);
    EXPECT_EQ(stored("events", "default"), "1,2,2,1,0,0,1,3");
    store("events", "default", nullptr);
    win_events_load_default();
    EXPECT_EQ(membership_settings.joins_in, 0);
    EXPECT_EQ(membership_settings.nicks_in, 0);
}

TEST_F(WindowOptionsTest, EventsChosenInTheChannelsDialogAreRememberedForItsNextWindow)
{
    WindowRecord* chan = window_test_open("#evd", kWinChannel, 0, conn);
    ASSERT_TRUE(chan);
    struct Step {
        bool ok;
        int joins;
        const char* stored;
    } steps[] = {{true, 4, "4,0,0,0,0,0,0,0"}, {false, 1, "4,0,0,0,0,0,0,0"}, {true, 0, ""}};
    for (const Step& st : steps) {
        SCOPED_TRACE(st.joins);
        bool shown = false;
        std::function<void()> act;
        act = [&] {
            auto* d = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            if (!d || d->objectName() != "events_dialog") {
                QTimer::singleShot(10, act);
                return;
            }
            shown = true;
            auto* joins = d->findChild<QComboBox*>("joins");
            ASSERT_TRUE(joins);
            joins->setCurrentIndex(joins->findData(st.joins));
            QTest::mouseClick(d->findChild<QPushButton*>(st.ok ? "ok" : "cancel"), Qt::LeftButton);
        };
        QTimer::singleShot(10, act);
        choose(chan, 285);
        ASSERT_TRUE(shown);
        EXPECT_EQ(stored("events", "#evd"), st.stored);
    }
    // A new window of the channel takes the stored choice.
    store("events", "#evd", "2,0,0,0,0,0,0,0");
    win_close(chan->hwnd.get());
    window_test_pump();
    WindowRecord* again = window_test_open("#evd", kWinChannel, 0, conn);
    ASSERT_TRUE(again);
    EXPECT_EQ(chan_membership(again)->show_joins_in, 2);
}

TEST_F(WindowOptionsTest, TheMdiFramesOwnSystemMenuReachesTheOptions)
{
    WindowRecord* chan = window_test_open("#mdi", kWinChannel, 0, conn);
    ASSERT_TRUE(chan);
    auto* frame = qobject_cast<QMdiSubWindow*>(win_container(chan->hwnd.get()));
    ASSERT_TRUE(frame);
    for (int round = 0; round < 2; ++round) {  // the menu opened twice keeps one set of entries
        SCOPED_TRACE(round);
        frame->showSystemMenu();
        window_test_pump();
        QMenu* sys = frame->systemMenu();
        ASSERT_TRUE(sys && sys->isVisible());
        QMenu* beep = nullptr;
        int beep_menus = 0;
        for (QAction* a : sys->actions())
            if (a->menu() && a->menu()->property("titleId").toInt() == 6125) {
                beep = a->menu();
                ++beep_menus;
            }
        ASSERT_TRUE(beep);
        EXPECT_EQ(beep_menus, 1);
        QTest::mouseClick(sys, Qt::LeftButton, {}, sys->actionGeometry(beep->menuAction()).center());
        window_test_pump();
        if (!beep->isVisible())
            beep->popup(sys->mapToGlobal(sys->actionGeometry(beep->menuAction()).topRight()));
        window_test_pump();
        QAction* item = nullptr;
        for (QAction* a : beep->actions())
            if (win_sysmenu_action_id(a) == (round == 0 ? 298 : 299))
                item = a;
        ASSERT_TRUE(item);
        QTest::mouseClick(beep, Qt::LeftButton, {}, beep->actionGeometry(item).center());
        window_test_pump();
        while (QWidget* popup = QApplication::activePopupWidget())
            popup->close();
        window_test_pump();
        EXPECT_EQ(chan->beep, round == 0 ? 1 : 0);
        EXPECT_EQ(stored("beeping", "#mdi"), round == 0 ? "on" : "off");
    }
}

// ---- On top ----

TEST_F(WindowOptionsTest, OnTopItemTogglesTheDesktopWindowAndItsKey)
{
    WindowRecord* chan = window_test_open("#top", kWinChannel, 0, conn);
    ASSERT_TRUE(chan);
    // On the desktop the item is offered.
    ASSERT_EQ(menu_sys_command(chan->hwnd.get(), 265), 1);
    window_test_pump();
    ASSERT_FALSE(win_is_mdi_child(chan->hwnd.get()));
    QWidget* frame = win_container(chan->hwnd.get());
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        choose(chan, 261);
        EXPECT_TRUE(frame->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
        EXPECT_EQ(stored("ontop", "#top"), "on");
        EXPECT_TRUE(sys_item(chan, 261)->isChecked());
        choose(chan, 261);
        EXPECT_FALSE(frame->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
        EXPECT_EQ(stored("ontop", "#top"), "");
        EXPECT_FALSE(sys_item(chan, 261)->isChecked());
    }
}

// ---- System commands ----

TEST_F(WindowOptionsTest, SystemCommandRangeLeavesGapsAndOtherWindowsAlone)
{
    WindowRecord* chan = window_test_open("#sys", kWinChannel, 0, conn);
    ASSERT_TRUE(chan);
    struct Case {
        int id;
        int ours;
    } cases[] = {{249, 0}, {250, 1}, {251, 1}, {252, 0}, {255, 0}, {259, 0}, {260, 0},
                 {261, 1}, {285, 1}, {306, 1}, {307, 0}, {0, 0},   {-1, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.id);
        EXPECT_EQ(menu_is_sys_command(chan->hwnd.get(), c.id), c.ours);
    }
    EXPECT_EQ(menu_sys_command(chan->hwnd.get(), 252), 0);
    EXPECT_EQ(menu_sys_command(nullptr, 261), 0);
    QWidget stranger;
    EXPECT_EQ(menu_is_sys_command(&stranger, 261), 0);
    EXPECT_EQ(menu_sys_command(&stranger, 298), 0);
}

TEST_F(WindowOptionsTest, PositionAndLoggingItemsReachTheirSettings)
{
    WindowRecord* chan = window_test_open("#pos", kWinChannel, 0, conn);
    ASSERT_TRUE(chan);
    struct Case {
        int id;
        const char* key;
        bool stored_after;
    } cases[] = {
        {257, "#pos", true},        // save the position
        {257, "#pos", true},        // again
        {250, "#pos", false},       // reset: the saved one goes
        {292, "wdchannel", true},   // the default of channel windows
        {293, "wdchannel", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.id);
        choose(chan, c.id);
        EXPECT_EQ(!stored("windows", c.key).empty(), c.stored_after);
    }
    // Logging on and off from the menu, into this test's own log folder.
    struct LogDirBack {
        std::string saved = main_settings.log_dir;
        ~LogDirBack() { main_settings.log_dir = saved; }
    } log_back;
    main_settings.log_dir = settings_dir + "logs/";
    std::filesystem::create_directories(main_settings.log_dir);
    choose(chan, 294);
    EXPECT_NE(chan->logging, 0);
    choose(chan, 295);
    EXPECT_EQ(chan->logging, 0);
}

TEST_F(WindowOptionsTest, ClearBufferItemEmptiesOnlyThatWindow)
{
    WindowRecord* a = window_test_open("#clr", kWinChannel, 0, conn);
    WindowRecord* b = window_test_open("#keep", kWinChannel, 0, conn);
    ASSERT_TRUE(a && b);
    for (WindowRecord* r : {a, b})
        print_line(r->hwnd.get(), std::string_view("some text"), 1u);
    ASSERT_TRUE(a->lines && b->lines);
    choose(a, 251);
    EXPECT_FALSE(a->lines);
    EXPECT_TRUE(b->lines);
}

TEST_F(WindowOptionsTest, TimestampCommandGoesThroughTheWindowsOption)
{
    WindowRecord* chan = window_test_open("#ts", kWinChannel, 0, conn);
    ASSERT_TRUE(chan);
    ASSERT_TRUE(chan->editbox.get());
    chan->editbox->setTextBytes("/timestamp -a on");
    QKeyEvent down(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QCoreApplication::sendEvent(chan->editbox.get(), &down);
    window_test_pump();
    EXPECT_EQ(chan->timestamp, 1);
    EXPECT_EQ(stored("timestamp", "#ts"), "on");
    EXPECT_TRUE(sys_item(chan, 263)->isChecked());
    EXPECT_FALSE(sys_item(chan, 262)->isChecked());
}

TEST_F(WindowOptionsTest, PreviousWindowWrapsToTheLast)
{
    WindowRecord* a = window_test_open("#p1", kWinChannel, 0, conn);
    WindowRecord* b = window_test_open("#p2", kWinChannel, 0, conn);
    ASSERT_TRUE(a && b);
    WindowRecord* last = win_list;
    while (last->next)
        last = last->next;
    EXPECT_EQ(win_previous(win_list), last);
    for (WindowRecord* r = win_list; r && r->next; r = r->next)
        EXPECT_EQ(win_previous(r->next), r);
    EXPECT_EQ(win_previous(nullptr), nullptr);
}

}  // namespace

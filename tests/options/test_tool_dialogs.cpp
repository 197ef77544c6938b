// The online timer, window settings, window order and About box, opened
// through the frame's menu commands as the menu opens them; the test
// clicks their real controls and reads the settings and the settings file.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QListWidget>
#include <QTest>
#include <QTimer>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "app/frame_menu.h"
#include "app/frame_proc.h"
#include "app/mdi_client.h"
#include "core/ini.h"
#include "core/list_sort.h"
#include "core/main_settings.h"
#include "core/options.h"
#include "core/string_list.h"
#include "core/text_buffer.h"
#include "core/time_date.h"
#include "irc/link/connections.h"
#include "model/connection.h"
#include "options/dialog_opener.h"
#include "options/tool_dialogs.h"
#include "platform/platform_utils.h"
#include "support/hook_guard.h"
#define KEST_TEST_WIDGETS
#include "support/test_support.h"

namespace {

QDialog* open_dialog(const char* name)
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* d = qobject_cast<QDialog*>(w); d && d->isVisible() && d->objectName() == name)
            return d;
    return nullptr;
}

void click(QDialog* d, int id)
{
    auto* b = qobject_cast<QAbstractButton*>(dlg_item(d, id));
    ASSERT_TRUE(b) << id;
    QTest::mouseClick(b, Qt::LeftButton);
}

class ToolDialogsTest : public ::testing::Test {
    HookGuard hooks_;
    SavedValues<std::string, OnlineTime, std::string, int, int, int> saved_{
        main_ini_path, online_time_total, main_settings.last_reset, mdi_auto_arrange, mdi_arrange_mode,
        mdi_auto_arrange_icons};

protected:
    std::filesystem::path dir;
    int beeps = 0;
    static ToolDialogsTest* self;

    void SetUp() override
    {
        test_app();
        self = this;
        dir = std::filesystem::temp_directory_path() / ("kest-tooldlg-" + std::to_string(::getpid()));
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
        main_ini_path = (dir / "kest.ini").string();
        spit(main_ini_path, "");
        options_reset();
        beep_play_hook = [](int) { ++self->beeps; };
        tool_dialogs_install();
    }
    void TearDown() override
    {
        tool_dialogs_uninstall();
        conn_free_all();
        options_reset();
        std::filesystem::remove_all(dir);
        test_drain_events();
    }

    // Runs the menu command; `act` works on the open dialog; whatever is
    // left open is closed with the close box afterwards.
    void run(int command, const char* name, const std::function<void(QDialog*)>& act, intptr_t lparam = 0)
    {
        bool seen = false;
        QTimer::singleShot(0, [&] {
            QDialog* d = open_dialog(name);
            if (!d)
                return;
            seen = true;
            act(d);
            if (QDialog* left = open_dialog(name))
                left->reject();
        });
        FrameMenuCommandFn fn = frame_menu_command(command);
        ASSERT_TRUE(fn) << command;
        fn(command, lparam);
        test_drain_events();
        EXPECT_TRUE(seen) << name << " did not open";
        EXPECT_FALSE(open_dialog(name));
    }

    std::string ini(const char* section, const char* key)
    {
        std::string v;
        ini_read(section, key, "<none>", v, 4150, main_ini_path);
        return v;
    }
};
ToolDialogsTest* ToolDialogsTest::self = nullptr;

// ---- Online timer ----

TEST(OnlineTimeText, TwoDigitsEachAndMore)
{
    EXPECT_EQ(online_time_text(0, 0, 0), "00:00:00");
    EXPECT_EQ(online_time_text(1, 2, 59), "01:02:59");
    EXPECT_EQ(online_time_text(123, 59, 0), "123:59:00");
}

TEST_F(ToolDialogsTest, OnlineTimerShowsTheChosenCounterAndSwitchesAtOnce)
{
    Connection* conn = conn_new(nullptr);
    ASSERT_TRUE(conn_is_live(conn));
    conn->online_hours = 1;
    conn->online_minutes = 2;
    conn->online_seconds = 3;
    online_time_total = {40, 5, 6};
    main_settings.last_reset = "Mon Jan 05 10:00:00 2026";
    opt_set(OPT_ONLINE_TIMER_TOTAL, 1);
    run(157, kOnlineTimerName, [&](QDialog* d) {
        EXPECT_EQ(dlg_text(d, 225), "40:05:06");
        EXPECT_EQ(dlg_text(d, 224), "Mon Jan 05 10:00:00 2026");
        EXPECT_EQ(dlg_checked(d, 222), 1);
        click(d, 221);
        EXPECT_EQ(dlg_text(d, 225), "01:02:03");
        EXPECT_EQ(dlg_text(d, 224), "");
        click(d, 222);
        EXPECT_EQ(dlg_text(d, 225), "40:05:06");
        // The counter moving while the dialog is open shows at once.
        online_time_total.seconds = 7;
        online_time_moved.fire(false);
        EXPECT_EQ(dlg_text(d, 225), "40:05:07");
    });
}

TEST_F(ToolDialogsTest, OnlineTimerResetIsKeptOnOkAndUndoneOnCancel)
{
    struct Case {
        const char* name;
        int ok;
        int total;  // reset the total (222) or the connection's counter (221)
    } cases[] = {
        {"total, OK", 1, 1},
        {"total, cancel", 0, 1},
        {"connection, OK", 1, 0},
        {"connection, cancel", 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        conn_free_all();
        Connection* conn = conn_new(nullptr);
        ASSERT_TRUE(conn_is_live(conn));
        conn->online_hours = 2;
        conn->online_minutes = 30;
        online_time_total = {9, 8, 7};
        main_settings.last_reset = "before";
        opt_set(OPT_ONLINE_TIMER_TOTAL, 1);
        run(157, kOnlineTimerName, [&](QDialog* d) {
            click(d, c.total ? 222 : 221);
            click(d, 223);
            EXPECT_EQ(dlg_text(d, 225), "00:00:00");
            EXPECT_NE(dlg_text(d, 224), "before");
            EXPECT_FALSE(dlg_text(d, 224).empty());
            click(d, c.ok ? 1 : 2);
        });
        const bool total_reset = c.ok && c.total;
        const bool conn_reset = c.ok && !c.total;
        EXPECT_EQ(online_time_total.hours, total_reset ? 0 : 9);
        EXPECT_EQ(online_time_total.seconds, total_reset ? 0 : 7);
        EXPECT_EQ(main_settings.last_reset != "before", total_reset);
        EXPECT_EQ(conn->online_hours, conn_reset ? 0 : 2);
        EXPECT_EQ(conn->online_minutes, conn_reset ? 0 : 30);
        // The choice of counter is stored only on OK.
        EXPECT_EQ(opt(OPT_ONLINE_TIMER_TOTAL), c.ok ? c.total : 1);
    }
}

TEST_F(ToolDialogsTest, OnlineTimerOkStoresTheSwitchAndSavesTheSettings)
{
    opt_set(OPT_ONLINE_TIMER, 1);
    run(157, kOnlineTimerName, [&](QDialog* d) {
        click(d, 220);  // off
        click(d, 1);
    });
    EXPECT_EQ(opt(OPT_ONLINE_TIMER), 0);
    EXPECT_EQ(opt_online_timer, 0);
    const std::string n1 = ini("options", "n1");
    ASSERT_NE(n1, "<none>");
    std::vector<std::string> fields;
    std::size_t from = 0;
    for (std::size_t comma; (comma = n1.find(',', from)) != std::string::npos; from = comma + 1)
        fields.push_back(n1.substr(from, comma - from));
    ASSERT_GT(fields.size(), 2u);
    EXPECT_EQ(fields[2], "0");  // position 2: the online timer
}

// ---- Window settings ----

TEST_F(ToolDialogsTest, WindowSettingsTilingsExcludeEachOtherAndTheCascade)
{
    struct Case {
        std::vector<int> clicks;
        int auto_arrange;
        int mode;
        int icons;
    } cases[] = {
        {{105}, 1, 0, 0},
        {{105, 106}, 1, 1, 0},      // vertical clears horizontal
        {{106, 107}, 1, 2, 0},      // the cascade clears both
        {{107, 105}, 1, 0, 0},      // a tiling clears the cascade
        {{105, 105}, 0, 0, 0},      // on and off again
        {{108}, 0, 0, 1},
        {{}, 0, 0, 0},
    };
    for (const Case& c : cases) {
        mdi_auto_arrange = 0;
        mdi_arrange_mode = 0;
        mdi_auto_arrange_icons = 0;
        run(174, kWindowSettingsName, [&](QDialog* d) {
            for (int id : c.clicks)
                click(d, id);
            const int on = dlg_checked(d, 105) + dlg_checked(d, 106) + dlg_checked(d, 107);
            EXPECT_LE(on, 1);
            click(d, 1);
        });
        EXPECT_EQ(mdi_auto_arrange, c.auto_arrange);
        EXPECT_EQ(mdi_arrange_mode, c.mode);
        EXPECT_EQ(mdi_auto_arrange_icons, c.icons);
    }
}

TEST_F(ToolDialogsTest, WindowSettingsStoreTheGroupingOnlyOnOk)
{
    for (int ok : {0, 1}) {
        options_reset();
        run(174, kWindowSettingsName, [&](QDialog* d) {
            EXPECT_EQ(dlg_checked(d, 101), 0);
            click(d, 101);
            click(d, 102);
            click(d, ok ? 1 : 2);
        });
        EXPECT_EQ(opt(OPT_ARRANGE_GROUP_BY_CONNECTION), ok);
        EXPECT_EQ(opt(OPT_ARRANGE_ORDER_BY_CREATION), ok);
        EXPECT_EQ(ini("options", "n1") != "<none>", ok == 1);
    }
    // Opened again, the dialog shows what is stored.
    run(174, kWindowSettingsName, [&](QDialog* d) {
        EXPECT_EQ(dlg_checked(d, 101), 1);
        EXPECT_EQ(dlg_checked(d, 102), 1);
        EXPECT_EQ(dlg_checked(d, 103), 0);
    });
}

// ---- Window order ----

TEST(WindowOrderKinds, KindNamesCarryTheirTypeAndOtherNamesNone)
{
    struct Case {
        const char* name;
        int type;
        int subtype;
    } cases[] = {
        {"Channel Windows", 1, 0}, {"channel windows", 1, 0}, {"Channels List", 4, 0},
        {"Chat Windows", 2, 3},    {"Custom Windows", 9, 0},  {"Fserve Windows", 2, 4},
        {"Get Windows", 3, 2},     {"Links List", 8, 0},      {"Message Window", 2, 2},
        {"Query Windows", 2, 1},   {"Send Windows", 3, 1},    {"Notify List", 7, 0},
        {"Urls List", 6, 0},       {"#kest", 0, 0},           {"Channel Window", 0, 0},
        {"", 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        int subtype = -1;
        EXPECT_EQ(winlist_kind_type(c.name, &subtype), c.type);
        EXPECT_EQ(subtype, c.subtype);
        // Shown translated and back to English; a window name stays as it is.
        EXPECT_TRUE(text_equal_nocase(winlist_kind_english(winlist_kind_shown(c.name)), c.name));
    }
    EXPECT_NE(winlist_kind_shown("Channel Windows"), "Channel Windows");
}

TEST_F(ToolDialogsTest, WindowOrderAddsKindsAndNamesAndSavesTheOrderOnOk)
{
    spit(main_ini_path, "[order]\nn0=Query Windows\nn1=#kest\n");
    winlist_order_load();
    const std::string query_shown = winlist_kind_shown("Query Windows");
    const std::string channels_shown = winlist_kind_shown("Channel Windows");
    run(175, kWindowOrderName, [&](QDialog* d) {
        auto* combo = qobject_cast<QComboBox*>(dlg_item(d, 101));
        auto* list = qobject_cast<QListWidget*>(dlg_item(d, 104));
        ASSERT_TRUE(combo && list);
        ASSERT_EQ(list->count(), 2);
        EXPECT_EQ(list->item(0)->text().toStdString(), query_shown);
        // The combo offers every kind not in the list, and never one that is.
        EXPECT_EQ(combo->count(), 11);
        EXPECT_EQ(combo->findText(QString::fromStdString(query_shown)), -1);
        combo->setCurrentIndex(combo->findText(QString::fromStdString(channels_shown)));
        click(d, 102);
        EXPECT_EQ(combo->findText(QString::fromStdString(channels_shown)), -1);
        EXPECT_EQ(combo->count(), 10);
        // A kind added twice beeps.
        combo->setEditText(QString::fromStdString(channels_shown));
        click(d, 102);
        EXPECT_EQ(beeps, 1);
        combo->setEditText("#other");
        click(d, 102);
        ASSERT_EQ(list->count(), 4);
        // Move the channels up to the top; one more step up beeps.
        list->setCurrentRow(2);
        click(d, 105);
        click(d, 105);
        click(d, 105);
        EXPECT_EQ(beeps, 2);
        // Delete "#kest".
        list->setCurrentRow(2);
        EXPECT_EQ(list->item(2)->text().toStdString(), "#kest");
        click(d, 103);
        click(d, 1);
    });
    EXPECT_EQ(ini("order", "n0"), "Channel Windows");
    EXPECT_EQ(ini("order", "n1"), "Query Windows");
    EXPECT_EQ(ini("order", "n2"), "#other");
    EXPECT_EQ(ini("order", "n3"), "<none>");
    const StringNode* n = winlist_order();
    ASSERT_TRUE(n && n->next && n->next->next);
    EXPECT_EQ(n->number, 1);
    EXPECT_EQ(n->next->number, 2);
    EXPECT_EQ(n->next->serial, 1);
    EXPECT_EQ(n->next->next->number, 0);
}

TEST_F(ToolDialogsTest, WindowOrderCancelKeepsTheOldOrder)
{
    spit(main_ini_path, "[order]\nn0=Send Windows\n");
    winlist_order_load();
    run(175, kWindowOrderName, [&](QDialog* d) {
        auto* list = qobject_cast<QListWidget*>(dlg_item(d, 104));
        ASSERT_TRUE(list);
        list->setCurrentRow(0);
        click(d, 103);
        EXPECT_EQ(list->count(), 0);
        click(d, 2);
    });
    EXPECT_EQ(ini("order", "n0"), "Send Windows");
    ASSERT_TRUE(winlist_order());
    EXPECT_EQ(winlist_order()->text, "Send Windows");
    EXPECT_EQ(winlist_order()->number, 3);
    EXPECT_EQ(winlist_order()->serial, 1);
}

TEST_F(ToolDialogsTest, TheOrderListDecidesTheWindowSort)
{
    winlist_order_set({"Query Windows", "Channel Windows"}, 0);
    WindowSortKey chan;
    chan.type = 1;
    chan.name = "#a";
    WindowSortKey query;
    query.type = 2;
    query.subtype = 1;
    query.name = "bob";
    EXPECT_GT(winlist_compare(chan, query, winlist_order(), 0), 0);
    winlist_order_set({}, 0);
    EXPECT_LT(winlist_compare(chan, query, winlist_order(), 0), 0);
}

// ---- About ----

TEST_F(ToolDialogsTest, AboutBoxShowsTheVersionAndOpensOnceAtATime)
{
    int nested = -1;
    run(195, kAboutBoxName, [&](QDialog* d) {
        EXPECT_NE(dlg_text(d, 102).find(kProgramVersionText), std::string::npos);
        nested = about_box(nullptr, 0);  // a second one while open: none
        click(d, 1);
    });
    EXPECT_EQ(nested, 0);
}

}  // namespace

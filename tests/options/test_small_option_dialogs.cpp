// The small option dialogs as a user reaches them: the options dialog is
// opened, the page is chosen from the category list, the page's button is
// clicked and the small dialog answered with clicks and keys. What it
// changed must reach the running settings and the file only with the
// options dialog's OK; its own Cancel and the options dialog's Cancel
// change nothing.
#include <gtest/gtest.h>

#define KEST_TEST_WIDGETS
#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QTest>
#include <QTimer>

#include <functional>
#include <string>
#include <vector>

#include "app/frame_dde.h"
#include "bars/tips.h"
#include "core/ini.h"
#include "core/main_settings.h"
#include "core/options.h"
#include "core/string_list.h"
#include "irc/lists/servers.h"
#include "model/connection.h"
#include "model/tip_events.h"
#include "options/dialog_opener.h"
#include "options/options_dialog.h"
#include "options/options_page.h"
#include "options/options_pages.h"
#include "options/page_connect.h"
#include "platform/platform_utils.h"
#include "support/hook_guard.h"
#include "support/test_support.h"

namespace {

int beeps = 0;

constexpr int id(int line, int position)
{
    return option_id(line, position);
}

class SmallOptionDialogs : public ::testing::Test {
    HookGuard hooks_;

protected:
    TempSettingsDir settings{"kest_smallopt"};
    SavedValues<MainSettings, DdeSettings> saved{main_settings, dde_settings};

    void SetUp() override
    {
        test_app();
        ASSERT_TRUE(settings.made());
        main_settings.servers_file = settings.path() + "servers.ini";
        spit(servers_file(), "[servers]\nn0=Yerel sunucuSERVER:127.0.0.1:6667GROUP:Yerel\n");
        options_reset();
        // Every group open, so every page is listed.
        for (int p = 3; p <= 9; ++p)
            option_set_value(6, p, 1);
        conn = conn_new(nullptr);
        ASSERT_TRUE(conn);
        beep_play_hook = [](int) { ++beeps; };
        options_dialog_install();
        page_connect_install();
        options_pages_install();
    }
    void TearDown() override
    {
        options_pages_uninstall();
        page_connect_uninstall();
        options_dialog_uninstall();
        conn_free_all();
        StringNode*& list = servers_list();
        strlist_free(&list);
        options_reset();
        test_drain_events();
    }

    // Opens the options dialog and runs `act` in it; the dialog is
    // cancelled afterwards when `act` left it open.
    void run(const std::function<void(QDialog*)>& act)
    {
        bool seen = false;
        QTimer::singleShot(0, [&] {
            QDialog* d = options_dialog_window();
            if (!d)
                return;
            seen = true;
            act(d);
            if (QDialog* left = options_dialog_window(); left && left->isVisible())
                click(left, 2);
        });
        options_dialog_open(0);
        test_drain_events();
        ASSERT_TRUE(seen) << "the options dialog did not open";
    }
    // Shows the page and clicks its button; `answer` gets the small dialog
    // that opens (which is cancelled if it is still open afterwards).
    static void open_small(QDialog* d, int page, int button, const std::function<void(QDialog*)>& answer)
    {
        show_page(d, page);
        QDialog* seen = nullptr;
        QTimer::singleShot(0, [&] {
            auto* sub = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            if (!sub || sub == d)
                return;
            seen = sub;
            answer(sub);
            if (sub->isVisible())
                sub->reject();
        });
        click(d, button);
        EXPECT_TRUE(seen) << "no dialog opened from button " << button;
    }
    static void show_page(QDialog* d, int first_control)
    {
        auto* list = qobject_cast<QListWidget*>(dlg_item(d, 101));
        ASSERT_TRUE(list);
        const int row = options_category_row_of(first_control);
        ASSERT_GE(row, 0) << first_control;
        QListWidgetItem* it = list->item(row);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(it).center());
        ASSERT_TRUE(dlg_item(d, first_control)->isVisible()) << first_control;
    }
    static void click(QWidget* d, int control)
    {
        auto* b = qobject_cast<QAbstractButton*>(dlg_item(d, control));
        ASSERT_TRUE(b) << control;
        ASSERT_TRUE(b->isVisible()) << control;
        if (qobject_cast<QCheckBox*>(b))
            QTest::mouseClick(b, Qt::LeftButton, {}, QPoint(6, b->height() / 2));
        else
            QTest::mouseClick(b, Qt::LeftButton);
    }
    static void type(QWidget* d, int control, const QString& text)
    {
        auto* e = qobject_cast<QLineEdit*>(dlg_item(d, control));
        ASSERT_TRUE(e) << control;
        e->setFocus();
        e->selectAll();
        QTest::keyClick(e, Qt::Key_Delete);
        QTest::keyClicks(e, text);
    }
    std::string ini(const char* section, const char* key)
    {
        std::string out;
        ini_read(section, key, "", out, 4150, main_ini_path);
        return out;
    }

    Connection* conn = nullptr;
};

// Each box of each dialog, clicked once, flips the position it names (a
// box stored inverted as well: ticked holds 0); the positions of the boxes
// not clicked stay.
struct BoxCase {
    const char* dialog;
    int page;
    int button;
    int control;
    int option;
};

const BoxCase kBoxes[] = {
    {"keys", 440, 446, 101, id(3, 1)},   {"keys", 440, 446, 102, id(4, 0)},   {"keys", 440, 446, 103, id(6, 24)},
    {"keys", 440, 446, 104, id(6, 28)},  {"keys", 440, 446, 105, id(1, 30)},  {"keys", 440, 446, 106, id(2, 31)},
    {"keys", 440, 446, 107, id(2, 32)},  {"keys", 440, 446, 108, id(2, 34)},
    {"confirm", 440, 449, 101, id(0, 34)}, {"confirm", 440, 449, 102, id(7, 22)}, {"confirm", 440, 449, 103, id(7, 23)},
    {"confirm", 440, 449, 104, id(7, 24)}, {"confirm", 440, 449, 105, id(7, 25)}, {"confirm", 440, 449, 106, id(7, 0)},
    {"confirm", 440, 449, 107, id(7, 1)},  {"confirm", 440, 449, 108, id(7, 2)},  {"confirm", 440, 449, 109, id(7, 3)},
    {"confirm", 440, 449, 110, id(7, 8)},  {"confirm", 440, 449, 111, id(7, 7)},  {"confirm", 440, 449, 112, id(7, 15)},
    {"confirm", 440, 449, 113, id(1, 34)},
    {"windows", 420, 430, 102, id(5, 0)},  {"windows", 420, 430, 105, id(5, 1)},  {"windows", 420, 430, 103, id(5, 2)},
    {"windows", 420, 430, 106, id(5, 3)},  {"windows", 420, 430, 108, id(5, 4)},  {"windows", 420, 430, 112, id(5, 5)},
    {"windows", 420, 430, 111, id(5, 6)},  {"windows", 420, 430, 110, id(5, 7)},  {"windows", 420, 430, 109, id(5, 8)},
    {"windows", 420, 430, 107, id(5, 9)},  {"windows", 420, 430, 104, id(5, 16)}, {"windows", 420, 430, 113, id(2, 33)},
    {"windows", 420, 430, 115, id(6, 19)}, {"windows", 420, 430, 114, id(6, 20)}, {"windows", 420, 430, 116, id(8, 8)},
    {"finger", 440, 448, 101, id(3, 28)},  {"finger", 440, 448, 102, id(2, 17)},
};

int value(int option)
{
    return option_value(option_id_line(option), option_id_position(option), 0);
}

TEST_F(SmallOptionDialogs, EachBoxFlipsItsPositionWithTheOptionsOkOnly)
{
    for (const BoxCase& c : kBoxes) {
        SCOPED_TRACE(std::string(c.dialog) + " box " + std::to_string(c.control));
        // The boxes an "always" box disables are reached with it cleared.
        if (c.button == 449) {
            opt_set(static_cast<OptionId>(id(7, 25)), 0);
            opt_set(static_cast<OptionId>(id(7, 3)), 0);
        }
        // Every other box of the dialog must keep its position.
        std::vector<std::pair<int, int>> others;
        for (const BoxCase& o : kBoxes)
            if (o.button == c.button && o.control != c.control)
                others.emplace_back(o.option, value(o.option));
        const int before = value(c.option);
        const int want = before ? 0 : 1;
        bool shown_as = false;

        // Clicked, and the options dialog cancelled: nothing changes.
        run([&](QDialog* d) {
            open_small(d, c.page, c.button, [&](QDialog* sub) {
                shown_as = dlg_checked(sub, c.control);
                click(sub, c.control);
                click(sub, 1);
            });
            EXPECT_EQ(value(c.option), before) << "live before the options dialog's OK";
            click(d, 2);
        });
        EXPECT_EQ(value(c.option), before);

        // Clicked and the small dialog cancelled: the options OK keeps it.
        run([&](QDialog* d) {
            open_small(d, c.page, c.button, [&](QDialog* sub) {
                click(sub, c.control);
                click(sub, 2);
            });
            click(d, 1);
        });
        EXPECT_EQ(value(c.option), before);

        // Clicked, OK and OK: live and in the file.
        run([&](QDialog* d) {
            open_small(d, c.page, c.button, [&](QDialog* sub) {
                click(sub, c.control);
                click(sub, 1);
            });
            click(d, 1);
        });
        EXPECT_EQ(value(c.option), want);
        EXPECT_EQ(ini("options", ("n" + std::to_string(option_id_line(c.option))).c_str()),
                  options_line_text(option_id_line(c.option)));
        for (const auto& [option, was] : others)
            EXPECT_EQ(value(option), was) << "position " << option_id_line(option) << "." << option_id_position(option);

        // Opened again, the box shows the new value.
        run([&](QDialog* d) {
            open_small(d, c.page, c.button, [&](QDialog* sub) { EXPECT_NE(dlg_checked(sub, c.control), shown_as); });
        });
    }
}

TEST_F(SmallOptionDialogs, AnAlwaysBoxDisablesTheOthersOfItsGroup)
{
    run([&](QDialog* d) {
        open_small(d, 440, 449, [&](QDialog* sub) {
            struct Case {
                int always;
                std::vector<int> group;
                std::vector<int> untouched;
            } cases[] = {
                {105, {102, 103, 104}, {106, 109, 101}},
                {109, {106, 107, 108, 110, 111, 112}, {102, 105, 113}},
            };
            for (const Case& c : cases) {
                SCOPED_TRACE(c.always);
                dlg_set_checked(sub, c.always, 0);
                for (int g : c.group)
                    EXPECT_TRUE(dlg_item(sub, g)->isEnabled()) << g;
                click(sub, c.always);
                for (int g : c.group)
                    EXPECT_FALSE(dlg_item(sub, g)->isEnabled()) << g;
                for (int u : c.untouched)
                    EXPECT_TRUE(dlg_item(sub, u)->isEnabled()) << u;
                click(sub, c.always);
                for (int g : c.group)
                    EXPECT_TRUE(dlg_item(sub, g)->isEnabled()) << g;
            }
        });
    });
}

TEST_F(SmallOptionDialogs, NumbersAndChoicesKeepTheirBounds)
{
    struct Case {
        const char* typed;
        int want;
    } lines[] = {{"12", 12}, {"0", 0}, {"1", 1}};
    for (const Case& c : lines) {
        SCOPED_TRACE(c.typed);
        run([&](QDialog* d) {
            open_small(d, 440, 449, [&](QDialog* sub) {
                type(sub, 114, c.typed);
                click(sub, 1);
            });
            click(d, 1);
        });
        EXPECT_EQ(opt(static_cast<OptionId>(id(1, 35))), c.want);
    }

    // The transparency: sixteen steps of five, shown as percentages.
    struct Step {
        int index;
        int percent;
    } steps[] = {{0, 0}, {1, 5}, {5, 25}, {15, 75}};
    for (const Step& s : steps) {
        SCOPED_TRACE(s.percent);
        run([&](QDialog* d) {
            open_small(d, 420, 430, [&](QDialog* sub) {
                auto* combo = qobject_cast<QComboBox*>(dlg_item(sub, 118));
                ASSERT_TRUE(combo);
                ASSERT_EQ(combo->count(), 16);
                EXPECT_EQ(combo->itemText(15), "75%");
                combo->setCurrentIndex(s.index);
                click(sub, 1);
            });
            click(d, 1);
        });
        EXPECT_EQ(opt(OPT_TRANSPARENCY), s.percent);
        run([&](QDialog* d) {
            open_small(d, 420, 430, [&](QDialog* sub) { EXPECT_EQ(dlg_combo_index(sub, 118), s.index); });
        });
    }
}

TEST_F(SmallOptionDialogs, TheDdeServerSettingsGoToTheirSectionOnOk)
{
    dde_settings = DdeSettings();
    struct Case {
        const char* name;
        const char* delay;
        std::string want_name;
        int want_delay;
    } cases[] = {
        {"Sohbet", "3", "Sohbet", 3},
        {"", "0", "Kest", 0},
        {"x", "12", "x", 12},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        run([&](QDialog* d) {
            open_small(d, 440, 447, [&](QDialog* sub) {
                type(sub, 102, QString::fromUtf8(c.name));
                type(sub, 103, c.delay);
                click(sub, 101);
                click(sub, 104);
                click(sub, 1);
            });
            EXPECT_NE(dde_settings.service, c.want_name == "Kest" ? "" : c.want_name);
            click(d, 1);
        });
        EXPECT_EQ(dde_settings.service, c.want_name);
        EXPECT_EQ(ini("dde", "ServiceName"), c.want_name);
        EXPECT_EQ(opt(OPT_DDE_DELAY), c.want_delay);
    }
    // The boxes were clicked three times: off, on, off.
    EXPECT_EQ(dde_settings.server_on, 0);
    EXPECT_EQ(ini("dde", "ServerStatus"), "off");
    EXPECT_EQ(dde_settings.check_name, 1);
    EXPECT_EQ(ini("dde", "CheckName"), "on");

    // Cancelled: the section stays.
    run([&](QDialog* d) {
        open_small(d, 440, 447, [&](QDialog* sub) {
            type(sub, 102, "Baska");
            click(sub, 1);
        });
        click(d, 2);
    });
    EXPECT_EQ(dde_settings.service, "x");
    EXPECT_EQ(ini("dde", "ServiceName"), "x");
}

TEST_F(SmallOptionDialogs, TheFingerFileButtonClearsASetFile)
{
    main_settings.finger_file = settings.path() + "finger.txt";
    spit(main_settings.finger_file, "merhaba\n");
    run([&](QDialog* d) {
        open_small(d, 440, 448, [&](QDialog* sub) {
            auto* b = qobject_cast<QAbstractButton*>(dlg_item(sub, 104));
            ASSERT_TRUE(b);
            EXPECT_EQ(b->text().toStdString(), main_settings.finger_file);
            click(sub, 104);
            EXPECT_EQ(b->text(), "(yok)");
            // With no file, editing it beeps.
            const int was = beeps;
            click(sub, 103);
            EXPECT_EQ(beeps, was + 1);
            click(sub, 1);
        });
        EXPECT_FALSE(main_settings.finger_file.empty());
        click(d, 1);
    });
    EXPECT_EQ(main_settings.finger_file, "");
    EXPECT_EQ(ini("files", "finger"), "");
}

TEST_F(SmallOptionDialogs, TheEventsButtonOpensTheGlobalEventsDialog)
{
    run([&](QDialog* d) {
        open_small(d, 230, 248, [&](QDialog* sub) {
            // The global choices: no "default" entry at the top.
            EXPECT_EQ(sub->objectName(), "events_dialog");
            auto* joins = sub->findChild<QComboBox*>("joins");
            ASSERT_TRUE(joins);
            EXPECT_NE(joins->itemText(0), QString::fromUtf8("Varsayılan"));
            EXPECT_EQ(joins->itemText(0), QString::fromUtf8("Kanalda"));
        });
    });
}

}  // namespace

// The tips button of the Display Options page opens the tips options: each
// box flips its own option only; the maximum and the seconds keep their
// bounds whatever is typed. Unlike the other small dialogs its OK makes the
// choice live and saved at once; its Cancel changes nothing.
TEST_F(SmallOptionDialogs, TheTipsDialogSetsEachTipOptionAtOnce)
{
    tipopts_load();
    // Types into a combo box's own edit field.
    auto type_combo = [](QWidget* sub, int control, const QString& text) {
        auto* combo = qobject_cast<QComboBox*>(dlg_item(sub, control));
        ASSERT_TRUE(combo && combo->lineEdit()) << control;
        QLineEdit* e = combo->lineEdit();
        e->setFocus();
        e->selectAll();
        QTest::keyClick(e, Qt::Key_Delete);
        QTest::keyClicks(e, text);
    };
    int before[TIPOPT_COUNT];
    tip_options_apply(before, 0);
    for (int n = 1; n <= 21; ++n) {
        SCOPED_TRACE(n);
        run([&](QDialog* d) {
            open_small(d, 420, 433, [&](QDialog* sub) {
                click(sub, 99 + n);
                click(sub, 1);
            });
        });
        for (int k = 1; k <= TIPOPT_COUNT; ++k)
            EXPECT_EQ(tipopt(k), k == n ? !before[k - 1] : before[k - 1]) << k;
        // Clicked again, it is back.
        run([&](QDialog* d) {
            open_small(d, 420, 433, [&](QDialog* sub) {
                EXPECT_EQ(dlg_checked(sub, 99 + n), !before[n - 1]);
                click(sub, 99 + n);
                click(sub, 1);
            });
        });
        EXPECT_EQ(tipopt(n), before[n - 1]);
    }

    const struct {
        const char* max;
        const char* seconds;
        int want_max, want_seconds;
    } numbers[] = {
        {"4", "2", 5, 3},   {"5", "3", 5, 3},     {"50", "60", 50, 60},
        {"51", "61", 50, 60}, {"17", "9", 17, 9}, {"", "x", 5, 3},
    };
    for (const auto& c : numbers) {
        SCOPED_TRACE(c.max);
        run([&](QDialog* d) {
            open_small(d, 420, 433, [&](QDialog* sub) {
                auto* max = qobject_cast<QComboBox*>(dlg_item(sub, 121));
                auto* seconds = qobject_cast<QComboBox*>(dlg_item(sub, 122));
                ASSERT_TRUE(max && seconds);
                EXPECT_EQ(max->itemText(0), "5");
                EXPECT_EQ(max->itemText(1), "50");
                EXPECT_EQ(seconds->itemText(0), "3");
                EXPECT_EQ(seconds->itemText(1), "60");
                type_combo(sub, 121, QString::fromUtf8(c.max));
                type_combo(sub, 122, QString::fromUtf8(c.seconds));
                click(sub, 123);
                click(sub, 1);
            });
        });
        EXPECT_EQ(tipopt(TIPOPT_MAX_TIPS), c.want_max);
        EXPECT_EQ(tipopt(TIPOPT_SECONDS), c.want_seconds);
        const std::string saved = ini("options", "tipopts");
        EXPECT_NE(saved.find("," + std::to_string(c.want_max) + "," + std::to_string(c.want_seconds) + ","),
                  std::string::npos)
            << saved;
        // Opened again, the fields show the kept values.
        run([&](QDialog* d) {
            open_small(d, 420, 433, [&](QDialog* sub) {
                EXPECT_EQ(dlg_text(sub, 121), std::to_string(c.want_max));
                EXPECT_EQ(dlg_text(sub, 122), std::to_string(c.want_seconds));
            });
        });
    }

    // Cancel leaves every option and the file as they were.
    int kept[TIPOPT_COUNT];
    tip_options_apply(kept, 0);
    const std::string file = ini("options", "tipopts");
    run([&](QDialog* d) {
        open_small(d, 420, 433, [&](QDialog* sub) {
            click(sub, 100);
            click(sub, 104);
            type_combo(sub, 121, "40");
            click(sub, 2);
        });
    });
    for (int k = 1; k <= TIPOPT_COUNT; ++k)
        EXPECT_EQ(tipopt(k), kept[k - 1]) << k;
    EXPECT_EQ(ini("options", "tipopts"), file);
}

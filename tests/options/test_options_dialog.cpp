// The options dialog run modally as the program opens it: the test acts on
// the open dialog with keys and clicks on its real controls and then reads
// the connection, the option lines and the settings file. A probe page
// (a check box on the Options row of the Connection group) counts how often
// it is filled, read back and cancelled.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QTest>
#include <QTimer>

#include <functional>
#include <iterator>
#include <string>

#include "app/frame_menu.h"
#include "core/ini.h"
#include "core/options.h"
#include "irc/link/connections.h"
#include "model/connection.h"
#include "options/options_dialog.h"
#include "options/options_page.h"
#include "options/page_connect.h"
#include "platform/platform_utils.h"
#include "support/hook_guard.h"
#define KEST_TEST_WIDGETS
#include "support/test_support.h"

namespace {

int beeps = 0;

struct Probe {
    int fills = 0;
    int applies = 0;
    int cancels = 0;
    int value = 0;  // the setting the page edits
} probe;

const DlgControl kProbeControls[] = {
    {175, kDlgCheck, "&Deneme kutusu", 0, 0, 100, 10},
    {176, kDlgLabel, "&Birinci && ikinci", 0, 14, 100, 8},
};
const DlgTemplate kProbeTemplate = {200, "", 110, 30, kProbeControls, std::size(kProbeControls)};

void probe_fill(OptionsEdit& e)
{
    ++probe.fills;
    dlg_set_checked(e.dialog, 175, probe.value);
}
void probe_apply(OptionsEdit& e)
{
    ++probe.applies;
    probe.value = dlg_checked(e.dialog, 175);
}
void probe_cancel(OptionsEdit&)
{
    ++probe.cancels;
}

class OptionsDialogTest : public ::testing::Test {
    HookGuard hooks_;

protected:
    void SetUp() override
    {
        test_app();
        ASSERT_TRUE(settings.made());
        options_reset();
        conn = conn_new(nullptr);
        ASSERT_TRUE(conn);
        beeps = 0;
        beep_play_hook = [](int) { ++beeps; };
        probe = Probe();
        options_dialog_install();
        page_connect_install();
        options_page_register({175, &kProbeTemplate, probe_fill, probe_apply, probe_cancel, nullptr});
    }
    void TearDown() override
    {
        options_page_unregister(175);
        page_connect_uninstall();
        options_dialog_uninstall();
        conn_free_all();
        options_reset();
        test_drain_events();
    }

    // Opens the dialog at the code; `act` works on the open dialog, and
    // whatever is left open afterwards is cancelled.
    void run(int code, const std::function<void(QDialog*)>& act)
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
        options_dialog_open(code);
        test_drain_events();
        ASSERT_TRUE(seen) << "the dialog did not open";
        EXPECT_FALSE(options_dialog_window());
    }

    static QWidget* item(QDialog* d, int id)
    {
        QWidget* w = dlg_item(d, id);
        EXPECT_TRUE(w) << id;
        return w;
    }
    static void click(QDialog* d, int id)
    {
        auto* b = qobject_cast<QAbstractButton*>(item(d, id));
        ASSERT_TRUE(b) << id;
        ASSERT_TRUE(b->isVisible()) << id;
        QTest::mouseClick(b, Qt::LeftButton);
    }
    static void type(QDialog* d, int id, const QString& text)
    {
        auto* edit = qobject_cast<QLineEdit*>(item(d, id));
        ASSERT_TRUE(edit);
        edit->setFocus();
        edit->selectAll();
        QTest::keyClicks(edit, text);
    }
    static QListWidget* list(QDialog* d) { return qobject_cast<QListWidget*>(item(d, 101)); }
    static QString selected_caption(QDialog* d)
    {
        QListWidget* l = list(d);
        return l && l->currentItem() ? l->currentItem()->text() : QString();
    }
    static QStringList rows(QDialog* d)
    {
        QStringList out;
        for (int i = 0; i < list(d)->count(); ++i)
            out << list(d)->item(i)->text();
        return out;
    }
    void give_server()
    {
        conn->stored_identity[5] = "127.0.0.1";
        conn->stored_identity[6] = "Yerel";
        conn->stored_identity[9] = "6667";
    }
    std::string ini(const char* section, const char* key)
    {
        std::string out;
        ini_read(section, key, "", out, 4150, main_ini_path);
        return out;
    }

    TempSettingsDir settings{"kest_options_"};
    Connection* conn = nullptr;
};

// Connect refuses an incomplete identity or a missing server before any
// page is read back: the settings, the connection and the file stay as
// they were, and the focus goes to what is missing.
TEST_F(OptionsDialogTest, ConnectWithSomethingMissingReadsNoPageBack)
{
    struct Case {
        const char* name;
        QString full_name, email, nick;
        bool server;
        int focus;  // control that gets the focus; 0 the category list
    };
    const Case cases[] = {
        {"no full name", "", "a@b.c", "kisi", true, 120},
        {"no e-mail", "Ad Soyad", "", "kisi", true, 121},
        {"no nick", "Ad Soyad", "a@b.c", "", true, 122},
        {"only spaces", "Ad Soyad", "   ", "kisi", true, 121},
        {"no server", "Ad Soyad", "a@b.c", "kisi", false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        conn_free_all();
        conn = conn_new(nullptr);
        if (c.server)
            give_server();
        probe = Probe();
        beeps = 0;
        run(kOpenAtConnection, [&](QDialog* d) {
            type(d, 120, c.full_name);
            type(d, 121, c.email);
            type(d, 122, c.nick);
            click(d, 125);
            click(d, 126);
            // A new server window is not made, and the box is cleared.
            EXPECT_EQ(dlg_checked(d, 125), 0);
            EXPECT_EQ(conn_list, conn);
            EXPECT_FALSE(conn->next);
            // Still open, nothing read back.
            EXPECT_EQ(options_dialog_window(), d);
            EXPECT_EQ(beeps, 1);
            EXPECT_EQ(probe.applies, 0);
            EXPECT_TRUE(conn->stored_identity[2].empty());
            if (c.focus)
                EXPECT_EQ(d->focusWidget(), dlg_item(d, c.focus));
            else
                EXPECT_EQ(selected_caption(d), QStringLiteral("Sunucular"));
        });
        // Cancel afterwards drops everything.
        EXPECT_EQ(probe.applies, 0);
        EXPECT_EQ(probe.cancels, 1);
        EXPECT_TRUE(conn->stored_identity[0].empty());
        EXPECT_TRUE(conn->stored_identity[2].empty());
        EXPECT_EQ(ini("kest", "nick"), "");
        EXPECT_EQ(ini("kest", "user"), "");
    }
}

// OK reads every page back and saves; Cancel leaves the connection, the
// options and the file as they were.
TEST_F(OptionsDialogTest, OkWritesAndCancelLeavesEverythingAsItWas)
{
    for (int ok : {0, 1}) {
        SCOPED_TRACE(ok ? "OK" : "Cancel");
        conn_free_all();
        conn = conn_new(nullptr);
        std::remove(main_ini_path.c_str());
        probe = Probe();
        run(kOpenAtConnection, [&](QDialog* d) {
            EXPECT_EQ(probe.fills, 1);
            type(d, 120, "Ad Soyad");
            type(d, 121, "  kisi@ornek.net fazla");
            type(d, 122, "kisi yedek");
            type(d, 123, "kisi_");
            QTest::mouseClick(qobject_cast<QAbstractButton*>(item(d, 124)), Qt::LeftButton);
            // The probe page's box: its page is shown, then ticked.
            list(d)->setCurrentRow(options_category_row_of(175));
            click(d, 175);
            click(d, ok ? 1 : 2);
        });
        if (ok) {
            EXPECT_EQ(conn->stored_identity[0], "Ad Soyad");
            EXPECT_EQ(conn->stored_identity[1], "kisi@ornek.net");
            EXPECT_EQ(conn->stored_identity[2], "kisi");
            EXPECT_EQ(conn->stored_identity[3], "kisi_");
            // Not linked: the nick in use is the new one at once.
            EXPECT_EQ(conn_own_nick(conn), "kisi");
            EXPECT_EQ(opt(OPT_INVISIBLE_MODE), 1 - opt_default(OPT_INVISIBLE_MODE));
            EXPECT_EQ(probe.applies, 1);
            EXPECT_EQ(probe.value, 1);
            EXPECT_EQ(ini("kest", "nick"), "kisi");
            EXPECT_EQ(ini("kest", "email"), "kisi@ornek.net");
            EXPECT_FALSE(ini("options", "n4").empty());
        } else {
            for (int i = 0; i < 4; ++i)
                EXPECT_TRUE(conn->stored_identity[i].empty()) << i;
            EXPECT_EQ(opt(OPT_INVISIBLE_MODE), opt_default(OPT_INVISIBLE_MODE));
            EXPECT_EQ(probe.applies, 0);
            EXPECT_EQ(probe.cancels, 1);
            EXPECT_EQ(probe.value, 0);
            EXPECT_FALSE(std::filesystem::exists(main_ini_path));
        }
    }
}

}  // namespace

namespace {

const OptionId kGroupFlags[] = {OPT_OPTIONS_GROUP_CONNECTION, OPT_OPTIONS_GROUP_IRC, OPT_OPTIONS_GROUP_SOUNDS,
                                OPT_OPTIONS_GROUP_MOUSE,      OPT_OPTIONS_GROUP_DCC, OPT_OPTIONS_GROUP_DISPLAY,
                                OPT_OPTIONS_GROUP_OTHER};

void set_groups(int open)
{
    for (OptionId id : kGroupFlags)
        opt_set(id, open);
}

// Opening at a code selects its row, opening the group the code names
// whatever its stored state and leaving the others as they were.
TEST_F(OptionsDialogTest, OpeningAtACodeSelectsItsRowAndOpensItsGroup)
{
    struct Case {
        int code;
        int stored_row;
        const char* selected;
        const char* open_group;  // the one group open afterwards (all others closed)
    };
    const Case cases[] = {
        {kOpenAtDccIgnore, 0, "Yoksay", "DCC"},
        {kOpenAtServers, 0, "Sunucular", "Bağlantı"},
        {kOpenAtLocalInfo, 0, "Yerel Bilgi", "Bağlantı"},
        {kOpenAtIdentd, 3, "Identd", "Bağlantı"},
        {kOpenAtCatcher, 0, "Yakalayıcı", "IRC"},
        {kOpenAtConnection, 5, "Bağlantı", ""},
        {kOpenAtDisplay, 2, "Görünüm", ""},
        {kOpenAtDcc, 1, "DCC", ""},
        {kOpenAtLast, 3, "Fare", ""},
        // A stored row beyond the list: the first row.
        {kOpenAtLast, 99, "Bağlantı", ""},
        {kOpenAtLast, -4, "Bağlantı", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.code) + " " + c.selected);
        set_groups(0);
        opt_set(OPT_OPTIONS_CATEGORY, c.stored_row);
        run(c.code, [&](QDialog* d) {
            EXPECT_EQ(selected_caption(d), QString::fromUtf8(c.selected));
            // Seven groups and the children of the open one.
            const int children = std::string(c.open_group) == "DCC" ? 5 : std::string(c.open_group) == "IRC" ? 5
                                 : *c.open_group ? 5 : 0;
            EXPECT_EQ(list(d)->count(), 7 + children) << rows(d).join("|").toStdString();
        });
        int open = 0;
        for (OptionId id : kGroupFlags)
            open += opt(id);
        EXPECT_EQ(open, *c.open_group ? 1 : 0);
    }
}

// Code 5 keeps a DCC child selected last time; without the speech agent
// the Sounds group has one child.
TEST_F(OptionsDialogTest, TheDccCodeKeepsADccChildAndTheSoundsGroupHasOneChild)
{
    set_groups(1);
    run(kOpenAtLast, [&](QDialog* d) {
        const QStringList all = rows(d);
        EXPECT_EQ(all.size(), 26);
        const int sounds = all.indexOf("Sesler");
        ASSERT_GE(sounds, 0);
        EXPECT_EQ(all.value(sounds + 1), QString("İstekler"));
        EXPECT_EQ(all.value(sounds + 2), QString("Fare"));
        list(d)->setCurrentRow(all.indexOf("Klasörler"));
    });
    run(kOpenAtDcc, [&](QDialog* d) { EXPECT_EQ(selected_caption(d), QString("Klasörler")); });
}

// A group opens and closes with a double-click (once), a click on its
// expander, and Left and Right; collapsing the group of the selected row
// selects the group.
TEST_F(OptionsDialogTest, GroupsOpenAndCloseByMouseAndKeys)
{
    set_groups(0);
    opt_set(OPT_OPTIONS_CATEGORY, 0);
    run(kOpenAtLast, [&](QDialog* d) {
        QListWidget* l = list(d);
        auto centre = [&](int row) { return l->visualItemRect(l->item(row)).center(); };
        auto expander = [&](int row) { return QPoint(6, centre(row).y()); };
        ASSERT_EQ(l->count(), 7);
        // A double-click on the caption: IRC opens, once.
        QTest::mouseDClick(l->viewport(), Qt::LeftButton, Qt::NoModifier, centre(1));
        EXPECT_EQ(l->count(), 12);
        EXPECT_EQ(rows(d).value(2), QString("Seçenekler"));
        EXPECT_EQ(opt(OPT_OPTIONS_GROUP_IRC), 1);
        // A double-click on the expander: the press toggles, the second
        // click does not toggle again.
        const int sounds = rows(d).indexOf("Sesler");
        QTest::mouseDClick(l->viewport(), Qt::LeftButton, Qt::NoModifier, expander(sounds));
        EXPECT_EQ(l->count(), 13);
        EXPECT_EQ(rows(d).value(sounds + 1), QString("İstekler"));
        // A single click on the expander closes it again.
        QTest::mouseClick(l->viewport(), Qt::LeftButton, Qt::NoModifier, expander(sounds));
        EXPECT_EQ(l->count(), 12);
        // A click on a child row's left edge toggles nothing.
        QTest::mouseClick(l->viewport(), Qt::LeftButton, Qt::NoModifier, expander(3));
        EXPECT_EQ(l->count(), 12);

        // Keys: Left on a child selects its group, Left on an open group
        // closes it, Right opens it, Right on a child does nothing.
        l->setCurrentRow(rows(d).indexOf("Mesajlar"));
        QTest::keyClick(l, Qt::Key_Right);
        EXPECT_EQ(l->count(), 12);
        QTest::keyClick(l, Qt::Key_Left);
        EXPECT_EQ(selected_caption(d), QString("IRC"));
        EXPECT_EQ(l->count(), 12);
        QTest::keyClick(l, Qt::Key_Left);
        EXPECT_EQ(l->count(), 7);
        QTest::keyClick(l, Qt::Key_Left);  // a closed group: nothing
        EXPECT_EQ(l->count(), 7);
        QTest::keyClick(l, Qt::Key_Right);
        EXPECT_EQ(l->count(), 12);
        EXPECT_EQ(selected_caption(d), QString("IRC"));

        // Closing the group that holds the selected row selects the group.
        l->setCurrentRow(rows(d).indexOf("Flood"));
        EXPECT_TRUE(dlg_item(d, 310));  // the page of that row is there (not built yet: its note)
        EXPECT_FALSE(dlg_item(d, 310)->isHidden());
        options_toggle_group(rows(d).indexOf("IRC"));
        EXPECT_EQ(l->count(), 7);
        EXPECT_EQ(selected_caption(d), QString("IRC"));
        EXPECT_TRUE(dlg_item(d, 310)->isHidden());
        EXPECT_FALSE(dlg_item(d, 230)->isHidden());
        // Toggling a row that is not a group does nothing.
        set_groups(0);
    });
}

// A letter selects the next row whose caption begins with it, wrapping
// round; a letter no caption begins with keeps the selection.
TEST_F(OptionsDialogTest, ALetterSelectsTheNextRowThatBeginsWithIt)
{
    set_groups(0);
    opt_set(OPT_OPTIONS_CATEGORY, 0);
    run(kOpenAtLast, [&](QDialog* d) {
        QListWidget* l = list(d);
        const struct {
            char key;
            const char* selected;
        } steps[] = {{'f', "Fare"}, {'d', "DCC"}, {'d', "Diğer"}, {'D', "DCC"}, {'q', "DCC"}, {'b', "Bağlantı"}};
        for (auto step : steps) {
            QTest::keyClick(l, step.key);
            EXPECT_EQ(selected_caption(d), QString::fromUtf8(step.selected)) << step.key;
        }
    });
}

// The row shown last, the list's groups and their states come back at the
// next opening; OK writes them into the settings file.
TEST_F(OptionsDialogTest, ThePageShownLastIsRememberedAcrossOpenings)
{
    set_groups(0);
    opt_set(OPT_OPTIONS_GROUP_MOUSE, 1);
    opt_set(OPT_OPTIONS_CATEGORY, 0);
    run(kOpenAtLast, [&](QDialog* d) {
        list(d)->setCurrentRow(rows(d).indexOf("Sürükle-Bırak"));
        click(d, 2);
    });
    run(kOpenAtLast, [&](QDialog* d) {
        EXPECT_EQ(selected_caption(d), QString("Sürükle-Bırak"));
        EXPECT_FALSE(dlg_item(d, 300)->isHidden());
        EXPECT_TRUE(dlg_item(d, 120)->isHidden());
        list(d)->setCurrentRow(rows(d).indexOf("Görünüm"));
        click(d, 1);
    });
    std::string n3;
    ini_read("options", "n3", "", n3, 4150, main_ini_path);
    ASSERT_FALSE(n3.empty());
    EXPECT_EQ(option_value(3, 27, -1), 6);
    run(kOpenAtLast, [&](QDialog* d) { EXPECT_EQ(selected_caption(d), QString("Görünüm")); });
}

// The menu commands, Alt+O and the toolbar reach the dialog through the
// frame's command registry, each at its page; a second request while the
// dialog is open is refused.
TEST_F(OptionsDialogTest, MenuCommandsOpenTheDialogAtTheirPage)
{
    set_groups(0);
    opt_set(OPT_OPTIONS_CATEGORY, 3);
    const struct {
        int id;
        const char* selected;
    } cases[] = {{104, "Sunucular"}, {130, "Görünüm"}, {153, "DCC"}, {159, "DCC"}};  // 159: the row shown last
    for (auto c : cases) {
        SCOPED_TRACE(c.id);
        FrameMenuCommandFn fn = frame_menu_command(c.id);
        ASSERT_TRUE(fn);
        bool seen = false;
        QTimer::singleShot(0, [&] {
            QDialog* d = options_dialog_window();
            if (!d)
                return;
            seen = true;
            EXPECT_EQ(selected_caption(d), QString::fromUtf8(c.selected));
            // Asked again while open: refused, the same dialog stays.
            EXPECT_EQ(fn(c.id, 0), 0);
            EXPECT_EQ(options_dialog_window(), d);
            click(d, 2);
        });
        EXPECT_EQ(fn(c.id, 0), 1);
        EXPECT_TRUE(seen);
    }
}

// The Connection page: Select is never shown; the page's buttons keep
// their mnemonics only while the page is shown.
TEST_F(OptionsDialogTest, TheConnectionPageShowsItsControlsWithTheirMnemonics)
{
    give_server();
    conn->stored_identity[0] = "Ad";
    conn->stored_identity[2] = "kisi";
    run(kOpenAtConnection, [&](QDialog* d) {
        EXPECT_EQ(dlg_text(d, 120), "Ad");
        EXPECT_EQ(dlg_text(d, 122), "kisi");
        EXPECT_EQ(dlg_text(d, 129), "Yerel");
        EXPECT_FALSE(dlg_item(d, 126)->isHidden());
        EXPECT_TRUE(dlg_item(d, 127)->isHidden());
        EXPECT_EQ(dlg_text(d, 126), "&Bağlan");
        // The first empty identity field has the focus.
        EXPECT_EQ(d->focusWidget(), dlg_item(d, 121));
        // Each label's mnemonic leads to its field.
        for (auto [label, field] : {std::pair{130, 120}, {131, 121}, {132, 122}, {133, 123}}) {
            auto* l = qobject_cast<QLabel*>(item(d, label));
            ASSERT_TRUE(l);
            EXPECT_EQ(l->buddy(), dlg_item(d, field)) << label;
            EXPECT_TRUE(l->text().contains('&')) << label;
        }
        list(d)->setCurrentRow(options_category_row_of(175));
        EXPECT_TRUE(dlg_item(d, 126)->isHidden());
        EXPECT_EQ(dlg_text(d, 126), "\x01" "Bağlan");
        EXPECT_EQ(dlg_text(d, 175), "&Deneme kutusu");
        // Typed text keeps its ampersand while hidden.
        EXPECT_EQ(dlg_text(d, 120), "Ad");
    });
}

// Connect with everything there reads the pages back, saves, and starts
// the connect on the edited connection.
TEST_F(OptionsDialogTest, ConnectWithEverythingThereAppliesAndSaves)
{
    give_server();
    run(kOpenAtConnection, [&](QDialog* d) {
        type(d, 120, "Ad Soyad");
        type(d, 121, "kisi@ornek.net");
        type(d, 122, "kisi");
        click(d, 126);
        EXPECT_FALSE(d->isVisible());
    });
    EXPECT_EQ(probe.applies, 1);
    EXPECT_EQ(probe.cancels, 0);
    EXPECT_EQ(conn->stored_identity[2], "kisi");
    EXPECT_EQ(ini("kest", "nick"), "kisi");
    EXPECT_EQ(ini("kest", "user"), "Ad Soyad");
    EXPECT_EQ(beeps, 0);
    // The connect is under way (the link itself is the whole-program test's).
    EXPECT_TRUE(conn->connecting || conn->connected || conn->connect_timer_id != 0 || conn->lookup_handle != 0);
}

// A new server window that cannot be made: the error sound, the dialog
// stays open and nothing is read back.
TEST_F(OptionsDialogTest, ANewServerWindowThatCannotBeMadeKeepsTheDialogOpen)
{
    give_server();
    conn_status_window_open = [](Connection*) -> QWidget* { return nullptr; };
    run(kOpenAtConnection, [&](QDialog* d) {
        type(d, 120, "Ad Soyad");
        type(d, 121, "kisi@ornek.net");
        type(d, 122, "kisi");
        click(d, 125);
        for (int command : {126, 1}) {
            beeps = 0;
            click(d, command);
            EXPECT_TRUE(d->isVisible()) << command;
            EXPECT_EQ(beeps, 1) << command;
            EXPECT_EQ(probe.applies, 0) << command;
            EXPECT_TRUE(conn->stored_identity[2].empty()) << command;
            EXPECT_EQ(conn_list, conn);
            EXPECT_FALSE(conn->next);
        }
    });
}

}  // namespace

// The options dialog run modally as the program opens it: the test acts on
// the open dialog with keys and clicks on its real controls and then reads
// the connection, the option lines and the settings file. A probe page
// (a check box on the Options row of the Connection group) counts how often
// it is filled, read back and cancelled.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
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
            click(d, 126);
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

// The events display dialog, driven offscreen with the mouse: opened from a
// channel's system menu it stores that channel's choices (a CTCP request to
// the channel then shows where the choice says); opened without a channel
// it stores the global choices; Cancel changes nothing.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "model/connection.h"
#include "app/events_dialog.h"
#include "app/subsystems.h"
#include "app/system_menu.h"
#include "model/window_record.h"
#include "core/string_list.h"
#include "irc/dispatch/dispatcher.h"
#include "irc/dispatch/membership.h"
#include "support/hook_guard.h"
#include "support/window_fixture.h"

namespace {

class EventsDialogTest : public ::testing::Test {
protected:
    HookGuard hooks_;
    SavedValues<MembershipSettings> saved_{membership_settings};

    void SetUp() override
    {
        window_test_reset();
        app_install_subsystems();
        membership_settings = MembershipSettings();
        conn = window_test_conn();
        ASSERT_TRUE(conn);
        chan = window_test_open("#kest", kWinChannel, 0, conn);
        other = window_test_open("#other", kWinChannel, 0, conn);
        ASSERT_TRUE(chan && other);
        window_test_pump();
    }
    void TearDown() override { window_test_reset(); }

    // Acts on the events dialog once it is shown; a dialog the action leaves
    // open is cancelled, so a fault shows as a wrong value, not a hang.
    static void when_shown(std::function<void(QDialog*)> act)
    {
        QTimer::singleShot(10, [act] {
            auto* d = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            if (!d || d->objectName() != "events_dialog") {
                when_shown(act);
                return;
            }
            act(d);
            if (d->isVisible())
                d->reject();
        });
    }
    static void choose(QDialog* d, const char* combo, int value)
    {
        auto* c = d->findChild<QComboBox*>(combo);
        ASSERT_TRUE(c) << combo;
        const int at = c->findData(value);
        ASSERT_GE(at, 0) << combo << " " << value;
        c->setCurrentIndex(at);
    }
    static std::vector<std::string> entries(QDialog* d, const char* combo)
    {
        std::vector<std::string> out;
        if (auto* c = d->findChild<QComboBox*>(combo))
            for (int i = 0; i < c->count(); ++i)
                out.push_back(c->itemText(i).toStdString());
        return out;
    }
    static int current(QDialog* d, const char* combo)
    {
        auto* c = d->findChild<QComboBox*>(combo);
        return c ? c->currentData().toInt() : -1;
    }
    static void click(QDialog* d, const char* button)
    {
        auto* b = d->findChild<QPushButton*>(button);
        ASSERT_TRUE(b) << button;
        QTest::mouseClick(b, Qt::LeftButton);
    }
    // Chooses the channel's "events" entry of its system menu.
    void open_from_menu(WindowRecord* rec)
    {
        win_build_system_menu(rec);
        ASSERT_TRUE(rec->system_menu);
        QAction* entry = nullptr;
        for (QAction* a : rec->system_menu->actions())
            if (win_sysmenu_action_id(a) == 285)
                entry = a;
        ASSERT_TRUE(entry);
        entry->trigger();
        window_test_pump();
    }
    static std::vector<std::string> texts(const WindowRecord* rec)
    {
        std::vector<std::string> out;
        for (const StringNode* n = rec->lines; n; n = n->next)
            if (!n->text.empty() && n->text != "-")
                out.push_back(n->text);
        return out;
    }

    Connection* conn = nullptr;
    WindowRecord* chan = nullptr;
    WindowRecord* other = nullptr;
};

TEST_F(EventsDialogTest, TheChannelsChoicesAreEditedFromItsSystemMenu)
{
    bool shown = false;
    when_shown([&shown](QDialog* d) {
        shown = true;
        EXPECT_EQ(entries(d, "ctcps"), (std::vector<std::string>{"Varsayılan", "Kanalda", "Durum penceresinde"}));
        EXPECT_EQ(entries(d, "quits"),
                  (std::vector<std::string>{"Varsayılan", "Kanalda", "Durum penceresinde", "İkisinde de", "Gizli"}));
        EXPECT_EQ(entries(d, "nicks"), (std::vector<std::string>{"Varsayılan", "Kanalda", "Gizli"}));
        EXPECT_EQ(current(d, "ctcps"), 0);
        choose(d, "ctcps", 2);
        choose(d, "joins", 4);
        click(d, "ok");
    });
    open_from_menu(chan);
    ASSERT_TRUE(shown);
    EXPECT_EQ(chan_membership(chan)->show_ctcps_in, 2);
    EXPECT_EQ(chan_membership(chan)->show_joins_in, 4);
    EXPECT_EQ(chan_membership(chan)->show_parts_in, 0);
    // Another channel and the global choices stay as they were.
    EXPECT_EQ(chan_membership(other)->show_ctcps_in, 0);
    EXPECT_EQ(membership_settings.ctcps_in, 0);

    // A CTCP request to the channel now shows in the status window.
    conn->connected = 1;
    strlist_free(&chan->lines);
    WindowRecord* status = win_record_of(conn->status_window.data());
    ASSERT_TRUE(status);
    strlist_free(&status->lines);
    irc_dispatch_line(":peer!u@h PRIVMSG #kest :\x01PING 42\x01", conn);
    irc_dispatch_line(":peer!u@h PRIVMSG #other :\x01VERSION\x01", conn);
    window_test_pump();
    conn->connected = 0;
    const std::vector<std::string> in_status = texts(status);
    EXPECT_NE(std::find(in_status.begin(), in_status.end(), "[peer:#kest PING]"), in_status.end());
    EXPECT_TRUE(texts(chan).empty());
    const std::vector<std::string> in_other = texts(other);
    EXPECT_NE(std::find(in_other.begin(), in_other.end(), "[peer:#other VERSION]"), in_other.end());

    // Opened again it shows the stored choices; Cancel keeps them.
    when_shown([](QDialog* d) {
        EXPECT_EQ(current(d, "ctcps"), 2);
        EXPECT_EQ(current(d, "joins"), 4);
        choose(d, "ctcps", 1);
        click(d, "cancel");
    });
    open_from_menu(chan);
    EXPECT_EQ(chan_membership(chan)->show_ctcps_in, 2);
}

TEST_F(EventsDialogTest, WithoutAChannelTheGlobalChoicesAreEdited)
{
    when_shown([](QDialog* d) {
        // No "default" entry for the global choices.
        EXPECT_EQ(entries(d, "ctcps"), (std::vector<std::string>{"Kanalda", "Durum penceresinde"}));
        EXPECT_EQ(entries(d, "nicks"), (std::vector<std::string>{"Kanalda", "Gizli"}));
        choose(d, "ctcps", 1);
        choose(d, "quits", 3);
        choose(d, "nicks", 2);
        click(d, "ok");
    });
    EXPECT_EQ(events_display_dialog(nullptr, nullptr), 1);
    EXPECT_EQ(membership_settings.ctcps_in, 1);
    EXPECT_EQ(membership_settings.quits_in, 3);
    EXPECT_EQ(membership_settings.nicks_in, 2);
    EXPECT_EQ(membership_settings.joins_in, 0);
    EXPECT_EQ(chan_membership(chan)->show_ctcps_in, 0);

    when_shown([](QDialog* d) {
        EXPECT_EQ(current(d, "quits"), 3);
        choose(d, "quits", 0);
        d->close();
    });
    EXPECT_EQ(events_display_dialog(nullptr, nullptr), 0);
    EXPECT_EQ(membership_settings.quits_in, 3);
}

} // namespace

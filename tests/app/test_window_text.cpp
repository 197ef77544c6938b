// Working with a window's text with the program's subsystems joined as at
// start: function keys pressed in the real editbox run their aliases, and
// the buffer commands and finding act on the windows the user sees.
#include <gtest/gtest.h>

#include <QApplication>
#include <QListWidget>
#include <QTest>

#include <filesystem>
#include <string>
#include <vector>

#include "app/child_widgets.h"
#include "app/connection.h"
#include "app/subsystems.h"
#include "app/window_record.h"
#include "display/nick_list.h"
#include "platform/platform_utils.h"
#include "script/exec/alias_lookup.h"
#include "script/exec/script_errors.h"
#include "script/exec/script_hooks.h"
#include "script/exec/script_types.h"
#define KEST_TEST_WIDGETS
#include "support/test_support.h"
#include "support/hook_guard.h"
#include "support/window_fixture.h"

namespace {

std::vector<std::string> recorded;  // what the scripts' "rec" command was given
int beeps = 0;

int cmd_rec(CommandCall& call)
{
    recorded.emplace_back(call.rest());
    return 1;
}

class WindowTextTest : public ::testing::Test {
protected:
    HookGuard hooks;

    void SetUp() override
    {
        ASSERT_TRUE(settings.made());
        window_test_reset();
        app_install_subsystems();
        script_register_command("rec", cmd_rec);
        beep_play_hook = [](int) { ++beeps; };
        recorded.clear();
        beeps = 0;
        script_error_clear();
        conn = window_test_conn();
        ASSERT_TRUE(conn);
        conn->live_identity[2] = "kestme";
        conn->connected = 1;
        conn->socket = 1000;
        window_test_pump();
    }

    void TearDown() override
    {
        alias_clear_all();
        if (conn_is_live(conn))
            conn->socket = -1;
        window_test_reset();
    }

    WindowRecord* open(const std::string& name, int type, int subtype = 0)
    {
        WindowRecord* rec = window_test_open(name, type, subtype, conn);
        window_test_pump();
        return rec;
    }

    void press(WindowRecord* rec, Qt::Key key, Qt::KeyboardModifiers mods = Qt::NoModifier)
    {
        rec->editbox.get()->setFocus();
        QTest::keyClick(rec->editbox.get(), key, mods);
        window_test_pump();
    }

    TempSettingsDir settings{"kest_wtext_"};
    Connection* conn = nullptr;
};

// ---- Function keys ----

TEST_F(WindowTextTest, FunctionKeysRunTheAliasOfTheirExactForm)
{
    alias_add("F5 rec plain $1-");
    alias_add("sF5 rec shift $1-");
    alias_add("cF2 rec ctrl");
    alias_add("aF12 rec alt");
    WindowRecord* status = win_record_of(conn->status_window.data());
    ASSERT_TRUE(status);
    struct Case {
        const char* what;
        Qt::Key key;
        Qt::KeyboardModifiers mods;
        const char* ran;   // null: nothing runs and the error beep sounds
    } const cases[] = {
        {"F5", Qt::Key_F5, Qt::NoModifier, "plain"},
        {"Shift+F5 takes the Shift form", Qt::Key_F5, Qt::ShiftModifier, "shift"},
        {"Shift+Ctrl+F5 takes the Shift form too", Qt::Key_F5,
         Qt::ShiftModifier | Qt::ControlModifier, "shift"},
        {"Ctrl+F5 has no alias: the plain one does not stand in", Qt::Key_F5,
         Qt::ControlModifier, nullptr},
        {"Ctrl+F2", Qt::Key_F2, Qt::ControlModifier, "ctrl"},
        {"F2 alone has no alias", Qt::Key_F2, Qt::NoModifier, nullptr},
        {"Alt+F12", Qt::Key_F12, Qt::AltModifier, "alt"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        recorded.clear();
        beeps = 0;
        press(status, c.key, c.mods);
        if (c.ran) {
            ASSERT_EQ(recorded.size(), 1u);
            EXPECT_EQ(recorded[0], c.ran);
            EXPECT_EQ(beeps, 0);
        } else {
            EXPECT_TRUE(recorded.empty());
            EXPECT_EQ(beeps, 1);
        }
    }
    // Pressed again, it runs again.
    recorded.clear();
    press(status, Qt::Key_F5);
    press(status, Qt::Key_F5);
    EXPECT_EQ(recorded, (std::vector<std::string>{"plain", "plain"}));
}

TEST_F(WindowTextTest, FunctionKeyParametersFollowTheWindow)
{
    alias_add("F2 rec got $1-");
    WindowRecord* chan = open("#keys", kWinChannel);
    ASSERT_TRUE(chan);
    for (const char* nick : {"alice", "bob", "carol", "dave"})
        nicklist_update(nick, chan, kNickAddOrChange, 1);
    const int op_bit = nicklist_prefix_bit(conn, '@');
    ASSERT_NE(op_bit, 0);
    nicklist_update("bob", chan, kNickAddOrChange, op_bit | 1);
    window_test_pump();
    ListBox* list = chan->listbox.get();
    ASSERT_TRUE(list);
    ASSERT_EQ(list->count(), 4);
    // Selected: three nicks, one of them with a prefix shown.
    for (int i = 0; i < list->count(); ++i) {
        const std::string t = list->item(i)->text().toStdString();
        list->item(i)->setSelected(t.find("dave") == std::string::npos);
    }
    press(chan, Qt::Key_F2);
    ASSERT_EQ(recorded.size(), 1u);
    std::string got = recorded[0];
    for (const char* nick : {"alice", "bob", "carol"})
        EXPECT_NE(got.find(nick), std::string::npos) << got;
    EXPECT_EQ(got.find("dave"), std::string::npos) << got;
    EXPECT_EQ(got.find('@'), std::string::npos) << got;

    recorded.clear();
    WindowRecord* query = open("bob", kWinQuery, kQueryPrivate);
    ASSERT_TRUE(query);
    press(query, Qt::Key_F2);
    EXPECT_EQ(recorded, (std::vector<std::string>{"got bob"}));
}

}  // namespace

// The subsystems joined at start: a line typed into a window's editbox runs
// through the script interpreter and its output lands in the windows' line
// buffers; plain text goes to the window's target.
#include <gtest/gtest.h>

#include <QTest>
#include <QWidget>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

#include "app/child_window.h"
#include "model/connection.h"
#include "app/frame_proc.h"
#include "app/startup.h"
#include "app/subsystems.h"
#include "app/window_open.h"
#include "model/window_record.h"
#include "commands/output_commands.h"
#include "display/editbox.h"
#include "model/line_buffer.h"
#include "irc/link/close.h"
#include "irc/lists/address_list.h"
#include "platform/platform_utils.h"
#include "script/exec/script_hooks.h"
#include "support/hook_guard.h"
#include "support/window_fixture.h"
#include "support/test_wire.h"

namespace {

std::vector<std::string> buffer_texts(const WindowRecord* rec)
{
    std::vector<std::string> out;
    for (const StringNode* n = rec ? rec->lines : nullptr; n; n = n->next)
        out.push_back(n->text);
    return out;
}

bool buffer_has(const WindowRecord* rec, const std::string& text)
{
    for (const std::string& t : buffer_texts(rec))
        if (t == text || (t.size() > text.size() && t.compare(t.size() - text.size(), text.size(), text) == 0 &&
                          t[t.size() - text.size() - 1] == ' '))
            return true;
    return false;
}

class SubsystemsTest : public ::testing::Test {
    HookGuard hooks_;  // every seam back as it was when the test ends
protected:
    void SetUp() override
    {
        window_test_reset();
        app_install_subsystems();
        conn = window_test_conn();
        ASSERT_TRUE(conn);
        channel = window_test_open("#kest", kWinChannel, 0, conn);
        ASSERT_TRUE(channel);
        ASSERT_TRUE(channel->editbox.get());
        window_test_pump();
    }

    void TearDown() override
    {
        window_test_reset();
    }

    int submit(const std::string& text, int key_flags = 0)
    {
        channel->editbox->setTextBytes(text);
        return editbox_submit(channel, channel->editbox.get(), kSubmitNormal | kSubmitAlways,
                              key_flags);
    }

    // The lines sent to the server so far.
    const std::vector<std::string>& sent_lines() { return wire.lines(); }

    TestWire wire;
    Connection* conn = nullptr;
    WindowRecord* channel = nullptr;
};

TEST_F(SubsystemsTest, TypedLinesRunThroughTheInterpreter)
{
    const struct {
        const char* typed;
        const char* printed;
    } cases[] = {
        {"//echo -a $calc(1+2*3)", "7"},
        {"//echo -a $calc(10/3)", "3.333333"},
        {"//echo -a $gettok(a b c,2,32)", "b"},
        {"/echo -a $calc(1+2)", "$calc(1+2)"},   // a single "/" does not evaluate
        {"//set %subsys_v 5 + 3 | echo -a %subsys_v", "8"},
        {"//echo -a $calc(2^-1) $+ $gettok(x.y,0,46)", "0.52"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed);
        WindowRecord* active = win_record_of(win_active);
        ASSERT_TRUE(active);
        const std::size_t before = buffer_texts(active).size();
        EXPECT_EQ(submit(c.typed), 1);
        window_test_pump();
        EXPECT_GT(buffer_texts(active).size(), before);
        EXPECT_TRUE(buffer_has(active, c.printed)) << ::testing::PrintToString(buffer_texts(active));
        EXPECT_TRUE(sent_lines().empty());
    }
}

TEST_F(SubsystemsTest, PlainTextGoesToTheTarget)
{
    conn->connected = 1;
    ASSERT_TRUE(wire.ok());
    wire.attach(conn);
    const struct {
        const char* typed;
        int key_flags;
        const char* sent;
    } cases[] = {
        {"hello all", 0, "PRIVMSG #kest :hello all\n"},
        {"#a | quit", 0, "PRIVMSG #kest :#a | quit\n"},
        {"/me waves", kKeyFlagCtrl, "PRIVMSG #kest :/me waves\n"},   // Ctrl+Enter: plain text
        {"$me", 0, "PRIVMSG #kest :$me\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed);
        wire.clear();
        submit(c.typed, c.key_flags);
        ASSERT_EQ(sent_lines().size(), 1u);
        EXPECT_EQ(sent_lines()[0], c.sent);
    }
    conn->socket = -1;
}

// A built-in word or identifier whose feature is not built yet, typed into
// the editbox: the window says so and nothing goes to the server; a word
// that is not built-in still goes out.
TEST_F(SubsystemsTest, TypedBuiltInsThatAreNotBuiltSayNotAvailableYet)
{
    // An unknown word goes to the server only while connected.
    conn->connected = 1;
    ASSERT_TRUE(wire.ok());
    wire.attach(conn);
    const struct {
        const char* typed;
        const char* printed;   // null: nothing printed
        const char* sent;      // null: nothing sent
    } cases[] = {
        // Built: without a local address the file server cannot offer.
        {"/fserve nick", "* /fserve: Yerel Sunucu Çözülemiyor", nullptr},
        // Built without a recogniser or a speech character: their own answers.
        {"/vcmd sleep", "* Sesli komutlar pasif", nullptr},
        // Built: an object that cannot be made, quietly.
        {"/comopen obj Thing", nullptr, nullptr},
        {"/GPLAY tune.wav", "* Ajan 'tune.wav' bulunamadı", nullptr},
        // Built now: its own handler answers, and nothing goes out either.
        {"/DRAWTEXT @pic 1 x", "* /drawtext: Geçersiz pencere", nullptr},
        {"//echo -a before $agentver after", "before 0 after", nullptr},
        {"//echo -a before $ebeeps after", "before $true after", nullptr},
        {"/zzztop a b", nullptr, "ZZZTOP a b"},
    };
    for (int round = 0; round < 2; ++round) {
        for (const auto& c : cases) {
            SCOPED_TRACE(c.typed);
            WindowRecord* active = win_record_of(win_active);
            ASSERT_TRUE(active);
            ASSERT_TRUE(active->editbox.get());
            wire.clear();
            const std::size_t before = buffer_texts(active).size();
            QTest::keyClicks(active->editbox.get(), c.typed);
            QTest::keyClick(active->editbox.get(), Qt::Key_Return);
            window_test_pump();
            const std::vector<std::string> texts = buffer_texts(active);
            const std::vector<std::string> added(texts.begin() + static_cast<long>(before), texts.end());
            if (c.printed) {
                ASSERT_EQ(added.size(), 1u) << ::testing::PrintToString(added);
                EXPECT_TRUE(buffer_has(active, c.printed)) << added[0];
            } else {
                EXPECT_TRUE(added.empty()) << ::testing::PrintToString(added);
            }
            if (c.sent) {
                ASSERT_EQ(sent_lines().size(), 1u);
                EXPECT_EQ(sent_lines()[0].substr(0, sent_lines()[0].find_last_not_of("\r\n") + 1), c.sent);
            } else {
                EXPECT_TRUE(sent_lines().empty()) << sent_lines()[0];
            }
        }
    }
    conn->socket = -1;
}

// CTCP and ignore commands typed into the editbox reach their handlers: the
// request goes out, the list changes, and the lines say so in the window.
TEST_F(SubsystemsTest, TypedCtcpAndIgnoreCommandsReachTheirHandlers)
{
    conn->connected = 1;
    ASSERT_TRUE(wire.ok());
    wire.attach(conn);
    WindowRecord* active = win_record_of(win_active);
    ASSERT_TRUE(active && active->editbox.get());
    const struct {
        const char* typed;
        const char* sent;     // null: nothing sent
        const char* printed;  // a line the window shows afterwards
    } cases[] = {
        {"/ctcp peer time", "PRIVMSG peer :\x01TIME\x01", "-> [peer] TIME"},
        {"/ignore -w bob", nullptr, "* bob!*@* Rededilenler (Ignore) Listesine Eklendi"},
        {"/ignore -l", nullptr, "bob!*@* (pcntdik)"},
        {"/ignore -rw bob", nullptr, "* bob!*@* Rededilenler (Ignore) Listesinden Çıkarıldı"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed);
        wire.clear();
        QTest::keyClicks(active->editbox.get(), c.typed);
        QTest::keyClick(active->editbox.get(), Qt::Key_Return);
        window_test_pump();
        if (c.sent) {
            ASSERT_EQ(sent_lines().size(), 1u);
            EXPECT_EQ(sent_lines()[0].substr(0, sent_lines()[0].find_last_not_of("\r\n") + 1), c.sent);
        } else {
            EXPECT_TRUE(sent_lines().empty()) << sent_lines()[0];
        }
        EXPECT_TRUE(buffer_has(active, c.printed)) << ::testing::PrintToString(buffer_texts(active));
    }
    conn->socket = -1;
}

}  // namespace

// Installing the subsystems again (as a second start of the interpreter or a
// test does) must not add a listener twice: every connection freed would
// then free its lists twice, and every link stage would run twice.
TEST_F(SubsystemsTest, InstallingAgainAddsNoListenerTwice)
{
    struct Count {
        const char* name;
        std::size_t (*size)();
    };
    const Count counts[] = {
        {"irc_link_stage", [] { return irc_link_stage.size(); }},
        {"conn_created", [] { return conn_created.size(); }},
        {"conn_freed", [] { return conn_freed.size(); }},
        {"win_ids_taken", [] { return win_ids_taken.size(); }},
        {"timer_ids_taken", [] { return timer_ids_taken.size(); }},
        {"ial_changed", [] { return ial_changed.size(); }},
        {"listbox_made", [] { return listbox_made.size(); }},
    };
    std::vector<std::size_t> before;
    for (const Count& c : counts) {
        before.push_back(c.size());
        EXPECT_GT(c.size(), 0u) << c.name << " has no listener after start-up";
    }
    app_install_subsystems();
    for (std::size_t i = 0; i < before.size(); ++i)
        EXPECT_EQ(counts[i].size(), before[i]) << counts[i].name;
}

// A remote script loaded by a typed /load hears a query window closing
// (CLOSE, before and after the default) and only that window's close.
TEST_F(SubsystemsTest, ClosingAQueryRaisesCloseForTheScripts)
{
    char dir_template[] = "/tmp/kest_close_XXXXXX";
    ASSERT_TRUE(::mkdtemp(dir_template));
    const std::string path = std::string(dir_template) + "/close.kst";
    {
        FILE* f = std::fopen(path.c_str(), "w");
        ASSERT_TRUE(f);
        std::fputs("on *:CLOSE:?:echo -s closed $nick\n", f);
        std::fclose(f);
    }
    EXPECT_EQ(submit("/load -rs " + path), 1);
    window_test_pump();

    WindowRecord* status = win_record_of(conn->status_window.data());
    ASSERT_TRUE(status);
    WindowRecord* friend_query = window_test_open("friend", kWinQuery, 1, conn);
    WindowRecord* other_query = window_test_open("other", kWinQuery, 1, conn);
    ASSERT_TRUE(friend_query);
    ASSERT_TRUE(other_query);
    win_close_request(friend_query->hwnd.get());
    window_test_pump();

    int closed_friend = 0;
    for (const std::string& t : buffer_texts(status)) {
        if (t.find("closed friend") != std::string::npos)
            ++closed_friend;
        EXPECT_EQ(t.find("closed other"), std::string::npos) << t;
    }
    // Raised before and after the default; a handler without "^" runs in the
    // second phase only: once.
    EXPECT_EQ(closed_friend, 1) << ::testing::PrintToString(buffer_texts(status));

    submit("/unload -rs " + path);
    std::remove(path.c_str());
    ::rmdir(dir_template);
}

// Channel windows across a lost link: the parted state when the link
// closes, the left-over windows at the next connect, the rejoin at logon
// (batched join lines, keys, other networks) and a refused channel that
// closes a window still waiting for its join. Real (offscreen) channel
// windows opened by our own JOIN lines.
#include <gtest/gtest.h>
#include "app/subsystems.h"

#include <QWidget>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "model/connection.h"
#include "app/window_open.h"
#include "model/window_record.h"
#include "core/options.h"
#include "model/colors.h"
#include "model/nick_list.h"
#include "irc/dispatch/channel_rejoin.h"
#include "irc/dispatch/dispatcher.h"
#include "irc/dispatch/membership.h"
#include "irc/dispatch/outgoing_notes.h"
#include "irc/dispatch/server_commands.h"
#include "irc/link/close.h"
#include "irc/lists/address_list.h"
#include "irc/numerics/isupport.h"
#include "irc/numerics/logon.h"
#include "irc/numerics/numerics.h"
#define KEST_TEST_WIDGETS
#include "support/test_support.h"
#include "support/hook_guard.h"
#include "commands/channel_commands.h"
#include "printed_lines.h"
#include "script/exec/script_types.h"
#include "support/test_wire.h"

namespace {



QPointer<QMainWindow> frame;

class ChannelRejoin : public ::testing::Test {
    HookGuard hooks_;  // every seam back as it was when the test ends
protected:
    void SetUp() override
    {
        test_frame_mdi(frame);
        options_reset();
        irc_membership_install();
        app_wire_irc_membership();
        irc_rejoin_install();
        saved_events = event_switch_events;
        // The logon sequence's join lines run through the real /join.
        script_engine_init();
        channel_commands_register();
        event_switch_events = 0;
        opt_set(OPT_INVISIBLE_MODE, 0);
        opt_set(OPT_PERFORM_ENABLED, 0);
        wire.clear();
        printed.clear();
        conn = conn_new(nullptr);
        ASSERT_TRUE(wire.ok());
        wire.attach(conn);
        conn->live_identity[2] = "me";
        conn->live_identity[3] = "me2";
        conn->server_name = "irc.test";
        conn->connected = 1;
        conn->registered = 1;
        irc_state_new_link(conn);
        conn_set_isupport_defaults(conn);
        conn->chan_types = "#&+";
        ial_init(conn);
    }
    void TearDown() override
    {
        for (WindowRecord* w = win_list; w;) {
            WindowRecord* next = w->next;
            if (w->conn == conn && w->hwnd.get()) win_close(w->hwnd.get());
            w = next;
        }
        ial_clear(1, conn);
        conn->connected = 0;
        conn->socket = -1;
        conn_free(conn);
        irc_rejoin_uninstall();
        event_switch_events = saved_events;
        options_reset();
    }

    // A new connection and no windows, between the cases of a table.
    void fresh()
    {
        TearDown();
        SetUp();
    }
    void feed(const std::string& line) { irc_dispatch_line(line, conn); }
    WindowRecord* chan(const std::string& name)
    {
        WindowRecord* w = win_find_by_name(name, conn);
        return w && w->type == kWinChannel && w->hwnd.get() ? w : nullptr;
    }
    // Our own JOIN opens the window; the others join after us.
    WindowRecord* join(const std::string& channel, std::initializer_list<const char*> others = {})
    {
        const std::string me = membership_own_nick(conn);
        feed(":" + me + "!u@h JOIN :" + channel);
        for (const char* nick : others) feed(std::string(":") + nick + "!" + nick + "@host.x JOIN :" + channel);
        return chan(channel);
    }
    // The link closes after it was up: the stages as the close runs them.
    void lose_link()
    {
        conn_reset_stage(2, conn);
        conn_reset_stage(3, conn);
        conn->connected = 0;
        conn->registered = 0;
    }
    // The next link registers on `network` and its logon sequence runs.
    void log_on(const std::string& network)
    {
        conn_reset_stage(0, conn);
        conn->connected = 1;
        conn->connecting = 0;
        conn->registered = 1;
        conn->network = network;
        wire.clear();
        printed.clear();
        conn_logon_sequence(conn);
    }
    // The JOIN lines sent since the last log_on.
    std::vector<std::string> joins_sent()
    {
        std::vector<std::string> out;
        for (const std::string& l : sent())
            if (l.rfind("JOIN ", 0) == 0) out.push_back(l);
        return out;
    }
    bool shown(const std::string& window, const std::string& text) const
    {
        for (const PrintedLine& l : printed.lines)
            if (!l.separator && l.window == window && l.text == text) return true;
        return false;
    }
    // "window|text" of every line shown since the last clear.
    std::vector<std::string> shown_lines() const
    {
        std::vector<std::string> out;
        for (const PrintedLine& l : printed.lines)
            if (!l.separator) out.push_back(l.window + "|" + l.text);
        return out;
    }

    PrintedLines printed;

    // The lines sent to the server so far.
    const std::vector<std::string>& sent() { return wire.lines(); }

    TestWire wire;
    Connection* conn = nullptr;
    int saved_events = 0;
};

const char* const kLost = "* Bağlantınız Kesildi";
const char* const kTrying = "* Tekrar Girilmeye Çalışılıyor...";

// ---- The link closes ----

TEST_F(ChannelRejoin, ALostLinkLeavesEveryChannelWindowPartedAndWaiting)
{
    struct Case {
        const char* name;
        int nick_index;  // our nick: 0 the main one, 1 the alternative
    };
    const Case cases[] = {{"main nick", 0}, {"alternative nick", 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        conn->nick_index = c.nick_index;
        conn->connected = 1;
        conn->registered = 1;
        WindowRecord* a = join("#a", {"alice", "bob"});
        ASSERT_NE(a, nullptr);
        feed(":irc.test 332 " + membership_own_nick(conn) + " #a :the topic");
        a->chan_modes = "+nt";
        WindowRecord* kicked = join("#kicked", {"carol"});
        ASSERT_NE(kicked, nullptr);
        // Kicked with the window kept: off the channel before the link went.
        kicked->chan_left = 1;
        for (const char* n : {"carol", "me", "me2"}) nicklist_update(n, kicked, kNickRemove, 0);
        IalResult addr;
        ASSERT_NE(ial_lookup("alice", addr, conn), nullptr);
        const int a_number = a->number;
        const int kicked_number = kicked->number;

        lose_link();

        ASSERT_EQ(win_record_by_id(a_number), a);
        EXPECT_EQ(nicklist_count(a), 0);
        EXPECT_EQ(a->nick_list, nullptr);
        EXPECT_TRUE(a->topic.empty());
        EXPECT_TRUE(a->chan_modes.empty());
        EXPECT_EQ(a->chan_left, 1);
        EXPECT_EQ(a->chan_state, 2);
        const std::string caption = a->hwnd.get()->windowTitle().toStdString();
        EXPECT_NE(caption.find("[0]"), std::string::npos) << caption;
        EXPECT_EQ(caption.find("the topic"), std::string::npos) << caption;
        EXPECT_EQ(ial_lookup("alice", addr, conn), nullptr) << "the members stay in the address list";
        // Shown where we were a member, and only there.
        EXPECT_TRUE(shown("#a", kLost));
        EXPECT_FALSE(shown("#kicked", kLost));
        int lost_lines = 0;
        for (const PrintedLine& l : printed.lines) {
            if (l.text != kLost) continue;
            ++lost_lines;
            EXPECT_EQ(l.colour, kColorInfoText);
        }
        EXPECT_EQ(lost_lines, 1);
        // The kicked window was not lost with the link: it does not wait.
        ASSERT_EQ(win_record_by_id(kicked_number), kicked);
        EXPECT_EQ(kicked->chan_left, 1);
        EXPECT_EQ(kicked->chan_state, 0);

        fresh();
    }
}

TEST_F(ChannelRejoin, ANewConnectClosesLeftOverWindowsUnlessTheyAreKept)
{
    struct Case {
        const char* name;
        int keep_open;
        int rejoin;
        bool stays;
    };
    const Case cases[] = {
        {"both settings off", 0, 0, false},
        {"keep channels open", 1, 0, true},
        {"rejoin on connect", 0, 1, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        opt_set(OPT_KEEP_CHANNELS_OPEN, c.keep_open);
        opt_set(OPT_REJOIN_ON_CONNECT, c.rejoin);
        WindowRecord* a = join("#a", {"alice"});
        WindowRecord* b = join("#b");
        ASSERT_TRUE(a && b);
        const int numbers[] = {a->number, b->number};
        lose_link();
        wire.clear();
        conn_reset_stage(0, conn);
        for (int number : numbers) {
            WindowRecord* w = win_record_by_id(number);
            EXPECT_EQ(w != nullptr, c.stays) << number;
            if (w) {
                EXPECT_EQ(w->chan_state, 2);
                EXPECT_EQ(w->chan_left, 1);
            }
        }
        for (const std::string& line : sent()) EXPECT_NE(line.rfind("PART", 0), 0u) << line;

        fresh();
    }
}

// ---- The logon rejoins ----

TEST_F(ChannelRejoin, LogonRejoinsTheWaitingChannelsOfThisNetworkOnly)
{
    struct Case {
        const char* name;
        int rejoin;
        std::vector<std::string> run;
    };
    const Case cases[] = {
        {"rejoin on: plain channels batched, a keyed one on its own", 1,
         {"JOIN #a,#b\n", "JOIN #k sekrit\n", "JOIN #z\n"}},
        {"rejoin off: nothing joined", 0, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        opt_set(OPT_REJOIN_ON_CONNECT, c.rejoin);
        opt_set(OPT_KEEP_CHANNELS_OPEN, 1);  // so the windows outlive the connect with rejoin off
        conn->network = "TestNet";
        WindowRecord* a = join("#a", {"alice"});
        WindowRecord* b = join("#b");
        WindowRecord* k = join("#k");
        ASSERT_TRUE(a && b && k);
        k->chan_key = "sekrit";
        conn->network = "OtherNet";
        WindowRecord* far = join("#far");
        ASSERT_NE(far, nullptr);
        EXPECT_EQ(far->network_tag, "OtherNet");
        conn->network = "";
        WindowRecord* z = join("#z");  // joined before the network was known: no tag
        ASSERT_NE(z, nullptr);
        EXPECT_EQ(z->network_tag, "");
        conn->network = "TestNet";
        WindowRecord* joined = join("#here");  // still on it: never rejoined
        ASSERT_NE(joined, nullptr);
        const int far_number = far->number;

        lose_link();
        joined->chan_state = 0;  // as if it were joined on the new link
        joined->chan_left = 0;
        log_on("testnet");

        EXPECT_EQ(joins_sent(), c.run);
        EXPECT_EQ(win_record_by_id(far_number), nullptr) << "the window of another network stays";
        for (WindowRecord* w : {a, b, k, z}) {
            SCOPED_TRACE(w->name);
            EXPECT_EQ(w->chan_state, c.rejoin ? 3 : 2);
            EXPECT_EQ(shown(w->name, kTrying), c.rejoin == 1);
        }
        EXPECT_EQ(joined->chan_state, 0);
        EXPECT_FALSE(shown("#here", kTrying));

        if (c.rejoin) {
            // The server answers: the same window takes the channel again.
            conn->network = "TestNet";
            printed.clear();
            feed(":me!u@h JOIN :#a");
            EXPECT_EQ(a->chan_state, 0);
            EXPECT_EQ(a->chan_left, 0);
            EXPECT_EQ(a->network_tag, "TestNet");
            EXPECT_NE(nicklist_find(a, "me"), nullptr);
            EXPECT_EQ(shown_lines(), std::vector<std::string>{"#a|* #a Kanalına Tekrar Giriliyor"});
            // A second lost link makes the rejoined window wait again, and
            // one whose rejoin was never answered too.
            lose_link();
            EXPECT_EQ(a->chan_state, 2);
            EXPECT_EQ(b->chan_state, 2);
        }

        fresh();
    }
}

TEST_F(ChannelRejoin, ManyWaitingChannelsAreRejoinedInLinesUnderFourHundred)
{
    std::vector<WindowRecord*> windows;
    for (int i = 0; i < 40; ++i) {
        windows.push_back(join("#a-rather-long-channel-name-" + std::to_string(i)));
        ASSERT_NE(windows.back(), nullptr);
    }
    lose_link();
    log_on("");
    int channels = 0;
    const std::vector<std::string> joins = joins_sent();
    for (const std::string& line : joins) {
        EXPECT_EQ(line.rfind("JOIN #", 0), 0u) << line;
        EXPECT_LE(line.size(), 6u + 400u) << line;
        channels += static_cast<int>(std::count(line.begin(), line.end(), '#'));
    }
    EXPECT_EQ(channels, 40);
    EXPECT_GT(joins.size(), 2u);
    for (WindowRecord* w : windows) EXPECT_EQ(w->chan_state, 3) << w->name;
}

// ---- A refused channel ----

TEST_F(ChannelRejoin, ARefusedChannelClosesAWindowStillWaitingForItsJoin)
{
    struct Case {
        const char* name;
        const char* reply;
        int state;       // the window's join state before the reply
        int left;
        int keep_open;
        bool stays;
        int state_after;
    };
    const Case cases[] = {
        {"433, waiting after a lost link", ":irc.test 433 me #a :Nickname is already in use", 2, 1, 0, false, 0},
        {"437, rejoin sent", ":irc.test 437 me #a :Nick/channel is temporarily unavailable", 3, 1, 0, false, 0},
        {"432, join sent and not answered", ":irc.test 432 me #a :Erroneous Nickname", 1, 0, 0, false, 0},
        {"437 with keep channels open", ":irc.test 437 me #a :Nick/channel is temporarily unavailable", 3, 1, 1,
         true, 2},
        {"437 for a channel we are on", ":irc.test 437 me #a :Nick/channel is temporarily unavailable", 0, 0, 0,
         true, 0},
        {"433 naming another channel", ":irc.test 433 me #other :Nickname is already in use", 2, 1, 0, true, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        opt_set(OPT_KEEP_CHANNELS_OPEN, c.keep_open);
        WindowRecord* a = join("#a", {"alice"});
        ASSERT_NE(a, nullptr);
        a->chan_state = c.state;
        a->chan_left = c.left;
        const int number = a->number;
        irc_note_joining("#a", 2, conn);
        irc_note_joining("#other", 2, conn);
        wire.clear();
        feed(c.reply);
        feed(c.reply);  // a second refusal finds nothing more to close
        WindowRecord* w = win_record_by_id(number);
        EXPECT_EQ(w != nullptr, c.stays);
        if (w) {
            EXPECT_EQ(w->chan_state, c.state_after);
            EXPECT_EQ(w->closing, 0);
        }
        for (const std::string& line : sent()) EXPECT_NE(line.rfind("PART", 0), 0u) << line;
        // The refused name left the pending joins; the other stays.
        const bool named_a = std::string(c.reply).find("#a") != std::string::npos;
        EXPECT_EQ(irc_pending_join_flag("#a", conn), named_a ? 0 : 2);
        irc_pending_join_flag("#other", conn);

        fresh();
    }
}

TEST_F(ChannelRejoin, AWindowAlreadyBeingClosedIsNotClosedAgain)
{
    WindowRecord* a = join("#a");
    ASSERT_NE(a, nullptr);
    a->chan_state = 1;
    a->closing = 1;  // a close of its own is under way
    const int number = a->number;
    chan_close_waiting("#a", conn);
    ASSERT_EQ(win_record_by_id(number), a);
    a->closing = 0;
    chan_close_waiting("#A", conn);
    EXPECT_EQ(win_record_by_id(number), nullptr);
}

}  // namespace

// Registration numerics through a fake link: the welcome, server info,
// capabilities, the nick-in-use fallback and the end of the MOTD.
#include "model/connection.h"
#include "core/options.h"
#include "irc/dispatch/dispatcher.h"
#include "irc/dispatch/server_commands.h"
#include "irc/link/connect.h"
#include "irc/numerics/isupport.h"
#include "irc/numerics/numerics.h"
#include "platform/frame_timers.h"
#include "support/hook_guard.h"
#include "support/test_wire.h"
#define KEST_TEST_WIDGETS
#include "support/test_support.h"
#include "app/frame_proc.h"
#include "irc/link/lookups.h"
#include "event_script.h"
#include "printed_lines.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

int g_prompts = 0;
// The frame timer of the repeated beep.
constexpr int kBeepTimer = 121;
void cap_prompt(Connection*) { ++g_prompts; }

class Numerics : public ::testing::Test {
protected:
    HookGuard hooks_;  // every seam back as it was when the test ends

    void SetUp() override
    {
        test_app();  // the beep's frame timer needs the event loop's thread
        irc_nick_prompt.add_once(prompt_listener_, 50, cap_prompt);
        wire.clear();
        g_prompts = 0;
        conn = conn_new(nullptr);
        ASSERT_TRUE(wire.ok());
        wire.attach(conn);
        conn->server_name = "irc.x";
        conn->live_identity[2] = "me";
        conn->live_identity[3] = "me_";
        irc_state_new_link(conn);
        status_ = buffer_window_open(conn, "Status", kWinStatus);
        printed_.clear();
        // The nick prompt's beep repeats only with sounds on and a count set.
        for (int i = 0; i < 3; ++i)
            beep_was_[i] = opt(kBeepOptions[i]);
        opt_set(OPT_SOUNDS_ENABLED, 1);
        opt_set(OPT_BEEP_COUNT, 3);
        opt_set(OPT_BEEP_DELAY, 500);
    }
    void TearDown() override
    {
        frame_timer_stop(kBeepTimer);
        for (int i = 0; i < 3; ++i)
            opt_set(kBeepOptions[i], beep_was_[i]);
        irc_nick_prompt.drop(prompt_listener_);
        dns_cancel_all();  // the welcome's lookup of our own address
        buffer_window_free(status_);
        conn->socket = -1;
        conn_free(conn);
    }
    static constexpr OptionId kBeepOptions[3] = {OPT_SOUNDS_ENABLED, OPT_BEEP_COUNT, OPT_BEEP_DELAY};
    int beep_was_[3] = {};
    int prompt_listener_ = 0;
    void feed(const std::string& line) { irc_dispatch_line(line, conn); }
    // The lines shown in the status window since the last clear.
    std::vector<std::string> shown() const { return printed_.in(status_); }
    // The lines sent to the server so far.
    const std::vector<std::string>& sent() { return wire.lines(); }

    TestWire wire;
    Connection* conn = nullptr;
    WindowRecord* status_ = nullptr;
    PrintedLines printed_;
};

TEST_F(Numerics, WelcomeThroughCapabilitiesRegisters)
{
    feed(":srv.net 001 Me2 :Welcome to the Net Me2!u@10.1.2.3");
    feed(":srv.net 002 Me2 :Your host is srv.net");
    feed(":srv.net 003 Me2 :This server was created today");
    feed(":srv.net 004 Me2 srv.net u2.10.12.10 iow biklmnopstv");
    feed(":srv.net 005 Me2 PREFIX=(qaohv)~&@%+ CHANTYPES=#& CHANMODES=beI,k,l,imnpst NETWORK=TestNet :are supported");
    const IrcConnState* st = irc_state(conn);
    EXPECT_EQ(st->registration, 3);
    EXPECT_EQ(conn->registered, 1);
    EXPECT_EQ(conn->live_identity[2], "Me2");   // the server's idea of our nick wins
    EXPECT_EQ(conn->server_name, "srv.net");
    EXPECT_EQ(conn->server_flags, 0x4 | 0x10);
    EXPECT_EQ(conn->network, "TestNet");
    EXPECT_EQ(conn->nick_prefixes, "~&@%+");
    EXPECT_EQ(conn->chan_types, "#&");
    EXPECT_EQ(st->nick_settled, 1);
    ASSERT_GE(shown().size(), 5u);
    EXPECT_EQ(shown()[0], "Welcome to the Net Me2!u@10.1.2.3");
    EXPECT_EQ(shown()[3], "srv.net u2.10.12.10 iow biklmnopstv");
    EXPECT_EQ(shown()[4], "PREFIX=(qaohv)~&@%+ CHANTYPES=#& CHANMODES=beI,k,l,imnpst NETWORK=TestNet are supported");
    // A second 004 does not detect again.
    conn->server_flags = 0;
    feed(":srv.net 004 Me2 srv.net 6.0.9 iow biklmnopstv");
    EXPECT_EQ(conn->server_flags, 0);
    EXPECT_TRUE(sent().empty());
}

// The server-info reply sets the server flags from the version text and the
// server name; their bit values are the ones the rest of the program and
// its tests are written against.
TEST_F(Numerics, ServerInfoSetsTheServerFlagBits)
{
    struct Case {
        const char* server;
        const char* version;
        int bits;       // as numbers
        int named;      // the same by name
        bool ircx_sent;
    };
    const Case cases[] = {
        {"srv.net", "bahamut-1.8", 0x1 | 0x2 | 0x8, kServerPlain477 | kServerOpsTarget | kServerOperModesAa, false},
        {"srv.net", "dal4.4.11", 0x1 | 0x2, kServerPlain477 | kServerOpsTarget, false},
        {"srv.net", "dal4.6", 0x1 | 0x2 | 0x8, kServerPlain477 | kServerOpsTarget | kServerOperModesAa, false},
        {"srv.net", "u2.9", 0x4, kServerPlusChannels, false},
        {"srv.net", "u2.10.12", 0x4 | 0x10, kServerPlusChannels | kServerOpsNoticeTarget, false},
        {"srv.net", "5.07.1", 0, 0, false},
        {"srv.net", "6.0.9", 0x20, kServerIrcx, true},
        {"srv.net", "2.11.1", 0x40, kServerPlusBangChannels, false},
        {"srv.net", "2.8/hybrid-7.2", 0x80, kServerOneTargetPerLine, false},
        {"srv.net", "ircd-ratbox-2.2", 0x80, kServerOneTargetPerLine, false},
        {"VirginChat.example", "2.8", 0x400, kServerListsEndIdle, false},
        {"srv.net", "CR2.5", 0x100, kServerMinusPrefix, false},
        {"srv.net", "hyperion-1.0", 0x200, kServerPlainList, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.version);
        irc_state_new_link(conn);
        conn->server_flags = 0x7ff;  // cleared by the detection
        wire.clear();
        feed(std::string(":srv.net 004 me ") + c.server + " " + c.version + " iow biklmnopstv");
        EXPECT_EQ(conn->server_flags, c.bits);
        EXPECT_EQ(c.named, c.bits);
        EXPECT_EQ(sent() == std::vector<std::string>{"IRCX\n"}, c.ircx_sent);
    }
}

TEST_F(Numerics, NickInUseTriesTheAlternativeOnceThenPrompts)
{
    struct Case {
        const char* alt;
        int settled;
        std::vector<std::string> sent;
        int prompts;
    } cases[] = {
        {"me_", 0, {"NICK me_\n"}, 1},   // second 433 prompts
        {"", 0, {}, 2},                   // empty alternative: straight to the prompt
        {"me_", 1, {}, 0},               // after registration: shown only
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.alt);
        irc_state_new_link(conn);
        conn->nick_index = 0;
        conn->live_identity[3] = c.alt;
        irc_state(conn)->nick_settled = c.settled;
        if (c.settled) irc_state(conn)->nick_pending = 0;
        wire.clear(); printed_.clear(); g_prompts = 0;
        frame_timer_stop(kBeepTimer);
        feed(":srv 433 * me :Nickname is already in use");
        feed(":srv 433 * me_ :Nickname is already in use");
        EXPECT_EQ(sent(), c.sent);
        EXPECT_EQ(g_prompts, c.prompts);
        // The prompt beeps (the repeated beep runs); the nick in use alone does not.
        EXPECT_EQ(frame_timer_is_running(kBeepTimer), c.prompts > 0 ? 1 : 0);
        frame_timer_stop(kBeepTimer);
        ASSERT_EQ(shown().size(), 2u);
        EXPECT_EQ(shown()[0], "me Nickname is already in use");
    }
}

// A raw handler that halts the reply without sending a nick: the beep still
// sounds, but the input box is left as it is and nothing is shown.
TEST_F(Numerics, AHaltedNickInUseBeepsWithoutAskingInTheInputBox)
{
    EventScript script({"raw 433:*:halt"});
    ASSERT_TRUE(script.loaded());
    conn->live_identity[3] = "";
    frame_timer_stop(kBeepTimer);
    feed(":srv 433 * me :Nickname is already in use");
    EXPECT_EQ(g_prompts, 0);
    EXPECT_EQ(frame_timer_is_running(kBeepTimer), 1);
    EXPECT_TRUE(shown().empty());
    EXPECT_TRUE(sent().empty());
    frame_timer_stop(kBeepTimer);
}

// The logon sequence runs once the line is handled; it is seen on the wire
// by the invisible mode it asks for.
TEST_F(Numerics, EndOfMotdStartsLogonOnce)
{
    frame_proc_install();  // the frame's messages reach their handlers
    numerics_install();
    const int invisible_was = opt(OPT_INVISIBLE_MODE);
    opt_set(OPT_INVISIBLE_MODE, 1);
    auto logons = [this] {
        QCoreApplication::sendPostedEvents();
        int n = 0;
        for (const std::string& l : sent()) n += l == "MODE me +i\n";
        return n;
    };
    feed(":srv 375 me :- srv Message of the Day -");
    EXPECT_EQ(irc_state(conn)->logon_pending, 2);
    feed(":srv 376 me :End of /MOTD command.");
    feed(":srv 376 me :End of /MOTD command.");
    EXPECT_EQ(logons(), 1);
    EXPECT_EQ(shown()[0], "Message of the Day, srv");
    irc_state_new_link(conn);
    feed(":srv 422 me :MOTD File is missing");
    EXPECT_EQ(logons(), 2);
    opt_set(OPT_INVISIBLE_MODE, invisible_was);
}

TEST_F(Numerics, RowsShowTheRightWords)
{
    struct Case {
        const char* line;
        const char* shown;
    } cases[] = {
        {":srv 265 me 5 10 :Current local users 5, max 10", "Current local  users: 5  Max: 10"},
        {":srv 266 me :Current global users", "Current global users"},
        {":srv 421 me FOO :Unknown command", "FOO Unknown command"},
        {":srv 251 me :There are 3 users", "There are 3 users"},
        {":srv 004x me a b", "a b"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        printed_.clear();
        feed(c.line);
        ASSERT_EQ(shown().size(), 1u);
        EXPECT_EQ(shown()[0], c.shown);
    }
}

TEST_F(Numerics, RedirectSetsServerAndPort)
{
    struct Case {
        const char* line;
        const char* host;
        const char* port;
    } cases[] = {
        {":srv 010 me other.net 0 :try this", "other.net", "6667"},
        {":srv 010 me other.net x7000 :try this", "other.net", "6667"},
        {":srv 010 me other.net 7000 :try this", "other.net", "7000"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        link_state(conn).redirect_pending = 0;
        feed(c.line);
        // The stored server, which the retry copies to the live one.
        EXPECT_EQ(conn->stored_identity[5], c.host);
        EXPECT_EQ(conn->stored_identity[9], c.port);
        EXPECT_EQ(link_state(conn).redirect_pending, 1);
        EXPECT_TRUE(shown().empty());
    }
    // Too few words: shown, nothing redirected.
    link_state(conn).redirect_pending = 0;
    feed(":srv 010 me other.net");
    EXPECT_EQ(link_state(conn).redirect_pending, 0);
}

}  // namespace

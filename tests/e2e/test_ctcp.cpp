// Whole-program tests of CTCP answers, the CTCP flood memory, the ignore
// list and the users list: the program on a private IRC server with plain
// peers. A control peer says "run <command>" in a channel and a remote
// script runs it; the other peer sends the CTCPs and text.
#include <gtest/gtest.h>

#include <chrono>
#include <regex>
#include <string>
#include <thread>

#include "e2e/harness.h"

using namespace e2e;

namespace {

using Clock = std::chrono::steady_clock;

const char* const kMe = "kestbot";

// Runs the command of a "run" line said in #ctl by the control peer only.
const char* const kRunScript = "on *:TEXT:run *:#ctl:if ($nick == ctl) $2-\n";

// Asks the server about the program until its channels include `channel`.
bool wait_in_channel(Peer& peer, const std::string& channel, int ms = kWaitMs)
{
    auto end = Clock::now() + std::chrono::milliseconds(ms);
    const std::regex re("(^| )[~&@%+]*" + channel + "( |$)");
    while (Clock::now() < end) {
        peer.send_line(std::string("WHOIS ") + kMe);
        IrcLine l;
        while (peer.wait_for("^:\\S+ (319|318|401) " + peer.nick + " ", 3000, &l) && l.command == "319")
            if (!l.params.empty() && std::regex_search(l.params.back(), re))
                return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    return false;
}

struct CtcpE2e : ::testing::Test {
    void SetUp() override
    {
        if (!server_available())
            GTEST_SKIP() << "the IRC server program " << kServerBinary << " is not installed";
        ASSERT_TRUE(server.start()) << server.log();
        ASSERT_TRUE(ctl.login(server.port(), "ctl")) << joined(ctl.history());
        ASSERT_TRUE(peer.login(server.port(), "peer")) << joined(peer.history());
    }
    void TearDown() override
    {
        kest.stop(3000);
        server.stop();
    }
    void start(const std::string& script = "")
    {
        kest.use_server(server.port());
        kest.set("options", "n5", option_line({{15, 1}, {25, 1}}));
        kest.log_status();
        write_file(kest.settings() / "users.ini", "[users]\n");
        kest.add_script("run.kst", kRunScript);
        if (!script.empty()) kest.add_script("events.kst", script);
        ASSERT_TRUE(kest.start({"-n", kMe, "-j", "#ctl,#talk"}));
        ASSERT_TRUE(wait_in_channel(ctl, "#ctl")) << kest.output() << kest.status_log() << joined(ctl.history());
        ASSERT_TRUE(ctl.join("#ctl"));
        ASSERT_TRUE(peer.join("#talk"));
        // The program has seen the control peer join before it takes orders.
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
    }
    void run(const std::string& command) { ctl.send_line("PRIVMSG #ctl :run " + command); }
    // A CTCP from the peer; true when the program answered with a NOTICE
    // whose text matches within `ms`.
    bool answered(const std::string& request, const std::string& answer, int ms = 2000, IrcLine* found = nullptr)
    {
        peer.send_line(std::string("PRIVMSG ") + kMe + " :\x01" + request + "\x01");
        return peer.wait_for(std::string("^:") + kMe + "!\\S+ NOTICE peer :\x01" + answer + "\x01$", ms, found);
    }
    // Waits until a probe from the control peer came back: everything the
    // program got before it has been handled.
    void sync()
    {
        static int n = 0;
        const std::string tag = "sync" + std::to_string(++n);
        run("msg ctl " + tag);
        ASSERT_TRUE(ctl.wait_for(std::string("^:") + kMe + "!\\S+ PRIVMSG ctl :" + tag + "$")) << joined(ctl.history());
    }

    IrcServer server;
    Peer ctl;
    Peer peer;
    KestProgram kest;
};

}  // namespace

TEST_F(CtcpE2e, VersionPingAndTimeAreAnsweredInTheirFormats)
{
    ASSERT_NO_FATAL_FAILURE(start());
    struct Case {
        const char* request;
        const char* answer;  // regular expression of the NOTICE's CTCP text
    } cases[] = {
        {"VERSION", "VERSION Kest \\S+ Telquist"},
        {"PING 1712345678", "PING 1712345678"},
        {"TIME", "TIME [A-Z][a-z]{2} [A-Z][a-z]{2} \\d\\d \\d\\d:\\d\\d:\\d\\d \\d{4}"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.request);
        EXPECT_TRUE(answered(c.request, c.answer, kWaitMs)) << joined(peer.history());
    }
    // A PING that is not a plain number is shown but not answered.
    EXPECT_FALSE(answered("PING 1 +++", ".*", 1500));
}

TEST_F(CtcpE2e, AHaltingCtcpHandlerSuppressesThePingReplyButNotTheVersion)
{
    ASSERT_NO_FATAL_FAILURE(start("on *:CTCP:PING:*:halt\non *:CTCP:VERSION:*:halt\n"));
    EXPECT_FALSE(answered("PING 42", ".*", 2000)) << joined(peer.history());
    // A halt does not keep the version answer back; TIME has no handler.
    EXPECT_TRUE(answered("VERSION", "VERSION Kest \\S+ Telquist", kWaitMs)) << joined(peer.history());
    EXPECT_TRUE(answered("TIME", "TIME .*", kWaitMs)) << joined(peer.history());
}

TEST_F(CtcpE2e, AFloodOfRequestsIsAnsweredOnceThenAgainLater)
{
    ASSERT_NO_FATAL_FAILURE(start());
    const auto first = Clock::now();
    for (int i = 0; i < 6; ++i) peer.send_line(std::string("PRIVMSG ") + kMe + " :\x01PING " + std::to_string(100 + i) + "\x01");
    // The first is answered, however long that takes; the others are not.
    const std::string reply = std::string("^:") + kMe + "!\\S+ NOTICE peer :\x01PING ";
    IrcLine l;
    ASSERT_TRUE(peer.wait_for(reply, kWaitMs, &l)) << joined(peer.history());
    int replies = 1;
    while (peer.wait_for(reply, 2500, &l)) ++replies;
    EXPECT_EQ(replies, 1) << joined(peer.history());
    // The address is answered again once its ten seconds are over: asked
    // again until it is, which is never before the ten seconds.
    bool again = false;
    while (!again && Clock::now() - first < std::chrono::milliseconds(kWaitMs))
        again = answered("PING 777", "PING 777", 1000);
    EXPECT_TRUE(again) << joined(peer.history());
    EXPECT_GE(Clock::now() - first, std::chrono::milliseconds(8000)) << "answered again within the ten seconds";
}

TEST_F(CtcpE2e, IgnoredPeerIsDroppedUntilItsTimeRunsOutAndTheListSurvivesARestart)
{
    ASSERT_NO_FATAL_FAILURE(start("on *:TEXT:*:#talk:msg ctl heard $1-\n"));
    const auto ignored_at = Clock::now();
    run("ignore -u6 peer");
    run("ignore ghost!*@gone.example");
    sync();
    peer.send_line("PRIVMSG #talk :while ignored");
    peer.send_line(std::string("PRIVMSG ") + kMe + " :private while ignored");
    EXPECT_FALSE(answered("VERSION", ".*", 1500));
    sync();
    EXPECT_FALSE(ctl.saw("heard while ignored", 0)) << joined(ctl.history());
    EXPECT_EQ(window_log(kest, "#talk").find("while ignored"), std::string::npos);
    // The timed entry runs out on the tick: said again until it is heard,
    // which is never before its six seconds.
    bool heard = false;
    for (int n = 0; !heard && Clock::now() - ignored_at < std::chrono::milliseconds(kWaitMs); ++n) {
        peer.send_line("PRIVMSG #talk :heard again " + std::to_string(n));
        heard = ctl.wait_for("PRIVMSG ctl :heard heard again", 1000);
    }
    EXPECT_TRUE(heard) << joined(ctl.history());
    EXPECT_GE(Clock::now() - ignored_at, std::chrono::milliseconds(4000)) << "heard before its six seconds";
    EXPECT_TRUE(answered("VERSION", "VERSION .*", kWaitMs)) << joined(peer.history());
    // The lasting entry is saved with the lists at exit, the expired one is not.
    EXPECT_EQ(kest.stop(), 0);
    const std::string control = read_file(kest.settings() / "control.ini");
    EXPECT_NE(control.find("ghost!*@gone.example"), std::string::npos) << control;
    EXPECT_EQ(control.find("peer!"), std::string::npos) << control;
    ASSERT_TRUE(kest.start_again({"-n", kMe, "-j", "#ctl,#talk"}));
    ASSERT_TRUE(wait_in_channel(ctl, "#ctl"));
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    run("ignore -l");
    sync();
    EXPECT_GE(log_index(kest.status_log(), ".*ghost!\\*@gone\\.example \\(pcntdik\\).*"), 0) << kest.status_log();
}

TEST_F(CtcpE2e, AUserAddedWithALevelIsMatchedByLevelHandlersAndAnotherIsNot)
{
    ASSERT_NO_FATAL_FAILURE(start("on 10:TEXT:*:#talk:msg ctl level10 $nick $1-\n"));
    Peer other;
    ASSERT_TRUE(other.login(server.port(), "other"));
    ASSERT_TRUE(other.join("#talk"));
    run("auser 10 peer");
    sync();
    other.send_line("PRIVMSG #talk :from other");
    peer.send_line("PRIVMSG #talk :from peer");
    EXPECT_TRUE(ctl.wait_for("PRIVMSG ctl :level10 peer from peer")) << joined(ctl.history());
    EXPECT_FALSE(ctl.saw("level10 other", 500)) << joined(ctl.history());
}

TEST_F(CtcpE2e, ListIdentifiersReadWhatTheCommandsPutInTheLists)
{
    ASSERT_NO_FATAL_FAILURE(start(
        "on *:TEXT:lists:#ctl:msg ctl lists $level(a!b@lvl.example) $level(a!b@else.example) $ulist(*,0)"
        " $ulist(x!y@lvl.example) $ulist(x!y@lvl.example).info a= $+ $aop(1) t= $+ $aop(1).type $aop(0)"
        " $ignore(pest!x@y) $ignore(pest!x@y).secs $ignore(1).secs n= $+ $ignore(nobody!x@y)\n"));
    run("auser 10,friend *!*@lvl.example met at the meetup");
    run("aop *!*@op.example #talk");
    run("ignore spam!*@*");
    run("ignore -u60 pest!*@*");
    sync();
    ctl.send_line("PRIVMSG #ctl :lists");
    IrcLine l;
    ASSERT_TRUE(ctl.wait_for(std::string("^:") + kMe + "!\\S+ PRIVMSG ctl :lists ", kWaitMs, &l)) << joined(ctl.history());
    const std::string text = l.params.empty() ? std::string() : l.params.back();
    EXPECT_TRUE(std::regex_match(text, std::regex("lists 10,friend 1 1 \\*!\\*@lvl\\.example met at the meetup "
                                                  "a=\\*!\\*@op\\.example t=#talk 1 pest!\\*@\\* (59|60) 0 n=")))
        << text;
}

// Whole-program test of which CTCP requests the program answers, on a
// private IRC server with two plain peers: VERSION, PING, FINGER and TIME
// are answered, each type with a memory of its own; any other request is
// shown in the status window and not answered; a second request of one type
// within five seconds is neither answered nor shown, whoever sends it.
#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "e2e/harness.h"
#include "e2e/net_support.h"
#include "e2e/program_probe.h"

using namespace e2e;

namespace {

const char* const kMe = "kestbot";

// A plain message that the program echoes: every line the peer sent before
// it has been handled once the echo is back.
const char* const kEchoScript = "on *:TEXT:sync *:?:msg $nick done $2\n";

bool sync(Peer& peer, const std::string& tag)
{
    peer.send_line(std::string("PRIVMSG ") + kMe + " :sync " + tag);
    return peer.wait_for(std::string("^:") + kMe + "!\\S+ PRIVMSG " + peer.nick + " :done " + tag + "$");
}

void ctcp(Peer& peer, const std::string& request)
{
    peer.send_line(std::string("PRIVMSG ") + kMe + " :\x01" + request + "\x01");
}

// How many lines the peer read that match the pattern.
int count(const Peer& peer, const std::string& pattern)
{
    const std::regex re(pattern);
    int n = 0;
    for (const std::string& line : peer.history())
        if (std::regex_search(line, re))
            ++n;
    return n;
}

} // namespace

TEST(CtcpAnswersE2e, StandardRequestsAreAnsweredOthersShownAndATypeIsAnsweredOncePerFiveSeconds)
{
    if (!server_available())
        GTEST_SKIP() << "the IRC server program " << kServerBinary << " is not installed";
    IrcServer server;
    ASSERT_TRUE(server.start()) << server.log();
    Peer peer, other;
    ASSERT_TRUE(peer.login(server.port(), "peer")) << joined(peer.history());
    ASSERT_TRUE(other.login(server.port(), "other")) << joined(other.history());
    KestProgram kest;
    kest.use_server(server.port());
    probe_plain_status_log(kest);
    kest.add_script("echo.kst", kEchoScript);
    ASSERT_TRUE(kest.start({"-n", kMe}));
    ASSERT_TRUE(wait_nick_present(peer, kMe)) << kest.output() << kest.status_log();
    ASSERT_TRUE(sync(peer, "0")) << joined(peer.history());

    // One burst from the peer; then, at once, a VERSION from the other.
    ctcp(peer, "CLIENTINFO");
    ctcp(peer, "USERINFO");
    ctcp(peer, "VERSION");
    ctcp(peer, "PING 1712345678");
    ctcp(peer, "FINGER");
    ctcp(peer, "TIME");
    ctcp(other, "VERSION");
    ASSERT_TRUE(sync(peer, "1")) << joined(peer.history());
    ASSERT_TRUE(sync(other, "2")) << joined(other.history());

    // Each standard type answered, though they came together from one address.
    const std::string notice = std::string("^:") + kMe + "!\\S+ NOTICE peer :\x01";
    for (const std::string& answer : {std::string("VERSION Kest \\S+ Telquist"), std::string("PING 1712345678"),
                                      std::string("FINGER Kest Tester \\(ktester@example\\.org\\) Idle \\d+ seconds"),
                                      std::string("TIME [A-Z][a-z]{2} [A-Z][a-z]{2} \\d\\d \\d\\d:\\d\\d:\\d\\d \\d{4}")})
        EXPECT_TRUE(peer.saw(notice + answer + "\x01$")) << answer << "\n" << joined(peer.history());
    // The answers go out in order: with TIME's in, no CLIENTINFO or USERINFO
    // answer came before it.
    EXPECT_EQ(count(peer, std::string("^:") + kMe + "!\\S+ NOTICE "), 4) << joined(peer.history());
    // The second VERSION within five seconds: not answered.
    EXPECT_FALSE(other.saw(std::string("^:") + kMe + "!\\S+ NOTICE ", 1500)) << joined(other.history());

    // Every request of the burst is shown, the refused one is not.
    for (const char* shown : {"\\[peer CLIENTINFO\\]", "\\[peer USERINFO\\]", "\\[peer VERSION\\]", "\\[peer PING\\]",
                              "\\[peer FINGER\\]", "\\[peer TIME\\]"})
        EXPECT_GE(probe_status_line(kest, shown), 0) << shown << "\n" << kest.status_log();
    EXPECT_LT(log_index(kest.status_log(), "\\[other VERSION\\]"), 0) << kest.status_log();
    kest.stop(3000);
}

// Whole-program test of a lost link: the program is in a channel of a
// private IRC server with a peer; the server goes down and a new one comes
// up on the same port. The program reconnects by itself and, as its
// settings say, rejoins the channel in the window it kept, or keeps the
// window waiting without rejoining.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "e2e/harness.h"

using namespace e2e;

namespace {

using Clock = std::chrono::steady_clock;

const char* const kMe = "kestbot";
const char* const kChannel = "#rejoin";

// An option line with the given positions set and the others left at their
// defaults (empty fields read as the default).
// Waits at most `ms` for the channel's log to hold a line matching the
// pattern at or after `from`; its index, or -1.
int wait_log_line(const KestProgram& kest, const std::string& pattern, int from = 0, int ms = kWaitMs)
{
    auto end = Clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        int i = log_index(window_log(kest, kChannel), pattern, static_cast<std::size_t>(std::max(from, 0)));
        if (i >= 0 || Clock::now() >= end)
            return i;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

// Asks the server about the program's nick until it is there (and, with a
// channel entry such as "@#rejoin", in that channel); at most `ms`.
bool wait_present(Peer& peer, const std::string& entry, int ms)
{
    auto end = Clock::now() + std::chrono::milliseconds(ms);
    const std::regex re("(^| )" + std::regex_replace(entry, std::regex("[+]"), "\\$&") + "( |$)");
    while (Clock::now() < end) {
        peer.send_line(std::string("WHOIS ") + kMe);
        IrcLine l;
        bool present = false;
        while (peer.wait_for("^:\\S+ (311|319|318|401) " + peer.nick + " ", 3000, &l) && l.command != "318" &&
               l.command != "401") {
            if (l.command == "311" && entry.empty())
                present = true;
            if (l.command == "319" && !l.params.empty() && std::regex_search(l.params.back(), re))
                present = true;
        }
        if (present)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    return false;
}

// Whether the peer read a line matching the pattern after its first `from`
// lines, waiting at most `ms` for one to come.
bool seen_since(Peer& peer, std::size_t from, const std::string& pattern, int ms)
{
    const std::regex re(pattern);
    for (std::size_t i = from; i < peer.history().size(); ++i)
        if (std::regex_search(peer.history()[i], re))
            return true;
    return peer.wait_for(pattern, ms);
}

// The peer says "ping" and waits for the program's "pong".
bool ping(Peer& peer)
{
    peer.send_line(std::string("PRIVMSG ") + kChannel + " :ping");
    return peer.wait_for(std::string("^:") + kMe + "!\\S+ PRIVMSG " + kChannel + " :pong$");
}

struct ReconnectE2e : ::testing::Test {
    void SetUp() override
    {
        if (!server_available())
            GTEST_SKIP() << "the IRC server program " << kServerBinary << " is not installed";
        ASSERT_TRUE(server.start()) << "the private IRC server did not start\n" << server.log();
    }
    void TearDown() override { server.stop(); }
    IrcServer server;
};

// Seconds the program waits before it connects again: long enough for the
// peer to be back in the channel first, so that it sees the program's JOIN.
constexpr int kRetrySeconds = 5;

} // namespace

TEST_F(ReconnectE2e, AfterALostLinkTheProgramReconnectsAndRejoinsItsChannel)
{
    struct Case {
        const char* name;
        int rejoin_on_connect;
        int keep_channels_open;
    };
    const Case cases[] = {
        {"rejoin on connect", 1, 0},
        {"rejoin off, the window kept waiting", 0, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Peer peer;
        ASSERT_TRUE(peer.login(server.port(), "peer")) << joined(peer.history());
        KestProgram kest;
        kest.use_server(server.port());
        kest.log_status();
        kest.set("options", "n2", option_line({{26, c.rejoin_on_connect}}));
        kest.set("options", "n3", option_line({{4, 1}, {22, c.keep_channels_open}}));
        kest.set("options", "n5", option_line({{15, 1}, {25, 1}}));  // logs written at once, plain
        kest.set("options", "n7", option_line({{19, kRetrySeconds}}));
        kest.add_script("pong.kst", std::string("on *:TEXT:ping:") + kChannel + ":msg # pong\n");
        // The channel comes from the command line: it is joined once, so
        // only the rejoin can bring the program back into it.
        ASSERT_TRUE(kest.start({"-n", kMe, "-j", kChannel}));
        ASSERT_TRUE(wait_present(peer, std::string("@") + kChannel, kWaitMs))
            << "the program never joined\n" << kest.output() << kest.status_log();
        ASSERT_TRUE(peer.join(kChannel)) << joined(peer.history());
        ASSERT_TRUE(ping(peer)) << joined(peer.history()) << kest.output();
        ASSERT_GE(wait_log_line(kest, "<@kestbot> pong"), 0) << window_log(kest, kChannel);

        // The link is lost: the server goes down, a new one takes its port.
        const auto lost_at = Clock::now();
        ASSERT_TRUE(server.restart()) << server.log();
        peer.close();
        const std::size_t from = peer.history().size();
        ASSERT_TRUE(peer.login(server.port(), "peer")) << joined(peer.history());
        ASSERT_TRUE(peer.join(kChannel)) << joined(peer.history());
        // The peer must be back in the channel before the program connects
        // again, or it could not see the program's JOIN.
        ASSERT_LT(Clock::now() - lost_at, std::chrono::seconds(kRetrySeconds - 1))
            << "the server and the peer took too long to come back";

        // The window shows the lost link and stays open.
        const int lost = wait_log_line(kest, "\\* Bağlantınız Kesildi");
        EXPECT_GE(lost, 0) << window_log(kest, kChannel);

        if (c.rejoin_on_connect) {
            EXPECT_TRUE(seen_since(peer, from, std::string("^:") + kMe + "!\\S+ JOIN :?" + kChannel + "$",
                                   kRetrySeconds * 1000 + kWaitMs))
                << "the program did not rejoin\n" << joined(peer.history()) << kest.output() << kest.status_log();
            EXPECT_GE(wait_log_line(kest, "\\* Tekrar Girilmeye Çalışılıyor\\.\\.\\.", lost), 0)
                << window_log(kest, kChannel);
            const int back = wait_log_line(kest, "\\* #rejoin Kanalına Tekrar Giriliyor", lost);
            EXPECT_GE(back, 0) << window_log(kest, kChannel);
            // The window lists both again, as the new server has them: the
            // peer is the operator now, the program a plain member until
            // the peer gives it a voice.
            ASSERT_TRUE(ping(peer)) << joined(peer.history()) << kest.output();
            EXPECT_GE(wait_log_line(kest, "<@peer> ping", back), 0) << window_log(kest, kChannel);
            EXPECT_GE(wait_log_line(kest, "<kestbot> pong", back), 0) << window_log(kest, kChannel);
            peer.send_line(std::string("MODE ") + kChannel + " +v " + kMe);
            const int voiced = wait_log_line(kest, "\\* peer mod değiştirdi: ?\\+v kestbot", back);
            EXPECT_GE(voiced, 0) << window_log(kest, kChannel);
            ASSERT_TRUE(ping(peer)) << joined(peer.history()) << kest.output();
            EXPECT_GE(wait_log_line(kest, "<\\+kestbot> pong", std::max(voiced, back)), 0)
                << window_log(kest, kChannel);
        } else {
            // Back on the server, yet not in the channel: its window waits.
            EXPECT_TRUE(wait_present(peer, "", kRetrySeconds * 1000 + kWaitMs))
                << "the program did not reconnect\n" << kest.output() << kest.status_log();
            EXPECT_FALSE(seen_since(peer, from, std::string("^:") + kMe + "!\\S+ JOIN", 2000))
                << joined(peer.history());
            EXPECT_LT(log_index(window_log(kest, kChannel), "\\* Tekrar Girilmeye Çalışılıyor\\.\\.\\."), 0)
                << window_log(kest, kChannel);
        }
        const std::string log = window_log(kest, kChannel);
        EXPECT_LT(log_index(log, "Oturum Kapatıldı: .+"), 0) << "the channel window closed\n" << log;
        EXPECT_TRUE(kest.process().running()) << kest.output();
        kest.stop(3000);
        peer.close();
    }
}

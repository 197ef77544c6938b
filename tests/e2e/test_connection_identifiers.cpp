// Whole-program test of the identifiers that read a live connection: the
// real program logs on to the private IRC server and a script answers a
// peer's private messages by writing the values into the status window,
// whose log the test reads. The peer drives it: it asks for a report, makes
// the program speak and set itself away, and sends a line with control
// codes for $rawmsg and $stripped.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <regex>
#include <string>
#include <thread>

#include "e2e/harness.h"

using namespace e2e;

namespace {

using Clock = std::chrono::steady_clock;

const char* const kMe = "kestid";

const char* const kScript =
    "on *:CONNECT:{\n"
    "  echo -s connected serverip $serverip modespl $modespl nickmode $nickmode chanmodes $chanmodes\n"
    "  echo -s count $scon(0) first $scon(1) byid $scid($cid) nick $scon(1).me server $scid($cid).server\n"
    "  scon 1 echo -s ran-on $cid\n"
    "  echo -s cmdline $cmdline\n"
    "}\n"
    "on *:TEXT:report:?:echo -s report idle $idle awaytime $awaytime\n"
    "on *:TEXT:speak:?:msg $nick spoken\n"
    "on *:TEXT:goaway:?:raw AWAY :gone fishing\n"
    "on *:TEXT:codes*:?:echo -s raw $rawmsg stripped $stripped\n"
    "on *:TEXT:loop:?:echo -s loop $scidloop\n"
    "alias scidloop return $scon(1).scidloop\n";

// The first status-log line at or after `from` that matches the pattern,
// waited for at most `ms`; its index and text.
int wait_status_line(const KestProgram& kest, const std::string& pattern, std::string* text = nullptr,
                     int from = 0, int ms = kWaitMs)
{
    auto end = Clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        const std::string log = kest.status_log();
        int i = log_index(log, pattern, static_cast<std::size_t>(from < 0 ? 0 : from));
        if (i >= 0) {
            if (text)
                *text = log_lines(log)[static_cast<std::size_t>(i)];
            return i;
        }
        if (Clock::now() >= end)
            return -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

// The number after a word in a line ("idle 3" -> 3); -1 when missing.
long number_after(const std::string& line, const std::string& word)
{
    std::smatch m;
    if (!std::regex_search(line, m, std::regex(word + " (\\d+)")))
        return -1;
    return std::stol(m[1].str());
}

struct ConnectionIdentifiersE2e : ::testing::Test {
    void SetUp() override
    {
        if (!server_available())
            GTEST_SKIP() << "the IRC server program " << kServerBinary << " is not installed";
        ASSERT_TRUE(server.start()) << "the private IRC server did not start\n" << server.log();
    }
    void TearDown() override { server.stop(); }
    IrcServer server;
};

} // namespace

TEST_F(ConnectionIdentifiersE2e, ValuesOfTheLiveConnection)
{
    KestProgram kest;
    kest.use_server(server.port());
    // Logs written at once and plain; incoming bold, underline, reverse and
    // colour codes stripped.
    kest.set("options", "n5", option_line({{15, 1}, {24, 15}, {25, 1}}));
    kest.log_status();
    kest.add_script("values.kst", kScript);
    ASSERT_TRUE(kest.start({"-n", kMe}));

    // At logon: the server's address and what its 005 reply announced.
    std::string line;
    ASSERT_GE(wait_status_line(kest, "connected serverip .*", &line), 0)
        << "the program never logged on\n" << kest.output() << kest.status_log();
    EXPECT_NE(line.find("serverip 127.0.0.1 "), std::string::npos) << line;
    EXPECT_GT(number_after(line, "modespl"), 0) << line;
    EXPECT_TRUE(std::regex_search(line, std::regex("nickmode [a-z]*o[a-z]*v "))) << line;
    EXPECT_TRUE(std::regex_search(line, std::regex("chanmodes \\S*b\\S*,\\S*k\\S*,\\S*l\\S*,\\S+$"))) << line;

    // One connection: $scon and $scid find it, read identifiers on it and
    // /scon runs a command on it.
    ASSERT_GE(wait_status_line(kest, "count .*", &line), 0) << kest.status_log();
    EXPECT_TRUE(std::regex_search(line, std::regex("count 1 first (\\d+) byid \\1 nick kestid server \\S+$")))
        << line;
    EXPECT_GE(wait_status_line(kest, "ran-on \\d+"), 0) << kest.status_log();
    // The program's own command line.
    EXPECT_GE(wait_status_line(kest, "cmdline .*-n kestid.*"), 0) << kest.status_log();

    Peer peer;
    ASSERT_TRUE(peer.login(server.port(), "asker")) << joined(peer.history());

    // Asks for reports until one satisfies the test; the last report seen.
    // The values count seconds, so the test waits for them to grow rather
    // than sleeping a fixed time that a loaded machine may stretch.
    int at = -1;
    const auto report_until = [&](const std::function<bool(const std::string&)>& done) {
        const auto end = Clock::now() + std::chrono::milliseconds(kWaitMs);
        do {
            if (!peer.send_line(std::string("PRIVMSG ") + kMe + " :report"))
                return false;
            at = wait_status_line(kest, "report idle \\d+ awaytime \\d+", &line, at + 1);
            if (at < 0)
                return false;
            if (done(line))
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
        } while (Clock::now() < end);
        return false;
    };
    const auto seconds_since = [](Clock::time_point t) {
        return static_cast<long>(std::chrono::duration_cast<std::chrono::seconds>(Clock::now() - t).count());
    };

    // Idle: the seconds since the program last said something.
    ASSERT_TRUE(report_until([](const std::string& l) { return number_after(l, "idle") >= 3; }))
        << kest.status_log();
    const long idle_before = number_after(line, "idle");
    EXPECT_EQ(number_after(line, "awaytime"), 0) << line;   // not away

    // Speaking starts the count again: the next report shows no more than
    // the seconds since the request to speak (and one for the tick).
    const auto spoke = Clock::now();
    ASSERT_TRUE(peer.send_line(std::string("PRIVMSG ") + kMe + " :speak"));
    ASSERT_TRUE(peer.wait_for(std::string("^:") + kMe + "!\\S+ PRIVMSG asker :spoken$")) << joined(peer.history());
    ASSERT_TRUE(report_until([](const std::string&) { return true; })) << kest.status_log();
    const long idle_after = number_after(line, "idle");
    EXPECT_LE(idle_after, seconds_since(spoke) + 1) << line << " (before: " << idle_before << ")";
    EXPECT_GE(idle_after, 0) << line;

    // Away: the seconds since the server confirmed it; they grow to 2 and
    // never pass the seconds since the request.
    const auto went = Clock::now();
    ASSERT_TRUE(peer.send_line(std::string("PRIVMSG ") + kMe + " :goaway"));
    ASSERT_TRUE(report_until([](const std::string& l) { return number_after(l, "awaytime") >= 2; }))
        << kest.status_log();
    EXPECT_LE(number_after(line, "awaytime"), seconds_since(went) + 1) << line;

    // The raw line of the event and the codes taken out of its text.
    ASSERT_TRUE(peer.send_line(std::string("PRIVMSG ") + kMe + " :codes \x02" "bold\x02 and \x1funder\x1f"));
    at = wait_status_line(kest, "raw .* stripped \\d+", &line, at + 1);
    ASSERT_GE(at, 0) << kest.status_log();
    EXPECT_TRUE(std::regex_search(line, std::regex("raw :asker!\\S+@\\S+ PRIVMSG kestid :codes .*bold.* and .*under")))
        << line;
    EXPECT_EQ(number_after(line, "stripped"), 4) << line;

    // A property that reaches itself again through an alias stops at the
    // nesting bound; the program goes on.
    ASSERT_TRUE(peer.send_line(std::string("PRIVMSG ") + kMe + " :loop"));
    const int bound = wait_status_line(kest, "\\* Hafızayı Ayırmada Hata var \\(Satır 12, values\\.kst\\)", nullptr, at + 1);
    EXPECT_GT(bound, at) << kest.output() << kest.status_log();
    ASSERT_TRUE(peer.send_line(std::string("PRIVMSG ") + kMe + " :report"));
    EXPECT_GT(wait_status_line(kest, "report idle \\d+ awaytime \\d+", nullptr, at + 1), bound)
        << kest.output() << kest.status_log();
    EXPECT_LT(log_index(kest.status_log(), "loop.*"), 0) << kest.status_log();

    EXPECT_TRUE(kest.process().running()) << kest.output();
    kest.stop(3000);
    peer.close();
}

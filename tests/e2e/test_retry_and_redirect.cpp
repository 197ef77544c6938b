// Whole-program tests of where and when the program tries again after a
// server ended the link: a server that throttles makes the next attempt wait
// a minute, any other ERROR keeps the ordinary retry delay, and a server that
// redirects (numeric 010) sends the program to the server it names. The
// servers are scripted listeners on 127.0.0.1.
#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "e2e/harness.h"
#include "e2e/program_probe.h"

using namespace e2e;

namespace {

const char* const kMe = "kestbot";

// The ordinary retry delay of these tests, in seconds.
constexpr int kRetrySeconds = 1;

// The program connecting to a scripted server, retrying after the short delay.
void start_against(KestProgram& kest, int port)
{
    kest.use_server(port);
    probe_plain_status_log(kest);
    kest.set("options", "n7", option_line({{19, kRetrySeconds}}));
    ASSERT_TRUE(kest.start({"-n", kMe}));
}

// Reads the registration of a fresh link: the nick it asks for, empty when
// NICK and USER did not both come.
std::string registration(LineSocket& link)
{
    std::string nick, line;
    bool user = false;
    while ((nick.empty() || !user) && link.read_line(line, kWaitMs)) {
        const IrcLine l = parse_irc_line(line);
        if (l.command == "NICK" && !l.params.empty())
            nick = l.params[0];
        else if (l.command == "USER")
            user = true;
    }
    return user ? nick : std::string();
}

// The seconds the status window's caption counts down to the next attempt;
// -1 when it shows none.
int caption_retry_seconds(const std::string& caption)
{
    std::smatch m;
    static const std::regex re("Nicki İçin Bağlanma Tekrarı Yapılan Süre \\((\\d+)\\)");
    return std::regex_search(caption, m, re) ? std::stoi(m[1]) : -1;
}

} // namespace

// ERROR lines that end a link before its registration, as servers send them
// to a client that comes back too fast and for other reasons. Only the
// throttled one makes the program wait a minute, and says so.
TEST(RetryE2e, AThrottledServerMakesTheNextAttemptWaitAMinute)
{
    struct Case {
        const char* what;
        const char* error;
        bool throttled;
    };
    const Case cases[] = {
        {"throttled", "ERROR :Closing Link: kestbot[127.0.0.1] (Throttled: Reconnecting too fast) -Email x@y.z", true},
        {"throttled, other case", "ERROR :Trying to reconnect too fast: THROTTLED", true},
        {"another reason", "ERROR :Closing Link: kestbot[127.0.0.1] (Connection timed out)", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ScriptedServer fake;
        ASSERT_TRUE(fake.ok());
        KestProgram kest;
        ASSERT_NO_FATAL_FAILURE(start_against(kest, fake.port()));
        LineSocket link;
        ASSERT_TRUE(fake.accept_link(link)) << kest.output();
        ASSERT_EQ(registration(link), kMe) << joined(link.history());
        link.send_line(c.error);
        link.close();

        const int lost = probe_status_line(kest, "\\* Bağlantınız Kesildi");
        ASSERT_GE(lost, 0) << kest.status_log();
        LineSocket again;
        if (c.throttled) {
            // The status window says how long, and its caption counts the
            // minute down.
            EXPECT_GE(probe_status_line(kest, "\\* 60 Saniye bekleniliyor\\.\\.\\.\\."), 0) << kest.status_log();
            std::string caption;
            EXPECT_TRUE(probe_until(kest, "$window(Status Window).title", ".*Yapılan Süre \\(\\d+\\).*", caption))
                << caption;
            EXPECT_GE(caption_retry_seconds(caption), 50) << caption;
            // No new attempt after the ordinary delay.
            EXPECT_FALSE(fake.accept_link(again, (kRetrySeconds + 4) * 1000)) << kest.status_log();
        } else {
            // The ordinary delay: the program is back at once.
            ASSERT_TRUE(fake.accept_link(again, kRetrySeconds * 1000 + kWaitMs)) << kest.status_log();
            EXPECT_EQ(registration(again), kMe) << joined(again.history());
            EXPECT_LT(log_index(kest.status_log(), "\\* \\d+ Saniye bekleniliyor.*"), 0) << kest.status_log();
        }
        kest.stop(3000);
    }
}

// A redirect during the logon: the program leaves the first server by
// itself and registers on the one the reply names, without going back.
TEST(RedirectE2e, TheProgramGoesToTheServerTheRedirectNames)
{
    ScriptedServer first, second;
    ASSERT_TRUE(first.ok() && second.ok());
    KestProgram kest;
    ASSERT_NO_FATAL_FAILURE(start_against(kest, first.port()));
    LineSocket link;
    ASSERT_TRUE(first.accept_link(link)) << kest.output();
    ASSERT_EQ(registration(link), kMe) << joined(link.history());
    link.send_line(":first.e2e.test 010 kestbot 127.0.0.1 " + std::to_string(second.port()) +
                   " :Server full, try this one");
    // The program ends the first link itself.
    EXPECT_TRUE(link.wait_closed()) << kest.status_log();

    LineSocket moved;
    ASSERT_TRUE(second.accept_link(moved, kRetrySeconds * 1000 + kWaitMs)) << kest.status_log();
    EXPECT_EQ(ScriptedServer::welcome(moved), kMe) << joined(moved.history());
    std::string server;
    EXPECT_TRUE(probe_until(kest, "$server $port", "fake\\.e2e\\.test " + std::to_string(second.port()), server))
        << server;
    // Nothing goes back to the first server.
    LineSocket back;
    EXPECT_FALSE(first.accept_link(back, (kRetrySeconds + 2) * 1000));
    kest.stop(3000);
}

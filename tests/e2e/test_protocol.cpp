// Whole-program tests of topics, modes and script errors: the real program
// in a channel of a private IRC server with a plain peer; its scripts and
// alias files are loaded through its settings. What it shows is read from
// its window logs.
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

bool wait_log_line(const KestProgram& kest, const std::string& window, const std::string& pattern,
                   int ms = kWaitMs)
{
    auto end = Clock::now() + std::chrono::milliseconds(ms);
    do {
        if (log_index(window_log(kest, window), pattern) >= 0)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    } while (Clock::now() < end);
    return false;
}

bool wait_status_line(const KestProgram& kest, const std::string& pattern, int ms = kWaitMs)
{
    auto end = Clock::now() + std::chrono::milliseconds(ms);
    do {
        if (log_index(kest.status_log(), pattern) >= 0)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    } while (Clock::now() < end);
    return false;
}

int count_lines(const std::string& log, const std::string& pattern)
{
    int n = 0;
    const std::regex re(pattern);
    for (const std::string& l : log_lines(log))
        if (std::regex_match(l, re))
            ++n;
    return n;
}

// Waits until the status log holds at least `n` lines matching the pattern.
bool wait_status_count(const KestProgram& kest, const std::string& pattern, int n, int ms = kWaitMs)
{
    auto end = Clock::now() + std::chrono::milliseconds(ms);
    do {
        if (count_lines(kest.status_log(), pattern) >= n)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    } while (Clock::now() < end);
    return false;
}

// A private server, a peer that holds #test first (its operator), and the
// program joining #test with its status and channel windows logged plainly.
struct ProtocolE2e : ::testing::Test {
    void SetUp() override
    {
        if (!server_available())
            GTEST_SKIP() << "the IRC server program " << kServerBinary << " is not installed";
        ASSERT_TRUE(server.start()) << "the private IRC server did not start\n" << server.log();
        ASSERT_TRUE(peer.login(server.port(), "peer")) << joined(peer.history());
        ASSERT_TRUE(peer.join("#test")) << joined(peer.history());
    }
    void TearDown() override
    {
        kest.stop(3000);
        server.stop();
    }
    void start()
    {
        kest.use_server(server.port());
        kest.set("options", "n5", option_line({{15, 1}, {25, 1}}));
        kest.log_status();
        ASSERT_TRUE(kest.start({"-n", kMe, "-j", "#test"}));
        ASSERT_TRUE(peer.wait_for(std::string("^:") + kMe + "!\\S+ JOIN :?#test$"))
            << "the program never joined #test\n" << kest.output();
    }
    // The peer says something in the channel; the program's scripts react.
    void say(const std::string& text) { peer.send_line("PRIVMSG #test :" + text); }

    IrcServer server;
    Peer peer;
    KestProgram kest;
};

TEST_F(ProtocolE2e, TopicsAndModesOfAPeerAreShownAndFireTheEvent)
{
    peer.send_line("TOPIC #test :preset topic");
    ASSERT_TRUE(peer.wait_for("^:peer!\\S+ TOPIC #test :preset topic$")) << joined(peer.history());
    kest.add_script("topic.kst",
                    "on *:TOPIC:#test:echo -s topic-event $nick $chan $1-\n"
                    "on ^*:TOPIC:#test:if ($1 == hidden) halt\n");
    ASSERT_NO_FATAL_FAILURE(start());

    // The topic of the join and who set it.
    EXPECT_TRUE(wait_log_line(kest, "#test", "\\* Topic 'preset topic'")) << window_log(kest, "#test");
    EXPECT_TRUE(wait_log_line(kest, "#test", "\\* peer Tarafından .* tarihinde yazılmış ?"))
        << window_log(kest, "#test");

    // The peer changes it: shown in the channel, and the event fires with
    // the setter, the channel and the new topic.
    peer.send_line("TOPIC #test :fresh topic");
    EXPECT_TRUE(wait_log_line(kest, "#test", "\\* peer Topici Değişerek 'fresh topic Yaptı'"))
        << window_log(kest, "#test");
    EXPECT_TRUE(wait_status_line(kest, "topic-event peer #test fresh topic")) << kest.status_log();

    // A handler halting the default: no line, but the event's normal phase
    // still runs.
    peer.send_line("TOPIC #test :hidden words");
    EXPECT_TRUE(wait_status_line(kest, "topic-event peer #test hidden words")) << kest.status_log();
    peer.send_line("TOPIC #test :after hidden");
    EXPECT_TRUE(wait_log_line(kest, "#test", "\\* peer Topici Değişerek 'after hidden Yaptı'"))
        << window_log(kest, "#test");
    EXPECT_EQ(log_index(window_log(kest, "#test"), ".*hidden words.*"), -1) << window_log(kest, "#test");

    // Modes set and removed by the peer are shown.
    peer.send_line("MODE #test +m");
    EXPECT_TRUE(wait_log_line(kest, "#test", "\\* peer mod değiştirdi: ?\\+m")) << window_log(kest, "#test");
    peer.send_line("MODE #test -m");
    EXPECT_TRUE(wait_log_line(kest, "#test", "\\* peer mod değiştirdi: ?-m")) << window_log(kest, "#test");
    // A topic of a channel the program is not on reaches it not at all.
    ASSERT_TRUE(peer.join("#other")) << joined(peer.history());
    peer.send_line("TOPIC #other :elsewhere");
    peer.send_line("TOPIC #test :last topic");
    EXPECT_TRUE(wait_status_line(kest, "topic-event peer #test last topic")) << kest.status_log();
    EXPECT_EQ(log_index(kest.status_log(), ".*elsewhere.*"), -1) << kest.status_log();
}

TEST_F(ProtocolE2e, ScriptErrorsNameTheLineAndFile)
{
    kest.add_script("err.kst",
                    "on *:TEXT:boom:#test:{\n"
                    "  echo -s before boom\n"
                    "  echo 4\n"
                    "  echo -s never\n"
                    "}\n"
                    "on *:TEXT:alias:#test:afail\n");
    write_file(kest.settings() / "al.ini", "[aliases]\nn0=afail {\nn1=  echo -s in alias\nn2=  echo 4\nn3=}\n");
    kest.set("afiles", "n0", "al.ini");
    ASSERT_NO_FATAL_FAILURE(start());

    const std::string missing = "\\* /echo: Yetersiz veya eksik parametre";
    struct Case {
        const char* said;
        const char* first;   // the handler's line before the error
        std::string error;   // the error line with its place
    } cases[] = {
        {"boom", "before boom", missing + " \\(Satır 3, err\\.kst\\)"},
        {"alias", "in alias", missing + " \\(Satır 3, al\\.ini\\)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.said);
        say(c.said);
        EXPECT_TRUE(wait_status_line(kest, c.first)) << kest.status_log();
        EXPECT_TRUE(wait_status_line(kest, c.error)) << kest.status_log();
    }
    EXPECT_EQ(log_index(kest.status_log(), "never"), -1) << kest.status_log();
}

TEST_F(ProtocolE2e, NestingErrorIsCaughtOnceAndTheNextScriptStillRuns)
{
    // An alias calling its own name runs the built-in, so the recursion
    // goes through a second alias; the counting alias runs at every other
    // depth up to the bound of 256: 128 times.
    kest.add_script("a.kst",
                    "alias deep { inc %deep | deeper }\n"
                    "alias deeper deep\n"
                    "on *:TEXT:go:#test:{ set %deep 0 | deep | echo -s a-after }\n"
                    "on *:TEXT:label:#test:{ set %deep 0 | deep | echo -s not-here | :error | echo -s caught %deep }\n");
    kest.add_script("b.kst", "on *:TEXT:*:#test:echo -s b-runs $1 %deep\n");
    ASSERT_NO_FATAL_FAILURE(start());

    const std::string nesting = "\\* Hafızayı Ayırmada Hata var \\(Satır 2, a\\.kst\\)";
    say("go");
    EXPECT_TRUE(wait_status_line(kest, "b-runs go 128")) << kest.status_log();
    say("label");
    EXPECT_TRUE(wait_status_line(kest, "b-runs label 128")) << kest.status_log();
    const std::string log = kest.status_log();
    EXPECT_EQ(count_lines(log, nesting), 2) << log;
    EXPECT_EQ(count_lines(log, "caught 128"), 1) << log;
    EXPECT_EQ(log_index(log, "a-after"), -1) << log;
    EXPECT_EQ(log_index(log, "not-here"), -1) << log;
    // In each firing the error shows before the next script's line.
    EXPECT_LT(log_index(log, nesting), log_index(log, "b-runs go 128")) << log;
    EXPECT_LT(log_index(log, "caught 128"), log_index(log, "b-runs label 128")) << log;
    // The program goes on answering.
    say("go");
    EXPECT_TRUE(wait_status_count(kest, "b-runs go 128", 2)) << kest.status_log();
    EXPECT_EQ(count_lines(kest.status_log(), nesting), 3) << kest.status_log();
    EXPECT_TRUE(kest.process().running());
}

} // namespace

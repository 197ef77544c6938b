// Whole-program test of a window's text from a real server: a peer's lines,
// terminal colour sequences among them, reach the program's channel window
// as control codes; /savebuf writes the window to a file and /loadbuf fills
// it back from one.
#include <gtest/gtest.h>

#include <chrono>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "e2e/harness.h"

using namespace e2e;

namespace {

using Clock = std::chrono::steady_clock;

const char* const kMe = "kesttext";
const char* const kChan = "#text";

// Runs the command of a "run" line said in a channel.
const char* const kRunScript = "on *:TEXT:run *:#:$2-\n";

// Waits at most `ms` for a file to hold the text; its contents.
std::string wait_file(const fs::path& p, const std::string& needle, int ms = kWaitMs)
{
    wait_for_file_text(p, needle, ms);
    return read_file(p);
}

bool wait_joined(Peer& peer, int ms = kWaitMs)
{
    auto end = Clock::now() + std::chrono::milliseconds(ms);
    while (Clock::now() < end) {
        peer.send_line(std::string("NAMES ") + kChan);
        IrcLine l;
        while (peer.wait_for("^:\\S+ (353|366) ", 2000, &l) && l.command == "353")
            if (!l.params.empty() && l.params.back().find(kMe) != std::string::npos)
                return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    return false;
}

TEST(WindowTextE2e, ServerLinesSaveToAFileAndLoadBack)
{
    if (!server_available())
        GTEST_SKIP() << "the IRC server program " << kServerBinary << " is not installed";
    IrcServer server;
    ASSERT_TRUE(server.start()) << server.log();
    Peer peer;
    ASSERT_TRUE(peer.login(server.port(), "peer")) << joined(peer.history());
    ASSERT_TRUE(peer.join(kChan));
    KestProgram kest;
    kest.use_server(server.port());
    kest.add_script("run.kst", kRunScript);
    ASSERT_TRUE(kest.start({"-n", kMe, "-j", kChan}));
    ASSERT_TRUE(wait_joined(peer)) << kest.output();

    peer.send_line(std::string("PRIVMSG ") + kChan + " :plain words here");
    peer.send_line(std::string("PRIVMSG ") + kChan + " :\x1b[1;31mbright red\x1b[0m and \x1b[2Jcleared");
    peer.send_line(std::string("PRIVMSG ") + kChan + " :last line for " + kMe);
    peer.send_line(std::string("PRIVMSG ") + kChan + " :run savebuf " + kChan + " saved.txt");
    const fs::path saved = kest.settings() / "saved.txt";
    const std::string text = wait_file(saved, "last line for " + std::string(kMe));
    EXPECT_NE(text.find("plain words here"), std::string::npos) << text;
    // The colour sequence became codes; the screen clearing vanished.
    EXPECT_NE(text.find("\x03" "13bright red\x0f and cleared"), std::string::npos) << text;
    EXPECT_EQ(text.find('\x1b'), std::string::npos) << text;

    // The last line only, loaded into a cleared window and saved again.
    peer.send_line(std::string("PRIVMSG ") + kChan + " :run loadbuf 1 -r " + kChan + " saved.txt");
    peer.send_line(std::string("PRIVMSG ") + kChan + " :run savebuf " + kChan + " again.txt");
    const fs::path again = kest.settings() / "again.txt";
    std::string second = wait_file(again, "\n");
    // The window now holds the loaded line and what arrived after the load
    // (the second "run" line itself).
    const std::string last_saved = [&] {
        std::string t = text;
        if (!t.empty() && t.back() == '\n')
            t.pop_back();
        return t.substr(t.rfind('\n') + 1);
    }();
    EXPECT_EQ(second.substr(0, second.find('\n')), last_saved) << second;
    EXPECT_EQ(second.find("plain words here"), std::string::npos) << second;

    kest.stop(3000);
    server.stop();
}

}  // namespace

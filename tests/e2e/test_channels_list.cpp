// Whole-program test of the channels list: helper clients make sixty
// channels with topics on a private IRC server, a second client
// joins some of them so that they have two users; the program asks for
// the list when it logs on, with its filter set to channels of two users
// or more. What it saved is read from its list file; the status window
// shows none of the channels.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "e2e/harness.h"

using namespace e2e;

namespace {

using Clock = std::chrono::steady_clock;

std::string read_text(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

struct ChannelsListE2e : ::testing::Test {
    void SetUp() override
    {
        if (!server_available())
            GTEST_SKIP() << "the IRC server program " << kServerBinary << " is not installed";
        ASSERT_TRUE(server.start()) << "the private IRC server did not start\n" << server.log();
    }
    void TearDown() override { server.stop(); }
    IrcServer server;
};

const char* const kScript = "on *:CONNECT:list\n";

constexpr int kMakers = 10;
constexpr int kChannels = 60;
constexpr int kBusy = 6;   // the first ones get a second user

} // namespace

TEST_F(ChannelsListE2e, TheReplyFillsTheWindowThroughTheFilterAndTheFileKeepsAll)
{
    // The server slows down a client that sends many lines: the channels
    // are made by several clients at once, each sending without waiting.
    Peer makers[kMakers];
    Peer second;
    for (int m = 0; m < kMakers; ++m)
        ASSERT_TRUE(makers[m].login(server.port(), "maker" + std::to_string(m))) << joined(makers[m].history());
    ASSERT_TRUE(second.login(server.port(), "second")) << joined(second.history());
    for (int i = 0; i < kChannels; ++i) {
        const std::string ch = "#room" + std::to_string(i);
        Peer& maker = makers[i % kMakers];
        maker.send_line("JOIN " + ch);
        maker.send_line("TOPIC " + ch + " :topic of room " + std::to_string(i));
    }
    for (int m = 0; m < kMakers; ++m) {
        makers[m].send_line("PING :made");
        ASSERT_TRUE(makers[m].wait_for("PONG .*made", kWaitMs * 6)) << joined(makers[m].history());
    }
    for (int i = 0; i < kBusy; ++i)
        second.send_line("JOIN #room" + std::to_string(i));
    second.send_line("PING :joined");
    ASSERT_TRUE(second.wait_for("PONG .*joined", kWaitMs * 6)) << joined(second.history());

    KestProgram kest;
    kest.use_server(server.port());
    // Connect at start; a plain LIST (this server takes no user-count range).
    kest.set("options", "n0", option_line({{0, 1}, {27, 0}}));
    kest.set("options", "n4", option_line({{5, 2}, {6, 9999}}));   // two users or more
    kest.set("options", "n5", option_line({{15, 1}, {25, 1}}));    // logs written at once, plain
    kest.log_status();
    kest.add_script("list.kst", kScript);
    ASSERT_TRUE(kest.start({"-n", "lister"}));

    // The list file is written as the reply comes in and closed at its end.
    const fs::path list_file = kest.settings() / "channels" / "channels.txt";
    std::string file;
    for (auto end = Clock::now() + std::chrono::milliseconds(kWaitMs * 2); Clock::now() < end;) {
        file = read_text(list_file);
        if (file.find("#room0 2 topic of room 0\r\n") != std::string::npos &&
            log_index(kest.status_log(), "Kanal Listesi Sonu") >= 0)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    ASSERT_NE(file.find("#room0 2 topic of room 0\r\n"), std::string::npos)
        << "no list file\n" << [&] {
               std::string all;
               std::error_code ec;
               for (const auto& e : fs::recursive_directory_iterator(kest.settings(), ec))
                   all += e.path().string() + "\n";
               return all + "FILE[" + file.substr(0, 600) + "]\n";
           }() << kest.status_log().substr(kest.status_log().size() > 1500 ? kest.status_log().size() - 1500 : 0);
    for (int i = 0; i < kBusy; ++i)
        EXPECT_NE(file.find("#room" + std::to_string(i) + " 2 topic of room " + std::to_string(i) + "\r\n"),
                  std::string::npos) << i;
    // Nothing of the list went to the status window as plain lines.
    EXPECT_LT(log_index(kest.status_log(), "#room\\d+ [12] "), 0) << kest.status_log();
    EXPECT_TRUE(kest.process().running()) << kest.output();
    kest.stop(3000);
    for (Peer& m : makers)
        m.close();
    second.close();
}

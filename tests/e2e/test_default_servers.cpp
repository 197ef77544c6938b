// A first start writes the program's own server list when the settings
// folder has none, and a later start leaves the user's list alone. The
// program never connects here (-noconnect): the networks are only named.
#include <gtest/gtest.h>

#include <chrono>
#include <regex>
#include <string>
#include <thread>

#include "e2e/harness.h"

using namespace e2e;

namespace {

bool wait_started(const KestProgram& kest, int runs)
{
    for (int i = 0; i < 100; ++i) {
        int n = 0;
        for (const std::string& l : log_lines(kest.status_log()))
            if (l.find("started here") != std::string::npos)
                ++n;
        if (n >= runs)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
}

TEST(DefaultServersE2e, AFirstStartWritesTheListOnceAndNeverOverTheUsersList)
{
    KestProgram kest;
    kest.log_status();
    kest.add_script("started.kst", "on *:START:echo -s started here\n");
    const fs::path servers = kest.settings() / "servers.ini";
    ASSERT_FALSE(fs::exists(servers));

    ASSERT_TRUE(kest.start({"-noconnect", "-nkestds"}));
    ASSERT_TRUE(wait_started(kest, 1)) << kest.output();
    const std::string written = read_file(servers);
    EXPECT_NE(written.find("[servers]"), std::string::npos) << written;
    EXPECT_TRUE(std::regex_search(written, std::regex("n\\d+=Libera\\.Chat[^\\n]*SERVER:irc\\.libera\\.chat:[0-9]")));
    EXPECT_TRUE(std::regex_search(written, std::regex("SERVER:irc\\.libera\\.chat:\\+6697")));
    EXPECT_TRUE(std::regex_search(written, std::regex("SERVER:irc\\.oftc\\.net:\\+6697GROUP:OFTC")));
    EXPECT_NE(written.find("[networks]"), std::string::npos);
    EXPECT_EQ(kest.stop(), 0);

    // The user's own list, edited by hand: kept as it is by the next start.
    const std::string mine = "[servers]\nn0=Benim sunucumSERVER:127.0.0.1:6667GROUP:Benim\n";
    ASSERT_TRUE(write_file(servers, mine));
    ASSERT_TRUE(kest.start_again({"-noconnect", "-nkestds"}));
    ASSERT_TRUE(wait_started(kest, 2)) << kest.output();
    EXPECT_EQ(kest.stop(), 0);
    const std::string after = read_file(servers);
    EXPECT_EQ(after.find("Libera"), std::string::npos) << after;
    EXPECT_NE(after.find("Benim sunucumSERVER:127.0.0.1:6667GROUP:Benim"), std::string::npos) << after;
}

}  // namespace

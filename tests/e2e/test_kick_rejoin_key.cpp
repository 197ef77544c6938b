// Rejoin after a kick on a channel with a key, against the private IRC
// server: the server lets the program back in only when its JOIN carries
// the key the channel has at the time of the kick.
#include <gtest/gtest.h>

#include <string>

#include "e2e/harness.h"
#include "e2e/net_support.h"

using namespace e2e;

namespace {

constexpr const char* kMe = "kestkey";

struct KickRejoinKeyE2e : ::testing::Test {
    void SetUp() override
    {
        if (!server_available())
            GTEST_SKIP() << "the IRC server program is not installed";
        ASSERT_TRUE(server.start()) << server.log();
        ASSERT_TRUE(peer.login(server.port(), "keyop")) << joined(peer.history());
    }
    void TearDown() override
    {
        kest.stop(3000);
        server.stop();
    }

    // The program answers "ping" in private; its answer comes after every
    // line it sent before it, so the server has answered those too.
    void sync(const std::string& tag)
    {
        peer.send_line(std::string("PRIVMSG ") + kMe + " :ping " + tag);
        ASSERT_TRUE(peer.wait_for(std::string("^:") + kMe + "!\\S+ PRIVMSG keyop :pong " + tag + "$"))
            << joined(peer.history()) << kest.output();
    }
    // Kicks the program and waits for it to come back in.
    bool kicked_and_back(const std::string& reason)
    {
        peer.send_line(std::string("KICK #k ") + kMe + " :" + reason);
        if (!peer.wait_for(std::string("^:keyop!\\S+ KICK #k ") + kMe + " "))
            return false;
        return peer.wait_for(std::string("^:") + kMe + "!\\S+ JOIN :?#k$");
    }

    IrcServer server;
    Peer peer;
    KestProgram kest;
};

} // namespace

TEST_F(KickRejoinKeyE2e, TheRejoinCarriesTheKeyTheChannelHasWhenTheKickComes)
{
    ASSERT_TRUE(peer.join("#k")) << joined(peer.history());
    peer.send_line("MODE #k +k sekrit");
    ASSERT_TRUE(peer.wait_for("^:keyop!\\S+ MODE #k \\+k :?sekrit$")) << joined(peer.history());

    kest.use_server(server.port());
    kest.set("options", "n0", option_line({{0, 1}, {7, 1}}));  // connect; rejoin on kick
    kest.add_script("key.kst", "on *:CONNECT:join #k sekrit\n"
                               "on *:TEXT:ping*:?:msg $nick pong $2\n");
    ASSERT_TRUE(kest.start({"-n", kMe}));
    ASSERT_TRUE(peer.wait_for(std::string("^:") + kMe + "!\\S+ JOIN :?#k$")) << kest.output();
    // The key learnt from the channel's modes after the join.
    ASSERT_NO_FATAL_FAILURE(sync("joined"));
    EXPECT_TRUE(kicked_and_back("first")) << joined(peer.history()) << kest.output();

    // A key set while the program is in the channel, and kicked twice.
    peer.send_line("MODE #k -k sekrit");
    ASSERT_TRUE(peer.wait_for("^:keyop!\\S+ MODE #k -k"));
    peer.send_line("MODE #k +k other");
    ASSERT_TRUE(peer.wait_for("^:keyop!\\S+ MODE #k \\+k :?other$"));
    ASSERT_NO_FATAL_FAILURE(sync("changed"));
    EXPECT_TRUE(kicked_and_back("second")) << joined(peer.history()) << kest.output();
    ASSERT_NO_FATAL_FAILURE(sync("again"));
    EXPECT_TRUE(kicked_and_back("third")) << joined(peer.history()) << kest.output();
    EXPECT_TRUE(kest.process().running()) << kest.output();
}

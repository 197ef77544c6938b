// Whole-program test of the channels folder's stored key: a peer on a
// private IRC server keeps a key-protected channel and invites the program,
// which joins on invitation with the key its channels folder keeps for that
// channel. Without the key the server refuses the join.
#include <gtest/gtest.h>

#include <string>

#include "e2e/harness.h"
#include "e2e/program_probe.h"

using namespace e2e;

namespace {

struct ChannelsFolderE2e : ::testing::Test {
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

TEST_F(ChannelsFolderE2e, AnInvitationToAKeyProtectedChannelJoinsWithTheStoredKey)
{
    struct Case {
        const char* what;
        const char* entry;  // the channels folder's entry, or empty for none
        const char* me;
        bool joins;
    } cases[] = {
        {"the key is kept", "#locked,\"our room\",sesame", "kestkey", true},
        {"no entry: no key", "", "kestnokey", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Peer owner;
        ASSERT_TRUE(owner.login(server.port(), std::string("owner") + (c.joins ? "1" : "2")))
            << joined(owner.history());
        ASSERT_TRUE(owner.join("#locked")) << joined(owner.history());
        owner.send_line("MODE #locked +k sesame");
        ASSERT_TRUE(owner.wait_for("MODE #locked \\+k")) << joined(owner.history());

        KestProgram kest;
        kest.use_server(server.port());
        kest.set("options", "n0", option_line({{0, 1}}));   // connect at start
        kest.set("options", "n3", option_line({{10, 1}}));  // join on invitation
        kest.set("options", "n5", option_line({{15, 1}, {25, 1}}));
        if (*c.entry)
            kest.set("chanfolder", "n0", c.entry);
        kest.log_status();
        ASSERT_TRUE(kest.start({"-n", c.me}));
        std::string state;
        ASSERT_TRUE(probe_until(kest, "$status", "connected", state)) << state << kest.output();

        owner.send_line(std::string("INVITE ") + c.me + " #locked");
        const bool joined_it = owner.wait_for(std::string("^:") + c.me + "!\\S+ JOIN :?#locked$", c.joins ? kWaitMs : 3000);
        EXPECT_EQ(joined_it, c.joins) << joined(owner.history()) << kest.status_log();
        EXPECT_TRUE(kest.process().running()) << kest.output();
        kest.stop(3000);
        owner.close();
    }
}

// The file server's per-peer limit counts only the sends that are still
// offered or running: finished, failed, timed-out and closed sends to the
// same peer leave room for new ones.
#include "dcc_window_fixture.h"

#include <string>

#include "core/numbered_texts.h"
#include "dcc/dcc_chat.h"

TEST_F(DccWindowTest, PerPeerSendsCountOnlyRunningOnes)
{
    struct Case {
        const char* nick;
        int state;
        const char* address;  // empty: "not available" (matched by nick)
        bool counts;
    } cases[] = {
        {"bob", kDccWaiting, "", true},
        {"BOB", kDccSending, "", true},                // nick compared without case
        {"bob", kDccDone, "", false},
        {"bob", kDccTimedOut, "", false},
        {"bob", kDccClosed, "", false},
        {"carol", kDccSending, "", false},             // another peer
        {"x", kDccSending, "10.0.0.5", true},          // the same address under another nick
        {"bob", kDccSending, "10.0.0.6", false},       // a known address that differs
    };
    int expected = 0;
    for (const Case& c : cases) {
        DccTransfer* t = open_transfer(kDccSend, c.nick, "f.bin", 5LL * 1024 * 1024 * 1024);
        ASSERT_TRUE(t);
        t->state = c.state;
        t->address = *c.address ? c.address : text_load_string(5001);
        expected += c.counts ? 1 : 0;
    }
    EXPECT_EQ(dccchat_running_sends_to("bob", "10.0.0.5"), expected);
    EXPECT_EQ(dccchat_running_sends_to("nobody", "10.9.9.9"), 0);
    // Gets never count.
    DccTransfer* g = open_transfer(kDccGet, "bob", "in.bin", 10);
    ASSERT_TRUE(g);
    g->state = kDccReceiving;
    EXPECT_EQ(dccchat_running_sends_to("bob", "10.0.0.5"), expected);
}

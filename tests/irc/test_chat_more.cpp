// Channel member and switch commands: /pop, /pvoice, /channel, /autojoin.
#include "chat_test_support.h"

#include "commands/channel_commands_more.h"
#include "display/nick_list.h"

namespace {

using ChatMore = ChatLink;

TEST_F(ChatMore, PopAndPvoiceNeedRankAndArguments)
{
    WindowRecord* chan = open("#c");
    nicklist_update("me", chan, kNickAddOrChange, 1);
    struct Case {
        std::vector<std::string> tokens;
        int variant;
        int own_bits;   // bits added to the own nick (0: plain member)
        int result;
        const char* sent;
    } cases[] = {
        {{"pop", "0", "bob"}, 0, 0, 1, nullptr},            // not an operator: text only
        {{"pop", "0", "#c", "bob"}, 0, 0, 1, nullptr},
        {{"pop", "x", "bob"}, 0, 0, 0, nullptr},            // delay must be a number
        {{"pop", "0"}, 0, 0, 0, nullptr},                   // no nick
        {{"pop", "0", "#c"}, 0, 0, 0, nullptr},             // channel without nick
        {{"pop", "0", "#nowin", "bob"}, 0, 0, 0, nullptr},  // no such window
    };
    chat_current = chan;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.tokens.size() > 1 ? c.tokens[1] : "");
        chat_sent.clear();
        EXPECT_EQ(run(c.tokens, cmd_pop, c.variant), c.result);
        if (c.sent) {
            ASSERT_EQ(chat_sent.size(), 1u);
            EXPECT_EQ(chat_sent[0], c.sent);
        } else {
            EXPECT_TRUE(chat_sent.empty());
        }
    }
    conn->connected = 0;
    EXPECT_EQ(run({"pop", "0", "bob"}, cmd_pop), 0);
}

TEST_F(ChatMore, PopDelayChangeStaysInRange)
{
    struct Case { int delay, change, add, want; } cases[] = {
        {15, 3, 0, 12}, {15, 1, 1, 8}, {1, 0, 0, 2}, {3, 3, 0, 2}, {10, 2, 1, 12},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.delay);
        EXPECT_EQ(chat_pop_delay(c.delay, c.change, c.add), c.want);
    }
}

TEST_F(ChatMore, ChannelWithoutCentralAsksForTheLists)
{
    WindowRecord* chan = open("#c");
    (void)chan;
    EXPECT_EQ(run({"channel", "#c"}, cmd_channel), 1);
    ASSERT_EQ(chat_sent.size(), 3u);
    EXPECT_EQ(chat_sent[0], "MODE #c +b\n");
    EXPECT_EQ(chat_sent[2], "MODE #c +I\n");
    chat_sent.clear();
    EXPECT_EQ(run({"channel", "nochan"}, cmd_channel), 0);
    EXPECT_EQ(run({"channel", "#other"}, cmd_channel), 0);
    EXPECT_TRUE(chat_sent.empty());
}

TEST_F(ChatMore, AutojoinSwitchesSetTheDelay)
{
    struct Case { std::vector<std::string> tokens; int delay; } cases[] = {
        {{"autojoin", "-d900"}, 600},
        {{"autojoin", "-d30"}, 30},
        {{"autojoin", "-s"}, -1},
        {{"autojoin"}, 0},
        {{"autojoin", "-d0"}, 0},
    };
    conn->registered = 1;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.tokens.size() > 1 ? c.tokens[1] : "none");
        irc_state(conn)->autojoin_delay = 77;
        EXPECT_EQ(run(c.tokens, cmd_autojoin), 1);
        EXPECT_EQ(irc_state(conn)->autojoin_delay, c.delay);
    }
    conn->registered = 0;
    EXPECT_EQ(run({"autojoin", "-d5"}, cmd_autojoin), 0);
}

}  // namespace

// Channel member and switch commands: /pop, /pvoice, /channel, /autojoin.
#include "chat_test_support.h"

#include "model/nick_list.h"
#include "commands/logon_switch_commands.h"
#include "commands/member_commands.h"
#include "irc/dispatch/automode.h"

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
        wire.clear();
        EXPECT_EQ(run(c.tokens, cmd_pop, c.variant), c.result);
        if (c.sent) {
            ASSERT_EQ(sent().size(), 1u);
            EXPECT_EQ(sent()[0], c.sent);
        } else {
            EXPECT_TRUE(sent().empty());
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
        EXPECT_EQ(automode_life(c.delay, c.change, c.add), c.want);
    }
}

// A delayed /pop or /pvoice waits in the queue and goes out when its time is
// up, only when the nick is still there, lacks the mode and we may give it.
TEST_F(ChatMore, DelayedPopGivesTheModeOnlyWhenStillNeeded)
{
    const int op = nicklist_prefix_bit(conn, '@');
    const int voice = nicklist_prefix_bit(conn, '+');
    ASSERT_NE(op, 0);
    ASSERT_NE(voice, 0);
    struct Case {
        const char* name;
        int variant;       // 0 /pop, 1 /pvoice
        int own_bits;      // our rank when the time is up
        int target_bits;   // the nick's bits then; 0: gone
        bool renamed;      // the nick changed to "bobby" meanwhile
        const char* want;  // the line sent at the end, or none
    } cases[] = {
        {"op given", 0, op, 1, false, "MODE #c +o bob\n"},
        {"voice given", 1, voice, 1, false, "MODE #c +v bob\n"},
        {"already op", 0, op, 1 | op, false, nullptr},
        {"already voiced", 1, op, 1 | voice, false, nullptr},
        {"op lost meanwhile", 0, 1, 1, false, nullptr},
        {"nick left", 0, op, 0, false, nullptr},
        {"follows a nick change", 0, op, 1, true, "MODE #c +o bobby\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WindowRecord* chan = open("#c");
        chat_current = chan;
        nicklist_update("me", chan, kNickAddOrChange, 1 | op | voice);
        nicklist_update("bob", chan, kNickAddOrChange, 1);
        wire.clear();
        ASSERT_EQ(run({c.variant ? "pvoice" : "pop", "5", "bob"}, cmd_pop, c.variant), 1);
        EXPECT_TRUE(sent().empty()) << "a delayed mode went out at once";
        ASSERT_EQ(automode_entries(conn).size(), 1u);
        const int life = automode_entries(conn)[0].life;
        EXPECT_GE(life, 2);
        EXPECT_LE(life, 8);

        nicklist_update("me", chan, kNickRemove, 0);
        nicklist_update("me", chan, kNickAddOrChange, c.own_bits);
        const std::string nick = c.renamed ? "bobby" : "bob";
        nicklist_update("bob", chan, kNickRemove, 0);
        if (c.renamed) automode_rename("bob", "bobby", conn);
        if (c.target_bits) nicklist_update(nick, chan, kNickAddOrChange, c.target_bits);
        for (int second = 0; second < life - 1; ++second) automode_tick(conn);
        EXPECT_TRUE(sent().empty()) << "sent before its time";
        automode_tick(conn);
        EXPECT_TRUE(automode_entries(conn).empty());
        if (c.want) {
            ASSERT_EQ(sent().size(), 1u);
            EXPECT_EQ(sent()[0], c.want);
        } else {
            EXPECT_TRUE(sent().empty());
        }
        win_record_free(chan);
        windows.pop_back();
    }
}

// A nick that leaves has its queued modes decided at the next second.
TEST_F(ChatMore, ForgottenNickIsDecidedAtTheNextTick)
{
    WindowRecord* chan = open("#c");
    automode_queue(9, "#c", "bob", 0, conn);
    automode_queue(9, "#c", "ann", 0, conn);
    automode_forget("BOB", conn);
    automode_tick(conn);
    ASSERT_EQ(automode_entries(conn).size(), 1u);
    EXPECT_EQ(automode_entries(conn)[0].text, "#c ann");
    EXPECT_TRUE(sent().empty());
    (void)chan;
}

TEST_F(ChatMore, ChannelWithoutCentralAsksForTheLists)
{
    WindowRecord* chan = open("#c");
    (void)chan;
    EXPECT_EQ(run({"channel", "#c"}, cmd_channel), 1);
    ASSERT_EQ(sent().size(), 3u);
    EXPECT_EQ(sent()[0], "MODE #c +b\n");
    EXPECT_EQ(sent()[2], "MODE #c +I\n");
    wire.clear();
    EXPECT_EQ(run({"channel", "nochan"}, cmd_channel), 0);
    EXPECT_EQ(run({"channel", "#other"}, cmd_channel), 0);
    EXPECT_TRUE(sent().empty());
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

namespace {

class ReplyCaptions : public ChatLink {};

// The channel's caption follows the replies that change what it shows: the
// topic (332, 331) and the modes (324); a reply for another channel leaves
// it alone, and the same reply twice gives the same caption.
TEST_F(ReplyCaptions, TopicAndModeRepliesRecomputeTheCaption)
{
    WindowRecord* chan = open("#k");
    WindowRecord* other = open("#other");
    other->hwnd->setWindowTitle("untouched");
    const struct {
        const char* line;
        const char* caption;
    } cases[] = {
        {":srv 332 me #k :the topic", "#k [0]: the topic"},
        {":srv 332 me #k :the topic", "#k [0]: the topic"},
        {":srv 324 me #k +nt", "#k [0] [+nt]: the topic"},
        {":srv 331 me #k :No topic is set", "#k [0] [+nt]"},
        {":srv 324 me #k +ntlk 12 sesame", "#k [0] [+ntlk 12 sesame]"},
        {":srv 324 me #k +", "#k [0]"},
        {":srv 332 me #nowhere :ignored", "#k [0]"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        feed(c.line);
        EXPECT_EQ(chan->hwnd->windowTitle().toStdString(), c.caption);
        EXPECT_EQ(other->hwnd->windowTitle().toStdString(), "untouched");
    }
}

}  // namespace

// Server capabilities from 005 lines fed through the dispatcher, the
// defaults by server kind, and the prefix rank tests.
#include "model/connection.h"
#include "irc/dispatch/dispatcher.h"
#include "irc/numerics/isupport.h"
#include "irc/numerics/numerics.h"
#include "support/hook_guard.h"
#include "support/test_wire.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {


class Isupport : public ::testing::Test {
protected:
    HookGuard hooks_;  // every seam back as it was when the test ends

    void SetUp() override
    {
        wire.clear();
        conn = conn_new(nullptr);
        ASSERT_TRUE(wire.ok());
        wire.attach(conn);
        conn->server_name = "s";
        irc_state_new_link(conn);
    }
    void TearDown() override
    {
        conn->socket = -1;
        conn_free(conn);
    }
    void feed(const std::string& tokens) { irc_dispatch_line(":s 005 me " + tokens + " :are supported", conn); }
    // The lines sent to the server so far.
    const std::vector<std::string>& sent() { return wire.lines(); }

    TestWire wire;
    Connection* conn = nullptr;
};

TEST_F(Isupport, PrefixTokenGivesCharactersLettersAndBits)
{
    struct Case {
        const char* token;
        const char* chars;
        const char* modes;
        std::vector<int> bits;
    } cases[] = {
        {"PREFIX=(qaohv)~&@%+", "~&@%+", "qaohv", {32, 16, 8, 4, 2}},
        {"PREFIX=(ov)@+", "@+", "ov", {4, 2}},
        {"PREFIX=ov@+", "@%+", "ohv", {8, 4, 2}},        // no parentheses: defaults stay
        {"PREFIX=(o$v)@$+", "@+", "ov", {4, 2}},
        {"PREFIX=(ohv)@+", "@+", "oh", {4, 2}},          // the shorter side counts
        {"PREFIX=(o)@%+", "@", "o", {2}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.token);
        irc_state_new_link(conn);
        feed(c.token);
        EXPECT_EQ(conn->nick_prefixes, c.chars);
        EXPECT_EQ(conn->prefix_modes, c.modes);
        for (std::size_t i = 0; i < c.bits.size(); ++i) {
            char p[2] = {c.chars[i], 0};
            EXPECT_EQ(isupport_prefix_bit(p, conn), c.bits[i]);
        }
        EXPECT_EQ(irc_state(conn)->prefix_bits[c.bits.size()], 0);
    }
}

TEST_F(Isupport, HostilePrefixOfThreeHundredCharactersIsClamped)
{
    std::string letters, chars;
    for (int i = 0; i < 300; ++i) {
        letters += static_cast<char>('a' + i % 26);
        chars += static_cast<char>(0x21 + i % 90 == '$' ? '!' : 0x21 + i % 90);
    }
    feed("PREFIX=(" + letters + ")" + chars);
    EXPECT_EQ(static_cast<int>(conn->nick_prefixes.size()), kMaxPrefixes);
    EXPECT_EQ(conn->nick_prefixes.size(), conn->prefix_modes.size());
    const IrcConnState* st = irc_state(conn);
    int prev = 0x7fffffff;
    for (int i = 0; i < kMaxPrefixes; ++i) {
        EXPECT_GT(st->prefix_bits[i], 1);
        EXPECT_LT(st->prefix_bits[i], prev);  // strictly decreasing, no overflow
        prev = st->prefix_bits[i];
    }
    EXPECT_EQ(st->prefix_bits[kMaxPrefixes], 0);
}

TEST_F(Isupport, TokensSetTheirFields)
{
    feed("CHANTYPES=#&@ CHANMODES=beI,k,l,imnpst MODES=40 NETWORK=Ex\"am ple TOPICLEN=5000 "
         "TARGMAX=PRIVMSG:4,NOTICE:,WHOIS:1 NAMESX UHNAMES WATCH=128 ELIST=cmt SAFELIST");
    const IrcConnState* st = irc_state(conn);
    EXPECT_EQ(conn->chan_types, "#&");
    EXPECT_EQ(st->chan_modes, "beI,k,l,imnpst");
    EXPECT_EQ(st->has_excepts, 1);
    EXPECT_EQ(st->has_invex, 1);
    EXPECT_EQ(st->modes_per_line, 15);
    EXPECT_EQ(conn->network, "Exam");
    EXPECT_EQ(st->topic_len, 1024);
    EXPECT_EQ(st->privmsg_targets, 4);
    EXPECT_EQ(st->notice_targets, 0);
    EXPECT_EQ(st->whois_targets, 1);
    EXPECT_EQ(st->has_namesx, 1);
    EXPECT_EQ(st->has_uhnames, 1);
    EXPECT_EQ(st->watch_limit, 128);
    EXPECT_EQ(st->elist, "CMT");
    EXPECT_EQ(st->has_safelist, 1);
}

TEST_F(Isupport, NumbersAreClampedAndBareTokensIgnored)
{
    struct Case {
        const char* token;
        int modes;
        int topic;
        const char* chantypes;
    } cases[] = {
        {"MODES=1", 3, 0, "#&"},
        {"MODES=abc", 3, 0, "#&"},
        {"TOPICLEN=-1", 3, 0, "#&"},
        {"CHANTYPES=", 3, 0, "#&"},
        {"CHANTYPES=#", 3, 0, "#"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.token);
        irc_state_new_link(conn);
        feed(c.token);
        EXPECT_EQ(irc_state(conn)->modes_per_line, c.modes);
        EXPECT_EQ(irc_state(conn)->topic_len, c.topic);
        EXPECT_EQ(conn->chan_types, c.chantypes);
    }
}

TEST_F(Isupport, IrcxAndSplitSendOnce)
{
    feed("IRCX SPLIT");
    feed("IRCX");
    EXPECT_EQ(sent(), (std::vector<std::string>{"IRCX\n", "CAPAB SPLIT\n"}));
    EXPECT_EQ(conn->nick_prefixes, ".@+");
    EXPECT_EQ(conn->prefix_modes, "qov");
    EXPECT_EQ(conn->chan_types, "#&%");
}

TEST_F(Isupport, NetworkJavaIsIgnored)
{
    feed("NETWORK=Real");
    feed("NETWORK=JAVA");
    EXPECT_EQ(conn->network, "Real");
}

TEST_F(Isupport, DefaultsFollowServerFlags)
{
    struct Case {
        int flags;
        const char* chars;
        const char* types;
        const char* modes;
    } cases[] = {
        {0, "@%+", "#&", "bIe,k,l"},
        {0x100, "@%+-", "#&", "bI,k,l"},
        {0x80, "@%+", "#&", "bIde,k,l"},
        {0x40, "@%+", "#&+!", "bIe,k,l"},
        {0x04, "@%+", "#&+", "bIe,k,l"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.flags);
        irc_state_new_link(conn);
        conn->server_flags = c.flags;
        conn_set_isupport_defaults(conn);
        EXPECT_EQ(conn->nick_prefixes, c.chars);
        EXPECT_EQ(conn->chan_types, c.types);
        EXPECT_EQ(irc_state(conn)->chan_modes, c.modes);
    }
    EXPECT_EQ(isupport_chanmode_in_group("b", 0, conn), 'b');
    EXPECT_EQ(isupport_chanmode_in_group("k", 0, conn), 0);
    EXPECT_EQ(isupport_chanmode_in_group("l", 3, conn), 0);
}

TEST_F(Isupport, RankTests)
{
    feed("PREFIX=(qaohv)~&@%+");
    const int half = isupport_prefix_bit("%", conn);
    const int voice = isupport_prefix_bit("+", conn);
    const int op = isupport_prefix_bit("@", conn);
    EXPECT_EQ(chan_bits_have_rank(half, 1, conn), 1);
    EXPECT_EQ(chan_bits_have_rank(voice, 1, conn), 0);
    EXPECT_EQ(chan_bits_have_rank(voice, 2, conn), 1);
    EXPECT_EQ(chan_bits_have_rank(half, 3, conn), 0);
    EXPECT_EQ(isupport_top_prefix(op | voice, conn), '@');
    EXPECT_EQ(prefix_char_of_bits(op | voice, conn), "@+");
    EXPECT_EQ(isupport_prefix_rank("@", conn), 2);
    EXPECT_EQ(isupport_prefix_rank("x", conn), -1);
    EXPECT_EQ(isupport_mode_bits("ov", conn), op | voice);
    EXPECT_EQ(isupport_is_chantype("#c", conn), '#');
    EXPECT_EQ(isupport_is_nick_prefix("~x", conn), '~');
    irc_state_new_link(conn);
    feed("PREFIX=(v)+");
    EXPECT_EQ(chan_bits_have_rank(isupport_prefix_bit("+", conn), 2, conn), 0);
}

}  // namespace

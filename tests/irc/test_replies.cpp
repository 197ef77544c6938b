// NAMES, topic and join-refusal replies fed through the reply handling.
#include "chat_test_support.h"

#include "commands/channel_commands.h"
#include "model/nick_list.h"
#include "core/options.h"
#include "irc/dispatch/membership.h"
#include "irc/dispatch/modes.h"
#include "irc/dispatch/outgoing_notes.h"

namespace {

class Replies : public ChatLink {};

TEST_F(Replies, NamesStripsEveryAnnouncedPrefixInAnyOrder)
{
    conn->nick_prefixes = "~&@%+";
    conn->prefix_modes = "qaohv";
    WindowRecord* chan = open("#k");
    struct Case {
        const char* entry;
        const char* nick;
        const char* prefixes;  // expected bits as prefix characters
    } cases[] = {
        {"plain", "plain", ""},
        {"@op", "op", "@"},
        {"+@voiceop", "voiceop", "@+"},      // voice listed before op: both stripped
        {"@+opvoice", "opvoice", "@+"},
        {"~&@%+all", "all", "~&@%+"},
        {"+%~mixed", "mixed", "~%+"},
        {"&admin!u@h.example", "admin", "&"},  // UHNAMES form
    };
    std::string names;
    for (const Case& c : cases) names += std::string(names.empty() ? "" : " ") + c.entry;
    ASSERT_EQ(feed(":srv 353 me = #k :" + names), 1);
    EXPECT_EQ(nicklist_count(chan), static_cast<int>(std::size(cases)));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.entry);
        int bits = nicklist_update(c.nick, chan, kNickTest, 0);
        ASSERT_NE(bits, 0) << "nick stored under another name";
        int want = 0;
        for (const char* p = c.prefixes; *p; ++p) want |= nicklist_prefix_bit(conn, *p);
        EXPECT_EQ(bits & ~1, want & ~1);
        EXPECT_EQ(nicklist_find(chan, std::string("@") + c.nick), nullptr);
        EXPECT_EQ(nicklist_find(chan, std::string("+") + c.nick), nullptr);
    }
}

TEST_F(Replies, NamesEntryParseSplitsNickAndAddress)
{
    conn->nick_prefixes = "@+";
    conn->prefix_modes = "ov";
    struct Case {
        const char* entry;
        const char* nick;
        const char* address;
        int bits;
    } cases[] = {
        {"+@n!u@h", "n", "u@h", nicklist_prefix_bit(conn, '@') | nicklist_prefix_bit(conn, '+')},
        {"n", "n", "", 0},
        {"@", "", "", nicklist_prefix_bit(conn, '@')},
        {"%n", "%n", "", 0},  // not a prefix of this server: part of the nick
        {"n!", "n", "", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.entry);
        std::string nick, address;
        EXPECT_EQ(names_entry_parse(c.entry, conn, nick, address), c.bits);
        EXPECT_EQ(nick, c.nick);
        EXPECT_EQ(address, c.address);
    }
}

TEST_F(Replies, NamesReplyRebuildsTheListOnceAndEndsAtTheEndLine)
{
    conn->nick_prefixes = "@+";
    conn->prefix_modes = "ov";
    WindowRecord* chan = open("#k");
    feed(":srv 353 me = #k :@a b");
    feed(":srv 353 me = #k :c");  // second line of the same reply: adds
    EXPECT_EQ(nicklist_count(chan), 3);
    feed(":srv 366 me #k :End of /NAMES list.");
    feed(":srv 353 me = #k :x y");  // a new reply: the old members go
    EXPECT_EQ(nicklist_count(chan), 2);
    EXPECT_EQ(nicklist_find(chan, "a"), nullptr);
    ASSERT_FALSE(chat_status.empty());
    EXPECT_EQ(chat_status.back(), "#k x y");
}

TEST_F(Replies, NamesWithoutWindowOrWithHostileChannelTouchesNothing)
{
    WindowRecord* chan = open("#k");
    EXPECT_EQ(feed(":srv 353 me = #other :a b"), 1);
    EXPECT_EQ(nicklist_count(chan), 0);
    chat_status.clear();
    EXPECT_EQ(feed(":srv 353 me = #" + std::string(300, 'x') + " :a b"), 1);
    EXPECT_TRUE(chat_status.empty());
}

TEST_F(Replies, TopicAndSetterGoToTheChannelWindow)
{
    WindowRecord* chan = open("#k");
    feed(":srv 332 me #k :\x02hello\x02 world");
    EXPECT_EQ(chan->topic, "\x02hello\x02 world");
    ASSERT_EQ(chat_shown.size(), 1u);
    EXPECT_EQ(chat_shown[0].rec, chan);
    EXPECT_EQ(chat_shown[0].text, "* Topic 'hello world\x0F'");
    feed(":srv 333 me #k alice 1000000000");
    ASSERT_EQ(chat_shown.size(), 2u);
    EXPECT_EQ(chat_shown[1].text.rfind("* alice Tarafından ", 0), 0u);
    EXPECT_TRUE(chat_status.empty());
}

TEST_F(Replies, TopicWithoutWindowGoesToStatusAndSeparatesEndOfNames)
{
    struct Case {
        const char* line;
        const char* shown_prefix;
    } cases[] = {
        {":srv 332 me #none :the topic", "#none the topic"},
        {":srv 331 me #none :No topic is set", "#none No topic is set"},
        {":srv 333 me #none bob 1000000000", "#none Topic  bob tarafından "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        chat_status.clear();
        EXPECT_EQ(feed(c.line), 1);
        ASSERT_EQ(chat_status.size(), 1u);
        EXPECT_EQ(chat_status[0].rfind(c.shown_prefix, 0), 0u) << chat_status[0];
    }
    feed(":srv 331 me #none :No topic is set");
    EXPECT_EQ(reply_state(conn)->topic_shown, 1);
    feed(":srv 366 me #none :End of /NAMES list.");
    EXPECT_EQ(reply_state(conn)->topic_shown, 0);
}

TEST_F(Replies, JoinRefusalsAndTheirLookAlikes)
{
    WindowRecord* chan = open("#k");
    struct Case {
        const char* line;
        int handled;
        bool refusal;
    } cases[] = {
        {":srv 471 me #k :Cannot join channel (+l)", 1, true},
        {":srv 474 me #k :Cannot join channel (+b)", 1, true},
        {":srv 477 me #k :You need to be identified to join", 0, false},  // word 3 lacks "join"
        {":srv 489 me #k :You're neither voiced nor channel operator", 1, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        chat_status.clear();
        chat_shown.clear();
        EXPECT_EQ(feed(c.line), c.handled);
        if (c.refusal) {
            ASSERT_EQ(chat_status.size(), 1u);
            EXPECT_EQ(chat_status[0].rfind("#k Kanalına tekrar giremezsiniz ", 0), 0u);
            ASSERT_EQ(chat_shown.size(), 1u);
            EXPECT_EQ(chat_shown[0].rec, chan);
        } else {
            EXPECT_TRUE(chat_shown.empty());
        }
    }
}

// The join asks the server for the modes; that answer and the creation time
// that follows it fill the window without a word in the status window. The
// same replies asked for by the user are shown.
TEST_F(Replies, ModesAndCreationTimeOfOurOwnQueryStayQuiet)
{
    WindowRecord* chan = open("#k");
    ChannelMembership* st = chan_membership(chan);
    st->pending_modes = 1;
    EXPECT_EQ(feed(":srv 324 me #k +tnlk 10 secret"), 1);
    EXPECT_EQ(chan->chan_key, "secret");
    EXPECT_EQ(chan->chan_modes, "[+ntlk 10 secret]");
    EXPECT_EQ(chan_mode_limit(chan), 10);
    EXPECT_EQ(st->pending_modes, 0);
    EXPECT_EQ(st->pending_created, 1);
    EXPECT_EQ(feed(":srv 329 me #k 1700000000"), 1);
    EXPECT_EQ(st->pending_created, 0);
    EXPECT_TRUE(chat_status.empty());

    // Asked for again by the user: both are shown now.
    EXPECT_EQ(feed(":srv 324 me #k +tnk *"), 1);
    EXPECT_EQ(chan->chan_key, "");  // "*" clears the key
    ASSERT_EQ(chat_status.size(), 1u);
    EXPECT_EQ(feed(":srv 329 me #k 1700000000"), 1);
    ASSERT_EQ(chat_status.size(), 2u);
    EXPECT_EQ(chat_status[1].rfind("#k Yapıldı ", 0), 0u);
    EXPECT_EQ(feed(":srv 329 me #k 0"), 1);  // no time: nothing
    EXPECT_EQ(chat_status.size(), 2u);
}

// 403 and 442 take the channel off the pending joins; 403 also closes a
// window still waiting for that join (with channels kept open it stays,
// marked as left); a reply that answers channel central's own request is
// not shown.
TEST_F(Replies, NoSuchChannelAndNotOnChannel)
{
    const int saved_keep = opt(OPT_KEEP_CHANNELS_OPEN);
    opt_set(OPT_KEEP_CHANNELS_OPEN, 1);
    WindowRecord* waiting = open("#gone");
    struct Case {
        const char* line;
        const char* pending_request;  // channel central waits for this name
        bool closes;
        bool shown;
    } cases[] = {
        {":srv 403 me #gone :No such channel", "", true, true},
        {":srv 442 me #gone :You're not on that channel", "", false, true},
        {":srv 403 me #gone :No such channel", "#GONE", true, false},
        {":srv 442 me #gone :You're not on that channel", "#gone", false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        chat_status.clear();
        waiting->chan_state = 1;  // its join was sent and not answered
        waiting->chan_left = 0;
        conn->pending_channel = c.pending_request;
        irc_note_joining("#gone", 2, conn);
        EXPECT_EQ(feed(c.line), 1);
        EXPECT_EQ(irc_pending_join_flag("#gone", conn), 0) << "still pending";
        EXPECT_EQ(waiting->chan_left, c.closes ? 1 : 0);
        EXPECT_EQ(waiting->chan_state, c.closes ? 2 : 1);
        EXPECT_EQ(!chat_status.empty(), c.shown);
        EXPECT_TRUE(conn->pending_channel.empty());
    }
    opt_set(OPT_KEEP_CHANNELS_OPEN, saved_keep);
}

// The channel-list state: asked for (1), arriving (2), idle (0).
TEST_F(Replies, ChannelListStateFollowsItsReplies)
{
    struct Case {
        int before;
        const char* line;
        int after;
    } cases[] = {
        {1, ":srv 321 me Channel :Users  Name", 2},
        {2, ":srv 323 me :End of /LIST", 0},
        {2, ":srv 263 me LIST :Server load is temporarily too heavy", 0},
        {1, ":srv 263 me LIST :Server load is temporarily too heavy", 0},
        {0, ":srv 263 me LIST :Server load is temporarily too heavy", 0},
        {1, ":srv 334 me :LIST <channel>", 0},
        {2, ":srv 334 me :LIST <channel>", 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        chat_status.clear();
        conn->chanlist_busy = c.before;
        EXPECT_EQ(feed(c.line), 1);
        EXPECT_EQ(conn->chanlist_busy, c.after);
        EXPECT_FALSE(chat_status.empty());
    }
}

// "/list" marks the list as asked for; "/list stop" sends the stop once.
TEST_F(Replies, ListStopIsSentOnce)
{
    wire.clear();
    conn->registered = 1;
    // A plain LIST: the user-count range form is off.
    const int range = opt(OPT_CHANLIST_RANGE_REQUEST);
    opt_set(OPT_CHANLIST_RANGE_REQUEST, 0);
    EXPECT_EQ(run({"list"}, cmd_list), 1);
    EXPECT_EQ(conn->chanlist_busy, 1);
    EXPECT_EQ(feed(":srv 321 me Channel :Users  Name"), 1);
    EXPECT_EQ(run({"list"}, cmd_list), 0);  // already listing
    EXPECT_EQ(run({"list", "stop"}, cmd_list), 1);
    EXPECT_EQ(run({"list", "STOP"}, cmd_list), 1);
    EXPECT_EQ(sent(), (std::vector<std::string>{"LIST\n", "LIST stop\n"}));
    EXPECT_EQ(conn->chanlist_busy, 2);  // the end reply finishes it
    EXPECT_EQ(feed(":srv 323 me :End of /LIST"), 1);
    EXPECT_EQ(conn->chanlist_busy, 0);
    opt_set(OPT_CHANLIST_RANGE_REQUEST, range);
    script_error_clear();
}

TEST_F(Replies, UnknownModeIsShown)
{
    EXPECT_EQ(feed(":srv 472 me Z :is unknown mode char to me"), 1);
    ASSERT_EQ(chat_status.size(), 1u);
}

}  // namespace

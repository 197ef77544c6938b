// The server-line dispatcher through a fake link: lines are fed to
// irc_dispatch_line, sent lines are read from the link's wire, shown lines
// are read from the status window's print path, and events and raw events
// are heard by a real script.
#include "model/connection.h"
#include "core/options.h"
#include "irc/dispatch/dispatcher.h"
#include "irc/dispatch/server_commands.h"
#include "irc/link/connect.h"
#include "irc/lists/notify_list.h"
#include "irc/numerics/isupport.h"
#include "irc/numerics/numerics.h"
#include "irc/numerics/query_replies.h"
#include "irc/numerics/replies.h"
#include "support/hook_guard.h"
#include "commands/channel_commands.h"
#include "event_script.h"
#include "printed_lines.h"
#include "support/test_wire.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace {



class DispatchLink : public ::testing::Test {
protected:
    HookGuard hooks_;  // every seam back as it was when the test ends

    void SetUp() override
    {
        wire.clear();
        // Every raw event says its word.
        load_script({"raw *:*:heard $event"});
        conn = conn_new(nullptr);
        ASSERT_TRUE(wire.ok());
        wire.attach(conn);
        conn->server_name = "s";
        conn->live_identity[2] = "me";
        irc_state_new_link(conn);
        status_ = buffer_window_open(conn, "Status", kWinStatus);
    }
    void TearDown() override
    {
        script_.reset();
        buffer_window_free(status_);
        conn->socket = -1;
        conn_free(conn);
    }
    // The script in place of the one loaded before.
    void load_script(const std::vector<std::string>& lines)
    {
        script_.reset();
        script_ = std::make_unique<EventScript>(lines);
        ASSERT_TRUE(script_->loaded());
    }
    // The lines shown in the status window since the last clear.
    std::vector<std::string> shown() const { return printed_.in(status_); }

    // The lines sent to the server so far.
    const std::vector<std::string>& sent() { return wire.lines(); }

    TestWire wire;
    Connection* conn = nullptr;
    WindowRecord* status_ = nullptr;
    PrintedLines printed_;
    std::unique_ptr<EventScript> script_;
};

TEST(IrcTokenize, SplitsSourceParametersAndTrailing)
{
    struct Case {
        const char* line;
        std::vector<std::string> words;
        int trailing;
    } cases[] = {
        {":nick!user@host PRIVMSG #c :hello there", {"nick!user@host", "PRIVMSG", "#c", "hello there"}, 3},
        {":irc.example PRIVMSG #c hello", {"irc.example", "PRIVMSG", "#c", "hello"}, 0},
        {"  :a b", {"a", "b"}, 0},
        {": a   b    :x  y ", {"a", "b", "x  y "}, 2},
        {"CMD a\tb c:d", {"CMD", "a\tb", "c:d"}, 0},
        {"CMD a :", {"CMD", "a", ""}, 2},
        {"CMD a   ", {"CMD", "a"}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        IrcMessage msg;
        msg.raw = c.line;
        irc_message_tokenize(msg);
        EXPECT_EQ(msg.words, c.words);
        EXPECT_EQ(msg.trailing_word, c.trailing);
        EXPECT_EQ(msg.last_word, static_cast<int>(c.words.size()) - 1);
    }
}

TEST(IrcTokenize, HostileWordCountStaysInsideTheTable)
{
    std::string line = ":s X";
    for (int i = 0; i < 3000; ++i) line += " a";
    IrcMessage msg;
    msg.raw = line;
    irc_message_tokenize(msg);
    EXPECT_LE(static_cast<int>(msg.words.size()), kIrcMaxWords - 1);
    EXPECT_EQ(msg.last_word, static_cast<int>(msg.words.size()) - 1);
    EXPECT_EQ(msg.words[1], "X");
}

// The commands the protocol must handle, each with the fewest parameters
// its handler needs: the table holds exactly these, each reachable in any
// case; numerics and unknown words are not in it.
TEST(ServerMessageTable, HoldsEveryCommandWithItsMinimum)
{
    struct Expected {
        const char* word;
        int min_params;
        int flags;
    } expected[] = {
        {"ERROR", 0, kSourceDropped}, {"EVENT", 2, 0},   {"INVITE", 2, 0},
        {"JOIN", 1, 0},               {"KICK", 2, 0},    {"KILL", 1, 0},
        {"KNOCK", 1, 0},              {"MODE", 1, kSenderSeen},
        {"NICK", 1, 0},               {"NOTICE", 1, kSenderSeen},
        {"PART", 1, 0},               {"PING", 0, kSourceDropped},
        {"PONG", 0, 0},               {"PRIVMSG", 2, kSenderSeen},
        {"PROP", 1, 0},               {"QUIT", 0, 0},    {"TOPIC", 1, 0},
        {"WALLOPS", 0, 0},            {"WHISPER", 3, 0},
    };
    std::set<std::string> in_table;
    for (const ServerMessage& e : irc_server_messages()) {
        EXPECT_TRUE(in_table.insert(e.word).second) << "twice: " << e.word;
        EXPECT_NE(e.handler, nullptr) << e.word;
    }
    std::set<std::string> wanted;
    for (const Expected& x : expected) {
        SCOPED_TRACE(x.word);
        wanted.insert(x.word);
        std::string lower = x.word;
        for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        for (const std::string& word : {std::string(x.word), lower}) {
            const ServerMessage* e = irc_server_message(word);
            ASSERT_NE(e, nullptr) << word;
            EXPECT_STREQ(e->word, x.word);
            EXPECT_EQ(e->min_params, x.min_params);
            EXPECT_EQ(e->flags, x.flags);
        }
    }
    EXPECT_EQ(in_table, wanted);
    for (const char* word : {"", "001", "PRIVMSGX", "PRIV", "ERROR:", "FROB", "#a"})
        EXPECT_EQ(irc_server_message(word), nullptr) << word;
}

// Every number is in the numerics table once, with a handler, and is found
// by its number; no entry carries a flag of the command words.
TEST(NumericTable, HoldsEveryNumberOnce)
{
    std::set<int> in_table;
    for (const NumericReply& e : irc_numeric_replies()) {
        SCOPED_TRACE(e.number);
        EXPECT_TRUE(in_table.insert(e.number).second) << "twice";
        EXPECT_NE(e.handler, nullptr);
        EXPECT_GE(e.number, 1);
        EXPECT_LE(e.number, 999);
        EXPECT_EQ(irc_numeric_reply(e.number), &e);
        EXPECT_EQ(e.flags & (kSenderSeen | kSourceDropped), 0);
    }
    for (int number : {0, 252, 777, 1000, -353})
        EXPECT_EQ(irc_numeric_reply(number), nullptr) << number;
}

// Which entry takes a numeric line: its number, the parameters its handler
// needs and, for 477, the word that makes it a refused join. A line no
// entry takes is shown as any other numeric.
TEST(NumericTable, TakesALineOnlyWithTheParametersItsHandlerNeeds)
{
    struct Case {
        const char* line;
        IrcHandler handler;  // null: shown as any other numeric
    } cases[] = {
        {":s 353 me = #c :a @b", reply_on_names},
        {":s 311 me bob u h * :Bob", query_on_whois_user},
        {":s 001 me :Welcome", numeric_on_welcome},
        {":s 405 me #c :Too many channels", reply_on_join_refused},
        {":s 405 me :Too many channels", reply_on_join_refused},     // word 3 is the text
        {":s 405 me", nullptr},                                       // no word 3
        {":s 403 me", nullptr},
        {":s 477 me #c :Cannot join channel", nullptr},               // word 3 lacks "join"
        {":s 477 me #JoinUs :Cannot join channel", reply_on_join_refused},
        {":s 010 me other.host 7000 :go there", numeric_on_redirect},
        {":s 010 me other.host", nullptr},
        {":s 265 me 4 9 :Current local users", numeric_on_user_counts},
        {":s 265 me", nullptr},
        {":s 650 me", nullptr},
        {":s 651 me", numeric_on_services_end},
        {":s 343 me", nullptr},
        {":s 252 me 5 :operators online", nullptr},
        {":s 777 me :unknown", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        IrcMessage msg;
        msg.raw = c.line;
        irc_message_tokenize(msg);
        msg.numeric = std::atoi(irc_word(msg, 1).c_str());
        const NumericReply* entry = irc_numeric_entry(msg);
        if (!c.handler) {
            EXPECT_EQ(entry, nullptr);
            continue;
        }
        ASSERT_NE(entry, nullptr);
        EXPECT_EQ(entry->handler, c.handler);
    }
}

// A numeric line short of its entry's parameters is shown as any other
// numeric and changes nothing its handler would have changed.
TEST_F(DispatchLink, ShortNumericLinesAreShownAsAnyOther)
{
    struct Case {
        const char* line;
        const char* shown;
    } cases[] = {
        {":srv 010 me other.host", "other.host"},
        {":srv 265 me :Current local users", "Current local users"},
        {":srv 650 :services text", "services text"},
        {":srv 405 me", "srv 405 me"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        printed_.clear();
        script_heard.clear();
        irc_dispatch_line(c.line, conn);
        ASSERT_EQ(shown().size(), 1u);
        EXPECT_EQ(shown()[0], c.shown);
        ASSERT_EQ(script_heard.size(), 1u);
    }
    EXPECT_TRUE(conn->stored_identity[5].empty());
    EXPECT_EQ(link_state(conn).redirect_pending, 0);
    EXPECT_EQ(irc_state(conn)->services_state, 0);
}

// The notify list hears of a PRIVMSG, NOTICE or MODE sender only when the
// line reaches its handler; other commands and short lines say nothing.
TEST_F(DispatchLink, SendersCountAsSeenOnlyForFullMessageLines)
{
    const int was_on = opt(OPT_NOTIFY_ENABLED);
    opt_set(OPT_NOTIFY_ENABLED, 1);
    struct Case {
        const char* nick;
        const char* line;
        int seen;
    } cases[] = {
        {"a1", ":a1!u@h1 PRIVMSG #none :hi", 1},
        {"a2", ":a2!u@h2 PRIVMSG #none", 0},
        {"a3", ":a3!u@h3 NOTICE me :x", 1},
        {"a4", ":a4!u@h4 NOTICE", 0},
        {"a5", ":a5!u@h5 MODE me +i", 1},
        {"a6", ":a6!u@h6 MODE", 0},
        {"a7", ":a7!u@h7 WALLOPS :w", 0},
        {"a8", ":a8!u@h8 PROP #a MEMBERKEY :k", 0},
        {"a9", ":srv 401 me a9 :No such nick", 0},
    };
    for (const Case& c : cases) ASSERT_EQ(notify_add(c.nick, "", "", "", 0, "", conn), 1);
    for (const Case& c : cases) irc_dispatch_line(c.line, conn);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        const NotifyEntry* e = notify_find(c.nick, 1, conn);
        ASSERT_NE(e, nullptr);
        EXPECT_EQ(e->online, c.seen);
        EXPECT_EQ(e->seen_address, c.seen ? std::string("u@h") + (c.nick + 1) : std::string());
    }
    notify_free_all(conn);
    opt_set(OPT_NOTIFY_ENABLED, was_on);
}

TEST_F(DispatchLink, PingIsAnsweredWithOrWithoutSource)
{
    struct Case {
        const char* line;
        const char* pong;
    } cases[] = {
        {"PING :abc", "PONG :abc\n"},
        {":irc.example PING :abc", "PONG :abc\n"},
        {"  :irc.example!x@y PING abc", "PONG :abc\n"},
        {"ping :tok en", "PONG :tok en\n"},
        {"PING", "PONG\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        wire.clear();
        script_heard.clear();
        irc_dispatch_line(c.line, conn);
        ASSERT_EQ(sent().size(), 1u);
        EXPECT_EQ(sent()[0], c.pong);
        EXPECT_TRUE(script_heard.empty());  // not taken as an unknown command
    }
}

TEST_F(DispatchLink, PongGoesOutEvenWhenScriptHaltsPing)
{
    load_script({"on ^*:PING:heard before | halt", "on *:PING:heard after"});
    irc_dispatch_line("PING :irc.x", conn);
    ASSERT_EQ(sent().size(), 1u);
    EXPECT_EQ(sent()[0], "PONG :irc.x\n");
    EXPECT_TRUE(shown().empty());
    EXPECT_EQ(script_heard, (std::vector<std::string>{"before", "after"}));
}

TEST_F(DispatchLink, ErrorShownWithOrWithoutSourceAndThrottleNoted)
{
    struct Case {
        const char* line;
        const char* shown;
        int throttled;
    } cases[] = {
        {"ERROR :Bad password", "ERROR Bad password", 0},
        {":srv ERROR :Bad password", "ERROR Bad password", 0},
        {"ERROR :Closing link: x (Throttled: Reconnecting too fast)",
         "Closing link: x (Throttled: Reconnecting too fast)", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        printed_.clear();
        link_state(conn).throttled = 0;
        irc_dispatch_line(c.line, conn);
        ASSERT_EQ(shown().size(), 1u);
        EXPECT_EQ(shown()[0], c.shown);
        EXPECT_EQ(link_state(conn).throttled, c.throttled);
    }
}

TEST_F(DispatchLink, UnknownCommandsAndNumericsReachRawEventAndStatus)
{
    struct Case {
        const char* line;
        const char* raw_word;
        const char* shown;
    } cases[] = {
        // The raw word as the script's $event gives it: lower case.
        {"FOO bar :baz qux", "foo", "s FOO bar baz qux"},
        {":srv.x FROB a :b c", "frob", "srv.x FROB a b c"},
        {":nick!user@host FROB #c :hello there", "frob", "nick FROB #c hello there"},  // source split
        {"CREATE #room", "#room", "CREATE #room"},       // not IRCX: not shifted
        {"NICK x", "x", "NICK x"},
        {":srv 0 a", "0", "srv 0 a"},
        {":srv 999x me :odd reply", "999", "odd reply"}, // numeric: raw word is the number
        {":srv 777 me extra :unknown numeric", "777", "extra unknown numeric"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        printed_.clear();
        script_heard.clear();
        irc_dispatch_line(c.line, conn);
        ASSERT_EQ(script_heard.size(), 1u);
        EXPECT_EQ(script_heard[0], c.raw_word);
        ASSERT_EQ(shown().size(), 1u);
        EXPECT_EQ(shown()[0], c.shown);
    }
}

TEST_F(DispatchLink, HaltedRawEventShowsNothing)
{
    load_script({"raw *:*:heard $event | halt"});
    irc_dispatch_line(":srv FROB a", conn);
    irc_dispatch_line(":srv 777 me :x", conn);
    EXPECT_EQ(script_heard.size(), 2u);
    EXPECT_TRUE(shown().empty());
}

TEST_F(DispatchLink, EveryLineResetsTheTimeoutAndEmptyOrDeadLinesDoNothing)
{
    conn->timeout_countdown = 5;
    irc_dispatch_line("PRIVMSG", conn);  // one word: nothing more
    EXPECT_EQ(conn->timeout_countdown, conn_timeout_seconds);
    EXPECT_TRUE(shown().empty());
    irc_dispatch_line("", conn);
    Connection stale;
    irc_dispatch_line("PING :x", &stale);
    EXPECT_TRUE(sent().empty());
}

TEST_F(DispatchLink, SourcelessNoticeAndPongAreRewrittenFromTheServer)
{
    load_script({"on ^*:SNOTICE:*:heard before $nick $target $1-", "on *:SNOTICE:*:heard after $nick $target $1-"});
    irc_dispatch_line("NOTICE AUTH :*** Looking up your hostname", conn);
    EXPECT_EQ(script_heard, (std::vector<std::string>{"before s me *** Looking up your hostname",
                                                      "after s me *** Looking up your hostname"}));
    EXPECT_EQ(shown(), (std::vector<std::string>{"-s- *** Looking up your hostname"}));
}

TEST_F(DispatchLink, PongShownUnlessFromAUser)
{
    irc_dispatch_line(":srv PONG srv :hi", conn);
    irc_dispatch_line(":u!x@y PONG srv :hi", conn);
    ASSERT_EQ(shown().size(), 1u);
    EXPECT_EQ(shown()[0], "* PONG from srv: hi");
}

TEST_F(DispatchLink, InviteJoinsInPlainModeWithServerText)
{
    // Connected, so that /join sends its line.
    script_engine_init();
    channel_commands_register();
    conn->connected = 1;
    // Kept for /join -i when the option is off; joined at once when it is on.
    opt_set(OPT_JOIN_ON_INVITE, 0);
    irc_dispatch_line(":bob!b@h INVITE me :#chan|quit", conn);
    EXPECT_EQ(irc_state(conn)->last_invite, "#chan|quit");
    EXPECT_TRUE(sent().empty());
    opt_set(OPT_JOIN_ON_INVITE, 1);
    irc_dispatch_line(":bob!b@h INVITE me :#chan|quit", conn);
    irc_dispatch_line(":bob!b@h INVITE me :notachannel", conn);
    // A list would join more than the one channel ("0" leaves them all).
    irc_dispatch_line(":bob!b@h INVITE me :#a,0", conn);
    opt_set(OPT_JOIN_ON_INVITE, 0);
    conn->connected = 0;
    std::vector<std::string> joins;
    for (const std::string& l : sent())
        if (l.rfind("JOIN ", 0) == 0 || l.rfind("QUIT", 0) == 0) joins.push_back(l);
    // Run as it stands: never split at the "|" or evaluated.
    EXPECT_EQ(joins, std::vector<std::string>{"JOIN #chan|quit\n"});
}

}  // namespace

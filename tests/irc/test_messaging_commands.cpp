// Messaging commands: target batching, /msg, /me and the typed line.
#include "chat_test_support.h"

#include "script/exec/script_hooks.h"

#include <algorithm>

namespace {

TEST(ChatBatch, LinesHoldTargetsWithinLimitAndLength)
{
    const std::string big(395, 'x');
    struct Case {
        const char* what;
        std::vector<std::string> targets;
        std::string text;
        int limit;
        int one_each;
        std::vector<std::string> lines;
    } cases[] = {
        {"no limit", {"#a", "#b", "#c"}, "hi", 0, 0, {"PRIVMSG #a,#b,#c :hi\n"}},
        {"limit of two", {"#a", "#b", "#c"}, "hi", 2, 0, {"PRIVMSG #a,#b :hi\n", "PRIVMSG #c :hi\n"}},
        {"one per line", {"#a", "#b"}, "hi", 0, 1, {"PRIVMSG #a :hi\n", "PRIVMSG #b :hi\n"}},
        {"nothing to send", {}, "hi", 0, 0, {}},
        // A text that leaves no room: the first line still names its target,
        // no "PRIVMSG  :text" with an empty target goes out.
        {"long text", {"#a", "#b"}, big, 0, 0, {"PRIVMSG #a :" + big + "\n", "PRIVMSG #b :" + big + "\n"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(chat_batch_lines("PRIVMSG ", c.targets, c.text, " :" + c.text + "\n", c.limit, c.one_each), c.lines);
    }
}

TEST(ChatBatch, LengthRuleSplitsNearFourHundred)
{
    std::vector<std::string> targets;
    for (int i = 0; i < 60; ++i) targets.push_back("#channel" + std::to_string(i));
    auto lines = chat_batch_lines("PRIVMSG ", targets, "hello", " :hello\n", 0, 0);
    ASSERT_GT(lines.size(), 1u);
    std::size_t named = 0;
    for (const std::string& line : lines) {
        EXPECT_LE(line.size() - std::string(" :hello\n").size() + 5, 400u) << line;
        named += static_cast<std::size_t>(std::count(line.begin(), line.end(), '#'));
    }
    EXPECT_EQ(named, targets.size());
}

class Messaging : public ChatLink {};

TEST_F(Messaging, AmsgBatchesByTargetLimitAndEchoesEveryWindow)
{
    std::vector<WindowRecord*> chans;
    for (int i = 0; i < 6; ++i) chans.push_back(open("#c" + std::to_string(i)));
    WindowRecord* left = open("#left");
    left->chan_left = 1;  // not on it any more: not a target
    struct Case {
        const char* what;
        int limit;
        int flags;
        std::size_t lines;
    } cases[] = {{"TARGMAX 4", 4, 0, 2}, {"no limit", 0, 0, 1}, {"one target per message", 0, 0x80, 6}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        wire.clear();
        chat_shown.clear();
        irc_state(conn)->privmsg_targets = c.limit;
        conn->server_flags = c.flags;
        EXPECT_EQ(run({"amsg", "hi"}, cmd_amsg, 1), 1);
        EXPECT_EQ(sent().size(), c.lines);
        std::size_t named = 0;
        for (const std::string& l : sent()) {
            EXPECT_EQ(l.substr(l.size() - 5), " :hi\n");
            EXPECT_EQ(l.find("#left"), std::string::npos);
            named += static_cast<std::size_t>(std::count(l.begin(), l.end(), '#'));
        }
        EXPECT_EQ(named, 6u);
        EXPECT_EQ(chat_shown.size(), 6u);
    }
    EXPECT_EQ(sent()[0], "PRIVMSG #c0 :hi\n");
}

TEST_F(Messaging, AmsgWithoutChannelsPrintsTheNote)
{
    EXPECT_EQ(run({"amsg", "hi"}, cmd_amsg, 1), 1);
    EXPECT_TRUE(sent().empty());
    ASSERT_EQ(chat_shown.size(), 1u);
    EXPECT_EQ(chat_shown[0].text, "* /amsg: Kanal Penceresinde Değilsiniz");
}

TEST_F(Messaging, MsgSendsOrFails)
{
    WindowRecord* chan = open("#k");
    struct Case {
        std::vector<std::string> tokens;
        int connected;
        int result;
        const char* sent;
        const char* error_part;
    } cases[] = {
        {{"msg", "bob", "hello", "there"}, 1, 1, "PRIVMSG bob :hello there\n", nullptr},
        {{"msg", "-n", "hi"}, 1, 1, "PRIVMSG -n :hi\n", nullptr},  // only /query knows "-n"
        {{"msg", "-s", "bob", "hi"}, 1, 1, "PRIVMSG bob :hi\n", nullptr},
        {{"msg", "@#k", "ops"}, 1, 1, "PRIVMSG @#k :ops\n", nullptr},
        {{"msg", "@bob", "x"}, 1, 0, nullptr, "Geçersiz pencere"},
        {{"msg", "bob"}, 1, 0, nullptr, "Yetersiz"},
        {{"msg", "bob", "hi"}, 0, 0, nullptr, "Servera bağlı değilsiniz"},
        {{"query", "#k"}, 1, 1, nullptr, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.tokens[1]);
        wire.clear();
        script_error_clear();
        conn->connected = c.connected;
        EXPECT_EQ(run(c.tokens, cmd_query), c.result);
        if (c.sent) {
            ASSERT_EQ(sent().size(), 1u);
            EXPECT_EQ(sent()[0], c.sent);
        } else {
            EXPECT_TRUE(sent().empty());
        }
        if (c.error_part) {
            EXPECT_NE(script_error_state.text.find(c.error_part), std::string::npos) << script_error_state.text;
        }
    }
    conn->connected = 1;
    chat_shown.clear();
    run({"msg", "#k", "to", "the", "window"}, cmd_query);
    ASSERT_EQ(chat_shown.size(), 1u);
    EXPECT_EQ(chat_shown[0].rec, chan);
}

// /queryrn renames a query window without a word to the server, and refuses
// what a query name may not be.
TEST_F(Messaging, QueryrnRenamesTheQueryWindowOnly)
{
    WindowRecord* query = open("alice", kWinQuery, kQueryPrivate);
    open("#k");
    open("carol", kWinQuery, kQueryPrivate);
    struct Case {
        std::vector<std::string> tokens;
        int result;
        const char* name_after;   // the query's name afterwards
        const char* error_part;
    } cases[] = {
        {{"queryrn", "alice", "bob"}, 1, "bob", nullptr},
        {{"queryrn", "BOB", "Bob"}, 1, "Bob", nullptr},               // a change of case only
        {{"queryrn", "-s", "bob", "dave"}, 1, "dave", nullptr},
        {{"queryrn", "dave", "carol"}, 0, "dave", "Geçersiz pencere"},   // another window's name
        {{"queryrn", "dave", "#x"}, 0, "dave", "Geçersiz pencere"},      // a channel name
        {{"queryrn", "dave", "bo?b"}, 0, "dave", "Geçersiz pencere"},
        {{"queryrn", "dave", "bo\xA3" "b"}, 0, "dave", "Geçersiz pencere"},
        {{"queryrn", "#k", "eve"}, 0, "dave", "Geçersiz pencere"},       // not a query
        {{"queryrn", "nobody", "eve"}, 0, "dave", "Geçersiz pencere"},
        {{"queryrn", "dave"}, 0, "dave", "Yetersiz"},
        {{"queryrn", "dave", std::string(300, 'z')}, 1, nullptr, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.tokens.back().substr(0, 20));
        wire.clear();
        script_error_clear();
        EXPECT_EQ(run(c.tokens, cmd_queryrn), c.result);
        EXPECT_TRUE(sent().empty());
        if (c.name_after) {
            EXPECT_EQ(query->name, c.name_after);
        }
        if (c.error_part) {
            EXPECT_NE(script_error_state.text.find(c.error_part), std::string::npos) << script_error_state.text;
        }
    }
    EXPECT_EQ(query->name, std::string(256, 'z'));   // cut to 256 characters
}

TEST_F(Messaging, MeInAChannelSendsTheActionAndEchoesIt)
{
    WindowRecord* chan = open("#k");
    chat_current = chan;
    EXPECT_EQ(run({"me", "waves", "hello"}, cmd_me), 1);
    ASSERT_EQ(sent().size(), 1u);
    EXPECT_EQ(sent()[0], "PRIVMSG #k :\x01" "ACTION waves hello\x01\n");
    ASSERT_EQ(chat_shown.size(), 1u);
    EXPECT_EQ(chat_shown[0].rec, chan);
    EXPECT_NE(chat_shown[0].text.find("me"), std::string::npos);
    EXPECT_EQ(chat_shown[0].text.substr(0, 2), "* ");
    EXPECT_EQ(chat_shown[0].text.substr(chat_shown[0].text.size() - 12), " waves hello");
}

TEST_F(Messaging, MeRefusedOutsideConversations)
{
    struct Case {
        int type;
        int subtype;
        const char* error_part;
    } cases[] = {
        {kWinStatus, 0, "/me Kullanamazsınız"},
        {kWinQuery, kQueryMessages, "/msg Kullanabilirsiniz"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.error_part);
        chat_current = open("w" + std::to_string(c.type), c.type, c.subtype);
        script_error_clear();
        script_output_clear();
        EXPECT_EQ(run({"me", "hi"}, cmd_me), 0);
        EXPECT_TRUE(sent().empty());
        // The error is shown in the window the command was typed in.
        ASSERT_EQ(script_output_lines().size(), 1u);
        EXPECT_EQ(script_output_lines()[0].window, chat_current->hwnd.get());
        EXPECT_NE(script_output_lines()[0].text.find(c.error_part), std::string::npos) << script_output_lines()[0].text;
    }
}

TEST_F(Messaging, TypedLineGoesToTheWindowAndIsEchoed)
{
    WindowRecord* query = open("bob", kWinQuery, kQueryPrivate);
    EXPECT_EQ(chat_send_text(nullptr, "", 0, conn), 0);
    EXPECT_EQ(chat_send_text(query->hwnd.get(), "hey", 0, conn), 1);
    ASSERT_EQ(sent().size(), 1u);
    EXPECT_EQ(sent()[0], "PRIVMSG bob :hey\n");
    ASSERT_EQ(chat_shown.size(), 1u);
    EXPECT_EQ(chat_shown[0].rec, query);
    WindowRecord* custom = open("custom", kWinCustom);
    EXPECT_EQ(chat_send_text(custom->hwnd.get(), "dropped", 0, conn), 1);
    EXPECT_EQ(sent().size(), 1u);
}

}  // namespace

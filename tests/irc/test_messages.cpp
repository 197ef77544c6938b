// PRIVMSG, NOTICE and ACTION fed as server lines: the window each lands in,
// its form and colour, and the script events around it.
#include "messages_fixture.h"

#include "model/colors.h"

namespace chat_test {
namespace {

using MessagesTest = ChatTest;

TEST_F(MessagesTest, EachLineLandsInItsWindowWithItsFormAndColour)
{
    struct Case {
        const char* line;
        bool in_channel;        // else the status window
        const char* text;
        std::uint32_t colour;
    } cases[] = {
        {":a!u@h PRIVMSG #c :hi there", true, "<a> hi there", kColorNormalText},
        {":a!u@h PRIVMSG @#c :hi", true, "*a:@#c* hi", kColorNoticeText},
        {":a!u@h PRIVMSG ~@#c :hi", true, "*a:~@#c* hi", kColorNoticeText},
        {":a!u@h PRIVMSG #C :case", true, "<a> case", kColorNormalText},
        {":a!u@h PRIVMSG #c :\x01" "ACTION waves\x01", true, "* a waves", kColorActionText},
        {":a!u@h PRIVMSG #c :\x01" "ACTION waves", true, "* a waves", kColorActionText},
        {":a!u@h PRIVMSG $*.net :hi", false, "(a\x0f) hi", kColorNoticeText},
        {":a!u@h PRIVMSG #*.net :mask", false, "(a\x0f) mask", kColorNoticeText},
        {":a!u@h PRIVMSG $*.net :\x01" "ACTION sighs\x01", false, "* (a\x0f) sighs", kColorNoticeText},
        {":a!u@h NOTICE #c :hello", true, "-a:#c- hello", kColorNoticeText},
        {":a!u@h NOTICE @#c :ops", true, "-a:@#c- ops", kColorNoticeText},
        {":srv NOTICE me :Looking up", false, "-srv- Looking up", kColorNoticeText},
        {":srv NOTICE * :*** Checking", false, "-srv- *** Checking", kColorNoticeText},
        {":z!u@h NOTICE me :not on any channel", false, "-z- not on any channel", kColorNoticeText},
        {":a!u@h PRIVMSG #c :\x01" "VERSION\x01", true, "[a:#c VERSION]", kColorCtcpText},
        {":a!u@h NOTICE me :\x01" "VERSION Foo 1.0\x01", false, "[a VERSION tekrarı]: Foo 1.0", kColorCtcpText},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        clear(chan);
        clear(status());
        feed(c.line);
        WindowRecord* where = c.in_channel ? chan : status();
        WindowRecord* other = c.in_channel ? status() : chan;
        ASSERT_EQ(lines(where), std::vector<std::string>{c.text});
        EXPECT_EQ(last_colour(where), c.colour);
        EXPECT_TRUE(lines(other).empty());
    }
}

TEST_F(MessagesTest, UserNoticeGoesToEveryChannelHoldingTheSenderOnce)
{
    WindowRecord* d = open("#d", kWinChannel, 0);
    ASSERT_NE(d, nullptr);
    nicklist_update("a", d, kNickAddOrChange, 1);
    win_active = nullptr;
    clear(chan);
    clear(status());
    feed(":a!u@h NOTICE me :psst");
    EXPECT_EQ(lines(chan), std::vector<std::string>{"-a- psst"});
    EXPECT_EQ(lines(d), std::vector<std::string>{"-a- psst"});
    EXPECT_TRUE(lines(status()).empty());
}

TEST_F(MessagesTest, OneParameterNoticeIsTextToTheOwnNick)
{
    load_script({"on 1:NOTICE:*:?:say $target $1-"});
    clear(status());
    feed(":z!u@h NOTICE me");
    EXPECT_EQ(lines(status()), std::vector<std::string>{"-z- me"});
    EXPECT_EQ(said, std::vector<std::string>{"me me"});
}

TEST_F(MessagesTest, ChannelTextFiresTextAroundTheLineAndHaltSuppressesIt)
{
    struct Case {
        const char* name;
        std::vector<std::string> script;
        std::vector<std::string> shown;
        std::vector<std::string> said;
    } cases[] = {
        {"plain", {"on 1:TEXT:*:#:say $nick $chan $1-"}, {"<a> hi you"}, {"a #c hi you"}},
        {"halted", {"on ^1:TEXT:*:#:halt", "on 1:TEXT:*:#:say after"}, {}, {"after"}},
        {"before then after", {"on ^1:TEXT:*:#:say before", "on 1:TEXT:*:#:say after"}, {"<a> hi you"},
         {"before", "after"}},
        {"private event does not match channel", {"on 1:TEXT:*:?:say wrong"}, {"<a> hi you"}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        remote_files_free_all();
        load_script(c.script);
        said.clear();
        clear(chan);
        feed(":a!u@h PRIVMSG #c :hi you");
        EXPECT_EQ(lines(chan), c.shown);
        EXPECT_EQ(said, c.said);
    }
}

TEST_F(MessagesTest, PrivateTextOpensAQueryWithOpenThenText)
{
    load_script({"on 1:OPEN:?:say open $nick", "on 1:TEXT:*:?:say text $nick $1-"});
    feed(":bob!u@h PRIVMSG me :hello");
    WindowRecord* q = win_find_by_name("bob", conn);
    ASSERT_NE(q, nullptr);
    EXPECT_EQ(q->type, kWinQuery);
    EXPECT_EQ(q->subtype, kQueryPrivate);
    EXPECT_EQ(q->hwnd.get()->objectName().toStdString(), "Kest_Query");
    EXPECT_EQ(lines(q), std::vector<std::string>{"<bob> hello"});
    EXPECT_EQ(said, (std::vector<std::string>{"open bob", "text bob hello"}));
    EXPECT_TRUE(sent().empty());  // no WHOIS unless asked for

    // The second message finds the open query: no OPEN again.
    said.clear();
    feed(":bob!u@h PRIVMSG me :\x01" "ACTION nods\x01");
    EXPECT_EQ(lines(q), (std::vector<std::string>{"<bob> hello", "* bob nods"}));
    EXPECT_EQ(said, std::vector<std::string>{});
}

TEST_F(MessagesTest, HaltedOpenMakesNoQueryAndShowsNothing)
{
    load_script({"on ^1:OPEN:?:halt", "on 1:TEXT:*:?:say text"});
    clear(status());
    feed(":bob!u@h PRIVMSG me :hello");
    EXPECT_EQ(win_find_by_name("bob", conn), nullptr);
    EXPECT_TRUE(said.empty());
}

TEST_F(MessagesTest, WhoisOnQuerySentOnceForANewQuery)
{
    opt_set(OPT_WHOIS_ON_QUERY, 1);
    feed(":bob!u@h PRIVMSG me :one");
    feed(":bob!u@h PRIVMSG me :two");
    EXPECT_EQ(sent(), std::vector<std::string>{"WHOIS bob\n"});
}

TEST_F(MessagesTest, MessageWindowOptionRoutesPrivateText)
{
    opt_set(OPT_SINGLE_MESSAGE_WINDOW, 1);
    feed(":bob!u@h PRIVMSG me :hi");
    feed(":eve!u@h PRIVMSG me :yo");
    WindowRecord* m = win_find_by_name("Message Window", conn);
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->subtype, kQueryMessages);
    EXPECT_EQ(lines(m), (std::vector<std::string>{"*bob* hi", "*eve* yo"}));
    EXPECT_EQ(win_find_by_name("bob", conn), nullptr);
    EXPECT_EQ(conn->message_window.data(), m->hwnd.get()) << "kept as the connection's message window";
}

TEST_F(MessagesTest, ServerNoticeFiresSnoticeNotNotice)
{
    load_script({"on 1:SNOTICE:*:say snotice $1-", "on 1:NOTICE:*:*:say notice $1-"});
    struct Case {
        const char* line;
        const char* said;
    } cases[] = {
        {":srv NOTICE me :Looking up", "snotice Looking up"},
        {":a!u@h NOTICE me :hey", "notice hey"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        said.clear();
        feed(c.line);
        EXPECT_EQ(said, std::vector<std::string>{c.said});
    }
}

TEST_F(MessagesTest, TargetPrefixesComeOffOnlyBeforeAChannelName)
{
    struct Case {
        const char* target;
        const char* left;
        const char* prefix;
        int result;
    } cases[] = {
        {"@#ops", "#ops", "@", 1},
        {"~@+#x", "#x", "~@+", 1},
        {"#@c", "#@c", "", 1},
        {"@", "", "@", 0},
        {"me", "me", "", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.target);
        IrcMessage msg;
        msg.connection = conn;
        msg.words = {"a", "PRIVMSG", c.target, "x"};
        msg.last_word = 3;
        EXPECT_EQ(irc_message_target_prefix(msg), c.result);
        EXPECT_EQ(msg.words[2], c.left);
        EXPECT_EQ(msg.target_text, c.prefix);
    }
}

TEST_F(MessagesTest, MissingWordsAndClosedChannelsShowNothing)
{
    for (const char* line : {":a!u@h PRIVMSG #c", ":a!u@h PRIVMSG", ":a!u@h PRIVMSG #gone :hi",
                             ":a!u@h NOTICE", ":a!u@h PRIVMSG @ :hi", ":a!u@h PRIVMSG #c :\x01\x01"}) {
        SCOPED_TRACE(line);
        clear(chan);
        clear(status());
        feed(line);
        EXPECT_TRUE(lines(status()).empty());
        if (std::string(line).find("\x01\x01") == std::string::npos) {
            EXPECT_TRUE(lines(chan).empty());
        }
    }
}

TEST(CtcpUnframe, FramingRules)
{
    struct Case {
        const char* in;
        int result;
        const char* out;
    } cases[] = {
        {"\x01VERSION\x01", 1, "VERSION"},
        {"\x01VERSION", 1, "VERSION"},
        {"\x01VERSION\x01 x", 0, "\x01VERSION\x01 x"},
        {"\x01\x01", 0, "\x01\x01"},
        {"\x01", 0, "\x01"},
        {"plain", 0, "plain"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.in);
        std::string t = c.in;
        EXPECT_EQ(irc_ctcp_unframe(t), c.result);
        EXPECT_EQ(t, c.out);
    }
}

}  // namespace
}  // namespace chat_test

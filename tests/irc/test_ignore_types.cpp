// The ignore list's types as server lines meet them: channel text is held
// against the "channel" type and private text against the "private" type,
// never the other way round; entries are made with /ignore.
#include "messages_fixture.h"

#include "app/subsystems.h"
#include "app/window_ops.h"
#include "commands/user_list_commands.h"
#include "core/main_settings.h"
#include "core/string_list.h"
#include "irc/ctcp/ctcp.h"
#include "irc/lists/ignore_list.h"
#include "irc/lists/user_lists.h"
#include "script/exec/executor.h"

namespace chat_test {
namespace {

class IgnoreTypes : public ChatTest {
protected:
    void SetUp() override
    {
        ChatTest::SetUp();
        irc_user_lists_install();
        app_wire_irc_user_lists();
        app_wire_irc_ctcp();  // registers /ignore with the other list commands
        strlist_free(&main_settings.ignore_list);
        ignore_prune_timed();
        conn->connected = 1;
        opt_set(OPT_IGNORE_ENABLED, 1);
    }
    void TearDown() override
    {
        strlist_free(&main_settings.ignore_list);
        ignore_prune_timed();
        conn->connected = 0;
        conn->socket = -1;
        ChatTest::TearDown();
        irc_user_lists_uninstall();
    }
    // Runs a command line in the channel window through the command table.
    void run(const std::string& line)
    {
        std::string text = line.substr(line[0] == '/' ? 1 : 0);
        CommandCall call;
        call.window = chan->hwnd.get();
        call.conn = conn;
        call.line = text;
        std::size_t i = 0;
        while (i < text.size()) {
            while (i < text.size() && text[i] == ' ') ++i;
            if (i >= text.size()) break;
            std::size_t end = text.find(' ', i);
            if (end == std::string::npos) end = text.size();
            call.tokens.push_back(text.substr(i, end - i));
            i = end;
        }
        builtin_dispatch(call);
        pump();
    }
    WindowRecord* query(const std::string& nick)
    {
        WindowRecord* rec = win_find_by_name(nick, conn);
        return rec && rec->type == kWinQuery ? rec : nullptr;
    }
    void close_queries()
    {
        for (const char* n : {"a", "b"})
            if (WindowRecord* q = query(n)) win_op_close(q->hwnd.get());
        pump();
    }
    static bool holds(const std::vector<std::string>& lines, const std::string& text)
    {
        for (const std::string& l : lines)
            if (l.find(text) != std::string::npos) return true;
        return false;
    }
};

TEST_F(IgnoreTypes, ChannelTextMeetsTheChannelTypeAndPrivateTextThePrivateType)
{
    struct Case {
        const char* command;  // the /ignore that makes the entry ("" none)
        bool channel_shown;   // a's text to #c
        bool private_shown;   // a's text to the own nick, opening a query
        bool action_shown;    // a's action to #c
    } cases[] = {
        {"", true, true, true},
        {"/ignore -c a", false, true, false},
        {"/ignore -p a", true, false, true},
        {"/ignore -pc a", false, false, false},
        {"/ignore -n a", true, true, true},  // notices only
        {"/ignore -c a", false, true, false},  // the same again
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.command);
        strlist_free(&main_settings.ignore_list);
        close_queries();
        if (*c.command) {
            run(c.command);
            ASSERT_NE(main_settings.ignore_list, nullptr);
        }
        clear(chan);
        feed(":a!u@h PRIVMSG #c :to the channel");
        feed(":a!u@h PRIVMSG #c :\x01" "ACTION waves\x01");
        feed(":a!u@h PRIVMSG me :to me alone");
        EXPECT_EQ(holds(lines(chan), "to the channel"), c.channel_shown);
        EXPECT_EQ(holds(lines(chan), "waves"), c.action_shown);
        WindowRecord* q = query("a");
        EXPECT_EQ(q != nullptr, c.private_shown);
        if (q) {
            EXPECT_TRUE(holds(lines(q), "to me alone"));
        }
        // Another sender is never held back by a's entry.
        feed(":b!u@h PRIVMSG #c :b speaks");
        feed(":b!u@h PRIVMSG me :b privately");
        EXPECT_TRUE(holds(lines(chan), "b speaks"));
        ASSERT_NE(query("b"), nullptr);
        EXPECT_TRUE(holds(lines(query("b")), "b privately"));
    }
}

TEST_F(IgnoreTypes, APrivateIgnoreKeepsOutOnlyTextThatHasNoQueryYet)
{
    run("/ignore -p a");
    // No query: nothing opens, twice over.
    for (int i = 0; i < 2; ++i) {
        feed(":a!u@h PRIVMSG me :knock");
        EXPECT_EQ(query("a"), nullptr);
    }
    // A query the user opened still shows what a says there.
    WindowRecord* q = open("a", kWinQuery, kQueryPrivate);
    ASSERT_NE(q, nullptr);
    feed(":a!u@h PRIVMSG me :through the open query");
    EXPECT_TRUE(holds(lines(q), "through the open query"));
    // Switched off, the list holds nothing back.
    close_queries();
    run("/ignore off");
    feed(":a!u@h PRIVMSG me :with ignoring off");
    ASSERT_NE(query("a"), nullptr);
    EXPECT_TRUE(holds(lines(query("a")), "with ignoring off"));
}

}  // namespace
}  // namespace chat_test

// Event halts kept across both phases of a line, the address-list
// identifiers, closing channel windows and opening queries by command.
#include "messages_fixture.h"
#include "app/subsystems.h"

#include "irc/dispatch/membership.h"
#include "irc/lists/address_list.h"

// The query command's handler (its header clashes with the hook header the
// fixture needs).
int cmd_query(CommandCall& call);

namespace {

using namespace chat_test;

class ChatGapsTest : public ChatTest {
protected:
    void SetUp() override
    {
        ChatTest::SetUp();
        irc_membership_install();
        app_wire_irc_membership();
        ial_init(conn);
        ial_set_on(1, conn);
        conn->connected = 1;
    }
    void TearDown() override
    {
        conn->socket = -1;
        ChatTest::TearDown();
    }
    int query(const std::vector<std::string>& tokens)
    {
        CommandCall call;
        call.tokens = tokens;
        call.conn = conn;
        return cmd_query(call);
    }
    int windows_named(const std::string& name)
    {
        int n = 0;
        for (WindowRecord* r = win_list; r; r = r->next)
            if (r->conn == conn && r->name == name) ++n;
        return n;
    }
};

TEST_F(ChatGapsTest, HaltedReadsTheBeforePhaseOfTheSameLine)
{
    struct Case {
        const char* name;
        std::vector<std::string> script;
        std::vector<std::string> lines;
        std::vector<std::string> said;
    } cases[] = {
        {"text halted before", {"on ^1:TEXT:*:#:halt", "on 1:TEXT:*:#:say $halted"},
         {":a!u@h PRIVMSG #c :hi"}, {"$true"}},
        {"text not halted", {"on ^1:TEXT:*:#:say before", "on 1:TEXT:*:#:say $halted"},
         {":a!u@h PRIVMSG #c :hi"}, {"before", "$false"}},
        // The next line starts afresh even though the one before was halted.
        {"halt does not leak to the next line", {"on ^1:TEXT:*:#:if ($1 == stop) halt", "on 1:TEXT:*:#:say $halted"},
         {":a!u@h PRIVMSG #c :stop", ":a!u@h PRIVMSG #c :go"}, {"$true", "$false"}},
        {"notice halted before", {"on ^1:NOTICE:*:#:halt", "on 1:NOTICE:*:#:say $halted"},
         {":a!u@h NOTICE #c :x"}, {"$true"}},
        {"& handlers skip a halted line", {"on ^1:NOTICE:*:#:halt", "on &1:NOTICE:*:#:say late", "on 1:NOTICE:*:#:say on"},
         {":a!u@h NOTICE #c :x"}, {"on"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        remote_files_free_all();
        load_script(c.script);
        said.clear();
        for (const std::string& line : c.lines) feed(line);
        EXPECT_EQ(said, c.said);
    }
}

TEST_F(ChatGapsTest, QueryOpensOrReusesTheQueryWindow)
{
    struct Case {
        const char* name;
        std::vector<std::string> tokens;
        const char* nick;
        bool minimised;
        std::vector<std::string> sent;
        std::vector<std::string> shown;
    } cases[] = {
        {"plain", {"query", "bob"}, "bob", false, {}, {}},
        {"again: the same window", {"query", "bob"}, "bob", false, {}, {}},
        {"with text", {"query", "dan", "hi", "there"}, "dan", false, {"PRIVMSG dan :hi there\n"}, {"hi there"}},
        {"minimised", {"query", "-n", "carl"}, "carl", true, {}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        wire.clear();
        EXPECT_EQ(query(c.tokens), 1);
        pump();
        ASSERT_EQ(windows_named(c.nick), 1);
        WindowRecord* q = win_find_by_name(c.nick, conn);
        ASSERT_NE(q, nullptr);
        EXPECT_EQ(q->type, kWinQuery);
        EXPECT_EQ(q->subtype, kQueryPrivate);
        EXPECT_EQ(win_is_minimised(q->hwnd.get()) != 0, c.minimised);
        EXPECT_EQ(sent(), c.sent);
        std::vector<std::string> shown = lines(q);
        ASSERT_EQ(shown.size(), c.shown.size());
        for (std::size_t i = 0; i < shown.size(); ++i)
            EXPECT_NE(shown[i].find(c.shown[i]), std::string::npos) << shown[i];
    }
    // A channel name opens nothing.
    EXPECT_EQ(query({"query", "#nowhere"}), 1);
    EXPECT_EQ(windows_named("#nowhere"), 0);
}

TEST_F(ChatGapsTest, AddressIdentifiersReadTheList)
{
    load_script({"on 1:TEXT:*:#:say $ial($nick,1) $ial(*,0) $ialchan(*,#c,0) $ialchan(b,#c,1).host $ial(zz,1)"});
    feed(":b!bu@b.example PRIVMSG #c :x");
    feed(":a!au@a.example PRIVMSG #c :hi");
    ASSERT_EQ(said.size(), 2u);
    EXPECT_EQ(said[1], "a!au@a.example 2 2 b.example");
}

TEST_F(ChatGapsTest, ClosingAChannelByHandDropsItsNicks)
{
    WindowRecord* other = open("#d", kWinChannel, 0);
    ASSERT_NE(other, nullptr);
    nicklist_update("b", other, kNickAddOrChange, 1);
    feed(":a!au@a.example PRIVMSG #c :hi");
    feed(":b!bu@b.example PRIVMSG #c :hi");
    ASSERT_EQ(ial_count(conn), 2);
    QWidget* hwnd = chan->hwnd.get();
    win_close(hwnd);
    pump();
    EXPECT_EQ(win_find_by_name("#c", conn), nullptr);
    // "a" was only on #c; "b" is still seen on #d.
    std::string out;
    EXPECT_EQ(ial_query("a", "", 1, "", 1, out, conn), 0);
    EXPECT_EQ(ial_query("b", "", 1, "", 1, out, conn), 1);
    EXPECT_EQ(ial_count(conn), 1);
}

}  // namespace

// /ban, /ial, /ialmark, /ialclear and /clearial, /uwho and /abook, run in
// a real channel window of a live connection.
#include "messages_fixture.h"
#include "app/subsystems.h"

#include "commands/list_commands.h"
#include "irc/dispatch/modes.h"
#include "irc/link/close.h"
#include "irc/link/local_address.h"
#include "irc/link/lookups.h"
#include "irc/lists/address_list.h"
#include "irc/lists/ban_lists.h"
#include "irc/lists/user_lists.h"
#include "irc/numerics/numerics.h"
#include "irc/numerics/query_replies.h"
#include "irc/numerics/replies.h"
#include "script/eval/conditions.h"

namespace chat_test {
namespace {

std::vector<std::string> dialogs;   // uwho and abook seam calls

class ListCommands : public ChatTest {
protected:
    void SetUp() override
    {
        ChatTest::SetUp();
        saved_ial_default = ial_default_on;
        irc_user_lists_install();
        app_wire_irc_user_lists();
        abook_open = [](int page, const std::string& name) { dialogs.push_back(std::to_string(page) + " " + name); };
        uwho_dialog_open = [](const std::string& nick, Connection*) { dialogs.push_back("uwho " + nick); };
        dialogs.clear();
        conn->connected = 1;
        ial_default_on = 1;
        ial_set_on(1, conn);
        const std::string a = "a", addr = "~u@h.example";
        ial_update(&a, &addr, 0, conn);
        wire.clear();
        clear(chan);
    }
    void TearDown() override
    {
        userhost_requests_free(conn);
        conn->connected = 0;
        conn->socket = -1;
        ChatTest::TearDown();
        irc_user_lists_uninstall();
        ial_default_on = saved_ial_default;
    }
    // Runs a command typed in a window (the channel when none is given).
    int run(const std::vector<std::string>& tokens, CommandHandler handler, QWidget* window = nullptr)
    {
        CommandCall call;
        call.tokens = tokens;
        call.conn = conn;
        call.window = window ? window : chan->hwnd.get();
        return handler(call);
    }
    std::string mark_of(const std::string& nick)
    {
        std::string out;
        ial_query(nick, "", 1, ".mark", 1, out, conn);
        return out;
    }

    int saved_ial_default = 1;
};

TEST_F(ListCommands, BanBuildsTheMaskFromAnAddressOrTheAddressList)
{
    struct Case {
        std::vector<std::string> tokens;
        std::vector<std::string> sent;
    } cases[] = {
        {{"ban", "a"}, {"MODE #c +b a!*u@h.example\n"}},
        {{"ban", "#c", "a", "2"}, {"MODE #c +b *!*@h.example\n"}},
        {{"ban", "-k", "#c", "a", "2", "go", "away"}, {"MODE #c +b *!*@h.example\n", "KICK #c a :go away\n"}},
        {{"ban", "-K", "a", "away"}, {"MODE #c +b a!*u@h.example\n", "KICK #c a :away\n"}},
        {{"ban", "-r", "#c", "*!*@host"}, {"MODE #c -b *!*@host\n"}},
        {{"ban", "-rk", "a", "0"}, {"MODE #c -b *!~u@h.example\n"}},
        {{"ban", "#c", "host.example"}, {"MODE #c +b *!*@host.example\n"}},
        {{"ban", "#c", "bob!u@h.example", "2"}, {"MODE #c +b *!*@h.example\n"}},
        {{"ban", "#c", "user@h.example"}, {"MODE #c +b *!user@h.example\n"}},
        {{"ban", "-k", "#c", "bob!u@h.example", "2", "x"}, {"MODE #c +b *!*@h.example\n", "KICK #c bob :x\n"}},
        {{"ban", "-k", "#c", "*!u@h.example", "x"}, {"MODE #c +b *!u@h.example\n"}},   // no nick to kick
        {{"ban", "#c", "ghost"}, {"USERHOST ghost\n"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.tokens.back());
        wire.clear();
        EXPECT_EQ(run(c.tokens, cmd_ban), 1);
        EXPECT_EQ(sent(), c.sent);
    }
    EXPECT_EQ(userhost_request_count(conn), 1);
}

TEST_F(ListCommands, BanErrors)
{
    struct Case {
        std::vector<std::string> tokens;
        bool from_status;
        int connected;
    } cases[] = {
        {{"ban"}, false, 1},
        {{"ban", "#nochan", "a"}, false, 1},
        {{"ban", "#c"}, false, 1},
        {{"ban", "-k"}, false, 1},
        {{"ban", "a"}, true, 1},      // the current window is no channel
        {{"ban", "#c", "a\r\nQUIT"}, false, 1},
        {{"ban", "#c", "a"}, false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.tokens.size());
        conn->connected = c.connected;
        wire.clear();
        EXPECT_EQ(run(c.tokens, cmd_ban, c.from_status ? status()->hwnd.get() : nullptr), 0);
        EXPECT_TRUE(sent().empty());
    }
}

TEST_F(ListCommands, TimedBanIsListedAndLiftedWhenItsTimeRunsOut)
{
    nicklist_update("me", chan, kNickRemove, 0);
    nicklist_update("me", chan, kNickAddOrChange, nicklist_prefix_bit(conn, '@'));
    struct Case {
        const char* sw;
        int seconds;
    } cases[] = {{"-u", 60}, {"-u5", 5}, {"-u0", 1}, {"-ku90", 90}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.sw);
        ASSERT_EQ(run({"ban", c.sw, "#c", "a"}, cmd_ban), 1);
        EXPECT_EQ(chan_timed_ban_find("#c", "a!*u@h.example", conn), c.seconds);
    }
    // The last one stands (one entry per channel and mask); -u alone lasts a minute.
    ASSERT_EQ(run({"ban", "-u", "#c", "a"}, cmd_ban), 1);
    int lifted_at = 0;
    for (int second = 1; second <= 61 && !lifted_at; ++second) {
        wire.clear();
        chan_timed_ban_tick(conn);
        if (sent() == std::vector<std::string>{"MODE #c -b a!*u@h.example\n"}) lifted_at = second;
    }
    EXPECT_GE(lifted_at, 59);
    EXPECT_LE(lifted_at, 60);
    EXPECT_EQ(chan_timed_ban_find("#c", "a!*u@h.example", conn), 0);
}

TEST_F(ListCommands, BanOfAnUnknownNickFinishesWithItsUserhostReply)
{
    ASSERT_EQ(run({"ban", "-ku", "#c", "ghost", "2", "bye", "now"}, cmd_ban), 1);
    ASSERT_EQ(run({"ban", "-r", "#c", "wisp"}, cmd_ban), 1);
    EXPECT_EQ(sent(), (std::vector<std::string>{"USERHOST ghost\n", "USERHOST wisp\n"}));
    nicklist_update("ghost", chan, kNickAddOrChange, 1);
    wire.clear();
    feed(":srv 302 me :ghost=+g@g.example");
    EXPECT_EQ(sent(), (std::vector<std::string>{"MODE #c +b *!*@g.example\n", "KICK #c ghost :bye now\n"}));
    EXPECT_EQ(chan_timed_ban_find("#c", "*!*@g.example", conn), 60);
    wire.clear();
    feed(":srv 302 me :wisp=+w@w.example");
    EXPECT_EQ(sent(), std::vector<std::string>{"MODE #c -b wisp!*w@w.example\n"});
    EXPECT_EQ(chan_timed_ban_find("#c", "wisp!*w@w.example", conn), 0);
}

TEST_F(ListCommands, IalSwitchEmptiesTheListWhenItChanges)
{
    struct Step {
        std::vector<std::string> tokens;
        int on;
        int count;
        const char* shown;
    } steps[] = {
        {{"ial"}, 1, 1, "* IAL şu an Açık"},
        {{"ial", "ON"}, 1, 1, "* IAL şu an Açık"},   // already on: kept
        {{"ial", "off"}, 0, 0, "* IAL şu an Kapalı"},
        {{"ial", "maybe"}, 0, 0, "* IAL şu an Kapalı"},
        {{"ial", "on"}, 1, 0, "* IAL şu an Açık"},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.tokens.back());
        clear(chan);
        EXPECT_EQ(run(s.tokens, cmd_ialclear), 1);
        EXPECT_EQ(ial_is_on(conn), s.on);
        EXPECT_EQ(ial_count(conn), s.count);
        EXPECT_EQ(lines(chan), std::vector<std::string>{s.shown});
    }
    EXPECT_EQ(ial_default_on, 0);
}

TEST_F(ListCommands, IalmarkSetsAndClearsTheNote)
{
    struct Step {
        std::vector<std::string> tokens;
        int result;
        const char* shown;   // null: nothing (an error)
        const char* mark;
    } steps[] = {
        {{"ialmark", "A", "the", "friend"}, 1, "* A ile 'the friend' işarelendi", "the friend"},
        {{"ialmark", "a"}, 1, "* a ile '' işarelendi", ""},
        {{"ialmark", "nobody", "x"}, 1, "* nobody İşaretlenemedi", ""},
        {{"ialmark"}, 0, nullptr, ""},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.tokens.size());
        clear(chan);
        EXPECT_EQ(run(s.tokens, cmd_ialclear), s.result);
        if (s.shown) {
            EXPECT_EQ(lines(chan), std::vector<std::string>{s.shown});
        }
        EXPECT_EQ(mark_of("a"), s.mark);
    }
    IalResult r;
    ASSERT_NE(ial_lookup("a", r, conn), nullptr);
    EXPECT_FALSE(ial_lookup("a", r, conn)->has_note);
}

TEST_F(ListCommands, IalclearForgetsANickOrEverything)
{
    const std::string b = "b", addr = "u@b.example";
    ial_update(&b, &addr, 0, conn);
    ASSERT_EQ(ial_count(conn), 2);
    // "a" shares #c with us, and still goes.
    EXPECT_EQ(run({"ialclear", "a"}, cmd_ialclear), 1);
    IalResult r;
    EXPECT_EQ(ial_lookup("a", r, conn), nullptr);
    EXPECT_EQ(ial_count(conn), 1);
    EXPECT_EQ(run({"clearial"}, cmd_ialclear), 1);
    EXPECT_EQ(ial_count(conn), 0);
    EXPECT_TRUE(lines(chan).empty());
}

TEST_F(ListCommands, UwhoAsksForTheWhoisAndSaysSo)
{
    struct Case {
        std::vector<std::string> tokens;
        int connected;
        int result;
        std::vector<std::string> sent;
        std::vector<std::string> dialogs;
        std::vector<std::string> shown;
    } cases[] = {
        {{"uwho", "bob"}, 1, 1, {"WHOIS bob\n"}, {"uwho bob"}, {"* bob Nickli kişinin kişisel bilgilerine bakılıyor..."}},
        {{"uwho", "bob", "BOB"}, 1, 1, {"WHOIS bob BOB\n"}, {"uwho bob"},
         {"* bob Nickli kişinin kişisel bilgilerine bakılıyor..."}},
        {{"uwho", "bob", "irc.example"}, 1, 1, {"WHOIS bob\n"}, {"uwho bob"},
         {"* bob Nickli kişinin kişisel bilgilerine bakılıyor..."}},
        {{"uwho"}, 1, 1, {}, {"uwho "}, {}},
        {{"uwho", "bob"}, 0, 0, {}, {}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.tokens.size());
        conn->connected = c.connected;
        wire.clear();
        dialogs.clear();
        clear(chan);
        EXPECT_EQ(run(c.tokens, cmd_abook), c.result);
        EXPECT_EQ(sent(), c.sent);
        EXPECT_EQ(dialogs, c.dialogs);
        if (c.result) {
            EXPECT_EQ(lines(chan), c.shown);
        }
    }
}

TEST_F(ListCommands, AbookOpensOnThePageOfItsLastSwitch)
{
    struct Case {
        std::vector<std::string> tokens;
        const char* opened;
    } cases[] = {
        {{"abook"}, "0 "},
        {{"abook", "-w", "bob"}, "1 bob"},
        {{"abook", "-hw"}, "5 "},
        {{"abook", "-nC", "amy"}, "3 amy"},
        {{"abook", "-L"}, "4 "},
        {{"abook", "-x", "z"}, "0 z"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.opened);
        dialogs.clear();
        EXPECT_EQ(run(c.tokens, cmd_abook), 1);
        EXPECT_EQ(dialogs, std::vector<std::string>{c.opened});
    }
}

TEST_F(ListCommands, CommandsAreReachedByTheirWords)
{
    EXPECT_EQ(script_exec_line(chan->hwnd.get(), "ialmark a via the engine", nullptr, 1, nullptr, nullptr, conn), 1);
    EXPECT_EQ(mark_of("a"), "via the engine");
    wire.clear();
    EXPECT_EQ(script_exec_line(chan->hwnd.get(), "ban -r #c *!*@x", nullptr, 1, nullptr, nullptr, conn), 1);
    EXPECT_EQ(sent(), std::vector<std::string>{"MODE #c -b *!*@x\n"});
    dialogs.clear();
    EXPECT_EQ(script_exec_line(chan->hwnd.get(), "abook -c amy", nullptr, 1, nullptr, nullptr, conn), 1);
    EXPECT_EQ(dialogs, std::vector<std::string>{"3 amy"});
    EXPECT_EQ(script_exec_line(chan->hwnd.get(), "clearial", nullptr, 1, nullptr, nullptr, conn), 1);
    EXPECT_EQ(ial_count(conn), 0);
}

}  // namespace
}  // namespace chat_test

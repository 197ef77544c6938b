// The if-operators that ask a channel's members, its ban lists, the user
// lists, the ignore list and the notify list, run by the script engine over
// the nick list that the server's lines built; and the "@" event lines,
// which run only where the program's own nick is an operator.
#include "messages_fixture.h"

#include "core/main_settings.h"
#include "irc/lists/ignore_list.h"
#include "irc/lists/notify_list.h"
#include "irc/lists/user_lists.h"

namespace chat_test {
namespace {

class ChannelConditions : public ChatTest {
protected:
    void SetUp() override
    {
        ChatTest::SetUp();
        // The lists answer the operators once their parts are installed.
        irc_user_lists_install();
        irc_notify_install();
        // Prefixes with an owner ".", then members who join #c and get
        // their modes from the server.
        feed(":srv 005 me PREFIX=(qohv).@%+ CHANTYPES=#& :are supported");
        for (const char* nick : {"owner", "op", "helper", "voiced", "plain"})
            feed(std::string(":") + nick + "!u@h JOIN #c");
        feed(":srv MODE #c +qohv owner op helper voiced");
        other = open("#d", kWinChannel, 0);
        ASSERT_NE(other, nullptr);
        nicklist_update("me", other, kNickAddOrChange, 1);
    }
    void TearDown() override
    {
        strlist_free(&main_settings.ignore_list);
        for (int k = kUserListAop; k <= kUserListProtect; ++k)
            strlist_free(userlist_head(k));
        ChatTest::TearDown();
    }
    // The truth of one condition as the script engine finds it.
    int truth(const std::string& condition)
    {
        said.clear();
        const std::string line = "if (" + condition + ") say 1 | else say 0";
        script_exec_line(chan->hwnd.get(), line.c_str(), nullptr, 1, nullptr, nullptr, conn);
        return said.size() == 1 ? std::atoi(said[0].c_str()) : -1;
    }
    struct Case {
        const char* condition;
        int truth;
    };
    void run(const std::vector<Case>& cases)
    {
        for (const Case& c : cases) {
            SCOPED_TRACE(c.condition);
            EXPECT_EQ(truth(c.condition), c.truth);
        }
    }
    WindowRecord* other = nullptr;
};

TEST_F(ChannelConditions, MembershipAndRanksFollowTheNickList)
{
    run({
        {"op ison #c", 1},        {"nobody ison #c", 0},      {"op ison #d", 0},     {"op ison #nowhere", 0},
        {"nobody !ison #c", 1},   {"$null ison #c", 0},       {"OP ison #C", 1},
        {"op isop #c", 1},        {"owner isop #c", 1},       {"voiced isop #c", 0}, {"helper isop #c", 0},
        {"voiced !isop #c", 1},   {"op isop #d", 0},
        {"helper ishop #c", 1},   {"helper ishelp #c", 1},    {"op ishop #c", 0},
        {"voiced isvo #c", 1},    {"voiced isvoice #c", 1},   {"plain isvoice #c", 0},
        {"owner isowner #c", 1},  {"op isowner #c", 0},
        {"plain isreg #c", 1},    {"op isreg #c", 0},         {"nobody isreg #c", 0},
        {"#c ischan", 1},         {"#d ischan", 1},           {"#other ischan", 0},  {"#other !ischan", 1},
    });
}

// Modes from the server move the ranks; the test repeated after each.
TEST_F(ChannelConditions, ModeChangesMoveTheRanks)
{
    run({{"me isop #c", 0}, {"me ison #c", 1}, {"me isreg #c", 1}});
    feed(":op!u@h MODE #c +o me");
    run({{"me isop #c", 1}, {"me isreg #c", 0}, {"me isop #d", 0}});
    feed(":op!u@h MODE #c +v plain");
    run({{"plain isvoice #c", 1}, {"plain isreg #c", 0}});
    feed(":op!u@h MODE #c -o me");
    run({{"me isop #c", 0}, {"me isreg #c", 1}});
    feed(":op!u@h KICK #c plain :out");
    run({{"plain ison #c", 0}, {"plain isvoice #c", 0}});
}

TEST_F(ChannelConditions, BanExceptionAndInviteLists)
{
    chan->chan_lists[0] = strlist_append(nullptr, "*!*@bad.host\top 1000", 0);
    chan->chan_lists[0] = strlist_append(chan->chan_lists[0], "troll!*@*\top 1001", 0);
    chan->chan_lists[1] = strlist_append(nullptr, "good!u@h", 0);
    chan->chan_lists[2] = strlist_append(nullptr, "*!*@invited", 0);
    run({
        {"*!*@BAD.host isban #c", 1},  // the entry's text up to the tab, case ignored
        {"x!y@bad.host isban #c", 1},  // the entry with wildcards matches the address
        {"troll!a@b isban #c", 1},
        {"x!y@good.host isban #c", 0},
        {"*!*@* isban #c", 0},         // both hold wildcards: only equal text counts
        {"x!y@bad.host !isban #c", 0},
        {"x!y@bad.host isban #d", 0},
        {"good!u@h isexcept #c", 1},
        {"good!*@* isexcept #c", 1},   // the address holds the wildcards
        {"x!y@invited isinvite #c", 1},
        {"x!y@bad.host isinvite #c", 0},
    });
}

TEST_F(ChannelConditions, UserIgnoreAndNotifyLists)
{
    *userlist_head(kUserListAop) = strlist_append(nullptr, "friend!u@h,#c", 0);
    *userlist_head(kUserListAvoice) = strlist_append(nullptr, "friend!u@h", 0);
    *userlist_head(kUserListProtect) = strlist_append(nullptr, "guard!*@*", 0);
    ignore_edit(nullptr, 1, "spam!u@h", nullptr, 0, 0, conn);
    const std::string only_private = "private";
    ignore_edit(nullptr, 1, "quiet!*@*", &only_private, 0, 0, conn);
    ASSERT_EQ(notify_add("buddy", "", "", "", 0, "", conn), 1);
    run({
        {"friend!u@h isaop #c", 1},       {"friend!u@h isaop #d", 0},     {"friend!u@h isauto", 1},
        {"stranger!u@h isaop", 0},        {"friend!u@h isavoice #c", 1},  {"guard!x@y isprotect", 1},
        {"guard!x@y !isprotect", 0},      {"friend!u@h isprotect", 0},    {"$null isaop", 0},
        {"spam!u@h isignore", 1},         {"SPAM!U@H isignore", 1},       {"spam!u@h isignore ctcp", 1},
        {"ham!u@h isignore", 0},          {"ham!u@h isignore private", 0},
        {"quiet!a@b isignore private", 1}, {"quiet!a@b isignore channel", 0},
        {"quiet!a@b isignore channel private", 1}, {"quiet!a@b isignore", 1},
        {"quiet!a@b !isignore channel", 1},
        {"buddy isnotify", 1},            {"Buddy!x@y isnotify", 1},      {"stranger isnotify", 0},
    });
}

// "@" lines run only while the own nick is an operator of the channel the
// message went to; below them the plain line takes the rest.
TEST_F(ChannelConditions, OpEventLinesRunOnlyWhereWeAreOperators)
{
    load_script({
        "on @*:TEXT:*:#:say op $chan $1-",
        "on *:TEXT:*:#:say plain $chan $1-",
    });
    struct Step {
        const char* line;    // a server line, or null
        const char* text;    // then this message arrives in #c and #d
        std::vector<std::string> said;
    };
    const Step steps[] = {
        {nullptr, "one", {"plain #c one", "plain #d one"}},
        {":op!u@h MODE #c +o me", "two", {"op #c two", "plain #d two"}},
        {nullptr, "three", {"op #c three", "plain #d three"}},   // asked again: still op
        {":op!u@h MODE #c +v me", "four", {"op #c four", "plain #d four"}},
        {":op!u@h MODE #c -o me", "five", {"plain #c five", "plain #d five"}},
        {":op!u@h MODE #d +h me", "six", {"plain #c six", "plain #d six"}},  // half-op is not op
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.text);
        if (s.line)
            feed(s.line);
        said.clear();
        feed(std::string(":a!u@h PRIVMSG #c :") + s.text);
        feed(std::string(":a!u@h PRIVMSG #d :") + s.text);
        EXPECT_EQ(said, s.said);
    }
}

} // namespace
} // namespace chat_test

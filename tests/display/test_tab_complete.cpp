// Tab completion: nicks of the nick list, channel names, the conversation
// partner, evaluation, conversation cycling, and the TABCOMP event.
#include <gtest/gtest.h>

#include <QListWidget>
#include <QTextCursor>

#include <string>
#include <vector>

#include "app/child_window.h"
#include "model/connection.h"
#include "model/window_record.h"
#include "core/options.h"
#include "display/editbox.h"
#include "model/nick_list.h"
#include "display/tab_complete.h"
#include "script/exec/script_types.h"
#include "support/hook_guard.h"

void input_test_reset();
void input_test_pump();
Connection* input_test_conn();
WindowRecord* input_test_open(const std::string& name, int type, int subtype, Connection* conn);
extern int input_test_beeps;
void input_test_interpreter();
void input_test_script(const std::vector<std::string>& lines);
extern std::vector<std::string> input_test_recorded;

namespace {

class TabCompleteTest : public ::testing::Test {
    HookGuard hooks_;  // every seam back as it was when the test ends
protected:
    void SetUp() override
    {
        input_test_reset();
        conn = input_test_conn();
        ASSERT_TRUE(conn);
        channel = input_test_open("#kest", kWinChannel, 0, conn);
        ASSERT_TRUE(channel);
    }
    void TearDown() override { input_test_reset(); }

    // Types the text with the caret at the end (or at `caret`) and presses Tab.
    std::string tab(WindowRecord* rec, const std::string& text, int caret = -1)
    {
        tabcomp_set_text(rec, 0, text, caret < 0 ? static_cast<int>(text.size()) : caret);
        tabcomp_edit_reset(rec->conn);
        return tab_again(rec);
    }
    std::string tab_again(WindowRecord* rec)
    {
        tabcomp_complete(rec, 0);
        return rec->editbox->textBytes();
    }

    // Runs a command line in the channel as the interpreter runs typed ones.
    void run(const std::string& line)
    {
        script_exec_line(channel->hwnd.get(), line.c_str(), nullptr, 0, nullptr, nullptr, conn);
    }

    Connection* conn = nullptr;
    WindowRecord* channel = nullptr;
};

TEST_F(TabCompleteTest, NickPrefixCyclesThroughMatchesInListOrder)
{
    for (const char* nick : {"zed", "Bart", "bob", "carl", "bashful"})
        nicklist_update(nick, channel, kNickAddOrChange, 1);
    nicklist_update("bob", channel, kNickAddOrChange, nicklist_prefix_bit(conn, '@'));
    // List order: @bob, Bart, bashful, carl, zed.
    struct Step {
        const char* what;
        bool fresh;
        const char* typed;
        const char* expect;
    };
    const Step steps[] = {
        {"first match", true, "hi b", "hi bob"},
        {"next match", false, nullptr, "hi Bart"},
        {"third match", false, nullptr, "hi bashful"},
        {"wraps to the first", false, nullptr, "hi bob"},
        {"prefix only among ops", true, "@b", "@bob"},
        {"wildcard pattern", true, "*ar*", "Bart"},
        {"after a comma", true, "/mode #k +oo bob,ca", "/mode #k +oo bob,carl"},
        {"leading = skipped", true, "=zE", "=zed"},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.what);
        std::string got = s.fresh ? tab(channel, s.typed) : tab_again(channel);
        EXPECT_EQ(got, s.expect);
    }
}

TEST_F(TabCompleteTest, CaretInTheMiddleCompletesThatWord)
{
    nicklist_update("alice", channel, kNickAddOrChange, 1);
    std::string got = tab(channel, "hi al and more", 5);
    EXPECT_EQ(got, "hi alice and more");
    EXPECT_EQ(tabcomp_caret(channel, 0), 8);
}

TEST_F(TabCompleteTest, NoMatchLeavesTheBoxAloneAndBeeps)
{
    nicklist_update("alice", channel, kNickAddOrChange, 1);
    struct Case {
        const char* what;
        const char* typed;
    };
    const Case cases[] = {
        {"no nick matches", "hi xy"},
        {"caret after a blank", "hi "},
        {"a prefix character alone", "@"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        input_test_beeps = 0;
        EXPECT_EQ(tab(channel, c.typed), c.typed);
        EXPECT_EQ(input_test_beeps, 1);
    }
}

TEST_F(TabCompleteTest, ChannelNamesUseTheConnectionChanTypes)
{
    conn->chan_types = "#!";
    ASSERT_TRUE(input_test_open("#zeta", kWinChannel, 0, conn));
    ASSERT_TRUE(input_test_open("!plus", kWinChannel, 0, conn));
    static const char* folder[] = {"#alpha", "#Zebra"};
    tabcomp_folder_channels_hook = []() {
        StringNode* head = nullptr;
        for (const char* f : folder)
            head = strlist_append(head, f, 0);
        return head;
    };
    WindowRecord* status = win_record_of(conn->status_window.data());
    ASSERT_TRUE(status);
    struct Step {
        const char* what;
        WindowRecord* rec;
        bool fresh;
        const char* typed;
        const char* expect;
    };
    const Step steps[] = {
        {"status: sorted, first", status, true, "/join #z", "/join #Zebra"},
        {"status: next", status, false, nullptr, "/join #zeta"},
        {"status: wraps", status, false, nullptr, "/join #Zebra"},
        {"a channel type of the server", status, true, "/join !p", "/join !plus"},
        {"a channel window puts its own name first", channel, true, "/part #", "/part #kest"},
        {"a channel window: own name", channel, true, "#k", "#kest"},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.what);
        std::string got = s.fresh ? tab(s.rec, s.typed) : tab_again(s.rec);
        EXPECT_EQ(got, s.expect);
    }
    // "&" is no channel type on this connection: no channel completion.
    input_test_beeps = 0;
    EXPECT_EQ(tab(channel, "&z"), "&z");
}

TEST_F(TabCompleteTest, QueryPartnerAndMessageWindow)
{
    WindowRecord* query = input_test_open("Bobby", kWinQuery, kQueryPrivate, conn);
    ASSERT_TRUE(query);
    EXPECT_EQ(tab(query, "hey bo"), "hey Bobby");
    input_test_beeps = 0;
    EXPECT_EQ(tab(query, "hey zz"), "hey zz");

    WindowRecord* messages = input_test_open("Messages", kWinQuery, kQueryMessages, conn);
    ASSERT_TRUE(messages);
    tab_nicks_add("carla", 1, conn);
    tab_nicks_add("cedric", 1, conn);
    EXPECT_EQ(tab(messages, "/msg ce"), "/msg cedric");
}

TEST_F(TabCompleteTest, EvaluationOfIdentifiersAndVariables)
{
    input_test_interpreter();
    conn->live_identity[2] = "kestuser";
    run("/set %greet merhaba");
    struct Case {
        const char* typed;
        const char* expect;
    };
    const Case cases[] = {
        {"I am $me", "I am kestuser"},
        {"say %greet", "say merhaba"},
        {"say $calc(2+3)", "say 5"},
        {"#", "#kest"},
        {"x $null", "x $null"},  // evaluated to nothing: the pattern stays
        {"x %nothing", "x %nothing"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        EXPECT_EQ(tab(channel, c.typed), c.expect);
    }
    run("/unset %greet");
}

TEST_F(TabCompleteTest, EmptyBoxCyclesConversationNicks)
{
    for (const char* n : {"ann", "ben", "cat"})
        tab_nicks_add(n, 1, conn);
    const char* expect[] = {"/msg cat ", "/msg ben ", "/msg ann ", "", "/msg cat "};
    tabcomp_set_text(channel, 0, "", 0);
    tabcomp_reset(conn);
    for (const char* e : expect) {
        SCOPED_TRACE(e);
        tabcomp_complete(channel, 0);
        EXPECT_EQ(channel->editbox->textBytes(), e);
    }

    // In the message window the wrap leaves "/msg ".
    WindowRecord* messages = input_test_open("Messages", kWinQuery, kQueryMessages, conn);
    ASSERT_TRUE(messages);
    tabcomp_set_text(messages, 0, "", 0);
    tabcomp_reset(conn);
    for (int i = 0; i < 4; ++i)
        tabcomp_complete(messages, 0);
    EXPECT_EQ(messages->editbox->textBytes(), "/msg ");
}

TEST_F(TabCompleteTest, TabcompEventSeesBothStepsAndCanHalt)
{
    nicklist_update("alice", channel, kNickAddOrChange, 1);
    input_test_interpreter();
    // The handler halts the step whose number is in %tabhalt.
    input_test_script({"on *:TABCOMP:#kest:rec $1- | set %tabn $calc(%tabn + 1) | "
                       "if (%tabn == %tabhalt) halt",
                       "on *:TABCOMP:#other:rec other"});
    struct Case {
        const char* what;
        int halt_at;
        int events;
        const char* expect;
        int fired_count;
    };
    const Case cases[] = {
        {"both steps run", 0, 1, "hi alice", 2},
        {"halted at the first step", 1, 1, "hi al", 1},
        {"halted at the final step", 2, 1, "hi al", 2},
        {"remote events off: no event", 1, 0, "hi alice", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        input_test_recorded.clear();
        run("/set %tabn 0");
        run("/set %tabhalt " + std::to_string(c.halt_at));
        opt_set(OPT_REMOTE_EVENTS, c.events);
        EXPECT_EQ(tab(channel, "hi al"), c.expect);
        EXPECT_EQ(input_test_recorded, std::vector<std::string>(c.fired_count, "hi alice"));
    }
    run("/unset %tabn %tabhalt");
}

TEST_F(TabCompleteTest, ConversationListsAddRenameRemove)
{
    conn->server_name = "irc.example.net";
    tab_nicks_add("ann", 1, conn);
    tab_nicks_add("server.name", 1, conn);
    tab_nicks_add("irc.example.net", 1, conn);
    tab_nicks_add("", 1, conn);
    tab_nicks_add("bob", 1, conn);
    tab_nicks_add("ANN", 1, conn);  // moves to the newest place
    tab_nicks_add("zed", 3, conn);  // no such list
    TabState* s = tabcomp_state(conn);
    ASSERT_TRUE(s);
    std::vector<std::string> names;
    for (StringNode* n = s->list1; n; n = n->next)
        names.push_back(n->text);
    EXPECT_EQ(names, (std::vector<std::string>{"bob", "ANN"}));

    for (int i = 0; i < 25; ++i)
        tab_nicks_add("n" + std::to_string(i), 2, conn);
    EXPECT_EQ(strlist_count(s->list2), 20);
    EXPECT_EQ(s->list2->text, "n5");

    tab_nicks_rename("bob", "robert", conn);
    EXPECT_EQ(s->list1->text, "robert");
    std::string robert = "ROBERT";
    EXPECT_EQ(tab_nicks_remove(channel, &robert, conn), 1);
    EXPECT_EQ(strlist_count(s->list1), 1);

    // Ctrl+D on a "/msg <nick> " line made by cycling removes that nick.
    tabcomp_set_text(channel, 0, "", 0);
    tabcomp_reset(conn);
    tabcomp_complete(channel, 0);
    EXPECT_EQ(channel->editbox->textBytes(), "/msg ANN ");
    EXPECT_EQ(tab_nicks_remove(channel, nullptr, conn), 1);
    EXPECT_EQ(channel->editbox->textBytes(), "");
    EXPECT_EQ(s->list1, nullptr);
    // Typed text without a cycle: refused.
    tabcomp_set_text(channel, 0, "typed", 5);
    EXPECT_EQ(tab_nicks_remove(channel, nullptr, conn), 0);
}

TEST(TabCompleteText, MsgLineAndWantsTab)
{
    struct Case {
        const char* text;
        int is_msg;
    };
    const Case cases[] = {
        {"/msg ", 1},       {"/MSG    ", 1},     {"/msg bob ", 1},  {"/msg bob   ", 1},
        {"/msg bob", 0},    {"/msg bob hi", 0},  {"/msg $me ", 0},  {"/msg %v ", 0},
        {"/msgx", 0},       {"hello", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(tabcomp_is_msg_line(c.text), c.is_msg);
    }
}

TEST_F(TabCompleteTest, WantsTabByTheCharacterBeforeTheCaret)
{
    struct Case {
        const char* text;
        int caret;
        int wants;
    };
    const Case cases[] = {
        {"", 0, 0}, {"/msg bob", 8, 1}, {"hello", 5, 1}, {"hello ", 6, 0},
        {"a b", 2, 0}, {"ab", 0, 1}, {" ab", 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        tabcomp_set_text(channel, 0, c.text, c.caret);
        EXPECT_EQ(tabcomp_wants_tab(channel, 0), c.wants);
    }
}

}  // namespace

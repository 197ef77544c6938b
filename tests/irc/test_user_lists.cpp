// The auto-op, auto-voice and protect lists (matching, edits, and their use
// on JOIN, KICK and MODE), the USERHOST requests answered by 302 replies, and
// the user-level entries of the users file.
#include "messages_fixture.h"
#include "app/subsystems.h"

#include "core/main_settings.h"
#include "core/string_list.h"
#include "irc/dispatch/automode.h"
#include "irc/dispatch/membership.h"
#include "irc/link/close.h"
#include "irc/link/local_address.h"
#include "irc/link/lookups.h"
#include "irc/lists/address_list.h"
#include "irc/lists/ban_lists.h"
#include "irc/lists/user_lists.h"
#include "irc/lists/ignore_list.h"
#include "irc/numerics/numerics.h"
#include "irc/numerics/query_replies.h"
#include "irc/numerics/replies.h"
#include "irc/services/finger.h"
#include "script/eval/conditions.h"
#include "script/events/remote_files.h"
#include "support/test_support.h"
#include "script/exec/script_text.h"

#include <algorithm>

namespace chat_test {
namespace {

// What the print path stored: "[text]" when a separator followed it.
std::vector<std::string> printed;
int recolours = 0;   // the nick colours were told to follow a list change

std::vector<std::string> texts(const StringNode* head)
{
    std::vector<std::string> out;
    for (const StringNode* n = head; n; n = n->next) out.push_back(n->text);
    return out;
}

class UserLists : public ChatTest {
protected:
    void SetUp() override
    {
        ChatTest::SetUp();
        for (int k = 0; k < 3; ++k) {
            saved_lists[k] = *userlist_head(k);
            *userlist_head(k) = nullptr;
        }
        irc_membership_install();
        app_wire_irc_membership();
        irc_user_lists_install();
        app_wire_irc_user_lists();
        line_printed.add_once(printed_listener_, 0, [](const LinePrinted& l) {
            if (l.event != kPrintStored || !l.first_part) return;
            if (!l.separator) printed.emplace_back(l.text);
            else if (!printed.empty() && printed.back().rfind('[', 0) != 0) printed.back() = "[" + printed.back() + "]";
        });
        irc_nick_colours_stale.add_once(recolour_listener_, 0, [] { ++recolours; });
        printed.clear();
        strlist_free(&main_settings.ignore_list);
        ignore_prune_timed();
        recolours = 0;
        conn->network = "Net";
        conn->connected = 1;
        op = nicklist_prefix_bit(conn, '@');
        voice = nicklist_prefix_bit(conn, '+');
        wire.clear();
    }
    void TearDown() override
    {
        userhost_requests_free(conn);
        line_printed.drop(printed_listener_);
        irc_nick_colours_stale.drop(recolour_listener_);
        finger_close(std::string());
        strlist_free(&main_settings.ignore_list);
        ignore_prune_timed();
        conn->connected = 0;
        conn->socket = -1;
        ChatTest::TearDown();
        for (int k = 0; k < 3; ++k) {
            strlist_free(userlist_head(k));
            *userlist_head(k) = saved_lists[k];
        }
        irc_user_lists_uninstall();
    }
    void set_list(int kind, const std::vector<std::string>& entries)
    {
        strlist_free(userlist_head(kind));
        for (const std::string& e : entries) *userlist_head(kind) = strlist_append(*userlist_head(kind), e.c_str(), 0);
    }
    int ask(const std::string& nick, int purpose, int mask_type, const std::string& text1 = "",
            const std::string& channel = "", int seconds = 0, int action = 1)
    {
        return irc_userhost_request_on(conn, nick, text1, "", channel, mask_type, seconds, chan->hwnd.get(), action,
                                       purpose, 0, 1);
    }
    std::vector<std::string> status_lines() { return lines(status()); }
    int printed_listener_ = 0;
    int recolour_listener_ = 0;

    StringNode* saved_lists[3] = {};
    int op = 0, voice = 0;
};

// ---- Entries and matching ----

TEST(UserListEntry, SplitNetworkCutsOnlyAQuotedLastField)
{
    struct Case {
        const char* text;
        const char* network;
        const char* left;
    } cases[] = {
        {"*!*@h,#a,\"Net\"", "Net", "*!*@h,#a"},
        {"*!*@h,  \"Two Words\"", "Two", "*!*@h"},
        {"*!*@h,#a", "", "*!*@h,#a"},
        {"*!*@h", "", "*!*@h"},
        {"*!*@h,#a,Net\"", "", "*!*@h,#a,Net\""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        std::string text = c.text;
        EXPECT_EQ(userlist_split_network(text), c.network);
        EXPECT_EQ(text, c.left);
    }
    std::string huge = "m,\"" + std::string(5000, 'n') + "\"";
    EXPECT_EQ(userlist_split_network(huge).size(), 304u);
    EXPECT_EQ(huge, "m");
}

TEST(UserListEntry, NetworkRule)
{
    struct Case {
        const char* entry;
        const char* lookup;
        bool explicit_net;
        bool applies;
    } cases[] = {
        {"", "*", true, true},       {"Other", "*", false, true}, {"net", "NET", true, true},
        {"Other", "Net", false, false}, {"", "Net", false, true},  {"", "Net", true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.entry) + "/" + c.lookup);
        EXPECT_EQ(userlist_network_applies(c.entry, c.lookup, c.explicit_net), c.applies);
    }
}

TEST_F(UserLists, AopMatchFiltersByNetworkAndChannelAndTheFirstMaskDecides)
{
    set_list(kUserListAop, {"*!*@other.net,\"Other\"", "*!*@a.host,#a,#B", "*!*@*.host", "bob!*@*,\"Net\""});
    const std::string a = "#a", b = "#b", c = "#c", other = "Other";
    struct Case {
        const char* address;
        const std::string* channel;
        const std::string* network;
        const char* entry;   // null: no match
    } cases[] = {
        {"x!u@a.host", &a, nullptr, "*!*@a.host,#a,#B"},
        {"x!u@A.HOST", &b, nullptr, "*!*@a.host,#a,#B"},
        // The first mask that matches decides: its channels do not hold #c.
        {"x!u@a.host", &c, nullptr, nullptr},
        {"x!u@a.host", nullptr, nullptr, "*!*@a.host,#a,#B"},
        {"x!u@b.host", &c, nullptr, "*!*@*.host"},
        // An entry of another network does not apply on ours...
        {"x!u@other.net", nullptr, nullptr, nullptr},
        // ...but does when that network is asked for; entries without one then do not.
        {"x!u@other.net", nullptr, &other, "*!*@other.net,\"Other\""},
        {"x!u@b.host", nullptr, &other, nullptr},
        {"bob!u@nowhere", &c, nullptr, "bob!*@*,\"Net\""},
        {"", nullptr, nullptr, nullptr},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(std::string(k.address) + (k.channel ? " " + *k.channel : ""));
        StringNode* e = userlist_aop_match(k.address, k.channel, k.network, conn);
        if (!k.entry) {
            EXPECT_EQ(e, nullptr);
        } else {
            ASSERT_NE(e, nullptr);
            EXPECT_EQ(e->text, k.entry);
        }
    }
    EXPECT_EQ(userlist_avoice_match("x!u@a.host", nullptr, nullptr, conn), nullptr);
}

TEST_F(UserLists, ProtectMatchesANickOrItsAddressFromTheAddressList)
{
    set_list(kUserListProtect, {"Friend", "*!*@safe.host,#c", "*!*@x.host,\"Other\""});
    const std::string nick_a = "a", addr_a = "u@safe.host", nick_x = "xn", addr_x = "u@x.host";
    ial_update(&nick_a, &addr_a, 0, conn);
    ial_update(&nick_x, &addr_x, 0, conn);
    const std::string c = "#c", d = "#d";
    struct Case {
        const char* nick;
        const std::string* channel;
        bool hit;
    } cases[] = {
        {"friend", &d, true},   // a plain nick, any channel
        {"a", &c, true},        // by its address
        {"a", &d, false},       // ...not on another channel
        {"b", &c, false},       // its address is not known
        {"xn", nullptr, false}, // another network's entry
        {"", nullptr, false},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.nick);
        EXPECT_EQ(userlist_protect_match(k.nick, k.channel, nullptr, conn) != nullptr, k.hit);
    }
    // With the address given the list is not asked.
    EXPECT_NE(userlist_protect_match_address("b", "b!u@safe.host", &c, nullptr, conn), nullptr);
}

// ---- Edits ----

TEST_F(UserLists, AopEditsAddUpdateShortenAndRemoveWithTheirTexts)
{
    struct Step {
        int action;
        const char* mask;
        const char* channels;   // null: none given
        int result;
        const char* message;
        std::vector<std::string> list;
    } steps[] = {
        {1, "bob", nullptr, 1, "[* bob!*@* Oto-op Listesine Eklendi]", {"bob!*@*"}},
        {1, "host.example", "#a", 1, "[* *!*@host.example Oto-op Listesine Eklendi]",
         {"bob!*@*", "*!*@host.example,#a"}},
        {1, "*!*@HOST.example", "#A,#b", 1, "[* *!*@HOST.example Kanalı için Oto-op Güncelleniyor]",
         {"bob!*@*", "*!*@HOST.example,#a,#b"}},
        {1, "bob", nullptr, 1, "[* bob!*@* İçin Oto-oplar Güncelleniyor]", {"*!*@HOST.example,#a,#b", "bob!*@*"}},
        {2, "*!*@host.example", "#a", 2, "[* *!*@host.example Kanalı için Oto-op Güncelleniyor]",
         {"bob!*@*", "*!*@host.example,#b"}},
        {2, "*!*@host.example", "#b", 2, "[* *!*@host.example Otoo-op Listesinden Çıkarıldı]", {"bob!*@*"}},
        {2, "nobody", nullptr, 0, "[* nobody!*@* Oto-op Listesinde Yok]", {"bob!*@*"}},
        {0, "bob", nullptr, 2, "[* bob!*@* Otoo-op Listesinden Çıkarıldı]", {}},
        {0, "bob", nullptr, 1, "[* bob!*@* Oto-op Listesine Eklendi]", {"bob!*@*"}},
        {1, " , ", nullptr, 0, nullptr, {"bob!*@*"}},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(std::string(s.mask) + " " + std::to_string(s.action));
        printed.clear();
        const std::string channels = s.channels ? s.channels : "";
        EXPECT_EQ(userlist_aop_edit(chan->hwnd.get(), s.action, s.mask, s.channels ? &channels : nullptr, 1, conn),
                  s.result);
        if (s.message) {
            EXPECT_EQ(printed, std::vector<std::string>{s.message});
        } else {
            EXPECT_TRUE(printed.empty());
        }
        EXPECT_EQ(texts(main_settings.aop_list), s.list);
    }
    EXPECT_EQ(opt(OPT_AUTO_OP_ENABLED), 1);
    EXPECT_GT(recolours, 0);
}

TEST_F(UserLists, EachListCompletesItsMaskItsOwnWayAndKeepsOtherEntries)
{
    printed.clear();
    EXPECT_EQ(userlist_protect_edit(nullptr, 1, "Guard", nullptr, 1, conn), 1);
    EXPECT_EQ(userlist_protect_edit(nullptr, 1, "guard@h", nullptr, 0, conn), 1);
    EXPECT_EQ(texts(main_settings.protect_list), (std::vector<std::string>{"Guard", "*!guard@h"}));
    EXPECT_EQ(printed, std::vector<std::string>{"[* Guard Koruma Listesine Eklendi]"});
    EXPECT_EQ(opt(OPT_PROTECT_ENABLED), 1);

    const std::string net = ",\"Net\"";
    EXPECT_EQ(userlist_avoice_edit(nullptr, 1, "v.example", &net, 0, conn), 1);
    EXPECT_EQ(userlist_avoice_edit(nullptr, 1, "nick!user@full.host", nullptr, 0, conn), 1);
    EXPECT_EQ(texts(main_settings.avoice_list),
              (std::vector<std::string>{"*!*@v.example,\"Net\"", "nick!user@full.host"}));
    EXPECT_EQ(opt(OPT_AUTO_VOICE_ENABLED), 1);

    // A wider mask already listed is another entry, not this one: adding or
    // removing a narrower mask leaves it alone.
    set_list(kUserListAop, {"*!*@*"});
    EXPECT_EQ(userlist_aop_edit(nullptr, 1, "bob!*@*", nullptr, 0, conn), 1);
    EXPECT_EQ(texts(main_settings.aop_list), (std::vector<std::string>{"*!*@*", "bob!*@*"}));
    EXPECT_EQ(userlist_aop_edit(nullptr, 2, "amy!*@*", nullptr, 0, conn), 0);
    EXPECT_EQ(texts(main_settings.aop_list), (std::vector<std::string>{"*!*@*", "bob!*@*"}));

    // Giving channels to an entry of every channel keeps its network.
    set_list(kUserListAop, {"*!*@n.host,\"Net\""});
    const std::string chans = "#x";
    EXPECT_EQ(userlist_aop_edit(nullptr, 1, "*!*@n.host", &chans, 0, conn), 1);
    EXPECT_EQ(texts(main_settings.aop_list), std::vector<std::string>{"*!*@n.host,#x,\"Net\""});
}

// ---- On the channel ----

TEST_F(UserLists, JoinOfAListedUserGivesOpOrVoiceWhenWeMay)
{
    struct Case {
        const char* name;
        int aop_on, avoice_on, delay;
        int own_bits;
        std::vector<std::string> aop, avoice;
        std::vector<std::string> sent;
        std::size_t queued;
    } cases[] = {
        {"not op", 1, 0, 0, 1, {"*!*@h.example"}, {}, {}, 0},
        {"op", 1, 0, 0, -1, {"*!*@h.example"}, {}, {"MODE #c +o bob\n"}, 0},
        {"op delayed", 1, 0, 1, -1, {"*!*@h.example"}, {}, {}, 1},
        {"aop off", 0, 0, 0, -1, {"*!*@h.example"}, {}, {}, 0},
        {"other channel", 1, 0, 0, -1, {"*!*@h.example,#x"}, {}, {}, 0},
        {"other network", 1, 0, 0, -1, {"*!*@h.example,\"Other\""}, {}, {}, 0},
        {"voice as voice", 0, 1, 0, -2, {}, {"bob!*@*"}, {"MODE #c +v bob\n"}, 0},
        {"op list first", 1, 1, 0, -1, {"bob!*@*"}, {"bob!*@*"}, {"MODE #c +o bob\n"}, 0},
        {"voice when not in op list", 1, 1, 0, -1, {"amy!*@*"}, {"bob!*@*"}, {"MODE #c +v bob\n"}, 0},
        {"voice without rank", 0, 1, 0, 1, {}, {"bob!*@*"}, {}, 0},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        opt_set(OPT_AUTO_OP_ENABLED, k.aop_on);
        opt_set(OPT_AUTO_VOICE_ENABLED, k.avoice_on);
        opt_set(OPT_AUTO_OP_DELAY, k.delay);
        set_list(kUserListAop, k.aop);
        set_list(kUserListAvoice, k.avoice);
        nicklist_update("me", chan, kNickRemove, 0);
        nicklist_update("me", chan, kNickAddOrChange, k.own_bits == -1 ? op : k.own_bits == -2 ? voice : 1);
        conn->state_slots.reset(automode_slot);
        wire.clear();
        feed(":bob!u@h.example JOIN :#c");
        EXPECT_EQ(sent(), k.sent);
        EXPECT_EQ(automode_entries(conn).size(), k.queued);
        if (k.queued) {
            EXPECT_EQ(automode_entries(conn)[0].text, "#c bob");
        }
        nicklist_update("bob", chan, kNickRemove, 0);
    }
}

TEST_F(UserLists, ProtectedUsersAreAvengedOnKickAndDeop)
{
    const std::string a = "a", addr = "u@safe.host";
    struct Case {
        const char* name;
        int protect_on;
        bool we_op;
        const char* line;
        std::vector<std::string> entries;
        const char* sent;   // null: nothing
    } cases[] = {
        {"kick", 1, true, ":b!x@y KICK #c a :bye", {"a"}, "KICK #c b\n"},
        {"kick by address", 1, true, ":b!x@y KICK #c a :bye", {"*!*@safe.host,#c"}, "KICK #c b\n"},
        {"protect off", 0, true, ":b!x@y KICK #c a :bye", {"a"}, nullptr},
        {"not op", 1, false, ":b!x@y KICK #c a :bye", {"a"}, nullptr},
        {"our own kick", 1, true, ":me!x@y KICK #c a :bye", {"a"}, nullptr},
        {"other channel", 1, true, ":b!x@y KICK #c a :bye", {"a,#x"}, nullptr},
        {"not listed", 1, true, ":b!x@y KICK #c a :bye", {"zed"}, nullptr},
        {"deop", 1, true, ":b!x@y MODE #c -o a", {"a"}, "MODE #c -o b\n"},
        {"deop, not op", 1, false, ":b!x@y MODE #c -o a", {"a"}, nullptr},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        opt_set(OPT_PROTECT_ENABLED, k.protect_on);
        set_list(kUserListProtect, k.entries);
        nicklist_update("me", chan, kNickRemove, 0);
        nicklist_update("me", chan, kNickAddOrChange, k.we_op ? op : 1);
        nicklist_update("a", chan, kNickRemove, 0);
        nicklist_update("a", chan, kNickAddOrChange, op);
        ial_update(&a, &addr, 0, conn);
        wire.clear();
        feed(k.line);
        std::vector<std::string> expected;
        if (k.sent) expected.push_back(k.sent);
        EXPECT_EQ(sent(), expected);
    }
}

TEST_F(UserLists, ScriptConditionsAskTheLists)
{
    set_list(kUserListAop, {"*!*@h.example,#c"});
    set_list(kUserListAvoice, {"bob!*@*"});
    set_list(kUserListProtect, {"Guard"});
    const std::string c = "#c", nowhere = "#nowhere";
    struct Case {
        int list;
        const char* address;
        const std::string* channel;
        int hit;
    } cases[] = {
        {0, "x!u@h.example", &c, 1},   {0, "x!u@h.example", nullptr, 1}, {0, "x!u@other", &c, 0},
        {0, "x!u@h.example", &nowhere, 0},  // no such channel window
        {1, "bob!u@h", nullptr, 1},    {2, "guard", &c, 1},              {2, "guard!u@h", nullptr, 1},
        {2, "other!u@h", nullptr, 0},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(std::to_string(k.list) + " " + k.address);
        EXPECT_EQ(userlist_condition_match(k.list, k.address, k.channel, conn), k.hit);
    }
}

// ---- USERHOST requests ----

TEST_F(UserLists, RequestIsSentAndItsReplyCompletesTheCommandQuietly)
{
    ASSERT_EQ(ask("bob", kUhAop, 2, "#c"), 1);
    EXPECT_EQ(sent(), std::vector<std::string>{"USERHOST bob\n"});
    EXPECT_EQ(query_reply_state(conn)->userhost_pending, 1);
    WindowRecord* st = status();
    clear(st);
    feed(":srv 302 me :BOB*=+bob@h.example");
    // Masked by type 2: the host alone.
    EXPECT_EQ(texts(main_settings.aop_list), std::vector<std::string>{"*!*@h.example,#c"});
    EXPECT_EQ(printed, std::vector<std::string>{"[* *!*@h.example Oto-op Listesine Eklendi]"});
    EXPECT_EQ(userhost_request_count(conn), 0);
    EXPECT_EQ(query_reply_state(conn)->userhost_pending, 0);
    EXPECT_TRUE(lines(st).empty());   // the reply itself is not shown
}

TEST_F(UserLists, TwoRequestsForOneNickAreServedOldestFirst)
{
    ASSERT_EQ(ask("bob", kUhAop, 2), 1);
    ASSERT_EQ(ask("Bob", kUhProtect, 2), 1);
    feed(":srv 302 me :bob=+u@h.example");
    EXPECT_EQ(texts(main_settings.aop_list), std::vector<std::string>{"*!*@h.example"});
    EXPECT_EQ(main_settings.protect_list, nullptr);
    EXPECT_EQ(userhost_request_count(conn), 1);
    feed(":srv 302 me :bob=+u@h.example");
    EXPECT_EQ(texts(main_settings.protect_list), std::vector<std::string>{"*!*@h.example"});
    EXPECT_EQ(userhost_request_count(conn), 0);
}

TEST_F(UserLists, RequestsAreRefusedForBadNicksDeadWindowsAndAFullList)
{
    EXPECT_EQ(ask(std::string(256, 'n'), kUhBan, 6), 0);
    EXPECT_EQ(ask("two words", kUhBan, 6), 0);
    EXPECT_EQ(ask("evil\r\nQUIT", kUhBan, 6), 0);
    EXPECT_EQ(ask("", kUhBan, 6), 0);
    EXPECT_EQ(irc_userhost_request("bob", "", "", "", 6, 0, nullptr, 0, kUhBan, 0, 1), 0);
    QWidget loose;
    EXPECT_EQ(irc_userhost_request("bob", "", "", "", 6, 0, &loose, 0, kUhBan, 0, 1), 0);
    EXPECT_TRUE(sent().empty());
    EXPECT_EQ(irc_userhost_request(std::string(255, 'n'), "", "", "", 6, 0, chan->hwnd.get(), 0, kUhBan, 0, 1), 1);
    for (int i = 1; i < kUserhostMaxPending; ++i) ASSERT_EQ(ask("n" + std::to_string(i), kUhBan, 6), 1);
    EXPECT_EQ(ask("onemore", kUhBan, 6), 0);
    EXPECT_EQ(userhost_request_count(conn), kUserhostMaxPending);
}

TEST_F(UserLists, RepliesWithoutTheNickFailEveryRequestWhenNoneIsAwaited)
{
    ASSERT_EQ(ask("ghost", kUhBan, 6, "", "#c"), 1);
    ASSERT_EQ(ask("shade", kUhGuser, 6), 1);
    ASSERT_EQ(ask("spook", kUhFingerHost, 5), 1);
    WindowRecord* st = status();
    clear(st);
    feed(":srv 302 me :");   // two replies still awaited: shown as usual
    feed(":srv 302 me :");
    EXPECT_EQ(lines(st), (std::vector<std::string>{"userhost: Kullanıcı Bulunamadı ", "userhost: Kullanıcı Bulunamadı "}));
    EXPECT_EQ(printed.size(), 2u) << "nothing but the two replies is shown anywhere";
    clear(st);
    printed.clear();
    feed(":srv 302 me :other=+o@h");
    EXPECT_EQ(printed, (std::vector<std::string>{"* /ban: Kullanıcı Bulunamadı ghost",
                                                 "* /guser: Kullanıcı Bulunamadı shade",
                                                 "* /finger: Kullanıcı Bulunamadı spook"}));
    EXPECT_EQ(finger_running(), 0) << "the finger's target was dropped, no query started";
    EXPECT_EQ(lines(st), printed) << "the reply itself is not shown";
    EXPECT_EQ(userhost_request_count(conn), 0);
    EXPECT_EQ(query_reply_state(conn)->userhost_pending, 0);
    EXPECT_EQ(sent(), (std::vector<std::string>{"USERHOST ghost\n", "USERHOST shade\n", "USERHOST spook\n"}));
}

TEST_F(UserLists, BanRequestsBanKickAndTimeOnlyWhatTheyMay)
{
    struct Case {
        const char* name;
        const char* nick;
        int purpose, type, seconds, kick;
        const char* channel;
        std::vector<std::string> sent;
        int timed;   // seconds of the timed ban afterwards
    } cases[] = {
        {"ban, kick, timed", "a", kUhBan, 2, 30, 1, "#c", {"MODE #c +b *!*@h.example\n", "KICK #c a :go\n"}, 30},
        {"not on the channel", "zed", kUhBan, 2, 0, 1, "#c", {"MODE #c +b *!*@h.example\n"}, 0},
        {"seconds 0", "b", kUhBan, 7, 0, 0, "#c", {"MODE #c +b b!*@h.example\n"}, 0},
        {"unban", "b", kUhUnban, 2, 0, 0, "#c", {"MODE #c -b *!*@h.example\n"}, 0},
        {"no window", "a", kUhBan, 2, 30, 1, "#gone", {}, 0},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        chan_timed_ban_remove("#c", "*!*@h.example", conn);
        ASSERT_EQ(ask(k.nick, k.purpose, k.type, "go", k.channel, k.seconds, k.kick), 1);
        wire.clear();
        feed(std::string(":srv 302 me :") + k.nick + "=+u@h.example");
        EXPECT_EQ(sent(), k.sent);
        EXPECT_EQ(chan_timed_ban_find("#c", "*!*@h.example", conn), k.timed);
    }
}

TEST_F(UserLists, OtherPurposesHandTheAddressOn)
{
    ASSERT_EQ(ask("f1", kUhFingerUserHost, 5), 1);
    ASSERT_EQ(ask("f2", kUhFingerHost, 5), 1);
    ASSERT_EQ(ask("ig", kUhIgnore, 1, "private,ctcp", "", 120, 1), 1);
    ASSERT_EQ(ask("nobody", kUhIgnore, 3), 1);
    // The finger client starts its query with the address (a loopback one:
    // the query is ended before it could get anywhere).
    auto finger_target = [] {
        StringNode* history = finger_history_load();
        const std::string newest = history ? history->text : std::string();
        strlist_free(&history);
        return newest;
    };
    feed(":srv 302 me :f1=+~fred@127.0.0.1");
    EXPECT_EQ(finger_running(), 1);
    EXPECT_EQ(finger_target(), "fred@127.0.0.1");
    finger_close(std::string());
    feed(":srv 302 me :f2=-fred@127.0.0.1");
    EXPECT_EQ(finger_running(), 1);
    EXPECT_EQ(finger_target(), "@127.0.0.1");
    finger_close(std::string());
    feed(":srv 302 me :ig*=+x@i.example");
    // The ignore waited for the address: the mask of type 1 goes on the list
    // with its types, for two minutes; the nick the server did not know adds
    // nothing.
    ASSERT_NE(main_settings.ignore_list, nullptr);
    EXPECT_EQ(main_settings.ignore_list->next, nullptr);
    const std::string ignored = main_settings.ignore_list->text;
    EXPECT_EQ(ignored.rfind("*!*x@i.example,", 0), 0u) << ignored;
    EXPECT_NE(ignored.find("private"), std::string::npos) << ignored;
    EXPECT_NE(ignored.find("ctcp"), std::string::npos) << ignored;
    EXPECT_EQ(ignore_timed_seconds("*!*x@i.example"), 120);

    // Our own address, asked when the welcome named none.
    conn->local_host.clear();
    wire.clear();
    EXPECT_EQ(conn_learn_local_address(nullptr, 0, 0, conn), 1);
    EXPECT_EQ(sent(), std::vector<std::string>{"USERHOST me\n"});
    feed(":srv 302 me :me=+me@10.1.2.3");
    EXPECT_EQ(conn->local_ip_text, "10.1.2.3");
    dns_cancel_all();
}

TEST_F(UserLists, DnsOfANickLooksUpTheHostTheServerGave)
{
    userlist_dns_request(conn, chan->hwnd.get(), "bob");
    userlist_dns_request(conn, chan->hwnd.get(), "ghost");
    EXPECT_EQ(sent(), (std::vector<std::string>{"USERHOST bob\n", "USERHOST ghost\n"}));
    feed(":srv 302 me :bob=+u@10.9.8.7");
    ASSERT_NE(dns_queue, nullptr);
    EXPECT_EQ(dns_queue->requester, "bob");
    EXPECT_EQ(dns_queue->query, "10.9.8.7");
    EXPECT_EQ(dns_queue->kind, kDnsCommand);
    dns_cancel_all();
    // No reply for the other: it completes as a nick that was not found,
    // told in the window that asked.
    clear(chan);
    feed(":srv 302 me :");
    EXPECT_EQ(dns_queue, nullptr);
    const std::vector<std::string> shown = lines(chan);
    ASSERT_FALSE(shown.empty());
    EXPECT_NE(shown.back().find("ghost"), std::string::npos);
    // Nothing but the lookup's own lines is shown anywhere.
    EXPECT_EQ(printed, (std::vector<std::string>{"* Dns'ye Bakılıyor 10.9.8.7", shown.back()}));
}

TEST_F(UserLists, ALinkResetDropsThePendingRequests)
{
    ASSERT_EQ(ask("bob", kUhAop, 2), 1);
    ASSERT_EQ(ask("fred", kUhFingerUserHost, 5), 1);
    irc_link_stage.fire(2, conn);
    EXPECT_EQ(userhost_request_count(conn), 0);
    EXPECT_EQ(query_reply_state(conn)->userhost_pending, 0);
    EXPECT_EQ(finger_running(), 0);
    feed(":srv 302 me :bob=+u@h.example");
    EXPECT_EQ(main_settings.aop_list, nullptr);
}

// ---- User levels ----

TEST(UserLevels, ListOperations)
{
    struct Case {
        const char* a;
        const char* b;
        int op;
        int result;
        const char* out;   // null: not checked
    } cases[] = {
        {"10,friend", "20,op", 0, 1, "20,10,friend,op"},
        {"10,friend", "10,friend", 0, 0, "10,friend"},
        {"friend,5", "5", 0, 1, "5,friend"},
        {"=5,op", "OP,x", 0, 1, "=5,op,x"},
        {"5,5,op", "op", 0, 1, "5,op"},
        {"10,friend,op", "friend,=op", 1, 1, "10"},
        {"10", "20", 1, 0, "10"},
        {"", "20", 1, 1, ""},
        {"a,=b", "c,B", 2, 1, nullptr},
        {"a", "c", 2, 0, nullptr},
        {"5,name", "10", 3, 1, nullptr},
        {"50", "10,name", 3, 0, nullptr},
        {"50", "10", 4, 1, nullptr},
        {"name", "1", 4, 0, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.a) + " | " + c.b + " op " + std::to_string(c.op));
        std::string out = "unchanged";
        EXPECT_EQ(userlist_levels_op(c.a, c.b, &out, c.op), c.result);
        if (c.out) {
            EXPECT_EQ(out, c.out);
        }
    }
    // At most 41 items of each list are read.
    std::string many;
    for (int i = 1; i <= 60; ++i) many += (i > 1 ? "," : "") + std::to_string(i);
    std::string out;
    userlist_levels_op(many, "", &out, 0);
    EXPECT_EQ(std::count(out.begin(), out.end(), ',') + 1, 41);
}

TEST_F(UserLists, UsersFileEntriesAreAddedMergedAndRemoved)
{
    // A users file loaded as the program loads it.
    TempDir folder("kest_users_");
    ASSERT_TRUE(folder.made());
    {
        std::ofstream out(folder.path + "users.ini");
        out << "[users]\n";
        int n = 0;
        for (const char* l : {"/* old", "1:bob!*@*", "*/", "10,20:bob!*@*", "30:bob!*@x", "40:bobby!*@*"})
            out << "n" << n++ << "=" << l << "\n";
    }
    ScriptFile* loaded = remote_file_load(folder.path + "users.ini", kRemoteUsers, 0, nullptr);
    ASSERT_NE(loaded, nullptr);
    ScriptFile& users_file = *loaded;
    struct Step {
        int remove;   // 0 users_add_levels, 1 users_remove
        const char* nick;
        const char* levels;
        int mode;
        const char* address;
        const char* info;
        int result;
        std::vector<std::string> shown;
        std::vector<std::string> file;
    } steps[] = {
        {0, "ann", "10", 1, "*!*@a.host", "friend", 1, {"* ann (*!*@a.host) Kullanıcı listesine eklendi"},
         {"/* old", "1:bob!*@*", "*/", "10,20:bob!*@*", "30:bob!*@x", "40:bobby!*@*", "10:*!*@a.host friend"}},
        {0, "ann", "20,op", 0, "*!*@A.host", "", 1, {"* ann Nickine Level Eklendi. (*!*@A.host)"},
         {"/* old", "1:bob!*@*", "*/", "10,20:bob!*@*", "30:bob!*@x", "40:bobby!*@*", "20,10,op:*!*@a.host friend"}},
        {0, "ann", "", 2, "*!*@a.host", "pal", 1, {"* ann Nickinin Bilgileri güncellendi"},
         {"/* old", "1:bob!*@*", "*/", "10,20:bob!*@*", "30:bob!*@x", "40:bobby!*@*", "20,10,op:*!*@a.host pal"}},
        {0, "*!*@a.host", "5", 1, "*!*@a.host", "", 1, {"* *!*@a.host Kullanıcı listesine eklendi"},
         {"/* old", "1:bob!*@*", "*/", "10,20:bob!*@*", "30:bob!*@x", "40:bobby!*@*", "5:*!*@a.host pal"}},
        {1, nullptr, "20", 0, "bob!", nullptr, 1, {"* bob!*@* Nicki Level listesinden çıkarıldı"},
         {"/* old", "1:bob!*@*", "*/", "10:bob!*@*", "30:bob!*@x", "40:bobby!*@*", "5:*!*@a.host pal"}},
        {1, nullptr, "", 0, "bob!", nullptr, 2,
         {"* bob!*@* Nicki Kullanıcı listesinden çıkarıldı", "* bob!*@x Nicki Kullanıcı listesinden çıkarıldı"},
         {"/* old", "1:bob!*@*", "*/", "40:bobby!*@*", "5:*!*@a.host pal"}},
        {1, nullptr, "40", 0, "BOBBY!*@*", nullptr, 1, {"* bobby!*@* Nicki Kullanıcı listesinden çıkarıldı"},
         {"/* old", "1:bob!*@*", "*/", "5:*!*@a.host pal"}},
        {1, nullptr, "", 0, "nobody!", nullptr, 0, {"* Kullanıcı listesinde kimse yok"},
         {"/* old", "1:bob!*@*", "*/", "5:*!*@a.host pal"}},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(std::string(s.address) + " " + s.levels);
        printed.clear();
        const int r = s.remove ? users_remove(s.address, s.levels, nullptr, 1)
                               : users_add_levels(s.nick, s.levels, s.mode, nullptr, s.address, s.info, 1);
        EXPECT_EQ(r, s.result);
        EXPECT_EQ(printed, s.shown);
        EXPECT_EQ(texts(users_file.lines), s.file);
    }
    EXPECT_EQ(users_file.modified, 1);
    // The event engine reads the edited file.
    const std::string addr = "u@a.host";
    EXPECT_EQ(user_levels_of_address("ann", &addr, nullptr, nullptr, nullptr), 5);
    // No users file: nothing to add.
    remote_file_unload(loaded, 2);
    EXPECT_EQ(users_add_levels("x", "1", 1, nullptr, "x!*@*", "", 0), 0);
}

TEST_F(UserLists, GuserAndRuserRequestsEditTheUsersFile)
{
    // An empty users file loaded as the program loads it.
    TempDir folder("kest_users_");
    ASSERT_TRUE(folder.made());
    spit(folder.path + "users.ini", "[users]\n");
    ScriptFile* loaded = remote_file_load(folder.path + "users.ini", kRemoteUsers, 0, nullptr);
    ASSERT_NE(loaded, nullptr);
    ScriptFile& users_file = *loaded;
    ASSERT_EQ(irc_userhost_request_on(conn, "bob", "7", "a friend", "", 2, 0, nullptr, 1, kUhGuser, 0, 0), 1);
    feed(":srv 302 me :bob=+u@b.example");
    EXPECT_EQ(texts(users_file.lines), std::vector<std::string>{"7:*!*@b.example a friend"});
    ASSERT_EQ(irc_userhost_request_on(conn, "bob", "", "", "", 2, 0, nullptr, 0, kUhRuser, 0, 0), 1);
    feed(":srv 302 me :bob=+u@b.example");
    EXPECT_EQ(users_file.lines, nullptr);
    remote_file_unload(loaded, 2);
}

}  // namespace
}  // namespace chat_test

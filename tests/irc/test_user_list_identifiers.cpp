// The identifiers over the user lists: $level( and $ulist( / $maddress( over
// a users file loaded from disk (a commented-out entry among them), and
// $aop( $auto( $avoice( $protect( $ignore( over the lists, with their
// networks, types and the seconds left of a timed ignore.
#include "messages_fixture.h"

#include "core/main_settings.h"
#include "core/string_list.h"
#include "irc/lists/address_list.h"
#include "irc/lists/ignore_list.h"
#include "irc/lists/user_lists.h"
#include "script/events/users.h"

namespace chat_test {
namespace {

class UserListIdentifiers : public ChatTest {
protected:
    void SetUp() override
    {
        ChatTest::SetUp();
        lists_[0] = main_settings.aop_list;
        lists_[1] = main_settings.avoice_list;
        lists_[2] = main_settings.protect_list;
        lists_[3] = main_settings.ignore_list;
        main_settings.aop_list = main_settings.avoice_list = nullptr;
        main_settings.protect_list = main_settings.ignore_list = nullptr;
        conn->network = "Net";
        conn->connected = 1;
    }
    void TearDown() override
    {
        ignore_clear("*");
        ignore_prune_timed();
        strlist_free(&main_settings.aop_list);
        strlist_free(&main_settings.avoice_list);
        strlist_free(&main_settings.protect_list);
        strlist_free(&main_settings.ignore_list);
        main_settings.aop_list = lists_[0];
        main_settings.avoice_list = lists_[1];
        main_settings.protect_list = lists_[2];
        main_settings.ignore_list = lists_[3];
        conn->connected = 0;
        ChatTest::TearDown();
    }
    void load_users(const std::vector<std::string>& lines)
    {
        std::ofstream out(dir + "users.ini");
        out << "[users]\n";
        for (std::size_t i = 0; i < lines.size(); ++i)
            out << "n" << i << "=" << lines[i] << "\n";
        out.close();
        remote_file_load(dir + "users.ini", kRemoteUsers, 9999, nullptr);
    }
    static void set(StringNode*& head, const std::vector<std::string>& entries)
    {
        strlist_free(&head);
        for (const std::string& e : entries)
            head = strlist_append(head, e, 0);
    }
    std::string eval(const std::string& text)
    {
        std::string t = text;
        std::string* r = ident_eval_text(chan->hwnd, &t, nullptr, nullptr, 0, 0, -1, nullptr, conn);
        return r ? *r : std::string("<failed>");
    }
    void expect_all(const std::vector<std::pair<std::string, std::string>>& cases)
    {
        for (const auto& c : cases) {
            SCOPED_TRACE(c.first);
            EXPECT_EQ(eval(c.first), c.second);
        }
    }
    SavedValues<int> level_{user_default_level};
    StringNode* lists_[4] = {};
};

TEST_F(UserListIdentifiers, LevelGivesTheFirstEnabledEntrysLevelsOrTheDefault)
{
    load_users({
        "/*",
        "99:ann!*@*",
        "*/",
        "=10,friend:ann!*@a.host good one",
        "20:ann!*@*",
        "30:*!*@b.host",
        " :bob!*@*",
        "40:carl",
    });
    user_default_level = 7;
    expect_all({
        // The entry inside the comment block is not an entry.
        {"$level(ann!u@a.host)", "10,friend"},
        {"$level(ANN!u@other)", "20"},
        {"$level(x!y@b.host)", "30"},
        // A bare nick matches only an entry that names the nick alone.
        {"$level(ann)", "7"},
        {"$level(CARL)", "40"},
        {"$level(carl!)", "40"},
        {"$level(nobody!u@h)", "7"},
        {"$level()", "7"},
        // An entry with an empty level list gives the default.
        {"$level(bob!u@h)", "7"},
    });
}

TEST_F(UserListIdentifiers, UlistCompletesTheAddressAndCountsFiltersAndTellsTheInfo)
{
    load_users({
        "10,friend:ann!*@a.host good one",
        "/*",
        "10:ann!*@*",
        "*/",
        "20:ann!*@*",
        "10:*!*@b.host",
        "30:bob!*@*   ",
    });
    expect_all({
        {"$ulist(ann!u@a.host)", "ann!*@a.host"},
        {"$ulist(ann!u@a.host).info", "good one"},
        {"$ulist(ann!u@a.host,0)", "2"},
        {"$ulist(ann!u@a.host,2)", "ann!*@*"},
        {"$ulist(ann!u@a.host,2).info", ""},
        {"$ulist(ann!u@a.host,3)", ""},
        {"$ulist(ann!u@a.host,-4)", "2"},
        // A level narrows the search; "*" as the level does not.
        {"$ulist(ann!u@a.host,20,1)", "ann!*@*"},
        {"$ulist(ann!u@a.host,20,0)", "1"},
        {"$ulist(ann!u@a.host,*,0)", "2"},
        {"$ulist(ann!u@a.host,friend,1).info", "good one"},
        // "*" is every entry, with or without a level.
        {"$ulist(*,0)", "4"},
        {"$ulist(*,4)", "bob!*@*"},
        {"$ulist(*,4).info", ""},
        {"$ulist(*,10,0)", "2"},
        {"$ulist(*,10,2)", "*!*@b.host"},
        // Partial addresses are completed first; $maddress is the same.
        {"$maddress(u@b.host)", "*!*@b.host"},
        {"$maddress(b.host,0)", "1"},
        {"$ulist(bob,1)", "bob!*@*"},
        {"$ulist(nobody!u@h,0)", "0"},
        {"$ulist(nobody!u@h)", ""},
        {"$ulist(,1)", ""},
    });
    for (const char* bad : {"$ulist(a,1,2,3)", "$maddress(a,b,c,d)"}) {
        SCOPED_TRACE(bad);
        EXPECT_EQ(eval(bad), "<failed>");
    }
}

TEST_F(UserListIdentifiers, ListEntriesByIndexAndByAddressWithTheirParts)
{
    set(main_settings.aop_list, {"*!*@a.host,#a,#b,\"Net\"", "bob!*@*"});
    set(main_settings.avoice_list, {"*!*@v.host"});
    set(main_settings.protect_list, {"carl", "*!*@p.host,#c,\"Other\""});
    expect_all({
        {"$aop(0)", "2"},
        {"$auto(-3)", "2"},
        {"$aop(1)", "*!*@a.host"},
        {"$aop(1).type", "#a,#b"},
        {"$aop(1).network", "Net"},
        {"$aop(1).secs", "0"},
        {"$aop(2)", "bob!*@*"},
        {"$aop(2).type", ""},
        {"$aop(2).network", ""},
        {"$aop(3)", ""},
        {"$aop(99999)", ""},
        {"$aop(x!u@A.HOST)", "*!*@a.host"},
        {"$auto(bob!x@y).type", ""},
        {"$aop(zed!u@elsewhere)", ""},
        {"$avoice(1)", "*!*@v.host"},
        {"$avoice(0)", "1"},
        // The auto-op list is not the auto-voice list.
        {"$avoice(x!u@a.host)", ""},
        {"$protect(carl)", "carl"},
        {"$protect(CARL!u@anywhere)", "carl"},
        // The protect entry's network is not the connection's.
        {"$protect(x!u@p.host)", ""},
        {"$protect(2).network", "Other"},
        {"$protect(2).type", "#c"},
        {"$protect()", ""},
    });
    conn->network = "Other";
    EXPECT_EQ(eval("$protect(x!u@p.host)"), "*!*@p.host");
}

TEST_F(UserListIdentifiers, IgnoreEntriesTellTheirTypesAndTheSecondsLeftOfATimedOne)
{
    ASSERT_EQ(ignore_edit(nullptr, 1, "*!*@spam.host", nullptr, 0, 0, conn), 1);
    const std::string types = "private,ctcp";
    ASSERT_EQ(ignore_edit(nullptr, 1, "pest!*@*", &types, 120, 0, conn), 1);
    expect_all({
        {"$ignore(0)", "2"},
        {"$ignore(1)", "*!*@spam.host"},
        {"$ignore(1).secs", "0"},
        {"$ignore(2)", "pest!*@*"},
        {"$ignore(2).type", "private,ctcp"},
        {"$ignore(2).secs", "120"},
        {"$ignore(a!b@SPAM.host)", "*!*@spam.host"},
        {"$ignore(pest!u@h).secs", "120"},
        {"$ignore(*!*@spam.host)", "*!*@spam.host"},
        {"$ignore(quiet!u@h)", ""},
    });
    // The seconds follow the tick, and the entry goes when they run out.
    ignore_tick_timed(0);
    EXPECT_EQ(eval("$ignore(2).secs"), "119");
    for (int i = 0; i < 119; ++i)
        ignore_tick_timed(0);
    EXPECT_EQ(eval("$ignore(0)"), "1");
    EXPECT_EQ(eval("$ignore(pest!u@h)"), "");
}

} // namespace
} // namespace chat_test

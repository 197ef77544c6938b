// Users file and user levels: the IP mask classifier, mask-against-mask
// comparison and the levels of a nick and address.
#include "events_fixture.h"

using events_test::EventsTest;

namespace {

TEST(UsersIpMask, Classify)
{
    struct Case {
        const char* text;
        int expect;
    } cases[] = {
        {"1.2.3.4", 1}, {"1.2.*", 3}, {"*.*", 2}, {"1.2.3", 0}, {"256.1.1.1", 0},
        {"1..2", 0},    {".1.2.3", 0}, {"1.2.3.4.", 0}, {"host", 0}, {"1.2.3.4.5", 0}, {"", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(ip_mask_classify(c.text), c.expect);
    }
}

TEST(UsersMasks, MaskAgainstMask)
{
    struct Case {
        const char* a;
        const char* b;
        int strict;
        int expect;
    } cases[] = {
        {"*!*@1.2.3.4", "*!*@host", 0, 0},
        {"*!*@1.2.*", "*!*@1.2.3.4", 0, 1},
        {"*!*@host", "*!*@1.2.3.4", 0, 0},
        {"bob!*@*", "*!*@host", 0, 1},
        {"bob!*@*", "*!*@host", 1, 0},
        {"bob", "bob!*@*", 0, 0},
        {"bob", "alice", 0, 1},
        {"a!", "b!", 0, 0},
        {"a!", "a!", 0, 1},
        {"*!x@h", "*!y@h", 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.a) + " vs " + c.b);
        EXPECT_EQ(address_masks_match(c.a, c.b, c.strict), c.expect);
    }
}

TEST_F(EventsTest, LevelsOfAddress)
{
    load_users({"/*", "99:*!*@*", "*/", "10:*!*@*.example", "friend,5:pal", "=5:bob",
                "0,7:zero!*@*", "  :empty!*@*"});
    struct Case {
        const char* nick;
        const char* address;
        int level;
        const char* list;
        const char* mask;
    } cases[] = {
        {"carl", "c@host.example", 10, "10", "*!*@*.example"},
        {"pal", "p@else", 1, "friend,5", "pal"},
        {"bob", "b@else", 5, "=5", "bob"},
        {"zero", "z@else", 1, "0,7", "zero!*@*"},   // first entry below 1: default
        {"nobody", "n@else", 1, "1", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.nick);
        std::string address = c.address, list, mask;
        EXPECT_EQ(user_levels_of_address(c.nick, &address, &list, &mask, nullptr), c.level);
        EXPECT_EQ(list, c.list);
        EXPECT_EQ(mask, c.mask);
    }
    // The default level follows the setting.
    user_default_level = 4;
    std::string address = "n@else", list;
    EXPECT_EQ(user_levels_of_address("nobody", &address, &list, nullptr, nullptr), 4);
    EXPECT_EQ(list, "4");
}

TEST_F(EventsTest, LevelListOfEveryMatchingLine)
{
    load_users({"10:*!*@*.example", "=friend, 5:carl"});
    std::string address = "c@host.example";
    StringNode* list = user_level_list("carl", &address);
    std::vector<std::string> got;
    for (StringNode* n = list; n; n = n->next)
        got.push_back(n->text);
    strlist_free(&list);
    EXPECT_EQ(got, (std::vector<std::string>{"10", "friend,5"}));
    EXPECT_EQ(userlist_levels("carl", &address), "10,=friend, 5");
    address = "x@y";
    list = user_level_list("zed", &address);
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->text, "1");
    strlist_free(&list);
}

TEST(UsersLine, LevelNameAndMaskForms)
{
    struct Case {
        const char* line;
        const char* nick;
        const char* address;   // null: none
        const char* level;
        int matches;
    } cases[] = {
        {"5,op:*!*@h", "bob", "b@h", "", 1},
        {"5,op:*!*@h", "bob", "b@h", "op", 1},
        {"5,op:*!*@h", "bob", "b@h", "friend", 0},
        {"5:bob", "BOB", "b@h", "", 1},
        {"5:", "bob", nullptr, "", 0},
        {"no colon", "bob", nullptr, "", 0},
        {"5:*!*@h.example", "*", "*@*.example", "", 0},
        {"5:*!*@h.example", "*!*@*.example", nullptr, "5", 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        std::string address = c.address ? c.address : "";
        int at = users_line_match(c.line, c.nick, c.address ? &address : nullptr, c.level, 0,
                                  nullptr, nullptr);
        EXPECT_EQ(at >= 0, c.matches == 1);
    }
}

} // namespace

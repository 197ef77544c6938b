// The internal address list: adding, updating, renaming, removing and the
// $ial/$ialchan queries.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "model/connection.h"
#include "irc/lists/address_list.h"

namespace {

std::vector<std::string> changes;
int on_change(const std::string* nick, Connection*)
{
    changes.push_back(nick ? *nick : std::string("*"));
    return 7;
}

class AddressList : public ::testing::Test {
protected:
    int listener = 0;
    void SetUp() override
    {
        ial_default_on = 1;
        conn = conn_new(nullptr);
        ial_init(conn);
        listener = ial_changed.add(0, on_change);
        changes.clear();
    }
    void TearDown() override
    {
        ial_changed.drop(listener);
        ial_clear(1, conn);
        conn_free(conn);
        ial_default_on = 1;
    }
    int add(const std::string& nick, const std::string& addr) { return ial_update(&nick, &addr, 0, conn); }
    std::string text_of(const std::string& nick)
    {
        IalResult r;
        ial_lookup(nick, r, conn);
        return r.text;
    }
    Connection* conn = nullptr;
};

TEST_F(AddressList, UpdateReportsOnlyRealChanges)
{
    struct Case {
        const char* nick;
        const char* addr;
        int result;           // what ial_update returns (1: a change its listener acted on)
        const char* stored;   // the entry afterwards
    } cases[] = {
        {"bob", "b@host", 1, "bob!b@host"},
        {"BOB", "B@HOST", 0, "bob!b@host"},    // same address in another case: no change
        {"bob", "b@other", 1, "bob!b@other"},  // new host replaces the text
        {"b", "x@y", 1, "b!x@y"},              // one-letter nick beside "bob"
        {"bo", "z@z", 1, "bo!z@z"},            // a prefix of "bob" is its own entry
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.nick) + " " + c.addr);
        EXPECT_EQ(add(c.nick, c.addr), c.result);
        EXPECT_EQ(text_of(c.nick), c.stored);
    }
    EXPECT_EQ(text_of("bob"), "bob!b@other");
    EXPECT_EQ(ial_count(conn), 3);
    // A null address changes nothing; a null nick asks for the switch.
    const std::string n = "bob";
    EXPECT_EQ(ial_update(&n, nullptr, 0, conn), 0);
    EXPECT_EQ(ial_update(nullptr, nullptr, 0, conn), 1);
}

TEST_F(AddressList, RenameMovesTheEntryAndKeepsItsNote)
{
    add("bob", "b@h");
    add("amy", "a@h");
    ASSERT_EQ(ial_set_note("bob", "note", conn), 1);
    const std::string old_nick = "bob", new_nick = "zed";
    changes.clear();
    ial_update(&old_nick, &new_nick, 1, conn);
    EXPECT_EQ(changes, std::vector<std::string>{"zed"});
    EXPECT_EQ(text_of("bob"), "");
    EXPECT_EQ(text_of("zed"), "zed!b@h");
    std::string out;
    ASSERT_EQ(ial_query("zed", "", 1, ".mark", 1, out, conn), 1);
    EXPECT_EQ(out, "note");
    // zed now comes after amy in the walk (bucket z).
    ASSERT_EQ(ial_query("*", "", 2, "", 1, out, conn), 1);
    EXPECT_EQ(out, "zed!b@h");
}

TEST_F(AddressList, QueriesWalkBucketsInOrder)
{
    for (auto [n, a] : std::vector<std::pair<std::string, std::string>>{
             {"[x", "u1@h.one"}, {"9lives", "u2@h.two"}, {"bob", "u3@h.three"}, {"amy", "u4@h.four"}})
        add(n, a);
    struct Case {
        const char* mask;
        int n;
        const char* prop;
        int ok;
        const char* out;
    } cases[] = {
        {"*", 0, "", 1, "4"},
        {"*", 1, "", 1, "amy!u4@h.four"},
        {"*", 3, ".nick", 1, "[x"},           // bucket 26 after every letter, arrival order
        {"*", 4, ".nick", 1, "9lives"},
        {"*", 5, "", 0, ""},
        {"bob", 1, ".addr", 1, "u3@h.three"}, // bare nick becomes bob!*@*
        {"bob", 0, "", 1, "1"},
        {"*!u2@*", 1, ".user", 1, "u2"},
        {"*!u2@*", 1, ".host", 1, "h.two"},
        {"nobody", 1, "", 0, ""},
        {"nobody", 0, "", 1, "0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.mask) + " " + std::to_string(c.n) + c.prop);
        std::string out = "junk";
        EXPECT_EQ(ial_query(c.mask, "", c.n, c.prop, 1, out, conn), c.ok);
        EXPECT_EQ(out, c.out);
    }
}

TEST_F(AddressList, SwitchOffAndHostileInput)
{
    ial_set_on(0, conn);
    EXPECT_EQ(add("bob", "b@h"), 0);
    EXPECT_EQ(ial_count(conn), 0);
    EXPECT_EQ(ial_default_on, 0);  // turning a connection off turns the default off
    ial_set_on(1, conn);
    // A nick longer than a nick may be is refused; an address is cut.
    EXPECT_EQ(add(std::string(300, 'n'), "x@y"), 0);
    add("bob", "u@" + std::string(5000, 'h'));
    EXPECT_LE(text_of("bob").size(), 256u);
    // Removal and clear.
    int changed = 0;
    EXPECT_EQ(ial_find("bob!", "", kIalRemove, &changed, conn), nullptr);
    EXPECT_EQ(changed, 1);
    add("amy", "a@h");
    ial_clear(0, conn);
    EXPECT_EQ(ial_count(conn), 0);
    EXPECT_EQ(text_of("amy"), "");
    // No live connection: nothing.
    EXPECT_EQ(ial_find("x!", "a@b", kIalAdd, &changed, nullptr), nullptr);
}

}  // namespace

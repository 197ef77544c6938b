#include "core/numbered_texts.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <string>

namespace {

struct OwnEntry {
    int number;
    const char* text;
};

const OwnEntry kOwnTable[] = {
#include "resources/string_table.inc"
};

// An id that the program's own table does not hold.
int unknown_id()
{
    int id = 1;
    for (const OwnEntry& e : kOwnTable)
        id = std::max(id, e.number + 1);
    return id;
}

class NumberedTextsTest : public ::testing::Test {
protected:
    void SetUp() override { text_clear_language_table(); }
    void TearDown() override { text_clear_language_table(); }
};

TEST_F(NumberedTextsTest, EveryOwnEntryLoadsItsText)
{
    ASSERT_GT(std::size(kOwnTable), 0u);
    std::set<int> numbers;
    for (const OwnEntry& e : kOwnTable) {
        SCOPED_TRACE(e.number);
        EXPECT_TRUE(numbers.insert(e.number).second) << "number used twice";
        const std::string expected = std::string(e.text).substr(0, 4150);
        EXPECT_EQ(std::string(text_load_string(e.number)), expected);
        std::string dest = "old content";
        const char* returned = text_load_string(e.number, &dest);
        EXPECT_EQ(returned, dest.c_str());
        EXPECT_EQ(dest, expected);
    }
}

TEST_F(NumberedTextsTest, UnknownIdGivesEmptyText)
{
    for (int id : {unknown_id(), 0, -1, -4200}) {
        SCOPED_TRACE(id);
        const char* text = text_load_string(id);
        ASSERT_NE(text, nullptr);
        EXPECT_STREQ(text, "");
        std::string dest = "left over";
        EXPECT_STREQ(text_load_string(id, &dest), "");
        EXPECT_TRUE(dest.empty());
    }
}

TEST_F(NumberedTextsTest, SixthCallWithoutBufferReusesTheFirst)
{
    text_set_language_table({{900001, "one"}, {900002, "two"}, {900003, "three"},
                             {900004, "four"}, {900005, "five"}, {900006, "six"}});
    const char* results[6];
    for (int i = 0; i < 6; ++i)
        results[i] = text_load_string(900001 + i);

    const char* expected[6] = {"six", "two", "three", "four", "five", "six"};
    for (int i = 0; i < 6; ++i) {
        SCOPED_TRACE(i);
        EXPECT_STREQ(results[i], expected[i]);
    }
    EXPECT_EQ(results[5], results[0]);
    for (int i = 1; i < 5; ++i) {
        for (int j = 0; j < i; ++j)
            EXPECT_NE(results[i], results[j]) << i << " " << j;
    }
}

TEST_F(NumberedTextsTest, CallsWithDestinationDoNotTurnTheBuffers)
{
    text_set_language_table({{900001, "kept"}, {900002, "other"}});
    const char* kept = text_load_string(900001);
    std::string dest;
    for (int i = 0; i < 10; ++i)
        text_load_string(900002, &dest);
    EXPECT_EQ(dest, "other");
    const char* later[4];
    for (const char*& p : later)
        p = text_load_string(900002);
    EXPECT_STREQ(kept, "kept");
    for (const char* p : later)
        EXPECT_NE(p, kept);
    EXPECT_EQ(text_load_string(900002), kept); // the fifth turns back to it
    EXPECT_STREQ(kept, "other");
}

TEST_F(NumberedTextsTest, LongEntryIsCutAndReusedBufferHoldsNoRemains)
{
    const std::string long_text(5000, 'x');
    text_set_language_table({{900010, long_text}, {900011, "ab"}});

    std::string dest;
    text_load_string(900010, &dest);
    EXPECT_EQ(dest, long_text.substr(0, 4150));

    const char* first = text_load_string(900010);
    EXPECT_EQ(std::strlen(first), 4150u);
    for (int i = 0; i < 4; ++i)
        text_load_string(900011);
    const char* reused = text_load_string(900011);
    ASSERT_EQ(reused, first);
    EXPECT_STREQ(reused, "ab");
    // The buffer was cleared whole before the short text went in.
    EXPECT_TRUE(std::all_of(reused + 2, reused + 4200, [](char c) { return c == '\0'; }));
}

TEST_F(NumberedTextsTest, LanguageTableFirstThenOwnTable)
{
    ASSERT_GT(std::size(kOwnTable), 1u);
    const OwnEntry& replaced = kOwnTable[0];
    const OwnEntry& untouched = kOwnTable[1];
    EXPECT_FALSE(text_language_table_loaded());

    text_set_language_table({{replaced.number, "replacement"}, {900020, "only in the module"}});
    EXPECT_TRUE(text_language_table_loaded());
    struct Case {
        int id;
        std::string text;
    };
    const Case with_module[] = {
        {replaced.number, "replacement"},
        {untouched.number, untouched.text},
        {900020, "only in the module"},
        {unknown_id() + 100000, ""},
    };
    for (const Case& c : with_module) {
        SCOPED_TRACE(c.id);
        EXPECT_EQ(std::string(text_load_string(c.id)), c.text);
    }

    text_clear_language_table();
    EXPECT_FALSE(text_language_table_loaded());
    EXPECT_STREQ(text_load_string(replaced.number), replaced.text);
    EXPECT_STREQ(text_load_string(900020), "");
}

TEST_F(NumberedTextsTest, LanguageTextStopsAtZeroByte)
{
    text_set_language_table({{900030, std::string("before\0after", 12)}});
    std::string dest;
    text_load_string(900030, &dest);
    EXPECT_EQ(dest, "before");
    EXPECT_STREQ(text_load_string(900030), "before");
}

} // namespace

// Each "%s" or "%d" takes the next argument; places without one stay empty,
// and the result is cut like every long text.
TEST(TextFill, PlacesTakeTheArgumentsInTurn)
{
    struct Case {
        const char* pattern;
        std::initializer_list<std::string_view> args;
        const char* want;
    };
    const Case cases[] = {
        {"* %s joined %s", {"bob", "#a"}, "* bob joined #a"},
        {"%d/%d channels", {"3", "10"}, "3/10 channels"},
        {"%s and %s", {"one"}, "one and "},
        {"no places", {"x"}, "no places"},
        {"100% sure %s", {"yes"}, "100% sure yes"},
        {"ends in %", {}, "ends in %"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pattern);
        EXPECT_EQ(text_fill_pattern(c.pattern, c.args), c.want);
    }
    const std::string big(5000, 'x');
    EXPECT_EQ(text_fill_pattern("<%s>", {big}).size(), 4150u);
    EXPECT_EQ(text_fill_id(3503, {"#k"}), "* #k Kanalına Tekrar Giriliyor");
}

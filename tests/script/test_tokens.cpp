// Token identifiers: ranges, every member's rules on texts, the length
// limit, sorting, and the handlers through the identifier evaluator.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "model/connection.h"
#include "core/list_sort.h"
#include "identifiers/tokens.h"
#include "script/exec/script_types.h"

namespace {

struct MemberCase {
    const char* what;
    std::function<int(std::string&)> call;
    const char* expected;
    int code = 0;
};

void run_cases(const std::vector<MemberCase>& cases)
{
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::string out = "stale";
        EXPECT_EQ(c.call(out), c.code);
        EXPECT_EQ(out, c.expected);
    }
}

TEST(TokenReaders, SplitSkipsRunsAndEnds)
{
    const struct {
        const char* text;
        char sep;
        std::vector<std::string_view> expected;
    } cases[] = {
        {"a  b c", ' ', {"a", "b", "c"}},
        {"  a b  ", ' ', {"a", "b"}},
        {",,x,,y,", ',', {"x", "y"}},
        {"", ' ', {}},
        {"   ", ' ', {}},
        {"a b", '\0', {"a b"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        std::vector<std::string_view> out;
        token_split(c.text, c.sep, out);
        EXPECT_EQ(out, c.expected);
    }
}

TEST(TokenReaders, SeparatorCodes)
{
    EXPECT_EQ(token_separator("32"), ' ');
    EXPECT_EQ(token_separator("44"), ',');
    EXPECT_EQ(token_separator("46abc"), '.');
    EXPECT_EQ(token_separator("0"), '\0');
    EXPECT_EQ(token_separator("x"), '\0');
    EXPECT_EQ(token_separator("288"), ' '); // low 8 bits
    EXPECT_EQ(token_number(" -12x"), -12);
    EXPECT_EQ(token_number("99999999999"), 2147483647);
}

TEST(TokenReaders, Ranges)
{
    const struct {
        const char* n;
        int count;
        long long first;
        long long last;
    } cases[] = {
        {"2", 3, 2, 2},   {"2-", 3, 2, 3},  {"-2-", 3, 2, 3}, {"3-1", 3, 1, 3},
        {"1-3", 3, 1, 3}, {"5", 3, 5, 5},   {"-5", 3, -1, -1}, {"5-", 3, 5, 5},
        {"-1", 3, 3, 3},  {"1--1", 3, 1, 3}, {"-1-1", 3, 1, 3}, {"0-", 3, 0, 3},
        {"2-x", 3, 0, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.n);
        long long first = 99;
        long long last = 99;
        token_range(c.n, c.count, first, last);
        EXPECT_EQ(first, c.first);
        EXPECT_EQ(last, c.last);
    }
}

TEST(TokenMembers, GetCountAndDelete)
{
    run_cases({
        {"gettok two blanks", [](std::string& o) { return tokens_get("a  b c", "2", "32", o); }, "b"},
        {"gettok 2-", [](std::string& o) { return tokens_get("a b c", "2-", "32", o); }, "b c"},
        {"gettok -2-", [](std::string& o) { return tokens_get("a b c", "-2-", "32", o); }, "b c"},
        {"gettok 3-1", [](std::string& o) { return tokens_get("a b c", "3-1", "32", o); }, "a b c"},
        {"gettok 5", [](std::string& o) { return tokens_get("a b c", "5", "32", o); }, ""},
        {"gettok -5", [](std::string& o) { return tokens_get("a b c", "-5", "32", o); }, ""},
        {"gettok 0 counts", [](std::string& o) { return tokens_get("a b c", "0", "32", o); }, "3"},
        {"gettok -1 last", [](std::string& o) { return tokens_get("a b c", "-1", "32", o); }, "c"},
        {"gettok 2-9 clipped", [](std::string& o) { return tokens_get("a b c", "2-9", "32", o); }, "b c"},
        {"gettok comma rebuilt", [](std::string& o) { return tokens_get(",a,,b,,c,", "1-2", "44", o); }, "a,b"},
        {"gettok code 0: one token", [](std::string& o) { return tokens_get("a b", "1", "0", o); }, "a b"},
        {"gettok empty T", [](std::string& o) { return tokens_get("", "1", "32", o); }, ""},
        {"gettok empty N", [](std::string& o) { return tokens_get("a b", "", "32", o); }, ""},
        {"gettok empty C", [](std::string& o) { return tokens_get("a b", "1", "", o); }, ""},
        {"numtok", [](std::string& o) { return tokens_count(" a  b ", "32", o); }, "2"},
        {"numtok code 0", [](std::string& o) { return tokens_count("a b c", "0", o); }, "1"},
        {"numtok code x", [](std::string& o) { return tokens_count("a b c", "x", o); }, "1"},
        {"numtok empty T", [](std::string& o) { return tokens_count("", "32", o); }, "0"},
        {"numtok empty C", [](std::string& o) { return tokens_count("a", "", o); }, ""},
        {"deltok first", [](std::string& o) { return tokens_delete(" a b ", "1", "32", o); }, "b"},
        {"deltok range", [](std::string& o) { return tokens_delete("a b c d", "2-3", "32", o); }, "a d"},
        {"deltok last", [](std::string& o) { return tokens_delete("a b c", "-1", "32", o); }, "a b"},
        {"deltok 0 rebuilds", [](std::string& o) { return tokens_delete("a  b", "0", "32", o); }, "a b"},
        {"deltok past end", [](std::string& o) { return tokens_delete("a b", "7", "32", o); }, "a b"},
        {"deltok empty T", [](std::string& o) { return tokens_delete("", "1", "32", o); }, ""},
    });
}

TEST(TokenMembers, PutAndInsert)
{
    run_cases({
        {"puttok", [](std::string& o) { return tokens_put("a b c", "x", "2", "32", o); }, "a x c"},
        {"puttok range", [](std::string& o) { return tokens_put("a b c", "x", "2-", "32", o); }, "a x x"},
        {"puttok outside", [](std::string& o) { return tokens_put("a b c", "x", "4", "32", o); }, "a b c"},
        {"puttok empty new", [](std::string& o) { return tokens_put("a b c", "", "1", "32", o); }, ""},
        {"instok -1", [](std::string& o) { return tokens_insert("a b c", "x", "-1", "32", o); }, "a b x c"},
        {"instok 0", [](std::string& o) { return tokens_insert("a b c", "x", "0", "32", o); }, "a b c x"},
        {"instok 9", [](std::string& o) { return tokens_insert("a b c", "x", "9", "32", o); }, "a b c x"},
        {"instok -7", [](std::string& o) { return tokens_insert("a b c", "x", "-7", "32", o); }, "x a b c"},
        {"instok -3", [](std::string& o) { return tokens_insert("a b c", "x", "-3", "32", o); }, "x a b c"},
        {"instok 1", [](std::string& o) { return tokens_insert("a b c", "x", "1", "32", o); }, "x a b c"},
        {"instok 2", [](std::string& o) { return tokens_insert(" a  b ", "x", "2", "32", o); }, "a x b"},
        {"instok empty T", [](std::string& o) { return tokens_insert("", "x", "1", "32", o); }, "x"},
        {"instok empty new", [](std::string& o) { return tokens_insert("a", "", "1", "32", o); }, ""},
        {"instok empty N", [](std::string& o) { return tokens_insert("a", "x", "", "32", o); }, ""},
    });
}

TEST(TokenMembers, AddFindAndIs)
{
    run_cases({
        {"addtok present", [](std::string& o) { return tokens_add("a b", "B", "32", false, o); }, "a b"},
        {"addtokcs absent", [](std::string& o) { return tokens_add("a b", "B", "32", true, o); }, "a b B"},
        {"addtok rebuilds", [](std::string& o) { return tokens_add(" a  b ", "c", "32", false, o); }, "a b c"},
        {"addtok empty T", [](std::string& o) { return tokens_add("", "c", "32", false, o); }, "c"},
        {"addtok empty new", [](std::string& o) { return tokens_add("a  b", "", "32", false, o); }, "a b"},
        {"addtok empty C, empty T", [](std::string& o) { return tokens_add("", "c", "", false, o); }, "c"},
        {"addtok empty C", [](std::string& o) { return tokens_add("a", "c", "", false, o); }, ""},
        {"findtok first", [](std::string& o) { return tokens_find("a b a", "A", "1", "32", false, o); }, "1"},
        {"findtok second", [](std::string& o) { return tokens_find("a b a", "a", "2", "32", false, o); }, "3"},
        {"findtok count", [](std::string& o) { return tokens_find("a b a", "a", "0", "32", false, o); }, "2"},
        {"findtok count none", [](std::string& o) { return tokens_find("a b", "z", "0", "32", false, o); }, "0"},
        {"findtok too few", [](std::string& o) { return tokens_find("a b a", "a", "3", "32", false, o); }, ""},
        {"findtok negative", [](std::string& o) { return tokens_find("a b a", "a", "-1", "32", false, o); }, ""},
        {"findtokcs", [](std::string& o) { return tokens_find("A b a", "a", "1", "32", true, o); }, "3"},
        {"istok", [](std::string& o) { return tokens_is("a b c", "B", "32", false, o); }, "$true"},
        {"istokcs", [](std::string& o) { return tokens_is("a b c", "B", "32", true, o); }, "$false"},
        {"istok part is not a token", [](std::string& o) { return tokens_is("abc", "b", "32", false, o); }, "$false"},
        {"istok empty list", [](std::string& o) { return tokens_is("", "a", "32", false, o); }, "$false"},
    });
}

TEST(TokenMembers, MatchAndWild)
{
    run_cases({
        {"matchtok first", [](std::string& o) { return tokens_match("one two three", "T", "1", "32", false, false, o); }, "two"},
        {"matchtok second", [](std::string& o) { return tokens_match("one two three", "t", "2", "32", false, false, o); }, "three"},
        {"matchtok count", [](std::string& o) { return tokens_match("one two three", "o", "0", "32", false, false, o); }, "2"},
        {"matchtok too few", [](std::string& o) { return tokens_match("one two", "o", "3", "32", false, false, o); }, ""},
        {"matchtok negative", [](std::string& o) { return tokens_match("one two", "o", "-1", "32", false, false, o); }, ""},
        {"matchtokcs", [](std::string& o) { return tokens_match("One one", "O", "0", "32", true, false, o); }, "1"},
        {"wildtok", [](std::string& o) { return tokens_match("#a,b,#c", "#*", "2", "44", false, true, o); }, "#c"},
        {"wildtok count", [](std::string& o) { return tokens_match("ab AB ac", "a?", "0", "32", false, true, o); }, "3"},
        {"wildtokcs count", [](std::string& o) { return tokens_match("ab AB ac", "a?", "0", "32", true, true, o); }, "2"},
    });
}

TEST(TokenMembers, RemoveAndReplace)
{
    run_cases({
        {"remtok first", [](std::string& o) { return tokens_remove("a b a", "a", "1", "32", false, o); }, "b a"},
        {"remtok all", [](std::string& o) { return tokens_remove("a b a", "a", "0", "32", false, o); }, "b"},
        {"remtok second", [](std::string& o) { return tokens_remove("a b a", "a", "2", "32", false, o); }, "a b"},
        {"remtok absent", [](std::string& o) { return tokens_remove(" a  b ", "z", "1", "32", false, o); }, "a b"},
        {"remtok case", [](std::string& o) { return tokens_remove("A b", "a", "1", "32", false, o); }, "b"},
        {"remtokcs", [](std::string& o) { return tokens_remove("A b", "a", "1", "32", true, o); }, "A b"},
        {"reptok first", [](std::string& o) { return tokens_replace("a b a", "a", "x", "1", "32", false, o); }, "x b a"},
        {"reptok second", [](std::string& o) { return tokens_replace("a b a", "a", "x", "2", "32", false, o); }, "a b x"},
        {"reptok all", [](std::string& o) { return tokens_replace("a b a", "A", "x", "0", "32", false, o); }, "x b x"},
        {"reptokcs", [](std::string& o) { return tokens_replace("a b A", "A", "x", "0", "32", true, o); }, "a b x"},
        {"reptok empty new", [](std::string& o) { return tokens_replace("a b", "a", "", "1", "32", false, o); }, ""},
    });
}

TEST(TokenMembers, ResultsPastALineAreErrorNine)
{
    // 1,383 tokens "ab": a list of 4,148 characters, two short of a line.
    std::string list;
    for (int i = 0; i < 1383; ++i)
        list += (i ? " " : "") + std::string("ab");
    ASSERT_EQ(list.size(), 4148u);
    const std::string big(10, 'x');
    run_cases({
        {"puttok over", [&](std::string& o) { return tokens_put(list, big, "1-", "32", o); }, "", kTokErrTooLong},
        {"instok over", [&](std::string& o) { return tokens_insert(list, "xyz", "1", "32", o); }, "", kTokErrTooLong},
        {"addtok over", [&](std::string& o) { return tokens_add(list, "xyz", "32", false, o); }, "", kTokErrTooLong},
        {"reptok over", [&](std::string& o) { return tokens_replace(list, "ab", "abc", "0", "32", false, o); }, "", kTokErrTooLong},
    });
    std::string out;
    EXPECT_EQ(tokens_insert(list, "x", "0", "32", out), 0);
    EXPECT_EQ(out.size(), 4150u);
    EXPECT_EQ(tokens_put(list, "cd", "1-", "32", out), 0);
    EXPECT_EQ(out.size(), 4148u);
}

TEST(TokenMembers, LongListsCostLinearTime)
{
    // 100,000 tokens (far past a script line) are walked once per call.
    std::string list;
    list.reserve(300000);
    for (int i = 0; i < 100000; ++i) {
        list += std::to_string(i % 10);
        list += ' ';
    }
    std::string out;
    EXPECT_EQ(tokens_count(list, "32", out), 0);
    EXPECT_EQ(out, "100000");
    EXPECT_EQ(tokens_get(list, "-1", "32", out), 0);
    EXPECT_EQ(out, "9");
    EXPECT_EQ(tokens_find(list, "5", "0", "32", false, out), 0);
    EXPECT_EQ(out, "10000");
    EXPECT_EQ(tokens_sort(list, "32", true, "n", false, nullptr, out), 0);
    EXPECT_EQ(out.substr(0, 6), "0 0 0 ");
}

TEST(TokenMembers, Sorting)
{
    run_cases({
        {"numeric keeps input order of non-numbers",
         [](std::string& o) { return tokens_sort("10 9 b a", "32", true, "n", false, nullptr, o); }, "b a 9 10"},
        {"alphanumeric", [](std::string& o) { return tokens_sort("10 9 b a", "32", true, "a", false, nullptr, o); }, "a b 9 10"},
        {"alphabetic", [](std::string& o) { return tokens_sort("b C a", "32", false, "", false, nullptr, o); }, "a b C"},
        {"alphabetic cs", [](std::string& o) { return tokens_sort("b C a", "32", false, "", true, nullptr, o); }, "C a b"},
        {"reverse", [](std::string& o) { return tokens_sort("b c a", "32", true, "r", false, nullptr, o); }, "c b a"},
        {"numeric reverse", [](std::string& o) { return tokens_sort("2 10 1", "32", true, "nr", false, nullptr, o); }, "10 2 1"},
        {"n wins over a", [](std::string& o) { return tokens_sort("b 2 a 1", "32", true, "an", false, nullptr, o); }, "b a 1 2"},
        {"stable under equal keys", [](std::string& o) { return tokens_sort("B a b A", "32", false, "", false, nullptr, o); }, "a A B b"},
        {"nick prefixes", [](std::string& o) { return tokens_sort("+v,@o,x,@a", "44", true, "c", false, nullptr, o); }, "@a,@o,+v,x"},
        {"rebuilt", [](std::string& o) { return tokens_sort(",b,,a,", "44", false, "", false, nullptr, o); }, "a,b"},
        {"empty switches argument", [](std::string& o) { return tokens_sort("b a", "32", true, "", false, nullptr, o); }, ""},
        {"empty list", [](std::string& o) { return tokens_sort("", "32", false, "", false, nullptr, o); }, ""},
    });
}

// ---------------------------------------------------------------------------
// Through the identifier evaluator.

class TokenIdentifiers : public ::testing::Test {
protected:
    void SetUp() override
    {
        tokens_register();
        conn_ = conn_new(nullptr);
        ASSERT_NE(conn_, nullptr);
    }
    void TearDown() override { conn_free_all(); }

    std::string eval(const std::string& line)
    {
        std::string text = line;
        std::string* result = ident_eval_text(nullptr, &text, nullptr, nullptr, 0, -1, -1,
                                              nullptr, conn_);
        return result ? *result : std::string("<null>");
    }

    Connection* conn_ = nullptr;
};

TEST_F(TokenIdentifiers, EveryMemberAnswersThroughItsName)
{
    const struct {
        const char* line;
        const char* expected;
    } cases[] = {
        {"$gettok(a b c,2,32)", "b"},
        {"$token(a.b.c,-1,46)", "c"},
        {"$gettok(a b c,0,32)", "3"},
        {"$numtok(a;b;c,59)", "3"},
        {"$deltok(a b c,2,32)", "a c"},
        {"$puttok(a b c,x,2,32)", "a x c"},
        {"$instok(a b c,x,-1,32)", "a b x c"},
        {"$addtok(a b,B,32)", "a b"},
        {"$addtokcs(a b,B,32)", "a b B"},
        {"$findtok(a b a,a,2,32)", "3"},
        {"$findtok(a b a,a,32)", "1"},
        {"$findtokcs(A b a,a,32)", "3"},
        {"$istok(a b c,B,32)", "$true"},
        {"$istokcs(a b c,B,32)", "$false"},
        {"$matchtok(one two three,t,2,32)", "three"},
        {"$matchtokcs(One one,O,0,32)", "1"},
        {"$wildtok(#a #b c,#*,0,32)", "2"},
        {"$wildtokcs(ab AB,A?,1,32)", "AB"},
        {"$remtok(a b a,a,32)", "b a"},
        {"$remtok(a b a,a,0,32)", "b"},
        {"$remtokcs(A b a,a,32)", "A b"},
        {"$reptok(a b a,a,x,32)", "x b a"},
        {"$reptok(a b a,a,x,0,32)", "x b x"},
        {"$reptokcs(A b a,a,x,0,32)", "A b x"},
        {"$sorttok(10 9 b a,32,n)", "b a 9 10"},
        {"$sorttok(b a c,32)", "a b c"},
        {"$sorttokcs(b B a,32)", "B a b"},
        {"$gettok($gettok(a.b c.d,2,32),1,46)", "c"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        EXPECT_EQ(eval(c.line), c.expected);
    }
}

TEST_F(TokenIdentifiers, WrongArgumentCountsFail)
{
    const char* lines[] = {
        "$gettok(a b,1)",          // too few: error 4
        "$gettok(a b,1,32,9)",     // too many: error 5
        "$findtok(a,b)",           // not 3 or 4: error 6
        "$istok(a,b,32,1)",        // exactly 3: error 6
        "$remtok(a,b,1,32,9)",
        "$reptok(a,b,c)",
        "$sorttok(a)",
        "$sorttok(a,32,n,x)",
        "$puttok(a b,x,1)",
    };
    for (const char* line : lines) {
        SCOPED_TRACE(line);
        EXPECT_EQ(eval(line), "<null>");
    }
}

// A list of 1,383 tokens "ab" joined by ".": 4,148 characters.
int long_list(IdentCall& call)
{
    const int r = ident_args_step(call, kIdentAnyArgs);
    if (r >= 0)
        return r;
    call.value->clear();
    for (int i = 0; i < 1383; ++i)
        *call.value += (i ? "." : "") + std::string("ab");
    return ident_finish(call);
}

TEST_F(TokenIdentifiers, TooLongResultFailsTheEvaluation)
{
    ident_register("toktestlist(", long_list);
    EXPECT_EQ(eval("$numtok($toktestlist(),46)"), "1383");
    EXPECT_EQ(eval("$instok($toktestlist(),xyz,1,46)"), "<null>");
    EXPECT_EQ(eval("$numtok($instok($toktestlist(),x,0,46),46)"), "1384");
}

} // namespace

// Regular expressions: flag letters, the expression forms, the match and
// substitution loops, the fifty match slots, the limits that stop runaway
// patterns, and $regex, $regml, $regsub and $regsubex through the evaluator.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "core/string_list.h"
#include "identifiers/regex_identifiers.h"
#include "script/stores/regex.h"
#include "test_exec_fixture.h"
#include "support/cpu_time.h"

using interp_test::errors;

namespace {

// The groups of a slot as "text@offset" joined with "|".
std::string slot_dump(std::string_view name)
{
    std::string out;
    for (int n = 1; const StringNode* g = regex_slot_group(name, n); ++n) {
        if (!out.empty())
            out += '|';
        out += g->text + "@" + std::to_string(g->number);
    }
    return out;
}

// ---------------------------------------------------------------------------
// Flags and expression forms.

TEST(RegexSyntax, ParseFlags)
{
    struct Case {
        const char* text;
        int result;
        int global;
        unsigned options;
        int strip;
    } cases[] = {
        {"", 1, 0, 0, 0},
        {"i", 1, 0, kRegexCaseless, 0},
        {"gS", 1, 1, 0, 1},
        {"imsxAEXU", 1, 0,
         kRegexCaseless | kRegexMultiline | kRegexDotAll | kRegexExtended | kRegexAnchored |
             kRegexDollarEndOnly | kRegexExtra | kRegexUngreedy,
         0},
        {"i:rest of line", 2, 0, kRegexCaseless, 0},
        {"g{", 2, 1, 0, 0},
        {":", 2, 0, 0, 0},
        {"q", 0, 0, 0, 0},
        {"iq", 0, 0, kRegexCaseless, 0},
        {"I", 0, 0, 0, 0},   // letters are case-sensitive
        {"i ", 0, 0, kRegexCaseless, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        int g = -1, s = -1;
        unsigned o = 999;
        EXPECT_EQ(regex_parse_flags(c.text, &g, &o, &s), c.result);
        if (c.result != 0) {
            EXPECT_EQ(g, c.global);
            EXPECT_EQ(o, c.options);
            EXPECT_EQ(s, c.strip);
        }
    }
}

TEST(RegexSyntax, CheckSyntaxTellsRegexFromWildcard)
{
    struct Case {
        const char* text;
        std::ptrdiff_t flags_at;
    } cases[] = {
        {"/abc/", 5},
        {"/abc/gi", 5},
        {"m#a/b#i", 6},
        {"m!x!", 4},
        {"/a/i:text", 3},
        {"/abc/q", -1},  // bad flag letter
        {"//", -1},      // empty pattern
        {"m##", -1},
        {"/abc", -1},    // no closing delimiter
        {"m#abc", -1},
        {"abc", -1},
        {"*!*@host", -1},
        {"", -1},
        {"m", -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(regex_check_syntax(c.text), c.flags_at);
        EXPECT_EQ(regex_is_delimited(c.text), c.flags_at >= 0);
    }
}

TEST(RegexSyntax, SplitForms)
{
    struct Case {
        const char* expression;
        const char* pattern;
        const char* flags;
    } cases[] = {
        {"/a/b/gi", "a/b", "gi"},   // the pattern ends at the last delimiter
        {"m#a/b#i", "a/b", "i"},
        {"/abc", "abc", ""},        // no second "/": the rest without flags
        {"mat", "t", ""},           // "m" form with a delimiter that never comes back
        {"m", "", ""},
        {"abc", "abc", ""},
        {"", "", ""},
        {"/", "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expression);
        std::string_view p = "?", f = "?";
        regex_split(c.expression, &p, &f);
        EXPECT_EQ(p, c.pattern);
        EXPECT_EQ(f, c.flags);
    }
}

// ---------------------------------------------------------------------------
// The matcher.

class RegexMatch : public ::testing::Test {
protected:
    void SetUp() override { regex_slots_free(1); }
    void TearDown() override { regex_slots_free(1); }
};

TEST_F(RegexMatch, OptionLettersAndGroups)
{
    struct Case {
        std::string subject;
        const char* expression;
        int result;
        const char* groups;  // the default slot afterwards
    } cases[] = {
        {"ABC", "/(b)/i", 1, "B@1"},
        {"ABC", "/(b)/", 0, ""},
        {"a\nb", "/^(b)/m", 1, "b@2"},
        {"a\nb", "/^b/", 0, ""},
        {"a\nb", "/a.b/s", 1, ""},
        {"a\nb", "/a.b/", 0, ""},
        {"abc", "/a b c/x", 1, ""},
        {"xabc", "/abc/A", 0, ""},
        {"abcx", "/abc/A", 1, ""},
        {"abc\n", "/c$/E", 0, ""},
        {"abc\n", "/c$/", 1, ""},
        {"aaa", "/(a+?)/U", 1, "aaa@0"},
        {"aaa", "/(a+?)/", 1, "a@0"},
        {"q", "/\\q/", 1, ""},            // an unknown escape is the letter ...
        {"q", "/\\q/X", 0, ""},           // ... unless X makes it an error
        {"a\x02" "b\x03" "4,5c\x0f", "/abc/S", 1, ""},
        {"a\x02" "bc", "/abc/", 0, ""},
        {"a/B", "m#(/b)#i", 1, "/B@1"},
        {"xyz", "mat", 0, ""},            // the pattern is "t"
        {"xtz", "mat", 1, ""},
        {"hello", "ell", 1, ""},          // no delimiters: the whole text is the pattern
        {"abc", "/[b/", 0, ""},           // does not compile
        {"abc", "/b/q", 0, ""},           // bad flag letter
        {"b", "/(a)|(b)/", 1, "b@0"},     // a group that took no part is not stored
        {"abcabcabc", "/(b)/g", 3, "b@1|b@4|b@7"},
        {"abcabcabc", "/(b)/", 1, "b@1"},
        {"abc", "/x*/g", 3, ""},          // empty matches advance one character
        {"", "/x*/g", 1, ""},
        {"aa", "/a*/g", 2, ""},
        {"ab", "/(a)(x)?(b)/", 1, "a@0|b@1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.expression) + " on " + c.subject);
        std::string subject = c.subject;
        EXPECT_EQ(regex_match(subject, c.expression), c.result);
        EXPECT_EQ(subject, c.subject);  // a match leaves the subject alone
        EXPECT_EQ(slot_dump(""), c.groups);
    }
}

TEST_F(RegexMatch, KeepsAtMost32GroupsPerMatch)
{
    std::string pattern = "/";
    std::string subject;
    for (int i = 0; i < 40; ++i) {
        pattern += "(.)";
        subject += static_cast<char>('A' + i);
    }
    pattern += "/";
    EXPECT_EQ(regex_match(subject, pattern), 1);
    EXPECT_EQ(regex_slot_count(""), 32);
    EXPECT_EQ(regex_slot_group("", 32)->text, std::string(1, static_cast<char>('A' + 31)));
}

TEST_F(RegexMatch, SubjectIsCutAtTheScriptValueLength)
{
    std::string subject(5000, 'a');
    EXPECT_EQ(regex_match(subject, "/a/g"), 4150);
    EXPECT_EQ(subject.size(), 5000u);
}

TEST_F(RegexMatch, RunawayPatternsStopInBoundedTime)
{
    struct Case {
        std::string subject;
        const char* expression;
        bool must_fail;  // the limits, not the search, decide
    } cases[] = {
        {std::string(4150, 'a'), "/(a+)+b/", false},
        {std::string(30, 'a') + "b", "/^(a+)+$/", true},
        {std::string(4000, 'a') + "!", "/^(a|aa)+$/", true},
        {std::string(25, 'a') + "b", "/^((a*)*)*$/g", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expression);
        std::string subject = c.subject;
        const auto t0 = thread_cpu_ms();
        int r = regex_match(subject, c.expression);
        EXPECT_LT(thread_cpu_ms() - t0, 3000);   // processor time: the work, not the load
        EXPECT_LE(r, 0);
        if (c.must_fail) {
            EXPECT_LT(r, 0);
        }
        EXPECT_EQ(regex_slot_count(""), 0);
    }
}

TEST_F(RegexMatch, Substitution)
{
    struct Case {
        std::string subject;
        const char* expression;
        const char* replacement;
        int result;
        const char* text;
    } cases[] = {
        {"abcabc", "/(b)/g", "[\\1]", 2, "a[b]ca[b]c"},
        {"abcabc", "/(b)/", "[\\1]", 1, "a[b]cabc"},
        {"ab", "/(a)(b)/", "\\2\\1", 1, "ba"},
        {"ab", "/b/", "<\\0>", 1, "a<ab>"},        // \0 is the whole subject
        {"ab", "/b/", "\\\\\\x\\", 1, "a\\x\\"},   // escaped characters and a trailing "\"
        {"ab", "/b/", "\\9", 1, "a"},              // no such group
        {"b", "/(a)|(b)/", "\\2", 1, "b"},          // groups keep their numbers
        {"abc", "/x/", "y", 0, "abc"},
        {"abc", "/[x/", "y", 0, "abc"},
        {"abc", "/x*/g", "-", 3, "-a-b-c"},
        {"a\x02" "b", "/ab/S", "X", 1, "X"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.expression) + " on " + c.subject);
        std::string subject = c.subject;
        std::string repl = c.replacement;
        EXPECT_EQ(regex_match(subject, c.expression, &repl), c.result);
        EXPECT_EQ(subject, c.text);
        EXPECT_EQ(regex_overflow, 0);
    }
}

TEST_F(RegexMatch, SubstitutionPastTheLimitEmptiesAndFlags)
{
    std::string subject(3000, 'a');
    std::string repl = "aa";
    EXPECT_EQ(regex_match(subject, "/a/g", &repl), kRegexAborted);
    EXPECT_EQ(regex_overflow, 1);
    EXPECT_TRUE(subject.empty());

    subject = std::string(4150, 'a');
    repl = "a";
    EXPECT_EQ(regex_match(subject, "/a/g", &repl), 4150);
    EXPECT_EQ(regex_overflow, 0);
}

TEST_F(RegexMatch, SlotsAreNamedAndTheOldestIsPushedOut)
{
    std::string s = "ab";
    for (int i = 0; i < 50; ++i)
        regex_match(s, "/(a)/", nullptr, "n" + std::to_string(i));
    EXPECT_EQ(regex_slot_find("n0"), 0);
    EXPECT_EQ(regex_slot_find("N49"), 49);
    // The 51st name drops the oldest.
    regex_match(s, "/(b)/", nullptr, "extra");
    EXPECT_EQ(regex_slot_find("n0"), -1);
    EXPECT_EQ(regex_slot_find("n1"), 0);
    EXPECT_EQ(regex_slot_find("extra"), 49);
    EXPECT_EQ(slot_dump("extra"), "b@1");
    // A name in use frees its slot and takes the first free place.
    regex_match(s, "/(a)(b)/", nullptr, "n5");
    EXPECT_EQ(regex_slot_find("n6"), 4);
    EXPECT_EQ(regex_slot_find("n5"), 49);
    EXPECT_EQ(regex_slot_find("extra"), 48);
    EXPECT_EQ(slot_dump("n5"), "a@0|b@1");
    // An empty name is "default"; a failing pattern still replaces the slot.
    regex_match(s, "/(a)/", nullptr, "");
    EXPECT_EQ(regex_slot_find("default"), 49);
    EXPECT_EQ(regex_slot_find("n1"), -1);
    regex_match(s, "/[/", nullptr, "DEFAULT");
    EXPECT_EQ(regex_slot_count(""), 0);
    EXPECT_EQ(regex_slots[regex_slot_find("")]->text, "DEFAULT");
    regex_slots_free(1);
    for (StringNode* slot : regex_slots)
        EXPECT_EQ(slot, nullptr);
}

TEST_F(RegexMatch, SlotNodeRecordsSubstitution)
{
    std::string s = "ab";
    std::string repl = "x";
    regex_match(s, "/a/", &repl, "sub");
    regex_match(s, "/b/", nullptr, "plain");
    EXPECT_EQ(regex_slots[regex_slot_find("sub")]->number, 1);
    EXPECT_EQ(regex_slots[regex_slot_find("plain")]->number, 0);
}

// ---------------------------------------------------------------------------
// The identifiers, through the evaluator.

class RegexIdents : public interp_test::InterpTest {
protected:
    void SetUp() override
    {
        InterpTest::SetUp();
        regex_install();
        regex_slots_free(1);
        var_store_free();
        var_file_new("");
    }
    void TearDown() override
    {
        regex_slots_free(1);
        var_store_free();
        InterpTest::TearDown();
    }
    std::string var(const char* name)
    {
        std::string v;
        if (!var_find(name, &v, nullptr))
            return "<unset>";
        return v;
    }
    void set_var(const char* name, const std::string& value)
    {
        var_set(nullptr, name, &value, nullptr, 0, 1, 0, 0, nullptr, 0);
    }
};

TEST_F(RegexIdents, RegexAndRegml)
{
    struct Step {
        const char* text;
        const char* value;
    } steps[] = {
        {"$regex(abcabcabc,/(b)/g)", "3"},
        {"$regml(0)", "3"},
        {"$regml(-1)", "3"},
        {"$regml(2)", "b"},
        {"$regml(2).pos", "5"},
        {"$regml(4)", ""},
        {"$regex(ABC,/b/i)", "1"},
        {"$regex(ABC,/b/)", "0"},
        {"$regex(a/B,m#/b#i)", "1"},
        {"$regex(names,a1b2,/(\\d)/g)", "2"},
        {"$regml(names,2)", "2"},
        {"$regml(NAMES,1).pos", "2"},
        {"$regml(0)", "0"},           // the latest default match had no groups
        {"$regml(other,0)", "0"},
        {"$regml(other,1)", ""},
        {"$regex(abc,/[b/)", "0"},
        {"$regex(abc,/b/q)", "0"},
        {"$regex(abc,/b/S)", "1"},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.text);
        EXPECT_EQ(eval(s.text), s.value);
    }
}

TEST_F(RegexIdents, ArgumentCountsAndVariableName)
{
    const char* failing[] = {
        "$regex(abc)",
        "$regex(a,b,c,d)",
        "$regml(a,1,2)",
        "$regsub(abc,/b/,x)",
        "$regsub(abc,/b/,x,y)",        // the last argument must name a variable
        "$regsub(n,abc,/b/,x,%v,z)",
        "$regsubex(abc,/b/)",
        "$regsubex(n,abc,/b/,x,y)",
    };
    for (const char* text : failing) {
        SCOPED_TRACE(text);
        errors.clear();
        EXPECT_EQ(eval(text), "<failed>");
        ASSERT_FALSE(errors.empty());
        EXPECT_NE(errors.back().find("Geçersiz parametre"), std::string::npos) << errors.back();
    }
}

TEST_F(RegexIdents, Regsub)
{
    struct Case {
        const char* text;
        const char* value;
        const char* var_name;
        const char* var_value;
    } cases[] = {
        {"$regsub(abcabc,/(b)/g,[\\1],%x)", "2", "x", "a[b]ca[b]c"},
        {"$regsub(abcabc,/(B)/i,\\1\\1,%y)", "1", "y", "abbcabc"},
        {"$regsub(slot,abc,/(c)/,\\0,%z)", "1", "z", "ababc"},
        {"$regsub(abc,/x/,y,%none)", "0", "none", "abc"},
        {"$regsub(abc,/[x/,y,%bad)", "0", "bad", "abc"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(eval(c.text), c.value);
        EXPECT_EQ(var(c.var_name), c.var_value);
    }
    EXPECT_EQ(eval("$regml(slot,1).pos"), "3");
}

TEST_F(RegexIdents, RegsubVariableNameIsNotEvaluated)
{
    set_var("target", "%other");
    EXPECT_EQ(eval("$regsub(abc,/b/,X,%target)"), "1");
    EXPECT_EQ(var("target"), "aXc");
    EXPECT_EQ(var("other"), "<unset>");
}

TEST_F(RegexIdents, Regsubex)
{
    struct Case {
        const char* text;
        const char* value;
    } cases[] = {
        {"$regsubex(a5b7,/(\\d)/g,$calc(\\1 * 2))", "a10b14"},
        {"$regsubex(abcabc,/b/g,\\n)", "a1ca2c"},
        {"$regsubex(a b,/(\\w) (\\w)/,\\2\\1)", "ba"},
        {"$regsubex(abc,/(b)/,<\\1>)", "a<b>c"},
        {"$regsubex(abc,/(b)/,x \\1 y)", "ax b yc"},
        {"$regsubex(abc,/(a)(b)/,\\a)", "a bc"},
        {"$regsubex(abc,/(a)(b)/,\\A)", "abc"},
        {"$regsubex(abcd,/(.)(.)/g,\\t)", "ab"},
        {"$regsubex(abcd,/(.)(.)/g,\\1)", "ac"},
        {"$regsubex(abcd,/(.)(.)/g,\\0)", "44"},
        {"$regsubex(abc,/x/,y)", "abc"},
        {"$regsubex(n,abc,/(c)/,$calc(\\n + 1))", "ab2"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(eval(c.text), c.value);
    }
    EXPECT_EQ(eval("$regml(n,1)"), "c");
}

TEST_F(RegexIdents, RegsubexDoesNotEvaluateCapturedText)
{
    set_var("text", "x $me %text y");
    EXPECT_EQ(eval("$regsubex(%text,/(\\$\\S+) (%\\S+)/,\\2\\1)"), "x %text$me y");
}

TEST_F(RegexIdents, OverflowIsAnError)
{
    set_var("big", std::string(3000, 'a'));
    struct Case {
        const char* text;
    } cases[] = {
        {"$regsub(%big,/a/g,aa,%out)"},
        {"$regsubex(%big,/a/g,aa)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        errors.clear();
        EXPECT_EQ(eval(c.text), "<failed>");
        ASSERT_FALSE(errors.empty());
        EXPECT_NE(errors.back().find("Sıra cok uzun"), std::string::npos) << errors.back();
    }
    EXPECT_EQ(var("out"), "<unset>");
}

TEST_F(RegexIdents, RunawayPatternGivesErrorCodeNotHang)
{
    std::string subject = std::string(30, 'a') + "b";
    set_var("s", subject);
    const auto t0 = thread_cpu_ms();
    std::string r = eval("$regex(%s,/^(a+)+$/)");
    EXPECT_EQ(r, std::to_string(kRegexErrMatchLimit));
    // $regsubex keeps the text when the match fails this way.
    EXPECT_EQ(eval("$regsubex(%s,/^(a+)+$/,x)"), subject);
    EXPECT_EQ(eval("$regsub(%s,/^(a+)+$/,x,%out)"), std::to_string(kRegexErrMatchLimit));
    EXPECT_EQ(var("out"), "<unset>");
    EXPECT_LT(thread_cpu_ms() - t0, 5000);   // processor time: the work, not the load
}

} // namespace

namespace {

// A replacement whose run fails or halts stops the substitution and fails
// the identifier; the failure's own message is what the user sees.
TEST_F(RegexIdents, RegsubexStopsWhenTheReplacementFails)
{
    ASSERT_NE(alias_add("stopnow halt"), nullptr);
    ASSERT_NE(alias_add("count bump hits | return x"), nullptr);
    struct Case {
        const char* text;
        const char* message;  // part of the printed error, or null for none
        const char* hits;     // %hits afterwards
    } cases[] = {
        {"$regsubex(abab,/b/g,$calc(1,2))", "Çok fazla parametre", "<unset>"},
        {"$regsubex(abab,/b/g,$stopnow)", nullptr, "<unset>"},
        {"$regsubex(abab,/b/g,$count)", nullptr, "2"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        errors.clear();
        std::string r = eval(c.text);
        if (c.message) {
            EXPECT_EQ(r, "<failed>");
            ASSERT_FALSE(errors.empty());
            EXPECT_NE(errors.back().find(c.message), std::string::npos) << errors.back();
        } else if (std::string(c.hits) == "<unset>") {
            EXPECT_EQ(r, "<failed>");
        } else {
            EXPECT_EQ(r, "axax");
        }
        EXPECT_EQ(var("hits"), c.hits);
    }
}

} // namespace

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "script/exec/script_text.h"

namespace {

TEST(ScriptText, SplitCommands)
{
    const struct {
        const char* line;
        std::vector<std::string> pieces;
    } cases[] = {
        {"echo a | echo b", {"echo a", "echo b"}},
        {"echo a|b", {"echo a|b"}},
        {"if (1) { echo a | echo b }", {"if (1) { echo a", "echo b", "}"}},
        {"if (1) { if (2) { echo }", {"if (1) {", "if (2) { echo", "}"}},
        {"echo b } else { echo c }", {"echo b", "} else { echo c", "}"}},
        {"; comment | echo x", {"; comment", "echo x"}},
        {"{   ", {"{"}},
        {"   ", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        int ok = 0;
        std::vector<std::string> got;
        for (const ScriptPiece& p : script_split_commands(c.line, 0, 0, &ok))
            got.push_back(p.text);
        EXPECT_EQ(got, c.pieces);
    }
}

TEST(ScriptText, CommentKinds)
{
    const struct {
        const char* text;
        int kind;
    } cases[] = {{"; x", 1}, {"  rem x", 1}, {"REM", 1}, {"remark x", 0}, {"echo", 0}, {"*/", 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        int counter = 0;
        EXPECT_EQ(script_line_comment_kind(c.text, &counter), c.kind);
    }
    int counter = 0;
    EXPECT_EQ(script_line_comment_kind("/* open", &counter), 2);
    EXPECT_EQ(script_line_comment_kind("anything", &counter), 4);
    EXPECT_EQ(script_line_comment_kind("*/", &counter), 3);
    EXPECT_EQ(counter, 0);
}

TEST(ScriptText, BraceDepth)
{
    const struct {
        const char* text;
        int depth;
        int strict;
        int expected;
    } cases[] = {{"if (1) {", 0, 0, 1}, {"a{b c", 0, 0, 0}, {"}", 1, 0, 0},
                 {"} else { x", 2, 0, 2}, {"} x", 0, 1, -1}, {"; {", 0, 0, 0},
                 {"label:{ x", 0, 0, 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(script_brace_depth(c.text, c.depth, c.strict), c.expected);
    }
}

TEST(ScriptText, SkipPrefix)
{
    const struct {
        const char* text;
        const char* rest;
        int no_alias;
        int show;
    } cases[] = {{"  //!.echo x", "echo x", 1, 0}, {"/echo", "echo", 0, 1}, {"/ echo", "", 0, 1},
                 {"; c", "", 0, 1}, {".say", "say", 0, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        int na = 0, show = 1;
        std::string t = c.text;
        EXPECT_EQ(t.substr(script_line_skip_prefix(t, &na, &show)), c.rest);
        EXPECT_EQ(na, c.no_alias);
        EXPECT_EQ(show, c.show);
    }
}

TEST(ScriptText, NumberFormatting)
{
    const struct {
        double value;
        int unit;
        int plain;
        const char* expected;
    } cases[] = {{1536, 0, 0, "1.5KB"}, {999, 0, 0, "999B"}, {1000, 0, 0, "0.98KB"},
                 {1234567, 1, 0, "1,234,567B"}, {-2048, 0, 1, "-2 KB"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.expected);
        std::string out;
        num_format_bytes(c.value, out, 1, 0, c.unit, c.plain, 0);
        EXPECT_EQ(out, c.expected);
    }
    std::string g = "1234567.891";
    num_group_thousands(g);
    EXPECT_EQ(g, "1,234,567.891");
    EXPECT_TRUE(arg_is_number("-1.5"));
    EXPECT_FALSE(arg_is_number("1.2.3"));
    EXPECT_FALSE(arg_is_number("."));
    EXPECT_TRUE(arg_is_integer("+12"));
    EXPECT_FALSE(arg_is_integer("12a"));
}

TEST(ScriptText, IdentSkipAndCommaEnds)
{
    std::string t = "$calc(1,(2)) rest";
    EXPECT_EQ(ident_skip_token(t, 0), 12u);
    EXPECT_EQ(ident_skip_token("$me,x", 0), 3u);
    EXPECT_TRUE(var_decl_comma_ends(",  %b"));
    EXPECT_TRUE(var_decl_comma_ends(",   "));
    EXPECT_FALSE(var_decl_comma_ends(", b"));
}

TEST(ExecText, SixPlaceFormatMatchesThePrintfForm)
{
    // Whole numbers take a shorter road; the text must not change.
    const double values[] = {0.0, -0.0, 1.0, -1.0, 7.0, 999999.0, 1000000.0, -123456789.0,
                             1e14, 99999999999999.0, 1e15, -1e15, 1e20, 0.5, -2.25,
                             1.0000005, 3.3333333333, 4294967295.0, 1e-7};
    for (double v : values) {
        SCOPED_TRACE(v);
        char buf[400];
        std::snprintf(buf, sizeof buf, "%0.6f", v);
        std::string out;
        EXPECT_EQ(num_format_f6(v, out), static_cast<int>(std::string(buf).size()));
        EXPECT_EQ(out, buf);
    }
    std::string out;
    EXPECT_EQ(num_format_f6(1.0 / 0.0, out), -1);
    EXPECT_EQ(out, "0");
}

} // namespace

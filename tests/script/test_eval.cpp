#include "test_exec_fixture.h"

#include "script/eval/evaluate.h"
#include "script/eval/identifier_table.h"
#include "script/exec/script_text.h"

using namespace interp_test;

namespace {

TEST_F(InterpTest, EvaluatesTextsAsExpected)
{
    const struct {
        const char* text;
        const char* expected;
    } cases[] = {
        {"a $+ b", "ab"},
        {"$+ a", "a"},
        {"a $+", "a"},
        {"x $+ $null", "x"},
        {"a $+ b $+ c d", "abc d"},
        {"[ $ $+ me ]", "kestuser"},
        {"[[ x ]]", "[ x ]"},
        {"a [ ] b", "a b"},
        {"$!me", "$me"},
        {"$$!me", "$$me"},
        {"a $null b", "a b"},
        {"$PI and $pi", "3.14159265358979323846 and 3.14159265358979323846"},
        {"$true $false $yes", "$true $false $yes"},
        {"$ $$ $~", "$ $$ $~"},
        {"$calc(1+2*3)", "7"},
        {"$calc( 1 + 2 ) tail", "3 tail"},
        {"$calc($calc(2*3) + 1)", "7"},
        {"$ialx $jfoo $zfoo", ""},
        {"#", ""},
        {"{ } a", "a"},
        {"$me $+ !", "kestuser!"},
        {"$mnick $anick", "kestuser"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(eval(c.text), c.expected);
    }
}

TEST_F(InterpTest, ParameterForms)
{
    const std::vector<std::string> params = {"", "a", "b", "c"};
    const struct {
        const char* ref;
        char prefix;
        const char* expected;
    } cases[] = {
        {"1-", 0, "a b c"}, {"2-3", 0, "b c"}, {"4", 0, ""}, {"0", 0, "3"},
        {"1", '#', "#a"},   {"1:", 0, "a:"},   {"3-1", 0, "c"}, {"2-", '#', "#b c"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.ref);
        std::string out;
        arg_param_range(c.ref, out, params, c.prefix, conn);
        EXPECT_EQ(out, c.expected);
    }
}

TEST_F(InterpTest, AliasesAsIdentifiers)
{
    alias_add("twice return $1 $+ $1");
    alias_add("propname return $prop $isid");
    alias_add("nothing noop");
    const struct {
        const char* text;
        const char* expected;
    } cases[] = {
        {"$twice(ab)", "abab"},
        {"$$twice(x)", "xx"},
        {"$propname().upper", "upper $true"},
        {"$nothing", ""},
        {"$noalias", ""},
        {"$~twice(ab)", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(eval(c.text), c.expected);
    }
    script_ident_warnings = 1;
    EXPECT_EQ(eval("$noalias"), "<failed>");
    script_ident_warnings = 0;
    ASSERT_FALSE(errors.empty());
    EXPECT_EQ(errors.back(), "* Tanımlama Yok: $noalias");
}

TEST_F(InterpTest, ValueOver4150IsCutAtTokenBoundary)
{
    std::string a(4000, 'a'), b(151, 'b');
    alias_add("longa return " + a);
    alias_add("longb return " + b);
    EXPECT_EQ(eval("$longa $longb"), a);
    EXPECT_EQ(eval("$longa $longb").size(), 4000u);
    std::string joined = eval("$longa $+ $longb");
    EXPECT_EQ(joined, "<failed>");
}

TEST_F(InterpTest, IdentifierArgumentErrors)
{
    const struct {
        const char* text;
        const char* error;
    } cases[] = {
        {"$calc(1,2)", "* Çok fazla parametre: $calc"},
        {"$calc(1", "* Geçersiz format: $calc"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        errors.clear();
        EXPECT_EQ(eval(c.text), "<failed>");
        ASSERT_EQ(errors.size(), 1u);
        EXPECT_EQ(errors[0], c.error);
    }
}

TEST_F(InterpTest, ConditionNegation)
{
    const struct {
        const char* in;
        const char* out;
    } cases[] = {{"0", "1"}, {"5", "0"}, {"", "$true"}, {"$false", "$true"},
                 {"$TRUE", "$false"}, {"abc", ""}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.in);
        EXPECT_EQ(ident_negate(c.in), c.out);
    }
    echoed.clear();
    run("if (!$true) say a | else say b | if (!$calc(0)) say c");
    EXPECT_EQ(echoed, (std::vector<std::string>{"b", "c"}));
}

TEST(IdentifierTable, NamesReachTheirFamilies)
{
    const struct {
        const char* name;
        const char* family;
    } cases[] = {
        {"script", "id_script"},       {"script(1)", "id_script_of"}, {"scriptdir", "id_script"},
        {"script.x", "id_script"},     {"PI", "id_value"},            {"calc(1)", "id_calc"},
        {"chan(1)", "id_chan_of"},     {"ialchan(a,#b,1)", "id_ialchan"},
        {"ial", "id_value"},           {"ial(x)", "id_ial"},          {"mouse.x", "id_mouse"},
        {"agentver", "id_agent"},      {"+(a,b)", "id_plus"},         {"sdir=x", "id_select_dialog"},
        {"READ(f)", "ident_read"},     {"read", "id_read"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const IdentEntry* e = ident_lookup(c.name);
        ASSERT_NE(e, nullptr);
        EXPECT_STREQ(e->family, c.family);
    }
    for (const char* none : {"ialx", "agent", "jfoo", "kfoo", "zfoo", "mee"}) {
        SCOPED_TRACE(none);
        EXPECT_EQ(ident_lookup(none), nullptr);
    }
    EXPECT_GE(ident_table_size(), 390);
}

} // namespace

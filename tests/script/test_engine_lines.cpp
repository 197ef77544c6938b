// Whole lines through the real engine: the registered /echo, /set, /var and
// /inc, the evaluator with $calc, $base, the token identifiers and aliases,
// as a user or a script would write them.
#include "test_exec_fixture.h"

#include "commands/output_commands.h"
#include "script/eval/evaluate.h"

using namespace interp_test;

namespace {

class EngineLines : public InterpTest {
protected:
    void SetUp() override
    {
        InterpTest::SetUp();
        output_lines_clear();
        for (const char* name : {"el_a", "el_i"})
            var_set(nullptr, name, nullptr, nullptr, 0, 1, 0, 0, nullptr, 0);
    }

    void TearDown() override
    {
        InterpTest::TearDown();
    }


    static std::vector<std::string> printed()
    {
        std::vector<std::string> out;
        for (const OutputLine& l : output_lines())
            out.push_back(l.text);
        return out;
    }
};

TEST_F(EngineLines, LinesPrintWhatTheyShould)
{
    const struct {
        const char* name;
        std::vector<const char*> aliases;
        const char* line;
        int mode;
        std::vector<std::string> expected;
    } cases[] = {
        {"/echo does not evaluate", {}, "/echo -a $me", 0, {"$me"}},
        {"//echo evaluates", {}, "//echo -a $me", 0, {"kestuser"}},
        {"parameters of an alias", {"t echo -a $1- | echo -a $2-3 | echo -a $0"}, "t a b c", 1,
         {"a b c", "b c", "3"}},
        {"$+ joins", {}, "echo -a a $+ b $+ $me c", 1, {"abkestuser c"}},
        {"$+ with an empty side", {}, "echo -a < $+ $null $+ >", 1, {"<>"}},
        {"=== compares without case only as numbers", {},
         "if (1 === 1.0) echo -a same | if (a === A) echo -a wrong", 1, {"same"}},
        {"isnum with a range", {},
         "if (3 isnum 1-5) echo -a in | if (6 isnum 1-5) echo -a wrong | if (5 isnum 5) echo -a five",
         1, {"in", "five"}},
        {"&& and || chains", {},
         "if ((1 == 1) && (2 == 3)) echo -a wrong | elseif ((1 == 2) || (2 == 2)) echo -a or | "
         "if ((0) || (1) && (0)) echo -a wrong | if ((1) && (0) || (1)) echo -a left-to-right",
         1, {"or", "left-to-right"}},
        {"$calc", {}, "echo -a $calc(1+2*3) $calc(7 % 3) $calc(10/3) $calc(1/0) $calc(2^-1)", 1,
         {"7 1 3.333333 0 0.5"}},
        {"$base", {}, "echo -a $base(FF,16,10) $base(-10,10,16)", 1, {"255 -A"}},
        {"/set arithmetic", {}, "set %el_a 5 + 3 | echo -a %el_a", 1, {"8"}},
        {"/set -n keeps the text", {}, "set -n %el_a 5 + 3 | echo -a %el_a", 1, {"5 + 3"}},
        {"/set division by zero keeps the text", {}, "set %el_a 7 % 0 | echo -a %el_a", 1,
         {"7 % 0"}},
        {"a lone % stays", {}, "echo -a 50 % done", 1, {"50 % done"}},
        {"var and inc in a loop", {"cnt { var %el_i = 0 | while (%el_i < 5) { inc %el_i } | echo -a %el_i }"},
         "cnt", 1, {"5"}},
        {"token identifiers", {},
         "echo -a $gettok(a.b.c,2,46) $gettok(a b c,0,32) $gettok(a b c d,2-3,32) $numtok(a..b,46) "
         "$addtok(a.b,c,46) $deltok(a.b.c,-1,46) $findtok(a.b.c,c,1,46) $puttok(a b c,x,2,32)",
         1, {"b 3 b c 2 a.b.c a.b 3 a x c"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        alias_clear_all();
        output_lines_clear();
        errors.clear();
        for (const char* a : c.aliases)
            ASSERT_NE(alias_add(a), nullptr);
        EXPECT_EQ(run(c.line, c.mode), 1);
        EXPECT_EQ(printed(), c.expected);
        EXPECT_TRUE(errors.empty()) << errors.front();
    }
}

TEST_F(EngineLines, TwoAliasesCallingEachOtherEndInOneError)
{
    alias_add("ping pong");
    alias_add("pong ping");
    EXPECT_EQ(run("ping | echo -a never"), 0);
    EXPECT_TRUE(printed().empty());
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].rfind("* Hafızayı Ayırmada Hata var", 0), 0u) << errors[0];
    EXPECT_EQ(script_nesting, 0);
}

TEST_F(EngineLines, PlainModeSendsTextAsItStands)
{
    static std::vector<std::string> said;
    said.clear();
    script_send_text = [](QWidget*, const std::string& text, int, Connection*) {
        said.push_back(text);
        return 1;
    };
    const struct {
        const char* line;
        int mode;
    } cases[] = {
        {"#a | quit", 3},
        {"#$me", 3},
        {"#a | quit", 0},
        {"/echo -a typed", 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        said.clear();
        output_lines_clear();
        EXPECT_EQ(run(c.line, c.mode), 1);
        EXPECT_EQ(said, std::vector<std::string>{c.line});
        EXPECT_TRUE(printed().empty());
        EXPECT_TRUE(sent().empty());
    }
}

}  // namespace

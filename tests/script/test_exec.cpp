#include "test_exec_fixture.h"

#include "script/eval/evaluate.h"

using namespace interp_test;

namespace {

struct ExecCase {
    const char* name;
    std::vector<const char*> aliases;  // definitions added before the run
    const char* line;
    int mode;
    const char* params;
    std::vector<std::string> expected; // lines printed by "say"
    int result;
};

class ExecTable : public InterpTest {};

TEST_F(ExecTable, RunsLinesAsExpected)
{
    const ExecCase cases[] = {
        {"single slash is not evaluated", {}, "/say $me", 0, nullptr, {"$me"}, 1},
        {"double slash evaluates", {}, "//say $me", 0, nullptr, {"kestuser"}, 1},
        {"typed single slash keeps the bar", {}, "/say a | say b", 0, nullptr, {"a | say b"}, 1},
        {"typed double slash splits", {}, "//say a | say b", 0, nullptr, {"a", "b"}, 1},
        {"parameters", {"t say $1- | say $2-3 | say $0"}, "t a b c", 1, nullptr,
         {"a b c", "b c", "3"}, 1},
        {"parameter past the end is empty", {"p say < $4 > $1:"}, "p a b c", 1, nullptr, {"< > a:"}, 1},
        {"strict equality of numbers", {}, "if (1 === 1.0) say yes | else say no", 1, nullptr,
         {"yes"}, 1},
        {"case-blind text equality", {}, "if (a == A) say yes | else say no", 1, nullptr, {"yes"}, 1},
        {"exact text differs", {}, "if (a === A) say yes | else say no", 1, nullptr, {"no"}, 1},
        {"and chain false", {}, "if (1 == 1) && (2 == 3) say yes | else say no", 1, nullptr,
         {"no"}, 1},
        {"or chain true", {}, "if (1 == 2) || (2 == 2) say yes | else say no", 1, nullptr,
         {"yes"}, 1},
        {"left to right without precedence", {},
         "if (0) || (1) && (0) say yes | else say no", 1, nullptr, {"no"}, 1},
        {"elseif after false", {}, "if (0) say a | elseif (1) say b | else say c", 1, nullptr,
         {"b"}, 1},
        {"else without if is skipped", {}, "else say x | say y", 1, nullptr, {"y"}, 1},
        {"braces and bars inside", {}, "if (1) { say a | say b } | say c", 1, nullptr,
         {"a", "b", "c"}, 1},
        {"false block skipped", {}, "if (0) { say a | say b } | say c", 1, nullptr, {"c"}, 1},
        {"false block then else on the same piece", {}, "if (0) { say a } else { say b }", 1,
         nullptr, {"b"}, 1},
        {"nested blocks", {}, "if (1) { if (0) { say a } | say b } | say c", 1, nullptr,
         {"b", "c"}, 1},
        {"return with a value", {"r return a   b"}, "say $r", 1, nullptr, {"a b"}, 1},
        {"returnex keeps blank runs", {"r returnex a   b"}, "say [ $r ]", 1, nullptr, {"a   b"}, 1},
        {"result of the last alias", {"r return v1"}, "r | say $result", 1, nullptr, {"v1"}, 1},
        {"halt stops callers too", {"h say 1 | halt | say 2"}, "h | say 3", 1, nullptr, {"1"}, 2},
        {"alias named like a built-in calls the built-in", {"say say inner $1"}, "say x", 1,
         nullptr, {"inner x"}, 1},
        {"! skips the alias", {"say say inner $1"}, "!say x", 1, nullptr, {"x"}, 1},
        {"alias as identifier with arguments", {"add return $1 $+ $2"}, "say $add(a,b)", 1, nullptr,
         {"ab"}, 1},
        {"$$ of an empty value stops the line", {}, "say a $$null | say b", 1, nullptr, {}, 0},
        {"$* runs once per parameter", {"each say $* $+ !"}, "each a b c", 1, nullptr,
         {"a!", "b!", "c!"}, 1},
        {"multi-line alias body", {"m {\n  say one\n  say two\n}"}, "m", 1, nullptr,
         {"one", "two"}, 1},
        {"plain text goes to the window", {}, "hello there", 0, nullptr, {}, 0},
        {"typed $ word is refused", {}, "/$me", 0, nullptr, {}, 0},
    };
    for (const ExecCase& c : cases) {
        SCOPED_TRACE(c.name);
        alias_clear_all();
        echoed.clear();
        for (const char* def : c.aliases)
            ASSERT_NE(alias_add(def), nullptr);
        EventContext ev;
        int r = script_exec_line(nullptr, c.line, c.params, c.mode, &ev, nullptr, conn);
        EXPECT_EQ(echoed, c.expected);
        EXPECT_EQ(r, c.result);
    }
}

TEST_F(InterpTest, GotoJumpsForwardAndBackward)
{
    alias_add("g {\n  :top\n  bump g\n  if (%g < 3) goto top\n  goto done\n  say skipped\n  :done\n  say %g\n}");
    std::string zero = "0";
    var_set(nullptr, "g", &zero, nullptr, 0, 1, 0, 0, nullptr, 0);
    EXPECT_EQ(run("g"), 1);
    EXPECT_EQ(echoed, std::vector<std::string>{"3"});
}

TEST_F(InterpTest, GotoToMissingLabelFails)
{
    alias_add("g {\n  goto nowhere\n  say never\n}");
    EXPECT_EQ(run("g"), 0);
    EXPECT_TRUE(echoed.empty());
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0], "* /goto: 'nowhere' bulunamadı");
}

TEST_F(InterpTest, WhileBreakContinue)
{
    struct Case {
        const char* name;
        const char* body;
        std::vector<std::string> expected;
    } cases[] = {
        {"plain loop", "while (%i < 3) { bump i | say %i }", {"1", "2", "3"}},
        {"one-line body", "while (%i < 3) bump i | say end %i", {"end 3"}},
        {"break leaves the loop",
         "while (1) { bump i | if (%i == 2) break | say %i } | say out %i", {"1", "out 2"}},
        {"continue goes back to the test",
         "while (%i < 4) { bump i | if (%i == 2) continue | say %i }", {"1", "3", "4"}},
        {"nested break leaves only the inner loop",
         "while (%i < 2) { bump i | clearv j | while (1) { bump j | if (%j > 1) break } | say %i %j }",
         {"1 2", "2 2"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        echoed.clear();
        std::string zero = "0";
        var_set(nullptr, "i", &zero, nullptr, 0, 1, 0, 0, nullptr, 0);
        EXPECT_EQ(run(c.body), 1);
        EXPECT_EQ(echoed, c.expected);
    }
}

TEST_F(InterpTest, RecursionStopsWithOneNestingError)
{
    alias_add("ping pong");
    alias_add("pong ping");
    EXPECT_EQ(run("ping"), 0);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].rfind("* Hafızayı Ayırmada Hata var", 0), 0u) << errors[0];
}

TEST_F(InterpTest, AnAliasIsNotEnteredAgainThroughItsOwnName)
{
    // Inside "deep", $deep is the running alias: empty, no recursion.
    alias_add("deep return < $+ $deep $+ >");
    EXPECT_EQ(run("say $deep"), 1);
    EXPECT_EQ(echoed, std::vector<std::string>{"<>"});
    EXPECT_TRUE(errors.empty());
}

TEST_F(InterpTest, RecursionThroughIdentifiersIsBounded)
{
    const struct {
        const char* name;
        std::vector<const char*> aliases;
        const char* line;
    } cases[] = {
        {"two identifiers", {"ida return $idb", "idb return $ida"}, "say $ida"},
        {"identifier and command", {"ida idb", "idb say $ida"}, "say $ida"},
        {"identifier with arguments", {"ida return $idb($1)", "idb return $ida($1)"}, "say $ida(x)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        alias_clear_all();
        echoed.clear();
        errors.clear();
        for (const char* a : c.aliases)
            ASSERT_NE(alias_add(a), nullptr);
        EXPECT_EQ(run(c.line), 0);
        EXPECT_TRUE(echoed.empty());
        ASSERT_EQ(errors.size(), 1u);
        EXPECT_EQ(errors[0].rfind("* Hafızayı Ayırmada Hata var", 0), 0u) << errors[0];
        EXPECT_EQ(script_nesting, 0);
        // The engine works again afterwards.
        EXPECT_EQ(run("say ok"), 1);
    }
}

TEST_F(InterpTest, RecursionWithErrorLabelStillEnds)
{
    // The error label turns on the error-handling mode, whose depth clamp
    // must not let the recursion run without end (each level would call
    // twice: the time would double with every level).
    const struct {
        const char* name;
        std::vector<const char*> aliases;
    } cases[] = {
        {"two aliases, both with the label",
         {"loopa {\n  loopb\n  :error\n  loopb\n}", "loopb {\n  loopa\n  :error\n  loopa\n}"}},
        {"one with the label", {"loopa {\n  loopb\n  :error\n  reseterror\n  loopb\n}", "loopb loopa"}},
        {"through an identifier", {"loopa {\n  say $loopb\n  :error\n  say $loopb\n}", "loopb return $loopa"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        alias_clear_all();
        errors.clear();
        for (const char* a : c.aliases)
            ASSERT_NE(alias_add(a), nullptr);
        EXPECT_EQ(run("loopa"), 0);
        ASSERT_EQ(errors.size(), 1u);
        EXPECT_EQ(errors[0].rfind("* Hafızayı Ayırmada Hata var", 0), 0u) << errors[0];
        EXPECT_EQ(script_nesting, 0);
    }
}

TEST_F(InterpTest, PlainCommandModeTakesTextAsItStands)
{
    const struct {
        const char* command;
        const char* expected;
    } cases[] = {
        {"say #a | quit", "#a | quit"},
        {"say #$me", "#$me"},
        {"/say %x [ $me ]", "%x [ $me ]"},
        {"//say $me", "$me"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.command);
        echoed.clear();
        wire.clear();
        EXPECT_EQ(script_exec_plain_command(nullptr, c.command, conn, 1), 1);
        EXPECT_EQ(echoed, std::vector<std::string>{c.expected});
        EXPECT_TRUE(sent().empty());
    }
}

TEST_F(InterpTest, UnknownWordsGoToTheServer)
{
    const struct {
        const char* line;
        const char* sent;
    } cases[] = {
        // The word goes out upper-cased whatever case it was typed in.
        {"//privmsg #c :hi $me", "PRIVMSG #c :hi kestuser\n"},
        {"/WHOIS nick", "WHOIS nick\n"},
        {"/Whois nick", "WHOIS nick\n"},
        {"/ytest 1", "YTEST 1\n"},
        {"/zzz", "ZZZ\n"},
    };
    conn->connected = 1;  // a link the server words can go out on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        wire.clear();
        run(c.line, 0);
        ASSERT_EQ(sent().size(), 1u);
        EXPECT_EQ(sent()[0], c.sent);
    }
}

// A built-in word or identifier whose feature is not built yet answers with
// a local error naming it and stops the run; nothing goes to the server.
TEST_F(InterpTest, BuiltInsWithoutAHandlerAreNotAvailableYet)
{
    const struct {
        const char* line;
        const char* error;
    } cases[] = {
        {"toolbar -d x | say after", "* /toolbar: not available yet"},
        {"TOOLBAR | say after", "* /toolbar: not available yet"},
        {"dccfoo x | say after", "* /dccfoo: not available yet"},
        {"dcc send a b | say after", "* /dcc: not available yet"},
        {"drawrect @w 1 | say after", "* /drawrect: not available yet"},
        {"say $dialog(d,table) | say after", "* $dialog: not available yet"},
        {"say a $agentver b | say after", "* $agentver: not available yet"},
        {"if ($sock(x) == 1) say yes | say after", "* $sock: not available yet"},
    };
    for (int round = 0; round < 2; ++round) {
        for (const auto& c : cases) {
            SCOPED_TRACE(c.line);
            wire.clear();
            errors.clear();
            echoed.clear();
            EXPECT_EQ(run(c.line), 0);
            EXPECT_TRUE(sent().empty()) << sent()[0];
            EXPECT_TRUE(echoed.empty());
            ASSERT_EQ(errors.size(), 1u);
            EXPECT_EQ(errors[0], c.error);
            EXPECT_FALSE(script_error_pending());
        }
    }
}

// $md5 and $sha1 of a text; a kind they do not know, or a binary variable
// that does not exist, is an invalid parameter that stops the run.
TEST_F(InterpTest, DigestIdentifiersGiveHexOrStop)
{
    const struct {
        const char* line;
        std::vector<std::string> said;
        const char* error;
    } cases[] = {
        {"say $md5(abc) | say after", {"900150983cd24fb0d6963f7d28e17f72", "after"}, nullptr},
        {"say $sha1(abc,0)", {"a9993e364706816aba3e25717850c26c9cd0d89d"}, nullptr},
        {"say $upper($md5($sha1(abc)))", {"74076346DEE6D87FFE0F2F069DDA57BB"}, nullptr},
        {"say $md5(abc,7) | say after", {}, "* Geçersiz parametre: $md5"},
        {"say $sha1(&nothing,1) | say after", {}, "* Geçersiz parametre: $sha1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        errors.clear();
        echoed.clear();
        run(c.line);
        EXPECT_EQ(echoed, c.said);
        if (c.error) {
            ASSERT_EQ(errors.size(), 1u);
            EXPECT_EQ(errors[0], c.error);
        } else {
            EXPECT_TRUE(errors.empty()) << errors[0];
        }
    }
}

TEST_F(InterpTest, DispatchIgnoresCaseAndTimerFamily)
{
    static std::vector<std::string> timer_words;
    timer_words.clear();
    script_register_command_family("cmd_timer", [](CommandCall& call) {
        timer_words.push_back(call.tokens[0]);
        return 1;
    });
    EXPECT_EQ(run("SAY a | Say b | say c | timer1 x | timerfoo | timestamp"), 1);
    EXPECT_EQ(echoed, (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_EQ(timer_words, (std::vector<std::string>{"timer1", "timerfoo"}));
    // "timestamp" reaches its own handler, not the timer family.
    script_register_command_family("cmd_timer", nullptr);
}

TEST_F(InterpTest, CommandCharacterSetting)
{
    script_command_char = '!';
    EXPECT_EQ(run("!say $me", 0), 1);
    EXPECT_EQ(run("!!say $me", 0), 1);
    script_command_char = '/';
    EXPECT_EQ(echoed, (std::vector<std::string>{"$me", "kestuser"}));
}

TEST_F(InterpTest, VarDeclaresLocalsWithCommaInsideIdentifiers)
{
    static std::vector<std::string> sets;
    sets.clear();
    script_register_command("set", [](CommandCall& call) {
        sets.emplace_back(call.line);
        return 1;
    });
    alias_add("pair return $1 $+ - $+ $2");
    EXPECT_EQ(run("var %a = 1, %b = $pair(1,2), %c"), 1);
    EXPECT_EQ(sets, (std::vector<std::string>{"set -l %a 1", "set -l %b 1-2", "set -l %c"}));
}

} // namespace

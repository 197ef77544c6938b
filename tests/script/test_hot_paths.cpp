// The interpreter's busiest paths, run the way scripts run them: loops that
// test their condition again and again, lines of a block taken up on every
// pass, command and alias lookups, and variables read and written in a
// loop. Each case pins down what a loop must see on every pass (values that
// changed, identifiers evaluated afresh, definitions that were replaced).
#include "test_exec_fixture.h"

using namespace interp_test;

namespace {

class HotPaths : public InterpTest {
protected:
    void SetUp() override
    {
        InterpTest::SetUp();
        var_set(nullptr, "%hp*", nullptr, nullptr, 0, kVarFlagSet, 1, 0, nullptr, 0);
    }
    void TearDown() override
    {
        var_set(nullptr, "%hp*", nullptr, nullptr, 0, kVarFlagSet, 1, 0, nullptr, 0);
        InterpTest::TearDown();
    }

    struct Case {
        const char* name;
        std::vector<const char*> aliases;
        const char* line;
        std::vector<std::string> expected;  // what "say" printed
        int result;
    };

    void run_cases(const std::vector<Case>& cases)
    {
        for (const Case& c : cases) {
            SCOPED_TRACE(c.name);
            alias_clear_all();
            echoed.clear();
            errors.clear();
            var_set(nullptr, "%hp*", nullptr, nullptr, 0, kVarFlagSet, 1, 0, nullptr, 0);
            for (const char* def : c.aliases)
                ASSERT_NE(alias_add(def), nullptr);
            EXPECT_EQ(run(c.line), c.result);
            EXPECT_EQ(echoed, c.expected);
        }
    }
};

TEST_F(HotPaths, ConditionForms)
{
    run_cases({
        {"doubled parentheses", {}, "if ((1 == 1)) say a", {"a"}, 1},
        {"parentheses standing alone", {}, "if ( 1 == 1 ) say b", {"b"}, 1},
        {"no blanks: one value", {}, "if (1==2) say c", {"c"}, 1},
        {"zero is false", {}, "if (0) say d | else say e", {"e"}, 1},
        {"empty against empty", {}, "if (%hpnone == $null) say f", {"f"}, 1},
        {"values of several words", {}, "if (a  b == a b) say g", {"g"}, 1},
        {"identifier holding blanks in its arguments", {},
         "if ($calc(1 + 1) == 2) say h", {"h"}, 1},
        {"negated identifier", {}, "if (!$false) say i", {"i"}, 1},
        {"chain of two groups", {}, "if (1 == 1) && (2 < 3) say j", {"j"}, 1},
        {"skipped group with an identifier", {},
         "if (1 == 2) && ($calc(1 +  1) == 2) say k | else say l", {"l"}, 1},
        {"operands after an isin test", {}, "if (ABC isin xabcx) say $v1 $v2", {"abc xabcx"}, 1},
        {"operands stay from the last test with an operator", {},
         "if (2 > 1) noop | if (x) noop | say $v1 $v2", {"2 1"}, 1},
        {"numbers by value", {},
         "if (10 > 9) say m | if (10 > 9x) say n | if (007 == 7) say o | if (-5 < 3) say p", {"m", "o", "p"}, 1},
        {"signs, points and long numbers", {},
         "if (+5 == 5) say q | if (.5 > 0) say r | if (1.50 == 1.5) say s | "
         "if (99999999999999999999 == 100000000000000000000) say t | "
         "if (123456789012345 < 123456789012346) say u",
         {"q", "r", "s", "t", "u"}, 1},
        {"empty first value against a number", {}, "if (%hpnone >= 0) say v | else say w", {"w"}, 1},
        {"a lone sign is text, not zero", {},
         "if (- == 0) say a | if (+ == 0) say b | if (- == -) say c", {"c"}, 1},
        {"elseif after a true test is skipped", {},
         "if (1) say x | elseif (1) say y | else say z", {"x"}, 1},
        {"block condition then else on the next piece", {},
         "if (%hpnone) { say a } | elseif ($calc(2 * 2) == 4) { say b } | else { say c }", {"b"}, 1},
        {"operator missing its second value", {}, "if (1 ==) say a | say b", {}, 0},
    });
}

TEST_F(HotPaths, LoopsSeeEveryChange)
{
    run_cases({
        {"local counter", {}, "var %hpi = 0 | while (%hpi < 3) { inc %hpi | say %hpi }",
         {"1", "2", "3"}, 1},
        {"one-line body", {}, "var %hpi = 0 | while (%hpi < 3) inc %hpi | say end %hpi",
         {"end 3"}, 1},
        {"identifier evaluated on every test", {"hpnext { inc %hpn | return %hpn }"},
         "set %hpn 0 | while ($hpnext < 4) say %hpn", {"1", "2", "3"}, 1},
        {"variable named by the case it was set in", {},
         "var %HPi = 0 | while (%hpI < 2) { inc %hPi | say %HPI }", {"1", "2"}, 1},
        {"long variable names", {},
         "var %hpAVeryLongVariableName = 0 | while (%hpaverylongvariablename < 2) "
         "{ inc %HPAVERYLONGVARIABLENAME | say %hpAVeryLongVariableName }",
         {"1", "2"}, 1},
        {"global set inside, local outside", {},
         "set %hpg 0 | var %hpl = 0 | while (%hpl < 2) { inc %hpl | set %hpg %hpg $+ %hpl } | say %hpg",
         {"012"}, 1},
        {"counting down through zero", {},
         "var %hpi = 2 | while (%hpi >= -1) { say %hpi | dec %hpi }", {"2", "1", "0", "-1"}, 1},
        {"decimal steps", {}, "var %hpi = 0 | while (%hpi < 1) { inc %hpi 0.25 | say %hpi }",
         {"0.25", "0.5", "0.75", "1"}, 1},
        {"break and continue in a loop of lines",
         {"hploop {\n"
          "  var %hpi = 0\n"
          "  while (%hpi < 6) {\n"
          "    inc %hpi\n"
          "    if (%hpi == 2) { continue }\n"
          "    elseif (%hpi == 5) { break }\n"
          "    else { say %hpi }\n"
          "  }\n"
          "  say out %hpi\n"
          "}"},
         "hploop", {"1", "3", "4", "out 5"}, 1},
        {"if, elseif and else on lines of their own",
         {"hpifs {\n"
          "  var %hpi = 0\n"
          "  while (%hpi < 4) {\n"
          "    if (%hpi == 0) { say zero }\n"
          "    elseif (%hpi isnum 1-2) { say small %hpi }\n"
          "    else { say big }\n"
          "    inc %hpi\n"
          "  }\n"
          "}"},
         "hpifs", {"zero", "small 1", "small 2", "big"}, 1},
        {"nested loops over lines",
         {"hpnest {\n"
          "  var %hpi = 0\n"
          "  while (%hpi < 2) {\n"
          "    inc %hpi\n"
          "    var %hpj = 0\n"
          "    while (%hpj < 2) {\n"
          "      inc %hpj\n"
          "      say %hpi %hpj\n"
          "    }\n"
          "  }\n"
          "}"},
         "hpnest", {"1 1", "1 2", "2 1", "2 2"}, 1},
        {"comment lines inside a loop",
         {"hpcom {\n"
          "  var %hpi = 0\n"
          "  while (%hpi < 2) {\n"
          "    ; not a command\n"
          "    /*\n"
          "    say hidden\n"
          "    */\n"
          "    inc %hpi\n"
          "    say %hpi\n"
          "  }\n"
          "}"},
         "hpcom", {"1", "2"}, 1},
        {"$& joins the next line on every pass",
         {"hpjoin {\n"
          "  var %hpi = 0\n"
          "  while (%hpi < 2) {\n"
          "    inc %hpi\n"
          "    say %hpi $&\n"
          "      tail\n"
          "  }\n"
          "}"},
         "hpjoin", {"1 tail", "2 tail"}, 1},
        {"a forward goto finds its label whatever the case",
         {"hpfwd {\n"
          "  goto End\n"
          "  say skipped\n"
          "  :end\n"
          "  say reached\n"
          "}"},
         "hpfwd", {"reached"}, 1},
        {"a backward goto finds its label whatever the case",
         {"hpback {\n"
          "  var %hpi = 0\n"
          "  :Again\n"
          "  inc %hpi\n"
          "  if (%hpi < 3) goto AGAIN\n"
          "  say %hpi\n"
          "}"},
         "hpback", {"3"}, 1},
        {"break in a one-line while leaves only that loop",
         {"hpone {\n"
          "  var %hpi = 0\n"
          "  while (%hpi < 2) {\n"
          "    inc %hpi\n"
          "    while (1) break\n"
          "    say %hpi\n"
          "  }\n"
          "  say out\n"
          "}"},
         "hpone", {"1", "2", "out"}, 1},
        {"$& joining a line that starts with a closing brace keeps the command after it",
         {"hpclose {\n"
          "  if (1) { say in $&\n"
          "  } say after\n"
          "  say last\n"
          "}"},
         "hpclose", {"in", "after", "last"}, 1},
        {"set keeps blank runs, other commands do not", {},
         "set %hpv a   b | say %hpv | say [ a   b ]", {"a   b", "a b"}, 1},
    });
}

TEST_F(HotPaths, ReplacedDefinitionsAreSeenAtOnce)
{
    // The same line list runs again after its alias was replaced by one of
    // the same name: the new body runs.
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        alias_remove("hpbody");
        std::string def = "hpbody {\n  say round " + std::to_string(round) +
                          "\n  if (" + std::to_string(round) + " > 0) say more\n}";
        ASSERT_NE(alias_add(def), nullptr);
        echoed.clear();
        EXPECT_EQ(run("hpbody"), 1);
        std::vector<std::string> expected{"round " + std::to_string(round)};
        if (round > 0)
            expected.push_back("more");
        EXPECT_EQ(echoed, expected);
    }
    // Two one-line aliases called in turn from a loop: each runs its own body.
    alias_add("hpa say a $1");
    alias_add("hpb { say b $1 | say bb }");
    echoed.clear();
    EXPECT_EQ(run("var %hpi = 0 | while (%hpi < 2) { inc %hpi | hpa %hpi | hpb %hpi }"), 1);
    EXPECT_EQ(echoed, (std::vector<std::string>{"a 1", "b 1", "bb", "a 2", "b 2", "bb"}));
}

TEST_F(HotPaths, CommandWordsFollowTheirRegistrationAndAliases)
{
    // An unknown word goes to the server until a handler is registered.
    conn->connected = 1;
    wire.clear();
    EXPECT_EQ(run("hpword one"), 1);
    ASSERT_EQ(sent().size(), 1u);
    EXPECT_EQ(sent()[0], "HPWORD one\n");
    static std::vector<std::string> heard;
    heard.clear();
    script_register_command("hpword", [](CommandCall& call) {
        heard.emplace_back(call.tokens[0] + ":" + std::string(call.rest()));
        return 1;
    });
    EXPECT_EQ(run("hpword two | HPWORD three | HpWord four"), 1);
    EXPECT_EQ(heard, (std::vector<std::string>{"hpword:two", "hpword:three", "hpword:four"}));
    EXPECT_EQ(sent().size(), 1u);

    // Registering again replaces the handler.
    script_register_command("hpword", [](CommandCall& call) {
        heard.emplace_back("new:" + std::string(call.rest()));
        return 1;
    });
    heard.clear();
    EXPECT_EQ(run("hpword five"), 1);
    EXPECT_EQ(heard, (std::vector<std::string>{"new:five"}));

    // An alias added later takes the word over; removed, the handler is back.
    echoed.clear();
    heard.clear();
    ASSERT_NE(alias_add("HPWORD say alias $1"), nullptr);
    EXPECT_EQ(run("hpword six | !hpword seven"), 1);
    EXPECT_EQ(echoed, (std::vector<std::string>{"alias six"}));
    EXPECT_EQ(heard, (std::vector<std::string>{"new:seven"}));
    alias_remove("hpword");
    heard.clear();
    EXPECT_EQ(run("hpword eight"), 1);
    EXPECT_EQ(heard, (std::vector<std::string>{"new:eight"}));
    script_register_command("hpword", nullptr);
}

TEST_F(HotPaths, VariablesReadInLoops)
{
    run_cases({
        {"local shadows global", {},
         "set %hpx global | var %hpx = local | say %hpx | unset %hpx | say %hpx",
         {"local", "global"}, 1},
        {"two quotes read as empty", {}, "set %hpq \"\" | say < $+ %hpq $+ >", {"<>"}, 1},
        {"value of blanks and text", {}, "set %hpv  lead | say < $+ %hpv $+ >", {"< lead>"}, 1},
        {"names of one letter and names sharing a first letter", {},
         "set %h 1 | set %hp 2 | set %hpz 3 | say %h %hp %hpz", {"1 2 3"}, 1},
        {"a lone % is text", {}, "say 5 % 3", {"5 % 3"}, 1},
        {"variable in a parameter position of set", {},
         "set %hpname %hpother | set %hpother x | say %hpname", {""}, 1},
    });
    var_set(nullptr, "%h", nullptr, nullptr, 0, kVarFlagSet, 0, 0, nullptr, 0);
}

TEST_F(HotPaths, RunsKeepTheirOwnParametersLocalsAndPrefixes)
{
    run_cases({
        {"parameters of nested alias calls",
         {"hpouter { hpinner $2 | say outer $1 $2 $0 }", "hpinner { say inner $1 $0 }"},
         "hpouter a b c | hpouter | hpinner", {"inner b 1", "outer a b 3", "inner 0", "outer 0", "inner 0"}, 1},
        {"locals end with their run",
         {"hpv1 { var %hploc = x | say %hploc }", "hpv2 { say < $+ %hploc $+ > }"},
         "hpv1 | hpv2 | hpv1 | hpv2", {"x", "<>", "x", "<>"}, 1},
        {"the same line inside and outside a comment block",
         {"hpc2 {\n  say a\n  /*\n  say a\n  */\n  say a\n}"}, "hpc2 | hpc2", {"a", "a", "a", "a"}, 1},
        {"prefixes of a command that runs again",
         {"say say alias $1"},
         "var %hpi = 0 | while (%hpi < 2) { inc %hpi | !say %hpi | say %hpi }",
         {"1", "alias 1", "2", "alias 2"}, 1},
        {"tokenize then parameters in a loop", {},
         "tokenize 44 a,b,c | var %hpi = 1 | while (%hpi <= $0) { say [ $ $+ [ %hpi ] ] | inc %hpi }",
         {"a", "b", "c"}, 1},
        {"an alias identifier with many arguments, one holding blanks",
         {"hpsix return $0 $1 $6 $3-"},
         "say $hpsix(a,b,c d,e,f,g) $hpsix(x) $hpsix()", {"6 a g c d e f g 1 x 1"}, 1},
        {"$calc prints whole and other numbers", {},
         "say $calc(0 * -1) $calc(999999999999999 + 1) $calc(-999999999999999) $calc(2 ^ 60) "
         "$calc(10 / 4) $calc(-1 / 3) $calc(0.1 + 0.2)",
         {"0 1000000000000000 -999999999999999 1152921504606846976 2.5 -0.333333 0.3"}, 1},
        {"a name longer than the short copy",
         {},
         "set %hpAVeryLongVariableNameThatIsLongerThan32Chars 7 | "
         "if (%hpaverylongvariablenamethatislongerthan32chars == 7) say %HPAVERYLONGVARIABLENAMETHATISLONGERTHAN32CHARS",
         {"7"}, 1},
    });
    var_set(nullptr, "%hpAVeryLongVariableNameThatIsLongerThan32Chars", nullptr, nullptr, 0,
            kVarFlagSet, 0, 0, nullptr, 0);
}

TEST_F(HotPaths, IdentifierArgumentsAreCutAtTopLevelCommas)
{
    const struct {
        const char* text;
        const char* expected;
    } cases[] = {
        {"$gettok(a (b,c) d,2,32)", "(b,c)"},
        {"$gettok(  x y  ,  1 , 32 )", "x"},
        {"$calc(2 * (3 + 4))tail", "14"},
        {"$calc( (1 + 2) * 3 ).x", "9"},
        {"$gettok(a b c,-1,32) $gettok(a b c,2-,32) $gettok(a.b.c,0,46)", "c b c 3"},
        {"$calc(1 + $gettok(5 6,2,32))", "7"},
        {"[ $calc(1 ] + 2 )", "3"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(eval(c.text), c.expected);
    }
}

TEST_F(HotPaths, JoinAtTheHeadAfterARemovedBrace)
{
    // A "$+" left at the head once a brace token before it was dropped is
    // dropped too; the walk goes on with the tokens that remain.
    const struct {
        const char* text;
        const char* expected;
    } cases[] = {
        {"} $+ a", "a"},
        {"{ $+ b", "b"},
        {"$+ { x }", "x"},
        {"a } $+ b", "ab"},
        {"$+$me } tail", "tail"},
        {"} $+ [ $ $+ me ] } $+ !", "kestuser!"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(eval(c.text), c.expected);
    }
}

TEST_F(HotPaths, ErrorsInsideLoopsStopThemWithTheirMessage)
{
    const struct {
        const char* line;
        const char* message;
    } cases[] = {
        {"var %hpi = 0 | while (%hpi <) { inc %hpi }", "* /while: Geçersiz format"},
        {"var %hpi = 0 | while (%hpi < 3) && { inc %hpi }", "* /While: Belirsiz format"},
        {"var %hpi = 0 | while (%hpi < 3) { if (%hpi <) say x | inc %hpi }",
         "* /if: Geçersiz format"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        errors.clear();
        echoed.clear();
        EXPECT_EQ(run(c.line), 0);
        ASSERT_EQ(errors.size(), 1u);
        EXPECT_EQ(errors[0].rfind(c.message, 0), 0u) << errors[0];
    }
}

} // namespace

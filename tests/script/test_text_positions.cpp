// $pos and $poscs counting and finding occurrences: the search resumes after
// the end of each match, so occurrences never overlap, and the N-th is
// counted the same way.
#include "test_exec_fixture.h"

#include <string>

#include "script/exec/script_errors.h"

using namespace interp_test;

namespace {

class TextPositions : public InterpTest {};

TEST_F(TextPositions, OccurrencesDoNotOverlap)
{
    const struct {
        const char* text;
        const char* expected;
    } cases[] = {
        // Counting: a match that starts inside the one before is not one.
        {"$pos(aaaa,aa,0)", "2"},
        {"$pos(aaa,aa,0)", "1"},
        {"$pos(aaaaa,aa,0)", "2"},
        {"$pos(aaaaa,aaa,0)", "1"},
        {"$pos(abab,aba,0)", "1"},
        {"$pos(ababab,aba,0)", "1"},
        {"$pos(abababa,aba,0)", "2"},
        {"$pos(xaaax,a,0)", "3"},
        {"$pos(a,a,0)", "1"},
        {"$pos(a,aa,0)", "0"},
        {"$pos(b,a,0)", "0"},
        {"$pos(aaaa,aa,-3)", "2"},
        {"$pos(AAAA,aa,0)", "2"},
        {"$poscs(AAaa,aa,0)", "1"},
        // The N-th: positions after the end of the one before.
        {"$pos(aaaa,aa,1)", "1"},
        {"$pos(aaaa,aa,2)", "3"},
        {"$pos(aaaa,aa,3)", ""},
        {"$pos(aaa,aa,2)", ""},
        {"$pos(aaaaaa,aa,3)", "5"},
        {"$pos(abababa,aba,2)", "5"},
        {"$pos(abababa,aba,3)", ""},
        {"$poscs(aAaaaA,aa,1)", "3"},
        // Without N: the first, overlaps or not.
        {"$pos(baaa,aa)", "2"},
        {"$pos(aaaa,aaaaa)", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        script_error_clear();
        EXPECT_EQ(eval(c.text), c.expected);
        EXPECT_EQ(script_error_state.text, "");
    }
}

} // namespace

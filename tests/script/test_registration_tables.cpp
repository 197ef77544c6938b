// The vocabularies of built-in commands and identifiers held against
// themselves: no word twice, argument counts that make sense and agree
// within a family, and the counts checked before a handler runs give the
// errors of the argument steps.
#include "test_exec_fixture.h"

#include <map>
#include <set>
#include <string>
#include <utility>

#include "commands/window_commands.h"
#include "script/eval/identifier_table.h"
#include "script/exec/executor.h"
#include "script/exec/script_types.h"

using namespace interp_test;

namespace {

TEST(RegistrationTables, NoCommandWordTwice)
{
    std::set<std::string> seen;
    ASSERT_GT(command_table_size(), 0);
    for (int i = 0; i < command_table_size(); ++i) {
        const std::string word = command_table_word(i);
        EXPECT_FALSE(word.empty()) << "row " << i;
        for (char c : word)
            EXPECT_FALSE(c >= 'A' && c <= 'Z') << word << ": words are looked up in lower case";
        EXPECT_TRUE(seen.insert(word).second) << word << " twice";
    }
    EXPECT_EQ(command_table_word(command_table_size()), nullptr);
}

TEST(RegistrationTables, IdentifierNamesAndArgumentCounts)
{
    std::set<std::string> names;
    std::map<std::string, std::pair<int, int>> counts;  // by family
    int counted = 0;
    for (int i = 0; i < ident_table_size(); ++i) {
        const IdentEntry* e = ident_table_entry(i);
        ASSERT_NE(e, nullptr);
        const std::string name = e->name;
        SCOPED_TRACE(name);
        EXPECT_TRUE(names.insert(name).second) << "twice";
        EXPECT_FALSE(std::string(e->family).empty());
        // Both counts or neither; the least never above the most.
        EXPECT_EQ(e->min_args > 0, e->max_args > 0);
        EXPECT_LE(e->min_args, e->max_args);
        // Counts are for names that take arguments.
        if (e->min_args > 0) {
            ++counted;
            EXPECT_EQ(name.back(), '(');
        }
        // One handler answers a family: its names share the counts.
        auto [it, fresh] = counts.emplace(e->family, std::make_pair(e->min_args, e->max_args));
        if (!fresh) {
            EXPECT_EQ(it->second, std::make_pair(e->min_args, e->max_args)) << "family " << e->family;
        }
    }
    EXPECT_GT(counted, 0);
    EXPECT_EQ(ident_table_entry(ident_table_size()), nullptr);
}

class CountedIdentifiers : public InterpTest {};

// The counts in the table stand where each handler once checked for
// itself: too few and too many for an exact count, "invalid" for a range,
// and a handler that never ran for a count that failed.
TEST_F(CountedIdentifiers, CountsAreCheckedBeforeTheHandler)
{
    struct Case {
        const char* text;
        const char* result;   // the value, or "<failed>"
        const char* message;  // the error left, or null
    };
    const Case cases[] = {
        {"$len(abc)", "3", nullptr},
        {"$len(a,b)", "<failed>", "* Çok fazla parametre: $len"},
        {"$left(a)", "<failed>", "* Çok az parametre: $left"},
        {"$left(abc,2)", "ab", nullptr},
        {"$mid(abc)", "<failed>", "* Geçersiz parametre: $mid"},       // range 2..3, one short
        {"$mid(abcdef,2)", "bcdef", nullptr},                            // the least
        {"$mid(abcdef,2,3)", "bcd", nullptr},                            // the most
        {"$mid(abcdef,2,3,4)", "<failed>", "* Geçersiz parametre: $mid"},  // one over
        {"$upper($lower(AB))", "AB", nullptr},                           // nested: arguments evaluated first
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        errors.clear();
        script_error_clear();
        EXPECT_EQ(eval(c.text), c.result);
        if (c.message) {
            ASSERT_FALSE(errors.empty());
            EXPECT_EQ(errors.back(), c.message);
        } else {
            EXPECT_TRUE(errors.empty());
        }
    }
}

class CountedCommands : public InterpTest {
protected:
    void SetUp() override
    {
        InterpTest::SetUp();
        script_register_command_family("cmd_window", cmd_window);
        script_register_command_family("cmd_renwin", cmd_renwin);
        script_register_command_family("cmd_aline", cmd_aline);
    }
};

// A word with too few arguments gives the "insufficient parameters" error
// of the word as typed, and its handler does not run; one argument more and
// the handler answers for itself.
TEST_F(CountedCommands, TooFewArgumentsStopBeforeTheHandler)
{
    struct Case {
        const char* line;
        const char* message;
    };
    const Case cases[] = {
        {"window", "* /window: Yetersiz veya eksik parametre"},
        {"renwin", "* /renwin: Yetersiz veya eksik parametre"},
        {"renwin @gone", "* /renwin: Yetersiz veya eksik parametre"},   // one short
        {"aline 4", "* /aline: Yetersiz veya eksik parametre"},
        {"CLINE 4", "* /cline: Yetersiz veya eksik parametre"},        // the family's other words, as typed
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        errors.clear();
        script_error_clear();
        EXPECT_EQ(run(c.line), 0);
        ASSERT_FALSE(errors.empty());
        EXPECT_EQ(errors.back(), c.message);
    }
    // Enough arguments: the handler's own answer (no such window).
    errors.clear();
    script_error_clear();
    EXPECT_EQ(run("renwin @gone @new"), 0);
    ASSERT_FALSE(errors.empty());
    EXPECT_NE(errors.back(), "* /renwin: Yetersiz veya eksik parametre");
}

}  // namespace

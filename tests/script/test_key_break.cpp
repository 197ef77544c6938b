// Ctrl+Break and termination signals against runaway scripts: a loop or a
// backward /goto that never ends is stopped at its next re-test once the
// break is seen, with the break message; without a break, loops run on.
#include <gtest/gtest.h>

#include <csignal>
#include <string>
#include <vector>

#include "platform/platform_utils.h"
#include "script/stores/variables.h"
#include "test_exec_fixture.h"

using namespace interp_test;

namespace {

int g_note_at = 0;   // %w at which the test command notes a signal

// "step": adds one to %w and notes a termination signal once %w reaches
// g_note_at.
int cmd_step(CommandCall& call)
{
    std::string value;
    var_find("w", &value, call.locals ? *call.locals : nullptr);
    int w = std::atoi(value.c_str()) + 1;
    std::string next = std::to_string(w);
    var_set(nullptr, "w", &next, nullptr, 0, 1, 0, 0, nullptr, 0);
    if (w >= g_note_at)
        key_break_note_signal();
    return 1;
}

class KeyBreakTest : public InterpTest {
protected:
    void SetUp() override
    {
        InterpTest::SetUp();
        key_break_signal_clear();
        script_register_command("step", cmd_step);
        run("clearv w");
    }
    void TearDown() override
    {
        key_break_signal_clear();
        InterpTest::TearDown();
    }
    // Read from the store: the evaluator itself stops while a break is seen.
    int w()
    {
        std::string value;
        var_find("w", &value, nullptr);
        return std::atoi(value.c_str());
    }
    // The run ended with a break message: the loop's re-test or /goto gives
    // "Durduruldu"; the evaluator, which looks every 26 visits, may see the
    // break first in a condition and give "Kapatıldı".
    bool broke()
    {
        auto n = std::count(errors.begin(), errors.end(), "* Kesildi: Komut Durduruldu") +
                 std::count(errors.begin(), errors.end(), "* Kesildi: Komut Kapatıldı");
        return n >= 1;
    }
};

TEST_F(KeyBreakTest, RunawayLoopsEndAtTheNextReTestAfterASignal)
{
    struct Case {
        const char* name;
        const char* script;
    } cases[] = {
        {"braced while", "while (1) { step }"},
        {"one-line while", "while (1) step | say never"},
        {"goto loop", ":top | step | goto top"},
        {"nested while", "while (1) { while (1) { step } }"},
        {"while inside goto", ":top | while (%w < 1000000) { step } | goto top"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        key_break_signal_clear();
        run("clearv w");
        errors.clear();
        g_note_at = 300;
        EXPECT_EQ(run(c.script), 0);
        EXPECT_TRUE(broke()) << ::testing::PrintToString(errors);
        // It ran up to the signal, and not past the next re-test.
        EXPECT_GE(w(), 300) << ::testing::PrintToString(errors) << ::testing::PrintToString(echoed);
        EXPECT_LE(w(), 301);
        EXPECT_EQ(std::count(echoed.begin(), echoed.end(), "never"), 0);
        // Once the event loop has taken the signal, scripts run again; a
        // second signal breaks the next runaway loop the same way.
        key_break_signal_clear();
        errors.clear();
        run("clearv w");
        g_note_at = 1 << 30;
        EXPECT_EQ(run("while (%w < 50) { step }"), 1);
        EXPECT_EQ(w(), 50);
        EXPECT_FALSE(broke());
        g_note_at = 60;
        EXPECT_EQ(run(c.script), 0);
        EXPECT_TRUE(broke());
        EXPECT_GE(w(), 60);
        EXPECT_LE(w(), 61);
    }
}

TEST_F(KeyBreakTest, WithoutABreakLoopsRunToTheirEnd)
{
    g_note_at = 1 << 30;
    EXPECT_EQ(key_break_pressed(), 0);   // offscreen: no keyboard to ask
    ASSERT_EQ(run("while (%w < 2000) { step }"), 1);
    EXPECT_EQ(w(), 2000);
    ASSERT_EQ(run("clearv w | :again | step | if (%w < 500) goto again"), 1);
    EXPECT_EQ(w(), 500);
    EXPECT_FALSE(broke());
}

}  // namespace

namespace {

std::vector<int> g_beeps;

// A break stops the run with the error sound; a run that ends by itself is
// silent.
TEST_F(KeyBreakTest, ABreakSoundsTheErrorBeep)
{
    SavedValues saved{beep_play_hook};
    g_beeps.clear();
    beep_play_hook = [](int kind) { g_beeps.push_back(kind); };
    g_note_at = 1 << 30;
    ASSERT_EQ(run("while (%w < 20) { step }"), 1);
    EXPECT_TRUE(g_beeps.empty());
    for (const char* script : {"while (1) { step }", ":top | step | goto top"}) {
        SCOPED_TRACE(script);
        key_break_signal_clear();
        run("clearv w");
        errors.clear();
        g_beeps.clear();
        g_note_at = 10;
        EXPECT_EQ(run(script), 0);
        EXPECT_TRUE(broke());
        EXPECT_FALSE(g_beeps.empty());
    }
}

}  // namespace

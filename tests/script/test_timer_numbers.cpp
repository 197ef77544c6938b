// The numbers of unnamed timers: whichever way a timer goes (its count runs
// out on the tick, it is stopped by name, by a wildcard or all at once, its
// connection goes, its link drops), its number is free again and the next
// unnamed timer takes the lowest free number.
#include <gtest/gtest.h>
#include "app/subsystems.h"

#include <cstdint>
#include <functional>
#include <string>

#include "model/connection.h"
#include "app/frame_proc.h"
#include "commands/timer_commands.h"
#include "script/stores/timers.h"
#include "test_exec_fixture.h"
#include "identifiers/timer_identifiers.h"

using namespace interp_test;

namespace {

std::uint64_t numbers_now = 1000000;
std::uint64_t numbers_clock() { return numbers_now; }

class TimerNumbers : public InterpTest {
protected:
    std::uint64_t (*saved_clock)() = nullptr;

    void SetUp() override
    {
        InterpTest::SetUp();
        saved_clock = timer_clock_ms;
        timers_install();
        timer_commands_register();
        timer_identifiers_register();
        timer_clear_all();
        timer_clock_ms = numbers_clock;
        numbers_now = 1000000;
        conn->connected = 1;
    }

    void TearDown() override
    {
        timer_clear_all();
        timer_clock_ms = saved_clock;
        conn->connected = 0;
        conn->socket = -1;
        InterpTest::TearDown();
        frame_proc_reset();
    }

    void tick(std::uint64_t ms)
    {
        numbers_now += ms;
        timer_tick_seconds();
    }

    // Starts an unnamed timer and returns the name it was given.
    std::string bare_timer()
    {
        EXPECT_EQ(run(".timer 0 10 say x"), 1);
        return eval("$ltimer");
    }
};

// Timers 1, 2 and 3 run; one way of ending takes some of them; the next
// unnamed timers take the freed numbers lowest first, then 4.
TEST_F(TimerNumbers, AFreedNumberIsTakenByTheNextUnnamedTimer)
{
    struct Case {
        const char* how;
        std::function<void(Connection*)> end;
        std::vector<std::string> next;   // names of the next unnamed timers
    };
    const Case cases[] = {
        {"its count ran out on the tick",
         [this](Connection*) {
             ASSERT_EQ(run(".timer2 1 1 say once"), 1);   // replaces 2 with a one-shot
             tick(1000);
         },
         {"2", "4"}},
        {"stopped by name",
         [this](Connection*) { ASSERT_EQ(run(".timer3 off"), 1); },
         {"3", "4"}},
        {"stopped by a wildcard",
         [this](Connection*) { ASSERT_EQ(run(".timer1* off"), 1); },
         {"1", "4"}},
        {"two stopped out of order",
         [this](Connection*) {
             ASSERT_EQ(run(".timer3 off"), 1);
             ASSERT_EQ(run(".timer1 off"), 1);
         },
         {"1", "3", "4"}},
        {"all stopped",
         [this](Connection*) { ASSERT_EQ(run(".timers off"), 1); },
         {"1", "2", "3", "4"}},
        {"its connection went",
         [this](Connection* other) {
             ASSERT_EQ(run(".timer2 off"), 1);
             ASSERT_EQ(script_exec_line(nullptr, ".timer -o 0 10 say there", nullptr, 1, nullptr,
                                        nullptr, other),
                       1);
             ASSERT_EQ(eval("$ltimer"), "2");
             conn_free(other);
         },
         {"2", "4"}},
        {"its link dropped",
         [this](Connection*) {
             ASSERT_EQ(run(".timer1 off"), 1);
             ASSERT_EQ(run(".timer 0 1 say online"), 1);   // takes 1 again
             ASSERT_EQ(run(".timer2 -o 0 1 say offline"), 1);
             ASSERT_EQ(run(".timer3 -o 0 1 say offline"), 1);
             conn->connected = 0;
             tick(1000);
             conn->connected = 1;
         },
         {"1", "4"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.how);
        timer_clear_all();
        for (const char* want : {"1", "2", "3"})
            ASSERT_EQ(bare_timer(), want);
        Connection* other = conn_new(nullptr);
        ASSERT_NE(other, nullptr);
        const bool other_freed = std::string(c.how) == "its connection went";
        c.end(other);
        if (!other_freed)
            conn_free(other);
        const int left = timer_count();
        for (const std::string& want : c.next)
            EXPECT_EQ(bare_timer(), want);
        EXPECT_EQ(timer_count(), left + static_cast<int>(c.next.size()));
    }
}

// Freeing and taking one number over and over always gives that number, and
// never one above the highest in use.
TEST_F(TimerNumbers, OneNumberFreedAndTakenAgainRepeatedly)
{
    for (const char* want : {"1", "2", "3"})
        ASSERT_EQ(bare_timer(), want);
    for (int round = 0; round < 5; ++round) {
        SCOPED_TRACE(round);
        ASSERT_EQ(run(".timer2 off"), 1);
        EXPECT_EQ(timer_count(), 2);
        EXPECT_EQ(bare_timer(), "2");
    }
    EXPECT_EQ(timer_count(), 3);
    EXPECT_EQ(bare_timer(), "4");
}

} // namespace

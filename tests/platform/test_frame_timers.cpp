#include "platform/frame_timers.h"
#include "platform_test_env.h"

#include <gtest/gtest.h>
#include <map>

namespace {

std::map<int, int> g_fired;
int g_stop_on_first = -1;

void record(int id)
{
    ++g_fired[id];
    if (id == g_stop_on_first)
        frame_timer_stop(id);
}

class FrameTimers : public ::testing::Test
{
protected:
    void SetUp() override
    {
        platform_test_app();
        g_fired.clear();
        g_stop_on_first = -1;
        frame_timers_set_handler(record);
    }
    void TearDown() override
    {
        frame_timers_stop_all();
        frame_timers_set_handler(nullptr);
    }
};

TEST_F(FrameTimers, EachIdFiresWithItsIdUntilStopped)
{
    ASSERT_EQ(frame_timer_start(300, 5), 1);
    ASSERT_EQ(frame_timer_start(301, 5, true), 1);
    EXPECT_EQ(frame_timer_is_running(300), 1);
    ASSERT_TRUE(pump_until([] { return g_fired[300] >= 3 && g_fired[301] >= 3; }, 3000));

    EXPECT_EQ(frame_timer_stop(300), 1);
    EXPECT_EQ(frame_timer_stop(300), 0); // not running any more
    EXPECT_EQ(frame_timer_is_running(300), 0);
    int at_stop = g_fired[300];
    int other = g_fired[301];
    pump_for(60);
    EXPECT_EQ(g_fired[300], at_stop);
    EXPECT_GT(g_fired[301], other); // the other id goes on
    EXPECT_EQ(g_fired.count(302), 0u);
}

TEST_F(FrameTimers, StoppingInsideItsOwnExpiryMakesAOneShot)
{
    g_stop_on_first = 130;
    ASSERT_EQ(frame_timer_start(130, 5), 1);
    ASSERT_TRUE(pump_until([] { return g_fired[130] >= 1; }, 2000));
    pump_for(60);
    EXPECT_EQ(g_fired[130], 1);
    EXPECT_EQ(frame_timer_is_running(130), 0);
}

TEST_F(FrameTimers, StartingARunningIdRestartsItWithTheNewPeriod)
{
    ASSERT_EQ(frame_timer_start(210, 10000), 1);
    EXPECT_EQ(frame_timer_interval(210), 10000);
    ASSERT_EQ(frame_timer_start(210, 5), 1);
    EXPECT_EQ(frame_timer_interval(210), 5);
    ASSERT_TRUE(pump_until([] { return g_fired[210] >= 2; }, 2000));
}

TEST_F(FrameTimers, RefusesANegativePeriod)
{
    EXPECT_EQ(frame_timer_start(220, -1), 0);
    EXPECT_EQ(frame_timer_is_running(220), 0);
    EXPECT_EQ(frame_timer_interval(220), -1);
}

} // namespace

// Script timers and signals: the /timer and /signal commands, the runs driven
// by the one-second tick (with a fake clock), millisecond and
// high-resolution timers under a real event loop, and $timer.
#include <gtest/gtest.h>
#include "app/subsystems.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "model/connection.h"
#include "app/frame_proc.h"
#include "commands/timer_commands.h"
#include "script/eval/evaluate.h"
#include "script/events/event_fire.h"
#include "script/events/remote_files.h"
#include "script/events/users.h"
#include "script/stores/timers.h"
#include "test_exec_fixture.h"
#define KEST_TEST_WIDGETS
#include "support/test_support.h"
#include "support/cpu_time.h"
#include "identifiers/timer_identifiers.h"

using namespace interp_test;

namespace {

std::uint64_t fake_now = 1000000;
std::uint64_t fake_clock() { return fake_now; }

int fake_hour = 10, fake_minute = 30, fake_second = 20;
int fake_local_time(int* h, int* m, int* s)
{
    *h = fake_hour;
    *m = fake_minute;
    *s = fake_second;
    return 1;
}

// The signals that reached the SIGNAL handler of the loaded script, as
// "name parameters".
std::vector<std::string> signals_fired;
int cmd_record_signal(CommandCall& call)
{
    signals_fired.emplace_back(call.rest());
    return 1;
}

class TimerTest : public InterpTest {
protected:
    std::uint64_t (*saved_clock)() = nullptr;
    TempDir folder_{"kest_timers_"};

    void SetUp() override
    {
        InterpTest::SetUp();
        saved_clock = timer_clock_ms;
        timers_install();
        timer_commands_register();
        timer_identifiers_register();
        timer_clear_all();
        timer_clock_ms = fake_clock;
        timer_local_time = fake_local_time;
        // A loaded script hears the signals: "again" raises itself at once,
        // every other one is recorded.
        events_install();
        app_wire_script_events();
        script_register_command("sigrec", cmd_record_signal);
        event_startup_hold = 0;
        user_default_level = 1;
        remote_files_free_all();
        ASSERT_TRUE(folder_.made());
        std::ofstream(folder_.path + "signals.kst")
            << "on *:SIGNAL:again:{ inc %selfdepth | signal -n again }\n"
               "on *:SIGNAL:*:sigrec $signal $1-\n";
        ASSERT_NE(remote_file_load(folder_.path + "signals.kst", kRemoteScript, 0, nullptr), nullptr);
        signals_fired.clear();
        fake_now = 1000000;
        conn->connected = 1;
    }

    void TearDown() override
    {
        timer_clear_all();
        timer_clock_ms = saved_clock;
        remote_files_free_all();
        conn->connected = 0;
        conn->socket = -1;
        InterpTest::TearDown();
        frame_proc_reset();
    }

    // Advances the fake clock and runs the one-second tick's step.
    void tick(std::uint64_t ms)
    {
        fake_now += ms;
        timer_tick_seconds();
    }

    int count_of(const std::vector<std::string>& v, const std::string& text)
    {
        return static_cast<int>(std::count(v.begin(), v.end(), text));
    }
    bool printed(const std::string& text) { return count_of(errors, text) > 0; }
};

// ---------------------------------------------------------------------------
// Runs driven by the tick.

TEST_F(TimerTest, RepeatedTimerRunsItsCountThenPrintsStopText)
{
    ASSERT_EQ(run("timer 3 1 say tick"), 1);
    EXPECT_TRUE(printed("* Zaman 1 aktif edildi"));
    EXPECT_EQ(eval("$ltimer"), "1");
    for (int i = 0; i < 5; ++i)
        tick(1000);
    EXPECT_EQ(count_of(echoed, "tick"), 3);
    EXPECT_EQ(count_of(errors, "* Zaman 1 Durduruldu"), 1);
    EXPECT_EQ(timer_count(), 0);
}

TEST_F(TimerTest, DueAfterPeriodLessSlack)
{
    struct Case {
        int interval;
        std::uint64_t not_yet;   // elapsed ms that is still too early
        std::uint64_t due;       // elapsed ms at which it runs
    } cases[] = {
        {10, 9499, 9500},   // slack capped at 500 ms
        {2, 1799, 1800},    // slack a tenth of the interval
        {1, 899, 900},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.interval);
        timer_clear_all();
        echoed.clear();
        fake_now = 5000000;
        ASSERT_EQ(run("timer 0 " + std::to_string(c.interval) + " say due"), 1);
        fake_now += c.not_yet;
        timer_tick_seconds();
        EXPECT_EQ(echoed.size(), 0u);
        fake_now += c.due - c.not_yet;
        timer_tick_seconds();
        EXPECT_EQ(echoed.size(), 1u);
    }
}

TEST_F(TimerTest, CatchUpRunsMissedIntervalsInOneTick)
{
    struct Case {
        const char* command;
        int runs;
    } cases[] = {
        {"timer -c 0 1 say run", 3},   // 3.5 s late: three runs owed
        {"timer 0 1 say run", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.command);
        timer_clear_all();
        echoed.clear();
        ASSERT_EQ(run(c.command), 1);
        tick(3500);
        EXPECT_EQ(static_cast<int>(echoed.size()), c.runs);
    }
}

TEST_F(TimerTest, TimeOfDayWaitsForTheMinuteThenOneInterval)
{
    fake_hour = 9;
    fake_minute = 59;
    ASSERT_EQ(run("timer 10:00 1 5 say morning"), 1);
    tick(60000);
    EXPECT_TRUE(echoed.empty());
    fake_hour = 10;
    fake_minute = 0;
    tick(1000);   // the minute is reached: the first run comes one interval later
    EXPECT_TRUE(echoed.empty());
    tick(5000);
    EXPECT_EQ(count_of(echoed, "morning"), 1);
    fake_hour = 10;
    fake_minute = 30;
}

TEST_F(TimerTest, PausedTimerSkipsUntilResumed)
{
    ASSERT_EQ(run("timerp 0 1 say p"), 1);
    ASSERT_EQ(run("timerp -p"), 1);
    EXPECT_TRUE(printed("* Timer p Durduruldu"));
    tick(3000);
    EXPECT_TRUE(echoed.empty());
    ASSERT_EQ(run("timerp -r"), 1);
    EXPECT_TRUE(printed("* Timer p Devam edildi"));
    tick(1000);
    EXPECT_EQ(echoed.size(), 1u);
}

// ---------------------------------------------------------------------------
// Names, replacing and stopping.

TEST_F(TimerTest, BareTimerTakesLowestFreeNumber)
{
    struct Case {
        std::vector<std::string> existing;
        std::string expected;
    } cases[] = {
        {{"1", "2"}, "3"},
        {{"2"}, "1"},
        {{}, "1"},
        {{"1", "3"}, "2"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected);
        timer_clear_all();
        for (const std::string& n : c.existing)
            ASSERT_EQ(run("timer" + n + " 0 10 say x"), 1);
        ASSERT_EQ(run("timer 0 10 say y"), 1);
        EXPECT_EQ(eval("$ltimer"), c.expected);
        EXPECT_EQ(timer_count(), static_cast<int>(c.existing.size()) + 1);
    }
}

// The free number follows the timers as they come and go, and a name that
// only looks like a number ("01") or a number given by hand is respected.
TEST_F(TimerTest, FreeNumberFollowsTimersThatComeAndGo)
{
    struct Step {
        const char* command;
        const char* last;   // $ltimer after it, or null when it names no timer
    } steps[] = {
        {"timer 0 10 say a", "1"},   {"timer 0 10 say a", "2"},  {"timer 0 10 say a", "3"},
        {"timer2 off", nullptr},     {"timer 0 10 say a", "2"},  {"timer 0 10 say a", "4"},
        {"timer5 0 10 say hand", "5"}, {"timer 0 10 say a", "6"}, {"timer1 off", nullptr},
        {"timer3 off", nullptr},     {"timer01 0 10 say z", "01"}, {"timer 0 10 say a", "1"},
        {"timer 0 10 say a", "3"},   {"timer 0 10 say a", "7"},  {"timer7 off", nullptr},
        {"timer7 0 10 say again", "7"}, {"timer 0 10 say a", "8"},
    };
    for (const Step& st : steps) {
        SCOPED_TRACE(st.command);
        ASSERT_EQ(run(st.command), 1);
        if (st.last) {
            EXPECT_EQ(eval("$ltimer"), st.last);
        }
    }
    EXPECT_EQ(timer_count(), 9);
    // Cleared, the numbers start again from one.
    timer_clear_all();
    ASSERT_EQ(run("timer 0 10 say a"), 1);
    EXPECT_EQ(eval("$ltimer"), "1");
}

// Thousands of unnamed timers are named in about constant time each (a scan
// of every timer for each candidate number took minutes at 8,000), in
// processor time: the work, not the load of the machine.
TEST_F(TimerTest, ManyUnnamedTimersAreNamedQuickly)
{
    const auto start = thread_cpu_ms();
    for (int i = 1; i <= 8000; ++i)
        ASSERT_EQ(run(".timer 0 10 say x"), 1);
    EXPECT_LT(thread_cpu_ms() - start, 5000);
    EXPECT_EQ(eval("$ltimer"), "8000");
    EXPECT_EQ(timer_count(), 8000);
    ASSERT_EQ(run("timer4000 off"), 1);
    ASSERT_EQ(run(".timer 0 10 say x"), 1);
    EXPECT_EQ(eval("$ltimer"), "4000");
}

// At the bound a new timer is refused like one without a frame timer, while
// an existing name can still be replaced.
TEST_F(TimerTest, TimerCountIsBounded)
{
    for (int i = 0; i < kMaxTimers; ++i)
        ASSERT_EQ(run(".timer 0 100 say x"), 1);
    errors.clear();
    EXPECT_EQ(run(".timer 0 100 say over"), 0);
    EXPECT_TRUE(printed("* /timer: timer ayırmayı yapamıyor"));
    EXPECT_EQ(timer_count(), kMaxTimers);
    EXPECT_EQ(run(".timer5 0 100 say replaced"), 1);
    EXPECT_EQ(timer_count(), kMaxTimers);
    EXPECT_EQ(timer_find("5")->command, "say replaced");
    ASSERT_EQ(run(".timer9 off"), 1);
    EXPECT_EQ(run(".timer 0 100 say fits"), 1);
    EXPECT_EQ(eval("$ltimer"), "9");
}

TEST_F(TimerTest, NamedTimerIsReplacedAndStopped)
{
    ASSERT_EQ(run("timerFoo 0 5 say a"), 1);
    ASSERT_EQ(run("timerfoo 2 7 say b"), 1);
    EXPECT_EQ(timer_count(), 1);
    EXPECT_EQ(eval("$timer(FOO).com"), "say b");
    EXPECT_EQ(eval("$timer(foo).delay"), "7");
    EXPECT_EQ(eval("$timer(foo).reps"), "2");
    ASSERT_EQ(run("timerfoo off"), 1);
    EXPECT_EQ(timer_count(), 0);
    EXPECT_TRUE(printed("* Zaman foo Durduruldu"));
    errors.clear();
    EXPECT_EQ(run("timerfoo off"), 0);
    EXPECT_TRUE(printed("* /timer: Zaman foo aktif değil"));
}

TEST_F(TimerTest, OffInsideOwnCommandEndsAfterThisRun)
{
    ASSERT_NE(alias_add("selfoff say before | timerself off | say after"), nullptr);
    ASSERT_EQ(run("timerself 0 1 selfoff"), 1);
    tick(1000);
    EXPECT_EQ(count_of(echoed, "before"), 1);
    EXPECT_EQ(count_of(echoed, "after"), 1);
    EXPECT_EQ(count_of(errors, "* Zaman self Durduruldu"), 1);
    EXPECT_EQ(timer_count(), 0);
    tick(1000);
    EXPECT_EQ(count_of(echoed, "before"), 1);
}

TEST_F(TimerTest, TimerRestartingItselfKeepsOneLiveTimer)
{
    ASSERT_NE(alias_add("rearm say again | timerloop 1 1 rearm"), nullptr);
    ASSERT_EQ(run("timerloop 1 1 rearm"), 1);
    tick(1000);
    tick(1000);
    EXPECT_EQ(count_of(echoed, "again"), 2);
    EXPECT_EQ(timer_count(), 1);
    EXPECT_EQ(eval("$timer(0)"), "1");
}

TEST_F(TimerTest, WildcardOffAndExecute)
{
    for (const char* c : {"timera1 0 50 say a1", "timera2 0 50 say a2", "timerb 0 50 say b"})
        ASSERT_EQ(run(c), 1);
    ASSERT_EQ(run("timera* -e"), 1);
    EXPECT_TRUE(printed("* 2 Zaman(lar) uyumluluğu a* yürütüldü"));
    EXPECT_EQ(count_of(echoed, "a1") + count_of(echoed, "a2"), 2);
    EXPECT_EQ(count_of(echoed, "b"), 0);
    ASSERT_EQ(run("timera* off"), 1);
    EXPECT_TRUE(printed("* 2 Zaman(lar) uyumluluğu a* durdu"));
    EXPECT_EQ(timer_count(), 1);
    ASSERT_EQ(run("timers off"), 1);
    EXPECT_TRUE(printed("* Bütün Zaman Birimleri Durduruldu"));
    EXPECT_EQ(timer_count(), 0);
}

TEST_F(TimerTest, ListingShowsEachTimer)
{
    ASSERT_EQ(run("timers"), 1);
    EXPECT_TRUE(printed("* Aktif zamanlıyıcı yok"));
    ASSERT_EQ(run("timerx 10:05 3 4 say hi"), 1);
    errors.clear();
    ASSERT_EQ(run("timers"), 1);
    EXPECT_TRUE(printed("* Aktif zamanlıyıcılar:"));
    EXPECT_TRUE(printed("* Zaman x 10:05 3 Zaman(lar) 4s gecikme say hi"));
}

TEST_F(TimerTest, BadArgumentsLeaveNoTimer)
{
    struct Case {
        const char* command;
        const char* text;   // printed text, or null for a script error
    } cases[] = {
        {"timer 24:00 1 1 say x", "* /timer: Geçersiz zaman"},
        {"timer 10: 1 1 say x", "* /timer: Geçersiz zaman"},
        {"timer :30 1 1 say x", "* /timer: Geçersiz zaman"},
        {"timer 10:60 1 1 say x", "* /timer: Geçersiz zaman"},
        {"timerq 1 1", "* /timer: Zaman q aktif değil"},
        {"timer abc 1 say x", nullptr},
        {"timer 1 99999999999 say x", nullptr},
        {"timer 10:00 1 1", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.command);
        errors.clear();
        EXPECT_EQ(run(c.command), 0);
        EXPECT_EQ(timer_count(), 0);
        if (c.text)
            EXPECT_TRUE(printed(c.text));
        else
            EXPECT_FALSE(errors.empty());   // the script error was shown
    }
}

TEST_F(TimerTest, ZeroIntervalBecomesOneMillisecond)
{
    test_app();
    ASSERT_EQ(run("timerz 1 0 say z"), 1);
    Timer* t = timer_find("z");
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->millis, 1);
    EXPECT_EQ(t->interval, 1);
    EXPECT_NE(t->window_timer_id, 0);
}

// ---------------------------------------------------------------------------
// Connections.

TEST_F(TimerTest, TimerDiesWithItsConnection)
{
    Connection* other = conn_new(nullptr);
    ASSERT_NE(other, nullptr);
    ASSERT_EQ(script_exec_line(nullptr, "timer -o 0 1 say gone", nullptr, 1, nullptr, nullptr,
                               other),
              1);
    ASSERT_EQ(run("timerstay 0 1 say stay"), 1);
    EXPECT_EQ(timer_count(), 2);
    conn_free(other);
    EXPECT_EQ(timer_count(), 1);
    tick(1000);
    EXPECT_EQ(count_of(echoed, "gone"), 0);
    EXPECT_EQ(count_of(echoed, "stay"), 1);
}

TEST_F(TimerTest, OnlineTimerEndsWhenLinkDrops)
{
    struct Case {
        const char* command;
        int runs_after_drop;
    } cases[] = {
        {"timer 0 1 say t", 0},     // needs the link
        {"timer -o 0 1 say t", 1},  // offline keeps running
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.command);
        timer_clear_all();
        echoed.clear();
        conn->connected = 1;
        ASSERT_EQ(run(c.command), 1);
        conn->connected = 0;
        tick(1000);
        EXPECT_EQ(static_cast<int>(echoed.size()), c.runs_after_drop);
        EXPECT_EQ(timer_count(), c.runs_after_drop);
        conn->connected = 1;
    }
}

// ---------------------------------------------------------------------------
// Millisecond and high-resolution timers under a real event loop.

class TimerLoopTest : public TimerTest {
protected:
    void SetUp() override
    {
        test_app();
        TimerTest::SetUp();
        timer_clock_ms = saved_clock;   // real time
        frame_proc_install();
        timers_install();
        timer_commands_register();
        timer_identifiers_register();

    }

    // Runs the event loop until the predicate holds; the bound only stops a
    // stuck test.
    template <typename Pred>
    bool loop_until(Pred pred, int timeout_ms = 30000)
    {
        QElapsedTimer clock;
        clock.start();
        while (!pred() && clock.elapsed() < timeout_ms)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        return pred();
    }
};

TEST_F(TimerLoopTest, MillisecondTimersFireTheirCount)
{
    struct Case {
        const char* command;
        bool multimedia;
    } cases[] = {
        {"timerm -m 3 20 say ms", false},
        {"timerm -h 3 20 say ms", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.command);
        echoed.clear();
        errors.clear();
        ASSERT_EQ(run(c.command), 1);
        Timer* t = timer_find("m");
        ASSERT_NE(t, nullptr);
        EXPECT_EQ(t->mm_id != 0, c.multimedia);
        EXPECT_EQ(eval("$timer(m).mmt"), c.multimedia ? "$true" : "$false");
        ASSERT_TRUE(loop_until([] { return timer_count() == 0; }));
        EXPECT_EQ(count_of(echoed, "ms"), 3);
        EXPECT_TRUE(printed("* Zaman m Durduruldu"));
        EXPECT_EQ(timer_mm_current_period(), 0);
    }
}

// A timer whose command starts another such timer doubles them every
// millisecond: the count stops at the bound and the event loop keeps going.
TEST_F(TimerLoopTest, TimerStormLeavesTheEventLoopAnswering)
{
    alias_add("tb { .timer 0 0 tb }");
    ASSERT_EQ(run("tb"), 1);
    QElapsedTimer clock;
    clock.start();
    int answered = 0;
    for (int round = 0; round < 5; ++round) {
        bool fired = false;
        QTimer::singleShot(20, [&fired] { fired = true; });
        ASSERT_TRUE(loop_until([&fired] { return fired; })) << "round " << round;
        ++answered;
    }
    EXPECT_EQ(answered, 5);
    EXPECT_LE(timer_count(), kMaxTimers);
    EXPECT_GT(timer_count(), 100);
    EXPECT_LT(clock.elapsed(), 30000);
    ASSERT_EQ(run(".timers off"), 1);
    EXPECT_EQ(timer_count(), 0);
}

TEST_F(TimerLoopTest, SharedPeriodIsCommonDivisorOfIntervals)
{
    struct Case {
        int a, b, period;
    } cases[] = {{30, 45, 15}, {30, 31, 1}, {40, 40, 40}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.period);
        timer_clear_all();
        ASSERT_EQ(run("timera -h 0 " + std::to_string(c.a) + " say a"), 1);
        EXPECT_EQ(timer_mm_current_period(), c.a);
        ASSERT_EQ(run("timerb -h 0 " + std::to_string(c.b) + " say b"), 1);
        EXPECT_EQ(timer_mm_current_period(), c.period);
        ASSERT_EQ(run("timera off"), 1);
        EXPECT_EQ(timer_mm_current_period(), c.b);   // re-armed on the one left
        ASSERT_EQ(run("timerb off"), 1);
        EXPECT_EQ(timer_mm_current_period(), 0);
    }
}

// ---------------------------------------------------------------------------
// Signals.

TEST_F(TimerLoopTest, SignalNowAndQueued)
{
    ASSERT_EQ(run("signal -n ping a b"), 1);
    ASSERT_EQ(signals_fired.size(), 1u);
    EXPECT_EQ(signals_fired[0], "ping a b");
    EXPECT_TRUE(printed("* signal 'ping' (a b)"));

    signals_fired.clear();
    ASSERT_EQ(run("signal first 1"), 1);
    ASSERT_EQ(run("signal second"), 1);
    EXPECT_TRUE(printed("* signal 'second'"));
    EXPECT_TRUE(signals_fired.empty());   // nothing before the message is handled
    EXPECT_EQ(signal_pending_count(), 2);
    ASSERT_TRUE(loop_until([] { return signal_pending_count() == 0 && !signals_fired.empty(); }));
    ASSERT_EQ(signals_fired.size(), 2u);
    EXPECT_EQ(signals_fired[0], "first 1");
    EXPECT_EQ(signals_fired[1], "second");

    errors.clear();
    EXPECT_EQ(run("signal"), 0);
    EXPECT_FALSE(errors.empty());
}

TEST_F(TimerTest, SelfSignalNowIsBoundedByNesting)
{
    int nesting_before = script_nesting;
    run("signal -n again");
    const int self_signal_depth = std::atoi(eval("%selfdepth").c_str());
    EXPECT_GT(self_signal_depth, 1);
    EXPECT_LE(self_signal_depth, kScriptHardNesting);
    EXPECT_EQ(script_nesting, nesting_before);
    EXPECT_FALSE(errors.empty());
}

// ---------------------------------------------------------------------------
// $timer.

TEST_F(TimerTest, TimerIdentifier)
{
    ASSERT_EQ(run("timerone 0 5 say 1"), 1);
    ASSERT_EQ(run("timertwo -o 4 9 say 2"), 1);
    struct Case {
        const char* text;
        const char* value;
    } cases[] = {
        {"$timer(0)", "2"},         {"$timer(1)", "one"},         {"$timer(2)", "two"},
        {"$timer(5)", ""},          {"$timer(TWO)", "2"},         {"$timer(nope)", ""},
        {"$timer(one).reps", "0"},  {"$timer(two).reps", "4"},    {"$timer(two).type", "offline"},
        {"$timer(one).type", "online"}, {"$timer(one).pause", "$false"},
        {"$timer(one).secs", "5"},  {"$timer(one).time", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(eval(c.text), c.value);
    }
    fake_now += 2000;
    EXPECT_EQ(eval("$timer(one).secs"), "3");
}

TEST_F(TimerTest, TimeOfDaySecondsLeft)
{
    // At 10:30:20.
    struct Case {
        const char* at;
        const char* secs;
    } cases[] = {{"10:00", "84580"}, {"11:00", "1780"}, {"10:30", "-20"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.at);
        timer_clear_all();
        ASSERT_EQ(run(std::string("timert ") + c.at + " 1 1 say x"), 1);
        EXPECT_EQ(eval("$timer(t).time"), c.at);
        EXPECT_EQ(eval("$timer(t).secs"), c.secs);
    }
}

TEST_F(TimerTest, CurrentTimerNameWhileRunning)
{
    ASSERT_NE(alias_add("who say $ctimer"), nullptr);
    ASSERT_EQ(run("timerwho 1 1 who"), 1);
    EXPECT_EQ(eval("$ctimer"), "");
    tick(1000);
    EXPECT_EQ(count_of(echoed, "who"), 1);
}

} // namespace

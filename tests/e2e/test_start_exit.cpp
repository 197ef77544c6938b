// Whole-program tests of the start and the end of a run: the scripts' START
// and EXIT handlers run once each, and the frame opens where it was closed,
// start after start.
#include <gtest/gtest.h>

#include <chrono>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "e2e/harness.h"

using namespace e2e;

namespace {

// The "main" line of section "windows" in the settings file, "" when none.
std::string main_placement(const KestProgram& kest)
{
    const std::string ini = read_file(kest.settings() / "kest.ini");
    std::smatch m;
    static const std::regex line("(^|\n)main=([^\r\n]*)");
    return std::regex_search(ini, m, line) ? m[2].str() : std::string();
}

int count_lines(const std::string& log, const std::string& pattern)
{
    int n = 0;
    const std::regex re(pattern);
    for (const std::string& l : log_lines(log))
        if (std::regex_search(l, re))
            ++n;
    return n;
}

// A script that shows in the status window when the program starts and ends;
// the status window is logged.
void add_start_exit_script(KestProgram& kest)
{
    kest.log_status();
    kest.add_script("startexit.kst",
                    "on *:START:echo -s started as $me\n"
                    "on *:EXIT:echo -s leaving now\n");
}

// Waits at most ten seconds until START has run `runs` times in all.
bool wait_started(const KestProgram& kest, int runs)
{
    for (int i = 0; i < 100; ++i) {
        if (count_lines(kest.status_log(), "started as") >= runs)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
}

TEST(StartExitE2e, StartRunsOnceAtStartAndExitOnceAtTheEnd)
{
    // Started twice on the same settings: each run sees START and EXIT once.
    KestProgram kest;
    add_start_exit_script(kest);
    for (int run = 1; run <= 2; ++run) {
        SCOPED_TRACE(run);
        ASSERT_TRUE(run == 1 ? kest.start({"-noconnect", "-nkestse"})
                             : kest.start_again({"-noconnect", "-nkestse"}));
        ASSERT_TRUE(wait_started(kest, run)) << kest.status_log() << kest.output();
        EXPECT_EQ(count_lines(kest.status_log(), "leaving now"), run - 1);
        EXPECT_EQ(kest.stop(), 0);
        const std::string log = kest.status_log();
        EXPECT_EQ(count_lines(log, "started as kestse"), run) << log;
        EXPECT_EQ(count_lines(log, "leaving now"), run) << log;
    }
}

TEST(StartExitE2e, FrameOpensWhereItClosed)
{
    KestProgram kest;
    add_start_exit_script(kest);
    kest.set("windows", "main", "150,640,120,480,0,1,0");
    ASSERT_TRUE(kest.start({"-noconnect"}));
    ASSERT_TRUE(wait_started(kest, 1));
    ASSERT_EQ(kest.stop(), 0);
    const std::string first = main_placement(kest);
    ASSERT_FALSE(first.empty()) << kest.output();
    // The saved corner and size are the ones the frame was opened with.
    EXPECT_EQ(first, "150,640,120,480,0,1,0");
    // Started again twice, it comes back to the same place each time.
    for (int run = 2; run <= 3; ++run) {
        SCOPED_TRACE(run);
        ASSERT_TRUE(kest.start_again({"-noconnect"}));
        ASSERT_TRUE(wait_started(kest, run));
        ASSERT_EQ(kest.stop(), 0);
        EXPECT_EQ(main_placement(kest), first);
    }
}

}  // namespace

// A script caught in an endless loop: SIGTERM breaks the loop with the break
// message, and the program still closes in order (EXIT runs, exit code 0).
TEST(StartExitE2e, TerminationSignalBreaksARunawayLoopAndClosesInOrder)
{
    struct Case {
        const char* name;
        const char* loop;
    } cases[] = {
        {"while", "while (1) { inc %w }"},
        {"goto", ":top | inc %w | goto top"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        KestProgram kest;
        kest.log_status();
        kest.add_script("runaway.kst", std::string("on *:START:.timer 1 1 runaway\n") +
                                           "alias runaway { echo -s loop begins | write begins.txt loop begins | " + c.loop +
                                           " }\n" +
                                           "on *:EXIT:if (%w > 0) echo -s leaving after counting\n");
        ASSERT_TRUE(kest.start({"-noconnect", "-nkestse"}));
        // The log is written in batches by the event loop the runaway holds,
        // so the loop's start is seen in a file the script writes itself.
        bool looping = false;
        for (int i = 0; i < 100 && !looping; ++i) {
            looping = fs::exists(kest.settings() / "begins.txt");
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        ASSERT_TRUE(looping) << kest.status_log() << kest.output();
        EXPECT_EQ(kest.stop(), 0);
        const std::string log = kest.status_log();
        // The executor's break text, or the evaluator's when the break is
        // seen inside an evaluation first; either way once.
        EXPECT_EQ(count_lines(log, "Kesildi: Komut Durduruldu") + count_lines(log, "Kesildi: Komut Kapatıldı"), 1)
            << log;
        EXPECT_EQ(count_lines(log, "leaving after counting"), 1) << log;
        EXPECT_EQ(count_lines(log, "loop begins"), 1) << log;
    }
}

// A save killed mid-write left its temporary file in the settings folder:
// the next start clears it away and leaves every other file.
TEST(StartExitE2e, StartClearsTemporariesOfKilledSaves)
{
    KestProgram kest;
    add_start_exit_script(kest);
    const fs::path stale = kest.settings() / "kest1.tm_";
    const fs::path other = kest.settings() / "notes1.tm_";
    ASSERT_TRUE(write_file(stale, "[options]\nn0=half a line"));
    ASSERT_TRUE(write_file(other, "mine"));
    for (const fs::path& p : {stale, other})
        fs::last_write_time(p, fs::file_time_type::clock::now() - std::chrono::hours(1));
    ASSERT_TRUE(kest.start({"-noconnect", "-nkestse"}));
    ASSERT_TRUE(wait_started(kest, 1)) << kest.status_log() << kest.output();
    EXPECT_FALSE(fs::exists(stale));
    EXPECT_EQ(read_file(other), "mine");
    EXPECT_EQ(kest.stop(), 0);
}

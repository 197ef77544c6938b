// Whole-program test of calls into a shared object: the running program,
// asked by another process, calls a routine and gives its value, runs a
// call on a worker whose alias changes the title when the routine
// returns, and asks the library to unload when it exits.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>

#include "app/command_line.h"
#include "e2e/harness.h"
#include "extensions/dll_calls.h"
#include "platform/local_ipc.h"

using namespace e2e;

namespace {

using Clock = std::chrono::steady_clock;

std::pair<int, std::string> ask(int kind, const std::string& payload)
{
    int answer = -1;
    std::string reply;
    if (!ipc_request(kHandOverService, kind, payload, &answer, &reply, 5000))
        return {-1, std::string()};
    return {answer, reply};
}

bool wait_for(const std::function<bool()>& done)
{
    const auto end = Clock::now() + std::chrono::milliseconds(kWaitMs);
    while (!done()) {
        if (Clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

TEST(DllProgramE2e, TheProgramCallsALibraryNowAndOnAWorkerAndUnloadsItAtExit)
{
    const std::string lib = KEST_TEST_DLL_KEPT;
    KestProgram kest;
    const fs::path log = kest.settings().parent_path() / "dll.log";
    const fs::path flag = kest.settings().parent_path() / "go";
    const char* old_log = std::getenv("KEST_TEST_DLL_LOG");
    const std::string saved_log = old_log ? old_log : "";
    const char* old_run = std::getenv("XDG_RUNTIME_DIR");
    const std::string saved_run = old_run ? old_run : "";
    ::setenv("KEST_TEST_DLL_LOG", log.c_str(), 1);
    ::setenv("XDG_RUNTIME_DIR", kest.runtime_dir().c_str(), 1);
    ASSERT_TRUE(kest.start({"-noconnect"}));
    ASSERT_TRUE(wait_for([] { return ask(IPC_PROBE, "").first == 1; })) << kest.output();

    EXPECT_EQ(ask(IPC_EVALUATE, "$dll(" + lib + ", upper, through the program)").second, "THROUGH THE PROGRAM");
    EXPECT_EQ(ask(IPC_EVALUATE, "$dll(0)").second, "1");
    EXPECT_EQ(ask(IPC_RUN_COMMAND, "/dll -m titlebar " + lib + " wait_file " + flag.string()).first, 1);
    // The program answers while the routine waits.
    EXPECT_EQ(ask(IPC_EVALUATE, "$dll(1)").second, lib);
    ASSERT_TRUE(write_file(flag, ""));
    EXPECT_TRUE(wait_for([&] { return ask(IPC_EVALUATE, "$titlebar").second == lib; }))
        << ask(IPC_EVALUATE, "$titlebar").second;
    EXPECT_EQ(ask(IPC_EVALUATE, "%waited").second, "after the wait");

    EXPECT_EQ(kest.stop(), 0);
    // Loaded once (LoadDll given the program's version word), asked to
    // unload once, for the exit.
    EXPECT_EQ(read_file(log), "load " + std::to_string(dll_version_word(KEST_VERSION)) + "\nunload 2\n");
    if (old_log)
        ::setenv("KEST_TEST_DLL_LOG", saved_log.c_str(), 1);
    else
        ::unsetenv("KEST_TEST_DLL_LOG");
    if (old_run)
        ::setenv("XDG_RUNTIME_DIR", saved_run.c_str(), 1);
    else
        ::unsetenv("XDG_RUNTIME_DIR");
}

}  // namespace

#include "e2e/program_probe.h"

#include <stdlib.h>

#include <chrono>
#include <regex>
#include <thread>

#include "app/command_line.h"
#include "platform/local_ipc.h"

namespace e2e {

namespace {

using Clock = std::chrono::steady_clock;

// This test program's requests go to the program's runtime folder.
void aim_at(const KestProgram& kest)
{
    ::setenv("XDG_RUNTIME_DIR", (kest.settings().parent_path() / "run").c_str(), 1);
}

} // namespace

bool probe_command(const KestProgram& kest, const std::string& line, int ms)
{
    aim_at(kest);
    const auto end = Clock::now() + std::chrono::milliseconds(ms);
    while (Clock::now() < end) {
        int answer = 0;
        if (ipc_request(kHandOverService, IPC_RUN_COMMAND, line, &answer, nullptr, 3000))
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
}

bool probe_evaluate(const KestProgram& kest, const std::string& text, std::string& result, int ms)
{
    aim_at(kest);
    const auto end = Clock::now() + std::chrono::milliseconds(ms);
    while (Clock::now() < end) {
        int answer = 0;
        std::string reply;
        if (ipc_request(kHandOverService, IPC_EVALUATE, text, &answer, &reply, 3000)) {
            result = reply;
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
}

bool probe_until(const KestProgram& kest, const std::string& text, const std::string& pattern, std::string& result,
                 int ms)
{
    const std::regex re(pattern);
    const auto end = Clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        const int left = static_cast<int>(
            std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count());
        if (left <= 0)
            return false;
        if (probe_evaluate(kest, text, result, left) && std::regex_match(result, re))
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

int probe_status_line(const KestProgram& kest, const std::string& pattern, std::size_t from, int ms)
{
    const auto end = Clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        const int i = log_index(kest.status_log(), pattern, from);
        if (i >= 0 || Clock::now() >= end)
            return i;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

void probe_plain_status_log(KestProgram& kest)
{
    kest.set("options", "n5", option_line({{15, 1}, {25, 1}}));
    kest.log_status();
}

} // namespace e2e

// A running instance for the tests of the command line: the real hand-over
// service, served by this process in a runtime folder of the test's own,
// taking a link when `accepts` says so and keeping every link offered.
#pragma once

#include "app/command_line.h"
#include "platform/local_ipc.h"
#include "platform/platform_test_env.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

class HandOverPeer {
public:
    explicit HandOverPeer(const std::filesystem::path& runtime) : runtime_(runtime)
    {
        platform_test_app();
        std::filesystem::create_directories(runtime_);
        ::chmod(runtime_.c_str(), 0700);
        const char* old = std::getenv("XDG_RUNTIME_DIR");
        had_runtime_ = old != nullptr;
        saved_runtime_ = old ? old : "";
        ::setenv("XDG_RUNTIME_DIR", runtime_.c_str(), 1);
        served_ = ipc_server_start(kHandOverService, [this](int kind, const std::string& payload, std::string&) {
            if (kind != IPC_LINK)
                return kind == IPC_PROBE ? 1 : 0;
            offered.push_back(payload);
            return accepts;
        }) == 1;
    }
    ~HandOverPeer()
    {
        ipc_server_stop(kHandOverService);
        if (had_runtime_)
            ::setenv("XDG_RUNTIME_DIR", saved_runtime_.c_str(), 1);
        else
            ::unsetenv("XDG_RUNTIME_DIR");
        std::filesystem::remove_all(runtime_);
    }
    HandOverPeer(const HandOverPeer&) = delete;
    HandOverPeer& operator=(const HandOverPeer&) = delete;

    bool served() const { return served_; }

    // Parses on a thread of its own while this one serves the hand-over.
    CmdlineResult parse(const std::vector<std::string>& args, const CmdlineResult& start)
    {
        CmdlineResult r;
        std::atomic<bool> finished{false};
        std::thread parser([&] {
            r = cmdline_parse_args(args, start);
            finished = true;
        });
        const bool done = pump_until([&] { return finished.load(); }, 20000);
        parser.join();
        EXPECT_TRUE(done) << "the parse did not end";
        return r;
    }

    int accepts = 0;
    std::vector<std::string> offered;

private:
    std::filesystem::path runtime_;
    bool had_runtime_ = false;
    std::string saved_runtime_;
    bool served_ = false;
};

// Blocking work on worker threads, with the result handed back to the user-interface
// thread.  Used by script DLL calls, downloads and SSL handshakes.
#pragma once

#include <functional>

// Runs `job` on a new worker thread; when it returns, `done` (when given) runs on the
// user-interface thread.  Returns 1, or 0 when too many workers are running (the job
// does not run).  Any thread.
int worker_start(std::function<void()> job, std::function<void()> done = {});

// Queues `fn` to run on the user-interface thread; returns 1 when queued.  Any thread.
int run_on_ui_thread(std::function<void()> fn);

// Workers whose job has not returned yet.
int worker_running_count();

// The most workers that run at once.
constexpr int kMaxWorkers = 64;

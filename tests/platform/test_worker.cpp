#include "platform/app_messages.h"
#include "platform/worker.h"
#include "platform_test_env.h"

#include <QThread>
#include <atomic>
#include <condition_variable>
#include <gtest/gtest.h>
#include <mutex>
#include <vector>

namespace {

TEST(Worker, JobRunsOffTheUiThreadAndItsCompletionOnIt)
{
    platform_test_app();
    std::atomic<bool> job_on_ui{true};
    bool done_on_ui = false;
    int done_count = 0;
    ASSERT_EQ(worker_start([&] { job_on_ui = on_ui_thread(); },
                           [&] {
                               done_on_ui = on_ui_thread();
                               ++done_count;
                           }),
              1);
    ASSERT_TRUE(pump_until([&] { return done_count > 0; }, 5000));
    pump_for(20);
    EXPECT_FALSE(job_on_ui.load());
    EXPECT_TRUE(done_on_ui);
    EXPECT_EQ(done_count, 1);
}

TEST(Worker, ACompletionCanPostTheFramesMessage)
{
    platform_test_app();
    app_messages_set_frame(nullptr);
    std::vector<intptr_t> got;
    app_messages_set_handler([&](int m, uintptr_t, intptr_t l) -> intptr_t {
        if (m == WM_APP_DLL_DONE)
            got.push_back(l);
        return 0;
    });
    static int record = 0;
    ASSERT_EQ(worker_start([] { post_app_message(WM_APP_DLL_DONE, 0, reinterpret_cast<intptr_t>(&record)); }), 1);
    ASSERT_TRUE(pump_until([&] { return !got.empty(); }, 5000));
    EXPECT_EQ(got[0], reinterpret_cast<intptr_t>(&record));
    app_messages_set_handler(nullptr);
}

TEST(Worker, RefusesMoreThanTheLimitAndRecoversWhenJobsEnd)
{
    platform_test_app();
    std::mutex m;
    std::condition_variable cv;
    bool release = false;
    int started = 0;
    while (worker_running_count() < kMaxWorkers) {
        ASSERT_EQ(worker_start([&] {
                      std::unique_lock<std::mutex> lock(m);
                      cv.wait(lock, [&] { return release; });
                  }),
                  1);
        ASSERT_LE(++started, kMaxWorkers);
    }
    EXPECT_EQ(worker_start([] {}), 0);
    {
        std::lock_guard<std::mutex> lock(m);
        release = true;
    }
    cv.notify_all();
    ASSERT_TRUE(pump_until([] { return worker_running_count() == 0; }, 5000));
    EXPECT_EQ(worker_start([] {}), 1);
    EXPECT_EQ(worker_start(nullptr), 0);
}

TEST(Worker, RunOnUiThreadKeepsOrder)
{
    platform_test_app();
    std::vector<int> order;
    std::thread t([&] {
        for (int i = 0; i < 50; ++i)
            run_on_ui_thread([&order, i] { order.push_back(i); });
    });
    t.join();
    ASSERT_TRUE(pump_until([&] { return order.size() == 50; }, 5000));
    for (int i = 0; i < 50; ++i)
        EXPECT_EQ(order[i], i);
}

} // namespace

#include "platform/app_messages.h"
#include "platform_test_env.h"

#include <QThread>
#include <atomic>
#include <gtest/gtest.h>
#include <memory>
#include <thread>
#include <vector>

namespace {

struct Seen {
    int message;
    uintptr_t wparam;
    intptr_t lparam;
    bool on_ui;
};

class AppMessages : public ::testing::Test
{
protected:
    void SetUp() override
    {
        platform_test_app();
        app_messages_set_frame(nullptr);
        app_messages_set_handler([this](int m, uintptr_t w, intptr_t l) -> intptr_t {
            seen.push_back({m, w, l, on_ui_thread()});
            return static_cast<intptr_t>(w) + l;
        });
    }
    void TearDown() override
    {
        pump_for(10);
        app_messages_set_handler(nullptr);
        app_messages_set_frame(nullptr);
    }
    std::vector<Seen> seen;
};

TEST_F(AppMessages, PostsFromWorkersArriveOnceInOrderOnTheUiThread)
{
    constexpr int kCount = 200;
    std::thread worker([] {
        for (int i = 0; i < kCount; ++i)
            post_app_message(WM_APP_SEND_QUEUE, static_cast<uintptr_t>(i), -i);
    });
    worker.join();
    ASSERT_TRUE(pump_until([this] { return seen.size() >= kCount; }, 5000));
    pump_for(50); // nothing is delivered twice
    ASSERT_EQ(seen.size(), static_cast<size_t>(kCount));
    for (int i = 0; i < kCount; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(seen[i].message, WM_APP_SEND_QUEUE);
        EXPECT_EQ(seen[i].wparam, static_cast<uintptr_t>(i));
        EXPECT_EQ(seen[i].lparam, -i);
        EXPECT_TRUE(seen[i].on_ui);
    }
}

TEST_F(AppMessages, PostsFromSeveralThreadsKeepEachThreadsOrder)
{
    constexpr int kThreads = 4, kEach = 100;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([t] {
            for (int i = 0; i < kEach; ++i)
                post_app_message(WM_APP + t, static_cast<uintptr_t>(i), 0);
        });
    for (auto &t : threads)
        t.join();
    ASSERT_TRUE(pump_until([this] { return seen.size() >= kThreads * kEach; }, 5000));
    std::vector<int> next(kThreads, 0);
    for (const Seen &s : seen) {
        int t = s.message - WM_APP;
        ASSERT_GE(t, 0);
        ASSERT_LT(t, kThreads);
        EXPECT_EQ(s.wparam, static_cast<uintptr_t>(next[t]++));
    }
}

TEST_F(AppMessages, SendRunsAtOnceAndWaitsForTheUiThreadFromAWorker)
{
    EXPECT_EQ(send_app_message(WM_APP_LOGON_SEQUENCE, 40, 2), 42);
    ASSERT_EQ(seen.size(), 1u); // ran without any event loop
    std::atomic<intptr_t> result{0};
    std::atomic<bool> done{false};
    std::thread worker([&] {
        result = send_app_message(WM_APP_LOGON_SEQUENCE, 5, 6);
        done = true;
    });
    ASSERT_TRUE(pump_until([&] { return done.load(); }, 5000));
    worker.join();
    EXPECT_EQ(result.load(), 11);
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_TRUE(seen[1].on_ui);
}

TEST_F(AppMessages, CheckedPostIsDroppedWhenNoLongerWantedAndAlwaysCleansUp)
{
    struct Case {
        bool wanted;
        size_t delivered;
    } cases[] = {{true, 1}, {false, 0}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.wanted);
        seen.clear();
        int cleaned = 0;
        ASSERT_EQ(post_app_message_checked(
                      WM_APP_DLL_DONE, 1, 2, [&c] { return c.wanted; }, [&cleaned] { ++cleaned; }),
                  1);
        ASSERT_TRUE(pump_until([&cleaned] { return cleaned > 0; }, 2000));
        EXPECT_EQ(seen.size(), c.delivered);
        EXPECT_EQ(cleaned, 1);
    }
}

TEST_F(AppMessages, RegisteredFrameReceivesPostsAndNoneAreDeliveredAfterItIsGone)
{
    auto frame = std::make_unique<QObject>();
    app_messages_set_frame(frame.get());
    // The frame's own event() needs no code: the message reaches the handler.
    EXPECT_EQ(post_app_message(WM_APP_SIGNALS, 7, 8), 1);
    ASSERT_TRUE(pump_until([this] { return !seen.empty(); }, 2000));
    EXPECT_EQ(seen[0].message, WM_APP_SIGNALS);

    // Messages queued to a frame that is destroyed before they run are lost, and later
    // posts are refused, like posts to a destroyed window.
    seen.clear();
    int cleaned = 0;
    post_app_message_checked(WM_APP_SIGNALS, 1, 1, nullptr, [&cleaned] { ++cleaned; });
    frame.reset();
    EXPECT_EQ(post_app_message(WM_APP_SIGNALS, 2, 2), 0);
    pump_for(30);
    EXPECT_TRUE(seen.empty());
    EXPECT_EQ(cleaned, 1); // what the lost message carried is still released
}

TEST_F(AppMessages, PostToAnObjectReachesItsFilterWithTheWords)
{
    class Child : public QObject
    {
    public:
        bool event(QEvent *e) override
        {
            uintptr_t w = 0;
            intptr_t l = 0;
            if (int m = app_message_number(e, &w, &l)) {
                got.push_back({m, w, l, true});
                return true;
            }
            return QObject::event(e);
        }
        std::vector<Seen> got;
    } child;
    EXPECT_EQ(post_app_message_to(&child, WM_APP_DEFERRED_LAYOUT, 3, WM_APP_LAYOUT_ALL), 1);
    EXPECT_EQ(post_app_message_to(nullptr, WM_APP_DEFERRED_LAYOUT, 3, 4), 0);
    ASSERT_TRUE(pump_until([&child] { return !child.got.empty(); }, 2000));
    EXPECT_EQ(child.got[0].message, WM_APP_DEFERRED_LAYOUT);
    EXPECT_EQ(child.got[0].lparam, WM_APP_LAYOUT_ALL);
    EXPECT_TRUE(seen.empty()); // not the frame's
}

TEST(AppMessageNumbers, KeepTheirValues)
{
    struct Case {
        int value;
        int expected;
    } cases[] = {
        {WM_APP, 0x8000},
        {WM_USER, 0x0400},
        {WM_APP_LOCAL_HOST_RESOLVED, 0x8009},
        {WM_APP_SERVER_SOCKET, 0x800E},
        {WM_APP_DCCGET_PENDING, 32785},
        {WM_APP_IDENT_START, 32809},
        {WM_APP_FINGERD_CLOSE, 32816},
        {WM_APP_SCRIPT_SOCK_EVENT, 0x8038},
        {WM_APP_SCRIPT_UDP, 0x8039},
        {WM_APP_SCRIPT_SOCKWRITE, 0x803A},
        {WM_APP_DEFERRED_START, 0x803C},
        {WM_APP_LOGON_SEQUENCE, 32830},
        {WM_APP_HIRES_TIMERS, 32843},
        {WM_APP_SCRIPTS_CHANGED, 32847},
        {WM_APP_SIGNALS, 32849},
        {WM_APP_CHANNELS_FOLDER, 32851},
        {WM_APP_FILETYPE_WARNING, 32859},
        {WM_APP_COM_DONE, 0x805E},
        {WM_APP_MDI_REFRESH, WM_APP + 101},
        {WM_APP_DEFERRED_LAYOUT, WM_APP + 110},
        {WM_USER_RUN_COMMAND, 0x0400 + 200},
        {WM_USER_EVALUATE, 0x0400 + 201},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.expected);
        EXPECT_EQ(c.value, c.expected);
    }
}

} // namespace

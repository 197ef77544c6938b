// The tray icon's activity picture: the connecting animation that frame
// timer 132 steps, and the sent and received lamps that timers 130 and 131
// put out again. The timers are driven by hand through the frame's timer
// handler; the lines come from the real send path over a socket pair.
#include <gtest/gtest.h>

#include <QApplication>

#include <set>
#include <string>

#include "model/connection.h"
#include "app/frame_proc.h"
#include "app/subsystems.h"
#include "bars/tray_icon.h"
#include "core/main_settings.h"
#include "core/options.h"
#include "irc/link/send_queue.h"
#include "platform/app_messages.h"
#include "platform/frame_timers.h"
#define KEST_TEST_WIDGETS
#include "support/hook_guard.h"
#include "support/test_support.h"
#include "support/test_wire.h"

namespace {

class TrayActivity : public ::testing::Test {
protected:
    TempSettingsDir settings{"kest_tray_activity"};
    HookGuard hooks;
    TestWire wire;
    Connection* conn = nullptr;
    int saved_option = 1;

    void SetUp() override
    {
        ASSERT_TRUE(settings.made());
        test_app();
        app_install_subsystems();
        app_messages_set_frame(nullptr);
        frame_proc_install();
        saved_option = opt(OPT_TRAY_ANIMATE_ACTIVITY);
        opt_set(OPT_TRAY_ANIMATE_ACTIVITY, 1);
        main_settings.trayicon_file.clear();
        conn = conn_new(nullptr);
        ASSERT_TRUE(conn);
        // Every bit out, no timer running.
        frame_on_timer(FRAME_TIMER_TRAY_ACTIVITY0);
        frame_on_timer(FRAME_TIMER_TRAY_ACTIVITY1);
        conn_arm_tray_activity_timers(0);
    }
    void TearDown() override
    {
        if (conn_is_live(conn)) {
            conn->connected = conn->connecting = conn->registered = 0;
            conn->socket = -1;
            conn_free(conn);
        }
        conn_arm_tray_activity_timers(0);
        frame_timer_stop(FRAME_TIMER_TRAY_ACTIVITY0);
        frame_timer_stop(FRAME_TIMER_TRAY_ACTIVITY1);
        frame_on_timer(FRAME_TIMER_TRAY_ACTIVITY0);
        frame_on_timer(FRAME_TIMER_TRAY_ACTIVITY1);
        opt_set(OPT_TRAY_ANIMATE_ACTIVITY, saved_option);
    }

    static std::pair<int, int> shown()
    {
        const TrayFrame f = tray_icon_frame();
        return {f.strip, f.frame};
    }
};

TEST_F(TrayActivity, ConnectingAnimatesWithEachTickAndWrapsAfterElevenFrames)
{
    conn->connecting = 1;
    conn_arm_tray_activity_timers(0);
    ASSERT_TRUE(frame_timer_is_running(FRAME_TIMER_TRAY_REFRESH));
    EXPECT_EQ(frame_timer_interval(FRAME_TIMER_TRAY_REFRESH), 200);
    EXPECT_EQ(shown(), std::make_pair(36, 1));
    for (int expected = 2; expected <= 11; ++expected) {
        frame_on_timer(FRAME_TIMER_TRAY_REFRESH);
        EXPECT_EQ(shown(), std::make_pair(36, expected));
    }
    frame_on_timer(FRAME_TIMER_TRAY_REFRESH);
    EXPECT_EQ(shown(), std::make_pair(36, 1)) << "after the eleventh frame comes the first";
    // Arming again while it runs does not start the animation over.
    frame_on_timer(FRAME_TIMER_TRAY_REFRESH);
    conn_arm_tray_activity_timers(0);
    EXPECT_EQ(shown(), std::make_pair(36, 2));

    // Logged on but not yet registered: still animating. Registered: the
    // timer stops and the registered face shows with the received lamp.
    conn->connecting = 0;
    conn->connected = 1;
    ASSERT_TRUE(wire.ok());
    wire.attach(conn);
    conn_arm_tray_activity_timers(0);
    EXPECT_TRUE(frame_timer_is_running(FRAME_TIMER_TRAY_REFRESH));
    conn->registered = 1;
    conn_arm_tray_activity_timers(2);
    EXPECT_FALSE(frame_timer_is_running(FRAME_TIMER_TRAY_REFRESH));
    EXPECT_EQ(shown(), std::make_pair(37, 2 + 5));
}

TEST_F(TrayActivity, LampsLightOnTrafficAndGoOutWithTheirOwnTimers)
{
    conn->connected = 1;
    ASSERT_TRUE(wire.ok());
    wire.attach(conn);
    conn->registered = 1;
    EXPECT_EQ(shown(), std::make_pair(37, 5));
    const struct {
        const char* step;
        int kind;       // armed with this kind, or -1
        int timer;      // then this timer fires, or 0
        int bits;
        int frame;
    } cases[] = {
        {"sent", 1, 0, 1, 6},
        {"received too", 2, 0, 3, 8},
        {"sent again: lit already", 1, 0, 3, 8},
        {"the sent lamp goes out", -1, FRAME_TIMER_TRAY_ACTIVITY0, 2, 7},
        {"the received lamp goes out", -1, FRAME_TIMER_TRAY_ACTIVITY1, 0, 5},
        {"the same timer again", -1, FRAME_TIMER_TRAY_ACTIVITY1, 0, 5},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.step);
        if (c.kind >= 0) {
            conn_arm_tray_activity_timers(c.kind);
            const int timer = c.kind == 1 ? FRAME_TIMER_TRAY_ACTIVITY0 : FRAME_TIMER_TRAY_ACTIVITY1;
            ASSERT_TRUE(frame_timer_is_running(timer));
            const int delay = frame_timer_interval(timer);
            EXPECT_GE(delay, 300);
            EXPECT_LE(delay, 449);
        }
        if (c.timer)
            frame_on_timer(c.timer);
        EXPECT_EQ(tray_activity_bits(), c.bits);
        EXPECT_EQ(shown(), std::make_pair(37, c.frame));
    }
    // Not registered: the grey face, frames 1 to 4.
    conn->registered = 0;
    conn->connected = 0;
    conn->socket = -1;
    conn_arm_tray_activity_timers(2);
    EXPECT_EQ(shown(), std::make_pair(37, 3));
    // With the activity icon off: always the first frame, and the ticks
    // leave the animation alone.
    opt_set(OPT_TRAY_ANIMATE_ACTIVITY, 0);
    EXPECT_EQ(shown(), std::make_pair(37, 1));
}

TEST_F(TrayActivity, ALineSentOnTheSendPathLightsTheSentLamp)
{
    ASSERT_TRUE(wire.ok());
    conn->connected = 1;
    conn->registered = 1;
    wire.attach(conn);
    ASSERT_EQ(tray_activity_bits(), 0);
    ASSERT_EQ(irc_send_line("PING :x", 0, conn), 1);
    EXPECT_EQ(wire.all(), "PING :x\n");
    EXPECT_EQ(tray_activity_bits(), 1);
    EXPECT_TRUE(frame_timer_is_running(FRAME_TIMER_TRAY_ACTIVITY0));
    EXPECT_FALSE(frame_timer_is_running(FRAME_TIMER_TRAY_ACTIVITY1)) << "nothing was received";
}

TEST_F(TrayActivity, EveryFrameHasItsOwnPictureAndOtherFramesHaveNone)
{
    std::set<QByteArray> seen;
    for (int frame = 1; frame <= 11; ++frame) {
        QImage img = tray_frame_image(36, frame);
        ASSERT_FALSE(img.isNull()) << frame;
        EXPECT_EQ(img.size(), QSize(16, 16));
        seen.insert(QByteArray(reinterpret_cast<const char*>(img.constBits()), img.sizeInBytes()));
    }
    for (int frame = 1; frame <= 8; ++frame) {
        QImage img = tray_frame_image(37, frame);
        ASSERT_FALSE(img.isNull()) << frame;
        seen.insert(QByteArray(reinterpret_cast<const char*>(img.constBits()), img.sizeInBytes()));
    }
    EXPECT_EQ(seen.size(), 19u);
    for (auto [strip, frame] : {std::pair{36, 0}, std::pair{36, 12}, std::pair{37, 9}, std::pair{1, 1}})
        EXPECT_TRUE(tray_frame_image(strip, frame).isNull()) << strip << "/" << frame;
}

}  // namespace

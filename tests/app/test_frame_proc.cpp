#include "app/frame_proc.h"
#include "platform/frame_timers.h"
#include "platform/local_ipc.h"
#include "platform/platform_test_env.h"
#include "platform/platform_utils.h"

#include <QWidget>
#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <vector>
#include "app/startup.h"
#include "app/subsystems.h"
#include "core/options.h"
#include "display/nick_list.h"
#include "display/printed_lines.h"
#include "extensions/irc_links.h"
#include "model/connection.h"
#include "model/window_record.h"
#include "script/events/event_fire.h"
#include "script/events/remote_files.h"
#include "script/exec/script_types.h"
#include "support/hook_guard.h"
#define KEST_TEST_WIDGETS
#include "support/test_support.h"
#include "support/window_fixture.h"

namespace {

// What the hooks and handlers saw.
struct Log {
    std::vector<std::string> lines;
    int switchbar = 0;
    std::vector<intptr_t> treebar;
    std::vector<std::string> urls;
    std::vector<std::string> links;
    std::vector<std::string> events;
    uintptr_t wparam = 0;
    intptr_t lparam = 0;
    int timer_id = 0;
};
Log g;

class FrameProc : public ::testing::Test
{
    HookGuard hooks_;  // every seam back as it was when the test ends
protected:
    void SetUp() override
    {
        platform_test_app();
        frame_proc_reset();
        frame_timers_stop_all();
        g = Log{};
        app_messages_set_frame(nullptr);
        frame_proc_install();
        // A link handed over goes to whoever listens for links; the
        // program's own link opener stays out of these tests.
        irc_links_uninstall();
        link_listener_ = irc_link_open_asked.add(0, [](const std::string &link, int outside) {
            g.links.push_back(link + (outside ? "|outside" : "|inside"));
        });
        // The desktop opens the queued URLs.
        desktop_open_hook = [](const std::string &url) {
            g.urls.push_back(url);
            return 1;
        };
        app_exit_mode = 0;
    }
    void TearDown() override
    {
        irc_link_open_asked.drop(link_listener_);
        app_exit_mode = 0;
        frame_timers_stop_all();
        pump_for(5);
        frame_proc_reset();
        app_messages_set_handler(nullptr);
        remote_files_free_all();
    }

    // The program's script events with a script whose handlers note the
    // frame's events by name; remote events on or off.
    void events_noted(bool on)
    {
        app_install_subsystems();
        frame_proc_install();
        irc_links_uninstall();
        event_startup_hold = 0;
        remote_files_free_all();
        script_register_command("noted", [](CommandCall &call) {
            g.events.emplace_back(call.rest());
            return 1;
        });
        const std::string path = settings_.path() + "frame.kst";
        spit(path, "on *:WAVEEND:noted WAVEEND\non *:MIDIEND:noted MIDIEND\non *:SONGEND:noted SONGEND\n"
                   "on *:MP3END:noted MP3END\non *:ACTIVE:*:noted ACTIVE\non *:APPACTIVE:noted APPACTIVE\n");
        ASSERT_TRUE(remote_file_load(path, kRemoteScript, 9999, nullptr));
        opt_set(OPT_REMOTE_EVENTS, on ? 1 : 0);
    }

    TempSettingsDir settings_{"kest_frameproc_"};
    int link_listener_ = 0;
};

intptr_t record_words(uintptr_t w, intptr_t l)
{
    g.wparam = w;
    g.lparam = l;
    return 77;
}

TEST_F(FrameProc, TableHoldsEveryPrivateMessageOfTheFrameOnce)
{
    const int offsets[] = {9,  11, 12, 13, 14, 15, 16, 17, 18, 20, 21, 22, 28, 29, 30, 31, 34, 35, 36, 41,
                           42, 43, 44, 45, 46, 47, 48, 49, 50, 51, 52, 53, 55, 56, 57, 58, 60, 61, 62, 63,
                           65, 66, 67, 71, 72, 75, 76, 77, 79, 81, 83, 84, 86, 87, 90, 91, 94, 95, 96, 101};
    for (int n : offsets) {
        SCOPED_TRACE(n);
        EXPECT_NE(frame_message_row(WM_APP + n), nullptr);
    }
    EXPECT_NE(frame_message_row(WM_USER + 200), nullptr);
    EXPECT_NE(frame_message_row(WM_USER + 201), nullptr);
    // Messages of child windows and numbers nobody uses are not the frame's.
    for (int other : {WM_APP + 10, WM_APP + 64, WM_APP + 78, WM_APP + 80, WM_APP + 110, WM_USER + 1})
        EXPECT_EQ(frame_message_row(other), nullptr) << other;
    const int count = frame_message_row_count();
    EXPECT_EQ(count, static_cast<int>(std::size(offsets)) + 2);
    for (int i = 0; i < count; ++i)
        for (int j = i + 1; j < count; ++j)
            EXPECT_NE(frame_message_rows()[i].message, frame_message_rows()[j].message);
}

TEST_F(FrameProc, TimerTableGivesThePeriods)
{
    struct Case {
        int id;
        int period;
    } cases[] = {{120, 1000}, {121, 0}, {122, 50},  {123, 0},   {124, 0},   {126, 1000}, {127, 0},
                 {128, 0},    {129, 50}, {130, 0},  {131, 0},   {132, 200}, {133, 0},    {134, 500},
                 {136, 0},    {137, 100}, {138, 100}, {139, 0}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.id);
        ASSERT_NE(frame_timer_row(c.id), nullptr);
        EXPECT_EQ(frame_timer_row(c.id)->period_ms, c.period);
        EXPECT_EQ(frame_start_timer(c.id), c.period > 0 ? 1 : 0);
        if (c.period > 0) {
            EXPECT_EQ(frame_timer_interval(c.id), c.period);
        }
        frame_timer_stop(c.id);
    }
    EXPECT_EQ(frame_timer_row(125), nullptr);
    EXPECT_EQ(frame_timer_row(135), nullptr);
    EXPECT_EQ(frame_timer_row_count(), static_cast<int>(std::size(cases)));
}

TEST_F(FrameProc, MessagesGoToTheirRegisteredHandlerAndOthersGetTheDefault)
{
    EXPECT_EQ(frame_set_handler(WM_APP_SEND_QUEUE, record_words), 1);
    EXPECT_EQ(frame_wnd_proc(WM_APP_SEND_QUEUE, 3, 4), 77);
    EXPECT_EQ(g.wparam, 3u);
    EXPECT_EQ(g.lparam, 4);

    // Nobody handles it: the default result, nothing called.
    g.wparam = 0;
    EXPECT_EQ(frame_wnd_proc(WM_APP_LOGON_SEQUENCE, 9, 9), 0);
    EXPECT_EQ(g.wparam, 0u);

    // Not a frame message: refused and answered with the default.
    EXPECT_EQ(frame_set_handler(WM_APP + 10, record_words), 0);
    EXPECT_EQ(frame_wnd_proc(WM_APP + 10, 1, 1), 0);
    EXPECT_EQ(g.wparam, 0u);

    // Back to the default.
    EXPECT_EQ(frame_set_handler(WM_APP_SEND_QUEUE, nullptr), 1);
    EXPECT_EQ(frame_wnd_proc(WM_APP_SEND_QUEUE, 5, 5), 0);
    EXPECT_EQ(g.wparam, 0u);
}

TEST_F(FrameProc, PostedMessagesReachTheTableThroughTheEventLoop)
{
    frame_set_handler(WM_APP_SERVER_SOCKET, record_words);
    ASSERT_EQ(post_app_message(WM_APP_SERVER_SOCKET, 12, (10101 << 16) | 1), 1);
    ASSERT_TRUE(pump_until([] { return g.wparam == 12; }, 2000));
    EXPECT_EQ(g.lparam, (10101 << 16) | 1);
}

TEST_F(FrameProc, TopmostTimerActsElevenTimesAndStops)
{
    ASSERT_EQ(frame_wnd_proc(WM_APP_DEFERRED_START, 0, 0), 0); // starts 137 and 120
    EXPECT_EQ(frame_timer_is_running(FRAME_TIMER_TICK), 1);
    EXPECT_EQ(frame_timer_interval(FRAME_TIMER_TICK), 1000);
    ASSERT_TRUE(pump_until([] { return !frame_timer_is_running(FRAME_TIMER_TOPMOST); }, 5000));
    pump_for(250);
    EXPECT_EQ(frame_topmost_ticks(), 11);
}

TEST_F(FrameProc, CountdownTimerStopsWhenNoWindowIsBusy)
{
    // A query window's message guard counts down in 100 ms steps; the timer
    // runs while any window's guard is above zero, and stops at once when
    // none is.
    struct Case {
        int guard;
        int left_after_one_step;
    } cases[] = {{300, 200}, {100, 0}, {0, 0}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.guard);
        WindowRecord *rec = win_record_new(1);
        ASSERT_TRUE(rec);
        rec->print_countdown = c.guard;
        EXPECT_EQ(display_countdown_step(), c.left_after_one_step > 0 ? 1 : 0);
        EXPECT_EQ(rec->print_countdown, c.left_after_one_step);
        rec->print_countdown = c.guard;
        ASSERT_EQ(frame_start_timer(FRAME_TIMER_COUNTDOWNS), 1);
        ASSERT_TRUE(pump_until([] { return !frame_timer_is_running(FRAME_TIMER_COUNTDOWNS); }, 5000));
        EXPECT_EQ(rec->print_countdown, 0);
        win_record_free(rec);
    }
}

TEST_F(FrameProc, TimersWhoseOwnerIsAbsentAreDroppedAndOwnedOnesDispatched)
{
    // A deferred socket poll (an id outside the table) with nobody to serve it.
    ASSERT_EQ(frame_timer_start(205, 5), 1);
    ASSERT_TRUE(pump_until([] { return !frame_timer_is_running(205); }, 2000));

    // With a handler for other ids, it gets the id and decides itself.
    ASSERT_EQ(frame_set_timer_handler(FRAME_TIMER_OTHER, [](int id) {
                  g.timer_id = id;
                  frame_timer_stop(id);
              }),
              1);
    ASSERT_EQ(frame_timer_start(4242, 5), 1);
    ASSERT_TRUE(pump_until([] { return g.timer_id == 4242; }, 2000));

    // An owned id of the table.
    ASSERT_EQ(frame_set_timer_handler(FRAME_TIMER_TICK, [](int id) { g.timer_id = id; }), 1);
    frame_on_timer(FRAME_TIMER_TICK);
    EXPECT_EQ(g.timer_id, FRAME_TIMER_TICK);
    EXPECT_EQ(frame_set_timer_handler(125, [](int) {}), 0);
}

TEST_F(FrameProc, TrayActivityTimersAreOneShotsThatClearTheirBit)
{
    int listener = frame_tray_activity_over.add(0, [](int bit) { g.lines.push_back("clear" + std::to_string(bit)); });
    ASSERT_EQ(frame_timer_start(FRAME_TIMER_TRAY_ACTIVITY0, 5), 1);
    ASSERT_EQ(frame_timer_start(FRAME_TIMER_TRAY_ACTIVITY1, 5), 1);
    ASSERT_TRUE(pump_until([] { return g.lines.size() >= 2; }, 2000));
    pump_for(40);
    EXPECT_EQ(g.lines.size(), 2u);
    EXPECT_NE(std::find(g.lines.begin(), g.lines.end(), "clear0"), g.lines.end());
    EXPECT_NE(std::find(g.lines.begin(), g.lines.end(), "clear1"), g.lines.end());
    frame_tray_activity_over.drop(listener);
}

TEST_F(FrameProc, QueuedUrlsOpenInOrderOnceEachEvenWhenOneArrivesWhileOpening)
{
    ASSERT_EQ(frame_queue_url("http://a/"), 1);
    ASSERT_EQ(frame_queue_url("http://b/"), 1);
    ASSERT_TRUE(pump_until([] { return g.urls.size() >= 2; }, 2000));
    pump_for(20);
    EXPECT_EQ(g.urls, (std::vector<std::string>{"http://a/", "http://b/"}));

    // Opening one URL dispatches another queue message (the opener runs a message loop).
    g.urls.clear();
    desktop_open_hook = [](const std::string &url) {
        g.urls.push_back(url);
        if (url == "first")
            frame_wnd_proc(WM_APP_URL_QUEUE, 0, reinterpret_cast<intptr_t>(new std::string("nested")));
        return 1;
    };
    frame_wnd_proc(WM_APP_URL_QUEUE, 0, reinterpret_cast<intptr_t>(new std::string("first")));
    frame_wnd_proc(WM_APP_URL_QUEUE, 0, reinterpret_cast<intptr_t>(new std::string("last")));
    EXPECT_EQ(g.urls, (std::vector<std::string>{"first", "nested", "last"}));

    // While the program exits the queue is drained without opening anything.
    g.urls.clear();
    app_exit_mode = 1;
    frame_wnd_proc(WM_APP_URL_QUEUE, 0, reinterpret_cast<intptr_t>(new std::string("late")));
    EXPECT_TRUE(g.urls.empty());
    app_exit_mode = 0;
    frame_wnd_proc(WM_APP_URL_QUEUE, 0, reinterpret_cast<intptr_t>(new std::string(5000, 'u')));
    ASSERT_EQ(g.urls.size(), 1u);
    EXPECT_EQ(g.urls[0].size(), 4150u);
    EXPECT_EQ(frame_wnd_proc(WM_APP_URL_QUEUE, 0, 0), 0); // no text: nothing
}

TEST_F(FrameProc, LockRequestRefusesReEntry)
{
    static intptr_t inner = -1;
    frame_hooks().lock_password = [](intptr_t flags) -> intptr_t {
        inner = frame_wnd_proc(WM_APP_LOCK_PASSWORD, 0, 2);
        return flags == 1 ? 1 : 0;
    };
    EXPECT_EQ(frame_wnd_proc(WM_APP_LOCK_PASSWORD, 0, 1), 1);
    EXPECT_EQ(inner, 0);
    EXPECT_EQ(frame_wnd_proc(WM_APP_LOCK_PASSWORD, 0, 2), 0);
    frame_hooks().lock_password = nullptr;
    EXPECT_EQ(frame_wnd_proc(WM_APP_LOCK_PASSWORD, 0, 1), 0); // no lock: nothing set
}

TEST_F(FrameProc, BarRepaintsWaitForTheLastPendingRequest)
{
    int listener = frame_bars_repaint.add(0, [](bool repaint, intptr_t conn) {
        g.switchbar += repaint ? 1 : 0;
        if (conn)
            g.treebar.push_back(conn);
    });
    frame_request_bars_repaint(0);
    frame_request_bars_repaint(0x1234);
    EXPECT_EQ(frame_pending_repaint_count(), 2);
    ASSERT_TRUE(pump_until([] { return frame_pending_repaint_count() == 0 && g.switchbar > 0; }, 2000));
    pump_for(20);
    EXPECT_EQ(g.switchbar, 1); // once, for the last of the two
    EXPECT_EQ(g.treebar, (std::vector<intptr_t>{0x1234}));
    // A stray message never drives the count below zero.
    frame_wnd_proc(WM_APP_BARS_REPAINT, 0, 0);
    EXPECT_EQ(frame_pending_repaint_count(), 0);
    EXPECT_EQ(g.switchbar, 2);
    frame_bars_repaint.drop(listener);
}

TEST_F(FrameProc, HandOverDataIsNeverReadPastWhatArrived)
{
    char buffer[2100];
    std::memset(buffer, 'L', sizeof buffer);
    std::memcpy(buffer, "irc://server/chanXXXX", 21);
    struct Case {
        const char *what;
        uintptr_t wparam;
        const char *data;
        size_t size;
        std::vector<std::string> opened;
    } cases[] = {
        {"exact size", 1, buffer, 17, {"irc://server/chan|outside"}},
        {"unterminated, bounded by size", 1, buffer, 12, {"irc://server|outside"}},
        {"probe", 0, nullptr, 0, {}},
        {"probe with data", 0, buffer, 17, {}},
        {"no data", 1, nullptr, 10, {}},
        {"zero byte inside", 1, "irc://a\0irc://b", 15, {"irc://a|outside"}},
        {"over the usable length", 1, buffer, sizeof buffer, {std::string(buffer, 1024) + "|outside"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        g.links.clear();
        EXPECT_EQ(frame_copydata(c.wparam, c.data, c.size), 1);
        EXPECT_EQ(g.links, c.opened);
    }
}

TEST_F(FrameProc, LocalRequestsServeProbeLinkAndExternalControl)
{
    std::string reply;
    EXPECT_EQ(frame_ipc_request(IPC_PROBE, "", reply), 1);
    EXPECT_TRUE(g.links.empty());
    EXPECT_EQ(frame_ipc_request(IPC_LINK, "irc://host:6667/chan", reply), 1);
    EXPECT_EQ(g.links, (std::vector<std::string>{"irc://host:6667/chan|outside"}));

    // With no connection to run it for, nothing runs and the answer is 0.
    events_noted(true);
    conn_free_all();
    EXPECT_EQ(frame_ipc_request(IPC_RUN_COMMAND, "/noted hi", reply), 0);
    EXPECT_TRUE(g.events.empty());
    ASSERT_TRUE(window_test_conn());
    // A command line is cut at 1,024 characters before it runs.
    EXPECT_EQ(frame_ipc_request(IPC_RUN_COMMAND, "/noted " + std::string(2000, 'c'), reply), 1);
    EXPECT_EQ(g.events, (std::vector<std::string>{std::string(1024 - 7, 'c')}));
    // An evaluation answers the value.
    EXPECT_EQ(frame_ipc_request(IPC_EVALUATE, "$calc(40 + 2)", reply), 1);
    EXPECT_EQ(reply, "42");
    EXPECT_EQ(frame_ipc_request(99, "", reply), 0);
}

TEST_F(FrameProc, EndOfPlayFiresTheEventsOfItsKind)
{
    struct Case {
        int notify;
        int kind;
        bool events_on;
        std::vector<std::string> events;
        int end_steps;
    } cases[] = {
        {1, 6, true, {"WAVEEND"}, 1},
        {1, 7, true, {"MIDIEND"}, 1},
        {1, 8, true, {"SONGEND", "MP3END"}, 1},
        {1, 8, false, {}, 1},
        {2, 6, true, {}, 0}, // superseded
        {4, 8, true, {}, 0}, // aborted
        {1, 5, true, {}, 0}, // another device
    };
    static int end_steps;
    static int closed;
    events_noted(true);
    ASSERT_TRUE(window_test_conn());
    frame_hooks().media_end_step = [](int) { ++end_steps; };
    frame_hooks().media_close = [](int, std::string &file) -> Connection * {
        ++closed;
        file = "ended.wav";
        return nullptr;
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::to_string(c.notify) + "/" + std::to_string(c.kind));
        g.events.clear();
        opt_set(OPT_REMOTE_EVENTS, c.events_on ? 1 : 0);
        end_steps = closed = 0;
        frame_media_notify(c.notify, c.kind);
        EXPECT_EQ(g.events, c.events);
        EXPECT_EQ(end_steps, c.end_steps);
        EXPECT_EQ(closed, c.end_steps);
    }
}

TEST_F(FrameProc, ActivationUpdateRestartsItsTimerAndFiresActiveOncePerWindow)
{
    frame_update_activation(nullptr, 2);
    EXPECT_EQ(frame_timer_is_running(FRAME_TIMER_ACTIVATION), 1);
    EXPECT_EQ(frame_timer_interval(FRAME_TIMER_ACTIVATION), 50);
    // Its expiry runs the update with no flags, which stops it.
    ASSERT_TRUE(pump_until([] { return !frame_timer_is_running(FRAME_TIMER_ACTIVATION); }, 2000));

    events_noted(true);
    Connection *conn = window_test_conn();
    WindowRecord *ra = window_test_open("#a", kWinChannel, 0, conn);
    WindowRecord *rb = window_test_open("#b", kWinChannel, 0, conn);
    ASSERT_TRUE(ra && rb);
    QWidget *a = ra->hwnd.get();
    QWidget *b = rb->hwnd.get();
    g.events.clear();
    frame_update_activation(a, 4);
    frame_update_activation(a, 4);
    frame_update_activation(b, 4);
    int active = 0;
    for (const std::string &e : g.events)
        active += e == "ACTIVE";
    EXPECT_EQ(active, 2);
    EXPECT_EQ(frame_last_active_window(), b);
    b->hide();
    frame_update_activation(b, 4); // a hidden window is not remembered
    EXPECT_EQ(frame_last_active_window(), nullptr);
    window_test_reset();
}

} // namespace

// The one-second tick with a fake clock, its countdowns and guard, the
// per-connection tick and the server time-out probe.
#include "app/tick.h"
#include "irc/services/ident.h"

#include "model/connection.h"
#include "core/time_date.h"
#include "irc/link/close.h"
#include "irc/link/flood.h"
#include "irc/link/conn_tick.h"
#include "app/frame_proc.h"
#include "model/window_record.h"
#include "core/options.h"
#include "platform/app_messages.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>
#include "support/hook_guard.h"
#include "support/test_wire.h"

namespace {

long long fake_now = 1000000;
long long fake_clock() { return fake_now; }

// A listener for the length of a test.
template <class Sig>
class Listening {
public:
    template <class F>
    Listening(Signal<Sig>& signal, int priority, F fn) : signal_(signal), id_(signal.add(priority, fn))
    {
    }
    ~Listening() { signal_.remove(id_); }
    Listening(const Listening&) = delete;
    Listening& operator=(const Listening&) = delete;

private:
    Signal<Sig>& signal_;
    int id_;
};

// Seconds on the online-time counter that every connection's time moves.
int online_seconds()
{
    return online_time_first.hours * 3600 + online_time_first.minutes * 60 + online_time_first.seconds;
}

struct Sent {
    Connection* conn;
    std::string line;
};
std::vector<std::pair<int, int>> socket_events;
// The read path's message, sent by the time-out to close the link.
intptr_t fake_socket_event(uintptr_t socket, intptr_t word)
{
    socket_events.emplace_back(static_cast<int>(socket), static_cast<int>(word));
    return 0;
}

class Tick : public ::testing::Test {
    HookGuard hooks_;  // every seam back as it was when the test ends
protected:
    void SetUp() override
    {
        options_reset();
        conn_free_all();
        tick_install();
        opt_online_timer = 1;
        online_time_first = OnlineTime();
        frame_proc_install();
        frame_set_handler(WM_APP_SERVER_SOCKET, fake_socket_event);
        tick_clock = fake_clock;
        fake_now = 1000000;
        tick_reset_base();
        tick_guard = 0;
        tick_dde_countdown = tick_dccserver_countdown = tick_ident_countdown = 0;
        tick_update_check_pending = 1;
        socket_events.clear();
    }
    void TearDown() override
    {
        frame_set_handler(WM_APP_SERVER_SOCKET, nullptr);
        conn_free_all();
        conn_timeout_seconds = 600;
        conn_probe_point = 120;
    }
    // A connection with its link up.
    Connection* connected_conn()
    {
        Connection* c = conn_new(nullptr);
        c->connected = 1;
        links_.push_back({c, std::make_unique<TestWire>()});
        EXPECT_TRUE(links_.back().wire->ok());
        links_.back().wire->attach(c);
        return c;
    }
    // The lines the connections sent so far, each connection's in order.
    std::vector<Sent> sent()
    {
        std::vector<Sent> out;
        for (Link& l : links_)
            for (const std::string& line : l.wire->lines())
                out.push_back({l.conn, line});
        return out;
    }

private:
    struct Link {
        Connection* conn;
        std::unique_ptr<TestWire> wire;
    };
    std::vector<Link> links_;
};

} // namespace

TEST(TickElapsed, ClockJumpsCountOneSecond)
{
    struct Case {
        long long last, now;
        int elapsed;
    };
    const Case cases[] = {
        {100, 101, 1}, {100, 103, 3}, {100, 100, 1},    {100, 50, 1},
        {100, 3700, 3600}, {100, 3701, 1}, {100, 100000, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.now - c.last);
        EXPECT_EQ(tick_elapsed(c.now, c.last), c.elapsed);
    }
}

TEST(TickCountdown, OneActsNextTickZeroNever)
{
    struct Case {
        int start;
        int due_on;  // tick number on which it acts, 0 never
    };
    const Case cases[] = {{1, 1}, {3, 3}, {0, 0}, {-2, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.start);
        int count = c.start;
        int acted_on = 0;
        for (int tick = 1; tick <= 5; ++tick)
            if (tick_countdown_step(count) && !acted_on)
                acted_on = tick;
        EXPECT_EQ(acted_on, c.due_on);
    }
}

TEST_F(Tick, PerConnectionTickGetsOneSecondAfterClockJumps)
{
    connected_conn();
    const long long steps[] = {1, 2, -30, 5000, 3600};
    std::vector<int> elapsed_seen;
    for (long long step : steps) {
        fake_now += step;
        const int before = online_seconds();
        frame_tick();
        elapsed_seen.push_back(online_seconds() - before);
    }
    EXPECT_EQ(elapsed_seen, (std::vector<int>{1, 2, 1, 1, 3600}));
}

TEST_F(Tick, CountdownsActOnTheTickTheyReachZero)
{
    static int dde = 0, dccserver = 0;
    dde = dccserver = 0;
    Listening<void()> dde_due(tick_dde_due, 0, [] { ++dde; });
    Listening<void()> dccserver_due(tick_dccserver_due, 0, [] { ++dccserver; });
    tick_dde_countdown = 1;
    tick_dccserver_countdown = 2;
    tick_ident_countdown = 4;
    ++fake_now;
    frame_tick();
    EXPECT_EQ(dde, 1);
    EXPECT_EQ(dccserver, 0);
    ++fake_now;
    frame_tick();
    frame_tick();
    EXPECT_EQ(dde, 1);
    EXPECT_EQ(dccserver, 1);
    EXPECT_EQ(tick_dde_countdown, 0);
    EXPECT_EQ(tick_dccserver_countdown, 0);
    EXPECT_EQ(tick_ident_countdown, 1);  // one step a tick, not yet due
}

TEST_F(Tick, RequestDialogTimesOut)
{
    static std::vector<QWidget*> cancelled;
    cancelled.clear();
    Listening<void(QWidget*)> timed_out(tick_request_timed_out, 0, [](QWidget* d) { cancelled.push_back(d); });
    tick_request_dialogs[0].countdown = 2;  // no window: nothing counts
    frame_tick();
    frame_tick();
    frame_tick();
    EXPECT_TRUE(cancelled.empty());
    EXPECT_EQ(tick_request_dialogs[0].countdown, 2);
}

TEST_F(Tick, SecondTickInsideTheFirstDoesNothing)
{
    static int inner_result = -1;
    static int steps = 0;
    steps = 0;
    inner_result = -1;
    // A slow step that lets messages be handled runs the tick again.
    Listening<void()> slow(tick_second, kTickLogDay, [] {
        ++steps;
        if (steps == 1)
            inner_result = frame_tick();
    });
    Connection* c = connected_conn();
    ++fake_now;
    frame_tick();
    EXPECT_EQ(steps, 1);
    EXPECT_NE(inner_result, 0);
    EXPECT_EQ(c->tick_seconds, 1);  // one per-connection tick
    EXPECT_EQ(tick_guard, 0);
    ++fake_now;
    frame_tick();
    EXPECT_EQ(steps, 2);
}

TEST_F(Tick, EveryWindowCountsOneSecondPerTickAndNoneInsideAnother)
{
    WindowRecord* a = win_record_new(1);
    WindowRecord* b = win_record_new(1);
    ASSERT_TRUE(a && b);
    // A tick that arrives inside another (from a slow step) counts nothing.
    static int steps = 0;
    steps = 0;
    Listening<void()> slow(tick_second, kTickLogDay, [] {
        if (++steps == 1)
            frame_tick();
    });
    for (int i = 0; i < 3; ++i) {
        ++fake_now;
        frame_tick();
    }
    EXPECT_EQ(steps, 3);
    EXPECT_EQ(a->seconds, 3);
    EXPECT_EQ(b->seconds, 3);
    WindowRecord* later = win_record_new(1);
    ASSERT_TRUE(later);
    EXPECT_EQ(later->seconds, 0);
    frame_tick();
    EXPECT_EQ(a->seconds, 4);
    EXPECT_EQ(later->seconds, 1);
    for (WindowRecord* rec : {a, b, later})
        win_record_free(rec);
}

TEST_F(Tick, StepsRunInTheirOrderAndThePerConnectionTickLast)
{
    static std::vector<std::string> order;
    order.clear();
    Listening<void()> last(tick_second, kTickSslPrompts, [] { order.push_back("ssl prompts"); });
    Listening<void()> first(tick_second, kTickWatcher, [] { order.push_back("watcher"); });
    Listening<void()> middle(tick_second, kTickLogDay, [] { order.push_back("log day"); });
    Listening<void(Connection*)> connection(conn_second, kSecondNickColours,
                                            [](Connection*) { order.push_back("connection"); });
    connected_conn();
    frame_tick();
    EXPECT_EQ(order, (std::vector<std::string>{"watcher", "log day", "ssl prompts", "connection"}));
}

TEST_F(Tick, UpdateCheckStartsOnceWhenNoDialogIsOpen)
{
    static int blocked = 1, started = 0;
    blocked = 1;
    started = 0;
    Listening<bool()> dialog_open(tick_update_check_blocked, 0, [] { return blocked != 0; });
    Listening<void()> start(tick_update_check_due, 0, [] { ++started; });
    frame_tick();
    EXPECT_EQ(started, 0);
    blocked = 0;
    frame_tick();
    frame_tick();
    EXPECT_EQ(started, 1);
    EXPECT_EQ(tick_update_check_pending, 0);
}

TEST_F(Tick, ProbeIsSentAfter480SilentSecondsAndDropsAfter120More)
{
    Connection* c = connected_conn();
    const int link = c->socket;
    for (int second = 1; second < 480; ++second)
        frame_tick();
    EXPECT_TRUE(sent().empty());
    // The probe is never held, not even while the flood guard waits for
    // its own check.
    opt_set(OPT_FLOOD_PROTECTION, 1);
    c->flood_check_out = 1;
    frame_tick();
    ASSERT_EQ(sent().size(), 1u);
    EXPECT_EQ(sent()[0].conn, c);
    EXPECT_EQ(sent()[0].line, "PING :TIMEOUTCHECK\n");
    EXPECT_TRUE(socket_events.empty());
    for (int second = 1; second < 120; ++second)
        frame_tick();
    EXPECT_TRUE(socket_events.empty());
    frame_tick();
    ASSERT_EQ(socket_events.size(), 1u);
    EXPECT_EQ(socket_events[0].first, link);
    EXPECT_EQ(socket_events[0].second & 0xFFFF, 1);          // read event
    EXPECT_EQ((socket_events[0].second >> 16) & 0xFFFF, 10101);  // disconnected
    EXPECT_EQ(c->timeout_countdown, 600);
    EXPECT_EQ(sent().size(), 1u);
}

TEST_F(Tick, ReplyToTheProbeResetsTheCountdown)
{
    Connection* c = connected_conn();
    for (int second = 1; second <= 500; ++second)
        frame_tick();
    EXPECT_EQ(c->timeout_countdown, 100);
    const std::string not_ours = "TIMEOUTCHECKX";
    EXPECT_EQ(conn_timeout_probe(&not_ours, c), 0);
    EXPECT_EQ(c->timeout_countdown, 100);
    const std::string reply = "TIMEOUTCHECK";
    EXPECT_EQ(conn_timeout_probe(&reply, c), 1);
    EXPECT_EQ(c->timeout_countdown, 600);
    Connection* gone = conn_new(nullptr);
    conn_free(gone);
    EXPECT_EQ(conn_timeout_probe(&reply, gone), 0);
}

TEST_F(Tick, LoweredTimeoutResetsWithoutAProbe)
{
    Connection* c = connected_conn();
    c->timeout_countdown = 600;
    conn_timeout_seconds = 121;  // the option was lowered
    conn_probe_point = 120;
    frame_tick();  // 599 is above 121: set back, no probe this second
    EXPECT_EQ(c->timeout_countdown, 121);
    EXPECT_TRUE(sent().empty());
    frame_tick();  // 120: the probe
    EXPECT_EQ(sent().size(), 1u);
}

TEST_F(Tick, ProbeOffOrNotConnectedSendsNothing)
{
    Connection* idle = conn_new(nullptr);
    Connection* c = connected_conn();
    opt_set(OPT_TIMEOUT_CHECK, 0);
    for (int i = 0; i < 700; ++i)
        frame_tick();
    opt_set(OPT_TIMEOUT_CHECK, opt_default(OPT_TIMEOUT_CHECK));
    EXPECT_TRUE(sent().empty());
    EXPECT_TRUE(socket_events.empty());
    EXPECT_EQ(c->timeout_countdown, 600);
    EXPECT_EQ(idle->timeout_countdown, 600);
}

TEST_F(Tick, ConnectTimeoutFreesOneAndTheOthersAreStillServed)
{
    Connection* a = conn_new(nullptr);
    Connection* b = conn_new(nullptr);
    Connection* c = connected_conn();
    a->connecting = 1;
    a->connect_seconds = 60;
    static std::vector<std::string> reasons;
    reasons.clear();
    // Closing the link of a timed-out connection frees its record here.
    Listening<void(int, Connection*)> closing(irc_link_stage, 1000, [](int stage, Connection* x) {
        if (stage != 2)
            return;
        reasons.push_back(x->reason);
        conn_free(x);
    });
    b->waiting_retry = 1;
    b->retry_delay = 2500;
    c->autojoin_countdown = 1;
    conn_queue_autojoin("#first", 0, c);
    frame_tick();
    ASSERT_EQ(reasons.size(), 1u);
    EXPECT_NE(reasons[0].find("Bağlantı Zamanı Aşıldı..."), std::string::npos) << reasons[0];
    EXPECT_EQ(conn_is_live(a), 0);
    EXPECT_EQ(b->retry_delay, 1500);
    EXPECT_EQ(b->tick_seconds, 1);
    EXPECT_EQ(c->tick_seconds, 1);
    EXPECT_EQ(c->autojoin_list, nullptr);  // the auto-join list was joined
    EXPECT_EQ(c->timeout_countdown, 599);
    // Each connection was served once; the auto-join does not come again.
    conn_queue_autojoin("#second", 0, c);
    frame_tick();
    EXPECT_EQ(b->tick_seconds, 2);
    EXPECT_EQ(c->tick_seconds, 2);
    ASSERT_NE(c->autojoin_list, nullptr);
    EXPECT_EQ(c->autojoin_list->text, "#second");
}

TEST_F(Tick, ConnectSecondsCountUntilTheLimit)
{
    Connection* a = conn_new(nullptr);
    a->connecting = 1;
    a->connect_seconds = 1;
    static int closed = 0;
    closed = 0;
    Listening<void(int, Connection*)> closing(irc_link_stage, 1000, [](int stage, Connection*) {
        if (stage == 2)
            ++closed;
    });
    for (int i = 0; i < 59; ++i)
        frame_tick();
    EXPECT_EQ(a->connect_seconds, 60);
    EXPECT_EQ(closed, 0);
    frame_tick();
    EXPECT_EQ(closed, 1);
    EXPECT_EQ(a->connecting, 0);
    EXPECT_NE(a->reason.find("Bağlantı Zamanı Aşıldı..."), std::string::npos) << a->reason;
    // Not counting (0) never times out.
    Connection* b = conn_new(nullptr);
    b->connecting = 1;
    for (int i = 0; i < 100; ++i)
        frame_tick();
    EXPECT_EQ(b->connect_seconds, 0);
}

TEST_F(Tick, FloodCheckIsGivenUpAfterSixtySeconds)
{
    Connection* c = connected_conn();
    c->flood_budget = 450;
    frame_tick();
    frame_tick();
    EXPECT_EQ(c->flood_budget, 250);
    c->flood_check_out = 1;
    // A line held by the flood guard goes out when the check is given up.
    FloodState* st = flood_state(c);
    ASSERT_NE(st, nullptr);
    st->queue = flood_queue_insert(st->queue, "PRIVMSG #held :line\n", 0);
    st->size = 1;
    for (int i = 0; i < 59; ++i)
        frame_tick();
    EXPECT_TRUE(sent().empty());
    EXPECT_EQ(c->flood_budget, 250);
    frame_tick();
    ASSERT_EQ(sent().size(), 1u);
    EXPECT_EQ(sent()[0].line, "PRIVMSG #held :line\n");
    EXPECT_EQ(c->flood_check_out, 0);
    // The counters start again from nothing; the released line is the
    // first to count.
    EXPECT_EQ(c->flood_budget, static_cast<int>(sent()[0].line.size()));
}

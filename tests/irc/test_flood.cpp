// Outgoing flood protection: which lines the gate holds and when, the probe
// and its PONG releasing held lines round by round, fair turns and limits for
// automatic replies, the one-second steps, the link reset, /flood, and a real
// socket with the test acting as the server.
#include <gtest/gtest.h>
#include "app/subsystems.h"

#include <QWidget>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "model/connection.h"
#include "irc/link/conn_tick.h"
#include "app/child_widgets.h"
#include "app/frame_proc.h"
#include "model/window_record.h"
#include "commands/flood_commands.h"
#include "commands/user_list_commands.h"
#include "core/main_settings.h"
#include "core/options.h"
#include "core/string_list.h"
#include "irc/dispatch/dispatcher.h"
#include "irc/dispatch/server_commands.h"
#include "irc/link/close.h"
#include "irc/link/connect.h"
#include "irc/link/flood.h"
#include "irc/link/send_queue.h"
#include "irc/lists/ignore_list.h"
#include "irc/numerics/isupport.h"
#include "platform/platform_test_env.h"
#include "platform/sockets.h"
#include "script/exec/script_types.h"
#include "model/line_buffer.h"
#include "script/events_fixture.h"
#include "support/test_wire.h"

namespace {

// ---- Captures ----

// The sender of the server line being handled: the test runs its sends
// from a script handler of a TEXT line from that sender.
std::string g_nick, g_address;
bool g_has_sender = false;
std::function<void()> g_in_handler;

int cmd_run_in_handler(CommandCall&)
{
    if (g_in_handler)
        g_in_handler();
    return 1;
}

// The masks on the ignore list, in order.
std::vector<std::string> ignored_masks()
{
    std::vector<std::string> out;
    for (const StringNode* n = main_settings.ignore_list; n; n = n->next)
        out.push_back(n->text.substr(0, n->text.find(',')));
    return out;
}
void ignore_list_clear()
{
    strlist_free(&main_settings.ignore_list);
    ignore_prune_timed();
}

// What reached the windows' buffers, one entry per print: the lines up to
// a closing separator (framed 1) count as one.
struct Printed {
    QWidget* window;
    std::vector<std::string> lines;
    int framed;
};
std::vector<Printed> g_printed;
int g_printed_listener = 0;
void follow_print(const LinePrinted& p)
{
    if (p.event != kPrintStored || !p.first_part)
        return;
    QWidget* window = p.rec->hwnd.get();
    const bool open = !g_printed.empty() && g_printed.back().window == window && !g_printed.back().framed;
    if (p.separator) {
        if (open)
            g_printed.back().framed = 1;   // an opening separator closes nothing
        return;
    }
    if (open)
        g_printed.back().lines.emplace_back(p.text);
    else
        g_printed.push_back({window, {std::string(p.text)}, 0});
}

const std::string kProbe = "PING :FLOODCHECK\n";

int probes_in(const std::vector<std::string>& lines)
{
    return static_cast<int>(std::count(lines.begin(), lines.end(), kProbe));
}

std::vector<std::string> queue_texts(Connection* conn)
{
    std::vector<std::string> out;
    if (FloodState* st = flood_state(conn))
        for (StringNode* n = st->queue; n; n = n->next)
            out.push_back(n->text);
    return out;
}

// ---- Fixture: the real send path and gate, writing to a wire ----

class Flood : public events_test::EventsTest {
protected:
    void SetUp() override
    {
        EventsTest::SetUp();
        platform_test_app();
        frame_proc_install();
        irc_link_install();
        app_wire_irc_link();
        irc_flood_install();
        app_wire_irc_flood();
        user_list_commands_register();
        script_register_command("runinhandler", cmd_run_in_handler);
        load_script("sender.kst", {"on *:TEXT:*:*:runinhandler"});
        event_switch_events = 1;
        line_printed.add_once(g_printed_listener, kPrintedMarker + 1, follow_print);
        options_reset();
        opt_set(OPT_FLOOD_PROTECTION, 1);
        g_has_sender = false;
        ignore_list_clear();
        g_printed.clear();
        g_in_handler = nullptr;
        ASSERT_TRUE(wire.ok());
        wire.attach(conn);
        conn->connected = 1;
        irc_state_new_link(conn);
        status = window("Status Window", kWinStatus, conn)->hwnd.get();
        conn->status_window = status;
    }
    void TearDown() override
    {
        for (WindowRecord* rec : windows_)
            win_record_free(rec);
        for (QWidget* w : widgets_)
            delete w;
        win_active = nullptr;
        pump_for(20);   // let posted continue messages find the record while it lives
        conn->socket = -1;
        conn->connected = 0;
        irc_flood_uninstall();
        line_printed.drop(g_printed_listener);
        g_in_handler = nullptr;
        ignore_list_clear();
        options_reset();
        EventsTest::TearDown();
    }

    void sender(const std::string& nick, const std::string& address)
    {
        g_has_sender = true;
        g_nick = nick;
        g_address = address;
    }
    // Runs a step as the handler of the sender's line would, when there is
    // a sender; else as the user would.
    void as_sender(const std::function<void()>& step)
    {
        if (!g_has_sender) {
            step();
            return;
        }
        EventLine l = text_line(g_nick, "me", "hello");
        l.address = g_address;
        l.source = g_nick + "!" + g_address;
        bool ran = false;
        g_in_handler = [&] {
            ran = true;
            step();
        };
        fire_line(l, "TEXT", kEvText, 0);
        g_in_handler = nullptr;
        EXPECT_TRUE(ran) << "the handler of the sender's line did not run";
    }
    int send(const std::string& line, int kind)
    {
        int result = -1;
        as_sender([&] { result = irc_send_line(line, kind, conn); });
        return result;
    }
    // The answer to the probe, through the dispatcher like a server line.
    void pong(const std::string& text = "FLOODCHECK")
    {
        irc_dispatch_line(":irc.test PONG irc.test :" + text, conn);
    }
    // Runs posted messages until the queue is empty or a new probe went out.
    void settle_round()
    {
        const int before = probes_in(wire.lines());
        pump_until([&] { return flood_queue_size(conn) == 0 || probes_in(wire.lines()) > before; }, 2000);
    }
    WindowRecord* window(const std::string& name, int type, Connection* owner)
    {
        WindowRecord* rec = win_record_new(1);
        rec->name = name;
        rec->type = type;
        rec->conn = owner;
        QWidget* w = new QWidget();
        widgets_.push_back(w);
        rec->hwnd = w;
        windows_.push_back(rec);
        win_create_text_area(rec);   // a window whose lines are stored
        return rec;
    }
    int flood(std::vector<std::string> args, int show = 1)
    {
        CommandCall call;
        call.tokens = {"flood"};
        call.tokens.insert(call.tokens.end(), args.begin(), args.end());
        call.conn = conn;
        call.show = show;
        return cmd_flood(call);
    }

    TestWire wire;
    QWidget* status = nullptr;

private:
    std::vector<WindowRecord*> windows_;
    std::vector<QWidget*> widgets_;
};

// ---- What the gate holds ----

TEST_F(Flood, KindAndSettingsDecideWhetherALineOverTheBudgetIsHeld)
{
    struct Case {
        const char* name;
        std::string line;
        int kind;
        int hold_own, hold_modes;
        bool has_sender;
        std::string nick;
        std::string held;   // the queued entry; empty: written at once
    } cases[] = {
        {"own message passes", "PRIVMSG #a :hi\n", 0, 0, 0, false, "", ""},
        {"own message held when own lines count", "PRIVMSG #a :hi\n", 0, 1, 0, false, "", "PRIVMSG #a :hi\n"},
        {"own notice after blanks held", "  notice bob :hi\n", 0, 1, 0, false, "", "  notice bob :hi\n"},
        {"own JOIN is never held", "JOIN #a\n", 0, 1, 0, false, "", ""},
        {"kind 2 held unchanged", "WHO #a\n", 2, 0, 0, false, "", "WHO #a\n"},
        {"MODE passes without the setting", "MODE #a +o bob\n", 1, 0, 0, true, "bob", ""},
        {"KICK passes without the setting", " KICK #a bob :x\n", 2, 0, 0, true, "bob", ""},
        {"MODE held with the setting", "MODE #a +o bob\n", 1, 0, 1, true, "bob",
         "bob@host.example MODE #a +o bob\n"},
        {"reply tied to its sender's host", "NOTICE bob :\x01VERSION x\x01\n", 1, 0, 0, true, "bob",
         "bob@host.example NOTICE bob :\x01VERSION x\x01\n"},
        {"reply with no line being handled", "NOTICE bob :y\n", 1, 0, 0, false, "", "@ NOTICE bob :y\n"},
        {"reply to our own line", "NOTICE me :y\n", 1, 0, 0, true, "ME", "@ NOTICE me :y\n"},
        {"probe kind never held", "PRIVMSG #a :x\n", 4, 1, 1, true, "bob", ""},
        {"time-out probe never held", "PING :TIMEOUTCHECK\n", 8, 1, 1, true, "bob", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        flood_clear(conn, 1);
        wire.clear();
        opt_set(OPT_FLOOD_HOLD_OWN, c.hold_own);
        opt_set(OPT_FLOOD_HOLD_MODES, c.hold_modes);
        g_has_sender = c.has_sender;
        g_nick = c.nick;
        g_address = "user@host.example";
        conn->flood_budget = 299;   // any line reaches the budget of 300
        EXPECT_EQ(send(c.line, c.kind), 1);
        if (c.held.empty()) {
            ASSERT_EQ(wire.lines().size(), 1u);
            EXPECT_EQ(wire.lines()[0], c.line);
            EXPECT_EQ(flood_queue_size(conn), 0);
            EXPECT_EQ(conn->flood_check_out, 0);
        } else {
            EXPECT_EQ(wire.lines(), std::vector<std::string>{kProbe});
            EXPECT_EQ(queue_texts(conn), std::vector<std::string>{c.held});
            EXPECT_EQ(conn->flood_check_out, 1);
        }
    }
}

TEST_F(Flood, BytesSentAndMeanLengthDecideWhenHoldingStarts)
{
    struct Case {
        const char* name;
        int budget, bytes, mean, length;
        bool held;
        int mean_after;   // after the probe (17 bytes) went out; -1: not checked
    } cases[] = {
        {"nothing counted yet: even a long line goes", 300, 0, 0, 400, false, -1},
        {"under the budget", 300, 100, 50, 50, false, -1},
        {"one byte short of the budget", 300, 249, 50, 50, false, -1},
        {"reaching the budget exactly", 300, 250, 50, 50, true, (50 + 17) / 2},
        {"long lines on average: the mean drops by half the budget", 300, 0, 500, 200, true, (350 + 17) / 2},
        {"average just under", 300, 0, 350, 249, false, -1},
        {"mean never below zero: the probe starts it afresh", 300, 0, 100, 600, true, 17},
        {"a larger budget", 500, 450, 50, 49, false, -1},
        {"a larger budget reached", 500, 450, 50, 50, true, -1},
    };
    sender("bob", "u@h.example");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        flood_clear(conn, 1);
        wire.clear();
        opt_set(OPT_FLOOD_BYTES, c.budget);
        conn->flood_budget = c.bytes;
        link_state(conn).mean_line_length = c.mean;
        const std::string line = "NOTICE bob :" + std::string(static_cast<std::size_t>(c.length) - 13, 'x') + "\n";
        ASSERT_EQ(static_cast<int>(line.size()), c.length);
        send(line, 1);
        EXPECT_EQ(flood_queue_size(conn), c.held ? 1 : 0);
        EXPECT_EQ(probes_in(wire.lines()), c.held ? 1 : 0);
        if (c.mean_after >= 0) {
            EXPECT_EQ(link_state(conn).mean_line_length, c.mean_after);
        }
    }
}

// The default budget: replies pass until about 300 bytes went out, then each
// round waits for the server's answer to the probe; the user's own lines
// are never kept waiting.
TEST_F(Flood, RepliesGoRoundByRoundOnlyAfterEachPong)
{
    opt_set(OPT_FLOOD_QUEUE_LINES, 100);
    opt_set(OPT_FLOOD_USER_LINES, 100);
    sender("bob", "u@h.example");
    std::vector<std::string> replies;
    for (int i = 0; i < 20; ++i) {
        std::string line = "NOTICE bob :reply " + std::to_string(100 + i) + " ";
        line += std::string(50 - 1 - line.size(), '.') + "\n";
        ASSERT_EQ(line.size(), 50u);
        replies.push_back(line);
        send(line, 1);
    }
    // Five lines make 250 bytes; the sixth would reach 300.
    ASSERT_EQ(wire.lines().size(), 6u);
    EXPECT_EQ(std::vector<std::string>(wire.lines().begin(), wire.lines().begin() + 5),
              std::vector<std::string>(replies.begin(), replies.begin() + 5));
    EXPECT_EQ(wire.lines()[5], kProbe);
    EXPECT_EQ(flood_queue_size(conn), 15);

    send("PRIVMSG #chan :my own words\n", 0);
    EXPECT_EQ(wire.lines().back(), "PRIVMSG #chan :my own words\n");

    pong("SOMETHING");
    pump_for(30);
    EXPECT_EQ(flood_queue_size(conn), 15) << "only the probe's own answer releases";

    std::vector<std::size_t> round_starts;
    for (int round = 0; round < 10 && flood_queue_size(conn) > 0; ++round) {
        const std::size_t before = wire.lines().size();
        pump_for(20);
        EXPECT_EQ(wire.lines().size(), before) << "nothing moves while the probe is out";
        round_starts.push_back(before);
        pong();
        settle_round();
    }
    EXPECT_EQ(flood_queue_size(conn), 0);
    EXPECT_GE(round_starts.size(), 2u);

    std::vector<std::string> sent_replies;
    int bytes_in_round = 0;
    for (std::size_t i = 0; i < wire.lines().size(); ++i) {
        const std::string& w = wire.lines()[i];
        if (w == kProbe) {
            bytes_in_round = 0;
            continue;
        }
        if (w.rfind("NOTICE", 0) == 0) {
            sent_replies.push_back(w);
            bytes_in_round += static_cast<int>(w.size());
            EXPECT_LT(bytes_in_round, 300 + 50) << "a round went past the budget";
        }
    }
    EXPECT_EQ(sent_replies, replies) << "every reply once, in order";
}

// ---- Automatic replies: limits, fairness, the flooding user ----

TEST_F(Flood, ElevenRequestsFromOneHostHoldTenAndDropTheEleventh)
{
    struct Case {
        const char* name;
        int ignore_seconds;
        std::string nick;
        std::vector<std::string> ignores;
    } cases[] = {
        {"only dropped", 0, "bob", {}},
        {"ignored for a minute", 60, "bob", {"*!*@evil.example"}},
        {"a server name is never ignored", 60, "irc.evil.example", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        flood_clear(conn, 1);
        ignore_list_clear();
        opt_set(OPT_FLOOD_IGNORE_SECONDS, c.ignore_seconds);
        conn->flood_check_out = 1;
        sender(c.nick, "x@evil.example");
        for (int i = 0; i < 11; ++i)
            EXPECT_EQ(send("NOTICE " + c.nick + " :\x01PING " + std::to_string(i) + "\x01\n", 1), 1);
        EXPECT_EQ(flood_queue_size(conn), 10);
        EXPECT_EQ(ignored_masks(), c.ignores);
        for (const std::string& mask : c.ignores) EXPECT_EQ(ignore_timed_seconds(mask), c.ignore_seconds);
        // Another nick on the same host shares the limit; another host does not.
        sender("bob2", "y@evil.example");
        send("NOTICE bob2 :x\n", 1);
        EXPECT_EQ(flood_queue_size(conn), 10);
        sender("carol", "z@fine.example");
        send("NOTICE carol :x\n", 1);
        EXPECT_EQ(flood_queue_size(conn), 11);
    }
}

TEST_F(Flood, UsersAskingAtOnceGetTheirRepliesInTurn)
{
    opt_set(OPT_FLOOD_HOLD_OWN, 1);
    conn->flood_check_out = 1;
    auto ask = [&](const std::string& who, int n) {
        sender(who, who + "@" + who + ".example");
        send("NOTICE " + who + " :answer " + std::to_string(n) + "\n", 1);
    };
    ask("a", 1);
    ask("a", 2);
    ask("a", 3);
    send("PRIVMSG #c :own line\n", 0);
    ask("b", 1);
    ask("b", 2);
    ask("b", 3);
    ask("c", 1);
    EXPECT_EQ(queue_texts(conn), (std::vector<std::string>{
                                     "a@a.example NOTICE a :answer 1\n",
                                     "b@b.example NOTICE b :answer 1\n",
                                     "c@c.example NOTICE c :answer 1\n",
                                     "a@a.example NOTICE a :answer 2\n",
                                     "b@b.example NOTICE b :answer 2\n",
                                     "a@a.example NOTICE a :answer 3\n",
                                     "PRIVMSG #c :own line\n",
                                     "b@b.example NOTICE b :answer 3\n",
                                 }));
    // Released without their prefixes, in that order.
    opt_set(OPT_FLOOD_BYTES, 999);
    wire.clear();
    pong();
    settle_round();
    EXPECT_EQ(wire.lines(), (std::vector<std::string>{
                             "NOTICE a :answer 1\n", "NOTICE b :answer 1\n", "NOTICE c :answer 1\n",
                             "NOTICE a :answer 2\n", "NOTICE b :answer 2\n", "NOTICE a :answer 3\n",
                             "PRIVMSG #c :own line\n", "NOTICE b :answer 3\n"}));
}

TEST_F(Flood, TooManyHeldRepliesLoseTheNewestButNeverTheHead)
{
    struct Case {
        const char* name;
        int most;
        std::vector<std::pair<std::string, int>> asks;   // user, count
        std::vector<std::string> kept;
    } cases[] = {
        {"two users over a limit of four", 4, {{"a", 3}, {"b", 3}},
         {"a@a NOTICE a :1\n", "PRIVMSG #own :kept\n", "b@b NOTICE b :1\n", "a@a NOTICE a :2\n",
          "b@b NOTICE b :2\n"}},
        {"a limit of nothing keeps the head", 0, {{"a", 3}}, {"a@a NOTICE a :1\n", "PRIVMSG #own :kept\n"}},
    };
    opt_set(OPT_FLOOD_HOLD_OWN, 1);
    opt_set(OPT_FLOOD_USER_LINES, 100);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        flood_clear(conn, 1);
        conn->flood_check_out = 1;
        opt_set(OPT_FLOOD_QUEUE_LINES, c.most);
        bool own_sent = false;
        for (const auto& [who, count] : c.asks) {
            for (int i = 1; i <= count; ++i) {
                sender(who, "u@" + who);
                send("NOTICE " + who + " :" + std::to_string(i) + "\n", 1);
                if (!own_sent) {
                    send("PRIVMSG #own :kept\n", 0);
                    own_sent = true;
                }
            }
        }
        EXPECT_EQ(queue_texts(conn), c.kept);
    }
}

// ---- Release and the probe's answer ----

TEST_F(Flood, OnlyTheExactProbeAnswerReleases)
{
    struct Case {
        const char* line;
        bool releases;
    } cases[] = {
        {":irc.test PONG irc.test :FLOODCHECK", true},
        {":irc.test PONG irc.test :floodcheck", false},
        {":irc.test PONG irc.test :FLOODCHECKS", false},
        {":irc.test PONG irc.test :TIMEOUTCHECK", false},
        {":irc.test PONG irc.test", false},
    };
    opt_set(OPT_FLOOD_HOLD_OWN, 1);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        flood_clear(conn, 1);
        conn->flood_check_out = 1;
        send("PRIVMSG #a :waiting\n", 0);
        ASSERT_EQ(flood_queue_size(conn), 1);
        wire.clear();
        irc_dispatch_line(c.line, conn);
        EXPECT_EQ(flood_queue_size(conn), c.releases ? 0 : 1);
        EXPECT_EQ(conn->flood_check_out, c.releases ? 0 : 1);
        EXPECT_EQ(wire.lines().size(), c.releases ? 1u : 0u);
    }
}

TEST_F(Flood, EntriesWithNothingAfterTheirPrefixAreSkipped)
{
    EXPECT_EQ(flood_classify("", 1, conn), 1);
    sender("bob", "u@h");
    as_sender([&] { EXPECT_EQ(flood_classify("PRIVMSG bob :still here\n", 1, conn), 1); });
    EXPECT_EQ(queue_texts(conn), (std::vector<std::string>{"@ ", "bob@h PRIVMSG bob :still here\n"}));
    flood_release(conn);
    EXPECT_EQ(wire.lines(), std::vector<std::string>{"PRIVMSG bob :still here\n"});
    EXPECT_EQ(flood_queue_size(conn), 0);
}

// Lines held while the probe stays unanswered are bounded: the queue never
// grows past its limit, whatever a script sends.
TEST_F(Flood, TheQueueNeverGrowsPastItsLimit)
{
    opt_set(OPT_FLOOD_HOLD_OWN, 1);
    conn->flood_check_out = 1;
    for (int i = 0; i < kFloodQueueMax + 500; ++i)
        EXPECT_EQ(send("PRIVMSG #a :" + std::to_string(i) + "\n", 0), 1);
    EXPECT_EQ(flood_queue_size(conn), kFloodQueueMax);
    const std::vector<std::string> held = queue_texts(conn);
    ASSERT_EQ(held.size(), static_cast<std::size_t>(kFloodQueueMax));
    EXPECT_EQ(held.front(), "PRIVMSG #a :0\n");
    EXPECT_EQ(held.back(), "PRIVMSG #a :" + std::to_string(kFloodQueueMax - 1) + "\n");
    EXPECT_TRUE(wire.lines().empty());
}

// A line that waited in the send queue and is then held must not leave the
// lines behind it waiting for a write event that no write will bring.
TEST_F(Flood, AHeldQueueHeadDoesNotStallTheLinesBehindIt)
{
    ASSERT_TRUE(wire.fill());
    send("NOTICE bob :held later\n", 0);
    send("JOIN #next\n", 0);
    ASSERT_EQ(strlist_count(conn->send_queue), 2);
    opt_set(OPT_FLOOD_HOLD_OWN, 1);
    conn->flood_check_out = 1;
    wire.clear();   // the server reads again
    irc_send_line(std::string(), 0, conn);   // the write-ready event
    EXPECT_EQ(queue_texts(conn), std::vector<std::string>{"NOTICE bob :held later\n"});
    EXPECT_TRUE(pump_until([this] { return !wire.lines().empty(); }, 2000));
    EXPECT_EQ(wire.lines(), std::vector<std::string>{"JOIN #next\n"});
    EXPECT_EQ(conn->send_queue, nullptr);
}

// ---- The one-second steps ----

TEST_F(Flood, AnUnansweredProbeIsGivenUpAfterSixtySeconds)
{
    opt_set(OPT_FLOOD_HOLD_OWN, 1);
    conn->flood_check_out = 1;
    conn->flood_budget = 300;
    send("PRIVMSG #a :one\n", 0);
    send("PRIVMSG #a :two\n", 0);
    wire.clear();
    for (int s = 1; s < 60; ++s)
        conn_tick_all(1);
    EXPECT_TRUE(wire.lines().empty());
    EXPECT_EQ(conn->flood_check_seconds, 59);
    EXPECT_EQ(conn->flood_budget, 300) << "no decay while the probe is out";
    conn_tick_all(1);
    EXPECT_EQ(conn->flood_check_out, 0);
    pump_until([&] { return flood_queue_size(conn) == 0; }, 2000);
    EXPECT_EQ(wire.lines(), (std::vector<std::string>{"PRIVMSG #a :one\n", "PRIVMSG #a :two\n"}));
    // With no probe out, bytes sent fall by 100 a second.
    conn->flood_budget = 250;
    conn_tick_all(1);
    EXPECT_EQ(conn->flood_budget, 150);
}

TEST_F(Flood, TheQueueSizeIsReportedWhenItChanges)
{
    opt_set(OPT_FLOOD_REPORT_QUEUE, 1);
    opt_set(OPT_FLOOD_HOLD_OWN, 1);
    conn->flood_check_out = 1;
    auto hold = [&](int n) {
        for (int i = 0; i < n; ++i)
            send("PRIVMSG #a :x\n", 0);
    };
    flood_tick(conn);
    EXPECT_TRUE(g_printed.empty()) << "nothing held, nothing shown";
    hold(3);
    flood_tick(conn);   // the last report was 0: shown at once
    ASSERT_EQ(g_printed.size(), 1u);
    EXPECT_EQ(g_printed[0].window, status);
    EXPECT_EQ(g_printed[0].lines, std::vector<std::string>{"* Flood koruması: 3 mesajlar sırada"});
    EXPECT_EQ(g_printed[0].framed, 1);
    hold(1);
    for (int s = 1; s < 10; ++s)
        flood_tick(conn);
    EXPECT_EQ(g_printed.size(), 1u) << "a change waits ten seconds after the last report";
    flood_tick(conn);
    ASSERT_EQ(g_printed.size(), 2u);
    EXPECT_EQ(g_printed[1].lines, std::vector<std::string>{"* Flood koruması: 4 mesajlar sırada"});
    for (int s = 0; s < 25; ++s)
        flood_tick(conn);
    EXPECT_EQ(g_printed.size(), 2u) << "an unchanged size is not repeated";

    // The active window takes the report when it is a channel or query of
    // this connection.
    Connection* other = conn_new(nullptr);
    struct Case {
        const char* name;
        int type;
        bool mine;
        bool shown_there;
    } cases[] = {
        {"own channel", kWinChannel, true, true},
        {"own query", kWinQuery, true, true},
        {"channel of another connection", kWinChannel, false, false},
        {"own custom window", kWinCustom, true, false},
    };
    int size = 4;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WindowRecord* rec = window("#w", c.type, c.mine ? conn : other);
        win_active = rec->hwnd.get();
        hold(1);
        ++size;
        for (int s = 0; s < 10; ++s)
            flood_tick(conn);
        ASSERT_FALSE(g_printed.empty());
        EXPECT_EQ(g_printed.back().window, c.shown_there ? rec->hwnd.get() : status);
        EXPECT_EQ(g_printed.back().lines,
                  std::vector<std::string>{"* Flood koruması: " + std::to_string(size) + " mesajlar sırada"});
    }
    win_active = nullptr;
    conn_free(other);
    const std::size_t shown = g_printed.size();
    opt_set(OPT_FLOOD_REPORT_QUEUE, 0);
    hold(1);
    for (int s = 0; s < 20; ++s)
        flood_tick(conn);
    EXPECT_EQ(g_printed.size(), shown);
}

TEST_F(Flood, HeldLinesGoWithTheLinkWhenItCloses)
{
    opt_set(OPT_FLOOD_HOLD_OWN, 1);
    conn->flood_check_out = 1;
    conn->flood_check_seconds = 12;
    send("PRIVMSG #a :1\n", 0);
    send("PRIVMSG #a :2\n", 0);
    ASSERT_EQ(flood_queue_size(conn), 2);
    conn_reset_stage(2, conn);
    EXPECT_EQ(flood_queue_size(conn), 0);
    EXPECT_EQ(conn->flood_check_out, 0) << "a new link must not start out holding";
    EXPECT_EQ(conn->flood_check_seconds, 0);
}

// ---- /flood ----

TEST_F(Flood, FloodCommandSwitchesSetsAndShows)
{
    struct Case {
        const char* name;
        std::vector<std::string> args;
        int on, ctcp;
        int values[4];
        int queue_after;
        std::vector<std::string> shown;
        int framed;
    } cases[] = {
        {"no argument shows both", {}, 1, 1, {777, 44, 5, 9}, 2,
         {"* Ctcp koruması açık", "* Tekrar Koruması Açık", "* Başlatan: 777, Sırası: 44, Kullanıcı: 5, Ignore: 9",
          "* 2 Mesaj Sırada Bekliyor"}, 1},
        {"-c alone shows the CTCP state only", {"-c"}, 1, 0, {777, 44, 5, 9}, 2, {"* Ctcp koruması kapalı"}, 1},
        {"+C alone", {"+C"}, 1, 1, {777, 44, 5, 9}, 2, {"* Ctcp koruması açık"}, 1},
        {"four values", {"500", "20", "5", "60"}, 1, 1, {500, 20, 5, 60}, 2,
         {"* Tekrar Koruması Açık", "* Başlatan: 500, Sırası: 20, Kullanıcı: 5, Ignore: 60",
          "* 2 Mesaj Sırada Bekliyor"}, 1},
        {"values out of range are not taken", {"99", "0", "-1", "-1"}, 1, 1, {300, 30, 10, 0}, 2,
         {"* Tekrar Koruması Açık", "* Başlatan: 300, Sırası: 30, Kullanıcı: 10, Ignore: 0",
          "* 2 Mesaj Sırada Bekliyor"}, 1},
        {"the smallest values taken", {"100", "1", "1", "0"}, 1, 1, {100, 1, 1, 0}, 2,
         {"* Tekrar Koruması Açık", "* Başlatan: 100, Sırası: 1, Kullanıcı: 1, Ignore: 0",
          "* 2 Mesaj Sırada Bekliyor"}, 1},
        {"one number resets the others", {"400"}, 1, 1, {400, 30, 10, 0}, 2,
         {"* Tekrar Koruması Açık", "* Başlatan: 400, Sırası: 30, Kullanıcı: 10, Ignore: 0",
          "* 2 Mesaj Sırada Bekliyor"}, 1},
        {"-c with a number", {"-c", "250"}, 1, 0, {250, 30, 10, 0}, 2,
         {"* Ctcp koruması kapalı", "* Tekrar Koruması Açık",
          "* Başlatan: 250, Sırası: 30, Kullanıcı: 10, Ignore: 0", "* 2 Mesaj Sırada Bekliyor"}, 1},
        {"off empties the held lines", {"off"}, 0, 1, {777, 44, 5, 9}, 0, {"* Tekrar Koruması Kapalı"}, 0},
        {"+c off", {"+c", "OFF"}, 0, 1, {777, 44, 5, 9}, 0,
         {"* Ctcp koruması açık", "* Tekrar Koruması Kapalı"}, 0},
        {"clear empties only", {"clear"}, 1, 1, {777, 44, 5, 9}, 0, {"* Tekrar Ayarları Temizlendi"}, 0},
        {"on keeps the values", {"on"}, 1, 1, {777, 44, 5, 9}, 2,
         {"* Tekrar Koruması Açık", "* Başlatan: 777, Sırası: 44, Kullanıcı: 5, Ignore: 9",
          "* 2 Mesaj Sırada Bekliyor"}, 1},
        {"an unknown word only shows", {"maybe"}, 1, 1, {777, 44, 5, 9}, 2,
         {"* Tekrar Koruması Açık", "* Başlatan: 777, Sırası: 44, Kullanıcı: 5, Ignore: 9",
          "* 2 Mesaj Sırada Bekliyor"}, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        options_reset();
        opt_set(OPT_FLOOD_PROTECTION, 1);
        opt_set(OPT_FLOOD_HOLD_OWN, 1);
        opt_set(OPT_FLOOD_BYTES, 777);
        opt_set(OPT_FLOOD_QUEUE_LINES, 44);
        opt_set(OPT_FLOOD_USER_LINES, 5);
        opt_set(OPT_FLOOD_IGNORE_SECONDS, 9);
        flood_clear(conn, 1);
        conn->flood_check_out = 1;
        send("PRIVMSG #a :1\n", 0);
        send("PRIVMSG #a :2\n", 0);
        g_printed.clear();
        EXPECT_EQ(flood(c.args), 1);
        EXPECT_EQ(opt(OPT_FLOOD_PROTECTION), c.on);
        EXPECT_EQ(opt(OPT_FLOOD_ANSWER_CTCPS), c.ctcp);
        EXPECT_EQ(opt(OPT_FLOOD_BYTES), c.values[0]);
        EXPECT_EQ(opt(OPT_FLOOD_QUEUE_LINES), c.values[1]);
        EXPECT_EQ(opt(OPT_FLOOD_USER_LINES), c.values[2]);
        EXPECT_EQ(opt(OPT_FLOOD_IGNORE_SECONDS), c.values[3]);
        EXPECT_EQ(flood_queue_size(conn), c.queue_after);
        ASSERT_EQ(g_printed.size(), 1u);
        EXPECT_EQ(g_printed[0].lines, c.shown);
        EXPECT_EQ(g_printed[0].framed, c.framed);
    }
    // The dot form changes without showing anything.
    g_printed.clear();
    EXPECT_EQ(flood({"off"}, 0), 1);
    EXPECT_EQ(opt(OPT_FLOOD_PROTECTION), 0);
    EXPECT_TRUE(g_printed.empty());
}

TEST_F(Flood, FloodOffShowsOffWhenNothingElseWasAsked)
{
    opt_set(OPT_FLOOD_PROTECTION, 0);
    EXPECT_EQ(flood({}), 1);
    ASSERT_EQ(g_printed.size(), 1u);
    EXPECT_EQ(g_printed[0].lines, (std::vector<std::string>{"* Ctcp koruması açık", "* Tekrar Koruması Kapalı"}));
    // A line is written at once while protection is off, whatever the counters say.
    conn->flood_check_out = 1;
    sender("bob", "u@h");
    send("NOTICE bob :now\n", 1);
    EXPECT_EQ(wire.lines(), std::vector<std::string>{"NOTICE bob :now\n"});
}

// ---- A real socket, the test acting as the server ----

int listen_loopback(int& port)
{
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(fd, 4) != 0) {
        ::close(fd);
        return -1;
    }
    socklen_t len = sizeof a;
    getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    port = ntohs(a.sin_port);
    return fd;
}

int accept_within(int listener, int ms)
{
    pollfd p{listener, POLLIN, 0};
    if (::poll(&p, 1, ms) <= 0)
        return -1;
    int fd = ::accept(listener, nullptr, nullptr);
    if (fd >= 0)
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    return fd;
}

// The server side: complete lines read so far.
struct Peer {
    int fd = -1;
    std::string partial;
    std::vector<std::string> lines;

    void read()
    {
        char buf[4096];
        for (;;) {
            ssize_t n = ::recv(fd, buf, sizeof buf, 0);
            if (n <= 0)
                break;
            partial.append(buf, static_cast<std::size_t>(n));
        }
        std::size_t nl;
        while ((nl = partial.find('\n')) != std::string::npos) {
            lines.push_back(partial.substr(0, nl + 1));
            partial.erase(0, nl + 1);
        }
    }
    void say(const std::string& line) { ASSERT_EQ(::send(fd, line.data(), line.size(), 0), static_cast<ssize_t>(line.size())); }
    std::vector<std::string> messages() const
    {
        std::vector<std::string> out;
        for (const std::string& l : lines)
            if (l.rfind("PRIVMSG ", 0) == 0)
                out.push_back(l);
        return out;
    }
};

class FloodSocket : public Flood {
protected:
    void SetUp() override
    {
        Flood::SetUp();
        conn->socket = -1;
        conn->connected = 0;
        listener_ = listen_loopback(port_);
        ASSERT_GE(listener_, 0);
        int s = sock_create(AF_INET, SOCK_STREAM);
        ASSERT_NE(s, INVALID_SOCKET);
        SockAddr addr;
        ASSERT_EQ(sockaddr_from_text("127.0.0.1", port_, addr), 1);
        sock_connect(s, addr);
        peer.fd = accept_within(listener_, 3000);
        ASSERT_GE(peer.fd, 0);
        conn->socket = s;
        conn->connected = 1;
        sock_async_select(s, WM_APP_SERVER_SOCKET, FD_READ | FD_WRITE | FD_CLOSE);
        opt_set(OPT_FLOOD_HOLD_OWN, 1);
    }
    void TearDown() override
    {
        if (conn->socket != -1)
            sock_close(conn->socket);
        conn->socket = -1;
        if (peer.fd >= 0)
            ::close(peer.fd);
        if (listener_ >= 0)
            ::close(listener_);
        Flood::TearDown();
    }
    // Waits until the server has read a line that satisfies the test.
    bool wait_for(const std::function<bool()>& done, int ms = 30000)
    {
        return pump_until([&] {
            peer.read();
            return done();
        }, ms);
    }

    Peer peer;
    std::vector<std::string> burst;

private:
    int listener_ = -1;
    int port_ = 0;
};

TEST_F(FloodSocket, ABurstIsPacedByTheProbeAndArrivesWholeAndInOrder)
{
    for (int i = 0; i < 50; ++i) {
        std::string line = "PRIVMSG #t :burst line " + std::to_string(1000 + i) + " of fifty\n";
        burst.push_back(line);
        irc_send_line(line, 0, conn);
    }
    int rounds = 0;
    std::size_t seen = 0;
    for (int guard = 0; guard < 100 && peer.messages().size() < burst.size(); ++guard) {
        ASSERT_TRUE(wait_for([&] {
            return probes_in(peer.lines) > rounds || peer.messages().size() == burst.size();
        })) << "neither the probe nor the last line came";
        if (peer.messages().size() == burst.size())
            break;
        ++rounds;
        // Nothing follows the probe until the server answers it.
        const std::size_t before = peer.messages().size();
        pump_until([&] { peer.read(); return false; }, 60);
        EXPECT_EQ(peer.messages().size(), before) << "a line went out before the answer";
        int bytes = 0;
        for (std::size_t i = seen; i < before; ++i)
            bytes += static_cast<int>(peer.messages()[i].size());
        EXPECT_LT(bytes, 300 + 40) << "round " << rounds << " went past the budget";
        seen = before;
        peer.say(":irc.test PONG irc.test :FLOODCHECK\r\n");
    }
    EXPECT_EQ(peer.messages(), burst) << "lines lost, doubled or out of order";
    EXPECT_GE(rounds, 5);
    EXPECT_EQ(flood_queue_size(conn), 0);
}

TEST_F(FloodSocket, FloodOffEmptiesTheHeldLinesAndLetsNewLinesThrough)
{
    for (int i = 0; i < 50; ++i) {
        std::string line = "PRIVMSG #t :burst line " + std::to_string(1000 + i) + " of fifty\n";
        burst.push_back(line);
        irc_send_line(line, 0, conn);
    }
    ASSERT_TRUE(wait_for([&] { return probes_in(peer.lines) == 1; }));
    const std::vector<std::string> first_round = peer.messages();
    ASSERT_LT(first_round.size(), burst.size());
    ASSERT_GT(flood_queue_size(conn), 0);

    EXPECT_EQ(flood({"off"}), 1);
    EXPECT_EQ(flood_queue_size(conn), 0);
    irc_send_line("PRIVMSG #t :after off\n", 0, conn);
    ASSERT_TRUE(wait_for([&] { return !peer.messages().empty() && peer.messages().back() == "PRIVMSG #t :after off\n"; }));
    // A late answer to the probe finds nothing to release.
    peer.say(":irc.test PONG irc.test :FLOODCHECK\r\n");
    pump_until([&] { peer.read(); return false; }, 100);
    std::vector<std::string> expected = first_round;
    expected.push_back("PRIVMSG #t :after off\n");
    EXPECT_EQ(peer.messages(), expected);
}

} // namespace

// The connection list: liveness, lookups, stale pointers, the current
// connection, recent channels, the auto-join list and connection switching.
#include "model/connection.h"
#include "irc/lists/channel_central_request.h"
#include "irc/link/connections.h"
#include "model/window_record.h"
#include "core/string_list.h"
#include "irc/link/close.h"
#include "irc/lists/servers.h"
#define KEST_TEST_WIDGETS
#include "support/hook_guard.h"
#include "support/test_support.h"
#include "support/window_fixture.h"
#include "support/test_wire.h"
#include "app/window_open.h"
#include "app/child_widgets.h"
#include "commands/connection_switch_commands.h"
#include "identifiers/builtin_identifiers.h"
#include "identifiers/connection_identifiers.h"
#include "script/exec/script_errors.h"
#include "script/exec/script_types.h"

#include <QApplication>
#include <QWidget>

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <strings.h>
#include <memory>
#include <string>
#include <vector>

namespace {

// The lines a window shows, oldest first (separators read as empty).
std::vector<std::string> lines_of(QWidget* window)
{
    std::vector<std::string> out;
    WindowRecord* rec = win_record_of(window);
    for (const StringNode* n = rec ? rec->lines : nullptr; n; n = n->next)
        out.push_back(n->text);
    return out;
}

// The last line a window shows; empty when it shows none.
std::string last_line(QWidget* window)
{
    const std::vector<std::string> lines = lines_of(window);
    return lines.empty() ? std::string() : lines.back();
}

class Connections : public ::testing::Test {
protected:
    HookGuard hooks_;  // every seam back as it was when the test ends

    void SetUp() override
    {
        test_app();
        conn_free_all();
        win_active = nullptr;
    }
    void TearDown() override
    {
        conn_free_all();
        while (win_list)
            win_record_free(win_list);
        win_active = nullptr;
        widgets.clear();
        links.clear();
    }
    // The program end of a new link: a socket number no other part of the
    // process holds.
    int link()
    {
        links.push_back(std::make_unique<TestWire>());
        EXPECT_TRUE(links.back()->ok());
        return links.back()->socket();
    }
    // The lines sent on the link of that program end.
    std::vector<std::string> sent_on(int socket)
    {
        for (auto& l : links)
            if (l->socket() == socket) return l->lines();
        return {};
    }
    QWidget* window_of(Connection* c)
    {
        widgets.push_back(std::make_unique<QWidget>());
        // A window record of the window list, owned by the connection.
        WindowRecord* rec = win_record_new(1);
        rec->hwnd = widgets.back().get();
        rec->conn = c;
        return widgets.back().get();
    }
    std::vector<std::unique_ptr<QWidget>> widgets;
    std::vector<std::unique_ptr<TestWire>> links;
};

} // namespace

TEST_F(Connections, ListKeepsCreationOrderAndUniqueIds)
{
    Connection* a = conn_new(nullptr);
    Connection* b = conn_new(a);
    Connection* c = conn_new(nullptr);
    ASSERT_TRUE(a && b && c);
    EXPECT_EQ(conn_list, a);
    EXPECT_EQ(conn_count(), 3);
    EXPECT_EQ(conn_by_position(1), a);
    EXPECT_EQ(conn_by_position(2), b);
    EXPECT_EQ(conn_by_position(3), c);
    EXPECT_EQ(conn_by_position(4), nullptr);
    EXPECT_EQ(conn_by_position(0), nullptr);
    EXPECT_NE(a->id, b->id);
    EXPECT_NE(b->id, c->id);
    EXPECT_NE(a->id, c->id);
    for (Connection* x : {a, b, c}) {
        EXPECT_EQ(conn_by_id(x->id), x);
        EXPECT_EQ(x->socket, -1);
        EXPECT_EQ(x->ident_address, -1);
        EXPECT_EQ(x->timeout_countdown, conn_timeout_seconds);
        EXPECT_EQ(x->user_modes, "[+]");
        EXPECT_EQ(x->debug_colour, 0x1000B);
    }
}

TEST_F(Connections, FreedRecordReadsAsNoneEverywhere)
{
    Connection* a = conn_new(nullptr);
    Connection* b = conn_new(nullptr);
    Connection* c = conn_new(nullptr);
    a->status_window = window_of(a);
    win_active = a->status_window.data();
    const int b_link = link();
    b->socket = b_link;
    b->lookup_handle = 33;
    b->connect_timer_id = 201;
    b->connected = 1;
    int id = b->id;
    conn_free(b);
    EXPECT_EQ(conn_is_live(b), 0);
    EXPECT_EQ(conn_count(), 2);
    EXPECT_EQ(a->next, c);
    EXPECT_EQ(conn_by_id(id), nullptr);
    EXPECT_EQ(conn_by_socket(b_link), nullptr);
    EXPECT_EQ(conn_by_lookup_handle(33), nullptr);
    EXPECT_EQ(conn_by_connect_timer(201), nullptr);
    // Every operation on the stale pointer is a quiet "none".
    EXPECT_EQ(conn_is_connected(b), 0);
    EXPECT_EQ(conn_is_connecting(b), 0);
    EXPECT_EQ(conn_has_local_ip(b), 0);
    EXPECT_EQ(conn_check_connected(nullptr, b), 1);
    EXPECT_EQ(conn_check_local_host(nullptr, b), 1);
    std::string net;
    EXPECT_EQ(conn_get_network(net, b), 0);
    EXPECT_EQ(conn_queue_autojoin("#x", 0, b), 0);
    EXPECT_EQ(conn_recent_find("#x", b), nullptr);
    EXPECT_TRUE(lines_of(a->status_window.data()).empty());
    conn_free(b);  // a second free does nothing
    EXPECT_EQ(conn_count(), 2);
    Connection* stale = b;
    EXPECT_EQ(conn_validate_or_current(&stale), 1);
    EXPECT_EQ(stale, a);
}

TEST_F(Connections, LookupsBySocketHandleAndTimer)
{
    Connection* a = conn_new(nullptr);
    Connection* b = conn_new(nullptr);
    const int b_link = link();
    const int unused_link = link();
    b->socket = b_link;
    a->lookup_handle = 5;
    b->connect_timer_id = 210;
    EXPECT_EQ(conn_by_socket(-1), nullptr);  // both have no socket; -1 never matches
    a->socket = -1;
    EXPECT_EQ(conn_by_socket(b_link), b);
    EXPECT_EQ(conn_by_socket(unused_link), nullptr);
    EXPECT_EQ(conn_by_lookup_handle(5), a);
    EXPECT_EQ(conn_by_lookup_handle(0), nullptr);
    EXPECT_EQ(conn_by_connect_timer(210), b);
    EXPECT_EQ(conn_by_connect_timer(0), nullptr);
}

TEST_F(Connections, StatesAndFirstConnected)
{
    Connection* a = conn_new(nullptr);
    Connection* b = conn_new(nullptr);
    struct Case {
        const char* name;
        int connected, socket, connecting, waiting, timer;  // socket: 1 a link, -1 none
        int is_connected, is_connecting;
    };
    const Case cases[] = {
        {"idle", 0, -1, 0, 0, 0, 0, 0},
        {"flag without socket", 1, -1, 0, 0, 0, 0, 0},
        {"connected", 1, 1, 0, 0, 0, 1, 0},
        {"connecting", 0, -1, 1, 0, 0, 0, 1},
        {"waiting to retry", 0, -1, 0, 1, 0, 0, 1},
        {"connect timer", 0, -1, 0, 0, 300, 0, 1},
    };
    const int b_link = link();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        b->connected = c.connected;
        b->socket = c.socket == 1 ? b_link : -1;
        b->connecting = c.connecting;
        b->waiting_retry = c.waiting;
        b->connect_timer_id = c.timer;
        EXPECT_EQ(conn_is_connected(b), c.is_connected);
        EXPECT_EQ(conn_is_connecting(b), c.is_connecting);
        EXPECT_EQ(conn_first_connected(), c.is_connected ? b : nullptr);
    }
    EXPECT_EQ(conn_current(), a);
    EXPECT_EQ(conn_current_state(), 0);
    a->in_progress[1] = 1;
    EXPECT_EQ(conn_any_in_progress(), 1);
}

TEST_F(Connections, CurrentConnectionFollowsTheActiveWindow)
{
    Connection* a = conn_new(nullptr);
    Connection* b = conn_new(nullptr);
    QWidget* status_a = window_of(a);
    QWidget* status_b = window_of(b);
    QWidget* chan_b = window_of(b);
    a->status_window = status_a;
    b->status_window = status_b;

    EXPECT_EQ(conn_current(), a);
    EXPECT_EQ(conn_current_window(), status_a);

    win_active = chan_b;
    EXPECT_EQ(conn_current(), b);
    EXPECT_EQ(conn_current_window(), chan_b);

    // No active window: the remembered one stays.
    win_active = nullptr;
    EXPECT_EQ(conn_current(), b);
    EXPECT_EQ(conn_current_window(), chan_b);

    // The remembered window moved to another connection: the status window.
    win_record_of(chan_b)->conn = a;
    EXPECT_EQ(conn_current(), b);
    EXPECT_EQ(conn_current_window(), status_b);

    // The remembered connection is freed: the first, with its status window.
    win_record_free(win_record_of(status_b));
    conn_free(b);
    EXPECT_EQ(conn_current(), a);
    EXPECT_EQ(conn_current_window(), status_a);

    // A window with no record falls back to the current connection's window.
    std::unique_ptr<QWidget> loose(new QWidget);
    QWidget* w = loose.get();
    EXPECT_EQ(conn_for_window_or_current(&w), a);
    EXPECT_EQ(w, status_a);
    EXPECT_EQ(conn_status_window_of(loose.get()), status_a);
}

TEST_F(Connections, WindowOfAFreedConnectionHasNone)
{
    Connection* a = conn_new(nullptr);
    Connection* b = conn_new(nullptr);
    QWidget* wb = window_of(b);
    EXPECT_EQ(conn_of_window(wb), b);
    // The record stays (the window manager, which would close or move it,
    // is not listening here).
    win_connections_uninstall();
    conn_free(b);
    win_connections_install();
    EXPECT_EQ(conn_of_window(wb), nullptr);
    EXPECT_EQ(conn_of_window(nullptr), nullptr);
    (void)a;
}

TEST_F(Connections, NewConnectionCopiesTheSiblingsSettings)
{
    Connection* a = conn_new(nullptr);
    const char* stored[10] = {"user", "mail", "nick", "alt", "fifth", "irc.example.net", "Example",
                              "ExampleNet", "pass", "+6697"};
    for (int i = 0; i < 10; ++i)
        a->stored_identity[i] = stored[i];
    a->stored_local_host = "host.local";
    a->stored_local_ip_text = "10.0.0.1";
    a->stored_local_ip = 0x0A000001;
    Connection* b = conn_new(nullptr);  // not live: the first serves
    ASSERT_TRUE(b);
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(b->stored_identity[i], stored[i]);
    EXPECT_EQ(b->server_name, "irc.example.net");
    EXPECT_EQ(b->live_identity[2], "nick");
    EXPECT_EQ(b->live_server[4], "+6697");
    EXPECT_EQ(b->ssl, 1);
    EXPECT_EQ(b->group_flag, 1);
    EXPECT_EQ(b->local_ip, 0x0A000001u);
    EXPECT_EQ(b->local_host, "host.local");
}

TEST_F(Connections, NetworkNameAndFindByNetwork)
{
    Connection* a = conn_new(nullptr);
    Connection* b = conn_new(nullptr);
    struct Case {
        const char* name;
        int connected;
        const char* network;
        const char* group;
        const char* server;
        const char* expected;
        int result;
    };
    const Case cases[] = {
        {"connected with network", 1, "Libera", "grp", "srv", "Libera", 1},
        {"not connected: the group", 0, "Libera", "grp", "srv", "grp", 1},
        {"numeric group: the server", 0, "", "12", "srv", "srv", 1},
        {"connected without network", 1, "", "", "srv", "srv", 1},
        {"nothing", 0, "", "", "", "", 0},
    };
    const int b_link = link();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        b->connected = c.connected;
        b->socket = c.connected ? b_link : -1;
        b->network = c.network;
        b->live_server[2] = c.group;
        b->server_name = c.server;
        std::string out = "pre:";
        EXPECT_EQ(conn_get_network(out, b), c.result);
        EXPECT_EQ(out, std::string("pre:") + c.expected);
    }
    a->server_name = "irc.one.net";
    a->network = "One";
    b->server_name = "irc.two.net";
    b->network = "";
    b->live_server[2] = "TwoGroup";
    EXPECT_EQ(conn_find_by_network("irc.two.net"), b);
    EXPECT_EQ(conn_find_by_network("one"), a);
    EXPECT_EQ(conn_find_by_network("twogroup"), b);
    EXPECT_EQ(conn_find_by_network("none"), nullptr);
    // A name the server list files under a group finds the connection of
    // that group.
    EXPECT_EQ(conn_find_by_network("TwoNet"), nullptr);
    ServerEntry entry;
    entry.description = "Two";
    entry.host = "TwoNet";
    entry.ports = "6667";
    entry.group = "TwoGroup";
    StringNode* saved = servers_list();
    servers_list() = strlist_append(nullptr, std::string_view(servers_entry_text(entry)), 0);
    EXPECT_EQ(conn_find_by_network("TwoNet"), b);
    strlist_free(&servers_list());
    servers_list() = saved;
}

TEST_F(Connections, CheckConnectedPrintsWhereItShould)
{
    // Real windows of the window manager: lines land in their buffers.
    window_test_mdi();
    Connection* a = window_test_conn();
    ASSERT_NE(a, nullptr);
    QWidget* status = a->status_window.data();
    WindowRecord* chan_rec = window_test_open("#where", kWinChannel, 0, a);
    ASSERT_NE(chan_rec, nullptr);
    QWidget* chan = chan_rec->hwnd.get();
    std::unique_ptr<QWidget> loose(new QWidget);

    // The status window shows only what it showed before (its log's notice).
    const std::vector<std::string> status_before = lines_of(status);
    EXPECT_EQ(conn_check_connected(chan, a), 1);
    EXPECT_EQ(last_line(chan), "* Servere Bağlı Değilsiniz");
    EXPECT_EQ(lines_of(status), status_before);
    // A window without a record: the line goes to the status window.
    EXPECT_EQ(conn_check_connected(loose.get(), a), 1);
    // The status window frames the line with separators.
    const std::vector<std::string> status_shows = lines_of(status);
    EXPECT_NE(std::find(status_shows.begin(), status_shows.end(), "* Servere Bağlı Değilsiniz"), status_shows.end());
    const std::size_t chan_lines = lines_of(chan).size();
    const std::size_t status_lines = lines_of(status).size();
    a->connected = 1;
    a->socket = link();
    EXPECT_EQ(conn_check_connected(chan, a), 0);
    EXPECT_EQ(lines_of(chan).size(), chan_lines);
    EXPECT_EQ(lines_of(status).size(), status_lines);

    a->resolving_local_host = 1;
    EXPECT_EQ(conn_check_local_host(chan, a), 1);
    EXPECT_EQ(last_line(chan), "* Yerel Sunucu (LocaL Host) Çözülmeye Çalışılıyor...");
    a->resolving_local_host = 0;
    EXPECT_EQ(conn_check_local_host(chan, a), 1);
    EXPECT_EQ(last_line(chan), "* Yerel Sunucu (LocaL Host) Çözülemedi");
    a->local_ip = 1;
    const std::size_t before = lines_of(chan).size();
    EXPECT_EQ(conn_check_local_host(chan, a), 0);
    EXPECT_EQ(lines_of(chan).size(), before);
    a->socket = -1;
    window_test_reset();
}

TEST_F(Connections, RecentChannelsKeepTwentyLatestFirstAcrossTheNetwork)
{
    Connection* a = conn_new(nullptr);
    Connection* b = conn_new(nullptr);
    Connection* other = conn_new(nullptr);
    a->network = "Net";
    b->network = "net";
    other->network = "Elsewhere";
    for (int i = 0; i < 25; ++i)
        conn_recent_note_joins("#c" + std::to_string(i), a);
    conn_recent_note_joins(" #c20 , #C24 key ,nochan", a);  // again: moves first, no duplicate
    for (Connection* c : {a, b}) {
        SCOPED_TRACE(c == a ? "a" : "b");
        ASSERT_EQ(c->recent_channels.size(), 20u);
        EXPECT_EQ(c->recent_channels[0].text, "#C24 key");
        EXPECT_EQ(c->recent_channels[1].text, "#c20");
        EXPECT_EQ(c->recent_channels[2].text, "#c23");
        EXPECT_EQ(c->recent_channels.back().text, "#c5");
        EXPECT_EQ(c->recent_network[0], "Net");
        std::vector<std::string> sorted = conn_recent_sorted(c);
        ASSERT_EQ(sorted.size(), 20u);
        for (std::size_t i = 1; i < sorted.size(); ++i)
            EXPECT_LT(strcasecmp(sorted[i - 1].c_str(), sorted[i].c_str()), 0);
    }
    EXPECT_TRUE(other->recent_channels.empty());
    ASSERT_NE(conn_recent_find("#c24", b), nullptr);
    EXPECT_EQ(conn_recent_find("#c4", b), nullptr);

    // A new connection of the same network starts with the list.
    Connection* c = conn_new(nullptr);
    c->network = "NET";
    conn_recent_copy_from_sibling(c);
    EXPECT_EQ(c->recent_channels.size(), 20u);

    // Reset in mode 1 leaves a list that belongs to the connection's network.
    conn_recent_reset(a, 1);
    EXPECT_EQ(a->recent_channels.size(), 20u);
    conn_recent_reset(a, 0);
    EXPECT_TRUE(a->recent_channels.empty());
    EXPECT_TRUE(b->recent_channels.empty());
}

TEST_F(Connections, AutoJoinQueue)
{
    Connection* a = conn_new(nullptr);
    conn_autojoin_name = "pending";
    EXPECT_EQ(conn_queue_autojoin("   ", 0, a), 0);
    EXPECT_EQ(conn_queue_autojoin(" #one ", 0, a), 1);
    EXPECT_EQ(conn_queue_autojoin("#two", 2, a), 1);
    ASSERT_NE(a->autojoin_list, nullptr);
    EXPECT_EQ(a->autojoin_list->text, "#one");
    EXPECT_EQ(a->autojoin_list->next->text, "#two");
    EXPECT_EQ(a->joins_pending[0], 1);
    EXPECT_EQ(a->joins_pending[1], 1);
    EXPECT_EQ(conn_queue_autojoin("#three", 1 | 4, a), 1);
    EXPECT_EQ(a->autojoin_list->text, "#three");
    EXPECT_EQ(a->autojoin_list->next, nullptr);
    EXPECT_EQ(conn_autojoin_name, "");
}

TEST_F(Connections, CloseAllQuitsConnectedAndSurvivesFrees)
{
    Connection* a = conn_new(nullptr);
    Connection* b = conn_new(nullptr);
    Connection* c = conn_new(nullptr);
    a->connected = 1;
    b->connecting = 1;
    c->connected = 1;
    c->waiting_retry = 1;
    c->retry_delay = 5000;
    const int links_of[3] = {link(), link(), link()};
    a->socket = links_of[0];
    b->socket = links_of[1];
    c->socket = links_of[2];
    static std::vector<Connection*> closes;
    static Connection* victim = nullptr;
    closes.clear();
    victim = b;
    // Closing b frees it, as closing its status window would.
    const int listener = irc_link_stage.add(1000, [](int stage, Connection* x) {
        if (stage != 2)
            return;
        closes.push_back(x);
        if (x == victim)
            conn_free(x);
    });
    conn_close_all();
    irc_link_stage.remove(listener);
    // The connected ones said QUIT on their links; the connecting one nothing.
    for (int i : {0, 2}) {
        const std::vector<std::string> said = sent_on(links_of[i]);
        ASSERT_EQ(said.size(), 1u);
        EXPECT_EQ(said[0].rfind("QUIT :", 0), 0u) << said[0];
    }
    EXPECT_TRUE(sent_on(links_of[1]).empty());
    ASSERT_EQ(closes.size(), 3u);
    EXPECT_EQ(closes[0], a);
    EXPECT_EQ(closes[1], b);
    EXPECT_EQ(closes[2], c);
    EXPECT_EQ(conn_is_live(b), 0);
    EXPECT_EQ(c->waiting_retry, 0);
    EXPECT_EQ(c->retry_delay, 0);
    EXPECT_EQ(a->connected, 0);
    EXPECT_EQ(c->connected, 0);
    EXPECT_EQ(conn_count(), 2);
}

TEST_F(Connections, NewWithStatusFreesTheRecordWithoutAWindow)
{
    conn_new(nullptr);
    conn_status_window_open = nullptr;
    EXPECT_EQ(conn_new_with_status(nullptr), nullptr);
    EXPECT_EQ(conn_count(), 1);
    static QWidget* made = nullptr;
    std::unique_ptr<QWidget> w(new QWidget);
    made = w.get();
    conn_status_window_open = [](Connection*) { return made; };
    conn_next_status_minimised = 1;
    Connection* c = conn_new_with_status(nullptr);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->status_window.data(), made);
    EXPECT_EQ(conn_next_status_minimised, 0);
    EXPECT_EQ(conn_count(), 2);
}

// ---- Channel Central request of a connection ----

TEST_F(Connections, PendingRequestCountsDownAndMatches)
{
    Connection* c = conn_new(nullptr);
    ASSERT_NE(c, nullptr);
    c->pending_countdown = 2;
    c->pending_state = 5;
    QWidget bound;
    c->pending_window = &bound;
    conn_pending_release(c);
    EXPECT_EQ(c->pending_countdown, 1);
    EXPECT_EQ(c->pending_window.data(), &bound);
    conn_pending_release(c);
    EXPECT_EQ(c->pending_countdown, 0);
    EXPECT_EQ(c->pending_window.data(), nullptr);
    EXPECT_EQ(c->pending_state, 0);

    c->pending_window = &bound;
    c->pending_channel = "#Kest";
    std::string other = "#other";
    std::string same = "#kest";
    QWidget stranger;
    EXPECT_EQ(conn_pending_match(&stranger, &other, c), 0);
    EXPECT_EQ(c->pending_channel, "#Kest");
    EXPECT_EQ(conn_pending_match(nullptr, &same, c), 1);   // the name, case ignored
    EXPECT_TRUE(c->pending_channel.empty());
    c->pending_channel = "#x";
    EXPECT_EQ(conn_pending_match(&bound, nullptr, c), 1);  // the bound window
    EXPECT_TRUE(c->pending_channel.empty());
    c->pending_channel = "#x";
    EXPECT_EQ(conn_pending_match(nullptr, nullptr, c), 0); // neither: cleared, 0
    EXPECT_TRUE(c->pending_channel.empty());
    Connection stale;
    EXPECT_EQ(conn_pending_match(nullptr, &same, &stale), 0);
    conn_free(c);
}

// ---- /scid, /scon, $scid, $scon ----

namespace {

// The lines /scid and /scon ran, as the interpreter ran them: through a
// command of the test that records where and how deep it ran.
struct CmdRun {
    Connection* conn;
    std::string line;
    int depth;
};
std::vector<CmdRun> runs;
int run_result = 1;

int cmd_recorded(CommandCall& call)
{
    runs.push_back({call.conn, "cmd" + (call.rest().empty() ? std::string() : " " + std::string(call.rest())),
                    call.run ? call.run->depth : call.depth - 1});
    return run_result;
}

class Switching : public Connections {
protected:
    void SetUp() override
    {
        Connections::SetUp();
        script_engine_init();
        builtin_identifiers_install();
        connection_switch_register();
        script_register_command("cmd", cmd_recorded);
        runs.clear();
        run_result = 1;
        script_error_clear();
        for (int i = 0; i < 3; ++i) {
            conns[i] = conn_new(nullptr);
            conns[i]->status_window = window_of(conns[i]);
            win_create_text_area(win_record_of(conns[i]->status_window.data()));   // its lines are stored
            conns[i]->live_identity[2] = "nick" + std::to_string(i);
        }
        conns[0]->connected = 1;
        conns[0]->socket = link();
        conns[2]->connected = 1;
        conns[2]->socket = link();
        conns[1]->connecting = 1;
    }
    void TearDown() override
    {
        script_error_clear();
        Connections::TearDown();
    }
    // The information lines /scid printed into a window.
    static std::vector<std::string> info_lines(QWidget* window)
    {
        std::vector<std::string> out;
        for (const std::string& line : lines_of(window))
            if (line.rfind("* ", 0) == 0)
                out.push_back(line);
        return out;
    }
    Connection* conns[3] = {};
};

} // namespace

TEST_F(Switching, AllWithStateFilterRunsInListOrder)
{
    ScidContext ctx;
    ctx.conn = conns[1];
    ctx.depth = 2;
    EXPECT_EQ(cmd_scid(ctx, {"-at1", "cmd", "hi"}, 1), 1);
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[0].conn, conns[0]);
    EXPECT_EQ(runs[1].conn, conns[2]);
    EXPECT_EQ(runs[0].line, "cmd hi");
    EXPECT_EQ(runs[0].depth, 3);

    struct Case {
        const char* filter;
        std::vector<Connection*> expected;
    };
    const Case cases[] = {
        {"-a", {conns[0], conns[1], conns[2]}},
        {"-at2", {conns[1]}},
        {"-at4", {conns[1]}},
        {"-at8", {}},
        {"-at-3", {conns[0], conns[1], conns[2]}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.filter);
        runs.clear();
        cmd_scid(ctx, {c.filter, "cmd"}, 0);
        std::vector<Connection*> got;
        for (const CmdRun& r : runs)
            got.push_back(r.conn);
        EXPECT_EQ(got, c.expected);
    }
}

TEST_F(Switching, AllStopsWhenACommandFailsAndNeedsACommand)
{
    ScidContext ctx;
    run_result = 0;
    EXPECT_EQ(cmd_scid(ctx, {"-a", "cmd"}, 0), 0);
    EXPECT_EQ(runs.size(), 1u);
    script_error_clear();
    runs.clear();
    EXPECT_EQ(cmd_scid(ctx, {"-a"}, 1), 0);
    EXPECT_TRUE(runs.empty());
    EXPECT_EQ(script_error_state.text, "* /scon: Yetersiz veya eksik parametre");
}

TEST_F(Switching, NumberSelectsAndZeroMeansTheFirst)
{
    ScidContext ctx;
    ctx.conn = conns[2];
    struct Case {
        const char* name;
        std::vector<std::string> tokens;
        int is_scon;
        int result;
        Connection* ran_on;
    };
    const Case cases[] = {
        {"scon 2", {"2", "cmd"}, 1, 1, conns[1]},
        {"scon 0", {"0", "cmd"}, 1, 1, conns[0]},
        {"scid 0", {"0", "cmd"}, 0, 1, conns[0]},
        {"scid -4", {"-4", "cmd"}, 0, 1, conns[0]},
        {"scid by id", {std::to_string(conns[2]->id), "cmd"}, 0, 1, conns[2]},
        {"scon past the end", {"9", "cmd"}, 1, 0, nullptr},
        {"scid unknown id", {"14998", "cmd"}, 0, 0, nullptr},
        {"filter fails", {"-t2", "1", "cmd"}, 1, 1, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        runs.clear();
        EXPECT_EQ(cmd_scid(ctx, c.tokens, c.is_scon), c.result);
        if (c.ran_on) {
            ASSERT_EQ(runs.size(), 1u);
            EXPECT_EQ(runs[0].conn, c.ran_on);
            EXPECT_EQ(runs[0].line, "cmd");
        } else {
            EXPECT_TRUE(runs.empty());
        }
        EXPECT_EQ(ctx.conn, conns[2]);  // a command runs elsewhere; the line stays
    }
    for (Connection* c : conns)
        EXPECT_TRUE(info_lines(c->status_window.data()).empty());  // nothing printed without "s"
}

TEST_F(Switching, MessagesOnlyWithShow)
{
    ScidContext ctx;
    ctx.conn = conns[0];
    ctx.window = conns[0]->status_window.data();
    EXPECT_EQ(cmd_scid(ctx, {"14998"}, 0), 0);
    EXPECT_EQ(cmd_scid(ctx, {"7"}, 1), 0);
    EXPECT_EQ(cmd_scid(ctx, {}, 0), 1);
    EXPECT_TRUE(info_lines(ctx.window).empty());
    EXPECT_EQ(cmd_scid(ctx, {"-s", "14998"}, 0), 0);
    EXPECT_EQ(cmd_scid(ctx, {"-s", "7"}, 1), 0);
    EXPECT_EQ(cmd_scid(ctx, {"-s"}, 0), 1);
    EXPECT_EQ(info_lines(ctx.window), (std::vector<std::string>{
                                          "* Böyle bir bağlantı id'i yok: 14998",
                                          "* Bağlantı numarası bulunamadı: 7",
                                          "* Aktif bağlantı idlesi: " + std::to_string(conns[0]->id),
                                      }));
}

TEST_F(Switching, SwitchAndResetRestoreTheHomeConnection)
{
    QWidget* home_window = window_of(conns[0]);
    win_create_text_area(win_record_of(home_window));
    ScidContext ctx;
    ctx.conn = conns[0];
    ctx.window = home_window;

    EXPECT_EQ(cmd_scid(ctx, {"-s", std::to_string(conns[1]->id)}, 0), 1);
    const std::string switched = info_lines(home_window).back();
    EXPECT_EQ(ctx.conn, conns[1]);
    EXPECT_EQ(ctx.window, conns[1]->status_window.data());
    EXPECT_EQ(ctx.home_conn, conns[0]);
    EXPECT_EQ(ctx.home_window, home_window);
    EXPECT_EQ(switched, "* Bağlantı id değiştirildi: " + std::to_string(conns[1]->id)) << "told where the line was";

    // A second switch keeps the first home.
    EXPECT_EQ(cmd_scid(ctx, {"3"}, 1), 1);
    EXPECT_EQ(ctx.conn, conns[2]);
    EXPECT_EQ(ctx.home_conn, conns[0]);

    // The same connection again: only the message.
    EXPECT_EQ(cmd_scid(ctx, {"-s", "3"}, 1), 1);
    EXPECT_EQ(info_lines(ctx.window).back(), "* Aktif bağlantı idlesi: " + std::to_string(conns[2]->id));

    // "-r" with a command runs it at home without moving the line.
    runs.clear();
    EXPECT_EQ(cmd_scid(ctx, {"-r", "cmd"}, 0), 1);
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].conn, conns[0]);
    EXPECT_EQ(ctx.conn, conns[2]);

    // Naming the home connection returns to it, window included.
    QWidget* away = ctx.window;
    EXPECT_EQ(cmd_scid(ctx, {"-s", "1"}, 1), 1);
    EXPECT_EQ(ctx.conn, conns[0]);
    EXPECT_EQ(ctx.window, home_window);
    EXPECT_EQ(ctx.home_conn, nullptr);
    EXPECT_EQ(info_lines(away).back(), "* Bağlantı id`si Sıfırlandı: " + std::to_string(conns[0]->id));

    // "-r" when the home window has gone: the home's status window.
    cmd_scid(ctx, {"2"}, 1);
    win_record_free(win_record_of(home_window));
    EXPECT_EQ(cmd_scid(ctx, {"-r"}, 0), 1);
    EXPECT_EQ(ctx.conn, conns[0]);
    EXPECT_EQ(ctx.window, conns[0]->status_window.data());

    // "-r" with no home: the current id, nothing changes.
    EXPECT_EQ(cmd_scid(ctx, {"-rs"}, 0), 1);
    EXPECT_EQ(info_lines(ctx.window).back(), "* Aktif bağlantı idlesi: " + std::to_string(conns[0]->id));
    EXPECT_EQ(ctx.conn, conns[0]);
}

TEST_F(Switching, HomeConnectionFreedMeanwhile)
{
    ScidContext ctx;
    ctx.conn = conns[1];
    cmd_scid(ctx, {"3"}, 1);
    EXPECT_EQ(ctx.home_conn, conns[1]);
    conn_free(conns[1]);
    runs.clear();
    EXPECT_EQ(cmd_scid(ctx, {"-r", "cmd"}, 0), 1);
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].conn, conns[2]);  // the line's own connection
    EXPECT_EQ(cmd_scid(ctx, {"-r"}, 0), 1);
    EXPECT_EQ(ctx.conn, conns[2]);
}

TEST_F(Switching, IdentifierValues)
{
    struct Case {
        const char* name;
        std::string arg;
        const char* property;
        int is_scon;
        int result;
        std::string value;
    };
    const std::string id2 = std::to_string(conns[1]->id);
    const Case cases[] = {
        {"count", "0", nullptr, 0, 1, "3"},
        {"scon position", "2", nullptr, 1, 1, id2},
        {"scid id", id2, nullptr, 0, 1, id2},
        {"none", "9", nullptr, 1, 1, ""},
        {"negative", "-1", nullptr, 0, 1, ""},
        {"property read on that connection", "2", "me", 1, 1, "nick1"},
        {"property by id", id2, "me", 0, 1, "nick1"},
        {"failed property", "2", "nosuchidentifier", 1, 1, ""},
        {"bracket in property", "2", "me(1)", 1, 0, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string out = "stale";
        std::string prop = c.property ? c.property : "";
        EXPECT_EQ(id_scid(c.arg, c.property ? &prop : nullptr, c.is_scon, out), c.result);
        EXPECT_EQ(out, c.value);
    }
    EXPECT_EQ(script_error_state.text, "* $scon: özelliği ayraçlarda (bracket) kullanılamaz.");
    // Not a number: the identifier fails with an error.
    script_error_clear();
    std::string out;
    EXPECT_EQ(id_scid("x1", nullptr, 0, out), 0);
    EXPECT_EQ(script_error_state.text, "* Geçersiz parametre: $scid");
}

// Scale benchmarks: what one server line costs with many windows open. A
// connection whose lines go through the real dispatcher holds state.range(0)
// channel windows (each joined by a JOIN line, with the switchbar and the
// treebar shown); then each iteration takes one line of a kind:
//
//   BM_ScaleChannelLine  an ordinary channel message to the first channel
//   BM_ScaleNickLine     a NICK of a user who is on ten of the channels
//   BM_ScaleJoinPart     a JOIN and a PART of a stranger on the first channel
//
//   build/bench/kest_bench --benchmark_filter=Scale
//
// The cost of a line must not grow with the number of windows: compare the
// 10-window and the 3,000-window figures of each kind.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QMainWindow>
#include <QMdiArea>
#include <QPointer>

#include <string>

#include "app/frame_proc.h"
#include "app/subsystems.h"
#include "app/window_open.h"
#include "app/window_ops.h"
#include "bars/switchbar.h"
#include "bars/treebar.h"
#include "core/options.h"
#include "irc/dispatch/dispatcher.h"
#include "irc/link/connections.h"
#include "irc/numerics/isupport.h"
#include "model/colors.h"
#include "model/connection.h"
#include "model/window_record.h"
#include "script/events/event_fire.h"

#define KEST_TEST_WIDGETS
#include "tests/support/test_support.h"
#include "tests/support/test_wire.h"

namespace {

struct ScaleWorld {
    TempSettingsDir settings{"kest_bench_scale"};
    QPointer<QMainWindow> frame;
    TestWire wire;
    Connection* conn = nullptr;
    int windows = 0;
};

void close_everything()
{
    for (Connection* c = conn_list; c; c = c->next)
        c->socket = -1;
    win_close_all();
    conn_free_all();
    while (win_list)
        win_record_free(win_list);
    win_active = nullptr;
    test_drain_events();
}

// One world at a time, rebuilt when the number of windows changes.
ScaleWorld* world_with(int windows)
{
    static ScaleWorld* world = nullptr;
    if (world && world->windows == windows && conn_is_live(world->conn))
        return world;
    if (world) {
        close_everything();
        delete world->frame.data();
        test_drain_events();
        delete world;
    }
    world = new ScaleWorld;
    test_frame_mdi(world->frame);
    app_install_subsystems();
    frame_proc_install();
    color_items_init();
    for (ColorItem& item : color_items)
        item.current = item.default_index;
    color_palette_current = color_palette_default;
    event_startup_hold = 0;
    QWidget* bar = switchbar_create();
    QWidget* panel = treebar_create();
    if (bar && panel) {
        bar->setGeometry(0, 0, 1000, switchbar_wanted_thickness());
        panel->setGeometry(0, 40, 200, 600);
        bar->show();
        panel->show();
    }
    Connection* conn = conn_new_with_status(conn_list);
    conn->connected = 1;
    world->wire.attach(conn);
    conn->registered = 1;
    conn->live_identity[2] = "me";
    conn->server_name = "irc.bench";
    conn->live_server[4] = "6667";
    irc_state(conn)->registration = 1;
    world->conn = conn;
    world->windows = windows;
    for (int i = 0; i < windows; ++i) {
        const std::string chan = "#c" + std::to_string(i);
        irc_dispatch_line(":me!u@h JOIN :" + chan, conn);
        irc_dispatch_line(":irc.bench 353 me = " + chan + " :me alice bob carol" +
                              (i < 10 ? " walker" : ""),
                          conn);
        irc_dispatch_line(":irc.bench 366 me " + chan + " :End of /NAMES list.", conn);
        if (i % 50 == 0)
            test_drain_events();
    }
    test_drain_events();
    return world;
}

void BM_ScaleChannelLine(benchmark::State& state)
{
    ScaleWorld* w = world_with(static_cast<int>(state.range(0)));
    long n = 0;
    for (auto _ : state) {
        irc_dispatch_line(":alice!a@host.bench PRIVMSG #c0 :line " + std::to_string(n++) +
                              " of an ordinary chat with a few words more",
                          w->conn);
        if (n % 20 == 0)
            QCoreApplication::processEvents();
    }
    test_drain_events();
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ScaleChannelLine)->ArgName("windows")->Arg(10)->Arg(300)->Arg(3000)->Unit(benchmark::kMicrosecond);

void BM_ScaleNickLine(benchmark::State& state)
{
    ScaleWorld* w = world_with(static_cast<int>(state.range(0)));
    long n = 0;
    std::string nick = "walker";
    for (auto _ : state) {
        const std::string next = "walker" + std::to_string(++n);
        irc_dispatch_line(":" + nick + "!w@host.bench NICK :" + next, w->conn);
        nick = next;
        QCoreApplication::processEvents();
    }
    // Back to the name the next run starts from.
    irc_dispatch_line(":" + nick + "!w@host.bench NICK :walker", w->conn);
    test_drain_events();
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ScaleNickLine)->ArgName("windows")->Arg(10)->Arg(300)->Arg(3000)->Unit(benchmark::kMicrosecond);

void BM_ScaleJoinPart(benchmark::State& state)
{
    ScaleWorld* w = world_with(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        irc_dispatch_line(":stranger!s@host.bench JOIN :#c0", w->conn);
        irc_dispatch_line(":stranger!s@host.bench PART #c0 :bye", w->conn);
        QCoreApplication::processEvents();
    }
    test_drain_events();
    state.SetItemsProcessed(state.iterations() * 2);
}
BENCHMARK(BM_ScaleJoinPart)->ArgName("windows")->Arg(10)->Arg(300)->Arg(3000)->Unit(benchmark::kMicrosecond);

}  // namespace

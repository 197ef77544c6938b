// Window benchmarks: what a query window costs before any text arrives
// (bytes in use per window, from the allocator's own count, and resident
// memory), and lookups of records by window and by record with thousands
// of windows open.
//
//   build/bench/kest_bench --benchmark_filter=Window
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPlainTextEdit>
#include <QScrollBar>

#include <malloc.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "model/connection.h"
#include "irc/link/connections.h"
#include "app/mdi_client.h"
#include "app/subsystems.h"
#include "app/window_open.h"
#include "model/window_record.h"
#include "core/ini.h"
#include "core/options.h"
#include "model/colors.h"
#define KEST_TEST_WIDGETS
#include "tests/support/test_support.h"

namespace {

long status_kb(const char* field)
{
    FILE* f = std::fopen("/proc/self/status", "r");
    if (!f)
        return -1;
    char line[256];
    long kb = -1;
    const std::size_t n = std::strlen(field);
    while (std::fgets(line, sizeof line, f))
        if (std::strncmp(line, field, n) == 0) {
            kb = std::strtol(line + n, nullptr, 10);
            break;
        }
    std::fclose(f);
    return kb;
}

Connection* setup()
{
    static Connection* conn = nullptr;
    if (conn_is_live(conn))
        return conn;
    static TempSettingsDir settings("kest_bench_windows");
    static QPointer<QMainWindow> frame;
    test_frame_mdi(frame);
    app_install_subsystems();
    color_items_init();
    for (ColorItem& item : color_items)
        item.current = item.default_index;
    color_palette_current = color_palette_default;
    option_set_value(1, 17, 0);
    conn = conn_new_with_status(conn_list);
    test_drain_events();
    return conn;
}

QWidget* open_query(Connection* conn, const std::string& nick)
{
    WindowOpenRequest request;
    request.name = nick;
    request.type = kWinQuery;
    request.subtype = kQueryPrivate;
    request.conn = conn;
    return win_open(request);
}

// Closing frees the record at once: take the windows first.
void close_all_queries()
{
    std::vector<QPointer<QWidget>> windows;
    for (WindowRecord* r = win_list; r; r = r->next)
        if (r->type == kWinQuery && r->hwnd.get())
            windows.emplace_back(r->hwnd.get());
    for (const QPointer<QWidget>& w : windows)
        if (w)
            win_close_request(w.data());
    test_drain_events();
}

// Opens state.range(0) query windows per iteration, empty of text.
void BM_WindowQueryIdleCost(benchmark::State& state)
{
    Connection* conn = setup();
    const int count = static_cast<int>(state.range(0));
    double bytes_per_window = 0;
    double rss_kb_per_window = 0;
    int round = 0;
    for (auto _ : state) {
        test_drain_events();
        const std::size_t used_before = mallinfo2().uordblks;
        const long rss_before = status_kb("VmRSS:");
        for (int i = 0; i < count; ++i)
            open_query(conn, "nick" + std::to_string(round) + "_" + std::to_string(i));
        test_drain_events();
        const std::size_t used_after = mallinfo2().uordblks;
        const long rss_after = status_kb("VmRSS:");
        bytes_per_window = static_cast<double>(used_after - used_before) / count;
        rss_kb_per_window = static_cast<double>(rss_after - rss_before) / count;
        state.PauseTiming();
        close_all_queries();
        state.ResumeTiming();
        ++round;
    }
    state.counters["heap_bytes_per_window"] = bytes_per_window;
    state.counters["rss_kb_per_window"] = rss_kb_per_window;
}
BENCHMARK(BM_WindowQueryIdleCost)->Arg(200)->Iterations(3)->Unit(benchmark::kMillisecond);

// Qt's own share of that: the widgets a query window shows, made bare (an
// MDI frame holding a window with a framed text area, its scroll bar and a
// plain-text editbox), state.range(0) per iteration.
void BM_WindowQtWidgetsAlone(benchmark::State& state)
{
    setup();
    QMdiArea* mdi = mdi_client();
    const int count = static_cast<int>(state.range(0));
    double bytes_per_window = 0;
    std::vector<QMdiSubWindow*> frames;
    for (auto _ : state) {
        test_drain_events();
        const std::size_t used_before = mallinfo2().uordblks;
        for (int i = 0; i < count; ++i) {
            auto* window = new QWidget;
            auto* area = new QFrame(window);
            new QScrollBar(Qt::Vertical, area);
            auto* box = new QPlainTextEdit(window);
            box->show();
            auto* frame = new QMdiSubWindow;
            frame->setWidget(window);
            mdi->addSubWindow(frame);
            frame->show();
            frames.push_back(frame);
        }
        test_drain_events();
        const std::size_t used_after = mallinfo2().uordblks;
        bytes_per_window = static_cast<double>(used_after - used_before) / count;
        state.PauseTiming();
        for (QMdiSubWindow* frame : frames)
            delete frame;
        frames.clear();
        test_drain_events();
        state.ResumeTiming();
    }
    state.counters["heap_bytes_per_window"] = bytes_per_window;
}
BENCHMARK(BM_WindowQtWidgetsAlone)->Arg(200)->Iterations(3)->Unit(benchmark::kMillisecond);

// Looks up every window's record by its window, and every record by itself,
// with state.range(0) windows open.
void BM_WindowLookups(benchmark::State& state)
{
    Connection* conn = setup();
    const int count = static_cast<int>(state.range(0));
    std::vector<QWidget*> windows;
    std::vector<WindowRecord*> records;
    for (int i = 0; i < count; ++i) {
        QWidget* w = open_query(conn, "look" + std::to_string(i));
        windows.push_back(w);
        records.push_back(win_record_of(w));
    }
    test_drain_events();
    long found = 0;
    for (auto _ : state) {
        for (std::size_t i = 0; i < windows.size(); ++i) {
            found += win_record_of(windows[i]) == records[i];
            found += win_is_record(records[i]);
        }
    }
    benchmark::DoNotOptimize(found);
    state.SetItemsProcessed(state.iterations() * 2 * count);
    close_all_queries();
}
BENCHMARK(BM_WindowLookups)->Arg(100)->Arg(1700)->Unit(benchmark::kMicrosecond);

}  // namespace

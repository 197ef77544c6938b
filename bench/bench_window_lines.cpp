// Window line commands through the interpreter: /aline of 100,000 lines to
// a hidden and to a visible custom window, and /dline of every other line
// of a 50,000-line window (each /dline names the line by its number).
//
//   build/bench/kest_bench --benchmark_filter=WindowLines
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QMainWindow>
#include <QMdiArea>

#include <cstdlib>
#include <string>

#include "model/connection.h"
#include "irc/link/connections.h"
#include "app/mdi_client.h"
#include "app/subsystems.h"
#include "model/window_record.h"
#include "core/ini.h"
#include "core/string_list.h"
#include "script/exec/script_types.h"

namespace {

QWidget* bench_status()
{
    static Connection* conn = nullptr;
    if (conn_is_live(conn))
        return conn->status_window;
    if (!QCoreApplication::instance()) {
        if (!std::getenv("QT_QPA_PLATFORM"))
            setenv("QT_QPA_PLATFORM", "offscreen", 1);
        static int argc = 1;
        static char name[] = "kest_bench";
        static char* argv[] = {name, nullptr};
        new QApplication(argc, argv);
    }
    static char dir_template[] = "/tmp/kest_benchXXXXXX";
    static const char* dir = mkdtemp(dir_template);
    settings_dir = std::string(dir ? dir : "/tmp") + "/";
    main_ini_path = settings_dir + "kest.ini";
    auto* frame = new QMainWindow();
    frame->setObjectName("Kest");
    auto* area = new QMdiArea(frame);
    frame->setCentralWidget(area);
    frame->resize(1000, 700);
    frame->show();
    mdi_client_create(area);
    app_install_subsystems();
    conn = conn_new_with_status(conn_list);
    QCoreApplication::processEvents();
    return conn->status_window;
}

void run(QWidget* where, const std::string& line)
{
    script_exec_line(where, line.c_str(), nullptr, 1, nullptr, nullptr, nullptr);
}

// /aline of `count` lines into a new custom window ("-h" keeps it hidden).
void aline_lines(benchmark::State& state, const char* switches)
{
    QWidget* status = bench_status();
    const int count = static_cast<int>(state.range(0));
    int round = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const std::string name = "@bench" + std::to_string(++round);
        run(status, std::string("/window ") + switches + name);
        WindowRecord* rec = win_find_by_name(name, nullptr);
        state.ResumeTiming();
        for (int i = 1; i <= count; ++i)
            run(status, "/aline " + name + " line number " + std::to_string(i) + " of the bench");
        state.PauseTiming();
        if (!rec || rec->line_count != count)
            state.SkipWithError("the window did not get every line");
        run(status, "/window -c " + name);
        QCoreApplication::processEvents();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * count);
    state.counters["us_per_line"] = benchmark::Counter(
        static_cast<double>(state.iterations() * count), benchmark::Counter::kIsRate |
                                                             benchmark::Counter::kInvert);
}

void BM_WindowLinesAlineHidden(benchmark::State& state) { aline_lines(state, "-h "); }
void BM_WindowLinesAlineVisible(benchmark::State& state) { aline_lines(state, ""); }

// Deletes every other line of a window of `count` lines: /dline 1, 2, 3 ...
// each removes the line that now stands there, so the window keeps the
// even lines.
void BM_WindowLinesDlineEveryOther(benchmark::State& state)
{
    QWidget* status = bench_status();
    const int count = static_cast<int>(state.range(0));
    int round = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const std::string name = "@dbench" + std::to_string(++round);
        run(status, "/window -h " + name);
        for (int i = 1; i <= count; ++i)
            run(status, "/aline " + name + " line " + std::to_string(i));
        WindowRecord* rec = win_find_by_name(name, nullptr);
        state.ResumeTiming();
        for (int i = 1; i <= count / 2; ++i)
            run(status, "/dline " + name + " " + std::to_string(i));
        state.PauseTiming();
        if (!rec || rec->line_count != count - count / 2 || rec->lines->text != "line 2")
            state.SkipWithError("the window did not keep the even lines");
        run(status, "/window -c " + name);
        QCoreApplication::processEvents();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * (count / 2));
}

} // namespace

BENCHMARK(BM_WindowLinesAlineHidden)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_WindowLinesAlineVisible)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_WindowLinesDlineEveryOther)->Arg(5000)->Arg(50000)->Unit(benchmark::kMillisecond)->Iterations(1);

// Built-in identifiers through the evaluator: 100,000 calls each of $len,
// $left, $replace, $asctime and $nick(#,N) on a channel of 5,000 members
// (first, middle and last member, and a member's place by nick). A channel
// identifier must not cost more on a bigger channel: the same calls on a
// channel of 50,000 members show whether it does.
#include "app/subsystems.h"
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QMainWindow>
#include <QMdiArea>

#include <cstdlib>
#include <string>

#include "model/connection.h"
#include "irc/link/connections.h"
#include "app/mdi_client.h"
#include "app/window_open.h"
#include "model/window_record.h"
#include "core/ini.h"
#include "display/nick_list.h"
#include "script/exec/script_types.h"
#include "commands/output_commands.h"
#include "commands/variable_commands.h"
#include "identifiers/builtin_identifiers.h"

namespace {

constexpr int kCalls = 100000;

Connection* bench_conn = nullptr;

void bench_app()
{
    static bool ready = false;
    if (ready)
        return;
    ready = true;
    if (!QCoreApplication::instance()) {
        if (!std::getenv("QT_QPA_PLATFORM"))
            setenv("QT_QPA_PLATFORM", "offscreen", 1);
        static int argc = 1;
        static char name[] = "kest_bench";
        static char* argv[] = {name, nullptr};
        new QApplication(argc, argv);
    }
    static char dir_template[] = "/tmp/kest_bench_idXXXXXX";
    static const char* dir = mkdtemp(dir_template);
    settings_dir = std::string(dir ? dir : "/tmp") + "/";
    main_ini_path = settings_dir + "kest.ini";
    auto* frame = new QMainWindow();
    frame->setObjectName("Kest");
    auto* area = new QMdiArea(frame);
    frame->setCentralWidget(area);
    frame->resize(1000, 700);
    mdi_client_create(area);
    app_wire_windows();
    script_engine_init();
    builtin_identifiers_install();
    variable_commands_register();
    output_commands_register();
    bench_conn = conn_new_with_status(conn_list);
    bench_conn->live_identity[2] = "me";
}

// A channel window with `size` members, one in ten an operator.
WindowRecord* channel_of(int size)
{
    bench_app();
    const std::string name = "#big" + std::to_string(size);
    if (WindowRecord* rec = win_find_channel(name, bench_conn))
        return rec;
    WindowOpenRequest request;
    request.name = name;
    request.type = kWinChannel;
    request.conn = bench_conn;
    WindowRecord* rec = win_record_of(win_open(request));
    const int op = nicklist_prefix_bit(bench_conn, '@');
    for (int i = 0; i < size; ++i)
        nicklist_update("member" + std::to_string(i), rec, kNickAddOrChange, i % 10 == 0 ? op : 1);
    QCoreApplication::processEvents();
    return rec;
}

void run_calls(benchmark::State& state, const std::string& text, const std::string& expected_prefix)
{
    bench_app();
    for (auto _ : state) {
        std::string value;
        for (int i = 0; i < kCalls; ++i) {
            std::string t = text;
            std::string* r = ident_eval_text(nullptr, &t, nullptr, nullptr, 0, 0, -1, nullptr, bench_conn);
            if (!r) {
                state.SkipWithError("the evaluation failed");
                return;
            }
            value = *r;
        }
        if (value.compare(0, expected_prefix.size(), expected_prefix) != 0) {
            state.SkipWithError(("unexpected value: " + value).c_str());
            return;
        }
    }
    state.counters["ns_per_call"] =
        benchmark::Counter(static_cast<double>(kCalls), benchmark::Counter::kIsIterationInvariantRate |
                                                            benchmark::Counter::kInvert);
}

void BM_Len100k(benchmark::State& state)
{
    run_calls(state, "$len(a text of some length to measure)", "32");
}
BENCHMARK(BM_Len100k)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_Left100k(benchmark::State& state)
{
    run_calls(state, "$left(a text of some length to cut,-5)", "a text of some length t");
}
BENCHMARK(BM_Left100k)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_Replace100k(benchmark::State& state)
{
    run_calls(state, "$replace(the cat sat on the mat with the hat,at,og,the,a)", "a cog sog on a mog");
}
BENCHMARK(BM_Replace100k)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_Asctime100k(benchmark::State& state)
{
    run_calls(state, "$asctime(1234567890,yyyy-mm-dd)", "2009-02-1");
}
BENCHMARK(BM_Asctime100k)->Unit(benchmark::kMillisecond)->Iterations(1);

// $nick(#,N) for the first, middle and last member and a place by nick;
// the argument is the channel's size.
void BM_NickByIndex100k(benchmark::State& state)
{
    const int size = static_cast<int>(state.range(0));
    channel_of(size);
    const std::string chan = "#big" + std::to_string(size);
    run_calls(state, "$nick(" + chan + "," + std::to_string(size / 2) + ")", "member");
}
BENCHMARK(BM_NickByIndex100k)->Arg(5000)->Arg(50000)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_NickLast100k(benchmark::State& state)
{
    const int size = static_cast<int>(state.range(0));
    channel_of(size);
    const std::string chan = "#big" + std::to_string(size);
    run_calls(state, "$nick(" + chan + "," + std::to_string(size) + ")", "member");
}
BENCHMARK(BM_NickLast100k)->Arg(5000)->Arg(50000)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_NickPlace100k(benchmark::State& state)
{
    const int size = static_cast<int>(state.range(0));
    channel_of(size);
    const std::string chan = "#big" + std::to_string(size);
    run_calls(state, "$nick(" + chan + ",member" + std::to_string(size - 1) + ")", "");
}
BENCHMARK(BM_NickPlace100k)->Arg(5000)->Arg(50000)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_NickCount100k(benchmark::State& state)
{
    const int size = static_cast<int>(state.range(0));
    channel_of(size);
    const std::string chan = "#big" + std::to_string(size);
    run_calls(state, "$nick(" + chan + ",0)", std::to_string(size));
}
BENCHMARK(BM_NickCount100k)->Arg(5000)->Arg(50000)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace

// The interpreter on the work it does for every event: a counting loop, a
// run of $calc calls and a run of $gettok calls.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>

#include "app/connection.h"
#include "script/exec/alias_lookup.h"
#include "script/exec/executor.h"
#include "script/exec/script_types.h"
#include "script/stores/variables.h"

namespace {

Connection* bench_setup()
{
    static Connection* conn = nullptr;
    if (!conn) {
        // The real /set, /var and /inc of the engine.
        script_engine_init();
        conn = conn_new(nullptr);
        alias_add("loop { var %i = 0 | while (%i < 1000000) { inc %i } | set %bench_done %i }");
        alias_add("calcs { var %i = 0 | while (%i < 100000) { noop $calc(1 + 2 * 3 - 4 / 5 ^ 2) | inc %i } | set %bench_done %i }");
        std::string line;
        for (int k = 1; k <= 50; ++k)
            line += (k > 1 ? " w" : "w") + std::to_string(k);
        alias_add("toks { var %i = 0 | while (%i < 100000) { noop $gettok(" + line +
                  ",25,32) | inc %i } | set %bench_done %i }");
    }
    return conn;
}

// Runs an alias and checks that its loop ran to the end.
void run_alias_checked(benchmark::State& state, const char* alias, long expected)
{
    Connection* conn = bench_setup();
    for (auto _ : state) {
        var_set(nullptr, "bench_done", nullptr, nullptr, 0, 1, 0, 0, nullptr, 0);
        int r = script_exec_line(nullptr, alias, nullptr, 1, nullptr, nullptr, conn);
        benchmark::DoNotOptimize(r);
        std::string done;
        var_find("bench_done", &done, nullptr);
        if (r != 1 || std::atol(done.c_str()) != expected) {
            state.SkipWithError("the loop did not count to its end");
            break;
        }
    }
}

void BM_WhileLoopMillion(benchmark::State& state)
{
    run_alias_checked(state, "loop", 1000000);
}
BENCHMARK(BM_WhileLoopMillion)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_Calc100k(benchmark::State& state)
{
    run_alias_checked(state, "calcs", 100000);
}
BENCHMARK(BM_Calc100k)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_Gettok100k(benchmark::State& state)
{
    run_alias_checked(state, "toks", 100000);
}
BENCHMARK(BM_Gettok100k)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace

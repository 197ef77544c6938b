// The interpreter on the work it does for every event: a counting loop, a
// run of $calc calls and a run of $gettok calls, alias calls as commands and
// as identifiers, an if/elseif/else chain in a block that spans lines, and
// a local variable set to a $+ join.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>

#include "model/connection.h"
#include "app/subsystems.h"
#include "script/exec/alias_lookup.h"
#include "script/exec/executor.h"
#include "script/exec/script_types.h"
#include "script/stores/variables.h"
#include "commands/output_commands.h"
#include "commands/variable_commands.h"
#include "identifiers/builtin_identifiers.h"

namespace {

Connection* bench_setup()
{
    static Connection* conn = nullptr;
    if (!conn) {
        // The real /set, /var and /inc of the engine, with the variable
        // store joined to the evaluator as the program joins it.
        script_engine_init();
        builtin_identifiers_install();
        variable_commands_register();
        output_commands_register();
        conn = conn_new(nullptr);
        alias_add("loop { var %i = 0 | while (%i < 1000000) { inc %i } | set %bench_done %i }");
        alias_add("calcs { var %i = 0 | while (%i < 100000) { noop $calc(1 + 2 * 3 - 4 / 5 ^ 2) | inc %i } | set %bench_done %i }");
        std::string line;
        for (int k = 1; k <= 50; ++k)
            line += (k > 1 ? " w" : "w") + std::to_string(k);
        alias_add("toks { var %i = 0 | while (%i < 100000) { noop $gettok(" + line +
                  ",25,32) | inc %i } | set %bench_done %i }");
        // The counting loop at a size that a profiler (callgrind) runs in
        // seconds.
        alias_add("loop50k { var %i = 0 | while (%i < 50000) { inc %i } | set %bench_done %i }");
        alias_add("bench_take { set %bench_last $1- }");
        alias_add("calls { var %i = 0 | while (%i < 100000) { bench_take %i a b c | inc %i } | "
                  "set %bench_done $gettok(%bench_last,1,32) }");
        alias_add("bench_pair { return $1 $+ $2 }");
        alias_add("idcalls { var %i = 0, %s | while (%i < 100000) { set %s $bench_pair(%i, x) | "
                  "inc %i } | set %bench_done $gettok(%s,1,120) }");
        alias_add("ifs {\n"
                  "  var %i = 0, %n = 0\n"
                  "  while (%i < 100000) {\n"
                  "    if (%i == -1) { inc %n 2 }\n"
                  "    elseif (%i isnum 5-3) { inc %n 3 }\n"
                  "    elseif ($calc(%i % 2) == 2) { inc %n 4 }\n"
                  "    else { inc %n }\n"
                  "    inc %i\n"
                  "  }\n"
                  "  set %bench_done %n\n"
                  "}");
        alias_add("joins { var %i = 0, %s | while (%i < 100000) { set %s x $+ %i $+ y | inc %i } | "
                  "set %bench_done $gettok($gettok(%s,1,121),1,120) }");
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

// Runs a line as typed with "//" (evaluated) and checks that its loop
// ran to the end: the loop at the top level of a run, not inside an alias.
void run_line_checked(benchmark::State& state, const char* text, long expected)
{
    Connection* conn = bench_setup();
    for (auto _ : state) {
        var_set(nullptr, "bench_done", nullptr, nullptr, 0, 1, 0, 0, nullptr, 0);
        int r = script_exec_line(nullptr, text, nullptr, 1, nullptr, nullptr, conn);
        benchmark::DoNotOptimize(r);
        std::string done;
        var_find("bench_done", &done, nullptr);
        if (r != 1 || std::atol(done.c_str()) != expected) {
            state.SkipWithError("the loop did not count to its end");
            break;
        }
    }
}

// The yardstick's loop word for word (bench/tcl_yardstick.sh runs the same
// loop in Tcl at global level and in a proc).
void BM_WhileLoopMillionLine(benchmark::State& state)
{
    run_line_checked(state, "var %i = 0 | while (%i < 1000000) { inc %i } | set %bench_done %i",
                     1000000);
}
BENCHMARK(BM_WhileLoopMillionLine)->Unit(benchmark::kMillisecond)->Iterations(1);

// The same loop on a global variable (the variable store, not the run's locals).
void BM_WhileLoopGlobal100k(benchmark::State& state)
{
    run_line_checked(state,
                     "set %bench_g 0 | while (%bench_g < 100000) { inc %bench_g } | "
                     "set %bench_done %bench_g",
                     100000);
}
BENCHMARK(BM_WhileLoopGlobal100k)->Unit(benchmark::kMillisecond)->Iterations(1);

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

void BM_WhileLoop50k(benchmark::State& state)
{
    run_alias_checked(state, "loop50k", 50000);
}
BENCHMARK(BM_WhileLoop50k)->Unit(benchmark::kMillisecond)->Iterations(1);

// An alias called as a command with $1- in its body.
void BM_AliasCall100k(benchmark::State& state)
{
    run_alias_checked(state, "calls", 99999);
}
BENCHMARK(BM_AliasCall100k)->Unit(benchmark::kMillisecond)->Iterations(1);

// An alias called as an identifier that returns a $+ join of its arguments.
void BM_AliasIdentifier100k(benchmark::State& state)
{
    run_alias_checked(state, "idcalls", 99999);
}
BENCHMARK(BM_AliasIdentifier100k)->Unit(benchmark::kMillisecond)->Iterations(1);

// if / elseif / elseif / else on lines of their own inside a while block.
void BM_IfElseifChain100k(benchmark::State& state)
{
    run_alias_checked(state, "ifs", 100000);
}
BENCHMARK(BM_IfElseifChain100k)->Unit(benchmark::kMillisecond)->Iterations(1);

// "set %s x $+ %i $+ y" on a local variable.
void BM_LocalSet100k(benchmark::State& state)
{
    run_alias_checked(state, "joins", 99999);
}
BENCHMARK(BM_LocalSet100k)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace

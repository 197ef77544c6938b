// The script data stores under load: a million items added to one hash table
// and read back, $read -w finding a line near the end of a 100,000-line
// file, /filter of 100,000 lines to a file, and /write appending 100,000
// lines. Each runs as a script loop through the real interpreter.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "model/connection.h"
#include "app/subsystems.h"
#include "core/ini.h"
#include "script/exec/alias_lookup.h"
#include "script/exec/script_types.h"
#include "script/stores/data_stores.h"
#include "script/stores/hash_tables.h"
#include "script/stores/variables.h"
#include "commands/output_commands.h"
#include "commands/variable_commands.h"
#include "identifiers/builtin_identifiers.h"

namespace {

namespace fs = std::filesystem;

Connection* stores_setup()
{
    static Connection* conn = nullptr;
    if (!conn) {
        script_engine_init();
        builtin_identifiers_install();
        variable_commands_register();
        output_commands_register();
        data_stores_install();
        conn = conn_new(nullptr);
        const fs::path dir = fs::temp_directory_path() / ("kest_bench_stores_" + std::to_string(::getpid()));
        fs::create_directories(dir);
        settings_dir = dir.string() + "/";
        std::ofstream big(dir / "big.txt");
        for (int k = 1; k <= 100000; ++k)
            big << "line number " << k << " of the file\n";
        big.close();
        alias_add("hadds { hfree -w bench | hmake bench 10000 | var %i = 0 | while (%i < 1000000) { hadd bench k $+ %i %i | inc %i } | set %bench_done $hget(bench,0).item }");
        alias_add("hgets { var %i = 0, %n = 0 | while (%i < 1000000) { if ($hget(bench,k $+ %i) == %i) inc %n | inc %i } | set %bench_done %n }");
        alias_add("readw { set %bench_done $read(big.txt, w, *number 99990 *) $readn }");
        alias_add("filters { filter -ffc big.txt filtered.txt *number* | set %bench_done $lines(filtered.txt) }");
        alias_add("writes { write -c written.txt | var %i = 0 | while (%i < 100000) { write written.txt line %i | inc %i } | set %bench_done $lines(written.txt) }");
    }
    return conn;
}

void run_checked(benchmark::State& state, const char* alias, const std::string& expected)
{
    Connection* conn = stores_setup();
    for (auto _ : state) {
        var_set(nullptr, "bench_done", nullptr, nullptr, 0, 1, 0, 0, nullptr, 0);
        int r = script_exec_line(nullptr, alias, nullptr, 1, nullptr, nullptr, conn);
        std::string done;
        var_find("bench_done", &done, nullptr);
        if (r != 1 || done != expected) {
            state.SkipWithError(("unexpected result: " + done).c_str());
            break;
        }
    }
}

void BM_HashAddMillion(benchmark::State& state)
{
    run_checked(state, "hadds", "1000000");
}
BENCHMARK(BM_HashAddMillion)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_HashGetMillion(benchmark::State& state)
{
    stores_setup();
    if (!htable_find("bench"))
        run_checked(state, "hadds", "1000000");
    run_checked(state, "hgets", "1000000");
}
BENCHMARK(BM_HashGetMillion)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_ReadWildNearEnd(benchmark::State& state)
{
    run_checked(state, "readw", "line number 99990 of the file 99990");
}
BENCHMARK(BM_ReadWildNearEnd)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_Filter100k(benchmark::State& state)
{
    run_checked(state, "filters", "100000");
}
BENCHMARK(BM_Filter100k)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_WriteAppend100k(benchmark::State& state)
{
    run_checked(state, "writes", "100000");
}
BENCHMARK(BM_WriteAppend100k)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

// Event dispatch: one TEXT event through 20 loaded scripts holding 200
// handlers between them, and an event that no script handles.
#include "app/subsystems.h"
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "model/connection.h"
#include "core/ini.h"
#include "script/events/event_fire.h"
#include "script/events/event_index.h"
#include "script/events/remote_files.h"
#include "script/exec/script_types.h"
#include "commands/output_commands.h"
#include "commands/variable_commands.h"
#include "identifiers/builtin_identifiers.h"

namespace {

int bench_noop(CommandCall&) { return 1; }

struct EventsSetup {
    Connection* conn = nullptr;
    std::string dir;
    EventsSetup()
    {
        char tmpl[] = "/tmp/kest_bench_events_XXXXXX";
        char* d = mkdtemp(tmpl);
        dir = std::string(d ? d : "/tmp") + "/";
        settings_dir = dir;
        main_ini_path = dir + "kest.ini";
        script_engine_init();
        builtin_identifiers_install();
        variable_commands_register();
        output_commands_register();
        events_install();
        app_wire_script_events();
        script_register_command("benchnoop", bench_noop);
        conn = conn_new(nullptr);
        conn->live_identity[2] = "me";
        // 20 scripts, 10 handlers each: 9 TEXT lines whose match text does
        // not match and one that does, spread over other events too.
        for (int s = 0; s < 20; ++s) {
            std::string name = dir + "s" + std::to_string(s) + ".kst";
            std::ofstream out(name);
            for (int h = 0; h < 9; ++h)
                out << "on " << (h + 1) << ":TEXT:*word" << h << "*:#:benchnoop\n";
            out << "on 1:TEXT:*:#:benchnoop $nick $1-\n";
            out.close();
            remote_file_load(name, kRemoteScript, 9999, nullptr);
        }
    }
    ~EventsSetup()
    {
        remote_files_free_all();
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }
};

EventsSetup& setup()
{
    static EventsSetup s;
    return s;
}

void BM_TextTo20Scripts(benchmark::State& state)
{
    EventsSetup& s = setup();
    EventLine line;
    line.nick = "bob";
    line.address = "b@host.example";
    line.source = "bob!b@host.example";
    line.command = "PRIVMSG";
    line.params = {"#chan", "hello there"};
    line.target = "#chan";
    line.text = "hello there";
    EventSource src;
    src.line = &line;
    for (auto _ : state) {
        int r = event_fire(s.conn, nullptr, nullptr, "TEXT", kEvText, 0, nullptr, &src);
        benchmark::DoNotOptimize(r);
    }
    state.counters["events/s"] = benchmark::Counter(static_cast<double>(state.iterations()),
                                                    benchmark::Counter::kIsRate);
}
BENCHMARK(BM_TextTo20Scripts)->Iterations(100000);

void BM_UnhandledEvent(benchmark::State& state)
{
    EventsSetup& s = setup();
    EventLine line;
    line.nick = "bob";
    line.address = "b@host.example";
    line.params = {"#chan"};
    line.target = "#chan";
    EventSource src;
    src.line = &line;
    for (auto _ : state) {
        int r = event_fire(s.conn, nullptr, nullptr, "TOPIC", kEvTopic, 0, nullptr, &src);
        benchmark::DoNotOptimize(r);
    }
    state.counters["events/s"] = benchmark::Counter(static_cast<double>(state.iterations()),
                                                    benchmark::Counter::kIsRate);
}
BENCHMARK(BM_UnhandledEvent)->Iterations(100000);

} // namespace

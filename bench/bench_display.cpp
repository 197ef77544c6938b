// Display benchmarks: printing formatted lines into a window whose buffer
// is trimmed at 5,000 lines, and repainting a full window of 200 coloured
// lines offscreen into an image.
//
//   build/bench/kest_bench --benchmark_filter=Display
#include "app/subsystems.h"
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>
#include <QMainWindow>
#include <QMdiArea>
#include <QPainter>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/child_window.h"
#include "model/connection.h"
#include "irc/link/connections.h"
#include "app/window_open.h"
#include "model/window_record.h"
#include "core/ini.h"
#include "core/options.h"
#include "core/string_list.h"
#include "model/colors.h"
#include "display/draw.h"
#include "model/line_buffer.h"
#include "display/text_area.h"
#include "display/wrap.h"

namespace {

// Peak resident memory of the process in kilobytes (VmHWM).
long peak_memory_kb()
{
    FILE* f = std::fopen("/proc/self/status", "r");
    if (!f)
        return -1;
    char line[256];
    long kb = -1;
    while (std::fgets(line, sizeof line, f)) {
        if (std::strncmp(line, "VmHWM:", 6) == 0) {
            kb = std::strtol(line + 6, nullptr, 10);
            break;
        }
    }
    std::fclose(f);
    return kb;
}

// One application, frame, connection and channel window for the run.
WindowRecord* bench_window()
{
    static WindowRecord* rec = nullptr;
    if (win_is_record(rec))
        return rec;
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
    app_wire_windows();
    app_wire_text_area();
    color_items_init();
    for (ColorItem& item : color_items)
        item.current = item.default_index;
    color_palette_current = color_palette_default;
    Connection* conn = conn_new_with_status(conn_list);
    WindowOpenRequest request;
    request.name = "#bench";
    request.type = kWinChannel;
    request.conn = conn;
    rec = win_record_of(win_open(request));
    QCoreApplication::processEvents();
    return rec;
}

std::string formatted_line(long i)
{
    char buf[256];
    std::snprintf(buf, sizeof buf,
                  "<\x03%02ldnick%ld\x0f> \x02%ld\x02 some words of a message, \x03" "4,12coloured"
                  "\x03 and \x1funderlined\x1f text that goes on for a while to be cut",
                  i % 16, i % 97, i);
    return buf;
}

void BM_DisplayAppendTrimmed(benchmark::State& state)
{
    WindowRecord* rec = bench_window();
    const long peak_before = peak_memory_kb();
    opt_set(OPT_BUFFER_LINES, 5000);
    rec->logging = 0;
    rec->timestamp = 1;
    std::vector<std::string> lines;
    for (long i = 0; i < 1000; ++i)
        lines.push_back(formatted_line(i));
    QWidget* hwnd = rec->hwnd.get();
    long i = 0;
    for (auto _ : state) {
        print_options.timestamp = 1;
        print_line(hwnd, std::string_view(lines[static_cast<std::size_t>(i % 1000)]),
                   kColorNormalText);
        ++i;
    }
    state.SetItemsProcessed(state.iterations());
    // Display lines kept, and how many printed lines they hold.
    int printed = 0;
    for (const StringNode* n = rec->lines; n; n = n->next)
        printed += (n == rec->lines || n->prev->serial != n->serial) ? 1 : 0;
    state.counters["display_lines_kept"] = rec->line_count;
    state.counters["printed_lines_kept"] = printed;
    state.counters["area_width"] = wrap_area_width(rec);
    state.counters["VmHWM_kB"] = static_cast<double>(peak_memory_kb());
    state.counters["VmHWM_before_kB"] = static_cast<double>(peak_before);
}
BENCHMARK(BM_DisplayAppendTrimmed)->Iterations(1000000)->Unit(benchmark::kMillisecond);

void BM_DisplayRepaint200Lines(benchmark::State& state)
{
    WindowRecord* rec = bench_window();
    QWidget* hwnd = rec->hwnd.get();
    for (long i = 0; i < 400; ++i)
        print_line(hwnd, std::string_view(formatted_line(i)), kColorNormalText);
    const int width = wrap_area_width(rec) > 0 ? wrap_area_width(rec) : 600;
    const int lh = rec->line_height > 0 ? rec->line_height : 16;
    WinRect area{0, 0, width, 200 * lh};
    QImage image(width, 200 * lh, QImage::Format_RGB32);
    std::vector<ShownLine> shown;
    draw_lines_in_view(rec, QRect(0, 0, width, 200 * lh), shown);
    for (auto _ : state) {
        QPainter painter(&image);
        draw_buffer(rec, &painter, area);
    }
    state.counters["lines_in_view"] = static_cast<double>(shown.size());
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_DisplayRepaint200Lines)->Unit(benchmark::kMillisecond);

}  // namespace

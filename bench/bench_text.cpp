// Working with window text: marking and copying 10,000 lines at once, and
// finding a word over a 100,000-line buffer. The painter is asked about
// each line it paints; the counters show how many lines one step painted.
//
//   build/bench/kest_bench --benchmark_filter=Text
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>
#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPainter>

#include <cstdlib>
#include <string>

#include "display/child_layout.h"
#include "app/child_widgets.h"
#include "app/child_window.h"
#include "model/connection.h"
#include "irc/link/connections.h"
#include "app/mdi_client.h"
#include "app/subsystems.h"
#include "app/window_open.h"
#include "model/window_record.h"
#include "core/ini.h"
#include "core/options.h"
#include "model/colors.h"
#include "display/draw.h"
#include "display/find_text.h"
#include "model/line_buffer.h"
#include "display/text_marking.h"

namespace {

// The display lines a repaint of the window's text area draws.
int lines_painted(WindowRecord* rec, const WinRect& r)
{
    std::vector<ShownLine> shown;
    draw_lines_in_view(rec, QRect(r.left, r.top, r.right - r.left, r.bottom - r.top), shown);
    return static_cast<int>(shown.size());
}

WindowRecord* text_window(const char* name, int rows)
{
    if (!QCoreApplication::instance()) {
        if (!std::getenv("QT_QPA_PLATFORM"))
            setenv("QT_QPA_PLATFORM", "offscreen", 1);
        static int argc = 1;
        static char app_name[] = "kest_bench";
        static char* argv[] = {app_name, nullptr};
        new QApplication(argc, argv);
    }
    static bool made = false;
    static Connection* conn = nullptr;
    if (!made) {
        made = true;
        static char dir_template[] = "/tmp/kest_bench_textXXXXXX";
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
        app_wire_text_work();
        color_items_init();
        for (ColorItem& item : color_items)
            item.current = item.default_index;
        color_palette_current = color_palette_default;
        conn = conn_new_with_status(conn_list);
    }
    WindowOpenRequest request;
    request.name = name;
    request.type = kWinChannel;
    request.conn = conn;
    WindowRecord* rec = win_record_of(win_open(request));
    QCoreApplication::processEvents();
    // Tall enough to show the rows asked for.
    const int lh = std::max(1, win_line_height(rec));
    QWidget* top = rec->hwnd.get();
    while (top->parentWidget() && !qobject_cast<QMdiSubWindow*>(top))
        top = top->parentWidget();
    top->resize(800, rows * lh + 120);
    QCoreApplication::processEvents();
    win_layout(rec->hwnd.get(), 32879);
    return rec;
}

std::string line_text(long i)
{
    return "line " + std::to_string(i) + " with \x03" "04some\x03 \x02" "formatted\x02 words";
}

void BM_TextMarkAndCopy10000Lines(benchmark::State& state)
{
    static WindowRecord* rec = nullptr;
    if (!win_is_record(rec)) {
        rec = text_window("#mark", 10000);
        // A compact row height, so that the window shows all ten thousand.
        rec->line_height = 12;
        for (long i = 0; i < 10000; ++i)
            line_new(rec, line_text(i).c_str(), 0, kColorNormalText, 0, 0, 0);
        win_recalc_scroll(rec, 1);
    }
    WinRect r;
    win_text_rect(rec->hwnd.get(), r, 0);
    const QRect area(r.left, r.top, r.right - r.left, r.bottom - r.top);
    std::vector<ShownLine> shown;
    draw_lines_in_view(rec, area, shown);
    QImage image(std::max(1, area.width()), std::max(1, area.height()), QImage::Format_RGB32);
    std::size_t copied = 0;
    int painted_per_step = 0;
    for (auto _ : state) {
        QWidget* hwnd = rec->hwnd.get();
        textsel_mouse(hwnd, QPoint(area.left() + 3, shown.front().top + 2));
        textsel_mouse(hwnd, QPoint(area.right() - 3, shown.back().top + 2));
        // One repaint of the view with the marking, as the event loop does.
        {
            QPainter painter(&image);
            draw_buffer(rec, &painter, r);
        }
        painted_per_step = lines_painted(rec, r);
        std::vector<MarkedRow> rows;
        textsel_rows(rec, QPoint(area.left() + 3, shown.front().top + 2),
                     QPoint(area.right() - 3, shown.back().top + 2), rows);
        copied = textsel_text(rec, rows, 0, 0).size();
        textsel_end(hwnd);
    }
    state.counters["lines_in_view"] = static_cast<double>(shown.size());
    state.counters["lines_painted_per_step"] = painted_per_step;
    state.counters["bytes_copied"] = static_cast<double>(copied);
}
BENCHMARK(BM_TextMarkAndCopy10000Lines)->Unit(benchmark::kMillisecond);

// The copy of a marking of all 10,000 lines of a buffer (the text built
// from the marked rows, codes removed).
void BM_TextCopy10000MarkedRows(benchmark::State& state)
{
    WindowRecord* rec = text_window("#copy", 40);
    for (long i = 0; i < 10000; ++i)
        line_new(rec, line_text(i).c_str(), 0, kColorNormalText, 0, 0, 0);
    std::vector<MarkedRow> rows;
    for (StringNode* n = rec->lines; n; n = n->next)
        rows.push_back({n, 0, static_cast<int>(n->text.size())});
    std::size_t copied = 0;
    for (auto _ : state)
        copied = textsel_text(rec, rows, 0, 0).size();
    state.counters["rows"] = static_cast<double>(rows.size());
    state.counters["bytes_copied"] = static_cast<double>(copied);
}
BENCHMARK(BM_TextCopy10000MarkedRows)->Unit(benchmark::kMillisecond);

void BM_TextFindOver100000Lines(benchmark::State& state)
{
    static WindowRecord* rec = nullptr;
    if (!win_is_record(rec)) {
        rec = text_window("#find", 40);
        line_new(rec, "the NEEDLE is in the oldest line", 0, kColorNormalText, 0, 0, 0);
        for (long i = 1; i < 100000; ++i)
            line_new(rec, line_text(i).c_str(), 0, kColorNormalText, 0, 0, 0);
        win_recalc_scroll(rec, 1);
    }
    win_active = rec->hwnd.get();
    find_text = "needle";
    WinRect r;
    win_text_rect(rec->hwnd.get(), r, 0);
    QImage image(std::max(1, r.right), std::max(1, r.bottom), QImage::Format_RGB32);
    int found = 0;
    int painted = 0;
    for (auto _ : state) {
        rec->scroll_pos = rec->scroll_end;
        found = find_text_step(kFindUp, rec);
        QPainter painter(&image);
        draw_buffer(rec, &painter, r);
        painted = lines_painted(rec, r);
    }
    state.counters["buffer_lines"] = rec->line_count;
    state.counters["found"] = found;
    state.counters["lines_painted_after_find"] = painted;
}
BENCHMARK(BM_TextFindOver100000Lines)->Unit(benchmark::kMillisecond);

}  // namespace

#include "display/text_area.h"

#include <QImage>
#include <QPainter>

#include "display/child_controls.h"
#include "display/child_layout.h"
#include "display/window_queries.h"
#include "model/connection.h"
#include "model/window_record.h"
#include "display/print_requests.h"
#include "model/colors.h"
#include "display/draw.h"
#include "model/line_buffer.h"
#include "display/logging.h"
#include "script/exec/script_hooks.h"

void text_area_paint_lines(TextArea* area, QPainter& painter, WindowRecord* rec)
{
    if (!area || !win_is_record(rec) || rec->text_area.get() != area)
        return;
    WinRect r;
    win_text_rect(rec->hwnd.get(), r, 0);
    draw_buffer(rec, &painter, r);
}

QImage text_area_render(WindowRecord* rec)
{
    if (!win_is_record(rec) || !rec->text_area.get())
        return QImage();
    WinRect r;
    win_text_rect(rec->hwnd.get(), r, 0);
    QImage image(std::max(1, r.right), std::max(1, r.bottom), QImage::Format_RGB32);
    image.fill(Qt::black);
    QPainter painter(&image);
    draw_buffer(rec, &painter, r);
    return image;
}

std::uint32_t display_script_colour(int colour)
{
    switch (colour) {
    case kColourInfo:
        return kColorInfoText;
    case kColourInfo2:
        return kColorInfo2Text;
    case kColourNormal:
        return kColorNormalText;
    default:
        return static_cast<std::uint32_t>(colour);
    }
}

void text_area_paint_window(TextArea* area, QPainter& painter, WindowRecord* rec)
{
    text_area_paint_lines(area, painter, rec);
}

void text_area_script_echo(QWidget* window, const std::string& text, int colour)
{
    echo_line(window, text, display_script_colour(colour));
}

void text_area_info_line(QWidget* window, const std::string& text)
{
    echo_line(window, text, kColorInfoText);
}

// The output commands' printer: their one-shot options become the print
// options of the line.
void text_area_output_print(QWidget* window, int colour, const std::string& text,
                    const EchoPrintOptions& options, int kind)
{
    print_options.wrap_mode = options.wrap_mode;
    print_options.indent = options.indent;
    print_options.beep = options.beep;
    print_options.highlight_test = options.highlight_test;
    print_options.timestamp = options.timestamp;
    print_options.flash = options.flash;
    print_options.no_log = options.no_log;
    print_options.message = options.message;
    print_options.raise_activity = options.raise_activity;
    const std::uint32_t value = static_cast<std::uint32_t>(colour);
    switch (kind) {
    case kOutputSeparator:
        print_separator(window, value);
        break;
    case kOutputEcho:
        echo_line(window, text, value);
        break;
    default:
        print_line(window, text, value);
        break;
    }
    // A line that was dropped before print_line (no window) leaves no
    // options behind for the next one.
    print_options_clear();
}


// Picture windows: the back buffer, its painting and growing, /clear, and
// the identifiers that read a picture window ($getdot, $click).
#include "extensions/picture_windows.h"

#include <QPainter>
#include <QWidget>

#include <algorithm>
#include <cstdlib>
#include <string>

#include "app/child_widgets.h"
#include "app/child_window.h"
#include "app/window_open.h"
#include "core/string_list.h"
#include "core/text_buffer.h"
#include "display/child_controls.h"
#include "display/draw.h"
#include "display/window_lines.h"
#include "model/colors.h"
#include "model/connection.h"
#include "model/window_record.h"
#include "script/exec/script_hooks.h"
#include "script/exec/script_types.h"

namespace {

int g_clear_listener = 0;

// The text area's size, or 1 by 1 before it has one.
QSize text_area_size(WindowRecord* rec)
{
    QWidget* area = rec->text_area.get();
    if (!area)
        return QSize(1, 1);
    return QSize(std::max(1, area->width()), std::max(1, area->height()));
}

// Tells the user that the window's picture was cut to the bounds.
void report_cut(WindowRecord* rec, QSize kept)
{
    QWidget* where = conn_is_live(rec->conn) ? rec->conn->status_window.data() : nullptr;
    if (!where)
        where = win_active.get();
    if (!where || !script_echo_line)
        return;
    script_echo_line(where,
                     "* /window: " + rec->name + ": a picture window holds at most " +
                         std::to_string(kPictureMaxSide) + " x " + std::to_string(kPictureMaxSide) +
                         " pixels (" + std::to_string(kPictureMaxPixels) + " in all); its picture is cut to " +
                         std::to_string(kept.width()) + " x " + std::to_string(kept.height()),
                     kColourInfo);
}

// $getdot(window, x, y): the pixel's RGB value (0x00BBGGRR) of a picture
// window; any other window, or a point outside the buffer, gives nothing.
int id_getdot(IdentCall& call)
{
    std::string out;
    WindowRecord* rec = win_find_by_name(ident_arg(call, 0), nullptr);
    picture_sync_layout(rec);
    PictureState* st = picture_of(rec);
    const std::string& xs = ident_arg(call, 1);
    const std::string& ys = ident_arg(call, 2);
    if (st && !xs.empty() && !ys.empty()) {
        const long long x = std::atoll(xs.c_str());
        const long long y = std::atoll(ys.c_str());
        if (x >= 0 && y >= 0 && x < st->buffer.width() && y < st->buffer.height()) {
            const QRgb p = st->buffer.pixel(static_cast<int>(x), static_cast<int>(y));
            out = std::to_string(color_rgb_make(qRed(p), qGreen(p), qBlue(p)));
        }
    }
    return ident_result(call, out);
}

// $click(window, N): the picture window's recorded presses; N of 0 or less
// the count, else the N-th press as "x y"; .x and .y its parts.
int id_click(IdentCall& call)
{
    std::string out;
    WindowRecord* rec = win_find_by_name(ident_arg(call, 0), nullptr);
    if (picture_of(rec)) {
        const long long n = std::atoll(ident_arg(call, 1).c_str());
        if (n <= 0) {
            out = std::to_string(strlist_count(rec->press_points));
        } else {
            long long k = 1;
            const StringNode* node = rec->press_points;
            for (; node && k < n; node = node->next)
                ++k;
            if (node) {
                const std::string& point = node->text;
                const std::size_t comma = point.find(',');
                const std::string x = point.substr(0, comma);
                const std::string y = comma == std::string::npos ? std::string() : point.substr(comma + 1);
                const std::string_view prop = ident_property(call);
                if (text_equal_nocase(prop, "x"))
                    out = x;
                else if (text_equal_nocase(prop, "y"))
                    out = y;
                else
                    out = x + " " + y;
            }
        }
    }
    return ident_result(call, out);
}

}  // namespace

PictureState* picture_of(WindowRecord* rec)
{
    if (!rec || !win_is_record(rec) || rec->type != kWinCustom || !rec->picture)
        return nullptr;
    return static_cast<PictureState*>(rec->picture_state);
}

QSize picture_bounded_size(long long width, long long height, bool* cut)
{
    long long w = std::clamp<long long>(width, 1, kPictureMaxSide);
    long long h = std::clamp<long long>(height, 1, kPictureMaxSide);
    if (w * h > kPictureMaxPixels)
        h = std::max<long long>(1, kPictureMaxPixels / w);
    if (cut)
        *cut = w != std::max<long long>(width, 1) || h != std::max<long long>(height, 1);
    return QSize(static_cast<int>(w), static_cast<int>(h));
}

QRgb picture_background()
{
    return color_rgb_to_argb(color_rgb(kColorBackground));
}

void picture_note_extent(PictureState* st, long long right, long long bottom)
{
    if (!st)
        return;
    st->extent_x = static_cast<int>(std::clamp<long long>(std::max<long long>(st->extent_x, right), 0,
                                                          st->buffer.width()));
    st->extent_y = static_cast<int>(std::clamp<long long>(std::max<long long>(st->extent_y, bottom), 0,
                                                          st->buffer.height()));
}

void picture_show(WindowRecord* rec, const QRect& area)
{
    if (!win_is_record(rec))
        return;
    QWidget* text = rec->text_area.get();
    if (!text)
        return;
    if (area.isEmpty())
        text->update();
    else
        text->update(area);
}

void picture_create(WindowRecord* rec)
{
    if (!win_is_record(rec) || !rec->picture)
        return;
    picture_free(rec);
    const QSize want = text_area_size(rec);
    bool cut = false;
    const QSize size = picture_bounded_size(want.width(), want.height(), &cut);
    auto* st = new PictureState;
    st->buffer = QImage(size, QImage::Format_RGB32);
    if (st->buffer.isNull()) {
        delete st;
        return;
    }
    rec->picture_state = st;
    picture_clear(rec, false);
    if (cut)
        report_cut(rec, size);
}

void picture_free(WindowRecord* rec)
{
    if (!rec)
        return;
    delete static_cast<PictureState*>(rec->picture_state);
    rec->picture_state = nullptr;
}

void picture_clear(WindowRecord* rec, bool show)
{
    PictureState* st = picture_of(rec);
    if (!st)
        return;
    st->extent_x = 0;
    st->extent_y = 0;
    st->buffer.fill(picture_background());
    if (show)
        picture_show(rec, QRect());
}

void picture_paint(WindowRecord* rec, QPainter& painter, const QRect& area)
{
    PictureState* st = picture_of(rec);
    painter.save();
    painter.setClipRect(area);
    if (st) {
        painter.drawImage(QPoint(0, 0), st->buffer);
        // A window larger than its bounded picture: the rest is background.
        const QRect drawn(QPoint(0, 0), st->buffer.size());
        QRegion rest = QRegion(area).subtracted(QRegion(drawn));
        for (const QRect& r : rest)
            painter.fillRect(r, QColor::fromRgb(picture_background()));
    } else {
        painter.fillRect(area, QColor::fromRgb(picture_background()));
    }
    painter.restore();
}

void picture_grow(WindowRecord* rec)
{
    PictureState* st = picture_of(rec);
    if (!st)
        return;
    const QSize area = text_area_size(rec);
    const QSize old = st->buffer.size();
    const QSize bounded_area = picture_bounded_size(area.width(), area.height(), nullptr);
    if (bounded_area == old)
        return;
    st->extent_x = std::min(st->extent_x + 1, old.width());
    st->extent_y = std::min(st->extent_y + 1, old.height());
    bool cut = false;
    const QSize size = picture_bounded_size(std::max(area.width(), st->extent_x),
                                            std::max(area.height(), st->extent_y), &cut);
    if (size == old)
        return;
    QImage grown(size, QImage::Format_RGB32);
    if (grown.isNull())
        return;  // the old buffer stays
    grown.fill(picture_background());
    {
        QPainter p(&grown);
        p.drawImage(QPoint(0, 0), st->buffer);
    }
    st->buffer = std::move(grown);
    picture_show(rec, QRect());
    if (cut)
        report_cut(rec, size);
}

void picture_sync_layout(WindowRecord* rec)
{
    PictureState* st = picture_of(rec);
    QWidget* hwnd = rec ? rec->hwnd.get() : nullptr;
    if (!st || !hwnd)
        return;
    // A window just opened or resized is laid out later; a script that
    // draws at once must find the buffer at the window's size.
    const WinRect& r = rec->layout_rect;
    if (r.right - r.left != hwnd->width() || r.bottom - r.top != hwnd->height())
        win_layout(hwnd, kLayoutFull);
}

void picture_windows_install()
{
    picture_draw_register();
    picture_files_register();
    ident_register_family("id_getdot", id_getdot);
    ident_register_family("id_click", id_click);
    win_picture_clear_asked.add_once(g_clear_listener, kPictureClearWindows,
                                     [](WindowRecord* rec) { picture_clear(rec, true); });
}

void picture_windows_uninstall()
{
    win_picture_clear_asked.drop(g_clear_listener);
}

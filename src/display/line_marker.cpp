#include "display/line_marker.h"

#include <QPainter>
#include <QPixmap>
#include <QRect>

#include <algorithm>
#include <memory>

#include "display/child_layout.h"
#include "display/child_controls.h"
#include "model/window_record.h"
#include "display/window_queries.h"
#include "display/pictures.h"
#include "core/files.h"
#include "core/ini.h"
#include "core/main_settings.h"
#include "core/record_slots.h"
#include "core/string_list.h"
#include "core/text_buffer.h"
#include "model/colors.h"
#include "display/draw.h"
#include "model/line_buffer.h"
#include "display/wrap.h"
#include "platform/platform_utils.h"

MarkerSettings marker_settings;

namespace {

struct MarkerState {
    int made = 0;
    int show = 0;
    int seen = 1;
    StringNode* jump_back = nullptr;   // compared and searched for, never followed unchecked
};
RecordSlot<MarkerState> g_marker_slot;

std::unique_ptr<QPixmap> g_picture;   // made only once a picture is set

MarkerState& state(WindowRecord* rec)
{
    MarkerState& st = rec->state_slots.get(g_marker_slot);
    if (!st.made) {
        st.made = 1;
        st.show = (rec->type == kWinStatus || rec->type == kWinChannel || rec->type == kWinQuery)
                      ? marker_settings.show
                      : 0;
    }
    return st;
}

bool has_marker(WindowRecord* rec)
{
    switch (rec->type) {
    case kWinStatus:
    case kWinChannel:
    case kWinQuery:
        return true;
    case kWinCustom:
        return state(rec).show != 2;
    default:
        return false;
    }
}

// The index of the line in the buffer (searching from the newest), or -1.
int index_of(WindowRecord* rec, const StringNode* line)
{
    if (!line || !rec->lines)
        return -1;
    int index = rec->line_count - 1;
    for (StringNode* n = rec->lines->prev;; n = n->prev, --index) {
        if (n == line)
            return index;
        if (n == rec->lines)
            return -1;
    }
}

bool is_separator(const StringNode* line)
{
    return line && !line_is_marker(line) && text_equal_nocase(line->text, display_separator_text());
}

void load_picture()
{
    g_picture.reset();
    if (marker_settings.picture.empty())
        return;
    std::string path = marker_settings.picture;
    file_abs_settings_dir(path);
    QImage image;
    img_load_file(path, image, color_rgb(kColorBackground), kImgDib);
    if (image.isNull())
        return;
    QPixmap pic = QPixmap::fromImage(image);
    pic.setMask(pic.createMaskFromColor(QColor(255, 0, 255)));
    g_picture = std::make_unique<QPixmap>(pic);
}

}  // namespace

void marker_load()
{
    std::string v;
    ini_read("marker", "show", "on", v, 306, main_ini_path);
    marker_settings.show = text_equal_nocase(v, "on") ? 1 : 0;
    ini_read("marker", "size", "1", v, 306, main_ini_path);
    int n = std::atoi(v.c_str());
    marker_settings.size = n >= 1 && n <= 20 ? n : 1;
    ini_read("marker", "colour", "15", v, 306, main_ini_path);
    n = std::atoi(v.c_str());
    marker_settings.colour = n >= 0 && n <= 15 && !v.empty() ? n : 15;
    ini_read("marker", "method", "1", v, 306, main_ini_path);
    n = std::atoi(v.c_str());
    marker_settings.method = n == 1 ? 1 : 0;
    ini_read("marker", "picture", "", v, 1074, main_ini_path);
    std::string path = v;
    file_abs_settings_dir(path);
    marker_settings.picture = !v.empty() && file_exists(path, 1) ? v : std::string();
    load_picture();
}

void marker_save()
{
    ini_write("marker", "show", marker_settings.show ? "on" : "off", main_ini_path);
    ini_write("marker", "size", std::to_string(marker_settings.size).c_str(), main_ini_path);
    ini_write("marker", "colour", std::to_string(marker_settings.colour).c_str(), main_ini_path);
    ini_write("marker", "method", std::to_string(marker_settings.method).c_str(), main_ini_path);
    ini_write("marker", "picture", marker_settings.picture.c_str(), main_ini_path);
    load_picture();
}

int marker_show_flag(WindowRecord* rec)
{
    return win_is_record(rec) ? state(rec).show : 0;
}

void marker_set_show_flag(WindowRecord* rec, int show)
{
    if (!win_is_record(rec))
        return;
    state(rec).show = show;
    marker_move_to_end(rec, 1);
}

int marker_seen(WindowRecord* rec)
{
    return win_is_record(rec) ? state(rec).seen : 0;
}

void marker_move_to_end(WindowRecord* rec, int mode)
{
    if (!win_is_record(rec))
        return;
    MarkerState& st = state(rec);
    if (!has_marker(rec)) {
        rec->marker_line = nullptr;
        st.seen = 0;
        return;
    }
    if (mode == 0) {
        if (rec->marker_line && !st.seen)
            return;
        if (!win_needs_highlight(rec->hwnd.get())) {
            st.seen = 1;   // the user looks at the window and its newest text
            return;
        }
    }
    const bool at_end = rec->scroll_pos == rec->scroll_end;
    // The old marker: removed when it is a marker line, else forgotten.
    StringNode* place = nullptr;
    bool found = false;
    if (rec->marker_line && index_of(rec, rec->marker_line) >= 0) {
        found = true;
        StringNode* old = rec->marker_line;
        place = old;
        if (line_is_marker(old)) {
            place = old->next;
            StringNode* before = old == rec->lines ? nullptr : old->prev;
            StringNode* after = old->next;
            rec->lines = strlist_remove(rec->lines, old);
            --rec->line_count;
            if (is_separator(before) && is_separator(after)) {
                if (place == after)
                    place = after->next;
                rec->lines = strlist_remove(rec->lines, after);
                --rec->line_count;
            }
        }
        if (mode == 1)
            win_recalc_scroll(rec, at_end ? 1 : 0);
    }
    rec->marker_line = nullptr;
    // The new place: above the newest printed line (mode 0), or where the
    // old marker was (mode 1).
    if (mode == 0) {
        if (!rec->lines)
            return;
        StringNode* first = rec->lines->prev;
        while (first != rec->lines && first->prev->serial == first->serial && !line_is_marker(first->prev))
            first = first->prev;
        place = first;
    } else if (!found) {
        return;
    }
    if (st.show == 1) {
        StringNode* line = strlist_append(nullptr, "", 0);
        if (!line)
            return;
        line_set_prefix(line, 2);
        line_set_colour(line, kColorBackground);
        line->wrapMode = 0;
        line->serial = (place ? place->serial : line_serial) + 100;
        rec->lines = strlist_splice(rec->lines, place, line);
        ++rec->line_count;
        rec->marker_line = line;
        win_recalc_scroll(rec, at_end ? 1 : 0);
    } else {
        rec->marker_line = place;
    }
    st.seen = 0;
}

int marker_jump(WindowRecord* rec)
{
    if (!win_is_record(rec) || !rec->text_area.get() || !rec->lines)
        return 0;
    MarkerState& st = state(rec);
    if (!rec->marker_line)
        return 0;
    const bool at_end = rec->scroll_pos == rec->scroll_end;
    const int width = wrap_area_width(rec);
    if (width > 0)
        win_rewrap_lines(rec, width);
    win_recalc_scroll(rec, at_end ? 1 : 0);
    const int marker = index_of(rec, rec->marker_line);
    if (marker < 0) {
        rec->marker_line = nullptr;
        beep_error(0);
        return 0;
    }
    int back = st.jump_back ? index_of(rec, st.jump_back) : -1;
    if (back >= 0 && back <= rec->scroll_pos) {
        st.jump_back = nullptr;
        back = -1;
    }
    if (back < 0)
        st.jump_back = nullptr;
    const int rows = std::max(1, win_rows_that_fit(rec));
    const int top = rec->scroll_pos - rows + 1;
    if (marker >= top && marker <= rec->scroll_pos) {
        if (marker_settings.method == 1 && back >= 0) {
            rec->scroll_pos = std::min(back, rec->scroll_end);
            st.jump_back = nullptr;
            win_update_vscroll(rec);
            rec->text_area.get()->update();
        } else {
            st.show = st.show == 1 ? 0 : 1;
            marker_move_to_end(rec, 1);
            rec->text_area.get()->update();
        }
        return 1;
    }
    const int target = std::min(marker + rows / 2, rec->scroll_end);
    if (!st.jump_back)
        st.jump_back = line_from_end(rec, rec->line_count - 1 - rec->scroll_pos);
    // The view glides there, repainting after every step.
    int guard = 0;
    while (rec->scroll_pos != target && guard++ < 10000) {
        const int remaining = std::abs(target - rec->scroll_pos);
        int step = std::max(1, remaining / 2);
        if (remaining - step <= 5)
            step = 1;
        else if (remaining - step <= 15)
            step = std::min(step, 2);
        rec->scroll_pos += target > rec->scroll_pos ? step : -step;
        win_update_vscroll(rec);
        rec->text_area.get()->repaint();
        if (!win_is_record(rec))
            return 0;
    }
    if (st.show != 1) {
        st.show = 1;
        marker_move_to_end(rec, 1);
    }
    rec->text_area.get()->update();
    return 1;
}

void marker_draw(WindowRecord* rec, QPainter& painter, const QRect& row, int band_only)
{
    if (!win_is_record(rec))
        return;
    MarkerState& st = state(rec);
    if (!win_needs_highlight(rec->hwnd.get()))
        st.seen = 1;
    if (!band_only)
        painter.fillRect(row, draw_palette_colour(color_resolve(kColorBackground)));
    int size = marker_settings.size;
    if (size < 1 || size > 20)
        size = 3;
    size = std::max(1, std::min(size, row.height() - 2));
    const QRect band(row.left(), row.top() + (row.height() - size) / 2, row.width(), size);
    if (g_picture) {
        painter.save();
        painter.setClipRect(band);
        painter.drawTiledPixmap(band, *g_picture);
        painter.restore();
        return;
    }
    int colour = marker_settings.colour;
    if (colour < 0 || colour > 15)
        colour = 4;
    painter.fillRect(band, draw_palette_colour(colour));
}

namespace {

int g_printed_id = 0;

void marker_after_print(const LinePrinted& line)
{
    if (line.event == kPrintStored)
        marker_move_to_end(line.rec, 0);
}

}  // namespace

void marker_install()
{
    line_printed.add_once(g_printed_id, kPrintedMarker, marker_after_print);
    static int load_listener = 0;
    settings_loaded.add_once(load_listener, kLoadMarker, [](SettingsLoad&) { marker_load(); });
}

void marker_uninstall()
{
    line_printed.drop(g_printed_id);
}

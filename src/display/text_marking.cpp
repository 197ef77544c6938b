#include "display/text_marking.h"

#include <QCursor>
#include <QMouseEvent>
#include <QPointer>
#include <QRect>

#include <algorithm>
#include <cstdio>

#include "display/child_layout.h"
#include "display/child_controls.h"
#include "model/window_record.h"
#include "core/text_buffer.h"
#include "model/colors.h"
#include "display/draw.h"
#include "model/line_buffer.h"
#include "platform/platform_utils.h"

namespace {

// The running marking: its window, its points and the rows the painter
// asks about (their line pointers are only compared, never followed).
struct Marking {
    QPointer<QWidget> hwnd;
    QPoint start;
    QPoint end;
    std::vector<MarkedRow> rows;
    int scrolled = 0;   // the drag scrolled the view
};
Marking g_mark;

// A drag past the top or bottom edge scrolls the view a line per step; the
// start point moves with the text it was pressed on.
void drag_scroll(WindowRecord* rec, const QRect& area, int y)
{
    const int lh = std::max(1, win_line_height(rec));
    if (y < area.top() && rec->scroll_pos > 0) {
        --rec->scroll_pos;
        g_mark.start.ry() += lh;
        g_mark.scrolled = 1;
    } else if (y > area.bottom() && rec->scroll_pos < rec->scroll_end) {
        ++rec->scroll_pos;
        g_mark.start.ry() -= lh;
        g_mark.scrolled = 1;
    } else {
        return;
    }
    win_update_vscroll(rec);
}

// Glides a view the drag scrolled back to its newest lines: half the
// distance a step, one line a step for the last fifty.
void scroll_back(WindowRecord* rec)
{
    int guard = 0;
    while (rec->scroll_pos < rec->scroll_end && guard++ < 10000) {
        const int remaining = rec->scroll_end - rec->scroll_pos;
        int step = std::max(1, remaining / 2);
        if (remaining - step <= 50)
            step = 1;
        rec->scroll_pos += step;
        win_update_vscroll(rec);
        if (TextArea* area = rec->text_area.get())
            area->repaint();
        if (!win_is_record(rec))
            return;
    }
}

QRect text_area_rect(WindowRecord* rec)
{
    WinRect r;
    win_text_rect(rec->hwnd.get(), r, 0);
    return QRect(r.left, r.top, r.right - r.left, r.bottom - r.top);
}

// The row of the shown lines that y falls in: -1 above the first, the
// count below the last.
int row_at(const std::vector<ShownLine>& shown, int y, int row_h)
{
    if (shown.empty() || y < shown.front().top)
        return -1;
    for (std::size_t i = 0; i < shown.size(); ++i) {
        const int bottom = i + 1 < shown.size() ? shown[i + 1].top : shown[i].top + row_h;
        if (y < bottom)
            return static_cast<int>(i);
    }
    return static_cast<int>(shown.size());
}

bool same_printed_line(const StringNode* a, const StringNode* b)
{
    return a && b && a->next == b && a->serial == b->serial;
}

int utf8_chars(const std::string& s)
{
    int n = 0;
    for (unsigned char c : s)
        if ((c & 0xC0) != 0x80)
            ++n;
    return n;
}

// The format in force at byte `at` of the display line, from the first part
// of its printed line; the codes that rebuild it (empty for the plain
// format). next_digit: the marked text begins with a digit.
std::string format_prefix(WindowRecord* rec, const StringNode* line, int at, bool next_digit)
{
    const int def_fg = color_resolve(line_colour(line));
    const int def_bg = color_resolve(kColorBackground);
    const StringNode* first = line;
    for (int guard = 0; first != rec->lines && first->prev && first->prev->serial == line->serial &&
                        guard < 8192;
         ++guard)
        first = first->prev;
    FormatState st = format_state_for(def_fg, def_bg);
    for (const StringNode* p = first; p && p != line; p = p->next)
        format_scan(st, p->text, 0, p->text.size(), def_fg, def_bg);
    format_scan(st, line->text, 0, static_cast<std::size_t>(at), def_fg, def_bg);
    std::string out;
    if (st.bold)
        out += '\x02';
    if (st.underline)
        out += '\x1F';
    if (st.reverse)
        out += '\x16';
    char buf[32];
    if (st.bg != def_bg) {
        std::snprintf(buf, sizeof buf, next_digit ? "%c%d,%02d" : "%c%d,%d", 3, st.fg, st.bg);
        out += buf;
    } else if (st.fg != def_fg) {
        std::snprintf(buf, sizeof buf, next_digit ? "%c%02d" : "%c%d", 3, st.fg);
        out += buf;
    }
    return out;
}

}  // namespace

void textsel_rows(WindowRecord* rec, QPoint a, QPoint b, std::vector<MarkedRow>& out)
{
    out.clear();
    if (!win_is_record(rec) || !rec->lines || !rec->text_area.get())
        return;
    const QRect area = text_area_rect(rec);
    std::vector<ShownLine> shown;
    draw_lines_in_view(rec, area, shown);
    if (shown.empty())
        return;
    const int row_h = std::max(1, win_line_height(rec));
    int ra = row_at(shown, a.y(), row_h);
    int rb = row_at(shown, b.y(), row_h);
    if (rb < ra || (rb == ra && b.x() < a.x())) {
        std::swap(a, b);
        std::swap(ra, rb);
    }
    const int last = static_cast<int>(shown.size()) - 1;
    int x1 = a.x();
    int x2 = b.x();
    if (ra < 0) {
        ra = 0;
        x1 = -1;
    }
    if (rb > last) {
        rb = last;
        x2 = 1 << 30;
    }
    if (ra > last || rb < 0)
        return;
    const int x0 = area.left() + 2;
    std::vector<CharBox> boxes;
    for (int r = ra; r <= rb; ++r) {
        StringNode* line = shown[r].line;
        draw_line_char_boxes(rec, line, x0, boxes);
        int from = -1, to = -1;
        for (const CharBox& c : boxes) {
            if (r == ra && c.right <= x1)
                continue;
            if (r == rb && c.left > x2)
                break;
            if (from < 0)
                from = c.from;
            to = c.to;
        }
        if (from >= 0)
            out.push_back({line, from, to});
    }
}

std::string textsel_text(WindowRecord* rec, const std::vector<MarkedRow>& rows, int ctrl,
                         int shift)
{
    std::string text;
    if (!win_is_record(rec) || rows.empty())
        return text;
    text.reserve(100);
    bool codes = false;
    const StringNode* previous = nullptr;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const MarkedRow& row = rows[i];
        const std::string& t = row.line->text;
        const std::size_t from = std::min<std::size_t>(static_cast<std::size_t>(row.from), t.size());
        const std::size_t to = std::clamp<std::size_t>(static_cast<std::size_t>(row.to), from, t.size());
        std::string piece = t.substr(from, to - from);
        if (i > 0) {
            if (!shift && same_printed_line(previous, row.line)) {
                // The continuation's indent is not part of the marked bytes.
                if (piece.empty())
                    piece.assign(1, ' ');
            } else {
                text += "\r\n";
            }
        }
        if (ctrl) {
            if (text_has_codes(piece, 0))
                codes = true;
            if (i == 0) {
                const bool digit = !piece.empty() && piece[0] >= '0' && piece[0] <= '9';
                std::string prefix = format_prefix(rec, row.line, static_cast<int>(from), digit);
                if (!prefix.empty())
                    codes = true;
                text += prefix;
            }
        } else {
            text_strip_codes(piece, 15);
        }
        text += piece;
        previous = row.line;
    }
    std::string visible = text;
    text_strip_codes(visible, 31);
    if (utf8_chars(visible) < 2)
        return std::string();
    if (ctrl && codes)
        text += '\x0F';
    return text;
}

WindowRecord* textsel_marking_window()
{
    return g_mark.hwnd ? win_record_of(g_mark.hwnd.data()) : nullptr;
}

namespace {
int g_held_id = 0;
}  // namespace

void textsel_install()
{
    // The marked window's lines stay where they are while the mouse marks.
    lines_held.add_once(g_held_id, kLinesHeldMarking,
                        [](const WindowRecord* rec) { return textsel_marking_window() == rec ? 1 : 0; });
}

void textsel_uninstall()
{
    lines_held.drop(g_held_id);
}

void textsel_mouse(QWidget* hwnd, QPoint point)
{
    WindowRecord* rec = win_record_of(hwnd);
    if (!rec || !rec->text_area.get() || !rec->lines)
        return;
    const QRect area = text_area_rect(rec);
    int x = point.x() > 10000 ? 0 : point.x();
    int y = point.y() > 10000 ? 0 : point.y();
    x = std::clamp(x, 2, std::max(2, area.right()));
    y = std::max(0, y);
    const bool running = g_mark.hwnd && g_mark.hwnd.data() == hwnd;
    if (running)
        drag_scroll(rec, area, point.y() > 10000 ? -1 : point.y());
    if (!running) {
        if (!area.contains(point))
            return;
        if (g_mark.hwnd)
            textsel_end(g_mark.hwnd.data());
        g_mark.hwnd = hwnd;
        g_mark.start = QPoint(x, y);
        g_mark.scrolled = 0;
    }
    g_mark.end = QPoint(x, y);
    textsel_rows(rec, g_mark.start, g_mark.end, g_mark.rows);
    rec->text_area.get()->update();
    if (g_mark.rows.empty() && !running)
        textsel_end(hwnd);
}

void textsel_end(QWidget* hwnd)
{
    if (!g_mark.hwnd || g_mark.hwnd.data() != hwnd)
        return;
    const bool any = !g_mark.rows.empty();
    const int scrolled = g_mark.scrolled;
    g_mark.hwnd = nullptr;
    g_mark.rows.clear();
    g_mark.start = g_mark.end = QPoint();
    g_mark.scrolled = 0;
    WindowRecord* rec = win_record_of(hwnd);
    if (scrolled && rec)
        scroll_back(rec);
    if (any && rec && rec->text_area.get())
        rec->text_area.get()->update();
}

void textsel_end_record(WindowRecord* rec)
{
    if (win_is_record(rec))
        textsel_end(rec->hwnd.get());
}

int textsel_copy(QWidget* hwnd, int ctrl, int shift)
{
    if (!g_mark.hwnd || g_mark.hwnd.data() != hwnd)
        return 0;
    WindowRecord* rec = win_record_of(hwnd);
    if (!rec || !rec->lines)
        return 0;
    // The rows again from the points: lines may have come and gone since.
    std::vector<MarkedRow> rows;
    textsel_rows(rec, g_mark.start, g_mark.end, rows);
    std::string text = textsel_text(rec, rows, ctrl, shift);
    if (text.empty())
        return 0;
    if (!clip_set_text(rec, text, 0)) {
        beep_error(0);
        return 0;
    }
    return 1;
}

int textsel_marked_span(WindowRecord* rec, const StringNode* line, int* from, int* to)
{
    if (!rec || !g_mark.hwnd || rec->hwnd.get() != g_mark.hwnd.data())
        return 0;
    for (const MarkedRow& row : g_mark.rows) {
        if (row.line == line) {
            *from = row.from;
            *to = row.to;
            return 1;
        }
    }
    return 0;
}

int textsel_text_area_mouse(TextArea* area, QMouseEvent* event, WindowRecord* rec)
{
    if (!area || !event || !win_is_record(rec))
        return 0;
    QWidget* hwnd = rec->hwnd.get();
    const QPoint p = event->position().toPoint();
    switch (event->type()) {
    case QEvent::MouseButtonPress:
        if (event->button() != Qt::LeftButton)
            return 0;
        textsel_mouse(hwnd, p);
        return g_mark.hwnd && g_mark.hwnd.data() == hwnd ? 1 : 0;
    case QEvent::MouseMove:
        if (!(event->buttons() & Qt::LeftButton) || !g_mark.hwnd || g_mark.hwnd.data() != hwnd)
            return 0;
        textsel_mouse(hwnd, p);
        return 1;
    case QEvent::MouseButtonRelease: {
        if (event->button() != Qt::LeftButton || !g_mark.hwnd || g_mark.hwnd.data() != hwnd)
            return 0;
        textsel_mouse(hwnd, p);
        const Qt::KeyboardModifiers mods = event->modifiers();
        textsel_copy(hwnd, (mods & Qt::ControlModifier) ? 1 : 0, (mods & Qt::ShiftModifier) ? 1 : 0);
        textsel_end(hwnd);
        return 1;
    }
    default:
        return 0;
    }
}

int textsel_ctrl_c(WindowRecord* rec)
{
    if (!win_is_record(rec) || !g_mark.hwnd || g_mark.hwnd.data() != rec->hwnd.get())
        return 0;
    QWidget* hwnd = rec->hwnd.get();
    if (TextArea* area = rec->text_area.get())
        textsel_mouse(hwnd, area->mapFromGlobal(QCursor::pos()));
    textsel_copy(hwnd, 0, 0);
    textsel_end(hwnd);
    return 1;
}

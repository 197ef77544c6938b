// The layout of a window's controls, scrolling and window placement.
#include "display/child_layout.h"
#include "display/child_controls.h"
#include "display/window_queries.h"

#include <QApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QScrollBar>
#include <QStyle>

#include <algorithm>

#include "model/window_record.h"

int win_editbox_spacing = 0;
Signal<void(QWidget*, int)> win_layout_wanted;

bool is_list_window(int type)
{
    return type == kWinChanList || type == kWinUrls || type == kWinNotify || type == kWinLinks;
}

// ---- Geometry ----

void win_border_insets(int border_style, int type, int* left_top, int* right_bottom)
{
    int lt = 0;
    int rb = 0;
    if (border_style == 1) {
        lt = 1;
        rb = is_list_window(type) ? 2 : 1;
    } else if (border_style == 2) {
        lt = 2;
        rb = 2;
    }
    if (left_top)
        *left_top = lt;
    if (right_bottom)
        *right_bottom = rb;
}

int win_editbox_row_height(int line_height, int extra, int spacing, int mode, int lines,
                           int client_height, int* lines_used)
{
    int base = line_height + extra + spacing + 2;
    int used = 1;
    int row = base;
    if (mode == 2) {
        used = lines > 1 ? lines : 1;
        row = base + (used - 1) * (line_height - 1);
        while (used > 1 && row > client_height / 2) {
            --used;
            row = base + (used - 1) * (line_height - 1);
        }
    } else if (mode == 1) {
        row = 2 * line_height + extra + spacing + 2;
        used = 2;
    }
    if (lines_used)
        *lines_used = used;
    return row;
}

WinLayout win_compute_layout(const WinLayoutInput& in)
{
    WinLayout out;
    int lt = 0;
    int rb = 0;
    win_border_insets(in.border_style, in.type, &lt, &rb);
    int ax = lt;
    int ay = lt;
    int aw = std::max(0, in.client_width - lt - rb);
    int ah = std::max(0, in.client_height - lt - rb);

    // The editbox row.
    int row = 0;
    if (in.has_editbox) {
        row = win_editbox_row_height(in.line_height, in.editbox_extra, in.editbox_spacing,
                                     in.editbox_mode, in.editbox_lines, in.client_height,
                                     &out.editbox_lines);
        row = std::min(row, ah);
    }
    out.editbox_row = row;
    int above = ah - row;  // height above the editbox row
    int row_x = ax;
    int row_w = aw;

    auto place_text = [&](int x, int y, int w, int h) {
        if (!in.has_text_area)
            return;
        out.text_area = QRect(x, y, std::max(0, w), std::max(0, h));
        if (in.has_scroll_bar && w > 0 && h > 0) {
            int sw = std::min(in.scroll_bar_width, w);
            out.scroll_bar = QRect(w - sw, 0, sw, h);
        }
    };
    // The side list next to the text, shrinking when it would leave no room.
    auto side_width = [&]() {
        int lw = std::max(0, in.side_width);
        int room = aw - kSplitterWidth - 1;
        if (lw > room)
            lw = std::max(0, room);
        return lw;
    };

    switch (in.type) {
    case kWinChannel: {
        bool list = in.has_listbox && in.list_shown && in.nicklist_place != 2;
        if (!list) {
            place_text(ax, ay, aw, above);
            break;
        }
        int lw = side_width();
        out.side_width = lw;
        if (in.nicklist_place == 1) {
            out.listbox = QRect(ax, ay, lw, ah);
            int tx = ax + lw + kSplitterWidth;
            place_text(tx, ay, ax + aw - tx, above);
            row_x = tx;
            row_w = ax + aw - tx;
        } else {
            out.listbox = QRect(ax + aw - lw, ay, lw, above);
            place_text(ax, ay, aw - lw - kSplitterWidth, above);
        }
        break;
    }
    case kWinFinger:
        place_text(ax, ay, aw, ah);
        break;
    case kWinChanList:
    case kWinUrls:
    case kWinNotify:
    case kWinLinks:
        if (in.has_listbox)
            out.listbox = QRect(ax, ay, aw, ah);
        break;
    case kWinCustom:
        if (in.subtype == 1) {
            if (in.has_listbox)
                out.listbox = QRect(ax, ay, aw, above);
        } else if (in.subtype == 2 && in.has_listbox && in.list_shown) {
            int lw = side_width();
            out.side_width = lw;
            out.listbox = QRect(ax + aw - lw, ay, lw, above);
            place_text(ax, ay, aw - lw - kSplitterWidth, above);
        } else {
            place_text(ax, ay, aw, above);
        }
        break;
    case kWinTransfer:
        break;
    default:  // status and query windows
        place_text(ax, ay, aw, above);
        break;
    }

    if (in.has_editbox && row > 0) {
        int ry = ay + above;
        if (in.has_editbox2) {
            int first = row_w * std::clamp(in.editbox_split, 0, 100) / 100;
            out.editbox = QRect(row_x, ry, first, row);
            int second_x = row_x + first + kEditboxGap;
            out.editbox2 = QRect(second_x, ry, std::max(0, row_x + row_w - second_x), row);
        } else {
            out.editbox = QRect(row_x, ry, row_w, row);
        }
    }
    return out;
}

int win_line_height(WindowRecord* rec)
{
    if (!rec)
        return 0;
    if (rec->line_height > 0)
        return rec->line_height;
    QWidget* w = rec->text_area.get() ? static_cast<QWidget*>(rec->text_area.get()) : rec->hwnd.get();
    if (rec->font)
        return QFontMetrics(*rec->font).height();
    return w ? w->fontMetrics().height() : 0;
}

WinLayoutInput win_layout_input(WindowRecord* rec)
{
    WinLayoutInput in;
    if (!rec)
        return in;
    QWidget* hwnd = rec->hwnd.get();
    if (hwnd) {
        in.client_width = hwnd->width();
        in.client_height = hwnd->height();
    }
    in.border_style = rec->border_style;
    in.type = rec->type;
    in.subtype = rec->subtype;
    in.line_height = win_line_height(rec);
    in.editbox_extra = rec->editbox_extra;
    in.editbox_spacing = win_editbox_spacing;
    in.editbox_mode = rec->editbox_mode;
    in.editbox_lines = rec->editbox.get() ? rec->editbox->lineCount() : 1;
    in.has_text_area = rec->text_area.get() ? 1 : 0;
    in.has_scroll_bar = rec->scroll_bar.get() ? 1 : 0;
    in.has_editbox = rec->editbox.get() ? 1 : 0;
    in.has_editbox2 = rec->editbox2.get() ? 1 : 0;
    in.editbox_split = rec->editbox_split;
    in.has_listbox = rec->listbox.get() ? 1 : 0;
    in.list_shown = rec->side_list_hidden ? 0 : 1;
    in.nicklist_place = rec->nicklist_place;
    in.side_width = rec->side_list_width;
    in.scroll_bar_width = win_system_metric(2);
    return in;
}

WindowRecord* win_text_rect(QWidget* hwnd, WinRect& out, int with_scroll_bar)
{
    out = WinRect{};
    WindowRecord* rec = win_record_of(hwnd);
    if (!rec)
        return nullptr;
    TextArea* area = rec->text_area.get();
    if (!area)
        return rec;
    QRect r = area->contentsRect();
    int right = r.right() + 1;
    if (!with_scroll_bar) {
        if (QScrollBar* bar = rec->scroll_bar.get(); bar && bar->isVisibleTo(area))
            right -= bar->width();
    }
    out.left = std::max(0, r.left());
    out.top = std::max(0, r.top());
    out.right = std::max(out.left, right);
    out.bottom = std::max(out.top, r.bottom() + 1);
    rec->text_rect = out;
    return rec;
}

namespace {

// Pixels one line takes for scrolling by the window's spacing.
int scroll_step(WindowRecord* rec)
{
    int lh = win_line_height(rec);
    if (rec->spacing == 1)
        return 2 * lh - 1;
    if (rec->spacing == 3)
        return lh + lh / 3;
    return lh;
}

bool recalc_running = false;

}  // namespace

int win_rows_that_fit(WindowRecord* rec)
{
    if (!rec)
        return 0;
    WinRect r;
    win_text_rect(rec->hwnd.get(), r, 0);
    int lh = win_line_height(rec);
    if (rec->spacing == 1)
        lh *= 2;
    if (lh <= 0)
        return 0;
    return (r.bottom - r.top) / lh;
}

void win_update_vscroll(WindowRecord* rec)
{
    if (!win_is_record(rec))
        return;
    QScrollBar* bar = rec->scroll_bar.get();
    if (!bar)
        return;
    int max = rec->scroll_end;
    if (max <= 0) {
        rec->scroll_pos = 0;
        QSignalBlocker block(bar);
        bar->setRange(0, 0);
        bar->setValue(0);
        bar->setEnabled(false);
        return;
    }
    QSignalBlocker block(bar);
    bar->setEnabled(true);
    bar->setRange(0, max);
    bar->setPageStep(win_rows_that_fit(rec) + 1);
    bar->setSingleStep(1);
    bar->setValue(rec->scroll_pos);
}

void win_recalc_scroll(WindowRecord* rec, int mode)
{
    if (!win_is_record(rec) || recalc_running)
        return;
    if (!rec->scroll_bar.get())
        return;
    recalc_running = true;
    int max;
    if (rec->type == kWinLinks)
        max = rec->line_count - win_rows_that_fit(rec);
    else
        max = rec->line_count - 1;
    if (max < 0)
        max = 0;
    rec->scroll_end = max;
    if (mode == 1)
        rec->scroll_pos = max;
    else if (rec->scroll_pos > max)
        rec->scroll_pos = max;
    if (rec->scroll_pos < 0)
        rec->scroll_pos = 0;
    win_update_vscroll(rec);
    recalc_running = false;
}

void win_on_vscroll(WindowRecord* rec, int code, int position, int from_scroll_bar)
{
    if (!win_is_record(rec))
        return;
    ListBox* list = rec->listbox.get();
    if (list && list->hasFocus() && !from_scroll_bar) {
        int count = list->count();
        if (count <= 0)
            return;
        int row = list->currentRow();
        int page = std::max(1, list->viewport()->height() /
                                   std::max(1, list->sizeHintForRow(0)));
        switch (code) {
        case kScrollLineUp: row -= 1; break;
        case kScrollLineDown: row += 1; break;
        case kScrollPageUp: row -= page; break;
        case kScrollPageDown: row += page; break;
        case kScrollTop: row = 0; break;
        case kScrollBottom: row = count - 1; break;
        default: return;
        }
        list->setCurrentRow(std::clamp(row, 0, count - 1));
        return;
    }
    int step = scroll_step(rec);
    WinRect r;
    win_text_rect(rec->hwnd.get(), r, 0);
    int page = step > 0 ? (r.bottom - r.top) / step : 1;
    if (page < 1)
        page = 1;
    int pos = rec->scroll_pos;
    switch (code) {
    case kScrollLineUp: pos -= 1; break;
    case kScrollLineDown: pos += 1; break;
    case kScrollPageUp: pos -= page; break;
    case kScrollPageDown: pos += page; break;
    case kScrollTop: pos = 0; break;
    case kScrollBottom: pos = rec->scroll_end; break;
    case kScrollThumbPosition:
    case kScrollThumbTrack: pos = position; break;
    default: return;
    }
    pos = std::clamp(pos, 0, std::max(0, rec->scroll_end));
    if (pos == rec->scroll_pos)
        return;
    rec->scroll_pos = pos;
    win_update_vscroll(rec);
    if (TextArea* area = rec->text_area.get())
        area->update();
}

void win_get_placement_rect(QWidget* hwnd, WinRect& out)
{
    out = WinRect{};
    if (!hwnd)
        return;
    QWidget* frame = win_container(hwnd);
    QRect r = (frame->isMinimized() || !frame->isVisible()) ? frame->normalGeometry()
                                                            : frame->geometry();
    if (!r.isValid())
        r = frame->geometry();
    out.left = r.x();
    out.top = r.y();
    out.right = r.width();
    out.bottom = r.height();
}

void win_client_with_bars(QWidget* hwnd, WinRect& out)
{
    out = WinRect{};
    if (!hwnd)
        return;
    out.right = hwnd->width();
    out.bottom = hwnd->height();
}

void win_work_area(WinRect& out)
{
    out = WinRect{};
    QScreen* screen = qApp ? QGuiApplication::primaryScreen() : nullptr;
    if (!screen)
        return;
    QRect r = screen->availableGeometry();
    if (r.isEmpty())
        r = screen->geometry();
    out = WinRect{r.left(), r.top(), r.right() + 1, r.bottom() + 1};
}

int win_system_metric(int index)
{
    QStyle* style = qApp ? QApplication::style() : nullptr;
    QScreen* screen = qApp ? QGuiApplication::primaryScreen() : nullptr;
    switch (index) {
    case 0:
        return screen ? screen->geometry().width() : 0;
    case 1:
        return screen ? screen->geometry().height() : 0;
    case 2:
    case 3:
        return style ? style->pixelMetric(QStyle::PM_ScrollBarExtent) : 16;
    case 4:
        return style ? style->pixelMetric(QStyle::PM_TitleBarHeight) : 20;
    case 32:
    case 33:
        return style ? style->pixelMetric(QStyle::PM_MdiSubWindowFrameWidth) : 4;
    default:
        return 0;
    }
}

#include "display/window_lines.h"
#include "display/line_marker.h"

#include <QFontMetrics>

#include <algorithm>

#include "display/child_layout.h"
#include "display/child_controls.h"
#include "model/window_record.h"
#include "display/window_queries.h"
#include "core/record_slots.h"
#include "core/string_list.h"
#include "core/text_buffer.h"
#include "model/colors.h"
#include "model/line_buffer.h"
#include "model/nick_list.h"
#include "display/text_marking.h"
#include "display/wrap.h"

namespace {

// Where the last walk ended, with what the buffer looked like then. It is
// used only while the buffer still looks the same (first and last line,
// their serials and the count); any change made elsewhere (a printed line,
// a trim, a clear) makes it stale.
struct LineCursor {
    StringNode* head = nullptr;
    StringNode* tail = nullptr;
    int head_serial = 0;
    int tail_serial = 0;
    int line_count = -1;
    StringNode* node = nullptr;  // first part of printed line `index`
    int index = 0;
    int printed = -1;            // number of printed lines, -1 unknown
};
RecordSlot<LineCursor> cursor_slot;

LineCursor* valid_cursor(WindowRecord* rec)
{
    LineCursor* c = rec->state_slots.find(cursor_slot);
    if (!c || !rec->lines)
        return nullptr;
    StringNode* tail = rec->lines->prev;
    if (c->head != rec->lines || c->tail != tail || c->line_count != rec->line_count ||
        c->head_serial != rec->lines->serial || c->tail_serial != tail->serial)
        return nullptr;
    return c;
}

void stamp(WindowRecord* rec, StringNode* node, int index, int printed)
{
    LineCursor& c = rec->state_slots.get(cursor_slot);
    if (!rec->lines) {
        c = LineCursor{};
        return;
    }
    c.head = rec->lines;
    c.tail = rec->lines->prev;
    c.head_serial = c.head->serial;
    c.tail_serial = c.tail->serial;
    c.line_count = rec->line_count;
    c.node = node;
    c.index = node ? index : 0;
    c.printed = printed;
}

bool is_first_part(WindowRecord* rec, const StringNode* p)
{
    return p == rec->lines || p->prev->serial != p->serial;
}

// The first part of the printed line after the one that begins with p.
StringNode* next_printed(const StringNode* p)
{
    const int serial = p->serial;
    StringNode* q = p->next;
    while (q && q->serial == serial)
        q = q->next;
    return q;
}

// The first part of the printed line before the one that begins with p.
StringNode* prev_printed(WindowRecord* rec, StringNode* p)
{
    if (p == rec->lines)
        return nullptr;
    StringNode* q = p->prev;
    while (!is_first_part(rec, q))
        q = q->prev;
    return q;
}

StringNode* last_printed(WindowRecord* rec)
{
    if (!rec->lines)
        return nullptr;
    StringNode* q = rec->lines->prev;
    while (!is_first_part(rec, q))
        q = q->prev;
    return q;
}

int count_printed(WindowRecord* rec)
{
    int n = 0;
    for (StringNode* p = rec->lines; p; p = next_printed(p))
        ++n;
    return n;
}

int known_count(WindowRecord* rec)
{
    LineCursor* c = valid_cursor(rec);
    if (c && c->printed >= 0)
        return c->printed;
    const int n = count_printed(rec);
    if (c)
        c->printed = n;
    else
        stamp(rec, nullptr, 0, n);
    return n;
}

// Removes the parts of one printed line; returns the first part after it.
StringNode* remove_printed(WindowRecord* rec, StringNode* first)
{
    const int serial = first->serial;
    StringNode* p = first;
    while (p && p->serial == serial) {
        StringNode* next = p->next;
        if (rec->marker_line == p)
            rec->marker_line = nullptr;
        rec->lines = strlist_remove(rec->lines, p);
        --rec->line_count;
        p = next;
    }
    if (rec->line_count < 0 || !rec->lines)
        rec->line_count = rec->lines ? rec->line_count : 0;
    return p;
}

StringNode* make_line(WindowRecord* rec, const std::string& text, std::uint32_t colour, int wrap,
                      int indent)
{
    return line_node_new(rec, text, colour, wrap, indent, wrap ? 0 : wrap_area_width(rec));
}

ListBox* list_of(WindowRecord* rec)
{
    return rec && win_is_record(rec) ? rec->listbox.get() : nullptr;
}

QListWidgetItem* item_at(WindowRecord* rec, int n)
{
    ListBox* list = list_of(rec);
    if (!list || n < 1 || n > list->count())
        return nullptr;
    return list->item(n - 1);
}

void style_item(QListWidgetItem* item, std::uint32_t colour)
{
    item->setData(Qt::UserRole, static_cast<qulonglong>(colour));
    item->setForeground(QColor::fromRgba(color_rgb_to_argb(color_rgb(colour))));
}

} // namespace

// ---- Printed lines ----

int wl_text_count(WindowRecord* rec)
{
    return rec && rec->lines ? known_count(rec) : 0;
}

StringNode* wl_text_line(WindowRecord* rec, int n)
{
    if (!rec || !rec->lines || n < 1)
        return nullptr;
    const int total = known_count(rec);
    if (n > total)
        return nullptr;
    // Start from the nearest known place.
    StringNode* p = rec->lines;
    int at = 1;
    int distance = n - 1;
    if (total - n < distance) {
        p = last_printed(rec);
        at = total;
        distance = total - n;
    }
    if (LineCursor* c = valid_cursor(rec); c && c->node && std::abs(c->index - n) < distance) {
        p = c->node;
        at = c->index;
    }
    while (p && at < n) {
        p = next_printed(p);
        ++at;
    }
    while (p && at > n) {
        p = prev_printed(rec, p);
        --at;
    }
    if (p)
        stamp(rec, p, n, total);
    return p;
}

std::string wl_text_joined(const StringNode* first)
{
    if (!first)
        return {};
    std::string out = first->text;
    for (const StringNode* p = first->next; p && p->serial == first->serial; p = p->next) {
        std::size_t skip = 0;
        while (skip < p->text.size() && skip < static_cast<std::size_t>(p->indent) &&
               p->text[skip] == ' ')
            ++skip;
        out.append(p->text, skip);
        if (out.size() >= kLongText) {
            out.resize(kLongText);
            break;
        }
    }
    return out;
}

int wl_text_find(WindowRecord* rec, const std::string& text)
{
    if (!rec)
        return 0;
    for (StringNode* p = rec->lines; p; p = next_printed(p)) {
        // A line whose parts are shorter than the text cannot equal it.
        if (p->text.size() > text.size())
            continue;
        if (wl_text_joined(p) == text)
            return 1;
    }
    return 0;
}

int wl_text_add(WindowRecord* rec, const std::string& text, std::uint32_t colour, int sorted,
                int wrap, int indent)
{
    if (!rec)
        return 0;
    const int before = rec->lines ? known_count(rec) : 0;
    LineCursor* c = valid_cursor(rec);
    StringNode* keep = c ? c->node : nullptr;
    const int keep_index = c ? c->index : 0;
    StringNode* node = make_line(rec, text, colour, wrap, indent);
    if (!node)
        return 0;
    StringNode* at = nullptr;
    if (sorted) {
        for (StringNode* p = rec->lines; p; p = next_printed(p))
            if (text_compare_nocase(p->text, node->text) > 0) {
                at = p;
                break;
            }
    }
    const bool was_empty = rec->lines == nullptr;
    rec->lines = strlist_splice(rec->lines, at, node);
    rec->line_count = was_empty ? 1 : rec->line_count + 1;
    // An append leaves the cursor where it was; an insert moves the lines after it.
    if (at == nullptr)
        stamp(rec, keep, keep_index, before + 1);
    else
        stamp(rec, nullptr, 0, before + 1);
    return 1;
}

int wl_text_insert(WindowRecord* rec, int n, const std::string& text, std::uint32_t colour,
                   int wrap, int indent)
{
    if (!rec)
        return 0;
    StringNode* at = wl_text_line(rec, n);
    if (!at)
        return wl_text_add(rec, text, colour, 0, wrap, indent);
    const int total = known_count(rec);
    StringNode* node = make_line(rec, text, colour, wrap, indent);
    if (!node)
        return 0;
    rec->lines = strlist_splice(rec->lines, at, node);
    ++rec->line_count;
    stamp(rec, node, n, total + 1);
    return 1;
}

int wl_text_replace(WindowRecord* rec, int n, const std::string& text, std::uint32_t colour)
{
    StringNode* first = wl_text_line(rec, n);
    if (!first)
        return 0;
    const int total = known_count(rec);
    // The wrapped parts go; the first part takes the whole text and is cut
    // again when painted.
    StringNode* p = first->next;
    while (p && p->serial == first->serial) {
        StringNode* next = p->next;
        if (rec->marker_line == p)
            rec->marker_line = nullptr;
        rec->lines = strlist_remove(rec->lines, p);
        --rec->line_count;
        p = next;
    }
    first->text.assign(text, 0, std::min(text.size(), kLongText));
    first->number = static_cast<int>(colour);
    first->wrapMode = 0;
    first->wrapWidth = 0;
    first->charWidth = 0;
    stamp(rec, first, n, total);
    return 1;
}

int wl_text_delete(WindowRecord* rec, int n, int m)
{
    if (!rec || n < 1)
        return 0;
    StringNode* p = wl_text_line(rec, n);
    if (!p)
        return 0;
    const int total = known_count(rec);
    if (m < 0 || m > total)
        m = total;
    int deleted = 0;
    for (int i = n; i <= m && p; ++i) {
        p = remove_printed(rec, p);
        ++deleted;
    }
    stamp(rec, p, p ? n : 0, total - deleted);
    return deleted;
}

int wl_text_set_colour(WindowRecord* rec, int n, std::uint32_t colour)
{
    StringNode* first = wl_text_line(rec, n);
    if (!first)
        return 0;
    for (StringNode* p = first; p && p->serial == first->serial; p = p->next)
        p->number = static_cast<int>(colour);
    return 1;
}

int wl_text_view(WindowRecord* rec, int n)
{
    StringNode* first = wl_text_line(rec, n);
    if (!first)
        return 0;
    // The view position counts display lines.
    int index = 0;
    for (StringNode* p = rec->lines; p && p != first; p = p->next)
        ++index;
    win_recalc_scroll(rec, 0);
    rec->scroll_pos = std::min(index, std::max(rec->scroll_end, 0));
    win_update_vscroll(rec);
    win_redraw(rec, 1);
    return 1;
}

int wl_text_at_bottom(const WindowRecord* rec)
{
    return rec && rec->scroll_pos >= rec->scroll_end;
}

void wl_text_changed(WindowRecord* rec, int was_at_bottom, int follow)
{
    if (!rec || !win_is_record(rec))
        return;
    win_recalc_scroll(rec, was_at_bottom || follow ? 1 : 0);
    win_redraw(rec, 1);
}

void wl_text_rewrap(WindowRecord* rec)
{
    if (rec && rec->text_area.get())
        win_rewrap_lines(rec, wrap_area_width(rec));
}

// ---- List boxes ----

int wl_list_exists(WindowRecord* rec)
{
    return list_of(rec) != nullptr;
}

int wl_list_count(WindowRecord* rec)
{
    ListBox* list = list_of(rec);
    return list ? list->count() : 0;
}

std::string wl_list_text(WindowRecord* rec, int n)
{
    QListWidgetItem* item = item_at(rec, n);
    return item ? item->text().toStdString() : std::string();
}

std::uint32_t wl_list_colour(WindowRecord* rec, int n)
{
    QListWidgetItem* item = item_at(rec, n);
    if (!item)
        return 0;
    QVariant v = item->data(Qt::UserRole);
    return v.isValid() ? static_cast<std::uint32_t>(v.toULongLong()) : kColorListboxText;
}

int wl_list_selected(WindowRecord* rec, int n)
{
    QListWidgetItem* item = item_at(rec, n);
    return item && item->isSelected() ? 1 : 0;
}

int wl_list_find(WindowRecord* rec, const std::string& text)
{
    ListBox* list = list_of(rec);
    if (!list)
        return 0;
    const QString q = QString::fromStdString(text);
    for (int i = 0; i < list->count(); ++i)
        if (list->item(i)->text() == q)
            return i + 1;
    return 0;
}

int wl_list_insert(WindowRecord* rec, int n, const std::string& text, std::uint32_t colour)
{
    ListBox* list = list_of(rec);
    if (!list)
        return 0;
    auto* item = new QListWidgetItem(QString::fromStdString(text.substr(0, kLongText)));
    style_item(item, colour);
    if (list->isSortingEnabled() || n < 1 || n > list->count())
        list->addItem(item);
    else
        list->insertItem(n - 1, item);
    return list->row(item) + 1;
}

int wl_list_delete(WindowRecord* rec, int n, int m)
{
    ListBox* list = list_of(rec);
    if (!list || n < 1 || n > list->count())
        return 0;
    if (m < 0 || m > list->count())
        m = list->count();
    int deleted = 0;
    for (int i = m; i >= n; --i) {
        delete list->takeItem(i - 1);
        ++deleted;
    }
    return deleted;
}

void wl_list_set_colour(WindowRecord* rec, int n, std::uint32_t colour)
{
    if (QListWidgetItem* item = item_at(rec, n))
        style_item(item, colour);
}

void wl_list_select(WindowRecord* rec, int n, int mode)
{
    ListBox* list = list_of(rec);
    QListWidgetItem* item = item_at(rec, n);
    if (!list || !item)
        return;
    if (mode == 2) {
        item->setSelected(false);
        return;
    }
    if (mode == 3) {
        list->setCurrentItem(item, QItemSelectionModel::NoUpdate);
        return;
    }
    if (mode == 0 || list->selectionMode() == QAbstractItemView::SingleSelection)
        list->clearSelection();
    item->setSelected(true);
    list->setCurrentItem(item, QItemSelectionModel::NoUpdate);
    list->scrollToItem(item);
}

void wl_list_deselect_all(WindowRecord* rec)
{
    if (ListBox* list = list_of(rec))
        list->clearSelection();
}

void wl_list_clear(WindowRecord* rec)
{
    if (ListBox* list = list_of(rec))
        list->clear();
}

void wl_list_fit_extent(WindowRecord* rec)
{
    ListBox* list = list_of(rec);
    if (!list)
        return;
    QFontMetrics fm(list->font());
    int widest = 0;
    for (int i = 0; i < list->count(); ++i)
        widest = std::max(widest, fm.horizontalAdvance(list->item(i)->text()));
    list->setHorizontalScrollBarPolicy(widest > list->viewport()->width() ? Qt::ScrollBarAsNeeded
                                                                          : Qt::ScrollBarAlwaysOff);
}

// ---- Clearing ----

Signal<void(WindowRecord*)> win_picture_clear_asked;

void win_clear_buffer(WindowRecord* rec, int list_only)
{
    if (!rec || !win_is_record(rec))
        return;
    textsel_end_record(rec);
    win_clear_activity(rec);
    win_activity_repaint(rec);
    if (rec->type == kWinCustom) {
        if (rec->subtype == 1) {
            wl_list_clear(rec);
            return;
        }
        if (list_only && rec->subtype == 2) {
            wl_list_clear(rec);
            return;
        }
        if (rec->picture) {
            win_picture_clear_asked.fire(rec);
            return;
        }
    }
    switch (rec->type) {
    case kWinStatus:
    case kWinChannel:
    case kWinQuery:
    case kWinFinger:
    case kWinCustom:
        break;
    default:
        return;
    }
    strlist_free(&rec->lines);
    rec->line_count = 0;
    rec->marker_line = nullptr;
    marker_move_to_end(rec, 1);
    rec->state_slots.reset(cursor_slot);
    rec->scroll_pos = 0;
    rec->scroll_end = 0;
    win_recalc_scroll(rec, 1);
    win_redraw(rec, 1);
}

// ---- A channel's nick list ----

std::string wl_nick_at(WindowRecord* rec, int n)
{
    if (!rec || rec->type != kWinChannel)
        return {};
    std::string text = wl_list_text(rec, n);
    const std::string prefixes = nicklist_prefix_chars(rec->conn);
    std::size_t k = 0;
    while (k < text.size() && prefixes.find(text[k]) != std::string::npos)
        ++k;
    return text.substr(k);
}

void wl_nick_colour(WindowRecord* rec, const std::string& nick, int colour, int mode)
{
    if (!rec)
        return;
    for (WindowRecord* w = win_list; w; w = w->next) {
        if (w->type != kWinChannel || w->conn != rec->conn)
            continue;
        NickEntry* entry = nicklist_find(w, nick);
        if (!entry)
            continue;
        entry->extra[kNickColour] = colour;
        entry->extra[kNickColourState] = mode;
        const int row = nicklist_row_of(w, entry);
        if (QListWidgetItem* item = item_at(w, row + 1)) {
            item->setData(Qt::UserRole, colour);
            if (colour >= 0 && colour <= 15)
                item->setForeground(QColor::fromRgba(color_rgb_to_argb(color_rgb(colour))));
            else
                item->setData(Qt::ForegroundRole, QVariant());
        }
    }
}

int wl_nick_select(WindowRecord* rec, const std::string& nick, int mode)
{
    if (!rec || rec->type != kWinChannel)
        return 0;
    NickEntry* entry = nicklist_find(rec, nick);
    if (!entry)
        return 0;
    wl_list_select(rec, nicklist_row_of(rec, entry) + 1, mode);
    return 1;
}

#include "display/nick_list.h"
#include "model/colors.h"

#include <QApplication>
#include <QFontMetrics>
#include <QListWidget>
#include <QScrollBar>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <unordered_map>

#include "display/child_controls.h"
#include "display/window_queries.h"
#include "model/connection.h"
#include "display/child_layout.h"
#include "platform/app_messages.h"
#include "model/window_record.h"
#include "core/ini.h"
#include "core/options.h"
#include "core/text_buffer.h"
#include "core/text_limits.h"
#include "platform/frame_timers.h"
#include "platform/platform_utils.h"

NicklistDefaults nicklist_defaults;


namespace {

QColor palette_colour(int index)
{
    return QColor(colour_palette_rgb(index & 15));
}

void style_item(QListWidgetItem* item, int colour)
{
    item->setData(Qt::UserRole, colour);
    if (colour >= 0 && colour <= 15)
        item->setForeground(palette_colour(colour));
    else
        item->setData(Qt::ForegroundRole, QVariant());
}

QString item_text(Connection* conn, const NickEntry* node)
{
    std::string text;
    if (char p = nicklist_top_prefix(conn, node->number))
        text += p;
    text += node->text;
    return QString::fromUtf8(text.data(), static_cast<int>(text.size()));
}

int top_row(QListWidget* list)
{
    return list->verticalScrollBar()->value();
}

// The list box when it holds one item per member; null otherwise.
QListWidget* synced_list(WindowRecord* rec, int members)
{
    QListWidget* list = rec->listbox.get();
    if (!list)
        return nullptr;
    if (list->count() != members)
        nicklist_refill(rec);
    return list;
}

// The pane's side of a member leaving its row: the row goes, the top index
// and caret stay on their items. Answers whether the row was selected.
bool take_row(WindowRecord* rec, int row, int members)
{
    QListWidget* list = synced_list(rec, members);
    if (!list)
        return false;
    list->setUpdatesEnabled(false);
    int top = top_row(list);
    int caret = list->currentRow();
    QListWidgetItem* item = list->item(row);
    bool was_selected = item && item->isSelected();
    delete list->takeItem(row);
    if (caret >= row && caret > 0)
        caret -= 1;
    if (top >= row && top > 0)
        top -= 1;
    if (caret >= 0 && caret < list->count())
        list->selectionModel()->setCurrentIndex(list->model()->index(caret, 0),
                                                QItemSelectionModel::NoUpdate);
    list->verticalScrollBar()->setValue(top);
    list->setUpdatesEnabled(true);
    return was_selected;
}

// The pane's side of a member taking its row.
void put_row(WindowRecord* rec, int row, int members, const NickEntry* node, bool selected)
{
    QListWidget* list = synced_list(rec, members);
    if (!list)
        return;
    list->setUpdatesEnabled(false);
    int top = top_row(list);
    int caret = list->currentRow();
    auto* item = new QListWidgetItem(item_text(rec->conn, node));
    style_item(item, static_cast<int>(node->extra[kNickColour]));
    list->insertItem(row, item);
    if (selected)
        item->setSelected(true);
    if (caret >= row)
        caret += 1;
    if (top >= row && members > 0)
        top += 1;
    if (caret >= 0 && caret < list->count())
        list->selectionModel()->setCurrentIndex(list->model()->index(caret, 0),
                                                QItemSelectionModel::NoUpdate);
    list->verticalScrollBar()->setValue(top);
    list->setUpdatesEnabled(true);
}

int g_removing_id = 0;
int g_adding_id = 0;

}  // namespace

void nicklist_install()
{
    nick_row_removing.add_once(g_removing_id, kNickRowRemovingPane, take_row);
    nick_row_adding.add_once(g_adding_id, kNickRowAddingPane, put_row);
}

void nicklist_uninstall()
{
    nick_row_removing.drop(g_removing_id);
    nick_row_adding.drop(g_adding_id);
}

void nicklist_refill(WindowRecord* rec)
{
    if (!win_is_record(rec))
        return;
    QListWidget* list = rec->listbox.get();
    if (!list)
        return;
    list->setUpdatesEnabled(false);
    list->clear();
    for (NickEntry* n = rec->nick_list; n; n = n->next) {
        auto* item = new QListWidgetItem(item_text(rec->conn, n));
        style_item(item, static_cast<int>(n->extra[kNickColour]));
        list->addItem(item);
    }
    list->setUpdatesEnabled(true);
}

// ---- Settings and width ----

NicklistDefaults nicklist_parse_setting(const std::string& value)
{
    NicklistDefaults out = nicklist_defaults;
    std::size_t comma = value.find(',');
    std::string side = value.substr(0, comma);
    while (!side.empty() && side.front() == ' ')
        side.erase(side.begin());
    while (!side.empty() && side.back() == ' ')
        side.pop_back();
    std::string lower = text_lower_copy(side);
    if (lower == "right")
        out.side = 0;
    else if (lower == "left")
        out.side = 1;
    else if (lower == "off")
        out.side = 2;
    if (comma == std::string::npos)
        return out;
    ini_csv_begin(value.substr(comma + 1));
    out.width = ini_next_csv_int(nicklist_defaults.width);
    out.auto_hide = ini_next_csv_int(nicklist_defaults.auto_hide);
    out.shift_tab = ini_next_csv_int(nicklist_defaults.shift_tab);
    return out;
}

std::string nicklist_setting_text(const NicklistDefaults& values)
{
    static const char* const words[3] = {"right", "left", "off"};
    int side = (values.side >= 0 && values.side <= 2) ? values.side : 0;
    char buf[96];
    std::snprintf(buf, sizeof buf, "%s,%d,%d,%d", words[side], values.width, values.auto_hide,
                  values.shift_tab);
    return buf;
}

namespace {

NicklistDefaults settings_of(WindowRecord* rec)
{
    if (!win_is_record(rec) || rec->type != kWinChannel || rec->name.empty())
        return nicklist_defaults;
    std::string value;
    ini_read("nicklist", rec->name.c_str(), "", value, kLongTextSize, "");
    if (value.empty())
        return nicklist_defaults;
    return nicklist_parse_setting(value);
}

}  // namespace

int nicklist_setting(WindowRecord* rec, int field)
{
    NicklistDefaults s = settings_of(rec);
    switch (field) {
    case 0:
        return s.side;
    case 1:
        return s.width;
    case 2:
        return s.auto_hide;
    case 3:
        return s.shift_tab;
    default:
        return 0;
    }
}

void nicklist_load_settings(WindowRecord* rec)
{
    if (!win_is_record(rec))
        return;
    NicklistDefaults s = settings_of(rec);
    rec->nicklist_place = s.side;
    rec->nicklist_auto_hide = s.auto_hide;
    rec->nicklist_shift_tab = s.shift_tab;
    int width = nicklist_width(rec);
    if (width > 0)
        rec->side_list_width = width;
    if (QListWidget* list = rec->listbox.get())
        list->setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
}

int nicklist_width(WindowRecord* rec)
{
    if (!win_is_record(rec))
        return 0;
    if (rec->side_list_chars <= 0)
        return rec->side_list_width;
    if (rec->type == kWinChannel) {
        int saved = nicklist_setting(rec, 1);
        if (saved > 0)
            return saved;
    }
    if (nicklist_defaults.width > 0)
        return nicklist_defaults.width;
    int chars = rec->side_list_chars > 1023 ? 1023 : rec->side_list_chars;
    QString sample;
    for (int i = 0; i < chars; ++i)
        sample += (i % 2) ? QLatin1Char('I') : QLatin1Char('W');
    QFont font = rec->font ? *rec->font : (rec->hwnd.get() ? rec->hwnd->font() : QFont());
    return QFontMetrics(font).horizontalAdvance(sample) + 3;
}

// ---- Auto-hide ----

int nicklist_reveal_zone_at(int window_width, int list_width, int list_height, int side,
                            QPoint point)
{
    if (point.y() < 0 || point.y() > list_height / 3)
        return 0;
    int reach = list_width * 3 / 4;
    if (side == 0)
        return point.x() >= window_width - reach ? 1 : 0;
    if (side == 1)
        return point.x() >= 0 && point.x() <= reach ? 1 : 0;
    return 0;
}

namespace {

int window_watched(WindowRecord* rec)
{
    return win_is_watched(rec);
}

bool has_side_list(WindowRecord* rec)
{
    return rec->listbox.get() &&
           (rec->type == kWinChannel || (rec->type == kWinCustom && rec->subtype == 2));
}

void show_list(WindowRecord* rec, bool shown)
{
    QListWidget* list = rec->listbox.get();
    if (!list)
        return;
    list->setEnabled(shown);
    list->setVisible(shown);
    rec->side_list_hidden = shown ? 0 : 1;
}

std::unordered_map<const WindowRecord*, int>& watched_windows()
{
    static std::unordered_map<const WindowRecord*, int> set;
    return set;
}

void start_ticks(WindowRecord* rec)
{
    watched_windows()[rec] = 1;
    if (!frame_timer_is_running(FRAME_TIMER_COUNTDOWNS))
        if (const FrameTimerRow* row = frame_timer_row(FRAME_TIMER_COUNTDOWNS))
            frame_timer_start(FRAME_TIMER_COUNTDOWNS, row->period_ms);
}

}  // namespace

int nicklist_reveal_zone(WindowRecord* rec)
{
    if (!win_is_record(rec) || !rec->hwnd.get() || !rec->listbox.get())
        return 0;
    QWidget* w = rec->hwnd.get();
    QPoint p = w->mapFromGlobal(sys_pointer_pos());
    if (!w->rect().contains(p))
        return 0;
    int width = rec->side_list_width > 0 ? rec->side_list_width : rec->listbox->width();
    return nicklist_reveal_zone_at(w->width(), width, w->height(), rec->nicklist_place, p);
}

int nicklist_auto(WindowRecord* rec, int event)
{
    if (!win_is_record(rec) || !has_side_list(rec))
        return 0;
    QWidget* w = rec->hwnd.get();
    switch (event) {
    case 0: {
        int width = nicklist_width(rec);
        if (width > 0)
            rec->side_list_width = width;
        if (rec->type == kWinChannel)
            rec->nicklist_place = nicklist_setting(rec, 0);
        show_list(rec, !rec->nicklist_auto_hide && rec->nicklist_place != 2);
        if (w)
            win_layout_wanted.fire(w, kLayoutFull);
        return 0;
    }
    case 1:
        if (rec->nicklist_auto_hide && rec->nicklist_place != 2 && nicklist_reveal_zone(rec)) {
            rec->nicklist_hide_countdown = 0;
            if (rec->side_list_hidden) {
                show_list(rec, true);
                if (w)
                    win_layout_wanted.fire(w, kLayoutFull);
            }
            start_ticks(rec);
            return 1;
        }
        return 0;
    case 2: {
        if (rec->nicklist_hide_countdown == 0) {
            if (!rec->listbox->isEnabled())
                return 0;
            if (!window_watched(rec) || !w)
                return 1;
            QPoint p = w->mapFromGlobal(sys_pointer_pos());
            QWidget* under = w->rect().contains(p) ? w->childAt(p) : nullptr;
            bool outside = !w->rect().contains(p);
            bool over_input =
                under && ((rec->editbox.get() && (under == rec->editbox.get() ||
                                                  rec->editbox->isAncestorOf(under))) ||
                          (rec->editbox2.get() && (under == rec->editbox2.get() ||
                                                   rec->editbox2->isAncestorOf(under))));
            bool over_text = under && rec->text_area.get() && under == rec->text_area.get();
            if (outside || over_input || over_text)
                rec->nicklist_hide_countdown = 100;
            return 1;
        }
        rec->nicklist_hide_countdown -= 100;
        if (rec->nicklist_hide_countdown <= 0) {
            rec->nicklist_hide_countdown = 0;
            show_list(rec, false);
            if (w)
                win_layout_wanted.fire(w, kLayoutFull);
            return 0;
        }
        return 1;
    }
    case 3:
        if (rec->nicklist_shift_tab && rec->side_list_hidden) {
            show_list(rec, true);
            if (w)
                win_layout_wanted.fire(w, kLayoutFull);
        }
        return 0;
    case 4:
        if (nicklist_reveal_zone(rec)) {
            rec->nicklist_hide_countdown = 0;
            start_ticks(rec);
            return 1;
        }
        if (rec->listbox->isEnabled()) {
            show_list(rec, false);
            if (w)
                win_layout_wanted.fire(w, kLayoutFull);
        }
        return 0;
    default:
        return 0;
    }
}

int nicklist_countdown_step()
{
    int busy = 0;
    auto& set = watched_windows();
    for (auto it = set.begin(); it != set.end();) {
        WindowRecord* rec = const_cast<WindowRecord*>(it->first);
        if (!win_is_record(rec) || !nicklist_auto(rec, 2)) {
            it = set.erase(it);
            continue;
        }
        busy = 1;
        ++it;
    }
    return busy;
}


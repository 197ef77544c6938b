#include "display/nick_list.h"
#include "model/colors.h"

#include <QApplication>
#include <QCursor>
#include <QFontMetrics>
#include <QListWidget>
#include <QScrollBar>

#include <ext/pb_ds/assoc_container.hpp>
#include <ext/pb_ds/tree_policy.hpp>

#include <cstdio>
#include <cstdlib>
#include <unordered_map>

#include "app/child_window.h"
#include "model/connection.h"
#include "app/frame_proc.h"
#include "model/window_record.h"
#include "core/hash_table.h"
#include "core/ini.h"
#include "core/options.h"
#include "core/text_buffer.h"
#include "core/text_limits.h"
#include "platform/frame_timers.h"

int nicklist_change_carry = 0;
NicklistDefaults nicklist_defaults;

int (*nicklist_colour_hook)(WindowRecord*, const std::string&, int, int, int) = nullptr;
int (*nicklist_saved_entry_hook)(WindowRecord*, const std::string&, int*, int*, int*) = nullptr;
QPoint (*nicklist_pointer_hook)() = nullptr;
int (*nicklist_window_watched_hook)(WindowRecord*) = nullptr;

namespace {

// The colour of a member removed during a nick change, for its re-add.
int carry_colour = 99;

// ---- The ordered index ----

// A member's place: rank (its highest bit) first, larger first; then the
// lower-cased nick.
struct OrderKey {
    int rank = 0;
    std::string lower;
};

struct OrderLess {
    bool operator()(const OrderKey& a, const OrderKey& b) const
    {
        if (a.rank != b.rank)
            return a.rank > b.rank;
        return a.lower < b.lower;
    }
};

using OrderTree = __gnu_pbds::tree<OrderKey, NickEntry*, OrderLess, __gnu_pbds::rb_tree_tag,
                                   __gnu_pbds::tree_order_statistics_node_update>;

struct ChannelIndex {
    OrderTree tree;
};

// The index of a channel window, kept on its record.
RecordSlot<ChannelIndex> g_index_slot;

int highest_bit(int bits)
{
    if (bits <= 0)
        return 0;
    int b = 1;
    while ((bits >> 1) >= b)
        b <<= 1;
    return b;
}

OrderKey key_of(const NickEntry* node)
{
    return OrderKey{highest_bit(node->number), text_lower_copy(node->text)};
}

// The index of a channel, made anew from its list when it is missing or out
// of step with it.
ChannelIndex& index_of(WindowRecord* rec)
{
    ChannelIndex& idx = rec->state_slots.get(g_index_slot);
    bool stale = !rec->nick_list && !idx.tree.empty();
    if (stale || (rec->nick_list && idx.tree.empty())) {
        idx.tree.clear();
        for (NickEntry* n = rec->nick_list; n; n = n->next)
            idx.tree.insert(std::make_pair(key_of(n), n));
    }
    return idx;
}

int is_member_window(WindowRecord* rec)
{
    return win_is_record(rec) && rec->type == kWinChannel && conn_is_live(rec->conn);
}

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

// Removes the member (node known); the list box row keeps the top index and
// caret in place. Returns the removed bits.
int remove_member(WindowRecord* rec, NickEntry* node, int* was_selected, int* colour)
{
    ChannelIndex& idx = index_of(rec);
    OrderKey key = key_of(node);
    int row = static_cast<int>(idx.tree.order_of_key(key));
    int members = static_cast<int>(idx.tree.size());
    int bits = node->number;
    if (was_selected)
        *was_selected = 0;
    if (colour)
        *colour = static_cast<int>(node->extra[kNickColour]);
    if (QListWidget* list = synced_list(rec, members)) {
        list->setUpdatesEnabled(false);
        int top = top_row(list);
        int caret = list->currentRow();
        QListWidgetItem* item = list->item(row);
        if (item && was_selected)
            *was_selected = item->isSelected() ? 1 : 0;
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
    }
    idx.tree.erase(key);
    hash_delete(node->text, &rec->nick_hash);
    rec->nick_list = strlist_remove(rec->nick_list, node);
    return bits;
}

// Inserts a member with its bits at its place.
NickEntry* insert_member(WindowRecord* rec, const std::string& nick, int bits, int colour_state,
                         int second, int colour, int selected)
{
    ChannelIndex& idx = index_of(rec);
    StringNode* node = strlist_append(nullptr, std::string_view(nick), bits);
    if (!node)
        return nullptr;
    node->extra[kNickColourState] = colour_state;
    node->extra[kNickSecond] = second;
    unsigned char first = nick.empty() ? 0 : static_cast<unsigned char>(nick[0]);
    node->extra[kNickFirstClass] = static_cast<unsigned char>(text_lower_char(static_cast<char>(first)));
    node->extra[kNickColour] = colour;
    OrderKey key = key_of(node);
    auto after = idx.tree.lower_bound(key);
    StringNode* position = after == idx.tree.end() ? nullptr : after->second;
    int row = static_cast<int>(idx.tree.order_of_key(key));
    int members = static_cast<int>(idx.tree.size());
    QListWidget* list = synced_list(rec, members);
    rec->nick_list = strlist_splice(rec->nick_list, position, node);
    idx.tree.insert(std::make_pair(key, node));
    hash_set(nick, node, bits, &rec->nick_hash);
    if (list) {
        list->setUpdatesEnabled(false);
        int top = top_row(list);
        int caret = list->currentRow();
        auto* item = new QListWidgetItem(item_text(rec->conn, node));
        style_item(item, colour);
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
    return node;
}

int colour_of_rules(WindowRecord* rec, const std::string& nick, int bits, int second, int method)
{
    int c = nicklist_colour_hook ? nicklist_colour_hook(rec, nick, bits, second, method) : -1;
    return (c >= 0 && c <= 15) ? c : 99;
}

int nick_length_ok(const std::string& nick)
{
    return !nick.empty() && nick.size() <= kShortText;
}

}  // namespace

// ---- Prefixes ----

std::string nicklist_prefix_chars(Connection* conn)
{
    if (conn_is_live(conn) && !conn->nick_prefixes.empty())
        return conn->nick_prefixes;
    return "@%+";
}

int nicklist_prefix_bit(Connection* conn, char c)
{
    if (!c)
        return 0;
    std::string prefixes = nicklist_prefix_chars(conn);
    std::size_t n = prefixes.size();
    std::size_t at = prefixes.find(c);
    if (at == std::string::npos || n - at >= 30)
        return 0;
    return 1 << (n - at);
}

char nicklist_top_prefix(Connection* conn, int bits)
{
    std::string prefixes = nicklist_prefix_chars(conn);
    std::size_t n = prefixes.size();
    for (std::size_t i = 0; i < n; ++i) {
        if (n - i >= 30)
            continue;
        if (bits & (1 << (n - i)))
            return prefixes[i];
    }
    return 0;
}

// ---- Members ----

NickEntry* nicklist_find(WindowRecord* rec, const std::string& nick)
{
    if (!win_is_record(rec) || !nick_length_ok(nick) || rec->nick_hash.size == 0)
        return nullptr;
    return static_cast<NickEntry*>(hash_find(nick, nullptr, &rec->nick_hash));
}

int nicklist_row_of(WindowRecord* rec, const NickEntry* entry)
{
    if (!win_is_record(rec) || !entry)
        return -1;
    ChannelIndex& idx = index_of(rec);
    OrderKey key = key_of(entry);
    auto it = idx.tree.find(key);
    if (it == idx.tree.end() || it->second != entry)
        return -1;
    return static_cast<int>(idx.tree.order_of_key(key));
}

int nicklist_count(WindowRecord* rec)
{
    if (!win_is_record(rec))
        return 0;
    return static_cast<int>(index_of(rec).tree.size());
}

NickEntry* nicklist_entry_at(WindowRecord* rec, int row)
{
    if (!win_is_record(rec) || row < 0)
        return nullptr;
    ChannelIndex& idx = index_of(rec);
    if (static_cast<std::size_t>(row) >= idx.tree.size())
        return nullptr;
    return idx.tree.find_by_order(static_cast<std::size_t>(row))->second;
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

int nicklist_update(const std::string& nick, WindowRecord* rec, int op, int value)
{
    if (!is_member_window(rec) || !nick_length_ok(nick) || rec->nick_hash.size == 0)
        return 0;
    NickEntry* node = static_cast<NickEntry*>(hash_find(nick, nullptr, &rec->nick_hash));
    switch (op) {
    case kNickTest:
        if (!node)
            return 0;
        if (value == 0)
            return node->number;
        return (node->number & value) ? value : 0;
    case kNickSetValue:
        if (!node)
            return 0;
        node->extra[kNickValue] = value;
        return node->number;
    case kNickRemove: {
        if (!node)
            return 0;
        int selected = 0;
        int colour = 99;
        int bits = remove_member(rec, node, &selected, &colour);
        if (nicklist_change_carry) {
            nicklist_change_carry |= selected ? 4 : 8;
            carry_colour = colour;
        }
        return bits;
    }
    case kNickAddOrChange:
        break;
    default:
        return node ? node->number : 0;
    }

    int old_bits = node ? node->number : 0;
    int bits = old_bits;
    if (value > 0)
        bits |= value;
    else if (value < 0 && value != INT32_MIN)
        bits &= ~(-value);
    if (node && bits == old_bits)
        return bits;
    if (!node && bits == 0)
        return 0;

    int colour_state = 0;
    int second = 0;
    int colour = -1;
    int selected = 0;
    std::string name = nick;
    if (node) {
        name = node->text;  // a re-ranked member keeps the case it joined with
        colour_state = static_cast<int>(node->extra[kNickColourState]);
        second = static_cast<int>(node->extra[kNickSecond]);
        int kept_colour = 99;
        remove_member(rec, node, &selected, &kept_colour);
        if (colour_state == 2)
            colour = kept_colour;
    }
    if (nicklist_change_carry) {
        colour = carry_colour;
        selected = (nicklist_change_carry & 4) ? 1 : 0;
    } else {
        int saved_state = 0, saved_second = 0, saved_colour = -1;
        if (nicklist_saved_entry_hook &&
            nicklist_saved_entry_hook(rec, name, &saved_state, &saved_second, &saved_colour)) {
            colour_state = saved_state;
            second = saved_second;
            if (colour < 0)
                colour = saved_colour;
        }
    }
    if (colour < 0 || colour > 15)
        colour = colour < 0 ? colour_of_rules(rec, name, bits, second, 2) : 99;
    insert_member(rec, name, bits, colour_state, second, colour, selected);
    nicklist_change_carry = 0;
    return bits;
}

int nicklist_rename(WindowRecord* rec, const std::string& old_nick, const std::string& new_nick)
{
    NickEntry* node = nicklist_find(rec, old_nick);
    if (!node || !is_member_window(rec) || !nick_length_ok(new_nick))
        return 0;
    int bits = node->number;
    nicklist_change_carry = 1;
    nicklist_update(old_nick, rec, kNickRemove, 0);
    int result = nicklist_update(new_nick, rec, kNickAddOrChange, bits);
    nicklist_change_carry = 0;
    return result;
}

// ---- The printed form ----

std::string nick_display_form(WindowRecord* rec, int kind, const std::string& nick,
                              Connection* conn)
{
    if (nick.size() > kShortText)
        return nick;
    bool channel = win_is_record(rec) && rec->type == kWinChannel;
    NickEntry* member = channel ? nicklist_find(rec, nick) : nullptr;
    int bits = member ? member->number : 0;
    char prefix = 0;
    if (member && opt(OPT_SHOW_NICK_PREFIX))
        prefix = nicklist_top_prefix(conn_is_live(conn) ? conn : rec->conn, bits);
    std::string plain;
    if (prefix)
        plain += prefix;
    plain += nick;
    if (kind == 2 || (kind == 1 && !opt(OPT_NICK_COLOURS_ENABLED)))
        return plain;

    int colour = -1;
    if (member && member->extra[kNickColourState] == 2 && member->extra[kNickColour] >= 0 &&
        member->extra[kNickColour] <= 15)
        colour = static_cast<int>(member->extra[kNickColour]);
    else {
        int c = nicklist_colour_hook
                    ? nicklist_colour_hook(channel ? rec : nullptr, nick, bits,
                                           member ? static_cast<int>(member->extra[kNickSecond]) : 0,
                                           1)
                    : -1;
        if (c >= 0 && c <= 15)
            colour = c;
    }
    if (colour < 0)
        return plain;
    char head[4];
    std::snprintf(head, sizeof head, "%02d", colour);
    std::string out;
    out += '\x03';
    out += head;
    out += plain;
    out += '\x0F';
    return out;
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

QPoint pointer_global()
{
    return nicklist_pointer_hook ? nicklist_pointer_hook() : QCursor::pos();
}

int window_watched(WindowRecord* rec)
{
    if (nicklist_window_watched_hook)
        return nicklist_window_watched_hook(rec);
    return rec->hwnd.get() && win_active.get() == rec->hwnd.get() && !QWidget::mouseGrabber();
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
        frame_start_timer(FRAME_TIMER_COUNTDOWNS);
}

}  // namespace

int nicklist_reveal_zone(WindowRecord* rec)
{
    if (!win_is_record(rec) || !rec->hwnd.get() || !rec->listbox.get())
        return 0;
    QWidget* w = rec->hwnd.get();
    QPoint p = w->mapFromGlobal(pointer_global());
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
            win_layout(w, kLayoutFull);
        return 0;
    }
    case 1:
        if (rec->nicklist_auto_hide && rec->nicklist_place != 2 && nicklist_reveal_zone(rec)) {
            rec->nicklist_hide_countdown = 0;
            if (rec->side_list_hidden) {
                show_list(rec, true);
                if (w)
                    win_layout(w, kLayoutFull);
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
            QPoint p = w->mapFromGlobal(pointer_global());
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
                win_layout(w, kLayoutFull);
            return 0;
        }
        return 1;
    }
    case 3:
        if (rec->nicklist_shift_tab && rec->side_list_hidden) {
            show_list(rec, true);
            if (w)
                win_layout(w, kLayoutFull);
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
                win_layout(w, kLayoutFull);
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

std::vector<std::string> nicklist_clear(WindowRecord* rec)
{
    std::vector<std::string> nicks;
    if (!rec)
        return nicks;
    for (StringNode* n = rec->nick_list; n; n = n->next)
        nicks.push_back(n->text);
    for (auto it = nicks.rbegin(); it != nicks.rend(); ++it)
        nicklist_update(*it, rec, kNickRemove, 0);
    return nicks;
}

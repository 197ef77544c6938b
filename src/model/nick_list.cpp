#include "model/nick_list.h"

#include <ext/pb_ds/assoc_container.hpp>
#include <ext/pb_ds/tree_policy.hpp>

#include <climits>
#include <cstdint>
#include <cstdio>

#include "core/hash_table.h"
#include "core/options.h"
#include "core/text_buffer.h"
#include "core/text_limits.h"
#include "model/connection.h"
#include "model/window_record.h"

int nicklist_change_carry = 0;

int (*nicklist_colour_hook)(WindowRecord*, const std::string&, int, int, int) = nullptr;
int (*nicklist_saved_entry_hook)(WindowRecord*, const std::string&, int*, int*, int*) = nullptr;

Signal<bool(WindowRecord*, int, int)> nick_row_removing;
Signal<void(WindowRecord*, int, int, const NickEntry*, bool)> nick_row_adding;

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

// Removes the member (node known); the list pane takes its row out first.
// Returns the removed bits.
int remove_member(WindowRecord* rec, NickEntry* node, int* was_selected, int* colour)
{
    ChannelIndex& idx = index_of(rec);
    OrderKey key = key_of(node);
    int row = static_cast<int>(idx.tree.order_of_key(key));
    int members = static_cast<int>(idx.tree.size());
    int bits = node->number;
    if (colour)
        *colour = static_cast<int>(node->extra[kNickColour]);
    bool selected = nick_row_removing.fire(rec, row, members);
    if (was_selected)
        *was_selected = selected ? 1 : 0;
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
    nick_row_adding.fire(rec, row, members, node, selected != 0);
    rec->nick_list = strlist_splice(rec->nick_list, position, node);
    idx.tree.insert(std::make_pair(key, node));
    hash_set(nick, node, bits, &rec->nick_hash);
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

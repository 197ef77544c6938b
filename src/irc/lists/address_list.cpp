// The internal address list of a connection.
#include "irc/lists/address_list.h"

#include <cstdint>
#include <list>
#include <unordered_map>

#include "model/connection.h"
#include "model/window_record.h"
#include "core/text_buffer.h"
#include "core/text_limits.h"
#include "core/wildcard.h"
#include "model/nick_list.h"
#include "irc/numerics/isupport.h"

int ial_default_on = 1;
Signal<int(const std::string*, Connection*)> ial_changed;

namespace {

constexpr int kBuckets = 27;

using EntryList = std::list<IalEntry>;

struct IalStore {
    EntryList buckets[kBuckets];
    // "nick!" lower-cased -> its entry; present while the index exists.
    std::unordered_map<std::string, std::pair<int, EntryList::iterator>> index;
    bool has_index = true;
    int on = ial_default_on;
};

// The list of a connection and the address-list state of a channel window,
// kept on their records.
RecordSlot<IalStore> g_store_slot;
RecordSlot<int> g_channel_state_slot;
RecordSlot<int> g_in_who_slot;

IalStore* store_of(Connection* conn, bool make)
{
    if (!conn || !conn_is_live(conn)) return nullptr;
    return make ? &conn->state_slots.get(g_store_slot) : conn->state_slots.find(g_store_slot);
}

int bucket_of(const std::string& key)
{
    if (key.empty()) return 26;
    int c = text_lower_char(key[0]) - 'a';
    return c < 0 || c > 25 ? 26 : c;
}

int second_of(const std::string& key)
{
    return key.size() < 2 ? 0 : static_cast<unsigned char>(text_lower_char(key[1]));
}

// The key of an entry text: up to and with the first "!".
std::string key_of_text(const std::string& text)
{
    std::size_t bang = text.find('!');
    return bang == std::string::npos ? text : text.substr(0, bang + 1);
}

bool starts_with_icase(const std::string& text, const std::string& prefix)
{
    if (text.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i)
        if (text_lower_char(text[i]) != text_lower_char(prefix[i])) return false;
    return true;
}

bool locate(IalStore& st, const std::string& key, int& bucket, EntryList::iterator& where)
{
    if (st.has_index) {
        auto it = st.index.find(text_lower_copy(key));
        if (it == st.index.end()) return false;
        bucket = it->second.first;
        where = it->second.second;
        return true;
    }
    bucket = bucket_of(key);
    const int second = second_of(key);
    EntryList& list = st.buckets[bucket];
    for (auto it = list.begin(); it != list.end(); ++it) {
        if (it->number == second && starts_with_icase(it->text, key)) {
            where = it;
            return true;
        }
    }
    return false;
}

IalEntry* insert(IalStore& st, const std::string& text, bool has_note, const std::string& note)
{
    const std::string key = key_of_text(text);
    const int bucket = bucket_of(key);
    EntryList& list = st.buckets[bucket];
    list.push_back(IalEntry{text.substr(0, kShortText + kShortText), second_of(key), has_note, note});
    auto it = std::prev(list.end());
    if (st.has_index) st.index[text_lower_copy(key)] = {bucket, it};
    return &*it;
}

void notify(const std::string* nick, Connection* conn)
{
    ial_changed.fire(nick, conn);
}

}  // namespace

void ial_init(Connection* conn)
{
    IalStore* st = store_of(conn, true);
    if (!st) return;
    for (auto& b : st->buckets) b.clear();
    st->index.clear();
    st->has_index = true;
    st->on = ial_default_on;
}

void ial_clear(int free_index, Connection* conn)
{
    if (!conn) return;
    if (IalStore* st = conn->state_slots.find(g_store_slot)) {
        for (auto& b : st->buckets) b.clear();
        st->index.clear();
        if (free_index) conn->state_slots.reset(g_store_slot);
    }
    for (WindowRecord* w = win_list; w; w = w->next)
        if (w->conn == conn) {
            w->state_slots.reset(g_channel_state_slot);
            w->state_slots.reset(g_in_who_slot);
        }
    if (conn_is_live(conn)) notify(nullptr, conn);
}

int ial_is_on(Connection* conn)
{
    IalStore* st = store_of(conn, true);
    return st ? st->on : 0;
}

void ial_set_on(int on, Connection* conn)
{
    IalStore* st = store_of(conn, true);
    if (!st) return;
    st->on = on ? 1 : 0;
    if (!on) ial_default_on = 0;
}

IalEntry* ial_find(const std::string& key, const std::string& text, int mode, int* changed,
                   Connection* conn)
{
    int dummy = 0;
    if (!changed) changed = &dummy;
    IalStore* st = store_of(conn, true);
    if (!st || key.size() < 2 || key.back() != '!' || key.size() > kShortText + 1) return nullptr;
    // A nick holding "!" cannot be told apart from its address: it has no
    // entry, or it would be filed under the part before its "!" and never
    // be found (nor dropped) again.
    if (key.find('!') != key.size() - 1) return nullptr;
    int bucket = 0;
    EntryList::iterator where;
    if (!locate(*st, key, bucket, where)) {
        if (mode != kIalAdd || text.empty()) return nullptr;
        *changed = 1;
        return insert(*st, key + text.substr(0, kShortText), false, std::string());
    }
    switch (mode) {
    case kIalFind:
        return &*where;
    case kIalAdd: {
        const std::size_t bang = where->text.find('!');
        const std::string old_addr = bang == std::string::npos ? std::string() : where->text.substr(bang + 1);
        if (text_lower_copy(old_addr) == text_lower_copy(text)) return &*where;
        where->text = key + text.substr(0, kShortText);
        *changed = 1;
        return &*where;
    }
    case kIalRemove:
        if (st->has_index) st->index.erase(text_lower_copy(key));
        st->buckets[bucket].erase(where);
        *changed = 1;
        return nullptr;
    case kIalRename: {
        if (st->has_index) st->index.erase(text_lower_copy(key));
        const std::size_t bang = where->text.find('!');
        // A new nick that holds "!" can have no entry: the old one just goes.
        if (bang == std::string::npos || text.empty() || text.find('!') != std::string::npos) {
            st->buckets[bucket].erase(where);
            *changed = 1;
            return nullptr;
        }
        const std::string new_text = text.substr(0, kShortText) + where->text.substr(bang);
        const bool has_note = where->has_note;
        const std::string note = where->note;
        st->buckets[bucket].erase(where);
        // A rename onto a nick that already has an entry replaces that entry.
        int b2 = 0;
        EntryList::iterator w2;
        const std::string new_key = key_of_text(new_text);
        if (locate(*st, new_key, b2, w2)) {
            if (st->has_index) st->index.erase(text_lower_copy(new_key));
            st->buckets[b2].erase(w2);
        }
        *changed = 1;
        return insert(*st, new_text, has_note, note);
    }
    default:
        return nullptr;
    }
}

int ial_update(const std::string* nick, const std::string* address, int rename, Connection* conn)
{
    IalStore* st = store_of(conn, true);
    if (!st) return 0;
    if (!st->on || !nick) return st->on;
    if (!address || nick->empty() || nick->size() > kShortText) return 0;
    int changed = 0;
    ial_find(*nick + "!", *address, rename ? kIalRename : kIalAdd, &changed, conn);
    if (!changed) return 0;
    const std::string& who = rename ? *address : *nick;
    return ial_changed.fire(&who, conn) ? 1 : 0;
}

int ial_shares_channel(const std::string& nick, Connection* conn, WindowRecord* skip)
{
    if (nick.empty()) return 0;
    for (WindowRecord* w = win_list; w; w = w->next) {
        if (w == skip || w->type != kWinChannel || w->conn != conn || !w->hwnd.get()) continue;
        if (nicklist_find(w, nick)) return 1;
    }
    return 0;
}

void ial_forget_channel(WindowRecord* rec)
{
    if (!rec || !win_is_record(rec) || rec->type != kWinChannel) return;
    Connection* conn = rec->conn;
    rec->state_slots.reset(g_channel_state_slot);
    if (!conn_is_live(conn)) return;
    int removed = 0;
    for (StringNode* n = rec->nick_list; n; n = n->next) {
        if (ial_shares_channel(n->text, conn, rec)) continue;
        int changed = 0;
        ial_find(n->text + "!", std::string(), kIalRemove, &changed, conn);
        removed |= changed;
    }
    if (removed) notify(nullptr, conn);
}

void ial_drop_channel(WindowRecord* rec)
{
    ial_forget_channel(rec);
}

void ial_forget_nick(WindowRecord* rec, const std::string& nick, int force, Connection* conn)
{
    if (rec) ial_forget_channel(rec);
    if (nick.empty() || !conn_is_live(conn)) return;
    if (!force && ial_shares_channel(nick, conn)) return;
    int changed = 0;
    ial_find(nick + "!", std::string(), kIalRemove, &changed, conn);
    if (changed) notify(&nick, conn);
}

IalEntry* ial_lookup(const std::string& nick, IalResult& result, Connection* conn)
{
    result.text.clear();
    if (nick.empty()) return nullptr;
    int changed = 0;
    IalEntry* e = ial_find(nick.substr(0, kShortText) + "!", std::string(), kIalFind, &changed, conn);
    if (e) result.text = e->text.substr(0, kShortText);
    return e;
}

int ial_set_note(const std::string& nick, const std::string& note, Connection* conn)
{
    IalResult r;
    IalEntry* e = ial_lookup(nick, r, conn);
    if (!e) return 0;
    // An empty note clears it.
    e->has_note = !note.empty();
    e->note = note.substr(0, kMediumText);
    return 1;
}

int ial_count(Connection* conn)
{
    IalStore* st = store_of(conn, false);
    if (!st) return 0;
    int n = 0;
    for (auto& b : st->buckets) n += static_cast<int>(b.size());
    return n;
}

int ial_channel_state(const WindowRecord* rec)
{
    if (!rec) return 0;
    const int* state = rec->state_slots.find(g_channel_state_slot);
    return state ? *state : 0;
}

void ial_set_channel_state(const WindowRecord* rec, int state)
{
    if (!rec) return;
    // The state is not part of the record's value.
    RecordSlots& held = const_cast<WindowRecord*>(rec)->state_slots;
    if (state) held.get(g_channel_state_slot) = state;
    else held.reset(g_channel_state_slot);
}

int ial_channel_in_who(const WindowRecord* rec)
{
    if (!rec) return 0;
    const int* on = rec->state_slots.find(g_in_who_slot);
    return on ? *on : 0;
}

void ial_set_channel_in_who(const WindowRecord* rec, int on)
{
    if (!rec) return;
    RecordSlots& held = const_cast<WindowRecord*>(rec)->state_slots;
    if (on) held.get(g_in_who_slot) = 1;
    else held.reset(g_in_who_slot);
}

int ial_query(const std::string& mask_in, const std::string& channel, int n,
              const std::string& property, int kind, std::string& out, Connection* conn)
{
    out.clear();
    IalStore* st = store_of(conn, false);
    if (!st) return 0;
    WindowRecord* chan = nullptr;
    if (kind == 0 && channel != "*") {
        chan = win_find_by_name(channel, conn);
        if (!chan || chan->type != kWinChannel) return 0;
    }
    std::string mask = mask_in;
    if (mask != "*" && mask.find_first_of("!@.") == std::string::npos) mask += "!*@*";
    auto matches = [&](const IalEntry& e) {
        if (mask != "*" && !wild_match(mask, e.text, 0, 1)) return false;
        if (kind == 0 && chan) return nicklist_find(chan, key_of_text(e.text).substr(0, key_of_text(e.text).size() - 1)) != nullptr;
        return true;
    };
    int count = 0;
    const IalEntry* found = nullptr;
    for (auto& b : st->buckets) {
        for (const IalEntry& e : b) {
            if (!matches(e)) continue;
            ++count;
            if (n >= 1 && count == n) { found = &e; break; }
        }
        if (found) break;
    }
    if (n <= 0) {
        out = std::to_string(count);
        return 1;
    }
    if (!found) return 0;
    const std::size_t bang = found->text.find('!');
    const std::string nick = found->text.substr(0, bang);
    const std::string addr = bang == std::string::npos ? std::string() : found->text.substr(bang + 1);
    const std::size_t at = addr.find('@');
    std::string prop = text_lower_copy(property);
    if (!prop.empty() && prop[0] == '.') prop.erase(0, 1);
    if (prop.empty()) out = found->text;
    else if (prop == "nick") out = nick;
    else if (prop == "pnick" && kind == 0) {
        std::string pre;
        if (chan) {
            if (StringNode* nn = nicklist_find(chan, nick)) isupport_prefix_chars(pre, nn->number, conn);
        }
        out = pre + nick;
    } else if (prop == "addr") out = addr;
    else if (prop == "user") out = at == std::string::npos ? addr : addr.substr(0, at);
    else if (prop == "host") out = at == std::string::npos ? std::string() : addr.substr(at + 1);
    else if (prop == "mark") out = found->has_note ? found->note : std::string();
    else out = found->text;
    return 1;
}

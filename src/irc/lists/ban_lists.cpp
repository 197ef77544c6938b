#include "irc/lists/ban_lists.h"

#include <climits>
#include <cstdint>
#include <ctime>
#include <map>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "model/connection.h"
#include "irc/lists/channel_central_request.h"
#include "model/window_record.h"
#include "core/string_list.h"
#include "core/text_buffer.h"
#include "core/text_limits.h"
#include "core/time_date.h"
#include "model/colors.h"
#include "model/line_buffer.h"
#include "model/nick_list.h"
#include "irc/dispatch/dispatcher.h"
#include "irc/dispatch/membership.h"
#include "irc/dispatch/modes.h"
#include "irc/numerics/isupport.h"
#include "irc/numerics/numerics.h"
#include "irc/link/send_queue.h"
#include "platform/platform_utils.h"

namespace {

// Server flags after which the lists are filled but never count as complete
// (IRCX servers and those whose lists go idle at their end numeric).
constexpr int kIncompleteListFlags = kServerIrcx | kServerListsEndIdle;

// The list state of one channel window.
struct ListState {
    int list_state[3] = {0, 0, 0};
    int overall = 0;
    // While a reply is being received: the masks of each list (lower-cased)
    // so that every reply line finds its duplicate without walking the list.
    std::unordered_set<std::string> index[3];
    bool index_valid[3] = {false, false, false};
};

// Kept by the channel window and gone with it.
RecordSlot<ListState> g_list_slot;

ListState* state_of(const WindowRecord* rec, bool make)
{
    if (!rec) return nullptr;
    WindowRecord* w = const_cast<WindowRecord*>(rec);
    return make ? &w->state_slots.get(g_list_slot) : w->state_slots.find(g_list_slot);
}

bool valid_index(int index)
{
    return index >= 0 && index <= 2;
}

std::string_view mask_of(std::string_view entry)
{
    const std::size_t tab = entry.find('\t');
    return tab == std::string_view::npos ? entry : entry.substr(0, tab);
}

// The reply index of a list, built from the list when it is not kept.
std::unordered_set<std::string>& index_of(WindowRecord* rec, ListState* st, int index)
{
    if (!st->index_valid[index]) {
        st->index[index].clear();
        for (const StringNode* n = rec->chan_lists[index]; n; n = n->next)
            st->index[index].insert(text_lower_copy(mask_of(n->text)));
        st->index_valid[index] = true;
    }
    return st->index[index];
}

void drop_index(ListState* st, int index)
{
    st->index[index].clear();
    st->index[index].rehash(0);
    st->index_valid[index] = false;
}

// The channel window of that name on the connection.

RecordSlot<ChanListScan> g_scan_slot;

ChanListScan* find_scan(Connection* conn)
{
    if (!conn) return nullptr;
    return conn->state_slots.find(g_scan_slot);
}

bool is_scan_window(const WindowRecord* rec, Connection* conn)
{
    const ChanListScan* scan = find_scan(conn);
    return rec && scan && scan->active && scan->window_seq == rec->creation_seq;
}

// The collected entries of a scan are bounded like the lists.
constexpr int kScanMaxEntries = 3 * kChanListMaxEntries;

int raw_event(IrcMessage& msg)
{
    if (!event_switch_raw) return 1;
    msg.out_text = std::to_string(msg.numeric);
    return irc_fire_raw(msg, msg.out_text);
}

bool present(const IrcMessage& msg, int index)
{
    return irc_has_word(msg, index) && !irc_word(msg, index).empty();
}

// The text of a timed ban split at its first blank.
void split_timed(const std::string& text, std::string_view& channel, std::string_view& mask)
{
    std::string_view t(text);
    const std::size_t blank = t.find(' ');
    if (blank == std::string_view::npos) {
        channel = t;
        mask = std::string_view();
    } else {
        channel = t.substr(0, blank);
        mask = t.substr(blank + 1);
    }
}

bool timed_matches(const StringNode* node, const std::string& channel, const std::string& mask)
{
    std::string_view c, m;
    split_timed(node->text, c, m);
    return text_equal_nocase(c, channel) && text_equal_nocase(m, mask);
}

}  // namespace

void chan_list_on_mode(WindowRecord* rec, char letter, int adding, const std::string& mask,
                       const std::string& setter, const std::string& address)
{
    const int index = letter == 'b' ? kChanListBans : letter == 'e' ? kChanListExcepts : letter == 'I' ? kChanListInvites : -1;
    if (index < 0 || !rec || !win_is_record(rec)) return;
    chan_list_set(rec, setter, address, mask, adding, index);
    if (!adding && letter == 'b' && conn_is_live(rec->conn)) chan_timed_ban_remove(rec->name, mask, rec->conn);
}

// ---- Channel lists ----

StringNode* chan_list_find(StringNode* head, const std::string& mask)
{
    for (StringNode* n = head; n; n = n->next)
        if (text_equal_nocase(mask_of(n->text), mask)) return n;
    return nullptr;
}

int chan_list_set(WindowRecord* rec, const std::string& nick, const std::string& address, const std::string& mask,
                  int add, int index)
{
    if (!rec || !win_is_record(rec) || !valid_index(index) || mask.empty()) return 0;
    StringNode*& head = rec->chan_lists[index];
    ListState* st = state_of(rec, false);
    if (StringNode* old = chan_list_find(head, mask)) {
        head = strlist_remove(head, old);
        if (st && st->index_valid[index]) st->index[index].erase(text_lower_copy(mask));
    }
    if (!add || nick.empty()) return 0;
    std::string entry = mask + "\t" + nick;
    if (!address.empty()) entry += " (" + address + ")";
    entry += " " + std::to_string(static_cast<long>(std::time(nullptr)));
    if (entry.size() > kLongText) entry.resize(kLongText);
    StringNode* made = strlist_prepend(head, std::string_view(entry), 0, 0);
    if (!made) return 0;
    head = made;
    // The oldest entry gives way when the list is full.
    if (strlist_count(head) > kChanListMaxEntries) {
        const std::string dropped = text_lower_copy(mask_of(head->prev->text));
        head = strlist_drop_tail(head);
        if (st && st->index_valid[index]) st->index[index].erase(dropped);
    }
    if (st && st->index_valid[index]) st->index[index].insert(text_lower_copy(mask));
    return 1;
}

int chan_list_index_of(int numeric)
{
    switch (numeric) {
    case 367: case 368: return kChanListBans;
    case 348: case 349: case 380: return kChanListExcepts;
    case 346: case 347: return kChanListInvites;
    default: return -1;
    }
}

void chan_list_reply(IrcMessage& msg, int index)
{
    Connection* conn = msg.connection;
    if (!conn_is_live(conn) || !valid_index(index)) return;
    const std::string channel = irc_word(msg, 3);
    const bool has_mask = present(msg, 4);
    const bool has_setter = has_mask && present(msg, 5);
    const bool has_time = has_setter && present(msg, 6);
    const std::string& mask = irc_word(msg, 4);
    const std::string& setter = irc_word(msg, 5);

    // The entry: mask, tab, setter nick, " (user@host)", " time".
    std::string entry;
    if (has_mask) {
        entry = mask;
        if (has_setter) {
            const std::size_t bang = setter.find('!');
            entry += '\t';
            entry += setter.substr(0, bang);
            if (bang != std::string::npos && bang + 1 < setter.size()) entry += " (" + setter.substr(bang + 1) + ")";
            if (has_time) entry += " " + std::to_string(time_elapsed_since(irc_word(msg, 6).c_str(), 1));
        }
        if (entry.size() > kLongText) entry.resize(kLongText);
    }

    WindowRecord* rec = win_find_channel(channel, conn);
    if (rec) {
        ListState* st = state_of(rec, true);
        if (st->overall == 0 || st->overall == 2) {
            // The first line of a reply replaces the list.
            strlist_free(&rec->chan_lists[index]);
            st->list_state[index] = 1;
            st->overall = 1;
            drop_index(st, index);
            st->index_valid[index] = true;
        }
        if (!entry.empty()) {
            std::unordered_set<std::string>& seen = index_of(rec, st, index);
            std::string key = text_lower_copy(mask);
            if (!seen.count(key) && static_cast<int>(seen.size()) < kChanListMaxEntries) {
                StringNode* head = strlist_append(rec->chan_lists[index], std::string_view(entry), 0);
                if (head) {
                    rec->chan_lists[index] = head;
                    seen.insert(std::move(key));
                    ChanListScan* scan = find_scan(conn);
                    if (scan && scan->active && scan->window_seq == rec->creation_seq &&
                        scan->entry_count < kScanMaxEntries) {
                        if (StringNode* s = strlist_append(scan->entries, std::string_view(entry), 0)) {
                            scan->entries = s;
                            ++scan->entry_count;
                        }
                    }
                }
            }
        }
        if (is_scan_window(rec, conn)) return;
    }
    if (const ChanListScan* scan = find_scan(conn))
        if (!scan->quiet_channel.empty() && text_equal_nocase(scan->quiet_channel, channel)) return;

    if (!raw_event(msg) || !conn_is_live(conn)) return;
    if (has_setter) {
        std::string line = channel + " " + mask + " set by " + setter;
        if (has_time) line += " (" + time_ctime_from_text(irc_word(msg, 6), false) + ")";
        if (line.size() > kLongText) line.resize(kLongText);
        irc_status_show(conn, static_cast<int>(kColorNormalText), line, 0, 0);
        return;
    }
    print_options.wrap_mode = 0;
    irc_show_words(msg, irc_has_word(msg, 3) ? 3 : (msg.trailing_word > 0 ? msg.trailing_word : 2), 0, 0,
                   static_cast<int>(kColorNormalText));
}

void chan_list_end(IrcMessage& msg, int index)
{
    Connection* conn = msg.connection;
    if (!conn_is_live(conn) || !valid_index(index)) return;
    const std::string channel = irc_word(msg, 3);
    WindowRecord* rec = win_find_channel(channel, conn);
    if (rec) {
        ListState* st = state_of(rec, true);
        // An end with no reply line before it: the list is empty.
        if (st->overall != 1) strlist_free(&rec->chan_lists[index]);
        st->overall = 2;
        st->list_state[index] = 2;
        if (conn->server_flags & kIncompleteListFlags) {
            st->overall = 0;
            st->list_state[index] = 0;
        }
        drop_index(st, index);
    }
    QWidget* window = rec ? rec->hwnd.get() : nullptr;
    if (conn_pending_match(window, &channel, conn)) return;
    if (!raw_event(msg) || !conn_is_live(conn)) return;
    print_options.wrap_mode = 0;
    irc_show_words(msg, irc_has_word(msg, 3) ? 3 : (msg.trailing_word > 0 ? msg.trailing_word : 2), 0, 1,
                   static_cast<int>(kColorNormalText));
}

int chan_list_state(const WindowRecord* rec, int index)
{
    const ListState* st = valid_index(index) ? state_of(rec, false) : nullptr;
    return st ? st->list_state[index] : 0;
}

int chan_lists_state(const WindowRecord* rec)
{
    const ListState* st = state_of(rec, false);
    return st ? st->overall : 0;
}

// ---- Silent fetches ----

ChanListScan::~ChanListScan()
{
    strlist_free(&entries);
}

ChanListScan* chan_list_scan(Connection* conn)
{
    if (!conn_is_live(conn)) return nullptr;
    return &conn->state_slots.get(g_scan_slot);
}

void chan_list_scan_begin(WindowRecord* rec, int flag, Connection* conn)
{
    ChanListScan* scan = chan_list_scan(conn);
    if (!scan || !rec || !win_is_record(rec)) return;
    strlist_free(&scan->entries);
    scan->entry_count = 0;
    scan->window_seq = rec->creation_seq;
    scan->active = 1;
    scan->flag = flag;
}

WindowRecord* chan_list_scan_window(Connection* conn)
{
    const ChanListScan* scan = find_scan(conn);
    if (!scan || !scan->active) return nullptr;
    for (WindowRecord* r = win_list; r; r = r->next)
        if (r->creation_seq == scan->window_seq) return r;
    return nullptr;
}

void chan_list_scan_end(Connection* conn)
{
    ChanListScan* scan = find_scan(conn);
    if (!scan) return;
    scan->active = 0;
    scan->window_seq = 0;
    scan->flag = 0;
}

void chan_list_scan_end_for(const std::string& name, Connection* conn)
{
    WindowRecord* rec = chan_list_scan_window(conn);
    if (rec && rec->type == kWinChannel && text_equal_nocase(rec->name, name)) chan_list_scan_end(conn);
}

StringNode* chan_list_scan_take(Connection* conn)
{
    ChanListScan* scan = find_scan(conn);
    if (!scan) return nullptr;
    StringNode* out = scan->entries;
    scan->entries = nullptr;
    scan->entry_count = 0;
    return out;
}

void chan_list_set_quiet(const std::string& channel, Connection* conn)
{
    if (channel.empty()) {
        if (ChanListScan* scan = find_scan(conn)) scan->quiet_channel.clear();
        return;
    }
    if (ChanListScan* scan = chan_list_scan(conn)) scan->quiet_channel = channel.substr(0, kMediumText);
}

// ---- Timed bans ----

int chan_timed_ban_remove(const std::string& channel, const std::string& mask, Connection* conn)
{
    if (!conn_is_live(conn)) return 0;
    int removed = 0;
    for (StringNode* n = conn->timed_bans; n;) {
        StringNode* next = n->next;
        if (timed_matches(n, channel, mask)) {
            conn->timed_bans = strlist_remove(conn->timed_bans, n);
            ++removed;
        }
        n = next;
    }
    return removed;
}

int chan_timed_ban_find(const std::string& channel, const std::string& mask, Connection* conn)
{
    if (!conn_is_live(conn)) return 0;
    for (const StringNode* n = conn->timed_bans; n; n = n->next)
        if (timed_matches(n, channel, mask)) return n->number > 0 ? n->number : 0;
    return 0;
}

void chan_timed_ban_add(const std::string& channel, const std::string& mask, int seconds, Connection* conn)
{
    if (!conn_is_live(conn) || channel.empty() || mask.empty()) return;
    chan_timed_ban_remove(channel, mask, conn);
    if (strlist_count(conn->timed_bans) >= kTimedBanMaxEntries) return;
    std::string text = channel + " " + mask;
    if (text.size() > kLongText) return;  // a cut text would name another ban
    if (StringNode* head = strlist_append(conn->timed_bans, std::string_view(text), seconds))
        conn->timed_bans = head;
}

void chan_timed_ban_tick(Connection* conn)
{
    if (!conn_is_live(conn)) return;
    std::vector<std::string> expired;
    for (StringNode* n = conn->timed_bans; n;) {
        StringNode* next = n->next;
        const int had = n->number;
        if (had > INT_MIN) n->number = had - 1;
        if (had < 2) {
            expired.push_back(n->text);
            conn->timed_bans = strlist_remove(conn->timed_bans, n);
        }
        n = next;
    }
    for (const std::string& text : expired) {
        std::string_view channel, mask;
        split_timed(text, channel, mask);
        if (mask.empty()) continue;
        WindowRecord* rec = win_find_channel(std::string(channel), conn);
        if (!rec) continue;
        const int bits = nicklist_update(membership_own_nick(conn), rec, kNickTest, 0);
        // Lifting a ban takes half-op or more; voice alone cannot.
        if (!chan_bits_have_rank(bits, 1, conn)) continue;
        irc_send_line("MODE " + std::string(channel) + " -b " + std::string(mask) + "\n", 0, conn);
        if (!conn_is_live(conn)) return;
    }
}


#include "irc/dispatch/outgoing_notes.h"

#include <cctype>
#include <map>

#include "model/connection.h"
#include "model/window_record.h"
#include "core/options.h"
#include "core/string_list.h"
#include "core/text_buffer.h"
#include "core/text_limits.h"
#include "model/colors.h"
#include "irc/dispatch/server_commands.h"
#include "irc/link/send_queue.h"
#include "irc/numerics/isupport.h"
#include "script/stores/timers.h"

// The notes of one connection.
struct IrcNotes {
    StringNode* whois = nullptr;
    StringNode* who = nullptr;
    std::map<int, int> who_counts;  // window number -> WHO requests not yet answered
    IrcNotes() = default;
    IrcNotes(const IrcNotes&) = delete;
    IrcNotes& operator=(const IrcNotes&) = delete;
    ~IrcNotes()
    {
        strlist_free(&whois);
        strlist_free(&who);
    }
};

RecordSlot<IrcNotes> irc_notes_slot;

namespace {

IrcNotes* notes_of(Connection* conn)
{
    if (!conn || !conn_is_live(conn)) return nullptr;
    return &conn->state_slots.get(irc_notes_slot);
}


// Appends at the end, dropping the oldest entries beyond the bound.
StringNode* append_bounded(StringNode* head, const std::string& text, int number)
{
    while (head && strlist_count(head) >= kPendingListMax) head = strlist_free_node(head);
    StringNode* h = strlist_append(head, std::string_view(text), number);
    if (!h) return head;
    h->prev->extra[kPendingAgeWord] = 0;
    return h;
}

// The record of a window that may ask about a nick on this connection.
WindowRecord* asking_record(QWidget* window, Connection* conn)
{
    if (!window) return nullptr;
    WindowRecord* rec = win_record_of(window);
    if (!rec || rec->conn != conn) return nullptr;
    switch (rec->type) {
    case kWinStatus: case kWinChannel: case kWinQuery: return rec;
    case kWinCustom: return !rec->list_extent && rec->subtype != 1 ? rec : nullptr;
    default: return nullptr;
    }
}

// Ages one list; entries past the age bound go.
StringNode* age_list(StringNode* head)
{
    StringNode* n = head;
    while (n) {
        StringNode* next = n->next;
        if (++n->extra[kPendingAgeWord] > kPendingMaxAge) head = strlist_remove(head, n);
        n = next;
    }
    return head;
}

// Words of a line after skipping leading blanks; at most `count` words, the
// ":" of a trailing word kept.
std::vector<std::string> split_words(const std::string& line, std::size_t count)
{
    std::vector<std::string> out;
    std::size_t i = 0;
    while (out.size() < count) {
        while (i < line.size() && line[i] == ' ') ++i;
        if (i >= line.size()) break;
        std::size_t end = line.find(' ', i);
        if (end == std::string::npos) end = line.size();
        out.push_back(line.substr(i, end - i));
        i = end;
    }
    return out;
}

std::string upper(std::string s)
{
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

}  // namespace

int irc_notes_hold = 0;

QWidget* irc_note_window(Connection* conn)
{
    if (!conn_is_live(conn)) return nullptr;
    QWidget* active = win_active.get();
    if (active) {
        WindowRecord* rec = win_record_of(active);
        if (rec && rec->conn == conn) return active;
    }
    return timer_status_window(conn);
}

StringNode* irc_pending_whois(Connection* conn)
{
    IrcNotes* n = notes_of(conn);
    return n ? n->whois : nullptr;
}

StringNode* irc_pending_who(Connection* conn)
{
    IrcNotes* n = notes_of(conn);
    return n ? n->who : nullptr;
}

int irc_pending_who_count(int window_number, Connection* conn)
{
    IrcNotes* n = notes_of(conn);
    if (!n) return 0;
    auto it = n->who_counts.find(window_number);
    return it == n->who_counts.end() ? 0 : it->second;
}

int irc_take_pending_who(int window_number, Connection* conn)
{
    IrcNotes* n = notes_of(conn);
    if (!n) return 0;
    auto it = n->who_counts.find(window_number);
    if (it == n->who_counts.end() || it->second <= 0) return 0;
    if (--it->second <= 0) n->who_counts.erase(it);
    return 1;
}

void irc_note_whois(QWidget* window, const std::string& first, const std::string* second, Connection* conn)
{
    IrcNotes* n = notes_of(conn);
    if (!n) return;
    if (!opt(OPT_WHOIS_IN_ACTIVE)) {
        strlist_free(&n->whois);
        return;
    }
    std::string a = first.substr(0, kShortText);
    text_collapse_char(a, ' ');
    if (a.empty() || a.find('*') != std::string::npos) return;
    WindowRecord* rec = asking_record(window, conn);
    if (!rec) return;
    std::string text = rec->name.substr(0, kShortText) + "\r" + a;
    if (second) {
        std::string b = second->substr(0, kShortText);
        text_collapse_char(b, ' ');
        if (!b.empty()) text += "\r" + b;
    }
    n->whois = append_bounded(n->whois, text, rec->number);
}

void irc_note_who(const std::string& channel, const std::string* mask, Connection* conn)
{
    IrcNotes* n = notes_of(conn);
    if (!n || channel.empty() || !isupport_is_chantype(channel.c_str(), conn)) return;
    if (mask && !mask->empty()) {
        if (isupport_is_chantype(mask->c_str(), conn)) return;
        if (mask->find_first_of("*?") == std::string::npos) return;
    }
    WindowRecord* rec = win_find_by_name(channel, conn);
    if (rec && rec->type == kWinChannel && !rec->chan_left) {
        int& count = n->who_counts[rec->number];
        if (count < kPendingListMax) ++count;
    }
    if (mask && !mask->empty())
        n->who = append_bounded(n->who, channel.substr(0, kShortText) + " " + mask->substr(0, kShortText), 0);
}

void irc_note_joining(const std::string& channels, int flag, Connection* conn)
{
    if (!conn || !conn_is_live(conn)) return;
    std::string list = channels.substr(0, kLongText);
    text_first_word(list);
    std::size_t start = 0;
    while (start <= list.size()) {
        std::size_t comma = list.find(',', start);
        std::string one = list.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        if (!one.empty()) {
            one.resize(std::min(one.size(), kShortText));
            StringNode* h = strlist_prepend(conn->pending_joins, std::string_view(one), 1, flag);
            if (h) conn->pending_joins = h;
            while (strlist_count(conn->pending_joins) > kPendingListMax)
                conn->pending_joins = strlist_drop_tail(conn->pending_joins);
        }
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
}

int irc_pending_join_flag(const std::string& channel, Connection* conn)
{
    if (!conn || !conn_is_live(conn) || channel.empty()) return 0;
    for (StringNode* n = conn->pending_joins; n; n = n->next) {
        if (text_equal_nocase(n->text, channel)) {
            int flag = n->number;
            conn->pending_joins = strlist_remove(conn->pending_joins, n);
            return flag;
        }
    }
    return 0;
}

int conn_take_pending_join_flags(const std::string& channel, Connection* conn)
{
    return irc_pending_join_flag(channel, conn);
}

void irc_forget_pending(Connection* conn)
{
    IrcNotes* n = notes_of(conn);
    if (!n) return;
    n->whois = age_list(n->whois);
    n->who = age_list(n->who);
}

void conn_age_request_lists(Connection* conn)
{
    if (!conn || !conn_is_live(conn)) return;
    const IrcNotes* n = conn->state_slots.find(irc_notes_slot);
    if (!n || (!n->whois && !n->who)) return;
    irc_forget_pending(conn);
}

void conn_age_reply_list(Connection* conn)
{
    if (!conn || !conn_is_live(conn)) return;
    StringNode* n = conn->reply_list;
    while (n) {
        StringNode* next = n->next;
        if (n->extra[kReplyCountdownWord] > 0) --n->extra[kReplyCountdownWord];
        if (n->extra[kReplyLifeWord]-- <= 1) conn->reply_list = strlist_remove(conn->reply_list, n);
        n = next;
    }
}

void whois_route(const std::string* nick, int phase, Connection* conn, QWidget** out_window, int* out_colour)
{
    if (!conn || !conn_is_live(conn) || !nick || !out_window || !out_colour) return;
    std::string first = *nick;
    text_first_word(first);
    if (first.empty()) return;
    *out_colour = static_cast<int>(kColorWhoisText);
    *out_window = timer_status_window(conn);
    IrcNotes* notes = notes_of(conn);
    if (!opt(OPT_WHOIS_IN_ACTIVE)) {
        strlist_free(&notes->whois);
        return;
    }
    const bool by_server = phase == 2 || nick->find('.') != std::string::npos;
    StringNode* e = notes->whois;
    while (e) {
        StringNode* next = e->next;
        const std::string& t = e->text;
        std::size_t cr1 = t.find('\r');
        WindowRecord* rec = cr1 == std::string::npos ? nullptr : win_record_by_id(e->number);
        std::size_t cr2 = cr1 == std::string::npos ? std::string::npos : t.find('\r', cr1 + 1);
        if (!rec || !rec->hwnd || cr1 + 1 >= t.size() || (cr2 != std::string::npos && cr2 + 1 >= t.size())) {
            notes->whois = strlist_remove(notes->whois, e);
            e = next;
            continue;
        }
        std::string part1 = t.substr(cr1 + 1, cr2 == std::string::npos ? std::string::npos : cr2 - cr1 - 1);
        bool match = false;
        std::string items = part1;
        if (cr2 != std::string::npos) {
            if (by_server && text_equal_nocase(*nick, part1)) match = true;
            else items = t.substr(cr2 + 1);
        }
        if (!match) {
            std::size_t start = 0;
            while (start <= items.size()) {
                std::size_t comma = items.find(',', start);
                std::string item = items.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
                if (text_equal_nocase(item, *nick)) { match = true; break; }
                if (comma == std::string::npos) break;
                start = comma + 1;
            }
        }
        if (match) {
            *out_window = rec->hwnd;
            if (phase == 0) e->extra[kPendingAgeWord] = 0;
            else notes->whois = strlist_remove(notes->whois, e);
            return;
        }
        e = next;
    }
}

void irc_whois_batch(std::vector<std::string>& nicks, Connection* conn)
{
    if (!conn || !conn_is_live(conn)) {
        nicks.clear();
        return;
    }
    std::vector<std::string> list;
    list.swap(nicks);
    const int limit = irc_state(conn)->whois_targets;
    const bool one_each = (conn->server_flags & kServerOneTargetPerLine) != 0;
    std::string line;
    int in_line = 0;
    auto flush = [&]() {
        if (line.empty() || !conn_is_live(conn)) return;
        ++irc_notes_hold;
        irc_send_line("WHOIS " + line + "\n", 0, conn);
        --irc_notes_hold;
        line.clear();
        in_line = 0;
    };
    for (std::string nick : list) {
        if (!conn_is_live(conn)) return;
        text_first_word(nick);
        if (nick.empty()) continue;
        nick.resize(std::min(nick.size(), kShortText));
        if (!line.empty() && (line.size() + 1 + nick.size() > 400 || (limit > 0 && in_line >= limit)))
            flush();
        if (!line.empty()) line += ',';
        line += nick;
        ++in_line;
        irc_note_whois(irc_note_window(conn), nick, nullptr, conn);
        if (one_each) flush();
    }
    flush();
}

void irc_note_outgoing(const std::string& line, Connection* conn)
{
    irc_inspect_outgoing(line, conn);
    if (!conn_is_live(conn)) return;
    std::string body = line.substr(0, line.find_first_of("\r\n"));
    std::vector<std::string> w = split_words(body, 3);
    if (w.empty()) return;
    const std::string cmd = upper(w[0]);
    if (cmd == "WHOIS" || cmd == "WHOWAS") {
        if (irc_notes_hold > 0 || w.size() < 2) return;
        std::string second = w.size() > 2 ? w[2] : std::string();
        if (!second.empty() && second[0] == ':') second.erase(0, 1);
        std::string first = w[1];
        if (!first.empty() && first[0] == ':') first.erase(0, 1);
        irc_note_whois(irc_note_window(conn), first, second.empty() ? nullptr : &second, conn);
    } else if (cmd == "WHO") {
        if (w.size() < 2) return;
        std::string mask = w.size() > 2 ? w[2] : std::string();
        irc_note_who(w[1], w.size() > 2 ? &mask : nullptr, conn);
    } else if (cmd == "AWAY") {
        std::vector<std::string> rest = split_words(body, kLongText);
        irc_note_away(rest, 1, conn, 1);
    }
}

int irc_drop_pending_who(const std::string& channel, Connection* conn)
{
    IrcNotes* n = notes_of(conn);
    if (!n || !n->who) return 0;
    const std::string& t = n->who->text;
    std::size_t blank = t.find(' ');
    if (!text_equal_nocase(t.substr(0, blank), channel)) return 0;
    n->who = strlist_free_node(n->who);
    return 1;
}

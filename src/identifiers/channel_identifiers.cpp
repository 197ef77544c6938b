#include "identifiers/channel_identifiers.h"

#include <cstdint>
#include <cstdlib>
#include <string>

#include "irc/link/connections.h"
#include "model/connection.h"
#include "model/window_record.h"
#include "core/options.h"
#include "core/string_list.h"
#include "core/text_buffer.h"
#include "core/wildcard.h"
#include "display/nick_colours.h"
#include "model/nick_list.h"
#include "identifiers/event_identifiers.h"
#include "identifiers/tokens.h"
#include "irc/dispatch/membership.h"
#include "irc/dispatch/modes.h"
#include "irc/lists/address_list.h"
#include "irc/lists/ban_lists.h"
#include "irc/lists/notify_list.h"
#include "script/events/event_fire.h"
#include "script/exec/script_text.h"

namespace {

constexpr int kMaxIndex = 9998;

std::string chan_types_of(Connection* conn)
{
    return conn_is_live(conn) && !conn->chan_types.empty() ? conn->chan_types : std::string("#&");
}

// The connection's channel windows in list order.
template <class F>
void each_channel(Connection* conn, F&& f)
{
    for (WindowRecord* r = win_list; r; r = r->next)
        if (r->type == kWinChannel && r->conn == conn && r->hwnd && !f(r))
            return;
}

// Selects the N-th (1-based) window of a kind of the connection, or counts
// them (n <= 0); the count goes into *count.
WindowRecord* nth_window(Connection* conn, int type, int subtype, long n, int* count)
{
    int seen = 0;
    for (WindowRecord* r = win_list; r; r = r->next) {
        if (r->type != type || r->conn != conn || !r->hwnd || (subtype && r->subtype != subtype))
            continue;
        ++seen;
        if (n >= 1 && seen == n)
            return r;
    }
    if (count)
        *count = seen;
    return nullptr;
}

WindowRecord* named_window(Connection* conn, int type, int subtype, const std::string& name)
{
    for (WindowRecord* r = win_list; r; r = r->next)
        if (r->type == type && r->conn == conn && r->hwnd && (!subtype || r->subtype == subtype) &&
            text_equal_nocase(r->name, name))
            return r;
    return nullptr;
}

long index_of(const std::string& text)
{
    long n = std::strtol(text.c_str(), nullptr, 10);
    return n > kMaxIndex ? kMaxIndex : n;
}

// The window properties that channels, queries and chats share.
bool window_property(WindowRecord* rec, std::string_view prop, std::string& out)
{
    if (text_equal_nocase(prop, "logfile")) {
        if (rec->logging)
            out = rec->log_path;
    } else if (text_equal_nocase(prop, "stamp")) {
        out = ident_truth(rec->timestamp == 1 || (rec->timestamp == 2 && opt(OPT_TIMESTAMP_EVENTS)));
    } else if (text_equal_nocase(prop, "hwnd")) {
        out = std::to_string(static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(rec->hwnd.get()) & 0x7fffffffu));
    } else if (text_equal_nocase(prop, "wid")) {
        out = std::to_string(rec->number);
    } else if (text_equal_nocase(prop, "cid")) {
        out = std::to_string(conn_is_live(rec->conn) ? rec->conn->id : 0);
    } else if (text_equal_nocase(prop, "idle")) {
        out = std::to_string(win_idle_seconds(rec));
    } else {
        return false;
    }
    return true;
}

// The mode letters of the mode text "[+ntkl 10 key]" cut at its first blank.
std::string_view mode_letters(const WindowRecord* rec)
{
    std::string_view m = rec->chan_modes;
    const std::size_t blank = m.find(' ');
    return blank == std::string_view::npos ? m : m.substr(0, blank);
}

const char* list_state_text(int state)
{
    return state == 2 ? "$true" : state == 1 ? "$inmode" : "$false";
}

void channel_property(WindowRecord* rec, std::string_view prop, std::string& out)
{
    if (prop.empty()) {
        out = rec->name;
    } else if (text_equal_nocase(prop, "topic")) {
        out = rec->topic;
    } else if (text_equal_nocase(prop, "mode")) {
        if (rec->chan_modes.size() > 3) {
            out = rec->chan_modes.substr(1);
            const std::size_t close = out.find(']');
            if (close != std::string::npos)
                out.resize(close);
        }
    } else if (text_equal_nocase(prop, "key")) {
        if (mode_letters(rec).find('k') != std::string_view::npos)
            out = rec->chan_key;
    } else if (text_equal_nocase(prop, "limit")) {
        if (mode_letters(rec).find('l') != std::string_view::npos)
            out = std::to_string(chan_mode_limit(rec));
    } else if (text_equal_nocase(prop, "status")) {
        const ChannelMembership* m = chan_membership(rec);
        if (rec->chan_left)
            out = "parted";
        else if (rec->chan_state == 1 || !m || !m->joined)
            out = "joining";
        else
            out = m->kicked ? "kicked" : "joined";
    } else if (text_equal_nocase(prop, "ibl") || text_equal_nocase(prop, "banlist")) {
        out = list_state_text(chan_list_state(rec, 0));
    } else if (text_equal_nocase(prop, "iel")) {
        out = list_state_text(chan_list_state(rec, 1));
    } else if (text_equal_nocase(prop, "iil")) {
        out = list_state_text(chan_list_state(rec, 2));
    } else if (text_equal_nocase(prop, "inwho")) {
        out = ident_truth(ial_channel_in_who(rec));
    } else if (text_equal_nocase(prop, "ial")) {
        const int state = ial_channel_state(rec);
        if (state == 1) {
            out = "$true";
        } else if (state == 2) {
            out = ial_channel_in_who(rec) ? "$inwho" : "$false";
        } else {
            bool all = true;
            IalResult found;
            for (NickEntry* n = rec->nick_list; n && all; n = n->next)
                all = ial_lookup(n->text, found, rec->conn) != nullptr;
            if (all)
                ial_set_channel_state(rec, 1);
            out = all ? "$true" : ial_channel_in_who(rec) ? "$inwho" : "$false";
        }
    } else {
        window_property(rec, prop, out);
    }
}

int id_chan(IdentCall& call)
{
    win_channel_name_append(call.window(), *call.value);
    return 2;
}

int id_chan_of(IdentCall& call)
{
    std::string out;
    const std::string& a = ident_arg(call, 0);
    Connection* conn = call.conn();
    if (!a.empty() && conn_is_live(conn)) {
        WindowRecord* rec = nullptr;
        if (chan_types_of(conn).find(a[0]) != std::string::npos) {
            rec = named_window(conn, kWinChannel, 0, a);
        } else {
            const long n = std::strtol(a.c_str(), nullptr, 10);
            int count = 0;
            rec = nth_window(conn, kWinChannel, 0, n, &count);
            if (n <= 0)
                out = std::to_string(count);
        }
        if (rec)
            channel_property(rec, ident_property(call), out);
    }
    return ident_result(call, out);
}

// ---- The nick family ----

struct NickFilter {
    int include = 0;
    bool include_plain = false;   // "r": nicks without a prefix
    int exclude = 0;
    bool exclude_plain = false;
};

// Adds the bits of a mode list ("@", "o", "a", "r" ...) to a filter side.
void add_modes(Connection* conn, std::string_view modes, int& bits, bool& plain)
{
    const std::string prefixes = nicklist_prefix_chars(conn);
    const std::string letters = conn_is_live(conn) ? conn->prefix_modes : std::string();
    for (char c : modes) {
        if (c == 'a') {
            for (char p : prefixes)
                bits |= nicklist_prefix_bit(conn, p);
            plain = true;
            return;
        }
        if (c == 'r') {
            plain = true;
            continue;
        }
        if (prefixes.find(c) != std::string::npos) {
            bits |= nicklist_prefix_bit(conn, c);
            continue;
        }
        const std::size_t at = letters.find(c);
        if (at != std::string::npos && at < prefixes.size())
            bits |= nicklist_prefix_bit(conn, prefixes[at]);
    }
}

bool passes(const NickFilter& f, int bits)
{
    const bool plain = bits == 1 || bits == 0;
    const int prefix_bits = bits & ~1;
    const bool in = (f.include & prefix_bits) != 0 || (f.include_plain && plain);
    const bool out = (f.exclude & prefix_bits) != 0 || (f.exclude_plain && plain);
    return in && !out;
}

NickFilter word_filter(Connection* conn, std::string_view word)
{
    NickFilter f;
    auto inc = [&](std::string_view m) { add_modes(conn, m, f.include, f.include_plain); };
    auto exc = [&](std::string_view m) { add_modes(conn, m, f.exclude, f.exclude_plain); };
    if (text_equal_nocase(word, "opnick")) {
        inc("@");
    } else if (text_equal_nocase(word, "nopnick")) {
        inc("a");
        exc(".@");
    } else if (text_equal_nocase(word, "vnick")) {
        inc("+");
    } else if (text_equal_nocase(word, "nvnick") || text_equal_nocase(word, "rnick")) {
        inc("r");
    } else if (text_equal_nocase(word, "hnick")) {
        inc("%");
    } else if (text_equal_nocase(word, "nhnick")) {
        inc("+r");
        exc(".@%");
    } else {
        inc("a");
    }
    return f;
}

bool takes_everyone(Connection* conn, const NickFilter& f)
{
    if (!f.include_plain || f.exclude || f.exclude_plain)
        return false;
    for (char p : nicklist_prefix_chars(conn))
        if (!(f.include & nicklist_prefix_bit(conn, p)))
            return false;
    return true;
}

void nick_property(WindowRecord* rec, const NickEntry* n, std::string_view prop, std::string& out)
{
    if (text_equal_nocase(prop, "pnick")) {
        if (!n)
            return;
        for (char p : nicklist_prefix_chars(rec->conn))
            if (n->number & nicklist_prefix_bit(rec->conn, p))
                out.push_back(p);
        out += n->text;
    } else if (text_equal_nocase(prop, "color") || text_equal_nocase(prop, "colour")) {
        const long c = n ? n->extra[kNickColour] : 99;
        out = std::to_string(c < 0 || c > 15 ? 1L : c);
    } else if (text_equal_nocase(prop, "idle")) {
        out = std::to_string(cnick_idle_seconds(n));
    }
}

int id_nick_of(IdentCall& call)
{
    std::string out;
    Connection* conn = call.conn();
    const std::string& chan = ident_arg(call, 0);
    const std::string& which = ident_arg(call, 1);
    WindowRecord* rec = conn_is_live(conn) && !chan.empty() ? named_window(conn, kWinChannel, 0, chan) : nullptr;
    if (!rec || which.empty())
        return ident_result(call, out);
    NickFilter f;
    if (ident_arg_count(call) >= 3) {
        add_modes(conn, ident_arg(call, 2), f.include, f.include_plain);
        if (ident_arg_count(call) == 4)
            add_modes(conn, ident_arg(call, 3), f.exclude, f.exclude_plain);
    } else {
        f = word_filter(conn, ident_word(call));
    }
    const std::string_view prop = ident_property(call);
    const bool everyone = takes_everyone(conn, f);
    if (arg_is_integer(which)) {
        const long n = index_of(which);
        const NickEntry* found = nullptr;
        if (everyone) {
            // The ordered index answers without walking the channel.
            if (n <= 0)
                out = std::to_string(nicklist_count(rec));
            else
                found = nicklist_entry_at(rec, static_cast<int>(n - 1));
        } else {
            long seen = 0;
            for (const NickEntry* e = rec->nick_list; e; e = e->next) {
                if (!passes(f, e->number))
                    continue;
                if (++seen == n && n >= 1) {
                    found = e;
                    break;
                }
            }
            if (n <= 0)
                out = std::to_string(seen);
        }
        if (found) {
            if (prop.empty())
                out = found->text;
            else
                nick_property(rec, found, prop, out);
        }
        return ident_result(call, out);
    }
    // A nick: its place among the nicks that pass.
    const NickEntry* e = nicklist_find(rec, which);
    if (e && passes(f, e->number)) {
        if (!prop.empty()) {
            nick_property(rec, e, prop, out);
        } else if (everyone) {
            out = std::to_string(nicklist_row_of(rec, e) + 1);
        } else {
            long place = 0;
            for (const NickEntry* x = rec->nick_list; x; x = x->next) {
                if (passes(f, x->number))
                    ++place;
                if (x == e)
                    break;
            }
            out = std::to_string(place);
        }
    } else if (!prop.empty() && text_equal_nocase(prop, "idle")) {
        out = "0";
    }
    return ident_result(call, out);
}

int id_comchan(IdentCall& call)
{
    std::string out;
    Connection* conn = call.conn();
    const std::string& nick = ident_arg(call, 0);
    const std::string& n_text = ident_arg(call, 1);
    if (!conn_is_live(conn) || nick.empty() || n_text.empty())
        return ident_result(call, out);
    const long n = std::strtol(n_text.c_str(), nullptr, 10);
    if (n < 0)
        return ident_result(call, out);
    long seen = 0;
    WindowRecord* found = nullptr;
    each_channel(conn, [&](WindowRecord* rec) {
        if (!nicklist_find(rec, nick))
            return true;
        if (++seen == n) {
            found = rec;
            return false;
        }
        return true;
    });
    if (n == 0) {
        out = std::to_string(seen);
    } else if (found) {
        const std::string_view prop = ident_property(call);
        if (prop.empty()) {
            out = found->name;
        } else {
            const char prefix = text_equal_nocase(prop, "owner") ? '.'
                                : text_equal_nocase(prop, "op") ? '@'
                                : text_equal_nocase(prop, "help") ? '%'
                                : text_equal_nocase(prop, "voice") ? '+'
                                                                     : 0;
            if (prefix) {
                const NickEntry* me = nicklist_find(found, membership_own_nick(conn));
                const int bit = nicklist_prefix_bit(conn, prefix);
                out = ident_truth(me && bit && (me->number & bit));
            }
        }
    }
    return ident_result(call, out);
}

int id_address_of(IdentCall& call)
{
    std::string out;
    const std::string& nick = ident_arg(call, 0);
    if (!nick.empty() && !ident_arg(call, 1).empty() && conn_is_live(call.conn())) {
        IalResult found;
        if (ial_lookup(nick, found, call.conn())) {
            out = found.text;
            if (!mask_address(out, static_cast<int>(std::strtol(ident_arg(call, 1).c_str(), nullptr, 10)),
                              conn_is_ircx(call.conn())))
                out.clear();
        }
    }
    return ident_result(call, out);
}

int id_address(IdentCall& call)
{
    WindowRecord* rec = call.window() ? win_record_of(call.window()) : nullptr;
    if (rec && rec->type == kWinQuery && conn_is_live(rec->conn)) {
        IalResult found;
        if (ial_lookup(rec->name, found, rec->conn)) {
            const std::size_t bang = found.text.find('!');
            if (bang != std::string::npos)
                *call.value = found.text.substr(bang + 1);
        }
    }
    return 2;
}

int id_query(IdentCall& call)
{
    std::string out;
    Connection* conn = call.conn();
    const std::string& a = ident_arg(call, 0);
    if (a.empty() || !conn_is_live(conn))
        return ident_result(call, out);
    WindowRecord* rec = nullptr;
    if (arg_is_integer(a)) {
        const long n = index_of(a);
        int count = 0;
        rec = nth_window(conn, kWinQuery, kQueryPrivate, n, &count);
        if (n <= 0)
            out = std::to_string(count);
    } else {
        rec = named_window(conn, kWinQuery, kQueryPrivate, a);
    }
    if (rec) {
        const std::string_view prop = ident_property(call);
        if (prop.empty()) {
            out = rec->name;
        } else if (prop.size() >= 4 && text_equal_nocase(prop.substr(0, 4), "addr")) {
            IalResult found;
            if (ial_lookup(rec->name, found, conn)) {
                const std::size_t bang = found.text.find('!');
                if (bang != std::string::npos)
                    out = found.text.substr(bang + 1);
            }
        } else {
            window_property(rec, prop, out);
        }
    }
    return ident_result(call, out);
}

int mode_code(const EventModeChange& m)
{
    const bool add = m.sign == '+';
    switch (m.letter) {
    case 'q': return add ? 113 : 143;
    case 'o': return add ? 111 : 145;
    case 'h': return add ? 104 : 152;
    case 'v': return add ? 118 : 138;
    case 'b': return add ? 98 : 158;
    default: return 0;
    }
}

int id_mode(IdentCall& call)
{
    std::string out;
    const std::string& a = ident_arg(call, 0);
    if (a.empty())
        return ident_result(call, out);
    const long n = std::strtol(a.c_str(), nullptr, 10);
    if (n < 0)
        return ident_result(call, out);
    static const struct {
        const char* prop;
        int code;
    } kProps[] = {{"owner", 113}, {"deowner", 143}, {"op", 111},    {"deop", 145},   {"help", 104},
                  {"dehelp", 152}, {"voice", 118},  {"devoice", 138}, {"ban", 98}, {"unban", 158}};
    int want = 0;
    const std::string_view prop = ident_property(call);
    for (const auto& p : kProps)
        if (text_equal_nocase(prop, p.prop))
            want = p.code;
    const EventContext* ctx = call.args ? call.args->event_ctx : nullptr;
    const EventLine* line =
        event_context_is_live(ctx) ? static_cast<const EventFireContext*>(ctx)->line : nullptr;
    long seen = 0;
    if (line) {
        for (const EventModeChange& m : line->mode_changes) {
            const int code = mode_code(m);
            if (!code || (want && code != want))
                continue;
            if (++seen == n) {
                out = m.param;
                return ident_result(call, out);
            }
        }
    }
    if (n == 0)
        out = std::to_string(seen);
    return ident_result(call, out);
}

int id_notify(IdentCall& call)
{
    std::string out;
    Connection* conn = call.conn();
    const std::string& a = ident_arg(call, 0);
    if (a.empty() || !conn_is_live(conn))
        return ident_result(call, out);
    const NotifyEntry* found = nullptr;
    long place = 0;
    const bool by_index = arg_is_integer(a);
    const long n = by_index ? index_of(a) : 0;
    for (const NotifyEntry* e = notify_head(conn); e; e = e->next) {
        ++place;
        if ((by_index && n >= 1 && place == n) || (!by_index && text_equal_nocase(e->nick, a))) {
            found = e;
            break;
        }
        if (e->next == notify_head(conn))
            break;
    }
    if (!found) {
        if (by_index && n <= 0)
            out = std::to_string(notify_count(conn));
        return ident_result(call, out);
    }
    const std::string_view prop = ident_property(call);
    if (prop.empty())
        out = by_index ? found->nick : std::to_string(place);
    else if (text_equal_nocase(prop, "note"))
        out = found->note;
    else if (text_equal_nocase(prop, "sound"))
        out = found->on_sound;
    else if (text_equal_nocase(prop, "addr"))
        out = found->seen_address;
    else if (text_equal_nocase(prop, "network"))
        out = found->network;
    else if (text_equal_nocase(prop, "whois"))
        out = ident_truth(found->whois != 0);
    else if (text_equal_nocase(prop, "ison"))
        out = ident_truth(found->online != 0);
    return ident_result(call, out);
}

} // namespace

void channel_identifiers_register()
{
    static const struct {
        const char* family;
        IdentHandler handler;
    } kFamilies[] = {
        {"id_chan", id_chan},           {"id_chan_of", id_chan_of}, {"id_nick_of", id_nick_of},
        {"id_comchan", id_comchan},     {"id_address_of", id_address_of}, {"id_address", id_address},
        {"id_query", id_query},         {"id_mode", id_mode},           {"id_notify", id_notify},
    };
    for (const auto& f : kFamilies)
        ident_register_family(f.family, f.handler);
}

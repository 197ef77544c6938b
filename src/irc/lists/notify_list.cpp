#include "irc/lists/notify_list.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <new>
#include <set>
#include <unordered_map>
#include <utility>

#include "model/connection.h"
#include "model/window_record.h"
#include "core/files.h"
#include "core/ini.h"
#include "core/main_settings.h"
#include "core/numbered_texts.h"
#include "core/options.h"
#include "core/string_list.h"
#include "core/text_buffer.h"
#include "core/text_limits.h"
#include "core/time_date.h"
#include "core/wildcard.h"
#include "model/colors.h"
#include "model/line_buffer.h"
#include "irc/dispatch/dispatcher.h"
#include "irc/dispatch/membership.h"
#include "irc/dispatch/outgoing_notes.h"
#include "irc/link/close.h"
#include "irc/lists/address_list.h"
#include "irc/lists/notify_entries.h"
#include "irc/numerics/isupport.h"
#include "irc/numerics/numerics.h"
#include "irc/numerics/query_replies.h"
#include "irc/link/send_queue.h"
#include "platform/platform_utils.h"
#include "script/eval/conditions.h"
#include "script/events/event_fire.h"
#include "script/exec/script_types.h"
#include "script/stores/timers.h"

using namespace notify_entries;

namespace {

// Event ids of NOTIFY and UNOTIFY.
constexpr int kEventNotify = 43;

constexpr int kEventUnotify = 73;

// Longest ISON or WATCH line before a new one starts.
constexpr std::size_t kPollLineMax = 400;

// An IRCX server takes at most this many nicks per ISON.
constexpr int kIrcxIsonNicks = 26;

// The text with its one "%s" filled in.
std::string text_with(int id, const std::string& value)
{
    std::string t = text_of(id);
    std::size_t p = t.find("%s");
    if (p != std::string::npos) t.replace(p, 2, value);
    return t;
}

int watch_limit(Connection* conn)
{
    return conn_is_live(conn) ? irc_state(conn)->watch_limit : 0;
}

// The entry for a nick seen on the connection: its nick part equal and its
// network filter passed.
NotifyEntry* find_on_network(NotifyConnState& st, const std::string& nick, Connection* conn)
{
    for (NotifyEntry* e = st.head; e; e = e->next)
        if (text_equal_nocase(nick_view(e->nick), nick) && notify_network_applies(e, conn)) return e;
    return nullptr;
}

void check_address(NotifyEntry* e)
{
    const std::string mask = mask_part(e->nick);
    if (mask.empty()) e->address_check = 1;
    else if (e->seen_address.empty()) e->address_check = 2;
    else e->address_check = wild_match(mask, e->seen_address, 0, 1) ? 1 : 2;
}

void reset_entry(NotifyEntry* e)
{
    e->online = 0;
    e->seen_nick.clear();
    e->seen_address.clear();
    e->online_since = 0;
    e->address_check = 0;
    e->last_change = 0;
    e->activity = 0;
}

// The address the address list knows for a nick, "" when none.
std::string ial_address(const std::string& nick, Connection* conn)
{
    IalResult r;
    if (!ial_lookup(nick, r, conn)) return std::string();
    std::size_t bang = r.text.find('!');
    return bang == std::string::npos ? std::string() : r.text.substr(bang + 1, kShortText);
}

// ---- Output ----

void notify_beep()
{
    if (beep_play_hook) beep_play_hook(0);
}

QWidget* status_of(Connection* conn)
{
    return conn_is_live(conn) ? timer_status_window(conn) : nullptr;
}

// The active window when it is a channel or query of the connection.
QWidget* active_chat_window(Connection* conn)
{
    QWidget* active = win_active.get();
    WindowRecord* rec = active ? win_record_of(active) : nullptr;
    if (!rec || rec->conn != conn) return nullptr;
    if (rec->type == kWinChannel || (rec->type == kWinQuery && rec->subtype == 1)) return active;
    return nullptr;
}

// The sound an entry plays for the change, "" when none.
std::string chosen_sound(const NotifyEntry* e, int online)
{
    auto usable = [](const std::string& s) { return is_beep(s) || (!s.empty() && file_exists(s, 1)); };
    const std::string& own = online ? e->on_sound : e->off_sound;
    if (usable(own)) return own;
    if (e->default_sounds) {
        const std::string& def = online ? notify_default_on_sound : notify_default_off_sound;
        if (usable(def)) return def;
    }
    return std::string();
}

void play(const std::string& sound, Connection* conn)
{
    if (sound.empty()) return;
    if (is_beep(sound)) notify_beep();
    else if (notify_hooks.play_file) notify_hooks.play_file(sound, conn);
}

// The announcement of one entry: its line (unless quiet) in the status
// window with the frame asked for, a copy in the active chat window when
// that option is on, its sound (once per sound in a batch), speech and tips.
void announce(NotifyEntry* e, int online, int frame, std::set<std::string>* played, Connection* conn)
{
    const std::string text = notify_announcement(e, online);
    if (!opt(OPT_NOTIFY_QUIET)) {
        notify_print(status_of(conn), kColorNotifyText, text, frame);
        if (opt(OPT_NOTIFY_ECHO_ACTIVE))
            if (QWidget* w = active_chat_window(conn)) notify_print(w, kColorNotifyText, text, 0);
    }
    const std::string sound = chosen_sound(e, online);
    if (!played || played->insert((online ? "1" : "0") + sound).second) play(sound, conn);
    NotifyConnState* st = notify_state(conn);
    if (st && !st->first_answer && notify_hooks.speech_tips) notify_hooks.speech_tips(21, e, conn);
}

// NOTIFY (unotify 0) or UNOTIFY for the entries that came on line (left),
// or for the one entry with that id. Each entry's handlers start from its
// shown word and leave it set as they halted or not.
void fire_walk(Connection* conn, int unotify, int phase, int only_id)
{
    if (!event_switch_events) return;
    const int from = unotify ? 3 : 2;
    const int mark = unotify ? 5 : 4;
    const char* word = unotify ? "UNOTIFY" : "NOTIFY";
    const int id = unotify ? kEventUnotify : kEventNotify;
    StateSlot* s = slot_of(conn);
    if (!s) return;
    for (NotifyEntry* e = s->st.head; e;) {
        if (e->last_change != from || (only_id && e->id != only_id)) {
            e = e->next;
            continue;
        }
        e->last_change = mark;
        EventLine line;
        line.nick = nick_part(e->nick);
        line.address = e->seen_address;
        // Without a known address there is none to give ($address empty).
        if (!line.address.empty()) line.source = line.nick + "!" + line.address;
        EventSource source;
        source.line = &line;
        int halt = e->shown ? 0 : 1;
        const unsigned generation = s->generation;
        const int go_on = event_fire(conn, nullptr, nullptr, word, id, phase, &halt, &source);
        s = slot_of(conn);
        if (!s) return;
        if (s->generation == generation) {
            e->shown = halt || !go_on ? 0 : 1;
            e = e->next;
        } else {
            e = s->st.head;  // the list changed under the handler: again from the top
        }
    }
    for (NotifyEntry* e = s->st.head; e; e = e->next)
        if (e->last_change == mark) e->last_change = from;
}

// The end of a full answer (the last ISON line answered, or the end of the
// WATCH list after logon): events, announcements, WHOIS for the flagged
// entries that came on line, the window, and the first answer's notices.
void finish_answer(Connection* conn, bool any_on, bool any_off)
{
    if (any_on) fire_walk(conn, 0, 1, 0);
    if (!conn_is_live(conn)) return;
    if (any_off) fire_walk(conn, 1, 1, 0);
    StateSlot* s = slot_of(conn);
    if (!s) return;

    std::vector<NotifyEntry*> shown;
    std::vector<std::string> whois;
    for (NotifyEntry* e = s->st.head; e; e = e->next) {
        if (e->last_change != 2 && e->last_change != 3) continue;
        if (e->shown) shown.push_back(e);
        if (e->last_change == 2 && e->whois) whois.push_back(e->seen_nick.empty() ? nick_part(e->nick) : e->seen_nick);
    }
    std::set<std::string> played;
    for (std::size_t i = 0; i < shown.size(); ++i) {
        const int frame = (i == 0 ? 1 : 0) | (i + 1 == shown.size() ? 2 : 0);
        announce(shown[i], shown[i]->last_change == 2, frame, &played, conn);
    }
    if (!whois.empty()) irc_whois_batch(whois, conn);
    notify_window_refresh();
    s = slot_of(conn);
    if (!s) return;
    NotifyConnState& st = s->st;
    if (st.first_answer) {
        if (st.treebar_refresh) {
            st.treebar_refresh = 0;
            notify_seen_changed.fire();
        }
        bool anybody = false;
        for (NotifyEntry* e = st.head; e && !anybody; e = e->next) anybody = e->online != 0;
        if (anybody) {
            notify_state_shown.fire(1);
            if (notify_hooks.window_activity) notify_hooks.window_activity();
        } else {
            notify_print(status_of(conn), kColorNotifyText, text_of(3540), 3);
        }
        if (notify_hooks.speech_tips) notify_hooks.speech_tips(44, nullptr, conn);
        if (NotifyConnState* again = notify_state(conn)) again->first_answer = 0;
    }
    if (any_on && conn_is_live(conn)) fire_walk(conn, 0, 0, 0);
    if (any_off && conn_is_live(conn)) fire_walk(conn, 1, 0, 0);
}

// The last ISON line of a poll is answered.
void process_answer(Connection* conn)
{
    StateSlot* s = slot_of(conn);
    if (!s) return;
    NotifyConnState& st = s->st;
    // Every nick of every answer, by its lower-cased form.
    std::unordered_map<std::string, std::string> present;
    for (StringNode* n = st.pending; n; n = n->next) {
        std::string_view t = n->text;
        std::size_t i = 0;
        while (i < t.size()) {
            while (i < t.size() && t[i] == ' ') ++i;
            std::size_t j = t.find(' ', i);
            if (j == std::string_view::npos) j = t.size();
            if (j > i) {
                std::string nick(t.substr(i, std::min<std::size_t>(j - i, kShortText)));
                present.emplace(text_lower_copy(nick), nick);
            }
            i = j;
        }
    }
    const bool first = st.first_answer != 0;
    bool any_on = false, any_off = false;
    for (NotifyEntry* e = st.head; e; e = e->next) {
        e->last_change = 1;
        e->changed = 1;
        auto it = present.find(text_lower_copy(nick_part(e->nick)));
        const bool in = it != present.end();
        if (e->online && !in) {
            e->online = 0;
            e->address_check = 0;
            e->seen_nick.clear();
            e->seen_address.clear();
            e->last_change = 3;
            e->shown = 1;
            if (!first) e->activity = 3;
            any_off = true;
        } else if (in && (!e->online || first)) {
            // On line now; on the first answer also one that a line showed on
            // line while the answer was awaited, which nothing announced yet.
            const bool was = e->online != 0;
            e->online = 1;
            e->seen_nick = it->second;
            e->last_change = 2;
            e->shown = 1;
            if (!was) e->address_check = mask_part(e->nick).empty() ? 1 : 2;
            if (!first) e->activity = 3;
            any_on = true;
        }
    }
    for (NotifyEntry* e = st.head; e; e = e->next) {
        if (!e->online) continue;
        const std::string addr = ial_address(nick_part(e->nick), conn);
        if (!addr.empty()) {
            e->seen_address = addr;
            check_address(e);
        }
    }
    strlist_free(&st.pending);
    finish_answer(conn, any_on, any_off);
}

int raw_event(IrcMessage& msg)
{
    if (!event_switch_raw) return 1;
    msg.out_text = std::to_string(msg.numeric);
    return irc_fire_raw(msg, msg.out_text);
}

// Raw event, then the words from index 3 in the status window.
void show_ordinary(IrcMessage& msg)
{
    if (!raw_event(msg) || !conn_is_live(msg.connection)) return;
    print_options.wrap_mode = 0;
    msg.out_text.clear();
    irc_show_words(msg, 3, 0, 0, static_cast<int>(kColorNormalText));
}

void on_ison(IrcMessage& msg)
{
    Connection* conn = msg.connection;
    StateSlot* s = slot_of(conn);
    if (!s) return;
    NotifyConnState& st = s->st;
    const std::string reply = irc_words_from(msg, 3).substr(0, kLongText);
    StringNode* sent = nullptr;
    for (StringNode* n = st.pending; n && !sent; n = n->next)
        if (n->number == 1) sent = n;
    if (sent) {
        if (!opt(OPT_NOTIFY_ENABLED)) {
            strlist_free(&st.pending);  // a poll of a list switched off since
            return;
        }
        sent->number = 2;
        sent->text = reply;
        for (StringNode* n = st.pending; n; n = n->next)
            if (n->number == 0) {
                n->number = 1;
                irc_send_line(n->text, 0, conn);
                break;
            }
        if (!conn_is_live(conn) || !notify_state(conn) || !notify_state(conn)->pending) return;
        if (notify_state(conn)->pending->prev->number != 2) return;
        process_answer(conn);
        return;
    }
    // An ISON the user sent: its nicks count as seen.
    std::string_view t = reply;
    std::size_t i = 0;
    while (i < t.size()) {
        while (i < t.size() && t[i] == ' ') ++i;
        std::size_t j = t.find(' ', i);
        if (j == std::string_view::npos) j = t.size();
        if (j > i) notify_nick_seen(std::string(t.substr(i, j - i)), std::string(), 0, 1, 0, 1, conn);
        if (!conn_is_live(conn)) return;
        i = j;
    }
    if (!raw_event(msg) || !conn_is_live(conn)) return;
    const std::string nicks(text_skip_blanks(reply));
    const std::string shown = nicks.empty() ? text_of(3574) : text_of(3541) + " " + nicks;
    irc_status_show(conn, static_cast<int>(kColorNormalText), shown.substr(0, kLongText), 0, 0);
}

void on_watch(IrcMessage& msg)
{
    Connection* conn = msg.connection;
    const int n = msg.numeric;
    const int params = msg.last_word - 1;  // words from 2 on
    const bool acting = opt(OPT_NOTIFY_ENABLED) && watch_limit(conn) > 0;
    const bool short_line = ((n == 600 || n == 601 || n == 604 || n == 605) && params < 5) || (n == 603 && params < 3);
    if (!acting || short_line) {
        show_ordinary(msg);
        return;
    }
    switch (n) {
    case 600: case 604: case 601: case 605: {
        const std::string nick = irc_word(msg, 3).substr(0, kShortText);
        const std::string address = (irc_word(msg, 4) + "@" + irc_word(msg, 5)).substr(0, kShortText);
        long since = 0;
        if (n == 600 || n == 604) {
            const long long at = std::atoll(irc_word(msg, 6).substr(0, 19).c_str());
            const long long now = static_cast<long long>(time_clock());
            if (at > 0 && now > at) since = static_cast<long>(std::min<long long>(now - at, 0x7fffffff));
        }
        notify_nick_seen(nick, address, since, n == 600 || n == 604, n == 600, 0, conn);
        if (conn_is_live(conn)) raw_event(msg);
        return;
    }
    case 602: case 603: case 606:
        raw_event(msg);
        return;
    case 607: {
        StateSlot* s = slot_of(conn);
        if (s && s->st.first_answer) {
            bool any_on = false;
            for (NotifyEntry* e = s->st.head; e; e = e->next)
                if (e->online) {
                    e->last_change = 2;
                    e->shown = 1;
                    any_on = true;
                }
            finish_answer(conn, any_on, false);
            if (!conn_is_live(conn)) return;
        }
        raw_event(msg);
        return;
    }
    case 608:
        if (text_find_nocase(irc_words_from(msg, 3), "watch list") != std::string::npos) raw_event(msg);
        else show_ordinary(msg);
        return;
    default:
        show_ordinary(msg);
        return;
    }
}

void on_watch_reset(IrcMessage& msg)
{
    Connection* conn = msg.connection;
    if (StateSlot* s = slot_of(conn)) {
        for (NotifyEntry* e = s->st.head; e; e = e->next) reset_entry(e);
        s->st.logon = 0;
        s->st.first_answer = 0;
        strlist_free(&s->st.pending);
    }
    notify_window_refresh();
    if (conn_is_live(conn)) show_ordinary(msg);
}

// The network name a connection's list is shown for.
std::string network_of(Connection* conn)
{
    if (!conn->network.empty()) return conn->network;
    if (!conn->live_server[2].empty() && !plain_integer(conn->live_server[2])) return conn->live_server[2];
    return conn->server_name;
}

}  // namespace

NotifyHooks notify_hooks;
Signal<void()> notify_seen_changed;
Signal<void(int)> notify_state_shown;
void notify_print(QWidget* window, std::uint32_t colour, const std::string& text, int frame)
{
    if (!window) return;
    if (frame & 1) print_separator(window, kColorInfoText);
    print_line(window, std::string_view(text), colour);
    if (frame & 2) print_separator(window, kColorInfoText);
}

// ---- Presence ----

void notify_nick_seen(const std::string& nick, const std::string& address, long online_seconds, int online,
                      int whois, int from_poll, Connection* conn)
{
    if (!opt(OPT_NOTIFY_ENABLED) || nick.empty() || !conn_is_live(conn)) return;
    StateSlot* s = slot_of(conn);
    if (!s) return;
    if (watch_limit(conn) > 0 && address.empty()) return;
    if (s->st.first_answer && from_poll) return;
    const std::string seen = nick.substr(0, kShortText);
    NotifyEntry* e = find_on_network(s->st, seen, conn);
    if (!e) return;
    // Most senders are not listed: the address is looked up only for those.
    std::string addr = address.empty() ? ial_address(seen, conn) : address.substr(0, kShortText);
    const int id = e->id;
    const bool waiting = s->st.first_answer != 0;
    if (online) {
        e->seen_nick = seen;
        if (!addr.empty()) e->seen_address = addr;
        e->online_since = online_seconds;
        check_address(e);
        if (!e->online) {
            e->online = 1;
            if (!waiting) {
                e->activity = 3;
                notify_seen_changed.fire();
                e->last_change = 2;
                e->shown = 1;
                fire_walk(conn, 0, 1, id);
                if (!conn_is_live(conn)) return;
                Connection* owner = nullptr;
                e = notify_find_by_id(id, &owner);
                if (e && owner == conn) {
                    if (e->shown) announce(e, 1, 3, nullptr, conn);
                    fire_walk(conn, 0, 0, id);
                    if (!conn_is_live(conn)) return;
                    e = notify_find_by_id(id, &owner);
                    if (e && owner == conn && e->whois && whois)
                        irc_send_line("WHOIS " + (e->seen_nick.empty() ? nick_part(e->nick) : e->seen_nick) + "\n", 0,
                                      conn);
                }
                notify_state_shown.fire(1);
                if (notify_hooks.window_activity) notify_hooks.window_activity();
            }
        }
    } else if (e->online) {
        e->online = 0;
        e->seen_nick.clear();
        e->seen_address.clear();
        e->online_since = 0;
        e->address_check = 0;
        if (!waiting) {
            e->activity = 3;
            notify_seen_changed.fire();
            e->last_change = 3;
            e->shown = 1;
            fire_walk(conn, 1, 1, id);
            if (!conn_is_live(conn)) return;
            Connection* owner = nullptr;
            e = notify_find_by_id(id, &owner);
            if (e && owner == conn) {
                if (e->shown) announce(e, 0, 3, nullptr, conn);
                fire_walk(conn, 1, 0, id);
                if (!conn_is_live(conn)) return;
            }
            notify_state_shown.fire(1);
            if (notify_hooks.window_activity) notify_hooks.window_activity();
        }
    }
    notify_window_refresh();
}

void notify_on_ison_watch(IrcMessage& msg)
{
    if (!conn_is_live(msg.connection)) return;
    switch (msg.numeric) {
    case 303:
        on_ison(msg);
        return;
    case 901:
        on_watch_reset(msg);
        return;
    case 512:
        show_ordinary(msg);
        return;
    default:
        if (msg.numeric >= 600 && msg.numeric <= 608) on_watch(msg);
        else show_ordinary(msg);
        return;
    }
}

void notify_poll(int full, Connection* conn)
{
    StateSlot* s = slot_of(conn);
    if (!s) return;
    conn->notify_poll_counter = 0;
    conn->notify_poll_interval = 0;
    conn->notify_poll_flags = 0;
    if (!opt(OPT_NOTIFY_ENABLED) || !logged_on(conn)) return;
    if (conn->chanlist_busy == 2) {
        conn->notify_poll_flags |= full ? 1 : 2;
        return;
    }
    NotifyConnState& st = s->st;
    const int limit = watch_limit(conn);
    if (limit > 0) {
        if (!full) return;
        std::string line = "WATCH C";
        int taken = 0;
        // At most the server's limit: more would be refused.
        for (NotifyEntry* e = st.head; e && taken < limit; e = e->next) {
            if (!notify_network_applies(e, conn)) continue;
            ++taken;
            // WATCH takes nicks: a mask stays ours.
            const std::string nick = nick_part(e->nick);
            if (nick.empty()) continue;
            if (line.size() + 2 + nick.size() > kPollLineMax) {
                irc_send_line(line + "\n", 0, conn);
                if (!conn_is_live(conn)) return;
                line = "WATCH +" + nick;
            } else {
                line += " +" + nick;
            }
        }
        irc_send_line(line + " S\n", 0, conn);
        return;
    }
    int count = 0;
    for (NotifyEntry* e = st.head; e; e = e->next) ++count;
    conn->notify_poll_interval = std::max(count, 60);
    if (st.pending) {
        conn->notify_poll_flags |= full ? 1 : 2;
        return;
    }
    const bool ircx = (conn->server_flags & kServerIrcx) != 0;
    std::string line;
    int in_line = 0;
    auto close_line = [&]() {
        if (in_line == 0) return;
        st.pending = strlist_append(st.pending, std::string_view(line + "\n"), 0);
        line.clear();
        in_line = 0;
    };
    for (NotifyEntry* e = st.head; e; e = e->next) {
        e->last_change = 0;
        e->online_since = 0;
        const std::string nick = nick_part(e->nick);
        if (e->seen_nick != nick) e->seen_nick.clear();
        if (!notify_network_applies(e, conn) || nick.empty()) continue;
        if (in_line > 0 && line.size() + 1 + nick.size() > kPollLineMax) close_line();
        if (in_line == 0) line = "ISON " + nick;
        else line += " " + nick;
        ++in_line;
        if (ircx && in_line >= kIrcxIsonNicks) close_line();
    }
    close_line();
    if (st.pending) {
        st.pending->number = 1;
        irc_send_line(st.pending->text, 0, conn);
    }
}

void notify_conn_stage(int stage, Connection* conn)
{
    StateSlot* s = slot_of(conn);
    if (!s) return;
    for (NotifyEntry* e = s->st.head; e; e = e->next) reset_entry(e);
    conn->notify_poll_flags = 0;
    NotifyConnState& st = s->st;
    switch (stage) {
    case 1: {
        st.logon = 1;
        st.first_answer = 1;
        strlist_free(&st.pending);
        const std::string net = network_of(conn).substr(0, kShortText);
        if (net != st.network) {
            st.network = net;
            st.treebar_refresh = 1;
        }
        break;
    }
    case 2:
        notify_poll(1, conn);
        notify_window_refresh();
        notify_window_open(2);
        break;
    case 3:
        st.logon = 0;
        st.first_answer = 1;
        notify_poll(1, conn);
        break;
    case 4:
        st.logon = 0;
        st.first_answer = 0;
        strlist_free(&st.pending);
        notify_window_refresh();
        break;
    case 5:
        if (watch_limit(conn) > 0 && logged_on(conn)) irc_send_line("WATCH C\n", 0, conn);
        break;
    default:
        break;
    }
    if (!notify_state_shown.empty()) {
        int anybody = 0;
        for (Connection* c = conn_list; c && !anybody; c = c->next)
            for (NotifyEntry* e = notify_head(c); e && !anybody; e = e->next) anybody = e->online;
        notify_state_shown.fire(anybody ? 1 : 0);
    }
}

int notify_ial_changed(const std::string* nick, Connection* conn)
{
    if (watch_limit(conn) > 0) return 0;
    StateSlot* s = slot_of(conn);
    if (!s) return 0;
    int changed = 0;
    for (NotifyEntry* e = s->st.head; e; e = e->next) {
        const std::string part = nick_part(e->nick);
        if (nick && !text_equal_nocase(part, *nick)) continue;
        const std::string addr = ial_address(part, conn);
        if (!addr.empty()) {
            if (addr != e->seen_address) {
                e->seen_address = addr;
                check_address(e);
                changed = 1;
            }
        } else if (!e->seen_address.empty()) {
            e->seen_address.clear();
            e->address_check = mask_part(e->nick).empty() ? 1 : 2;
            changed = 1;
        }
    }
    if (changed) notify_window_refresh();
    return changed;
}

std::string notify_announcement(const NotifyEntry* e, int online)
{
    std::string t = "* " + (e->seen_nick.empty() ? nick_part(e->nick) : e->seen_nick);
    if (opt(OPT_NOTIFY_SHOW_ADDRESS) && !e->seen_address.empty()) t += " [" + e->seen_address + "]";
    if (online) {
        if (opt(OPT_NOTIFY_SHOW_ONLINE_TIME) && e->online_since > 0) {
            std::string duration;
            time_duration_text(std::to_string(e->online_since), duration, 0);
            t += text_with(4201, duration);
        } else {
            t += text_of(4202);
        }
        if (!e->note.empty()) t += " (" + e->note + ")";
    } else {
        t += text_of(4203);
    }
    if (t.size() > kLongText) t.resize(kLongText);
    return t;
}

// ---- Wiring ----

namespace {

int g_stage_listener = 0;
int g_ial_listener = 0;
int g_ids_listener = 0;
int g_created_listener = 0;
int g_removed_listener = 0;
int g_list_load_listener = 0;
int g_options_load_listener = 0;





// A link attempt starts: the list starts over, waiting for its first answer.
void link_stage(int stage, Connection* conn)
{
    if (stage == 0 && conn_is_live(conn)) notify_conn_stage(1, conn);
}

int addresses_changed(const std::string* nick, Connection* conn)
{
    return conn_is_live(conn) && notify_ial_changed(nick, conn) ? 1 : 0;
}

int id_in_use(int id)
{
    return notify_find_by_id(id, nullptr) ? 1 : 0;
}




}  // namespace

// The sender of an ordinary line from a user counts as seen on line.
void notify_sender_seen(IrcMessage& msg, int needed_word)
{
    if (!msg.has_address || !irc_has_word(msg, needed_word)) return;
    notify_nick_seen(irc_word(msg, 0), msg.address, 0, 1, 1, 0, msg.connection);
}

// JOIN, PART, KICK, NICK, QUIT and KILL: seen (1) or gone (0).
void notify_membership_seen(const std::string& nick, int seen, Connection* conn)
{
    notify_nick_seen(nick, std::string(), 0, seen ? 1 : 0, seen ? 1 : 0, 0, conn);
}

// A WHOIS reply shows the nick on IRC (no second WHOIS for it); "no such
// nick" shows it gone.
void notify_query_seen(const std::string& nick, int seen, Connection* conn)
{
    notify_nick_seen(nick, std::string(), 0, seen ? 1 : 0, 0, 0, conn);
}

// The per-connection tick's plain poll: only once logon is over.
void notify_tick_poll(Connection* conn)
{
    if (conn_is_live(conn) && irc_state(conn)->logon_pending == 0) notify_poll(0, conn);
}

int notify_has_nick(const std::string& nick, Connection* conn)
{
    return notify_find(nick, 1, conn) ? 1 : 0;
}

void irc_notify_install()
{
    settings_loaded.add_once(g_list_load_listener, kLoadNotifyList,
                             [](SettingsLoad& load) { notify_load(load.first); });
    settings_loaded.add_once(g_options_load_listener, kLoadNotifyOptions, [](SettingsLoad&) { notify_opts_load(); });
    irc_link_stage.add_once(g_stage_listener, kStageNotify, link_stage);
    cond_register_notify_test(notify_has_nick);
    ial_changed.add_once(g_ial_listener, kIalChangedNotify, addresses_changed);
    win_ids_taken.add_once(g_ids_listener, kIdsTakenNotify, id_in_use);
    // A connection made beside the first reads its own list; the window
    // follows a freed one.
    conn_created.add_once(g_created_listener, kCreatedNotify, [](Connection* conn) {
        if (conn != conn_list)
            notify_load(conn);
    });
    conn_removed.add_once(g_removed_listener, kRemovedNotify, notify_window_refresh);
}

void irc_notify_uninstall()
{
    settings_loaded.drop(g_list_load_listener);
    settings_loaded.drop(g_options_load_listener);
    irc_link_stage.drop(g_stage_listener);
    ial_changed.drop(g_ial_listener);
    win_ids_taken.drop(g_ids_listener);
    conn_created.drop(g_created_listener);
    conn_removed.drop(g_removed_listener);
}

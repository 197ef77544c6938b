#include "irc/numerics/query_replies.h"

#include <cctype>
#include <cstdlib>
#include <map>
#include <vector>

#include "model/connection.h"
#include "irc/lists/channel_central_request.h"
#include "model/window_record.h"
#include "core/numbered_texts.h"
#include "core/options.h"
#include "core/string_list.h"
#include "core/text_buffer.h"
#include "core/text_limits.h"
#include "core/time_date.h"
#include "core/wildcard.h"
#include "model/colors.h"
#include "model/line_buffer.h"
#include "irc/dispatch/captions.h"
#include "irc/dispatch/dispatcher.h"
#include "irc/dispatch/membership.h"
#include "irc/dispatch/outgoing_notes.h"
#include "irc/dispatch/server_commands.h"
#include "irc/lists/address_list.h"
#include "irc/lists/ban_lists.h"
#include "irc/lists/notify_list.h"
#include "irc/lists/user_lists.h"
#include "irc/numerics/isupport.h"
#include "irc/numerics/numerics.h"
#include "platform/platform_utils.h"
#include "script/events/event_fire.h"
#include "script/stores/timers.h"

RecordSlot<QueryReplyState> query_reply_slot;
WhoisViewHooks whois_view_hooks;

namespace {

// Shows a reply line in a window with separators before and/or after.
void query_reply_print(QWidget* window, std::uint32_t colour, const std::string& text, int sep_before, int sep_after)
{
    if (!window) return;
    if (sep_before) print_separator(window, kColorInfoText);
    print_options.timestamp = 1;
    print_line(window, std::string_view(text), colour);
    if (sep_after) print_separator(window, kColorInfoText);
}

// Prints a line in a window with echo_line, timestamp on.
void query_reply_echo(QWidget* window, std::uint32_t colour, const std::string& text)
{
    if (!window) return;
    print_options.timestamp = 1;
    echo_line(window, std::string_view(text), colour);
}

std::string text_of(int id)
{
    const char* t = text_load_string(id);
    return t ? std::string(t) : std::string();
}

// Replaces each "%s" in order; cut at the long-text length.



bool is_channel(const std::string& name, Connection* conn)
{
    return !name.empty() && isupport_is_chantype(name.c_str(), conn);
}

// Raw event with the reply's number; 0 when a script halted the default.
int raw_event(IrcMessage& msg)
{
    if (!event_switch_raw) return 1;
    msg.out_text = std::to_string(msg.numeric);
    return irc_fire_raw(msg, msg.out_text);
}

// Raw event, then the words from `from` (the trailing word when 0) in the
// status window.
void show_from(IrcMessage& msg, int from, int before, int after)
{
    if (!raw_event(msg) || !conn_is_live(msg.connection)) return;
    int first = from > 0 ? from : msg.trailing_word;
    if (first <= 0) first = 2;
    irc_show_words(msg, first, before, after, static_cast<int>(kColorNormalText));
}

// Words from `first` joined with blanks, up to the first missing word.
std::string words_text(const IrcMessage& msg, int first)
{
    std::string out;
    for (int i = first; i <= msg.last_word; ++i) {
        const std::string& w = irc_word(msg, i);
        if (w.empty()) break;
        if (i > first) out += ' ';
        out += w;
        if (out.size() >= kLongText) {
            out.resize(kLongText);
            break;
        }
    }
    return out;
}

// Words 4, 5, ... with word 5 joined to word 4 by "@" (user@host).
std::string user_words(const IrcMessage& msg)
{
    std::string out = irc_word(msg, 4);
    if (irc_has_word(msg, 5) && !irc_word(msg, 5).empty()) out += "@" + irc_word(msg, 5);
    std::string rest = msg.last_word >= 6 ? words_text(msg, 6) : std::string();
    if (!rest.empty()) out += " " + rest;
    if (out.size() > kLongText) out.resize(kLongText);
    return out;
}

struct Route {
    QWidget* window = nullptr;
    int colour = static_cast<int>(kColorWhoisText);
};

Route route(IrcMessage& msg, int phase)
{
    Route r;
    r.window = timer_status_window(msg.connection);
    std::string nick = irc_word(msg, 3);
    whois_route(&nick, phase, msg.connection, &r.window, &r.colour);
    return r;
}

void whois_show(IrcMessage& msg, int phase, const std::string& text, int before, int after)
{
    Route r = route(msg, phase);
    if (!raw_event(msg) || !conn_is_live(msg.connection)) return;
    query_reply_print(r.window, static_cast<std::uint32_t>(r.colour), text, before, after);
}

// A reply about the nick the address book's whois view waits for goes
// there, with its field code, and is not shown; 1 when it went.
int to_whois_view(IrcMessage& msg, int code, const std::string& text)
{
    if (!whois_view_hooks.is_target || !whois_view_hooks.is_target(irc_word(msg, 3), msg.connection)) return 0;
    if (code == 0) {
        if (whois_view_hooks.end) whois_view_hooks.end(msg.connection);
    } else if (whois_view_hooks.add) {
        std::string t = text;
        text_strip_codes(t, 15);
        whois_view_hooks.add(code, t);
    }
    return 1;
}

void note_address(const std::string& nick, const std::string& user, const std::string& host, Connection* conn)
{
    if (nick.empty() || user.empty() || host.empty()) return;
    if (!ial_shares_channel(nick, conn)) return;
    std::string address = (user + "@" + host).substr(0, kShortText);
    ial_update(&nick, &address, 0, conn);
}

void whois_user(IrcMessage& msg, int whowas)
{
    Connection* conn = msg.connection;
    QueryReplyState* st = query_reply_state(conn);
    st->whois_active = whowas ? 0 : 1;
    st->whowas_active = whowas ? 1 : 0;
    const std::string nick = irc_word(msg, 3);
    if (!whowas && msg.last_word >= 4) {
        notify_query_seen(nick, 1, conn);
        note_address(nick, irc_word(msg, 4), irc_word(msg, 5), conn);
    }
    if (msg.last_word < 3) { show_from(msg, 0, 0, 0); return; }
    if (!whowas && to_whois_view(msg, 2, irc_word(msg, 4) + "@" + irc_word(msg, 5))) {
        to_whois_view(msg, 1, irc_word(msg, 7));
        return;
    }
    whois_show(msg, 0, text_fill_pattern(text_of(whowas ? 3549 : 3545), {nick}) + user_words(msg), 1, 0);
}

}  // namespace

// :server 311 me nick user host * :Real Name
void query_on_whois_user(IrcMessage& msg)
{
    whois_user(msg, 0);
}

// :server 314 me nick user host * :Real Name
void query_on_whowas_user(IrcMessage& msg)
{
    whois_user(msg, 1);
}

// :server 312 me nick irc.example :A server
void query_on_whois_server(IrcMessage& msg)
{
    if (msg.last_word < 4) { show_from(msg, 0, 0, 0); return; }
    if (to_whois_view(msg, 7, irc_word(msg, 4) + " " + irc_word(msg, 5))) return;
    std::string text = text_fill_pattern(text_of(3547), {irc_word(msg, 3), irc_word(msg, 4)});
    if (irc_has_word(msg, 5) && !irc_word(msg, 5).empty()) text += " " + irc_word(msg, 5);
    whois_show(msg, 0, text, 0, 0);
}

// :server 317 me nick 3661 1700000000 :seconds idle, signon time
void query_on_whois_idle(IrcMessage& msg)
{
    if (msg.last_word < 4) { show_from(msg, 0, 0, 0); return; }
    const double secs = std::atof(irc_word(msg, 4).c_str());
    if (to_whois_view(msg, 5, time_duration_short(irc_word(msg, 4), secs, 0))) return;
    std::string text = text_fill_pattern(text_of(3550), {irc_word(msg, 3), time_duration_short(irc_word(msg, 4), secs, 0)});
    const std::string& signon = irc_word(msg, 5);
    if (!signon.empty() && std::isdigit(static_cast<unsigned char>(signon[0])))
        text += text_fill_pattern(text_of(3551), {time_ctime_text(static_cast<std::time_t>(std::atoll(signon.c_str())))});
    whois_show(msg, 0, text, 0, 0);
}

// :server 319 me nick :@#a +#b
void query_on_whois_channels(IrcMessage& msg)
{
    if (msg.last_word < 4) { show_from(msg, 0, 0, 0); return; }
    const std::string& channels = irc_word(msg, 4);
    if (to_whois_view(msg, 4, channels.size() > kShortText ? channels.substr(0, kShortText) + "..." : channels)) return;
    whois_show(msg, 0, text_fill_pattern(text_of(3546), {irc_word(msg, 3), irc_word(msg, 4)}), 0, 0);
}

// :server 313 me nick :is an IRC operator
// (and the other WHOIS lines shown as they come: 307, 308, 309, 310, 320,
// 335, 378, 379, 615, 616, 671)
void query_on_whois_plain(IrcMessage& msg)
{
    if (msg.last_word < 3) { show_from(msg, 0, 0, 0); return; }
    if (msg.numeric == 313 && to_whois_view(msg, 8, "IRC Operator")) return;
    if (msg.numeric == 310 && to_whois_view(msg, 9, irc_word(msg, 4))) return;
    whois_show(msg, 0, words_text(msg, 3), 0, 0);
}

// :server 330 me nick account :is logged in as
void query_on_whois_account(IrcMessage& msg)
{
    if (msg.last_word < 5) { show_from(msg, 0, 0, 0); return; }
    if (is_channel(irc_word(msg, 3), msg.connection)) { raw_event(msg); return; }
    std::string w5 = irc_word(msg, 5);
    text_collapse_char(w5, ' ');
    whois_show(msg, 0, irc_word(msg, 3) + " " + w5 + " " + irc_word(msg, 4), 0, 0);
}

// :server 338 me nick 1.2.3.4 :actually using host
// :server 338 me nick user@host 1.2.3.4 :Actual user@host, Actual IP
void query_on_whois_actual(IrcMessage& msg)
{
    Connection* conn = msg.connection;
    const std::string &w4 = irc_word(msg, 4), &w5 = irc_word(msg, 5);
    std::string text;
    if (msg.last_word == 3 && !is_channel(irc_word(msg, 2), conn)) {
        text = irc_word(msg, 3);
    } else if (msg.last_word >= 5 && msg.trailing_word == 5 && w4.find_first_of(".:") != std::string::npos &&
               !w5.empty()) {
        text = irc_word(msg, 3) + " " + w5 + " " + w4;
    } else if (msg.last_word >= 6 && msg.trailing_word == 6 &&
               text_lower_copy(irc_word(msg, 6)).find("user@host") != std::string::npos &&
               w4.find('.') != std::string::npos && w5.find('.') != std::string::npos) {
        text = irc_word(msg, 3) + " is actually " + w4 + " [" + w5 + "]";
    } else {
        text = words_text(msg, msg.trailing_word > 1 ? msg.trailing_word - 1 : 3);
    }
    whois_show(msg, 0, text, 0, 0);
}

// :server 318 me nick :End of /WHOIS list.  (369 the end of WHOWAS)
void query_on_whois_end(IrcMessage& msg)
{
    QueryReplyState* st = query_reply_state(msg.connection);
    st->whois_active = 0;
    st->whowas_active = 0;
    if (to_whois_view(msg, 0, std::string())) return;
    std::string text = irc_word(msg, 3);
    if (irc_has_word(msg, 4) && !irc_word(msg, 4).empty()) text += " " + irc_word(msg, 4);
    whois_show(msg, 1, text, 0, 1);
}

// :server 301 me nick :away text
void query_on_away(IrcMessage& msg)
{
    Connection* conn = msg.connection;
    QueryReplyState* st = query_reply_state(conn);
    if (msg.last_word < 3) { show_from(msg, 0, 0, 0); return; }
    const std::string nick = irc_word(msg, 3);
    if (text_equal_nocase(nick, membership_own_nick(conn)) && !st->whowas_active && !st->away) {
        st->away = 1;
        st->away_since = std::time(nullptr);
        irc_update_title(conn);
    }
    if (to_whois_view(msg, 6, irc_word(msg, 4))) return;
    Route r = route(msg, 0);
    int before = 1, after = 1;
    if (st->whois_active || st->whowas_active) {
        st->whois_active = 0;
        st->whowas_active = 0;
        before = 0;
        after = 0;
    }
    if (!raw_event(msg) || !conn_is_live(conn)) return;
    std::string text = text_fill_pattern(text_of(3548), {nick});
    std::string rest = words_text(msg, 4);
    if (!rest.empty()) text += " " + rest;
    QWidget* window = r.window;
    if (opt(OPT_AWAY_IN_ACTIVE)) {
        WindowRecord* focused = win_focused_source ? win_record_of(win_focused_source()) : nullptr;
        if (focused && focused->conn == conn && text_equal_nocase(focused->name, nick)) window = focused->hwnd;
    }
    query_reply_print(window, static_cast<std::uint32_t>(r.colour), text, before, after);
}

namespace {

void back_or_away(IrcMessage& msg, int away)
{
    Connection* conn = msg.connection;
    QueryReplyState* st = query_reply_state(conn);
    int go = 1;
    if (!away) go = raw_event(msg);
    st->away = away;
    st->away_since = away ? std::time(nullptr) : 0;
    if (!away) conn->away_text.clear();
    irc_update_title(conn);
    if (away) go = raw_event(msg);
    if (!go || !conn_is_live(conn)) return;
    irc_show_words(msg, msg.trailing_word > 0 ? msg.trailing_word : 3, 1, 1, static_cast<int>(kColorNormalText));
}

}  // namespace

// :server 305 me :You are no longer marked as being away
void query_on_back(IrcMessage& msg)
{
    back_or_away(msg, 0);
}

// :server 306 me :You have been marked as being away
void query_on_now_away(IrcMessage& msg)
{
    back_or_away(msg, 1);
}

// :server 401 me nick :No such nick/channel  (406 was no such nick)
void query_on_no_such(IrcMessage& msg)
{
    Connection* conn = msg.connection;
    if (!irc_has_word(msg, 3)) { show_from(msg, 0, 0, 0); return; }
    const std::string nick = irc_word(msg, 3);
    if (msg.numeric == 401) notify_query_seen(nick, 0, conn);
    reply_target_unreachable.fire(nick, conn);
    Route r = route(msg, 2);
    chan_list_scan_end_for(nick, conn);
    if (!raw_event(msg) || !conn_is_live(conn)) return;
    if (msg.numeric == 401 && r.window == timer_status_window(conn) && irc_has_word(msg, 4) &&
        !irc_word(msg, 4).empty()) {
        for (WindowRecord* rec = win_list; rec; rec = rec->next) {
            if (rec->conn != conn || rec->type != kWinQuery || rec->subtype != kQueryPrivate) continue;
            if (!text_equal_nocase(rec->name, nick)) continue;
            query_reply_echo(rec->hwnd, kColorInfoText, words_text(msg, 4));
            return;
        }
    }
    query_reply_print(r.window, static_cast<std::uint32_t>(r.colour), words_text(msg, 3), 0, 1);
}

// :server 402 me name :No such server
void query_on_no_server(IrcMessage& msg)
{
    QueryReplyState* st = query_reply_state(msg.connection);
    st->whois_active = 0;
    st->whowas_active = 0;
    if (!irc_has_word(msg, 3)) { show_from(msg, 0, 1, 1); return; }
    print_options.wrap_mode = 0;
    whois_show(msg, 2, words_text(msg, 3), 1, 1);
}

// :server 302 me :nick1=+user@host nick2*=-user@host
void query_on_userhost(IrcMessage& msg)
{
    Connection* conn = msg.connection;
    QueryReplyState* st = query_reply_state(conn);
    if (st->userhost_pending > 0) --st->userhost_pending;
    const std::string list = msg.trailing_word > 0 ? irc_word(msg, msg.trailing_word) : irc_word(msg, 3);
    std::size_t pos = 0;
    while (pos < list.size()) {
        std::size_t end = list.find(' ', pos);
        if (end == std::string::npos) end = list.size();
        const std::string entry = list.substr(pos, end - pos);
        pos = end + 1;
        std::size_t eq = entry.find('=');
        if (eq == std::string::npos || eq == 0) continue;
        std::string nick = entry.substr(0, eq);
        if (!nick.empty() && nick.back() == '*') nick.pop_back();
        std::string address = entry.substr(eq + 1);
        if (!address.empty() && (address[0] == '+' || address[0] == '-')) address.erase(0, 1);
        if (nick.empty() || address.empty() || nick.size() > kShortText || address.size() > kShortText) continue;
        if (userlist_userhost_offer(nick + "!" + address, conn)) return;
        if (ial_shares_channel(nick, conn)) ial_update(&nick, &address, 0, conn);
    }
    // No reply is awaited any more: the requests still waiting get none.
    if (conn_is_live(conn) && query_reply_state(conn)->userhost_pending < 1 && userlist_userhost_done(conn))
        return;
    if (!raw_event(msg) || !conn_is_live(conn)) return;
    if (list.empty()) irc_status_show(conn, static_cast<int>(kColorNormalText), text_of(3543), 1, 1);
    else irc_status_show(conn, static_cast<int>(kColorNormalText), "userhost: " + list, 1, 1);
}

// :server 352 me #chan user host server nick H@ :0 Real Name
void query_on_who_line(IrcMessage& msg)
{
    Connection* conn = msg.connection;
    IrcConnState* cs = irc_state(conn);
    if (msg.last_word < 8) { show_from(msg, 0, 0, 0); return; }
    int before = 0;
    if (!cs->who_shown) {
        before = 1;
        cs->who_shown = 1;
    }
    const std::string &channel = irc_word(msg, 3), &user = irc_word(msg, 4), &host = irc_word(msg, 5);
    const std::string& nick = irc_word(msg, 7);
    note_address(nick, user, host, conn);
    if (is_channel(channel, conn)) {
        WindowRecord* rec = win_find_by_name(channel, conn);
        if (rec && rec->type == kWinChannel) ial_set_channel_in_who(rec, 1);
    }
    if (!raw_event(msg) || !conn_is_live(conn)) return;
    StringNode* filter = irc_pending_who(conn);
    if (filter && !nick.empty() && is_channel(channel, conn)) {
        const std::string& t = filter->text;
        std::size_t blank = t.find(' ');
        std::string mask = blank == std::string::npos ? std::string() : t.substr(blank + 1);
        if (text_equal_nocase(t.substr(0, blank), channel) && !mask.empty() &&
            !wild_match(mask, nick + "!" + user + "@" + host, 0, 1))
            return;
    }
    std::string text = channel + " " + nick + " " + irc_word(msg, 8) + " " + user + "@" + host;
    if (irc_has_word(msg, 9)) text += " :" + words_text(msg, 9);
    if (text.size() > kLongText) text.resize(kLongText);
    irc_status_show(conn, static_cast<int>(kColorNormalText), text, before, 0);
}

// :server 315 me #chan :End of /WHO list.
void query_on_who_end(IrcMessage& msg)
{
    Connection* conn = msg.connection;
    if (irc_has_word(msg, 3)) {
        const std::string& channel = irc_word(msg, 3);
        WindowRecord* rec = win_find_by_name(channel, conn);
        if (rec && rec->type == kWinChannel) {
            ial_set_channel_in_who(rec, 0);
            irc_take_pending_who(rec->number, conn);
        }
        irc_drop_pending_who(channel, conn);
    }
    irc_state(conn)->who_shown = 0;
    show_from(msg, irc_has_word(msg, 3) ? 3 : 0, 0, 1);
}

// :server 404 me #chan :Cannot send to channel  (410 the same)
void query_on_cannot_send(IrcMessage& msg)
{
    Connection* conn = msg.connection;
    if (!irc_has_word(msg, 3)) { show_from(msg, 0, 0, 0); return; }
    const std::string& name = irc_word(msg, 3);
    reply_target_unreachable.fire(name, conn);
    WindowRecord* rec = win_find_by_name(name, conn);
    if (!rec || !rec->hwnd) { show_from(msg, 3, 1, 1); return; }
    if (!raw_event(msg) || !win_is_record(rec)) return;
    query_reply_print(rec->hwnd, kColorNormalText, words_text(msg, 3), 1, 1);
}

// :server 482 me #chan :You're not channel operator  (485 the same)
void query_on_not_operator(IrcMessage& msg)
{
    Connection* conn = msg.connection;
    if (!irc_has_word(msg, 3)) { show_from(msg, 0, 0, 0); return; }
    WindowRecord* rec = win_find_by_name(irc_word(msg, 3), conn);
    if (!rec || !rec->hwnd) { show_from(msg, 3, 0, 1); return; }
    if (conn_pending_match(rec->hwnd, &irc_word(msg, 3), conn)) return;
    if (!raw_event(msg) || !win_is_record(rec)) return;
    query_reply_echo(rec->hwnd, kColorInfoText, "* " + irc_word(msg, 2) + ": " + text_lower_copy(words_text(msg, 4)));
}

// :server 322 me #chan 12 :topic
// :server 812 me #chan modes 12 x :topic  (the IRCX form)
void query_on_list_entry(IrcMessage& msg)
{
    Connection* conn = msg.connection;
    const bool ircx = msg.numeric == 812;
    if (msg.last_word < (ircx ? 6 : 4)) { show_from(msg, 0, 0, 0); return; }
    const std::string& name = irc_word(msg, 3);
    const std::string& users = irc_word(msg, ircx ? 5 : 4);
    const std::string& topic = irc_word(msg, ircx ? 7 : 5);
    if (name.empty() || name.size() > 50 || name.find('\t') != std::string::npos) return;
    if (irc_join_allowed && !irc_join_allowed(name, conn)) return;
    if (topic.find('\x1a') != std::string::npos) return;
    if (!raw_event(msg) || !conn_is_live(conn)) return;
    if (query_chanlist_entry) {
        query_chanlist_entry(name, users, topic, conn);
        return;
    }
    std::string text = name + " " + users;
    if (!topic.empty()) text += " " + topic;
    irc_status_show(conn, static_cast<int>(kColorNormalText), text.substr(0, kLongText), 0, 0);
}

// :server 364 me server uplink :hops description
void query_on_links(IrcMessage& msg)
{
    Connection* conn = msg.connection;
    QueryReplyState* st = query_reply_state(conn);
    int go = 1;
    if (!st->links_pending) {
        st->links_pending = 1;
        strlist_free(&st->links_list);
        go = raw_event(msg);
        if (go && conn_is_live(conn)) irc_status_show(conn, static_cast<int>(kColorInfoText), text_of(3560), 1, 0);
    } else {
        raw_event(msg);
    }
    if (!conn_is_live(conn)) return;
    if (strlist_count(st->links_list) >= 10000) return;  // a hostile server cannot grow it without end
    std::string entry = irc_word(msg, 3).substr(0, kShortText) + "," + irc_word(msg, 4).substr(0, kShortText) +
                        "," + irc_word(msg, 5).substr(0, kMediumText);
    st->links_list = strlist_prepend(st->links_list, std::string_view(entry), 0, 0);
}

// :server 365 me * :End of /LINKS list.
void query_on_links_end(IrcMessage& msg)
{
    Connection* conn = msg.connection;
    QueryReplyState* st = query_reply_state(conn);
    int go = raw_event(msg);
    if (!conn_is_live(conn)) return;
    if (st->links_pending) {
        st->links_pending = 0;
        StringNode* list = st->links_list;
        st->links_list = nullptr;
        links_received.fire(list, conn);
        strlist_free(&list);
    }
    if (go) irc_show_words(msg, msg.trailing_word > 0 ? msg.trailing_word : 3, 0, 1, static_cast<int>(kColorNormalText));
}

// :server 345 #chan me word word :count text
void query_on_list_count(IrcMessage& msg)
{
    Connection* conn = msg.connection;
    WindowRecord* rec = win_find_by_name(irc_word(msg, 2), conn);
    if (!rec || rec->type != kWinChannel || !rec->hwnd || !irc_has_word(msg, 5) || irc_word(msg, 5).empty()) {
        show_from(msg, 3, 0, 0);
        return;
    }
    if (!raw_event(msg) || !win_is_record(rec)) return;
    query_reply_print(rec->hwnd, kColorInfoText, "* " + words_text(msg, 5), 0, 0);
}

// :server 328 me #chan :http://home.example/
void query_on_home_page(IrcMessage& msg)
{
    Connection* conn = msg.connection;
    if (conn->server_flags & kServerMinusPrefix) {
        if (msg.last_word >= 3) whois_show(msg, 0, words_text(msg, 3), 0, 0);
        return;
    }
    raw_event(msg);
}

// :server 367 me #chan mask setter 1700000000  (346 invite, 348 except)
void query_on_mode_list_entry(IrcMessage& msg)
{
    chan_list_reply(msg, chan_list_index_of(msg.numeric));
}

// :server 368 me #chan :End of Channel Ban List  (347, 349, 380)
void query_on_mode_list_end(IrcMessage& msg)
{
    chan_list_end(msg, chan_list_index_of(msg.numeric));
}

void (*query_chanlist_entry)(const std::string&, const std::string&, const std::string&, Connection*) = nullptr;
Signal<void(StringNode*&, Connection*)> links_received;
Signal<void(const std::string&, Connection*)> reply_target_unreachable;

QueryReplyState::~QueryReplyState()
{
    strlist_free(&links_list);
}

QueryReplyState* query_reply_state(Connection* conn)
{
    if (!conn) return nullptr;
    return &conn->state_slots.get(query_reply_slot);
}

int query_is_away(Connection* conn)
{
    if (!conn) return 0;
    const QueryReplyState* st = conn->state_slots.find(query_reply_slot);
    return st && st->away;
}

int query_take_away(Connection* conn)
{
    if (!query_is_away(conn)) return 0;
    QueryReplyState* st = query_reply_state(conn);
    st->away = 0;
    st->away_since = 0;
    return 1;
}

void query_replies_install()
{

}

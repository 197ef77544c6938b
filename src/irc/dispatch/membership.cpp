// Channel membership: JOIN, PART, KICK, QUIT, NICK and KILL.
#include "irc/dispatch/membership.h"

#include <cstdint>
#include <vector>

#include "irc/link/identity_settings.h"
#include "model/connection.h"
#include "model/window_requests.h"
#include "model/window_record.h"
#include "core/main_settings.h"
#include "core/numbered_texts.h"
#include "core/options.h"
#include "core/text_buffer.h"
#include "core/text_limits.h"
#include "model/colors.h"
#include "model/line_buffer.h"
#include "model/nick_list.h"
#include "model/tip_events.h"
#include "irc/dispatch/automode.h"
#include "irc/dispatch/captions.h"
#include "irc/dispatch/dispatcher.h"
#include "irc/dispatch/messages.h"
#include "irc/dispatch/server_commands.h"
#include "irc/lists/address_list.h"
#include "irc/lists/notify_list.h"
#include "irc/lists/user_lists.h"
#include "irc/numerics/isupport.h"
#include "irc/link/send_queue.h"
#include "script/events/event_index.h"

MembershipSettings membership_settings;

namespace {

// Shows a line in a window: echo 1 through echo_line, 0 through print_line.
void membership_print(QWidget* hwnd, std::uint32_t colour, const std::string& text, int echo)
{
    // Stamped by the same rule as channel text.
    print_options.timestamp = 1;
    if (echo) echo_line(hwnd, text, colour);
    else print_line(hwnd, std::string_view(text), colour);
}

// The state of each channel window, kept on its record.
RecordSlot<ChannelMembership> g_state_slot;


// "%s" filled in order.

std::string with_reason(std::string text, const std::string& reason)
{
    if (!reason.empty()) text += " (" + reason + "\x0F)";
    return text.substr(0, kLongText);
}



void to_window(WindowRecord* rec, std::uint32_t colour, const std::string& text, int echo)
{
    if (win_is_open(rec)) membership_print(rec->hwnd.get(), colour, text, echo);
}

void to_status(Connection* conn, std::uint32_t colour, const std::string& text)
{
    irc_status_echo(conn, static_cast<int>(colour), text);
}

// 0 this window, 1 the status window, 2 nowhere, from the window's choice
// and the global one.
int where_of(int window_choice, int global_choice)
{
    if (window_choice == 0) return global_choice == 0 ? 0 : global_choice == 1 ? 1 : 2;
    return window_choice == 1 ? 0 : window_choice == 2 ? 1 : 2;
}


void learn_address(IrcMessage& msg, const std::string& nick)
{
    if (msg.has_address && ial_shares_channel(nick, msg.connection)) ial_update(&nick, &msg.address, 0, msg.connection);
}

void request_modes(WindowRecord* rec, const std::string& chan, Connection* conn)
{
    if (!chan.empty() && chan[0] == '+') return;
    chan_membership(rec)->pending_modes++;
    irc_send_line("MODE " + chan + "\n", 0, conn);
}

void close_channel(WindowRecord* rec)
{
    if (!win_is_open(rec)) return;
    rec->chan_left = 1;
    QWidget* hwnd = rec->hwnd.get();
    ial_drop_channel(rec);
    nicklist_clear(rec);
    rec->state_slots.reset(g_state_slot);
    // Closed as the user's close does, so that the window's widgets go with
    // its record.
    win_request_close(hwnd);
}

void refresh(WindowRecord* rec)
{
    if (win_is_open(rec)) win_update_title(rec, nullptr);
}

}  // namespace

int membership_state_count()
{
    int count = 0;
    for (const WindowRecord* rec = win_list; rec; rec = rec->next)
        if (rec->state_slots.find(g_state_slot)) ++count;
    return count;
}

ChannelMembership* chan_membership(const WindowRecord* rec)
{
    if (!rec) return nullptr;
    // The state is not part of the record's value: made on first use.
    return &const_cast<WindowRecord*>(rec)->state_slots.get(g_state_slot);
}

std::string membership_own_nick(Connection* conn)
{
    if (!conn) return std::string();
    return conn_own_nick(conn);
}

// :nick!user@host JOIN #channel
void membership_on_join(IrcMessage& msg)
{
    Connection* conn = msg.connection;
    if (!conn_is_live(conn)) return;
    std::string chan = irc_word(msg, 2);
    const std::size_t bell = chan.find('\x07');
    if (bell != std::string::npos) chan.resize(bell);
    const std::string nick = irc_word(msg, 0);
    WindowRecord* rec = win_find_channel(chan, conn);
    notify_membership_seen(nick, 1, conn);
    automode_forget(nick, conn);

    if (text_equal_nocase(nick, membership_own_nick(conn))) {
        if (rec) chan_membership(rec)->joined = 1;
        if (msg.has_address) conn->own_address = msg.address.substr(0, kShortText);
        if (chan.empty() || !isupport_is_chantype(chan.c_str(), conn) ||
            (irc_join_allowed && !irc_join_allowed(chan, conn))) {
            if (rec) close_channel(rec);
            irc_send_line("PART " + chan + "\n", 0, conn);
            return;
        }
        if (rec) {
            ChannelMembership* st = chan_membership(rec);
            // The members the rejoin discards share this channel no more:
            // their addresses go unless another channel holds them.
            ial_forget_channel(rec);
            nicklist_clear(rec);
            st->rejoin_pending = 0;
            st->kicked = 0;
            // On the channel again, with the join answered: the names that
            // follow fill the list.
            rec->chan_left = 0;
            rec->chan_state = 0;
            rec->network_tag = conn->network.substr(0, kShortText);
            nicklist_update(nick, rec, kNickAddOrChange, 1);
            ial_update(&nick, msg.has_address ? &msg.address : nullptr, 0, conn);
            request_modes(rec, chan, conn);
            if (irc_fire_event(msg, "JOIN", kEvJoin, 1) && win_is_open(rec)) {
                to_window(rec, kColorJoinText, text_fill_id(3503, {chan}), 0);
                if (event_announce_wanted(TIPOPT_CHAN_JOINPART))
                    tip_event.fire(TIPOPT_CHAN_JOINPART, {nick, chan, std::string()}, 10, conn, rec);
            }
            irc_fire_event(msg, "JOIN", kEvJoin, 0);
            refresh(rec);
            return;
        }
        if (chan.size() > kShortText) {
            irc_send_line("PART " + chan + "\n", 0, conn);
            return;
        }
        WindowOpenRequest request;
        request.name = chan;
        request.type = kWinChannel;
        request.conn = conn;
        rec = win_record_of(win_request_open(request));
        if (!rec) {
            irc_send_line("PART " + chan + "\n", 0, conn);
            return;
        }
        ChannelMembership* st = chan_membership(rec);
        st->open_state = 2;
        st->joined = 1;
        rec->network_tag = conn->network.substr(0, kShortText);
        request_modes(rec, chan, conn);
        nicklist_update(nick, rec, kNickAddOrChange, 1);
        ial_update(&nick, msg.has_address ? &msg.address : nullptr, 0, conn);
        if (irc_fire_event(msg, "JOIN", kEvJoin, 1) && win_is_open(rec)) {
            to_window(rec, kColorJoinText, text_fill_id(3504, {chan}), 1);
            if (event_announce_wanted(TIPOPT_CHAN_JOINPART))
                tip_event.fire(TIPOPT_CHAN_JOINPART, {nick, chan, std::string()}, 9, conn, rec);
        }
        irc_fire_event(msg, "JOIN", kEvJoin, 0);
        refresh(rec);
        return;
    }

    if (!rec) return;
    nicklist_update(nick, rec, kNickAddOrChange, 1);
    if (msg.has_address) userlist_on_join(rec, nick, msg.address, conn);
    if (msg.has_address) ial_update(&nick, &msg.address, 0, conn);
    const int go = irc_fire_event(msg, "JOIN", kEvJoin, 1);
    const int where = where_of(chan_membership(rec)->show_joins_in, membership_settings.joins_in);
    if (go && where != 2 && win_is_open(rec)) {
        const bool addr = opt(OPT_SHOW_ADDRESSES) && msg.has_address && !msg.address.empty();
        std::string text;
        if (membership_settings.show_channel_name) {
            if (where == 0) text = addr ? text_fill_id(3507, {nick, msg.address}) : text_fill_id(3508, {nick});
            else text = addr ? text_fill_id(3509, {chan, nick, msg.address}) : text_fill_id(3510, {chan, nick});
        } else {
            text = addr ? text_fill_id(3505, {nick, msg.address}) : text_fill_id(3506, {nick});
        }
        if (where == 0) to_window(rec, kColorJoinText, text, 1);
        else to_status(conn, kColorJoinText, text);
        if (event_announce_wanted(TIPOPT_CHAN_JOINPART))
            tip_event.fire(TIPOPT_CHAN_JOINPART, {nick, chan, std::string()}, 11, conn, rec);
    }
    irc_fire_event(msg, "JOIN", kEvJoin, 0);
    refresh(rec);
}

// :nick!user@host PART #channel [:reason]
void membership_on_part(IrcMessage& msg)
{
    Connection* conn = msg.connection;
    if (!conn_is_live(conn)) return;
    const std::string chan = irc_word(msg, 2);
    WindowRecord* rec = win_find_channel(chan, conn);
    if (!rec) return;
    const std::string nick = irc_word(msg, 0);
    notify_membership_seen(nick, 1, conn);
    automode_forget(nick, conn);
    const std::string reason = irc_has_word(msg, 3) ? irc_words_from(msg, 3) : std::string();

    if (!text_equal_nocase(nick, membership_own_nick(conn))) {
        nicklist_update(nick, rec, kNickSetValue, kLeaving);
        const int go = irc_fire_event(msg, "PART", kEvPart, 1);
        const int where = where_of(chan_membership(rec)->show_parts_in, membership_settings.parts_in);
        if (go && where != 2 && win_is_open(rec)) {
            const bool addr = opt(OPT_SHOW_ADDRESSES) && msg.has_address && !msg.address.empty();
            const std::string shown = nick_display_form(rec, 1, nick, conn);
            std::string text;
            if (membership_settings.show_channel_name) {
                if (where == 0) text = addr ? text_fill_id(3525, {shown, msg.address}) : text_fill_id(3526, {shown});
                else text = addr ? text_fill_id(3527, {chan, shown, msg.address}) : text_fill_id(3528, {chan, shown});
            } else {
                text = addr ? text_fill_id(3523, {shown, msg.address}) : text_fill_id(3524, {shown});
            }
            text = with_reason(text, reason);
            if (where == 0) to_window(rec, kColorPartText, text, 1);
            else to_status(conn, kColorPartText, text);
            if (event_announce_wanted(TIPOPT_CHAN_JOINPART))
                tip_event.fire(TIPOPT_CHAN_JOINPART, {nick, chan, reason}, 13, conn, rec);
        }
        irc_fire_event(msg, "PART", kEvPart, 0);
        if (win_is_open(rec)) nicklist_update(nick, rec, kNickRemove, 0);
        ial_forget_nick(nullptr, nick, 0, conn);
        refresh(rec);
        return;
    }

    nicklist_update(nick, rec, kNickSetValue, kLeavingChannel);
    if (irc_fire_event(msg, "PART", kEvPart, 1))
        if (event_announce_wanted(TIPOPT_CHAN_JOINPART))
            tip_event.fire(TIPOPT_CHAN_JOINPART, {nick, chan, reason}, 12, conn, win_is_open(rec) ? rec : nullptr);
    irc_fire_event(msg, "PART", kEvPart, 0);
    if (!win_is_open(rec)) return;
    ChannelMembership* st = chan_membership(rec);
    ial_forget_nick(rec, nick, 0, conn);
    nicklist_clear(rec);
    st->joined = 0;
    // A hop sent its JOIN right behind this PART: the window stays for it.
    if (rec->closing == 0 && !st->rejoin_pending && rec->chan_state != 1) {
        close_channel(rec);
        return;
    }
    st->open_state = 0;
    refresh(rec);
}

// :nick!user@host KICK #channel nick [:reason]
void membership_on_kick(IrcMessage& msg)
{
    Connection* conn = msg.connection;
    if (!conn_is_live(conn)) return;
    const std::string chan = irc_word(msg, 2);
    WindowRecord* rec = win_find_channel(chan, conn);
    if (!rec) return;
    const std::string kicker = irc_word(msg, 0);
    const std::string kicked = irc_word(msg, 3).substr(0, kShortText);
    const std::string reason = irc_has_word(msg, 4) ? irc_words_from(msg, 4) : std::string();
    const std::string me = membership_own_nick(conn);
    notify_membership_seen(kicker, 1, conn);
    automode_forget(kicked, conn);

    if (!text_equal_nocase(kicked, me)) {
        nicklist_update(kicked, rec, kNickSetValue, kLeaving);
        userlist_on_kick(rec, kicker, kicked, conn);
        if (nicklist_find(rec, kicker)) learn_address(msg, kicker);
        const int go = irc_fire_event(msg, "KICK", kEvKick, 1);
        const int where = where_of(chan_membership(rec)->show_kicks_in, membership_settings.kicks_in);
        if (go && where != 2 && win_is_open(rec)) {
            const std::string text = with_reason(text_fill_id(3514, {kicked, kicker}), reason);
            if (where == 0) to_window(rec, kColorKickText, text, 1);
            else to_status(conn, kColorKickText, text);
            if (event_announce_wanted(TIPOPT_CHAN_KICK))
                tip_event.fire(TIPOPT_CHAN_KICK, {kicker, chan, kicked}, 15, conn, rec);
        }
        irc_fire_event(msg, "KICK", kEvKick, 0);
        if (win_is_open(rec)) nicklist_update(kicked, rec, kNickRemove, 0);
        ial_forget_nick(nullptr, kicked, 0, conn);
        refresh(rec);
        return;
    }

    ChannelMembership* st = chan_membership(rec);
    st->kicked = 1;
    for (NickEntry* n = rec->nick_list; n; n = n->next) n->extra[kNickValue] = kLeaving;
    nicklist_update(me, rec, kNickSetValue, kLeavingChannel);
    // We are off the channel now: a /join (the rejoin below, or the user's)
    // must send the JOIN rather than just show the window.
    rec->chan_left = 1;
    bool close_it = false;
    int go = 1;
    if (opt(OPT_REJOIN_ON_KICK) && !text_equal_nocase(kicker, me)) {
        st->rejoin_pending = 1;
        // The channel name and key come from the server: the line runs in
        // the plain mode, so nothing in them is evaluated or split.
        std::string line = "/join " + chan;
        if (!rec->chan_key.empty()) line += " " + rec->chan_key;
        irc_run_plain(conn, line.substr(0, kLongText));
        go = irc_fire_event(msg, "KICK", kEvKick, 1);
        if (go && win_is_open(rec)) {
            to_window(rec, kColorKickText, with_reason(text_fill_id(3511, {kicker}), reason), 0);
            to_window(rec, kColorInfoText, text_load_string(3513), 0);
        }
    } else if (membership_settings.keep_window_on_kick) {
        go = irc_fire_event(msg, "KICK", kEvKick, 1);
        if (go && win_is_open(rec)) to_window(rec, kColorKickText, with_reason(text_fill_id(3512, {chan, kicker}), reason), 0);
    } else {
        go = irc_fire_event(msg, "KICK", kEvKick, 1);
        if (go && win_is_open(rec)) to_window(rec, kColorKickText, with_reason(text_fill_id(3511, {kicker}), reason), 0);
        close_it = true;
    }
    if (go) {
        to_status(conn, kColorKickText, with_reason(text_fill_id(3512, {chan, kicker}), reason));
        if (event_announce_wanted(TIPOPT_CHAN_KICK))
            tip_event.fire(TIPOPT_CHAN_KICK, {kicker, chan, reason}, 14, conn, win_is_open(rec) ? rec : nullptr);
    }
    irc_fire_event(msg, "KICK", kEvKick, 0);
    if (close_it) {
        close_channel(rec);
        return;
    }
    if (win_is_open(rec)) {
        ial_forget_nick(rec, me, 0, conn);
        nicklist_clear(rec);
        st->joined = 0;
        refresh(rec);
    }
}

// :nick!user@host QUIT [:reason]
void membership_on_quit(IrcMessage& msg)
{
    Connection* conn = msg.connection;
    if (!conn_is_live(conn)) return;
    const std::string nick = irc_word(msg, 0);
    const std::string reason = irc_has_word(msg, 2) ? irc_words_from(msg, 2) : std::string();
    const bool own = text_equal_nocase(nick, membership_own_nick(conn));
    notify_membership_seen(nick, 0, conn);
    automode_forget(nick, conn);

    std::vector<WindowRecord*> holding;
    for (WindowRecord* w = win_list; w; w = w->next)
        if (w->type == kWinChannel && w->conn == conn && w->hwnd.get() && nicklist_find(w, nick)) holding.push_back(w);

    for (WindowRecord* w : holding) nicklist_update(nick, w, kNickSetValue, kLeaving);
    const bool show_addr = opt(OPT_SHOW_ADDRESSES) && msg.has_address && !msg.address.empty();
    const int go = irc_fire_event(msg, "QUIT", kEvQuit, 1);
    bool want_status = false;
    if (go) {
        for (WindowRecord* w : holding) {
            if (!win_is_open(w)) continue;
            const int choice = chan_membership(w)->show_quits_in;
            bool here = false, status = false;
            if (choice == 0) {
                const int g = membership_settings.quits_in;
                here = g == 0 || g == 2;
                status = g == 1 || g == 2;
            } else {
                here = choice == 1 || choice == 3;
                status = choice == 2 || choice == 3;
            }
            want_status = want_status || status;
            if (!here) continue;
            std::string text;
            if (membership_settings.show_channel_name) {
                text = text_fill_id(3532, {nick});
                if (show_addr) text += " (" + msg.address + "\x0F)";
            } else if (show_addr) {
                text = text_fill_id(3533, {nick, msg.address});
            } else {
                text = text_fill_id(3531, {nick});
            }
            to_window(w, kColorQuitText, with_reason(text, reason), 1);
        }
        if (own || want_status || holding.empty()) {
            const std::string text = show_addr ? text_fill_id(3533, {nick, msg.address}) : text_fill_id(3531, {nick});
            to_status(conn, kColorQuitText, with_reason(text, reason));
        }
        if (!own && !holding.empty() && win_is_open(holding.front()))
            if (event_announce_wanted(TIPOPT_CHAN_QUIT))
                tip_event.fire(TIPOPT_CHAN_QUIT, {nick, std::string(), reason}, 39, conn, holding.front());
    }
    irc_fire_event(msg, "QUIT", kEvQuit, 0);
    for (WindowRecord* w : holding) {
        if (!win_is_open(w)) continue;
        nicklist_update(nick, w, kNickRemove, 0);
        refresh(w);
    }
    // A nick that quit shares no channel with us any more: its address goes,
    // or the list would grow with every quit for as long as the link lives.
    if (conn_is_live(conn) && !own)
        ial_forget_nick(nullptr, nick, 0, conn);
}

// :nick!user@host NICK newnick
void membership_on_nick(IrcMessage& msg)
{
    Connection* conn = msg.connection;
    if (!conn_is_live(conn)) return;
    const std::string old_nick = irc_word(msg, 0);
    const std::string new_nick = irc_word(msg, 2).substr(0, kShortText);
    if (new_nick.empty()) return;
    const bool own = text_equal_nocase(old_nick, membership_own_nick(conn));
    const bool case_only = text_equal_nocase(old_nick, new_nick);
    automode_rename(old_nick, new_nick, conn);

    // Queries.
    WindowRecord* existing = nullptr;
    if (!case_only) {
        for (WindowRecord* w = win_list; w; w = w->next)
            if (w->type == kWinQuery && w->subtype == kQueryPrivate && w->conn == conn && text_equal_nocase(w->name, new_nick))
                existing = w;
    }
    if (existing) {
        existing->name = new_nick;
        refresh(existing);
    } else {
        for (WindowRecord* w = win_list; w; w = w->next) {
            if (w->type == kWinQuery && w->subtype == kQueryPrivate && w->conn == conn && text_equal_nocase(w->name, old_nick)) {
                w->name = new_nick;
                refresh(w);
                break;
            }
        }
    }

    // Channels: the member keeps its mode bits.
    bool shares = false;
    for (WindowRecord* w = win_list; w; w = w->next) {
        if (w->type != kWinChannel || w->conn != conn || !w->hwnd.get()) continue;
        if (nicklist_rename(w, old_nick, new_nick)) shares = true;
    }
    if (shares) ial_update(&old_nick, &new_nick, 1, conn);

    if (irc_fire_event(msg, "NICK", kEvNick, 1)) {
        for (WindowRecord* w = win_list; w; w = w->next) {
            if (w->type != kWinChannel || w->conn != conn || !w->hwnd.get() || !nicklist_find(w, new_nick)) continue;
            const int choice = chan_membership(w)->show_nicks_in;
            if ((choice == 0 && membership_settings.nicks_in == 0) || choice == 1)
                to_window(w, kColorNickText, text_fill_id(3519, {old_nick, new_nick}), 1);
        }
        if (own) to_status(conn, kColorNickText, text_fill_id(3520, {new_nick}));
        WindowRecord* query = nullptr;
        WindowRecord* channel = nullptr;
        for (WindowRecord* w = win_list; w; w = w->next) {
            if (w->conn != conn || !win_is_open(w)) continue;
            if (!query && w->type == kWinQuery && w->subtype == kQueryPrivate && text_equal_nocase(w->name, new_nick)) query = w;
            if (!channel && w->type == kWinChannel && nicklist_find(w, new_nick)) channel = w;
        }
        if (event_announce_wanted(TIPOPT_PRIV_NICK) || event_announce_wanted(TIPOPT_CHAN_NICK)) {
            TipEventText ev{old_nick, new_nick, std::string()};
            ev.alt = own ? 1 : 0;
            if (query && !own)
                tip_event.fire(TIPOPT_PRIV_NICK, ev, 17, conn, query);
            else if (channel || own)
                tip_event.fire(TIPOPT_CHAN_NICK, ev, 17, conn, own ? nullptr : channel);
        }
    }
    irc_fire_event(msg, "NICK", kEvNick, 0);

    if (own) {
        int& idx = conn->nick_index;
        if (conn->nick_switch_slot >= 0 && conn->nick_switch_slot <= 2) idx = conn->nick_switch_slot;
        conn->nick_switch_slot = -1;
        if (idx < 0 || idx > 2) idx = 0;
        if (idx == 0 && !text_equal_nocase(new_nick, conn->live_identity[2]) && text_equal_nocase(new_nick, conn->live_identity[3])) idx = 1;
        else if (idx == 1 && !text_equal_nocase(new_nick, conn->live_identity[3]) && text_equal_nocase(new_nick, conn->live_identity[2])) idx = 0;
        conn->live_identity[2 + idx] = new_nick;
        for (int i = 0; i < 3; ++i) conn->stored_identity[2 + i] = conn->live_identity[2 + i];
        conn_update_status_title(conn);
        ini_save_identity(2, conn);
    }
    if (!case_only) {
        notify_membership_seen(old_nick, 0, conn);
        notify_membership_seen(new_nick, 1, conn);
    }
    // Captions: our own nick shows in every caption of the connection;
    // another user's new nick changes only the windows that hold it (a
    // channel it is on, the query named after it), so a rename costs the
    // same with ten windows open as with thousands.
    for (WindowRecord* w = win_list; w; w = w->next) {
        if (w->conn != conn || (w->type != kWinChannel && w->type != kWinQuery)) continue;
        if (own || (w->type == kWinChannel && w->hwnd.get() && nicklist_find(w, new_nick)) ||
            (w->type == kWinQuery && text_equal_nocase(w->name, new_nick)))
            refresh(w);
    }
}

// :nick!user@host KILL nick [:reason]
void membership_on_kill(IrcMessage& msg)
{
    Connection* conn = msg.connection;
    if (!conn_is_live(conn)) return;
    const std::string killer = irc_word(msg, 0);
    const std::string killed = irc_word(msg, 2).substr(0, kShortText);
    const std::string reason = irc_has_word(msg, 3) ? irc_words_from(msg, 3) : std::string();
    notify_membership_seen(killed, 0, conn);
    automode_forget(killed, conn);
    if (!text_equal_nocase(killed, membership_own_nick(conn))) {
        for (WindowRecord* w = win_list; w; w = w->next) {
            if (w->type != kWinChannel || w->conn != conn || !w->hwnd.get()) continue;
            if (nicklist_find(w, killed)) {
                nicklist_update(killed, w, kNickRemove, 0);
                refresh(w);
            }
        }
        to_status(conn, kColorInfoText, text_fill_id(3516, {killed, killer, reason}));
    } else {
        to_status(conn, kColorInfoText, text_fill_id(3515, {killer, reason}));
        if (msg.has_address) {
            conn->waiting_retry = 0;
            conn->retry_delay = 0;
            conn->quitting = 1;
        }
    }
    ial_forget_nick(nullptr, killed, 0, conn);
}

// A sender seen on a channel goes into the address list when it shares a
// channel with us.
void membership_note_sender(Connection* conn, const std::string& nick, const std::string& address)
{
    if (nick.empty() || address.empty() || !ial_shares_channel(nick, conn)) return;
    ial_update(&nick, &address, 0, conn);
}

namespace {
int g_created_listener = 0;
}  // namespace

void irc_membership_install()
{
    conn_created.add_once(g_created_listener, kCreatedAddressList, ial_init);
}

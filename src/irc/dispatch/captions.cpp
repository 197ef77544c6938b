// Captions of the status, channel, query and Messages windows.
#include "irc/lists/servers.h"
#include "irc/dispatch/captions.h"

#include <cstdint>
#include <cstdio>

#include "model/connection.h"
#include "model/window_record.h"
#include "core/numbered_texts.h"
#include "core/options.h"
#include "core/text_buffer.h"
#include "core/text_limits.h"
#include "core/time_date.h"
#include "model/nick_list.h"
#include "irc/dispatch/dispatcher.h"
#include "irc/link/connect.h"
#include "irc/lists/address_list.h"
#include "irc/numerics/isupport.h"
#include "irc/numerics/query_replies.h"
#include "platform/platform_utils.h"

Signal<void(WindowRecord*, const std::string&)> caption_changed;
std::string (*caption_get_hook)(WindowRecord*) = nullptr;
Signal<void(WindowRecord*)> captions_updated;

namespace {

// The partner address of a query or Messages window, and the caption set,
// kept on the window's record.
RecordSlot<std::string> g_partner_slot;
RecordSlot<std::string> g_caption_slot;

bool is_plain_number(const std::string& s)
{
    if (s.empty()) return false;
    std::size_t i = (s[0] == '-' || s[0] == '+') ? 1 : 0;
    if (i >= s.size()) return false;
    for (; i < s.size(); ++i)
        if (s[i] < '0' || s[i] > '9') return false;
    return true;
}

// "%s" and "%d" filled in order from the texts.

void repaint_switchbar(WindowRecord* rec)
{
    if (captions_updated.size()) captions_updated.fire(rec);
    else win_list_change(kWinListLook);
}

// The texts of windows whose records are gone are dropped once the two maps
// hold many more entries than there are windows: windows that open and close
// for as long as the program runs leave nothing behind (the walk is paid for
// by the entries added since the last one).

std::string read_caption(WindowRecord* rec)
{
    if (caption_get_hook) return caption_get_hook(rec);
    const std::string* set = rec->state_slots.find(g_caption_slot);
    return set ? *set : std::string();
}

void set_caption(WindowRecord* rec, const std::string& text)
{
    rec->state_slots.get(g_caption_slot) = text;
    if (caption_changed.size()) caption_changed.fire(rec, text);
    else win_set_text_if_changed(rec->hwnd.get(), text);
}

// The server piece: the network, else a group that is not a plain number.
std::string server_piece(Connection* conn)
{
    if (!conn->network.empty()) return conn->network;
    const std::string& group = conn->live_server[2];
    if (!group.empty() && !is_plain_number(group)) return group;
    return std::string();
}

}  // namespace

int caption_kept_count()
{
    int count = 0;
    for (const WindowRecord* rec = win_list; rec; rec = rec->next)
        count += (rec->state_slots.find(g_caption_slot) ? 1 : 0) + (rec->state_slots.find(g_partner_slot) ? 1 : 0);
    return count;
}

void irc_caption_network_part(std::string& text, Connection* conn)
{
    const int want_net = opt(OPT_CAPTION_NETWORK);
    const int want_nick = opt(OPT_CAPTION_NICK);
    if (!want_net && !want_nick) return;
    std::string network;
    if (!conn_get_network(network, conn) || network.empty()) return;
    const std::string nick = conn_own_nick(conn);
    if (want_net && want_nick && !nick.empty()) text += " (" + network + ", " + nick + ")";
    else if (want_net) text += " (" + network + ")";
    else if (!nick.empty()) text += " (" + nick + ")";
}

std::string irc_status_caption(Connection* conn)
{
    if (!conn || !conn_is_live(conn)) return "Status";
    std::string cap = "Status: ";
    IrcConnState* st = irc_state(conn);
    std::string nick_piece = conn_own_nick(conn);
    if ((st && st->nick_pending && st->nick_prompted) || nick_piece.empty())
        nick_piece = text_load_string(604);
    std::string server = server_piece(conn);
    const std::string& host = conn->live_server[0];
    const std::string& port = conn->live_server[4];
    if (conn_is_connected(conn) && st && st->registration) {
        cap += nick_piece;
        if (!st->user_modes_text.empty()) cap += " " + st->user_modes_text;
        if (query_is_away(conn) && !conn->away_text.empty()) cap += text_load_string(606);
        if (!server.empty()) server += " (" + conn->server_name + ":" + port + ")";
        else server = conn->server_name + ":" + port;
        cap += text_fill_pattern(text_load_string(605), {server});
        if (opt(OPT_ONLINE_TIMER)) {
            int h = 0, m = 0;
            if (opt(OPT_ONLINE_TIMER_TOTAL)) {
                h = online_time_total.hours;
                m = online_time_total.minutes;
            } else {
                h = conn->online_hours;
                m = conn->online_minutes;
            }
            char buf[32];
            std::snprintf(buf, sizeof buf, " (%02d:%02d)", h, m);
            cap += buf;
        }
    } else if (conn_is_connected(conn) || conn_is_connecting(conn)) {
        cap += nick_piece;
        const bool retry = conn->waiting_retry != 0;
        if (!server.empty()) {
            if (retry) server += " (" + host + ")";
            else if (!conn->server_name.empty()) server += " (" + conn->server_name + ":" + port + ")";
        } else if (retry) {
            server = host;
        } else if (!conn->server_name.empty()) {
            server = conn->server_name + ":" + port;
        } else {
            server = text_load_string(1925);
        }
        if (server.empty()) return cap.substr(0, kLongText);
        if (retry) {
            int secs = conn->retry_delay > 0 ? conn->retry_delay / 1000 : 0;
            if (conn->retry_delay > 0 && secs < 1) secs = 1;
            cap += text_fill_pattern(text_load_string(607), {std::to_string(secs), server});
        } else if (st && st->nick_pending) {
            cap += text_fill_pattern(text_load_string(608), {server});
        } else {
            cap += text_fill_pattern(text_load_string(609), {server});
        }
    } else {
        cap += text_load_string(610);
        const std::string nick = conn_own_nick(conn);
        if (!host.empty()) {
            cap += " (";
            if (!nick.empty()) cap += nick + ", ";
            std::string group = servers_group_of_host(host);
            if (!group.empty() && !is_plain_number(group)) cap += group + ", ";
            cap += host + ")";
        } else if (!nick.empty()) {
            cap += " (" + nick + ")";
        }
    }
    return cap.substr(0, kLongText);
}

void irc_status_label(WindowRecord* rec, std::string& out, int kind)
{
    out = "Status";
    if (!rec || !win_is_record(rec) || kind < 1 || kind > 4) return;
    Connection* conn = rec->conn;
    if (!conn || !conn_is_live(conn)) return;
    std::string name = conn->network;
    if (name.empty()) {
        const std::string& group = conn->live_server[2];
        name = (!group.empty() && !is_plain_number(group)) ? group : conn->server_name;
    }
    const std::string nick = conn_own_nick(conn);
    if (kind == 1) {
        out = (!opt(OPT_STATUS_LABEL_NETWORK) || name.empty()) ? "Status" : name;
        if (opt(OPT_STATUS_LABEL_NICK) && !nick.empty()) out += " " + nick;
    } else {
        out = name.empty() ? "Status" : name;
        if (!nick.empty()) out += " " + nick;
    }
}

void win_update_title(WindowRecord* rec, const IrcMessage* msg)
{
    if (!rec || !win_is_record(rec)) {
        repaint_switchbar(nullptr);
        return;
    }
    std::string cap;
    Connection* conn = rec->conn;
    if (rec->type == kWinStatus) {
        cap = irc_status_caption(conn);
    } else if (rec->type == kWinChannel) {
        cap = rec->name;
        if (conn_is_live(conn)) irc_caption_network_part(cap, conn);
        cap += " [" + std::to_string(nicklist_count(rec)) + "]";
        if (rec->chan_modes.size() > 3) cap += " " + rec->chan_modes;
        if (!rec->topic.empty()) {
            std::string t = rec->topic;
            text_strip_codes(t, 31);
            for (char& c : t)
                if (static_cast<unsigned char>(c) < 0x20 && c != ' ') c = '\x01';
            std::string clean;
            for (char c : t)
                if (c != '\x01') clean += c;
            if (!clean.empty()) cap += ": " + clean;
        }
    } else if (rec->type == kWinQuery && rec->subtype == kQueryPrivate) {
            std::string& stored = rec->state_slots.get(g_partner_slot);
        if (msg && msg->has_address && !msg->address.empty()) {
            stored = msg->address.substr(0, kShortText);
        } else if (stored.empty() && conn_is_live(conn)) {
            IalResult r;
            if (ial_lookup(rec->name, r, conn)) {
                std::size_t bang = r.text.find('!');
                if (bang != std::string::npos) stored = r.text.substr(bang + 1);
            }
        }
        cap = rec->name;
        if (conn_is_live(conn)) irc_caption_network_part(cap, conn);
        if (!stored.empty()) cap += " (" + stored + ")";
    } else if (rec->type == kWinQuery && rec->subtype == kQueryMessages) {
        cap = "Messages";
        if (conn_is_live(conn)) irc_caption_network_part(cap, conn);
            std::string& stored = rec->state_slots.get(g_partner_slot);
        const std::string sender = msg && !msg->words.empty() ? msg->words[0] : std::string();
        if (msg && !sender.empty()) {
            if (!msg->address.empty()) {
                stored = (sender + "!" + msg->address).substr(0, kShortText);
                cap += " (" + stored + ")";
            } else {
                cap += " (" + sender + ")";
            }
        } else if (!stored.empty()) {
            cap += " (" + stored + ")";
        }
    } else {
        return;
    }
    if (!cap.empty()) {
        cap = cap.substr(0, kLongText);
        if (read_caption(rec) != cap) set_caption(rec, cap);
    }
    repaint_switchbar(rec);
}

void conn_update_status_title(Connection* conn)
{
    if (!conn || !conn_is_live(conn)) return;
    for (WindowRecord* w = win_list; w; w = w->next) {
        if (w->type == kWinStatus && w->conn == conn) {
            win_update_title(w, nullptr);
            return;
        }
    }
}

void captions_install()
{
    static int online_listener = 0;
    online_time_moved.add_once(online_listener, kOnlineTimeCaptions, [](bool carried) {
        if (!carried)
            return;
        for (Connection* c = conn_list; c; c = c->next) {
            WindowRecord* rec = win_record_of(link_status_window(c));
            if (win_is_open(rec))
                win_update_title(rec, nullptr);
        }
    });
}

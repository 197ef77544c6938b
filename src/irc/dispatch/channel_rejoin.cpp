// Channel windows across a lost link, and their rejoin after a reconnect.
#include "irc/dispatch/channel_rejoin.h"

#include <optional>
#include <string_view>
#include <vector>

#include "model/connection.h"
#include "model/window_requests.h"
#include "model/window_record.h"
#include "core/numbered_texts.h"
#include "core/options.h"
#include "core/text_buffer.h"
#include "core/text_limits.h"
#include "model/colors.h"
#include "model/line_buffer.h"
#include "model/nick_list.h"
#include "irc/dispatch/captions.h"
#include "irc/dispatch/membership.h"
#include "irc/dispatch/outgoing_notes.h"
#include "irc/link/close.h"
#include "irc/lists/address_list.h"

namespace {

// Shows one of the texts above in a channel window, timestamp on, wrap 0.
void chan_rejoin_show(QWidget* hwnd, std::uint32_t colour, const std::string& text)
{
    print_options.timestamp = 1;
    print_options.wrap_mode = 0;
    print_line(hwnd, std::string_view(text), colour);
}


bool channel_of(const WindowRecord* rec, const Connection* conn)
{
    return win_is_open(rec) && rec->type == kWinChannel && rec->conn == conn;
}

// Off the channel because of the link, or rejoining, or left.
bool left_over(const WindowRecord* rec)
{
    return rec->chan_state == 2 || rec->chan_state == 3 || rec->chan_left;
}

// The numbers of the connection's channel windows, in window-list order.
// Work that may close windows or run scripts looks each one up again.
std::vector<int> channel_numbers(Connection* conn)
{
    std::vector<int> out;
    for (WindowRecord* w = win_list; w; w = w->next)
        if (channel_of(w, conn)) out.push_back(w->number);
    return out;
}

WindowRecord* channel_by_number(int number, Connection* conn)
{
    WindowRecord* rec = win_record_by_id(number);
    return channel_of(rec, conn) ? rec : nullptr;
}

// Closes a channel window once: a window already being closed is left to
// that close.
void close_once(WindowRecord* rec)
{
    if (!win_is_open(rec) || rec->closing != 0) return;
    rec->closing = 1;
    // As the user's close: the widgets go with the record.
    win_request_close(rec->hwnd.get());
}


void show(WindowRecord* rec, int text_id)
{
    if (!win_is_open(rec)) return;
    const char* text = text_load_string(text_id);
    chan_rejoin_show(rec->hwnd.get(), kColorInfoText, text ? std::string(text) : std::string());
}

// The nick in use when the link closed, kept on the connection's record.
// The stage that follows the close resets the nick slot before the windows
// are parted, so the nick is kept at stage 2 for stage 3.
RecordSlot<std::optional<std::string>> g_nick_at_close;

void remember_nick(Connection* conn)
{
    conn->state_slots.get(g_nick_at_close) = membership_own_nick(conn);
}

std::string take_nick(Connection* conn)
{
    std::optional<std::string>* kept = conn->state_slots.find(g_nick_at_close);
    if (!kept || !*kept) return membership_own_nick(conn);
    std::string nick = std::move(**kept);
    kept->reset();
    return nick;
}

int g_stage_listener = 0;

}  // namespace

void chan_part_all_for_link(Connection* conn)
{
    if (!conn_is_live(conn)) return;
    const std::string me = take_nick(conn);
    for (int number : channel_numbers(conn)) {
        WindowRecord* rec = channel_by_number(number, conn);
        if (!rec) continue;
        const bool was_in = !me.empty() && nicklist_find(rec, me) != nullptr;
        // A window already off the channel (kicked and kept open) was not
        // lost with the link and is not rejoined.
        const bool was_on = rec->chan_left == 0 || rec->chan_state != 0;
        ial_drop_channel(rec);
        nicklist_clear(rec);
        rec->topic.clear();
        rec->chan_modes.clear();
        rec->chan_left = 1;
        if (was_on) rec->chan_state = 2;
        chan_membership(rec)->joined = 0;
        win_update_title(rec, nullptr);
        if (was_in) show(rec, 1505);
        if (!conn_is_live(conn)) return;
    }
}

void chan_close_leftovers(Connection* conn)
{
    if (!conn_is_live(conn)) return;
    if (opt(OPT_KEEP_CHANNELS_OPEN) || opt(OPT_REJOIN_ON_CONNECT)) return;
    for (int number : channel_numbers(conn)) {
        WindowRecord* rec = channel_by_number(number, conn);
        if (rec && left_over(rec)) close_once(rec);
        if (!conn_is_live(conn)) return;
    }
}

std::vector<LogonChannel> chan_channels_to_rejoin(Connection* conn)
{
    std::vector<LogonChannel> out;
    if (!conn_is_live(conn)) return out;
    for (WindowRecord* w = win_list; w; w = w->next) {
        if (!channel_of(w, conn) || w->closing != 0 || (w->chan_state != 2 && w->chan_state != 3)) continue;
        LogonChannel ch;
        ch.name = w->name.substr(0, kShortText);
        ch.network_tag = w->network_tag.substr(0, kShortText);
        ch.key = w->chan_key.substr(0, kShortText);
        ch.waiting = w->chan_state;
        ch.window = w->number;
        out.push_back(std::move(ch));
    }
    return out;
}

void chan_rejoin_starting(Connection* conn, const LogonChannel& channel)
{
    WindowRecord* rec = channel_by_number(channel.window, conn);
    if (!rec || !text_equal_nocase(rec->name, channel.name)) return;
    rec->chan_state = 3;
    rec->chan_left = 1;
    rec->topic.clear();
    win_update_title(rec, nullptr);
    show(rec, 3513);
}

void chan_close_other_network_windows(Connection* conn)
{
    if (!conn_is_live(conn)) return;
    const std::string here = conn->network.empty() ? conn->server_name : conn->network;
    if (here.empty()) return;
    for (int number : channel_numbers(conn)) {
        WindowRecord* rec = channel_by_number(number, conn);
        if (!rec || !left_over(rec) || rec->network_tag.empty()) continue;
        if (!text_equal_nocase(rec->network_tag, here)) close_once(rec);
        if (!conn_is_live(conn)) return;
    }
}

void chan_close_waiting(const std::string& channel, Connection* conn)
{
    if (!conn_is_live(conn) || channel.empty()) return;
    const std::string name = channel.substr(0, kShortText);
    irc_pending_join_flag(name, conn);
    WindowRecord* rec = nullptr;
    for (WindowRecord* w = win_list; w && !rec; w = w->next)
        if (channel_of(w, conn) && text_equal_nocase(w->name, name)) rec = w;
    if (!rec || rec->chan_state < 1 || rec->chan_state > 3) return;
    if (opt(OPT_KEEP_CHANNELS_OPEN)) {
        rec->chan_state = 2;
        rec->chan_left = 1;
        return;
    }
    close_once(rec);
}

void chan_rejoin_stage(int stage, Connection* conn)
{
    if (!conn_is_live(conn)) return;
    switch (stage) {
    case 0:
        conn->state_slots.reset(g_nick_at_close);
        chan_close_leftovers(conn);
        break;
    case 2:
        remember_nick(conn);
        break;
    case 3:
        chan_part_all_for_link(conn);
        break;
    default:
        break;
    }
}

void irc_rejoin_install()
{
    irc_link_stage.add_once(g_stage_listener, kStageChannelRejoin, chan_rejoin_stage);
}

void irc_rejoin_uninstall()
{
    irc_link_stage.drop(g_stage_listener);
}

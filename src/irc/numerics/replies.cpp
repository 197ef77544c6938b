#include "irc/numerics/replies.h"

#include <cctype>
#include <cstdlib>
#include <unordered_map>
#include <vector>

#include "model/connection.h"
#include "irc/lists/channel_central_request.h"
#include "model/window_record.h"
#include "core/text_buffer.h"
#include "core/numbered_texts.h"
#include "core/text_limits.h"
#include "core/time_date.h"
#include "model/colors.h"
#include "model/line_buffer.h"
#include "model/nick_list.h"
#include "irc/dispatch/captions.h"
#include "irc/dispatch/channel_rejoin.h"
#include "irc/dispatch/dispatcher.h"
#include "irc/dispatch/membership.h"
#include "irc/dispatch/modes.h"
#include "irc/dispatch/server_commands.h"
#include "irc/lists/address_list.h"
#include "irc/numerics/isupport.h"
#include "irc/numerics/numerics.h"
#include "irc/numerics/query_replies.h"
#include "platform/platform_utils.h"
#include "script/events/event_fire.h"

namespace {

// The window's caption after its channel state changed.
void refresh_caption(WindowRecord* rec)
{
    if (rec && win_is_open(rec)) win_update_title(rec, nullptr);
}

RecordSlot<ReplyState> g_reply_slot;

// Shows a line in a channel or query window (timestamp on).
void reply_window_show(WindowRecord* rec, std::uint32_t colour, const std::string& text)
{
    if (!win_is_record(rec) || !rec->hwnd) return;
    print_options.timestamp = 1;
    echo_line(rec->hwnd, std::string_view(text), colour);
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
    print_options.wrap_mode = 0;
    int first = from > 0 ? from : msg.trailing_word;
    if (first <= 0) first = 2;
    irc_show_words(msg, first, before, after, static_cast<int>(kColorNormalText));
}

std::string text_of(int id)
{
    const char* t = text_load_string(id);
    return t ? std::string(t) : std::string();
}

// Replaces each "%s" in order.



bool join_allowed(const std::string& channel, Connection* conn)
{
    return !irc_join_allowed || irc_join_allowed(channel, conn);
}

std::string strip_controls(const std::string& text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == 3) {
            // colour code: up to two digits, optionally "," and two more
            int n = 0;
            while (n < 2 && i + 1 < text.size() && std::isdigit(static_cast<unsigned char>(text[i + 1]))) { ++i; ++n; }
            if (n && i + 2 < text.size() && text[i + 1] == ',' && std::isdigit(static_cast<unsigned char>(text[i + 2]))) {
                ++i;
                n = 0;
                while (n < 2 && i + 1 < text.size() && std::isdigit(static_cast<unsigned char>(text[i + 1]))) { ++i; ++n; }
            }
            continue;
        }
        if (c == 2 || c == 0x0F || c == 0x16 || c == 0x1F || c == 0x1D) continue;
        out += static_cast<char>(c);
    }
    return out;
}

// The set-aside members that no channel holds after a NAMES reply leave
// the address list, or every reply that drops members would leave their
// entries behind for as long as the link lives.
void names_settle(ReplyState* rs, Connection* conn)
{
    std::vector<std::string> nicks;
    nicks.swap(rs->names_set_aside);
    rs->names_saved.clear();
    for (const std::string& nick : nicks) ial_forget_nick(nullptr, nick, 0, conn);
}

// Removes every member of a channel's nick list: a fresh NAMES reply
// rebuilds it. Runs once per reply, not per line.
void names_reset(WindowRecord* rec, ReplyState* rs, Connection* conn)
{
    names_settle(rs, conn);
    for (const NickEntry* n = rec->nick_list; n; n = n->next) {
        ReplyState::SavedMember& m = rs->names_saved[text_lower_copy(n->text)];
        m.colour_state = static_cast<int>(n->extra[kNickColourState]);
        m.second = static_cast<int>(n->extra[kNickSecond]);
        const long long colour = n->extra[kNickColour];
        m.colour = colour >= 0 && colour <= 15 ? static_cast<int>(colour) : 99;
    }
    rs->names_set_aside = nicklist_clear(rec);
}

}  // namespace

int reply_names_saved_entry(WindowRecord* rec, const std::string& nick, int* colour_state, int* second,
                            int* colour)
{
    if (!rec || !conn_is_live(rec->conn)) return 0;
    ReplyState* rs = reply_state(rec->conn);
    if (!rs || rs->names_saved.empty() || !text_equal_nocase(rs->names_channel, rec->name)) return 0;
    const auto it = rs->names_saved.find(text_lower_copy(nick));
    if (it == rs->names_saved.end()) return 0;
    const ReplyState::SavedMember& m = it->second;
    if (colour_state) *colour_state = m.colour_state;
    if (second) *second = m.second;
    // A line without a colour of its own leaves the choice to the rules,
    // unless its member's colour was fixed as none.
    if (colour) *colour = m.colour <= 15 ? m.colour : (m.colour_state == 2 ? 99 : -1);
    return 1;
}

// :server 353 me = #chan :nick1 @nick2 +nick3!user@host
void reply_on_names(IrcMessage& msg)
{
    Connection* conn = msg.connection;
    ReplyState* rs = reply_state(conn);
    if (msg.last_word < 4 || msg.trailing_word < 3) { show_from(msg, 3, 0, 0); return; }
    const std::string channel = irc_word(msg, msg.trailing_word - 1);
    if (channel.size() >= 257 || !join_allowed(channel, conn)) return;
    rs->topic_shown = 0;
    WindowRecord* rec = win_find_channel(channel, conn);
    if (rec) {
        if (rs->names_channel.empty() || !text_equal_nocase(rs->names_channel, channel)) {
            rs->names_channel = channel;
            names_reset(rec, rs, conn);
        }
        if (rec->chan_state != 1 && rec->closing != 2) {
            const std::string& list = irc_word(msg, msg.trailing_word);
            std::size_t pos = 0;
            while (pos < list.size()) {
                std::size_t end = list.find(' ', pos);
                if (end == std::string::npos) end = list.size();
                std::string nick, address;
                int bits = names_entry_parse(list.substr(pos, end - pos), conn, nick, address);
                if (!nick.empty()) {
                    nicklist_update(nick, rec, kNickAddOrChange, bits ? bits : 1);
                    if (!address.empty()) ial_update(&nick, &address, 0, conn);
                }
                pos = end + 1;
            }
        }
        refresh_caption(rec);
    }
    if (!raw_event(msg) || !conn_is_live(conn)) return;
    print_options.indent = static_cast<int>(channel.size()) + 1;
    msg.out_text = channel + " " + irc_word(msg, msg.trailing_word);
    if (msg.out_text.size() > kLongText) msg.out_text.resize(kLongText);
    irc_show_words(msg, -1, 1, 0, static_cast<int>(kColorNormalText));
}

// :server 366 me #chan :End of /NAMES list.
void reply_on_names_end(IrcMessage& msg)
{
    Connection* conn = msg.connection;
    ReplyState* rs = reply_state(conn);
    if (msg.last_word < 3) { show_from(msg, 0, 0, 0); return; }
    const std::string& channel = irc_word(msg, 3);
    if (!join_allowed(channel, conn)) return;
    if (!rs->names_channel.empty() && text_equal_nocase(rs->names_channel, channel)) {
        WindowRecord* rec = win_find_channel(channel, conn);
        refresh_caption(rec);
    }
    rs->names_channel.clear();
    names_settle(rs, conn);
    int before = 0;
    if (rs->topic_shown) {
        rs->topic_shown = 0;
        before = 1;
    }
    show_from(msg, 0, before, 1);
}

namespace {

// Where a topic line goes: 0 the channel window, 1 the status window, else
// nowhere.
int topic_destination()
{
    return 0;
}

}  // namespace

// :server 331 me #chan :No topic is set
void reply_on_no_topic(IrcMessage& msg)
{
    Connection* conn = msg.connection;
    WindowRecord* rec = win_find_channel(irc_word(msg, 3), conn);
    if (rec) {
        rec->topic.clear();
        refresh_caption(rec);
    }
    reply_state(conn)->topic_shown = 1;
    show_from(msg, 3, 1, 0);
}

// :server 332 me #chan :the topic
void reply_on_topic(IrcMessage& msg)
{
    Connection* conn = msg.connection;
    WindowRecord* rec = irc_has_word(msg, 4) ? win_find_channel(irc_word(msg, 3), conn) : nullptr;
    if (!rec) {
        reply_state(conn)->topic_shown = 1;
        show_from(msg, 3, 1, 0);
        return;
    }
    std::string topic = irc_word(msg, 4).substr(0, kMediumText);
    rec->topic = topic;
    refresh_caption(rec);
    if (!raw_event(msg) || !win_is_record(rec) || !conn_is_live(conn)) return;
    std::string line = topic.empty() ? text_of(3553) : text_fill_pattern(text_of(3552), {strip_controls(topic)});
    int where = topic_destination();
    if (where == 0) reply_window_show(rec, kColorTopicText, line);
    else if (where == 1) irc_status_show(conn, static_cast<int>(kColorTopicText), line, 0, 0);
}

// :server 333 me #chan setter 1700000000
void reply_on_topic_setter(IrcMessage& msg)
{
    Connection* conn = msg.connection;
    ReplyState* rs = reply_state(conn);
    if (!raw_event(msg) || !conn_is_live(conn)) return;
    const std::string& when = irc_word(msg, 5);
    if (!irc_has_word(msg, 4) || when.empty() || !std::isdigit(static_cast<unsigned char>(when[0]))) {
        rs->topic_shown = 0;
        return;
    }
    const std::string date = time_ctime_text(static_cast<std::time_t>(std::atoll(when.c_str())));
    WindowRecord* rec = win_find_channel(irc_word(msg, 3), conn);
    if (rec) {
        std::string line = text_fill_pattern(text_of(3554), {irc_word(msg, 4), date});
        int where = topic_destination();
        if (where == 0) reply_window_show(rec, kColorTopicText, line);
        else if (where == 1) irc_status_show(conn, static_cast<int>(kColorTopicText), line, 0, 0);
        return;
    }
    std::string line = text_fill_pattern(text_of(3555), {irc_word(msg, 3), irc_word(msg, 4), date});
    irc_status_show(conn, static_cast<int>(kColorNormalText), line, rs->topic_shown == 0, 1);
    rs->topic_shown = 0;
}

// :server 324 me #chan +tnlk 10 key
void reply_on_channel_modes(IrcMessage& msg)
{
    Connection* conn = msg.connection;
    WindowRecord* rec = win_find_channel(irc_word(msg, 3), conn);
    if (rec) {
        const std::string& modes = irc_word(msg, 4);
        int param = 5;
        for (char c : modes) {
            if (c == 'l') {
                chan_mode_set_limit(rec, std::atoi(irc_word(msg, param++).c_str()));
            } else if (c == 'k') {
                std::string key = irc_word(msg, param++).substr(0, kShortText);
                rec->chan_key = key == "*" ? std::string() : key;
            }
        }
        // The same "[+letters limit key]" form as a MODE change gives.
        chan_mode_text(rec, modes);
        refresh_caption(rec);
        // The answer to our own query after a join goes to the window only.
        ChannelMembership* st = chan_membership(rec);
        if (st->pending_modes > 0) {
            --st->pending_modes;
            ++st->pending_created;
            raw_event(msg);
            return;
        }
    }
    show_from(msg, 3, 1, 1);
}

// :server 329 me #chan 1700000000
void reply_on_creation_time(IrcMessage& msg)
{
    Connection* conn = msg.connection;
    const int shown = raw_event(msg);
    if (!conn_is_live(conn)) return;
    WindowRecord* rec = win_find_channel(irc_word(msg, 3), conn);
    if (rec) {
        ChannelMembership* st = chan_membership(rec);
        if (st->pending_created > 0) {
            --st->pending_created;
            return;
        }
    }
    if (!shown) return;
    long long when = std::atoll(irc_word(msg, 4).c_str());
    if (when <= 0) return;
    std::string line = text_fill_pattern(text_of(3557), {irc_word(msg, 3), time_ctime_text(static_cast<std::time_t>(when))});
    if (rec && rec->log_file >= 0) irc_log_only_line.fire(rec, line, kColorNormalText);
    irc_status_show(conn, static_cast<int>(kColorNormalText), line, 0, 0);
}

// :server 341 me nick #chan
void reply_on_inviting(IrcMessage& msg)
{
    Connection* conn = msg.connection;
    if (!raw_event(msg) || !conn_is_live(conn)) return;
    irc_status_echo(conn, static_cast<int>(kColorNormalText), text_fill_pattern(text_of(3561), {irc_word(msg, 3), irc_word(msg, 4)}));
}

namespace {

bool contains_ci(const std::string& text, const std::string& word)
{
    if (word.empty() || text.size() < word.size()) return word.empty();
    for (std::size_t i = 0; i + word.size() <= text.size(); ++i) {
        std::size_t k = 0;
        while (k < word.size() && std::tolower(static_cast<unsigned char>(text[i + k])) ==
                                      std::tolower(static_cast<unsigned char>(word[k])))
            ++k;
        if (k == word.size()) return true;
    }
    return false;
}

int refusal_reason(int numeric)
{
    switch (numeric) {
    case 405: return 3564;
    case 471: return 3565;
    case 473: return 3566;
    case 474: return 3567;
    case 475: return 3568;
    case 477: return 3569;
    case 489: return 3575;
    case 556: return 3571;
    default: return 0;
    }
}

}  // namespace

// :server 474 me #chan :Cannot join channel (+b)
// (405, 471, 473, 474, 475, 489, 553, 556; 477 when word 3 says "join")
void reply_on_join_refused(IrcMessage& msg)
{
    Connection* conn = msg.connection;
    const std::string channel = irc_word(msg, 3);
    if (msg.numeric == 489) {
        std::string rest = irc_words_from(msg, 4);
        if (contains_ci(rest, "voiced") && contains_ci(rest, "operator")) { show_from(msg, 3, 1, 1); return; }
    }
    irc_pending_join_flag(channel, conn);
    chan_close_waiting(channel, conn);
    if (!conn_is_live(conn)) return;
    if (!raw_event(msg) || !conn_is_live(conn)) return;
    std::string reason;
    if (int id = refusal_reason(msg.numeric)) {
        std::string why = text_of(id);
        if (!why.empty()) reason = " (" + why + ")";
    }
    irc_status_echo(conn, static_cast<int>(kColorNormalText), text_fill_pattern(text_of(3562), {channel}) + reason);
    if (WindowRecord* rec = win_find_channel(channel, conn))
        reply_window_show(rec, kColorInfoText, text_fill_pattern(text_of(3563), {channel}) + reason);
}

// :server 321 me Channel :Users  Name  (811 the same)
void reply_on_list_start(IrcMessage& msg)
{
    Connection* conn = msg.connection;
    reply_chanlist_begin(conn);
    if (!raw_event(msg) || !conn_is_live(conn)) return;
    irc_status_show(conn, static_cast<int>(kColorInfoText), text_of(3537), 1, 1);
}

// :server 323 me :End of /LIST  (816, 817 the same)
void reply_on_list_end(IrcMessage& msg)
{
    Connection* conn = msg.connection;
    reply_chanlist_end(conn);
    if (!raw_event(msg) || !conn_is_live(conn)) return;
    irc_status_show(conn, static_cast<int>(kColorInfoText), text_of(3559), 1, 1);
}

// A channel list under way ends here.
// :server 263 me LIST :Server load is temporarily too heavy
void reply_on_server_busy(IrcMessage& msg)
{
    Connection* conn = msg.connection;
    if (conn->chanlist_busy) reply_chanlist_end(conn);
    if (!conn_is_live(conn)) return;
    show_from(msg, 0, 1, 1);
}

// A list that was asked for and never began is over.
// :server 334 me :LIST usage text
void reply_on_list_usage(IrcMessage& msg)
{
    Connection* conn = msg.connection;
    if (conn->chanlist_busy == 1) conn->chanlist_busy = 0;
    show_from(msg, 3, 0, 0);
}

// :server 403 me #chan :No such channel  (442 not on channel)
void reply_on_not_a_channel(IrcMessage& msg)
{
    Connection* conn = msg.connection;
    const std::string name = irc_word(msg, 3);
    irc_pending_join_flag(name, conn);
    if (msg.numeric == 403) {
        reply_target_unreachable.fire(name, conn);
        if (!conn_is_live(conn)) return;
        chan_close_waiting(name, conn);
        if (!conn_is_live(conn)) return;
    }
    WindowRecord* rec = win_find_by_name(name, conn);
    QWidget* window = rec && rec->hwnd ? rec->hwnd.get() : nullptr;
    if (conn_pending_match(window, &name, conn)) return;
    show_from(msg, 3, 1, 1);
}

// :server 472 me Z :is unknown mode char to me
void reply_on_unknown_mode(IrcMessage& msg)
{
    if (conn_pending_match(nullptr, nullptr, msg.connection)) return;
    show_from(msg, 3, 0, 1);
}

Signal<void(WindowRecord*, const std::string&, std::uint32_t)> irc_log_only_line;

Signal<void(Connection*, int)> reply_chanlist_stage;

void reply_chanlist_begin(Connection* conn)
{
    if (!conn_is_live(conn)) return;
    const int was = conn->chanlist_busy;
    conn->chanlist_busy = 2;
    conn->chanlist_stop_sent = 0;
    if (was != 2) reply_chanlist_stage.fire(conn, 0);
}

void reply_chanlist_end(Connection* conn)
{
    if (!conn_is_live(conn)) return;
    if (conn->chanlist_busy) reply_chanlist_stage.fire(conn, 1);
    if (!conn_is_live(conn)) return;
    conn->chanlist_busy = 0;
    conn->chanlist_stop_sent = 0;
}

ReplyState* reply_state(Connection* conn)
{
    if (!conn) return nullptr;
    return &conn->state_slots.get(g_reply_slot);
}

int names_entry_parse(const std::string& entry, Connection* conn, std::string& nick, std::string& address)
{
    nick.clear();
    address.clear();
    int bits = 0;
    std::size_t i = 0;
    while (i < entry.size()) {
        int bit = nicklist_prefix_bit(conn, entry[i]);
        if (!bit) break;
        bits |= bit;
        ++i;
    }
    std::size_t bang = entry.find('!', i);
    if (bang == std::string::npos) {
        nick = entry.substr(i);
    } else {
        nick = entry.substr(i, bang - i);
        address = entry.substr(bang + 1, kShortText);
    }
    if (nick.size() > kShortText) nick.clear();
    return bits;
}

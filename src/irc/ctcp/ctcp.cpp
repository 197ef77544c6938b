#include "irc/ctcp/ctcp.h"

#include <cctype>
#include <cstdlib>
#include <ctime>
#include <vector>

#include "model/connection.h"
#include "model/window_record.h"
#include "irc/numerics/query_replies.h"
#include "core/main_settings.h"
#include "core/numbered_texts.h"
#include "core/options.h"
#include "core/record_slots.h"
#include "core/text_buffer.h"
#include "core/text_limits.h"
#include "core/time_date.h"
#include "model/colors.h"
#include "model/line_buffer.h"
#include "model/nick_list.h"
#include "irc/dispatch/dispatcher.h"
#include "irc/dispatch/membership.h"
#include "irc/dispatch/messages.h"
#include "irc/link/connect.h"
#include "irc/numerics/isupport.h"
#include "irc/link/send_queue.h"
#include "script/events/event_fire.h"
#include "script/events/event_index.h"

int (*ctcp_sound_play)(const std::string&, std::string&) = nullptr;
void (*ctcp_dcc_offer)(IrcMessage&, QWidget*) = nullptr;
Signal<void(IrcMessage& msg)> ctcp_dcc_send_arriving;

namespace {

// One remembered answer.
struct CtcpMemo {
    std::string address;  // the requester's user@host
    int type = 0;
    int recent = 5;       // seconds in which nobody gets this type again
    int life = 10;        // seconds in which this address gets no answer of this type
};
// A flood of distinct addresses cannot grow the memory past this: a full
// memory answers nobody until it has decayed.
constexpr std::size_t kCtcpMemoMax = 256;

struct CtcpState {
    std::vector<CtcpMemo> memory;
};
RecordSlot<CtcpState> g_ctcp_slot;

bool starts_nocase(const std::string& s, const char* prefix)
{
    const std::size_t n = std::char_traits<char>::length(prefix);
    return s.size() >= n && text_equal_nocase(std::string_view(s).substr(0, n), prefix);
}

WindowRecord* active_of(Connection* conn)
{
    WindowRecord* rec = win_record_of(win_active.get());
    if (!rec || rec->conn != conn || !win_is_open(rec)) return nullptr;
    if (rec->type == kWinChannel || (rec->type == kWinQuery && rec->subtype == kQueryPrivate)) return rec;
    return nullptr;
}

// Where CTCP lines of this connection go when nothing else is said.
QWidget* default_window(Connection* conn)
{
    if (opt(OPT_CTCPS_IN_ACTIVE))
        if (WindowRecord* a = active_of(conn)) return a->hwnd.get();
    return link_status_window(conn);
}

void send_answer(const std::string& line, Connection* conn)
{
    irc_send_line(line.substr(0, kLongText - 2) + "\n", 1, conn);
}

// A remote text put into a line we send: no line breaks, no NUL.
std::string wire_safe(std::string text)
{
    for (char& c : text)
        if (c == '\r' || c == '\n' || c == '\0') c = ' ';
    return text;
}

// "[nick NAME]" (or "[nick:#chan NAME]" for a channel with an open window)
// and the window to show it in.
QWidget* show_request(IrcMessage& msg, const std::string& name, QWidget* fallback, std::string& out)
{
    Connection* conn = msg.connection;
    const std::string& nick = irc_word(msg, 0);
    const std::string& target = irc_word(msg, 2);
    if (isupport_is_chantype(target.c_str(), conn)) {
        WindowRecord* chan = win_find_by_name(target, conn);
        if (chan && chan->type == kWinChannel && win_is_open(chan)) {
            out = "[" + nick_display_form(chan, 2, nick, conn) + ":" + target + " " + name + "]";
            // The channel's own choice, or the global one.
            int where = chan_membership(chan)->show_ctcps_in;
            if (where == 0) where = membership_settings.ctcps_in == 0 ? 1 : membership_settings.ctcps_in == 1 ? 2 : 3;
            if (where == 1) return chan->hwnd.get();
            if (where == 2) return link_status_window(conn);
            return fallback;
        }
    }
    out = "[" + nick + " " + name + "]";
    return fallback;
}

void display(IrcMessage& msg, const std::string& name, const std::string& rest, QWidget* fallback)
{
    std::string line;
    QWidget* where = show_request(msg, name, fallback, line);
    if (!rest.empty()) line += " " + rest;
    if (!where || !conn_is_live(msg.connection)) return;
    print_options.timestamp = 1;
    echo_line(where, line.substr(0, kLongText), kColorCtcpText);
}

std::string first_word(const std::string& text)
{
    return text.substr(0, text.find(' '));
}

std::string after_first_blank(const std::string& text)
{
    std::size_t blank = text.find(' ');
    if (blank == std::string::npos) return std::string();
    blank = text.find_first_not_of(' ', blank);
    return blank == std::string::npos ? std::string() : text.substr(blank);
}

// A PING argument answered as sent: a number of under 25 characters that
// holds no modem hang-up sequence.
bool ping_answerable(const std::string& arg)
{
    return !arg.empty() && std::isdigit(static_cast<unsigned char>(arg[0])) && arg.size() < 25 &&
           arg.find("+++") == std::string::npos;
}

std::string finger_answer(Connection* conn)
{
    std::string text = conn->live_identity[0];
    std::string evaluated = irc_eval_text(text, conn);
    if (!evaluated.empty()) text = evaluated;
    if (text.size() > kShortText) text.resize(kShortText);
    std::string line = "\x01" "FINGER " + wire_safe(text) + " (" + wire_safe(conn->live_identity[1]) + ") Idle " +
                       std::to_string(conn->idle_seconds) + " seconds";
    if (!main_settings.finger_text.empty()) line += " (" + wire_safe(main_settings.finger_text) + ")";
    return line + "\x01";
}

// The DCC offers: the checks of this layer, then the DCC layer.
void dcc_offer(IrcMessage& msg, QWidget* window, const std::string& text)
{
    Connection* conn = msg.connection;
    if (starts_nocase(text, "DCC SEND ") || starts_nocase(text, "DCC TSEND "))
        ctcp_dcc_send_arriving.fire(msg);
    if (!ctcp_fire_event(msg) || !conn_is_live(conn) || msg.dcc_rejected) return;
    const bool channel = isupport_is_chantype(irc_word(msg, 2).c_str(), conn) != 0;
    if (channel) return;
    const bool chat = starts_nocase(text, "DCC CHAT ");
    const bool send = starts_nocase(text, "DCC SEND ") || starts_nocase(text, "DCC TSEND ");
    if ((chat && opt(OPT_DCC_CHAT_REQUESTS) == 2) || (send && opt(OPT_DCC_SEND_REQUESTS) == 2)) {
        print_options.timestamp = 1;
        irc_status_echo(conn, static_cast<int>(kColorCtcpText),
                        text_fill_id(chat ? 1603 : 1607, {irc_word(msg, 0)}).substr(0, kLongText));
        return;
    }
    if (ctcp_dcc_offer) ctcp_dcc_offer(msg, window);
    else display(msg, "DCC", after_first_blank(text), default_window(conn));
}

// SOUND: plays the file and shows the request where it arrived.
void sound_request(IrcMessage& msg, QWidget* window, const std::string& text)
{
    Connection* conn = msg.connection;
    if (!ctcp_fire_event(msg) || !conn_is_live(conn)) return;
    if (text.size() < 7) return;
    QWidget* where = window ? window : default_window(conn);
    // The file name (quoted when it holds blanks), then the further text.
    std::string args = text.substr(6);
    std::string name, rest;
    if (!args.empty() && args[0] == '"') {
        const std::size_t close = args.find('"', 1);
        name = args.substr(1, close == std::string::npos ? std::string::npos : close - 1);
        rest = close == std::string::npos ? std::string() : args.substr(close + 1);
    } else {
        name = first_word(args);
        rest = after_first_blank(args);
    }
    const std::size_t start = rest.find_first_not_of(' ');
    rest = start == std::string::npos ? std::string() : rest.substr(start);
    if (opt(OPT_SOUND_ACCEPT_REQUESTS) && ctcp_sound_play && !name.empty() && name.find('/') == std::string::npos) {
        std::string folder;
        const int played = ctcp_sound_play(name, folder);
        if (played == 0 && where) print_line(where, text_fill_id(1601, {folder, name}), kColorInfoText);
        if (played < 0 && event_switch_events) {
            // Scripts hear of the missing file; a halt ends the request
            // with nothing shown.
            EventSource source;
            source.text1 = name;
            int halt = 0;
            const int go = event_fire(conn, where, &msg.line, "NOSOUND", kEvNoSound, 0, &halt, &source);
            if (halt || !go || !conn_is_live(conn)) return;
        }
        if (played < 0 && opt(OPT_SOUND_WARN_MISSING) && where)
            print_line(where, text_fill_id(1602, {name}), kColorInfoText);
    }
    if (!where || !conn_is_live(conn)) return;
    WindowRecord* rec = win_record_of(where);
    std::string line;
    std::uint32_t colour = kColorCtcpText;
    if (rec && rec->type != kWinStatus && !rest.empty()) {
        line = "* " + nick_display_form(rec, 2, irc_word(msg, 0), conn) + " " + rest;
        colour = kColorActionText;
    } else {
        line = "[" + irc_word(msg, 0) + " SOUND]";
        if (!rest.empty()) line += " " + rest;
    }
    print_options.indent = 2;
    print_options.highlight_test = 1;
    print_options.timestamp = 1;
    print_options.message = 1;
    print_options.sender_nick = irc_word(msg, 0).substr(0, kShortText);
    echo_line(where, line.substr(0, kLongText), colour);
}

}  // namespace

int ctcp_flood_allow(IrcMessage& msg, int type)
{
    if (!msg.has_address || !conn_is_live(msg.connection)) return 1;
    CtcpState& st = msg.connection->state_slots.get(g_ctcp_slot);
    for (const CtcpMemo& m : st.memory) {
        if (m.type != type) continue;
        if (m.recent > 0 || text_equal_nocase(m.address, msg.address)) return 0;
    }
    if (st.memory.size() >= kCtcpMemoMax) return 0;
    st.memory.insert(st.memory.begin(), CtcpMemo{msg.address.substr(0, kMediumText), type, 5, 10});
    return 1;
}

void ctcp_flood_decay(Connection* conn)
{
    if (!conn_is_live(conn)) return;
    CtcpState* st = conn->state_slots.find(g_ctcp_slot);
    if (!st) return;
    for (auto it = st->memory.begin(); it != st->memory.end();) {
        if (it->recent > 0) --it->recent;
        if (--it->life <= 0) it = st->memory.erase(it);
        else ++it;
    }
}

int ctcp_flood_size(Connection* conn)
{
    CtcpState* st = conn_is_live(conn) ? conn->state_slots.find(g_ctcp_slot) : nullptr;
    return st ? static_cast<int>(st->memory.size()) : 0;
}

int ctcp_fire_event(IrcMessage& msg)
{
    if (!opt(OPT_REMOTE_CTCPS) || !conn_is_live(msg.connection)) return 1;
    msg.line.text = irc_word(msg, 3);
    if (!msg.has_dcc_file_text)
        return event_fire(msg.connection, nullptr, &msg.line, irc_word(msg, 3), kEvCtcp, 0, nullptr, nullptr);
    EventSource source;
    source.text1 = msg.dcc_file_text;
    source.offer_file = &msg.dcc_file_text;
    source.offer_rejected = &msg.dcc_rejected;
    return event_fire(msg.connection, nullptr, &msg.line, irc_word(msg, 3), kEvCtcp, 0, nullptr, &source);
}

// :nick!user@host PRIVMSG target :\x01NAME [text]\x01
void ctcp_on_request(IrcMessage& msg, QWidget* window)
{
    Connection* conn = msg.connection;
    if (!conn_is_live(conn) || !irc_has_word(msg, 3)) return;
    const std::string text = msg.words[3];
    const std::string nick = irc_word(msg, 0);
    QWidget* fallback = default_window(conn);
    const bool protect = opt(OPT_FLOOD_ANSWER_CTCPS) != 0;

    if (starts_nocase(text, "ACTION ")) {
        irc_show_action(msg, window);
        return;
    }
    if (starts_nocase(text, "SOUND ")) {
        sound_request(msg, window, text);
        return;
    }
    if (starts_nocase(text, "DCC CHAT ") || starts_nocase(text, "DCC SEND ") || starts_nocase(text, "DCC TSEND ") ||
        starts_nocase(text, "DCC RESUME ") || starts_nocase(text, "DCC ACCEPT ")) {
        dcc_offer(msg, window, text);
        return;
    }
    // A request that the flood gate refuses is neither answered nor shown.
    if (text_equal_nocase(text, "VERSION")) {
        // The handlers run, but a halt does not keep the version answer back.
        ctcp_fire_event(msg);
        if (!conn_is_live(conn)) return;
        if (!ctcp_flood_allow(msg, kCtcpFloodVersion)) return;
        send_answer("NOTICE " + nick + " :\x01VERSION Kest " KEST_VERSION " Telquist\x01", conn);
        display(msg, "VERSION", "", fallback);
        return;
    }
    if (starts_nocase(text, "PING ")) {
        if (protect && !ctcp_flood_allow(msg, kCtcpFloodPing)) return;
        if (!ctcp_fire_event(msg) || !conn_is_live(conn)) return;
        const std::string arg = after_first_blank(text);
        if (ping_answerable(arg)) send_answer("NOTICE " + nick + " :\x01PING " + arg + "\x01", conn);
        display(msg, "PING", "", fallback);
        return;
    }
    if (text_equal_nocase(text, "FINGER")) {
        if (protect && !ctcp_flood_allow(msg, kCtcpFloodFinger)) return;
        if (!ctcp_fire_event(msg) || !conn_is_live(conn)) return;
        send_answer("NOTICE " + nick + " :" + finger_answer(conn), conn);
        display(msg, "FINGER", "", fallback);
        return;
    }
    if (text_equal_nocase(text, "TIME")) {
        if (protect && !ctcp_flood_allow(msg, kCtcpFloodTime)) return;
        if (!ctcp_fire_event(msg) || !conn_is_live(conn)) return;
        send_answer("NOTICE " + nick + " :\x01TIME " + time_ctime_text(std::time(nullptr)) + "\x01", conn);
        display(msg, "TIME", "", fallback);
        return;
    }
    // Anything else is shown only.
    if (!ctcp_fire_event(msg) || !conn_is_live(conn)) return;
    display(msg, first_word(text), after_first_blank(text), fallback);
}

// :nick!user@host NOTICE target :\x01NAME [text]\x01
void irc_on_ctcp_reply(IrcMessage& msg)
{
    Connection* conn = msg.connection;
    if (!conn_is_live(conn) || !irc_has_word(msg, 3)) return;
    msg.line.text = msg.words[3];
    if (event_switch_events) {
        const int go = event_fire(conn, nullptr, &msg.line, "CTCPREPLY", kEvCtcpReply, 0, nullptr, nullptr);
        if (!go || !conn_is_live(conn)) return;
    }
    const std::string& text = msg.words[3];
    const std::string nick = irc_word(msg, 0);
    const std::string name = first_word(text);
    std::string rest = after_first_blank(text);
    std::string line;
    if (text_equal_nocase(name, "PING") && !rest.empty()) {
        line = text_fill_id(3521, {nick});
        char* end = nullptr;
        const long long sent = std::strtoll(rest.c_str(), &end, 10);
        if (sent >= 1 && end != rest.c_str()) {
            const long long taken = static_cast<long long>(std::time(nullptr)) - sent;
            line += ": " + time_duration_short(std::to_string(taken < 0 ? 0 : taken), 0, 0);
        } else {
            line += ": " + rest;
        }
    } else if (text.find_first_not_of(' ') == std::string::npos) {
        line = "[" + nick + " " + text + "]";
    } else {
        line = text_fill_id(3522, {nick, name});
        if (!rest.empty()) line += ": " + rest;
    }
    // The address book's whois view asked this nick: the reply is its field.
    if (whois_view_hooks.is_target && whois_view_hooks.is_target(nick, conn)) {
        if (whois_view_hooks.add) whois_view_hooks.add(10, line.substr(0, kLongText));
        if (whois_view_hooks.end) whois_view_hooks.end(conn);
        return;
    }
    QWidget* where = default_window(conn);
    if (!where) return;
    print_options.timestamp = 1;
    echo_line(where, line.substr(0, kLongText), kColorCtcpText);
}


#include "irc/dispatch/captions.h"
#include "irc/dispatch/messages.h"

#include <cctype>

#include "model/connection.h"
#include "model/window_requests.h"
#include "model/window_record.h"
#include "core/options.h"
#include "core/text_buffer.h"
#include "core/text_limits.h"
#include "core/ansi_codes.h"
#include "model/colors.h"
#include "model/line_buffer.h"
#include "model/nick_list.h"
#include "model/tip_events.h"
#include "irc/dispatch/dispatcher.h"
#include "irc/dispatch/captions.h"
#include "irc/dispatch/server_commands.h"
#include "irc/dispatch/membership.h"
#include "irc/ctcp/ctcp.h"
#include "irc/link/flood.h"
#include "irc/lists/ignore_list.h"
#include "irc/numerics/isupport.h"
#include "irc/link/send_queue.h"
#include "script/events/event_index.h"

int (*irc_note_whois_hook)(QWidget*, const std::string&, Connection*) = nullptr;
Signal<void(WindowRecord*, const std::string&)> irc_nick_spoke;

namespace {


QWidget* hwnd_of(WindowRecord* rec)
{
    return win_is_open(rec) ? rec->hwnd.get() : nullptr;
}



bool starts_nocase(const std::string& s, const char* prefix)
{
    std::size_t n = std::char_traits<char>::length(prefix);
    if (s.size() < n) return false;
    for (std::size_t i = 0; i < n; ++i)
        if (std::toupper(static_cast<unsigned char>(s[i])) != std::toupper(static_cast<unsigned char>(prefix[i])))
            return false;
    return true;
}

bool ignored(IrcMessage& msg, const char* type)
{
    return ignore_check_message(msg, type) != 0;
}

WindowRecord* find_window(const std::string& name, int type, int subtype, Connection* conn)
{
    WindowRecord* rec = win_find_by_name(name, conn);
    if (!rec || rec->type != type) return nullptr;
    if (type == kWinQuery && rec->subtype != subtype) return nullptr;
    return rec;
}

WindowRecord* status_of(Connection* conn)
{
    return conn && conn_is_live(conn) ? win_find_by_type(kWinStatus, conn) : nullptr;
}

WindowRecord* active_of(Connection* conn)
{
    WindowRecord* rec = win_record_of(win_active.get());
    return rec && rec->conn == conn ? rec : nullptr;
}

void title(WindowRecord* rec)
{
    if (win_is_open(rec)) win_update_title(rec, nullptr);
}

void note_address(IrcMessage& msg)
{
    if (msg.has_address) membership_note_sender(msg.connection, irc_word(msg, 0), msg.address);
}

// Terminal colour sequences become control codes when the ANSI option is
// on; the codes the strip option names are removed from text others sent.
void prepare_text(IrcMessage& msg)
{
    if (!irc_has_word(msg, 3) || msg.words[3].empty()) return;
    if (opt(OPT_ANSI_COLOURS))
        ansi_to_codes(msg.words[3]);
    if (ignored(msg, "codes"))
        msg.stripped_count = text_strip_codes(msg.words[3], 15);
    else if (!text_equal_nocase(irc_word(msg, 0), conn_own_nick(msg.connection)))
        msg.stripped_count = text_strip_codes(msg.words[3], -1);
    msg.line.stripped_count = msg.stripped_count;
    msg.line.text = msg.words[3];
}

// Fires an event; 0 when halted. Each phase is fired only while the
// connection lives.
int fire(IrcMessage& msg, const char* word, int id, int phase)
{
    if (!conn_is_live(msg.connection)) return 0;
    return irc_fire_event(msg, word, id, phase);
}

void set_message_options(const std::string& nick)
{
    print_options.wrap_mode = 0;
    print_options.indent = 2;
    print_options.beep = 1;
    print_options.highlight_test = 1;
    print_options.timestamp = 1;
    print_options.flash = 1;
    print_options.message = 1;
    print_options.sender_nick = nick.substr(0, kShortText);
}

std::string body(const IrcMessage& msg)
{
    return irc_words_from(msg, 3);
}

void print_message(WindowRecord* rec, const std::string& prefix, const IrcMessage& msg, std::uint32_t colour)
{
    if (!win_is_open(rec)) return;
    // A message came: the window's idle time starts again.
    win_note_message(rec);
    // The nick spoke: its idle time for the nick colours starts again.
    if (rec->type == kWinChannel)
        irc_nick_spoke.fire(rec, irc_word(msg, 0));
    set_message_options(irc_word(msg, 0));
    std::string line = (prefix + body(msg)).substr(0, kLongText);
    print_line(rec->hwnd.get(), line, colour);
}

// Opens or finds the query of the sender, with OPEN around it. Null when a
// script halted OPEN or the window cannot be made.
WindowRecord* open_query(IrcMessage& msg)
{
    Connection* conn = msg.connection;
    // A query is named after the sender as a nick holds it: a sender
    // without a nick names no window, and a longer one is cut, so that every
    // line from it finds the same window again.
    const std::string nick = irc_word(msg, 0).substr(0, kShortText);
    if (nick.empty()) return nullptr;
    if (!fire(msg, "OPEN", kEvOpen, 1)) return nullptr;
    if (!conn_is_live(conn)) return nullptr;
    WindowRecord* rec = find_window(nick, kWinQuery, kQueryPrivate, conn);
    if (!rec) {
        WindowOpenRequest req;
        req.name = nick;
        req.type = kWinQuery;
        req.subtype = kQueryPrivate;
        req.flags = 1;
        req.conn = conn;
        rec = win_record_of(win_request_open(req));
    }
    if (!win_is_open(rec) || !conn_is_live(conn)) return nullptr;
    title(rec);
    if (opt(OPT_WHOIS_ON_QUERY) && !nick.empty()) {
        int allowed = irc_note_whois_hook ? irc_note_whois_hook(rec->hwnd.get(), nick, conn) : 1;
        if (allowed) irc_send_line("WHOIS " + nick.substr(0, kShortText) + "\n", 0, conn);
    }
    fire(msg, "OPEN", kEvOpen, 0);
    return win_is_open(rec) ? rec : nullptr;
}

void ctcp_request(IrcMessage& msg, QWidget* window)
{
    ctcp_on_request(msg, window);
}

void ctcp_reply(IrcMessage& msg)
{
    irc_on_ctcp_reply(msg);
}

// Where private text without a query goes: 1 the Messages window, 2 the
// active channel, 0 a new query.
int private_route(Connection* conn)
{
    if (opt(OPT_SINGLE_MESSAGE_WINDOW)) return 1;
    if (opt(OPT_PRIVATE_IN_ACTIVE)) {
        WindowRecord* a = active_of(conn);
        if (a && a->type == kWinChannel) return 2;
    }
    return 0;
}

WindowRecord* message_window(Connection* conn)
{
    return find_window("Message Window", kWinQuery, kQueryMessages, conn);
}

}  // namespace

int irc_ctcp_unframe(std::string& text)
{
    if (text.size() < 2 || text[0] != '\x01') return 0;
    std::size_t second = text.find('\x01', 1);
    if (second != std::string::npos && second != text.size() - 1) return 0;
    std::string inner = text.substr(1, second == std::string::npos ? std::string::npos : second - 1);
    if (inner.empty()) return 0;
    text = inner;
    return 1;
}

int irc_message_target_prefix(IrcMessage& msg)
{
    if (!irc_has_word(msg, 2)) return 0;
    std::string target = msg.words[2];
    Connection* conn = msg.connection;
    while (!target.empty() && !isupport_is_chantype(target.c_str(), conn) &&
           isupport_is_nick_prefix(target.c_str(), conn)) {
        if (msg.target_text.size() < kShortText) msg.target_text += target[0];
        target.erase(0, 1);
    }
    msg.words[2] = target;
    msg.line.target = target;
    msg.line.target_prefix = msg.target_text;
    return target.empty() ? 0 : 1;
}

int irc_nick_on_common_channel(const std::string& nick, Connection* conn)
{
    if (nick.empty() || nick.size() > kShortText) return 0;
    for (WindowRecord* r = win_list; r; r = r->next)
        if (r->type == kWinChannel && r->conn == conn && r->hwnd.get() && !r->chan_left &&
            nicklist_find(r, nick))
            return 1;
    return 0;
}

int irc_open_message_window(IrcMessage& msg)
{
    Connection* conn = msg.connection;
    WindowRecord* rec = win_record_of(win_request_message_window(conn, 0));
    if (!win_is_open(rec)) return 0;
    title(rec);
    return 1;
}

int irc_show_action(IrcMessage& msg, QWidget* window)
{
    Connection* conn = msg.connection;
    const std::string nick = irc_word(msg, 0);
    // The text after "ACTION ".
    std::string text = irc_word(msg, 3);
    text = text.size() > 7 ? text.substr(7) : std::string();
    // The events of an action see its text, not the CTCP word before it:
    // $1- and the match text are what the sender did.
    msg.line.text = text;
    const std::string& target = irc_word(msg, 2);
    WindowRecord* rec = window ? win_record_of(window) : nullptr;

    if (!target.empty() && target[0] == '$') {
        int go = fire(msg, "ACTION", kEvAction, 1);
        if (go && conn_is_live(conn)) {
            print_options.indent = 2;
            print_options.beep = 1;
            irc_status_echo(conn, static_cast<int>(kColorNoticeText),
                            ("* (" + nick + "\x0f) " + text).substr(0, kLongText));
        }
        fire(msg, "ACTION", kEvAction, 0);
        return 1;
    }
    const bool channel = isupport_is_chantype(target.c_str(), conn) != 0;
    if (!channel && !rec) {
        switch (private_route(conn)) {
        case 1:
            if (!irc_open_message_window(msg)) return 0;
            rec = message_window(conn);
            break;
        case 2:
            rec = active_of(conn);
            break;
        default:
            rec = open_query(msg);
            break;
        }
        if (!win_is_open(rec)) return 0;
    }
    int go = fire(msg, "ACTION", kEvAction, 1);
    if (go && win_is_open(rec)) {
        std::string form = nick_display_form(rec, 2, nick, conn);
        std::string prefix = "* " + form + " ";
        if (channel && !msg.target_text.empty()) prefix = "* " + form + ":" + msg.target_text + target + " ";
        set_message_options(nick);
        std::string line = (prefix + text).substr(0, kLongText);
        print_line(rec->hwnd.get(), line, kColorActionText);
        const int option = channel ? TIPOPT_CHAN_MESSAGE : TIPOPT_PRIV_MESSAGE;
        if (event_announce_wanted(option))
            tip_event.fire(option, {nick, channel ? target : std::string(), text}, channel ? 2 : 4, conn, rec);
    }
    fire(msg, "ACTION", kEvAction, 0);
    return 1;
}

// :nick!user@host PRIVMSG target :text
void irc_on_privmsg_message(IrcMessage& msg)
{
    Connection* conn = msg.connection;
    if (flood_check_reply(msg.words[3], conn)) return;
    const bool ctcp = irc_ctcp_unframe(msg.words[3]) != 0;
    if (!irc_message_target_prefix(msg)) return;
    prepare_text(msg);
    const std::string nick = irc_word(msg, 0);
    const std::string target = msg.words[2];
    const bool channel = isupport_is_chantype(target.c_str(), conn) != 0;

    WindowRecord* rec = nullptr;
    if (channel) {
        rec = find_window(target, kWinChannel, 0, conn);
        if (rec) {
            if (nicklist_find(rec, nick)) note_address(msg);
            if (ignored(msg, "channel")) return;
        }
    } else {
        if (irc_nick_on_common_channel(nick, conn)) note_address(msg);
        rec = find_window(nick, kWinQuery, kQueryPrivate, conn);
    }
    if (rec) title(rec);

    if (ctcp) {
        const bool action = starts_nocase(msg.words[3], "ACTION ");
        if (!action && ignored(msg, starts_nocase(msg.words[3], "DCC ") ? "dcc" : "ctcp")) return;
        if (action && !rec) {
            if (!channel && ignored(msg, "private")) return;
            if (channel) return;
        }
        ctcp_request(msg, hwnd_of(rec));
        return;
    }

    if (channel && rec) {
        int go = fire(msg, "TEXT", kEvText, 1);
        if (go && win_is_open(rec)) {
            std::string prefix;
            std::uint32_t colour = kColorNormalText;
            if (!msg.target_text.empty()) {
                prefix = "*" + nick_display_form(rec, 1, nick, conn) + ":" + msg.target_text + target + "* ";
                colour = kColorNoticeText;
            } else {
                prefix = "<" + nick_display_form(rec, 1, nick, conn) + "> ";
            }
            print_message(rec, prefix, msg, colour);
            if (event_announce_wanted(TIPOPT_CHAN_MESSAGE))
                tip_event.fire(TIPOPT_CHAN_MESSAGE, {nick, target, body(msg)}, 1, conn, rec);
        }
        fire(msg, "TEXT", kEvText, 0);
        return;
    }

    const bool server_mask = (!target.empty() && target[0] == '$') || (channel && target.find('.') != std::string::npos);
    if (server_mask) {
        int go = fire(msg, "TEXT", kEvText, 1);
        if (go && conn_is_live(conn)) {
            print_options.indent = 2;
            print_options.beep = 1;
            irc_status_echo(conn, static_cast<int>(kColorNoticeText),
                            ("(" + nick + "\x0f) " + body(msg)).substr(0, kLongText));
        }
        fire(msg, "TEXT", kEvText, 0);
        return;
    }
    if (channel) return;  // a channel whose window is not open

    // Private text.
    if (!rec && ignored(msg, "private")) return;
    std::string prefix = "<" + nick + "> ";
    std::uint32_t colour = kColorNormalText;
    int go = 1;
    if (rec) {
        go = fire(msg, "TEXT", kEvText, 1);
        if (go && win_is_open(rec)) prefix = "<" + nick_display_form(rec, 1, nick, conn) + "> ";
    } else {
        switch (private_route(conn)) {
        case 1:
            go = fire(msg, "TEXT", kEvText, 1);
            if (!conn_is_live(conn)) return;
            if (!irc_open_message_window(msg)) return;
            rec = message_window(conn);
            prefix = "*" + nick + "* ";
            break;
        case 2:
            go = fire(msg, "TEXT", kEvText, 1);
            rec = active_of(conn);
            prefix = "*" + nick + "* ";
            colour = kColorNoticeText;
            break;
        default:
            rec = open_query(msg);
            if (!rec) return;
            go = fire(msg, "TEXT", kEvText, 1);
            if (win_is_open(rec)) prefix = "<" + nick_display_form(rec, 1, nick, conn) + "> ";
            break;
        }
    }
    if (go && win_is_open(rec)) {
        print_message(rec, prefix, msg, colour);
        if (event_announce_wanted(TIPOPT_PRIV_MESSAGE))
            tip_event.fire(TIPOPT_PRIV_MESSAGE, {nick, std::string(), body(msg)}, 3, conn, rec);
    }
    fire(msg, "TEXT", kEvText, 0);
}

// :nick!user@host NOTICE target :text
// NOTICE target :text (from the server, without a source)
// :server NOTICE :text (one parameter: the text, sent to us)
void irc_on_notice_message(IrcMessage& msg)
{
    Connection* conn = msg.connection;
    const std::string nick = irc_word(msg, 0);
    if (irc_nick_on_common_channel(nick, conn)) note_address(msg);
    if (!irc_has_word(msg, 3)) {
        // One parameter: it is the text, sent to us.
        msg.nick_text2 = conn_own_nick(conn);
        irc_message_set_word(msg, 3, msg.words[2]);
        irc_message_set_word(msg, 2, msg.nick_text2);
        msg.line.text = msg.words[3];
    }
    if (!irc_message_target_prefix(msg)) return;
    prepare_text(msg);
    const std::string target = msg.words[2];
    const bool channel = isupport_is_chantype(target.c_str(), conn) != 0;

    if (channel) {
        WindowRecord* rec = find_window(target, kWinChannel, 0, conn);
        if (!rec && target.find('.') != std::string::npos) rec = status_of(conn);
        if (!rec) return;
        if (ignored(msg, "notice")) return;
        if (irc_ctcp_unframe(msg.words[3])) {
            msg.line.text = msg.words[3];
            ctcp_reply(msg);
            return;
        }
        if (!fire(msg, "NOTICE", kEvNotice, 1)) {
            fire(msg, "NOTICE", kEvNotice, 0);
            return;
        }
        std::string line = ("-" + nick + ":" + msg.target_text + target + "- " + body(msg)).substr(0, kLongText);
        bool shown_active = false;
        WindowRecord* active = opt(OPT_NOTICES_IN_ACTIVE) ? active_of(conn) : nullptr;
        if (active && (active->type == kWinStatus || active->type == kWinChannel ||
                       (active->type == kWinQuery && active->subtype == kQueryPrivate))) {
            set_message_options(nick);
            print_options.beep = 0;
            print_options.highlight_test = 0;
            echo_line(active->hwnd.get(), line, kColorNoticeText);
            shown_active = true;
        }
        if (win_is_open(rec) && rec != active) {
            print_options.indent = 2;
            print_options.beep = 1;
            print_options.message = 1;
            print_options.sender_nick = nick.substr(0, kShortText);
            print_options.timestamp = 1;
            if (shown_active) print_options.raise_activity = 0;
            echo_line(rec->hwnd.get(), line, kColorNoticeText);
        }
        if (event_announce_wanted(TIPOPT_CHAN_NOTICE))
            tip_event.fire(TIPOPT_CHAN_NOTICE, {nick, target, body(msg)}, 5, conn, win_is_open(rec) ? rec : nullptr);
        fire(msg, "NOTICE", kEvNotice, 0);
        return;
    }

    if (ignored(msg, "notice")) return;
    if (irc_ctcp_unframe(msg.words[3])) {
        msg.line.text = msg.words[3];
        ctcp_reply(msg);
        return;
    }
    const std::string line = ("-" + nick + "- " + body(msg)).substr(0, kLongText);
    if (msg.has_address && (starts_nocase(msg.words[3], "DCC Send ") || starts_nocase(msg.words[3], "DCC Chat "))) {
        if (fire(msg, "NOTICE", kEvNotice, 1))
            irc_status_echo(conn, static_cast<int>(kColorNoticeText), line);
        fire(msg, "NOTICE", kEvNotice, 0);
        return;
    }
    const char* word = msg.has_address ? "NOTICE" : "SNOTICE";
    const int id = msg.has_address ? kEvNotice : kEvSnotice;
    if (!fire(msg, word, id, 1)) {
        fire(msg, word, id, 0);
        return;
    }
    // Where: the active window, else (for a user) the channels that hold the
    // sender, else the status window.
    std::vector<WindowRecord*> targets;
    WindowRecord* active = opt(OPT_NOTICES_IN_ACTIVE) ? active_of(conn) : nullptr;
    if (active && (active->type == kWinStatus || active->type == kWinChannel ||
                   (active->type == kWinQuery && active->subtype == kQueryPrivate))) {
        targets.push_back(active);
    } else if (msg.has_address) {
        WindowRecord* a = active_of(conn);
        if (a && a->type == kWinChannel && nicklist_find(a, nick)) {
            targets.push_back(a);
        } else {
            for (WindowRecord* r = win_list; r; r = r->next)
                if (r->type == kWinChannel && r->conn == conn && r->hwnd.get() && nicklist_find(r, nick))
                    targets.push_back(r);
        }
    }
    if (targets.empty()) {
        print_options.beep = 1;
        irc_status_echo(conn, static_cast<int>(kColorNoticeText), line);
    } else {
        for (WindowRecord* r : targets) {
            if (!win_is_open(r)) continue;
            set_message_options(nick);
            print_options.highlight_test = 0;
            std::string copy = line;
            if (r->type == kWinStatus) echo_line(r->hwnd.get(), copy, kColorNoticeText);
            else print_line(r->hwnd.get(), copy, kColorNoticeText);
        }
    }
    const int option = msg.has_address ? TIPOPT_PRIV_NOTICE : TIPOPT_NOTICE;
    if (event_announce_wanted(option))
        tip_event.fire(option, {nick, std::string(), body(msg)}, msg.has_address ? 6 : 7, conn, nullptr);
    fire(msg, word, id, 0);
}

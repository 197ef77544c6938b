#include "commands/messaging_commands.h"
#include "dcc/dcc_chat.h"

#include <algorithm>
#include <cctype>

#include "model/connection.h"
#include "app/window_open.h"
#include "bars/switchbar.h"
#include "model/window_record.h"
#include "commands/channel_commands.h"
#include "commands/command_conn.h"
#include "core/text_buffer.h"
#include "core/options.h"
#include "core/text_limits.h"
#include "core/numbered_texts.h"
#include "model/colors.h"
#include "model/line_buffer.h"
#include "model/nick_list.h"
#include "irc/dispatch/captions.h"
#include "irc/dispatch/server_commands.h"
#include "irc/numerics/isupport.h"
#include "irc/numerics/query_replies.h"
#include "irc/link/send_queue.h"
#include "script/exec/script_types.h"

namespace {

void default_show(WindowRecord* rec, Connection*, std::uint32_t colour, const std::string& text)
{
    if (!win_is_record(rec) || !rec->hwnd) return;
    print_options.timestamp = 1;
    print_line(rec->hwnd, std::string_view(text), colour);
}

const std::string& word_of(const CommandCall& call)
{
    static const std::string fallback = "msg";
    return call.tokens.empty() ? fallback : call.tokens[0];
}

int fail(CommandCall& call, int type)
{
    return script_error(call.window, word_of(call), {}, type);
}

// The own-message form: "<nick> text" or "> text".
std::string own_message(WindowRecord* rec, Connection* conn, const std::string& text)
{
    if (opt(OPT_PREFIX_OWN_MESSAGES))
        return "<" + nick_display_form(rec, 1, conn_own_nick(conn), conn) + "> " + text;
    return "> " + text;
}

std::uint32_t action_colour()
{
    return color_resolve(kColorOwnText) == color_resolve(kColorNormalText) ? kColorActionText : kColorOwnText;
}

std::uint32_t amsg_colour()
{
    return color_resolve(kColorOwnText) == color_resolve(kColorNormalText) ? kColorNormalText : kColorOwnText;
}

void away_on_speaking(Connection* conn, int kind)
{
    if (!conn_is_live(conn) || !opt(OPT_AWAY_CANCEL_ON_MESSAGE) || !query_take_away(conn)) return;
    irc_send_line("AWAY\n", kind, conn);
}


void send_prefixed(const std::string& head, const std::vector<std::string>& targets, const std::string& text,
                   const std::string& tail, int limit, int one_each, int kind, Connection* conn)
{
    for (const std::string& line : chat_batch_lines(head, targets, text, tail, limit, one_each)) {
        if (!conn_is_live(conn)) return;
        irc_send_line(line, kind, conn);
    }
}

}  // namespace

WindowRecord* chat_open_query(const std::string& nick, Connection* conn, int minimised)
{
    WindowOpenRequest request;
    request.name = nick;
    request.type = kWinQuery;
    request.subtype = kQueryPrivate;
    request.conn = conn;
    const int saved = win_next_query_minimised;
    if (minimised > 0) win_next_query_minimised = 1;
    win_next_query_shown = minimised < 0 ? 1 : 0;
    QWidget* hwnd = win_open(request);
    win_next_query_minimised = saved;
    win_next_query_shown = 0;
    WindowRecord* rec = hwnd ? win_record_of(hwnd) : nullptr;
    if (rec) win_update_title(rec, nullptr);
    return rec;
}

void (*chat_show)(WindowRecord*, Connection*, std::uint32_t, const std::string&) = default_show;

std::vector<std::string> chat_batch_lines(const std::string& head, const std::vector<std::string>& targets,
                                          const std::string& text, const std::string& tail, int limit,
                                          int one_each)
{
    std::vector<std::string> lines;
    std::string line = head;
    int count = 0;
    for (const std::string& target : targets) {
        if (target.empty()) continue;
        bool fits = line.size() + target.size() + text.size() < 401 && (limit <= 0 || count < limit) && !one_each;
        if (!fits && count > 0) {
            lines.push_back(line + tail);
            line = head;
            count = 0;
        }
        if (count > 0) line += ',';
        line += target;
        ++count;
    }
    if (count > 0) lines.push_back(line + tail);
    return lines;
}

namespace {

constexpr std::size_t kLineBytes = 510;       // a protocol line less its CR LF
constexpr std::size_t kAddressReserve = 75;  // "~" a user name of ten, "@" a host of 63
constexpr std::size_t kMinRoom = 64;
constexpr std::size_t kActionFrame = 9;      // "\x01ACTION " and "\x01"

bool colour_code_byte(char c)
{
    return (c >= '0' && c <= '9') || c == ',';
}

}  // namespace

std::size_t chat_text_room(Connection* conn, std::size_t head_length)
{
    std::size_t nick = kShortText;
    std::size_t address = kAddressReserve;
    if (conn_is_live(conn)) {
        nick = conn_own_nick(conn).size();
        if (!conn->own_address.empty()) address = conn->own_address.size();
    }
    // ":" nick "!" user@host " " head text
    const std::size_t used = 1 + nick + 1 + address + 1 + head_length;
    return used + kMinRoom < kLineBytes ? kLineBytes - used : kMinRoom;
}

std::vector<std::string> chat_split_text(const std::string& text, std::size_t room)
{
    std::vector<std::string> pieces;
    if (room == 0) room = 1;
    std::size_t pos = 0;
    while (pos < text.size()) {
        if (text.size() - pos <= room) {
            pieces.push_back(text.substr(pos));
            break;
        }
        // The last blank of the piece, looked for in its second half only.
        std::size_t blank = pos + room;
        while (blank > pos + room / 2 && text[blank] != ' ') --blank;
        if (text[blank] == ' ' && blank > pos) {
            pieces.push_back(text.substr(pos, blank - pos));
            pos = blank + 1;
            continue;
        }
        std::size_t cut = room;
        while (cut > 0 && (static_cast<unsigned char>(text[pos + cut]) & 0xC0) == 0x80) --cut;
        // A colour code that the cut would split goes whole to the next piece.
        if (cut > 0 && colour_code_byte(text[pos + cut])) {
            for (std::size_t k = 1; k <= 5 && k <= cut; ++k) {
                const char c = text[pos + cut - k];
                if (c == '\x03') {
                    if (cut - k > 0) cut -= k;
                    break;
                }
                if (!colour_code_byte(c)) break;
            }
        }
        if (cut == 0) cut = room;
        pieces.push_back(text.substr(pos, cut));
        pos += cut;
    }
    return pieces;
}

int chat_send_text(QWidget* window, const std::string& text, int send_kind, Connection* conn)
{
    if (text.empty()) return 0;
    WindowRecord* rec = win_record_of(window);
    if (!win_is_record(rec) || !(rec->type == kWinChannel || rec->type == kWinQuery || rec->type == kWinCustom))
        return script_error(window, text_load_string(846), {}, 6);
    if (rec->type == kWinCustom) return 1;
    if (rec->type == kWinQuery && (rec->subtype == kQueryDccChat || rec->subtype == kQueryFserve))
        return dccchat_say(dccchat_of(rec), text, true);
    if (!conn_is_live(conn)) conn = rec->conn;
    if (!conn_is_connected(conn)) {
        conn_check_connected(window, conn);
        return 0;
    }
    if (rec->type == kWinQuery && rec->subtype == kQueryMessages)
        return script_error(window, text_load_string(847), {}, 6);
    const std::string head = "PRIVMSG " + rec->name + " :";
    for (const std::string& piece : chat_split_text(text, chat_text_room(conn, head.size()))) {
        irc_send_line(head + piece + "\n", send_kind, conn);
        if (!conn_is_live(conn)) return 1;
        if (!win_is_record(rec)) continue;
        print_options.message = 2;
        print_options.sender_nick = conn_own_nick(conn);
        chat_show(rec, conn, kColorOwnText, own_message(rec, conn, piece));
    }
    away_on_speaking(conn, send_kind);
    return 1;
}

int cmd_say(CommandCall& call)
{
    std::string text = chat_join_words(call, 1);
    if (text.empty()) return fail(call, 0);
    return chat_send_text(call.window, text, call.origin, conn_of(call));
}

int cmd_query(CommandCall& call)
{
    const bool is_query = word_of(call) == "query";
    std::size_t i = 1;
    bool minimised = false;
    if (i < call.tokens.size() && text_equal_nocase(call.tokens[i], "-s")) ++i;
    else if (is_query && i < call.tokens.size() && text_equal_nocase(call.tokens[i], "-n")) {
        ++i;
        minimised = true;
    }
    if (i >= call.tokens.size() || call.tokens[i].empty()) return fail(call, 0);
    Connection* conn = conn_of(call);
    std::string target = call.tokens[i].substr(0, kShortText);
    std::string text = chat_join_words(call, i + 1);
    if (target[0] == '@' && !chat_is_channel(target.substr(1), conn)) return fail(call, 7);
    if (target[0] == '=') {
        // A DCC chat by its nick: /msg sends to it, /query shows it.
        DccChat* chat = dccchat_find_by_nick(target.substr(1), -1);
        if (!chat || !chat->window) return fail(call, 7);
        if (is_query) {
            chat_activate_window(chat->window, 0);
            if (text.empty()) return 1;
        }
        if (text.empty()) return fail(call, 0);
        return dccchat_say(chat, text, call.show != 0) ? 1 : fail(call, 7);
    }
    WindowRecord* win = win_find_by_name(target, conn);
    const bool channel = chat_is_channel(target, conn) || target[0] == '@';
    if (!is_query || channel) {
        if (!conn_is_connected(conn)) return fail(call, 12);
        if (text.empty()) return is_query ? 1 : fail(call, 0);
        const std::string head = "PRIVMSG " + target + " :";
        for (const std::string& piece : chat_split_text(text, chat_text_room(conn, head.size()))) {
            if (call.show) {
                print_options.wrap_mode = 0;
                print_options.indent = 2;
                if (win && win_is_record(win)) chat_show(win, conn, kColorOwnText, own_message(win, conn, piece));
                else chat_show(win_record_of(call.window), conn, kColorOwnText,
                               "-> *" + nick_display_form(nullptr, 1, target, conn) + "* " + piece);
            }
            irc_send_line(head + piece + "\n", call.origin, conn);
            if (!conn_is_live(conn)) return 1;
        }
        return 1;
    }
    // /query nick [text]: shows the nick's window, opening a query first.
    if (win) {
        // A script's /query does not take the focus from the user.
        if (minimised || call.origin == 0)
            chat_activate_window(win, minimised ? 1 : 0);
    } else {
        // A query the user asks for opens in front of the others; one a
        // script opens follows the option for new queries.
        const bool asked = !minimised && call.origin == 0;
        win = chat_open_query(target, conn, minimised ? 1 : asked ? -1 : 0);
        if (!win) return 0;
        if (asked) chat_activate_window(win, 0);
    }
    if (text.empty()) return 1;
    if (!conn_is_connected(conn)) return fail(call, 12);
    const std::string head = "PRIVMSG " + target + " :";
    for (const std::string& piece : chat_split_text(text, chat_text_room(conn, head.size()))) {
        if (call.show && win_is_record(win)) chat_show(win, conn, kColorOwnText, own_message(win, conn, piece));
        irc_send_line(head + piece + "\n", call.origin, conn);
        if (!conn_is_live(conn)) return 1;
    }
    return 1;
}

// A name a query window may take: no blank or control character and none of
// ! £ $ % & * ( ) + = # : ; @ < > , . ? / or the double quote.
static bool query_name_ok(const std::string& name)
{
    static const std::string refused = "!\xA3$%&*()+=#:;@<>,.?/\"";
    for (char c : name)
        if (static_cast<unsigned char>(c) <= 32 || refused.find(c) != std::string::npos)
            return false;
    return true;
}

int cmd_queryrn(CommandCall& call)
{
    std::size_t i = 1;
    const bool to_front = i < call.tokens.size() && text_equal_nocase(call.tokens[i], "-s");
    if (to_front) ++i;
    if (i + 1 >= call.tokens.size() || call.tokens[i + 1].empty()) return fail(call, 0);
    Connection* conn = conn_of(call);
    WindowRecord* win = win_find_by_name(call.tokens[i], conn);
    if (!win || win->type != kWinQuery || win->subtype != kQueryPrivate) return fail(call, 7);
    const std::string new_name = call.tokens[i + 1].substr(0, kShortText);
    if (!text_equal_nocase(new_name, win->name)) {
        if (win_find_by_name(new_name, conn) || chat_is_channel(new_name, conn) || !query_name_ok(new_name))
            return fail(call, 7);
    }
    win->name = new_name;
    winlist_sort_windows();
    if (win_is_open(win)) win_update_title(win, nullptr);
    if (to_front) chat_activate_window(win, 0);
    return 1;
}

int cmd_me(CommandCall& call)
{
    WindowRecord* rec = win_record_of(call.window);
    if (!win_is_record(rec) || !conn_is_live(rec->conn)) return 0;
    Connection* conn = rec->conn;
    if (rec->type == kWinQuery && rec->subtype == kQueryMessages) {
        if (!conn_is_connected(conn)) return fail(call, 12);
        return script_error(call.window, text_load_string(839), {}, 6);
    }
    if (rec->type != kWinChannel && rec->type != kWinQuery) {
        if (!conn_is_connected(conn)) return fail(call, 12);
        return script_error(call.window, text_load_string(838), {}, 6);
    }
    if (call.tokens.size() < 2) return fail(call, 0);
    std::string text = chat_join_words(call, 1);
    if (text.empty()) return 1;
    if (rec->subtype == kQueryDccChat || rec->subtype == kQueryFserve)
        return dccchat_action(dccchat_of(rec), text, call.show != 0) ? 1 : fail(call, 7);
    if (!conn_is_connected(conn)) return fail(call, 12);
    const std::string head = "PRIVMSG " + rec->name + " :";
    const std::vector<std::string> pieces = chat_split_text(text, chat_text_room(conn, head.size() + kActionFrame));
    for (const std::string& piece : pieces) {
        irc_send_line(head + "\x01" "ACTION " + piece + "\x01\n", call.origin, conn);
        if (!conn_is_live(conn)) return 1;
    }
    away_on_speaking(conn, call.origin);
    for (const std::string& piece : pieces) {
        if (!call.show || !win_is_record(rec) || !conn_is_live(conn)) break;
        print_options.wrap_mode = 0;
        print_options.indent = 2;
        print_options.sender_nick = conn_own_nick(conn);
        chat_show(rec, conn, action_colour(), "* " + nick_display_form(rec, 2, conn_own_nick(conn), conn) + " " + piece);
    }
    return 1;
}

int cmd_describe(CommandCall& call)
{
    if (call.tokens.size() < 3 || call.tokens[1].empty()) return fail(call, 0);
    Connection* conn = conn_of(call);
    const std::string target = call.tokens[1].substr(0, kShortText);
    if (target[0] == '=') {
        DccChat* chat = dccchat_find_by_nick(target.substr(1), -1);
        return chat && dccchat_action(chat, chat_join_words(call, 2), call.show != 0) ? 1 : fail(call, 3);
    }
    if (!conn_is_connected(conn)) return fail(call, 12);
    std::string text = chat_join_words(call, 2);
    const std::string head = "PRIVMSG " + target + " :";
    const std::vector<std::string> pieces = chat_split_text(text, chat_text_room(conn, head.size() + kActionFrame));
    for (const std::string& piece : pieces) {
        irc_send_line(head + "\x01" "ACTION " + piece + "\x01\n", call.origin, conn);
        if (!conn_is_live(conn)) return 1;
    }
    away_on_speaking(conn, call.origin);
    if (!call.show || !conn_is_live(conn)) return 1;
    WindowRecord* win = win_find_by_name(target, conn);
    for (const std::string& piece : pieces) {
        print_options.wrap_mode = 0;
        print_options.indent = 2;
        if (win && (win->type == kWinChannel || win->type == kWinQuery))
            chat_show(win, conn, action_colour(), "* " + nick_display_form(win, 2, conn_own_nick(conn), conn) + " " + piece);
        else
            chat_show(win_record_of(call.window), conn, action_colour(),
                      "-> *" + nick_display_form(nullptr, 1, target, conn) + "* " + piece);
    }
    return 1;
}

int cmd_notice(CommandCall& call)
{
    Connection* conn = conn_of(call);
    if (!conn_is_connected(conn)) return fail(call, 12);
    if (call.tokens.size() < 3 || call.tokens[1].empty()) return fail(call, 0);
    const std::string target = call.tokens[1].substr(0, kShortText);
    std::string text = chat_join_words(call, 2);
    const std::string head = "NOTICE " + target + " :";
    for (const std::string& piece : chat_split_text(text, chat_text_room(conn, head.size()))) {
        if (call.show) {
            print_options.wrap_mode = 0;
            print_options.indent = 2;
            chat_show(win_record_of(call.window), conn, kColorOwnText,
                      "-> -" + nick_display_form(nullptr, 1, target, conn) + "- " + piece);
        }
        irc_send_line(head + piece + "\n", call.origin, conn);
        if (!conn_is_live(conn)) return 1;
    }
    return 1;
}

int cmd_amsg(CommandCall& call)
{
    int mode = call.variant;
    if (mode == 0) {
        const std::string& w = word_of(call);
        mode = w == "ame" ? 3 : w == "qmsg" ? 4 : w == "qme" ? 12 : 1;
    }
    const bool action = (mode & (2 | 8)) != 0;
    Connection* conn = conn_of(call);
    if (!conn_is_connected(conn)) return fail(call, 12);
    std::string text = chat_join_words(call, 1);
    if (text.empty()) return fail(call, 0);
    std::vector<std::string> targets;
    std::vector<WindowRecord*> windows;
    for (WindowRecord* rec = win_list; rec; rec = rec->next) {
        if (rec->conn != conn) continue;
        bool take = ((mode & 1) && rec->type == kWinChannel && !rec->chan_left && rec->chan_state != 1) ||
                    ((mode & 4) && rec->type == kWinQuery && rec->subtype == kQueryPrivate);
        if (!take) continue;
        targets.push_back(rec->name);
        windows.push_back(rec);
    }
    if (targets.empty()) {
        std::string note = text_load_string((mode & 4) ? 710 : 709);
        std::size_t at = note.find("%s");
        if (at != std::string::npos) note.replace(at, 2, word_of(call));
        chat_show(win_record_of(call.window), conn, kColorInfoText, note);
        return 1;
    }
    IrcConnState* st = irc_state(conn);
    const int limit = st ? st->privmsg_targets : 0;
    // Room as if the longest target stood alone in its line.
    std::size_t longest = 0;
    for (const std::string& t : targets) longest = std::max(longest, t.size());
    const std::size_t room = chat_text_room(conn, 8 + longest + 2 + (action ? kActionFrame : 0));
    for (const std::string& piece : chat_split_text(text, room)) {
        const std::string tail = action ? " :\x01" "ACTION " + piece + "\x01\n" : " :" + piece + "\n";
        send_prefixed("PRIVMSG ", targets, piece, tail, limit, (conn->server_flags & kServerOneTargetPerLine) != 0, call.origin, conn);
        if (!conn_is_live(conn)) return 1;
        if (!call.show) continue;
        for (WindowRecord* rec : windows) {
            if (!win_is_record(rec)) continue;
            print_options.wrap_mode = 0;
            print_options.indent = 2;
            print_options.sender_nick = conn_own_nick(conn);
            if (action)
                chat_show(rec, conn, action_colour(),
                          "* " + nick_display_form(rec, 2, conn_own_nick(conn), conn) + " " + piece);
            else
                chat_show(rec, conn, amsg_colour(), own_message(rec, conn, piece));
        }
    }
    return 1;
}

int cmd_omsg(CommandCall& call)
{
    const bool notice = word_of(call) == "onotice";
    Connection* conn = conn_of(call);
    if (!conn_is_connected(conn)) return fail(call, 12);
    if (call.tokens.size() < 2) return fail(call, 0);
    std::size_t first = 1;
    WindowRecord* chan = nullptr;
    if (chat_is_channel(call.tokens[1], conn)) {
        chan = win_find_by_name(call.tokens[1], conn);
        first = 2;
    } else {
        chan = win_record_of(call.window);
    }
    if (!win_is_record(chan) || chan->type != kWinChannel) {
        std::string note = text_load_string(855);
        std::size_t at = note.find("%s");
        if (at != std::string::npos) note.replace(at, 2, word_of(call));
        return script_error(call.window, note, {}, 6);
    }
    std::string text = chat_join_words(call, first);
    if (text.empty()) return fail(call, 0);
    const std::string me = conn_own_nick(conn);
    const int op_bit = nicklist_prefix_bit(conn, '@');
    // Only an operator of the channel (or of the network) speaks to its
    // operators.
    NickEntry* self = nicklist_find(chan, me);
    if (!irc_is_oper(conn) && !(op_bit && self && self->number >= op_bit)) {
        std::string note = text_load_string(856);
        std::size_t at = note.find("%s");
        if (at != std::string::npos) {
            note.replace(at, 2, word_of(call));
            at = note.find("%s", at + word_of(call).size());
        }
        if (at != std::string::npos) note.replace(at, 2, chan->name);
        return script_error(call.window, note, {}, 6);
    }
    IrcConnState* st = irc_state(conn);
    // Servers that take "@#channel" get one line for all its operators.
    const int at_flags = notice ? (kServerOpsTarget | kServerOpsNoticeTarget | kServerOneTargetPerLine)
                                : (kServerOpsTarget | kServerOneTargetPerLine);
    if ((conn->server_flags & at_flags) || (notice && st && st->has_wallchops)) {
        const std::string head = std::string(notice ? "NOTICE @" : "PRIVMSG @") + chan->name + " :";
        for (const std::string& piece : chat_split_text(text, chat_text_room(conn, head.size()))) {
            irc_send_line(head + piece + "\n", call.origin, conn);
            if (!conn_is_live(conn)) return 1;
            if (call.show)
                chat_show(win_record_of(call.window), conn, kColorOwnText, "-> Ops " + chan->name + ": " + piece);
        }
        return 1;
    }
    std::vector<std::string> ops;
    for (StringNode* n = chan->nick_list; n; n = n->next)
        if (n->number >= op_bit && op_bit && !text_equal_nocase(n->text, me)) ops.push_back(n->text);
    if (ops.empty()) {
        std::string note = text_load_string(857);
        std::size_t at = note.find("%s");
        if (at != std::string::npos) note.replace(at, 2, word_of(call));
        at = note.find("%s");
        if (at != std::string::npos) note.replace(at, 2, chan->name);
        chat_show(win_record_of(call.window), conn, kColorInfoText, note);
        return 1;
    }
    int limit = st ? (notice ? st->notice_targets : st->privmsg_targets) : 0;
    std::size_t longest = 0;
    for (const std::string& n : ops) longest = std::max(longest, n.size());
    const std::string word = notice ? "NOTICE " : "PRIVMSG ";
    for (const std::string& piece : chat_split_text(text, chat_text_room(conn, word.size() + longest + 2))) {
        send_prefixed(word, ops, piece, " :" + piece + "\n", limit, (conn->server_flags & kServerOneTargetPerLine) != 0, call.origin, conn);
        if (!conn_is_live(conn)) return 1;
        if (call.show)
            chat_show(win_record_of(call.window), conn, kColorOwnText, "-> Ops " + chan->name + ": " + piece);
    }
    return 1;
}

void messaging_commands_register()
{
    script_register_command("msg", cmd_query);
    script_register_command("query", cmd_query);
    script_register_command("queryrn", cmd_queryrn);
    script_register_command("say", cmd_say);
    script_register_command("me", cmd_me);
    script_register_command("action", cmd_me);
    script_register_command("describe", cmd_describe);
    script_register_command("notice", cmd_notice);
    script_register_command("amsg", cmd_amsg, 1);
    script_register_command("ame", cmd_amsg, 3);
    script_register_command("qmsg", cmd_amsg, 4);
    script_register_command("qme", cmd_amsg, 12);
    script_register_command("omsg", cmd_omsg);
    script_register_command("onotice", cmd_omsg);
}

bool chat_is_channel(const std::string& name, Connection* conn)
{
    return !name.empty() && isupport_is_chantype(name.c_str(), conn);
}


std::string chat_join_words(const CommandCall& call, std::size_t first)
{
    std::string out;
    for (std::size_t i = first; i < call.tokens.size(); ++i) {
        if (i > first) out += ' ';
        out += call.tokens[i];
        if (out.size() >= kLongText) {
            out.resize(kLongText);
            break;
        }
    }
    return out;
}

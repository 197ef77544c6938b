#include "commands/channel_commands.h"

#include "app/mdi_arrange.h"

#include "irc/numerics/query_replies.h"

#include <cctype>

#include "model/connection.h"
#include "app/window_open.h"
#include "model/window_record.h"
#include "commands/logon_switch_commands.h"
#include "commands/member_commands.h"
#include "commands/command_conn.h"
#include "commands/messaging_commands.h"
#include "core/text_buffer.h"
#include "core/numbered_texts.h"
#include "core/text_limits.h"
#include "model/colors.h"
#include "irc/dispatch/outgoing_notes.h"
#include "irc/dispatch/server_commands.h"
#include "irc/numerics/isupport.h"
#include "irc/numerics/replies.h"
#include "irc/link/send_queue.h"
#include "script/exec/script_types.h"
#include "tools/channels_list.h"

namespace {

const std::string& word_of(const CommandCall& call)
{
    static const std::string fallback = "join";
    return call.tokens.empty() ? fallback : call.tokens[0];
}

int fail(CommandCall& call, int type)
{
    return script_error(call.window, word_of(call), {}, type);
}



void show_info(CommandCall& call, Connection* conn, WindowRecord* rec, int id)
{
    if (!call.show) return;
    const char* t = text_load_string(id);
    chat_show(rec, conn, kColorInfoText, t ? std::string(t) : std::string());
}

// Sends the JOIN for a text of channels (and keys) with the open flag noted.
int send_join(const std::string& text, int open_flag, Connection* conn)
{
    const std::string first = text.substr(0, text.find_first_of(" ,"));
    if (WindowRecord* rec = win_find_channel(first, conn))
        if (rec->chan_state == 0) rec->chan_state = 1;
    irc_send_line("JOIN " + text + "\n", 0, conn);
    if (open_flag && conn_is_live(conn)) irc_note_joining(text.substr(0, text.find(' ')), open_flag, conn);
    return 1;
}

}  // namespace

void chat_close_window(WindowRecord* rec)
{
    if (win_is_record(rec) && rec->hwnd) win_close_request(rec->hwnd);
}

void chat_activate_window(WindowRecord* rec, int how)
{
    if (!win_is_record(rec)) return;
    if (how == 1)
        win_minimize(rec->hwnd.get(), 0);
    else
        win_activate(rec->hwnd.get(), how == 2 ? kActivateMaximised : 0);
}

std::vector<std::string> chat_part_lines(const std::vector<std::string>& channels, const std::string& message)
{
    const std::string tail = message.empty() ? std::string("\n") : " :" + message + "\n";
    std::vector<std::string> lines;
    std::string line = "PART ";
    int count = 0;
    for (const std::string& name : channels) {
        if (name.empty()) continue;
        if (count > 0 && line.size() + 1 + name.size() + message.size() > 400) {
            lines.push_back(line + tail);
            line = "PART ";
            count = 0;
        }
        if (count > 0) line += ',';
        line += name;
        ++count;
    }
    if (count > 0) lines.push_back(line + tail);
    return lines;
}

int cmd_join(CommandCall& call)
{
    Connection* conn = conn_of(call);
    std::size_t i = 1;
    int invite = 0, open_flag = 0;
    if (i < call.tokens.size() && call.tokens[i].size() > 1 && call.tokens[i][0] == '-') {
        for (char c : call.tokens[i]) {
            if (c == 'i') invite = 1;
            else if (c == 'n') open_flag = 1;
            else if (c == 'x') open_flag = 2;
        }
        ++i;
    }
    IrcConnState* st = irc_state(conn);
    std::string text;
    if (invite) {
        if (!st || st->last_invite.empty()) {
            show_info(call, conn, win_record_of(call.window), 824);
            return 1;
        }
        text = st->last_invite;
        st->last_invite.clear();
    } else {
        if (i >= call.tokens.size() || call.tokens[i].empty()) return fail(call, 0);
        text = chat_join_words(call, i);
        if (st && text_equal_nocase(st->last_invite, call.tokens[i])) st->last_invite.clear();
    }
    const std::string channel = text.substr(0, text.find(' '));
    WindowRecord* rec = win_find_channel(channel, conn);
    if (conn_is_connected(conn) && rec && !rec->chan_left && rec->chan_state == 0) {
        chat_activate_window(rec, open_flag);
        return 1;
    }
    if (irc_join_allowed && !irc_join_allowed(channel, conn)) {
        if (rec && rec->chan_left) chat_close_window(rec);
        return 1;
    }
    if (!conn_is_connected(conn)) return fail(call, 12);
    return send_join(text, open_flag, conn);
}

// A JOIN for the window was sent and not answered yet (by /join, /hop or
// the rejoin after a reconnect).
bool join_pending(const WindowRecord* rec)
{
    return rec->chan_state == 1 || rec->chan_state == 3;
}

int cmd_part(CommandCall& call)
{
    Connection* conn = conn_of(call);
    WindowRecord* current = win_record_of(call.window);
    std::string channel;
    std::size_t msg_from = 2;
    if (call.tokens.size() > 1 && chat_is_channel(call.tokens[1], conn)) {
        channel = call.tokens[1].substr(0, kShortText);
    } else if (win_is_record(current) && current->type == kWinChannel) {
        channel = current->name;
        msg_from = 1;
    } else {
        return fail(call, 0);
    }
    WindowRecord* rec = win_find_channel(channel, conn);
    if (!conn_is_connected(conn)) {
        if (rec) chat_close_window(rec);
        return 1;
    }
    if (rec && rec->chan_left && !join_pending(rec)) {
        chat_close_window(rec);
        return 1;
    }
    const std::string message = chat_join_words(call, msg_from);
    for (const std::string& line : chat_part_lines({channel}, message)) irc_send_line(line, 0, conn);
    return 1;
}

int cmd_partall(CommandCall& call)
{
    Connection* conn = conn_of(call);
    if (!conn_is_live(conn)) return 1;
    const bool connected = conn_is_connected(conn) != 0;
    WindowRecord* current = win_record_of(call.window);
    std::vector<WindowRecord*> to_close;
    std::vector<std::string> names;
    for (WindowRecord* rec = win_list; rec; rec = rec->next) {
        if (rec->conn != conn || rec->type != kWinChannel) continue;
        if (!connected || (rec->chan_left && !join_pending(rec))) to_close.push_back(rec);
        else names.push_back(rec->name);
    }
    bool current_closed = false;
    for (WindowRecord* rec : to_close) {
        if (rec == current) current_closed = true;
        if (win_is_record(rec)) chat_close_window(rec);
    }
    if (connected)
        for (const std::string& line : chat_part_lines(names, chat_join_words(call, 1))) {
            if (!conn_is_live(conn)) break;
            irc_send_line(line, 0, conn);
        }
    if (!conn_is_live(conn)) return 1;
    show_info(call, conn, current_closed || !win_is_record(current) ? nullptr : current, connected ? 902 : 901);
    return 1;
}

int cmd_hop(CommandCall& call)
{
    Connection* conn = conn_of(call);
    if (!conn_is_connected(conn)) return fail(call, 12);
    std::size_t i = 1;
    int own_window = 0, open_flag = 0;
    if (i < call.tokens.size() && call.tokens[i].size() > 1 && call.tokens[i][0] == '-') {
        for (char c : call.tokens[i]) {
            if (c == 'c') own_window = 1;
            else if (c == 'n') open_flag = 1;
            else if (c == 'x') open_flag = 2;
        }
        ++i;
    }
    WindowRecord* current = win_record_of(call.window);
    WindowRecord* rec = win_is_record(current) && current->type == kWinChannel ? current : nullptr;
    std::string target;
    if (i < call.tokens.size() && chat_is_channel(call.tokens[i], conn)) {
        target = call.tokens[i].substr(0, kShortText);
        ++i;
    }
    const std::string message = chat_join_words(call, i);
    const std::string part_tail = message.empty() ? std::string("\n") : " :" + message + "\n";
    if (!target.empty() && (!rec || !text_equal_nocase(rec->name, target))) {
        WindowRecord* named = win_find_channel(target, conn);
        if (own_window && named) {
            rec = named;
        } else {
            // Leave the current channel and join the named one.
            if (rec && !rec->chan_left) irc_send_line("PART " + rec->name + part_tail, 0, conn);
            if (!conn_is_live(conn)) return 1;
            return send_join(target, open_flag, conn);
        }
    }
    if (!rec) {
        if (target.empty()) return fail(call, 0);
        return send_join(target, open_flag, conn);
    }
    if (rec->chan_state == 1 || rec->chan_state == 3) return 1;
    if (rec->chan_state != 2 && !rec->chan_left) irc_send_line("PART " + rec->name + part_tail, 0, conn);
    if (!conn_is_live(conn) || !win_is_record(rec)) return 1;
    rec->chan_state = 1;
    if (rec->chan_key.empty()) irc_send_line("JOIN " + rec->name + "\n", 0, conn);
    else irc_send_line("JOIN " + rec->name + " " + rec->chan_key + "\n", 0, conn);
    if (!conn_is_live(conn) || !win_is_record(rec)) return 1;
    show_info(call, conn, rec, 3513);
    if (open_flag) irc_note_joining(rec->name, open_flag, conn);
    return 1;
}

int cmd_list(CommandCall& call)
{
    Connection* conn = conn_of(call);
    if (!conn_is_connected(conn) || !conn->registered) return fail(call, 12);
    if (conn->chanlist_busy) {
        if (call.tokens.size() > 1 && text_equal_nocase(call.tokens[1], "stop")) {
            // The server ends the list with its end reply.
            chanlist_stop(conn);
            // Nothing came back yet: no reply is left to end the wait.
            if (conn_is_live(conn) && conn->chanlist_busy == 1) conn->chanlist_busy = 0;
            return 1;
        }
        return script_error(call.window, text_load_string(825), {}, 6);
    }
    std::string param;
    for (std::size_t i = 1; i < call.tokens.size(); ++i) {
        const std::string& t = call.tokens[i];
        if (t == "-min" || t == "-max" || t == ">" || t == "<" || t == "C>" || t == "C<" || t == "T>" || t == "T<") {
            ++i;
            continue;
        }
        if (!t.empty() && t[0] == '#') param = t.substr(0, kShortText);
        break;
    }
    chanlist_send_list(param, conn);
    return 1;
}

void channel_commands_register()
{
    script_register_command("join", cmd_join);
    script_register_command("hop", cmd_hop);
    script_register_command("part", cmd_part);
    script_register_command("leave", cmd_part);
    script_register_command("partall", cmd_partall);
    script_register_command("list", cmd_list);
}

void irc_chat_commands_install()
{
    query_replies_install();
    messaging_commands_register();
    channel_commands_register();
    member_commands_register();
    logon_switch_commands_register();
}

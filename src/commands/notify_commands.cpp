#include "commands/notify_commands.h"

#include <string>

#include "model/connection.h"
#include "commands/command_conn.h"
#include "core/numbered_texts.h"
#include "core/options.h"
#include "core/text_buffer.h"
#include "core/text_limits.h"
#include "model/colors.h"
#include "irc/lists/notify_list.h"
#include "irc/numerics/isupport.h"
#include "irc/link/send_queue.h"
#include "script/exec/script_types.h"
#include "script/stores/timers.h"
#include "display/nick_colours.h"

namespace {

std::string text_of(int id, const std::string* value = nullptr)
{
    const char* t = text_load_string(id);
    std::string s = t ? t : "";
    if (value) {
        std::size_t p = s.find("%s");
        if (p != std::string::npos) s.replace(p, 2, value->substr(0, kShortText));
    }
    return s;
}

QWidget* out_window(CommandCall& call, Connection* conn)
{
    if (call.window) return call.window;
    return conn_is_live(conn) ? timer_status_window(conn) : nullptr;
}

// A confirmation in the command's window, while the show flag is on.
void confirm(CommandCall& call, Connection* conn, const std::string& text)
{
    if (call.show) notify_print(out_window(call, conn), kColorInfoText, text, 0);
}

bool has_watch(Connection* conn)
{
    return conn_is_connected(conn) && irc_state(conn)->watch_limit > 0;
}

// Every connection to a stage, then the window and the nick colours.
void stage_all(int stage)
{
    for (Connection* c = conn_list; c;) {
        Connection* next = c->next;
        notify_conn_stage(stage, c);
        c = conn_is_live(next) ? next : nullptr;
    }
    notify_window_refresh();
    cnick_recolor_all();
}

void switch_notify(int on)
{
    if (opt(OPT_NOTIFY_ENABLED) == on) return;
    opt_set(OPT_NOTIFY_ENABLED, on);
    stage_all(on ? 3 : 5);
    ini_save_options();
}

int list_entries(CommandCall& call, Connection* conn)
{
    QWidget* w = out_window(call, conn);
    NotifyEntry* head = notify_head(conn);
    if (!head) {
        notify_print(w, kColorInfo2Text, text_of(864), 3);
        return 1;
    }
    notify_print(w, kColorInfo2Text, text_of(865), 1);
    for (NotifyEntry* e = head; e; e = e->next) {
        std::string line = (e->whois ? "+" : "") + e->nick;
        if (!e->note.empty()) line += " (" + e->note + ")";
        notify_print(w, kColorInfo2Text, line, e->next ? 0 : 2);
    }
    return 1;
}

int remove_nick(CommandCall& call, const std::string& nick)
{
    Connection* conn = conn_of(call);
    bool listed = false;
    for (Connection* c = conn_list; c; c = c->next)
        if (notify_find(nick, 1, c)) listed = true;
    if (!listed) {
        confirm(call, conn, text_of(851, &nick));
        return 1;
    }
    for (Connection* c = conn_list; c; c = c->next) notify_remove_nick(nick, c);
    notify_save(conn);
    std::string bare(nick[0] == '+' ? nick.substr(1) : nick);
    bare = bare.substr(0, bare.find('!'));
    for (Connection* c = conn_list; c;) {
        Connection* next = c->next;
        if (has_watch(c) && !bare.empty()) irc_send_line("WATCH -" + bare + "\n", 0, c);
        c = conn_is_live(next) ? next : nullptr;
    }
    notify_window_refresh();
    cnick_recolor_all();
    confirm(call, conn_of(call), text_of(852, &nick));
    return 1;
}

int add_nick(CommandCall& call, std::size_t at)
{
    Connection* conn = conn_of(call);
    std::string network;
    bool with_network = false;
    if (call.arg(at) == "-n" || call.arg(at) == "-N") {
        with_network = true;
        ++at;
    }
    const std::string nick = call.arg(at).substr(0, kShortText);
    if (nick.empty() || nick == "+") return script_error(call.window, "notify", {}, 0);
    ++at;
    if (with_network) network = call.arg(at++);
    std::string note;
    for (; at <= call.argc(); ++at) {
        if (!note.empty()) note += ' ';
        note += call.arg(at);
        if (note.size() >= kShortText) break;
    }
    if (notify_find(nick, 0, conn)) {
        confirm(call, conn, text_of(853, &nick));
        return 1;
    }
    for (Connection* c = conn_list; c; c = c->next)
        if (!notify_add(nick, note, std::string(), std::string(), 0, network, c)) return 0;
    notify_save(conn);
    if (!opt(OPT_NOTIFY_ENABLED)) switch_notify(1);
    std::string shown(nick[0] == '+' ? nick.substr(1) : nick);
    confirm(call, conn_of(call), text_of(854, &shown));
    std::string bare = shown.substr(0, shown.find('!'));
    for (Connection* c = conn_list; c;) {
        Connection* next = c->next;
        NotifyEntry* e = notify_find(bare, 1, c);
        if (has_watch(c) && e && notify_network_applies(e, c)) irc_send_line("WATCH +" + bare + "\n", 0, c);
        c = conn_is_live(next) ? next : nullptr;
    }
    notify_window_refresh();
    cnick_recolor_all();
    return 1;
}

}  // namespace

int cmd_notify(CommandCall& call)
{
    Connection* conn = conn_of(call);
    const std::string first = call.arg(1);
    const std::string word = text_lower_copy(first);
    if (word == "-l") return list_entries(call, conn);
    if (word == "-h") {
        if (notify_hooks.window_close) notify_hooks.window_close();
        return 1;
    }
    if (word == "-s") {
        notify_window_open(1);
        notify_window_refresh();
        return 1;
    }
    if (word == "on" || word == "off") {
        switch_notify(word == "on");
        confirm(call, conn, text_of(opt(OPT_NOTIFY_ENABLED) ? 849 : 850));
        return 1;
    }
    if (call.argc() == 0) {
        if (!opt(OPT_NOTIFY_ENABLED)) {
            switch_notify(1);
            confirm(call, conn, text_of(849));
            return 1;
        }
        if (!conn_is_connected(conn)) return script_error(call.window, "notify", {}, 12);
        notify_conn_stage(3, conn);
        notify_window_refresh();
        return 1;
    }
    if (word == "-r") {
        const std::string nick = call.arg(2).substr(0, kShortText);
        if (nick.empty()) return script_error(call.window, "notify", {}, 0);
        return remove_nick(call, nick);
    }
    return add_nick(call, 1);
}

void notify_commands_register()
{
    script_register_command("notify", cmd_notify);
}

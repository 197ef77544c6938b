// The chat words of /dcc (chat, fserve), /fserve, and the identifiers that
// read sessions: $chat( and $fserv( / $fserve(.
#include <algorithm>
#include <cstdlib>
#include <string>

#include "core/files.h"
#include "core/main_settings.h"
#include "core/numbered_texts.h"
#include "core/options.h"
#include "core/text_buffer.h"
#include "dcc/dcc_chat.h"
#include "dcc/dcc_dialogs.h"
#include "irc/dispatch/dispatcher.h"
#include "irc/link/send_queue.h"
#include "model/colors.h"
#include "model/connection.h"
#include "model/window_record.h"
#include "script/exec/script_text.h"
#include "script/exec/script_types.h"

namespace {

int fserve_sessions()
{
    int n = 0;
    dccchat_each([&](DccChat* c) {
        if (c->fserve && c->state != kChatEnded)
            ++n;
    });
    return n;
}

// $chat( and $fserv( / $fserve(: N or nick; or nick, N (0 counts).
int id_chat(IdentCall& call)
{
    const int r = ident_args_range(call, 1, 2);
    if (r >= 0)
        return r;
    const bool fserve = ident_word(call).substr(0, 5) == "fserv";
    std::string nick;
    long n = 0;
    if (ident_arg_count(call) == 2) {
        nick = ident_arg(call, 0);
        n = std::strtol(ident_arg(call, 1).c_str(), nullptr, 10);
    } else if (arg_is_integer(ident_arg(call, 0))) {
        n = std::strtol(ident_arg(call, 0).c_str(), nullptr, 10);
    } else {
        nick = ident_arg(call, 0);
        n = 1;
    }
    std::string out;
    n = std::min(n, 9998L);
    long count = 0;
    DccChat* found = nullptr;
    dccchat_each([&](DccChat* c) {
        if (c->fserve != fserve || (!nick.empty() && !text_equal_nocase(c->nick, nick)))
            return;
        if (++count == n && !found)
            found = c;
    });
    if (n <= 0) {
        out = std::to_string(count);
    } else if (found) {
        const std::string_view prop = ident_property(call);
        if (prop.empty())
            out = found->nick;
        else if (prop == "ip")
            out = found->ip;
        else if (prop == "status")
            out = found->state == kChatOpen ? "active" : found->state == kChatEnded ? "inactive" : "waiting";
        else if (prop == "window")
            out = found->window ? found->window->name : std::string();
        else if (prop == "wid")
            out = std::to_string(found->window ? found->window->number : 0);
        else if (prop == "idle")
            out = std::to_string(found->idle);
        else if (prop == "cid")
            out = std::to_string(conn_is_live(found->conn) ? found->conn->id : 0);
        else if (fserve && prop == "cd")
            out = fserve_relative(found->fs.home, found->fs.current);
    }
    return ident_result(call, out);
}

}  // namespace

int dcc_chat_word(CommandCall& call)
{
    const bool fserve = text_equal_nocase(call.arg(1), "fserve");
    const std::string& nick = call.arg(2);
    if (nick.empty())
        return script_error(call.window, "dcc", "", 0);
    DccChatStart st;
    st.window = call.window;
    st.conn = call.conn;
    st.nick = nick;
    st.mode = fserve ? 2 : 0;
    st.passive = opt(OPT_DCC_PASSIVE) != 0;
    return dccchat_start(st) ? kScriptDone : kScriptFailed;
}

// /fserve nick maxgets homefolder [welcomefile]
int cmd_fserve(CommandCall& call)
{
    Connection* conn = call.conn;
    if (!conn_is_connected(conn))
        return script_error(call.window, "fserve", "", 12);
    if (!conn_has_local_ip(conn)) {
        irc_status_echo(conn, static_cast<int>(kColorCtcpText), text_load_string(2227));
        return script_error(call.window, "fserve", "", 13);
    }
    const std::string nick = call.arg(1);
    if (call.origin != 0 && !nick.empty()) {
        const bool has = dccchat_find_by_nick(nick, 1) && dccchat_find_by_nick(nick, 1)->state != kChatEnded;
        const int max = opt(OPT_FSERVE_MAX_TRANSFERS);
        if (has || (max > 0 && fserve_sessions() >= max)) {
            irc_status_echo(conn, static_cast<int>(kColorCtcpText), text_fill_id(has ? 810 : 811, {nick}));
            irc_send_line(text_fill_id(858, {nick}), kLineAutoReply, conn);
            return kScriptFailed;
        }
    }
    const long gets = std::strtol(call.arg(2).c_str(), nullptr, 10);
    if (nick.empty() || gets <= 0 || call.arg(3).empty())
        return script_error(call.window, "fserve", "", 0);
    std::string folder_arg = call.arg(3);
    std::size_t next = 4;
    if (folder_arg[0] == '"') {
        int last = arg_get_quoted(call.tokens, 3, folder_arg, 1024, 0);
        if (last < 0)
            return script_error(call.window, "fserve", "", 3);
        next = static_cast<std::size_t>(last) + 1;
    }
    std::string folder;
    if (!file_resolve_path(folder_arg, folder))
        return script_error(call.window, "fserve", "", 3);
    if (!file_exists(folder, 2)) {
        irc_status_echo(conn, static_cast<int>(kColorCtcpText), text_load_string(812));
        return kScriptFailed;
    }
    std::string welcome;
    if (next < call.tokens.size()) {
        std::string given;
        arg_join_from(next, given, call.tokens);
        if (!given.empty() && given[0] == '"' && given.size() > 1 && given.back() == '"')
            given = given.substr(1, given.size() - 2);
        if (!file_resolve_file_path(given, welcome))
            return script_error(call.window, "fserve", "", 3);
        if (!file_exists(welcome, 1))
            return script_error(call.window, "fserve", given, 1);
    }
    if (main_settings.warn_fserve) {
        const int answer = fserve_warning_dialog(call.window, nick, folder);
        if (answer < 0)
            return kScriptFailed;
        if (answer == 0) {
            irc_status_echo(conn, static_cast<int>(kColorInfoText), text_load_string(813));
            return kScriptFailed;
        }
        if (!conn_is_live(conn))
            return kScriptFailed;
    }
    DccChatStart st;
    st.window = call.window;
    st.conn = conn;
    st.nick = nick;
    st.mode = 1;
    st.home = folder;
    st.welcome = welcome;
    st.get_limit = static_cast<int>(std::min(gets, 20L));
    st.passive = opt(OPT_DCC_PASSIVE) != 0;
    return dccchat_start(st) ? kScriptDone : kScriptFailed;
}

void dcc_chat_commands_register()
{
    script_register_command_family("cmd_fserve", cmd_fserve);
    ident_register_family("id_chat", id_chat);
}

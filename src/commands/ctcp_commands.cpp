#include "commands/ctcp_commands.h"

#include <cctype>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "model/connection.h"
#include "model/window_record.h"
#include "commands/command_conn.h"
#include "commands/command_replies.h"
#include "commands/messaging_commands.h"
#include "core/files.h"
#include "core/ini.h"
#include "core/numbered_texts.h"
#include "core/options.h"
#include "core/text_buffer.h"
#include "core/text_limits.h"
#include "model/colors.h"
#include "irc/ctcp/ctcp.h"
#include "irc/dispatch/outgoing_notes.h"
#include "irc/dispatch/server_commands.h"
#include "irc/numerics/isupport.h"
#include "irc/numerics/query_replies.h"
#include "irc/link/send_queue.h"
#include "platform/platform_utils.h"
#include "script/exec/executor.h"
#include "script/exec/script_types.h"

namespace {

// The arguments from i on joined by blanks; line breaks become blanks.
std::string args_from(const CommandCall& call, std::size_t i)
{
    std::string out;
    for (; i <= call.argc(); ++i) {
        if (!out.empty()) out += ' ';
        out += call.arg(i);
        if (out.size() > kLongText) break;
    }
    for (char& c : out)
        if (c == '\r' || c == '\n' || c == '\0') c = ' ';
    if (out.size() > kLongText - 64) out.resize(kLongText - 64);
    return out;
}

void text_upper(std::string& t)
{
    for (char& c : t) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
}

bool bad_target(const std::string& t)
{
    return t.empty() || t.size() > kShortText || t.find_first_of(std::string_view(" \r\n\0", 4)) != std::string::npos;
}

// "on" 1, "off" 0, anything else -1.
int on_off(const std::string& word)
{
    if (text_equal_nocase(word, "on")) return 1;
    if (text_equal_nocase(word, "off")) return 0;
    return -1;
}

// /ctcp and /ctcpreply share their checks; `reply` sends a NOTICE.
int send_ctcp(CommandCall& call, bool reply)
{
    const char* word = reply ? "ctcpreply" : "ctcp";
    Connection* conn = conn_of(call);
    if (!conn_is_connected(conn)) return command_fail(call, word, 12);
    if (call.argc() < 2 || call.arg(1).empty() || call.arg(2).empty()) return command_fail(call, word, 0);
    const std::string& target = call.arg(1);
    if (bad_target(target)) return command_fail(call, word, 3);
    std::string name = call.arg(2);
    const std::string text = args_from(call, 3);
    std::string body;
    std::string shown;
    if (!reply) {
        if (text_equal_nocase(name, "dcc")) {
            script_error(call.window, text_load_string(726), {}, 6);
            return kScriptFailed;
        }
        text_upper(name);
        if (name == "PING") {
            body = "PING " + std::to_string(static_cast<long long>(std::time(nullptr)));
            shown = "PING";
        } else {
            body = text.empty() ? name : name + " " + text;
            shown = body;
        }
        irc_send_line("PRIVMSG " + target + " :\x01" + body + "\x01\n", 0, conn);
    } else {
        body = text.empty() ? name : name + " " + text;
        shown = body;
        irc_send_line("NOTICE " + target + " :\x01" + body + "\x01\n", 0, conn);
    }
    command_show(call, conn, kColorCtcpText, "-> [" + target + "] " + shown);
    return kScriptDone;
}

// /creq and /sreq: [+m|-m] [ask|auto|ignore]
int request_mode(CommandCall& call, OptionId mode_opt, OptionId minimise_opt, int first_text)
{
    std::size_t i = 1;
    const std::string& first = call.arg(1);
    if (text_equal_nocase(first, "+m") || text_equal_nocase(first, "-m")) {
        opt_set(minimise_opt, first[0] == '+' ? 1 : 0);
        ++i;
    }
    const std::string& mode = call.arg(i);
    if (text_equal_nocase(mode, "ask")) opt_set(mode_opt, 0);
    else if (text_equal_nocase(mode, "auto")) opt_set(mode_opt, 1);
    else if (text_equal_nocase(mode, "ignore")) opt_set(mode_opt, 2);
    int m = opt(mode_opt);
    if (m < 0 || m > 2) m = 0;
    command_show(call, conn_of(call), kColorInfoText, text_load_string(first_text + m));
    return kScriptDone;
}

// Looks at a line going to the server so that the replies find their way.
void note_outgoing(CommandCall& call, const std::vector<std::string>& words, Connection* conn)
{
    if (words.empty()) return;
    const std::string first = text_lower_copy(words[0]);
    if (first == "who" && words.size() > 1 && isupport_is_chantype(words[1].c_str(), conn)) {
        irc_note_who(words[1], words.size() > 2 ? &words[2] : nullptr, conn);
    } else if ((first == "whois" || first == "whowas") && words.size() > 1) {
        irc_note_whois(call.window, words[1], words.size() > 2 ? &words[2] : nullptr, conn);
    } else if (first == "away") {
        irc_note_away(words, 1, conn, 1);
    } else if (first == "userhost") {
        if (QueryReplyState* st = query_reply_state(conn)) ++st->userhost_pending;
    } else if (first == "quit") {
        conn->quitting = 1;
    }
}

std::vector<std::string> split_blanks(const std::string& text)
{
    std::vector<std::string> out;
    std::size_t i = 0;
    while (i < text.size() && out.size() < 64) {
        while (i < text.size() && text[i] == ' ') ++i;
        if (i >= text.size()) break;
        std::size_t end = text.find(' ', i);
        if (end == std::string::npos) end = text.size();
        out.push_back(text.substr(i, end - i));
        i = end;
    }
    return out;
}

// A help file named after the word: in the settings folder, then beside the
// program.
std::string help_file_for(const std::string& word)
{
    if (word.empty() || file_is_device(word) || word.find_first_of("/\\") != std::string::npos) return {};
    std::vector<std::string> names;
    const std::size_t dot = word.rfind('.');
    if (dot != std::string::npos) {
        const std::string ext = text_lower_copy(word.substr(dot));
        if (ext != ".chm" && ext != ".hlp") return {};
        names.push_back(word);
    } else {
        names = {word + ".chm", word + ".hlp"};
    }
    for (int place = 0; place < 2; ++place)
        for (const std::string& n : names) {
            std::string path = n;
            if (place == 0) file_abs_settings_dir(path);
            else file_abs_exe_dir(path);
            if (file_exists(path, 1)) return path;
        }
    return {};
}

}  // namespace

int cmd_ctcp(CommandCall& call)
{
    return send_ctcp(call, false);
}

int cmd_ctcpreply(CommandCall& call)
{
    return send_ctcp(call, true);
}

// /ctcps [on|off]
int cmd_ctcps(CommandCall& call)
{
    const int v = on_off(call.arg(1));
    if (v >= 0) opt_set(OPT_REMOTE_CTCPS, v);
    command_show(call, conn_of(call), kColorInfoText, text_load_string(opt(OPT_REMOTE_CTCPS) ? 727 : 728));
    return kScriptDone;
}

// /raw [-q] line, /raw on|off, /quote [-q] line
int cmd_raw(CommandCall& call)
{
    Connection* conn = conn_of(call);
    const bool quote = !call.tokens.empty() && call.tokens[0] == "quote";
    if (!quote && call.argc() <= 1) {
        const int v = call.argc() == 1 ? on_off(call.arg(1)) : -2;
        if (v >= 0 || v == -2) {
            if (v >= 0) opt_set(OPT_REMOTE_RAW, v);
            command_show(call, conn, kColorInfoText, text_load_string(opt(OPT_REMOTE_RAW) ? 910 : 911));
            return kScriptDone;
        }
    }
    std::size_t first = 1;
    bool echo = true;
    if (text_equal_nocase(call.arg(1), "-q")) {
        echo = false;
        first = 2;
    }
    const std::string line = args_from(call, first);
    if (line.empty()) return quote ? command_fail(call, "quote", 0) : kScriptDone;
    if (!conn_is_connected(conn)) return command_fail(call, quote ? "quote" : "raw", 12);
    note_outgoing(call, split_blanks(line), conn);
    if (!conn_is_live(conn)) return kScriptDone;
    if (echo) command_show(call, conn, kColorOwnText, "-> Server: " + line);
    irc_send_line(line + "\n", 0, conn);
    return kScriptDone;
}

int cmd_creq(CommandCall& call)
{
    return request_mode(call, OPT_DCC_CHAT_REQUESTS, OPT_DCC_CHAT_NO_ACTIVATE, 723);
}

int cmd_sreq(CommandCall& call)
{
    return request_mode(call, OPT_DCC_SEND_REQUESTS, OPT_DCC_MINIMISE_AUTO_GETS, 943);
}

// /pdcc [on|off|number]
int cmd_pdcc(CommandCall& call)
{
    if (call.argc() >= 1) {
        const std::string& a = call.arg(1);
        const bool on = text_equal_nocase(a, "on") || (text_is_digits(a) && std::atol(a.c_str()) > 0);
        opt_set(OPT_PDCC_SIZE, on ? 500000 : 0);
    }
    command_show(call, conn_of(call), kColorInfoText, text_load_string(opt(OPT_PDCC_SIZE) ? 903 : 904));
    return kScriptDone;
}

// /sound on|off, /sound [target] file [message]
int cmd_sound(CommandCall& call)
{
    Connection* conn = conn_of(call);
    if (call.argc() <= 1) {
        const int v = call.argc() == 1 ? on_off(call.arg(1)) : -2;
        if (v >= 0 || v == -2) {
            if (v >= 0) opt_set(OPT_SOUND_ACCEPT_REQUESTS, v);
            command_show(call, conn, kColorInfoText, text_load_string(opt(OPT_SOUND_ACCEPT_REQUESTS) ? 934 : 935));
            return kScriptDone;
        }
    }
    // The target: a channel or a nick, else the current window.
    std::size_t i = 1;
    std::string target;
    const std::string& first = call.arg(1);
    WindowRecord* here = win_record_of(call.window);
    if (!first.empty() && first[0] == '=') {
        return script_error(call.window, "sound", {}, 7);  // DCC chats come with the DCC layer
    }
    if (first.find('.') != std::string::npos || (!first.empty() && first[0] == '"')) {
        if (!here || here->type == kWinStatus) {
            script_error(call.window, text_load_string(938), {}, 6);
            return kScriptFailed;
        }
        if (here->type == kWinQuery && here->subtype == kQueryMessages) {
            script_error(call.window, text_load_string(939), {}, 6);
            return kScriptFailed;
        }
        target = here->name;
    } else {
        target = first;
        i = 2;
    }
    // The file, quoted across tokens when it holds blanks.
    std::string file = call.arg(i);
    bool quoted = false;
    if (!file.empty() && file[0] == '"') {
        quoted = true;
        file.erase(0, 1);
        while (file.empty() || file.back() != '"') {
            if (++i > call.argc() || file.size() > kMediumText) break;
            file += " " + call.arg(i);
        }
        if (!file.empty() && file.back() == '"') file.pop_back();
    }
    if (file.empty() || bad_target(target)) return command_fail(call, "sound", 3);
    const std::size_t slash = file.find_last_of('/');
    const std::string name = slash == std::string::npos ? file : file.substr(slash + 1);
    if (name.empty()) return command_fail(call, "sound", 3);
    if (ctcp_sound_play) {
        std::string folder;
        if (ctcp_sound_play(file, folder) == 0) {
            script_error(call.window, text_fill_id(940, {folder, name}), {}, 6);
            return kScriptFailed;
        }
    }
    const std::string message = args_from(call, i + 1);
    if (!conn_is_connected(conn)) return command_fail(call, "sound", 12);
    std::string body = "\x01SOUND " + (quoted ? "\"" + name + "\"" : name);
    if (!message.empty()) body += " " + message;
    irc_send_line("PRIVMSG " + target + " :" + body + "\x01\n", 0, conn);
    const bool here_is_target = here && text_equal_nocase(here->name, target);
    if (message.empty())
        command_show(call, conn, kColorCtcpText, here_is_target ? std::string("[SOUND]") : "-> [" + target + "] SOUND");
    else if (here_is_target)
        command_show(call, conn, kColorActionText, "* " + conn_own_nick(conn) + " " + message);
    else
        command_show(call, conn, kColorActionText, "-> *" + target + "* " + message);
    return kScriptDone;
}

// /speak text: no outside speech program answers on this system; the
// command ends silently, as after two failed tries.
int cmd_speak(CommandCall& call)
{
    if (call.argc() < 1) return command_fail(call, "speak", 0);
    return kScriptDone;
}

int cmd_unknown_word(CommandCall& call)
{
    if (call.tokens.empty()) return kScriptDone;
    std::string word = call.tokens[0];
    const std::string help = help_file_for(word);
    if (!help.empty()) {
        help_open(help, call.arg(1), 0);
        return kScriptDone;
    }
    text_lower(word);
    if (word == "wallchops") return cmd_omsg(call);
    Connection* conn = conn_of(call);
    if (!conn_is_connected(conn)) return script_error(call.window, word, {}, 12);
    // Where the trailing parameter begins (counted from the first argument).
    static const struct {
        const char* word;
        int position;
    } kTrailing[] = {
        {"away", 0},     {"adchat", 0},    {"error", 0},     {"globops", 0},  {"locops", 0},
        {"netglobal", 0}, {"swallops", 0}, {"wallops", 0},  {"wallusers", 0}, {"kill", 1},
        {"privmsg", 1},  {"squery", 1},    {"squit", 1},     {"topic", 1},    {"trace", 1},
        {"wallvoices", 1}, {"connect", 2}, {"cnotice", 2},   {"cprivmsg", 2}, {"kick", 2},
        {"summon", 2},   {"user", 3},      {"oper", 8},
    };
    int position = -1;
    for (const auto& t : kTrailing)
        if (word == t.word) position = t.position;
    std::vector<std::string> args(call.tokens.begin() + 1, call.tokens.end());
    note_outgoing(call, call.tokens, conn);
    if (!conn_is_live(conn)) return kScriptDone;
    if (word == "links" && !args.empty() && !args[0].empty() && args[0][0] == '-') args.erase(args.begin());
    std::string line = word;
    text_upper(line);
    // An argument already written as the trailing one (":text") keeps its
    // own colon.
    for (std::size_t k = 0; k < args.size(); ++k) {
        if (!args[k].empty() && args[k][0] == ':') position = -1;
        line += static_cast<int>(k) == position ? " :" : " ";
        line += args[k];
        if (line.size() > kLongText) break;
    }
    for (char& c : line)
        if (c == '\r' || c == '\n' || c == '\0') c = ' ';
    irc_send_line(line.substr(0, kLongText - 2) + "\n", call.origin, conn);
    return kScriptDone;
}

void ctcp_commands_register()
{
    script_register_command_family("cmd_ctcp", cmd_ctcp);
    script_register_command_family("cmd_ctcpreply", cmd_ctcpreply);
    script_register_command_family("cmd_ctcps", cmd_ctcps);
    script_register_command_family("cmd_raw", cmd_raw);
    script_register_command_family("cmd_creq", cmd_creq);
    script_register_command_family("cmd_sreq", cmd_sreq);
    script_register_command_family("cmd_pdcc", cmd_pdcc);
    script_register_command_family("cmd_sound", cmd_sound);
    script_register_command_family("cmd_speak", cmd_speak);
}

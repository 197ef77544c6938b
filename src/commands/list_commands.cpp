// /ban, /ial, /ialmark, /ialclear (/clearial), /uwho and /abook.
#include "commands/list_commands.h"

class QWidget;

#include <cctype>
#include <cstdlib>
#include <vector>

#include "irc/link/connections.h"
#include "model/connection.h"
#include "model/window_record.h"
#include "commands/command_conn.h"
#include "commands/command_replies.h"
#include "commands/messaging_commands.h"
#include "core/numbered_texts.h"
#include "core/text_buffer.h"
#include "core/text_limits.h"
#include "core/wildcard.h"
#include "model/colors.h"
#include "irc/lists/address_list.h"
#include "irc/lists/ban_lists.h"
#include "irc/lists/user_lists.h"
#include "irc/numerics/isupport.h"
#include "irc/link/send_queue.h"
#include "script/exec/script_types.h"

void (*abook_open)(int, const std::string&) = nullptr;
void (*uwho_dialog_open)(const std::string&, Connection*) = nullptr;

namespace {

int fail(CommandCall& call, const char* word, int type)
{
    return script_error(call.window, call.tokens.empty() ? std::string_view(word) : std::string_view(call.tokens[0]),
                        {}, type);
}

// A numbered text with its "%s" filled in order.

bool is_integer(const std::string& t)
{
    if (t.empty() || t.size() > 9) return false;
    for (char c : t)
        if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    return true;
}

bool has_line_break(std::string_view t)
{
    return t.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

// Arguments from i on joined by blanks; line breaks become blanks.
std::string args_from(const CommandCall& call, std::size_t i)
{
    std::string out;
    for (; i <= call.argc(); ++i) {
        if (!out.empty()) out += ' ';
        out += call.arg(i);
        if (out.size() > kMediumText) break;
    }
    for (char& c : out)
        if (c == '\r' || c == '\n' || c == '\0') c = ' ';
    if (out.size() > kMediumText) out.resize(kMediumText);
    return out;
}

int cmd_ial(CommandCall& call, Connection* conn)
{
    if (!conn) return kScriptDone;
    if (call.argc() >= 1) {
        const std::string w = text_lower_copy(call.arg(1));
        if (w == "off") {
            ial_set_on(0, conn);
            ial_clear(0, conn);
        } else if (w == "on" && !ial_is_on(conn)) {
            ial_set_on(1, conn);
            ial_clear(0, conn);
        }
    }
    command_show(call, conn, kColorInfo2Text, text_load_string(ial_is_on(conn) ? 866 : 867));
    return kScriptDone;
}

int cmd_ialmark(CommandCall& call, Connection* conn)
{
    if (call.argc() < 1 || call.arg(1).empty()) return fail(call, "ialmark", 0);
    const std::string& nick = call.arg(1);
    const std::string note = args_from(call, 2);
    if (conn && ial_set_note(nick, note, conn)) command_show(call, conn, kColorInfoText, text_fill_id(860, {nick, note}));
    else command_show(call, conn, kColorInfoText, text_fill_id(861, {nick}));
    return kScriptDone;
}

int cmd_uwho(CommandCall& call)
{
    Connection* conn = conn_of(call);
    if (call.argc() < 1 || call.arg(1).empty()) {
        if (!uwho_dialog_open) return script_error_not_available('/', "uwho");
        uwho_dialog_open(std::string(), conn);
        return kScriptDone;
    }
    if (!conn_is_connected(conn)) return fail(call, "uwho", 12);
    const std::string& nick = call.arg(1);
    if (has_line_break(nick) || nick.size() > kShortText) return fail(call, "uwho", 3);
    if (uwho_dialog_open) uwho_dialog_open(nick, conn);
    if (call.argc() >= 2 && text_equal_nocase(call.arg(2), nick))
        irc_send_line("WHOIS " + nick + " " + call.arg(2) + "\n", 0, conn);
    else
        irc_send_line("WHOIS " + nick + "\n", 0, conn);
    command_show(call, conn, kColorInfo2Text, text_fill_id(964, {nick}));
    return kScriptDone;
}

}  // namespace

int cmd_ban(CommandCall& call)
{
    Connection* conn = conn_of(call);
    if (!conn_is_connected(conn)) return fail(call, "ban", 12);
    if (call.argc() < 1) return fail(call, "ban", 0);
    std::size_t i = 1;
    bool remove = false, kick = false;
    int seconds = 0;
    const std::string& first = call.arg(1);
    if (!first.empty() && first[0] == '-') {
        for (std::size_t k = 1; k < first.size(); ++k) {
            const char c = static_cast<char>(std::tolower(static_cast<unsigned char>(first[k])));
            if (c == 'r') {
                remove = true;
            } else if (c == 'k') {
                kick = true;
            } else if (c == 'u') {
                long n = 0;
                bool digits = false;
                while (k + 1 < first.size() && std::isdigit(static_cast<unsigned char>(first[k + 1]))) {
                    if (n < 100000000L) n = n * 10 + (first[k + 1] - '0');
                    digits = true;
                    ++k;
                }
                seconds = digits ? static_cast<int>(n < 1 ? 1 : n) : 60;
            }
        }
        i = 2;
    }
    WindowRecord* rec = nullptr;
    if (i <= call.argc() && chat_is_channel(call.arg(i), conn)) {
        rec = win_find_channel(call.arg(i), conn);
        ++i;
    } else {
        rec = win_record_of(call.window);
        if (rec && (rec->type != kWinChannel || rec->conn != conn || !rec->hwnd.get())) rec = nullptr;
    }
    if (!rec || i > call.argc() || call.arg(i).empty()) return fail(call, "ban", 3);
    const std::string channel = rec->name;
    const std::string target = call.arg(i++);
    if (has_line_break(target) || has_line_break(channel)) return fail(call, "ban", 3);
    int type = 6;
    if (i <= call.argc() && is_integer(call.arg(i))) type = std::atoi(call.arg(i++).c_str());
    const std::string message = args_from(call, i);

    std::string mask;
    std::string kick_nick;
    if (target.find_first_of("@!.") != std::string::npos) {
        mask = target;
        mask_default_ban(mask);
        if (mask.find('*') == std::string::npos) mask_address(mask, type, conn_is_ircx(conn));
        const std::string nick_part = target.substr(0, target.find('!'));
        if (target.find('!') != std::string::npos && !nick_part.empty() &&
            nick_part.find_first_of("*?") == std::string::npos)
            kick_nick = nick_part;
    } else {
        IalResult found;
        ial_lookup(target, found, conn);
        std::string address = found.text;
        if (address.empty() || !mask_address(address, type, conn_is_ircx(conn))) {
            const int purpose = remove ? kUhUnban : kUhBan;
            if (!irc_userhost_request_on(conn, target, message, std::string(), channel, type, seconds,
                                         rec->hwnd.get(), kick ? 1 : 0, purpose, 0, call.show))
                return fail(call, "ban", 3);
            return kScriptDone;
        }
        mask = address;
        kick_nick = target;
    }
    if (remove) {
        irc_send_line("MODE " + channel + " -b " + mask + "\n", 0, conn);
        return kScriptDone;
    }
    irc_send_line("MODE " + channel + " +b " + mask + "\n", 0, conn);
    if (!conn_is_live(conn)) return kScriptDone;
    if (kick && !kick_nick.empty()) irc_send_line("KICK " + channel + " " + kick_nick + " :" + message + "\n", 0, conn);
    if (seconds >= 1 && conn_is_live(conn)) {
        chan_timed_ban_add(channel, mask, seconds, conn);
    }
    return kScriptDone;
}

int cmd_ialclear(CommandCall& call)
{
    const std::string word = call.tokens.empty() ? std::string("ialclear") : call.tokens[0];
    Connection* conn = conn_of(call);
    if (word == "ial") return cmd_ial(call, conn);
    if (word == "ialmark") return cmd_ialmark(call, conn);
    if (!conn) return kScriptDone;
    if (call.argc() >= 1 && !call.arg(1).empty()) ial_forget_nick(nullptr, call.arg(1), 1, conn);
    else ial_clear(0, conn);
    return kScriptDone;
}

int abook_page_of(const std::string& switches)
{
    static const char order[] = "wnclh";
    int page = 0;
    for (char c : switches) {
        const char l = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        for (int k = 0; k < 5; ++k)
            if (order[k] == l && k + 1 > page) page = k + 1;
    }
    return page;
}

int cmd_abook(CommandCall& call)
{
    if (!call.tokens.empty() && call.tokens[0] == "uwho") return cmd_uwho(call);
    int page = 0;
    std::size_t i = 1;
    if (call.argc() >= 1 && !call.arg(1).empty() && call.arg(1)[0] == '-') {
        page = abook_page_of(call.arg(1).substr(1));
        i = 2;
    }
    const std::string name = i <= call.argc() ? call.arg(i).substr(0, kShortText) : std::string();
    if (!abook_open) return script_error_not_available('/', "abook");
    abook_open(page, name);
    return kScriptDone;
}

void list_commands_register()
{
    script_register_command_family("cmd_ban", cmd_ban);
    script_register_command_family("cmd_ialclear", cmd_ialclear);
    script_register_command_family("cmd_abook", cmd_abook);
}

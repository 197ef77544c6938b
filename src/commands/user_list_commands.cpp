#include "commands/user_list_commands.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <vector>

#include "irc/link/connections.h"
#include "model/connection.h"
#include "commands/command_conn.h"
#include "commands/command_replies.h"
#include "commands/messaging_commands.h"
#include "core/main_settings.h"
#include "core/numbered_texts.h"
#include "core/options.h"
#include "core/string_list.h"
#include "core/text_buffer.h"
#include "core/text_limits.h"
#include "core/wildcard.h"
#include "model/colors.h"
#include "irc/lists/address_list.h"
#include "irc/lists/ignore_list.h"
#include "irc/lists/user_lists.h"
#include "irc/numerics/isupport.h"
#include "script/events/users.h"
#include "script/exec/script_types.h"

namespace {

bool is_integer(const std::string& t)
{
    return !t.empty() && t.size() <= 9 && text_is_digits(t);
}

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

// The network of the connection while it is connected or connecting.
std::string conn_network(Connection* conn)
{
    std::string net;
    if (conn_is_connected(conn) || conn_is_connecting(conn)) conn_get_network(net, conn);
    return net;
}

// One list's vocabulary.
struct ListKind {
    const char* word;
    int list;          // -1 the ignore list, else a UserListKind
    OptionId enabled;
    int text_list, text_empty, text_on, text_off, text_cleared;
    int purpose;
};

const ListKind kIgnoreKind{"ignore", -1, OPT_IGNORE_ENABLED, 823, 822, 820, 821, 859, kUhIgnore};
const ListKind kAopKind{"aop", kUserListAop, OPT_AUTO_OP_ENABLED, 777, 776, 711, 712, 778, kUhAop};
const ListKind kAvoiceKind{"avoice", kUserListAvoice, OPT_AUTO_VOICE_ENABLED, 780, 779, 766, 767, 781, kUhAvoice};
const ListKind kProtectKind{"protect", kUserListProtect, OPT_PROTECT_ENABLED, 967, 966, 908, 909, 968, kUhProtect};

StringNode** head_of(const ListKind& k)
{
    return k.list < 0 ? &main_settings.ignore_list : userlist_head(k.list);
}

// Network, mask and the comma list of an entry's text.
void split_entry(const std::string& text, std::string& mask, std::string& items, std::string& net)
{
    std::string rest = text;
    net = userlist_split_network(rest);
    const std::size_t comma = rest.find(',');
    mask = rest.substr(0, comma);
    items = comma == std::string::npos ? std::string() : rest.substr(comma + 1);
}

// "-l" or "-l<letters>": the entries, filtered by the type letters.
void list_entries(CommandCall& call, const ListKind& k, const std::string& letters, Connection* conn)
{
    const std::string here_net = conn_is_connected(conn) ? conn_network(conn) : std::string();
    std::vector<std::string> lines;
    for (StringNode* n = *head_of(k); n; n = n->next) {
        std::string mask, items, net;
        split_entry(n->text, mask, items, net);
        if (!net.empty() && !here_net.empty() && !text_equal_nocase(net, here_net)) continue;
        std::string inner;
        if (k.list < 0) {
            const IgnoreEntryParts p = ignore_entry_parts(n->text);
            for (int t = 0; t < 8; ++t)
                for (const std::string& w : p.types)
                    if (text_equal_nocase(w, kIgnoreTypeWords[t])) {
                        inner += kIgnoreTypeLetters[t];
                        break;
                    }
            if (!letters.empty() && inner.find_first_of(letters) == std::string::npos && !p.types.empty()) continue;
            if (p.types.empty()) inner = "all";
        } else {
            inner = items.empty() ? "all channels" : items;
        }
        std::string line = mask + " (" + inner + ")";
        if (k.list < 0) {
            const int secs = ignore_timed_seconds(mask);
            if (secs > 0) line += " [" + std::to_string(std::max(1, secs / 60)) + "]";
        }
        if (!net.empty()) line += " - " + net;
        lines.push_back(line.substr(0, kLongText));
    }
    if (!call.show) return;
    if (lines.empty()) {
        command_show(call, conn, kColorInfoText, text_load_string(k.text_empty));
        return;
    }
    userlist_print(call.window, kColorInfoText, text_load_string(k.text_list), 0);
    for (const std::string& l : lines) userlist_print(call.window, kColorInfoText, l, 0);
}

// Runs one edit on the list.
void edit(const ListKind& k, QWidget* window, int action, const std::string& mask, const std::string& items,
          int seconds, int echo, Connection* conn)
{
    switch (k.list) {
    case -1: ignore_edit(window, action, mask, &items, seconds, echo, conn); break;
    case kUserListAop: userlist_aop_edit(window, action, mask, &items, echo, conn); break;
    case kUserListAvoice: userlist_avoice_edit(window, action, mask, &items, echo, conn); break;
    default: userlist_protect_edit(window, action, mask, &items, echo, conn); break;
    }
}

int clear_list(CommandCall& call, const ListKind& k, bool whole, Connection* conn)
{
    const std::string net = whole || !conn_is_connected(conn) ? std::string("*") : conn_network(conn);
    if (k.list < 0) {
        ignore_clear(net.empty() ? "*" : net);
    } else {
        StringNode** head = head_of(k);
        for (StringNode* n = *head; n;) {
            StringNode* next = n->next;
            std::string mask, items, entry_net;
            split_entry(n->text, mask, items, entry_net);
            if (net == "*" || net.empty() || entry_net.empty() || text_equal_nocase(entry_net, net))
                *head = strlist_remove(*head, n);
            n = next;
        }
        userlist_recolor();
    }
    command_show(call, conn, kColorInfo2Text, text_load_string(k.text_cleared));
    return kScriptDone;
}

int list_command(CommandCall& call, const ListKind& k)
{
    Connection* conn = conn_of(call);
    const std::string& first = call.arg(1);
    if (call.argc() == 0) {
        command_show(call, conn, kColorInfo2Text, text_load_string(opt(k.enabled) ? k.text_on : k.text_off));
        return kScriptDone;
    }
    if (call.argc() == 1 && (text_equal_nocase(first, "on") || text_equal_nocase(first, "off"))) {
        opt_set(k.enabled, text_equal_nocase(first, "on") ? 1 : 0);
        userlist_recolor();
        command_show(call, conn, kColorInfo2Text, text_load_string(opt(k.enabled) ? k.text_on : k.text_off));
        return kScriptDone;
    }
    std::size_t i = 1;
    int action = 1;
    bool no_net = false;
    int seconds = 0;
    std::string letters;
    if (!first.empty() && first[0] == '-') {
        const std::string sw = text_lower_copy(first);
        if (sw.find('l') != std::string::npos) {
            std::string filter;
            for (char c : sw)
                if (c != '-' && c != 'l' && std::string_view(kIgnoreTypeLetters).find(c) != std::string_view::npos)
                    filter += c;
            list_entries(call, k, filter, conn);
            return kScriptDone;
        }
        for (std::size_t p = 1; p < sw.size(); ++p) {
            const char c = sw[p];
            if (c == 'a') action = 1;
            else if (c == 'r') action = 2;
            else if (c == 'w') no_net = true;
            else if (c == 'u') {
                std::size_t q = p + 1;
                while (q < sw.size() && std::isdigit(static_cast<unsigned char>(sw[q]))) ++q;
                seconds = q > p + 1 ? std::max(1, std::atoi(sw.substr(p + 1, std::min<std::size_t>(q - p - 1, 6)).c_str())) : 60;
                p = q - 1;
            } else if (k.list < 0 && std::string_view(kIgnoreTypeLetters).find(c) != std::string_view::npos) {
                if (letters.find(c) == std::string::npos) letters += c;
            }
        }
        i = 2;
        if (call.argc() < 2) {
            if (action == 2) return clear_list(call, k, no_net, conn);
            return command_fail(call, k.word, 0);
        }
    }
    const std::string mask = call.arg(i++);
    if (mask.empty()) return command_fail(call, k.word, 0);

    // The types, or the channels.
    std::string items;
    if (k.list < 0) {
        for (int t = 0; t < 8; ++t)
            if (letters.find(kIgnoreTypeLetters[t]) != std::string::npos) items += std::string(",") + kIgnoreTypeWords[t];
        if (letters.empty()) {
            for (int t = 0; t < 7; ++t) items += std::string(",") + kIgnoreTypeWords[t];
            if (action == 2) items += ",exclude";
        }
        items.erase(0, 1);
    } else {
        while (i <= call.argc() && !is_integer(call.arg(i)) && isupport_is_chantype(call.arg(i).c_str(), conn)) {
            if (!items.empty()) items += ',';
            items += call.arg(i++);
            if (items.size() > kMediumText) break;
        }
    }
    // A mask type and a network, in either order.
    int mask_type = -1;
    std::string network;
    for (int round = 0; round < 2 && i <= call.argc(); ++round) {
        const std::string& a = call.arg(i);
        if (is_integer(a) && mask_type < 0) mask_type = std::atoi(a.c_str());
        else if (network.empty()) network = a.substr(0, kShortText);
        else break;
        ++i;
    }
    if (!network.empty()) network.erase(std::remove(network.begin(), network.end(), '"'), network.end());
    if (network.empty() && !no_net) network = conn_network(conn);
    if (!network.empty()) items += (items.empty() ? "" : ",") + std::string("\"") + network + "\"";

    if (mask_type >= 0) {
        if (!conn_is_connected(conn)) return command_fail(call, k.word, 12);
        IalResult found;
        if (mask.find_first_of("!@") == std::string::npos && ial_lookup(mask, found, conn)) {
            std::string address = found.text.find('!') == std::string::npos ? mask + "!" + found.text : found.text;
            mask_address(address, mask_type, conn_is_ircx(conn));
            edit(k, call.window, action, address, items, seconds, call.show, conn);
        } else {
            irc_userhost_request(mask, items, std::string(), std::string(), mask_type, seconds, call.window, action,
                                 k.purpose, 0, call.show);
        }
        return kScriptDone;
    }
    edit(k, call.window, action, mask, items, seconds, call.show, conn);
    return kScriptDone;
}

}  // namespace

int cmd_ignore(CommandCall& call) { return list_command(call, kIgnoreKind); }
int cmd_aop(CommandCall& call) { return list_command(call, kAopKind); }
int cmd_avoice(CommandCall& call) { return list_command(call, kAvoiceKind); }
int cmd_protect(CommandCall& call) { return list_command(call, kProtectKind); }

// /auser [-a] levels address [info]; /guser [-a] levels nick [type] [info];
// /iuser address [info]
int cmd_auser(CommandCall& call)
{
    const std::string word = call.tokens.empty() ? std::string("auser") : call.tokens[0];
    Connection* conn = conn_of(call);
    if (word == "iuser") {
        if (call.argc() < 1 || call.arg(1).empty()) return command_fail(call, "iuser", 0);
        users_add_levels(std::string(), std::string(), 2, call.window, call.arg(1), args_from(call, 2), call.show);
        return kScriptDone;
    }
    std::size_t i = 1;
    int mode = 1;
    if (text_equal_nocase(call.arg(1), "-a")) {
        mode = 0;
        i = 2;
    }
    if (call.argc() < i + 1 || call.arg(i).empty() || call.arg(i + 1).empty()) return command_fail(call, word.c_str(), 0);
    const std::string levels = call.arg(i);
    const std::string who = call.arg(i + 1);
    i += 2;
    if (word != "guser") {
        users_add_levels(std::string(), levels, mode, call.window, who, args_from(call, i), call.show);
        return kScriptDone;
    }
    int type = 6;
    if (is_integer(call.arg(i))) type = std::atoi(call.arg(i++).c_str());
    const std::string info = args_from(call, i);
    IalResult found;
    if (conn && ial_lookup(who, found, conn)) {
        std::string address = found.text.find('!') == std::string::npos ? who + "!" + found.text : found.text;
        mask_address(address, type, conn_is_ircx(conn));
        users_add_levels(who, levels, mode, call.window, address, info, call.show);
        return kScriptDone;
    }
    if (!conn_is_connected(conn)) return command_fail(call, "guser", 12);
    irc_userhost_request(who, levels, info, std::string(), type, 0, call.window, mode, kUhGuser, 0, call.show);
    return kScriptDone;
}

// /ruser [levels] nick-or-address [type]
int cmd_ruser(CommandCall& call)
{
    Connection* conn = conn_of(call);
    if (call.argc() < 1 || call.arg(1).empty()) return command_fail(call, "ruser", 0);
    std::string levels;
    std::size_t i = 1;
    if (call.argc() >= 2 && !is_integer(call.arg(2))) {
        levels = call.arg(1);
        i = 2;
    }
    const std::string who = call.arg(i++);
    if (who.empty()) return command_fail(call, "ruser", 0);
    if (!is_integer(call.arg(i))) {
        users_remove(who, levels, call.window, call.show);
        return kScriptDone;
    }
    if (!conn_is_connected(conn)) return command_fail(call, "ruser", 12);
    const int type = std::atoi(call.arg(i).c_str());
    IalResult found;
    if (ial_lookup(who, found, conn)) {
        std::string address = found.text.find('!') == std::string::npos ? who + "!" + found.text : found.text;
        mask_address(address, type, conn_is_ircx(conn));
        users_remove(address, levels, call.window, call.show);
        return kScriptDone;
    }
    irc_userhost_request(who, levels, std::string(), std::string(), type, 0, call.window, 0, kUhRuser, 0, call.show);
    return kScriptDone;
}

// /rlevel level, /rlevel -r levels
int cmd_rlevel(CommandCall& call)
{
    Connection* conn = conn_of(call);
    int changed = 0;
    if (text_equal_nocase(call.arg(1), "-r")) {
        if (call.argc() < 2 || call.arg(2).empty()) return command_fail(call, "rlevel", 0);
        const std::string levels = call.arg(2);
        changed = users_remove_levels(std::string(), &levels);
    } else {
        if (call.argc() < 1 || call.arg(1).empty()) return command_fail(call, "rlevel", 0);
        changed = users_remove_levels(call.arg(1), nullptr);
    }
    command_show(call, conn, kColorInfo2Text,
         changed ? text_fill_id(920, {std::to_string(changed)}) : std::string(text_load_string(921)));
    return kScriptDone;
}

// /dlevel [level]
int cmd_dlevel(CommandCall& call)
{
    if (call.argc() >= 1 && !call.arg(1).empty()) {
        long v = std::atol(call.arg(1).substr(0, 9).c_str());
        user_default_level = static_cast<int>(std::clamp(v, 1L, 999L));
        opt_set(OPT_DEFAULT_USER_LEVEL, user_default_level);
    }
    command_show(call, conn_of(call), kColorInfoText, text_fill_id(739, {std::to_string(user_default_level)}));
    return kScriptDone;
}

// /ulist [<|>]level
int cmd_ulist(CommandCall& call)
{
    if (call.argc() < 1) return command_fail(call, "ulist", 0);
    std::string level = call.arg(1);
    int op = 2;
    if (!level.empty() && (level[0] == '<' || level[0] == '>')) {
        op = level[0] == '<' ? 3 : 4;
        level.erase(0, 1);
    }
    if (level.empty()) return command_fail(call, "ulist", 3);
    if (!call.show) return kScriptDone;
    userlist_print(call.window, kColorInfo2Text, text_load_string(956), 0);
    for (const std::string& line : users_matching(level, op)) userlist_print(call.window, kColorInfo2Text, line, 0);
    userlist_print(call.window, kColorInfo2Text, text_load_string(957), 0);
    return kScriptDone;
}

void user_list_commands_register()
{
    script_register_command_family("cmd_ignore", cmd_ignore);
    script_register_command_family("cmd_aop", cmd_aop);
    script_register_command_family("cmd_avoice", cmd_avoice);
    script_register_command_family("cmd_protect", cmd_protect);
    script_register_command_family("cmd_auser", cmd_auser);
    script_register_command_family("cmd_ruser", cmd_ruser);
    script_register_command_family("cmd_rlevel", cmd_rlevel);
    script_register_command_family("cmd_dlevel", cmd_dlevel);
    script_register_command_family("cmd_ulist", cmd_ulist);
}

#include "identifiers/user_list_identifiers.h"

#include <cstdlib>
#include <string>

#include "model/connection.h"
#include "core/main_settings.h"
#include "core/string_list.h"
#include "core/text_buffer.h"
#include "core/wildcard.h"
#include "identifiers/tokens.h"
#include "irc/lists/ignore_list.h"
#include "irc/lists/user_lists.h"
#include "script/events/users.h"
#include "script/exec/script_text.h"

namespace {

constexpr int kMaxIndex = 9998;

std::size_t skip_blanks(std::string_view t, std::size_t i)
{
    while (i < t.size() && t[i] == ' ')
        ++i;
    return i;
}

// ---- $level( ----

int id_level(IdentCall& call)
{
    const std::string& a = ident_arg(call, 0);
    std::string out = std::to_string(user_default_level);
    if (!a.empty()) {
        const std::size_t bang = a.find('!');
        const std::string nick = a.substr(0, bang);
        const std::string address = bang == std::string::npos ? std::string() : a.substr(bang + 1);
        std::string levels;
        user_levels_of_address(nick, address.empty() ? nullptr : &address, &levels, nullptr, nullptr);
        std::size_t k = 0;
        while (k < levels.size() && (levels[k] == '=' || levels[k] == ' '))
            ++k;
        if (k < levels.size())
            out = levels.substr(k);
    }
    return ident_result(call, out);
}

// ---- $ulist( and $maddress( ----

// The position of the mask of an entry line "levels:mask [info]", or -1.
int entry_mask_at(std::string_view line)
{
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos)
        return -1;
    const std::size_t at = skip_blanks(line, colon + 1);
    return at < line.size() ? static_cast<int>(at) : -1;
}

int id_maddress(IdentCall& call)
{
    std::string out;
    const int argc = ident_arg_count(call);
    const std::string& a = ident_arg(call, 0);
    if (a.empty())
        return ident_result(call, out);
    std::string level = argc == 3 ? ident_arg(call, 1) : std::string();
    if (level == "*")
        level.clear();
    long n = argc == 1 ? 1 : std::strtol(ident_arg(call, argc - 1).c_str(), nullptr, 10);
    if (n < 0)
        n = 0;
    const bool every = a == "*";
    std::string nick = "*";
    std::string address = "*@*.*";
    if (!every) {
        std::string full = a;
        mask_default_ban(full);
        const std::size_t bang = full.find('!');
        nick = full.substr(0, bang);
        address = bang == std::string::npos ? std::string() : full.substr(bang + 1);
        if (address.empty())
            address = "*@*.*";
    }
    long seen = 0;
    const StringNode* found = nullptr;
    int found_at = -1;
    for (const StringNode* line = users_file_lines(); line; line = line->next) {
        if (!users_line_enabled(line))
            continue;
        const int at = every && level.empty() ? entry_mask_at(line->text)
                                              : users_line_match(line->text, nick, &address, level, 0, nullptr, nullptr);
        if (at < 0)
            continue;
        if (++seen == n) {
            found = line;
            found_at = at;
            break;
        }
    }
    if (n == 0) {
        out = std::to_string(seen);
    } else if (found) {
        const std::string_view rest = std::string_view(found->text).substr(static_cast<std::size_t>(found_at));
        const std::size_t blank = rest.find(' ');
        const std::string_view prop = ident_property(call);
        if (prop.empty())
            out = rest.substr(0, blank);
        else if (text_equal_nocase(prop, "info") && blank != std::string_view::npos)
            out = rest.substr(skip_blanks(rest, blank));
    }
    return ident_result(call, out);
}

// ---- $aop( $auto( $avoice( $protect( $ignore( ----

enum ListWord { kAop, kAvoice, kProtect, kIgnore };

StringNode* list_head(ListWord w)
{
    switch (w) {
    case kAop: return *userlist_head(kUserListAop);
    case kAvoice: return *userlist_head(kUserListAvoice);
    case kProtect: return *userlist_head(kUserListProtect);
    case kIgnore: return main_settings.ignore_list;
    }
    return nullptr;
}

// The first entry that the address matches by the list's own rule.
StringNode* list_match(ListWord w, const std::string& address, Connection* conn)
{
    switch (w) {
    case kAop: return userlist_aop_match(address, nullptr, nullptr, conn);
    case kAvoice: return userlist_avoice_match(address, nullptr, nullptr, conn);
    case kProtect: {
        const std::size_t bang = address.find('!');
        const bool full = bang != std::string::npos && address.find('@', bang) != std::string::npos;
        return userlist_protect_match_address(address.substr(0, bang), full ? address : std::string(), nullptr,
                                              nullptr, conn);
    }
    case kIgnore: return ignore_match(address, nullptr, nullptr, conn);
    }
    return nullptr;
}

int id_userlist_on(IdentCall& call)
{
    std::string out;
    const std::string& a = ident_arg(call, 0);
    if (a.empty())
        return ident_result(call, out);
    const std::string_view word = ident_word(call);
    const ListWord w = text_equal_nocase(word, "avoice")    ? kAvoice
                       : text_equal_nocase(word, "protect") ? kProtect
                       : text_equal_nocase(word, "ignore")  ? kIgnore
                                                            : kAop;
    Connection* conn = conn_is_live(call.conn()) ? call.conn() : nullptr;
    const StringNode* entry = nullptr;
    if (arg_is_integer(a)) {
        long n = std::strtol(a.c_str(), nullptr, 10);
        if (n > kMaxIndex)
            n = kMaxIndex;
        long seen = 0;
        for (const StringNode* e = list_head(w); e; e = e->next)
            if (++seen == n) {
                entry = e;
                break;
            }
        if (n <= 0)
            out = std::to_string(seen);
    } else {
        entry = list_match(w, a, conn);
    }
    if (entry) {
        std::string text = entry->text;
        const std::string network = userlist_split_network(text);
        const std::size_t comma = text.find(',');
        const std::string mask = text.substr(0, comma);
        const std::string_view prop = ident_property(call);
        if (prop.empty())
            out = mask;
        else if (text_equal_nocase(prop, "type"))
            out = comma == std::string::npos ? std::string() : text.substr(comma + 1);
        else if (text_equal_nocase(prop, "network"))
            out = network;
        else if (text_equal_nocase(prop, "secs"))
            out = std::to_string(w == kIgnore ? ignore_timed_seconds(mask) : 0);
    }
    return ident_result(call, out);
}

} // namespace

void user_list_identifiers_register()
{
    ident_register_family("id_level", id_level);
    ident_register_family("id_maddress", id_maddress);
    ident_register_family("id_userlist_on", id_userlist_on);
}

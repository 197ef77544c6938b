#include "dcc/dcc_dialogs_trusted.h"

#include <string>
#include <string_view>
#include <vector>

#include "core/ini.h"
#include "core/main_settings.h"
#include "core/string_list.h"
#include "core/text_buffer.h"
#include "core/wildcard.h"
#include "script/events/users.h"

StringNode* dcc_trusted_list = nullptr;

namespace {

std::string_view without_equals(std::string_view word)
{
    while (!word.empty() && word.front() == '=')
        word.remove_prefix(1);
    return word;
}

std::vector<std::string_view> words_of(std::string_view text, std::string_view separators)
{
    std::vector<std::string_view> out;
    std::size_t p = 0;
    while (p < text.size()) {
        const std::size_t q = text.find_first_of(separators, p);
        const std::string_view w = text.substr(p, q == std::string_view::npos ? std::string_view::npos : q - p);
        if (!w.empty())
            out.push_back(w);
        if (q == std::string_view::npos)
            break;
        p = q + 1;
    }
    return out;
}

bool level_entry_trusts(std::string_view entry, const std::string& nick, const std::string* rest)
{
    std::string levels = userlist_levels(nick, rest);
    if (levels.empty() && rest)
        levels = userlist_levels(nick, nullptr);
    std::string packed;
    for (char c : levels)
        if (c != ' ')
            packed += c;
    const std::vector<std::string_view> wanted = words_of(entry, " ,");
    for (std::string_view level : words_of(packed, ",")) {
        const std::string_view l = without_equals(level);
        if (l.empty())
            continue;
        for (std::string_view w : wanted)
            if (text_equal_nocase(without_equals(w), l))
                return true;
    }
    return false;
}

int g_load_listener = 0;
int g_save_listener = 0;

}  // namespace

void trusted_install()
{
    settings_loaded.add_once(g_load_listener, kLoadTrusted, [](SettingsLoad&) { trusted_load(); });
    settings_saving.add_once(g_save_listener, kSettingsSaveTrusted, [] { trusted_save(); });
}

void trusted_uninstall()
{
    settings_loaded.drop(g_load_listener);
    settings_saving.drop(g_save_listener);
}

void trusted_load()
{
    dcc_trusted_list = ini_read_numbered_list("trusted", "n", dcc_trusted_list, main_ini_path, 0);
}

int trusted_save()
{
    return ini_write_numbered_list(dcc_trusted_list, "trusted", "n", 0, main_ini_path);
}

int trusted_match(const std::string& address)
{
    if (address.empty())
        return 0;
    // The nick and the rest are split from a copy: every entry, whatever
    // came before it, sees the whole address.
    const std::size_t bang = address.find('!');
    const std::string nick = address.substr(0, bang);
    const std::string rest = bang == std::string::npos ? std::string() : address.substr(bang + 1);
    for (const StringNode* e = dcc_trusted_list; e; e = e->next) {
        const std::string& entry = e->text;
        if (entry.empty())
            continue;
        if (entry.find_first_of("!@") != std::string::npos) {
            if (wild_match(entry, address, 0, 1))
                return 1;
        } else if (level_entry_trusts(entry, nick, bang == std::string::npos ? nullptr : &rest)) {
            return 1;
        }
    }
    return 0;
}

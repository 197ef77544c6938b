#include "options/default_servers.h"

#include <filesystem>
#include <iterator>
#include <system_error>

#include "core/ini.h"
#include "core/main_settings.h"
#include "core/string_list.h"
#include "irc/lists/servers.h"

const char* const kDefaultServerEntries[] = {
    "Libera.Chat: Random serverSERVER:irc.libera.chat:6665-6667,8000-8002GROUP:Libera.Chat",
    "Libera.Chat: Random SSL serverSERVER:irc.libera.chat:+6697,+7000,+7070GROUP:Libera.Chat",
    "OFTC: Random serverSERVER:irc.oftc.net:6667-6670,7000GROUP:OFTC",
    "OFTC: Random SSL serverSERVER:irc.oftc.net:+6697GROUP:OFTC",
    "DALnet: Random serverSERVER:irc.dal.net:6667-6669,7000GROUP:DALnet",
    "DALnet: Random SSL serverSERVER:irc.dal.net:+6697GROUP:DALnet",
    "EFnet: Random serverSERVER:irc.efnet.org:6667GROUP:EFnet",
    "IRCnet: Random serverSERVER:open.ircnet.net:6667GROUP:IRCnet",
    "QuakeNet: Random serverSERVER:irc.quakenet.org:6667GROUP:QuakeNet",
    "Rizon: Random serverSERVER:irc.rizon.net:6667GROUP:Rizon",
    "Rizon: Random SSL serverSERVER:irc.rizon.net:+6697GROUP:Rizon",
    "Undernet: Random serverSERVER:irc.undernet.org:6667GROUP:Undernet",
};
const int kDefaultServerEntryCount = static_cast<int>(std::size(kDefaultServerEntries));

// The networks a first start picks its server from.
const char* const kDefaultNetworks[] = {"Libera.Chat", "OFTC"};
const int kDefaultNetworkCount = static_cast<int>(std::size(kDefaultNetworks));

namespace {

int g_listener = 0;

int write_list(const char* const* texts, int count, const char* section, const std::string& path)
{
    StringNode* list = nullptr;
    for (int i = 0; i < count; ++i)
        list = strlist_append(list, texts[i], 0);
    const int ok = ini_write_numbered_list(list, section, "n", 0, path);
    strlist_free(&list);
    return ok;
}

} // namespace

int servers_write_defaults(const std::string& path)
{
    std::error_code ec;
    if (path.empty() || std::filesystem::exists(path, ec) || ec)
        return 0;
    return write_list(kDefaultServerEntries, kDefaultServerEntryCount, "servers", path) &&
           write_list(kDefaultNetworks, kDefaultNetworkCount, "networks", path);
}

void default_servers_install()
{
    settings_loaded.add_once(g_listener, kLoadDefaultServers,
                             [](SettingsLoad&) { servers_write_defaults(servers_file()); });
}

void default_servers_uninstall()
{
    settings_loaded.drop(g_listener);
}

// The first connection's identity and local host in the main settings file.
#include "irc/link/identity_settings.h"

#include <cstdint>
#include <string>
#include <string_view>

#include "core/ini.h"
#include "core/main_settings.h"
#include "core/text_buffer.h"
#include "core/text_limits.h"
#include "irc/lists/servers.h"
#include "model/connection.h"

std::string start_nick;
std::string start_anick;

namespace {

int g_identity_listener = 0;
int g_server_listener = 0;
int g_local_listener = 0;
int g_save_listener = 0;

std::string read_key(const char* section, const char* key, std::size_t size)
{
    std::string out;
    ini_read(section, key, "", out, size, main_ini_path);
    return out;
}

void write_key(const char* section, const char* key, const std::string& value)
{
    ini_write(section, key, value.c_str(), main_ini_path);
}

// A field of the record, cut as the record keeps it.
void set_field(std::string& field, std::string_view value)
{
    buf_copy(field, kShortTextSize, value);
}

Connection* first_live_connection()
{
    return conn_is_live(conn_list) ? conn_list : nullptr;
}

// [kest] user, email, nick, anick: the command line's nick wins over the
// file's; the nick in use starts as the stored one.
void load_identity(Connection* first)
{
    std::string* id = first->stored_identity;  // 0 user, 1 email, 2 nick, 3 anick
    set_field(id[0], read_key("kest", "user", kShortTextSize));
    set_field(id[1], read_key("kest", "email", kShortTextSize));
    if (!start_nick.empty())
        set_field(id[2], start_nick);
    if (!start_anick.empty())
        set_field(id[3], start_anick);
    if (id[2].empty())
        set_field(id[2], read_key("kest", "nick", kShortTextSize));
    if (id[3].empty())
        set_field(id[3], read_key("kest", "anick", kShortTextSize));
    set_field(first->live_identity[2], id[2]);
}

// [kest] host: a server-list line for the first connection's server.
void load_server(Connection* first)
{
    const std::string host = read_key("kest", "host", kMediumTextSize);
    if (!host.empty())
        conn_apply_server_entry(host, first);
}

// [local] local, localip, longip: the stored local host.
void load_local_host(Connection* first)
{
    set_field(first->stored_local_host, read_key("local", "local", kShortTextSize));
    set_field(first->stored_local_ip_text, read_key("local", "localip", kShortTextSize));
    first->stored_local_ip = static_cast<std::uint32_t>(settings_decimal(read_key("local", "longip", kShortTextSize)));
}

// The connection's server as a server-list line; empty without a
// description or a host.
std::string server_entry_text(const Connection* conn)
{
    const std::string* id = conn->stored_identity;  // 5 host, 6 description, 7 group, 8 password, 9 port
    if (id[6].empty() || id[5].empty())
        return std::string();
    std::string out = id[6] + "SERVER:" + id[5] + ":" + id[9];
    if (!id[8].empty())
        out += ":" + id[8];
    if (!id[7].empty())
        out += "GROUP:" + id[7];
    return out;
}

}  // namespace

void ini_save_identity(int flags, Connection* conn)
{
    Connection* c = conn_is_live(conn) ? conn : first_live_connection();
    if (!c)
        return;
    if (flags == 0)
        flags = 7;
    if (flags & 1) {
        write_key("kest", "user", c->stored_identity[0]);
        write_key("kest", "email", c->stored_identity[1]);
    }
    if (flags & 2) {
        write_key("kest", "nick", c->stored_identity[2]);
        write_key("kest", "anick", c->stored_identity[3]);
    }
    if (flags & 4)
        write_key("kest", "host", server_entry_text(c));
}

void ini_save_local_host(Connection* conn)
{
    if (!conn_is_live(conn) || conn->local_ip == 0) {
        ini_write("local", nullptr, nullptr, main_ini_path);
        return;
    }
    write_key("local", "local", conn->local_host);
    write_key("local", "localip", conn->local_ip_text);
    write_key("local", "longip", std::to_string(static_cast<unsigned long>(conn->local_ip)));
}

void identity_settings_install()
{
    settings_loaded.add_once(g_identity_listener, kLoadIdentity,
                             [](SettingsLoad& load) { load_identity(load.first); });
    settings_loaded.add_once(g_server_listener, kLoadFirstServer,
                             [](SettingsLoad& load) { load_server(load.first); });
    settings_loaded.add_once(g_local_listener, kLoadLocalHost,
                             [](SettingsLoad& load) { load_local_host(load.first); });
    settings_saving.add_once(g_save_listener, kSettingsSaveIdentity, [] { ini_save_identity(0, nullptr); });
}

void identity_settings_uninstall()
{
    settings_loaded.drop(g_identity_listener);
    settings_loaded.drop(g_server_listener);
    settings_loaded.drop(g_local_listener);
    settings_saving.drop(g_save_listener);
}

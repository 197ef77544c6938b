#include "irc/link/net_settings.h"

#include <cctype>
#include <cstdlib>

#include "model/connection.h"
#include "core/ini.h"
#include "core/secret_cipher.h"
#include "core/text_buffer.h"
#include "core/text_limits.h"

IdentSettings ident_settings;
ProxySettings proxy_settings;

namespace {

const char* const kCipherKey = "vultz";

std::string read_key(const char* section, const char* key, const char* def)
{
    std::string out;
    ini_read(section, key, def, out, kShortTextSize, main_ini_path);
    return out;
}

void write_key(const char* section, const char* key, const std::string& value)
{
    ini_write(section, key, value.c_str(), main_ini_path);
}

bool is_yes(const std::string& v) { return text_equal_nocase(v, "yes"); }

// Cut to 10 characters, then at the first blank.
std::string ident_cut(const std::string& text)
{
    std::string t = text.substr(0, 10);
    std::size_t blank = t.find(' ');
    if (blank != std::string::npos)
        t.resize(blank);
    return t;
}

} // namespace

void ident_settings_load()
{
    ident_settings.enabled = is_yes(read_key("ident", "active", "no"));
    ident_settings.userid = read_key("ident", "userid", "");
    ident_settings.system = read_key("ident", "system", "UNIX");
    if (ident_settings.system.empty())
        ident_settings.system = "UNIX";
    int port = std::atoi(read_key("ident", "port", "113").c_str());
    ident_settings.port = port > 0 && port < 65536 ? port : 113;
}

void ident_settings_save()
{
    write_key("ident", "active", ident_settings.enabled ? "yes" : "no");
    write_key("ident", "userid", ident_settings.userid);
    write_key("ident", "system", ident_settings.system.empty() ? "UNIX" : ident_settings.system);
    write_key("ident", "port", std::to_string(ident_settings.port > 0 ? ident_settings.port : 113));
}

void proxy_settings_load()
{
    ProxySettings& p = proxy_settings;
    p.enabled = is_yes(read_key("socks", "enabled", "no"));
    p.host = text_first_word_of(read_key("socks", "hostname", ""));
    int port = std::atoi(read_key("socks", "port", "1080").c_str());
    p.port = port > 0 && port < 65536 ? port : 1080;
    p.userid = text_first_word_of(read_key("socks", "userid", ""));
    p.password = read_key("socks", "pw", "");
    if (!p.password.empty() && !crypt_decrypt_text(p.password, kCipherKey))
        p.password.clear();
    std::string method = read_key("socks", "method", "4");
    p.method = method == "5" ? kProxySocks5 : text_equal_nocase(method, "proxy") ? kProxyHttp : kProxySocks4;
    p.dcc = is_yes(read_key("socks", "dccs", "no"));
    p.use_ip = is_yes(read_key("socks", "useip", "yes"));
    std::string masks;
    ini_read("socks", "masks", "", masks, kMediumTextSize, main_ini_path);
    p.masks = masks;
}

void proxy_settings_save()
{
    const ProxySettings& p = proxy_settings;
    write_key("socks", "enabled", p.enabled ? "yes" : "no");
    write_key("socks", "hostname", p.host);
    write_key("socks", "port", std::to_string(p.port));
    write_key("socks", "userid", p.userid);
    std::string pw = p.password;
    if (!pw.empty() && !crypt_encrypt_text(pw, kCipherKey))
        pw.clear();
    write_key("socks", "pw", pw);
    write_key("socks", "method", p.method == kProxySocks5 ? "5" : p.method == kProxyHttp ? "proxy" : "4");
    write_key("socks", "dccs", p.dcc ? "yes" : "no");
    write_key("socks", "useip", p.use_ip ? "yes" : "no");
    write_key("socks", "masks", p.masks.substr(0, kMediumText));
}

std::string opt_ident_userid(const std::string& text, const Connection* conn)
{
    std::string id = ident_cut(text);
    if (id.empty() && conn_is_live(conn)) {
        const std::string& email = conn->live_identity[1].empty() ? conn->stored_identity[1]
                                                                  : conn->live_identity[1];
        const std::string user = email.substr(0, email.find('@'));
        const std::string& nick = conn->live_identity[2].empty() ? conn->stored_identity[2]
                                                                 : conn->live_identity[2];
        const std::string& full = conn->live_identity[0].empty() ? conn->stored_identity[0]
                                                                 : conn->live_identity[0];
        for (const std::string* candidate : {&user, static_cast<const std::string*>(&nick), static_cast<const std::string*>(&full)}) {
            id = ident_cut(*candidate);
            if (!id.empty())
                break;
        }
    }
    for (char& ch : id) {
        unsigned char c = static_cast<unsigned char>(ch);
        if (!std::isalnum(c) && ch != '-' && ch != '.' && ch != '_')
            ch = '_';
    }
    return id;
}

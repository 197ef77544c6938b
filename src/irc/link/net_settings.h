// The network settings that commands change before the servers that use
// them run: the ident server's settings (section "ident") and the proxy
// ("firewall") settings (section "socks") of the main settings file, and the
// ident user id derived from the identity.
#pragma once

#include <string>

struct Connection;

struct IdentSettings {
    int enabled = 0;                // "active"
    std::string userid;             // "userid", as configured
    std::string system = "UNIX";    // "system"
    int port = 113;                 // "port"
};
extern IdentSettings ident_settings;

// Proxy methods.
constexpr int kProxySocks4 = 0;
constexpr int kProxySocks5 = 1;
constexpr int kProxyHttp = 2;

struct ProxySettings {
    int enabled = 0;          // "enabled"
    std::string host;         // "hostname", first word
    int port = 1080;          // "port"; 0 or empty read as 1080
    std::string userid;       // "userid", first word
    std::string password;     // "pw", enciphered in the file
    int method = kProxySocks4;  // "method": "4", "5" or "proxy"
    int dcc = 0;              // "dccs": DCC links use the proxy
    int use_ip = 1;           // "useip"
    std::string masks;        // "masks": hosts reached directly
};
extern ProxySettings proxy_settings;

// Read and write the two sections of the main settings file.
void ident_settings_load();
void ident_settings_save();
void proxy_settings_load();
void proxy_settings_save();

// The ident user id from a text, else from the connection's e-mail address
// (its user part), nick or full name: cut to 10 characters and at the first
// blank, every character other than a letter, a digit, "-", "." and "_"
// made "_". Empty when all of them are empty.
std::string opt_ident_userid(const std::string& text, const Connection* conn);

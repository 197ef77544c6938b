// Local ports and the local address of DCC sockets, the section "ports" of
// the main settings, and /bindip.
#include <algorithm>
#include <string>

#include "core/ini.h"
#include "core/numbered_texts.h"
#include "core/options.h"
#include "core/random.h"
#include "core/text_buffer.h"
#include "dcc/dcc_engine.h"
#include "irc/dispatch/dispatcher.h"
#include "irc/link/lookups.h"
#include "model/colors.h"
#include "platform/sockets.h"
#include "script/exec/script_types.h"

DccPortSettings dcc_ports;

namespace {

bool is_on(const std::string& v)
{
    return text_equal_nocase(v, "on");
}

std::string read(const char* key, const char* def)
{
    std::string v;
    ini_read("ports", key, def, v, 256, main_ini_path);
    return v;
}

// Binds to the bind address (when binding is on) or to any address.
int bind_local(int s, int port)
{
    if (dcc_ports.bind && !dcc_ports.address.empty()) {
        SockAddr a;
        if (sockaddr_from_text(dcc_ports.address, port, a) && sock_bind(s, a) == 0)
            return 1;
        if (dcc_ports.bind == 2)
            return 0;
    }
    SockAddr any = sockaddr_from_ipv4(0, port);
    return sock_bind(s, any) == 0 ? 1 : 0;
}

int local_port(int s)
{
    SockAddr a;
    return sock_local_address(s, a) == 0 ? sockaddr_port(a) : 0;
}

}  // namespace

void dcc_ports_load()
{
    dcc_ports.dcc = std::atoi(read("dcc", "1").c_str());
    dcc_ports.other = std::atoi(read("other", "0").c_str());
    dcc_ports.random = is_on(read("random", "off"));
    dcc_ports.bind = is_on(read("bind", "off")) ? 1 : 0;
    dcc_ports.address = read("address", "");
}

void dcc_ports_save()
{
    ini_write("ports", "dcc", std::to_string(dcc_ports.dcc).c_str(), main_ini_path);
    ini_write("ports", "other", std::to_string(dcc_ports.other).c_str(), main_ini_path);
    ini_write("ports", "random", dcc_ports.random ? "on" : "off", main_ini_path);
    ini_write("ports", "bind", dcc_ports.bind ? "on" : "off", main_ini_path);
    ini_write("ports", "address", dcc_ports.address.c_str(), main_ini_path);
}

int dcc_port_in_use(int port)
{
    int used = 0;
    dcc_each_transfer([&](DccTransfer* t) {
        if (t->state != kDccClosed && t->port == port && (t->listen_socket >= 0 || t->socket >= 0))
            used = 1;
    });
    return used;
}

int dcc_listen_socket(int kind, int* port)
{
    if (kind != 0 && kind != 2)
        return -1;
    if (port)
        *port = 0;
    int first = opt(OPT_DCC_FIRST_PORT);
    int last = opt(OPT_DCC_LAST_PORT);
    if (first <= 0)
        first = 1;
    if (last < first) {
        first = 1024;
        last = 5000;
    }
    if (dcc_ports.dcc) {
        int start = first;
        if (dcc_ports.random && last > first)
            start = first + static_cast<int>(rng_next() * (last - first + 1)) % (last - first + 1);
        int p = start;
        for (int tried = 0; tried < 50; ++tried) {
            if (!dcc_port_in_use(p)) {
                int s = sock_create(AF_INET, SOCK_STREAM);
                if (s < 0)
                    break;
                // No address reuse, for outgoing links too: a port that
                // another link of ours holds to the same peer would bind
                // and then fail to connect; the next port is tried instead.
                sock_set_option(s, SOL_SOCKET, SO_REUSEADDR, 0);
                if (bind_local(s, p) && (kind == 2 || sock_listen(s, 5) == 0)) {
                    if (port)
                        *port = local_port(s);
                    return s;
                }
                sock_close(s);
            }
            p = p >= last ? first : p + 1;
            if (p == start)
                break;
        }
    }
    int s = sock_create(AF_INET, SOCK_STREAM);
    if (s < 0)
        return -1;
    if (kind == 2 && !(dcc_ports.bind && !dcc_ports.address.empty()) && !port)
        return s;
    if (!bind_local(s, 0) || (kind == 0 && sock_listen(s, 5) != 0)) {
        sock_close(s);
        return -1;
    }
    if (port)
        *port = local_port(s);
    return s;
}

int cmd_bindip(CommandCall& call)
{
    std::size_t i = 1;
    const std::string& first = call.arg(1);
    if (text_equal_nocase(first, "on")) {
        dcc_ports.bind = 1;
        ++i;
    } else if (text_equal_nocase(first, "off")) {
        dcc_ports.bind = 0;
        ++i;
    }
    const std::string& address = call.arg(i);
    if (!address.empty() && dns_is_ip_mask(address) && address.size() <= 256)
        dcc_ports.address = address;
    if (call.show)
        irc_status_echo(call.conn, static_cast<int>(kColorInfoText),
                        dcc_ports.bind ? text_fill_id(970, {dcc_ports.address}) : text_load_string(971));
    dcc_ports_save();
    return kScriptDone;
}

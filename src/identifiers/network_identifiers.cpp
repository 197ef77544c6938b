#include "identifiers/network_identifiers.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "model/connection.h"
#include "model/window_record.h"
#include "commands/window_commands.h"
#include "tools/url_catcher.h"
#include "core/string_list.h"
#include "core/text_buffer.h"
#include "identifiers/tokens.h"
#include "irc/lists/servers.h"
#include "script/exec/script_text.h"

namespace {

// One listening socket on the port; true when it could be made.
bool can_listen(int port, std::uint32_t address)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return false;
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(static_cast<std::uint16_t>(port));
    sa.sin_addr.s_addr = htonl(address);
    const bool ok = ::bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0 && ::listen(fd, 1) == 0;
    ::close(fd);
    return ok;
}

int id_portfree(IdentCall& call)
{
    std::string out;
    if (!ident_arg(call, 0).empty())
        out = port_is_free(static_cast<int>(std::strtol(ident_arg(call, 0).c_str(), nullptr, 10))) ? "$true" : "$false";
    return ident_result(call, out);
}

int id_link(IdentCall& call)
{
    std::string out;
    Connection* conn = call.conn();
    const std::string& a = ident_arg(call, 0);
    WindowRecord* rec = conn_is_live(conn) && !a.empty() ? win_find_by_type(kWinLinks, conn) : nullptr;
    if (!rec)
        return ident_result(call, out);
    long n = std::strtol(a.c_str(), nullptr, 10);
    if (n > 9998)
        n = 9998;
    long seen = 0;
    for (const StringNode* line = rec->lines; line; line = line->next) {
        if (++seen == n && n >= 1) {
            link_line_part(line->text, ident_property(call), out);
            return ident_result(call, out);
        }
    }
    if (n <= 0)
        out = std::to_string(seen);
    return ident_result(call, out);
}

// An integer argument (an optional sign, then digits) selects by position.
bool is_index(std::string_view text)
{
    if (!text.empty() && (text[0] == '-' || text[0] == '+'))
        text.remove_prefix(1);
    return text_is_digits(text);
}

// $server(N|address): the entries of the server list.
int id_server(IdentCall& call)
{
    const std::string& a = ident_arg(call, 0);
    std::string out;
    if (a.empty())
        return ident_result(call, out);
    const bool by_index = is_index(a);
    long n = by_index ? std::strtol(a.c_str(), nullptr, 10) : 0;
    if (n > 9998)
        n = 9998;
    long seen = 0;
    for (const StringNode* e = servers_list(); e; e = e->next) {
        ++seen;
        if (by_index ? seen != n : !text_equal_nocase(servers_parse_entry(e->text).host, a))
            continue;
        server_entry_part(e->text, ident_property(call), out);
        return ident_result(call, out);
    }
    if (by_index && n <= 0)
        out = std::to_string(seen);
    return ident_result(call, out);
}

// $url(N): the entries of the URL list ("?:descriptionURL:address").
int id_url_of(IdentCall& call)
{
    std::string out;
    const std::string& a = ident_arg(call, 0);
    if (a.empty())
        return ident_result(call, out);
    long n = std::strtol(a.c_str(), nullptr, 10);
    if (n > 9998)
        n = 9998;
    if (n <= 0) {
        out = std::to_string(url_count());
        return ident_result(call, out);
    }
    const StringNode* entry = url_entry_at(static_cast<int>(n));
    if (!entry)
        return ident_result(call, out);
    const std::string& e = entry->text;
    const std::size_t url = e.find("URL:");
    const std::string_view prop = ident_property(call);
    if (prop.empty() || text_equal_nocase(prop, "addr")) {
        if (url != std::string::npos)
            out = e.substr(url + 4);
    } else if (text_equal_nocase(prop, "group") || text_equal_nocase(prop, "marker")) {
        out = e.substr(0, 1);
    } else if (text_equal_nocase(prop, "desc")) {
        if (e.size() > 2)
            out = e.substr(2, url == std::string::npos || url < 2 ? std::string::npos : url - 2);
    }
    return ident_result(call, out);
}

} // namespace

void server_entry_part(const std::string& entry, std::string_view prop, std::string& out)
{
    const ServerEntry e = servers_parse_entry(entry);
    out.clear();
    if (prop.empty() || text_equal_nocase(prop, "addr"))
        out = e.host;
    else if (text_equal_nocase(prop, "desc"))
        out = e.description;
    else if (text_equal_nocase(prop, "port"))
        out = e.ports;
    else if (text_equal_nocase(prop, "pass"))
        out = e.password;
    else if (text_equal_nocase(prop, "group"))
        out = e.group;
}

bool port_is_free(int port)
{
    if (port <= 0 || port > 65535)
        return false;
    return can_listen(port, INADDR_ANY) && can_listen(port, INADDR_LOOPBACK);
}

void link_line_part(std::string_view line, std::string_view prop, std::string& out)
{
    out.clear();
    if (prop.empty() || text_equal_nocase(prop, "addr")) {
        std::size_t a = 0;
        while (a < line.size() && (line[a] == ' ' || line[a] == '\t'))
            ++a;
        const std::size_t blank = line.find(' ', a);
        if (blank != std::string_view::npos)
            out = std::string(line.substr(a, blank - a));
    } else if (text_equal_nocase(prop, "ip")) {
        const std::size_t open = line.find('['), close = line.find(']');
        if (open != std::string_view::npos && close != std::string_view::npos && close > open) {
            const std::string inner(line.substr(open + 1, close - open - 1));
            if (inner.find('.') != std::string::npos && std::strtod(inner.c_str(), nullptr) > 0)
                out = inner;
        }
    } else if (text_equal_nocase(prop, "level")) {
        const std::size_t open = line.find('('), close = line.find(')');
        if (open != std::string_view::npos && close != std::string_view::npos && close > open + 1 &&
            line[open + 1] >= '0' && line[open + 1] <= '9')
            out = std::string(line.substr(open + 1, close - open - 1));
    } else if (text_equal_nocase(prop, "info")) {
        std::size_t at = line.find(']');
        if (at == std::string_view::npos)
            at = line.find(')');
        if (at != std::string_view::npos)
            out = std::string(line.substr(at + 1));
    }
}

void network_identifiers_register()
{
    ident_register_family("id_portfree", id_portfree);
    ident_register_family("id_link", id_link);
    ident_register_family("id_server", id_server);
    ident_register_family("id_url_of", id_url_of);
}

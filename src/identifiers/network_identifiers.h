// Connection identifiers of the links list, the server list and the local
// ports: $link( (the lines of the connection's links window), $server( (the
// entries of the server list) and $portfree(.
#pragma once

#include <string>
#include <string_view>

#include "script/exec/script_types.h"

// Whether a listening socket can be opened on the port, on every address
// and on the loopback address.
bool port_is_free(int port);
// A part of a links-list line ("server [address] (hops) info"): no property
// or "addr" the first word, "ip", "level" or "info".
void link_line_part(std::string_view line, std::string_view prop, std::string& out);

// A part of a server-list entry: no property or "addr" the address, "desc",
// "port" (the port list), "pass" or "group"; any other property is empty.
void server_entry_part(const std::string& entry, std::string_view prop, std::string& out);

// Registers the handlers (called from builtin_identifiers_install).
void network_identifiers_register();

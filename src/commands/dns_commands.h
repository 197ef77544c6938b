// /dns: looks up a host, an address or a nick's host.
#pragma once

struct CommandCall;

// /dns [-c] [-h] name.
int cmd_dns(CommandCall& call);
// Registers /dns.
void dns_commands_register();

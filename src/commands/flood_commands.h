// /flood: the outgoing flood protection switch, its four values (byte
// budget, most automatic lines held, most lines per user, ignore seconds),
// emptying the held lines, and the CTCP flood protection switch.
#pragma once

struct CommandCall;

// /flood [+c|-c] [on|off|clear|N [N2 [N3 [N4]]]]
int cmd_flood(CommandCall& call);

// Registers /flood.
void flood_commands_register();

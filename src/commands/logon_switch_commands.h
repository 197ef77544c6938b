// The switches of what a connection does when it logs on or is invited:
// /autojoin, /perform and /ajinvite.
#pragma once

struct CommandCall;

int cmd_ajinvite(CommandCall& call);
int cmd_perform(CommandCall& call);
int cmd_autojoin(CommandCall& call);

// Registers the commands above.
void logon_switch_commands_register();

// /server, /quit, /disconnect and /raw (/quote).
#pragma once

struct CommandCall;

int cmd_server(CommandCall& call);
int cmd_quit(CommandCall& call);
int cmd_disconnect(CommandCall& call);
int cmd_raw(CommandCall& call);
void server_commands_register();

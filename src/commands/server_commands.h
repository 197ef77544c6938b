// Connection and identity commands: /server, /quit, /disconnect, /raw
// (/quote), and the identity and network settings commands of
// identity_commands.cpp (/nick, /mnick, /anick, /tnick, /emailaddr,
// /fullname, /username, /localinfo, /identd, /firewall, /finger,
// /resetidle). /dns lives with the lookups.
#pragma once

#include <string>

struct CommandCall;
struct Connection;
class QWidget;

int cmd_server(CommandCall& call);
int cmd_quit(CommandCall& call);
int cmd_disconnect(CommandCall& call);
void server_commands_register();

int cmd_nick(CommandCall& call);
int cmd_mnick(CommandCall& call);
int cmd_anick(CommandCall& call);
int cmd_tnick(CommandCall& call);
int cmd_emailaddr(CommandCall& call);
int cmd_fullname(CommandCall& call);  // also /username
int cmd_localinfo(CommandCall& call);
int cmd_identd(CommandCall& call);
int cmd_firewall(CommandCall& call);
int cmd_finger(CommandCall& call);
int cmd_resetidle(CommandCall& call);
void identity_commands_register();


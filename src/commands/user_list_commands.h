// The commands that edit the lists deciding how other users are treated:
// /ignore, /aop (/auto), /avoice, /protect, and the remote users list with
// its levels: /auser, /guser, /iuser, /ruser, /rlevel, /dlevel, /ulist.
#pragma once

#include <string>

class QWidget;
struct CommandCall;
struct Connection;

int cmd_ignore(CommandCall& call);
int cmd_aop(CommandCall& call);
int cmd_avoice(CommandCall& call);
int cmd_protect(CommandCall& call);
int cmd_auser(CommandCall& call);   // /auser, /guser, /iuser
int cmd_ruser(CommandCall& call);
int cmd_rlevel(CommandCall& call);
int cmd_dlevel(CommandCall& call);
int cmd_ulist(CommandCall& call);


void user_list_commands_register();

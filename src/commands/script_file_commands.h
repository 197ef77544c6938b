// The script file commands: /alias, /load and /reload, /unload, /save,
// /remote, /enable and /disable, /groups, /saveini, /flushini and /flush.
// Alias files are handled here through the alias store; the remote scripts,
// the users and variables files and the popup files are reached through the
// seams below, which their stores fill in.
#pragma once

#include "script/events/remote_files.h"
#include <string>

struct CommandCall;
struct ScriptFile;
struct EventContext;

int cmd_alias(CommandCall& call);
int cmd_load(CommandCall& call);     // /load and /reload (the word tells them apart)
int cmd_unload(CommandCall& call);
int cmd_save(CommandCall& call);
int cmd_remote(CommandCall& call);
int cmd_enable(CommandCall& call);   // /enable and /disable
int cmd_groups(CommandCall& call);
int cmd_saveini(CommandCall& call);
int cmd_flushini(CommandCall& call);
int cmd_flush(CommandCall& call);

// Remote-store kinds: kRemoteUsers, kRemoteVariables, kRemoteScript.

// Registers the commands with the interpreter and installs the alias store
// (alias_files_install).
void script_file_commands_register();

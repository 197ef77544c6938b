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

// ---- Seams to the other script stores ----

// Remote-store kinds: kRemoteUsers, kRemoteVariables, kRemoteScript.

// Loads a remote file of the kind. For scripts, position N >= 1 puts it at
// place N among the scripts (0: an old copy keeps its place, a new one goes
// last), reload 1 clears its LOAD and START flags, and the running event
// (may be null) forgets the old copy. The store saves its list and
// rebuilds its indexes.
// Returns 1 loaded, 2 the same script is being unloaded (end quietly), 0
// failed. Default: 0.
extern int (*script_remote_load)(const std::string& path, int kind, int position, int reload,
                                 EventContext* running);
// After /load -rs or /reload -rs confirmed a script: fires LOAD and START
// for the scripts whose flags are still pending. Default: nothing.
extern void (*script_remote_fire_pending)(CommandCall& call);
// Unloads the script of that path or bare file name: writes it when
// changed, fires UNLOAD unless no_event, unloads it and saves the list.
// Returns 1 done, 2 already being unloaded, 0 no such script. Default: 0.
extern int (*script_remote_unload)(const std::string& name, int no_event, EventContext* running);
// Saves the users (0) or variables (1) file under the path; 1 on success.
// Default: 0.
extern int (*script_remote_save)(int kind, const std::string& path);
// Loads / saves the popup file of a view (0 status, 1 channel, 2 query,
// 3 nick list, 4 menu bar); 1 on success. Default: 0.
extern int (*script_popup_load)(int view, const std::string& path);
extern int (*script_popup_save)(int view, const std::string& path);
// The group lines of a script changed (/enable, /disable): the store
// recomputes the enabled flags of the file's lines and flags it changed.
// Default: nothing.
extern void (*script_groups_changed)(ScriptFile* file);
// Rebuilds the event index after group changes. Default: nothing.
extern void (*script_event_index_rebuild)();
// Saves the changed popup and remote files for /saveini. Default: nothing.
extern void (*script_saveini_stores)();
// /flush: prunes the users file for the connection; returns the number of
// lines removed. Default: none.
extern int (*script_users_flush)(CommandCall& call, const std::string& levels, int keep_levels);

// Registers the commands with the interpreter and installs the alias store
// (alias_files_install).
void script_file_commands_register();

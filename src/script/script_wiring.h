// Joins the script file commands (/load, /unload, /save, /enable, /disable,
// /groups, /flush, /saveini) and the alias store to the remote script store:
// every seam those commands and the alias index leave for the script files
// is pointed at the store's operations here.
#pragma once

#include <string>
#include <vector>

#include "script/stores/alias_files.h"

struct CommandCall;
struct ScriptFile;
struct EventContext;

// The operations the program points those seams at (usable on their own).
int script_wire_remote_load(const std::string& path, int kind, int position, int reload,
                            EventContext* running);
int script_wire_remote_unload(const std::string& name, int no_event, EventContext* running);
int script_wire_remote_save(int kind, const std::string& path);
// /flush: prunes nick entries of the users file whose nick is on none of
// the connection's channels; returns the number of entries flushed.
int script_wire_users_flush(CommandCall& call, const std::string& levels, int keep_levels);
// The loaded remote scripts for the alias index; a script's groups changed;
// the event index rebuilt; the LOAD event of a /load run; /saveini's stores;
// alias files found by id and checked for being listed.
std::vector<AliasScriptRef> script_wire_loaded_scripts();
void script_wire_groups_changed(ScriptFile* file);
void script_wire_event_index_rebuild();
void script_wire_fire_pending(CommandCall& call);
void script_wire_saveini_stores();
ScriptFile* script_wire_alias_file_by_id(int id);
int script_wire_alias_file_is_live(const ScriptFile* file);

struct StringNode;
// The place of a failing script line among the loaded alias files, then the
// remote files: its 1-based number and the file's name with its extension.
// A file that holds the line itself gives its place; else one that holds
// the list's first line or the definition line gives the place of the last
// of those met. 1 when found.
int script_line_place(const StringNode* line, const StringNode* first,
                      const StringNode* definition, int* number, std::string* file_name);

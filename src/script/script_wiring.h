// Joins the script file commands (/load, /unload, /save, /enable, /disable,
// /groups, /flush, /saveini) and the alias store to the remote script store:
// every seam those commands and the alias index leave for the script files
// is pointed at the store's operations here.
#pragma once

#include <string>

struct CommandCall;
struct EventContext;

// Sets the seams. Call once after the script file commands are registered
// and the event engine is installed; calling it again changes nothing.
void script_files_wire();

// The operations the seams are set to (usable on their own).
int script_wire_remote_load(const std::string& path, int kind, int position, int reload,
                            EventContext* running);
int script_wire_remote_unload(const std::string& name, int no_event, EventContext* running);
int script_wire_remote_save(int kind, const std::string& path);
// /flush: prunes nick entries of the users file whose nick is on none of
// the connection's channels; returns the number of entries flushed.
int script_wire_users_flush(CommandCall& call, const std::string& levels, int keep_levels);

struct StringNode;
// The place of a failing script line among the loaded alias files, then the
// remote files: its 1-based number and the file's name with its extension.
// A file that holds the line itself gives its place; else one that holds
// the list's first line or the definition line gives the place of the last
// of those met. 1 when found.
int script_line_place(const StringNode* line, const StringNode* first,
                      const StringNode* definition, int* number, std::string* file_name);

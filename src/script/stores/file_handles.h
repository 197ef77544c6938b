// Script file handles: files opened under a name of the script's choosing
// and then read, written and searched by that name until they are closed.
// All reading and writing goes straight to the file descriptor, so positions
// are exact byte offsets.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

struct CommandCall;

struct ScriptFileHandle {
    std::string name;   // at most 255 characters
    std::string path;
    int fd = -1;        // -1 when opening failed
    int eof = 0;
    int err = 0;
};

// The handle of that name (case ignored), or null.
ScriptFileHandle* fhandle_find(std::string_view name);
// The N-th handle (1-based), or null.
ScriptFileHandle* fhandle_at(long long n);
std::size_t fhandle_count();
// The handle most recently used, when it is still open.
ScriptFileHandle* fhandle_current();
void fhandle_set_current(ScriptFileHandle* h);
// Closes every handle (shutdown).
void fhandle_close_all();

// Moves the file pointer; the new position or -1.
long long file_seek64(int fd, long long offset, int whence);

// Line scanner: kind 0/1 go to the start of line K counted from the current
// position (1 is the current line), 2 the next line matching the text as a
// wildcard, 3 as a regular expression. Sets the handle's flags. 1 when
// found.
int file_seek_line(ScriptFileHandle& h, long long k, const std::string& text, int kind, bool rewind);

int cmd_fopen(CommandCall& call);
int cmd_fclose(CommandCall& call);
int cmd_flist(CommandCall& call);
int cmd_fseek(CommandCall& call);
int cmd_fwrite(CommandCall& call);

void file_handles_register();

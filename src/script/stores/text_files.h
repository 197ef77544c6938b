// Text and ini files read and changed by scripts one line or key at a time:
// the reading behind $read and $readini and the commands /write, /writeini
// and /remini. Files are opened, used and closed within one call.
#pragma once

#include <string>
#include <string_view>

struct CommandCall;

// What $read asks for.
struct ReadRequest {
    std::string path;          // resolved
    long long line = 0;        // l N (0: none given)
    bool has_line = false;
    bool plain_first = false;  // t: the first line is never a count
    char search = 0;           // 's', 'w', 'r' or 0
    std::string text;          // search text
};

// Reads the line a $read asks for into out. Returns 1 with a line (or the
// count), 0 when there is none, -1 when the file exists but can't be read.
// The last line number ($readn) is set.
int text_read_line(const ReadRequest& req, std::string& out);
// The number of the line the last $read returned (0 when none).
long long text_last_line();

int cmd_write(CommandCall& call);
int cmd_writeini(CommandCall& call);   // /writeini and /remini

void text_files_register();

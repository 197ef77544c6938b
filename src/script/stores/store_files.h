// Helpers shared by the script data stores: file arguments, confirmations
// and bounded line reads.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

class QWidget;

// Fetches the file argument at tokens[index] (double quotes may make it span
// tokens, at most 1,024 characters) and resolves it against the settings
// folder. 1 with the full path in `path` and the index of the last token used
// in *last; 0 when the argument is missing; -1 when it is unusable.
int store_file_arg(const std::vector<std::string>& tokens, std::size_t index, std::string& path,
                   std::size_t* last);

// The path as confirmations show it: relative to the settings folder when it
// lies inside it.
std::string store_shown_path(const std::string& path);

// Prints a confirmation in the Info text colour.
void store_echo(QWidget* window, const std::string& text);

// Reads one line (without its line end) of at most `limit` bytes from the
// buffer at *pos; a longer line is returned in pieces, as a bounded read
// would. False at the end of the buffer.
bool store_next_line(std::string_view data, std::size_t& pos, std::string& line, std::size_t limit);

// A window's whole buffer: clearing it, and reading the tail of a log file
// into it when logging starts again.
#pragma once

#include <string>
#include <vector>

class QWidget;
struct StringNode;
struct WindowRecord;

// Clearing a window's text is win_clear_buffer (display/window_lines.h).

// The items of a window's list box (a custom list window or the side list),
// an item added with a colour (negative: the Listbox text colour), and the
// text view moved to its newest line and redrawn.
// With `colours`, each item's colour too.
void buffer_list_items(WindowRecord* rec, std::vector<std::string>& out, std::vector<int>* colours = nullptr);
void buffer_list_add(WindowRecord* rec, const std::string& text, int colour);
void buffer_view_to_end(WindowRecord* rec);

// Up to count lines from the end of the file, in file order, read backwards
// in blocks of 8,192 bytes (a line longer than a block is not returned).
// Filter bit 1 passes each line through log_reload_filter for the window
// and counts only lines that stay; bit 2 also drops separator lines.
// failed becomes 1 when the file cannot be opened. The caller frees the list.
StringNode* log_read_tail(const std::string& path, int count, int filter, WindowRecord* rec,
                          int* failed);

// The reload filter: the line to keep (its log stamp removed unless the
// window shows stamps itself), or empty for a header line or a separator
// followed by another separator. `following` is the next line of the file.
std::string log_reload_filter(WindowRecord* rec, const std::string& following,
                              const std::string& line, const std::string& stamp);

// Fills a channel or query window with the tail of its logs (the newest
// dated files first, at most 30 days back and 500 lines).
void log_reload_into_window(WindowRecord* rec);

// Saves a window's buffer to a file the user picks (a window with a live
// connection and at least one line; else the error sound). The dialog
// starts in the log folder on the window's log name; a name without "."
// gets ".log".
void win_save_buffer(WindowRecord* rec);
// The writing itself: appends a head line, every line of the buffer but
// the line marker and an end line to the file, and reports the result in
// the connection's status window. 1 when written.
int win_save_buffer_to(WindowRecord* rec, const std::string& path);

// The pending script error: composed by script_error and ident_error
// (declared in script_types.h), placed once with the line and file where it
// happened, and printed once by the outermost run.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

class QWidget;
struct Connection;
struct StringNode;

struct ScriptErrorState {
    std::string text;     // the pending message; empty = none
    int placed = 0;       // the line and file suffix was added
    int depth = 0;        // nesting depth of the run that placed it
    std::int64_t time = 0; // milliseconds since start-up when placed
    int box_open = 0;     // a warning box of type 5 is shown
};
extern ScriptErrorState script_error_state;

// Empties the pending text and clears placed and depth.
void script_error_clear();
// Whether an error is pending.
inline bool script_error_pending() { return !script_error_state.text.empty(); }

// The failing line: the line itself, the first line of its list and the
// definition line of the alias or event.
struct ScriptLineLocator {
    const StringNode* line = nullptr;
    const StringNode* first = nullptr;
    const StringNode* definition = nullptr;
};

// When an error is pending and not placed: adds " (Satır N, file)" when a
// loaded script file holds the line, then sets placed, depth and time. With
// show, prints the pending error into the window and clears it.
void script_error_locate(QWidget* window, const ScriptLineLocator& where, int show, int depth,
                         Connection* conn);
// Prints the pending error (the window's own when it is a status, channel or
// query window, else its connection's status window) and clears it.
void script_error_show(QWidget* window, Connection* conn);

// Replaces %s and %d in order by the given texts (at most 4,150 characters).
std::string script_format(std::string_view pattern, std::string_view a = {},
                          std::string_view b = {}, std::string_view c = {});
// A numbered text with its %s / %d filled in order.
std::string script_text(int id, std::string_view a = {}, std::string_view b = {},
                        std::string_view c = {});
// Sets the pending error to the text, unplaced (control messages of the
// executor). Returns 0.
int script_error_set(const std::string& text);

// The place of a failing script line among the loaded alias files, then the
// remote files: its 1-based number and the file's name with its extension.
// A file that holds the line itself gives its place; else one that holds
// the list's first line or the definition line gives the place of the last
// of those met. 1 when found.
int script_line_place(const StringNode* line, const StringNode* first,
                      const StringNode* definition, int* number, std::string* file_name);

// The toolbar file "toolbar.ini": every button one line of 18
// comma-separated fields in section "toolbar", written from the bar and read
// back by replaying one /toolbar add command per line.
#pragma once

#include <string>

struct Connection;
struct ToolbarButton;

// The N-th (1-based) field of a line: blanks before it skipped; a field
// that begins with a double quote runs to the next one and loses both
// quotes; any other runs to the next comma. 0 when there is no such field
// or its quote is not closed.
int csv_field(const std::string& line, int n, std::string& out);

// The file's line of one button (the 18 fields).
std::string toolbar_file_line(const ToolbarButton& button);
// The replayed add command of one file line; empty when the line lacks a
// field or has an unknown type.
std::string toolbar_file_command(const std::string& line);

// Replays the file's section into the bar for the connection; 1 done, 0
// failed (the bar keeps the buttons added so far).
int toolbar_file_load(const std::string& file, const std::string& section, Connection* conn);
// Writes the bar into the file's section; 1 done, 0 failed.
int toolbar_file_save(const std::string& file, const std::string& section);
// The toolbar file's full path: "toolbar.ini" in the settings folder.
std::string toolbar_file_path();
// At start-up: the file replaces the built-in slots when it exists and its
// section holds at least one button line.
void toolbar_file_load_at_start();

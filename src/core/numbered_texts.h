// Numbered texts: every user-visible message is an entry of the string table,
// addressed by its number. The program's own table is compiled in
// (resources/string_table.inc); a language table, when one is installed,
// replaces any entry it holds.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>
#include <unordered_map>

// The text of string-table entry `id`, cut at 4150 characters; the empty text
// for an id that no table holds.
//
// With `dest`, the text is written into it and dest->c_str() is returned.
// Without, the next of five rotating static 4200-byte buffers is cleared,
// filled and returned: the text stays valid until five further calls without
// a destination have been made. Callers that keep it longer copy it.
const char* text_load_string(int id, std::string* dest = nullptr);

// The pattern with each "%s" or "%d" replaced by the next argument in turn
// (a place with no argument left gives nothing), cut at 4150 characters.
std::string text_fill_pattern(std::string_view pattern, std::initializer_list<std::string_view> args);
// The same with string-table entry `id` as the pattern.
std::string text_fill_id(int id, std::initializer_list<std::string_view> args);

// The language module's replacement texts. The module loader installs them
// once the module is accepted; they are tried before the program's own
// table, and an entry they lack still comes from the program's own table.
// No table installed is the normal case.
void text_set_language_table(std::unordered_map<int, std::string> texts);
// Drops the language texts (the module was refused or is being unloaded).
void text_clear_language_table();
// Whether language texts are installed.
bool text_language_table_loaded();

// The in-memory alias store: aliases by name with their definition lines,
// and the lookup that the executor uses to find the alias named by the first
// word of a command line. Alias files on disk are loaded into it by the
// alias-file layer; tests and the /alias command add definitions directly.
//
// Each alias is a StringNode list: the definition line ("name commands" or
// "name {") followed by the lines of its body. The definition line carries
// kLineKind = 1 and kLineScript = its script file; every line carries its
// brace depth and comment state.
#pragma once

#include <string>
#include <string_view>

struct StringNode;
struct ScriptFile;

// Lookup kinds of an alias (StringNode::number of an index entry).
constexpr int kAliasFromAliasFile = 0;
constexpr int kAliasFromScript = 1;
constexpr int kAliasLocal = 2;   // "-l": only for commands run from its script file

// The definition line of the alias named by the first word of the line
// (after its prefix), or null. name_out (may be null) receives the name. With
// a script file, that file's aliases (local ones included) are found first;
// then the global ones in the order they were added.
StringNode* alias_find(std::string_view command_line, std::string* name_out, ScriptFile* script);


// Adds an alias from its definition text: the first line is "name commands"
// or "name {" (a leading "alias " and "-l " are taken as in script files);
// further lines, separated by "\n", are its body. Returns the definition
// line, or null when the text names nothing.
StringNode* alias_add(std::string_view definition, ScriptFile* script = nullptr,
                      int kind = kAliasFromAliasFile);

// Removes every definition of the name (of that script file only when one is
// given). Returns how many were removed.
int alias_remove(std::string_view name, ScriptFile* script = nullptr);

// Removes every alias.
void alias_clear_all();

// The body text of a definition line: the text after "alias ", "-l " and the
// name (blanks skipped).
std::string_view alias_body_text(const StringNode* definition);
// The lines an alias runs. A body that starts on the definition line (a
// one-line body, or text after "{") is put in `first`, which for the "{"
// form is linked to the lines after the definition; a bare "{" gives those
// lines. Null for an empty body. The caller sets first.next back to null
// once the run is over.
StringNode* alias_body_lines(const StringNode* definition, StringNode& first);

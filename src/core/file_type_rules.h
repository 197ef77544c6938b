// The file-type rules: an ordered list in section "extensions" of the main
// settings file maps wildcard masks of file names to a receive folder (and a
// program or command that opens the file, and an option word); the rule
// named "default" covers the rest. Received files go to the folders they
// name, and the folders menu lists them.
#pragma once

#include <string>
#include <vector>

// The rules in key order ("n0", "n1", ... until an empty key); only rules
// with a folder ("EXTDIR:") count.
std::vector<std::string> file_type_rules_read();
// A rule's folder made absolute (relative to the settings folder) and ending
// in "/"; the settings folder for a rule that names none.
std::string file_type_rule_folder(const std::string& rule);

// One part of a rule text: 0 the masks (first word), 1 the folder, 2 the
// program, 3 the command, 4 the options; empty when the rule has no
// "EXTDIR:" or lacks that part.
std::string dcc_ext_rule_part(const std::string& rule, int part);
// 1 when the text names the default rule.
int dcc_ext_is_default_name(const std::string& text);
// The lookup for a file name. Kind 0: the receive folder (ending in "/");
// kind 1: the action (the matching rule's program, else its command as
// "/command", else empty); kind 2: the default folder alone. `options`,
// when given, receives the rule's option word. Returns 1.
int dcc_folder_for_file(const std::string& name, std::string& out, int kind, int* options);

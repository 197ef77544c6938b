// The folders received files go to: an ordered list of file-type rules in
// section "extensions" of the main settings file maps wildcard masks of
// file names to a receive folder (and a program or command that opens the
// file, and an option word); the rule named "default" covers the rest.
#pragma once

#include <string>

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

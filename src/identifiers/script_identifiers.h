// The identifiers about the script system: loaded alias files ($alias(),
// aliases ($isalias(), loaded scripts ($script(, $script, $scriptdir,
// $scriptline), groups ($group() and ini files on disk ($ini(,
// $initopic().
#pragma once

#include <string>

#include "script/exec/script_types.h"

// $ini: the section (name or index) and, with has_item, the item (name or
// index) of the ini file at the path; see the identifier for the values.
void ini_position(const std::string& path, const std::string& section, bool has_item, const std::string& item,
                  std::string& out);
// The number of the script line being run; 0 when none is known.
int script_running_line_number(const IdentCall& call);

// Registers the handlers (called from builtin_identifiers_install).
void script_identifiers_register();

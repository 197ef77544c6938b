// Dangerous file types: names that a received file must not be opened by
// without the user's word (programs, scripts, settings, links, pages).
#pragma once

#include <string>

// The fixed list of dangerous types.
extern const char* const kDccDangerousTypes;
// 1 when the name matches a type of the fixed list or of the DCC file-type
// filter's ignore list (case ignored).
int dcc_file_is_dangerous(const std::string& name);

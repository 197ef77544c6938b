// Function keys: F1 to F12, with Shift, Ctrl or Alt, run the aliases named
// "F5", "sF5", "cF5", "aF5" in the window they are pressed in.
#pragma once

#include <string>

struct WindowRecord;

// Runs the function-key alias of the name form ("sF5 " and the like) for
// the window: in a channel the selected nicks of its nick list are $1-, in
// a query the window's name. 0 when there is no such alias, it has no body,
// or the window has no live connection.
int fkey_run_alias(WindowRecord* rec, const std::string& alias);

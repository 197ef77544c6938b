// Aliases called as identifiers: $name, $name(a, b) and $name(a).prop run
// the alias "name" and take the value it returns.
#pragma once

#include "script/exec/script_types.h"

// The evaluator's fallback for a name that no built-in and no event
// identifier knows. Follows the identifier protocol: 1 while the arguments
// are pending, 2 with the returned text (empty when the alias returns
// nothing or does not exist), 0 on failure (the alias failed or halted, its
// script file was unloaded, or identifier warnings are on and there is no
// such alias: error 13).
int ident_call_alias(IdentCall& call);

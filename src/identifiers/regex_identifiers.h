// $regex, $regml, $regsub and $regsubex: the script face of the regular
// expression matcher and its match slots (script/stores/regex.h).
#pragma once

#include "script/exec/script_types.h"

// $regex([name,] text, expression): the number of matches.
int id_regex(IdentCall& call);
// $regml([name,] N) and .pos: group N of the slot, or the group count for N <= 0.
int id_regml(IdentCall& call);
// $regsub([name,] text, expression, replacement, %variable): the number of
// replacements; the new text goes into the variable.
int id_regsub(IdentCall& call);
// $regsubex([name,] text, expression, replacement): the new text, the
// replacement run as script text for each match.
int id_regsubex(IdentCall& call);

// Registers the four identifiers and empties the match slots. Safe to call
// more than once.
void regex_install();

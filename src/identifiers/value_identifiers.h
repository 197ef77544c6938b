// The plain values among the built-in identifiers: constants ($true, $cr,
// $pi), the clock ($ctime, $time), the script run's own state ($result,
// $isid, $v1), the connection's identity and server values ($me, $server,
// $status) and program settings ($ial, $menubar, $creq). One handler answers
// them all; the vocabulary gives each name its number.
#pragma once

#include "script/eval/identifier_values.h"
#include "script/exec/script_types.h"

// The handler of every name above.
int id_value(IdentCall& call);

// Registers the handler (called from builtin_identifiers_install).
void value_identifiers_register();

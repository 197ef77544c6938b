// The identifiers over the user lists: $level( and $ulist( / $maddress( read
// the users file; $aop(, $auto(, $avoice(, $protect( and $ignore( read the
// auto-op, auto-voice, protect and ignore lists. They only read.
#pragma once

#include "script/exec/script_types.h"

// Registers the handlers (called from builtin_identifiers_install).
void user_list_identifiers_register();

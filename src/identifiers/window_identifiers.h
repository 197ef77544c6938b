// The window identifiers: $active, $lactive and $leftwin with their cid and
// wid forms, and $window( with the properties of a window record and of the
// desktop, main window and MDI client.
#pragma once

#include "script/exec/script_types.h"

// Registers the handlers (called from script_engine_init).
void window_identifiers_register();

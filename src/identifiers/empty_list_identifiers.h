// Identifiers over lists and devices the program does not hold yet (DCC
// chats and transfers, the trusted list, the address book, picture windows,
// DDE servers, the lock options, sound devices): they answer as for an
// empty list or a closed device.
#pragma once

#include "script/exec/script_types.h"

// Registers the handlers (called from builtin_identifiers_install).
void empty_list_identifiers_register();

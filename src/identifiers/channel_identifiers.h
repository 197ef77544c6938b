// The channel, nick and query identifiers of a connection: $chan and
// $chan( with the channel's properties, the nick family ($nick(, $opnick(,
// $vnick( ...) with mode filters and .pnick, $comchan(, $address( and
// $address, $query( and $mode( of the current mode event. They only read.
// $nick( over a whole channel is answered from the nick list's ordered
// index, so its cost does not grow with the channel.
#pragma once

#include "script/exec/script_types.h"

// Registers the handlers (called from builtin_identifiers_install).
void channel_identifiers_register();

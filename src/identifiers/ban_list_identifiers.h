// $ibl(#channel, N) and $banlist(#channel, N) (bans), $iel (excepts) and
// $iil (invites): the channel lists seen from scripts.
#pragma once

struct IdentCall;

// N 0 (or below) gives the number of entries; N 1 and up the N-th entry's
// mask, or with ".by", ".date" or ".ctime" its setter, its set time
// formatted or as a number. A channel without a window or an N past the end
// gives an empty result.
int chan_list_ident(IdentCall& call, int index);

// Registers the four identifiers with the interpreter.
void ban_list_identifiers_register();

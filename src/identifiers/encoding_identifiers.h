// $isutf, $utfencode, $utfdecode, $encode and $decode: the script face of the
// encoding cores (core/encoding_idents.h).
#pragma once

#include "script/exec/script_types.h"

// $isutf(text): 0 not UTF-8, 1 plain 7-bit, 2 UTF-8 with multibyte characters.
int id_isutf(IdentCall& call);
// $utfencode(text[, charset]) and $utfdecode(text[, charset]).
int id_utf(IdentCall& call);
// $encode(input[, switches[, N]]) and $decode(input[, switches[, N]]).
int id_encode(IdentCall& call);

// Registers the five identifiers.
void encoding_identifiers_register();

// $md5 and $sha1: the digests of a text, a binary variable or a file
// (core/digest.h), as identifiers.
#pragma once

#include "script/exec/script_types.h"

// $md5(data[,N]) and $sha1(data[,N]): the lower-case hexadecimal digest; N 0
// text, 1 binary variable, 2 file.
int id_md5(IdentCall& call);
int id_sha1(IdentCall& call);

// Registers both identifiers.
void digest_identifiers_register();

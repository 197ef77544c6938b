// $scid and $scon: the number of connections, a connection's id by id or by
// position, and an identifier's value read on that connection.
#pragma once

#include <string>

// $scid(N) (is_scon 0) and $scon(N) (is_scon 1), with an optional property
// (the text after the last "."). Returns 1 with the value in out, 0 when
// the identifier fails; an empty out with result 1 means "nothing".
int id_scid(const std::string& arg, const std::string* property, int is_scon, std::string& out);

// Registers the handlers (called from builtin_identifiers_install).
void connection_identifiers_register();

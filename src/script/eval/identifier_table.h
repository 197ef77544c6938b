// The vocabulary of built-in identifiers: every name, the handler family that
// answers it, and the lookup from a token's name to its entry. Families
// register their handlers with ident_register_family (script_types.h); a
// name whose family has not registered yet gives no value.
#pragma once

#include <string_view>

#include "script/exec/script_types.h"

struct IdentEntry {
    const char* name;      // "me", "calc(", "mouse." ...
    const char* family;    // "id_calc", "id_value" ...
    int variant;
    int flags;             // kIdentPrefix: matches any name that begins with it
    IdentHandler handler;  // null until the family registers
    int min_args;          // > 0: the arguments are split and counted before
    int max_args;          //   the handler runs (ident_args_range)
};

// The entry for a name (the token's text after "$", "$$", "$~" or "#$"):
// "name(" forms first, then whole names, then the prefix names. Null when no
// built-in has the name.
const IdentEntry* ident_lookup(std::string_view name);

// Number of names in the vocabulary.
int ident_table_size();
// The entry at a place of the vocabulary (0 .. size - 1); null past its end.
const IdentEntry* ident_table_entry(int index);

// Runs the handler for the entry: with the entry's argument counts, the
// arguments are split and checked first (ident_args_range); the handler is
// called once they are all final.
int ident_call(const IdentEntry* entry, IdentHandler handler, IdentCall& call);

// Arguments are taken and the value is empty (a name no alias answers).
int id_absent(IdentCall& call);
// The handler of built-in names whose feature is not built yet: the error
// "* $name: not available yet", which halts the run.
int id_not_available(IdentCall& call);

// Binary variables: named byte blocks ("&name") that scripts fill from files,
// build byte by byte, search and write back. Each belongs to the script run
// (scope) that made it and goes when that run ends. Positions inside a
// variable count from 1.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

struct CommandCall;

struct BinaryVariable {
    std::string name;    // with its "&", as first written
    std::string bytes;   // the contents, zero bytes included
    int scope = 0;       // the run that made it
};

// A name is "&" followed by at least one character.
bool bvar_name_valid(std::string_view name);
// The variable of that name (case ignored), or null.
BinaryVariable* bvar_find(std::string_view name);
// Finds or makes the variable and empties it (room for n bytes reserved);
// the scope is set only when the variable is new. Null for an invalid name.
BinaryVariable* bvar_create(std::string_view name, std::size_t n, int scope);
// Frees one variable; 1 when it existed.
int bvar_free(std::string_view name);
// Frees every variable made by the run with this scope id.
void bvar_scope_end(int scope);
// Frees every variable (shutdown).
void bvar_free_all();
// Number of variables.
std::size_t bvar_count();

// A byte value argument: a decimal number when it begins with a digit, else
// the code of its first character. -1 when empty.
long long bvar_byte_value(std::string_view text);

int cmd_bread(CommandCall& call);
int cmd_bwrite(CommandCall& call);
int cmd_btrunc(CommandCall& call);
int cmd_bset(CommandCall& call);     // /bset and /bcopy (the word tells them apart)
int cmd_breplace(CommandCall& call);
int cmd_bunset(CommandCall& call);

void binary_vars_register();

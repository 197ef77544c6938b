// $toolbar(N|name) with its properties.
#pragma once

#include <string>
#include <string_view>

struct IdentCall;

int id_toolbar(IdentCall& call);
// The value for one argument and a property (empty: the position); 1 with
// a value, 0 when there is none (empty result).
int toolbar_ident_value(std::string_view arg, std::string_view property, std::string* out);
void toolbar_identifiers_register();

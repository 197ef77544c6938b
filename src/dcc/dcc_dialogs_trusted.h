// The trusted list: senders whose offers skip the questions and the
// file-type filter. Each entry is an address mask (it holds "!" or "@") or a
// list of user levels separated by blanks or commas, each optionally
// prefixed with "=". Kept in section "trusted", keys "n0", "n1", ...
#pragma once

#include <string>

struct StringNode;

extern StringNode* dcc_trusted_list;

void trusted_load();
int trusted_save();
// 1 when an entry trusts the address ("nick!user@host"); an empty address
// is never trusted.
int trusted_match(const std::string& address);

// Loads the list at its step of the start-up load and saves it with the
// settings.
void trusted_install();
void trusted_uninstall();

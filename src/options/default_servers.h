// The program's own server list: a few well-known public networks, each
// with its usual plain and SSL ports, written in the servers file's form
// when the settings folder has no servers file yet, so that a first start
// offers networks to pick without typing.
#pragma once

#include <string>

// The built-in entries ("[servers]") and networks ("[networks]").
extern const char* const kDefaultServerEntries[];
extern const int kDefaultServerEntryCount;
extern const char* const kDefaultNetworks[];
extern const int kDefaultNetworkCount;

// Writes the built-in list to the file when it does not exist; an existing
// file, even an empty one, is left alone. 1 when written.
int servers_write_defaults(const std::string& path);

void default_servers_install();
void default_servers_uninstall();

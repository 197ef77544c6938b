// The channels folder: the user's favourite channels, grouped in folders,
// kept in section "chanfolder" ("n0", "n1", ...) of the main settings file
// (or the file named for it). An entry is one line of comma-separated
// fields: channel, "description", key, "networks", join on connect,
// join minimised, "folder".
#pragma once

#include <string>
#include <string_view>
#include <vector>

struct Connection;
struct StringNode;

// Reads field 1..7 of an entry: fields split at commas with leading blanks
// skipped; a field that starts with a double quote runs to the next one
// (commas inside kept); fields 1 and 3 keep their first word, field 7 is cut
// at a backslash; runs of blanks collapse to one. Missing: empty.
std::string chanfolder_entry_field(std::string_view entry, int field);

// The entries of the folder file, numbered from 1 in load order, sorted:
// entries with a folder first (by folder, then channel; case ignored), then
// the others by channel. The caller frees the list.
StringNode* chanfolder_load();

// The stored key of a channel for the connection: first an entry of that
// channel whose networks name the connection's network (or its server
// group), else one with no networks; empty when none.
std::string chanfolder_find_key(Connection* conn, const std::string& channel);

// The channel names of the entries (for Tab completion). The caller frees
// the list.
StringNode* chanfolder_channels();

// The file that holds the folder.
std::string chanfolder_path();

// The ignore list: program-wide entries that silence an address for kinds
// of traffic (private text, channel text, notices, CTCP, DCC offers,
// invites, control codes), optionally for one network and optionally for a
// number of seconds; and the DCC file-type filter that refuses file offers
// by name.
//
// An entry is a user-list entry text: the mask, then optionally a comma and
// the comma-separated type words, then optionally a comma and the network
// between double quotes:
//     *!*@host.example,private,ctcp,"Net"
// No types means every type. An entry whose types hold "exclude" exempts its
// addresses from every type it does not itself name.
#pragma once

#include <string>
#include <vector>

class QWidget;
struct Connection;
struct IrcMessage;
struct StringNode;

// The type words in the order of their switch letters p c n t d i k x.
extern const char* const kIgnoreTypeWords[8];
extern const char kIgnoreTypeLetters[9];

// The entry that ignores `address` ("nick!user@host", lower-cased by the
// callers) for `type` (a type word, or null to look an entry up by its
// mask), or null. `network` null means the network of the connection.
StringNode* ignore_match(const std::string& address, const char* type, const std::string* network,
                         Connection* conn);

// Edits the list: action 0 toggles, 1 adds or updates, 2 removes. `types`
// (may be null) is the comma-separated type words, optionally ending in a
// quoted network. `seconds` above 0 makes the entry timed. The outcome is
// printed in the window between separators when echo is set. Returns 1 added
// or updated, 2 removed, 0 nothing done.
int ignore_edit(QWidget* window, int action, const std::string& mask, const std::string* types, int seconds,
                int echo, Connection* conn);

// Removes every entry that applies to the network ("*": every entry).
// Returns the number removed.
int ignore_clear(const std::string& network);

// Once a second (mode 0); mode 2 at exit expires every timed entry first.
void ignore_tick_timed(int mode);
// Drops the timed records whose entry no longer exists.
void ignore_prune_timed();
// Makes the entry of the mask (its network, "*" any) expire after the
// seconds, in place of an earlier record of the same mask and network.
void ignore_timed_add(const std::string& mask, const std::string& network, int seconds);
// Seconds left of the timed record of the mask (0 when not timed).
int ignore_timed_seconds(const std::string& mask);

// Mask, types and network of an entry's text.
struct IgnoreEntryParts {
    std::string mask;
    std::vector<std::string> types;
    std::string network;
};
IgnoreEntryParts ignore_entry_parts(const std::string& text);

// The receive path's test: 1 when ignoring is on and the sender of the
// message ("nick!user@host", lower-cased) is ignored for the type.
int ignore_check_message(IrcMessage& msg, const char* type);
// An invite from the nick with the address (user@host) is ignored.
int ignore_check_invite(const std::string& nick, const std::string& address, Connection* conn);

// ---- DCC file-type filter ----

// Sets the mode (outside 0..2 becomes 1) and returns the old one. Switching
// to 0 remembers the old mode for re-enabling; 1 or 2 forget it.
int dcc_ignore_set_mode(int mode);
// Once a second: a remembered mode comes back when its countdown ends.
void dcc_ignore_tick();
// kind 0: 1 when the file name is refused by the active mode, else 0.
// kind 1: the n-th pattern (from 1) of the active list into `name`.
// kind 2: the number of patterns of the active list.
int dcc_ignore_test(std::string& name, int kind, int n);

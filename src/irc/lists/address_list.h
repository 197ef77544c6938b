// The internal address list: per connection, the full address
// (nick!user@host) of every nick that shares a channel with us, learned from
// the source of server lines and from the WHO/WHOIS/USERHOST/NAMES replies.
// Lookups go through a hash index on "nick!" (case ignored); the 27
// first-letter lists keep the arrival order for walks ($ial with a count).
#pragma once

#include "core/signal.h"

#include <string>

struct Connection;
struct WindowRecord;

// One entry: text "nick!user@host", number the second character of the key
// lower-cased ("!" for a one-letter nick), and an optional note text.
struct IalEntry {
    std::string text;
    int number = 0;
    bool has_note = false;
    std::string note;
};

// A lookup result: "nick!user@host" cut at 256 characters; empty when none.
struct IalResult {
    std::string text;
};

// Modes of ial_find.
enum IalMode : int { kIalFind = 0, kIalAdd = 1, kIalRemove = 2, kIalRename = 3 };

// Default of ial_on for new connections and links (the /ial command turns it
// off together with a connection's switch).
extern int ial_default_on;

// Creates the connection's list (index and 27 empty lists), ial_on from the
// default.
void ial_init(Connection* conn);
// Empties the list; every channel window's ial state becomes 0. With
// free_index the index is released as well (the record is going away).
void ial_clear(int free_index, Connection* conn);
// The connection's switch (1 kept, 0 off) and its setter.
int ial_is_on(Connection* conn);
void ial_set_on(int on, Connection* conn);

// The core. key is "nick!"; text the address (mode 1) or the new nick (mode
// 3). Returns the entry (modes 0, 1, 3) or null; *changed becomes 1 when the
// list changed.
IalEntry* ial_find(const std::string& key, const std::string& text, int mode, int* changed,
                   Connection* conn);
// Entry point of the handlers: nick null -> ial_on; address null -> 0; else
// adds or updates (rename 0) or renames to the nick in address (rename 1).
// Returns the change notification's result, else 0.
int ial_update(const std::string* nick, const std::string* address, int rename, Connection* conn);
// We left or closed the channel: drops every nick of its list that shares no
// other channel with us; the window's ial state becomes 0.
void ial_forget_channel(WindowRecord* rec);
// Window closing: the same as ial_forget_channel.
void ial_drop_channel(WindowRecord* rec);
// A nick left (window given: first ial_forget_channel for it): its entry is
// removed when force is set or it shares no channel with us any more.
void ial_forget_nick(WindowRecord* rec, const std::string& nick, int force, Connection* conn);
// The entry of a nick or null; fills the result.
IalEntry* ial_lookup(const std::string& nick, IalResult& result, Connection* conn);
// Whether the nick is in the nick list of a channel window of the connection
// (other than the one skipped).
int ial_shares_channel(const std::string& nick, Connection* conn, WindowRecord* skip = nullptr);

// Sets the note text of a nick's entry (an empty text clears it); 1 when the
// entry exists.
int ial_set_note(const std::string& nick, const std::string& note, Connection* conn);
// Number of entries (for tests and counts).
int ial_count(Connection* conn);

// The channel window's address-list state: 0 not known complete, 1 every
// nick is in the list, 2 a WHO is filling it.
int ial_channel_state(const WindowRecord* rec);
void ial_set_channel_state(const WindowRecord* rec, int state);
// Whether a WHO reply for the channel window is arriving: set by its first
// line, cleared by its end.
int ial_channel_in_who(const WindowRecord* rec);
void ial_set_channel_in_who(const WindowRecord* rec, int on);

// $ial (kind 1: mask, n) and $ialchan (kind 0: mask, channel, n) with an
// optional property (".nick", ".pnick", ".addr", ".user", ".host", ".mark").
// Returns 1 with the value in out, 0 with an empty result.
int ial_query(const std::string& mask, const std::string& channel, int n,
              const std::string& property, int kind, std::string& out, Connection* conn);

// Emitted after a change (nick, or null for any): the notify list looks
// again. Gives 1 when a listener did something.
enum IalChangedOrder {
    kIalChangedNotify = 10,
};
extern Signal<int(const std::string* nick, Connection* conn)> ial_changed;

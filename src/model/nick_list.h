// The members of a channel window: ordered by their highest channel mode
// and then by nick, each with its prefix character and its nick colour; the
// one operation through which the server handling adds, removes and
// re-ranks members; the printed form of a nick.
//
// The members live in the window record's nick list (a string-node list in
// display order) and its nick hash (lookups by nick, case ignored). Beside
// them this part keeps an ordered index of each channel, so that finding a
// member's place costs O(log n) and no change walks the list. The list pane
// that shows them follows through the row signals below.
#pragma once

#include <string>
#include <vector>

#include "core/signal.h"
#include "core/string_list.h"

struct WindowRecord;
struct Connection;

// One member: a node of the window's nick list.
//   text       the nick (at most 256 characters)
//   number     mode bits: one bit per prefix of the connection, a higher
//              rank having a larger bit; a plain member has the value 1
//   extra[...] the words below
// Words 5 to 7 are left to the nick-colour rules (idle time, recolour flag).
using NickEntry = StringNode;
enum NickEntryWord : int {
    kNickColourState = 0,  // 2: the item colour is fixed; else taken from the rules
    kNickSecond = 1,       // a word kept across re-ranking (given to the colour rules)
    kNickFirstClass = 2,   // the nick's first character, lower-cased
    kNickValue = 3,        // the per-nick value of operation 3
    kNickColour = 4,       // the item's colour: 0..15, or 99 for none
};

// The per-nick value while a member is leaving (its part, kick or quit
// events still run): 1 the member alone, 2 we leave the whole channel.
enum NickLeaving : int {
    kLeaving = 1,
    kLeavingChannel = 2,
};

// Operations of nicklist_update.
enum NicklistOp : int {
    kNickRemove = 0,
    kNickAddOrChange = 1,
    kNickTest = 2,
    kNickSetValue = 3,
};

// Adds, changes, removes or tests a member of a channel window with a live
// connection; the nick must be 1..256 characters. Returns the mode bits
// (0 when absent); the test with a value returns the value when any of its
// bits is set, else 0.
//   0 remove; 1 add or change (value > 0 adds bits, < 0 removes the bits of
//   -value; a new member takes the value's bits); 2 test; 3 set the per-nick
//   value.
int nicklist_update(const std::string& nick, WindowRecord* rec, int op, int value);

// The member of that nick, or null.
NickEntry* nicklist_find(WindowRecord* rec, const std::string& nick);
// The member's row in the list box (its place in the order), or -1.
int nicklist_row_of(WindowRecord* rec, const NickEntry* entry);
// Number of members.
int nicklist_count(WindowRecord* rec);
// The member at a row of the order (0 first), or null past the end; found
// through the ordered index, so its cost does not grow with the channel.
NickEntry* nicklist_entry_at(WindowRecord* rec, int row);
// Removes every member, from the bottom of the list up so that each removal
// takes the list box's last row (a channel of any size empties in linear
// time); returns the nicks removed, in list order.
std::vector<std::string> nicklist_clear(WindowRecord* rec);

// The nick-change carry: the server handling sets it (to any non-zero value)
// before it removes and re-adds a renamed member. The removal adds 4 when the
// item was selected, else 8, and keeps the item's colour; the re-add gives
// both to the new item and clears the carry.
extern int nicklist_change_carry;
// Renames a member keeping its bits, colour and selection; returns the bits
// (0 when the old nick is not a member).
int nicklist_rename(WindowRecord* rec, const std::string& old_nick, const std::string& new_nick);

// ---- Prefixes ----

// The connection's prefix characters in rank order, highest first ("@%+"
// when the connection has none or is not live).
std::string nicklist_prefix_chars(Connection* conn);
// The bit of a prefix character (2 to the power (n - i) for the i-th of n
// prefixes), 0 for a character that is none.
int nicklist_prefix_bit(Connection* conn, char c);
// The prefix character of the highest rank present in the bits, 0 for none.
char nicklist_top_prefix(Connection* conn, int bits);

// ---- The printed form of a nick ----

// The text that stands for a nick in a printed line: kind 2 (or kind 1 while
// nick colouring in lines is off) gives the prefixed nick when the option for
// prefixes in lines is on, else the nick; otherwise the nick in its colour:
// 0x03 "%02d" then the prefix, the nick and 0x0F. Nicks longer than 256
// characters stay as they are.
std::string nick_display_form(WindowRecord* rec, int kind, const std::string& nick,
                              Connection* conn);

// ---- The rows of the list pane ----

// A member is about to leave its row (`members` rows before the change):
// a listener answers whether that row was selected.
enum NickRowRemovingOrder {
    kNickRowRemovingPane = 10,  // the list pane takes the row out
};
extern Signal<bool(WindowRecord* rec, int row, int members)> nick_row_removing;
// A member is about to take its row (`members` rows before the change); the
// node holds its nick, bits and colour but is not in the list yet.
enum NickRowAddingOrder {
    kNickRowAddingPane = 10,  // the list pane puts the row in
};
extern Signal<void(WindowRecord* rec, int row, int members, const NickEntry* node, bool selected)>
    nick_row_adding;

// ---- Seams ----

// The nick-colour rules: the palette colour (0..15) of a nick with its bits
// in a channel window (null: a line outside a channel), method 1 for message
// lines and 2 for the list, or -1 for none. Absent: none.
extern int (*nicklist_colour_hook)(WindowRecord* rec, const std::string& nick, int bits,
                                   int second, int method);
// A saved entry of the window whose display state a re-added nick takes over:
// 1 with its colour state, second value and colour when there is one. Absent: none.
extern int (*nicklist_saved_entry_hook)(WindowRecord* rec, const std::string& nick,
                                        int* colour_state, int* second, int* colour);

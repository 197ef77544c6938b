// Tab completion in the input boxes: identifiers and variables (evaluated),
// channel names, nicks of the nick list, the conversation partner and the
// notify list; in an empty box, cycling through the nicks of recent private
// conversations as "/msg <nick> " lines. Scripts see every completion
// through the "TABCOMP" event and can stop it. The state lives per
// connection so that repeated presses cycle through the candidates.
#pragma once

#include <string>

#include "core/string_list.h"

class QWidget;
struct WindowRecord;
struct Connection;

// The completion state of a connection.
struct TabState {
    StringNode* list1 = nullptr;  // conversation nicks, oldest first (number: current flag)
    StringNode* list2 = nullptr;  // a second list of the same form
    int chan_index = 0;           // position after the last channel completion
    int cycle = 0;                // the box shows a line made by conversation cycling
    std::string pattern;          // at most 246 characters
    int nick_pos = -1;            // list row of the last nick completion
    int spare = 0;
    int notify_pos = 0;           // place in the notify list after the last notify completion
    TabState() = default;
    TabState(const TabState&) = delete;
    TabState& operator=(const TabState&) = delete;
    ~TabState();
};

// The longest completion pattern, and the most a conversation list holds.
constexpr std::size_t kTabPatternMax = 246;
constexpr int kTabNicksMax = 20;

// The state of a live connection (made on first use, gone with the record),
// or null.
TabState* tabcomp_state(Connection* conn);

// Tab in box 0 (first) or 1 (second) of the window.
void tabcomp_complete(WindowRecord* rec, int box);
// Conversation cycling in an empty box.
void tabcomp_cycle_msg(WindowRecord* rec, int box);
// Raises "TABCOMP" with the text (cut at 4,150) and the flag; 0 means: leave
// the box alone. 1 while remote events are off.
int tabcomp_fire(WindowRecord* rec, const std::string& text, int flag);
// 1 for "/msg " (case ignored) followed by blanks only, or by one word and at
// least one blank and nothing else (the word not starting with "$" or "%").
int tabcomp_is_msg_line(const std::string& text);
// For the box: 0 when empty; 1 when it begins with "/msg "; else 1 when the
// character before the caret (the first one at the start) is not a blank.
int tabcomp_wants_tab(WindowRecord* rec, int box);
// Clears the pattern, the cycle flag, the channel index and the spare word,
// sets the nick position to -1 and clears every current flag of list 1.
void tabcomp_reset(Connection* conn);
// The cycle flag and the pattern only (the user edited the box).
void tabcomp_edit_reset(Connection* conn);

// Kind 1 adds to list 1, kind 2 to list 2. Empty nicks, nicks with ".", and
// the server's name are ignored; an equal entry moves to the newest place
// keeping its current flag; the oldest goes at 20.
void tab_nicks_add(const std::string& nick, int kind, Connection* conn);
// Renames the entry (case ignored) in both lists.
void tab_nicks_rename(const std::string& old_nick, const std::string& new_nick, Connection* conn);
// With a nick, removes it from both lists (a current flag passes to the next
// entry). Without (nick null; Ctrl+D): removes the nick of a "/msg <nick>"
// line in the box and empties it. Returns 0 where the caller beeps.
int tab_nicks_remove(WindowRecord* rec, const std::string* nick, Connection* conn, int box = 0);

// ---- Byte offsets in a box ----

// The caret (selection start) as a byte offset of the box's UTF-8 text.
int tabcomp_caret(WindowRecord* rec, int box);
// Sets the box's text and puts the caret at the byte offset.
void tabcomp_set_text(WindowRecord* rec, int box, const std::string& text, int caret);

// ---- Seams ----

// TABCOMP (event 66) for the connection and window: the offered text is
// $1-; 0 when halted (the box stays as it is).
int tabcomp_fire_event(Connection* conn, QWidget* window, const std::string& text, int flag);
// Tab on "$name" or "%name": the text evaluated in place; 1 when it gave a value.
int tabcomp_eval_value(QWidget* window, std::string& text, Connection* conn);
// The channels-folder entries' channel names. Absent: [chanfolder] "n0",
// "n1", ... of the main settings file, the second field of each entry.
extern StringNode* (*tabcomp_folder_channels_hook)();

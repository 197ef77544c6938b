// Finding text in a window: the search runs over the active window's
// buffer upwards (older lines) or downwards (newer lines) from the bottom
// line of the view, codes removed and case ignored; a found line becomes
// the bottom line and is shown marked until the next search. The find dialog keeps the last fifteen search texts in
// section "findtext2" of the main settings file.
#pragma once

#include <string>
#include <vector>

class QDialog;
struct StringNode;
struct WindowRecord;

// The search text (at most 256 characters), shared by the dialog and /findtext.
extern std::string find_text;

constexpr int kFindDown = 1;
constexpr int kFindUp = 2;

// Searches the window (null: the active window); 1 when found.
int find_text_step(int direction, WindowRecord* rec = nullptr);
// The painter's question: the marked bytes of a display line that belongs
// to the line the last search found; 1 when it does.
int find_text_found_span(WindowRecord* rec, const StringNode* line, int* from, int* to);

// The history, newest first, as the dialog reads it (all fifteen keys).
std::vector<std::string> find_text_load_history();
// Writes the history: the search text first, then the entries that differ
// from it (case ignored), at most fifteen; stale keys are deleted.
void find_text_save_history(const std::vector<std::string>& entries);

// Opens the find dialog over the window (Ctrl+F); only one at a time.
void find_text_dialog_open(WindowRecord* rec);
// The open find dialog, or null.
QDialog* find_text_dialog();

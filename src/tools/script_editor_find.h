// Find and replace in the script editor: the find dialog with its history
// (section "findtext"), find next (F3), and replace with or without asking
// at each place, in the shown file or through every file of the view.
#pragma once

#include <string>

struct EditorFindState {
    std::string find;         // 256 usable characters
    std::string replace;      // 256 usable characters
    int confirm = -1;         // ask at each place; negative: no search set up yet
    int all_files = 0;        // go on through the view's files
    int replace_mode = 0;
    int view = -1;            // the search set: the view and its start file
    void* start = nullptr;
};
extern EditorFindState editor_find_state;

// The find and confirmation dialogs' templates.
constexpr int kEditorFindTemplate = 410;
constexpr int kEditorConfirmTemplate = 720;

// Opens the find dialog (menu 424); a search follows when it closes by
// find next or replace all.
void editor_find_open();
// Repeats the last search (menu 425, F3).
void editor_find_next();
// Runs the search as set up; returns the number of places found (find) or
// replaced (replace).
int editor_search();
// Forgets the search set (the editor closed).
void editor_find_forget();

void editor_find_install();
void editor_find_uninstall();

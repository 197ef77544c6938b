// The one file dialog every choice of a file or folder goes through:
// loading scripts, choosing sounds, pictures, log and download folders.
// Only one is open at a time; it remembers the folder it was last left in
// and leaves what was chosen in one shared state that the caller reads.
#pragma once

#include <string>
#include <vector>

class QWidget;

// The shared state of the file dialog (one set for the program).
struct FileDialogState {
    bool busy = false;               // a file dialog is open
    std::string remembered_folder;   // where the next one opens, ending in "/" (may hold a name or pattern after it)
    std::string chosen_name;         // the first chosen file's name and extension, no folder
    std::string selection_folder;    // the folder of the chosen files
    std::string selection_list;      // the chosen files, tab-separated; bare names inside the folder
    std::string ok_caption;          // the accept button's text for this dialog
    int placement = 0;               // the caller's placement mode
    bool too_many = false;           // the chosen files did not fit
};

FileDialogState& filedlg_state();

// Modes: a base (0 folder, 1/4/5 open a file, 3 choose a name that may not
// exist, 6 a picture with a preview) plus 10 when the file may be missing
// and 100 when several may be chosen. The dialog opens at the remembered
// folder (a file name or a pattern after the folder is preselected or
// filters the list). 1 when the user chose, 0 on cancel, failure, a base
// outside the table or while another file dialog is open (those three
// with the error sound). Cancel clears the remembered folder.
int filedlg_open(QWidget* owner, int mode, const std::string& title, const char* ok_caption, int placement);

// n = 0: the number of chosen files as text; n from 1: the n-th file, a
// bare name prefixed by the selection folder; past the end: empty.
void filedlg_selected_file(int n, std::string& out);

// The folder browser alone: the chosen folder (ending in "/") becomes the
// remembered folder, which is cleared on cancel. Always 1.
int folderdlg_browse(QWidget* owner, const std::string& title);

// Splits the dialog's name field the way the dialog reads it: names in
// double quotes, or the whole text as one name.
std::vector<std::string> filedlg_split_names(const std::string& field);

// Builds the tab-separated selection list from the chosen paths: entries
// equal to the folder are skipped, entries inside it lose the folder, the
// list stops before it would pass 4,150 characters; without `multi` only
// the first entry is taken. `too_many` is set when an entry was left out
// for want of room.
std::string filedlg_collect(const std::vector<std::string>& paths, const std::string& folder, bool multi,
                            bool* too_many);

enum FileDialogKind { kFileDialogFile = 0, kFileDialogFiles = 1, kFileDialogFolder = 2 };

// The same dialog with a start given directly: `start` is a folder, or a
// folder and a file name or wildcard pattern; the title and the accept
// button's text (empty: the default). The chosen full paths go to `chosen`
// (a folder ends in "/"). Returns 1 chosen, 0 cancelled, -1 when the
// dialog cannot be made (one is already open).
int file_dialog_run(QWidget* owner, int kind, const std::string& start, const std::string& title,
                    const std::string& button, std::vector<std::string>& chosen);

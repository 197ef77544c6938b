// The file dialogs scripts open with $sfile, $msfile and $sdir: a modal
// dialog over the caller's window that asks for one file, several files or
// a folder.
#pragma once

#include <string>
#include <vector>

class QWidget;

enum FileDialogKind { kFileDialogFile = 0, kFileDialogFiles = 1, kFileDialogFolder = 2 };

// Opens the dialog at `start` (a folder, or a folder and a file name or
// wildcard pattern) with the title and the accept button's text (empty:
// the default). The chosen paths go to `chosen` (a folder ends in "/").
// Returns 1 chosen, 0 cancelled, -1 when the dialog cannot be made (one is
// already open).
int file_dialog_run(QWidget* owner, int kind, const std::string& start, const std::string& title,
                    const std::string& button, std::vector<std::string>& chosen);

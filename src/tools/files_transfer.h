// Files and settings transfer: the copier that moves a user's files from a
// store folder into the settings folder, driven by a small state file
// (section "update": state, store, data, save). Started as
// "kest update<state file>" (or "kest update <state file>"), it moves the
// files, writes "finished" or "failed" and ends without showing a window.
// The folder redirect that makes such a copy on other systems does not
// exist on Linux, so no transfer is ever offered at start-up.
#pragma once

#include <string>

// The start-up check (called while the settings folder is located): 0 when
// this run was the copier and start-up ends, else 1.
int files_transfer_check(const std::string& program_path);
// The copier: reads the state file, moves store into data (with a backup
// of replaced files under "backup/vista/" or "backups/vista/" when save is
// 1), removes the emptied store. 1 when finished.
int files_transfer_copy(const std::string& state_path);
// Moves everything under `folder` into `target` (files first, then
// subfolders, names beginning with "." skipped; emptied subfolders removed).
// At the root, the program's own files are left in place. Sets `error` on
// any failure and stops there.
void files_transfer_move(const std::string& folder, bool root, const std::string& target, int& error,
                         const std::string& backup);

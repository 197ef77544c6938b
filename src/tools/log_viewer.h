// The log viewer's model: the log files of one folder, their order, the
// search over names and contents, and the merge, rename and delete of
// chosen files.
#pragma once

#include <functional>
#include <string>
#include <vector>

struct LogViewEntry {
    std::string name;      // file name within the folder
    long long size = 0;    // bytes
    long long modified = 0; // seconds since the epoch
};

// The chosen sort order: 0..5 the orders of name, network and date, 6 last
// modified, 7 file size. Values outside 0..7 become 0.
int logview_order();
void logview_set_order(int order);

// The folders offered: "" for the log folder itself, then every subfolder
// name of it.
std::vector<std::string> logview_fill_folders(const std::string& log_dir);
// The folder path of a choice from logview_fill_folders (ends in "/"); a
// name that would leave the log folder gives the log folder.
std::string logview_folder_path(const std::string& log_dir, const std::string& sub);

// 1 when the search text (lower-cased by the caller or not) matches the
// text: with '*' or '?' as a wildcard, else as a substring; case ignored.
int logview_text_matches(const std::string& search, const std::string& text);

// Lists every "*.log" file of the folder (subfolders skipped), sorted by
// the chosen order. With a search text, only files whose name matches or,
// unless names_only, whose content matches (read in 16,384-byte blocks
// overlapping by 50 bytes). progress receives 0..100 when the percentage
// changes and returns 0 to stop the search.
std::vector<LogViewEntry> logview_refresh(const std::string& folder, const std::string& search,
                                          int names_only,
                                          const std::function<int(int)>& progress = {});

// The search history: newest first, at most 10, no duplicates (case
// ignored); saved as [logmatch] n0.. in the main settings file.
void logview_filter_history_add(std::vector<std::string>& history, const std::string& text);
void logview_filter_history_save(const std::vector<std::string>& history, const std::string& ini);
std::vector<std::string> logview_filter_history_load(const std::string& ini);

// Appends the sources (names within folder) in order of modification time
// to target (".log" added when it has no extension). When the target is a
// source, the result goes through a temporary file that replaces it. With
// delete_merged each source other than the target is deleted after it was
// copied. 1 on success, 0 when nothing was written (a name leaving the
// folder, a source that cannot be read).
int logview_merge(const std::string& folder, const std::vector<std::string>& sources,
                  std::string target, int delete_merged);

// Renames one file within the folder; refuses names that leave it or
// already exist. 1 on success.
int logview_rename(const std::string& folder, const std::string& from, const std::string& to);

// Moves the files to the trash (file_delete mode 1). Returns the number
// deleted.
int logview_delete(const std::string& folder, const std::vector<std::string>& names);

// Registers the main-menu command that opens the viewer and the sort hook.
void logview_install();
void logview_uninstall();

// Download folders: loading, repairing and saving the file-type rules of
// section "extensions" (the lookup itself is core/file_type_rules.h), and
// the safe local name of a received file: a name a peer offers becomes one
// plain file name inside the receive folder, or is refused.
#pragma once

#include <string>
#include <vector>

// Loads the rules at start-up: migrates an old "dirs"/"getdir" setting,
// keeps the first "default" rule at the head (adding one when none), moves a
// default folder that is missing or is the settings folder itself to the
// "download" (else "downloads") folder, and on a fresh list adds rules for
// the sound folders. Writes what it repaired. Returns the number of rules.
int dcc_ext_rules_load();
// Writes the rules as "n0", "n1", ... (folders and programs relative to the
// settings folder) and deletes the keys after the last one. A text without
// "EXTDIR:" is dropped. Returns 1 when the file is as wanted.
int dcc_ext_rules_save(const std::vector<std::string>& rules);

// A nick made usable as a folder name: cut at the first blank; each character
// that is not a letter, a digit, one of "[]^_`{}()-" or above 127 becomes
// "_". Empty, or 256 characters and more: refused (returns 0).
int dcc_nick_folder_name(const std::string& nick, std::string& out);
// The folder a file goes to when its rule's option word is nonzero: the
// nick's subfolder of folder (ending in "/"); the folder itself when the nick
// is refused.
std::string dcc_nick_folder(const std::string& folder, const std::string& nick);

// The longest file name kept (bytes).
constexpr std::size_t kDccFileNameMax = 255;
// An offered file name made into a local one: whatever comes before the last
// "/" or "\" is dropped, blanks around it are trimmed, control characters
// and the characters a file name cannot hold become "_", and a leading "."
// becomes "_" (no hidden files). Refused (returns 0): empty, ".", "..", a
// reserved device name, or longer than kDccFileNameMax bytes.
int dcc_clean_file_name(const std::string& offered, std::string& out);
// The full path of a received file: folder plus the cleaned name, refused
// (returns 0) when it would lie anywhere but directly inside the folder once
// links and dots are resolved.
int dcc_receive_path(const std::string& folder, const std::string& offered, std::string& out);

// Loads the rules at their step of the start-up load.
void download_folders_install();
void download_folders_uninstall();

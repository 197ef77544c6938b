// The settings layer: where the settings live, single keys of ini files,
// numbered lists of keys, whole-section list files, and file and folder settings.
//
// The ini engine is our own. Sections and keys are compared without regard to
// case; the first matching section and the first matching key win; blanks around
// section names, key names and values are ignored; lines without "=" inside a
// section are not keys; comment lines (";") and every line the caller does not
// touch are kept as they are. Every write goes to a temporary file in the same
// folder which is then renamed onto the file, so a crash leaves the old file
// whole. Nothing is cached: every call reads the file again.
//
// A file argument that is empty means `main_ini_path`; a relative path is taken
// relative to `settings_dir`; "\" is accepted for "/".
#pragma once

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "core/signal.h"

struct StringNode;

// ---- Settings location (filled once at start-up, then read everywhere) ----

extern std::string settings_dir;       // the settings folder, always ending in "/"
extern std::string main_ini_path;      // the main settings file, "kest.ini" in settings_dir by default
extern std::string user_settings_dir;  // the per-user folder ending in "/", empty when there is none
extern int settings_to_user_dir;       // settings_dir is to move to user_settings_dir
extern int ini_to_user_dir;            // main_ini_path is to move to user_settings_dir
extern int program_dir_writable;       // a folder could be made and removed in the program's folder
extern int private_store_in_ini;       // set by "-portable", "-noreg", "-appStart"; the private
                                       // value store uses the main file in every case here

// The per-user base folder: flag 1 the configuration folder ($XDG_CONFIG_HOME,
// else ~/.config), flag 2 the data folder ($XDG_DATA_HOME, else ~/.local/share);
// 1 wins when both are set, neither gives 0. The base folder is made when missing.
// The result ends in "/"; flag 4 then appends "kest/" (that subfolder is not made
// here). 1 on success, 0 (out empty) otherwise.
int file_user_dir(std::string& out, int flags);

// Fills the location globals: the launcher's U3 variables when both are set;
// else the program's folder, with both move flags set when that folder is not
// writable or holds no "kest.ini". 0 ends start-up (no program path, or the
// start-up check said so).
int settings_locate();

// Applies the move flags (making the per-user folder), fills an empty settings
// folder from the folder "defaults" beside the program, and makes the main file
// writable. Always 1.
int ini_copy_defaults();

// Start-up check of the update tool, called by settings_locate with the program's
// path; 0 ends start-up. Default: continue (1). Null until that tool is built.
extern int (*settings_startup_check)(const std::string& program_path);

// ---- Single keys ----

// Writes one key. A null or empty value deletes the key; a null key deletes the
// whole section; all three null does nothing (nothing is cached). Control codes
// are removed from names and values; "[", "]", CR and LF in names (and "=" in
// keys) become "~", CR and LF in values become "~". A value that is empty after
// that, or equal to the stored one, is not written. Returns 1 when nothing had to
// be done, 1 when the write worked, 0 when it failed.
int ini_write(const char* section, const char* key, const char* value, const std::string& file);

// Reads one value into dest (the default, "" when null, when the key is absent).
// `size` is the destination's size: the value is cut at the usable length of that
// size (4,150 for 4,150 or 4,200; 1,024 for 1,024 or 1,074; 256 for 256 or 306;
// size - 1 otherwise). Returns the number of characters stored; 0 when the
// section or key name is empty after cleaning.
// With a null key dest receives the section's key names, each ended by a zero
// byte; with a null section, the file's section names the same way.
int ini_read(const char* section, const char* key, const char* def, std::string& dest, std::size_t size,
             const std::string& file);

// 1 when the line begins with "[", holds a "]" and after the last "]" only blanks
// up to the end, a CR or a LF.
int ini_is_section_line(const char* line);

// Makes an existing plain file writable by its owner; does nothing for a null or
// empty path, a folder, a device or a file whose status can't be read.
void file_clear_readonly(const std::string& path);

// Replaces a whole section with the keys in the given order, cleaned as
// ini_write cleans them (keys with an empty value are left out), in one
// rewrite of the file. Returns 1 when the file is as wanted, 0 when it could
// not be read or written (it is then left as it was).
int ini_write_section(const char* section, const std::vector<std::pair<std::string, std::string>>& keys,
                      const std::string& file);

// ---- Numbered lists (keys prefix0, prefix1, ... without gaps) ----

// Frees old_list and returns the values of prefix0, prefix1, ... up to the first
// absent or empty key. Mode 0 every value; 1 server lists (a value without
// "SERVER:" is rewritten as host "SERVER:" host ":" rest; a value without ":" or
// with nothing after it is dropped); 2 only values holding "URL:"; 3 only values
// holding " : ".
StringNode* ini_read_numbered_list(const char* section, const char* prefix, StringNode* old_list,
                                   const std::string& file, int mode);

// Deletes prefix+start, prefix+(start+1), ... up to the first absent or empty key.
// Returns 1 when the file is as wanted, 0 when a needed write failed.
int ini_delete_numbered_from(const char* section, const char* prefix, int start, const std::string& file);

// Writes the list as prefix0, prefix1, ... and deletes the stale keys after the
// last one written. An entry whose text is empty (or empty once control codes are
// removed) is skipped and takes no number, so the list stays contiguous. A
// non-zero limit N ends the walk after the entry numbered N (at most N+1 keys).
// The file is rewritten once, and only when something changed.
// Returns 1 when the file is as wanted, 0 when the write failed.
int ini_write_numbered_list(StringNode* list, const char* section, const char* prefix, int limit,
                            const std::string& file);

// For lists of entries "name,rest": every entry whose part before the first comma
// (blanks collapsed) equals old_name (case ignored) becomes "new_name,rest"; an
// entry without a comma is removed. Returns the (possibly new) head.
StringNode* strlist_rename_key(StringNode* list, const char* old_name, const char* new_name);

// ---- List files ----

// A list stored as a file. A ".ini" file holds it as one section ("[header]"
// then "n0=...", "n1=...", ...); any other file holds one entry per line.
// header is given in lower case, e.g. "[urls]". Mode 1 keeps empty entries,
// mode 2 takes only entries holding "URL:". With whole_line the ".ini" entry is
// the whole line instead of the text after the first "=". Returns null when the
// file can't be read or holds nothing.
StringNode* ini_load_list_file(const std::string& path, const char* header, int mode, int whole_line);

// Writes the list: in a ".ini" file with a header the section is replaced and the
// rest of the file kept in its order; otherwise the whole file is the list.
// The new file is written under a temporary name and renamed into place.
// 1 on success or when there was nothing to do (empty list, no file), 0 on failure.
int ini_save_list_file(const std::string& path, const char* header, StringNode* list);

// Rewrites the file without the section that begins with header (every copy of
// it). Leading empty lines are dropped, runs of empty lines become one, trailing
// ones are dropped. Returns 1 when the old file ended with an empty line or
// nothing was kept (also for a missing file, a null or empty path or header),
// 0 when it ended with text, -1 when the file could not be read or rewritten
// (the file is then left as it was).
int ini_remove_section(const std::string& path, const char* header);

// A list file can't be held in memory: the interpreter reports its script
// error (kind 2 "memory", word "file").
enum IniListErrorOrder {
    kIniListErrorScript = 10,  // the interpreter's pending error
};
extern Signal<void(const char* word, int kind)> ini_list_file_error;

// ---- File and folder settings ----

// In place: a folder setting becomes an absolute folder path ending in "/"; an
// empty setting or a folder that doesn't exist becomes settings_dir.
void file_folder_setting(std::string& path);

// In place: resolves a file setting. An empty path takes default_name. A setting
// with a folder part stands when that file exists; else the same name in
// settings_dir when that exists; else default_name in settings_dir.
void file_setting_path(std::string& path, const char* default_name);

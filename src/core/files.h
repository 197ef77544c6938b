// Paths, files and safe saving.
//
// Every path operation first turns "\" into "/". A relative path is taken
// relative to the settings folder (`settings_dir` of ini.h). The reserved device
// names (aux, clock$, com1..com9, con, lpt1..lpt9, nul, prn, case ignored, with or
// without extension), anything under /dev and anything that is not a plain file
// or folder (character and block devices, pipes, sockets) count as devices and
// are never used as files.
//
// Files are saved under a temporary name "kest%u.tm_" in the target's own folder
// and then renamed onto the target, which replaces it in one step.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

struct StringNode;
// ---- Paths ----

// Turns every "\" into "/".
void file_fix_slashes(std::string& path);

// An absolute path is left; any other is prefixed with the settings folder.
// Returns the path.
std::string& file_abs_settings_dir(std::string& path);

// The same with the program's folder instead.
std::string& file_abs_exe_dir(std::string& path);

// Writes the full path of path to out: an absolute path as it is, a relative one
// after the settings folder. 0 for an empty path or a result longer than 1,024
// characters (a path is never cut), else 1.
int file_resolve_path(const std::string& path, std::string& out);

// As file_resolve_path, but 0 also when the path names no file (it ends in "/",
// or its last part is "." or "..").
int file_resolve_file_path(const std::string& path, std::string& out);

// Removes trailing "/" and spaces; returns the number of "/" removed.
int file_strip_trailing_slash(std::string& path);

// Strips as above, then ends the path with exactly one "/" ("" of stripped
// slashes becomes "/").
void file_add_trailing_slash(std::string& path);

// The part of the path after the settings folder when the path begins with it
// (as the folder is, or in its canonical form); else the path itself.
std::string file_relative_to_settings_dir(const std::string& path);

// 1 when the two paths name the same file: equal once "." and ".." parts are
// resolved, or the same existing file (device and inode).
int file_same_path(const std::string& a, const std::string& b);

// There are no short names here: an existing path stays as it is (a folder keeps
// or gets a trailing "/"); 0 when it doesn't exist.
int file_short_path(std::string& path);

// Replaces an existing path by its canonical form (links and "." and ".."
// resolved), keeping a trailing "/" for a folder; 0 on failure.
int file_long_path(std::string& path);

// Makes a name usable as a file name in place: a leading "." becomes "_"; a first
// character that is one of the connection's channel-type characters is kept
// (`keep_first`: the caller knows the connection's channel types); after it
// every control character (1 to 31), '"' and each of \ / : * ? < > | ^ becomes
// "_". While the kept command shell is "4DOS.COM", every character that is not
// a letter or a digit becomes "_" as well.
void file_sanitize_name(std::string& name, bool keep_first);

// The command shell kept at start-up ("4DOS.COM" or empty).
extern std::string file_command_shell;


// 1 when the path lies inside folder once "." and ".." parts are resolved (and,
// for what exists, links are followed); the folder itself does not count.
int file_path_is_inside(const std::string& path, const std::string& folder);

// The program file's full path (from /proc/self/exe); empty when unknown.
std::string file_program_path();
// When not empty, stands for the program file's path (tests, the launcher).
extern std::string program_path_override;

// ---- Files ----

// 1 when the name part (before its first ".") is a reserved device name, or the
// path lies under /dev, or it exists and is neither a plain file nor a folder.
int file_is_device(const std::string& name);

// While the name is a device: the character before the first "." of its name
// part becomes "_", or without a "." a "_" is appended; a second failure gives 0.
// 1 when the name is usable.
int file_avoid_device_name(std::string& name);

// 1 when the path exists and is of an accepted kind (bit 1 file, bit 2 folder).
// Paths holding "*" or "?" and devices give 0; a trailing "/" is accepted for
// folders.
int file_exists(const std::string& path, int kinds);

// 1 when the folder exists or was made (a trailing "/" is removed first).
int file_make_dir(const std::string& path);

// The names in folder, without "." and "..", in the order the system gives
// them; 0 when the folder can't be read.
int file_list_dir(const std::string& folder, std::vector<std::string>& names);

// Adds the files of folder matching pattern (case ignored; "*.*" is every file)
// to files (full paths with full_path, else names), then for each subfolder not
// beginning with "." adds its path to folders and searches it with depth - 1,
// adding its files with full paths. Depth 0 or less does nothing. Each added
// node's wrapWidth and charWidth hold the high and low halves of the file's
// last-write time (100-nanosecond steps since 1601-01-01). Names are visited in
// order, case ignored.
void file_find_recursive(const std::string& folder, const char* pattern, StringNode*& files,
                         StringNode*& folders, int full_path, int depth);

// The file's size into out: 1 when known, 0 when not.
int file_size64(const std::string& path, std::uint64_t& out);

// Mode 0: bytes free to the caller on the file system of root; mode 1: its total
// bytes; 0 for another mode or on failure.
std::uint64_t file_disk_space(const std::string& root, int mode);

// The next temporary name "kest%u.tm_" (the counter grows by one per call).
std::string file_temp_name();
// Whether a file name is one of those temporary names.
bool file_is_temp_name(std::string_view name);
// Removes the temporary files of that naming in the folder that a save
// killed mid-write left behind: regular files at least min_age_seconds old
// that no running save holds locked. Returns the number removed.
int file_remove_stale_temps(const std::string& folder, int min_age_seconds);

// Copies in blocks of 4,096 bytes after making the target writable. Flag 1:
// refuse an existing target; 2: replace it (through a temporary file and a
// rename, so the old target stays whole until the copy is complete); 4: append.
// 0 done (also when both name the same file), 1 source can't be opened (or is no
// plain file), 2 target exists (flag 1), 3 target can't be opened or no mode
// flag, 4 read or write error (a partial copy is removed or cut back).
int file_copy(const std::string& source, const std::string& target, int flags);

// Flags: 1 move, 2 replace an existing target (one atomic rename), 4 append the
// source to the target. 0 on success, 1 on failure.
int file_move(const std::string& source, const std::string& target, int flags);

// Copies the file, replacing an older copy, to the same folder and name with
// ".bak" in place of its extension (servers.ini -> servers.bak; "x" -> "x.bak").
// 1 on success.
int file_backup(const std::string& path);

// Renames the file to a new temporary name in its own folder and removes that;
// when the removal fails the file is renamed back. 0 on success, 1 on failure.
int file_delete_via_temp(const std::string& path);

// Mode 0: file_delete_via_temp; mode 1: to the desktop's trash; mode 2: to the
// trash after file_trash_confirm agrees. 1 on success.
int file_delete(const std::string& path, int mode);

// Asked before mode 2 of file_delete moves a file to the trash; 0 keeps the file.
// Default: yes (1). A pointer: the user answers in a dialog above core.
extern int (*file_trash_confirm)(const std::string& path);

// Reads a whole plain file into out (a relative path is taken from the settings
// folder). 1 on success; 0 when it doesn't exist; -1 when it can't be read, is no
// plain file or is larger than limit bytes.
int file_read_all(const std::string& path, std::string& out, std::size_t limit);

// Safe save: resolves the path (refusing devices), makes it writable, writes
// content to a temporary name in the same folder, flushes it to disk, keeps a
// ".bak" copy of the previous file when backup is set, and renames the
// temporary file onto the target. A new file gets mode 0600; an existing file
// keeps its mode. A link is followed and its target replaced. 1 on success; on
// failure the old file is left as it was and the temporary file removed.
int file_safe_save(const std::string& path, const std::string& content, int backup);

// A test instrument, not a seam of the program: empty in the running
// program. When set, file_safe_save calls it after the temporary file is
// complete and before it is renamed onto the target; a result of 0 stops
// the save there, leaving both files as they are (as a crash at that moment
// would). Tests put a crash or a refusal at that moment.
extern std::function<int(const std::string& temp_path, const std::string& target_path)> file_replace_hook;

// Writes all of data to the open file (retrying when interrupted); false on an
// error.
bool file_write_all(int fd, const char* data, std::size_t size);

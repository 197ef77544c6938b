// The alias store: the loaded alias files (listed in the main settings
// section "afiles", "aliases.ini" in the settings folder when none is), the
// first-letter index of every alias definition (alias files first, then the
// alias lines of the loaded script files) and the lookup that finds the
// alias named by the first word of a command line.
//
// Lines of an alias file are StringNode nodes. Besides the interpreter's
// words (kLineDepth: depth before the line, kLineComment, kLineKind: 1 on a
// definition line, kLineScript: 0, so an alias of an alias file runs in the
// context of its caller) each carries the store's own words below.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct StringNode;
struct ScriptFile;
struct EventContext;

// Store words of an alias-file line (StringNode::extra).
enum AliasLineWord : int {
    kAliasLineLetter = 4,   // first character of the name, lower-cased; 1 for a one-word line
    kAliasLineNameLen = 5,  // length of the name on a definition line
    kAliasLineOwner = 6,    // the AliasFile that holds the line
    kAliasLineNextDef = 7,  // the next definition line of the same file
};

// One loaded alias file.
struct AliasFile {
    std::string path;                    // absolute, at most 1,024 characters
    std::string section = "[aliases]";   // the section its lines live in (".ini" files)
    int kind = 0;
    int modified = 0;        // the lines changed since the last save
    int current = 0;         // the file the script editor shows first
    int reload_pending = 0;  // to be read again from disk
    std::int64_t file_time = 0;  // last-write time on disk in seconds (0: unknown)
    int editor_top = 0;
    int editor_caret = 0;
    StringNode* lines = nullptr;
    int id = 0;
    AliasFile* next = nullptr;
};

// Where an index entry comes from (AliasIndexEntry::number).
constexpr int kAliasEntryFile = 0;     // an alias file
constexpr int kAliasEntryScript = 1;   // an "alias" line of a script file
constexpr int kAliasEntryLocal = 2;    // "alias -l": only for its own script file

struct AliasIndexEntry {
    std::string name;
    int number = kAliasEntryFile;
    StringNode* definition = nullptr;
    const void* owner = nullptr;   // AliasFile* (number 0) or ScriptFile* (1, 2)
};

// ---- Globals ----
extern AliasFile* alias_files_head;
// Set by every change of a store-file list (the file watcher reads it).
extern int script_watch_recheck;

// ---- Lookup and index ----

// The definition line of the alias named by the first word of the line
// (after its "/", "!" and "." prefix), or null. name_out (may be null)
// receives the name. With a script file, its own aliases (local ones
// included) are found first; then any alias that is not local, in index
// order (alias files in list order, then scripts in load order).
// Counts every change of the aliases that alias_find sees (the index of
// alias and script files, and the aliases added in memory): a caller may
// keep what a lookup gave while the count stands.
extern unsigned long alias_generation;

StringNode* alias_store_find(std::string_view command_line, std::string* name_out,
                             ScriptFile* script);
// Rebuilds the whole index from the alias files and the script files.
void alias_index_rebuild();
// Empties the index.
void alias_index_clear(int free_entries);
// The entries of one head (0..25 = A..Z, 26 = the rest), in order.
const std::vector<AliasIndexEntry>& alias_index_head(int head);
// The head of a name: its upper-cased first character minus 'A', 26 outside.
int alias_index_head_of(std::string_view name);

// ---- Files ----

// Start-up load from section "afiles" of the main settings file. Returns 1.
int alias_files_load_all();
// Loads (or reloads in place) one file; null for an empty path.
AliasFile* alias_file_load(const std::string& path);
// Unloads a file: mode 0 by the user (never leaves the store empty), 1
// quietly, 2 while pruning. Returns the file to show next.
AliasFile* alias_file_unload(AliasFile* file, int mode);
// Saves one file, under new_path when that is not empty. 1 on success.
int alias_file_save(const std::string* new_path, AliasFile* file);
// Writes the list to section "afiles": mode 0 the list only, 1 also saves
// changed files, 2 as 1 without writing the option lines. 1 on success.
int alias_files_save_list(int mode);
// The loaded file of that path (or of that bare file name), or null.
AliasFile* alias_file_find(const std::string& path);
int alias_file_is_loaded(const AliasFile* file);
// The file with the current flag (the first one gets it when none has).
AliasFile* alias_file_current();
// Frees every alias file (the index is cleared too).
void alias_files_free();
// Reads again every file flagged reload_pending, then rebuilds the index.
void alias_files_reload_pending();
// Re-indents the lines and marks definitions, depths and owners.
void alias_file_scan(AliasFile* file);
// Unloads empty files that are missing on disk (never the last file, never keep).
void alias_files_prune(AliasFile* keep);
// Number of loaded alias files.
int alias_files_count();
// The file's name and extension (no folder).
std::string alias_file_name_part(const std::string& path);

// ---- The remote script files ----

// One loaded script file as the alias index and the group commands see it.
struct AliasScriptRef {
    ScriptFile* file = nullptr;
    StringNode* lines = nullptr;
    std::string path;
};
// The loaded remote script files (kind "script") in their list order.
std::vector<AliasScriptRef> alias_script_files();

// Installs the store: the main settings loader's hook for alias files.
void alias_files_install();

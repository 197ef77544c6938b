// Remote script files: the ordered list of loaded users, variables and
// script files, their line classification (line kinds, groups, the
// "^" flag, the definition chain), loading at start-up from the main
// settings section "rfiles", loading and unloading single files, saving,
// and raising LOAD and START for newly loaded scripts.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "script/exec/script_types.h"

struct StringNode;
struct Connection;

// Kinds of a remote file.
constexpr int kRemoteUsers = 0;
constexpr int kRemoteVariables = 1;
constexpr int kRemoteScript = 2;

// One loaded store file.
struct ScriptFile {
    std::string path;            // absolute, at most 1,024 characters
    std::string section;         // "[users]", "[variables]" or "[script]"
    int kind = kRemoteScript;
    int modified = 0;            // edited in memory, needs saving
    int selected = 0;            // the file selected in the script editor
    int reload = 0;              // to be read again by remote_files_reload_changed
    int unload_state = 0;        // 1 being unloaded, 2 UNLOAD fired
    int hotlink_state = 0;       // 0 not asked, 1 accepted, 2 refused
    int load_state = 1;          // 1 LOAD still to fire, 2 fired
    int start_state = 1;         // 1 START still to fire, 2 fired
    int carried[2] = {0, 0};     // kept when a new load replaces the record
    StringNode* lines = nullptr; // the file's lines
    int id = 0;                  // unique among script files (1..14,999)
    long long file_time = 0;     // modification time when read or written
    ScriptFile* next = nullptr;
};

// Line kinds set by the classifier.
enum ScriptLineKind : int {
    kLineGroupInside = 0,  // a group line while a group is open
    kLineRaw = 1,
    kLineOn = 2,
    kLineCtcp = 3,
    kLineOther = 4,
    kLineGroupEnd = 5,
    kLineGroupOn = 6,
    kLineGroupOff = 7,
    kLineAlias = 9,
    kLineMenu = 10,
    kLineDialog = 12,
    kLineNone = -1,        // blank, inside a block or inside a comment
};

// Words of StringNode::extra that the classifier sets, beside the
// executor's (depth after the line, comment state, definition marker,
// owning file).
enum ScriptLineField : int {
    kLineClass = 4,        // ScriptLineKind
    kLineNumber = 5,       // raw: the numeric; on/ctcp: upper-cased first letter of the event word
    kLineFlags = 6,        // kLineFlagCaret | kLineFlagEnabled
    kLineNextDef = 7,      // StringNode* of the next definition line
};
constexpr std::intptr_t kLineFlagCaret = 1;
constexpr std::intptr_t kLineFlagEnabled = 2;

// A typed view of one classified line.
struct ScriptLine {
    StringNode* node = nullptr;
    int kind() const;
    int number() const;
    bool caret() const;
    bool enabled() const;
    ScriptFile* file() const;
    StringNode* next_definition() const;
};

// The remote list (users file, variables file and scripts, in order).
extern ScriptFile* remote_list;
// Number of script files loaded or unloaded since start; the event walk
// restarts when it changes under a running handler.
extern unsigned remote_list_generation;

// 1 for a loaded remote file; else the sibling stores' answer (none wired:
// 0), so a freed record is live only when another store's record now has its
// address.
int remote_script_file_is_live(const ScriptFile* file);

// Start-up load of every file listed in "rfiles". Returns 1.
int remote_files_load_all();
// Loads (or reloads) one file: position 0 keeps a replaced file's place
// (else the end), 1.. a 1-based place, 9999 the end. *replaced (may be
// null) receives the record that was replaced (already freed; compare
// only). Returns the new record or null.
ScriptFile* remote_file_load(const std::string& path, int kind, int position,
                             ScriptFile** replaced);
// mode 0 the unload command (scripts only), 1 replaced by a new load, 2 a
// silent drop. Returns the record now in its place (null for mode 2).
ScriptFile* remote_file_unload(ScriptFile* file, int mode);
// Saves one file (under a new path when given) and rewrites the list.
// Returns 1 on success.
int remote_file_save(const std::string* new_path, ScriptFile* file);
// Writes one file's lines as they are (no list update); 1 on success.
int remote_file_write(ScriptFile* file);
// Saves modified files (mode not 0) and writes section "rfiles"; every mode
// but 2 also writes the main settings.
int remote_files_save_list(int mode);
// Reads again every file whose reload flag is set.
void remote_files_reload_changed();
// Raises LOAD and/or START for newly loaded scripts.
void script_fire_load_start(int which, Connection* conn, int quiet);

ScriptFile* remote_file_find(const std::string& path, int kind);
ScriptFile* remote_file_of_kind(int kind);
ScriptFile* remote_file_current();
int remote_file_is_loaded(const ScriptFile* file);
ScriptFile* script_file_by_id(int id);
// Frees every record of the list and clears the event index.
void remote_files_free_all();

// Classifies the lines of a script (kinds, groups, "^", definition chain).
void script_classify(StringNode* lines, ScriptFile* file);
// Normalises leading blanks: mode 2 removes them, else two per block level.
void script_reindent(StringNode* lines, ScriptFile* file, int mode);

// Whether the events switch is on.
int remote_events_enabled();
// The initialisation warning (null until its dialog is built: none asked,
// the handlers run).
extern int (*remote_ask_init_warning)();
// Whether a back-up ".bak" copy is made before a users, variables or script
// file is saved. Default: off.
extern int remote_backup_on_save;

// Script variables: the global store (the lines of the variables file with
// a 27-head first-letter name index), the local variables of a running
// block, the timed list (unset after N seconds, at the end of a run, or at
// exit; a step every second), the local-scope ids, $var, the evaluator's
// rule for "%name" tokens, and loading and saving the variables file.
//
// A global variable is one line of the variables file: "%name value" (the
// name alone for the empty value). A local variable is one node of the
// run's local list, whose first node is a placeholder and holds no variable.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

class QWidget;
struct StringNode;
struct EvalToken;
struct IdentCall;

// ---------------------------------------------------------------------------
// The variables file held in memory. The remote-script store keeps it as
// its file of kind 1; until that store loads one, var_file_load or
// var_file_new makes it.

struct VarFile {
    std::string path;                      // absolute; at most 1,024 characters
    std::string section = "[variables]";   // the section the lines are read from and written to
    int modified = 0;                      // lines changed since the last load or save
    int reload = 0;                        // the editor changed the file on disk: read it again
    std::int64_t file_time = 0;            // last-write time in seconds after a load or save
    StringNode* lines = nullptr;           // the file's lines in order
};

// The loaded variables file, or null (then nothing can be stored).
extern VarFile* var_file;

// Words of a variables-file line (StringNode::extra), set by var_file_scan.
// They sit after the words that the executor reads on script lines.
enum VarLineWord : int {
    kVarLineLetter = 4,       // the character after the first "%", lower-cased; 0: not a variable
    kVarLineValueLetter = 5,  // first character of the value, lower-cased; 0: no value
    kVarLineValuePos = 6,     // position of the value in the line; 0: no value
    kVarLineOwner = 7,        // the VarFile that holds the line
};

// ---------------------------------------------------------------------------
// The global name index: 27 heads, 'a'..'z' by the character after "%"
// (lower-cased), 26 for every other character. Entry: text = the name,
// number = how many further lines carry the same name, extra[0] = the first
// line with that name.

constexpr int kVarIndexHeads = 27;
extern StringNode* var_index[kVarIndexHeads];

// Head of a name: its character after a leading "%" (the first character
// when it has none) minus 'a', lower-cased; 26 outside a..z.
int var_index_head(std::string_view name);

// ---------------------------------------------------------------------------
// Timed list: one entry per name, newest first. text = the name, number =
// seconds left (1 and up), 2147483647 for "until exit", or a scope id (-9
// and below) for "at the end of that run"; extra[0] = the flags word,
// extra[1] = 1 when the unset is reported.

extern StringNode* var_timed;

constexpr int kVarUntilExit = 2147483647;

// Flags word of a set.
enum VarSetFlag : int {
    kVarFlagSet = 1,
    kVarFlagInc = 2,
    kVarFlagDec = 4,
    kVarFlagStep = 8,        // step every second (with 2 or 4)
    kVarFlagCountDown = 16,  // step down to zero and unset there (with 1 or 4)
    kVarFlagUntilExit = 32,
};

// ---------------------------------------------------------------------------
// Finding and setting.

// Finds "%name": the local list first (when given: its first node, the
// placeholder), then the global index. Writes the value into *value (may be
// null; empty for no value or a value of two double quotes) and returns the
// global line or local node; null when absent (the value is then empty).
StringNode* var_find(std::string_view name, std::string* value, StringNode* locals);

// Sets the variable to *value, or unsets it when value is null (see the
// source for the full rules). work is a scratch buffer (may be null); show
// prints the confirmation into the window; flags is the flags word; with
// wildcard a name holding "*" or "?" is a pattern; count is the seconds, the
// scope id or 0; locals is the run's local list (may be null); keep_timed
// keeps the timed entry of an unset variable. Returns 1 when done, 0 when
// there is no variables file or no memory.
int var_set(QWidget* window, std::string_view name, const std::string* value, std::string* work,
            int show, int flags, int wildcard, int count, StringNode* locals, int keep_timed);

// The same on a local list. create permits a new local variable. Returns 1
// when it set the variable or unset it by its exact name, 2 after a
// wildcard unset that removed at least one (their number is added to
// *removed when given), 0 when not handled.
int var_local_set(QWidget* window, std::string_view name, const std::string* value,
                  std::string* work, int show, int flags, int wildcard, StringNode* locals,
                  int create, int* removed = nullptr);

// Finds a local variable (by wildcard pattern when asked); writes its value
// like var_find and returns its node, or null.
StringNode* var_local_find(std::string_view name, std::string* value, int wildcard,
                           StringNode* locals);

// The value of a variable line or local node (text after the first blank;
// empty for two double quotes).
std::string var_line_value(const StringNode* line);

// Makes a local list: one placeholder node. Null when memory runs out.
StringNode* var_locals_new();
// Frees a local list (as strlist_free does) and sets *list to null; its
// placeholder is kept for the next var_locals_new.
void var_locals_free(StringNode** list);

// /unsetall: unsets every timed variable (var_tick mode 1), frees every line
// of the variables file (flagged as changed) and clears the index; local
// variables stay. With show, text 961 is printed into the window.
void var_unset_all(QWidget* window, int show);

// Prints a confirmation of the variable commands into a window.
void var_echo(QWidget* window, const std::string& text);

// ---------------------------------------------------------------------------
// Index and file lines.

void var_index_rebuild();
// Indexes one line under its name (a name already indexed counts one more).
void var_index_add(StringNode* line, std::string_view name);
// Empties the heads; with free_entries the entries are freed, else only forgotten.
void var_index_clear(int free_entries);
// Sets the words of every line of the file (letter, value letter, value
// position, owner).
void var_file_scan(VarFile* file);

// ---------------------------------------------------------------------------
// Timed entries, ticks, scopes.

StringNode* var_timed_find(std::string_view name);
// Removes the name's timed entry; 1 when there was one.
int var_timed_remove(std::string_view name);

// Mode 0: one second (the frame's tick, while the timed list is not empty).
// Mode 1: unsets every timed variable at once (before saving at exit, and
// /unsetall).
void var_tick(int mode);

// The frame's one-second step: var_tick(0) while the timed list is not empty.
void var_tick_second();

// End of a run: unsets every variable whose timed entry holds the scope id,
// then frees the binary variables made with that scope.
void var_scope_end(QWidget* window, int scope);

// The next local scope id: -10, -11, ... -9999, then -9 and on again.
int var_next_scope();
// The counter itself (tests and the interpreter's start-up).
extern int var_scope_counter;

// ---------------------------------------------------------------------------
// $var(pattern[, N])[.value|.local|.secs]. A pattern written with its "%"
// is taken as it stands (not replaced by a variable's value); one written
// without it gets the "%".

int id_var(IdentCall& call);

// ---------------------------------------------------------------------------
// The evaluator's rule for a token that begins with "%".
//
// command_word is the first token of the command (may be the token itself),
// token the "%" token. Results:
//   0  the token stays as it stands (a lone "%", or the name operand of
//      /set, /inc, /dec, /unset, /sockread, and of those commands inside a
//      /timer command);
//   1  *out holds the variable's value (empty for a missing variable);
//   2  the line "%name = value" was rewritten into "set %name value": the
//      command word's text is now "set" and the "=" token holds the name.
// rewrite_off suppresses rule 2; evaluate_all also evaluates the
// arguments of /unset.
int var_eval_token(EvalToken* command_word, EvalToken* token, int rewrite_off, std::string* out,
                   StringNode* locals, int evaluate_all);

// The same decision for the interpreter's simpler question: whether the
// argument at `position` among the arguments that are not switches is a
// name operand of the command word (or a lone "%", which always stays).
// `last`: the argument is the line's last (the target of /sockread).
int var_keep_name(std::string_view command_word, int position, std::string_view token, int last = 0);

// ---------------------------------------------------------------------------
// The variables file on disk. A ".ini" file holds the lines as section
// "[variables]" ("n0=%name value", ...), any other file one line per line.

// Makes an empty variables file record for the path (replacing any loaded
// one) and returns it. A relative path is taken against the settings folder
// when the file is saved.
VarFile* var_file_new(const std::string& path);
// Loads the file (replacing any loaded one; a relative path is taken against
// the settings folder): the section's lines lose their leading blanks, are
// scanned and indexed. A missing file gives an empty record with that path.
// Returns the record.
VarFile* var_file_load(const std::string& path);
// Writes the lines (under new_path when given, which then becomes the
// file's path) and clears the modified flag. 1 on success, 0 on failure or
// when no variables file is loaded.
int var_file_save(const std::string* new_path);
// Frees the loaded variables file, the index and the timed list.
void var_store_free();
// At exit: unsets every timed variable (var_tick mode 1), then saves the
// variables file when it changed. Returns the save's result (1 when
// nothing had to be saved).
int var_store_exit();

// ---------------------------------------------------------------------------
// Seams to later parts of the program.

struct VarHooks {
    // Whether the script editor shows its variables page (timed unsets then
    // wait). Absent: never.
    int (*editor_shows_variables)() = nullptr;
};
extern VarHooks var_hooks;

// Installs the store into the interpreter (variable lookups, scopes, the
// "%name" rule, $var) and into the frame's one-second tick, and makes an empty
// variables file ("vars.ini" in the settings folder) when none is loaded, so
// that a program without the remote-script store can keep variables.
void variables_install();

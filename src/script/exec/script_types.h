// Shared records and signatures of the script interpreter: the executor's
// argument record, the result of runs and command handlers, the evaluator's
// token list and argument record, the command-handler and identifier-handler
// types with their registration, the script-error calls, and the seams to
// parts of the program that are not in yet.
//
// Every built-in command handler and every built-in identifier handler of the
// program plugs in through this header:
//
//   Commands:    int cmd_echo(CommandCall& call);
//                script_register_command_family("cmd_echo", cmd_echo);
//                (or script_register_command("echo", cmd_echo) for one word)
//   Identifiers: int id_calc(IdentCall& call);
//                ident_register_family("id_calc", id_calc);
//                (or ident_register("calc(", id_calc) for one name)
//
// A family's registration function (for example `void calc_register()`) is
// called from its own install: the engine's own families from
// script_engine_init() (script_init.cpp), the built-in commands and
// identifiers above the engine from the program's composition; registering
// again replaces the handler.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class QWidget;
struct Connection;
struct StringNode;
struct ScriptFile;   // a loaded store file (alias, popup, remote, variables)

// ---------------------------------------------------------------------------
// Results.

// Result of a run of the executor and of every built-in command handler.
enum ScriptHandlerResult : int {
    kScriptPass = -1,    // only cmd_dcc: hand the word on to cmd_unknown
    kScriptFailed = 0,   // failed (a script error may be pending) or stopped
    kScriptDone = 1,     // done, go on
    kScriptHalted = 2,   // /halt
    kScriptReturn = 3,   // return with a value (in the line buffer)
    kScriptJump = 4,     // /goto: the label is the handler's first argument
};

// The per-firing context of an event. Its first word is the halt flag that
// /halt and /haltdef set; the event engine extends the record.
struct EventContext {
    int halt = 0;
};

// ---------------------------------------------------------------------------
// Script lines. A list of lines to run is a StringNode list; besides the
// text each line carries these words in StringNode::extra (set by whoever
// builds the list: the split of a typed line, the alias store, the
// script-file loader).
enum ScriptLineWord : int {
    kLineDepth = 0,     // brace depth after the line
    kLineComment = 1,   // 0 code, 1 comment line, 2 opens "/*", 3 closes it, 4 inside
    kLineKind = 2,      // non-zero: the line starts a definition (ends a run that reaches it)
    kLineScript = 3,    // ScriptFile* of the file that holds the line (first line of a definition)
};

// ---------------------------------------------------------------------------
// The executor's argument record (script_exec_block), passed by value.

struct ExecArgs {
    QWidget* window = nullptr;       // target of output and plain text
    StringNode* lines = nullptr;     // first line of the list to run
    const char* params = nullptr;    // the $1- text, or null
    int mode = 1;                    // 0 typed, 1/2 commands, 3 plain text, 4..7 (see executor)
    int depth = 0;                   // nesting depth; 0 for a run started from outside
    std::string* eval_buf = nullptr; // evaluation buffer (made when null)
    std::string* work_buf = nullptr; // work buffer (made when null)
    std::string* line_buf = nullptr; // command after evaluation; carries a /return value back
    StringNode* running_alias = nullptr; // definition line of the alias this run executes
    int show = 1;                    // 0 after a "." prefix
    int ident_call = 0;              // 1 when run for an alias called as an identifier ($isid)
    EventContext* halt = nullptr;    // the event being handled
    StringNode** locals = nullptr;   // local variables of this run (made when null)
    int owns_locals = 0;             // 1 = free the locals at exit
    StringNode* param_list = nullptr; // parameters one per node, used instead of params
    const char* eval_extra = nullptr; // property text of an alias called as identifier ($prop)
    StringNode* definition = nullptr; // definition line of the alias or event being run
    ScriptFile* script = nullptr;    // loaded script file that owns the lines
    std::string* slot_a = nullptr;   // last prompted input ($!)
    std::string* cond_slot = nullptr; // "v1\0v2" of the last comparison ($v1, $v2)
    int* slot_c = nullptr;           // filtered-lines counter ($filtered)
    int scope = 0;                   // local-variable scope id
    std::string* result_slot = nullptr; // the $result text
    int* slot_d = nullptr;           // current find match ($findfilen)
    Connection* conn = nullptr;      // connection on whose behalf the line runs
    Connection* home_conn = nullptr; // where /scid and /scon moved the run from
    QWidget* home_window = nullptr;
};

// ---------------------------------------------------------------------------
// The evaluator's tokens.

// Flags of an EvalToken.
enum EvalTokenFlag : unsigned {
    kTokEmpty = 1u << 0,        // the value is the empty text (left out of joins)
    kTokProperty = 1u << 1,     // a ".property" followed the closing parenthesis
    kTokAgain = 1u << 2,        // evaluate once more on the next pass
    kTokLastArg = 1u << 3,      // last argument of the identifier before it
    kTokBlankBefore = 1u << 4,  // a blank goes before this token when joined
    kTokKeepName = 1u << 5,     // a %name left as it stands (name operand of /set ...)
};

// Token states.
enum EvalTokenState : int {
    kTokRaw = 0,
    kTokFinal = 1,
    kTokPlusWait = 2,   // a $+ waiting for its neighbours
};

struct EvalToken {
    std::string text;
    int state = kTokRaw;
    int argc = 0;         // argument tokens that follow (0 = arguments not split)
    unsigned flags = 0;
    int blanks = 1;       // blanks before the token in the text it was split from
    EvalToken* next = nullptr;
    EvalToken* prev = nullptr;
};

// A doubly linked token list with a free pool of its own, so that a loop
// that re-evaluates a line does not go back to the allocator for each token.
struct TokenList {
    EvalToken* head = nullptr;
    EvalToken* tail = nullptr;
    int count = 0;
    EvalToken* pool = nullptr;   // freed tokens, kept for reuse

    TokenList() = default;
    TokenList(const TokenList&) = delete;
    TokenList& operator=(const TokenList&) = delete;
    ~TokenList();
};

// Token list operations (implemented with the evaluator).
EvalToken* toklist_new_token(TokenList& list, std::string_view text);
void toklist_append(TokenList& list, EvalToken* tok);
void toklist_insert_after(TokenList& list, EvalToken* pos, EvalToken* tok); // pos null: at head
EvalToken* toklist_remove(TokenList& list, EvalToken* tok); // returns the next token
void toklist_unlink(TokenList& list, EvalToken* tok);        // out of the list, not into its pool
void toklist_clear(TokenList& list);
// Splits the text at blanks (runs count once) and appends the tokens; each
// token remembers the length of the blank run in front of it.
void toklist_split(TokenList& list, std::string_view text);

// ---------------------------------------------------------------------------
// The evaluator's argument record (ident_eval_tokens).

struct LabelEntry;

struct EvalArgs {
    QWidget* window = nullptr;
    TokenList* tokens = nullptr;     // in/out
    std::string* value_buf = nullptr;   // 4,200-byte value buffer
    std::string* scratch_buf = nullptr; // scratch
    std::string* error_buf = nullptr;   // error text
    const std::vector<std::string>* params = nullptr; // entry 0 empty; 1.. = $1, $2 ...
    int* has_star = nullptr;         // out: the line holds $*
    std::string* last_input = nullptr; // $!
    int read_state[2] = {0, 0};      // kept for the bare $read / $readini forms
    int event = 0;                   // runs for an event
    EventContext* event_ctx = nullptr;
    int in_condition = 0;            // evaluating the operands of a condition
    int depth = 0;
    int show = 1;
    int ident_call = 0;              // $isid
    int no_alias = 0;                // "!" prefix of the command
    int command_line = 0;            // the list is a command: its head is the command word
    int channel_prefix = 0;          // internal: "#$..." is being evaluated
    std::string* result_slot = nullptr; // $result
    const char* prop = nullptr;      // $prop
    std::string* cond_slot = nullptr;   // $v1 "\0" $v2
    int* filtered = nullptr;         // $filtered
    int* findfilen = nullptr;        // $findfilen
    // Commands to run after the current one, the next one last ($read -p);
    // null where no command runs the evaluation.
    std::vector<std::string>* queued = nullptr;
    int scope = 0;
    StringNode** locals = nullptr;
    StringNode* running_alias = nullptr;
    ScriptFile* script = nullptr;
    Connection* conn = nullptr;
    // The script line being run, the first line of its list and the
    // definition line of its alias or event ($scriptline); null when typed.
    const StringNode* running_line = nullptr;
    const StringNode* running_first = nullptr;
    const StringNode* running_definition = nullptr;
};

// ---------------------------------------------------------------------------
// Command handlers.

struct CommandCall {
    QWidget* window = nullptr;
    // The command cut at blanks: entry 0 the lower-cased word, then the
    // arguments. Runs of blanks count once, except for the word "set", where
    // every single blank cuts (so empty entries keep a value's blank runs).
    std::vector<std::string> tokens;
    std::string_view line;           // the whole evaluated command (word and arguments)
    Connection* conn = nullptr;
    std::string* eval_buf = nullptr; // output space
    std::string* work_buf = nullptr; // output space
    std::string* line_buf = nullptr; // holds the /return value on result 3
    int origin = 0;                  // 0 typed/commands, 1 event scripts, 2 external requests
    int show = 1;                    // 0 after a "." prefix: no confirmation
    ScriptFile* script = nullptr;
    EventContext* halt = nullptr;
    StringNode** locals = nullptr;   // local variables of the run
    int scope = 0;
    ExecArgs* run = nullptr;         // the run (shared slots); may be null
    int depth = 0;                   // depth of the run plus one
    int variant = 0;                 // number given with the registration (e.g. draw words 1..5)

    // Argument i (1-based like the tokens), or the empty text.
    const std::string& arg(std::size_t i) const;
    std::size_t argc() const { return tokens.empty() ? 0 : tokens.size() - 1; }
    // The text after the command word (leading blanks skipped).
    std::string_view rest() const;
};

using CommandHandler = int (*)(CommandCall& call);

// Sets the handler of one command word of the built-in vocabulary (or of a
// new word; a new word given no handler is forgotten). Returns 1.
int script_register_command(std::string_view word, CommandHandler handler, int variant = 0);
// Sets the handler of every word that the vocabulary sends to the named
// handler ("cmd_aline" covers aline, cline, dline, iline, rline, sline).
// Returns the number of words set (0 for an unknown handler name).
int script_register_command_family(std::string_view handler_name, CommandHandler handler);
// The handler of a built-in command word (lower case, without the command
// character), or null when the word has none.
CommandHandler script_command_handler(std::string_view word);

// ---------------------------------------------------------------------------
// Identifier handlers.
//
// Protocol: on its first call (token->argc == 0) a handler with arguments
// splits them (ident_split_args) and returns 1. On later calls it returns 1
// while any argument is not final (ident_args_ready); when all are, it
// computes its value into *call.value, removes its argument tokens, sets the
// argument count to 0 and returns 2 (ident_finish does the last three).
// 0 = error (recorded with ident_error); 3 = the value is a line to be
// evaluated again. ident_args_step wraps the first two steps:
//
//   int id_len(IdentCall& c) {
//       int r = ident_args_step(c, 1);      // exactly one argument
//       if (r >= 0) return r;
//       *c.value = std::to_string(ident_arg(c, 0).size());
//       return ident_finish(c);
//   }

struct IdentCall {
    EvalArgs* args = nullptr;        // window, connection, flags, depth ...
    TokenList* list = nullptr;       // the line's tokens
    EvalToken* token = nullptr;      // the identifier's own token
    std::string* value = nullptr;    // value buffer (at most 4,150 characters)
    std::string* scratch = nullptr;
    std::string* work = nullptr;
    std::string_view name;           // the name as it matched ("calc(", "me", "mouse.")
    int variant = 0;                 // number given with the registration
    QWidget* window() const { return args ? args->window : nullptr; }
    Connection* conn() const { return args ? args->conn : nullptr; }
};

using IdentHandler = int (*)(IdentCall& call);

// Argument counts for ident_split_args.
constexpr int kIdentAnyArgs = 99;   // one or more

// Splits the arguments of the call's token (expected: exact count or 99).
// Returns 1, or 0 after ident_error (4 too few, 5 too many, 3 too long,
// 2221 no closing parenthesis).
int ident_split_args(IdentCall& call, int expected);
// 0 all arguments are final, 1 one still needs evaluation, 2 the list ended early.
int ident_args_ready(const EvalToken* token);
// First call: split (1 or 0); arguments pending: 1; all final: -1 (compute now).
int ident_args_step(IdentCall& call, int expected);
// The same steps for an identifier that takes between `min` and `max`
// arguments. Equal bounds are an exact count (too few is error 4, too many
// error 5) unless `as_set` is given; otherwise the count is checked as a set
// as soon as the arguments are split (error 6).
int ident_args_range(IdentCall& call, int min, int max, bool as_set = false);
// Number of split arguments and argument i (0-based); empty text past the end.
int ident_arg_count(const IdentCall& call);
const std::string& ident_arg(const IdentCall& call, int i);
// The property text (after "()."), empty when none.
std::string_view ident_property(const IdentCall& call);
// Removes the argument tokens, sets the count to 0, returns 2.
int ident_finish(IdentCall& call);
// The value moved into the result, then ident_finish; with a code other
// than 0 the identifier error of that code instead.
int ident_result(IdentCall& call, std::string& value);
int ident_result(IdentCall& call, int code, std::string& value);
// "$true" or "$false".
const char* ident_truth(bool b);
// The identifier's word: its name up to "(" when it has arguments.
std::string_view ident_word(const IdentCall& call);

// Name forms: "me" (the whole name), "calc(" (any name that begins with it,
// arguments follow), "mouse." / "script" with kIdentPrefix (any name that
// begins with it). Returns 1.
constexpr int kIdentPrefix = 1;
int ident_register(std::string_view name, IdentHandler handler, int variant = 0, int flags = 0);
// Sets the handler of every name that the vocabulary sends to the named
// handler ("id_calc", "id_gettok" ...). Returns the number of names set.
int ident_register_family(std::string_view handler_name, IdentHandler handler);

// ---------------------------------------------------------------------------
// Script errors (pending until the outermost run prints them).

// Composes the message of the type for the command word (or, type 6, takes
// the word as the whole message). With a window it is printed at once and
// the pending error is cleared. Returns 0.
int script_error(QWidget* window, std::string_view word, std::string_view extra, int type);
// Sets the pending error to the text of the code followed by the
// identifier's name (the token's text up to its first "("). Returns 0.
int ident_error(const EvalToken* token, std::string* work, int code);
// The same with the name given as text.
int ident_error_name(std::string_view name, int code);
// A built-in command word or identifier whose feature is not built yet:
// the pending error "* /word: not available yet" ("* $name: ..." for an
// identifier; the name as given, up to its first "("). Returns 0.
int script_error_not_available(char kind, std::string_view name);

// ---------------------------------------------------------------------------
// Entry points (implemented by the executor and the evaluator).

// Runs one line of commands; depth is the nesting of the caller (0 at the top).
int script_exec_line(QWidget* window, const char* text, const char* params, int mode,
                     EventContext* halt, ScriptFile* script, Connection* conn, int depth = 0);
int script_exec_block(ExecArgs args);

// Evaluates the text in place; returns the text, or null on failure (the
// text is then empty). Depth 0 or less is a top-level call (-1 also keeps
// an identifier error from being printed). A scope of 0 or more asks for a
// new local-variable scope.
std::string* ident_eval_text(QWidget* window, std::string* text, const char* param1,
                             const char* param2, int event, int depth, int scope,
                             ScriptFile* script, Connection* conn);

// Evaluates a token list in place: 0 failed or halted, -1 rebuilt (call
// again), any other value success.
int ident_eval_tokens(EvalArgs& args);

// Registers the engine's own families (return, goto, the variable store,
// $calc and $base); safe to call more than once.
void script_engine_init();

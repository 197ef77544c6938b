// The command-line executor: runs lists of script lines with their blocks,
// control words, labels and alias calls, and hands every other command to
// the built-in dispatch. The common entry points (script_exec_line,
// script_exec_block) are declared in script_types.h.
#pragma once

#include <string>
#include <string_view>

#include "script/exec/script_types.h"

// Runs a command text, or a braced block taken from a line list (popup
// items and menu commands whose body is a block).
int script_exec_command(QWidget* window, StringNode* line, const char* text, const char* params,
                        int mode, ScriptFile* script, Connection* conn);

// Runs one command exactly as it stands: no identifiers or variables are
// evaluated and "|" does not split it (commands built from text that a
// server or peer sent). The command word is the first word of the text; a
// leading "/" is optional. origin is handed to the handler (0 user, 1 event).
int script_exec_plain_command(QWidget* window, std::string_view command, Connection* conn,
                              int origin);

// The fallback for a word that is neither an alias nor a built-in command
// with a handler, set by the command set (help files, then the server);
// while it is not set such a word does nothing and the result is 0.
extern int (*cmd_unknown)(CommandCall& call);

// Looks the lower-cased word up in the built-in vocabulary and runs its
// handler (the "timer" and "dcc" families included). Words without a
// handler go to cmd_unknown.
int builtin_dispatch(CommandCall& call);

// /return: the arguments joined with single blanks into the line buffer; 3.
int cmd_return(CommandCall& call);

// /goto: the run jumps to the label in the word's first argument (the run
// itself finds it); -12.
int cmd_goto(CommandCall& call);

// Number of words in the command vocabulary.
int command_table_size();
// The word at a place of the vocabulary (0 .. size - 1); null past its end.
const char* command_table_word(int index);
// Whether a word has a registered handler.
int command_has_handler(std::string_view word);

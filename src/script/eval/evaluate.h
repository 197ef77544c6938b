// The identifier and variable evaluator: turns a token list into values
// (bracket groups, $+ joins, $N parameters, #, $$, $~, %variables, built-in
// identifiers and aliases called as identifiers). The entry points
// ident_eval_tokens and ident_eval_text are declared in script_types.h.
#pragma once

#include <string>
#include <string_view>

#include "script/exec/script_types.h"

// Joins the final tokens into out: values that are not empty, a blank before
// each that asks for one when out is not empty; stops before the first token
// that would take it past 4,150 characters. With keep_runs a token keeps
// the blank run that stood before it in the text it was split from.
void ident_eval_join(const TokenList& list, std::string& out, bool keep_runs = false);

// Stores a value into a token: final, the empty flag when empty, the
// blank-before flag unless it is the list head.
void arg_node_set_value(TokenList& list, EvalToken* tok, std::string_view value);

// Evaluates one text as a line with the settings of an evaluation in
// progress (nested at the given depth); 1 with the joined value in out, 0 on
// failure.
int ident_eval_line(EvalArgs& args, std::string_view text, std::string& out, int depth);

// Negation of a value in a condition: numbers become "1" for zero and "0"
// otherwise; empty and "$false" become "$true"; "$true" becomes "$false";
// anything else becomes empty.
std::string ident_negate(std::string_view value);

// The true nesting of runs and evaluations on the stack, never clamped; a
// run or evaluation past kScriptHardNesting fails with the nesting error.
extern int script_nesting;
constexpr int kScriptHardNesting = 300;
// Set when a run or evaluation went past a nesting limit: 1 the depth of
// 256 (kScriptNestingSoft), 2 the hard limit (kScriptNestingHard). From
// then on no new run starts (each fails at once with the nesting error), so
// the nest unwinds; the runs already on the stack may still go to their
// "error" label, and evaluations still work there. The nesting error shows
// once. Cleared when the outermost level is left, and by /reseterror in a
// run that caught it (script_nesting_reset_trip); an event walk clears a
// trip at the depth bound that one handler caused before the next script's
// handler runs.
extern int script_nesting_tripped;
// How many trips /reseterror has cleared since the outermost level was
// entered. After kScriptNestingClears a trip stays until the outermost
// level is left: a script that catches the bound at every level and calls
// again cannot make the retries multiply level by level.
extern int script_nesting_clears;
constexpr int kScriptNestingClears = 256;
// /reseterror: clears a trip (while fewer than kScriptNestingClears were
// cleared), so the run that caught it can call aliases again.
void script_nesting_reset_trip();
constexpr int kScriptNestingSoft = 1;
constexpr int kScriptNestingHard = 2;
// Marks the nesting limit as reached and leaves the nesting error pending
// (unless another error already is). Returns 0.
int script_nesting_trip(int kind = kScriptNestingSoft);
// Enters one level of a run; 0 (with the nesting error pending) when past
// the hard limit or after a limit was reached.
int script_nesting_enter();
// Enters one level of an evaluation: refused only past the hard limit, so
// the commands after an "error" label still evaluate.
int script_nesting_enter_eval();
inline void script_nesting_leave()
{
    if (--script_nesting <= 0) {
        script_nesting = 0;
        script_nesting_tripped = 0;
        script_nesting_clears = 0;
    }
}

// Conditions of if, elseif and while: taking the parenthesised condition off
// the front of a command, recognising operator words and symbols, comparing
// values as numbers or texts, the is-operators (several of which ask the
// channel windows, the user lists, the ignore list and the notify list),
// and chains of groups joined by "&&" and "||", evaluated from left to right
// without precedence.
//
// The executor drives a condition like this:
//
//   TokenList& words = ...;            // the command's words after "if"
//   std::string v1, v2, op;
//   int used = 0;
//   int r = cond_run_chain(words, eval_group, conn, v1, v2, &used, &op);
//   // r: 1 true, 0 false, or one of the negative codes below; `words` now
//   // holds the command (or "{") to run when the condition is true.
//
// where eval_group evaluates one group's text with the identifier evaluator
// (in_condition set) into a token list of final values.
#pragma once

#include <functional>
#include <string>
#include <string_view>

struct Connection;
struct StringNode;
struct TokenList;
struct WindowRecord;

// ---------------------------------------------------------------------------
// Result codes.

constexpr int kCondFalse = 0;
constexpr int kCondTrue = 1;
constexpr int kCondInvalid = -1;         // an operator that needs a second value has none, or nothing to test
constexpr int kCondUnknownOperator = -2; // the operator is not one of the known words and symbols
constexpr int kCondAmbiguous = -3;       // "&&" or "||" with no group after it
constexpr int kCondEvalFailed = -4;      // the evaluation of a group failed (the run stops)

// Result codes of cond_compare.
constexpr int kCmpLess = 0;
constexpr int kCmpEqual = 1;             // equal, or (divisibility) a multiple
constexpr int kCmpGreater = 2;
constexpr int kCmpNotComparable = -1;    // one value empty and the other a number

// Comparison kinds.
constexpr int kCmpText = 0;              // text without case (numbers by value)
constexpr int kCmpExact = 1;             // text byte for byte (numbers by value)
constexpr int kCmpDivides = 2;           // v2 a multiple of v1

// ---------------------------------------------------------------------------
// Single steps.

// 1 when the token is an operator word or symbol, optionally with one "!" in
// front ("!" alone is none). Words compare without case.
int cond_is_operator(std::string_view token);

// Compares two values (see the kinds above). The empty flags tell whether a
// value is the empty text.
int cond_compare(std::string_view v1, std::string_view v2, int kind, bool v1_empty, bool v2_empty);

// Truth of a single value: false when empty, "$false" (any case) or a number
// whose value is 0; true otherwise.
int cond_value_true(std::string_view value);

// Evaluates a comparison list of one to three nodes: the first value, the
// operator, the second value (a one-node list is a single value). Copies the
// values into v1 and v2 (isin lower-cases both). Returns kCondTrue,
// kCondFalse, kCondInvalid (empty list, or a needed second value missing) or
// kCondUnknownOperator.
int cond_evaluate(const StringNode* comparison, Connection* conn, std::string& v1, std::string& v2);

// Builds the comparison list from a group's evaluated tokens: the tokens
// before the first operator joined with blanks (empty values left out), the
// operator, and the tokens after it up to a "&&", "||" or the end. Without
// an operator the whole group is one value. Returns the new list (null for
// an empty group); *has_operator tells whether an operator was found.
StringNode* cond_build_comparison(const TokenList& evaluated, int* has_operator);

// Takes the first condition off the front of `tokens`: while the first token
// starts with "(", the group it opens (up to the token where the parentheses
// balance) loses its outer parentheses (a token left empty is removed). The
// tokens of that group are then moved, joined with blanks, into
// `condition`; the move stops early at a token that is "{" alone, "||" or
// "&&", and a token that starts with "$" (or "!$") and holds "(" is moved
// whole with the tokens up to its balancing ")". What stays in `tokens` is a
// "&&" or "||" that continues the chain, or the command to run. `scratch` is
// work space. Returns 1 when a condition was taken, 0 when there was none.
int cond_take_condition(TokenList& tokens, std::string& scratch, std::string& condition);

// The same, moving the group's tokens as they stand (raw, each with a
// single blank before it) to the end of `group` instead of joining their
// words; an empty token, which the join would drop, is dropped. With a null
// group the condition is only taken off. Returns what cond_take_condition
// returns.
int cond_take_condition_tokens(TokenList& tokens, TokenList* group);

// Evaluates one group's condition text into final tokens. Returns 0 when the
// evaluation failed (the run stops), else 1.
using CondGroupEvaluator = std::function<int(const std::string& condition, TokenList& evaluated)>;

// Evaluates one group's tokens in place (the tokens of the group as
// cond_take_condition_tokens moved them). Returns 0 when the evaluation
// failed (the run stops), else 1.
using CondTokenEvaluator = std::function<int(TokenList& group)>;

// Runs a whole condition chain on the command's words after if/elseif/while.
// Groups are taken and evaluated from the left; after a group, "&&" with a
// true result or "||" with a false one evaluates the next group, whose
// result replaces the current one; "&&" after a false result or "||" after a
// true one skips the next group without evaluating it. What stays in
// `tokens` is the command to run when the result is true (or a "{").
// Returns kCondTrue or kCondFalse, or a negative code; v1 and v2 hold the
// values of the last comparison that used an operator (*used_operator set),
// and *operator_text the text of the operator of the last group evaluated
// (for the messages of kCondUnknownOperator).
int cond_run_chain(TokenList& tokens, const CondGroupEvaluator& evaluate, Connection* conn,
                   std::string& v1, std::string& v2, int* used_operator,
                   std::string* operator_text);

// The same chain with each group handed over as its tokens, which saves
// joining a group's words and splitting them again: the interpreter's way,
// run on every test of a loop.
int cond_run_chain_tokens(TokenList& tokens, const CondTokenEvaluator& evaluate, Connection* conn,
                          std::string& v1, std::string& v2, int* used_operator,
                          std::string* operator_text);

// The test of one group whose words were all evaluated to plain values, in
// order (nothing removed, nothing joined; an empty value counts as the
// empty text): what cond_run_chain_tokens gives for a chain of that one
// group, with the same v1, v2, *used_operator and *operator_text. The
// interpreter's way for a condition made of words and variables only.
int cond_test_values(const std::string_view* values, std::size_t count, Connection* conn,
                     std::string& v1, std::string& v2, int* used_operator,
                     std::string* operator_text);

// The position just after the "{" that opens a block in the command (a "{"
// at the start or after a blank), or npos when there is none.
std::size_t cond_find_block_open(std::string_view command);

// The operators whose answer the protocol keeps: a nick's rank on a channel
// (isop with kind 0 and the events' "@" prefix) or its prefix characters
// (ishop, isvoice, isowner), the auto-op, auto-voice and protect lists
// (list 0, 1, 2: isaop, isavoice, isprotect), the ignore list (a lower-cased
// address and one type word, or null for any type) and the notify list. The
// protocol registers them when it installs; until then each test is false.
struct WindowRecord;
void cond_register_rank_tests(int (*has_rank)(const std::string& nick, WindowRecord* channel, int kind),
                              int (*has_prefix)(const std::string& nick, WindowRecord* channel,
                                                std::string_view prefixes));
void cond_register_user_list_test(int (*matches)(int list, const std::string& address,
                                                 const std::string* channels, Connection* conn));
void cond_register_ignore_test(int (*ignored)(const std::string& address, const char* type,
                                              Connection* conn));
void cond_register_notify_test(int (*listed)(const std::string& nick, Connection* conn));
// A nick's rank on a channel as the protocol answers it (0 before it registers).
int cond_nick_has_rank(const std::string& nick, WindowRecord* channel, int kind);

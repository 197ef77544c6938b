// Small text routines of the script engine: classifying script lines
// (comments, "/*" blocks, braces), splitting a line into commands, skipping
// a command's prefix, token and parameter routines, numeric tests and
// number formatting.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

class QWidget;
struct Connection;
struct StringNode;

// ---------------------------------------------------------------------------
// Script text scanning.

// Comment state of a line: 0 code, 1 comment line, 2 opens "/*", 3 closes
// it, 4 inside a block. With a counter the "/*" ... "*/" blocks are tracked.
int script_line_comment_kind(std::string_view text, int* block_counter);
// Tags every line of the list (StringNode::extra[kLineComment]); returns the
// last state.
int script_line_comment_state(StringNode* first);
// Where the command proper begins: blanks, one "/" or "//", then "!" (sets
// *no_alias), then "." (clears *show). A blank after that, or a comment,
// gives the end of the text.
std::size_t script_line_skip_prefix(std::string_view text, int* no_alias, int* show);
// Brace depth after the text (see the comment in the source).
int script_brace_depth(std::string_view text, int depth, int strict);

// One command of a line.
struct ScriptPiece {
    std::string text;
    int depth = 0;     // brace depth after the piece
    int comment = 0;   // comment state of the piece
};
// Splits a line into its commands at " | ", at " { " before a label, "if "
// or "while ", and before a closing " }". *ok: 1 done, 2 nothing to split.
std::vector<ScriptPiece> script_split_commands(std::string_view line, int depth_before,
                                               int comment_state, int* ok);
// 1-based number of the first line of the list where the braces go wrong
// (an extra "}", or the unclosed "{" when the list ends with blocks open);
// 0 when balanced.
int script_brace_mismatch_line(const StringNode* first);

// ---------------------------------------------------------------------------
// Tokens and parameters.

// Tokens of the text at the separator (runs count once).
std::vector<std::string> tok_split(std::string_view text, char separator);
// The same words appended to an array.
void tok_split_into(std::string_view text, char separator, std::vector<std::string>& out);
int tok_count(std::string_view text, char separator);
// Whether any token starts with "#", "$" or "%", starts with "!$", or is a
// one-character token.
int tok_needs_eval(std::string_view text, char separator);

// Appends tokens[index..] to out, one blank between.
void arg_join_from(std::size_t index, std::string& out, const std::vector<std::string>& tokens);
// $N, $N-, $N-M and $0 from the parameter vector (entry 0 empty; count =
// parameters + 1). With a prefix character the first token gets it unless it
// already starts with one of the connection's channel types. Whatever
// follows the reference's number is appended. Returns 1 when something was
// produced.
int arg_param_range(std::string_view reference, std::string& out,
                    const std::vector<std::string>& params, char prefix, Connection* conn);
// Fetches one argument that may be "quoted" over several tokens; returns
// the index of the last token used, -1 when missing or too long.
int arg_get_quoted(const std::vector<std::string>& tokens, std::size_t index, std::string& out,
                   std::size_t size, int take_after_equals);

// Whether, past blanks, the end or "%" follows (a var item ends at the comma).
int var_decl_comma_ends(std::string_view text_at_comma);
// End of an identifier starting at text[pos] == '$': the first blank, ")" or
// "," of its name, or, when "(" comes first, the character after the
// balancing ")".
std::size_t ident_skip_token(std::string_view text, std::size_t pos);

// ---------------------------------------------------------------------------
// Numbers.

int arg_is_integer(std::string_view text);
int arg_is_number(std::string_view text);
double num_round_places(double value, int places);
int num_format_f6(double value, std::string& out);
void num_trim_zeros(std::string& text);
void num_three_digits(std::string& text, int fill);
void num_group_thousands(std::string& text);
// Byte-count formatting (unit 0 automatic, 1 B, 2 KB, 3 MB, 4 GB, 5 TB).
void num_format_bytes(double value, std::string& out, int suffix, int three_digits, int unit,
                      int plain, int six_decimals);

// ---------------------------------------------------------------------------
// Windows.

// Appends the window's name when it is a channel window; 1 then, else 0.
int win_channel_name_append(QWidget* window, std::string& out);

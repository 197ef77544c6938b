// Token identifiers: lists kept in plain text (words separated by a blank,
// nicks by a comma, paths by a backslash) read and edited without loops.
//
// The functions below are the whole behaviour of each identifier on texts;
// the identifier handlers only fetch the arguments and store the value.
// Arguments come as the texts the script wrote after evaluation: T the token
// list, N a number or range, C the separator as a decimal character code
// (its low 8 bits; 0 or a text without a number make the whole text one
// token). Tokens are the runs between separators: runs of separators count
// once and separators at either end are ignored; results that are token
// lists are rebuilt with exactly one separator between tokens.
//
// Each returns 0 with the value in `out`, or an identifier error code with
// `out` empty: kTokErrTooLong (9) where the value would pass 4,150
// characters, kTokErrMemory (8) when a sort list cannot be made. `cs` makes
// token comparisons exact; otherwise ASCII letters compare without case.
#pragma once

#include <string>
#include <string_view>
#include <vector>

struct Connection;

constexpr int kTokErrMemory = 8;
constexpr int kTokErrTooLong = 9;

// ---------------------------------------------------------------------------
// Shared readers.

// A number as the standard integer conversion reads it: leading blanks, an
// optional sign, digits; the rest ignored; no digits give 0. Held at the
// limits of an int.
int token_number(std::string_view text);

// The separator character of a code text (low 8 bits of its number).
char token_separator(std::string_view code);

// Appends the tokens of the text to `out` (views into the text).
void token_split(std::string_view text, char separator, std::vector<std::string_view>& out);

// Reads a token range N ("N", "N-", "N-M", negative ends counting from the
// end) for a list of `count` tokens into [first, last] (first <= last).
// Positions outside 1..count select nothing.
void token_range(std::string_view n, int count, long long& first, long long& last);

// ---------------------------------------------------------------------------
// The identifiers.

// $gettok / $token (T, N, C): the tokens of range N; N = 0 gives the count.
int tokens_get(std::string_view t, std::string_view n, std::string_view c, std::string& out);
// $numtok (T, C).
int tokens_count(std::string_view t, std::string_view c, std::string& out);
// $deltok (T, N, C).
int tokens_delete(std::string_view t, std::string_view n, std::string_view c, std::string& out);
// $puttok (T, new, N, C).
int tokens_put(std::string_view t, std::string_view token, std::string_view n, std::string_view c,
               std::string& out);
// $instok (T, new, N, C).
int tokens_insert(std::string_view t, std::string_view token, std::string_view n,
                  std::string_view c, std::string& out);
// $addtok / $addtokcs (T, new, C).
int tokens_add(std::string_view t, std::string_view token, std::string_view c, bool cs,
               std::string& out);
// $findtok / $findtokcs (T, tok, N, C); with three arguments N is "1".
int tokens_find(std::string_view t, std::string_view token, std::string_view n,
                std::string_view c, bool cs, std::string& out);
// $istok / $istokcs (T, tok, C): "$true" or "$false".
int tokens_is(std::string_view t, std::string_view token, std::string_view c, bool cs,
              std::string& out);
// $matchtok / $matchtokcs (T, part, N, C), and with `wild` $wildtok /
// $wildtokcs (T, mask, N, C).
int tokens_match(std::string_view t, std::string_view part, std::string_view n,
                 std::string_view c, bool cs, bool wild, std::string& out);
// $remtok / $remtokcs (T, tok, N, C); with three arguments N is "1".
int tokens_remove(std::string_view t, std::string_view token, std::string_view n,
                  std::string_view c, bool cs, std::string& out);
// $reptok / $reptokcs (T, tok, new, N, C); with four arguments N is "1".
int tokens_replace(std::string_view t, std::string_view token, std::string_view replacement,
                   std::string_view n, std::string_view c, bool cs, std::string& out);
// $sorttok / $sorttokcs (T, C, switches): "n" numeric, "a" alphanumeric,
// "c" nick-prefix order, none alphabetic (the first present wins); "r"
// reverses. The sort is stable. `has_switches` tells whether the third
// argument was given (an empty one gives an empty value).
int tokens_sort(std::string_view t, std::string_view c, bool has_switches,
                std::string_view switches, bool cs, Connection* conn, std::string& out);

// Registers the identifier handlers of the token family ($gettok, $token,
// $numtok, $deltok, $puttok, $instok, $addtok, $findtok, $istok, $matchtok,
// $wildtok, $remtok, $reptok, $sorttok and the "cs" forms).
void tokens_register();

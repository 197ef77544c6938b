// Text buffers and the small in-place string operations every part of the
// program uses.
//
// Text is bytes in a std::string. The "declared size" that the buffer
// operations take keeps its old meaning: a buffer declared with 4200, 1074
// or 306 bytes holds at most 4150, 1024 or 256 characters (see
// text_limits.h), any other size n holds n - 1, and a declared size of 10 or
// less means "no size given": the operation then works without a bound.
//
// Case-insensitive operations fold ASCII letters only, so results do not
// depend on the process locale.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "core/text_limits.h"

// ---------------------------------------------------------------------------
// Settings read by the code stripper. The settings load fills them; the
// values below are the defaults.

// Code set used when text_strip_codes is called with a negative set (the
// user's /strip setting: 1 bold, 2 underline, 4 reverse, 8 colour). 0 or less
// strips nothing.
extern int strip_setting_flags;            // default 0
// When non-zero, a negative-set strip only touches a line that holds more
// than strip_setting_over_count of the selected codes.
extern int strip_setting_over_only;        // default 0
extern int strip_setting_over_count;       // default 50

// Section "language": "utf" (UTF-8 aware code handling, default 1) and
// "multibyte" (double-byte code page aware, default 0: the locale's code set
// is UTF-8, which has no double-byte lead bytes).
extern int lang_setting_utf;               // default 1
extern int lang_setting_multibyte;         // default 0

// Tells whether a byte is a lead byte of the current double-byte code page
// (Shift-JIS when the language settings say so, else the lead bytes the
// other double-byte sets share). Only consulted while lang_setting_multibyte
// is on.
bool text_mbcs_lead_byte(unsigned char byte);

// ---------------------------------------------------------------------------
// Bounded buffers.

// Empties the buffer.
void buf_clear(std::string& buf, std::size_t declared_size);

// Usable length of a buffer of the declared size: 256 for 256 or 306, 1024
// for 1024 or 1074, 4150 for 4150 or 4200, 0 for 0, else size - 1.
std::size_t buf_text_capacity(std::size_t declared_size);

// Replaces the buffer with the text, cut at the capacity (size above 10).
// A null text leaves the buffer empty. Returns the new length.
std::size_t buf_copy(std::string& buf, std::size_t declared_size, const char* text);
std::size_t buf_copy(std::string& buf, std::size_t declared_size, std::string_view text);

// Cuts the buffer to its capacity, then appends as much of the text as fits
// (size above 10). A null text appends nothing. Returns the new length.
std::size_t buf_append(std::string& buf, std::size_t declared_size, const char* text);
std::size_t buf_append(std::string& buf, std::size_t declared_size, std::string_view text);

// Keeps at most n characters (and never more than the capacity when the
// size is above 10). Returns the new length.
std::size_t buf_truncate(std::string& buf, std::size_t declared_size, std::size_t n);

// ---------------------------------------------------------------------------
// Case folding and comparison. Only the ASCII letters A-Z and a-z are
// folded; every other byte (UTF-8 included) is compared as it is, whatever
// the process locale says.

// 'A'..'Z' become 'a'..'z'; any other byte is returned unchanged.
constexpr char text_lower_char(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// Lower-cases the ASCII letters of the text in place.
void text_lower(std::string& text);
// Copy of the text with its ASCII letters lower-cased.
std::string text_lower_copy(std::string_view text);

// True when both texts have the same length and match with case ignored.
bool text_equal_nocase(std::string_view a, std::string_view b);
// Compares with case ignored: letters are folded to lower case and bytes
// compared as unsigned values; a text that is the start of the other sorts
// first. Returns -1, 0 or 1.
int text_compare_nocase(std::string_view a, std::string_view b);
// True when the text begins with the prefix, case ignored (always for an
// empty prefix).
bool text_starts_with_nocase(std::string_view text, std::string_view prefix);
// The first blank-separated word: leading blanks skipped, cut at the next blank.
std::string text_first_word_of(std::string_view text);
// True when the text is not empty and holds only the digits 0-9.
bool text_is_digits(std::string_view text);
// True for an optional sign followed by at least one digit and nothing else.
bool text_is_integer(std::string_view text);
// The decimal number at the start of the text, held within the range of int
// (a script may give any number of digits); 0 without one.
int text_to_int_clamped(const std::string& text);

// ---------------------------------------------------------------------------
// Blanks.

// The text without its leading spaces (' ' only).
std::string_view text_skip_blanks(std::string_view text);
// The text without its leading and trailing spaces (' ' only).
std::string text_trim_blanks(const std::string& text);
// Index of the first character at or after `from` that is not a space; the
// text's length when there is none.
std::size_t text_skip_blanks(std::string_view text, std::size_t from);

// ---------------------------------------------------------------------------
// Searching.

// Index of the first case-insensitive occurrence of the pattern at or after
// `from`; npos for an empty pattern or no match.
std::size_t text_find_nocase(std::string_view text, std::string_view pattern,
                             std::size_t from = 0);
// Zero-terminated form: pointer into the text, or null (also for a null text
// or a null or empty pattern).
const char* text_find_nocase(const char* text, const char* pattern);

// Index of the occurrence of the pattern that ends the text (case ignored);
// npos when the text does not end with it or the pattern is empty.
std::size_t text_ends_with_nocase(std::string_view text, std::string_view pattern);
const char* text_ends_with_nocase(const char* text, const char* pattern);

// ---------------------------------------------------------------------------
// Control codes.

// Code-set bits for text_strip_codes.
constexpr int kStripBold = 1;       // 0x02
constexpr int kStripUnderline = 2;  // 0x1F
constexpr int kStripReverse = 4;    // 0x16
constexpr int kStripColour = 8;     // 0x03 and its colour digits
constexpr int kStripTab = 16;       // 0x09, the column separator

// Removes the selected codes in place and returns how many were removed (a
// colour code with its digits counts once). The plain code 0x0F goes only
// when the set is exactly 15 or 31. A negative set means the user's strip
// setting (see above).
int text_strip_codes(std::string& text, int code_set);

// 1 when the text holds any of 0x02, 0x03, 0x09, 0x0F, 0x16, 0x1F outside a
// multibyte character, else 0. With the flag, bytes of UTF-8 multibyte
// characters are skipped.
int text_has_codes(std::string_view text, int multibyte_flag);

// ---------------------------------------------------------------------------
// In-place edits.

// Removes every occurrence of the character (nothing for '\0').
void text_remove_char(std::string& text, char c);
// Removes every occurrence of every character of the set.
void text_remove_chars(std::string& text, std::string_view set);

// "" becomes "\"\""; otherwise a '"' is put in front unless the text begins
// with one and appended unless it ends with one.
void text_add_quotes(std::string& text);
// A leading '"' goes with the spaces after it; then a trailing '"' goes.
void text_strip_quotes(std::string& text);

// Removes leading and trailing runs of the character and reduces each inner
// run to one.
void text_collapse_char(std::string& text, char c);
// Reduces each run of the character to one, keeping a leading or trailing
// one in place.
void text_squeeze_char(std::string& text, char c);
// Removes the leading run of the character.
void text_trim_left_char(std::string& text, char c);
// Removes the trailing run of the character. Returns the index of the new
// last character, -1 when the text became empty, 0 for an empty text.
int text_trim_right_char(std::string& text, char c);

// Skips leading spaces and keeps only the first word.
void text_first_word(std::string& text);

// Reduces every run of 0x0F codes to a single 0x0F.
void text_collapse_plain_pairs(std::string& text);

// Number base conversion: a number written in one base from 2 to 36 (sign,
// "0x" prefix and a fraction accepted) into its text in another, and the
// $base identifier built on it.
#pragma once

#include <string>
#include <string_view>

// Converts `text` (upper-cased in place) from base `from` into base `to` and
// writes the result into `out`. Returns 1 on success, 0 when a base is
// outside 2..36, the number is empty, or it holds a character that is not a
// digit, a letter or a point. A digit at or above the source base is not
// refused. A value too large to convert gives "0". The fraction is rounded
// to 10 places and written with (40 - to) / 2 digits, trailing zeros kept.
int calc_base_convert(std::string& text, int from, std::string& out, int to);

// 0..9 give '0'..'9', 10..35 give 'A'..'Z'; anything else gives '\0'.
char base_digit_char(int value);

// The value of $base: `number` converted from `from` to `to`, then with
// `pad` (when has_pad; clamped to 0..100) the integer part left-filled with
// "0" to that many digits (a minus sign staying in front), with `precision`
// (when has_precision; above 10 counts as 10, 0 or less drops the fraction)
// the fraction cut to that many digits, and last the trailing fraction zeros
// and a bare point removed. Returns 1, or 0 with `out` empty when the
// conversion fails.
int base_convert_text(std::string_view number, int from, int to, bool has_pad, int pad,
                      bool has_precision, int precision, std::string& out);

// Registers the $base identifier handler.
void base_convert_register();

// The number, bit and math identifiers: 32-bit bit operations ($and, $or,
// $xor, $not, $biton, $bitoff, $isbit), rounding and the standard math
// functions, $rand, $rgb, $longip, the text hash, $crc, $bytes, $mask, and
// the three that steer evaluation itself ($iif, $eval, $evalnext) with the
// join $+. The rules that need no evaluator are plain functions of texts.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "script/exec/script_types.h"

// word: "and", "or", "xor", "not", "biton", "bitoff" or "isbit". A bit
// number outside 1..32 leaves the value unchanged (and $isbit gives "0").
void number_bit_op(std::string_view word, const std::string& a, bool has_b, const std::string& b,
                   std::string& out);
// N rounded half away from zero to D decimals (6 without D; 0..6).
void number_round(const std::string& n, bool has_d, const std::string& d, std::string& out);
// word: "int", "abs", "ceil", "floor", "sqrt", "log", "sin", "cos", "tan",
// "asin", "acos", "atan"; degrees for the ".deg" property. Empty for a math
// error or a value that is not a plain number.
void number_math(std::string_view word, const std::string& n, bool degrees, std::string& out);
// A uniform draw from A to B (numbers, or the codes of two characters).
void number_random(const std::string& a, const std::string& b, std::string& out);
// Dotted IPv4 text to its number, or a number to dotted text.
void number_long_ip(const std::string& x, std::string& out);
// The program's text hash reduced to `bits` bits (2 to 32).
std::uint32_t number_text_hash(std::string_view t, int bits);
// $bytes with its switch letters and the ".suf" property.
void number_bytes(const std::string& n, std::string_view switches, bool suffix, std::string& out);

// Registers the handlers (called from builtin_identifiers_install).
void number_identifiers_register();

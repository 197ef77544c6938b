// Uuencoding, and the value cores of the encoding identifiers: $isutf,
// $utfencode, $utfdecode, $encode and $decode.
//
// The identifier handlers of the script interpreter split and evaluate the
// arguments and report errors; what they compute lives here, as functions
// from the evaluated arguments to the value. Each returns 0 with the value
// set, or the identifier error code with the value left empty:
//    6  invalid parameter
//    8  out of memory
//    9  line too long (an encoder or decoder overflowed its result)
//   10  locked by the lock options
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>


// ---------------------------------------------------------------------------
// Uuencoding
// ---------------------------------------------------------------------------
// A line is a length character (the byte count plus 32) and then the bytes in
// groups of three, each group four characters of 6 bits from the high bits
// down, every value v written as v + 32 and the value 0 as the grave accent
// (character 96). Lines hold 45 bytes (length character 'M'), the last one
// the rest, and follow one another without separators.

// Appends the line of the first min(count, 45) bytes; returns how many bytes
// it took.
std::size_t uuencode_line(const unsigned char* bytes, std::size_t count, std::string& out);

// Decodes the line that starts at text[pos] and appends its bytes to out,
// moving pos past what it read. Returns 1 when the whole line was decoded; 0
// when the text ended or a character outside 32..96 (the length character
// included) stopped it (the bytes of the whole groups before that point are
// appended all the same).
int uudecode_line(const char* text, std::size_t length, std::size_t& pos, std::string& out);

// Whole runs, with the line argument working as the chunk argument of the
// Base64 operations: negative every line, 0 the number of lines (written into
// out as "%d" and returned), N > 0 only line N (empty and 0 when there is no
// such line). out_size counts as a zero-terminated buffer: the characters
// plus one terminating zero (encode), or the bytes (decode), must fit;
// otherwise the result is -1 with out empty. Decoding ends at the end of the
// text or at the first character outside 32..96; what was decoded until then
// is the result.
int uuencode(const void* bytes, std::size_t count, std::string& out, std::size_t out_size, int line);
int uudecode(const char* text, std::size_t length, std::string& out, std::size_t out_size, int line);

// ---------------------------------------------------------------------------
// Identifier values
// ---------------------------------------------------------------------------

// $isutf(text): "0" not UTF-8, "1" plain 7-bit, "2" UTF-8 with multibyte
// characters. Exactly one argument.
int id_isutf_value(const std::vector<std::string>& args, std::string& value);

// $utfencode(text[, charset]) (decode false) and $utfdecode(text[, charset])
// (decode true): the text converted between UTF-8 and the code page of the
// charset when one is given, else of the window's font (`window_codepage`,
// the code page of the window the identifier runs in; -1 for a record that
// is no window, none outside a window). Without a window and without a
// charset the default charset (1, the system code page) is used.
int id_utf_value(std::optional<int> window_codepage, const std::vector<std::string>& args, bool decode,
                 std::string& value);

// $encode(input[, switches[, N]]) (decode false) and $decode(...) (decode
// true). Switches, case ignored: 'm' Base64 instead of uuencoding; 'b' the
// input names a binary variable whose bytes (`bytes`, null when there is no
// such variable) are encoded or decoded and then replaced by the result
// (the value is then the new byte count). N > 0 only line N; N = 0 the
// number of lines (a binary variable is then left as it was); no N every
// line. A decoded text ends at its first zero byte.
int id_encode_value(const std::vector<std::string>& args, bool decode, std::string& value,
                    std::string* bytes = nullptr);

// ---------------------------------------------------------------------------
// Hooks into later parts of the program
// ---------------------------------------------------------------------------

// The lock setting "Decode" of the lock options; while it returns true,
// $decode and $utfdecode fail with error 10. Null until the lock options
// are built: never locked.
extern bool (*encode_decode_locked_hook)();


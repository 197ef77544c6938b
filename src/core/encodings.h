// Text encodings: UTF-8 byte classes and detection, UTF-8 <-> UTF-16, code
// pages through iconv, Shift-JIS <-> ISO-2022-JP (JIS), and the set of
// combining characters that measuring and selection keep with their base.
// The code page a window or target stands for is chosen above core (its
// font settings) and given to these conversions.
//
// Text is bytes in a std::string. A replacing conversion works on a text of
// at most kLongText (4150) bytes and replaces it only when the result is at
// most kLongText bytes; otherwise the text is left as it was.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

// ---------------------------------------------------------------------------
// UTF-8 classification.

// Class of the byte at `position`, found by scanning the text from its start
// (a broken sequence counts as one unit and the scan goes on after it):
//   0       a single-byte character (also for a position past the end);
//   1 to 5  a lead byte followed by that many continuation bytes
//           (110xxxxx 1, 1110xxxx 2, 11110xxx 3, 111110xx 4, 1111110x 5);
//   -1      a continuation byte that is not the last of its character;
//   -2      the last continuation byte of a character;
//   -3      a byte of a broken sequence (a stray continuation byte, 0xFE or
//           0xFF, or a lead byte whose continuation bytes are missing).
int utf8_byte_class(std::string_view text, long position);

// Length of the well-formed character that starts at `pos`: 1 for a 7-bit
// byte, 2 to 6 for a multibyte character; 0 when the byte at `pos` starts no
// well-formed character (or `pos` is past the end). Lets callers walk a text
// once instead of asking utf8_byte_class position by position.
int utf8_sequence_at(std::string_view text, std::size_t pos);

// 1: only 7-bit bytes (an empty text too); 2: well-formed by the lead forms
// above with at least one multibyte character; 0: anything else (also for a
// null text).
int utf8_detect(std::string_view text);
int utf8_detect(const char* text);

// The strict legality test of one UTF-8 sequence of 1 to 4 bytes: no
// overlong forms, no surrogates, nothing above U+10FFFF. 1 legal, 0 not.
int utf8_is_legal(const unsigned char* bytes, int length);

// 1 when the text begins with a multibyte UTF-8 character (found within its
// first 10 bytes) whose code point is in the combining set, else 0.
int utf8_char_in_set(std::string_view text);

// 1 when the 16-bit code point is in the combining set; never for 767 or
// below.
int utf16_in_char_set(unsigned int code_point);

// Widens the byte span [start, start + length) of the text to whole
// characters: back to a lead byte, forward over a cut character and over
// the combining characters that follow a base character; a combining
// character or a stray continuation byte at the very start is dropped.
// The span is first clamped to the text. 0 when the span became empty,
// else 1.
int utf8_adjust_span(std::string_view text, int& start, int& length);

// ---------------------------------------------------------------------------
// UTF-8 <-> UTF-16.

// Results of the range conversions.
constexpr int kConvOk = 0;               // done
constexpr int kConvSourceExhausted = 1;  // the source ends inside a character
constexpr int kConvTargetExhausted = 2;  // the target is full
constexpr int kConvSourceIllegal = 3;    // illegal source

// Convert [src, src_end) into [dst, dst_end); src and dst advance past what
// was converted (on a failure src stays at the start of the failing
// character). Lenient: a surrogate or an out-of-range code point decoded
// from UTF-8 becomes U+FFFD, and an unpaired surrogate in UTF-16 is encoded
// as it stands; strict: both give kConvSourceIllegal. Overlong forms and
// broken sequences are illegal either way.
int utf8_to_utf16(const unsigned char*& src, const unsigned char* src_end,
                  char16_t*& dst, char16_t* dst_end, bool lenient);
int utf16_to_utf8(const char16_t*& src, const char16_t* src_end,
                  unsigned char*& dst, unsigned char* dst_end, bool lenient);

// Lenient whole-text copies of the first `length` units (-1: all of them).
// Empty (nullopt) for an empty text or a failed conversion.
std::optional<std::u16string> utf8_to_utf16_alloc(std::string_view text, long length = -1);
std::optional<std::string> utf16_to_utf8_alloc(std::u16string_view text, long length = -1);

// ---------------------------------------------------------------------------
// Code pages.

// The iconv name of a Windows code page: 0 (the system page) and 1 (the
// OEM page) are the locale's code set (UTF-8 while the process is still in
// the plain "C" locale); 2 the Mac page; 874, 932, 936, 949,
// 950, 1250 to 1258 and 1361 their CPnnnn tables; 65001 UTF-8. Empty for a
// code page that has no table here (42, the symbol page).
std::string codepage_iconv_name(int codepage);

// The code page of a font charset (the Windows character-set table); 0, the
// system page, for a charset the table does not name.
int charset_codepage_of(int charset);

// Converts the text in place from a code page to UTF-8 (through UTF-16, with
// base and combining characters composed where a precomposed character
// exists). The caller gives the code page: that of a window's font
// (win_codepage) or of a charset (charset_codepage_of); a negative code page
// (no window record, no charset) fails. Bytes the code page does not define
// fail the conversion. 0 on success or for an empty text, -1 otherwise (text
// unchanged).
int charset_to_utf8(int codepage, std::string& text);

// The reverse, in place: UTF-8 to UTF-16 to the code page, composing base and
// combining characters first; a character the code page lacks becomes '?'.
// 0 or -1 as above.
int utf8_to_charset(int codepage, std::string& text);

// Turns a text that mixes UTF-8 characters and code-page bytes into UTF-8:
// well-formed multibyte characters stay, every run of other bytes goes
// through charset_to_utf8 (kept as it was when that fails or the result is
// not UTF-8). The result stops growing at kLongText bytes. Always 0.
int charset_to_utf8_mixed(int codepage, std::string& text);

// ---------------------------------------------------------------------------
// Japanese: Shift-JIS (code page 932) and ISO-2022-JP.

// 0: cannot be Shift-JIS; 1: certainly Shift-JIS; -1: nothing decided.
int sjis_detect(std::string_view bytes);

// Shift-JIS to ISO-2022-JP in place (outgoing text). Each run of double-byte
// characters is written as JIS X 0208 between ESC $ B and ESC ( B; CR LF and
// a lone CR become LF. Nothing happens when the text cannot be Shift-JIS, and
// the result replaces the text only when it has as many line feeds as before
// and ends with one exactly when the text did.
void sjis_to_jis(std::string& text);

// ISO-2022-JP to Shift-JIS in place (incoming lines and DCC chat). The
// escape sequences are removed; in double-byte mode each JIS X 0208 pair
// becomes its Shift-JIS bytes; a LF not preceded by CR becomes CR LF.
// ESC ( J and ESC ( I select single-byte mode like ESC ( B.
void jis_to_sjis(std::string& text);


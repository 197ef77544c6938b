// Text encodings: UTF-8 byte classes and detection, UTF-8 <-> UTF-16, code
// pages through iconv, Shift-JIS <-> ISO-2022-JP (JIS), the re-encoding of
// outgoing lines by the target window's font settings, and the set of
// combining characters that measuring and selection keep with their base.
//
// Text is bytes in a std::string. A replacing conversion works on a text of
// at most kLongText (4150) bytes and replaces it only when the result is at
// most kLongText bytes; otherwise the text is left as it was.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

struct WindowRecord;
struct Connection;

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

// Converts the text in place from a code page to UTF-8 (through UTF-16, with
// base and combining characters composed where a precomposed character
// exists). The code page is that of the window's font when a window is given
// (-1 when it is no window record), else that of the charset (-1 when the
// charset is negative). Bytes the code page does not define fail the
// conversion. 0 on success or for an empty text, -1 otherwise (text
// unchanged).
int charset_to_utf8(WindowRecord* window, int charset, std::string& text);

// The reverse, in place: UTF-8 to UTF-16 to the code page, composing base and
// combining characters first; a character the code page lacks becomes '?'.
// 0 or -1 as above.
int utf8_to_charset(WindowRecord* window, int charset, std::string& text);

// Turns a text that mixes UTF-8 characters and code-page bytes into UTF-8:
// well-formed multibyte characters stay, every run of other bytes goes
// through charset_to_utf8 (kept as it was when that fails or the result is
// not UTF-8). The result stops growing at kLongText bytes. Always 0.
int charset_to_utf8_mixed(WindowRecord* window, int charset, std::string& text);

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

// ---------------------------------------------------------------------------
// Outgoing lines.

// Flag bits of charset_encode_outgoing.
constexpr int kEncodeUtf8 = 1;         // UTF-8 asked
constexpr int kEncodeJis = 2;          // JIS asked
constexpr int kEncodeIrcMessage = 4;   // an IRC command: convert its message part
constexpr int kEncodeJisAnyWindow = 8; // JIS by any window

// Re-encodes an outgoing line in place by the target's font settings. The
// send path of a connection calls it with 5 and then 14; DCC chat with 1 and
// then 10, passing its window. 0 when converted or nothing was asked, -1
// when left unchanged.
int charset_encode_outgoing(WindowRecord* window, Connection* conn, std::string& line,
                            int flags);

// ---------------------------------------------------------------------------
// Hooks into the window, font and connection records, each answered by the
// one part above core that keeps them (pointers, null until start-up sets
// them). The defaults below, used while one is null, stand for a program
// without those records: no window is known, no connection has a CHARSET
// token, and a window made for an unknown target has the default font
// settings (charset 1, encoding 0).

// Code page of the charset that the window's font actually has; -1 when the
// pointer is no window record. Default: -1.
extern int (*encodings_window_codepage)(WindowRecord* window);

// Code page of a font charset (the charset table's code-page column; 0 when
// the charset is not in the table). Default: the standard Windows table.
extern int (*encodings_charset_codepage)(int charset);

// Font charset and encoding mode (0 default, 1 show UTF-8, 2 show and send
// UTF-8) of a window; false when the pointer is no window record.
// Default: false.
extern bool (*encodings_window_font)(WindowRecord* window, int* charset, int* encoding);

// True when any window of the program has the Shift-JIS charset (128).
// Default: false.
extern bool (*encodings_any_window_sjis)();

// The connection's window of that name, or null. Default: null.
extern WindowRecord* (*encodings_find_window)(Connection* conn, const std::string& name);

// Font charset and encoding of a temporary window record made for a target
// that has no window (a channel when the name begins with one of the
// connection's channel-type characters, else a query), with its per-window
// font settings loaded. Default: charset 1, encoding 0.
extern void (*encodings_target_font)(Connection* conn, const std::string& name, int* charset,
                                     int* encoding);

// The connection's status window, or null. Default: null.
extern WindowRecord* (*encodings_status_window)(Connection* conn);

// The connection's CHARSET text (the server's CHARSET token). Without it: "".
extern std::string (*encodings_conn_charset)(Connection* conn);

// A window's character set as the conversions of its text need it: the code
// page of its font's charset, its charset and encoding settings, and whether
// any window uses Shift-JIS.
#pragma once

struct WindowRecord;

// The code page of the window's font charset (charset_codepage_of) for a
// window with a text area, and for other windows while the multibyte
// setting is on (else 0); -1 when the pointer is no window record.
int win_codepage(WindowRecord* rec);

// The window's font charset and encoding mode (0 default, 1 show UTF-8, 2
// show and send UTF-8); false when the pointer is no window record.
bool win_font_charset(WindowRecord* rec, int* charset, int* encoding);

// True when any window has the Shift-JIS charset (128).
bool win_any_sjis();

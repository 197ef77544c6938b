// Terminal colour sequences and the program's own control codes: incoming
// text with select-graphic-rendition sequences paints with colours instead
// of escape characters, and formatted text can be written for a terminal.
#pragma once

#include <string>

// Converts the ANSI escape sequences of the text in place: colour, bold,
// underline and reverse sequences become control codes, cursor and screen
// sequences vanish. A text without the escape byte is left untouched; a
// converted text is at most 4,150 bytes.
void ansi_to_codes(std::string& text);

// The other way: the control codes of a formatted text become ANSI
// sequences (palette colours to the nearest of the eight terminal colours,
// bright ones with the bold attribute).
std::string codes_to_ansi(const std::string& text);

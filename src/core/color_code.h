// Reader of the colour digits that follow the colour code 0x03.
#pragma once

#include <string_view>

// `text` starts at the 0x03 byte. Reads what follows it:
//   - no digit: both colours return to their defaults, result 0;
//   - one or two digits: the text colour (0..15 a palette index, 16..99 the
//     default text colour);
//   - then, only when a comma is followed by a digit, the comma and one or two
//     digits of background by the same rule. A comma not followed by a digit
//     is ordinary text and the background is left as it was.
// With text digits but no background part only the text colour is written.
// A default outside 0..15 counts as 0. Returns how many characters after the
// 0x03 belong to the code (0 to 5). Either out pointer may be null.
int color_code_parse(std::string_view text, int* text_colour, int* background,
                     int default_text, int default_background);

// Zero-terminated form; a null text reads as empty.
int color_code_parse(const char* text, int* text_colour, int* background,
                     int default_text, int default_background);

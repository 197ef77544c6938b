// The identifiers that measure text in a font: $width(, $height( and
// $wrap( (a text broken into lines that fit a width).
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "script/exec/script_types.h"

// Breaks the text into lines narrower than width - 1 as `measure` gives
// widths: a CR LF always ends a line; a line holds at least one character;
// with `word` a line cut inside a word goes back to the last blank of its
// second half, and the blanks that start the next line are dropped.
void wrap_text_lines(std::string_view text, int width, bool word, const std::function<int(std::string_view)>& measure,
                     std::vector<std::string>& lines);

// Registers the handlers (called from builtin_identifiers_install).
void measure_identifiers_register();

// The script's view of the terminal colour conversion (core/ansi_codes.h).
#pragma once

#include "core/ansi_codes.h"

// Registers $ansi2kest(text): the text with its ANSI sequences converted.
void ansi_register();

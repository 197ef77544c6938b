// The families of built-in identifiers the interpreter knows from the start:
// tokens, encodings, digests, values, text, numbers, time, channels, user
// lists, windows, input, scripts, networks, empty lists, measures, menus.
#pragma once

// Registers each family's table (each file's own registration, in order).
void builtin_identifiers_install();

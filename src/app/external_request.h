// Requests of other programs of the same user: run a command line or
// evaluate a text for the connection of a window (none: the current
// connection and its status window).
#pragma once

#include <cstdint>
#include <string>

class QWidget;

// WM_USER+200 (run; wparam bits choose the interpreter mode) and WM_USER+201
// (evaluate). The text (at most 1,024 characters are read) becomes what the
// request left: the command line after the run, or the evaluated text.
// Results: 0 no connection; +200: 1 when the line ran, else the mode number;
// +201: 1 when evaluation gave a text, else 0.
intptr_t frame_external_request(QWidget* window, int message, uintptr_t wparam, std::string& text);

// The interpreter mode of a run request's wparam bits.
int external_run_mode(uintptr_t wparam);

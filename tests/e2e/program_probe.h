// Looking into the running program as an outside program does: commands and
// evaluations through its local request socket, and lines of its status
// window's log.
#pragma once

#include <string>

#include "e2e/harness.h"

namespace e2e {

// Runs a command line in the program (as typed into the active window);
// true once the program took it, within `ms`.
bool probe_command(const KestProgram& kest, const std::string& line, int ms = kWaitMs);

// Evaluates identifiers and variables in the program; false when it gave no
// answer within `ms`.
bool probe_evaluate(const KestProgram& kest, const std::string& text, std::string& result, int ms = kWaitMs);

// Evaluates until the result matches the whole regular expression, at most
// `ms`; the last result is left in `result`.
bool probe_until(const KestProgram& kest, const std::string& text, const std::string& pattern, std::string& result,
                 int ms = kWaitMs);

// Waits until a line of the status window's log at or after line `from`
// matches the whole pattern; its index, or -1 after `ms`. The program must
// log its status window plainly (probe_plain_status_log).
int probe_status_line(const KestProgram& kest, const std::string& pattern, std::size_t from = 0, int ms = kWaitMs);

// Settings for probe_status_line: the status window logged, every line
// written at once without colour codes.
void probe_plain_status_log(KestProgram& kest);

} // namespace e2e

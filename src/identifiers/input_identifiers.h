// $input and $?: the identifiers that ask the user through the message and
// input dialog. Neither may be used inside an event.
#pragma once

#include <string>
#include <vector>

#include "app/input_dialog.h"
#include "script/exec/script_types.h"

// Reads the $input arguments (prompt, options, [window,] title, default
// text, items) into the dialog's parameters and the time-out in seconds.
// 0, or the identifier error 6 for arguments past the default text without
// the list option.
int input_options(const std::vector<std::string>& args, InputDialogParams& p, int& timeout);
// The value of $input after the dialog closed with `result`.
void input_result_text(const InputDialogParams& p, int result, std::string& out);

// Registers the handlers (called from builtin_identifiers_install).
void input_identifiers_register();

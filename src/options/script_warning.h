// The warning before newly loaded scripts run their LOAD and START
// handlers: a Yes/No dialog with the focus on No, asked only while the
// warn-on-initialisation option is on.
#pragma once

// 1 when the handlers may run (the option is off, or the user said yes),
// 0 when the user refused.
int script_init_warning();

// The dialog's object name, for finding it.
constexpr const char* kScriptWarningName = "script_warning";

void script_warning_install();
void script_warning_uninstall();

// The variable commands: /set (and the local form /var that the interpreter
// writes as "set -l"), /inc, /dec, /unset and /unsetall. They parse their
// switches, compute the value and hand it to the variable store. (/return
// is the executor's.)
#pragma once

#include <string>
#include <string_view>

struct CommandCall;

// /set [-slnkzeu[N]] %name [value]
int cmd_set(CommandCall& call);
// /inc and /dec [-sczreu[N]] %name [amount] (the word tells them apart)
int cmd_inc(CommandCall& call);
// /unset [-s] %name [%name ...] and /unsetall [-s] (the word tells them apart)
int cmd_unset(CommandCall& call);

// The arithmetic form of /set: "a op b" with two numbers and one of the
// operators + - * / % ^ &. Returns 1 with the formatted result in out (empty
// after a floating-point fault), 0 when the three texts are no arithmetic
// form (the value is then the literal text), -1 when the number could not be
// written.
int set_arithmetic(std::string_view a, std::string_view op, std::string_view b, std::string& out);

// Registers the commands with the interpreter and installs the variable
// store (variables_install).
void variable_commands_register();

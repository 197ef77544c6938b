// /switchbar and /treebar.
#pragma once

struct CommandCall;

int cmd_switchbar(CommandCall& call);
int cmd_treebar(CommandCall& call);
// Registers both commands with the interpreter.
void bar_commands_install();

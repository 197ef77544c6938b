// /toolbar: the toolbar's switch and its buttons.
#pragma once

struct CommandCall;

int cmd_toolbar(CommandCall& call);
void toolbar_command_register();

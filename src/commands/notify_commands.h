// /notify: the notify list by command. "-l" lists it, "-s" and "-h" show
// and close the Notify List window, "on" and "off" switch it, no argument
// polls at once, "-r nick" removes a nick, "[-n] nick [network] [note]"
// adds one to every connection's list.
#pragma once

struct CommandCall;

int cmd_notify(CommandCall& call);

// Registers /notify with the interpreter.
void notify_commands_register();

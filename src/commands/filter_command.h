// /filter: copies the lines of a file or a window to a file, a window or an
// alias, keeping those that match a wildcard or a regular expression,
// optionally a range of them, numbered and sorted.
#pragma once

struct CommandCall;

int cmd_filter(CommandCall& call);

void filter_command_register();

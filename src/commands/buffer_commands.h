// /savebuf and /loadbuf: a window's lines to a text file and back.
#pragma once

struct CommandCall;

// /savebuf [-sgoal] [N | N-M] [window] file
int cmd_savebuf(CommandCall& call);
// /loadbuf [N | N-M] [-asgcehilmnoprt] [window] file
int cmd_loadbuf(CommandCall& call);

void buffer_commands_register();

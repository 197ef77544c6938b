// Small commands over files, folders, programs, the clipboard and the
// program's own end: /copy, /remove, /rename, /mkdir, /rmdir, /run,
// /clipboard, /help, /winhelp and /exit.
#pragma once

struct CommandCall;

int cmd_copy(CommandCall& call);
int cmd_remove(CommandCall& call);
int cmd_rename(CommandCall& call);
int cmd_mkdir(CommandCall& call);   // /mkdir and /rmdir
int cmd_run(CommandCall& call);
int cmd_clipboard(CommandCall& call);
int cmd_exit(CommandCall& call);
int cmd_help(CommandCall& call);   // /help and /winhelp

void file_commands_register();

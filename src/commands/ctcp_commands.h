// /ctcp, /ctcpreply, /ctcps, /raw and /quote, /creq, /sreq, /pdcc, /sound,
// /speak, and the fallback for a command word that is neither an alias nor
// a built-in command (help file or a server command).
#pragma once

struct CommandCall;

int cmd_ctcp(CommandCall& call);
int cmd_ctcpreply(CommandCall& call);
int cmd_ctcps(CommandCall& call);
int cmd_raw(CommandCall& call);
int cmd_creq(CommandCall& call);
int cmd_sreq(CommandCall& call);
int cmd_pdcc(CommandCall& call);
int cmd_sound(CommandCall& call);
int cmd_speak(CommandCall& call);
// The fallback of unknown command words.
int cmd_unknown_word(CommandCall& call);

// Registers the words and the fallback.
void ctcp_commands_register();

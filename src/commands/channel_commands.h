// Commands that join, leave and list channels: /join, /hop, /part, /leave,
// /partall and /list.
#pragma once

#include <string>
#include <vector>

class QWidget;
struct CommandCall;
struct Connection;
struct WindowRecord;

int cmd_join(CommandCall& call);
int cmd_hop(CommandCall& call);
int cmd_part(CommandCall& call);     // /part, /leave
int cmd_partall(CommandCall& call);
int cmd_list(CommandCall& call);

// The PART lines for the channels: "PART " and the names joined with ","
// while line + name + message stays within 400 characters, each line ended
// with " :message" (when given) and a line feed. No line goes out without a
// channel in it.
std::vector<std::string> chat_part_lines(const std::vector<std::string>& channels, const std::string& message);

// Closes a window as the program does (no question asked).
void chat_close_window(WindowRecord* rec);
// Brings a window up: `how` 1 minimises it, 2 activates it maximised, any
// other value activates it.
void chat_activate_window(WindowRecord* rec, int how);

// Sets the channel commands' handlers.
void channel_commands_register();

// Sets the chat seams of the dispatcher (the reply hook of the numerics) and
// registers the messaging and channel commands.
void irc_chat_commands_install();

// Channel commands that act on members and per-connection switches: /pop,
// /pvoice, /channel, /ajinvite, /perform and /autojoin.
#pragma once

#include <string>

struct CommandCall;
struct Connection;
struct WindowRecord;

int cmd_pop(CommandCall& call);       // /pop (variant 0), /pvoice (variant 1)
int cmd_channel(CommandCall& call);
int cmd_ajinvite(CommandCall& call);
int cmd_perform(CommandCall& call);
int cmd_autojoin(CommandCall& call);

// The delay of a delayed op or voice after the random change: a change of 0
// to 3 seconds (the given value) added or subtracted; under 2 becomes 2, over
// 15 becomes 8.
int chat_pop_delay(int delay, int change, int add);

// Queues a delayed op (kind 0) or voice (kind 1) of "channel nick". Absent
// (null): the mode goes out at once.
extern void (*chat_delayed_mode_add)(Connection* conn, const std::string& entry, int delay, int kind);
// Opens channel central for a channel window and asks for its lists; returns
// 1 when it took the request. Absent (null): the list requests are sent
// ("MODE %s +b", "+e", "+I") and text 718 is shown.
extern int (*chat_channel_central_open)(WindowRecord* rec, Connection* conn);

// Registers the commands above.
void channel_commands_more_register();

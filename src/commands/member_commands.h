// Channel commands that act on the members of a channel: /pop, /pvoice,
// /channel and /updatenl.
#pragma once

#include <string>

struct CommandCall;
struct Connection;
struct WindowRecord;

int cmd_pop(CommandCall& call);       // /pop (variant 0), /pvoice (variant 1)
int cmd_channel(CommandCall& call);
// Removes the members whose leaving is under way (a part, kick or quit whose
// events are still running) from every channel window of the connection.
int cmd_updatenl(CommandCall& call);

// Opens channel central for a channel window and asks for its lists; returns
// 1 when it took the request. Absent (null): the list requests are sent
// ("MODE %s +b", "+e", "+I") and text 718 is shown.
extern int (*chat_channel_central_open)(WindowRecord* rec, Connection* conn);

// Registers the commands above.
void member_commands_register();

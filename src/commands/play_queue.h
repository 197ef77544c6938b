// The play queue: /play sends the lines of a text file (a section of it,
// one random line, one chosen line, or the clipboard) to a channel, a
// query, the status window or an alias, one line per tick of the request's
// own timer. Each connection has its own queue; only its first request
// plays. $play reports on the queue.
#pragma once

#include <string>

struct CommandCall;
struct Connection;
struct IdentCall;

int cmd_play(CommandCall& call);
int id_play(IdentCall& call);

// Ends every request of the connection without messages or events (the
// connection is reset or freed).
void play_stop_all(Connection* conn);
// Ends every request for the target (a reply said it does not exist).
void play_remove_target(const std::string& target, Connection* conn);
// Number of requests queued on the connection.
int play_queue_length(Connection* conn);

void play_queue_register();

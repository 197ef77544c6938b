// The connection a built-in command works on.
#pragma once

struct CommandCall;
struct Connection;

// The call's connection while it is live, else the current connection.
Connection* conn_of(const CommandCall& call);

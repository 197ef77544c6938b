// /scid and /scon: move the running line to another connection, or run a
// command on one connection or on all of them through the interpreter.
#pragma once

#include <string>
#include <vector>

class QWidget;
struct CommandCall;
struct Connection;

// The context of the command line that runs: its connection and window, the
// home slots, the nesting depth.
struct ScidContext {
    Connection* conn = nullptr;
    QWidget* window = nullptr;
    Connection* home_conn = nullptr;
    QWidget* home_window = nullptr;
    int depth = 0;
};

// /scid (is_scon 0) and /scon (is_scon 1); tokens are the parameters. The
// context is moved to the connection switched to.
int cmd_scid(ScidContext& ctx, const std::vector<std::string>& tokens, int is_scon);
// /scid (by id) and /scon (by position) as the interpreter calls them.
int cmd_scid(CommandCall& call);

// Registers the two commands.
void connection_switch_register();

#include "commands/server_commands.h"

#include <string>

#include "app/connection.h"
#include "irc/link/close.h"
#include "irc/link/connect.h"
#include "script/exec/script_types.h"

namespace {

Connection* conn_of(CommandCall& call)
{
    return conn_is_live(call.conn) ? call.conn : conn_current();
}

} // namespace

// /server [-l] [host[:port] [port] [password]]
int cmd_server(CommandCall& call)
{
    std::size_t i = 1;
    int l_switch = 0;
    while (i < call.tokens.size() && call.tokens[i].size() > 1 && call.tokens[i][0] == '-') {
        if (call.tokens[i].find_first_of("lL") != std::string::npos)
            l_switch = 1;
        ++i;
    }
    Connection* conn = conn_of(call);
    if (i < call.tokens.size()) {
        irc_request_host = call.tokens[i].substr(0, 256);
        irc_request_port.clear();
        if (i + 1 < call.tokens.size())
            irc_request_port = call.tokens[i + 1].substr(0, 256);
        if (i + 2 < call.tokens.size())
            irc_request_password = call.tokens[i + 2].substr(0, 256);
    }
    if (conn_is_live(conn))
        link_state(conn).server_l_switch = l_switch;
    conn_begin_connect(conn);
    return kScriptDone;
}

// /quit [message]
int cmd_quit(CommandCall& call)
{
    Connection* conn = conn_of(call);
    if (!conn_is_live(conn))
        return kScriptDone;
    if (conn->connected && conn->socket != -1) {
        std::string message(call.rest());
        if (message.empty()) {
            irc_send_quit(conn);
        } else {
            irc_send_line("QUIT :" + message + "\n", 0, conn);
            if (conn_is_live(conn))
                conn->quitting = 1;
        }
    }
    if (conn_is_live(conn))
        conn_disconnect(std::string(), 1 | 2 | 4, conn);
    return kScriptDone;
}

// /disconnect
int cmd_disconnect(CommandCall& call)
{
    Connection* conn = conn_of(call);
    if (conn_is_live(conn))
        conn_disconnect(std::string(), 1 | 2 | 4, conn);
    return kScriptDone;
}

// /raw [-q] text, /quote
int cmd_raw(CommandCall& call)
{
    Connection* conn = conn_of(call);
    std::string text(call.rest());
    if (text.rfind("-q ", 0) == 0)
        text.erase(0, 3);
    if (text.empty() || !conn_is_live(conn))
        return kScriptFailed;
    if (conn_check_connected(call.window, conn))
        return kScriptFailed;
    irc_send_line(text + "\n", call.show ? 0 : 0, conn);
    return kScriptDone;
}

void server_commands_register()
{
    script_register_command("server", cmd_server);
    script_register_command("quit", cmd_quit);
    script_register_command("disconnect", cmd_disconnect);
    script_register_command("raw", cmd_raw);
    script_register_command("quote", cmd_raw);
}

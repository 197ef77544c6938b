#include "commands/command_conn.h"

#include "model/connection.h"
#include "script/exec/script_types.h"

Connection* conn_of(const CommandCall& call)
{
    return conn_is_live(call.conn) ? call.conn : conn_current();
}

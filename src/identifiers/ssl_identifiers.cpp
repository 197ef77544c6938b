#include "identifiers/ssl_identifiers.h"

#include "model/connection.h"
#include "irc/ssl/ssl_api.h"
#include "script/exec/script_types.h"

namespace {

// $ssl: the connection runs over SSL (and the library is loaded).
int id_ssl(IdentCall& call)
{
    Connection* conn = call.conn();
    *call.value = ssl_available() && conn_is_live(conn) && conn->ssl && (conn->connected || conn->connecting)
                      ? "$true"
                      : "$false";
    return 2;
}

// $sslready: the library is loaded.
int id_sslready(IdentCall& call)
{
    *call.value = ssl_available() ? "$true" : "$false";
    return 2;
}

} // namespace

void ssl_identifiers_register()
{
    ident_register("ssl", id_ssl);
    ident_register("sslready", id_sslready);
}

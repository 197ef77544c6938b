#include "irc/link/connections.h"

#include "model/connection.h"
#include "model/connection_windows.h"
#include "core/text_buffer.h"
#include "irc/dispatch/captions.h"
#include "irc/link/close.h"
#include "irc/link/connect.h"
#include "irc/lists/servers.h"
#include "irc/numerics/isupport.h"
#include "irc/ssl/ssl_link.h"
#include "platform/sockets.h"


QWidget* (*conn_status_window_open)(Connection* conn) = nullptr;

namespace {

int freed_listener = 0;

// The server socket of a record being freed, with its SSL link.
void close_socket_of_freed(Connection* conn)
{
    if (conn->socket == -1)
        return;
    if (conn->ssl)
        ssl_close_for_socket(conn->socket);
    sock_shutdown(conn->socket, 1);
    sock_close(conn->socket);
    conn->socket = -1;
}

QWidget* open_status_window(Connection* conn)
{
    return conn_status_window_open ? conn_status_window_open(conn) : nullptr;
}

} // namespace

Connection* conn_new_with_status(Connection* sibling)
{
    Connection* c = conn_new(sibling);
    if (!c)
        return nullptr;
    conn_next_status_minimised = 0;
    QWidget* w = open_status_window(c);
    if (!w || !conn_is_live(c)) {
        conn_free(c);
        return nullptr;
    }
    conn_set_status_window(c, w);
    conn_update_status_title(c);
    return c;
}

QWidget* conn_open_status(Connection* conn, int minimised)
{
    if (!conn_is_live(conn))
        return nullptr;
    if (QWidget* open = conn_status_window(conn))
        return open;
    conn_next_status_minimised = minimised ? 1 : 0;
    QWidget* w = open_status_window(conn);
    conn_next_status_minimised = 0;
    if (!w || !conn_is_live(conn))
        return nullptr;
    conn_set_status_window(conn, w);
    conn_update_status_title(conn);
    return w;
}

void conn_close_all()
{
    conn_visit_each([](Connection* c) {
        if (c->connected)
            irc_send_quit(c);
        if (conn_is_live(c)) {
            c->retry_count = 0;
            c->retry_delay = 0;
            c->waiting_retry = 0;
            conn_close(std::string(), c);
        }
    });
}

Connection* conn_find_by_network(const std::string& name)
{
    if (name.empty())
        return nullptr;
    for (Connection* c = conn_list; c; c = c->next)
        if (text_equal_nocase(c->server_name, name))
            return c;
    const std::string group = servers_group_of_host(name);
    for (Connection* c = conn_list; c; c = c->next) {
        const std::string& own_group = c->live_server[2];
        if (text_equal_nocase(c->network, name) || text_equal_nocase(own_group, name))
            return c;
        if (!group.empty() && text_equal_nocase(own_group, group))
            return c;
    }
    return nullptr;
}

std::string conn_charset_of(Connection* conn)
{
    IrcConnState* st = conn_is_live(conn) ? irc_state(conn) : nullptr;
    return st ? st->charset : std::string();
}

std::string conn_nick_prefixes_or_default(Connection* conn)
{
    return conn_is_live(conn) && !conn->nick_prefixes.empty() ? conn->nick_prefixes : std::string("@%+");
}

bool conn_is_ircx(const Connection* conn)
{
    return conn_is_live(conn) && (conn->server_flags & kServerIrcx) != 0;
}

void irc_connections_install()
{
    conn_freed.add_once(freed_listener, kFreedSocket, close_socket_of_freed);
}

void irc_connections_uninstall()
{
    conn_freed.drop(freed_listener);
}

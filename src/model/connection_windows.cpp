#include "model/connection_windows.h"

#include "model/connection.h"

#include <QWidget>

void conn_set_status_window(Connection* conn, QWidget* window)
{
    if (conn)
        conn->status_window = window;
}

QWidget* conn_status_window(const Connection* conn)
{
    return conn ? conn->status_window.data() : nullptr;
}

QWidget* conn_pending_window(const Connection* conn)
{
    return conn ? conn->pending_window.data() : nullptr;
}

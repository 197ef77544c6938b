// The window slots of a connection record, set and read through the model so
// that the protocol side handles windows only as handles.
#pragma once

class QWidget;
struct Connection;

// Sets the connection's status window.
void conn_set_status_window(Connection* conn, QWidget* window);
// The connection's status window; null when it has none (or it closed).
QWidget* conn_status_window(const Connection* conn);
// The window a pending Channel Central request is bound to; null for none.
QWidget* conn_pending_window(const Connection* conn);

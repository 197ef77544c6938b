// Window pointers kept in timers and userhost requests, set and read here
// where the widget type is complete: the timer and list commands only pass
// the pointers on.
#include <QWidget>

#include "model/connection.h"
#include "irc/lists/user_lists.h"
#include "script/stores/timers.h"

QWidget* timer_status_window(Connection* conn)
{
    return conn_is_live(conn) ? conn->status_window.data() : nullptr;
}

QWidget* timer_window_of(const Timer* t)
{
    if (t->window)
        return t->window.data();
    return timer_status_window(t->conn);
}

void timer_set_window(Timer* t, QWidget* window) { t->window = window; }

void userhost_window_set(UserhostRequest& request, QWidget* window)
{
    request.window = window;
}

QWidget* userhost_window_get(const UserhostRequest& request)
{
    return request.window.data();
}

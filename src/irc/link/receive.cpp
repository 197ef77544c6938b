#include "irc/link/receive.h"

#include <QTimer>

#include <map>
#include <tuple>

#include "model/connection.h"
#include "core/numbered_texts.h"
#include "core/text_limits.h"
#include "model/colors.h"
#include "model/line_buffer.h"
#include "irc/dispatch/dispatcher.h"
#include "irc/link/close.h"
#include "irc/link/connect.h"
#include "irc/ssl/ssl_link.h"
#include "irc/link/send_queue.h"
#include "platform/app_messages.h"
#include "platform/sockets.h"

namespace {

// Reads from the link; count, 0 when the peer closed, -1 with sock_last_error
// set.
long link_read(Connection* conn, char* data, std::size_t length)
{
    if (!conn->ssl)
        return sock_recv(conn->socket, data, length);
    // An SSL link's bytes come from its worker; none waiting reads as
    // "would block".
    long n = ssl_read(conn->socket, data, static_cast<long>(length));
    if (n > 0)
        return n;
    sock_set_last_error(n == 0 ? WSAEWOULDBLOCK : WSAENOTCONN);
    return SOCKET_ERROR;
}

struct DeferEntry {
    int message;
    int socket;
    int event;
    QTimer* timer;
};
std::map<int, DeferEntry> g_defer;
int g_next_defer_id = 5000;

// Hands the assembled line on; 0 when reading must stop.
int finish(Connection* conn)
{
    std::string line;
    line.swap(conn->recv_line);
    conn->line_length = 0;
    if (!line.empty()) {
        irc_dispatch_line(line, conn);
        if (!conn_is_live(conn) || !conn->connected)
            return 0;
    }
    conn->recv_line.clear();
    conn->line_length = 0;
    return 1;
}

} // namespace

int irc_frame_bytes(Connection* conn, const char* data, std::size_t length)
{
    for (std::size_t i = 0; i < length; ++i) {
        char c = data[i];
        if (c == '\r')
            continue;
        if (c == '\n') {
            if (conn->line_overflow) {
                conn->line_overflow = 0;
                conn->recv_line.clear();
                conn->line_length = 0;
                continue;
            }
            if (!finish(conn))
                return 0;
            continue;
        }
        if (conn->line_overflow)
            continue;
        conn->recv_line.push_back(c);
        conn->line_length = static_cast<int>(conn->recv_line.size());
        if (conn->line_length >= kRecvLineCut) {
            conn->line_overflow = 1;
            if (!finish(conn))
                return 0;
        }
    }
    return 1;
}

int sock_defer_poll(int message, int socket, int event, int test_only)
{
    for (const auto& [id, e] : g_defer)
        if (e.message == message && e.socket == socket && e.event == event)
            return 1;
    if (test_only)
        return 0;
    int id = ++g_next_defer_id;
    auto* timer = new QTimer;
    timer->setSingleShot(true);
    QObject::connect(timer, &QTimer::timeout, [id] { sock_defer_poll_fire(id); });
    g_defer[id] = DeferEntry{message, socket, event, timer};
    timer->start(10);
    if (!timer->isActive()) {
        g_defer.erase(id);
        delete timer;
        return 0;
    }
    return 1;
}

void sock_defer_poll_fire(int timer_id)
{
    auto it = g_defer.find(timer_id);
    if (it == g_defer.end())
        return;
    DeferEntry e = it->second;
    g_defer.erase(it);
    e.timer->deleteLater();
    post_app_message(e.message, static_cast<uintptr_t>(e.socket),
                     WSAMAKESELECTREPLY(e.event, 0));
}

intptr_t irc_read_loop(uintptr_t wparam, intptr_t lparam)
{
    int socket = static_cast<int>(wparam);
    Connection* conn = conn_by_socket(socket);
    if (!conn || !conn->connected)
        return 0;
    int event = WSAGETSELECTEVENT(lparam);
    int error = WSAGETSELECTERROR(lparam);
    if (event == FD_WRITE) {
        if (conn->send_queue)
            irc_send_line(std::string(), 0, conn);
        return 0;
    }
    irc_link_activity.fire(2);
    bool closed_by_peer = false;
    if (!error) {
        if (conn_any_in_progress()) {
            conn->reselect_pending = 1;
            return 0;
        }
        if (sock_defer_poll(WM_APP_SERVER_SOCKET, socket, FD_READ, 1)) {
            conn->reselect_pending = 0;
            return 0;
        }
        conn->in_progress[0] = 1;
        char buf[kLongText + 50];
        for (;;) {
            if (++conn->read_counter >= kReadsPerBurst) {
                conn->read_counter = 0;
                if (sock_defer_poll(WM_APP_SERVER_SOCKET, socket, FD_READ, 0)) {
                    conn->reselect_pending = 0;
                    conn->in_progress[0] = 0;
                    return 0;
                }
            }
            long n = link_read(conn, buf, kLongText);
            if (n < 0) {
                error = sock_last_error();
                break;
            }
            if (n == 0) {
                closed_by_peer = true;
                break;
            }
            if (!irc_frame_bytes(conn, buf, static_cast<std::size_t>(n))) {
                if (conn_is_live(conn))
                    conn->in_progress[0] = 0;
                return conn_is_live(conn) ? 0 : 1;
            }
        }
        conn->in_progress[0] = 0;
        if (closed_by_peer || link_state(conn).redirect_pending)
            error = 0;
        else if (error == WSAEWOULDBLOCK)
            return 0;
    }
    if (error && conn->connected) {
        std::string text = "* " + socket_error_text(error);
        echo_line(link_status_window(conn), std::string_view(text), kColorInfoText);
        if (!conn_is_live(conn))
            return 1;
    }
    if (conn->connected) {
        print_separator(link_status_window(conn), kColorInfoText);
        print_line(link_status_window(conn), std::string_view(text_load_string(1505)),
                   kColorInfoText);
        if (!conn_is_live(conn))
            return 1;
    }
    conn->reason.clear();
    conn_schedule_retry(conn);
    if (conn_is_live(conn))
        conn_close(std::string(), conn);
    return 1;
}

// Steps that sends and gets share: their windows, their messages and the
// closing of their files and sockets.
#include <chrono>
#include <unistd.h>

#include "app/window_open.h"
#include <QPointer>
#include <QWidget>

#include "core/text_limits.h"
#include "irc/link/proxy.h"
#include "dcc/dcc_engine.h"
#include "dcc/dcc_server.h"
#include "irc/link/send_queue.h"
#include "model/colors.h"
#include "model/connection.h"
#include "model/line_buffer.h"
#include "model/window_requests.h"
#include "platform/sockets.h"
#include "script/events/event_fire.h"

DccTransfer* dcc_transfer_by_socket(int s)
{
    if (s < 0)
        return nullptr;
    DccTransfer* found = nullptr;
    dcc_each_transfer([&](DccTransfer* t) {
        if (!found && (t->socket == s || t->listen_socket == s))
            found = t;
    });
    return found;
}

QWidget* dcc_print_window(DccTransfer* t)
{
    if (conn_is_live(t->conn) && t->conn->status_window)
        return t->conn->status_window;
    return t->window ? t->window->hwnd.get() : nullptr;
}

void dcc_print_result(DccTransfer* t, const std::string& text)
{
    if (QWidget* w = dcc_print_window(t))
        echo_line(w, text, kColorCtcpText);
}

void dcc_set_status(DccTransfer* t, const std::string& text)
{
    t->status_text = text;
    dcc_transfer_progress.fire(t);
}

DccTransfer* dcc_open_transfer(int kind, Connection* conn, const std::string& nick, const std::string& file,
                               int minimised)
{
    WindowOpenRequest req;
    req.name = (kind == kDccSend ? "Send " : "Get ") + nick + " " + file;
    req.type = kWinTransfer;
    req.subtype = kind;
    req.flags = minimised ? 1 : 0;
    req.conn = conn;
    QWidget* hwnd = win_open(req);
    WindowRecord* rec = hwnd ? win_record_of(hwnd) : nullptr;
    if (!rec)
        return nullptr;
    DccTransfer& t = rec->state_slots.get(dcc_transfer_slot);
    t.kind = kind;
    t.window = rec;
    t.conn = conn;
    t.nick = nick.substr(0, kShortText);
    t.file = file;
    return &t;
}

void dcc_transfer_drop(DccTransfer* t)
{
    t->ended = true;
    t->failed = true;
    dcc_transfer_close(t);
    t->state = kDccClosed;
    if (t->window && t->window->hwnd)
        win_close(t->window->hwnd.get());
}

void dcc_transfer_close(DccTransfer* t)
{
    if (t->proxy_key) {
        proxy_close_by_key(kProxyOwnerDcc, t->proxy_key);
        t->proxy_key = 0;
    }
    if (t->file_handle >= 0) {
        ::close(t->file_handle);
        t->file_handle = -1;
    }
    if (t->socket >= 0) {
        sock_shutdown(t->socket, 1);
        sock_close(t->socket);
        t->socket = -1;
    }
    if (t->listen_socket >= 0) {
        sock_close(t->listen_socket);
        t->listen_socket = -1;
    }
}

int dcc_read_server_reply(DccTransfer* t, DccServerRequest& r)
{
    char buf[512];
    for (;;) {
        const long n = sock_recv(t->socket, buf, sizeof buf);
        if (n < 0)
            return sock_last_error() == WSAEWOULDBLOCK ? 0 : -1;
        if (n == 0)
            return -1;
        t->server_line.append(buf, static_cast<std::size_t>(n));
        const std::size_t lf = t->server_line.find('\n');
        if (lf != std::string::npos) {
            std::string line = t->server_line.substr(0, lf);
            t->server_line.clear();
            return dccserver_parse_request(line, r) ? 1 : -1;
        }
        if (t->server_line.size() >= kLongText)
            return -1;
    }
}

bool dcc_write_server_line(DccTransfer* t, const std::string& line)
{
    return t->socket >= 0 && sock_send(t->socket, line.data(), line.size()) == static_cast<long>(line.size());
}

void dcc_rename_transfer(DccTransfer* t, const std::string& nick)
{
    t->nick = nick.substr(0, kShortText);
    if (t->window) {
        t->window->name = (t->kind == kDccSend ? "Send " : "Get ") + t->nick + " " + t->file;
        if (QWidget* w = t->window->hwnd.get())
            w->setWindowTitle(QString::fromStdString(t->window->name));
    }
    dcc_transfer_progress.fire(t);
}

std::int64_t dcc_tick_ms()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void dcc_send_ctcp(Connection* conn, const std::string& nick, const std::string& text)
{
    if (conn_is_live(conn))
        irc_send_line("PRIVMSG " + nick + " :\x01" + text + "\x01\n", kLineAutoReply, conn);
}

bool dcc_fire_end_event(DccTransfer* t, std::string_view word, int id)
{
    if (!event_switch_events)
        return true;
    QPointer<QWidget> hwnd = t->window ? t->window->hwnd.get() : nullptr;
    auto live = [&] { return hwnd && dcc_transfer_of_window(hwnd) == t; };
    EventSource source;
    if (t->kind == kDccSend)
        source.dcc_send = t;
    else
        source.dcc_get = t;
    source.text1 = t->path;
    source.requester = t->nick;
    Connection* conn = conn_is_live(t->conn) ? t->conn : nullptr;
    int halt = 0;
    event_fire(conn, hwnd, nullptr, word, id, 1, &halt, &source);
    if (!live())
        return false;
    event_fire(conn_is_live(conn) ? conn : nullptr, hwnd, nullptr, word, id, 0, nullptr, &source);
    return live();
}

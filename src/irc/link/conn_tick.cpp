#include "irc/link/conn_tick.h"

#include "model/connection.h"
#include "core/numbered_texts.h"
#include "core/options.h"
#include "core/time_date.h"
#include "irc/ctcp/ctcp.h"
#include "irc/dispatch/automode.h"
#include "irc/dispatch/captions.h"
#include "irc/dispatch/outgoing_notes.h"
#include "irc/link/close.h"
#include "irc/link/connect.h"
#include "irc/link/flood.h"
#include "irc/lists/ban_lists.h"
#include "irc/lists/notify_list.h"
#include "irc/lists/user_lists.h"
#include "irc/numerics/logon.h"
#include "irc/ssl/ssl_link.h"
#include "irc/link/send_queue.h"
#include "platform/app_messages.h"
#include "platform/sockets.h"

#include <cstdint>

Signal<void(Connection*)> conn_second;

int conn_timeout_probe(const std::string* pong_text, Connection* conn)
{
    if (pong_text) {
        // The probe's reply carries exactly this text.
        if (*pong_text != "TIMEOUTCHECK" || !conn_is_live(conn))
            return 0;
        conn->timeout_countdown = conn_timeout_seconds;
        return 1;
    }
    if (!conn_is_live(conn) || !opt(OPT_TIMEOUT_CHECK))
        return 0;
    int left = --conn->timeout_countdown;
    if (left < 0 || left > conn_timeout_seconds) {
        conn->timeout_countdown = conn_timeout_seconds;
    } else if (left == conn_probe_point) {
        irc_send_line("PING :TIMEOUTCHECK\n", 8, conn);
    } else if (left == 0) {
        conn->timeout_countdown = conn_timeout_seconds;
        intptr_t word = WSAMAKESELECTREPLY(FD_READ, WSAEDISCON);
        send_app_message(WM_APP_SERVER_SOCKET, static_cast<uintptr_t>(conn->socket), word);
    }
    return 0;
}

// One second of one connection. Returns whether it was connected.
static int tick_one(Connection* c, int elapsed)
{
    // While the user is asked about the server's certificate the attempt's
    // clock stands: the prompt has a time of its own, and its end decides.
    const bool asking = c->ssl && c->socket != -1 && ssl_link_prompt_open(c->socket);
    if (opt(OPT_RETRY_ON_FAIL) && c->connecting && c->connect_seconds != 0 && !asking) {
        ++c->connect_seconds;
        conn_update_status_title(c);
        int limit = opt(OPT_CONNECT_TIMEOUT);
        if (limit < 10)
            limit = 60;
        if (c->connect_seconds > limit) {
            c->reason = conn_text(4101);
            conn_fail_message(0, c);
            if (conn_is_live(c))
                conn_schedule_retry(c);
            if (conn_is_live(c))
                conn_close(c->reason, c);
            if (!conn_is_live(c))
                return 0;
        }
    }
    if (c->waiting_retry && c->retry_delay > 0) {
        c->retry_delay -= 1000;
        conn_update_status_title(c);
    }
    ++c->tick_seconds;
    if (!c->pending_window.isNull())
        conn_pending_release(c);
    if (conn_is_live(c) && c->reply_list)
        conn_age_reply_list(c);
    if (conn_is_live(c))
        conn_age_request_lists(c);
    if (!conn_is_live(c) || !c->connected || c->socket == -1)
        return 0;

    conn_second.fire(c);
    if (!conn_is_live(c))
        return 0;
    // The protocol's own second: the delayed auto-join, then the delayed modes.
    conn_autojoin_tick(c);
    if (conn_is_live(c))
        automode_tick(c);
    if (!conn_is_live(c))
        return 0;
    if (!c->connected) {
        c->idle_seconds = 0;
        return 0;
    }
    ++c->idle_seconds;
    if (c->reselect_pending) {
        c->reselect_pending = 0;
        sock_async_select(c->socket, WM_APP_SERVER_SOCKET, FD_READ | FD_WRITE | FD_CLOSE);
    }
    conn_timeout_probe(nullptr, c);
    if (!conn_is_live(c))
        return 1;
    if (c->flood_check_out) {
        if (++c->flood_check_seconds >= 60) {
            c->flood_check_seconds = 0;
            c->flood_check_out = 0;
            c->flood_budget = 0;
            flood_release(c);
        }
    } else if (c->flood_budget >= 100) {
        c->flood_budget -= 100;
    }
    if (!conn_is_live(c))
        return 1;
    flood_tick(c);
    if (conn_is_live(c))
        ctcp_flood_decay(c);
    if (conn_is_live(c) && c->timed_bans)
        chan_timed_ban_tick(c);
    if (!conn_is_live(c))
        return 1;
    if (c->notify_poll_flags & 1) {
        notify_conn_stage(3, c);
        notify_window_refresh();
        irc_nick_colours_stale.fire();
    } else {
        bool due = (c->notify_poll_flags & 2) != 0;
        if (!due && c->notify_poll_interval > 0 && ++c->notify_poll_counter >= c->notify_poll_interval) {
            c->notify_poll_counter = 0;
            due = true;
        }
        if (due) {
            notify_tick_poll(c);
            notify_window_refresh();
        }
    }
    if (!conn_is_live(c))
        return 1;
    online_time_add_connection(elapsed, c->online_hours, c->online_minutes, c->online_seconds);
    if (conn_is_live(c) && c->autojoin_countdown > 0 && --c->autojoin_countdown == 0)
        conn_auto_join(c);
    return 1;
}

int conn_tick_all(int elapsed)
{
    int any_connected = 0;
    conn_visit_each([&](Connection* c) {
        if (tick_one(c, elapsed))
            any_connected = 1;
    });
    if (any_connected)
        online_time_add(elapsed);
    return 1;
}


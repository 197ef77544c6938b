#include "irc/lists/servers.h"
#include "irc/link/proxy.h"
#include "irc/link/close.h"

#include <cstdio>

#include "model/connection.h"
#include "core/numbered_texts.h"
#include "core/options.h"
#include "core/string_list.h"
#include "core/text_limits.h"
#include "model/colors.h"
#include "model/line_buffer.h"
#include "model/tip_events.h"
#include "irc/link/connect.h"
#include "irc/numerics/isupport.h"
#include "irc/link/send_queue.h"
#include "irc/lists/address_list.h"
#include "irc/numerics/replies.h"
#include "platform/app_messages.h"
#include "platform/host_lookup.h"
#include "platform/sockets.h"
#include "script/events/event_fire.h"
#include "irc/ssl/ssl_link.h"
#include "irc/lists/notify_list.h"

namespace {

void refresh(Connection* conn)
{
    if (conn_is_live(conn))
        link_refresh_ui(conn);
}

void post_connectfail(Connection* conn)
{
    post_app_message(WM_APP_CONNECTION_REQUEST, 0, reinterpret_cast<intptr_t>(conn));
}

// The retry series: 0 when the limit is passed (CONNECTFAIL posted).
int retry_series(Connection* conn)
{
    if (conn->retry_count > opt(OPT_RETRY_LIMIT)) {
        post_connectfail(conn);
        return 0;
    }
    ++conn->retry_count;
    if (!link_state(conn).alternates.empty()) {
        conn->pending_changes = kPendingCopyStored;
    } else {
        if (opt(OPT_RETRY_NEXT_SERVER))
            conn_next_server(conn);
        conn->pending_changes = kPendingCopyStored | kPendingReadEntry;
    }
    return 1;
}

void clear_link_io(Connection* conn)
{
    conn->recv_line.clear();
    conn->line_length = 0;
    conn->line_overflow = 0;
    strlist_free(&conn->send_queue);
    conn->in_progress[0] = 0;
    conn->reselect_pending = 0;
    conn->read_counter = 0;
    conn->quitting = 0;
    link_state(conn).throttled = 0;
    link_state(conn).mean_line_length = 0;
    conn->flood_budget = 0;
    conn->timeout_countdown = conn_timeout_seconds;
}

} // namespace

void (*irc_disconnect_notice)(Connection*) = nullptr;
Signal<void(int, Connection*)> irc_link_stage;
Signal<void(int)> irc_link_activity;

void conn_reset_stage(int stage, Connection* conn)
{
    if (!conn_is_live(conn))
        return;
    LinkState& st = link_state(conn);
    switch (stage) {
    case 0:
        if (!conn->waiting_retry) {
            strlist_free(&conn->rotation_list);
            st.alternates.clear();
        }
        conn->lookup_handle = 0;
        conn->connected = 0;
        conn->connecting = 1;
        conn->resolving_local_host = 0;
        conn->link_closed = 0;
        conn->connect_timer_id = 0;
        conn->retry_delay = 0;
        conn->waiting_retry = 0;
        conn->close_handled = 0;
        conn->failure_code = kFailNone;
        conn->ident_state = 1;
        conn->ident_address = -1;
        if (opt(OPT_LOOKUP_LOCAL_HOST)) {
            conn->local_host.clear();
            conn->local_ip_text.clear();
            conn->local_ip = 0;
        } else if (opt(OPT_LOOKUP_LOCAL_ADDRESS)) {
            conn->local_ip_text.clear();
            conn->local_ip = 0;
        }
        clear_link_io(conn);
        conn->nick_index = 0;
        conn->registered = 0;
        st.ssl_state = 0;
        // A redirect left from a link closed by hand must not end this one.
        st.redirect_pending = 0;
        ial_clear(0, conn);
        break;
    case 1:
        conn->connected = 1;
        conn->connecting = 0;
        conn->resolving_local_host = 0;
        conn->link_closed = 0;
        conn->connect_seconds = 0;
        if (conn->local_ip == 0x7F000001u) {
            conn->local_ip = 0;
            conn->local_ip_text.clear();
            conn->local_host.clear();
        }
        conn->timeout_countdown = conn_timeout_seconds;
        notify_window_refresh();
        break;
    case 2:
        conn->connected = 0;
        conn->connecting = 0;
        conn->resolving_local_host = 0;
        conn->link_closed = 1;
        conn->ident_state = 0;
        conn->ident_address = -1;
        clear_link_io(conn);
        conn->registered = 0;
        reply_chanlist_end(conn);
        notify_conn_stage(4, conn);
        break;
    case 3:
        conn->link_closed = 0;
        conn->server_name = conn->live_server[0];
        conn->failure_code = kFailNone;
        conn->nick_index = 0;
        break;
    default:
        return;
    }
    irc_link_stage.fire(stage, conn);
    refresh(conn);
    if (stage == 2 && conn_is_live(conn) && conn->failure_code != kFailNone)
        post_app_message(WM_APP_DIALOG_REQUEST, static_cast<uintptr_t>(conn->failure_code), 0);
}

int conn_close(const std::string& text, Connection* conn)
{
    if (!conn_is_live(conn))
        return 0;
    int was_connected = conn->connected;
    int was_connecting = conn->connecting || conn->resolving_local_host;
    if (was_connected || was_connecting)
        conn->close_handled = 0;
    if (!conn->waiting_retry)
        conn_kill_connect_timer(conn);
    if (conn->lookup_handle) {
        host_lookup_cancel(conn->lookup_handle);
        conn->lookup_handle = 0;
    }
    if (conn->socket != -1) {
        if (conn->ssl)
            ssl_close_for_socket(conn->socket);
        sock_shutdown(conn->socket, 1);
        sock_close(conn->socket);
        conn->socket = -1;
    }
    proxy_close_by_key(kProxyOwnerConnection, conn->id);
    if (!conn_is_live(conn))
        return (was_connected ? 1 : 0) | (was_connecting ? 2 : 0);
    if (!conn->close_handled) {
        conn->close_handled = 1;
        irc_link_activity.fire(0);
        if ((was_connected || was_connecting) && !text.empty()) {
            print_separator(link_status_window(conn), kColorInfoText);
            print_line(link_status_window(conn), std::string_view(text), kColorInfoText);
        }
        if (was_connected && event_announce_wanted(TIPOPT_CONNECT)) {
            TipEventText ev{std::string(), conn->network.empty() ? conn->server_name : conn->network,
                            std::string()};
            ev.alt = conn->network.empty() ? 0 : 1;
            tip_event.fire(TIPOPT_CONNECT, ev, 20, conn, nullptr);
        }
        if (was_connected && conn->registered && !conn->quitting && irc_disconnect_notice)
            irc_disconnect_notice(conn);
        conn_reset_stage(2, conn);
        if (conn_is_live(conn) && was_connected && event_switch_events) {
            EventSource source;
            event_fire(conn, link_status_window(conn), nullptr, "DISCONNECT", 21, 0, nullptr,
                       &source);
            if (conn_is_live(conn))
                conn_reset_stage(3, conn);
        } else {
            conn_reset_stage(3, conn);
        }
    }
    return (was_connected ? 1 : 0) | (was_connecting ? 2 : 0);
}

int conn_schedule_retry(Connection* conn)
{
    if (!conn_is_live(conn))
        return 0;
    LinkState& st = link_state(conn);
    conn->pending_changes = 0;
    conn->connect_seconds = 0;
    conn->waiting_retry = 0;
    if (conn->quitting || (conn->ssl && st.ssl_state == 3))
        return 0;
    int retry_on = opt(OPT_RETRY_ON_FAIL);
    int reconnect_on = opt(OPT_RECONNECT_ON_DISCONNECT);
    int delay = opt(OPT_RETRY_DELAY) * 1000;
    if (st.redirect_pending) {
        st.redirect_pending = 0;
        conn->pending_changes = kPendingCopyStored;
        // The addresses of the server left behind are not where it sent us.
        st.alternates.clear();
    } else if (!conn->connected && !conn->connecting && !conn->resolving_local_host) {
        return 0;
    } else if (!conn->connected) {
        if (retry_on) {
            if (!retry_series(conn))
                return 0;
        } else if (!st.alternates.empty()) {
            conn->pending_changes = kPendingCopyStored | kPendingReadEntry;
        } else {
            post_connectfail(conn);
            return 0;
        }
    } else if (!conn->registered) {
        if (retry_on) {
            if (!retry_series(conn))
                return 0;
        } else if (reconnect_on) {
            delay = 3000;
        } else if (!st.alternates.empty()) {
            conn->pending_changes = kPendingCopyStored | kPendingReadEntry;
        } else {
            post_connectfail(conn);
            conn->failure_code = kFailClosedEarly;
            return 0;
        }
    } else {
        if (!reconnect_on) {
            conn->failure_code = kFailNone;
            return 0;
        }
    }
    if (st.throttled) {
        st.throttled = 0;
        delay = 60000;
        char buf[kShortText + 32];
        std::snprintf(buf, sizeof buf, text_load_string(6006), 60);
        echo_line(link_status_window(conn), std::string_view(buf), kColorInfoText);
        if (!conn_is_live(conn))
            return 0;
    }
    conn->waiting_retry = 1;
    conn_kill_connect_timer(conn);
    conn_set_connect_timer(conn, delay);
    refresh(conn);
    return 1;
}

int conn_disconnect(const std::string& text, int flags, Connection* conn)
{
    if (!conn_is_live(conn))
        return 0;
    if (flags & 1) {
        conn->pending_changes = 0;
        conn->waiting_retry = 0;
        conn->retry_count = 0;
        conn_kill_connect_timer(conn);
    }
    if (flags & 2) {
        strlist_free(&conn->autojoin_list);
        conn->autojoin_countdown = 0;
        // The switches of the last /server request.
        LinkState& st = link_state(conn);
        st.server_l_switch = 0;
        st.skip_chanfolder_join = 0;
        st.hide_chanfolder = 0;
        if (IrcConnState* irc = irc_state(conn)) {
            irc->skip_perform = 0;
            irc->skip_connect_event = 0;
        }
    }
    if (!text.empty()) {
        echo_line(link_status_window(conn), std::string_view(text), kColorInfoText);
        if (!conn_is_live(conn))
            return 0;
    }
    int was_connected = conn->connected;
    if (conn->connected && conn->socket != -1) {
        irc_send_quit(conn);
        if (!conn_is_live(conn))
            return 0;
    }
    std::string close_text;
    if (flags & 4)
        close_text = text_load_string(was_connected ? 1505 : 1506);
    return conn_close(close_text, conn);
}

void conn_fire_connectfail(Connection* conn)
{
    if (!conn_is_live(conn) || !event_switch_events)
        return;
    std::string text = conn->reason;
    if (text.rfind("* ", 0) == 0)
        text.erase(0, 2);
    std::string collapsed;
    for (char c : text) {
        if (c == ' ' && (collapsed.empty() || collapsed.back() == ' '))
            continue;
        collapsed.push_back(c);
    }
    while (!collapsed.empty() && collapsed.back() == ' ')
        collapsed.pop_back();
    EventSource source;
    source.text1 = collapsed;
    event_fire(conn, link_status_window(conn), nullptr, "CONNECTFAIL", 13, 0, nullptr, &source);
}

intptr_t conn_on_connectfail_message(uintptr_t, intptr_t lparam)
{
    conn_fire_connectfail(reinterpret_cast<Connection*>(lparam));
    return 0;
}

void conn_fail_attempt(Connection* conn, int failure_code, const std::string& reason)
{
    if (!conn_is_live(conn))
        return;
    if (failure_code >= 0)
        conn->failure_code = failure_code;
    conn->reason = reason;
    conn_schedule_retry(conn);
    if (conn_is_live(conn))
        conn_close(conn->reason, conn);
}

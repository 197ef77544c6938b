#include "irc/link/send_queue.h"

#include <algorithm>
#include <cstdio>
#include <cctype>

#include "model/connection.h"
#include "core/encodings.h"
#include "core/numbered_texts.h"
#include "core/options.h"
#include "core/string_list.h"
#include "core/text_limits.h"
#include "model/colors.h"
#include "model/line_buffer.h"
#include "irc/link/close.h"
#include "irc/link/connect.h"
#include "irc/link/flood.h"
#include "irc/link/outgoing_charset.h"
#include "irc/link/traffic_log.h"
#include "irc/dispatch/outgoing_notes.h"
#include "irc/ssl/ssl_link.h"
#include "platform/app_messages.h"
#include "platform/sockets.h"

namespace {

// Writes bytes to the link; the count written or -1 with sock_last_error set.
long link_write(Connection* conn, const char* data, std::size_t length)
{
    if (!conn->ssl)
        return sock_send(conn->socket, data, length);
    long n = ssl_write(conn->socket, data, static_cast<long>(length));
    if (n == static_cast<long>(length))
        return n;
    sock_set_last_error(n == -3 ? WSAENOBUFS : WSAECONNABORTED);
    return SOCKET_ERROR;
}


// Cuts a line at the usable length and makes sure it ends in a line feed: a
// cut line must not lose its end, or the server would join it to the next.
void finish_line(std::string& line)
{
    if (line.empty())
        return;
    if (line.size() > kLongText)
        line.resize(kLongText);
    if (line.back() != '\n') {
        if (line.size() >= kLongText)
            line.back() = '\n';
        else
            line.push_back('\n');
    }
}

std::size_t skip_blanks(const std::string& s, std::size_t i)
{
    while (i < s.size() && s[i] == ' ')
        ++i;
    return i;
}

bool starts_with_word(const std::string& s, std::size_t at, const char* word)
{
    std::size_t n = std::char_traits<char>::length(word);
    if (s.size() < at + n)
        return false;
    for (std::size_t k = 0; k < n; ++k)
        if (std::toupper(static_cast<unsigned char>(s[at + k])) != word[k])
            return false;
    return true;
}

} // namespace

Signal<void(const std::string&, Connection*)> irc_own_activity;

void irc_inspect_outgoing(const std::string& line, Connection* conn)
{
    std::size_t i = skip_blanks(line, 0);
    std::string body = line.substr(0, line.find_first_of("\r\n"));
    if (starts_with_word(body, i, "JOIN ")) {
        std::size_t t = skip_blanks(body, i + 5);
        conn_recent_note_joins(body.substr(t), conn);
        return;
    }
    std::size_t after = 0;
    if (starts_with_word(body, i, "PRIVMSG ")) {
        conn->idle_seconds = 0;   // the user said something: no longer idle
        after = i + 8;
    }
    else if (starts_with_word(body, i, "NOTICE "))
        after = i + 7;
    else
        return;
    if (irc_own_activity.empty())
        return;
    std::size_t t = skip_blanks(body, after);
    std::size_t end = body.find(' ', t);
    std::string targets = body.substr(t, end == std::string::npos ? std::string::npos : end - t);
    std::size_t start = 0;
    while (start <= targets.size()) {
        std::size_t comma = targets.find(',', start);
        std::string one = targets.substr(start, comma == std::string::npos ? std::string::npos
                                                                           : comma - start);
        if (!one.empty() && conn_is_live(conn))
            irc_own_activity.fire(one, conn);
        if (comma == std::string::npos)
            break;
        start = comma + 1;
    }
}

int irc_send_line(const std::string& text, int kind, Connection* conn)
{
    if (!conn_is_live(conn))
        return 0;
    if (conn->socket == -1) {
        conn_close(text_load_string(6004), conn);
        return 0;
    }
    std::string line = text.size() > kLongText ? text.substr(0, kLongText) : text;
    finish_line(line);
    if (!line.empty()) {
        irc_note_outgoing(line, conn);
        if (!conn_is_live(conn) || conn->socket == -1)
            return 0;
        if (kind != kLineFlood) {
            charset_encode_outgoing(nullptr, conn, line, 5);
            charset_encode_outgoing(nullptr, conn, line, 14);
            finish_line(line);
        }
    }

    // Queued lines go first: the new line joins the end and the head is
    // taken off the queue for this write.
    bool from_queue = false;
    if (conn->send_queue) {
        if (!line.empty()) {
            if (strlist_count(conn->send_queue) >= kSendQueueMax)
                return 0;
            conn->send_queue = strlist_append(conn->send_queue, line, kind);
        }
        StringNode* head = conn->send_queue;
        line = head->text;
        kind = head->number;
        conn->send_queue = strlist_free_node(head);
        from_queue = true;
    }

    if (!line.empty()) {
        if (opt(OPT_FLOOD_PROTECTION) && flood_gate(line, kind, conn)) {
            // The held line was the queue's head: the lines behind it must
            // not wait for a write event that no write will cause.
            if (conn_is_live(conn) && conn->send_queue)
                post_app_message(WM_APP_SEND_QUEUE, 0, reinterpret_cast<intptr_t>(conn));
            return 1;
        }
        if (!conn_is_live(conn) || conn->socket == -1)
            return 0;
        irc_link_activity.fire(1);
        long written = link_write(conn, line.data(), line.size());
        if (written < 0) {
            int error = sock_last_error();
            if (error == WSAEWOULDBLOCK) {
                // The line waits at the head for the socket's write event.
                conn->send_queue = strlist_prepend(conn->send_queue, line, 0,
                                                   from_queue ? kind : kLineOrdinary);
                return 0;
            }
            conn->reason.clear();
            if (error != 0) {
                char buf[kLongText + 64];
                std::snprintf(buf, sizeof buf, text_load_string(6005),
                              socket_error_text(error).c_str());
                conn->reason = buf;
                echo_line(link_status_window(conn), conn->reason, kColorInfoText);
            }
            if (!conn_is_live(conn))
                return 0;
            conn_schedule_retry(conn);
            if (conn_is_live(conn))
                conn_close(text_load_string(1505), conn);
            return 0;
        }
        std::size_t sent = static_cast<std::size_t>(written);
        if (sent < line.size())
            conn->send_queue = strlist_prepend(conn->send_queue, line.substr(sent), 0, kind);
        int length = static_cast<int>(sent);
        LinkState& st = link_state(conn);
        st.mean_line_length = st.mean_line_length ? (st.mean_line_length + length) / 2 : length;
        int budget = opt(OPT_FLOOD_BYTES);
        conn->flood_budget = std::min(conn->flood_budget + length, std::max(budget, 0));
        if (conn->debug_flags)
            debug_log_line(line.substr(0, sent), 0, conn);
    }
    if (conn_is_live(conn) && conn->send_queue)
        post_app_message(WM_APP_SEND_QUEUE, 0, reinterpret_cast<intptr_t>(conn));
    return 1;
}

void irc_send_queue_continue(Connection* conn)
{
    if (!conn_is_live(conn))
        return;
    if (conn->send_queue && conn->socket != -1)
        irc_send_line(std::string(), 0, conn);
    if (conn_is_live(conn))
        flood_release(conn);
}

intptr_t irc_on_send_queue_message(uintptr_t, intptr_t lparam)
{
    irc_send_queue_continue(reinterpret_cast<Connection*>(lparam));
    return 0;
}

// Server connections: the list, lookups, lifetime, the per-connection tick and
// connection switching.
#include "model/connection.h"

#include "model/colors.h"
#include "model/line_buffer.h"
#include "model/window_record.h"
#include "core/numbered_texts.h"
#include "core/string_list.h"
#include "core/text_limits.h"
#include "core/text_buffer.h"

#include <QWidget>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <unistd.h>

Connection* conn_list = nullptr;

int conn_timeout_seconds = 600;
int conn_probe_point = 120;

Signal<void(Connection*)> conn_created;
Signal<void(Connection*)> conn_freed;
Signal<void(Connection*, Connection*, bool)> conn_repoint;
Signal<void()> conn_removed;
void (*conn_repoint_dependents)(Connection*, Connection*) = nullptr;
void (*conn_chanlist_copy_filter)(int, Connection*) = nullptr;

std::string conn_autojoin_name;
int conn_next_status_minimised = 0;

// Colour value of the Normal text item.
static constexpr int kNormalTextColour = 0x1000B;

// The connection and window that conn_current remembers.
static Connection* remembered_conn = nullptr;
static QPointer<QWidget> remembered_window;

// Serial of recent-channel entries, one more per channel joined.
static long recent_serial = 0;

namespace {

const std::string& group_of(const Connection* c) { return c->live_server[2]; }

// Whether two connections belong to one network: equal non-empty network name,
// group or server name.
bool same_network(const Connection* a, const Connection* b)
{
    if (!a->network.empty() && text_equal_nocase(a->network, b->network))
        return true;
    if (!group_of(a).empty() && text_equal_nocase(group_of(a), group_of(b)))
        return true;
    return !a->server_name.empty() && text_equal_nocase(a->server_name, b->server_name);
}

void free_lists(Connection* c)
{
    strlist_free(&c->rotation_list);
    strlist_free(&c->send_queue);
    strlist_free(&c->autojoin_list);
    strlist_free(&c->tick_list);
    strlist_free(&c->reply_list);
    strlist_free(&c->timed_bans);
    strlist_free(&c->pending_joins);
    strlist_free(&c->pending_replies);
    strlist_free(&c->notify_list);
    c->recent_channels.clear();
    conn_freed.fire(c);
    while (c->userhost_requests) {
        UserhostRequest* next = c->userhost_requests->next;
        delete c->userhost_requests;
        c->userhost_requests = next;
    }
    strlist_free(&c->notify_list);
    if (c->chanlist_file >= 0) {
        ::close(c->chanlist_file);
        c->chanlist_file = -1;
    }
}

void print_to(QWidget* window, const std::string& text)
{
    echo_line(window, text, kColorInfoText);
}

} // namespace

std::string conn_text(int number)
{
    std::string text;
    text_load_string(number, &text);
    return text;
}

// ---- Registry and tests ----

int conn_is_live(const Connection* conn)
{
    if (!conn)
        return 0;
    for (const Connection* c = conn_list; c; c = c->next)
        if (c == conn)
            return 1;
    return 0;
}

// The first connection whose field equals value; none for the field's
// "unset" value.
static Connection* conn_by_field(int Connection::*field, int value, int unset)
{
    if (value == unset)
        return nullptr;
    for (Connection* c = conn_list; c; c = c->next)
        if (c->*field == value)
            return c;
    return nullptr;
}

Connection* conn_by_socket(int socket)
{
    return conn_by_field(&Connection::socket, socket, -1);
}

Connection* conn_by_lookup_handle(int handle)
{
    return conn_by_field(&Connection::lookup_handle, handle, 0);
}

Connection* conn_by_connect_timer(int timer_id)
{
    return conn_by_field(&Connection::connect_timer_id, timer_id, 0);
}

Connection* conn_by_id(int id)
{
    for (Connection* c = conn_list; c; c = c->next)
        if (c->id == id)
            return c;
    return nullptr;
}

Connection* conn_by_position(int position)
{
    int n = 1;
    for (Connection* c = conn_list; c; c = c->next, ++n)
        if (n == position)
            return c;
    return nullptr;
}

int conn_count()
{
    int n = 0;
    for (Connection* c = conn_list; c; c = c->next)
        ++n;
    return n;
}

// Whether the window has a record, and its connection.
static bool record_of(QWidget* window, Connection** conn = nullptr)
{
    if (!window)
        return false;
    Connection* owner = nullptr;
    int has_record = 0;
    if (WindowRecord* rec = win_record_of(window)) {
        has_record = 1;
        owner = rec->conn;
    }
    if (conn)
        *conn = owner;
    return has_record != 0;
}

Connection* conn_of_window(QWidget* window)
{
    Connection* owner = nullptr;
    if (!record_of(window, &owner) || !conn_is_live(owner))
        return nullptr;
    return owner;
}

Connection* conn_current()
{
    QWidget* active = win_active.get();
    Connection* of_active = conn_of_window(active);
    if (of_active) {
        remembered_conn = of_active;
        remembered_window = active;
    } else if (!conn_is_live(remembered_conn)) {
        remembered_conn = conn_list;
        remembered_window = nullptr;
    }
    if (!remembered_conn) {
        remembered_window = nullptr;
        return nullptr;
    }
    Connection* owner = nullptr;
    if (!record_of(remembered_window.data(), &owner) || owner != remembered_conn)
        remembered_window = remembered_conn->status_window.data();
    return remembered_conn;
}

QWidget* conn_current_window()
{
    conn_current();
    return remembered_window.data();
}

Connection* conn_for_window_or_current(QWidget** window)
{
    Connection* c = window ? conn_of_window(*window) : nullptr;
    if (c)
        return c;
    c = conn_current();
    if (window)
        *window = remembered_window.data();
    return c;
}

QWidget* conn_status_window_of(QWidget* window)
{
    Connection* c = conn_of_window(window);
    if (!c)
        c = conn_current();
    return c ? c->status_window.data() : nullptr;
}

int conn_validate_or_current(Connection** conn)
{
    if (!conn)
        return 0;
    if (!conn_is_live(*conn))
        *conn = conn_current();
    return *conn ? 1 : 0;
}

const std::string& conn_own_nick(const Connection* conn)
{
    static const std::string none;
    if (!conn)
        return none;
    const int idx = conn->nick_index < 0 || conn->nick_index > 2 ? 0 : conn->nick_index;
    return conn->live_identity[2 + idx];
}

int conn_is_connected(const Connection* conn)
{
    return conn_is_live(conn) && conn->connected && conn->socket != -1 ? 1 : 0;
}

int conn_is_connecting(const Connection* conn)
{
    return conn_is_live(conn) && (conn->connecting || conn->waiting_retry || conn->connect_timer_id) ? 1 : 0;
}

int conn_current_state()
{
    Connection* c = conn_current();
    if (!c)
        return 0;
    if (conn_is_connected(c))
        return 1;
    if (conn_is_connecting(c))
        return 2;
    return 0;
}

Connection* conn_first_connected()
{
    for (Connection* c = conn_list; c; c = c->next)
        if (c->connected && c->socket != -1)
            return c;
    return nullptr;
}

int conn_any_in_progress()
{
    for (Connection* c = conn_list; c; c = c->next)
        if (c->in_progress[0] || c->in_progress[1])
            return 1;
    return 0;
}

int conn_has_local_ip(const Connection* conn)
{
    return conn_is_live(conn) && conn->local_ip != 0 ? 1 : 0;
}

int conn_check_connected(QWidget* window, Connection* conn)
{
    if (!conn_is_live(conn))
        return 1;
    if (conn_is_connected(conn))
        return 0;
    print_to(record_of(window) ? window : conn->status_window.data(), conn_text(601));
    return 1;
}

int conn_check_local_host(QWidget* window, Connection* conn)
{
    if (!conn_is_live(conn))
        return 1;
    if (conn->local_ip != 0)
        return 0;
    print_to(window ? window : conn->status_window.data(),
             conn_text(conn->resolving_local_host ? 602 : 603));
    return 1;
}

int conn_get_network(std::string& out, Connection* conn)
{
    if (!conn_is_live(conn))
        return 0;
    std::size_t before = out.size();
    if ((conn->connected || conn_is_connecting(conn)) && !conn->network.empty())
        out += conn->network;
    else if (!group_of(conn).empty() && !text_is_integer(group_of(conn)))
        out += group_of(conn);
    else
        out += conn->server_name;
    return out.size() > before ? 1 : 0;
}

int conn_queue_autojoin(const std::string& text, int flags, Connection* conn)
{
    if (!conn_is_live(conn))
        return 0;
    std::string item = text_trim_blanks(text);
    if (item.empty())
        return 0;
    if (flags & 1)
        strlist_free(&conn->autojoin_list);
    StringNode* head = strlist_append(conn->autojoin_list, std::string_view(item), 8);
    if (!head)
        return 0;
    conn->autojoin_list = head;
    if (flags & 8)
        head->prev->extra[0] = 1;  // joined with the window minimised
    if (flags & 2) {
        conn->joins_pending[0] = 1;
        conn->joins_pending[1] = 1;
    }
    if (flags & 4)
        conn_autojoin_name.clear();
    return 1;
}

// ---- Recent channels ----

static constexpr std::size_t kRecentLimit = 20;

void conn_recent_note_joins(const std::string& channels, Connection* conn)
{
    if (!conn_is_live(conn))
        return;
    std::string list = channels.substr(0, kLongText);
    std::size_t brk = list.find_first_of("\r\n");
    if (brk != std::string::npos)
        list.erase(brk);
    list = text_trim_blanks(list);
    const std::string types = conn->chan_types.empty() ? std::string("#&") : conn->chan_types;
    std::size_t pos = 0;
    while (pos <= list.size()) {
        std::size_t comma = list.find(',', pos);
        std::string item = text_trim_blanks(list.substr(pos, comma == std::string::npos ? std::string::npos : comma - pos));
        pos = comma == std::string::npos ? list.size() + 1 : comma + 1;
        if (item.empty() || types.find(item[0]) == std::string::npos)
            continue;
        item = item.substr(0, kShortText);
        long serial = ++recent_serial;
        std::string name = text_first_word_of(item);
        for (Connection* c = conn_list; c; c = c->next) {
            if (c != conn && !same_network(conn, c))
                continue;
            c->recent_network[0] = conn->network;
            c->recent_network[1] = group_of(conn);
            c->recent_network[2] = conn->server_name;
            auto& v = c->recent_channels;
            v.erase(std::remove_if(v.begin(), v.end(),
                                   [&](const RecentChannel& e) { return text_equal_nocase(text_first_word_of(e.text), name); }),
                    v.end());
            v.insert(v.begin(), RecentChannel{item, serial});
        }
    }
    for (Connection* c = conn_list; c; c = c->next)
        if (c->recent_channels.size() > kRecentLimit)
            c->recent_channels.resize(kRecentLimit);
}

const RecentChannel* conn_recent_find(const std::string& channel, Connection* conn)
{
    if (!conn_is_live(conn))
        return nullptr;
    for (const RecentChannel& e : conn->recent_channels)
        if (text_equal_nocase(text_first_word_of(e.text), channel))
            return &e;
    return nullptr;
}

std::vector<std::string> conn_recent_sorted(Connection* conn)
{
    std::vector<std::string> out;
    if (!conn_is_live(conn))
        return out;
    for (const RecentChannel& e : conn->recent_channels)
        out.push_back(text_first_word_of(e.text));
    std::sort(out.begin(), out.end(),
              [](const std::string& a, const std::string& b) { return text_compare_nocase(a, b) < 0; });
    return out;
}

void conn_recent_reset(Connection* conn, int mode)
{
    if (!conn_is_live(conn))
        return;
    if (mode == 1 && text_equal_nocase(conn->recent_network[0], conn->network) &&
        text_equal_nocase(conn->recent_network[1], group_of(conn)) &&
        text_equal_nocase(conn->recent_network[2], conn->server_name))
        return;
    for (Connection* c = conn_list; c; c = c->next) {
        if (c != conn) {
            bool same = (!conn->network.empty() && text_equal_nocase(conn->network, c->network)) ||
                        (!group_of(conn).empty() && text_equal_nocase(group_of(conn), group_of(c)));
            if (!same)
                continue;
        }
        c->recent_channels.clear();
    }
}

void conn_recent_copy_from_sibling(Connection* conn)
{
    if (!conn_is_live(conn))
        return;
    for (Connection* c = conn_list; c; c = c->next) {
        if (c == conn || !same_network(conn, c))
            continue;
        conn->recent_channels = c->recent_channels;
        for (int i = 0; i < 3; ++i)
            conn->recent_network[i] = c->recent_network[i];
        return;
    }
}

// ---- Identity copy ----

void conn_identity_copy(int mode, Connection* conn)
{
    if (!conn_is_live(conn))
        return;
    if (mode == 0) {
        if (!conn->connected) {
            for (int i = 0; i < 5; ++i) {
                conn->live_identity[i] = conn->stored_identity[i];
                conn->live_server[i] = conn->stored_identity[5 + i];
            }
            conn->ssl = !conn->live_server[4].empty() && conn->live_server[4][0] == '+' ? 1 : 0;
            conn->group_flag = conn->live_server[2].empty() ? 0 : 1;
            conn->server_name = conn->live_server[0];
        }
        conn->local_host = conn->stored_local_host;
        conn->local_ip_text = conn->stored_local_ip_text;
        conn->local_ip = conn->stored_local_ip;
    } else {
        for (int i = 0; i < 5; ++i) {
            conn->stored_identity[i] = conn->live_identity[i];
            conn->stored_identity[5 + i] = conn->live_server[i];
        }
        conn->stored_local_host = conn->local_host;
        conn->stored_local_ip_text = conn->local_ip_text;
        conn->stored_local_ip = conn->local_ip;
    }
}

// ---- Lifetime ----

namespace {

// Frees a record: its state first (socket, lists, the parts' own state), then
// what outlives it moves to a replacement, then it leaves the list.
void free_one(Connection* conn, bool at_exit)
{
    if (!conn_is_live(conn))
        return;
    free_lists(conn);

    Connection* replacement = nullptr;
    for (Connection* c = conn_list; c; c = c->next)
        if (c != conn) {
            replacement = c;
            break;
        }
    if (conn_repoint_dependents)
        conn_repoint_dependents(conn, replacement);
    conn_repoint.fire(conn, replacement, at_exit);

    // Closing its windows may have freed it already (its status window).
    if (!conn_is_live(conn))
        return;
    if (conn_list == conn) {
        conn_list = conn->next;
    } else {
        for (Connection* c = conn_list; c; c = c->next)
            if (c->next == conn) {
                c->next = conn->next;
                break;
            }
    }
    if (remembered_conn == conn) {
        remembered_conn = nullptr;
        remembered_window = nullptr;
    }
    delete conn;
    conn_removed.fire();
}

} // namespace

Connection* conn_new(Connection* sibling)
{
    Connection* c = new (std::nothrow) Connection;
    if (!c)
        return nullptr;
    c->id = win_alloc_id();
    c->timeout_countdown = conn_timeout_seconds;
    c->debug_colour = kNormalTextColour;

    if (!conn_list) {
        conn_list = c;
        conn_created.fire(c);
        return c;
    }

    if (!conn_is_live(sibling))
        sibling = conn_list;
    for (int i = 0; i < 10; ++i)
        c->stored_identity[i] = sibling->stored_identity[i];
    c->server_name = sibling->stored_identity[5];
    c->stored_local_host = sibling->stored_local_host;
    c->stored_local_ip_text = sibling->stored_local_ip_text;
    c->stored_local_ip = sibling->stored_local_ip;

    Connection* tail = conn_list;
    while (tail->next)
        tail = tail->next;
    tail->next = c;

    conn_identity_copy(0, c);
    conn_created.fire(c);
    if (conn_chanlist_copy_filter)
        conn_chanlist_copy_filter(0, c);
    conn_recent_copy_from_sibling(c);
    return c;
}

void conn_free(Connection* conn)
{
    free_one(conn, false);
}

void conn_free_all()
{
    while (conn_list)
        free_one(conn_list, true);
    remembered_conn = nullptr;
    remembered_window = nullptr;
}

// ---- Channel Central request ----

void conn_pending_release(Connection* conn)
{
    if (!conn_is_live(conn))
        return;
    if (conn->pending_countdown <= 0)
        return;
    if (--conn->pending_countdown == 0) {
        conn->pending_window = nullptr;
        if (conn->pending_replies)
            strlist_free(&conn->pending_replies);
        conn->pending_state = 0;
    }
}

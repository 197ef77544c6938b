#include "irc/link/flood.h"

#include <algorithm>
#include <cstdio>
#include <initializer_list>
#include <string_view>

#include "model/connection.h"
#include "model/window_record.h"
#include "core/numbered_texts.h"
#include "core/options.h"
#include "core/string_list.h"
#include "core/text_buffer.h"
#include "core/text_limits.h"
#include "model/colors.h"
#include "model/line_buffer.h"
#include "irc/dispatch/server_commands.h"
#include "irc/link/close.h"
#include "irc/link/connect.h"
#include "irc/link/send_queue.h"
#include "platform/app_messages.h"
#include "script/events/event_fire.h"

namespace {

RecordSlot<FloodState> g_state_slot;

// Program-wide serial of queue nodes.
int g_node_serial = 0;

int g_stage_listener = 0;

bool starts_with_command(const std::string& text, std::size_t from, std::string_view word)
{
    return text_starts_with_nocase(std::string_view(text).substr(std::min(from, text.size())), word);
}

// Whether the text, after leading blanks, begins with one of the words.
bool begins_with(const std::string& text, std::size_t from, std::initializer_list<std::string_view> words)
{
    std::size_t i = text_skip_blanks(text, std::min(from, text.size()));
    for (std::string_view w : words)
        if (starts_with_command(text, i, w))
            return true;
    return false;
}

bool is_message_line(const std::string& text, std::size_t from)
{
    return begins_with(text, from, {"PRIVMSG ", "NOTICE "});
}

bool is_automatic(const StringNode* node) { return node->number != kLineOrdinary; }

// An entry's prefix: its text up to and including the first blank.
std::string_view prefix_of(const StringNode* node)
{
    std::string_view t(node->text);
    std::size_t blank = t.find(' ');
    return blank == std::string_view::npos ? t : t.substr(0, blank + 1);
}


// The sender of the server line being handled on the connection: the
// running script event's line on it. 1 with its nick and address (user@host,
// empty when the line had none), 0 when no line is being handled.
int event_sender(Connection* conn, std::string& nick, std::string& address)
{
    EventFireContext* ctx = event_current_context();
    if (!ctx || ctx->conn != conn || !ctx->line)
        return 0;
    nick = ctx->nick;
    address = ctx->has_address ? ctx->address : std::string();
    return 1;
}

int budget() { return opt(OPT_FLOOD_BYTES); }

void lower_mean(Connection* conn)
{
    LinkState& st = link_state(conn);
    st.mean_line_length = std::max(0, st.mean_line_length - budget() / 2);
}

void post_continue(Connection* conn)
{
    post_app_message(WM_APP_SEND_QUEUE, 0, reinterpret_cast<intptr_t>(conn));
}

// The held lines go with the rest of the send state when a link is set up
// or closes.
void flood_stage(int stage, Connection* conn)
{
    if ((stage == 0 || stage == 2) && conn_is_live(conn))
        flood_clear(conn, 1);
}

} // namespace

void flood_print(QWidget* window, const std::vector<std::string>& lines, int framed)
{
    if (!window)
        return;
    if (framed)
        print_separator(window, kColorInfoText);
    for (const std::string& line : lines) {
        print_options.timestamp = 1;
        print_line(window, std::string_view(line), kColorInfoText);
    }
    if (framed)
        print_separator(window, kColorInfoText);
}

FloodState::~FloodState()
{
    strlist_free(&queue);
}

FloodState* flood_state(Connection* conn)
{
    if (!conn_is_live(conn))
        return nullptr;
    return &conn->state_slots.get(g_state_slot);
}

int flood_queue_size(Connection* conn)
{
    FloodState* st = flood_state(conn);
    return st ? st->size : 0;
}

StringNode* flood_queue_insert(StringNode* queue, const std::string& entry, int kind)
{
    StringNode* node = strlist_append(nullptr, std::string_view(entry), kind);
    if (!node)
        return queue;
    std::size_t body = 0;
    if (kind != kLineOrdinary) {
        std::size_t blank = entry.find(' ');
        body = blank == std::string::npos ? entry.size() : blank + 1;
    }
    node->extra[0] = is_message_line(entry, body) ? 1 : 0;
    node->serial = ++g_node_serial;
    if (!queue || kind == kLineOrdinary)
        return strlist_splice(queue, nullptr, node);

    // Automatic entries take turns by user: start after this user's last
    // entry and go before the first entry whose user already had a turn in
    // the stretch walked (the end of the current round), else at the end.
    const std::string_view mine = prefix_of(node);
    StringNode* start = queue;
    for (StringNode* n = queue; n; n = n->next)
        if (prefix_of(n) == mine)
            start = n->next;
    std::vector<std::string_view> seen;
    for (StringNode* n = start; n; n = n->next) {
        std::string_view p = prefix_of(n);
        if (std::find(seen.begin(), seen.end(), p) != seen.end())
            return strlist_splice(queue, n, node);
        seen.push_back(p);
    }
    return strlist_splice(queue, nullptr, node);
}

int flood_classify(const std::string& line, int kind, Connection* conn)
{
    FloodState* st = flood_state(conn);
    if (!st)
        return 0;
    if (!opt(OPT_FLOOD_HOLD_MODES) && begins_with(line, 0, {"MODE ", "KICK "}))
        return 0;
    if (kind == kLineFlood || kind == kLineTimeoutProbe)
        return 0;

    std::string entry;
    int stored_kind = kLineOrdinary;
    if (kind == kLineOrdinary) {
        if (!is_message_line(line, 0))
            return 0;
        entry = line;
    } else if (kind == kLineHeld) {
        entry = line;
    } else {
        // An automatic reply belongs to the sender of the line being handled.
        stored_kind = kind;
        std::string nick, address;
        int has_sender = event_sender(conn, nick, address);
        if (!conn_is_live(conn))
            return 1;
        std::size_t at = has_sender ? address.find('@') : std::string::npos;
        if (at == std::string::npos || text_equal_nocase(nick, conn_own_nick(conn))) {
            entry = "@ " + line;
        } else {
            const std::string host = address.substr(at);   // "@host"
            entry = nick + host + " " + line;
            const std::string key = host + " ";
            int held = 0;
            for (StringNode* n = st->queue; n; n = n->next) {
                if (!is_automatic(n) || !n->extra[0])
                    continue;
                std::size_t first = n->text.find('@');
                if (first != std::string::npos && n->text.compare(first, key.size(), key) == 0)
                    ++held;
            }
            if (held >= opt(OPT_FLOOD_USER_LINES)) {
                const int seconds = opt(OPT_FLOOD_IGNORE_SECONDS);
                if (seconds > 0 && nick.find('.') == std::string::npos) {
                    char command[kShortTextSize + 64];
                    std::snprintf(command, sizeof command, "/!ignore -u%d *!*%s", seconds,
                                  host.substr(0, kShortText).c_str());
                    // The line holds a sender's host: it runs in the plain
                    // mode, where nothing in it is evaluated or split.
                    irc_run_plain(conn, command);
                }
                return 1;
            }
        }
    }
    if (!conn_is_live(conn))
        return 1;
    st = flood_state(conn);
    if (st->size >= kFloodQueueMax)
        return 1;
    const int serial = g_node_serial;
    st->queue = flood_queue_insert(st->queue, entry.substr(0, kLongText), stored_kind);
    if (g_node_serial != serial)   // a node was made
        ++st->size;

    // Too many automatic messages held: the newest go, never the head.
    if (stored_kind != kLineOrdinary) {
        int automatic = 0;
        for (StringNode* n = st->queue; n; n = n->next)
            if (is_automatic(n) && n->extra[0])
                ++automatic;
        const int most = opt(OPT_FLOOD_QUEUE_LINES);
        StringNode* n = st->queue->prev;   // the tail
        while (automatic > most && n && n != st->queue) {
            StringNode* before = n->prev;
            if (is_automatic(n) && n->extra[0]) {
                st->queue = strlist_remove(st->queue, n);
                --st->size;
                --automatic;
            }
            n = before;
        }
    }
    return 1;
}

void flood_send_check(Connection* conn)
{
    if (!conn_is_live(conn))
        return;
    conn->flood_check_out = 1;
    conn->flood_check_seconds = 0;
    irc_send_line("PING :FLOODCHECK\n", kLineFlood, conn);
}

int flood_gate(const std::string& line, int kind, Connection* conn)
{
    if (!conn_is_live(conn))
        return 0;
    if (kind == kLineOrdinary && !opt(OPT_FLOOD_HOLD_OWN))
        return 0;
    if (conn->flood_check_out)
        return flood_classify(line, kind, conn);
    const int length = static_cast<int>(std::min<std::size_t>(line.size(), kLongText));
    const int limit = budget();
    if (conn->flood_budget != 0 && conn->flood_budget + length >= limit) {
        if (!flood_classify(line, kind, conn))
            return 0;
        flood_send_check(conn);
        return 1;
    }
    const int mean = link_state(conn).mean_line_length;
    if (mean != 0 && (length + mean) / 2 >= limit) {
        if (!flood_classify(line, kind, conn))
            return 0;
        if (conn_is_live(conn))
            lower_mean(conn);
        flood_send_check(conn);
        return 1;
    }
    return 0;
}

void flood_release(Connection* conn)
{
    FloodState* st = flood_state(conn);
    if (!st || conn->flood_check_out || !st->queue)
        return;
    std::string line;
    while (st->queue && line.empty()) {
        StringNode* head = st->queue;
        if (is_automatic(head)) {
            std::size_t blank = head->text.find(' ');
            if (blank != std::string::npos)
                line = head->text.substr(blank + 1);
        } else {
            line = head->text;
        }
        st->queue = strlist_free_node(head);
        st->size = st->queue ? std::max(0, st->size - 1) : 0;
    }
    if (line.empty())
        return;
    irc_send_line(line, kLineFlood, conn);
    st = flood_state(conn);
    if (!st || !st->queue || conn->flood_check_out)
        return;
    const int limit = budget();
    const int mean = link_state(conn).mean_line_length;
    if (conn->flood_budget < limit) {
        if (mean < limit || mean == 0) {
            post_continue(conn);
            return;
        }
        lower_mean(conn);
    }
    flood_send_check(conn);
}

int flood_check_reply(const std::string& text, Connection* conn)
{
    if (text != "FLOODCHECK" || !conn_is_live(conn))
        return 0;
    conn->flood_check_out = 0;
    conn->flood_check_seconds = 0;
    conn->flood_budget = 0;
    flood_release(conn);
    return 1;
}

void flood_tick(Connection* conn)
{
    if (!opt(OPT_FLOOD_REPORT_QUEUE))
        return;
    FloodState* st = flood_state(conn);
    if (!st)
        return;
    ++st->tick_counter;
    const int size = st->size;
    if (size == st->last_reported || (st->tick_counter < 10 && st->last_reported != 0))
        return;
    st->tick_counter = 0;
    st->last_reported = size;
    char text[kMediumTextSize];
    std::snprintf(text, sizeof text, text_load_string(2451), size);
    QWidget* window = nullptr;
    if (WindowRecord* active = win_record_of(win_active.get())) {
        if ((active->type == kWinChannel || active->type == kWinQuery) && active->conn == conn)
            window = active->hwnd.get();
    }
    if (!window)
        window = link_status_window(conn);
    flood_print(window, {text}, 1);
}

void flood_clear(Connection* conn, int counters)
{
    FloodState* st = flood_state(conn);
    if (!st)
        return;
    strlist_free(&st->queue);
    st->size = 0;
    if (!counters)
        return;
    st->tick_counter = 0;
    st->last_reported = 0;
    conn->flood_check_out = 0;
    conn->flood_check_seconds = 0;
    conn->flood_budget = 0;
    link_state(conn).mean_line_length = 0;
}

void irc_flood_install()
{
    irc_link_stage.add_once(g_stage_listener, kStageFlood, flood_stage);
}

void irc_flood_uninstall()
{
    irc_link_stage.drop(g_stage_listener);
}

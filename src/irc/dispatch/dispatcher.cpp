#include "irc/dispatch/dispatcher.h"

#include <cctype>
#include <cstring>
#include <unordered_map>

#include "model/connection.h"
#include "core/text_buffer.h"
#include "core/files.h"
#include "core/text_limits.h"
#include "model/colors.h"
#include "model/line_buffer.h"
#include "irc/dispatch/membership.h"
#include "irc/dispatch/messages.h"
#include "irc/dispatch/modes.h"
#include "irc/dispatch/outgoing_notes.h"
#include "irc/dispatch/server_commands.h"
#include "irc/link/send_queue.h"
#include "irc/link/traffic_log.h"
#include "irc/lists/notify_list.h"
#include "irc/numerics/isupport.h"
#include "irc/numerics/logon.h"
#include "irc/numerics/numerics.h"
#include "irc/numerics/query_replies.h"
#include "script/eval/conditions.h"
#include "script/events/event_index.h"
#include "script/stores/timers.h"

namespace {

const std::string kEmpty;



// Fills the fields events read from the words.
void fill_event_line(IrcMessage& msg)
{
    EventLine& l = msg.line;
    l.raw = msg.raw;
    l.nick = irc_word(msg, 0);
    l.address = msg.has_address ? msg.address : std::string();
    l.source = msg.has_address ? l.nick + "!" + l.address : l.nick;
    l.command = irc_word(msg, 1);
    l.params.clear();
    for (int i = 2; i <= msg.last_word && i < static_cast<int>(msg.words.size()); ++i)
        l.params.push_back(msg.words[i]);
    l.text = msg.trailing_word > 0 ? irc_word(msg, msg.trailing_word) : std::string();
    // Channel events are matched against their channel ("on *:KICK:#chan:").
    if (text_equal_nocase(l.command, "JOIN") || text_equal_nocase(l.command, "PART") || text_equal_nocase(l.command, "KICK") || text_equal_nocase(l.command, "TOPIC")) {
        l.target = irc_word(msg, 2);
        if (text_equal_nocase(l.command, "JOIN")) l.target = l.target.substr(0, l.target.find('\x07'));
    }
}

// Word 0 is dropped and the rest move down by one.
void shift_down(IrcMessage& msg)
{
    if (msg.words.empty()) return;
    msg.words.erase(msg.words.begin());
    msg.last_word = msg.last_word > 0 ? msg.last_word - 1 : 0;
    msg.trailing_word = msg.trailing_word > 0 ? msg.trailing_word - 1 : 0;
}

void shift_up(IrcMessage& msg, const std::string& first)
{
    if (static_cast<int>(msg.words.size()) >= kIrcMaxWords - 1) msg.words.pop_back();
    msg.words.insert(msg.words.begin(), first);
    msg.last_word = static_cast<int>(msg.words.size()) - 1;
    if (msg.trailing_word > 0) msg.trailing_word = std::min(msg.trailing_word + 1, msg.last_word);
}

void set_word(IrcMessage& msg, int index, const std::string& text)
{
    if (index >= kIrcMaxWords - 1) return;
    if (static_cast<int>(msg.words.size()) <= index) msg.words.resize(static_cast<std::size_t>(index) + 1);
    msg.words[static_cast<std::size_t>(index)] = text;
}

void cut_words(IrcMessage& msg, int count)
{
    if (static_cast<int>(msg.words.size()) > count) msg.words.resize(static_cast<std::size_t>(count));
    msg.last_word = static_cast<int>(msg.words.size()) - 1;
    if (msg.last_word < 0) msg.last_word = 0;
    if (msg.trailing_word > msg.last_word) msg.trailing_word = 0;
}

// Runs a command's handler; the command is word `at` (1, or 0 on lines
// answered from their first parameter on). Lines short of the entry's
// parameters are dropped.
void run_entry(IrcMessage& msg, const ServerMessage& entry, int at)
{
    if (static_cast<int>(msg.words.size()) - 1 - at < entry.min_params) return;
    if (entry.flags & kSenderSeen) {
        notify_sender_seen(msg, at + entry.min_params);
        if (!conn_is_live(msg.connection)) return;
    }
    entry.handler(msg);
}

std::string current_nick(Connection* conn)
{
    int idx = conn->nick_index;
    if (idx == 1) return conn->live_identity[3];
    return conn->live_identity[2];
}

}  // namespace

void irc_status_echo(Connection* conn, int colour, const std::string& text)
{
    if (!conn) return;
    // Status lines are stamped by the same rule as channel text.
    print_options.timestamp = 1;
    echo_line(timer_status_window(conn), text, static_cast<std::uint32_t>(colour));
}

int irc_fire_raw(IrcMessage& msg, const std::string& word)
{
    if (!event_switch_raw) return 1;
    msg.out_text = word;
    return event_fire(msg.connection, nullptr, &msg.line, msg.out_text, kEvRaw, 0, nullptr, nullptr);
}

const std::string& irc_word(const IrcMessage& msg, int index)
{
    if (index < 0 || index >= static_cast<int>(msg.words.size())) return kEmpty;
    return msg.words[static_cast<std::size_t>(index)];
}

bool irc_has_word(const IrcMessage& msg, int index)
{
    return index >= 0 && index < static_cast<int>(msg.words.size());
}

std::string irc_words_from(const IrcMessage& msg, int index)
{
    std::string out;
    for (int i = index < 0 ? 0 : index; i < static_cast<int>(msg.words.size()); ++i) {
        if (i > index && i > 0) out += ' ';
        out += msg.words[static_cast<std::size_t>(i)];
        if (out.size() >= kLongText) {
            out.resize(kLongText);
            break;
        }
    }
    return out;
}

int irc_timeout_value() { return conn_timeout_seconds; }

void irc_message_tokenize(IrcMessage& msg)
{
    msg.words.clear();
    msg.last_word = 0;
    msg.trailing_word = 0;
    const std::string& raw = msg.raw;
    std::size_t i = 0;
    while (i < raw.size() && raw[i] == ' ') ++i;
    if (i < raw.size() && raw[i] == ':') {
        ++i;
        while (i < raw.size() && raw[i] == ' ') ++i;
    }
    msg.word_text = raw.substr(i, kLongText);
    const std::string& t = msg.word_text;
    std::size_t p = 0;
    std::size_t start = 0;
    for (;;) {
        while (p < t.size() && t[p] != ' ') ++p;
        msg.words.push_back(t.substr(start, p - start));
        if (p >= t.size()) break;
        while (p < t.size() && t[p] == ' ') ++p;
        if (p >= t.size()) break;
        if (static_cast<int>(msg.words.size()) >= kIrcMaxWords - 1) break;  // table full
        msg.last_word = static_cast<int>(msg.words.size());
        if (t[p] == ':') {
            msg.words.push_back(t.substr(p + 1));
            msg.trailing_word = msg.last_word;
            break;
        }
        start = p;
    }
    msg.last_word = static_cast<int>(msg.words.size()) - 1;
}

void irc_on_unknown(IrcMessage& msg)
{
    Connection* conn = msg.connection;
    if (event_switch_raw) {
        msg.out_text = irc_word(msg, 1);
        if (!irc_fire_raw(msg, msg.out_text)) return;
        if (!conn_is_live(conn)) return;
    }
    if ((conn->server_flags & kServerIrcx) && text_equal_nocase(irc_word(msg, 1), "DATA")) return;
    msg.out_text = irc_words_from(msg, 0);
    irc_status_echo(conn, static_cast<int>(kColorNormalText), msg.out_text);
}

void irc_on_numeric(IrcMessage& msg)
{
    if (!conn_is_live(msg.connection)) return;
    if (const NumericReply* entry = irc_numeric_entry(msg)) entry->handler(msg);
    else numeric_show_default(msg);
}

void irc_dispatch_line(const std::string& received, Connection* connection)
{
    // A received line is text: it ends at its first NUL byte.
    const std::string line = received.substr(0, received.find('\0'));
    if (line.empty() || !connection || !conn_is_live(connection)) return;
    if (connection->debug_flags) debug_log_line(line, 1, connection);

    IrcMessage msg;
    msg.connection = connection;
    msg.raw = line.substr(0, kLongText);
    irc_message_tokenize(msg);
    print_options_clear();
    connection->timeout_countdown = irc_timeout_value();

    std::size_t lead = line.find_first_not_of(' ');
    const bool has_source = lead != std::string::npos && line[lead] == ':';
    if (!has_source) {
        const std::string cmd = irc_word(msg, 0);
        const char c = static_cast<char>(std::tolower(static_cast<unsigned char>(cmd.empty() ? 0 : cmd[0])));
        const ServerMessage* entry = irc_server_message(text_equal_nocase(cmd, "ERROR:") ? "ERROR" : cmd);
        if (entry && (entry->flags & kSourceDropped)) {
            fill_event_line(msg);
            run_entry(msg, *entry, 0);
            return;
        } else if (text_equal_nocase(cmd, "CREATE") && (connection->server_flags & kServerIrcx)) {
            std::string channel = irc_word(msg, 1);
            std::string ident = connection->live_identity[0];
            std::size_t at = ident.find('@');
            std::string user = at == std::string::npos ? ident : ident.substr(0, at);
            msg.source_text = current_nick(connection) + "!" + user + "@" + connection->server_name;
            msg.words.assign({msg.source_text, "JOIN", channel});
            msg.last_word = 2;
            msg.trailing_word = 0;
        } else if (text_equal_nocase(cmd, "NOTICE")) {
            std::string text = msg.trailing_word > 0 ? irc_word(msg, msg.trailing_word) : std::string();
            msg.nick_text = current_nick(connection);
            msg.source_text = connection->server_name;
            msg.words.assign({msg.source_text, "NOTICE", msg.nick_text, text});
            msg.last_word = 3;
            msg.trailing_word = 3;
        } else if (text_equal_nocase(cmd, "PONG")) {
            std::string text = msg.trailing_word > 0 ? irc_word(msg, msg.trailing_word) : std::string();
            std::string from = irc_word(msg, 1);
            msg.source_text = connection->server_name;
            msg.words.assign({msg.source_text, "PONG", from, text});
            msg.last_word = 3;
            msg.trailing_word = 3;
        } else if (c == 'c' || c == 'e' || c == 'n' || c == 'p') {
            // handled from its first parameter on
        } else if (!connection->server_name.empty()) {
            shift_up(msg, connection->server_name);
        }
    } else if (const ServerMessage* entry = irc_server_message(irc_word(msg, 1));
               entry && (entry->flags & kSourceDropped)) {
        // A PING or ERROR with a source is the same request: answer it the same way.
        shift_down(msg);
        fill_event_line(msg);
        run_entry(msg, *entry, 0);
        return;
    }

    if (msg.words.size() < 2) return;

    std::string& src = msg.words[0];
    std::size_t bang = src.find('!');
    if (bang != std::string::npos &&
        !((connection->server_flags & kServerIrcx) && isupport_is_chantype(src.c_str(), connection))) {
        msg.address = src.substr(bang + 1);
        msg.has_address = true;
        src.resize(bang);
    }

    const std::string& cmd = msg.words[1];
    int numeric = 0;
    for (char ch : cmd) {
        if (!std::isdigit(static_cast<unsigned char>(ch))) break;
        if (numeric < 100000) numeric = numeric * 10 + (ch - '0');
    }
    msg.numeric = numeric;
    fill_event_line(msg);
    if (numeric > 0) {
        irc_on_numeric(msg);
        msg.has_dcc_file_text = false;
        return;
    }

    const ServerMessage* entry = irc_server_message(cmd);
    if (entry && !(entry->flags & kSourceDropped)) run_entry(msg, *entry, 1);
    else irc_on_unknown(msg);
    msg.has_dcc_file_text = false;
}

// Helpers shared with the command handlers.
void irc_message_set_word(IrcMessage& msg, int index, const std::string& text) { set_word(msg, index, text); }
void irc_message_cut_words(IrcMessage& msg, int count) { cut_words(msg, count); }


namespace {
int g_created_listener = 0;
}  // namespace

void irc_dispatch_install()
{
    conn_created.add_once(g_created_listener, kCreatedIsupport, conn_set_isupport_defaults);
    numerics_install();
    // isop, ishop, isvoice, isowner and the events' "@" lines read the ranks.
    cond_register_rank_tests(chan_nick_has_rank, chan_nick_has_prefix);
}

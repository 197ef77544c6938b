#include "irc/dispatch/server_commands.h"
#include "irc/lists/ignore_list.h"

#include <cctype>
#include <initializer_list>

#include "model/connection.h"
#include "irc/link/conn_tick.h"
#include "model/window_record.h"
#include "core/text_buffer.h"
#include "core/numbered_texts.h"
#include "core/options.h"
#include "core/text_limits.h"
#include "model/colors.h"
#include "model/line_buffer.h"
#include "model/tip_events.h"
#include "irc/dispatch/captions.h"
#include "irc/dispatch/dispatcher.h"
#include "irc/dispatch/modes.h"
#include "irc/link/connect.h"
#include "irc/link/flood.h"
#include "irc/lists/address_list.h"
#include "irc/numerics/isupport.h"
#include "irc/link/send_queue.h"
#include "script/exec/executor.h"
#include "script/events/event_index.h"
#include "script/stores/timers.h"

namespace {



// Fills the "%s" of a numbered text in order.

void show(Connection* conn, std::uint32_t colour, const std::string& text)
{
    irc_status_echo(conn, static_cast<int>(colour), text);
}

// Raw event for the IRCX commands; 0 when halted.
int ircx_raw(IrcMessage& msg)
{
    if (!event_switch_raw) return 1;
    return irc_fire_raw(msg, irc_word(msg, 1));
}

bool is_channel_name(const std::string& s, Connection* conn)
{
    return isupport_is_chantype(s.c_str(), conn) != 0;
}

}  // namespace

int irc_fire_event(IrcMessage& msg, const char* word, int id, int phase)
{
    if (!event_switch_events) return 1;
    // A new event on the same line starts unhalted; its after phase sees
    // what its before phase left.
    if (phase == 1) msg.event_halt = 0;
    return event_fire(msg.connection, nullptr, &msg.line, word, id, phase, &msg.event_halt, nullptr);
}

int irc_run_plain(Connection* conn, const std::string& command)
{
    if (!conn || !conn_is_live(conn)) return 0;
    return script_exec_plain_command(timer_status_window(conn), command, conn, 1);
}

int (*irc_join_allowed)(const std::string&, Connection*) = nullptr;
std::string (*irc_chanfolder_key)(Connection*, const std::string&) = nullptr;

// ERROR :text (with or without a source; the handler sees "ERROR" as word 0)
void irc_on_error(IrcMessage& msg)
{
    Connection* conn = msg.connection;
    int go = irc_fire_event(msg, "ERROR", kEvError, 1);
    if (!conn_is_live(conn)) return;
    if (irc_has_word(msg, 1)) {
        // The link's retry reads this: the next attempt waits a minute.
        if (text_lower_copy(irc_words_from(msg, 1)).find("throttled") != std::string::npos) link_state(conn).throttled = 1;
    }
    if (go) {
        const std::string& first = irc_word(msg, 1);
        const bool closing = first.size() >= 13 && text_lower_copy(first.substr(0, 13)) == "closing link:";
        msg.out_text = irc_words_from(msg, closing ? 1 : 0);
        print_options.timestamp = 1;
        show(conn, kColorInfo2Text, msg.out_text);
    }
    if (!conn_is_live(conn)) return;
    irc_fire_event(msg, "ERROR", kEvError, 0);
}

// PING :token (with or without a source; the handler sees "PING" as word 0)
void irc_on_ping(IrcMessage& msg)
{
    Connection* conn = msg.connection;
    // The answer goes out first, whatever a script does with the event.
    if (irc_has_word(msg, 1)) irc_send_line("PONG :" + msg.words[1].substr(0, kMediumText) + "\n", 0, conn);
    else irc_send_line("PONG\n", 0, conn);
    if (!conn_is_live(conn)) return;
    int go = irc_fire_event(msg, "PING", kEvPing, 1);
    if (!conn_is_live(conn)) return;
    if (go && !opt(OPT_HIDE_PING_PONG)) {
        std::string text;
        text_load_string(3573, &text);
        show(conn, kColorInfo2Text, text);
    }
    if (!conn_is_live(conn)) return;
    irc_fire_event(msg, "PING", kEvPing, 0);
}

// :server PONG server :token
// PONG server :token (without a source: from the connection's server)
void irc_on_pong(IrcMessage& msg)
{
    Connection* conn = msg.connection;
    const std::string text = irc_word(msg, 3);
    if (conn_timeout_probe(&text, conn)) return;
    if (flood_check_reply(text, conn)) return;
    if (msg.has_address) return;
    int go = irc_fire_event(msg, "PONG", kEvPong, 1);
    if (!conn_is_live(conn)) return;
    if (go) {
        std::string out = text_fill_id(3529, {irc_word(msg, 0)});
        if (irc_has_word(msg, 3)) out += ": " + msg.words[3];
        show(conn, kColorInfoText, out);
    }
    if (!conn_is_live(conn)) return;
    irc_fire_event(msg, "PONG", kEvPong, 0);
}

// :nick!user@host INVITE me :#channel
void irc_on_invite(IrcMessage& msg)
{
    Connection* conn = msg.connection;
    const std::string inviter = irc_word(msg, 0);
    const std::string channel = msg.words[3];
    if (!is_channel_name(channel, conn) || channel.size() > kShortText) return;
    if (ignore_check_invite(inviter, msg.address, conn)) return;
    int go = irc_fire_event(msg, "INVITE", kEvInvite, 1);
    if (!conn_is_live(conn)) return;
    if (go) {
        std::string out = opt(OPT_SHOW_ADDRESSES) && msg.has_address
                              ? text_fill_id(3501, {inviter, msg.address, channel})
                              : text_fill_id(3502, {inviter, channel});
        show(conn, kColorInviteText, out);
        if (event_announce_wanted(TIPOPT_INVITE))
            tip_event.fire(TIPOPT_INVITE, {inviter, channel, std::string()}, 18, conn, nullptr);
    }
    if (!conn_is_live(conn)) return;
    irc_fire_event(msg, "INVITE", kEvInvite, 0);
    if (!conn_is_live(conn)) return;
    // An invitation names one channel: a comma list (where "0" would leave
    // every channel) is shown but neither kept nor joined.
    if (channel.find(',') != std::string::npos) return;
    irc_state(conn)->last_invite = channel;
    if (opt(OPT_JOIN_ON_INVITE) && (!irc_join_allowed || irc_join_allowed(channel, conn))) {
        std::string key = irc_chanfolder_key ? irc_chanfolder_key(conn, channel) : std::string();
        // The channel came from the server: the line runs as it stands.
        std::string command = key.empty() ? "/join " + channel : "/join " + channel + " " + key;
        irc_run_plain(conn, command);
    }
}

// :nick!user@host WALLOPS :text
void irc_on_wallops(IrcMessage& msg)
{
    Connection* conn = msg.connection;
    int go = irc_fire_event(msg, "WALLOPS", kEvWallops, 1);
    if (!conn_is_live(conn)) return;
    if (go) show(conn, kColorWallopsText, "!" + irc_word(msg, 0) + "! " + irc_words_from(msg, 2));
    if (!conn_is_live(conn)) return;
    irc_fire_event(msg, "WALLOPS", kEvWallops, 0);
}

// :server EVENT tag text ...
void irc_on_event(IrcMessage& msg)
{
    if (!ircx_raw(msg) || !conn_is_live(msg.connection)) return;
    print_options.timestamp = 1;
    show(msg.connection, kColorNoticeText,
         "-" + irc_word(msg, 0) + "- " + irc_words_from(msg, 3) + " (" + irc_word(msg, 2) + ")");
}

// :nick!user@host KNOCK #channel [reply-number]
void irc_on_knock(IrcMessage& msg)
{
    if (!ircx_raw(msg) || !conn_is_live(msg.connection)) return;
    std::string out = "* Knock: " + irc_word(msg, 0);
    static const struct { const char* code; int text; } kReasons[] = {
        {"471", 3565}, {"473", 3566}, {"474", 3567}, {"475", 3568}, {"556", 3571}};
    for (const auto& r : kReasons)
        if (irc_word(msg, 3) == r.code) out += " " + text_fill_id(r.text, {});
    show(msg.connection, kColorJoinText, out);
}

// :nick!user@host PROP target property [:value]
void irc_on_prop(IrcMessage& msg)
{
    const std::string prop = irc_word(msg, 3);
    if (text_equal_nocase(prop, "MEMBERKEY")) {
        std::string value = irc_word(msg, 4);
        if (!value.empty() && value[0] == ':') value.erase(0, 1);
        const bool set = value.find_first_not_of(' ') != std::string::npos;
        irc_message_set_word(msg, 1, "MODE");
        irc_message_set_word(msg, 3, set ? "+k" : "-k");
        irc_message_cut_words(msg, set ? 5 : 4);
        irc_on_mode_message(msg);
        return;
    }
    if (text_equal_nocase(prop, "TOPIC")) {
        irc_message_set_word(msg, 1, "TOPIC");
        if (irc_has_word(msg, 3)) {
            msg.words.erase(msg.words.begin() + 3);
            msg.last_word = static_cast<int>(msg.words.size()) - 1;
            if (msg.trailing_word > 3) --msg.trailing_word;
            else if (msg.trailing_word == 3) msg.trailing_word = 0;
        }
        irc_on_topic(msg);
        return;
    }
    if (!event_switch_raw) return;
    if (!irc_fire_raw(msg, "PROP") || !conn_is_live(msg.connection)) return;
    show(msg.connection, kColorNormalText, irc_words_from(msg, 0));
}

// :nick!user@host WHISPER #channel nick :text
void irc_on_whisper(IrcMessage& msg)
{
    if (!ircx_raw(msg) || !conn_is_live(msg.connection)) return;
    print_options.timestamp = 1;
    show(msg.connection, kColorActionText, "*" + irc_word(msg, 0) + "* whispers: " + irc_words_from(msg, 4));
}

void irc_note_away(const std::vector<std::string>& words, int index, Connection* conn, int strip_colon)
{
    if (!conn) return;
    std::string text;
    for (std::size_t i = index < 0 ? 0 : static_cast<std::size_t>(index); i < words.size(); ++i) {
        if (!text.empty()) text += ' ';
        text += words[i];
    }
    if (strip_colon && !text.empty() && text[0] == ':') text.erase(0, 1);
    conn->away_text = text.substr(0, kMediumText);
}

int irc_is_oper(Connection* conn)
{
    if (!conn || !conn_is_live(conn)) return 0;
    const std::string& m = conn->user_modes;
    if (m.find('o') != std::string::npos) return 1;
    if ((conn->server_flags & kServerOperModesAa) && (m.find('a') != std::string::npos || m.find('A') != std::string::npos))
        return 1;
    return 0;
}

// :nick!user@host TOPIC #channel :topic
// The channel window keeps the topic and shows the change; the caption
// follows it.
void irc_on_topic(IrcMessage& msg)
{
    Connection* conn = msg.connection;
    if (!conn_is_live(conn)) return;
    WindowRecord* rec = win_find_channel(irc_word(msg, 2), conn);
    if (!rec) return;
    const std::string sender = irc_word(msg, 0);
    if (msg.has_address && !msg.address.empty() && ial_shares_channel(sender, conn))
        ial_update(&sender, &msg.address, 0, conn);
    const std::string topic = irc_has_word(msg, 3) ? irc_word(msg, 3).substr(0, kMediumText) : std::string();
    rec->topic = topic;
    win_update_title(rec, nullptr);

    const int go = irc_fire_event(msg, "TOPIC", kEvTopic, 1);
    if (go && win_is_open(rec) && conn_is_live(conn)) {
        std::string line = topic.empty() ? text_fill_id(3535, {sender}) : text_fill_id(3534, {sender, topic});
        if (!text_equal_nocase(sender, conn_own_nick(conn)))
            msg.stripped_count = text_strip_codes(line, -1);
        print_options.timestamp = 1;
        echo_line(rec->hwnd.get(), line, kColorTopicText);
        if (event_announce_wanted(TIPOPT_CHAN_TOPIC))
            tip_event.fire(TIPOPT_CHAN_TOPIC, {sender, rec->name, topic}, 40, conn, rec);
    }
    if (conn_is_live(conn)) irc_fire_event(msg, "TOPIC", kEvTopic, 0);
}

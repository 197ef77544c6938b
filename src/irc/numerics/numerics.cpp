#include "irc/lists/servers.h"
#include "irc/numerics/numerics.h"

#include <cctype>
#include <cstdint>
#include <cstring>

#include "model/connection.h"
#include "irc/link/close.h"
#include "core/main_settings.h"
#include "core/text_buffer.h"
#include "core/options.h"
#include "core/text_limits.h"
#include "model/colors.h"
#include "model/line_buffer.h"
#include "irc/dispatch/channel_rejoin.h"
#include "irc/dispatch/dispatcher.h"
#include "irc/dispatch/server_software.h"
#include "irc/link/connect.h"
#include "irc/link/local_address.h"
#include "irc/lists/notify_list.h"
#include "irc/numerics/isupport.h"
#include "irc/numerics/logon.h"
#include "irc/numerics/replies.h"
#include "irc/services/ident.h"
#include "platform/app_messages.h"
#include "platform/platform_utils.h"
#include "script/stores/timers.h"
#include "irc/dispatch/captions.h"
#include "irc/link/send_queue.h"

namespace {

// Server-name fragments of the two networks whose servers run the software
// families of flags 0x04 and 0x01.
const char* const kNetworkFragmentU = "undernet.";
const char* const kNetworkFragmentD = "dal.";

std::string lower_text(std::string s)
{
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// Posts the logon sequence (WM_APP+62 with the connection) once this line
// is handled.
void post_logon(Connection* conn)
{
    post_app_message(WM_APP_LOGON_SEQUENCE, 0, reinterpret_cast<intptr_t>(conn));
}

intptr_t on_logon_message(uintptr_t, intptr_t lparam)
{
    Connection* conn = reinterpret_cast<Connection*>(lparam);
    if (conn && conn_is_live(conn)) conn_logon_sequence(conn);
    return 0;
}

std::string& nick_slot(Connection* conn, int index)
{
    if (index < 0 || index > 2) index = 0;
    return conn->live_identity[2 + index];
}

long leading_number(const std::string& s)
{
    long v = 0;
    std::size_t i = 0;
    bool neg = false;
    if (i < s.size() && s[i] == '-') { neg = true; ++i; }
    for (; i < s.size() && std::isdigit(static_cast<unsigned char>(s[i])); ++i)
        if (v < 100000000) v = v * 10 + (s[i] - '0');
    return neg ? -v : v;
}

// Raw event with the numeric's number; 0 when a script halted the default.
int raw_event(IrcMessage& msg)
{
    if (!event_switch_raw) return 1;
    msg.out_text = std::to_string(msg.numeric);
    return irc_fire_raw(msg, msg.out_text);
}

// The common pattern: raw event, then the text from a word.
void common(IrcMessage& msg, int from, int before, int after)
{
    if (!raw_event(msg)) return;
    if (!conn_is_live(msg.connection)) return;
    print_options.wrap_mode = 0;
    msg.out_text.clear();
    if (from == 3) msg.trailing_word = 3;
    int first = from > 0 ? from : msg.trailing_word;
    irc_show_words(msg, first, before, after, static_cast<int>(kColorNormalText));
}

}  // namespace

// Any numeric the table does not name:
// :server 999 me word :text            shown from word 3
// :server 999 :text                    shown from the trailing word
void numeric_show_default(IrcMessage& msg)
{
    if (irc_has_word(msg, 2) && irc_has_word(msg, 3)) common(msg, 3, 0, 0);
    else common(msg, 0, 0, 0);
}

// :server 002 me :Your host is server, running version x
void numeric_show_text(IrcMessage& msg)
{
    common(msg, 0, 0, 0);
}

// :server 381 me :You are now an IRC operator
void numeric_show_text_ruled(IrcMessage& msg)
{
    common(msg, 0, 1, 1);
}

// :server 251 me :There are 5 users and 2 services on 1 servers
void numeric_show_text_rule_before(IrcMessage& msg)
{
    common(msg, 0, 1, 0);
}

// :server 255 me :I have 5 clients and 0 servers
void numeric_show_text_rule_after(IrcMessage& msg)
{
    common(msg, 0, 0, 1);
}

// :server 200 me Link version destination next :text
void numeric_show_params(IrcMessage& msg)
{
    common(msg, 3, 0, 0);
}

// :server 421 me WORD :Unknown command
void numeric_show_params_ruled(IrcMessage& msg)
{
    common(msg, 3, 1, 1);
}

// :server 436 me nick :Nickname collision KILL (the raw event only)
void numeric_raw_only(IrcMessage& msg)
{
    raw_event(msg);
}

// :server 001 me :Welcome to the network me!user@host
void numeric_on_welcome(IrcMessage& msg)
{
    Connection* conn = msg.connection;
    IrcConnState* st = irc_state(conn);
    if (!(st->registration & 1)) {
        st->registration |= 1;
        conn->registered = 1;
        conn->connecting = 0;
        conn->ident_state = 0;
        conn->ident_address = -1;
        irc_link_activity.fire(0);
        st->nick_pending = st->nick_prompted = st->alt_nick_tried = 0;
        st->nick_settled = 1;
        link_state(conn).alternates.clear();
        if (irc_has_word(msg, 2) && !msg.words[2].empty())
            nick_slot(conn, conn->nick_index) = msg.words[2].substr(0, kShortText);
        // The server took the logon: counted, and remembered as recent.
        servers_record_success(conn->server_name, 1);
        servers_note_connected(conn);
        if (!conn_is_live(conn)) return;
        conn->server_name = irc_word(msg, 0).substr(0, kShortText);
        conn->network.clear();
        st->network_from_server = 0;
        if (irc_has_word(msg, 3) && irc_chanlist_network_from_welcome)
            irc_chanlist_network_from_welcome(msg.words[3], conn);
        if (!conn_is_live(conn)) return;
        // Our own address as the server sees it, from "nick!user@host".
        conn_learn_local_address(irc_has_word(msg, 3) ? &msg.words[3] : nullptr, 0, 1, conn);
        if (!conn_is_live(conn)) return;
        irc_update_title(conn);
        ident_logon_done(conn);
        if (!conn_is_live(conn)) return;
    }
    common(msg, 0, 1, 0);
}

// :server 004 me server version usermodes chanmodes
void numeric_on_server_info(IrcMessage& msg)
{
    Connection* conn = msg.connection;
    IrcConnState* st = irc_state(conn);
    if (!(st->registration & 2)) {
        st->registration |= 2;
        irc_detect_server_software(msg);
        const std::string server = lower_text(irc_word(msg, 0));
        if (server.find(kNetworkFragmentU) != std::string::npos) conn->server_flags |= kServerPlusChannels;
        else if (server.find(kNetworkFragmentD) != std::string::npos) conn->server_flags |= kServerPlain477;
        conn_set_isupport_defaults(conn);
        if (conn->network.empty() && irc_chanlist_network_from_info) irc_chanlist_network_from_info(msg);
        if (!conn_is_live(conn)) return;
        irc_update_title(conn);
    }
    if (!raw_event(msg)) return;
    if (!conn_is_live(conn)) return;
    print_options.wrap_mode = 0;
    msg.out_text.clear();
    msg.trailing_word = 3;
    irc_show_words(msg, 3, 1, 1, static_cast<int>(kColorNormalText));
}

// :server 005 me PREFIX=(ov)@+ CHANTYPES=# NETWORK=Net :are supported by this server
void numeric_on_isupport(IrcMessage& msg)
{
    Connection* conn = msg.connection;
    if (!irc_has_word(msg, 2)) {
        conn_set_isupport_defaults(conn);
        common(msg, 0, 0, 0);
        return;
    }
    isupport_parse_005(msg);
    if (!conn_is_live(conn)) return;
    conn_set_isupport_defaults(conn);
    irc_update_title(conn);
    common(msg, 3, 0, 0);
}

// :server 010 me other.server 6667 :Please use this server
void numeric_on_redirect(IrcMessage& msg)
{
    raw_event(msg);
    Connection* conn = msg.connection;
    if (!conn_is_live(conn)) return;
    // The stored server: the link's retry copies it to the live one and
    // goes there (the receive loop ends the link after this read).
    conn->stored_identity[5] = msg.words[3].substr(0, kShortText);
    std::string port = msg.words[4].substr(0, kShortText);
    if (leading_number(port) < 1) port = "6667";
    conn->stored_identity[9] = port;
    link_state(conn).redirect_pending = 1;
}

// :server 433 me nick :Nickname is already in use  (432 erroneous, 437 unavailable)
void numeric_on_nick_in_use(IrcMessage& msg)
{
    Connection* conn = msg.connection;
    // A refused channel name: a window still waiting for that join goes.
    if (irc_has_word(msg, 3)) {
        chan_close_waiting(irc_word(msg, 3), conn);
        if (!conn_is_live(conn)) return;
    }
    IrcConnState* st = irc_state(conn);
    int shown = 1;
    if (event_switch_raw) {
        if (st->nick_pending) st->nick_prompted = 1;
        shown = raw_event(msg);
        if (!conn_is_live(conn)) return;
        if (st->nick_pending && !st->nick_prompted) goto show;  // a script sent a new nick
        st->nick_prompted = 0;
    }
    if (st->nick_pending && !st->nick_prompted && !st->nick_settled) {
        const std::string alt = conn->live_identity[3];
        if (!st->alt_nick_tried) {
            st->alt_nick_tried = 1;
            const bool slot_ok = conn->nick_index == 0 || (conn->nick_index == 2 && opt(OPT_THIRD_NICK_SLOT));
            if (slot_ok && !alt.empty() && alt != nick_slot(conn, conn->nick_index)) {
                if (conn->nick_index == 0) conn->nick_index = 1;
                else nick_slot(conn, 2) = alt;
                irc_send_line("NICK " + alt + "\n", 0, conn);
                irc_update_title(conn);
                goto show;
            }
        }
        // Both nicks taken: the user is asked for another.
        st->nick_prompted = 1;
        irc_update_title(conn);
        beep_repeat_timer(0);
        if (shown) irc_nick_prompt.fire(conn);
        if (!conn_is_live(conn)) return;
    }
show:
    if (!shown || !conn_is_live(conn)) return;
    print_options.wrap_mode = 0;
    msg.out_text.clear();
    msg.trailing_word = 3;
    irc_show_words(msg, 3, 1, 1, static_cast<int>(kColorNormalText));
}

// :server 375 me :- server Message of the Day -
void numeric_on_motd_start(IrcMessage& msg)
{
    Connection* conn = msg.connection;
    IrcConnState* st = irc_state(conn);
    if (st->logon_pending) st->logon_pending = 2;
    if (!raw_event(msg) || !conn_is_live(conn)) return;
    std::string text = irc_words_from(msg, 3);
    std::size_t i = 0;
    while (i < text.size() && text[i] == '-') ++i;
    while (i < text.size() && text[i] == ' ') ++i;
    text = text.substr(i);
    if (text.empty()) return;
    std::size_t blank = text.find(' ');
    if (blank == std::string::npos) return;
    std::string server = text.substr(0, blank);
    std::size_t t = text.find_first_not_of(' ', blank);
    if (t == std::string::npos) return;
    std::string title = text.substr(t);
    std::size_t dash = title.find(" -");
    if (dash != std::string::npos && dash + 3 >= title.size()) title.resize(dash);
    std::string out = title + ", " + server;
    if (opt(OPT_SKIP_MOTD)) irc_status_show(conn, static_cast<int>(kColorNormalText), out, 1, 0);
    else irc_status_echo(conn, static_cast<int>(kColorNormalText), out);
}

// :server 372 me :- a line of the message of the day  (377 the same)
void numeric_on_motd_line(IrcMessage& msg)
{
    Connection* conn = msg.connection;
    if (!raw_event(msg) || !conn_is_live(conn)) return;
    if (irc_state(conn)->logon_pending == 2 && opt(OPT_SKIP_MOTD)) return;
    print_options.wrap_mode = 0;
    irc_status_show(conn, static_cast<int>(kColorNormalText), irc_word(msg, msg.trailing_word), 0, 0);
}

// :server 376 me :End of /MOTD command.  (422 MOTD File is missing)
void numeric_on_motd_end(IrcMessage& msg)
{
    Connection* conn = msg.connection;
    IrcConnState* st = irc_state(conn);
    st->nick_pending = st->nick_prompted = st->alt_nick_tried = 0;
    st->nick_settled = 1;
    if (st->logon_pending) {
        st->logon_pending = 0;
        post_logon(conn);
    }
    if (!raw_event(msg) || !conn_is_live(conn)) return;
    irc_status_echo(conn, static_cast<int>(kColorNormalText), irc_word(msg, msg.trailing_word));
    irc_update_title(conn);
}

// :server 221 me +iw
void numeric_on_user_modes(IrcMessage& msg)
{
    Connection* conn = msg.connection;
    if (irc_has_word(msg, 3) && irc_word(msg, 2) == nick_slot(conn, conn->nick_index)) {
        const std::string text = ("[" + msg.words[3] + "]").substr(0, kShortText);
        conn->user_modes = text;
        irc_state(conn)->user_modes_text = text.size() > 3 ? text : std::string();
        irc_update_title(conn);
    }
    common(msg, 2, 1, 1);
}

// :server 265 me 5 9 :Current local users 5, max 9  (266 global)
void numeric_on_user_counts(IrcMessage& msg)
{
    if (!raw_event(msg) || !conn_is_live(msg.connection)) return;
    const bool local = msg.numeric == 265;
    std::string text;
    if (msg.last_word >= 5 && msg.trailing_word == 5 && text_is_digits(msg.words[3]) && text_is_digits(msg.words[4]))
        text = std::string(local ? "Current local  users: " : "Current global users: ") + msg.words[3] +
               "  Max: " + msg.words[4];
    else
        text = irc_word(msg, msg.trailing_word);
    irc_status_show(msg.connection, static_cast<int>(kColorNormalText), text, local ? 1 : 0, local ? 0 : 1);
}

// :server 650 me word :text of the services
void numeric_on_services_line(IrcMessage& msg)
{
    Connection* conn = msg.connection;
    IrcConnState* st = irc_state(conn);
    st->services_state = st->services_state == 0 ? 1 : 2;
    if (!raw_event(msg) || !conn_is_live(conn)) return;
    std::string text = std::string("\x16") + "Services Message (" + irc_word(msg, 0) + ") " + irc_words_from(msg, 3);
    print_options.timestamp = 1;
    irc_status_show(conn, static_cast<int>(kColorNormalText), text, st->services_state == 1, 0);
}

// :server 651 me :end of the services' text
void numeric_on_services_end(IrcMessage& msg)
{
    IrcConnState* st = irc_state(msg.connection);
    int was = st->services_state;
    st->services_state = 0;
    if (was) {
        raw_event(msg);
        return;
    }
    common(msg, 0, 0, 0);
}

// :server 800 me 1 0 ANON,NTLM 512 * :IRCX is supported
void numeric_on_ircx(IrcMessage& msg)
{
    Connection* conn = msg.connection;
    if (!(conn->server_flags & kServerIrcx)) {
        conn->server_flags |= kServerIrcx;
        conn_set_isupport_defaults(conn);
    }
    common(msg, 3, 0, 0);
}

// :server 211 me link sendq sent ... (a STATS line; the first of a reply
// has a separator before)
void numeric_on_stats_line(IrcMessage& msg)
{
    IrcConnState* st = irc_state(msg.connection);
    int first = !st->stats_shown;
    st->stats_shown = 1;
    common(msg, 3, first, 0);
}

// :server 219 me l :End of /STATS report
void numeric_on_stats_end(IrcMessage& msg)
{
    irc_state(msg.connection)->stats_shown = 0;
    common(msg, 4, 0, 1);
}

// :server 371 me :a line of INFO (the first of a reply has a separator before)
void numeric_on_info_line(IrcMessage& msg)
{
    IrcConnState* st = irc_state(msg.connection);
    int first = !st->info_shown;
    st->info_shown = 1;
    common(msg, 0, first, 0);
}

// :server 374 me :End of /INFO list.
void numeric_on_info_end(IrcMessage& msg)
{
    irc_state(msg.connection)->info_shown = 0;
    common(msg, 0, 0, 1);
}

void irc_status_show(Connection* conn, int colour, const std::string& text, int before, int after)
{
    if (!conn) return;
    QWidget* w = timer_status_window(conn);
    if (!w) return;
    if (before) print_separator(w, kColorInfoText);
    // Replies are stamped by the same rule as channel text.
    print_options.timestamp = 1;
    print_line(w, std::string_view(text), static_cast<std::uint32_t>(colour));
    if (after) print_separator(w, kColorInfoText);
}

Signal<void(Connection*)> irc_nick_prompt;
void (*irc_chanlist_network_from_welcome)(const std::string&, Connection*) = nullptr;
void (*irc_chanlist_network_from_info)(IrcMessage&) = nullptr;

void irc_update_title(Connection* conn)
{
    if (conn_is_live(conn)) conn_update_status_title(conn);
}

void irc_show_words(IrcMessage& msg, int first, int sep_before, int sep_after, int colour)
{
    if (first >= 0) {
        msg.out_text.clear();
        for (int i = first; i < static_cast<int>(msg.words.size()); ++i) {
            if (msg.words[static_cast<std::size_t>(i)].empty()) break;
            if (i > first) msg.out_text += ' ';
            msg.out_text += msg.words[static_cast<std::size_t>(i)];
            if (msg.out_text.size() >= kLongText) {
                msg.out_text.resize(kLongText);
                break;
            }
        }
    }
    if (msg.out_text.empty()) return;
    const bool notice = irc_word(msg, 1) == "NOTICE";
    irc_status_show(msg.connection, colour, msg.out_text, sep_before, sep_after || notice);
}

void numerics_install()
{
    static int load_listener = 0;
    settings_loaded.add_once(load_listener, kLoadPerform, [](SettingsLoad&) { perform_load(); });
    frame_set_handler(WM_APP_LOGON_SEQUENCE, on_logon_message);
}


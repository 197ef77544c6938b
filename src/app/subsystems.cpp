#include "app/subsystems.h"

#include <algorithm>

#include <QWidget>

#include "app/command_line.h"
#include "app/connection.h"
#include "app/external_request.h"
#include "app/frame_proc.h"
#include "app/startup.h"
#include "app/window_open.h"
#include "app/window_record.h"
#include "core/files.h"
#include "core/ini.h"
#include "core/main_settings.h"
#include "core/time_date.h"
#include "display/colors.h"
#include "extensions/irc_links.h"
#include "display/editbox.h"
#include "display/fonts.h"
#include "display/input_procs.h"
#include "display/nick_list.h"
#include "display/tab_complete.h"
#include "display/text_area.h"
#include "core/options.h"
#include "commands/channel_commands.h"
#include "commands/connection_switch_commands.h"
#include "commands/messaging_commands.h"
#include "commands/script_file_commands.h"
#include "identifiers/regex_identifiers.h"
#include "irc/dispatch/automode.h"
#include "irc/dispatch/captions.h"
#include "irc/dispatch/channel_rejoin.h"
#include "irc/dispatch/dispatcher.h"
#include "irc/dispatch/membership.h"
#include "irc/dispatch/messages.h"
#include "irc/dispatch/modes.h"
#include "irc/link/connect.h"
#include "irc/link/flood.h"
#include "irc/link/lookups.h"
#include "irc/link/net_settings.h"
#include "irc/lists/address_list.h"
#include "irc/lists/ban_lists.h"
#include "irc/lists/notify_list.h"
#include "irc/lists/user_lists.h"
#include "irc/numerics/isupport.h"
#include "irc/numerics/logon.h"
#include "irc/numerics/replies.h"
#include "platform/platform_utils.h"
#include "script/events/event_fire.h"
#include "script/events/event_index.h"
#include "script/events/remote_files.h"
#include "script/exec/alias_lookup.h"
#include "script/script_wiring.h"
#include "script/exec/executor.h"
#include "script/exec/script_hooks.h"
#include "script/stores/alias_files.h"
#include "script/stores/regex.h"
#include "script/stores/timers.h"
#include "script/stores/variables.h"

namespace {

// A line typed into a window's editbox: mode 0 (a command when it starts
// with the command character, else text for the window), 3 with Ctrl
// (always text).
int exec_typed_line(QWidget* window, const std::string& line, int mode, Connection* conn)
{
    if (line.empty())
        return 0;
    return script_exec_line(window, line.c_str(), nullptr, mode, nullptr, nullptr, conn);
}

// A /signal: the SIGNAL event with the signal's name and parameters as its
// text, tried first in the script that sent it.
void fire_signal(Connection* conn, const std::string& text, ScriptFile* script)
{
    EventSource source;
    source.first_script = script;
    source.text1 = text;
    event_fire(conn, nullptr, nullptr, "SIGNAL", 57, 0, nullptr, &source);
}

// An event line marked "$": its match text is a regular expression.
int event_line_regex(std::string_view pattern, std::string_view text)
{
    if (!regex_is_delimited(pattern))
        return -1;
    return regex_match_text(text, pattern) > 0 ? 1 : 0;
}

// Connecting at start: a server, port and channels given on the command line
// or by an irc: link go with the request.
void start_connect(Connection* conn)
{
    if (!start_server.empty()) {
        irc_request_host = start_server;
        irc_request_port = start_port;
    }
    if (!start_channel.empty())
        irc_request_channels = start_channel;
    conn_begin_connect(conn);
}

// The protocol layer's state of a freed connection.
void forget_protocol_state(Connection* conn)
{
    irc_protocol_forget(conn);
    reply_state_forget(conn);
    automode_drop(conn);
    flood_forget(conn);
    chan_list_scan_forget(conn);
}

// The per-connection second: the delayed auto-join, then the delayed modes.
void protocol_tick(Connection* conn)
{
    conn_autojoin_tick(conn);
    automode_tick(conn);
}

// ---- Script events of the frame and the windows ----

int window_events_on()
{
    return opt(OPT_REMOTE_EVENTS) ? 1 : 0;
}

// The connection a window belongs to, else the current one.
Connection* event_conn_of(QWidget* window)
{
    Connection* conn = window ? conn_of_window(window) : nullptr;
    return conn ? conn : conn_current();
}

void fire_start(int event_id)
{
    script_fire_load_start(event_id, nullptr, 0);
}

void fire_exit(Connection* conn)
{
    event_fire(conn, nullptr, nullptr, "EXIT", kEvExit, 0, nullptr, nullptr);
}

// ACTIVE (a window) and APPACTIVE (none) from the frame's activation.
void fire_frame_event(int event_id, const char* name, QWidget* window)
{
    event_fire(event_conn_of(window), window, nullptr, name, event_id, 0, nullptr, nullptr);
}

// CLOSE: the before pass ("^" lines) and the normal pass.
void fire_close(Connection* conn, WindowRecord* rec, int pre)
{
    if (!win_is_record(rec))
        return;
    if (!conn_is_live(conn))
        conn = conn_current();
    event_fire(conn, rec->hwnd.get(), nullptr, "CLOSE", kEvClose, pre ? 1 : 0, nullptr, nullptr);
}

// INPUT: the line being submitted is the handlers' $1-; 0 when halted.
int fire_input(Connection* conn, QWidget* window, const std::string& line)
{
    EventSource source;
    source.text1 = line;
    return event_fire(conn, window, nullptr, "INPUT", kEvInput, 0, nullptr, &source);
}

// TABCOMP: the offered text is $1-; 0 when halted (the box stays as it is).
int fire_tabcomp(Connection* conn, QWidget* window, const std::string& text, int)
{
    EventSource source;
    source.text1 = text;
    return event_fire(conn, window, nullptr, "TABCOMP", kEvTabComp, 0, nullptr, &source);
}

// KEYDOWN and KEYUP of custom windows, with $keyval, $keychar and $keyrpt.
void fire_key(Connection* conn, QWidget* window, int up, int key, int character, int repeat)
{
    if (!window_events_on() || !event_has_handler(up ? kEvKeyUp : kEvKeyDown))
        return;
    EventSource source;
    source.key_value = key;
    source.key_char = character;
    source.key_repeat = repeat;
    event_fire(conn_is_live(conn) ? conn : event_conn_of(window), window, nullptr,
               up ? "KEYUP" : "KEYDOWN", up ? kEvKeyUp : kEvKeyDown, 0, nullptr, &source);
}

// Text typed without the command character goes out as the messaging
// commands send it (shown and logged as /say shows it).
int send_typed_text(QWidget* window, Connection* conn, const std::string& text, int send_kind)
{
    return chat_send_text(window, text, send_kind, conn);
}

// The online timer moved: every status window's caption shows it.
void refresh_status_captions()
{
    for (Connection* c = conn_list; c; c = c->next) {
        WindowRecord* rec = win_record_of(c->status_window.data());
        if (win_is_open(rec))
            win_update_title(rec, nullptr);
    }
}

// A list file too big to hold: the interpreter's memory error.
void report_list_file_error(const char* word, int kind)
{
    script_error(nullptr, {}, word ? word : "", kind);
}

void save_script_files()
{
    alias_files_save_list(2);
    remote_files_save_list(2);
    var_store_exit();
}

}  // namespace

int display_countdown_step()
{
    int busy = nicklist_countdown_step();
    for (WindowRecord* rec = win_list; rec; rec = rec->next) {
        if (rec->print_countdown > 0) {
            rec->print_countdown = std::max(0, rec->print_countdown - 100);
            if (rec->print_countdown > 0)
                busy = 1;
        }
    }
    return busy;
}

void app_install_subsystems()
{
    display_colours_install();
    display_install_hooks();
    display_input_install();
    frame_hooks().countdown_step = display_countdown_step;
    open_hooks.prepare_font = [](WindowRecord* rec) { font_ensure_window(rec); };

    // The script interpreter: its commands, identifiers and variable store
    // (script_engine_init installs the store), typed lines, plain text and
    // saving the variables at shutdown.
    script_engine_init();
    editbox_exec_line_hook = exec_typed_line;
    script_send_text = send_typed_text;
    startup_hooks.script_files_save = save_script_files;

    // Scripts from files: alias files, remote scripts with their events and
    // users, the script file commands, timers and signals.
    script_file_commands_register();
    alias_find_hook = alias_store_find;
    events_install();
    script_files_wire();
    timers_install();
    signal_event_fire = fire_signal;
    regex_install();
    event_regex_match = event_line_regex;

    // Script errors name their place: the line number and file among the
    // loaded alias and remote files.
    script_line_locate = script_line_place;

    // Server links and the protocol: connecting at start, the send path, the
    // receive loop, the dispatcher, numerics and the logon sequence.
    irc_link_install();
    irc_dispatch_install();
    irc_lookups_install();
    irc_nick_attempts_reset = irc_state_new_link;
    conn_hooks.protocol_tick = protocol_tick;
    conn_hooks.protocol_forget = forget_protocol_state;
    startup_hooks.conn_begin_connect = start_connect;
    main_settings_hooks.perform_load = perform_load;

    // Channels and conversations: membership, messages and modes, the
    // replies to queries, and the messaging and channel commands.
    irc_membership_install();
    irc_messages_install();
    irc_chat_commands_install();
    irc_rejoin_install();
    reply_close_waiting = chan_close_waiting;

    // Connecting and the identity: irc: links of the command line and of a
    // second start open through the link opener; other programs run
    // commands through the external requests; the ident and proxy
    // settings are read with the main settings.
    startup_hooks.dde_open_irc_link = [](const std::string& link, int from_outside) {
        dde_open_irc_link(link, from_outside);
    };
    frame_hooks().external_request = [](int message, uintptr_t wparam, std::string& text) {
        return frame_external_request(nullptr, message, wparam, text);
    };
    main_settings_hooks.ident_settings_load = ident_settings_load;
    main_settings_hooks.ProxySettings = proxy_settings_load;
    // /dns of a nick that the internal address list knows looks its host
    // up without asking the server.
    dns_nick_host = [](Connection* conn, const std::string& nick, std::string* host) {
        IalResult found;
        if (!ial_lookup(nick, found, conn))
            return 0;
        const std::size_t at = found.text.find('@');
        if (at == std::string::npos || at + 1 >= found.text.size())
            return 0;
        if (host)
            *host = found.text.substr(at + 1);
        return 1;
    };
    // The quit message and the full name of the logon are evaluated.
    irc_eval_text = [](const std::string& text, Connection* conn) {
        std::string out = text;
        ident_eval_text(link_status_window(conn), &out, nullptr, nullptr, 0, 0, -1, nullptr, conn);
        return out;
    };

    // Outgoing flood protection.
    irc_flood_install();

    // Core routines that need the layers above them: channel-type
    // characters in file names, the list-file memory error, the status
    // captions after the online timer moved.
    file_chantype_of = isupport_is_chantype;
    ini_report_script_error = report_list_file_error;
    online_time_refresh_titles = refresh_status_captions;

    // The per-channel and per-connection lists.
    irc_ban_lists_install();
    irc_user_lists_install();
    irc_notify_install();

    // Connection switching: /scid, /scon, $scid and $scon run commands and
    // read identifiers on other connections through the interpreter; the
    // online-time counters move each second for $online.
    connection_switch_register();
    scid_run_command = scid_run_line;
    scid_eval_identifier = scid_eval_text;
    scid_script_error = scid_report_error;
    conn_hooks.online_time_add = online_time_add;

    // Script events where the user meets them: START when the start is done,
    // EXIT at shutdown, ACTIVE and APPACTIVE from the frame's activation,
    // CLOSE of windows, INPUT of typed lines, TABCOMP of completions and the
    // keys of custom windows.
    startup_hooks.events_enabled = window_events_on;
    startup_hooks.script_fire_load_start = fire_start;
    startup_hooks.event_fire_exit = fire_exit;
    frame_hooks().events_enabled = window_events_on;
    frame_hooks().fire_event = fire_frame_event;
    open_hooks.close_event_enabled = window_events_on;
    open_hooks.close_event = fire_close;
    editbox_input_event_hook = fire_input;
    tabcomp_event_hook = fire_tabcomp;
    input_key_event_hook = fire_key;
}

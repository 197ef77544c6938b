#include "app/subsystems.h"

#include <QApplication>
#include <QMainWindow>
#include <QPointer>
#include <QScreen>

#include <algorithm>

#include <QWidget>
#include "app/child_window.h"
#include "app/command_line.h"
#include "model/connection.h"
#include "app/external_request.h"
#include "app/frame_proc.h"
#include "app/frame_window.h"
#include "app/font_dialog.h"
#include "app/links_window.h"
#include "display/log_prompts.h"
#include "platform/default_browser.h"
#include "app/ssl_prompts.h"
#include "app/startup.h"
#include "identifiers/ssl_identifiers.h"
#include "irc/link/identity_settings.h"
#include "irc/link/outgoing_charset.h"
#include "irc/link/proxy.h"
#include "irc/lists/servers.h"
#include "irc/link/net_settings.h"
#include "commands/server_commands.h"
#include "irc/services/ident.h"
#include "irc/ssl/ssl_api.h"
#include "irc/ssl/ssl_checks.h"
#include "irc/ssl/ssl_link.h"
#include "app/tick.h"
#include "app/window_open.h"
#include "app/window_ops.h"
#include "model/window_record.h"
#include "display/window_queries.h"
#include "core/files.h"
#include "core/ini.h"
#include "core/list_sort.h"
#include "core/main_settings.h"
#include "commands/channel_commands.h"
#include "commands/dns_commands.h"
#include "commands/buffer_commands.h"
#include "commands/output_commands.h"
#include "commands/messaging_commands.h"
#include "commands/script_file_commands.h"
#include "commands/play_queue.h"
#include "tools/play_center.h"
#include "core/encodings.h"
#include "core/options.h"
#include "core/time_date.h"
#include "core/wildcard.h"
#include "display/ansi.h"
#include "display/backgrounds.h"
#include "bars/toolbar_buttons.h"
#include "commands/toolbar_command.h"
#include "bars/notify_listeners.h"
#include "identifiers/toolbar_identifiers.h"
#include "model/colors.h"
#include "display/colours_dialog.h"
#include "display/draw.h"
#include "extensions/irc_links.h"
#include "app/link_request_dialog.h"
#include "display/editbox.h"
#include "display/find_text.h"
#include "display/flashing.h"
#include "display/fonts.h"
#include "display/function_keys.h"
#include "display/highlight.h"
#include "display/input_procs.h"
#include "model/line_buffer.h"
#include "display/line_marker.h"
#include "display/mouse_clicks.h"
#include "display/logging.h"
#include "display/nick_colours.h"
#include "display/nick_list.h"
#include "display/colour_widgets.h"
#include "display/tab_complete.h"
#include "display/text_area.h"
#include "display/printed_lines.h"
#include "display/text_marking.h"
#include "display/wrap.h"
#include "display/window_buffer.h"
#include "core/options.h"
#include "commands/channel_commands.h"
#include "commands/connection_switch_commands.h"
#include "commands/window_commands.h"
#include "commands/messaging_commands.h"
#include "commands/script_file_commands.h"
#include "identifiers/regex_identifiers.h"
#include "commands/file_commands.h"
#include "commands/filter_command.h"
#include "commands/timer_commands.h"
#include "commands/variable_commands.h"
#include "identifiers/builtin_identifiers.h"
#include "identifiers/store_identifiers.h"
#include "identifiers/timer_identifiers.h"
#include "irc/dispatch/automode.h"
#include "app/confirm.h"
#include "app/watcher_dialog.h"
#include "script/file_watcher.h"
#include "app/frame_layout.h"
#include "app/frame_menu.h"
#include "app/menu_lists.h"
#include "app/window_options.h"
#include "app/frame_look.h"
#include "app/frame_dde.h"
#include "app/irc_link_association.h"
#include "bars/tips.h"
#include "bars/tray_icon.h"
#include "commands/tip_commands.h"
#include "identifiers/tip_identifiers.h"
#include "app/mdi_arrange.h"
#include "app/popup_menus.h"
#include "commands/popup_commands.h"
#include "script/popups.h"
#include "irc/dispatch/captions.h"
#include "irc/dispatch/channel_rejoin.h"
#include "irc/dispatch/dispatcher.h"
#include "irc/dispatch/membership.h"
#include "irc/dispatch/messages.h"
#include "irc/ctcp/ctcp.h"
#include "irc/lists/ignore_list.h"
#include "commands/ctcp_commands.h"
#include "commands/user_list_commands.h"
#include "commands/flood_commands.h"
#include "commands/list_commands.h"
#include "commands/notify_commands.h"
#include "identifiers/address_identifiers.h"
#include "identifiers/ban_list_identifiers.h"
#include "irc/dispatch/modes.h"
#include "irc/dispatch/outgoing_notes.h"
#include "irc/dispatch/server_commands.h"
#include "irc/link/close.h"
#include "irc/link/connections.h"
#include "irc/link/connect.h"
#include "irc/link/flood.h"
#include "irc/link/local_address.h"
#include "irc/link/lookups.h"
#include "irc/link/net_settings.h"
#include "irc/link/send_queue.h"
#include "irc/lists/address_list.h"
#include "irc/lists/ban_lists.h"
#include "irc/lists/notify_list.h"
#include "irc/lists/user_lists.h"
#include "irc/numerics/isupport.h"
#include "irc/numerics/logon.h"
#include "irc/numerics/numerics.h"
#include "irc/numerics/query_replies.h"
#include "irc/numerics/replies.h"
#include "platform/platform_utils.h"
#include "script/events/event_fire.h"
#include "script/eval/conditions.h"
#include "identifiers/event_identifiers.h"
#include "script/events/event_index.h"
#include "script/events/remote_files.h"
#include "script/exec/alias_lookup.h"
#include "script/exec/executor.h"
#include "script/exec/script_hooks.h"
#include "script/exec/script_types.h"
#include "script/stores/alias_files.h"
#include "script/stores/binary_vars.h"
#include "script/stores/data_stores.h"
#include "script/stores/hash_tables.h"
#include "core/digest.h"
#include "core/encoding_idents.h"
#include "script/stores/regex.h"
#include "script/stores/timers.h"
#include "script/stores/variables.h"
#include "bars/switchbar.h"
#include "bars/treebar.h"
#include "commands/bar_commands.h"
#include "app/bar_docking.h"

// ---- Wiring of the subsystems (every production seam assignment) ----

// The window manager: status windows for connections, the windows of a
// freed connection, pending releases, closing every window at exit, the
// MDI client's refresh.
void app_wire_windows()
{
    conn_status_window_open = win_open_status_window;
    win_connections_install();
    child_window_install();
    win_request_open = win_open;
    win_request_message_window = win_open_message_window;
    win_request_close = win_close_request;
    printed_lines_install();
    line_cut_hooks.area_width = wrap_area_width;
    line_cut_hooks.cut = printed_line_cut;
}

// Colours: the items made at start and saved at exit, loaded with the settings, the windows' palette and background.
void app_wire_display_colours()
{
    colors_install();
}

// The toolbar: made with the frame; its buttons follow the connection, the
// remote switches, the notify list, the colours and the frame's bars;
// /toolbar and $toolbar.
void app_wire_toolbar()
{
    toolbar_command_register();
    bars_notify_install();
    toolbar_identifiers_register();
    toolbar_install();
}

// Fonts: the font settings of a target without a window, for the charset of
// the lines sent to it.
void app_wire_fonts()
{
    outgoing_target_font = font_of_target;
}

// Text areas: painting, the logged lines, the scripts' echo and output, information lines.
void app_wire_text_area()
{
    logging_install();
    script_echo_line = text_area_script_echo;
    output_print = text_area_output_print;
}

// Popup menus: the popup files with the main settings, the right-click
// menus of the windows and the MDI background, the commands picked in them,
// /load -p and /save -p.
void app_wire_popups()
{
    popup_files_install();
    popup_window_selection = popup_window_selection_text;
    popup_menus_install();
}

// Remote script events: the event identifiers, the scripts of lines, loading the remote files.
void app_wire_script_events()
{
    script_event_ident_value = event_ident_seam;
}

// Server links: the send path and closing, failing and retrying a link.
void app_wire_irc_link()
{
    server_commands_register();
}

// Host lookups: /dns.
void app_wire_irc_lookups()
{
    dns_commands_register();
}

// Outgoing flood protection: the gate, held lines and the check replies.
void app_wire_irc_flood()
{
    flood_commands_register();
}

// The dispatcher: auto-join, the request and reply lists, pending joins, outgoing notes.
void app_wire_irc_dispatch()
{
    // Both nicks in use at logon: the status window's input box asks for another.
    static int nick_prompt_listener = 0;
    irc_nick_prompt.add_once(nick_prompt_listener, 50, [](Connection* conn) {
        win_op_set_editbox(link_status_window(conn), "/nick ");
    });
}

// Channel membership: the automode queue, the status caption, the address list.
void app_wire_irc_membership()
{
    ial_identifiers_register();
}

// Ban, except and invite lists.
void app_wire_irc_ban_lists()
{
    ban_list_identifiers_register();
}

// User lists: USERHOST requests, protection and the list conditions.
void app_wire_irc_user_lists()
{
    list_commands_register();
}

// CTCP answers with their flood memory, the ignore list with its timed
// entries and the DCC file-type filter, the commands of both, and unknown
// command words (help files, then the server).
void app_wire_irc_ctcp()
{
    cmd_unknown = cmd_unknown_word;
    ctcp_commands_register();
    user_list_commands_register();
}

// The notify list.
void app_wire_irc_notify()
{
    notify_commands_register();
}

// Script data stores: hash tables, binary variables, file handles, text
// and ini files, compression and the file commands. The item timers run on
// the one-second tick, binary variables end with the run that made them,
// other identifiers read and fill binary variables by name, and everything
// is freed at shutdown.
void app_wire_data_stores()
{
    data_stores_install();
    file_commands_register();
    filter_command_register();
    play_queue_register();
    store_identifiers_register();
    // The play queue ends with its connection; a reply that a target does
    // not exist ends the requests for it.
    play_queue_install();
    play_center_install();
}

// Working with window text: marking with the mouse and copying, function
// keys, highlight and flashing.
void app_wire_text_work()
{
    textsel_install();
    // Highlight entries loaded with the settings; a matching line is
    // coloured and flashes its window.
    highlight_install();
    print_hooks.highlight_match = highlight_print_match;
    flash_install();
    output_hooks.flash = flash_request;
    // A window's lines to a file and back; logs read back into new windows.
    buffer_commands_register();
    // The line marker: moved after printed lines, drawn in its row, loaded
    // with the settings.
    marker_install();
    // Nick colours: the rules loaded and saved with the settings, asked by
    // the nick lists and message lines, recoloured by the ticks; /cnick and
    // $cnick.
    nick_colours_install();
    nicklist_colour_hook = cnick_colour_for;
    cnick_register();
    cnick_install();
    // The colours dialog from the frame's menu; $ansi2kest and $highlight;
    // the wheel's scroll requests; the in-view test; members listed again by
    // a NAMES reply keep the colours they showed.
    ansi_register();
    highlight_register();
    nicklist_saved_entry_hook = reply_names_saved_entry;
}

// The frame's menus, layout, placement, confirmations and language module.
void app_wire_frame()
{
    frame_layout_install();
    input_paste_confirm_hook = paste_confirm_lines;
}

// The main menu's lists (recent servers and channels, the channels folder,
// the open windows, the help files) and the options each window keeps for
// itself, set from its system menu.
void app_wire_menu_lists()
{
    window_options_install();
}

// The look: language and style settings, the screen's depth, resolution
// and colours, captions as the toolkit shows them, the frame's title, the
// bars' style and where a new desktop window takes the focus.
void app_wire_frame_look()
{
    frame_look_install();
    caption_get_hook = caption_get;
}

// Tips and the tray icon: the tip options read with the settings, the
// highlight tip, /tip, /tips, $tip and $tips, tips closed when their window
// is activated, and the tray icon that follows the frame's minimised state.
void app_wire_tips()
{
    tip_highlight_install();
    tips_install();
    tip_commands_install();
    tip_identifiers_install();
    tip_events_install();
    tray_activity_install();
    link_request_install();
}

// Windows in view and activated: beeps for windows out of view, /join,
// /query and /queryrn bringing a window up, away replies in the focused
// query, the nick list's auto-hide watching the pointer and the active
// window, the wheel's lines, the delete questions, and the irc: link handler
// registered at start.
void app_wire_window_view()
{
    win_focused_source = win_focused_window;
    log_hooks.confirm_delete = log_confirm_delete;
    file_trash_confirm = file_confirm_trash;
}

// SSL links: OpenSSL loaded at start and released at exit, a link closed
// with its socket, and the certificate and pass-phrase prompts.
void app_wire_ssl()
{
    ssl_prompt_hooks.cert_prompt = ssl_cert_prompt;
    ssl_prompt_hooks.passphrase_prompt = ssl_passphrase_prompt;
    ssl_identifiers_register();
}


// The mouse on the windows' text and lists: double-click commands loaded
// with the settings, hotlinks and list double-clicks; the watcher of the
// loaded script files, checked on the tick, asking before a reload and
// stopped at exit.
void app_wire_clicks()
{
    watcher_ask = watcher_ask_dialog;
    clicks_install();
}

// The window switchers: the switchbar and the treebar made with the frame,
// repainted and refreshed as windows open, close, change name, state or
// activity, the blinking on the frame's timer 124 started from the tick,
// the window list kept in the bars' order, and /switchbar and /treebar.
void app_wire_bars()
{
    switchbar_install();
    treebar_install();
    bars_window_events_install();
    bar_commands_install();
}

void app_install_subsystems()
{
    // The settings, the start-up and the window manager; the display:
    // colours, fonts, logs, the text areas' printers and the input of the
    // child windows.
    identity_settings_install();
    frame_window_install();
    startup_install();
    tick_install();
    app_wire_windows();
    app_wire_display_colours();
    app_wire_fonts();
    log_install();
    app_wire_text_area();
    display_input_install();
    nicklist_install();
    colour_widgets_install();
    child_widgets_install();
    app_wire_text_work();
    app_wire_clicks();

    // The script interpreter: its commands, identifiers and variable store
    // (script_engine_init installs the store), typed lines, plain text and
    // saving the variables at shutdown.
    script_engine_init();
    builtin_identifiers_install();
    variable_commands_register();
    output_commands_register();
    script_send_text = chat_send_text;

    // Scripts from files: alias files, remote scripts with their events and
    // users, the script file commands, timers and signals.
    script_file_commands_register();
    events_install();
    app_wire_script_events();
    app_wire_popups();
    timers_install();
    timer_commands_register();
    timer_identifiers_register();
    regex_install();
    app_wire_data_stores();

    // Server links and the protocol: connecting at start, the send path, the
    // receive loop, the dispatcher, numerics and the logon sequence.
    irc_link_install();
    app_wire_irc_link();
    irc_dispatch_install();
    app_wire_irc_dispatch();
    irc_lookups_install();
    app_wire_irc_lookups();

    // Channels and conversations: membership, messages and modes, the
    // replies to queries, and the messaging and channel commands.
    irc_membership_install();
    app_wire_irc_membership();
    irc_chat_commands_install();
    irc_rejoin_install();

    // Connecting and the identity: irc: links of the command line and of a
    // second start open through the link opener; other programs run
    // commands through the external requests; the ident and proxy
    // settings are read with the main settings.
    irc_links_install();

    // Outgoing flood protection.
    irc_flood_install();
    app_wire_irc_flood();

    // Core routines that need the layers above them: the list-file memory
    // error, the status captions after the online timer moved.
    captions_install();

    // The per-channel and per-connection lists.
    app_wire_irc_ban_lists();
    irc_user_lists_install();
    app_wire_irc_user_lists();
    irc_notify_install();
    app_wire_irc_ctcp();

    // Connection switching: /scid, /scon, $scid and $scon run commands and
    // read identifiers on other connections through the interpreter; the
    // online-time counters move each second for $online.
    connection_switch_register();

    // Script events where the user meets them: ACTIVE and APPACTIVE from
    // the frame's activation, CLOSE of windows, INPUT of typed lines, TABCOMP of completions and the
    // keys of custom windows.
    app_wire_irc_notify();
    app_wire_ssl();
    links_window_install();

    // Scripts act on windows: custom windows and their lines, clearing,
    // titles, logging, the raw-traffic copy of /debug (both directions, its
    // window and its filter identifier) and the URL list with its catcher.
    window_commands_install();
    url_catch_install();

    // Windows: the connection's message window of /echo -d, the log file's save dialog and the merged log put
    // in place; the desktop's default browser found at every start.
    log_hooks.merge_replace = log_merge_replace_target;
    default_browser_install();
    // Background pictures of the windows and of the area behind them.
    app_wire_toolbar();

    // The frame: its menu bar and commands, layout and modes, window
    // placement, the exit question, transparency and the language module.
    frame_menu_install();
    app_wire_frame();
    app_wire_menu_lists();
    app_wire_frame_look();
    app_wire_window_view();
    app_wire_tips();
    app_wire_bars();
}

#include "app/subsystems.h"

#include "app/child_widgets.h"
#include "app/child_window.h"
#include "app/confirm.h"
#include "app/frame_layout.h"
#include "app/frame_look.h"
#include "app/frame_menu.h"
#include "app/frame_window.h"
#include "app/link_request_dialog.h"
#include "app/links_window.h"
#include "app/popup_menus.h"
#include "app/ssl_prompts.h"
#include "app/startup.h"
#include "app/tick.h"
#include "app/watcher_dialog.h"
#include "app/window_open.h"
#include "app/window_ops.h"
#include "app/window_options.h"
#include "bars/notify_listeners.h"
#include "bars/switchbar.h"
#include "bars/tips.h"
#include "bars/toolbar_buttons.h"
#include "bars/tray_icon.h"
#include "bars/treebar.h"
#include "commands/bar_commands.h"
#include "dcc/dcc_dialogs.h"
#include "dcc/dcc_dialogs_trusted.h"
#include "dcc/download_folders.h"
#include "dcc/dcc_window.h"
#include "commands/buffer_commands.h"
#include "commands/channel_commands.h"
#include "commands/connection_switch_commands.h"
#include "commands/ctcp_commands.h"
#include "commands/dns_commands.h"
#include "commands/file_commands.h"
#include "commands/filter_command.h"
#include "commands/flood_commands.h"
#include "commands/list_commands.h"
#include "commands/messaging_commands.h"
#include "commands/notify_commands.h"
#include "commands/output_commands.h"
#include "commands/play_queue.h"
#include "commands/script_file_commands.h"
#include "commands/server_commands.h"
#include "commands/timer_commands.h"
#include "commands/tip_commands.h"
#include "commands/toolbar_command.h"
#include "commands/user_list_commands.h"
#include "commands/variable_commands.h"
#include "commands/window_commands.h"
#include "core/files.h"
#include "dcc/dcc_engine.h"
#include "dcc/dcc_offers.h"
#include "irc/link/proxy.h"
#include "dcc/dcc_chat.h"
#include "dcc/dcc_server.h"
#include "irc/ctcp/ctcp.h"
#include "display/ansi.h"
#include "display/draw.h"
#include "display/colour_widgets.h"
#include "display/flashing.h"
#include "display/draw.h"
#include "display/fonts.h"
#include "display/highlight.h"
#include "display/input_procs.h"
#include "display/line_marker.h"
#include "display/log_prompts.h"
#include "display/logging.h"
#include "display/mouse_clicks.h"
#include "display/nick_colours.h"
#include "display/nick_list.h"
#include "display/printed_lines.h"
#include "display/text_area.h"
#include "display/text_marking.h"
#include "display/window_queries.h"
#include "display/wrap.h"
#include "extensions/dialog_runtime.h"
#include "extensions/com_words.h"
#include "extensions/dde_client.h"
#include "extensions/dll_calls.h"
#include "extensions/irc_links.h"
#include "extensions/picture_windows.h"
#include "extensions/sockets.h"
#include "identifiers/address_identifiers.h"
#include "identifiers/ban_list_identifiers.h"
#include "identifiers/builtin_identifiers.h"
#include "identifiers/event_identifiers.h"
#include "identifiers/regex_identifiers.h"
#include "identifiers/ssl_identifiers.h"
#include "identifiers/store_identifiers.h"
#include "identifiers/timer_identifiers.h"
#include "identifiers/tip_identifiers.h"
#include "identifiers/toolbar_identifiers.h"
#include "irc/dispatch/captions.h"
#include "irc/dispatch/channel_rejoin.h"
#include "irc/dispatch/dispatcher.h"
#include "irc/dispatch/membership.h"
#include "irc/link/connect.h"
#include "irc/link/connections.h"
#include "irc/link/flood.h"
#include "irc/link/identity_settings.h"
#include "irc/link/lookups.h"
#include "irc/link/outgoing_charset.h"
#include "irc/lists/notify_list.h"
#include "irc/lists/user_lists.h"
#include "irc/numerics/replies.h"
#include "irc/ssl/ssl_checks.h"
#include "model/colors.h"
#include "model/line_buffer.h"
#include "model/nick_list.h"
#include "model/window_record.h"
#include "model/window_requests.h"
#include "platform/default_browser.h"
#include "script/events/event_fire.h"
#include "script/exec/executor.h"
#include "script/exec/script_hooks.h"
#include "script/exec/script_types.h"
#include "script/file_watcher.h"
#include "script/popups.h"
#include "script/stores/data_stores.h"
#include "script/stores/timers.h"
#include "tools/play_center.h"
#include "app/frame_proc.h"
#include "media/media_install.h"
#include "irc/link/close.h"
#include "media/sound_events.h"
#include "media/agent_settings.h"
#include "media/event_speech.h"
#include "media/sound_player.h"
#include "tools/update_check.h"
#include "tools/update_dialog.h"
#include "tools/log_viewer.h"
#include "tools/script_editor.h"
#include "tools/files_transfer.h"
#include "core/ini.h"
#include "app/frame_proc.h"
#include "script/stores/variables.h"
#include "tools/tool_lists.h"
#include "tools/address_book.h"
#include "tools/address_book_dialog.h"
#include "tools/url_list_window.h"
#include "irc/numerics/query_replies.h"
#include "irc/numerics/numerics.h"
#include "model/connection.h"
#include "tools/channels_list.h"
#include "tools/notify_window.h"
#include "tools/channels_folder.h"
#include "display/tab_complete.h"
#include "options/options_dialog.h"
#include "options/page_connect.h"
#include "options/options_pages.h"
#include "options/locks.h"
#include "options/setting_values.h"
#include "display/editbox.h"
#include "core/encoding_idents.h"
#include "irc/dispatch/server_commands.h"
#include "app/frame_proc.h"
#include "options/drag_drop.h"
#include "options/tool_dialogs.h"
#include "options/script_warning.h"
#include "script/events/remote_files.h"
#include "core/list_sort.h"

// ---- The composition: each subsystem's install, in start-up order, and the
// few function pointers through which a lower layer asks a higher one ----

// The window manager: status windows for connections, the windows of a freed
// connection, what the records ask of the windows, printed lines cut to the
// windows' width.
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

// The font of a target without a window, for the charset of lines sent to it.
void app_wire_fonts() { outgoing_target_font = font_of_target; }

// Text areas: the logged lines, the scripts' echo and output.
void app_wire_text_area()
{
    logging_install();
    script_echo_line = text_area_script_echo;
    output_print = text_area_output_print;
}

// Popup menus: the popup files, the windows' right-click menus, the list
// selection they read.
void app_wire_popups()
{
    popup_files_install();
    popup_window_selection = popup_window_selection_text;
    popup_menus_install();
}

// The event identifiers the evaluator asks.
void app_wire_script_events() { script_event_ident_value = event_ident_seam; }

// The protocol's commands and identifiers, and the nick asked for at logon.
void app_wire_irc_link() { server_commands_register(); }
void app_wire_irc_lookups() { dns_commands_register(); }
void app_wire_irc_flood() { flood_commands_register(); }
void app_wire_irc_dispatch() { window_ops_install(); }
void app_wire_irc_membership() { ial_identifiers_register(); }
void app_wire_irc_ban_lists() { ban_list_identifiers_register(); }
void app_wire_irc_user_lists() { list_commands_register(); }
void app_wire_irc_notify() { notify_commands_register(); }

// CTCP and the ignore list's commands, and command words nobody handles
// (help files, then the server).
void app_wire_irc_ctcp()
{
    cmd_unknown = cmd_unknown_word;
    ctcp_commands_register();
    user_list_commands_register();
}

// Working with window text: marking and copying, highlight and flashing,
// buffers to files, the line marker, nick colours, ANSI and $highlight, the
// colours a NAMES reply keeps.
void app_wire_text_work()
{
    textsel_install();
    highlight_install();
    print_hooks.highlight_match = highlight_print_match;
    flash_install();
    output_hooks.flash = flash_request;
    buffer_commands_register();
    marker_install();
    nick_colours_install();
    nicklist_colour_hook = cnick_colour_for;
    cnick_register();
    cnick_install();
    ansi_register();
    highlight_register();
    nicklist_saved_entry_hook = reply_names_saved_entry;
}

// The frame's layout and the paste question.
void app_wire_frame()
{
    frame_layout_install();
    input_paste_confirm_hook = paste_confirm_lines;
}

// Tips and the tray icon, the tip commands and identifiers, the irc: link
// question.
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

// The Notify List window follows the notify list.
void app_wire_notify_window()
{
    notify_window_install();
    notify_hooks.window_open = notify_window_show;
    notify_hooks.window_refresh = notify_window_rebuild;
    notify_hooks.window_close = notify_window_close;
    notify_hooks.window_activity = notify_window_mark_activity;
}

void app_install_subsystems()
{
    // The settings, start-up, the tick and the window manager; the display:
    // colours, fonts, logs, text areas, input, nick lists, window text.
    identity_settings_install();
    frame_window_install();
    startup_install();
    tick_install();
    app_wire_windows();
    colors_install();
    app_wire_fonts();
    log_install();
    app_wire_text_area();
    display_input_install();
    nicklist_install();
    colour_widgets_install();
    child_widgets_install();
    app_wire_text_work();
    watcher_ask = watcher_ask_dialog;
    clicks_install();

    // The interpreter: its commands, identifiers and variables; plain text
    // said through the messaging commands.
    script_engine_init();
    builtin_identifiers_install();
    variable_commands_register();
    output_commands_register();
    script_send_text = chat_send_text;

    // Scripts from files, events, popups, timers, regex, the data stores and
    // the play queue.
    script_file_commands_register();
    events_install();
    app_wire_script_events();
    app_wire_popups();
    timers_install();
    timer_commands_register();
    timer_identifiers_register();
    regex_install();
    data_stores_install();
    file_commands_register();
    filter_command_register();
    play_queue_register();
    store_identifiers_register();
    play_queue_install();
    play_center_install();

    // Server links and the protocol.
    irc_link_install();
    app_wire_irc_link();
    irc_dispatch_install();
    app_wire_irc_dispatch();
    irc_lookups_install();
    sockets_install();
    app_wire_irc_lookups();
    irc_membership_install();
    app_wire_irc_membership();
    irc_chat_commands_install();
    irc_rejoin_install();
    irc_links_install();
    dialogs_install();
    child_hooks.follow_current_conn = dialogs_follow_current_conn;
    picture_windows_install();
    open_hooks.picture_create = picture_create;
    draw_hooks.picture_paint = picture_paint;
    child_hooks.picture_grow = picture_grow;
    win_hooks.picture_free = picture_free;
    irc_flood_install();
    app_wire_irc_flood();
    captions_install();
    app_wire_irc_ban_lists();
    irc_user_lists_install();
    app_wire_irc_user_lists();
    irc_notify_install();
    app_wire_irc_ctcp();
    connection_switch_register();
    app_wire_irc_notify();
    ssl_prompt_hooks.cert_prompt = ssl_cert_prompt;
    ssl_prompt_hooks.passphrase_prompt = ssl_passphrase_prompt;
    ssl_identifiers_register();
    links_window_install();
    tool_lists_install();
    abook_open = abook_open_later;
    uwho_dialog_open = uwho_open;
    whois_view_hooks.is_target = abook_is_whois_target;
    whois_view_hooks.add = abook_whois_add;
    whois_view_hooks.end = abook_whois_end;
    app_wire_notify_window();
    irc_chanfolder_key = chanfolder_find_key;
    tabcomp_folder_channels_hook = chanfolder_channels;
    query_chanlist_entry = chanlist_add_reply_line;
    irc_chanlist_network_from_welcome = chanlist_network_from_welcome_text;
    irc_chanlist_network_from_info = chanlist_network_from_info;
    conn_chanlist_copy_filter = chanlist_copy_filter;

    // Scripts act on windows; the URL catcher; logs merged in place; the
    // desktop's browser; the toolbar.
    window_commands_install();
    url_list_window_install();
    log_hooks.merge_replace = log_merge_replace_target;
    default_browser_install();
    toolbar_command_register();
    bars_notify_install();
    toolbar_identifiers_register();
    toolbar_install();

    // The frame: menus, layout, lists, look, windows in view, tips, bars.
    frame_menu_install();
    app_wire_frame();
    window_options_install();
    frame_look_install();
    caption_get_hook = caption_get;
    win_focused_source = win_focused_window;
    log_hooks.confirm_delete = log_confirm_delete;
    file_trash_confirm = file_confirm_trash;
    app_wire_tips();
    switchbar_install();
    treebar_install();
    bars_window_events_install();
    bar_commands_install();

    // Scripts call routines of shared objects; the automation-object words;
    // requests to other programs' services.
    dll_calls_install();
    com_words_install();
    dde_client_install();
    startup_hooks.dll_free_all = dll_free_all;

    // The options dialog and its pages.
    options_dialog_install();
    page_connect_install();
    options_pages_install();
    startup_hooks.connect_dialog_open = options_open_at_start;
    irc_open_connect_options = options_open_for_identity;
    app_wire_locks();
    drag_drop_install();
    open_hooks.dragdrop_register = dragdrop_register;
    open_hooks.dragdrop_revoke = dragdrop_revoke;
    tool_dialogs_install();
    script_warning_install();
    remote_ask_init_warning = script_init_warning;
    winlist_order_hook = winlist_order;
    startup_hooks.about_box_open = about_box_at_start;

    // DCC transfers as the user sees them: download folders, the trusted
    // list, the accept dialogs.
    download_folders_install();
    trusted_install();
    dcc_dialogs_install();
    app_wire_dcc_windows();

    // DCC file transfers.
    dcc_transfers_install();
    ctcp_dcc_offer = dcc_on_ctcp_offer;
    proxy_dcc_hooks.owner_is_live = dcc_proxy_owner_is_live;
    proxy_dcc_hooks.hand_over = dcc_proxy_hand_over;
    proxy_dcc_hooks.announce_bind = dcc_proxy_announce_bind;
    proxy_dcc_hooks.fail = dcc_proxy_fail;
    app_wire_dcc_sessions();
}

// DCC chats, the file server and the DCC server.
void app_wire_dcc_sessions()
{
    dcc_chat_install();
    dcc_server_install();
    open_hooks.dccchat_window_opened = dccchat_window_opened;
    open_hooks.dccchat_close_window = dccchat_close_window;
    open_hooks.dccchat_still_live = dccchat_still_live;
    output_hooks.dcc_chat_window = dccchat_window_by_nick;

    // Sounds, the mixer, MP3 tags and speech.
    app_wire_media();
}

// The player's end of playback, and the sounds the other parts ask for.
void app_wire_media()
{
    media_install();
    frame_hooks().media_close = sound_end_close;
    frame_hooks().media_end_step = sound_end_step;
    print_hooks.play_sound = sound_entry_play;
    notify_hooks.play_file = [](const std::string& file, Connection* conn) { sound_entry_play(conn, file); };
    ctcp_sound_play = sound_request_play;
    irc_disconnect_notice = sound_disconnect_notice;
    notify_hooks.speech_tips = agent_notify_event;
    child_hooks.speech_on = agent_speech_on;

    // The update check and its dialog.
    update_check_install();
    update_dialog_install();
    logview_install();

    // The script editor with its find and replace.
    script_editor_install();
    startup_hooks.script_editor_open = script_editor_is_open;
    startup_hooks.script_editor_ask = script_editor_ask_close;
    startup_hooks.script_editor_ok = script_editor_close_ok;
    frame_hooks().is_tip_or_editor = script_editor_is_tip_or_editor;
    var_hooks.editor_shows_variables = script_editor_shows_variables;
    // The files and settings copier (run as "kest update<state file>").
    settings_startup_check = files_transfer_check;
}

// The DCC transfer windows: their controls, layout, painting and close.
void app_wire_dcc_windows()
{
    dcc_window_install();
    open_hooks.dccwin_create_controls = dccwin_create_controls;
    open_hooks.dcc_transfer_close_window = dcc_transfer_close_window;
    child_hooks.dccwin_layout = dccwin_relayout;
    font_hooks.dccwin_relayout = dccwin_relayout;
    draw_hooks.transfer_paint = dccwin_paint;
}

// The lock options: the start-up password, the running lock, the join
// gate, the locked editbox and $decode; the switches scripts read.
void app_wire_locks()
{
    locks_install();
    setting_values_install();
    startup_hooks.lock_load_settings = lock_options_load;
    frame_hooks().lock_password = lock_request;
    editbox_locked_hook = lock_program_locked;
    encode_decode_locked_hook = lock_decode_locked;
    irc_join_allowed = lock_join_gate;
    script_setting_value = options_setting_value;
}

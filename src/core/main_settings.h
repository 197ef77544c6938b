// The main settings file: the start-up load of every section into the
// program's globals and the first connection, the calls into every other
// part's own loader in their fixed order, and the savers, each of which
// writes one section back. The user lists (ignore, auto-op, auto-voice,
// protect) live in a second file, "control.ini" in the settings folder.
//
// This part knows nothing of windows or the connection record's layout: it
// reaches them through MainSettingsHooks, which start-up fills. A hook left
// null is a part that is not there; the load then skips that step.
#pragma once

#include <cstdint>
#include <string>

struct StringNode;
struct Connection;

// ---- Settings of other parts, kept here ----

// The file types accepted and ignored for DCC when the settings name none.
extern const char* const kDefaultDccAcceptTypes;
extern const char* const kDefaultDccIgnoreTypes;

struct MainSettings {
    // Section "files" (all absolute once loaded).
    std::string servers_file;     // the server list
    std::string urls_file;        // the URL list
    std::string addrbk_file;      // the address book
    std::string browser_path;     // found again at every start, never stored
    std::string trayicon_file;    // empty: the program's own icon
    std::string finger_file;      // the finger server's reply file; empty: none
    std::string chanfolder_file;  // the file that holds the channels folder list
    StringNode* url_list = nullptr;

    // Section "text" (the timestamp formats are time_stamp_format and
    // time_log_stamp_format of time_date.h).
    std::string default_port = "6667";
    std::string last_reset;       // when the total online time was last reset
    std::string app_title;
    std::string command_char = "/";
    StringNode* dcc_accept_types = nullptr;
    StringNode* dcc_ignore_types = nullptr;
    std::string line_separator = "-";
    std::string finger_text;
    std::string quit_message;

    // Section "fileserver" and the warnings.
    std::string fserve_home;      // ends in "/"; empty: not chosen
    std::string fserve_welcome;   // empty: none
    int warn_fserve = 1;
    int warn_dcc = 1;
    int warn_link = 1;
    int wizard_warning = 0;

    // Section "dirs" (absolute, ending in "/").
    std::string send_dir;
    std::string log_dir;
    std::string pics_dir;
    std::string waves_dir;
    std::string midis_dir;
    std::string mp3s_dir;
    std::string wmas_dir;
    std::string oggs_dir;
    std::string chans_dir;

    // Section "mode".
    int compact_mode = 0;

    // Section "language" (the display's "utf" and "multibyte" live in
    // lang_setting_utf and lang_setting_multibyte): convert incoming JIS to
    // Shift-JIS, and a multibyte-aware editbox.
    int lang_sjis = 0;
    int lang_mbed = 1;

    // "control.ini": the user lists, each entry in the user-list entry form.
    StringNode* ignore_list = nullptr;
    StringNode* aop_list = nullptr;
    StringNode* avoice_list = nullptr;
    StringNode* protect_list = nullptr;
};
extern MainSettings main_settings;

// The program's version text, written to "about"/"version".
extern const char* const kProgramVersionText;

// ---- Calls out ----

// The fields of a connection that the settings fill and save.
enum SettingsConnField : int {
    kConnStoredUser,
    kConnStoredEmail,
    kConnStoredNick,
    kConnStoredAnick,
    kConnStoredServer,
    kConnStoredDescription,
    kConnStoredGroup,
    kConnStoredPassword,
    kConnStoredPort,
    kConnCurrentNick,        // the nick in use (live identity)
    kConnStoredLocalHost,
    kConnStoredLocalIpText,
    kConnLocalHost,          // as resolved
    kConnLocalIpText,
};

// The main window as the saver of its placement needs it.
struct MainWindowPlacement {
    int hidden_in_tray = 0;      // hidden to the tray
    int visible = 1;
    int minimised = 0;
    int maximised = 0;
    int restores_maximised = 0;  // the placement restores to maximised
    // The window's rectangle.
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    // The normal (restored) rectangle.
    int normal_left = 0;
    int normal_top = 0;
    int normal_width = 0;
    int normal_height = 0;
};

struct MainSettingsHooks {
    // The connection list: its first record, the live test, and the record's
    // fields (null for a field it does not have). See
    // main_settings_bind_connection below.
    Connection* (*first_connection)() = nullptr;
    int (*conn_is_live)(const Connection* conn) = nullptr;
    std::string* (*conn_text)(Connection* conn, int field) = nullptr;
    std::uint32_t* (*conn_ip)(Connection* conn, int stored) = nullptr;

    // The command line's nick and alternative nick ("-n"); null or empty
    // when none was given.
    const std::string* start_nick = nullptr;
    const std::string* start_anick = nullptr;

    // Fills the connection's server fields from a server-list line.
    // Absent: settings_apply_server_entry.
    void (*conn_apply_server_entry)(const std::string& entry, Connection* conn) = nullptr;
    // Copies the stored identity into the live fields (mode 0).
    void (*conn_identity_copy)(int mode, Connection* conn) = nullptr;

    // The loaders of other parts, in the order the load calls them.
    void (*dcc_ports_load)() = nullptr;
    void (*shell_default_browser)() = nullptr;   // fills main_settings.browser_path
    void (*lang_settings_load)() = nullptr;
    void (*color_load)() = nullptr;
    void (*notify_load)(Connection* conn) = nullptr;
    void (*notify_options_load)() = nullptr;
    void (*ident_settings_load)() = nullptr;
    void (*win_events_load_default)() = nullptr;
    void (*clicks_load)() = nullptr;
    void (*dcc_nicks_load)() = nullptr;
    void (*sound_load_event_settings)() = nullptr;
    void (*chanlist_load_settings)() = nullptr;
    void (*ProxySettings)() = nullptr;
    void (*perform_load)() = nullptr;
    void (*dragdrop_load)() = nullptr;
    void (*dcc_extensions_load)() = nullptr;
    void (*dccserver_load_settings)() = nullptr;
    void (*highlight_load)() = nullptr;
    void (*marker_load)() = nullptr;
    void (*cnick_load)() = nullptr;
    void (*agent_load_settings)() = nullptr;
    void (*dcc_trusted_load)() = nullptr;
    void (*styles_load)() = nullptr;
    void (*options_order_load)() = nullptr;
    void (*layer_load_settings)() = nullptr;
    void (*tips_load_settings)() = nullptr;
    void (*servers_group_step)() = nullptr;
    void (*chanlist_copy_filter)(int direction, Connection* conn) = nullptr;
    // The script files; the last one's result is the load's result (absent: 1).
    int (*alias_files_load_all)() = nullptr;
    int (*popup_files_load_all)() = nullptr;
    int (*remote_files_load_all)() = nullptr;

    // The main window's state; 0 when there is none (nothing is saved).
    int (*main_window_placement)(MainWindowPlacement& out) = nullptr;
    // 1 while the Shift key is held down. Absent: never.
    int (*shift_key_down)() = nullptr;
};
extern MainSettingsHooks main_settings_hooks;

// ---- Load ----

// The start-up load of the main settings file, section by section, then the
// other parts' loaders. Runs once, after the settings location is fixed and
// the first connection exists. Returns the result of the last script-file
// loader (1 when there is none).
int settings_load_all();

// The four user lists: an older list still in the main file's sections
// "ignore", "autoop", "voice" or "protect" becomes the list, is saved into
// "control.ini" ("[ignore]", "[op]", "[voice]", "[protect]") and is then
// removed from the main file (only when that save worked). Otherwise the
// list is read from "control.ini".
void ini_load_user_lists();

// The full path of "control.ini".
std::string settings_control_ini_path();

// Fills the connection's stored server fields from a server-list line:
// description "SERVER:" host ":" ports [":" password] ["GROUP:" group]; an
// empty port list becomes "6667". Each field is cut at 256 characters.
void settings_apply_server_entry(const std::string& entry, Connection* conn);

// ---- Save ----

// "control.ini": bit 1 "[ignore]", 2 "[op]", 4 "[voice]", 8 "[protect]";
// 0 means all four.
void ini_save_user_lists(int flags);

// Section "kest" of the connection (the first one when it is not live;
// nothing when neither is): bit 1 "user" and "email", bit 2 "nick" and
// "anick", bit 4 "host"; 0 means all.
void ini_save_identity(int flags, Connection* conn);

// "senddir", "logdir", "pics", "waves", "midis", "mp3s", "wmas", "oggs" of
// section "dirs": each folder is first made valid (a folder that does not
// exist becomes the settings folder) and then written relative to the
// settings folder.
void ini_save_dirs();

// Section "text", then "servers", "trayicon", "finger", "urls" and "addrbk"
// of section "files" (relative to the settings folder).
void ini_save_text_settings();

// Section "local" from the connection's resolved local host, address text
// and address number when it is live and the number is not 0; otherwise the
// section is removed.
void ini_save_local_host(Connection* conn);

// "windows"/"main": left, width, top, height, state, and the stored line's
// sixth and seventh fields. State 3 (4 when it restores maximised) while
// hidden to the tray or while Shift is held; else 1 minimised, 2 maximised,
// 0 normal (then the window rectangle, otherwise the normal one).
void ini_save_main_window_pos();

// Frees the lists kept in main_settings (at exit).
void main_settings_free_lists();

// ---- Binding to the connection record ----

// Points the connection hooks at a record type that has the fields of the
// program's connection record. Called by start-up as
//     main_settings_bind_connection(&conn_list, conn_is_live);
template <class Conn>
void main_settings_bind_connection(Conn** head, int (*is_live)(const Conn*))
{
    static Conn** s_head = nullptr;
    static int (*s_is_live)(const Conn*) = nullptr;
    s_head = head;
    s_is_live = is_live;
    main_settings_hooks.first_connection = [] { return s_head ? *s_head : nullptr; };
    main_settings_hooks.conn_is_live = [](const Connection* c) {
        return s_is_live ? s_is_live(static_cast<const Conn*>(c)) : 0;
    };
    main_settings_hooks.conn_text = [](Connection* conn, int field) -> std::string* {
        Conn* c = static_cast<Conn*>(conn);
        switch (field) {
        case kConnStoredUser: return &c->stored_identity[0];
        case kConnStoredEmail: return &c->stored_identity[1];
        case kConnStoredNick: return &c->stored_identity[2];
        case kConnStoredAnick: return &c->stored_identity[3];
        case kConnStoredServer: return &c->stored_identity[5];
        case kConnStoredDescription: return &c->stored_identity[6];
        case kConnStoredGroup: return &c->stored_identity[7];
        case kConnStoredPassword: return &c->stored_identity[8];
        case kConnStoredPort: return &c->stored_identity[9];
        case kConnCurrentNick: return &c->live_identity[2];
        case kConnStoredLocalHost: return &c->stored_local_host;
        case kConnStoredLocalIpText: return &c->stored_local_ip_text;
        case kConnLocalHost: return &c->local_host;
        case kConnLocalIpText: return &c->local_ip_text;
        default: return nullptr;
        }
    };
    main_settings_hooks.conn_ip = [](Connection* conn, int stored) -> std::uint32_t* {
        Conn* c = static_cast<Conn*>(conn);
        return stored ? &c->stored_local_ip : &c->local_ip;
    };
}

// The main settings file: the start-up load of every section into the
// program's globals and the first connection, the calls into every other
// part's own loader in their fixed order, and the savers, each of which
// writes one section back. The user lists (ignore, auto-op, auto-voice,
// protect) live in a second file, "control.ini" in the settings folder.
//
// This part knows nothing of windows or the connection record: the other
// parts load and save their own settings as listeners of settings_loaded and
// settings_saving, each at its step (the first connection's identity, server
// and local host among them, and the main window's placement).
#pragma once

#include <string>

#include "core/signal.h"

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

// ---- The other parts' settings ----

// The load passed to the other parts' loaders.
struct SettingsLoad {
    Connection* first = nullptr;  // the first connection when it is live, else null
    int result = 1;               // the load's result: the remote files' loader sets it
};

// The steps of the start-up load where the other parts load their own
// settings, in the load's order. The steps marked "(here)" are the main
// settings' own and have no listener; a step marked "(connection)" runs only
// when there is a first connection.
enum SettingsLoadOrder {
    kLoadIdentity = 1,           // (connection) the first connection's identity
    kLoadServersFile = 2,        // (here) the server list's file
    kLoadFirstServer = 3,        // (connection) the first connection's server
    kLoadLocalHost = 4,          // (connection) the first connection's local host
    kLoadDccPorts = 10,          // the DCC ports
    kLoadDefaultServers = 15,    // the program's own server list when the file is missing
    kLoadFiles = 20,             // (here) the URL list, the address book
    kLoadBrowser = 30,           // the desktop's default browser
    kLoadSections = 40,          // (here) tray icon, texts, file server, folders, warnings
    kLoadLanguage = 50,          // the language and character-set settings
    kLoadColours = 60,           // the colours
    kLoadNotifyList = 70,        // (connection) the notify list of the first connection
    kLoadNotifyOptions = 80,     // the notify options
    kLoadOptionLines = 90,       // (here) the option lines
    kLoadIdent = 100,            // the ident server
    kLoadWindowEvents = 110,     // the per-window event settings
    kLoadClicks = 120,           // the double-click commands
    kLoadDccNicks = 130,         // the recent DCC nicks
    kLoadSounds = 140,           // the event sounds
    kLoadChannelsList = 150,     // the channels list
    kLoadProxy = 160,            // the proxy
    kLoadPerform = 170,          // the perform list
    kLoadDragDrop = 180,         // the drag-and-drop rules
    kLoadDccExtensions = 190,    // the file-type rules
    kLoadDccServer = 200,        // the DCC server
    kLoadHighlight = 210,        // the highlight list
    kLoadMarker = 220,           // the line marker
    kLoadNickColours = 230,      // the nick colours
    kLoadUserLists = 240,        // (here) the user lists
    kLoadAgent = 250,            // the agent
    kLoadTrusted = 260,          // the DCC trusted list
    kLoadStyles = 270,           // the visual style
    kLoadOptionsOrder = 280,     // the options order
    kLoadLayers = 290,           // the layered-window settings
    kLoadTips = 300,             // the tip options
    kLoadMode = 310,             // (here) compact mode
    kLoadIdentityCopy = 320,     // (connection) the live identity of the first connection
    kLoadServerGroup = 330,      // the server group
    kLoadChannelsFilter = 340,   // (connection) the channels-list filter
    kLoadVersion = 350,          // (here) the version
    kLoadAliasFiles = 360,       // the alias files
    kLoadPopupFiles = 370,       // the popup files
    kLoadRemoteFiles = 380,      // the remote files; sets the load's result
    kLoadEnd = 390,              // (here) the end of the load
};
extern Signal<void(SettingsLoad& load)> settings_loaded;

// The steps of settings_save_all where the other parts write their own
// settings, in its order; "(here)" marks the main settings' own.
enum SettingsSaveOrder {
    kSettingsSaveMainWindow = 10,        // the main window's placement
    kSettingsSaveColours = 20,           // the colours
    kSettingsSaveOptionLines = 30,       // (here) the option lines and section "text"
    kSettingsSaveNickColours = 40,       // the nick colours
    kSettingsSaveIdentity = 50,          // the identity of the first connection
    kSettingsSaveUserLists = 60,         // (here) the user lists
    kSettingsSaveTrusted = 70,           // the DCC trusted list
    kSettingsSaveDragDrop = 80,          // the drag-and-drop rules
};
extern Signal<void()> settings_saving;

// ---- Load ----

// The start-up load of the main settings file, section by section, then the
// other parts' loaders. Runs once, after the settings location is fixed and
// the first connection exists; `first` is that connection when it is live,
// else null (the steps marked "(connection)" are then skipped). Returns the
// result of the last script-file loader (1 when there is none).
int settings_load_all(Connection* first);

// The four user lists: an older list still in the main file's sections
// "ignore", "autoop", "voice" or "protect" becomes the list, is saved into
// "control.ini" ("[ignore]", "[op]", "[voice]", "[protect]") and is then
// removed from the main file (only when that save worked). Otherwise the
// list is read from "control.ini".
void ini_load_user_lists();

// The full path of "control.ini".
std::string settings_control_ini_path();

// A decimal number as the older files store it: leading blanks, an optional
// sign, digits up to the first other character; nothing gives 0.
long long settings_decimal(const std::string& text);

// ---- Save ----

// Every setting written at once (/saveini): the main window's placement, the
// colours, the option lines, section "text", the nick colours, the identity
// of the first connection and the user lists, each part at its step.
void settings_save_all();

// "control.ini": bit 1 "[ignore]", 2 "[op]", 4 "[voice]", 8 "[protect]";
// 0 means all four.
void ini_save_user_lists(int flags);

// "senddir", "logdir", "pics", "waves", "midis", "mp3s", "wmas", "oggs" of
// section "dirs": each folder is first made valid (a folder that does not
// exist becomes the settings folder) and then written relative to the
// settings folder.
void ini_save_dirs();

// Section "text", then "servers", "trayicon", "finger", "urls" and "addrbk"
// of section "files" (relative to the settings folder).
void ini_save_text_settings();

// "windows"/"main" from the main window's placement: left, width, top,
// height, state, and the stored line's sixth and seventh fields. State 3 (4
// when it restores maximised) while hidden to the tray or while Shift is
// held (`shift_held`); else 1 minimised, 2 maximised, 0 normal (then the
// window rectangle, otherwise the normal one).
void ini_save_main_window_placement(const MainWindowPlacement& p, bool shift_held);

// Frees the lists kept in main_settings (at exit).
void main_settings_free_lists();

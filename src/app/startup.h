// The spine of the process: the entry, initialisation before any setting is
// read, the window classes, the main frame and its first status window, the
// deferred start on the frame's first private message, the shutdown that
// closing the frame performs, and the release after the event loop ends.
#pragma once

#include "core/signal.h"

#include <QPointer>

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

class QWidget;
class QMainWindow;
class QMdiArea;
struct Connection;

// ---- Process-wide state ----

extern int app_starting;             // 1 from app_init until app_finish_startup
extern int app_exit_mode;            // 0 none, 1 exit, 2 restart, 3 exit after an update was downloaded (nothing is run)
extern std::mutex* ssl_lock;         // serialises the SSL layer's worker calls
extern std::uint64_t app_start_ms;   // millisecond counter at start-up
extern std::string app_command_shell;  // COMSPEC when it is "4DOS.COM", else empty (never here)
extern int app_error_mode;           // the error mode asked for (0x8001)
extern int app_ole_initialized;      // no COM on this platform: 0
extern int app_common_controls_level;  // 2: the widget toolkit is always there
// Optional system libraries by name, in the order they are freed at exit. None
// exists on this platform; each stays null and its features fall back.
constexpr int kOptionalLibraryCount = 11;
extern const char* const kOptionalLibraryNames[kOptionalLibraryCount];
extern void* app_optional_libraries[kOptionalLibraryCount];
extern int app_save_main_pos_flag;   // set: frame_shutdown does not save the placement
extern int app_connect_dialog_at_start;  // the connect dialog was opened by start-up
extern int app_registered_wheel_message;     // "MSWHEEL_ROLLMSG"
extern int app_registered_taskbar_message;   // "TaskbarCreated"
extern int app_hooks_installed;      // the dispatch filter is installed

// The frame and its MDI client; null when closed.
extern QPointer<QMainWindow> frame_window;
extern QPointer<QMdiArea> frame_mdi_client;

// ---- Window classes ----

// Registers class kind 1..14: 1 registered, 0 failed, 2 no such kind.
int app_register_class(int kind);
// The class name of a kind ("Kest", "Kest_Status", ...), or null; and its
// icon group.
const char* app_class_name(int kind);
int app_class_icon(int kind);
// 1 when the kind was registered.
int app_class_registered(int kind);

// ---- Accelerator tables 90 (frame) and 91 (script editor) ----

constexpr int kAccelAlt = 1;
constexpr int kAccelCtrl = 2;
struct Accelerator {
    int modifiers;  // kAccelAlt, kAccelCtrl or 0
    int key;        // virtual key: 'A'..'Z', 0x1B Esc
    int command;    // command id
};
// The table of a resource id (90 or 91); empty for any other.
const std::vector<Accelerator>& app_accelerator_table(int id);
// The command of a key in a table, or 0.
int app_accelerator_command(int id, int modifiers, int key);

// ---- Placement of the frame ----

struct FramePlacement {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
};
// The default rule for a work area of W by H: 3W/4 wide when W is at least
// 750, else 6W/7; 6H/7 high when H is at least 550, else 18H/19; centred.
FramePlacement frame_default_placement(int work_width, int work_height);

// How the frame is shown for a saved state (0 normal, 1 minimised, 2
// maximised, 3 in the tray, 4 in the tray restoring maximised).
enum FrameShowAction : int {
    kFrameShowCommand = 0,     // the show command given to the program
    kFrameShowMaximized = 1,
    kFrameShowMinNoActivate = 2,
    kFrameShowToTray = 3,      // minimised without activation, then hidden
};
struct FrameShowChoice {
    int create_maximised = 0;  // made maximised (restores maximised)
    int state = 0;             // the state after the tray rules
    int action = kFrameShowCommand;
};
// `tray_ok` says whether the tray icon can be added.
FrameShowChoice frame_choose_show(int saved_state, int start_in_tray, int minimise_to_tray, int tray_ok);

// The saved main placement: left, width, top, height, state, and the two
// further fields. 0 when nothing is saved.
int frame_load_main_position(int& left, int& width, int& top, int& height, int& state);

// ---- Start-up and shutdown ----

// The show command of the program (as given to app_run).
constexpr int kShowNormal = 1;

// The entry: runs the program on the application object that main made.
// Returns 0 always.
int app_run(int argc, char** argv, int show);
int app_init();
int app_init_common_controls();
// Installs Qt's own Turkish texts (standard buttons, the windows' system
// menus, file dialogs) from Qt's translations folder, once. 1 when they
// were found and installed.
int app_load_qt_translation();
int frame_create(int show);
int frame_install_hooks();
void frame_deferred_start();
void app_finish_startup();
void frame_shutdown();
// The release after the event loop (step 8 of the entry), then the restart or
// the update of the exit mode.
void app_release();

// The exit sequence of the frame: flags bit 0 closes without asking, bit 1
// restarts afterwards, bit 2 runs the downloaded update afterwards. 0 always.
int frame_close(int flags);
// 1 while the exit sequence runs.
extern int frame_close_guard;

// SIGTERM and SIGINT close the frame the orderly way (without asking).
int app_install_signal_handlers();
void app_remove_signal_handlers();

// Restarts the program after everything is released (exit mode 2): the
// program's own file with no parameters. Replaceable for tests.
extern void (*app_restart)();

// ---- Plug-in points ----

// Opens an irc: link (from outside 1, the command line's at start 1 too):
// the link opener listens on irc_link_open_asked.
void app_open_irc_link(const std::string& link, int flag);
extern Signal<void(const std::string& link, int flag)> irc_link_open_asked;
// 1 while an exit is under way.
int app_exit_under_way();

// The services the deferred start starts, in this order.
enum StartupOrder {
    kStartDde = 10,              // the DDE server from its settings
    kStartLinkAssociation = 20,  // irc: links registered to the program
    kStartSpeechAgent = 30,      // the speech agent probed
    kStartIdent = 40,            // the ident server, when it is on
    kStartFinger = 50,           // the finger server, when it is on
    kStartDccServer = 60,        // the DCC server, when it is on
};
extern Signal<void()> app_startup;

// The first half of the shutdown, after EXIT: what the windows hold is
// released, the windows are hidden, and the settings, lists and scripts are
// saved, in this order.
enum ShutdownSaveOrder {
    kSaveEditor = 10,            // the script editor closes with OK
    kSaveTrayTips = 20,          // pending tray and tip records
    kSaveSpeechAgent = 30,       // the agent's characters and settings
    kSaveVoice = 40,             // voice-command objects
    kSaveComObjects = 50,
    kSavePopup = 60,             // the current popup is discarded
    kSaveMainPosition = 70,      // unless app_save_main_pos_flag is set
    kSaveTrayIcon = 80,          // the tray icon is removed
    kSaveScriptDialogs = 90,     // every script dialog is destroyed
    kSaveHide = 100,             // the frame and every window are hidden
    kSaveWatcher = 110,          // the script-folder watcher stops
    kSaveOptions = 120,
    kSaveTextSettings = 130,
    kSaveIdentity = 140,
    kSaveFolders = 150,
    kSaveDde = 160,
    kSaveColours = 170,
    kSaveUrlList = 180,
    kSaveNickColours = 190,
    kSaveNotify = 200,
    kSaveTimedIgnores = 210,     // every timed ignore expires
    kSaveUserLists = 220,
    kSaveFileHandles = 230,      // script file handles close
    kSaveDllUnload = 240,        // every script DLL is asked to unload
    kSaveWindows = 250,          // every window closes, status windows last
    kSaveScriptFiles = 260,      // aliases, popups, variables, remote files
};
extern Signal<void()> shutdown_save;

// The second half: everything the program holds is freed and closed, in
// this order; then the frame goes.
enum ShutdownFreeOrder {
    kFreeMenus = 10,             // the frame's two menus
    kFreeScriptFiles = 20,       // alias, popup and remote file records
    kFreeTimers = 30,            // every script timer
    kFreeHighlights = 40,
    kFreeLookups = 50,           // pending name lookups are cancelled
    kFreeSettingsLists = 60,
    kFreeFlashing = 70,
    kFreeLinksAndDcc = 80,       // proxy links, DCC sends, gets and chats
    kFreeScriptSockets = 90,
    kFreeServices = 100,         // finger client, ident, finger and DCC servers
    kFreeMedia = 110,            // the sound and song devices
    kFreeFonts = 120,
    kFreeTheme = 130,            // the theme handles
};
extern Signal<void()> shutdown_free;

// The start-up's and the shutdown's own steps.
void startup_install();
void startup_uninstall();

// The services of the deferred start (the built ones: DDE, the irc: link
// association, the speech agent's probe, ident and finger), and their
// closing at exit (finger client, ident, finger server).
void app_start_services();
void app_close_services();

// The frame's bars, made while the frame is made: each bar listens at its
// place and answers true when it could not make its bar; the frame is not
// made then.
extern Signal<bool()> frame_bars_making;
enum BarMakingOrder {
    kMakeToolbar = 10,
    kMakeSwitchbar = 20,
    kMakeTreebar = 30,
};
// The tray icon asked for while the frame is shown (a start in the tray, or
// the icon always shown): true when a listener put it in the tray (a desktop
// without a tray has none).
extern Signal<bool()> frame_tray_adding;
enum TrayAddingOrder {
    kTrayAddingIcon = 50,
};

// Parts not built yet; null: absent (the default named beside each applies).
struct StartupHooks {
    int (*lock_load_settings)() = nullptr;   // absent: 1
    // About box (closing it calls app_finish_startup); absent: no box.
    void (*about_box_open)() = nullptr;
    void (*connect_dialog_open)() = nullptr;
    // The script editor: open?, asked to close (WM_APP+80), closed with OK.
    int (*script_editor_open)() = nullptr;
    void (*script_editor_ask)() = nullptr;
    void (*script_editor_ok)() = nullptr;
    void (*dll_free_all)() = nullptr;
};
extern StartupHooks startup_hooks;

// The names of the shutdown steps in the order they ran (for checks).
extern std::vector<std::string> shutdown_trace;

// The spine of the process: the entry, initialisation before any setting is
// read, the window classes, the main frame and its first status window, the
// deferred start on the frame's first private message, the shutdown that
// closing the frame performs, and the release after the event loop ends.
#pragma once

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
extern int app_exit_mode;            // 0 none, 1 exit, 2 restart, 3 run the downloaded update
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

// ---- Calls into other subsystems ----
// A null entry is an absent feature; the default named beside it applies.
// Opens an irc: link (from outside 1, the command line's at start 1 too).
void app_open_irc_link(const std::string& link, int flag);
// 1 while an exit is under way.
int app_exit_under_way();

struct StartupHooks {
    // Settings: the whole load (absent: nothing to load, 1), and the savers
    // called by the shutdown in this order.
    int (*settings_load_all)() = nullptr;
    void (*ini_save_main_window_pos)() = nullptr;
    void (*ini_save_options)() = nullptr;
    void (*ini_save_text_settings)() = nullptr;
    void (*ini_save_identity)(int flags, Connection* conn) = nullptr;
    void (*ini_save_dirs)() = nullptr;
    void (*ini_save_user_lists)(int flags) = nullptr;
    // Window manager.
    // These two replace the window manager's own (for checks).
    QWidget* (*open_status_window)(Connection* conn) = nullptr;
    void (*win_close_all)() = nullptr;
    void (*frame_layout)() = nullptr;
    void (*frame_menu_build)() = nullptr;
    void (*frame_menus_destroy)() = nullptr;
    // Bars and tray (absent: made, nothing shown; the tray icon cannot be added).
    int (*toolbar_create)() = nullptr;
    int (*switchbar_create)() = nullptr;
    int (*treebar_create)() = nullptr;
    int (*tray_add)() = nullptr;            // 1 when the tray icon was added
    void (*tray_remove)() = nullptr;
    void (*tray_tips_free)() = nullptr;
    void (*bg_init_mdi)() = nullptr;
    int (*start_in_tray)() = nullptr;       // option; absent 0
    int (*minimise_to_tray)() = nullptr;    // option; absent 1
    int (*tray_icon_always)() = nullptr;    // option; absent 1
    // Theme state of the frame; its handles closed at exit.
    void (*theme_prepare)() = nullptr;
    void (*theme_close)() = nullptr;
    void (*visual_styles_load)() = nullptr;
    // Script engine.
    void (*script_fire_load_start)(int event_id) = nullptr;
    int (*events_enabled)() = nullptr;
    void (*event_fire_exit)(Connection* conn) = nullptr;  // "EXIT" (24)
    void (*watcher_stop)() = nullptr;
    void (*script_files_save)() = nullptr;   // aliases, popups, variables, remote files
    void (*script_files_free)() = nullptr;
    void (*script_timers_remove_all)() = nullptr;
    void (*script_dialogs_destroy)() = nullptr;
    void (*script_editor_ok)() = nullptr;    // the editor is open: WM_COMMAND IDOK
    int (*script_editor_open)() = nullptr;
    void (*script_editor_ask)() = nullptr;   // WM_APP+80 to the editor
    void (*fhandle_close_all)() = nullptr;
    void (*dll_unload_request)() = nullptr;  // every DLL asked to unload
    void (*dll_free_all)() = nullptr;
    void (*com_free_all)() = nullptr;
    void (*popup_discard)() = nullptr;
    // Confirmation before exit (absent: yes).
    int (*frame_confirm_exit)(QWidget* window) = nullptr;
    // Language module, SSL library, lock.
    void (*lang_load)() = nullptr;
    void (*ssl_load_library)() = nullptr;
    void (*ssl_unload_library)() = nullptr;
    int (*lock_load_settings)() = nullptr;   // absent: 1
    void (*color_items_init)() = nullptr;
    // Services started by the deferred start.
    int (*dde_start)() = nullptr;
    void (*dde_stop)() = nullptr;
    void (*dde_save_settings)() = nullptr;
    void (*irc_link_association_check)() = nullptr;
    int (*ident_enabled)() = nullptr;
    int (*finger_enabled)() = nullptr;
    int (*dccserver_enabled)() = nullptr;
    // About box (closing it calls app_finish_startup); absent: no box.
    void (*about_box_open)() = nullptr;
    // Connecting.
    void (*dde_open_irc_link)(const std::string& link, int flag) = nullptr;
    void (*conn_begin_connect)(Connection* conn) = nullptr;
    void (*connect_dialog_open)() = nullptr;
    // The other savers and the frees of the shutdown.
    void (*agent_shutdown)() = nullptr;
    void (*voice_release)() = nullptr;
    void (*colours_save)() = nullptr;
    void (*url_save_list)() = nullptr;
    void (*cnick_save)() = nullptr;
    void (*notify_save)() = nullptr;
    void (*ignore_expire_timed)() = nullptr;
    void (*free_settings_lists)() = nullptr;
    void (*highlight_clear)() = nullptr;
    void (*dns_cancel_all)() = nullptr;
    void (*flash_free_all)() = nullptr;
    void (*close_links_and_dcc)() = nullptr;
    void (*sock_close_all)() = nullptr;
    void (*services_close)() = nullptr;      // finger client, ident, finger and DCC servers
    void (*media_close_all)() = nullptr;
    void (*fonts_free)() = nullptr;
    // The downloaded update (exit mode 3): its file, run with the program's path.
    std::string (*update_file_path)() = nullptr;
};
extern StartupHooks startup_hooks;

// The names of the shutdown steps in the order they ran (for checks).
extern std::vector<std::string> shutdown_trace;

// Start-up and shutdown of the process.
#include "app/startup.h"

#include "app/command_line.h"
#include "app/child_window.h"
#include "app/confirm.h"
#include "app/dispatch.h"
#include "app/frame_dde.h"
#include "app/frame_layout.h"
#include "app/frame_look.h"
#include "app/frame_menu.h"
#include "app/frame_proc.h"
#include "app/frame_window.h"
#include "app/irc_link_association.h"
#include "app/popup_menus.h"
#include "app/tick.h"
#include "app/window_open.h"
#include "display/window_queries.h"
#include "core/files.h"
#include "core/ini.h"
#include "core/main_settings.h"
#include "core/options.h"
#include "core/random.h"
#include "core/text_buffer.h"
#include "core/text_limits.h"
#include "core/time_date.h"
#include "display/backgrounds.h"
#include "display/flashing.h"
#include "display/fonts.h"
#include "display/highlight.h"
#include "display/nick_colours.h"
#include "irc/link/connect.h"
#include "irc/link/identity_settings.h"
#include "irc/link/lookups.h"
#include "irc/link/net_settings.h"
#include "irc/lists/ignore_list.h"
#include "irc/lists/notify_list.h"
#include "irc/services/finger.h"
#include "irc/services/ident.h"
#include "irc/ssl/ssl_api.h"
#include "irc/ssl/ssl_checks.h"
#include "model/colors.h"
#include "model/connection.h"
#include "irc/link/connections.h"
#include "model/window_record.h"
#include "platform/app_messages.h"
#include "platform/frame_timers.h"
#include "platform/local_ipc.h"
#include "platform/platform_utils.h"
#include "platform/sockets.h"
#include "script/events/event_fire.h"
#include "script/events/event_index.h"
#include "script/events/remote_files.h"
#include "script/file_watcher.h"
#include "script/popup_defaults.h"
#include "script/popups.h"
#include "script/stores/alias_files.h"
#include "script/stores/data_stores.h"
#include "script/stores/timers.h"
#include "script/stores/variables.h"
#include "irc/dispatch/captions.h"

#include <QApplication>
#include <QCursor>
#include <QEvent>
#include <QGuiApplication>
#include <QLibraryInfo>
#include <QMdiArea>
#include <QPointer>
#include <QScreen>
#include <QSocketNotifier>
#include <QThread>
#include <QTranslator>

#include <arpa/inet.h>
#include <csignal>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <iterator>
#include <unistd.h>

// ---- Process-wide state ----

int app_starting = 0;
int app_exit_mode = 0;
std::mutex* ssl_lock = nullptr;
std::uint64_t app_start_ms = 0;
std::string app_command_shell;
int app_error_mode = 0;
int app_ole_initialized = 0;
int app_common_controls_level = 0;
const char* const kOptionalLibraryNames[kOptionalLibraryCount] = {
    "user32.dll", "kernel32.dll", "riched20.dll", "msimg32.dll", "comctl32.dll", "uxtheme.dll",
    "iphlpapi.dll", "lang.dll", "dwmapi.dll", "comdlg32.dll", "HHCTRL.OCX",
};
void* app_optional_libraries[kOptionalLibraryCount] = {};
int app_save_main_pos_flag = 0;
int app_connect_dialog_at_start = 0;
int app_registered_wheel_message = 0;
int app_registered_taskbar_message = 0;
int app_hooks_installed = 0;
int frame_close_guard = 0;

QPointer<QMainWindow> frame_window;
QPointer<QMdiArea> frame_mdi_client;

StartupHooks startup_hooks;
std::vector<std::string> shutdown_trace;
Signal<void(const std::string& link, int flag)> irc_link_open_asked;
Signal<void()> app_startup;
Signal<void()> shutdown_save;
Signal<void()> shutdown_free;

Signal<bool()> frame_bars_making;
Signal<bool()> frame_tray_adding;

static void restart_by_exec();
void (*app_restart)() = restart_by_exec;

namespace {

// The wait cursor of start-up and shutdown.
int wait_cursor_depth = 0;

void wait_cursor_on()
{
    if (!qApp)
        return;
    QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
    ++wait_cursor_depth;
}

void wait_cursor_off()
{
    while (wait_cursor_depth > 0 && qApp) {
        QGuiApplication::restoreOverrideCursor();
        --wait_cursor_depth;
    }
}

void trace(const char* step) { shutdown_trace.emplace_back(step); }

// ---- Window classes ----

struct ClassRow {
    const char* name;
    int icon;
};
const ClassRow kClasses[14] = {
    {"Kest", 1},         {"Kest_Status", 4},  {"Kest_Channel", 5}, {"Kest_Query", 6},
    {"Kest_ChanList", 7}, {"Kest_Chat", 10},  {"Kest_Fserve", 11}, {"Kest_Finger", 12},
    {"Kest_Urls", 13},   {"Kest_Notify", 14}, {"Kest_Links", 15},  {"Kest_Custom", 17},
    {"Kest_Send", 8},    {"Kest_Get", 9},
};
bool class_registered[14] = {};

// ---- Accelerators ----

const std::vector<Accelerator> kAccel90 = {
    {kAccelAlt, 'E', 104}, {kAccelAlt, 'O', 159}, {kAccelAlt, 'J', 142}, {kAccelAlt, 'L', 150},
    {kAccelAlt, 'A', 200}, {kAccelAlt, 'D', 201}, {kAccelAlt, 'P', 202}, {kAccelAlt, 'R', 203},
    {kAccelAlt, 'G', 158}, {kAccelAlt, 'I', 157}, {kAccelAlt, 'K', 133}, {kAccelAlt, 'B', 156},
    {kAccelAlt, 'N', 131}, {kAccelAlt, 'U', 132}, {kAccelAlt, 'S', 151}, {kAccelAlt, 'C', 152},
    {kAccelAlt, 'Z', 176}, {kAccelAlt, 'X', 177},
};
const std::vector<Accelerator> kAccel91 = {
    {kAccelAlt, 'A', 330},  {kAccelAlt, 'D', 330},  {kAccelAlt, 'P', 331},  {kAccelAlt, 'R', 332},
    {kAccelAlt, 'U', 333},  {kAccelAlt, 'B', 334},  {kAccelCtrl, 'G', 423}, {kAccelCtrl, 'M', 426},
    {kAccelCtrl, 'H', 427}, {kAccelCtrl, 'L', 401}, {kAccelCtrl, 'S', 403}, {kAccelCtrl, 'F', 424},
    {0, 0x1B, 2},
};
const std::vector<Accelerator> kNoAccel;

// ---- Signals ----

int signal_pipe[2] = {-1, -1};
QSocketNotifier* signal_notifier = nullptr;
struct sigaction old_term_action;
struct sigaction old_int_action;

void on_signal(int)
{
    // Break a running script, then wake the event loop; the work is done there.
    key_break_note_signal();
    if (signal_pipe[1] >= 0) {
        char byte = 1;
        ssize_t written = ::write(signal_pipe[1], &byte, 1);
        (void)written;
    }
}

// ---- Frame handlers registered with the frame's message table ----

intptr_t on_deferred_start(uintptr_t, intptr_t)
{
    frame_deferred_start();
    return 0;
}

void on_tick_timer(int) { frame_tick(); }

} // namespace

void app_open_irc_link(const std::string& link, int flag)
{
    irc_link_open_asked.fire(link, flag);
}

int app_exit_under_way() { return app_exit_mode != 0 ? 1 : 0; }

namespace {

void start_connect(Connection* conn);

QRect work_area()
{
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen)
        return QRect(0, 0, 1024, 768);
    QRect r = screen->availableGeometry();
    if (r.isEmpty())
        r = screen->geometry();
    return r;
}

} // namespace

// ---- Classes and accelerators ----

int app_register_class(int kind)
{
    if (kind < 1 || kind > 14)
        return 2;
    class_registered[kind - 1] = true;
    return 1;
}

const char* app_class_name(int kind)
{
    return kind >= 1 && kind <= 14 ? kClasses[kind - 1].name : nullptr;
}

int app_class_icon(int kind)
{
    return kind >= 1 && kind <= 14 ? kClasses[kind - 1].icon : 0;
}

int app_class_registered(int kind)
{
    return kind >= 1 && kind <= 14 && class_registered[kind - 1] ? 1 : 0;
}

const std::vector<Accelerator>& app_accelerator_table(int id)
{
    if (id == 90)
        return kAccel90;
    if (id == 91)
        return kAccel91;
    return kNoAccel;
}

int app_accelerator_command(int id, int modifiers, int key)
{
    if (key >= 'a' && key <= 'z')
        key -= 'a' - 'A';
    for (const Accelerator& a : app_accelerator_table(id))
        if (a.modifiers == modifiers && a.key == key)
            return a.command;
    return 0;
}

// ---- Placement ----

FramePlacement frame_default_placement(int work_width, int work_height)
{
    FramePlacement p;
    p.width = work_width >= 750 ? 3 * work_width / 4 : 6 * work_width / 7;
    p.height = work_height >= 550 ? 6 * work_height / 7 : 18 * work_height / 19;
    p.left = (work_width - p.width) / 2;
    p.top = (work_height - p.height) / 2;
    return p;
}

FrameShowChoice frame_choose_show(int saved_state, int start_in_tray, int minimise_to_tray, int tray_ok)
{
    FrameShowChoice c;
    c.create_maximised = saved_state == 4 ? 1 : 0;
    c.state = (start_in_tray || saved_state == 4) ? 3 : saved_state;
    if (c.state == 1 || c.state == 3) {
        if ((minimise_to_tray || c.state == 3) && tray_ok)
            c.action = kFrameShowToTray;
        else
            c.action = kFrameShowMinNoActivate;
    } else if (c.state == 2) {
        c.action = kFrameShowMaximized;
    } else {
        c.action = kFrameShowCommand;
    }
    return c;
}

int frame_load_main_position(int& left, int& width, int& top, int& height, int& state)
{
    left = width = top = height = state = 0;
    std::string value;
    ini_read("windows", "main", "0,0,0,0,0,1,0", value, kLongTextSize, main_ini_path);
    int fields[7] = {0, 0, 0, 0, 0, 1, 0};
    const char* p = value.c_str();
    for (int i = 0; i < 7 && *p; ++i) {
        fields[i] = std::atoi(p);
        while (*p && *p != ',')
            ++p;
        if (*p == ',')
            ++p;
    }
    left = fields[0];
    width = fields[1];
    top = fields[2];
    height = fields[3];
    state = fields[4];
    if (left == 0 && width == 0 && top == 0 && height == 0)
        return 0;
    // A frame whose edge lies off the work area comes back at its edge.
    QRect area = work_area();
    if (area.width() > 0 && (left < area.left() - 10 || left > area.right() - 10))
        left = 0;
    if (area.height() > 0 && (top < area.top() - 10 || top > area.bottom() - 10))
        top = 0;
    return 1;
}

// ---- Initialisation ----

int app_init_common_controls()
{
    // The widget toolkit is always there.
    app_common_controls_level = 2;
    return 1;
}

int app_init()
{
    app_starting = 1;
    event_startup_hold = 1;  // no event runs before START
    app_exit_mode = 0;
    wait_cursor_on();
    app_error_mode = 0x8001;
    app_ole_initialized = 0;
    for (void*& lib : app_optional_libraries)
        lib = nullptr;
    rng_init();
    std::srand(static_cast<unsigned>(std::time(nullptr)));
    os_detect_version(nullptr);
    time_set_timezone();
    app_start_ms = time_ticks_ms();
    tick_reset_base();
    app_command_shell.clear();
    if (const char* shell = std::getenv("COMSPEC"); shell && text_equal_nocase(shell, "4DOS.COM"))
        app_command_shell = shell;

    if (!settings_locate())
        return 0;
    if (!cmdline_parse())
        return 0;
    // A save killed mid-write leaves its temporary file behind: clear them
    // away in the settings folder and the main settings file's folder.
    file_remove_stale_temps(settings_dir, 30);
    if (std::size_t slash = main_ini_path.rfind('/'); slash != std::string::npos &&
                                                     main_ini_path.substr(0, slash + 1) != settings_dir)
        file_remove_stale_temps(main_ini_path.substr(0, slash + 1), 30);
    if (!ini_copy_defaults())
        return 0;
    // A first start gets the program's own right-click menus.
    popup_files_write_defaults();
    if (!conn_new(nullptr))
        return 0;
    color_items_init();
    ssl_lock = new (std::nothrow) std::mutex;
    if (!ssl_lock)
        return 0;
    if (!net_startup())
        return 0;
    theme_load();
    app_init_common_controls();
    lang_module_load();
    ssl_settings_load();  // the libraries themselves on first use
    if (startup_hooks.lock_load_settings && !startup_hooks.lock_load_settings())
        return 0;
    for (int kind = 1; kind <= 19; ++kind) {
        int r = app_register_class(kind);
        if (r == 0)
            return 0;
        if (r == 2)
            break;
    }
    return 1;
}

// ---- The frame ----

int frame_create(int show)
{
    Connection* first = conn_list;
    if (!conn_is_live(first))
        return 0;

    int left = 0, width = 0, top = 0, height = 0, state = 0;
    frame_load_main_position(left, width, top, height, state);
    if (left == 0 && width == 0 && top == 0 && height == 0) {
        app_save_main_pos_flag = 0;
        QRect area = work_area();
        FramePlacement p = frame_default_placement(area.width(), area.height());
        left = area.left() + p.left;
        top = area.top() + p.top;
        width = p.width;
        height = p.height;
    }

    const int start_in_tray = opt(OPT_START_IN_TRAY);
    const int minimise_to_tray = opt(OPT_MINIMISE_TO_TRAY);
    FrameShowChoice pre = frame_choose_show(state, start_in_tray, minimise_to_tray, 0);

    KestFrame* frame = new KestFrame;
    frame_window = frame;
    frame->move(left, top);
    frame->resize(width > 10 ? width : 10, height > 10 ? height : 10);
    if (pre.create_maximised)
        frame->setWindowState(Qt::WindowMaximized);

    theme_prepare();
    QMdiArea* area = new QMdiArea(frame);
    frame->setCentralWidget(area);
    area = mdi_client_create(area);
    if (!area)
        return 0;
    frame_mdi_client = area;
    dispatch_set_mdi_area(area);
    frame_menu_build();
    if (frame_bars_making.any())
        return 0;

    // How to show it.
    int tray_ok = 0;
    if (pre.state == 1 || pre.state == 3) {
        if (minimise_to_tray || pre.state == 3)
            tray_ok = frame_tray_adding.any() ? 1 : 0;
    }
    FrameShowChoice choice = frame_choose_show(state, start_in_tray, minimise_to_tray, tray_ok);
    switch (choice.action) {
    case kFrameShowToTray:
        if (!(frame->windowState() & Qt::WindowMinimized))
            frame->setWindowState(frame->windowState() | Qt::WindowMinimized);
        frame->hide();
        break;
    case kFrameShowMinNoActivate:
        frame->setAttribute(Qt::WA_ShowWithoutActivating, true);
        frame->setWindowState(frame->windowState() | Qt::WindowMinimized);
        frame->show();
        frame->setAttribute(Qt::WA_ShowWithoutActivating, false);
        break;
    case kFrameShowMaximized:
        frame->showMaximized();
        break;
    default:
        if (show == 0)
            frame->hide();
        else
            frame->show();
        break;
    }
    if (opt(OPT_TRAY_ICON_ALWAYS))
        frame_tray_adding.any();

    bg_init_mdi();
    frame_layout();
    frame->update();

    // The first status window.
    QWidget* status = win_open_status_window(first);
    if (!status || !conn_is_live(first))
        return 0;
    first->status_window = status;
    conn_update_status_title(first);
    frame->update();
    return 1;
}

int frame_install_hooks()
{
    if (app_accelerator_table(90).empty() || app_accelerator_table(91).empty())
        return 0;
    dispatch_install();
    app_hooks_installed = 1;
    app_registered_wheel_message = QEvent::registerEventType();
    app_registered_taskbar_message = QEvent::registerEventType();
    return 1;
}

void frame_deferred_start()
{
    frame_start_timer(FRAME_TIMER_TOPMOST);
    frame_start_timer(FRAME_TIMER_TICK);

    Connection* first = conn_list;
    if (conn_is_live(first) && !first->local_host.empty() && first->local_ip == 0) {
        in_addr addr{};
        if (inet_pton(AF_INET, first->local_host.c_str(), &addr) == 1)
            first->local_ip = ntohl(addr.s_addr);
        else
            first->local_host.clear();
    }

    frame_update_title();
    app_startup.fire();

    wait_cursor_off();

    std::string show;
    ini_read("about", "show", "no", show, kShortTextSize, main_ini_path);
    if (text_equal_nocase(show, "yes") && startup_hooks.about_box_open)
        startup_hooks.about_box_open();  // its closing finishes the start
    else
        app_finish_startup();
}

void app_finish_startup()
{
    app_starting = 0;
    event_startup_hold = 0;
    script_fire_load_start(kEvStart, nullptr, 0);
    if (app_exit_mode != 0 || cmdline_no_connect)
        return;
    Connection* first = conn_list;
    if (!start_link.empty()) {
        app_open_irc_link(start_link, 1);
        return;
    }
    if (!start_server.empty() || !start_channel.empty()) {
        if (conn_is_live(first))
            start_connect(first);
        return;
    }
    if (opt(OPT_CONNECT_ON_STARTUP) && conn_is_live(first))
        start_connect(first);
    if (opt(OPT_OPTIONS_ON_STARTUP)) {
        app_connect_dialog_at_start = 1;
        if (startup_hooks.connect_dialog_open)
            startup_hooks.connect_dialog_open();
    }
}

// ---- Closing ----

int frame_close(int flags)
{
    if (frame_close_guard)
        return 0;
    frame_close_guard = 1;
    const bool editor_open = startup_hooks.script_editor_open && startup_hooks.script_editor_open();
    if (!(flags & 1)) {
        if (editor_open) {
            if (startup_hooks.script_editor_ask)
                startup_hooks.script_editor_ask();
            frame_close_guard = 0;
            return 0;
        }
        if (!frame_confirm_exit(frame_window.data())) {
            frame_close_guard = 0;
            return 0;
        }
    } else if (editor_open && startup_hooks.script_editor_ok) {
        startup_hooks.script_editor_ok();
    }
    app_exit_mode = (flags & 4) ? 3 : (flags & 2) ? 2 : 1;
    conn_close_all();
    if (opt(OPT_REMOTE_EVENTS))
        event_fire(conn_current(), nullptr, nullptr, "EXIT", kEvExit, 0, nullptr, nullptr);
    frame_shutdown();
    frame_close_guard = 0;
    return 0;
}

void frame_shutdown()
{
    shutdown_trace.clear();
    wait_cursor_on();
    shutdown_save.fire();
    shutdown_free.fire();

    trace("destroy_frame");
    frame_timers_stop_all();
    wait_cursor_off();
    if (frame_window)
        frame_window->deleteLater();
    // The frame is going: the event loop ends.
    QCoreApplication::quit();
}

// ---- The start-up's and the shutdown's own steps ----

namespace {

// Connecting the first connection at start: to the command line's server
// and channels when it gave them.
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

void start_dde() { dde_start(); }

void start_link_association()
{
    if (!cmdline_no_registry)
        irc_link_association_check();
}

void start_speech_agent() { send_app_message(WM_APP_SPEECH_AGENT, 0, 1); }

void start_ident()
{
    if (ident_settings.enabled)
        send_app_message(WM_APP_IDENT_START, 0, 0);
}

void start_finger()
{
    if (opt(OPT_FINGER_SERVER))
        send_app_message(WM_APP_FINGERD_START, 0, 0);
}

void save_editor()
{
    if (startup_hooks.script_editor_open && startup_hooks.script_editor_open() && startup_hooks.script_editor_ok)
        startup_hooks.script_editor_ok();
}

void save_main_position()
{
    if (!app_save_main_pos_flag)
        ini_save_main_window_pos();
}

void hide_windows()
{
    if (frame_window)
        frame_window->hide();
    for (WindowRecord* rec = win_list; rec; rec = rec->next)
        if (QWidget* w = rec->hwnd.get())
            w->hide();
}

void save_script_files()
{
    alias_files_save_list(2);
    popup_files_save_list(2);
    remote_files_save_list(2);
    var_store_exit();
}

void free_script_files()
{
    alias_files_free();
    popup_files_free();
    remote_files_free_all();
}

struct OwnStep {
    const char* name;  // as the shutdown trace names it
    int order;
    void (*run)();
};

const OwnStep kStartSteps[] = {
    {"dde_start", kStartDde, start_dde},
    {"irc_link_association_check", kStartLinkAssociation, start_link_association},
    {"speech_agent", kStartSpeechAgent, start_speech_agent},
    {"ident_start", kStartIdent, start_ident},
    {"finger_start", kStartFinger, start_finger},
};

const OwnStep kSaveSteps[] = {
    {"editor", kSaveEditor, save_editor},
    {"popup_discard", kSavePopup, menu_popup_reset},
    {"ini_save_main_window_pos", kSaveMainPosition, save_main_position},
    {"hide", kSaveHide, hide_windows},
    {"watcher_stop", kSaveWatcher, watcher_stop},
    {"ini_save_options", kSaveOptions, ini_save_options},
    {"ini_save_text_settings", kSaveTextSettings, ini_save_text_settings},
    {"ini_save_identity", kSaveIdentity, [] { ini_save_identity(0, conn_list); }},
    {"ini_save_dirs", kSaveFolders, ini_save_dirs},
    {"dde_save_settings", kSaveDde, dde_save_settings},
    {"colours_save", kSaveColours, color_save},
    {"cnick_save", kSaveNickColours, cnick_save},
    {"notify_save", kSaveNotify, [] { notify_save(nullptr); }},
    {"ignore_expire_timed", kSaveTimedIgnores, [] { ignore_tick_timed(2); }},
    {"ini_save_user_lists", kSaveUserLists, [] { ini_save_user_lists(0); }},
    {"fhandle_close_all", kSaveFileHandles, data_stores_free_all},
    {"win_close_all", kSaveWindows, win_close_all},
    {"script_files_save", kSaveScriptFiles, save_script_files},
};

const OwnStep kFreeSteps[] = {
    {"frame_menus_destroy", kFreeMenus, frame_menus_destroy},
    {"script_files_free", kFreeScriptFiles, free_script_files},
    {"script_timers_remove_all", kFreeTimers, timer_clear_all},
    {"highlight_clear", kFreeHighlights, highlight_clear},
    {"dns_cancel_all", kFreeLookups, dns_cancel_all},
    {"free_settings_lists", kFreeSettingsLists, main_settings_free_lists},
    {"flash_free_all", kFreeFlashing, flash_free_all},
    {"services_close", kFreeServices, app_close_services},
    {"fonts_free", kFreeFonts, fonts_free},
    {"theme_close", kFreeTheme, theme_close},
};

template <std::size_t N>
struct Listeners {
    const OwnStep (&steps)[N];
    int ids[N] = {};
};

Listeners<std::size(kStartSteps)> g_start{kStartSteps};
Listeners<std::size(kSaveSteps)> g_save{kSaveSteps};
Listeners<std::size(kFreeSteps)> g_free{kFreeSteps};

template <std::size_t N>
void listen(Signal<void()>& signal, Listeners<N>& l)
{
    for (std::size_t i = 0; i < N; ++i) {
        const OwnStep* step = &l.steps[i];
        signal.add_once(l.ids[i], step->order, [step] {
            trace(step->name);
            step->run();
        });
    }
}

template <std::size_t N>
void stop_listening(Signal<void()>& signal, Listeners<N>& l)
{
    for (int& id : l.ids)
        signal.drop(id);
}

} // namespace

void app_start_services()
{
    for (const OwnStep& step : kStartSteps)
        step.run();
}

void app_close_services()
{
    finger_close(std::string());
    ident_close(nullptr);
    finger_server_close_client(0);
}

void startup_install()
{
    listen(app_startup, g_start);
    listen(shutdown_save, g_save);
    listen(shutdown_free, g_free);
}

void startup_uninstall()
{
    stop_listening(app_startup, g_start);
    stop_listening(shutdown_save, g_save);
    stop_listening(shutdown_free, g_free);
}

// ---- Signals ----

int app_install_signal_handlers()
{
    if (signal_notifier)
        return 1;
    if (::pipe2(signal_pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        signal_pipe[0] = signal_pipe[1] = -1;
        return 0;
    }
    signal_notifier = new QSocketNotifier(signal_pipe[0], QSocketNotifier::Read);
    QObject::connect(signal_notifier, &QSocketNotifier::activated, [] {
        char buf[64];
        while (::read(signal_pipe[0], buf, sizeof buf) > 0) {
        }
        // The script run the signal broke is over: the EXIT handlers of the
        // orderly close may run (a second signal breaks them in turn).
        key_break_signal_clear();
        // Closing without asking: nobody can answer a question now.
        if (frame_window)
            QMetaObject::invokeMethod(frame_window.data(), [] { frame_close(1); }, Qt::QueuedConnection);
        else
            QCoreApplication::quit();
    });
    struct sigaction sa {};
    sa.sa_handler = on_signal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &sa, &old_term_action);
    sigaction(SIGINT, &sa, &old_int_action);
    return 1;
}

void app_remove_signal_handlers()
{
    if (!signal_notifier)
        return;
    sigaction(SIGTERM, &old_term_action, nullptr);
    sigaction(SIGINT, &old_int_action, nullptr);
    delete signal_notifier;
    signal_notifier = nullptr;
    ::close(signal_pipe[0]);
    ::close(signal_pipe[1]);
    signal_pipe[0] = signal_pipe[1] = -1;
}

// ---- The entry and the release ----

static void restart_by_exec()
{
    char path[kMediumTextSize];
    ssize_t n = ::readlink("/proc/self/exe", path, kMediumText);
    if (n <= 0 || static_cast<std::size_t>(n) >= kMediumText)
        return;
    path[n] = '\0';
    char* const args[] = {path, nullptr};
    ::execv(path, args);
}

void app_release()
{
    ipc_server_stop(kHandOverService);
    app_remove_signal_handlers();
    delete ssl_lock;
    ssl_lock = nullptr;
    cmdline_args.clear();
    if (startup_hooks.dll_free_all)
        startup_hooks.dll_free_all();
    ssl_unload();
    conn_free_all();
    net_cleanup();
    if (app_hooks_installed) {
        dispatch_uninstall();
        app_hooks_installed = 0;
    }
    dde_stop();
    app_ole_initialized = 0;
    for (void*& lib : app_optional_libraries)
        lib = nullptr;
    wait_cursor_off();

    if (app_exit_mode == 2) {
        QThread::msleep(100);
        if (app_restart)
            app_restart();
    }
    // Exit mode 3 (after an update was downloaded) ends like any exit: a
    // downloaded package is never run by the program.
}

int app_load_qt_translation()
{
    static QPointer<QTranslator> installed;
    if (installed)
        return 1;
    if (!qApp)
        return 0;
    auto* translator = new QTranslator(qApp);
    if (!translator->load(QStringLiteral("qtbase_tr"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)) ||
        !QCoreApplication::installTranslator(translator)) {
        delete translator;
        return 0;
    }
    installed = translator;
    return 1;
}

int app_run(int argc, char** argv, int show)
{
    cmdline_args.clear();
    for (int i = 1; i < argc && argv; ++i)
        cmdline_args.emplace_back(argv[i] ? argv[i] : "");
    if (!qApp)
        return 0;
    qApp->setQuitOnLastWindowClosed(false);
    app_load_qt_translation();
    frame_close_guard = 0;

    if (app_init()) {
        settings_load_all(conn_is_live(conn_list) ? conn_list : nullptr);
        frame_proc_install();
        frame_set_handler(WM_APP_DEFERRED_START, on_deferred_start);
        frame_set_timer_handler(FRAME_TIMER_TICK, on_tick_timer);
        if (frame_create(show)) {
            frame_install_hooks();
            app_install_signal_handlers();
            ipc_server_start(kHandOverService, frame_ipc_request);
            post_app_message(WM_APP_DEFERRED_START, 0, 0);
            QApplication::exec();
        } else if (frame_window) {
            delete frame_window.data();
        }
    }
    if (frame_window)
        delete frame_window.data();
    app_release();
    return 0;
}

// Start-up and shutdown of the process.
#include "app/startup.h"

#include "app/command_line.h"
#include "app/child_window.h"
#include "model/connection.h"
#include "app/dispatch.h"
#include "app/frame_proc.h"
#include "app/frame_window.h"
#include "app/tick.h"
#include "app/window_open.h"
#include "model/window_record.h"
#include "app/window_queries.h"
#include "core/files.h"
#include "core/ini.h"
#include "core/options.h"
#include "core/random.h"
#include "core/text_limits.h"
#include "core/time_date.h"
#include "platform/app_messages.h"
#include "script/events/event_fire.h"
#include "script/popup_defaults.h"
#include "platform/frame_timers.h"
#include "platform/local_ipc.h"
#include "platform/platform_utils.h"
#include "platform/sockets.h"
#include "core/text_buffer.h"

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

template <typename F, typename... A>
void call(const char* step, F hook, A... args)
{
    trace(step);
    if (hook)
        hook(args...);
}

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
    if (startup_hooks.dde_open_irc_link)
        startup_hooks.dde_open_irc_link(link, flag);
}

int app_exit_under_way() { return app_exit_mode != 0 ? 1 : 0; }

namespace {

// The status window of a connection, named "Status Window".
QWidget* open_status_window(Connection* conn)
{
    int opened = 0;
    WindowOpenRequest request;
    request.name = "Status Window";
    request.type = kWinStatus;
    request.conn = conn;
    request.opened = &opened;
    return win_open(request);
}

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
    if (startup_hooks.color_items_init)
        startup_hooks.color_items_init();
    ssl_lock = new (std::nothrow) std::mutex;
    if (!ssl_lock)
        return 0;
    if (!net_startup())
        return 0;
    if (startup_hooks.visual_styles_load)
        startup_hooks.visual_styles_load();
    app_init_common_controls();
    if (startup_hooks.lang_load)
        startup_hooks.lang_load();
    if (startup_hooks.ssl_load_library)
        startup_hooks.ssl_load_library();
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

    const int start_in_tray = startup_hooks.start_in_tray ? startup_hooks.start_in_tray() : 0;
    const int minimise_to_tray = startup_hooks.minimise_to_tray ? startup_hooks.minimise_to_tray() : 1;
    FrameShowChoice pre = frame_choose_show(state, start_in_tray, minimise_to_tray, 0);

    KestFrame* frame = new KestFrame;
    frame_window = frame;
    frame->move(left, top);
    frame->resize(width > 10 ? width : 10, height > 10 ? height : 10);
    if (pre.create_maximised)
        frame->setWindowState(Qt::WindowMaximized);

    if (startup_hooks.theme_prepare)
        startup_hooks.theme_prepare();
    QMdiArea* area = new QMdiArea(frame);
    frame->setCentralWidget(area);
    area = mdi_client_create(area);
    if (!area)
        return 0;
    frame_mdi_client = area;
    dispatch_set_mdi_area(area);
    if (startup_hooks.frame_menu_build)
        startup_hooks.frame_menu_build();
    if (startup_hooks.toolbar_create && !startup_hooks.toolbar_create())
        return 0;
    if (startup_hooks.switchbar_create && !startup_hooks.switchbar_create())
        return 0;
    if (startup_hooks.treebar_create && !startup_hooks.treebar_create())
        return 0;

    // How to show it.
    int tray_ok = 0;
    if (pre.state == 1 || pre.state == 3) {
        if ((minimise_to_tray || pre.state == 3) && startup_hooks.tray_add)
            tray_ok = startup_hooks.tray_add();
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
    if (startup_hooks.tray_icon_always && startup_hooks.tray_icon_always() && startup_hooks.tray_add)
        startup_hooks.tray_add();

    if (startup_hooks.bg_init_mdi)
        startup_hooks.bg_init_mdi();
    if (startup_hooks.frame_layout)
        startup_hooks.frame_layout();
    frame->update();

    // The first status window.
    QWidget* status = startup_hooks.open_status_window ? startup_hooks.open_status_window(first)
                                                       : open_status_window(first);
    if (!status || !conn_is_live(first))
        return 0;
    first->status_window = status;
    if (conn_hooks.conn_update_status_title)
        conn_hooks.conn_update_status_title(first);
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
    if (startup_hooks.dde_start)
        startup_hooks.dde_start();
    if (!cmdline_no_registry && startup_hooks.irc_link_association_check)
        startup_hooks.irc_link_association_check();

    send_app_message(WM_APP_SPEECH_AGENT, 0, 1);
    if (startup_hooks.ident_enabled && startup_hooks.ident_enabled())
        send_app_message(WM_APP_IDENT_START, 0, 0);
    if (startup_hooks.finger_enabled && startup_hooks.finger_enabled())
        send_app_message(WM_APP_FINGERD_START, 0, 0);
    if (startup_hooks.dccserver_enabled && startup_hooks.dccserver_enabled())
        send_app_message(WM_APP_DCCSERVER_START, 0, 0);

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
    if (startup_hooks.script_fire_load_start)
        startup_hooks.script_fire_load_start(65);
    if (app_exit_mode != 0 || cmdline_no_connect)
        return;
    Connection* first = conn_list;
    if (!start_link.empty()) {
        app_open_irc_link(start_link, 1);
        return;
    }
    if (!start_server.empty() || !start_channel.empty()) {
        if (startup_hooks.conn_begin_connect && conn_is_live(first))
            startup_hooks.conn_begin_connect(first);
        return;
    }
    if (opt(OPT_CONNECT_ON_STARTUP) && startup_hooks.conn_begin_connect && conn_is_live(first))
        startup_hooks.conn_begin_connect(first);
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
        if (startup_hooks.frame_confirm_exit && !startup_hooks.frame_confirm_exit(frame_window.data())) {
            frame_close_guard = 0;
            return 0;
        }
    } else if (editor_open && startup_hooks.script_editor_ok) {
        startup_hooks.script_editor_ok();
    }
    app_exit_mode = (flags & 4) ? 3 : (flags & 2) ? 2 : 1;
    conn_close_all();
    if (startup_hooks.event_fire_exit &&
        (!startup_hooks.events_enabled || startup_hooks.events_enabled()))
        startup_hooks.event_fire_exit(conn_current());
    frame_shutdown();
    frame_close_guard = 0;
    return 0;
}

void frame_shutdown()
{
    shutdown_trace.clear();
    wait_cursor_on();
    trace("editor");
    if (startup_hooks.script_editor_open && startup_hooks.script_editor_open() && startup_hooks.script_editor_ok)
        startup_hooks.script_editor_ok();
    call("tray_tips_free", startup_hooks.tray_tips_free);
    call("agent_shutdown", startup_hooks.agent_shutdown);
    call("voice_release", startup_hooks.voice_release);
    call("com_free_all", startup_hooks.com_free_all);
    call("popup_discard", startup_hooks.popup_discard);
    if (!app_save_main_pos_flag)
        call("ini_save_main_window_pos", startup_hooks.ini_save_main_window_pos);
    call("tray_remove", startup_hooks.tray_remove);
    call("script_dialogs_destroy", startup_hooks.script_dialogs_destroy);

    trace("hide");
    if (frame_window)
        frame_window->hide();
    for (WindowRecord* rec = win_list; rec; rec = rec->next)
        if (QWidget* w = rec->hwnd.get())
            w->hide();

    call("watcher_stop", startup_hooks.watcher_stop);
    call("ini_save_options", startup_hooks.ini_save_options);
    call("ini_save_text_settings", startup_hooks.ini_save_text_settings);
    call("ini_save_identity", startup_hooks.ini_save_identity, 0, conn_list);
    call("ini_save_dirs", startup_hooks.ini_save_dirs);
    call("dde_save_settings", startup_hooks.dde_save_settings);
    call("colours_save", startup_hooks.colours_save);
    call("url_save_list", startup_hooks.url_save_list);
    call("cnick_save", startup_hooks.cnick_save);
    call("notify_save", startup_hooks.notify_save);
    call("ignore_expire_timed", startup_hooks.ignore_expire_timed);
    call("ini_save_user_lists", startup_hooks.ini_save_user_lists, 0);
    call("fhandle_close_all", startup_hooks.fhandle_close_all);
    call("dll_unload_request", startup_hooks.dll_unload_request);
    call("win_close_all", startup_hooks.win_close_all ? startup_hooks.win_close_all : win_close_all);
    call("script_files_save", startup_hooks.script_files_save);

    call("frame_menus_destroy", startup_hooks.frame_menus_destroy);
    call("script_files_free", startup_hooks.script_files_free);
    call("script_timers_remove_all", startup_hooks.script_timers_remove_all);
    call("highlight_clear", startup_hooks.highlight_clear);
    call("dns_cancel_all", startup_hooks.dns_cancel_all);
    call("free_settings_lists", startup_hooks.free_settings_lists);
    call("flash_free_all", startup_hooks.flash_free_all);

    call("close_links_and_dcc", startup_hooks.close_links_and_dcc);
    call("sock_close_all", startup_hooks.sock_close_all);
    call("services_close", startup_hooks.services_close);
    call("media_close_all", startup_hooks.media_close_all);
    call("fonts_free", startup_hooks.fonts_free);
    call("theme_close", startup_hooks.theme_close);

    trace("destroy_frame");
    frame_timers_stop_all();
    wait_cursor_off();
    if (frame_window)
        frame_window->deleteLater();
    // The frame is going: the event loop ends.
    QCoreApplication::quit();
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
    if (startup_hooks.ssl_unload_library)
        startup_hooks.ssl_unload_library();
    conn_free_all();
    net_cleanup();
    if (app_hooks_installed) {
        dispatch_uninstall();
        app_hooks_installed = 0;
    }
    if (startup_hooks.dde_stop)
        startup_hooks.dde_stop();
    app_ole_initialized = 0;
    for (void*& lib : app_optional_libraries)
        lib = nullptr;
    wait_cursor_off();

    if (app_exit_mode == 2) {
        QThread::msleep(100);
        if (app_restart)
            app_restart();
    } else if (app_exit_mode == 3) {
        QThread::msleep(100);
        std::string update = startup_hooks.update_file_path ? startup_hooks.update_file_path() : std::string();
        char path[kMediumTextSize];
        ssize_t n = ::readlink("/proc/self/exe", path, kMediumText);
        if (!update.empty() && n > 0 && static_cast<std::size_t>(n) < kMediumText) {
            path[n] = '\0';
            shell_run(update, path, 1);
        }
    }
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
        if (startup_hooks.settings_load_all)
            startup_hooks.settings_load_all();
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

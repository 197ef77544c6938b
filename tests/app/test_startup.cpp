// Start-up and shutdown: the frame's default placement and show rules, the
// window classes and accelerator tables, a whole start and close in this
// process, and the real program closed by SIGTERM and handed a link.
#include "app/startup.h"
#include "bars/switchbar.h"
#include "bars/toolbar_buttons.h"
#include "bars/tray_icon.h"
#include "bars/treebar.h"
#include "display/window_queries.h"
#include "app/subsystems.h"

#include "app/command_line.h"
#include "app/confirm.h"
#include "app/frame_window.h"
#include "irc/link/identity_settings.h"
#include "core/options.h"
#include "model/connection.h"
#include "app/tick.h"
#include "core/ini.h"
#include "core/string_list.h"
#include "script/popups.h"
#include "script/stores/variables.h"
#include "app/input_dialog.h"
#include "platform/frame_timers.h"
#include "platform/local_ipc.h"
#define KEST_TEST_WIDGETS
#include "support/test_support.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QTest>
#include <QDialog>
#include <QMainWindow>
#include <QMdiArea>
#include <QTimer>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <spawn.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>
#include "support/hook_guard.h"

extern char** environ;
namespace fs = std::filesystem;

namespace {

fs::path make_temp(const std::string& tag)
{
    static int serial = 0;
    fs::path p = fs::temp_directory_path() /
                 ("kest_st_" + tag + "_" + std::to_string(::getpid()) + "_" + std::to_string(++serial));
    fs::remove_all(p);
    fs::create_directories(p);
    return p;
}

} // namespace

TEST(FramePlacement, DefaultRuleAsATable)
{
    struct Case {
        int w, h;
        int left, top, width, height;
    };
    const Case cases[] = {
        {1024, 738, 128, 53, 768, 632},
        {700, 500, 50, 13, 600, 473},
        {750, 550, 94, 39, 562, 471},
        {749, 549, 53, 14, 642, 520},
        {1920, 1050, 240, 75, 1440, 900},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.w) + "x" + std::to_string(c.h));
        FramePlacement p = frame_default_placement(c.w, c.h);
        EXPECT_EQ(p.left, c.left);
        EXPECT_EQ(p.top, c.top);
        EXPECT_EQ(p.width, c.width);
        EXPECT_EQ(p.height, c.height);
    }
}

TEST(FramePlacement, ShowRulesAsATable)
{
    struct Case {
        const char* name;
        int saved, start_in_tray, min_to_tray, tray_ok;
        int create_maximised, state, action;
    };
    const Case cases[] = {
        {"normal", 0, 0, 1, 1, 0, 0, kFrameShowCommand},
        {"maximised", 2, 0, 1, 1, 0, 2, kFrameShowMaximized},
        {"minimised to tray", 1, 0, 1, 1, 0, 1, kFrameShowToTray},
        {"minimised, no tray option", 1, 0, 0, 1, 0, 1, kFrameShowMinNoActivate},
        {"minimised, tray cannot be added", 1, 0, 1, 0, 0, 1, kFrameShowMinNoActivate},
        {"tray state without the option", 3, 0, 0, 1, 0, 3, kFrameShowToTray},
        {"tray restoring maximised", 4, 0, 0, 1, 1, 3, kFrameShowToTray},
        {"tray restoring maximised, no tray", 4, 0, 1, 0, 1, 3, kFrameShowMinNoActivate},
        {"start in tray", 2, 1, 0, 1, 0, 3, kFrameShowToTray},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FrameShowChoice r = frame_choose_show(c.saved, c.start_in_tray, c.min_to_tray, c.tray_ok);
        EXPECT_EQ(r.create_maximised, c.create_maximised);
        EXPECT_EQ(r.state, c.state);
        EXPECT_EQ(r.action, c.action);
    }
}

TEST(WindowClasses, ExactlyKindsOneToFourteen)
{
    const char* names[] = {"Kest",       "Kest_Status", "Kest_Channel", "Kest_Query", "Kest_ChanList",
                           "Kest_Chat",  "Kest_Fserve", "Kest_Finger",  "Kest_Urls",  "Kest_Notify",
                           "Kest_Links", "Kest_Custom", "Kest_Send",    "Kest_Get"};
    for (int kind = 1; kind <= 14; ++kind) {
        SCOPED_TRACE(kind);
        EXPECT_EQ(app_register_class(kind), 1);
        EXPECT_STREQ(app_class_name(kind), names[kind - 1]);
        EXPECT_EQ(app_class_registered(kind), 1);
    }
    for (int kind : {0, 15, 19, -1}) {
        SCOPED_TRACE(kind);
        EXPECT_EQ(app_register_class(kind), 2);
        EXPECT_EQ(app_class_name(kind), nullptr);
    }
    EXPECT_EQ(app_class_icon(1), 1);
    EXPECT_EQ(app_class_icon(12), 17);
    EXPECT_EQ(app_class_icon(14), 9);
}

TEST(Accelerators, TablesNinetyAndNinetyOne)
{
    struct Case {
        int table, modifiers, key, command;
    };
    const Case cases[] = {
        {90, kAccelAlt, 'E', 104}, {90, kAccelAlt, 'o', 159}, {90, kAccelAlt, 'X', 177},
        {90, kAccelCtrl, 'E', 0},  {90, kAccelAlt, 'Q', 0},   {91, kAccelAlt, 'A', 330},
        {91, kAccelAlt, 'D', 330}, {91, kAccelCtrl, 'F', 424}, {91, 0, 0x1B, 2},
        {92, kAccelAlt, 'E', 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.table) + ":" + std::to_string(c.key));
        EXPECT_EQ(app_accelerator_command(c.table, c.modifiers, c.key), c.command);
    }
    EXPECT_EQ(app_accelerator_table(90).size(), 18u);
    EXPECT_EQ(app_accelerator_table(91).size(), 13u);
}

// ---- The exit question's reasons from other parts ----

// A part that keeps DCC chats, sends or a song answers the exit question
// for its own thing only, and only while the user's option asks about it.
TEST(ExitQuestion, AnAnsweringPartAddsItsReasonWhileItsOptionIsOn)
{
    struct Case {
        const char* name;
        ExitQuestion question;
        OptionId option;
        int reason;
    };
    const Case cases[] = {
        {"DCC chats", kExitDccChatsOpen, OPT_CONFIRM_EXIT_CHAT, 8},
        {"DCC sends", kExitDccSendsRunning, OPT_CONFIRM_EXIT_TRANSFERS, 16},
        {"song", kExitSongPlaying, OPT_CONFIRM_EXIT_SONG, 32},
    };
    options_reset();
    for (OptionId option : {OPT_CONFIRM_EXIT_ALWAYS, OPT_CONFIRM_EXIT_CONNECTED, OPT_CONFIRM_EXIT_CHANNEL,
                       OPT_CONFIRM_EXIT_QUERY})
        opt_set(option, 0);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (const Case& each : cases)
            opt_set(each.option, 1);
        EXPECT_EQ(frame_exit_reasons(), 0);  // nobody answers: nothing is there
        const int id = frame_exit_question.add(kExitAnswerDcc, [q = c.question](ExitQuestion asked) {
            return asked == q;
        });
        EXPECT_EQ(frame_exit_reasons(), c.reason);
        opt_set(c.option, 0);
        EXPECT_EQ(frame_exit_reasons(), 0);
        frame_exit_question.remove(id);
    }
    options_reset();
}

// ---- A whole start and close in this process ----

namespace {

struct InProcess {
    HookGuard hooks_;  // every seam back as it was when the test ends
    fs::path root;
    std::string saved_runtime;

    // `whole`: the whole program as its entry installs it; else only the
    // settings and the start-up's own steps (the tray of a desktop that has
    // none can then be played by the test).
    explicit InProcess(const std::string& tag, bool whole = true)
    {
        test_app();
        root = make_temp(tag);
        fs::create_directories(root / "settings");
        fs::create_directories(root / "run");
        ::chmod((root / "run").c_str(), 0700);
        const char* old = std::getenv("XDG_RUNTIME_DIR");
        saved_runtime = old ? old : "";
        ::setenv("XDG_RUNTIME_DIR", (root / "run").c_str(), 1);
        // What the program's entry wires before running.
        if (whole) {
            app_install_subsystems();
        } else {
            // The tray left alone by what an earlier test installed.
            tray_activity_uninstall();
            identity_settings_install();
            frame_window_install();
            startup_install();
            // The frame's bars.
            toolbar_install();
            switchbar_install();
            treebar_install();
        }
    }
    ~InProcess()
    {
        if (saved_runtime.empty())
            ::unsetenv("XDG_RUNTIME_DIR");
        else
            ::setenv("XDG_RUNTIME_DIR", saved_runtime.c_str(), 1);
        fs::remove_all(root);
    }
    // A remote script loaded with the settings (with the users and
    // variables files beside it).
    void add_script(const std::string& text)
    {
        std::ofstream(root / "settings" / "kest.ini") << "[rfiles]\nn0=users.ini\nn1=vars.ini\nn2=life.kst\n";
        std::ofstream(root / "settings" / "life.kst") << text;
    }
    std::string file(const char* name) const
    {
        std::ifstream in(root / "settings" / name);
        return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    }
    int run(std::vector<std::string> extra)
    {
        std::vector<std::string> args = {"kest", "-r", (root / "settings").string()};
        args.insert(args.end(), extra.begin(), extra.end());
        std::vector<char*> argv;
        for (std::string& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        return app_run(static_cast<int>(args.size()), argv.data(), kShowNormal);
    }
};

// What the check inside the running program saw.
struct Seen {
    bool ran = false;
    bool frame = false;
    std::string frame_name;
    std::string frame_title;
    bool mdi = false;
    bool status = false;
    std::string status_title;
    int starting = -1;
    bool tick_timer = false;
    bool ipc = false;
    bool hidden = false;
    bool maximised_state = false;
    bool restored_maximised = false;
    bool connecting = false;
    std::string server;  // the first connection's server and port
    std::string started;  // %started: START's count
};
Seen seen;
int asked_questions = 0;

// Answers the exit question that is about to be asked, with the mouse on
// its "yes" or "no" button.
void answer_exit_question(bool yes)
{
    QTimer::singleShot(0, [yes] {
        auto* box = qobject_cast<QDialog*>(input_dialog_current());
        if (!box || !box->isVisible()) {
            answer_exit_question(yes);
            return;
        }
        ++asked_questions;
        auto* button = box->findChild<QPushButton*>(yes ? "yes" : "no");
        if (button)
            QTest::mouseClick(button, Qt::LeftButton);
        else
            box->reject();
    });
}

// Runs the checks once the deferred start has run, then closes the frame.
void check_then_close(int flags)
{
    QTimer::singleShot(300, [flags] {
        seen.ran = true;
        seen.frame = frame_window != nullptr;
        if (frame_window) {
            seen.frame_name = frame_window->objectName().toStdString();
            seen.frame_title = frame_window->windowTitle().toStdString();
            seen.hidden = !frame_window->isVisible();
            seen.maximised_state = (frame_window->windowState() & Qt::WindowMaximized) != 0;
        }
        seen.mdi = frame_mdi_client != nullptr && frame_window &&
                   frame_mdi_client->window() == frame_window.data();
        Connection* first = conn_list;
        if (first && first->status_window) {
            seen.status = true;
            seen.status_title = first->status_window->windowTitle().toStdString();
        }
        seen.connecting = first && (first->connecting || first->connected);
        if (first)
            seen.server = first->stored_identity[5] + ":" + first->stored_identity[9];
        var_find("%started", &seen.started, nullptr);
        seen.starting = app_starting;
        seen.tick_timer = frame_timer_is_running(120) != 0;
        seen.ipc = ipc_server_running("Kest") != 0;
        if (frame_window && seen.hidden) {
            // Restore from the tray the way the tray does it.
            frame_window->setWindowState(frame_window->windowState() & ~Qt::WindowMinimized);
            frame_window->show();
            seen.restored_maximised = frame_window->isMaximized();
        }
        frame_close(flags);
    });
}

} // namespace

TEST(StartupInProcess, StartsWithFrameAndStatusWindowAndClosesInOrder)
{
    InProcess p("whole");
    // START counts itself; EXIT leaves a mark that only the variables saved
    // after it keep.
    p.add_script("on *:START:/inc %started\non *:EXIT:/set %exited yes\n");
    seen = Seen();
    static int dialogs = 0;
    dialogs = 0;
    startup_hooks.connect_dialog_open = [] { ++dialogs; };
    check_then_close(1);

    EXPECT_EQ(p.run({"-noconnect"}), 0);

    ASSERT_TRUE(seen.ran);
    EXPECT_TRUE(seen.frame);
    EXPECT_EQ(seen.frame_name, "Kest");
    EXPECT_EQ(seen.frame_title, "Kest");
    EXPECT_TRUE(seen.mdi);
    EXPECT_TRUE(seen.status);
    EXPECT_NE(seen.status_title.find("Status"), std::string::npos) << seen.status_title;
    EXPECT_EQ(seen.starting, 0);
    EXPECT_TRUE(seen.tick_timer);
    EXPECT_TRUE(seen.ipc);
    EXPECT_FALSE(seen.hidden);
    EXPECT_EQ(seen.started, "1");  // the script was loaded; START fired once, even with -noconnect
    EXPECT_FALSE(seen.connecting);
    EXPECT_EQ(dialogs, 0);

    // Torn down in order: EXIT before the scripts are saved.
    const std::string vars = p.file("vars.ini");
    EXPECT_NE(vars.find("%exited yes"), std::string::npos) << vars;
    ASSERT_FALSE(shutdown_trace.empty());
    auto at = [](const char* step) {
        const auto it = std::find(shutdown_trace.begin(), shutdown_trace.end(), step);
        EXPECT_NE(it, shutdown_trace.end()) << step << " did not run";
        return it - shutdown_trace.begin();
    };
    EXPECT_LT(at("ini_save_main_window_pos"), at("hide"));
    EXPECT_LT(at("hide"), at("ini_save_options"));
    EXPECT_LT(at("ini_save_options"), at("notify_save"));
    EXPECT_LT(at("notify_save"), at("ini_save_user_lists"));
    EXPECT_LT(at("ini_save_user_lists"), at("win_close_all"));
    EXPECT_LT(at("win_close_all"), at("script_files_save"));
    EXPECT_LT(at("script_files_save"), at("frame_menus_destroy"));
    EXPECT_LT(at("services_close"), at("fonts_free"));
    EXPECT_EQ(shutdown_trace.back(), "destroy_frame");
    EXPECT_EQ(app_exit_mode, 1);
    EXPECT_TRUE(frame_window.isNull());
    EXPECT_EQ(conn_list, nullptr);
    EXPECT_EQ(ssl_lock, nullptr);
    EXPECT_EQ(frame_timer_is_running(120), 0);
    EXPECT_EQ(frame_timer_is_running(137), 0);
    EXPECT_EQ(ipc_server_running("Kest"), 0);
    EXPECT_TRUE(cmdline_args.empty());
    // The settings went to the folder given by -r.
    EXPECT_EQ(settings_dir, (p.root / "settings").string() + "/");
    EXPECT_EQ(main_ini_path, settings_dir + "kest.ini");
}

TEST(StartupInProcess, AFirstStartWritesItsOwnPopupsAndQtSpeaksTurkish)
{
    InProcess p("firstuse");
    app_wire_popups();  // the popup files load with the settings
    const fs::path file = p.root / "settings" / "popups.ini";
    ASSERT_FALSE(fs::exists(file));
    static int channel_lines = 0, nick_lines = 0;
    static std::string cancel;
    channel_lines = nick_lines = 0;
    cancel.clear();
    seen = Seen();
    QTimer::singleShot(100, [] {
        channel_lines = strlist_count(popup_lines_of_kind(kPopupFileChannel));
        nick_lines = strlist_count(popup_lines_of_kind(kPopupFileNicklist));
        QDialogButtonBox box(QDialogButtonBox::Cancel);
        cancel = box.button(QDialogButtonBox::Cancel)->text().toStdString();
    });
    check_then_close(1);
    EXPECT_EQ(p.run({"-noconnect"}), 0);
    ASSERT_TRUE(seen.ran);
    ASSERT_TRUE(fs::exists(file)) << "a first start writes the popups";
    EXPECT_GT(channel_lines, 0) << "and the channel popup comes from it";
    EXPECT_GT(nick_lines, 0);

    // The user's own file stays as it is at the next start.
    std::ofstream(file) << "[cpopup]\nn0=Mine:/echo -s mine\n";
    seen = Seen();
    check_then_close(1);
    EXPECT_EQ(p.run({"-noconnect"}), 0);
    ASSERT_TRUE(seen.ran);
    std::ifstream in(file);
    const std::string kept((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(kept, "[cpopup]\nn0=Mine:/echo -s mine\n");

    // Standard buttons speak the interface's language.
    if (!fs::exists("/usr/share/qt6/translations/qtbase_tr.qm"))
        GTEST_SKIP() << "Qt's Turkish translation (qt6-translations-l10n) is not installed";
    EXPECT_EQ(cancel, "İptal");
}

TEST(StartupInProcess, WithoutNoConnectTheConnectDialogOpens)
{
    InProcess p("dialog");
    seen = Seen();
    static int dialogs = 0;
    dialogs = 0;
    startup_hooks.connect_dialog_open = [] { ++dialogs; };
    check_then_close(1);
    EXPECT_EQ(p.run({}), 0);
    ASSERT_TRUE(seen.ran);
    EXPECT_FALSE(seen.connecting);
    EXPECT_EQ(dialogs, 1);
    EXPECT_EQ(app_connect_dialog_at_start, 1);
}

TEST(StartupInProcess, StartServerConnectsInsteadOfTheDialog)
{
    InProcess p("server");
    // The server the command line names: a listening socket of this test.
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_GE(listener, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    ASSERT_EQ(::listen(listener, 4), 0);
    ASSERT_EQ(::getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &len), 0);
    const std::string server = "127.0.0.1:" + std::to_string(ntohs(addr.sin_port));
    seen = Seen();
    static int dialogs = 0;
    dialogs = 0;
    startup_hooks.connect_dialog_open = [] { ++dialogs; };
    check_then_close(1);
    EXPECT_EQ(p.run({"-s" + server}), 0);
    ::close(listener);
    ASSERT_TRUE(seen.ran);
    EXPECT_EQ(seen.server, server);  // connecting began with the command line's server
    EXPECT_EQ(dialogs, 0);
}

TEST(StartupInProcess, SavedStateFourStartsInTheTrayAndRestoresMaximised)
{
    InProcess p("tray", false);
    // Options as the user saved them: the tray icon only while hidden.
    {
        SavedValues keep_path{main_ini_path};
        const int always = opt(OPT_TRAY_ICON_ALWAYS);
        main_ini_path = (p.root / "settings" / "kest.ini").string();
        opt_set(OPT_TRAY_ICON_ALWAYS, 0);
        ini_save_options();
        opt_set(OPT_TRAY_ICON_ALWAYS, always);
    }
    std::ofstream(p.root / "settings" / "kest.ini", std::ios::app) << "[windows]\nmain=20,700,30,500,4,1,0\n";
    seen = Seen();
    static int tray_adds = 0;
    tray_adds = 0;
    // The offscreen desktop has no tray: this listener takes the icon.
    int tray_listener = frame_tray_adding.add(kTrayAddingIcon, [] {
        ++tray_adds;
        return true;
    });
    check_then_close(1);
    EXPECT_EQ(p.run({"-noconnect"}), 0);
    ASSERT_TRUE(seen.ran);
    EXPECT_TRUE(seen.hidden);
    EXPECT_TRUE(seen.maximised_state);
    EXPECT_TRUE(seen.restored_maximised);
    EXPECT_EQ(tray_adds, 1);
    frame_tray_adding.drop(tray_listener);
    opt_set(OPT_TRAY_ICON_ALWAYS, opt_default(OPT_TRAY_ICON_ALWAYS));
}

TEST(StartupInProcess, RefusedConfirmationKeepsRunning)
{
    InProcess p("confirm");
    seen = Seen();
    asked_questions = 0;
    const int saved_always = opt(OPT_CONFIRM_EXIT_ALWAYS);
    QTimer::singleShot(300, [] {
        opt_set(OPT_CONFIRM_EXIT_ALWAYS, 1);  // the exit question is asked
        answer_exit_question(false);
        frame_close(0);  // refused
        seen.frame = frame_window != nullptr && app_exit_mode == 0;
        answer_exit_question(true);
        frame_close(2);  // accepted: a restart is asked for
    });
    static int restarts = 0;
    restarts = 0;
    auto saved_restart = app_restart;
    app_restart = [] { ++restarts; };
    EXPECT_EQ(p.run({"-noconnect"}), 0);
    app_restart = saved_restart;
    opt_set(OPT_CONFIRM_EXIT_ALWAYS, saved_always);
    EXPECT_TRUE(seen.frame);
    EXPECT_EQ(asked_questions, 2);
    EXPECT_EQ(app_exit_mode, 2);
    EXPECT_EQ(restarts, 1);  // after everything was released
}

// ---- The real program ----

namespace {

struct Child {
    pid_t pid = -1;
};

std::vector<std::string> child_env(const fs::path& runtime)
{
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        std::string v = *e;
        if (v.rfind("XDG_RUNTIME_DIR=", 0) == 0 || v.rfind("QT_QPA_PLATFORM=", 0) == 0)
            continue;
        env.push_back(v);
    }
    env.push_back("XDG_RUNTIME_DIR=" + runtime.string());
    env.push_back("QT_QPA_PLATFORM=offscreen");
    return env;
}

pid_t spawn_kest(const std::vector<std::string>& args, const fs::path& runtime)
{
    std::vector<std::string> all = {KEST_BINARY};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : all)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> env = child_env(runtime);
    std::vector<char*> envp;
    for (std::string& e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawn(&pid, KEST_BINARY, nullptr, nullptr, argv.data(), envp.data()) != 0)
        return -1;
    return pid;
}

// Waits at most `ms` for the process to end; its exit code, or -1 when it
// is still running, -2 when it died by a signal.
int wait_exit(pid_t pid, int ms)
{
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < end) {
        int status = 0;
        pid_t r = ::waitpid(pid, &status, WNOHANG);
        if (r == pid)
            return WIFEXITED(status) ? WEXITSTATUS(status) : -2;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return -1;
}

void kill_and_reap(pid_t pid)
{
    if (pid <= 0)
        return;
    ::kill(pid, SIGKILL);
    int status = 0;
    ::waitpid(pid, &status, 0);
}

bool wait_for_path(const fs::path& p, int ms)
{
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < end) {
        if (fs::exists(p))
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

struct RealProgram : ::testing::Test {
    void SetUp() override
    {
        root = make_temp("real");
        fs::create_directories(root / "settings");
        fs::create_directories(root / "run");
        ::chmod((root / "run").c_str(), 0700);
        socket = root / "run" / "kest-Kest.sock";
    }
    void TearDown() override
    {
        for (pid_t pid : pids)
            kill_and_reap(pid);
        fs::remove_all(root);
    }
    pid_t start(std::vector<std::string> extra)
    {
        std::vector<std::string> args = {"-r", (root / "settings").string()};
        args.insert(args.end(), extra.begin(), extra.end());
        pid_t pid = spawn_kest(args, root / "run");
        if (pid > 0)
            pids.push_back(pid);
        return pid;
    }
    void forget(pid_t pid) { pids.erase(std::remove(pids.begin(), pids.end(), pid), pids.end()); }
    fs::path root;
    fs::path socket;
    std::vector<pid_t> pids;
};

} // namespace

TEST_F(RealProgram, SigtermClosesItTheOrderlyWay)
{
    pid_t pid = start({"-noconnect"});
    ASSERT_GT(pid, 0);
    ASSERT_TRUE(wait_for_path(socket, 30000)) << "the program did not come up";
    EXPECT_EQ(wait_exit(pid, 300), -1);  // it keeps running by itself
    ::kill(pid, SIGTERM);
    int code = wait_exit(pid, 30000);
    EXPECT_EQ(code, 0);
    if (code != -1)
        forget(pid);
    EXPECT_FALSE(fs::exists(socket));  // the hand-over service went with it
    EXPECT_TRUE(fs::is_directory(root / "settings"));

    // A first start in an empty folder leaves the default settings behind.
    std::ifstream in(root / "settings" / "kest.ini");
    ASSERT_TRUE(in.good()) << "no kest.ini was saved";
    std::string ini((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    for (const char* line : {
             "[options]",
             "n0=0,1,0,1,0,0,300,0,0,0,1,0,0,0,0,0,1,0,0,0,4096,0,1,0,1,1,1,1,0,50,1,0,0,1,0",
             "n5=1,1,1,1,1,1,1,1,1,1,0,0,0,0,1,0,1,0,300,30,10,0,1,29,0,0,1,8192,0,0,0,115,0,1,0,1",
             "n8=1,2,1,168,1,1,1,2,0,0,1,1,0,0,1,1,1,0,0,0,0,0,168,1,0",
             "defport=6667",
             "timestamp=[HH:nn]",
             "[windows]",
         })
        EXPECT_NE(ini.find(line), std::string::npos) << line << "\n" << ini;
    EXPECT_NE(ini.find("\nmain="), std::string::npos) << "the frame's placement was not saved\n" << ini;
}

TEST_F(RealProgram, SecondStartHandsAnIrcLinkToTheFirst)
{
    pid_t first = start({"-noconnect"});
    ASSERT_GT(first, 0);
    ASSERT_TRUE(wait_for_path(socket, 30000)) << "the first program did not come up";

    pid_t second = start({"irc://nick@server:6667/chan?key"});
    ASSERT_GT(second, 0);
    int code = wait_exit(second, 30000);
    EXPECT_EQ(code, 0);  // handed over, ended quietly
    if (code != -1)
        forget(second);
    EXPECT_EQ(wait_exit(first, 200), -1);  // the first runs on

    // A second start without a link runs as a further instance.
    pid_t third = start({"-noconnect"});
    ASSERT_GT(third, 0);
    EXPECT_EQ(wait_exit(third, 1500), -1);

    for (pid_t pid : {first, third}) {
        ::kill(pid, SIGINT);
        int c = wait_exit(pid, 30000);
        EXPECT_EQ(c, 0);
        if (c != -1)
            forget(pid);
    }
}

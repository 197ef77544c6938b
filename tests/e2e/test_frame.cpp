// Whole-program tests of the frame: other programs drive the running program
// through its local socket (commands, evaluations, and messages that are
// broken or too large), and window placements and the frame's mode survive a
// restart.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <optional>
#include <regex>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

#include "app/command_line.h"
#include "e2e/harness.h"
#include "platform/local_ipc.h"

using namespace e2e;

namespace {

using Clock = std::chrono::steady_clock;

// Points this test program's socket client at the program's runtime folder.
void use_runtime_of(const KestProgram& kest)
{
    ::setenv("XDG_RUNTIME_DIR", (kest.settings().parent_path() / "run").c_str(), 1);
}

// Waits until the program answers the probe on its socket.
bool wait_served(const KestProgram& kest, int ms = kWaitMs)
{
    use_runtime_of(kest);
    const auto end = Clock::now() + std::chrono::milliseconds(ms);
    while (Clock::now() < end) {
        if (ipc_handover_probe(kHandOverService) == 1)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
}

// One evaluation as an outside program asks it: the answer and the text.
std::pair<int, std::string> evaluate(const std::string& text)
{
    int answer = -1;
    std::string reply;
    if (!ipc_request(kHandOverService, IPC_EVALUATE, text, &answer, &reply, kWaitMs))
        return {-1, std::string()};
    return {answer, reply};
}

// Sends raw bytes to the program's socket and reports whether any reply
// came back before the program closed the connection.
bool raw_exchange(const std::string& bytes, std::string* got, int seconds = 3)
{
    const std::string path = ipc_socket_path(kHandOverService);
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", path.c_str());
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        ::close(fd);
        return false;
    }
    timeval tv{seconds, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    char buf[256];
    ssize_t n = ::recv(fd, buf, sizeof buf, 0);
    if (got && n > 0)
        got->assign(buf, static_cast<std::size_t>(n));
    ::close(fd);
    return n > 0;
}

std::string header(const char* magic, unsigned kind, unsigned length)
{
    std::string h(magic, 4);
    for (unsigned v : {kind, length})
        for (int i = 3; i >= 0; --i)  // network byte order
            h += static_cast<char>((v >> (8 * i)) & 0xFF);
    return h;
}

TEST(FrameE2e, AnOutsideProgramRunsCommandsAndEvaluatesThroughTheSocket)
{
    KestProgram kest;
    ASSERT_TRUE(kest.start({"-noconnect"}));
    ASSERT_TRUE(wait_served(kest)) << kest.output();

    // The socket belongs to this user only, in a folder of this user only.
    const std::string path = ipc_socket_path(kHandOverService);
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    ASSERT_EQ(::stat((kest.settings().parent_path() / "run").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);

    // A command sets a variable; an evaluation reads it back.
    int answer = -1;
    ASSERT_TRUE(ipc_request(kHandOverService, IPC_RUN_COMMAND, "/set %fromoutside 42", &answer, nullptr, kWaitMs));
    EXPECT_EQ(answer, 1);
    EXPECT_EQ(evaluate("value %fromoutside here"), std::make_pair(1, std::string("value 42 here")));
    // The frame's own identifiers answer too.
    EXPECT_EQ(evaluate("$compact $appstate"), std::make_pair(1, std::string("0 normal")));
    // A failing command in mode 3 (wparam 2) answers the mode.
    ASSERT_TRUE(ipc_request(kHandOverService, IPC_RUN_COMMAND | (2 << 16), "/nosuchcommandhere", &answer, nullptr,
                            kWaitMs));
    EXPECT_EQ(answer, 3);

    // A request longer than 1,024 characters runs only its first 1,024;
    // the reply never grows past that either.
    auto [long_answer, long_reply] = evaluate(std::string(2000, 'x'));
    EXPECT_EQ(long_answer, 1);
    EXPECT_EQ(long_reply, std::string(1024, 'x'));

    // Broken and oversized messages get no answer and the program goes on.
    std::string got;
    ASSERT_TRUE(raw_exchange(header("KIP1", IPC_EVALUATE, 3) + "abc", &got, kWaitMs / 1000));  // a whole one is answered
    EXPECT_NE(got.find("abc"), std::string::npos);
    EXPECT_FALSE(raw_exchange(header("JUNK", IPC_EVALUATE, 4) + "1234", &got)) << got;
    EXPECT_FALSE(raw_exchange(header("KIP1", IPC_EVALUATE, kIpcMaxPayload + 1), &got)) << got;
    EXPECT_FALSE(raw_exchange("KI", &got));
    EXPECT_EQ(ipc_request(kHandOverService, IPC_EVALUATE, std::string(kIpcMaxPayload + 1, 'y'), &answer, nullptr,
                          3000),
              0);
    EXPECT_TRUE(kest.process().running());
    EXPECT_EQ(evaluate("still %fromoutside"), std::make_pair(1, std::string("still 42")));
    EXPECT_EQ(kest.stop(), 0);
}

TEST(FrameE2e, ASecondProgramDoesNotTakeALiveSocketButReplacesAStaleOne)
{
    KestProgram kest;
    ASSERT_TRUE(kest.start({"-noconnect"}));
    ASSERT_TRUE(wait_served(kest)) << kest.output();
    // Killed without its shutdown: the socket file stays behind.
    kest.process().kill_now();
    const std::string path = ipc_socket_path(kHandOverService);
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(ipc_handover_probe(kHandOverService), 0);
    // The next start serves again on the same path.
    ASSERT_TRUE(kest.start_again({"-noconnect"}));
    ASSERT_TRUE(wait_served(kest)) << kest.output();
    EXPECT_EQ(evaluate("$compact"), std::make_pair(1, std::string("0")));
    EXPECT_EQ(kest.stop(), 0);
}

// The value of a key of the main settings file, "" when none.
std::string ini_key(const KestProgram& kest, const std::string& section, const std::string& key)
{
    const std::string ini = read_file(kest.settings() / "kest.ini");
    const std::size_t at = ini.find("[" + section + "]");
    if (at == std::string::npos)
        return std::string();
    std::smatch m;
    const std::string rest = ini.substr(at);
    const std::regex re("\n" + key + "=([^\r\n]*)");
    if (!std::regex_search(rest, m, re))
        return std::string();
    // Only within the section.
    const std::size_t next = rest.find("\n[", 1);
    return next == std::string::npos || static_cast<std::size_t>(m.position(0)) < next ? m[1].str() : std::string();
}

TEST(FrameE2e, WindowPlacementAndModeSurviveARestart)
{
    KestProgram kest;
    kest.set("windows", "status", "30,400,20,300,0,1,0");
    ASSERT_TRUE(kest.start({"-noconnect"}));
    ASSERT_TRUE(wait_served(kest)) << kest.output();
    ASSERT_EQ(kest.stop(), 0);
    EXPECT_EQ(ini_key(kest, "windows", "status"), "30,400,20,300,0,1,0");

    // Started again: the status window opened at its place and saved the
    // same again (no drift), start after start.
    for (int run = 2; run <= 3; ++run) {
        SCOPED_TRACE(run);
        ASSERT_TRUE(kest.start_again({"-noconnect"}));
        ASSERT_TRUE(wait_served(kest)) << kest.output();
        ASSERT_EQ(kest.stop(), 0);
        EXPECT_EQ(ini_key(kest, "windows", "status"), "30,400,20,300,0,1,0");
    }

    // A settings file in compact mode starts in compact mode.
    const std::string ini = read_file(kest.settings() / "kest.ini");
    std::string changed = ini;
    const std::size_t mode = changed.find("[mode]");
    if (mode == std::string::npos)
        changed += "\n[mode]\nstate=compact\n";
    else
        changed = std::regex_replace(changed, std::regex("state=normal"), "state=compact");
    ASSERT_TRUE(write_file(kest.settings() / "kest.ini", changed));
    ASSERT_TRUE(kest.start_again({"-noconnect"}));
    ASSERT_TRUE(wait_served(kest)) << kest.output();
    EXPECT_EQ(evaluate("$compact"), std::make_pair(1, std::string("1")));
    ASSERT_EQ(kest.stop(), 0);
}

}  // namespace

namespace {

bool have_program(const char* name)
{
    return std::system((std::string("command -v ") + name + " >/dev/null 2>&1").c_str()) == 0;
}

// Runs a short helper to its end (bounded); true when it exited with 0.
bool run_helper(const std::vector<std::string>& argv, const std::string& display, const fs::path& log)
{
    ChildProcess p;
    if (!p.start(argv, {"DISPLAY=" + display}, log))
        return false;
    return p.wait_exit(10000) == 0;
}

// The program on a real X display with a window manager; one screenshot per
// mode into the test output folder, for review.
TEST(FrameE2e, ScreenshotOfEachModeUnderARealDisplay)
{
    for (const char* tool : {"Xvfb", "openbox", "import"})
        if (!have_program(tool))
            GTEST_SKIP() << tool << " is not installed";
    const fs::path out_dir = fs::path(KEST_BINARY).parent_path() / "test-output";
    std::error_code ec;
    fs::create_directories(out_dir, ec);

    KestProgram kest;
    ASSERT_TRUE(kest.start({"-noconnect"}));  // writes the settings
    ASSERT_TRUE(wait_served(kest)) << kest.output();
    ASSERT_EQ(kest.stop(), 0);

    const int number = 70 + static_cast<int>(::getpid() % 100);
    const std::string display = ":" + std::to_string(number);
    const fs::path logs = kest.settings().parent_path();
    ChildProcess xvfb;
    ASSERT_TRUE(xvfb.start({"/usr/bin/Xvfb", display, "-screen", "0", "1024x768x24", "-nolisten", "tcp"}, {},
                           logs / "xvfb.log"));
    const fs::path sock = "/tmp/.X11-unix/X" + std::to_string(number);
    for (auto end = Clock::now() + std::chrono::milliseconds(kWaitMs); Clock::now() < end && !fs::exists(sock);)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ASSERT_TRUE(fs::exists(sock)) << read_file(logs / "xvfb.log");
    ChildProcess wm;
    ASSERT_TRUE(wm.start({"/usr/bin/openbox"}, {"DISPLAY=" + display}, logs / "openbox.log"));
    // A screenshot of the display; empty when it failed.
    const auto take = [&](const std::string& name) {
        const fs::path shot = out_dir / ("frame-" + name + ".png");
        fs::remove(shot, ec);
        if (!run_helper({"/usr/bin/import", "-window", "root", shot.string()}, display, logs / "import.log"))
            return std::string();
        return read_file(shot);
    };
    const std::string desktop = take("desktop");
    ASSERT_FALSE(desktop.empty()) << read_file(logs / "import.log");

    struct Mode {
        const char* name;
        const char* state;
        const char* compact;
    };
    std::vector<std::string> shots;
    for (Mode mode : {Mode{"normal", "normal", "0"}, Mode{"compact", "compact", "1"}}) {
        SCOPED_TRACE(mode.name);
        std::string ini = read_file(kest.settings() / "kest.ini");
        ini = std::regex_replace(ini, std::regex("\nstate=[a-z]*"), "");
        ini = std::regex_replace(ini, std::regex("\\[mode\\]\n"), "");
        ini += std::string("\n[mode]\nstate=") + mode.state + "\n";
        ASSERT_TRUE(write_file(kest.settings() / "kest.ini", ini));
        ChildProcess shown;
        ASSERT_TRUE(shown.start({KEST_BINARY, "-r", kest.settings().string() + "/", "-noconnect"},
                                {"QT_QPA_PLATFORM=xcb", "DISPLAY=" + display,
                                 "XDG_RUNTIME_DIR=" + (logs / "run").string(),
                                 "XDG_CONFIG_HOME=" + (logs / "config").string()},
                                logs / (std::string("shown-") + mode.name + ".log")));
        ASSERT_TRUE(wait_served(kest)) << read_file(logs / (std::string("shown-") + mode.name + ".log"));
        EXPECT_EQ(evaluate("$compact $appstate"), std::make_pair(1, std::string(mode.compact) + " normal"));
        // The program paints when it will: shots are taken until the screen
        // shows something other than the empty desktop and the mode before.
        std::string shot;
        for (auto end = Clock::now() + std::chrono::milliseconds(kWaitMs); Clock::now() < end;) {
            shot = take(mode.name);
            if (shot.size() > 1000 && shot != desktop && (shots.empty() || shot != shots.back()))
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
        }
        EXPECT_GT(shot.size(), 1000u) << read_file(logs / "import.log");
        EXPECT_NE(shot, desktop) << "the program never showed";
        shots.push_back(shot);
        EXPECT_EQ(shown.stop(), 0);
    }
    // The modes look different: compact mode puts the status window on the desktop.
    ASSERT_EQ(shots.size(), 2u);
    EXPECT_NE(shots[0], shots[1]);
    wm.stop(2000);
    xvfb.stop(2000);
}

}  // namespace

namespace {

// Sets an environment variable for the programs a test starts and puts the
// old value back when it goes.
class EnvFor {
public:
    EnvFor(const char* name, const std::string& value) : name_(name)
    {
        if (const char* old = std::getenv(name))
            old_ = old;
        ::setenv(name, value.c_str(), 1);
    }
    ~EnvFor()
    {
        if (old_)
            ::setenv(name_, old_->c_str(), 1);
        else
            ::unsetenv(name_);
    }

private:
    const char* name_;
    std::optional<std::string> old_;
};

}  // namespace

TEST(FrameE2e, TheIrcLinkHandlerIsRegisteredAtStartUnlessTheRegistryIsOff)
{
    struct Case {
        const char* what;
        std::vector<std::string> args;
        int check_option;
        bool registered;
    };
    const Case cases[] = {
        {"the check on", {"-noconnect"}, 1, true},
        {"the check off", {"-noconnect"}, 0, false},
        {"the registry off on the command line", {"-noconnect", "-noreg"}, 1, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        KestProgram kest;
        const fs::path home = kest.settings().parent_path();
        EnvFor data("XDG_DATA_HOME", (home / "data").string());
        EnvFor config("XDG_CONFIG_HOME", (home / "config").string());
        kest.set("options", "n4", option_line({{32, c.check_option}}));
        ASSERT_TRUE(kest.start(c.args));
        ASSERT_TRUE(wait_served(kest)) << kest.output();
        const std::string entry = read_file(home / "data" / "applications" / "kest-irc.desktop");
        if (c.registered) {
            EXPECT_NE(entry.find("MimeType=x-scheme-handler/irc;\n"), std::string::npos) << entry;
            EXPECT_NE(entry.find("kest\" %u\n"), std::string::npos) << entry;
        } else {
            EXPECT_EQ(entry, "");
        }
        EXPECT_EQ(kest.stop(), 0);
    }
}

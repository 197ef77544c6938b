// The first start on a real X display with a window manager: a settings
// folder with a server but no identity, the program opens the options
// dialog at the Connection page, keys typed into it as a user types them
// give the identity, Connect links to the private server, and a peer on the
// server sees the new user. A screenshot of the dialog goes into the test
// output folder for review.
#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "e2e/harness.h"

using namespace e2e;

namespace {

using Clock = std::chrono::steady_clock;

bool have_program(const char* name)
{
    return std::system((std::string("command -v ") + name + " >/dev/null 2>&1").c_str()) == 0;
}

// A short helper run to its end (bounded); its exit code, -1 when it did
// not end in time.
int run_helper(const std::vector<std::string>& argv, const std::string& display, const fs::path& log)
{
    ChildProcess p;
    if (!p.start(argv, {"DISPLAY=" + display}, log))
        return -1;
    return p.wait_exit(10000);
}

// An X display with a window manager, for the life of the object.
class Display {
public:
    explicit Display(const fs::path& logs) : logs_(logs)
    {
        number_ = 60 + static_cast<int>(::getpid() % 100);
        name_ = ":" + std::to_string(number_);
        if (!xvfb_.start({"/usr/bin/Xvfb", name_, "-screen", "0", "1024x768x24", "-nolisten", "tcp"}, {},
                         logs / "xvfb.log"))
            return;
        const fs::path sock = "/tmp/.X11-unix/X" + std::to_string(number_);
        for (auto end = Clock::now() + std::chrono::milliseconds(kWaitMs); Clock::now() < end && !fs::exists(sock);)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        if (!fs::exists(sock))
            return;
        ready_ = wm_.start({"/usr/bin/openbox"}, {"DISPLAY=" + name_}, logs / "openbox.log");
    }
    ~Display()
    {
        wm_.stop(2000);
        xvfb_.stop(2000);
    }
    bool ready() const { return ready_; }
    const std::string& name() const { return name_; }

    // The id of the first window whose title is the text, waiting for it
    // at most `ms`; empty when none showed.
    std::string find_window(const std::string& title, int ms = kWaitMs)
    {
        const fs::path out = logs_ / "search.log";
        for (auto end = Clock::now() + std::chrono::milliseconds(ms); Clock::now() < end;) {
            if (run_helper({"/usr/bin/xdotool", "search", "--name", "^" + title + "$"}, name_, out) == 0) {
                std::string id = read_file(out);
                id = id.substr(0, id.find('\n'));
                if (!id.empty())
                    return id;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
        }
        return std::string();
    }
    // xdotool with the arguments; true when it succeeded.
    bool xdotool(const std::vector<std::string>& args)
    {
        std::vector<std::string> argv = {"/usr/bin/xdotool"};
        argv.insert(argv.end(), args.begin(), args.end());
        return run_helper(argv, name_, logs_ / "xdotool.log") == 0;
    }
    // A screenshot of the whole screen into the file; true when written.
    bool screenshot(const fs::path& file)
    {
        std::error_code ec;
        fs::remove(file, ec);
        return run_helper({"/usr/bin/import", "-window", "root", file.string()}, name_, logs_ / "import.log") == 0 &&
               fs::exists(file);
    }

private:
    fs::path logs_;
    int number_ = 0;
    std::string name_;
    bool ready_ = false;
    ChildProcess xvfb_;
    ChildProcess wm_;
};

// Asks the server about the nick until it is there (at most `ms`); the
// WHOIS user line, empty when it never showed.
std::string whois_user(Peer& peer, const std::string& nick, int ms = kWaitMs)
{
    for (auto end = Clock::now() + std::chrono::milliseconds(ms); Clock::now() < end;) {
        peer.send_line("WHOIS " + nick);
        IrcLine line;
        if (peer.wait_for("^:\\S+ (311|401) " + peer.nick + " " + nick + " ", 2000, &line) && line.command == "311")
            return line.raw;
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    return std::string();
}

TEST(FirstStartE2e, TheDialogAtStartTakesTheIdentityAndConnectConnects)
{
    for (const char* tool : {"Xvfb", "openbox", "xdotool", "import"})
        if (!have_program(tool))
            GTEST_SKIP() << tool << " is not installed";
    if (!server_available())
        GTEST_SKIP() << "no IRC server program";
    IrcServer server;
    ASSERT_TRUE(server.start()) << server.log();
    Peer watcher;
    ASSERT_TRUE(watcher.login(server.port(), "watcher"));

    // The settings of a first start: a server, no identity, nothing that
    // connects by itself.
    KestProgram kest;
    const fs::path logs = kest.settings().parent_path();
    ASSERT_TRUE(write_file(kest.settings() / "kest.ini",
                           "[kest]\nhost=E2ESERVER:127.0.0.1:" + std::to_string(server.port()) + "GROUP:E2E\n"));

    Display display(logs);
    ASSERT_TRUE(display.ready()) << read_file(logs / "xvfb.log");
    ChildProcess program;
    ASSERT_TRUE(program.start({KEST_BINARY, "-r", kest.settings().string() + "/"},
                              {"QT_QPA_PLATFORM=xcb", "DISPLAY=" + display.name(),
                               "XDG_RUNTIME_DIR=" + (logs / "run").string(),
                               "XDG_CONFIG_HOME=" + (logs / "config").string(),
                               "XDG_DATA_HOME=" + (logs / "data").string()},
                              logs / "program.log"));

    // The dialog opens by itself; the full name field has the focus.
    const std::string dialog = display.find_window("Seçenekler");
    ASSERT_FALSE(dialog.empty()) << read_file(logs / "program.log");
    ASSERT_TRUE(display.xdotool({"windowactivate", "--sync", dialog}));
    for (const std::vector<std::string>& step : std::vector<std::vector<std::string>>{
             {"type", "--delay", "30", "Ilk Kullanici"},
             {"key", "Tab"},
             {"type", "--delay", "30", "ilk@example.org"},
             {"key", "Tab"},
             {"type", "--delay", "30", "kestilk"},
             {"key", "Tab"},
             {"type", "--delay", "30", "kestilk_"},
         })
        ASSERT_TRUE(display.xdotool(step)) << read_file(logs / "xdotool.log");

    const fs::path out_dir = fs::path(KEST_BINARY).parent_path() / "test-output";
    std::error_code ec;
    fs::create_directories(out_dir, ec);
    EXPECT_TRUE(display.screenshot(out_dir / "options-first-start.png")) << read_file(logs / "import.log");

    // Nothing reached the server before Connect.
    watcher.send_line("WHOIS kestilk");
    EXPECT_TRUE(watcher.wait_for("^:\\S+ 401 watcher kestilk "));

    // Connect, by its key.
    ASSERT_TRUE(display.xdotool({"key", "alt+b"}));
    const std::string user = whois_user(watcher, "kestilk");
    ASSERT_FALSE(user.empty()) << read_file(logs / "program.log");
    EXPECT_NE(user.find(":Ilk Kullanici"), std::string::npos) << user;
    // The dialog is gone and the identity is in the settings file.
    EXPECT_TRUE(display.find_window("Seçenekler", 500).empty());
    const std::string ini = read_file(kest.settings() / "kest.ini");
    EXPECT_NE(ini.find("nick=kestilk\n"), std::string::npos) << ini;
    EXPECT_NE(ini.find("anick=kestilk_\n"), std::string::npos) << ini;
    EXPECT_NE(ini.find("email=ilk@example.org\n"), std::string::npos) << ini;
    EXPECT_NE(ini.find("user=Ilk Kullanici\n"), std::string::npos) << ini;
    EXPECT_EQ(program.stop(), 0) << read_file(logs / "program.log");
}

// The server picked from the list on the Servers page is the one Connect
// uses: the first start took the list's first entry, a server that is not
// there; the user goes to the Servers page by keys, picks the second entry
// and connects.
TEST(FirstStartE2e, TheServerPickedFromTheListIsTheOneConnectUses)
{
    for (const char* tool : {"Xvfb", "openbox", "xdotool", "import"})
        if (!have_program(tool))
            GTEST_SKIP() << tool << " is not installed";
    if (!server_available())
        GTEST_SKIP() << "no IRC server program";
    IrcServer server;
    ASSERT_TRUE(server.start()) << server.log();
    Peer watcher;
    ASSERT_TRUE(watcher.login(server.port(), "watcher"));

    KestProgram kest;
    const fs::path logs = kest.settings().parent_path();
    const int closed = free_port();
    ASSERT_TRUE(write_file(kest.settings() / "servers.ini",
                           "[servers]\nn0=KapaliSERVER:127.0.0.1:" + std::to_string(closed) +
                               "\nn1=YerelSERVER:127.0.0.1:" + std::to_string(server.port()) + "\n"));

    Display display(logs);
    ASSERT_TRUE(display.ready()) << read_file(logs / "xvfb.log");
    ChildProcess program;
    ASSERT_TRUE(program.start({KEST_BINARY, "-r", kest.settings().string() + "/"},
                              {"QT_QPA_PLATFORM=xcb", "DISPLAY=" + display.name(),
                               "XDG_RUNTIME_DIR=" + (logs / "run").string(),
                               "XDG_CONFIG_HOME=" + (logs / "config").string(),
                               "XDG_DATA_HOME=" + (logs / "data").string()},
                              logs / "program.log"));
    const std::string dialog = display.find_window("Seçenekler");
    ASSERT_FALSE(dialog.empty()) << read_file(logs / "program.log");
    ASSERT_TRUE(display.xdotool({"windowactivate", "--sync", dialog}));

    const fs::path out_dir = fs::path(KEST_BINARY).parent_path() / "test-output";
    std::error_code ec;
    fs::create_directories(out_dir, ec);
    for (const std::vector<std::string>& step : std::vector<std::vector<std::string>>{
             // The identity, as on the first start.
             {"type", "--delay", "30", "Liste Kullanici"},
             {"key", "Tab"},
             {"type", "--delay", "30", "liste@example.org"},
             {"key", "Tab"},
             {"type", "--delay", "30", "kestliste"},
             // Back past the fields and the dialog's buttons to the
             // category list, to the Servers row, on to its tree; the
             // second entry.
             {"key", "--delay", "50", "shift+Tab", "shift+Tab", "shift+Tab", "shift+Tab", "shift+Tab", "shift+Tab"},
             {"key", "--delay", "50", "Right", "s"},
             {"key", "--delay", "50", "Tab", "Tab", "Tab", "Tab"},
             {"key", "--delay", "50", "Down"},
         })
        ASSERT_TRUE(display.xdotool(step)) << read_file(logs / "xdotool.log");
    EXPECT_TRUE(display.screenshot(out_dir / "options-servers-page.png")) << read_file(logs / "import.log");
    // Select (the button after the tree, pressed with the space bar) takes
    // it back to the Connection page; Connect.
    ASSERT_TRUE(display.xdotool({"key", "--delay", "50", "Tab", "space"}));
    ASSERT_TRUE(display.xdotool({"key", "alt+b"}));

    const std::string user = whois_user(watcher, "kestliste");
    ASSERT_FALSE(user.empty()) << read_file(logs / "program.log");
    EXPECT_NE(user.find(":Liste Kullanici"), std::string::npos) << user;
    const std::string ini = read_file(kest.settings() / "kest.ini");
    EXPECT_NE(ini.find("host=YerelSERVER:127.0.0.1:" + std::to_string(server.port())), std::string::npos) << ini;
    EXPECT_EQ(program.stop(), 0) << read_file(logs / "program.log");
}

}  // namespace

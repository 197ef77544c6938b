// DCC file transfers between the program and irssi, a client that other
// users run: both on a private IRC server, irssi in its own tmux server with
// its own home folder, driven by the keys a user types. Files are compared
// by SHA-256.
#include <gtest/gtest.h>

#include <QCryptographicHash>

#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <random>
#include <regex>
#include <string>
#include <thread>

#include "e2e/harness.h"

using namespace e2e;

namespace {

using Clock = std::chrono::steady_clock;

const char* const kMe = "kestbot";
const char* const kRunScript = "on *:TEXT:run *:#ctl:if ($nick == ctl) $2-\n";

std::string sha256(const std::string& bytes)
{
    return QCryptographicHash::hash(QByteArray::fromRawData(bytes.data(), static_cast<qsizetype>(bytes.size())),
                                    QCryptographicHash::Sha256)
        .toHex()
        .toStdString();
}

std::string random_bytes(std::size_t n, unsigned seed)
{
    std::mt19937 gen(seed);
    std::string s(n, '\0');
    for (char& c : s)
        c = static_cast<char>(gen() & 255u);
    return s;
}


// The full path of a program found on PATH; empty when none.
std::string which(const std::string& program)
{
    const char* path = std::getenv("PATH");
    std::string rest = path ? path : "/usr/bin:/bin";
    std::size_t i = 0;
    while (i <= rest.size()) {
        std::size_t e = rest.find(':', i);
        if (e == std::string::npos)
            e = rest.size();
        const fs::path p = fs::path(rest.substr(i, e - i)) / program;
        if (::access(p.c_str(), X_OK) == 0)
            return p.string();
        i = e + 1;
    }
    return std::string();
}

// Runs a short command to its end (at most `ms`); its exit code.
int run_tool(std::vector<std::string> argv, const fs::path& log, int ms = kWaitMs)
{
    ChildProcess p;
    argv[0] = which(argv[0]);
    if (argv[0].empty() || !p.start(argv, {}, log))
        return -1;
    return p.wait_exit(ms);
}

// irssi in a tmux server of its own (its own socket), with a home folder
// whose configuration names the server, the download folder and the DCC
// settings. The irssi process is killed by its pid at the end, then the
// tmux server.
class Irssi {
public:
    explicit Irssi(const std::string& nick) : home_("irssi"), nick_(nick)
    {
        socket_ = "kestdcc" + std::to_string(::getpid()) + "_" + std::to_string(++count_);
    }
    ~Irssi() { stop(); }

    bool start(int server_port, const std::string& extra_settings = "")
    {
        fs::create_directories(downloads());
        const std::string config =
            "servers = ( { address = \"127.0.0.1\"; chatnet = \"e2e\"; port = \"" + std::to_string(server_port) +
            "\"; autoconnect = \"yes\"; } );\n"
            "chatnets = { e2e = { type = \"IRC\"; }; };\n"
            "settings = {\n"
            "  core = { real_name = \"irssi peer\"; user_name = \"irpeer\"; nick = \"" + nick_ +
            "\"; settings_autosave = \"no\"; resolve_reverse_lookup = \"no\"; };\n"
            "  \"irc/dcc\" = { dcc_download_path = \"" + downloads().string() +
            "\"; dcc_own_ip = \"127.0.0.1\"; dcc_port = \"20000 30000\"; dcc_autoget = \"yes\"; "
            "dcc_autoresume = \"yes\"; dcc_autoget_max_size = \"0\"; dcc_timeout = \"60\"; " + extra_settings + " };\n"
            "  \"fe-common/core\" = { autolog = \"no\"; };\n"
            "};\n";
        write_file(home_.path() / ".irssi" / "config", config);
        const std::string cmd = "HOME=" + home_.path().string() + " exec irssi --home=" +
                                (home_.path() / ".irssi").string() + " -n " + nick_;
        if (run_tool({"tmux", "-L", socket_, "-f", "/dev/null", "new-session", "-d", "-x", "200", "-y", "50", "-s",
                      "peer", cmd},
                     home_.path() / "tmux.log") != 0)
            return false;
        started_ = true;
        const fs::path pidfile = home_.path() / "pid";
        run_tool({"tmux", "-L", socket_, "display-message", "-p", "-t", "peer", "#{pane_pid}"}, pidfile);
        pid_ = std::atoi(read_file(pidfile).c_str());
        return pid_ > 0;
    }
    // Types a line into irssi.
    void type(const std::string& line)
    {
        run_tool({"tmux", "-L", socket_, "send-keys", "-t", "peer", "-l", line}, home_.path() / "keys.log");
        run_tool({"tmux", "-L", socket_, "send-keys", "-t", "peer", "Enter"}, home_.path() / "keys.log");
    }
    std::string screen()
    {
        const fs::path out = home_.path() / "screen";
        run_tool({"tmux", "-L", socket_, "capture-pane", "-p", "-t", "peer", "-S", "-200"}, out);
        return read_file(out);
    }
    // Waits until irssi's window shows the text.
    bool wait_screen(const std::string& text, int ms = kWaitMs)
    {
        auto end = Clock::now() + std::chrono::milliseconds(ms);
        while (Clock::now() < end) {
            if (screen().find(text) != std::string::npos)
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
        }
        return false;
    }
    void stop()
    {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            pid_ = -1;
        }
        if (started_) {
            run_tool({"tmux", "-L", socket_, "kill-server"}, home_.path() / "tmux.log", 5000);
            started_ = false;
        }
    }
    fs::path downloads() const { return home_.path() / "downloads"; }

private:
    TempDir home_;
    std::string nick_;
    std::string socket_;
    bool started_ = false;
    pid_t pid_ = -1;
    static inline int count_ = 0;
};

bool wait_in_channel(Peer& peer, const std::string& who, const std::string& channel, int ms = kWaitMs)
{
    auto end = Clock::now() + std::chrono::milliseconds(ms);
    const std::regex re("(^| )[~&@%+]*" + channel + "( |$)");
    while (Clock::now() < end) {
        peer.send_line("WHOIS " + who);
        IrcLine l;
        while (peer.wait_for("^:\\S+ (319|318|401) " + peer.nick + " ", 3000, &l) && l.command == "319")
            if (!l.params.empty() && std::regex_search(l.params.back(), re))
                return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    return false;
}

bool wait_file(const fs::path& p, const std::string& bytes, int ms = kWaitMs)
{
    auto end = Clock::now() + std::chrono::milliseconds(ms);
    while (Clock::now() < end) {
        std::error_code ec;
        if (fs::exists(p, ec) && fs::file_size(p, ec) == bytes.size() && read_file(p) == bytes)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
}

struct DccIrssiE2e : ::testing::Test {
    void SetUp() override
    {
        if (!server_available())
            GTEST_SKIP() << "the IRC server program " << kServerBinary << " is not installed";
        if (which("irssi").empty() || which("tmux").empty())
            GTEST_SKIP() << "irssi and tmux are not installed";
        ASSERT_TRUE(server.start()) << server.log();
        ASSERT_TRUE(ctl.login(server.port(), "ctl")) << joined(ctl.history());
    }
    void TearDown() override
    {
        irssi.stop();
        kest.stop(3000);
        server.stop();
    }
    void start(int exists_choice = 1)
    {
        kest.use_server(server.port());
        kest.set("options", "n0", option_line({{0, 1}, {14, 1}, {15, exists_choice}}));
        kest.log_status();
        kest.add_script("run.kst", kRunScript);
        ASSERT_TRUE(kest.start({"-n", kMe, "-j", "#ctl"}));
        ASSERT_TRUE(wait_in_channel(ctl, kMe, "#ctl")) << kest.output() << kest.status_log();
        ASSERT_TRUE(ctl.join("#ctl"));
        ASSERT_TRUE(irssi.start(server.port()));
        ASSERT_TRUE(irssi.wait_screen("End of MOTD")) << irssi.screen();
        irssi.type("/join #ctl");
        ASSERT_TRUE(wait_in_channel(ctl, "irpeer", "#ctl")) << irssi.screen();
    }
    void run(const std::string& command) { ctl.send_line("PRIVMSG #ctl :run " + command); }
    fs::path downloads() const { return kest.settings() / "downloads"; }
    bool status_says(const std::string& text, int ms = kWaitMs)
    {
        auto end = Clock::now() + std::chrono::milliseconds(ms);
        while (Clock::now() < end) {
            if (kest.status_log().find(text) != std::string::npos)
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return false;
    }

    IrcServer server;
    Peer ctl;
    KestProgram kest;
    Irssi irssi{"irpeer"};
};

}  // namespace

TEST_F(DccIrssiE2e, FilesGoBothWaysPlainAndPassive)
{
    ASSERT_NO_FATAL_FAILURE(start());
    TempDir dir("dccirssi");
    struct Case {
        const char* name;
        std::size_t size;
        bool passive;
    } cases[] = {
        {"zero.bin", 0, false},
        {"one.bin", 1, false},
        {"three.bin", 3 * 1024 * 1024, false},
        {"passive.bin", 200000, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string bytes = random_bytes(c.size, static_cast<unsigned>(c.size) + 1);
        const fs::path out = dir.path() / (std::string("out-") + c.name);
        const fs::path in = dir.path() / (std::string("in-") + c.name);
        ASSERT_TRUE(write_file(out, bytes));
        ASSERT_TRUE(write_file(in, bytes));
        // The program sends to irssi.
        run(std::string("dcc passive ") + (c.passive ? "on" : "off"));
        run("dcc send -n irpeer " + out.string());
        if (c.passive) {
            // irssi takes passive offers (port 0) only when its user asks.
            irssi.type("/window 1");
            ASSERT_TRUE(irssi.wait_screen("port 0]: " + out.filename().string())) << irssi.screen();
            irssi.type(std::string("/dcc get ") + kMe + " " + out.filename().string());
        }
        EXPECT_TRUE(wait_file(irssi.downloads() / out.filename(), bytes)) << irssi.screen() << kest.status_log();
        EXPECT_TRUE(status_says("* DCC Send: " + out.filename().string() + " dosyası irpeer kullanıcısına gönderildi"))
            << kest.status_log() << irssi.screen();
        // irssi sends to the program.
        irssi.type(std::string("/dcc send ") + (c.passive ? "-passive " : "") + std::string(kMe) + " " + in.string());
        EXPECT_TRUE(status_says("* DCC Get: " + in.filename().string() + " dosyası irpeer kullanıcısından alındı"))
            << kest.status_log() << irssi.screen();
        EXPECT_EQ(sha256(read_file(downloads() / in.filename())), sha256(bytes));
    }
}

TEST_F(DccIrssiE2e, InterruptedFilesResumeBothWays)
{
    ASSERT_NO_FATAL_FAILURE(start(1));
    TempDir dir("dccirssi");
    const std::string bytes = random_bytes(1500000, 99);
    // irssi holds the first 600000 bytes: it asks to resume at its full size.
    ASSERT_TRUE(write_file(irssi.downloads() / "toirssi.bin", bytes.substr(0, 600000)));
    ASSERT_TRUE(write_file(dir.path() / "toirssi.bin", bytes));
    run("dcc send -n irpeer " + (dir.path() / "toirssi.bin").string());
    EXPECT_TRUE(wait_file(irssi.downloads() / "toirssi.bin", bytes)) << irssi.screen() << kest.status_log();
    EXPECT_TRUE(status_says("* DCC Send: toirssi.bin dosyası irpeer kullanıcısına gönderildi")) << kest.status_log();

    // The program holds the first 700000 bytes: it resumes 8192 bytes before.
    ASSERT_TRUE(write_file(downloads() / "tokest.bin", bytes.substr(0, 700000)));
    ASSERT_TRUE(write_file(dir.path() / "tokest.bin", bytes));
    irssi.type(std::string("/dcc send ") + kMe + " " + (dir.path() / "tokest.bin").string());
    EXPECT_TRUE(status_says("* DCC Get: tokest.bin dosyası irpeer kullanıcısından alındı"))
        << kest.status_log() << irssi.screen();
    EXPECT_EQ(sha256(read_file(downloads() / "tokest.bin")), sha256(bytes));
}

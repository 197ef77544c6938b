// Whole-program test of the finger service on its real port 79: the finger
// server started with the program answers a plain socket, and the
// program's finger client, run from a script, asks that same server and
// shows the answer in the Finger window.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

#include "e2e/harness.h"
#include "e2e/net_support.h"

using namespace e2e;

namespace {

using Clock = std::chrono::steady_clock;

// Port 79 is one for the machine: the test programs that use it take this
// lock first (the plain and the shuffled run may go at the same time).
class PortLock {
public:
    PortLock()
    {
        fd_ = ::open("/tmp/kest-e2e-port79.lock", O_CREAT | O_RDWR, 0666);
        auto end = Clock::now() + std::chrono::seconds(120);
        while (fd_ >= 0 && Clock::now() < end) {
            if (::flock(fd_, LOCK_EX | LOCK_NB) == 0) {
                held_ = true;
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    }
    ~PortLock()
    {
        if (fd_ >= 0)
            ::close(fd_);  // releases the lock
    }
    bool held() const { return held_; }

private:
    int fd_ = -1;
    bool held_ = false;
};

// Whether port 79 on every address can be bound here (root, and free).
bool finger_port_free()
{
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(79);
    bool ok = ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    ::close(fd);
    return ok;
}

// One request to 127.0.0.1:79; what came back until the server closed
// (empty when it could not be reached), bounded in time.
std::string ask_port79(const std::string& request, int ms = 5000)
{
    auto end = Clock::now() + std::chrono::milliseconds(ms);
    int fd = -1;
    while (Clock::now() < end) {
        fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(79);
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0)
            break;
        ::close(fd);
        fd = -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    if (fd < 0)
        return std::string();
    timeval tv{1, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    ::send(fd, request.data(), request.size(), MSG_NOSIGNAL);
    std::string out;
    char buf[1024];
    while (Clock::now() < end) {
        ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n == 0)
            break;
        if (n > 0)
            out.append(buf, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return out;
}

bool wait_log_line(const KestProgram& k, const std::string& window, const std::string& line, int ms = kWaitMs)
{
    auto end = Clock::now() + std::chrono::milliseconds(ms);
    while (Clock::now() < end) {
        if (log_index(window_log(k, window), line) >= 0)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
}

} // namespace

TEST(FingerE2e, TheServerStartsWithTheProgramAndTheClientAsksIt)
{
    if (!server_available())
        GTEST_SKIP() << "the IRC server program is not installed";
    PortLock lock;
    ASSERT_TRUE(lock.held()) << "port 79 stayed locked by another test run";
    if (!finger_port_free())
        GTEST_SKIP() << "port 79 cannot be bound here (not root, or taken)";
    IrcServer server;
    ASSERT_TRUE(server.start()) << server.log();
    Peer ctl;
    ASSERT_TRUE(ctl.login(server.port(), "ctl"));

    KestProgram k;
    const fs::path file = k.settings() / "finger.txt";
    ASSERT_TRUE(write_file(file, "[default]\nNobody here\n[alice]\nAlice Example\n\tdesk 4\n\n\n[bob]\nBob\n"));
    k.use_server(server.port());
    k.set("options", "n2", option_line({{17, 1}}));  // show finger requests
    k.set("options", "n3", option_line({{28, 1}}));  // the finger server on
    k.set("files", "finger", file.string());
    k.set("logging", "Window", "on");                 // the Finger window's log
    k.log_status();
    k.add_script("run.kst", "on *:TEXT:run *:?:if ($nick == ctl) $2-\n");
    ASSERT_TRUE(k.start({"-n", "fingerkest"}));

    // The server answers a plain socket from the sections of the file.
    EXPECT_EQ(ask_port79("ALICE\r\n"), "Alice Example\n\tdesk 4\n") << k.output();
    EXPECT_EQ(ask_port79("someone\r\n"), "Nobody here\n");
    EXPECT_TRUE(wait_log_line(k, "status", "\\* Finger server özel \\[ALICE\\].*by 127\\.0\\.0\\.1")) << k.status_log();

    // The client asks the program's own server.
    ASSERT_TRUE(wait_nick_present(ctl, "fingerkest", kWaitMs)) << k.status_log() << server.log();
    ctl.send_line("PRIVMSG fingerkest :run finger alice@127.0.0.1");
    // The Finger window's text, saved by the program until the query's end
    // is in it.
    const fs::path saved = k.settings() / "finger-window.txt";
    std::string text;
    for (auto until = Clock::now() + std::chrono::milliseconds(kWaitMs);
         Clock::now() < until && text.find("Finger oturumunun sonu") == std::string::npos;) {
        ctl.send_line("PRIVMSG fingerkest :run savebuf -g " + saved.string());
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        text = read_file(saved);
    }
    int trying = log_index(text, "Bağlanılmaya çalışılan finger alice@127\\.0\\.0\\.1");
    EXPECT_GE(trying, 0) << text << k.status_log();
    EXPECT_GT(log_index(text, "Alice Example", static_cast<std::size_t>(trying < 0 ? 0 : trying)), trying) << text;
    EXPECT_GE(log_index(text, "        desk 4"), 0) << text;
    EXPECT_GE(log_index(text, "Finger oturumunun sonu"), 0) << text;
    EXPECT_LT(log_index(text, "Nobody here"), 0) << text;

    // At exit the listener goes with the program.
    EXPECT_EQ(k.stop(), 0);
    EXPECT_TRUE(finger_port_free());
}

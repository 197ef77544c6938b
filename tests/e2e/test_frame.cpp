// Whole-program tests of the frame: other programs drive the running program
// through its local socket (commands, evaluations, and messages that are
// broken or too large), and window placements and the frame's mode survive a
// restart.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
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
    if (!ipc_request(kHandOverService, IPC_EVALUATE, text, &answer, &reply, 3000))
        return {-1, std::string()};
    return {answer, reply};
}

// Sends raw bytes to the program's socket and reports whether any reply
// came back before the program closed the connection.
bool raw_exchange(const std::string& bytes, std::string* got)
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
    timeval tv{3, 0};
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
    ASSERT_TRUE(ipc_request(kHandOverService, IPC_RUN_COMMAND, "/set %fromoutside 42", &answer, nullptr, 3000));
    EXPECT_EQ(answer, 1);
    EXPECT_EQ(evaluate("value %fromoutside here"), std::make_pair(1, std::string("value 42 here")));
    // The frame's own identifiers answer too.
    EXPECT_EQ(evaluate("$compact $appstate"), std::make_pair(1, std::string("0 normal")));
    // A failing command in mode 3 (wparam 2) answers the mode.
    ASSERT_TRUE(ipc_request(kHandOverService, IPC_RUN_COMMAND | (2 << 16), "/nosuchcommandhere", &answer, nullptr,
                            3000));
    EXPECT_EQ(answer, 3);

    // A request longer than 1,024 characters runs only its first 1,024;
    // the reply never grows past that either.
    auto [long_answer, long_reply] = evaluate(std::string(2000, 'x'));
    EXPECT_EQ(long_answer, 1);
    EXPECT_EQ(long_reply, std::string(1024, 'x'));

    // Broken and oversized messages get no answer and the program goes on.
    std::string got;
    ASSERT_TRUE(raw_exchange(header("KIP1", IPC_EVALUATE, 3) + "abc", &got));  // a whole one is answered
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

// The send path: lines cut at the usable length keep their line feed, a
// socket without room keeps every line in order (partial writes resume on the
// write-ready event), a closed link reports itself. Lines are read back from
// a real link.
#include "model/connection.h"
#include "app/subsystems.h"
#include "app/frame_proc.h"
#include "core/string_list.h"
#include "irc/link/connect.h"
#include "irc/link/send_queue.h"
#include "platform/platform_test_env.h"
#include "platform/sockets.h"
#include "support/hook_guard.h"
#include "support/test_wire.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

class SendLine : public ::testing::Test {
protected:
    void SetUp() override
    {
        platform_test_app();
        conn_ = conn_new(nullptr);
        ASSERT_TRUE(wire_.ok());
        wire_.attach(conn_);
        conn_->connected = 1;
    }
    void TearDown() override
    {
        conn_->socket = -1;
        conn_free(conn_);
    }
    TestWire wire_;
    Connection* conn_ = nullptr;
};

TEST_F(SendLine, EveryWrittenLineEndsInItsLineFeed)
{
    struct Case {
        const char* name;
        std::string in;
        std::string out;
    } cases[] = {
        {"ordinary line", "PRIVMSG #a :hi\n", "PRIVMSG #a :hi\n"},
        {"missing line feed is added", "PING :x", "PING :x\n"},
        {"5,000 characters: first 4,149 and the line feed",
         "PRIVMSG #a :" + std::string(4988, 'x') + "\n",
         ("PRIVMSG #a :" + std::string(4988, 'x')).substr(0, 4149) + "\n"},
        {"exactly 4,150 with its line feed is kept", std::string(4149, 'y') + "\n",
         std::string(4149, 'y') + "\n"},
        {"4,150 without line feed loses its last byte to it", std::string(4150, 'y'),
         std::string(4149, 'y') + "\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        wire_.clear();
        EXPECT_EQ(irc_send_line(c.in, kLineFlood, conn_), 1);
        ASSERT_EQ(wire_.lines().size(), 1u);
        EXPECT_EQ(wire_.lines()[0], c.out);
        EXPECT_LE(wire_.lines()[0].size(), 4150u);
        EXPECT_EQ(wire_.pending(), "");
    }
}

TEST_F(SendLine, WithoutASocketTheLinkIsClosedAndNothingSent)
{
    conn_->socket = -1;
    EXPECT_EQ(irc_send_line("PING :x\n", 0, conn_), 0);
    EXPECT_EQ(wire_.all(), "");
    EXPECT_EQ(conn_->connected, 0); // the link was closed
    EXPECT_EQ(irc_send_line("PING :x\n", 0, nullptr), 0);
}

// A socket without room keeps every line in the queue, in order, and a
// line sent later goes behind them; the write-ready event sends them on.
TEST_F(SendLine, BlockedLinesResumeInOrder)
{
    ASSERT_TRUE(wire_.fill());
    EXPECT_EQ(irc_send_line("NICK kest\n", 0, conn_), 0); // blocked: queued
    EXPECT_EQ(irc_send_line("USER a b c :d\n", 0, conn_), 0);
    EXPECT_EQ(strlist_count(conn_->send_queue), 2);
    EXPECT_EQ(irc_send_line(std::string(), 0, conn_), 0); // still blocked: untouched
    EXPECT_EQ(strlist_count(conn_->send_queue), 2);
    wire_.clear(); // the server reads again
    EXPECT_EQ(irc_send_line("JOIN #x\n", 0, conn_), 1);
    for (int i = 0; i < 50 && conn_->send_queue; ++i)
        irc_send_line(std::string(), 0, conn_);
    EXPECT_EQ(wire_.all(), "NICK kest\nUSER a b c :d\nJOIN #x\n");
    EXPECT_EQ(conn_->send_queue, nullptr);
}

// ---- Against a real socket with a small buffer ----

int listen_loopback(int& port)
{
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    int small = 4096;
    setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    listen(fd, 4);
    socklen_t len = sizeof a;
    getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    port = ntohs(a.sin_port);
    return fd;
}

int accept_within(int listener, int ms)
{
    pollfd p{listener, POLLIN, 0};
    if (::poll(&p, 1, ms) <= 0)
        return -1;
    int fd = ::accept(listener, nullptr, nullptr);
    if (fd >= 0)
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    return fd;
}

void drain(int fd, std::string& into)
{
    char buf[8192];
    for (;;) {
        ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n <= 0)
            return;
        into.append(buf, static_cast<std::size_t>(n));
    }
}

TEST(SendQueueSocket, FullBufferKeepsOrderAndResumesOnWriteReady)
{
    HookGuard hooks;
    platform_test_app();
    frame_proc_install();
    irc_link_install();
    app_wire_irc_link();
    int port = 0;
    int listener = listen_loopback(port);
    ASSERT_GE(listener, 0);
    Connection* conn = conn_new(nullptr);
    int s = sock_create(AF_INET, SOCK_STREAM);
    ASSERT_NE(s, INVALID_SOCKET);
    sock_set_option(s, SOL_SOCKET, SO_SNDBUF, 4096);
    SockAddr addr;
    ASSERT_EQ(sockaddr_from_text("127.0.0.1", port, addr), 1);
    sock_connect(s, addr);
    int peer = accept_within(listener, 3000);
    ASSERT_GE(peer, 0);
    conn->socket = s;
    conn->connected = 1;
    sock_async_select(s, WM_APP_SERVER_SOCKET, FD_READ | FD_WRITE | FD_CLOSE);

    std::string expected;
    bool queued = false;
    for (int i = 0; i < 400; ++i) {
        std::string line = "PRIVMSG #t :" + std::to_string(i) + " " + std::string(900, 'a' + i % 26) + "\n";
        expected += line;
        irc_send_line(line, 0, conn);
        if (conn->send_queue)
            queued = true;
    }
    EXPECT_TRUE(queued) << "the socket buffer never filled";
    std::string got;
    ASSERT_TRUE(pump_until([&] {
        drain(peer, got);
        return got.size() >= expected.size();
    }, 10000));
    EXPECT_EQ(got.size(), expected.size());
    EXPECT_TRUE(got == expected) << "lines lost, doubled or out of order";
    EXPECT_EQ(conn->send_queue, nullptr);
    conn_free(conn);
    ::close(peer);
    ::close(listener);
}

} // namespace

// The ident server against plain client sockets on loopback: the reply
// line, requests it must not answer, one client at a time.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>

#include "model/connection.h"
#include "app/frame_proc.h"
#include "core/options.h"
#include "irc/link/net_settings.h"
#include "irc/services/ident.h"
#include "platform/platform_test_env.h"
#include "support/hook_guard.h"
#include "support/test_support.h"

namespace {

int free_loopback_port()
{
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t len = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    ::close(fd);
    return ntohs(a.sin_port);
}

int connect_to(int port)
{
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// What the server sends until it closes the link, ends a line or `ms`
// pass; `closed` tells whether it closed. After a line, what else comes
// at once is read too.
std::string read_reply(int fd, bool& closed, int ms = 30000)
{
    std::string out;
    closed = false;
    const auto read_some = [&] {
        char buf[256];
        ssize_t n = ::recv(fd, buf, sizeof buf, MSG_DONTWAIT);
        if (n > 0)
            out.append(buf, static_cast<std::size_t>(n));
        if (n == 0)
            closed = true;
    };
    pump_until(
        [&] {
            read_some();
            return closed || (out.size() >= 2 && out.compare(out.size() - 2, 2, "\r\n") == 0);
        },
        ms);
    if (!closed)
        pump_until(
            [&] {
                read_some();
                return closed;
            },
            200);
    return out;
}

class IdentServer : public ::testing::Test {
    HookGuard hooks_;
protected:
    void SetUp() override
    {
        platform_test_app();
        frame_proc_install();
        ident_install();
        saved = ident_settings;
        saved_only = opt(OPT_IDENT_ONLY_WHILE_CONNECTING);
        saved_show = opt(OPT_IDENT_SHOW_REQUESTS);
        opt_set(OPT_IDENT_ONLY_WHILE_CONNECTING, 0);
        opt_set(OPT_IDENT_SHOW_REQUESTS, 0);
        ident_settings.enabled = 1;
        ident_settings.userid = "kest.id!";
        ident_settings.system = "UNIX";
        ident_settings.port = free_loopback_port();
        conn = conn_new(nullptr);
        ASSERT_NE(conn, nullptr);
        ident_listen(conn);
        ASSERT_EQ(ident_listening_port(), ident_settings.port);
    }
    void TearDown() override
    {
        ident_close(nullptr);
        if (conn_is_live(conn))
            conn_free(conn);
        ident_settings = saved;
        opt_set(OPT_IDENT_ONLY_WHILE_CONNECTING, saved_only);
        opt_set(OPT_IDENT_SHOW_REQUESTS, saved_show);
    }
    IdentSettings saved;
    int saved_only = 0, saved_show = 0;
    Connection* conn = nullptr;
};

TEST_F(IdentServer, AnswersWellFormedRequestsAndClosesOnOthers)
{
    struct Case {
        const char* what;
        std::string request;
        const char* reply;   // empty: closed without a reply
    };
    const Case cases[] = {
        {"blank before the comma, CR LF", "6667 , 1025\r\n", "6667, 1025 : USERID : UNIX : kest.id_\r\n"},
        {"no blanks", "113,40000\n", "113, 40000 : USERID : UNIX : kest.id_\r\n"},
        {"25 bytes is still a request", "6667,1025" + std::string(14, ' ') + "\r\n",
         "6667, 1025 : USERID : UNIX : kest.id_\r\n"},
        {"26 bytes is too long", "6667,1025" + std::string(15, ' ') + "\r\n", ""},
        {"no comma", "6667 1025\r\n", ""},
        {"nothing after the comma", "6667,\r\n", ""},
        {"one byte", "6", ""},
    };
    for (int round = 0; round < 2; ++round) {  // the listener serves again after each
        for (const Case& c : cases) {
            SCOPED_TRACE(c.what);
            int fd = connect_to(ident_settings.port);
            ASSERT_GE(fd, 0);
            ASSERT_EQ(::send(fd, c.request.data(), c.request.size(), 0), static_cast<ssize_t>(c.request.size()));
            bool closed = false;
            std::string reply = read_reply(fd, closed);
            EXPECT_EQ(reply, c.reply);
            if (std::string(c.reply).empty()) {
                EXPECT_TRUE(closed) << "a bad request must close the client";
            }
            ::close(fd);
            ident_close(conn);  // as the countdown would
        }
    }
}

TEST_F(IdentServer, ASecondClientWaitsUntilTheFirstIsClosed)
{
    int first = connect_to(ident_settings.port);
    ASSERT_GE(first, 0);
    pump_for(100);
    int second = connect_to(ident_settings.port);  // queued by the system
    ASSERT_GE(second, 0);
    const std::string request = "6667, 1025\r\n";
    ASSERT_GT(::send(second, request.data(), request.size(), 0), 0);
    bool closed = false;
    EXPECT_EQ(read_reply(second, closed, 500), "") << "served while the first one is";
    ::close(first);  // the first goes without a request
    std::string reply = read_reply(second, closed);
    EXPECT_EQ(reply, "6667, 1025 : USERID : UNIX : kest.id_\r\n");
    ::close(second);
}

TEST_F(IdentServer, OnlyWhileConnectingTheListenerClosesWhenNobodyNeedsIt)
{
    ident_close(nullptr);
    opt_set(OPT_IDENT_ONLY_WHILE_CONNECTING, 1);
    conn->connecting = 0;
    conn->ident_state = kIdentNone;
    ident_listen(conn);
    EXPECT_EQ(ident_listening_port(), 0) << "nobody is connecting";
    ident_conn_start(conn);
    EXPECT_EQ(ident_listening_port(), ident_settings.port);
    ident_conn_start(conn);  // again: the one listener is kept
    EXPECT_EQ(ident_listening_port(), ident_settings.port);
    int fd = connect_to(ident_settings.port);
    const std::string request = "6667,1025\r\n";
    ASSERT_GT(::send(fd, request.data(), request.size(), 0), 0);
    bool closed = false;
    EXPECT_EQ(read_reply(fd, closed), "6667, 1025 : USERID : UNIX : kest.id_\r\n");
    EXPECT_EQ(conn->ident_state, kIdentNone) << "served";
    ident_client_done();
    EXPECT_EQ(ident_listening_port(), 0) << "served and nobody else waits";
    ::close(fd);
}

} // namespace

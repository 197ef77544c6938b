// Connecting against a loopback listener that plays the server: the
// registration lines, the retry after a lost link, QUIT on exit.
#include "model/connection.h"
#include "irc/link/connections.h"
#include "app/subsystems.h"
#include "app/frame_proc.h"
#include "core/main_settings.h"
#include "irc/link/close.h"
#include "irc/link/connect.h"
#include "platform/platform_test_env.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>
#include "support/hook_guard.h"

namespace {

int listen_loopback(int& port)
{
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    listen(fd, 4);
    socklen_t len = sizeof a;
    getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    port = ntohs(a.sin_port);
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    return fd;
}

// Reads what is waiting; returns false once the peer closed.
bool drain(int fd, std::string& into)
{
    char buf[4096];
    for (;;) {
        ssize_t n = ::recv(fd, buf, sizeof buf, MSG_DONTWAIT);
        if (n == 0)
            return false;
        if (n < 0)
            return true;
        into.append(buf, static_cast<std::size_t>(n));
    }
}

class LinkConnect : public ::testing::Test {
    HookGuard hooks_;  // every seam back as it was when the test ends
protected:
    void SetUp() override
    {
        platform_test_app();
        frame_proc_install();
        irc_link_install();
        app_wire_irc_link();
        listener_ = listen_loopback(port_);
        conn_ = conn_new(nullptr);
        conn_->stored_identity[0] = "Kest User";
        conn_->stored_identity[1] = "me@example.org";
        conn_->stored_identity[2] = "kest";
        conn_->stored_identity[5] = "127.0.0.1";
        conn_->stored_identity[9] = "6667";
    }
    void TearDown() override
    {
        if (conn_is_live(conn_)) {
            conn_->quitting = 1;
            conn_kill_connect_timer(conn_);
            conn_->waiting_retry = 0;
            conn_close(std::string(), conn_);
            conn_free(conn_);
        }
        if (peer_ >= 0)
            ::close(peer_);
        ::close(listener_);
        main_settings.quit_message.clear();
    }
    bool accept_peer(int ms)
    {
        return pump_until([&] {
            peer_ = ::accept(listener_, nullptr, nullptr);
            return peer_ >= 0;
        }, ms);
    }
    // Connects through a /server request and reads the registration.
    std::string connect_and_register(const std::string& password)
    {
        irc_request_host = "127.0.0.1:" + std::to_string(port_);
        irc_request_password = password;
        EXPECT_EQ(conn_begin_connect(conn_), 1);
        EXPECT_TRUE(accept_peer(5000));
        std::string got;
        EXPECT_TRUE(pump_until([&] {
            drain(peer_, got);
            return got.find("USER ") != std::string::npos && got.back() == '\n';
        }, 5000));
        return got;
    }
    int listener_ = -1;
    int port_ = 0;
    int peer_ = -1;
    Connection* conn_ = nullptr;
};

TEST_F(LinkConnect, SendsPassNickUserOnConnect)
{
    std::string got = connect_and_register("secret");
    EXPECT_EQ(got, "PASS secret\nNICK kest\nUSER me \"example.org\" \"127.0.0.1\" :Kest User\n");
    EXPECT_EQ(conn_->connected, 1);
    EXPECT_EQ(conn_->connecting, 0);
}

TEST_F(LinkConnect, RegistrationFieldsFromTheIdentity)
{
    struct Case {
        const char* name;
        std::string full, email, local_host;
        std::string user_line;
    } cases[] = {
        {"e-mail before @ is the user", "Full", "bob@h.net", "", "USER bob \"h.net\" \"srv\" :Full\n"},
        {"e-mail starting with @ gives user", "Full", "@h.net", "", "USER user \"h.net\" \"srv\" :Full\n"},
        {"no @ and no ident id gives user", "Full", "plain", "", "USER user \"\" \"srv\" :Full\n"},
        {"local host name wins, cut at a blank", "Full", "a@b", "my host", "USER a \"my\" \"srv\" :Full\n"},
        {"empty full name gives the nick", "", "a@b", "", "USER a \"b\" \"srv\" :kest\n"},
        {"300-character full name cut to 256", std::string(300, 'f'), "a@b", "",
         "USER a \"b\" \"srv\" :" + std::string(256, 'f') + "\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        conn_->live_identity[0] = c.full;
        conn_->live_identity[1] = c.email;
        conn_->live_identity[2] = "kest";
        conn_->local_host = c.local_host;
        conn_->server_name = "srv";
        conn_->live_server[3].clear();
        auto lines = irc_logon_lines(conn_);
        ASSERT_EQ(lines.size(), 2u);
        EXPECT_EQ(lines[0], "NICK kest\n");
        EXPECT_EQ(lines[1], c.user_line);
    }
}

// A link lost before registration is retried after the retry delay and the
// program connects and registers again.
TEST_F(LinkConnect, LostLinkCountsDownAndReconnects)
{
    connect_and_register(std::string());
    ::close(peer_);
    peer_ = -1;
    ASSERT_TRUE(pump_until([&] { return conn_->waiting_retry == 1; }, 5000));
    EXPECT_EQ(conn_->socket, -1);
    EXPECT_EQ(conn_->connected, 0);
    EXPECT_EQ(conn_->retry_delay, 3000);
    EXPECT_NE(conn_->connect_timer_id, 0);
    EXPECT_EQ(conn_->retry_count, 2); // the retry count
    std::string got;
    ASSERT_TRUE(accept_peer(8000));
    EXPECT_TRUE(pump_until([&] {
        drain(peer_, got);
        return got.find("USER ") != std::string::npos;
    }, 5000));
    EXPECT_EQ(got.rfind("NICK kest\n", 0), 0u);
}

// On exit every connected link sends QUIT with the quit message and closes
// without scheduling a retry.
TEST_F(LinkConnect, QuitSentOnExit)
{
    main_settings.quit_message = "leaving now";
    std::string got = connect_and_register(std::string());
    got.clear();
    conn_close_all();
    EXPECT_EQ(conn_->quitting, 0); // reset when the link state was cleared
    EXPECT_EQ(conn_->waiting_retry, 0);
    EXPECT_EQ(conn_->socket, -1);
    bool open = true;
    ASSERT_TRUE(pump_until([&] {
        open = drain(peer_, got);
        return !open;
    }, 5000));
    EXPECT_EQ(got, "QUIT :leaving now\n");
}

} // namespace

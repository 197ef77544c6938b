// Script sockets over SSL (/sockopen -e) against a real TLS server: an
// openssl s_server with a certificate the test makes, and a plain peer
// that cannot speak TLS.
#include "extensions/sockets_fixture.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>

#include "irc/ssl/ssl_api.h"
#include "irc/ssl/ssl_checks.h"

using events_test::said;
using namespace sockets_test;

namespace {

class SslSockets : public SocketsTest {
protected:
    void SetUp() override
    {
        SocketsTest::SetUp();
        saved_show_ = ssl_settings.show;
    }
    void TearDown() override
    {
        sock_free_all();
        if (server_pid_ > 0) {
            ::kill(server_pid_, SIGTERM);
            ::waitpid(server_pid_, nullptr, 0);
        }
        ssl_settings.show = saved_show_;
        SocketsTest::TearDown();
    }
    // A self-signed certificate for localhost and an s_server answering
    // each line reversed; false when either cannot be made.
    bool start_server(int* port)
    {
        const std::string cert = dir + "c.pem", key = dir + "k.pem";
        const std::string make = "openssl req -x509 -newkey rsa:2048 -nodes -keyout '" + key + "' -out '" + cert +
                                 "' -subj /CN=localhost -days 2 >/dev/null 2>&1";
        if (std::system(make.c_str()) != 0)
            return false;
        int probe = listen_loopback(port);
        ::close(probe);
        const std::string accept = "127.0.0.1:" + std::to_string(*port);
        server_pid_ = ::fork();
        if (server_pid_ == 0) {
            // Its progress lines stay out of the test's output.
            int null_fd = ::open("/dev/null", O_WRONLY);
            ::dup2(null_fd, 1);
            ::dup2(null_fd, 2);
            ::execlp("openssl", "openssl", "s_server", "-quiet", "-rev", "-accept", accept.c_str(), "-cert",
                     cert.c_str(), "-key", key.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        // Ready once it accepts.
        for (int i = 0; i < 2000; ++i) {
            int fd = connect_loopback(*port);
            if (fd >= 0) {
                ::close(fd);
                return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return false;
    }
    pid_t server_pid_ = -1;
    int saved_show_ = 1;
};

// The handshake, then a line each way through the SSL layer: SOCKOPEN
// comes once the handshake is done, .ssl tells it.
TEST_F(SslSockets, LineThroughTlsServer)
{
    ASSERT_EQ(ssl_load_library(), 1);
    ssl_settings.show = 2;  // the test's own certificate is accepted
    int port = 0;
    ASSERT_TRUE(start_server(&port));
    load_script("s.kst", {
        "on *:SOCKOPEN:tls:say open $sockname $sockerr $sock(tls).ssl | sockwrite -n tls hello",
        "on *:SOCKREAD:tls:{ sockread %l | if ($sockbr) say read %l }",
    });
    ASSERT_EQ(run("sockopen -e tls 127.0.0.1 " + std::to_string(port)), 1);
    ASSERT_TRUE(wait_for([] {
        for (const auto& s : said)
            if (s.rfind("read ", 0) == 0)
                return true;
        return false;
    })) << testing::PrintToString(said);
    EXPECT_EQ(said[0], "open tls 0 $true");
    EXPECT_TRUE(said_has("read olleh")) << testing::PrintToString(said);
    ASSERT_NE(sock_find_by_name("tls"), nullptr);
    EXPECT_EQ(sock_find_by_name("tls")->ssl_state, 2);
}

// A peer that answers in plain text fails the handshake: SOCKOPEN with
// kind 3 and the disconnection error, and the socket goes.
TEST_F(SslSockets, HandshakeFailureReportsKindThree)
{
    ASSERT_EQ(ssl_load_library(), 1);
    ssl_settings.show = 2;
    TcpPeer peer([](int fd) {
        recv_some(fd, 1);
        send_all(fd, "this is not TLS\r\n\r\n\r\n\r\n");
    });
    load_script("s.kst", {"on *:SOCKOPEN:tls:say open $sockerr $sock(tls).wserr"});
    ASSERT_EQ(run("sockopen -e tls 127.0.0.1 " + std::to_string(peer.port())), 1);
    ASSERT_TRUE(wait_for([] { return !said.empty(); }));
    EXPECT_EQ(said[0], "open 3 10101");
    EXPECT_TRUE(sock_list().empty());
}

}  // namespace

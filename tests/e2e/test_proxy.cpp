// Whole-program tests of links through proxies: the real program reaches the
// private IRC server through SOCKS4, SOCKS5 and HTTP CONNECT proxies, and
// through a hand-played proxy that splits its replies and sends the
// server's first bytes right behind them.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <thread>

#include "e2e/harness.h"
#include "e2e/net_support.h"

using namespace e2e;

namespace {

constexpr const char* kAccount = "kestproxy";
constexpr const char* kAccountPassword = "Kp4ss-word";

struct ProxyE2e : ::testing::Test {
    void SetUp() override
    {
        if (!server_available())
            GTEST_SKIP() << "the IRC server program is not installed";
        ASSERT_TRUE(server.start()) << server.log();
        ASSERT_TRUE(watcher.login(server.port(), "watcher"));
    }
    IrcServer server;
    Peer watcher;
};

// Reads exactly `n` bytes within the wait bound; empty on failure.
std::string read_exact(int fd, std::size_t n)
{
    std::string out;
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(kWaitMs);
    while (out.size() < n && std::chrono::steady_clock::now() < end) {
        char buf[512];
        timeval tv{0, 100000};
        ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
        ssize_t r = ::recv(fd, buf, std::min(sizeof buf, n - out.size()), 0);
        if (r == 0)
            break;
        if (r > 0)
            out.append(buf, static_cast<std::size_t>(r));
    }
    return out;
}

std::string read_http_head(int fd)
{
    std::string out;
    while (out.size() < 4096 && (out.size() < 4 || out.compare(out.size() - 4, 4, "\r\n\r\n") != 0)) {
        std::string c = read_exact(fd, 1);
        if (c.empty())
            break;
        out += c;
    }
    return out;
}

void pause_ms(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

void send_all(int fd, const std::string& s) { (void)::send(fd, s.data(), s.size(), MSG_NOSIGNAL); }

} // namespace

// Each kind of proxy, from the settings file or from /firewall, with and
// without a user and password: the program registers through it and chats.
TEST_F(ProxyE2e, EachProxyKindCarriesTheLinkToTheServer)
{
    struct Case {
        const char* what;
        ProxyServer::Kind kind;
        const char* method;     // [socks] method
        const char* firewall;   // the /firewall switch
        bool with_account;
        bool by_command;
    };
    const Case cases[] = {
        {"SOCKS4 from the settings", ProxyServer::kSocks, "4", "-m4", false, false},
        {"SOCKS5 from the settings", ProxyServer::kSocks, "5", "-m5", false, false},
        {"SOCKS5 with user and password by /firewall", ProxyServer::kSocks, "5", "-m5", true, true},
        {"HTTP from the settings", ProxyServer::kHttp, "proxy", "-mp", false, false},
        {"HTTP with Basic authentication by /firewall", ProxyServer::kHttp, "proxy", "-mp", true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (!ProxyServer::available(c.kind)) {
            ADD_FAILURE() << "proxy server program missing";
            continue;
        }
        if (c.with_account && c.kind == ProxyServer::kSocks && !ensure_proxy_account(kAccount, kAccountPassword)) {
            std::printf("skipped (%s): no system account for the SOCKS user check\n", c.what);
            continue;
        }
        ProxyServer proxy(c.kind, c.with_account ? kAccount : "", c.with_account ? kAccountPassword : "");
        ASSERT_TRUE(proxy.start()) << proxy.log();
        KestProgram k;
        k.log_status();
        const std::string irc = "127.0.0.1:" + std::to_string(server.port());
        std::string script = "on *:TEXT:ping*:?:/privmsg $nick :pong $2 $ssl\n";
        if (c.by_command) {
            script += std::string("on *:START:/firewall ") + c.firewall + " on 127.0.0.1 " +
                      std::to_string(proxy.port()) + " " + kAccount + " " + kAccountPassword +
                      " | /server " + irc + "\n";
        } else {
            k.set("socks", "enabled", "yes");
            k.set("socks", "hostname", "127.0.0.1");
            k.set("socks", "port", std::to_string(proxy.port()));
            k.set("socks", "method", c.method);
        }
        k.add_script("proxy.kst", script);
        std::vector<std::string> args = {"-n", "proxkest"};
        if (!c.by_command) {
            args.push_back("-s");
            args.push_back(irc);
        }
        ASSERT_TRUE(k.start(args));
        ASSERT_TRUE(wait_nick_present(watcher, "proxkest")) << k.output() << k.status_log() << proxy.log();
        watcher.send_line("PRIVMSG proxkest :ping " + std::string(c.method));
        EXPECT_TRUE(watcher.wait_for("^:proxkest!\\S+ PRIVMSG watcher :pong " + std::string(c.method) + " \\$false$"))
            << "a plain link through the proxy, not SSL";
        // The proxy carried it: its log names the link to the server's port.
        EXPECT_NE(proxy.log().find(std::to_string(server.port())), std::string::npos) << proxy.log();
        k.stop(3000);
    }
}

// A hand-played proxy: replies split across writes, the server's first
// line right behind the reply, and refusals with their messages.
TEST(ProxyReplies, SplitRepliesAndTheServersFirstBytesAreKept)
{
    struct Case {
        const char* what;
        const char* method;
        int refuse;            // 0: the proxy lets the link through
        const char* refusal;   // the status text then
    };
    const Case cases[] = {
        {"SOCKS5, reply in two pieces", "5", 0, ""},
        {"HTTP, head in two pieces", "proxy", 0, ""},
        {"SOCKS4, reply in two pieces", "4", 0, ""},
        {"SOCKS5 refuses every method", "5", 0xFF, "* Firewall: Bilinmeyen Metod"},
        {"SOCKS5 host unreachable", "5", 4, "* Firewall: Hosta Ulaşılamıyor"},
        {"SOCKS4 request rejected", "4", 91, "* Firewall: Bağlantı Reddedildi"},
        {"HTTP forbidden", "proxy", 403, "* Firewall: Bağlantı Reddedildi"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ScriptedServer fake;  // plays the proxy, then the IRC server behind it
        ASSERT_TRUE(fake.ok());
        KestProgram k;
        k.log_status();
        k.set("socks", "enabled", "yes");
        k.set("socks", "hostname", "127.0.0.1");
        k.set("socks", "port", std::to_string(fake.port()));
        k.set("socks", "method", c.method);
        ASSERT_TRUE(k.start({"-n", "splitkest", "-s", "127.0.0.1:6999"}));
        LineSocket link;
        ASSERT_TRUE(fake.accept_link(link)) << k.output();
        int fd = link.fd_for_test();
        const std::string early = ":proxy.test NOTICE AUTH :*** early-bytes-kept\r\n";
        const std::string method = c.method;
        if (method == "5") {
            ASSERT_EQ(read_exact(fd, 3), std::string("\x05\x01\x00", 3));
            if (c.refuse == 0xFF) {
                send_all(fd, std::string("\x05\xFF", 2));
            } else {
                send_all(fd, std::string("\x05\x00", 2));
                std::string req = read_exact(fd, 10);
                ASSERT_EQ(req, std::string("\x05\x01\x00\x01\x7f\x00\x00\x01\x1b\x57", 10));
                if (c.refuse) {
                    send_all(fd, std::string("\x05", 1) + static_cast<char>(c.refuse) + std::string("\x00\x01\0\0\0\0\0\0", 8));
                } else {
                    send_all(fd, std::string("\x05\x00\x00", 3));
                    pause_ms(200);
                    send_all(fd, std::string("\x01\x7f\x00\x00\x01\x1b\x57", 7) + early);
                }
            }
        } else if (method == "4") {
            std::string req = read_exact(fd, 9);
            ASSERT_EQ(req, std::string("\x04\x01\x1b\x57\x7f\x00\x00\x01\x00", 9));
            if (c.refuse) {
                send_all(fd, std::string("\x00", 1) + static_cast<char>(c.refuse) + std::string(6, '\0'));
            } else {
                send_all(fd, std::string("\x00\x5a\x1b", 3));
                pause_ms(200);
                send_all(fd, std::string("\x57\x7f\x00\x00\x01", 5) + early);
            }
        } else {
            std::string head = read_http_head(fd);
            ASSERT_EQ(head.rfind("CONNECT 127.0.0.1:6999 HTTP/1.0\r\n", 0), 0u) << head;
            if (c.refuse) {
                send_all(fd, "HTTP/1.0 " + std::to_string(c.refuse) + " Forbidden\r\n\r\n");
            } else {
                send_all(fd, "HTTP/1.0 200 Connection established\r\n");
                pause_ms(200);
                send_all(fd, "Proxy-agent: test\r\n\r\n" + early);
            }
        }
        if (c.refuse) {
            EXPECT_TRUE(wait_status_text(k, c.refusal)) << k.status_log();
        } else {
            EXPECT_EQ(ScriptedServer::welcome(link), "splitkest") << k.status_log();
            EXPECT_TRUE(wait_status_text(k, "early-bytes-kept")) << k.status_log();
        }
        k.stop(3000);
    }
}

// A proxy that does not answer its port ends the attempt with its message.
TEST(ProxyReplies, AProxyThatCannotBeReachedEndsTheAttempt)
{
    KestProgram k;
    k.log_status();
    k.set("socks", "enabled", "yes");
    k.set("socks", "hostname", "127.0.0.1");
    k.set("socks", "port", std::to_string(free_port()));
    k.set("socks", "method", "5");
    ASSERT_TRUE(k.start({"-n", "nokest", "-s", "127.0.0.1:6999"}));
    EXPECT_TRUE(wait_status_text(k, "* Firewall: Firewall`a bağlanılamıyor")) << k.status_log();
}

// Whole-program tests of SSL links: the real program against the private
// IRC server's SSL listener, with certificates made for each case.
#include <gtest/gtest.h>

#include <string>

#include "e2e/harness.h"
#include "e2e/net_support.h"

using namespace e2e;

namespace {

constexpr const char* kRejected = "* SSL error: Server sertifikası geçersiz";

struct SslE2e : ::testing::Test {
    void SetUp() override
    {
        if (!server_available())
            GTEST_SKIP() << "the IRC server program is not installed";
        ASSERT_TRUE(certs.ok()) << read_file(certdir.path() / "ca.log");
    }
    // Starts the server with the certificate and a watching peer.
    void start_server(const std::string& cert)
    {
        server.enable_ssl(certs.cert(cert), certs.key(cert));
        ASSERT_TRUE(server.start()) << server.log();
        ASSERT_TRUE(watcher.login(server.port(), "watcher")) << joined(watcher.history());
    }
    // The program with its [ssl] settings, connecting to the SSL port.
    bool start_kest(KestProgram& k, int show, bool with_ca)
    {
        k.set("ssl", "show", std::to_string(show));
        if (with_ca)
            k.set("ssl", "ca", certs.ca().string());
        k.log_status();
        return k.start({"-s", "127.0.0.1:+" + std::to_string(server.ssl_port()), "-n", "sslkest"});
    }
    TempDir certdir{"kest-certs"};
    CertMaker certs{certdir.path()};
    IrcServer server;
    Peer watcher;
};

} // namespace

// The certificate checks decide the handshake: chain, expiry, host name
// (subjectAltName first, the common name only without one), the setting
// that accepts invalid certificates and the cache of accepted ones.
TEST_F(SslE2e, CertificateChecksDecideWhetherTheLinkIsMade)
{
    struct Case {
        const char* what;
        const char* cn;
        const char* san;
        int days;
        bool self_signed;
        int show;
        bool with_ca;
        bool cached;
        bool connects;
    };
    const Case cases[] = {
        {"name only in subjectAltName, trusted CA", "wrong.example", "IP:127.0.0.1,DNS:irc.test", 30, false, 0, true, false, true},
        {"common name matches but subjectAltName names another host", "127.0.0.1", "DNS:other.example", 30, false, 0, true, false, false},
        {"expired, trusted CA", "127.0.0.1", "IP:127.0.0.1", -1, false, 0, true, false, false},
        {"issuer unknown: CA file not given", "127.0.0.1", "IP:127.0.0.1", 30, false, 0, false, false, false},
        {"self-signed, invalid ones rejected", "127.0.0.1", "", 30, true, 0, false, false, false},
        {"self-signed, invalid ones accepted", "127.0.0.1", "", 30, true, 2, false, false, true},
        {"self-signed, fingerprint in the cache", "127.0.0.1", "", 30, true, 0, false, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir{"kest-ssl-case"};
        CertMaker maker{dir.path()};
        ASSERT_TRUE(maker.ok());
        ASSERT_TRUE(maker.make("server", c.cn, c.san, c.days, c.self_signed)) << read_file(dir.path() / "server.log");
        IrcServer s;
        s.enable_ssl(maker.cert("server"), maker.key("server"));
        ASSERT_TRUE(s.start()) << s.log();
        Peer w;
        ASSERT_TRUE(w.login(s.port(), "watcher"));
        KestProgram k;
        k.set("ssl", "show", std::to_string(c.show));
        if (c.with_ca)
            k.set("ssl", "ca", maker.ca().string());
        if (c.cached) {
            k.set("sslcache", "n0", "0000000000000000000000000000000000000000");
            k.set("sslcache", "n1", maker.fingerprint("server"));
        }
        k.log_status();
        // The program says when it is on: the test waits for that line or
        // for the rejection, never for a time.
        k.add_script("ssl.kst", "on *:CONNECT:/privmsg watcher :linked $ssl\n");
        ASSERT_TRUE(k.start({"-s", "127.0.0.1:+" + std::to_string(s.ssl_port()), "-n", "sslkest"}));
        if (c.connects) {
            EXPECT_TRUE(w.wait_for("^:sslkest!\\S+ PRIVMSG watcher :linked \\$true$")) << k.output() << k.status_log();
            EXPECT_EQ(k.status_log().find(kRejected), std::string::npos);
        } else {
            EXPECT_TRUE(wait_status_text(k, kRejected)) << k.status_log();
            w.send_line("WHOIS sslkest");
            EXPECT_TRUE(w.wait_for("^:\\S+ 401 watcher sslkest ")) << "registered over a rejected link";
            EXPECT_FALSE(w.saw("PRIVMSG watcher :linked", 0)) << joined(w.history());
        }
        k.stop(3000);
        s.stop();
    }
}

// Over an accepted link the program chats both ways; lines written in a
// burst arrive whole and in order.
TEST_F(SslE2e, ChatsOverTheLinkInBothDirections)
{
    ASSERT_TRUE(certs.make("good", "irc.test", "IP:127.0.0.1", 30, false));
    start_server("good");
    KestProgram k;
    k.add_script("ssl.kst",
                 "on *:CONNECT:/privmsg watcher :one $ssl $sslready | /privmsg watcher :two | /privmsg watcher :three\n"
                 "on *:TEXT:ping*:?:/privmsg $nick :pong $2\n");
    ASSERT_TRUE(start_kest(k, 0, true));
    // $ssl and $sslready say the link runs over SSL.
    ASSERT_TRUE(watcher.wait_for("^:sslkest!\\S+ PRIVMSG watcher :one \\$true \\$true$")) << k.output() << k.status_log();
    ASSERT_TRUE(watcher.wait_for("^:sslkest!\\S+ PRIVMSG watcher :two$"));
    ASSERT_TRUE(watcher.wait_for("^:sslkest!\\S+ PRIVMSG watcher :three$"));
    const std::string big(300, 'x');
    for (int i = 0; i < 2; ++i) {
        watcher.send_line("PRIVMSG sslkest :ping " + std::to_string(i) + big);
        EXPECT_TRUE(watcher.wait_for("^:sslkest!\\S+ PRIVMSG watcher :pong " + std::to_string(i) + big + "$"))
            << k.status_log();
    }
    EXPECT_EQ(k.status_log().find(kRejected), std::string::npos);
}

// A client certificate from the settings is presented to the server, which
// shows its fingerprint in the answer to WHOIS.
TEST_F(SslE2e, PresentsTheClientCertificateOfTheSettings)
{
    ASSERT_TRUE(certs.make("good", "irc.test", "IP:127.0.0.1", 30, false));
    ASSERT_TRUE(certs.make("client", "sslkest", "", 30, true));
    start_server("good");
    KestProgram k;
    k.set("ssl", "cert", certs.cert("client").string());
    k.set("ssl", "key", certs.key("client").string());
    k.add_script("ssl.kst", "on *:CONNECT:/whois $me\n");
    ASSERT_TRUE(start_kest(k, 0, true));
    ASSERT_TRUE(wait_nick_present(watcher, "sslkest")) << k.output() << k.status_log();
    std::string fp = certs.fingerprint("client");
    ASSERT_EQ(fp.size(), 40u);
    // The server gives its own (SHA-256) fingerprint; what matters is that
    // it saw a certificate.
    EXPECT_TRUE(wait_status_text(k, "certificate fingerprint")) << k.status_log();
}

// A key that does not belong to the certificate stops the link before any
// handshake, with the key's message.
TEST_F(SslE2e, AMismatchedKeyStopsTheLinkWithItsMessage)
{
    ASSERT_TRUE(certs.make("good", "irc.test", "IP:127.0.0.1", 30, false));
    ASSERT_TRUE(certs.make("client", "sslkest", "", 30, true));
    ASSERT_TRUE(certs.make("other", "other", "", 30, true));
    start_server("good");
    KestProgram k;
    k.set("ssl", "cert", certs.cert("client").string());
    k.set("ssl", "key", certs.key("other").string());
    ASSERT_TRUE(start_kest(k, 0, true));
    EXPECT_TRUE(wait_status_text(k, "* SSL error: Özel Şifre Yükelenemedi")) << k.status_log();
    watcher.send_line("WHOIS sslkest");
    EXPECT_TRUE(watcher.wait_for("^:\\S+ 401 watcher sslkest ", 5000));
}

// A network name on the command line takes a server of that group from the
// server list; a port list of a plain and an SSL port picks either, each
// with its own mark, and the link is made either way.
TEST_F(SslE2e, AServerListGroupIsChosenByNameAndItsPortsKeepTheirSslMark)
{
    ASSERT_TRUE(certs.make("good", "irc.test", "IP:127.0.0.1", 30, false));
    start_server("good");
    const std::string plain = std::to_string(server.port());
    const std::string ssl = std::to_string(server.ssl_port());
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        KestProgram k;
        write_file(k.settings() / "servers.ini",
                   "[servers]\n"
                   "n0=Elsewhere SERVER:127.0.0.2:1GROUP:OtherNet\n"
                   "n1=Mixed SERVER:127.0.0.1:" + plain + ",+" + ssl + "GROUP:MixNet\n");
        const std::string nick = "mixkest" + std::to_string(round);
        k.set("ssl", "show", "0");
        k.set("ssl", "ca", certs.ca().string());
        k.log_status();
        ASSERT_TRUE(k.start({"-s", "MixNet", "-n", nick}));
        EXPECT_TRUE(wait_nick_present(watcher, nick)) << k.status_log();
        const std::string log = k.status_log();
        const bool over_ssl = log.find("127.0.0.1 (+" + ssl + ")") != std::string::npos;
        const bool over_plain = log.find("127.0.0.1 (" + plain + ")") != std::string::npos;
        EXPECT_TRUE(over_ssl || over_plain) << log;
        EXPECT_EQ(log.find("127.0.0.1 (" + ssl + ")"), std::string::npos) << "the SSL port without its mark\n" << log;
        k.stop(3000);
    }
}

// Script UDP sockets against a real loopback datagram peer: sending,
// receiving with the sender's address, the write events, reuse by name,
// empty datagrams, and a flood.
#include "extensions/sockets_fixture.h"

using events_test::said;
using namespace sockets_test;

namespace {

// A loopback datagram socket of the test, bound to a free port.
class UdpPeer {
public:
    UdpPeer()
    {
        fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
        socklen_t len = sizeof a;
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len);
        port_ = ntohs(a.sin_port);
    }
    ~UdpPeer() { ::close(fd_); }
    int port() const { return port_; }
    void send_to(int port, const std::string& data) const
    {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = htons(static_cast<uint16_t>(port));
        ::sendto(fd_, data.data(), data.size(), 0, reinterpret_cast<sockaddr*>(&a), sizeof a);
    }
    // The next datagram, or "(none)" after 20 s.
    std::string receive() const
    {
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, 20000) <= 0)
            return "(none)";
        char buf[65536];
        ssize_t n = ::recv(fd_, buf, sizeof buf, 0);
        return n < 0 ? "(none)" : std::string(buf, static_cast<std::size_t>(n));
    }
    // Whether a datagram waits now.
    bool pending() const
    {
        pollfd p{fd_, POLLIN, 0};
        return ::poll(&p, 1, 0) > 0;
    }

private:
    int fd_ = -1;
    int port_ = 0;
};

class UdpSockets : public SocketsTest {};

// A kept socket receives: UDPREAD with the sender's address and port, and
// .saddr empty before the first datagram. A reply sent at once raises
// SOCKWRITE, not UDPWRITE: the way the write paths name their events.
TEST_F(UdpSockets, ReceiveAndReplyOnAKeptSocket)
{
    UdpPeer peer;
    load_script("u.kst", {
        "on *:UDPREAD:u:{ sockread -f %d | say udp $sockname $sockerr %d $sock(u).saddr $sock(u).sport | sockudp u 127.0.0.1 $sock(u).sport pong %d }",
        "on *:SOCKWRITE:u:say sockwrite $sockname $sockerr",
        "on *:UDPWRITE:u:say udpwrite $sockname",
        "on *:UDPREAD:v:say wrong",
    });
    ASSERT_EQ(run("sockudp -k u"), 1);
    ScriptSocket* u = sock_find_by_name("u");
    ASSERT_NE(u, nullptr);
    ASSERT_GT(u->port, 0);
    said.clear();
    run("say < $+ $sock(u).saddr $+ > $sock(u).type $sock(u).status");
    EXPECT_EQ(said[0], "<> udp active");
    said.clear();
    peer.send_to(u->port, "ping");
    ASSERT_TRUE(wait_for([&] { return peer.pending(); }));
    EXPECT_EQ(peer.receive(), "pong ping") << testing::PrintToString(echoed) << testing::PrintToString(said);
    ASSERT_TRUE(wait_for([] { return said_has("sockwrite u 0"); }));
    EXPECT_EQ(said[0], "udp u 0 ping 127.0.0.1 " + std::to_string(peer.port()));
    EXPECT_FALSE(said_has("udpwrite u"));
    EXPECT_FALSE(said_has("wrong"));
    ASSERT_NE(sock_find_by_name("u"), nullptr);
}

// Sending without -k: the datagram goes and the socket with it; with no
// data nothing goes unless -n (a line end) or -z (an empty datagram).
TEST_F(UdpSockets, OneShotDatagramsAndEmptyOnes)
{
    UdpPeer peer;
    const std::string to = " 127.0.0.1 " + std::to_string(peer.port());
    struct Case {
        std::string line;
        std::string datagram;  // "(none)": nothing is sent
    };
    const Case cases[] = {
        {"sockudp a" + to + " hello there", "hello there"},
        {"sockudp -n a" + to + " line", "line\r\n"},
        {"sockudp -n a" + to, "\r\n"},
        {"sockudp -z a" + to, ""},
        {"sockudp -b a" + to + " 3 abcdef", "abc"},
        {"sockudp -t a" + to + " &notavar", "&notavar"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        ASSERT_EQ(run(c.line), 1);
        EXPECT_EQ(peer.receive(), c.datagram);
        EXPECT_TRUE(sock_list().empty());
    }
    // No data and no -k: no socket stays and nothing is sent.
    ASSERT_EQ(run("sockudp a" + to), 1);
    EXPECT_TRUE(sock_list().empty());
    EXPECT_FALSE(peer.pending());
    // A binary variable's bytes, zero bytes included.
    ASSERT_EQ(run("bset &b 1 0 255 0 | sockudp a" + to + " &b"), 1);
    EXPECT_EQ(peer.receive(), std::string("\0\xff\0", 3));
}

// Reuse by name, and the errors that name a UDP socket.
TEST_F(UdpSockets, ReuseAndErrors)
{
    UdpPeer peer;
    ASSERT_EQ(run("sockudp -k u"), 1);
    const std::string port = std::to_string(sock_find_by_name("u")->port);
    ASSERT_EQ(run("socklisten t"), 1);
    struct Case {
        std::string line;
        std::string message;
    };
    const Case cases[] = {
        {"sockudp u " + std::to_string(peer.port()), "* /sockudp: 'u' mevcut port kullanılıyor " + port},
        {"sockudp t 127.0.0.1 9 x", "* /sockudp: 't' Soket Kullanılıyor"},
        {"sockudp u 127.0.0.1", "* /sockudp: Yetersiz veya eksik parametre"},
        {"sockudp u 127.0.0.1 0 x", "* /sockudp: Geçersiz parametre"},
        {"sockudp u 0", "* /sockudp: Geçersiz parametre"},
        {"sockudp u 1.2.3 9 x", "* /sockudp: Geçersiz parametre"},
        {"sockudp u 127.0.0.1 9 &nosuch", "* /sockudp: '&nosuch' Kullanım dışı"},
        {"sockudp -k w " + port, "* /sockudp: Bağlantı hatası"},
        {"sockwrite u hi", "* /sockwrite: /sockudp UDP soketler icin kullanınız"},
        {"sockpause u", "* /sockpause: /sockudp UDP soketler icin kullanınız"},
        {"sockudp", "* /sockudp: Yetersiz veya eksik parametre"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        echoed.clear();
        EXPECT_EQ(run(c.line), 0);
        EXPECT_TRUE(echoed_has(c.message)) << (echoed.empty() ? "(nothing)" : echoed[0]);
        // The kept socket survives its own errors.
        EXPECT_EQ(sock_list().size(), 2u);
    }
    // The same port again, and a mask write that skips it.
    EXPECT_EQ(run("sockudp u " + port + " 127.0.0.1 " + std::to_string(peer.port()) + " again"), 1);
    ASSERT_TRUE(wait_for([&] { return peer.pending(); }));
    EXPECT_EQ(peer.receive(), "again");
    echoed.clear();
    EXPECT_EQ(run("sockwrite u* hi"), 0);
    EXPECT_TRUE(echoed_has("* /sockwrite: 'u*' Uyumlu soket bulunamıyor"));
    echoed.clear();
    run("socklist -u");
    ASSERT_EQ(echoed.size(), 3u);
    EXPECT_NE(echoed[1].find(" udp active"), std::string::npos);
}

// A flood of datagrams: every event sees a bounded buffer, the socket
// stays, and a datagram sent after the flood still arrives.
TEST_F(UdpSockets, FloodStaysBounded)
{
    UdpPeer peer;
    load_script("u.kst", {
        "on *:UDPREAD:u:{ if ($sock(u).rq > 4096) inc %bad | sockread -f %d | inc %n | if (%d == end) set %end 1 }",
    });
    ASSERT_EQ(run("sockudp -k u"), 1);
    const int port = sock_find_by_name("u")->port;
    const std::string datagram(1400, 'f');
    for (int i = 0; i < 20000; ++i)
        peer.send_to(port, datagram);
    // The system may drop datagrams of a flood: send the end mark until seen.
    ASSERT_TRUE(wait_for([&] {
        if (var("%end").empty())
            peer.send_to(port, "end");
        return !var("%end").empty();
    }, 60000));
    EXPECT_EQ(var("%bad"), "");
    const long n = std::strtol(var("%n").c_str(), nullptr, 10);
    EXPECT_GT(n, 1);
    EXPECT_NE(sock_find_by_name("u"), nullptr);
}

}  // namespace

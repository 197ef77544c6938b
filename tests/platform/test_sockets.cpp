#include "platform/app_messages.h"
#include "platform/sockets.h"
#include "platform_test_env.h"

#include <cerrno>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <string>
#include <vector>

namespace {

constexpr int kListenMsg = WM_APP_IDENT_ACCEPT;
constexpr int kClientMsg = WM_APP_SERVER_SOCKET;
constexpr int kServerMsg = WM_APP_DCCCHAT_SOCKET;

struct SockEvent {
    int message;
    int socket;
    int event;
    int error;
};

class Sockets : public ::testing::Test
{
protected:
    void SetUp() override
    {
        platform_test_app();
        app_messages_set_frame(nullptr);
        app_messages_set_handler([this](int m, uintptr_t w, intptr_t l) -> intptr_t {
            events.push_back({m, static_cast<int>(w), WSAGETSELECTEVENT(l), WSAGETSELECTERROR(l)});
            return 0;
        });
        ASSERT_EQ(net_startup(), 1);
    }
    void TearDown() override
    {
        for (int s : opened)
            if (sock_is_open(s))
                sock_close(s);
        pump_for(5);
        app_messages_set_handler(nullptr);
    }

    int make(int family = AF_INET, int type = SOCK_STREAM)
    {
        int s = sock_create(family, type);
        if (s != INVALID_SOCKET)
            opened.push_back(s);
        return s;
    }

    int count(int socket, int event) const
    {
        int n = 0;
        for (const SockEvent &e : events)
            n += e.socket == socket && e.event == event;
        return n;
    }
    const SockEvent *first(int socket, int event) const
    {
        for (const SockEvent &e : events)
            if (e.socket == socket && e.event == event)
                return &e;
        return nullptr;
    }
    bool wait_for(int socket, int event, int n = 1, int timeout = 5000)
    {
        return pump_until([=, this] { return count(socket, event) >= n; }, timeout);
    }

    // A listener on 127.0.0.1 with a free port, selected for FD_ACCEPT.
    int listener(int &port)
    {
        int l = make();
        SockAddr any;
        EXPECT_EQ(sockaddr_from_text("127.0.0.1", 0, any), 1);
        EXPECT_EQ(sock_bind(l, any), 0);
        EXPECT_EQ(sock_listen(l, 5), 0);
        EXPECT_EQ(sock_async_select(l, kListenMsg, FD_ACCEPT), 0);
        SockAddr local;
        EXPECT_EQ(sock_local_address(l, local), 0);
        port = sockaddr_port(local);
        return l;
    }

    // A connected pair: client selected for everything on kClientMsg, server end on kServerMsg.
    void connected_pair(int &client, int &server)
    {
        int port = 0;
        int l = listener(port);
        client = make();
        ASSERT_EQ(sock_async_select(client, kClientMsg, FD_CONNECT | FD_READ | FD_WRITE | FD_CLOSE), 0);
        SockAddr to;
        ASSERT_EQ(sockaddr_from_text("127.0.0.1", port, to), 1);
        int rc = sock_connect(client, to);
        ASSERT_TRUE(rc == 0 || sock_last_error() == WSAEWOULDBLOCK) << sock_last_error();
        ASSERT_TRUE(wait_for(l, FD_ACCEPT));
        SockAddr peer;
        server = sock_accept(l, &peer);
        ASSERT_NE(server, INVALID_SOCKET);
        opened.push_back(server);
        EXPECT_EQ(sockaddr_ip_text(peer), "127.0.0.1");
        ASSERT_EQ(sock_async_select(server, kServerMsg, FD_READ | FD_WRITE | FD_CLOSE), 0);
        ASSERT_TRUE(wait_for(client, FD_CONNECT));
        EXPECT_EQ(first(client, FD_CONNECT)->error, 0);
        EXPECT_EQ(first(client, FD_CONNECT)->message, kClientMsg);
    }

    std::string read_all(int s)
    {
        std::string out;
        char buf[256];
        long n;
        while ((n = sock_recv(s, buf, sizeof buf)) > 0)
            out.append(buf, static_cast<size_t>(n));
        return out;
    }

    std::vector<SockEvent> events;
    std::vector<int> opened;
};

TEST(SocketErrors, SystemErrorsMapToSocketErrorNumbers)
{
    struct Case {
        int err;
        int expected;
    } cases[] = {
        {0, 0},
        {EWOULDBLOCK, WSAEWOULDBLOCK},
        {EINPROGRESS, WSAEWOULDBLOCK}, // a non-blocking connect under way
        {ECONNREFUSED, 10061},
        {ECONNRESET, 10054},
        {EPIPE, 10054},
        {ETIMEDOUT, 10060},
        {EHOSTUNREACH, 10065},
        {ENETUNREACH, 10051},
        {ECONNABORTED, 10053},
        {ENOBUFS, 10055},
        {EADDRINUSE, 10048},
        {EBADF, WSAENOTSOCK},
        {EMFILE, WSAEMFILE},
        {ENOTCONN, WSAENOTCONN},
        {EDOM, WSABASEERR}, // no socket meaning: the generic number
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.err);
        EXPECT_EQ(sock_error_from_errno(c.err), c.expected);
    }
}

TEST(SocketErrors, TextsComeFromTheNumberedTextsWithTheUnknownForm)
{
    struct Case {
        int error;
        const char *expected;
    } cases[] = {
        {10061, "[10061] Bağlantı Kabul Edilmedi veya Bağlanılan yer şu an aktif halde değil"},
        {10054, "[10054] Bağlantı resetlendi. Tekrar Bağlanınız"},
        {10053, "[10053] Softwarede Bağlantı iptal edildi"},
        {10055, "[10055] Boş Alan yok"},
        {10101, "[10101] Host Bağlantısı Kesildi"},
        {11001, "[11001] Host Bulunamadı"},
        {12345, "[12345] Bilinmeyen Hata"},
        {-1, "[-1] Bilinmeyen Hata"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.error);
        EXPECT_EQ(socket_error_text(c.error), c.expected);
    }
    // Every number the socket layer can report has a text of its own that starts with it.
    for (int e : {10000, 10004, 10009, 10013, 10014, 10022, 10024, 10035, 10036, 10048, 10050, 10060, 10065,
                  10071, 10091, 10092, 10093, 11002, 11003, 11004}) {
        SCOPED_TRACE(e);
        std::string text = socket_error_text(e);
        std::string head = "[" + std::to_string(e) + "] ";
        EXPECT_EQ(text.rfind(head, 0), 0u);
        EXPECT_EQ(text.find("Bilinmeyen"), std::string::npos);
    }
}

TEST(SocketErrors, SelectWordPacksEventLowAndErrorHigh)
{
    struct Case {
        int event, error;
        intptr_t word;
    } cases[] = {
        {FD_READ, 0, 1},
        {FD_READ, WSAEDISCON, (10101 << 16) | 1},
        {FD_CONNECT, WSAECONNREFUSED, (10061 << 16) | 16},
        {FD_CLOSE, 0, 32},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.word);
        EXPECT_EQ(WSAMAKESELECTREPLY(c.event, c.error), c.word);
        EXPECT_EQ(WSAGETSELECTEVENT(c.word), c.event);
        EXPECT_EQ(WSAGETSELECTERROR(c.word), c.error);
    }
}

std::vector<std::pair<std::string, std::string>> g_shown;
void keep_message(const std::string &title, const std::string &text)
{
    g_shown.emplace_back(title, text);
}

TEST(NetStartup, AFailureShowsTheSocketErrorTextAndStopsStartUp)
{
    g_shown.clear();
    net_set_message_sink(keep_message);
    net_set_startup_failure(WSASYSNOTREADY);
    EXPECT_EQ(net_startup(), 0);
    net_set_startup_failure(0);
    EXPECT_EQ(net_startup(), 1);
    net_set_message_sink(nullptr);
    ASSERT_EQ(g_shown.size(), 1u);
    EXPECT_EQ(g_shown[0].first, "Kest");
    EXPECT_EQ(g_shown[0].second, "Winsock hatası: " + socket_error_text(WSASYSNOTREADY));
}

TEST(SockAddrText, ParsesNumericAddressesOnly)
{
    struct Case {
        const char *text;
        int port;
        int ok;
        int family;
        const char *back;
    } cases[] = {
        {"127.0.0.1", 6667, 1, AF_INET, "127.0.0.1"},
        {"::1", 80, 1, AF_INET6, "::1"},
        {"[::1]", 80, 1, AF_INET6, "::1"},
        {"fe80::0:1", 1, 1, AF_INET6, "fe80::1"},
        {"1.2.3", 1, 0, 0, ""},
        {"300.1.1.1", 1, 0, 0, ""},
        {"", 1, 0, 0, ""},
        {"localhost", 1, 0, 0, ""},
        {"127.0.0.1", 70000, 0, 0, ""},
        {"127.0.0.1", -1, 0, 0, ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text);
        SockAddr a;
        EXPECT_EQ(sockaddr_from_text(c.text, c.port, a), c.ok);
        EXPECT_EQ(sockaddr_family(a), c.family);
        EXPECT_EQ(sockaddr_ip_text(a), c.back);
        EXPECT_EQ(sockaddr_port(a), c.ok ? c.port : 0);
    }
    SockAddr v4 = sockaddr_from_ipv4(0x7F000001u, 113);
    EXPECT_EQ(sockaddr_ip_text(v4), "127.0.0.1");
    EXPECT_EQ(sockaddr_ipv4(v4), 0x7F000001u);
    EXPECT_EQ(sockaddr_port(v4), 113);
}

TEST_F(Sockets, ListenerAcceptsAClientAndTheConnectCompletesWithoutError)
{
    int client = -1, server = -1;
    connected_pair(client, server);
    EXPECT_EQ(count(client, FD_CONNECT), 1);
    // FD_WRITE follows the connect; the accepted end reports it too.
    EXPECT_TRUE(wait_for(client, FD_WRITE));
    EXPECT_TRUE(wait_for(server, FD_WRITE));
    SockAddr peer;
    ASSERT_EQ(sock_peer_address(client, peer), 0);
    EXPECT_EQ(sockaddr_ip_text(peer), "127.0.0.1");
}

TEST_F(Sockets, ReadIsReportedOncePerReadAndCloseOnceAfterTheDataIsDrained)
{
    int client = -1, server = -1;
    connected_pair(client, server);

    ASSERT_EQ(sock_send(client, "hello ", 6), 6);
    ASSERT_TRUE(wait_for(server, FD_READ));
    ASSERT_EQ(sock_send(client, "world", 5), 5);
    pump_for(50);
    EXPECT_EQ(count(server, FD_READ), 1); // no second report before the owner reads
    EXPECT_EQ(read_all(server), "hello world");
    EXPECT_EQ(sock_last_error(), WSAEWOULDBLOCK);

    // Data and then the close: the data is reported first, the close after it was read.
    ASSERT_EQ(sock_send(client, "bye", 3), 3);
    ASSERT_EQ(sock_close(client), 0);
    ASSERT_TRUE(wait_for(server, FD_READ, 2));
    EXPECT_EQ(count(server, FD_CLOSE), 0);
    char buf[16];
    ASSERT_EQ(sock_recv(server, buf, sizeof buf), 3);
    ASSERT_TRUE(wait_for(server, FD_CLOSE));
    pump_for(50);
    EXPECT_EQ(count(server, FD_CLOSE), 1);
    EXPECT_EQ(first(server, FD_CLOSE)->error, 0);
    EXPECT_EQ(first(server, FD_CLOSE)->message, kServerMsg);
    EXPECT_EQ(sock_recv(server, buf, sizeof buf), 0);
}

TEST_F(Sockets, AnAbortiveCloseReportsTheResetError)
{
    int client = -1, server = -1;
    connected_pair(client, server);
    // Linger 0 makes the close send a reset.
    struct linger lg = {1, 0};
    ASSERT_EQ(setsockopt(client, SOL_SOCKET, SO_LINGER, &lg, sizeof lg), 0);
    ASSERT_EQ(sock_close(client), 0);
    ASSERT_TRUE(wait_for(server, FD_CLOSE));
    EXPECT_EQ(first(server, FD_CLOSE)->error, WSAECONNRESET);
}

TEST_F(Sockets, ConnectToAClosedPortReportsRefusal)
{
    int port = 0;
    int probe = listener(port);
    ASSERT_EQ(sock_close(probe), 0); // now nobody listens there
    int s = make();
    ASSERT_EQ(sock_async_select(s, kClientMsg, FD_CONNECT | FD_READ | FD_WRITE | FD_CLOSE), 0);
    SockAddr to;
    ASSERT_EQ(sockaddr_from_text("127.0.0.1", port, to), 1);
    EXPECT_EQ(sock_connect(s, to), SOCKET_ERROR);
    EXPECT_EQ(sock_last_error(), WSAEWOULDBLOCK);
    ASSERT_TRUE(wait_for(s, FD_CONNECT));
    EXPECT_EQ(first(s, FD_CONNECT)->error, WSAECONNREFUSED);
    pump_for(30);
    EXPECT_EQ(count(s, FD_WRITE), 0);
    EXPECT_EQ(count(s, FD_CONNECT), 1);
}

TEST_F(Sockets, Ipv6LoopbackWorksTheSameWay)
{
    int l = make(AF_INET6);
    ASSERT_NE(l, INVALID_SOCKET);
    SockAddr any;
    ASSERT_EQ(sockaddr_from_text("::1", 0, any), 1);
    if (sock_bind(l, any) != 0)
        GTEST_SKIP() << "no IPv6 loopback here";
    ASSERT_EQ(sock_listen(l, 1), 0);
    ASSERT_EQ(sock_async_select(l, kListenMsg, FD_ACCEPT), 0);
    SockAddr local;
    ASSERT_EQ(sock_local_address(l, local), 0);
    int c = make(AF_INET6);
    ASSERT_EQ(sock_async_select(c, kClientMsg, FD_CONNECT), 0);
    sock_connect(c, local);
    ASSERT_TRUE(wait_for(c, FD_CONNECT));
    EXPECT_EQ(first(c, FD_CONNECT)->error, 0);
    ASSERT_TRUE(wait_for(l, FD_ACCEPT));
    SockAddr peer;
    int a = sock_accept(l, &peer);
    ASSERT_NE(a, INVALID_SOCKET);
    opened.push_back(a);
    EXPECT_EQ(sockaddr_ip_text(peer), "::1");
}

TEST_F(Sockets, AcceptWithNobodyWaitingWouldBlockAndRearmsTheAcceptReport)
{
    int port = 0;
    int l = listener(port);
    EXPECT_EQ(sock_accept(l, nullptr), INVALID_SOCKET);
    EXPECT_EQ(sock_last_error(), WSAEWOULDBLOCK);
    SockAddr to;
    ASSERT_EQ(sockaddr_from_text("127.0.0.1", port, to), 1);
    for (int i = 0; i < 2; ++i) {
        int c = make();
        sock_connect(c, to);
    }
    ASSERT_TRUE(wait_for(l, FD_ACCEPT));
    pump_for(30);
    EXPECT_EQ(count(l, FD_ACCEPT), 1); // reported again only after an accept
    int a = sock_accept(l, nullptr);
    ASSERT_NE(a, INVALID_SOCKET);
    opened.push_back(a);
    ASSERT_TRUE(wait_for(l, FD_ACCEPT, 2));
}

TEST_F(Sockets, SendThatWouldBlockReportsWriteWhenRoomIsFree)
{
    int client = -1, server = -1;
    connected_pair(client, server);
    ASSERT_TRUE(wait_for(client, FD_WRITE));
    sock_set_option(client, SOL_SOCKET, SO_SNDBUF, 4096);
    std::string block(65536, 'x');
    long sent = 0;
    int guard = 0;
    while (guard++ < 10000) {
        long n = sock_send(client, block.data(), block.size());
        if (n == SOCKET_ERROR)
            break;
        sent += n;
    }
    ASSERT_EQ(sock_last_error(), WSAEWOULDBLOCK);
    int writes_before = count(client, FD_WRITE);
    pump_for(30);
    EXPECT_EQ(count(client, FD_WRITE), writes_before); // still full: nothing yet
    // Draining the peer frees room: one FD_WRITE.
    long drained = 0;
    ASSERT_TRUE(pump_until(
        [&] {
            char buf[65536];
            long n;
            while ((n = sock_recv(server, buf, sizeof buf)) > 0)
                drained += n;
            return count(client, FD_WRITE) > writes_before;
        },
        5000));
    EXPECT_GT(sent, 0);
}

TEST_F(Sockets, SelectingAgainReportsAConditionThatStillHolds)
{
    int client = -1, server = -1;
    connected_pair(client, server);
    ASSERT_EQ(sock_send(client, "x", 1), 1);
    ASSERT_TRUE(wait_for(server, FD_READ));
    // The owner put the read off; selecting again brings the report back.
    ASSERT_EQ(sock_async_select(server, kServerMsg, FD_READ | FD_CLOSE), 0);
    ASSERT_TRUE(wait_for(server, FD_READ, 2));
    // Switched off: nothing more.
    ASSERT_EQ(sock_async_select(server, 0, 0), 0);
    char c;
    ASSERT_EQ(sock_recv(server, &c, 1), 1);
    ASSERT_EQ(sock_send(client, "y", 1), 1);
    pump_for(50);
    EXPECT_EQ(count(server, FD_READ), 2);
}

TEST_F(Sockets, UdpDatagramsAreReportedAsReads)
{
    int a = make(AF_INET, SOCK_DGRAM);
    int b = make(AF_INET, SOCK_DGRAM);
    SockAddr any;
    ASSERT_EQ(sockaddr_from_text("127.0.0.1", 0, any), 1);
    ASSERT_EQ(sock_bind(a, any), 0);
    ASSERT_EQ(sock_async_select(a, WM_APP_SCRIPT_UDP, FD_READ | FD_WRITE), 0);
    SockAddr to;
    ASSERT_EQ(sock_local_address(a, to), 0);
    ASSERT_EQ(sock_sendto(b, "ping", 4, to), 4);
    ASSERT_TRUE(wait_for(a, FD_READ));
    char buf[16];
    SockAddr from;
    ASSERT_EQ(sock_recvfrom(a, buf, sizeof buf, &from), 4);
    EXPECT_EQ(std::string(buf, 4), "ping");
    EXPECT_EQ(sockaddr_ip_text(from), "127.0.0.1");
}

TEST_F(Sockets, CallsOnAnUnknownSocketFailWithNotASocket)
{
    char buf[4];
    SockAddr a;
    sockaddr_from_text("127.0.0.1", 1, a);
    struct Case {
        const char *name;
        long result;
    } cases[] = {
        {"recv", sock_recv(987654, buf, sizeof buf)},
        {"send", sock_send(987654, buf, 1)},
        {"connect", sock_connect(987654, a)},
        {"select", sock_async_select(987654, kClientMsg, FD_READ)},
        {"close", sock_close(987654)},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.result, SOCKET_ERROR);
    }
    EXPECT_EQ(sock_last_error(), WSAENOTSOCK);
    EXPECT_EQ(sock_create(12345, SOCK_STREAM), INVALID_SOCKET);
}

// Drops the reported event of a socket that is closed (and its number reused) after
// the event was queued but before it runs.
class CloseBeforeDelivery : public QObject
{
public:
    bool eventFilter(QObject *, QEvent *e) override
    {
        uintptr_t w = 0;
        if (app_message_number(e, &w) == kServerMsg && !done) {
            done = true;
            closed = static_cast<int>(w);
            sock_close(closed);
            reused = sock_create(AF_INET, SOCK_STREAM); // takes the lowest free number
            sock_async_select(reused, kServerMsg, FD_READ);
        }
        return false;
    }
    bool done = false;
    int closed = -1;
    int reused = -1;
};

TEST_F(Sockets, EventsOfASocketClosedBeforeDeliveryAreDropped)
{
    int client = -1, server = -1;
    connected_pair(client, server);
    pump_for(30);
    events.clear();
    QObject frame;
    app_messages_set_frame(&frame);
    CloseBeforeDelivery spy; // installed after the frame's own filter, so it runs first
    frame.installEventFilter(&spy);
    ASSERT_EQ(sock_send(client, "data", 4), 4);
    ASSERT_TRUE(pump_until([&spy] { return spy.done; }, 5000));
    pump_for(30);
    opened.push_back(spy.reused);
    EXPECT_EQ(spy.closed, server);
    EXPECT_EQ(spy.reused, server); // the same number, a different socket
    EXPECT_EQ(count(server, FD_READ), 0);
    app_messages_set_frame(nullptr);
}

} // namespace

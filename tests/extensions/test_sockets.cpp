// Script TCP sockets against real loopback peers: open, listen and accept,
// partial reads and writes, a peer that closes, binary data, the queue's
// bounds, the events in a loaded script with $sockname, $sockerr and $sockbr,
// and hostile peers and names.
#include "extensions/sockets_fixture.h"

#include <QTimer>

#include <cerrno>

#include "script/events/event_fire.h"

using events_test::said;
using namespace sockets_test;

namespace {

class Sockets : public SocketsTest {};

// A connection opened by name: SOCKOPEN, the written line reaches the peer,
// SOCKWRITE, lines read one per /sockread (a partial line waits for its
// end), SOCKCLOSE once when the peer closes; the handlers of another name
// stay silent and the record goes.
TEST_F(Sockets, OpenWriteReadLinesAndPeerClose)
{
    std::atomic<int> step{0};
    std::string peer_got;
    TcpPeer peer([&](int fd) {
        peer_got = recv_some(fd, 7);
        send_all(fd, "one\r\ntwo\n");
        peer_wait(step, 1);
        send_all(fd, "thr");
        peer_wait(step, 2);
        send_all(fd, "ee\r\n");
    });
    load_script("s.kst", {
        "on *:SOCKOPEN:cli:say open $sockname $sockerr $sock(cli).status | sockwrite -n cli hello",
        "on *:SOCKWRITE:cli:say wrote $sockname $sockerr $sock(cli).sent",
        "on *:SOCKREAD:cli:{ say pre $sockerr $sock(cli).rq | sockread %l | say read $sockname < $+ %l $+ > $sockbr $sock(cli).rq }",
        "on *:SOCKCLOSE:cli:say close $sockname $sockerr $sock(cli).rcvd",
        "on *:SOCKREAD:other:say wrong $sockname",
        "on *:SOCKOPEN:other:say wrong $sockname",
    });
    ASSERT_EQ(run("sockopen cli 127.0.0.1 " + std::to_string(peer.port())), 1);
    ASSERT_NE(sock_find_by_name("cli"), nullptr);
    EXPECT_EQ(sock_find_by_name("CLI")->status, kSockConnecting);
    ASSERT_TRUE(wait_for([&] { return said_has("read cli <two> 4 0"); })) << testing::PrintToString(said) << testing::PrintToString(echoed);
    step = 1;
    // A partial line is not taken: no value, nothing consumed.
    ASSERT_TRUE(wait_for([&] { return said_has("read cli <> 0 3"); }));
    step = 2;
    ASSERT_TRUE(wait_for([&] { return said_has("close cli 0 16"); }));
    peer.join();
    EXPECT_EQ(peer_got, "hello\r\n");
    EXPECT_EQ(said.front(), "open cli 0 active");
    EXPECT_TRUE(said_has("wrote cli 0 7"));
    EXPECT_TRUE(said_has("read cli <one> 5 4"));
    EXPECT_TRUE(said_has("read cli <three> 7 0"));
    EXPECT_EQ(said_count("close cli 0 16"), 1);
    for (const auto& s : said)
        EXPECT_EQ(s.find("wrong"), std::string::npos) << s;
    EXPECT_EQ(sock_find_by_name("cli"), nullptr);
    EXPECT_TRUE(sock_list().empty());
}

// A refused connection raises SOCKOPEN with kind 3 and the socket error,
// then the record goes.
TEST_F(Sockets, RefusedConnectionReportsKindThreeAndGoes)
{
    int port = 0;
    int s = listen_loopback(&port);
    ::close(s);  // nobody listens there now
    load_script("s.kst", {"on *:SOCKOPEN:r:say open $sockerr $sock(r).wserr $sock(r).wsmsg"});
    ASSERT_EQ(run("sockopen r 127.0.0.1 " + std::to_string(port)), 1);
    ASSERT_TRUE(wait_for([] { return !said.empty(); }));
    EXPECT_EQ(said[0], "open 3 10061 [10061] Bağlantı Kabul Edilmedi veya Bağlanılan yer şu an aktif halde değil");
    EXPECT_TRUE(sock_list().empty());
}

// A connection that cannot even start (its bind address is not ours) is
// reported later, the way a refused one is.
TEST_F(Sockets, StartFailureReportedLikeARefusal)
{
    load_script("s.kst", {"on *:SOCKOPEN:b:say open $sockerr $sock(b).wserr"});
    ASSERT_EQ(run("sockopen -d 192.0.2.1 b 127.0.0.1 9"), 1);
    EXPECT_TRUE(said.empty());
    ASSERT_TRUE(wait_for([] { return !said.empty(); }));
    EXPECT_EQ(said, std::vector<std::string>{"open 3 10061"});
    EXPECT_TRUE(sock_list().empty());
}

// A host name goes through the lookup queue and connects to its address.
TEST_F(Sockets, HostNameIsLookedUpThenConnected)
{
    std::string peer_got;
    TcpPeer peer([&](int fd) { peer_got = recv_some(fd, 4); });
    load_script("s.kst", {"on *:SOCKOPEN:h:say open $sockerr $sock(h).ip $sock(h).addr | sockwrite h ping"});
    ASSERT_EQ(run("sockopen h localhost " + std::to_string(peer.port())), 1);
    EXPECT_EQ(sock_find_by_name("h")->read_state, kReadLookup);
    ASSERT_TRUE(wait_for([] { return !said.empty(); }));
    peer.join();
    // localhost may resolve to ::1 first, where nobody listens: then the
    // open reports kind 3; the IPv4 address connects.
    if (said[0].rfind("open 0 ", 0) == 0) {
        EXPECT_EQ(said[0], "open 0 127.0.0.1 localhost");
        EXPECT_EQ(peer_got, "ping");
    } else {
        EXPECT_EQ(said[0], "open 3 ::1 localhost");
    }
}

// A listener announces each connection; /sockaccept keeps it under a name,
// an unaccepted one is closed, and /sockaccept outside the event fails.
TEST_F(Sockets, ListenAcceptEchoAndUnacceptedClosed)
{
    load_script("s.kst", {
        "on *:SOCKLISTEN:srv:{ say listen $sockname $sockerr | if (%keep) sockaccept in $+ $sock(in*,0) }",
        "on *:SOCKREAD:in*:{ sockread -f %d | say got $sockname %d $sock($sockname).ip | sockwrite -n $sockname echo %d }",
    });
    ASSERT_EQ(run("socklisten srv"), 1);
    ScriptSocket* srv = sock_find_by_name("srv");
    ASSERT_NE(srv, nullptr);
    EXPECT_EQ(srv->status, kSockListening);
    ASSERT_GT(srv->port, 0);
    const int port = srv->port;
    run("set %keep 1");

    std::string reply;
    std::atomic<int> finished{0};
    std::thread client([&] {
        int fd = connect_loopback(port);
        if (fd >= 0) {
            send_all(fd, "ping");
            reply = recv_some(fd, 11);
            ::close(fd);
        }
        finished = 1;
    });
    ASSERT_TRUE(wait_for([&] { return finished.load() == 1; }));
    client.join();
    EXPECT_TRUE(said_has("got in0 ping 127.0.0.1")) << testing::PrintToString(said);
    EXPECT_EQ(reply, "echo ping\r\n");
    EXPECT_TRUE(said_has("listen srv 0"));

    // Not accepted: the client sees the connection close.
    run("unset %keep");
    std::string dropped = "x";
    finished = 0;
    std::thread client2([&] {
        int fd = connect_loopback(port);
        if (fd >= 0) {
            dropped = recv_some(fd, 1);
            ::close(fd);
        }
        finished = 1;
    });
    ASSERT_TRUE(wait_for([&] { return finished.load() == 1; }));
    client2.join();
    EXPECT_EQ(dropped, "");
    EXPECT_EQ(said_count("listen srv 0"), 2);
    // The listener stays; the first client's socket went when it closed.
    ASSERT_TRUE(wait_for([] { return sock_list().size() == 1; }));
    EXPECT_EQ(sock_list()[0], srv);

    echoed.clear();
    EXPECT_EQ(run("sockaccept late"), 0);
    EXPECT_TRUE(echoed_has("* /sockaccept: Soket bulunamıyor"));
}

// /sockread's forms on the same bytes: counts, -f, -n into a binary
// variable, lines into a variable.
TEST_F(Sockets, SockreadForms)
{
    struct Case {
        const char* read;     // the /sockread arguments
        const char* sent;     // what the peer sends (then it waits)
        const char* expect;   // what the handler says after the first read
    };
    const Case cases[] = {
        {"-f 100 &b", "", "len 100 br 100 rq 156"},
        {"0 &b", "", "len 256 br 256 rq 0"},
        {"5000 &b", "", "len 256 br 256 rq 0"},
        {"-n &b", "abc\r\ndef", "len 5 br 5 rq 3 bytes 97 98 99 0 0"},
        {"-n &b", "abcdef", "len 0 br 0 rq 6"},
        {"-fn &b", "abcdef", "len 6 br 6 rq 0"},
        // A full buffer without a line end is taken whole, so that reading
        // by lines cannot spin on a buffer that never empties.
        {"-n &b", "5000x", "len 4096 br 4096 rq 0"},
        {"%v", "abc", "v <> br 0 rq 3"},
        {"-f %v", "abc", "v <abc> br 3 rq 0"},
        {"%v", "abc\r\ndef\n", "v <abc> br 5 rq 4"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.read);
        said.clear();
        std::string payload = c.sent;
        if (payload == "5000x")
            payload.assign(5000, 'x');
        if (payload.empty())
            for (int i = 0; i < 256; ++i)
                payload.push_back(static_cast<char>(i));
        std::atomic<int> done{0};
        TcpPeer peer([&](int fd) {
            send_all(fd, payload);
            peer_wait(done, 1);
        });
        remote_files_free_all();
        const std::string reader = std::string(c.read);
        const bool binary = reader.find('&') != std::string::npos;
        load_script("r.kst", {
            std::string("on *:SOCKREAD:r:{ if (%seen) halt | set %seen 1 | sockread ") + c.read + " | " +
                (binary ? "say len $bvar(&b,0) br $sockbr rq $sock(r).rq $iif($bvar(&b,0) == 5,bytes $bvar(&b,1-5))"
                        : "say v < $+ %v $+ > br $sockbr rq $sock(r).rq") + " }",
        });
        run("unset %seen %v");
        ASSERT_EQ(run("sockopen r 127.0.0.1 " + std::to_string(peer.port())), 1);
        ASSERT_TRUE(wait_for([] { return !said.empty(); })) << testing::PrintToString(echoed);
        std::string got = said[0];
        while (!got.empty() && got.back() == ' ')
            got.pop_back();
        EXPECT_EQ(got, c.expect);
        done = 1;
        run("sockclose r");
    }
}

// Binary data both ways: a binary variable with zero bytes goes out as it
// is, and bytes 0..255 come back into one.
TEST_F(Sockets, BinaryVariablesBothWays)
{
    std::string peer_got;
    std::string all;
    for (int i = 0; i < 256; ++i)
        all.push_back(static_cast<char>(i));
    TcpPeer peer([&](int fd) {
        peer_got = recv_some(fd, 4);
        send_all(fd, all);
        recv_some(fd, 1);
    });
    load_script("s.kst", {
        "on *:SOCKOPEN:b:bset &o 1 0 1 255 10 | sockwrite b &o",
        "on *:SOCKREAD:b:{ sockread -f &in | inc %got $bvar(&in,0) | if ($bvar(&in,0) > 0) set %last $bvar(&in,$bvar(&in,0)) }",
    });
    ASSERT_EQ(run("sockopen b 127.0.0.1 " + std::to_string(peer.port())), 1);
    ASSERT_TRUE(wait_for([] { return var("%got") == "256"; })) << testing::PrintToString(echoed);
    EXPECT_EQ(var("%last"), "255");
    EXPECT_EQ(sock_find_by_name("b")->bytes_read, 256);
    run("sockclose b");
    peer.join();
    EXPECT_EQ(peer_got, std::string("\0\1\xff\n", 4));
}

// The send queue: a write meets an empty queue whole; once data waits, an
// append may fill it to 16,384 bytes and not one byte more.
TEST_F(Sockets, SendQueueBound)
{
    std::atomic<int> done{0};
    TcpPeer peer([&](int) {
        peer_wait(done, 1);
    });
    ASSERT_EQ(run("sockopen q 127.0.0.1 " + std::to_string(peer.port())), 1);
    ASSERT_TRUE(wait_for([] { return sock_find_by_name("q")->status == kSockActive; }));
    ScriptSocket* q = sock_find_by_name("q");
    // Fill the peer's window until data waits in the queue.
    for (int i = 0; i < 20000 && q->send_queue.empty(); ++i)
        ASSERT_EQ(run("bset &d 8000 97 | sockwrite q &d"), 1) << testing::PrintToString(echoed);
    ASSERT_FALSE(q->send_queue.empty());
    const std::size_t waiting = q->send_queue.size();
    const std::size_t room = kSockQueueMax - waiting;
    echoed.clear();
    EXPECT_EQ(run("bset &d " + std::to_string(room + 1) + " 97 | sockwrite q &d"), 0);
    EXPECT_TRUE(echoed_has("* /sockwrite: 'q' Kuyruk 16384 byeti geçiyor"));
    EXPECT_EQ(q->send_queue.size(), waiting);
    if (room > 0) {
        EXPECT_EQ(run("bset &d " + std::to_string(room) + " 97 | sockwrite q &d"), 1);
        EXPECT_EQ(q->send_queue.size(), kSockQueueMax);
    }
    EXPECT_EQ(run("sockwrite q x"), 0);
    EXPECT_EQ(q->send_queue.size(), kSockQueueMax);
    done = 1;
}

// Command errors: the texts as the program prints them, and no record left.
TEST_F(Sockets, CommandErrors)
{
    ASSERT_EQ(run("socklisten l"), 1);
    const std::string port = std::to_string(sock_find_by_name("l")->port);
    struct Case {
        std::string line;
        std::string message;
    };
    const Case cases[] = {
        {"sockopen a 127.0.0.1", "* /sockopen: Yetersiz veya eksik parametre"},
        {"sockopen a 127.0.0.1 65536", "* /sockopen: Geçersiz parametre"},
        {"sockopen -d nothere a 127.0.0.1 80", "* /sockopen: Geçersiz parametre"},
        {"sockopen l 127.0.0.1 80", "* /sockopen: 'l' Soket Kullanılıyor"},
        {"socklisten L", "* /socklisten: 'L' Soket Kullanılıyor"},
        {"socklisten x " + port, "* /socklisten: Bağlantı hatası"},
        {"socklisten x 0", "* /socklisten: Geçersiz parametre"},
        {"sockwrite nosuch hi", "* /sockwrite: 'nosuch' Soket bulunamıyor"},
        {"sockwrite no* hi", "* /sockwrite: 'no*' Uyumlu soket bulunamıyor"},
        {"sockwrite l hi", "* /sockwrite: 'l' Bağlı Değil"},
        {"sockread %x", "* /sockread: Soket bulunamıyor"},
        {"sockrename nosuch y", "* /sockrename: 'nosuch' Soket bulunamıyor"},
        {"sockpause nosuch", "* /sockpause: 'nosuch' Soket bulunamıyor"},
        {"sockclose", "* /sockclose: Yetersiz veya eksik parametre"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        echoed.clear();
        EXPECT_EQ(run(c.line), 0);
        EXPECT_TRUE(echoed_has(c.message)) << (echoed.empty() ? "(nothing)" : echoed[0]);
        EXPECT_EQ(sock_list().size(), 1u);
    }
    // A name that matches nothing is no error for /sockclose.
    EXPECT_EQ(run("sockclose nosuch"), 1);
}

// Names, marks, masks, the list and $sock's counts and properties.
TEST_F(Sockets, NamesMarksListAndIdentifier)
{
    ASSERT_EQ(run("socklisten -d 127.0.0.1 one"), 1);
    ASSERT_EQ(run("socklisten -d 127.0.0.1 two"), 1);
    ASSERT_EQ(run("socklisten -d 127.0.0.1 other"), 1);
    const std::string p1 = std::to_string(sock_find_by_name("one")->port);

    struct Case {
        const char* expr;
        std::string value;
    };
    run("sockrename other three");
    run("sockmark t* the mark text");
    const Case cases[] = {
        {"$sock(*,0)", "3"},
        {"$sock(t*,0)", "2"},
        {"$sock(t*)", "two"},
        {"$sock(t*,2)", "three"},
        {"$sock(t*,3)", ""},
        {"$sock(ONE).port", p1},
        {"$sock(one).ip", "127.0.0.1"},
        {"$sock(one).bindip", "127.0.0.1"},
        {"$sock(one).type", "tcp"},
        {"$sock(one).status", "listening"},
        {"$sock(one).mark", ""},
        {"$sock(two).mark", "the mark text"},
        {"$sock(three).mark", "the mark text"},
        {"$sock(one).sq", "0"},
        {"$sock(one).rcvd", "0"},
        {"$sock(one).pause", "$false"},
        {"$sock(one).ssl", "$false"},
        {"$sock(one).saddr", ""},
        {"$sock(one).nosuch", ""},
        {"$sock(other)", ""},
        {"$sock(one,-1)", ""},
    };
    fake_now += 42;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expr);
        said.clear();
        run(std::string("say ") + c.expr);
        ASSERT_EQ(said.size(), 1u);
        EXPECT_EQ(said[0], c.value);
    }
    said.clear();
    run("say $sock(one).to $sock(one).ls");
    EXPECT_EQ(said[0], "42 42");

    run("sockmark two");
    said.clear();
    run("say $sock(two).mark");
    EXPECT_EQ(said[0], "");

    echoed.clear();
    run("socklist -l t*");
    ASSERT_EQ(echoed.size(), 4u);
    EXPECT_EQ(echoed[0], "* Soketler Açık:");
    EXPECT_EQ(echoed[1], "two 127.0.0.1:" + std::to_string(sock_find_by_name("two")->port) + " tcp listening");
    EXPECT_EQ(echoed[3], "-");
    echoed.clear();
    run("socklist -u");
    EXPECT_EQ(echoed, std::vector<std::string>{"* Soketler Açık değil"});

    run("sockclose T*");
    EXPECT_EQ(sock_list().size(), 1u);
    run("sockclose *");
    EXPECT_TRUE(sock_list().empty());
}

// Pausing leaves the data with the system; resuming reads it.
TEST_F(Sockets, PauseAndResume)
{
    std::atomic<int> done{0};
    TcpPeer peer([&](int fd) {
        send_all(fd, "first\n");
        peer_wait(done, 1);
    });
    load_script("s.kst", {
        "on *:SOCKOPEN:p:sockpause p",
        "on *:SOCKREAD:p:{ sockread %l | say line %l }",
    });
    ASSERT_EQ(run("sockopen p 127.0.0.1 " + std::to_string(peer.port())), 1);
    ASSERT_TRUE(wait_for([] { return sock_find_by_name("p") && sock_find_by_name("p")->paused; }));
    said.clear();
    run("say $sock(p).pause");
    EXPECT_EQ(said[0], "$true");
    // Let several read passes go by: nothing is delivered while paused.
    int turns = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] { ++turns; });
    ticker.start(1);
    wait_for([&] { return turns >= 50; });
    EXPECT_FALSE(said_has("line first"));
    run("sockpause -r p");
    ASSERT_TRUE(wait_for([] { return said_has("line first"); }));
    done = 1;
}

// With the events switched off nothing is raised: an incoming connection
// is closed at once.
TEST_F(Sockets, EventsOffClosesIncoming)
{
    load_script("s.kst", {"on *:SOCKLISTEN:srv:say listen | sockaccept kept"});
    ASSERT_EQ(run("socklisten srv"), 1);
    const int port = sock_find_by_name("srv")->port;
    event_switch_events = 0;
    std::string got = "x";
    std::atomic<int> finished{0};
    std::thread client([&] {
        int fd = connect_loopback(port);
        got = fd < 0 ? "refused" : recv_some(fd, 1);
        if (fd >= 0)
            ::close(fd);
        finished = 1;
    });
    ASSERT_TRUE(wait_for([&] { return finished.load() == 1; }));
    client.join();
    EXPECT_EQ(got, "");
    EXPECT_TRUE(said.empty());
    EXPECT_EQ(sock_find_by_name("kept"), nullptr);
}

// A connection record that goes takes its sockets along when no other
// connection is there to take them.
TEST_F(Sockets, SocketsGoWithTheirConnection)
{
    Connection* other = conn_new(nullptr);
    ASSERT_EQ(script_exec_line(nullptr, "socklisten a", nullptr, 1, nullptr, nullptr, other), 1);
    ASSERT_EQ(run("socklisten b"), 1);
    ASSERT_EQ(sock_find_by_name("a")->conn, other);
    conn_free(other);
    // Moved to the remaining connection.
    ASSERT_NE(sock_find_by_name("a"), nullptr);
    EXPECT_EQ(sock_find_by_name("a")->conn, conn);
    EXPECT_EQ(sock_list().size(), 2u);
}

// ---- Hostile peers and names ----

// A 10 KB name is refused by every command that names a socket, no record
// is made, and the identifier answers nothing.
TEST_F(Sockets, HugeNameRefusedEverywhere)
{
    const std::string huge(10240, 'n');
    const std::string cut = huge.substr(0, kSockNameMax) + "...";
    ASSERT_EQ(run("socklisten ok"), 1);
    struct Case {
        std::vector<std::string> tokens;
        int (*handler)(CommandCall&);
        std::string message;
    };
    const Case cases[] = {
        {{"sockopen", huge, "127.0.0.1", "80"}, cmd_sockopen, "* /sockopen: '" + cut + "' İsim çok uzun"},
        {{"socklisten", huge}, cmd_socklisten, "* /socklisten: '" + cut + "' İsim çok uzun"},
        {{"sockudp", huge, "127.0.0.1", "9", "x"}, cmd_sockudp, "* /sockudp: '" + cut + "' İsim çok uzun"},
        {{"sockrename", "ok", huge}, cmd_sockrename, "* /sockrename: '" + cut + "' İsim çok uzun"},
        {{"sockrename", huge, "x"}, cmd_sockrename, "* /sockrename: '" + cut + "' Soket bulunamıyor"},
        {{"sockwrite", huge, "hi"}, cmd_sockwrite, "* /sockwrite: '" + cut + "' Soket bulunamıyor"},
        {{"sockpause", huge}, cmd_sockpause, "* /sockpause: '" + cut + "' Soket bulunamıyor"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.tokens[0]);
        script_error_clear();
        CommandCall call;
        call.tokens = c.tokens;
        call.conn = conn;
        EXPECT_EQ(c.handler(call), 0);
        EXPECT_EQ(script_error_state.text.size(), c.message.size());
        EXPECT_TRUE(script_error_state.text == c.message) << script_error_state.text.substr(0, 80);
        EXPECT_EQ(sock_list().size(), 1u);
    }
    script_error_clear();
    for (auto handler : {cmd_sockclose, cmd_sockmark}) {
        CommandCall call;
        call.tokens = {"sockx", huge, "text"};
        EXPECT_EQ(handler(call), 1);
    }
    EXPECT_EQ(sock_list().size(), 1u);
    EXPECT_FALSE(sock_list()[0]->has_mark);
    // The bound: 255 characters are a name, 256 are not.
    const std::string longest(kSockNameMax - 1, 'a');
    EXPECT_EQ(run("socklisten " + longest), 1);
    EXPECT_EQ(run("socklisten " + std::string(kSockNameMax, 'b')), 0);
    said.clear();
    run("say $sock(" + longest + ").status");
    EXPECT_EQ(said, std::vector<std::string>{"listening"});
    EXPECT_EQ(run("sockclose " + longest), 1);
    EXPECT_EQ(sock_list().size(), 1u);
    // The identifier with the longest name a script line can carry.
    said.clear();
    run("say < $+ $sock(" + huge.substr(0, 3000) + ") $+ >");
    EXPECT_EQ(said, std::vector<std::string>{"<>"});
}

// 100 MB without a line end, read by lines: the buffer never holds more
// than 4,096 bytes, every read takes a full buffer, every byte is counted,
// and the program keeps serving its other events meanwhile.
TEST_F(Sockets, HundredMegabytesWithoutLineEnd)
{
    constexpr std::size_t kTotal = 100u * 1024 * 1024;
    TcpPeer peer([&](int fd) {
        const std::string block(1 << 16, 'x');
        for (std::size_t sent = 0; sent < kTotal; sent += block.size())
            if (!send_all(fd, block))
                return;
    });
    load_script("s.kst", {
        "on *:SOCKREAD:f:{ if ($sock(f).rq > 4096) inc %bad | sockread %l | if ($sockbr != 0) { if ($sockbr != 4096) inc %bad } }",
        "on *:SOCKCLOSE:f:set %total $sock(f).rcvd",
    });
    int ticks = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
    ticker.start(0);
    ASSERT_EQ(run("sockopen f 127.0.0.1 " + std::to_string(peer.port())), 1);
    ASSERT_TRUE(wait_for([] { return !var("%total").empty(); }, 120000));
    peer.join();
    EXPECT_EQ(var("%total"), std::to_string(kTotal));
    EXPECT_EQ(var("%bad"), "");
    EXPECT_GT(ticks, 100);
}

// Thousands of connections at once to a listening socket: each one that
// gets through is announced once and closed (none kept), the program keeps
// serving its other events, and afterwards the listener still answers an
// ordinary client.
TEST_F(Sockets, ThousandsOfConnectionsToAListener)
{
    constexpr int kClients = 3000;
    load_script("s.kst", {"on *:SOCKLISTEN:srv:say seen $sockname $sockerr"});
    ASSERT_EQ(run("socklisten srv"), 1);
    const int port = sock_find_by_name("srv")->port;
    int ticks = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
    ticker.start(0);
    std::atomic<int> started{0}, finished{0};
    std::thread clients([&] {
        std::vector<int> fds;
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = htons(static_cast<uint16_t>(port));
        for (int i = 0; i < kClients; ++i) {
            int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
            if (fd < 0)
                break;
            if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 || errno == EINPROGRESS)
                ++started;
            fds.push_back(fd);
        }
        // Hold them until the program has seen a good share, then drop all.
        for (int i = 0; i < 20000 && finished.load() == 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        for (int fd : fds)
            ::close(fd);
        finished = 2;
    });
    ASSERT_TRUE(wait_for([&] { return said.size() >= 100; }, 60000)) << said.size();
    finished = 1;
    ASSERT_TRUE(wait_for([&] { return finished.load() == 2; }, 60000));
    clients.join();
    EXPECT_EQ(started.load(), kClients);
    EXPECT_GT(ticks, 10);
    for (const auto& line : said)
        ASSERT_EQ(line, "seen srv 0");
    // Nothing was kept: the listener alone.
    ASSERT_EQ(sock_list().size(), 1u);
    EXPECT_EQ(sock_list()[0]->status, kSockListening);

    // An ordinary client afterwards is announced and closed.
    const std::size_t before = said.size();
    std::string got = "x";
    std::atomic<int> done{0};
    std::thread late([&] {
        int fd = connect_loopback(port);
        got = fd < 0 ? "refused" : recv_some(fd, 1);
        if (fd >= 0)
            ::close(fd);
        done = 1;
    });
    ASSERT_TRUE(wait_for([&] { return done.load() == 1; }, 60000));
    late.join();
    EXPECT_EQ(got, "");
    EXPECT_GT(said.size(), before);
    EXPECT_EQ(sock_list().size(), 1u);
}

}  // namespace

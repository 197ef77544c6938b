// A server link for tests: a real loopback connection whose program end is a
// socket of the platform's table, so the send path writes to it as to any
// server, and whose other end the test reads back: the lines the program
// wrote, in order, each with its line feed.
//
//     TestWire wire;
//     wire.attach(conn);                    // conn->socket = the program end
//     irc_send_line("PING :x", 0, conn);
//     EXPECT_EQ(wire.lines(), std::vector<std::string>{"PING :x\n"});
//
// Reading waits until every byte written has reached this end (the program
// end's send queue is empty, or the close of a link the program closed has
// come), so a line not read was not written.
#ifndef KEST_TESTS_SUPPORT_TEST_WIRE_H
#define KEST_TESTS_SUPPORT_TEST_WIRE_H

#include <arpa/inet.h>
#include <fcntl.h>
#include <linux/sockios.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

#include "model/connection.h"
#include "platform/sockets.h"

class TestWire {
public:
    TestWire() { open(); }
    ~TestWire() { close(); }
    TestWire(const TestWire&) = delete;
    TestWire& operator=(const TestWire&) = delete;

    // True when both ends are up.
    bool ok() const { return program_ != -1 && peer_ != -1; }
    // The program end is still open (the program closes it when it closes
    // the link).
    bool linked() const { return program_end_is_ours(); }
    // The program's end: a socket number the send path writes to.
    int socket() const { return program_; }
    // Gives the connection the program end as its link.
    void attach(Connection* conn) const { conn->socket = program_; }

    // Every complete line written so far (and not cleared), with its line feed.
    const std::vector<std::string>& lines()
    {
        read();
        return lines_;
    }
    // Bytes written after the last line feed.
    const std::string& pending()
    {
        read();
        return partial_;
    }
    // Everything written so far, as one text.
    std::string all()
    {
        read();
        std::string out;
        for (const std::string& l : lines_)
            out += l;
        return out + partial_;
    }
    // Forgets what was read (after reading what is on its way).
    void clear()
    {
        read();
        lines_.clear();
        partial_.clear();
    }
    // Writes bytes to the program's end, as a server would.
    bool say(const std::string& text) const
    {
        return peer_ != -1 && ::send(peer_, text.data(), text.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(text.size());
    }
    // Fills the link until the program end would block, as a server that
    // stops reading does; clear() reads the filling away again. True when
    // the program end now blocks.
    bool fill() const
    {
        const std::string chunk(65536, 'x');
        for (int i = 0; i < 4096; ++i)
            if (sock_send(program_, chunk.data(), chunk.size()) < 0)
                return sock_last_error() == WSAEWOULDBLOCK;
        return false;
    }
    // The test's end (to read by hand or close to play a server gone).
    int peer() const { return peer_; }

private:
    int program_ = -1;
    int peer_ = -1;
    std::vector<std::string> lines_;
    std::string partial_;

    void open()
    {
        int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (listener < 0)
            return;
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        if (::bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(listener, 1) != 0 ||
            ::getsockname(listener, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
            ::close(listener);
            return;
        }
        program_ = sock_create(AF_INET, SOCK_STREAM);
        if (program_ == INVALID_SOCKET) {
            program_ = -1;
            ::close(listener);
            return;
        }
        // Each line leaves at once, not held back to join the next.
        sock_set_option(program_, IPPROTO_TCP, TCP_NODELAY, 1);
        SockAddr to;
        sockaddr_from_text("127.0.0.1", ntohs(a.sin_port), to);
        sock_connect(program_, to);
        pollfd p{listener, POLLIN, 0};
        if (::poll(&p, 1, 5000) == 1)
            peer_ = ::accept4(listener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        ::close(listener);
    }

    // The program end is still ours (the program may have closed it, and the
    // number been given to another socket since).
    bool program_end_is_ours() const
    {
        if (program_ == -1 || peer_ == -1 || !sock_is_open(program_))
            return false;
        sockaddr_in mine{}, theirs{};
        socklen_t a = sizeof mine, b = sizeof theirs;
        if (::getsockname(program_, reinterpret_cast<sockaddr*>(&mine), &a) != 0 ||
            ::getpeername(peer_, reinterpret_cast<sockaddr*>(&theirs), &b) != 0)
            return false;
        return mine.sin_port == theirs.sin_port;
    }

    // Reads what is there; true when the program end was closed and
    // everything it wrote has been read.
    bool drain()
    {
        char buf[8192];
        for (;;) {
            ssize_t n = ::recv(peer_, buf, sizeof buf, 0);
            if (n == 0)
                return true;
            if (n < 0)
                return false;
            partial_.append(buf, static_cast<std::size_t>(n));
        }
    }

    // Waits until every byte the program wrote is here: its end's send
    // queue is empty, or, when the program closed its end, the close came.
    void read()
    {
        if (peer_ == -1)
            return;
        const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        for (;;) {
            if (drain())
                break;
            int unsent = 0;
            if (program_end_is_ours() && (::ioctl(program_, SIOCOUTQ, &unsent) != 0 || unsent == 0)) {
                drain();
                break;
            }
            if (std::chrono::steady_clock::now() > limit)
                break;
            pollfd p{peer_, POLLIN, 0};
            ::poll(&p, 1, 10);
        }
        std::size_t nl;
        while ((nl = partial_.find('\n')) != std::string::npos) {
            lines_.push_back(partial_.substr(0, nl + 1));
            partial_.erase(0, nl + 1);
        }
    }

    void close()
    {
        if (program_end_is_ours())
            sock_close(program_);
        if (peer_ != -1)
            ::close(peer_);
        program_ = -1;
        peer_ = -1;
    }
};

#endif  // KEST_TESTS_SUPPORT_TEST_WIRE_H

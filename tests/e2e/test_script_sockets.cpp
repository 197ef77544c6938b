// Whole-program test of the script sockets: a script loaded through the
// settings opens a TCP connection to a peer of the test and a UDP socket,
// exchanges a line and a datagram, writes what its events saw with /write
// and ends the program with /exit -n.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>
#include <thread>

#include "e2e/harness.h"

using namespace e2e;

namespace {

int loopback_socket(int type, int* port)
{
    int s = ::socket(AF_INET, type | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || (type == SOCK_STREAM && ::listen(s, 4) != 0)) {
        ::close(s);
        return -1;
    }
    socklen_t len = sizeof a;
    ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
    *port = ntohs(a.sin_port);
    return s;
}

bool readable(int fd, int ms)
{
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, ms) > 0;
}

}  // namespace

TEST(ScriptSocketsE2e, LineAndDatagramThroughTheProgram)
{
    int tcp_port = 0, udp_port = 0;
    const int listener = loopback_socket(SOCK_STREAM, &tcp_port);
    const int udp = loopback_socket(SOCK_DGRAM, &udp_port);
    ASSERT_GE(listener, 0);
    ASSERT_GE(udp, 0);
    std::string tcp_got, udp_got;
    // The TCP peer answers the first line; the UDP peer echoes a datagram.
    std::thread peer([&] {
        if (!readable(listener, kWaitMs))
            return;
        int fd = ::accept(listener, nullptr, nullptr);
        char buf[256];
        while (tcp_got.find('\n') == std::string::npos && readable(fd, kWaitMs)) {
            ssize_t n = ::recv(fd, buf, sizeof buf, 0);
            if (n <= 0)
                break;
            tcp_got.append(buf, static_cast<std::size_t>(n));
        }
        const std::string reply = "world\r\n";
        ::send(fd, reply.data(), reply.size(), MSG_NOSIGNAL);
        if (readable(udp, kWaitMs)) {
            sockaddr_in from{};
            socklen_t len = sizeof from;
            ssize_t n = ::recvfrom(udp, buf, sizeof buf, 0, reinterpret_cast<sockaddr*>(&from), &len);
            if (n > 0) {
                udp_got.assign(buf, static_cast<std::size_t>(n));
                ::sendto(udp, "back", 4, 0, reinterpret_cast<sockaddr*>(&from), len);
            }
        }
        readable(fd, kWaitMs);  // until the program closes
        ::close(fd);
    });

    KestProgram kest;
    kest.log_status();
    const std::string p = std::to_string(tcp_port), u = std::to_string(udp_port);
    kest.add_script("sockets.kst",
                    "on *:START:{\n"
                    "  .timerbye -m 1 20000 exit -n\n"
                    "  sockopen cli 127.0.0.1 " + p + "\n"
                    "}\n"
                    "on *:SOCKOPEN:cli:{ write results.txt open $sockname $sockerr | sockwrite -n cli hello }\n"
                    "on *:SOCKREAD:cli:{\n"
                    "  sockread %line\n"
                    "  if ($sockbr) {\n"
                    "    write results.txt read %line $sock(cli).rcvd\n"
                    "    sockudp -k u 127.0.0.1 " + u + " ping\n"
                    "  }\n"
                    "}\n"
                    "on *:UDPREAD:u:{\n"
                    "  sockread -f %d\n"
                    "  write results.txt udp %d $sock(u).saddr $sock(*,0)\n"
                    "  sockclose *\n"
                    "  write results.txt left $sock(*,0)\n"
                    "  exit -n\n"
                    "}\n");
    ASSERT_TRUE(kest.start({"-noconnect"}));
    const int code = kest.process().wait_exit(2 * kWaitMs);
    peer.join();
    ::close(listener);
    ::close(udp);
    ASSERT_EQ(code, 0) << kest.status_log();
    EXPECT_EQ(tcp_got, "hello\r\n");
    EXPECT_EQ(udp_got, "ping");
    EXPECT_EQ(read_file(kest.settings() / "results.txt"),
              "open cli 0\nread world 7\nudp back 127.0.0.1 2\nleft 0\n")
        << kest.status_log();
}

// A hand-played SOCKS5 proxy whose success reply names the bound address by
// a domain name: the program reads that reply to its last byte, so the
// server's first line, sent right behind it, reaches the program whole.
#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/time.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "e2e/harness.h"
#include "e2e/net_support.h"

using namespace e2e;

namespace {

// Reads exactly `n` bytes within the wait bound; fewer on failure.
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

void send_all(int fd, const std::string& s) { (void)::send(fd, s.data(), s.size(), MSG_NOSIGNAL); }

} // namespace

TEST(ProxyDomainReply, TheServersFirstLineFollowsADomainNameReplyIntact)
{
    struct Case {
        const char* what;
        std::size_t domain_length;
        std::vector<std::size_t> cuts;  // where the reply is split into writes
    };
    const Case cases[] = {
        {"one write, reply and line together", 13, {}},
        {"split after the address type and after the length", 13, {4, 5}},
        {"split inside the name and before the port", 13, {9, 18}},
        {"a one-character name", 1, {5}},
        {"the longest name", 255, {100}},
    };
    int round = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ++round;
        ScriptedServer fake;  // plays the proxy, then the IRC server behind it
        ASSERT_TRUE(fake.ok());
        KestProgram k;
        k.set("socks", "enabled", "yes");
        k.set("socks", "hostname", "127.0.0.1");
        k.set("socks", "port", std::to_string(fake.port()));
        k.set("socks", "method", "5");
        ASSERT_TRUE(k.start({"-n", "domkest", "-s", "127.0.0.1:6999"}));
        LineSocket link;
        ASSERT_TRUE(fake.accept_link(link)) << k.output();
        const int fd = link.fd_for_test();
        ASSERT_EQ(read_exact(fd, 3), std::string("\x05\x01\x00", 3));
        send_all(fd, std::string("\x05\x00", 2));
        ASSERT_EQ(read_exact(fd, 10), std::string("\x05\x01\x00\x01\x7f\x00\x00\x01\x1b\x57", 10));

        // Success, address type 3: a length byte, the name, the port. The
        // port's last byte is a letter, so a reply read one byte short puts
        // it before the line; one read too far eats the line's first letter.
        std::string name(c.domain_length, 'p');
        name.replace(0, std::min<std::size_t>(name.size(), 5), std::string("proxy").substr(0, name.size()));
        const std::string reply = std::string("\x05\x00\x00\x03", 4) + static_cast<char>(c.domain_length) + name +
                                  std::string("\x1bZ", 2);
        const std::string token = "first-" + std::to_string(round);
        const std::string all = reply + "PING :" + token + "\r\n";
        std::size_t from = 0;
        for (std::size_t cut : c.cuts) {
            send_all(fd, all.substr(from, cut - from));
            std::this_thread::sleep_for(std::chrono::milliseconds(150));
            from = cut;
        }
        send_all(fd, all.substr(from));

        EXPECT_TRUE(link.wait_for("^PONG :" + token + "$")) << joined(link.history()) << k.output();
        EXPECT_TRUE(link.saw("^NICK domkest$")) << joined(link.history());
        // The link goes on as a server link: registration and a second ping.
        link.send_line(":fake.e2e.test 001 domkest :Welcome");
        link.send_line("PING :second-" + std::to_string(round));
        EXPECT_TRUE(link.wait_for("^PONG :second-" + std::to_string(round) + "$")) << joined(link.history());
        k.stop(3000);
    }
}

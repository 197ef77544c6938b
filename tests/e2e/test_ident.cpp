// Whole-program test of the ident server: the private IRC server asks the
// program's ident service on port 113 who the connecting user is.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>

#include "e2e/harness.h"
#include "e2e/net_support.h"

using namespace e2e;

namespace {

// Whether port 113 on all addresses can be bound here (root, and free).
bool ident_port_free()
{
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(113);
    bool ok = ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    ::close(fd);
    return ok;
}

} // namespace

TEST(IdentE2e, TheServersIdentQueryGetsTheConfiguredUserId)
{
    if (!server_available())
        GTEST_SKIP() << "the IRC server program is not installed";
    if (!ident_port_free())
        GTEST_SKIP() << "port 113 cannot be bound here (not root, or taken)";
    IrcServer server;
    server.ident = true;
    ASSERT_TRUE(server.start()) << server.log();
    Peer watcher;
    ASSERT_TRUE(watcher.login(server.port(), "watcher"));
    // A peer without an ident service is marked with "~" by the server.
    IrcLine self;
    ASSERT_TRUE(wait_nick_present(watcher, "watcher", kWaitMs, &self));
    ASSERT_GE(self.params.size(), 3u);
    EXPECT_EQ(self.params[2].rfind("~", 0), 0u) << self.raw;

    KestProgram k;
    k.set("ident", "active", "yes");
    k.set("ident", "userid", "kestid");
    k.set("ident", "system", "UNIX");
    k.set("ident", "port", "0");  // 0 listens on 113
    k.set("kest", "email", "mailuser@example.org");
    k.log_status();
    ASSERT_TRUE(k.start({"-s", "127.0.0.1:" + std::to_string(server.port()), "-n", "identkest"}));
    IrcLine who;
    ASSERT_TRUE(wait_nick_present(watcher, "identkest", kWaitMs, &who)) << k.status_log() << server.log();
    ASSERT_GE(who.params.size(), 3u);
    EXPECT_EQ(who.params[2], "kestid") << who.raw;
    // The request and the reply are shown in the status window.
    EXPECT_TRUE(wait_status_text(k, "* 127.0.0.1 'den İdentd Talep Edildi")) << k.status_log();
    EXPECT_TRUE(wait_status_text(k, " : USERID : UNIX : kestid")) << k.status_log();
}

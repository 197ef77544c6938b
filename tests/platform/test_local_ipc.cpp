#include "platform/local_ipc.h"
#include "platform_test_env.h"

#include <arpa/inet.h>
#include <atomic>
#include <cstring>
#include <gtest/gtest.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

struct Call {
    int kind;
    std::string payload;
};

class LocalIpc : public ::testing::Test
{
protected:
    void SetUp() override
    {
        platform_test_app();
        char tmpl[] = "/tmp/kest-ipc-test-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
        ASSERT_EQ(chmod(dir.c_str(), 0700), 0);
        const char *old = getenv("XDG_RUNTIME_DIR");
        had_old = old != nullptr;
        if (old)
            old_runtime = old;
        setenv("XDG_RUNTIME_DIR", dir.c_str(), 1);
    }
    void TearDown() override
    {
        ipc_server_stop(kService);
        if (had_old)
            setenv("XDG_RUNTIME_DIR", old_runtime.c_str(), 1);
        else
            unsetenv("XDG_RUNTIME_DIR");
        std::string cmd = "rm -rf '" + dir + "'";
        (void)!system(cmd.c_str());
    }

    void serve()
    {
        ASSERT_EQ(ipc_server_start(kService, [this](int kind, const std::string &payload, std::string &reply) {
                      calls.push_back({kind, payload});
                      reply = "got:" + payload;
                      return kind == IPC_PROBE ? 1 : 7;
                  }),
                  1);
    }

    // Runs `client` on a thread while the event loop serves; bounded in time.
    void run_client(const std::function<void()> &client)
    {
        std::atomic<bool> finished{false};
        std::thread t([&] {
            client();
            finished = true;
        });
        bool ok = pump_until([&] { return finished.load(); }, 10000);
        t.join();
        ASSERT_TRUE(ok);
    }

    // A raw client: sends `bytes`, optionally closes its sending side, and returns
    // what came back before the server closed (or the time ran out).
    std::string raw_exchange(const std::string &bytes, bool close_send)
    {
        std::string got;
        run_client([&] {
            int fd = socket(AF_UNIX, SOCK_STREAM, 0);
            sockaddr_un addr{};
            addr.sun_family = AF_UNIX;
            std::string path = ipc_socket_path(kService);
            std::memcpy(addr.sun_path, path.data(), path.size());
            if (connect(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0) {
                close(fd);
                return;
            }
            (void)!send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
            if (close_send)
                shutdown(fd, SHUT_WR);
            for (;;) {
                pollfd p{fd, POLLIN, 0};
                if (poll(&p, 1, 3000) <= 0)
                    break;
                char buf[256];
                ssize_t n = recv(fd, buf, sizeof buf, 0);
                if (n <= 0)
                    break;
                got.append(buf, static_cast<size_t>(n));
            }
            close(fd);
        });
        return got;
    }

    static std::string header(uint32_t kind, uint32_t length, const char *magic = "KIP1")
    {
        std::string h(magic, 4);
        uint32_t k = htonl(kind), l = htonl(length);
        h.append(reinterpret_cast<const char *>(&k), 4);
        h.append(reinterpret_cast<const char *>(&l), 4);
        return h;
    }

    static constexpr const char *kService = "KestTest";
    std::string dir, old_runtime;
    bool had_old = false;
    std::vector<Call> calls;
};

TEST_F(LocalIpc, RequestAndReplyMakeARoundTrip)
{
    serve();
    int answer = 0;
    std::string reply;
    int ok = 0;
    std::string big(kIpcMaxPayload, 'z');
    int big_ok = 0;
    std::string big_reply;
    run_client([&] {
        ok = ipc_request(kService, IPC_EVALUATE, "$me", &answer, &reply);
        big_ok = ipc_request(kService, IPC_RUN_COMMAND, big, nullptr, &big_reply);
    });
    EXPECT_EQ(ok, 1);
    EXPECT_EQ(answer, 7);
    EXPECT_EQ(reply, "got:$me");
    EXPECT_EQ(big_ok, 1);
    EXPECT_EQ(big_reply.size(), kIpcMaxPayload); // a reply is cut to the limit
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].kind, IPC_EVALUATE);
    EXPECT_EQ(calls[0].payload, "$me");
    EXPECT_EQ(calls[1].payload, big);
}

TEST_F(LocalIpc, HandOverProbesThenSendsTheLinkCutToItsUsableLength)
{
    serve();
    int probe = 0, link = 0;
    std::string long_link = "irc://server/" + std::string(2000, 'c');
    run_client([&] {
        probe = ipc_handover_probe(kService);
        link = ipc_handover_link(kService, long_link);
    });
    EXPECT_EQ(probe, 1);
    EXPECT_EQ(link, 7);
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].kind, IPC_PROBE);
    EXPECT_EQ(calls[1].kind, IPC_LINK);
    EXPECT_EQ(calls[1].payload, long_link.substr(0, 1024));
}

TEST_F(LocalIpc, MalformedRequestsAreRefusedUnread)
{
    serve();
    struct Case {
        const char *what;
        std::string bytes;
        bool close_send;
    } cases[] = {
        {"declared length over the limit", header(IPC_LINK, kIpcMaxPayload + 1) + "irc://x", false},
        {"huge declared length", header(IPC_LINK, 0xFFFFFFFFu), false},
        {"payload cut short", header(IPC_LINK, 100) + "irc://short", true},
        {"header cut short", header(IPC_LINK, 5).substr(0, 7), true},
        {"wrong magic", header(IPC_PROBE, 0, "HTTP"), false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(raw_exchange(c.bytes, c.close_send), ""); // closed without a reply
    }
    EXPECT_TRUE(calls.empty());
    // The server still serves well-formed requests afterwards.
    int answer = 0;
    run_client([&] { ipc_request(kService, IPC_PROBE, "", &answer, nullptr); });
    EXPECT_EQ(answer, 1);
}

TEST_F(LocalIpc, AClientThatStallsIsDroppedAfterTheTimeout)
{
    serve();
    ipc_set_client_timeout(100);
    std::string got = raw_exchange(header(IPC_LINK, 50) + "partial", false);
    ipc_set_client_timeout(0);
    EXPECT_EQ(got, "");
    EXPECT_TRUE(calls.empty());
}

TEST_F(LocalIpc, OneServerPerServiceAndALeftoverSocketIsReplaced)
{
    serve();
    EXPECT_EQ(ipc_server_running(kService), 1);
    EXPECT_EQ(ipc_server_start(kService, nullptr), 0); // already served
    EXPECT_EQ(ipc_server_stop(kService), 1);
    EXPECT_EQ(ipc_server_stop(kService), 0);

    // A socket file left by a process that ended: nobody answers there.
    std::string path = ipc_socket_path(kService);
    int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::memcpy(addr.sun_path, path.data(), path.size());
    ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr), 0);
    close(fd);
    serve();

    // No server: the request fails quietly.
    ipc_server_stop(kService);
    int ok = 1;
    run_client([&] { ok = ipc_request(kService, IPC_PROBE, "", nullptr, nullptr, 500); });
    EXPECT_EQ(ok, 0);
    EXPECT_EQ(ipc_handover_probe("NobodyServesThis"), 0);
}

TEST_F(LocalIpc, AFileInTheSocketsPlaceIsNeverRemoved)
{
    std::string path = ipc_socket_path(kService);
    FILE *f = fopen(path.c_str(), "w");
    ASSERT_NE(f, nullptr);
    fputs("keep", f);
    fclose(f);
    EXPECT_EQ(ipc_server_start(kService, nullptr), 0);
    struct stat st;
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    unlink(path.c_str());
}

TEST_F(LocalIpc, ClientRefusesAnOversizedPayloadBeforeConnecting)
{
    serve();
    int ok = 1;
    run_client([&] { ok = ipc_request(kService, IPC_RUN_COMMAND, std::string(kIpcMaxPayload + 1, 'x'), nullptr, nullptr); });
    EXPECT_EQ(ok, 0);
    EXPECT_TRUE(calls.empty());
}

TEST_F(LocalIpc, SocketPathsStayInsideTheRuntimeFolder)
{
    struct Case {
        const char *service;
        const char *name;
    } cases[] = {
        {"Kest", "kest-Kest.sock"},
        {"Kest7", "kest-Kest7.sock"},
        {"../../etc/passwd", "kest-.._.._etc_passwd.sock"},
        {"a b/c", "kest-a_b_c.sock"},
    };
    std::string base = dir + "/";
    for (const Case &c : cases) {
        SCOPED_TRACE(c.service);
        EXPECT_EQ(ipc_socket_path(c.service), base + c.name);
    }
    EXPECT_EQ(ipc_socket_path(std::string(200, 'k')), base + "kest-" + std::string(64, 'k') + ".sock");
}

TEST_F(LocalIpc, APublicRuntimeFolderIsNotTrusted)
{
    ASSERT_EQ(chmod(dir.c_str(), 0755), 0);
    std::string chosen = ipc_runtime_dir();
    EXPECT_NE(chosen, dir + "/");
    if (!chosen.empty()) {
        struct stat st;
        ASSERT_EQ(lstat(chosen.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 077, 0u);
        EXPECT_EQ(st.st_uid, geteuid());
    }
    chmod(dir.c_str(), 0700);
}

} // namespace

// Shared set-up of the script-socket tests: the event engine with one live
// connection and its status window, the sockets installed, the frame's
// messages delivered, the script's printed lines and errors caught, and
// real loopback peers on threads of their own.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QWidget>

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/frame_proc.h"
#include "core/time_date.h"
#include "extensions/sockets.h"
#include "identifiers/store_identifiers.h"
#include "script/stores/data_stores.h"
#include "irc/link/lookups.h"
#include "model/window_record.h"
#include "platform/platform_test_env.h"
#include "script/events_fixture.h"
#include "script/stores/variables.h"

namespace sockets_test {

inline std::vector<std::string> echoed;
inline std::time_t fake_now = 1000000;

// A blocking loopback TCP socket listening on a free port.
inline int listen_loopback(int* port)
{
    int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int one = 1;
    ::setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(s, 64) != 0) {
        ::close(s);
        return -1;
    }
    socklen_t len = sizeof a;
    ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
    *port = ntohs(a.sin_port);
    return s;
}

// A blocking connect to 127.0.0.1:port; -1 when refused.
inline int connect_loopback(int port)
{
    int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<uint16_t>(port));
    if (::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        ::close(s);
        return -1;
    }
    return s;
}

inline bool send_all(int fd, const std::string& data)
{
    std::size_t off = 0;
    while (off < data.size()) {
        ssize_t n = ::send(fd, data.data() + off, data.size() - off, MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        off += static_cast<std::size_t>(n);
    }
    return true;
}

// Reads until `want` bytes came, the peer closed, or 20 s passed without data.
inline std::string recv_some(int fd, std::size_t want)
{
    std::string got;
    char buf[4096];
    while (got.size() < want) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 20000) <= 0)
            break;
        ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n <= 0)
            break;
        got.append(buf, static_cast<std::size_t>(n));
    }
    return got;
}

// A peer's wait for the test to let it go on; bounded, so that a failed
// test does not leave the peer waiting for ever.
inline void peer_wait(const std::atomic<int>& flag, int at_least)
{
    for (int i = 0; i < 30000 && flag.load() < at_least; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

// A peer that accepts one connection on a thread and runs `body` on it.
class TcpPeer {
public:
    explicit TcpPeer(std::function<void(int fd)> body)
    {
        listener_ = listen_loopback(&port_);
        thread_ = std::thread([this, body] {
            pollfd p{listener_, POLLIN, 0};
            if (::poll(&p, 1, 20000) <= 0)
                return;
            int fd = ::accept(listener_, nullptr, nullptr);
            if (fd < 0)
                return;
            body(fd);
            ::close(fd);
        });
    }
    ~TcpPeer()
    {
        if (thread_.joinable())
            thread_.join();
        ::close(listener_);
    }
    int port() const { return port_; }
    void join()
    {
        if (thread_.joinable())
            thread_.join();
    }

private:
    int listener_ = -1;
    int port_ = 0;
    std::thread thread_;
};

class SocketsTest : public events_test::EventsTest {
protected:
    void SetUp() override
    {
        EventsTest::SetUp();
        platform_test_app();
        frame_proc_install();
        irc_lookups_install();
        data_stores_install();
        store_identifiers_register();
        sockets_install();
        event_switch_events = 1;
        echoed.clear();
        script_echo_line = [](QWidget*, const std::string& text, int) { echoed.push_back(text); };
        time_clock = [] { return fake_now; };
        // The status window: where the connection's events and lookups run.
        window_ = std::make_unique<QWidget>();
        status_ = win_record_new(1);
        status_->name = "Status Window";
        status_->type = kWinStatus;
        status_->conn = conn;
        status_->hwnd = window_.get();
        win_create_text_area(status_);
        conn->status_window = window_.get();
    }
    void TearDown() override
    {
        sock_free_all();
        sockets_uninstall();
        dns_cancel_all();
        win_record_free(status_);
        window_.reset();
        EventsTest::TearDown();
    }
    int run(const std::string& line)
    {
        return script_exec_line(nullptr, line.c_str(), nullptr, 1, nullptr, nullptr, conn);
    }
    static std::string var(const std::string& name)
    {
        std::string v;
        var_find(name, &v, nullptr);
        return v;
    }
    static bool said_has(const std::string& line)
    {
        for (const auto& s : events_test::said)
            if (s == line)
                return true;
        return false;
    }
    static int said_count(const std::string& line)
    {
        int n = 0;
        for (const auto& s : events_test::said)
            n += s == line;
        return n;
    }
    static bool echoed_has(const std::string& line)
    {
        for (const auto& s : echoed)
            if (s == line)
                return true;
        return false;
    }
    static bool wait_for(const std::function<bool()>& done, int ms = 30000) { return pump_until(done, ms); }

    WindowRecord* status_ = nullptr;
    std::unique_ptr<QWidget> window_;
};

}  // namespace sockets_test

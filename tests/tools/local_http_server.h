// A small HTTP server on 127.0.0.1 for the download tests: each path has a
// scripted answer (raw bytes sent as they stand), optionally followed by a
// stall (the connection is held open without a byte until the server stops)
// or by a close in the middle of the body. It records each request's head.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class LocalHttpServer {
public:
    struct Answer {
        std::string bytes;   // everything sent
        bool stall = false;  // then hold the connection open
    };

    LocalHttpServer()
    {
        listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
        int one = 1;
        ::setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = 0;
        if (::bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(listener_, 8) != 0)
            return;
        socklen_t len = sizeof a;
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &len);
        port_ = ntohs(a.sin_port);
        thread_ = std::thread([this] { run(); });
    }
    ~LocalHttpServer()
    {
        stop_ = true;
        if (thread_.joinable())
            thread_.join();
        ::close(listener_);
    }

    int port() const { return port_; }
    std::string url(const std::string& path) const
    {
        return "http://127.0.0.1:" + std::to_string(port_) + path;
    }

    void set(const std::string& path, Answer answer)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        answers_[path] = std::move(answer);
    }
    // A 200 reply with the body and its length.
    void set_file(const std::string& path, const std::string& body)
    {
        set(path, {"HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) +
                       "\r\nConnection: close\r\n\r\n" + body});
    }
    std::vector<std::string> requests()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return requests_;
    }

private:
    void run()
    {
        while (!stop_) {
            pollfd p{listener_, POLLIN, 0};
            if (::poll(&p, 1, 20) <= 0)
                continue;
            const int fd = ::accept(listener_, nullptr, nullptr);
            if (fd < 0)
                continue;
            serve(fd);
            ::close(fd);
        }
    }

    void serve(int fd)
    {
        std::string head;
        char buf[2048];
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (head.find("\r\n\r\n") == std::string::npos && !stop_ &&
               std::chrono::steady_clock::now() < until) {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 20) <= 0)
                continue;
            const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
            if (n <= 0)
                return;
            head.append(buf, static_cast<std::size_t>(n));
        }
        const std::size_t sp = head.find(' ');
        const std::size_t sp2 = head.find(' ', sp + 1);
        const std::string path = sp == std::string::npos ? std::string() : head.substr(sp + 1, sp2 - sp - 1);
        Answer answer{"HTTP/1.1 404 Not Found\r\nContent-Length: 9\r\nConnection: close\r\n\r\nnot found"};
        {
            std::lock_guard<std::mutex> lock(mutex_);
            requests_.push_back(head);
            if (auto it = answers_.find(path); it != answers_.end())
                answer = it->second;
        }
        std::size_t sent = 0;
        while (sent < answer.bytes.size()) {
            const ssize_t n = ::send(fd, answer.bytes.data() + sent, answer.bytes.size() - sent, MSG_NOSIGNAL);
            if (n <= 0)
                return;
            sent += static_cast<std::size_t>(n);
        }
        while (answer.stall && !stop_) {
            // Held open without a byte; a client that goes away ends it.
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 20) > 0 && ::recv(fd, buf, sizeof buf, 0) <= 0)
                return;
        }
    }

    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::thread thread_;
    std::mutex mutex_;
    std::map<std::string, Answer> answers_;
    std::vector<std::string> requests_;
};

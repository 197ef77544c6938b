// Name lookups on a small pool of worker threads.
#include "platform/host_lookup.h"

#include "platform/app_messages.h"

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <netdb.h>
#include <thread>
#include <unordered_map>

namespace {

constexpr int kMaxThreads = 4;      // lookups resolved at the same time
constexpr std::size_t kMaxQueued = 256; // lookups waiting for a thread
constexpr std::size_t kMaxName = 255;

struct Request {
    int handle = 0;
    int message = 0;
    bool reverse = false;
    int family = AF_UNSPEC;
    std::string text;
    bool cancelled = false;
    bool done = false;
    HostLookupResult result;
};

struct Pool {
    std::mutex mutex;
    std::condition_variable wake;
    std::deque<std::shared_ptr<Request>> queue;
    std::unordered_map<int, std::shared_ptr<Request>> live; // started, not yet delivered
    int threads = 0;
    int idle = 0;
    int next_handle = 1;
};

Pool &pool()
{
    static Pool *p = new Pool; // never destroyed: workers may still run at exit
    return *p;
}

int map_gai_error(int rc)
{
    if (rc == 0)
        return 0;
    if (rc == EAI_NONAME)
        return WSAHOST_NOT_FOUND;
#ifdef EAI_NODATA
    if (rc == EAI_NODATA)
        return WSANO_DATA;
#endif
#ifdef EAI_ADDRFAMILY
    if (rc == EAI_ADDRFAMILY)
        return WSANO_DATA;
#endif
    if (rc == EAI_AGAIN)
        return WSATRY_AGAIN;
    return WSANO_RECOVERY;
}

bool plausible_name(const std::string &name)
{
    if (name.empty() || name.size() > kMaxName)
        return false;
    for (unsigned char c : name)
        if (c <= 0x20 || c == 0x7F)
            return false;
    return true;
}

void resolve(Request &req)
{
    HostLookupResult &res = req.result;
    if (req.reverse) {
        SockAddr addr;
        if (!sockaddr_from_text(req.text, 0, addr)) {
            res.error = WSAHOST_NOT_FOUND;
            return;
        }
        char host[NI_MAXHOST] = {0};
        int rc = getnameinfo(reinterpret_cast<const sockaddr *>(&addr.storage), addr.length, host, sizeof host,
                             nullptr, 0, NI_NAMEREQD);
        res.error = map_gai_error(rc);
        if (rc == 0) {
            res.name.assign(host, strnlen(host, sizeof host));
            res.addresses.push_back(addr);
        }
        return;
    }
    if (!plausible_name(req.text)) {
        res.error = WSAHOST_NOT_FOUND;
        return;
    }
    addrinfo hints{};
    hints.ai_family = req.family;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_CANONNAME;
    addrinfo *list = nullptr;
    int rc = getaddrinfo(req.text.c_str(), nullptr, &hints, &list);
    res.error = map_gai_error(rc);
    if (rc != 0)
        return;
    for (addrinfo *ai = list; ai; ai = ai->ai_next) {
        if (ai->ai_canonname && res.name.empty())
            res.name.assign(ai->ai_canonname, strnlen(ai->ai_canonname, kMaxName + 1));
        if ((ai->ai_family != AF_INET && ai->ai_family != AF_INET6) || ai->ai_addrlen > sizeof(sockaddr_storage))
            continue;
        SockAddr a;
        std::memcpy(&a.storage, ai->ai_addr, ai->ai_addrlen);
        a.length = ai->ai_addrlen;
        bool seen = false;
        for (const SockAddr &b : res.addresses)
            seen = seen || (b.length == a.length && std::memcmp(&b.storage, &a.storage, a.length) == 0);
        if (!seen && res.addresses.size() < 0xFFFF)
            res.addresses.push_back(a);
    }
    freeaddrinfo(list);
    if (res.name.empty())
        res.name = req.text;
    if (res.addresses.empty())
        res.error = WSANO_DATA;
}

void deliver(const std::shared_ptr<Request> &req)
{
    const int handle = req->handle;
    const intptr_t word = (static_cast<intptr_t>(req->result.error & 0xFFFF) << 16) |
                          static_cast<intptr_t>(std::min<std::size_t>(req->result.addresses.size(), 0xFFFF));
    std::weak_ptr<Request> weak = req;
    post_app_message_checked(
        req->message, static_cast<uintptr_t>(handle), word,
        [weak] {
            auto r = weak.lock();
            if (!r)
                return false;
            std::lock_guard<std::mutex> lock(pool().mutex);
            return !r->cancelled;
        },
        [handle, weak] {
            // The result is gone once the handler ran (or the message was dropped).
            Pool &p = pool();
            std::lock_guard<std::mutex> lock(p.mutex);
            auto it = p.live.find(handle);
            if (it != p.live.end() && it->second == weak.lock())
                p.live.erase(it);
        });
}

void worker_loop()
{
    Pool &p = pool();
    for (;;) {
        std::shared_ptr<Request> req;
        {
            std::unique_lock<std::mutex> lock(p.mutex);
            ++p.idle;
            p.wake.wait(lock, [&p] { return !p.queue.empty(); });
            --p.idle;
            req = p.queue.front();
            p.queue.pop_front();
            if (req->cancelled)
                continue;
        }
        resolve(*req);
        {
            std::lock_guard<std::mutex> lock(p.mutex);
            req->done = true;
            if (req->cancelled)
                continue;
        }
        deliver(req);
    }
}

int enqueue(std::shared_ptr<Request> req)
{
    Pool &p = pool();
    std::unique_lock<std::mutex> lock(p.mutex);
    if (p.queue.size() >= kMaxQueued || p.live.size() >= kMaxQueued * 4) {
        sock_set_last_error(WSAENOBUFS);
        return 0;
    }
    // Handles are small positive numbers, never 0, never one in use.
    int handle;
    do {
        handle = p.next_handle;
        p.next_handle = p.next_handle >= 0x7FFF ? 1 : p.next_handle + 1;
    } while (p.live.count(handle));
    req->handle = handle;
    p.live[handle] = req;
    p.queue.push_back(req);
    if (p.idle == 0 && p.threads < kMaxThreads) {
        ++p.threads;
        std::thread(worker_loop).detach();
    }
    lock.unlock();
    p.wake.notify_one();
    sock_set_last_error(0);
    return handle;
}

} // namespace

int host_lookup_start(const std::string &name, int message, int family)
{
    if (family != AF_INET && family != AF_INET6 && family != AF_UNSPEC) {
        sock_set_last_error(WSAEAFNOSUPPORT);
        return 0;
    }
    auto req = std::make_shared<Request>();
    req->message = message;
    req->family = family;
    req->text = name.size() > kMaxName ? std::string() : name; // an over-long name fails as not found
    return enqueue(std::move(req));
}

int host_lookup_reverse_start(const std::string &ip, int message)
{
    auto req = std::make_shared<Request>();
    req->message = message;
    req->reverse = true;
    req->text = ip.size() > 64 ? std::string() : ip;
    return enqueue(std::move(req));
}

int host_lookup_take(int handle, HostLookupResult &out)
{
    Pool &p = pool();
    std::lock_guard<std::mutex> lock(p.mutex);
    auto it = p.live.find(handle);
    if (it == p.live.end() || !it->second->done || it->second->cancelled)
        return 0;
    out = std::move(it->second->result);
    p.live.erase(it);
    return 1;
}

int host_lookup_cancel(int handle)
{
    Pool &p = pool();
    std::lock_guard<std::mutex> lock(p.mutex);
    auto it = p.live.find(handle);
    if (it == p.live.end()) {
        sock_set_last_error(WSAEINVAL);
        return SOCKET_ERROR;
    }
    it->second->cancelled = true;
    p.live.erase(it);
    sock_set_last_error(0);
    return 0;
}

void host_lookup_cancel_all()
{
    Pool &p = pool();
    std::lock_guard<std::mutex> lock(p.mutex);
    for (auto &kv : p.live)
        kv.second->cancelled = true;
    p.live.clear();
    p.queue.clear();
}

int host_lookup_pending()
{
    Pool &p = pool();
    std::lock_guard<std::mutex> lock(p.mutex);
    return static_cast<int>(p.live.size());
}

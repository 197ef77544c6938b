// Non-blocking POSIX sockets with a notifier per socket that posts select words.
#include "platform/sockets.h"

#include "core/numbered_texts.h"
#include "platform/app_messages.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QSocketNotifier>
#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/ioctl.h>
#include <unistd.h>
#include <unordered_map>
#include <vector>

namespace {

thread_local int t_last_error = 0;

int g_startup_failure = 0;

void default_message_sink(const std::string &title, const std::string &text)
{
    std::fprintf(stderr, "%s: %s\n", title.c_str(), text.c_str());
}

NetMessageSink g_message_sink = default_message_sink;

struct ErrnoEntry {
    int err;
    int wsa;
};

// System error -> socket error number.  A connect under way reads as "would block",
// as the program's socket code expects of a non-blocking connect.
const ErrnoEntry kErrnoTable[] = {
    {EWOULDBLOCK, WSAEWOULDBLOCK}, {EAGAIN, WSAEWOULDBLOCK}, {EINPROGRESS, WSAEWOULDBLOCK},
    {EINTR, WSAEINTR}, {EBADF, WSAENOTSOCK}, {EACCES, WSAEACCES}, {EPERM, WSAEACCES},
    {EFAULT, WSAEFAULT}, {EINVAL, WSAEINVAL}, {EMFILE, WSAEMFILE}, {ENFILE, WSAEMFILE},
    {EALREADY, WSAEALREADY}, {ENOTSOCK, WSAENOTSOCK}, {EDESTADDRREQ, WSAEDESTADDRREQ},
    {EMSGSIZE, WSAEMSGSIZE}, {EPROTOTYPE, WSAEPROTOTYPE}, {ENOPROTOOPT, WSAENOPROTOOPT},
    {EPROTONOSUPPORT, WSAEPROTONOSUPPORT}, {ESOCKTNOSUPPORT, WSAESOCKTNOSUPPORT},
    {EOPNOTSUPP, WSAEOPNOTSUPP}, {EPFNOSUPPORT, WSAEPFNOSUPPORT}, {EAFNOSUPPORT, WSAEAFNOSUPPORT},
    {EADDRINUSE, WSAEADDRINUSE}, {EADDRNOTAVAIL, WSAEADDRNOTAVAIL}, {ENETDOWN, WSAENETDOWN},
    {ENETUNREACH, WSAENETUNREACH}, {ENETRESET, WSAENETRESET}, {ECONNABORTED, WSAECONNABORTED},
    {ECONNRESET, WSAECONNRESET}, {EPIPE, WSAECONNRESET}, {ENOBUFS, WSAENOBUFS}, {ENOMEM, WSAENOBUFS},
    {EISCONN, WSAEISCONN}, {ENOTCONN, WSAENOTCONN}, {ESHUTDOWN, WSAESHUTDOWN},
    {ETOOMANYREFS, WSAETOOMANYREFS}, {ETIMEDOUT, WSAETIMEDOUT}, {ECONNREFUSED, WSAECONNREFUSED},
    {ELOOP, WSAELOOP}, {ENAMETOOLONG, WSAENAMETOOLONG}, {EHOSTDOWN, WSAEHOSTDOWN},
    {EHOSTUNREACH, WSAEHOSTUNREACH}, {ENOTEMPTY, WSAENOTEMPTY}, {EUSERS, WSAEUSERS},
    {EDQUOT, WSAEDQUOT}, {ESTALE, WSAESTALE}, {EREMOTE, WSAEREMOTE},
};

int fail_errno()
{
    t_last_error = sock_error_from_errno(errno);
    return SOCKET_ERROR;
}

enum class SockState { Idle, Connecting, Connected, Listening, Failed };

struct SockRecord {
    int fd = -1;
    uint64_t generation = 0;
    int type = SOCK_STREAM;
    int message = 0;
    int events = 0;
    SockState state = SockState::Idle;
    bool read_armed = true;   // FD_READ / FD_CLOSE may be posted
    bool accept_armed = true; // FD_ACCEPT may be posted
    bool write_armed = true;  // FD_WRITE may be posted
    bool close_reported = false;
    std::unique_ptr<QSocketNotifier> read_notifier;
    std::unique_ptr<QSocketNotifier> write_notifier;
};

// The map is touched from the user-interface thread; raw I/O from other threads only
// re-arms through a queued call.  The mutex keeps the map itself consistent.
// Never destroyed: notifiers must not outlive the application object's dispatcher in a
// static destructor; the socket layer's stop (net_cleanup) closes what is open.
std::mutex &g_mutex = *new std::mutex;
std::unordered_map<int, std::unique_ptr<SockRecord>> &g_sockets = *new std::unordered_map<int, std::unique_ptr<SockRecord>>;
uint64_t g_next_generation = 1;

SockRecord *find_locked(int s)
{
    auto it = g_sockets.find(s);
    return it == g_sockets.end() ? nullptr : it->second.get();
}

bool event_still_current(int fd, uint64_t generation)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    SockRecord *r = find_locked(fd);
    return r && r->generation == generation;
}

void post_event(SockRecord *r, int event, int error)
{
    if (!r->message || !(r->events & event))
        return;
    int fd = r->fd;
    uint64_t gen = r->generation;
    post_app_message_checked(r->message, static_cast<uintptr_t>(fd), WSAMAKESELECTREPLY(event, error),
                             [fd, gen] { return event_still_current(fd, gen); }, nullptr);
}

void update_notifiers(SockRecord *r);

void on_readable(int fd)
{
    SockRecord *r;
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        r = find_locked(fd);
    }
    if (!r)
        return;
    if (r->state == SockState::Listening) {
        r->accept_armed = false;
        post_event(r, FD_ACCEPT, 0);
    } else if (r->type != SOCK_STREAM) {
        r->read_armed = false;
        post_event(r, FD_READ, 0);
    } else {
        int pending = 0;
        char c;
        long peeked = 1;
        if (ioctl(fd, FIONREAD, &pending) != 0 || pending <= 0)
            peeked = ::recv(fd, &c, 1, MSG_PEEK | MSG_DONTWAIT);
        if (peeked > 0) {
            r->read_armed = false; // until the owner reads
            post_event(r, FD_READ, 0);
        } else if (peeked == 0) {
            r->close_reported = true;
            post_event(r, FD_CLOSE, 0);
        } else if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
            r->close_reported = true;
            post_event(r, FD_CLOSE, sock_error_from_errno(errno));
        }
    }
    update_notifiers(r);
}

void on_writable(int fd)
{
    SockRecord *r;
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        r = find_locked(fd);
    }
    if (!r)
        return;
    if (r->state == SockState::Connecting) {
        int err = 0;
        socklen_t len = sizeof err;
        if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) != 0)
            err = errno;
        if (err == EINPROGRESS || err == EALREADY)
            return;
        if (err == 0) {
            r->state = SockState::Connected;
            r->read_armed = true;
            r->write_armed = true; // FD_WRITE follows FD_CONNECT
            post_event(r, FD_CONNECT, 0);
        } else {
            r->state = SockState::Failed;
            post_event(r, FD_CONNECT, sock_error_from_errno(err));
        }
    } else if (r->state == SockState::Connected) {
        r->write_armed = false; // until a send would block
        post_event(r, FD_WRITE, 0);
    }
    update_notifiers(r);
}

void update_notifiers(SockRecord *r)
{
    const bool selected = r->message != 0 && r->events != 0;
    bool want_read = false;
    bool want_write = false;
    if (selected) {
        switch (r->state) {
        case SockState::Listening:
            want_read = r->accept_armed && (r->events & FD_ACCEPT);
            break;
        case SockState::Connected:
            want_read = r->read_armed && !r->close_reported && (r->events & (FD_READ | FD_CLOSE));
            want_write = r->write_armed && (r->events & FD_WRITE);
            break;
        case SockState::Connecting:
            want_write = true;
            break;
        case SockState::Idle:
            if (r->type != SOCK_STREAM) {
                want_read = r->read_armed && (r->events & FD_READ);
                want_write = r->write_armed && (r->events & FD_WRITE);
            }
            break;
        case SockState::Failed:
            break;
        }
    }
    if (want_read && !r->read_notifier && on_ui_thread()) {
        int fd = r->fd;
        r->read_notifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
        QObject::connect(r->read_notifier.get(), &QSocketNotifier::activated,
                         r->read_notifier.get(), [fd] { on_readable(fd); });
    }
    if (want_write && !r->write_notifier && on_ui_thread()) {
        int fd = r->fd;
        r->write_notifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Write);
        QObject::connect(r->write_notifier.get(), &QSocketNotifier::activated,
                         r->write_notifier.get(), [fd] { on_writable(fd); });
    }
    if (r->read_notifier)
        r->read_notifier->setEnabled(want_read);
    if (r->write_notifier)
        r->write_notifier->setEnabled(want_write);
}

// Re-arms after an owner's call.  From another thread the change is queued to the
// user-interface thread and applied only when the socket is still the same one.
void rearm(int s, bool read, bool accept, bool write)
{
    if (on_ui_thread()) {
        std::unique_lock<std::mutex> lock(g_mutex);
        SockRecord *r = find_locked(s);
        lock.unlock();
        if (!r)
            return;
        r->read_armed = r->read_armed || read;
        r->accept_armed = r->accept_armed || accept;
        r->write_armed = r->write_armed || write;
        update_notifiers(r);
        return;
    }
    uint64_t gen;
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        SockRecord *r = find_locked(s);
        if (!r)
            return;
        gen = r->generation;
    }
    if (QCoreApplication::instance())
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [s, gen, read, accept, write] {
                if (event_still_current(s, gen))
                    rearm(s, read, accept, write);
            },
            Qt::QueuedConnection);
}

SockRecord *add_record(int fd, int type)
{
    auto rec = std::make_unique<SockRecord>();
    rec->fd = fd;
    rec->type = type;
    std::lock_guard<std::mutex> lock(g_mutex);
    rec->generation = g_next_generation++;
    SockRecord *raw = rec.get();
    g_sockets[fd] = std::move(rec);
    return raw;
}

SockRecord *lookup(int s)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    return find_locked(s);
}

int set_nonblocking(int fd)
{
    int flags = fcntl(fd, F_GETFL, 0);
    return flags < 0 ? -1 : fcntl(fd, F_SETFL, flags | O_NONBLOCK);
}

} // namespace

// ---- addresses ----

int sockaddr_from_text(const std::string &ip_in, int port, SockAddr &out)
{
    out = SockAddr{};
    if (port < 0 || port > 65535 || ip_in.empty() || ip_in.size() > 64)
        return 0;
    std::string ip = ip_in;
    if (ip.size() > 2 && ip.front() == '[' && ip.back() == ']')
        ip = ip.substr(1, ip.size() - 2);
    if (ip.find('\0') != std::string::npos)
        return 0;
    auto *v4 = reinterpret_cast<sockaddr_in *>(&out.storage);
    if (inet_pton(AF_INET, ip.c_str(), &v4->sin_addr) == 1) {
        v4->sin_family = AF_INET;
        v4->sin_port = htons(static_cast<uint16_t>(port));
        out.length = sizeof(sockaddr_in);
        return 1;
    }
    out = SockAddr{};
    auto *v6 = reinterpret_cast<sockaddr_in6 *>(&out.storage);
    if (inet_pton(AF_INET6, ip.c_str(), &v6->sin6_addr) == 1) {
        v6->sin6_family = AF_INET6;
        v6->sin6_port = htons(static_cast<uint16_t>(port));
        out.length = sizeof(sockaddr_in6);
        return 1;
    }
    out = SockAddr{};
    return 0;
}

SockAddr sockaddr_from_ipv4(uint32_t host_order, int port)
{
    SockAddr out;
    auto *v4 = reinterpret_cast<sockaddr_in *>(&out.storage);
    v4->sin_family = AF_INET;
    v4->sin_addr.s_addr = htonl(host_order);
    v4->sin_port = htons(static_cast<uint16_t>(port & 0xFFFF));
    out.length = sizeof(sockaddr_in);
    return out;
}

int sockaddr_family(const SockAddr &addr)
{
    return addr.length ? addr.storage.ss_family : 0;
}

std::string sockaddr_ip_text(const SockAddr &addr)
{
    char buf[INET6_ADDRSTRLEN] = {0};
    if (sockaddr_family(addr) == AF_INET) {
        auto *v4 = reinterpret_cast<const sockaddr_in *>(&addr.storage);
        if (inet_ntop(AF_INET, &v4->sin_addr, buf, sizeof buf))
            return buf;
    } else if (sockaddr_family(addr) == AF_INET6) {
        auto *v6 = reinterpret_cast<const sockaddr_in6 *>(&addr.storage);
        if (inet_ntop(AF_INET6, &v6->sin6_addr, buf, sizeof buf))
            return buf;
    }
    return std::string();
}

int sockaddr_port(const SockAddr &addr)
{
    if (sockaddr_family(addr) == AF_INET)
        return ntohs(reinterpret_cast<const sockaddr_in *>(&addr.storage)->sin_port);
    if (sockaddr_family(addr) == AF_INET6)
        return ntohs(reinterpret_cast<const sockaddr_in6 *>(&addr.storage)->sin6_port);
    return 0;
}

uint32_t sockaddr_ipv4(const SockAddr &addr)
{
    if (sockaddr_family(addr) != AF_INET)
        return 0;
    return ntohl(reinterpret_cast<const sockaddr_in *>(&addr.storage)->sin_addr.s_addr);
}

// ---- errors and texts ----

int sock_last_error()
{
    return t_last_error;
}

void sock_set_last_error(int error)
{
    t_last_error = error;
}

int sock_error_from_errno(int err)
{
    if (err == 0)
        return 0;
    for (const ErrnoEntry &e : kErrnoTable)
        if (e.err == err)
            return e.wsa;
    return WSABASEERR;
}

namespace {

// A numbered text, or "" when no table holds it.
std::string numbered_text(int id)
{
    std::string out;
    text_load_string(id, &out);
    return out;
}

} // namespace

std::string socket_error_text(int error)
{
    std::string text = numbered_text(error);
    if (!text.empty())
        return text;
    std::string form = numbered_text(6001);
    if (form.empty())
        form = "[%d] Bilinmeyen Hata";
    // The form holds one %d; anything else in it is printed literally.
    std::string out;
    bool used = false;
    for (const char *p = form.c_str(); *p; ++p) {
        if (!used && p[0] == '%' && p[1] == 'd') {
            out += std::to_string(error);
            used = true;
            ++p;
        } else {
            out += *p;
        }
    }
    return out;
}

// ---- start and stop ----

void net_set_startup_failure(int error)
{
    g_startup_failure = error;
}

void net_set_message_sink(NetMessageSink sink)
{
    g_message_sink = sink ? sink : default_message_sink;
}

int net_startup()
{
    if (g_startup_failure) {
        std::string form = numbered_text(6014);
        if (form.empty())
            form = "Winsock hatası: %s";
        std::string text;
        std::size_t at = form.find("%s");
        if (at == std::string::npos)
            text = form;
        else
            text = form.substr(0, at) + socket_error_text(g_startup_failure) + form.substr(at + 2);
        g_message_sink("Kest", text);
        t_last_error = g_startup_failure;
        return 0;
    }
    // A write to a closed peer reports an error; it never ends the process.
    std::signal(SIGPIPE, SIG_IGN);
    return 1;
}

void net_cleanup()
{
    std::vector<int> open;
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        for (auto &kv : g_sockets)
            open.push_back(kv.first);
    }
    for (int s : open)
        sock_close(s);
}

// ---- sockets ----

int sock_create(int family, int type)
{
    if ((family != AF_INET && family != AF_INET6) || (type != SOCK_STREAM && type != SOCK_DGRAM)) {
        t_last_error = family != AF_INET && family != AF_INET6 ? WSAEAFNOSUPPORT : WSAESOCKTNOSUPPORT;
        return INVALID_SOCKET;
    }
    int fd = ::socket(family, type | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        fail_errno();
        return INVALID_SOCKET;
    }
    add_record(fd, type);
    t_last_error = 0;
    return fd;
}

int sock_close(int s)
{
    std::unique_ptr<SockRecord> rec;
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        auto it = g_sockets.find(s);
        if (it == g_sockets.end()) {
            t_last_error = WSAENOTSOCK;
            return SOCKET_ERROR;
        }
        rec = std::move(it->second);
        g_sockets.erase(it);
    }
    // Notifiers go before the descriptor does.
    rec->read_notifier.reset();
    rec->write_notifier.reset();
    if (::close(s) != 0)
        return fail_errno();
    t_last_error = 0;
    return 0;
}

int sock_connect(int s, const SockAddr &addr)
{
    SockRecord *r = lookup(s);
    if (!r) {
        t_last_error = WSAENOTSOCK;
        return SOCKET_ERROR;
    }
    if (addr.length == 0) {
        t_last_error = WSAEFAULT;
        return SOCKET_ERROR;
    }
    int rc = ::connect(s, reinterpret_cast<const sockaddr *>(&addr.storage), addr.length);
    if (rc == 0) {
        if (r->type == SOCK_STREAM) {
            r->state = SockState::Connected;
            r->read_armed = r->write_armed = true;
            post_event(r, FD_CONNECT, 0);
        }
        update_notifiers(r);
        t_last_error = 0;
        return 0;
    }
    int err = errno;
    if (r->type == SOCK_STREAM && (err == EINPROGRESS || err == EAGAIN)) {
        r->state = SockState::Connecting;
        update_notifiers(r);
        t_last_error = WSAEWOULDBLOCK;
        return SOCKET_ERROR;
    }
    if (r->type == SOCK_STREAM && err == ECONNREFUSED) {
        // A refusal known at once arrives like any other: through FD_CONNECT.
        r->state = SockState::Failed;
        post_event(r, FD_CONNECT, WSAECONNREFUSED);
        update_notifiers(r);
        t_last_error = WSAEWOULDBLOCK;
        return SOCKET_ERROR;
    }
    t_last_error = sock_error_from_errno(err);
    return SOCKET_ERROR;
}

int sock_bind(int s, const SockAddr &addr)
{
    if (!lookup(s)) {
        t_last_error = WSAENOTSOCK;
        return SOCKET_ERROR;
    }
    if (::bind(s, reinterpret_cast<const sockaddr *>(&addr.storage), addr.length) != 0)
        return fail_errno();
    t_last_error = 0;
    return 0;
}

int sock_listen(int s, int backlog)
{
    SockRecord *r = lookup(s);
    if (!r) {
        t_last_error = WSAENOTSOCK;
        return SOCKET_ERROR;
    }
    if (::listen(s, backlog > 0 ? backlog : SOMAXCONN) != 0)
        return fail_errno();
    r->state = SockState::Listening;
    r->accept_armed = true;
    update_notifiers(r);
    t_last_error = 0;
    return 0;
}

int sock_accept(int s, SockAddr *peer)
{
    SockRecord *r = lookup(s);
    if (!r) {
        t_last_error = WSAENOTSOCK;
        return INVALID_SOCKET;
    }
    SockAddr tmp;
    tmp.length = sizeof tmp.storage;
    int fd = ::accept4(s, reinterpret_cast<sockaddr *>(&tmp.storage), &tmp.length, SOCK_NONBLOCK | SOCK_CLOEXEC);
    int err = errno;
    rearm(s, false, true, false);
    if (fd < 0) {
        t_last_error = sock_error_from_errno(err);
        return INVALID_SOCKET;
    }
    if (peer)
        *peer = tmp;
    SockRecord *n = add_record(fd, SOCK_STREAM);
    n->state = SockState::Connected;
    n->message = r->message;
    n->events = r->events;
    update_notifiers(n);
    t_last_error = 0;
    return fd;
}

long sock_send(int s, const char *data, std::size_t length)
{
    if (!lookup(s)) {
        t_last_error = WSAENOTSOCK;
        return SOCKET_ERROR;
    }
    ssize_t n = ::send(s, data, length, MSG_NOSIGNAL);
    int err = errno;
    if (n < 0) {
        t_last_error = sock_error_from_errno(err);
        if (t_last_error == WSAEWOULDBLOCK)
            rearm(s, false, false, true);
        return SOCKET_ERROR;
    }
    if (static_cast<std::size_t>(n) < length)
        rearm(s, false, false, true);
    t_last_error = 0;
    return static_cast<long>(n);
}

long sock_sendto(int s, const char *data, std::size_t length, const SockAddr &to)
{
    if (!lookup(s)) {
        t_last_error = WSAENOTSOCK;
        return SOCKET_ERROR;
    }
    ssize_t n = ::sendto(s, data, length, MSG_NOSIGNAL, reinterpret_cast<const sockaddr *>(&to.storage), to.length);
    int err = errno;
    if (n < 0) {
        t_last_error = sock_error_from_errno(err);
        if (t_last_error == WSAEWOULDBLOCK)
            rearm(s, false, false, true);
        return SOCKET_ERROR;
    }
    t_last_error = 0;
    return static_cast<long>(n);
}

long sock_recv(int s, char *data, std::size_t length)
{
    if (!lookup(s)) {
        t_last_error = WSAENOTSOCK;
        return SOCKET_ERROR;
    }
    ssize_t n = ::recv(s, data, length, 0);
    int err = errno;
    rearm(s, true, false, false);
    if (n < 0) {
        t_last_error = sock_error_from_errno(err);
        return SOCKET_ERROR;
    }
    t_last_error = 0;
    return static_cast<long>(n);
}

long sock_recvfrom(int s, char *data, std::size_t length, SockAddr *from)
{
    if (!lookup(s)) {
        t_last_error = WSAENOTSOCK;
        return SOCKET_ERROR;
    }
    SockAddr tmp;
    tmp.length = sizeof tmp.storage;
    ssize_t n = ::recvfrom(s, data, length, 0, reinterpret_cast<sockaddr *>(&tmp.storage), &tmp.length);
    int err = errno;
    rearm(s, true, false, false);
    if (n < 0) {
        t_last_error = sock_error_from_errno(err);
        return SOCKET_ERROR;
    }
    if (from)
        *from = tmp;
    t_last_error = 0;
    return static_cast<long>(n);
}

int sock_shutdown(int s, int how)
{
    if (!lookup(s)) {
        t_last_error = WSAENOTSOCK;
        return SOCKET_ERROR;
    }
    int h = how == 0 ? SHUT_RD : how == 1 ? SHUT_WR : SHUT_RDWR;
    if (::shutdown(s, h) != 0)
        return fail_errno();
    t_last_error = 0;
    return 0;
}

// One end's address of a socket, through getsockname or getpeername.
static int socket_end_address(int s, SockAddr &out, int (*query)(int, sockaddr *, socklen_t *))
{
    out = SockAddr{};
    out.length = sizeof out.storage;
    if (query(s, reinterpret_cast<sockaddr *>(&out.storage), &out.length) != 0) {
        out = SockAddr{};
        return fail_errno();
    }
    t_last_error = 0;
    return 0;
}

int sock_local_address(int s, SockAddr &out)
{
    return socket_end_address(s, out, ::getsockname);
}

int sock_peer_address(int s, SockAddr &out)
{
    return socket_end_address(s, out, ::getpeername);
}

int sock_set_option(int s, int level, int name, int value)
{
    if (::setsockopt(s, level, name, &value, sizeof value) != 0)
        return fail_errno();
    t_last_error = 0;
    return 0;
}

int sock_set_keepalive(int s)
{
    return sock_set_option(s, SOL_SOCKET, SO_KEEPALIVE, 1);
}

int sock_async_select(int s, int message, int events)
{
    SockRecord *r = lookup(s);
    if (!r) {
        t_last_error = WSAENOTSOCK;
        return SOCKET_ERROR;
    }
    if (set_nonblocking(s) != 0)
        return fail_errno();
    r->message = events ? message : 0;
    r->events = message ? events : 0;
    // Conditions that already hold are reported again.
    r->read_armed = r->accept_armed = r->write_armed = true;
    update_notifiers(r);
    t_last_error = 0;
    return 0;
}

int sock_is_open(int s)
{
    return lookup(s) ? 1 : 0;
}

// Unix-domain request/reply service with bounded, fully checked messages.
#include "platform/local_ipc.h"

#include "core/text_limits.h"
#include "platform/app_messages.h"

#include <QSocketNotifier>
#include <QTimer>
#include <arpa/inet.h>
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <memory>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

// Every message: 4 bytes magic, 4 bytes kind (request) or answer (reply), 4 bytes
// payload length (network order), then the payload.
constexpr char kMagic[4] = {'K', 'I', 'P', '1'};
constexpr std::size_t kHeader = 12;
constexpr int kMaxClients = 16;
int g_client_timeout_ms = 5000;

struct Client {
    int fd = -1;
    std::string in;            // header, then payload as it arrives
    std::size_t expected = 0;  // header + declared payload, once the header is in
    std::unique_ptr<QSocketNotifier> notifier;
    std::unique_ptr<QTimer> timer;
};

struct Server {
    int fd = -1;
    std::string path;
    IpcHandler handler;
    std::unique_ptr<QSocketNotifier> notifier;
    std::map<int, std::unique_ptr<Client>> clients;
};

// By socket path.  Never destroyed (see ipc_server_stop): notifiers and timers must not
// run their destructors after the application object is gone.
std::map<std::string, std::unique_ptr<Server>> &g_servers = *new std::map<std::string, std::unique_ptr<Server>>;

void put_u32(std::string &out, uint32_t v)
{
    uint32_t n = htonl(v);
    out.append(reinterpret_cast<const char *>(&n), 4);
}

uint32_t get_u32(const char *p)
{
    uint32_t n;
    std::memcpy(&n, p, 4);
    return ntohl(n);
}

std::string frame_message(int word, const std::string &payload)
{
    std::string out(kMagic, 4);
    put_u32(out, static_cast<uint32_t>(word));
    put_u32(out, static_cast<uint32_t>(payload.size()));
    out += payload;
    return out;
}

// Writes all of `data` within the deadline (non-blocking socket).
bool write_all(int fd, const std::string &data, std::chrono::steady_clock::time_point deadline)
{
    std::size_t done = 0;
    while (done < data.size()) {
        ssize_t n = ::send(fd, data.data() + done, data.size() - done, MSG_NOSIGNAL);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
            return false;
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return false;
        pollfd p{fd, POLLOUT, 0};
        if (::poll(&p, 1, static_cast<int>(left.count())) <= 0)
            return false;
    }
    return true;
}

// Reads exactly `want` bytes within the deadline.
bool read_exact(int fd, char *buf, std::size_t want, std::chrono::steady_clock::time_point deadline)
{
    std::size_t done = 0;
    while (done < want) {
        ssize_t n = ::recv(fd, buf + done, want - done, 0);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n == 0)
            return false; // cut short
        if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
            return false;
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return false;
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left.count())) <= 0)
            return false;
    }
    return true;
}

bool private_dir(const std::string &dir)
{
    struct stat st;
    if (::lstat(dir.c_str(), &st) != 0)
        return false;
    return S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() && (st.st_mode & 077) == 0;
}

bool fill_sockaddr(const std::string &path, sockaddr_un &addr)
{
    std::memset(&addr, 0, sizeof addr);
    addr.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof addr.sun_path)
        return false;
    std::memcpy(addr.sun_path, path.data(), path.size());
    return true;
}

int connect_path(const std::string &path)
{
    sockaddr_un addr;
    if (!fill_sockaddr(path, addr))
        return -1;
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    if (::connect(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0) {
        ::close(fd);
        return -1;
    }
    int flags = fcntl(fd, F_GETFL, 0);
    fcntl(fd, F_SETFL, flags | O_NONBLOCK);
    return fd;
}

void drop_client(Server *srv, int fd)
{
    auto it = srv->clients.find(fd);
    if (it == srv->clients.end())
        return;
    std::unique_ptr<Client> c = std::move(it->second);
    srv->clients.erase(it);
    c->notifier.reset();
    if (c->timer) {
        c->timer->stop();
        c->timer.release()->deleteLater(); // may be inside its own timeout
    }
    ::close(fd);
}

Server *find_server(const std::string &path)
{
    auto it = g_servers.find(path);
    return it == g_servers.end() ? nullptr : it->second.get();
}

void on_client_readable(const std::string &path, int fd)
{
    Server *srv = find_server(path);
    if (!srv)
        return;
    auto it = srv->clients.find(fd);
    if (it == srv->clients.end())
        return;
    Client *c = it->second.get();
    // Read only what the message still needs: never past the declared length.
    std::size_t need = c->expected ? c->expected - c->in.size() : kHeader - c->in.size();
    char buf[4096];
    ssize_t n = ::recv(fd, buf, std::min(need, sizeof buf), 0);
    if (n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
        drop_client(srv, fd); // closed before the message was whole: refused
        return;
    }
    if (n < 0)
        return;
    c->in.append(buf, static_cast<std::size_t>(n));
    if (!c->expected && c->in.size() == kHeader) {
        uint32_t length = get_u32(c->in.data() + 8);
        if (std::memcmp(c->in.data(), kMagic, 4) != 0 || length > kIpcMaxPayload) {
            drop_client(srv, fd);
            return;
        }
        c->expected = kHeader + length;
    }
    if (!c->expected || c->in.size() < c->expected)
        return;
    int kind = static_cast<int>(get_u32(c->in.data() + 4));
    std::string payload = c->in.substr(kHeader);
    c->notifier->setEnabled(false);
    std::string reply;
    IpcHandler handler = srv->handler; // the handler may stop the server
    int answer = handler ? handler(kind, payload, reply) : 0;
    if (reply.size() > kIpcMaxPayload)
        reply.resize(kIpcMaxPayload);
    write_all(fd, frame_message(answer, reply), std::chrono::steady_clock::now() + std::chrono::milliseconds(1000));
    if ((srv = find_server(path)))
        drop_client(srv, fd);
    else
        ::close(fd);
}

void on_server_readable(const std::string &path)
{
    Server *srv = find_server(path);
    if (!srv)
        return;
    int fd = ::accept4(srv->fd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0)
        return;
    ucred cred{};
    socklen_t len = sizeof cred;
    if (static_cast<int>(srv->clients.size()) >= kMaxClients ||
        ::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &len) != 0 || cred.uid != ::geteuid()) {
        ::close(fd);
        return;
    }
    auto c = std::make_unique<Client>();
    c->fd = fd;
    c->notifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    QObject::connect(c->notifier.get(), &QSocketNotifier::activated, c->notifier.get(),
                     [path, fd] { on_client_readable(path, fd); });
    c->timer = std::make_unique<QTimer>();
    c->timer->setSingleShot(true);
    QObject::connect(c->timer.get(), &QTimer::timeout, c->timer.get(), [path, fd] {
        if (Server *s = find_server(path))
            drop_client(s, fd);
    });
    c->timer->start(g_client_timeout_ms);
    srv->clients[fd] = std::move(c);
}

} // namespace

std::string ipc_runtime_dir()
{
    const char *xdg = std::getenv("XDG_RUNTIME_DIR");
    if (xdg && *xdg == '/' && std::strlen(xdg) < 200) {
        std::string dir = xdg;
        while (dir.size() > 1 && dir.back() == '/')
            dir.pop_back();
        if (private_dir(dir))
            return dir + "/";
    }
    std::string dir = "/tmp/kest-" + std::to_string(::geteuid());
    if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST)
        return std::string();
    return private_dir(dir) ? dir + "/" : std::string();
}

std::string ipc_socket_path(const std::string &service)
{
    std::string dir = ipc_runtime_dir();
    if (dir.empty())
        return std::string();
    std::string name;
    for (char ch : service) {
        if (name.size() >= 64)
            break;
        unsigned char c = static_cast<unsigned char>(ch);
        name += (std::isalnum(c) && c < 0x80) || c == '-' || c == '_' || c == '.' ? ch : '_';
    }
    std::string path = dir + "kest-" + name + ".sock";
    return path.size() < sizeof(sockaddr_un::sun_path) ? path : std::string();
}

int ipc_server_start(const std::string &service, IpcHandler handler)
{
    std::string path = ipc_socket_path(service);
    if (path.empty() || find_server(path) || !on_ui_thread())
        return 0;
    struct stat st;
    if (::lstat(path.c_str(), &st) == 0) {
        if (!S_ISSOCK(st.st_mode))
            return 0; // not ours to remove
        int probe = connect_path(path);
        if (probe >= 0) {
            ::close(probe);
            return 0; // a live process serves it
        }
        ::unlink(path.c_str()); // left behind by a process that ended
    }
    sockaddr_un addr;
    if (!fill_sockaddr(path, addr))
        return 0;
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return 0;
    // The socket is for this user alone: read and write by the owner only.
    mode_t old = ::umask(0177);
    int rc = ::bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr);
    ::umask(old);
    if (rc != 0 || ::listen(fd, 8) != 0) {
        ::close(fd);
        return 0;
    }
    auto srv = std::make_unique<Server>();
    srv->fd = fd;
    srv->path = path;
    srv->handler = std::move(handler);
    srv->notifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    QObject::connect(srv->notifier.get(), &QSocketNotifier::activated, srv->notifier.get(),
                     [path] { on_server_readable(path); });
    g_servers[path] = std::move(srv);
    return 1;
}

int ipc_server_stop(const std::string &service)
{
    std::string path = ipc_socket_path(service);
    auto it = g_servers.find(path);
    if (path.empty() || it == g_servers.end())
        return 0;
    std::unique_ptr<Server> srv = std::move(it->second);
    g_servers.erase(it);
    while (!srv->clients.empty()) {
        int fd = srv->clients.begin()->first;
        drop_client(srv.get(), fd);
    }
    srv->notifier.reset();
    ::close(srv->fd);
    ::unlink(srv->path.c_str());
    return 1;
}

int ipc_server_running(const std::string &service)
{
    std::string path = ipc_socket_path(service);
    return !path.empty() && find_server(path) ? 1 : 0;
}

void ipc_set_client_timeout(int ms)
{
    g_client_timeout_ms = ms > 0 ? ms : 5000;
}

int ipc_request(const std::string &service, int kind, const std::string &payload, int *answer,
                std::string *reply, int timeout_ms)
{
    if (payload.size() > kIpcMaxPayload)
        return 0;
    std::string path = ipc_socket_path(service);
    if (path.empty())
        return 0;
    int fd = connect_path(path);
    if (fd < 0)
        return 0;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms > 0 ? timeout_ms : 3000);
    char header[kHeader];
    bool ok = write_all(fd, frame_message(kind, payload), deadline) && read_exact(fd, header, kHeader, deadline) &&
              std::memcmp(header, kMagic, 4) == 0;
    uint32_t length = ok ? get_u32(header + 8) : 0;
    ok = ok && length <= kIpcMaxPayload;
    std::string body(ok ? length : 0, '\0');
    ok = ok && read_exact(fd, body.data(), length, deadline);
    ::close(fd);
    if (!ok)
        return 0;
    if (answer)
        *answer = static_cast<int>(get_u32(header + 4));
    if (reply)
        *reply = std::move(body);
    return 1;
}

int ipc_handover_probe(const std::string &service)
{
    int answer = 0;
    return ipc_request(service, IPC_PROBE, std::string(), &answer, nullptr) ? answer : 0;
}

int ipc_handover_link(const std::string &service, const std::string &link)
{
    int answer = 0;
    std::string cut = link.substr(0, std::min(link.size(), kMediumText));
    return ipc_request(service, IPC_LINK, cut, &answer, nullptr) ? answer : 0;
}

#include "irc/ssl/ssl_link.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <vector>

#include "model/connection.h"
#include "core/numbered_texts.h"
#include "model/colors.h"
#include "model/line_buffer.h"
#include "irc/link/connect.h"
#include "irc/ssl/ssl_checks.h"
#include "platform/app_messages.h"
#include "platform/sockets.h"
#include "platform/worker.h"
#include "irc/ssl/ssl_entry_points.inc"

std::mutex ssl_mutex;

namespace {

// Appended in order; guarded by ssl_mutex.
std::vector<std::unique_ptr<SslLink>> g_links;

// SSL_CTX_ctrl and SSL_ctrl commands.
constexpr int kCtrlOptions = 32;
constexpr int kCtrlMode = 33;
constexpr int kCtrlSessCacheMode = 44;
constexpr int kCtrlSetTlsextHostname = 55;
constexpr long kModeFlags = 1 | 2 | 4; // partial writes, moving write buffer, auto-retry

int message_connect(int owner) { return owner == kSslOwnerServer ? WM_APP_SERVER_CONNECTED : WM_APP_SCRIPT_UDP; }
int message_socket(int owner) { return owner == kSslOwnerServer ? WM_APP_SERVER_SOCKET : WM_APP_SCRIPT_SOCK_EVENT; }

void post(SslLink* link, int message, int event, int error)
{
    post_app_message(message, static_cast<uintptr_t>(link->socket), WSAMAKESELECTREPLY(event, error));
}

void wake(SslLink* link)
{
    if (link->wake_fd >= 0) {
        uint64_t one = 1;
        ssize_t r = ::write(link->wake_fd, &one, sizeof one);
        (void)r;
    }
}

// Waits for the socket (reading or writing as OpenSSL wants) or the wake
// event, at most the idle time. Without `socket_too` only the wake event
// ends the wait early (the owner has not taken what was read).
void wait_io(SslLink* link, bool want_write, bool socket_too = true)
{
    pollfd fds[2] = {{link->wake_fd, POLLIN, 0},
                     {link->socket, static_cast<short>(want_write ? POLLOUT : POLLIN), 0}};
    if (::poll(fds, socket_too ? 2 : 1, kSslIdleMs) > 0 && (fds[0].revents & POLLIN)) {
        uint64_t v = 0;
        ssize_t r = ::read(link->wake_fd, &v, sizeof v);
        (void)r;
    }
}

bool is_want(int e)
{
    return e == kSslErrorWantRead || e == kSslErrorWantWrite || e == kSslErrorWantX509Lookup ||
           e == kSslErrorWantConnect || e == kSslErrorWantAccept;
}

void worker(SslLink* link)
{
    const int connect_msg = message_connect(link->owner_type);
    const int socket_msg = message_socket(link->owner_type);
    while (!link->stop.load()) {
        if (link->state.load() == 1) {
            int r = ssl_api.SSL_connect(link->ssl);
            int e = r == 1 ? kSslErrorNone : ssl_api.SSL_get_error(link->ssl, r);
            if (link->stop.load())
                return;
            if (e == kSslErrorNone) {
                link->state = 2;
                post(link, connect_msg, FD_CONNECT, 0);
                continue;
            }
            if (is_want(e)) {
                wait_io(link, e == kSslErrorWantWrite);
                continue;
            }
            post(link, connect_msg, FD_CONNECT, WSAEDISCON);
            return;
        }
        // Running: write what the owner gave, then read what came.
        std::string out;
        {
            std::lock_guard<std::mutex> lock(ssl_mutex);
            out = link->outgoing;
        }
        bool want_write = false;
        if (!out.empty()) {
            int r = ssl_api.SSL_write(link->ssl, out.data(), static_cast<int>(out.size()));
            if (r > 0) {
                {
                    std::lock_guard<std::mutex> lock(ssl_mutex);
                    link->outgoing.erase(0, static_cast<std::size_t>(r));
                }
                post(link, socket_msg, FD_WRITE, 0);
            } else {
                int e = ssl_api.SSL_get_error(link->ssl, r);
                if (!is_want(e)) {
                    post(link, socket_msg, FD_WRITE, WSAEDISCON);
                    return;
                }
                want_write = e == kSslErrorWantWrite;
            }
        }
        bool room;
        {
            std::lock_guard<std::mutex> lock(ssl_mutex);
            room = link->incoming.size() < kSslInLimit;
        }
        bool more = false;
        if (room) {
            char buf[kSslReadChunk];
            int r = ssl_api.SSL_read(link->ssl, buf, sizeof buf);
            if (r > 0) {
                bool post_now = false;
                {
                    std::lock_guard<std::mutex> lock(ssl_mutex);
                    link->incoming.append(buf, static_cast<std::size_t>(r));
                    if (!link->read_posted) {
                        link->read_posted = 1;
                        post_now = true;
                    }
                }
                if (post_now)
                    post(link, socket_msg, FD_READ, 0);
                more = true;
            } else {
                int e = ssl_api.SSL_get_error(link->ssl, r);
                if (!is_want(e)) {
                    // A clean close by the server ends the link like a reset.
                    post(link, socket_msg, FD_READ, WSAEDISCON);
                    return;
                }
                want_write = want_write || e == kSslErrorWantWrite;
            }
        }
        if (link->stop.load())
            return;
        if (!more) {
            bool pending;
            {
                std::lock_guard<std::mutex> lock(ssl_mutex);
                pending = !link->outgoing.empty() && !want_write;
            }
            if (!pending)
                wait_io(link, want_write, room || want_write);
        }
    }
}

// Frees a link whose worker is no longer running; the caller holds no lock.
void destroy(std::unique_ptr<SslLink> link)
{
    if (!link)
        return;
    link->stop = 1;
    if (link->prompt_cancel)
        link->prompt_cancel->store(1);
    wake(link.get());
    if (link->thread.joinable())
        link->thread.join();
    if (link->ssl) {
        if (link->state.load() == 2)
            ssl_api.SSL_shutdown(link->ssl);
        ssl_api.SSL_free(link->ssl);
    }
    if (link->context)
        ssl_api.SSL_CTX_free(link->context);
    if (link->wake_fd >= 0)
        ::close(link->wake_fd);
}

std::unique_ptr<SslLink> unlist(int socket)
{
    std::lock_guard<std::mutex> lock(ssl_mutex);
    auto it = std::find_if(g_links.begin(), g_links.end(), [socket](const auto& l) { return l->socket == socket; });
    if (it == g_links.end())
        return nullptr;
    std::unique_ptr<SslLink> link = std::move(*it);
    g_links.erase(it);
    return link;
}

void start_failed(std::unique_ptr<SslLink> link, int socket, int owner_type, bool quiet)
{
    destroy(std::move(link));
    if (quiet || owner_type != kSslOwnerServer)
        return;
    Connection* conn = conn_by_socket(socket);
    if (conn)
        echo_line(link_status_window(conn), std::string_view(text_load_string(5158)), kColorInfoText);
}

} // namespace

SslLink* ssl_link_of_socket(int socket)
{
    for (const auto& l : g_links)
        if (l->socket == socket)
            return l.get();
    return nullptr;
}

SslLink* ssl_link_of_ssl(const SSL* ssl)
{
    for (const auto& l : g_links)
        if (l->ssl == ssl)
            return l.get();
    return nullptr;
}

int ssl_link_is_live(const SslLink* link)
{
    for (const auto& l : g_links)
        if (l.get() == link)
            return 1;
    return 0;
}

int ssl_start(int socket, int owner_type, const std::string& host, int port)
{
    if (!ssl_available() || socket < 0)
        return 0;
    destroy(unlist(socket));
    auto link = std::make_unique<SslLink>();
    link->owner_type = owner_type;
    link->state = 1;
    link->socket = socket;
    link->host = host;
    link->port = port;
    SslApi& a = ssl_api;
    link->context = a.SSL_CTX_new(a.TLS_client_method());
    if (!link->context) {
        start_failed(std::move(link), socket, owner_type, false);
        return 0;
    }
    a.SSL_CTX_ctrl(link->context, kCtrlMode, kModeFlags, nullptr);
    a.SSL_CTX_ctrl(link->context, kCtrlSessCacheMode, 0, nullptr);
    a.SSL_CTX_set_verify(link->context, kSslVerifyPeer | kSslVerifyClientOnce, ssl_verify_callback);
    a.SSL_CTX_ctrl(link->context, kCtrlOptions, 0xFFF, nullptr);
    a.SSL_CTX_set_default_passwd_cb(link->context, ssl_passphrase_callback);
    a.SSL_CTX_set_default_passwd_cb_userdata(link->context, nullptr);
    if (!ssl_ctx_load_certificates(link.get(), link->context)) {
        // The failure is shown already.
        start_failed(std::move(link), socket, owner_type, true);
        return 0;
    }
    if (owner_type == kSslOwnerServer && !conn_by_socket(socket)) {
        start_failed(std::move(link), socket, owner_type, true);
        return 0;
    }
    link->ssl = a.SSL_new(link->context);
    link->wake_fd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (!link->ssl || link->wake_fd < 0) {
        start_failed(std::move(link), socket, owner_type, false);
        return 0;
    }
    a.SSL_set_connect_state(link->ssl);
    a.SSL_set_fd(link->ssl, socket);
    // The server's name for servers that host several (not for addresses).
    SockAddr probe;
    if (!host.empty() && !sockaddr_from_text(host, 0, probe))
        a.SSL_ctrl(link->ssl, kCtrlSetTlsextHostname, 0, const_cast<char*>(host.c_str()));
    // The socket is the worker's now: no notices to the main thread.
    sock_async_select(socket, 0, 0);
    SslLink* raw = link.get();
    {
        std::lock_guard<std::mutex> lock(ssl_mutex);
        g_links.push_back(std::move(link));
    }
    try {
        raw->thread = std::thread(worker, raw);
    } catch (...) {
        start_failed(unlist(socket), socket, owner_type, false);
        return 0;
    }
    return 1;
}

long ssl_write(int socket, const char* data, long length)
{
    if (length <= 0)
        return length;
    if (!data)
        return -3;
    if (!ssl_available())
        return -2;
    std::lock_guard<std::mutex> lock(ssl_mutex);
    SslLink* link = ssl_link_of_socket(socket);
    if (!link)
        return -2;
    link->outgoing.append(data, static_cast<std::size_t>(length));
    wake(link);
    return length;
}

long ssl_read(int socket, char* buffer, long size)
{
    if (size <= 0)
        return 0;
    if (!buffer)
        return -3;
    if (!ssl_available())
        return -2;
    std::lock_guard<std::mutex> lock(ssl_mutex);
    SslLink* link = ssl_link_of_socket(socket);
    if (!link)
        return -2;
    std::size_t n = std::min(link->incoming.size(), static_cast<std::size_t>(size));
    link->incoming.copy(buffer, n);
    link->incoming.erase(0, n);
    if (link->incoming.empty())
        link->read_posted = 0;
    wake(link);
    return static_cast<long>(n);
}

void ssl_close_for_socket(int socket)
{
    destroy(unlist(socket));
}

void ssl_free_all_links()
{
    std::vector<std::unique_ptr<SslLink>> all;
    {
        std::lock_guard<std::mutex> lock(ssl_mutex);
        all.swap(g_links);
    }
    for (auto& l : all)
        destroy(std::move(l));
}

int ssl_link_rejected(int socket)
{
    std::lock_guard<std::mutex> lock(ssl_mutex);
    SslLink* link = ssl_link_of_socket(socket);
    return link && link->rejected_by_user.load() ? 1 : 0;
}

int ssl_link_prompt_open(int socket)
{
    std::lock_guard<std::mutex> lock(ssl_mutex);
    SslLink* link = ssl_link_of_socket(socket);
    return link && link->prompt_open.load() ? 1 : 0;
}

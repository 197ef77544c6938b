// SSL links: a connected socket gets an SSL client connection whose OpenSSL
// work (handshake, writes, reads) runs on a worker thread of its own. To its
// owner the link looks like a plain asynchronous socket: the worker posts the
// same connect and socket messages the socket layer would, and the owner
// reads and writes through ssl_read and ssl_write.
#pragma once

#include <atomic>
#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "irc/ssl/ssl_api.h"

constexpr int kSslOwnerServer = 0;
constexpr int kSslOwnerScriptSocket = 1;

// Bytes read per SSL_read, and the longest the worker sleeps when idle.
constexpr int kSslReadChunk = 1024;
constexpr int kSslIdleMs = 250;
// The most bytes a link holds unread before its worker stops reading.
constexpr std::size_t kSslInLimit = 1 << 20;

struct SslLink {
    SSL_CTX* context = nullptr;
    SSL* ssl = nullptr;
    int owner_type = kSslOwnerServer;
    std::atomic<int> state{0};   // 0 none, 1 handshake, 2 running
    int socket = -1;
    std::thread thread;
    int wake_fd = -1;            // event the main thread signals to wake the worker
    std::atomic<int> stop{0};    // the worker must end
    // Guarded by the SSL mutex:
    std::string outgoing;        // written by the owner, not yet taken by SSL_write
    std::string incoming;        // read by SSL_read, not yet taken by the owner
    int read_posted = 0;         // an FD_READ waits for the owner
    // The certificate prompt.
    std::atomic<int> prompt_open{0};
    std::shared_ptr<std::atomic<int>> prompt_cancel;
    std::atomic<int> accepted{0};
    std::atomic<int> rejected_by_user{0}; // the prompt was cancelled: no retry
    std::string host;            // the owner's host and port, for the checks
    int port = 0;
    std::string cipher;
};

// The global SSL mutex: the link list and every link's buffers.
extern std::mutex ssl_mutex;

// Starts the handshake worker for a connected socket; 1 when it runs.
int ssl_start(int socket, int owner_type, const std::string& host, int port);
// Takes the bytes (all of them); the length, a length of 0 or less as it is,
// -3 no bytes, -2 no link for the socket or SSL unavailable.
long ssl_write(int socket, const char* data, long length);
// Copies up to `size` waiting bytes: the count (0 none or size <= 0), -3 no
// buffer, -2 no link or SSL unavailable.
long ssl_read(int socket, char* buffer, long size);
// Closes the link of a socket (its worker ended first).
void ssl_close_for_socket(int socket);
// The link of a socket or of an SSL object, null when none.
SslLink* ssl_link_of_socket(int socket);
SslLink* ssl_link_of_ssl(const SSL* ssl);
int ssl_link_is_live(const SslLink* link);
void ssl_free_all_links();
// 1 when the user turned down the certificate of the socket's link.
int ssl_link_rejected(int socket);
// 1 while the certificate prompt of the socket's link waits for the user.
int ssl_link_prompt_open(int socket);

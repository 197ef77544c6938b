// Non-blocking sockets (IPv4 and IPv6) that report their events as posted frame messages.
//
// A socket selected with sock_async_select(s, message, events) posts `message` with the
// socket as wparam and the select word as lparam: the event in the low 16 bits and the
// error (a socket error number, below) in the high 16 bits.  Events are posted the way
// the program's socket code expects them:
//  - FD_READ once when data arrives; again only after the next sock_recv/sock_recvfrom;
//  - FD_WRITE once the socket is connected or accepted, and again after a send that
//    would block, when room is free;
//  - FD_ACCEPT once per pending client; again after the next sock_accept;
//  - FD_CONNECT once when a connect completes, with the error (0 on success);
//  - FD_CLOSE once when the peer closed (after the data before it was read), with the
//    error of an abortive close (10054).
// Selecting again re-arms every selected event whose condition holds.  Events of a
// socket closed (or a number reused) before delivery are dropped.
// Sockets are driven on the user-interface thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <sys/socket.h>

// Event bits of the select word.
constexpr int FD_READ = 1;
constexpr int FD_WRITE = 2;
constexpr int FD_OOB = 4;
constexpr int FD_ACCEPT = 8;
constexpr int FD_CONNECT = 16;
constexpr int FD_CLOSE = 32;

// Socket error numbers (the program's numbered texts use the same numbers).
constexpr int WSABASEERR = 10000;
constexpr int WSAEINTR = 10004;
constexpr int WSAEBADF = 10009;
constexpr int WSAEACCES = 10013;
constexpr int WSAEFAULT = 10014;
constexpr int WSAEINVAL = 10022;
constexpr int WSAEMFILE = 10024;
constexpr int WSAEWOULDBLOCK = 10035;
constexpr int WSAEINPROGRESS = 10036;
constexpr int WSAEALREADY = 10037;
constexpr int WSAENOTSOCK = 10038;
constexpr int WSAEDESTADDRREQ = 10039;
constexpr int WSAEMSGSIZE = 10040;
constexpr int WSAEPROTOTYPE = 10041;
constexpr int WSAENOPROTOOPT = 10042;
constexpr int WSAEPROTONOSUPPORT = 10043;
constexpr int WSAESOCKTNOSUPPORT = 10044;
constexpr int WSAEOPNOTSUPP = 10045;
constexpr int WSAEPFNOSUPPORT = 10046;
constexpr int WSAEAFNOSUPPORT = 10047;
constexpr int WSAEADDRINUSE = 10048;
constexpr int WSAEADDRNOTAVAIL = 10049;
constexpr int WSAENETDOWN = 10050;
constexpr int WSAENETUNREACH = 10051;
constexpr int WSAENETRESET = 10052;
constexpr int WSAECONNABORTED = 10053;
constexpr int WSAECONNRESET = 10054;
constexpr int WSAENOBUFS = 10055;
constexpr int WSAEISCONN = 10056;
constexpr int WSAENOTCONN = 10057;
constexpr int WSAESHUTDOWN = 10058;
constexpr int WSAETOOMANYREFS = 10059;
constexpr int WSAETIMEDOUT = 10060;
constexpr int WSAECONNREFUSED = 10061;
constexpr int WSAELOOP = 10062;
constexpr int WSAENAMETOOLONG = 10063;
constexpr int WSAEHOSTDOWN = 10064;
constexpr int WSAEHOSTUNREACH = 10065;
constexpr int WSAENOTEMPTY = 10066;
constexpr int WSAEPROCLIM = 10067;
constexpr int WSAEUSERS = 10068;
constexpr int WSAEDQUOT = 10069;
constexpr int WSAESTALE = 10070;
constexpr int WSAEREMOTE = 10071;
constexpr int WSASYSNOTREADY = 10091;
constexpr int WSAVERNOTSUPPORTED = 10092;
constexpr int WSANOTINITIALISED = 10093;
constexpr int WSAEDISCON = 10101;
constexpr int WSAHOST_NOT_FOUND = 11001;
constexpr int WSATRY_AGAIN = 11002;
constexpr int WSANO_RECOVERY = 11003;
constexpr int WSANO_DATA = 11004;

constexpr int INVALID_SOCKET = -1;
constexpr int SOCKET_ERROR = -1;

// The select word: event in the low 16 bits, error in the high 16 bits.
constexpr intptr_t WSAMAKESELECTREPLY(int event, int error)
{
    return static_cast<intptr_t>((static_cast<uint32_t>(error & 0xFFFF) << 16) | static_cast<uint32_t>(event & 0xFFFF));
}
constexpr int WSAGETSELECTEVENT(intptr_t word) { return static_cast<int>(word & 0xFFFF); }
constexpr int WSAGETSELECTERROR(intptr_t word) { return static_cast<int>((word >> 16) & 0xFFFF); }

// An IPv4 or IPv6 address with a port.
struct SockAddr {
    sockaddr_storage storage{};
    socklen_t length = 0;
};

// Parses a numeric IPv4 ("1.2.3.4") or IPv6 ("::1", "[::1]") address; returns 1 on success.
int sockaddr_from_text(const std::string &ip, int port, SockAddr &out);
// An IPv4 address given in host byte order.
SockAddr sockaddr_from_ipv4(uint32_t host_order, int port);
// AF_INET, AF_INET6 or 0 when empty.
int sockaddr_family(const SockAddr &addr);
// The numeric text of the address ("127.0.0.1", "::1"); empty when none.
std::string sockaddr_ip_text(const SockAddr &addr);
int sockaddr_port(const SockAddr &addr);
// The IPv4 address in host byte order; 0 for other families.
uint32_t sockaddr_ipv4(const SockAddr &addr);

// The socket error number of the last failed call of this thread (0 after success).
int sock_last_error();
void sock_set_last_error(int error);
// The socket error number for a system error number.
int sock_error_from_errno(int err);
// The text of a socket error number: the numbered text of that number, else
// "[%d] Bilinmeyen Hata" (numbered text 6001) filled with the number.
std::string socket_error_text(int error);
// Start and stop of the socket layer.  net_startup returns 1, or 0 after showing
// numbered text 6014 with the error's text when it cannot start.
int net_startup();
void net_cleanup();
// Makes the next net_startup calls fail with `error` (0 succeeds again).
void net_set_startup_failure(int error);
// Where net_startup shows its message (title, text); default: standard error.
using NetMessageSink = void (*)(const std::string &title, const std::string &text);
void net_set_message_sink(NetMessageSink sink);

// Makes a non-blocking socket: family AF_INET or AF_INET6, type SOCK_STREAM or
// SOCK_DGRAM.  Returns it or INVALID_SOCKET.
int sock_create(int family, int type);
// Closes a socket and forgets its notifications; returns 0 or SOCKET_ERROR.
int sock_close(int s);
// Starts a connect.  Returns SOCKET_ERROR with WSAEWOULDBLOCK while it is under way
// (FD_CONNECT follows), 0 when it completed at once (FD_CONNECT is still posted), or
// SOCKET_ERROR with another error.
int sock_connect(int s, const SockAddr &addr);
int sock_bind(int s, const SockAddr &addr);
int sock_listen(int s, int backlog);
// Takes a pending client; the new socket inherits the listener's selection.  Returns
// INVALID_SOCKET with WSAEWOULDBLOCK when none is waiting.
int sock_accept(int s, SockAddr *peer);
// Sends bytes; returns the count sent or SOCKET_ERROR (WSAEWOULDBLOCK: FD_WRITE follows).
long sock_send(int s, const char *data, std::size_t length);
long sock_sendto(int s, const char *data, std::size_t length, const SockAddr &to);
// Receives at most `length` bytes; returns the count, 0 when the peer closed, or SOCKET_ERROR.
long sock_recv(int s, char *data, std::size_t length);
long sock_recvfrom(int s, char *data, std::size_t length, SockAddr *from);
// how: 0 receive, 1 send, 2 both.
int sock_shutdown(int s, int how);
int sock_local_address(int s, SockAddr &out);
int sock_peer_address(int s, SockAddr &out);
int sock_set_option(int s, int level, int name, int value);
int sock_set_keepalive(int s);
// Chooses the notifications: message 0 or events 0 switches them off.
int sock_async_select(int s, int message, int events);
// 1 when `s` is a socket made here and still open.
int sock_is_open(int s);

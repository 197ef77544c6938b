// Script sockets: TCP connections, listening ports and UDP sockets that
// scripts open by name and drive through the /sock* commands, the $sock
// identifier and the socket events (SOCKOPEN, SOCKLISTEN, SOCKREAD,
// SOCKWRITE, SOCKCLOSE, UDPREAD, UDPWRITE).
//
// Every socket is non-blocking and posts its notices to the frame: WM_APP+55
// accept on listeners, WM_APP+56 read, write and close, WM_APP+57 connect
// (the SSL layer posts the same for an SSL socket), WM_APP+58 a send queue
// that drained at once. Everything runs on the user-interface thread.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

#include "platform/sockets.h"

struct Connection;
struct CommandCall;
struct IdentCall;

// Limits.
constexpr std::size_t kSockNameMax = 256;        // a name this long or longer is refused
constexpr std::size_t kSockReceiveMax = 4096;    // the receive buffer
constexpr std::size_t kSockReadVarMax = 4150;    // one /sockread into a variable
constexpr std::size_t kSockSendChunk = 8192;     // one send or sendto call
constexpr std::size_t kSockQueueMax = 16384;     // an append to a non-empty send queue
constexpr int kSockReadPasses = 20;              // read passes before giving way

// The priorities the sockets listen at: host-name results of the socket
// kind, and a connection record that goes (its sockets move on or close).
constexpr int kDnsResolvedSockets = 40;
constexpr int kRepointSockets = 15;

enum SockStatus : int { kSockInactive = 0, kSockListening = 1, kSockActive = 2, kSockConnecting = 3 };
// The read state: what /sockread left during a read event.
enum SockReadState : int { kReadNone = 0, kReadDone = 1, kReadMore = 2, kReadLookup = 4 };

struct ScriptSocket {
    std::string name;            // empty only for an accepted connection not yet named
    std::string address;         // the host given, or the local address of a listener
    std::string ip;              // numeric address
    uint16_t port = 0;
    std::string bind_ip;
    uint16_t bind_port = 0;
    std::string mark;
    bool has_mark = false;
    std::string receive;         // at most kSockReceiveMax bytes
    long last_read = 0;          // bytes taken by the last /sockread ($sockbr)
    std::string send_queue;
    int id = 0;                  // unique id (the shared window-id counter)
    int status = kSockInactive;
    int read_state = kReadNone;
    int event_kind = 0;          // $sockerr of the running event
    bool udp = false;
    bool keep_open = false;
    SockAddr udp_target;         // where queued datagrams go
    uint32_t sender_ip = 0;      // last datagram's source, host order
    uint16_t sender_port = 0;
    bool has_sender = false;
    double bytes_sent = 0;
    double bytes_read = 0;       // taken out by /sockread
    std::time_t created = 0, last_send = 0, last_receive = 0;
    int wserr = 0;
    int read_passes = 0;
    bool close_raised = false;
    bool ssl = false;
    int ssl_state = 0;           // 0 not started, 1 handshake, 2 done, 3 failed
    bool paused = false;
    int handle = INVALID_SOCKET;
    Connection* conn = nullptr;
};

// The list, in creation order.
const std::vector<ScriptSocket*>& sock_list();
ScriptSocket* sock_find_by_name(const std::string& name);
ScriptSocket* sock_find_by_handle(int handle);
int sock_is_live(const ScriptSocket* sock, int id);
// The first socket from `start` (an index into the list) on whose name is
// non-empty and matches the mask; kind 0 TCP, 1 UDP, 2 either. Its index in
// *at; null when none.
ScriptSocket* sock_find_match(const std::string& mask, std::size_t start, int kind, std::size_t* at);

// Sets the event error kind and raises the event for the socket.
void sock_fire_event(const char* word, ScriptSocket* sock, int event_id, int kind);
// Closes the handle (and SSL link) and frees the record; no event.
void sock_free(ScriptSocket* sock);
void sock_free_all();

// The socket of the running socket event, when it is still live.
ScriptSocket* sock_event_socket();

// Frame messages.
intptr_t sock_on_accept(uintptr_t handle, intptr_t lparam);
intptr_t sock_on_socket(uintptr_t handle, intptr_t lparam);
intptr_t sock_on_connect(uintptr_t handle, intptr_t lparam);
intptr_t sock_on_write_drained(uintptr_t id, intptr_t record);

// Shared by the TCP and UDP parts.
ScriptSocket* sock_new_record(Connection* conn);
int sock_name_check(const std::string& word, const std::string& name);
void sock_read_back_bind(ScriptSocket* sock);
// The data of /sockwrite and /sockudp from token `from` on: a binary
// variable's bytes (unless plain_text) or the joined text with -n's ending.
// 0 when the binary variable does not exist.
int sock_take_data(const CommandCall& call, std::size_t from, bool plain_text, bool crlf,
                   std::string& out);
// Whether a token is an optionally signed string of decimal digits.
bool sock_is_number(const std::string& text);

int cmd_sockopen(CommandCall& call);
int cmd_socklisten(CommandCall& call);
int cmd_sockaccept(CommandCall& call);
int cmd_sockread(CommandCall& call);
int cmd_sockwrite(CommandCall& call);
int cmd_sockclose(CommandCall& call);
int cmd_sockrename(CommandCall& call);
int cmd_sockmark(CommandCall& call);
int cmd_sockpause(CommandCall& call);
int cmd_socklist(CommandCall& call);
int cmd_sockudp(CommandCall& call);
int id_sock(IdentCall& call);

void sockets_install();
void sockets_uninstall();

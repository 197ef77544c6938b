// The finger service (RFC 1288): a client that asks a host's finger port
// about a user and shows the answer in the Finger window, and a server that
// answers others with sections of the user's finger text file. Both run on
// non-blocking sockets driven by frame messages; one query and one served
// client at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class QWidget;
struct Connection;

// The finger port of both sides (79; the tests move it).
extern int finger_port;
// Seconds the server gives a client without progress before it drops it,
// so that one silent client cannot keep the server from everyone else.
extern int finger_server_client_seconds;

// The longest reply line kept before it is shown and a new one begun.
constexpr std::size_t kFingerLineMax = 4150;
// Recent finger targets kept in the history.
constexpr int kFingerHistoryMax = 20;

// Starts a query for a target ("user@host", "@host", "host" or a nick; a
// nick's address comes from the address list or a USERHOST request). A
// running query is cancelled instead. 1 when the query was started or
// handed to a USERHOST request.
int finger_query_start(QWidget* window, const std::string& target, Connection* conn);
// Starts the query for a target already resolved to "user@host" or "@host"
// (also the end of a USERHOST request).
void finger_connect(QWidget* window, const std::string& target, Connection* conn);
// The USERHOST request of a finger ended: with a target the query starts;
// without one the pending target is dropped.
void finger_userhost_done(QWidget* window, const std::string* target, Connection* conn);
// Prints `text` (when not empty and a query runs) in the Finger window, then
// cancels the lookup, closes the socket and ends the query.
void finger_close(const std::string& text);
// 1 while a query runs.
int finger_running();

// The history, newest first (main settings section "finger", keys n0,
// n1, ...); the caller frees the list.
struct StringNode;
StringNode* finger_history_load();

// Frame message handlers of the client.
intptr_t finger_on_lookup(uintptr_t handle, intptr_t lparam);
intptr_t finger_on_connect(uintptr_t socket, intptr_t lparam);
intptr_t finger_on_read(uintptr_t socket, intptr_t lparam);

// The server.
intptr_t finger_server_listen(uintptr_t wparam, intptr_t lparam);
intptr_t finger_server_accept(uintptr_t socket, intptr_t lparam);
intptr_t finger_server_request(uintptr_t socket, intptr_t lparam);
intptr_t finger_server_write(uintptr_t socket, intptr_t lparam);
// Closes the served client (its file and address; accept is armed again);
// mode 0 also closes the listener.
void finger_server_close_client(int mode);
// The listening port, 0 when none (tests).
int finger_server_listening_port();

// Sets the frame message handlers.
void finger_install();

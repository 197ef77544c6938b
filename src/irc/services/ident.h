// The ident service (RFC 1413): a listening socket that answers one client
// at a time with one reply line, opened at start and when a connection
// attempt starts, and (by option) only while some connection needs it.
#pragma once

#include <cstdint>
#include <string>

struct Connection;

// Ident states of a connection.
constexpr int kIdentNone = 0;
constexpr int kIdentWaiting = 1;   // waiting for an ident request
constexpr int kIdentServing = 2;   // a request is being served

// Seconds a client may stay before its request, and after the reply.
constexpr int kIdentClientSeconds = 30;
constexpr int kIdentLingerSeconds = 3;
// Requests of this length or more get no reply.
constexpr std::size_t kIdentRequestMax = 26;

// Seconds until the client is dropped (0 idle); the one-second tick counts
// it down and calls ident_client_done() at 0.
extern int tick_ident_countdown;

// Opens the listener when it should run.
void ident_listen(Connection* conn);
// A connection attempt starts: it waits for a request, and the listener opens.
void ident_conn_start(Connection* conn);
// Closes the client; with a null connection also the listener.
void ident_close(Connection* conn);
// Closes the client, and the listener too when only-while-connecting is on
// and nobody needs it.
void ident_client_done();
// A connection was welcomed by its server: with only-while-connecting on,
// the server closes when no other connection still needs it.
void ident_logon_done(Connection* conn);
// Closes everything and asks the frame to start the listener again with the
// current settings (/identd, the options).
void ident_restart();
// The user id the server answers with (empty: the server is off).
std::string ident_user_id(Connection* conn);

intptr_t ident_accept(uintptr_t socket, intptr_t lparam);
intptr_t ident_serve(uintptr_t socket, intptr_t lparam);
intptr_t ident_on_close(uintptr_t socket, intptr_t lparam);

// The listening port, 0 when none (tests).
int ident_listening_port();
void ident_install();

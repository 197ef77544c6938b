// The receive loop of a server link: reads in bursts, cuts the bytes into
// lines and hands each line to the server-line dispatcher.
//
// Per-link fields kept in the Connection record: recv_line (the line being
// assembled, never more than kRecvLineCut characters), line_length,
// line_overflow (the current line was cut and the rest up to its line feed is
// dropped), in_progress[0] (inside the read loop), reselect_pending (a read
// was put off; the tick selects the socket again), read_counter.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

struct Connection;

// A line is cut and dispatched at this many characters.
constexpr int kRecvLineCut = 601;
// Reads in one burst before the loop yields for a re-poll.
constexpr int kReadsPerBurst = 20;

// WM_APP+14: the server socket's events. Returns 1 when the link was closed.
intptr_t irc_read_loop(uintptr_t socket, intptr_t lparam);

// Feeds received bytes into the connection's line assembly: CR is dropped,
// LF ends a line, a non-empty line goes to the dispatcher, a line reaching
// kRecvLineCut characters is dispatched at once and the rest up to its LF
// dropped. Returns 0 when the connection died or lost its link during a
// dispatch (stop reading), else 1.
int irc_frame_bytes(Connection* conn, const char* data, std::size_t length);

// Re-poll service shared by the socket owners: asks for (message, socket,
// event) to be posted again in 10 ms. Returns 1 when an entry exists or was
// made; with test_only, 0 when none exists.
int sock_defer_poll(int message, int socket, int event, int test_only);
void sock_defer_poll_fire(int timer_id);

// Asynchronous name lookups.  A lookup runs on a worker thread and its completion is
// posted to the frame as the chosen message: wparam the lookup handle, lparam the
// lookup result word (low 16 bits the number of addresses found, high 16 bits the
// socket error: 0, WSAHOST_NOT_FOUND, WSATRY_AGAIN, WSANO_RECOVERY or WSANO_DATA).
// The handler takes the result with host_lookup_take while it runs; a result not taken
// is freed after the handler.  A cancelled lookup posts nothing.
#pragma once

#include "platform/sockets.h"

#include <string>
#include <vector>

struct HostLookupResult {
    int error = 0;                  // socket error number, 0 on success
    std::string name;               // official (canonical) name, or the name found by a reverse lookup
    std::vector<SockAddr> addresses; // in the order the resolver gave them (port 0)
};

// The error of a lookup result word; the count of addresses.
constexpr int host_lookup_error(intptr_t word) { return static_cast<int>((word >> 16) & 0xFFFF); }
constexpr int host_lookup_count(intptr_t word) { return static_cast<int>(word & 0xFFFF); }

// Starts looking up `name` (family AF_INET, AF_INET6 or AF_UNSPEC for both).  Returns a
// handle above 0, or 0 when the lookup cannot start (sock_last_error says why).  A name
// that cannot be a host name (empty, over 255 characters, blanks or control
// characters) does not reach the resolver: its completion carries WSAHOST_NOT_FOUND.
int host_lookup_start(const std::string &name, int message, int family = AF_UNSPEC);

// Starts a reverse lookup of a numeric address (IPv4 or IPv6 text).  Same results.
int host_lookup_reverse_start(const std::string &ip, int message);

// Copies the result of a completed lookup and forgets it; returns 1 when found.
int host_lookup_take(int handle, HostLookupResult &out);

// Cancels a lookup: its completion is not delivered.  Returns 0, or SOCKET_ERROR when
// the handle is unknown or already delivered.
int host_lookup_cancel(int handle);

// Cancels every lookup.
void host_lookup_cancel_all();

// Lookups started and not yet delivered.
int host_lookup_pending();

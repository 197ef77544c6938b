// Local requests between instances and other programs of the same user: a Unix-domain
// socket in the user's runtime folder, named after a service.  One request and one
// reply per connection, each of bounded size.  This carries the instance hand-over
// (probe, then the link) and the external control and DDE requests.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

// Largest payload of a request or a reply; anything larger is refused unread.
constexpr std::size_t kIpcMaxPayload = 8192;

// Request kinds.
enum IpcKind : int {
    IPC_PROBE = 1,       // is a live instance there?  answer 1
    IPC_LINK = 2,        // open an irc: link; payload the link
    IPC_RUN_COMMAND = 3, // run a command line; payload the line
    IPC_EVALUATE = 4,    // evaluate identifiers; payload the text, reply the result
    IPC_DDE = 5,         // a DDE-style request; payload and reply as that layer defines
};

// The server's handler: (kind, payload, reply text to fill) -> answer number.
using IpcHandler = std::function<int(int kind, const std::string &payload, std::string &reply)>;

// The runtime folder: $XDG_RUNTIME_DIR when it is a private folder of this user, else
// /tmp/kest-<uid>, made with mode 0700 and refused when it is not ours and private.
// Returns it with a trailing "/", or "" when no safe folder is there.
std::string ipc_runtime_dir();

// The socket path of a service (characters other than letters, digits, "-", "_" and "."
// become "_"; at most 64 are kept).  "" when no safe folder is there.
std::string ipc_socket_path(const std::string &service);

// Serves `service` on the user-interface thread.  Returns 1, or 0 when another live
// process serves it already or the socket cannot be made.
int ipc_server_start(const std::string &service, IpcHandler handler);
// Stops serving and removes the socket; returns 1 when it was served.
int ipc_server_stop(const std::string &service);
int ipc_server_running(const std::string &service);
// Requests whose connection is dropped when they take longer (milliseconds).
void ipc_set_client_timeout(int ms);

// Sends one request and waits for the reply (blocking, at most `timeout_ms`).  Returns
// 1 with the answer (and reply text) filled, or 0 when nobody answered properly.
// Must not be called on the thread that serves the same service.
int ipc_request(const std::string &service, int kind, const std::string &payload, int *answer,
                std::string *reply, int timeout_ms = 3000);

// The hand-over of a second start: the probe's answer (1 from a live instance, 0 none).
int ipc_handover_probe(const std::string &service);
// Hands over a link (cut to 1,024 characters); returns the instance's answer or 0.
int ipc_handover_link(const std::string &service, const std::string &link);

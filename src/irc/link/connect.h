// The server link from "connect" to a registered link: the /server request,
// the connect timer, the local and server host lookups, the non-blocking
// connect and the registration lines (PASS, NICK, USER), the QUIT line and
// the connect-failure text.
//
// Per-link fields kept in the Connection record:
//   socket, lookup_handle, connected, connecting, resolving_local_host,
//   link_closed, connect_timer_id, retry_delay (connect timer delay in
//   milliseconds), pending_changes (kPending* bits), retry_count,
//   connect_seconds (attempt seconds), waiting_retry (retry pending),
//   reason (last error text), close_handled, failure_code (kFail*),
//   rotation_list, nick_index (nick slot), quitting.
// The rest of a link's state lives in LinkState below, kept on the
// connection's record.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct Connection;
class QTimer;
class QWidget;

// Pending-change bits of a connect step.
constexpr int kPendingCopyStored = 1;
constexpr int kPendingNextServer = 2;
constexpr int kPendingReadEntry = 4;
constexpr int kPendingRebuildGroup = 8;

// Failure codes.
constexpr int kFailNone = 0;
constexpr int kFailLocalName = 1;
constexpr int kFailLocalResolve = 2;
constexpr int kFailServerResolve = 3;
constexpr int kFailConnect = 4;
constexpr int kFailClosedEarly = 5;

// Stops a connect timer and deletes it once its signal has returned.
struct ConnectTimerDrop {
    void operator()(QTimer* timer) const;
};

// Link state that the Connection record has no field for.
struct LinkState {
    std::vector<std::string> alternates; // further addresses of the server host
    int throttled = 0;        // the next retry waits 60 seconds
    int redirect_pending = 0; // the next retry goes to the stored server at once
    int ssl_state = 0;        // 0 not started, 1 handshake, 2 running, 3 failed
    std::string ssl_server;   // "host:port" of the last server reached over SSL
    std::string server_address; // address text actually connected
    int mean_line_length = 0; // of the lines written
    int server_l_switch = 0;  // the last /server request carried -l
    int skip_chanfolder_join = 0; // -o: the channels folder's auto-join is skipped
    int hide_chanfolder = 0;  // -f: the channels folder is not shown on connect
    // The timer that starts the connect (its id is the record's connect_timer_id).
    std::unique_ptr<QTimer, ConnectTimerDrop> connect_timer;
};
// The link state of a live connection (made on first use, gone with the
// record); a dummy for a dead one.
LinkState& link_state(Connection* conn);

// The pending /server request.
extern std::string irc_request_host;     // host, or host:port
extern std::string irc_request_port;
extern std::string irc_request_password;
extern std::string irc_request_channels;

// The default port.
extern const char* const kDefaultPort; // "6667"

// Operations.
int conn_begin_connect(Connection* conn);
void conn_toggle(Connection* conn);
void conn_connect_timer_proc(int timer_id);
void conn_connect_now(int from_timer, Connection* conn);
void conn_fail_message(int error, Connection* conn);
void conn_lookup_local_host(Connection* conn);
intptr_t conn_on_local_host(uintptr_t handle, intptr_t lparam);
void conn_lookup_server(Connection* conn);
intptr_t conn_on_server_resolved(uintptr_t handle, intptr_t lparam);
// Opens the socket to the address text (dotted IPv4 or IPv6) and starts the
// connect; 1 when under way.
int conn_socket_connect(const std::string& address, Connection* conn);
intptr_t irc_logon(uintptr_t socket, intptr_t lparam);
void conn_show_local_host(Connection* conn);
void irc_send_quit(Connection* conn);

// What a connect still needs, in the order it is shown: the nick, the full
// name, the e-mail address and the server (host and port). `stored` looks at
// the stored settings (what a new attempt starts from), else at the live
// fields.
enum MissingIdentity : int { kMissingNick = 0, kMissingFullName = 1, kMissingEmail = 2, kMissingServer = 3 };
std::vector<int> conn_missing_identity(const Connection* conn, bool stored);
// Tells the user in the status window what is missing and which commands
// set it; nothing when all is there.
// `where` names another window to tell it in (a connection not yet shown).
void conn_report_missing_identity(Connection* conn, bool stored, QWidget* where = nullptr);

// Connect timers.
int conn_set_connect_timer(Connection* conn, int delay_ms);
void conn_kill_connect_timer(Connection* conn);

// The registration lines of a link, without sending them (tests and logon).
std::vector<std::string> irc_logon_lines(Connection* conn);

// Seams to later parts; each default does what the program does without them.
// Evaluates identifiers and variables in a text (the quit message, the
// full name of the logon), as the script does in the status window.
std::string irc_eval_text(const std::string& text, Connection* conn);
// Refreshes the status title through the connection's title hook.
void link_refresh_ui(Connection* conn);
// Opens the connect options so the user can complete them. Default: nothing.
extern void (*irc_open_connect_options)();

// Sets the frame handlers of the link's messages and installs the proxy,
// ident and finger services.
void irc_link_install();

class QWidget;
// The status window of a connection, or null.
QWidget* link_status_window(Connection* conn);

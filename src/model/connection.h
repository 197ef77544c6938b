// Server connections: the Connection record, the list of connections in
// creation order, its lookups, and creation and destruction with their
// signals.
//
// Every operation that takes a Connection pointer first looks it up in the
// list; a pointer that is not there (a freed record) counts as no connection.
// Window handles are QWidget pointers; a closed window reads as null.
#pragma once

#include <QPointer>

#include <cstdint>
#include <string>
#include <vector>

#include "core/record_slots.h"
#include "core/signal.h"

class QWidget;
struct StringNode;

// A pending USERHOST request: what it is for and which window asked.
struct UserhostRequest {
    int purpose = 0;
    QPointer<QWidget> window;
    UserhostRequest* next = nullptr;
};

// One entry of the recent-channels list of a network: the channel (its first
// word is the channel name, the rest may hold a key) and its join serial.
struct RecentChannel {
    std::string text;
    long serial = 0;
};

// Bits of Connection::server_flags: what the server's software family changes
// in the client's behaviour. Set from the version text of the server info
// reply (and the server name), the IRCX reply and the ISUPPORT token IRCX.
enum ServerFlag : int {
    kServerPlain477 = 0x1,           // a 477 without a word 3 is shown without separators
    kServerOpsTarget = 0x2,          // /omsg and /onotice send one line to "@" and the channel
    kServerPlusChannels = 0x4,       // "+" is a default channel type; channel lists by user count
    kServerOperModesAa = 0x8,        // user modes "a" and "A" count as operator modes
    kServerOpsNoticeTarget = 0x10,   // /onotice sends one line to "@" and the channel
    kServerIrcx = 0x20,              // the server speaks IRCX
    kServerPlusBangChannels = 0x40,  // "+" and "!" are default channel types
    kServerOneTargetPerLine = 0x80,  // WHOIS batches and /amsg send one target per line
    kServerMinusPrefix = 0x100,      // "-" with "u" is a default prefix; 328 is a WHOIS line
    kServerPlainList = 0x200,        // the channels list asks with a plain LIST
    kServerListsEndIdle = 0x400,     // ban, except and invite lists go idle at their end numeric
};

struct Connection {
    RecordSlots state_slots;           // the modules' own state, destroyed with the record
    QPointer<QWidget> status_window;   // null until the status window exists
    int socket = -1;                   // server socket, -1 while none is open
    int id = 0;                        // unique id (/scid, $scid); never changes
    StringNode* rotation_list = nullptr;  // servers of the current group still to try
    int pending_changes = 0;           // kPending* bits: work for the next connect step
    int lookup_handle = 0;             // host lookup in progress (0 none)
    int connected = 0;                 // link to the server is up
    int connecting = 0;                // a connect attempt is in progress
    int resolving_local_host = 0;
    int link_closed = 0;               // set when the link closes, cleared when it is tried again
    int connect_timer_id = 0;          // frame timer that starts the connect (0 none)
    int retry_delay = 0;               // milliseconds left before a retry
    int retry_count = 0;               // attempts in this series (1 fresh, 2 or more on a retry)
    int connect_seconds = 0;           // seconds since the attempt began (0 = not counting)
    int waiting_retry = 0;             // a retry delay runs
    std::string reason;                // printed when the link closes
    int close_handled = 1;             // the close reporting has run
    int failure_code = 0;              // kFail*: why the last attempt failed
    int ident_state = 0;
    int ident_address = -1;            // local address the ident reply is for; -1 none
    std::string local_host;            // local host name once resolved
    std::string local_ip_text;         // local IP as dotted text
    std::uint32_t local_ip = 0;        // local IP as a number, host order; 0 unknown
    std::string recv_line;             // the incomplete server line being assembled
    int line_length = 0;
    int line_overflow = 0;             // the line passed the cut; the rest up to LF is dropped
    StringNode* send_queue = nullptr;  // lines waiting to be written
    int in_progress[2] = {0, 0};       // while set on any connection the read loop waits
    int reselect_pending = 0;          // the tick renews the socket's event selection
    int timeout_countdown = 0;         // seconds left before the server time-out fires
    int read_counter = 0;
    int quitting = 0;                  // QUIT was sent
    int joins_pending[2] = {0, 0};     // joins are pending after logon
    int autojoin_countdown = 0;        // seconds until the auto-join list is joined
    StringNode* autojoin_list = nullptr;
    // Live identity: user name, e-mail, nick, alternative nick, fifth text.
    std::string live_identity[5];
    int nick_index = 0;                // 0 the nick in use is the nick, 1 the alternative
    // Live server: address, description, group, password, port text ("+" = SSL).
    std::string live_server[5];
    std::string server_name;           // the server address in use
    long idle_seconds = 0;             // seconds since the user last sent a message ($idle)
    // Stored identity: user, e-mail, nick, anick, fifth, server address,
    // description, group, password, port.
    std::string stored_identity[10];
    std::string stored_local_host;
    std::string stored_local_ip_text;
    std::uint32_t stored_local_ip = 0;
    std::string user_modes = "[+]";
    std::string own_address;           // own user@host
    int registered = 0;                // welcome numerics arrived
    UserhostRequest* userhost_requests = nullptr;
    std::string away_text;
    std::string open_minimised_channel;
    StringNode* tick_list = nullptr;      // served by the tick (protocol layer)
    StringNode* reply_list = nullptr;     // pending replies with a kind
    StringNode* timed_bans = nullptr;
    StringNode* pending_joins = nullptr;  // with open-minimised/maximised flags
    int tick_seconds = 0;              // one more each tick
    int nick_switch_slot = -1;         // nick slot a confirmed own NICK goes to; -1 the slot in use
    QPointer<QWidget> chanlist_window;
    int chanlist_busy = 0;
    int chanlist_stop_sent = 0;
    int chanlist_file = -1;
    int flood_budget = 0;              // bytes charged by flood protection
    int flood_check_out = 0;           // a flood-check PING is unanswered
    int flood_check_seconds = 0;
    std::string network;               // network name
    std::string nick_prefixes;         // the server's nick prefix characters
    std::string prefix_modes;          // their mode letters
    // Server word table of the protocol layer (the entries used here).
    std::string chan_types;
    int server_flags = 0;              // ServerFlag bits
    QPointer<QWidget> links_window;
    int links_open_mode = 0;
    QPointer<QWidget> pending_window;  // window bound to a pending request
    int pending_countdown = 0;
    StringNode* pending_replies = nullptr;
    std::string pending_channel;
    int pending_state = 0;
    QPointer<QWidget> message_window;
    StringNode* notify_list = nullptr;
    int notify_poll_counter = 0;
    int notify_poll_interval = 0;
    int notify_poll_flags = 0;
    // Debug copy of raw traffic.
    std::string debug_target;
    std::string debug_filter;
    int debug_flags = 0;
    int debug_colour = 0;
    // Online time of this connection.
    int online_hours = 0;
    int online_minutes = 0;
    int online_seconds = 0;
    // Recent channels of the network, most recent first, at most 20.
    std::vector<RecentChannel> recent_channels;
    std::string recent_network[3];     // network name, group, server name
    int ssl = 0;                       // the port text asks for SSL
    int group_flag = 0;                // the live group text is not empty
    int visit = 0;                     // used by walks that may free records
    Connection* next = nullptr;
};

// Head of the connection list (first connection); null before start-up.
extern Connection* conn_list;

// Time-out settings read here.
extern int conn_timeout_seconds;   // start value of the time-out countdown (600)
extern int conn_probe_point;       // countdown value at which the probe is sent (120)

// A record was made and linked into the list (its identity copied from the
// sibling): the parts set up their state for it, in this order.
enum ConnCreatedOrder {
    kCreatedIsupport = 10,     // the ISUPPORT defaults
    kCreatedAddressList = 20,  // the address list
    kCreatedNotify = 30,       // the notify list (of a record made beside the first)
};
extern Signal<void(Connection* conn)> conn_created;

// A record is being freed (its socket closed, still in the list): the parts
// drop their state for it, in this order.
enum ConnFreedOrder {
    kFreedSocket = 5,         // the server socket (and its SSL link) is closed
    kFreedUserhosts = 10,     // USERHOST requests
    kFreedPlayQueue = 20,     // the play queue of the connection ends
    kFreedTimers = 30,        // timers bound to the connection go
};
extern Signal<void(Connection* conn)> conn_freed;

// A record being freed hands what outlives it to a replacement (the first
// other connection, or null), in this order. at_exit: every record goes at
// program end, after the windows.
enum ConnRepointOrder {
    kRepointTimers = 10,      // timers move to the replacement
    kRepointWindows = 20,     // its windows close or move to the replacement
};
extern Signal<void(Connection* freed, Connection* replacement, bool at_exit)> conn_repoint;

// A record was freed and left the list.
enum ConnRemovedOrder {
    kRemovedNotify = 10,      // the notify window
};
extern Signal<void()> conn_removed;

// Waiting: re-binds signals, DCC, lookups, sockets and dialogs of a freed
// connection to its replacement; copies the channels-list filter between a
// new connection and its sibling (direction 0).
extern void (*conn_repoint_dependents)(Connection* freed, Connection* replacement);
extern void (*conn_chanlist_copy_filter)(int direction, Connection* conn);

// Registry and tests.
int conn_is_live(const Connection* conn);

// Calls fn(c) once for every connection in the list, also when a call frees
// records (the walk starts again at the head and skips those it has seen);
// records added meanwhile are not visited.
template <class Fn>
void conn_visit_each(Fn fn)
{
    for (Connection* c = conn_list; c; c = c->next)
        c->visit = 1;
    Connection* c = conn_list;
    while (c) {
        if (!c->visit) {
            c = c->next;
            continue;
        }
        c->visit = 0;
        fn(c);
        c = conn_is_live(c) ? c->next : conn_list;
    }
}

Connection* conn_by_socket(int socket);
Connection* conn_by_lookup_handle(int handle);
Connection* conn_by_connect_timer(int timer_id);
Connection* conn_by_id(int id);
Connection* conn_by_position(int position);   // 1-based, list order
int conn_count();
Connection* conn_of_window(QWidget* window);
Connection* conn_current();
QWidget* conn_current_window();               // the remembered window of conn_current
Connection* conn_for_window_or_current(QWidget** window);
QWidget* conn_status_window_of(QWidget* window);
int conn_validate_or_current(Connection** conn);
int conn_is_connected(const Connection* conn);
// The nick in use on the connection: the slot of its nick index (the main
// nick for an index out of range); empty for no connection.
const std::string& conn_own_nick(const Connection* conn);
int conn_is_connecting(const Connection* conn);
int conn_current_state();
Connection* conn_first_connected();
int conn_any_in_progress();
int conn_has_local_ip(const Connection* conn);
int conn_check_connected(QWidget* window, Connection* conn);
int conn_check_local_host(QWidget* window, Connection* conn);
int conn_get_network(std::string& out, Connection* conn);
int conn_queue_autojoin(const std::string& text, int flags, Connection* conn);
extern std::string conn_autojoin_name;        // cleared by conn_queue_autojoin flag 4

// Recent channels of a network.
void conn_recent_note_joins(const std::string& channels, Connection* conn);
const RecentChannel* conn_recent_find(const std::string& channel, Connection* conn);
std::vector<std::string> conn_recent_sorted(Connection* conn);
void conn_recent_reset(Connection* conn, int mode);
void conn_recent_copy_from_sibling(Connection* conn);

// Copies between the stored settings and the live fields: mode 0 stored to
// live (identity and server texts only while not connected; the local host
// always), mode 1 back.
void conn_identity_copy(int mode, Connection* conn);

// A numbered text of the string table.
std::string conn_text(int number);

// Lifetime.
Connection* conn_new(Connection* sibling);
extern int conn_next_status_minimised;        // one-shot: next status window opens minimised
void conn_free(Connection* conn);
void conn_free_all();                         // at exit, after the windows are gone

// Channel Central request of a connection: one second of its countdown (the
// request is dropped at its end).
void conn_pending_release(Connection* conn);


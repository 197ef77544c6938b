// DCC chat and file-server sessions: a line-based conversation over a
// direct TCP connection, shown in a chat window ("Chat nick") or, when the
// local side serves files, a file-server window ("Serve nick"). The session
// record lives in a slot of its window's record and dies with the window;
// offers that came in and wait for a decision are kept in a short list
// until they are accepted (a window opens) or dropped.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <string_view>

#include "core/record_slots.h"
#include "core/signal.h"
#include "dcc/fserve.h"

struct Connection;
struct WindowRecord;
struct CommandCall;
class QWidget;

// Session states.
enum DccChatState : int {
    kChatEnded = 0,       // ended; the window stays
    kChatOffered = 1,     // listening, or a passive offer sent
    kChatConnecting = 2,
    kChatOpen = 3,
    kChatConnectPending = 4,  // or a refused DCC-server reply
    kChatRequestPending = 5,
};

// Usable length of one received line; a longer one is cut and handed on.
constexpr std::size_t kChatLineMax = 4150;
// Bytes a chat keeps waiting for a full socket before it gives up.
constexpr std::size_t kChatQueueMax = 1 << 20;
// Offers that wait for a decision at once; more are refused.
constexpr int kChatPendingMax = 32;
// Live chat sessions with one nick on one connection.
constexpr int kChatsPerNickMax = 3;

// Assembles received bytes into lines: a line feed ends a line, carriage
// returns and tabs are dropped, and a line that reaches kChatLineMax + 1
// characters is cut there and handed on.
struct DccLineReader {
    std::string line;
    // Feeds bytes; `on_line` gets each finished line and answers false to
    // stop (the session went away). Returns false when it was stopped.
    bool feed(const char* data, std::size_t length, const std::function<bool(const std::string&)>& on_line);
};

struct DccChat {
    WindowRecord* window = nullptr;
    Connection* conn = nullptr;
    std::string nick;
    std::string address;        // user@host as the offer showed it, or the typed address
    std::string ip;             // the peer's dotted address (own address for own offers)
    std::uint16_t port = 0;
    int state = kChatEnded;
    bool ended = false;
    bool close_at_end = false;
    int own_token = 0;
    int peer_token = 0;
    int server_step = 0;        // 0 plain; 1 connecting to a DCC server; 2 request sent; 3 answered or came in
    unsigned reply_code = 0;
    bool fserve_request = false;
    bool fserve = false;
    bool passive = false;
    bool was_open = false;
    DccLineReader reader;
    std::deque<std::string> queue;  // chat text waiting for the socket
    std::size_t queued = 0;
    std::string out;                // file server: the rest of a text the socket did not take
    int idle = 0;
    bool warned = false;
    int socket = -1;
    int listen_socket = -1;
    FserveState fs;

    DccChat() = default;
    DccChat(const DccChat&) = delete;
    DccChat& operator=(const DccChat&) = delete;
    ~DccChat();
};

extern RecordSlot<DccChat> dcc_chat_slot;

// The session of a window record / window, or null.
DccChat* dccchat_of(WindowRecord* rec);
DccChat* dccchat_find_by_window(const QWidget* hwnd);
// The session whose data or listening socket is s (-1 never matches).
DccChat* dccchat_find_by_socket(int s);
// 1 when the pointer is still a session of an open window.
int dccchat_is_live(const DccChat* c);
// 1 when the window's session serves files.
int dccchat_window_is_fserve(const QWidget* hwnd);
// Every session, in window order.
void dccchat_each(const std::function<void(DccChat*)>& fn);
// The first session with the nick (case ignored) of the kind (0 chat,
// 1 fserve, -1 either); null when none.
DccChat* dccchat_find_by_nick(const std::string& nick, int fserve);

// Starts a session: mode 0 chat, 1 file server, 2 file-server request to a
// DCC server. Returns 1 when a session was started.
struct DccChatStart {
    QWidget* window = nullptr;
    Connection* conn = nullptr;
    std::string nick;
    int mode = 0;
    bool no_prompt = false;
    bool passive = false;
    bool close_at_end = false;
    std::string home;       // file server
    std::string welcome;
    int get_limit = 1;
};
int dccchat_start(const DccChatStart& start);
// A session with a DCC server: "nick address[:port]" or "address[:port]".
int dccchat_connect_to_server(const std::string& text, int mode, Connection* conn);

// The host name of a DCC server being connected to resolved to the address
// (empty: not found); the session connects or ends.
void dccchat_connect_resolved(DccChat* c, const std::string& address);

// Sends one line (a line feed is added). 1 when sent or queued.
int dccchat_send_line(DccChat* c, const std::string& text);
// What the user types or /msg =nick sends: the line goes out and shows as
// the own text. 0 with nothing sent (not open).
int dccchat_say(DccChat* c, const std::string& text, bool show);
int dccchat_action(DccChat* c, const std::string& text, bool show);
// Ends a session once, with the reason printed when not empty.
void dccchat_end(DccChat* c, const std::string& reason);
// Closes the socket and the open file; the record stays with its window.
void dccchat_close(DccChat* c);

// An incoming "DCC CHAT" CTCP (text without the 0x01 framing).
struct DccChatOffer {
    bool ok = false;
    std::uint32_t address = 0;
    std::string ip;
    int port = 0;
    int token = 0;
};
DccChatOffer dccchat_parse_offer(std::string_view text);
// The CTCP layer's hand-over of a chat offer.
void dccchat_on_offer(Connection* conn, const std::string& nick, const std::string& user_host, std::string_view text);

// Offers that wait for the user.
struct DccChatPending {
    int id = 0;
    Connection* conn = nullptr;
    std::string nick;
    std::string address;
    DccChatOffer offer;
    int server_socket = -1;     // a chat or fserve request through the DCC server
    unsigned reply_code = 0;
};
DccChatPending* dccchat_pending(int id);
int dccchat_pending_count();
// The user's answer: 1 accept, 2 reject and ignore, 0 or less decline.
void dccchat_answer(int id, int answer);
// A request through the DCC server (the socket is connected and handed over).
void dccchat_from_server(Connection* conn, int socket, const std::string& nick, const std::string& ip,
                         unsigned code, int port);
// An offer waits for the user: the accept dialog listens.
extern Signal<void(int id)> dcc_chat_waiting;
enum DccChatWaitingOrder { kChatWaitingDialog = 50 };

// The chat window for "=nick" targets.
QWidget* dccchat_window_by_nick(const std::string& nick, CommandCall& call);
// Window manager calls.
void dccchat_window_opened(WindowRecord* rec);
void dccchat_close_window(WindowRecord* rec);
int dccchat_still_live(WindowRecord* rec);
// Live sends to a peer, counted as the file server's per-peer limit counts
// them: only sends still offered or running.
int dccchat_running_sends_to(const std::string& nick, const std::string& address);

// Object names of the chat dialogs (tests find them by these).
inline constexpr const char* kDccChatAcceptDialogName = "dcc_chat_accept";
inline constexpr const char* kDccChatNickDialogName = "dcc_chat_nick";

// The chat and fserve words of /dcc.
int dcc_chat_word(CommandCall& call);
void dcc_chat_commands_register();
// The accept question and the chat-nick dialog (menu 152).
void dcc_chat_window_install();
void dcc_chat_window_uninstall();

void dcc_chat_install();
void dcc_chat_uninstall();

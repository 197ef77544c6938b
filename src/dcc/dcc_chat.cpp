// DCC chat and file-server sessions: offering (listening or passive),
// accepting, connecting out, reading lines, showing them, sending, the idle
// limit of file-server sessions and the end.
#include "dcc/dcc_chat.h"

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <vector>

#include <QPointer>
#include <QWidget>

#include "app/window_open.h"
#include "core/numbered_texts.h"
#include "core/options.h"
#include "core/text_buffer.h"
#include "core/text_limits.h"
#include "core/time_date.h"
#include "display/second_tick.h"
#include "irc/numerics/isupport.h"
#include "irc/link/lookups.h"
#include "script/exec/executor.h"
#include "core/main_settings.h"
#include "dcc/dcc_dialogs.h"
#include "dcc/dcc_engine.h"
#include "dcc/dcc_server.h"
#include "bars/switchbar.h"
#include "irc/dispatch/dispatcher.h"
#include "irc/link/send_queue.h"
#include "model/colors.h"
#include "model/connection.h"
#include "model/line_buffer.h"
#include "model/window_record.h"
#include "model/window_requests.h"
#include "platform/app_messages.h"
#include "platform/sockets.h"
#include "script/events/event_fire.h"
#include "script/events/event_index.h"

RecordSlot<DccChat> dcc_chat_slot;
Signal<void(int id)> dcc_chat_waiting;

namespace {

constexpr int kReadsPerTurn = 20;
char read_buffer[kChatLineMax];

std::vector<DccChatPending> pending_offers;
std::vector<int> announced;
int last_pending_id = 0;
int pending_posted = 0;

QWidget* hwnd_of(DccChat* c)
{
    return c && c->window ? c->window->hwnd.get() : nullptr;
}

void show(DccChat* c, const std::string& text, std::uint32_t colour = kColorInfoText)
{
    if (QWidget* w = hwnd_of(c))
        print_line(w, text, colour);
}

QWidget* status_of(DccChat* c)
{
    if (c && conn_is_live(c->conn) && c->conn->status_window)
        return c->conn->status_window;
    return hwnd_of(c);
}

std::string local_address_text(Connection* conn)
{
    return conn_is_live(conn) ? dcc_address_text(conn->local_ip) : std::string();
}

void post_pending()
{
    if (!pending_posted) {
        pending_posted = 1;
        post_app_message(WM_APP_DCCCHAT_PENDING, 0, 0);
    }
}

// Fires a session event in one phase; false when the session went away.
bool fire(DccChat* c, std::string_view word, int id, int phase, const std::string& text, int* result = nullptr)
{
    if (!event_switch_events || !conn_is_live(c->conn)) {
        if (result)
            *result = 1;
        return true;
    }
    QPointer<QWidget> w = hwnd_of(c);
    EventLine line;
    line.nick = c->nick;
    line.source = c->nick + (c->address.empty() ? std::string() : "!" + c->address);
    line.address = c->address;
    line.text = text;
    line.target = c->window ? c->window->name : std::string();
    EventSource source;
    source.dcc_chat = c;
    source.requester = c->nick;
    source.text1 = text;
    source.line = &line;
    int halt = 0;
    const int r = event_fire(c->conn, w, &line, word, id, phase, &halt, &source);
    if (result)
        *result = r;
    return w && dccchat_find_by_window(w) == c;
}

// Sends bytes, queueing what the socket does not take. false on an error.
bool write_chat(DccChat* c, const std::string& bytes)
{
    if (c->socket < 0)
        return false;
    if (!c->queue.empty()) {
        if (c->queued + bytes.size() > kChatQueueMax)
            return false;
        c->queue.push_back(bytes);
        c->queued += bytes.size();
        return true;
    }
    long n = sock_send(c->socket, bytes.data(), bytes.size());
    if (n < 0) {
        if (sock_last_error() != WSAEWOULDBLOCK)
            return false;
        n = 0;
    }
    if (static_cast<std::size_t>(n) < bytes.size()) {
        c->queue.push_back(bytes.substr(static_cast<std::size_t>(n)));
        c->queued += bytes.size() - static_cast<std::size_t>(n);
    }
    return true;
}

// Sends what waits; false on an error.
bool flush_chat(DccChat* c)
{
    while (!c->queue.empty() && c->socket >= 0) {
        std::string& front = c->queue.front();
        long n = sock_send(c->socket, front.data(), front.size());
        if (n < 0)
            return sock_last_error() == WSAEWOULDBLOCK;
        c->queued -= static_cast<std::size_t>(n);
        if (static_cast<std::size_t>(n) < front.size()) {
            front.erase(0, static_cast<std::size_t>(n));
            return true;
        }
        c->queue.pop_front();
    }
    return true;
}

// The file server's send: the whole text is taken, or nothing while the
// rest of an earlier text still waits.
bool fserve_write(DccChat* c, const std::string& text)
{
    if (c->socket < 0 || !c->out.empty())
        return false;
    long n = sock_send(c->socket, text.data(), text.size());
    if (n < 0) {
        if (sock_last_error() != WSAEWOULDBLOCK)
            return false;
        n = 0;
    }
    if (static_cast<std::size_t>(n) < text.size())
        c->out = text.substr(static_cast<std::size_t>(n));
    c->idle = 0;
    return true;
}

bool fserve_flush(DccChat* c)
{
    while (!c->out.empty() && c->socket >= 0) {
        long n = sock_send(c->socket, c->out.data(), c->out.size());
        if (n < 0)
            return sock_last_error() == WSAEWOULDBLOCK;
        c->out.erase(0, static_cast<std::size_t>(n));
    }
    return true;
}

void wire_fserve(DccChat* c)
{
    QPointer<QWidget> w = hwnd_of(c);
    auto live = [w, c] { return w && dccchat_find_by_window(w) == c; };
    c->fs.send = [c, live](const std::string& text) { return live() && fserve_write(c, text); };
    c->fs.show = [c, live](const std::string& text) {
        if (live())
            show(c, text, kColorOwnText);
    };
    c->fs.get = [c, live](const std::string& path) -> int {
        if (!live())
            return 2606;
        if (dccchat_running_sends_to(c->nick, c->ip) >= c->fs.get_limit)
            return 2605;
        const int max_sends = opt(OPT_DCC_MAX_SENDS);
        int running = 0;
        dcc_each_transfer([&](DccTransfer* t) {
            if (t->kind == kDccSend && (t->state == kDccWaiting || t->state == kDccSending))
                ++running;
        });
        if ((max_sends > 0 && running >= max_sends) || !conn_is_connected(c->conn))
            return 2606;
        DccSendRequest r;
        r.conn = c->conn;
        r.window = hwnd_of(c);
        r.nick = c->nick;
        r.path = path;
        r.automatic = true;
        r.speed_limited = true;
        r.passive = opt(OPT_DCC_PASSIVE) != 0;
        return dccsend_start(r) ? 0 : 2606;
    };
    c->fs.quit = [w] {
        if (w)
            win_close(w);
    };
}

void opened(DccChat* c)
{
    c->state = kChatOpen;
    c->was_open = true;
    c->idle = 0;
    show(c, text_load_string(c->fserve ? 1308 : 1307));
    sock_async_select(c->socket, WM_APP_DCCCHAT_SOCKET, FD_READ | FD_WRITE | FD_CLOSE);
    if (!fire(c, "OPEN", kEvOpen, 1, std::string()) || !fire(c, "OPEN", kEvOpen, 0, std::string()))
        return;
    if (c->fserve) {
        c->fs.stage = kFsBanner;
        fserve_output(c->fs);
    }
}

QWidget* open_window(DccChat*& c, Connection* conn, const std::string& nick, bool fserve)
{
    const int subtype = fserve ? kQueryFserve : kQueryDccChat;
    const std::string name = (fserve ? "Serve " : "Chat ") + nick;
    // A finished session's window with the same nick and kind is taken over.
    for (WindowRecord* rec = win_list; rec; rec = rec->next) {
        if (rec->type != kWinQuery || rec->subtype != subtype || !rec->hwnd)
            continue;
        DccChat* old = dccchat_of(rec);
        if (old && old->state == kChatEnded && text_equal_nocase(old->nick, nick)) {
            dccchat_close(old);
            rec->state_slots.reset(dcc_chat_slot);
            c = &rec->state_slots.get(dcc_chat_slot);
            c->window = rec;
            rec->conn = conn;
            return rec->hwnd.get();
        }
    }
    WindowOpenRequest req;
    req.name = name;
    req.type = kWinQuery;
    req.subtype = subtype;
    req.conn = conn;
    QWidget* hwnd = win_open(req);
    WindowRecord* rec = hwnd ? win_record_of(hwnd) : nullptr;
    if (!rec)
        return nullptr;
    c = &rec->state_slots.get(dcc_chat_slot);
    c->window = rec;
    return hwnd;
}

void connect_out(DccChat* c)
{
    c->state = kChatConnecting;
    c->idle = 0;
    if ((c->peer_token && c->port == 0) || c->passive) {
        // The peer made a passive offer: we listen and tell it where.
        int port = 0;
        const int s = dcc_listen_socket(0, &port);
        if (s < 0 || !conn_has_local_ip(c->conn)) {
            if (s >= 0)
                sock_close(s);
            dccchat_end(c, text_load_string(1304));
            return;
        }
        c->listen_socket = s;
        c->port = static_cast<std::uint16_t>(port);
        c->state = kChatOffered;
        sock_async_select(s, WM_APP_DCCCHAT_LISTEN, FD_ACCEPT);
        dcc_send_ctcp(c->conn, c->nick,
                      "DCC CHAT chat " + std::to_string(c->conn->local_ip) + " " + std::to_string(port) + " " +
                          std::to_string(c->peer_token));
        return;
    }
    SockAddr peer;
    if (!sockaddr_from_text(c->ip, c->port, peer)) {
        // A DCC server named by its host: connect once the lookup answers.
        if (c->server_step == 1 && dns_lookup_request(hwnd_of(c), c->nick, c->ip, 0, kDnsChatConnect))
            return;
        dccchat_end(c, text_load_string(1316));
        return;
    }
    const int s = dcc_listen_socket(2, nullptr);
    if (s < 0) {
        dccchat_end(c, text_load_string(1304));
        return;
    }
    c->socket = s;
    sock_async_select(s, WM_APP_DCCCHAT_CONNECT, FD_CONNECT);
    if (sock_connect(s, peer) != 0 && sock_last_error() != WSAEWOULDBLOCK)
        dccchat_end(c, std::string());
}

// A request that came in through the own DCC server, accepted: the window
// opens on the connected socket and the answer goes out.
void accept_server_request(const DccChatPending& p)
{
    const bool fserve = p.reply_code == 110;
    DccChat* c = nullptr;
    if (!conn_is_live(p.conn) || !open_window(c, p.conn, p.nick, fserve) || !c) {
        sock_close(p.server_socket);
        return;
    }
    c->conn = p.conn;
    c->nick = p.nick;
    c->ip = p.offer.ip;
    c->address = p.offer.ip;
    c->port = static_cast<std::uint16_t>(p.offer.port);
    c->server_step = 3;
    c->reply_code = p.reply_code;
    c->socket = p.server_socket;
    show(c, text_load_string(fserve ? 1310 : 1311));
    show(c, text_fill_id(1312, {c->nick, c->ip}));
    show(c, text_fill_id(1334, {time_ctime_text(std::time(nullptr))}));
    show(c, text_load_string(1314));
    if (fserve) {
        c->fserve = true;
        c->close_at_end = true;
        if (!fserve_begin(c->fs, main_settings.fserve_home, main_settings.fserve_welcome,
                          opt(OPT_FSERVE_GETS_PER_PEER))) {
            dccchat_end(c, text_load_string(812));
            return;
        }
        c->fs.via_server = true;
        wire_fserve(c);
    }
    const std::string own = conn_own_nick(c->conn);
    if (!write_chat(c, std::string(fserve ? "111 " : "101 ") + own + "\n")) {
        dccchat_end(c, text_load_string(1320));
        return;
    }
    opened(c);
}

// An accepted offer: the window opens and the connection goes out.
void accept_offer(const DccChatPending& p)
{
    if (p.server_socket >= 0) {
        accept_server_request(p);
        return;
    }
    if (!conn_is_live(p.conn))
        return;
    DccChat* c = nullptr;
    if (!open_window(c, p.conn, p.nick, false) || !c)
        return;
    c->conn = p.conn;
    c->nick = p.nick;
    c->address = p.address;
    c->ip = p.offer.ip;
    c->port = static_cast<std::uint16_t>(p.offer.port);
    c->peer_token = p.offer.token;
    show(c, text_load_string(1311));
    show(c, text_fill_id(1312, {c->nick, c->address.empty() ? c->ip : c->address}));
    show(c, text_fill_id(1334, {time_ctime_text(std::time(nullptr))}));
    show(c, text_load_string(1314));
    connect_out(c);
}

// The DCC server's answer to our request: "101 nick" for a chat, "111
// nick" for a file server; anything else ends the session with its code.
void server_reply(DccChat* c, std::string line)
{
    c->server_step = 3;
    DccServerRequest r;
    const bool ok = dccserver_parse_request(line, r);
    c->reply_code = ok ? static_cast<unsigned>(r.number) : 0;
    if (!ok || r.number != (c->fserve_request ? 111 : 101)) {
        c->state = kChatConnectPending;
        dccchat_end(c, std::string());
        return;
    }
    c->nick = r.nick.substr(0, kShortText);
    if (c->window) {
        c->window->name = "Chat " + c->nick;
        winlist_sort_windows();
    }
    opened(c);
}

// A received line.
void handle_line(DccChat* c, std::string line)
{
    if (c->server_step == 2) {
        server_reply(c, line);
        return;
    }
    if (line.empty())
        return;
    const bool fserve = c->fserve;
    const std::string_view word = fserve ? "SERV" : "CHAT";
    const int id = fserve ? kEvServ : kEvChat;
    int allowed = 1;
    if (!fire(c, word, id, 1, line, &allowed))
        return;
    if (allowed) {
        if (line.size() > 8 && line.front() == '\x01' && line.compare(1, 7, "ACTION ") == 0) {
            std::string text = line.substr(8);
            if (!text.empty() && text.back() == '\x01')
                text.pop_back();
            print_options.highlight_test = 1;
            print_options.sender_nick = c->nick;
            show(c, "* " + c->nick + " " + text, kColorActionText);
        } else {
            print_options.highlight_test = 1;
            print_options.sender_nick = c->nick;
            print_options.beep = opt(OPT_BEEP_CHAT_MESSAGES) ? 1 : 0;
            print_options.flash = opt(OPT_FLASH_CHAT_MESSAGES) ? 1 : 0;
            show(c, "<" + c->nick + "> " + line, kColorNormalText);
        }
    }
    if (!fire(c, word, id, 0, line))
        return;
    if (fserve && allowed)
        FileServerCommand(c->fs, line);
}

void read_socket(DccChat* c)
{
    QPointer<QWidget> w = hwnd_of(c);
    auto live = [&] { return w && dccchat_find_by_window(w) == c && c->state != kChatEnded; };
    for (int round = 0; round < kReadsPerTurn; ++round) {
        const long n = sock_recv(c->socket, read_buffer, sizeof read_buffer);
        if (n < 0) {
            if (sock_last_error() != WSAEWOULDBLOCK)
                dccchat_end(c, text_load_string(1319));
            return;
        }
        if (n == 0) {
            dccchat_end(c, std::string());
            return;
        }
        c->idle = 0;
        const bool go_on = c->reader.feed(read_buffer, static_cast<std::size_t>(n), [&](const std::string& line) {
            handle_line(c, line);
            return live();
        });
        if (!go_on || !live())
            return;
    }
}

// ---- Socket messages ----

intptr_t on_listen(uintptr_t s, intptr_t word)
{
    DccChat* c = dccchat_find_by_socket(static_cast<int>(s));
    if (!c || c->state != kChatOffered || c->listen_socket != static_cast<int>(s))
        return 0;
    if (WSAGETSELECTERROR(word)) {
        dccchat_end(c, text_load_string(1304));
        return 0;
    }
    SockAddr peer;
    const int a = sock_accept(c->listen_socket, &peer);
    if (a < 0)
        return 0;
    sock_close(c->listen_socket);
    c->listen_socket = -1;
    c->socket = a;
    c->ip = sockaddr_ip_text(peer);
    opened(c);
    return 0;
}

intptr_t on_connect(uintptr_t s, intptr_t word)
{
    DccChat* c = dccchat_find_by_socket(static_cast<int>(s));
    if (!c || c->state != kChatConnecting)
        return 0;
    if (WSAGETSELECTERROR(word)) {
        dccchat_end(c, std::string());
        return 0;
    }
    if (c->server_step == 1) {
        c->server_step = 2;
        c->idle = 0;
        sock_async_select(c->socket, WM_APP_DCCCHAT_SOCKET, FD_READ | FD_WRITE | FD_CLOSE);
        const std::string own = conn_is_live(c->conn) ? conn_own_nick(c->conn) : std::string("kest");
        if (!write_chat(c, std::string(c->fserve_request ? "110 " : "100 ") + own + "\n"))
            dccchat_end(c, text_load_string(1320));
        return 0;
    }
    opened(c);
    return 0;
}

intptr_t on_socket(uintptr_t s, intptr_t word)
{
    DccChat* c = dccchat_find_by_socket(static_cast<int>(s));
    if (!c || c->socket != static_cast<int>(s) || (c->state != kChatOpen && c->server_step != 2))
        return 0;
    const int event = WSAGETSELECTEVENT(word);
    if (event == FD_READ) {
        read_socket(c);
    } else if (event == FD_WRITE) {
        if (c->fserve) {
            if (!fserve_flush(c)) {
                dccchat_end(c, text_load_string(1320));
                return 0;
            }
            if (c->out.empty())
                fserve_output(c->fs);
        } else if (!flush_chat(c)) {
            dccchat_end(c, text_load_string(1320));
        }
    } else if (event == FD_CLOSE) {
        // What arrived before the close is read first.
        QPointer<QWidget> w = hwnd_of(c);
        read_socket(c);
        if (w && dccchat_find_by_window(w) == c && c->state != kChatEnded)
            dccchat_end(c, std::string());
    } else {
        dccchat_end(c, std::string());
    }
    return 0;
}

intptr_t on_pending(uintptr_t, intptr_t)
{
    pending_posted = 0;
    const int mode = opt(OPT_DCC_CHAT_REQUESTS);
    std::vector<int> ids;
    for (const DccChatPending& p : pending_offers)
        ids.push_back(p.id);
    for (int id : ids) {
        DccChatPending* p = dccchat_pending(id);
        if (!p)
            continue;
        if (!conn_is_live(p->conn)) {
            dccchat_answer(id, 0);
        } else if (mode == 1) {
            dccchat_answer(id, 1);
        } else if (mode == 0 && p->reply_code == 110) {
            // A file-server request through the DCC server is asked about
            // only while the file-server warning is on.
            if (std::find(announced.begin(), announced.end(), id) != announced.end())
                continue;
            if (!main_settings.warn_fserve) {
                dccchat_answer(id, 1);
                continue;
            }
            announced.push_back(id);
            const std::string nick = p->nick;
            const int answer = fserve_warning_dialog(nullptr, nick, main_settings.fserve_home);
            if (answer >= 0)
                dccchat_answer(id, answer);
            else
                announced.erase(std::remove(announced.begin(), announced.end(), id), announced.end());
        } else if (mode == 0) {
            if (std::find(announced.begin(), announced.end(), id) == announced.end()) {
                announced.push_back(id);
                dcc_chat_waiting.fire(id);
            }
        } else {
            dccchat_answer(id, 0);
        }
    }
    return 0;
}

void idle_tick()
{
    const int limit = std::max(5, opt(OPT_FSERVE_IDLE_LIMIT) > 0 ? opt(OPT_FSERVE_IDLE_LIMIT) : 120);
    std::vector<QPointer<QWidget>> windows;
    dccchat_each([&](DccChat* c) {
        if (c->state > 0)
            windows.push_back(hwnd_of(c));
    });
    for (const QPointer<QWidget>& w : windows) {
        DccChat* c = w ? dccchat_find_by_window(w) : nullptr;
        if (!c || c->state <= 0)
            continue;
        ++c->idle;
        if (!c->fserve)
            continue;
        if (limit >= 30 && c->idle >= limit - 30 && c->state == kChatOpen && !c->warned &&
            c->fs.stage == kFsIdle && c->out.empty()) {
            c->warned = true;
            fserve_write(c, std::string(text_load_string(4106)) + "\n");
            c->idle = limit - 30;
        }
        if (c->idle >= limit)
            dccchat_end(c, text_fill_id(4107, {c->nick}));
    }
}

int tick_id = 0;

}  // namespace

void dccchat_connect_resolved(DccChat* c, const std::string& address)
{
    if (!c || c->state != kChatConnecting || c->server_step != 1 || c->socket >= 0)
        return;
    SockAddr probe;
    if (address.empty() || !sockaddr_from_text(address, c->port, probe)) {
        dccchat_end(c, text_load_string(1316));
        return;
    }
    c->ip = address;
    connect_out(c);
}

// ---- Line reader ----

bool DccLineReader::feed(const char* data, std::size_t length, const std::function<bool(const std::string&)>& on_line)
{
    for (std::size_t i = 0; i < length; ++i) {
        const char ch = data[i];
        if (ch == '\r' || ch == '\t')
            continue;
        if (ch == '\n') {
            std::string done;
            done.swap(line);
            if (!on_line(done))
                return false;
            continue;
        }
        line += ch;
        if (line.size() >= kChatLineMax + 1) {
            std::string done;
            done.swap(line);
            if (!on_line(done))
                return false;
        }
    }
    return true;
}

// ---- Records ----

DccChat::~DccChat()
{
    if (socket >= 0)
        sock_close(socket);
    if (listen_socket >= 0)
        sock_close(listen_socket);
}

DccChat* dccchat_of(WindowRecord* rec)
{
    if (!rec || !win_is_record(rec) || rec->type != kWinQuery ||
        (rec->subtype != kQueryDccChat && rec->subtype != kQueryFserve))
        return nullptr;
    return rec->state_slots.find(dcc_chat_slot);
}

DccChat* dccchat_find_by_window(const QWidget* hwnd)
{
    return hwnd ? dccchat_of(win_record_of(hwnd)) : nullptr;
}

void dccchat_each(const std::function<void(DccChat*)>& fn)
{
    for (WindowRecord* rec = win_list; rec;) {
        WindowRecord* next = rec->next;
        if (DccChat* c = dccchat_of(rec))
            fn(c);
        rec = next;
    }
}

DccChat* dccchat_find_by_socket(int s)
{
    if (s < 0)
        return nullptr;
    DccChat* found = nullptr;
    dccchat_each([&](DccChat* c) {
        if (!found && (c->socket == s || c->listen_socket == s))
            found = c;
    });
    return found;
}

int dccchat_is_live(const DccChat* c)
{
    int live = 0;
    dccchat_each([&](DccChat* x) {
        if (x == c)
            live = 1;
    });
    return live;
}

int dccchat_window_is_fserve(const QWidget* hwnd)
{
    DccChat* c = dccchat_find_by_window(hwnd);
    return c && c->fserve ? 1 : 0;
}

DccChat* dccchat_find_by_nick(const std::string& nick, int fserve)
{
    DccChat* found = nullptr;
    dccchat_each([&](DccChat* c) {
        if (!found && text_equal_nocase(c->nick, nick) && (fserve < 0 || c->fserve == (fserve == 1)))
            found = c;
    });
    return found;
}

int dccchat_running_sends_to(const std::string& nick, const std::string& address)
{
    const std::string unknown = text_load_string(5001);
    int count = 0;
    dcc_each_transfer([&](DccTransfer* t) {
        if (t->kind != kDccSend || (t->state != kDccWaiting && t->state != kDccSending))
            return;
        const bool same = t->address.empty() || t->address == unknown ? text_equal_nocase(t->nick, nick)
                                                                        : t->address == address;
        if (same)
            ++count;
    });
    return count;
}

// ---- Starting ----

int dccchat_start(const DccChatStart& st)
{
    Connection* conn = st.conn;
    if (!conn_is_live(conn))
        return 0;
    std::string nick = st.nick.substr(0, st.nick.find(','));
    if (nick.empty())
        return 0;
    if (isupport_is_chantype(nick.c_str(), conn))
        return 0;
    if (nick.find('.') != std::string::npos || st.mode == 2)
        return dccchat_connect_to_server(nick, st.mode, conn);
    if (!conn_is_connected(conn)) {
        irc_status_echo(conn, static_cast<int>(kColorCtcpText), text_load_string(6004));
        return 0;
    }
    const bool fserve = st.mode == 1;
    DccChat* c = nullptr;
    if (!open_window(c, conn, nick.substr(0, kShortText), fserve) || !c)
        return 0;
    c->conn = conn;
    c->nick = nick.substr(0, kShortText);
    c->state = kChatOffered;
    c->close_at_end = st.close_at_end || fserve;
    if (fserve) {
        c->fserve = true;
        if (!fserve_begin(c->fs, st.home, st.welcome, st.get_limit)) {
            dccchat_end(c, text_load_string(812));
            return 0;
        }
        c->fs.stage = kFsIdle;
        wire_fserve(c);
        show(c, text_fill_id(1331, {c->nick}));
    } else {
        show(c, text_fill_id(1330, {c->nick}));
    }
    const std::string notice =
        "NOTICE " + c->nick + " :DCC " + (fserve ? "Fserve" : "Chat") + " (" + local_address_text(conn) + ")\n";
    if (st.passive) {
        c->passive = true;
        c->port = 0;
        c->own_token = win_alloc_id();
        c->ip = local_address_text(conn);
        irc_send_line(notice, kLineAutoReply, conn);
        dcc_send_ctcp(conn, c->nick, "DCC CHAT chat " + std::to_string(conn->local_ip) + " 0 " +
                                         std::to_string(c->own_token));
        show(c, text_load_string(1303));
        return 1;
    }
    int port = 0;
    const int s = dcc_listen_socket(0, &port);
    if (s < 0) {
        dccchat_end(c, text_load_string(1304));
        return 0;
    }
    c->listen_socket = s;
    c->port = static_cast<std::uint16_t>(port);
    c->ip = local_address_text(conn);
    sock_async_select(s, WM_APP_DCCCHAT_LISTEN, FD_ACCEPT);
    irc_send_line(notice, kLineAutoReply, conn);
    dcc_send_ctcp(conn, c->nick, "DCC CHAT chat " + std::to_string(conn->local_ip) + " " + std::to_string(port));
    show(c, text_load_string(1303));
    return 1;
}

// ---- Sending ----

int dccchat_send_line(DccChat* c, const std::string& text)
{
    if (!c || c->state != kChatOpen || c->socket < 0)
        return 0;
    if (text.empty())
        return 1;
    c->idle = 0;
    c->warned = false;
    if (!write_chat(c, text + "\n")) {
        dccchat_end(c, text_load_string(1320));
        return 0;
    }
    return 1;
}

int dccchat_say(DccChat* c, const std::string& text, bool shown)
{
    if (!c || c->state != kChatOpen)
        return 0;
    QPointer<QWidget> w = hwnd_of(c);
    const std::string own = conn_is_live(c->conn) ? conn_own_nick(c->conn) : std::string();
    for (std::size_t pos = 0; pos < text.size(); pos += kChatLineMax) {
        const std::string piece = text.substr(pos, kChatLineMax);
        if (!dccchat_send_line(c, piece))
            return 0;
        if (shown && w && dccchat_find_by_window(w) == c)
            show(c, "<" + own + "> " + piece, kColorOwnText);
    }
    // A file server held over the peer's DCC server sends no offers: "get"
    // fetches the file over a link of its own.
    if (w && dccchat_find_by_window(w) == c && c->fserve_request && text.size() > 4 &&
        text_equal_nocase(std::string_view(text).substr(0, 4), "get ")) {
        const std::size_t name_at = text.find_first_not_of(' ', 4);
        if (name_at != std::string::npos)
            dccget_from_server(c->conn, c->nick, c->ip, c->port, main_settings.fserve_home,
                               text.substr(name_at, kShortText));
    }
    return 1;
}

int dccchat_action(DccChat* c, const std::string& text, bool shown)
{
    if (!c || c->state != kChatOpen)
        return 0;
    const std::string piece = text.substr(0, kChatLineMax - 9);
    if (!dccchat_send_line(c, "\x01" "ACTION " + piece + "\x01"))
        return 0;
    if (shown)
        show(c, "* " + (conn_is_live(c->conn) ? conn_own_nick(c->conn) : std::string()) + " " + piece,
             kColorActionText);
    return 1;
}

// ---- Ending ----

void dccchat_close(DccChat* c)
{
    if (c->socket >= 0) {
        sock_shutdown(c->socket, 2);
        sock_close(c->socket);
        c->socket = -1;
    }
    if (c->listen_socket >= 0) {
        sock_close(c->listen_socket);
        c->listen_socket = -1;
    }
    c->fs.file.reset();
    c->state = kChatEnded;
    c->server_step = 0;
    c->idle = 0;
    c->warned = false;
    c->queue.clear();
    c->queued = 0;
    c->out.clear();
}

void dccchat_end(DccChat* c, const std::string& reason)
{
    if (!c || c->ended)
        return;
    c->ended = true;
    QPointer<QWidget> w = hwnd_of(c);
    auto live = [&] { return w && dccchat_find_by_window(w) == c; };
    if (!reason.empty()) {
        print_options.timestamp = 1;
        echo_line(w, reason, kColorInfoText);
    }
    const bool was_open = c->state == kChatOpen || c->was_open;
    dccchat_close(c);
    if (!fire(c, "CLOSE", kEvClose, 1, std::string()) || !fire(c, "CLOSE", kEvClose, 0, std::string()) || !live())
        return;
    int suffix = 0;
    if (!was_open)
        suffix = c->reply_code == 150 ? 1324 : c->reply_code == 151 ? 1326 : 1328;
    if (opt(OPT_DCC_CLOSE_CHAT_ON_END) || c->close_at_end) {
        std::string text = text_fill_id(c->fserve ? 1321 : 1322, {c->nick});
        if (suffix)
            text += text_load_string(suffix);
        if (QWidget* status = status_of(c); status && status != w.data())
            echo_line(status, text, kColorInfoText);
        win_close(w);
        return;
    }
    if (suffix)
        show(c, text_load_string(suffix - 1));
    show(c, text_load_string(1329));
}

// ---- Offers ----

DccChatOffer dccchat_parse_offer(std::string_view text)
{
    DccChatOffer o;
    std::vector<std::string_view> words;
    std::size_t i = 0;
    while (i < text.size() && words.size() < 8) {
        while (i < text.size() && text[i] == ' ')
            ++i;
        if (i >= text.size())
            break;
        std::size_t e = text.find(' ', i);
        if (e == std::string_view::npos)
            e = text.size();
        words.push_back(text.substr(i, e - i));
        i = e;
    }
    // DCC CHAT <protocol> <address> <port> [token]
    if (words.size() < 5 || !text_equal_nocase(words[0], "DCC") || !text_equal_nocase(words[1], "CHAT"))
        return o;
    auto number = [](std::string_view w, std::uint64_t max, std::uint64_t& out) {
        if (w.empty() || w.size() > 20)
            return false;
        std::uint64_t v = 0;
        for (char ch : w) {
            if (ch < '0' || ch > '9')
                return false;
            v = v * 10 + static_cast<std::uint64_t>(ch - '0');
            if (v > max)
                return false;
        }
        out = v;
        return true;
    };
    std::uint64_t addr = 0, port = 0, token = 0;
    if (number(words[3], 4294967295u, addr)) {
        o.address = static_cast<std::uint32_t>(addr);
        o.ip = dcc_address_text(o.address);
    } else {
        SockAddr probe;
        if (!sockaddr_from_text(std::string(words[3]), 0, probe))
            return o;
        o.ip = sockaddr_ip_text(probe);
        o.address = sockaddr_ipv4(probe);
    }
    if (!number(words[4], 65535, port))
        return o;
    if (words.size() > 5 && !number(words[5], 2147483647u, token))
        return o;
    o.port = static_cast<int>(port);
    o.token = static_cast<int>(token);
    if (o.port == 19 || (o.port == 0 && o.token == 0) || (o.address == 0 && o.port != 0 && o.ip == "0.0.0.0"))
        return o;
    o.ok = true;
    return o;
}

void dccchat_on_offer(Connection* conn, const std::string& nick, const std::string& user_host, std::string_view text)
{
    if (!conn_is_live(conn))
        return;
    const DccChatOffer offer = dccchat_parse_offer(text);
    if (!offer.ok) {
        irc_status_echo(conn, static_cast<int>(kColorCtcpText), text_fill_id(1606, {nick}));
        return;
    }
    // An answer to our own passive offer.
    if (offer.token != 0 && offer.port != 0) {
        DccChat* own = nullptr;
        dccchat_each([&](DccChat* c) {
            if (!own && c->conn == conn && c->state == kChatOffered && c->own_token == offer.token &&
                text_equal_nocase(c->nick, nick))
                own = c;
        });
        if (own) {
            own->ip = offer.ip;
            own->port = static_cast<std::uint16_t>(offer.port);
            own->passive = false;
            own->address = user_host.substr(0, kShortText);
            connect_out(own);
            return;
        }
    }
    int live = 0;
    DccChat* reuse = nullptr;
    dccchat_each([&](DccChat* c) {
        if (c->conn != conn || !text_equal_nocase(c->nick, nick) || c->fserve)
            return;
        if (c->state == kChatOffered && !reuse)
            reuse = c;
        else if (c->state != kChatEnded)
            ++live;
    });
    if (live >= kChatsPerNickMax) {
        irc_status_echo(conn, static_cast<int>(kColorCtcpText), text_fill_id(1605, {nick}));
        return;
    }
    if (reuse) {
        // We offered a chat to this nick too: take its offer at once.
        if (reuse->listen_socket >= 0) {
            sock_close(reuse->listen_socket);
            reuse->listen_socket = -1;
        }
        reuse->address = user_host.substr(0, kShortText);
        reuse->ip = offer.ip;
        reuse->port = static_cast<std::uint16_t>(offer.port);
        reuse->peer_token = offer.token;
        reuse->passive = false;
        reuse->state = kChatConnectPending;
        connect_out(reuse);
        return;
    }
    if (static_cast<int>(pending_offers.size()) >= kChatPendingMax) {
        irc_status_echo(conn, static_cast<int>(kColorCtcpText), text_fill_id(1605, {nick}));
        return;
    }
    DccChatPending p;
    p.id = ++last_pending_id;
    p.conn = conn;
    p.nick = nick.substr(0, kShortText);
    p.address = user_host.substr(0, kShortText);
    p.offer = offer;
    pending_offers.push_back(std::move(p));
    post_pending();
}

DccChatPending* dccchat_pending(int id)
{
    for (DccChatPending& p : pending_offers)
        if (p.id == id)
            return &p;
    return nullptr;
}

int dccchat_pending_count()
{
    return static_cast<int>(pending_offers.size());
}

void dccchat_answer(int id, int answer)
{
    auto it = std::find_if(pending_offers.begin(), pending_offers.end(),
                           [id](const DccChatPending& p) { return p.id == id; });
    if (it == pending_offers.end())
        return;
    DccChatPending p = std::move(*it);
    pending_offers.erase(it);
    announced.erase(std::remove(announced.begin(), announced.end(), id), announced.end());
    if (answer > 0 && answer != 2) {
        accept_offer(p);
        return;
    }
    if (p.server_socket >= 0) {
        sock_send(p.server_socket, "151 rejected\n", 13);
        sock_shutdown(p.server_socket, 2);
        sock_close(p.server_socket);
    }
    if (answer == 2 && conn_is_live(p.conn)) {
        // Rejected and ignored: every other waiting offer of the same user goes too.
        const std::string mask = p.address.find('@') != std::string::npos ? "*!" + p.address : p.nick + "!*@*";
        script_exec_plain_command(p.conn->status_window, "!ignore -du " + mask, p.conn, 1);
        for (auto o = pending_offers.begin(); o != pending_offers.end();) {
            if (o->conn == p.conn && text_equal_nocase(o->nick, p.nick))
                o = pending_offers.erase(o);
            else
                ++o;
        }
    }
}

void dccchat_from_server(Connection* conn, int socket, const std::string& nick, const std::string& ip,
                         unsigned code, int port)
{
    if (!conn_is_live(conn) || static_cast<int>(pending_offers.size()) >= kChatPendingMax) {
        sock_send(socket, "150 unavailable\n", 16);
        sock_close(socket);
        return;
    }
    DccChatPending p;
    p.id = ++last_pending_id;
    p.conn = conn;
    p.nick = nick.substr(0, kShortText);
    p.address = ip;
    p.offer.ok = true;
    p.offer.ip = ip;
    p.offer.port = port;
    p.server_socket = socket;
    p.reply_code = code;
    pending_offers.push_back(std::move(p));
    post_pending();
}

int dccchat_connect_to_server(const std::string& text, int mode, Connection* conn)
{
    std::string first, second;
    {
        std::size_t i = text.find_first_not_of(' ');
        std::size_t e = i == std::string::npos ? i : text.find(' ', i);
        if (i != std::string::npos)
            first = text.substr(i, e == std::string::npos ? std::string::npos : e - i);
        if (e != std::string::npos) {
            i = text.find_first_not_of(' ', e);
            if (i != std::string::npos)
                second = text.substr(i, text.find(' ', i) - i);
        }
    }
    std::string nick, address;
    if (first.find('.') != std::string::npos) {
        nick = address = first;
    } else if (second.find('.') != std::string::npos) {
        nick = first;
        address = second;
    } else {
        irc_status_echo(conn, static_cast<int>(kColorCtcpText), text_fill_id(1309, {text}));
        return 0;
    }
    int port = dccserver_settings.port;
    const std::size_t colon = address.find(':');
    if (colon != std::string::npos) {
        port = std::atoi(address.c_str() + colon + 1);
        address.resize(colon);
        if (nick.find(':') != std::string::npos)
            nick.resize(nick.find(':'));
    }
    if (port <= 0 || port > 65535) {
        irc_status_echo(conn, static_cast<int>(kColorCtcpText), text_fill_id(1309, {text}));
        return 0;
    }
    DccChat* c = nullptr;
    if (!open_window(c, conn, nick.substr(0, kShortText), false) || !c)
        return 0;
    c->conn = conn;
    c->nick = nick.substr(0, kShortText);
    c->ip = address.substr(0, kShortText);
    c->address = c->ip;
    c->port = static_cast<std::uint16_t>(port);
    c->state = kChatConnectPending;
    c->server_step = 1;
    c->fserve_request = mode == 2;
    show(c, text_load_string(1311));
    show(c, text_fill_id(1313, {c->ip, std::to_string(port)}));
    show(c, text_fill_id(1334, {time_ctime_text(std::time(nullptr))}));
    show(c, text_load_string(1303));
    connect_out(c);
    return 1;
}

// ---- The window manager's calls ----

void dccchat_window_opened(WindowRecord* rec)
{
    DccChat& c = rec->state_slots.get(dcc_chat_slot);
    c.window = rec;
    c.conn = rec->conn;
}

void dccchat_close_window(WindowRecord* rec)
{
    DccChat* c = dccchat_of(rec);
    if (!c)
        return;
    if (!c->ended && c->state != kChatEnded) {
        c->ended = true;
        dccchat_close(c);
    }
    dccchat_close(c);
}

int dccchat_still_live(WindowRecord* rec)
{
    return win_is_record(rec) ? 1 : 0;
}

QWidget* dccchat_window_by_nick(const std::string& nick, CommandCall&)
{
    EventFireContext* ctx = event_current_context();
    if (ctx && ctx->source && ctx->source->dcc_chat) {
        DccChat* c = static_cast<DccChat*>(ctx->source->dcc_chat);
        if (dccchat_is_live(c) && text_equal_nocase(c->nick, nick))
            return hwnd_of(c);
    }
    DccChat* c = dccchat_find_by_nick(nick, -1);
    return c ? hwnd_of(c) : nullptr;
}

// ---- Install ----

void dcc_chat_install()
{
    frame_set_handler(WM_APP_DCCCHAT_CONNECT, on_connect);
    frame_set_handler(WM_APP_DCCCHAT_LISTEN, on_listen);
    frame_set_handler(WM_APP_DCCCHAT_PENDING, on_pending);
    frame_set_handler(WM_APP_DCCCHAT_SOCKET, on_socket);
    tick_second.add_once(tick_id, kTickDccChats, idle_tick);
    dcc_chat_commands_register();
    dcc_chat_window_install();
}

void dcc_chat_uninstall()
{
    for (int m : {WM_APP_DCCCHAT_CONNECT, WM_APP_DCCCHAT_LISTEN, WM_APP_DCCCHAT_PENDING, WM_APP_DCCCHAT_SOCKET})
        frame_set_handler(m, nullptr);
    tick_second.drop(tick_id);
    dcc_chat_window_uninstall();
    pending_offers.clear();
    announced.clear();
}

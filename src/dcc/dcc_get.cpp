// DCC get: the offers that wait for a decision, the choice for a file that
// already exists (resume with a margin, overwrite, refuse), the connection
// (out to the sender, or listening for a passive offer), receiving with
// acknowledgements, and the end. Received names never leave the receive
// folder, and no path of a loaded script or the main settings file is
// written.
#include <algorithm>
#include <cstring>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include <QCoreApplication>
#include <QFileInfo>
#include <QPointer>
#include <QProcess>
#include <QWidget>

#include "core/file_type_rules.h"
#include "core/files.h"
#include "core/ini.h"
#include "core/numbered_texts.h"
#include "core/options.h"
#include "core/text_buffer.h"
#include "core/time_date.h"
#include "dcc/dcc_chat.h"
#include "dcc/dcc_engine.h"
#include "dcc/dcc_server.h"
#include "app/window_open.h"
#include "script/events/event_index.h"
#include "display/second_tick.h"
#include "irc/link/proxy.h"
#include "irc/link/lookups.h"
#include "irc/dispatch/dispatcher.h"
#include "model/colors.h"
#include "model/connection.h"
#include "model/line_buffer.h"
#include "platform/app_messages.h"
#include "platform/sockets.h"
#include "script/events/remote_files.h"
#include "script/exec/script_types.h"
#include "script/stores/alias_files.h"

Signal<void(int offer_id)> dcc_offer_waiting;

namespace {

constexpr std::int64_t kResumeMargin = 8192;
constexpr int kReadsPerTurn = 20;
char read_buffer[65535];

// The offers of a connection that wait for a decision.
struct DccOfferQueue {
    std::vector<DccPendingOffer> offers;
    std::vector<int> announced;  // ids told to the accept dialog
    DccOfferQueue() = default;
    DccOfferQueue(const DccOfferQueue&) = delete;
    DccOfferQueue& operator=(const DccOfferQueue&) = delete;
    ~DccOfferQueue()
    {
        for (DccPendingOffer& p : offers)
            if (p.server_socket >= 0)
                sock_close(p.server_socket);
    }
};

// Answers a DCC server caller whose "120" is not taken and closes its socket.
void answer_server_caller(int& socket, const char* text)
{
    if (socket < 0)
        return;
    sock_send(socket, text, std::strlen(text));
    sock_shutdown(socket, 2);
    sock_close(socket);
    socket = -1;
}
RecordSlot<DccOfferQueue> offer_queue_slot;

// Bytes of an acknowledgement the socket did not take yet.
struct DccAckOut {
    unsigned char bytes[8] = {};
    int length = 0;
};
RecordSlot<DccAckOut> ack_out_slot;

int last_offer_id = 0;
int pending_posted = 0;

DccOfferQueue* queue_of(Connection* conn)
{
    return conn_is_live(conn) ? &conn->state_slots.get(offer_queue_slot) : nullptr;
}

void for_each_queue(const std::function<bool(DccOfferQueue&, Connection*)>& fn)
{
    for (Connection* c = conn_list; c; c = c->next)
        if (DccOfferQueue* q = c->state_slots.find(offer_queue_slot))
            if (fn(*q, c))
                return;
}

bool take_offer(int id, DccPendingOffer& out)
{
    bool found = false;
    for_each_queue([&](DccOfferQueue& q, Connection*) {
        for (auto it = q.offers.begin(); it != q.offers.end(); ++it)
            if (it->id == id) {
                out = *it;
                q.offers.erase(it);
                found = true;
                return true;
            }
        return false;
    });
    return found;
}

void update_progress(DccTransfer* t)
{
    if (t->size > 0) {
        double pc = static_cast<double>(t->position) * 100.0 / static_cast<double>(t->size);
        pc = static_cast<double>(static_cast<long long>(pc));
        if (pc > 99 && t->position < t->size)
            pc = 99;
        t->percent = pc;
    }
    dcc_transfer_progress.fire(t);
}

// Writes the pending acknowledgement; false on a socket error.
bool send_ack(DccTransfer* t)
{
    DccAckOut& out = t->window->state_slots.get(ack_out_slot);
    if (out.length == 0 && t->pending_ack > 0) {
        out.length = dcc_ack_width(t->size);
        dcc_ack_encode(t->pending_ack, out.length, out.bytes);
        t->acked = t->pending_ack;
        t->pending_ack = 0;
    }
    while (out.length > 0) {
        long n = sock_send(t->socket, reinterpret_cast<const char*>(out.bytes), static_cast<std::size_t>(out.length));
        if (n < 0)
            return sock_last_error() == WSAEWOULDBLOCK;
        std::copy(out.bytes + n, out.bytes + out.length, out.bytes);
        out.length -= static_cast<int>(n);
    }
    return true;
}

void start_receiving(DccTransfer* t)
{
    t->state = kDccReceiving;
    t->idle = 0;
    t->start_time = tick_clock();
    t->start_tick = dcc_tick_ms();
    int flags = O_WRONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW;
    if (t->resume <= 0)
        flags |= O_TRUNC;
    t->file_handle = ::open(t->path.c_str(), flags, 0644);
    if (t->file_handle < 0) {
        dccget_finish(t, text_load_string(2914));
        return;
    }
    if (t->resume > 0) {
        // Cut at the resume position: the margin is received again.
        if (::ftruncate(t->file_handle, t->resume) != 0) {
            dccget_finish(t, text_load_string(2917));
            return;
        }
        t->position = t->resume;
    } else {
        t->position = 0;
    }
    dcc_set_status(t, text_load_string(2916));
    if (t->size == 0) {
        dccget_finish(t, std::string());
        return;
    }
    sock_async_select(t->socket, WM_APP_DCCGET_DATA, FD_READ | FD_WRITE | FD_CLOSE);
}

void connect_get(DccTransfer* t)
{
    t->state = kDccSending;
    t->idle = 0;
    Connection* conn = t->conn;
    if (t->port == 0 && t->token != 0) {
        int port = 0;
        int s = dcc_listen_socket(0, &port);
        if (s < 0) {
            dccget_finish(t, text_load_string(2909));
            return;
        }
        t->listen_socket = s;
        sock_async_select(s, WM_APP_DCCGET_LISTEN, FD_ACCEPT);
        std::string name = t->offered_name.find(' ') != std::string::npos ? "\"" + t->offered_name + "\""
                                                                            : t->offered_name;
        t->port = static_cast<std::uint16_t>(port);
        dcc_send_ctcp(conn, t->nick,
                      dcc_send_offer_text(name, conn_is_live(conn) ? conn->local_ip : 0, port,
                                          t->size < 0 ? 0 : t->size, t->token));
        return;
    }
    SockAddr peer;
    if (!sockaddr_from_text(t->address, t->port, peer)) {
        // A DCC server named by its host: connect once the lookup answers.
        if (t->server_phase == 130 && t->window &&
            dns_lookup_request(t->window->hwnd.get(), t->nick, t->address, 0, kDnsGetConnect))
            return;
        dccget_finish(t, text_load_string(2910));
        return;
    }
    if (dcc_proxy_serves(t->address)) {
        t->proxy_key = win_alloc_id();
        proxy_connect(t->address, t->port, kProxyModeConnect, kProxyOwnerDcc, t->proxy_key);
        return;
    }
    int s = dcc_listen_socket(2, nullptr);
    if (s < 0) {
        dccget_finish(t, text_load_string(2909));
        return;
    }
    t->socket = s;
    sock_async_select(s, WM_APP_DCCGET_SOCKET, FD_CONNECT);
    if (sock_connect(s, peer) != 0 && sock_last_error() != WSAEWOULDBLOCK)
        dccget_finish(t, text_load_string(2911));
}

// The existing-file choice: -1 refuse, -2 ask the user, else the resume
// position (0 to write the file anew).
std::int64_t existing_choice(const std::string& path, std::int64_t size, int choice)
{
    if (!file_exists(path, 1))
        return file_exists(path, 2) ? -1 : 0;
    std::uint64_t local = 0;
    const bool can_resume = file_size64(path, local) && (size < 0 || static_cast<std::int64_t>(local) <= size);
    switch (choice) {
    case 2:
        return 0;
    case 1:
        if (!can_resume)
            return -1;
        return static_cast<std::int64_t>(local) >= kResumeMargin
                   ? static_cast<std::int64_t>(local) - kResumeMargin
                   : 0;
    case 0:
        return -2;
    default:
        return -1;
    }
}

}  // namespace

std::string dccget_default_folder()
{
    std::string folder = settings_dir + "download/";
    if (!file_exists(folder, 2)) {
        folder = settings_dir + "downloads/";
        if (!file_exists(folder, 2))
            file_make_dir(folder);
    }
    return folder;
}

int dccget_path_is_protected(const std::string& path)
{
    if (file_same_path(path, main_ini_path))
        return 1;
    for (ScriptFile* f = remote_list; f; f = f->next)
        if (file_same_path(path, f->path))
            return 1;
    for (AliasFile* f = alias_files_head; f; f = f->next)
        if (file_same_path(path, f->path))
            return 1;
    return 0;
}

void dccget_offer(Connection* conn, const std::string& nick, const std::string& peer, const DccOffer& offer,
                  const std::string& folder, bool trusted, int server_socket)
{
    DccOfferQueue* q = queue_of(conn);
    if (!q || static_cast<int>(q->offers.size()) >= kDccPendingMax) {
        answer_server_caller(server_socket, "150 unavailable\n");
        if (q)
            irc_status_echo(conn, static_cast<int>(kColorCtcpText), text_fill_id(1608, {nick}));
        return;
    }
    DccPendingOffer p;
    p.id = ++last_offer_id;
    p.conn = conn;
    p.nick = nick.substr(0, kShortText);
    p.peer = peer.substr(0, kShortText);
    p.offer = offer;
    p.folder = folder;
    p.trusted = trusted;
    p.server_socket = server_socket;
    q->offers.push_back(std::move(p));
    if (!pending_posted) {
        pending_posted = 1;
        post_app_message(WM_APP_DCCGET_PENDING, 0, 0);
    }
}

intptr_t dccget_process_pending(uintptr_t, intptr_t)
{
    pending_posted = 0;
    const int mode = opt(OPT_DCC_SEND_REQUESTS);
    std::vector<int> ids;
    for_each_queue([&](DccOfferQueue& q, Connection*) {
        for (const DccPendingOffer& p : q.offers)
            ids.push_back(p.id);
        return false;
    });
    for (int id : ids) {
        DccPendingOffer* p = dccget_pending(id);
        if (!p)
            continue;
        // Automatic accepts may be limited to trusted senders; the others
        // are asked about or dropped.
        const bool ask = mode == 1 && opt(OPT_DCC_TRUST) && !p->trusted;
        if (ask && !opt(OPT_DCC_ASK_UNTRUSTED)) {
            dccget_refuse(id);
        } else if (mode == 1 && !ask) {
            dccget_accept(id, p->folder);
        } else if (mode == 0 || ask) {
            DccOfferQueue* q = queue_of(p->conn);
            if (q && std::find(q->announced.begin(), q->announced.end(), id) == q->announced.end()) {
                q->announced.push_back(id);
                dcc_offer_waiting.fire(id);
            }
        } else {
            dccget_refuse(id);
        }
    }
    return 0;
}

DccPendingOffer* dccget_pending(int id)
{
    DccPendingOffer* found = nullptr;
    for_each_queue([&](DccOfferQueue& q, Connection*) {
        for (DccPendingOffer& p : q.offers)
            if (p.id == id)
                found = &p;
        return found != nullptr;
    });
    return found;
}

int dccget_pending_count()
{
    int n = 0;
    for_each_queue([&](DccOfferQueue& q, Connection*) {
        n += static_cast<int>(q.offers.size());
        return false;
    });
    return n;
}

void dccget_refuse(int id)
{
    DccPendingOffer p;
    if (take_offer(id, p))
        answer_server_caller(p.server_socket, "151 rejected\n");
}

int dccget_accept(int id, const std::string& folder_given)
{
    DccPendingOffer* pending = dccget_pending(id);
    if (!pending)
        return 0;
    Connection* conn = pending->conn;
    if (!conn_is_live(conn)) {
        dccget_refuse(id);
        return 0;
    }
    const DccOffer offer = pending->offer;
    std::string folder = folder_given.empty() ? dccget_default_folder() : folder_given;
    file_add_trailing_slash(folder);
    const std::string path = folder + offer.file;
    // The name stays inside the folder, whatever it holds.
    if (offer.file.empty() || offer.file.find('/') != std::string::npos || !file_path_is_inside(path, folder)) {
        irc_status_echo(conn, static_cast<int>(kColorCtcpText), text_fill_id(1609, {pending->nick}));
        dccget_refuse(id);
        return 0;
    }
    if (text_equal_nocase(offer.file, "remote.ini") || dccget_path_is_protected(path)) {
        irc_status_echo(conn, static_cast<int>(kColorCtcpText), text_fill_id(2903, {path}));
        dccget_refuse(id);
        return 0;
    }
    const std::int64_t resume = existing_choice(path, offer.size, opt(OPT_DCC_FILE_EXISTS));
    if (resume == -2) {
        DccOfferQueue* q = queue_of(conn);
        if (q && std::find(q->announced.begin(), q->announced.end(), id) == q->announced.end()) {
            q->announced.push_back(id);
            dcc_offer_waiting.fire(id);
        }
        return 0;
    }
    DccPendingOffer p;
    take_offer(id, p);
    if (resume < 0) {
        answer_server_caller(p.server_socket, "151 rejected\n");
        irc_status_echo(conn, static_cast<int>(kColorCtcpText), text_fill_id(1608, {p.nick}));
        return 0;
    }
    DccTransfer* t = dcc_open_transfer(kDccGet, conn, p.nick, offer.file, opt(OPT_DCC_MINIMISE_AUTO_GETS));
    if (!t) {
        answer_server_caller(p.server_socket, "150 unavailable\n");
        return 0;
    }
    t->peer = p.peer;
    t->address = offer.address_text;
    t->folder = folder;
    t->path = path;
    t->offered_name = offer.offered_name;
    t->port = static_cast<std::uint16_t>(offer.port);
    t->token = offer.token;
    t->passive = offer.passive();
    t->size = offer.size;
    t->close_when_done = opt(OPT_DCC_CLOSE_GET_ON_END) != 0;
    t->resume = resume;
    t->state = kDccSending;
    dcc_transfer_opened.fire(t);
    if (p.server_socket >= 0) {
        // A "120" on the own DCC server: the answer names the position and
        // the file comes on the same socket.
        t->server_mode = 1;
        t->socket = p.server_socket;
        t->passive = false;
        t->token = 0;
        dcc_set_status(t, text_load_string(2906));
        if (!dcc_write_server_line(t, "121 " + conn_own_nick(conn) + " " + std::to_string(resume) + "\n")) {
            dccget_finish(t, text_load_string(2919));
            return 1;
        }
        start_receiving(t);
        return 1;
    }
    if (resume > 0) {
        t->state = kDccResumeAsked;
        dcc_set_status(t, text_load_string(2905));
        dcc_send_ctcp(conn, t->nick,
                      dcc_resume_text("RESUME", t->offered_name, t->passive ? 0 : t->port, resume, t->token));
        return 1;
    }
    dcc_set_status(t, text_load_string(2906));
    connect_get(t);
    return 1;
}

int dccget_take_accept(Connection* conn, const std::string& nick, const DccOffer& offer)
{
    DccTransfer* found = nullptr;
    dcc_each_transfer([&](DccTransfer* t) {
        if (!found && t->kind == kDccGet && t->conn == conn && t->state == kDccResumeAsked &&
            t->token == offer.token && text_equal_nocase(t->nick, nick) && offer.size == t->resume &&
            offer.port == (t->passive ? 0 : t->port))
            found = t;
    });
    if (!found)
        return 0;
    connect_get(found);
    return 1;
}

namespace {

// Connected to a peer's DCC server: "130" asks for the file and the answer
// is awaited.
void server_request(DccTransfer* t)
{
    t->server_phase = 131;
    t->idle = 0;
    const std::string own = conn_is_live(t->conn) ? conn_own_nick(t->conn) : std::string("kest");
    sock_async_select(t->socket, WM_APP_DCCGET_SOCKET, FD_READ | FD_CLOSE);
    if (!dcc_write_server_line(t, "130 " + own + " " + t->request_folder + "\\" + t->offered_name + "\n"))
        dccget_finish(t, text_load_string(2912));
}

// The get goes without a result line; the open file-server chat with the
// server's address says the service was not available.
void drop_server_get(DccTransfer* t)
{
    const std::string text = text_fill_id(2913, {t->file});
    dccchat_each([&](DccChat* c) {
        if (c->state == kChatOpen && c->ip == t->address && c->window && c->window->hwnd)
            echo_line(c->window->hwnd.get(), text, kColorCtcpText);
    });
    dcc_transfer_drop(t);
}

// "131 nick size" from the server: the file's place is chosen as for any
// offer and "132 nick position" starts the data.
void server_reply(DccTransfer* t)
{
    DccServerRequest r;
    const int got = dcc_read_server_reply(t, r);
    if (got == 0)
        return;
    if (got > 0)
        t->server_reply = static_cast<unsigned>(r.number);
    std::int64_t size = -1;
    if (got < 0 || r.number != 131 || !dcc_parse_size(r.rest.substr(0, r.rest.find(' ')), size)) {
        drop_server_get(t);
        return;
    }
    t->size = size;
    std::string folder;
    dcc_folder_for_file(t->file, folder, 0, nullptr);
    if (folder.empty())
        folder = dccget_default_folder();
    file_add_trailing_slash(folder);
    const std::string path = folder + t->file;
    if (!file_path_is_inside(path, folder) || dccget_path_is_protected(path) ||
        text_equal_nocase(t->file, "remote.ini")) {
        dccget_finish(t, text_load_string(2914));
        return;
    }
    // Nobody is asked on this path: an existing file the user did not say
    // to overwrite is resumed when it can be, else kept.
    int choice = opt(OPT_DCC_FILE_EXISTS);
    if (choice == 0)
        choice = 1;
    const std::int64_t resume = existing_choice(path, size, choice);
    if (resume < 0) {
        dccget_finish(t, text_load_string(2914));
        return;
    }
    t->folder = folder;
    t->path = path;
    t->resume = resume;
    t->server_phase = 0;
    const std::string own = conn_is_live(t->conn) ? conn_own_nick(t->conn) : std::string("kest");
    if (!dcc_write_server_line(t, "132 " + own + " " + std::to_string(resume) + "\n")) {
        dccget_finish(t, text_load_string(2919));
        return;
    }
    start_receiving(t);
}

}  // namespace

int dccget_from_server(Connection* conn, const std::string& nick, const std::string& address, int port,
                       const std::string& folder, const std::string& name)
{
    std::string file = name;
    if (!dccserver_check_file_name(file) || port <= 0 || port > 65535)
        return 0;
    DccTransfer* t = dcc_open_transfer(kDccGet, conn, nick, file, opt(OPT_DCC_MINIMISE_AUTO_GETS));
    if (!t)
        return 0;
    t->peer = address;
    t->address = address;
    t->port = static_cast<std::uint16_t>(port);
    t->offered_name = file;
    t->request_folder = folder;
    t->server_mode = 2;
    t->server_phase = 130;
    t->close_when_done = opt(OPT_DCC_CLOSE_GET_ON_END) != 0;
    t->state = kDccSending;
    dcc_transfer_opened.fire(t);
    dcc_set_status(t, text_load_string(2906));
    connect_get(t);
    return 1;
}

void dccget_connect_resolved(DccTransfer* t, const std::string& address)
{
    if (!t || t->kind != kDccGet || t->state != kDccSending || t->server_phase != 130 || t->socket >= 0)
        return;
    SockAddr probe;
    if (address.empty() || !sockaddr_from_text(address, t->port, probe)) {
        dccget_finish(t, text_load_string(2910));
        return;
    }
    t->address = address;
    connect_get(t);
}

void dccget_proxy_connected(DccTransfer* t, int socket)
{
    t->socket = socket;
    if (t->server_phase == 130) {
        server_request(t);
        return;
    }
    start_receiving(t);
}

intptr_t dccget_on_connect(uintptr_t s, intptr_t word)
{
    DccTransfer* t = dcc_transfer_by_socket(static_cast<int>(s));
    if (!t || t->kind != kDccGet || t->state != kDccSending)
        return 0;
    if (t->server_phase == 131) {
        server_reply(t);
        return 0;
    }
    if (WSAGETSELECTERROR(word)) {
        dccget_finish(t, text_load_string(2912));
        return 0;
    }
    if (t->server_phase == 130) {
        server_request(t);
        return 0;
    }
    start_receiving(t);
    return 0;
}

intptr_t dccget_on_listen(uintptr_t s, intptr_t)
{
    DccTransfer* t = dcc_transfer_by_socket(static_cast<int>(s));
    if (!t || t->kind != kDccGet || t->listen_socket != static_cast<int>(s))
        return 0;
    SockAddr peer;
    int c = sock_accept(t->listen_socket, &peer);
    if (c < 0) {
        if (sock_last_error() != WSAEWOULDBLOCK)
            dccget_finish(t, text_load_string(2925));
        return 0;
    }
    sock_close(t->listen_socket);
    t->listen_socket = -1;
    t->socket = c;
    t->address = sockaddr_ip_text(peer);
    start_receiving(t);
    return 0;
}

namespace {

// Reads what came; `closing` after the peer closed.
void receive(DccTransfer* t, bool closing)
{
    t->idle = 0;
    for (int n = 0; t->state == kDccReceiving; ++n) {
        if (n == kReadsPerTurn) {
            post_app_message(WM_APP_DCCGET_DATA, static_cast<uintptr_t>(t->socket), FD_READ);
            return;
        }
        long got = sock_recv(t->socket, read_buffer, sizeof read_buffer);
        if (got < 0) {
            if (sock_last_error() == WSAEWOULDBLOCK) {
                if (closing)
                    dccget_finish(t, std::string());
                return;
            }
            dccget_finish(t, text_load_string(2919));
            return;
        }
        if (got == 0) {
            // A clean close by the sender: the only success without a size.
            t->resume_step = -1;
            dccget_finish(t, std::string());
            return;
        }
        std::int64_t take = got;
        if (t->size >= 0)
            take = std::min<std::int64_t>(take, t->size - t->position);
        const char* p = read_buffer;
        std::int64_t left = take;
        while (left > 0) {
            ssize_t w = ::pwrite(t->file_handle, p, static_cast<std::size_t>(left), t->position);
            if (w <= 0) {
                dccget_finish(t, text_load_string(2917));
                return;
            }
            p += w;
            left -= w;
            t->position += w;
            t->second_bytes += w;
        }
        t->pending_ack = t->position;
        update_progress(t);
        if (!send_ack(t)) {
            dccget_finish(t, text_load_string(2919));
            return;
        }
        if (t->size >= 0 && t->position >= t->size) {
            dccget_finish(t, std::string());
            return;
        }
    }
}

}  // namespace

intptr_t dccget_on_data(uintptr_t s, intptr_t word)
{
    DccTransfer* t = dcc_transfer_by_socket(static_cast<int>(s));
    if (!t || t->kind != kDccGet || t->state != kDccReceiving || t->socket != static_cast<int>(s))
        return 0;
    switch (WSAGETSELECTEVENT(word)) {
    case FD_READ:
        receive(t, false);
        break;
    case FD_WRITE:
        if (!send_ack(t))
            dccget_finish(t, text_load_string(2919));
        break;
    case FD_CLOSE:
        // An abortive close is no clean end, even for an offer without a size.
        if (WSAGETSELECTERROR(word))
            dccget_finish(t, text_load_string(2919));
        else
            receive(t, true);
        break;
    default:
        break;
    }
    return 0;
}

void dccget_tick()
{
    const int timeout = opt(OPT_DCC_GET_CHAT_TIMEOUT);
    dcc_each_transfer([&](DccTransfer* t) {
        if (t->kind != kDccGet || t->state < kDccSending || t->state > kDccReceiving)
            return;
        t->second_bytes = 0;
        ++t->idle;
        if (timeout > 0 && t->idle >= timeout) {
            t->state = kDccTimedOut;
            dccget_finish(t, text_load_string(4105));
            return;
        }
        ++t->seconds;
        std::rotate(t->speed.begin(), t->speed.begin() + 1, t->speed.end());
        t->speed.back() = {dcc_transfer_moved(t), dcc_tick_ms()};
        dcc_transfer_progress.fire(t);
    });
}

// The after-receive action of a file's rule: a text that begins with '/'
// runs as a command line with the path as its parameters; any other text
// names a program that gets the path as its one argument, started directly
// and never through a shell.
static void dccget_after_receive(QWidget* window, Connection* conn, const std::string& action,
                                 const std::string& path)
{
    // The lookup gives a program as an absolute path and a command with a
    // leading '/': a text that names no file is the command.
    if (action[0] == '/' && !QFileInfo(QString::fromStdString(action)).isFile()) {
        script_exec_line(window, action.c_str(), path.c_str(), 1, nullptr, nullptr, conn_is_live(conn) ? conn : nullptr);
        return;
    }
    if (!QProcess::startDetached(QString::fromStdString(action), {QString::fromStdString(path)},
                                 QCoreApplication::applicationDirPath())) {
        if (window)
            echo_line(window, text_fill_id(2924, {action}), kColorCtcpText);
    }
}

void dccget_finish(DccTransfer* t, const std::string& status)
{
    if (!t || t->ended)
        return;
    t->ended = true;
    const bool receiving = t->state == kDccReceiving;
    const bool clean_close = t->resume_step == -1;
    t->resume_step = 0;
    t->last_time = std::max<std::int64_t>(tick_clock(), t->start_time + 1);
    // Without a size only a clean close by the sender counts as received.
    if (receiving && status.empty() && (t->size >= 0 ? t->position >= t->size : clean_close)) {
        t->state = kDccDone;
        t->done = true;
        t->percent = 100;
    } else {
        t->failed = true;
    }
    t->average_speed = dcc_transfer_moved(t) / std::max<std::int64_t>(1, t->last_time - t->start_time);
    dcc_transfer_close(t);
    const bool timed_out = t->state == kDccTimedOut;
    if (!t->done && !timed_out)
        t->state = kDccClosed;
    if (!dcc_fire_end_event(t, t->done ? "FILERCVD" : "GETFAIL", t->done ? kEvFileRcvd : kEvGetFail))
        return;
    std::string detail = " (" + time_duration_short("", static_cast<double>(t->last_time - t->start_time), 0) +
                         " " + std::to_string(t->average_speed) + "/Sec)";
    std::string line;
    std::string window_status;
    if (t->done) {
        line = text_fill_id(2923, {t->file, t->nick}) + detail;
        window_status = text_load_string(2922);
    } else if (timed_out) {
        line = text_fill_id(4104, {t->file, t->nick});
        window_status = text_load_string(4105);
    } else if (receiving) {
        line = text_fill_id(2920, {t->file, t->nick}) + detail;
        window_status = status.empty() ? text_load_string(2919) : status;
    } else {
        line = text_fill_id(2921, {t->file, t->nick});
        window_status = status.empty() ? text_load_string(2912) : status;
    }
    std::string action;
    if (t->done)
        dcc_folder_for_file(t->file, action, 1, nullptr);
    const std::string path = t->path;
    Connection* conn = t->conn;
    QPointer<QWidget> window = dcc_print_window(t);
    dcc_print_result(t, line);
    dcc_set_status(t, window_status);
    dcc_transfer_ended.fire(t);
    if (!action.empty())
        dccget_after_receive(window, conn, action, path);
}

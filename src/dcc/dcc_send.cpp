// DCC send: offers one local file to a nick, streams it over a direct TCP
// link in blocks, and counts the receiver's acknowledgements. A send is done
// only once every byte was acknowledged.
#include <algorithm>
#include <fcntl.h>
#include <unistd.h>

#include "core/files.h"
#include "core/numbered_texts.h"
#include "core/options.h"
#include "core/text_buffer.h"
#include "core/time_date.h"
#include "dcc/dcc_engine.h"
#include "dcc/dcc_server.h"
#include "script/events/event_index.h"
#include "display/second_tick.h"
#include "irc/dispatch/dispatcher.h"
#include "irc/link/net_settings.h"
#include "irc/link/proxy.h"
#include "irc/link/lookups.h"
#include "irc/link/receive.h"
#include "irc/link/send_queue.h"
#include "irc/numerics/isupport.h"
#include "model/colors.h"
#include "model/connection.h"
#include "platform/app_messages.h"
#include "platform/sockets.h"
#include "app/window_open.h"

namespace {

// One block buffer for every send: all of them run on this thread.
char block_buffer[65536];

// Blocks written before the pump yields to the event loop.
constexpr int kBlocksPerTurn = 20;

void update_progress(DccTransfer* t)
{
    if (t->size > 0) {
        double pc = static_cast<double>(t->position) * 100.0 / static_cast<double>(t->size);
        pc = pc < 0 ? 0 : static_cast<double>(static_cast<long long>(pc));
        if (pc > 99 && t->position < t->size)
            pc = 99;
        t->percent = pc;
        t->acked_percent = static_cast<double>(t->acked) * 100.0 / static_cast<double>(t->size);
    }
    dcc_transfer_progress.fire(t);
}

// Writes the offer lines: the notice, then the CTCP offer.
void announce(DccTransfer* t, std::uint32_t address)
{
    Connection* conn = t->conn;
    dcc_set_status(t, text_load_string(5009));
    irc_send_line("NOTICE " + t->nick + " :DCC Send " + t->file + " (" + conn->local_ip_text + ")\n", kLineAutoReply,
                  conn);
    std::string name = dcc_offer_name(t->file, opt(OPT_DCC_SPACES_TO_UNDERSCORES) != 0);
    dcc_send_ctcp(conn, t->nick, dcc_send_offer_text(name, address, t->port, t->size, t->token));
    dcc_set_status(t, text_load_string(5010));
}

void start_sending(DccTransfer* t)
{
    t->state = kDccSending;
    t->idle = 0;
    t->start_time = tick_clock();
    t->start_tick = dcc_tick_ms();
    t->file_handle = ::open(t->path.c_str(), O_RDONLY | O_CLOEXEC);
    if (t->file_handle < 0) {
        dccsend_finish(t, text_load_string(5003));
        return;
    }
    dcc_set_status(t, text_load_string(5012));
    sock_set_keepalive(t->socket);
    if (t->resume > 0) {
        t->resume = std::min(t->resume, t->size);
        t->position = t->acked = t->resume;
        dcc_set_status(t, text_load_string(5013));
    } else {
        dcc_set_status(t, text_load_string(5014));
    }
    if (t->size == 0 || t->position >= t->size) {
        t->acked = t->size;
        dccsend_finish(t, std::string());
        return;
    }
    sock_async_select(t->socket, WM_APP_DCCSEND_DATA, FD_READ | FD_WRITE | FD_CLOSE);
}

void pump(DccTransfer* t)
{
    // A send held back by the speed limit waits for its re-poll.
    if (sock_defer_poll(WM_APP_DCCSEND_DATA, t->socket, FD_WRITE, 1))
        return;
    t->idle = 0;
    for (int n = 0; t->state == kDccSending; ++n) {
        if (n == kBlocksPerTurn) {
            post_app_message(WM_APP_DCCSEND_DATA, static_cast<uintptr_t>(t->socket), FD_WRITE);
            return;
        }
        int block = dccsend_block_size(opt(OPT_DCC_PACKET_SIZE));
        if (t->speed_limited) {
            block = dccsend_block_for_cps(block);
            if (block == 0) {
                if (sock_defer_poll(WM_APP_DCCSEND_DATA, t->socket, FD_WRITE, 0))
                    return;
                block = 512;
            }
        }
        block = std::clamp(block, 512, 65536);
        std::int64_t left = t->size - t->position;
        if (left <= 0)
            return;
        std::size_t want = static_cast<std::size_t>(std::min<std::int64_t>(left, block));
        ssize_t got = ::pread(t->file_handle, block_buffer, want, t->position);
        if (got < 0) {
            dccsend_finish(t, text_load_string(5015));
            return;
        }
        if (got == 0)
            return;
        long sent = sock_send(t->socket, block_buffer, static_cast<std::size_t>(got));
        if (sent < 0) {
            if (sock_last_error() != WSAEWOULDBLOCK)
                dccsend_finish(t, text_load_string(5018));
            return;
        }
        t->position += sent;
        t->second_bytes += sent;
        update_progress(t);
        if (!opt(OPT_DCC_FAST_SEND)) {
            post_app_message(WM_APP_DCCSEND_DATA, static_cast<uintptr_t>(t->socket), FD_WRITE);
            return;
        }
    }
}

// Reads acknowledgement words; ends the send once all bytes are
// acknowledged or the receiver closed.
void read_acks(DccTransfer* t, DccAckReader& reader, bool closing)
{
    char buf[4096];
    for (;;) {
        long n = sock_recv(t->socket, buf, sizeof buf);
        if (n < 0) {
            if (sock_last_error() == WSAEWOULDBLOCK) {
                if (closing)
                    dccsend_finish(t, std::string());
                else if (t->position < t->size)
                    pump(t);
                return;
            }
            dccsend_finish(t, text_load_string(5018));
            return;
        }
        if (n == 0) {
            dccsend_finish(t, std::string());
            return;
        }
        t->idle = 0;
        std::int64_t word = t->acked;
        if (reader.feed(buf, static_cast<std::size_t>(n), word) && word > t->acked) {
            t->acked = std::min(word, t->size);
            if (t->acked >= t->size) {
                dccsend_finish(t, std::string());
                return;
            }
            update_progress(t);
        }
    }
}

// Acknowledgement readers by socket: a word split across reads is kept in
// the reader until its last byte comes.
RecordSlot<DccAckReader> ack_reader_slot;

DccAckReader& reader_of(DccTransfer* t)
{
    DccAckReader& r = t->window->state_slots.get(ack_reader_slot);
    r.width = dcc_ack_width(t->size);
    return r;
}

void connect_out(DccTransfer* t)
{
    t->state = kDccWaiting;
    t->idle = 0;
    if (dcc_proxy_serves(t->address)) {
        dcc_set_status(t, text_load_string(5006));
        t->proxy_key = win_alloc_id();
        proxy_connect(t->address, t->port, kProxyModeConnect, kProxyOwnerDcc, t->proxy_key);
        return;
    }
    SockAddr peer;
    if (!sockaddr_from_text(t->address, t->port, peer)) {
        // A DCC server named by its host: connect once the lookup answers.
        if (t->server_phase == 1 && t->window &&
            dns_lookup_request(t->window->hwnd.get(), t->nick, t->address, 0, kDnsSendConnect))
            return;
        dccsend_finish(t, text_load_string(5005));
        return;
    }
    int s = dcc_listen_socket(2, nullptr);
    if (s < 0) {
        dccsend_finish(t, text_load_string(5007));
        return;
    }
    t->socket = s;
    sock_async_select(s, WM_APP_DCCSEND_SOCKET, FD_CONNECT);
    if (sock_connect(s, peer) != 0 && sock_last_error() != WSAEWOULDBLOCK)
        dccsend_finish(t, text_load_string(5008));
}

std::string own_nick(DccTransfer* t)
{
    return conn_is_live(t->conn) ? conn_own_nick(t->conn) : std::string("kest");
}

// Connected to a peer's DCC server: the "120" request goes out and the
// answer is awaited.
void server_request(DccTransfer* t)
{
    t->server_phase = 2;
    t->idle = 0;
    sock_async_select(t->socket, WM_APP_DCCSEND_SOCKET, FD_READ | FD_CLOSE);
    if (!dcc_write_server_line(t, "120 " + own_nick(t) + " " + std::to_string(t->size) + " " + t->file + "\n"))
        dccsend_finish(t, text_load_string(5018));
}

// A send the own DCC server made for a "130" that was not taken up: it goes
// without a word, with its window.
void drop_server_send(DccTransfer* t)
{
    dcc_transfer_drop(t);
}

// The answer of a DCC server: "121 nick position" to our "120", or the
// caller's "132 nick position" after our "131". Sending starts at the
// position; any other line ends the send.
void server_reply(DccTransfer* t)
{
    DccServerRequest r;
    const int got = dcc_read_server_reply(t, r);
    if (got == 0)
        return;
    const bool caller = t->server_phase == 3;
    if (got > 0)
        t->server_reply = static_cast<unsigned>(r.number);
    if (got < 0 || r.number != (caller ? 132 : 121)) {
        if (caller)
            drop_server_send(t);
        else
            dccsend_finish(t, std::string());
        return;
    }
    std::int64_t position = 0;
    const std::string word = r.rest.substr(0, r.rest.find(' '));
    if (!dcc_parse_size(word, position))
        position = 0;
    if (!caller)
        dcc_rename_transfer(t, r.nick);
    t->server_phase = 0;
    t->resume = position;
    start_sending(t);
}

}  // namespace

void dccsend_connect_resolved(DccTransfer* t, const std::string& address)
{
    if (!t || t->kind != kDccSend || t->state != kDccWaiting || t->server_phase != 1 || t->socket >= 0)
        return;
    SockAddr probe;
    if (address.empty() || !sockaddr_from_text(address, t->port, probe)) {
        dccsend_finish(t, text_load_string(5005));
        return;
    }
    t->address = address;
    connect_out(t);
}

int dccsend_limit_reached()
{
    const int limit = opt(OPT_DCC_MAX_SENDS);
    int running = 0;
    dcc_each_transfer([&](DccTransfer* t) {
        if (t->kind == kDccSend && t->automatic && (t->state == kDccWaiting || t->state == kDccSending))
            ++running;
    });
    return limit > 0 && running >= limit ? 1 : 0;
}

int dccsend_server_target(const std::string& text, std::string& nick, std::string& address, int& port)
{
    const std::size_t i = text.find_first_not_of(' ');
    if (i == std::string::npos)
        return 0;
    const std::size_t e = text.find(' ', i);
    std::string first = text.substr(i, e == std::string::npos ? std::string::npos : e - i);
    std::string second;
    if (e != std::string::npos) {
        const std::size_t j = text.find_first_not_of(' ', e);
        if (j != std::string::npos)
            second = text.substr(j, text.find(' ', j) - j);
    }
    if (first.find('.') != std::string::npos) {
        address = first;
        nick = second.empty() ? first : second;
    } else if (second.find('.') != std::string::npos) {
        address = second;
        nick = first;
    } else {
        return 0;
    }
    port = 59;
    const std::size_t colon = address.find(':');
    if (colon != std::string::npos) {
        const std::string digits = address.substr(colon + 1);
        if (digits.empty() || digits.size() > 5 || digits.find_first_not_of("0123456789") != std::string::npos)
            return 0;
        port = std::atoi(digits.c_str());
        address.resize(colon);
        if (nick.find(':') != std::string::npos)
            nick.resize(nick.find(':'));
    }
    if (address.empty() || address.size() > kShortText || port <= 0 || port > 65535 || nick.empty())
        return 0;
    nick = nick.substr(0, kShortText);
    return 1;
}

int dccsend_from_server(Connection* conn, const std::string& nick, const std::string& address,
                        const std::string& path, int socket, int port)
{
    std::uint64_t size = 0;
    if (!file_exists(path, 1) || !file_size64(path, size) || size > static_cast<std::uint64_t>(INT64_MAX))
        return 0;
    const std::size_t slash = path.rfind('/');
    DccTransfer* t = dcc_open_transfer(kDccSend, conn, nick, path.substr(slash + 1), opt(OPT_DCC_MINIMISE_AUTO_GETS));
    if (!t)
        return 0;
    t->folder = path.substr(0, slash + 1);
    t->path = path;
    t->size = static_cast<std::int64_t>(size);
    t->automatic = true;
    t->speed_limited = true;
    t->address = address;
    t->peer = address;
    t->port = static_cast<std::uint16_t>(port);
    t->server_mode = 2;
    t->server_phase = 3;
    t->state = kDccWaiting;
    t->socket = socket;
    dcc_transfer_opened.fire(t);
    dcc_set_status(t, text_load_string(5010));
    sock_async_select(socket, WM_APP_DCCSEND_SOCKET, FD_READ | FD_CLOSE);
    if (!dcc_write_server_line(t, "131 " + own_nick(t) + " " + std::to_string(t->size) + "\n")) {
        drop_server_send(t);
        return 1;
    }
    return 1;
}

int dccsend_block_size(int packet_size)
{
    int b = 512;
    while (b < packet_size && b < 65536)
        b <<= 1;
    return b;
}

int dccsend_block_for_cps(int block)
{
    const std::int64_t limit = opt(OPT_DCC_MAX_SEND_RATE);
    if (limit <= 0)
        return block;
    std::int64_t moved = 0;
    std::int64_t running = 0;
    dcc_each_transfer([&](DccTransfer* s) {
        if (s->kind == kDccSend && (s->state == kDccWaiting || s->state == kDccSending)) {
            moved += s->second_bytes;
            ++running;
        }
    });
    if (limit < moved)
        return 0;
    const std::int64_t share = (limit - moved) / std::max<std::int64_t>(running, 1);
    if (share < block)
        return static_cast<int>(std::max<std::int64_t>(share, 512));
    return block;
}

int dccsend_start(const DccSendRequest& r)
{
    Connection* conn = r.conn;
    std::string nick = r.nick.substr(0, r.nick.find(','));
    if (nick.empty() || r.path.empty() || isupport_is_chantype(nick.c_str(), conn))
        return 0;
    // A target with a dot is a peer's DCC server: "address[:port]" or
    // "nick address[:port]".
    std::string server_address;
    int server_port = 0;
    const bool to_server = nick.find('.') != std::string::npos;
    if (to_server) {
        std::string server_nick;
        if (!dccsend_server_target(nick, server_nick, server_address, server_port)) {
            irc_status_echo(conn, static_cast<int>(kColorCtcpText), text_fill_id(1309, {nick}));
            return 0;
        }
        nick = server_nick;
    } else if (!conn_is_connected(conn) || !conn_has_local_ip(conn)) {
        irc_status_echo(conn, static_cast<int>(kColorCtcpText), text_load_string(2227));
        return 0;
    }
    std::string path = r.path;
    std::size_t slash = path.rfind('/');
    std::string folder = slash == std::string::npos ? std::string("./") : path.substr(0, slash + 1);
    std::string file = slash == std::string::npos ? path : path.substr(slash + 1);
    std::uint64_t size = 0;
    if (file.empty() || !file_exists(path, 1) || !file_size64(path, size) ||
        size > static_cast<std::uint64_t>(INT64_MAX)) {
        irc_status_echo(conn, static_cast<int>(kColorCtcpText),
                        text_fill_id(5002, {file, nick, text_load_string(5003)}));
        return 0;
    }
    DccTransfer* t = dcc_open_transfer(kDccSend, conn, nick, file, r.minimised);
    if (!t)
        return 0;
    t->folder = folder;
    t->path = path;
    t->size = static_cast<std::int64_t>(size);
    t->automatic = r.automatic;
    t->speed_limited = r.speed_limited;
    t->close_when_done = r.close_when_done;
    t->passive = r.passive;
    t->address = text_load_string(5001);
    t->state = kDccWaiting;
    dcc_transfer_opened.fire(t);
    dcc_set_status(t, text_load_string(5004));

    if (to_server) {
        t->address = server_address;
        t->peer = server_address;
        t->port = static_cast<std::uint16_t>(server_port);
        t->passive = false;
        t->server_mode = 1;
        t->server_phase = 1;
        connect_out(t);
        return t->ended ? 0 : 1;
    }
    if (t->passive) {
        t->port = 0;
        t->token = win_alloc_id();
        announce(t, 4294967295u);
        return 1;
    }
    if (dcc_proxy_serves(std::string())) {
        // The proxy listens for the receiver; the offer names its address.
        t->proxy_key = win_alloc_id();
        proxy_connect("0.0.0.0", 0, kProxyModeBind, kProxyOwnerDcc, t->proxy_key);
        return 1;
    }
    int port = 0;
    int s = dcc_listen_socket(0, &port);
    if (s < 0) {
        dccsend_finish(t, text_load_string(5007));
        return 0;
    }
    t->listen_socket = s;
    t->port = static_cast<std::uint16_t>(port);
    sock_async_select(s, WM_APP_DCCSEND_LISTEN, FD_ACCEPT);
    announce(t, conn->local_ip);
    return 1;
}

void dccsend_proxy_bound(DccTransfer* t, std::uint32_t address, int port)
{
    t->port = static_cast<std::uint16_t>(port);
    announce(t, address);
}

void dccsend_proxy_connected(DccTransfer* t, int socket)
{
    t->socket = socket;
    if (t->address == text_load_string(5001))
        t->address = proxy_settings.host;
    if (t->server_phase == 1) {
        server_request(t);
        return;
    }
    start_sending(t);
}

int dccsend_take_passive_reply(Connection* conn, const std::string& nick, const DccOffer& offer)
{
    if (offer.token == 0 || offer.port == 0)
        return 0;
    DccTransfer* found = nullptr;
    dcc_each_transfer([&](DccTransfer* t) {
        if (!found && t->kind == kDccSend && t->conn == conn && t->state == kDccWaiting && t->port == 0 &&
            t->token == offer.token && t->socket < 0 && text_equal_nocase(t->nick, nick))
            found = t;
    });
    if (!found)
        return 0;
    found->address = offer.address_text;
    found->port = static_cast<std::uint16_t>(offer.port);
    connect_out(found);
    return 1;
}

int dccsend_resume(Connection* conn, const std::string& nick, const DccOffer& offer)
{
    DccTransfer* found = nullptr;
    dcc_each_transfer([&](DccTransfer* t) {
        if (!found && t->kind == kDccSend && t->conn == conn && t->state == kDccWaiting && t->socket < 0 &&
            t->port == offer.port && t->token == offer.token && text_equal_nocase(t->nick, nick))
            found = t;
    });
    if (!found || offer.size < 0)
        return 0;
    found->resume = std::min(offer.size, found->size);
    std::string name = found->file;
    if (opt(OPT_DCC_SPACES_TO_UNDERSCORES))
        std::replace(name.begin(), name.end(), ' ', '_');
    dcc_send_ctcp(conn, found->nick, dcc_resume_text("ACCEPT", name, found->port, offer.size, found->token));
    return 1;
}

intptr_t dccsend_on_listen(uintptr_t s, intptr_t)
{
    DccTransfer* t = dcc_transfer_by_socket(static_cast<int>(s));
    if (!t || t->listen_socket != static_cast<int>(s) || t->kind != kDccSend)
        return 0;
    SockAddr peer;
    int c = sock_accept(t->listen_socket, &peer);
    if (c < 0) {
        if (sock_last_error() != WSAEWOULDBLOCK)
            dccsend_finish(t, text_load_string(5026));
        return 0;
    }
    sock_close(t->listen_socket);
    t->listen_socket = -1;
    t->socket = c;
    t->address = sockaddr_ip_text(peer);
    start_sending(t);
    return 0;
}

intptr_t dccsend_on_connect(uintptr_t s, intptr_t word)
{
    DccTransfer* t = dcc_transfer_by_socket(static_cast<int>(s));
    if (!t || t->kind != kDccSend || t->state != kDccWaiting)
        return 0;
    if (t->server_phase == 2 || t->server_phase == 3) {
        server_reply(t);
        return 0;
    }
    if (WSAGETSELECTERROR(word)) {
        dccsend_finish(t, text_load_string(5008));
        return 0;
    }
    if (t->server_phase == 1) {
        server_request(t);
        return 0;
    }
    start_sending(t);
    return 0;
}

intptr_t dccsend_on_data(uintptr_t s, intptr_t word)
{
    DccTransfer* t = dcc_transfer_by_socket(static_cast<int>(s));
    if (!t || t->kind != kDccSend || t->state != kDccSending || t->socket != static_cast<int>(s))
        return 0;
    switch (WSAGETSELECTEVENT(word)) {
    case FD_WRITE:
        pump(t);
        break;
    case FD_READ:
        read_acks(t, reader_of(t), false);
        break;
    case FD_CLOSE:
        read_acks(t, reader_of(t), true);
        break;
    default:
        break;
    }
    return 0;
}

void dccsend_tick()
{
    const int timeout = opt(OPT_DCC_SEND_TIMEOUT);
    dcc_each_transfer([&](DccTransfer* t) {
        if (t->kind != kDccSend || (t->state != kDccWaiting && t->state != kDccSending))
            return;
        t->second_bytes = 0;
        ++t->idle;
        if (timeout > 0 && t->idle >= timeout) {
            t->state = kDccTimedOut;
            dccsend_finish(t, text_load_string(4103));
            return;
        }
        ++t->seconds;
        std::rotate(t->speed.begin(), t->speed.begin() + 1, t->speed.end());
        t->speed.back() = {dcc_transfer_moved(t), dcc_tick_ms()};
        dcc_transfer_progress.fire(t);
    });
}

void dccsend_finish(DccTransfer* t, const std::string& status)
{
    if (!t || t->ended)
        return;
    t->ended = true;
    const bool sending = t->state == kDccSending;
    t->last_time = std::max<std::int64_t>(tick_clock(), t->start_time + 1);
    if (sending && t->acked >= t->size) {
        t->state = kDccDone;
        t->done = true;
        t->percent = 100;
    } else {
        t->failed = true;
    }
    if (t->size >= 0)
        t->average_speed = dcc_transfer_moved(t) / std::max<std::int64_t>(1, t->last_time - t->start_time);
    dcc_transfer_close(t);
    const bool timed_out = t->state == kDccTimedOut;
    if (t->state != kDccDone && t->state != kDccTimedOut)
        t->state = kDccClosed;
    if (!dcc_fire_end_event(t, t->done ? "FILESENT" : "SENDFAIL", t->done ? kEvFileSent : kEvSendFail))
        return;
    std::string detail = " (" + time_duration_short("", static_cast<double>(t->last_time - t->start_time), 0) + " " +
                         std::to_string(t->average_speed) + "/Sec)";
    std::string line;
    std::string window_status;
    if (t->done) {
        line = text_fill_id(5017, {t->file, t->nick}) + detail;
        window_status = text_load_string(5016);
    } else if (t->server_reply == 150 || t->server_reply == 151) {
        const bool busy = t->server_reply == 150;
        line = text_fill_id(busy ? 5021 : 5023, {t->file, t->nick});
        window_status = text_load_string(busy ? 5020 : 5022);
    } else if (timed_out) {
        line = text_fill_id(4102, {t->file, t->nick});
        window_status = text_load_string(4103);
    } else if (sending) {
        line = text_fill_id(5019, {t->file, t->nick}) + detail;
        window_status = status.empty() ? text_load_string(5018) : status;
    } else {
        line = text_fill_id(5025, {t->file, t->nick});
        window_status = status.empty() ? text_load_string(5024) : status;
    }
    dcc_print_result(t, line);
    dcc_set_status(t, window_status);
    dcc_transfer_ended.fire(t);
}

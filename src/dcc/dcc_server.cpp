// The DCC server: the listener, the one pending caller with its countdown,
// the request line and its refusals, the hand-over to the chat sessions,
// the settings and the server word of /dcc.
#include "dcc/dcc_server.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include <QWidget>

#include "core/files.h"
#include "core/ini.h"
#include "core/main_settings.h"
#include "core/numbered_texts.h"
#include "core/options.h"
#include "core/text_buffer.h"
#include "dcc/dcc_chat.h"
#include "core/file_type_rules.h"
#include "dcc/dcc_engine.h"
#include "dcc/dcc_offers.h"
#include "script/events/event_fire.h"
#include "script/events/event_index.h"
#include "dcc/dcc_wire.h"
#include "display/second_tick.h"
#include "irc/dispatch/dispatcher.h"
#include "irc/lists/ignore_list.h"
#include "model/colors.h"
#include "model/connection.h"
#include "platform/app_messages.h"
#include "platform/sockets.h"
#include "script/exec/script_types.h"

DccServerSettings dccserver_settings;

namespace {

int listener = -1;
int caller = -1;
std::string caller_ip;
int countdown = 0;
int tick_id = 0;

void answer(int s, const char* text)
{
    sock_send(s, text, std::strlen(text));
}

void drop_caller()
{
    if (caller >= 0) {
        sock_shutdown(caller, 2);
        sock_close(caller);
        caller = -1;
    }
    caller_ip.clear();
    countdown = 0;
}

void watch_listener()
{
    if (listener >= 0)
        sock_async_select(listener, WM_APP_DCCSERVER_ACCEPT, FD_ACCEPT);
}

// Answers and closes the caller, then listens again.
void refuse(const char* text)
{
    if (caller >= 0 && text)
        answer(caller, text);
    dccserver_stop(1);
}

std::string lower(std::string s)
{
    for (char& c : s)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return s;
}

// The caller's socket leaves the pending slot for a record; the listener
// is watched again.
int take_caller()
{
    const int s = caller;
    caller = -1;
    drop_caller();
    watch_listener();
    sock_async_select(s, 0, 0);
    return s;
}

// Fires "DCCSERVER" for a request of the kind ("CHAT", "FSERVE", "SEND"):
// false when a handler halted it. The request stands for the record it
// becomes. A receive's handler may move the file with /dcc get and refuse
// it with /dcc reject.
bool fire_request(Connection* conn, const DccServerRequest& r, const char* kind, std::string* file = nullptr,
                  int* rejected = nullptr)
{
    if (!event_switch_events || !conn_is_live(conn))
        return true;
    EventSource source;
    if (file)
        source.dcc_get = const_cast<DccServerRequest*>(&r);
    else
        source.dcc_chat = const_cast<DccServerRequest*>(&r);
    source.requester = r.nick;
    source.text1 = file ? *file : std::string();
    source.text2 = kind;
    source.offer_file = file;
    source.offer_rejected = rejected;
    return event_fire(conn, conn->status_window, nullptr, "DCCSERVER", kEvDccServer, 0, nullptr, &source) != 0;
}

void chat_request(Connection* conn, const DccServerRequest& r)
{
    const bool fserve = r.number == 110;
    if (opt(OPT_DCC_CHAT_REQUESTS) == 2 || (fserve ? !dccserver_settings.fserve : !dccserver_settings.chats)) {
        refuse("150 unavailable\n");
        return;
    }
    int live_chats = 0;
    bool live_fserve = false;
    dccchat_each([&](DccChat* c) {
        if (c->state == kChatEnded || c->ip != caller_ip)
            return;
        if (c->fserve)
            live_fserve = true;
        else
            ++live_chats;
    });
    if ((!fserve && live_chats >= 4) || (fserve && live_fserve)) {
        refuse("150 unavailable\n");
        return;
    }
    if (ignore_match(lower(r.nick + "!id@" + caller_ip), "dcc", nullptr, conn)) {
        refuse("151 rejected\n");
        return;
    }
    if (fserve && (main_settings.fserve_home.empty() || !file_exists(main_settings.fserve_home, 2))) {
        refuse("150 unavailable\n");
        return;
    }
    if (!fire_request(conn, r, fserve ? "FSERVE" : "CHAT") || caller < 0) {
        refuse("150 unavailable\n");
        return;
    }
    const std::string ip = caller_ip;
    const int s = take_caller();
    dccchat_from_server(conn, s, r.nick, ip, static_cast<unsigned>(r.number), dccserver_settings.port);
}

// "120 nick size name": the caller sends a file; a receive waits for the
// user's (or the settings') decision and answers "121" when taken.
void send_request(Connection* conn, const DccServerRequest& r)
{
    const std::size_t blank = r.rest.find(' ');
    const std::size_t name_at = blank == std::string::npos ? blank : r.rest.find_first_not_of(' ', blank);
    if (name_at == std::string::npos) {
        dccserver_stop(1);
        return;
    }
    std::string name = r.rest.substr(name_at);
    const bool device = !dccserver_check_file_name(name) && !name.empty();
    if (name.empty()) {
        dccserver_stop(1);
        return;
    }
    if (!dccserver_settings.sends || opt(OPT_DCC_SEND_REQUESTS) == 2 || device) {
        refuse("150 unavailable\n");
        return;
    }
    const bool trusted = dcc_sender_trusted(r.nick, "id@" + caller_ip) != 0;
    if (!trusted) {
        std::string probe = name;
        if (opt(OPT_DCC_FILTER_MODE) != 0 && dcc_ignore_test(probe, 0, 0) == 1) {
            refuse("150 unavailable\n");
            return;
        }
        if (ignore_match(lower(r.nick + "!id@" + caller_ip), "dcc", nullptr, conn)) {
            refuse("151 rejected\n");
            return;
        }
    }
    DccOffer offer;
    offer.kind = kDccOfferSend;
    offer.offered_name = name;
    offer.file = name;
    offer.address_text = caller_ip;
    offer.port = dccserver_settings.port;
    std::int64_t size = -1;
    if (!dcc_parse_size(r.rest.substr(0, blank), size))
        size = -1;
    offer.size = size;
    std::string first;
    dcc_folder_for_file(name, first, 0, nullptr);
    if (first.empty())
        first = dccget_default_folder();
    file_add_trailing_slash(first);
    std::string path = first + name;
    int rejected = 0;
    if (!fire_request(conn, r, "SEND", &path, &rejected) || caller < 0) {
        refuse("150 unavailable\n");
        return;
    }
    if (rejected) {
        refuse("151 rejected\n");
        return;
    }
    const std::string folder = path.substr(0, path.rfind('/') + 1);
    const std::string ip = caller_ip;
    const int s = take_caller();
    dccget_offer(conn, r.nick, ip, offer, folder, trusted, s);
}

// "130 nick folder\name": the caller fetches a file from the file-server
// session it holds with us; any folder in the name is ignored and the file
// is looked up in that session's current folder.
void get_request(Connection* conn, const DccServerRequest& r)
{
    std::string name = r.rest;
    if (name.empty()) {
        dccserver_stop(1);
        return;
    }
    if (ignore_match(lower(r.nick + "!id@" + caller_ip), "dcc", nullptr, conn)) {
        refuse("151 rejected\n");
        return;
    }
    if (!dccserver_check_file_name(name)) {
        refuse("150 unavailable\n");
        return;
    }
    DccChat* session = nullptr;
    dccchat_each([&](DccChat* c) {
        if (!session && c->state == kChatOpen && c->fserve && c->ip == caller_ip)
            session = c;
    });
    const std::string path = session ? fserve_resolve(session->fs.home, session->fs.current, name, 1) : std::string();
    if (path.empty() || dccchat_running_sends_to(session->nick, caller_ip) >= session->fs.get_limit ||
        dccsend_limit_reached() || !conn_is_live(session->conn)) {
        refuse("150 unavailable\n");
        return;
    }
    const int s = caller;
    if (!dccsend_from_server(session->conn, session->nick, caller_ip, path, s, dccserver_settings.port)) {
        refuse("150 unavailable\n");
        return;
    }
    caller = -1;
    drop_caller();
    watch_listener();
}

intptr_t on_accept(uintptr_t, intptr_t word)
{
    if (listener < 0)
        return 0;
    if (!conn_is_live(conn_current())) {
        dccserver_stop(1);
        SockAddr peer;
        const int s = sock_accept(listener, &peer);
        if (s >= 0)
            sock_close(s);
        return 0;
    }
    if (caller >= 0 || WSAGETSELECTERROR(word)) {
        dccserver_stop(1);
        return 0;
    }
    SockAddr peer;
    const int s = sock_accept(listener, &peer);
    if (s < 0) {
        dccserver_stop(1);
        return 0;
    }
    if (sockaddr_family(peer) != AF_INET) {
        sock_close(s);
        watch_listener();
        return 0;
    }
    caller = s;
    caller_ip = sockaddr_ip_text(peer);
    countdown = kDccServerCountdown;
    Connection* conn = conn_current();
    irc_status_echo(conn, static_cast<int>(kColorCtcpText), text_fill_id(4001, {caller_ip}));
    sock_async_select(s, WM_APP_DCCSERVER_SERVE, FD_READ | FD_CLOSE);
    return 0;
}

intptr_t on_request(uintptr_t s, intptr_t word)
{
    if (static_cast<int>(s) != caller || caller < 0)
        return 0;
    Connection* conn = conn_current();
    const int event = WSAGETSELECTEVENT(word);
    if (event != FD_READ || WSAGETSELECTERROR(word) || !conn_is_live(conn)) {
        dccserver_stop(1);
        return 0;
    }
    char buf[kDccServerLineMax];
    const long n = sock_recv(caller, buf, sizeof buf);
    sock_async_select(caller, 0, 0);
    countdown = 0;
    if (n < 2) {
        dccserver_stop(1);
        return 0;
    }
    DccServerRequest r;
    if (!dccserver_parse_request(std::string(buf, static_cast<std::size_t>(n)), r)) {
        dccserver_stop(1);
        return 0;
    }
    switch (r.number) {
    case 100:
    case 110:
        chat_request(conn, r);
        return 0;
    case 120:
        send_request(conn, r);
        return 0;
    case 130:
        get_request(conn, r);
        return 0;
    default:
        dccserver_stop(1);
        return 0;
    }
}

void countdown_tick()
{
    if (countdown > 0 && --countdown == 0)
        dccserver_stop(1);
}

intptr_t on_start(uintptr_t, intptr_t)
{
    dccserver_start();
    return 0;
}

}  // namespace

std::string dccserver_settings_text(const DccServerSettings& s)
{
    return std::to_string(s.enabled) + "," + std::to_string(s.port) + "," + std::to_string(s.sends) + "," +
           std::to_string(s.chats) + "," + std::to_string(s.fserve) + "," + std::to_string(s.lookup);
}

DccServerSettings dccserver_settings_from(std::string_view text)
{
    DccServerSettings s;
    int* fields[] = {&s.enabled, &s.port, &s.sends, &s.chats, &s.fserve, &s.lookup};
    std::size_t pos = 0;
    for (int* f : fields) {
        if (pos > text.size())
            break;
        std::size_t comma = text.find(',', pos);
        std::string_view v = text.substr(pos, comma == std::string_view::npos ? std::string_view::npos : comma - pos);
        std::string word(v.substr(0, 12));
        char* end = nullptr;
        const long n = std::strtol(word.c_str(), &end, 10);
        if (!word.empty() && end && *end == '\0')
            *f = static_cast<int>(f == &s.port ? (n & 0xFFFF) : (n != 0 ? 1 : 0));
        if (comma == std::string_view::npos)
            break;
        pos = comma + 1;
    }
    return s;
}

void dccserver_load_settings()
{
    std::string v;
    ini_read("dccserver", "n0", "", v, 256, main_ini_path);
    dccserver_settings = dccserver_settings_from(v);
}

void dccserver_save_settings()
{
    ini_write("dccserver", "n0", dccserver_settings_text(dccserver_settings).c_str(), main_ini_path);
}

bool dccserver_check_line(std::string& line)
{
    const std::size_t cr = line.find('\r');
    if (cr != std::string::npos)
        line.resize(cr);
    const std::size_t lf = line.find('\n');
    if (lf != std::string::npos)
        line.resize(lf);
    return !line.empty();
}

bool dccserver_check_nick(std::string& nick)
{
    if (nick.size() >= 256)
        return false;
    const std::size_t blank = nick.find(' ');
    if (blank != std::string::npos)
        nick.resize(blank);
    static const std::string allowed = "[]^_`{}()-";
    for (char& c : nick) {
        const unsigned char u = static_cast<unsigned char>(c);
        const bool ok = (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') ||
                        allowed.find(c) != std::string::npos || u > 128;
        if (!ok)
            c = '_';
    }
    return !nick.empty();
}

bool dccserver_check_file_name(std::string& name)
{
    const std::size_t cut = name.find_last_of("/\\");
    const std::string base = cut == std::string::npos ? name : name.substr(cut + 1);
    if (base.empty() || base == "." || base == "..") {
        name.clear();
        return false;
    }
    name = dcc_safe_name(base);
    return !name.empty() && !file_is_device(name);
}

bool dccserver_parse_request(std::string line, DccServerRequest& out)
{
    if (!dccserver_check_line(line))
        return false;
    std::size_t i = line.find_first_not_of(' ');
    if (i == std::string::npos)
        return false;
    std::size_t e = line.find(' ', i);
    const std::string number = line.substr(i, e == std::string::npos ? std::string::npos : e - i);
    if (number.empty() || number.size() > 9 || number.find_first_not_of("0123456789") != std::string::npos)
        return false;
    out.number = std::atoi(number.c_str());
    if (e == std::string::npos)
        return false;
    i = line.find_first_not_of(' ', e);
    if (i == std::string::npos)
        return false;
    e = line.find(' ', i);
    out.nick = line.substr(i, e == std::string::npos ? std::string::npos : e - i);
    if (!dccserver_check_nick(out.nick))
        return false;
    out.rest.clear();
    if (e != std::string::npos) {
        const std::size_t r = line.find_first_not_of(' ', e);
        if (r != std::string::npos)
            out.rest = line.substr(r);
    }
    return true;
}

int dccserver_start()
{
    dccserver_stop(0);
    const int s = sock_create(AF_INET, SOCK_STREAM);
    SockAddr addr;
    if (!(dcc_ports.bind && !dcc_ports.address.empty() &&
          sockaddr_from_text(dcc_ports.address, dccserver_settings.port, addr)))
        sockaddr_from_text("0.0.0.0", dccserver_settings.port, addr);
    int error = 0;
    if (s < 0 || sock_bind(s, addr) != 0 || sock_listen(s, 5) != 0) {
        error = sock_last_error();
        if (s >= 0)
            sock_close(s);
        irc_status_echo(conn_current(), static_cast<int>(kColorInfoText),
                        text_fill_id(4002, {std::to_string(dccserver_settings.port), socket_error_text(error)}));
        return 0;
    }
    listener = s;
    watch_listener();
    return 1;
}

void dccserver_stop(int keep)
{
    drop_caller();
    if (!keep) {
        if (listener >= 0)
            sock_close(listener);
        listener = -1;
    } else {
        watch_listener();
    }
}

int dccserver_listening()
{
    return listener >= 0 ? 1 : 0;
}

// /dcc server [+/-csf] [on [port] / off]
int dcc_server_word(CommandCall& call)
{
    std::size_t i = 2;
    const std::string& first = call.arg(i);
    if (!first.empty() && (first[0] == '+' || first[0] == '-')) {
        const int value = first[0] == '+' ? 1 : 0;
        for (std::size_t k = 1; k < first.size(); ++k) {
            if (first[k] == 'c')
                dccserver_settings.chats = value;
            else if (first[k] == 's')
                dccserver_settings.sends = value;
            else if (first[k] == 'f')
                dccserver_settings.fserve = value;
        }
        ++i;
        dccserver_save_settings();
    }
    const std::string& word = call.arg(i);
    if (text_equal_nocase(word, "on")) {
        const long port = call.arg(i + 1).empty() ? 0 : std::strtol(call.arg(i + 1).c_str(), nullptr, 10);
        if (port < 0 || port > 65535)
            return script_error(call.window, "dcc", "", 3);
        if (!dccserver_settings.enabled || (port != 0 && port != dccserver_settings.port) || listener < 0) {
            dccserver_settings.enabled = 1;
            if (port != 0)
                dccserver_settings.port = static_cast<int>(port);
            dccserver_stop(0);
            post_app_message(WM_APP_DCCSERVER_START, 0, 0);
        }
        dccserver_save_settings();
    } else if (text_equal_nocase(word, "off")) {
        if (dccserver_settings.enabled) {
            dccserver_settings.enabled = 0;
            dccserver_stop(0);
            dccserver_save_settings();
        }
    }
    if (call.show) {
        std::string text;
        if (dccserver_settings.enabled) {
            text = text_fill_id(744, {std::to_string(dccserver_settings.port)});
            if (dccserver_settings.sends)
                text += text_load_string(761);
            if (dccserver_settings.chats)
                text += text_load_string(762);
            if (dccserver_settings.fserve)
                text += text_load_string(763);
            text += ")";
        } else {
            text = text_load_string(745);
        }
        irc_status_echo(call.conn, static_cast<int>(kColorInfoText), text);
    }
    return kScriptDone;
}

void dcc_server_install()
{
    dccserver_load_settings();
    frame_set_handler(WM_APP_DCCSERVER_START, on_start);
    frame_set_handler(WM_APP_DCCSERVER_ACCEPT, on_accept);
    frame_set_handler(WM_APP_DCCSERVER_SERVE, on_request);
    tick_second.add_once(tick_id, kTickDccServerCountdown, countdown_tick);
    if (dccserver_settings.enabled)
        post_app_message(WM_APP_DCCSERVER_START, 0, 0);
}

void dcc_server_uninstall()
{
    dccserver_stop(0);
    for (int m : {WM_APP_DCCSERVER_START, WM_APP_DCCSERVER_ACCEPT, WM_APP_DCCSERVER_SERVE})
        frame_set_handler(m, nullptr);
    tick_second.drop(tick_id);
}

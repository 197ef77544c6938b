// The program's service for other programs over the local socket.
#include "app/frame_dde.h"
#include "app/startup.h"

#include "app/command_line.h"
#include "app/child_window.h"
#include "model/connection.h"
#include "app/frame_proc.h"
#include "app/external_request.h"
#include "model/window_record.h"
#include "core/files.h"
#include "core/ini.h"
#include "core/main_settings.h"
#include "core/numbered_texts.h"
#include "core/text_buffer.h"
#include "model/colors.h"
#include "model/line_buffer.h"
#include "model/nick_list.h"
#include "platform/app_messages.h"
#include "platform/local_ipc.h"
#include "script/exec/script_types.h"

#include <QWidget>

#include <algorithm>

DdeSettings dde_settings;

namespace {

std::string g_registered;    // the registered name
bool g_own_socket = false;   // served on a socket of its own (not the hand-over's)

std::string read_dde(const char* key, const char* def)
{
    std::string out;
    ini_read("dde", key, def, out, 1024, main_ini_path);
    return out;
}

std::string clean_name(std::string name)
{
    if (name.size() > 256)
        name.resize(256);
    return name.empty() ? std::string("Kest") : name;
}

// The socket's own requests: the probe and the service's requests.
int serve(int kind, const std::string& payload, std::string& reply)
{
    switch (kind & 0xFFFF) {
    case IPC_PROBE:
        return 1;
    case IPC_DDE:
        return dde_request(payload, reply);
    default:
        return 0;
    }
}

// The current connection and its window: the active window's, else the
// last used, else the first.
Connection* current(QWidget** window)
{
    *window = nullptr;
    Connection* conn = conn_for_window_or_current(window);
    if (!conn_is_live(conn))
        return nullptr;
    if (!*window || conn_of_window(*window) != conn)
        *window = conn->status_window.data();
    return conn;
}

std::string upper(std::string s)
{
    for (char& c : s)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return s;
}

// Splits off the text up to the first line feed.
std::string take_line(std::string& rest)
{
    const std::size_t nl = rest.find('\n');
    std::string line = rest.substr(0, nl);
    rest = nl == std::string::npos ? std::string() : rest.substr(nl + 1);
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return line;
}

// A request for a topic: 1 with the data, 0 for none.
int request_topic(const std::string& topic, const std::string& item, std::string& out)
{
    QWidget* window = nullptr;
    Connection* conn = current(&window);
    if (topic == "EVALUATE") {
        if (item.empty() || !conn)
            return 0;
        out = item;
        frame_external_request(window, WM_USER_EVALUATE, 0, out);
        return 1;
    }
    if (topic == "VERSION") {
        out = std::string("Kest ") + KEST_VERSION;
        return 1;
    }
    if (topic == "INIFILE") {
        out = main_ini_path;
        return 1;
    }
    if (topic == "EXENAME") {
        out = file_program_path();
        return 1;
    }
    if (topic == "CHANNELS") {
        QWidget* active = win_last_activated.get();
        for (WindowRecord* rec = win_list; rec; rec = rec->next) {
            if (rec->type != kWinChannel)
                continue;
            if (!out.empty())
                out += ' ';
            if (active && rec->hwnd.get() == active)
                out += '*';
            out += rec->name;
            if (out.size() > kDdeMaxData)
                break;
        }
        return 1;
    }
    if (topic == "NICKNAME" || topic == "SERVERPORT" || topic == "SERVER" || topic == "PORT" ||
        topic == "CONNECTED") {
        if (!conn) {
            out.clear();
            return topic == "CONNECTED" ? 1 : 0;
        }
        if (topic == "NICKNAME")
            out = conn_own_nick(conn);
        else if (topic == "SERVER")
            out = conn->server_name;
        else if (topic == "PORT")
            out = conn->live_server[4];
        else if (topic == "SERVERPORT")
            out = conn->server_name + ":" + conn->live_server[4];
        else
            out = conn_is_connected(conn) ? "connected" : conn_is_connecting(conn) ? "connecting" : "not connected";
        return 1;
    }
    if (topic == "USERS") {
        WindowRecord* rec = conn ? win_find_channel(item, conn) : nullptr;
        if (!rec || rec->type != kWinChannel)
            return 0;
        out = rec->name;
        const std::string prefixes = nicklist_prefix_chars(conn);
        const int count = nicklist_count(rec);
        for (int row = 0; row < count && out.size() <= kDdeMaxData; ++row) {
            const NickEntry* e = nicklist_entry_at(rec, row);
            if (!e)
                break;
            out += ' ';
            for (char c : prefixes)
                if (e->number & nicklist_prefix_bit(conn, c))
                    out += c;
            out += e->text;
        }
        return 1;
    }
    return 0;
}

// Data handed to a topic: 1 when the topic took it.
int execute_topic(const std::string& topic, const std::string& data)
{
    if (topic == "COMMAND") {
        QWidget* window = nullptr;
        Connection* conn = current(&window);
        if (conn && !data.empty())
            script_exec_line(window, data.c_str(), nullptr, 0, nullptr, nullptr, conn);
        return 1;
    }
    if (topic == "CONNECT") {
        if (!data.empty())
            app_open_irc_link(data, 0);
        return 1;
    }
    return 0;
}

}  // namespace

void dde_load_settings()
{
    dde_settings.server_on = text_equal_nocase(read_dde("ServerStatus", "on"), "off") ? 0 : 1;
    dde_settings.service = clean_name(read_dde("ServiceName", "Kest"));
    dde_settings.check_name = text_equal_nocase(read_dde("CheckName", "off"), "on") ? 1 : 0;
}

void dde_save_settings()
{
    ini_write("dde", "ServerStatus", dde_settings.server_on ? "on" : "off", main_ini_path);
    ini_write("dde", "ServiceName", dde_settings.service.c_str(), main_ini_path);
    ini_write("dde", "CheckName", dde_settings.check_name ? "on" : "off", main_ini_path);
}

const std::string& dde_registered_name()
{
    return g_registered;
}

int dde_start_server()
{
    dde_stop();
    const std::string name = clean_name(dde_settings.service);
    // The hand-over socket of this instance serves the program's own name.
    if (name == kHandOverService) {
        if (!ipc_server_running(name))
            return 0;
        g_registered = name;
        return 1;
    }
    if (dde_settings.check_name && ipc_request(name, IPC_PROBE, std::string(), nullptr, nullptr, 1000))
        return 0;
    if (!ipc_server_start(name, serve)) {
        QWidget* window = nullptr;
        current(&window);
        if (window)
            echo_line(window, text_load_string(1801), kColorInfoText);
        return 0;
    }
    g_registered = name;
    g_own_socket = true;
    return 1;
}

int dde_start()
{
    dde_load_settings();
    if (dde_settings.server_on)
        dde_start_server();
    return 1;
}

void dde_stop()
{
    if (g_own_socket && !g_registered.empty())
        ipc_server_stop(g_registered);
    g_own_socket = false;
    g_registered.clear();
}

int dde_request(const std::string& payload, std::string& reply)
{
    reply.clear();
    if (g_registered.empty())
        return 0;
    std::string rest = payload.substr(0, std::min(payload.size(), kIpcMaxPayload));
    const std::string transaction = upper(take_line(rest));
    const std::string topic = upper(take_line(rest));
    int answer = 0;
    if (transaction == "REQUEST") {
        answer = request_topic(topic, rest.substr(0, std::min(rest.size(), kDdeMaxData)), reply);
    } else if (transaction == "EXECUTE" || transaction == "POKE") {
        if (transaction == "POKE")
            take_line(rest);  // the item
        answer = execute_topic(topic, rest.substr(0, std::min(rest.size(), kDdeMaxData)));
    }
    // The reply is bounded by what a request may carry.
    if (reply.size() > kDdeMaxData) {
        std::size_t cut = kDdeMaxData;
        while (cut > 0 && (static_cast<unsigned char>(reply[cut]) & 0xC0) == 0x80)
            --cut;
        reply.resize(cut);
    }
    return answer;
}

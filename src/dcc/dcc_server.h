// The DCC server: a listening port on which other clients open a chat or
// ask for a file server without an offer through the IRC server first. The
// caller's first line names the request by a number; the server answers
// with a numbered line and hands the socket to the chat machinery.
#pragma once

#include <string>
#include <string_view>

struct CommandCall;

// Ini section "dccserver", key "n0": six integers.
struct DccServerSettings {
    int enabled = 0;
    int port = 59;
    int sends = 1;
    int chats = 1;
    int fserve = 1;
    int lookup = 1;
};
extern DccServerSettings dccserver_settings;
void dccserver_load_settings();
void dccserver_save_settings();
// "%d,%d,%d,%d,%d,%d" and back (missing or bad values keep their defaults;
// the port is cut to 16 bits).
std::string dccserver_settings_text(const DccServerSettings& s);
DccServerSettings dccserver_settings_from(std::string_view text);

// Starts the listener on the configured port; 1 when it listens. A failure
// stops the server and says so in the status window.
int dccserver_start();
// Drops the pending caller; without keep also closes the listener.
void dccserver_stop(int keep);
// 1 while the listener is open; its port.
int dccserver_listening();

// The line checks, also used on the replies a DCC server sends.
// The line cut at the first carriage return and line feed; false when empty.
bool dccserver_check_line(std::string& line);
// The nick made safe: cut at the first blank, odd characters made '_';
// false when empty or 256 characters or longer.
bool dccserver_check_nick(std::string& nick);
// The name and extension only, made safe; false when nothing is left.
bool dccserver_check_file_name(std::string& name);

// A request line split: number, nick, the rest. false when the number or
// nick is missing.
struct DccServerRequest {
    int number = 0;
    std::string nick;
    std::string rest;
};
bool dccserver_parse_request(std::string line, DccServerRequest& out);

// Longest request line read.
constexpr std::size_t kDccServerLineMax = 1024;
// Seconds a caller has to send its request.
constexpr int kDccServerCountdown = 15;

// The server word of /dcc.
int dcc_server_word(CommandCall& call);

void dcc_server_install();
void dcc_server_uninstall();

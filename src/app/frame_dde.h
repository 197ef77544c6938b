// The program's service for other programs of the same user: a local socket
// named after the service name of section "dde" answers requests for the
// program's state, evaluates texts and runs commands.
//
// A request (kind IPC_DDE of the local requests) is text: the transaction,
// a line feed, the topic, a line feed and the rest:
//   "REQUEST\n<topic>\n<item>"   answer 1 with the data, 0 for no data
//   "EXECUTE\n<topic>\n<data>"   answer 1 when the topic took it, else 0
//   "POKE\n<topic>\n<item>\n<data>"  the same as EXECUTE for the data
// Topics are matched without regard to case.
#pragma once

#include <string>

struct DdeSettings {
    int server_on = 1;          // "ServerStatus": "on" / "off"
    std::string service = "Kest";  // "ServiceName", at most 256 characters
    int check_name = 0;         // "CheckName": do not register a name another server answers to
};
extern DdeSettings dde_settings;

// Reads and writes section "dde" of the main settings file.
void dde_load_settings();
void dde_save_settings();

// Reads the settings and, when the server is on, registers the service
// name. Returns 1 (the service itself may still be off).
int dde_start();
// Unregisters the service name.
void dde_stop();
// Registers the current service name: 0 when another server answers to it
// while the name check is on, or when its socket cannot be made (then
// "* DDE Server Başlangıcı kayboldu" is shown in the status window).
int dde_start_server();
// The registered service name, "" while none is.
const std::string& dde_registered_name();

// Serves one request (format above); the reply holds at most
// kDdeMaxData bytes.
int dde_request(const std::string& payload, std::string& reply);
constexpr std::size_t kDdeMaxData = 4150;

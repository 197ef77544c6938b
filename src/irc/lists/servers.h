// The server list file (servers.ini): entries grouped by network, the
// choice of a server and of a port from an entry's port list, the rotation
// through a network's servers after a failed attempt, and the lists of
// recent servers and of servers that accepted a logon.
//
// An entry: description "SERVER:" host ":" ports [":" password] ["GROUP:"
// group]. Ports are comma-separated items, each a port or a range "a-b"; an
// item beginning with "+" is an SSL port.
#pragma once

#include <random>
#include <string>
#include <vector>

struct Connection;
struct StringNode;

struct ServerEntry {
    std::string description;
    std::string host;
    std::string ports;
    std::string password;
    std::string group;
};

ServerEntry servers_parse_entry(const std::string& text);
// "%sSERVER:%s:%s:%sGROUP:%s", the password and group parts only when given.
std::string servers_entry_text(const ServerEntry& e);

// The file's path (main settings [files] servers, else servers.ini).
std::string servers_file();
// Reads [servers] and [networks] again when the file changed.
void servers_reload();
// Writes [servers].
void servers_save();
// The loaded entries (servers_reload first).
StringNode*& servers_list();
std::vector<std::string> servers_networks();

// Entry texts of a group (case ignored), in list order.
std::vector<std::string> servers_group_entries(const std::string& group);
// The group of the first entry with this host that has a group; empty when none.
std::string servers_group_of_host(const std::string& host);

// Picks a port from a ports text: a random item, a random port of a range;
// the item's own "+" is kept. Repeats (at most 10 picks) while the result
// equals `avoid`. An empty, inverted or zero choice gives `default_port`.
std::string servers_pick_port(const std::string& ports, const std::string& avoid,
                              const std::string& default_port, std::mt19937& rng);
// Whether a port text is among an entry's ports (its "+" agreeing).
int servers_ports_contain(const std::string& ports, const std::string& port);

// Fills the connection's chosen server from an entry (and, while not
// connected, the server in use).
void conn_apply_server_entry(const std::string& entry, Connection* conn);
// Builds the rotation of a group, ordered by the success list.
void conn_rotation_build(Connection* conn, const std::string& group);
// Builds the rotation of the current server's group and flags its entry.
void conn_rotation_start(Connection* conn);
// Moves to the next server of the rotation and applies it.
void conn_next_server(Connection* conn);
// A network or group name for the connect: its next server is chosen; a
// name the list does not know is taken as a host. Always 1.
int servers_select_group(const std::string& name, Connection* conn);

// [success]: the server name's count moves by `add`; at most 30, by count.
void servers_record_success(const std::string& name, int add);
// A new list of the [success] items ("name,count"), as the servers file
// holds them; the caller frees it.
StringNode* servers_success_list();
// [recent]: newest first, no duplicates, at most 10.
void servers_add_recent(const std::string& text);
// The link is made: the entry in use moves to the head and goes to [recent].
void servers_note_connected(Connection* conn);
// First run: a random network's server for the first connection.
void servers_random_start();

// The server group step of the main settings' load: the first run's random
// server, then the first connection's rotation.
void servers_install();

constexpr int kServersRecentMax = 10;
constexpr int kServersSuccessMax = 30;

// The logon sequence after a server's welcome, the perform list (commands
// run per network at logon) and the auto-join of channels.
#pragma once

#include <string>
#include <vector>

#include "core/signal.h"

struct Connection;

// The link is registered and its CONNECT event has run (the connect sound
// listens). A listener may close the connection.
enum LoggedOnOrder {
    kLoggedOnSound = 10,
};
extern Signal<void(Connection* conn)> irc_logged_on;

// The perform entries, each "key,commands". The two fixed keys are held as
// "All Networks" and "Other Networks"; only display translates them.
extern std::vector<std::string> perform_list;

// Runs the logon sequence (handler of WM_APP+62).
void conn_logon_sequence(Connection* conn);
// Joins the rejoin list and the channels to rejoin after a reconnect.
void conn_auto_join(Connection* conn);
// One second of the auto-join delay; joins when it runs out.
void conn_autojoin_tick(Connection* conn);

// Loads the list from "perform.ini" (converting the legacy section of the
// main settings file once); saves it back.
void perform_load();
int perform_save();
int perform_has_key(const std::vector<std::string>& list, const std::string& key);
void perform_remove_key(std::vector<std::string>& list, const std::string& entry);
std::vector<std::string> perform_commands_for_key(const std::vector<std::string>& list,
                                                  const std::string& entry);
void perform_replace(std::vector<std::string>& list, const std::vector<std::string>& entries);
// 1 when the entry applies to the connection; entry then holds the commands.
int perform_entry_for_network(std::string& entry, Connection* conn);
// The shown form of a key ("All Networks" and "Other Networks" translated)
// and back.
std::string perform_key_display(const std::string& key);
std::string perform_key_internal(const std::string& shown);

// A channel window of a connection to rejoin at logon.
struct LogonChannel {
    std::string name;
    std::string network_tag;
    std::string key;
    int waiting = 0;
    int window = 0;  // the window's number
};

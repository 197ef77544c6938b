// The first connection's part of the main settings file: its identity
// (section "kest": user, email, nick, alternative nick and the server entry)
// and its local host (section "local"). The start-up load fills the record at
// its steps; /saveini and the commands that change the identity write it back.
#pragma once

#include <string>

struct Connection;

// The command line's nick and alternative nick ("-n"); empty when none was
// given. The identity load takes them before the file's.
extern std::string start_nick;
extern std::string start_anick;

// Section "kest" of the connection (the first one when it is not live;
// nothing when neither is): bit 1 "user" and "email", bit 2 "nick" and
// "anick", bit 4 "host"; 0 means all.
void ini_save_identity(int flags, Connection* conn);

// Section "local" from the connection's resolved local host, address text
// and address number when it is live and the number is not 0; otherwise the
// section is removed.
void ini_save_local_host(Connection* conn);

// The load's identity, server and local-host steps and /saveini's identity
// step.
void identity_settings_install();
void identity_settings_uninstall();

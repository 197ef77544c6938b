// The program's command line: start-up flags, the first server, nick and
// channel, a settings folder or settings file of the user's choice, and
// irc: links, which a second start hands to the instance already running.
#pragma once

#include <string>
#include <vector>

#include "irc/link/identity_settings.h"  // start_nick, start_anick: "-n" and "-n" after ","

// Start-up globals filled by cmdline_parse.
extern int cmdline_no_connect;       // "-noconnect"
extern int cmdline_no_registry;      // "-portable", "-noreg", "-appStart", "-appStop", "-hostCleanUp"
extern int cmdline_launcher_mode;    // "-appStart" 1, "-appStop" 2, "-hostCleanUp" 4
extern std::string start_server;     // "-s", irc: link (at most 256)
extern std::string start_port;       // irc: link
extern std::string start_channel;    // "-j", "-p", irc: link
extern std::string start_link_user;  // irc: link, the text before "@"
extern std::string start_link;       // irc: link (at most 1,024)

// The program's arguments as given (without the program name); kept by
// app_run, read by cmdline_parse.
extern std::vector<std::string> cmdline_args;

// What parsing a command line decided. The location fields start as the
// settings globals were and hold what they become.
struct CmdlineResult {
    int result = 1;                  // 1 go on with start-up, 0 end it quietly
    int handed_over = 0;             // an irc: link went to a running instance
    int no_connect = 0;
    int no_registry = 0;
    int launcher_mode = 0;
    std::string server;
    std::string port;
    std::string channel;
    std::string link_user;
    std::string nick;
    std::string anick;
    std::string link;
    std::string settings_dir;
    std::string main_ini_path;
    std::string user_settings_dir;
    int settings_to_user_dir = 0;
    int ini_to_user_dir = 0;
};

// Parses the words of a command line. `start` gives the location settings as
// they are (from settings_locate); the result holds everything the words set.
// An irc: link is offered to a running instance (cmdline_hand_over); "-r"
// and "-i" make the folders they name.
CmdlineResult cmdline_parse_args(const std::vector<std::string>& args, const CmdlineResult& start);

// The location settings as they are now (the settings globals).
CmdlineResult cmdline_current_location();

// Stores a result into the start-up and settings globals.
void cmdline_apply(const CmdlineResult& r);

// Parses cmdline_args with the running program's environment and stores the
// result. 1 to go on with start-up, 0 to end it quietly.
int cmdline_parse();

// 1 when every field of an irc: link is one a link can hold: no control
// character or blank anywhere, a server that does not begin with "-", and a
// port (when there is one) that is a number up to 65535. A link that fails
// is not followed.
int irc_link_valid(const std::string& link);

// Splits an irc: link (irc:[//][user@]server[:port][/channel[?key]]) into its
// parts. Outputs are cut at 256 characters. 1 when a server part was found.
int frame_parse_irc_link(const std::string& link, std::string& server, std::string& channel,
                         std::string& port, std::string* user);

// Sends a link to a running instance through the local IPC service "Kest"
// (kHandOverService): a probe first, then the link. 1 when a running
// instance took it.
int cmdline_hand_over(const std::string& link);

// Name of the local IPC service of the hand-over.
extern const char* const kHandOverService;

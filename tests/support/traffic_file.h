// The lines a connection received, read back from its /debug traffic file:
// with "/debug <file>" on, the dispatcher writes every line it is handed as
// "<- line" and the send path every line it writes as "-> server line".
//
//     TempSettingsDir settings{"kest_x_"};
//     ASSERT_TRUE(traffic_file_start(conn, "traffic.log"));
//     ...
//     EXPECT_EQ(traffic_received(settings.path() + "traffic.log"), expected);
#ifndef KEST_TESTS_SUPPORT_TRAFFIC_FILE_H
#define KEST_TESTS_SUPPORT_TRAFFIC_FILE_H

#include <fstream>
#include <string>
#include <vector>

#include "commands/window_commands.h"
#include "irc/link/traffic_log.h"
#include "model/connection.h"
#include "script/exec/script_types.h"

// Turns /debug on for the connection, writing to `file` in the settings
// folder, as the command typed in its status window does.
inline bool traffic_file_start(Connection* conn, const std::string& file)
{
    CommandCall call;
    call.tokens = {"debug", file};
    call.conn = conn;
    return cmd_debug(call) == 1 && !conn->debug_target.empty();
}

// The received lines written to the traffic file so far, in order, without
// their "<- ".
inline std::vector<std::string> traffic_received(const std::string& path)
{
    std::vector<std::string> out;
    std::ifstream in(path, std::ios::binary);
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("<- ", 0) == 0)
            out.push_back(line.substr(3));
    return out;
}

// The sent lines written to the traffic file so far, in order, without their
// "-> " and the server name before them.
inline std::vector<std::string> traffic_sent(const std::string& path)
{
    std::vector<std::string> out;
    std::ifstream in(path, std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("-> ", 0) != 0)
            continue;
        const std::size_t blank = line.find(' ', 3);
        out.push_back(blank == std::string::npos ? std::string() : line.substr(blank + 1));
    }
    return out;
}

#endif  // KEST_TESTS_SUPPORT_TRAFFIC_FILE_H

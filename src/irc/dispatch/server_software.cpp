#include "core/text_buffer.h"
#include "irc/dispatch/server_software.h"

#include <cctype>
#include <string>

#include "model/connection.h"
#include "irc/dispatch/dispatcher.h"
#include "irc/link/send_queue.h"

namespace {

// Server-name fragment of the public network whose list requests are plain.
const char* const kPlainListDomain = "chatnet.example";

bool istarts(const std::string& s, const char* p)
{
    for (std::size_t i = 0; p[i]; ++i) {
        if (i >= s.size()) return false;
        if (std::tolower(static_cast<unsigned char>(s[i])) != std::tolower(static_cast<unsigned char>(p[i])))
            return false;
    }
    return true;
}


long number_at(const std::string& s, std::size_t pos)
{
    long v = 0;
    for (; pos < s.size() && std::isdigit(static_cast<unsigned char>(s[pos])); ++pos)
        if (v < 100000000) v = v * 10 + (s[pos] - '0');
    return v;
}

// The number after the next "." from pos; -1 when there is no ".".
long number_after_point(const std::string& s, std::size_t& pos)
{
    std::size_t dot = s.find('.', pos);
    if (dot == std::string::npos) return -1;
    pos = dot + 1;
    return number_at(s, pos);
}

}  // namespace

int irc_detect_server_software(IrcMessage& msg)
{
    Connection* conn = msg.connection;
    if (!conn || !conn_is_live(conn)) return 0;
    int& flags = conn->server_flags;
    flags = 0;
    if (!irc_has_word(msg, 4) || msg.words[4].empty()) return flags;
    const std::string& v = msg.words[4];
    const std::string& server = irc_word(msg, 3);

    if (istarts(v, "bahamut")) return flags |= kServerPlain477 | kServerOpsTarget | kServerOperModesAa;
    if (istarts(v, "dal")) {
        flags |= kServerPlain477;
        std::size_t pos = 3;
        long major = number_at(v, pos);
        if (major < 4) return flags;
        if (major >= 5) return flags |= kServerOpsTarget | kServerOperModesAa;
        long minor = number_after_point(v, pos);
        if (minor < 4) return flags;
        if (minor >= 5) {
            flags |= kServerOpsTarget;
            if (minor >= 6) flags |= kServerOperModesAa;
            return flags;
        }
        if (number_after_point(v, pos) > 10) flags |= kServerOpsTarget;
        return flags;
    }
    if (v[0] == 'u') {
        flags |= kServerPlusChannels;
        std::size_t pos = 1;
        long major = number_at(v, pos);
        if (major < 2) return flags;
        if (major > 2) return flags |= kServerOpsNoticeTarget;
        if (number_after_point(v, pos) >= 10) flags |= kServerOpsNoticeTarget;
        return flags;
    }
    if (v.compare(0, 4, "5.07") == 0) return flags;
    if (v.compare(0, 2, "5.") == 0 || v.compare(0, 2, "6.") == 0) {
        flags |= kServerIrcx;
        irc_send_line("IRCX\n", 0, conn);
        return flags;
    }
    if (istarts(v, "ircd-ratbox-")) flags |= kServerOneTargetPerLine;
    if (v.compare(0, 2, "2.") == 0) {
        if (v.size() > 2 && number_at(v, 2) > 9) {
            flags |= kServerPlusBangChannels;
        } else {
            std::string low = text_lower_copy(v);
            std::size_t h = low.find("hybrid-");
            if (h != std::string::npos && number_at(low, h + 7) > 5) flags |= kServerOneTargetPerLine;
        }
        if (istarts(server, "VirginChat")) flags |= kServerListsEndIdle;
        return flags;
    }
    if (istarts(v, "CR") || text_lower_copy(v) == "conferenceroom") flags |= kServerMinusPrefix;
    else if (text_lower_copy(server).find(kPlainListDomain) != std::string::npos ||
             text_lower_copy(v).find("hyperion") != std::string::npos)
        flags |= kServerPlainList;
    return flags;
}

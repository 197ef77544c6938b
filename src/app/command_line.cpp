// The program's command line and the hand-over of irc: links.
#include "app/command_line.h"

#include "core/files.h"
#include "core/ini.h"
#include "core/text_buffer.h"
#include "core/text_limits.h"
#include "platform/local_ipc.h"

#include <cstdlib>

int cmdline_no_connect = 0;
int cmdline_no_registry = 0;
int cmdline_launcher_mode = 0;
std::string start_server;
std::string start_port;
std::string start_channel;
std::string start_link_user;
std::string start_link;
std::vector<std::string> cmdline_args;

const char* const kHandOverService = "Kest";

int cmdline_hand_over(const std::string& link)
{
    if (ipc_handover_probe(kHandOverService) != 1)
        return 0;
    return ipc_handover_link(kHandOverService, link) == 1 ? 1 : 0;
}

namespace {

std::string cut(const std::string& text, std::size_t limit)
{
    return text.size() > limit ? text.substr(0, limit) : text;
}

void to_slashes(std::string& path)
{
    for (char& ch : path)
        if (ch == '\\')
            ch = '/';
}

// A path of the command line made absolute against the settings folder.
std::string absolute_against(const std::string& path, const std::string& folder)
{
    if (!path.empty() && path[0] == '/')
        return path;
    return folder + path;
}

void strip_trailing_slashes(std::string& path)
{
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
}

// Hands a link over (a word beginning "irc:"): keeps it, splits it, offers it
// to a running instance. Returns true when this start ends.
bool hand_over_link(const std::string& word, CmdlineResult& r)
{
    // A link with a field no link can hold is not taken (nor handed over).
    if (!irc_link_valid(cut(word, kMediumText)))
        return false;
    r.link = cut(word, kMediumText);
    std::string server, channel, port, user;
    frame_parse_irc_link(r.link, server, channel, port, &user);
    r.server = server;
    r.channel = channel;
    r.port = port;
    r.link_user = user;
    if (cmdline_hand_over(r.link) == 1) {
        r.handed_over = 1;
        return true;
    }
    return false;
}

// The value of a "-r" or "-i" word: the rest of the word, or, when it begins
// with a double quote, the text up to the next one. `ends` is set when the
// quote is not closed (the command line ends there).
std::string quoted_value(const std::string& rest, bool& ends)
{
    ends = false;
    if (rest.empty() || rest[0] != '"')
        return rest;
    std::size_t close = rest.find('"', 1);
    if (close == std::string::npos) {
        ends = true;
        return rest.substr(1);
    }
    return rest.substr(1, close - 1);
}

void take_settings_dir(std::string value, CmdlineResult& r)
{
    to_slashes(value);
    if (value.empty()) {
        r.settings_to_user_dir = 0;
        r.ini_to_user_dir = 0;
        return;
    }
    std::string folder = cut(absolute_against(value, r.settings_dir), kMediumText);
    if (!file_make_dir(folder))
        return;
    strip_trailing_slashes(folder);
    if (folder != "/")
        folder += '/';
    r.settings_dir = folder;
    r.main_ini_path = folder + "kest.ini";
    r.settings_to_user_dir = 0;
    r.ini_to_user_dir = 0;
}

void take_settings_file(std::string value, CmdlineResult& r)
{
    to_slashes(value);
    if (value.empty())
        return;
    std::string path = cut(absolute_against(value, r.settings_dir), kMediumText);
    if (path != value && r.settings_to_user_dir && !r.user_settings_dir.empty())
        path = cut(r.user_settings_dir + value, kMediumText);
    if (text_ends_with_nocase(path, ".ini") == std::string_view::npos)
        return;
    // A name must be left after the folder.
    std::size_t slash = path.rfind('/');
    if (slash != std::string::npos && slash + 1 >= path.size() - 4)
        return;
    bool usable = file_exists(path, 1) != 0;
    if (!usable) {
        std::string folder = slash == std::string::npos ? std::string(".") : path.substr(0, slash + 1);
        usable = file_make_dir(folder) != 0;
    }
    if (!usable)
        return;
    r.main_ini_path = path;
    r.ini_to_user_dir = 0;
}

} // namespace

CmdlineResult cmdline_current_location()
{
    CmdlineResult r;
    r.settings_dir = settings_dir;
    r.main_ini_path = main_ini_path;
    r.user_settings_dir = user_settings_dir;
    r.settings_to_user_dir = settings_to_user_dir;
    r.ini_to_user_dir = ini_to_user_dir;
    return r;
}

CmdlineResult cmdline_parse_args(const std::vector<std::string>& args, const CmdlineResult& start)
{
    CmdlineResult r = start;
    r.result = 1;
    std::size_t total = 0;
    for (std::size_t i = 0; i < args.size(); ++i) {
        // The whole command line is cut at the usable length of a long text.
        if (total >= kLongText)
            break;
        std::string word = cut(args[i], kLongText - total);
        total += word.size() + 1;
        if (word.empty())
            continue;

        // Options with a value take the next argument when their own is empty.
        auto value_of = [&](std::size_t prefix_len) {
            std::string rest = word.substr(prefix_len);
            if (rest.empty() && i + 1 < args.size() && !args[i + 1].empty() && args[i + 1][0] != '-') {
                rest = cut(args[i + 1], kLongText);
                ++i;
            }
            return rest;
        };

        if (text_starts_with_nocase(word, "-noconnect")) {
            r.no_connect = 1;
        } else if (text_starts_with_nocase(word, "-portable")) {
            r.no_registry = 1;
            r.settings_to_user_dir = 0;
            r.ini_to_user_dir = 0;
        } else if (text_starts_with_nocase(word, "-noreg")) {
            r.no_registry = 1;
        } else if (text_starts_with_nocase(word, "-nouninst")) {
            // accepted, nothing to do
        } else if (text_starts_with_nocase(word, "-appStart")) {
            r.launcher_mode = 1;
            r.no_registry = 1;
            const char* host = std::getenv("U3_HOST_EXEC_PATH");
            const char* data = std::getenv("U3_APP_DATA_PATH");
            if (!host || !data) {
                r.result = 0;
                return r;
            }
        } else if (text_starts_with_nocase(word, "-appStop")) {
            r.launcher_mode = 2;
            r.no_registry = 1;
            r.result = 0;
            return r;
        } else if (text_starts_with_nocase(word, "-hostCleanUp")) {
            r.launcher_mode = 4;
            r.no_registry = 1;
            r.result = 0;
            return r;
        } else if (text_starts_with_nocase(word, "-service")) {
            // accepted, nothing to do
        } else if (text_starts_with_nocase(word, "irc:")) {
            if (hand_over_link(word, r)) {
                r.result = 0;
                return r;
            }
        } else if (text_starts_with_nocase(word, "-s")) {
            std::string rest = value_of(2);
            if (text_starts_with_nocase(rest, "irc:")) {
                if (hand_over_link(rest, r)) {
                    r.result = 0;
                    return r;
                }
            } else if (!rest.empty()) {
                r.server = cut(rest, kShortText);
            }
        } else if (text_starts_with_nocase(word, "-n")) {
            std::string rest = value_of(2);
            if (!rest.empty()) {
                std::size_t comma = rest.find(',');
                std::string nick = text_first_word_of(cut(rest.substr(0, comma), kShortText));
                r.nick = nick;
                if (comma != std::string::npos) {
                    std::string alt = text_first_word_of(cut(rest.substr(comma + 1), kShortText));
                    if (!alt.empty())
                        r.anick = alt;
                }
            }
        } else if (text_starts_with_nocase(word, "-j")) {
            std::string rest = value_of(2);
            if (!rest.empty())
                r.channel = cut(rest, kShortText);
        } else if (text_starts_with_nocase(word, "-p")) {
            std::string rest = value_of(2);
            if (!rest.empty() && !r.channel.empty())
                r.channel = cut(r.channel + " " + rest, kShortText);
        } else if (text_starts_with_nocase(word, "-r")) {
            bool ends = false;
            std::string value = quoted_value(value_of(2), ends);
            take_settings_dir(value, r);
            if (ends)
                return r;
        } else if (text_starts_with_nocase(word, "-i")) {
            bool ends = false;
            std::string value = quoted_value(value_of(2), ends);
            take_settings_file(value, r);
            if (ends)
                return r;
        } else if (word[0] != '-' && word.size() > 4 &&
                   text_ends_with_nocase(word, ".ini") != std::string_view::npos) {
            // A settings file named on its own.
            take_settings_file(word, r);
        }
        // Anything else is ignored.
    }
    return r;
}

void cmdline_apply(const CmdlineResult& r)
{
    cmdline_no_connect = r.no_connect;
    cmdline_no_registry = r.no_registry;
    if (r.no_registry)
        private_store_in_ini = 1;
    cmdline_launcher_mode = r.launcher_mode;
    start_server = r.server;
    start_port = r.port;
    start_channel = r.channel;
    start_link_user = r.link_user;
    start_nick = r.nick;
    start_anick = r.anick;
    start_link = r.link;
    settings_dir = r.settings_dir;
    main_ini_path = r.main_ini_path;
    user_settings_dir = r.user_settings_dir;
    settings_to_user_dir = r.settings_to_user_dir;
    ini_to_user_dir = r.ini_to_user_dir;
}

int cmdline_parse()
{
    CmdlineResult r = cmdline_parse_args(cmdline_args, cmdline_current_location());
    cmdline_apply(r);
    return r.result;
}

int irc_link_valid(const std::string& link)
{
    // No field of a link has a control character or a blank: each would
    // end or split the line its field is put into.
    for (unsigned char ch : link)
        if (ch <= ' ' || ch == 0x7F)
            return 0;
    std::string text = link;
    if (text_starts_with_nocase(text, "irc:"))
        text.erase(0, 4);
    for (int i = 0; i < 2 && !text.empty() && text[0] == '/'; ++i)
        text.erase(0, 1);
    while (text.size() > 1 && text.back() == '/')
        text.pop_back();
    std::size_t slash = text.rfind('/');
    if (slash != std::string::npos)
        text.erase(slash);
    std::size_t at = text.find('@');
    if (at != std::string::npos)
        text.erase(0, at + 1);
    std::size_t colon = text.find(':');
    std::string port = colon == std::string::npos ? std::string() : text.substr(colon + 1);
    std::string server = text.substr(0, colon);
    // A server written as a switch would be read as one by /server.
    if (!server.empty() && server[0] == '-')
        return 0;
    if (!port.empty() && (port.size() > 5 || !text_is_digits(port) || std::atoi(port.c_str()) > 65535))
        return 0;
    return 1;
}

int frame_parse_irc_link(const std::string& link, std::string& server, std::string& channel, std::string& port,
                         std::string* user)
{
    server.clear();
    channel.clear();
    port.clear();
    if (user)
        user->clear();
    std::string text = link;
    if (text_starts_with_nocase(text, "irc:"))
        text.erase(0, 4);
    for (int i = 0; i < 2 && !text.empty() && text[0] == '/'; ++i)
        text.erase(0, 1);
    if (text.empty())
        return 0;
    while (text.size() > 1 && text.back() == '/')
        text.pop_back();
    if (text.empty())
        return 0;

    std::size_t slash = text.rfind('/');
    if (slash != std::string::npos) {
        std::string part = cut(text.substr(slash + 1), kShortText);
        std::size_t comma = part.find(',');
        if (comma != std::string::npos)
            part.erase(comma);
        std::size_t question = part.find('?');
        if (question != std::string::npos)
            part[question] = ' ';
        // A part written with its "#" (as in irc://host/#chan) is not given a
        // second one.
        if (!part.empty())
            channel = cut(part[0] == '#' ? part : "#" + part, kShortText);
        text.erase(slash);
    }

    std::size_t at = text.find('@');
    if (at != std::string::npos) {
        if (user)
            *user = cut(text.substr(0, at), kShortText);
        text.erase(0, at + 1);
    }
    server = cut(text, kShortText);
    std::size_t colon = server.find(':');
    if (colon != std::string::npos) {
        port = cut(server.substr(colon + 1), kShortText);
        server.erase(colon);
        if (std::atoi(port.c_str()) < 1)
            port.clear();
    }
    server = text_first_word_of(server);
    port = text_first_word_of(port);
    while (!server.empty() && server.back() == '/')
        server.pop_back();
    return 1;
}

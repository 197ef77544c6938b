#include "extensions/irc_links.h"

#include <string>
#include <vector>

#include "app/command_line.h"
#include "model/connection.h"
#include "irc/link/connections.h"
#include "app/link_request_dialog.h"
#include "app/startup.h"
#include "bars/tray_icon.h"
#include "core/main_settings.h"
#include "core/options.h"
#include "core/text_buffer.h"
#include "core/text_limits.h"
#include "irc/link/connect.h"
#include "script/exec/script_types.h"


namespace {

std::string collapse_blanks(const std::string& text)
{
    std::string out;
    for (char ch : text) {
        if (ch == ' ' && (out.empty() || out.back() == ' '))
            continue;
        out.push_back(ch);
    }
    while (!out.empty() && out.back() == ' ')
        out.pop_back();
    return out;
}

std::string default_port()
{
    return main_settings.default_port.empty() ? std::string(kDefaultPort) : main_settings.default_port;
}

} // namespace

int irc_link_parse(const std::string& text_in, int from_outside, const std::string& default_server,
                  const std::string& chan_types, IrcLinkRequest& out)
{
    out = IrcLinkRequest();
    const std::string text = text_in.substr(0, kLongText);
    if (text.empty())
        return 0;
    // Every field ends up in a command line: a control character in any of
    // them would end that line and start another.
    for (unsigned char ch : text)
        if (ch < ' ' || ch == 0x7F)
            return 0;
    out.server = default_server;
    out.port = default_port();
    if (text_starts_with_nocase(text, "irc:")) {
        if (!opt(OPT_CHAT_LINKS))
            return 0;
        if (!irc_link_valid(text))
            return 0;
        std::string server, channel, port;
        frame_parse_irc_link(text, server, channel, port, nullptr);
        out.server = server;
        out.channel = channel;
        if (!port.empty())
            out.port = port;
        out.confirm = 1;
    } else {
        if (text_ends_with_nocase(text, ".cha") != std::string_view::npos ||
            text_ends_with_nocase(text, ".chat") != std::string_view::npos)
            return 0;
        const std::string types = chan_types.empty() ? std::string("#&") : chan_types;
        std::size_t pos = 0;
        while (pos <= text.size()) {
            std::size_t comma = text.find(',', pos);
            std::string item = text.substr(pos, comma == std::string::npos ? std::string::npos : comma - pos);
            pos = comma == std::string::npos ? text.size() + 1 : comma + 1;
            std::size_t lead = item.find_first_not_of(' ');
            if (lead == std::string::npos)
                continue;
            item.erase(0, lead);
            if (types.find(item[0]) != std::string::npos) {
                out.channel = item;
            } else if (item.find('.') != std::string::npos) {
                std::size_t colon = item.rfind(':');
                if (colon != std::string::npos && text_is_digits(text_first_word_of(item.substr(colon + 1)))) {
                    out.port = item.substr(colon + 1);
                    item.resize(colon);
                }
                out.server = item;
            } else if (item == "1") {
                out.confirm = 1;
            } else if (item == "0") {
                out.confirm = 0;
            } else if (item[0] >= '0' && item[0] <= '9') {
                out.port = item;
            }
        }
        if (from_outside)
            out.confirm = 1;
    }
    out.server = text_first_word_of(out.server).substr(0, kShortText);
    out.password = text_first_word_of(out.password).substr(0, kShortText);
    out.port = text_first_word_of(out.port).substr(0, kShortText);
    out.channel = collapse_blanks(out.channel).substr(0, kShortText);
    if (!text_is_digits(out.port))
        out.port = default_port();
    // A server written as a switch would be read as one by /server.
    if (!out.server.empty() && out.server[0] == '-') {
        out = IrcLinkRequest();
        return 0;
    }
    return 1;
}

namespace {

LinkRequest link_request_of(const IrcLinkRequest& r)
{
    LinkRequest out;
    out.server = r.server;
    out.port = r.port;
    out.password = r.password;
    out.channel = r.channel;
    return out;
}

} // namespace

std::string irc_link_server_command(const IrcLinkRequest& r)
{
    return link_request_command(kLinkRequestChangeServer, link_request_of(r));
}

namespace {

// Runs a built-in command on the connection's status window with the
// words of a read link, quietly and as they are: nothing in them is
// evaluated or read as a second command.
void run_link_command(std::string_view command, const std::string& text, QWidget* status, Connection* conn)
{
    const CommandHandler handler = script_command_handler(command);
    if (!handler)
        return;
    CommandCall call;
    call.window = status;
    call.conn = conn;
    call.show = 0;
    call.origin = 2;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t blank = text.find(' ', pos);
        const std::size_t end = blank == std::string::npos ? text.size() : blank;
        if (end > pos)
            call.tokens.push_back(text.substr(pos, end - pos));
        pos = end + 1;
    }
    if (call.tokens.empty())
        return;
    // The word as the interpreter hands it over: lower case, without the
    // command character and the quiet and built-in marks.
    std::string& word = call.tokens[0];
    word.erase(0, word.find_first_not_of("/!."));
    const std::size_t skip = text.find_first_not_of("/!.");
    call.line = std::string_view(text).substr(skip == std::string::npos ? text.size() : skip);
    handler(call);
}

} // namespace

int irc_link_follow(const IrcLinkRequest& r, Connection* conn)
{
    if (!conn_is_live(conn))
        return 0;
    const bool same_server = r.server.empty() || text_equal_nocase(r.server, conn->server_name) ||
                             text_equal_nocase(r.server, conn->stored_identity[5]) ||
                             text_equal_nocase(r.server, conn->network);
    QWidget* status = link_status_window(conn);
    if ((conn_is_connected(conn) || conn_is_connecting(conn)) && same_server) {
        if (conn_is_connected(conn)) {
            if (!r.channel.empty())
                run_link_command("join", "join " + r.channel, status, conn);
        } else if (!r.channel.empty()) {
            conn_queue_autojoin(r.channel, 2, conn);
        }
    } else {
        run_link_command("server", irc_link_server_command(r), status, conn);
    }
    if (r.confirm)
        tray_restore_main(0);
    return 1;
}

int dde_open_irc_link(const std::string& text, int from_outside)
{
    Connection* conn = conn_current();
    if (text.empty() || !conn_is_live(conn))
        return 0;
    IrcLinkRequest request;
    const std::string current_server =
        conn->server_name.empty() ? conn->stored_identity[5] : conn->server_name;
    if (!irc_link_parse(text, from_outside, current_server, conn->chan_types, request))
        return 0;
    if (!request.server.empty()) {
        if (Connection* other = conn_find_by_network(request.server))
            conn = other;
    }
    if (from_outside && opt(OPT_CHAT_LINKS_CONFIRM)) {
        // The user decides; nothing changes until then, nor when the
        // dialog is closed without an answer.
        LinkRequest asked = link_request_of(request);
        if (asked.server.empty())
            asked.server = conn->server_name.empty() ? conn->stored_identity[5] : conn->server_name;
        if (!link_request_post(asked, conn))
            return 0;
        if (request.confirm)
            tray_restore_main(0);
        return 1;
    }
    return irc_link_follow(request, conn);
}

namespace {
int g_open_listener = 0;
}

void irc_links_install()
{
    irc_link_open_asked.add_once(g_open_listener, 0, [](const std::string& link, int from_outside) {
        dde_open_irc_link(link, from_outside);
    });
}

void irc_links_uninstall()
{
    irc_link_open_asked.drop(g_open_listener);
}

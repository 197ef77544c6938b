// The debug copy of a connection's IRC traffic.
#include "irc/link/traffic_log.h"

#include <fcntl.h>
#include <unistd.h>

#include "core/files.h"
#include "core/ini.h"
#include "model/connection.h"
#include "model/window_record.h"
#include "script/exec/script_types.h"

Signal<void(Connection*, const std::string&, const std::string&, const DebugSettings&)> debug_window_line;

namespace {

// Evaluates text in place (identifiers and variables) with params as $1-, as
// the connection's status window would; a positive result on success.
int filter_evaluate(std::string& text, const std::string& params, Connection* conn)
{
    WindowRecord* status = win_find_by_type(kWinStatus, conn);
    std::string* r = ident_eval_text(status ? status->hwnd.get() : nullptr, &text, params.c_str(),
                                     nullptr, 0, -1, -1, nullptr, conn);
    return r ? 1 : 0;
}

} // namespace

int debug_conn_settings(Connection* conn, DebugSettings& out)
{
    if (!conn_is_live(conn) || conn->debug_target.empty())
        return 0;
    out.target = conn->debug_target;
    out.filter = conn->debug_filter;
    out.flags = conn->debug_flags & 3;
    out.colour = conn->debug_colour;
    out.server = conn->server_name;
    return 1;
}

void debug_log_line(const std::string& line, int incoming, Connection* conn)
{
    static bool busy = false;
    if (busy)
        return;
    busy = true;
    struct Release {
        ~Release() { busy = false; }
    } release;

    DebugSettings settings;
    bool live = conn && debug_conn_settings(conn, settings);
    std::string text;
    std::string target;
    if (live && !settings.target.empty()) {
        if (incoming) {
            text = "<- " + line;
        } else {
            if (line == "\r\n")
                return;
            std::string body = line;
            while (!body.empty() && (body.back() == '\r' || body.back() == '\n'))
                body.pop_back();
            text = "-> " + settings.server + " " + body;
        }
        if (!settings.filter.empty()) {
            std::string expr = "$" + settings.filter + "($1-)";
            if (filter_evaluate(expr, text, conn) <= 0 || expr.empty())
                return;
            text = expr;
        }
        if (settings.target[0] == '@') {
            debug_window_line.fire(conn, settings.target.substr(1), text, settings);
            return;
        }
        target = settings.target;
    } else {
        text = line;
        target = settings_dir + "debug.log";
    }
    if (text.empty() || text.back() != '\n')
        text += '\n';
    std::string path;
    if (!file_resolve_file_path(target, path) || file_is_device(path))
        return;
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NOCTTY, 0600);
    if (fd < 0)
        return;
    file_write_all(fd, text.data(), text.size());
    ::close(fd);
}

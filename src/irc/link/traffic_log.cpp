// The debug copy of a connection's IRC traffic.
#include "irc/link/traffic_log.h"

#include <fcntl.h>
#include <unistd.h>

#include "core/files.h"
#include "core/ini.h"

int (*debug_conn_settings)(Connection* conn, DebugSettings& out) = nullptr;
int (*debug_filter_eval)(std::string& text, const std::string& params, Connection* conn) = nullptr;
void (*debug_window_output)(Connection* conn, const std::string& window, const std::string& line,
                            const DebugSettings& settings) = nullptr;

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
    bool live = conn && debug_conn_settings && debug_conn_settings(conn, settings);
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
        if (!settings.filter.empty() && debug_filter_eval) {
            std::string expr = "$" + settings.filter + "($1-)";
            if (debug_filter_eval(expr, text, conn) <= 0 || expr.empty())
                return;
            text = expr;
        }
        if (settings.target[0] == '@') {
            if (debug_window_output)
                debug_window_output(conn, settings.target.substr(1), text, settings);
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

// /log turns a window's logging on, off or back to the default (or stores
// the choice for a window that is not open); /debug copies a connection's
// raw traffic to a custom window or a file. A file named by a script stays
// inside the settings folder or the log folder.
#include "commands/window_commands.h"

#include <string>
#include <vector>

#include "model/connection.h"
#include "app/window_open.h"
#include "model/window_record.h"
#include "commands/command_conn.h"
#include "commands/output_commands.h"
#include "core/files.h"
#include "core/ini.h"
#include "core/text_buffer.h"
#include "core/text_limits.h"
#include "model/colors.h"
#include "model/line_buffer.h"
#include "display/logging.h"
#include "display/window_lines.h"
#include "irc/link/traffic_log.h"
#include "script/exec/script_errors.h"
#include "script/exec/script_types.h"

namespace {

// The text without blanks at either end.
std::string trimmed(std::string_view s)
{
    const std::size_t a = s.find_first_not_of(' ');
    if (a == std::string_view::npos)
        return {};
    return std::string(s.substr(a, s.find_last_not_of(' ') - a + 1));
}

// The gate bit that says a connection's traffic is copied; the low bits are
// the /debug flags (1 wrap at the window's width, 2 timestamps).
constexpr int kDebugOn = 0x100;

void info(QWidget* window, const std::string& text)
{
    if (output_print)
        output_print(window, colour_item_value(kItemInfoText), text, EchoPrintOptions{}, kOutputEcho);
}

bool is_integer(const std::string& s)
{
    std::size_t k = (!s.empty() && (s[0] == '-' || s[0] == '+')) ? 1 : 0;
    return k < s.size() && text_is_digits(std::string_view(s).substr(k));
}

std::string join(const std::vector<std::string>& t, std::size_t from, std::size_t limit)
{
    std::string out;
    for (std::size_t i = from; i < t.size(); ++i) {
        if (i > from)
            out.push_back(' ');
        out += t[i];
        if (out.size() > limit) {
            out.resize(limit);
            break;
        }
    }
    return out;
}

std::string unquote(std::string s)
{
    s = (trimmed(s));
    if (s.size() >= 2 && s.front() == '"' && s.back() == '"')
        s = (trimmed(s.substr(1, s.size() - 2)));
    return s;
}

// A file a script names: resolved (a name without a folder into the given
// folder, another relative path from the settings folder) and kept inside
// the settings folder or the log folder. Empty when it is unusable or
// would lie outside them.
std::string contained_file(std::string name, const std::string& bare_folder)
{
    if (name.empty() || name.size() > kMediumText)
        return {};
    file_fix_slashes(name);
    if (name.find('/') == std::string::npos)
        name = bare_folder + name;
    std::string path;
    if (!file_resolve_file_path(name, path))
        return {};
    if (!file_path_is_inside(path, settings_dir) && !file_path_is_inside(path, log_folder()))
        return {};
    return path;
}

WindowRecord* logged_window(const std::string& name, Connection* conn)
{
    if (WindowRecord* rec = window_command_target(name, conn))
        return rec;
    const std::string chat = name[0] == '=' ? name : "=" + name;
    return win_find_by_name(chat, conn);
}

bool has_logging_item(const WindowRecord* rec)
{
    return rec->type == kWinStatus || rec->type == kWinChannel || rec->type == kWinQuery ||
           (rec->type == kWinCustom && !rec->picture);
}

void debug_clear(Connection* conn)
{
    conn->debug_target.clear();
    conn->debug_filter.clear();
    conn->debug_flags = 0;
    conn->debug_colour = 0;
}

} // namespace

// ---- /log ----

int cmd_log(CommandCall& call)
{
    const auto& t = call.tokens;
    const char* w = "log";
    Connection* conn = conn_of(call);
    int mode = 0;  // 0 none, 1 on, 2 off, 3 default
    std::size_t i = 1;
    if (i < t.size()) {
        if (text_equal_nocase(t[i], "on"))
            mode = 1;
        else if (text_equal_nocase(t[i], "off"))
            mode = 2;
        else if (text_equal_nocase(t[i], "default"))
            mode = 3;
        else
            return script_error(nullptr, w, {}, 3);
        ++i;
    }
    WindowRecord* rec = nullptr;
    std::string name, file;
    if (i >= t.size()) {
        rec = win_record_of(call.window);
        if (!rec)
            return script_error(nullptr, w, {}, 7);
    } else {
        std::string rest = join(t, i, kLongText);
        std::size_t f = rest.find(" -f");
        if (f == std::string::npos)
            f = rest.find(" -F");
        if (f != std::string::npos) {
            file = unquote(rest.substr(f + 3));
            rest.resize(f);
        }
        name = (trimmed(rest));
        if (name.empty())
            return script_error(nullptr, w, {}, 0);
        rec = logged_window(name, conn);
    }

    if (rec) {
        if (!has_logging_item(rec))
            return script_error(nullptr, w, {}, 7);
        if (mode == 1) {
            std::string path;
            if (!file.empty()) {
                path = contained_file(file, log_folder());
                if (path.empty())
                    return script_error(nullptr, w, {}, 3);
            }
            if (rec->logging)
                log_set_window_mode(rec, 0, 0, 0, {}, 3, 0);
            log_set_window_mode(rec, 0, 0, 0, path, 2, 0);
        } else if (mode == 2) {
            log_set_window_mode(rec, 0, 0, 0, {}, 3, 0);
        } else if (mode == 3) {
            log_set_window_mode(rec, 0, 0, 0, {}, 5, 0);
        } else if (call.show) {
            info(rec->hwnd.get(), script_text(rec->logging ? 836 : 837, rec->name));
        }
        return 1;
    }

    // A window that is not open: the choice waits in section "logging".
    if (name.empty())
        return script_error(nullptr, w, {}, 7);
    if (mode == 2) {
        ini_write("logging", name.c_str(), "off", std::string());
        if (call.show)
            info(call.window, script_text(835, name));
    } else if (mode == 3) {
        ini_write("logging", name.c_str(), nullptr, std::string());
        if (call.show)
            info(call.window, script_text(848, name));
    } else if (mode == 1) {
        std::string base;
        log_base_name(name, base, conn);
        std::string wanted = file.empty() ? base : file;
        file_fix_slashes(wanted);
        // A folder of its own keeps the file's folder, with the name's log name.
        const std::size_t slash = wanted.rfind('/');
        std::string path = slash == std::string::npos ? log_folder() + base
                                                      : wanted.substr(0, slash + 1) + base;
        path = contained_file(path, log_folder());
        if (path.empty())
            return script_error(nullptr, w, {}, 3);
        const std::string relative = file_relative_to_settings_dir(path);
        if (call.show)
            info(call.window, script_text(834, name, relative));
        ini_write("logging", name.c_str(), relative.c_str(), std::string());
    }
    return 1;
}

// ---- /debug ----

int cmd_debug(CommandCall& call)
{
    const auto& t = call.tokens;
    const char* w = "debug";
    Connection* conn = conn_of(call);
    if (!conn)
        return 0;
    std::size_t i = 1;
    std::string sw;
    if (i < t.size() && t[i].size() > 1 && t[i][0] == '-') {
        sw = t[i].substr(1);
        ++i;
    }
    auto has = [&](char c) { return sw.find(c) != std::string::npos; };
    int colour = -1;
    if (i < t.size() && is_integer(t[i])) {
        const long long v = std::strtoll(t[i].c_str(), nullptr, 10);
        colour = v >= 0 && v <= 0x7fffffff ? color_resolve(static_cast<std::uint32_t>(v)) : 0;
        if (++i >= t.size())
            return script_error(nullptr, w, {}, 0);
    }
    if (i >= t.size()) {
        if (call.show)
            info(call.window, conn->debug_target.empty() ? script_text(736)
                                                         : script_text(735, conn->debug_target));
        return 1;
    }
    const std::string& arg = t[i];
    if (text_equal_nocase(arg, "off")) {
        if (has('c') && !conn->debug_target.empty() && conn->debug_target[0] == '@')
            if (WindowRecord* rec = win_find_by_name(conn->debug_target, conn))
                win_close_request(rec->hwnd.get());
        debug_clear(conn);
        if (call.show)
            info(call.window, script_text(736));
        return 1;
    }

    std::string target;
    std::size_t next = i + 1;
    if (text_equal_nocase(arg, "on")) {
        target = settings_dir + "debug.log";
    } else if (arg[0] == '@') {
        if (win_special_name_kind(arg) != 0)
            return script_error(nullptr, w, {}, 3);
        target = arg.substr(0, kShortText);
    } else {
        // A file, perhaps in double quotes across words.
        std::string name = arg;
        if (arg[0] == '"') {
            std::size_t j = i;
            while ((name.size() < 2 || name.back() != '"') && ++j < t.size())
                name += " " + t[j];
            next = j + 1;
        }
        target = contained_file(unquote(name), settings_dir);
        if (target.empty())
            return script_error(nullptr, w, {}, 3);
    }
    std::string filter;
    if (has('i')) {
        filter = (trimmed(join(t, next, kMediumText)));
        if (filter.empty())
            return script_error(nullptr, w, {}, 3);
    }

    conn->debug_target = target;
    conn->debug_filter = filter;
    conn->debug_flags = kDebugOn | (has('p') ? 1 : 0) | (has('t') ? 2 : 0);
    conn->debug_colour = colour >= 0 ? colour : static_cast<int>(colour_item_value(kItemNormalText));
    if (target[0] == '@') {
        const std::string line = (has('n') ? "/!.window -n " : "/!.window ") + target;
        script_exec_line(call.window, line.c_str(), nullptr, 1, nullptr, call.script, conn);
        WindowRecord* rec = win_find_by_name(target, conn);
        if (rec && rec->type == kWinCustom) {
            rec->debug_raw = 1;
        } else {
            debug_clear(conn);
        }
    }
    if (call.show) {
        if (conn->debug_target.empty())
            info(call.window, script_text(736));
        else
            info(call.window, script_text(735, conn->debug_target[0] == '@'
                                                  ? conn->debug_target
                                                  : file_relative_to_settings_dir(conn->debug_target)));
    }
    return 1;
}

void debug_window_print(Connection* conn, const std::string& window, const std::string& line,
                        const DebugSettings& settings)
{
    WindowRecord* rec = win_find_by_name("@" + window, conn);
    if (!rec || rec->type != kWinCustom || !rec->hwnd.get())
        return;
    if (rec->subtype == 1) {
        wl_list_insert(rec, 0, line, static_cast<std::uint32_t>(settings.colour));
        return;
    }
    if (rec->picture)
        return;
    print_options.indent = 2;
    print_options.wrap_mode = (settings.flags & 1) ? 0 : static_cast<int>(kLongText);
    print_options.timestamp = (settings.flags & 2) ? 1 : 0;
    print_line(rec->hwnd.get(), line, static_cast<std::uint32_t>(settings.colour));
}

void debug_window_gone(WindowRecord* rec)
{
    if (!rec)
        return;
    for (Connection* conn = conn_list; conn; conn = conn->next)
        if (!conn->debug_target.empty() && text_equal_nocase(conn->debug_target, rec->name))
            debug_clear(conn);
}

namespace {

int g_closing_listener = 0;
int g_line_listener = 0;

// A custom window closing ends its connection's copy when the debug target
// names it as it is named: "@" and the rest.
void debug_window_closing(WindowRecord* rec)
{
    Connection* conn = rec->conn;
    if (rec->type != kWinCustom || !conn_is_live(conn))
        return;
    if (conn->debug_target.size() > 1 && conn->debug_target[0] == '@' &&
        text_equal_nocase(conn->debug_target, rec->name))
        debug_window_gone(rec);
}

}  // namespace

void debug_window_install()
{
    win_closing.add_once(g_closing_listener, kClosingDebugCopy, debug_window_closing);
    debug_window_line.add_once(g_line_listener, kDebugLineCustomWindow, debug_window_print);
}

void debug_window_uninstall()
{
    win_closing.drop(g_closing_listener);
    debug_window_line.drop(g_line_listener);
}

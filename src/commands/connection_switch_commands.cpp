// /scid and /scon: the switches, the connection chosen by id or position,
// the line run there or the running line moved there, and the way home.
#include "commands/connection_switch_commands.h"

#include <cctype>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "core/text_buffer.h"
#include "core/text_limits.h"
#include "model/colors.h"
#include "model/line_buffer.h"
#include "model/connection.h"
#include "model/connection_windows.h"
#include "model/window_record.h"
#include "script/exec/script_errors.h"
#include "script/exec/script_hooks.h"
#include "script/exec/script_types.h"

namespace {

// A message of /scid in the line's window.
void info(QWidget* window, const std::string& text)
{
    echo_line(window, text, kColorInfoText);
}

// Runs a command line on a connection with that window, one nesting level
// deeper; the interpreter's result.
int run_line(Connection* conn, QWidget* window, const std::string& line, int depth)
{
    return script_exec_line(window, line.c_str(), nullptr, 1, nullptr, nullptr, conn, depth);
}

struct ScidSwitches {
    bool reset = false;
    bool show = false;
    bool all = false;
    int filter = 0;
};

ScidSwitches parse_switches(const std::string& token)
{
    ScidSwitches s;
    for (std::size_t i = 1; i < token.size(); ++i) {
        char ch = text_lower_char(token[i]);
        if (ch == 'r')
            s.reset = true;
        else if (ch == 's')
            s.show = true;
        else if (ch == 'a')
            s.all = true;
        else if (ch == 't') {
            std::size_t j = i + 1;
            if (j < token.size() && (token[j] == '-' || token[j] == '+'))
                ++j;
            while (j < token.size() && std::isdigit(static_cast<unsigned char>(token[j])))
                ++j;
            s.filter = text_to_int_clamped(token.substr(i + 1, j - i - 1));
            if (s.filter < 0)
                s.filter = 0;
            i = j - 1;
        }
    }
    return s;
}

bool passes_filter(Connection* c, int filter)
{
    if (filter == 0)
        return true;
    bool connected = conn_is_connected(c) != 0;
    bool connecting = conn_is_connecting(c) != 0;
    if ((filter & 1) && connected)
        return true;
    if ((filter & 2) && !connected)
        return true;
    if ((filter & 4) && connecting)
        return true;
    if ((filter & 8) && !connected && !connecting)
        return true;
    return false;
}

std::string join_from(const std::vector<std::string>& tokens, std::size_t from)
{
    std::string line;
    for (std::size_t i = from; i < tokens.size(); ++i) {
        if (i > from)
            line += ' ';
        line += tokens[i];
    }
    return line.substr(0, kLongText);
}

std::string format_number(int number, int value)
{
    std::string form = conn_text(number);
    char buf[kShortTextSize];
    std::snprintf(buf, sizeof buf, form.c_str(), value);
    return buf;
}

int line_id(const ScidContext& ctx)
{
    Connection* c = conn_is_live(ctx.conn) ? ctx.conn : conn_current();
    return c ? c->id : 0;
}

// Back to the saved home connection; 1 when there was one.
bool return_home(ScidContext& ctx, bool show)
{
    if (!conn_is_live(ctx.home_conn))
        return false;
    Connection* home = ctx.home_conn;
    if (show)
        info(ctx.window, format_number(4151, home->id));
    QWidget* w = ctx.home_window;
    ctx.conn = home;
    ctx.window = win_record_of(w) ? w : conn_status_window(home);
    ctx.home_conn = nullptr;
    ctx.home_window = nullptr;
    return true;
}

} // namespace

int cmd_scid(ScidContext& ctx, const std::vector<std::string>& tokens, int is_scon)
{
    const std::string name = is_scon ? "scon" : "scid";
    std::size_t idx = 0;
    ScidSwitches sw;
    if (!tokens.empty() && tokens[0].size() > 1 && tokens[0][0] == '-' && !text_is_integer(tokens[0])) {
        sw = parse_switches(tokens[0]);
        idx = 1;
    }

    if (sw.all) {
        if (idx >= tokens.size()) {
            script_error(nullptr, name, {}, 0);
            return 0;
        }
        const std::string line = join_from(tokens, idx);
        int result = 1;
        Connection* c = conn_list;
        while (c) {
            Connection* successor = c->next;
            if (passes_filter(c, sw.filter)) {
                result = run_line(c, conn_status_window(c), line, ctx.depth + 1);
                if (!result)
                    break;
            }
            if (!conn_is_live(successor))
                break;
            c = successor;
        }
        return result;
    }

    if (sw.reset) {
        if (idx >= tokens.size()) {
            if (!return_home(ctx, sw.show) && sw.show)
                info(ctx.window, format_number(4152, line_id(ctx)));
            return 1;
        }
        Connection* target = conn_is_live(ctx.home_conn) ? ctx.home_conn
                             : conn_is_live(ctx.conn)    ? ctx.conn
                                                         : conn_current();
        if (!target || !passes_filter(target, sw.filter))
            return 1;
        return run_line(target, conn_status_window(target), join_from(tokens, idx), ctx.depth + 1);
    }

    if (idx >= tokens.size()) {
        if (sw.show)
            info(ctx.window, format_number(4152, line_id(ctx)));
        return 1;
    }
    int n = text_to_int_clamped(tokens[idx]);
    ++idx;
    Connection* chosen = nullptr;
    if (n <= 0)
        chosen = conn_list;
    else
        chosen = is_scon ? conn_by_position(n) : conn_by_id(n);
    if (!chosen) {
        if (sw.show)
            info(ctx.window, format_number(is_scon ? 4154 : 4153, n));
        return 0;
    }
    if (!passes_filter(chosen, sw.filter))
        return 1;
    if (idx < tokens.size())
        return run_line(chosen, conn_status_window(chosen), join_from(tokens, idx), ctx.depth + 1);

    if (chosen == ctx.home_conn && return_home(ctx, sw.show))
        return 1;
    if (chosen == ctx.conn) {
        if (sw.show)
            info(ctx.window, format_number(4152, chosen->id));
        return 1;
    }
    if (!conn_is_live(ctx.home_conn)) {
        ctx.home_conn = conn_is_live(ctx.conn) ? ctx.conn : conn_current();
        ctx.home_window = ctx.window;
    }
    if (sw.show)
        info(ctx.window, format_number(4155, chosen->id));
    ctx.conn = chosen;
    ctx.window = conn_status_window(chosen);
    return 1;
}

int cmd_scid(CommandCall& call)
{
    const int is_scon = call.variant;
    ExecArgs* run = call.run;
    ScidContext ctx;
    ctx.conn = run ? run->conn : call.conn;
    ctx.window = run ? run->window : call.window;
    ctx.home_conn = run ? run->home_conn : nullptr;
    ctx.home_window = run ? run->home_window : nullptr;
    ctx.depth = run ? run->depth : call.depth - 1;
    std::vector<std::string> params(call.tokens.begin() + (call.tokens.empty() ? 0 : 1), call.tokens.end());
    int result = cmd_scid(ctx, params, is_scon);
    if (run) {
        run->conn = ctx.conn;
        run->window = ctx.window;
        run->home_conn = ctx.home_conn;
        run->home_window = ctx.home_window;
    }
    return result;
}

void connection_switch_register()
{
    script_register_command("scid", cmd_scid, 0);
    script_register_command("scon", cmd_scid, 1);
}

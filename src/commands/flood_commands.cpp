#include "commands/flood_commands.h"

#include <cctype>
#include <climits>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "model/connection.h"
#include "model/window_record.h"
#include "commands/messaging_commands.h"
#include "core/numbered_texts.h"
#include "core/options.h"
#include "core/text_buffer.h"
#include "core/text_limits.h"
#include "irc/link/connect.h"
#include "irc/link/flood.h"
#include "script/exec/script_types.h"

namespace {

// A whole decimal integer with an optional sign; values past the int range
// are held at its ends.
std::optional<int> integer_of(const std::string& text)
{
    std::size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+'))
        negative = text[i++] == '-';
    if (i >= text.size())
        return std::nullopt;
    long long value = 0;
    for (; i < text.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(text[i])))
            return std::nullopt;
        if (value <= INT_MAX)
            value = value * 10 + (text[i] - '0');
    }
    if (negative)
        value = -value;
    if (value > INT_MAX)
        return INT_MAX;
    if (value < INT_MIN)
        return INT_MIN;
    return static_cast<int>(value);
}

std::string text_of(int id) { return text_load_string(id); }

std::string text_with_numbers(int id, int a, int b = 0, int c = 0, int d = 0)
{
    char buf[kMediumTextSize];
    std::snprintf(buf, sizeof buf, text_load_string(id), a, b, c, d);
    return buf;
}

// The window the state is shown in: the command's window, else the status
// window of the connection.
QWidget* output_window(CommandCall& call, Connection* conn)
{
    WindowRecord* rec = win_record_of(call.window);
    if (win_is_record(rec) && rec->hwnd.get())
        return rec->hwnd.get();
    return conn_is_live(conn) ? link_status_window(conn) : nullptr;
}

} // namespace

int cmd_flood(CommandCall& call)
{
    Connection* conn = conn_is_live(call.conn) ? call.conn : conn_current();
    std::size_t at = 1;
    int ctcp_switch = 0;
    const std::string first = call.arg(1);
    if (first.size() == 2 && (first[0] == '+' || first[0] == '-') && (first[1] == 'c' || first[1] == 'C')) {
        opt_set(OPT_FLOOD_ANSWER_CTCPS, first[0] == '+' ? 1 : 0);
        ctcp_switch = 1;
        at = 2;
    }
    const bool more = call.argc() >= at;
    const std::string word = text_lower_copy(call.arg(at));
    int emptied = 0;   // 801 after "off", 802 after "clear"
    if (word == "off") {
        opt_set(OPT_FLOOD_PROTECTION, 0);
        flood_clear(conn, 1);
        emptied = 801;
    } else if (word == "clear") {
        flood_clear(conn, 0);
        emptied = 802;
    } else if (word == "on") {
        opt_set(OPT_FLOOD_PROTECTION, 1);
    } else if (integer_of(word)) {
        opt_set(OPT_FLOOD_PROTECTION, 1);
        int values[4] = {300, 30, 10, 0};
        for (int k = 0; k < 4; ++k) {
            std::optional<int> n = integer_of(call.arg(at + static_cast<std::size_t>(k)));
            if (!n)
                continue;
            const bool take = k == 0 ? *n > 99 : k == 3 ? *n >= 0 : *n > 0;
            if (take)
                values[k] = *n;
        }
        opt_set(OPT_FLOOD_BYTES, values[0]);
        opt_set(OPT_FLOOD_QUEUE_LINES, values[1]);
        opt_set(OPT_FLOOD_USER_LINES, values[2]);
        opt_set(OPT_FLOOD_IGNORE_SECONDS, values[3]);
    }
    if (!call.show)
        return 1;

    std::vector<std::string> lines;
    if (ctcp_switch || call.argc() == 0)
        lines.push_back(text_of(opt(OPT_FLOOD_ANSWER_CTCPS) ? 862 : 863));
    if (emptied) {
        lines.push_back(text_of(emptied));
    } else if (!ctcp_switch || more) {
        if (opt(OPT_FLOOD_PROTECTION)) {
            lines.push_back(text_of(803));
            lines.push_back(text_with_numbers(804, opt(OPT_FLOOD_BYTES), opt(OPT_FLOOD_QUEUE_LINES),
                                              opt(OPT_FLOOD_USER_LINES), opt(OPT_FLOOD_IGNORE_SECONDS)));
            lines.push_back(text_with_numbers(805, flood_queue_size(conn)));
        } else {
            lines.push_back(text_of(801));
        }
    }
    flood_print(output_window(call, conn), lines, emptied ? 0 : 1);
    return 1;
}

void flood_commands_register()
{
    if (!script_register_command_family("cmd_flood", cmd_flood))
        script_register_command("flood", cmd_flood);
}

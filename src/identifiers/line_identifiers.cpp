// $line(window, N [, list flag]): the N-th line of a window's buffer or list
// box, or their number for N of 0 or less.
#include <cstdlib>
#include <string>

#include "model/window_record.h"
#include "commands/window_commands.h"
#include "core/string_list.h"
#include "core/text_buffer.h"
#include "model/colors.h"
#include "display/window_lines.h"
#include "script/exec/script_types.h"

namespace {

// Every node is a line in the channels-list and links windows.
bool node_lines(const WindowRecord* rec)
{
    return rec->type == kWinChanList || rec->type == kWinLinks;
}

} // namespace

int id_line(IdentCall& call)
{
    const int r = ident_args_step(call, kIdentAnyArgs);
    if (r >= 0)
        return r;
    const int argc = ident_arg_count(call);
    if (argc < 2 || argc > 3)
        return ident_error(call.token, call.work, 6);
    const std::string& name = ident_arg(call, 0);
    const long long n = std::strtoll(ident_arg(call, 1).c_str(), nullptr, 10);
    const bool list_flag = argc == 3 && std::strtoll(ident_arg(call, 2).c_str(), nullptr, 10) != 0;
    const std::string_view prop = ident_property(call);
    std::string value;
    WindowRecord* rec = window_command_target(name, call.conn());
    const bool list = rec && ((rec->type == kWinCustom && rec->subtype == 1) ||
                              (list_flag && (rec->type == kWinChannel ||
                                             (rec->type == kWinCustom && rec->subtype == 2))));
    if (!rec || (list_flag && !list)) {
        // No such window, or no list box to read: empty.
    } else if (list) {
        const int count = wl_list_count(rec);
        if (n <= 0) {
            value = std::to_string(count);
        } else if (n <= count) {
            const int k = static_cast<int>(n);
            if (prop.empty())
                value = rec->type == kWinChannel ? wl_nick_at(rec, k) : wl_list_text(rec, k);
            else if (text_equal_nocase(prop, "state"))
                value = wl_list_selected(rec, k) ? "1" : "0";
            else if (text_equal_nocase(prop, "color"))
                value = std::to_string(color_resolve(wl_list_colour(rec, k)));
        }
    } else if (node_lines(rec)) {
        const int count = strlist_count(rec->lines);
        if (n <= 0) {
            value = std::to_string(count);
        } else if (n <= count) {
            const StringNode* p = rec->lines;
            for (long long i = 1; p && i < n; ++i)
                p = p->next;
            if (p)
                value = prop.empty() ? p->text
                        : text_equal_nocase(prop, "state") ? "0"
                        : text_equal_nocase(prop, "color")
                            ? std::to_string(color_resolve(static_cast<std::uint32_t>(p->number)))
                            : std::string();
        }
    } else if (n <= 0) {
        value = std::to_string(wl_text_count(rec));
    } else if (const StringNode* first = wl_text_line(rec, n > 0x7fffffff ? 0x7fffffff : static_cast<int>(n))) {
        if (prop.empty())
            value = wl_text_joined(first);
        else if (text_equal_nocase(prop, "state"))
            value = "0";
        else if (text_equal_nocase(prop, "color"))
            value = std::to_string(color_resolve(static_cast<std::uint32_t>(first->number)));
    }
    *call.value = value;
    return ident_finish(call);
}

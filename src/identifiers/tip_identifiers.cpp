// $tip makes a tip or reads one; $tips tells whether tips are on.
#include "identifiers/tip_identifiers.h"

#include <cstdlib>
#include <string>

#include "model/connection.h"
#include "model/window_record.h"
#include "bars/tips.h"
#include "core/text_buffer.h"
#include "script/exec/script_types.h"

namespace {

bool all_digits(const std::string& s)
{
    if (s.empty())
        return false;
    std::size_t i = s[0] == '-' ? 1 : 0;
    if (i == s.size())
        return false;
    for (; i < s.size(); ++i)
        if (s[i] < '0' || s[i] > '9')
            return false;
    return true;
}

int number(const std::string& s)
{
    const long long v = std::strtoll(s.c_str(), nullptr, 10);
    return v > 1000000 ? 1000000 : v < -1000000 ? -1000000 : static_cast<int>(v);
}


void property(const Tip* t, std::string_view prop, std::string& out)
{
    if (prop.empty() || text_equal_nocase(prop, "name"))
        out = t->name;
    else if (text_equal_nocase(prop, "title"))
        out = t->title;
    else if (text_equal_nocase(prop, "text"))
        out = t->text;
    else if (text_equal_nocase(prop, "delay"))
        out = std::to_string(t->remaining_ms / 1000);
    else if (text_equal_nocase(prop, "iconfn"))
        out = t->icon_file;
    else if (text_equal_nocase(prop, "iconpos"))
        out = std::to_string(t->icon_index);
    else if (text_equal_nocase(prop, "alias"))
        out = t->alias;
    else if (text_equal_nocase(prop, "wid"))
        out = std::to_string(win_is_record(t->window) ? t->window->number : 0);
    else if (text_equal_nocase(prop, "cid"))
        out = std::to_string(conn_is_live(t->conn) ? t->conn->id : 0);
}

}  // namespace

// $tip(name, title, text, seconds, icon file, icon index, alias, window id)
// $tip(N)   $tip(name)
int id_tip(IdentCall& call)
{
    const int r = ident_args_step(call, kIdentAnyArgs);
    if (r >= 0)
        return r;
    const int argc = ident_arg_count(call);
    std::string value;
    if (argc == 1) {
        const std::string& a = ident_arg(call, 0);
        const std::string_view prop = ident_property(call);
        if (all_digits(a)) {
            const int n = number(a);
            if (n < 1)
                value = std::to_string(tip_count());
            else if (const Tip* t = tip_at(n))
                property(t, prop, value);
        } else if (const Tip* t = tip_find_by_name(a)) {
            if (prop.empty())
                value = std::to_string(tip_position(t));
            else
                property(t, prop, value);
        }
        return ident_result(call, value);
    }
    if (argc < 3)
        return ident_error(call.token, call.work, 4);
    const int wid = argc >= 8 ? number(ident_arg(call, 7)) : 0;
    WindowRecord* rec = nullptr;
    if (wid >= 1) {
        rec = win_record_by_id(wid);
    } else {
        Connection* conn = call.conn();
        if (!conn_is_live(conn))
            if (WindowRecord* own = win_record_of(call.window()))
                conn = own->conn;
        rec = conn_is_live(conn) ? win_find_by_type(kWinStatus, conn) : nullptr;
    }
    const int pos = tip_show(rec, ident_arg(call, 0), ident_arg(call, 1), ident_arg(call, 2),
                             argc >= 4 ? number(ident_arg(call, 3)) : 0, argc >= 5 ? ident_arg(call, 4) : std::string(),
                             argc >= 6 ? number(ident_arg(call, 5)) : 0, argc >= 7 ? ident_arg(call, 6) : std::string(),
                             0, nullptr);
    if (pos == 0)
        return ident_error(call.token, call.work, 8);
    if (pos == -1)
        return ident_error(call.token, call.work, 6);
    if (pos == -2)
        return ident_error(call.token, call.work, 16);
    value = std::to_string(pos);
    return ident_result(call, value);
}

// $tips
int id_tips(IdentCall& call)
{
    *call.value = ident_truth(tipopt(TIPOPT_ENABLED) != 0);
    return 2;
}

void tip_identifiers_install()
{
    ident_register_family("id_tip", id_tip);
    ident_register("tips", id_tips);
}

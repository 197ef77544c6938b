#include "identifiers/time_identifiers.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

#include "model/connection.h"
#include "app/startup.h"
#include "core/record_slots.h"
#include "core/text_buffer.h"
#include "core/time_date.h"
#include "identifiers/tokens.h"
#include "irc/link/close.h"
#include "platform/platform_utils.h"
#include "script/exec/script_text.h"

namespace {

// The millisecond counter when the connection's link was set up; 0 while it
// is not.
RecordSlot<std::uint64_t> connected_at_slot;
int link_stage_listener = 0;

const char* default_format(std::string_view word)
{
    if (text_equal_nocase(word, "time"))
        return "HH:nn:ss";
    if (text_equal_nocase(word, "date"))
        return "dd/mm/yy";
    return "ddd mmm dd HH:nn:ss yyyy";
}

int id_asctime(IdentCall& call)
{
    const std::string_view word = ident_word(call);
    const bool has_args = call.name.find('(') != std::string_view::npos;
    std::string out;
    if (!has_args) {
        time_format_value(std::time(nullptr), default_format(word), false, out);
        *call.value = out;
        return 2;
    }
    const int r = ident_args_range(call, 1, 2, true);
    if (r >= 0)
        return r;
    const bool gmt = text_equal_nocase(word, "gmt");
    const std::string& a = ident_arg(call, 0);
    if (ident_arg_count(call) == 2) {
        if (!a.empty() && !ident_arg(call, 1).empty())
            time_format_value(static_cast<std::time_t>(std::strtoll(a.c_str(), nullptr, 10)), ident_arg(call, 1),
                              gmt, out);
    } else if (arg_is_number(a)) {
        time_format_value(static_cast<std::time_t>(std::strtoll(a.c_str(), nullptr, 10)), default_format(word), gmt,
                          out);
    } else if (!a.empty()) {
        time_format_value(std::time(nullptr), a, gmt, out);
    }
    return ident_result(call, out);
}

int id_date(IdentCall& call)
{
    const std::string_view word = call.name;
    const char* format = text_equal_nocase(word, "adate")      ? "mm/dd/yy"
                         : text_equal_nocase(word, "fulldate") ? "ddd mmm dd HH:nn:ss yyyy"
                         : text_equal_nocase(word, "day")      ? "dddd"
                                                               : "dd/mm/yy";
    time_format_value(std::time(nullptr), format, false, *call.value);
    return 2;
}

int id_ctime(IdentCall& call)
{
    std::string out;
    if (!ident_arg(call, 0).empty())
        time_parse_date(ident_arg(call, 0), out);
    return ident_result(call, out);
}

int id_duration(IdentCall& call)
{
    std::string out;
    const int mode = ident_arg_count(call) == 2 ? static_cast<int>(std::strtol(ident_arg(call, 1).c_str(), nullptr, 10)) : 0;
    if (!ident_arg(call, 0).empty())
        time_duration_for_script(ident_arg(call, 0), mode, out);
    return ident_result(call, out);
}

int id_uptime(IdentCall& call)
{
    std::string out;
    if (call.name.find('(') == std::string_view::npos) {
        const std::uint64_t ms = time_connected_ms(call.conn());
        *call.value = std::to_string(ms / 1000u);
        return 2;
    }
    const int r = ident_args_range(call, 1, 2, true);
    if (r >= 0)
        return r;
    const std::string& kind = ident_arg(call, 0);
    std::uint64_t ms = 0;
    if (text_equal_nocase(kind, "kest")) {
        const std::uint64_t now = time_ticks_ms();
        ms = now > app_start_ms ? now - app_start_ms : 0;
    } else if (text_equal_nocase(kind, "server")) {
        ms = time_connected_ms(call.conn());
    } else if (text_equal_nocase(kind, "system")) {
        ms = time_ticks_ms();
    }
    const int mode = ident_arg_count(call) == 2 ? static_cast<int>(std::strtol(ident_arg(call, 1).c_str(), nullptr, 10)) : 0;
    if (mode == 1 || mode == 2)
        time_duration_for_script(std::to_string(ms / 1000u), mode == 2 ? 2 : 0, out);
    else if (mode == 3)
        out = std::to_string(ms / 1000u);
    else
        out = std::to_string(ms);
    return ident_result(call, out);
}

int id_ticks(IdentCall& call)
{
    *call.value = std::to_string(time_ticks_ms());
    return 2;
}

int id_stamp(IdentCall& call)
{
    const std::string_view w = call.name;
    const int kind = text_equal_nocase(w, "timestampfmt") ? 0
                     : text_equal_nocase(w, "timestamp")  ? 1
                     : text_equal_nocase(w, "logstampfmt") ? 2
                                                           : 3;
    time_stamp_text(*call.value, kind);
    return 2;
}

int id_os(IdentCall& call)
{
    os_detect_version(call.value);
    return 2;
}

} // namespace

void time_format_value(std::time_t t, std::string_view format, bool gmt, std::string& out)
{
    out.assign(format);
    if (!time_format_user(t, out, gmt ? 1 : 0))
        out.clear();
}

void time_duration_for_script(std::string_view n, int mode, std::string& out)
{
    out.clear();
    if (arg_is_number(n)) {
        double v = std::floor(std::strtod(std::string(n).c_str(), nullptr));
        if (mode == 2 && v > 60)
            v = std::floor(v / 60) * 60;
        char buf[64];
        std::snprintf(buf, sizeof buf, "%0.0f", v);
        time_duration_text(buf, out, mode == 3 ? 3 : 0);
        return;
    }
    time_duration_text(n, out, mode);
}

std::uint64_t time_connected_ms(Connection* conn)
{
    if (!conn_is_live(conn) || !conn_is_connected(conn))
        return 0;
    const std::uint64_t* at = conn->state_slots.find(connected_at_slot);
    if (!at || !*at)
        return 0;
    const std::uint64_t now = time_ticks_ms();
    return now > *at ? now - *at : 0;
}

void time_identifiers_register()
{
    // The connect time of each link, for $uptime.
    irc_link_stage.add_once(link_stage_listener, 100, [](int stage, Connection* conn) {
        if (!conn)
            return;
        // Stage 1: the link is connected; 0 a new attempt, 2 torn down.
        if (stage == 1)
            conn->state_slots.get(connected_at_slot) = time_ticks_ms();
        else if (stage == 0 || stage == 2)
            conn->state_slots.get(connected_at_slot) = 0;
    });
    static const struct {
        const char* family;
        IdentHandler handler;
    } kFamilies[] = {
        {"id_asctime", id_asctime}, {"id_date", id_date},           {"id_day", id_date},
        {"id_ctime", id_ctime},     {"id_duration", id_duration},   {"id_uptime", id_uptime},
        {"time_ticks_ms", id_ticks}, {"time_stamp_text", id_stamp}, {"os_detect_version", id_os},
    };
    for (const auto& f : kFamilies)
        ident_register_family(f.family, f.handler);
}

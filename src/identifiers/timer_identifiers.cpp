#include "identifiers/timer_identifiers.h"

#include <cctype>
#include <cstdio>
#include <string>

#include "model/connection.h"
#include "model/window_record.h"
#include "core/text_buffer.h"
#include "script/exec/script_types.h"
#include "script/stores/timers.h"

namespace {

bool is_integer(std::string_view s)
{
    std::size_t k = 0;
    if (k < s.size() && (s[k] == '-' || s[k] == '+'))
        ++k;
    if (k >= s.size())
        return false;
    for (; k < s.size(); ++k)
        if (!std::isdigit(static_cast<unsigned char>(s[k])))
            return false;
    return true;
}

QWidget* timer_window(const Timer* t) { return timer_window_of(t); }

const char* truth(bool b) { return b ? "$true" : "$false"; }

} // namespace

long long timer_seconds_left(const Timer* t)
{
    if (t->start_hour >= 0 && t->start_minute >= 0) {
        int h = 0, m = 0, s = 0;
        if (!timer_local_time(&h, &m, &s))
            return 0;
        long long target = t->start_hour * 3600LL + t->start_minute * 60LL;
        long long current = h * 3600LL + m * 60LL;
        if (target >= current)
            return target - current - s;
        return 86400 - (current - target) - s;
    }
    std::uint64_t now = timer_clock_ms();
    long long elapsed = now > t->last_run ? static_cast<long long>(now - t->last_run) : 0;
    if (t->millis || t->mm_id) {
        if (elapsed > t->interval)
            elapsed = t->interval;
        return (t->interval - elapsed) / 1000;
    }
    long long secs = elapsed / 1000;
    if (secs > t->interval)
        secs = t->interval;
    return t->interval - secs;
}

int timer_ident_value(std::string_view arg, std::string_view property, std::string* out)
{
    out->clear();
    Timer* t = nullptr;
    int position = 0;
    if (is_integer(arg)) {
        long long n = std::atoll(std::string(arg).c_str());
        if (n <= 0) {
            *out = std::to_string(timer_count());
            return 1;
        }
        int i = 1;
        for (t = timer_first(); t && i < n; t = t->next)
            ++i;
        if (!t)
            return 0;
        position = i;
    } else {
        int i = 1;
        for (t = timer_first(); t; t = t->next, ++i)
            if (!t->dropped && text_equal_nocase(t->name, arg))
                break;
        if (!t)
            return 0;
        position = i;
    }
    if (property.empty()) {
        *out = is_integer(arg) ? t->name : std::to_string(position);
        return 1;
    }
    if (text_equal_nocase(property, "com")) {
        *out = t->command;
    } else if (text_equal_nocase(property, "reps")) {
        *out = std::to_string(t->repetitions > 0 ? t->repetitions : 0);
    } else if (text_equal_nocase(property, "delay")) {
        *out = std::to_string(t->interval);
    } else if (text_equal_nocase(property, "time")) {
        if (t->start_hour >= 0 && t->start_minute >= 0) {
            char buf[32];
            std::snprintf(buf, sizeof buf, "%02d:%02d", t->start_hour, t->start_minute);
            *out = buf;
        }
    } else if (text_equal_nocase(property, "type")) {
        *out = t->offline ? "offline" : "online";
    } else if (text_equal_nocase(property, "mmt")) {
        *out = truth(t->mm_id != 0);
    } else if (text_equal_nocase(property, "anysc")) {
        *out = truth(t->follow != 0);
    } else if (text_equal_nocase(property, "pause")) {
        *out = truth(t->paused != 0);
    } else if (text_equal_nocase(property, "hwnd") || text_equal_nocase(property, "wid")) {
        // Windows are known to scripts by their numbers.
        QWidget* w = timer_window(t);
        WindowRecord* rec = w ? win_record_of(w) : nullptr;
        *out = std::to_string(rec ? rec->number : 0);
    } else if (text_equal_nocase(property, "cid")) {
        *out = std::to_string(conn_is_live(t->conn) ? t->conn->id : 0);
    } else if (text_equal_nocase(property, "secs")) {
        *out = std::to_string(timer_seconds_left(t));
    } else {
        return 0;
    }
    return 1;
}

int id_timer(IdentCall& call)
{
    int r = ident_args_step(call, 1);
    if (r >= 0)
        return r;
    std::string value;
    timer_ident_value(ident_arg(call, 0), ident_property(call), &value);
    *call.value = value;
    return ident_finish(call);
}

int id_ctimer(IdentCall& call)
{
    *call.value = timer_current_name();
    return 2;
}

int id_ltimer(IdentCall& call)
{
    *call.value = timer_last_name();
    return 2;
}

void timer_identifiers_register()
{
    ident_register_family("id_timer", id_timer);
    ident_register_family("id_ctimer", id_ctimer);
    ident_register_family("timer_last_name", id_ltimer);
}

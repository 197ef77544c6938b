#include "commands/timer_commands.h"

class QWidget;

#include <cctype>
#include <climits>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "model/connection.h"
#include "commands/switches.h"
#include "core/text_buffer.h"
#include "core/text_limits.h"
#include "core/wildcard.h"
#include "platform/frame_timers.h"
#include "platform/platform_utils.h"
#include "script/exec/script_errors.h"
#include "script/exec/script_hooks.h"
#include "script/exec/script_types.h"
#include "script/stores/timers.h"

namespace {

// The separator line around a listing.
void print_separator_line(QWidget* window) { script_echo_line(window, "-", kColourInfo); }

void say(QWidget* window, const std::string& text) { script_echo_line(window, text, kColourInfo); }

struct TimerSwitches {
    bool o = false, m = false, h = false, c = false, e = false, p = false, r = false, i = false,
         d = false;
};

bool is_switch_word(const std::string& w)
{
    return w.size() > 1 && w[0] == '-' && !std::isdigit(static_cast<unsigned char>(w[1]));
}

TimerSwitches parse_switches(const std::string& w)
{
    TimerSwitches s;
    SwitchReader r(w);
    while (const char c = r.next()) {
        switch (text_lower_char(c)) {
        case 'o': s.o = true; break;
        case 'm': s.m = true; break;
        case 'h': s.h = true; s.m = true; break;
        case 'c': s.c = true; break;
        case 'e': s.e = true; break;
        case 'p': s.p = true; break;
        case 'r': s.r = true; break;
        case 'i': s.i = true; break;
        case 'd': s.d = true; break;
        default: break;
        }
    }
    return s;
}

// A whole number with an optional sign; false for anything else.
bool parse_number(const std::string& w, long long& out)
{
    std::size_t k = 0;
    bool neg = false;
    if (k < w.size() && (w[k] == '-' || w[k] == '+')) {
        neg = w[k] == '-';
        ++k;
    }
    if (k >= w.size())
        return false;
    long long n = 0;
    for (; k < w.size(); ++k) {
        if (!std::isdigit(static_cast<unsigned char>(w[k])))
            return false;
        if (n < 10000000000000LL)
            n = n * 10 + (w[k] - '0');
    }
    out = neg ? -n : n;
    return true;
}

// "HH:MM" with both parts present and in range.
bool parse_time_of_day(const std::string& w, int& hour, int& minute)
{
    std::size_t colon = w.find(':');
    if (colon == std::string::npos || colon == 0 || colon + 1 >= w.size() || colon > 2 ||
        w.size() - colon - 1 > 2)
        return false;
    for (std::size_t k = 0; k < w.size(); ++k)
        if (k != colon && !std::isdigit(static_cast<unsigned char>(w[k])))
            return false;
    hour = std::atoi(w.substr(0, colon).c_str());
    minute = std::atoi(w.substr(colon + 1).c_str());
    return hour >= 0 && hour <= 23 && minute >= 0 && minute <= 59;
}

// The name after "timer" in the command word as it was written (case kept).
std::string written_name(const CommandCall& call)
{
    std::string_view line = call.line;
    std::size_t k = 0;
    while (k < line.size() && line[k] == ' ')
        ++k;
    std::size_t end = line.find(' ', k);
    std::string_view word = line.substr(k, end == std::string_view::npos ? line.npos : end - k);
    const std::string& low = call.tokens.empty() ? std::string() : call.tokens[0];
    // The lower-cased word is a copy of the written one: take the same tail.
    if (word.size() >= low.size() && low.size() >= 5) {
        std::string_view tail = word.substr(word.size() - (low.size() - 5));
        bool same = true;
        for (std::size_t j = 0; j < tail.size() && same; ++j)
            same = text_lower_char(tail[j]) == low[5 + j];
        if (same)
            return std::string(tail);
    }
    return low.size() > 5 ? low.substr(5) : std::string();
}

bool is_wildcard(const std::string& name)
{
    return name.find_first_of("*?") != std::string::npos;
}

std::string describe_with_network(const Timer* t)
{
    std::string line = timer_describe(t);
    if (conn_is_live(t->conn)) {
        std::string network;
        if (conn_get_network(network, t->conn) && !network.empty())
            line += " (" + network + ")";
    }
    return line;
}

void list_timers(QWidget* window, const std::string* pattern)
{
    std::vector<std::string> lines;
    for (Timer* t = timer_first(); t; t = t->next)
        if (!pattern || wild_match(*pattern, t->name, 0, 1))
            lines.push_back(describe_with_network(t));
    if (lines.empty()) {
        say(window, script_text(5506));
        return;
    }
    print_separator_line(window);
    say(window, script_text(5507));
    for (const std::string& l : lines)
        say(window, l);
    print_separator_line(window);
}

std::vector<std::string> matching_names(const std::string& pattern)
{
    std::vector<std::string> names;
    for (Timer* t = timer_first(); t; t = t->next)
        if (wild_match(pattern, t->name, 0, 1))
            names.push_back(t->name);
    return names;
}

} // namespace

std::string timer_describe(const Timer* t)
{
    std::string line = script_text(5508, t->name);
    if (t->start_hour >= 0 && t->start_minute >= 0) {
        char buf[32];
        std::snprintf(buf, sizeof buf, "%02d:%02d ", t->start_hour, t->start_minute);
        line += buf;
    }
    if (t->repetitions > 0)
        line += script_text(5512, std::to_string(t->repetitions));
    line += script_text(t->millis ? 5513 : 5514, std::to_string(t->interval), t->command);
    return line.substr(0, kLongText);
}

int cmd_timer(CommandCall& call)
{
    QWidget* window = call.window;
    const std::string word = call.tokens.empty() ? std::string("timer") : call.tokens[0];
    Connection* conn = call.conn;
    if (!conn_is_live(conn))
        conn = conn_current();

    // The name.
    bool all = word == "timers";
    bool bare = word == "timer";
    std::string name;
    if (all)
        name = "*";
    else if (bare)
        name = timer_free_name();
    else
        name = written_name(call).substr(0, kShortText);
    if (name.empty()) {
        say(window, script_text(5503));
        return 0;
    }
    bool wild = all || is_wildcard(name);

    std::size_t idx = 1;
    TimerSwitches sw;
    if (call.tokens.size() > 1 && is_switch_word(call.tokens[1])) {
        sw = parse_switches(call.tokens[1]);
        idx = 2;
    }
    std::vector<std::string> words(call.tokens.begin() + std::min(idx, call.tokens.size()),
                                   call.tokens.end());
    bool off = words.size() == 1 && words[0] == "off";

    if (all && off) {
        timer_remove_matching(1, conn, nullptr);
        if (call.show)
            say(window, script_text(5502));
        return 1;
    }
    if (wild && !all && off) {
        int count = 0;
        for (Timer* t = timer_first(); t; t = t->next)
            if (wild_match(name, t->name, 0, 1)) {
                t->report = 0;
                t->interval = 0;
                t->repetitions = -1;
                ++count;
            }
        if (call.show)
            say(window, script_text(5504, std::to_string(count), name));
        timer_remove_matching(2, nullptr, nullptr);
        return 1;
    }
    if (wild && sw.e) {
        std::vector<std::string> names = matching_names(name);
        for (const std::string& n : names)
            timer_run_now(timer_find(n));
        if (call.show)
            say(window, script_text(5505, std::to_string(names.size()), name));
        return 1;
    }
    if (sw.e) {
        Timer* t = timer_find(name);
        if (!t) {
            say(window, script_text(5509, name));
            return 0;
        }
        timer_run_now(t);
        return 1;
    }
    if (off) {
        Timer* t = timer_find(name);
        if (!t) {
            say(window, script_text(5509, name));
            return 0;
        }
        if (t->running) {
            t->repetitions = -1;
        } else {
            timer_remove(t);
            if (call.show)
                say(window, script_text(5501, name));
        }
        return 1;
    }
    if (words.empty()) {
        if (!wild && !bare && (sw.p || sw.r)) {
            Timer* t = timer_find(name);
            if (!t) {
                say(window, script_text(5509, name));
                return 0;
            }
            t->paused = sw.p ? 1 : 0;
            if (call.show)
                say(window, script_text(sw.p ? 5516 : 5517, t->name));
            return 1;
        }
        if (bare || all)
            list_timers(window, nullptr);
        else
            list_timers(window, &name);
        return 1;
    }

    // A new timer: [HH:MM] repetitions interval command...
    int hour = -1, minute = -1;
    std::size_t w = 0;
    if (words[0].find(':') != std::string::npos) {
        if (!parse_time_of_day(words[0], hour, minute)) {
            say(window, script_text(5510));
            return 0;
        }
        w = 1;
        if (words.size() < w + 3)
            return script_error(nullptr, "timer", {}, 0);
    }
    if (words.size() < w + 3) {
        Timer* t = wild ? nullptr : timer_find(name);
        if (t) {
            say(window, describe_with_network(t));
            return 1;
        }
        say(window, script_text(5509, name));
        return 0;
    }
    if (wild) {
        say(window, script_text(5503));
        return 0;
    }
    long long reps = 0, interval = 0;
    if (!parse_number(words[w], reps) || !parse_number(words[w + 1], interval) ||
        interval > INT_MAX || interval < INT_MIN)
        return script_error(nullptr, "timer", {}, 3);
    if (reps < 0)
        reps = 0;
    if (reps > INT_MAX)
        reps = INT_MAX;
    bool millis = sw.m;
    if (interval <= 0) {
        interval = 1;
        millis = true;
    }
    std::string command;
    for (std::size_t k = w + 2; k < words.size(); ++k) {
        if (!command.empty())
            command += ' ';
        command += words[k];
        if (command.size() >= kLongText)
            break;
    }
    command.resize(std::min(command.size(), kLongText));

    Timer* old = timer_find(name);
    if (!old && timer_count() >= kMaxTimers) {
        say(window, script_text(5515));
        return 0;
    }
    if (old)
        timer_remove(old);

    Timer* t = new (std::nothrow) Timer;
    if (!t)
        return script_error(nullptr, "timer", {}, 2);
    t->name = name;
    t->repetitions = static_cast<int>(reps);
    t->interval = static_cast<int>(interval);
    t->millis = millis ? 1 : 0;
    t->report = call.show ? 1 : 0;
    t->offline = (sw.o || !conn_is_connected(conn)) ? 1 : 0;
    t->paused = sw.p ? 1 : 0;
    t->catch_up = sw.c ? 1 : 0;
    t->run_mode = 1;
    t->start_hour = hour;
    t->start_minute = minute;
    t->script = call.script;
    t->conn = conn;
    t->follow = sw.i ? 1 : 0;
    timer_set_window(t, (t->follow && conn_is_live(conn)) ? timer_status_window(conn) : window);
    t->command = command;
    std::uint64_t now = timer_clock_ms();
    if (sw.d) {
        // Start on a fresh millisecond; bounded so a stopped clock can't hang.
        for (int spin = 0; spin < 1000000; ++spin) {
            std::uint64_t n = timer_clock_ms();
            if (n != now) {
                now = n;
                break;
            }
        }
    }
    t->last_run = now;
    timer_append(t);
    if (millis) {
        if (sw.h)
            timer_mm_start(t);
        if (!t->mm_id) {
            int id = timer_alloc_id();
            if (!frame_timer_start(id, t->interval, false)) {
                timer_remove(t);
                say(window, script_text(5515));
                return 0;
            }
            timer_set_frame_timer(t, id);
        }
    }
    timer_set_last_name(name);
    if (call.show)
        say(window, script_text(5511, name));
    return 1;
}

int cmd_signal(CommandCall& call)
{
    std::size_t idx = 1;
    bool now = false;
    if (call.tokens.size() > 1 && call.tokens[1].size() > 1 && call.tokens[1][0] == '-') {
        now = call.tokens[1].find('n') != std::string::npos;
        idx = 2;
    }
    if (call.tokens.size() <= idx)
        return script_error(nullptr, "signal", {}, 0);
    std::string text;
    std::string params;
    for (std::size_t k = idx; k < call.tokens.size(); ++k) {
        if (!text.empty())
            text += ' ';
        text += call.tokens[k];
        if (k > idx) {
            if (!params.empty())
                params += ' ';
            params += call.tokens[k];
        }
        if (text.size() >= kLongText)
            break;
    }
    text.resize(std::min(text.size(), kLongText));
    if (call.show) {
        std::string line = "* signal '" + call.tokens[idx] + "'";
        if (!params.empty())
            line += " (" + params + ")";
        say(call.window, line.substr(0, kLongText));
    }
    if (!timer_events_enabled())
        return 1;
    if (now)
        return signal_fire_now(text, call.conn, call.script) ? 1 : 0;
    if (!signal_queue(text, call.conn, call.script))
        return script_error(nullptr, "signal", {}, 2);
    return 1;
}

void timer_commands_register()
{
    script_register_command_family("cmd_timer", cmd_timer);
    script_register_command_family("cmd_signal", cmd_signal);
}

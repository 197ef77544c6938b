#include "commands/output_commands.h"
#include "app/window_options.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <string>
#include <string_view>

#include "model/colors.h"
#include "model/connection.h"
#include "app/frame_proc.h"
#include "app/window_open.h"
#include "model/window_record.h"
#include "display/window_queries.h"
#include "bars/toolbar_buttons.h"
#include "commands/command_conn.h"
#include "core/ini.h"
#include "core/numbered_texts.h"
#include "core/options.h"
#include "core/text_buffer.h"
#include "core/text_limits.h"
#include "core/time_date.h"
#include "platform/frame_timers.h"
#include "platform/platform_utils.h"
#include "script/exec/script_errors.h"
#include "script/exec/script_text.h"
#include "script/exec/script_types.h"

OutputHooks output_hooks;
int output_beep_remaining = 0;

namespace {

// ---- The default printer ----

std::vector<OutputLine> collected;
std::vector<FlashRequest> flash_requests;
constexpr std::size_t kMaxCollected = 10000;

void default_print(QWidget* window, int colour, const std::string& text,
                   const EchoPrintOptions& options, int kind)
{
    if (collected.size() >= kMaxCollected)
        collected.erase(collected.begin(), collected.begin() + kMaxCollected / 2);
    collected.push_back({window, colour, text, options, kind});
}

// ---- Colour items ----

const char* const kColourItemNames[kColourItemCount] = {
    "Background",   "Action text",  "Ctcp text",    "Highlight text", "Info text",
    "Info2 text",   "Invite text",  "Join text",    "Kick text",      "Mode text",
    "Nick text",    "Normal text",  "Notice text",  "Notify text",    "Other text",
    "Own text",     "Part text",    "Quit text",    "Topic text",     "Wallops text",
    "Whois text",   "Editbox",      "Editbox text", "Listbox",        "Listbox text",
    "Gray text",    "Title text",   "Inactive",     "Treebar",        "Treebar Text",
};

int info_colour()
{
    return colour_item_value(kItemInfoText);
}

// ---- Windows ----

QWidget* status_window(const CommandCall& call)
{
    Connection* conn = conn_of(call);
    WindowRecord* rec = conn ? win_find_by_type(kWinStatus, conn) : nullptr;
    return rec ? rec->hwnd.get() : nullptr;
}

QWidget* printable_or_status(QWidget* window, const CommandCall& call)
{
    return output_window_printable(window) ? window : status_window(call);
}

QWidget* window_by_name(const std::string& name, const CommandCall& call)
{
    WindowRecord* rec = win_find_by_name(name, conn_of(call));
    return rec ? rec->hwnd.get() : nullptr;
}

QWidget* message_window(Connection* conn)
{
    return win_open_message_window(conn, 1);
}

void print(QWidget* window, int colour, const std::string& text, const EchoPrintOptions& options,
           int kind)
{
    if (output_print)
        output_print(window, colour, text, options, kind);
}

void print_info(QWidget* window, const std::string& text)
{
    print(window, info_colour(), text, EchoPrintOptions{}, kOutputEcho);
}

long long to_number(const std::string& text)
{
    errno = 0;
    long long v = std::strtoll(text.c_str(), nullptr, 10);
    if (errno == ERANGE)
        v = (!text.empty() && text[0] == '-') ? LLONG_MIN : LLONG_MAX;
    return v;
}

// atoi-like: the leading number of the text, 0 without one, bounded.
int leading_int(const char* text)
{
    errno = 0;
    long v = std::strtol(text, nullptr, 10);
    if (errno == ERANGE || v > INT_MAX)
        return INT_MAX;
    if (v < INT_MIN)
        return INT_MIN;
    return static_cast<int>(v);
}

std::string join_from(const std::vector<std::string>& tokens, std::size_t from, std::size_t limit)
{
    std::string out;
    for (std::size_t i = from; i < tokens.size(); ++i) {
        if (i > from)
            out.push_back(' ');
        out += tokens[i];
        if (out.size() > limit) {
            out.resize(limit);
            break;
        }
    }
    return out;
}

// ---- /timestamp ----

int global_timestamp()
{
    return opt(OPT_TIMESTAMP_EVENTS) ? 1 : 0;
}

int has_timestamp_item(WindowRecord* rec)
{
    return win_has_timestamp_item(rec);
}

const char* mode_word(int mode)
{
    return mode == 1 ? "on" : mode == 0 ? "off" : nullptr;
}

// The window's own setting, as its system menu sets it: the record, the
// menu's tick and the entry in section "timestamp".
void set_timestamp_mode(WindowRecord* rec, int mode)
{
    if (rec->hwnd)
        win_set_timestamp(rec->hwnd.get(), mode);
}

int mode_of_word(const std::string& word)
{
    if (text_equal_nocase(word, "on"))
        return 1;
    if (text_equal_nocase(word, "off"))
        return 0;
    if (text_equal_nocase(word, "default"))
        return 2;
    return -1;
}

void print_window_timestamp(WindowRecord* rec, int show)
{
    if (!show)
        return;
    bool on = rec->timestamp == 1 || (rec->timestamp == 2 && global_timestamp());
    print_info(rec->hwnd.get(), script_text(on ? 952 : 953, rec->name));
}

// One window of the per-window forms: set the mode (for a known word) and
// report the state in the window itself.
void timestamp_window(WindowRecord* rec, int mode, int show)
{
    if (!has_timestamp_item(rec))
        return;
    if (mode >= 0)
        set_timestamp_mode(rec, mode);
    print_window_timestamp(rec, show);
}

} // namespace

void (*output_print)(QWidget*, int, const std::string&, const EchoPrintOptions&, int) = default_print;

const std::vector<OutputLine>& output_lines()
{
    return collected;
}

void output_lines_clear()
{
    collected.clear();
}

const std::vector<FlashRequest>& output_flash_requests()
{
    return flash_requests;
}

void output_flash_requests_clear()
{
    flash_requests.clear();
}

const char* colour_item_name(int item)
{
    return (item >= 0 && item < kColourItemCount) ? kColourItemNames[item] : "";
}

int colour_item_by_prefix(const std::string& text)
{
    for (int item = 0; item < kColourItemCount; ++item) {
        std::string_view name = kColourItemNames[item];
        if (text.size() <= name.size() && text_equal_nocase(name.substr(0, text.size()), text))
            return item;
    }
    return -1;
}

int output_window_printable(QWidget* window)
{
    WindowRecord* rec = window ? win_record_of(window) : nullptr;
    if (!rec)
        return 0;
    switch (rec->type) {
    case kWinStatus:
    case kWinChannel:
    case kWinQuery:
        return 1;
    case kWinCustom:
        return (!rec->picture && rec->subtype != 1) ? 1 : 0;
    default:
        return 0;
    }
}

// ---------------------------------------------------------------------------
// /echo

int cmd_echo(CommandCall& call)
{
    const std::vector<std::string>& t = call.tokens;
    const std::size_t n = t.size();
    if (n <= 1)
        return 1;
    const std::string& word = t[0];
    std::size_t i = 1;

    int colour = colour_item_value(kItemNormalText);
    if (arg_is_integer(t[i])) {
        long long v = to_number(t[i]);
        colour = color_resolve_number(v);
        ++i;
        if (i >= n)
            return script_error(nullptr, word, "", 0);
    }

    EchoPrintOptions opts;
    bool s = false, a = false, d = false, e = false, q = false, r = false, c = false;
    if (i < n && !t[i].empty() && t[i][0] == '-' &&
        t[i].find_first_of("sadehtlnmvbfgqric", 1) != std::string::npos) {
        const std::string& group = t[i];
        for (std::size_t k = 1; k < group.size(); ++k) {
            switch (group[k]) {
            case 's': s = true; break;
            case 'a': a = true; break;
            case 'd': d = true; break;
            case 'e': e = true; break;
            case 'h': opts.wrap_mode = -1; break;
            case 't': opts.timestamp = 1; break;
            case 'l': opts.highlight_test = 2; break;
            case 'n': opts.raise_activity = 0; break;
            case 'm': opts.message = 3; break;
            case 'v': break;
            case 'b': opts.beep = 1; break;
            case 'f': opts.flash = 1; break;
            case 'g': opts.no_log = 1; break;
            case 'q': q = true; break;
            case 'r': r = true; break;
            case 'c': c = true; break;
            case 'i':
                if (k + 1 < group.size() && group[k + 1] >= '0' && group[k + 1] <= '9') {
                    int value = 0;
                    while (k + 1 < group.size() && group[k + 1] >= '0' && group[k + 1] <= '9') {
                        value = value * 10 + (group[k + 1] - '0');
                        if (value > 1024)
                            value = 1024;
                        ++k;
                    }
                    opts.indent = value;
                } else {
                    opts.indent = 2;
                }
                break;
            default:
                break;
            }
        }
        ++i;
    }
    if (q && !call.show)
        return 1;

    if (c) {
        if (i >= n)
            return script_error(nullptr, word, "", 0);
        std::string name;
        std::size_t last = i;
        if (!t[i].empty() && t[i][0] == '"') {
            int end = arg_get_quoted(t, i, name, kMediumText, 0);
            if (end < 0)
                return script_error(nullptr, word, "", 3);
            last = static_cast<std::size_t>(end);
        } else {
            name = t[i];
        }
        i = last + 1;
        text_collapse_char(name, ' ');
        int item = colour_item_by_prefix(name);
        colour = colour_item_value(item >= 0 ? item : kItemNormalText);
    }

    // Targets chosen by switches: s, a, d in that order; d replaces a as
    // the second when all three are given.
    char chosen[2] = {0, 0};
    int chosen_count = 0;
    if (s)
        chosen[chosen_count++] = 's';
    if (a)
        chosen[chosen_count++] = 'a';
    if (d) {
        if (chosen_count == 2)
            chosen[1] = 'd';
        else
            chosen[chosen_count++] = 'd';
    }

    QWidget* named = nullptr;
    if (chosen_count == 0 && i < n) {
        const std::string& arg = t[i];
        if (arg.size() > 1 && arg[0] == '=')
            named = output_hooks.dcc_chat_window ? output_hooks.dcc_chat_window(arg.substr(1), call)
                                                 : nullptr;
        else
            named = window_by_name(arg, call);
        if (named) {
            ++i;
            if (i >= n)
                return script_error(nullptr, word, "", 0);
        }
    }
    if (i >= n)
        return script_error(nullptr, word, "", 0);

    std::string text = join_from(t, i, kLongText);
    if (r)
        text_strip_codes(text, -1);

    QWidget* targets[2] = {nullptr, nullptr};
    int target_count = 0;
    if (chosen_count == 0) {
        targets[target_count++] = printable_or_status(named ? named : call.window, call);
    } else {
        for (int k = 0; k < chosen_count; ++k) {
            QWidget* w = nullptr;
            if (chosen[k] == 's')
                w = status_window(call);
            else if (chosen[k] == 'a')
                w = win_active_if_shown();
            else
                w = message_window(conn_of(call));
            w = printable_or_status(w, call);
            if (target_count == 1 && targets[0] == w)
                continue;
            targets[target_count++] = w;
        }
    }
    for (int k = 0; k < target_count; ++k) {
        if (e)
            print(targets[k], info_colour(), std::string(), opts, kOutputSeparator);
        print(targets[k], colour, text, opts, kOutputPrint);
        if (e)
            print(targets[k], info_colour(), std::string(), opts, kOutputSeparator);
    }
    return 1;
}

// ---------------------------------------------------------------------------
// /linesep

int cmd_linesep(CommandCall& call)
{
    const std::vector<std::string>& t = call.tokens;
    std::size_t i = 1;
    QWidget* target = nullptr;
    bool decided = false;
    if (i < t.size() && !t[i].empty() && t[i][0] == '-') {
        if (t[i].find('s', 1) != std::string::npos) {
            target = status_window(call);
            decided = true;
        } else if (t[i].find('a', 1) != std::string::npos) {
            target = win_active_if_shown();
            decided = true;
        }
        ++i;
    }
    if (!decided) {
        if (i < t.size())
            target = window_by_name(t[i], call);
        if (!target)
            target = call.window;
    }
    print(printable_or_status(target, call), info_colour(), std::string(), EchoPrintOptions{},
          kOutputSeparator);
    return 1;
}

// ---------------------------------------------------------------------------
// /beep

void output_beep_tick(int /*id*/)
{
    if (output_beep_remaining > 0) {
        if (beep_play_hook)
            beep_play_hook(0);
        --output_beep_remaining;
    }
    if (output_beep_remaining <= 0) {
        output_beep_remaining = 0;
        frame_timer_stop(FRAME_TIMER_BEEP);
        frame_set_timer_handler(FRAME_TIMER_BEEP, nullptr);
    }
}

int cmd_beep(CommandCall& call)
{
    const std::vector<std::string>& t = call.tokens;
    // A repeated beep that runs (our own count or the standard one) stops.
    if (output_beep_remaining > 0) {
        output_beep_remaining = 0;
        frame_set_timer_handler(FRAME_TIMER_BEEP, nullptr);
    }
    beep_repeat_timer(3);
    if (!opt(OPT_SOUNDS_ENABLED))
        return 1;
    if (t.size() <= 1) {
        beep_repeat_timer(1);
        return 1;
    }
    int count = leading_int(t[1].c_str());
    if (count <= 0)
        return 0;
    int delay = t.size() > 2 ? leading_int(t[2].c_str()) : opt(OPT_BEEP_DELAY);
    if (delay <= 0)
        delay = 1;
    output_beep_remaining = count;
    frame_set_timer_handler(FRAME_TIMER_BEEP, output_beep_tick);
    frame_timer_start(FRAME_TIMER_BEEP, delay);
    return 1;
}

// ---------------------------------------------------------------------------
// /flash

int cmd_flash(CommandCall& call)
{
    const std::vector<std::string>& t = call.tokens;
    std::size_t i = 1;
    FlashRequest request;
    if (i < t.size() && !t[i].empty() && t[i][0] == '-') {
        const std::string& group = t[i];
        ++i;
        // N of a letter: the number read right after it (0 when no digits
        // stand there), when any character follows it.
        auto letter = [&](char ch, bool& follows, int& number) {
            std::size_t pos = group.find(ch, 1);
            if (pos == std::string::npos)
                return false;
            follows = pos + 1 < group.size();
            number = follows ? leading_int(group.c_str() + pos + 1) : 0;
            if (number > 1000000000)
                number = 1000000000;
            return true;
        };
        bool follows = false;
        int number = 0;
        if (letter('b', follows, number)) {
            request.sound_mode = 1;
            request.beep_count = (follows && number > 0) ? number + 1 : 0;
        }
        if (letter('w', follows, number)) {
            request.sound_mode = 2;
            if (follows)
                request.beep_count = number > 0 ? number + 1 : 0;
        }
        if (letter('r', follows, number) && follows) {
            if (number <= 0)
                return 1;
            request.repeat_count = number + 1;
        }
    }
    QWidget* window = win_frame_handle();
    WindowRecord* rec = nullptr;
    if (i < t.size()) {
        rec = win_find_by_name(t[i], conn_of(call));
        if (rec && rec->hwnd.get()) {
            window = rec->hwnd.get();
            ++i;
        } else {
            rec = nullptr;
        }
    }
    request.window = window;
    if (i < t.size()) {
        std::string text = join_from(t, i, kMediumTextSize);
        std::string name;
        if (rec)
            name = rec->name;
        else
            name = frame_title();
        if (name.empty())
            name = "Kest";
        request.has_title = 1;
        buf_copy(request.title, kMediumTextSize, name + " " + text);
    }
    if (output_hooks.flash)
        output_hooks.flash(request);
    else
        flash_requests.push_back(request);
    return 1;
}

// ---------------------------------------------------------------------------
// /ebeeps, /events

int cmd_ebeeps(CommandCall& call)
{
    if (call.tokens.size() > 1) {
        int mode = mode_of_word(call.tokens[1]);
        if (mode == 0 || mode == 1)
            opt_set(OPT_SOUNDS_ENABLED, mode);
    }
    if (call.show)
        print_info(call.window, text_load_string(opt(OPT_SOUNDS_ENABLED) ? 746 : 747));
    return 1;
}

int cmd_events(CommandCall& call)
{
    if (call.tokens.size() > 1) {
        int mode = mode_of_word(call.tokens[1]);
        if (mode == 0 || mode == 1)
            opt_set(OPT_REMOTE_EVENTS, mode);
    }
    toolbar_show_remote_state();
    if (call.show)
        print_info(call.window, text_load_string(opt(OPT_REMOTE_EVENTS) ? 753 : 754));
    return 1;
}

// ---------------------------------------------------------------------------
// /strip

int cmd_strip(CommandCall& call)
{
    int flags = strip_setting_flags;
    if (call.tokens.size() > 1) {
        bool on = true;
        for (char ch : call.rest()) {
            int bit = 0;
            switch (ch) {
            case '+': on = true; break;
            case '-': on = false; break;
            case 'b': bit = kStripBold; break;
            case 'u': bit = kStripUnderline; break;
            case 'r': bit = kStripReverse; break;
            case 'c': bit = kStripColour; break;
            default: break;
            }
            if (bit)
                flags = on ? (flags | bit) : (flags & ~bit);
        }
        if (flags < 0)
            flags = 0;
        flags &= 15;
        strip_setting_flags = flags;
    }
    if (call.show) {
        if (flags == 0) {
            print_info(call.window, text_load_string(946));
        } else {
            std::string text = text_load_string(947);
            const int ids[4] = {948, 949, 950, 951};
            bool first = true;
            for (int k = 0; k < 4; ++k) {
                if (!(flags & (1 << k)))
                    continue;
                if (!first)
                    text += ", ";
                first = false;
                text += text_load_string(ids[k]);
            }
            print_info(call.window, text);
        }
    }
    return 1;
}

// ---------------------------------------------------------------------------
// /timestamp

int cmd_timestamp(CommandCall& call)
{
    const std::vector<std::string>& t = call.tokens;
    std::size_t i = 1;
    char window_switch = 0;   // 'a', 's' or 'e'
    int format = 0;           // 1 -f, 2 -g
    bool status_message = false;
    if (i < t.size() && !t[i].empty() && t[i][0] == '-') {
        for (std::size_t k = 1; k < t[i].size(); ++k) {
            switch (t[i][k]) {
            case 'a': window_switch = 'a'; break;
            case 'e': window_switch = 'e'; break;
            case 's':
                window_switch = 's';
                status_message = true;
                break;
            case 'f': format = 1; break;
            case 'g': format = 2; break;
            default: break;
            }
        }
        ++i;
    }

    if (format) {
        std::string text = join_from(t, i, kLongText);
        text_collapse_char(text, ' ');
        if (text.empty())
            text = "[HH:nn]";
        if (text.size() > kShortText)
            text.resize(kShortText);
        if (format == 1)
            time_stamp_format = text;
        else
            time_log_stamp_format = text;
        if (call.show) {
            QWidget* where = status_message ? status_window(call) : call.window;
            print_info(where, script_text(format == 1 ? 965 : 972, text));
        }
        return 1;
    }

    const std::string word = i < t.size() ? t[i] : std::string();
    const int mode = mode_of_word(word);
    if (window_switch == 'e') {
        if (word.empty())
            return 1;
        Connection* conn = conn_of(call);
        for (WindowRecord* rec = win_list; rec; rec = rec->next) {
            if (rec->conn != conn || !rec->hwnd.get())
                continue;
            timestamp_window(rec, mode, call.show);
        }
        return 1;
    }
    if (window_switch == 'a' || window_switch == 's') {
        QWidget* target = window_switch == 'a' ? call.window : status_window(call);
        WindowRecord* rec = target ? win_record_of(target) : nullptr;
        if (!rec)
            return 0;
        timestamp_window(rec, mode, call.show);
        return 1;
    }

    if (i + 1 >= t.size()) {
        // The global switch.
        if (mode == 0 || mode == 1)
            opt_set(OPT_TIMESTAMP_EVENTS, mode);
        if (call.show)
            print_info(call.window, text_load_string(global_timestamp() ? 954 : 955));
        return 1;
    }

    // A word and a window name.
    std::string name = join_from(t, i + 1, kMediumText);
    if (WindowRecord* rec = win_find_by_name(name, conn_of(call))) {
        timestamp_window(rec, mode, call.show);
        return 1;
    }
    if (mode < 0)
        return 1;
    ini_write("timestamp", name.c_str(), mode_word(mode), std::string());
    if (call.show) {
        bool on = mode == 1 || (mode == 2 && global_timestamp());
        print_info(call.window, script_text(on ? 952 : 953, name));
    }
    return 1;
}

// ---------------------------------------------------------------------------

void output_commands_register()
{
    script_register_command_family("cmd_echo", cmd_echo);
    script_register_command_family("cmd_linesep", cmd_linesep);
    script_register_command_family("cmd_beep", cmd_beep);
    script_register_command_family("cmd_flash", cmd_flash);
    script_register_command_family("cmd_ebeeps", cmd_ebeeps);
    script_register_command_family("cmd_events", cmd_events);
    script_register_command_family("cmd_strip", cmd_strip);
    script_register_command_family("cmd_timestamp", cmd_timestamp);
}

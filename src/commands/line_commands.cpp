// The window line commands: /aline, /iline, /rline, /dline, /cline and
// /sline add, insert, replace, delete, colour and select the lines of a
// custom window, of its list box or side list box, or of a channel's nick
// list.
#include "commands/window_commands.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <string>

#include "model/window_record.h"
#include "display/window_queries.h"
#include "commands/command_conn.h"
#include "commands/switches.h"
#include "core/text_buffer.h"
#include "core/text_limits.h"
#include "model/colors.h"
#include "display/find_text.h"
#include "display/window_lines.h"
#include "platform/platform_utils.h"
#include "script/exec/script_types.h"

namespace {

enum LineWord : int { kAline = 0, kDline = 1, kIline = 2, kRline = 3, kSline = 4, kCline = 5 };

int word_code(const std::string& word)
{
    if (word == "dline")
        return kDline;
    if (word == "iline")
        return kIline;
    if (word == "rline")
        return kRline;
    if (word == "sline")
        return kSline;
    if (word == "cline")
        return kCline;
    return kAline;
}

struct LineSwitches {
    int colour = -1;       // a palette index, -1 none given
    bool add_select = false;   // a
    bool select = false;       // s
    bool deselect = false;     // r
    bool activity = false;     // h
    bool p_flag = false;       // p
    bool side_list = false;    // l
    bool unique = false;       // n
    bool m_mode = false;       // m
    int indent = 0;            // i, iN
    bool rewrap = false;       // t
};

int palette_of(long long value)
{
    if (value < 0 || value > INT_MAX)
        return 0;
    return color_resolve(static_cast<std::uint32_t>(value));
}

bool is_integer(const std::string& s)
{
    std::size_t k = (!s.empty() && (s[0] == '-' || s[0] == '+')) ? 1 : 0;
    return k < s.size() && text_is_digits(std::string_view(s).substr(k));
}

long long to_ll(const std::string& s)
{
    errno = 0;
    long long v = std::strtoll(s.c_str(), nullptr, 10);
    return v;
}

std::string join_from(const std::vector<std::string>& t, std::size_t from)
{
    std::string out;
    for (std::size_t i = from; i < t.size(); ++i) {
        if (i > from)
            out.push_back(' ');
        out += t[i];
        if (out.size() >= kLongText) {
            out.resize(kLongText);
            break;
        }
    }
    return out;
}

// N from its argument: a positive number, else 0.
int positive(const std::string& s)
{
    if (!text_is_digits(s))
        return 0;
    long long v = to_ll(s);
    return v > INT_MAX ? INT_MAX : static_cast<int>(v);
}

// "N" or "N-M" (M empty: to the end, -1); false when N is not a number.
bool parse_range(const std::string& s, int* n, int* m)
{
    const std::size_t dash = s.find('-', 1);
    const std::string first = s.substr(0, dash);
    if (!is_integer(first))
        return false;
    long long a = to_ll(first);
    *n = a > INT_MAX ? INT_MAX : (a < INT_MIN ? INT_MIN : static_cast<int>(a));
    if (dash == std::string::npos) {
        *m = *n;
        return true;
    }
    const std::string second = s.substr(dash + 1);
    if (second.empty()) {
        *m = -1;
        return true;
    }
    if (!text_is_digits(second))
        return false;
    long long b = to_ll(second);
    *m = b > INT_MAX ? INT_MAX : static_cast<int>(b);
    return true;
}

// A channel window's nick list: colour or select a nick by number or name.
int nick_list_line(CommandCall& call, WindowRecord* rec, int word, const LineSwitches& sw,
                   const std::string& who)
{
    const std::string& w = call.tokens[0];
    std::string nick = who;
    if (const int n = positive(who); n > 0) {
        nick = wl_nick_at(rec, n);
        if (nick.empty())
            return script_error(nullptr, w, {}, 3);
    }
    if (nick.empty())
        return script_error(nullptr, w, {}, 0);
    if (word == kCline) {
        const bool remove = sw.colour < 0 || sw.add_select || sw.deselect;
        wl_nick_colour(rec, nick, remove ? 99 : sw.colour, remove ? 0 : (sw.m_mode ? 2 : 1));
        return 1;
    }
    wl_nick_select(rec, nick, sw.deselect ? 2 : (sw.add_select ? 1 : 0));
    return 1;
}

} // namespace

int cmd_aline(CommandCall& call)
{
    const auto& t = call.tokens;
    const std::string& w = t[0];
    const int word = word_code(w);
    std::size_t i = 1;
    LineSwitches sw;
    if (!t[i].empty() && t[i][0] == '-') {
        SwitchReader r(t[i]);
        while (const char c = r.next()) {
            switch (c) {
            case 'c': {
                const int v = r.number();
                if (v >= 0)
                    sw.colour = palette_of(v);
                break;
            }
            case 'a': sw.add_select = true; break;
            case 's': sw.select = true; break;
            case 'r': sw.deselect = true; break;
            case 'h': sw.activity = true; break;
            case 'p': sw.p_flag = true; break;
            case 'l': sw.side_list = true; break;
            case 'n': sw.unique = true; break;
            case 'm': sw.m_mode = true; break;
            case 't': sw.rewrap = true; break;
            case 'i': {
                const int v = r.number();
                sw.indent = v < 0 ? 2 : std::min(v, 50);
                break;
            }
            default: break;
            }
        }
        ++i;
        if (i >= t.size())
            return script_error(nullptr, w, {}, 0);
    }
    if (is_integer(t[i])) {
        sw.colour = palette_of(to_ll(t[i]));
        ++i;
        if (i >= t.size())
            return script_error(nullptr, w, {}, 0);
    }

    Connection* conn = conn_of(call);
    WindowRecord* rec = nullptr;
    if (!t[i].empty() && (t[i][0] == '@' || win_find_channel(t[i], conn))) {
        rec = window_command_target(t[i], conn);
        ++i;
    } else {
        rec = win_record_of(call.window);
    }
    if (!rec || !rec->hwnd.get() || (rec->type != kWinChannel && rec->type != kWinCustom))
        return script_error(nullptr, w, {}, 7);
    const std::string arg = i < t.size() ? t[i] : std::string();

    if (rec->type == kWinChannel) {
        if (word != kCline && word != kSline)
            return script_error(nullptr, w, {}, 3);
        return nick_list_line(call, rec, word, sw, arg);
    }

    const bool list = rec->subtype == 1 || (sw.side_list && rec->subtype == 2);
    if (sw.rewrap && !list)
        wl_text_rewrap(rec);

    if (list) {
        const std::uint32_t colour = sw.colour >= 0 ? static_cast<std::uint32_t>(sw.colour)
                                                    : kColorListboxText;
        const int count = wl_list_count(rec);
        auto select_new = [&](int at) {
            if (sw.add_select)
                wl_list_select(rec, at, 1);
            else if (sw.select)
                wl_list_select(rec, at, 0);
        };
        switch (word) {
        case kAline: {
            const std::string text = join_from(t, i);
            if (sw.unique && wl_list_find(rec, text))
                return 1;
            select_new(wl_list_insert(rec, 0, text, colour));
            break;
        }
        case kIline: {
            const int n = positive(arg);
            if (n < 1)
                return script_error(nullptr, w, {}, 3);
            const std::string text = join_from(t, i + 1);
            if (sw.unique && wl_list_find(rec, text))
                return 1;
            select_new(wl_list_insert(rec, n, text, colour));
            break;
        }
        case kRline: {
            const int n = positive(arg);
            if (n < 1)
                return script_error(nullptr, w, {}, 3);
            if (n > count)
                return 1;
            wl_list_delete(rec, n, n);
            select_new(wl_list_insert(rec, n, join_from(t, i + 1), colour));
            break;
        }
        case kDline: {
            int n = 0, m = 0;
            if (!parse_range(arg, &n, &m))
                return script_error(nullptr, w, {}, 3);
            if (n > 0)
                wl_list_delete(rec, n, m);
            break;
        }
        case kCline: {
            // "[colour] N": a colour may stand here too when none came before.
            std::string which = arg;
            std::uint32_t c = colour;
            if (i + 1 < t.size() && is_integer(arg)) {
                c = static_cast<std::uint32_t>(palette_of(to_ll(arg)));
                which = t[i + 1];
            }
            int n = positive(which);
            if (n < 1)
                return script_error(nullptr, w, {}, 3);
            if (n > count)
                n = count;
            wl_list_set_colour(rec, n, c);
            break;
        }
        case kSline: {
            if (arg.empty() && sw.deselect) {
                wl_list_deselect_all(rec);
                break;
            }
            int n = positive(arg);
            if (n < 1)
                return script_error(nullptr, w, {}, 3);
            if (n > count)
                n = count;
            wl_list_select(rec, n, sw.deselect ? 2 : (sw.add_select ? 1 : 0));
            if (sw.colour >= 0)
                wl_list_set_colour(rec, n, static_cast<std::uint32_t>(sw.colour));
            break;
        }
        }
        if (sw.activity)
            win_note_activity(rec->hwnd.get());
        return 1;
    }

    // A text window.
    if (rec->picture)
        return script_error(nullptr, w, {}, 7);
    const std::uint32_t colour = sw.colour >= 0 ? static_cast<std::uint32_t>(sw.colour)
                                                : kColorNormalText;
    const int at_bottom = wl_text_at_bottom(rec);
    const int follow = sw.add_select || sw.select;
    const int wrap = sw.p_flag ? 1 : 0;
    switch (word) {
    case kAline: {
        const std::string text = join_from(t, i);
        if (sw.unique && wl_text_find(rec, text))
            return 1;
        if (!wl_text_add(rec, text, colour, rec->custom_request.sorted_list, wrap, sw.indent))
            return script_error(nullptr, w, {}, 2);
        break;
    }
    case kIline: {
        const int n = positive(arg);
        if (n < 1)
            return script_error(nullptr, w, {}, 3);
        const std::string text = join_from(t, i + 1);
        if (sw.unique && wl_text_find(rec, text))
            return 1;
        if (!wl_text_insert(rec, n, text, colour, wrap, sw.indent))
            return script_error(nullptr, w, {}, 2);
        break;
    }
    case kRline: {
        const int n = positive(arg);
        if (n < 1)
            return script_error(nullptr, w, {}, 3);
        wl_text_replace(rec, n, join_from(t, i + 1), colour);
        break;
    }
    case kDline: {
        int n = 0, m = 0;
        if (!parse_range(arg, &n, &m))
            return script_error(nullptr, w, {}, 3);
        if (n > 0)
            wl_text_delete(rec, n, m);
        break;
    }
    case kCline: {
        std::string which = arg;
        std::uint32_t c = colour;
        if (i + 1 < t.size() && is_integer(arg)) {
            c = static_cast<std::uint32_t>(palette_of(to_ll(arg)));
            which = t[i + 1];
        }
        const int n = positive(which);
        if (n < 1)
            return script_error(nullptr, w, {}, 3);
        wl_text_set_colour(rec, n, c);
        break;
    }
    case kSline: {
        const int n = positive(arg);
        if (n < 1)
            return script_error(nullptr, w, {}, 3);
        wl_text_view(rec, n);
        if (sw.activity)
            win_note_activity(rec->hwnd.get());
        return 1;
    }
    }
    wl_text_changed(rec, at_bottom, follow);
    if (sw.activity)
        win_note_activity(rec->hwnd.get());
    return 1;
}

// /findtext [-n] text: the text becomes the find text and the window that
// find works on is searched from its view, upwards, or downwards with -n;
// no hit, or no window to search, gives the error beep.
int cmd_findtext(CommandCall& call)
{
    const auto& t = call.tokens;
    std::size_t i = 1;
    int direction = kFindUp;
    if (i < t.size() && t[i] == "-n") {
        direction = kFindDown;
        ++i;
    }
    std::string text;
    for (; i < t.size(); ++i) {
        if (!text.empty())
            text += ' ';
        text += t[i];
    }
    if (text.empty())
        return script_error(nullptr, t[0], {}, 0);
    if (text.size() > 306)
        text.resize(306);
    find_text = text;
    if (!find_text_step(direction))
        beep_error(0);
    return 1;
}

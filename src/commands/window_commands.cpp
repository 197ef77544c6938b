// /window, /clear, /clearall, /renwin, /titlebar, /close, /closemsg, /mdi
// and /setlayer: scripts make, change, empty and close windows.
#include "commands/window_commands.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "model/connection.h"
#include "app/startup.h"
#include "app/window_open.h"
#include "bars/switchbar.h"
#include "app/window_ops.h"
#include "model/window_record.h"
#include "display/window_queries.h"
#include "commands/command_conn.h"
#include "commands/switches.h"
#include "core/files.h"
#include "core/main_settings.h"
#include "core/string_list.h"
#include "core/text_buffer.h"
#include "core/text_limits.h"
#include "core/wildcard.h"
#include "display/window_lines.h"
#include "platform/platform_utils.h"
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

bool is_integer(const std::string& s)
{
    std::size_t k = (!s.empty() && (s[0] == '-' || s[0] == '+')) ? 1 : 0;
    return k < s.size() && text_is_digits(std::string_view(s).substr(k));
}

int to_int(const std::string& s)
{
    long long v = std::strtoll(s.c_str(), nullptr, 10);
    return static_cast<int>(std::clamp<long long>(v, INT_MIN + 1LL, INT_MAX));
}

std::string join(const std::vector<std::string>& t, std::size_t from, std::size_t to,
                 std::size_t limit)
{
    std::string out;
    for (std::size_t i = from; i < to && i < t.size(); ++i) {
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

// A name that may be written in double quotes across tokens; i moves past
// it. False for a missing closing quote.
bool quoted_name(const std::vector<std::string>& t, std::size_t& i, std::string* out)
{
    if (t[i].empty() || t[i][0] != '"') {
        *out = t[i++];
        return true;
    }
    std::string text = t[i].substr(1);
    std::size_t j = i;
    while (text.empty() || text.back() != '"') {
        if (++j >= t.size())
            return false;
        text += ' ';
        text += t[j];
    }
    text.pop_back();
    if (text.size() > kMediumText)
        text.resize(kMediumText);
    *out = (trimmed(text));
    i = j + 1;
    return true;
}

// The window title of a custom window: its name (without "@" when asked)
// and, when there is one, the text after the old title's first blank.
std::string custom_title(const WindowRecord* rec, const std::string& rest)
{
    std::string title = rec->custom_request.hide_at && rec->name.size() > 1 && rec->name[0] == '@'
                            ? rec->name.substr(1)
                            : rec->name;
    if (!rest.empty())
        title += " " + rest;
    return title;
}

std::string title_rest(QWidget* hwnd)
{
    const std::string title = win_op_title(hwnd);
    const std::size_t blank = title.find(' ');
    return blank == std::string::npos ? std::string() : title.substr(blank + 1);
}

// Tab stops from "a,b,c": each 1 or more (a smaller value ends the list),
// each above the one before (else the one before plus 1); the rest 0.
std::array<int, 50> parse_tab_stops(const std::string& list)
{
    std::array<int, 50> stops{};
    std::size_t k = 0, pos = 0;
    int previous = 0;
    while (k < stops.size() && pos <= list.size()) {
        std::size_t comma = list.find(',', pos);
        std::string part = list.substr(pos, comma == std::string::npos ? std::string::npos : comma - pos);
        const int v = part.empty() ? 0 : to_int(part);
        if (v < 1)
            break;
        stops[k++] = v > previous ? v : previous + 1;
        previous = stops[k - 1];
        if (comma == std::string::npos)
            break;
        pos = comma + 1;
    }
    return stops;
}

// A plain file that exists (a relative name is taken from the settings folder).
bool existing_file(const std::string& name)
{
    std::string path;
    return file_resolve_file_path(name, path) && file_exists(path, 1);
}

bool ends_with_nocase(const std::string& s, const char* tail)
{
    const std::size_t n = std::strlen(tail);
    return s.size() >= n && text_equal_nocase(std::string_view(s).substr(s.size() - n), tail);
}

} // namespace

WindowRecord* window_command_target(const std::string& name, Connection* conn)
{
    if (name.empty())
        return nullptr;
    if (name.size() > 1 && name[0] == '@' && text_is_digits(std::string_view(name).substr(1)))
        if (WindowRecord* rec = win_record_of(win_hwnd_from_name(name, 0x10)))
            return rec;
    return win_find_by_name(name, conn);
}

// ---- /window ----

int cmd_window(CommandCall& call)
{
    const auto& t = call.tokens;
    const char* w = "window";
    CustomWindowRequest& q = win_custom_request;
    q = CustomWindowRequest{};

    std::size_t i = 1;
    // The switch group.
    int close = 0, activate = 0, fit = 0, restore = 0, on_top = 0, not_on_top = 0;
    int activity = -1, hide = 0, bar = -1, minimise = 0, maximise = 0;
    int v_flag = -1, z_flag = -1, hide_at = -1, saved_place = 0;
    if (t[i].size() >= 1 && t[i][0] == '-' && (t[i].size() < 2 || t[i][1] != 't')) {
        SwitchReader r(t[i]);
        while (const char c = r.next()) {
            switch (c) {
            case 'a': activate = 1; q.a_flag = 1; break;
            case 'b': fit = 1; break;
            case 'B': q.b_flag = 1; break;
            case 'c': close = 1; break;
            case 'C': q.centre = 1; break;
            case 'd': q.desktop = 1; break;
            case 'D': q.d_flag = 1; break;
            case 'e': {
                const int n = r.number();
                q.editbox_kind = n <= 0 ? 1 : (n >= 3 ? 4 : n + 1);
                break;
            }
            case 'E': q.editbox_kind = 2; break;
            case 'f': q.client_size = 1; break;
            case 'g': {
                const int n = r.number();
                activity = n < 0 ? 1 : (n < 1 ? 0 : std::min(n, 3));
                break;
            }
            case 'h': hide = 1; q.shown = 0; q.bar_presence = 0; break;
            case 'H': q.side_list_hidden = 1; break;
            case 'i': q.i_flag = 1; break;
            case 'k': {
                const int n = r.number();
                hide_at = n == 1 ? 0 : 1;
                q.hide_at = hide_at;
                break;
            }
            case 'l': {
                const int n = r.number();
                q.list_box = 1;
                q.side_list_width = n >= 2 ? n : 0;
                break;
            }
            case 'm': q.m_flag = 1; break;
            case 'M': q.M_flag = 1; break;
            case 'n': {
                const int n = r.number();
                minimise = 1;
                q.minimise = n < 0 ? 1 : (n <= 2 ? n : 1);
                break;
            }
            case 'o': on_top = 1; q.on_top = 1; break;
            case 'p': q.picture = 1; break;
            case 'r': restore = 1; break;
            case 'R': saved_place = 1; break;
            case 's': q.sorted_list = 1; break;
            case 'S': q.sorted_side_list = 1; break;
            case 'T': q.t_flag = 1; break;
            case 'u': not_on_top = 1; break;
            case 'v': v_flag = r.take_if('0') ? 0 : 1; q.v_flag = v_flag; break;
            case 'w': {
                const int n = r.number();
                bar = n >= 0 && n <= 3 ? n : 3;
                q.bar_presence = bar;
                break;
            }
            case 'x': maximise = 1; q.maximise = 1; break;
            case 'z': z_flag = r.take_if('0') ? 0 : 1; q.z_flag = z_flag; break;
            default: break;
            }
        }
        // A picture window only without a plain list box.
        if (q.picture && q.list_box && q.side_list_width == 0)
            q.picture = 0;
        if (++i >= t.size())
            return script_error(nullptr, w, {}, 0);
    }
    // Tab stops.
    int tab_form = 0;
    if (t[i].size() >= 2 && t[i][0] == '-' && t[i][1] == 't') {
        if (t[i].size() == 2)
            tab_form = 1;
        else
            q.tab_stops = parse_tab_stops(t[i].substr(2));
        if (++i >= t.size())
            return script_error(nullptr, w, {}, 0);
    }
    // Styles.
    if (!t[i].empty() && t[i][0] == '+') {
        for (char c : t[i].substr(1)) {
            switch (c) {
            case 't': q.style_bits |= 1; break;
            case 'f': q.style_bits |= 2; break;
            case 'n': q.style_bits |= 4; break;
            case 'x': q.style_bits |= 8; break;
            case 's': q.style_bits |= 16; break;
            case 'b': q.style_bits |= 32; break;
            case 'l': q.style_bits |= 64; break;
            case 'L': q.style_bits |= 128; break;
            case 'e': q.style_bits |= 256; break;
            case 'd': q.style_bits |= 512; break;
            default: break;
            }
        }
        if (++i >= t.size())
            return script_error(nullptr, w, {}, 0);
    }
    // The name.
    std::string name;
    if (!quoted_name(t, i, &name))
        return script_error(nullptr, w, {}, 3);
    if (name.size() > kShortText)
        name.resize(kShortText);
    Connection* conn = conn_of(call);
    WindowRecord* rec = nullptr;
    if (!name.empty() && name[0] == '=') {
        rec = name.size() > 1 ? win_find_by_name(name, conn) : nullptr;
        if (!rec)
            return script_error(nullptr, w, {}, 3);
    } else {
        rec = window_command_target(name, conn);
    }
    if (!rec) {
        if (name.empty() || name[0] != '@' || win_special_name_kind(name) != 0)
            return script_error(nullptr, w, {}, 3);
    }

    if (tab_form) {
        if (rec && rec->type == kWinCustom) {
            std::string list;
            for (std::size_t j = i; j < t.size(); ++j)
                list += (j > i ? "," : "") + t[j];
            rec->tab_stops = parse_tab_stops(list);
            win_redraw(rec, 1);
        }
        return 1;
    }

    // Position and size.
    int x = kUnsetCoord, y = kUnsetCoord, width = kUnsetCoord, height = kUnsetCoord;
    if (i + 1 < t.size() && is_integer(t[i]) && is_integer(t[i + 1])) {
        x = to_int(t[i]);
        y = to_int(t[i + 1]);
        i += 2;
        if (i + 1 < t.size() && is_integer(t[i]) && is_integer(t[i + 1])) {
            width = to_int(t[i]);
            height = to_int(t[i + 1]);
            i += 2;
        }
    }
    auto unset_minus = [](int v) { return v == -1 ? kUnsetCoord : v; };
    q.x = unset_minus(x);
    q.y = unset_minus(y);
    q.width = unset_minus(width);
    q.height = unset_minus(height);
    if (width == kUnsetCoord)
        q.client_size = 0;

    // The editbox prefix.
    std::string prefix;
    int has_prefix = 0;
    if (i < t.size() && !t[i].empty() && t[i][0] == '/') {
        prefix = t[i] + " ";
        has_prefix = 1;
        ++i;
    }
    // The icon: an icon file (and index) at the end is taken off.
    std::size_t end = t.size();
    std::string icon_file;
    int icon_index = 0;
    for (std::size_t from = end; from > i; --from) {
        std::string text = join(t, from - 1, end, kMediumText);
        std::string trial = text;
        int index = 0;
        if (const std::size_t blank = trial.rfind(' '); blank != std::string::npos &&
                                                        text_is_digits(trial.substr(blank + 1))) {
            index = to_int(trial.substr(blank + 1));
            trial.resize(blank);
        }
        if (trial.size() >= 2 && trial.front() == '"' && trial.back() == '"')
            trial = trial.substr(1, trial.size() - 2);
        if ((ends_with_nocase(trial, ".exe") || ends_with_nocase(trial, ".ico") ||
             ends_with_nocase(trial, ".dll")) &&
            existing_file(trial)) {
            end = from - 1;
            icon_file = trial;
            icon_index = index;
            break;
        }
    }
    // The popup file.
    std::string popup;
    int has_popup = 0;
    if (i < end) {
        const std::string& a = t[i];
        if (a == "@" || a == "\"\"") {
            ++i;
        } else if (!a.empty() && a[0] == '@') {
            popup = a;
            has_popup = 1;
            ++i;
        } else if (!a.empty() && (a[0] == '"' || (a.find('.') != std::string::npos && !is_integer(a)))) {
            std::size_t j = i;
            std::string file;
            if (!quoted_name(t, j, &file))
                return script_error(nullptr, w, {}, 3);
            i = j;
            std::string path;
            if (file.size() > kMediumText || !file_resolve_file_path(file, path))
                return script_error(nullptr, w, {}, 3);
            if (existing_file(path)) {
                popup = path;
                has_popup = 1;
            }
        }
    }
    // The font.
    if (i < end) {
        std::size_t j = i;
        while (j < end && !is_integer(t[j]))
            ++j;
        std::string face(trimmed(join(t, i, j, kShortText)));
        if (!face.empty()) {
            const std::string size = j < end ? t[j] : std::string("12");
            q.font = face + "," + size;
            if (q.font.size() > kShortText)
                q.font.resize(kShortText);
        }
    }

    bool made = false;
    if (!rec) {
        if (close)
            return 1;
        WindowOpenRequest request;
        request.name = name;
        request.type = kWinCustom;
        request.conn = conn;
        QWidget* hwnd = win_open(request);
        rec = win_record_of(hwnd);
        if (!rec)
            return 0;
        rec->beep = 1;
        rec->flash = 1;
        rec->script_file = call.script;
        made = true;
        if (q.hide_at)
            win_op_set_title(hwnd, custom_title(rec, {}));
    }
    QWidget* hwnd = rec->hwnd.get();
    if (rec->type == kWinCustom) {
        if (has_prefix && prefix != rec->command_text) {
            rec->command_text = prefix.substr(0, kShortText);
            win_op_set_editbox(hwnd, rec->command_text);
        }
        if (has_popup)
            rec->popup_file = popup.substr(0, kMediumText);
        if (!icon_file.empty())
            win_op_set_icon(hwnd, icon_file, icon_index);
    }
    if (activity >= 0) {
        rec->activity = activity;
        win_activity_repaint(rec);
    }
    if (made) {
        if (activate)
            win_op_activate(hwnd, 1);
        return 1;
    }

    // An existing window.
    if (close) {
        if (rec->type != kWinChannel && rec->closing == 0)
            win_op_close(hwnd);
        return 1;
    }
    if (hide_at >= 0 && rec->type == kWinCustom) {
        const std::string rest = title_rest(hwnd);
        rec->custom_request.hide_at = hide_at;
        win_op_set_title(hwnd, custom_title(rec, rest));
    }
    if (fit && rec->type == kWinCustom)
        wl_list_fit_extent(rec);
    (void)saved_place;
    if (hide) {
        rec->bar_flags = 0;
        rec->custom_request.bar_presence = 0;
        win_op_show(hwnd, kWinOpHide);
    }
    if (bar >= 0) {
        rec->bar_flags = bar;
        rec->custom_request.bar_presence = bar;
    }
    if (minimise && !hide)
        win_op_show(hwnd, kWinOpMinimise);
    if (maximise) {
        win_op_show(hwnd, kWinOpMaximise);
        win_op_activate(hwnd, activate);
    }
    if (x != kUnsetCoord || width != kUnsetCoord)
        win_op_place(hwnd, x, y, width, height, q.client_size);
    if (restore && win_op_state(hwnd) > 0)
        win_op_show(hwnd, kWinOpRestore);
    if (on_top)
        win_op_on_top(hwnd, 1);
    if (not_on_top)
        win_op_on_top(hwnd, 0);
    if (v_flag >= 0)
        rec->custom_request.v_flag = v_flag;
    if (z_flag >= 0)
        rec->custom_request.z_flag = z_flag;
    if (activate || on_top)
        win_op_activate(hwnd, activate);
    switchbar_repaint();
    return 1;
}

// ---- /clear and /clearall ----

namespace {

bool clearable(const WindowRecord* rec)
{
    switch (rec->type) {
    case kWinStatus:
    case kWinChannel:
    case kWinQuery:
    case kWinFinger:
    case kWinCustom:
        return true;
    default:
        return false;
    }
}

// One window cleared by the switches (h histories, c clicks, l side list, n no redraw).
void clear_window(WindowRecord* rec, const std::string& switches)
{
    if (switches.find('h') != std::string::npos) {
        strlist_free(&rec->history[0]);
        strlist_free(&rec->history[1]);
        return;
    }
    if (switches.find('c') != std::string::npos) {
        strlist_free(&rec->press_points);
        return;
    }
    win_clear_buffer(rec, switches.find('l') != std::string::npos ? 1 : 0);
}

// The kinds /clearall selects: s status, n channel, q query, m message
// window, t DCC chats, g finger, u custom.
bool kind_selected(const WindowRecord* rec, const std::string& s)
{
    const bool any = s.find_first_of("snqmtgu") != std::string::npos;
    if (!any)
        return clearable(rec);
    auto has = [&](char c) { return s.find(c) != std::string::npos; };
    switch (rec->type) {
    case kWinStatus: return has('s');
    case kWinChannel: return has('n');
    case kWinQuery:
        if (rec->subtype == kQueryMessages)
            return has('m');
        if (rec->subtype == kQueryDccChat || rec->subtype == kQueryFserve)
            return has('t');
        return has('q');
    case kWinFinger: return has('g');
    case kWinCustom: return has('u');
    default: return false;
    }
}

} // namespace

int cmd_clear(CommandCall& call)
{
    const auto& t = call.tokens;
    const std::string& w = t[0];
    Connection* conn = conn_of(call);
    std::size_t i = 1;
    std::string switches;
    if (i < t.size() && t[i].size() > 1 && t[i][0] == '-') {
        switches = t[i].substr(1);
        ++i;
    }
    if (w == "clearall") {
        const bool every = switches.find('a') != std::string::npos;
        std::vector<WindowRecord*> chosen;
        for (WindowRecord* rec = win_list; rec; rec = rec->next)
            if (rec->hwnd.get() && (every || rec->conn == conn || rec->shared) &&
                kind_selected(rec, switches))
                chosen.push_back(rec);
        for (WindowRecord* rec : chosen)
            if (win_is_record(rec))
                clear_window(rec, switches);
        return 1;
    }

    WindowRecord* rec = nullptr;
    if (switches.find('s') != std::string::npos) {
        rec = win_find_by_type(kWinStatus, conn);
        if (!rec)
            return 0;
    } else if (switches.find('m') != std::string::npos) {
        for (WindowRecord* r = win_list; r && !rec; r = r->next)
            if (r->conn == conn && r->type == kWinQuery && r->subtype == kQueryMessages)
                rec = r;
        if (!rec)
            return 0;
    } else if (switches.find('g') != std::string::npos) {
        rec = win_find_by_type(kWinFinger, nullptr);
        if (!rec)
            return 0;
    } else if (i < t.size()) {
        std::string name = join(t, i, t.size(), kMediumText);
        if (name.size() >= 2 && name.front() == '"' && name.back() == '"')
            name = name.substr(1, name.size() - 2);
        if (name == "=")
            return script_error(nullptr, w, {}, 3);
        rec = window_command_target(name, conn);
        if (!rec)
            return name[0] == '=' ? 1 : script_error(nullptr, w, {}, 7);
    } else {
        rec = win_record_of(call.window);
    }
    if (!rec || !clearable(rec))
        return 1;
    clear_window(rec, switches);
    return 1;
}

// ---- /renwin ----

int cmd_renwin(CommandCall& call)
{
    const auto& t = call.tokens;
    const char* w = "renwin";
    Connection* conn = conn_of(call);
    std::string old_name = t[1].substr(0, kShortText);
    std::string new_name = t[2].substr(0, kShortText);
    WindowRecord* rec = window_command_target(old_name, conn);
    if (!rec || rec->type != kWinCustom)
        return script_error(nullptr, w, {}, 7);
    if (new_name.size() < 2 || new_name[0] != '@' || win_special_name_kind(new_name) != 0)
        return script_error(nullptr, w, {}, 3);
    WindowRecord* other = win_find_by_name(new_name, conn);
    if (other && other != rec)
        return script_error(nullptr, script_text(919), {}, 6);
    QWidget* hwnd = rec->hwnd.get();
    std::string rest;
    if (t.size() > 3) {
        rest = join(t, 3, t.size(), kLongText);
        text_strip_codes(rest, -1);
    } else {
        rest = title_rest(hwnd);
    }
    rec->name = new_name;
    win_op_set_title(hwnd, custom_title(rec, rest));
    winlist_sort_windows();
    switchbar_repaint();
    return 1;
}

// ---- /titlebar ----

int cmd_titlebar(CommandCall& call)
{
    const auto& t = call.tokens;
    const char* w = "titlebar";
    std::size_t i = 1;
    if (i < t.size() && !t[i].empty() && t[i][0] == '@') {
        WindowRecord* rec = window_command_target(t[i], conn_of(call));
        if (!rec || rec->type != kWinCustom)
            return script_error(nullptr, w, {}, 7);
        std::string text = join(t, i + 1, t.size(), kLongText);
        text_strip_codes(text, -1);
        text.erase(std::remove_if(text.begin(), text.end(), [](char c) { return c == '\n' || c == '\r'; }),
                   text.end());
        win_op_set_title(rec->hwnd.get(), custom_title(rec, text));
        return 1;
    }
    if (i < t.size() && t[i] == "-m")
        ++i;
    std::string text = join(t, i, t.size(), kMediumText);
    text.erase(std::remove_if(text.begin(), text.end(), [](char c) { return c == '\n' || c == '\r'; }),
               text.end());
    main_settings.app_title = text;
    frame_update_title();
    return 1;
}

// ---- /close and /closemsg ----

int cmd_close(CommandCall& call)
{
    const auto& t = call.tokens;
    const std::string& w = t[0];
    Connection* conn = conn_of(call);
    std::string switches;
    std::vector<std::string> names;
    if (w == "closemsg") {
        if (t.size() < 2)
            return script_error(nullptr, w, {}, 0);
        switches = "m";
        names.push_back(t[1]);
    } else {
        if (t.size() < 2 || t[1].empty() || t[1][0] != '-')
            return script_error(nullptr, w, {}, 3);
        switches = t[1].substr(1);
        for (std::size_t i = 2; i < t.size(); ++i)
            names.push_back(t[i]);
    }
    std::vector<WindowRecord*> chosen;
    const std::string switch_word = "-" + switches;
    SwitchReader reader(switch_word);
    while (const char letter = reader.next()) {
        const int nth = reader.number();
        auto kind_matches = [&](const WindowRecord* rec) {
            if (letter == 'm')
                return rec->type == kWinQuery && rec->subtype == kQueryPrivate && rec->conn == conn;
            if (letter == '@')
                return rec->type == kWinCustom;
            return false;  // DCC windows are closed through their own commands
        };
        auto pick = [&](const std::string* pattern) {
            int seen = 0;
            for (WindowRecord* rec = win_list; rec; rec = rec->next) {
                if (!rec->hwnd.get() || rec->closing || !kind_matches(rec))
                    continue;
                if (pattern && !wild_match(*pattern, rec->name, 0, 1))
                    continue;
                ++seen;
                if (nth > 0 && seen != nth)
                    continue;
                if (std::find(chosen.begin(), chosen.end(), rec) == chosen.end())
                    chosen.push_back(rec);
            }
        };
        if (names.empty())
            pick(nullptr);
        for (const std::string& n : names)
            pick(&n);
    }
    // Flagged first, so that a window is closed once.
    for (WindowRecord* rec : chosen)
        rec->closing = 1;
    std::vector<QWidget*> handles;
    for (WindowRecord* rec : chosen)
        handles.push_back(rec->hwnd.get());
    for (std::size_t k = 0; k < chosen.size(); ++k) {
        if (WindowRecord* rec = win_record_of(handles[k])) {
            rec->closing = 0;
            win_op_close(handles[k]);
        }
    }
    return 1;
}

// ---- /mdi ----

int cmd_mdi(CommandCall& call)
{
    const auto& t = call.tokens;
    if (t.size() < 2 || t[1].empty() || t[1][0] != '-')
        return 1;
    const std::string& s = t[1];
    int id = 0;
    if (s.find('c') != std::string::npos)
        id = 172;
    else if (s.find('t') != std::string::npos)
        id = 170;
    else if (s.find('v') != std::string::npos)
        id = 171;
    if (id)
        win_op_frame_command(id);
    if (s.find('a') != std::string::npos)
        win_op_frame_command(173);
    return 1;
}

// ---- /setlayer ----

int cmd_setlayer(CommandCall& call)
{
    const auto& t = call.tokens;
    if (t.size() < 2 || !is_integer(t[1]))
        return script_error(nullptr, "setlayer", {}, 0);
    const int level = to_int(t[1]);
    QWidget* target = nullptr;
    if (t.size() > 2) {
        const std::string name = join(t, 2, t.size(), kMediumText);
        target = win_hwnd_from_name(name, 0x70);
        if (!target)
            if (WindowRecord* rec = window_command_target(name, conn_of(call)))
                target = rec->hwnd.get();
        if (!target)
            return 1;
    } else {
        target = win_frame_handle();
    }
    win_op_set_alpha(target, level > 254 ? 255 : level);
    return 1;
}

// ---------------------------------------------------------------------------

void window_commands_install()
{
    debug_window_install();
    script_register_command_family("cmd_window", cmd_window);
    script_register_command_family("cmd_clear", cmd_clear);
    script_register_command_family("cmd_renwin", cmd_renwin);
    script_register_command_family("cmd_titlebar", cmd_titlebar);
    script_register_command_family("cmd_close", cmd_close);
    script_register_command_family("cmd_mdi", cmd_mdi);
    script_register_command_family("cmd_setlayer", cmd_setlayer);
    script_register_command_family("cmd_aline", cmd_aline);
    script_register_command_family("cmd_findtext", cmd_findtext);
    script_register_command_family("cmd_log", cmd_log);
    script_register_command_family("cmd_debug", cmd_debug);
    script_register_command_family("cmd_url", cmd_url);
    script_register_command_family("cmd_color", cmd_color);
    script_register_command_family("cmd_background", cmd_background);
    script_register_command_family("cmd_font", cmd_font);
    script_register_command_family("cmd_editbox", cmd_editbox);
    script_register_command_family("cmd_dqwindow", cmd_dqwindow);
    script_register_command_family("cmd_menubar", cmd_menubar);
    script_register_command_family("cmd_showkest", cmd_showkest);
    script_register_command_family("cmd_tray", cmd_tray);
    ident_register_family("id_line", id_line);
}

// The look of the program from scripts: /color changes the palette, a
// colour item or the scheme; /background the picture behind a window, the
// windows or a bar; /font a window's font; /editbox the text,
// selection and focus of a window's input box; /dqwindow the single
// message window; /menubar the main menu bar; /showkest the main window;
// /tray the tray options and icon.
#include "platform/app_messages.h"
#include "commands/window_commands.h"

#include <cstdlib>
#include <string>
#include <vector>

#include "model/connection.h"
#include "bars/tray_icon.h"
#include "app/window_open.h"
#include "app/window_ops.h"
#include "model/window_record.h"
#include "display/window_queries.h"
#include "commands/command_conn.h"
#include "commands/output_commands.h"
#include "core/files.h"
#include "core/main_settings.h"
#include "core/options.h"
#include "core/string_list.h"
#include "core/text_buffer.h"
#include "core/text_limits.h"
#include "display/backgrounds.h"
#include "model/colors.h"
#include "display/fonts.h"
#include "script/exec/script_errors.h"
#include "script/exec/script_types.h"

namespace {

bool is_integer(const std::string& s)
{
    std::size_t k = (!s.empty() && (s[0] == '-' || s[0] == '+')) ? 1 : 0;
    return k < s.size() && text_is_digits(std::string_view(s).substr(k));
}

long long to_ll(const std::string& s)
{
    return std::strtoll(s.c_str(), nullptr, 10);
}

void print_with(QWidget* window, int item, const std::string& text)
{
    if (output_print)
        output_print(window, colour_item_value(item), text, EchoPrintOptions{}, kOutputEcho);
}

std::string trimmed(std::string_view s)
{
    const std::size_t a = s.find_first_not_of(' ');
    if (a == std::string_view::npos)
        return {};
    return std::string(s.substr(a, s.find_last_not_of(' ') - a + 1));
}

// The current scheme takes the current colours.
void rebuild_current_scheme()
{
    std::string name;
    StringNode* current = color_scheme_find(color_schemes, name, 1);
    if (!current)
        return;
    StringNode* fresh = color_scheme_text(name, 1);
    if (!fresh)
        return;
    current->text = fresh->text;
    current->text2 = fresh->text2;
    strlist_free(&fresh);
}

void colours_changed()
{
    color_apply_all();
    color_save();
}

} // namespace

// ---- /color ----

int cmd_color(CommandCall& call)
{
    const auto& t = call.tokens;
    const char* w = "color";
    std::size_t i = 1;
    std::string sw;
    if (i < t.size() && t[i].size() > 1 && t[i][0] == '-' && !is_integer(t[i])) {
        sw = t[i].substr(1);
        ++i;
    }
    auto has = [&](char c) { return sw.find(c) != std::string::npos; };
    if (has('l')) {
        color_load();
        if (i >= t.size())
            return 1;
    }
    if (has('s')) {
        std::string name = trimmed(std::string(call.rest()).substr(t[1].size()));
        if (name.size() >= 2 && name.front() == '"' && name.back() == '"')
            name = trimmed(name.substr(1, name.size() - 2));
        if (name.size() > kMediumText)
            name.resize(kMediumText);
        StringNode* scheme = name.empty() ? nullptr : color_scheme_find(color_schemes, name, 0);
        if (!scheme)
            return script_error(nullptr, w, {}, 3);
        color_scheme_apply(color_schemes, scheme, 1);
        colours_changed();
        return 1;
    }
    if (i >= t.size())
        return script_error(nullptr, w, {}, 0);
    if (has('r')) {
        const long long index = to_ll(t[i]);
        if (!is_integer(t[i]) || index < 0 || index > 15)
            return script_error(nullptr, w, {}, 3);
        color_palette_current.rgb[index] = color_default_rgb(static_cast<int>(index));
        rebuild_current_scheme();
        colours_changed();
        return 1;
    }
    if (is_integer(t[i])) {
        const long long index = to_ll(t[i]);
        if (index < 0 || index > 15)
            return script_error(nullptr, w, {}, 3);
        if (i + 1 >= t.size())
            return script_error(nullptr, w, {}, 0);
        ColorRgb rgb = static_cast<ColorRgb>(to_ll(t[i + 1]) & 0xFFFFFF);
        rgb = color_nearest_on_screen(rgb);
        color_palette_current.rgb[index] = rgb;
        rebuild_current_scheme();
        colours_changed();
        return 1;
    }
    // An item name (perhaps quoted) and an index as the last word.
    std::string name;
    std::size_t index_at = 0;
    if (t[i][0] == '"') {
        std::size_t j = i;
        name = t[i].substr(1);
        while (name.empty() || name.back() != '"') {
            if (++j >= t.size())
                return script_error(nullptr, w, {}, 0);
            name += " " + t[j];
        }
        name.pop_back();
        index_at = j + 1;
        if (index_at >= t.size())
            return script_error(nullptr, w, {}, 0);
    } else {
        if (i + 1 >= t.size())
            return script_error(nullptr, w, {}, 0);
        for (std::size_t j = i; j + 1 < t.size(); ++j)
            name += (j > i ? " " : "") + t[j];
        index_at = t.size() - 1;
    }
    name = trimmed(name);
    const long long index = to_ll(t[index_at]);
    if (!is_integer(t[index_at]) || index < 0 || index > 15)
        return script_error(nullptr, w, {}, 3);
    const int item = name.empty() ? -1 : color_item_by_name(name);
    if (item < 0)
        return script_error(nullptr, w, {}, 3);
    color_items[item].current = static_cast<std::int32_t>(index);
    rebuild_current_scheme();
    colours_changed();
    return 1;
}

// ---- /background ----

namespace {

// The words from i joined with blanks, a name in double quotes without them,
// trimmed and cut at the medium length.
std::string joined_name(const std::vector<std::string>& t, std::size_t from, std::size_t to)
{
    std::string name;
    for (std::size_t j = from; j < to; ++j)
        name += (j > from ? " " : "") + t[j];
    name = trimmed(name);
    if (name.size() >= 2 && name.front() == '"' && name.back() == '"')
        name = trimmed(name.substr(1, name.size() - 2));
    if (name.size() > kMediumText)
        name.resize(kMediumText);
    return name;
}

// The end (one past) of the window argument at i: a quoted name runs to the
// word that closes its quote, else the one word.
std::size_t window_argument_end(const std::vector<std::string>& t, std::size_t i)
{
    if (i >= t.size() || t[i].empty() || t[i][0] != '"')
        return std::min(i + 1, t.size());
    for (std::size_t j = i; j < t.size(); ++j)
        if ((j > i || t[j].size() > 1) && t[j].back() == '"')
            return j + 1;
    return t.size();
}

}  // namespace

int cmd_background(CommandCall& call)
{
    const auto& t = call.tokens;
    const char* w = "background";
    Connection* conn = conn_of(call);
    std::size_t i = 1;
    std::string sw;
    if (i < t.size() && t[i].size() > 1 && t[i][0] == '-') {
        sw = t[i].substr(1);
        ++i;
    }
    auto has = [&](char c) { return sw.find(c) != std::string::npos; };
    // The display mode: the first of these letters present.
    static constexpr char kModes[] = "cfnrtp";
    int mode = -1;
    for (int m = 0; kModes[m] && mode < 0; ++m)
        if (has(kModes[m]))
            mode = m;
    const bool remove = has('x');
    const bool for_kind = has('e');

    // The file from word `from` on: it must resolve and exist. 0 after an
    // error, 1 with a path, 2 when no file was given.
    std::string path;
    auto take_file = [&](std::size_t from) -> int {
        const std::string name = joined_name(t, from, t.size());
        if (name.empty())
            return 2;
        if (!file_resolve_file_path(name, path))
            return script_error(nullptr, w, {}, 3);
        if (!file_exists(path, 1))
            return script_error(nullptr, w, name, 1);
        return 1;
    };
    auto cannot_load = [&](const std::string& file) {
        print_with(call.window, kItemInfoText, script_text(714, file));
    };

    // The bars.
    static const struct {
        char letter;
        const char* key;
    } kBars[] = {{'l', "toolbar"}, {'u', "toolbuttons"}, {'h', "switchbar"}, {'b', "treebar"}};
    for (const auto& bar : kBars) {
        if (!has(bar.letter))
            continue;
        if (remove) {
            bar_bg_clear_by_key(bar.key);
            return 1;
        }
        const int got = take_file(i);
        if (got == 0)
            return 0;
        if (got == 2)
            return script_error(nullptr, w, {}, 0);
        if (!bar_bg_set_by_key(bar.key, path))
            cannot_load(path);
        return 1;
    }

    // The window: a target letter, else a named window, else the current one.
    WindowRecord* rec = nullptr;
    bool mdi = false;
    std::string key;
    if (has('a')) {
        rec = win_record_of(call.window);
        if (!rec)
            rec = win_find_by_type(kWinStatus, conn);
        key = "status";
    } else if (has('s')) {
        rec = win_find_by_type(kWinStatus, conn);
        key = "status";
    } else if (has('g')) {
        rec = win_find_by_type(kWinFinger, nullptr);
        key = "wfinger";
    } else if (has('m')) {
        mdi = win_mdi_handle() != nullptr;
        key = "@mdi";
    } else if (has('d')) {
        for (WindowRecord* r = win_list; r && !rec; r = r->next)
            if (r->conn == conn && r->type == kWinQuery && r->subtype == kQueryMessages)
                rec = r;
        key = "wmessage";
    } else if (i < t.size()) {
        const std::size_t end = window_argument_end(t, i);
        const std::string name = joined_name(t, i, end);
        i = end;
        if (name.size() > 1 && name[0] == '=') {
            QWidget* chat = output_hooks.dcc_chat_window
                                ? output_hooks.dcc_chat_window(name.substr(1), call)
                                : nullptr;
            rec = chat ? win_record_of(chat) : win_find_by_name(name, conn);
        } else if (!name.empty()) {
            rec = window_command_target(name, conn);
        }
        if (for_kind)
            key = !name.empty() && (name[0] == '#' || name[0] == '&') ? "wchannel" : "wquery";
        else
            key = name;
    } else {
        rec = win_record_of(call.window);
        if (!rec)
            return script_error(nullptr, w, {}, 7);
    }

    const int got = take_file(i);
    if (got == 0)
        return 0;
    const bool with_file = got == 1;

    // The area behind the windows.
    if (mdi) {
        if (remove) {
            bg_mdi_clear();
        } else if (with_file) {
            if (!bg_mdi_set_picture(path))
                cannot_load(path);
            else if (mode >= 0)
                bg_mdi_set_mode(mode);
        } else if (mode >= 0) {
            bg_mdi_set_mode(mode);
        } else {
            return script_error(nullptr, w, {}, 0);
        }
        return 1;
    }

    // A window that is not open: the choice is kept for later.
    if (!rec || !win_is_open(rec)) {
        if (remove)
            bg_store_for_later(key, {}, 0, 1);
        else if (mode >= 0)
            bg_store_for_later(key, with_file ? path : std::string(), mode, 0);
        return 1;
    }

    if (!bg_window_takes_picture(rec))
        return script_error(nullptr, w, {}, 7);
    const bool kind_window =
        rec->type == kWinChannel || (rec->type == kWinQuery && rec->subtype != kQueryMessages);
    if (remove) {
        bg_clear(rec);
        if (for_kind && kind_window)
            bg_store_setting(rec, 3);
        return 1;
    }
    if (with_file) {
        if (!bg_set_picture(rec, path)) {
            cannot_load(path);
            return 1;
        }
        if (mode >= 0)
            bg_set_mode(rec, mode);
        bg_store_setting(rec, for_kind && kind_window ? 2 : 1);
        return 1;
    }
    if (mode < 0)
        return script_error(nullptr, w, {}, 0);
    bg_set_mode(rec, mode);
    if (for_kind && kind_window)
        bg_store_setting(rec, 3);
    return 1;
}

// ---- /font ----

int cmd_font(CommandCall& call)
{
    const auto& t = call.tokens;
    const char* w = "font";
    Connection* conn = conn_of(call);
    std::size_t i = 1;
    std::string sw;
    if (i < t.size() && t[i].size() > 1 && t[i][0] == '-' && !is_integer(t[i])) {
        sw = t[i].substr(1);
        ++i;
    }
    auto has = [&](char c) { return sw.find(c) != std::string::npos; };
    if (t.size() < 2) {
        // The font dialog of the active window, through the frame's command.
        win_op_frame_command(134);
        return 1;
    }
    const int weight = has('b') ? 700 : 400;
    int encoding = 0;
    if (const std::size_t f = sw.find('f'); f != std::string::npos) {
        encoding = std::atoi(sw.c_str() + f + 1);
        if (encoding < 0 || encoding > 2)
            encoding = 0;
    }
    WindowRecord* rec = nullptr;
    std::string key_name;
    int kind = -1, subtype = 0;
    bool picked = false;
    auto pick_type = [&](int type, int sub) {
        picked = true;
        kind = type;
        subtype = sub;
        for (WindowRecord* r = win_list; r && !rec; r = r->next)
            if (r->type == type && (sub == 0 || r->subtype == sub) &&
                (type == kWinFinger || type == kWinUrls || type == kWinNotify || r->conn == conn))
                rec = r;
    };
    if (has('a')) {
        picked = true;
        rec = win_record_of(call.window);
        if (!rec)
            pick_type(kWinStatus, 0);
    } else if (has('s')) {
        pick_type(kWinStatus, 0);
    } else if (has('l')) {
        pick_type(kWinChanList, 0);
    } else if (has('u')) {
        pick_type(kWinUrls, 0);
    } else if (has('n')) {
        pick_type(kWinNotify, 0);
    } else if (has('k')) {
        pick_type(kWinLinks, 0);
    } else if (has('g')) {
        pick_type(kWinFinger, 0);
    } else if (has('m')) {
        pick_type(kWinQuery, kQueryMessages);
    }
    if (!picked) {
        if (i < t.size() && !is_integer(t[i])) {
            rec = window_command_target(t[i], conn);
            if (!rec) {
                const std::string chat = t[i][0] == '=' ? t[i] : "=" + t[i];
                rec = win_find_by_name(chat, conn);
            }
            if (!rec) {
                if (!win_find_channel(t[i], conn) && !(t[i][0] == '#' || t[i][0] == '&'))
                    return script_error(nullptr, w, {}, 3);
                key_name = t[i];
                kind = kWinChannel;
            }
            ++i;
        } else {
            rec = win_record_of(call.window);
        }
    }
    if (rec && !win_is_record(rec))
        return script_error(nullptr, w, {}, 3);
    std::string face = rec ? rec->font_face : "FixedSys";
    int size = rec ? rec->font_size : 12;
    int charset = rec ? rec->font_charset : 1;
    if (rec && !(has('f')))
        encoding = rec->font_encoding;
    bool quoted = false;
    if (i < t.size() && !t[i].empty() && t[i][0] == '"') {
        std::string q = t[i].substr(1);
        std::size_t j = i;
        while (q.empty() || q.back() != '"') {
            if (++j >= t.size())
                return script_error(nullptr, w, {}, 3);
            q += " " + t[j];
        }
        q.pop_back();
        face = q.substr(0, kShortText);
        quoted = true;
        i = j + 1;
    }
    if (i < t.size() && is_integer(t[i])) {
        size = static_cast<int>(to_ll(t[i]));
        ++i;
    }
    if (i < t.size()) {
        if (quoted || (i + 1 == t.size() && is_integer(t[i]))) {
            if (is_integer(t[i]))
                charset = static_cast<int>(to_ll(t[i]));
        } else {
            std::string rest;
            for (std::size_t j = i; j < t.size(); ++j)
                rest += (j > i ? " " : "") + t[j];
            face = rest.substr(0, kShortText);
        }
    }
    if (face.empty())
        face = rec ? rec->font_face : "FixedSys";
    charset = font_charset_for_face(face, charset);
    if (rec) {
        key_name = rec->name;
        kind = rec->type;
        subtype = rec->subtype;
    }
    font_apply(rec, face, size, weight, charset, encoding, key_name, kind, subtype, has('d') ? 1 : 0,
               has('e') ? 1 : 0);
    font_reload_all(0);
    return 1;
}

// ---- /editbox ----

int cmd_editbox(CommandCall& call)
{
    const auto& t = call.tokens;
    const char* w = "editbox";
    Connection* conn = conn_of(call);
    std::size_t i = 1;
    std::string sw;
    int start = -1, end = -1, option = -1;
    // The switches may stand in more than one token ("-b3 -e5").
    auto switch_token = [](const std::string& s) {
        return s.size() > 1 && s[0] == '-' &&
               s.find_first_not_of("saopfvbeqn0123456789", 1) == std::string::npos;
    };
    while (i < t.size() && switch_token(t[i])) {
        const std::string& s = t[i];
        for (std::size_t k = 1; k < s.size(); ++k) {
            const char c = s[k];
            if (c == 'b' || c == 'e' || c == 'q') {
                long long v = 0;
                bool any = false;
                while (k + 1 < s.size() && std::isdigit(static_cast<unsigned char>(s[k + 1]))) {
                    v = std::min<long long>(v * 10 + (s[++k] - '0'), 0x7fffffff);
                    any = true;
                }
                const int n = any ? static_cast<int>(v) : 0;
                if (c == 'b')
                    start = n;
                else if (c == 'e')
                    end = n;
                else
                    option = n;
            } else {
                sw.push_back(c);
            }
        }
        ++i;
    }
    auto has = [&](char c) { return sw.find(c) != std::string::npos; };
    WindowRecord* rec = nullptr;
    if (has('s')) {
        rec = win_find_by_type(kWinStatus, conn);
    } else if (has('a')) {
        rec = win_record_of(call.window);
    } else if (i < t.size()) {
        const std::string& name = t[i];
        if (name == "=")
            return script_error(nullptr, w, {}, 3);
        if (name.size() > 1 && name[0] == '=') {
            rec = win_find_by_name(name, conn);
            if (!rec)
                return script_error(nullptr, script_text(748), {}, 6);
            ++i;
        } else if (WindowRecord* named = window_command_target(name, conn)) {
            rec = named;
            ++i;
        }
    }
    if (!rec)
        rec = win_record_of(call.window);
    if (!rec)
        rec = win_find_by_type(kWinStatus, conn);
    const int second = has('o') ? 1 : 0;
    QWidget* hwnd = rec ? rec->hwnd.get() : nullptr;
    (void)option;  // the editbox option makes the box anew: the layout's business
    if (!hwnd || !win_op_has_editbox(hwnd, second))
        return script_error(nullptr, w, {}, 7);

    std::string text;
    for (std::size_t j = i; j < t.size(); ++j)
        text += (j > i ? " " : "") + t[j];
    bool submit = has('n');
    if (const std::size_t brk = text.find_first_of("\r\n"); brk != std::string::npos) {
        text.resize(brk);
        submit = true;
    } else if (has('p')) {
        text.push_back(' ');
    }
    if (text.size() > kLongText)
        text.resize(kLongText);
    if (!has('v'))
        win_op_editbox_set_text(hwnd, second, text);
    const int length = static_cast<int>(win_op_editbox_text(hwnd, second).size());
    if (start >= 0 || end >= 0) {
        int from = start > 0 ? start - 1 : (start == 0 ? 0 : length);
        int to = end > 0 ? end : length;
        if (start < 0)
            from = length;
        if (to < from)
            to = from;
        win_op_editbox_select(hwnd, second, from, to);
    }
    if (has('f'))
        win_op_editbox_focus(hwnd, second);
    if (submit)
        win_op_editbox_submit(hwnd, second);
    return 1;
}

// ---- /dqwindow ----

int cmd_dqwindow(CommandCall& call)
{
    const auto& t = call.tokens;
    Connection* conn = conn_of(call);
    const std::string word = t.size() > 1 ? t[1] : std::string();
    auto message_window = [&]() -> WindowRecord* {
        for (WindowRecord* r = win_list; r; r = r->next)
            if (r->conn == conn && r->type == kWinQuery && r->subtype == kQueryMessages && r->hwnd.get())
                return r;
        return nullptr;
    };
    if (text_equal_nocase(word, "open") || text_equal_nocase(word, "show")) {
        if (QWidget* w = win_open_message_window(conn, 0))
            win_op_activate(w, 1);
        return 1;
    }
    if (text_equal_nocase(word, "close") || text_equal_nocase(word, "hide")) {
        if (WindowRecord* rec = message_window())
            win_op_close(rec->hwnd.get());
        return 1;
    }
    if (text_equal_nocase(word, "min")) {
        if (WindowRecord* rec = message_window())
            win_op_show(rec->hwnd.get(), kWinOpMinimise);
        return 1;
    }
    if (text_equal_nocase(word, "on"))
        opt_set(OPT_SINGLE_MESSAGE_WINDOW, 1);
    else if (text_equal_nocase(word, "off"))
        opt_set(OPT_SINGLE_MESSAGE_WINDOW, 0);
    if (call.show)
        print_with(call.window, kItemInfoText, script_text(opt(OPT_SINGLE_MESSAGE_WINDOW) ? 742 : 743));
    return 1;
}

// ---- /menubar ----

int cmd_menubar(CommandCall& call)
{
    const auto& t = call.tokens;
    if (t.size() > 1) {
        if (text_equal_nocase(t[1], "on") || text_equal_nocase(t[1], "off")) {
            const int show = text_equal_nocase(t[1], "on") ? 1 : 0;
            win_op_menubar_show(show);
            opt_set(OPT_MENUBAR_SHOWN, show);
        } else {
            return 1;
        }
    }
    const int shown = win_frame_handle() ? win_op_menubar_shown() : opt(OPT_MENUBAR_SHOWN);
    if (call.show)
        print_with(call.window, kItemInfo2Text, script_text(shown ? 868 : 869));
    return 1;
}

// ---- /showkest ----

int cmd_showkest(CommandCall& call)
{
    const auto& t = call.tokens;
    if (t.size() < 2 || t[1].empty() || t[1][0] != '-')
        return 1;
    std::string s = t[1].substr(1);
    auto has = [&](char c) { return s.find(c) != std::string::npos; };
    if (has('l') && call.origin == 1)
        return script_error(nullptr, "showkest", {}, 15);
    QWidget* frame = win_frame_handle();
    if (!frame)
        return 1;
    if (has('o'))
        win_op_on_top(frame, 1);
    else if (has('p'))
        win_op_on_top(frame, 0);
    if (has('m'))
        s.push_back(opt(OPT_MINIMISE_TO_TRAY) ? 't' : 'n');
    // With "l" the program is locked first; without the lock nothing happens.
    if (has('l') && (has('n') || has('t')) && !send_app_message(WM_APP_LOCK_PASSWORD, 0, 1))
        return 1;
    if (has('n')) {
        win_op_show(frame, kWinOpMinimise);
    } else if (has('x')) {
        win_op_show(frame, kWinOpMaximise);
        win_op_activate(frame, 1);
    } else if (has('s')) {
        win_op_show(frame, kWinOpShow);
        win_op_activate(frame, 1);
    } else if (has('r')) {
        win_op_show(frame, kWinOpRestore);
        win_op_activate(frame, 1);
    } else if (has('t')) {
        // Without a tray icon the window is only minimised.
        win_op_show(frame, kWinOpMinimise);
    }
    return 1;
}

// ---- /tray ----

int cmd_tray(CommandCall& call)
{
    const auto& t = call.tokens;
    const char* w = "tray";
    if (t[1].empty() || t[1][0] != '-')
        return 1;
    const std::string& s = t[1];
    struct Letter {
        char c;
        OptionId option;
    };
    static const Letter letters[] = {
        {'m', OPT_TRAY_ICON_ALWAYS},      {'s', OPT_START_IN_TRAY},
        {'t', OPT_MINIMISE_TO_TRAY},      {'a', OPT_TRAY_ANIMATE_ACTIVITY},
        {'c', OPT_TRAY_SINGLE_CLICK},
    };
    bool changed = false;
    for (std::size_t k = 1; k < s.size(); ++k) {
        for (const Letter& l : letters) {
            if (s[k] != l.c)
                continue;
            int value = 0;
            if (k + 1 < s.size() && std::isdigit(static_cast<unsigned char>(s[k + 1]))) {
                long long v = 0;
                while (k + 1 < s.size() && std::isdigit(static_cast<unsigned char>(s[k + 1])))
                    v = std::min<long long>(v * 10 + (s[++k] - '0'), 1000);
                value = v >= 1 ? 1 : 0;
            }
            if (opt(l.option) != value) {
                opt_set(l.option, value);
                changed = true;
            }
        }
    }
    if (const std::size_t at = s.find('i'); at != std::string::npos) {
        const int index = std::atoi(s.c_str() + at + 1);
        if (t.size() > 2) {
            std::string name;
            for (std::size_t j = 2; j < t.size(); ++j)
                name += (j > 2 ? " " : "") + t[j];
            if (name.size() >= 2 && name.front() == '"' && name.back() == '"')
                name = name.substr(1, name.size() - 2);
            std::string path;
            if (name.size() > kMediumText || !file_resolve_file_path(name, path))
                return script_error(nullptr, w, {}, 3);
            if (!file_exists(path, 1))
                return script_error(nullptr, w, name, 1);
            main_settings.trayicon_file = path;
            opt_set(OPT_TRAY_ICON_INDEX, index);
        } else {
            main_settings.trayicon_file.clear();
            opt_set(OPT_TRAY_ICON_INDEX, 0);
        }
        changed = true;
    }
    if (changed)
        tray_icon_update(TRAY_REFRESH);
    return 1;
}

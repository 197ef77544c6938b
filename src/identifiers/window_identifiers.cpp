#include "identifiers/window_identifiers.h"

#include <QClipboard>
#include <QGuiApplication>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "model/connection.h"
#include "app/window_facts.h"
#include "display/pictures.h"
#include "model/window_record.h"
#include "display/window_queries.h"
#include "core/files.h"
#include "core/options.h"
#include "core/string_list.h"
#include "core/text_buffer.h"
#include "core/wildcard.h"
#include "model/colors.h"
#include "model/nick_list.h"
#include "identifiers/tokens.h"
#include "script/exec/script_text.h"

namespace {

constexpr int kMaxIndex = 9998;

// The name scripts see: a DCC chat or file-server chat window is "=nick".
std::string display_name(const WindowRecord* rec)
{
    if (rec->type == kWinQuery && (rec->subtype == kQueryDccChat || rec->subtype == kQueryFserve)) {
        const std::size_t blank = rec->name.find(' ');
        return "=" + (blank == std::string::npos ? rec->name : rec->name.substr(blank + 1));
    }
    return rec->name;
}

// $active, $lactive and $leftwin with their cid and wid forms, for one
// window (null: none).
void active_value(QWidget* hwnd, std::string_view word, std::string& out)
{
    WindowRecord* rec = hwnd ? win_record_of(hwnd) : nullptr;
    const bool cid = word.size() >= 3 && text_equal_nocase(word.substr(word.size() - 3), "cid");
    const bool wid = word.size() >= 3 && text_equal_nocase(word.substr(word.size() - 3), "wid");
    if (cid)
        out = std::to_string(rec && conn_is_live(rec->conn) ? rec->conn->id : 0);
    else if (wid)
        out = std::to_string(rec ? rec->number : 0);
    else if (rec)
        out = display_name(rec);
}

int id_active(IdentCall& call)
{
    active_value(win_active_if_shown(), call.name, *call.value);
    return 2;
}

int id_lactive(IdentCall& call)
{
    const std::string_view w = call.name;
    QWidget* hwnd = text_find_nocase(w, "leftwin") != std::string_view::npos ? call.window() : win_last_active_child();
    active_value(hwnd, w, *call.value);
    return 2;
}

// Whether $window( considers the record: the windows of the current
// connection, and of any connection the finger, URL, notify and custom
// windows.
bool considered(const WindowRecord* rec, Connection* conn)
{
    if (!rec->hwnd)
        return false;
    if (rec->type == kWinFinger || rec->type == kWinUrls || rec->type == kWinNotify || rec->type == kWinCustom)
        return true;
    return rec->conn == conn;
}

const char* type_word(const WindowRecord* rec)
{
    switch (rec->type) {
    case kWinStatus: return "status";
    case kWinChannel: return "channel";
    case kWinQuery:
        switch (rec->subtype) {
        case kQueryMessages: return "message";
        case kQueryDccChat: return "chat";
        case kQueryFserve: return "fserve";
        default: return "query";
        }
    case kWinTransfer: return rec->subtype == 2 ? "get" : "send";
    case kWinChanList: return "chanlist";
    case kWinFinger: return "finger";
    case kWinUrls: return "urls";
    case kWinNotify: return "notify";
    case kWinLinks: return "links";
    case kWinCustom:
        if (rec->picture)
            return "picture";
        return rec->subtype == 1 ? "listbox" : "custom";
    default: return "unknown";
    }
}

const char* state_word(const WindowFacts& f, const WindowRecord* rec)
{
    const bool on_bar = (rec->bar_flags & 1) && opt(OPT_SWITCHBAR_SHOWN);
    const bool on_tree = (rec->bar_flags & 2) && opt(OPT_TREEBAR_SHOWN);
    if (!f.visible && !on_bar && !on_tree)
        return "hidden";
    if (f.minimised)
        return "minimized";
    if (f.maximised)
        return "maximized";
    return "normal";
}

void record_property(WindowRecord* rec, std::string_view prop, std::string& out)
{
    WindowFacts f;
    win_facts(rec->hwnd, f);
    auto is = [&](const char* p) { return text_equal_nocase(prop, p); };
    if (prop.empty()) {
        out = display_name(rec);
    } else if (is("x")) {
        out = std::to_string(f.place.left);
    } else if (is("y")) {
        out = std::to_string(f.place.top);
    } else if (is("w")) {
        out = std::to_string(f.place.right);
    } else if (is("h")) {
        out = std::to_string(f.place.bottom);
    } else if (is("dx")) {
        out = std::to_string(f.screen.left);
    } else if (is("dy")) {
        out = std::to_string(f.screen.top);
    } else if (is("dw")) {
        out = std::to_string(f.screen.right);
    } else if (is("dh")) {
        out = std::to_string(f.screen.bottom);
    } else if (is("state")) {
        out = state_word(f, rec);
    } else if (is("type")) {
        out = type_word(rec);
    } else if (is("mdi")) {
        out = ident_truth(f.mdi_child);
    } else if (is("icon")) {
        const bool bar = opt(OPT_SWITCHBAR_SHOWN) != 0;
        out = (bar ? (rec->bar_flags & 1) != 0 : (f.minimised && f.visible)) ? "on" : "off";
    } else if (is("sbstate")) {
        out = (rec->bar_flags & 1) ? "1" : "0";
    } else if (is("tbstate")) {
        out = (rec->bar_flags & 2) ? "1" : "0";
    } else if (is("sbtext") || is("tbtext")) {
        out = display_name(rec);
    } else if (is("sbcolor") || is("sbcolour")) {
        out = rec->activity == kActivityMessage     ? "message"
              : rec->activity == kActivityHighlight ? "highlight"
              : rec->activity == kActivityText      ? "event"
                                                    : "";
    } else if (is("font")) {
        out = rec->font_face;
    } else if (is("fontsize")) {
        out = std::to_string(rec->font_size);
    } else if (is("fontcs")) {
        out = std::to_string(rec->font_charset);
    } else if (is("fontbold")) {
        out = ident_truth(rec->font_weight == 700);
    } else if (is("utf")) {
        out = std::to_string(rec->font_encoding);
    } else if (prop.size() >= 5 && text_equal_nocase(prop.substr(0, 5), "title")) {
        const std::size_t blank = f.title.find(' ');
        if (blank != std::string::npos)
            out = f.title.substr(blank + 1);
    } else if (is("logfile")) {
        if (rec->logging)
            out = rec->log_path;
    } else if (is("stamp")) {
        out = ident_truth(rec->timestamp == 1 || (rec->timestamp == 2 && opt(OPT_TIMESTAMP_EVENTS)));
    } else if (is("ontop")) {
        out = ident_truth(f.on_top);
    } else if (is("anysc")) {
        out = ident_truth(rec->shared == 1);
    } else if (is("hwnd")) {
        out = std::to_string(static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(rec->hwnd.get()) & 0x7fffffffu));
    } else if (is("wid")) {
        out = std::to_string(rec->number);
    } else if (is("cid")) {
        out = std::to_string(conn_is_live(rec->conn) ? rec->conn->id : 0);
    }
}

// The desktop, the main window and the MDI client.
void special_property(QWidget* hwnd, int kind, std::string_view prop, std::string& out)
{
    WindowFacts f;
    win_facts(hwnd, f);
    auto is = [&](const char* p) { return text_equal_nocase(prop, p); };
    if (is("x"))
        out = std::to_string(f.screen.left);
    else if (is("y"))
        out = std::to_string(f.screen.top);
    else if (is("w") || is("dw"))
        out = std::to_string(f.screen.right);
    else if (is("h") || is("dh"))
        out = std::to_string(f.screen.bottom);
    else if (is("dx") || is("dy"))
        out = "0";
    else if (is("state"))
        out = (kind == 2 && !f.visible && f.minimised) ? "tray"
              : (f.minimised || !f.visible)           ? "minimized"
              : f.maximised                           ? "maximized"
                                                      : "normal";
    else if (is("icon"))
        out = f.minimised && f.visible ? "on" : "off";
    else if (is("type"))
        out = kind == 2 ? "kest" : kind == 3 ? "mdi" : "desktop";
    else if (is("hwnd"))
        out = std::to_string(static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(hwnd) & 0x7fffffffu));
    else if (is("wid") || is("cid"))
        out = "0";
}

// 1 desktop, 2 main window, 3 MDI client; 0 for any other name.
int special_kind(const std::string& name)
{
    if (name == "-1" || text_equal_nocase(name, "@desktop"))
        return 1;
    if (name == "-2" || name == "@" || text_equal_nocase(name, "@kest"))
        return 2;
    if (name == "-3" || text_equal_nocase(name, "@mdi"))
        return 3;
    return 0;
}

int id_window(IdentCall& call)
{
    std::string out;
    const std::string& a = ident_arg(call, 0);
    const std::string_view prop = ident_property(call);
    Connection* conn = call.conn();
    if (a.empty())
        return ident_result(call, out);
    if (const int kind = special_kind(a)) {
        QWidget* hwnd = kind == 1 ? win_desktop_handle() : kind == 2 ? win_frame_handle() : win_mdi_handle();
        if (hwnd && !prop.empty())
            special_property(hwnd, kind, prop, out);
        return ident_result(call, out);
    }
    WindowRecord* found = nullptr;
    if (win_special_name_kind(a) == 16) {
        found = win_record_by_id(std::atoi(a.c_str() + 1));
    } else if (ident_arg_count(call) == 2) {
        long n = std::strtol(ident_arg(call, 1).c_str(), nullptr, 10);
        if (n > kMaxIndex)
            n = kMaxIndex;
        long seen = 0;
        for (WindowRecord* rec = win_list; rec; rec = rec->next) {
            if (!considered(rec, conn) || !wild_match(a, display_name(rec), 0, 1))
                continue;
            if (++seen == n && n >= 1) {
                found = rec;
                break;
            }
        }
        if (n <= 0)
            out = std::to_string(seen);
    } else if (arg_is_integer(a)) {
        long n = std::strtol(a.c_str(), nullptr, 10);
        if (n > kMaxIndex)
            n = kMaxIndex;
        long seen = 0;
        for (WindowRecord* rec = win_list; rec; rec = rec->next) {
            if (rec->type != kWinCustom || !rec->hwnd)
                continue;
            if (++seen == n && n >= 1) {
                found = rec;
                break;
            }
        }
        if (n <= 0)
            out = std::to_string(seen);
    } else {
        for (WindowRecord* rec = win_list; rec; rec = rec->next)
            if (considered(rec, conn) && text_equal_nocase(display_name(rec), a)) {
                found = rec;
                break;
            }
    }
    if (found)
        record_property(found, prop, out);
    return ident_result(call, out);
}


// ---- Shapes ----

double real_of(const std::string& t)
{
    return std::strtod(t.c_str(), nullptr);
}

int id_shape(IdentCall& call)
{
    const std::string_view w = call.name;
    const int n = ident_arg_count(call);
    std::vector<double> v;
    for (int i = 0; i < n; ++i)
        v.push_back(real_of(ident_arg(call, i)));
    int answer = -1;
    if (text_equal_nocase(w, "inrect(")) {
        if (n == 6)
            answer = shape_in_rect(v[0], v[1], v[2], v[3], v[4], v[5]);
    } else if (text_equal_nocase(w, "inellipse(")) {
        if (n == 6)
            answer = shape_in_ellipse(v[0], v[1], v[2], v[3], v[4], v[5]);
    } else if (text_equal_nocase(w, "inroundrect(")) {
        if (n == 8)
            answer = shape_in_round_rect(v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7]);
    } else if (text_equal_nocase(w, "inpoly(")) {
        if (n >= 2 && n % 2 == 0)
            answer = shape_in_polygon(v[0], v[1], std::vector<double>(v.begin() + 2, v.end()));
    } else if (text_equal_nocase(w, "onpoly(")) {
        if (n >= 6) {
            const long p = static_cast<long>(v[0]), q = static_cast<long>(v[1]);
            if (p >= 1 && q >= 1 && 2 * (p + q) == n - 2)
                answer = shapes_overlap(std::vector<double>(v.begin() + 2, v.begin() + 2 + 2 * p),
                                        std::vector<double>(v.begin() + 2 + 2 * p, v.end()));
        }
    }
    if (answer < 0)
        return ident_error(call.token, call.work, 6);
    std::string out = ident_truth(answer != 0);
    return ident_result(call, out);
}

int id_style(IdentCall& call)
{
    std::string out;
    if (!(ident_arg_count(call) == 2 && ident_arg(call, 1).empty()))
        out = "$style(" + std::to_string(std::atoi(ident_arg(call, 0).c_str())) + ")";
    return ident_result(call, out);
}

int id_color(IdentCall& call)
{
    std::string out;
    std::string a = ident_arg(call, 0);
    if (arg_is_integer(a)) {
        out = std::to_string(static_cast<long>(color_rgb(static_cast<std::uint32_t>(std::strtol(a.c_str(), nullptr, 10)))));
    } else {
        while (!a.empty() && a.front() == ' ')
            a.erase(0, 1);
        while (!a.empty() && a.back() == ' ')
            a.pop_back();
        int item = a.empty() ? -1 : color_item_by_name(a);
        if (item < 0 || item >= kColorItemCount)
            item = 0;
        const int index = color_items[item].current;
        char buf[16];
        std::snprintf(buf, sizeof buf, text_equal_nocase(ident_property(call), "dd") ? "%02d" : "%d", index);
        out = buf;
    }
    return ident_result(call, out);
}

// The clipboard's lines: split at line feeds, a carriage return on either
// side of the feed dropped.
std::vector<std::string> clipboard_lines(std::string& whole)
{
    std::vector<std::string> lines;
    QClipboard* cb = QGuiApplication::instance() ? QGuiApplication::clipboard() : nullptr;
    whole = cb ? cb->text().toStdString() : std::string();
    std::size_t i = 0;
    while (i < whole.size()) {
        std::size_t end = whole.find('\n', i);
        if (end == std::string::npos)
            end = whole.size();
        std::string line = whole.substr(i, end - i);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line.substr(0, kLongText));
        i = end + 1;
        if (i < whole.size() && whole[i] == '\r')
            ++i;
    }
    return lines;
}

int id_cb(IdentCall& call)
{
    std::string whole;
    if (call.name.find('(') == std::string_view::npos) {
        const std::vector<std::string> lines = clipboard_lines(whole);
        if (!lines.empty())
            *call.value = lines[0];
        return 2;
    }
    const int r = ident_args_range(call, 1, 2, true);
    if (r >= 0)
        return r;
    std::string out;
    const std::vector<std::string> lines = clipboard_lines(whole);
    const long n = std::strtol(ident_arg(call, 0).c_str(), nullptr, 10);
    const bool len = text_equal_nocase(ident_property(call), "len");
    if (n == 0)
        out = std::to_string(len ? whole.size() : lines.size());
    else if (n > 0 && static_cast<std::size_t>(n) <= lines.size())
        out = len ? std::to_string(lines[static_cast<std::size_t>(n - 1)].size()) : lines[static_cast<std::size_t>(n - 1)];
    return ident_result(call, out);
}

int id_lines(IdentCall& call)
{
    std::string name = ident_arg(call, 0);
    text_strip_quotes(name);
    std::string path, out;
    if (!file_resolve_file_path(name, path))
        return ident_error(call.token, call.work, 6);
    if (!file_is_device(path)) {
        std::ifstream in(path, std::ios::binary);
        if (in) {
            long count = 0;
            std::string line;
            while (std::getline(in, line))
                ++count;
            out = std::to_string(count);
        }
    }
    return ident_result(call, out);
}

WindowRecord* window_named(const std::string& name, Connection* conn)
{
    if (win_special_name_kind(name) == 16)
        return win_record_by_id(std::atoi(name.c_str() + 1));
    return win_find_by_name(name, conn);
}

int id_fline(IdentCall& call)
{
    std::string out;
    WindowRecord* rec = window_named(ident_arg(call, 0), call.conn());
    const std::string& mask_text = ident_arg(call, 1);
    if (!rec || mask_text.empty())
        return ident_result(call, out);
    const long n = ident_arg_count(call) >= 3 ? std::strtol(ident_arg(call, 2).c_str(), nullptr, 10) : 1;
    const bool keep_codes = text_has_codes(mask_text, 0) != 0;
    std::string mask = mask_text;
    for (char& c : mask)
        c = text_lower_char(c);
    const bool per_node = rec->type == kWinChanList || rec->type == kWinLinks;
    long line_no = 0, seen = 0;
    const StringNode* node = rec->lines;
    while (node) {
        std::string text = node->text;
        const int serial = node->serial;
        node = node->next;
        while (!per_node && node && node->serial == serial && serial != 0) {
            std::string part = node->text;
            std::size_t drop = 0;
            while (drop < part.size() && drop < static_cast<std::size_t>(node->indent) && part[drop] == ' ')
                ++drop;
            text += part.substr(drop);
            node = node->next;
        }
        ++line_no;
        std::string test = text;
        if (!keep_codes)
            text_strip_codes(test, 31);
        for (char& c : test)
            c = text_lower_char(c);
        if (!wild_match(mask, test, 0, 1))
            continue;
        ++seen;
        if (n >= 1 && seen == n) {
            out = text_equal_nocase(ident_property(call), "text") ? text : std::to_string(line_no);
            return ident_result(call, out);
        }
    }
    if (n <= 0)
        out = std::to_string(seen);
    return ident_result(call, out);
}

int id_editbox(IdentCall& call)
{
    std::string out, text;
    WindowRecord* rec = window_named(ident_arg(call, 0), call.conn());
    const int box = ident_arg_count(call) == 2 ? std::atoi(ident_arg(call, 1).c_str()) : 0;
    int start = 0, end = 0;
    if (rec && win_editbox_facts(rec, box, text, start, end)) {
        const std::string_view prop = ident_property(call);
        if (text_equal_nocase(prop, "selstart"))
            out = std::to_string(start);
        else if (text_equal_nocase(prop, "selend"))
            out = std::to_string(end);
        else if (prop.empty())
            out = text.substr(0, kLongText);
    }
    return ident_result(call, out);
}

// The selected rows of a window's list box, a channel's nicks without their
// prefix characters.
bool selected_items(WindowRecord* rec, std::vector<std::string>& items, std::vector<int>& rows)
{
    items.clear();
    std::vector<std::string> texts;
    if (!rec || !win_listbox_facts(rec, &texts, rows))
        return false;
    const std::string prefixes = rec->type == kWinChannel && conn_is_live(rec->conn)
                                     ? nicklist_prefix_chars(rec->conn)
                                     : std::string();
    for (int row : rows) {
        std::string t = texts[static_cast<std::size_t>(row)];
        if (!prefixes.empty()) {
            std::size_t k = 0;
            while (k < t.size() && prefixes.find(t[k]) != std::string::npos)
                ++k;
            t.erase(0, k);
        }
        items.push_back(t);
    }
    return true;
}

// The selected nicks joined with ",", or error 9 past the long text size.
int joined_nicks(WindowRecord* rec, std::string& out)
{
    out.clear();
    std::vector<std::string> items;
    std::vector<int> rows;
    if (!rec || rec->type != kWinChannel || !selected_items(rec, items, rows))
        return 0;
    for (const std::string& nick : items) {
        if (nick.empty())
            continue;
        if (out.size() + nick.size() + 1 > kLongText) {
            out.clear();
            return kTokErrTooLong;
        }
        if (!out.empty())
            out += ',';
        out += nick;
    }
    return 0;
}

int id_snicks(IdentCall& call)
{
    WindowRecord* rec = call.window() ? win_record_of(call.window()) : nullptr;
    std::string out;
    if (joined_nicks(rec, out))
        return ident_error(call.token, call.work, kTokErrTooLong);
    *call.value = out;
    return 2;
}

int id_snick(IdentCall& call)
{
    std::string out;
    WindowRecord* rec = win_find_channel(ident_arg(call, 0), call.conn());
    if (ident_arg_count(call) == 1) {
        if (joined_nicks(rec, out))
            return ident_error(call.token, call.work, kTokErrTooLong);
        return ident_result(call, out);
    }
    std::vector<std::string> items;
    std::vector<int> rows;
    if (rec && selected_items(rec, items, rows)) {
        const long n = std::strtol(ident_arg(call, 1).c_str(), nullptr, 10);
        if (n <= 0)
            out = std::to_string(items.size());
        else if (static_cast<std::size_t>(n) <= items.size())
            out = items[static_cast<std::size_t>(n - 1)];
    }
    return ident_result(call, out);
}

int id_sline(IdentCall& call)
{
    std::string out;
    WindowRecord* rec = window_named(ident_arg(call, 0), call.conn());
    std::vector<std::string> items;
    std::vector<int> rows;
    if (rec && !ident_arg(call, 1).empty() && selected_items(rec, items, rows)) {
        const long n = std::strtol(ident_arg(call, 1).c_str(), nullptr, 10);
        if (n <= 0)
            out = std::to_string(items.size());
        else if (static_cast<std::size_t>(n) <= items.size())
            out = text_equal_nocase(ident_property(call), "ln") ? std::to_string(rows[static_cast<std::size_t>(n - 1)] + 1)
                                                                : items[static_cast<std::size_t>(n - 1)];
    }
    return ident_result(call, out);
}

int id_pic(IdentCall& call)
{
    std::string name = ident_arg(call, 0);
    text_strip_quotes(name);
    std::string path, out;
    if (name.empty() || !file_resolve_file_path(name, path))
        return ident_error(call.token, call.work, 6);
    if (file_is_device(path)) {
        out = "0";
        return ident_result(call, out);
    }
    int width = 0, height = 0;
    const int known = img_read_size(path, width, height);
    const std::string_view prop = ident_property(call);
    if (text_equal_nocase(prop, "width"))
        out = std::to_string(width);
    else if (text_equal_nocase(prop, "height"))
        out = std::to_string(height);
    else
    {
        std::uint64_t bytes = 0;
        out = known && file_size64(path, bytes) ? std::to_string(bytes) : "0";
    }
    return ident_result(call, out);
}

// "mouse." and its property, which is part of the word.
int id_mouse(IdentCall& call)
{
    std::string_view word = call.token->text;
    const std::size_t dot = word.find('.');
    const std::string_view prop = dot == std::string_view::npos ? std::string_view() : word.substr(dot + 1);
    MouseFacts m;
    win_mouse_facts(m);
    std::string& out = *call.value;
    auto is = [&](const char* p) { return text_equal_nocase(prop, p); };
    if (is("x"))
        out = std::to_string(m.x);
    else if (is("y"))
        out = std::to_string(m.y);
    else if (is("win"))
        out = m.rec ? display_name(m.rec) : std::string();
    else if (is("lb"))
        out = ident_truth(m.over_list);
    else if (is("mx"))
        out = std::to_string(m.mx);
    else if (is("my"))
        out = std::to_string(m.my);
    else if (is("dx"))
        out = std::to_string(m.dx);
    else if (is("dy"))
        out = std::to_string(m.dy);
    else if (is("key"))
        out = std::to_string(m.keys);
    return 2;
}

int id_fullscreen(IdentCall& call)
{
    WindowFacts f;
    *call.value = ident_truth(win_facts(win_frame_handle(), f) && f.full_screen);
    return 2;
}

} // namespace

// ---------------------------------------------------------------------------
// Shape tests.

int shape_in_rect(double x, double y, double left, double top, double width, double height)
{
    const double px = std::trunc(x), py = std::trunc(y);
    return left <= px && px < left + width && top <= py && py < top + height;
}

int shape_in_ellipse(double x, double y, double left, double top, double width, double height)
{
    const double px = std::trunc(x), py = std::trunc(y);
    if (width == 0)
        return 0;
    const double dx = px - (left + width / 2), dy = py - (top + height / 2);
    const double r = 2 * dx / width;
    if (std::fabs(r) > 1)
        return 0;
    const double limit = (height / 2) * std::sqrt(1 - r * r);
    if (!(limit > 0))
        return 0;
    return std::fabs(dy) <= limit;
}

int shape_in_round_rect(double x, double y, double left, double top, double width, double height,
                        double corner_w, double corner_h)
{
    if (!shape_in_rect(x, y, left, top, width, height))
        return 0;
    const double px = std::trunc(x), py = std::trunc(y);
    const double cw = std::min(corner_w, width), ch = std::min(corner_h, height);
    // Each corner: a box of half the corner size, tested against the corner
    // ellipse (the corner size) that rounds it.
    const bool near_left = px < left + cw / 2, near_right = px >= left + width - cw / 2;
    const bool near_top = py < top + ch / 2, near_bottom = py >= top + height - ch / 2;
    if ((near_left || near_right) && (near_top || near_bottom)) {
        const double ex = near_left ? left : left + width - cw;
        const double ey = near_top ? top : top + height - ch;
        return shape_in_ellipse(x, y, ex, ey, cw, ch);
    }
    return 1;
}

int shape_in_polygon(double x, double y, const std::vector<double>& points)
{
    const double px = std::trunc(x), py = std::trunc(y);
    const std::size_t n = points.size() / 2;
    bool inside = false;
    for (std::size_t i = 0, j = n ? n - 1 : 0; i < n; j = i++) {
        const double xi = points[2 * i], yi = points[2 * i + 1], xj = points[2 * j], yj = points[2 * j + 1];
        if ((yi > py) != (yj > py) && px < (xj - xi) * (py - yi) / (yj - yi) + xi)
            inside = !inside;
    }
    return inside;
}

namespace {

using Poly = std::vector<std::pair<double, double>>;

Poly polygon_of(const std::vector<double>& coords, bool close_second)
{
    Poly p;
    for (std::size_t i = 0; i + 1 < coords.size(); i += 2)
        p.emplace_back(std::trunc(coords[i]), std::trunc(coords[i + 1]));
    while (!p.empty() && p.size() < 3)
        p.push_back(p.back());
    if (close_second && !p.empty() && p.back() != p.front())
        p.push_back(p.front());
    return p;
}

bool segments_cross(std::pair<double, double> a, std::pair<double, double> b, std::pair<double, double> c,
                    std::pair<double, double> d)
{
    const double rx = b.first - a.first, ry = b.second - a.second;
    const double sx = d.first - c.first, sy = d.second - c.second;
    const double den = rx * sy - ry * sx;
    if (den == 0)
        return false;   // parallel segments never cross
    const double t = ((c.first - a.first) * sy - (c.second - a.second) * sx) / den;
    const double u = ((c.first - a.first) * ry - (c.second - a.second) * rx) / den;
    return t >= 0 && t <= 1 && u >= 0 && u <= 1;
}

// Nonzero winding number of the point around the polygon.
bool winding_inside(std::pair<double, double> pt, const Poly& poly)
{
    int wn = 0;
    const std::size_t n = poly.size();
    for (std::size_t i = 0; i < n; ++i) {
        const auto a = poly[i], b = poly[(i + 1) % n];
        const double cross = (b.first - a.first) * (pt.second - a.second) - (pt.first - a.first) * (b.second - a.second);
        if (a.second <= pt.second) {
            if (b.second > pt.second && cross > 0)
                ++wn;
        } else if (b.second <= pt.second && cross < 0) {
            --wn;
        }
    }
    return wn != 0;
}

} // namespace

int shapes_overlap(const std::vector<double>& first, const std::vector<double>& second)
{
    const Poly p = polygon_of(first, false), q = polygon_of(second, true);
    if (p.empty() || q.empty())
        return 0;
    for (std::size_t i = 0; i < p.size(); ++i)
        for (std::size_t j = 0; j + 1 < q.size(); ++j)
            if (segments_cross(p[i], p[(i + 1) % p.size()], q[j], q[j + 1]))
                return 1;
    // No edge crosses: the regions meet when one holds a point of the other.
    return winding_inside(p[0], q) || winding_inside(q[0], p);
}

namespace {
} // namespace

void window_identifiers_register()
{
    ident_register_family("win_active_if_shown", id_active);
    ident_register_family("id_lactive", id_lactive);
    ident_register_family("id_window", id_window);
    ident_register_family("id_region", id_shape);
    ident_register_family("id_style", id_style);
    ident_register_family("id_color", id_color);
    ident_register_family("id_cb", id_cb);
    ident_register_family("id_lines", id_lines);
    ident_register_family("id_fline", id_fline);
    ident_register_family("win_fullscreen_active", id_fullscreen);
    ident_register_family("id_editbox", id_editbox);
    ident_register_family("id_snicks", id_snicks);
    ident_register_family("id_snick", id_snick);
    ident_register_family("id_sline", id_sline);
    ident_register_family("id_pic", id_pic);
    ident_register_family("id_mouse", id_mouse);
}

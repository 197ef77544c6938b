#include "identifiers/window_identifiers.h"

#include <cstdint>
#include <cstdlib>
#include <string>

#include "app/connection.h"
#include "app/window_facts.h"
#include "app/window_record.h"
#include "core/options.h"
#include "core/text_buffer.h"
#include "core/wildcard.h"
#include "identifiers/tokens.h"
#include "script/exec/script_text.h"

namespace {

constexpr int kMaxIndex = 9998;

const char* truth(bool b)
{
    return b ? "$true" : "$false";
}

int store(IdentCall& call, std::string& value)
{
    *call.value = std::move(value);
    return ident_finish(call);
}

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
        out = truth(f.mdi_child);
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
        out = truth(rec->font_weight == 700);
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
        out = truth(rec->timestamp == 1 || (rec->timestamp == 2 && opt(OPT_TIMESTAMP_EVENTS)));
    } else if (is("ontop")) {
        out = truth(f.on_top);
    } else if (is("anysc")) {
        out = truth(rec->shared == 1);
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
    const int r = tokens_take_arguments(call, 1, 2, true);
    if (r >= 0)
        return r;
    std::string out;
    const std::string& a = ident_arg(call, 0);
    const std::string_view prop = ident_property(call);
    Connection* conn = call.conn();
    if (a.empty())
        return store(call, out);
    if (const int kind = special_kind(a)) {
        QWidget* hwnd = kind == 1 ? win_desktop_handle() : kind == 2 ? win_frame_handle() : win_mdi_handle();
        if (hwnd && !prop.empty())
            special_property(hwnd, kind, prop, out);
        return store(call, out);
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
    return store(call, out);
}

} // namespace

void window_identifiers_register()
{
    ident_register_family("win_active_if_shown", id_active);
    ident_register_family("id_lactive", id_lactive);
    ident_register_family("id_window", id_window);
}

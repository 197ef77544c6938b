// Opening and closing windows by type.
#include "app/window_open.h"
#include "display/window_queries.h"
#include "core/main_settings.h"

#include <QFontMetrics>
#include <QMdiSubWindow>
#include <QWidget>

#include <algorithm>
#include <cstdlib>
#include <set>

#include "app/child_window.h"
#include "model/connection.h"
#include "app/frame_proc.h"
#include "app/startup.h"
#include "core/encodings.h"
#include "core/hash_table.h"
#include "core/numbered_texts.h"
#include "core/options.h"
#include "core/text_buffer.h"
#include "core/text_limits.h"
#include "app/frame_layout.h"
#include "app/window_options.h"
#include "display/backgrounds.h"
#include "display/editbox.h"
#include "display/fonts.h"
#include "display/logging.h"
#include "display/nick_list.h"
#include "display/text_area.h"
#include "irc/dispatch/dispatcher.h"
#include "irc/dispatch/outgoing_notes.h"
#include "irc/link/close.h"
#include "irc/lists/address_list.h"
#include "irc/services/finger.h"
#include "irc/link/send_queue.h"
#include "script/events/event_fire.h"
#include "script/events/event_index.h"
#include "platform/app_messages.h"
#include "platform/platform_utils.h"

WinCreateParams win_create_params;
int win_next_query_minimised = 0;
int win_next_query_shown = 0;
int win_switch_target = -1;
CustomWindowRequest win_custom_request;
OpenHooks open_hooks;
Signal<void(WindowRecord* rec)> win_closing;

namespace {

// Re-entry guard of win_open, and the close-all state.
bool open_running = false;
bool closing_all = false;

void print_error_6133(Connection* conn)
{
    if (!conn_is_live(conn))
        conn = conn_current();
    if (!conn_is_live(conn))
        return;
    QWidget* status = conn->status_window.data();
    if (status)
        text_area_info_line(status, text_load_string(6133));
}

// The in-MDI default of a window kind.
int in_mdi_default(int type, int subtype)
{
    switch (type) {
    case kWinStatus:
        return opt(OPT_MDI_STATUS);
    case kWinChannel:
        return opt(OPT_MDI_CHANNEL);
    case kWinQuery:
        if (subtype == kQueryDccChat)
            return opt(OPT_MDI_CHAT);
        if (subtype == kQueryFserve)
            return opt(OPT_MDI_FSERVE);
        return opt(OPT_MDI_QUERY);
    case kWinTransfer:
        return opt(OPT_MDI_TRANSFER);
    case kWinFinger:
        return opt(OPT_MDI_FINGER);
    case kWinNotify:
        return opt(OPT_MDI_NOTIFY);
    case kWinUrls:
        return opt(OPT_MDI_URLS);
    case kWinChanList:
        return opt(OPT_MDI_CHANLIST);
    case kWinLinks:
        return opt(OPT_MDI_LINKS);
    default:
        return 1;
    }
}

struct Placement {
    int found = 0;
    int left = kUnsetCoord, width = kUnsetCoord, top = kUnsetCoord, height = kUnsetCoord;
    int state = 0, in_mdi = 1, on_top = 0;
};

Placement load_key(WindowRecord* rec, const std::string& key)
{
    Placement p;
    if (key.empty())
        return p;
    int left = 0, width = 0, top = 0, height = 0, state = 0, mdi = 1, top_flag = 0;
    if (win_load_position(rec->hwnd.get(), key, &left, &width, &top, &height, &state, &mdi, &top_flag,
                          rec->conn)) {
        p.found = 1;
        p.left = left;
        p.width = width;
        p.top = top;
        p.height = height;
        p.state = state;
        p.in_mdi = mdi;
        p.on_top = top_flag;
    }
    return p;
}

// Applies a full placement (from the first key of `full` that exists) or a
// size-only key; returns the in-MDI flag to use.
int apply_placement(WindowRecord* rec, const std::vector<std::string>& full,
                    const std::string& size_only)
{
    WinCreateParams& p = win_create_params;
    int mdi = in_mdi_default(rec->type, rec->subtype);
    for (const std::string& key : full) {
        Placement pl = load_key(rec, key);
        if (!pl.found)
            continue;
        p.width = pl.width;
        p.height = pl.height;
        if (pl.left == kUnsetCoord && pl.top == kUnsetCoord)
            return mdi;
        p.x = pl.left;
        p.y = pl.top;
        if (pl.state == 1)
            p.open_minimised = 1;
        else if (pl.state == 2)
            p.open_maximised = 1;
        p.on_top = pl.on_top;
        return pl.in_mdi;
    }
    Placement pl = load_key(rec, size_only);
    if (pl.found) {
        p.width = pl.width;
        p.height = pl.height;
    }
    return mdi;
}

void destroy_window(WindowRecord* rec)
{
    QWidget* hwnd = rec->hwnd.get();
    rec->hwnd = nullptr;
    if (!hwnd)
        return;
    QWidget* frame = win_container(hwnd);
    frame->hide();
    frame->deleteLater();
}

// The steps every creator ends with.
QWidget* finish(WindowRecord* rec, int* opened)
{
    QWidget* hwnd = rec->hwnd.get();
    if (opened)
        *opened = 1;
    win_list_change(kWinListOrder);
    win_layout(hwnd, kLayoutNoRepaint);
    win_show_new(rec, 1);
    log_window_open(rec);
    return hwnd;
}

// Makes the frame and the border style; the caller adds the controls.
QWidget* make_frame(WindowRecord* rec, int in_mdi, const char* class_name)
{
    win_create_params.class_name = class_name;
    // The font first, so that the controls are made with it.
    font_ensure_window(rec);
    QWidget* hwnd = win_create_frame(rec, in_mdi);
    if (!hwnd)
        return nullptr;
    rec->border_style = win_border_style(rec);
    win_apply_options(rec);
    return hwnd;
}

int editbox_mode_option()
{
    int mode = opt(OPT_EDITBOX_LINES);
    if (mode < 0 || mode > 2)
        mode = 0;
    return mode;
}

int editbox_split_option()
{
    int split = opt(OPT_EDITBOX_SPLIT);
    if (split < 10 || split > 90)
        split = 70;
    return split;
}

// The side list's pixel width for a width in characters.
int side_width_for(WindowRecord* rec, int chars)
{
    if (chars <= 0)
        return 0;
    std::string sample;
    for (int i = 0; i < chars && i < 1023; ++i)
        sample += (i % 2) ? 'I' : 'W';
    QWidget* w = rec->hwnd.get();
    QFontMetrics fm = rec->font ? QFontMetrics(*rec->font) : w->fontMetrics();
    return fm.horizontalAdvance(QString::fromLatin1(sample.c_str())) + 3;
}

bool is_status_window_of_other(WindowRecord* r, WindowRecord* self)
{
    return r != self && r->type == kWinStatus && r->hwnd.get();
}

int status_window_count()
{
    int n = 0;
    for (WindowRecord* r = win_list; r; r = r->next) {
        if (r->type == kWinStatus && r->hwnd.get())
            ++n;
    }
    return n;
}

int program_exiting()
{
    if (closing_all)
        return 1;
    return app_exit_under_way();
}

void fire_close(WindowRecord* rec)
{
    if (opt(OPT_REMOTE_EVENTS))
        win_fire_close_event(rec->hwnd.get());
}

// CLOSE for the window: the before pass ("^" lines) or the normal pass.
void fire_close_event(WindowRecord* rec, int pre)
{
    Connection* conn = conn_is_live(rec->conn) ? rec->conn : conn_current();
    event_fire(conn, rec->hwnd.get(), nullptr, "CLOSE", kEvClose, pre ? 1 : 0, nullptr, nullptr);
}

}  // namespace

int win_closing_by_program = 0;

std::string win_class_name(int type, int subtype)
{
    switch (type) {
    case kWinStatus:
        return "Kest_Status";
    case kWinChannel:
        return "Kest_Channel";
    case kWinQuery:
        switch (subtype) {
        case kQueryPrivate:
        case kQueryMessages:
            return "Kest_Query";
        case kQueryDccChat:
            return "Kest_Chat";
        case kQueryFserve:
            return "Kest_Fserve";
        default:
            return "";
        }
    case kWinTransfer:
        return subtype == 1 ? "Kest_Send" : subtype == 2 ? "Kest_Get" : "";
    case kWinChanList:
        return "Kest_ChanList";
    case kWinFinger:
        return "Kest_Finger";
    case kWinUrls:
        return "Kest_Urls";
    case kWinNotify:
        return "Kest_Notify";
    case kWinLinks:
        return "Kest_Links";
    case kWinCustom:
        return subtype >= 0 && subtype <= 2 ? "Kest_Custom" : "";
    default:
        return "";
    }
}

QWidget* win_open(const WindowOpenRequest& request)
{
    if (request.opened)
        *request.opened = 0;
    if (open_running)
        return nullptr;
    if (!conn_is_live(request.conn) || win_class_name(request.type, request.subtype).empty()) {
        print_error_6133(request.conn);
        return nullptr;
    }
    open_running = true;
    WindowRecord* rec = win_record_new(1);
    if (!rec) {
        open_running = false;
        print_error_6133(request.conn);
        return nullptr;
    }
    rec->name = request.name.size() > kMediumText ? request.name.substr(0, kMediumText) : request.name;
    rec->open_flags = request.flags;
    rec->type = request.type;
    rec->subtype = request.subtype;
    rec->conn = request.conn;
    rec->editbox_split = editbox_split_option();
    if (frame_hidden_asked.any() && win_list)
        win_list->shown = 0;

    // Fresh creation parameters.
    win_create_params = WinCreateParams{};
    win_create_params.title = rec->name;

    QWidget* hwnd = nullptr;
    int in_mdi = 1;
    int* opened = request.opened;
    switch (rec->type) {
    case kWinStatus:
        hwnd = win_open_status(rec, in_mdi, opened);
        break;
    case kWinChannel:
        hwnd = win_open_channel(rec, in_mdi, opened);
        break;
    case kWinQuery:
        hwnd = win_open_query(rec, in_mdi, opened);
        break;
    case kWinTransfer:
        hwnd = win_open_transfer(rec, in_mdi, opened);
        break;
    case kWinChanList:
        hwnd = win_open_chanlist(rec, in_mdi, opened);
        break;
    case kWinFinger:
        hwnd = win_open_finger(rec, in_mdi, opened);
        break;
    case kWinUrls:
        hwnd = win_open_urls(rec, in_mdi, opened);
        break;
    case kWinNotify:
        hwnd = win_open_notify(rec, in_mdi, opened);
        break;
    case kWinLinks:
        hwnd = win_open_links(rec, in_mdi, opened);
        break;
    case kWinCustom:
        hwnd = win_open_custom(rec, in_mdi, opened);
        break;
    default:
        break;
    }

    if (hwnd && win_is_record(rec) && rec->hwnd.get() == hwnd) {
        if (!win_active.get())
            win_active = hwnd;
        win_set_status_icon(rec);
        win_list_change(kWinListLook);
        win_list_change(kWinListTree, nullptr, 2);
        hwnd->update();
        open_running = false;
        return hwnd;
    }
    if (win_is_record(rec)) {
        destroy_window(rec);
        win_record_free(rec);
    }
    if (request.opened)
        *request.opened = 0;
    open_running = false;
    print_error_6133(request.conn);
    return nullptr;
}

// The in-MDI flag of a creator: the switch target while a window moves,
// else the placement's.
static int choose_mdi(int placement_mdi)
{
    if (win_switch_target == 0 || win_switch_target == 1)
        return win_switch_target;
    // Compact mode shows no MDI client: windows open on the desktop.
    if (main_settings.compact_mode)
        return 0;
    return placement_mdi;
}

QWidget* win_open_status(WindowRecord* rec, int, int* opened)
{
    WinCreateParams& p = win_create_params;
    p.title = "Status";
    int mdi = choose_mdi(apply_placement(rec, {"status"}, "wstatus"));
    if (conn_next_status_minimised) {
        p.open_minimised = 1;
        conn_next_status_minimised = 0;
    }
    rec->editbox_mode = editbox_mode_option();
    if (!make_frame(rec, mdi, "Kest_Status"))
        return nullptr;
    if (!win_create_text_area(rec) || !win_create_editbox(rec, 1)) {
        destroy_window(rec);
        return nullptr;
    }
    return finish(rec, opened);
}

QWidget* win_open_channel(WindowRecord* rec, int, int* opened)
{
    WinCreateParams& p = win_create_params;
    int mdi = choose_mdi(apply_placement(rec, {rec->name, "wdchannel"}, "wchannel"));
    Connection* conn = rec->conn;
    if (conn_is_live(conn)) {
        if (!conn->open_minimised_channel.empty() &&
            text_equal_nocase(conn->open_minimised_channel, rec->name)) {
            p.open_minimised = 1;
            conn->open_minimised_channel.clear();
        }
        int flags = conn_take_pending_join_flags(rec->name, conn);
        if (flags == 1)
            p.open_minimised = 1;
        else if (flags == 2)
            p.open_maximised = 1;
    }
    rec->side_list_chars = 11;
    hash_init(&rec->nick_hash, 99);
    if (rec->nick_hash.size == 0)
        return nullptr;
    rec->editbox_mode = editbox_mode_option();
    if (!make_frame(rec, mdi, "Kest_Channel"))
        return nullptr;
    if (!win_create_text_area(rec)) {
        destroy_window(rec);
        return nullptr;
    }
    editbox_load_settings(rec);
    if (!win_create_editbox(rec, 1) || !win_create_listbox(rec, 2)) {
        destroy_window(rec);
        return nullptr;
    }
    nicklist_load_settings(rec);
    if (rec->side_list_width <= 0)
        rec->side_list_width = side_width_for(rec, rec->side_list_chars);
    if (rec->nicklist_place == 2)
        rec->side_list_hidden = 1;
    return finish(rec, opened);
}

QWidget* win_open_query(WindowRecord* rec, int, int* opened)
{
    WinCreateParams& p = win_create_params;
    int mdi = 1;
    switch (rec->subtype) {
    case kQueryPrivate:
        mdi = apply_placement(rec, {rec->name, "wdquery"}, "wquery");
        break;
    case kQueryMessages:
        mdi = apply_placement(rec, {"wmessage", "wdquery"}, "wquery");
        break;
    case kQueryDccChat:
        mdi = apply_placement(rec, {rec->name, "wdquery"}, "wchat");
        break;
    case kQueryFserve:
        mdi = apply_placement(rec, {rec->name, "wdquery"}, "wserv");
        break;
    default:
        return nullptr;
    }
    mdi = choose_mdi(mdi);
    if (win_next_query_minimised) {
        p.open_minimised = 1;
        win_next_query_minimised = 0;
    }
    // New queries follow their option unless the user asked for this one.
    const int asked = win_next_query_shown;
    win_next_query_shown = 0;
    if ((rec->subtype == kQueryPrivate || rec->subtype == kQueryMessages) && opt(OPT_MINIMISE_QUERIES) &&
        !asked)
        p.open_minimised = 1;
    if (rec->subtype == kQueryMessages) {
        p.title = "Messages";
        rec->command_text = "/msg ";
    }
    if (rec->subtype == kQueryDccChat || rec->subtype == kQueryFserve) {
        if (open_hooks.dccchat_window_opened)
            open_hooks.dccchat_window_opened(rec);
    }
    rec->editbox_mode = editbox_mode_option();
    const char* cls = rec->subtype == kQueryDccChat ? "Kest_Chat"
                      : rec->subtype == kQueryFserve ? "Kest_Fserve" : "Kest_Query";
    if (!make_frame(rec, mdi, cls))
        return nullptr;
    if (!win_create_text_area(rec) || !win_create_editbox(rec, 1)) {
        destroy_window(rec);
        return nullptr;
    }
    QWidget* hwnd = finish(rec, opened);
    if (rec->subtype == kQueryMessages && rec->editbox.get()) {
        rec->editbox->setTextBytes(rec->command_text);
    }
    return hwnd;
}

QWidget* win_open_transfer(WindowRecord* rec, int, int* opened)
{
    WinCreateParams& p = win_create_params;
    if (rec->subtype != 1 && rec->subtype != 2)
        return nullptr;
    int mdi = choose_mdi(apply_placement(rec, {rec->subtype == 1 ? "wdccs" : "wdccg"}, ""));
    if (win_next_query_minimised || rec->open_flags) {
        p.open_minimised = 1;
        win_next_query_minimised = 0;
    }
    if (rec->quiet_minimise)
        p.open_inactive = 1;
    if (!make_frame(rec, mdi, rec->subtype == 1 ? "Kest_Send" : "Kest_Get"))
        return nullptr;
    if (open_hooks.dccwin_create_controls && !open_hooks.dccwin_create_controls(rec)) {
        destroy_window(rec);
        return nullptr;
    }
    QWidget* hwnd = finish(rec, opened);
    QWidget* frame = win_container(hwnd);
    if (frame->isMinimized() || !frame->isVisible())
        frame->lower();
    return hwnd;
}

// List windows: a list box only.
static QWidget* open_list_window(WindowRecord* rec, int* opened, const char* key,
                                 const char* cls, int shared)
{
    int mdi = choose_mdi(apply_placement(rec, {key}, ""));
    if (shared) {
        rec->shared = 1;
        rec->follows_active = 1;
    }
    if (rec->type == kWinLinks && conn_is_live(rec->conn)) {
        if (rec->conn->links_open_mode == 1)
            win_create_params.open_minimised = 1;
        else if (rec->conn->links_open_mode == 2)
            win_create_params.open_maximised = 1;
    }
    if (!make_frame(rec, mdi, cls))
        return nullptr;
    int style = (rec->type == kWinUrls || rec->type == kWinNotify || rec->type == kWinLinks) ? 2 : 0;
    if (!win_create_listbox(rec, style)) {
        destroy_window(rec);
        return nullptr;
    }
    return finish(rec, opened);
}

QWidget* win_open_chanlist(WindowRecord* rec, int, int* opened)
{
    return open_list_window(rec, opened, "wlist", "Kest_ChanList", 0);
}

QWidget* win_open_urls(WindowRecord* rec, int, int* opened)
{
    return open_list_window(rec, opened, "wwwwlist", "Kest_Urls", 1);
}

QWidget* win_open_notify(WindowRecord* rec, int, int* opened)
{
    return open_list_window(rec, opened, "wnotify", "Kest_Notify", 1);
}

QWidget* win_open_links(WindowRecord* rec, int, int* opened)
{
    return open_list_window(rec, opened, "wlinks", "Kest_Links", 0);
}

QWidget* win_open_finger(WindowRecord* rec, int, int* opened)
{
    win_create_params.title = "Finger";
    int mdi = choose_mdi(apply_placement(rec, {"wfinger"}, ""));
    rec->shared = 1;
    rec->follows_active = 1;
    if (!make_frame(rec, mdi, "Kest_Finger"))
        return nullptr;
    if (!win_create_text_area(rec)) {
        destroy_window(rec);
        return nullptr;
    }
    return finish(rec, opened);
}

QWidget* win_open_custom(WindowRecord* rec, int, int* opened)
{
    WinCreateParams& p = win_create_params;
    rec->custom_request = win_custom_request;
    const CustomWindowRequest& q = rec->custom_request;
    p.x = q.x;
    p.y = q.y;
    p.width = q.width;
    p.height = q.height;
    if (p.x == kUnsetCoord || p.y == kUnsetCoord || p.width == kUnsetCoord || p.height == kUnsetCoord) {
        Placement pl = load_key(rec, rec->name);
        if (pl.found) {
            if (p.x == kUnsetCoord)
                p.x = pl.left;
            if (p.y == kUnsetCoord)
                p.y = pl.top;
            if (p.width == kUnsetCoord)
                p.width = pl.width;
            if (p.height == kUnsetCoord)
                p.height = pl.height;
        }
    }
    const int frame_bits = 1 | 2 | 4 | 8 | 16 | 32 | 64 | 128 | 512;
    if (q.style_bits & frame_bits) {
        p.style = q.style_bits;
        p.style_set = 1;
    }
    int mdi = choose_mdi(q.desktop ? 0 : 1);
    if (!mdi && q.on_top)
        p.on_top = 1;
    if (q.minimise)
        p.open_minimised = 1;
    else if (q.maximise)
        p.open_maximised = 1;
    if (!q.shown)
        rec->shown = 0;
    p.centre = q.centre;
    p.client_size = q.client_size;
    rec->tab_stops = q.tab_stops;
    if (q.list_box && q.side_list_width == 0)
        rec->subtype = 1;
    else if (q.side_list_width > 0 && rec->subtype != 1)
        rec->subtype = 2;
    if (rec->subtype == 2) {
        rec->side_list_chars = q.side_list_width > 0 ? q.side_list_width : 10;
        rec->side_list_hidden = q.side_list_hidden;
    }
    rec->picture = q.picture ? 1 : 0;
    if (!q.font.empty()) {
        std::size_t comma = q.font.find(',');
        rec->font_face = q.font.substr(0, comma);
        if (comma != std::string::npos) {
            int size = std::atoi(q.font.c_str() + comma + 1);
            if (size > 0)
                rec->font_size = size;
        }
    }
    switch (q.editbox_kind) {
    case 1:
        rec->editbox_mode = 0;
        break;
    case 2:
        rec->editbox_mode = 1;
        break;
    case 3:
        rec->editbox_mode = 2;
        break;
    case 4:
        rec->editbox_mode = editbox_mode_option();
        break;
    default:
        break;
    }
    if (!make_frame(rec, mdi, "Kest_Custom"))
        return nullptr;
    bool ok = true;
    if (rec->subtype != 1)
        ok = win_create_text_area(rec) != 0;
    if (ok && rec->subtype != 0) {
        int style = rec->subtype == 1 ? (q.sorted_list ? 1 : 0) : (q.sorted_side_list ? 1 : 0);
        ok = win_create_listbox(rec, style) != 0;
    }
    if (ok && q.editbox_kind >= 1 && q.editbox_kind <= 4)
        ok = win_create_editbox(rec, 1) != 0;
    if (!ok) {
        destroy_window(rec);
        return nullptr;
    }
    if (rec->subtype == 2 && rec->side_list_width <= 0)
        rec->side_list_width = side_width_for(rec, rec->side_list_chars);
    if (rec->picture && open_hooks.picture_create)
        open_hooks.picture_create(rec);
    return finish(rec, opened);
}

// ---- Closing ----

int win_fire_close_event(QWidget* hwnd)
{
    WindowRecord* rec = win_record_of(hwnd);
    if (!rec)
        return 0;
    fire_close_event(rec, 1);
    rec = win_record_of(hwnd);
    if (!rec)
        return 0;
    if (open_hooks.dccchat_still_live && !open_hooks.dccchat_still_live(rec))
        return 0;
    fire_close_event(rec, 0);
    rec = win_record_of(hwnd);
    if (!rec)
        return 0;
    if (open_hooks.dccchat_still_live && !open_hooks.dccchat_still_live(rec))
        return 0;
    return 1;
}

namespace {

void save_placement(WindowRecord* rec, QWidget* hwnd)
{
    int l = 0, w = 0, t = 0, h = 0, s = 0, m = 1, o = 0;
    const bool own = win_load_position(hwnd, "", &l, &w, &t, &h, &s, &m, &o, rec->conn) != 0;
    const bool own_unset = own && l == kUnsetCoord && t == kUnsetCoord;
    const char* type_key = nullptr;
    switch (rec->type) {
    case kWinStatus:
        type_key = "wstatus";
        break;
    case kWinChannel:
        type_key = "wchannel";
        break;
    case kWinQuery:
        type_key = rec->subtype == kQueryDccChat ? "wchat"
                   : rec->subtype == kQueryFserve ? "wserv" : "wquery";
        break;
    default:
        break;
    }
    if (type_key) {
        if (own)
            win_save_position(hwnd, -1, "", 0);
        else
            win_save_position(hwnd, -1, type_key, 2);
        return;
    }
    bool list_or_transfer = rec->type == kWinTransfer ||
                            (rec->type >= kWinChanList && rec->type <= kWinLinks);
    if (list_or_transfer) {
        if (!own || own_unset)
            win_save_position(hwnd, -1, "", 0);
        return;
    }
    win_save_position(hwnd, -1, "", 0);
}


void choose_next_active(WindowRecord* rec, QWidget* hwnd)
{
    if (win_active.get() != hwnd)
        return;
    QWidget* next = nullptr;
    if (conn_is_live(rec->conn)) {
        QWidget* status = rec->conn->status_window.data();
        if (status && status != hwnd && win_record_of(status))
            next = status;
    }
    if (!next) {
        for (WindowRecord* r = win_list; r; r = r->next) {
            if (is_status_window_of_other(r, rec)) {
                next = r->hwnd.get();
                break;
            }
        }
    }
    if (!next && win_list && win_list != rec && win_list->hwnd.get())
        next = win_list->hwnd.get();
    win_active = next;
    if (next)
        win_bring_to_front(next);
}

}  // namespace

int win_close(QWidget* hwnd)
{
    WindowRecord* rec = win_record_of(hwnd);
    if (!rec)
        return 1;
    if (rec->closing == 2)
        return 0;
    int first_request = rec->closing == 0;
    rec->closing = 2;
    save_placement(rec, hwnd);
    Connection* conn = conn_is_live(rec->conn) ? rec->conn : nullptr;
    bool exiting = program_exiting() != 0;
    bool free_conn = false;

    switch (rec->type) {
    case kWinStatus:
        if (!exiting && status_window_count() <= 1) {
            rec->closing = 0;
            beep_error(0);
            return 0;
        }
        if (conn) {
            if (conn->connected || conn_is_connecting(conn)) {
                conn_disconnect("", 7, conn);
            }
            fire_close(rec);
            if (!win_is_record(rec))
                return 1;
            // Only the connection's own status window takes the connection with it.
            if (conn_is_live(conn) && conn->status_window.data() == hwnd) {
                conn->status_window = nullptr;
                free_conn = true;
            }
        }
        break;
    case kWinChannel:
        if (conn && !exiting && first_request && !rec->chan_left && rec->chan_state == 0 &&
            conn_is_connected(conn) && conn->registered) {
            irc_send_line("PART " + rec->name + "\n", 0, conn);
            irc_dispatch_line(":" + conn_own_nick(conn) + "!" + conn->own_address + " PART " + rec->name, conn);
            if (!win_is_record(rec))
                return 1;
        }
        if (conn && conn->pending_window.data() == hwnd) {
            if (open_hooks.chan_central_drop)
                open_hooks.chan_central_drop(rec);
            conn->pending_window = nullptr;
        }
        ial_drop_channel(rec);
        break;
    case kWinQuery:
        if (rec->subtype == kQueryMessages) {
            if (conn && conn->message_window.data() == hwnd)
                conn->message_window = nullptr;
        } else if (rec->subtype == kQueryDccChat || rec->subtype == kQueryFserve) {
            fire_close(rec);
            if (!win_is_record(rec))
                return 1;
            if (open_hooks.dccchat_close_window)
                open_hooks.dccchat_close_window(rec);
        } else {
            fire_close(rec);
            if (!win_is_record(rec))
                return 1;
        }
        break;
    case kWinTransfer:
        if (open_hooks.dcc_transfer_close_window)
            open_hooks.dcc_transfer_close_window(rec);
        break;
    case kWinChanList:
        if (conn && conn->chanlist_busy && !exiting) {
            rec->closing = 0;
            beep_error(0);
            return 0;
        }
        if (conn && conn->chanlist_window.data() == hwnd)
            conn->chanlist_window = nullptr;
        break;
    case kWinFinger:
        finger_close("");
        break;
    case kWinLinks:
        if (conn && conn->links_window.data() == hwnd)
            conn->links_window = nullptr;
        break;
    case kWinCustom:
        fire_close(rec);
        break;
    default:
        break;
    }
    if (!win_is_record(rec))
        return 1;
    win_closing.fire(rec);
    if (!win_is_record(rec))
        return 1;

    choose_next_active(rec, hwnd);
    if (win_last_activated.get() == hwnd)
        win_last_activated = nullptr;
    if (open_hooks.dragdrop_revoke)
        open_hooks.dragdrop_revoke(rec);
    win_record_free(rec);
    if (free_conn && conn_is_live(conn))
        conn_free(conn);

    win_list_change(kWinListOrder);
    win_list_change(kWinListLook);
    if (mdi_auto_arrange)
        post_app_message(WM_APP_BARS_REPAINT, 0, 0);
    return 1;
}

int win_close_request(QWidget* hwnd)
{
    WindowRecord* rec = win_record_of(hwnd);
    if (!rec)
        return 1;
    QWidget* frame = win_container(hwnd);
    // The program closes it: no question is asked.
    const int was = win_closing_by_program;
    win_closing_by_program = 1;
    frame->close();
    win_closing_by_program = was;
    return win_record_of(hwnd) ? 0 : 1;
}

void win_close_all()
{
    bool was = closing_all;
    closing_all = true;
    std::set<WindowRecord*> refused;
    // Every window that is not a status window, from the head after each;
    // then the status windows.
    for (int pass = 0; pass < 2; ++pass) {
        for (;;) {
            WindowRecord* target = nullptr;
            for (WindowRecord* r = win_list; r; r = r->next) {
                if (refused.count(r))
                    continue;
                if (pass == 0 && r->type == kWinStatus)
                    continue;
                target = r;
                break;
            }
            if (!target)
                break;
            QWidget* hwnd = target->hwnd.get();
            if (!hwnd) {
                win_record_free(target);
                continue;
            }
            if (!win_close_request(hwnd) && win_is_record(target))
                refused.insert(target);
        }
    }
    closing_all = was;
}

// ---- Connections ----

void win_repoint_connection(Connection* freed, Connection* replacement)
{
    if (!freed)
        return;
    std::set<WindowRecord*> done;
    bool again = true;
    while (again) {
        again = false;
        for (WindowRecord* r = win_list; r; r = r->next) {
            if (r->conn != freed || done.count(r))
                continue;
            done.insert(r);
            bool closes = r->type == kWinStatus || r->type == kWinChannel ||
                          r->type == kWinChanList || r->type == kWinLinks ||
                          (r->type == kWinQuery &&
                           (r->subtype == kQueryPrivate || r->subtype == kQueryMessages)) ||
                          (r->type == kWinCustom && r->close_with_conn);
            if (closes) {
                if (r->closing == 2)
                    continue;  // already being closed (the status window itself)
                QWidget* hwnd = r->hwnd.get();
                if (hwnd) {
                    // While the connection is freed its windows go without the
                    // last-status-window rule.
                    bool was = closing_all;
                    closing_all = true;
                    win_close_request(hwnd);
                    closing_all = was;
                    if (win_is_record(r))
                        r->conn = replacement;
                } else {
                    win_record_free(r);
                }
                again = true;
                break;
            }
            r->conn = replacement;
            if (r->type == kWinTransfer ||
                (r->type == kWinQuery && (r->subtype == kQueryDccChat || r->subtype == kQueryFserve))) {
                r->shared = 2;
                r->orphan = 1;
            }
        }
    }
}

namespace {
int g_repoint_listener = 0;
}  // namespace

void win_connections_install()
{
    conn_repoint.add_once(g_repoint_listener, kRepointWindows,
                          [](Connection* freed, Connection* replacement, bool at_exit) {
                              if (!at_exit)
                                  win_repoint_connection(freed, replacement);
                          });
}

void win_connections_uninstall()
{
    conn_repoint.drop(g_repoint_listener);
}

QWidget* win_open_status_window(Connection* conn)
{
    WindowOpenRequest request;
    request.name = "Status Window";
    request.type = kWinStatus;
    request.conn = conn;
    return win_open(request);
}

QWidget* win_open_message_window(Connection* conn, int minimised)
{
    if (!conn_is_live(conn))
        return nullptr;
    for (WindowRecord* rec = win_list; rec; rec = rec->next)
        if (rec->conn == conn && rec->type == kWinQuery && rec->subtype == kQueryMessages &&
            rec->hwnd.get()) {
            conn->message_window = rec->hwnd.get();
            return rec->hwnd.get();
        }
    WindowOpenRequest request;
    request.name = "Message Window";
    request.type = kWinQuery;
    request.subtype = kQueryMessages;
    request.conn = conn;
    if (minimised)
        win_next_query_minimised = 1;
    QWidget* w = win_open(request);
    if (minimised)
        win_next_query_minimised = 0;
    conn->message_window = w;
    return w;
}

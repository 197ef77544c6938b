// The per-window options and the system-menu commands of the windows.
#include "app/editbox_options_dialog.h"
#include "app/nicklist_options_dialog.h"
#include "app/window_options.h"

#include "app/child_window.h"
#include "app/confirm.h"
#include "app/desktop_switch.h"
#include "app/events_dialog.h"
#include "app/file_dialogs.h"
#include "app/font_dialog.h"
#include "app/frame_layout.h"
#include "app/frame_menu.h"
#include "app/mdi_arrange.h"
#include "app/window_ops.h"
#include "model/window_record.h"
#include "display/window_queries.h"
#include "core/ini.h"
#include "core/main_settings.h"
#include "core/numbered_texts.h"
#include "core/options.h"
#include "core/text_buffer.h"
#include "display/backgrounds.h"
#include "display/fonts.h"
#include "model/line_buffer.h"
#include "display/logging.h"
#include "display/window_lines.h"
#include "irc/dispatch/membership.h"
#include "platform/platform_utils.h"
#include "script/exec/executor.h"

#include <QAction>
#include <QMenu>
#include <QWidget>

#include <algorithm>
#include <cstdio>
#include <sys/stat.h>
#include <vector>

int win_events_default[kWinEventCount] = {0, 0, 0, 0, 0, 0, 0, 0};

namespace {

bool is_chat(const WindowRecord* rec)
{
    return rec->type == kWinQuery && (rec->subtype == kQueryDccChat || rec->subtype == kQueryFserve);
}

bool is_message_window(const WindowRecord* rec)
{
    return rec->type == kWinQuery && rec->subtype == kQueryMessages;
}

// A chat window's name is "Chat nick" (or the file server's form): the key
// is the text after the first blank.
std::string chat_nick(const WindowRecord* rec)
{
    const std::size_t blank = rec->name.find(' ');
    return blank == std::string::npos ? rec->name : rec->name.substr(blank + 1);
}

// The per-window key of the name-keyed options: the name, the chat's nick,
// or the message window's own word.
std::string named_key(const WindowRecord* rec, const char* message_key)
{
    if (is_message_window(rec))
        return message_key;
    if (is_chat(rec))
        return chat_nick(rec);
    return rec->name;
}

std::string read_main(const char* section, const std::string& key)
{
    std::string out;
    if (!key.empty())
        ini_read(section, key.c_str(), "", out, 256, main_ini_path);
    return out;
}

void write_main(const char* section, const std::string& key, const char* value)
{
    if (!key.empty())
        ini_write(section, key.c_str(), value, main_ini_path);
}

int tristate_of(const std::string& value)
{
    if (text_equal_nocase(value, "off"))
        return 0;
    if (text_equal_nocase(value, "on"))
        return 1;
    return 2;
}

// The actions of the window's system menu with these ids (in its submenus too).
void collect(QMenu* menu, std::vector<QAction*>& out)
{
    if (!menu)
        return;
    for (QAction* a : menu->actions()) {
        if (a->menu())
            collect(a->menu(), out);
        else
            out.push_back(a);
    }
}

QAction* sys_action(WindowRecord* rec, int id)
{
    if (!rec->system_menu)
        return nullptr;
    std::vector<QAction*> all;
    collect(rec->system_menu.get(), all);
    for (QAction* a : all)
        if (a->data().typeId() == QMetaType::Int && a->data().toInt() == id)
            return a;
    return nullptr;
}

void tick(WindowRecord* rec, int id, bool on)
{
    if (QAction* a = sys_action(rec, id)) {
        a->setCheckable(true);
        a->setChecked(on);
    }
}

// The three items of a tri-state choice: default, on, off.
void tick_tristate(WindowRecord* rec, const int (&ids)[3], int value)
{
    for (int id : ids)
        tick(rec, id, false);
    tick(rec, ids[value == 1 ? 1 : value == 0 ? 2 : 0], true);
}

// Stores a tri-state value: 1 "on", 0 "off", anything else the default
// (the key goes). Returns the value kept.
int set_tristate(WindowRecord* rec, const char* section, const std::string& key, const int (&ids)[3],
                 int value)
{
    if (value != 0 && value != 1)
        value = 2;
    tick_tristate(rec, ids, value);
    write_main(section, key, value == 1 ? "on" : value == 0 ? "off" : nullptr);
    return value;
}

constexpr int kBeepIds[3] = {297, 298, 299};
constexpr int kFlashIds[3] = {300, 301, 302};
constexpr int kStampIds[3] = {262, 263, 264};
constexpr int kSpeechIds[3] = {286, 287, 288};
constexpr int kTipsIds[3] = {304, 305, 306};

// The eight event numbers in their stored order, where they live in the
// membership settings (modes and topics have no place there and are only
// kept in the stored text).
int MembershipSettings::* const kGlobalEvents[kWinEventCount] = {
    &MembershipSettings::joins_in, &MembershipSettings::parts_in, &MembershipSettings::quits_in,
    &MembershipSettings::kicks_in, nullptr, nullptr, &MembershipSettings::ctcps_in, &MembershipSettings::nicks_in,
};
int ChannelMembership::* const kChannelEvents[kWinEventCount] = {
    &ChannelMembership::show_joins_in, &ChannelMembership::show_parts_in, &ChannelMembership::show_quits_in,
    &ChannelMembership::show_kicks_in, nullptr, nullptr, &ChannelMembership::show_ctcps_in,
    &ChannelMembership::show_nicks_in,
};

std::string events_text(const int (&v)[kWinEventCount])
{
    char buf[160];
    std::snprintf(buf, sizeof buf, "%d,%d,%d,%d,%d,%d,%d,%d", v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7]);
    return buf;
}

bool file_exists(const std::string& path)
{
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// The window's log file: the open one, else the one it would log to now.
std::string window_log_path(WindowRecord* rec)
{
    if (!rec->log_path.empty())
        return rec->log_path;
    std::string base;
    if (!log_base_name(rec->name, base, rec->conn))
        return std::string();
    std::string path;
    log_compose_path(log_folder() + base, rec->type, 1, 0, rec->conn, path);
    return path;
}

void place_at_default(QWidget* hwnd)
{
    int l = 0, t = 0, w = 0, h = 0;
    win_default_position(&l, &t, &w, &h, win_is_mdi_child(hwnd));
    win_op_place(hwnd, l, t, w, h, 0);
}

void reset_position(QWidget* hwnd)
{
    win_clear_position(hwnd, 0);
    place_at_default(hwnd);
}

void choose_background(WindowRecord* rec)
{
    std::string title = text_load_string(6109);
    std::erase(title, '&');
    // The picture dialog with its preview; it starts where the last choice
    // was left, else in the settings folder.
    if (filedlg_state().remembered_folder.empty())
        filedlg_state().remembered_folder = settings_dir;
    if (filedlg_open(rec->hwnd.get(), 6, title, nullptr, 4) != 1 || !win_is_record(rec))
        return;
    std::string chosen;
    filedlg_selected_file(1, chosen);
    if (!bg_set_picture(rec, chosen))
        beep_error(0);
}

// 276: a picture window's picture into a file of the user's choice.
void save_picture(WindowRecord* rec)
{
    std::vector<std::string> chosen;
    std::string title = text_load_string(5103);
    std::string start = settings_dir + rec->name + ".bmp";
    filedlg_state().remembered_folder = start;
    if (filedlg_open(rec->hwnd.get(), 3, title, title.c_str(), 4) != 1 || !win_is_record(rec))
        return;
    chosen.resize(1);
    filedlg_selected_file(1, chosen.front());
    const std::string& path = chosen.front();
    if (path.find('"') != std::string::npos) {
        beep_error(0);
        return;
    }
    // The name and the path go in as they are: nothing of them is evaluated
    // and a "|" in them does not start another command.
    const std::string line = "drawsave -b24 " + rec->name + " \"" + path + "\"";
    if (!script_exec_plain_command(rec->hwnd.get(), line, rec->conn, 0))
        beep_error(0);
}

}  // namespace

// ---- Keys ----

std::string win_ontop_key(const WindowRecord* rec)
{
    if (!rec)
        return std::string();
    switch (rec->type) {
    case kWinStatus:
        return "ostatus";
    case kWinChannel:
        return rec->name;
    case kWinQuery:
        return named_key(rec, "omessage");
    case kWinTransfer:
        return rec->subtype == 2 ? "odccg" : "odccs";
    case kWinChanList:
        return "olist";
    case kWinFinger:
        return "ofinger";
    case kWinUrls:
        return "ourl";
    case kWinNotify:
        return "onotify";
    case kWinLinks:
        return "olinks";
    default:
        return std::string();
    }
}

std::string win_alert_key(const WindowRecord* rec)
{
    if (!rec || rec->type == kWinCustom)
        return std::string();
    return named_key(rec, "wmessage");
}

std::string win_timestamp_key(const WindowRecord* rec)
{
    if (!rec)
        return std::string();
    if (rec->type == kWinStatus)
        return "ostatus";
    if (rec->type == kWinChannel)
        return rec->name;
    if (rec->type == kWinQuery)
        return named_key(rec, "omessage");
    return std::string();
}

std::string win_spacing_key(const WindowRecord* rec)
{
    if (!rec)
        return std::string();
    switch (rec->type) {
    case kWinStatus:
        return "sstatus";
    case kWinChannel:
        return rec->name;
    case kWinQuery:
        return named_key(rec, "smessage");
    case kWinTransfer:
        return rec->subtype == 2 ? "sdccg" : "sdccs";
    case kWinChanList:
        return "slist";
    case kWinFinger:
        return "sfinger";
    case kWinUrls:
        return "surl";
    case kWinNotify:
        return "snotify";
    case kWinLinks:
        return "slinks";
    default:
        return std::string();
    }
}

std::string win_tracking_key(const WindowRecord* rec)
{
    if (!rec || rec->type == kWinCustom)
        return std::string();
    return named_key(rec, "wmessage");
}

std::string win_tracking_key_of_name(const std::string& name)
{
    if (name == "Message Window")
        return "wmessage";
    const std::size_t end = name.find_last_not_of(' ');
    if (end == std::string::npos)
        return std::string();
    const std::size_t blank = name.rfind(' ', end);
    std::string word = name.substr(blank == std::string::npos ? 0 : blank + 1, end + 1 - (blank == std::string::npos ? 0 : blank + 1));
    if (!word.empty() && word[0] == '=')
        word.erase(0, 1);
    return word;
}

// ---- Always on top ----

void win_set_ontop(QWidget* hwnd, int mode)
{
    WindowRecord* rec = win_record_of(hwnd);
    if (!rec)
        return;
    // The menu has already flipped its own tick when the item was chosen:
    // the window's state says what "the opposite" is.
    int on = mode;
    if (mode == -1)
        on = !win_container(hwnd)->windowFlags().testFlag(Qt::WindowStaysOnTopHint);
    on = on ? 1 : 0;
    write_main("ontop", win_ontop_key(rec), on ? "on" : nullptr);
    tick(rec, 261, on != 0);
    win_op_on_top(hwnd, on);
}

int win_ontop_stored(const WindowRecord* rec)
{
    return !read_main("ontop", win_ontop_key(rec)).empty() ? 1 : 0;
}

// ---- Beep, flash, timestamp ----

void win_set_beep(QWidget* hwnd, int value)
{
    if (WindowRecord* rec = win_record_of(hwnd))
        rec->beep = set_tristate(rec, "beeping", win_alert_key(rec), kBeepIds, value);
}

int win_beep_stored(const WindowRecord* rec)
{
    return tristate_of(read_main("beeping", win_alert_key(rec)));
}

int win_beep_setting(WindowRecord* rec)
{
    return win_is_record(rec) ? display_beep_setting(rec) : 0;
}

void win_set_flash(QWidget* hwnd, int value)
{
    if (WindowRecord* rec = win_record_of(hwnd))
        rec->flash = set_tristate(rec, "flashing", win_alert_key(rec), kFlashIds, value);
}

void win_set_speech(QWidget* hwnd, int value)
{
    if (WindowRecord* rec = win_record_of(hwnd))
        rec->speech = set_tristate(rec, "speak", named_key(rec, "omessage"), kSpeechIds, value);
}

int win_speech_stored(const WindowRecord* rec)
{
    return tristate_of(read_main("speak", named_key(rec, "omessage")));
}

int win_flash_stored(const WindowRecord* rec)
{
    return tristate_of(read_main("flashing", win_alert_key(rec)));
}

int win_flash_setting(WindowRecord* rec)
{
    return win_is_record(rec) ? display_flash_setting(rec) : 0;
}

void win_set_timestamp(QWidget* hwnd, int value)
{
    if (WindowRecord* rec = win_record_of(hwnd))
        rec->timestamp = set_tristate(rec, "timestamp", win_timestamp_key(rec), kStampIds, value);
}

int win_timestamp_stored(const WindowRecord* rec)
{
    return tristate_of(read_main("timestamp", win_timestamp_key(rec)));
}

int win_has_timestamp_item(const WindowRecord* rec)
{
    return rec && (rec->type == kWinStatus || rec->type == kWinChannel || rec->type == kWinQuery) ? 1 : 0;
}

// ---- Spacing ----

void win_set_spacing(QWidget* hwnd, int value)
{
    WindowRecord* rec = win_record_of(hwnd);
    if (!rec)
        return;
    if (value != 0 && value != 1 && value != 3)
        value = 2;
    for (int id = 280; id <= 283; ++id)
        tick(rec, id, false);
    tick(rec, value == 0 ? 280 : value == 1 ? 281 : value == 3 ? 283 : 282, true);
    char buf[8];
    std::snprintf(buf, sizeof buf, "%d", value);
    write_main("spacing", win_spacing_key(rec), value == 2 ? nullptr : buf);
    rec->spacing = value;
    font_relayout_window(rec);
}

int win_spacing_stored(const WindowRecord* rec)
{
    const std::string v = read_main("spacing", win_spacing_key(rec));
    if (v == "0")
        return 0;
    if (v == "1")
        return 1;
    if (v == "3")
        return 3;
    return 2;
}

// ---- Tracking ----

void win_toggle_tracking(QWidget* hwnd)
{
    WindowRecord* rec = win_record_of(hwnd);
    if (!rec)
        return;
    // The record holds the state: the menu flips its tick on its own when
    // the item is chosen.
    if (rec->track_urls) {
        tick(rec, 279, false);
        write_main("tracking", win_tracking_key(rec), nullptr);
        rec->track_urls = 0;
        return;
    }
    const int yes = confirm_ask(hwnd, text_load_string(6168), text_load_string(6169));
    // The window may have closed while the question was open.
    if (!win_is_record(rec))
        return;
    if (!yes) {
        tick(rec, 279, false);
        return;
    }
    tick(rec, 279, true);
    write_main("tracking", win_tracking_key(rec), "on");
    rec->track_urls = 1;
}

int win_tracking_stored(const std::string& name)
{
    return text_equal_nocase(read_main("tracking", win_tracking_key_of_name(name)), "on") ? 1 : 0;
}

// ---- Events ----

void win_events_parse(const std::string& text, int out[kWinEventCount])
{
    for (int i = 0; i < kWinEventCount; ++i)
        out[i] = 0;
    std::size_t at = 0;
    for (int i = 0; i < kWinEventCount && at < text.size(); ++i) {
        int v = 0;
        bool any = false;
        while (at < text.size() && text[at] >= '0' && text[at] <= '9') {
            if (v < 100000)
                v = v * 10 + (text[at] - '0');
            any = true;
            ++at;
        }
        if (!any)
            break;
        out[i] = v;
        ++at;  // the one separating character
    }
}

void win_events_load_default()
{
    win_events_parse(read_main("events", "default"), win_events_default);
    for (int i = 0; i < kWinEventCount; ++i)
        if (kGlobalEvents[i])
            membership_settings.*kGlobalEvents[i] = win_events_default[i];
}

void win_events_load(WindowRecord* rec)
{
    if (!win_is_record(rec) || rec->type != kWinChannel)
        return;
    int v[kWinEventCount];
    win_events_parse(read_main("events", rec->name), v);
    ChannelMembership* m = chan_membership(rec);
    for (int i = 0; i < kWinEventCount; ++i)
        if (kChannelEvents[i])
            m->*kChannelEvents[i] = v[i];
}

void win_events_save(WindowRecord* rec)
{
    if (!rec) {
        for (int i = 0; i < kWinEventCount; ++i)
            if (kGlobalEvents[i])
                win_events_default[i] = membership_settings.*kGlobalEvents[i];
        write_main("events", "default", events_text(win_events_default).c_str());
        return;
    }
    if (!win_is_record(rec) || rec->type != kWinChannel)
        return;
    // The numbers this program keeps no state for stay as they were stored.
    int v[kWinEventCount];
    win_events_parse(read_main("events", rec->name), v);
    const ChannelMembership* m = chan_membership(rec);
    bool all_zero = true;
    for (int i = 0; i < kWinEventCount; ++i) {
        if (kChannelEvents[i])
            v[i] = m->*kChannelEvents[i];
        all_zero = all_zero && v[i] == 0;
    }
    write_main("events", rec->name, all_zero ? nullptr : events_text(v).c_str());
}

// ---- A new window ----

void win_apply_options(WindowRecord* rec)
{
    if (!win_is_record(rec))
        return;
    rec->beep = win_beep_stored(rec);
    rec->flash = win_flash_stored(rec);
    if (rec->type == kWinChannel || rec->type == kWinQuery)
        rec->speech = win_speech_stored(rec);
    if (win_has_timestamp_item(rec))
        rec->timestamp = win_timestamp_stored(rec);
    rec->spacing = win_spacing_stored(rec);
    rec->track_urls = (rec->type == kWinChannel || rec->type == kWinQuery) &&
                              text_equal_nocase(read_main("tracking", win_tracking_key(rec)), "on")
                          ? 1
                          : 0;
    win_events_load(rec);
    QWidget* hwnd = rec->hwnd.get();
    if (hwnd && win_ontop_stored(rec) && !win_is_mdi_child(hwnd))
        win_op_on_top(hwnd, 1);
}

// ---- System commands ----

int menu_is_sys_command(QWidget* hwnd, int id)
{
    if (!hwnd)
        return 0;
    if (hwnd == win_frame_handle())
        return id == 250 || id == 256 || id == 257 || id == 261;
    if (!win_record_of(hwnd))
        return 0;
    return id >= 250 && id <= 306 && id != 252 && id != 255 && id != 259 && id != 260;
}

int menu_sys_command(QWidget* hwnd, int id)
{
    if (!menu_is_sys_command(hwnd, id))
        return 0;
    if (hwnd == win_frame_handle())
        return frame_on_command(hwnd, static_cast<uintptr_t>(id), 0);
    WindowRecord* rec = win_record_of(hwnd);
    win_activate(hwnd, 0);
    if (!win_is_record(rec))
        return 1;
    switch (id) {
    case 250:
        reset_position(hwnd);
        return 1;
    case 251:
        win_clear_buffer(rec, 0);
        return 1;
    case 253: {
        log_flush(rec);
        const std::string path = window_log_path(rec);
        if (!file_exists(path) || !shell_show_file(path, 3))
            beep_error(0);
        return 1;
    }
    case 254:
        log_set_window_mode(rec, 1, 1, 1, std::string(), 1, 0);
        return 1;
    case 294:
    case 295:
    case 296:
        log_set_window_mode(rec, 1, 1, 0, std::string(), id - 292, 0);
        return 1;
    case 303:
        log_set_window_mode(rec, 1, 1, 0, std::string(), 5, 0);
        return 1;
    case 256:
        win_restore_position(hwnd);
        return 1;
    case 257:
        win_save_position(hwnd, -1, std::string(), 0);
        return 1;
    case 258:
        if (!font_choose_for_window(hwnd))
            beep_error(0);
        return 1;
    case 274:
        nicklist_options_dlg(rec);
        return 1;
    case 275:
        editbox_options_dlg(rec);
        return 1;
    case 261:
        win_set_ontop(hwnd, -1);
        return 1;
    case 262:
    case 263:
    case 264:
        win_set_timestamp(hwnd, id == 262 ? 2 : id == 263 ? 1 : 0);
        return 1;
    case 265:
        win_toggle_desktop(hwnd, -1);
        return 1;
    case 266:
        choose_background(rec);
        return 1;
    case 267:
        bg_clear(rec);
        return 1;
    case 268:
    case 269:
    case 270:
    case 271:
    case 272:
    case 273:
        bg_set_mode(rec, id - 268);
        return 1;
    case 276:
        if (rec->picture)
            save_picture(rec);
        return 1;
    case 277:
    case 278:
        bg_store_setting(rec, id == 277 ? 4 : 2);
        return 1;
    case 279:
        win_toggle_tracking(hwnd);
        return 1;
    case 280:
    case 281:
    case 282:
    case 283:
        win_set_spacing(hwnd, id - 280);
        return 1;
    case 284:
        if (rec->type == kWinChannel)
            script_exec_plain_command(hwnd, "channel", rec->conn, 0);
        return 1;
    case 285:
        if (rec->type == kWinChannel && events_display_dialog(hwnd, rec) && win_is_record(rec))
            win_events_save(rec);
        return 1;
    case 286:
    case 287:
    case 288:
        win_set_speech(hwnd, id == 286 ? 2 : id == 287 ? 1 : 0);
        return 1;
    case 289:
    case 290:
    case 291:
        for (WindowRecord* r = win_list; r; r = r->next) {
            QWidget* w = r->hwnd.get();
            if (!w)
                continue;
            if (id == 289)
                win_restore_position(w);
            else if (id == 290)
                win_save_position(w, -1, std::string(), 0);
            else
                reset_position(w);
        }
        return 1;
    case 292:
        win_save_position(hwnd, -1, std::string(), 1);
        return 1;
    case 293:
        win_clear_position(hwnd, 1);
        return 1;
    case 297:
    case 298:
    case 299:
        win_set_beep(hwnd, id == 297 ? 2 : id == 298 ? 1 : 0);
        return 1;
    case 300:
    case 301:
    case 302:
        win_set_flash(hwnd, id == 300 ? 2 : id == 301 ? 1 : 0);
        return 1;
    case 304:
    case 305:
    case 306:
        rec->tips = id == 304 ? 2 : id == 305 ? 1 : 0;
        tick_tristate(rec, kTipsIds, rec->tips);
        return 1;
    default:
        return 0;
    }
}

WindowRecord* win_previous(WindowRecord* rec)
{
    if (!win_is_record(rec) || !win_list)
        return nullptr;
    WindowRecord* prev = nullptr;
    for (WindowRecord* r = win_list; r; r = r->next) {
        if (r == rec)
            break;
        prev = r;
    }
    if (prev)
        return prev;
    WindowRecord* last = win_list;
    while (last->next)
        last = last->next;
    return last;
}

void window_options_install()
{
    static int load_listener = 0;
    settings_loaded.add_once(load_listener, kLoadWindowEvents, [](SettingsLoad&) { win_events_load_default(); });
}

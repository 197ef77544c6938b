#include "app/popup_commands.h"

#include <QWidget>

#include <string>
#include <vector>

#include "model/connection.h"
#include "app/file_dialogs.h"
#include "app/finger_dialog.h"
#include "app/frame_menu.h"
#include "app/frame_proc.h"
#include "app/links_window.h"
#include "app/popup_menus.h"
#include "model/window_record.h"
#include "display/window_queries.h"
#include "core/ini.h"
#include "core/numbered_texts.h"
#include "core/string_list.h"
#include "core/text_limits.h"
#include "display/backgrounds.h"
#include "platform/frame_timers.h"
#include "platform/platform_utils.h"
#include "script/exec/executor.h"
#include "script/popups.h"

namespace {

constexpr std::size_t kShortBuffer = 305;

std::string cut(std::string text, std::size_t limit)
{
    if (text.size() > limit)
        text.resize(limit);
    return text;
}

std::string numbered(int id)
{
    std::string out;
    text_load_string(id, &out);
    return out;
}

// Where a popup's command runs: the popup's window when it is still a
// window, else the active window of that connection, else its status
// window.
QWidget* command_window(Connection* conn)
{
    QWidget* w = popup_context.window.data();
    if (w && win_record_of(w))
        return w;
    if (QWidget* active = win_active.get(); active && win_record_of(active) &&
                                            conn_of_window(active) == conn)
        return active;
    if (conn && conn->status_window && win_record_of(conn->status_window))
        return conn->status_window;
    return nullptr;
}

// The MDI background popup's commands.
int mdi_command(int id)
{
    if (id == 7000) {
        std::vector<std::string> chosen;
        std::string start = bg_mdi_file();
        if (start.empty())
            start = settings_dir;
        if (file_dialog_run(win_frame_handle(), kFileDialogFile, start, numbered(5101), "",
                            chosen) == 1 &&
            !chosen.empty() && !bg_mdi_set_picture(chosen.front()))
            beep_error(0);
        return 1;
    }
    if (id == 7001) {
        bg_mdi_clear();
        if (QWidget* mdi = win_mdi_handle())
            mdi->update();
        return 1;
    }
    if (id >= 7002 && id <= 7006) {
        bg_mdi_set_mode(id - 7002);
        if (QWidget* mdi = win_mdi_handle())
            mdi->update();
        return 1;
    }
    if (id == 7020) {
        frame_on_command(nullptr, 159, 2);
        return 1;
    }
    beep_error(0);
    return 1;
}

// The channel-name hotlink popup's commands.
int channel_hotlink_command(int id, QWidget* window, Connection* conn)
{
    std::string channel = popup_context.saved.hotlink;
    if (channel.empty() || channel.find(' ') != std::string::npos)
        return 1;
    const char* word = id == 7000 ? "join" : id == 7001 ? "names" : id == 7002 ? "topic" : nullptr;
    if (!word)
        return 1;
    // Run exactly as it stands: the channel name is text a server sent.
    script_exec_plain_command(window, std::string(word) + " " + channel, conn, 0);
    return 1;
}

}  // namespace

int menu_run_script_item(QWidget* window, int file_kind, int id, const std::string& target_in,
                         Connection* conn)
{
    std::string target = cut(target_in, kShortBuffer);
    if ((file_kind == kPopupFileQuery || file_kind == kPopupFileNicklist)) {
        if (!popup_context.saved.hotlink.empty())
            target = cut(popup_context.saved.hotlink, kShortBuffer);
        else if (!popup_context.saved.second.empty())
            target = popup_context.saved.second;
    }
    StringNode* line = nullptr;
    std::string commands;
    ScriptFile* script = nullptr;
    StringNode* lines = popup_lines_of_kind(file_kind);
    if (!popup_command_of_id(id, lines, &line, &commands, &script)) {
        beep_error(0);
        return 0;
    }
    WindowRecord* rec = win_record_of(window);
    const int type = rec ? rec->type : -1;
    std::string params;
    bool has_params = false;
    if (file_kind == kPopupFileQuery ||
        (file_kind == kPopupFileMenubar && (type == kWinQuery || type == kWinNotify))) {
        params = target;
        if (params.empty())
            params = popup_window_selection_text(window);
        has_params = true;
    } else if (file_kind == kPopupFileChannel || file_kind == kPopupFileNicklist ||
               ((file_kind == kPopupFileMenubar || file_kind == kPopupFileCustom) &&
                (type == kWinChannel || (type == kWinCustom && rec->listbox.get())))) {
        params = popup_list_selection(rec);
        has_params = !params.empty();
    }
    // A "{" block runs from a copy of its lines, so that the run ends with
    // the block and never goes on into the items after it.
    StringNode* block = commands[0] == '{' ? popup_block_copy(line, commands) : nullptr;
    int r = script_exec_command(window, block, commands.c_str(), has_params ? params.c_str() : nullptr,
                                1, script, conn);
    strlist_free(&block);
    if (file_kind == kPopupFileCustom)
        popup_file_unload_kind(kPopupFileCustom);
    if (!r)
        beep_error(0);
    return r ? 1 : 0;
}

namespace {
constexpr int kPopupKindSlots = 33;
PopupKindCommandFn g_kind_commands[kPopupKindSlots] = {};
}  // namespace

void popup_kind_register(int kind, PopupKindCommandFn fn)
{
    if (kind >= 0 && kind < kPopupKindSlots)
        g_kind_commands[kind] = fn;
}

int menu_popup_command(int id)
{
    PopupContext& pc = popup_context;
    if (pc.busy || pc.kind == kPopupNone)
        return 0;
    frame_timer_stop(FRAME_TIMER_POPUP);
    const int kind = pc.kind;
    Connection* conn = pc.conn;
    if (kind != kPopupMdi) {
        if (!conn_is_live(conn))
            return 0;
    }
    QWidget* window = kind == kPopupMdi ? nullptr : command_window(conn);
    if (kind != kPopupMdi && !window)
        return 0;
    pc.busy = 1;
    int handled = 1;
    switch (kind) {
    case kPopupStatus:
    case kPopupChannel:
    case kPopupQuery:
    case kPopupNicklist:
        menu_run_script_item(window, kind, id, std::string(), conn);
        break;
    case kPopupCustom:
    case kPopupCustomToolbar:
        menu_run_script_item(window, kPopupFileCustom, id, std::string(), conn);
        break;
    case kPopupMenubar:
        menu_run_script_item(window, kPopupFileMenubar, id, std::string(), conn);
        break;
    case kPopupMdi:
        mdi_command(id);
        break;
    case kPopupChannelHotlink:
        channel_hotlink_command(id, window, conn);
        break;
    case kPopupFinger:
        menu_finger_command(id, window, conn);
        break;
    case kPopupLinks:
        menu_links_command(id, window, conn);
        break;
    default:
        if (kind >= 0 && kind < kPopupKindSlots && g_kind_commands[kind])
            g_kind_commands[kind](id, window, conn);
        else
            handled = 0;
        break;
    }
    pc.busy = 0;
    if (handled)
        menu_popup_reset();
    return handled;
}


// The frame's menu bar and system menu, and the frame's own commands
// (ids 101 to 210): connect, exit, the bars, favourites, the normal and
// compact modes, the tool dialogs, window arrangement and help.
#pragma once

#include <cstdint>
#include <string>

class QAction;
class QMenu;
class QWidget;
struct Connection;

// One item of menu 80: its depth (0 a menu of the bar, 1 an item, 2 an item
// of a submenu), its command id (0 a submenu, -1 a separator) and its text.
struct FrameMenuEntry {
    int depth;
    int id;
    const char* text;
};
// The program's own menu 80, in order.
const FrameMenuEntry* frame_menu_resource(int* count);

// Serves a frame command (WM_COMMAND or WM_SYSCOMMAND of the frame): the low
// word of wparam is the id. Returns 1 when the command was handled.
int frame_on_command(QWidget* frame, uintptr_t wparam, intptr_t lparam);
// Builds the menu bar and the frame's system menu; 0 when the menu cannot be made.
int frame_menu_build();
// Fills the dynamic submenus of `menu` just before it opens.
void frame_menu_prepare(QMenu* menu);
// The frame's menu: its menu bar, or its system menu while the bar is hidden.
QMenu* frame_menu();
// The frame's system menu (Alt+Space on the frame).
QMenu* frame_system_menu();
// The menu of the frame's menu (or system menu) that holds `id`, searching
// submenus, and the item's position in it; null and -1 when none holds it.
QMenu* frame_menu_find_item(int id, int* position);
// The action of a command id in the frame's menus, or null.
QAction* frame_menu_action(int id);
// Destroys the menus (at shutdown).
void frame_menus_destroy();
// Keeps the frame above other windows while it is to stay on top.
void frame_keep_topmost();
// Registers the frame's message handlers of the menu commands.
void frame_menu_install();

// A line for the user in the active window (else its connection's or the
// current status window).
void frame_say(const std::string& text);
// A command whose window or dialog is not built yet says so:
// "* <what>: not available yet".
void frame_not_available(const std::string& what);
// Nothing on the system opens the address or file (a web browser) or the
// folder (a file manager): the user is told which is missing.
void frame_cannot_open(const std::string& target, int folder);

// Whether the favourites go into the main menu (1) or the tools menu (0).
extern int frame_favourites_in_main_menu;
// The frame stays on top (system-menu item 261).
extern int frame_on_top;

// Calls into dialogs and lists that other parts of the program own. Each one
// absent: the command does nothing (the dialog is not there to open).
// Results: 1 opened, 0 already open (the command then beeps).
struct FrameCommandHooks {
    int (*options_dialog)(int page, intptr_t lparam) = nullptr;
    int (*colours_dialog)() = nullptr;
    int (*font_dialog)(QWidget* window) = nullptr;
    // Toggles the notify list (131) or the URL list (132): closes it when it
    // is the active window, else opens it.
    void (*notify_window_toggle)() = nullptr;
    void (*url_window_toggle)() = nullptr;
    void (*chanfolder_edit_entries)(Connection* conn, const std::string& entry, int mode) = nullptr;
    void (*chanfolder_open)(intptr_t lparam) = nullptr;
    void (*chanlist_options)(intptr_t lparam) = nullptr;
    int (*send_file_dialog)(Connection* conn) = nullptr;
    int (*dcc_chat_dialog)() = nullptr;
    void (*folder_open)() = nullptr;
    int (*log_files_dialog)() = nullptr;
    int (*address_book)(intptr_t lparam) = nullptr;
    int (*online_timer_dialog)() = nullptr;
    void (*finger_request)(intptr_t lparam) = nullptr;
    int (*window_settings_dialog)() = nullptr;
    int (*window_order_dialog)() = nullptr;
    void (*url_open_stored_page)(int page) = nullptr;
    int (*update_dialog)(int lparam) = nullptr;
    int (*about_box)(int lparam) = nullptr;
    void (*editor_open)(int view) = nullptr;
    // The bars: the toolbar's arrange buttons, the treebar's refresh.
    void (*toolbar_arrange_buttons)() = nullptr;
    // Ids the frame does not serve: the popup command dispatcher, then the
    // recent-server, channel, window-list and help-file items. 1 when handled.
    int (*popup_command)(int id, intptr_t lparam) = nullptr;
    int (*menu_list_command)(int id) = nullptr;
    // The dynamic submenus: recent servers, channels, window list, help files.
    void (*build_recent_servers)(QMenu* menu) = nullptr;
    void (*build_channels)(QMenu* menu) = nullptr;
    void (*build_window_list)(QMenu* menu) = nullptr;
    void (*build_help_files)(QMenu* menu) = nullptr;
};
extern FrameCommandHooks frame_command_hooks;

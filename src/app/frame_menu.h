// The frame's menu bar and system menu, and the frame's own commands
// (ids 101 to 210): connect, exit, the bars, favourites, the normal and
// compact modes, the tool dialogs, window arrangement and help.
#pragma once

#include "core/options.h"
#include "core/signal.h"
#include "display/address_open.h"

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

// A command whose window or dialog is not built yet says so:
// "* <what>: not available yet".
void frame_not_available(const std::string& what);

// Whether the favourites go into the main menu (1) or the tools menu (0).
extern int frame_favourites_in_main_menu;
// The frame stays on top (system-menu item 261).
extern int frame_on_top;

// A bar of the frame shown or hidden from the menu (its option), before the
// frame is laid out again (laid_out false) and after (true).
enum FrameBarToggledOrder {
    kBarToggledToolbar = 40,
    kBarToggledTreebar = 50,
};
extern Signal<void(OptionId bar, bool laid_out)> frame_bar_toggled;

// The connect menu command served: the connect items show the new state.
enum FrameConnectToggledOrder {
    kConnectToggledToolbar = 50,
};
extern Signal<void()> frame_connect_toggled;

// The frame menu commands that other parts of the program serve (the
// options dialog, the tool windows, DCC): each part registers the handlers
// of its ids from its own install. A handler gets the id and the command's
// lparam (what it means is given by each id's row) and answers 1, or 0 when
// its dialog was already open (the frame then beeps). An id without a
// handler says it is not available yet.
using FrameMenuCommandFn = int (*)(int id, intptr_t lparam);

// One id of the registry and what its handler serves.
struct FrameMenuCommand {
    int id;
    const char* serves;
};
// The ids other parts serve, in order.
const FrameMenuCommand* frame_menu_commands(int* count);
// Sets the handler of `id` (null removes it); 1, or 0 for an id that is not
// one of the registry's.
int frame_menu_command_register(int id, FrameMenuCommandFn fn);
// The handler of `id`, or null.
FrameMenuCommandFn frame_menu_command(int id);

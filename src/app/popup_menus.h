// Right-click menus: the one popup that may be open at a time, the record
// of what it was opened for (PopupContext), the builders of the script
// popups (status, channel, query, nick list, custom windows), the MDI
// background popup, showing a popup at a point and running the command
// the user picks.
//
// A picked item reaches the frame as a command id (frame_on_command), which
// offers it to menu_popup_command; that routes it by the popup's kind.
#pragma once

#include <QPoint>
#include <QPointer>

#include <string>

#include "app/popup_commands.h"

class QAction;
class QMenu;
class QWidget;
struct Connection;
struct ScriptFile;
struct StringNode;
struct WindowRecord;

// The number a popup is shown with; it selects the command handler.
enum PopupKind : int {
    kPopupNone = -1,
    kPopupStatus = 0,
    kPopupChannel = 1,
    kPopupQuery = 2,
    kPopupNicklist = 3,
    kPopupChanList = 4,
    kPopupFinger = 5,
    kPopupUrls = 6,
    kPopupNotify = 7,
    kPopupLinks = 8,
    kPopupCustom = 9,
    kPopupServers = 10,
    kPopupMenubar = 11,
    kPopupTray = 12,
    kPopupMdi = 13,
    kPopupSwitchbar = 14,
    kPopupToolbar = 15,
    kPopupChannelsMenu = 16,
    kPopupDccChatNicks = 18,
    kPopupNotifyNicks = 19,
    kPopupChannelHotlink = 20,
    kPopupDcc = 21,
    kPopupDccSendNicks = 23,
    kPopupScripts = 24,
    kPopupFolders = 25,
    kPopupUrlHotlink = 27,
    kPopupSchemes = 28,
    kPopupCaughtUrls = 29,
    kPopupTreebar = 30,
    kPopupCustomToolbar = 31,
    kPopupSwitchbarButton = 32,
};

// The texts the hotlink popups hand over: the hotlink word and a second text.
struct PopupSaved {
    std::string hotlink;   // at most 4,150 characters
    std::string second;    // at most 306 characters
};

// The open popup and what it was opened for.
struct PopupContext {
    int kind = kPopupNone;
    std::string kind_name;     // "status", "channel", "query", "nicklist", "custom", a window name (306)
    std::string context;       // "status", "channel treebar", "nicklist hotlink", ... (306)
    std::string long_text;     // cleared on each build (4,200)
    PopupSaved saved;          // hotlink word and second text
    QPointer<QWidget> window;  // the window the popup was opened for
    Connection* conn = nullptr;
    ScriptFile* script = nullptr;  // script whose "menu" lines supplied the items
    QPointer<QMenu> menu;      // the popup
    StringNode* collected = nullptr;  // command lines collected for custom-window events
    int busy = 0;              // a command is being served
};
extern PopupContext popup_context;

// Discards the popup and clears the context. Every builder calls it first.
void menu_popup_reset();

// Builders: each leaves the new menu as the current popup (null when there
// is nothing to show). window is the window's widget.
QMenu* menu_build_status_popup(QWidget* window, const std::string& context);
// form 0 the channel window's script popup, 1 the fixed channel-name hotlink popup.
QMenu* menu_build_channel_popup(QWidget* window, int form, const std::string& context,
                                const PopupSaved* saved);
QMenu* menu_build_query_popup(QWidget* window, const std::string& context, const PopupSaved* saved);
QMenu* menu_build_nicklist_popup(QWidget* window, const std::string& context,
                                 const PopupSaved* saved);
// Runs the handlers of mouse event n (1 dclick, 3 sclick, 4 mouse, 5 drop,
// 6 uclick, 7 lbclick, 8 leave, 9 rclick) that the custom window's popup
// file, or the "menu" sections naming it, give, with $1 = item + 1 when an
// item (from 0) is given. Always 1.
int custom_menu_event(WindowRecord* rec, int n, int item, const std::string& context);
// A right-click on the window's text at the point (screen coordinates):
// the popup of the hotlink under it (a channel's, a member's or a notify
// entry's) is shown. 1 when the right-click was served (a popup shown or a
// script's word), else 0 and the window's own popup may show.
int hotlink_popup(WindowRecord* rec, const QPoint& global, int shift);
// A custom window's popup ("custom", "custom treebar", "custom toolbar").
QMenu* menu_build_custom_popup(WindowRecord* rec, const std::string& context);
// The bar popups; form 0 the MDI background. Shows it at the global point;
// 1 when shown.
int menu_build_bar_popup(const QPoint& global, int form);

// The start of a built-in popup of fixed items (the list windows): the
// popup is reset, what it is opened for noted, and a new empty menu made
// the current popup.
QMenu* menu_popup_begin_fixed(QWidget* window, const std::string& kind_name, const std::string& context);
// Adds an item with a numbered text as caption, or with a caption of its
// own, that sends the command id when picked.
QAction* menu_popup_add_fixed(QMenu* menu, int text_id, int id);
QAction* menu_popup_add_item(QMenu* menu, const std::string& caption, int id);

// Shows the current popup for the anchor window with the kind, at the point
// in screen coordinates (a null point: centred on the anchor, as from
// the keyboard). 1 when shown, 0 when there was nothing to show.
int menu_track_popup(QWidget* anchor, int kind, const QPoint& point);

// The right-click of a window: form 0 a right-click at the point (screen
// coordinates; a null point: the list box, as from the keyboard),
// 2 a right-click on the window's treebar item. in_list tells whether the
// click was on the window's list box (the nick list of a channel).
// 1 when a popup was shown; else a beep and 0.
int popup_window_rclick(WindowRecord* rec, int form, const QPoint& point, int in_list);
// The popup of a window type whose window a tool owns (the tool shows its
// menu and runs its commands; 1 when shown). Registered from the tool's
// install; null removes it.
using WindowPopupFn = int (*)(WindowRecord* rec, const QPoint& point);
void popup_window_register(int type, WindowPopupFn fn);
// The popup of an address under the pointer (the URL catcher shows it
// and runs its commands; 1 when shown). Null removes it.
using AddressPopupFn = int (*)(QWidget* window, const std::string& address, const QPoint& point);
void popup_address_register(AddressPopupFn fn);
AddressPopupFn& address_popup_fn();

// The joined selected nicks of a window's list box, each without its
// nick-prefix characters, cut before they would pass 4,150 characters.
std::string popup_list_selection(WindowRecord* rec);

// The text of the caret item of a window's list box (a nick with its prefix).
std::string popup_caret_nick(WindowRecord* rec);
// The selection text of a window: a query's nick, the selected lines of
// its list box.
std::string popup_window_selection_text(QWidget* window);

// Installs the popup's frame timer (126: the end of a menu loop), the
// right-click handling of the windows' text areas and list boxes and the
// custom windows' click events.
void popup_menus_install();
void popup_menus_uninstall();

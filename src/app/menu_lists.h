// The parts of the main menu that change while the program runs: the recent
// servers under File, the recent channels and the channels-folder entries
// under Channels, the open windows under Window and the help, HTML and text
// files under Help; the Connect and Disconnect items; the help files and
// opening a folder.
#pragma once

#include <string>
#include <vector>

class QMenu;
struct Connection;

// Connect greyed and Disconnect enabled while the current connection is
// connected or connecting, the reverse while it is idle.
void menu_update_connect_items();

// The builders, each given the menu about to open; a menu without its
// anchor item is left alone.
void menu_build_recent_servers_menu(QMenu* menu);  // the menu holding 101
void menu_build_channels_menu(QMenu* menu);        // the menu holding 142
void menu_build_window_list(QMenu* menu);          // the menu holding 176
void menu_build_help_menu(QMenu* menu);            // the menu holding 190

// The handlers of the items the builders made; 1 when the id was theirs.
int menu_recent_servers_command(int id);
int menu_channels_command(int id);
int menu_window_command(int id);
int menu_help_file_command(int id);
// All four in turn (the frame's fallback for ids it does not serve).
int menu_list_command(int id);

// Opens a help, HTML or text file by its bare name: in the settings folder,
// else the program's folder (a name holding a path or "*" is refused). 1
// when it was opened.
int help_file_open(const std::string& name, const std::string& topic);

// Shows the folder of a path (with no path: the download folder; a folder
// that does not exist: the settings folder). 0 (after the error beep) when
// it could not be shown.
int folder_open(Connection* conn, const std::string& path);

// ---- The recent lists the toolbar shows ----

// Recent script files: loaded alias files (group 0), popup files (1),
// remote scripts (2), the users and variables files (3), at most 10 of
// each group. The list is built from the loaded files (a file loaded since
// the last build joins it) and tidied: a file no longer loaded leaves it.
struct RecentScript {
    const void* record;  // AliasFile, PopupFile or ScriptFile by the group
    int tag;
};
void scripts_recent_build();
void scripts_recent_tidy();

// Recent folders: folders of received files (tag 1, put first) and the
// download folders of the file-type rules (tag 0); existing folders only,
// at most 20.
struct RecentFolder {
    std::string path;  // ends in "/"
    int tag;
};
void folders_recent_build();
void folders_recent_tidy();
void folders_recent_add(const std::string& path);
const std::vector<RecentFolder>& folders_recent();

// The toolbar's menus of these lists (the script files of the script
// editor button, the folders of the received-files button): made anew,
// owned by the caller; null after the error beep when the list is empty.
// A script file chosen becomes the current file of its kind and the script
// editor opens on it; a folder chosen is shown.
QMenu* menu_build_scripts_popup();
QMenu* menu_build_folders_popup();
// The menu of the main menu's recent servers (the connect buttons' menu,
// built afresh) and the Channels menu; null when the menu bar lacks them.
QMenu* menu_build_servers_popup();
QMenu* menu_channels_menu();

// The parts of the main menu that change while the program runs: the recent
// servers under File, the recent channels and the channels-folder entries
// under Channels, the open windows under Window and the help, HTML and text
// files under Help; the Connect and Disconnect items; the help files and
// opening a folder.
#pragma once

#include <string>

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

// Opens a help, HTML or text file by name: made absolute against the
// settings folder, else the program's folder. 1 when it was opened.
int help_file_open(const std::string& name, const std::string& topic);

// Shows the folder of a path (with no path: the download folder; a folder
// that does not exist: the settings folder). 0 (after the error beep) when
// it could not be shown.
int folder_open(Connection* conn, const std::string& path);

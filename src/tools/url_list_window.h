// The "Urls List" window: the URL list shown one entry a line, its popup
// and the commands behind it (add, edit, copy, delete, find, open, send,
// load, save as), the entry editor and the link warning asked before an
// address opens. The list itself is the URL catcher's (url_catcher).
#pragma once

#include <QPoint>

#include <string>

class QDialog;
class QMenu;
class QWidget;
struct Connection;
struct WindowRecord;

// The open list window's record, or null.
WindowRecord* url_list_window();
// Opens the "Urls List" window for the current connection, or brings it
// up; the toolbar's URL button goes off. Beeps without a connection.
// The window, or null.
QWidget* url_list_open();
// The frame command: closes the window when it is the active one, else
// opens it.
void url_list_toggle();
// Refills the window from the list, with only the entries whose
// description holds the filter (case ignored), and sets the title.
void url_list_refill(const std::string& filter);
// "Urls List [name.ext]" with the list file's name.
std::string url_list_title();

// The list tells the window about an entry put at place n (from 1) and one
// taken from place n.
void url_list_window_inserted(int n, const std::string& entry);
void url_list_window_removed(int n);
// 1 when the list window is the active, visible window.
int url_list_window_in_view();

// The popup of the list window (selection counts grey its items); the
// send submenu's items carry the target window's number. The caller owns it.
QMenu* url_popup_build(WindowRecord* rec);
// Runs a popup command (7000 add ... 7008 options, 7009 and up send to the
// window numbered target).
void menu_urls_command(int id, WindowRecord* rec, int target = 0);

// The popup of an address in a window's text (open, open in a new browser
// window, copy) and its commands.
QMenu* url_address_popup_build(QWidget* window);
void menu_url_hotlink_command(int id, const std::string& address);

// The entry editor: mode 0 a new entry, 1 one entry, 2 several entries
// (only the state character). The dialog is returned to the caller to run.
QDialog* url_entry_dialog_create(QWidget* owner, int mode, char state, const std::string& description,
                                 const std::string& address);
// Reads the editor's fields after it was accepted.
void url_entry_dialog_result(QDialog* dialog, char* state, std::string* description, std::string* address);

// The link warning: the address (editable), "keep warning"; 1 to open.
int url_link_warning_ask(std::string& address);

void url_list_window_install();
void url_list_window_uninstall();

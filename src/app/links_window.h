// The Links List window of a connection: the LINKS answer as an indented
// tree; a double-click connects to the server of a line.
#pragma once

struct Connection;
struct StringNode;
class QMenu;
class QWidget;

// Takes the collected entries (and frees them) and shows them.
void links_window_show(StringNode* list, Connection* conn);
// The window takes the answer to LINKS.
void links_window_install();
void links_window_uninstall();
// A double-click on a line of the window (Shift held or not).
void links_dblclick_server(const char* line, QWidget* window, bool shift);

// The window's right-click menu: connect to the selected server, copy its
// name, ask the server for the links again, save the lines.
QMenu* menu_build_links_popup(QWidget* window);
// A command of that menu (7000 to 7003).
void menu_links_command(int id, QWidget* window, Connection* conn);

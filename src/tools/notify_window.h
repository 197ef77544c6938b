// The Notify List window: one window for all connections that shows who of
// the notify lists is on IRC (a heading per logged-on connection, its
// on-line entries under it, then the off-line entries under one heading).
// The notify list below fires its changes through its hooks; the window
// rebuilds itself from the list's lines. Also the window's right-click menu
// and its commands, the notify nick hotlink's menu commands, the frame menu
// command that opens and closes the window, and $snotify.
#pragma once

#include <string>

class QPoint;
class QWidget;
struct Connection;
struct WindowRecord;

// Opens the window (flags 1: also activates it) and fills it.
void notify_window_show(int flags);
// Rebuilds the lines of an open window; unchanged lines stay as they are.
void notify_window_rebuild();
void notify_window_close();
// Activity level 1 for the window when it is hidden, minimised or not the
// active window.
void notify_window_mark_activity();
// The open window, or null.
QWidget* notify_window_widget();

// The nick of the selected line when its entry still exists and belongs to
// the connection (the text up to the line's first blank); else empty.
std::string notify_window_selected_nick(Connection* conn);

// The window's right-click menu (the query popup first when an entry line is
// selected, then show-all, reload and settings); 1 when shown.
int notify_window_popup(WindowRecord* rec, const QPoint& point);
// A command picked in that menu or in a notify nick hotlink's menu.
void menu_notify_command(int id, QWidget* window, Connection* conn);

void notify_window_install();
void notify_window_uninstall();

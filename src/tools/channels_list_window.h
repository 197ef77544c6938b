// The Channels List window: shows a connection's kept channel lines as the
// channels list reports them, its popup and its commands.
#pragma once

class QPoint;
class QWidget;
struct Connection;
struct WindowRecord;

// The popup's commands (join, names, save, sort, stop).
void menu_chanlist_command(int id, QWidget* window, Connection* conn);
int chanlist_window_popup(WindowRecord* rec, const QPoint& point);
void channels_list_window_install();
void channels_list_window_uninstall();

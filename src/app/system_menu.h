// The system menu of a window of the window list: building it, its items
// for desktop windows and enabling its items.
#pragma once

#include "app/window_record.h"

class QAction;
class QMenu;
class QWidget;

void win_build_system_menu(WindowRecord* rec);
void win_sysmenu_add_desktop_item(QMenu* menu, int position, WindowRecord* rec, int in_mdi);
void win_enable_sysmenu_items(QWidget* hwnd);
// The command id of a system-menu action (its data), 0 for others.
int win_sysmenu_action_id(const QAction* action);

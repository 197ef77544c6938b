// The system menu of a window of the window list: building it, its items
// for desktop windows and enabling its items.
#pragma once

#include "model/window_record.h"

class QAction;
class QMenu;
class QWidget;

class QMdiSubWindow;

// Builds the record's entries afresh (an MDI child shows them at the top of
// its frame's system menu).
void win_build_system_menu(WindowRecord* rec);
// The record's entries, built on first use: a window whose menu is never
// opened does not pay for one. Null for a record without window.
QMenu* win_system_menu(WindowRecord* rec);
// Before an MDI frame's system menu opens: the entries of its window lead
// it, built now when they were not yet (also after the window moved into a
// new frame).
void win_sysmenu_prepare(QMdiSubWindow* frame);
void win_sysmenu_add_desktop_item(QMenu* menu, int position, WindowRecord* rec, int in_mdi);
void win_enable_sysmenu_items(QWidget* hwnd);
// The command id of a system-menu action (its data), 0 for others.
int win_sysmenu_action_id(const QAction* action);

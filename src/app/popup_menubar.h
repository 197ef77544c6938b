// The menu bar's script menu: the items of the menu-bar popup file and of
// the scripts' "menu menubar" sections, as one menu of the frame's menu bar
// (just before the window menu). Its items are built when it opens; a
// picked item runs its command through the popup dispatcher (kind 11).
#pragma once

class QMenu;

// Puts the script menu on the bar, or takes it off when there is no source
// (no menu-bar popup lines, no script section naming "menubar"). With
// rebuild the items are built now; without, a placeholder item stands in
// until the menu opens. With redraw the bar is repainted. 1 when the menu
// is on the bar.
int popup_menubar_rebuild(int rebuild, int redraw);
// The script menu on the bar, or null.
QMenu* popup_menubar_menu();

// The treebar: the second window switcher, a dockable panel of the frame
// that shows one node per server connection with its windows beneath it
// (sorted into folders by kind when asked), the windows that stand apart
// at the top, and a folder of notify-list entries per connected server.
#pragma once

#include <string>
#include <vector>

#include <QColor>

class QTreeWidget;
class QTreeWidgetItem;
class QWidget;
struct Connection;
struct WindowRecord;

// One node of the tree as the refresh builds it.
struct TreebarNode {
    std::string text;
    int id = 0;            // window number, folder id or notify entry id
    int folder = 0;
    int blink = 0;
    int level = 0;         // activity level (own, else the highest number inside)
    int conn_state = 0;    // connection nodes: 1 not connected .. 4 registered
    int icon = -1;         // window kind << 8 | subtype; -1 none
    int notify = 0;        // a notify entry
    std::vector<TreebarNode> kids;
    bool operator==(const TreebarNode&) const = default;
};

// Makes the panel and its tree (hidden, children of the frame), registers
// it with the frame's bars and shows it when the option is on. Null on
// failure.
QWidget* treebar_create();
// The frame makes the treebar through its bar-making signal; the tree
// follows the window list's changes.
void treebar_install();
void treebar_uninstall();
QWidget* treebar_window();
QTreeWidget* treebar_tree();
// 1 while the panel exists and its option is on.
int treebar_is_on();

// After window changes: mode 5 only redraws, 3 expands all, 4 collapses
// all; 0, 1 and 2 rebuild when the windows changed. Refuses re-entry.
void treebar_refresh(Connection* conn, int mode);
// A window was hidden (0) or shown (1): its item is dropped or added again.
void treebar_update_window_item(WindowRecord* rec, int visible);
// Whether the window has an item in the tree.
int treebar_has_window(WindowRecord* rec);
// The tree's background from the Treebar colour item.
void treebar_set_background(const QColor& colour);
// The model as the last refresh built it.
const std::vector<TreebarNode>& treebar_model();
// The tree item of a window, or null.
QTreeWidgetItem* treebar_item_of(WindowRecord* rec);
// The folder ids of a status window (base; folders at base + 1 .. + 9).
int treebar_folder_base(WindowRecord* status);

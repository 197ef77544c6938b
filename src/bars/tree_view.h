// One set of operations over the tree controls of the program (the treebar,
// the options dialog's categories, the server tree, the channels folder):
// the same item parameter (folder byte, selection byte, item id), insertion
// by folder path, the walking order, folders-first sorting, a selection of
// several items, the expanded state saved and restored, and one look.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include <QColor>

class QTreeWidget;
class QTreeWidgetItem;

// ---- The item parameter ----

constexpr int kTreeLeafIdMax = 14999;
constexpr int kTreeFolderIdFirst = 15000;
constexpr int kTreeFolderIdLast = 30000;

constexpr std::uint32_t treeview_make_param(int id, int folder) { return (static_cast<std::uint32_t>(id) << 16) | (folder ? 1u : 0u); }
constexpr int treeview_param_id(std::uint32_t p) { return static_cast<int>(p >> 16); }
constexpr int treeview_param_folder(std::uint32_t p) { return static_cast<int>(p & 0xFF); }
constexpr int treeview_param_selected(std::uint32_t p) { return static_cast<int>((p >> 8) & 0xFF); }

std::uint32_t treeview_param(const QTreeWidgetItem* item);
void treeview_set_param(QTreeWidgetItem* item, std::uint32_t param);
// The tree's kind: 0 several selected with Ctrl and Shift, 1 the treebar,
// 2 the server tree ("Random" servers first).
int treeview_kind(const QTreeWidget* tree);

// Item data the look reads besides the parameter.
enum TreeItemRole : int {
    kTreeRoleParam = 0x0100,   // Qt::UserRole
    kTreeRoleLevel,            // activity level of the item's text
    kTreeRoleIcon,             // window kind << 8 | subtype; absent: none
    kTreeRoleWindow,           // window number whose icon is drawn
    kTreeRoleBlink,            // the icon is washed while the blink phase is on
    kTreeRoleIconNumber,       // a fixed icon number (notify entries)
};

// ---- Operations ----

// Style flags of treeview_reset.
enum TreeStyle : int {
    kTreeStateImages = 1,
    kTreeNormalImages = 2,
    kTreeLines = 4,
    kTreeLinesAtRoot = 8,
    kTreeButtons = 0x10,
    kTreeShowSelAlways = 0x20,
    kTreeTrackSel = 0x40,
};

// Stores the kind, deletes every item and sets the styles. 1 on success.
int treeview_reset(QTreeWidget* tree, int style_flags, int kind);
void treeview_free_imagelists(QTreeWidget* tree);
void treeview_set_bk_color(QTreeWidget* tree, const QColor& colour);

// Inserts an item under the parent (top level when null): sorted, or after
// `after`, or last.
QTreeWidgetItem* treeview_insert_node(QTreeWidget* tree, QTreeWidgetItem* parent, const std::string& text,
                                      int folder, int id, int sort, QTreeWidgetItem* after);
// Inserts a leaf under a backslash path of folders made as needed; null for
// an id outside 1..14,999 or an empty text.
QTreeWidgetItem* treeview_insert_item(QTreeWidget* tree, const std::string& path, const std::string& text, int id,
                                      int sort, QTreeWidgetItem* after);
// The item after `item` in walking order (pre-order); the first item for null.
QTreeWidgetItem* treeview_next(QTreeWidget* tree, QTreeWidgetItem* item);
// Match flags of treeview_find.
enum TreeFind : int { kTreeFindText = 1, kTreeFindParam = 4 };
QTreeWidgetItem* treeview_find(QTreeWidget* tree, int flags, const std::string& text, std::uint32_t param,
                               QTreeWidgetItem* start);
QTreeWidgetItem* treeview_find_by_text(QTreeWidget* tree, const std::string* text, const std::uint32_t* param);
// Makes the item (or the n-th in walking order, n > 0) the only selected
// one and the current item. The item, or null.
QTreeWidgetItem* treeview_select_item(QTreeWidget* tree, QTreeWidgetItem* item, int n);
// Text (at most 4,150), parameter, expanded state and child count of an item
// (or the n-th, n > 0). 1 on success.
int treeview_get_item_info(QTreeWidget* tree, QTreeWidgetItem* item, int n, std::string* text,
                           std::uint32_t* param, int* expanded, int* children);
// Deletes the item with its subtree (null: all). With reselect, its next
// sibling, else its previous sibling, else its parent becomes selected.
int treeview_delete_item(QTreeWidget* tree, QTreeWidgetItem* item, int reselect);
void treeview_prune_empty_folders(QTreeWidget* tree);
void treeview_expand_all(QTreeWidget* tree, QTreeWidgetItem* first, int collapse);
void treeview_scroll_to_item(QTreeWidget* tree, QTreeWidgetItem* item);
// Mode 1: the selection byte set to value on the items from a to b; mode 0:
// on every item outside that range.
void treeview_select_range(QTreeWidget* tree, QTreeWidgetItem* a, QTreeWidgetItem* b, int mode, int value);
int treeview_count_selected(QTreeWidget* tree);
QTreeWidgetItem* treeview_nth_selected(QTreeWidget* tree, int n);

struct TreeSavedNode {
    std::string text;
    std::uint32_t param = 0;
    int children = 0;
    int folder = 0;
    int expanded = 0;
    int selected = 0;
};
std::vector<TreeSavedNode> treeview_save_state(QTreeWidget* tree);
// Mode 0: the folders expanded again by place and the selected item
// selected (else the first); mode 1: every folder whose id was saved
// expanded is expanded.
void treeview_restore_state(QTreeWidget* tree, const std::vector<TreeSavedNode>& saved, int mode);
void treeview_sort_children(QTreeWidget* tree, QTreeWidgetItem* parent);
// The sort rule: folders first, then text without case; in the server tree
// the "Random" entries first.
int treeview_compare(int kind, const QTreeWidgetItem* a, const QTreeWidgetItem* b);

// ---- Notifications ----

enum TreeNote : int {
    kTreeNoteKey = 1,
    kTreeNoteExpanding,
    kTreeNoteSelChanged,
    kTreeNoteClick,
    kTreeNoteDoubleClick,
    kTreeNoteReturn,
    kTreeNoteRightClick,
};
// What the owner hears after the control has finished (posted): the item,
// the note and, for keys, the key.
using TreeNoteFn = std::function<void(QTreeWidgetItem* item, int note, int key)>;
// Installs the shared handling (selection bytes, the space key swallowed,
// the look) and the owner's listener.
void treeview_install(QTreeWidget* tree, TreeNoteFn owner);
// A click on an item with modifiers (Ctrl, Shift): the selection rule of
// the tree's kind.
void treeview_on_click(QTreeWidget* tree, QTreeWidgetItem* item, int ctrl, int shift);

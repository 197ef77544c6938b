// Script dialogs: the instance record, the list of open dialogs, and the
// table language that scripts write ("dialog name { ... }") from which each
// instance builds its controls and its menu bar.
#pragma once

#include <QPointer>
#include <QWidget>

#include <string>
#include <vector>

class QAction;
class QMenu;
class QMenuBar;
class QTabBar;
class QButtonGroup;
struct Connection;
struct ScriptFile;
class ScriptDialogWindow;

// Control kinds of the table.
enum DialogKind : int {
    kDlgText, kDlgLink, kDlgEdit, kDlgButton, kDlgCheck, kDlgRadio, kDlgBox,
    kDlgScroll, kDlgList, kDlgCombo, kDlgIcon, kDlgTab,
};

// Table ids run from 1 to this; a control's window id is its table id plus
// kDialogIdBase.
constexpr int kDialogMaxId = 3000;
constexpr int kDialogIdBase = 6000;
// At most this many tabs in one table.
constexpr int kDialogMaxTabs = 50;
// Menus made by a table, with or without ids, and how deep popups may nest.
constexpr int kDialogMaxMenus = 3000;
constexpr int kDialogMaxMenuDepth = 32;
// Places and sizes (in pixels, after conversion) lie within this bound.
constexpr int kDialogMaxCoord = 32767;

// One picture control (key = table id), or the dialog's icon (key 0).
struct DialogPicture {
    int id = 0;
    QImage image;              // the loaded picture; null when none
    std::string file;          // the file as loaded
    int index = -1;            // icon index; -1 for a picture file
    int border = 1;            // "noborder" clears it
    int enabled = 1;           // only an enabled picture raises mouse events
    int align = 0;             // left 1, right 2, top 4, bottom 8
    int size_flags = 0;        // small 1, large 2, actual 4
};

// One control of the dialog.
struct DialogControl {
    int id = 0;                // table id 1..3000
    int kind = kDlgText;
    QPointer<QWidget> widget;
    int list_kind = 0;         // lists: 0 plain, 1 check list, 2 radio list
    int tab_page = -1;         // the page it belongs to, -1 none
    int shown = 1;             // its own visibility when its page is current
    int enabled = 1;           // links and pictures: shown (links) / mouse events
    int multi_line = 0;        // edits
    int page = -1;             // tab placeholders: their page index
    std::string text;          // tab and link text
};

// One entry of the dialog's menu bar.
struct DialogMenuEntry {
    int id = 0;                // table id, 0 for a menu line without one
    QPointer<QAction> action;
    QPointer<QMenu> popup;     // a menu line's popup; null for an item
    QPointer<QMenu> parent;    // null when on the menu bar
    int depth = 0;
};

// A variable that receives a control's value when the dialog closes.
struct DialogBinding {
    std::string variable;      // "%name"
    int id = 0;
};

struct ScriptDialog {
    std::string name;          // up to 256 characters; compared without case
    std::string table;
    QPointer<ScriptDialogWindow> window;
    QPointer<QWidget> parent;  // null: the main window
    int parent_desktop = 0;
    int x = -1, y = -1, w = -1, h = -1;
    int ok_id = 0, cancel_id = 0, result_id = 0;
    std::string* result = nullptr;   // a waiting $dialog's value
    std::string event_text;          // the sub-event while DIALOG runs
    int event_control = 0;
    int modal = 1;
    int no_theme = 0;
    int close_mode = 0;              // 1 a script presses ok or cancel, 2 quiet close
    int suppressed = 0;              // the program itself changes controls
    int initialising = 0;
    int first_show = 1;
    int dbu = 0;
    int ending = 0;                  // closing: no second close
    int default_id = 0;
    std::vector<DialogControl> controls;
    std::vector<DialogMenuEntry> menus;
    std::vector<DialogPicture> pictures;
    std::vector<DialogBinding> bindings;
    QPointer<QMenuBar> menubar;
    QPointer<QMenu> current_menu;
    QPointer<QTabBar> tabs;
    QPointer<QWidget> page_area;
    std::vector<int> tab_ids;        // table id of each tab, by page
    int current_page = 0;
    QPointer<QButtonGroup> radio_group;
    int drag_x = -1, drag_y = -1;
    int last_mouse_x = -1, last_mouse_y = -1;
    ScriptFile* script = nullptr;
    Connection* conn = nullptr;
    int follow_active = 0;
};

// The open dialogs in creation order.
extern std::vector<ScriptDialog*> script_dialogs;

// The open dialog of that name (case ignored), or null.
ScriptDialog* dialog_find(std::string_view name);
// Whether the record is still on the list.
bool dialog_is_live(const ScriptDialog* d);
ScriptDialog* dialog_new(std::string_view name, std::string_view table);
void dialog_free(ScriptDialog* d);

// The control with that table id, or null.
DialogControl* dialog_control(ScriptDialog* d, int id);
// The menu entry with that table id, or null.
DialogMenuEntry* dialog_menu_entry(ScriptDialog* d, int id);
DialogPicture* dialog_picture(ScriptDialog* d, int id);
// Whether a control shows under the current tab (one in no tab always does).
bool dialog_control_on_page(const ScriptDialog* d, const DialogControl& c);
// The table id of a widget of the dialog (its control or menu entry), or 0.
int dialog_id_of(const ScriptDialog* d, const QObject* widget);

// Finds the table (without a window) or builds every control into the
// dialog's window. 1 on success; 0 on failure with the table error (if any)
// left as the pending script error.
int ParseDialogTable(ScriptDialog* d);

// Loads a picture file for the dialog (its script's folder first, then the
// ordinary resolution). 1 when loaded.
int dialog_load_picture(ScriptDialog* d, const std::string& file, int index, DialogPicture& out);
// Shows or hides the controls of the current page.
void dialog_show_page(ScriptDialog* d, int page);

// The options dialog (template 670): a category list drawn as a two-level
// tree on the left (list 101), one settings page at a time in the page
// area (102) on the right, OK (1), Cancel (2) and Help (9). Every page is
// built when the dialog opens (options_page.h); OK applies every page and
// saves the settings files, Cancel drops every change. The menu commands
// 104, 130, 153 and 159, Alt+O, the toolbar, the start-up and a connect
// that lacks the identity open it.
#pragma once

#include <string>

class QDialog;

constexpr int kOptionsDialogTemplate = 670;
constexpr int kOptionsCategoryRows = 27;

// Open-at-category codes: the row the next opening selects (0 the row
// selected last time).
enum OptionsOpenAt : int {
    kOpenAtLast = 0,
    kOpenAtConnection = 1,
    kOpenAtLocalInfo = 2,
    kOpenAtIdentd = 3,
    kOpenAtCatcher = 4,
    kOpenAtDcc = 5,
    kOpenAtDisplay = 6,
    kOpenAtDccIgnore = 7,
    kOpenAtServers = 8,
};

// One row of the category table.
struct OptionsCategory {
    int caption_id;      // string-table text
    int group;           // 1 a group row, 0 a child of the group above
    int page_template;
    int first_control;   // identifies the page
    int help_topic;
    int code;            // open-at code that selects the row (0 none)
    int open_flag;       // OptionId of the group's open state (0 for a child)
};
const OptionsCategory* options_categories();

// Opens the dialog modally at the code's row; a request while it is open
// brings the open one up and is otherwise refused (0). Returns 1 when the
// dialog ran.
int options_dialog_open(int open_at);
// The same, posted: the dialog opens once the caller has returned.
void options_dialog_post(int open_at);
// At start-up, and when a connect finds the identity or the server
// missing: the dialog at the Connection row, once the caller returned.
void options_open_at_start();
void options_open_for_identity();
// The open dialog, or null.
QDialog* options_dialog_window();

// The rows as the list shows them now (captions, with a group's open state
// and a child's place), the selected row, and toggling a group at a row.
int options_category_count();
int options_category_row_of(int first_control);
int options_category_selected();
void options_toggle_group(int row);

// Ends the open dialog as the buttons do: 1 OK, 2 Cancel, 126 Connect.
// 0 when the dialog stays open (an incomplete identity on Connect).
int options_dialog_end(int command);

void options_dialog_install();
void options_dialog_uninstall();

// Report-style list views (rows and columns) driven by one small set of
// operations: the address book's lists and the DCC option pages show the
// entries of settings lists in them. A hidden last column holds each
// entry's whole stored text, so that a row is written back without
// re-reading its cells. Each row carries a serial number from one
// program-wide counter (Qt::UserRole of its first column).
#pragma once

#include <string>

class QTreeWidget;

// Layouts of lv_setup_columns and row kinds of lv_add_row.
enum ListViewKind : int {
    kListViewPlain = 0,   // one text in column 0
    kListViewFileRule = 1,// a download-folder rule: file types, folder, whole rule
    kListViewNotify = 2,  // a notify entry: nick, network, note, whole entry
};

// The most characters lv_item_text and the sort read of a cell, and
// lv_swap_items of a further column.
constexpr int kListViewTextMax = 1024;
constexpr int kListViewSwapTextMax = 4150;

void lv_clear(QTreeWidget* view);
void lv_disable_header(QTreeWidget* view);
void lv_add_column(QTreeWidget* view, int width, int index, const std::string& caption);
int lv_column_count(QTreeWidget* view);
// Widths by layout: kind 1 W/3, W - W/3, 0; kind 2 W/3, W - trunc(W/1.5),
// W - W/3, 0; other kinds W/n each (W the view's inner width). With `show`
// the view is shown while measuring and hidden again.
void lv_setup_columns(QTreeWidget* view, int kind, int show);
// Row below 0: a new row at the end with the text in column 0 and a new
// serial number, its index; else the column's text of that row and the row,
// or -1 when there is no such row.
int lv_set_cell(QTreeWidget* view, const std::string& text, int row, int column);
// Fills a row (row -1 appends) by the row kind; the row, or -1. For kind 1
// `is_default` (when given) is set when the rule is the default rule.
int lv_add_row(QTreeWidget* view, const std::string& entry, int* is_default, int row, int kind);
int lv_select(QTreeWidget* view, int row);
int lv_selected_index(QTreeWidget* view);
int lv_count(QTreeWidget* view);
// Column 0 (kind 0), 2 (kind 1) or 3 (kind 2), at most 1,024 characters;
// empty when there is no such row.
std::string lv_item_text(QTreeWidget* view, int row, int kind);
// Deletes the row; with `reselect` selects the same index, else the one
// before.
void lv_delete_item(QTreeWidget* view, int row, int reselect);
// The first row whose column-0 text equals the text (case ignored), or -1.
int lv_find_text(QTreeWidget* view, const std::string& text);
// Sorts the rows by their column-0 text, ascending, case ignored.
void lv_sort(QTreeWidget* view, int column);
// Swaps two rows: every column's text, the item data and state.
void lv_swap_items(QTreeWidget* view, int a, int b);
// Scrolls the selected row into view; -1 when none is selected.
int lv_show_selected(QTreeWidget* view);

// The layout of a window's controls (a pure function of its input, and its
// application to a live window), the scroll bar upkeep and the placement
// and system metrics of windows.
#pragma once

#include <QRect>
#include <QWidget>

#include "core/signal.h"
#include "model/window_record.h"

// Layout reasons.
constexpr int kLayoutFull = 32879;
constexpr int kLayoutNoRepaint = 32880;
constexpr int kLayoutEditboxCheck = 32881;

// Scroll codes.
enum ScrollCode : int {
    kScrollLineUp = 0,
    kScrollLineDown = 1,
    kScrollPageUp = 2,
    kScrollPageDown = 3,
    kScrollThumbPosition = 4,
    kScrollThumbTrack = 5,
    kScrollTop = 6,
    kScrollBottom = 7,
};

// ---- Geometry ----

// What the layout of a window depends on.
struct WinLayoutInput {
    int client_width = 0;
    int client_height = 0;
    int border_style = 0;     // 0 none, 1 thin, 2 raised, 3 sunken
    int type = 0;
    int subtype = 0;
    int line_height = 0;      // of the window's font
    int editbox_extra = 1;
    int editbox_spacing = 0;
    int editbox_mode = 0;     // 0 one line, 1 two lines, 2 grows with its lines
    int editbox_lines = 1;
    int has_text_area = 0;
    int has_scroll_bar = 0;
    int has_editbox = 0;
    int has_editbox2 = 0;
    int editbox_split = 70;   // per cent of the row for the first editbox
    int has_listbox = 0;
    int list_shown = 1;       // the side list is shown (not hidden)
    int nicklist_place = 0;   // 0 right, 1 left, 2 hidden
    int side_width = 0;       // the side list's width in pixels
    int scroll_bar_width = 16;
};

// Where the controls go; an empty rectangle means "not shown". The scroll
// bar's rectangle is relative to the text area.
struct WinLayout {
    QRect text_area;
    QRect scroll_bar;
    QRect editbox;
    QRect editbox2;
    QRect listbox;
    int editbox_row = 0;      // height of the editbox row
    int editbox_lines = 1;    // editbox lines that fit (growing mode)
    int side_width = 0;       // the side list's width after shrinking
};

// The gap between the two editboxes and the splitter between text and list.
constexpr int kEditboxGap = 4;
constexpr int kSplitterWidth = 3;

// Border insets: left/top and right/bottom.
void win_border_insets(int border_style, int type, int* left_top, int* right_bottom);
// The height of the editbox row.
int win_editbox_row_height(int line_height, int extra, int spacing, int mode, int lines,
                           int client_height, int* lines_used);
// The whole layout; a pure function of its input.
WinLayout win_compute_layout(const WinLayoutInput& in);
// The layout input of a live record.
WinLayoutInput win_layout_input(WindowRecord* rec);

// Whether the window type is one of the list windows.
bool is_list_window(int type);

// What a window's layout depends on changed here (its font, its side list
// shown or hidden, its input boxes): the window manager lays the window out
// again at once (reason as win_layout's: 32879 full, ...).
enum WinLayoutWantedOrder {
    kLayoutWantedWindows = 50,
};
extern Signal<void(QWidget* hwnd, int reason)> win_layout_wanted;
// The record and the text area's client rectangle, less the scroll bar
// unless with_scroll_bar; never negative. Null without a record.
WindowRecord* win_text_rect(QWidget* hwnd, WinRect& out, int with_scroll_bar);
// Rows of lines that fit in the text area.
int win_rows_that_fit(WindowRecord* rec);
// The window's line height (double spacing doubles it for scrolling).
int win_line_height(WindowRecord* rec);
void win_update_vscroll(WindowRecord* rec);
void win_recalc_scroll(WindowRecord* rec, int mode);
// Scrolls the text (scroll codes above); `position` for the thumb codes.
// With the list box focused and the request not from the scroll bar, the
// list box's selection moves instead.
void win_on_vscroll(WindowRecord* rec, int code, int position, int from_scroll_bar);
// Left, top, width and height (in the rectangle's fields) of the window.
void win_get_placement_rect(QWidget* hwnd, WinRect& out);
void win_client_with_bars(QWidget* hwnd, WinRect& out);
void win_work_area(WinRect& out);
// System metrics by their usual numbers (2 vertical scroll bar width, 3
// horizontal scroll bar height, 4 caption height, 32 frame width, 33 frame height).
int win_system_metric(int index);

// The editbox spacing setting (pixels added to the editbox row).
extern int win_editbox_spacing;

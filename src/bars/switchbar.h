// The switchbar: a dockable strip of the frame with one button per window.
// Each button shows the window's icon and label, takes the colour of the
// window's unread activity, blinks for attention and switches to, closes or
// minimises its window. A status window's button can hold the windows of its
// connection as a group behind it.
#pragma once

#include <cstdint>
#include <string>

#include <QColor>
#include <QRect>
#include <QRgb>

#include "model/window_record.h"

class QPainter;
class QWidget;

// The bar's state of one window: where its button stands in the current
// layout. Kept on the window's record and gone with it.
struct SwitchbarButton {
    WinRect rect{};          // bar coordinates; empty: no button drawn
    int place = 0;           // 0 no button in this layout, else its 1-based order
    int group_start = 0;     // first button of a new group (a separator before it)
    int hot = 0;             // the mouse rests on it
    int shortened = 0;       // the label was cut with "..."
    WinRect arrow{};         // the drop-down arrow of a collapsed status button
    std::string laid_name;   // the window's name when the bars were last laid out
    int laid = 0;            // the bars were laid out with this window in the list
};

// The button state of a window (made on first use), or null for a record
// that is not listed.
SwitchbarButton* switchbar_button_of(WindowRecord* rec);

// Makes the bar (hidden, a child of the frame) and registers it with the
// frame's bars; shows it when the option asks for it. Its window, or null.
QWidget* switchbar_create();
// The bar's window, or null.
QWidget* switchbar_window();
// 1 while the bar exists and its option is on.
int switchbar_is_on();

// The progress bar of a transfer's button: from the inner left edge (2
// pixels in, 1 more when pushed), the inner width times percent / 100, at
// least 1 pixel above 0 percent; empty at 0.
QRect switchbar_progress_rect(const QRect& button, bool pushed, int percent);

// Repaints the whole bar (null) or one button; returns at once while a
// repaint runs. Asks the treebar to refresh afterwards.
void switchbar_repaint(WindowRecord* rec = nullptr);
// A window's title was brought up to date: its button repaints, or the whole
// bar when the window's name changed since the bars were last laid out.
void switchbar_title_repaint(WindowRecord* rec);
// Computes every button's rectangle; 1 when the number of rows changed.
int switchbar_layout();
// The number of extra rows (0..9) and the scroll offset of a side bar.
int switchbar_extra_rows();
void switchbar_set_extra_rows(int rows);
int switchbar_scroll_offset();
void switchbar_set_scroll_offset(int offset);
// The text width of a button in the last horizontal layout.
int switchbar_text_width();
// The thickness the bar wants across its side: its height on the bottom or
// top, its width on the left or right.
int switchbar_wanted_thickness();

// The button label of a window, or null when the window may have no button.
// The text lives in one buffer (at most 4,200 characters) that the next call
// overwrites.
const char* switchbar_button_label(WindowRecord* rec);
// 1 when the window gets a button of its own.
int switchbar_button_shown(WindowRecord* rec);
// 1 for the windows that stand apart from connections (finger, URL list,
// notify list): they form groups of their kind and always pass their level on.
int switchbar_window_apart(const WindowRecord* rec);

// The activity colour of a level (1 message, 2 highlight, 3 other); false
// when that level has none.
bool switchbar_activity_colour(int level, QColor* out);
// The level a button shows: its own, or for a collapsed status button the
// strongest among the windows grouped under it.
int switchbar_button_level(WindowRecord* rec);
// The colour the button's label is drawn in.
QColor switchbar_button_text_colour(WindowRecord* rec);

// The icon number of a window kind (status by its connection state).
int switchbar_icon_number(WindowRecord* rec, int type, int subtype);
// Draws the 16x16 icon of a window (or of a kind when rec is null) at x, y;
// with blink set, washes it with the colour at alpha 64.
void switchbar_draw_window_icon(QPainter& painter, WindowRecord* rec, int type, int subtype, int x, int y,
                                const QColor* blink);

// Blends a colour over a rectangle with a constant alpha (0..255). 1 when
// drawn.
int alpha_fill(QPainter& painter, int x, int y, int width, int height, QColor colour, int alpha);
// Adds the amount to each channel; a channel that would leave 0..255 gets the
// amount subtracted instead.
QRgb color_shift_channels(QRgb rgb, int amount);
// Adds amount + 5 to red, the amount to green and amount - 5 to blue; a
// channel that leaves 0..255 is reflected back.
QRgb color_offset_channels(QRgb rgb, int amount);

// A click on a window's button (or treebar item): Shift closes, Ctrl
// minimises, else activates or minimises by the click rule. 0 for a stale
// record.
int switchbar_click(WindowRecord* rec, int shift, int ctrl);
// The frame was activated by a mouse click now.
void switchbar_note_click_activation();
// Alt+click on a status button: collapses or expands its group.
int switchbar_toggle_group(WindowRecord* rec);
// The group popup of a collapsed status button (windows of its connection);
// its actions activate their window. Null when it would be empty.
QWidget* switchbar_group_popup(WindowRecord* status);

// Blinking.
int switchbar_blink_wanted(WindowRecord* rec);
void switchbar_blink_start();
// Repaints when window titles change, and the blink check listens to the
// frame's one-second tick; uninstall stops both.
void switchbar_install();
void switchbar_uninstall();
void switchbar_blink_tick();
int switchbar_blink_phase();

// Sorts the window list by connection, kind and name: the order of both bars.
void winlist_sort_windows();
// What the bars do when a window is activated: its flashing stops.
void bars_activation_update(WindowRecord* rec);
// The bars follow the windows: activated (flashing stops), activity
// cleared (the switchbar repaints it), a status window's icon changed
// (both bars show it).
void bars_window_events_install();
void bars_window_events_uninstall();

// ---- The popups of the bars' empty space (switchbar, treebar, toolbar) ----

class QMenu;
// Builds the popup of a bar (BAR_SWITCHBAR, BAR_TREEBAR or BAR_TOOLBAR):
// background (and the toolbar buttons' picture), position, the treebar's
// grouping choices, lock and options. Its actions
// carry their command ids and run bar_popup_command when chosen.
QMenu* bar_popup_build(int bar, QWidget* parent);
// Runs a choice of a bar's popup; 1 when handled, else a beep and 0.
int bar_popup_command(int bar, int id);

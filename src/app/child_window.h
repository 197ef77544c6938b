// The windows of the window list and their child controls: the window widget
// of every class ("Kest_Status", "Kest_Channel", ...), its MDI frame, the text
// area with its scroll bar, one or two editboxes and the list box; their
// layout, the scroll bar upkeep, the window's system menu, showing a new
// window, activation and the MDI client.
#pragma once

#include <QColor>
#include <QRect>
#include <QWidget>

#include <cstdint>

#include "core/signal.h"
#include "display/child_layout.h"
#include "app/child_widgets.h"
#include "app/mdi_client.h"
#include "app/system_menu.h"
#include "display/window_queries.h"
#include "model/window_record.h"

class QPainter;

// ---- Windows ----

// Creates the window with the prepared class, title, position and style (see
// window_open.h): an MDI child of the MDI client, or a desktop window.
// Returns the handle or null.
QWidget* win_create_frame(WindowRecord* rec, int in_mdi);
// The border style from the option; 0 for DCC transfer windows and custom
// windows with their own frame.
int win_border_style(WindowRecord* rec);
// Shows a newly made window.
void win_show_new(WindowRecord* rec, int build_menu);
void win_bring_to_front(QWidget* hwnd);
// Paints the window's background and border.
void win_paint_frame(QWidget* hwnd, QPainter& painter, const QRect& rect);
// Status windows: icon 27 idle, 28 connecting, 29 connected, 30 registered.
void win_set_status_icon(WindowRecord* rec);
int win_status_icon_kind(Connection* conn);

// Lays the window out (reason: a size type 0..4, or 32879 full, 32880
// without repaint, 32881 editbox height check).
void win_layout(QWidget* hwnd, int reason);
// The window manager lays out the windows whose layout the display asks for.
void child_window_install();
void child_window_uninstall();

// ---- Activation and the window procedure ----

// The last activated window and the one before it.
extern WidgetRef<QWidget> win_last_activated;
extern WidgetRef<QWidget> win_previous_activated;

void win_on_activate(QWidget* hwnd);
// Focus to the last focused control, else the editbox, else the list box.
// 1 when the focus already was in an editbox or the list box.
int win_focus_input(QWidget* hwnd);
// The handling of the window's private messages (WM_APP+64, +78, +110).
intptr_t mdi_child_message(QWidget* hwnd, int message, uintptr_t wparam, intptr_t lparam);

// The window-border option (section "styles", key "thin": 0 none, 1 thin,
// 2 raised, 3 sunken).
extern int win_border_option;

// A window was activated; the user interface follows it (the bars stop
// its flashing). Fired once the window is the active one, before the
// windows that follow the active connection take its connection.
enum WindowActivatedOrder {
    kActivatedBars = 50,
};
extern Signal<void(WindowRecord* rec)> win_activated;
// The activity level of a window was cleared on its activation.
enum ActivityClearedOrder {
    kActivityClearedSwitchbar = 50,
};
extern Signal<void(WindowRecord* rec)> win_activity_cleared;
// A status window's icon changed; the kind (27 idle, 28 connecting, 29
// connected, 30 registered) is in the window's property "statusIcon".
enum StatusIconOrder {
    kStatusIconBars = 50,
};
extern Signal<void(WindowRecord* rec)> win_status_icon_changed;

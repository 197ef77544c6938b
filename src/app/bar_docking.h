// Docking of the three bars (toolbar, switchbar, treebar) on the sides of
// the main frame: the stored sides and sizes, the carving of the frame's
// client area between the bars and the MDI client, the grips and resize
// edges, the choice of a side from a mouse position and the drag that moves
// or resizes a bar.
//
// Sides are numbered 0 bottom, 1 top, 2 left, 3 right for every bar; the
// toolbar's own code numbers its top and bottom the other way round
// (0 top, 1 bottom) and converts with dock_toolbar_own_side.
#pragma once

#include <QPoint>
#include <QRect>

class QEvent;
class QWidget;

enum DockSide { DOCK_BOTTOM = 0, DOCK_TOP = 1, DOCK_LEFT = 2, DOCK_RIGHT = 3 };

// Size limits of the bars.
constexpr int kSwitchbarWidthMin = 27, kSwitchbarWidthMax = 500;
constexpr int kSwitchbarRowsMax = 9;
constexpr int kTreebarWidthMin = 24, kTreebarWidthMax = 500;
constexpr int kTreebarHeightMin = 30, kTreebarHeightMax = 500;

// ---- Stored sides and sizes ----

// The side of a bar as stored in the options; a stored value that is no
// side gives the bar's default side (toolbar and switchbar top, treebar
// left). -1 for a bar number out of range.
int dock_bar_side(int bar);
// Stores a side (0..3) for the bar; other values are refused (0), 1 when
// stored. Does not lay out the frame.
int dock_set_bar_side(int bar, int side);
// Converts between the shared numbering and the toolbar's own numbering of
// top and bottom (the same swap serves both directions); left and right are
// the same in both, anything else gives -1.
int dock_toolbar_own_side(int side);
// Whether the bar is on and shown by its option (the window need not exist).
int dock_bar_shown(int bar);
// Whether the switchbar or the treebar is shown with a window.
int dock_bars_shown();
// Bars locked: no grips, no dragging, no resizing.
int dock_bars_locked();
void dock_set_bars_locked(int locked);

// The switchbar's height at the top or bottom: one row height when there
// are no extra rows, else row height times (rows + 1) less 2 per extra row.
int dock_switchbar_height();
// The sizes of the switchbar and treebar, each clamped to its limits.
int dock_switchbar_width();
int dock_switchbar_rows();
int dock_treebar_width();
int dock_treebar_height();

// ---- The frame's layout ----

// What the layout knows of one bar: whether it takes part, its side and its
// thickness at that side (height at top/bottom, width at left/right).
struct DockBarInput {
    int present = 0;
    int side = DOCK_TOP;
    int thickness = 0;
};
struct DockLayout {
    QRect bar[3];      // empty for a bar that is not placed
    QRect client;      // what is left for the MDI client
};
// Carves the bars out of `area` in the frame's order: the toolbar at top or
// bottom; the switchbar at top or bottom (only while the toolbar is not at a
// side); the toolbar at a side; the treebar at a side (only when the
// switchbar was not placed at top or bottom); the switchbar at a side, or at
// top or bottom when the toolbar is at a side; the treebar at top or bottom,
// or at a side when the switchbar took top or bottom. Each bar takes a strip
// along its edge of what is left at that moment, so bars never overlap. In
// compact mode the treebar takes the whole area.
DockLayout dock_compute_layout(const QRect& area, const DockBarInput in[3], int compact);
// The inputs of the three bars from their windows and options.
void dock_layout_inputs(DockBarInput out[3]);
// Notes where the frame's layout placed the bars: the widget that holds
// them and its client area (in that widget's coordinates).
void dock_note_layout(QWidget* host, const QRect& area);
// The client area of the last layout.
QRect dock_layout_area();

// ---- Grips, edges, sides ----

// The grip of a bar at a side in the bar's coordinates; false when the side
// is invalid, the bar has no window, or the bars are locked.
bool dock_grip_rect(int bar, int side, QRect* out);
bool dock_point_on_grip(int bar, int side, const QPoint& p);
// The 4-pixel strip along the inner edge (switchbar and treebar only).
bool dock_resize_edge_rect(int bar, int side, QRect* out);
bool dock_point_on_edge(int bar, int side, const QPoint& p);
// The cursor shape for a side: vertical sizing for 0 and 1, horizontal for 2
// and 3, the four-way move cursor otherwise (a Qt::CursorShape value).
int dock_cursor_for_side(int side);
// The side the point (frame client coordinates, `area` the client area)
// asks for: -1 while it lies inside the bar itself (`bar_rect`) or in the
// middle third of the area in both directions; otherwise the side of the
// triangle (cut by the diagonals) it falls in.
int dock_side_at(const QRect& area, const QRect& bar_rect, QPoint p);
// Moves the bar to the side under `p` (coordinates of the MDI host) and lays
// out the frame when that side differs; 1 when it moved.
int dock_choose_side(int bar, QPoint p);
// Resize phases: 0 saves the sizes, 4 puts the saved sizes back, any other
// phase applies the drag to point `p` (bar coordinates).
void dock_resize(int bar, QPoint p, int phase);
// Paints the grip of a bar (nothing when locked).
class QPainter;
void dock_draw_grip(int bar, QPainter& painter, int side);

// ---- The drag ----

// Mouse handling shared by the bars: called from a bar's event handling for
// mouse moves and left-button presses before its own; 1 when it took the
// event (a press on the grip or edge runs the drag to its end).
int dock_mouse(int bar, QEvent* event);
// The drag state: 0 none, 1 move, 2 resize.
int dock_drag_mode();

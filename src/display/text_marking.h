// Marking a window's text with the mouse and copying it: a drag with the
// left button marks from the press point to the pointer, the painter draws
// the marked characters inverted, and the release copies them to the
// clipboard. A plain copy removes the control codes; with Ctrl held they
// stay and the format in force where the marking begins is rebuilt at its
// front. Parts of one printed line are joined; with Shift held every
// display line is a line of its own.
//
// One marking runs at a time, program-wide; its points are text-area
// coordinates, so the marked range follows the rows on screen (the view
// does not follow new text while a marking runs).
#pragma once

#include <QPoint>

#include <string>
#include <vector>

class QWidget;
class QMouseEvent;
class TextArea;
struct StringNode;
struct WindowRecord;

// One display line's marked bytes [from, to).
struct MarkedRow {
    StringNode* line;
    int from;
    int to;
};

// The marked rows between two text-area points, in buffer order (the
// points may come in either order). The first row starts at the character
// under the earlier point, the last ends with the character under the
// later one; a point below the last line counts as the end of the last
// line, one above the first line as its start. The marker line adds nothing.
void textsel_rows(WindowRecord* rec, QPoint a, QPoint b, std::vector<MarkedRow>& out);

// The text a copy of the rows gives (ctrl: codes kept and the starting
// format rebuilt; shift: every row a line of its own); empty when it would
// hold fewer than two characters.
std::string textsel_text(WindowRecord* rec, const std::vector<MarkedRow>& rows, int ctrl,
                         int shift);

// Starts or extends a marking at the point (text-area coordinates).
void textsel_mouse(QWidget* hwnd, QPoint point);
// Ends the marking (a repaint when anything was marked).
void textsel_end(QWidget* hwnd);
// Copies the marked text to the clipboard; 1 when something was copied.
// Nothing without a running marking in this window.
int textsel_copy(QWidget* hwnd, int ctrl, int shift);

// The window whose text is being marked, or null.
WindowRecord* textsel_marking_window();
// The painter's question: the marked bytes of a display line; 1 when any.
int textsel_marked_span(WindowRecord* rec, const StringNode* line, int* from, int* to);
// The text area's mouse: press, drag and release of the left button.
int textsel_text_area_mouse(TextArea* area, QMouseEvent* event, WindowRecord* rec);
// Ctrl+C in the window while it holds a marking: ends the marking at the
// pointer, copies and ends it; 1 when it did.
int textsel_ctrl_c(WindowRecord* rec);
// Ends a marking of the window (window deactivated, buffer cleared).
void textsel_end_record(WindowRecord* rec);

// Holds the lines of the window being marked (lines_held).
void textsel_install();
void textsel_uninstall();

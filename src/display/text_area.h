// The window's text area showing its lines: the paint hook that draws the
// visible lines of the buffer (with the view where the scroll position puts
// it), and display_install_hooks(), which makes the display the program's
// one output path by setting the printing seams of the other parts.
#pragma once

#include <cstdint>
#include <string>

class QPainter;
class QWidget;
class TextArea;
struct WindowRecord;

// Paints the lines of the window into its text area (the child window's
// paint hook): the part of the buffer the scroll position puts in view.
void text_area_paint_lines(TextArea* area, QPainter& painter, WindowRecord* rec);

// Renders the window's text area into an image of its size (what a repaint
// would show); a null image without a text area.
class QImage;
QImage text_area_render(WindowRecord* rec);

// Sets the display's hooks in the other parts: the text area's paint hook,
// the interpreter's echo line, the output commands' printer, the
// connections' and windows' information lines, /scid's messages, and the
// log writer that print_line calls. Start-up calls it once, before the first
// window opens; calling it again is harmless.
void display_install_hooks();

// The colour value of the interpreter's own message kinds (0 Info text, 1
// Info2 text, 2 Normal text); any other value is a colour value already.
std::uint32_t display_script_colour(int colour);

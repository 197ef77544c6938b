// The window's text area showing its lines: the paint hook that draws the
// visible lines of the buffer (with the view where the scroll position puts
// it), and the printers the program points the other parts' output at.
#pragma once

#include <cstdint>
#include <string>

struct EchoPrintOptions;
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
// A window's text painted; a script's echo and an information line in a
// window; the output commands' printer.
void text_area_paint_window(TextArea* area, QPainter& painter, WindowRecord* rec);
void text_area_script_echo(QWidget* window, const std::string& text, int colour);
void text_area_info_line(QWidget* window, const std::string& text);
void text_area_output_print(QWidget* window, int colour, const std::string& text,
                            const EchoPrintOptions& options, int kind);

// The colour value of the interpreter's own message kinds (0 Info text, 1
// Info2 text, 2 Normal text); any other value is a colour value already.
std::uint32_t display_script_colour(int colour);

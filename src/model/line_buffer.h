// A window's line buffer (its scrollback) and the one output path of the
// program: print_line prints a line into a window, echo_line frames a
// status-window line with separators, print_separator adds the separator
// line alone. Before printing, a caller may set the one-shot print options;
// they are cleared when print_line returns, whether it printed or not.
//
// A printed line is cut into display parts that fit the text area; every
// part of one printed line carries the same serial (1 to 9,000, after 9,000
// comes 1), and trimming, re-wrapping and copying treat the parts of one
// serial as one line.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/signal.h"
#include "core/string_list.h"

class QWidget;
struct WindowRecord;
struct Connection;

// ---- Display lines ----

// One display line is a string node whose words are used as follows:
//   text       the part's text with its codes (at most 4,150 characters)
//   serial     the printed line's serial
//   wrapMode   the wrap mode it was cut with (negative stored as 0; 4150 for
//              a line added uncut)
//   indent     the continuation indent in force when it was made
//   wrapWidth  the text area's width it was cut for (0: not yet cut)
//   charWidth  the window's average character width then
//   number     the colour value, resolved only when painted
//   extra[0]   on the first part, the length of the timestamp prefix; the
//              value 2 with an empty text marks the line marker
using ScrollbackLine = StringNode;

inline std::uint32_t line_colour(const ScrollbackLine* line)
{
    return static_cast<std::uint32_t>(line->number);
}
inline void line_set_colour(ScrollbackLine* line, std::uint32_t colour)
{
    line->number = static_cast<int>(colour);
}
inline int line_prefix(const ScrollbackLine* line)
{
    return static_cast<int>(line->extra[0]);
}
inline void line_set_prefix(ScrollbackLine* line, int prefix)
{
    line->extra[0] = prefix;
}
// The marker line: an empty text with the prefix word 2.
inline int line_is_marker(const ScrollbackLine* line)
{
    return line && line->text.empty() && line_prefix(line) == 2;
}

// ---- One-shot print options ----

struct PrintOptions {
    // 0: cut to the text area's width; N > 0: cut after N characters; a
    // negative mode cuts to the width and gives every part its own serial.
    int wrap_mode = 0;
    int indent = 0;          // blanks before each continuation part (at most 1,024 used)
    int beep = 0;            // 1: beep as the window's setting says (print_line sets 2 itself)
    int highlight_test = 0;  // 1: test against the highlight list; 2: without the first word
    int timestamp = 0;       // 1: timestamp when the window's setting allows
    int flash = 0;           // 1: flash when the window's setting allows
    int no_log = 0;          // 1: not written to the window's log
    int message = 0;         // 1: a message a user sent; 3: /echo -m
    std::string sender_nick; // the sender, for the highlight test
    int raise_activity = 1;  // 0: leave the window's activity level
};
extern PrintOptions print_options;

// Every option back to its resting value (raise_activity 1, the others 0).
void print_options_clear();

// ---- Serials ----

// The current serial (0 before the first line).
extern int line_serial;
// Advances the serial (after 9,000 comes 1) and returns it.
int line_serial_advance();

// ---- Output ----

// Prints a line into a window with a colour value, honouring and then
// clearing the print options. The text is cut at 4,150 characters (the
// std::string form cuts the caller's text too). A nested call (from inside
// a print) is dropped and leaves the options alone.
void print_line(QWidget* hwnd, std::string_view text, std::uint32_t colour);
void print_line(QWidget* hwnd, std::string& text, std::uint32_t colour);

// print_line framed in a status window by separators in the Info text
// colour. 0 when the handle is not a window, else 1.
int echo_line(QWidget* hwnd, std::string_view text, std::uint32_t colour);

// Adds the separator line: never into an empty buffer, never after another
// separator. Clears no_log; the other options stay for the print_line that
// usually follows.
void print_separator(QWidget* hwnd, std::uint32_t colour);

// The separator text ("text"/"linesep" of the main settings: "-" by
// default, empty for "none", a blank for "space"; at most 256 characters).
std::string display_separator_text();

// ---- The buffer ----

// Appends a display line made from the text (cut at 4,150), the current
// serial, the wrap mode (negative as 0) and indent options, the wrap width,
// the window's character width, the colour and the prefix length; then
// trims. 1, or 0 when memory runs out (nothing added).
int line_append(WindowRecord* rec, std::string_view text, int wrap_width, std::uint32_t colour,
                int prefix);

// Adds a line with a serial of its own (for /aline, /loadbuf, /filter and
// the log reload). With wrap 0 it is stored as already cut (never cut into
// parts); with wrap set the next re-wrap cuts it. With sorted 0 it goes to
// the end, otherwise before the first line that sorts after it (case
// ignored; after equal lines). Trims only with trim set. Returns the first
// line of the buffer, or null for a null text or when memory runs out.
ScrollbackLine* line_new(WindowRecord* rec, const char* text, int sorted, std::uint32_t colour,
                         int wrap, int indent, int trim);

// Keeps the buffer within the maximum number of lines (option, at least
// 500): removes the oldest printed lines, all parts of one serial together.
// Nothing happens while the view is scrolled back or while text is being
// marked with the mouse. A marker line at the top stays there.
void line_trim(WindowRecord* rec);

// The display line `steps` lines before the last (0: the last), walking
// from whichever end of the buffer is nearer; null when there is none.
ScrollbackLine* line_from_end(WindowRecord* rec, int steps);

// ---- Calls into other parts of the program ----

// What a highlight entry asks for when a line matches it.
struct HighlightMatch {
    int flash = 0;            // flash the window with the entry
    int sound_kind = 0;       // 1 the program's beep, 2 the entry's sound file
    std::string sound_file;
    int colour = 0;           // N > 0: colour value N - 1 for the whole line
    int tip = 0;              // show a highlight tip
    std::string text;         // the entry's text
    const void* entry = nullptr;
};

// What a print did, for those who follow printing. One print fires, in
// this order: kPrintCaught (before the line is stored, when URLs are caught
// for it), kPrintHighlighted (a highlight entry matched), kPrintStored (after
// each stored part; first_part on the first; the separator line is one
// part of its own), kPrintFlash (the window's
// flash setting asks for a flash).
enum PrintEvent : int {
    kPrintCaught = 0,
    kPrintHighlighted = 1,
    kPrintStored = 2,
    kPrintFlash = 3,
};
struct LinePrinted {
    PrintEvent event;
    WindowRecord* rec;
    std::string_view text;         // the line as given, without its timestamp
    std::uint32_t colour;          // the colour it is stored with
    int url_flags = 0;             // kPrintCaught: 1, or 5 when the window tracks URLs
    const HighlightMatch* match = nullptr;  // kPrintHighlighted: the entry's requests
    bool first_part = false;       // kPrintStored: the first part of the line
    bool separator = false;        // kPrintStored: the separator line alone
};
// The listeners of a print, each at the events it follows.
enum LinePrintedOrder {
    kPrintedUrls = 10,    // kPrintCaught: the URL catcher
    kPrintedFlash = 20,   // kPrintHighlighted (the entry asks) and kPrintFlash: flashing
    kPrintedTip = 30,     // kPrintHighlighted (the entry asks): the highlight tip
    kPrintedLog = 40,     // kPrintStored, first part: the window's log
    kPrintedMarker = 50,  // kPrintStored: the line marker moves after it
};
extern Signal<void(const LinePrinted& line)> line_printed;

// The listeners that react to a highlight entry's requests are told by
// kPrintHighlighted; the entry's sound plays first.
constexpr int kPrintedSound = 5;

// ---- Lines added ----

// After a print stored its lines (or the separator line alone): the
// display follows with the view, raises the window's activity and beeps.
struct LinesAdded {
    WindowRecord* rec;
    bool follow = false;  // the view was at the end and nothing holds it: it follows the lines
    int activity = 0;     // the activity kind to raise (kActivity*), 0 for none
    int beep = 0;         // 1: beep by the window's setting when it is out of view;
                          // 2: the view did not follow, beep when the window shows
    bool countdown = false;  // a query's print countdown was started
};
enum LinesAddedOrder {
    kLinesAddedDisplay = 10,  // the view, activity and beeps
};
extern Signal<void(const LinesAdded& added)> lines_added;

// A window whose lines are held still (its text being marked with the
// mouse): a listener answers 1. Held lines are not trimmed, and the view
// does not follow new ones.
enum LinesHeldOrder {
    kLinesHeldMarking = 10,  // marking text with the mouse
};
extern Signal<int(const WindowRecord* rec)> lines_held;
int line_buffer_held(const WindowRecord* rec);

// ---- Cutting to the text area ----

// One display part of a printed line.
struct WrapPart {
    std::string text;         // with its prefix or continuation indent
    int indent = 0;           // the indent in force when the part was made
};

// Cutting a printed line needs the window's fonts, which only the display
// knows: the buffer asks it. Absent: a line is one part, cut for width 0.
struct LineCutHooks {
    // The width lines are cut for in the window.
    int (*area_width)(WindowRecord* rec) = nullptr;
    // The parts of the printed line (its timestamp prefix first, `prefix`
    // bytes long) for `width`, by the print options' wrap mode and indent.
    void (*cut)(WindowRecord* rec, std::string_view whole, int prefix, int width,
                std::vector<WrapPart>& parts) = nullptr;
};
extern LineCutHooks line_cut_hooks;

// The answers a print needs from above. A null entry means that part is
// absent; the behaviour without it is given.
struct PrintHooks {
    // Matches the line against the highlight list for the window (mode 1, or
    // 2 without the first word); 1 with the entry's requests on a match.
    // Absent: nothing matches.
    int (*highlight_match)(WindowRecord* rec, const std::string& text, int mode,
                           const std::string& sender_nick, HighlightMatch* out) = nullptr;
    // Plays a sound file on the connection. Absent: silence.
    void (*play_sound)(Connection* conn, const std::string& file) = nullptr;
};
extern PrintHooks print_hooks;

// The effective beep and flash settings of a window: its own value, or for
// "default" the option of its kind.
int display_beep_setting(WindowRecord* rec);
int display_flash_setting(WindowRecord* rec);

// A node for a line of its own: the text (cut at 4,150) with the next
// serial and the colour, stored as already cut for the width (wrap 0) or
// left for the next re-wrap to cut (wrap set). Null when memory runs out.
ScrollbackLine* line_node_new(WindowRecord* rec, std::string_view text, std::uint32_t colour, int wrap,
                              int indent, int wrap_width);

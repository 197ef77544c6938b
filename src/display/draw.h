// Painting of formatted text: the control-code grammar (bold, colour,
// plain, reverse, underline and the custom windows' tab columns), the
// decoding of a window's bytes for the toolkit, the painter of a window's
// visible lines (draw_buffer) and of one free-standing formatted line
// (draw_line), and the small measuring helpers.
//
// Control codes, one byte each inside ordinary 8-bit text:
//   0x02 bold on/off        0x03 colour, followed by its digits
//   0x0F plain              0x16 reverse on/off      0x1F underline on/off
//   0x09 in custom windows only: the next tab column
// There is no italic code. A display line that continues a printed line
// starts in the format the previous part of that line ended in.
#pragma once

#include <QColor>
#include <QRect>
#include <QSize>
#include <QString>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "model/window_record.h"

class QFont;
class QFontMetrics;
class QPainter;
struct StringNode;

// ---- The control codes ----

constexpr unsigned char kCodeBold = 0x02;
constexpr unsigned char kCodeColour = 0x03;
constexpr unsigned char kCodeTab = 0x09;
constexpr unsigned char kCodePlain = 0x0F;
constexpr unsigned char kCodeReverse = 0x16;
constexpr unsigned char kCodeUnderline = 0x1F;

// 1 for the bytes that end a run of equal format (the tab is not among
// them: only custom windows give it a meaning).
constexpr int is_format_code(unsigned char c)
{
    return c == kCodeBold || c == kCodeColour || c == kCodePlain || c == kCodeReverse ||
           c == kCodeUnderline;
}

// The format in force at a point of a line: bold, underline and reverse,
// and the text and background colours as palette indexes.
struct FormatState {
    int bold = 0;
    int underline = 0;
    int reverse = 0;
    int fg = 1;
    int bg = 0;
    int darken = 0;   // draw_line's darkened background (two 0x0F in a row)
};

// A fresh state for a line whose colours default to the palette indexes.
FormatState format_state_for(int default_fg, int default_bg);

// Applies the code at text[pos] (one of the format codes) to the state and
// returns the number of bytes it takes: 1, or 1 plus the colour digits. The
// defaults are what a bare 0x03, a colour over 15 and 0x0F return to.
int format_apply_code(FormatState& st, std::string_view text, std::size_t pos, int default_fg,
                      int default_bg);

// Runs the codes of text[from, to) over the state.
void format_scan(FormatState& st, std::string_view text, std::size_t from, std::size_t to,
                 int default_fg, int default_bg);

// One run of equal format of a line.
struct FormatRun {
    std::size_t start = 0;    // byte offset in the text
    std::size_t length = 0;
    FormatState state;        // the format it is drawn in
    int tabs = 0;             // tab columns to move to before it (custom windows)
    int new_line = 0;         // it starts a new visual line (CR LF)
};

// Flags of format_split_runs.
constexpr int kRunsCustomTabs = 0x01;    // 0x09 moves to the next tab column
constexpr int kRunsNoCodes = 0x02;       // codes are ordinary characters
constexpr int kRunsCrLf = 0x04;          // CR LF starts a new visual line
constexpr int kRunsDarkenToggle = 0x08;  // two 0x0F in a row toggle a darker background

// Splits text[from, end) into the runs the painter draws: every code ends a
// run and changes the state (which ends as the format at the end of the
// text). Empty runs are left out, except a last one that carries tabs or a
// line break.
void format_split_runs(std::string_view text, std::size_t from, FormatState& st, int def_fg,
                       int def_bg, int flags, std::vector<FormatRun>& out);

// ---- Colours ----

// The toolkit colour of a palette index of the current palette.
QColor draw_palette_colour(int index);

// ---- Decoding for the toolkit ----

// The code page the window's non-UTF-8 text is in (the code page of its
// font's character set; 0 stands for the locale's code set).
int draw_window_codepage(WindowRecord* rec);

// Whether a display line of the window is painted as UTF-8: not a raw
// /debug window, the UTF-8 display setting or the window's encoding mode on,
// and the text valid UTF-8 with multibyte characters.
int draw_line_is_utf8(const WindowRecord* rec, std::string_view text);

// Bytes to text for painting and measuring: UTF-8 when utf8 is set,
// otherwise the code page (0 is the locale's code set; bytes that are not
// valid there are read as Windows-1252, the usual legacy text on IRC).
QString display_decode(std::string_view bytes, int utf8, int codepage);

// ---- Measuring ----

// Width (which 1) or height (which 2) of the first `length` bytes (-1: all)
// of the text in the font: encoding 0 the code page, 1 UTF-8.
int text_extent(const QFontMetrics& metrics, std::string_view text, int length, int encoding,
                int which, int codepage = 0);
// The same for UTF-16 text.
int text_extent(const QFontMetrics& metrics, std::u16string_view text, int which);

// The x of the next tab column of a custom window: while the index is below
// 50 and that stop is above 0, line_start_x + stop * tab unit; otherwise
// current_x + 8 tab units. The index advances by one.
int draw_tab_stop_x(const WindowRecord* rec, int line_start_x, int current_x, int* index);

// ---- Painting ----

// The window's line spacing in force: 0 none, 1 double, 3 a third of a line
// between printed lines (the window's value, or the global one for 2).
int draw_spacing(const WindowRecord* rec);

// The font a run is drawn and measured in: bold toggles the weight (a
// normal font becomes bold, any other normal), underline underlines; no
// kerning, and no shaping where the script does not need it.
QFont draw_font_variant(const QFont& base, int bold, int underline);

// The display lines in view in the area, top first, with the top of each
// one's row: the bottom line is the last line moved back by the distance of
// the scroll position from the scroll end, and lines above it follow while
// they reach into the area.
struct ShownLine {
    StringNode* line;
    int top;
};
void draw_lines_in_view(WindowRecord* rec, const QRect& area, std::vector<ShownLine>& out);

// Cuts again the lines in view that were cut for another width (and those
// that come into view meanwhile); 1 when any was. Not while the window's
// text is being marked.
int draw_recut_in_view(WindowRecord* rec, const QRect& area);

// Paints the visible lines of the window's buffer into the area (text-area
// coordinates). Without a painter the text area is asked to repaint (a
// minimised or hidden window is left alone). Lines that were cut for
// another width are cut again first. Costs in proportion to the lines in
// view.
void draw_buffer(WindowRecord* rec, QPainter* painter, const WinRect& area);

// The characters of a display line as draw_buffer lays them out from x0:
// each one's byte range [from, to) in the line's text and its x extent
// [left, right). Codes take no room; combining marks stay with the
// character before them.
struct CharBox {
    int from, to, left, right;
};
void draw_line_char_boxes(WindowRecord* rec, const StringNode* line, int x0,
                          std::vector<CharBox>& out);

// Flags of draw_line and text_measure_in_font.
constexpr int kDrawNoCodes = 0x04;        // codes are drawn as characters
constexpr int kDrawCrLfBreaks = 0x40;     // CR LF ends a visual line
constexpr int kDrawDarkenToggle = 0x100;  // two 0x0F in a row toggle a darker background

// Draws one formatted line at x, y (top of the line) inside the clipping
// rectangle in the font, with the text and background colour values
// (background mode 2 fills each run's background); selected draws in the
// system's highlight colours. With a custom window given, 0x09 moves to its
// tab columns. Returns the extent (widest visual line, total height).
QSize draw_line(QPainter& painter, const std::string& face, int size, int weight, int charset,
                int x, int y, const QRect& clip, std::string_view text, std::uint32_t text_colour,
                std::uint32_t background_colour, int background_mode, int selected, int flags,
                int utf8, WindowRecord* rec);

// Measures a formatted text in a font in an unbounded width: flags 1 width,
// 2 height (both: width low and height high 16 bits), 4 codes not
// interpreted, 0x40 CR LF breaks, 0x80 the final weight into weight_out;
// with 0x10 (and not 8) a text without codes that is not UTF-8 is measured
// directly. 0 for an empty text or face.
int text_measure_in_font(std::string_view text, const std::string& face, int size, int weight,
                         int charset, int flags, int utf8_allowed, WindowRecord* rec,
                         int* weight_out);

// ---- Calls into other parts of the program ----
//
// A null entry means that part is absent; the behaviour without it is given.
struct DrawHooks {
    // DCC transfer windows paint their transfer display. Absent: background.
    void (*transfer_paint)(WindowRecord* rec, QPainter& painter, const QRect& area) = nullptr;
    // Picture windows paint their picture. Absent: background.
    void (*picture_paint)(WindowRecord* rec, QPainter& painter, const QRect& area) = nullptr;
};
extern DrawHooks draw_hooks;

// Window fonts: every window that shows text has a font of its own (face,
// size, weight, character set and text-encoding mode), chosen per window
// kind, per named channel or query, or per custom window, and stored in the
// [Fonts] section of the main settings file. This module reads and writes
// those settings, makes a window's font with the metrics that wrapping and
// painting use (line height, wrap character width, tab unit), applies a font
// change to a window's controls, and holds the character-set table.
//
// A window's font lives in its WindowRecord: font (the QFont), font_face,
// font_size (pixels), font_weight (400 or 700), font_charset, font_encoding,
// char_width (the wrap character width), line_height and tab_unit.
#pragma once

#include <memory>
#include <string>
#include <vector>

class QFont;
class QFontMetrics;
struct WindowRecord;
class ListBox;
struct Connection;

// The font fields of a window.
struct WindowFont {
    std::string face = "FixedSys";
    int size = 12;          // character height in pixels
    int weight = 400;       // 400 normal, 700 bold
    int charset = 1;        // 1: the default character set
    std::shared_ptr<QFont> font;
    int wrap_char_width = 0;
    int line_height = 0;
    int tab_unit = 0;
    int encoding = 0;       // 0 default, 1 show UTF-8, 2 show and send UTF-8
};

// One row of the character-set table: charset number, kind (1 single-byte,
// 2 multi-byte; 0 ends the table), code page.
struct CharsetEntry {
    int charset;
    int kind;
    int codepage;
};
// The table, ended by a row of kind 0.
extern const CharsetEntry kCharsetTable[];

// Column 1: the charset's kind; any other column: its code page. 0 when the
// charset is not in the table.
int charset_codepage(int charset, int column);

// ---- Settings values ----

// Reads a [Fonts] value "face,size,charset,encoding" (the size field carries
// the weight in its hundreds: 412 normal 12, 712 bold 12; a negative size is
// in points, turned into pixels with logpixelsy). Fills face, size, weight,
// charset and encoding of out.
void font_parse_setting(const std::string& value, WindowFont& out, int logpixelsy);

// The [Fonts] value of a font: "%s,%d,%d,%d" of face, weight + size,
// charset and encoding.
std::string font_setting_text(const std::string& face, int size, int weight, int charset,
                              int encoding);

// The keys of [Fonts] tried for a window, in order, and the value used when
// none is set. A custom window with a font text of its own gives no keys and
// that text as the default.
std::vector<std::string> font_setting_keys(const WindowRecord* rec, std::string* default_value);

// The logical pixels per inch (vertical) of the screen that shows the frame,
// else of the primary screen; 96 without a display.
int font_logpixelsy();

// ---- Fonts of windows ----

// Fills face, size, weight, charset and encoding of the record from the
// settings; does not make the font.
void font_load_window(WindowRecord* rec);

// The metrics of a font from its text metrics: average and maximum
// character width and height. Wrap width: the average when it equals the
// maximum, else average * 3 / 2, at least 5; line height: height + 1 (5
// when the height is negative); tab unit: (maximum + average) / 2, at least 5.
void font_metrics_from(int ave_char_width, int max_char_width, int height, int* wrap_char_width,
                       int* line_height, int* tab_unit);
// The same from a font; false without a display.
bool font_metrics(const QFont& font, int* wrap_char_width, int* line_height, int* tab_unit);

// The toolkit font for a face, pixel size, weight and charset.
QFont font_make_qfont(const std::string& face, int size, int weight, int charset);

// Makes the window's font, measures it and stores font, face, size, weight,
// charset and the metrics in the record. False (record unchanged) when there
// is no display or no valid record.
bool font_create_for_window(WindowRecord* rec, const std::string& face, int size, int weight,
                            int charset);

// Makes sure the record has a font: reads the settings and makes it when it
// has none. 1 when the record has a font afterwards.
int font_ensure_window(WindowRecord* rec);

// After a font change: editboxes, list box (item height) and the window are
// laid out again, every display line is re-wrapped, the switchbar repaints.
void font_relayout_window(WindowRecord* rec);
// Sets the row height of a list box (its nick list or list lines) and lays
// its rows out again.
void list_set_item_height(ListBox* list, int height);

// The item height of a window's list box for its line height (spacing
// rules of list windows).
int font_list_item_height(const WindowRecord* rec, int line_height);

// Every window (custom windows only with include_custom) reads its font
// again and is remade and laid out where anything changed.
void font_reload_all(int include_custom);

// Applies a font to a window (or, with none, to a name and kind) and saves
// it. make_default writes the kind's default ("fchannel"/"fquery") and drops
// the window's own key; use_default (without make_default) drops the
// window's own key so it follows its kind. 1 on success, 0 when the window
// is gone or the font cannot be made.
int font_apply(WindowRecord* rec, const std::string& face, int size, int weight, int charset,
               int encoding, const std::string& name, int kind, int subtype, int make_default,
               int use_default);

// The charset when the face offers it, else the first the face offers, else
// (face unknown) the charset unchanged.
int font_charset_for_face(const std::string& face, int charset);

// Character height of that font on the screen (a negative size in points);
// the size itself without a display.
int font_text_height(const std::string& face, int size, int weight, int charset);

// A system font: 2 menu, 3 caption, 4 small caption, 5 status, others the
// message-box font.
std::shared_ptr<QFont> font_system_ui(int kind);

// Code page of the window's font charset; 0 when not in the table.
int font_window_codepage(WindowRecord* rec);

// Sets the multibyte code page used by painting and measuring to that of
// the charset (0 when not in the table); returns the previous one.
int font_set_mbcp(int charset);
extern int font_mbcp;

// Drops the fonts of every window (shutdown).
void fonts_free();

// The font (charset, encoding) of a message target that has no window, for
// the charset of the lines sent to it.
void font_of_target(Connection* conn, const std::string& name, int* charset, int* encoding);

// ---- Calls into other parts of the program ----
struct FontHooks {
    // Re-lays out a DCC transfer window. Absent: nothing.
    void (*dccwin_relayout)(WindowRecord* rec) = nullptr;
};
extern FontHooks font_hooks;

// The look of the frame and its windows: the language and visual-style
// settings, the screen's depth, resolution and colours, window captions as
// the toolkit shows them, and the style the bars draw their parts with.
#pragma once

#include <string>

#include "model/colors.h"

class QColor;
class QPainter;
class QRect;
class QString;
class QWidget;
struct WindowRecord;

// ---- Section "language" ----

// Reads "sjis", "multibyte", "mbed", "utf" and "linking" (an old section
// "sjis" is converted once and removed). Values that are missing or
// negative for the first three are decided from the locale's code set.
void lang_options_load();
// The code-set name the double-byte defaults are decided from (the
// locale's). Tests may set it; empty means the locale's own.
extern std::string lang_codeset_override;

// ---- Section "styles" ----

struct VisualStyleSettings {
    int thin = 1;       // window border: 0 none, 1 thin, 2 raised, 3 sunken
    int font = 1;       // the switchbar's pushed look: 1 solid lighter face, 0 stippled bold
    long color = -1;    // border colour as 0x00BBGGRR, -1 the style's own ("default")
    int size = 2;       // border size 1..5
    int buttons = 0;    // every switchbar button raised
};
extern VisualStyleSettings visual_style;

// Reads section "styles"; out-of-range values take their defaults. The
// window-border option follows "thin".
void styles_load();

// Loads the language settings and the visual style with the main settings;
// the frame's caption follows its title.
void frame_look_install();
// The two frame colours of window borders: the border colour of the
// styles settings, with a lighter shade of it, or the style's light and
// dark when that is "default".
void frame_style_colours(QColor* light, QColor* dark);

// ---- The screen ----


// ---- Captions ----

// The text a window's caption shows for its caption bytes: formatting
// codes removed, decoded as the window's lines are (UTF-8 when the display
// setting or the window's encoding says so, else its font's code page).
// A null record decodes as the frame does.
QString caption_display_text(WindowRecord* rec, const std::string& text);
// Sets a window's caption: the window and its MDI frame show the decoded
// text, the bytes are kept with the window.
void caption_set(WindowRecord* rec, const std::string& text);
// The window's caption bytes: those last set while the shown title still
// matches them, else the shown title.
std::string caption_get(WindowRecord* rec);
// The frame's title shown as captions are (after it changed).
void frame_caption_refresh();
// Repaints the caption bars of the frame's MDI windows (active and
// inactive look follow the application's activation).
void captions_repaint();
// The program's main title ("Kest" and the script's extra text).
std::string main_title();

// The focus is in a window that is neither the frame nor a window of the
// window list (a dialog, a tool window).
int focus_elsewhere();

// ---- Visual styles ----

// Binds the toolkit's style; 1 when themed drawing can be used.
int theme_load();
// Opens (or closes) the style handles of the five control classes:
// "Window", "Toolbar", "Scrollbar", "Rebar" and "Tab".
void theme_open();
void theme_close();
// The frame's theme state at creation: the handles opened and the title
// shown as captions are.
void theme_prepare();
// With no window: whether themes are on; with one: whether it draws with
// an open style.
int theme_is_on(QWidget* window);
// Draws a part of a bar in the current style (kinds 0..13: toolbar button
// pressed, hot, checked, checked-hot; scroll arrows up, up pressed, down,
// down pressed; gripper, vertical gripper; tab pane, selected left tab,
// selected tab, normal tab). 1 when drawn (also with no painter or an empty
// rectangle), 0 when themes are off, the kind is unknown or its handle is
// closed.
int theme_draw_part(QPainter* painter, const QRect& rect, int kind);

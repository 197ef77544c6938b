// Colours: the sixteen-entry palette, the thirty named colour items that
// stand between kinds of text and palette entries, the colour value every
// printer and painter passes around, the one resolver that turns a colour
// value into a palette index, and the colour schemes kept in the main
// settings file.
//
// A colour value is one 32-bit word:
//   - high half 0, low half not 99: a palette index (only 0..15 are valid);
//   - high half not 0: a colour item, the low half is the item number
//     (kColorInfoText is 0x10004);
//   - low half 99 (any high half): no colour of its own, it resolves through
//     the Listbox text item.
// Callers name items by the constants below, never by raw numbers.
//
// RGB values are kept in the form 0x00BBGGRR (red in the low byte), which is
// also the form the settings file stores; color_rgb_to_argb gives the
// toolkit's 0xAARRGGBB.
#pragma once

#include <QColor>

#include <cstdint>
#include <string>

#include "core/signal.h"

struct StringNode;
struct WindowRecord;
class QWidget;

constexpr int kPaletteSize = 16;
constexpr int kColorItemCount = 30;

// 0x00BBGGRR.
using ColorRgb = std::uint32_t;

constexpr ColorRgb color_rgb_make(int red, int green, int blue)
{
    return static_cast<ColorRgb>((red & 0xFF) | ((green & 0xFF) << 8) | ((blue & 0xFF) << 16));
}
constexpr int color_rgb_red(ColorRgb rgb) { return static_cast<int>(rgb & 0xFF); }
constexpr int color_rgb_green(ColorRgb rgb) { return static_cast<int>((rgb >> 8) & 0xFF); }
constexpr int color_rgb_blue(ColorRgb rgb) { return static_cast<int>((rgb >> 16) & 0xFF); }
// The toolkit's opaque 0xFFRRGGBB form (a QRgb).
constexpr std::uint32_t color_rgb_to_argb(ColorRgb rgb)
{
    return 0xFF000000u | (static_cast<std::uint32_t>(color_rgb_red(rgb)) << 16) |
           (static_cast<std::uint32_t>(color_rgb_green(rgb)) << 8) |
           static_cast<std::uint32_t>(color_rgb_blue(rgb));
}

// ---- Colour values of the items ----

constexpr std::uint32_t kColorItemBase = 0x10000;
constexpr std::uint32_t kColorBackground = 0x10000;     // 0 window text area background
constexpr std::uint32_t kColorActionText = 0x10001;
constexpr std::uint32_t kColorCtcpText = 0x10002;
constexpr std::uint32_t kColorHighlightText = 0x10003;
constexpr std::uint32_t kColorInfoText = 0x10004;
constexpr std::uint32_t kColorInfo2Text = 0x10005;
constexpr std::uint32_t kColorInviteText = 0x10006;
constexpr std::uint32_t kColorJoinText = 0x10007;
constexpr std::uint32_t kColorKickText = 0x10008;
constexpr std::uint32_t kColorModeText = 0x10009;
constexpr std::uint32_t kColorNickText = 0x1000A;
constexpr std::uint32_t kColorNormalText = 0x1000B;
constexpr std::uint32_t kColorNoticeText = 0x1000C;
constexpr std::uint32_t kColorNotifyText = 0x1000D;
constexpr std::uint32_t kColorOtherText = 0x1000E;
constexpr std::uint32_t kColorOwnText = 0x1000F;
constexpr std::uint32_t kColorPartText = 0x10010;
constexpr std::uint32_t kColorQuitText = 0x10011;
constexpr std::uint32_t kColorTopicText = 0x10012;
constexpr std::uint32_t kColorWallopsText = 0x10013;
constexpr std::uint32_t kColorWhoisText = 0x10014;
constexpr std::uint32_t kColorEditbox = 0x10015;        // 21 focused editbox background
constexpr std::uint32_t kColorEditboxText = 0x10016;
constexpr std::uint32_t kColorListbox = 0x10017;        // 23 list box background
constexpr std::uint32_t kColorListboxText = 0x10018;    // 24
constexpr std::uint32_t kColorGrayText = 0x10019;
constexpr std::uint32_t kColorTitleText = 0x1001A;
constexpr std::uint32_t kColorInactive = 0x1001B;       // 27 unfocused editbox background
constexpr std::uint32_t kColorTreebar = 0x1001C;        // 28 treebar background
constexpr std::uint32_t kColorTreebarText = 0x1001D;
// No colour of its own: resolves through the Listbox text item.
constexpr std::uint32_t kColorNone = 99;

// The item number of an item's colour value.
constexpr int color_item_number(std::uint32_t value) { return static_cast<int>(value & 0xFFFF); }

// ---- Palettes and items ----

struct Palette {
    ColorRgb rgb[kPaletteSize] = {};
};

struct ColorItem {
    std::string name;       // English name; commands and identifiers use it
    std::string title;      // the title shown to the user (numbered text)
    std::int32_t current = 0;
    std::int32_t edited = 0;
    std::int32_t default_index = 0;
    std::int32_t selected = 0;
};

extern Palette color_palette_current;  // what everything paints with
extern Palette color_palette_edited;   // the colours dialog's working copy
extern Palette color_palette_default;  // the default table, made at start-up
extern ColorItem color_items[kColorItemCount];

// Bits per pixel of the screen, kept by color_items_init: the screen of the
// window the user works in, else the primary screen; 8 without a screen.
extern int color_screen_depth;

// System colours kept for drawing the colours dialog: button text, button
// face, button shadow, button highlight, window frame, active border, 3D
// light, 3D dark shadow.
extern ColorRgb color_system_colors[8];

// ---- Operations ----

// Any colour value to a palette index 0..15 of the current palette: a bad
// item number counts as the Background item, a bad index as 0.
int color_resolve(std::uint32_t value);

// The RGB of a colour value in the current palette.
ColorRgb color_rgb(std::uint32_t value);

// The default RGB of a palette index (black outside 0..15), after the
// nearest-colour mapping of the screen when there is one.
ColorRgb color_default_rgb(int index);

// The first item (in item order) whose English name begins with the text,
// case ignored; -1 when none. An empty text gives 0.
int color_item_by_name(const std::string& text);

// Start-up, once before any window is made: screen depth, system colours,
// item names, titles and defaults, and the default palette.
void color_items_init();

// Brings the editbox and list backgrounds up to date: index 0 the focused
// editbox (Editbox item), 1 the unfocused editbox (Inactive item), 2 the list
// box (Listbox item), 3 the button face (system colour). Each is remade only
// when its RGB changed.
struct ColorBrush {
    ColorRgb rgb = 0;
    int made = 0;         // 1 once made
    int generation = 0;   // raised each time it is remade
};
constexpr int kBrushEditFocused = 0;
constexpr int kBrushEditUnfocused = 1;
constexpr int kBrushList = 2;
constexpr int kBrushButtonFace = 3;
extern ColorBrush color_brushes[4];
void color_brushes_update();
// Drops the four brushes (shutdown).
void color_brushes_free();

// After a change of the current palette or items: brings the brushes up to
// date and tells those who paint (colours_applied).
void color_apply_all();

// Marks item k (0 when k is outside 0..29) as the one selected item.
void color_item_select(int k);

// A script's colour number to a colour value: 0..15 and the items' values
// stay, 99 is the Listbox text item (so it follows the scheme), anything
// else becomes the palette index the resolver gives it.
int color_resolve_number(long long value);

// ---- Colour schemes ----
//
// A scheme is one string node: text "name,i0,i1,...,i29" (item indexes),
// second text the sixteen RGB values as decimal numbers, number 1 on the one
// current scheme. The global list is kept sorted by name (case ignored).

extern StringNode* color_schemes;

// The default scheme name: numbered text 1352, else "Kest Classic".
std::string color_default_scheme_name();

// Loads the scheme list from [colors]/[palettes] (folding the older
// [colours]/[rgb] form in, writing the five built-in schemes when none is
// stored), applies the [text] "theme" scheme to the current column and
// repaints.
void color_load();

// Writes [text] "theme" and every scheme's lines, then removes stale keys.
void color_save();

// Loads and saves the colours with the main settings.
void colors_install();

// Frees the scheme list (shutdown).
void color_schemes_free();

// A new one-node scheme list named by the text (up to its first comma,
// blanks collapsed) from column 0 (defaults), 1 (current) or 2 (edited);
// null for an empty name or a bad column.
StringNode* color_scheme_text(const std::string& name, int column);

// Mode 0: the scheme whose name equals the name's part before its first
// comma (case ignored). Mode 1: the current scheme, its name copied into
// `name`; when none is current the first scheme of the global list becomes
// current. Null when nothing matches.
StringNode* color_scheme_find(StringNode* list, std::string& name, int mode);

// Makes the scheme (the list's first when null) current and reads its
// indexes and palette into column 1 (current) or 2 (edited), starting from
// the defaults.
void color_scheme_apply(StringNode* list, StringNode* scheme, int column);

// The colour a screen of `depth` bits shows for `rgb`: exact from 24 bits,
// 5 bits a channel at 15, 5-6-5 at 16, else the nearest of the 16 standard
// colours. Always 1.
int colour_nearest_at_depth(ColorRgb rgb, int depth, ColorRgb* out);
// The colour the screen shows for `rgb`, at the depth color_items_init kept.
ColorRgb color_nearest_on_screen(ColorRgb rgb);

// The current palette or items changed (color_apply_all): those who paint
// with them paint again, in this order.
enum ColoursAppliedOrder {
    kColoursAppliedBars = 10,     // the toolbar, the switchbar and the treebar
    kColoursAppliedWindows = 20,  // every window's background, text, editboxes and list
};
extern Signal<void()> colours_applied;

// The child windows' palette entry and a window's background colour.
QRgb colour_palette_rgb(int index);
QColor colour_window_background(WindowRecord* rec);

// A window's contents as numbered lines, the way the window line commands
// and $line see them: the printed lines of a text window (every display
// part of one serial is one line, counted from 1) and the items of a
// window's list box (counted from 1), with their colours and selection.
//
// Finding printed line N walks the buffer from the nearest known place: its
// first line, its last line or the line the previous call ended on, so a
// script that walks a window line by line pays for the distance it moves,
// not for the window's length.
#pragma once

#include <cstdint>
#include <string>

#include "core/signal.h"

struct StringNode;
struct WindowRecord;

// ---- Printed lines of a text window ----

// Number of printed lines.
int wl_text_count(WindowRecord* rec);
// The first display part of printed line n (from 1), or null.
StringNode* wl_text_line(WindowRecord* rec, int n);
// The whole text of the printed line that begins with the part (its parts
// joined, continuation indents dropped).
std::string wl_text_joined(const StringNode* first);
// 1 when a printed line's whole text equals the text.
int wl_text_find(WindowRecord* rec, const std::string& text);

// Appends (or, sorted, inserts in order) a printed line; wrap 1 leaves the
// cutting to the next re-wrap. 1, or 0 when memory runs out.
int wl_text_add(WindowRecord* rec, const std::string& text, std::uint32_t colour, int sorted,
                int wrap, int indent);
// Inserts a printed line before printed line n; beyond the end it appends.
int wl_text_insert(WindowRecord* rec, int n, const std::string& text, std::uint32_t colour,
                   int wrap, int indent);
// Replaces the text and colour of printed line n: its wrapped parts go and
// the line is cut again when painted. 0 when there is no line n.
int wl_text_replace(WindowRecord* rec, int n, const std::string& text, std::uint32_t colour);
// Deletes printed lines n to m (m below 0: to the end); the count deleted.
int wl_text_delete(WindowRecord* rec, int n, int m);
// Sets the colour of every part of printed line n; 0 when there is none.
int wl_text_set_colour(WindowRecord* rec, int n, std::uint32_t colour);
// Puts the view on printed line n; 0 when there is none.
int wl_text_view(WindowRecord* rec, int n);
// After a change: the scroll range again (the view stays at the bottom when
// it was there, or goes there with follow) and a repaint.
void wl_text_changed(WindowRecord* rec, int was_at_bottom, int follow);
// 1 when the view shows the newest lines.
int wl_text_at_bottom(const WindowRecord* rec);
// Re-cuts the lines that were cut for another width.
void wl_text_rewrap(WindowRecord* rec);

// ---- List boxes ----
//
// The list box of a list-box window, or a text window's side list box.
// Colours are colour values kept with the item and painted with it.

// 1 when the window has a list box.
int wl_list_exists(WindowRecord* rec);
int wl_list_count(WindowRecord* rec);
std::string wl_list_text(WindowRecord* rec, int n);
std::uint32_t wl_list_colour(WindowRecord* rec, int n);
int wl_list_selected(WindowRecord* rec, int n);
// Index (from 1) of the item equal to the text (case kept), or 0.
int wl_list_find(WindowRecord* rec, const std::string& text);
// Adds an item at n (from 1; 0 or beyond the end appends; a sorted list
// puts it in order). Returns the item's place, or 0.
int wl_list_insert(WindowRecord* rec, int n, const std::string& text, std::uint32_t colour);
// Deletes items n to m (m beyond the end: to the end); the count deleted.
int wl_list_delete(WindowRecord* rec, int n, int m);
void wl_list_set_colour(WindowRecord* rec, int n, std::uint32_t colour);
// Selection of item n: mode 0 only it, 1 added, 2 deselected, 3 the caret
// alone moves there.
void wl_list_select(WindowRecord* rec, int n, int mode);
void wl_list_deselect_all(WindowRecord* rec);
void wl_list_clear(WindowRecord* rec);
// Fits the horizontal extent to the widest item.
void wl_list_fit_extent(WindowRecord* rec);

// ---- Clearing ----

// Clears a window's text: its activity level goes, a list-box window empties
// its list (with list_only a side list box alone), and status, channel,
// query, finger and custom text windows free their lines, move the line
// marker below the empty buffer and redraw. A marking under way ends.
void win_clear_buffer(WindowRecord* rec, int list_only);
// A picture window is cleared by its picture code: its back buffer takes
// the background colour (fired by win_clear_buffer).
enum PictureClearOrder {
    kPictureClearWindows = 50,
};
extern Signal<void(WindowRecord* rec)> win_picture_clear_asked;

// ---- A channel's nick list ----

// The nick on row n (from 1) of the channel's nick list, without its
// prefix characters; empty when there is none.
std::string wl_nick_at(WindowRecord* rec, int n);
// Gives the nick a colour (0..15, 99 none) with a mode (0 none, 1 colour,
// 2 colour with the m mode) in every channel window of the connection.
void wl_nick_colour(WindowRecord* rec, const std::string& nick, int colour, int mode);
// Selects the nick in the channel's nick list: mode 0 only it, 1 added, 2
// deselected. 0 when the nick is not in it.
int wl_nick_select(WindowRecord* rec, const std::string& nick, int mode);

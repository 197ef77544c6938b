// The bars' own tooltip: one small popup (class "Kest_ToolTip") that shows
// after a short delay beside the mouse, in the tooltip colours and the
// status-bar font, with the program's control codes (bold, colours,
// underline, reverse) interpreted. There is at most one at a time.
//
//   tooltip_show("Connect", button_number, TOOLTIP_OWNER_TOOLBAR);
//   tooltip_show(label, item_id, TOOLTIP_OWNER_WINDOW, tree_widget);
//   tooltip_destroy();        // a button press, a menu, the mouse left
#pragma once

#include <cstdint>
#include <string>

class QWidget;

enum TooltipOwner {
    TOOLTIP_OWNER_TOOLBAR = 0,
    TOOLTIP_OWNER_SWITCHBAR = 1,
    TOOLTIP_OWNER_WINDOW = 2,
};

constexpr int kTooltipTextMax = 4200;   // characters kept of a request
constexpr int kTooltipShownMax = 256;   // longer texts are cut and end in "..."

// Asks for a tip over an owner's item. Owner kinds 0 (the toolbar) and 1
// (the switchbar) take the bar's window; kind 2 takes `window`. The item key
// tells the owner's items apart. Any other kind, or an empty text, removes
// the tip. Returns the delay set in milliseconds (500 after a pause, 100
// while a tip shows or soon after the last request), or 0 when nothing was
// set.
int tooltip_show(const std::string& text, std::intptr_t item_key, int owner_kind, QWidget* window = nullptr);
// Hides the tip window without destroying it.
void tooltip_hide();
// Stops the tip's timer, destroys its window and forgets the owner.
void tooltip_destroy();
// Whether the tip may stay: false (and the tip is removed) while a mouse
// button is held, when the owner's top window is not the active one, or the
// mouse is not over the owner.
bool tooltip_check();

// ---- State, for the bars and their tests ----

// The tip window (null while there is none), whether it is shown, its owner,
// item key, text as it will be shown, and the countdown to showing it (0
// when none runs).
QWidget* tooltip_window();
bool tooltip_visible();
QWidget* tooltip_owner();
std::intptr_t tooltip_item_key();
const std::string& tooltip_text();
int tooltip_countdown();
// One 100 ms step of the tip's timer (the timer calls it).
void tooltip_tick();
// Where a tip of the size goes for a cursor position and an owner side
// (0 bottom, 1 top, 2 left, 3 right), kept inside `work` horizontally.
void tooltip_place(int side, int cursor_x, int cursor_y, int width, int height, int work_left,
                   int work_right, int* x, int* y);
// Cuts and tidies a text as the tip shows it: at most 256 characters then
// "...", runs of the plain code (0x0F) removed at the ends and made single
// inside.
std::string tooltip_prepare_text(const std::string& text);

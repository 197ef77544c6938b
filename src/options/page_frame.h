// The page frame of dialogs with pages: list box 101 holds one caption per
// page (its selection is the current page); the controls of the current
// page are shown in the page area, control 102, and the others hidden. A
// page's controls carry consecutive ids from its first control id on; the
// first id without a control ends the page.
#pragma once

#include <QPoint>

#include <string>

class QListWidget;
class QPainter;
class QWidget;

constexpr int kPagesMax = 50;
// Controls collected when a page is shown, and when one is hidden for
// another dialog than the last one served.
constexpr int kPageShowControlsMax = 45;
constexpr int kPageHideControlsMax = 100;

struct OptionsPage {
    std::string caption;          // the page's name in list 101 (256 characters)
    QWidget* tab = nullptr;       // the page's tab, or the dialog itself without a strip; null ends the pages
    int first_control = 0;        // the page's controls: consecutive ids from here
    int x_offset = 0;             // added to the centred place of the page's controls
    int y_offset = 0;
    int style_flags = 0;          // the options dialog keeps its tree flags here
    int strip = 0;                // the dialog draws a strip of tabs (first entry)
    int help_topic = 0;
    int switch_controls = 1;      // selecting a page shows its controls (first entry)
    int first_visible_tab = 0;    // the strip's scroll position (first entry)
};

// An index outside 0 .. 49 is taken as 0.
int pagelist_index(int index);

// With `already_selected` 0: takes the selection of list 101 as the new
// current page, hiding the previous page (no selection: the error beep,
// nothing changes); then shows the current page. Nothing while the dialog
// is minimised.
void pagelist_show_page(QWidget* dialog, int already_selected, OptionsPage* pages, int* current);
// Selects the row of list 101 as if the user chose it.
void pagelist_select(QListWidget* list, int index);
// The selection of list 101 changed: shows the selected page unless it is
// the current one already.
void pagelist_notify(QWidget* dialog, OptionsPage* pages, int* current);
// Shows (1) or hides (0) the controls of the page at the index.
void pagelist_switch_controls(QWidget* dialog, int show, OptionsPage* pages, int index);
// Direction 1 turns the first hidden-mnemonic marker of the control's text
// into "&", direction 0 the first "&" into the marker; 1 when changed.
int pagelist_toggle_mnemonic(QWidget* control, int direction);
// Whether the mnemonic toggling leaves the control's text alone: some
// controls of the options dialog, and edit fields holding text.
bool pagelist_keeps_text(QWidget* control);

// The strip of tabs, for dialogs that draw one (the strip flag of the first
// entry): each page's tab window is a child of the dialog whose rectangle
// is the tab's place along the top of the page area. Laying out places the
// tabs left to right from the area's left edge, each as wide as its caption
// and "WW", and adds a scroll bar (control 103) at the area's right end
// when they do not fit; with `keep_selected_visible` the strip scrolls so
// that the selected page's tab is whole.
void pagelist_layout(QWidget* dialog, OptionsPage* pages, int keep_selected_visible);
// A left click at the point (dialog coordinates): 1 when it hit a tab (a
// tab counts 2 pixels higher than it is), whose page is then selected and
// shown; 0 otherwise.
int pagelist_click_page(QWidget* dialog, QPoint pos, OptionsPage* pages, int* current);
// Draws the strip and the page area's border; a dialog with a strip calls
// it from its paint event after its own painting.
void pagelist_paint(QWidget* dialog, QPainter& painter, OptionsPage* pages, int current);
// Asks the dialog to paint again (an index outside the pages is the first).
void pagelist_repaint(QWidget* dialog, OptionsPage* pages, int* current);

// Marks a dialog as the options dialog for the frame's rules of it.
void pagelist_mark_options_dialog(QWidget* dialog);

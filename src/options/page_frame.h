// The page frame of dialogs with pages: list box 101 holds one caption per
// page (its selection is the current page); the controls of the current
// page are shown in the page area, control 102, and the others hidden. A
// page's controls carry consecutive ids from its first control id on; the
// first id without a control ends the page.
#pragma once

#include <string>

class QListWidget;
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

// Marks a dialog as the options dialog for the frame's rules of it.
void pagelist_mark_options_dialog(QWidget* dialog);

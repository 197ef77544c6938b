// The colours dialog (Alt+K): edits the current scheme's thirty items and
// sixteen palette colours on a working copy of the scheme list, which
// replaces the program's list only when the dialog is confirmed.
#pragma once

#include <string>

class QDialog;
class QMenu;
class QWidget;
struct StringNode;

// Opens the dialog (once; a second request while it is open beeps). 1 when
// it opened, 0 when it was open already.
int color_dialog_open(QWidget* parent);
// The frame's menu command: the dialog over the main window; 0 without a
// beep when it is open already (the command beeps).
int color_dialog_open_from_frame();
// The open dialog, or null.
QDialog* color_dialog();

// The dialog's steps, as its controls run them.
// The working list while the dialog is open.
StringNode* color_dialog_working_list();
// Selects an item (0..29) for editing.
void color_dialog_select_item(int item);
// Gives the selected item the palette index (0..15).
void color_dialog_set_index(int index);
// Sets a palette entry's colour (0x00BBGGRR).
void color_dialog_set_rgb(int index, unsigned rgb);
// Chooses a scheme of the working list by name.
void color_dialog_choose_scheme(const std::string& name);
// Adds a scheme from the edited colours; 0 when the name is empty or taken
// (the message text 1351 is shown then).
int color_dialog_new_scheme(const std::string& name);
// Deletes the chosen scheme.
void color_dialog_delete_scheme();
// Back to the default items and palette.
void color_dialog_reset();

// The colour-index popup of an input box (Ctrl+K): sixteen numbered
// swatches just above the box; a click inserts the number at the caret the
// colour code left and closes it. The box keeps the keyboard focus.
void color_subdlg_open(QWidget* editbox, int mode);
void color_subdlg_close();
// The open popup, or null.
QWidget* color_subdlg();

// The colour-schemes popup: one item per scheme, named by it and ticked
// when it is the current one, with ids from 7000 upward; after the
// twentieth, "Daha Çok..." (id 6999) ends it; without schemes a greyed
// "HiçBiri" stands alone.
void menu_build_schemes_popup(QMenu* menu);
// A choice of that popup: 6999 opens the colours dialog; 7000 and up make
// that scheme current, repaint every window and save. 1 when the id was one
// of the popup's.
int menu_scheme_command(int id);

// The script editor: one modeless window in which the user edits the loaded
// alias, popup, script, users and variables files. Five views (tabs) share
// one edit control; switching stores the text of the file being left and
// shows the next. OK saves everything; Cancel reads back what was changed.
// A file too large for the edit control opens read-only, so that the part
// shown can never be saved in place of the whole file.
#pragma once

#include "tools/script_editor_files.h"

#include <string>

class QPlainTextEdit;
class QTabBar;
class QWidget;

// Opens the editor at a view (a number outside 0..4 is 0), or brings it up
// and shows that view. Returns the editor window.
QWidget* editor_open(int view);
// The open editor, or null.
QWidget* editor_window();
// 1 when the focus is in the editor or the editor is the active window.
int editor_has_focus();
// The view shown (-1 when closed).
int editor_view();
// The file shown in the open editor.
EditorFile editor_shown_file();
// The edit control and the tab bar of the open editor (null when closed).
QPlainTextEdit* editor_edit();
QTabBar* editor_tabs();
// Stores the shown text into its file (when changed and not read-only).
void editor_store_shown();
// Shows a file of the current view (the edit control's text is stored first).
void editor_show_file(const EditorFile& file);
// OK: store, save every changed file and the lists, close.
void editor_ok();
// Cancel: read the changed files back from disk, close.
void editor_cancel();
// The status line texts: the path (control 301) and the caret (302).
std::string editor_status_path();
std::string editor_status_caret();

// The smart Home key's target column in a line, from the caret's column.
int editor_home_column(const std::string& line, int column);
// The leading spaces a new line takes from the line at the caret (empty
// when the caret lies within them).
std::string editor_enter_indent(const std::string& line, int column);

// What the frame and the stores ask of the editor: open?, the main window's
// exit (acts as Cancel), OK, whether a top-level window is a tip or the
// editor, whether the variables view is shown.
int script_editor_is_open();
void script_editor_ask_close();
void script_editor_close_ok();
int script_editor_is_tip_or_editor(QWidget* top);
int script_editor_shows_variables();

void script_editor_install();
void script_editor_uninstall();

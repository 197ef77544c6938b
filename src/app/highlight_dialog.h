// The dialog that adds or edits one highlight entry. It works on an entry
// in list form: the words, a tab, then the settings value of the entry (the
// form the highlight list shows).
#pragma once

#include <string>

class QDialog;
class QWidget;

// Runs the dialog modally over the parent. An empty exchange text adds a
// new entry; otherwise the text fills the controls (a text without a tab or
// without words closes the dialog at once with the error sound). On OK the
// exchange text is the edited entry in list form and 1 is returned; Cancel
// and the close box return 0 and leave it unchanged.
int highlight_edit_dialog(QWidget* parent, std::string& exchange);

// The open dialog, or null.
QDialog* highlight_edit_dialog_open();

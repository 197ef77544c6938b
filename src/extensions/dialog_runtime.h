// Script dialogs at run time: the dialog window, opening (/dialog for
// modeless dialogs, $dialog for modal ones that return a value), the
// "DIALOG" event with its sub-events, and closing.
#pragma once

#include <QDialog>

#include <string>

#include "extensions/dialog_tables.h"

class QMenuBar;

// Where the dialogs listen: a freed connection hands its dialogs to its
// replacement; at program end every dialog goes.
constexpr int kRepointDialogs = 30;
constexpr int kFreeScriptDialogs = 85;

// The window of one script dialog: an optional menu bar over a client
// area that holds the table's controls at their places.
class ScriptDialogWindow : public QDialog {
public:
    ScriptDialogWindow(ScriptDialog* d, QWidget* parent);
    ScriptDialog* record() const { return dialog_is_live(d_) ? d_ : nullptr; }
    QWidget* client() const { return client_; }
    // The dialog's menu bar, made on first use.
    QMenuBar* menu_bar();
    // Connects a new control's notifications to the event step.
    void wire(DialogControl& c);
    // The client size, as the table's "size" line gives it.
    void set_client_size(int w, int h);

protected:
    void showEvent(QShowEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void changeEvent(QEvent* e) override;
    bool eventFilter(QObject* o, QEvent* e) override;
    void reject() override;

private:
    void mouse(QEvent* e);
    void list_press(DialogControl& c, QMouseEvent* m);
    ScriptDialog* d_;
    QWidget* client_;
};

// Raises one sub-event of the dialog for the control (table id, 0 for the
// dialog itself), then closes the dialog when the control is its ok or
// cancel control. Returns 1 while the dialog still exists.
int dialog_event(ScriptDialog* d, const char* sub_event, int id);
// The ok (1) or cancel (2) command, as Enter and Escape give it.
void dialog_command(ScriptDialog* d, int which);
// Ends the dialog: the variables receive their controls' values, "close"
// fires (unless quiet) and the window goes (a modeless record with it).
void dialog_end(ScriptDialog* d, int code);

// Every dialog that follows the active connection takes the current one.
void dialogs_follow_current_conn();

// The commands /dialog, /did and /didtok and the identifiers $dialog,
// $did, $didwm, $didreg, $didtok, $dbuw and $dbuh.
void dialogs_install();
void dialogs_uninstall();

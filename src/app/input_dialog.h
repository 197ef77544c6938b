// The one modal message and input dialog: a prompt with an icon and a
// choice of buttons, optionally an edit box, a password box or an editable
// drop-down list, and optionally a count-down after which it closes as if
// cancelled. Scripts reach it through $input and $?, the rest of the
// program through input_dialog_run.
#pragma once

#include <string>
#include <vector>

class QWidget;

// Flag bits of the dialog (the $input letters in brackets).
enum InputDialogFlags : int {
    kInputEdit = 1,          // e: an edit box
    kInputPassword = 2,      // p: a password box
    kInputOkOnly = 4,        // o: one button "Tamam"
    kInputYesNo = 8,         // y: "&Evet" and "&Hayır"
    kInputYesNoCancel = 16,  // n: "&Evet", "&Hayır", "İptal"
    kInputNamedValues = 32,  // v: named results ($ok, $yes ...)
    kInputInfoIcon = 64,     // i
    kInputQuestionIcon = 128,  // q
    kInputWarningIcon = 256,   // w
    kInputErrorIcon = 512,     // h
    kInputOwnerWindow = 1024,  // s: the third argument names the owner
    kInputForeground = 2048,   // a
    kInputOwnIcon = 4096,      // t
    kInputRetry = 8192,        // r: "&Tekrar" and "İptal"
    kInputRightButtons = 16384,  // g
    kInputShellIcon = 32768,     // c
    kInputPlaySound = 65536,     // d
    kInputList = 131072,         // m: an editable drop-down list
};

struct InputDialogParams {
    QWidget* owner = nullptr;
    std::string title;
    std::string prompt;
    std::string default_text;   // the edit box's text, or the list entry to select
    std::string answer;         // the edit box's text when confirmed (at most 1,024 characters)
    int flags = 0;
    std::vector<std::string> items;   // the drop-down list
    int placement = 0;          // 1: over the active child window; else over the owner
    int timeout = 0;            // seconds; 0 none; -1 after the time ran out
};

// Shows the dialog and waits. 1 for OK, Yes or Retry; 2 for "&Hayır" of a
// Yes/No/Cancel dialog; 0 for Cancel, "&Hayır" of Yes/No, the close box and
// a time-out (then timeout is -1); -1 when it cannot be made.
int input_dialog_exec(InputDialogParams& params);

// The program's questions: type 3 OK only, 4 Yes/No, 5 Yes/No/Cancel, 6
// Retry/Cancel, any other type only with an answer (OK/Cancel and an edit
// box holding the answer's text); kind 0 no icon, 1 information, 2
// question, 3 warning, 4 error, 5 the program's icon, 6 the shell icon.
// Returns as input_dialog_exec, or 0 at once for a type or kind it does not
// know.
int input_dialog_run(QWidget* owner, const std::string& title, const std::string& prompt, std::string* answer,
                     int type, int kind, int foreground, int placement, int right_buttons, int play_sound);

// The folder and file selection of $sdir (kind 0), $dir (1), $file (4) and
// $hfile (5, hidden files shown): the path chosen, empty when cancelled.
// Returns 1 chosen, 0 cancelled, -1 when it cannot be made.
int select_dialog_run(QWidget* owner, int kind, const std::string& prompt, std::string& out);

// The dialog being shown, or null (the message loop hands it its keys).
QWidget* input_dialog_current();

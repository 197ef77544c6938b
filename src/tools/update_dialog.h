// The update dialog: the result of a check (or a check started at once),
// the package download with its progress bar, and the end of it. The
// program never runs or installs a downloaded package: once it is there,
// the dialog shows its folder.
#pragma once

// The dialog's template.
constexpr int kUpdateDialogTemplate = 870;

// Opens the dialog modally: param 1 shows the finished result, 0 starts a
// forced check at once. 0 when it is already open.
int update_dialog_open(int param);
// 1 while the dialog is open.
int update_dialog_is_open();
// Shows the state of the check in the open dialog (nothing when closed).
void update_dialog_show_result();

void update_dialog_install();
void update_dialog_uninstall();

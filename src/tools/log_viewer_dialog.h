// The log viewer window: folder, sort order, search with its history, the
// list of log files and the show, merge, rename and delete buttons.
#pragma once

class QDialog;

// Builds the viewer (not shown); the caller owns it. Exposed for tests.
QDialog* logview_dialog_create(const char* log_dir);

// Opens the viewer over the log folder (modal). 1 when it was shown.
int logview_dialog_open();

// The DCC pages of the options dialog.
#pragma once

#include <string>

class QWidget;

// How the file-server page asks for its home folder (starting in the
// given folder), its welcome file (a text file in the given folder) and the
// confirmation of a chosen home folder; an empty text when nothing was
// chosen. They default to the desktop's dialogs; tests answer here.
extern std::string (*pages_dcc_pick_folder)(QWidget* owner, const std::string& start);
extern std::string (*pages_dcc_pick_file)(QWidget* owner, const std::string& folder);
extern bool (*pages_dcc_confirm)(QWidget* owner, const std::string& caption, const std::string& text);

void pages_dcc_install();
void pages_dcc_uninstall();

// The Folders, Ignore and DCC server pages (pages_dcc_install installs them).
void pages_dcc_folders_install();
void pages_dcc_folders_uninstall();
void pages_dcc_ignore_install();
void pages_dcc_ignore_uninstall();
void pages_dcc_server_install();
void pages_dcc_server_uninstall();

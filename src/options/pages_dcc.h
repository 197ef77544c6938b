// The DCC pages of the options dialog.
#pragma once

void pages_dcc_install();
void pages_dcc_uninstall();

// The Folders, Ignore and DCC server pages (pages_dcc_install installs them).
void pages_dcc_folders_install();
void pages_dcc_folders_uninstall();
void pages_dcc_ignore_install();
void pages_dcc_ignore_uninstall();
void pages_dcc_server_install();
void pages_dcc_server_uninstall();

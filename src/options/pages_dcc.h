// The DCC requests, completion and file-server pages of the options dialog.
#pragma once

void pages_dcc_install();
void pages_dcc_uninstall();

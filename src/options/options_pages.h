// The connection and IRC pages of the options dialog, their small
// dialogs, and the program's own server list for a first start.
#pragma once

void options_pages_install();
void options_pages_uninstall();

// The Connection page of the options dialog.
#pragma once

void page_connect_install();
void page_connect_uninstall();

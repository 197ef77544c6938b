// The Servers page of the options dialog.
#pragma once

struct ServerListEdit;

void pages_servers_install();
void pages_servers_uninstall();

// The list as the open page edits it.
const ServerListEdit& servers_page_list();

// The pages of the IRC group of the options dialog (IRC, Options,
// Messages, Catcher, Logging, Flood): their templates and what they read
// and write, registered with the options dialog.
#pragma once

void pages_irc_install();
void pages_irc_uninstall();

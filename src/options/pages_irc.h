// The pages of the IRC group of the options dialog (IRC, Options,
// Messages, Catcher, Logging, Flood): their templates and what they read
// and write, registered with the options dialog.
#pragma once

void pages_irc_install();
void pages_irc_uninstall();

// Writes the five switches of section "language" ("%d", 1 on, 0 off).
void lang_options_save();

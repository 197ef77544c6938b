// The Display, Display Options, Other and Mouse pages, and the Sounds and
// Requests pages of the options dialog.
#pragma once

void pages_display_install();
void pages_display_uninstall();
void pages_sounds_install();
void pages_sounds_uninstall();

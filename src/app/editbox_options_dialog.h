// The second input box's options for one channel window: whether it is
// there, when it shows, its command, and whether the choice is the
// channel's own or everyone's default.
#pragma once

#include <string>

struct EditboxSettings;
struct WindowRecord;

// How the dialog's choice is stored.
enum EditboxStoreMode {
    kEditboxStoreChannel = 0,  // [editbox] <channel>
    kEditboxStoreDefault = 1,  // [editbox] default, the channel's key removed
    kEditboxUseDefault = 2,    // the channel's key removed
};

// The mode characters and the command as the dialog keeps them: no
// formatting codes, no quotes (the mode characters no commas either), no
// blanks at the ends and no runs of blanks.
std::string editbox_clean_mode_chars(std::string text);
std::string editbox_clean_command(std::string text);

// Every channel window loads its settings again and re-creates its boxes.
void editbox_reload_channels();

// Stores the settings for the channel window as the mode says and lays the
// affected windows out again at once.
void editbox_options_store(WindowRecord* rec, const EditboxSettings& s, int mode);

// Shows the dialog for a channel window (anything else beeps) and stores the
// choice on OK. 1 on OK, 0 otherwise.
int editbox_options_dlg(WindowRecord* rec);

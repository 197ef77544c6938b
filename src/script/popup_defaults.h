// The popups a new user finds: at the first start, when no popup file is
// listed in the main settings file and the settings folder holds no
// "popups.ini", that file is written with the program's own everyday
// items for the status window, channels, queries, the nick list and the
// menu bar. A user's file is never touched.
#pragma once

#include <string>
#include <vector>

// The default lines of a popup kind (0 status .. 4 menu bar); empty for
// any other kind.
const std::vector<std::string>& popup_default_lines(int kind);

// Writes "popups.ini" in the settings folder with the default lines of
// kinds 0..4, unless section "pfiles" of the main settings file names any
// popup file or the file already exists. 1 when the file was written.
int popup_files_write_defaults();

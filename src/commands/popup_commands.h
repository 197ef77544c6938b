// The popup files as the script file commands reach them: /load -p and
// /save -p with the view letter (s status, c channel, q query, n nick list,
// m menu bar).
#pragma once

#include <string>

// Loads the file for the view's popup kind, replacing the loaded one, and
// writes the list. 1 on success.
int popup_command_load(int view, const std::string& path);
// Saves the view's popup file under the path. 1 on success.
int popup_command_save(int view, const std::string& path);

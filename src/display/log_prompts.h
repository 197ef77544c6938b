// The questions of logging: the file a window logs to (a save dialog opened
// on the log folder) and the step that puts a merged log in place.
#pragma once

#include <string>

// The save dialog for a window's log file: title, the proposed path (its
// folder opened, its name preselected). The chosen path, empty when
// cancelled.
std::string log_prompt_file(const std::string& title, const std::string& proposed);

// The merged text (a temporary file) replaces the target in one rename.
// 0 on success.
int log_merge_replace_target(const std::string& temp, const std::string& target);

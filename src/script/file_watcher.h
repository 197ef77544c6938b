// The watcher of loaded script files: while it runs, a change in a folder
// that holds a loaded alias, popup or remote file (or in the file itself)
// queues a check on the main thread; the check compares each file's
// last-write time with the one recorded at its load or save, asks the user
// about every changed file, and runs the matching load command for the
// files the user wants back.
#pragma once

#include <string>
#include <vector>

// The watcher runs while this is on (default on).
extern int watcher_enabled;
// The state of the question's check box ("load" in place of "reload"),
// kept while the program runs.
extern int watcher_check_box;
// The most folders watched.
constexpr int kWatcherFolderLimit = 48;

// The question about a changed file (its full path); 1 for yes. The user
// interface sets it; without it every answer is no.
extern int (*watcher_ask)(const std::string& path);

// The distinct folders of the loaded alias, popup and remote files,
// compared ignoring case and sorted.
std::vector<std::string> watcher_folders();
// Starts, keeps or replaces the watch by the folder list (the one-second
// tick calls it through watcher_poll).
void watcher_restart();
// The one-second check: restarts the watch when the files' folders changed
// and stops it while the watcher is off.
void watcher_poll();
// Stops watching (also at exit).
void watcher_stop();
// 1 while folders are watched.
int watcher_running();
// The folders watched now.
std::vector<std::string> watcher_watched_folders();
// The check of the loaded files (queued after each change notification).
void watcher_check();
// The command that loads a changed file again: the kind of list (0 alias,
// 1 popup, 2 remote), the file kind within it and the path; load says
// whether the file is loaded as new (the check box) or reloaded in place.
std::string watcher_command(int list, int kind, const std::string& path, int load);

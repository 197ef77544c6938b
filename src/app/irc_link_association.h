// The program as the desktop's handler of irc: links: a desktop entry in the
// user's applications folder ($XDG_DATA_HOME/applications, else
// ~/.local/share/applications) that opens the program with the link, made
// the default handler of x-scheme-handler/irc through xdg-mime when that
// tool is installed.
#pragma once

#include <string>

// The name of the program's desktop entry for irc: links.
extern const char* const kIrcLinkDesktopFile;

// The user's applications folder, ending in "/"; empty without a home.
std::string shell_applications_dir();
// The desktop entry's text for the program at `program` (quoted for the
// Exec line); empty when the path cannot be written into one.
std::string shell_irc_desktop_entry(const std::string& program);
// The user's list of chosen handlers ($XDG_CONFIG_HOME/mimeapps.list, else
// ~/.config/mimeapps.list); empty without a home.
std::string shell_mimeapps_path();
// The list's text with the program's own entry taken out of every
// "x-scheme-handler/irc=" line (a line left empty goes); every other line
// and handler stays as it is.
std::string shell_mimeapps_without_own(const std::string& text);
// Removes the program's desktop entry for irc: links and its own entry in
// the handler lists; other programs' handlers are left alone.
void shell_unregister_links();
// Removes, then writes the desktop entry and makes it the default handler.
// 0 on success, else 1 (no program file, no folder, the entry not written).
int shell_register_irc_protocol();
// At start: registers while chat-link support is on (the caller has checked
// that the command line allows it and the check option is on).
void irc_link_association_check();

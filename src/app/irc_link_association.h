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
// 1 when the list's [Default Applications] section names the program's own
// entry first for x-scheme-handler/irc.
int shell_mimeapps_own_default(const std::string& text);
// Writes the desktop entry and makes it the default handler. An entry that
// already holds the same text is left as it is (no write at every start),
// and the handler tool runs only when the list does not name it the default
// already; a changed entry is removed with its list entries and written
// anew. 0 on success, else 1 (no program file, no folder, the entry not
// written).
int shell_register_irc_protocol();
// At start: registers while chat-link support is on (the caller has checked
// that the command line allows it and the check option is on).
void irc_link_association_check();

// Files dropped from the desktop onto a channel, query or notify-list
// window run a command chosen by the file's name. Two ordered lists of
// rules ("mask:command", first match wins) map file-name masks to commands:
// one for a plain drop and one for a drop with Shift held. In a command,
// $1 is the drop target (the channel, the nick) and $2- the file's path.
//
// The windows take drops (a text/uri-list of local files) through a drop
// target registered for each window of those kinds when it is made and
// revoked when it goes.
#pragma once

#include <string>
#include <vector>

class QObject;
class QWidget;
struct StringNode;
struct WindowRecord;

// The rule lists (section "dragdrop": "n%d" plain, "s%d" with Shift).
StringNode* dragdrop_rules(int shift);
// Replaces a list with the texts (the drag-and-drop page's OK).
void dragdrop_set_rules(int shift, const std::vector<std::string>& rules);

// Reads both lists; an absent list takes its defaults.
void dragdrop_load();
// Writes both lists and deletes the numbered keys after the last written.
void dragdrop_save();

// The command of the first rule of the list (Shift list with `shift`)
// whose mask matches the file name (name and extension, no folder; case
// ignored). 1 with the command in `out`, else 0. A rule with an empty mask
// or an empty command never matches.
int dragdrop_find_rule(const std::string& file_name, std::string& out, int shift);

// The parameter text a command gets for one dropped file: the target, a
// blank and the path, the path in double quotes when it holds a blank.
std::string dragdrop_param_text(const std::string& target, const std::string& path);

// Makes the window (and its list box) a drop target; revoking with `on`
// set registers one when the window has none, with it clear removes it.
void dragdrop_register(WindowRecord* rec);
void dragdrop_revoke_flag(WindowRecord* rec, int on);
void dragdrop_revoke(WindowRecord* rec);
// Whether the window has a drop target.
int dragdrop_registered(WindowRecord* rec);

// The drop handler: `files` the dropped files' full paths, or null while
// hovering; `over_list` the point is inside the list box's item area at
// `y` (pixels from its top), else it is over the rest of the window.
// Returns the number of commands run (0 when nothing ran; the error beep
// sounded unless hovering).
int dragdrop_handle(WindowRecord* rec, const std::vector<std::string>* files, int over_list, int y,
                    int shift);

// Loads the rules with the settings, saves them with /saveini.
void drag_drop_install();
void drag_drop_uninstall();

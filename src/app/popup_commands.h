// The commands picked in popups: the frame offers every id outside its own
// menu to menu_popup_command, which routes it by the popup's kind to the
// handler of that popup and then discards the popup.
#pragma once

#include <string>

class QWidget;
struct Connection;

// A picked popup command: 1 when the id was handled (the popup is then
// reset), 0 otherwise.
int menu_popup_command(int id);
// Runs the command of a script popup item (file kinds 0 status, 1 channel,
// 2 query, 3 nick list, 4 menu bar, 5 custom); 1 when a command ran.
int menu_run_script_item(QWidget* window, int file_kind, int id, const std::string& target,
                         Connection* conn);

// The command handler of a popup kind whose menu a tool builds (the tool
// registers it from its install; null removes it). A picked id of that kind
// goes to it with the popup's window and connection.
using PopupKindCommandFn = void (*)(int id, QWidget* window, Connection* conn);
void popup_kind_register(int kind, PopupKindCommandFn fn);

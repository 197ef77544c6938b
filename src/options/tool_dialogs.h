// Small dialogs of the main window's menu and of the script loader: the
// online timer, the window settings, the window order and the About box.
#pragma once

#include <string>
#include <vector>

class QWidget;
struct StringNode;

// The window order ("order" section, keys "n%d"): each entry a window
// name or a kind name ("Channel Windows", ...), the kind's window type in
// the node's number and its subtype in its serial.
const StringNode* winlist_order();
// Replaces the order list with the entries (English kind names or window
// names), giving each its type; saves it when asked.
void winlist_order_set(const std::vector<std::string>& entries, int save);
void winlist_order_load();
// The window type and subtype a kind name stands for (type 0: a window name).
int winlist_kind_type(const std::string& name, int* subtype);
// A kind name as the dialog shows it, and back to English (other names as they are).
std::string winlist_kind_shown(const std::string& english);
std::string winlist_kind_english(const std::string& shown);

// The dialogs; each returns the code it ended with (1 OK, 0 cancel).
int online_timer_dialog(QWidget* owner);
int window_settings_dialog(QWidget* owner);
int window_order_dialog(QWidget* owner);
int about_box(QWidget* owner, int finish_start);
// The About box asked for at start: opened once the start step returns;
// its closing finishes the start.
void about_box_at_start();

// The time of a counter as the online timer shows it.
std::string online_time_text(int hours, int minutes, int seconds);

void tool_dialogs_install();
void tool_dialogs_uninstall();

// Object names of the dialogs, for finding them.
constexpr const char* kOnlineTimerName = "online_timer";
constexpr const char* kWindowSettingsName = "window_settings";
constexpr const char* kWindowOrderName = "window_order";
constexpr const char* kAboutBoxName = "about_box";

// The finger dialog (a target from the recent ones or typed) and the Finger
// window's right-click menu with its commands.
#pragma once

#include <cstdint>

class QMenu;
class QWidget;
struct Connection;

// Opens the finger dialog, or, while a finger query runs, cancels it
// instead. 1 when the dialog is shown (an open one comes to the front).
int finger_dialog_open(int placement);
// Menu command 158: a running query is cancelled; otherwise the finger
// dialog opens.
void finger_request(intptr_t lparam);
// The open finger dialog, or null.
QWidget* finger_dialog_window();

// The Finger window's popup: "Finger Iptal" while a query runs, else
// "Finger..." and the five newest recent targets; null (and the error
// sound) when there is no recent target.
QMenu* menu_build_finger_popup(QWidget* window);
// A command of that popup: 7000 cancels the running query or opens the
// dialog; a recent target is asked again.
void menu_finger_command(int id, QWidget* window, Connection* conn);

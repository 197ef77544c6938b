// The Links List window of a connection: the LINKS answer as an indented
// tree; a double-click connects to the server of a line.
#pragma once

struct Connection;
struct StringNode;
class QWidget;

// Takes the collected entries (and frees them) and shows them.
void links_window_show(StringNode* list, Connection* conn);
// A double-click on a line of the window (Shift held or not).
void links_dblclick_server(const char* line, QWidget* window, bool shift);

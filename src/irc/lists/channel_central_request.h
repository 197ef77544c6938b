// The Channel Central request of a connection: whether a reply for a window
// or a channel belongs to the open request, and telling the dialog.
#pragma once

#include <string>

class QObject;
class QWidget;
struct Connection;

// Whether a reply for the window or channel belongs to the connection's
// request (it is then taken); with neither, the request ends and the dialog
// is told (0).
int conn_pending_match(QWidget* window, const std::string* channel, Connection* conn);

// The Channel Central dialog when it is open. Absent: none.
extern QObject* (*chan_central_dialog_hook)();

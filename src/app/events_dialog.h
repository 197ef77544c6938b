// The events display dialog: where joins, parts, quits, kicks, CTCP
// requests and nick changes are shown. Opened for a channel window it edits
// that channel's own choices (each may be "default", the global choice);
// without one it edits the global choices.
#pragma once

class QWidget;
struct WindowRecord;

// Shows the dialog modally over the parent. Returns 1 when closed with OK
// (the choices are stored), 0 otherwise.
int events_display_dialog(QWidget* parent, WindowRecord* channel);

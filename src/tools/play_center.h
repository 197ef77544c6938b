// The play dialogs: the Play Center, a modeless dialog that shows one
// connection's play queue and lets the user pause it, reorder, remove and
// re-time its requests; and Add Play, a form that composes a /play command
// with remembered presets (section "play" of the main settings file) and a
// file history (section "playfile").
#pragma once

struct Connection;

// Opens the dialog for the connection (the current one when null), or
// brings it up refreshed when it is open.
void play_center_open(Connection* conn);
// Refreshes the open dialog's list; with a connection, the dialog shows
// that connection's queue from now on. Nothing happens while it is closed.
void play_center_refresh(Connection* conn);
// Opens the Add Play form for the connection, or brings it up.
void play_add_open(Connection* conn);
// Follows the play queue's changes and the requests for the dialog.
void play_center_install();
void play_center_uninstall();

// The channels list's options dialog: the filter (user range, match and
// hide words, the topic, hide and nameless options) and the list file of
// the current connection; List sends a request with it, Apply refills the
// Channels List window from the kept lines or the list file.
#pragma once

#include <cstdint>

class QDialog;
struct Connection;

// Builds the dialog for `conn` (not shown); the caller owns it. Null when
// the connection is not live. Exposed for tests.
QDialog* chanlist_options_create(Connection* conn);
// Opens the dialog for the current connection (modal); 0 with the error
// sound when a listing is under way, there is no connection or the dialog
// is already open.
int chanlist_open_options(int placement);
void channels_list_options_install();
void channels_list_options_uninstall();

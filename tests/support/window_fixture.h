// Shared set-up of the window tests of the app folder: an offscreen frame
// with its MDI client, a connection, windows opened through the window
// manager, and a pump of pending events. Defined in
// tests/app/test_window_record.cpp (app_tests only).
#pragma once

#include <string>

class QMdiArea;
struct Connection;
struct WindowRecord;

// The offscreen frame's MDI client, made on first use.
QMdiArea* window_test_mdi();
// Closes every window and frees every connection the tests made.
void window_test_reset();
// Delivers the pending events and deferred deletes.
void window_test_pump();
// A connection with its status window.
Connection* window_test_conn();
// Opens a window of the type for the connection; null when it cannot.
WindowRecord* window_test_open(const std::string& name, int type, int subtype, Connection* conn);

#include "model/window_requests.h"

QWidget* (*win_request_open)(const WindowOpenRequest&) = nullptr;
QWidget* (*win_request_message_window)(Connection*, int) = nullptr;
int (*win_request_close)(QWidget*) = nullptr;

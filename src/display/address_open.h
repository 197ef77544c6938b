// Opening an address or file with what the system opens it with, and the
// line that tells the user when nothing does.
#pragma once

#include <string>

// A line for the user in the active window (else its connection's or the
// current status window).
void frame_say(const std::string& text);
// Nothing on the system opens the address or file (a web browser) or the
// folder (a file manager): the user is told which is missing.
void frame_cannot_open(const std::string& target, int folder);
// Opens an address with what the system opens it with; when nothing does, the user is
// told so.
void url_open_address(const std::string& url);

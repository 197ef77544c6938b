// MODE lines: channel modes into the channel window's mode text, key and
// limit; nick-prefix modes into the nick list; list modes to the channel's
// lists; the own user modes. Each prefix or list change is recorded in the
// message so that the event engine fires one event per mode letter after
// RAWMODE and MODE.
#pragma once

#include <string>

#include "core/signal.h"

struct Connection;
struct IrcMessage;
struct WindowRecord;

// The MODE handler (in the dispatcher's table).
void irc_on_mode_message(IrcMessage& msg);

// Rebuilds the window's mode text from the letters: "[+" the distinct
// letters in alphabetical order, then "l" and "k", the limit and the key
// (unless keys are hidden), "]".
void chan_mode_text(WindowRecord* rec, const std::string& letters);

// The channel's user limit (0 when none).
int chan_mode_limit(const WindowRecord* rec);
void chan_mode_set_limit(WindowRecord* rec, int limit);
// Number of limits kept (for tests and counts); a window's limit goes with
// its record.
int chan_mode_limit_count();

// The own nick's prefix in a channel changed (a mode gave or took it).
enum OwnPrefixOrder {
    kOwnPrefixEditbox = 10,  // the input boxes are laid out again
};
extern Signal<void(WindowRecord* channel)> irc_own_prefix_changed;

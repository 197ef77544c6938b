// The time identifiers: $asctime, $time(, $date(, $gmt( with the program's
// format letters, $date, $adate, $fulldate, $day, $ctime( (a written date
// back to a time number), $duration(, $uptime, $uptime(, $ticks, the stamp
// words ($timestamp, $logstamp and their formats) and $os.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>

#include "script/exec/script_types.h"

struct Connection;

// The time in the format (local time, or UTC with gmt); empty when the time
// cannot be converted.
void time_format_value(std::time_t t, std::string_view format, bool gmt, std::string& out);
// $duration: a number (rounded down) to words (mode 0 or 1), to words after
// rounding down to whole minutes when over 60 (mode 2) or to "HH:MM:SS"
// (mode 3); a text that is not a number back to seconds.
void time_duration_for_script(std::string_view n, int mode, std::string& out);
// Milliseconds since the connection's link was set up; 0 while it is not
// connected.
std::uint64_t time_connected_ms(Connection* conn);

// Registers the handlers (called from builtin_identifiers_install).
void time_identifiers_register();

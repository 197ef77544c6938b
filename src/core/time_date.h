// Time and date texts: the process time zone, the fixed "ctime" form,
// durations in words or as clock texts, the program's own format letters
// (used by $asctime, $time, $date and the timestamp formats), reading a
// written date back to a time value, and the online-time counters.
//
// Times are C time values (seconds since 1970, UTC). Every conversion is
// checked; a failed one gives an empty text or 0, never a message.
#pragma once

#include <ctime>
#include <string>
#include <string_view>

#include "core/signal.h"

// ---------------------------------------------------------------------------
// Settings, filled by the settings load; the values here are the defaults.

// Section "text", key "timestamp": the timestamp format. Empty means
// "[HH:nn]".
extern std::string time_stamp_format;
// Section "text", key "logstamp": the log timestamp format. Empty means the
// timestamp format.
extern std::string time_log_stamp_format;
// Option line "n1" position 2: the online timer is on (1, default) or off.
extern int opt_online_timer;

// An online-time counter.
struct OnlineTime {
    int hours = 0;
    int minutes = 0;
    int seconds = 0;
};

// The total online time (option line "n1" positions 4 to 6).
extern OnlineTime online_time_total;
// The two program-wide counters of the online-timer dialog: the first moves
// with every connection's time, the second with the global step (no
// connection).
extern OnlineTime online_time_first;
extern OnlineTime online_time_second;

// The time zone as read by time_set_timezone: the standard offset in seconds
// west of UTC, and whether daylight saving time is in force.
extern long time_tz_offset;
extern int time_tz_daylight;

// ---------------------------------------------------------------------------
// Hooks. The defaults stand for a program without those parts.

// The clock: seconds since 1970. Default: the system clock; tests give the
// code their own clock here.
extern std::time_t (*time_clock)();

// The online-time counters moved (`carried`: a counter's seconds or minutes
// turned over): the online-timer dialog, when it is open, shows them, and
// after a turn-over the status windows' titles too.
enum OnlineTimeOrder {
    kOnlineTimeDialog = 10,    // the online-timer dialog
    kOnlineTimeCaptions = 20,  // the status windows' titles
};
extern Signal<void(bool carried)> online_time_moved;

// ---------------------------------------------------------------------------
// Operations.

// Reads the system time zone: the standard offset and the daylight flag.
void time_set_timezone();

// The local time as "%a %b %d %X %Y" (C-locale names), at most 256
// characters; empty when the time cannot be converted.
std::string time_ctime_text(std::time_t t);

// time_ctime_text of the number in the text; without keep_year the last word
// (the year) is cut off.
std::string time_ctime_from_text(std::string_view text, bool keep_year);

// The time value in the text (0 means now), passed through local time and
// back: mode 1 returns it, any other mode the seconds from it until now (0
// when negative). 0 for a null or empty text and on any failure.
long time_elapsed_since(const char* text, int mode);

// A duration in hours, minutes and seconds. When seconds is not above 0 the
// number in the text is taken. Kind 0 words ("1hr 2mins 3secs"), kind 3
// words with a blank before each unit, kind 2 "HH:MM", any other kind
// "HH:MM:SS". At most 256 characters.
std::string time_duration_short(std::string_view text, double seconds, int kind);

// $duration: a number of seconds to words ("1wk 1day 1hr 1min 1sec") or,
// with kind 3, to "HH:MM:SS"; words or a clock text ("1:02:03") back to a
// number of seconds.
void time_duration_text(std::string_view input, std::string& output, int kind);

// Formats a time with the program's format letters, in place: the text is
// the format on entry and the result on return (at most 1024 characters).
// gmt 1 formats the time in GMT, anything else in local time. 1 when the
// result is not empty; a time that cannot be converted empties the text and
// gives 0.
//   H HH   hour 0-23 without / with a leading zero
//   h hh   hour 1-12 without / with a leading zero
//   n nn   minutes          s ss   seconds
//   t tt   a/p, am/pm       T TT   A/P, AM/PM
//   d dd   day of the month ddd dddd abbreviated / full weekday
//   m mm   month number     mmm mmmm abbreviated / full month name
//   yy yyyy two- / four-digit year (a lone y stays y)
//   z      offset from GMT in hours ("+3", "-5")
//   zz     offset as "+0300"; zzz adds " GMT"
//   oo after a digit: the ordinal suffix (1st, 2nd, 3rd, 11th, 23rd)
// The offset is the local zone's offset in force at the formatted time.
int time_format_user(std::time_t t, std::string& format_and_output, int gmt);

// Reads a written date and time ("31/12/2008 23:59", "2008-12-31 23:59",
// "dec 31st 2008 11:59pm", ...) and writes its time value with "%ld"; the
// output stays empty when the text cannot be read.
void time_parse_date(std::string_view text, std::string& output);

// Kind 0 the timestamp format, 1 the timestamp of now, 2 the log-stamp
// format, 3 the log stamp of now; other kinds give an empty output.
void time_stamp_text(std::string& output, int kind);

// Adds elapsed seconds to the online-time counters (only while the online
// timer is on): a connection's time to its own counter (the hours, minutes
// and seconds fields of its record) and the first program-wide counter.
void online_time_add_connection(int seconds, int& hours, int& minutes, int& secs);
// The program-wide step (no connection): the total and the second counter.
void online_time_add(int seconds);

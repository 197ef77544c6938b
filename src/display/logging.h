// Log files: every status, channel, query, DCC chat and custom window can
// write what it shows to a log file. Logging is switched per window (on,
// off, or the default of its kind) and remembered in the [logging] section.
// File names come from the window's name and can carry the network name
// and the date; dated files are re-dated when the day changes. Each stretch
// of logging in a file is framed by header lines.
//
// The logging fields of a WindowRecord:
//   logging       1 while the window logs
//   log_words[0]  reopen-after flag (the file is closed for a moment)
//   log_words[1]  network-name flag: the path was formed while the network
//                 name was known
//   log_file      the open file (a descriptor), -1 while closed
//   log_path      the current path (network and date added)
//   log_text      the base path (folder, name and extension)
//   log_pending   lines written since the last flush
//
// Lines are gathered in log_pending and reach the file once a second (the
// frame's tick), when 64 KB have gathered, before anything else goes into
// or comes out of the file (headers, renames, trimming, deleting), and when
// the window closes or the program exits. A process killed outright
// (SIGKILL, a power cut) loses at most the last second of lines of each
// window; SIGTERM and SIGINT close the program in order and lose nothing.
// While files are closed after each line, every line is written at once.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

struct WindowRecord;
struct Connection;

// ---- Settings ----

// The logging options as the option lines hold them.
struct LogSettings {
    int strip = 0;              // strip formatting codes
    int timestamp = 1;          // stamp each line
    int colours = 1;            // keep colours: a colour prefix before each line
    int close_each_line = 0;    // close the file after each line (files stay unlocked)
    int size_limit = 0;         // limit the file size ...
    int size_limit_kb = 100;    // ... to this many kilobytes
    int by_network = 1;         // network name in the file name
    int network_folders = 0;    // ... as a subfolder of the log folder
    int dated = 0;              // date the file names
    int status_undated = 0;     // ... except for status windows
    int period = 0;             // 0 daily, 1 weekly, 2 monthly
    int channels_default = 1;   // channels log by default
    int queries_default = 1;    // queries log by default
};
LogSettings log_settings();

// The log folder, ending in "/" (the "logdir" setting; the settings
// folder's "logs/" while that is empty).
std::string log_folder();

// ---- Names ----

// The file name of a window: "Status Window" status.log, "Message Window"
// messages.log, "Finger Window" finger.log, "Links List" links.log, "Urls
// List" urls.log, "Notify List" notify.log, "Channels List" chanlist.log;
// another name that is not a channel name loses everything up to its first
// blank. Cut at 256, ".log" added unless it ends so, made safe as a file
// name. Returns 1 when out is usable.
int log_base_name(const std::string& window_name, std::string& out, Connection* conn);

// The network name as it may go into a log path: the connection's network
// cleaned like a file name; empty when unknown or unusable ("." and ".."
// are refused, device names are changed).
std::string log_network_name(Connection* conn);

// Forms the current path from a base path: with use_network, the option
// on, a known network and a status, channel or query window, the network
// goes into a subfolder of the log folder (1) or into the name (2); with
// dated names (status windows excepted when so set) the date goes before
// the extension (bit 4): today, or days_back calendar days before, moved
// back to day 1, 7, 14 or 21 for weekly and to day 1 for monthly files.
// Returns the bits used.
int log_compose_path(const std::string& base_path, int window_type, int use_network, int days_back,
                     Connection* conn, std::string& out);

// The [logging] key of a window name: "status", "messages", else the name
// after its first blank. With read, value receives the stored value
// (leading blanks skipped; empty when absent).
std::string log_logging_key(const std::string& window_name, int read, std::string* value);

// ---- Header lines ----

// The opening lines: an empty line, "Oturum Başlatıldı: <date>" and the
// ident line with the window's name (after its first blank for DCC chats).
std::string log_open_header(const WindowRecord* rec, std::time_t when);
// "Oturum Kapatıldı: <date>".
std::string log_close_header(std::time_t when);
// The day-change line of an undated file (written as a line).
std::string log_day_line(std::time_t when);

// ---- Files ----

// Opens the window's log (trimming it first when the size is limited) and
// with headers writes the opening lines; logging is then on. 0 when the
// file cannot be opened (logging stays as it was).
int log_open(WindowRecord* rec, int headers);

// Logging off; with headers the closing line is written, and a file that
// then holds nothing but header lines is deleted.
void log_close(WindowRecord* rec, int headers);

// Writes one line of the window to its log: codes stripped when so set
// (an empty result writes nothing), Ctrl+Z made a blank, the log stamp in
// front unless no_stamp, "\r\n" after it, and with keep colours a colour
// prefix "\x03NN" for a colour other than the Normal text colour.
void log_write_line(WindowRecord* rec, std::string_view text, int no_stamp,
                    std::uint32_t colour);

// Writes the gathered lines of a window to its file (opening it when it is
// closed; closing it again while files are closed after each line).
void log_flush(WindowRecord* rec);
// The same for every window (the one-second tick).
void log_flush_all();

// Keeps a file within the size limit: when it is larger than the limit, the
// part after the first line break past size - limit * 2/3 replaces it. A
// read or write error leaves the file alone. 1 when the file is within the
// limit afterwards.
int log_trim_file(const std::string& path);

// Listens to the protocol's lines for a window's log alone.
void log_install();
void log_uninstall();

// 1 when the file holds a line that is not a header, an empty line or a
// separator; 0 when it holds none; -1 when it cannot be read.
int log_file_has_content(const std::string& path);

// 0: closes the files of all logging windows; 1: opens them again (or
// leaves them closed while files are closed after each line).
void log_reopen_handles(int reopen);

// Re-names or re-opens log files by cause: 1 the day changed, 2 the
// options changed, 3 the connection's network name became known, 4 it
// changed or went, 5 the window's name changed, 6 the window closes.
void log_reopen_all(WindowRecord* rec, Connection* conn, int cause);

// The one-second check for a new day (runs cause 1 when the local date
// changed since the last check).
void log_day_check();
// The day check listens to the frame's one-second tick.
void logging_install();
void logging_uninstall();
// The local date of the last check (yyyymmdd), 0 before the first.
extern int log_last_day;

// Switches a window's logging: 1 on with the buffer written (asking for
// the file), 2 on, 3 off, 4 delete the file (after confirmation) and go on
// in a new one, 5 the default of the window's kind, 6 from the settings
// (reload asks for the log's tail afterwards), 7 reset. Non-zero on
// success.
int log_set_window_mode(WindowRecord* rec, int echo, int write_ini, int ask_file,
                        const std::string& file, int mode, int reload);

// Merges log files into target in the order of their modification times.
// The merged text is built in a temporary file beside the target (the
// target's own earlier text first when it is not one of the sources) and
// moved onto it; only then, with delete_merged, the sources other than the
// target are deleted. On any failure the temporary file goes and every
// source and the target stay as they were. 1 on success.
int logview_merge(const std::vector<std::string>& sources, const std::string& target,
                  int delete_merged);

// ---- Calls into other parts of the program ----
struct LogHooks {
    // Asks before a log file is deleted (title, text); 1 to delete.
    // Absent: nothing is deleted.
    int (*confirm_delete)(const std::string& title, const std::string& text) = nullptr;
    // Replaces the target by the merged file (temporary path, target).
    // 0 on success. Absent: a move that replaces the target.
    int (*merge_replace)(const std::string& temp, const std::string& target) = nullptr;
};
extern LogHooks log_hooks;

// A window's log closed and opened as its logging mode says; a line echoed
// in a window for the log commands.
void log_window_close(WindowRecord* rec);
void log_window_open(WindowRecord* rec);
void log_echo_in_window(WindowRecord* rec, const std::string& text);

// Writes the printed lines of a logging window to its log (line_printed).
void logging_install();
void logging_uninstall();

// Small operations on the platform that many parts share: error and link
// beeps, the clipboard, the system version, the millisecond counter, window
// and timer numbers, list-box and dialog-control helpers, icons, the help
// file, opening files and folders, and the main window's title.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "core/signal.h"

class QWidget;
class QIcon;
class QPoint;
struct WindowRecord;

// ---- Sounds ----

// Level 1 always sounds, level 0 only while the beep option is on; any other
// level is returned as it is and nothing sounds. Returns the level.
int beep_error(int level);
// The link-click sound while sounds and its option are on.
void beep_link_click();
// Repeated beeps on frame timer 121: step 0 (while the beep option is on) or
// 1 starts the timer with the configured interval and count unless it runs;
// 2 is one beep and one less to go; anything else, or a used-up count, stops it.
void beep_repeat_timer(int step);

// What a beep does. The default sounds the system beep; sounds 60 (error) and
// 62 (link click) are the system beep too until the media layer, above
// platform, plays them; tests count the beeps here.
// kind: 0 the system's default beep, 1 the speaker beep, 60 or 62 a sound resource.
extern void (*beep_play_hook)(int kind);

// ---- Pointer and wheel ----

// The mouse pointer in screen coordinates.
QPoint sys_pointer_pos();
// The system's lines per wheel notch (0 counts as 3; above 100 a page).
int sys_wheel_scroll_lines();

// ---- Clipboard ----

// The clipboard's text: kind 1 plain text, 2 Unicode text as UTF-8 (here both
// are the clipboard's text as UTF-8). None when the clipboard holds no text.
std::optional<std::string> clip_get_text(int kind);
// Puts the text on the clipboard (mode 1 appends to what it holds). The text
// is taken as UTF-8 when it is valid UTF-8, else as Latin-1 bytes. 1 on
// success (also when the text is empty: the clipboard is left alone), 0 when
// there is no clipboard.
int clip_set_text(WindowRecord* rec, const std::string& text, int mode);
// Writes the clipboard's lines to a file (CR and LF removed, each cut at 4150
// characters). An empty name becomes the first "playq%d.txt" (from 1) in the
// settings folder that does not exist, and is returned in `file`. 1 on success.
int clip_save_playqueue(std::string& file);

// ---- System ----

// Version flags the program reads. On this platform: an NT-class system of
// the newest kind the program knows.
struct OsVersion {
    int nt_level = 4;        // 1 2000, 2 XP, 3 2003, 4 Vista or later
    int win9x_level = 0;     // never a 9x system
    int vista_or_later = 1;
    int nt4 = 0;
};
extern OsVersion os_version;
// Writes the system name ("Vista": the newest class the program tells apart)
// and sets the flags.
void os_detect_version(std::string* out);

// The 64-bit millisecond counter ($ticks): monotonic, never wraps.
std::uint64_t time_ticks_ms();

// The number (reduced below 2^32 by subtracting 2^32 at most 100 times) as
// "%d.%d.%d.%d", most significant byte first, least significant first with
// the order flag.
void ip_long_to_text(double number, std::string& out, int order);

// 1 while Ctrl+Break is held down, except within 250 ms after a recorded
// break time (which is then cleared); the keyboard state is read directly
// (on X11; never down offscreen), as the key filter reports it too. Always 1
// from the moment SIGTERM or SIGINT arrives until the event loop takes the
// signal, so a runaway loop ends and the program can close.
int key_break_pressed();
// Notes a termination signal; safe inside a signal handler.
void key_break_note_signal();
// 1 once a termination signal was noted.
int key_break_signalled();
// Forgets a noted signal (once the event loop has taken it).
void key_break_signal_clear();
// 1 while Control and Pause/Break are both held on the display's keyboard.
int key_break_keyboard_down();
void key_break_set_down(int down);
void key_break_record_time();

// ---- Numbers ----

// The lowest timer id at or above the kept counter (at least 200) that no
// timer uses; the counter moves past ids found in use.
int timer_alloc_id();
// Timer ids in use besides the connections' connect timers (script timers,
// other timer records): a listener gives 1 when it holds the id.
enum TimerIdsTakenOrder {
    kTimerIdsScriptTimers = 10,
};
extern Signal<int(int id)> timer_ids_taken;
void timer_alloc_id_reset();

// ---- Windows and controls ----

// The child of the dialog or window with that control id (property
// "controlId"), or null.
QWidget* dlg_item(QWidget* dialog, int control_id);
// One of the record's controls by id (32918 text area, 32919 scroll bar, 32920
// list box, 32921 editbox, 32922 second editbox); other ids, or a window
// without record, find the child with that control id.
QWidget* win_get_control(QWidget* hwnd, int control_id);
// Gives a widget its control id.
void dlg_set_item_id(QWidget* control, int control_id);

// Sets the window's title only when it differs (compared over 4150 characters).
void win_set_text_if_changed(QWidget* hwnd, const std::string& text);

// List boxes (QListWidget) by control id.
int listbox_select_item(QWidget* dialog, int control_id, int index, int select, int clear_first);

// listbox_select_item set a selection: a list drawn by its owner shows it.
enum ListboxSelectionOrder {
    kListboxSelectionNickList = 10,  // a channel's nick list
};
extern Signal<void(QWidget* dialog, int control_id)> listbox_selection_set;
int listbox_get_caret(QWidget* window, int control_id);
int listbox_find_text(QWidget* dialog, int control_id, const std::string& text,
                      const std::string& cut_chars);

// The text of a control (or of the edit part of a combo box), at most 1024
// characters.
void dlg_get_item_text(QWidget* dialog, int control_id, std::string& out);
// Shows a path in a label: the full text is kept (property "fullPath"), the
// shown text is shortened to the label's width with an ellipsis in the path.
void dlg_set_path_label(QWidget* dialog, int control_id, const std::string& path);

// An icon: without a file the program's icon of that number; else from an
// icon or picture file. Size: flag 8 48 pixels, 4 the default, 1 without 2
// 16, else 32. A null icon when nothing loads.
QIcon img_load_icon(const std::string& file, int index, int size_flags);
// The pixel size for the size flags above.
int img_icon_size(int size_flags);

// ---- Help, files and programs ----

// Opens a help file: a given file relative to the settings folder, else
// "kest.chm" in the settings folder or beside the program, else the
// program's own "kest.html" beside it. A ".chm" file that does not exist
// shows message 614 titled 613. An HTML document opens at the keyword's
// anchor when a keyword is given. Returns 1 when a document was opened.
int help_open(const std::string& file, const std::string& keyword, int context);
// The path help_open would open (for tests and the help menu).
std::string help_file_path(const std::string& file);
// Shows a message in the message dialog. Default: a non-modal message box;
// tests read the message here instead of a box on the screen.
extern void (*message_dialog_hook)(const std::string& caption, const std::string& text);
// Opens a URL or local file with the desktop. Default: the desktop services;
// tests record what would open here instead of starting a program.
extern int (*desktop_open_hook)(const std::string& url_or_path);

// The main window's title: "Kest", or "Kest" followed by a blank and the
// scripts' title text (main_settings.app_title) without formatting codes.
std::string frame_title();

// Shows a file by the flag bits in turn: 8 open its folder, 4 open its folder
// (the file selected where the desktop can), 2 open it, 1 open it in a text
// editor. 1 as soon as one works, else 0.
int shell_show_file(const std::string& path, int flags);
// Runs a program or document (the settings folder as working folder). 1 on
// success. The elevate flag is ignored: the program never asks for more rights.
int shell_run(const std::string& file, const std::string& parameters, int elevate);
// 1 when the process runs as the super-user.
int sys_is_admin();

// The edge the taskbar (panel) occupies by comparing the work area with the
// screen: 0 left, 1 top, 2 right, 3 bottom, -1 none. Flag 1 asks about the
// screen under the pointer, flag 2 about the frame's screen.
int desktop_taskbar_edge(int flags, QWidget* frame);
// $fullscreen: 2 when a topmost window of the program covers the screen,
// 1 when another of its windows does, else 0. The frame's screen is the one
// looked at (the primary screen without a frame).
int win_fullscreen_active(QWidget* frame);
// The minimise animation: mode 0 off (1, or 2 when it was off), 1 on (1),
// other modes 2. Qt has no system-wide animation; only the state is kept.
int sys_minimize_animation(int mode);

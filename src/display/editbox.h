// The editbox and what happens between Enter and the interpreter: taking the
// text out of the box, splitting pasted text into lines, the repeat forms "/"
// and "/!", the second input box's command, the "INPUT" event, the hand-over
// of each line, refilling the box; the two input histories of 30 lines; the
// [editbox] settings of channel windows.
#pragma once

#include <string>

class QWidget;
class EditBox;
struct WindowRecord;
struct Connection;

// Flags of editbox_submit.
constexpr int kSubmitNormal = 1;      // a normal submission
constexpr int kSubmitAltEnter = 2;    // insert a line break in multi-line boxes
constexpr int kSubmitFromBox = 4;     // the Enter character came from the box (joins a paste)
constexpr int kSubmitAlways = 8;      // run even when minimised, hidden or locked
// Key flags: bit 0 clear = the text comes from a paste; bit 1 = Ctrl was held.
constexpr int kKeyFlagTyped = 1;
constexpr int kKeyFlagCtrl = 2;

// The history of an input box holds at most this many lines.
constexpr int kHistoryLines = 30;

// Submits the box (the window's first or second box). Returns 0 when nothing
// was done, 1 when the text was taken or handled, 2 when a line break was
// inserted instead (Alt+Enter in a multi-line box).
int editbox_submit(WindowRecord* rec, EditBox* box, int flags, int key_flags);

// Process-wide submission state, reset at the end of every submission.
extern int editbox_ctrl_enter;          // $ctrlenter
extern int editbox_in_paste;            // $inpaste
extern int editbox_in_cmdbox;           // $cmdbox: the line came from the second box
extern int editbox_programmatic_change; // set while this part changes a box's text
// The last line run (kept for the whole run; "/!" reads it).
extern std::string editbox_last_line;

// ---- Input histories ----

// Box 0 is the first input box, 1 the second.
// Adds a line: an empty line is not added; every current flag is cleared; an
// equal entry moves to the newest place; else the oldest goes at 30.
void edit_history_add(WindowRecord* rec, int box, const std::string& line);
// Before Up: with no current entry, the box's first line is added (when not
// empty) and the newest entry becomes current.
void edit_history_keep_current(WindowRecord* rec, int box);
// Older / newer entry into the box; the error sound at the ends as described.
void edit_history_up(WindowRecord* rec, int box);
void edit_history_down(WindowRecord* rec, int box);

// ---- Second input box settings ([editbox] <channel>, else "default") ----

struct EditboxSettings {
    int enabled = 0;
    int show_mode = 0;           // 0 "Always", 1 "When mode"
    std::string mode_chars = "@";
    std::string command;
    int show_command = 0;
};
// Parses a value "%d,%d,\"%s\",\"%s\",%d"; empty fields keep the defaults.
EditboxSettings editbox_parse_settings(const std::string& value);
// The text written for the settings.
std::string editbox_settings_text(const EditboxSettings& s);
void editbox_apply_settings(WindowRecord* rec, const EditboxSettings& s);
// Reads [editbox] <name>, else [editbox] default, into the window.
void editbox_load_settings(WindowRecord* rec);

// The box's text changed (typing or a paste): clears the tab-completion
// pattern, beeps from 400 characters on, then lays a multi-line box out again
// or, when a single-line box now holds several lines (a paste), submits them
// line by line. Changes made by this part itself are ignored.
void editbox_on_changed(EditBox* box, WindowRecord* rec);

// Which box of the window (0 first, 1 second, -1 none) the control is.
int editbox_index(WindowRecord* rec, const EditBox* box);
// The box of that index, or null.
EditBox* editbox_of(WindowRecord* rec, int box);

// ---- Seams ----

// The program is locked. Absent: never.
extern int (*editbox_locked_hook)();

// The interpreter's entry for a typed line: mode 0 (a command when it starts
// with the command character, else text for the window), 3 with Ctrl
// (always text).
int editbox_run_typed_line(QWidget* window, const std::string& line, int mode, Connection* conn);
// INPUT: the line being submitted is the handlers' $1-; 0 when halted.
int editbox_fire_input(Connection* conn, QWidget* window, const std::string& line);

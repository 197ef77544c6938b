// Calls from the script interpreter into parts of the program that come
// later (display, event engine, script-file store, input). Each is a
// settable function pointer; the default does what the program does while
// that part is absent.
#pragma once

#include <string>
#include <string_view>
#include <vector>

class QWidget;
struct Connection;
struct ScriptFile;
struct StringNode;
struct EventContext;

// Colour items used for the interpreter's own messages.
constexpr int kColourInfo = 0;     // script errors
constexpr int kColourInfo2 = 1;    // break messages ("* Kesildi:")
constexpr int kColourNormal = 2;

// Prints a line into a window (echo_line of the display). Default: the line
// is kept in script_output_log (see below) and nothing is shown.
extern void (*script_echo_line)(QWidget* window, const std::string& text, int colour);

// The default printer's record: every line printed while no display is
// attached, with its window. Bounded to the last 10,000 lines.
struct ScriptOutputLine {
    QWidget* window;
    std::string text;
    int colour;
};
const std::vector<ScriptOutputLine>& script_output_lines();
void script_output_clear();

// Sends plain text typed in a window as a message to its target and shows
// it (script_send_text). Returns 0 when nothing could be sent. Default:
// nothing is sent, 0.
extern int (*script_send_text)(QWidget* window, Connection* conn, const std::string& text,
                               int origin);

// Ctrl+Break state (key_break_pressed). Default: never pressed.
extern int (*script_key_break_pressed)();
// The error sound: always, or only while the beep option is on.
void script_beep_error(int always);

// Event identifiers of the running event: 1 with the value when the event
// knows the name, 0 when it does not. Default: knows nothing.
extern int (*script_event_ident_value)(EventContext* ctx, std::string_view name,
                                       std::string* out);


// The command character (ini section "text", key "commandchar"); "/" by default.
extern char script_command_char;
// Identifier warnings (options): an unknown identifier is an error when on.
extern int script_ident_warnings;

// The program's title, used as the caption of warning boxes ("Kest").
extern std::string script_program_title;
// Values of the identifiers that stand for program switches and settings
// ($aop, $menubar, $creq, $dccport, $appstate, $cmdline ...): 1 with the
// value when the owning part knows the name. Default: knows none (the
// evaluator then gives "$false", "0", "ask" or the empty text by the form
// of the name).
extern int (*script_setting_value)(std::string_view name, Connection* conn, QWidget* window,
                                   std::string* out);

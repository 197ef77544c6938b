// Calls from the script interpreter into the layers above it, each a
// function pointer the composition sets (null until then), and the
// interpreter's own settings.
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
// it, as the messaging commands do. Returns 0 when nothing could be sent
// (null: nothing is sent).
extern int (*script_send_text)(QWidget* window, const std::string& text, int origin,
                               Connection* conn);

// The error sound: always, or only while the beep option is on.
void script_beep_error(int always);

// Event identifiers of the running event, answered by the event
// identifiers: 1 with the value when the event knows the name, 0 when it
// does not (null: no event knows any).
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

// The address book's control and nick-colour entries: the texts of the four
// user lists (ignore, op, voice, protect) and of the nick-colour rules as
// their pages list them, the forms their entry dialogs fill, and the apply
// steps that hand the edited lists back to the running program.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The kinds of the control page's combo.
enum ControlKind : int {
    kControlIgnore = 0,
    kControlOp = 1,
    kControlVoice = 2,
    kControlProtect = 3,
};

// One line of a list with its 32-bit item value: low 16 bits the entry's
// number (for ignores the removal time in seconds, 0 none), high 16 bits a
// second number kept with it.
struct ControlLine {
    std::string text;
    std::uint32_t value = 0x10000;
};

// The control page's line for an entry of the kind: the mask, the ignore
// kinds as letters (or "all") or the channels, the number, the network.
std::string control_entry_display(const std::string& entry, int kind, std::uint32_t value);

// What the control entry dialog shows and edits.
struct ControlEntryForm {
    std::string mask;
    std::string channels;  // op, voice, protect: comma-separated
    int kinds = 0;         // ignore: bit n for kIgnoreTypeWords[n]
    bool timed = false;    // ignore: removal after `seconds`
    int seconds = 0;
    std::string network;
};

// Splits an entry into the dialog's fields; words starting with one of the
// channel-type characters are the channels.
ControlEntryForm control_entry_form(const std::string& entry, int kind, const std::string& chan_types);
// The entry text the dialog's OK builds; empty when the mask is empty. The
// value's low 16 bits become the removal time of an ignore entry.
std::string control_entry_build(const ControlEntryForm& form, int kind, std::uint32_t& value);

// Blanks collapsed and trimmed.
std::string control_collapse_blanks(const std::string& text);

// The working copies the control page edits.
struct ControlWorking {
    std::vector<ControlLine> lines[4];
    bool enabled[4] = {};
    bool random_delay = false;
};
// The running program's lists and flags.
ControlWorking control_working_load();
// Replaces the lists and flags, saves "control.ini", registers the timed
// ignores of entries with a number and drops those whose entry went.
void control_working_apply(const ControlWorking& w);

// What the nick-colour entry dialog shows and edits.
struct CnickEntryForm {
    bool use_mask = false;
    std::string mask;
    bool use_modes = false;
    std::string modes;
    bool use_levels = false;
    std::string levels;  // comma-separated in the dialog
    bool any_mode = false;
    bool no_mode = false;
    int lists = 0;       // 1 ignore, 2 op, 4 voice, 8 protect, 16 notify
    int colour = 99;
    int method = 0;
    int idle = 0;
};
// The dialog's fields from a rule line; false when the line does not parse.
bool cnick_entry_form(const std::string& line, CnickEntryForm& form);
// The rule line of the dialog's OK; a rule that tests nothing is made to
// match any mode and no mode (the form is changed to show it).
std::string cnick_entry_build(CnickEntryForm& form);
// The list-box line's item value: the rule's colour, 99 when it does not parse.
int cnick_line_colour(const std::string& line);

// The nick-colour rules as the page's lines.
std::vector<std::string> cnick_lines_load();
// Rebuilds the rules from the lines that parse, in order, saves them and
// recolours every nick list; stores the enabled flag.
void cnick_lines_apply(const std::vector<std::string>& lines, bool enabled);

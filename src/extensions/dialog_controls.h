// The controls of an open script dialog as scripts reach them: /did and
// /didtok change them, $did, $didwm, $didreg and $didtok read them.
#pragma once

#include <string>
#include <vector>

struct ScriptDialog;
struct DialogControl;

// The value $did(name, id) gives without a property (the text of the
// control, or of its first line).
std::string dialog_control_text(ScriptDialog* d, int id);

// The check of one item of a check or radio list: state 1 checks, 0
// unchecks, -1 toggles (a click), -2 gives every selected item the toggled
// state of the item (the space key). Each change is repainted.
void dialog_list_check(DialogControl& c, int row, int state);

void dialog_controls_register();

// /filter reads and fills list, combo and edit controls. The control of an
// open dialog: 1 with it, 0 when it is of another kind, -1 when the dialog
// or the control does not exist.
int dialog_filter_control(const std::string& name, int id, ScriptDialog** d, DialogControl** c);
// Its items or lines.
void dialog_control_lines(ScriptDialog* d, DialogControl& c, std::vector<std::string>& out);
// Empties it.
void dialog_control_clear(ScriptDialog* d, DialogControl& c);
// Adds an item, or a line at the end of an edit.
void dialog_control_add_line(ScriptDialog* d, DialogControl& c, const std::string& line);

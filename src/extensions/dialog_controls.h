// The controls of an open script dialog as scripts reach them: /did and
// /didtok change them, $did, $didwm, $didreg and $didtok read them.
#pragma once

#include <string>

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

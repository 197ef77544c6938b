// The automation-object words: /comopen, /comclose, /comreg, $com(,
// $comcall(, $comval( and $comerr. This system has no object model of
// that kind, so no object can ever be made: /comopen fails the way a
// creation that fails does (no message, the error flag set), registering a
// server fails, and every word that names an object answers as for a name
// that names none. Since no object exists, no call can run on one and none
// can be freed while a call runs.
#pragma once

// The error flag of the last /comopen ($comerr): 1 after a failure, 0 after
// a success.
extern int com_error_flag;

void com_words_install();

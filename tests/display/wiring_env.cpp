// The window manager's seams wired as the program wires them, for every test
// of this program (windows, connections and the encodings reach it).
#include "app/subsystems.h"

namespace {

const bool wired = (app_wire_windows(), true);

}  // namespace

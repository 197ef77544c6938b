// Helpers shared by the files of the child windows (child_window.cpp,
// child_widgets.cpp, child_layout.cpp); not for use elsewhere.
#pragma once

#include <QColor>

#include "display/child_layout.h"
#include "model/window_record.h"

// The window's background colour.
QColor background_of(WindowRecord* rec);
// The two frame colours of a raised border.
void frame_colours(QColor* light, QColor* dark);


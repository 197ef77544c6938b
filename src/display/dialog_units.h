// Dialog units: dialog templates and script dialog tables place controls in
// units of a quarter of the average character width across and an eighth
// of the line height down, measured in a font (the application's font for
// the system's own base units).
#pragma once

#include <QRect>

class QFont;

struct DialogBaseUnits {
    int width = 6;    // average character width in pixels
    int height = 13;  // line height in pixels
};

// The base units of the application's font.
DialogBaseUnits dialog_base_units();
// The base units of a given font.
DialogBaseUnits dialog_base_units(const QFont& font);

// Dialog units to pixels: x and width times width / 4, y and height times
// height / 8.
int dialog_units_x(int units, DialogBaseUnits base);
int dialog_units_y(int units, DialogBaseUnits base);
QRect dialog_units_rect(int x, int y, int w, int h, DialogBaseUnits base);

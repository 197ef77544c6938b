// The window identifiers: $active, $lactive and $leftwin with their cid and
// wid forms, $window( with the properties of a window record and of the
// desktop, main window and MDI client, $fline(, $lines(, $cb, $color(,
// $style(, $fullscreen and the shape tests.
#pragma once

#include <vector>

#include "script/exec/script_types.h"

// The shape tests of $inrect, $inellipse, $inroundrect, $inpoly and $onpoly
// (a point's coordinates are cut to integers). 1 inside, else 0.
int shape_in_rect(double x, double y, double left, double top, double width, double height);
int shape_in_ellipse(double x, double y, double left, double top, double width, double height);
int shape_in_round_rect(double x, double y, double left, double top, double width, double height,
                        double corner_w, double corner_h);
// Points as x1, y1, x2, y2 ...; alternate filling.
int shape_in_polygon(double x, double y, const std::vector<double>& points);
// Two polygons (x1, y1, ... each) that cross or whose regions meet.
int shapes_overlap(const std::vector<double>& first, const std::vector<double>& second);

// Registers the handlers (called from builtin_identifiers_install).
void window_identifiers_register();

// The display's half of printing: it cuts a printed line into parts that
// fit the window's text area, follows the added lines with the view,
// raises the window's activity, beeps, plays a highlight entry's sound and
// counts down the queries' print countdowns.
#pragma once

#include <string_view>
#include <vector>

#include "model/line_buffer.h"

struct WindowRecord;

// Cuts the printed line (its timestamp prefix first, `prefix` bytes long)
// for the text area's `width` by the print options' wrap mode and indent.
void printed_line_cut(WindowRecord* rec, std::string_view whole, int prefix, int width,
                      std::vector<WrapPart>& parts);

// The view, activity and beeps after a print added lines to a window.
void printed_lines_follow(const LinesAdded& added);

// Counts the queries' print countdowns and the nick lists' countdowns down
// by 100 ms; 1 while any still runs.
int display_countdown_step();

// Adds and removes the listeners (the view, activity and beeps; the sounds).
void printed_lines_install();
void printed_lines_uninstall();

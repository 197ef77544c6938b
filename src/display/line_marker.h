// The line marker: where the text the user has not seen yet begins. When
// text arrives in a status, channel, query or custom window out of view and
// the marker was seen, the marker moves to just above the new text, as a
// thin band in a row of its own (the marker line) or, when the window does
// not show it, as a remembered line. Ctrl+L jumps the view to the marker
// and back. Settings in section [marker] of the main settings file.
#pragma once

#include <string>

class QPainter;
class QRect;
struct StringNode;
struct WindowRecord;

struct MarkerSettings {
    int show = 1;          // new windows show the marker line
    int size = 1;          // band height, 1..20
    int colour = 15;       // palette index of the band, 0..15
    int method = 1;        // 1: a second jump returns to where the view was
    std::string picture;   // a picture that fills the band instead
};
extern MarkerSettings marker_settings;

void marker_load();

// Loads the line marker settings with the main settings.
void marker_install();
void marker_save();

// Mode 0: the passive move after a printed line; mode 1: the marker made
// again in place (after a change of the show flag, the settings or a clear).
void marker_move_to_end(WindowRecord* rec, int mode);
// The jump key; 1 when the view moved to the marker.
int marker_jump(WindowRecord* rec);
// Draws the marker line's row (band_only: the band alone).
void marker_draw(WindowRecord* rec, QPainter& painter, const QRect& row, int band_only);

// The window's show flag (0 off, 1 on, 2 no marker for a custom window) and
// its seen flag.
int marker_show_flag(WindowRecord* rec);
void marker_set_show_flag(WindowRecord* rec, int show);
int marker_seen(WindowRecord* rec);

// Moves the marker after every stored line (line_printed).
void marker_install();
void marker_uninstall();
